// Condition schemes from the job form's side: a job with run options names its scheme
// properties itself, saves through 保存 and the naming dialog into a real system database
// by the real application server, lists its schemes in the left panel, opens them again
// with the dates tied to the run date rolled to today, renames in place and deletes.

#include "JobFormFixture.h"

#include "batch/BaseOpt.h"
#include "controls/QvSpin.h"
#include "jobform/GeneCondition.h"
#include "jobform/SchemeList.h"
#include "jobform/SchemeValues.h"
#include "server/ReportCounterS.h"
#include "serverdb/Schema.h"

#include "platform/OleDate.h"
#include "support/Dates.h"
#include "support/ScheduleRules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QToolButton>
#include <QTreeWidget>

namespace {

const QChar k1(1), k3(3), k4(4);

// A job with run options and a control of every kind on its first page: its scheme
// properties are the framework's own collection.
class SchemeJob : public TfrmBaseOpt {
public:
    SchemeJob() : TfrmBaseOpt(nullptr)
    {
        setObjectName(QStringLiteral("frmWOFB07"));
        const auto make = [](auto* control, const char* name, int y) {
            control->setObjectName(QLatin1String(name));
            control->setGeometry(10, y, 100, 22);
            return control;
        };
        edDate1 = make(new TMaskEdit(tsOption1), "edDate1", 10);
        edPlain = make(new TQvEdit(tsOption1), "edPlain", 40);
        edMonth = make(new TMaskEdit(tsOption1), "edMonth", 70);
        edName = make(new TQvEdit(tsOption1), "edName", 100);
        cboKind = make(new TQvComboBox(tsOption1), "cboKind", 130);
        cboKind->addItems({QStringLiteral("应付"), QStringLiteral("其他"), QStringLiteral("预付")});
        spRange = new TSelectPanel(tsOption1);
        spRange->setObjectName(QStringLiteral("spRange"));
        spRange->move(10, 160);
        spList = new TSelectPanel(tsOption1);
        spList->setObjectName(QStringLiteral("spList"));
        spList->SetStyle(TSelectPanel::sp_Discrete);
        spList->move(10, 220);
    }

    void InitJob() override
    {
        TfrmBaseOpt::InitJob();
        AddDateFields(QStringLiteral("edDate1,spRange"));
        MonthFields = QStringLiteral("edMonth");
    }
    void BeforeApplyValue(QWidget* control, const QString& value) override
    {
        hooks << QStringLiteral("before %1=%2").arg(control->objectName(), value);
    }
    void AfterApplyValue(QWidget* control, const QString& value) override
    {
        hooks << QStringLiteral("after %1=%2").arg(control->objectName(), value);
    }

    TMaskEdit* edDate1;
    TQvEdit* edPlain;
    TMaskEdit* edMonth;
    TQvEdit* edName;
    TQvComboBox* cboKind;
    TSelectPanel* spRange;
    TSelectPanel* spList;
    QStringList hooks;
};

class SchemeTest : public JobFormTest {
protected:
    void SetUp() override
    {
        JobFormTest::SetUp();
        const std::string folder = install.dir() + "db";
        std::filesystem::create_directories(folder);
        {
            DbConnection sys;
            sys.openSqlite(folder + "/QVSYS.db", true);
            CreateSchema(sys, "system");
        }
        ServerDbSettings s;
        s.folder = folder;
        settings = s;
        // As the in-process server is made: for the session the form signed on.
        RegisterOleClass(TfrmBaseOpt::JobServiceName,
                         [this] { return std::make_shared<TdmReportCounter>(settings, ProcessServerSession()); });
        // The naming dialog is answered by the test; every other window by the log.
        previousRunner = SetModalRunner([this](QWidget* window, const std::function<int()>& run) {
            if (auto* dialog = qobject_cast<TfrmGeneCondition*>(window)) {
                ++namingDialogs;
                if (onNaming)
                    onNaming(*dialog);
                return dialog->ModalResult();
            }
            return previousRunner(window, run);
        });
        job = TQVForm::Create<SchemeJob>();
        job->SetModuleFileName(QStringLiteral("/opt/qv/WOFB07C.so"));
        job->SessionObject = Variant(DispatchPtr(session));
        ASSERT_TRUE(job->InitSession(sessionArray()));
        job->show();
        settle();
    }
    void TearDown() override
    {
        if (job)
            job->Free();
        settle();
        SetModalRunner(previousRunner);
        UnregisterOleClass(TfrmBaseOpt::JobServiceName);
        JobFormTest::TearDown();
    }

