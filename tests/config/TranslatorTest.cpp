// The translator library loaded by name: conversions both ways, its search and its errors.

#include "config/TranslatorU.h"

#include "platform/Exception.h"

#include <gtest/gtest.h>

#include <string>

TEST(Translator, ConvertsBetweenSimplifiedAndTraditionalCharacters)
{
    const TTranslator t; // Qvlanguage.so found by the system's library search
    EXPECT_EQ(t.GBToBIG5("应付账款转销作业"), "應付賬款轉銷作業");
    EXPECT_EQ(t.BIG5ToGB("應付賬款轉銷作業"), "应付账款转销作业");
    // Text without Chinese characters, mixed text and the empty text.
    EXPECT_EQ(t.GBToBIG5("WOFB07 A/P 2024-01-31"), "WOFB07 A/P 2024-01-31");
    EXPECT_EQ(t.GBToBIG5("供应商 S001: 华东"), "供應商 S001: 華東");
    EXPECT_EQ(t.GBToBIG5(""), "");
    // A result longer than the source's length plus slack still comes back whole.
    std::string longText;
    for (int i = 0; i < 2000; ++i)
        longText += "发";
    const std::string converted = t.GBToBIG5(longText);
    EXPECT_EQ(converted.size(), longText.size());
    EXPECT_EQ(converted.substr(0, 3), "發");
    // Traditional text stays traditional; simplified stays simplified.
    EXPECT_EQ(t.GBToBIG5("應付"), "應付");
    EXPECT_EQ(t.BIG5ToGB("应付"), "应付");
    // The two helpers beside the conversions are looked up; the order keeper is not offered.
    EXPECT_TRUE(t.HasGetBIG5Data());
    EXPECT_TRUE(t.HasGetGBData());
    EXPECT_FALSE(t.HasSaveOrder());
}

TEST(Translator, AMissingLibraryOrEntryPointIsAnError)
{
    try {
        TTranslator t("NoSuchTranslator.so");
        FAIL() << "a missing library loads";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Load Library NoSuchTranslator.so Error!");
    }
    try {
        TTranslator t(QV_TEST_TRANSLATOR_HALF);
        FAIL() << "a library without BIG5toGB loads";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Get Library Procedure Address Error!");
    }
    // Each translator holds its own reference: one going leaves the other working.
    auto first = std::make_unique<TTranslator>();
    const TTranslator second;
    first.reset();
    EXPECT_EQ(second.GBToBIG5("简体"), "簡體");
}
