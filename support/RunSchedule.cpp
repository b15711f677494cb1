#include "support/RunSchedule.h"

#include "platform/OleDate.h"
#include "support/Dates.h"
#include "support/Helpers.h"
#include "support/MessageText.h"
#include "support/ScheduleRules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Why a period value cannot be read.
struct Unreadable {
    std::string why;
};

const Variant& item(const Variant& a, int i, const char* what)
{
    if (!a.isArray() || a.dimCount() != 1)
        throw Unreadable{std::string(what) + " is not an array"};
    if (i < a.lowBound() || i > a.highBound())
        throw Unreadable{std::string(what) + " has no element " + std::to_string(i)};
    return a[i];
}

// A whole number, also as text ("2") or as a whole double.
int whole(const Variant& v, const char* what, int low, int high)
{
    int n = 0;
    bool ok = false;
    if (v.type() == VarType::Int || v.type() == VarType::Int64) {
        ok = v.toInt64() >= low && v.toInt64() <= high;
        n = ok ? v.toInt() : 0;
    } else if (v.type() == VarType::Double) {
        const double d = v.toDouble();
        ok = std::floor(d) == d && d >= low && d <= high;
        n = ok ? int(d) : 0;
    } else if (v.isString()) {
        ok = tryStrToInt(trimText(safeVarToStr(v)), n) && n >= low && n <= high;
    }
    if (!ok)
        throw Unreadable{std::string(what) + " must be a whole number from " + std::to_string(low) + " to "
                         + std::to_string(high) + " (not \"" + safeVarToStr(v) + "\")"};
    return n;
}

std::string compactDate(const Variant& v, const char* what)
{
    const std::string s = v.isString() ? trimText(safeVarToStr(v)) : std::string();
    if (s.empty() || !IsValidCompactDate(s))
        throw Unreadable{std::string(what) + " must be a date yyyymmdd (not \"" + safeVarToStr(v) + "\")"};
    return s;
}

double atTime(const RunPeriod& p, const std::string& date)
{
    const double d = CompactToDate(date);
    return d == 0 ? 0 : d + EncodeTime(p.hour, p.minute, 0);
}

constexpr double kHalfMillisecond = 0.5 / 86400000.0;
// Steps a schedule is followed to its first moment to come: a daily cycle from 1900 takes
// some 46,000.
constexpr long kMostSteps = 1000000;

double roundToMillisecond(double moment)
{
    return std::round(moment * 86400000.0) / 86400000.0;
}

const char* const kWeekdays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kOccurrences[] = {"first", "second", "third", "fourth", "last"};

std::string shownDate(const std::string& compact)
{
    return compact.size() == 8 ? compact.substr(0, 4) + "-" + compact.substr(4, 2) + "-" + compact.substr(6, 2)
                               : compact;
}

} // namespace

bool ReadRunPeriod(const Variant& value, RunPeriod& period, std::string& why)
{
    try {
        RunPeriod p;
        if (!value.isArray() || value.dimCount() != 1 || value.lowBound() != 0 || value.highBound() < 3)
            throw Unreadable{"The period value must be an array 0..3 [\"Y\", time, schedule, cycle range]"};
        if (upperAscii(trimText(safeVarToStr(value[0]))) != "Y")
            throw Unreadable{"The period value does not start with \"Y\""};

        const std::string time = trimText(safeVarToStr(value[1]));
        if (time.size() != 5 || time[2] != ':')
            throw Unreadable{"The time of day of the period must be hh:mm (not \"" + time + "\")"};
        p.hour = whole(Variant(time.substr(0, 2)), "The hour of the period", 0, 23);
        p.minute = whole(Variant(time.substr(3, 2)), "The minute of the period", 0, 59);

        p.schedule = value[2];
        p.kind = whole(item(p.schedule, 0, "The schedule"), "The cycle kind", 0, 3);
        const Variant& detail = item(p.schedule, 1, "The schedule");
        switch (p.kind) {
        case 0:
            p.every = whole(detail, "The number of days", 1, 999);
            break;
        case 1:
            p.every = whole(item(detail, 0, "The weekly schedule"), "The number of weeks", 1, 99);
            p.weekday = whole(item(detail, 1, "The weekly schedule"), "The weekday", 0, 6);
            break;
        case 2:
            p.byWeekday = whole(item(detail, 0, "The monthly schedule"), "The monthly style", 0, 1) == 1;
            p.every = whole(item(detail, 1, "The monthly schedule"), "The number of months", 1, 99);
            if (p.byWeekday) {
                p.occurrence = whole(item(detail, 2, "The monthly schedule"), "The occurrence of the weekday", 0, 4);
                p.weekday = whole(item(detail, 3, "The monthly schedule"), "The weekday", 0, 6);
            } else {
                p.monthDay = whole(item(detail, 2, "The monthly schedule"), "The day of the month", 1, 31);
            }
            break;
        default: {
            double h = 0;
            bool ok = false;
            if (detail.isNumeric()) {
                h = detail.toDouble();
                ok = true;
            } else if (detail.isString()) {
                h = TextToFloatDef(safeVarToStr(detail), -1);
                ok = h >= 0;
            }
            // A step below 36 seconds would run the job without pause.
            if (!ok || !(h >= 0.01) || h > 99999)
                throw Unreadable{"The number of hours must lie from 0.01 to 99999 (not \"" + safeVarToStr(detail) + "\")"};
            p.hours = h;
        }
        }

        const Variant& range = value[3];
        p.startDate = compactDate(item(range, 0, "The cycle range"), "The start date of the cycle");
        const int rangeKind = whole(item(range, 1, "The cycle range"), "The kind of cycle range", 0, 2);
        if (rangeKind == 1) {
            p.range = RunPeriod::Range::Runs;
            p.maxRuns = whole(item(range, 2, "The cycle range"), "The number of runs", 1, 999);
        } else if (rangeKind == 2) {
            p.range = RunPeriod::Range::EndDate;
            p.endDate = compactDate(item(range, 2, "The cycle range"), "The end date of the cycle");
            if (p.endDate < p.startDate)
                throw Unreadable{MessageCode("E;000050", {p.endDate, p.startDate})};
        }
        if (p.kind != 3 && NextScheduledDate(p.startDate, p.schedule).empty())
            throw Unreadable{"The schedule gives no first run date"};
        period = std::move(p);
        return true;
    } catch (const Unreadable& e) {
        why = e.why;
        return false;
    } catch (const Exception& e) {
        why = std::string("The period value cannot be read: ") + e.what();
        return false;
    }
}

