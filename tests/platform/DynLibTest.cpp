#include "platform/CodePage.h"
#include "platform/DynLib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace {

int functionInTheProgram()
{
    return 1;
}

class WorkingDirectory {
public:
    explicit WorkingDirectory(const char* dir) : old_(std::filesystem::current_path())
    {
        std::filesystem::current_path(dir);
    }
    ~WorkingDirectory() { std::filesystem::current_path(old_); }

private:
    std::filesystem::path old_;
};

} // namespace

TEST(DynLibTest, ModuleFileNamesAreAbsolute)
{
    const std::string program = GetProgramFileName();
    EXPECT_TRUE(std::filesystem::path(program).is_absolute());
    EXPECT_EQ(std::filesystem::path(program).filename(), "platform_io_tests");
    EXPECT_EQ(GetModuleFileName(reinterpret_cast<const void*>(&functionInTheProgram)), program);

    const std::string platform = GetModuleFileName(reinterpret_cast<const void*>(&GetACP));
    EXPECT_TRUE(std::filesystem::path(platform).is_absolute()) << platform;
    EXPECT_EQ(std::filesystem::path(platform).filename(), "libqv_platform.so");
    EXPECT_TRUE(std::filesystem::exists(platform));

    EXPECT_EQ(GetModuleFileName(nullptr), "");
}

TEST(DynLibTest, ModuleFileNamesDoNotDependOnTheWorkingDirectory)
{
    const std::string before = GetModuleFileName(reinterpret_cast<const void*>(&functionInTheProgram));
    WorkingDirectory elsewhere("/");
    EXPECT_EQ(GetModuleFileName(reinterpret_cast<const void*>(&functionInTheProgram)), before);
    EXPECT_EQ(GetModuleFileName(reinterpret_cast<const void*>(&functionInTheProgram)), GetProgramFileName());
}

TEST(DynLibTest, LoadingCountsReferences)
{
    const std::string platform = GetModuleFileName(reinterpret_cast<const void*>(&GetACP));
    HMODULE first = LoadLibrary(platform);
    ASSERT_NE(first, nullptr) << LastLibraryError();
    HMODULE second = LoadLibrary(platform);
    EXPECT_EQ(first, second);
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_TRUE(FreeLibrary(first));

    HMODULE libc = LoadLibrary("libc.so.6");
    ASSERT_NE(libc, nullptr);
    using StrLen = std::size_t (*)(const char*);
    auto strLen = reinterpret_cast<StrLen>(GetProcAddress(libc, "strlen"));
    ASSERT_NE(strLen, nullptr);
    EXPECT_EQ(strLen("four"), 4u);
    EXPECT_EQ(GetProcAddress(libc, "NoSuchExport"), nullptr);
    EXPECT_NE(LastLibraryError().find("NoSuchExport"), std::string::npos) << LastLibraryError();
    EXPECT_EQ(GetProcAddress(libc, nullptr), nullptr);
    EXPECT_EQ(GetProcAddress(nullptr, "strlen"), nullptr);
    EXPECT_TRUE(FreeLibrary(libc));
}

TEST(DynLibTest, FailuresAnswerNullAndTellWhy)
{
    EXPECT_EQ(LoadLibrary("/nonexistent/WOFB07S.so"), nullptr);
    EXPECT_NE(LastLibraryError().find("WOFB07S.so"), std::string::npos) << LastLibraryError();
    EXPECT_FALSE(FreeLibrary(nullptr));
}

TEST(DynLibTest, ABareNameIsFoundBesideTheSuitesLibraries)
{
    // The platform library by its name alone, from any working folder: the same module.
    const std::string platform = GetModuleFileName(reinterpret_cast<const void*>(&GetACP));
    WorkingDirectory elsewhere("/");
    HMODULE byName = LoadLibrary("libqv_platform.so");
    ASSERT_NE(byName, nullptr) << LastLibraryError();
    HMODULE byPath = LoadLibrary(platform);
    EXPECT_EQ(byName, byPath);
    FreeLibrary(byPath);
    FreeLibrary(byName);
    EXPECT_EQ(LoadLibrary("NoSuchLibraryAnywhere.so"), nullptr);
    EXPECT_FALSE(LastLibraryError().empty());
}
