#include "controls/FDBGrid.h"

#include "controls/BmpLibrary.h"
#include "controls/DataSource.h"
#include "dataset/ClientDataSet.h"
#include "platform/ModalRunner.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <cmath>

// ---- the grid's parts ---------------------------------------------------------------

class GridDelegate : public QStyledItemDelegate {
public:
    explicit GridDelegate(TFDBGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        grid_->paintCell(p, option.rect, index);
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (grid_->checkBoxAt(index))
            return nullptr;
        return QStyledItemDelegate::createEditor(parent, option, index);
    }

private:
    TFDBGrid* grid_;
};

// Titles and the record indicator, in the title colour.
class GridHeader : public QHeaderView {
public:
    GridHeader(Qt::Orientation o, TFDBGrid* grid) : QHeaderView(o, grid), grid_(grid)
    {
        setSectionsClickable(o == Qt::Horizontal);
        setHighlightSections(false);
    }

protected:
    void paintEvent(QPaintEvent* e) override
    {
        {
            QPainter p(viewport());
            p.fillRect(viewport()->rect(), grid_->TitleColor());
        }
        QHeaderView::paintEvent(e);
    }

    void paintSection(QPainter* p, const QRect& rect, int logical) const override
    {
        p->save();
        p->fillRect(rect, grid_->TitleColor());
        p->setPen(grid_->TitleColor().darker(160));
        p->drawLine(rect.topRight(), rect.bottomRight());
        p->drawLine(rect.bottomLeft(), rect.bottomRight());
        p->setPen(grid_->TitleColor().lighter(130));
        p->drawLine(rect.topLeft(), rect.bottomLeft());
        p->drawLine(rect.topLeft(), rect.topRight());
        p->setPen(grid_->palette().color(QPalette::WindowText));
        if (orientation() == Qt::Horizontal) {
            Qt::Alignment a = Qt::AlignLeft;
            if (grid_->TitleAlignment() == TFDBGrid::taCenter)
                a = Qt::AlignHCenter;
            else if (grid_->TitleAlignment() == TFDBGrid::taRightJustify)
                a = Qt::AlignRight;
            const QString text = model() ? model()->headerData(logical, Qt::Horizontal).toString() : QString();
            QRect textRect = rect.adjusted(2, 0, -2, 0);
            if (sortedBy(logical)) {
                // The usual arrow at the right: up ascending, down descending.
                const int h = std::max(std::min(rect.height() / 3, 8), 4);
                const QPoint c(rect.right() - h - 2, rect.center().y());
                QPolygon arrow;
                if (grid_->SortDescending())
                    arrow << QPoint(c.x() - h / 2, c.y() - h / 4) << QPoint(c.x() + h / 2, c.y() - h / 4)
                          << QPoint(c.x(), c.y() + h / 4 + 1);
                else
                    arrow << QPoint(c.x() - h / 2, c.y() + h / 4) << QPoint(c.x() + h / 2, c.y() + h / 4)
                          << QPoint(c.x(), c.y() - h / 4 - 1);
                p->setBrush(grid_->palette().color(QPalette::WindowText));
                p->drawPolygon(arrow);
                textRect.setRight(c.x() - h / 2 - 2);
            }
            p->drawText(textRect, int(a | Qt::AlignVCenter), text);
        } else if (grid_->DataSource() && logical == grid_->DataSource()->CurrentRow()) {
            // The current record's arrow.
            const int h = std::min(rect.height(), rect.width()) / 2;
            const QPoint c = rect.center();
            QPolygon arrow;
            arrow << QPoint(c.x() - h / 2, c.y() - h / 2) << QPoint(c.x() + h / 2, c.y())
                  << QPoint(c.x() - h / 2, c.y() + h / 2);
            p->setBrush(grid_->palette().color(QPalette::WindowText));
            p->drawPolygon(arrow);
        }
        p->restore();
    }

private:
    bool sortedBy(int logical) const
    {
        if (grid_->SortField().isEmpty() || !grid_->DataSource())
            return false;
        const TField* f = grid_->DataSource()->FieldOfColumn(logical);
        return f && QString::fromStdString(f->FieldName()).compare(grid_->SortField(), Qt::CaseInsensitive) == 0;
    }

