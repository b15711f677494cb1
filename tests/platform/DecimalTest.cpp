#include "platform/Decimal.h"

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
