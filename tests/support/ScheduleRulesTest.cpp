#include "support/ScheduleRules.h"
#include "support/ConditionWords.h"
#include "support/Conditions.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace {

Variant schedule(int kind, Variant detail)
{
    return Variant::list({kind, std::move(detail)});
}

Variant weekly(const char* n, int weekday)
{
    return schedule(1, Variant::list({n, weekday}));
}

Variant monthlyOnDay(const char* m, const char* day)
{
    return schedule(2, Variant::list({0, m, day}));
}

Variant monthlyOnWeekday(const char* m, int occurrence, int weekday)
{
    return schedule(2, Variant::list({1, m, occurrence, weekday}));
}

std::string line(std::initializer_list<const char*> fields)
{
    std::string r;
    for (const char* f : fields) {
        if (!r.empty())
            r += '\x03';
        r += f;
    }
    return r;
}

// [option values, period, rules] as the run-options form hands them over.
Variant params(const Variant& values, std::initializer_list<std::string> lines)
{
    Variant rules = Variant::array(0, int(lines.size()));
    rules[0] = int(lines.size());
    int i = 1;
    for (const std::string& l : lines)
        rules[i++] = l;
    Variant p = Variant::array(1, 3);
    p[1] = values;
    p[2] = Variant::list({1, "3"});
    p[3] = rules;
    return p;
}

Variant options()
{
    Variant v = Variant::array(0, 4);
    v[1] = "20200101";
    v[2] = Variant::list({rangeMarker(), "20200101", "20200131"});
    v[3] = "202001";
    v[4] = "untouched";
    return v;
}

} // namespace

TEST(NextScheduledDateTest, WeeklyOnAWeekday)
{
    // 6 March 2024 is a Wednesday; weekday indexes count from Sunday = 0.
    EXPECT_EQ(NextScheduledDate("20240306", weekly("1", 1)), "20240311");
    EXPECT_EQ(NextScheduledDate("20240306", weekly("1", 5)), "20240308");
    EXPECT_EQ(NextScheduledDate("20240306", weekly("2", 5)), "20240315");
    EXPECT_EQ(NextScheduledDate("20240306", weekly("1", 3)), "20240306");
    EXPECT_EQ(NextScheduledDate("20241230", weekly("1", 0)), "20250105");
}

TEST(NextScheduledDateTest, MonthlyOnADay)
{
    EXPECT_EQ(NextScheduledDate("20240210", monthlyOnDay("1", "31")), "20240229");
    EXPECT_EQ(NextScheduledDate("20240131", monthlyOnDay("1", "15")), "20240215");
    EXPECT_EQ(NextScheduledDate("20240115", monthlyOnDay("1", "15")), "20240115");
    EXPECT_EQ(NextScheduledDate("20241220", monthlyOnDay("1", "5")), "20250105");
    EXPECT_EQ(NextScheduledDate("20240105", monthlyOnDay("3", "10")), "20240310");
    EXPECT_EQ(NextScheduledDate("20230410", monthlyOnDay("1", "31")), "20230430");
}

TEST(NextScheduledDateTest, MonthlyOnAnOccurrenceOfAWeekday)
{
    EXPECT_EQ(NextScheduledDate("20240306", monthlyOnWeekday("1", 1, 1)), "20240311");
    EXPECT_EQ(NextScheduledDate("20240306", monthlyOnWeekday("1", 0, 1)), "20240401");
    EXPECT_EQ(NextScheduledDate("20240306", monthlyOnWeekday("1", 4, 5)), "20240329");
    EXPECT_EQ(NextScheduledDate("20241215", monthlyOnWeekday("1", 0, 1)), "20250106");
    EXPECT_EQ(NextScheduledDate("20240201", monthlyOnWeekday("1", 4, 0)), "20240225");
    EXPECT_EQ(NextScheduledDate("20240301", monthlyOnWeekday("1", 3, 5)), "20240322");
    EXPECT_EQ(NextScheduledDate("20240306", monthlyOnWeekday("2", 1, 1)), "20240408");
}