    TFDBGrid* grid_;
};


// The fixed columns: a view over the grid's left edge that shows only them and does not
// scroll sideways. It shares the grid's model, selection and drawing.
class FrozenView : public QTableView {
public:
    explicit FrozenView(TFDBGrid* grid) : QTableView(grid), grid_(grid)
    {
        setFocusPolicy(Qt::NoFocus);
        setHorizontalHeader(new GridHeader(Qt::Horizontal, grid));
        verticalHeader()->hide();
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
        setFrameShape(QFrame::NoFrame);
        setEditTriggers(QAbstractItemView::NoEditTriggers);
        setWordWrap(false);
        setItemDelegate(grid->delegate_);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QTableView::paintEvent(event);
        grid_->paintBlank(this);
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        const QModelIndex index = indexAt(event->position().toPoint());
        pressed_ = event->button() == Qt::LeftButton ? index : QModelIndex();
        QTableView::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        QTableView::mouseReleaseEvent(event);
        const QModelIndex index = indexAt(event->position().toPoint());
        const bool same = index.isValid() && index == pressed_;
        pressed_ = QModelIndex();
        if (event->button() != Qt::LeftButton)
            return;
        if (same)
            grid_->cellClicked(index);
        Fire(grid_->OnClick, grid_);
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        QTableView::mouseDoubleClickEvent(event);
        grid_->rowDoubleClicked(indexAt(event->position().toPoint()));
    }

private:
    TFDBGrid* grid_;
    QPersistentModelIndex pressed_;
};

// ---- TFDBGrid -----------------------------------------------------------------------

TFDBGrid::TFDBGrid(QWidget* parent)
    : QTableView(parent),
      colors_(new TFDBGridColors(this)),
      currency_(new TCurrencyStyle(this)),
      delegate_(new GridDelegate(this)),
      titles_(new GridHeader(Qt::Horizontal, this)),
      indicator_(new GridHeader(Qt::Vertical, this))
{
    colors_->setObjectName(QStringLiteral("GridColors"));
    currency_->setObjectName(QStringLiteral("CHNCurrencyFields"));
    titleColor_ = palette().color(QPalette::Button);
    setHorizontalHeader(titles_);
    setVerticalHeader(indicator_);
    titles_->setSectionsMovable(true);
    connect(titles_, &QHeaderView::sectionClicked, this, [this](int c) { titleClicked(c); });
    connect(titles_, &QHeaderView::sectionResized, this, [this](int c, int, int size) { columnResized(c, size); });
    connect(titles_, &QHeaderView::sectionMoved, this,
            [this](int logical, int from, int to) { columnMoved(logical, from, to); });
    setItemDelegate(delegate_);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    indicator_->setSectionResizeMode(QHeaderView::Fixed);
    indicator_->setFixedWidth(12);
    const int rowHeight = fontMetrics().height() + 6;
    indicator_->setMinimumSectionSize(1);
    indicator_->setDefaultSectionSize(rowHeight);
    checked_ = LoadBmpResource(QStringLiteral("CHECKED"));
    unchecked_ = LoadBmpResource(QStringLiteral("UNCHECKED"));
    colors_->OnChange = [this](QObject*) { repaintCells(); };
    currency_->OnChange = [this](QObject*) { repaintCells(); };
    currency_->SetCurrencyFont(font());
    applyOptions();
}

TFDBGrid::~TFDBGrid() = default;

void TFDBGrid::SetDataSource(TDataSource* source)
{
    if (source_ == source)
        return;
    if (source_)
        disconnect(source_, nullptr, this, nullptr);
    source_ = source;
    setModel(source);
    if (source) {
        connect(source, &TDataSource::currentRowChanged, this, [this](int row) { syncCurrent(row); });
        connect(source, &TDataSource::editRefused, this, [this](const QString& m) { showRefusal(m); });
        connect(source, &QAbstractItemModel::modelReset, this, [this] {
            dataSetReordered();
            fitColumns();
            updateFrozen();
            syncCurrent(source_ ? source_->CurrentRow() : -1);
        });
        fitColumns();
        syncCurrent(source->CurrentRow());
    }
    updateFrozen();
    viewport()->update();
}

