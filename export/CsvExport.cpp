#include "export/CsvExport.h"

#include "export/ReplacingFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Written out in pieces of about this size.
constexpr std::size_t kChunk = 1 << 20;

void appendField(std::string& out, std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

void appendText(std::string& out, const std::string& text)
{
    const std::string valid = ValidUtf8(text);
    if (!valid.empty() && std::strchr("=+-@\t\r", valid.front()) != nullptr)
        appendField(out, "'" + valid);
    else
        appendField(out, valid);
}

void appendCell(std::string& out, const ExportCell& cell, const ExportColumn& column, std::int64_t row, int c)
{
    if (const auto* text = std::get_if<std::string>(&cell)) {
        appendText(out, *text);
    } else if (const auto* amount = std::get_if<Decimal>(&cell)) {
        out += ExactAmountText(*amount, column.decimals);
    } else if (const auto* date = std::get_if<ExportDate>(&cell)) {
        if (!IsRealDate(*date))
            throw ExportError(ExportError::NoSuchDate, CellName(row, c) + ": " + IsoDateText(*date));
        out += IsoDateText(*date);
    } else if (const auto* tick = std::get_if<bool>(&cell)) {
        out += *tick ? "TRUE" : "FALSE";
    }
}

class Output {
public:
    Output(const std::string& path, const std::string& shownPath) : shown_(shownPath)
    {
        file_ = std::fopen(path.c_str(), "wb");
        if (!file_)
            fail();
    }
    ~Output()
    {
        if (file_)
            std::fclose(file_);
    }
    void write(std::string& buffer)
    {
        if (!buffer.empty() && std::fwrite(buffer.data(), 1, buffer.size(), file_) != buffer.size())
            fail();
        buffer.clear();
    }
    // A full disk may tell only at the last flush or the close.
    void close()
    {
        std::FILE* file = file_;
        file_ = nullptr;
        if (std::fflush(file) != 0) {
            const int error = errno;
            std::fclose(file);
            errno = error;
            fail();
        }
        if (std::fclose(file) != 0)
            fail();
    }

private:
    [[noreturn]] void fail() const
    {
        throw ExportError(ExportError::CannotWrite, shown_ + ": " + std::strerror(errno));
    }
    std::FILE* file_ = nullptr;
    std::string shown_;
};

} // namespace

ExportResult WriteCsv(const ExportTable& table, const std::string& path)
{
    ReplacingFile file(path);
    ExportResult result;
    {
        Output out(file.PartPath(), path);
        const auto& columns = table.Columns();
        std::string buffer = "\xEF\xBB\xBF";
        buffer.reserve(kChunk + 4096);
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (c > 0)
                buffer += ',';
            appendText(buffer, columns[c].title);
        }
        buffer += "\r\n";
        std::vector<ExportCell> cells;
        for (std::int64_t row = 0; row < table.RowCount(); ++row) {
            table.ReadRow(row, cells);
            for (std::size_t c = 0; c < cells.size(); ++c) {
                if (c > 0)
                    buffer += ',';
                appendCell(buffer, cells[c], columns[c], row + 1, int(c));
            }
            buffer += "\r\n";
            ++result.rows;
            if (buffer.size() >= kChunk)
                out.write(buffer);
        }
        out.write(buffer);
        out.close();
    }
    file.Commit();
    return result;
}
