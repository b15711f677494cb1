#include "support/EditMask.h"
#include "support/FormatSettings.h"

#include <gtest/gtest.h>

namespace {

class EditMaskTest : public ::testing::Test {
protected:
    void TearDown() override { resetFormatSettings(); }
};

using CC = EditMask::CharClass;

} // namespace

TEST_F(EditMaskTest, FieldsGiveSaveFlagAndBlank)
{
    const EditMask date("9999/99/99;1; ");
    EXPECT_TRUE(date.saveLiterals());
    EXPECT_EQ(date.blank(), U' ');
    EXPECT_FALSE(date.reverse());
    ASSERT_EQ(date.length(), 10);
    EXPECT_EQ(date.slot(4).cls, CC::DateSeparator);
    EXPECT_EQ(date.slot(0).cls, CC::Digit);
    EXPECT_FALSE(date.isRequired(0));

    const EditMask doc("!aaaa-aaaaaaaaaaa;0; ");
    EXPECT_FALSE(doc.saveLiterals());
    EXPECT_TRUE(doc.reverse());
    ASSERT_EQ(doc.length(), 16);
    EXPECT_FALSE(doc.isEditable(4));
    EXPECT_EQ(doc.slot(4).literal, U'-');

    // Missing fields default to saving literals with "_" as the blank.
    EXPECT_TRUE(EditMask("000").saveLiterals());
    EXPECT_EQ(EditMask("000").blank(), U'_');
    EXPECT_FALSE(EditMask("00;0").saveLiterals());
    EXPECT_EQ(EditMask("00;0").blank(), U'_');
    EXPECT_TRUE(EditMask("00;1;").saveLiterals());
    EXPECT_EQ(EditMask("00;1;").length(), 2);
    EXPECT_EQ(EditMask("000;0;*").blank(), U'*');

    EXPECT_FALSE(EditMask("").isMasked());
    EXPECT_FALSE(EditMask(";1;_").isMasked());
}

TEST_F(EditMaskTest, EscapesAndLiteralsTakePositions)
{
    const EditMask m("\\L0\\\\0_0\\;");
    ASSERT_EQ(m.length(), 7);
    EXPECT_EQ(m.slot(0).literal, U'L');
    EXPECT_EQ(m.slot(2).literal, U'\\');
    EXPECT_EQ(m.slot(4).literal, U' ');
    EXPECT_EQ(m.slot(6).literal, U';');
    EXPECT_TRUE(m.saveLiterals()); // the escaped ";" is no field separator
    EXPECT_TRUE(m.isRequired(1));

    // Directives take no position; "!" counts wherever it stands.
    const EditMask d(">LL<ll!");
    EXPECT_EQ(d.length(), 4);
    EXPECT_TRUE(d.reverse());
}

TEST_F(EditMaskTest, CharactersAcceptedByClassAndCase)
{
    const EditMask m(">Ll<Aa<>Cc09#");
    EXPECT_EQ(m.acceptChar(0, U'a'), U'A');
    EXPECT_EQ(m.acceptChar(1, U'z'), U'Z');
    EXPECT_FALSE(m.acceptChar(0, U'1'));
    EXPECT_EQ(m.acceptChar(0, U'中'), U'中');
    EXPECT_FALSE(m.acceptChar(0, U'，'));   // full-width comma is no letter
    EXPECT_FALSE(m.acceptChar(0, U'。'));

    EXPECT_EQ(m.acceptChar(2, U'Q'), U'q');
    EXPECT_EQ(m.acceptChar(3, U'5'), U'5');
    EXPECT_FALSE(m.acceptChar(2, U'-'));

    // "<>" leaves case as typed.
    EXPECT_EQ(m.acceptChar(4, U'x'), U'x');
    EXPECT_EQ(m.acceptChar(5, U'X'), U'X');
    EXPECT_EQ(m.acceptChar(4, U'-'), U'-');
    EXPECT_EQ(m.acceptChar(4, U' '), U' ');

    EXPECT_EQ(m.acceptChar(6, U'7'), U'7');
    EXPECT_FALSE(m.acceptChar(7, U'a'));
    EXPECT_FALSE(m.acceptChar(7, U'+'));
    EXPECT_FALSE(m.acceptChar(7, U'５'));   // only ASCII digits in digit positions
    EXPECT_EQ(m.acceptChar(8, U'+'), U'+');
    EXPECT_EQ(m.acceptChar(8, U'-'), U'-');
    EXPECT_EQ(m.acceptChar(8, U' '), U' ');
    EXPECT_FALSE(m.acceptChar(8, U'x'));

    EXPECT_TRUE(m.isRequired(0));
    EXPECT_FALSE(m.isRequired(1));
    EXPECT_TRUE(m.isRequired(6));
    EXPECT_FALSE(m.isRequired(7));
    EXPECT_FALSE(m.acceptChar(99, U'1'));
    EXPECT_FALSE(m.acceptChar(-1, U'1'));
}

