#include "platform/SystemInfo.h"

#include "EnvGuard.h"

#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <sched.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The computer name seen in a private copy of the host name: runs in a child process
// with its own UTS namespace, so the machine's name is never touched. Empty when the
// system does not allow that (not root, or no namespaces in this container).
std::optional<std::string> computerNameFor(const std::string& hostName)
{
    int fds[2];
    if (pipe(fds) != 0)
        return std::nullopt;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (unshare(CLONE_NEWUTS) != 0 || sethostname(hostName.data(), hostName.size()) != 0)
            _exit(2);
        const std::string name = GetComputerName();
        const bool ok = write(fds[1], name.data(), name.size()) == ssize_t(name.size());
        _exit(ok ? 0 : 3);
    }
    close(fds[1]);
    std::string out;
    char buf[64];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        out.append(buf, std::size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return out;
}

} // namespace

TEST(SystemInfoTest, ComputerNameIsAtMostFifteenCharacters)
{
    const std::string name = GetComputerName();
    EXPECT_FALSE(name.empty());
    EXPECT_LE(name.size(), 15u);
    EXPECT_EQ(name.find('.'), std::string::npos);
}

TEST(SystemInfoTest, LongAndMissingHostNames)
{
    const auto longName = computerNameFor("a-very-long-host-name.example.com");
    if (!longName)
        GTEST_SKIP() << "no private host name available here (needs root and UTS namespaces)";
    EXPECT_EQ(*longName, "a-very-long-hos");
    EXPECT_EQ(computerNameFor("short.example.com"), std::optional<std::string>("short"));
    EXPECT_EQ(computerNameFor(""), std::optional<std::string>("Unknown"));
    EXPECT_EQ(computerNameFor(".example.com"), std::optional<std::string>("Unknown"));
}

TEST(SystemInfoTest, UserTempFolderAndVersion)
{
    EXPECT_FALSE(GetUserName().empty());
    EnvGuard env;
    env.set("TMPDIR", "/var/tmp");
    EXPECT_EQ(GetTempPath(), "/var/tmp/");
    env.set("TMPDIR", "/var/tmp/");
    EXPECT_EQ(GetTempPath(), "/var/tmp/");
    env.set("TMPDIR", nullptr);
    EXPECT_EQ(GetTempPath(), "/tmp/");
    EXPECT_TRUE(std::regex_match(GetOsVersionText(), std::regex(R"(\d+\.\d+\.\d+)"))) << GetOsVersionText();
}
