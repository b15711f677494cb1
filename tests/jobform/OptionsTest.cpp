// Options, the parameter packet, parameters handed in from outside, look-ups, help and keys.

#include "JobFormFixture.h"

#include "config/LookupRequest.h"
#include "config/RunTimeProps.h"
#include "controls/DataSource.h"
#include "dataset/ClientDataSet.h"

#include <QPlainTextEdit>
#include <QStandardItemModel>
#include <QTableView>

namespace {
Variant texts(std::initializer_list<const char*> names)
{
    std::vector<Variant> entries;
    entries.push_back(Variant());
    for (const char* n : names)
        entries.push_back(Variant::list({std::string("caption of ") + n, n}));
    Variant a = Variant::list(std::move(entries));
    return a;
}

// The texts as a 1-based array, as the form declares its option slots.
Variant oneBased(const Variant& zeroBased)
{
    Variant a = Variant::array(1, zeroBased.highBound());
    for (int i = 1; i <= zeroBased.highBound(); ++i)
        a[i] = zeroBased[i];
    return a;
}
} // namespace

TEST_F(JobFormTest, OptionSlotsFollowTheFrameworkSlots)
{
    prepare = [](TestJobForm* f) { f->onInitJob = [](TestJobForm* g) { g->SetOptionCount(14); }; };
    ASSERT_TRUE(open());
    EXPECT_EQ(form->OptionCount, 15);
    form->Free();
    settle();
    prepare = [](TestJobForm* f) {
        f->onInitJob = [](TestJobForm* g) {
            g->OptionBase = 2;
            g->SetOptionCount(14);
        };
    };
    ASSERT_TRUE(open());
    EXPECT_EQ(form->OptionCount, 16);
}

TEST_F(JobFormTest, CollectParamsBuildsThePacket)
{
    prepare = [](TestJobForm* f) {
        f->onInitJob = [](TestJobForm* g) { g->SetOptionCount(2); };
        f->ownTexts = [f](Variant& t, int last) {
            EXPECT_EQ(last, 2);
            t[1] = Variant::list({QStrToVar(f->edName->Caption()), "edName"});
            t[2] = Variant::list({"种类", "cboKind"});
            return true;
        };
        f->ownValues = [f](Variant& v, int) {
            v[1] = QStrToVar(f->edName->Text());
            v[2] = f->cboKind->currentIndex();
            return true;
        };
    };
    ASSERT_TRUE(open());
    form->edName->SetText(QStringLiteral("abc"));
    form->edPrintDate->SetEditMask(form->DateMask());
    form->edPrintDate->SetText(QStringLiteral("2024/03/05"));
    ASSERT_TRUE(form->CollectParams());
    const Variant& p = form->ParamPacket;
    ASSERT_EQ(p.lowBound(), 0);
    ASSERT_EQ(p.highBound(), 2);
    const Variant& env = p[0];
    EXPECT_EQ(env.lowBound(), 1);
    EXPECT_EQ(env.highBound(), 9);
    EXPECT_EQ(VarToStr(env[1]), "WOFB07");
    EXPECT_EQ(env[2].toInt(), 9);
    EXPECT_EQ(env[3].toInt(), 3);
    EXPECT_EQ(VarToStr(env[4]), "01");
    EXPECT_EQ(VarToStr(env[5]), "DS");
    EXPECT_EQ(VarToStr(env[6]), "DEMO");
    EXPECT_EQ(env[7].type(), VarType::Date);
    EXPECT_EQ(VarToStr(env[8]), "WOFB07S.Class1");
    EXPECT_EQ(VarToStr(env[9]), "R");
    EXPECT_EQ(p[1].highBound(), 3);
    EXPECT_EQ(VarToStr(p[1][3][0]), "制表日期");
    EXPECT_EQ(VarToStr(p[1][3][1]), "edPrintDate");
    EXPECT_EQ(VarToStr(p[2][1]), "abc");
    EXPECT_EQ(VarToStr(p[2][3]), "20240305");
    EXPECT_TRUE(form->OptionsFilled);

    // A blank print date travels as the empty text.
    form->edPrintDate->Clear();
    ASSERT_TRUE(form->CollectParams());
    EXPECT_EQ(VarToStr(form->ParamPacket[2][3]), "");
}

