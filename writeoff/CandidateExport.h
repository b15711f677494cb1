#pragma once
// "导出...": the candidates as the grid shows them, for a spreadsheet: the rows in sight in
// their order (the title the clerk sorted by and the find box apply), the columns in his
// order with their titles in the interface language, the ticks, amounts exact and
// document dates as dates; to an XLSX or a CSV file named in a save dialog.

#include "config/SaveFileDialog.h"
#include "export/ExportTable.h"

#include <functional>

class QWidget;
class TfrmBaseGene;
class TfrmWOFB07;

namespace CandidateExport {

// Asks for the file (the dialog's type or the name's suffix says which kind), asks before
// replacing one, writes it; says why when it cannot, and when amounts went as text.
void Run(TfrmWOFB07& form);
// The grid's table as Run writes it.
ExportTable Table(TfrmWOFB07& form);

// What Run does for any table (the batch history's documents too): the save dialog over
// parent with its title and the suggested name, then the table made and written.
void Save(TfrmBaseGene& form, QWidget* parent, const QString& title, const QString& name,
          const std::function<ExportTable()>& table);
// The file the save dialog chose among types, the last export's folder first; asks before
// replacing a file. Empty when cancelled or not to be replaced.
SaveFileChoice AskFile(TfrmBaseGene& form, QWidget* parent, const QString& title, const QList<SaveFileType>& types,
                       const QString& name);
// The spreadsheet's date pattern for the user's date order (GetDateFormat's code).
std::string DatePattern(int code, const std::string& separator);

} // namespace CandidateExport
