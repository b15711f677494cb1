// The mask edits under the masks the forms use: typed keys, Text and EditText.

#include "GuiTestSupport.h"

#include "controls/MaskEdit.h"

namespace {

class MaskEditTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form.showActive();
        edit = new TMaskEdit(form.get());
        edit->show();
        edit->setFocus();
    }
    void type(const QString& keys) { QTest::keyClicks(edit, keys); }

    FormHolder<> form;
    TMaskEdit* edit = nullptr;
};

TEST_F(MaskEditTest, DateMaskKeepsLiterals)
{
    edit->SetEditMask(QStringLiteral("9999/99/99;1; "));
    EXPECT_EQ(edit->Text(), QStringLiteral("    /  /  "));
    edit->setCursorPosition(0);
    type(QStringLiteral("20240131"));
    EXPECT_EQ(edit->Text(), QStringLiteral("2024/01/31"));
    EXPECT_EQ(edit->EditText(), QStringLiteral("2024/01/31"));

    // Letters do not fit digit positions.
    edit->Clear();
    edit->setCursorPosition(0);
    type(QStringLiteral("ab2024"));
    EXPECT_EQ(edit->Text(), QStringLiteral("2024/  /  "));

    // Backspace blanks the position before the cursor, literals stay.
    edit->setCursorPosition(5);
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->Text(), QStringLiteral("202 /  /  "));
    EXPECT_EQ(edit->cursorPosition(), 3);
}

TEST_F(MaskEditTest, TextAssignedUnderMask)
{
    edit->SetEditMask(QStringLiteral("9999/99/99;1; "));
    edit->SetText(QStringLiteral("2024/05/06"));
    EXPECT_EQ(edit->Text(), QStringLiteral("2024/05/06"));
    // Changing the mask keeps what was entered.
    edit->SetEditMask(QStringLiteral("9999/99/99;1;_"));
    EXPECT_EQ(edit->EditText(), QStringLiteral("2024/05/06"));
    edit->Clear();
    EXPECT_EQ(edit->EditText(), QStringLiteral("____/__/__"));
    EXPECT_EQ(edit->Text(), QStringLiteral("    /  /  "));
}

TEST_F(MaskEditTest, UnsavedLiteralsWithLeadingBlanks)
{
    edit->SetEditMask(QStringLiteral("!aaaa-aaaaaaaaaaa;0; "));
    edit->setCursorPosition(0);
    type(QStringLiteral("AB12"));
    EXPECT_EQ(edit->EditText().left(5), QStringLiteral("AB12-"));
    type(QStringLiteral("X9"));
    // The literal is not part of Text, and the blanks are kept.
    EXPECT_EQ(edit->Text(), QStringLiteral("AB12X9         "));
    // Assigned text fills from the end under "!".
    edit->SetText(QStringLiteral("AB"));
    EXPECT_EQ(edit->EditText(), QStringLiteral("    -         AB"));
    EXPECT_EQ(edit->Text(), QStringLiteral("AB"));
    // Punctuation is no letter or digit.
    const QString before = edit->Text();
    type(QStringLiteral("#"));
    EXPECT_EQ(edit->Text(), before);
}

TEST_F(MaskEditTest, ChangeNotificationAndReMasking)
{
    auto* orv = new TOrvMaskEdit(form.get());
    int changes = 0;
    orv->OnChange = [&](QObject*) { ++changes; };
    orv->SetText(QStringLiteral("A"));
    EXPECT_EQ(changes, 1);
    // While the panel re-masks, the form hears nothing.
    orv->SetReMasking(true);
    orv->SetEditMask(QStringLiteral("9999/99/99;1; "));
    orv->Clear();
    const QString emptyMaskText = orv->Text();
    orv->SetReMasking(false);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(emptyMaskText, QStringLiteral("    /  /  "));
}

TEST_F(MaskEditTest, PlainEditWithoutMask)
{
    edit->SetMaxLength(3);
    type(QStringLiteral("abcd"));
    EXPECT_EQ(edit->Text(), QStringLiteral("abc"));
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->Text(), QStringLiteral("ab"));
}

} // namespace
