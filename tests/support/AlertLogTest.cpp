#include "support/AlertLog.h"
#include "support/Dates.h"
#include "support/FormatSettings.h"

#include "TempInstall.h"

#include "platform/OleDate.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

class AlertLogTest : public ::testing::Test {
protected:
    void TearDown() override { resetFormatSettings(); }

    static double at(int y, int m, int d, int hh = 10, int mm = 20, int ss = 30, int ms = 45)
    {
        return EncodeDate(y, m, d) + EncodeTime(hh, mm, ss, ms);
    }
    TempInstall install;
};

} // namespace

TEST_F(AlertLogTest, FileNamesByRotation)
{
    const double when = at(2024, 3, 15);
    const std::string base = "/base/";
    EXPECT_EQ(alertLogFileName(base, "libstrs", "D", when), "/base/Log/Alert_libstrs_20240315.log");
    EXPECT_EQ(alertLogFileName(base, "libstrs", "M", when), "/base/Log/Alert_libstrs_202403.log");
    EXPECT_EQ(alertLogFileName(base, "libstrs", "Y", when), "/base/Log/Alert_libstrs_2024.log");
    EXPECT_EQ(alertLogFileName(base, "libstrs", "X", when), "/base/Log/Alert_libstrs_20240315.log");
    EXPECT_EQ(alertLogFileName(base, "libstrs", "", when), "/base/Log/Alert_libstrs_20240315.log");
    EXPECT_EQ(alertLogFileName(base, "trace.txt", "D", when), "/base/Log/Alert_trace.txt_20240315");
    EXPECT_EQ(alertLogFileName("/base", "x", "Y", when), "/base/Log/Alert_x_2024.log");
}

TEST_F(AlertLogTest, LinesCarryMillisecondsAndTheProcessSeparators)
{
    EXPECT_EQ(alertLogStamp(at(2024, 3, 15, 9, 5, 7, 45)), "[2024/03/15 09:05:07:045] ");
    setDateSeparator(U'-');
    setTimeSeparator(U'.');
    EXPECT_EQ(alertLogStamp(at(2024, 3, 15, 23, 59, 59, 999)), "[2024-03-15 23.59.59.999] ");
}

TEST_F(AlertLogTest, LinesAppendWithinTheDayAndANewDayStartsANewFile)
{
    const std::string base = install.path("client/");
    install.write("client/.keep", "");   // the Log folder below it is made on the first line
    EXPECT_TRUE(writeAlertLogAt(base, "libstrs", "first", "D", at(2024, 3, 15, 8, 0, 0, 1)));
    EXPECT_TRUE(writeAlertLogAt(base, "libstrs", "第二行", "D", at(2024, 3, 15, 23, 59, 59, 999)));
    EXPECT_TRUE(writeAlertLogAt(base, "libstrs", "next day", "D", at(2024, 3, 16, 0, 0, 0, 0)));
    EXPECT_EQ(install.read("client/Log/Alert_libstrs_20240315.log"),
              "[2024/03/15 08:00:00:001] first\r\n[2024/03/15 23:59:59:999] 第二行\r\n");
    EXPECT_EQ(install.read("client/Log/Alert_libstrs_20240316.log"), "[2024/03/16 00:00:00:000] next day\r\n");
}

TEST_F(AlertLogTest, FailuresAnswerFalseAndNeverRaise)
{
    install.write("blocked", "a file where the folder should be");
    bool result = true;
    EXPECT_NO_THROW(result = writeAlertLogAt(install.path("blocked"), "libstrs", "x", "D", at(2024, 3, 15)));
    EXPECT_FALSE(result);
    install.write("client/Log/Alert_ro_2024.log/placeholder", "");   // the log file is a folder
    EXPECT_FALSE(writeAlertLogAt(install.path("client"), "ro", "x", "Y", at(2024, 3, 15)));
}