double FirstRunMoment(const RunPeriod& period, double submitted)
{
    if (period.kind == 3)
        return roundToMillisecond(std::max(submitted, atTime(period, period.startDate)));
    double moment = atTime(period, NextScheduledDate(period.startDate, period.schedule));
    // Half a millisecond: a run at the very moment of submission is still to come.
    for (long step = 0; moment > 0 && moment < submitted - kHalfMillisecond; ++step) {
        if (step >= kMostSteps)
            return 0;
        moment = NextRunMoment(period, moment);
    }
    return moment;
}

double FirstQueuedRun(const RunPeriod* period, int runMode, double runAt, double submitted)
{
    if (period)
        return runMode == 1 ? submitted : FirstRunMoment(*period, std::max(runAt, submitted));
    return runMode == 2 ? runAt : submitted;
}

double FollowingRunMoment(const RunPeriod& period, double scheduled, int runNumber, int runMode)
{
    const bool ranAtOnce = runMode == 1 && runNumber == 1 && period.kind != 3;
    const double next = ranAtOnce ? FirstRunMoment(period, scheduled + 2 * kHalfMillisecond)
                                  : NextRunMoment(period, scheduled);
    return WithinRunRange(period, next, runNumber + 1) ? next : 0;
}

DuePeriods PeriodsDue(const RunPeriod& period, double due, double now, int runNumber, long limit)
{
    DuePeriods d;
    if (due <= 0 || due > now || !WithinRunRange(period, due, runNumber))
        return d;
    d.first = d.last = due;
    d.count = 1;
    for (double next = NextRunMoment(period, due); next > 0 && next <= now && d.count < limit;
         next = NextRunMoment(period, next)) {
        if (!WithinRunRange(period, next, runNumber))
            break;
        d.last = next;
        ++d.count;
    }
    return d;
}

double PeriodAfter(const RunPeriod& period, double first, long steps)
{
    double moment = first;
    for (long i = 0; i < steps && moment > 0; ++i)
        moment = NextRunMoment(period, moment);
    return moment;
}

std::string PeriodicRunKey(const RunPeriod& period, double runMoment, int runNumber)
{
    if (period.kind == 3) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%08d", runNumber % 100000000);
        return buf;
    }
    return dateToCompact(std::floor(runMoment));
}

double NextRunMoment(const RunPeriod& period, double previous)
{
    if (previous <= 0)
        return 0;
    double next = 0;
    const std::string day = dateToCompact(std::floor(previous));
    switch (period.kind) {
    case 0:
        next = atTime(period, AddToCompactDate(Variant(day), "D", period.every));
        break;
    case 1:
        next = atTime(period, NextScheduledDate(AddToCompactDate(Variant(day), "D", 1), period.schedule));
        break;
    case 2: {
        const std::string month = AddToCompactDate(Variant(day.substr(0, 6) + "01"), "M", period.every);
        const Variant once = period.byWeekday
                                 ? Variant::list({2, Variant::list({1, 1, period.occurrence, period.weekday})})
                                 : Variant::list({2, Variant::list({0, 1, period.monthDay})});
        next = atTime(period, NextScheduledDate(month, once));
        break;
    }
    default:
        next = roundToMillisecond(previous + period.hours / 24.0);
    }
    // A schedule that does not move on would run for ever.
    return next > previous ? next : 0;
}

