#pragma once
// A table for a spreadsheet: columns with a title and a kind (text, amount with its
// decimals, date, tick) and rows of cells, read one row at a time so that a list of any
// length goes to a file without being copied. XlsxExport and CsvExport write it.

#include "dataset/Decimal.h"
#include "platform/Exception.h"

#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

enum class ColumnKind { Text, Amount, Date, Tick };

struct ExportColumn {
    std::string title; // UTF-8
    ColumnKind kind = ColumnKind::Text;
    int decimals = 2;       // Amount: the places shown (0..18)
    std::string dateFormat; // Date: the spreadsheet's pattern; empty: yyyy-mm-dd
};

struct ExportDate {
    int year = 0, month = 0, day = 0;
};

// A cell: empty, a text, an amount, a date or a tick. A cell need not be of its column's
// kind (a date column may hold the text of a date that could not be read): each is
// written as what it is.
using ExportCell = std::variant<std::monostate, std::string, Decimal, ExportDate, bool>;

class ExportTable {
public:
    // Fills cells (sized to the columns, emptied) with the row's cells, rows from 0.
    using RowReader = std::function<void(std::int64_t row, std::vector<ExportCell>& cells)>;

    ExportTable(std::vector<ExportColumn> columns, std::int64_t rowCount, RowReader reader);

    const std::vector<ExportColumn>& Columns() const { return columns_; }
    std::int64_t RowCount() const { return rowCount_; }
    void ReadRow(std::int64_t row, std::vector<ExportCell>& cells) const;

private:
    std::vector<ExportColumn> columns_;
    std::int64_t rowCount_;
    RowReader reader_;
};

// A table of rows held in memory.
ExportTable TableOfRows(std::vector<ExportColumn> columns, std::vector<std::vector<ExportCell>> rows);

// Why an export failed; the detail names the file, the cell or the limit.
class ExportError : public Exception {
public:
    enum Reason { CannotWrite, TooLarge, NoSuchDate };
    ExportError(Reason reason, std::string detail);
    ~ExportError() override;
    Reason reason() const { return reason_; }
    const std::string& detail() const { return detail_; }

private:
    Reason reason_;
    std::string detail_;
};

struct ExportResult {
    std::int64_t rows = 0;
    // Amounts of more digits than a spreadsheet's number holds, written as their exact text.
    std::int64_t amountsAsText = 0;
    std::string firstAmountAsText; // its cell, "F12"
};

// The significant digits a spreadsheet's number keeps exactly.
constexpr int kSpreadsheetDigits = 15;
// Digits of the amount without leading and trailing zeros (0 has none).
int SignificantDigits(const Decimal& amount);
// The exact text with at least `decimals` places: "1200.50", "0.123456"; never rounded.
std::string ExactAmountText(const Decimal& amount, int decimals);
bool IsRealDate(const ExportDate& date);
// "2024-03-31".
std::string IsoDateText(const ExportDate& date);
// The spreadsheet's name of a cell: row and column from 0, "A1".
std::string CellName(std::int64_t row, int column);
// The text made valid UTF-8: a malformed byte becomes U+FFFD (a file of broken text
// opens nowhere).
std::string ValidUtf8(std::string text);
