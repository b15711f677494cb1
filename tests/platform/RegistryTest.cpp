#include "platform/CodePage.h"
#include "platform/Registry.h"

#include "EnvGuard.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        file = (std::filesystem::temp_directory_path() / ("qv-registry-" + std::to_string(::getpid()) + ".ini")).string();
        env.set("QV_REGISTRY", file.c_str());
    }
    void TearDown() override
    {
        std::remove(file.c_str());
        SetACP(0);
    }
    void write(const std::string& text) const { std::ofstream(file, std::ios::binary) << text; }

    std::string file;
    EnvGuard env;
};

} // namespace

TEST_F(RegistryTest, KeysAreSectionsOfTheRegistryFile)
{
    write("[Software\\QVR\\Brisko]\nClientPath=/opt/qvr/client/\nServerPath=/opt/qvr/server/\nProfileType=1\n"
          "[Software\\Varn\\Hollet]\nGoAhead= 1 \n");
    EXPECT_EQ(Registry::FilePath(), file);
    Registry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\QVR\\Brisko"));
    EXPECT_EQ(reg.ReadString("ClientPath"), "/opt/qvr/client/");
    EXPECT_EQ(reg.ReadString("clientpath"), "/opt/qvr/client/");
    EXPECT_TRUE(reg.ValueExists("PROFILETYPE"));
    EXPECT_FALSE(reg.ValueExists("LangType"));
    EXPECT_EQ(reg.ReadString("LangType"), "");
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"ClientPath", "ServerPath", "ProfileType"}));
    reg.CloseKey();
    EXPECT_EQ(reg.ReadString("ClientPath"), "");

    // The machine root and leading or trailing separators name the same key.
    EXPECT_TRUE(reg.OpenKeyReadOnly("HKEY_LOCAL_MACHINE\\Software\\QVR\\Brisko"));
    EXPECT_TRUE(reg.OpenKeyReadOnly("\\software\\qvr\\brisko\\"));
    EXPECT_TRUE(reg.KeyExists("Software\\Varn\\Hollet"));
    EXPECT_FALSE(reg.OpenKeyReadOnly("Software\\QVR"));
    EXPECT_EQ(reg.ReadString("ClientPath"), "") << "a failed open leaves no key open";

    EXPECT_EQ(ReadMachineString("Software\\Varn\\Hollet", "GoAhead"), "1");
    EXPECT_EQ(ReadMachineString("Software\\Varn\\Hollet", "Missing", "def"), "def");
    EXPECT_EQ(ReadMachineString("Software\\Nowhere", "GoAhead", "def"), "def");
}

TEST_F(RegistryTest, AnObjectReadsTheFileOnce)
{
    write("[Software\\QVR\\Brisko]\nClientPath=/first/\n");
    Registry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\QVR\\Brisko"));
    write("[Software\\QVR\\Brisko]\nClientPath=/second/\n[Software\\Other]\n");
    ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\QVR\\Brisko"));
    EXPECT_EQ(reg.ReadString("ClientPath"), "/first/");
    EXPECT_FALSE(reg.KeyExists("Software\\Other"));
    EXPECT_EQ(ReadMachineString("Software\\QVR\\Brisko", "ClientPath"), "/second/") << "a new object reads it again";
}

TEST_F(RegistryTest, RelativeFoldersLieBelowTheRegistryFile)
{
    const std::string folder = std::filesystem::path(file).parent_path().string() + "/";
    EXPECT_EQ(Registry::FileFolder(), folder);
    EXPECT_EQ(ResolveRegistryFolder("client/"), folder + "client/");
    EXPECT_EQ(ResolveRegistryFolder("data\\client\\"), folder + "data/client/");
    EXPECT_EQ(ResolveRegistryFolder("\\client"), folder + "client");
    EXPECT_EQ(ResolveRegistryFolder("./a/../client/"), folder + "client/");
    EXPECT_EQ(ResolveRegistryFolder("/opt/qvr/client/"), "/opt/qvr/client/");
    EXPECT_EQ(ResolveRegistryFolder("D:\\QVR\\"), "D:\\QVR\\");
    EXPECT_EQ(ResolveRegistryFolder("\\\\host\\share"), "\\\\host\\share");
    EXPECT_EQ(ResolveRegistryFolder(""), "");

    // A registry file named relative to the working folder still gives an absolute folder.
    const std::string previous = std::filesystem::current_path().string();
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    env.set("QV_REGISTRY", std::filesystem::path(file).filename().string());
    const std::string resolved = ResolveRegistryFolder("client/");
    std::filesystem::current_path(previous);
    EXPECT_EQ(resolved, std::filesystem::temp_directory_path().string() + "/client/");
}

