#include "host/InstallationCheck.h"

#include "host/AppServerLink.h"
#include "host/FileCheck.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/SystemInfo.h"

#include <cstdlib>

namespace {

constexpr const char* kBriskoKey = "Software\\QVR\\Brisko";
constexpr const char* kServerProgId = "ReportCounterS.dmReportCounter";

std::string shownPath(const std::string& path)
{
    return Printable(path);
}

// The installation folder a registry value names, as the readers take it: a relative
// value counts from the registry file's folder, wherever the program was started.
std::string folderOf(const std::string& value)
{
    return WithTrailingSlash(ResolveRegistryFolder(value));
}

// The ini files a reader of the folder may open: the user's profile first when profiles
// are on.
std::vector<std::string> iniCandidates(const std::string& folder, const std::string& profileType,
                                       const std::string& fileName)
{
    std::vector<std::string> files;
    if (!profileType.empty() && profileType != "0") {
        std::string user = GetUserName();
        if (user.size() > 31)
            user.resize(31);
        files.push_back(folder + "Profile/" + user + "/" + fileName);
    }
    files.push_back(folder + fileName);
    return files;
}

class Checker {
public:
    Checker(InstallationReport& report, std::string registryFile)
        : report_(report), registry_(std::move(registryFile))
    {
    }

    // A folder the registry names under valueName; false when it cannot serve.
    bool folder(const std::string& valueName, const std::string& value, const std::string& what)
    {
        if (value.empty()) {
            problem(registry_ + ": [" + kBriskoKey + "] " + valueName + " is empty: it must name the " + what);
            return false;
        }
        if (HasNulByte(value)) {
            problem(registry_ + ": [" + kBriskoKey + "] " + valueName + " \"" + shownPath(value) +
                    "\" has a NUL byte, which cuts the path short");
            return false;
        }
        const std::string folder = folderOf(value);
        const FileStatus s = CheckFolder(folder);
        if (s.state == FileState::Readable)
            return true;
        problem("The " + what + " " + shownPath(folder) + " (" + valueName + " in " + registry_ + ") " +
                (s.state == FileState::Missing ? std::string("does not exist") : s.reason));
        return false;
    }

    // The ini files of a folder; false when one that exists cannot be read.
    bool iniFiles(const std::string& value, const std::string& profileType, const std::string& fileName,
                  const std::string& defaults)
    {
        bool ok = true;
        bool found = false;
        for (const std::string& file : iniCandidates(folderOf(value), profileType, fileName)) {
            const FileStatus s = CheckFile(file);
            if (s.state == FileState::Readable)
                found = true;
            if (s.state == FileState::Unusable) {
                problem(shownPath(file) + " " + s.reason);
                ok = false;
            }
        }
        if (ok && !found)
            report_.notes.push_back(shownPath(folderOf(value) + fileName) +
                                    " is missing: " + defaults);
        return ok;
    }

    void noNul(const std::string& file, const std::string& what, const std::string& value)
    {
        if (HasNulByte(value))
            problem(file + ": " + what + " \"" + shownPath(value) + "\" has a NUL byte, which cuts the path short");
    }

    void problem(std::string text) { report_.problems.push_back(std::move(text)); }

private:
    InstallationReport& report_;
    std::string registry_;
};

} // namespace

