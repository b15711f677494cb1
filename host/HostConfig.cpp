#include "host/HostConfig.h"

#include "platform/CodePage.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"

#include <cstdlib>

namespace {

std::string trimmed(std::string s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

int codePageOf(const std::string& text, int fallback)
{
    const std::string t = trimmed(text);
    if (t == "936")
        return 936;
    if (t == "950")
        return 950;
    if (t == "437")
        return 437;
    return fallback;
}

// A work folder resolves against the installation folder unless it is absolute.
std::string resolveFolder(const std::string& folder, const std::string& base)
{
    std::string f = trimmed(folder);
    for (char& c : f)
        if (c == '\\')
            c = '/';
    if (f.empty())
        return {};
    if (f.front() == '/')
        return WithTrailingSlash(f);
    return WithTrailingSlash(base + f);
}

} // namespace

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

HostConfig HostConfig::Load()
{
    HostConfig c;
    c.uiCodePage = NormaliseCodePage(GetACP());
    c.serverAddress = "127.0.0.1";

    Registry registry;
    if (!registry.OpenKeyReadOnly("Software\\QVR\\Brisko"))
        return c;
    c.clientPath = WithTrailingSlash(trimmed(registry.ReadString("ClientPath")));
    c.serverPath = WithTrailingSlash(trimmed(registry.ReadString("ServerPath")));
    registry.CloseKey();

    if (!c.clientPath.empty()) {
        const IniFile client(c.clientPath + "BriskoC.ini");
        c.uiCodePage = codePageOf(client.ReadString("CodePage", "UICodePage", ""), c.uiCodePage);
        std::string servers = trimmed(client.ReadString("Server Information", "ComputerName", "127.0.0.1"));
        if (!servers.empty() && servers.back() == ';')
            servers.pop_back();
        c.serverAddress = trimmed(servers.substr(0, servers.find(';')));
        c.serverPort = client.ReadInteger("Server Information", "ServerPort", 211);
    }
    if (!c.serverPath.empty()) {
        const IniFile server(c.serverPath + "BriskoS.ini");
        for (const std::string& line : server.ReadSectionValues("WorkDLLPath")) {
            const auto eq = line.find('=');
            const std::string folder = resolveFolder(eq == std::string::npos ? line : line.substr(eq + 1), c.serverPath);
            if (!folder.empty())
                c.workDllPaths.push_back(folder);
        }
        if (c.workDllPaths.empty())
            c.workDllPaths.push_back(c.serverPath + "S_PKG/");
    }
    return c;
}
