#include "support/BriskoINI.h"
#include "support/AlertLog.h"
#include "support/Format.h"
#include "support/Helpers.h"
#include "support/ListenAddress.h"

#include "platform/AsciiText.h"
#include "platform/CodePage.h"
#include "platform/IniFile.h"
#include "platform/OleDate.h"
#include "platform/ProcessOnce.h"
#include "platform/Registry.h"
#include "platform/SystemInfo.h"

#include <algorithm>

#include <filesystem>
#include <system_error>
#include <utility>

namespace {

constexpr std::string_view kBriskoKey = "Software\\QVR\\Brisko";
constexpr std::string_view kNoPassword = "QV_Say_NoPassWord_ThePassWordIsEmpty";
constexpr std::string_view kPasswordError = "QV_Say_Password_Error";

bool endsWithSeparator(std::string_view s)
{
    return !s.empty() && (s.back() == '/' || s.back() == '\\');
}

// A folder written the suite's other way ("D:\Work") ends the same way. A folder of this
// machine ("/opt/qvr/server\", "/opt/qvr/server/\shared\") takes "/" throughout, so
// that the files below it can be opened.
std::string withSeparator(std::string s)
{
    if (!s.empty() && s.front() == '/') {
        for (char& c : s)
            if (c == '\\')
                c = '/';
        if (s.back() != '/')
            s += '/';
        return s;
    }
    if (!endsWithSeparator(s))
        s += s.find('\\') != std::string::npos && s.find('/') == std::string::npos ? '\\' : '/';
    return s;
}

bool fileExists(const std::string& name)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(name, ec);
}

bool boolText(const std::string& text)
{
    const std::string t = upperAscii(text);
    return t == "1" || t == "Y" || t == "YES" || t == "TRUE";
}

std::uint8_t rotateRight(std::uint8_t b, int n)
{
    n &= 7;
    return n ? std::uint8_t((b >> n) | (b << (8 - n))) : b;
}

std::uint8_t rotateLeft(std::uint8_t b, int n)
{
    n &= 7;
    return n ? std::uint8_t((b << n) | (b >> (8 - n))) : b;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool validUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const int n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (n < 0 || i + std::size_t(n) >= s.size())
            return false;
        for (int k = 1; k <= n; ++k)
            if ((static_cast<unsigned char>(s[i + std::size_t(k)]) >> 6) != 2)
                return false;
        i += std::size_t(n) + 1;
    }
    return true;
}

bool folderExists(const std::string& name)
{
    std::error_code ec;
    return !name.empty() && std::filesystem::is_directory(name, ec);
}

// Where the bad-password entry goes: the client folder, else the server folder, else the
// temporary folder; a folder that is not there is passed over, so that nothing but the
// Log folder is ever made.
std::string passwordLogFolder(const std::string& clientPath, const std::string& serverPath)
{
    for (const std::string& folder : {clientPath, serverPath, GetTempPath()})
        if (folderExists(folder))
            return folder;
    return "/tmp/";
}

void logBadPassword(const std::string& base, const std::string& exceptionClass, const std::string& message)
{
    try {
        const double now = Now();
        const std::string dashes = "----------------------------------";
        const std::string lines[] = {
            dashes + " on " + EncodePassword("DecodeSQLSa") + " " + dashes,
            "讯息信息:",
            Format("Exception is %s\r\nMessage %.2d: ", {exceptionClass, 1}) + message,
            Format("ErrorMessage Count: %d", {1}),
            "Programer Message: 解析 Sa 时发生错误!",
        };
        for (const std::string& line : lines)
            writeAlertLogAt(base, "WFERPGenerator", line, "D", now);
    } catch (...) {
        // A trace that cannot be written is no reason to stop loading.
    }
}

// The first report of a bad password in this file under this key; a file read again and
// again (each record is made and dropped at once, by the host and by the server library
// alike) must not fill the log.
bool firstReport(const std::string& fileName, std::string_view key)
{
    return FirstTimeInProcess("bad password in " + fileName + '\0' + upperAscii(key));
}

