// qvsetup: creates the system database and a company database with demo data; or a
// site's installation, server or desk (serverdb/SiteInstall.h).
//
//   qvsetup --folder DIR [--documents N] [--seed S] [--last-date yyyymmdd]
//           [--company CODE] [--company-db NAME] [--system-db NAME] [--replace]
//   qvsetup --database postgresql --server "Host=..;Port=..;Database=..;User=.." [the same options]
//           [--if-missing]
//   qvsetup site --config DIR --state DIR --logs DIR --server-name HOST [--port N]
//           [--database sqlite | --database postgresql --server "Host=..;Port=..;Database=..;User=.."]
//           --company CODE --company-name NAME [--company-db NAME] --admin USER [--admin-name NAME]
//           [--secret-file FILE] [--owner USER] [--demo-documents N] [--replace]
//   qvsetup desk --config DIR --server-name HOST [--port N] (--secret TEXT | --secret-file FILE) [--replace]
//
// On PostgreSQL the system and the company database are schemas of the server's database;
// the password comes from "Password=" or, better, from PGPASSWORD or ~/.pgpass.
//
// Existing databases are kept unless --replace is given; with --if-missing both schemas are
// kept when both are there, and both are made again when either is missing. Exit code 0 on success, 1 when
// the databases could not be made, 2 for a wrong command line.

#include "serverdb/DemoData.h"
#include "serverdb/SiteInstall.h"
#include "db/PgDialect.h"

#include <cctype>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

void usage()
{
    std::fprintf(stderr,
                 "Usage: qvsetup --folder DIR [--documents N] [--seed S] [--last-date yyyymmdd]\n"
                 "               [--company CODE] [--company-db NAME] [--system-db NAME] [--replace]\n"
                 "Creates DIR/<system-db>.db (default QVSYS) and DIR/<company-db>.db (default DEMO)\n"
                 "with demo data: N documents (default 300) dated up to the last date (default 20240630).\n"
                 "       qvsetup --database postgresql --server \"Host=H;Port=P;Database=D;User=U\" [options]\n"
                 "Creates the schemas <system-db> and <company-db> (lower case) in database D instead;\n"
                 "--if-missing keeps both when both are there and makes both again when either is missing.\n"
                 "       qvsetup site ... | qvsetup desk ...\n"
                 "Makes a site's server or desk installation (qvsetup site --help).\n");
}

bool readNumber(const char* text, long long& out)
{
    char* end = nullptr;
    out = std::strtoll(text, &end, 10);
    return end && *end == 0 && end != text;
}

// "Host=..;Port=..;Database=..;User=..;Password=.." of a PostgreSQL server.
bool readServer(const std::string& text, DbServerLogin& login, std::string& error)
{
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t end = text.find(';', i);
        if (end == std::string::npos)
            end = text.size();
        const std::string part = text.substr(i, end - i);
        i = end + 1;
        if (part.find_first_not_of(' ') == std::string::npos)
            continue;
        const std::size_t eq = part.find('=');
        if (eq == std::string::npos) {
            error = "\"" + part + "\" has no value";
            return false;
        }
        std::string key = part.substr(0, eq);
        for (char& c : key)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        const std::string value = part.substr(eq + 1);
        if (key == "host")
            login.host = value;
        else if (key == "port")
            login.port = value;
        else if (key == "database")
            login.database = value;
        else if (key == "user")
            login.user = value;
        else if (key == "password")
            login.password = value;
        else {
            error = "unknown key \"" + part.substr(0, eq) + "\"";
            return false;
        }
    }
    if (login.database.empty()) {
        error = "no Database=";
        return false;
    }
    return true;
}

struct SetupOptions {
    DemoOptions demo;
    std::string folder;
    std::string database = "sqlite";
    std::string serverText;
    bool replace = false;
    bool ifMissing = false;
};

