// Running a job's server library in the client process.

#include "JobFormFixture.h"

#include "jobform/ServerAccess.h"
#include "platform/DynLib.h"

#include <filesystem>

namespace fs = std::filesystem;

class ServerLibraryTest : public JobFormTest {
protected:
    void SetUp() override
    {
        JobFormTest::SetUp();
        // Hold the library, so that what it recorded outlives each run's release.
        held = LoadLibrary(QV_TEST_SERVER_LIB);
        ASSERT_NE(held, nullptr) << LastLibraryError();
        lastPacket = reinterpret_cast<const Variant* (*)()>(GetProcAddress(held, "TestServerLastPacket"));
        alive = reinterpret_cast<int (*)()>(GetProcAddress(held, "TestServerControllersAlive"));
        ASSERT_TRUE(lastPacket && alive);
        ASSERT_TRUE(open());
    }
    void TearDown() override
    {
        FreeLibrary(held);
        JobFormTest::TearDown();
    }
    // Work-library folders as the server configuration lists them.
    void folders(const std::string& lines) { install.write("server/BriskoS.ini", "[WorkDLLPath]\n" + lines); }
    // Puts a built library into a folder of the installation under a job's file name: a
    // link, so that the run loads the very library the test holds.
    void place(const std::string& folder, const char* built, const std::string& name)
    {
        fs::create_directories(install.dir() + folder);
        fs::remove(install.dir() + folder + name);
        fs::create_symlink(built, install.dir() + folder + name);
    }
    bool run(const QString& program, const QString& kind, const QString& extra)
    {
        return form->RunServerLibrary(Variant("R0001"), program, extra, 16, Variant::list({"env", "texts", "values"}),
                                      QStringLiteral("DEMO"), kind, program + QStringLiteral("S.Class1"),
                                      QStringLiteral("DS"), QStringLiteral("01"), QStringLiteral("spare"));
    }

    HMODULE held = nullptr;
    const Variant* (*lastPacket)() = nullptr;
    int (*alive)() = nullptr;
};

TEST_F(ServerLibraryTest, ABatchJobGetsTheSevenElementPacket)
{
    place("server/S_PKG/", QV_TEST_SERVER_LIB, "TESTB1S.so");
    folders("1=" + install.dir() + "server/Other/\n2=" + install.dir() + "server/S_PKG/\n");
    form->ProductId = 5;
    EXPECT_TRUE(run(QStringLiteral("TESTB1"), QStringLiteral("b"), QStringLiteral("extra")));
    const Variant& p = *lastPacket();
    ASSERT_EQ(p.lowBound(), 0);
    ASSERT_EQ(p.highBound(), 6);
    EXPECT_EQ(VarToStr(p[0]), "R0001");
    EXPECT_EQ(VarToStr(p[1]), "01");
    EXPECT_EQ(VarToStr(p[2]), "DS");
    EXPECT_EQ(VarToStr(p[3][2]), "values");
    EXPECT_EQ(VarToStr(p[4]), "DEMO");
    EXPECT_EQ(VarToStr(p[5]), "extra");
    EXPECT_EQ(p[6].toInt(), 5);
    EXPECT_EQ(alive(), 0) << "the controller is freed";
    EXPECT_TRUE(form->MessageCodes.isEmpty()) << "an empty outcome clears the records";
    ASSERT_FALSE(session->calls.empty());
    EXPECT_EQ(session->calls.back().name, "GetFileList");
    EXPECT_EQ(VarToStr(session->calls.back().args[0][0]), "testb1s.so");
}

TEST_F(ServerLibraryTest, OtherJobsGetTheTwelveElementPacket)
{
    place("server/S_PKG/", QV_TEST_SERVER_LIB, "TESTR1S.so");
    folders("1=S_PKG\n");
    form->OptionsFilled = true;
    EXPECT_TRUE(run(QStringLiteral("TESTR1"), QStringLiteral("r"), QStringLiteral("fine")));
    const Variant& p = *lastPacket();
    ASSERT_EQ(p.highBound(), 11);
    EXPECT_EQ(VarToStr(p[0]), "R0001");
    EXPECT_EQ(VarToStr(p[1]), "spare");
    EXPECT_EQ(VarToStr(p[2]), "01");
    EXPECT_EQ(VarToStr(p[3]), "DS");
    EXPECT_EQ(VarToStr(p[4]), "DEMO");
    EXPECT_EQ(VarToStr(p[5][0]), "env");
    EXPECT_EQ(p[6].toInt(), 16);
    EXPECT_EQ(VarToStr(p[7]), "R");
    EXPECT_EQ(VarToStr(p[8]), "fine");
    EXPECT_EQ(p[9].toInt(), 3);
    EXPECT_EQ(p[10].toInt(), 1);
    EXPECT_EQ(VarToStr(p[11]), "936");
}