TEST_F(AlertLogTest, OnlyTheLogFolderIsEverMade)
{
    EXPECT_FALSE(writeAlertLogAt(install.path("missing/c/"), "libstrs", "x", "D", at(2024, 3, 15)));
    EXPECT_FALSE(install.exists("missing"));

    // A client folder of the registry that is not there: the program's folder takes the line.
    install.registry("[Software\\QVR\\Brisko]\nClientPath=" + install.path("missing/c/") + "\n");
    const std::string name = "alertlogtest-" + std::to_string(::getpid());
    const std::filesystem::path logFolder = std::filesystem::path(programFolder()) / "Log";
    const bool hadLogFolder = std::filesystem::exists(logFolder);
    ASSERT_TRUE(WriteAlertLog(name, "to the program folder", "Y"));
    EXPECT_FALSE(install.exists("missing"));
    const std::filesystem::path written = alertLogFileName(programFolder(), name, "Y", Now());
    std::error_code ec;
    EXPECT_TRUE(std::filesystem::is_regular_file(written, ec)) << written;
    std::filesystem::remove(written, ec);
    if (!hadLogFolder)
        std::filesystem::remove(logFolder, ec);
}

TEST_F(AlertLogTest, TheRegistryChoosesTheBaseFolder)
{
    EXPECT_EQ(GetClientPath(), "");   // no registry file at all
    install.registry("[Software\\QVR\\Brisko]\nClientPath=" + install.path("c") + "\nServerPath=" +
                     install.path("s") + "\n");
    EXPECT_EQ(GetClientPath(), install.path("c"));
    install.registry("[Software\\QVR\\Brisko]\nClientPath=\nServerPath=" + install.path("s") + "\n");
    EXPECT_EQ(GetClientPath(), install.path("s"));
    install.registry("[Software\\QVR\\Other]\nClientPath=/elsewhere\n");
    EXPECT_EQ(GetClientPath(), "");

    install.registry("[Software\\QVR\\Brisko]\nServerPath=" + install.path("s") + "\n");
    install.write("s/.keep", "");
    ASSERT_TRUE(WriteAlertLog("libstrs", "below the server path"));
    const std::string today = dateToCompact(Today());
    const std::string text = install.read("s/Log/Alert_libstrs_" + today + ".log");
    EXPECT_NE(text.find("] below the server path\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.front(), '[');
}

// An installed suite keeps its logs where the registry's LogPath says, made when missing:
// a site's /var/log folder, a desk user's home.
TEST_F(AlertLogTest, ALogPathTakesTheFilesThemselves)
{
    install.write("c/.keep", "");
    install.registry("[Software\\QVR\\Brisko]\nClientPath=" + install.path("c") + "\nLogPath=logs/site\n");
    EXPECT_EQ(GetLogPath(), install.path("logs/site/"));
    ASSERT_TRUE(WriteAlertLog("ReportCounterS", "into the site's log folder"));
    const std::string today = dateToCompact(Today());
    EXPECT_NE(install.read("logs/site/Alert_ReportCounterS_" + today + ".log").find("] into the site's log folder"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(install.path("c/Log")));

    const char* home = std::getenv("HOME");
    const std::string saved = home ? home : "";
    setenv("HOME", install.path("home").c_str(), 1);
    install.registry("[Software\\QVR\\Brisko]\nLogPath=~/.local/state/wofb07\n");
    EXPECT_EQ(GetLogPath(), install.path("home") + "/.local/state/wofb07/");
    EXPECT_TRUE(WriteAlertLog("QVDownLoadNewFileU", "in the user's home"));
    setenv("HOME", saved.c_str(), 1);
    EXPECT_TRUE(std::filesystem::exists(install.path("home/.local/state/wofb07/Alert_QVDownLoadNewFileU_" + today + ".log")));
}

TEST_F(AlertLogTest, WithoutFoldersInTheRegistryTheProgramFolderIsUsed)
{
    EXPECT_FALSE(programFolder().empty());
    EXPECT_EQ(programFolder().back(), '/');
    EXPECT_TRUE(std::filesystem::exists(programFolder()));
}
