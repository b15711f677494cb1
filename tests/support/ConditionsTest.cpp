#include "support/Conditions.h"

#include <gtest/gtest.h>

namespace {

Variant range(Variant low, Variant high)
{
    return Variant::list({rangeMarker(), std::move(low), std::move(high)});
}

// The condition alone, appended to an empty where text.
std::string condition(std::string_view column, const Variant& value, int kind)
{
    std::string where, cond = "stale";
    AppendCondition(where, column, value, cond, kind);
    EXPECT_EQ(where.empty(), cond.empty());
    if (!cond.empty()) {
        EXPECT_EQ(where, "Where " + cond);
    }
    return cond;
}

} // namespace

TEST(ConditionKinds, MarkersDecide)
{
    EXPECT_EQ(ConditionValueKind(Variant("A")), -1);
    EXPECT_EQ(ConditionValueKind(Variant()), -1);
    EXPECT_EQ(ConditionValueKind(range("A", "B")), 0);
    EXPECT_EQ(ConditionValueKind(Variant::list({listMarker(), "1"})), 1);
    EXPECT_EQ(ConditionValueKind(Variant::list({"A", "B"})), -1);
    EXPECT_EQ(ConditionValueKind(Variant::list({})), -1);
    Variant shifted = Variant::array(1, 2);   // no element 0 to hold a marker
    shifted[1] = rangeMarker();
    EXPECT_EQ(ConditionValueKind(shifted), -1);
}

TEST(AppendConditionText, TextRangesInEveryShape)
{
    EXPECT_EQ(condition("TA004", range("A", "B"), 1), " (TA004 Between 'A' and 'B') ");
    EXPECT_EQ(condition("C", Variant::list({"X", "X"}), 1), " (C='X') ");
    EXPECT_EQ(condition("C", Variant("X"), 1), " (C>= 'X')");
    EXPECT_EQ(condition("C", range("X", Variant::null()), 1), " (C>= 'X')");
    EXPECT_EQ(condition("C", range(Variant(), "Y"), 1), " (C<= 'Y' OR C IS NULL )");
    EXPECT_EQ(condition("C", Variant::list({Variant(), "Y"}), 1), " (C<= 'Y' OR C IS NULL )");
    EXPECT_EQ(condition("C", Variant::list({"X"}), 1), " (C>= 'X')");   // the upper bound is missing
    EXPECT_EQ(condition("C", Variant::list({rangeMarker()}), 1), "");
    EXPECT_EQ(condition("C", Variant(), 1), "");
    EXPECT_EQ(condition("C", Variant::null(), 1), "");
    // Text bounds are compared and written untrimmed.
    EXPECT_EQ(condition("C", range("A ", "A"), 1), " (C Between 'A ' and 'A') ");
}

TEST(AppendConditionText, QuotesAreDoubledAndExpressionsKept)
{
    EXPECT_EQ(condition("TA001+TA002", range("7A01", "7A09"), 1), " (TA001+TA002 Between '7A01' and '7A09') ");
    EXPECT_EQ(condition("MA002", Variant("O'Brien"), 1), " (MA002>= 'O''Brien')");
    EXPECT_EQ(condition("MA002", range("'; DROP TABLE ACPTA; --", "z"), 1),
              " (MA002 Between '''; DROP TABLE ACPTA; --' and 'z') ");
    EXPECT_EQ(condition("C", Variant::list({listMarker(), "it's"}), 1), "(C IN ('it''s'))");
}

TEST(AppendConditionText, EmptyBoundsAddNothing)
{
    // What a blank select panel hands over must not filter everything out.
    EXPECT_EQ(condition("C", range("", ""), 1), "");
    EXPECT_EQ(condition("C", range("", "B"), 1), " (C<= 'B' OR C IS NULL )");
    EXPECT_EQ(condition("C", range("7", ""), 2), " (C>=7)");
    EXPECT_EQ(condition("C", range("  ", "7"), 2), " (C<=7 OR C IS NULL )");
    EXPECT_EQ(condition("C", Variant(""), 1), "");
}

TEST(AppendConditionText, NumericRangesAreTrimmedAndUnquoted)
{
    EXPECT_EQ(condition("C", range(Variant(), "5"), 2), " (C<=5 OR C IS NULL )");
    EXPECT_EQ(condition("C", range(" 1 ", " 9 "), 2), " (C Between 1 and 9) ");
    EXPECT_EQ(condition("C", range("3", " 3"), 3), " (C=3) ");
    EXPECT_EQ(condition("C", Variant(1.5), 2), " (C>=1.5)");
    EXPECT_EQ(condition("C", Variant(-4), 3), " (C>=-4)");
    EXPECT_EQ(condition("C", Variant("A"), 0), "");
    EXPECT_EQ(condition("C", Variant("A"), 4), "");
}

