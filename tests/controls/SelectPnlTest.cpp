#include "GuiTestSupport.h"

#include "config/RunTimeProps.h"
#include "controls/SelectPnl.h"
#include "platform/OleDate.h"

#include <QHeaderView>
#include <QLineEdit>

namespace {

class SelectPanelTest : public ::testing::Test {
protected:
    FormHolder<> form;
    TSelectPanel* sp = nullptr;
    QLineEdit* outside = nullptr;

    void SetUp() override
    {
        sp = new TSelectPanel(form.get());
        sp->setObjectName(QStringLiteral("sp03"));
        sp->move(10, 10);
        outside = new QLineEdit(form.get());
        outside->setGeometry(10, 200, 100, 24);
    }

    // Begin and end after the exit step.
    std::pair<QString, QString> tidy(const QString& b, const QString& e)
    {
        sp->edBegin->SetText(b);
        sp->edFinal->SetText(e);
        sp->TidyRange();
        return {sp->edBegin->Text(), sp->edFinal->Text()};
    }
    using Pair = std::pair<QString, QString>;
};

} // namespace

TEST_F(SelectPanelTest, BuildsItsChildrenInOrderWithTheSystemsDefaults)
{
    EXPECT_EQ(sp->size(), QSize(353, 45));
    EXPECT_EQ(sp->Style(), TSelectPanel::sp_Range);
    EXPECT_TRUE(sp->UserChoice());
    EXPECT_EQ(sp->HintWord(), "区间选择");
    EXPECT_EQ(sp->BeginWords(), (QStringList{"起", "起"}));
    EXPECT_EQ(sp->GlyphIndex(), 8);
    EXPECT_EQ(sp->OtherWidth(), 200);
    EXPECT_EQ(sp->OtherHeight(), 105);
    EXPECT_EQ(sp->ColumnCaptions(), QStringList{"Data"});
    EXPECT_FALSE(sp->ShowColumnHeader());

    // Stacking order of the direct children (bottom first): the check box, then the panel
    // not in use behind the one in use.
    auto direct = [this] {
        QList<QWidget*> out;
        for (QObject* o : sp->children())
            if (auto* w = qobject_cast<QWidget*>(o))
                out.append(w);
        return out;
    };
    ASSERT_GE(direct().size(), 3);
    EXPECT_EQ(direct()[0], sp->TypeCheckBox());
    EXPECT_LT(direct().indexOf(sp->ListPanel()), direct().indexOf(sp->RangePanel()));
    sp->SetStyle(TSelectPanel::sp_Discrete);
    EXPECT_LT(direct().indexOf(sp->RangePanel()), direct().indexOf(sp->ListPanel()));
    EXPECT_EQ(sp->RangePanel()->geometry(), sp->ListPanel()->geometry());
    sp->SetStyle(TSelectPanel::sp_Range);
    EXPECT_EQ(sp->edBegin->parentWidget(), sp->RangePanel());
    EXPECT_EQ(sp->ListBox->parentWidget(), sp->ListPanel());
    EXPECT_EQ(sp->edBegin->height(), 24);
    EXPECT_EQ(sp->BeginButton()->size(), QSize(23, 23));

    // Named parts are reachable by name but are not the form's components.
    EXPECT_EQ(FindComponent(sp, "edbegin"), sp->edBegin);
    EXPECT_EQ(FindComponent(sp, "ListBox"), sp->ListBox);
    EXPECT_EQ(FindComponent(form.get(), "sp03"), sp);
    EXPECT_EQ(FindComponent(form.get(), "edBegin"), nullptr);

    EXPECT_EQ(sp->edBegin->toolTip(), "区间选择-起始信息");
    EXPECT_EQ(sp->ClearButton()->toolTip(), "多选-删除己选信息");
    sp->SetChildHints({"a", "[F2]日期快手"});
    EXPECT_EQ(sp->TypeCheckBox()->toolTip(), "a");
    EXPECT_EQ(sp->edBegin->toolTip(), "[F2]日期快手");
    EXPECT_EQ(sp->BeginButton()->toolTip(), "区间选择-起始信息开窗"); // untouched

    // Properties by name, as condition schemes and language files reach them.
    EXPECT_TRUE(SetPropertyValue(sp, "style", "sp_UserChoice"));
    EXPECT_EQ(sp->Style(), TSelectPanel::sp_UserChoice);
    EXPECT_EQ(GetStringProperty(sp, "HintWord"), "区间选择");
}

