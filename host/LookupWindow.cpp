#include "host/LookupWindow.h"

#include <QAbstractTableModel>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kSourceRole = Qt::UserRole + 1;

} // namespace

// The rows as texts, with a tick per row for list look-ups. A plain table model: a list
// of some hundred thousand documents stays light, which one item object per cell is not.
class LookupRowsModel : public QAbstractTableModel {
public:
    LookupRowsModel(QStringList captions, std::vector<std::vector<QString>> texts, bool checkable, QObject* parent)
        : QAbstractTableModel(parent), captions_(std::move(captions)), texts_(std::move(texts)),
          checked_(texts_.size(), false), checkable_(checkable)
    {
    }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(texts_.size()); }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(captions_.size()); }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid())
            return {};
        const auto& row = texts_[std::size_t(index.row())];
        switch (role) {
        case Qt::DisplayRole:
            return index.column() < int(row.size()) ? row[std::size_t(index.column())] : QString();
        case Qt::TextAlignmentRole:
            if (rightAligned_.contains(index.column()))
                return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
            return {};
        case Qt::CheckStateRole:
            if (checkable_ && index.column() == 0)
                return checked_[std::size_t(index.row())] ? Qt::Checked : Qt::Unchecked;
            return {};
        case kSourceRole:
            return index.row();
        default:
            return {};
        }
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override
    {
        if (!checkable_ || !index.isValid() || index.column() != 0 || role != Qt::CheckStateRole)
            return false;
        checked_[std::size_t(index.row())] = value.toInt() == Qt::Checked;
        emit dataChanged(index, index, {Qt::CheckStateRole});
        return true;
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (checkable_ && index.column() == 0)
            f |= Qt::ItemIsUserCheckable;
        return f;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < captions_.size())
            return captions_[section];
        return QAbstractTableModel::headerData(section, orientation, role);
    }

    bool isChecked(int row) const { return checked_[std::size_t(row)]; }
    void setRightAligned(const QList<int>& columns) { rightAligned_ = columns; }
    void toggle(int row)
    {
        const QModelIndex i = index(row, 0);
        setData(i, isChecked(row) ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    }

private:
    QStringList captions_;
    std::vector<std::vector<QString>> texts_;
    std::vector<bool> checked_;
    bool checkable_;
    QList<int> rightAligned_;
};

namespace {

QString cellText(const Variant& v)
{
    try {
        return QString::fromStdString(VarToStr(v)).trimmed();
    } catch (const VariantError&) {
        return QString(); // arrays and objects have no text to show
    }
}

} // namespace