    // Saves as a user does: 保存, then in the dialog the rules (when given), the name and OK.
    void saveAs(const QString& name, const std::function<void(TfrmGeneCondition&)>& rules = {})
    {
        onNaming = [&](TfrmGeneCondition& dialog) {
            if (rules)
                rules(dialog);
            dialog.edConName->setText(name);
            dialog.btnOk->click();
        };
        job->btnInsert->click();
        settle();
        onNaming = nullptr;
    }

    QStringList listed() const
    {
        QStringList names;
        for (int i = 0; i < job->lstCondition->topLevelItemCount(); ++i)
            names << job->lstCondition->topLevelItem(i)->text(0);
        return names;
    }

    QTreeWidgetItem* item(const QString& name) const
    {
        return job->lstCondition->findItems(name, Qt::MatchExactly).value(0);
    }

    void openScheme(const QString& name)
    {
        job->lstCondition->setCurrentItem(item(name));
        job->btnOpen->click();
        settle();
    }

    std::unique_ptr<DbConnection> systemDb()
    {
        auto sys = std::make_unique<DbConnection>();
        sys->openSqlite(settings.folder + "/QVSYS.db");
        return sys;
    }

    // A scheme as another version of the job stored it.
    void storeScheme(const char* name, const char* properties, const QString& values)
    {
        systemDb()->execute("INSERT INTO GENES (NCONDITION, CREATOR, PROGRAMME, CREATE_DATE, SCONDITION, VCONDITION) "
                           "VALUES (:N, 'DS', 'WOFB07', '20240101', :S, :V)",
                           {{"N", name}, {"S", properties}, {"V", values.toStdString()}});
    }

    static QString shown(const std::string& compact)
    {
        return QString::fromStdString(DateToDisplayText(1, "/", CompactToDate(compact)));
    }

    ServerDbSettings settings;
    ModalRunFn previousRunner;
    std::function<void(TfrmGeneCondition&)> onNaming;
    int namingDialogs = 0;
    QPointer<SchemeJob> job;
};

} // namespace

