// Condition schemes from the job form's side: saved through the real application server
// into a real system database, listed in the left panel, opened again with their dates
// moved by their rules, renamed in place and deleted.

#include "JobFormFixture.h"

#include "controls/QvSpin.h"
#include "jobform/GeneCondition.h"
#include "jobform/SchemeList.h"
#include "jobform/SchemeValues.h"
#include "server/ReportCounterS.h"
#include "server/Schema.h"

#include "platform/OleDate.h"
#include "support/Dates.h"

#include <QCheckBox>
#include <QComboBox>
#include <QToolButton>
#include <QTreeWidget>

namespace {

const QChar k1(1), k3(3), k4(4);

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
        RegisterOleClass("SchemeTest.Server", [this] {
            // As the in-process server is made: for the session the form signed on.
            auto server = std::make_shared<TdmReportCounter>(settings, ProcessServerSession());
            lastServer = server;
            return server;
        });
        prepare = [](TestJobForm* f) {
            f->serverName = QStringLiteral("SchemeTest.Server");
            f->onInitJob = [](TestJobForm* g) {
                g->AddDateFields(QStringLiteral("edDate1,spRange"));
                g->MonthFields = QStringLiteral("edMonth");
                g->SchemeProperties = QStringLiteral(
                    "edPlain.Text;cboKind.ItemIndex;spRange.Style;spList.Style;edDate1.Text;edMonth.Text;nothing.Text;"
                    "edName");
            };
        };
        ASSERT_TRUE(JobFormTest::open());
        form->show();
        settle();
    }
    void TearDown() override
    {
        JobFormTest::TearDown();
        UnregisterOleClass("SchemeTest.Server");
    }

    QStringList listed() const
    {
        QStringList names;
        for (int i = 0; i < form->lstCondition->topLevelItemCount(); ++i)
            names << form->lstCondition->topLevelItem(i)->text(0);
        return names;
    }

    QTreeWidgetItem* item(const QString& name) const
    {
        for (int i = 0; i < form->lstCondition->topLevelItemCount(); ++i)
            if (form->lstCondition->topLevelItem(i)->text(0) == name)
                return form->lstCondition->topLevelItem(i);
        return nullptr;
    }

    void openScheme(const QString& name)
    {
        form->lstCondition->setCurrentItem(item(name));
        form->btnOpen->click();
        settle();
    }

    // A single-date rule for edDate1: tied, n months, the adjustment, d days.
    void ruleForDate(const char* n, const char* unit, const char* adjust, const char* days)
    {
        form->DateRules = {QStringList{"1", "edDate1", "Y", n, unit, adjust, days, "D"}.join(k3)};
    }

    ServerDbSettings settings;
    std::weak_ptr<TdmReportCounter> lastServer;
};

} // namespace

