#include "support/ScheduleRules.h"
#include "support/Dates.h"
#include "support/Format.h"
#include "support/Helpers.h"

namespace {

constexpr char kFieldMark[] = "\x03";

// Errors inside the rules; the public functions turn them into the empty text.
struct RuleError {};

int intOf(std::string_view text)
{
    int v = 0;
    if (!tryStrToInt(trimText(text), v))
        throw RuleError();
    return v;
}

int intOfVariant(const Variant& v)
{
    if (v.type() == VarType::Int || v.type() == VarType::Int64)
        return v.toInt();
    if (v.type() == VarType::Double) {
        try {
            return v.toInt();
        } catch (const VariantError&) {
            throw RuleError();
        }
    }
    if (!v.isString())
        throw RuleError();
    return intOf(safeVarToStr(v));
}

const Variant& element(const Variant& a, int i)
{
    if (!a.isArray() || a.dimCount() != 1 || i < a.lowBound() || i > a.highBound())
        throw RuleError();
    return a[i];
}

double dateOf(std::string_view compact)
{
    const double d = CompactToDate(compact);
    if (d == 0)
        throw RuleError();
    return d;
}

std::string checked(std::string s)
{
    if (s.empty())
        throw RuleError();
    return s;
}

std::string addDays(std::string_view date, int days)
{
    return checked(AddToCompactDate(Variant(std::string(date)), "D", days));
}

std::string addMonths(std::string_view date, int months)
{
    return checked(AddToCompactDate(Variant(std::string(date)), "M", months));
}

int weekday(std::string_view date)
{
    return dayOfWeek(dateOf(date));
}

std::string firstOfMonth(std::string_view date)
{
    return std::string(date.substr(0, 6)) + "01";
}

std::string lastOfMonth(std::string_view date)
{
    const int year = strToIntDef(date.substr(0, 4), 0);
    const int month = strToIntDef(date.substr(4, 2), 0);
    return std::string(date.substr(0, 6)) + Format("%.2d", {DaysInMonth(year, month)});
}

std::string weekBoundary(std::string_view base, int count, int mode)
{
    dateOf(base);
    const std::string t = addDays(base, 7 * count);
    if (mode == 1)
        return addDays(t, 1 - weekday(t));
    if (mode == 2)
        return addDays(t, 7 - weekday(t));
    throw RuleError();
}

std::string relativeDate(std::string_view base, std::string_view countText, std::string_view unit,
                         std::string_view daysText, std::string_view modeText)
{
    const int count = intOf(countText);
    if (base.size() < 7)
        return addMonths(std::string(base) + "01", count).substr(0, 6);
    dateOf(base);
    const int days = intOf(daysText);
    const int mode = intOf(modeText);
    const int u = intOf(unit);
    if (u == 1) {
        const std::string t = addMonths(base, count);
        switch (mode) {
        case 0:
            return addDays(t, days);
        case 1:
            return firstOfMonth(t);
        case 2:
            return lastOfMonth(t);
        default:
            throw RuleError();
        }
    }
    if (u == 0) {
        if (mode == 0)
            return addDays(base, 7 * count + days);
        return weekBoundary(base, count, mode);
    }
    throw RuleError();
}

// The date of a moving rule: the base itself when count, mode and days are all "0".
std::string ruleDate(const std::string& base, const std::string& count, const std::string& unit,
                     const std::string& mode, const std::string& days)
{
    if (count == "0" && mode == "0" && days == "0")
        return base;
    return relativeDate(base, count, unit, days, mode);
}

std::string nextScheduled(std::string_view start, const Variant& schedule)
{
    dateOf(start);
    const int kind = intOfVariant(element(schedule, 0));
    const Variant& detail = kind == 0 || kind == 3 ? Variant() : element(schedule, 1);
    switch (kind) {
    case 0:
        return std::string(start);
    case 1: {
        const int n = intOfVariant(element(detail, 0));
        const int w = intOfVariant(element(detail, 1)) + 1;
        if (n < 1 || w < 1 || w > 7)
            throw RuleError();
        const std::string t = addDays(start, w < weekday(start) ? 7 * n : 7 * (n - 1));
        return addDays(t, w - weekday(t));
    }
    case 2: {
        const int style = intOfVariant(element(detail, 0));
        const int m = intOfVariant(element(detail, 1));
        if (m < 1)
            throw RuleError();
        if (style == 0) {
            const int d = intOfVariant(element(detail, 2));
            const int startDay = strToIntDef(start.substr(6, 2), 0);
            const std::string t = addMonths(start, d >= startDay ? m - 1 : m);
            const std::string candidate = t.substr(0, 6) + Format("%.2d", {d});
            return d >= 1 && IsValidCompactDate(candidate) ? candidate : lastOfMonth(t);
        }
        if (style != 1)
            throw RuleError();
        const int n = intOfVariant(element(detail, 2));
        const int w = intOfVariant(element(detail, 3)) + 1;
        if (n < 0 || n > 4 || w < 1 || w > 7)
            throw RuleError();
        // The occurrence in the month M - 1 months on; if that lies before the start,
        // the one a further month on (with M >= 1 that one always lies after it).
        std::string result;
        for (int p : {m - 1, m}) {
            const std::string t = addMonths(start, p);
            if (n == 4) {
                const std::string l = lastOfMonth(t);
                const int g = weekday(l) - w;
                result = addDays(l, g < 0 ? -g - 7 : -g);
            } else {
                const std::string f = firstOfMonth(t);
                const int c = w - weekday(f);
                result = addDays(f, c < 0 ? c + 7 * (n + 1) : c + 7 * n);
            }
            if (result >= start)
                break;
        }
        return result;
    }
    case 3:
        return {};
    default:
        throw RuleError();
    }
}

Variant rollDates(const Variant& params, std::string_view runDate)
{
    Variant values = element(params, 1);
    const Variant& rules = element(params, 3);
    dateOf(runDate);
    const int n = intOfVariant(element(rules, 0));
    for (int i = 1; i <= n; ++i) {
        const std::string line = safeVarToStr(element(rules, i));
        auto f = [&](int k) { return GetField(line, kFieldMark, k); };
        const std::string type = f(1);
        const std::string granularity = f(type == "1" ? 8 : 13);
        const std::string base = granularity == "D" ? std::string(runDate) : std::string(runDate.substr(0, 6));
        if (type == "1") {
            const int d = intOf(f(9));
            element(values, d);
            if (f(3) == "Y")
                values[d] = Variant(ruleDate(base, f(4), f(5), f(6), f(7)));
        } else if (type == "0") {
            const int d = intOf(f(14));
            Variant v = element(values, d);
            if (f(3) == "Y") {
                element(v, 1);
                v[1] = Variant(ruleDate(base, f(4), f(5), f(6), f(7)));
            }
            if (f(8) == "Y") {
                element(v, 2);
                v[2] = Variant(ruleDate(base, f(9), f(10), f(11), f(12)));
            }
            values[d] = v;
        } else {
            throw RuleError();
        }
    }
    return values;
}

} // namespace

std::string NextScheduledDate(std::string_view startDate, const Variant& schedule)
{
    try {
        return nextScheduled(startDate, schedule);
    } catch (const RuleError&) {
        return {};
    } catch (const Exception&) {
        return {};
    }
}

Variant RollConditionDates(const Variant& params, std::string_view runDate)
{
    try {
        return rollDates(params, runDate);
    } catch (const RuleError&) {
        return Variant(std::string());
    } catch (const Exception&) {
        return Variant(std::string());
    }
}

std::string RelativeDate(std::string_view base, std::string_view count, std::string_view unit,
                         std::string_view days, std::string_view mode)
{
    try {
        return relativeDate(base, count, unit, days, mode);
    } catch (const RuleError&) {
        return {};
    }
}

std::string WeekBoundary(std::string_view base, int count, int mode)
{
    try {
        return weekBoundary(base, count, mode);
    } catch (const RuleError&) {
        return {};
    }
}
