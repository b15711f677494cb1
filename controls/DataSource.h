#pragma once
// TDataSource: the link between a client data set and the controls that show it, as a Qt
// table model. One row per record in the data set's current order, one column per visible
// field; the current record of the data set is the model's current row.
//
// The data set tells the model what changed (dataset/ClientDataSet.h observers); inserts,
// removals and moves are announced before they happen, so views and proxies keep their
// persistent indexes. While the data set's controls are disabled the model stays as it
// was and is reset once when they are enabled again.

#include "config/Events.h"

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <QVector>

class TClientDataSet;
class TField;
struct DataSetChange;

class TDataSource : public QAbstractTableModel, public TEventSource {
    Q_OBJECT
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(QString Name READ objectName WRITE setObjectName)

public:
    // Extra item roles: the field's plain text (AsString) and the record number.
    enum Roles { FieldTextRole = Qt::UserRole + 1, RecNoRole, ReadOnlyRole };

    explicit TDataSource(QObject* owner = nullptr);
    ~TDataSource() override;

    TClientDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TClientDataSet* dataSet);
    // The fields named here come first, in this order; the other visible fields follow in
    // their own order. The data set's field order stays as it is.
    void SetColumnOrder(const QStringList& fieldNames);
    // A disabled source shows nothing (the data set's controls see no data).
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);

    TField* FieldOfColumn(int column) const;
    int ColumnOfField(const TField* field) const;
    int ColumnOfField(const QString& fieldName) const;
    // The data set's current record as a row (-1 when there is none).
    int CurrentRow() const;
    // Between the announcement of a change of rows and its end (views must not move the
    // data set's cursor then).
    bool Changing() const { return changing_ > 0; }
    // The message of the last edit the data set refused.
    QString LastError() const { return lastError_; }

    // Moves the data set to a row (posting a pending edit); false with LastError when the
    // data set refused to leave its record.
    bool MoveToRow(int row);
    // Puts a text into a field of a row through the field's text handling: edit, set, post.
    // A refused value cancels the edit and leaves the record as it was.
    bool SetFieldText(int row, TField* field, const QString& text);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // A column title is its field's DisplayLabel: a language file or the converter sets it here.
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    TNotifyEvent OnDataChange;    // records or their values changed
    TNotifyEvent OnStateChange;   // the data set's state changed
    TNotifyEvent* notifyEvent(std::string_view name) override;

signals:
    void currentRowChanged(int row);
    void editRefused(const QString& message);

private:
    void changed(const DataSetChange& change);
    void reload();
    bool live() const;

    TClientDataSet* dataSet_ = nullptr;
    int observer_ = 0;
    bool enabled_ = true;
    int rows_ = 0;
    QVector<int> columns_;   // field index of each column
    QStringList columnOrder_;
    QString lastError_;
    int changing_ = 0;
};