TEST_F(SelectPanelTest, StyleChangesSwapTheSizeAndShowTheRightParts)
{
    form.showActive();
    std::vector<std::pair<int, int>> changes;
    sp->OnStyleChange = [&](QObject*, TSelectPanel::TSelectStyle o, TSelectPanel::TSelectStyle n) {
        changes.emplace_back(o, n);
    };
    sp->SetStyle(TSelectPanel::sp_UserChoice);
    EXPECT_EQ(sp->size(), QSize(200, 105));
    EXPECT_EQ(sp->OtherWidth(), 353);
    EXPECT_EQ(sp->OtherHeight(), 45);
    EXPECT_TRUE(sp->TypeCheckBox()->isVisible());
    EXPECT_TRUE(sp->RangePanel()->isVisible());
    EXPECT_FALSE(sp->ListPanel()->isVisible());
    EXPECT_TRUE(sp->IsRangeMode());

    sp->SetStyle(TSelectPanel::sp_Discrete); // not across a range: the size stays
    EXPECT_EQ(sp->size(), QSize(200, 105));
    EXPECT_FALSE(sp->TypeCheckBox()->isVisible());
    EXPECT_TRUE(sp->ListPanel()->isVisible());
    EXPECT_FALSE(sp->IsRangeMode());
    EXPECT_GT(sp->ListBox->width(), 100);

    sp->SetUseVertical(true); // only in sp_Range
    EXPECT_FALSE(sp->UseVertical());
    sp->SetStyle(TSelectPanel::sp_Range);
    EXPECT_EQ(sp->size(), QSize(353, 45));
    EXPECT_EQ(changes, (std::vector<std::pair<int, int>>{{0, 2}, {2, 1}, {1, 0}}));

    // Stacked range panels keep their size; a handler may refuse or redirect a change.
    sp->SetUseVertical(true);
    EXPECT_TRUE(sp->UseVertical());
    sp->SetStyle(TSelectPanel::sp_Discrete);
    EXPECT_EQ(sp->size(), QSize(353, 45));
    sp->SetStyle(TSelectPanel::sp_Range);
    sp->OnStyleChanging = [](QObject*, TSelectPanel::TSelectStyle, TSelectPanel::TSelectStyle& next, bool& accept) {
        if (next == TSelectPanel::sp_Discrete)
            accept = false;
        else
            next = TSelectPanel::sp_Discrete == next ? next : TSelectPanel::sp_UserChoice;
    };
    sp->SetStyle(TSelectPanel::sp_Discrete);
    EXPECT_EQ(sp->Style(), TSelectPanel::sp_Range);
    sp->SetStyle(TSelectPanel::sp_Range);
    EXPECT_EQ(sp->Style(), TSelectPanel::sp_UserChoice);
}