void TFDBGrid::fitColumns()
{
    if (!source_)
        return;
    // Sized to the title and to what the first rows show; a long text column stops at a
    // limit and elides (its whole text is the cell's tool tip), numbers always show whole.
    // A width the user set stays.
    constexpr int kSampleRows = 200, kTextLimit = 180;
    const QFontMetrics fm = fontMetrics();
    const int rows = std::min(source_->rowCount(), kSampleRows);
    fitting_ = true;
    for (int c = 0; c < source_->columnCount(); ++c) {
        const TField* f = source_->FieldOfColumn(c);
        if (!f)
            continue;
        const auto user = userWidths_.constFind(QString::fromStdString(f->FieldName()).toUpper());
        if (user != userWidths_.constEnd()) {
            setColumnWidth(c, user.value());
            continue;
        }
        const int title = fm.horizontalAdvance(titleOf(c)) + 12;
        int content = rows == 0 ? std::clamp(f->DisplayWidth(), 2, 12) * fm.averageCharWidth() : 0;
        for (int r = 0; r < rows; ++r)
            content = std::max(content, fm.horizontalAdvance(source_->index(r, c).data(Qt::DisplayRole).toString()));
        content += 10;
        if (f->DataType() == ftString)
            content = std::min(content, kTextLimit);
        setColumnWidth(c, std::max(title, content));
    }
    fitting_ = false;
}

void TFDBGrid::columnResized(int column, int size)
{
    if (fitting_ || !source_)
        return;
    if (const TField* f = source_->FieldOfColumn(column))
        userWidths_.insert(QString::fromStdString(f->FieldName()).toUpper(), size);
}

void TFDBGrid::columnMoved(int logical, int oldVisual, int newVisual)
{
    if (fitting_ || !source_)
        return;
    // The model keeps the order: the header goes back to showing it as it is, and the
    // data source takes the new order (the fixed columns stay where they are).
    QStringList order;
    for (int v = 0; v < titles_->count(); ++v)
        if (const TField* f = source_->FieldOfColumn(titles_->logicalIndex(v)))
            order << QString::fromStdString(f->FieldName());
    const int fixed = std::min(fixedCols_, source_->columnCount());
    const bool refused = oldVisual < fixed || newVisual < fixed || logical < 0;
    // Not while the header is still in its own mouse handling.
    QMetaObject::invokeMethod(
        this,
        [this, order, refused, oldVisual, newVisual] {
            fitting_ = true;
            titles_->moveSection(newVisual, oldVisual);
            fitting_ = false;
            if (!refused && source_)
                source_->SetColumnOrder(order);
        },
        Qt::QueuedConnection);
}

QStringList TFDBGrid::ColumnLayout() const
{
    QStringList layout;
    for (int c = 0; source_ && c < source_->columnCount(); ++c) {
        const TField* f = source_->FieldOfColumn(c);
        if (!f)
            continue;
        const QString name = QString::fromStdString(f->FieldName());
        const auto user = userWidths_.constFind(name.toUpper());
        layout << (user == userWidths_.constEnd() ? name : name + QLatin1Char('=') + QString::number(user.value()));
    }
    return layout;
}

void TFDBGrid::SetColumnLayout(const QStringList& layout)
{
    QStringList order;
    for (const QString& entry : layout) {
        const int eq = int(entry.indexOf(QLatin1Char('=')));
        const QString name = (eq < 0 ? entry : entry.left(eq)).trimmed();
        if (name.isEmpty())
            continue;
        order << name;
        if (eq < 0)
            continue;
        bool ok = false;
        const int width = entry.mid(eq + 1).trimmed().toInt(&ok);
        if (ok && width >= 8 && width <= 2000)
            userWidths_.insert(name.toUpper(), width);
    }
    if (!source_)
        return;
    // The fixed columns keep their places: only the others follow the list.
    QStringList fixed;
    for (int c = 0; c < std::min(fixedCols_, source_->columnCount()); ++c)
        if (const TField* f = source_->FieldOfColumn(c))
            fixed << QString::fromStdString(f->FieldName());
    for (const QString& name : fixed)
        order.removeAll(name);
    source_->SetColumnOrder(fixed + order);
}