bool WithinRunRange(const RunPeriod& period, double moment, int runNumber)
{
    if (moment <= 0 || runNumber < 1)
        return false;
    switch (period.range) {
    case RunPeriod::Range::Runs:
        return runNumber <= period.maxRuns;
    case RunPeriod::Range::EndDate:
        return dateToCompact(std::floor(moment)) <= period.endDate;
    default:
        return true;
    }
}

std::vector<double> ForecastRunMoments(const RunPeriod& period, double next, int runsDone, int count)
{
    std::vector<double> out;
    for (int i = 0; i < count && WithinRunRange(period, next, runsDone + 1 + i); ++i) {
        out.push_back(next);
        next = NextRunMoment(period, next);
    }
    return out;
}

std::string DescribeRunPeriod(const RunPeriod& p)
{
    char buf[64];
    std::string s;
    auto every = [&](const char* unit) {
        s = p.every == 1 ? std::string("every ") + unit : "every " + std::to_string(p.every) + " " + unit + "s";
    };
    switch (p.kind) {
    case 0:
        every("day");
        break;
    case 1:
        every("week");
        s += std::string(" on ") + kWeekdays[p.weekday];
        break;
    case 2:
        every("month");
        if (p.byWeekday)
            s += std::string(" on the ") + kOccurrences[p.occurrence] + " " + kWeekdays[p.weekday];
        else
            s += " on day " + std::to_string(p.monthDay);
        break;
    default:
        std::snprintf(buf, sizeof buf, "every %g hours", p.hours);
        s = buf;
    }
    if (p.kind != 3) {
        std::snprintf(buf, sizeof buf, " at %02d:%02d", p.hour, p.minute);
        s += buf;
    }
    s += ", from " + shownDate(p.startDate);
    switch (p.range) {
    case RunPeriod::Range::Runs:
        s += p.maxRuns == 1 ? ", 1 run" : ", " + std::to_string(p.maxRuns) + " runs";
        break;
    case RunPeriod::Range::EndDate:
        s += ", until " + shownDate(p.endDate);
        break;
    default:
        s += ", no end";
    }
    return s;
}

std::string DescribeRunPeriod(const RunPeriod& p, HostLanguage language)
{
    if (language == HostLanguage::English)
        return DescribeRunPeriod(p);
    // The two Chinese wordings differ in a few characters only: [0] simplified, [1] traditional.
    const int t = language == HostLanguage::Traditional ? 1 : 0;
    static const char* const weekdays[] = {"日", "一", "二", "三", "四", "五", "六"};
    static const char* const occurrences[2][5] = {{"第一个", "第二个", "第三个", "第四个", "最后一个"},
                                                  {"第一個", "第二個", "第三個", "第四個", "最後一個"}};
    static const char* const week[] = {"周", "週"};
    static const char* const months[] = {"个月", "個月"};
    const std::string every = p.every == 1 ? std::string() : " " + std::to_string(p.every) + " ";
    char buf[64];
    std::string s;
    switch (p.kind) {
    case 0:
        s = p.every == 1 ? std::string("每天") : "每" + every + "天";
        break;
    case 1:
        s = "每" + every + week[t] + "星期" + weekdays[p.weekday];
        break;
    case 2:
        s = p.every == 1 ? std::string("每月") : "每" + every + months[t];
        s += p.byWeekday ? std::string(occurrences[t][p.occurrence]) + "星期" + weekdays[p.weekday]
                         : " " + std::to_string(p.monthDay) + " 日";
        break;
    default:
        std::snprintf(buf, sizeof buf, "每 %g %s", p.hours, t ? "小時" : "小时");
        s = buf;
    }
    if (p.kind != 3) {
        std::snprintf(buf, sizeof buf, " %02d:%02d", p.hour, p.minute);
        s += buf;
    }
    s += ", 自 " + shownDate(p.startDate) + " 起";
    switch (p.range) {
    case RunPeriod::Range::Runs:
        s += ", 共 " + std::to_string(p.maxRuns) + " 次";
        break;
    case RunPeriod::Range::EndDate:
        s += ", 至 " + shownDate(p.endDate) + " 止";
        break;
    default:
        s += t ? ", 不限次數" : ", 不限次数";
    }
    return s;
}
