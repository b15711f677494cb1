#include "serverdb/SiteInstall.h"

#include "db/PgDialect.h"
#include "platform/Exception.h"
#include "platform/InstallLayout.h"
#include "platform/OleDate.h"
#include "platform/Registry.h"
#include "serverdb/DatabaseSetup.h"
#include "serverdb/DemoData.h"
#include "serverdb/SiteData.h"
#include "support/BriskoINI.h"

#include <grp.h>
#include <pwd.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>

namespace fs = std::filesystem;

namespace {

constexpr const char* kSystemDatabase = "QVSYS";
constexpr const char* kMetricsListen = "127.0.0.1:9464";
constexpr std::size_t kShortestSecret = 16;

using P = fs::perms;
constexpr P kOpenFolder = P::owner_all | P::group_read | P::group_exec | P::others_read | P::others_exec;
constexpr P kClosedFolder = P::owner_all | P::group_read | P::group_exec;
constexpr P kReadable = P::owner_read | P::owner_write | P::group_read | P::others_read;
constexpr P kGroupReadable = P::owner_read | P::owner_write | P::group_read;
constexpr P kOwnerOnly = P::owner_read | P::owner_write;

// A value as an ini file gives it back: no line break or other control character, no blank
// or quote at either end (the reader trims them), and no ";" where the reader splits there.
void checkIniValue(const std::string& what, const std::string& value, bool semicolonSplits = false)
{
    for (const char c : value)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            throw Exception(what + " holds a line break or another control character");
    if (value.empty())
        throw Exception(what + " is empty");
    for (const char end : {value.front(), value.back()})
        if (end == ' ' || end == '"' || end == '\'')
            throw Exception(what + " \"" + value + "\" starts or ends with a blank or a quote");
    if (semicolonSplits && value.find(';') != std::string::npos)
        throw Exception(what + " \"" + value + "\" holds a \";\", which would split it");
}

// A folder of the command line, absolute and ending with "/".
std::string folderOf(const std::string& what, const std::string& given)
{
    if (given.empty())
        throw Exception(what + " names no folder");
    checkIniValue(what, given);
    std::string f = fs::absolute(given).lexically_normal().string();
    if (f.back() != '/')
        f += '/';
    return f;
}

// A host name or address as a desk's BriskoC.ini names its server (a list split by ";").
void checkServerName(const std::string& what, const std::string& name)
{
    checkIniValue(what, name, true);
    if (name.size() > 253 || name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                                    "0123456789.-_:") != std::string::npos)
        throw Exception(what + " \"" + name + "\" is no host name or address");
}

void checkPort(const std::string& what, int port)
{
    if (port < 1 || port > 65535)
        throw Exception(what + " " + std::to_string(port) + " is no port from 1 to 65535");
}

// The PostgreSQL login as BriskoS.ini keeps it: MainServerName=host:port and the names.
void checkPgLogin(const DbServerLogin& l)
{
    checkIniValue("--server Host", l.host, true);
    if (l.host.find_first_of(":,") != std::string::npos)
        throw Exception("--server Host \"" + l.host + "\" holds \":\" or \",\" (name an IPv6 server by a host name)");
    checkIniValue("--server Port", l.port, true);
    if (l.port.find_first_not_of("0123456789") != std::string::npos || l.port.size() > 5 || std::stoi(l.port) < 1 ||
        std::stoi(l.port) > 65535)
        throw Exception("--server Port \"" + l.port + "\" is no port number");
    checkIniValue("--server Database", l.database, true);
    if (!l.user.empty())
        checkIniValue("--server User", l.user, true);
}

struct Owner {
    uid_t uid = 0;
    gid_t gid = 0;
};

// The user the service runs as: its ids; none when not named. Exception for an unknown
// user, or another user's when this process may not give files away.
std::optional<Owner> ownerOf(const std::string& name)
{
    if (name.empty())
        return std::nullopt;
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        throw Exception("--owner " + name + ": there is no such user (the server package makes wofb07)");
    if (::geteuid() != 0 && found->pw_uid != ::geteuid())
        throw Exception("--owner " + name + ": only root gives folders to another user");
    return Owner{found->pw_uid, found->pw_gid};
}