void TFDBGrid::titleClicked(int column)
{
    SortByColumn(column);
}

void TFDBGrid::SortByColumn(int column)
{
    TClientDataSet* ds = DataSet();
    const TField* f = source_ ? source_->FieldOfColumn(column) : nullptr;
    // Rows would jump away under the click that ticks them: check boxes order nothing.
    if (!ds || !f || f->FieldKind() == fkCalculated || IsCheckBoxField(QString::fromStdString(f->FieldName())))
        return;
    const QString name = QString::fromStdString(f->FieldName());
    if (sortField_.isEmpty()) {
        ownIndex_ = ds->IndexFieldNames();
        ownDesc_ = ds->IndexDescFields();
    }
    std::string index, desc;
    if (sortField_.compare(name, Qt::CaseInsensitive) != 0) {
        sortField_ = name;
        sortDescending_ = false;
    } else if (!sortDescending_) {
        sortDescending_ = true;
    } else {
        sortField_.clear();
        sortDescending_ = false;
    }
    if (sortField_.isEmpty()) {
        index = ownIndex_;
        desc = ownDesc_;
    } else {
        // Rows alike in the column keep the data set's own order among themselves.
        index = f->FieldName();
        for (const QString& own : QString::fromStdString(ownIndex_).split(QLatin1Char(';'), Qt::SkipEmptyParts))
            if (own.trimmed().compare(name, Qt::CaseInsensitive) != 0)
                index += ";" + own.trimmed().toStdString();
        desc = sortDescending_ ? f->FieldName() : std::string();
        for (const QString& own : QString::fromStdString(ownDesc_).split(QLatin1Char(';'), Qt::SkipEmptyParts))
            if (own.trimmed().compare(name, Qt::CaseInsensitive) != 0)
                desc += (desc.empty() ? "" : ";") + own.trimmed().toStdString();
    }
    gridIndex_ = index;
    // The arrow takes room beside the title: a column sized to its title widens for it.
    const int marked = fontMetrics().horizontalAdvance(titleOf(column)) + 16
                     + style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, this);
    if (!sortField_.isEmpty() && columnWidth(column) < marked
        && !userWidths_.contains(name.toUpper())) {
        fitting_ = true;
        setColumnWidth(column, marked);
        fitting_ = false;
    }
    try {
        ds->SetIndexFieldNames(index, desc);
    } catch (const std::exception& e) {
        showRefusal(QString::fromUtf8(e.what()));
    }
    titles_->viewport()->update();
    if (frozen_)
        frozen_->horizontalHeader()->viewport()->update();
    if (source_->CurrentRow() >= 0)
        scrollTo(source_->index(source_->CurrentRow(), std::max(currentIndex().column(), 0)));
}

void TFDBGrid::dataSetReordered()
{
    // Someone else ordered the data set (a new list): its order is its own again.
    const TClientDataSet* ds = DataSet();
    if (!sortField_.isEmpty() && (!ds || ds->IndexFieldNames() != gridIndex_)) {
        sortField_.clear();
        sortDescending_ = false;
    }
}

QString TFDBGrid::titleOf(int column) const
{
    return source_ ? source_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString() : QString();
}

bool TFDBGrid::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        const QString text = index.isValid() ? index.data(Qt::DisplayRole).toString() : QString();
        if (!text.isEmpty() && fontMetrics().horizontalAdvance(text) + 4 > columnWidth(index.column())) {
            QToolTip::showText(help->globalPos(), text, viewport(), visualRect(index));
            return true;
        }
    }
    return QTableView::viewportEvent(event);
}

void TFDBGrid::repaintCells()
{
    viewport()->update();
    if (frozen_)
        frozen_->viewport()->update();
}