TEST(NextScheduledDateTest, OtherKindsAndUnreadableSchedules)
{
    EXPECT_EQ(NextScheduledDate("20240306", schedule(0, "3")), "20240306");
    EXPECT_EQ(NextScheduledDate("20240306", schedule(3, 1.5)), "");
    EXPECT_EQ(NextScheduledDate("2024030", schedule(0, "3")), "");
    EXPECT_EQ(NextScheduledDate("20240306", weekly("0", 1)), "");
    EXPECT_EQ(NextScheduledDate("20240306", weekly("x", 1)), "");
    EXPECT_EQ(NextScheduledDate("20240306", weekly("1", 7)), "");
    EXPECT_EQ(NextScheduledDate("20240306", monthlyOnDay("0", "5")), "");
    EXPECT_EQ(NextScheduledDate("20240306", monthlyOnWeekday("0", 1, 1)), "");
    EXPECT_EQ(NextScheduledDate("20240306", monthlyOnWeekday("1", 5, 1)), "");
    EXPECT_EQ(NextScheduledDate("20240306", schedule(9, "1")), "");
    EXPECT_EQ(NextScheduledDate("20240306", Variant("not a schedule")), "");
}

TEST(RelativeDateTest, WeeksMonthsAndBoundaries)
{
    EXPECT_EQ(RelativeDate("20240315", "1", "1", "0", "2"), "20240430");
    EXPECT_EQ(RelativeDate("20240315", "-1", "1", "0", "1"), "20240201");
    EXPECT_EQ(RelativeDate("20240131", "1", "1", "-1", "0"), "20240228");
    EXPECT_EQ(RelativeDate("20240315", "1", "0", "2", "0"), "20240324");
    EXPECT_EQ(RelativeDate("20240315", "0", "0", "1", "1"), "20240310");   // mode 1 ignores days
    EXPECT_EQ(RelativeDate("20240315", "0", "0", "0", "2"), "20240316");
    EXPECT_EQ(RelativeDate("20241231", "1", "0", "0", "2"), "20250111");
    EXPECT_EQ(RelativeDate("202403", "-1", "0", "0", "0"), "202402");
    EXPECT_EQ(RelativeDate("202401", "-1", "1", "5", "2"), "202312");
    EXPECT_EQ(RelativeDate("20240315", "1", "7", "0", "0"), "");
    EXPECT_EQ(RelativeDate("20240315", "one", "1", "0", "0"), "");
    EXPECT_EQ(RelativeDate("20240315", "1", "1", "0", "3"), "");
    EXPECT_EQ(WeekBoundary("20240310", 0, 1), "20240310");
    EXPECT_EQ(WeekBoundary("20240310", 0, 2), "20240316");
    EXPECT_EQ(WeekBoundary("20240316", -1, 1), "20240303");
    EXPECT_EQ(WeekBoundary("20240316", 0, 5), "");
}

TEST(RollConditionDatesTest, SingleAndRangeRulesByIndex)
{
    const Variant rolled = RollConditionDates(
        params(options(), {line({"1", "ed01", "Y", "1", "1", "2", "0", "D", "1"}),
                           line({"0", "sp02", "Y", "0", "0", "1", "0", "N", "0", "0", "0", "0", "D", "2"}),
                           line({"1", "ed03", "Y", "-1", "1", "0", "0", "M", "3"})}),
        "20240315");
    ASSERT_TRUE(rolled.isArray());
    EXPECT_EQ(rolled[1], Variant("20240430"));
    EXPECT_EQ(rolled[2][1], Variant("20240310"));
    EXPECT_EQ(rolled[2][2], Variant("20200131")) << "an end that does not move stays";
    EXPECT_EQ(rolled[2][0], rangeMarker());
    EXPECT_EQ(rolled[3], Variant("202402"));
    EXPECT_EQ(rolled[4], Variant("untouched"));
}

