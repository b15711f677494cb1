// The compact value a record keeps: every FieldValue comes back exactly as it went in,
// copies are independent, and the order is the one the data set sorts by.

#include "dataset/RecordValue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

const std::string kLong = "上海甲电子有限公司 Shanghai";   // longer than a value holds in place

std::vector<FieldValue> samples()
{
    return {FieldValue(),
            std::string(),
            std::string("Y"),
            std::string("12345678901234"),    // the most text held in place
            std::string("123456789012345"),   // one byte more goes to a block of its own
            std::string("a\0b", 3),
            kLong,
            std::int64_t(0),
            std::numeric_limits<std::int64_t>::min(),
            std::numeric_limits<std::int64_t>::max(),
            0.1,
            -0.0,
            std::numeric_limits<double>::infinity(),
            Decimal(-123456789012345678, 18),
            Decimal(1941052'60, 2),
            Decimal(),
            true,
            false};
}

} // namespace

TEST(RecordValue, EveryKindComesBackExactly)
{
    for (const FieldValue& v : samples()) {
        SCOPED_TRACE(v.index());
        const RecordValue stored(v);
        const FieldValue back = stored.get();
        ASSERT_EQ(back.index(), v.index());
        if (const auto* d = std::get_if<double>(&v)) {
            EXPECT_EQ(std::signbit(std::get<double>(back)), std::signbit(*d));
            EXPECT_EQ(std::get<double>(back), *d);
        } else if (const auto* m = std::get_if<Decimal>(&v)) {
            EXPECT_EQ(std::get<Decimal>(back).units(), m->units());
            EXPECT_EQ(std::get<Decimal>(back).scale(), m->scale()) << "the scale is kept, not only the value";
        } else {
            EXPECT_EQ(back, v);
        }
        EXPECT_EQ(stored.isNull(), v.index() == 0);
        EXPECT_EQ(stored.isText(), v.index() == 1);
        if (const auto* s = std::get_if<std::string>(&v)) {
            EXPECT_EQ(stored.text(), *s);
        }
    }
    const FieldValue nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(std::isnan(std::get<double>(RecordValue(nan).get())));
}

TEST(RecordValue, CopiesAndMovesOwnTheirTexts)
{
    RecordValue a{FieldValue(kLong)};
    RecordValue b(a);
    a = FieldValue(std::string("N"));
    EXPECT_EQ(b.text(), kLong) << "the copy keeps its own block";
    RecordValue c(std::move(b));
    EXPECT_TRUE(b.isNull()) << "a value moved from is Null";
    EXPECT_EQ(c.text(), kLong);
    const RecordValue& same = c;
    c = same;
    EXPECT_EQ(c.text(), kLong) << "assigned to itself";
    RecordValue d;
    d = c;
    c = RecordValue(FieldValue(std::int64_t(7)));
    EXPECT_EQ(d.text(), kLong);
    EXPECT_EQ(std::get<std::int64_t>(c.get()), 7);
    std::vector<RecordValue> grown(3, RecordValue(FieldValue(kLong)));
    grown.resize(100); // moved to a larger block
    EXPECT_EQ(grown[2].text(), kLong);
    EXPECT_TRUE(grown[99].isNull());
    Decimal m;
    EXPECT_FALSE(grown[0].decimal(m));
    EXPECT_TRUE(RecordValue(FieldValue(Decimal(5, 1))).decimal(m));
    EXPECT_EQ(m.toFixed(), "0.5");
}

TEST(RecordValue, OrdersByKindThenValue)
{
    const auto cmp = [](const FieldValue& a, const FieldValue& b) { return RecordValue(a).compare(RecordValue(b)); };
    // Kinds in FieldValue's order: Null, text, integer, float, decimal, Boolean.
    EXPECT_LT(cmp(FieldValue(), std::string()), 0);
    EXPECT_LT(cmp(std::string("zzz"), std::int64_t(0)), 0);
    EXPECT_LT(cmp(std::int64_t(9), 0.0), 0);
    EXPECT_LT(cmp(9.0, Decimal()), 0);
    EXPECT_LT(cmp(Decimal(99, 0), false), 0);
    // Texts by their bytes, whether held in place or not, a prefix first.
    EXPECT_LT(cmp(std::string("A001"), std::string("A002")), 0);
    EXPECT_LT(cmp(std::string("123456789012345"), std::string("12345678901235")), 0);
    EXPECT_LT(cmp(std::string("12345678901234"), std::string("123456789012345")), 0);
    EXPECT_GT(cmp(kLong, std::string("上海")), 0);
    EXPECT_EQ(cmp(kLong, kLong), 0);
    EXPECT_LT(cmp(std::string("a"), std::string("a\0", 2)), 0);
    // Numbers by value: decimals of different scales, negative integers.
    EXPECT_EQ(cmp(Decimal(150, 2), Decimal(15, 1)), 0);
    EXPECT_LT(cmp(Decimal(-1, 0), Decimal(1, 18)), 0);
    EXPECT_LT(cmp(std::numeric_limits<std::int64_t>::min(), std::int64_t(-1)), 0);
    EXPECT_LT(cmp(-0.5, 0.25), 0);
    EXPECT_LT(cmp(false, true), 0);
    EXPECT_TRUE(RecordValue(FieldValue(std::string("Y"))) == RecordValue(FieldValue(std::string("Y"))));
    EXPECT_FALSE(RecordValue(FieldValue(std::string("Y"))) == RecordValue(FieldValue(std::string("N"))));
}