TEST_F(SchemeTest, EveryControlKindComesBackAndTiedDatesRoll)
{
    EXPECT_EQ(job->SchemeProperties, QStringLiteral("edDate1.text;edPlain.text;edMonth.text;edName.text;"
                                                    "cboKind.itemindex;spRange.style;spList.style;"));
    job->edPlain->SetText(QStringLiteral("含'引号") + k3 + QStringLiteral("x"));
    job->cboKind->setCurrentIndex(2);
    job->spRange->edBegin->SetText(QStringLiteral("2024/01/01"));
    job->spRange->edFinal->SetText(QStringLiteral("2024/01/31"));
    job->spList->AddValues({QStringLiteral("S01")});
    job->spList->AddValues({QStringLiteral("S02")});
    job->edDate1->SetText(QStringLiteral("2024/01/15"));
    job->edMonth->SetText(QStringLiteral("2024/03"));
    // The date: the last day of the previous month; the range: next month, first to last day.
    saveAs(QStringLiteral("月末转销"), [](TfrmGeneCondition& d) {
        d.edSetDate->setChecked(true);
        d.seSetDay1->SetValue(-1);
        d.cboSetDay1->setCurrentIndex(1);
        d.cboSetDay2->setCurrentIndex(2);
        d.cbodatecondition->setCurrentIndex(1);
        d.spDate_B->setChecked(true);
        d.seSetDay_B1->SetValue(1);
        d.cboSetDay_B1->setCurrentIndex(1);
        d.cboSetDay_B2->setCurrentIndex(1);
        d.spDate_E->setChecked(true);
        d.seSetDay_E1->SetValue(1);
        d.cboSetDay_E1->setCurrentIndex(1);
        d.cboSetDay_E2->setCurrentIndex(2);
    });
    EXPECT_EQ(namingDialogs, 1) << "one click, one dialog";
    EXPECT_EQ(listed(), QStringList{QStringLiteral("月末转销")}) << dialogs.texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(item(QStringLiteral("月末转销"))->text(1), QString::fromStdString(DateToDisplayText(1, "/", Today())))
        << "the creation date in the user's format";

    // Stored: the dates as their rules moved them on saving, then the rules of the tied dates.
    const DbRowSet stored = systemDb()->query("SELECT SCONDITION, VCONDITION FROM GENES");
    ASSERT_EQ(stored.rows.size(), 1u);
    EXPECT_EQ(VarToStr(stored.rows[0][0]), job->SchemeProperties.toStdString());
    const QString singleRule = QStringList{"1", "edDate1", "Y", "-1", "1", "2", "0", "D"}.join(k3);
    const QString rangeRule = QStringList{"0", "spRange", "Y", "1", "1", "1", "0", "Y", "1", "1", "2", "0", "D"}.join(k3);
    EXPECT_EQ(QString::fromStdString(VarToStr(stored.rows[0][1])).split(QStringLiteral("\r\n")),
              (QStringList{"20231231", QStringLiteral("含'引号") + k3 + "x", "202403", "", "2",
                           "sp_Range" + QString(k3) + "20240201" + k3 + "20240229",
                           "sp_Discrete" + QString(k3) + "S01" + k4 + "S02" + k4, singleRule, rangeRule, ""}));

    job->edPlain->SetText(QString());
    job->cboKind->setCurrentIndex(0);
    job->spList->ListBox->ClearItems();
    job->edDate1->SetText(QString());
    job->spRange->edBegin->SetText(QString());
    job->hooks.clear();
    openScheme(QStringLiteral("月末转销"));

    // Opened on another day, the tied dates follow that day.
    const std::string today = dateToCompact(Today());
    const std::string lastOfPrevious = RelativeDate(today, "-1", "1", "0", "2");
    EXPECT_EQ(job->edDate1->Text(), shown(lastOfPrevious));
    EXPECT_EQ(job->spRange->edBegin->Text(), shown(RelativeDate(today, "1", "1", "0", "1")));
    EXPECT_EQ(job->spRange->edFinal->Text(), shown(RelativeDate(today, "1", "1", "0", "2")));
    EXPECT_EQ(job->edPlain->Text(), QStringLiteral("含'引号") + k3 + "x");
    EXPECT_EQ(job->cboKind->currentIndex(), 2);
    EXPECT_EQ(job->spList->ListBox->Rows(), (QList<QStringList>{{"S01"}, {"S02"}}));
    EXPECT_EQ(job->edMonth->Text(), QStringLiteral("2024/03"));
    EXPECT_TRUE(job->hooks.contains(QStringLiteral("before cboKind=2"))) << job->hooks.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(job->hooks.contains(QStringLiteral("after edDate1=") + QString::fromStdString(lastOfPrevious)));
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.texts().join(QLatin1Char('|')).toStdString();
}

