#include "writeoff/BatchHistoryFiles.h"
#include "writeoff/BatchHistory.h"
#include "writeoff/CandidateExport.h"
#include "jobform/BaseGene.h"

#include "config/Dialogs.h"
#include "report/WriteOffBatchReport.h"
#include "support/MessageCatalogue.h"

#include <QFile>
#include <QHeaderView>
#include <QTableWidget>

#include <algorithm>

namespace {

// The batch number made fit for a file name: "WOFB07-R1".
QString fileName(const WriteOffBatchRecord& record)
{
    QString name = QString::fromStdString(record.summary.batchKey());
    for (QChar& c : name)
        if (!c.isLetterOrNumber() && c != QLatin1Char('-') && c != QLatin1Char('_'))
            c = QLatin1Char('_');
    return name;
}

ExportDate dateOf(const std::string& compact)
{
    if (compact.size() != 8 || !std::all_of(compact.begin(), compact.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return {};
    return {std::stoi(compact.substr(0, 4)), std::stoi(compact.substr(4, 2)), std::stoi(compact.substr(6, 2))};
}

} // namespace

namespace BatchHistoryFiles {

ExportTable DocumentTable(TfrmBatchHistory& dialog, const WriteOffBatchRecord& record)
{
    TfrmBaseGene& job = dialog.Job();
    // The titles the clerk sees, in his language.
    const auto title = [&](int column) {
        return dialog.grDocuments->horizontalHeaderItem(column)->text().toStdString();
    };
    int decimals = 0;
    for (const WriteOffBatchTotal& t : record.summary.totals)
        decimals = std::max(decimals, t.decimals);
    std::vector<ExportColumn> columns;
    for (int c = TfrmBatchHistory::dcSupplier; c <= TfrmBatchHistory::dcCurrency; ++c)
        columns.push_back({title(c), ColumnKind::Text, 2, {}});
    columns[TfrmBatchHistory::dcDate].kind = ColumnKind::Date;
    columns[TfrmBatchHistory::dcDate].dateFormat =
        CandidateExport::DatePattern(job.GetDateFormat(), job.GetDateSeparator().left(1).toStdString());
    columns.push_back({title(TfrmBatchHistory::dcOriginal), ColumnKind::Amount, record.summary.totals.empty() ? 2 : decimals, {}});
    columns.push_back({title(TfrmBatchHistory::dcLocal), ColumnKind::Amount, record.summary.localDecimals, {}});
    std::vector<std::vector<ExportCell>> rows;
    rows.reserve(record.documents.size());
    for (const WriteOffBatchDocument& d : record.documents) {
        const ExportDate date = dateOf(d.date);
        rows.push_back({d.supplier, d.supplierName, d.type, d.number,
                        IsRealDate(date) ? ExportCell(date) : ExportCell(d.date), d.currency, d.original, d.local});
    }
    return TableOfRows(std::move(columns), std::move(rows));
}

void Export(TfrmBatchHistory& dialog, const WriteOffBatchRecord& record)
{
    CandidateExport::Save(dialog.Job(), &dialog, dialog.Text("sHistoryExportTitle", "导出批次的单据"), fileName(record),
                          [&] { return DocumentTable(dialog, record); });
}

void Print(TfrmBatchHistory& dialog, const WriteOffBatchRecord& record)
{
    TfrmBaseGene& job = dialog.Job();
    const SaveFileChoice choice =
        CandidateExport::AskFile(job, &dialog, dialog.Text("sHistoryPrintTitle", "打印批次的报表"),
                                 {{dialog.Text("sHistoryPdf", "PDF 文件"), QStringLiteral("pdf")}}, fileName(record));
    if (choice.path.isEmpty())
        return;
    try {
        WriteWriteOffBatchReport(record, LanguageOfCodePage(job.UICodePage().toInt()),
                                 QFile::encodeName(choice.path).toStdString());
    } catch (const std::exception& e) {
        job.ShowMessageDialog(dialog.Text("sHistoryCannotPrint", "无法打印报表: %1").arg(QString::fromUtf8(e.what())),
                              mtError, {mbOK});
    }
}

} // namespace BatchHistoryFiles
