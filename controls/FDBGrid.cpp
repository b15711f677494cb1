#include "controls/FDBGrid.h"

#include "controls/BmpLibrary.h"
#include "controls/DataSource.h"
#include "platform/ClientDataSet.h"
#include "platform/ModalRunner.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <cmath>

// ---- TFDBGridColors -----------------------------------------------------------------

TFDBGridColors::TFDBGridColors(QObject* owner) : QObject(owner) {}

void TFDBGridColors::SetOddRecColor(const QColor& c)
{
    odd_ = c;
    Fire(OnChange, this);
}

void TFDBGridColors::SetEvenRecColor(const QColor& c)
{
    even_ = c;
    Fire(OnChange, this);
}

void TFDBGridColors::SetFocusRecColor(const QColor& c)
{
    focus_ = c;
    Fire(OnChange, this);
}

TNotifyEvent* TFDBGridColors::notifyEvent(std::string_view name)
{
    return SameName(name, "OnChange") ? &OnChange : TEventSource::notifyEvent(name);
}

// ---- TCurrencyStyle -----------------------------------------------------------------

TCurrencyStyle::TCurrencyStyle(QObject* owner) : QObject(owner)
{
    SetCurrencyFont(QApplication::font());
    negativeFont_ = QApplication::font();
}

void TCurrencyStyle::changed()
{
    Fire(OnChange, this);
}

void TCurrencyStyle::Set_Enabled(bool v)
{
    enabled_ = v;
    changed();
}

void TCurrencyStyle::SetFixColWidth(bool v)
{
    fixColWidth_ = v;
    changed();
}

void TCurrencyStyle::SetCurrencyFont(const QFont& f)
{
    currencyFont_ = f;
    const QFontMetrics fm(f);
    chnWidth_ = fm.horizontalAdvance(QStringLiteral("中"));
    engWidth_ = fm.horizontalAdvance(QLatin1Char('0'));
    chnHeight_ = fm.boundingRect(QStringLiteral("中")).height();
    engHeight_ = fm.height();
    changed();
}

void TCurrencyStyle::SetNegativeFont(const QFont& f)
{
    negativeFont_ = f;
    changed();
}

void TCurrencyStyle::SetNegativeFontColor(const QColor& c)
{
    negativeFontColor_ = c;
    changed();
}

void TCurrencyStyle::SetCurrencySymbol(const QString& v)
{
    symbol_ = v;
    changed();
}

void TCurrencyStyle::SetCurrencySymbolAligned(bool v)
{
    symbolAligned_ = v;
    changed();
}

void TCurrencyStyle::SetDecimalNumber(int v)
{
    decimals_ = std::clamp(v, 0, Decimal::MaxScale);
    changed();
}

void TCurrencyStyle::SetDecimalSeparatorColor(const QColor& c)
{
    decimalColor_ = c;
    changed();
}

void TCurrencyStyle::SetDigitalNumber(int v)
{
    digits_ = std::max(v, 1);
    changed();
}

void TCurrencyStyle::SetGridLineColor(const QColor& c)
{
    lineColor_ = c;
    changed();
}

void TCurrencyStyle::SetGridLineWidth(int v)
{
    lineWidth_ = std::max(v, 0);
    changed();
}

void TCurrencyStyle::SetKilobitSeparatorColor(const QColor& c)
{
    kiloColor_ = c;
    changed();
}

void TCurrencyStyle::SetNegativeColor(const QColor& c)
{
    negativeColor_ = c;
    changed();
}

void TCurrencyStyle::SetShowNegativeColor(bool v)
{
    showNegativeColor_ = v;
    changed();
}

void TCurrencyStyle::SetShowNegativeFont(bool v)
{
    showNegativeFont_ = v;
    changed();
}

void TCurrencyStyle::SetShowNegativeSign(bool v)
{
    showNegativeSign_ = v;
    changed();
}

void TCurrencyStyle::SetTextLayout(TTextLayout v)
{
    layout_ = v;
    changed();
}

void TCurrencyStyle::SetColor(const QColor& c)
{
    color_ = c;
    changed();
}

void TCurrencyStyle::SetColorUseGridCellColor(bool v)
{
    useCellColor_ = v;
    changed();
}

void TCurrencyStyle::SetZeroEmpty(bool v)
{
    zeroEmpty_ = v;
    changed();
}

void TCurrencyStyle::SetCurrencyNames(const QString& v)
{
    QString text = v;
    text.replace(QLatin1Char(';'), QLatin1Char('\n'));
    text.remove(QLatin1Char('\r'));
    names_ = text;
    fields_.clear();
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const int eq = int(line.indexOf(QLatin1Char('=')));
        const QString name = (eq < 0 ? line : line.left(eq)).trimmed().toUpper();
        if (name.isEmpty())
            continue;
        int decimals = -1;
        if (eq >= 0) {
            bool ok = false;
            const int d = line.mid(eq + 1).trimmed().toInt(&ok);
            if (ok && d >= 0 && d <= Decimal::MaxScale)
                decimals = d;
        }
        fields_.insert(name, decimals);
    }
    changed();
}

bool TCurrencyStyle::IsCurrencyField(const QString& fieldName, int* decimals) const
{
    const auto it = fields_.constFind(fieldName.trimmed().toUpper());
    if (it == fields_.constEnd())
        return false;
    if (decimals)
        *decimals = it.value() < 0 ? decimals_ : it.value();
    return true;
}