TEST_F(EditMaskTest, ClearedEditShowsLiteralsAndBlanks)
{
    const EditMask date("9999/99/99;1; ");
    EXPECT_EQ(date.clearedEditText(), "    /  /  ");
    EXPECT_EQ(date.clearedText(), "    /  /  ");

    const EditMask doc("!aaaa-aaaaaaaaaaa;0; ");
    EXPECT_EQ(doc.clearedEditText(), "    -           ");
    EXPECT_EQ(doc.clearedText(), "");

    const EditMask phone("000-000;1;_");
    EXPECT_EQ(phone.clearedEditText(), "___-___");
    EXPECT_EQ(phone.clearedText(), "   -   ");  // Text shows blanks as spaces

    EXPECT_EQ(EditMask("00_00;0;*").clearedEditText(), "** **");
}

TEST_F(EditMaskTest, SeparatorsFollowTheProcessSettings)
{
    setDateSeparator(U'-');
    setTimeSeparator(U'.');
    const EditMask date("9999/99/99;1; ");
    EXPECT_EQ(date.clearedEditText(), "    -  -  ");
    EXPECT_EQ(date.editTextFromText("2024-03-15"), "2024-03-15");
    EXPECT_EQ(date.stripLiterals("2024-03-15"), "20240315");
    EXPECT_EQ(FormatMaskText("!99:99;1;_", "9.5"), " 9. 5");

    // A mask made once follows a later change of the setting.
    setDateSeparator(U'.');
    EXPECT_EQ(date.clearedEditText(), "    .  .  ");
}

TEST_F(EditMaskTest, SettingTextWithSavedLiteralsPadsEachPart)
{
    const EditMask date("9999/99/99;1; ");
    EXPECT_EQ(date.editTextFromText("2024/03/15"), "2024/03/15");
    EXPECT_EQ(date.editTextFromText("2024/3/5"), "2024/3 /5 ");
    EXPECT_EQ(date.editTextFromText(""), "    /  /  ");
    // Parts that are too long are cut, not carried over into the next part.
    EXPECT_EQ(date.editTextFromText("202403/15/01"), "2024/15/01");
    // Without its literals the text fills the first part only: callers hand over the
    // literals when the mask saves them.
    EXPECT_EQ(date.editTextFromText("20240315"), "2024/  /  ");

    const EditMask right("!99/99/0000;1;_");
    EXPECT_EQ(right.editTextFromText("1/2/2024"), "_1/_2/2024");
    EXPECT_EQ(right.editTextFromText("123/2/2024"), "23/_2/2024");
}

TEST_F(EditMaskTest, SettingTextWithoutSavedLiteralsInsertsThem)
{
    const EditMask phone("000-0000;0;_");
    EXPECT_EQ(phone.editTextFromText("1234567"), "123-4567");
    EXPECT_EQ(phone.editTextFromText("12"), "12_-____");
    EXPECT_EQ(phone.editTextFromText("123456789"), "123-4567");

    const EditMask doc("!aaaa-aaaaaaaaaaa;0; ");
    EXPECT_EQ(doc.editTextFromText("7A012024000001"), " 7A0-12024000001");
    EXPECT_EQ(doc.editTextFromText("12345"), "    -      12345");
    EXPECT_EQ(EditMask("!000;0;_").editTextFromText("12345"), "345");
}

TEST_F(EditMaskTest, TextReadsBackWithOrWithoutLiterals)
{
    const EditMask date("9999/99/99;1;_");
    EXPECT_EQ(date.textFromEditText("2024/03/15"), "2024/03/15");
    EXPECT_EQ(date.textFromEditText("2024/03/__"), "2024/03/  ");
    EXPECT_EQ(date.textFromEditText("20__/03/15"), "20  /03/15");

    const EditMask doc("!aaaa-aaaaaaaaaaa;0; ");
    EXPECT_EQ(doc.textFromEditText("7A01-2024000001"), "7A012024000001");
    EXPECT_EQ(doc.textFromEditText("   A-00000000001"), "A00000000001");

    const EditMask gap("00_00;0;*");
    EXPECT_EQ(gap.editTextFromText("1234"), "12 34");
    EXPECT_EQ(gap.textFromEditText("12 34"), "1234");
    EXPECT_EQ(gap.textFromEditText("1* 3*"), "1 3");   // inner blanks read as spaces

    // Without a mask everything passes unchanged.
    const EditMask none("");
    EXPECT_EQ(none.editTextFromText("abc"), "abc");
    EXPECT_EQ(none.textFromEditText(" abc "), " abc ");
}