// The options that take a value, read into o; false (with the message printed) when it is refused.
bool readValue(const std::string& a, const char* v, SetupOptions& o)
{
    long long n = 0;
    if (a == "--database") {
        o.database = v;
        for (char& c : o.database)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        if (o.database != "sqlite" && o.database != "postgresql") {
            std::fprintf(stderr, "qvsetup: --database takes sqlite or postgresql\n");
            return false;
        }
    } else if (a == "--server") {
        o.serverText = v;
    } else if (a == "--folder") {
        o.folder = v;
    } else if (a == "--documents") {
        if (!readNumber(v, n) || n < 0 || n > 10000000) {
            std::fprintf(stderr, "qvsetup: --documents takes a number from 0 to 10000000\n");
            return false;
        }
        o.demo.documents = int(n);
    } else if (a == "--seed") {
        if (!readNumber(v, n) || n < 0) {
            std::fprintf(stderr, "qvsetup: --seed takes a whole number\n");
            return false;
        }
        o.demo.seed = std::uint64_t(n);
    } else if (a == "--last-date") {
        o.demo.lastDate = v;
    } else if (a == "--company") {
        o.demo.companyCode = v;
    } else if (a == "--company-db") {
        o.demo.companyDatabase = v;
    } else if (a == "--system-db") {
        o.demo.systemDatabase = v;
    }
    return true;
}

bool takesValue(const std::string& a)
{
    for (const char* name : {"--database", "--server", "--folder", "--documents", "--seed", "--last-date", "--company",
                             "--company-db", "--system-db"})
        if (a == name)
            return true;
    return false;
}

// Reads the command line into o; an exit code when it is refused. --help prints and ends here.
std::optional<int> readOptions(int argc, char** argv, SetupOptions& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage();
            return 0;
        } else if (a == "--replace") {
            o.replace = true;
        } else if (a == "--if-missing") {
            o.ifMissing = true;
        } else if (takesValue(a)) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "qvsetup: %s needs a value\n", a.c_str());
                return 2;
            }
            if (!readValue(a, argv[++i], o))
                return 2;
        } else {
            std::fprintf(stderr, "qvsetup: unknown option %s\n", a.c_str());
            usage();
            return 2;
        }
    }
    return std::nullopt;
}

// The schemas on a PostgreSQL server. The exit code.
int setUpOnPostgres(const SetupOptions& o)
{
    const DemoOptions& options = o.demo;
    bool replace = o.replace;
    DbServerLogin login;
    std::string error;
    if (!readServer(o.serverText, login, error)) {
        std::fprintf(stderr, "qvsetup: --server: %s\n", error.c_str());
        return 2;
    }
    try {
        if (o.ifMissing && !replace) {
            if (DemoSchemasExist(login, options)) {
                std::printf("Kept the schemas %s and %s of %s\n", PgSchemaName(options.systemDatabase).c_str(),
                            PgSchemaName(options.companyDatabase).c_str(), login.database.c_str());
                return 0;
            }
            replace = true;
        }
        CreateDemoSchemas(login, options, replace);
        std::printf("System database:  schema %s of %s\nCompany database: schema %s (company %s, %d documents)\n",
                    PgSchemaName(options.systemDatabase).c_str(), login.database.c_str(),
                    PgSchemaName(options.companyDatabase).c_str(), options.companyCode.c_str(), options.documents);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qvsetup: %s\n", e.what());
        return 1;
    }
}

// The SQLite files in the folder. The exit code.
int setUpInFolder(const SetupOptions& o)
{
    const DemoOptions& options = o.demo;
    if (o.ifMissing) {
        std::fprintf(stderr, "qvsetup: --if-missing serves --database postgresql\n");
        return 2;
    }
    if (o.folder.empty()) {
        usage();
        return 2;
    }
    try {
        const DemoFiles files = CreateDemoDatabases(o.folder, options, o.replace);
        std::printf("System database:  %s\nCompany database: %s (company %s, %d documents)\n", files.systemFile.c_str(),
                    files.companyFile.c_str(), options.companyCode.c_str(), options.documents);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qvsetup: %s\n", e.what());
        return 1;
    }
}

void siteUsage(std::FILE* to)
{
    std::fprintf(to,
                 "Usage: qvsetup site --config DIR --state DIR --logs DIR --server-name HOST [--port N]\n"
                 "                    [--database sqlite |\n"
                 "                     --database postgresql --server \"Host=H;Port=P;Database=D;User=U\"]\n"
                 "                    --company CODE --company-name NAME [--company-db NAME] --admin USER\n"
                 "                    [--admin-name NAME] [--secret-file FILE] [--owner USER] [--demo-documents N]\n"
                 "                    [--replace]\n"
                 "Makes a site's server installation: DIR of --config holds registry.ini, classes.ini,\n"
                 "server/BriskoS.ini and client/BriskoC.ini; the databases are SQLite files in the state\n"
                 "folder or schemas on PostgreSQL (the password from Password= or PGPASSWORD, stored encoded);\n"
                 "the company database is empty unless --demo-documents fills demo data for a trial. USER of\n"
                 "--admin is the first administrator, a super user. The server listens for desks on --port\n"
                 "(default 7211) of every interface; desks reach it as HOST. Without --secret-file a new\n"
                 "connection secret is kept in DIR/connection-secret. --owner gives the state and log\n"
                 "folders to the service's user. An existing site is kept unless --replace.\n"
                 "       qvsetup desk --config DIR --server-name HOST [--port N] (--secret TEXT | --secret-file FILE)\n"
                 "                    [--replace]\n"
                 "Makes a desk's installation: registry.ini and client/BriskoC.ini naming the site's server,\n"
                 "the logs in each user's ~/.local/state/wofb07/.\n");
}

