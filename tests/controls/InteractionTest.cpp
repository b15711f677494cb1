// Controls inside a form: composite controls and the focus rules, the controls' own key
// handlers, speed-button groups, modal results and editing under a mask.

#include "GuiTestSupport.h"

#include "config/RunTimeProps.h"
#include "controls/Buttons.h"
#include "controls/MaskEdit.h"
#include "controls/QvSpin.h"
#include "controls/QvrEdit.h"
#include "controls/TabOrder.h"

#include <QClipboard>
#include <QFrame>
#include <QTimer>

namespace {

class CompositeFocus : public ::testing::Test {
protected:
    void SetUp() override
    {
        edit = new TQvEdit(form.get());
        edit->move(100, 10);
        spin = new TQvSpinEdit(form.get());
        spin->move(100, 50);
        combo = new TQvComboBox(form.get());
        combo->move(100, 90);
        combo->SetItems({QStringLiteral("甲"), QStringLiteral("乙")});
        for (auto* w : std::initializer_list<QObject*>{edit, spin, combo}) {
            ASSERT_TRUE(SetMethodProperty(w, QStringLiteral("OnEnter"), [this, w](QObject* s) {
                log << QStringLiteral("enter %1").arg(QString::fromLatin1(w->metaObject()->className()));
                EXPECT_EQ(s, w);
            }));
            ASSERT_TRUE(SetMethodProperty(w, QStringLiteral("OnExit"), [this, w](QObject*) {
                log << QStringLiteral("exit %1").arg(QString::fromLatin1(w->metaObject()->className()));
            }));
        }
        QWidget::setTabOrder(edit, spin);
        QWidget::setTabOrder(spin, combo);
        edit->setFocus();
        form.showActive();
        log.clear();
    }

    FormHolder<> form;
    QStringList log;
    TQvEdit* edit = nullptr;
    TQvSpinEdit* spin = nullptr;
    TQvComboBox* combo = nullptr;
};

TEST_F(CompositeFocus, InnerEditorsStandForTheirControl)
{
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(form->ActiveControl(), spin);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(form->ActiveControl(), combo);
    EXPECT_EQ(log, (QStringList{QStringLiteral("exit TQvEdit"), QStringLiteral("enter TQvSpinEdit"),
                                QStringLiteral("exit TQvSpinEdit"), QStringLiteral("enter TQvComboBox")}));
    // Typing inside the combo's editor is no focus move.
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("xy"));
    EXPECT_EQ(log.size(), 4);
    form->SetActiveControl(edit);
    EXPECT_EQ(log.last(), QStringLiteral("enter TQvEdit"));
    EXPECT_EQ(log.at(log.size() - 2), QStringLiteral("exit TQvComboBox"));
}

TEST(ControlKeys, OwnHandlersMayConsumeOrChangeKeys)
{
    FormHolder<> form;
    auto* edit = new TQvEdit(form.get());
    edit->setFocus();
    form.showActive();
    QStringList order;
    form->onKeyDown = [&](int& key) { order << QStringLiteral("form %1").arg(key); };
    edit->OnKeyDown = [&](QObject*, int& key, TShiftState) {
        order << QStringLiteral("edit %1").arg(key);
        if (key == VK_DELETE)
            key = 0;
    };
    edit->OnKeyPress = [&](QObject*, QChar& ch) {
        if (ch == QLatin1Char('a'))
            ch = QLatin1Char('A');
        if (ch == QLatin1Char('#'))
            ch = QChar();
    };
    QTest::keyClicks(edit, QStringLiteral("a#b"));
    EXPECT_EQ(edit->text(), QStringLiteral("Ab"));
    // The form previews before the control's own handler.
    order.clear();
    QTest::keyClick(edit, Qt::Key_F2);
    EXPECT_EQ(order, (QStringList{QStringLiteral("form 113"), QStringLiteral("edit 113")}));
    edit->setCursorPosition(0);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(edit->text(), QStringLiteral("Ab"));
}

TEST(SpeedButtons, GroupsStayDownOneAtATime)
{
    QWidget parent;
    auto* a = new TSpeedButton(&parent);
    auto* b = new TSpeedButton(&parent);
    auto* loose = new TSpeedButton(&parent);
    a->SetGroupIndex(1);
    b->SetGroupIndex(1);
    parent.show();
    QTest::mouseClick(a, Qt::LeftButton);
    EXPECT_TRUE(a->Down());
    QTest::mouseClick(b, Qt::LeftButton);
    EXPECT_TRUE(b->Down());
    EXPECT_FALSE(a->Down());
    // Without AllowAllUp a second click keeps it down; with it the button comes up.
    QTest::mouseClick(b, Qt::LeftButton);
    EXPECT_TRUE(b->Down());
    b->SetAllowAllUp(true);
    QTest::mouseClick(b, Qt::LeftButton);
    EXPECT_FALSE(b->Down());
    // A button of no group never stays down.
    loose->SetDown(true);
    EXPECT_FALSE(loose->Down());
    // Speed buttons never take the focus.
    EXPECT_EQ(a->focusPolicy(), Qt::NoFocus);
}

