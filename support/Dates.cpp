#include "support/Dates.h"
#include "support/Format.h"
#include "support/Helpers.h"
#include "support/Utf8.h"

#include "platform/OleDate.h"

#include <cmath>

namespace {

// Days of 1 January of the year 1 and of 31 December 9999, the first and last dates a
// day count may stand for.
constexpr double kFirstDay = -693593;
constexpr double kLastDay = 2958465;
// 1 January 1753, the first date the databases keep (compact dates from "17530101").
constexpr double kFirstStoredDay = -53688;

CivilDate split(double date)
{
    return DecodeDateTime(std::trunc(date));
}

// Up to three parts, each before the next occurrence of the separator.
int parts(std::string_view text, std::string_view separator, int out[3])
{
    std::size_t start = 0;
    for (int k = 0; k < 3; ++k) {
        if (start > text.size()) {
            out[k] = -1;
            continue;
        }
        const std::size_t at = separator.empty() ? start : text.find(separator, start);
        const std::string_view part =
            text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start);
        out[k] = strToIntDef(trimText(part), -1);
        start = at == std::string_view::npos ? text.size() + 1 : at + separator.size();
    }
    return 3;
}

int digitsAt(std::string_view text, std::size_t pos, std::size_t len)
{
    if (pos >= text.size())
        return 0;
    return strToIntDef(text.substr(pos, len), 0);
}

} // namespace

int DaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

std::string DateToDisplayText(int code, std::string_view separator, double date)
{
    if (date == 0)
        return {};
    const CivilDate c = split(date);
    const std::string s = firstUtf8Char(separator);
    switch (code) {
    case 1:
        return Format("%.4d%s%.2d%s%.2d", {c.year, s, c.month, s, c.day});
    case 2:
        return Format("%.2d%s%.2d%s%.4d", {c.month, s, c.day, s, c.year});
    case 3:
        return Format("%.2d%s%.2d%s%.4d", {c.day, s, c.month, s, c.year});
    case 4:
        return Format("%.2d%s%.2d%s%.2d", {c.year - 1911, s, c.month, s, c.day});
    case 5:
        return Format("%.3d%s%.2d%s%.2d", {c.year - 1911, s, c.month, s, c.day});
    default:
        return {};
    }
}

std::string MonthToDisplayText(int code, std::string_view separator, double date)
{
    if (date == 0)
        return {};
    const CivilDate c = split(date);
    const std::string s = firstUtf8Char(separator);
    switch (code) {
    case 1:
        return Format("%.4d%s%.2d", {c.year, s, c.month});
    case 2:
    case 3:
        return Format("%.2d%s%.4d", {c.month, s, c.year});
    case 4:
        return Format("%.2d%s%.2d", {c.year - 1911, s, c.month});
    case 5:
        return Format("%.3d%s%.2d", {c.year - 1911, s, c.month});
    default:
        return {};
    }
}

double DisplayTextToDate(std::string_view text, int code, std::string_view separator)
{
    int p[3];
    parts(text, separator, p);
    if (p[0] <= 0 || p[1] <= 0 || p[2] <= 0)
        return 0;
    int year = 0, month = 0, day = 0;
    switch (code) {
    case 1:
        year = p[0], month = p[1], day = p[2];
        break;
    case 2:
        year = p[2], month = p[0], day = p[1];
        break;
    case 3:
        year = p[2], month = p[1], day = p[0];
        break;
    case 4:
    case 5:
        // A year past 9999 is no date (and would overflow when 1911 is added).
        if (p[0] > 9999 - 1911)
            return 0;
        year = p[0] + 1911, month = p[1], day = p[2];
        break;
    default:
        return 0;
    }
    double first = 0;
    if (!TryEncodeDate(year, month, 1, first))
        return 0;
    const double date = first + (day - 1);
    // Before 1753 no database of the suite keeps a date: such a text (a year typed short,
    // "202") is no date rather than one of the third century.
    return date > kLastDay || date < kFirstStoredDay ? 0 : date;
}

double CompactToDate(std::string_view text)
{
    if (text.size() != 8)
        return 0;
    const int year = digitsAt(text, 0, 4), month = digitsAt(text, 4, 2), day = digitsAt(text, 6, 2);
    double date = 0;
    if (year == 0 || month == 0 || day == 0 || !TryEncodeDate(year, month, day, date))
        return 0;
    return date;
}

bool IsValidCompactDate(std::string_view text)
{
    if (text.empty())
        return true;
    // Only eight characters make a compact date: "202402291" is no date, though its
    // first eight characters are one.
    if (text.size() != 8)
        return false;
    if (!IsValidDate(digitsAt(text, 0, 4), digitsAt(text, 4, 2), digitsAt(text, 6, 2)))
        return false;
    return text >= "17530101" && text <= "99991231";
}

std::string dateToCompact(double date)
{
    if (date == 0)
        return {};
    const CivilDate c = split(date);
    return Format("%.4d%.2d%.2d", {c.year, c.month, c.day});
}

int dayOfWeek(double date)
{
    // 30 December 1899 was a Saturday.
    const long long days = (long long)std::floor(date);
    return int(((days % 7) + 7 + 6) % 7) + 1;
}

std::string AddToCompactDate(const Variant& value, std::string_view unit, int amount)
{
    double date = 0;
    switch (value.type()) {
    case VarType::String:
    case VarType::AnsiString:
        date = CompactToDate(safeVarToStr(value));
        break;
    case VarType::Date:
        date = std::trunc(value.toDate());
        break;
    default:
        return {};
    }
    if (date == 0)
        return {};
    const CivilDate c = split(date);
    const std::string u = upperAscii(unit);
    // Months and years keep the day unless the target month is shorter.
    auto fitted = [](long long year, int month, int day) -> std::string {
        if (year < 1 || year > 9999)
            return {};
        const int last = DaysInMonth(int(year), month);
        return Format("%.4d%.2d%.2d", {int(year), month, day > last ? last : day});
    };
    if (u == "D") {
        const double result = date + amount;
        if (result < kFirstDay || result > kLastDay)
            return {};
        return dateToCompact(result);
    }
    if (u == "M") {
        const long long total = (long long)c.year * 12 + c.month + amount;
        long long year = total / 12;
        int month = int(total % 12);
        if (month == 0) {
            month = 12;
            year -= 1;
        }
        return fitted(year, month, c.day);
    }
    if (u == "Y")
        return fitted((long long)c.year + amount, c.month, c.day);
    return {};
}
