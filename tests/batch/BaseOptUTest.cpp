// The run-options form's rules without a window: number field checks, typing N hours,
// the joined required groups, rule lines and the period value.

#include "batch/BaseOptU.h"

#include "config/QtVariant.h"

#include <gtest/gtest.h>

TEST(BaseOptRules, NumberFieldsOnLeaving)
{
    for (const char* bad : {"", "  ", "0", "x", "1.5", "+"})
        EXPECT_EQ(NonZeroOr(QString::fromLatin1(bad), QStringLiteral("1")), QStringLiteral("1")) << bad;
    EXPECT_EQ(NonZeroOr(QStringLiteral("7"), QStringLiteral("1")), QStringLiteral("7"));
    EXPECT_EQ(NonZeroOr(QStringLiteral("-3"), QStringLiteral("0")), QStringLiteral("-3"));
    EXPECT_EQ(MonthDayCheck(QStringLiteral("45")), QStringLiteral("31"));
    EXPECT_EQ(MonthDayCheck(QStringLiteral("32")), QStringLiteral("31"));
    EXPECT_EQ(MonthDayCheck(QStringLiteral("31")), QStringLiteral("31"));
    EXPECT_EQ(MonthDayCheck(QStringLiteral("0")), QStringLiteral("1"));
    EXPECT_EQ(EveryHourCheck(QStringLiteral("0")), QStringLiteral("1"));
    EXPECT_EQ(EveryHourCheck(QStringLiteral("0.0")), QStringLiteral("1"));
    EXPECT_EQ(EveryHourCheck(QStringLiteral("1.")), QStringLiteral("1."));
    EXPECT_EQ(EveryHourCheck(QStringLiteral("abc")), QStringLiteral("1"));
    EXPECT_EQ(EveryHourCheck(QStringLiteral("2.5")), QStringLiteral("2.5"));
}

TEST(BaseOptRules, TypingEveryNHours)
{
    EXPECT_TRUE(EveryHourKeyAccepted(QLatin1Char('7'), QString()));
    EXPECT_TRUE(EveryHourKeyAccepted(QChar(8), QStringLiteral("12")));
    EXPECT_FALSE(EveryHourKeyAccepted(QLatin1Char('.'), QString())) << "not first";
    EXPECT_TRUE(EveryHourKeyAccepted(QLatin1Char('.'), QStringLiteral("2")));
    EXPECT_FALSE(EveryHourKeyAccepted(QLatin1Char('.'), QStringLiteral("2.5"))) << "not twice";
    EXPECT_FALSE(EveryHourKeyAccepted(QLatin1Char('-'), QStringLiteral("2")));
    EXPECT_FALSE(EveryHourKeyAccepted(QLatin1Char('a'), QStringLiteral("2")));
}

TEST(BaseOptRules, GroupsJoinedWithATrailingComma)
{
    EXPECT_EQ(JoinRequiredGroups({QString(), QStringLiteral("meDay,meStartDate"), QString(), QStringLiteral("edDate")}),
              QStringLiteral("meDay,meStartDate,edDate,"));
    EXPECT_EQ(JoinRequiredGroups({QString(), QString()}), QString());
}

TEST(BaseOptRules, RuleLinesAndTheirIndex)
{
    const QString single = SingleRuleLine(QStringLiteral("edDocDate"), {true, 1, 1, 2, 0}, QStringLiteral("D"));
    EXPECT_EQ(RuleFields(single), (QStringList{"1", "edDocDate", "Y", "1", "1", "2", "0", "D"}));
    EXPECT_FALSE(IsRangeRule(single));
    EXPECT_EQ(RuleGranularity(single), QStringLiteral("D"));
    const QString range =
        RangeRuleLine(QStringLiteral("spDocDate"), {true, 0, 0, 1, 0}, {false, -2, 1, 0, -5}, QStringLiteral("M"));
    EXPECT_EQ(RuleFields(range).size(), 13);
    EXPECT_TRUE(IsRangeRule(range));
    EXPECT_EQ(RuleGranularity(range), QStringLiteral("M"));
    const DateRule end = RuleAt(RuleFields(range), 8);
    EXPECT_FALSE(end.moves);
    EXPECT_EQ(end.count, -2);
    EXPECT_EQ(end.days, -5);
    EXPECT_EQ(RuleWithoutIndex(range + RuleFieldSeparator + "3" + RuleFieldSeparator + "3"), range);
    EXPECT_EQ(RuleWithoutIndex(single + RuleFieldSeparator + "2"), single);
}

TEST(BaseOptRules, PeriodValueOfEachRange)
{
    const Variant schedule = Variant::list({0, "2"});
    const Variant none = MakePeriodValue(8, 5, schedule, 0, QStringLiteral("20240306"), QStringLiteral("3"), QString());
    EXPECT_EQ(VarToStr(none[0]), "Y");
    EXPECT_EQ(VarToStr(none[1]), "08:05");
    EXPECT_EQ(VarToStr(none[2][1]), "2");
    EXPECT_EQ(none[3].highBound(), 1);
    EXPECT_EQ(none[3][1].toInt(), 0);
    const Variant runs = MakePeriodValue(23, 59, schedule, 1, QStringLiteral("20240306"), QStringLiteral(" 3 "), QString());
    EXPECT_EQ(VarToStr(runs[1]), "23:59");
    EXPECT_EQ(runs[3][1].toInt(), 1);
    EXPECT_EQ(VarToStr(runs[3][2]), "3");
    const Variant until = MakePeriodValue(0, 0, schedule, 2, QStringLiteral("20240306"), QString(), QStringLiteral("20240401"));
    EXPECT_EQ(until[3][1].toInt(), 2);
    EXPECT_EQ(VarToStr(until[3][2]), "20240401");
    EXPECT_EQ(VarToStr(until[3][0]), "20240306");
}
