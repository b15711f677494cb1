#include "support/Helpers.h"
#include "support/FormatSettings.h"
#include "support/Utf8.h"

#include "TempInstall.h"

#include "platform/CodePage.h"

#include <gtest/gtest.h>

TEST(Fields, CutAndCountAtTheWholeDelimiter)
{
    EXPECT_EQ(CountFields("a;b;", ";"), 3);
    EXPECT_EQ(CountFields("", ";"), 0);
    EXPECT_EQ(CountFields("abc", ";"), 1);
    EXPECT_EQ(CountFields("a||b|c", "||"), 2);
    EXPECT_EQ(CountFields("abc", ""), 1);

    EXPECT_EQ(GetField("a;b;c", ";", 1), "a");
    EXPECT_EQ(GetField("a;b;c", ";", 3), "c");
    EXPECT_EQ(GetField("a;b;c", ";", 4), "");
    EXPECT_EQ(GetField("a;b;c", ";", 0), "");
    EXPECT_EQ(GetField("a;;c", ";", 2), "");
    EXPECT_EQ(GetField("a||b|c", "||", 2), "b|c");
    EXPECT_EQ(GetField("1\x03控件\x03Y", "\x03", 2), "控件");

    std::string text = "head;rest;more", head;
    CutField(text, ";", head);
    EXPECT_EQ(head, "head");
    EXPECT_EQ(text, "rest;more");
    text = "alone";
    CutField(text, ";", head);
    EXPECT_EQ(head, "alone");
    EXPECT_EQ(text, "");
}

TEST(TextHelpers, PadRightCountsCharacters)
{
    EXPECT_EQ(PadRight("ab", 5), "ab   ");
    EXPECT_EQ(PadRight("ab", 4, U'*'), "ab**");
    EXPECT_EQ(PadRight("中文", 3), "中文 ");
    EXPECT_EQ(PadRight("abcdef", 3), "abcdef");
    EXPECT_EQ(PadRight("ab"), "ab");
    EXPECT_EQ(PadRight("", 2, U'　'), "　　");
}

TEST(TextHelpers, ReplaceAllEndsAndKeepsCaseOnlyChanges)
{
    EXPECT_EQ(ReplaceAll("a.b.c", ".", "-", false), "a-b-c");
    // Each replacement searches again from the start, so occurrences that a replacement
    // forms with the text around it go too.
    EXPECT_EQ(ReplaceAll("aab", "ab", "b", false), "b");
    EXPECT_EQ(ReplaceAll("aaaab", "ab", "b", false), "b");
    EXPECT_EQ(ReplaceAll("xaabby", "ab", "", false), "xy");
    EXPECT_EQ(ReplaceAll("a  b   c", "  ", " ", false), "a b c");
    EXPECT_EQ(ReplaceAll("abab", "ab", "ba", false), "bbaa");
    EXPECT_EQ(ReplaceAll("ab", "ab", "a", false), "a") << "the rest after the insertion is read again";
    EXPECT_EQ(ReplaceAll("aab", "ab", "ac", false), "aac");
    // A replacement containing the searched text is inserted once per occurrence and the
    // call ends.
    EXPECT_EQ(ReplaceAll("aXa", "a", "aa", false), "aaXaa");
    EXPECT_EQ(ReplaceAll("$$ACPTA,$$PURMA", "$$", "$$db..", false), "$$db..ACPTA,$$db..PURMA");
    EXPECT_EQ(ReplaceAll("aab", "ab", "aab", false), "aaab");
    EXPECT_EQ(ReplaceAll("xx", "x", "yxy", false), "yxyyxy");
    // A longer text that recreates the old one with its neighbours ends too: after a bound
    // the rest is replaced once, left to right, and the text stays bounded.
    EXPECT_EQ(ReplaceAll("aab", "ab", "bba", false), "bbbbaa") << "small cases still search from the start";
    EXPECT_LT(ReplaceAll("aab", "ab", "bbaa", false).size(), 10000u);
    const std::string doubling = ReplaceAll(std::string(40, 'a') + "b", "ab", "bba", false);
    EXPECT_LT(doubling.size(), 20000u);
    // Texts that differ only in case replace nothing.
    EXPECT_EQ(ReplaceAll("abc", "A", "a", false), "abc");
    EXPECT_EQ(ReplaceAll("abc", "b", "b", false), "abc");
    EXPECT_EQ(ReplaceAll("  x-y  ", "-", "", true), "xy");
    EXPECT_EQ(ReplaceAll("  x  ", "q", "r", true), "x");
    EXPECT_EQ(ReplaceAll("abc", "", "z", false), "abc");
    EXPECT_EQ(ReplaceAll("中文中", "中", "简", false), "简文简");
}