TEST_F(SchemeTest, EveryControlKindComesBackAndDatesMoveByTheirRule)
{
    form->edPlain->SetText(QStringLiteral("含'引号") + k3 + QStringLiteral("x"));
    form->cboKind->setCurrentIndex(2);
    form->spRange->edBegin->SetText(QStringLiteral("2024/01/01"));
    form->spRange->edFinal->SetText(QStringLiteral("2024/01/31"));
    form->spList->ListBox->ClearItems();
    form->spList->AddValues({QStringLiteral("S01")});
    form->spList->AddValues({QStringLiteral("S02")});
    form->edDate1->SetText(QStringLiteral("2024/01/15"));
    form->edMonth->SetText(QStringLiteral("2024/03"));
    form->DateRules = {QStringList{"0", "spRange", "Y", "1", "1", "1", "0", "Y", "1", "1", "2", "0", "D"}.join(k3),
                       QStringList{"1", "edDate1", "Y", "1", "1", "2", "0", "D"}.join(k3)};

    const QString values = SchemeValues::Build(*form, form->SchemeProperties);
    EXPECT_EQ(values.split(QStringLiteral("\r\n")),
              (QStringList{QStringLiteral("含'引号") + k3 + "x", "2", "sp_Range" + QString(k3) + "20240201" + k3 + "20240229",
                           "sp_Discrete" + QString(k3) + "S01" + k4 + "S02" + k4, "20240229", "202403", "", "", ""}));

    ASSERT_TRUE(form->SaveScheme(form->SchemeProperties, QStringLiteral("月末转销"), false));
    ASSERT_TRUE(form->LoadSchemeList()) << dialogs.texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(listed(), QStringList{QStringLiteral("月末转销")});
    EXPECT_EQ(item(QStringLiteral("月末转销"))->text(1), QString::fromStdString(DateToDisplayText(1, "/", Today())))
        << "the creation date in the user's format";

    form->edPlain->SetText(QString());
    form->cboKind->setCurrentIndex(0);
    form->spList->ListBox->ClearItems();
    form->edDate1->SetText(QString());
    form->hooks.clear();
    openScheme(QStringLiteral("月末转销"));

    EXPECT_EQ(form->edPlain->Text(), QStringLiteral("含'引号") + k3 + "x");
    EXPECT_EQ(form->cboKind->currentIndex(), 2);
    EXPECT_EQ(form->spRange->edBegin->Text(), QStringLiteral("2024/02/01"));
    EXPECT_EQ(form->spRange->edFinal->Text(), QStringLiteral("2024/02/29"));
    EXPECT_EQ(form->spList->ListBox->Rows(), (QList<QStringList>{{"S01"}, {"S02"}}));
    EXPECT_EQ(form->edDate1->Text(), QStringLiteral("2024/02/29"));
    EXPECT_EQ(form->edMonth->Text(), QStringLiteral("2024/03"));
    EXPECT_TRUE(form->hooks.contains(QStringLiteral("before cboKind=2"))) << form->hooks.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(form->hooks.contains(QStringLiteral("after edDate1=20240229")));
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
    form->spList->ListBox->ClearItems();
    form->spList->AddValues({"a", "b", "c"});
    form->spList->AddValues({"d"});
    const QString encoded = SchemeValues::EncodeList(form->spList);
    EXPECT_TRUE(encoded.startsWith(QStringLiteral("a") + k1 + "b" + k1 + "c" + k4 + "d")) << encoded.toStdString();
    SchemeValues::DecodeList(form->spList, QStringLiteral("x") + k1 + "y" + k4);
    EXPECT_EQ(form->spList->ListBox->Rows().value(0).value(1), QStringLiteral("y"));
    EXPECT_THROW(SchemeValues::DecodeList(form->spList, QStringLiteral("no end")), std::runtime_error);
}

TEST_F(SchemeTest, WhatDoesNotFitStopsThereAndKeepsWhatWasApplied)
{
    form->edPlain->SetText(QStringLiteral("old"));
    form->edName->SetText(QStringLiteral("name"));
    // cboKind.ItemIndex is no integer: edPlain before it is set, edDate1 after it is not.
    QString failure;
    EXPECT_FALSE(SchemeValues::Apply(*form, QStringLiteral("edPlain.Text;cboKind.ItemIndex;edName.Text"),
                                     QStringLiteral("new\r\nabc\r\nlater\r\n"), &failure));
    EXPECT_EQ(form->edPlain->Text(), QStringLiteral("new"));
    EXPECT_EQ(form->edName->Text(), QStringLiteral("name"));
    EXPECT_TRUE(failure.contains(QStringLiteral("cboKind"))) << failure.toStdString();

    // A property of a kind no scheme can set names itself; the form goes on.
    EXPECT_FALSE(SchemeValues::Apply(*form, QStringLiteral("edName.Font"), QStringLiteral("Arial\r\n"), &failure));
    EXPECT_TRUE(failure.contains(QStringLiteral("edName.Font"))) << failure.toStdString();

    // An old scheme with fewer lines than the list leaves the rest as it is.
    EXPECT_TRUE(SchemeValues::Apply(*form, QStringLiteral("edPlain.Text;edName.Text"), QStringLiteral("short\r\n")));
    EXPECT_EQ(form->edPlain->Text(), QStringLiteral("short"));
    EXPECT_EQ(form->edName->Text(), QStringLiteral("name"));
}

