#include "host/HostConfig.h"

#include "platform/CodePage.h"
#include "support/BriskoINI.h"

#include <cctype>
#include <cstdlib>

namespace {

std::string trimmedText(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

} // namespace

HostConfig HostConfig::LoadClient()
{
    HostConfig c;
    c.uiCodePage = NormaliseCodePage(GetACP());
    c.serverAddress = "127.0.0.1";

    // The host reads the installation as the job library does, through the same records.
    TBriskoIniC client;
    const bool clientLoaded = client.Load();
    c.clientIniFile = client.IniFileName;
    c.clientNamesServer = client.ErrorCode != "E;000016";
    if (clientLoaded) {
        c.clientPath = WithTrailingSlash(client.ClientPath);
        const int cp = std::atoi(client.UICodePage.c_str());
        c.uiCodePage = cp == 936 || cp == 950 || cp == 437 ? cp : c.uiCodePage;
        c.connectionSecret = client.ConnectionSecret;
        c.tlsTrustFile = client.TlsCertificate;
        c.connectTimeoutMs = client.ConnectTimeOut;
        c.callTimeoutMs = client.CallTimeOut;
        const Variant& servers = client.Servers;
        if (servers.isArray() && servers.dimCount() == 2 && servers.count(2) > 0) {
            const int first = servers.lowBound(2);
            c.serverAddress = VarToStr(servers.at(servers.lowBound(1), first));
            try {
                c.serverPort = servers.at(servers.lowBound(1) + 1, first).toInt();
            } catch (const VariantError&) {
                // An unreadable port keeps the default.
            }
        }
    } else if (!client.ClientPath.empty()) {
        c.clientPath = WithTrailingSlash(client.ClientPath);
    }
    return c;
}

HostConfig HostConfig::Load()
{
    HostConfig c = LoadClient();
    TBriskoIniS server;
    if (server.Load()) {
        c.serverPath = WithTrailingSlash(server.ServerPath);
        server.GetWorkDLLPaths(c.workDllPaths);
    }
    c.serverIniFile = server.IniFileName;
    // The same reading of "DBE Setting" as the application server's.
    const Variant& dbe = server.DBSettings;
    c.databaseType = trimmedText(VarToStr(dbe.at(0, 3)));
    c.systemDatabase = trimmedText(VarToStr(dbe.at(0, 4)));
    if (c.systemDatabase.empty())
        c.systemDatabase = "QVSYS";
    if (!c.serverPath.empty()) {
        const std::string folder = trimmedText(VarToStr(dbe.at(0, 5)));
        c.databaseFolder = WithTrailingSlash(folder.empty() ? c.serverPath : ResolvePath(folder, c.serverPath));
    }
    return c;
}

bool HostConfig::databasesAreFiles() const
{
    std::string type = databaseType;
    for (char& ch : type)
        ch = char(std::toupper(static_cast<unsigned char>(ch)));
    return type == "SQLITE";
}

std::string WithTrailingSlash(std::string path)
{
    if (path.empty())
        return path;
    if (path.back() == '\\')
        path.back() = '/';
    if (path.back() != '/')
        path += '/';
    return path;
}