TEST(TextHelpers, SmallOnes)
{
    EXPECT_TRUE(IsLocalHost("127.0.0.1"));
    EXPECT_FALSE(IsLocalHost("127.0.0.1 "));
    EXPECT_FALSE(IsLocalHost("localhost"));
    EXPECT_EQ(IfThenVar(true, 1, "b"), Variant(1));
    EXPECT_EQ(IfThenVar(false, 1, "b"), Variant("b"));
    EXPECT_TRUE(IsEmptyOrNull(Variant()));
    EXPECT_TRUE(IsEmptyOrNull(Variant::null()));
    EXPECT_FALSE(IsEmptyOrNull(Variant("")));
    EXPECT_FALSE(GetTempDirectory().empty());
    EXPECT_EQ(GetTempDirectory().back(), '/');

    EXPECT_EQ(LocalButtonCaption("OK"), "确定");
    EXPECT_EQ(LocalButtonCaption("Cancel"), "取消");
    EXPECT_EQ(LocalButtonCaption("Yes"), "是(&Y)");
    EXPECT_EQ(LocalButtonCaption("NoToAll"), "全否(&o)");
    EXPECT_EQ(LocalButtonCaption("YesToAll"), "全是(&A)");
    EXPECT_EQ(LocalButtonCaption("Help"), "帮助(&H)");
    EXPECT_EQ(LocalButtonCaption("ok"), "ok");
    EXPECT_EQ(LocalButtonCaption("Close"), "Close");
}

TEST(TextHelpers, NumbersFromText)
{
    EXPECT_EQ(TextToFloatDef(" 1.5 ", 0), 1.5);
    EXPECT_EQ(TextToFloatDef("-.5", 0), -0.5);
    EXPECT_EQ(TextToFloatDef("1e3", 0), 1000);
    EXPECT_EQ(TextToFloatDef("1,5", -1), -1);
    EXPECT_EQ(TextToFloatDef("1.5x", -1), -1);
    EXPECT_EQ(TextToFloatDef(".", -1), -1);
    EXPECT_EQ(TextToFloatDef("", -1), -1);
    EXPECT_EQ(TextToFloatDef("1e", -1), -1);
    EXPECT_EQ(TextToFloatDef("0x10", -1), -1);
    EXPECT_EQ(TextToFloatDef("1e999", -1), -1);
    setDecimalSeparator(U',');
    EXPECT_EQ(TextToFloatDef("1,5", -1), 1.5);
    EXPECT_EQ(TextToFloatDef("1.5", -1), -1);
    resetFormatSettings();

    EXPECT_EQ(strToIntDef(" 42", 0), 42);
    EXPECT_EQ(strToIntDef("-7", 0), -7);
    EXPECT_EQ(strToIntDef("$1F", 0), 31);
    EXPECT_EQ(strToIntDef("42 ", -1), -1);
    EXPECT_EQ(strToIntDef("", -1), -1);
    EXPECT_EQ(strToIntDef("99999999999", -1), -1);
}

TEST(TextHelpers, Utf8ReadsMalformedBytesAsReplacements)
{
    EXPECT_EQ(toUtf32("a中"), U"a中");
    EXPECT_EQ(toUtf32("\xff"), U"\uFFFD");
    EXPECT_EQ(toUtf32("\xe4\xb8"), U"\uFFFD\uFFFD");   // cut short
    EXPECT_EQ(toUtf32("\xc0\xaf"), U"\uFFFD\uFFFD");   // overlong
    EXPECT_EQ(toUtf8(U"中文"), "中文");
    EXPECT_EQ(utf8Length("a中文"), 3u);
    EXPECT_EQ(firstUtf8Char("中文"), "中");
    EXPECT_EQ(firstUtf8Char(""), "");
}

TEST(PackValueListTest, PacksCountAndValues)
{
    EXPECT_EQ(PackValueList("P", Variant::list({"2", "a", "b", "unused"})), "P\x03" "2\x03" "a\x03" "b\x03");
    EXPECT_EQ(PackValueList("P", Variant::list({0})), "P\x03" "0\x03");
    // A count past the values gives empty fields rather than an error.
    EXPECT_EQ(PackValueList("", Variant::list({"2", "a"})), "\x03" "2\x03" "a\x03\x03");
    EXPECT_EQ(PackValueList("P", Variant("x")), "P\x03\x03");
}