void giveTo(const fs::path& path, const Owner& o)
{
    if (::lchown(path.c_str(), o.uid, o.gid) != 0)
        throw Exception("Cannot give " + path.string() + " to its owner: " + std::strerror(errno));
}

// The folder and everything in it, without following links.
void giveTreeTo(const std::string& folder, const Owner& o)
{
    giveTo(folder, o);
    for (const auto& e : fs::recursive_directory_iterator(folder))
        giveTo(e.path(), o);
}

void makeFolder(const std::string& folder, fs::perms mode)
{
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder))
        throw Exception("Cannot make the folder " + folder + (ec ? ": " + ec.message() : ""));
    fs::permissions(folder, mode, ec);
}

// Written beside and renamed over the file, so that a reader never sees half of it.
void writeFile(const std::string& path, const std::string& text, fs::perms mode)
{
    const std::string part = path + ".new";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out)
            throw Exception("Cannot write " + path);
    }
    std::error_code ec;
    fs::permissions(part, mode, ec);
    fs::rename(part, path, ec);
    if (ec)
        throw Exception("Cannot write " + path + ": " + ec.message());
}

void linkLanguageFiles(const std::string& clientFolder)
{
    const fs::path link = clientFolder + "MultiLanguage";
    std::error_code ec;
    if (fs::is_symlink(link, ec))
        fs::remove(link, ec);
    if (!fs::exists(link, ec))
        fs::create_directory_symlink(SuiteDataFolder() + "MultiLanguage", link, ec);
    if (ec)
        throw Exception("Cannot link " + link.string() + " to the language files: " + ec.message());
}

std::string newSecret()
{
    unsigned char bytes[24];
    if (getrandom(bytes, sizeof bytes, 0) != ssize_t(sizeof bytes))
        throw Exception("No random bytes for a connection secret");
    std::string hex;
    for (const unsigned char b : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", b);
        hex += pair;
    }
    return hex;
}

std::string stamp()
{
    const std::time_t now = std::time(nullptr);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", std::localtime(&now));
    return text;
}

std::string clientIni(const std::string& serverName, int port, const std::string& secret)
{
    return "; The client of this site (qvsetup, " + stamp() + "): the application server by name and port.\n"
           "[Client Components]\nLangType=CHS\n\n"
           "[CodePage]\n; 936 simplified Chinese, 950 traditional Chinese, 437 English\n"
           "UICodePage=936\nDBCodePage=936\n\n"
           "[Server Information]\nComputerName=" + serverName + "\nServerPort=" + std::to_string(port) +
           "\nConnectionSecret=" + EncodePassword(secret) + "\nSupportCallBack=0\n";
}

std::string serverIni(const SiteSpec& s)
{
    std::string dbe = "MainDBType=SQLITE\n; the folder of the database files\nMainServerName=" + s.state + "\n";
    if (s.postgres)
        dbe = "MainDBType=POSTGRESQL\nMainServerName=" + s.server.host + ":" + s.server.port +
              "\nPostgresDatabase=" + s.server.database + "\n";
    dbe += "MainDBName=" + std::string(kSystemDatabase) + "\n";
    if (s.postgres) {
        dbe += "MainUserName=" + s.server.user + "\n";
        if (!s.server.password.empty())
            dbe += "XXXXXX=" + EncodePassword(s.server.password) + "\n";
    }
    return "; The application server of this site (qvsetup site, " + stamp() + ").\n"
           "[CodePage]\nUICodePage=936\nDBCodePage=936\n\n"
           "[DBE Setting]\n" + dbe + "\n"
           "[WorkDLLPath]\n1=" + SuiteServerLibraryFolder() + "\n\n"
           "[DBPasswordCtrl]\nConnectionSecret=" + EncodePassword(s.secret) + "\n"
           "; where remote clients connect (qvappserver --listen wins)\nListen=0.0.0.0:" + std::to_string(s.port) +
           "\n\n"
           "[Metrics]\n; /health and /metrics for operators (qvappserver --metrics wins)\nListen=" + kMetricsListen +
           "\n\n"
           "[Job Queue]\n; Workers=2\n; StopGraceSeconds=30\n";
}

