// Date texts under every date order (codes 1 to 5, and codes that are none) and any
// separator: display texts read back, compact dates and date arithmetic. Property: a date
// written under an order and a separator reads back as the same date.

#include "FuzzSupport.h"

#include "platform/OleDate.h"
#include "support/Dates.h"
#include "support/Utf8.h"

#include <cstring>

namespace {

constexpr double kLastDay = 2958465;   // 9999-12-31
constexpr double kFirstStoredDay = -53688; // 1753-01-01

bool digitFree(const std::string& s)
{
    for (char c : s)
        if ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == ' ' || c == '\t' || c == '\r' || c == '\n')
            return false;
    return !s.empty();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const int code = int(in.byte() % 7);
    std::uint32_t raw = 0;
    for (int i = 0; i < 4; ++i)
        raw = raw << 8 | in.byte();
    const int amount = int(raw);
    const std::string separator = in.text();
    const std::string text = in.text();
    const std::string unit = in.text();

    const double read = DisplayTextToDate(text, code, separator);
    fuzz::check(read == 0 || (read >= kFirstStoredDay && read <= kLastDay),
                "a display text reads as no date or a date from 1753 to 9999", text);
    const double compact = CompactToDate(text);
    (void)IsValidCompactDate(text);
    (void)AddToCompactDate(Variant(text), unit, amount);
    (void)AddToCompactDate(Variant::date(read), unit.empty() ? "D" : unit, amount);
    (void)DaysInMonth(amount, int(raw % 14));
    if (compact > 0)
        fuzz::check(CompactToDate(dateToCompact(compact)) == compact, "a compact date reads back", text);

    // A date from the input, written and read under this order and separator.
    const double date = 1 + double(raw % std::uint32_t(kLastDay));
    const std::string shown = DateToDisplayText(code, separator, date);
    (void)MonthToDisplayText(code, separator, date);
    (void)dayOfWeek(date);
    const CivilDate civil = DecodeDateTime(date);
    const bool rocYear = code == 4 || code == 5;
    // Only the first character of the separator is written.
    const std::u32string wide = toUtf32(separator);
    const std::string written = toUtf8(wide.substr(0, 1));
    if (code >= 1 && code <= 5 && digitFree(written) && separator.compare(0, written.size(), written) == 0 &&
        (!rocYear || civil.year > 1911))
        fuzz::check(DisplayTextToDate(shown, code, written) == date, "a date written by its order reads back",
                    shown + " code " + std::to_string(code));
    return 0;
}