TClientDataSet* TFDBGrid::DataSet() const
{
    return source_ ? source_->DataSet() : nullptr;
}

void TFDBGrid::SetGrawGridInBlank(bool v)
{
    drawBlank_ = v;
    viewport()->update();
}

void TFDBGrid::SetOptions(TDBGridOptions v)
{
    options_ = v;
    applyOptions();
}

void TFDBGrid::SetReadOnly(bool v)
{
    readOnly_ = v;
    applyOptions();
}

void TFDBGrid::applyOptions()
{
    titles_->setVisible(options_ & dgTitles);
    indicator_->setVisible(options_ & dgIndicator);
    setShowGrid(options_ & (dgColLines | dgRowLines));
    setSelectionBehavior((options_ & dgRowSelect) ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    setTabKeyNavigation(options_ & dgTabs);
    setEditTriggers(EditingAllowed() ? QAbstractItemView::EditTriggers(QAbstractItemView::DoubleClicked
                                                                        | QAbstractItemView::EditKeyPressed
                                                                        | QAbstractItemView::AnyKeyPressed)
                                     : QAbstractItemView::NoEditTriggers);
    updateFrozen();
    viewport()->update();
}

bool TFDBGrid::EditingAllowed() const
{
    return (options_ & dgEditing) && !readOnly_;
}

void TFDBGrid::SetControlType(const QStringList& v)
{
    controlType_ = v;
    viewport()->update();
}

void TFDBGrid::SetFixedCols(int v)
{
    fixedCols_ = std::max(v, 0);
    updateFrozen();
}

void TFDBGrid::updateFrozen()
{
    const int cols = source_ ? source_->columnCount() : 0;
    const int fixed = std::min(fixedCols_, cols);
    if (fixed == 0 || fixed >= cols) {
        if (frozen_)
            frozen_->hide();
        return;
    }
    if (!frozen_) {
        frozen_ = new FrozenView(this);
        connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int c, int, int size) {
            if (frozen_ && !frozen_->isHidden()) {
                frozen_->setColumnWidth(c, size);
                updateFrozenGeometry();
            }
        });
        auto* frozenTitles = frozen_->horizontalHeader();
        connect(frozenTitles, &QHeaderView::sectionClicked, this, [this](int c) { titleClicked(c); });
        connect(frozenTitles, &QHeaderView::sectionResized, this, [this](int c, int, int size) {
            if (c < fixedCols_ && columnWidth(c) != size)
                setColumnWidth(c, size);
        });
        connect(verticalHeader(), &QHeaderView::sectionResized, this, [this](int r, int, int size) {
            if (frozen_)
                frozen_->setRowHeight(r, size);
        });
        connect(verticalScrollBar(), &QAbstractSlider::valueChanged, this, [this](int v) {
            if (frozen_)
                frozen_->verticalScrollBar()->setValue(v);
        });
        connect(frozen_->verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(),
                &QAbstractSlider::setValue);
        setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
        setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    }
    if (frozen_->model() != source_) {
        frozen_->setModel(source_);
        frozen_->setSelectionModel(selectionModel());
    } else if (frozen_->selectionModel() != selectionModel()) {
        frozen_->setSelectionModel(selectionModel());
    }
    frozen_->verticalHeader()->setDefaultSectionSize(DefaultRowHeight());
    frozen_->horizontalHeader()->setVisible(options_ & dgTitles);
    frozen_->horizontalHeader()->setFixedHeight(horizontalHeader()->height());
    frozen_->setShowGrid(showGrid());
    frozen_->setSelectionBehavior(selectionBehavior());
    for (int c = 0; c < cols; ++c) {
        frozen_->setColumnHidden(c, c >= fixed);
        if (c < fixed)
            frozen_->setColumnWidth(c, columnWidth(c));
    }
    frozen_->verticalScrollBar()->setValue(verticalScrollBar()->value());
    frozen_->show();
    frozen_->raise();
    updateFrozenGeometry();
}

