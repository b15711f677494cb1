// The batch form: the direct-run rule and a direct run, in this process through a test
// server library or by the server, with its notifications and the status update.

#include "BatchFixture.h"

#include "db/Db.h"
#include "platform/DynLib.h"

#include <filesystem>

namespace fs = std::filesystem;

TEST_F(BatchFormTest, DirectProcessingIsOfferedOnlyWhereItMayRun)
{
    ASSERT_TRUE(open());
    EXPECT_TRUE(form->IsLocalServer);
    EXPECT_TRUE(form->btnQuery->isEnabled());
    pressPeriod();
    EXPECT_FALSE(form->btnQuery->isEnabled()) << "not while btnPeriod is down";
    pressPeriod();
    EXPECT_TRUE(form->btnQuery->isEnabled());

    form->IsLocalServer = false;
    form->ApplyDirectRunRule();
    EXPECT_FALSE(form->btnQuery->isEnabled()) << "never with the server elsewhere";

    form->IsLocalServer = true;
    session->validator->rows["ADMMB/WOFB07"] = Variant::list({"WOFB07", "应付账款转销作业", "B", "Y"});
    form->ApplyDirectRunRule();
    EXPECT_FALSE(form->btnQuery->isEnabled()) << "a program for the server alone";
    const RecordedCall& check = session->validator->calls.back();
    EXPECT_EQ(VarToStr(check.args[0]), "ADMMB");
    EXPECT_EQ(VarToStr(check.args[1]), "11");
    EXPECT_EQ(VarToStr(check.args[3][0]), "WOFB07");
}

class DirectRunTest : public BatchFormTest {
protected:
    void SetUp() override
    {
        BatchFormTest::SetUp();
        held = LoadLibrary(QV_TEST_SERVER_LIB);
        ASSERT_NE(held, nullptr) << LastLibraryError();
        lastPacket = reinterpret_cast<const Variant* (*)()>(GetProcAddress(held, "TestServerLastPacket"));
        fs::create_directories(install.dir() + "server/S_PKG/");
        fs::create_symlink(QV_TEST_SERVER_LIB, install.dir() + "server/S_PKG/WOFB07S.so");
        install.write("server/BriskoS.ini", "[WorkDLLPath]\n1=" + install.dir() + "server/S_PKG/\n");

        // The message queue and one completion notification of the program.
        const std::string main = install.dir() + "QVSYS.db";
        const std::string demo = install.dir() + "DEMO.db";
        {
            DbConnection db;
            db.openSqlite(main, true);
            db.execute("CREATE TABLE ADMTC (TC001 TEXT PRIMARY KEY, TC002 TEXT, TC003 TEXT, TC004 TEXT, TC005 TEXT, "
                       "TC006 TEXT, TC007 TEXT, TC008 TEXT, TC009 TEXT, COMPANY TEXT, CREATOR TEXT, CREATE_DATE TEXT, "
                       "FLAG INTEGER)");
            db.execute("CREATE TABLE ADMTD (TD001 TEXT, TD004 TEXT)");
        }
        {
            DbConnection db;
            db.openSqlite(demo, true);
            db.execute("CREATE TABLE TMCMC (MC001 TEXT, MC002 TEXT, MC005 TEXT)");
            db.execute("CREATE TABLE TMCMD (MD001 TEXT, MD002 TEXT, MD003 TEXT, MD004 TEXT, MD006 TEXT, MD007 TEXT)");
            db.execute("INSERT INTO TMCMC VALUES ('WOF', 'WOFB07', 'wofb07')");
            db.execute("INSERT INTO TMCMD VALUES ('WOF', 'WOFB07', '0001', '6', 'YNN', "
                       "'<MD007><Receiver><R1 ID=\"U001\"/></Receiver><Title Value=\"转销完成\"/></MD007>||"
                       "[**********]已转销||附件')");
        }
        connect = DbConnection::sqliteConnectString(main, {{"DEMO", demo}});
        session->counter->answer = Variant(connect);
    }
    void TearDown() override
    {
        BatchFormTest::TearDown();
        FreeLibrary(held);
    }
    std::vector<std::vector<Variant>> queued()
    {
        DbConnection db;
        db.open(connect);
        return db.query("SELECT TC001, TC002, TC003, TC006, TC008, TC009, COMPANY FROM ADMTC").rows;
    }

