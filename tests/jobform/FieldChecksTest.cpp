// Date fields and required fields, driven as a user drives them: focus moves, typed keys,
// clicks.

#include "JobFormFixture.h"

#include "config/RunTimeProps.h"

namespace {
const int kRequired = 11534335;

// Types into a mask edit from its first position, as a user does after entering it.
void typeInto(QLineEdit* edit, const QString& keys)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, keys);
}
} // namespace

class DateFieldTest : public JobFormTest {
protected:
    void SetUp() override
    {
        JobFormTest::SetUp();
        prepare = [this](TestJobForm* f) {
            f->edDate1->OnEnter = [this](QObject*) { own << QStringLiteral("enter"); };
            f->edDate1->OnExit = [this](QObject*) { own << QStringLiteral("exit"); };
            f->onInitJob = [](TestJobForm* g) {
                g->SetOptionCount(4);
                g->AddDateFields(QStringLiteral("edDate1,edPlain,spRange"));
            };
        };
    }
    QStringList own;
};

TEST_F(DateFieldTest, EntrySetsTheMaskAndAValidExitCallsTheOwnHandler)
{
    ASSERT_TRUE(open());
    EXPECT_EQ(form->DateFields, QStringLiteral("edDate1,edPlain,spRange,edPrintDate"));
    showActive();
    form->edName->setFocus();
    settle();
    own.clear();
    typeInto(form->edDate1, QStringLiteral("20050228"));
    settle();
    EXPECT_EQ(form->edDate1->EditMask(), QStringLiteral("9999/99/99;1; "));
    EXPECT_EQ(form->edDate1->Text(), QStringLiteral("2005/02/28"));
    EXPECT_EQ(own, QStringList{QStringLiteral("enter")});
    QTest::keyClick(form->edDate1, Qt::Key_Tab);
    settle();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(form->ValidationFailed);
    EXPECT_EQ(own, (QStringList{QStringLiteral("enter"), QStringLiteral("exit")}));
    EXPECT_NE(QApplication::focusWidget(), form->edDate1);
}

