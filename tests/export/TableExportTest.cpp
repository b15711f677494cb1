// Tables written to XLSX and CSV and read back as a spreadsheet reads them: the XLSX as the
// zip of XML it is, the CSV by RFC 4180.

#include "CsvRecords.h"

#include "export/CsvExport.h"
#include "export/XlsxExport.h"

#include <pugixml.hpp>
#include <zip.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace {

namespace fs = std::filesystem;

struct XlsxCell {
    std::string type;   // "" a number, "b" a Boolean, "inlineStr" a text
    std::string value;  // the number's text, "1"/"0", the text
    std::string format; // the number format of its style
    std::string align;  // the horizontal alignment of its style
};

std::string entry(const std::string& file, const char* name)
{
    int error = 0;
    zip_t* z = zip_open(file.c_str(), ZIP_RDONLY, &error);
    if (!z)
        return {};
    std::string out;
    zip_stat_t st;
    if (zip_stat(z, name, 0, &st) == 0) {
        zip_file_t* f = zip_fopen(z, name, 0);
        out.resize(st.size);
        if (f && zip_fread(f, out.data(), st.size) != zip_int64_t(st.size))
            out.clear();
        if (f)
            zip_fclose(f);
    }
    zip_close(z);
    return out;
}

// The cells of the first sheet by name ("A1"), each with the format its style gives it.
std::map<std::string, XlsxCell> readSheet(const std::string& file)
{
    pugi::xml_document styles, sheet;
    const std::string stylesXml = entry(file, "xl/styles.xml"), sheetXml = entry(file, "xl/worksheets/sheet1.xml");
    EXPECT_TRUE(styles.load_string(stylesXml.c_str()));
    EXPECT_TRUE(sheet.load_string(sheetXml.c_str()));
    std::map<int, std::string> formats{{0, "General"}, {14, "m/d/yyyy"}};
    for (pugi::xml_node f : styles.child("styleSheet").child("numFmts").children("numFmt"))
        formats[f.attribute("numFmtId").as_int()] = f.attribute("formatCode").value();
    std::vector<std::pair<std::string, std::string>> xfs;
    for (pugi::xml_node xf : styles.child("styleSheet").child("cellXfs").children("xf"))
        xfs.emplace_back(formats[xf.attribute("numFmtId").as_int()], xf.child("alignment").attribute("horizontal").value());
    std::map<std::string, XlsxCell> cells;
    for (pugi::xml_node row : sheet.child("worksheet").child("sheetData").children("row"))
        for (pugi::xml_node c : row.children("c")) {
            XlsxCell cell;
            cell.type = c.attribute("t").value();
            cell.value = cell.type == "inlineStr" ? c.child("is").child("t").text().get() : c.child("v").text().get();
            const std::size_t style = c.attribute("s").as_uint();
            if (style < xfs.size())
                std::tie(cell.format, cell.align) = xfs[style];
            cells[c.attribute("r").value()] = cell;
        }
    return cells;
}

// A number's text as a spreadsheet shows it at most: rounded to 15 significant digits.
Decimal shown(const std::string& text)
{
    Decimal d = Decimal::parse(text);
    const int digits = int(std::to_string(d.units() < 0 ? -d.units() : d.units()).size());
    if (digits > kSpreadsheetDigits && d.scale() > 0)
        d = d.rescaled(std::max(0, d.scale() - (digits - kSpreadsheetDigits)));
    return d;
}

std::string read(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class TableExport : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("qv-export-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::vector<ExportColumn> columns() const
    {
        return {{"选择", ColumnKind::Tick, 0, ""},
                {"供应商名称", ColumnKind::Text, 0, ""},
                {"单据日期", ColumnKind::Date, 0, "yyyy/mm/dd"},
                {"原币应付金额", ColumnKind::Amount, 2, ""},
                {"上次重估汇率", ColumnKind::Amount, 7, ""}};
    }
    fs::path dir;
};

} // namespace

