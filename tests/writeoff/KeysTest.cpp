// The write-off form under the clerk's hands: dates typed and left, Enter from field to
// field, Esc, the close button and Cancel, all by key presses and clicks on the real widgets.

#include "WriteOffFixture.h"

#include "controls/Buttons.h"
#include "controls/ExtPage.h"
#include "tests/host/ModalDriver.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <QWindow>

namespace {

void activate(QWidget* form)
{
    QApplication::setActiveWindow(form);
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
}

// Typed over what the edit shows, from its start, as a clerk types a date.
void typeOver(QWidget* edit, const QString& text)
{
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClicks(edit, text);
}

void pressEnter()
{
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
}

} // namespace

TEST_F(WriteOffForm, AnImpossibleDateIsRefusedByNameWhereverTheFocusIs)
{
    ASSERT_TRUE(opened);
    activate(form);
    const QString end = form->sp03->edFinal->Text();
    for (const QString& shown : {QStringLiteral("2024/02/30"), QStringLiteral("2024/13/01")}) {
        SCOPED_TRACE(shown.toStdString());
        const QString refusal = QStringLiteral("输入转销日期 日期或时间不正确! ") + shown;
        typeOver(form->ed02, QString(shown).remove(QLatin1Char('/')));
        ASSERT_EQ(form->ed02->Text(), shown);

        // Left with Tab: refused by its name and its real reason, the clerk kept there.
        dialogs.clear();
        QTest::keyClick(form->ed02, Qt::Key_Tab);
        EXPECT_EQ(dialogs, QStringList{refusal});
        EXPECT_EQ(QApplication::focusWidget(), form->ed02);

        // "下一步" clicked anyway: the same refusal, never one about the period.
        dialogs.clear();
        QTest::mouseClick(form->BtnNext, Qt::LeftButton);
        EXPECT_FALSE(dialogs.isEmpty());
        for (const QString& said : dialogs)
            EXPECT_EQ(said, refusal);
        EXPECT_EQ(form->CurrentPage, TfrmWOFB07::pgFirst);

        // Enter with the focus still in the field: said once, the page stays.
        dialogs.clear();
        form->ed02->setFocus();
        pressEnter();
        EXPECT_EQ(dialogs, QStringList{refusal});
        EXPECT_EQ(form->CurrentPage, TfrmWOFB07::pgFirst);
        EXPECT_EQ(form->sp03->edFinal->Text(), end) << "an impossible date is copied nowhere";
    }
    // Put right, Enter steps forward and the document dates end on it.
    dialogs.clear();
    typeOver(form->ed02, QStringLiteral("20240115"));
    pressEnter();
    EXPECT_EQ(form->CurrentPage, TfrmWOFB07::pgNext) << dialogs.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(form->sp03->edFinal->Text(), QStringLiteral("2024/01/15"));
}

TEST_F(WriteOffForm, EnterGoesFromFieldToFieldAndStepsForwardNeverToCancel)
{
    ASSERT_TRUE(opened);
    activate(form);
    // The clerk looks at the system options first, then goes on with Enter alone.
    QTabBar* tabs = form->pgOption->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    ASSERT_EQ(form->pgOption->ActivePage(), form->tsOption2);
    QPointer<TfrmWOFB07> still(form);
    QStringList walked;
    for (int i = 0; i < 30 && still && still->CurrentPage == TfrmWOFB07::pgFirst; ++i) {
        pressEnter();
        settleEvents();
        ASSERT_TRUE(still) << "Enter closed the job after " << walked.join(QLatin1Char(' ')).toStdString();
        QWidget* at = QApplication::focusWidget();
        ASSERT_NE(at, form->btnCancel) << walked.join(QLatin1Char(' ')).toStdString();
        walked << (at ? at->objectName() : QStringLiteral("-"));
    }
    EXPECT_EQ(form->CurrentPage, TfrmWOFB07::pgNext) << walked.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(walked.contains(QStringLiteral("ed02"))) << "the first tab's fields in turn";
    EXPECT_EQ(form->JobSubmitted, 0);

    // The second page: the fields in reading order, then "下一步", then "取消".
    form->sp03->edBegin->setFocus();
    QStringList tabbed;
    for (int i = 0; i < 60; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* at = QApplication::focusWidget();
        if (at && !form->pnlNext->isAncestorOf(at))
            tabbed << at->objectName();
        if (at == form->btnCancel)
            break;
    }
    EXPECT_EQ(tabbed.value(0), QStringLiteral("BtnNext")) << tabbed.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(tabbed.last(), QStringLiteral("btnCancel"));
    // The scheme bar reads "开启" before "保存".
    EXPECT_LT(form->btnOpen->x(), form->btnInsert->x());
    QList<QWidget*> chain;
    for (QWidget* w = form->nextInFocusChain(); w && w != form; w = w->nextInFocusChain())
        chain << w;
    EXPECT_LT(chain.indexOf(form->btnOpen), chain.indexOf(form->btnInsert));
}

TEST_F(WriteOffForm, EscTheCloseButtonAndCancelAskBeforeDroppingWhatWasEntered)
{
    ASSERT_TRUE(opened);
    activate(form);
    QStringList asked;
    bool discard = false;
    ModalDriver driver([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box)
            return;
        asked << box->text();
        if (discard)
            box->button(QMessageBox::Yes)->click();
        else
            QTest::keyClick(box, Qt::Key_Return); // the default
    });
    const QString question = QStringLiteral("放弃已输入的条件?");

    // A type chosen: each way of ending asks, and its default keeps the job as it was.
    form->cbo01->setFocus();
    QTest::keyClick(form->cbo01, Qt::Key_Down);
    ASSERT_EQ(form->cbo01->ItemIndex(), 1);
    QTest::keyClick(form->cbo01, Qt::Key_Escape);
    form->windowHandle()->close();
    QTest::mouseClick(form->btnCancel, Qt::LeftButton);
    settleEvents();
    EXPECT_EQ(asked, QStringList({question, question, question}));
    ASSERT_FALSE(form.isNull());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->cbo01->ItemIndex(), 1);
    EXPECT_EQ(form->JobSubmitted, 0);

    // Yes drops it: the host hears the job was cancelled.
    discard = true;
    QTest::keyClick(form->cbo01, Qt::Key_Escape);
    EXPECT_EQ(asked.size(), 4);
    ASSERT_FALSE(form.isNull());
    EXPECT_EQ(form->JobSubmitted, 2);
    settleEvents();
    EXPECT_TRUE(form.isNull());

    // Changed and put back: nothing entered, nothing asked; the close button ends it the same.
    openForm();
    activate(form);
    form->cbo01->setFocus();
    QTest::keyClick(form->cbo01, Qt::Key_Down);
    QTest::keyClick(form->cbo01, Qt::Key_Up);
    form->windowHandle()->close();
    EXPECT_EQ(asked.size(), 4);
    ASSERT_FALSE(form.isNull());
    EXPECT_EQ(form->JobSubmitted, 2);
    settleEvents();
    EXPECT_TRUE(form.isNull());
}
