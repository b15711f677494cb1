// The message records and dialogs of a job form.

#include "JobFormFixture.h"

namespace {
// Dialog buttons in a fixed order (the box lays them out by role).
QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}
} // namespace

TEST_F(JobFormTest, ReportedCodesAreRecordedAndShown)
{
    ASSERT_TRUE(open());
    form->ReportMessage(QStringLiteral("E;000001;USD"));
    EXPECT_EQ(form->MessageCodes, QStringLiteral("E;000001;USD; "));
    EXPECT_EQ(form->MessageTexts, QStringLiteral("代号[USD]不存在; "));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("代号[USD]不存在"));
    EXPECT_EQ(dialogs.shown[0].icon, QMessageBox::Critical);
    EXPECT_EQ(dialogs.shown[0].buttons, QStringList{QStringLiteral("确定")});
    EXPECT_EQ(dialogs.shown[0].caption, form->windowTitle());

    // The same code again: recorded twice, its text once.
    form->ReportMessage(QStringLiteral("E;000001;USD"));
    EXPECT_EQ(form->MessageCodes, QStringLiteral("E;000001;USD; E;000001;USD; "));
    EXPECT_EQ(form->MessageTexts, QStringLiteral("代号[USD]不存在; "));

    // An empty code clears both records.
    form->ReportMessage(QString());
    EXPECT_TRUE(form->MessageCodes.isEmpty());
    EXPECT_TRUE(form->MessageTexts.isEmpty());
}

TEST_F(JobFormTest, DashCodesAreRecordedWithoutADialog)
{
    ASSERT_TRUE(open());
    form->ReportMessage(QStringLiteral("I;-000004;"));
    EXPECT_EQ(form->MessageCodes, QStringLiteral("I;-000004;; "));
    EXPECT_EQ(form->MessageTexts, QStringLiteral("已记录; ")) << "the wording of I 000004";
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(JobFormTest, ATemplateThatDoesNotFitFallsBackToItsParameters)
{
    session->messages["E000009"] = "金额 %d 超出";
    ASSERT_TRUE(open());
    form->ReportMessage(QStringLiteral("E;000009;abc;def"));
    EXPECT_EQ(form->MessageTexts, QStringLiteral("金额 %d 超出\rabc;def;;;;;;;;;; "));
}

TEST_F(JobFormTest, RawErrorsAreRecordedUnderMinusOne)
{
    ASSERT_TRUE(open());
    form->ReportRawError(QStringLiteral("  disk full  "));
    form->ReportRawError(QStringLiteral("disk full"));
    EXPECT_EQ(form->MessageCodes, QStringLiteral("E;-1; E;-1; "));
    EXPECT_EQ(form->MessageTexts, QStringLiteral("disk full; "));
    EXPECT_TRUE(dialogs.shown.empty());
    form->ReportRawError(QStringLiteral("   "));
    EXPECT_TRUE(form->MessageCodes.isEmpty());
    EXPECT_TRUE(form->MessageTexts.isEmpty());
}

TEST_F(JobFormTest, AFormBeingCancelledReportsNothing)
{
    ASSERT_TRUE(open());
    showActive();
    form->btnCancel->setFocus();
    settle();
    form->ReportMessage(QStringLiteral("E;000001;X"));
    form->ReportRawError(QStringLiteral("boom"));
    form->ReportMessage(QString());
    EXPECT_TRUE(form->MessageCodes.isEmpty());
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(JobFormTest, WhileAPageChangesOnlyErrorsAreShown)
{
    ASSERT_TRUE(open());
    form->PageChanging = true;
    form->ReportMessage(QStringLiteral("W;000003;a;1;2"));
    EXPECT_TRUE(dialogs.shown.empty()) << "a warning is recorded, not shown";
    EXPECT_TRUE(form->MessageCodes.contains(QStringLiteral("W;000003")));
    EXPECT_EQ(form->ShowCodedMessage(QStringLiteral("I"), QStringLiteral("000003")), 0);
    form->ReportMessage(QStringLiteral("E;000005"));
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("日期错误")});
}

