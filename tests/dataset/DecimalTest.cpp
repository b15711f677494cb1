#include "dataset/Decimal.h"

#include <gtest/gtest.h>

TEST(Decimal, ParsesRoundsAndAddsExactly)
{
    EXPECT_EQ(Decimal::parse("-1,234.50").toFixed(), "-1234.50");
    EXPECT_EQ(Decimal::parse(" 1.5E3 ").toString(), "1500");
    EXPECT_EQ(Decimal::parse("2.5e-2").toFixed(), "0.025");
    EXPECT_EQ(Decimal::fromDouble(0.1).toString(), "0.1");
    EXPECT_EQ(Decimal::parse("1.005").rescaled(2).toFixed(), "1.01");
    EXPECT_EQ(Decimal::parse("-1.005").rescaled(2).toFixed(), "-1.01");
    EXPECT_EQ(Decimal::parse("-1.004").rescaled(2).toFixed(), "-1.00");
    Decimal d;
    EXPECT_FALSE(Decimal::tryParse("abc", d));
    EXPECT_FALSE(Decimal::tryParse("1.2.3", d));
    EXPECT_FALSE(Decimal::tryParse("", d));
    EXPECT_FALSE(Decimal::tryParse("99999999999999999999", d));
    EXPECT_THROW(Decimal::parse("9223372036854775807").rescaled(2), DataSetError);

    // A thousand ticks of 0.10 and 0.20 add up to the cent, which doubles do not.
    Decimal sum;
    double dsum = 0;
    for (int i = 0; i < 1000; ++i) {
        sum += Decimal::parse("0.10") + Decimal::parse("0.20");
        dsum += 0.1 + 0.2;
    }
    EXPECT_EQ(sum.toFixed(), "300.00");
    EXPECT_NE(dsum, 300.0);
    EXPECT_TRUE((Decimal::parse("1.50") == Decimal::parse("1.5")));
    EXPECT_TRUE((Decimal::parse("-2") < Decimal::parse("1.5")));
}

TEST(Decimal, MultipliesAndDividesWithOneRounding)
{
    // An amount times a rate, rounded once to the local currency's decimals.
    EXPECT_EQ(Decimal::parse("113.00").multipliedBy(Decimal::parse("7.2"), 2).toFixed(), "813.60");
    EXPECT_EQ(Decimal::parse("0.125").multipliedBy(Decimal::parse("1"), 2).toFixed(), "0.13");
    EXPECT_EQ(Decimal::parse("-0.125").multipliedBy(Decimal::parse("1"), 2).toFixed(), "-0.13");
    EXPECT_EQ(Decimal::parse("1234.5678").multipliedBy(Decimal::parse("0.0485"), 0).toFixed(), "60");
    EXPECT_EQ(Decimal::parse("1.5").multipliedBy(Decimal::parse("2"), 4).toFixed(), "3.0000");
    // Rates with seven decimals times large amounts stay exact before the rounding.
    EXPECT_EQ(Decimal::parse("987654321.99").multipliedBy(Decimal::parse("7.1234567"), 2).toFixed(),
              "7035512797.26");
    EXPECT_THROW(Decimal::parse("9223372036854775807").multipliedBy(Decimal::parse("10"), 0), DataSetError);
    EXPECT_THROW(Decimal::parse("1").multipliedBy(Decimal::parse("1"), 19), DataSetError);

    EXPECT_EQ(Decimal::parse("813.60").dividedBy(Decimal::parse("113"), 7).toFixed(), "7.2000000");
    EXPECT_EQ(Decimal::parse("2").dividedBy(Decimal::parse("3"), 4).toFixed(), "0.6667");
    EXPECT_EQ(Decimal::parse("-2").dividedBy(Decimal::parse("3"), 4).toFixed(), "-0.6667");
    EXPECT_EQ(Decimal::parse("1").dividedBy(Decimal::parse("-8"), 2).toFixed(), "-0.13");
    EXPECT_EQ(Decimal::parse("100").dividedBy(Decimal::parse("0.25"), 0).toFixed(), "400");
    EXPECT_THROW(Decimal::parse("1").dividedBy(Decimal::parse("0.00"), 2), DataSetError);
}
