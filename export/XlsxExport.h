#pragma once
// A table as an XLSX workbook of one sheet: the titles in a frozen first row with a
// filter, then the rows. Texts are texts, amounts numbers in a format of their column's
// decimals, dates date cells, ticks TRUE/FALSE. A spreadsheet's number is a double that
// keeps 15 significant digits: an amount of more is written as its exact text and
// counted in the result. The rows go to the file as they are read (libxlsxwriter's
// constant-memory mode), so a long list takes no more memory than a short one.

#include "export/ExportTable.h"

#include <string>

struct XlsxOptions {
    std::string sheetName; // empty, or not a sheet's name: the writer's own
};

// Writes the table to path, replacing a file there once the workbook is whole.
// ExportError: the file cannot be written, more rows or columns than a sheet holds, a
// text longer than a cell holds, a date that does not exist.
ExportResult WriteXlsx(const ExportTable& table, const std::string& path, const XlsxOptions& options = {});
