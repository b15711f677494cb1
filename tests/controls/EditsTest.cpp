// The captioned edits, button edits, attached label, spin edit, radio controls and the
// page control, driven through real clicks and keys.

#include "GuiTestSupport.h"

#include "config/RunTimeProps.h"
#include "controls/DBLabel.h"
#include "controls/DataSource.h"
#include "controls/ExtPage.h"
#include "controls/QvRadioGroup.h"
#include "controls/QvSpin.h"
#include "controls/QvrEdit.h"
#include "dataset/ClientDataSet.h"

#include <QPainter>

namespace {

class EditsTest : public ::testing::Test {
protected:
    void SetUp() override { form.showActive(); }
    FormHolder<> form;
};

TEST_F(EditsTest, CaptionLabelFollowsTheEdit)
{
    auto* edit = new TQvEdit(form.get());
    edit->setGeometry(100, 50, 120, 21);
    edit->show();
    edit->SetCaption(QStringLiteral("供应商"));
    QLabel* label = edit->EditLabel();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->parentWidget(), form.get());
    EXPECT_TRUE(IsSubComponent(label));
    EXPECT_FALSE(form->Components().contains(label));
    const QSize l = label->size();
    // Left by default, 4 apart, centred.
    EXPECT_EQ(label->pos(), QPoint(100 - l.width() - 4, 50 + (21 - l.height()) / 2));
    SetStringProperty(edit, QStringLiteral("LabelPosition"), QStringLiteral("lpAbove"));
    EXPECT_EQ(label->pos(), QPoint(100, 50 - l.height() - 4));
    edit->SetLabelPosition(TQvEdit::lpBelow);
    edit->SetLabelSpacing(-3); // ignored
    EXPECT_EQ(label->pos(), QPoint(100, 50 + 21 + 4));
    edit->SetLabelPosition(TQvEdit::lpRight);
    edit->move(10, 10);
    EXPECT_EQ(label->pos(), QPoint(10 + 120 + 4, 10 + (21 - l.height()) / 2));
    // Enabled state and visibility follow.
    edit->setEnabled(false);
    EXPECT_FALSE(label->isEnabled());
    edit->hide();
    EXPECT_FALSE(label->isVisible());
    edit->show();
    EXPECT_TRUE(label->isVisible());
    // The label destroyed first is forgotten; the edit goes on.
    delete label;
    EXPECT_EQ(edit->EditLabel(), nullptr);
    edit->SetCaption(QStringLiteral("x"));
    EXPECT_EQ(edit->Caption(), QString());
    edit->move(20, 20);
}

TEST_F(EditsTest, EditDestroyedTakesItsLabelAndButton)
{
    auto* edit = new TQvBtnEdit(form.get());
    QPointer<QLabel> label = edit->EditLabel();
    QPointer<TGSpeedButton> button = edit->F2Button();
    delete edit;
    EXPECT_TRUE(label.isNull());
    EXPECT_TRUE(button.isNull());
}

TEST_F(EditsTest, ButtonEditSendsLookupForItsEdit)
{
    auto* edit = new TQvBtnEdit(form.get());
    edit->setGeometry(10, 10, 100, 21);
    edit->show();
    auto* button = edit->F2Button();
    EXPECT_EQ(button->geometry(), QRect(10 + 100 + 2, 10, 21, 21));
    EXPECT_EQ(button->GlyphIndex(), 8);
    EXPECT_TRUE(button->Flat());
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_EQ(form->lookups.size(), 1);
    EXPECT_EQ(form->lookups[0], edit);
    EXPECT_TRUE(edit->hasFocus());

    // With OnDialog the edit's own handler answers and nothing is sent.
    QObject* dialogSender = nullptr;
    SetMethodProperty(edit, QStringLiteral("OnDialog"), [&](QObject* s) { dialogSender = s; });
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(dialogSender, edit);
    EXPECT_EQ(form->lookups.size(), 1);

    // A data-aware button edit does the same.
    auto* db = new TQvBtnDBEdit(form.get());
    db->setGeometry(10, 60, 100, 21);
    db->show();
    QTest::mouseClick(db->F2Button(), Qt::LeftButton);
    ASSERT_EQ(form->lookups.size(), 2);
    EXPECT_EQ(form->lookups[1], db);
    // Disabled edit, disabled button: no request.
    db->setEnabled(false);
    EXPECT_FALSE(db->F2Button()->isEnabled());
    QTest::mouseClick(db->F2Button(), Qt::LeftButton);
    EXPECT_EQ(form->lookups.size(), 2);
}