TEST_F(DateFieldTest, AnInvalidDateKeepsTheFocus)
{
    ASSERT_TRUE(open());
    showActive();
    typeInto(form->edDate1, QStringLiteral("20050230"));
    settle();
    QTest::keyClick(form->edDate1, Qt::Key_Tab);
    settle();
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("日期错误")});
    EXPECT_TRUE(form->MessageCodes.contains(QStringLiteral("E;000005")));
    EXPECT_TRUE(form->ValidationFailed);
    EXPECT_EQ(QApplication::focusWidget(), form->edDate1);
    EXPECT_FALSE(own.contains(QStringLiteral("exit"))) << "the own handler runs only after a valid date";

    // Put right, the field can be left.
    typeInto(form->edDate1, QStringLiteral("20050228"));
    QTest::keyClick(form->edDate1, Qt::Key_Tab);
    settle();
    EXPECT_FALSE(form->ValidationFailed);
    EXPECT_TRUE(own.contains(QStringLiteral("exit")));
    // An empty date is no error.
    typeInto(form->edDate1, QStringLiteral("        "));
    QTest::keyClick(form->edDate1, Qt::Key_Tab);
    settle();
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(DateFieldTest, EveryDateOrderWithItsSeparator)
{
    struct Case {
        const char* code;
        const char* separator;
        const char* mask;
        const char* valid;
        const char* invalid;
    };
    const Case cases[] = {
        {"1", "-", "9999-99-99;1; ", "20240229", "20230229"},
        {"2", "/", "99/99/9999;1; ", "02292024", "13012024"},
        {"3", ".", "99.99.9999;1; ", "29022024", "31042024"},
        {"4", "/", "99/99/99;1; ", "940301", "940230"},
        {"5", "-", "999-99-99;1; ", "1130229", "1120229"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        session->counter->settings = {{"Sys001", c.code}, {"Sys002", c.separator}};
        dialogs.shown.clear();
        if (form)
            form->Free();
        settle();
        ASSERT_TRUE(open());
        showActive();
        typeInto(form->edDate1, QString::fromLatin1(c.valid));
        EXPECT_EQ(form->edDate1->EditMask(), QString::fromLatin1(c.mask));
        QTest::keyClick(form->edDate1, Qt::Key_Tab);
        settle();
        EXPECT_TRUE(dialogs.shown.empty()) << c.valid;
        typeInto(form->edDate1, QString::fromLatin1(c.invalid));
        QTest::keyClick(form->edDate1, Qt::Key_Tab);
        settle();
        EXPECT_EQ(dialogs.shown.size(), 1u) << c.invalid;
        EXPECT_EQ(QApplication::focusWidget(), form->edDate1);
    }
    // Under code 4 the year counts from 1912.
    EXPECT_EQ(form->DateTextToCompact(QStringLiteral("113-02-29")), QStringLiteral("20240229"));
}

TEST_F(DateFieldTest, LeavingForCancelChecksNothing)
{
    ASSERT_TRUE(open());
    showActive();
    typeInto(form->edDate1, QStringLiteral("20051399"));
    settle();
    QTest::mouseClick(form->btnCancel, Qt::LeftButton);
    settle();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(form.isNull()) << "Cancel closed the form";
}

TEST_F(DateFieldTest, EscClosesEvenWithAnInvalidDate)
{
    ASSERT_TRUE(open());
    showActive();
    typeInto(form->edDate1, QStringLiteral("20051399"));
    settle();
    QTest::keyClick(form->edDate1, Qt::Key_Escape);
    settle();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(form.isNull());
}

TEST_F(DateFieldTest, APlainEditShowsTheBlankDateAndKeepsWhatWasTyped)
{
    ASSERT_TRUE(open());
    showActive();
    form->edPlain->setFocus();
    settle();
    EXPECT_EQ(form->edPlain->Text(), QStringLiteral("    /  /  "));
    form->edPlain->SetText(QStringLiteral("2005/02/30"));
    QTest::keyClick(form->edPlain, Qt::Key_Tab);
    settle();
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(QApplication::focusWidget(), form->edPlain);
    form->edName->setFocus();   // the check keeps it
    settle();
    EXPECT_EQ(form->edPlain->Text(), QStringLiteral("2005/02/30")) << "re-entering does not wipe the date";
}

TEST_F(DateFieldTest, ASelectPanelChecksBothEdits)
{
    ASSERT_TRUE(open());
    showActive();
    form->spRange->edBegin->setFocus();
    settle();
    EXPECT_EQ(form->spRange->edBegin->EditMask(), QStringLiteral("9999/99/99;1; "));
    EXPECT_EQ(form->spRange->edFinal->EditMask(), QStringLiteral("9999/99/99;1; "));
    typeInto(form->spRange->edBegin, QStringLiteral("20240101"));
    typeInto(form->spRange->edFinal, QStringLiteral("20241301"));
    settle();
    EXPECT_TRUE(dialogs.shown.empty()) << "moving inside the panel does not leave it";
    form->edName->setFocus();
    settle();
    EXPECT_EQ(dialogs.shown.size(), 1u);
    // The panel put the range in order first (an unreadable date counts as the earliest),
    // so the invalid text is now the begin.
    EXPECT_EQ(form->spRange->edBegin->Text(), QStringLiteral("2024/13/01"));
    EXPECT_EQ(QApplication::focusWidget(), form->spRange->edBegin) << "the first invalid edit";
}

TEST_F(DateFieldTest, ANamePartOfAnotherListedNameCountsAsListed)
{
    prepare = [](TestJobForm* f) {
        f->onInitJob = [](TestJobForm* g) { g->AddDateFields(QStringLiteral("edDate12")); };
    };
    ASSERT_TRUE(open());
    // edDate1 is not hooked, but a handler that sends it through the form's check finds
    // its name inside "edDate12".
    form->edDate1->OnExit = form->OnDateFieldExit;
    showActive();
    typeInto(form->edDate1, QStringLiteral("20051340"));
    form->edName->setFocus();
    settle();
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(DateFieldTest, YearMonthFields)
{
    prepare = [](TestJobForm* f) {
        f->onInitJob = [](TestJobForm* g) {
            g->MonthFields = QStringLiteral("edMonth");
            g->edMonth->OnEnter = g->OnDateFieldEnter;
            g->edMonth->OnExit = g->OnDateFieldExit;
        };
    };
    ASSERT_TRUE(open());
    showActive();
    typeInto(form->edMonth, QStringLiteral("200512"));
    EXPECT_EQ(form->edMonth->EditMask(), QStringLiteral("9999/99;1; "));
    form->edName->setFocus();
    settle();
    EXPECT_TRUE(dialogs.shown.empty());
    typeInto(form->edMonth, QStringLiteral("200513"));
    form->edName->setFocus();
    settle();
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(QApplication::focusWidget(), form->edMonth);
    typeInto(form->edMonth, QStringLiteral("      "));
    form->edName->setFocus();
    settle();
    EXPECT_EQ(dialogs.shown.size(), 1u) << "an empty year-month (the separator alone) is skipped";
}

TEST_F(DateFieldTest, ANewListGivesTheOldHandlersBack)
{
    ASSERT_TRUE(open());
    const QString before = form->DateFields;
    form->AddDateFields(before);
    EXPECT_EQ(form->DateFields, before) << "the same list changes nothing";
    form->AddDateFields(QStringLiteral("edMonth"));
    EXPECT_EQ(form->DateFields, QStringLiteral("edMonth,") + before) << "the previous list stays behind the new one";
    int saved = 0;
    for (const auto& entry : form->SavedHandlers)
        saved += entry.first == QStringLiteral("edDate1.OnExit") ? 1 : 0;
    EXPECT_EQ(saved, 1);
    showActive();
    typeInto(form->edDate1, QStringLiteral("20240101"));
    form->edName->setFocus();
    settle();
    EXPECT_TRUE(own.contains(QStringLiteral("exit"))) << "the own handler survived being re-hooked";

    // A list with the print date replaces the old one: the old controls get their own
    // handlers back.
    form->AddDateFields(QStringLiteral("edPrintDate"));
    own.clear();
    Fire(form->edDate1->OnExit, form->edDate1);
    EXPECT_EQ(own, QStringList{QStringLiteral("exit")});
}

TEST_F(DateFieldTest, ACheckOnTheWrongKindOfControlSaysSo)
{
    ASSERT_TRUE(open());
    EXPECT_FALSE(form->CheckDateField(form->cboKind, true));
    EXPECT_FALSE(form->CheckMonthField(form->btnOk, false));
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("判断日期的函数第一个参数错误, 只能传下列三种物件:\nTSelectPanel, TMaskedit, TEdit      "));
    EXPECT_TRUE(dialogs.shown[1].text.startsWith(QStringLiteral("判断年月的函数")));
}

TEST_F(DateFieldTest, PageSwitchWaitsForAValidDate)
{
    ASSERT_TRUE(open());
    showActive();
    typeInto(form->edDate1, QStringLiteral("20051340"));
    settle();
    QTest::keyClick(form->edDate1, Qt::Key_Tab, Qt::ControlModifier);
    settle();
    EXPECT_EQ(form->pgOption->ActivePageIndex(), 0);
    ASSERT_EQ(dialogs.shown.size(), 1u) << "an error is shown while the page changes";
    EXPECT_EQ(QApplication::focusWidget(), form->edDate1);

    typeInto(form->edDate1, QStringLiteral("20051130"));
    QTest::keyClick(form->edDate1, Qt::Key_PageDown, Qt::ControlModifier);
    settle();
    EXPECT_EQ(form->pgOption->ActivePageIndex(), 1);
    EXPECT_TRUE(form->SystemPageReady);
    EXPECT_EQ(QApplication::focusWidget(), form->edPrintDate) << "the first control of the page";
    EXPECT_EQ(form->edPrintDate->EditMask(), QStringLiteral("9999/99/99;1; "));
    QTest::keyClick(form->edPrintDate, Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
    settle();
    EXPECT_EQ(form->pgOption->ActivePageIndex(), 0);
}

TEST_F(DateFieldTest, APageSwitchLeavesTheFieldOnceBeforeTheSwitch)
{
    QStringList seen;
    const auto fixture = prepare;
    prepare = [&, fixture](TestJobForm* f) {
        fixture(f);
        // The job's own exit handler, which the date hook saves and calls.
        f->edDate1->OnExit = [&](QObject*) {
            seen << QStringLiteral("own exit on page %1%2")
                        .arg(form->pgOption->ActivePageIndex())
                        .arg(form->PageChanging ? QStringLiteral(", changing") : QString());
        };
    };
    ASSERT_TRUE(open());
    showActive();
    typeInto(form->edDate1, QStringLiteral("20051130"));
    settle();
    QTest::keyClick(form->edDate1, Qt::Key_Tab, Qt::ControlModifier);
    settle();
    EXPECT_EQ(form->pgOption->ActivePageIndex(), 1);
    EXPECT_EQ(seen, QStringList{QStringLiteral("own exit on page 0, changing")})
        << "the date check and the job's own handler run before the switch, and only then";
    EXPECT_FALSE(form->PageChanging);
}

class RequiredFieldTest : public JobFormTest {
protected:
    void SetUp() override
    {
        JobFormTest::SetUp();
        prepare = [](TestJobForm* f) {
            f->edCode->SetEditMask(QStringLiteral("999-999;1; "));
            f->onInitJob = [](TestJobForm* g) {
                g->SetOptionCount(3);
                g->SetRequiredFields(QStringLiteral("edName,edCode;N,spRange;;1,spList"));
            };
        };
    }
    void clickOk()
    {
        QTest::mouseClick(form->btnOk, Qt::LeftButton);
        settle();
    }
};

TEST_F(RequiredFieldTest, RequiredFieldsAreColouredPerPart)
{
    ASSERT_TRUE(open());
    EXPECT_EQ(GetOrdinalProperty(form->edName, QStringLiteral("Color")), kRequired);
    EXPECT_EQ(GetOrdinalProperty(form->edCode, QStringLiteral("Color")), kRequired) << "an N item is coloured too";
    EXPECT_EQ(GetOrdinalProperty(form->spRange->edBegin, QStringLiteral("Color")), kRequired);
    EXPECT_NE(GetOrdinalProperty(form->spRange->edFinal, QStringLiteral("Color")), kRequired);
    EXPECT_NE(GetOrdinalProperty(form->spRange->ListBox, QStringLiteral("Color")), kRequired);
    for (QWidget* part : {static_cast<QWidget*>(form->spList->edBegin), static_cast<QWidget*>(form->spList->edFinal),
                          static_cast<QWidget*>(form->spList->ListBox)})
        EXPECT_EQ(GetOrdinalProperty(part, QStringLiteral("Color")), kRequired);
    EXPECT_NE(GetOrdinalProperty(form->edPlain, QStringLiteral("Color")), kRequired);
    EXPECT_TRUE(form->SavedColours.contains(QStringLiteral("spRange.edFinal=%1").arg(
        GetOrdinalProperty(form->spRange->edFinal, QStringLiteral("Color")))));

    // A new list puts the old colours back first.
    const int plain = GetOrdinalProperty(form->edPlain, QStringLiteral("Color"));
    form->SetRequiredFields(QStringLiteral("edPlain"));
    EXPECT_EQ(GetOrdinalProperty(form->edName, QStringLiteral("Color")), plain);
    EXPECT_EQ(GetOrdinalProperty(form->spRange->edBegin, QStringLiteral("Color")),
              GetOrdinalProperty(form->spRange->edFinal, QStringLiteral("Color")));
    EXPECT_EQ(GetOrdinalProperty(form->edPlain, QStringLiteral("Color")), kRequired);
}

TEST_F(RequiredFieldTest, OkChecksInOrderAndFocusesTheFirstEmptyField)
{
    ASSERT_TRUE(open());
    showActive();
    form->edName->SetCaption(QStringLiteral("供应商名称"));
    form->spRange->SetCaption(QStringLiteral("供应商编号"));
    clickOk();
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("必须输入")});
    // The message names the field as the clerk sees it.
    EXPECT_TRUE(form->MessageCodes.contains(QStringLiteral("E;000037;供应商名称"))) << form->MessageCodes.toStdString();
    EXPECT_TRUE(form->ValidationFailed);
    EXPECT_FALSE(form->hooks.contains(QStringLiteral("ok"))) << "the own click handler waits for the fields";
    EXPECT_EQ(QApplication::focusWidget(), form->edName);

    QTest::keyClicks(form->edName, QStringLiteral("X"));
    clickOk();
    EXPECT_EQ(QApplication::focusWidget(), form->spRange->edBegin) << "edCode is not checked (N)";

    typeInto(form->spRange->edBegin, QStringLiteral("A"));
    clickOk();
    EXPECT_EQ(QApplication::focusWidget(), form->spRange->edBegin) << "a range needs both ends";
    EXPECT_TRUE(form->MessageCodes.contains(QStringLiteral("E;000037;供应商编号"))) << form->MessageCodes.toStdString();
    typeInto(form->spRange->edFinal, QStringLiteral("Z"));
    clickOk();
    EXPECT_EQ(QApplication::focusWidget(), form->spList->ListBox) << "a list needs an item";
    EXPECT_EQ(dialogs.shown.size(), 4u);

    form->spList->AddValues({QStringLiteral("S001"), QStringLiteral("供应商")});
    clickOk();
    EXPECT_EQ(dialogs.shown.size(), 4u);
    EXPECT_FALSE(form->ValidationFailed);
    EXPECT_TRUE(form->hooks.contains(QStringLiteral("ok")));
}

