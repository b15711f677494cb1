#include "host/HostConfig.h"

#include "platform/CodePage.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/SystemInfo.h"

#include <cstdlib>
#include <filesystem>

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

// A work folder resolves against the installation folder: "pkg" and "\pkg" both name
// a folder below it (the Windows form), "/abs" is absolute.
std::string resolveFolder(const std::string& folder, const std::string& base)
{
    std::string f = trimmed(folder);
    if (f.empty())
        return {};
    const bool belowBase = f.front() == '\\';
    for (char& c : f)
        if (c == '\\')
            c = '/';
    if (belowBase)
        return WithTrailingSlash(base + f.substr(1));
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
    const std::string profileType = trimmed(registry.ReadString("ProfileType"));
    registry.CloseKey();

    if (!c.clientPath.empty()) {
        // With per-user profiles the user's own BriskoC.ini counts when there is one, as
        // the job library reads it.
        std::string clientIni = c.clientPath + "BriskoC.ini";
        if (!profileType.empty() && profileType != "0") {
            const std::string own = c.clientPath + "Profile/" + GetUserName() + "/BriskoC.ini";
            if (std::filesystem::exists(own))
                clientIni = own;
        }
        const IniFile client(clientIni);
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