TEST_F(SchemeTest, DateRulesOfTheExamples)
{
    const auto single = [](const char* tie, const char* n, const char* unit, const char* adj, const char* d) {
        return QStringList{"1", "edDate1", tie, n, unit, adj, d, "D"};
    };
    EXPECT_EQ(SchemeValues::ApplyDateRule("20240115", single("Y", "1", "1", "2", "0"), 2), "20240229");
    EXPECT_EQ(SchemeValues::ApplyDateRule("20240117", single("Y", "0", "0", "1", "0"), 2), "20240114")
        << "back to the Sunday of that week";
    EXPECT_EQ(SchemeValues::ApplyDateRule("20240117", single("Y", "0", "0", "2", "0"), 2), "20240120");
    EXPECT_EQ(SchemeValues::ApplyDateRule("20240117", single("Y", "1", "0", "0", "-2"), 2), "20240122");
    EXPECT_EQ(SchemeValues::ApplyDateRule("20240131", single("Y", "0", "1", "0", "0"), 2), "20240131")
        << "a tie whose values are all zero leaves the date";
    EXPECT_EQ(SchemeValues::ApplyDateRule("20240115", single("N", "1", "1", "2", "0"), 2), "20240115");
    EXPECT_EQ(SchemeValues::ApplyDateRule("202401", single("Y", "2", "1", "2", "0"), 2), "202403") << "months only";
    EXPECT_EQ(SchemeValues::ApplyDateRule("", single("Y", "2", "1", "2", "0"), 2), "");
}

TEST_F(SchemeTest, ListsEncodeTheirSubItemsAndBadTextIsRefused)
{
    job->spList->ListBox->ClearItems();
    job->spList->AddValues({"a", "b", "c"});
    job->spList->AddValues({"d"});
    const QString encoded = SchemeValues::EncodeList(job->spList);
    EXPECT_TRUE(encoded.startsWith(QStringLiteral("a") + k1 + "b" + k1 + "c" + k4 + "d")) << encoded.toStdString();
    SchemeValues::DecodeList(job->spList, QStringLiteral("x") + k1 + "y" + k4);
    EXPECT_EQ(job->spList->ListBox->Rows().value(0).value(1), QStringLiteral("y"));
    EXPECT_THROW(SchemeValues::DecodeList(job->spList, QStringLiteral("no end")), std::runtime_error);
}

TEST_F(SchemeTest, ADatePanelWithoutARuleKeepsNothingAndIsLeftAlone)
{
    // No dialog has made rules yet: the date panel's line is empty, the others are saved.
    job->spRange->edBegin->SetText(QStringLiteral("2024/01/01"));
    job->spRange->edFinal->SetText(QStringLiteral("2024/01/31"));
    job->edPlain->SetText(QStringLiteral("kept"));
    const QString values = SchemeValues::Build(*job, job->SchemeProperties);
    EXPECT_EQ(values.split(QStringLiteral("\r\n")).value(5), QString()) << values.toStdString();
    EXPECT_EQ(values.split(QStringLiteral("\r\n")).value(1), QStringLiteral("kept"));

    job->spRange->edBegin->SetText(QStringLiteral("2024/05/01"));
    job->edPlain->SetText(QString());
    EXPECT_TRUE(SchemeValues::Apply(*job, job->SchemeProperties, values));
    EXPECT_EQ(job->spRange->edBegin->Text(), QStringLiteral("2024/05/01")) << "an empty line leaves the panel alone";
    EXPECT_EQ(job->edPlain->Text(), QStringLiteral("kept"));
}