std::string registryIni(const std::string& client, const std::string& server, const std::string& logs)
{
    return "; Machine keys of this installation (qvsetup, " + stamp() + ").\n"
           "[Software\\QVR\\Brisko]\nClientPath=" + client + "\n" +
           (server.empty() ? "" : "ServerPath=" + server + "\n") +
           "LogPath=" + logs + "\nProfileType=0\n\n"
           "; The libraries are the installed ones: no new-file download.\n[Software\\Varn\\Hollet]\nGoAhead=0\n";
}

// The first file or database of the site that is there already; empty when none is.
std::string existingPart(const SiteSpec& s)
{
    std::error_code ec;
    for (const char* f : {"registry.ini", "classes.ini", "server/BriskoS.ini", "client/BriskoC.ini"})
        if (fs::exists(s.config + f, ec))
            return s.config + f;
    if (s.postgres) {
        if (DatabaseSchemasExist(s.server, kSystemDatabase, s.companyDatabase))
            return "the schemas " + PgSchemaName(kSystemDatabase) + " and " + PgSchemaName(s.companyDatabase) + " of " +
                   s.server.database;
        return {};
    }
    for (const std::string& db : {std::string(kSystemDatabase), s.companyDatabase})
        if (fs::exists(s.state + db + ".db", ec))
            return s.state + db + ".db";
    return {};
}

SiteSpec checkedSite(const SiteSpec& given)
{
    SiteSpec s = given;
    s.config = folderOf("--config", s.config);
    s.state = folderOf("--state", s.state);
    s.logs = folderOf("--logs", s.logs);
    checkServerName("--server-name", s.serverName);
    checkPort("--port", s.port);
    if (s.companyDatabase.empty())
        s.companyDatabase = "DB" + s.companyCode;
    SiteCompany company{s.companyCode, s.companyName, s.companyDatabase, s.adminCode, s.adminName, Now()};
    CheckSiteCompany(company);
    CheckDatabaseNames(kSystemDatabase, s.companyDatabase);
    if (s.postgres)
        checkPgLogin(s.server);
    if (!s.secret.empty())
        CheckSecret(s.secret);
    if (s.demoDocuments > 10000000)
        throw Exception("--demo-documents takes a number from 0 to 10000000");
    return s;
}

// The system database with the site's company and administrator; the company database
// empty, or with demo data for a trial.
void makeDatabases(const SiteSpec& s)
{
    const SiteCompany company{s.companyCode, s.companyName, s.companyDatabase, s.adminCode, s.adminName, Now()};
    DatabasePair pair{kSystemDatabase, s.companyDatabase,
                      [company](DbConnection& sys) { FillSiteSystemData(sys, company); }, {}};
    if (s.demoDocuments >= 0) {
        DemoOptions demo;
        demo.documents = s.demoDocuments;
        demo.companyCode = s.companyCode;
        demo.companyDatabase = s.companyDatabase;
        demo.systemDatabase = kSystemDatabase;
        char today[16];
        const CivilDate c = DecodeDateTime(Now());
        std::snprintf(today, sizeof today, "%04d%02d%02d", c.year, c.month, c.day);
        demo.lastDate = today;
        pair.fillCompany = [demo](DbConnection& co) { FillCompanyDemoData(co, demo); };
    }
    if (s.postgres)
        CreateDatabaseSchemas(s.server, pair, s.replace);
    else
        CreateDatabaseFiles(s.state, pair, s.replace);
}

} // namespace

void CheckSecret(const std::string& secret)
{
    if (secret.find_first_of("\r\n") != std::string::npos)
        throw Exception("The connection secret is more than one line");
    if (secret.size() < kShortestSecret)
        throw Exception("The connection secret is shorter than " + std::to_string(kShortestSecret) + " characters");
}

std::string ReadSecretFile(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw Exception("Cannot read the secret file " + file);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    CheckSecret(text);
    return text;
}