TEST(MaskHelpers, StripMaskLiteralsRemovesTheMasksLiterals)
{
    EXPECT_EQ(StripMaskLiterals("2024/03/15", "9999/99/99;1; "), "20240315");
    EXPECT_EQ(StripMaskLiterals("7A012024000001", "!aaaa-aaaaaaaaaaa;0; "), "7A012024000001");
    EXPECT_EQ(StripMaskLiterals("(02) 1234", "(99) 0000;1;_"), "021234");
    EXPECT_EQ(StripMaskLiterals("as-is", ""), "as-is");
}

namespace {

class CodePageHelpers : public ::testing::Test {
protected:
    void SetUp() override
    {
        install.registry("[Software\\QVR\\Brisko]\nClientPath=" + install.dir() + "\n");
    }
    void TearDown() override { SetACP(0); }
    std::string libstrsLog() const
    {
        std::string all;
        for (const auto& e : std::filesystem::directory_iterator(install.path("Log")))
            if (e.path().filename().string().rfind("Alert_libstrs_", 0) == 0)
                all += install.read("Log/" + e.path().filename().string());
        return all;
    }
    TempInstall install;
};

} // namespace

TEST_F(CodePageHelpers, TextRoundTripsThroughCodePages)
{
    const std::string big5 = WideToCodePage("許功蓋", 950);
    EXPECT_EQ(big5, "\xB3\x5C\xA5\x5C\xBB\x5C");
    EXPECT_EQ(CodePageToWide(big5, 950), "許功蓋");
    EXPECT_EQ(CodePageToWide(WideToCodePage("简体中文", 936), 936), "简体中文");
    // An unknown code page converts with the process's one.
    SetACP(936);
    EXPECT_EQ(WideToCodePage("简体", 1234), WideToCodePage("简体", 936));
    EXPECT_EQ(CodePageToWide(WideToCodePage("简体", 936), 1234), "简体");
}

TEST_F(CodePageHelpers, VariantsConvertEveryTextAtAnyDepth)
{
    Variant grid = Variant::array2(0, 1, 0, 1);
    grid.at(0, 0) = "許功蓋";
    grid.at(0, 1) = 7;
    grid.at(1, 0) = Variant::list({"蓋"});
    const Variant value = Variant::list({"許", Variant::list({"功", Variant::list({"蓋"})}), grid, Variant(),
                                         Variant::null(), 3.5});

    const Variant out = VariantToCodePage(value, 950);
    EXPECT_EQ(out[0].type(), VarType::AnsiString);
    EXPECT_EQ(out[0].ansiBytes(), "\xB3\x5C");
    EXPECT_EQ(out[1][1][0].ansiBytes(), "\xBB\x5C");
    EXPECT_EQ(out[2].at(0, 0).ansiBytes(), "\xB3\x5C\xA5\x5C\xBB\x5C");
    EXPECT_EQ(out[2].at(1, 0)[0].type(), VarType::AnsiString);
    EXPECT_EQ(out[2].at(0, 1), Variant(7));
    EXPECT_TRUE(out[3].isEmpty());
    EXPECT_TRUE(out[4].isNull());
    EXPECT_EQ(value[0].type(), VarType::String) << "the input is left as it was";

    const Variant back = VariantFromCodePage(out, 950);
    EXPECT_EQ(back[0].type(), VarType::String);
    EXPECT_EQ(back, value);

    // Scalars: Unicode text and code-page text both end in the target code page.
    EXPECT_EQ(VariantToCodePage(Variant("简"), 936).ansiBytes(), WideToCodePage("简", 936));
    const Variant fromBig5 = VariantToCodePage(Variant::ansi("\xB3\x5C", 950), 936);
    EXPECT_EQ(fromBig5.ansiCodePage(), 936);
    EXPECT_EQ(fromBig5.toString(), "許");
    EXPECT_EQ(VariantFromCodePage(Variant::ansi("\xB3\x5C", 950), 950), Variant("許"));
    EXPECT_TRUE(VariantToCodePage(Variant(), 936).isEmpty());
    EXPECT_FALSE(std::filesystem::exists(install.path("Log")));
}

TEST_F(CodePageHelpers, ConversionErrorsAreLoggedAndTheValueReturned)
{
    const Variant odd = Variant::ansi("abc", 12345);   // no code page we can read
    const Variant out = VariantToCodePage(odd, 936);
    EXPECT_EQ(out.ansiBytes(), "abc");
    EXPECT_EQ(out.ansiCodePage(), 12345);
    const std::string log = libstrsLog();
    EXPECT_NE(log.find("] LINE[2735] Unsupported code page 12345\r\n"), std::string::npos) << log;
}