LookupWindow::LookupWindow(const QString& title, const QStringList& captions,
                           const std::vector<std::vector<Variant>>& rows, bool multiSelect, HostLanguage language,
                           QWidget* parent)
    : QDialog(parent), multiSelect_(multiSelect), language_(language)
{
    setObjectName(QStringLiteral("frmLookup"));
    setWindowTitle(title);
    setSizeGripEnabled(true);

    std::vector<std::vector<QString>> texts(rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        texts[r].reserve(rows[r].size());
        for (const Variant& v : rows[r])
            texts[r].push_back(cellText(v));
    }
    // Ticks live in the source model, so picks survive a change of the filter.
    model_ = new LookupRowsModel(captions, std::move(texts), multiSelect, this);
    proxy_ = new QSortFilterProxyModel(this);
    proxy_->setSourceModel(model_);
    proxy_->setFilterKeyColumn(-1); // any column may match
    proxy_->setFilterCaseSensitivity(Qt::CaseInsensitive);

    static constexpr Wording3 filterLabel{"筛选(&F):", "篩選(&F):", "&Filter:"};
    static constexpr Wording3 filterHint{"输入任一栏位的部分内容", "輸入任一欄位的部分內容", "Part of any column"};
    auto* label = new QLabel(QString::fromUtf8(filterLabel.in(language)), this);
    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("edFilter"));
    filter_->setPlaceholderText(QString::fromUtf8(filterHint.in(language)));
    filter_->setClearButtonEnabled(true);
    label->setBuddy(filter_);
    filter_->installEventFilter(this);

    grid_ = new QTableView(this);
    grid_->setObjectName(QStringLiteral("grdData"));
    grid_->setModel(proxy_);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(multiSelect ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSortingEnabled(true);
    grid_->sortByColumn(-1, Qt::AscendingOrder); // the server's order until a header is clicked
    grid_->verticalHeader()->hide();
    grid_->horizontalHeader()->setStretchLastSection(true);
    grid_->setAlternatingRowColors(true);
    grid_->installEventFilter(this);
    grid_->resizeColumnsToContents();
    connect(grid_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            accept();
    });

    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("lblCount"));

    static constexpr Wording3 ok{"确定", "確定", "OK"};
    static constexpr Wording3 cancel{"取消", "取消", "Cancel"};
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* btnOk = buttons->addButton(QString::fromUtf8(ok.in(language)), QDialogButtonBox::AcceptRole);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    QPushButton* btnCancel = buttons->addButton(QString::fromUtf8(cancel.in(language)), QDialogButtonBox::RejectRole);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(label);
    top->addWidget(filter_, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(count_, 1);
    bottom->addWidget(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(grid_, 1);
    layout->addLayout(bottom);
    resize(560, 380);

    connect(filter_, &QLineEdit::textChanged, this, &LookupWindow::applyFilter);
    if (proxy_->rowCount() > 0)
        setCurrentRow(0);
    updateCount();
    filter_->setFocus();
}

void LookupWindow::setCurrentRow(int viewRow)
{
    const QModelIndex index = proxy_->index(viewRow, 0);
    // In a list look-up the current row is only where the cursor stands; what is chosen
    // is what the user ticked or selected.
    grid_->selectionModel()->setCurrentIndex(index, multiSelect_ ? QItemSelectionModel::NoUpdate
                                                                  : QItemSelectionModel::ClearAndSelect |
                                                                        QItemSelectionModel::Rows);
    grid_->scrollTo(index);
}

void LookupWindow::setRightAligned(const QList<int>& columns)
{
    model_->setRightAligned(columns);
    grid_->viewport()->update();
}

void LookupWindow::toggleRow(int viewRow)
{
    if (!multiSelect_ || viewRow < 0 || viewRow >= proxy_->rowCount())
        return;
    model_->toggle(proxy_->index(viewRow, 0).data(kSourceRole).toInt());
}

bool LookupWindow::locate(const QStringList& leading)
{
    QStringList wanted;
    bool any = false;
    for (const QString& t : leading) {
        wanted << t.trimmed();
        any = any || !wanted.back().isEmpty();
    }
    if (!any)
        return false;
    for (int r = 0; r < proxy_->rowCount(); ++r) {
        bool match = true;
        for (int c = 0; match && c < wanted.size(); ++c) {
            if (wanted[c].isEmpty())
                continue;
            match = c < proxy_->columnCount() &&
                    proxy_->index(r, c).data().toString().startsWith(wanted[c], Qt::CaseInsensitive);
        }
        if (match) {
            setCurrentRow(r);
            grid_->scrollTo(proxy_->index(r, 0), QAbstractItemView::PositionAtCenter);
            return true;
        }
    }
    return false;
}

std::vector<int> LookupWindow::chosenRows() const
{
    std::vector<int> rows;
    if (multiSelect_) {
        for (int r = 0; r < model_->rowCount(); ++r)
            if (model_->isChecked(r))
                rows.push_back(r);
        if (!rows.empty())
            return rows;
        for (const QModelIndex& index : grid_->selectionModel()->selectedRows())
            rows.push_back(index.data(kSourceRole).toInt());
        std::sort(rows.begin(), rows.end());
        if (!rows.empty())
            return rows;
    }
    const QModelIndex current = grid_->currentIndex();
    if (current.isValid())
        rows.push_back(proxy_->index(current.row(), 0).data(kSourceRole).toInt());
    return rows;
}

int LookupWindow::checkedRows() const
{
    int n = 0;
    for (int r = 0; multiSelect_ && r < model_->rowCount(); ++r)
        n += model_->isChecked(r);
    return n;
}

int LookupWindow::visibleRows() const
{
    return proxy_->rowCount();
}

bool LookupWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Enter in the filter or the list takes the highlighted row at once, whatever else would
    // claim the key first (the filter's own editing, a button that holds the default).
    if ((watched == filter_ || watched == grid_) && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && !chosenRows().empty()) {
            accept();
            return true;
        }
    }
    // From the filter box the arrow keys lead into the list, on the row the cursor already
    // stands on, so that a user can filter, pick and confirm without the mouse.
    if (watched == filter_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up) {
            grid_->setFocus();
            return true;
        }
        if (key->key() == Qt::Key_PageDown || key->key() == Qt::Key_PageUp) {
            grid_->setFocus();
            QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text());
            QCoreApplication::sendEvent(grid_, &copy);
            return true;
        }
    }
    // Space ticks the row under the cursor, whichever column the cursor is in.
    if (watched == grid_ && event->type() == QEvent::KeyPress && multiSelect_) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
            toggleRow(grid_->currentIndex().row());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void LookupWindow::applyFilter(const QString& text)
{
    proxy_->setFilterFixedString(text.trimmed());
    if (proxy_->rowCount() > 0)
        setCurrentRow(0);
    updateCount();
}

void LookupWindow::updateCount()
{
    static constexpr Wording3 rows{"共 %1 笔", "共 %1 筆", "%1 rows"};
    count_->setText(QString::fromUtf8(rows.in(language_)).arg(proxy_->rowCount()));
}