InstallationReport InstallationCheck::CheckFiles()
{
    InstallationReport report;
    const std::string registryFile = Registry::FilePath();
    Checker check(report, registryFile);

    const FileStatus reg = CheckFile(registryFile);
    if (reg.state == FileState::Missing) {
        check.problem("The registry file " + shownPath(registryFile) +
                      " is missing (QV_REGISTRY names it; \"jobhost demo\" prepares a demo installation)");
        return report;
    }
    if (reg.state == FileState::Unusable) {
        check.problem("The registry file " + shownPath(registryFile) + " " + reg.reason);
        return report;
    }
    Registry key;
    if (!key.OpenKeyReadOnly(kBriskoKey)) {
        check.problem("The registry file " + shownPath(registryFile) + " has no key [" + kBriskoKey + "]");
        return report;
    }
    const std::string clientPath = key.ReadString("ClientPath");
    const std::string serverPath = key.ReadString("ServerPath");
    const std::string profileType = key.ValueExists("ProfileType") ? key.ReadString("ProfileType") : "0";
    key.CloseKey();

    if (!check.folder("ClientPath", clientPath, "client folder"))
        return report;
    if (!check.iniFiles(clientPath, profileType, "BriskoC.ini",
                        "the client's defaults apply (application server 127.0.0.1, port 211)"))
        return report;
    // The server folder matters when the server runs on this machine; whether it does is
    // in BriskoC.ini, readable by now.
    const HostConfig client = HostConfig::LoadClient();
    if (!client.clientNamesServer) {
        check.problem(shownPath(client.clientIniFile) +
                      ": [Server Information] ComputerName names no application server");
        return report;
    }
    if (client.serverIsLocal()) {
        if (!check.folder("ServerPath", serverPath, "server folder"))
            return report;
        if (!check.iniFiles(serverPath, profileType, "BriskoS.ini", "the server's defaults apply"))
            return report;
    }

    report.config = HostConfig::Load();
    const HostConfig& c = report.config;
    for (const std::string& folder : c.workDllPaths)
        check.noNul(c.serverIniFile, "[WorkDLLPath] folder", folder);
    if (!c.serverIsLocal() || !report.ok())
        return report;
    const IniFile serverIni(c.serverIniFile);
    check.noNul(c.serverIniFile, "[DBE Setting] MainServerName",
                serverIni.ReadString("DBE Setting", "MainServerName", ""));
    check.noNul(c.serverIniFile, "[DBE Setting] MainDBName", serverIni.ReadString("DBE Setting", "MainDBName", ""));
    if (!report.ok() || !c.databasesAreFiles())
        return report;
    const FileStatus data = CheckFolder(c.databaseFolder);
    if (data.state != FileState::Readable) {
        check.problem("The database folder " + shownPath(c.databaseFolder) + " (MainServerName in " +
                      shownPath(c.serverIniFile) + ") " + (data.state == FileState::Missing ? "does not exist" : data.reason));
        return report;
    }
    const std::string system = c.databaseFile(c.systemDatabase);
    if (const std::string why = DatabaseFileProblem(system); !why.empty())
        check.problem("The system database " + c.systemDatabase + " (" + shownPath(system) + ") " + why);
    return report;
}

void InstallationCheck::CheckServer(AppServerLink& server, InstallationReport& report)
{
    const HostConfig& c = report.config;
    if (c.serverIsLocal()) {
        const char* table = std::getenv("QV_CLASS_TABLE");
        if (table && *table) {
            const FileStatus s = CheckFile(table);
            if (s.state != FileState::Readable) {
                report.problems.push_back("The class table " + shownPath(table) + " (QV_CLASS_TABLE) " +
                                          (s.state == FileState::Missing ? "is missing" : s.reason));
                return;
            }
            const std::string library = IniFile(table).ReadString("Classes", kServerProgId, "");
            if (HasNulByte(library)) {
                report.problems.push_back(shownPath(table) + ": [Classes] " + kServerProgId + " \"" + shownPath(library) +
                                          "\" has a NUL byte, which cuts the path short");
                return;
            }
        }
    }
    if (!server.server().isDispatch()) {
        const bool noTable = c.serverIsLocal() && !(std::getenv("QV_CLASS_TABLE") && *std::getenv("QV_CLASS_TABLE"));
        report.problems.push_back(std::string("The application server ") + kServerProgId + " cannot be had: " +
                                  server.lastError() + (noTable ? " (QV_CLASS_TABLE names no class table)" : ""));
        return;
    }
    // A query that answers one row whenever the system database can be read.
    const Variant probe = server.simpleSql("SELECT COUNT(*) AS N FROM ADMMC", "N", "", "");
    if (RowsOf(probe).empty() && !c.serverIsLocal()) {
        report.problems.push_back("The application server at " + c.serverAddress + ":" + std::to_string(c.serverPort) +
                                  " (ComputerName and ServerPort in " + shownPath(c.clientIniFile) +
                                  ") cannot serve this host: " + server.lastError());
    } else if (RowsOf(probe).empty()) {
        const std::string where = c.databasesAreFiles()
                                      ? " (" + shownPath(c.databaseFile(c.systemDatabase)) + ")"
                                      : " (MainDBType=" + shownPath(c.databaseType) + " in " + shownPath(c.serverIniFile) + ")";
        report.problems.push_back("The application server cannot read the system database " + c.systemDatabase + where +
                                  "; its alert log ReportCounterS below " + shownPath(c.clientPath) +
                                  "Log/ gives the reason");
    }
}