TEST_F(JobFormTest, CollectParamsNamesTheEmptySlot)
{
    prepare = [](TestJobForm* f) {
        f->onInitJob = [](TestJobForm* g) { g->SetOptionCount(8); };
        f->ownTexts = [](Variant& t, int) {
            for (int i = 1; i <= 8; ++i)
                if (i != 7)
                    t[i] = Variant::list({"c", "n"});
            return true;
        };
    };
    ASSERT_TRUE(open());
    EXPECT_FALSE(form->CollectParams());
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("选择条件文字: 共 9 项, 第 7 项为空")});
}

TEST_F(JobFormTest, CollectParamsChecksTheArraySize)
{
    prepare = [](TestJobForm* f) {
        f->onInitJob = [](TestJobForm* g) { g->SetOptionCount(1); };
        f->ownTexts = [](Variant& t, int) {
            t[1] = Variant::list({"c", "n"});
            return true;
        };
        f->ownValues = [](Variant& v, int) {
            v.redim(3);
            v[1] = 1;
            v[3] = 3;
            return true;
        };
    };
    ASSERT_TRUE(open());
    EXPECT_FALSE(form->CollectParams());
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("选择条件信息: 应有 2 项, 实有 3 项")});
}

TEST_F(JobFormTest, CollectParamsNeedsSlotsAndReportsFailedCollection)
{
    ASSERT_TRUE(open());
    form->EnvCount = 0;
    EXPECT_FALSE(form->CollectParams());
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("没有定义环境或选项")});
    form->EnvCount = 9;
    // The print-date slot lies beyond arrays that are too short.
    Variant shortTexts = Variant::array(0, 0);
    EXPECT_FALSE(form->CollectOptionTexts(shortTexts, 0));
    EXPECT_TRUE(form->MessageCodes.endsWith(QStringLiteral("E;000030;选项文字; "))) << "followed by the wording of I 000011";
    Variant shortValues = Variant::array(0, 0);
    EXPECT_FALSE(form->CollectOptionValues(shortValues, 0));
    EXPECT_TRUE(form->MessageCodes.endsWith(QStringLiteral("E;000030; ")));
    dialogs.shown.clear();
    form->ownValues = [](Variant&, int) { return false; };
    EXPECT_FALSE(form->CollectParams()) << "a job that cannot give its values stops the packet";
    EXPECT_TRUE(dialogs.shown.empty()) << "the job reports its own failure";
}

TEST_F(JobFormTest, ApplyParamsSetsNamedControls)
{
    prepare = [](TestJobForm* f) {
        f->onInitJob = [](TestJobForm* g) {
            g->AddDateFields(QStringLiteral("edDate1,spRange"));
            g->MonthFields = QStringLiteral("edMonth");
        };
    };
    ASSERT_TRUE(open());
    Variant t = oneBased(texts({"edName", "cboKind", "edDate1", "spRange", "spList", "edMonth", "edPrintDate"}));
    Variant v = Variant::array(1, 7);
    v[1] = "供应商A";
    v[2] = 2;
    v[3] = "20240305";
    v[4] = Variant::list({"\x04", "20240101", "20240131"});
    v[5] = Variant::list({"\x05", Variant::list({"S001", "甲"}), "S002"});
    v[6] = "202403";
    v[7] = "20240401";
    form->ApplyParams(Variant::list({0, Variant::list({true, Variant::list({t, v})})}));
    EXPECT_TRUE(form->MessageCodes.isEmpty());
    EXPECT_EQ(form->edName->Text(), QStringLiteral("供应商A"));
    EXPECT_EQ(form->cboKind->currentIndex(), 2);
    EXPECT_EQ(form->edDate1->Text(), QStringLiteral("2024/03/05")) << "dates are shown in the user's format";
    EXPECT_EQ(form->spRange->edBegin->Text(), QStringLiteral("2024/01/01"));
    EXPECT_EQ(form->spRange->edFinal->Text(), QStringLiteral("2024/01/31"));
    EXPECT_EQ(form->spList->ListBox->Rows(), (QList<QStringList>{{QStringLiteral("S001"), QStringLiteral("甲")},
                                                            {QStringLiteral("S002"), QString()}}));
    EXPECT_EQ(form->edMonth->Text(), QStringLiteral("2024/03"));
    EXPECT_EQ(form->edPrintDate->Text(), QStringLiteral("2024/04/01"));
    EXPECT_TRUE(form->ApplyByName);
    EXPECT_FALSE(form->ApplyDone) << "command 0 only sets the values";
    EXPECT_TRUE(form->ApplyRunFlag);
    EXPECT_TRUE(form->hooks.contains(QStringLiteral("before cboKind=2")));
    EXPECT_TRUE(form->hooks.contains(QStringLiteral("after spRange=20240101;20240131")));
    EXPECT_FALSE(form->hooks.contains(QStringLiteral("ok")));
    EXPECT_TRUE(form->ConvertedFlag);

    // What a controller's ApplyParams hands in round-trips through CollectParams.
    ASSERT_TRUE(form->CollectParams());
    EXPECT_EQ(VarToStr(form->ParamPacket[2][1]), "20240401");
}

