#pragma once
// Dates as the user sees them and as they travel: display texts by the user's date order
// (codes 1 to 5, see below) and separator, and compact dates "yyyymmdd". Dates are OLE
// day counts (platform/OleDate.h); 0 means no date throughout.
//
// Codes: 1 year-month-day, 2 month-day-year, 3 day-month-year, 4 and 5 year-month-day with
// the year less 1911, at least two or three digits. Only the first character of the
// separator is written; reading looks for the whole separator text.

#include "platform/Variant.h"

#include <string>
#include <string_view>

std::string DateToDisplayText(int code, std::string_view separator, double date);
std::string MonthToDisplayText(int code, std::string_view separator, double date);
// Three parts by the code; a day beyond the month's end runs on into the next month.
double DisplayTextToDate(std::string_view text, int code, std::string_view separator);

// 0 unless the text is eight characters forming a valid date.
double CompactToDate(std::string_view text);
// The empty text, or eight characters forming a date from 17530101 to 99991231.
bool IsValidCompactDate(std::string_view text);
// value: a compact date text or a date; unit "D", "M" or "Y" (any case). Months and
// years keep the day where it exists, else the month's last day. Empty text when the
// value, the unit or the result is no date.
std::string AddToCompactDate(const Variant& value, std::string_view unit, int amount);
// 28 to 31; 0 for a month outside 1 to 12.
int DaysInMonth(int year, int month);

// "yyyymmdd" of a date; empty for 0.
std::string dateToCompact(double date);
// Weekday 1 = Sunday to 7 = Saturday.
int dayOfWeek(double date);
