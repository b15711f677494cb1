// Initialisation of a job form with the session: services, program name, connection,
// caption, and what goes wrong in each step.

#include "JobFormFixture.h"

#include "batch/BaseOpt.h"
#include "controls/BtChkBox.h"
#include "controls/QvRadioButton.h"
#include "platform/OleDate.h"

#include <map>

TEST_F(JobFormTest, InitialisesFromTheSessionAndConnectsInProcess)
{
    ASSERT_TRUE(open());
    EXPECT_EQ(form->UserCode, QStringLiteral("DS"));
    EXPECT_EQ(form->CompanyCode, QStringLiteral("01"));
    EXPECT_EQ(form->DatabaseName, QStringLiteral("DEMO"));
    EXPECT_EQ(VarToStr(form->SessionExtra), "extra");
    EXPECT_EQ(form->ProgramCode, QStringLiteral("WOFB07"));
    EXPECT_EQ(form->ServerClassName, QStringLiteral("WOFB07S.Class1"));
    EXPECT_EQ(form->ProgramName, QStringLiteral("应付账款转销作业"));
    EXPECT_EQ(form->CompanyTitle, QStringLiteral("华东示范电子有限公司"));
    EXPECT_EQ(form->VersionType, 2);
    EXPECT_EQ(form->ProductId, 3);
    EXPECT_TRUE(form->CounterObject.isDispatch());
    EXPECT_TRUE(form->ValidatorObject.isDispatch());
    EXPECT_TRUE(form->LookupWindowObject.isEmpty()) << "the base job does not use the look-up windows";
    EXPECT_TRUE(form->AppServer.isDispatch());
    EXPECT_TRUE(form->IsLocalServer);
    EXPECT_EQ(serversMade, 1);
    EXPECT_EQ(form->MainMidas->Address(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(form->MainMidas->Port(), 211);
    EXPECT_TRUE(form->MessageCodes.isEmpty());
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(form->isVisible()) << "initialisation leaves the form hidden";
    EXPECT_EQ(form->EnvCount, 9);
    EXPECT_EQ(form->JobKind, QStringLiteral("R"));
    EXPECT_EQ(form->OptionCount, 1) << "one slot: the print date";
    EXPECT_TRUE(form->CommandArray.isNull());

    // The validator got the product and the program code.
    ASSERT_FALSE(session->validator->calls.empty());
    const RecordedCall& check = session->validator->calls.front();
    EXPECT_EQ(check.name, "CheckValue");
    EXPECT_EQ(VarToStr(check.args[0]), "ADMMB");
    EXPECT_EQ(VarToStr(check.args[1]), "01");
    EXPECT_EQ(VarToStr(check.args[2]), "DEMO");
    EXPECT_EQ(VarToStr(check.args[3][0]), "WOFB07");
    EXPECT_EQ(session->validator->productId, 3);

    EXPECT_FALSE(form->InitSession(sessionArray())) << "a form is initialised once";
}

TEST_F(JobFormTest, CaptionShowsProgramAndCompanyTitle)
{
    session->productId = 5;
    ASSERT_TRUE(open());
    form->show();
    settle();
    EXPECT_EQ(form->Caption(), QStringLiteral("应付账款转销作业-普及版[华东示范电子有限公司]"));
    EXPECT_TRUE(form->ConvertedFlag);
    EXPECT_EQ(form->pgOption->ActivePageIndex(), 0);
    const QPoint centre = form->screen()->availableGeometry().center();
    EXPECT_LE((form->frameGeometry().center() - centre).manhattanLength(), 4) << "centred on the screen";
}

TEST_F(JobFormTest, TheInterfaceIsTheInstallationsWhateverTheLocale)
{
    EnvGuard env;
    env.set("LANG", "C.UTF-8");
    env.set("LC_ALL", nullptr);
    env.set("LC_CTYPE", nullptr);
    env.set("QV_ACP", nullptr);
    ASSERT_TRUE(open());
    EXPECT_EQ(form->UICodePage(), QStringLiteral("936"));
    EXPECT_EQ(form->SystemCodePage(), QStringLiteral("437"));
    EXPECT_EQ(form->ProgramName, QStringLiteral("应付账款转销作业")) << "a Chinese interface";
}

TEST_F(JobFormTest, EnglishInterfaceTakesTheEnglishProgramName)
{
    install.interfaceCodePage("437");
    ASSERT_EQ(session->validator->rows["ADMMB/WOFB07"].count(), 8) << "the validator's eight columns";
    ASSERT_TRUE(open());
    EXPECT_EQ(form->ProgramName, QStringLiteral("A/P Write-off Batch"));
    EXPECT_EQ(form->GetSystemSetting(QStringLiteral("sys008")), QStringLiteral("Inv.Cate.2"));
}

TEST_F(JobFormTest, AnEnglishNameNeedsMoreThanSevenElements)
{
    install.interfaceCodePage("437");
    session->validator->rows["ADMMB/WOFB07"] = Variant::list({"only", "seven", "elements", "4", "5", "6", "7"});
    ASSERT_TRUE(open());
    EXPECT_EQ(form->ProgramName, QStringLiteral("only"));
}

TEST_F(JobFormTest, UnknownProgramHasNoNameAndABrokenCheckGivesTheCode)
{
    session->validator->rows.clear();
    ASSERT_TRUE(open());
    EXPECT_EQ(form->ProgramName, QString());

    // A validator answer that is no row cannot be read as a name: the code stands in.
    session->validator->rows["ADMMB/WOFB07"] = Variant(std::int64_t(5));
    form->InitJob();
    EXPECT_EQ(form->ProgramName, QStringLiteral("5"));
    session->validator->rows["ADMMB/WOFB07"] = Variant::array(0, -1);
    form->InitJob();
    EXPECT_EQ(form->ProgramName, QStringLiteral("WOFB07"));
}

TEST_F(JobFormTest, AShortSessionReportsAndCloses)
{
    EXPECT_FALSE(open(Variant::list({"DS", "01", "DEMO"})));
    EXPECT_TRUE(form->MessageCodes.startsWith(QStringLiteral("E;000038; ")));
    EXPECT_TRUE(form->MessageCodes.contains(QStringLiteral("E;000006; ")));
    EXPECT_EQ(form->HostWindow, 0u);
    EXPECT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.front().text, QStringLiteral("msg E000038"));
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("msg E000006"));
    EXPECT_EQ(serversMade, 0) << "the pending message is said again instead of connecting";
    settle();
    EXPECT_TRUE(form.isNull()) << "the form closed and freed itself";
}