TEST_F(EditMaskTest, StrippingRemovesLiteralsOfAnyValue)
{
    const EditMask doc("!aaaa-aaaaaaaaaaa;0; ");
    EXPECT_EQ(doc.stripLiterals(doc.editTextFromText("7A01-2024000001")), "7A01-2024000001")
        << "a value already holding the literal keeps it as data when the mask does not save literals";
    EXPECT_EQ(doc.stripLiterals(doc.editTextFromText("7A012024000001")), "7A012024000001");

    const EditMask date("9999/99/99;1; ");
    EXPECT_EQ(date.stripLiterals(date.editTextFromText("2024/03/15")), "20240315");
    EXPECT_EQ(date.stripLiterals(date.clearedEditText()), "");
}

TEST_F(EditMaskTest, FormatMaskTextUsesBlanksForEmptyPositions)
{
    EXPECT_EQ(FormatMaskText("000-0000;0;_", "1234567"), "123-4567");
    EXPECT_EQ(FormatMaskText("000-0000;0;_", "12"), "12 -    ");
    EXPECT_EQ(FormatMaskText("!99:99;1;_", "9:5"), " 9: 5");
    EXPECT_EQ(FormatMaskText("", "as is"), "as is");
}

TEST_F(EditMaskTest, TypingOverwritesAndStepsOverLiterals)
{
    const EditMask date("9999/99/99;1; ");
    std::string text = date.clearedEditText();
    auto r = date.typeChar(text, 0, U'2');
    ASSERT_TRUE(r);
    EXPECT_EQ(r->editText, "2   /  /  ");
    EXPECT_EQ(r->cursor, 1);

    r = date.typeChar("2024/  /  ", 4, U'/');   // the literal itself: step over it
    ASSERT_TRUE(r);
    EXPECT_EQ(r->editText, "2024/  /  ");
    EXPECT_EQ(r->cursor, 5);

    r = date.typeChar("2024/  /  ", 4, U'0');   // anything else goes to the next position
    ASSERT_TRUE(r);
    EXPECT_EQ(r->editText, "2024/0 /  ");
    EXPECT_EQ(r->cursor, 6);

    r = date.typeChar("2024/03/1 ", 9, U'5');
    ASSERT_TRUE(r);
    EXPECT_EQ(r->editText, "2024/03/15");
    EXPECT_EQ(r->cursor, 10);

    EXPECT_FALSE(date.typeChar(text, 0, U'x'));
    EXPECT_FALSE(date.typeChar(text, 10, U'1'));

    const EditMask upper(">LL");
    r = upper.typeChar("__", 1, U'q');
    ASSERT_TRUE(r);
    EXPECT_EQ(r->editText, "_Q");

    EXPECT_EQ(date.nextEditable(4), 5);
    EXPECT_EQ(date.previousEditable(5), 3);
    EXPECT_EQ(date.previousEditable(0), -1);
    EXPECT_EQ(EditMask("00-").nextEditable(2), -1);
}

TEST_F(EditMaskTest, ClearingBlanksEditablePositionsOnly)
{
    const EditMask date("9999/99/99;1; ");
    EXPECT_EQ(date.clearRange("2024/03/15", 3, 4), "202 /  /15");
    EXPECT_EQ(date.clearRange("2024/03/15", 8, 100), "2024/03/  ");
    EXPECT_EQ(date.clearRange("2024/03/15", -5, 6), " 024/03/15");
}

TEST_F(EditMaskTest, MissingRequiredPositionsAreFound)
{
    const EditMask phone("000-0000;0;_");
    EXPECT_EQ(phone.firstMissing(phone.clearedEditText()), 0);
    EXPECT_EQ(phone.firstMissing("123-4___"), 5);
    EXPECT_EQ(phone.firstMissing("123-45 7"), 6);   // a space is no digit
    EXPECT_EQ(phone.firstMissing("123-4567"), -1);
    // Optional positions may stay empty.
    EXPECT_EQ(EditMask("9999/99/99;1; ").firstMissing("    /  /  "), -1);
    // A space fills an any-character position unless the blank is a space.
    EXPECT_EQ(EditMask("CC;1;_").firstMissing(" x"), -1);
    EXPECT_EQ(EditMask("CC;1; ").firstMissing(" x"), 0);
}

TEST_F(EditMaskTest, PositionsCountCharactersNotBytes)
{
    const EditMask m("CCC-C;1;＊");
    EXPECT_EQ(m.blank(), U'＊');
    EXPECT_EQ(m.clearedEditText(), "＊＊＊-＊");
    EXPECT_EQ(m.editTextFromText("中文-字"), "中文＊-字");
    EXPECT_EQ(m.textFromEditText("中文＊-字"), "中文 -字");
    auto r = m.typeChar("中文＊-字", 2, U'版');
    ASSERT_TRUE(r);
    EXPECT_EQ(r->editText, "中文版-字");
    EXPECT_EQ(r->cursor, 4);
}
