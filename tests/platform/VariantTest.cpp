#include "platform/OleDate.h"
#include "platform/Variant.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>

TEST(Variant, EmptyNullAndScalarsConvertAsTheRuntimeDid)
{
    Variant empty;
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_EQ(empty.toString(), "");
    EXPECT_EQ(empty.toInt(), 0);
    EXPECT_FALSE(empty.toBool());

    const Variant null = Variant::null();
    EXPECT_TRUE(null.isNull());
    EXPECT_THROW(null.toString(), VariantError);
    EXPECT_THROW(null.toInt(), VariantError);
    EXPECT_EQ(VarToStr(null), "");

    EXPECT_EQ(Variant(true).toInt(), -1);
    EXPECT_EQ(Variant(true).toString(), "True");
    EXPECT_EQ(Variant(42).toString(), "42");
    EXPECT_EQ(Variant(1.5).toString(), "1.5");
    EXPECT_EQ(Variant(100.0).toString(), "100");
    EXPECT_EQ(Variant(1e20).toString(), "1E20");
    EXPECT_EQ(Variant(std::int64_t(9000000000)).toString(), "9000000000");
}

TEST(Variant, ATakenTextLeavesEmptyAndOtherValuesAsTheyWere)
{
    Variant text(std::string("供应商 S01, a text longer than a short one"));
    EXPECT_EQ(text.takeText(), "供应商 S01, a text longer than a short one");
    EXPECT_TRUE(text.isEmpty());
    Variant number(12);
    EXPECT_EQ(number.takeText(), "12");
    EXPECT_EQ(number.toInt(), 12);
    Variant null = Variant::null();
    EXPECT_EQ(null.takeText(), "");
    EXPECT_TRUE(null.isNull());
    Variant ansi = Variant::ansi("\xb9\xa9", 936);
    EXPECT_EQ(ansi.takeText(), "供") << "bytes of a code page are read through it";
    EXPECT_TRUE(ansi.isString());
}

TEST(Variant, NumbersRoundHalfToEven)
{
    EXPECT_EQ(Variant(2.5).toInt(), 2);
    EXPECT_EQ(Variant(3.5).toInt(), 4);
    EXPECT_EQ(Variant(-2.5).toInt(), -2);
    EXPECT_EQ(Variant("1.5").toInt(), 2);
    EXPECT_EQ(Variant(" 17 ").toInt(), 17);
}

TEST(Variant, UnreadableTextRaises)
{
    EXPECT_THROW(Variant("abc").toInt(), VariantError);
    EXPECT_THROW(Variant("").toInt(), VariantError);
    EXPECT_THROW(Variant("12abc").toDouble(), VariantError);
    EXPECT_THROW(Variant("inf").toDouble(), VariantError);
    EXPECT_THROW(Variant("0x10").toDouble(), VariantError);
    EXPECT_THROW(Variant("maybe").toBool(), VariantError);
    EXPECT_TRUE(Variant("TRUE").toBool());
    EXPECT_FALSE(Variant("0").toBool());
    EXPECT_THROW(Variant(3e10).toInt(), VariantError);
    EXPECT_THROW(Variant::list({1}).toString(), VariantError);
}

TEST(Variant, ConversionErrorNamesBothTypes)
{
    try {
        Variant::null().toString();
        FAIL();
    } catch (const VariantError& e) {
        EXPECT_STREQ(e.what(), "Could not convert variant of type (Null) into type (String)");
    }
}

TEST(Variant, DatesCountDaysFromTheOleEpoch)
{
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2);
    EXPECT_EQ(EncodeDate(2024, 2, 29), 45351);
    double d = 0;
    EXPECT_FALSE(TryEncodeDate(2023, 2, 29, d));
    const CivilDate c = DecodeDateTime(45351.75);
    EXPECT_EQ(c.year, 2024);
    EXPECT_EQ(c.month, 2);
    EXPECT_EQ(c.day, 29);
    EXPECT_EQ(c.hour, 18);
    const CivilDate before = DecodeDateTime(-1.25);
    EXPECT_EQ(before.day, 29);
    EXPECT_EQ(before.hour, 6);
    EXPECT_EQ(Variant::date(45351).toString(), "2024/02/29");
    EXPECT_EQ(Variant("2024/02/29").toDate(), 45351);
    EXPECT_THROW(Variant("2023/02/29").toDate(), VariantError);
}