TEST_F(RegistryTest, AMissingFileHasNoKeys)
{
    Registry reg;
    EXPECT_FALSE(reg.OpenKeyReadOnly("Software\\QVR\\Brisko"));
    EXPECT_FALSE(reg.KeyExists("Software\\QVR\\Brisko"));
    EXPECT_EQ(ReadMachineString("Software\\QVR\\Brisko", "ClientPath"), "");
}

TEST_F(RegistryTest, ValuesInTheAnsiCodePageReadAsUnicode)
{
    write("[Software\\QVR\\Brisko]\r\nClientPath=D:\\\xB3\x5C\xA5\x5C\\\r\nProfileType=0\r\n");
    SetACP(950);
    EXPECT_EQ(ReadMachineString("Software\\QVR\\Brisko", "ClientPath"), "D:\\許功\\");
    EXPECT_EQ(ReadMachineString("Software\\QVR\\Brisko", "ProfileType"), "0");
}

TEST(RegistryPath, WithoutTheVariableTheUsersConfigFolderIsUsed)
{
    std::error_code ec;
    if (std::filesystem::exists(Registry::SystemFilePath, ec))
        GTEST_SKIP() << "this machine has " << Registry::SystemFilePath << " (the case below runs without it)";
    EnvGuard env;
    env.set("QV_REGISTRY", nullptr);
    env.set("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(Registry::FilePath(), "/cfg/qvr/registry.ini");
    env.set("XDG_CONFIG_HOME", nullptr);
    env.set("HOME", "/home/someone");
    EXPECT_EQ(Registry::FilePath(), "/home/someone/.config/qvr/registry.ini");
}

namespace {

// What Registry::FilePath answers, a line each, in a child whose /etc is the folder etc
// (a mount namespace of its own, so that the machine's files do not count): with no
// file anywhere, with the machine's, with the user's own as well, and with a config
// folder that has none. Empty when the system refuses the namespace (not root).
std::string pathsWithEtc(const std::string& dir)
{
    const std::string etc = dir + "/etc", home = dir + "/home", answers = dir + "/answers";
    std::filesystem::create_directories(etc);
    std::filesystem::create_directories(home);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount(etc.c_str(), "/etc", nullptr, MS_BIND, nullptr) != 0)
            ::_exit(77);
        ::unsetenv("QV_REGISTRY");
        ::unsetenv("XDG_CONFIG_HOME");
        ::setenv("HOME", home.c_str(), 1);
        std::ofstream out(answers);
        out << Registry::FilePath() << "\n";
        std::filesystem::create_directories("/etc/wofb07");
        std::ofstream("/etc/wofb07/registry.ini") << "[Software\\QVR\\Brisko]\n";
        out << Registry::FilePath() << "\n";
        std::filesystem::create_directories(home + "/.config/qvr");
        std::ofstream(home + "/.config/qvr/registry.ini") << "[Software\\QVR\\Brisko]\n";
        out << Registry::FilePath() << "\n";
        ::setenv("XDG_CONFIG_HOME", (dir + "/cfg").c_str(), 1);
        out << Registry::FilePath() << "\n";
        out.close();
        ::_exit(out ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 77)
        return {};
    std::ifstream in(answers);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(RegistryPath, AUserWithoutAFileOfHisOwnReadsTheMachines)
{
    std::string dir = (std::filesystem::temp_directory_path() / "qv-etc-XXXXXX").string();
    ASSERT_TRUE(::mkdtemp(dir.data()));
    const std::string answers = pathsWithEtc(dir);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    if (answers.empty())
        GTEST_SKIP() << "no mount namespace of its own for this process (not root)";
    EXPECT_EQ(answers, dir + "/home/.config/qvr/registry.ini\n"  // none anywhere: where the user's would be
                           "/etc/wofb07/registry.ini\n"          // the machine's
                           + dir + "/home/.config/qvr/registry.ini\n" // the user's own wins
                           "/etc/wofb07/registry.ini\n");        // a config folder without one
}