TEST_F(EditsTest, DataAwareEditShowsAndWritesItsField)
{
    TClientDataSet data;
    data.AddField("TA001", ftString, 10)->SetDisplayLabel("单号");
    data.CreateDataSet();
    data.Append();
    data.FieldByName("TA001")->SetAsString("A001");
    data.Post();
    auto* source = new TDataSource(form.get());
    source->SetDataSet(&data);

    auto* edit = new TQvDBEdit(form.get());
    edit->SetDataSource(source);
    edit->SetDataField(QStringLiteral("ta001"));
    edit->show();
    EXPECT_EQ(edit->Text(), QStringLiteral("A001"));
    auto* other = new QLineEdit(form.get());
    other->move(0, 100);
    other->show();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("B002"));
    other->setFocus();
    EXPECT_EQ(data.FieldByName("TA001")->AsString(), "B002");

    // The attached label shows the field's display label.
    auto* label = new TDBLabel(form.get());
    label->SetFocusControl(edit);
    EXPECT_EQ(label->Caption(), QStringLiteral("单号"));
    source->SetDataSet(nullptr);
}

TEST_F(EditsTest, ComboBoxItemsIndexAndText)
{
    auto* box = new TQvComboBox(form.get());
    box->show();
    int changes = 0, clicks = 0;
    box->OnChange = [&](QObject*) { ++changes; };
    box->OnClick = [&](QObject*) { ++clicks; };
    EXPECT_TRUE(SetStringProperty(box, QStringLiteral("Items"), QStringLiteral("应付\r\n其他应付\r\n预付")));
    EXPECT_EQ(box->Items().size(), 3);
    EXPECT_EQ(box->ItemIndex(), -1);
    SetOrdinalProperty(box, QStringLiteral("ItemIndex"), 1);
    EXPECT_EQ(box->Text(), QStringLiteral("其他应付"));
    EXPECT_EQ(changes, 0); // set in code: no change event
    // New items keep the chosen text chosen.
    box->SetItems({QStringLiteral("预付"), QStringLiteral("其他应付")});
    EXPECT_EQ(box->ItemIndex(), 1);
    // A list-only box chooses by text.
    SetStringProperty(box, QStringLiteral("Style"), QStringLiteral("csDropDownList"));
    EXPECT_FALSE(box->isEditable());
    box->SetText(QStringLiteral("预付"));
    EXPECT_EQ(box->ItemIndex(), 0);
    box->SetText(QStringLiteral("不存在"));
    EXPECT_EQ(box->ItemIndex(), -1);
    // A user's choice raises click, then change.
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(changes, 1);
}

TEST_F(EditsTest, DBLabelPlacementAndRefusal)
{
    DialogRecorder dialogs;
    auto* edit = new QLineEdit(form.get());
    edit->setGeometry(0, 30, 100, 21);
    auto* label = new TDBLabel(form.get());
    EXPECT_EQ(label->Caption(), QStringLiteral("挂靠标签"));
    label->SetFocusControl(edit);
    // Left of a control at left 0: clamped at 0.
    EXPECT_EQ(label->x(), 0);
    EXPECT_EQ(label->y(), 30 + (21 - label->height()) / 2);
    label->SetPos(TDBLabel::psTop);
    EXPECT_EQ(label->pos(), QPoint(0, 30 - label->height() - 4));
    label->SetPos(TDBLabel::psRight);
    EXPECT_EQ(label->x(), 104);
    label->SetPos(TDBLabel::psBottom);
    EXPECT_EQ(label->pos(), QPoint(0, 30 + 21 + 4));

    auto* second = new TDBLabel(form.get());
    second->SetFocusControl(edit);
    EXPECT_EQ(second->FocusControl(), nullptr);
    EXPECT_EQ(dialogs.texts, QStringList{QStringLiteral("不能同时有两个 DBLabel 指到同一个 Control.")});
    // A label of another parent may attach: the rule is per parent.
    auto* holder = new QWidget(form.get());
    auto* elsewhere = new TDBLabel(holder);
    elsewhere->SetFocusControl(edit);
    EXPECT_EQ(elsewhere->FocusControl(), edit);
    EXPECT_EQ(dialogs.texts.size(), 1);
}