TEST(Variant, ArraysKeepTheirBoundsInBothDimensions)
{
    Variant a = Variant::array(1, 3);
    EXPECT_EQ(a.dimCount(), 1);
    EXPECT_EQ(a.lowBound(), 1);
    EXPECT_EQ(a.highBound(), 3);
    EXPECT_TRUE(a[1].isEmpty());
    a[3] = "x";
    EXPECT_EQ(a[3].toString(), "x");
    EXPECT_THROW(a[0], VariantError);
    EXPECT_THROW(a[4], VariantError);
    EXPECT_THROW(a.lowBound(2), VariantError);

    Variant m = Variant::array2(0, 1, -2, 2);
    EXPECT_EQ(m.dimCount(), 2);
    EXPECT_EQ(m.lowBound(2), -2);
    EXPECT_EQ(m.count(2), 5);
    m.at(1, -2) = "name";
    m.at(0, 2) = 7;
    EXPECT_EQ(m.at(1, -2).toString(), "name");
    EXPECT_EQ(m.at(0, 2).toInt(), 7);
    EXPECT_TRUE(m.at(0, -2).isEmpty());
    EXPECT_THROW(m.at(2, 0), VariantError);
    EXPECT_THROW(m[0], VariantError);

    Variant none = Variant::array(0, -1);
    EXPECT_EQ(none.count(), 0);
}

TEST(Variant, RedimKeepsElements)
{
    Variant a = Variant::list({1, 2});
    a.redim(3);
    EXPECT_EQ(a.highBound(), 3);
    EXPECT_EQ(a[1].toInt(), 2);
    EXPECT_TRUE(a[3].isEmpty());

    Variant m = Variant::array2(0, 1, 0, 1);
    m.at(1, 1) = "k";
    m.redim(4);
    EXPECT_EQ(m.at(1, 1).toString(), "k");
    EXPECT_EQ(m.highBound(2), 4);
}

TEST(Variant, ArraySizesAreCheckedBeforeAnythingIsAllocated)
{
    // Counts whose high - low + 1 overflows an int, or whose product overflows 64 bits.
    EXPECT_THROW(Variant::array(INT_MIN, INT_MAX), VariantError);
    EXPECT_THROW(Variant::array(0, INT_MAX), VariantError);
    EXPECT_THROW(Variant::array(INT_MIN, -2), VariantError) << "2^31 - 1 elements, beyond the bound";
    EXPECT_THROW(Variant::array(INT_MIN + 2, INT_MIN), VariantError) << "ends before it begins";
    EXPECT_THROW(Variant::array2(INT_MIN, INT_MAX, INT_MIN, INT_MAX), VariantError);
    EXPECT_THROW(Variant::array2(INT_MIN, INT_MAX, 0, -1), VariantError) << "an empty second dimension";
    EXPECT_THROW(Variant::array2(0, 99999, 0, 99999), VariantError) << "10^10 elements";
    EXPECT_THROW(Variant::array2(0, 1, 5, 3), VariantError);
    // The edges themselves are fine.
    EXPECT_EQ(Variant::array(INT_MAX, INT_MAX).count(), 1);
    EXPECT_EQ(Variant::array(INT_MIN, INT_MIN).count(), 1);
    EXPECT_EQ(Variant::array(INT_MIN + 1, INT_MIN).count(), 0);
    EXPECT_EQ(Variant::array2(INT_MAX, INT_MAX, INT_MIN, INT_MIN).count(2), 1);

    // A refused redim leaves the array as it was.
    Variant a = Variant::list({1, 2});
    EXPECT_THROW(a.redim(INT_MAX), VariantError);
    EXPECT_THROW(a.redim(-2), VariantError);
    EXPECT_EQ(a.highBound(), 1);
    EXPECT_EQ(a[1].toInt(), 2);
    Variant low = Variant::array(INT_MIN, INT_MIN);
    EXPECT_THROW(low.redim(INT_MAX), VariantError);
    low.redim(INT_MIN + 1);
    EXPECT_EQ(low.count(), 2);
    Variant m = Variant::array2(0, 99999, 0, 0);
    EXPECT_THROW(m.redim(99999), VariantError);
    EXPECT_EQ(m.highBound(2), 0);
    m.redim(-1);
    EXPECT_EQ(m.count(2), 0);
}

TEST(Variant, CopiesOfArraysAreIndependent)
{
    Variant a = Variant::list({"a", Variant::list({1, 2})});
    Variant b = a;
    b[0] = "changed";
    b[1][0] = 99;
    EXPECT_EQ(a[0].toString(), "a");
    EXPECT_EQ(a[1][0].toInt(), 1);
    EXPECT_EQ(b[1][0].toInt(), 99);

    const Variant c = a;
    EXPECT_EQ(&c[0], &std::as_const(a)[0]) << "reading a copy shares the elements";
}

TEST(Variant, EqualityComparesValuesAcrossNumericKinds)
{
    EXPECT_EQ(Variant(1), Variant(1.0));
    EXPECT_EQ(Variant(std::int64_t(5)), Variant(5));
    EXPECT_NE(Variant(1), Variant("1"));
    EXPECT_EQ(Variant::list({1, "a"}), Variant::list({1, "a"}));
    EXPECT_NE(Variant::list({1}), Variant::array(1, 1));
    EXPECT_EQ(Variant::null(), Variant::null());
    EXPECT_NE(Variant(), Variant::null());
}