// Reads the options of site or desk; an exit code when they are refused.
std::optional<int> readSiteOptions(int argc, char** argv, bool site, SiteSpec& s, DeskSpec& d)
{
    std::string database = "sqlite", serverText, secretFile;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            siteUsage(stdout);
            return 0;
        }
        if (a == "--replace") {
            s.replace = d.replace = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "qvsetup: %s needs a value (or is unknown)\n", a.c_str());
            return 2;
        }
        const std::string v = argv[++i];
        long long n = 0;
        const auto number = [&](long long low, long long high) {
            return readNumber(v.c_str(), n) && n >= low && n <= high;
        };
        std::string* text = a == "--config" ? (site ? &s.config : &d.config)
                          : a == "--server-name" ? (site ? &s.serverName : &d.serverName)
                          : a == "--secret-file" ? &secretFile
                          : a == "--secret" && !site ? &d.secret
                          : !site ? nullptr
                          : a == "--state" ? &s.state
                          : a == "--logs" ? &s.logs
                          : a == "--database" ? &database
                          : a == "--server" ? &serverText
                          : a == "--company" ? &s.companyCode
                          : a == "--company-name" ? &s.companyName
                          : a == "--company-db" ? &s.companyDatabase
                          : a == "--admin" ? &s.adminCode
                          : a == "--admin-name" ? &s.adminName
                          : a == "--owner" ? &s.owner
                          : nullptr;
        if (text) {
            *text = v;
        } else if (a == "--port" && number(1, 65535)) {
            s.port = d.port = int(n);
        } else if (a == "--demo-documents" && site && number(0, 10000000)) {
            s.demoDocuments = int(n);
        } else if (a == "--port" || a == "--demo-documents") {
            std::fprintf(stderr, "qvsetup: %s takes a number (%s)\n", a.c_str(),
                         a == "--port" ? "1 to 65535" : "0 to 10000000");
            return 2;
        } else {
            std::fprintf(stderr, "qvsetup: unknown option %s (qvsetup %s --help)\n", a.c_str(), site ? "site" : "desk");
            return 2;
        }
    }
    try {
        if (!secretFile.empty())
            (site ? s.secret : d.secret) = ReadSecretFile(secretFile);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qvsetup: %s\n", e.what());
        return 2;
    }
    if (!site)
        return std::nullopt;
    for (char& c : database)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    if (database != "sqlite" && database != "postgresql") {
        std::fprintf(stderr, "qvsetup: --database takes sqlite or postgresql\n");
        return 2;
    }
    s.postgres = database == "postgresql";
    std::string error;
    if (s.postgres && !readServer(serverText, s.server, error)) {
        std::fprintf(stderr, "qvsetup: --server: %s\n", error.c_str());
        return 2;
    }
    if (s.postgres && s.server.password.empty())
        if (const char* p = std::getenv("PGPASSWORD"); p && *p)
            s.server.password = p;
    return std::nullopt;
}

// qvsetup site ... and qvsetup desk ...: the exit code.
int makeInstallation(int argc, char** argv)
{
    const bool site = std::string(argv[1]) == "site";
    SiteSpec s;
    DeskSpec d;
    if (const std::optional<int> refused = readSiteOptions(argc, argv, site, s, d))
        return *refused;
    try {
        for (const std::string& line : site ? MakeSite(s) : MakeDesk(d))
            std::printf("%s\n", line.c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qvsetup: %s\n", e.what());
        return 1;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && (std::string(argv[1]) == "site" || std::string(argv[1]) == "desk"))
        return makeInstallation(argc, argv);
    SetupOptions o;
    if (const std::optional<int> refused = readOptions(argc, argv, o))
        return *refused;
    if (o.database == "postgresql")
        return setUpOnPostgres(o);
    return setUpInFolder(o);
}
