#pragma once
// Display patterns of numbers and dates, as fields and grids show their values.

#include "dataset/Decimal.h"

#include <string>
#include <string_view>

// FormatFloat-style display patterns ("#,##0.00", "#0.000", "0.0#;(0.0#);zero") applied to
// a decimal text exactly, without going through binary floating point.
std::string FormatDecimalText(std::string_view format, const Decimal& value);
std::string FormatFloatText(std::string_view format, double value);
// The display pattern of an amount column: "#,##0" .. "#,##0.0000000" by decimals
// (clamped to 0..7).
std::string AmountFormat(int decimals);
// An amount as an amount column shows it ("121,164.99"), with at least `decimals` places
// and more where the amount has them, so that nothing is rounded away.
std::string ShownAmountText(const Decimal& amount, int decimals);
// Date patterns: yyyy, yy, mm, m, dd, d, hh, nn, ss; quoted text and other characters
// are copied.
std::string FormatDateText(std::string_view format, double oleDays);