TEST(SpeedButtons, DisabledGlyphWithoutSecondImageIsDrawn)
{
    TSpeedButton b;
    QImage glyph(16, 16, QImage::Format_ARGB32);
    glyph.fill(Qt::transparent);
    for (int i = 2; i < 14; ++i)
        glyph.setPixel(i, 8, qRgb(0, 0, 0));
    b.SetGlyph(glyph);
    b.setEnabled(false);
    const QImage shown = b.CurrentGlyph();
    EXPECT_EQ(shown, EmbossedGlyph(glyph));
    EXPECT_NE(shown, glyph);
}

TEST(BitBtn, ModalResultEndsTheModalLoop)
{
    FormHolder<> form;
    auto* ok = new TBitBtn(form.get());
    ok->SetModalResult(mrOk);
    int clicks = 0;
    ok->OnClick = [&](QObject*) { ++clicks; };
    const ModalRunFn previous = SetModalRunner([ok](QWidget*, const std::function<int()>& run) {
        QTimer::singleShot(0, ok, [ok] { ok->Click(); });
        return run();
    });
    EXPECT_EQ(form->ShowModal(), mrOk);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(form->isVisible());
    SetModalRunner(previous);
}

class MaskEditing : public ::testing::Test {
protected:
    void SetUp() override
    {
        edit = new TMaskEdit(form.get());
        edit->SetEditMask(QStringLiteral("9999/99/99;1;_"));
        edit->setFocus();
        form.showActive();
        edit->SetText(QStringLiteral("2024/05/06"));
    }
    FormHolder<> form;
    TMaskEdit* edit = nullptr;
};

TEST_F(MaskEditing, DeleteAndTypingOverASelection)
{
    edit->setCursorPosition(5);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(edit->EditText(), QStringLiteral("2024/_5/06"));
    EXPECT_EQ(edit->cursorPosition(), 5);
    // Delete on a literal blanks the next position that can be edited.
    edit->setCursorPosition(4);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(edit->EditText(), QStringLiteral("2024/_5/06"));
    // A selection is blanked first, then typed into.
    edit->setSelection(0, 7);
    QTest::keyClicks(edit, QStringLiteral("1999"));
    EXPECT_EQ(edit->EditText(), QStringLiteral("1999/__/06"));
    EXPECT_EQ(edit->Text(), QStringLiteral("1999/  /06"));
}

TEST_F(MaskEditing, PasteGoesThroughTheMask)
{
    QApplication::clipboard()->setText(QStringLiteral("20251231"));
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->Text(), QStringLiteral("2025/12/31"));
    // Letters in the clipboard stop at the first that does not fit.
    QApplication::clipboard()->setText(QStringLiteral("19x9"));
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->EditText(), QStringLiteral("19__/__/__"));
}

TEST_F(MaskEditing, ReadOnlyKeepsItsText)
{
    edit->setReadOnly(true);
    edit->setCursorPosition(0);
    QTest::keyClicks(edit, QStringLiteral("1111"));
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(edit->Text(), QStringLiteral("2024/05/06"));
}

} // namespace

// A resource's tab order: a child's position among its siblings, panels moving with
// everything they hold, compound edits with their inner editor.
TEST(TabOrder, MovesAChildAmongItsSiblingsWithWhatItHolds)
{
    FormHolder<> form;
    // The chain is a ring: the edit made first anchors where it starts.
    auto* outside = new TQvEdit(form.get());
    outside->setObjectName(QStringLiteral("outside"));
    outside->move(0, 150);
    auto* page = new QFrame(form.get());
    page->setGeometry(0, 0, 300, 100);
    auto* first = new TQvEdit(page);
    first->setObjectName(QStringLiteral("first"));
    auto* second = new TQvBtnEdit(page);
    second->setObjectName(QStringLiteral("second"));
    second->move(0, 30);
    auto* bottom = new QFrame(form.get());
    bottom->setGeometry(0, 100, 300, 40);
    auto* ok = new TBitBtn(bottom);
    ok->setObjectName(QStringLiteral("ok"));
    auto* prior = new TBitBtn(bottom);
    prior->setObjectName(QStringLiteral("prior"));
    prior->move(80, 0);
    auto* next = new TBitBtn(bottom);
    next->setObjectName(QStringLiteral("next"));
    next->move(160, 0);
    EXPECT_EQ(TabOrder(ok), 0);
    EXPECT_EQ(TabOrder(next), 2);
    EXPECT_EQ(TabOrder(bottom), 2);
    EXPECT_EQ(TabOrder(form.get()), -1);

    SetTabOrder(next, 0);
    EXPECT_EQ(TabOrder(next), 0);
    EXPECT_EQ(TabOrder(ok), 1);
    EXPECT_EQ(TabOrder(prior), 2);
    // The bottom panel before the page: its buttons come first, the page's edits after.
    SetTabOrder(bottom, 1);
    EXPECT_EQ(TabOrder(page), 2);
    EXPECT_EQ(TabOrder(first), 0);
    SetTabOrder(bottom, 7);
    EXPECT_EQ(TabOrder(bottom), 2) << "clamped";

    form.showActive();
    first->setFocus();
    QStringList visited;
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* at = form->ActiveControl();
        visited << (at ? at->objectName() : QStringLiteral("?"));
    }
    EXPECT_EQ(visited, (QStringList{QStringLiteral("second"), QStringLiteral("next"), QStringLiteral("ok"),
                                    QStringLiteral("prior"), QStringLiteral("outside")}));
}
