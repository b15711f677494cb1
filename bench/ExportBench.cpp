// The candidate list of 100,000 as the grid shows it, exported: the grid's table
// (controls/GridTable.h) written to XLSX (goal <= 5 s) and to CSV (goal <= 1 s). The list
// is loaded as btnFilter loads it (LoadCandidates, in parts), with the job's columns,
// formats and check box; no database. Medians of 3 XLSX and 5 CSV runs, printed with the
// goals, and how much the process's peak memory grew while writing (the workbook streams).

#include "controls/DataSource.h"
#include "controls/FDBGrid.h"
#include "controls/GridTable.h"
#include "dataset/ClientDataSet.h"
#include "dataset/DisplayFormat.h"
#include "export/CsvExport.h"
#include "export/XlsxExport.h"
#include "platform/OleDate.h"
#include "support/Dates.h"
#include "writeoff/WOFB07Query.h"

#include <QApplication>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kRows = 100000;
constexpr double kXlsxGoal = 5.0, kCsvGoal = 1.0;

double peakMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// A part of the answer as the server sends it: the 21 columns and the amount parts.
Variant answerPart(int first, int count)
{
    static const char* const names[] = {"华联电子有限公司", "宏达五金, 股份", "Mary's \"Best\" Supplies", "东方贸易"};
    Variant part = Variant::array(0, count - 1);
    for (int i = 0; i < count; ++i) {
        const int n = first + i;
        char number[16], date[16], cents[32];
        std::snprintf(number, sizeof number, "2024%07d", n);
        std::snprintf(date, sizeof date, "2024%02d%02d", 1 + n % 12, 1 + n % 28);
        std::snprintf(cents, sizeof cents, "%d.%02d", 100 + n % 90000, n % 100);
        const std::string supplier = "S" + std::to_string(1000 + n % 800);
        part[i] = Variant::list({"N", supplier, names[n % 4], "71", "7101", number, "FP" + std::string(number), date,
                                 "RMB", "1", "D01", "采购部", "E001", "王小明", "1", "", "", "", "", "备注 " + std::to_string(n),
                                 "P01", cents, "0", cents, "0", "0", "0", "1", "1"});
    }
    return part;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TClientDataSet data("cdsData");
    DefineCandidateFields(data);
    data.CreateDataSet();
    for (const char* field : {"MA016", "MA017", "MA021", "MA022"})
        data.FieldByName(field)->SetDisplayFormat(AmountFormat(2));
    for (int first = 0; first < kRows; first += kCandidatePartRows)
        LoadCandidates(data, answerPart(first, std::min(kCandidatePartRows, kRows - first)), 1, "/");
    data.SetIndexFieldNames("MA002;MA005;MA006;MA008");
    data.Open();
    TDataSource source;
    source.SetDataSet(&data);
    TFDBGrid grid;
    grid.SetDataSource(&source);
    grid.SetControlType({QStringLiteral("MA001;CheckBox;Y;N")});
    GridDateColumn dates{QStringLiteral("MA008"),
                         [](std::string_view text, ExportDate& date) {
                             const double days = DisplayTextToDate(text, 1, "/");
                             const CivilDate d = DecodeDateTime(days);
                             date = {d.year, d.month, d.day};
                             return days != 0;
                         },
                         "yyyy/mm/dd"};
    const ExportTable table = GridTable(grid, {dates});
    if (table.RowCount() != kRows || table.Columns().size() != 21) {
        std::fprintf(stderr, "export: the grid's table has %lld rows, %zu columns\n", (long long)table.RowCount(),
                     table.Columns().size());
        return 1;
    }
    QTemporaryDir dir;
    const std::string xlsx = dir.filePath(QStringLiteral("c.xlsx")).toStdString();
    const std::string csv = dir.filePath(QStringLiteral("c.csv")).toStdString();
    try {
        const double before = peakMb();
        std::vector<double> xlsxRuns, csvRuns;
        for (int run = 0; run < 3; ++run)
            xlsxRuns.push_back(seconds([&] { WriteXlsx(table, xlsx); }));
        const double grown = peakMb() - before;
        for (int run = 0; run < 5; ++run)
            csvRuns.push_back(seconds([&] { WriteCsv(table, csv); }));
        const double x = median(xlsxRuns), c = median(csvRuns);
        std::printf("Export of %d candidates to XLSX: median %.2f s (goal <= %.0f s): %s; peak memory grew %.0f MB\n",
                    kRows, x, kXlsxGoal, x <= kXlsxGoal ? "met" : "MISSED", grown);
        std::printf("Export of %d candidates to CSV: median %.2f s (goal <= %.0f s): %s\n", kRows, c, kCsvGoal,
                    c <= kCsvGoal ? "met" : "MISSED");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "export: %s\n", e.what());
        return 1;
    }
    return 0;
}