TEST_F(JobFormTest, AFormNameThatDoesNotFitTheProgramCloses)
{
    prepare = [](TestJobForm* f) { f->setObjectName(QStringLiteral("frmACPB07")); };
    EXPECT_FALSE(open());
    EXPECT_EQ(form->MessageCodes, QStringLiteral("E;000036; "));
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("msg E000036")});
    EXPECT_EQ(serversMade, 0);
    settle();
    EXPECT_TRUE(form.isNull());
}

TEST_F(JobFormTest, WithoutAServerTheFormReportsAndCloses)
{
    prepare = [](TestJobForm* f) { f->serverName = QStringLiteral("No.Such.Server"); };
    EXPECT_FALSE(open());
    EXPECT_TRUE(form->MessageCodes.startsWith(QStringLiteral("E;-1; ")));
    EXPECT_TRUE(form->MessageCodes.endsWith(QStringLiteral("E;000006; ")));
    EXPECT_TRUE(form->MessageTexts.contains(QStringLiteral("No.Such.Server"))) << "the reason is recorded";
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("msg E000006")});
    EXPECT_TRUE(form->AppServer.isEmpty());
}

TEST_F(JobFormTest, AnEmptyServerNameDoesNotConnect)
{
    prepare = [](TestJobForm* f) { f->serverName.clear(); };
    EXPECT_FALSE(open());
    EXPECT_EQ(form->MessageCodes, QStringLiteral("E;000006; "));
}

TEST_F(JobFormTest, ARemoteServerFailsCleanly)
{
    install.write("client/BriskoC.ini", "[Server Information]\nComputerName=10.1.2.3;10.1.2.4;\nServerPort=4000\n");
    EXPECT_FALSE(open());
    EXPECT_EQ(form->MainMidas->Address(), QStringLiteral("10.1.2.3")) << "the first server of the list";
    EXPECT_EQ(form->MainMidas->Port(), 4000);
    EXPECT_FALSE(form->IsLocalServer);
    EXPECT_EQ(serversMade, 0);
    EXPECT_TRUE(form->MessageCodes.endsWith(QStringLiteral("E;000006; ")));
    EXPECT_TRUE(form->MessageTexts.contains(QStringLiteral("10.1.2.3")));
}

TEST_F(JobFormTest, MissingServicesLeaveTheFormWorking)
{
    session->productIdFails = true;
    ASSERT_TRUE(open());
    EXPECT_EQ(form->ProductId, 3);
    form->SessionObject = Variant();
    EXPECT_EQ(form->GetMessageText(QStringLiteral("E"), QStringLiteral("000001")),
              QStringLiteral("Can not Get Message\rType= E, ID= 000001 "));
    form->CounterObject = Variant();
    Variant args = Variant::list({"select 1", "A"});
    Variant result = "stale";
    form->CallServerMethod(QStringLiteral("SimpleSQL"), args, result);
    EXPECT_TRUE(result.isEmpty());
    EXPECT_FALSE(form->ShowHelp()) << "no session, no help";
}

TEST_F(JobFormTest, ExeModeMakesItsOwnSession)
{
    int made = 0;
    RegisterOleClass("VostelWorkCenter.Manager", [&] {
        ++made;
        return session;
    });
    form = TQVForm::Create<TestJobForm>();
    form->SetModuleFileName(QStringLiteral("/opt/qv/WOFB07C"));
    UnregisterOleClass("VostelWorkCenter.Manager");
    EXPECT_EQ(made, 1);
    EXPECT_FALSE(form->IsLibraryMode());
    EXPECT_EQ(form->ProgramCode, QStringLiteral("WOFB07")) << "never fewer than six characters";
    EXPECT_EQ(form->UserCode, QStringLiteral("DS"));
    EXPECT_EQ(form->CompanyCode, QStringLiteral("01")) << "the demo installation's company";
    EXPECT_EQ(form->DatabaseName, QStringLiteral("DEMO"));
    EXPECT_TRUE(form->SessionObject.isDispatch());
    EXPECT_TRUE(form->MessageCodes.isEmpty());
}