TEST_F(SchemeTest, AnUnfittingSchemeIsReportedWhenOpened)
{
    form->SchemeProperties = QStringLiteral("edPlain.Text;edName.Font");
    form->edPlain->SetText(QStringLiteral("kept"));
    ASSERT_TRUE(form->SaveScheme(form->SchemeProperties, QStringLiteral("bad"), false));
    ASSERT_TRUE(form->LoadSchemeList());
    form->edPlain->SetText(QString());
    openScheme(QStringLiteral("bad"));
    EXPECT_EQ(form->edPlain->Text(), QStringLiteral("kept"));
    ASSERT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(SchemeTest, RenamingChecksTheNameAndDeletingAsks)
{
    ASSERT_TRUE(form->SaveScheme(form->SchemeProperties, QStringLiteral("A"), false));
    ASSERT_TRUE(form->SaveScheme(form->SchemeProperties, QStringLiteral("B"), false));
    ASSERT_TRUE(form->LoadSchemeList());
    ASSERT_EQ(listed(), (QStringList{"A", "B"}));

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
    ASSERT_TRUE(form->LoadSchemeList());
    EXPECT_EQ(listed(), (QStringList{"B", QStringLiteral("一二三四五六七八九十")})) << "the server has the new name";

    dialogs.answer = mrNo;
    form->lstCondition->setCurrentItem(item("B"));
    form->btnDelete->click();
    settle();
    EXPECT_EQ(listed().size(), 2);
    EXPECT_TRUE(dialogs.shown.back().text.startsWith(QStringLiteral("确实要删除此方案吗？")));
    dialogs.answer = mrYes;
    form->lstCondition->setCurrentItem(item("B"));
    form->btnDelete->click();
    settle();
    EXPECT_EQ(listed(), QStringList{QStringLiteral("一二三四五六七八九十")});
}

TEST_F(SchemeTest, TheDialogNamesTheSchemeAndWritesTheRules)
{
    session->validator->rows["GENES/taken"] = Variant::list({"taken", "DS", "WOFB07", "20240101"});
    TfrmGeneCondition& dialog = *TQVForm::Create<TfrmGeneCondition>(form->DateFields, 1, form);
    // edPrintDate, added last by the framework, gets no rule.
    EXPECT_EQ(dialog.Entries(), (QStringList{"edDate1", "spRange"}));
    ASSERT_EQ(form->DateRules.size(), 2);
    EXPECT_EQ(form->DateRules[0], QStringList({"1", "edDate1", "N", "0", "0", "0", "0", "D"}).join(k3));

    dialog.edSetDate->setChecked(true);
    dialog.seSetDay1->SetValue(1);
    dialog.cboSetDay1->setCurrentIndex(1);
    dialog.cboSetDay2->setCurrentIndex(2);
    EXPECT_EQ(form->DateRules[0], QStringList({"1", "edDate1", "Y", "1", "1", "2", "0", "D"}).join(k3));
    EXPECT_FALSE(dialog.seSetDay2->isEnabled()) << "days count only with add or subtract";

    dialog.cbodatecondition->setCurrentIndex(1);
    EXPECT_TRUE(dialog.pnSp->isVisibleTo(&dialog));
    EXPECT_FALSE(dialog.pnEdit->isVisibleTo(&dialog));

    dialog.btnOkClick();
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("方案名不可空白!"));
    dialog.edConName->setText(QStringLiteral("taken"));
    dialogs.answer = mrCancel;
    dialog.btnOkClick();
    EXPECT_EQ(dialog.ModalResult(), mrNone) << "Cancel on the replace prompt returns to the name";
    dialogs.answer = mrOk;
    dialog.btnOkClick();
    EXPECT_EQ(dialog.ModalResult(), mrOk);
    const Variant result = dialog.Result();
    EXPECT_EQ(result[0].toString(), "taken");
    EXPECT_TRUE(result[2].toBool()) << "the replace flag";
    dialog.Free();
}

TEST_F(SchemeTest, ADoubleClickOpensTheScheme)
{
    form->edName->SetText(QStringLiteral("saved"));
    form->SchemeProperties = QStringLiteral("edName.Text");
    ASSERT_TRUE(form->SaveScheme(form->SchemeProperties, QStringLiteral("one"), false));
    ASSERT_TRUE(form->LoadSchemeList());
    form->edName->SetText(QString());
    QWidget* viewport = form->lstCondition->viewport();
    const QPoint at = form->lstCondition->visualItemRect(item("one")).center();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
    settle();
    EXPECT_EQ(form->edName->Text(), QStringLiteral("saved"));
}

TEST_F(SchemeTest, ViewsCycleAndSchemesBelongToTheirProgram)
{
    for (int i = 0; i < 4; ++i)
        form->ToolButton1->click();
    EXPECT_EQ(form->Schemes().view(), TSchemeList::Icon) << "four presses come back to the first view";
    form->ToolButton1->click();
    EXPECT_EQ(form->Schemes().view(), TSchemeList::SmallIcon);
    form->ViewReportExecute();
    EXPECT_FALSE(form->lstCondition->isHeaderHidden());

    {
        DbConnection sys;
        sys.openSqlite(settings.folder + "/QVSYS.db");
        sys.execute("INSERT INTO GENES (NCONDITION, CREATOR, PROGRAMME, CREATE_DATE) VALUES ('other', 'DS', 'WOFB08', "
                    "'20240101')");
    }
    ASSERT_TRUE(form->LoadSchemeList());
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