// The stored text decoded; on a digit that is not hexadecimal, the error text and the
// reason instead.
bool decode(std::string_view stored, std::string& plain, std::string& reason)
{
    plain.clear();
    plain.reserve(stored.size() / 2);
    for (std::size_t i = 0; i + 1 < stored.size(); i += 2) {
        const int hi = hexDigit(stored[i]), lo = hexDigit(stored[i + 1]);
        if (hi < 0 || lo < 0) {
            reason = "'" + std::string(stored.substr(i, 2)) + "' is not a valid hexadecimal value";
            plain = std::string(kPasswordError);
            return false;
        }
        plain += char(rotateLeft(std::uint8_t(hi * 16 + lo), int((i / 2 + 1) % 8)));
    }
    if (plain == kNoPassword)
        plain.clear();
    // Passwords stored by the suite's older clients are in the ANSI code page.
    else if (!validUtf8(plain))
        plain = CodePageToUtf8(plain, GetACP());
    return true;
}

std::string nameOfFile(bool client)
{
    return client ? "BriskoC.ini" : "BriskoS.ini";
}

// Steps 4 to 9 of loading, shared: registry, installation folder, profile, ini file.
// Answers false (with ErrorCode set where it applies) when loading stops. The registry's
// folders are resolved against the registry file; both come back for the alert log.
bool locate(BriskoIniCommon& c, std::string& path, bool client, std::string& clientPath, std::string& serverPath)
{
    Registry reg;
    if (!reg.OpenKeyReadOnly(kBriskoKey)) {
        c.ErrorCode = "E;000015";
        return false;
    }
    clientPath = ResolveRegistryFolder(reg.ReadString("ClientPath"));
    serverPath = ResolveRegistryFolder(reg.ReadString("ServerPath"));
    path = client ? clientPath : serverPath;
    if (reg.ValueExists("ProfileType"))
        c.ProfileType = reg.ReadString("ProfileType");
    reg.CloseKey();
    // Without an installation folder there is no ini file to read, for the server
    // record as for the client's.
    if (path.empty())
        return false;
    path = withSeparator(path);
    if (!clientPath.empty())
        clientPath = withSeparator(clientPath);
    if (!serverPath.empty())
        serverPath = withSeparator(serverPath);
    if (!c.ProfileType.empty() && c.ProfileType != "0") {
        std::string user = GetUserName();
        if (user.size() > 31)
            user.resize(31);
        c.ProfilePath = path + "Profile/" + user + "/";
        c.ProfileUser = user;
    } else {
        c.ProfilePath = path;
    }
    c.IniFileName = c.ProfilePath + nameOfFile(client);
    if (!fileExists(c.IniFileName)) {
        c.ProfilePath = path;
        c.IniFileName = path + nameOfFile(client);
    }
    return true;
}

std::vector<std::string> resolvedWorkPaths(const std::vector<std::string>& lines, const std::string& path,
                                           const char* fallback)
{
    std::vector<std::string> result;
    for (const std::string& line : lines) {
        const std::size_t eq = line.find('=');
        // A line without a name is the folder itself.
        const std::string value = eq == std::string::npos ? line : line.substr(eq + 1);
        result.push_back(withSeparator(ResolvePath(value, path)));
    }
    if (result.empty())
        result.push_back(path + fallback);
    return result;
}

} // namespace

void BriskoIniCommon::resetCommon()
{
    ErrorCode.clear();
    ProfilePath.clear();
    ProfileType = "0";
    ProfileUser = "Default";
    UICodePage = "936";
    DBCodePage = "936";
    SystemCodePage = std::to_string(NormaliseCodePage(GetACP()));
    UICodePage = SystemCodePage;
    SupportCallBack = false;
    computeModes();
    IniFileName.clear();
}

void BriskoIniCommon::computeModes()
{
    UIConvertMode = UICodePage == "950" ? 2 : (UICodePage == "936" && SystemCodePage == "950") ? 4 : 0;
    DBConvertMode = (UICodePage == "950" && DBCodePage == "936") ? 2
                  : (UICodePage == "936" && DBCodePage == "950") ? 1
                                                                 : 0;
}

TBriskoIniC::TBriskoIniC()
{
    Load();
}