TEST_F(JobFormTest, ApplyParamsWithAMissingControlChangesNothing)
{
    ASSERT_TRUE(open());
    form->edName->SetText(QStringLiteral("keep"));
    Variant t = oneBased(texts({"edName", "edNoSuch"}));
    Variant v = Variant::list({Variant(), "new", "x"});
    form->ApplyParams(Variant::list({1, Variant::list({true, Variant::list({t, v})})}));
    EXPECT_EQ(form->MessageCodes, QStringLiteral("W;000014;edNoSuch; "));
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("参数指定的元件[edNoSuch]不存在或不能设置")});
    EXPECT_EQ(form->edName->Text(), QStringLiteral("keep"));
    EXPECT_FALSE(form->ApplyDone);
    EXPECT_FALSE(form->hooks.contains(QStringLiteral("ok")));

    // A value the control cannot take is refused the same way.
    dialogs.shown.clear();
    form->ApplyParams(Variant::list({0, Variant::list({true, Variant::list({oneBased(texts({"cboKind"})), Variant::list({Variant(), "no such item"})})})}));
    EXPECT_TRUE(form->MessageCodes.endsWith(QStringLiteral("W;000014;cboKind; ")));
    EXPECT_EQ(form->cboKind->currentIndex(), 0);
}

TEST_F(JobFormTest, ApplyParamsRunsTheCommand)
{
    ASSERT_TRUE(open());
    const Variant values = Variant::list({oneBased(texts({"edName"})), Variant::list({Variant(), "x"})});
    form->ApplyParams(Variant::list({1, Variant::list({true, values})}));
    EXPECT_TRUE(form->ApplyDone);
    EXPECT_TRUE(form->ApplyRunFlag);
    EXPECT_TRUE(form->hooks.contains(QStringLiteral("ok"))) << "command 1 presses OK";

    form->hooks.clear();
    form->ApplyParams(Variant::list({7, Variant::list({true, values})}));
    EXPECT_EQ(form->commands, QList<int>{7});
    EXPECT_FALSE(form->ApplyRunFlag);
    EXPECT_FALSE(form->hooks.contains(QStringLiteral("ok")));

    // Not by name: the job's own ApplyValues decides, and the base form takes nothing.
    form->ApplyParams(Variant::list({1, Variant::list({false, values})}));
    EXPECT_FALSE(form->ApplyByName);
    EXPECT_FALSE(form->ApplyDone);
    EXPECT_FALSE(form->hooks.contains(QStringLiteral("ok")));
    EXPECT_EQ(form->CommandArray[0].toBool(), false);
}