TEST_F(SelectPanelTest, TheTypeCheckBoxChoosesRangeOrList)
{
    form.showActive();
    sp->SetStyle(TSelectPanel::sp_UserChoice);
    int typeClicks = 0;
    sp->OnTypeClick = [&](QObject*) { ++typeClicks; };
    QTest::mouseClick(sp->TypeCheckBox(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(sp->UserChoice());
    EXPECT_FALSE(sp->IsRangeMode());
    EXPECT_TRUE(sp->ListPanel()->isVisible());
    EXPECT_FALSE(sp->RangePanel()->isVisible());
    EXPECT_EQ(typeClicks, 1);
    sp->SetUserChoice(true);
    EXPECT_TRUE(sp->TypeCheckBox()->Checked());
    EXPECT_TRUE(sp->RangePanel()->isVisible());
    EXPECT_EQ(typeClicks, 2);
    // The stacked range: the end row under the begin row.
    EXPECT_GT(sp->edFinal->y(), sp->edBegin->y());
    EXPECT_EQ(sp->edFinal->x(), sp->edBegin->x());

    // What was typed in the range goes along when the clerk switches to the list, once.
    sp->edBegin->SetText(QStringLiteral(" A001 "));
    sp->edFinal->SetText(QStringLiteral("A007"));
    sp->AddValues({QStringLiteral("A007")});
    QTest::mouseClick(sp->TypeCheckBox(), Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_FALSE(sp->IsRangeMode());
    EXPECT_EQ(sp->ListBox->Rows(), (QList<QStringList>{{QStringLiteral("A007")}, {QStringLiteral("A001")}}));
    EXPECT_EQ(sp->edBegin->Text(), QStringLiteral(" A001 ")) << "the range keeps its texts for the way back";
}

TEST_F(SelectPanelTest, SideBySideLayoutSharesTheWidthBetweenTheEdits)
{
    sp->SetCaption(QStringLiteral("选择单据日期"));
    EXPECT_EQ(sp->edBegin->width(), sp->edFinal->width());
    EXPECT_EQ(sp->edBegin->y(), sp->edFinal->y());
    EXPECT_EQ(sp->BeginButton()->x(), sp->edBegin->x() + sp->edBegin->width() + 2);
    EXPECT_EQ(sp->FinalButton()->x(), sp->edFinal->x() + sp->edFinal->width() + 2);
    EXPECT_LE(sp->FinalButton()->x() + 23, sp->RangePanel()->width() + 1);
    const int withButtons = sp->edBegin->width();
    sp->SetCanOpenWin(false);
    EXPECT_FALSE(sp->BeginButton()->isVisibleTo(sp));
    EXPECT_GT(sp->edBegin->width(), withButtons);
    sp->SetBeginWords({QStringLiteral("从")});
    EXPECT_EQ(sp->BeginLabel()->text(), "从");
    sp->SetBeginWords({});
    EXPECT_EQ(sp->BeginLabel()->text(), "");
}

TEST_F(SelectPanelTest, ExitStepPutsNumbersStringsAndTimesInOrder)
{
    sp->SetValueType(TSelectPanel::vt_Number);
    EXPECT_EQ(tidy("20", "3"), (Pair{"3", "20"}));
    EXPECT_EQ(tidy("abc", "5"), (Pair{"abc", "5"})); // the begin reads as 0
    EXPECT_EQ(tidy("3", ""), (Pair{"3", ""}));

    sp->SetValueType(TSelectPanel::vt_String);
    EXPECT_EQ(tidy(" b ", "a"), (Pair{"a", "b"}));
    EXPECT_EQ(tidy("A01", "A02"), (Pair{"A01", "A02"}));
    sp->SetValueType(TSelectPanel::vt_Time);
    EXPECT_EQ(tidy("12:30", "08:00"), (Pair{"08:00", "12:30"}));
    sp->SetValueType(TSelectPanel::vt_OtherMask);
    EXPECT_EQ(tidy("z", "a"), (Pair{"z", "a"}));

    // The discard value is never put in order.
    sp->SetValueType(TSelectPanel::vt_String);
    sp->SetDiscard(QStringLiteral("ZZZ"));
    EXPECT_EQ(tidy("ZZZ", "A"), (Pair{"A", "ZZZ"}));
    sp->SetUseDiscard(true);
    EXPECT_EQ(tidy("ZZZ", "A"), (Pair{"ZZZ", "A"}));
    EXPECT_EQ(tidy("B", "ZZZ "), (Pair{"B", "ZZZ"}));
    EXPECT_EQ(tidy("C", "B"), (Pair{"B", "C"}));
}

TEST_F(SelectPanelTest, ExitStepReadsDatesWithOneOrTwoSigns)
{
    sp->SetValueType(TSelectPanel::vt_Date);
    sp->SetDateType(TSelectPanel::dt_YYYYMMDD);
    EXPECT_EQ(tidy("2024/05", "2024/04/30"), (Pair{"2024/04/30", "2024/05"}));
    EXPECT_EQ(tidy("2024/04/30", "2024/05"), (Pair{"2024/04/30", "2024/05"}));
    EXPECT_EQ(tidy("2024/2/1", "2024/10/01"), (Pair{"2024/2/1", "2024/10/01"})); // by date, not text
    EXPECT_EQ(tidy("2024/01/01", "2024/13/45"), (Pair{"2024/13/45", "2024/01/01"})); // impossible end: earliest
    EXPECT_EQ(tidy("2024/01/01", "garbage"), (Pair{"garbage", "2024/01/01"}));

    sp->SetDateType(TSelectPanel::dt_MMDDYYYY);
    EXPECT_EQ(tidy("05/2024", "04/30/2024"), (Pair{"04/30/2024", "05/2024"}));
    EXPECT_DOUBLE_EQ(sp->ReadDate("05/2024"), EncodeDate(2024, 5, 1));
    sp->SetDateType(TSelectPanel::dt_DDMMYYYY);
    EXPECT_DOUBLE_EQ(sp->ReadDate("05/2024"), EncodeDate(2024, 5, 1));
    EXPECT_EQ(tidy("31/12/2023", "01/01/2024"), (Pair{"31/12/2023", "01/01/2024"}));
    sp->SetDateType(TSelectPanel::dt_YYYMMDD);
    EXPECT_DOUBLE_EQ(sp->ReadDate("113/05/01"), EncodeDate(2024, 5, 1));
    EXPECT_EQ(tidy("113/05/01", "112/12/31"), (Pair{"112/12/31", "113/05/01"}));
    sp->SetDateType(TSelectPanel::dt_YYMMDD);
    EXPECT_DOUBLE_EQ(sp->ReadDate("99/1/2"), EncodeDate(2010, 1, 2));

    sp->SetDateSign(QStringLiteral("-"));
    sp->SetDateType(TSelectPanel::dt_YYYYMMDD);
    EXPECT_EQ(tidy("2024-06", "2024-05-31"), (Pair{"2024-05-31", "2024-06"}));
    EXPECT_EQ(sp->ReadDate("2024/06/01"), 0); // no sign of this panel

    sp->SetDateType(TSelectPanel::dt_NoneCare); // plain text order
    EXPECT_EQ(tidy("2024-2-1", "2024-10-01"), (Pair{"2024-10-01", "2024-2-1"}));
    sp->SetAutoChangeDateSite(false);
    EXPECT_EQ(tidy("2024-06-01", "2024-05-31"), (Pair{"2024-06-01", "2024-05-31"}));
}

TEST_F(SelectPanelTest, ExitStepRewritesFloatsKeepingTheirFraction)
{
    sp->SetValueType(TSelectPanel::vt_Float);
    // 1.05 stays 1.05 (the fraction's leading zero counts) and is less than 1.5.
    EXPECT_EQ(tidy("1.05", "1.5"), (Pair{"1.05", "1.5"}));
    EXPECT_EQ(tidy("1.5", "1.05"), (Pair{"1.05", "1.5"}));
    EXPECT_EQ(tidy("010", "2.5"), (Pair{"2.5", "10.0"}));
    EXPECT_EQ(tidy("-0.5", "-1"), (Pair{"-1.0", "-0.5"}));
    EXPECT_EQ(tidy("x.y", "3"), (Pair{"0.0", "3.0"}));
}

TEST_F(SelectPanelTest, MaskKeepsBlanksOnlyWhenItBeginsWithBang)
{
    int changes = 0;
    sp->edBegin->OnChange = [&](QObject*) { ++changes; };
    sp->edBegin->SetText(QStringLiteral("2024/05/01"));
    changes = 0;
    sp->SetEditMask(QStringLiteral("9999/99/99;1;_"));
    EXPECT_EQ(changes, 0); // re-masking is not a change the form hears of
    EXPECT_EQ(sp->edBegin->Text(), "2024/05/01");
    TOrvMaskEdit probe;
    probe.SetEditMask(QStringLiteral("9999/99/99;1;_"));
    probe.SetText(QString());
    EXPECT_EQ(sp->EmptyMaskText(), probe.Text());
    EXPECT_FALSE(sp->EmptyMaskText().isEmpty());
    EXPECT_EQ(sp->edFinal->EditMask(), "9999/99/99;1;_");

    // An empty edit under a mask is no value: nothing is swapped with it.
    sp->SetValueType(TSelectPanel::vt_Date);
    sp->SetDateType(TSelectPanel::dt_YYYYMMDD);
    sp->edBegin->SetText(QStringLiteral("2024/05/01"));
    sp->edFinal->Clear();
    sp->TidyRange();
    EXPECT_EQ(sp->edBegin->Text(), "2024/05/01");
    EXPECT_EQ(sp->edFinal->Text(), sp->EmptyMaskText());

    sp->SetValueType(TSelectPanel::vt_String);
    sp->SetEditMask(QString());
    EXPECT_EQ(tidy("  a  ", " b"), (Pair{"a", "b"}));
    sp->SetEditMask(QStringLiteral("!cccccc;0;_"));
    sp->edBegin->SetText(QStringLiteral(" a  "));
    sp->edFinal->SetText(QStringLiteral(" b"));
    const QString b = sp->edBegin->Text(), e = sp->edFinal->Text();
    EXPECT_NE(b.trimmed(), b);
    sp->TidyRange();
    EXPECT_EQ(sp->edBegin->Text(), b);
    EXPECT_EQ(sp->edFinal->Text(), e);
}

TEST_F(SelectPanelTest, ExitRunsOnceWhenTheFocusLeavesThePanel)
{
    form.showActive();
    sp->SetValueType(TSelectPanel::vt_Number);
    int exits = 0;
    QString beginAtExit;
    sp->OnExit = [&](QObject*) {
        ++exits;
        beginAtExit = sp->edBegin->Text();
    };
    sp->edBegin->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(sp->edBegin, "20");
    sp->edFinal->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(sp->edFinal, "3");
    EXPECT_EQ(exits, 0);
    EXPECT_EQ(sp->edBegin->Text(), "20"); // nothing tidied inside the panel
    sp->edBegin->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(exits, 0);
    outside->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(exits, 1);
    EXPECT_EQ(beginAtExit, "3"); // the exit step ran before OnExit
    EXPECT_EQ(sp->edFinal->Text(), "20");

    // Window activation changes are no exit.
    sp->edFinal->setFocus(Qt::TabFocusReason);
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QApplication::processEvents();
    EXPECT_EQ(exits, 1);
}

TEST_F(SelectPanelTest, AddValuesAddsColumnsPadsRowsAndRemovesDuplicatesAfterSorting)
{
    sp->SetStyle(TSelectPanel::sp_Discrete);
    EXPECT_TRUE(sp->AddValues({"S01"}));
    EXPECT_TRUE(sp->AddValues({"S02", "供应商二", "X"}));
    EXPECT_EQ(sp->ColumnCaptions(), (QStringList{"Data", "Data2", "Data3"}));
    EXPECT_EQ(sp->ListBox->Row(0), (QStringList{"S01", "", ""}));
    EXPECT_FALSE(sp->AddValues({}));
    const int w = QFontMetrics(sp->ListBox->font()).horizontalAdvance('W');
    EXPECT_GE(sp->ListBox->columnWidth(1), 5 * w); // "Data2" has more characters than "供应商二"
    EXPECT_GE(sp->ListBox->columnWidth(1), QFontMetrics(sp->ListBox->font()).horizontalAdvance("供应商二"));
    EXPECT_LT(sp->ListBox->columnWidth(0), 5 * w);

    sp->ListBox->ClearItems();
    sp->SetCheckDuplicate(TSelectPanel::cd_CaseInsensitive);
    EXPECT_TRUE(sp->SortListBox());
    sp->AddValues({"abc"});
    sp->AddValues({"ABD"});
    sp->AddValues({"ABC"});
    EXPECT_EQ(sp->ListBox->ItemCount(), 2);
    EXPECT_EQ(sp->ListBox->Row(0)[0].toUpper(), "ABC");
    EXPECT_EQ(sp->ListBox->Row(1)[0], "ABD");

    // Switching the rule on tidies a list that is shown.
    sp->SetCheckDuplicate(TSelectPanel::cd_None);
    sp->SetSortListBox(false);
    sp->AddValues({"b"});
    sp->AddValues({"b"});
    EXPECT_EQ(sp->ListBox->ItemCount(), 4);
    sp->SetCheckDuplicate(TSelectPanel::cd_CheckCase);
    EXPECT_EQ(sp->ListBox->ItemCount(), 3);
    sp->AddValues({"Abd"});
    EXPECT_EQ(sp->ListBox->ItemCount(), 4); // other letter case: kept

    // Items by name, as condition schemes write them.
    sp->SetItems({"K1\t名称一", "K2\t名称二"});
    EXPECT_EQ(sp->Items(), (QStringList{"K1\t名称一", "K2\t名称二"}));
}

TEST_F(SelectPanelTest, ColumnSortingReversesOnTheSecondClickAndBreaksTies)
{
    form.showActive();
    sp->SetStyle(TSelectPanel::sp_Discrete);
    sp->SetShowColumnHeader(true);
    sp->AddValues({"b", "2", "x"});
    sp->AddValues({"a", "2", "y"});
    sp->AddValues({"C", "1", "x"});
    sp->AddValues({"a", "1", "x"});
    auto captions = [&] {
        QString s;
        for (const QStringList& r : sp->ListBox->Rows())
            s += r[0] + r[1];
        return s;
    };
    QHeaderView* header = sp->ListBox->header();
    auto clickHeader = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    };
    clickHeader(1); // by column 1, ties by the caption
    EXPECT_EQ(captions(), "a1C1a2b2");
    clickHeader(1); // again: reversed
    EXPECT_EQ(captions(), "b2a2C1a1");
    clickHeader(0); // another column: ascending, case ignored, ties by column 1
    EXPECT_EQ(captions(), "a1a2b2C1");
    clickHeader(2); // ties by caption, then column 1
    EXPECT_EQ(captions(), "a1b2C1a2");
    clickHeader(2);
    EXPECT_EQ(captions(), "a2C1b2a1");
}

TEST_F(SelectPanelTest, LookupButtonsAskTheFormForTheirTarget)
{
    form.showActive();
    std::vector<std::pair<QObject*, QObject*>> opened;
    sp->OnOpenWinClick = [&](QObject* parent, QObject* target) {
        // The request went out before this event.
        EXPECT_FALSE(form->lookups.isEmpty());
        opened.emplace_back(parent, target);
    };
    sp->BeginButton()->Click();
    EXPECT_TRUE(sp->edBegin->hasFocus());
    sp->FinalButton()->Click();
    EXPECT_TRUE(sp->edFinal->hasFocus());
    sp->SetStyle(TSelectPanel::sp_Discrete);
    QTest::mouseClick(sp->ListButton(), Qt::LeftButton);
    EXPECT_TRUE(sp->ListBox->hasFocus());
    ASSERT_EQ(form->lookups.size(), 3);
    EXPECT_EQ(form->lookups[0], sp->edBegin);
    EXPECT_EQ(form->lookups[1], sp->edFinal);
    EXPECT_EQ(form->lookups[2], sp->ListBox);
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[2].first, sp);
    EXPECT_EQ(opened[2].second, sp->ListBox);
}

TEST_F(SelectPanelTest, DeleteAndClearTheList)
{
    form.showActive();
    sp->SetStyle(TSelectPanel::sp_Discrete);
    for (const char* v : {"a", "b", "c", "d"})
        sp->AddValues({v});
    sp->ListBox->topLevelItem(1)->setSelected(true);
    sp->ListBox->topLevelItem(3)->setSelected(true);
    bool accept = false;
    sp->OnDeleteClick = [&](QObject*, bool& a) { a = accept; };
    QTest::mouseClick(sp->DeleteButton(), Qt::LeftButton);
    EXPECT_EQ(sp->ListBox->ItemCount(), 4);
    accept = true;
    QTest::mouseClick(sp->DeleteButton(), Qt::LeftButton);
    EXPECT_EQ(sp->Items(), (QStringList{"a", "c"}));

    int cleared = 0;
    sp->OnClearClick = [&](QObject*) { ++cleared; };
    outside->setFocus();
    QTest::mouseClick(sp->ClearButton(), Qt::LeftButton);
    EXPECT_EQ(sp->ListBox->ItemCount(), 0);
    EXPECT_EQ(cleared, 1);
    EXPECT_TRUE(sp->ListBox->hasFocus());
}

TEST_F(SelectPanelTest, SetEnabledReachesEveryChildAndEventsComeFromTheChildren)
{
    form.showActive();
    const QList<QWidget*> parts = {sp->TypeCheckBox(), sp->RangePanel(), sp->BeginLabel(), sp->edBegin,
                                   sp->BeginButton(), sp->FinalLabel(), sp->edFinal, sp->FinalButton(),
                                   sp->ListPanel(), sp->ListButton(), sp->DeleteButton(), sp->ClearButton(),
                                   sp->ListBox};
    sp->SetEnabled(false);
    EXPECT_FALSE(sp->Enabled());
    EXPECT_FALSE(sp->isEnabled());
    for (QWidget* w : parts)
        EXPECT_FALSE(w->isEnabledTo(sp)) << w->objectName().toStdString();
    sp->SetEnabled(true);
    for (QWidget* w : parts)
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();

    QList<QObject*> clicks;
    sp->OnClick = [&](QObject* s) { clicks.append(s); };
    QList<QPoint> downs;
    QList<QObject*> downSenders;
    sp->OnMouseDown = [&](QObject* s, Qt::MouseButton, TShiftState, int x, int y) {
        downSenders.append(s);
        downs.append(QPoint(x, y));
    };
    QTest::mouseClick(sp->edBegin, Qt::LeftButton, {}, QPoint(3, 4));
    QTest::mouseClick(sp->BeginLabel(), Qt::LeftButton, {}, QPoint(1, 1));
    ASSERT_EQ(clicks.size(), 2);
    EXPECT_EQ(clicks[0], sp->edBegin);
    EXPECT_EQ(clicks[1], sp);
    ASSERT_EQ(downs.size(), 2);
    EXPECT_EQ(downs[0], sp->edBegin->mapTo(sp, QPoint(3, 4)));
    EXPECT_EQ(downSenders[1], sp);

    QList<int> keys;
    sp->OnKeyDown = [&](QObject* s, int& key, TShiftState) {
        keys.append(key);
        if (s == sp->edFinal && key == VK_DOWN)
            key = 0;
    };
    sp->edFinal->setFocus();
    QTest::keyClick(sp->edFinal, Qt::Key_A);
    QTest::keyClick(sp->edFinal, Qt::Key_Down);
    sp->ListBox->setFocus();
    QTest::keyClick(sp->ListBox, Qt::Key_Up);
    EXPECT_EQ(keys, (QList<int>{'A', VK_DOWN, VK_UP}));
}

TEST_F(SelectPanelTest, ListTakesAPressOnlyWhenItGotTheFocus)
{
    sp->SetStyle(TSelectPanel::sp_Discrete);
    sp->AddValues({"a"});
    sp->AddValues({"b"});
    auto* guard = new TMaskEdit(form.get());
    guard->setGeometry(10, 240, 100, 24);
    form.showActive();
    // A check that keeps the focus on its edit, as an invalid date field does.
    bool keep = true;
    guard->OnExit = [&](QObject*) {
        if (keep)
            guard->setFocus(Qt::OtherFocusReason);
    };
    guard->setFocus(Qt::OtherFocusReason);
    const QPoint row0 = sp->ListBox->visualItemRect(sp->ListBox->topLevelItem(0)).center();
    QTest::mouseClick(sp->ListBox->viewport(), Qt::LeftButton, {}, row0);
    EXPECT_TRUE(guard->hasFocus());
    EXPECT_TRUE(sp->ListBox->SelectedRows().isEmpty());

    keep = false;
    QTest::mouseClick(sp->ListBox->viewport(), Qt::LeftButton, {}, row0);
    EXPECT_TRUE(sp->ListBox->hasFocus());
    EXPECT_EQ(sp->ListBox->SelectedRows(), QList<int>{0});
}

namespace {
class FormWithPanel : public TQVForm {
public:
    FormWithPanel()
    {
        panel = new TSelectPanel(this);
        panel->setObjectName(QStringLiteral("sp03"));
    }
    TSelectPanel* panel;
};
} // namespace

TEST(SelectPanelCreation, TheFormGivesTheListButtonsTheirDisabledImages)
{
    auto* form = TQVForm::Create<FormWithPanel>();
    EXPECT_EQ(form->panel->ListButton()->NumGlyphs(), 2);
    EXPECT_EQ(form->panel->DeleteButton()->NumGlyphs(), 2);
    EXPECT_EQ(form->panel->ClearButton()->NumGlyphs(), 2) << "the clear glyph has its two images already";
    EXPECT_EQ(form->panel->BeginButton()->NumGlyphs(), 1) << "the range F2 buttons are not among the kinds";
    form->Free();
}