void TBriskoIniC::clear()
{
    ClientPath.clear();
    Servers = Variant();
    LangType.clear();
    WorkDLLPaths.clear();
    Version.clear();
    CreateGifBeforeSendEF.clear();
    AutoCheckNewMsg.clear();
    CheckInterval.clear();
    PopupMsg.clear();
    LoginCheck.clear();
    ConnectionSecret.clear();
    TlsCertificate.clear();
    ConnectTimeOut = DefaultConnectTimeOut;
    CallTimeOut = DefaultCallTimeOut;
}

bool TBriskoIniC::Load()
{
    clear();
    resetCommon();
    std::string path, clientPath, serverPath;
    if (!locate(*this, path, true, clientPath, serverPath))
        return false;
    ClientPath = path;

    const IniFile ini(IniFileName);
    LangType = ini.ReadString("Client Components", "LangType", "ENG");
    Version = ini.ReadString("ProductVersion", "Version", "");
    CreateGifBeforeSendEF = ini.ReadString("UserDefine", "CreateGifBeforeSendEF", "Y");
    UICodePage = ini.ReadString("CodePage", "UICodePage", SystemCodePage);
    DBCodePage = ini.ReadString("CodePage", "DBCodePage", "936");
    SupportCallBack = boolText(ini.ReadString("Server Information", "SupportCallBack", "0"));
    std::string names = ini.ReadString("Server Information", "ComputerName", "127.0.0.1");
    const int port = ini.ReadInteger("Server Information", "ServerPort", 211);
    ConnectionSecret = DecodePassword(ini.ReadString("Server Information", "ConnectionSecret", ""));
    const std::string tlsFile = trimText(ini.ReadString("Server Information", "TlsCertificate", ""));
    TlsCertificate = tlsFile.empty() ? std::string() : ResolvePath(tlsFile, ClientPath);
    const int connectTimeOut = ini.ReadInteger("Server Information", "ConnectTimeOut", DefaultConnectTimeOut);
    ConnectTimeOut = connectTimeOut < 1 ? DefaultConnectTimeOut : connectTimeOut;
    const int callTimeOut = ini.ReadInteger("Server Information", "CallTimeOut", DefaultCallTimeOut);
    CallTimeOut = callTimeOut < 1 ? DefaultCallTimeOut : callTimeOut;
    WorkDLLPaths = ini.ReadSectionValues("WorkDLLPath");
    AutoCheckNewMsg = ini.ReadString("TaskMessageCenter Setting", "AutoCheckNewMsg", "1");
    CheckInterval = ini.ReadString("TaskMessageCenter Setting", "CheckInterval", "1");
    PopupMsg = ini.ReadString("TaskMessageCenter Setting", "PopupMsg", "1");
    LoginCheck = ini.ReadString("TaskMessageCenter Setting", "LoginCheck", "0");
    computeModes();

    names = trimText(names);
    if (!names.empty() && names.back() == ';')
        names.pop_back();
    if (names.empty()) {
        ErrorCode = "E;000016";
        return false;
    }
    // Every field is a server, an empty one too ("a;;b" names three), so that the i-th
    // name written is the i-th server; blanks around a name are no part of it.
    std::vector<std::string> servers;
    for (int i = 1, n = CountFields(names, ";"); i <= n; ++i)
        servers.push_back(trimText(GetField(names, ";", i)));
    Servers = Variant::array2(0, 1, 0, int(servers.size()) - 1);
    for (int i = 0; i < int(servers.size()); ++i) {
        Servers.at(0, i) = Variant(servers[std::size_t(i)]);
        Servers.at(1, i) = Variant(port);
    }
    WorkDLLPaths = resolvedWorkPaths(WorkDLLPaths, ClientPath, "C_PKG/");
    return true;
}

TBriskoIniS::TBriskoIniS()
{
    Load();
}