    HMODULE held = nullptr;
    const Variant* (*lastPacket)() = nullptr;
    std::string connect;
};

TEST_F(DirectRunTest, AJobRunInThisProcessIsReportedQueuedAndEnded)
{
    ASSERT_TRUE(open());
    form->edFirst->SetText(QStringLiteral("ok"));
    form->btnQuery->click();
    settle();
    ASSERT_FALSE(form.isNull());
    const RecordedCall* request = service->last("Request1");
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(VarToStr(request->args[0][0][9]), "B");
    EXPECT_EQ(VarToStr(request->args[1]), VarToStr(Variant(QStrToVar(TfrmBaseOpt::GetComputerName()))));
    EXPECT_EQ(form->JobSubmitted, 1);
    EXPECT_EQ(VarToStr(form->LastRequestNo), "20240306000008");

    const Variant& p = *lastPacket();
    ASSERT_EQ(p.highBound(), 6) << "the batch packet";
    EXPECT_EQ(VarToStr(p[0]), "20240306000008");
    EXPECT_EQ(VarToStr(p[1]), "01");
    EXPECT_EQ(VarToStr(p[2]), "DS");
    EXPECT_EQ(VarToStr(p[3][1]), "ok") << "the option values";
    EXPECT_EQ(VarToStr(p[4]), "DEMO");
    EXPECT_EQ(VarToStr(p[5]), "202403060001") << "the job number";

    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("处理完毕! "));
    const auto rows = queued();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(VarToStr(rows[0][0]).size(), 14u);
    EXPECT_EQ(VarToStr(rows[0][0]).substr(8), "000001");
    EXPECT_EQ(VarToStr(rows[0][1]), "DS");
    EXPECT_EQ(VarToStr(rows[0][2]), "<?xml version=\"1.0\" encoding=\"GB2312\"?><Root><R1 ID=\"U001\"/></Root>");
    EXPECT_EQ(VarToStr(rows[0][3]), "转销完成");
    EXPECT_EQ(VarToStr(rows[0][4]), "已转销");
    EXPECT_EQ(VarToStr(rows[0][5]), "4");
    const RecordedCall* status = service->last("UpdateStatus1");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(VarToStr(status->args[0]), "20240306000008");
    EXPECT_EQ(VarToStr(status->args[1]), "") << "a run without messages ended well";
    EXPECT_EQ(status->args[2].type(), VarType::Date);
    EXPECT_TRUE(form->btnQuery->isEnabled());

    // A second run is numbered after the first.
    form->btnQuery->click();
    settle();
    ASSERT_EQ(queued().size(), 2u);
    EXPECT_EQ(VarToStr(queued()[1][0]).substr(8), "000002");
}

TEST_F(DirectRunTest, AJobThatFailsOrBreaksDownIsReportedWithoutNotifications)
{
    ASSERT_TRUE(open());
    for (const char* outcome : {"fail", "raise"}) {
        service->calls.clear();
        form->edFirst->SetText(QString::fromLatin1(outcome));
        form->btnQuery->click();
        settle();
        ASSERT_FALSE(form.isNull());
        ASSERT_FALSE(dialogs.shown.empty());
        const ShownDialog& shown = dialogs.shown.back();
        EXPECT_TRUE(shown.text.startsWith(QStringLiteral("有问题! 原因: \n"))) << shown.text.toStdString();
        EXPECT_EQ(shown.icon, QMessageBox::Critical);
        EXPECT_TRUE(queued().empty()) << outcome;
        // The request the client registered is ended as failed, not left running.
        const RecordedCall* status = service->last("UpdateStatus1");
        ASSERT_NE(status, nullptr) << outcome;
        EXPECT_FALSE(VarToStr(status->args[1]).empty()) << outcome;
        EXPECT_TRUE(form->btnQuery->isEnabled());
    }
    EXPECT_TRUE(dialogs.shown.back().text.contains(QStringLiteral("the job broke down")));
}