void TCurrencyStyle::DrawCell(QPainter* p, const QRect& rect, const QString& valueText, int decimals,
                              const QColor& cellColor, bool empty)
{
    if (!enabled_ || rect.isEmpty())
        return;
    const int d = std::clamp(decimals, 0, Decimal::MaxScale);
    Decimal value;
    bool tooLarge = false;
    if (!Decimal::tryParse(valueText.toStdString(), value)) {
        bool ok = false;
        const double big = valueText.trimmed().toDouble(&ok);
        // Readable but beyond 19 digits: it cannot fit any cell.
        if (ok && std::isfinite(big)) {
            tooLarge = true;
            value = Decimal(big < 0 ? -1 : 1, 0);
        } else {
            value = Decimal();
        }
    }
    const bool negative = value.isNegative();

    p->save();
    const QFont font = (negative && showNegativeFont_) ? negativeFont_ : currencyFont_;
    QColor background = color_;
    if (useCellColor_)
        background = color_ = cellColor;
    if (negative && showNegativeColor_)
        background = negativeColor_;
    p->fillRect(rect, background);

    const QFontMetrics fm(font);
    const int lw = lineWidth_;
    int n = 0, colW = 0;
    if (fixColWidth_) {
        colW = fm.horizontalAdvance(QLatin1Char('0')) + 1;
        n = rect.width() / (lw + colW);
        if (n > 0)
            digits_ = n;
    } else {
        n = digits_;
        colW = (rect.width() - lw * (n - 1)) / n;
    }
    if (n <= 0 || colW <= 0) {
        p->restore();
        return;
    }
    const int extra = rect.width() - n * colW - (n - 1) * lw;   // to the leftmost column
    auto colLeft = [&](int k) { return rect.left() + (k == 1 ? 0 : extra + (k - 1) * (colW + lw)); };
    auto colWidth = [&](int k) { return colW + (k == 1 ? extra : 0); };

    const int pointLine = n - d;
    for (int i = 1; i < n; ++i) {
        QColor c = lineColor_;
        if (i == pointLine)
            c = decimalColor_;
        else if (i < pointLine && (pointLine - i) % 3 == 0)
            c = kiloColor_;
        if (lw > 0)
            p->fillRect(QRect(colLeft(i) + colWidth(i), rect.top(), lw, rect.height()), c);
    }

    if (empty || (!tooLarge && value.isZero() && zeroEmpty_)) {
        p->restore();
        return;
    }

    QString chars;
    bool overflow = tooLarge;
    if (!overflow) {
        try {
            const std::string fixed = value.rescaled(d).toFixed();
            QString digits = QString::fromStdString(fixed);
            digits.remove(QLatin1Char('-'));
            digits.remove(QLatin1Char('.'));
            chars = (negative && showNegativeSign_ ? QStringLiteral("-") : QString()) + digits;
        } catch (const DataSetError&) {
            overflow = true;
        }
    }
    const int needed = int(chars.size()) + (symbol_.isEmpty() ? 0 : 1);
    if (overflow || needed > n) {
        overflow = true;
        chars = QString(std::max(n - d, 0), QLatin1Char('#')) + QString(std::min(d, n), QLatin1Char('#'));
    }

    const int th = fm.height();
    int y = rect.top();
    if (layout_ == tlCenter)
        y = rect.top() + (rect.height() - th) / 2 + 1;
    else if (layout_ == tlBottom)
        y = rect.top() + rect.height() - th;

    p->setFont(font);
    if (negative && showNegativeFont_)
        p->setPen(negativeFontColor_);
    const int first = n - int(chars.size()) + 1;
    for (int i = 0; i < int(chars.size()); ++i) {
        const int k = first + i;
        p->drawText(QRect(colLeft(k), y, colWidth(k), th), Qt::AlignHCenter | Qt::AlignTop, QString(chars[i]));
    }
    if (!symbol_.isEmpty() && !overflow) {
        const int k = symbolAligned_ ? 1 : first - 1;
        if (k >= 1)
            p->drawText(QRect(colLeft(k), y, colWidth(k), th), Qt::AlignHCenter | Qt::AlignTop, symbol_);
    }
    p->restore();
}

TNotifyEvent* TCurrencyStyle::notifyEvent(std::string_view name)
{
    return SameName(name, "OnChange") ? &OnChange : TEventSource::notifyEvent(name);
}

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
            p->drawText(rect.adjusted(2, 0, -2, 0), int(a | Qt::AlignVCenter), text);
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
        Fire(grid_->OnDblClick, grid_);
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
    constexpr int kSampleRows = 200, kTextLimit = 180;
    const QFontMetrics fm = fontMetrics();
    const int rows = std::min(source_->rowCount(), kSampleRows);
    for (int c = 0; c < source_->columnCount(); ++c) {
        const TField* f = source_->FieldOfColumn(c);
        if (!f)
            continue;
        const int title = fm.horizontalAdvance(titleOf(c)) + 12;
        int content = rows == 0 ? std::clamp(f->DisplayWidth(), 2, 12) * fm.averageCharWidth() : 0;
        for (int r = 0; r < rows; ++r)
            content = std::max(content, fm.horizontalAdvance(source_->index(r, c).data(Qt::DisplayRole).toString()));
        content += 10;
        if (f->DataType() == ftString)
            content = std::min(content, kTextLimit);
        setColumnWidth(c, std::max(title, content));
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
    Fire(OnDblClick, this);
}

void TFDBGrid::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && checkBoxAt(currentIndex())
        && state() != QAbstractItemView::EditingState) {
        ToggleCheckBox(currentIndex().row(), currentIndex().column());
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