void TBriskoIniS::clear()
{
    ServerPath.clear();
    WorkDLLPaths.clear();
    Version.clear();
    DBType = 0;
    SystemControlAddress.clear();
    OtherSystemControlAddress.clear();
    BusyTimeOut = DefaultBusyTimeOut;
    QueryTimeOut = DefaultQueryTimeOut;
    JobTimeLimit = DefaultJobTimeLimit;
    Misfire = "once";
    Workers = 2;
    StopGraceSeconds = 30;
    LeaseSeconds = 60;
    JobQueueProblems.clear();
    QueryMaxRows = DefaultQueryMaxRows;
    QueryMaxBytes = DefaultQueryMaxBytes;
    QueryMaxMemory = DefaultQueryMaxMemory;
    ConnectionSecret.clear();
    MaxFrameBytes = DefaultMaxFrameBytes;
    IdleTimeOut = 1800;
    MaxConnections = 1024;
    MaxConnectionsPerAddress = 64;
    MaxObjectsPerConnection = 256;
    RemoteSettingProblems.clear();
    TlsCertificate.clear();
    TlsKey.clear();
    RemoteListen.clear();
    RemoteListenProblems.clear();
    MetricsListen.clear();
    MetricsProblems.clear();
}

namespace {

// The server's ini file as TBriskoIniS::Load reads it.
struct ServerIni {
    const IniFile& ini;
    const std::string& fileName;
    const std::string& clientPath;
    const std::string& serverPath;