TEST_F(RequiredFieldTest, AReportedEmptyFieldHoldsThePage)
{
    ASSERT_TRUE(open());
    showActive();
    clickOk();
    ASSERT_EQ(dialogs.texts(), QStringList{QStringLiteral("必须输入")});
    ASSERT_EQ(QApplication::focusWidget(), form->edName);
    QTest::keyClick(form->edName, Qt::Key_Tab, Qt::ControlModifier);
    settle();
    EXPECT_EQ(form->pgOption->ActivePageIndex(), 0) << "E;000037 still holds";
    QTest::keyClick(form->edName, Qt::Key_PageDown, Qt::ControlModifier);
    settle();
    EXPECT_EQ(form->pgOption->ActivePageIndex(), 0);
    EXPECT_EQ(QApplication::focusWidget(), form->edName);
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(RequiredFieldTest, ADerivedExitCheckRunsBeforeThePageSwitches)
{
    ASSERT_TRUE(open());
    showActive();
    // A job's own check on leaving a field, as the write-off job checks its codes.
    QStringList seen;
    form->edPlain->OnExit = [&](QObject*) {
        seen << QStringLiteral("page %1%2")
                    .arg(form->pgOption->ActivePageIndex())
                    .arg(form->PageChanging ? QStringLiteral(", changing") : QString());
        form->ValidationFailed = form->edPlain->Text() == QStringLiteral("bad");
    };
    typeInto(form->edPlain, QStringLiteral("bad"));
    settle();
    QTest::keyClick(form->edPlain, Qt::Key_Tab, Qt::ControlModifier);
    settle();
    EXPECT_EQ(form->pgOption->ActivePageIndex(), 0);
    EXPECT_EQ(seen, QStringList{QStringLiteral("page 0, changing")});
    EXPECT_EQ(QApplication::focusWidget(), form->edPlain);

    typeInto(form->edPlain, QStringLiteral("good"));
    QTest::keyClick(form->edPlain, Qt::Key_Tab, Qt::ControlModifier);
    settle();
    EXPECT_EQ(form->pgOption->ActivePageIndex(), 1);
    EXPECT_EQ(seen, (QStringList{QStringLiteral("page 0, changing"), QStringLiteral("page 0, changing")}))
        << "not again on the new page";

    // Back on the first page the focus goes to its first control and passes no other on
    // its way; the field's exit runs again once it is entered and left.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
    settle();
    EXPECT_EQ(QApplication::focusWidget(), form->edDate1);
    EXPECT_EQ(seen.size(), 2);
    form->edPlain->setFocus();
    settle();
    form->edName->setFocus();
    settle();
    EXPECT_EQ(seen.last(), QStringLiteral("page 0"));
    EXPECT_EQ(seen.size(), 3);
}

TEST_F(RequiredFieldTest, EmptyMeansWhatTheMaskShowsWhenCleared)
{
    ASSERT_TRUE(open());
    form->edCode->Clear();
    EXPECT_TRUE(form->CheckRequiredFields(QStringLiteral("edCode")));
    form->edCode->SetText(QStringLiteral("12"));
    EXPECT_FALSE(form->CheckRequiredFields(QStringLiteral("edCode")));
    form->edCode->SetEditMask(QStringLiteral("999-999;0;_"));
    form->edCode->Clear();
    EXPECT_TRUE(form->CheckRequiredFields(QStringLiteral("edCode"))) << "literals not saved";
    form->edPrintDate->SetEditMask(form->DateMask());
    form->edPrintDate->Clear();
    EXPECT_TRUE(form->CheckRequiredFields(QStringLiteral("edPrintDate")));
    EXPECT_FALSE(form->CheckRequiredFields(QStringLiteral("edCode;9,edMissing"))) << "numeric flags are not checked";
    EXPECT_TRUE(form->CheckRequiredFields(QStringLiteral("edCode;Y;9")));
}

TEST_F(RequiredFieldTest, TheFieldsPageIsShown)
{
    ASSERT_TRUE(open());
    form->SetRequiredFields(QStringLiteral("edPrintDate"));
    showActive();
    EXPECT_EQ(form->pgOption->ActivePageIndex(), 0);
    clickOk();
    EXPECT_EQ(form->pgOption->ActivePageIndex(), 1);
    EXPECT_EQ(QApplication::focusWidget(), form->edPrintDate);
}