TEST(RollConditionDatesTest, ZeroRulesTakeTheRunDateAndNoMeansNoChange)
{
    const Variant rolled = RollConditionDates(
        params(options(), {line({"1", "ed01", "Y", "0", "0", "0", "0", "D", "1"}),
                           line({"0", "sp02", "N", "1", "1", "1", "0", "Y", "0", "0", "0", "0", "M", "2"}),
                           line({"1", "ed03", "N", "5", "1", "0", "0", "M", "3", "extra", "fields"})}),
        "20240315");
    ASSERT_TRUE(rolled.isArray());
    EXPECT_EQ(rolled[1], Variant("20240315"));
    EXPECT_EQ(rolled[2][1], Variant("20200101"));
    EXPECT_EQ(rolled[2][2], Variant("202403"));
    EXPECT_EQ(rolled[3], Variant("202001"));
}

TEST(RollConditionDatesTest, AnythingUnreadableGivesTheEmptyText)
{
    const Variant empty("");
    EXPECT_EQ(RollConditionDates(params(options(), {line({"1", "ed", "Y", "0", "0", "0", "0", "D", "9"})}), "20240315"),
              empty);
    EXPECT_EQ(RollConditionDates(params(options(), {line({"1", "ed", "Y", "0", "0", "0", "0", "D"})}), "20240315"),
              empty);
    EXPECT_EQ(RollConditionDates(params(options(), {line({"1", "ed", "Y", "x", "0", "1", "0", "D", "1"})}), "20240315"),
              empty);
    EXPECT_EQ(RollConditionDates(
                  params(options(), {line({"0", "sp", "Y", "0", "0", "0", "0", "N", "0", "0", "0", "0", "D", "4"})}),
                  "20240315"),
              empty) << "a range rule on an option that holds no range";
    EXPECT_EQ(RollConditionDates(params(options(), {line({"7", "ed", "Y"})}), "20240315"), empty);
    EXPECT_EQ(RollConditionDates(params(options(), {}), "2024"), empty);
    EXPECT_EQ(RollConditionDates(Variant("x"), "20240315"), empty);
    Variant p = params(options(), {line({"1", "ed", "Y", "0", "0", "0", "0", "D", "1"})});
    Variant rules = p[3];
    rules[0] = 5;   // more rules announced than given
    p[3] = rules;
    EXPECT_EQ(RollConditionDates(p, "20240315"), empty);
}

TEST(DateRuleWordsTest, TheWordsSayWhatTheRollMakesOfTheDate)
{
    // Each rule on option 1 of a run on Wednesday 13 March 2024: its words and its date.
    const struct {
        std::string rule, words, rolled;
    } cases[] = {
        {line({"1", "ed01", "Y", "1", "0", "2", "0", "D", "1"}), "运行日期 +1 周, 当周星期六", "20240323"},
        {line({"1", "ed01", "Y", "-1", "0", "1", "0", "D", "1"}), "运行日期 -1 周, 当周星期日", "20240303"},
        {line({"1", "ed01", "Y", "0", "1", "0", "-3", "D", "1"}), "运行日期 -3 天", "20240310"},
        {line({"1", "ed01", "Y", "2", "1", "1", "0", "D", "1"}), "运行日期 +2 个月, 当月第一天", "20240501"},
        {line({"1", "ed01", "Y", "-2", "1", "0", "0", "M", "1"}), "运行月份 -2 个月", "202401"},
        {line({"1", "ed01", "N", "5", "1", "0", "0", "D", "1"}), "不变", "20200101"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words);
        EXPECT_EQ(DateRuleWords(c.rule, HostLanguage::Simplified), c.words);
        EXPECT_EQ(DateRuleOption(c.rule), 1);
        const Variant rolled = RollConditionDates(params(options(), {c.rule}), "20240313");
        ASSERT_TRUE(rolled.isArray());
        EXPECT_EQ(rolled[1], Variant(c.rolled));
    }
    EXPECT_EQ(DateRuleWords(line({"0", "sp02", "N", "0", "0", "0", "0", "Y", "0", "1", "2", "0", "D", "2"}),
                            HostLanguage::Traditional),
              "起: 不變; 止: 執行日期, 當月最後一天");
    EXPECT_EQ(DateRuleWords(line({"1", "ed01", "Y", "x", "0", "1", "0", "D", "1"}), HostLanguage::English),
              "(a date rule that cannot be read)");
    EXPECT_EQ(DateRuleOption(line({"7", "ed"})), 0);
}