    Variant password(const char* section, const char* key) const
    {
        std::string plain, reason;
        if (!decode(ini.ReadString(section, key, ""), plain, reason) && firstReport(fileName, key))
            logBadPassword(passwordLogFolder(clientPath, serverPath), "ConvertError", reason);
        return Variant(plain);
    }
    Variant text(const char* section, const char* key, const char* def) const
    {
        return Variant(ini.ReadString(section, key, def));
    }
    Variant integer(const char* section, const char* key, int def) const
    {
        return Variant(ini.ReadInteger(section, key, def));
    }
    // A bound an operator wrote is kept or refused, never quietly replaced.
    void bounded(const char* section, std::vector<std::string>& problems, const char* key, int& out, long long low,
                 long long high) const
    {
        const std::string given = trimText(ini.ReadString(section, key, ""));
        if (given.empty())
            return;
        char* end = nullptr;
        errno = 0;
        const long long v = std::strtoll(given.c_str(), &end, 10);
        if (errno != 0 || !end || *end || v < low || v > high) {
            problems.push_back(std::string(key) + "=" + given + " in [" + section + "] of " + fileName +
                               " is not a whole number from " + std::to_string(low) + " to " + std::to_string(high));
            return;
        }
        out = int(v);
    }
};

// The main and the temporary database ([0, *] and [1, *]) and the control addresses.
void readDatabases(TBriskoIniS& s, const ServerIni& r)
{
    const char* dbe = "DBE Setting";
    s.DBSettings.at(0, 1) = r.text(dbe, "MainUserName", "sa");
    s.DBSettings.at(0, 2) = r.password(dbe, "XXXXXX");
    s.DBSettings.at(0, 0) = r.text(dbe, "MainAlias", "Vostel");
    s.DBSettings.at(0, 3) = r.text(dbe, "MainDBType", "MSSQL");
    s.DBSettings.at(0, 4) = r.text(dbe, "MainDBName", "");
    const std::string mainServer = r.ini.ReadString(dbe, "MainServerName", "");
    s.DBSettings.at(0, 5) = Variant(mainServer);
    s.SystemControlAddress = r.ini.ReadString(dbe, "SystemControlAddress", "");
    if (trimText(s.SystemControlAddress).empty())
        s.SystemControlAddress = mainServer;
    s.OtherSystemControlAddress = r.ini.ReadString(dbe, "OtherSystemControlAddress", "");
    if (trimText(s.OtherSystemControlAddress).empty())
        s.OtherSystemControlAddress = mainServer;
    s.DBSettings.at(0, 6) = r.integer(dbe, "MainConnectionTimeOut", 300);
    s.DBSettings.at(0, 7) = r.integer(dbe, "MainCommandTimeOut", 3000);

    s.DBSettings.at(1, 0) = r.text(dbe, "TempAlias", "VostelTemp");
    s.DBSettings.at(1, 1) = r.text(dbe, "TempUserName", "sa");
    s.DBSettings.at(1, 2) = r.password(dbe, "TempPassword");
    s.DBSettings.at(1, 3) = r.text(dbe, "TempDBType", "PARADOX");
    s.DBSettings.at(1, 4) = r.text(dbe, "TempDBName", "");
    s.DBSettings.at(1, 5) = r.text(dbe, "TempDriverName", "PostgreSQL");
    s.DBSettings.at(1, 6) = r.integer(dbe, "TempConnectionTimeOut", 300);
    s.DBSettings.at(1, 7) = r.integer(dbe, "TempCommandTimeOut", 3000);
}

// The socket server ([2, 0..2]) and the secret remote clients must prove.
void readPasswordCtrl(TBriskoIniS& s, const ServerIni& r)
{
    s.DBSettings.at(2, 0) = Variant(trimText(r.ini.ReadString("DBPasswordCtrl", "ComputerName", "")));
    s.DBSettings.at(2, 1) = r.integer("DBPasswordCtrl", "ServerPort", 211);
    s.DBSettings.at(2, 2) = r.integer("DBPasswordCtrl", "ClientSocketPort", 1024);
    s.SupportCallBack = boolText(r.ini.ReadString("DBPasswordCtrl", "SupportCallBack", "0"));
    s.ConnectionSecret = VarToStr(r.password("DBPasswordCtrl", "ConnectionSecret"));
}

void readJobQueue(TBriskoIniS& s, const ServerIni& r)
{
    r.bounded("Job Queue", s.JobQueueProblems, "Workers", s.Workers, 1, 64);
    r.bounded("Job Queue", s.JobQueueProblems, "StopGraceSeconds", s.StopGraceSeconds, 0, 86400);
    r.bounded("Job Queue", s.JobQueueProblems, "LeaseSeconds", s.LeaseSeconds, 3, 3600);
    const std::string misfire = lowerAscii(trimText(r.ini.ReadString("Job Queue", "Misfire", "")));
    if (misfire == "once" || misfire == "all" || misfire == "skip")
        s.Misfire = misfire;
    else if (!misfire.empty())
        s.JobQueueProblems.push_back("Misfire=" + misfire + " in [Job Queue] of " + s.IniFileName +
                                     " is none of once, all and skip");
}

// The bounds of the remote clients' endpoint and its TLS files.
void readRemoteEndpoint(TBriskoIniS& s, const ServerIni& r)
{
    auto remoteBound = [&](const char* key, int& out, long long low, long long high) {
        r.bounded("DBPasswordCtrl", s.RemoteSettingProblems, key, out, low, high);
    };
    remoteBound("MaxFrameBytes", s.MaxFrameBytes, 64 * 1024, 1024LL * 1024 * 1024);
    remoteBound("IdleTimeOut", s.IdleTimeOut, 1, 7 * 24 * 3600);
    remoteBound("MaxConnections", s.MaxConnections, 1, 100000);
    remoteBound("MaxConnectionsPerAddress", s.MaxConnectionsPerAddress, 1, 100000);
    remoteBound("MaxObjectsPerConnection", s.MaxObjectsPerConnection, 1, 65536);
    auto file = [&](const char* key) {
        const std::string f = trimText(r.ini.ReadString("DBPasswordCtrl", key, ""));
        return f.empty() ? std::string() : ResolvePath(f, s.ServerPath);
    };
    s.TlsCertificate = file("TlsCertificate");
    s.TlsKey = file("TlsKey");
}

// Listen=HOST:PORT of a section, checked as the command line's addresses are: kept in out,
// or named in problems.
void readListen(const ServerIni& r, const char* section, std::string& out, std::vector<std::string>& problems)
{
    const std::string given = trimText(r.ini.ReadString(section, "Listen", ""));
    std::string host;
    int port = 0;
    if (given.empty())
        return;
    if (ParseListenAddress(given, host, port))
        out = given;
    else
        problems.push_back("Listen=" + given + " in [" + section + "] of " + r.fileName +
                           " is not HOST:PORT with a port from 0 to 65535");
}

// The bounds of the server's database work and of a job's run.
void readQueryBounds(TBriskoIniS& s, const ServerIni& r)
{
    const char* dbe = "DBE Setting";
    auto bound = [&](const char* key, int def) {
        const int v = r.ini.ReadInteger(dbe, key, def);
        return v < 1 ? def : v;
    };
    s.BusyTimeOut = bound("BusyTimeOut", TBriskoIniS::DefaultBusyTimeOut);
    s.QueryTimeOut = bound("QueryTimeOut", TBriskoIniS::DefaultQueryTimeOut);
    s.QueryMaxRows = bound("QueryMaxRows", TBriskoIniS::DefaultQueryMaxRows);
    s.QueryMaxBytes = bound("QueryMaxBytes", TBriskoIniS::DefaultQueryMaxBytes);
    s.QueryMaxMemory = bound("QueryMaxMemory", TBriskoIniS::DefaultQueryMaxMemory);
    s.JobTimeLimit = std::max(0, r.ini.ReadInteger(dbe, "JobTimeLimit", TBriskoIniS::DefaultJobTimeLimit));
}

} // namespace

