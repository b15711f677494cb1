#include "support/MessageCatalogue.h"
#include "support/MessageText.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// Every code the job library reports, with the number of parameters its callers append.
struct Reported {
    const char* type;
    const char* number;
    int params;
};

constexpr Reported kReported[] = {
    {"E", "000001", 1}, {"E", "000003", 1}, {"E", "000005", 2}, {"E", "000006", 0}, {"E", "000013", 1},
    {"E", "000015", 0}, {"E", "000016", 0}, {"E", "000030", 1}, {"E", "000036", 0}, {"E", "000037", 1},
    {"E", "000038", 0}, {"E", "100082", 2}, {"E", "100453", 1}, {"E", "200600", 0}, {"E", "200601", 0},
    {"E", "200635", 0}, {"I", "000003", 0}, {"I", "000004", 1}, {"I", "000008", 0}, {"I", "000009", 0},
    {"I", "000010", 0}, {"I", "000011", 0}, {"Q", "000001", 0}, {"R", "101041", 0}, {"R", "200235", 0}, {"W", "000002", 3},
    {"W", "000003", 3}, {"W", "000004", 1}, {"W", "000014", 1}, {"W", "200295", 0}, {"W", "200636", 3},
    // The server's write-off and job service.
    {"E", "000040", 1}, {"E", "000041", 0}, {"E", "000042", 0}, {"E", "000043", 0}, {"E", "000044", 0},
    {"E", "000045", 1}, {"E", "000046", 3}, {"E", "000047", 2}, {"E", "000048", 0}, {"E", "000049", 0},
    {"E", "000050", 2}, {"E", "200650", 2}, {"E", "200651", 1}, {"E", "200652", 3}, {"E", "200653", 1},
    {"E", "200654", 2}, {"E", "200655", 1}, {"E", "200656", 2}, {"E", "200657", 1}, {"E", "200658", 2},
    {"E", "200659", 3}, {"E", "200661", 1}, {"E", "200662", 1}, {"E", "200663", 1}, {"E", "200664", 0},
    {"E", "200665", 1}, {"E", "200666", 2}, {"E", "200667", 0}, {"E", "200668", 0}, {"E", "200669", 0},
    {"E", "200670", 1}, {"E", "200671", 0}, {"E", "200672", 2}, {"E", "200673", 1}, {"E", "200674", 1},
    {"E", "200675", 1}, {"E", "200676", 1}, {"E", "200686", 2}, {"I", "200680", 2}, {"I", "200681", 1}, {"I", "200682", 3},
    {"I", "200683", 4}, {"W", "200684", 2},
};

constexpr HostLanguage kLanguages[] = {HostLanguage::Simplified, HostLanguage::Traditional, HostLanguage::English};

int placeholders(const std::string& s)
{
    int n = 0;
    for (std::size_t p = s.find("%s"); p != std::string::npos; p = s.find("%s", p + 2))
        ++n;
    return n;
}

bool hasStrayPercent(const std::string& s)
{
    for (std::size_t i = 0; i < s.size(); ++i)
        if (s[i] == '%' && (i + 1 == s.size() || s[i + 1] != 's'))
            return true;
    return false;
}

} // namespace

TEST(MessageCatalogue, EveryReportedCodeIsWordedInAllLanguagesWithItsParameterPlaces)
{
    for (const Reported& r : kReported) {
        SCOPED_TRACE(std::string(r.type) + " " + r.number);
        EXPECT_TRUE(MessageCatalogue::Contains(r.type, r.number));
        std::set<std::string> distinct;
        for (HostLanguage language : kLanguages) {
            const std::string text = MessageCatalogue::Wording(r.type, r.number, language);
            EXPECT_FALSE(text.empty());
            EXPECT_EQ(placeholders(text), r.params) << text;
            EXPECT_FALSE(hasStrayPercent(text)) << text;
            distinct.insert(text);
        }
        // English always differs from the Chinese wordings.
        EXPECT_GE(distinct.size(), 2u);
        const std::string english = MessageCatalogue::Wording(r.type, r.number, HostLanguage::English);
        for (unsigned char c : english)
            EXPECT_LT(c, 0x80) << english;
    }
    EXPECT_EQ(MessageCatalogue::Codes().size(), std::size(kReported)) << "no code without a caller";
}

