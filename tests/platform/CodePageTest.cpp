#include "platform/CodePage.h"
#include "platform/Exception.h"

#include "EnvGuard.h"

#include <gtest/gtest.h>

TEST(CodePageTest, TextRoundTripsThroughEachCodePage)
{
    for (const char* text : {"简体中文，全角标点。", "ASCII only", ""})
        EXPECT_EQ(CodePageToUtf8(Utf8ToCodePage(text, 936), 936), text);
    for (const char* text : {"繁體中文：許功蓋", "mixed 臺灣 text"})
        EXPECT_EQ(CodePageToUtf8(Utf8ToCodePage(text, 950), 950), text);
    EXPECT_EQ(Utf8ToCodePage("Ünïcödé", 437), "\x9A" "n\x8B" "c\x94" "d\x82");
    EXPECT_EQ(CodePageToUtf8("\x9A" "n\x8B" "c\x94" "d\x82", 437), "Ünïcödé");
    EXPECT_EQ(Utf8ToCodePage("直通", 65001), "直通");
}

TEST(CodePageTest, Big5SecondBytesThatAreBackslashesStayInside)
{
    // 許, 功 and 蓋 end in 0x5C, the backslash: the strings must be converted whole.
    const std::string bytes = Utf8ToCodePage("C:\\許功蓋\\", 950);
    EXPECT_EQ(bytes, "C:\\\xB3\x5C\xA5\x5C\xBB\x5C\\");
    EXPECT_EQ(CodePageToUtf8(bytes, 950), "C:\\許功蓋\\");
    EXPECT_EQ(CodePageToUtf8("\xB3\x5C\xB3\x5C", 950), "許許");
}

TEST(CodePageTest, CharactersACodePageLacksAreMarked)
{
    bool lossless = true;
    EXPECT_EQ(Utf8ToCodePage("简A", 950, &lossless), "?A");   // Big5 has no simplified characters
    EXPECT_FALSE(lossless);
    EXPECT_EQ(Utf8ToCodePage("简A", 936, &lossless).size(), 3u);
    EXPECT_TRUE(lossless);
    EXPECT_EQ(Utf8ToCodePage("a\xFF" "b", 936, &lossless), "a?b");
    EXPECT_FALSE(lossless);
    // Bytes that are no character read as replacement characters; nothing is lost around them.
    EXPECT_EQ(CodePageToUtf8("a\xFF" "b", 936), "a\uFFFD" "b");
    EXPECT_EQ(CodePageToUtf8("ab\xB0", 936), "ab\uFFFD");
}

TEST(CodePageTest, UnknownCodePagesRaise)
{
    EXPECT_TRUE(IsSupportedCodePage(936));
    EXPECT_TRUE(IsSupportedCodePage(950));
    EXPECT_TRUE(IsSupportedCodePage(437));
    EXPECT_FALSE(IsSupportedCodePage(12345));
    EXPECT_THROW(Utf8ToCodePage("x", 12345), Exception);
    EXPECT_THROW(CodePageToUtf8("x", 12345), Exception);
}

TEST(CodePageTest, TheProcessCodePageComesFromSettingEnvironmentOrLocale)
{
    EnvGuard env;
    env.set("QV_ACP", nullptr);
    env.set("LC_ALL", nullptr);
    env.set("LC_CTYPE", nullptr);
    env.set("LANG", "zh_TW.UTF-8");
    SetACP(0);
    EXPECT_EQ(GetACP(), 950);
    env.set("LANG", "zh_CN.GBK");
    EXPECT_EQ(GetACP(), 936);
    env.set("LC_ALL", "en_US.UTF-8");   // LC_ALL comes before LANG
    EXPECT_EQ(GetACP(), 437);
    env.set("QV_ACP", "950");
    EXPECT_EQ(GetACP(), 950);
    env.set("QV_ACP", "1252");
    EXPECT_EQ(GetACP(), 437);
    SetACP(936);
    EXPECT_EQ(GetACP(), 936);
    SetACP(1252);
    EXPECT_EQ(GetACP(), 437);
    SetACP(0);
    EXPECT_EQ(GetACP(), 437);   // back to QV_ACP

    EXPECT_EQ(NormaliseCodePage(936), 936);
    EXPECT_EQ(NormaliseCodePage(950), 950);
    EXPECT_EQ(NormaliseCodePage(65001), 437);
}