TEST_F(TableExport, XlsxHoldsExactAmountsRealDatesAndTicks)
{
    const ExportTable table = TableOfRows(
        columns(),
        {{true, std::string("上海华东电子有限公司"), ExportDate{2024, 3, 31}, Decimal::parse("1234567.89"),
          Decimal::parse("6.8975")},
         {false, std::string("北京, \"东方\"\n贸易"), ExportDate{1899, 12, 31}, Decimal::parse("9.99999999999999"),
          Decimal::parse("-0.5")},
         // 17 significant digits: no spreadsheet number holds them.
         {false, ExportCell(), ExportCell(), Decimal::parse("123456789012345.67"), Decimal::parse("1200.5")}});
    const std::string file = (dir / "c.xlsx").string();
    const ExportResult result = WriteXlsx(table, file, {"WOFB07"});
    EXPECT_EQ(result.rows, 3);
    EXPECT_EQ(result.amountsAsText, 1);
    EXPECT_EQ(result.firstAmountAsText, "D4");

    auto cells = readSheet(file);
    EXPECT_EQ(cells["A1"].value, "选择");
    EXPECT_EQ(cells["E1"].value, "上次重估汇率");
    // Ticks are Booleans.
    EXPECT_EQ(cells["A2"].type, "b");
    EXPECT_EQ(cells["A2"].value, "1");
    EXPECT_EQ(cells["A3"].value, "0");
    EXPECT_EQ(cells["B3"].value, "北京, \"东方\"\n贸易");
    // A date is the day's number in a date format; before 1900 a spreadsheet has no day for it.
    EXPECT_EQ(cells["C2"].type, "");
    EXPECT_EQ(cells["C2"].value, "45382");
    EXPECT_EQ(cells["C2"].format, "yyyy/mm/dd");
    EXPECT_EQ(cells["C3"].type, "inlineStr");
    EXPECT_EQ(cells["C3"].value, "1899-12-31");
    EXPECT_EQ(cells.count("C4"), 0u);
    // Amounts are numbers shown with their column's decimals, exact to what a spreadsheet shows.
    const std::map<std::string, const char*> amounts{
        {"D2", "1234567.89"}, {"E2", "6.8975"}, {"D3", "9.99999999999999"}, {"E3", "-0.5"}, {"E4", "1200.5"}};
    for (const auto& [name, value] : amounts) {
        EXPECT_EQ(cells[name].type, "") << name;
        EXPECT_EQ(shown(cells[name].value), Decimal::parse(value)) << name << " holds " << cells[name].value;
    }
    EXPECT_EQ(cells["D2"].format, "#,##0.00");
    EXPECT_EQ(cells["E2"].format, "#,##0.0000000");
    // ... and the one of 17 digits its exact text, standing right as numbers do.
    EXPECT_EQ(cells["D4"].type, "inlineStr");
    EXPECT_EQ(cells["D4"].value, "123456789012345.67");
    EXPECT_EQ(cells["D4"].align, "right");
}

TEST_F(TableExport, CsvRoundTripKeepsChineseNamesWithCommasQuotesAndLineBreaks)
{
    const std::vector<std::string> names{"上海华东电子有限公司", "北京东方贸易, 有限公司", "台北 \"永丰\" 行",
                                         "广州\r\n南方实业", "=HYPERLINK(\"http://x\")"};
    std::vector<std::vector<ExportCell>> rows;
    for (std::size_t i = 0; i < names.size(); ++i)
        rows.push_back({i % 2 == 0, names[i], ExportDate{2024, 2, int(i) + 25},
                        Decimal::parse(i == 1 ? "1200.5" : i == 3 ? "0.123456" : "-3"),
                        Decimal::parse("123456789012345.6789")});
    const std::string file = (dir / "c.csv").string();
    EXPECT_EQ(WriteCsv(TableOfRows(columns(), rows), file).rows, 5);

    const CsvFile csv = ReadCsv(file);
    EXPECT_TRUE(csv.byteOrderMark);
    EXPECT_TRUE(csv.crlf);
    ASSERT_EQ(csv.records.size(), names.size() + 1);
    EXPECT_EQ(csv.records[0],
              (std::vector<std::string>{"选择", "供应商名称", "单据日期", "原币应付金额", "上次重估汇率"}));
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto& r = csv.records[i + 1];
        ASSERT_EQ(r.size(), 5u) << i;
        EXPECT_EQ(r[0], i % 2 == 0 ? "TRUE" : "FALSE");
        // A formula's text is kept from running by an apostrophe; the others come back as they were.
        EXPECT_EQ(r[1], i == 4 ? "'" + names[i] : names[i]);
        EXPECT_EQ(r[2], "2024-02-" + std::to_string(25 + i));
        // Amounts exact: the column's decimals at least, none cut.
        EXPECT_EQ(r[3], i == 1 ? "1200.50" : i == 3 ? "0.123456" : "-3.00");
        EXPECT_EQ(r[4], "123456789012345.6789000");
    }
}

TEST_F(TableExport, AFailedExportLeavesTheFileThatWasThereAndNothingElse)
{
    const fs::path xlsx = dir / "kept.xlsx", csv = dir / "kept.csv";
    std::ofstream(xlsx) << "the clerk's earlier file";
    std::ofstream(csv) << "the clerk's earlier file";

    // A text longer than a spreadsheet's cell, in the second row.
    const auto tooLong = TableOfRows(columns(), {{true, std::string("A")}, {true, std::string(40000, 'x')}});
    try {
        WriteXlsx(tooLong, xlsx.string());
        FAIL() << "a text too long for a cell was written";
    } catch (const ExportError& e) {
        EXPECT_EQ(e.reason(), ExportError::TooLarge);
        EXPECT_NE(e.detail().find("B3"), std::string::npos) << e.what();
    }
    // A date that does not exist, in a CSV.
    const auto badDate = TableOfRows(columns(), {{true, std::string("A"), ExportDate{2023, 2, 29}}});
    try {
        WriteCsv(badDate, csv.string());
        FAIL() << "2023-02-29 was written";
    } catch (const ExportError& e) {
        EXPECT_EQ(e.reason(), ExportError::NoSuchDate);
        EXPECT_NE(e.detail().find("C2"), std::string::npos) << e.what();
    }
    EXPECT_EQ(read(xlsx), "the clerk's earlier file");
    EXPECT_EQ(read(csv), "the clerk's earlier file");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2) << "a part file was left";

    // A folder that is not there: said, with the file's name.
    try {
        WriteCsv(badDate, (dir / "missing" / "c.csv").string());
        FAIL() << "wrote into a missing folder";
    } catch (const ExportError& e) {
        EXPECT_EQ(e.reason(), ExportError::CannotWrite);
        EXPECT_NE(e.detail().find("missing/c.csv"), std::string::npos) << e.what();
    }
}