TEST_F(EditsTest, SpinEditSignOnlyFirst)
{
    EXPECT_EQ(TQvSpinEdit::SignRule(QStringLiteral("12-")), QStringLiteral("12"));
    EXPECT_EQ(TQvSpinEdit::SignRule(QStringLiteral("1+2")), QStringLiteral("1+"));
    EXPECT_EQ(TQvSpinEdit::SignRule(QStringLiteral("-12")), QStringLiteral("-12"));
    EXPECT_EQ(TQvSpinEdit::SignRule(QStringLiteral("-")), QStringLiteral("-"));

    auto* spin = new TQvSpinEdit(form.get());
    spin->show();
    QStringList seen;
    spin->OnChange = [&](QObject*) { seen << spin->Text(); };
    spin->setFocus();
    spin->selectAll();
    QTest::keyClicks(spin, QStringLiteral("-4"));
    EXPECT_EQ(spin->Text(), QStringLiteral("-4"));
    QTest::keyClicks(spin, QStringLiteral("5-"));
    EXPECT_EQ(spin->Text(), QStringLiteral("-45"));
    EXPECT_EQ(spin->Value(), -45);
    // Blank text raises no change.
    seen.clear();
    spin->selectAll();
    QTest::keyClick(spin, Qt::Key_Backspace);
    EXPECT_TRUE(seen.isEmpty());
    // Limits: both 0 means none.
    spin->SetValue(100000);
    EXPECT_EQ(spin->Value(), 100000);
    spin->SetMinValue(1);
    spin->SetMaxValue(12);
    EXPECT_EQ(spin->Value(), 12);
}

TEST(RadioButton, CaptionOffsetByFontSize)
{
    const std::pair<int, int> table[] = {{1, 17}, {8, 17}, {9, 19}, {15, 19}, {16, 20}, {17, 20}, {18, 21},
                                         {23, 21}, {24, 23}, {29, 23}, {30, 25}, {35, 25}, {36, 27}, {41, 27},
                                         {42, 29}, {43, 29}, {44, 31}, {60, 31}, {61, 39}, {80, 39}, {81, 44}};
    for (const auto& [points, offset] : table)
        EXPECT_EQ(TQvRadioButton::CaptionOffset(points), offset) << points;
    TQvRadioButton b;
    QFont f = b.font();
    f.setPointSize(9);
    b.setFont(f);
    EXPECT_EQ(b.CaptionRect().left(), 19);
    EXPECT_EQ(b.size(), QSize(113, 17));
}

TEST_F(EditsTest, RadioButtonsOfOneParent)
{
    auto* a = new TQvRadioButton(form.get());
    auto* b = new TQvRadioButton(form.get());
    b->move(0, 20);
    a->show();
    b->show();
    int clicks = 0;
    b->OnClick = [&](QObject*) { ++clicks; };
    a->SetChecked(true);
    EXPECT_TRUE(a->TabStop());
    EXPECT_FALSE(b->TabStop());
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(60, 8)); // on the caption
    EXPECT_TRUE(b->Checked());
    EXPECT_FALSE(a->Checked());
    EXPECT_TRUE(b->TabStop());
    EXPECT_FALSE(a->TabStop());
    EXPECT_EQ(clicks, 1);
    // Checking in code raises the click too.
    b->SetChecked(false);
    a->SetChecked(true);
    b->SetChecked(true);
    EXPECT_EQ(clicks, 2);
}

