#include "export/ExportTable.h"

#include "platform/OleDate.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

ExportError::ExportError(Reason reason, std::string detail)
    : Exception([&] {
          static const char* const kinds[] = {"cannot write", "too large for a spreadsheet", "no such date"};
          return std::string(kinds[reason]) + ": " + detail;
      }()),
      reason_(reason), detail_(std::move(detail))
{
}

ExportError::~ExportError() = default;

ExportTable::ExportTable(std::vector<ExportColumn> columns, std::int64_t rowCount, RowReader reader)
    : columns_(std::move(columns)), rowCount_(rowCount < 0 ? 0 : rowCount), reader_(std::move(reader))
{
}

void ExportTable::ReadRow(std::int64_t row, std::vector<ExportCell>& cells) const
{
    cells.assign(columns_.size(), ExportCell());
    if (reader_)
        reader_(row, cells);
    // A reader that made the row longer or shorter still gives one cell a column.
    cells.resize(columns_.size());
}

ExportTable TableOfRows(std::vector<ExportColumn> columns, std::vector<std::vector<ExportCell>> rows)
{
    auto held = std::make_shared<std::vector<std::vector<ExportCell>>>(std::move(rows));
    const auto count = std::int64_t(held->size());
    return ExportTable(std::move(columns), count, [held](std::int64_t row, std::vector<ExportCell>& cells) {
        const auto& from = (*held)[std::size_t(row)];
        for (std::size_t c = 0; c < cells.size() && c < from.size(); ++c)
            cells[c] = from[c];
    });
}

int SignificantDigits(const Decimal& amount)
{
    // Digits of the units without their trailing zeros; the scale adds only leading zeros.
    std::uint64_t units = amount.units() < 0 ? 0 - std::uint64_t(amount.units()) : std::uint64_t(amount.units());
    while (units != 0 && units % 10 == 0)
        units /= 10;
    int digits = 0;
    for (; units != 0; units /= 10)
        ++digits;
    return digits;
}

std::string ExactAmountText(const Decimal& amount, int decimals)
{
    std::string text = amount.toString();
    const std::size_t point = text.find('.');
    const int places = point == std::string::npos ? 0 : int(text.size() - point - 1);
    if (places < decimals) {
        if (point == std::string::npos)
            text += '.';
        text.append(std::size_t(decimals - places), '0');
    }
    return text;
}

bool IsRealDate(const ExportDate& date)
{
    return IsValidDate(date.year, date.month, date.day);
}

std::string IsoDateText(const ExportDate& date)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year % 10000, date.month % 100, date.day % 100);
    return text;
}

std::string CellName(std::int64_t row, int column)
{
    std::string letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), char('A' + (c - 1) % 26));
    return letters + std::to_string(row + 1);
}

namespace {

// The length of the well-formed UTF-8 sequence at i (0 when malformed): no overlong
// forms, no surrogates, nothing past U+10FFFF.
std::size_t sequenceAt(const std::string& s, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
    const unsigned c = byte(i);
    const auto tail = [&](std::size_t k) { return (byte(k) & 0xC0u) == 0x80u; };
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        return tail(i + 1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        const unsigned c1 = byte(i + 1);
        const bool ok = (c == 0xE0 ? c1 >= 0xA0 : c == 0xED ? c1 < 0xA0 : true);
        return ok && tail(i + 1) && tail(i + 2) ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        const unsigned c1 = byte(i + 1);
        const bool ok = (c == 0xF0 ? c1 >= 0x90 : c == 0xF4 ? c1 < 0x90 : true);
        return ok && tail(i + 1) && tail(i + 2) && tail(i + 3) ? 4 : 0;
    }
    return 0;
}

} // namespace

std::string ValidUtf8(std::string text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t n = sequenceAt(text, i);
        if (n == 0)
            break;
        i += n;
    }
    if (i == text.size())
        return text;
    std::string out = text.substr(0, i);
    while (i < text.size()) {
        const std::size_t n = sequenceAt(text, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(text, i, n);
            i += n;
        }
    }
    return out;
}