TEST(MessageCatalogue, TraditionalWordingDiffersWhereTheScriptsDiffer)
{
    // Spot checks of characters that have a distinct traditional form.
    EXPECT_NE(MessageCatalogue::Wording("E", "000006", HostLanguage::Simplified),
              MessageCatalogue::Wording("E", "000006", HostLanguage::Traditional));
    EXPECT_NE(MessageCatalogue::Wording("W", "200295", HostLanguage::Simplified).find("供应商"), std::string::npos);
    EXPECT_NE(MessageCatalogue::Wording("W", "200295", HostLanguage::Traditional).find("供應商"), std::string::npos);
}

TEST(MessageCatalogue, NumbersAndTypesAreNormalised)
{
    const std::string wording = MessageCatalogue::Wording("I", "000004", HostLanguage::English);
    EXPECT_EQ(MessageCatalogue::Wording("i", "4", HostLanguage::English), wording);
    EXPECT_EQ(MessageCatalogue::Wording("I", "-000004", HostLanguage::English), wording) << "silent messages";
    EXPECT_EQ(MessageCatalogue::Wording(" I ", " 000004 ", HostLanguage::English), wording);
    EXPECT_FALSE(MessageCatalogue::Contains("I", "0000004"));
    EXPECT_FALSE(MessageCatalogue::Contains("X", "000004"));
    EXPECT_FALSE(MessageCatalogue::Contains("", ""));
}

TEST(MessageCatalogue, UnknownCodesAreNamedAndKeepTheirParameter)
{
    const std::string text = MessageCatalogue::Wording("E", "999999", HostLanguage::English);
    EXPECT_NE(text.find("E 999999"), std::string::npos);
    EXPECT_EQ(placeholders(text), 1);
    // A caller's odd number text must not become a format directive.
    const std::string odd = MessageCatalogue::Wording("E", "%d%n\r", HostLanguage::Simplified);
    EXPECT_FALSE(hasStrayPercent(odd)) << odd;
    EXPECT_EQ(odd.find('\r'), std::string::npos);
}

TEST(MessageCatalogue, LanguageFollowsTheInterfaceCodePage)
{
    EXPECT_EQ(LanguageOfCodePage(936), HostLanguage::Simplified);
    EXPECT_EQ(LanguageOfCodePage(950), HostLanguage::Traditional);
    EXPECT_EQ(LanguageOfCodePage(437), HostLanguage::English);
    EXPECT_EQ(LanguageOfCodePage(1252), HostLanguage::English);
}

TEST(MessageText, CodesAreWordedInTheReadersLanguageAndOtherLinesStayAsTheyAre)
{
    // A parameter keeps a ";" and a backslash; a line break in it cannot split the code.
    const std::string refused = MessageLines(MessageCode("E;200650", {"1", "2"}),
                                             MessageCode("E;200651", {"71;01\\x\ny"}));
    EXPECT_EQ(WordMessages(refused, HostLanguage::English),
              "Nothing was written off: 1 of the 2 chosen documents cannot be written off:\n71;01\\x y does not exist");
    EXPECT_EQ(WordMessages(refused, HostLanguage::Traditional, "; "),
              "沒有轉銷任何單據: 有 1 筆單據不能轉銷 (共選擇 2 筆): 71;01\\x y 不存在");
    // A result stored before the codes, and a code the catalogue lacks, still say something.
    EXPECT_EQ(WordMessages("The write-off batch number D9 is used already (WOFB07-D9)", HostLanguage::Simplified),
              "The write-off batch number D9 is used already (WOFB07-D9)");
    EXPECT_EQ(WordMessages("E;999999;why\nE;1", HostLanguage::English),
              "The message catalogue has no message E 999999. why\nE;1");
}
