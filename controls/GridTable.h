#pragma once
// The table a data grid shows, for an export (export/ExportTable.h): its columns in the
// order the clerk sees them with their titles as shown, its rows in the data set's current
// order and filter (a title's sort and a find box apply), check-box columns as ticks,
// numeric columns as exact amounts with the places their display format shows, date
// fields as dates, and every other cell as the grid shows it (mapped texts included).

#include "export/ExportTable.h"

#include <QString>

#include <functional>
#include <string_view>
#include <vector>

class TFDBGrid;

// A text field that holds dates: how its text reads as one (false: the text is written
// as it is) and the pattern the spreadsheet shows it in.
struct GridDateColumn {
    QString field;
    std::function<bool(std::string_view text, ExportDate& date)> read;
    std::string format;
};

// The table reads the grid's data set as it is written: use it before the list changes.
ExportTable GridTable(const TFDBGrid& grid, const std::vector<GridDateColumn>& dateColumns = {});

// The places a display pattern shows: "#,##0.00" 2, "#0" 0; -1 without a pattern.
int DecimalsOfDisplayFormat(std::string_view format);
