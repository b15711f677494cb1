// The run moments of periodic jobs: first run, every later one by the cycle, the three
// kinds of cycle range, and period values that cannot be read.

#include "platform/OleDate.h"
#include "support/MessageText.h"
#include "support/Dates.h"
#include "support/RunSchedule.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

Variant periodValue(const Variant& schedule, const Variant& range, const char* time = "08:00")
{
    return Variant::list({"Y", time, schedule, range});
}

RunPeriod read(const Variant& value)
{
    RunPeriod p;
    std::string why;
    EXPECT_TRUE(ReadRunPeriod(value, p, why)) << why;
    return p;
}

std::string why(const Variant& value)
{
    RunPeriod p;
    std::string text;
    EXPECT_FALSE(ReadRunPeriod(value, p, text));
    // Read as an English clerk has it worded.
    return WordMessages(text, HostLanguage::English);
}

// "yyyymmdd hh:nn" of a moment.
std::string shown(double m)
{
    const CivilDate c = DecodeDateTime(m);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d %02d:%02d", c.year, c.month, c.day, c.hour, c.minute);
    return buf;
}

std::vector<std::string> runs(const Variant& value, int count, double submitted = 0)
{
    const RunPeriod p = read(value);
    std::vector<std::string> out;
    for (double m : ForecastRunMoments(p, FirstRunMoment(p, submitted), 0, count))
        out.push_back(shown(m));
    return out;
}

using V = std::vector<std::string>;

} // namespace

TEST(RunSchedule, EveryCycleKindStepsFromItsFirstRun)
{
    // Every 3 days from a month's end.
    EXPECT_EQ(runs(periodValue(Variant::list({0, "3"}), Variant::list({"20310130", 0})), 4),
              (V{"20310130 08:00", "20310202 08:00", "20310205 08:00", "20310208 08:00"}));
    // Every 2 weeks on Monday from a Wednesday: the first Monday lies N - 1 weeks on, and
    // every later one two weeks after the one before.
    EXPECT_EQ(runs(periodValue(Variant::list({1, Variant::list({"2", 1})}), Variant::list({"20310305", 0}), "23:45"), 3),
              (V{"20310317 23:45", "20310331 23:45", "20310414 23:45"}));
    // Every week on Saturday from a Saturday.
    EXPECT_EQ(runs(periodValue(Variant::list({1, Variant::list({1, 6})}), Variant::list({"20310301", 0})), 2),
              (V{"20310301 08:00", "20310308 08:00"}));
    // Monthly on day 31: the shorter months take their last day, and the day comes back.
    EXPECT_EQ(runs(periodValue(Variant::list({2, Variant::list({0, 1, 31})}), Variant::list({"20310115", 0})), 4),
              (V{"20310131 08:00", "20310228 08:00", "20310331 08:00", "20310430 08:00"}));
    // Every 2 months on the last Friday.
    EXPECT_EQ(runs(periodValue(Variant::list({2, Variant::list({1, 2, 4, 5})}), Variant::list({"20310101", 0})), 3),
              (V{"20310228 08:00", "20310425 08:00", "20310627 08:00"}));
    // Every month on the first Monday, from after the first Monday of the start month.
    EXPECT_EQ(runs(periodValue(Variant::list({2, Variant::list({1, 1, 0, 1})}), Variant::list({"20310305", 0})), 3),
              (V{"20310407 08:00", "20310505 08:00", "20310602 08:00"}));
    // Every 1.5 hours from the submission, across midnight.
    EXPECT_EQ(runs(periodValue(Variant::list({3, 1.5}), Variant::list({"20310101", 0})), 3, EncodeDate(2031, 1, 1) + 22.0 / 24),
              (V{"20310101 22:00", "20310101 23:30", "20310102 01:00"}));
}

TEST(RunSchedule, AnHourlyCycleWaitsForItsStartDate)
{
    const RunPeriod p = read(periodValue(Variant::list({3, "2"}), Variant::list({"20310110", 0}), "06:30"));
    EXPECT_EQ(shown(FirstRunMoment(p, EncodeDate(2031, 1, 1) + 0.5)), "20310110 06:30");
    EXPECT_EQ(shown(FirstRunMoment(p, EncodeDate(2031, 1, 12) + 0.5)), "20310112 12:00");
}