TEST_F(JobFormTest, SettingsComeFromTheCacheWithDefaults)
{
    session->counter->settings.push_back({"sys001", "3"});
    ASSERT_TRUE(open());
    EXPECT_EQ(form->GetDateFormat(), 3) << "a later pair of the same name overwrites, names without regard to case";
    EXPECT_EQ(form->GetSystemSetting(QStringLiteral("SYS007")), QStringLiteral("商品分类方式一"));
    EXPECT_EQ(form->GetSystemSetting(QStringLiteral("Sys010")), QStringLiteral("商品分类方式四"));
    EXPECT_EQ(form->GetSystemSetting(QStringLiteral("NoSuch")), QString());
    ASSERT_FALSE(session->counter->calls.empty());
    EXPECT_EQ(VarToStr(session->counter->calls.front().args[0]), "01");
}

TEST_F(JobFormTest, ServerMethodsGoThroughTheCounter)
{
    session->counter->answer = Variant::list({Variant::list({"USD"})});
    ASSERT_TRUE(open());
    Variant args = Variant::list({"Select MF004 from $$CMSMF as CMSMF where MF001='USD'", "MF004"});
    Variant result;
    form->CallServerMethod(QStringLiteral("SimpleSQL"), args, result);
    const RecordedCall& call = session->counter->calls.back();
    EXPECT_EQ(VarToStr(call.args[0]), "SIMPLESQL");
    EXPECT_EQ(VarToStr(call.args[1][0]), "Select MF004 from $$CMSMF as CMSMF where MF001='USD'") << "$$ stays";
    EXPECT_EQ(call.args[2].lowBound(), 0);
    EXPECT_EQ(VarToStr(call.args[2][0]), "01");
    EXPECT_EQ(VarToStr(call.args[2][1]), "DEMO");
    EXPECT_EQ(VarToStr(result[0][0]), "USD");
    EXPECT_EQ(VarToStr(args), "written back") << "arguments are passed by reference";

    session->counter->fail = true;
    result = "stale";
    form->CallServerMethod(QStringLiteral("SimpleSQL"), args, result);
    EXPECT_TRUE(result.isEmpty()) << "a failed call answers nothing, it does not raise";
}

TEST_F(JobFormTest, ValidateValueHandsProductAndLimitToTheValidator)
{
    ASSERT_TRUE(open());
    form->ProductId = 7;
    form->BaseLimitText = QStringLiteral("limit");
    Variant result;
    EXPECT_TRUE(form->ValidateValue(QStringLiteral("ADMMB"), QStringLiteral("01"), true, result, Variant::list({"WOFB07"})));
    EXPECT_EQ(session->validator->calls.back().name, "QueryData");
    EXPECT_EQ(session->validator->productId, 7);
    EXPECT_EQ(session->validator->baseLimited, "limit");
    EXPECT_EQ(VarToStr(result[0]), "应付账款转销作业");
    EXPECT_FALSE(form->ValidateValue(QStringLiteral("CMSMF"), QStringLiteral("01"), false, result, Variant::list({"XXX"})));
    session->validator->fail = true;
    EXPECT_FALSE(form->ValidateValue(QStringLiteral("ADMMB"), QStringLiteral("01"), false, result, Variant::list({"WOFB07"})));
}

// The run-options form connects to the job service and uses the look-up windows.
class OptForm : public TfrmBaseOpt {
public:
    OptForm() { setObjectName(QStringLiteral("frmWOFB07")); }
};

TEST_F(JobFormTest, TheRunOptionsFormConnectsToTheJobService)
{
    int made = 0;
    RegisterOleClass("ReportCounterS.dmReportCounter", [&] {
        ++made;
        return std::make_shared<FakeAppServer>();
    });
    QPointer<OptForm> opt = TQVForm::Create<OptForm>();
    opt->SetModuleFileName(QStringLiteral("/opt/qv/WOFB07C.so"));
    opt->SessionObject = Variant(DispatchPtr(session));
    EXPECT_TRUE(opt->InitSession(sessionArray()));
    UnregisterOleClass("ReportCounterS.dmReportCounter");
    EXPECT_EQ(made, 1);
    EXPECT_EQ(opt->MainMidas->ServerName(), QStringLiteral("ReportCounterS.dmReportCounter"));
    EXPECT_EQ(opt->EnvCount, 12);
    EXPECT_EQ(opt->FeatureFlags, 4);
    EXPECT_TRUE(opt->LookupWindowObject.isDispatch());
    EXPECT_EQ(opt->DateFields, QStringLiteral("edDate,meStartDate,meEndDate,edPrintDate"));
    opt->Free();
}