TEST_F(SchemeTest, SchemesFromElsewhereStopAtWhatDoesNotFit)
{
    // cboKind.itemindex is no integer: edPlain before it is set, edName after it is not.
    storeScheme("bad", "edPlain.text;cboKind.itemindex;edName.text", QStringLiteral("new\r\nabc\r\nlater\r\n"));
    // A property of a kind no scheme sets ends the application as done.
    storeScheme("font", "edPlain.text;edName.Font;edMonth.text", QStringLiteral("first\r\nArial\r\n2024/05\r\n"));
    // An old scheme with fewer lines than the list leaves the rest as it is.
    storeScheme("short", "edPlain.text;edName.text", QStringLiteral("short\r\n"));
    ASSERT_TRUE(job->LoadSchemeList());
    job->edName->SetText(QStringLiteral("name"));

    openScheme(QStringLiteral("bad"));
    EXPECT_EQ(job->edPlain->Text(), QStringLiteral("new"));
    EXPECT_EQ(job->edName->Text(), QStringLiteral("name"));
    ASSERT_EQ(dialogs.shown.size(), 1u) << "the scheme that did not fit is reported";

    openScheme(QStringLiteral("font"));
    EXPECT_EQ(job->edPlain->Text(), QStringLiteral("first"));
    EXPECT_EQ(job->edMonth->Text(), QString()) << "nothing after the property no scheme sets";
    EXPECT_EQ(dialogs.shown.size(), 1u) << "and nothing reported";

    openScheme(QStringLiteral("short"));
    EXPECT_EQ(job->edPlain->Text(), QStringLiteral("short"));
    EXPECT_EQ(job->edName->Text(), QStringLiteral("name"));
}

TEST_F(SchemeTest, RenamingChecksTheNameKeepsTheOrderAndDeletingAsks)
{
    saveAs(QStringLiteral("B"));
    saveAs(QStringLiteral("A"));
    ASSERT_EQ(listed(), (QStringList{"A", "B"}));
    EXPECT_FALSE(item("A")->icon(0).isNull()) << "every scheme carries image 0";

    const auto rename = [&](const QString& from, const QString& to) {
        item(from)->setText(0, to);
        settle();
    };
    rename("A", "  ");
    rename("A", QStringLiteral("一二三四五六七八九十A"));
    rename("A", "B");
    EXPECT_EQ(listed(), (QStringList{"A", "B"}));
    ASSERT_EQ(dialogs.shown.size(), 3u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("方案名不可空白!"));
    EXPECT_EQ(dialogs.shown[1].text, QStringLiteral("方案名长度不可大于20!"));
    EXPECT_EQ(dialogs.shown[2].text, QStringLiteral("此方案名称已经存在！"));

    rename("A", QStringLiteral("一二三四五六七八九十"));
    EXPECT_EQ(listed(), (QStringList{"B", QStringLiteral("一二三四五六七八九十")})) << "sorted by caption";
    ASSERT_TRUE(job->LoadSchemeList());
    EXPECT_EQ(listed(), (QStringList{"B", QStringLiteral("一二三四五六七八九十")})) << "the server has the new name";

    dialogs.answer = mrNo;
    job->lstCondition->setCurrentItem(item("B"));
    job->btnDelete->click();
    settle();
    EXPECT_EQ(listed().size(), 2);
    EXPECT_TRUE(dialogs.shown.back().text.startsWith(QStringLiteral("确实要删除此方案吗？")));
    dialogs.answer = mrYes;
    job->lstCondition->setCurrentItem(item("B"));
    job->btnDelete->click();
    settle();
    EXPECT_EQ(listed(), QStringList{QStringLiteral("一二三四五六七八九十")});
}

