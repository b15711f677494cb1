#pragma once
// Schedule date rules of periodic jobs: the first run date of a schedule and the rolling
// of a job's date conditions to the run date. Dates are compact texts ("yyyymmdd", a
// year and month "yyyymm"); weekdays run 1 = Sunday to 7 = Saturday.
//
// Schedule value [kind, detail]:
//   0 every N days: N              1 every N weeks: [N, weekday index 0-6 (0 Sunday)]
//   2 monthly: [0, M, day] or [1, M, n (0-3 first to fourth, 4 last), weekday index]
//   3 every N hours: N
// Rule line, fields separated by the character with code 3:
//   single date: "1", control, moves Y/N, count, unit (0 week, 1 month), mode (0 add days,
//                1 first day, 2 last day), days, granularity (D day, M month), option index
//   range: "0", control, start rule (5 fields as above), end rule (5 fields), granularity,
//          option index

#include "platform/Variant.h"

#include <string>
#include <string_view>

// First run date on or after the start; empty for hourly cycles and for a start or a
// schedule that cannot be read.
std::string NextScheduledDate(std::string_view startDate, const Variant& schedule);
// params: array 1..3 = [option values, period value, rules]; rules[0] = n, rules[1..n]
// the lines. Answers the option values with every moving date set from runDate, or the
// empty text when anything cannot be read.
Variant RollConditionDates(const Variant& params, std::string_view runDate);
// count, unit, days and mode are integer texts as in a rule line. Empty text when they
// cannot be read.
std::string RelativeDate(std::string_view base, std::string_view count, std::string_view unit,
                         std::string_view days, std::string_view mode);
// mode 1: the Sunday, mode 2: the Saturday of the week count weeks from base.
std::string WeekBoundary(std::string_view base, int count, int mode);
