#include "support/Dates.h"

#include "platform/OleDate.h"

#include <gtest/gtest.h>

namespace {

double ymd(int y, int m, int d)
{
    return EncodeDate(y, m, d);
}

} // namespace

TEST(DisplayDates, EveryCodeWritesItsOrder)
{
    const double d = ymd(2005, 3, 1);
    EXPECT_EQ(DateToDisplayText(1, "/", d), "2005/03/01");
    EXPECT_EQ(DateToDisplayText(2, "/", d), "03/01/2005");
    EXPECT_EQ(DateToDisplayText(3, "/", d), "01/03/2005");
    EXPECT_EQ(DateToDisplayText(4, "/", d), "94/03/01");
    EXPECT_EQ(DateToDisplayText(5, "/", d), "094/03/01");
    EXPECT_EQ(DateToDisplayText(4, "/", ymd(2024, 12, 31)), "113/12/31");

    EXPECT_EQ(MonthToDisplayText(1, "-", d), "2005-03");
    EXPECT_EQ(MonthToDisplayText(2, "-", d), "03-2005");
    EXPECT_EQ(MonthToDisplayText(3, "-", d), "03-2005");
    EXPECT_EQ(MonthToDisplayText(4, "-", d), "94-03");
    EXPECT_EQ(MonthToDisplayText(5, "-", d), "094-03");

    EXPECT_EQ(DateToDisplayText(1, "/", 0), "");
    EXPECT_EQ(MonthToDisplayText(1, "/", 0), "");
    EXPECT_EQ(DateToDisplayText(7, "/", d), "");
}

TEST(DisplayDates, OnlyTheFirstSeparatorCharacterIsWritten)
{
    const double d = ymd(2024, 1, 9);
    EXPECT_EQ(DateToDisplayText(1, "-.", d), "2024-01-09");
    EXPECT_EQ(DateToDisplayText(1, "", d), "20240109");
    EXPECT_EQ(DateToDisplayText(1, "年月", d), "2024年01年09");
    // A time of day does not change the date shown.
    EXPECT_EQ(DateToDisplayText(1, "/", d + 0.75), "2024/01/09");
}

TEST(DisplayDates, EveryCodeReadsBackWhatItWrote)
{
    const double dates[] = {ymd(2024, 2, 29), ymd(1999, 12, 31), ymd(2000, 1, 1), ymd(1912, 7, 4)};
    for (int code = 1; code <= 5; ++code)
        for (const char* sep : {"/", "-", ".", "年"})
            for (double d : dates)
                EXPECT_EQ(DisplayTextToDate(DateToDisplayText(code, sep, d), code, sep), d)
                    << "code " << code << " separator " << sep << " " << DateToDisplayText(code, sep, d);
}

TEST(DisplayDates, ReadingRunsDaysOnAndRejectsTheRest)
{
    EXPECT_EQ(DisplayTextToDate("2024/2/30", 1, "/"), ymd(2024, 3, 1));
    EXPECT_EQ(DisplayTextToDate("2024/1/60", 1, "/"), ymd(2024, 2, 29));
    EXPECT_EQ(DisplayTextToDate("2024/13/01", 1, "/"), 0);
    EXPECT_EQ(DisplayTextToDate("2024/02", 1, "/"), 0);
    EXPECT_EQ(DisplayTextToDate("2024/0/5", 1, "/"), 0);
    EXPECT_EQ(DisplayTextToDate("2024/x/5", 1, "/"), 0);
    EXPECT_EQ(DisplayTextToDate("", 1, "/"), 0);
    EXPECT_EQ(DisplayTextToDate("2024/03/05", 6, "/"), 0);
    EXPECT_EQ(DisplayTextToDate(" 2024 / 3 / 5 ", 1, "/"), ymd(2024, 3, 5));
    EXPECT_EQ(DisplayTextToDate("2024/03/05/99", 1, "/"), ymd(2024, 3, 5));
    EXPECT_EQ(DisplayTextToDate("2024--03--05", 1, "--"), ymd(2024, 3, 5));
    EXPECT_EQ(DisplayTextToDate("2024/03/05", 1, ""), 0);
    EXPECT_EQ(DisplayTextToDate("113/1/2", 4, "/"), ymd(2024, 1, 2));
    EXPECT_EQ(DisplayTextToDate("9999/12/40", 1, "/"), 0);   // past the last day
    // Found by the date fuzz target: a huge year of the 1911-based orders overflowed.
    EXPECT_EQ(DisplayTextToDate("2147483647-1-1", 4, "-"), 0);
    EXPECT_EQ(DisplayTextToDate("8089/1/1", 5, "/"), 0);
    // And a short year read as one of the third century, which no database keeps.
    EXPECT_EQ(DisplayTextToDate("01年1年202", 2, "年"), 0);
    EXPECT_EQ(DisplayTextToDate("1752/12/31", 1, "/"), 0);
    EXPECT_EQ(DisplayTextToDate("1753/1/1", 1, "/"), ymd(1753, 1, 1));
    EXPECT_EQ(DisplayTextToDate("8088/12/31", 5, "/"), ymd(9999, 12, 31));
}

