#include "controls/GridTable.h"

#include "controls/DataSource.h"
#include "controls/FDBGrid.h"
#include "dataset/ClientDataSet.h"
#include "platform/OleDate.h"

#include <QHeaderView>

#include <algorithm>
#include <memory>

namespace {

// How one column's cells are read.
struct Reading {
    const TField* field = nullptr;
    ColumnKind kind = ColumnKind::Text;
    std::string checked; // a tick's value
    std::function<bool(std::string_view, ExportDate&)> readDate;
};

ExportCell cellOf(const Reading& r, int row)
{
    const TField& f = *r.field;
    switch (r.kind) {
    case ColumnKind::Tick:
        return QString::fromStdString(f.TextAt(row)).trimmed().compare(QString::fromStdString(r.checked),
                                                                       Qt::CaseInsensitive) == 0;
    case ColumnKind::Amount:
        if (std::holds_alternative<std::monostate>(f.DataAt(row)))
            return {};
        return f.DecimalAt(row);
    case ColumnKind::Date: {
        if (!r.readDate) {
            const FieldValue v = f.DataAt(row);
            const double* days = std::get_if<double>(&v);
            if (!days || *days == 0)
                return {};
            const CivilDate d = DecodeDateTime(*days);
            return ExportDate{d.year, d.month, d.day};
        }
        std::string text = f.TextAt(row);
        ExportDate date;
        if (r.readDate(text, date))
            return date;
        return text.empty() ? ExportCell() : ExportCell(std::move(text));
    }
    case ColumnKind::Text:
        break;
    }
    std::string text = f.DisplayTextAt(row);
    return text.empty() ? ExportCell() : ExportCell(std::move(text));
}

} // namespace

int DecimalsOfDisplayFormat(std::string_view format)
{
    if (format.empty())
        return -1;
    const std::string_view first = format.substr(0, format.find(';'));
    const std::size_t point = first.find('.');
    if (point == std::string_view::npos)
        return 0;
    int places = 0;
    for (std::size_t i = point + 1; i < first.size() && (first[i] == '0' || first[i] == '#'); ++i)
        ++places;
    return places;
}

ExportTable GridTable(const TFDBGrid& grid, const std::vector<GridDateColumn>& dateColumns)
{
    TDataSource* source = grid.DataSource();
    TClientDataSet* data = grid.DataSet();
    if (!source || !data || !data->Active())
        return ExportTable({}, 0, nullptr);
    std::vector<ExportColumn> columns;
    auto readings = std::make_shared<std::vector<Reading>>();
    const QHeaderView* titles = grid.horizontalHeader();
    for (int visual = 0; visual < source->columnCount(); ++visual) {
        const int c = titles->logicalIndex(visual);
        const TField* f = source->FieldOfColumn(c);
        if (!f || grid.isColumnHidden(c))
            continue;
        ExportColumn column;
        column.title = source->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString().toStdString();
        Reading r;
        r.field = f;
        const QString name = QString::fromStdString(f->FieldName());
        QString checked;
        const auto date = std::find_if(dateColumns.begin(), dateColumns.end(), [&](const GridDateColumn& d) {
            return d.field.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (grid.IsCheckBoxField(name, &checked)) {
            column.kind = ColumnKind::Tick;
            r.checked = checked.trimmed().toStdString();
        } else if (date != dateColumns.end()) {
            column.kind = ColumnKind::Date;
            column.dateFormat = date->format;
            r.readDate = date->read;
        } else if (f->DataType() == ftDate) {
            column.kind = ColumnKind::Date;
        } else if (f->IsNumeric()) {
            column.kind = ColumnKind::Amount;
            const int shown = DecimalsOfDisplayFormat(f->DisplayFormat());
            column.decimals = shown >= 0 ? shown : f->Decimals();
        }
        r.kind = column.kind;
        columns.push_back(std::move(column));
        readings->push_back(std::move(r));
    }
    return ExportTable(std::move(columns), data->RecordCount(),
                       [readings](std::int64_t row, std::vector<ExportCell>& cells) {
                           for (std::size_t c = 0; c < readings->size(); ++c)
                               cells[c] = cellOf((*readings)[c], int(row));
                       });
}
