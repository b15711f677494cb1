#include "controls/DataSource.h"

#include "dataset/ClientDataSet.h"

TDataSource::TDataSource(QObject* owner) : QAbstractTableModel(owner) {}

TDataSource::~TDataSource()
{
    if (dataSet_)
        dataSet_->RemoveObserver(observer_);
}

void TDataSource::SetColumnOrder(const QStringList& fieldNames)
{
    beginResetModel();
    columnOrder_ = fieldNames;
    reload();
    endResetModel();
}

void TDataSource::SetDataSet(TClientDataSet* dataSet)
{
    if (dataSet == dataSet_)
        return;
    beginResetModel();
    if (dataSet_)
        dataSet_->RemoveObserver(observer_);
    dataSet_ = dataSet;
    observer_ = dataSet_ ? dataSet_->AddObserver([this](const DataSetChange& c) { changed(c); }) : 0;
    reload();
    endResetModel();
    emit currentRowChanged(CurrentRow());
}

void TDataSource::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    beginResetModel();
    enabled_ = value;
    reload();
    endResetModel();
}

bool TDataSource::live() const
{
    return enabled_ && dataSet_ && dataSet_->Active();
}

void TDataSource::reload()
{
    columns_.clear();
    rows_ = 0;
    if (!dataSet_)
        return;
    for (const QString& name : columnOrder_)
        if (TField* f = dataSet_->FindField(name.toStdString()); f && f->Visible() && !columns_.contains(f->Index()))
            columns_.append(f->Index());
    for (int i = 0; i < dataSet_->FieldCount(); ++i)
        if (dataSet_->Fields(i)->Visible() && !columns_.contains(i))
            columns_.append(i);
    if (live())
        rows_ = dataSet_->RecordCount();
}

void TDataSource::changed(const DataSetChange& c)
{
    const bool before = c.phase == DataSetChange::Before;
    switch (c.kind) {
    case DataSetChange::Reset:
    case DataSetChange::LayoutChanged:
        beginResetModel();
        reload();
        endResetModel();
        emit currentRowChanged(CurrentRow());
        Fire(OnDataChange, this);
        break;
    case DataSetChange::Destroyed:
        beginResetModel();
        dataSet_ = nullptr;
        observer_ = 0;
        reload();
        endResetModel();
        break;
    case DataSetChange::Inserted:
        if (!live())
            break;
        if (before) {
            ++changing_;
            beginInsertRows(QModelIndex(), c.row, c.row);
        } else {
            ++rows_;
            endInsertRows();
            --changing_;
            Fire(OnDataChange, this);
        }
        break;
    case DataSetChange::Removed:
        if (!live())
            break;
        if (before) {
            ++changing_;
            beginRemoveRows(QModelIndex(), c.row, c.row);
        } else {
            --rows_;
            endRemoveRows();
            --changing_;
            Fire(OnDataChange, this);
        }
        break;
    case DataSetChange::Moved:
        if (!live())
            break;
        if (before) {
            ++changing_;
            beginMoveRows(QModelIndex(), c.row, c.row, QModelIndex(), c.toRow > c.row ? c.toRow + 1 : c.toRow);
        } else {
            endMoveRows();
            --changing_;
            Fire(OnDataChange, this);
        }
        break;
    case DataSetChange::RecordChanged:
        if (live() && c.row >= 0 && c.row < rows_ && !columns_.isEmpty()) {
            emit dataChanged(index(c.row, 0), index(c.row, int(columns_.size()) - 1));
            emit headerDataChanged(Qt::Vertical, c.row, c.row);
            Fire(OnDataChange, this);
        }
        break;
    case DataSetChange::CurrentChanged:
        emit currentRowChanged(CurrentRow());
        break;
    case DataSetChange::StateChanged:
        Fire(OnStateChange, this);
        break;
    }
}