TEST(CompactDates, ReadOnlyEightCharactersOfAValidDate)
{
    EXPECT_EQ(CompactToDate("20240229"), ymd(2024, 2, 29));
    EXPECT_EQ(CompactToDate("20230229"), 0);
    EXPECT_EQ(CompactToDate("2024022"), 0);
    EXPECT_EQ(CompactToDate("202402290"), 0);
    EXPECT_EQ(CompactToDate(""), 0);
    EXPECT_EQ(CompactToDate("2024ab01"), 0);
    EXPECT_EQ(CompactToDate("00000101"), 0);
    EXPECT_EQ(dateToCompact(ymd(2024, 3, 5)), "20240305");
    EXPECT_EQ(dateToCompact(0), "");

    EXPECT_TRUE(IsValidCompactDate(""));
    EXPECT_TRUE(IsValidCompactDate("20240229"));
    EXPECT_TRUE(IsValidCompactDate("17530101"));
    EXPECT_TRUE(IsValidCompactDate("99991231"));
    EXPECT_FALSE(IsValidCompactDate("17521231"));
    EXPECT_FALSE(IsValidCompactDate("20240230"));
    EXPECT_FALSE(IsValidCompactDate("20231301"));
    EXPECT_FALSE(IsValidCompactDate("2024021"));
    EXPECT_FALSE(IsValidCompactDate("202402291"));
    EXPECT_FALSE(IsValidCompactDate("abcdefgh"));
}

TEST(CompactDates, DaysInMonthKnowsLeapYears)
{
    EXPECT_EQ(DaysInMonth(2024, 2), 29);
    EXPECT_EQ(DaysInMonth(2023, 2), 28);
    EXPECT_EQ(DaysInMonth(1900, 2), 28);
    EXPECT_EQ(DaysInMonth(2000, 2), 29);
    EXPECT_EQ(DaysInMonth(2023, 4), 30);
    EXPECT_EQ(DaysInMonth(2023, 12), 31);
    EXPECT_EQ(DaysInMonth(2023, 13), 0);
    EXPECT_EQ(DaysInMonth(2023, 0), 0);
    EXPECT_EQ(dayOfWeek(ymd(2024, 3, 6)), 4);   // a Wednesday
    EXPECT_EQ(dayOfWeek(ymd(2024, 3, 10)), 1);
    EXPECT_EQ(dayOfWeek(ymd(1899, 12, 29)), 6);
}

TEST(CompactDates, MonthsKeepTheDayOrTakeTheMonthsLast)
{
    const Variant v("20240131");
    EXPECT_EQ(AddToCompactDate(v, "M", 1), "20240229");
    EXPECT_EQ(AddToCompactDate(v, "M", 3), "20240430");
    EXPECT_EQ(AddToCompactDate(v, "m", 13), "20250228");
    EXPECT_EQ(AddToCompactDate(Variant("20241215"), "M", 1), "20250115");
    EXPECT_EQ(AddToCompactDate(Variant("20240115"), "M", -1), "20231215");
    EXPECT_EQ(AddToCompactDate(Variant("20241231"), "M", 2), "20250228");
    EXPECT_EQ(AddToCompactDate(Variant("20240229"), "M", -12), "20230228");
    EXPECT_EQ(AddToCompactDate(Variant("20240101"), "M", 120), "20340101");
    EXPECT_EQ(AddToCompactDate(Variant("20240101"), "M", -24), "20220101");
    EXPECT_EQ(AddToCompactDate(Variant("00010115"), "M", -1), "");
}

TEST(CompactDates, YearsLowerTheTwentyNinthOfFebruary)
{
    EXPECT_EQ(AddToCompactDate(Variant("20240229"), "Y", 1), "20250228");
    EXPECT_EQ(AddToCompactDate(Variant("20240229"), "y", -1), "20230228");
    EXPECT_EQ(AddToCompactDate(Variant("20240229"), "Y", 4), "20280229");
    EXPECT_EQ(AddToCompactDate(Variant("20240315"), "Y", -24), "20000315");
    EXPECT_EQ(AddToCompactDate(Variant("99990101"), "Y", 1), "");
}

TEST(CompactDates, DaysAndValueKinds)
{
    EXPECT_EQ(AddToCompactDate(Variant("20240301"), "d", -1), "20240229");
    EXPECT_EQ(AddToCompactDate(Variant("20241231"), "D", 1), "20250101");
    EXPECT_EQ(AddToCompactDate(Variant("99991231"), "D", 1), "");
    EXPECT_EQ(AddToCompactDate(Variant::date(ymd(2024, 3, 5) + 0.5), "D", 0), "20240305");
    EXPECT_EQ(AddToCompactDate(Variant::ansi("20240305", 936), "D", 1), "20240306");
    EXPECT_EQ(AddToCompactDate(Variant("20240305"), "W", 1), "");
    EXPECT_EQ(AddToCompactDate(Variant("20240230"), "D", 1), "");
    EXPECT_EQ(AddToCompactDate(Variant(20240305), "D", 1), "");
    EXPECT_EQ(AddToCompactDate(Variant(), "D", 1), "");
    EXPECT_EQ(AddToCompactDate(Variant::date(0), "D", 1), "");
}

TEST(CompactDates, DaysReachBackToTheYearOne)
{
    EXPECT_EQ(AddToCompactDate(Variant("00010102"), "D", -1), "00010101");
    EXPECT_EQ(AddToCompactDate(Variant("00010101"), "D", -1), "") << "nothing before the year 1";
    EXPECT_EQ(AddToCompactDate(Variant("00010101"), "D", 0), "00010101");
    EXPECT_EQ(AddToCompactDate(Variant("00991231"), "D", -364), "00990101");
    EXPECT_EQ(AddToCompactDate(Variant("00991231"), "D", 1), "01000101");
    EXPECT_EQ(AddToCompactDate(Variant("01000101"), "D", -1), "00991231");
    EXPECT_EQ(AddToCompactDate(Variant("01000101"), "D", -36159), "00010101") << "99 years of 365 days and 24 leap days";
}