TEST_F(JobFormTest, LookupDataSendsNineteenElements)
{
    ASSERT_TRUE(open());
    Variant result = "stale";
    form->LookupData(QStringLiteral("PURMA"), QStringLiteral("01"), result, true, QStringLiteral("S0"), Variant::list({"k"}));
    EXPECT_TRUE(result.isEmpty()) << "no look-up window service";
    EXPECT_TRUE(session->f2Window->calls.empty());

    form->FeatureFlags = 4;
    form->CreateLookupWindow();
    form->BaseLimitText = QStringLiteral("limit");
    session->f2Window->lookupAnswer = Variant::list({Variant::list({"S001", "甲"})});
    form->LookupData(QStringLiteral("PURMA"), QStringLiteral("01"), result, true, QStringLiteral("S0"), Variant::list({"k"}));
    ASSERT_EQ(session->f2Window->calls.size(), 1u);
    const Variant& r = session->f2Window->calls[0].args[0];
    ASSERT_EQ(r.lowBound(), 0);
    ASSERT_EQ(r.highBound(), 18);
    EXPECT_EQ(VarToStr(r[0]), "PURMA");
    EXPECT_EQ(VarToStr(r[1]), "01");
    EXPECT_EQ(VarToStr(r[2][0]), "k");
    EXPECT_TRUE(r[3].toBool());
    EXPECT_EQ(VarToStr(r[4]), "S0");
    EXPECT_EQ(VarToStr(r[5]), "01");
    EXPECT_EQ(VarToStr(r[6]), "DEMO");
    EXPECT_EQ(r[7].toInt64(), std::int64_t(form->winId()));
    EXPECT_EQ(r[8].toInt(), 1);
    EXPECT_FALSE(r[9].toBool());
    EXPECT_EQ(r[10].toInt(), 3);
    EXPECT_EQ(VarToStr(r[11]) + VarToStr(r[12]) + VarToStr(r[13]), "");
    EXPECT_TRUE(r[11].isString());
    EXPECT_EQ(VarToStr(r[14]), "limit");
    EXPECT_FALSE(r[15].toBool());
    EXPECT_FALSE(r[16].toBool());
    EXPECT_TRUE(r[17].isDispatch());
    EXPECT_EQ(VarToStr(r[18]), "DS");
    EXPECT_EQ(VarToStr(result[0][0]), "S001");
}

TEST_F(JobFormTest, LookupsFillSelectPanels)
{
    ASSERT_TRUE(open());
    form->FeatureFlags = 4;
    form->CreateLookupWindow();
    session->f2Window->lookupAnswer = Variant::list(
        {Variant::list({"S001", "甲", "c", "d", "e"}), Variant::list({"S002", "乙", "c", "d", "e"})});
    form->LookupIntoPanel(form->spList->ListBox, QStringLiteral("PURMA"), QStringLiteral("01"), false, QString(), Variant());
    ASSERT_EQ(form->spList->ListBox->Rows().size(), 2);
    EXPECT_EQ(form->spList->ListBox->Rows()[0].size(), 4) << "at most four elements of a row";
    form->LookupIntoPanel(form->spRange->edFinal, QStringLiteral("PURMA"), QStringLiteral("01"), false, QString(), Variant());
    EXPECT_EQ(form->spRange->edFinal->Text(), QStringLiteral("S001"));
    EXPECT_EQ(form->spRange->edBegin->Text(), QString());
}