TEST_F(DirectRunTest, ARegistrationRefusedRunsNothing)
{
    ASSERT_TRUE(open());
    form->edFirst->SetText(QStringLiteral("ok"));
    service->request1Answer = "Error";
    form->btnQuery->click();
    settle();
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("作业登记失败! 程序代号不正确"));
    EXPECT_EQ(form->JobSubmitted, 0);
    EXPECT_TRUE(lastPacket()->isEmpty());
    EXPECT_TRUE(queued().empty());
    const RecordedCall* status = service->last("UpdateStatus1");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(VarToStr(status->args[0]), "Error");
    EXPECT_TRUE(form->btnQuery->isEnabled());
}

TEST_F(DirectRunTest, WithTheServerElsewhereItRunsThere)
{
    ASSERT_TRUE(open());
    form->IsLocalServer = false;
    form->ApplyDirectRunRule();
    form->edFirst->SetText(QStringLiteral("ok"));
    form->ProductId = 5;
    form->RunCommand(5);
    const RecordedCall* exec = service->last("ExecSvrDLL");
    ASSERT_NE(exec, nullptr) << "the host's command runs the job whatever the button shows";
    ASSERT_EQ(exec->args.size(), 12u);
    const std::vector<std::string> texts{"20240306000008", "WOFB07", "", "01", "DS", "WOFB07S.Class1", "B", "DEMO"};
    for (std::size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(VarToStr(exec->args[i]), texts[i]) << i;
    EXPECT_EQ(VarToStr(exec->args[8][1]), "ok");
    EXPECT_EQ(exec->args[9].toInt(), 1);
    EXPECT_EQ(VarToStr(exec->args[10]), "202403060001");
    EXPECT_EQ(exec->args[11].toInt(), 5);
    // The server queues the notifications of its own run; the desk opens no database.
    const RecordedCall* notify = service->last("QueueNotifications");
    ASSERT_NE(notify, nullptr);
    EXPECT_EQ(VarToStr(notify->args[0]), "20240306000008");
    EXPECT_TRUE(queued().empty());
    settle();
    EXPECT_TRUE(form.isNull()) << "a command closes the form";
}

TEST_F(DirectRunTest, AFailureTextFromTheServerIsTheReason)
{
    ASSERT_TRUE(open());
    form->IsLocalServer = false;
    service->execAnswer = "供应商 S009 不存在";
    form->edFirst->SetText(QStringLiteral("ok"));
    form->btnQueryClick(form->btnQuery);
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("有问题! 原因: \n供应商 S009 不存在; "));
    EXPECT_TRUE(queued().empty());
    EXPECT_EQ(service->count("UpdateStatus1"), 0) << "the server recorded its own run";

    // The two texts come from the batch form's section; a file that keeps one where it
    // used to be still serves.
    install.write("client/MultiLanguage/CHS/TfrmBaseBatch.Lng",
                  R"(<TfrmBaseBatch><sReason Msg="失败, 原因: "/></TfrmBaseBatch>)");
    install.write("client/MultiLanguage/CHS/TfrmBaseGene.Lng", R"(<TfrmBaseGene><sOver Msg="做完了! "/></TfrmBaseGene>)");
    form->btnQueryClick(form->btnQuery);
    EXPECT_TRUE(dialogs.shown.back().text.startsWith(QStringLiteral("失败, 原因: \n"))) << dialogs.shown.back().text.toStdString();
    service->execAnswer.clear();
    form->btnQueryClick(form->btnQuery);
    EXPECT_TRUE(dialogs.shown.back().text.startsWith(QStringLiteral("做完了! "))) << dialogs.shown.back().text.toStdString();
}
