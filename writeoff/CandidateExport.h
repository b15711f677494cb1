#pragma once
// "导出...": the candidates as the grid shows them, for a spreadsheet: the rows in sight in
// their order (the title the clerk sorted by and the find box apply), the columns in his
// order with their titles in the interface language, the ticks, amounts exact and
// document dates as dates; to an XLSX or a CSV file named in a save dialog.

#include "export/ExportTable.h"

class TfrmWOFB07;

namespace CandidateExport {

// Asks for the file (the dialog's type or the name's suffix says which kind), asks before
// replacing one, writes it; says why when it cannot, and when amounts went as text.
void Run(TfrmWOFB07& form);
// The grid's table as Run writes it.
ExportTable Table(TfrmWOFB07& form);

} // namespace CandidateExport