std::vector<std::string> MakeSite(const SiteSpec& given)
{
    SiteSpec s = checkedSite(given);
    const std::optional<Owner> owner = ownerOf(s.owner);
    if (!s.replace)
        if (const std::string there = existingPart(s); !there.empty())
            throw Exception("A site is there already: " + there + " (make it again with --replace)");
    const bool generated = s.secret.empty();
    if (generated)
        s.secret = newSecret();

    for (const std::string& f : {s.config, s.config + "server/", s.config + "client/"})
        makeFolder(f, kOpenFolder);
    makeFolder(s.state, kClosedFolder);
    makeFolder(s.logs, kClosedFolder);
    makeDatabases(s);

    writeFile(s.config + "classes.ini",
              "; Automation classes by ProgID for the server programs (qvsetup site).\n[Classes]\n"
              "ReportCounterS.dmReportCounter=" + SuiteLibraryFolder() + "ReportCounterS.so\n",
              kReadable);
    // The server's settings hold the database password: the service's group reads them.
    writeFile(s.config + "server/BriskoS.ini", serverIni(s), kGroupReadable);
    writeFile(s.config + "client/BriskoC.ini", clientIni(s.serverName, s.port, s.secret), kReadable);
    linkLanguageFiles(s.config + "client/");
    if (generated)
        writeFile(s.config + "connection-secret", s.secret + "\n", kOwnerOnly);
    // Last: the registry file makes the folder a site.
    writeFile(s.config + "registry.ini", registryIni(s.config + "client/", s.config + "server/", s.logs), kReadable);
    if (owner) {
        giveTreeTo(s.state, *owner);
        giveTreeTo(s.logs, *owner);
        if (::chown((s.config + "server/BriskoS.ini").c_str(), ::geteuid(), owner->gid) != 0)
            throw Exception("Cannot give " + s.config + "server/BriskoS.ini to the group of " + s.owner);
    }

    std::vector<std::string> said{
        "Site configuration: " + s.config + " (registry.ini, classes.ini, server/BriskoS.ini, client/BriskoC.ini)",
        s.postgres ? "Databases:          schemas " + PgSchemaName(kSystemDatabase) + " and " +
                         PgSchemaName(s.companyDatabase) + " of " + s.server.database + " on " + s.server.host + ":" +
                         s.server.port
                   : "Databases:          " + s.state + kSystemDatabase + ".db, " + s.state + s.companyDatabase + ".db",
        "Company:            " + s.companyCode + " " + s.companyName +
            (s.demoDocuments >= 0 ? " (demo data, " + std::to_string(s.demoDocuments) + " documents)" : ""),
        "Administrator:      " + s.adminCode + " (super user, every right of WOFB07)",
        "Logs:               " + s.logs + (owner ? " (state and logs owned by " + s.owner + ")" : ""),
        "Remote clients:     port " + std::to_string(s.port) + " of every interface, as " + s.serverName + ":" +
            std::to_string(s.port) + "; health and metrics on http://" + kMetricsListen + "/",
    };
    if (generated)
        said.push_back("Connection secret:  new, in " + s.config + "connection-secret; each desk takes it with "
                       "qvsetup desk ... --secret-file FILE");
    said.push_back(s.config == "/etc/wofb07/" ? "Next: sudo systemctl enable --now qvappserver"
                                              : "Next: qvappserver --install " + s.config);
    return said;
}

std::vector<std::string> MakeDesk(const DeskSpec& given)
{
    DeskSpec d = given;
    d.config = folderOf("--config", d.config);
    checkServerName("--server-name", d.serverName);
    checkPort("--port", d.port);
    if (d.secret.empty())
        throw Exception("A desk needs the site's connection secret: --secret TEXT or --secret-file FILE");
    CheckSecret(d.secret);
    std::error_code ec;
    if (!d.replace)
        for (const char* f : {"registry.ini", "client/BriskoC.ini"})
            if (fs::exists(d.config + f, ec))
                throw Exception("An installation is there already: " + d.config + f +
                                " (make it again with --replace)");

    makeFolder(d.config, kOpenFolder);
    makeFolder(d.config + "client/", kOpenFolder);
    writeFile(d.config + "client/BriskoC.ini", clientIni(d.serverName, d.port, d.secret), kReadable);
    linkLanguageFiles(d.config + "client/");
    writeFile(d.config + "registry.ini", registryIni(d.config + "client/", {}, "~/.local/state/wofb07/"), kReadable);
    const bool machine = d.config + "registry.ini" == Registry::SystemFilePath;
    return {
        "Desk configuration: " + d.config + " (registry.ini, client/BriskoC.ini)",
        "Application server: " + d.serverName + ":" + std::to_string(d.port),
        "Logs:               ~/.local/state/wofb07/ of each user",
        machine ? "Next: jobhost --user USER --company CODE"
                : "Next: QV_REGISTRY=" + d.config + "registry.ini jobhost --user USER --company CODE",
    };
}
