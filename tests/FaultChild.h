#pragma once
// Faults that only another process can meet: a child that runs a piece of a test under a
// file size limit (a disk that fills up at once) or as an unprivileged user (folders it may
// not write), and tells the parent what it saw.

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fault {

struct ChildLimits {
    long fileSizeLimit = -1;   // bytes; every write past this offset fails (EFBIG)
    bool unprivileged = false; // drops to user and group 65534 when running as root
};

// Runs body in a forked child under the limits; answers what it returned. A child that
// dies answers "<died>".
inline std::string inChild(const ChildLimits& limits, const std::function<std::string()>& body)
{
    int fds[2];
    if (pipe(fds) != 0) {
        ADD_FAILURE() << "no pipe";
        return {};
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::string said;
        bool ready = true;
        if (limits.fileSizeLimit >= 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit r{rlim_t(limits.fileSizeLimit), rlim_t(limits.fileSizeLimit)};
            ready = setrlimit(RLIMIT_FSIZE, &r) == 0;
        }
        if (ready && limits.unprivileged && geteuid() == 0)
            ready = setgid(65534) == 0 && setuid(65534) == 0;
        said = ready ? body() : "<limits could not be set>";
        const char* p = said.data();
        std::size_t left = said.size();
        while (left > 0) {
            const ssize_t n = write(fds[1], p, left);
            if (n <= 0)
                break;
            p += n;
            left -= std::size_t(n);
        }
        _exit(0);
    }
    close(fds[1]);
    std::string said;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        said.append(buf, std::size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status))
        return "<died>";
    return said;
}

} // namespace fault
