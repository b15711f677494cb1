#pragma once
// The host's F2 look-up window: a list of master rows with a filter box, from which the
// user picks one row, or several when the caller asks for a list. It is a plain dialog;
// the look-up service fills it, runs it through the modal runner and reads the choice.
//
// Children by object name (tests drive them): "edFilter", "grdData", "lblCount",
// "btnOk", "btnCancel".

#include "support/MessageCatalogue.h"
#include "platform/Variant.h"

#include <QDialog>

#include <vector>

class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QTableView;
class LookupRowsModel;

class LookupWindow : public QDialog {
    Q_OBJECT

public:
    // rows: the values of each row in column order; every row has captions.size() values
    // (missing ones show empty).
    LookupWindow(const QString& title, const QStringList& captions, const std::vector<std::vector<Variant>>& rows,
                 bool multiSelect, HostLanguage language, QWidget* parent = nullptr);

    // Makes the first row whose leading columns start with the given texts (without
    // regard to case; empty texts match anything) the current one; false when no row does
    // or every text is empty.
    bool locate(const QStringList& leading);
    // Indices (into the rows given) of what the user chose, in the order of the rows given.
    // A list look-up gives the ticked rows (ticks survive filtering), else the selected
    // rows, else the current row; a single look-up gives the current row. Empty when the
    // list is empty or filtered to nothing.
    std::vector<int> chosenRows() const;
    int checkedRows() const;
    // Columns whose texts stand at the right (amounts).
    void setRightAligned(const QList<int>& columns);
    // Ticks or unticks the row shown at viewRow (list look-ups only).
    void toggleRow(int viewRow);
    bool multiSelect() const { return multiSelect_; }

    QLineEdit* filterBox() const { return filter_; }
    QTableView* grid() const { return grid_; }
    // Rows that pass the filter.
    int visibleRows() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setCurrentRow(int viewRow);
    void applyFilter(const QString& text);
    void updateCount();

    bool multiSelect_;
    HostLanguage language_;
    LookupRowsModel* model_;
    QSortFilterProxyModel* proxy_;
    QLineEdit* filter_;
    QTableView* grid_;
    QLabel* count_;
};