void TFDBGrid::updateFrozenGeometry()
{
    if (!frozen_ || frozen_->isHidden())
        return;
    int w = 0;
    for (int c = 0; c < std::min(fixedCols_, source_ ? source_->columnCount() : 0); ++c)
        w += columnWidth(c);
    const int left = frameWidth() + (verticalHeader()->isHidden() ? 0 : verticalHeader()->width());
    const int titles = horizontalHeader()->isHidden() ? 0 : horizontalHeader()->height();
    frozen_->horizontalHeader()->setFixedHeight(horizontalHeader()->height());
    frozen_->setGeometry(left, frameWidth(), w, viewport()->height() + titles);
}

int TFDBGrid::frozenWidth() const
{
    if (!frozen_ || frozen_->isHidden())
        return 0;
    return frozen_->width();
}

void TFDBGrid::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    QTableView::scrollTo(index, hint);
    // A cell of a scrolling column never hides under the fixed ones.
    if (index.isValid() && index.column() >= fixedCols_ && frozenWidth() > 0) {
        const int x = columnViewportPosition(index.column());
        if (x < frozenWidth())
            horizontalScrollBar()->setValue(horizontalScrollBar()->value() - (frozenWidth() - x));
    }
}

void TFDBGrid::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    updateFrozenGeometry();
}

void TFDBGrid::updateGeometries()
{
    QTableView::updateGeometries();
    updateFrozenGeometry();
}

void TFDBGrid::SetTitleColor(const QColor& c)
{
    titleColor_ = c;
    titles_->viewport()->update();
    if (frozen_)
        frozen_->horizontalHeader()->viewport()->update();
    indicator_->viewport()->update();
}

void TFDBGrid::SetColor(const QColor& c)
{
    color_ = c;
    QPalette pal = viewport()->palette();
    pal.setColor(QPalette::Base, c);
    viewport()->setPalette(pal);
    viewport()->update();
}

void TFDBGrid::SetTitleAlignment(TAlignment a)
{
    titleAlignment_ = a;
    titles_->viewport()->update();
}

int TFDBGrid::DefaultRowHeight() const
{
    return indicator_->defaultSectionSize();
}

void TFDBGrid::SetDefaultRowHeight(int h)
{
    indicator_->setDefaultSectionSize(std::max(h, 1));
}

bool TFDBGrid::IsCheckBoxField(const QString& fieldName, QString* checkedValue, QString* uncheckedValue) const
{
    for (const QString& entry : controlType_) {
        const QStringList parts = entry.split(QLatin1Char(';'));
        if (parts.size() >= 2 && parts[0].trimmed().compare(fieldName.trimmed(), Qt::CaseInsensitive) == 0
            && parts[1].trimmed().compare(QLatin1String("CheckBox"), Qt::CaseInsensitive) == 0) {
            if (checkedValue)
                *checkedValue = parts.size() > 2 ? parts[2] : QStringLiteral("True");
            if (uncheckedValue)
                *uncheckedValue = parts.size() > 3 ? parts[3] : QStringLiteral("False");
            return true;
        }
    }
    return false;
}

bool TFDBGrid::checkBoxAt(const QModelIndex& index) const
{
    if (!source_ || !index.isValid())
        return false;
    const TField* f = source_->FieldOfColumn(index.column());
    return f && IsCheckBoxField(QString::fromStdString(f->FieldName()));
}

bool TFDBGrid::ToggleCheckBox(int row, int column)
{
    if (!source_ || !EditingAllowed())
        return false;
    TField* f = source_->FieldOfColumn(column);
    QString on, off;
    if (!f || f->ReadOnly() || !IsCheckBoxField(QString::fromStdString(f->FieldName()), &on, &off))
        return false;
    const QString now = QString::fromStdString(f->TextAt(row));
    const bool ok = source_->SetFieldText(row, f, now == on ? off : on);
    viewport()->update();
    return ok;
}

