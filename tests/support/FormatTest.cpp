#include "support/Format.h"
#include "support/FormatSettings.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class FormatTest : public ::testing::Test {
protected:
    void TearDown() override { resetFormatSettings(); }
};

} // namespace

TEST_F(FormatTest, IntegersWithWidthAndLeastDigits)
{
    EXPECT_EQ(Format("%d", {42}), "42");
    EXPECT_EQ(Format("%.2d", {3}), "03");
    EXPECT_EQ(Format("%.4d", {94}), "0094");
    EXPECT_EQ(Format("%.2d", {-3}), "-03");
    EXPECT_EQ(Format("%.2d", {123}), "123");
    EXPECT_EQ(Format("[%5d]", {42}), "[   42]");
    EXPECT_EQ(Format("[%-5d]", {42}), "[42   ]");
    EXPECT_EQ(Format("[%6.3d]", {7}), "[   007]");
    EXPECT_EQ(Format("%d", {9000000000LL}), "9000000000");
    EXPECT_EQ(Format("%x", {255}), "FF");
    EXPECT_EQ(Format("%.4x", {255}), "00FF");
    EXPECT_EQ(Format("%x", {-1}), "FFFFFFFF");
    EXPECT_EQ(Format("%u", {-1}), "4294967295");
    EXPECT_EQ(Format("%D", {5}), "5");   // directives ignore case
}

TEST_F(FormatTest, FloatsRoundHalfAwayFromZero)
{
    EXPECT_EQ(Format("%f", {3.14159}), "3.14");
    EXPECT_EQ(Format("%.2f", {0.125}), "0.13");
    EXPECT_EQ(Format("%.0f", {2.5}), "3");
    EXPECT_EQ(Format("%.0f", {-2.5}), "-3");
    EXPECT_EQ(Format("%.1f", {0.05}), "0.1");
    EXPECT_EQ(Format("%.2f", {-0.001}), "0.00");
    EXPECT_EQ(Format("%.3f", {1e20}), "100000000000000000000.000");
    EXPECT_EQ(Format("%.2f", {999.995}), "1000.00");
    EXPECT_EQ(Format("%n", {1234567.891}), "1,234,567.89");
    EXPECT_EQ(Format("%.0n", {-1234.5}), "-1,235");
    EXPECT_EQ(Format("%n", {123.0}), "123.00");
    EXPECT_EQ(Format("%e", {1.5}), "1.50000000000000E+000");
    EXPECT_EQ(Format("%.3e", {12345.0}), "1.23E+004");
    EXPECT_EQ(Format("%.2e", {-0.00012}), "-1.2E-004");
    EXPECT_EQ(Format("%.3e", {0.0}), "0.00E+000");
    EXPECT_EQ(Format("%g", {1e20}), "1E20");
    EXPECT_EQ(Format("%g", {123.456}), "123.456");
    EXPECT_EQ(Format("%g", {0.5}), "0.5");
    EXPECT_EQ(Format("%g", {0.000001}), "1E-6");
    EXPECT_EQ(Format("%g", {0.0}), "0");
    EXPECT_EQ(Format("%.3g", {2.0 / 3}), "0.667");
}

TEST_F(FormatTest, SeparatorsFollowTheProcessSettings)
{
    setDecimalSeparator(U',');
    setThousandSeparator(U'.');
    EXPECT_EQ(Format("%.2f", {1.5}), "1,50");
    EXPECT_EQ(Format("%n", {1234.5}), "1.234,50");
}

TEST_F(FormatTest, TextsCountCharacters)
{
    EXPECT_EQ(Format("%s-%s", {"a", std::string("b")}), "a-b");
    EXPECT_EQ(Format("[%4s]", {"中文"}), "[  中文]");
    EXPECT_EQ(Format("[%-4s]", {"中文"}), "[中文  ]");
    EXPECT_EQ(Format("%.1s", {"中文"}), "中");
    EXPECT_EQ(Format("100%%", {}), "100%");
    EXPECT_EQ(Format("Can not Get Message\rType= %s, ID= %s ", {"E", "000001"}),
              "Can not Get Message\rType= E, ID= 000001 ");
}

TEST_F(FormatTest, IndexesAndStarsTakeArguments)
{
    EXPECT_EQ(Format("%1:s %0:s %s", {"a", "b"}), "b a b");
    EXPECT_EQ(Format("[%*d]", {5, 42}), "[   42]");
    EXPECT_EQ(Format("%.*f", {1, 2.25}), "2.3");
    EXPECT_EQ(Format("%-*s|", {3, "x"}), "x  |");
}

TEST_F(FormatTest, VariantsFitWhatTheirValueCanBe)
{
    EXPECT_EQ(Format("%d", {Variant(5)}), "5");
    EXPECT_EQ(Format("%.2f", {Variant(5)}), "5.00");
    EXPECT_EQ(Format("%s", {Variant(2.5)}), "2.5");
    EXPECT_EQ(Format("%s", {Variant()}), "");
    EXPECT_THROW(Format("%d", {Variant("5")}), FormatError);
    EXPECT_THROW(Format("%s", {Variant::null()}), FormatError);
    EXPECT_THROW(Format("%s", {Variant::list({1})}), FormatError);

    const std::vector<FormatArg> ten(10, FormatArg(std::string("x")));
    EXPECT_EQ(Format("%s%s", ten), "xx");
}

TEST_F(FormatTest, ArgumentsThatDoNotFitRaise)
{
    EXPECT_THROW(Format("%d", {"x"}), FormatError);
    EXPECT_THROW(Format("%d", {1.5}), FormatError);
    EXPECT_THROW(Format("%f", {1}), FormatError);
    EXPECT_THROW(Format("%s", {1}), FormatError);
    EXPECT_THROW(Format("%d", {true}), FormatError);
    EXPECT_THROW(Format("%q", {1}), FormatError);
    EXPECT_THROW(Format("50%", {}), FormatError);
    try {
        Format("%s and %s", {"one"});
        FAIL() << "too few arguments must raise";
    } catch (const FormatError& e) {
        EXPECT_STREQ(e.what(), "No argument for format '%s and %s'");
    }
    try {
        Format("%d", {"x"});
        FAIL();
    } catch (const FormatError& e) {
        EXPECT_STREQ(e.what(), "Format '%d' invalid or incompatible with argument");
    }
}
