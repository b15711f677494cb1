#include "server/ServerIdentity.h"

#include "platform/SystemInfo.h"

#include <cerrno>
#include <csignal>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

// Field 22 of /proc/<pid>/stat; empty when the process does not exist or has ended
// (a zombie whose parent has not collected it yet).
std::string startTicks(long pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line))
        return {};
    // The command name in parentheses may hold blanks: count from its closing one.
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos)
        return {};
    std::istringstream rest(line.substr(close + 1));
    std::string field;
    for (int i = 3; i <= 22 && rest >> field; ++i) {
        if (i == 3 && (field == "Z" || field == "X"))
            return {};
        if (i == 22)
            return field;
    }
    return {};
}

std::string hostName()
{
    char buf[256] = {};
    if (gethostname(buf, sizeof buf - 1) != 0 || !buf[0])
        return GetComputerName();
    return buf;
}

} // namespace

std::string ThisServerId()
{
    static const std::string id = hostName() + ":" + std::to_string(long(getpid())) + ":" + startTicks(long(getpid()));
    return id;
}

std::string ServerIdOnHost(const std::string& host)
{
    return host + ":" + std::to_string(long(getpid())) + ":" + startTicks(long(getpid()));
}

bool IsServerGone(const std::string& serverId)
{
    const std::size_t a = serverId.rfind(':');
    const std::size_t b = a == std::string::npos || a == 0 ? std::string::npos : serverId.rfind(':', a - 1);
    if (b == std::string::npos || serverId.substr(0, b) != hostName())
        return false;
    long pid = 0;
    try {
        pid = std::stol(serverId.substr(b + 1, a - b - 1));
    } catch (const std::exception&) {
        return false;
    }
    if (pid <= 0)
        return false;
    if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        return true;
    const std::string ticks = startTicks(pid);
    return ticks.empty() || ticks != serverId.substr(a + 1);
}