TEST(RunSchedule, TheCycleRangeEndsAfterNRunsOrAtTheEndDate)
{
    const Variant daily = Variant::list({0, 1});
    EXPECT_EQ(runs(periodValue(daily, Variant::list({"20310101", 1, "2"})), 10).size(), 2u);
    EXPECT_EQ(runs(periodValue(daily, Variant::list({"20310101", 2, "20310105"})), 10).size(), 5u)
        << "the end date itself still has its run";
    EXPECT_EQ(runs(periodValue(daily, Variant::list({"20310101", 0})), 1000).size(), 1000u);

    const RunPeriod p = read(periodValue(daily, Variant::list({"20310101", 1, 3})));
    EXPECT_TRUE(WithinRunRange(p, EncodeDate(2031, 1, 3), 3));
    EXPECT_FALSE(WithinRunRange(p, EncodeDate(2031, 1, 4), 4));
    EXPECT_FALSE(WithinRunRange(p, 0, 1));
    // The forecast of a job that has run twice already.
    EXPECT_EQ(ForecastRunMoments(p, EncodeDate(2031, 1, 3) + 8.0 / 24, 2, 5).size(), 1u);
}

TEST(RunSchedule, PeriodValuesThatCannotBeReadSayWhy)
{
    const Variant daily = Variant::list({0, 1});
    const Variant range = Variant::list({"20310101", 0});
    EXPECT_NE(why(Variant("Y")).find("array"), std::string::npos);
    EXPECT_NE(why(Variant::list({"N", "08:00", daily, range})).find("\"Y\""), std::string::npos);
    EXPECT_NE(why(periodValue(daily, range, "24:00")).find("hour"), std::string::npos);
    EXPECT_NE(why(periodValue(daily, range, "8:00")).find("hh:mm"), std::string::npos);
    EXPECT_NE(why(periodValue(Variant::list({4, 1}), range)).find("cycle kind"), std::string::npos);
    EXPECT_NE(why(periodValue(Variant::list({0, "x"}), range)).find("days"), std::string::npos);
    EXPECT_NE(why(periodValue(Variant::list({1, Variant::list({1, 7})}), range)).find("weekday"), std::string::npos);
    EXPECT_NE(why(periodValue(Variant::list({2, Variant::list({0, 1, 32})}), range)).find("day of the month"),
              std::string::npos);
    EXPECT_NE(why(periodValue(Variant::list({2, Variant::list({1, 1, 5, 1})}), range)).find("occurrence"),
              std::string::npos);
    EXPECT_NE(why(periodValue(Variant::list({3, 0.0}), range)).find("hours"), std::string::npos)
        << "a cycle without a step would run for ever";
    EXPECT_NE(why(periodValue(daily, Variant::list({"20310230", 0}))).find("start date"), std::string::npos);
    EXPECT_NE(why(periodValue(daily, Variant::list({"20310101", 1, 0}))).find("number of runs"), std::string::npos);
    EXPECT_NE(why(periodValue(daily, Variant::list({"20310105", 2, "20310101"}))).find("before"), std::string::npos);
    EXPECT_NE(why(periodValue(daily, Variant::list({"20310101", 3}))).find("cycle range"), std::string::npos);
}

TEST(RunSchedule, DescriptionsReadAsTheScheduleIsMeant)
{
    EXPECT_EQ(DescribeRunPeriod(read(periodValue(Variant::list({1, Variant::list({2, 1})}),
                                                 Variant::list({"20240304", 1, 3})))),
              "every 2 weeks on Monday at 08:00, from 2024-03-04, 3 runs");
    EXPECT_EQ(DescribeRunPeriod(read(periodValue(Variant::list({2, Variant::list({1, 2, 4, 5})}),
                                                 Variant::list({"20240101", 2, "20241231"}), "18:30"))),
              "every 2 months on the last Friday at 18:30, from 2024-01-01, until 2024-12-31");
    EXPECT_EQ(DescribeRunPeriod(read(periodValue(Variant::list({3, 1.5}), Variant::list({"20240101", 0})))),
              "every 1.5 hours, from 2024-01-01, no end");
    EXPECT_EQ(DescribeRunPeriod(read(periodValue(Variant::list({0, 1}), Variant::list({"20240101", 1, 1})))),
              "every day at 08:00, from 2024-01-01, 1 run");
    // The same in a Chinese installation's words.
    EXPECT_EQ(DescribeRunPeriod(read(periodValue(Variant::list({1, Variant::list({2, 1})}),
                                                 Variant::list({"20240304", 1, 3}))),
                                HostLanguage::Simplified),
              "每 2 周星期一 08:00, 自 2024-03-04 起, 共 3 次");
    EXPECT_EQ(DescribeRunPeriod(read(periodValue(Variant::list({2, Variant::list({1, 2, 4, 5})}),
                                                 Variant::list({"20240101", 2, "20241231"}), "18:30")),
                                HostLanguage::Traditional),
              "每 2 個月最後一個星期五 18:30, 自 2024-01-01 起, 至 2024-12-31 止");
    EXPECT_EQ(DescribeRunPeriod(read(periodValue(Variant::list({2, Variant::list({0, 1, 31})}),
                                                 Variant::list({"20240101", 0}))),
                                HostLanguage::Simplified),
              "每月 31 日 08:00, 自 2024-01-01 起, 不限次数");
}