void TFDBGrid::paintCell(QPainter* p, const QRect& rect, const QModelIndex& index)
{
    if (!source_)
        return;
    const int row = index.row();
    TField* field = source_->FieldOfColumn(index.column());
    const bool current = row == source_->CurrentRow();
    TGridDrawState state = 0;
    if (current) {
        state |= gdSelected;
        if (index.column() == currentIndex().column())
            state |= gdFocused;
    }
    // Record colours by record number; the current record in the focus colour.
    QColor brush = ((row + 1) % 2 == 1) ? colors_->OddRecColor() : colors_->EvenRecColor();
    if (row == source_->rowCount() - 1)
        lastRecordColor_ = brush;
    if (current)
        brush = colors_->FocusRecColor();
    QColor fontColor = palette().color(QPalette::Text);
    QFont font = this->font();
    if (OnCalcCellColors)
        OnCalcCellColors(this, field, state, current, font, fontColor, brush);

    p->save();
    p->fillRect(rect, brush);
    QString on;
    if (field && IsCheckBoxField(QString::fromStdString(field->FieldName()), &on)) {
        const bool ticked = QString::fromStdString(field->TextAt(row)) == on;
        const QImage& img = ticked ? checked_ : unchecked_;
        const int x = rect.left() + (rect.width() - img.width()) / 2 + 2;
        const int y = rect.top() + (rect.height() - img.height()) / 2 + 1;
        p->drawImage(x, y, img);
    } else {
        p->setFont(font);
        p->setPen(fontColor);
        const QString text = index.data(Qt::DisplayRole).toString();
        const auto align = Qt::Alignment(index.data(Qt::TextAlignmentRole).toInt());
        const QRect textRect = rect.adjusted(2, 0, -2, 0);
        p->drawText(textRect, int(align), p->fontMetrics().elidedText(text, Qt::ElideRight, textRect.width()));
        int decimals = 0;
        if (field && currency_->_Enabled() && currency_->IsCurrencyField(QString::fromStdString(field->FieldName()), &decimals)) {
            const FieldValue v = field->DataAt(row);
            currency_->DrawCell(p, rect, index.data(TDataSource::FieldTextRole).toString(), decimals, brush,
                                std::holds_alternative<std::monostate>(v));
        }
    }
    if ((state & gdFocused) && hasFocus()) {
        QPen pen(fontColor, 1, Qt::DotLine);
        p->setPen(pen);
        p->setBrush(Qt::NoBrush);
        p->drawRect(rect.adjusted(0, 0, -1, -1));
    }
    p->restore();
}

void TFDBGrid::paintEvent(QPaintEvent* event)
{
    QTableView::paintEvent(event);
    paintBlank(this);
}

void TFDBGrid::paintBlank(QTableView* view)
{
    if (!drawBlank_ || !source_)
        return;
    const int rows = source_->rowCount();
    const int top = rows > 0 ? view->rowViewportPosition(rows - 1) + view->rowHeight(rows - 1) : 0;
    const int height = view->viewport()->height();
    if (top >= height)
        return;
    QPainter p(view->viewport());
    const int h = DefaultRowHeight();
    QStyleOptionViewItem opt;
    initViewItemOption(&opt);
    const QColor lineColor(QRgb(style()->styleHint(QStyle::SH_Table_GridLineColor, &opt, this)));
    const int line = showGrid() ? 1 : 0;
    for (int k = 0, y = std::max(top, 0); y < height; ++k, y += h) {
        const int recNo = rows + k + 1;
        const QColor c = (recNo % 2 == 1) ? colors_->OddRecColor() : colors_->EvenRecColor();
        for (int col = 0; col < source_->columnCount(); ++col) {
            if (view->isColumnHidden(col))
                continue;
            const int x = view->columnViewportPosition(col);
            const int w = view->columnWidth(col);
            if (x + w < 0 || x > view->viewport()->width())
                continue;
            p.fillRect(QRect(x, y, w - line, h - line), c);
            if (line) {
                p.setPen(lineColor);
                if (options_ & dgColLines)
                    p.drawLine(x + w - 1, y, x + w - 1, y + h - 1);
                if (options_ & dgRowLines)
                    p.drawLine(x, y + h - 1, x + w - 1, y + h - 1);
            }
        }
    }
}