TEST_F(JobFormTest, ButtonsAreChineseUnlessTheInterfaceIsEnglish)
{
    ASSERT_TRUE(open());
    dialogs.answer = mrNo;
    EXPECT_EQ(form->ShowCodedMessage(QStringLiteral("D"), QStringLiteral("000001")), mrNo);
    EXPECT_EQ(sorted(dialogs.shown.back().buttons),
              sorted({QStringLiteral("是(&Y)"), QStringLiteral("否(&N)"), QStringLiteral("取消")}));
    EXPECT_EQ(dialogs.shown.back().icon, QMessageBox::Warning);

    dialogs.answer = mrAll;
    EXPECT_EQ(form->ShowCodedMessage(QStringLiteral("C"), QStringLiteral("000001"), {mbAll, mbYesToAll, mbNoToAll}), mrAll);
    EXPECT_EQ(sorted(dialogs.shown.back().buttons),
              sorted({QStringLiteral("全部(&A)"), QStringLiteral("全是(&A)"), QStringLiteral("全否(&o)")}));

    // An English interface is the installation's; the form reads it when it is made.
    form->Free();
    settle();
    install.interfaceCodePage("437");
    ASSERT_TRUE(open());
    form->ShowCodedMessage(QStringLiteral("Q"), QStringLiteral("000001"));
    EXPECT_EQ(sorted(dialogs.shown.back().buttons), sorted({QStringLiteral("OK"), QStringLiteral("Cancel")}));
    EXPECT_EQ(dialogs.shown.back().icon, QMessageBox::Question);
    form->ShowCodedMessage(QStringLiteral("R"), QStringLiteral("200235"), {mbAbort, mbRetry, mbIgnore});
    EXPECT_EQ(sorted(dialogs.shown.back().buttons),
              sorted({QStringLiteral("&Abort"), QStringLiteral("&Retry"), QStringLiteral("&Ignore")}));
    EXPECT_EQ(dialogs.shown.back().icon, QMessageBox::NoIcon);
}

TEST_F(JobFormTest, CodedMessagesAreFormattedAndNotRecorded)
{
    ASSERT_TRUE(open());
    form->ShowCodedMessage(QStringLiteral("W"), QStringLiteral("000002"), {}, {"选择条件文字", 15, 14});
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("选择条件文字: 应有 15 项, 实有 14 项"));
    EXPECT_EQ(sorted(dialogs.shown.back().buttons), sorted({QStringLiteral("确定"), QStringLiteral("取消")}));
    EXPECT_TRUE(form->MessageCodes.isEmpty());
}

TEST_F(JobFormTest, AfterAnErrorTheLastFocusedControlHasTheFocus)
{
    ASSERT_TRUE(open());
    showActive();
    form->edName->setFocus();
    settle();
    EXPECT_EQ(form->LastFocusedControl, form->edName);
    // A dialog takes the focus away from the form while it is up.
    dialogs.onShow = [](const ShownDialog&) {
        if (QWidget* w = QApplication::focusWidget())
            w->clearFocus();
    };
    form->ReportMessage(QStringLiteral("E;000001;X"));
    settle();
    EXPECT_EQ(QApplication::focusWidget(), form->edName);
    form->ReportMessage(QStringLiteral("I;000004"));
    settle();
    EXPECT_NE(QApplication::focusWidget(), form->edName) << "only errors bring the focus back";
}

TEST_F(JobFormTest, FormTextsHaveTheirDefaults)
{
    ASSERT_TRUE(open());
    EXPECT_EQ(form->GetText(QStringLiteral("sExeVer"), QStringLiteral("[您现在运行的是Exe版本!]")),
              QStringLiteral("[您现在运行的是Exe版本!]"));
    // A control outside a select panel cannot take a panel look-up.
    form->LookupIntoPanel(form->edName, QStringLiteral("PURMA"), QStringLiteral("01"), true, QString(), Variant());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    // The base form's dialogs in a GB interface end in six blanks.
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("同学, 你吗帮帮忙, 这个 Procedure 是专门给TSelectPanel元件用的!      "));
    EXPECT_EQ(dialogs.shown[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(session->f2Window->calls.empty());
}