bool TBriskoIniS::Load()
{
    clear();
    resetCommon();
    DBSettings = Variant::array2(0, 3, 0, 7);
    std::string path, clientPath, serverPath;
    if (!locate(*this, path, false, clientPath, serverPath))
        return false;
    ServerPath = path;

    const IniFile ini(IniFileName);
    const ServerIni r{ini, IniFileName, clientPath, serverPath};
    const char* dbe = "DBE Setting";
    Version = ini.ReadString("ProductVersion", "Version", "");
    UICodePage = ini.ReadString("CodePage", "UICodePage", SystemCodePage);
    DBCodePage = ini.ReadString("CodePage", "DBCodePage", "936");

    readDatabases(*this, r);
    readPasswordCtrl(*this, r);
    readJobQueue(*this, r);
    readRemoteEndpoint(*this, r);
    readListen(r, "DBPasswordCtrl", RemoteListen, RemoteListenProblems);
    readListen(r, "Metrics", MetricsListen, MetricsProblems);
    DBSettings.at(2, 3) = r.text(dbe, "DataBaseCodeOrder", "Chinese_Taiwan_Stroke_BIN");

    DBSettings.at(3, 0) = r.text(dbe, "EctAlias", "EDIDATA");
    DBSettings.at(3, 1) = r.text(dbe, "EctUserName", "sa");
    DBSettings.at(3, 2) = r.text(dbe, "EctPassword", "");

    readQueryBounds(*this, r);

    const std::string dbType = upperAscii(std::as_const(DBSettings).at(0, 3).toString());
    DBType = dbType == "ORACLE" ? 1 : dbType == "DB2" ? 2 : 0;
    computeModes();

    WorkDLLPaths = resolvedWorkPaths(ini.ReadSectionValues("WorkDLLPath"), ServerPath, "S_PKG/");
    return true;
}

void TBriskoIniS::GetWorkDLLPaths(std::vector<std::string>& list) const
{
    list = WorkDLLPaths;
}

std::string ResolvePath(std::string_view path, std::string_view base)
{
    const bool drive = path.size() >= 2 && path[1] == ':' &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    const bool share = path.size() >= 2 && ((path[0] == '\\' && path[1] == '\\') || (path[0] == '/' && path[1] == '/'));
    if (drive || share || (!path.empty() && path[0] == '/'))
        return std::string(path);
    std::string rest(path);
    if (!rest.empty() && rest[0] == '\\')
        rest.erase(0, 1);
    // Folders below the installation are written with "\" in files made for the suite's
    // other platforms; here they are folders separated by "/".
    for (char& c : rest)
        if (c == '\\')
            c = '/';
    return std::string(base) + rest;
}

std::string EncodePassword(std::string_view plain)
{
    const std::string_view text = plain.empty() ? kNoPassword : plain;
    static const char* hex = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() * 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::uint8_t b = rotateRight(static_cast<std::uint8_t>(text[i]), int((i + 1) % 8));
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

std::string DecodePassword(std::string_view stored)
{
    std::string plain, reason;
    if (!decode(stored, plain, reason) && FirstTimeInProcess("bad password " + std::string(stored))) {
        Registry reg;
        std::string clientPath, serverPath;
        if (reg.OpenKeyReadOnly(kBriskoKey)) {
            clientPath = ResolveRegistryFolder(reg.ReadString("ClientPath"));
            serverPath = ResolveRegistryFolder(reg.ReadString("ServerPath"));
        }
        logBadPassword(passwordLogFolder(clientPath, serverPath), "ConvertError", reason);
    }
    return plain;
}
