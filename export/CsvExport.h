#pragma once
// A table as CSV for spreadsheets: UTF-8 with a byte-order mark (so that a spreadsheet
// reads Chinese as such), fields quoted as RFC 4180 has it (a comma, quote, CR or LF
// inside; quotes doubled), lines ended by CRLF, the titles first. Amounts are their exact
// text with at least the column's decimals and no thousands separator, dates yyyy-mm-dd,
// ticks TRUE/FALSE. A text beginning with = + - @ or a tab gets a leading apostrophe, so
// that no spreadsheet opening the file runs it as a formula.

#include "export/ExportTable.h"

#include <string>

// Writes the table to path, replacing a file there once it is whole (ExportError when the
// file cannot be written or a date does not exist).
ExportResult WriteCsv(const ExportTable& table, const std::string& path);