TEST_F(SchemeTest, TheDialogNamesTheSchemeAndWritesTheRules)
{
    session->validator->rows["GENES/taken"] = Variant::list({"taken", "DS", "WOFB07", "20240101"});
    // The dialog's texts come from its own section; a file that keeps them where they
    // used to be still serves.
    install.write("client/MultiLanguage/CHS/TfrmGeneCondition.Lng",
                  R"(<TfrmGeneCondition><sEmptyProjName Msg="请给方案起个名字"/></TfrmGeneCondition>)");
    install.write("client/MultiLanguage/CHS/TfrmBaseGene.Lng",
                  R"(<TfrmBaseGene><sReplaceProj Msg="旧位置: 替换吗?"/></TfrmBaseGene>)");
    Variant result;
    onNaming = [&](TfrmGeneCondition& dialog) {
        // edPrintDate and the run options' dates, added by the framework, get no rule.
        EXPECT_EQ(dialog.Entries(), (QStringList{"edDate1", "spRange"}));
        ASSERT_EQ(job->DateRules.size(), 2);
        EXPECT_EQ(job->DateRules[0], QStringList({"1", "edDate1", "N", "0", "0", "0", "0", "D"}).join(k3));

        dialog.edSetDate->setChecked(true);
        dialog.seSetDay1->SetValue(1);
        dialog.cboSetDay1->setCurrentIndex(1);
        dialog.cboSetDay2->setCurrentIndex(2);
        EXPECT_EQ(job->DateRules[0], QStringList({"1", "edDate1", "Y", "1", "1", "2", "0", "D"}).join(k3));
        EXPECT_FALSE(dialog.seSetDay2->isEnabled()) << "days count only with add or subtract";

        dialog.cbodatecondition->setCurrentIndex(1);
        EXPECT_TRUE(dialog.pnSp->isVisibleTo(&dialog));
        EXPECT_FALSE(dialog.pnEdit->isVisibleTo(&dialog));

        dialog.btnOk->click();
        EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("请给方案起个名字"));
        dialog.edConName->setText(QStringLiteral("taken"));
        dialogs.answer = mrCancel;
        dialog.btnOk->click();
        EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("旧位置: 替换吗?"));
        EXPECT_EQ(dialog.ModalResult(), mrNone) << "Cancel on the replace prompt returns to the name";
        dialogs.answer = mrOk;
        dialog.btnOk->click();
        EXPECT_EQ(dialog.ModalResult(), mrOk);
        result = dialog.Result();
    };
    job->btnInsert->click();
    settle();
    ASSERT_TRUE(result.isArray());
    EXPECT_EQ(result[0].toString(), "taken");
    EXPECT_TRUE(result[2].toBool()) << "the replace flag";
}

TEST_F(SchemeTest, ADoubleClickOpensTheScheme)
{
    job->edName->SetText(QStringLiteral("saved"));
    saveAs(QStringLiteral("one"));
    job->edName->SetText(QString());
    QWidget* viewport = job->lstCondition->viewport();
    const QPoint at = job->lstCondition->visualItemRect(item("one")).center();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
    settle();
    EXPECT_EQ(job->edName->Text(), QStringLiteral("saved"));
}

TEST_F(SchemeTest, ViewsCycleAndSchemesBelongToTheirProgram)
{
    EXPECT_EQ(job->lstCondition->iconSize(), QSize(24, 24)) << "large icons: image 0 of ImageList2";
    for (int i = 0; i < 4; ++i)
        job->ToolButton1->click();
    EXPECT_EQ(job->Schemes().view(), TSchemeList::Icon) << "four presses come back to the first view";
    job->ToolButton1->click();
    EXPECT_EQ(job->Schemes().view(), TSchemeList::SmallIcon);
    EXPECT_EQ(job->lstCondition->iconSize(), QSize(18, 18)) << "small icons: image 0 of ImageList1";
    job->ViewReportExecute();
    EXPECT_FALSE(job->lstCondition->isHeaderHidden());

    systemDb()->execute("INSERT INTO GENES (NCONDITION, CREATOR, PROGRAMME, CREATE_DATE) VALUES ('other', 'DS', 'WOFB08', "
                       "'20240101')");
    ASSERT_TRUE(job->LoadSchemeList());
    EXPECT_TRUE(listed().isEmpty()) << "another program's scheme is not listed";
}

TEST_F(JobFormTest, AServerWithoutSchemesSaysSoInThePanel)
{
    ASSERT_TRUE(open());
    form->show();
    settle();
    EXPECT_TRUE(dialogs.shown.empty()) << "no error box each time the form opens";
    EXPECT_FALSE(form->btnInsert->isEnabled());
    EXPECT_FALSE(form->btnOpen->isEnabled());
    EXPECT_EQ(form->lstCondition->toolTip(), QStringLiteral("此应用服务器不保存条件方案"));
}
