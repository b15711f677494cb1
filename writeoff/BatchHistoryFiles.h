#pragma once
// The files the batch history writes of a batch: its report as a PDF (the same
// WriteOffBatchReport qvjobs prints, in the interface language) and its documents as an
// XLSX or CSV table (the candidates' export: the same save dialog, the same writers).

#include "export/ExportTable.h"
#include "report/WriteOffBatch.h"

class TfrmBatchHistory;

namespace BatchHistoryFiles {

// Asks for the PDF file (asks before replacing one) and writes the report; says why when
// it cannot.
void Print(TfrmBatchHistory& dialog, const WriteOffBatchRecord& record);
// Asks for the spreadsheet file and writes the documents.
void Export(TfrmBatchHistory& dialog, const WriteOffBatchRecord& record);
// The documents as Export writes them: supplier, name, type, number, date, currency, the
// amount in it and in local currency, exact.
ExportTable DocumentTable(TfrmBatchHistory& dialog, const WriteOffBatchRecord& record);

} // namespace BatchHistoryFiles