TField* TDataSource::FieldOfColumn(int column) const
{
    if (!dataSet_ || column < 0 || column >= int(columns_.size()))
        return nullptr;
    return dataSet_->Fields(columns_[column]);
}

int TDataSource::ColumnOfField(const TField* field) const
{
    return field ? int(columns_.indexOf(field->Index())) : -1;
}

int TDataSource::ColumnOfField(const QString& fieldName) const
{
    if (!dataSet_)
        return -1;
    return ColumnOfField(dataSet_->FindField(fieldName.toStdString()));
}

int TDataSource::CurrentRow() const
{
    if (!live() || dataSet_->IsEmpty() || dataSet_->State() == dsInsert)
        return -1;
    return dataSet_->RecNo() - 1;
}

bool TDataSource::MoveToRow(int row)
{
    if (changing_ || !live() || row < 0 || row >= dataSet_->RecordCount())
        return false;
    try {
        if (dataSet_->RecNo() != row + 1 || dataSet_->State() != dsBrowse)
            dataSet_->SetRecNo(row + 1);
        return true;
    } catch (const std::exception& e) {
        lastError_ = QString::fromUtf8(e.what());
        emit editRefused(lastError_);
        return false;
    }
}

bool TDataSource::SetFieldText(int row, TField* field, const QString& text)
{
    if (!field || !MoveToRow(row))
        return false;
    try {
        dataSet_->Edit();
        field->SetText(text.toStdString());
        dataSet_->Post();
        return true;
    } catch (const std::exception& e) {
        lastError_ = QString::fromUtf8(e.what());
        try {
            dataSet_->Cancel();
        } catch (const std::exception&) {
        }
        emit editRefused(lastError_);
        return false;
    }
}

int TDataSource::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows_;
}

int TDataSource::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant TDataSource::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !live() || index.row() >= rows_ || index.column() >= int(columns_.size()))
        return {};
    const TField* f = dataSet_->Fields(columns_[index.column()]);
    // A view paints while a load is under way: rows it still counts may be gone.
    if (index.row() >= dataSet_->RecordCount())
        return {};
    try {
        switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(f->DisplayTextAt(index.row()));
        case Qt::EditRole:
        case FieldTextRole:
            return QString::fromStdString(f->TextAt(index.row()));
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::Alignment(
                (f->IsNumeric() ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
        case RecNoRole:
            return index.row() + 1;
        case ReadOnlyRole:
            return f->ReadOnly() || f->FieldKind() == fkCalculated;
        default:
            return {};
        }
    } catch (const std::exception&) {
        return {};
    }
}

QVariant TDataSource::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= int(columns_.size()) || !dataSet_)
            return {};
        if (role == Qt::DisplayRole)
            return QString::fromStdString(dataSet_->Fields(columns_[section])->DisplayLabel());
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
        return {};
    }
    if (section < 0 || section >= rows_)
        return {};
    if (role == Qt::DisplayRole)
        return QString();
    return {};
}

bool TDataSource::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role)
{
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::EditRole) || !dataSet_ || section < 0
        || section >= int(columns_.size()))
        return false;
    dataSet_->Fields(columns_[section])->SetDisplayLabel(value.toString().toStdString());
    emit headerDataChanged(Qt::Horizontal, section, section);
    return true;
}

Qt::ItemFlags TDataSource::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    const TField* field = FieldOfColumn(index.column());
    if (field && !field->ReadOnly() && field->FieldKind() != fkCalculated)
        f |= Qt::ItemIsEditable;
    return f;
}

bool TDataSource::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || !live() || index.row() >= rows_)
        return false;
    return SetFieldText(index.row(), FieldOfColumn(index.column()), value.toString());
}

TNotifyEvent* TDataSource::notifyEvent(std::string_view name)
{
    if (SameName(name, "OnDataChange"))
        return &OnDataChange;
    if (SameName(name, "OnStateChange"))
        return &OnStateChange;
    return TEventSource::notifyEvent(name);
}