TEST_F(JobFormTest, PickDateAndPhraseUseTheLookupWindows)
{
    ASSERT_TRUE(open());
    EXPECT_EQ(form->PickDate(QStringLiteral("2024/01/01")), QStringLiteral("2024/01/01")) << "no picker: the date stays";
    showActive();
    form->pgOption->SetActivePageIndex(1);
    settle();
    form->edPrintDate->setFocus();
    form->edPrintDate->SetText(QStringLiteral("2024/01/01"));
    QTest::keyClick(form->edPrintDate, Qt::Key_F2);
    EXPECT_EQ(form->edPrintDate->Text(), QStringLiteral("2024/01/01")) << "F2 without a picker keeps the date";
    form->FeatureFlags = 4;
    form->CreateLookupWindow();
    session->counter->settings = {{"Sys001", "4"}, {"Sys002", "-"}};
    form->GetSystemSetting(QString());
    session->f2Window->pickedDay = "20240305";
    EXPECT_EQ(form->PickDate(QStringLiteral("20240101")), QStringLiteral("113-03-05"));
    const Variant& request = session->f2Window->calls.back().args[0];
    EXPECT_TRUE(request[0].toBool()) << "code 4 counts years from 1912";
    EXPECT_EQ(VarToStr(request[1]), "20240101");
    EXPECT_EQ(VarToStr(request[2]), "DEMO");
    form->PickDate(QStringLiteral("2024010"));
    EXPECT_EQ(VarToStr(session->f2Window->calls.back().args[0][1]).size(), 8u);
    EXPECT_NE(VarToStr(session->f2Window->calls.back().args[0][1]), "2024010") << "starts on today";
    session->f2Window->pickedDay = " ";
    EXPECT_EQ(form->PickDate(QStringLiteral("kept")), QStringLiteral("kept"));

    session->f2Window->phrase = "常用语";
    form->PickPhrase(form->edName);
    EXPECT_EQ(form->edName->Text(), QStringLiteral("常用语"));
    session->f2Window->phrase.clear();
    form->PickPhrase(form->edName);
    EXPECT_EQ(form->edName->Text(), QStringLiteral("常用语"));
}

TEST_F(JobFormTest, F2AndTheLookupRequestPickThePrintDate)
{
    ASSERT_TRUE(open());
    form->FeatureFlags = 4;
    form->CreateLookupWindow();
    session->f2Window->pickedDay = "20240305";
    showActive();
    form->pgOption->SetActivePageIndex(1);
    settle();
    form->edPrintDate->setFocus();
    settle();
    QTest::keyClick(form->edPrintDate, Qt::Key_F2);
    settle();
    EXPECT_EQ(form->edPrintDate->Text(), QStringLiteral("2024/03/05"));
    session->f2Window->pickedDay = "20240306";
    QTest::mouseClick(form->btnPrintDate, Qt::LeftButton);
    settle();
    EXPECT_EQ(form->edPrintDate->Text(), QStringLiteral("2024/03/06")) << "the F2 button's request is an F2 press";
}

TEST_F(JobFormTest, F1ShowsTheProgramsHelpTopic)
{
    ASSERT_TRUE(open());
    showActive();
    form->edName->setFocus();
    QTest::keyClick(form->edName, Qt::Key_F1);
    ASSERT_EQ(session->calls.size(), 1u);
    EXPECT_EQ(session->calls[0].name, "CallHelp");
    EXPECT_EQ(VarToStr(session->calls[0].args[0][0]), "WOF");
    EXPECT_EQ(VarToStr(session->calls[0].args[0][1]), "13070000");
    form->ProgramCode = QStringLiteral("ACPAR12");
    EXPECT_TRUE(form->ShowHelp());
    EXPECT_EQ(VarToStr(session->calls[1].args[0][1]), "62120000");
    form->ProgramCode = QStringLiteral("WOFX07");
    EXPECT_FALSE(form->ShowHelp());
    EXPECT_EQ(session->calls.size(), 2u) << "no topic, no call";
}

TEST_F(JobFormTest, EnterMovesOnAndNextPageForListedControls)
{
    ASSERT_TRUE(open());
    showActive();
    form->edName->setFocus();
    settle();
    QTest::keyClick(form->edName, Qt::Key_Return);
    settle();
    EXPECT_NE(QApplication::focusWidget(), form->edName) << "Enter moves on as Tab";
    form->PageEnterControls << form->spRange;
    form->spRange->edBegin->setFocus();
    settle();
    QTest::keyClick(form->spRange->edBegin, Qt::Key_Return);
    settle();
    EXPECT_EQ(form->pgOption->ActivePageIndex(), 1) << "a control of a listed panel goes to the next page";
    EXPECT_TRUE(form->ControlInList(form->spRange->edFinal));
    EXPECT_FALSE(form->ControlInList(form->edName));
}

