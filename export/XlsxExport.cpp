#include "export/XlsxExport.h"

#include "export/ReplacingFile.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

// Excel's 1900 date system starts on 1 January 1900.
constexpr int kFirstDateYear = 1900;
// Column widths in characters, sampled from this many rows.
constexpr std::int64_t kWidthSampleRows = 200;
constexpr double kMaxTextWidth = 50;

std::string amountFormat(int decimals)
{
    return decimals <= 0 ? "#,##0" : "#,##0." + std::string(std::size_t(std::min(decimals, 18)), '0');
}

// The width a text takes: wide (CJK) characters count two.
double textWidth(std::string_view text)
{
    double width = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80)
            width += c >= 0xE0 ? 2 : 1;
    return width;
}

// The workbook closed whatever happens; its error, if any, reported once.
class Workbook {
public:
    explicit Workbook(const std::string& path)
    {
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        book_ = workbook_new_opt(path.c_str(), &options);
    }
    ~Workbook()
    {
        if (book_)
            workbook_close(book_);
    }
    lxw_workbook* get() const { return book_; }
    lxw_error close()
    {
        lxw_workbook* book = book_;
        book_ = nullptr;
        return workbook_close(book);
    }

private:
    lxw_workbook* book_ = nullptr;
};

struct ColumnFormats {
    lxw_format* amount = nullptr;
    lxw_format* date = nullptr;
};

class SheetWriter {
public:
    SheetWriter(const ExportTable& table, lxw_workbook* book, lxw_worksheet* sheet)
        : table_(table), book_(book), sheet_(sheet)
    {
    }
    void layout();
    void rows(ExportResult& result);

private:
    void check(lxw_error error, std::int64_t row, int column) const;
    void write(const ExportCell& cell, lxw_row_t row, int column, ExportResult& result);

    const ExportTable& table_;
    lxw_workbook* book_;
    lxw_worksheet* sheet_;
    std::vector<ColumnFormats> formats_;
    lxw_format* title_ = nullptr;
    lxw_format* tick_ = nullptr;
    lxw_format* exactText_ = nullptr;
    lxw_format* isoDate_ = nullptr;
};

void SheetWriter::check(lxw_error error, std::int64_t row, int column) const
{
    if (error == LXW_NO_ERROR)
        return;
    const std::string cell = CellName(row, column);
    if (error == LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED)
        throw ExportError(ExportError::TooLarge, cell + ": a text longer than a cell holds");
    throw ExportError(ExportError::CannotWrite, cell + ": " + lxw_strerror(error));
}

void SheetWriter::layout()
{
    const auto& columns = table_.Columns();
    title_ = workbook_add_format(book_);
    format_set_bold(title_);
    tick_ = workbook_add_format(book_);
    format_set_align(tick_, LXW_ALIGN_CENTER);
    exactText_ = workbook_add_format(book_);
    format_set_align(exactText_, LXW_ALIGN_RIGHT);
    isoDate_ = workbook_add_format(book_);
    format_set_num_format(isoDate_, "yyyy-mm-dd");
    std::vector<double> widths(columns.size());
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const ExportColumn& column = columns[c];
        ColumnFormats& f = formats_.emplace_back();
        // Any column may hold an amount: it shows the column's decimals.
        f.amount = workbook_add_format(book_);
        format_set_num_format(f.amount, amountFormat(column.decimals).c_str());
        f.date = isoDate_;
        if (column.kind == ColumnKind::Date && !column.dateFormat.empty()) {
            f.date = workbook_add_format(book_);
            format_set_num_format(f.date, column.dateFormat.c_str());
        }
        const double least = column.kind == ColumnKind::Amount ? 14 : column.kind == ColumnKind::Date ? 11 : 6;
        widths[c] = std::max(least, textWidth(column.title) + 3);
    }
    // Text columns as wide as their first rows need, within reason.
    std::vector<ExportCell> cells;
    for (std::int64_t row = 0; row < std::min(table_.RowCount(), kWidthSampleRows); ++row) {
        table_.ReadRow(row, cells);
        for (std::size_t c = 0; c < cells.size(); ++c)
            if (const auto* text = std::get_if<std::string>(&cells[c]))
                widths[c] = std::max(widths[c], std::min(kMaxTextWidth, textWidth(*text) + 1));
    }
    for (std::size_t c = 0; c < columns.size(); ++c)
        check(worksheet_set_column(sheet_, lxw_col_t(c), lxw_col_t(c), widths[c], nullptr), 0, int(c));
    worksheet_freeze_panes(sheet_, 1, 0);
    if (!columns.empty())
        check(worksheet_autofilter(sheet_, 0, 0, lxw_row_t(table_.RowCount()), lxw_col_t(columns.size() - 1)), 0, 0);
    for (std::size_t c = 0; c < columns.size(); ++c)
        check(worksheet_write_string(sheet_, 0, lxw_col_t(c), ValidUtf8(columns[c].title).c_str(), title_), 0, int(c));
}