TEST_F(ServerLibraryTest, TheJobsOutcomeIsRecorded)
{
    place("server/S_PKG/", QV_TEST_SERVER_LIB, "TESTB1S.so");
    folders("1=S_PKG\n");
    form->ReportRawError(QStringLiteral("earlier"));
    EXPECT_TRUE(run(QStringLiteral("TESTB1"), QStringLiteral("B"), QStringLiteral("fail")));
    EXPECT_EQ(form->MessageTexts, QStringLiteral("earlier; 供应商 S009 不存在; "));

    form->ReportRawError(QString());
    EXPECT_FALSE(run(QStringLiteral("TESTB1"), QStringLiteral("B"), QStringLiteral("raise")));
    EXPECT_EQ(form->MessageTexts, QStringLiteral("the job broke down; ")) << "a run that raised keeps its reason";
    EXPECT_EQ(alive(), 0);
}

TEST_F(ServerLibraryTest, WithoutAFolderNothingIsLoaded)
{
    // No installation: no work-library folder at all.
    setenv("QV_REGISTRY", (install.dir() + "no-such-registry.ini").c_str(), 1);
    EXPECT_TRUE(TServerAccess::WorkLibraryFolders().isEmpty());
    EXPECT_FALSE(run(QStringLiteral("TESTB1"), QStringLiteral("B"), QString()));
    EXPECT_TRUE(lastPacket()->isEmpty());
    EXPECT_TRUE(session->calls.empty()) << "nothing was looked for";
}

TEST_F(ServerLibraryTest, AMissingLibraryIsNotRun)
{
    // Without a WorkDLLPath section the server's S_PKG folder is searched; it is empty.
    install.write("server/BriskoS.ini", "");
    EXPECT_EQ(TServerAccess::WorkLibraryFolders(), QStringList{QString::fromStdString(install.dir() + "server/S_PKG/")});
    EXPECT_FALSE(run(QStringLiteral("TESTB1"), QStringLiteral("B"), QString()));
    EXPECT_TRUE(lastPacket()->isEmpty());
    EXPECT_TRUE(form->MessageTexts.contains(QStringLiteral("TESTB1S.so"))) << "the reason is recorded";
}

TEST_F(ServerLibraryTest, ALibraryWithoutTheExportIsReleased)
{
    place("server/S_PKG/", QV_TEST_NOEXPORT_LIB, "NOEXP1S.so");
    folders("1=S_PKG\n");
    EXPECT_FALSE(run(QStringLiteral("NOEXP1"), QStringLiteral("B"), QString()));
    EXPECT_TRUE(form->MessageTexts.contains(QStringLiteral("GetSvrController")));
}

TEST_F(ServerLibraryTest, TheUpdateGateDecides)
{
    place("server/S_PKG/", QV_TEST_SERVER_LIB, "TESTB1S.so");
    folders("1=S_PKG\n");
    install.append("registry.ini", "[Software\\Varn\\Hollet]\nGoAhead= 0 \n");
    EXPECT_TRUE(run(QStringLiteral("TESTB1"), QStringLiteral("B"), QString())) << "gate off: the library is used as it is";
    install.write("registry.ini", "[Software\\QVR\\Brisko]\nClientPath=" + install.dir() + "client/\nServerPath=" +
                                      install.dir() + "server/\n[Software\\Varn\\Hollet]\nGoAhead= 1 \n");
    EXPECT_TRUE(run(QStringLiteral("TESTB1"), QStringLiteral("B"), QString()))
        << "gate on: the local copy is newer than the server's";
    session->fileList = "<Modify>29991231235959</Modify><Path>/srv/S_PKG/testb1s.so</Path>";
    dialogs.shown.clear();
    EXPECT_FALSE(run(QStringLiteral("TESTB1"), QStringLiteral("B"), QString()))
        << "the server's copy is newer, but it cannot be had";
    // Asked once while the folders are searched and once more for the folder taken in the end.
    ASSERT_EQ(dialogs.shown.size(), 2u) << dialogs.texts().join(QLatin1Char('|')).toStdString();
    for (const ShownDialog& d : dialogs.shown) {
        EXPECT_TRUE(d.text.startsWith(QStringLiteral("DownLoad new file["))) << d.text.toStdString();
        EXPECT_TRUE(d.buttons.contains(QStringLiteral("&Retry")) && d.buttons.contains(QStringLiteral("&Abort")));
    }
    EXPECT_TRUE(form->MessageTexts.contains(QStringLiteral("DownLoad new file["))) << form->MessageTexts.toStdString();
}