TEST_F(EditsTest, RadioGroupItemsAndIndex)
{
    auto* group = new TQvRadioGroup(form.get());
    group->resize(200, 120);
    group->show();
    int clicks = 0;
    group->OnClick = [&](QObject*) { ++clicks; };
    SetStringProperty(group, QStringLiteral("Items"), QStringLiteral("立即\r\n排程\r\n周期"));
    ASSERT_EQ(group->ButtonCount(), 3);
    EXPECT_EQ(group->ItemIndex(), -1);
    QTest::mouseClick(group->Buttons(1), Qt::LeftButton);
    EXPECT_EQ(group->ItemIndex(), 1);
    EXPECT_EQ(clicks, 1);
    SetOrdinalProperty(group, QStringLiteral("ItemIndex"), 2);
    EXPECT_EQ(group->ItemIndex(), 2);
    EXPECT_TRUE(group->Buttons(2)->Checked());
    EXPECT_EQ(clicks, 2);
    group->SetItemIndex(-1);
    EXPECT_FALSE(group->Buttons(2)->Checked());
    // Two columns: the fourth item starts the second column.
    group->SetItems({QStringLiteral("一"), QStringLiteral("二"), QStringLiteral("三"), QStringLiteral("四")});
    group->SetColumns(2);
    EXPECT_EQ(group->Buttons(0)->x(), group->Buttons(1)->x());
    EXPECT_GT(group->Buttons(2)->x(), group->Buttons(0)->x());
    EXPECT_EQ(group->Buttons(2)->y(), group->Buttons(0)->y());
    // The buttons are the group's, not the form's.
    EXPECT_FALSE(form->Components().contains(group->Buttons(0)));
}

class PageTest : public EditsTest {
protected:
    void SetUp() override
    {
        EditsTest::SetUp();
        pages = new TExtPageControl(form.get());
        pages->resize(300, 200);
        for (const char* caption : {"条件", "选项", "系统"}) {
            auto* sheet = new TTabSheet(pages);
            sheet->SetCaption(QString::fromUtf8(caption));
        }
        pages->show();
    }
    QPoint tabCentre(int qtIndex) const { return pages->tabBar()->tabRect(qtIndex).center(); }
    TExtPageControl* pages = nullptr;
};

TEST_F(PageTest, ChangingMayRefuse)
{
    int changes = 0;
    bool allow = false;
    pages->OnChanging = [&](QObject*, bool& ok) { ok = allow; };
    pages->OnChange = [&](QObject*) { ++changes; };
    QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {}, tabCentre(1));
    EXPECT_EQ(pages->ActivePageIndex(), 0);
    EXPECT_EQ(changes, 0);
    allow = true;
    QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {}, tabCentre(1));
    EXPECT_EQ(pages->ActivePageIndex(), 1);
    EXPECT_EQ(changes, 1);
    // Ctrl+Tab goes through the same question; hidden tabs are skipped.
    pages->Pages(2)->SetTabVisible(false);
    EXPECT_TRUE(pages->SelectNextPage(true));
    EXPECT_EQ(pages->ActivePageIndex(), 0);
    EXPECT_EQ(pages->Pages(2)->TabIndex(), -1);
    EXPECT_EQ(pages->PageOfTabIndex(1), pages->Pages(1));
}

TEST_F(PageTest, DefaultTabDrawing)
{
    QImage canvas(120, 30, QImage::Format_ARGB32);
    canvas.fill(Qt::white);
    {
        QPainter p(&canvas);
        pages->DrawTab(p, 0, QRect(0, 0, 60, 30), true);
        pages->DrawTab(p, 1, QRect(60, 0, 60, 30), false);
    }
    // The chosen tab is inset by 2 pixels and filled in the active-caption colour.
    EXPECT_EQ(canvas.pixelColor(1, 1), QColor(Qt::white));
    EXPECT_EQ(canvas.pixelColor(3, 3), TColorToQColor(clActiveCaption));
    // The other fills its whole rectangle in the inactive-caption colour.
    EXPECT_EQ(canvas.pixelColor(61, 1), TColorToQColor(clInactiveCaption));

    // OnDrawTab replaces the drawing and gets the index among the visible tabs.
    QList<int> drawn;
    pages->Pages(0)->SetTabVisible(false);
    pages->OnDrawTab = [&](QObject*, QPainter&, int index, const QRect&, bool) { drawn << index; };
    pages->tabBar()->repaint();
    EXPECT_EQ(drawn, (QList<int>{0, 1}));
}

} // namespace