void SheetWriter::write(const ExportCell& cell, lxw_row_t row, int column, ExportResult& result)
{
    const lxw_col_t col = lxw_col_t(column);
    lxw_error error = LXW_NO_ERROR;
    if (const auto* text = std::get_if<std::string>(&cell)) {
        error = worksheet_write_string(sheet_, row, col, ValidUtf8(*text).c_str(), nullptr);
    } else if (const auto* amount = std::get_if<Decimal>(&cell)) {
        const int decimals = table_.Columns()[std::size_t(column)].decimals;
        if (SignificantDigits(*amount) > kSpreadsheetDigits) {
            // A double would change the digits the clerk reads: the exact text instead.
            error = worksheet_write_string(sheet_, row, col, ExactAmountText(*amount, decimals).c_str(), exactText_);
            if (result.amountsAsText++ == 0)
                result.firstAmountAsText = CellName(row, column);
        } else {
            // The double nearest the decimal (from its text: correctly rounded).
            const std::string digits = amount->toString();
            double value = 0;
            std::from_chars(digits.data(), digits.data() + digits.size(), value);
            error = worksheet_write_number(sheet_, row, col, value, formats_[std::size_t(column)].amount);
        }
    } else if (const auto* date = std::get_if<ExportDate>(&cell)) {
        if (!IsRealDate(*date))
            throw ExportError(ExportError::NoSuchDate, CellName(row, column) + ": " + IsoDateText(*date));
        if (date->year < kFirstDateYear) {
            // Before the spreadsheet's first date: the date as text, not a wrong day.
            error = worksheet_write_string(sheet_, row, col, IsoDateText(*date).c_str(), nullptr);
        } else {
            lxw_datetime when{date->year, date->month, date->day, 0, 0, 0};
            error = worksheet_write_datetime(sheet_, row, col, &when, formats_[std::size_t(column)].date);
        }
    } else if (const auto* tick = std::get_if<bool>(&cell)) {
        error = worksheet_write_boolean(sheet_, row, col, *tick ? 1 : 0, tick_);
    }
    check(error, row, column);
}

void SheetWriter::rows(ExportResult& result)
{
    std::vector<ExportCell> cells;
    for (std::int64_t row = 0; row < table_.RowCount(); ++row) {
        table_.ReadRow(row, cells);
        for (std::size_t c = 0; c < cells.size(); ++c)
            write(cells[c], lxw_row_t(row + 1), int(c), result);
        ++result.rows;
    }
}

} // namespace

ExportResult WriteXlsx(const ExportTable& table, const std::string& path, const XlsxOptions& options)
{
    // A sheet's limits are checked before anything is written.
    if (table.RowCount() > LXW_ROW_MAX - 1)
        throw ExportError(ExportError::TooLarge, std::to_string(table.RowCount()) + " rows; a sheet holds " +
                                                     std::to_string(LXW_ROW_MAX - 1) + " below its titles");
    if (table.Columns().size() > LXW_COL_MAX)
        throw ExportError(ExportError::TooLarge, std::to_string(table.Columns().size()) + " columns; a sheet holds " +
                                                     std::to_string(LXW_COL_MAX));
    ReplacingFile file(path);
    ExportResult result;
    {
        Workbook book(file.PartPath());
        if (!book.get())
            throw ExportError(ExportError::CannotWrite, path);
        const std::string name = ValidUtf8(options.sheetName);
        const bool named = !name.empty() && workbook_validate_sheet_name(book.get(), name.c_str()) == LXW_NO_ERROR;
        lxw_worksheet* sheet = workbook_add_worksheet(book.get(), named ? name.c_str() : nullptr);
        if (!sheet)
            throw ExportError(ExportError::CannotWrite, path + ": no sheet (temporary files?)");
        SheetWriter writer(table, book.get(), sheet);
        writer.layout();
        writer.rows(result);
        const lxw_error closed = book.close();
        if (closed != LXW_NO_ERROR)
            throw ExportError(ExportError::CannotWrite, path + ": " + lxw_strerror(closed));
    }
    file.Commit();
    return result;
}
