#include "platform/CodePage.h"
#include "platform/Registry.h"

#include "EnvGuard.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

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
    EnvGuard env;
    env.set("QV_REGISTRY", nullptr);
    env.set("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(Registry::FilePath(), "/cfg/qvr/registry.ini");
    env.set("XDG_CONFIG_HOME", nullptr);
    env.set("HOME", "/home/someone");
    EXPECT_EQ(Registry::FilePath(), "/home/someone/.config/qvr/registry.ini");
}