TEST(AppendConditionText, NumericTextThatIsNoNumberStaysText)
{
    EXPECT_EQ(condition("TA037", Variant("1) OR (1=1"), 2), " (TA037>='1) OR (1=1')");
    EXPECT_EQ(condition("TA037", range("1", "2; DELETE FROM ACPTA"), 3),
              " (TA037 Between 1 and '2; DELETE FROM ACPTA') ");
    EXPECT_EQ(condition("TA037", Variant("1e5"), 2), " (TA037>=1e5)");
}

TEST(AppendConditionText, ListsSkipEmptiesAndTakeNestedFirstElements)
{
    Variant list = Variant::list({listMarker(), "", Variant::list({"A", "供应商甲"}), Variant(), "B",
                                  Variant::list({}), Variant::null(), 3});
    EXPECT_EQ(condition("MA001", list, 2), "(MA001 IN ('A', 'B', '3'))");
    EXPECT_EQ(condition("C", Variant::list({listMarker(), "", Variant::null()}), 1), "");
    EXPECT_EQ(condition("C", Variant::list({listMarker()}), 1), "");
}

TEST(AppendConditionText, AppendsWithWhereAndAnd)
{
    std::string where, cond;
    AppendCondition(where, "TA004", range("A", "B"), cond, 1);
    EXPECT_EQ(where, "Where  (TA004 Between 'A' and 'B') ");
    AppendCondition(where, "TA034", Variant::list({listMarker(), "1", "2"}), cond, 1);
    EXPECT_EQ(where, "Where  (TA004 Between 'A' and 'B')  and (TA034 IN ('1', '2'))");
    EXPECT_EQ(cond, "(TA034 IN ('1', '2'))");
    AppendCondition(where, "TA035", Variant(), cond, 1);
    EXPECT_EQ(cond, "");
    EXPECT_EQ(where, "Where  (TA004 Between 'A' and 'B')  and (TA034 IN ('1', '2'))");

    std::string other = "Where X=1";
    AppendCondition(other, "C", Variant("5"), cond, 2);
    EXPECT_EQ(other, "Where X=1 and  (C>=5)");
}

TEST(GetConditionValueTest, ReadsPiecesOfConditionArrays)
{
    Variant values = Variant::array(1, 5);
    values[1] = range("20240101", "20240131");
    values[2] = "USD";
    values[3] = Variant::list({listMarker(), Variant::list({"S01", "甲"}), Variant::list({"S02", Variant()})});
    values[4] = Variant::list({"lo", "hi"});

    EXPECT_TRUE(GetConditionValue(values, 0).isEmpty());
    EXPECT_TRUE(GetConditionValue(values, 6, 1).isEmpty());
    EXPECT_TRUE(GetConditionValue(Variant("x"), 0).isEmpty());

    EXPECT_EQ(GetConditionValue(values, 2), Variant("USD"));
    EXPECT_EQ(GetConditionValue(values, 2, 3), Variant("USD"));
    EXPECT_TRUE(GetConditionValue(values, 1).isArray());
    EXPECT_EQ(GetConditionValue(values, 5), Variant(""));   // Empty reads as the empty text
    EXPECT_EQ(GetConditionValue(values, 5).type(), VarType::String);

    // After a marker, part 0 means the first value and a part past the end the last.
    EXPECT_EQ(GetConditionValue(values, 1, 0), Variant("20240101"));
    EXPECT_EQ(GetConditionValue(values, 1, 2), Variant("20240131"));
    EXPECT_EQ(GetConditionValue(values, 1, 9), Variant("20240131"));
    // Without a marker parts are taken as they are.
    EXPECT_EQ(GetConditionValue(values, 4, 0), Variant("lo"));
    EXPECT_EQ(GetConditionValue(values, 4, 9), Variant(""));

    EXPECT_EQ(GetConditionValue(values, 3, 1, 1), Variant("甲"));
    EXPECT_EQ(GetConditionValue(values, 3, 2, -7), Variant("S02"));
    EXPECT_EQ(GetConditionValue(values, 3, 2, 99), Variant(""));   // clamped onto an Empty
    EXPECT_EQ(GetConditionValue(values, 3, 1, 7), Variant("甲"));
    EXPECT_TRUE(GetConditionValue(values, 3, 1).isArray());
    EXPECT_EQ(GetConditionValue(values, 1, 1, 0), Variant("20240101"));   // no array to go into
}