TEST_F(JobFormTest, EnterInGridsAndMemos)
{
    ASSERT_TRUE(open());
    auto* grid = new QTableView(form->tsOption1);
    grid->setObjectName(QStringLiteral("grdTest"));
    QStandardItemModel model(1, 2);
    grid->setModel(&model);
    grid->setGeometry(250, 10, 200, 100);
    auto* memo = new QPlainTextEdit(form->tsOption1);
    memo->setObjectName(QStringLiteral("meNote"));
    memo->setGeometry(250, 120, 200, 100);
    showActive();

    grid->setFocus();
    grid->setCurrentIndex(model.index(0, 0));
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_EQ(grid->currentIndex(), model.index(0, 1)) << "the next column";
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_EQ(model.rowCount(), 2) << "from the last cell a row is added";
    EXPECT_EQ(grid->currentIndex(), model.index(1, 0));
    EXPECT_EQ(QApplication::focusWidget(), grid);

    memo->setFocus();
    settle();
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClick(memo, Qt::Key_Return);
    EXPECT_EQ(memo->blockCount(), 3) << "the first two lines keep Enter as a new line";
    EXPECT_EQ(QApplication::focusWidget(), memo);
    QTest::keyClick(memo, Qt::Key_Return);
    settle();
    EXPECT_EQ(memo->blockCount(), 3);
    EXPECT_NE(QApplication::focusWidget(), memo) << "from the third line Enter moves on";
}

TEST_F(JobFormTest, MovingTheFormRepaintsTheHostWindow)
{
    // The host shell's main window, counting its paints.
    class HostWindow : public QWidget {
    public:
        int paints = 0;

    protected:
        void paintEvent(QPaintEvent*) override { ++paints; }
    } host;
    host.resize(100, 100);
    host.show();
    settle();
    ASSERT_TRUE(open(Variant::list({"DS", "01", "DEMO", std::int64_t(host.winId()), Variant()})));
    EXPECT_EQ(form->HostWindow, std::uintptr_t(host.winId()));
    form->show();
    settle();
    const int before = host.paints;
    form->move(form->x() + 30, form->y() + 20);
    settle();
    EXPECT_GT(host.paints, before);
    const int moved = host.paints;
    form->resize(form->width() + 40, form->height());
    settle();
    EXPECT_GT(host.paints, moved);
}

TEST_F(JobFormTest, CtrlAltVShowsTheModulesProperties)
{
    ASSERT_TRUE(open());
    showActive();
    form->edName->setFocus();
    QTest::keyClick(form->edName, Qt::Key_V, Qt::ControlModifier | Qt::AltModifier);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_TRUE(dialogs.shown[0].text.startsWith(QStringLiteral("/opt/qv/WOFB07C.so")));
    EXPECT_TRUE(form->edName->Text().isEmpty()) << "the key goes no further";
}

namespace {
// A job whose data set shows a text field.
class DataSetForm : public TestJobForm {
public:
    DataSetForm()
    {
        dataSet.AddField("MA002", ftString, 20)->SetDisplayLabel("名称");
        dataSet.AddField("MA003", ftInteger);
        dataSet.CreateDataSet();
        source = new TDataSource(this);
        source->SetDataSet(&dataSet);
    }
    TClientDataSet dataSet;
    TDataSource* source;
};
} // namespace

TEST(JobFormDataSets, TextFieldsGetTheConversionHandlers)
{
    QPointer<DataSetForm> f = TQVForm::Create<DataSetForm>();
    TField* text = f->dataSet.FieldByName("MA002");
    EXPECT_TRUE(bool(text->OnGetText));
    EXPECT_TRUE(bool(text->OnSetText));
    EXPECT_FALSE(bool(f->dataSet.FieldByName("MA003")->OnGetText)) << "only text fields";
    EXPECT_EQ(text->DisplayLabel(), "名称");
    f->dataSet.Append();
    text->SetText("甲公司");
    f->dataSet.Post();
    EXPECT_EQ(text->DisplayText(), "甲公司");
    EXPECT_EQ(text->AsString(), "甲公司");
    f->source->SetDataSet(nullptr);
    f->Free();
}
