#include "host/HostConfig.h"

#include "platform/CodePage.h"
#include "support/BriskoINI.h"

#include <cstdlib>

HostConfig HostConfig::Load()
{
    HostConfig c;
    c.uiCodePage = NormaliseCodePage(GetACP());
    c.serverAddress = "127.0.0.1";

    // The host reads the installation as the job library does, through the same records.
    TBriskoIniC client;
    if (client.Load()) {
        c.clientPath = WithTrailingSlash(client.ClientPath);
        const int cp = std::atoi(client.UICodePage.c_str());
        c.uiCodePage = cp == 936 || cp == 950 || cp == 437 ? cp : c.uiCodePage;
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
    TBriskoIniS server;
    if (server.Load()) {
        c.serverPath = WithTrailingSlash(server.ServerPath);
        server.GetWorkDLLPaths(c.workDllPaths);
    }
    return c;
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
