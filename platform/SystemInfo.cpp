#include "platform/SystemInfo.h"

#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

std::string GetComputerName()
{
    char buf[256] = {};
    if (gethostname(buf, sizeof buf - 1) != 0 || !buf[0])
        return "Unknown";
    std::string name(buf);
    // Only the host part, as a machine name has no domain.
    if (auto dot = name.find('.'); dot != std::string::npos)
        name.resize(dot);
    if (name.empty())
        return "Unknown";
    if (name.size() > 15)
        name.resize(15);
    return name;
}

std::string GetUserName()
{
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name)
        return pw->pw_name;
    if (const char* u = std::getenv("USER"); u && *u)
        return u;
    return {};
}

std::string GetTempPath()
{
    std::string dir;
    if (const char* t = std::getenv("TMPDIR"); t && *t)
        dir = t;
    else
        dir = "/tmp";
    if (dir.back() != '/')
        dir += '/';
    return dir;
}

std::string GetOsVersionText()
{
    utsname u{};
    if (uname(&u) != 0)
        return "0.0.0";
    int major = 0, minor = 0, build = 0;
    std::sscanf(u.release, "%d.%d.%d", &major, &minor, &build);
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(build);
}