void TFDBGrid::syncCurrent(int row)
{
    if (!source_)
        return;
    if (row >= 0 && row < source_->rowCount() && row != currentIndex().row()) {
        syncing_ = true;
        const int col = std::max(currentIndex().column(), 0);
        setCurrentIndex(source_->index(row, std::min(col, std::max(source_->columnCount() - 1, 0))));
        syncing_ = false;
    }
    repaintCells();
    indicator_->viewport()->update();
}

void TFDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    repaintCells();
    indicator_->viewport()->update();
    // Rows come and go under the view while the data set changes: it moves its own cursor.
    if (syncing_ || !source_ || !current.isValid() || source_->Changing())
        return;
    if (current.row() != source_->CurrentRow() && !source_->MoveToRow(current.row())) {
        syncing_ = true;
        setCurrentIndex(previous);
        syncing_ = false;
        return;
    }
    if (current.column() != previous.column())
        Fire(OnColEnter, this);
}

bool TFDBGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    if (trigger != QAbstractItemView::AllEditTriggers && (!EditingAllowed() || checkBoxAt(index)))
        return false;
    return QTableView::edit(index, trigger, event);
}

void TFDBGrid::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    pressedRow_ = pressedColumn_ = -1;
    if (event->button() == Qt::LeftButton && index.isValid()) {
        pressedRow_ = index.row();
        pressedColumn_ = index.column();
    }
    QTableView::mousePressEvent(event);
}

void TFDBGrid::mouseReleaseEvent(QMouseEvent* event)
{
    QTableView::mouseReleaseEvent(event);
    const QModelIndex index = indexAt(event->position().toPoint());
    const bool sameCell = index.isValid() && index.row() == pressedRow_ && index.column() == pressedColumn_;
    pressedRow_ = pressedColumn_ = -1;
    if (event->button() != Qt::LeftButton)
        return;
    if (sameCell)
        cellClicked(index);
    Fire(OnClick, this);
}

void TFDBGrid::cellClicked(const QModelIndex& index)
{
    if (checkBoxAt(index) && source_ && index.row() == source_->CurrentRow())
        ToggleCheckBox(index.row(), index.column());
}

void TFDBGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTableView::mouseDoubleClickEvent(event);
    rowDoubleClicked(indexAt(event->position().toPoint()));
}

void TFDBGrid::rowDoubleClicked(const QModelIndex& index)
{
    // The form's handler first: it decides whether the row may be ticked.
    Fire(OnDblClick, this);
    // In the check column the first click of the two ticked already.
    if (index.isValid() && !checkBoxAt(index) && state() != QAbstractItemView::EditingState && source_
        && index.row() == source_->CurrentRow() && CheckBoxColumn() >= 0)
        ToggleCheckBox(index.row(), CheckBoxColumn());
}

int TFDBGrid::CheckBoxColumn() const
{
    for (int c = 0; source_ && c < source_->columnCount(); ++c)
        if (checkBoxAt(source_->index(0, c)))
            return c;
    return -1;
}

void TFDBGrid::keyPressEvent(QKeyEvent* event)
{
    // Space ticks the current row from any column but one the user types into.
    const QModelIndex current = currentIndex();
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && current.isValid()
        && state() != QAbstractItemView::EditingState
        && (checkBoxAt(current) || !(current.flags() & Qt::ItemIsEditable) || !EditingAllowed())
        && CheckBoxColumn() >= 0) {
        ToggleCheckBox(current.row(), CheckBoxColumn());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void TFDBGrid::showRefusal(const QString& message)
{
    QMessageBox box(QMessageBox::Warning, window()->windowTitle(), message, QMessageBox::Ok, this);
    RunModal(&box, [&box] { return box.exec(); });
}

TNotifyEvent* TFDBGrid::notifyEvent(std::string_view name)
{
    if (SameName(name, "OnClick"))
        return &OnClick;
    if (SameName(name, "OnDblClick"))
        return &OnDblClick;
    if (SameName(name, "OnEnter"))
        return &OnEnter;
    if (SameName(name, "OnExit"))
        return &OnExit;
    if (SameName(name, "OnColEnter"))
        return &OnColEnter;
    return TEventSource::notifyEvent(name);
}
