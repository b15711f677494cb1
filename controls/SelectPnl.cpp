#include "controls/SelectPnl.h"

#include "config/LookupRequest.h"
#include "config/RunTimeProps.h"
#include "dataset/ClientDataSet.h"
#include "platform/OleDate.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QStyle>

#include <algorithm>

// ---- TOrvListView -------------------------------------------------------------------

TOrvListView::TOrvListView(QWidget* parent) : TQvControl<QTreeWidget>(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setHeaderHidden(true);
    setColumnCount(1);
    setHeaderLabels({QStringLiteral("Data")});
    header()->setSectionsClickable(true);
    header()->setStretchLastSection(false);
    connect(header(), &QHeaderView::sectionClicked, this, [this](int c) { ColumnClick(c); });
    SetHideSelection(false);
}

void TOrvListView::SetColumnsAutoSize(bool on)
{
    autoSize_ = on;
    if (on)
        AutoSizeColumns();
}

void TOrvListView::SetHideSelection(bool on)
{
    hideSelection_ = on;
    // Kept visible: the inactive selection looks like the active one.
    QPalette p = palette();
    if (on) {
        p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Inactive, QPalette::Base));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Inactive, QPalette::Text));
    } else {
        p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Active, QPalette::HighlightedText));
    }
    setPalette(p);
}

QStringList TOrvListView::ItemsText() const
{
    QStringList out;
    for (const QStringList& r : Rows())
        out.append(r.join(QLatin1Char('\t')));
    return out;
}

void TOrvListView::SetItemsText(const QStringList& rows)
{
    ClearItems();
    for (const QString& r : rows)
        AddValues(r.split(QLatin1Char('\t')));
}

QStringList TOrvListView::ColumnCaptions() const
{
    QStringList out;
    for (int c = 0; c < columnCount(); ++c)
        out.append(headerItem()->text(c));
    return out;
}

void TOrvListView::SetColumnCaptions(const QStringList& captions)
{
    setColumnCount(int(captions.size()));
    setHeaderLabels(captions);
    for (int c = 0; c < columnCount(); ++c)
        resizeColumnToContents(c);
}

void TOrvListView::SetSortType(TSortType type)
{
    sortType_ = type;
    if (type == stText)
        sortRows(0, true);
}

QStringList TOrvListView::Row(int index) const
{
    QStringList out;
    const QTreeWidgetItem* item = topLevelItem(index);
    if (!item)
        return out;
    const int n = std::max(item->columnCount(), 1);
    for (int c = 0; c < n; ++c)
        out.append(item->text(c));
    return out;
}

QList<QStringList> TOrvListView::Rows() const
{
    QList<QStringList> out;
    for (int i = 0; i < topLevelItemCount(); ++i)
        out.append(Row(i));
    return out;
}

QList<int> TOrvListView::SelectedRows() const
{
    QList<int> out;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->isSelected())
            out.append(i);
    return out;
}

void TOrvListView::DeleteRow(int index)
{
    delete takeTopLevelItem(index);
}

void TOrvListView::ClearItems()
{
    clear();
}

void TOrvListView::setRows(const QList<QStringList>& rows)
{
    // Rebuilt in the new order; the selection follows its rows.
    QList<bool> selected;
    QList<QStringList> current = Rows();
    for (int i = 0; i < topLevelItemCount(); ++i)
        selected.append(topLevelItem(i)->isSelected());
    QList<QTreeWidgetItem*> items;
    for (int i = 0; i < topLevelItemCount(); ++i)
        items.append(topLevelItem(i));
    while (topLevelItemCount() > 0)
        takeTopLevelItem(0);
    QList<bool> used(items.size(), false);
    QList<QTreeWidgetItem*> ordered;
    for (const QStringList& r : rows) {
        for (int i = 0; i < items.size(); ++i) {
            if (!used[i] && current[i] == r) {
                used[i] = true;
                ordered.append(items[i]);
                break;
            }
        }
    }
    addTopLevelItems(ordered);
    for (int i = 0; i < items.size(); ++i)
        if (used[i])
            items[i]->setSelected(selected[i]);
        else
            delete items[i];
}

namespace {

// Locale order without regard to case.
int compareText(const QString& a, const QString& b)
{
    return QString::localeAwareCompare(a.toLower(), b.toLower());
}

QString cell(const QStringList& row, int column)
{
    return column < row.size() ? row[column] : QString();
}

} // namespace

void TOrvListView::sortRows(int column, bool ascending)
{
    QList<QStringList> rows = Rows();
    std::stable_sort(rows.begin(), rows.end(), [&](const QStringList& a, const QStringList& b) {
        int c = compareText(cell(a, column), cell(b, column));
        if (c == 0) {
            // Ties: by the caption and then by column 1; column 0 by column 1, column 1 by
            // the caption.
            if (column == 0) {
                c = compareText(cell(a, 1), cell(b, 1));
            } else if (column == 1) {
                c = compareText(cell(a, 0), cell(b, 0));
            } else {
                c = compareText(cell(a, 0), cell(b, 0));
                if (c == 0)
                    c = compareText(cell(a, 1), cell(b, 1));
            }
        }
        return ascending ? c < 0 : c > 0;
    });
    setRows(rows);
}

void TOrvListView::SortByColumn(int column, bool ascending)
{
    sortColumn_ = column;
    ascending_ = ascending;
    sortRows(column, ascending);
}

void TOrvListView::ColumnClick(int column)
{
    if (column == sortColumn_)
        ascending_ = !ascending_;
    else
        ascending_ = true;
    sortColumn_ = column;
    sortRows(column, ascending_);
}

void TOrvListView::RemoveDuplicates()
{
    if (duplicates_ == NoDuplicateCheck)
        return;
    for (int i = topLevelItemCount() - 1; i >= 1; --i) {
        const QString a = topLevelItem(i)->text(0);
        const QString b = topLevelItem(i - 1)->text(0);
        const bool same = duplicates_ == DuplicateExact ? a == b : a.toUpper() == b.toUpper();
        if (same)
            DeleteRow(i);
    }
}

void TOrvListView::AutoSizeColumns()
{
    // Characters times the width of "W"; wide (Chinese) characters still fit whole.
    const QFontMetrics fm = fontMetrics();
    const int w = fm.horizontalAdvance(QLatin1Char('W'));
    for (int c = 0; c < columnCount(); ++c) {
        qsizetype longest = headerItem()->text(c).size();
        int pixels = fm.horizontalAdvance(headerItem()->text(c));
        for (int i = 0; i < topLevelItemCount(); ++i) {
            const QString t = topLevelItem(i)->text(c);
            longest = std::max(longest, t.size());
            pixels = std::max(pixels, fm.horizontalAdvance(t));
        }
        setColumnWidth(c, std::max(int(longest) * w, pixels + 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 4));
    }
}

bool TOrvListView::AddValues(const QStringList& values)
{
    try {
        if (values.isEmpty())
            return false;
        auto* item = new QTreeWidgetItem(QStringList(values));
        if (values.size() > columnCount()) {
            QStringList captions = ColumnCaptions();
            for (int c = columnCount(); c < values.size(); ++c)
                captions.append(QStringLiteral("Data") + QString::number(c + 1));
            setColumnCount(int(captions.size()));
            setHeaderLabels(captions);
        }
        addTopLevelItem(item);
        int longest = 0;
        for (int i = 0; i < topLevelItemCount(); ++i)
            longest = std::max(longest, topLevelItem(i)->columnCount());
        for (int i = 0; i < topLevelItemCount(); ++i) {
            QTreeWidgetItem* it = topLevelItem(i);
            for (int c = it->columnCount(); c < longest; ++c)
                it->setText(c, QString());
        }
        if (sortType_ == stText)
            sortRows(0, true);
        RemoveDuplicates();
        if (autoSize_)
            AutoSizeColumns();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void TOrvListView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        // A focus move may be refused (a check of the control being left): then the press
        // changes nothing either.
        setFocus(Qt::MouseFocusReason);
        if (!hasFocus())
            return;
    }
    QTreeWidget::mousePressEvent(event);
}

// ---- TSelectPanel -------------------------------------------------------------------

namespace {

constexpr int kButtonSize = 23;
constexpr int kEditHeight = 24;
constexpr int kBevel = 1;

template <typename T>
T* child(QWidget* parent, const char* name)
{
    T* w = new T(parent);
    w->setObjectName(QString::fromLatin1(name));
    SetSubComponent(w);
    return w;
}

} // namespace

TSelectPanel::TSelectPanel(QWidget* parent) : TQvControl<QGroupBox>(parent)
{
    // Children in the order (and so the z-order and tab order) the system creates them.
    typeBox_ = child<TOrvCheckBox>(this, "cbSelectType");
    rangePanel_ = child<QWidget>(this, "pnlRange");
    beginLabel_ = child<QLabel>(rangePanel_, "lblBegin");
    edBegin = child<TOrvMaskEdit>(rangePanel_, "edBegin");
    beginButton_ = child<TF2Button>(rangePanel_, "btnBegin");
    finalLabel_ = child<QLabel>(rangePanel_, "lblFinal");
    edFinal = child<TOrvMaskEdit>(rangePanel_, "edFinal");
    finalButton_ = child<TF2Button>(rangePanel_, "btnFinal");
    listPanel_ = child<QWidget>(this, "pnlList");
    listButton_ = child<TF2Button>(listPanel_, "btnList");
    deleteButton_ = child<TGSpeedButton>(listPanel_, "btnDelete");
    clearButton_ = child<TGSpeedButton>(listPanel_, "btnClear");
    ListBox = child<TOrvListView>(listPanel_, "ListBox");

    typeBox_->SetChecked(true);
    typeBox_->hide();
    edBegin->resize(edBegin->width(), kEditHeight);
    edFinal->resize(edFinal->width(), kEditHeight);
    for (TF2Button* b : {beginButton_, finalButton_, listButton_}) {
        b->SetFlat(true);
        b->resize(kButtonSize, kButtonSize);
        b->OnClick = [this, b](QObject*) {
            openWindow(b == listButton_ ? static_cast<QWidget*>(ListBox)
                                        : (b == beginButton_ ? static_cast<QWidget*>(edBegin) : edFinal));
        };
    }
    deleteButton_->SetFlat(true);
    deleteButton_->resize(kButtonSize, kButtonSize);
    deleteButton_->SetGlyphIndex(47);
    deleteButton_->SetNumGlyphs(1);
    deleteButton_->OnClick = [this](QObject*) { deleteSelected(); };
    clearButton_->SetFlat(true);
    clearButton_->resize(kButtonSize, kButtonSize);
    clearButton_->SetGlyphIndex(4);
    clearButton_->OnClick = [this](QObject*) { clearAll(); };
    typeBox_->OnClick = [this](QObject*) {
        carryTypedIntoList();
        typeClicked();
    };

    connect(ListBox->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                if (!OnItemSelect)
                    return;
                for (const QModelIndex& i : selected.indexes())
                    if (i.column() == 0)
                        OnItemSelect(ListBox, ListBox->topLevelItem(i.row()), i.row(), true);
                for (const QModelIndex& i : deselected.indexes())
                    if (i.column() == 0)
                        OnItemSelect(ListBox, ListBox->topLevelItem(i.row()), i.row(), false);
            });
    connect(ListBox, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) {
        if (OnItemChange)
            OnItemChange(ListBox, item);
    });

    for (QWidget* w : std::initializer_list<QWidget*>{typeBox_, rangePanel_, beginLabel_, edBegin, beginButton_,
                                                      finalLabel_, edFinal, finalButton_, listPanel_, listButton_,
                                                      deleteButton_, clearButton_, ListBox, ListBox->viewport()})
        watch(w);

    beginWords_ = {QStringLiteral("起"), QStringLiteral("起")};
    finalWords_ = {QStringLiteral("止"), QStringLiteral("止")};
    childHints_ = {QStringLiteral("用户自定输入方式"),  QStringLiteral("区间选择-起始信息"),
                   QStringLiteral("区间选择-起始信息开窗"), QStringLiteral("区间选择-截止信息"),
                   QStringLiteral("区间选择-截止信息开窗"), QStringLiteral("多选-己选择的信息"),
                   QStringLiteral("多选-信息开窗"),      QStringLiteral("多选-删除一笔信息"),
                   QStringLiteral("多选-删除己选信息")};
    typeBox_->SetCaption(QStringLiteral("区间选择"));
    SetGlyphIndex(8);
    emptyMaskText_ = edBegin->Text();
    applyChildHints();
    resize(353, 45);
    updateVisibility();
    updateLabels();
    layoutPanel();
}

void TSelectPanel::watch(QWidget* w)
{
    w->installEventFilter(this);
}

void TSelectPanel::SetCaption(const QString& caption)
{
    setTitle(caption);
    layoutPanel();
}

bool TSelectPanel::IsRangeMode() const
{
    return style_ == sp_Range || (style_ == sp_UserChoice && typeBox_->Checked());
}

bool TSelectPanel::isStacked() const
{
    return style_ == sp_UserChoice || useVertical_;
}

void TSelectPanel::SetStyle(TSelectStyle style)
{
    TSelectStyle next = style;
    bool accept = true;
    if (OnStyleChanging)
        OnStyleChanging(this, style_, next, accept);
    if (!accept)
        return;
    const TSelectStyle old = style_;
    style_ = next;
    updateVisibility();
    // Between a range and a list or choice the panel takes its other size.
    if (old != next && (old == sp_Range || next == sp_Range) && !useVertical_ && !loading_) {
        const QSize now = size();
        resize(otherWidth_, otherHeight_);
        otherWidth_ = now.width();
        otherHeight_ = now.height();
    }
    updateLabels();
    layoutPanel();
    if (OnStyleChange)
        OnStyleChange(this, old, next);
}

void TSelectPanel::SetUserChoice(bool range)
{
    typeBox_->SetChecked(range);
    typeClicked();
}

void TSelectPanel::typeClicked()
{
    userChoice_ = typeBox_->Checked();
    layoutPanel();
    updateVisibility();
    Fire(OnTypeClick, this);
}

void TSelectPanel::carryTypedIntoList()
{
    if (style_ != sp_UserChoice || typeBox_->Checked())
        return;
    const QString empty = emptyMaskText_.trimmed();
    for (TOrvMaskEdit* edit : {edBegin, edFinal}) {
        const QString text = edit->Text().trimmed();
        if (text.isEmpty() || (!empty.isEmpty() && text == empty))
            continue;
        bool listed = false;
        for (const QStringList& row : ListBox->Rows())
            listed = listed || (!row.isEmpty() && row.first().trimmed() == text);
        if (!listed)
            ListBox->AddValues({text});
    }
}

QString TSelectPanel::HintWord() const
{
    return typeBox_->Caption();
}

void TSelectPanel::SetHintWord(const QString& word)
{
    typeBox_->SetCaption(word);
    layoutPanel();
}

void TSelectPanel::SetBeginWords(const QStringList& words)
{
    beginWords_ = words.mid(0, 2);
    updateLabels();
    layoutPanel();
}

void TSelectPanel::SetFinalWords(const QStringList& words)
{
    finalWords_ = words.mid(0, 2);
    updateLabels();
    layoutPanel();
}

void TSelectPanel::updateLabels()
{
    // The side-by-side layout shows item 0, the stacked one item 1 (item 0 when alone).
    auto pick = [this](const QStringList& w) {
        if (w.isEmpty())
            return QString();
        return (isStacked() && w.size() > 1) ? w[1] : w[0];
    };
    beginLabel_->setText(pick(beginWords_));
    finalLabel_->setText(pick(finalWords_));
    beginLabel_->adjustSize();
    finalLabel_->adjustSize();
}

void TSelectPanel::SetChildHints(const QStringList& hints)
{
    for (int i = 0; i < hints.size() && i < childHints_.size(); ++i)
        childHints_[i] = hints[i];
    applyChildHints();
}

void TSelectPanel::applyChildHints()
{
    const QList<QWidget*> children = {typeBox_, edBegin, beginButton_, edFinal, finalButton_,
                                      ListBox,  listButton_, deleteButton_, clearButton_};
    for (int i = 0; i < children.size() && i < childHints_.size(); ++i)
        children[i]->setToolTip(childHints_[i]);
}

void TSelectPanel::SetUseVertical(bool on)
{
    if (style_ != sp_Range)
        return;
    useVertical_ = on;
    updateLabels();
    layoutPanel();
}

void TSelectPanel::SetCanOpenWin(bool on)
{
    canOpenWin_ = on;
    layoutPanel();
}

void TSelectPanel::SetGlyphIndex(int index)
{
    glyphIndex_ = index;
    for (TF2Button* b : {beginButton_, finalButton_, listButton_}) {
        b->SetGlyphIndex(index);
        if (b->Glyph().isNull() && index != 0) {
            // No such glyph: no glyph at all rather than a number on the button.
            b->SetGlyphIndex(0);
            b->SetCaption(QString());
        }
    }
}

void TSelectPanel::SetEditMask(const QString& mask)
{
    const QString old = edBegin->Text();
    edBegin->SetReMasking(true);
    edFinal->SetReMasking(true);
    edBegin->SetText(QString());
    edBegin->SetEditMask(mask);
    edFinal->SetEditMask(mask);
    editMask_ = mask;
    emptyMaskText_ = edBegin->Text();
    edBegin->SetText(old);
    edBegin->SetReMasking(false);
    edFinal->SetReMasking(false);
}

void TSelectPanel::SetCheckDuplicate(TCheckDuplicate rule)
{
    checkDuplicate_ = rule;
    ListBox->SetDuplicates(rule == cd_None ? TOrvListView::NoDuplicateCheck
                                           : (rule == cd_CheckCase ? TOrvListView::DuplicateExact
                                                                   : TOrvListView::DuplicateIgnoringCase));
    if (rule != cd_None) {
        SetSortListBox(true);
        if (!IsRangeMode())
            ListBox->RemoveDuplicates();
    }
}

void TSelectPanel::SetSortListBox(bool on)
{
    ListBox->SetSortType(on ? TOrvListView::stText : TOrvListView::stNone);
}

void TSelectPanel::SetEnabled(bool on)
{
    enabled_ = on;
    setEnabled(on);
    for (QWidget* w : findChildren<QWidget*>())
        w->setEnabled(on);
}

void TSelectPanel::SetFocus()
{
    if (IsRangeMode())
        edBegin->setFocus(Qt::OtherFocusReason);
    else
        ListBox->setFocus(Qt::OtherFocusReason);
}

void TSelectPanel::updateVisibility()
{
    typeBox_->setVisible(style_ == sp_UserChoice);
    const bool range = style_ == sp_Range || (style_ == sp_UserChoice && typeBox_->Checked());
    rangePanel_->setVisible(range);
    listPanel_->setVisible(!range);
    (range ? rangePanel_ : listPanel_)->raise();
}

void TSelectPanel::resizeEvent(QResizeEvent* event)
{
    QGroupBox::resizeEvent(event);
    layoutPanel();
}

void TSelectPanel::changeEvent(QEvent* event)
{
    QGroupBox::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateLabels();
        layoutPanel();
    }
}

void TSelectPanel::layoutPanel()
{
    if (laying_)
        return;
    laying_ = true;
    const QFontMetrics fm(font());
    const int textH = fm.height();
    const QFontMetrics boxFm(typeBox_->font());
    typeBox_->resize(boxFm.horizontalAdvance(typeBox_->Caption()) + 24, boxFm.height() + 2);

    QRect area;
    if (style_ == sp_UserChoice) {
        typeBox_->move(16, textH + 1);
        const int top = typeBox_->y() + boxFm.height() + 2;
        area = QRect(2, top, width() - 4, height() - top - 2);
    } else {
        const int top = textH + 3;
        area = QRect(2, top, width() - 2 - 2 - kBevel, height() - top - 2 - kBevel);
    }
    area.setWidth(std::max(area.width(), 0));
    area.setHeight(std::max(area.height(), 0));
    rangePanel_->setGeometry(area);
    listPanel_->setGeometry(area);
    layoutRange(isStacked());
    layoutList();
    laying_ = false;
}

void TSelectPanel::layoutRange(bool stacked)
{
    for (TF2Button* b : {beginButton_, finalButton_})
        b->setVisible(canOpenWin_);
    const int f2 = canOpenWin_ ? kButtonSize : 0;
    const int pw = rangePanel_->width();
    const int bw = beginLabel_->width(), bh = beginLabel_->height();
    const int fw = finalLabel_->width();
    if (!stacked) {
        beginLabel_->move(2, (kEditHeight - bh) / 2);
        const int left = beginLabel_->x() + bw + 1;
        // Both edits share what the labels, buttons and gaps leave of the panel.
        const int w = std::max(canOpenWin_ ? (pw - beginLabel_->x() - bw - 2 * f2 - fw - 9) / 2
                                            : (pw - beginLabel_->x() - bw - fw - 7) / 2,
                               0);
        edBegin->setGeometry(left, 0, w, kEditHeight);
        beginButton_->setGeometry(left + w + 2, 0, kButtonSize, kButtonSize);
        const int finalLeft = canOpenWin_ ? beginButton_->x() + kButtonSize + 2 : left + w + 4;
        finalLabel_->move(finalLeft, (kEditHeight - finalLabel_->height()) / 2);
        edFinal->setGeometry(finalLeft + fw + 2, 0, w, kEditHeight);
        finalButton_->setGeometry(edFinal->x() + w + 2, 0, kButtonSize, kButtonSize);
        return;
    }
    const int gap = std::max((rangePanel_->height() - 2 * kEditHeight) / 3, 0);
    const int labelW = std::max(bw, fw);
    const int left = 2 + labelW + 2;
    const int w = std::max(pw - left - (canOpenWin_ ? f2 + 4 : 2), 0);
    const int top2 = 2 * gap + kEditHeight;
    beginLabel_->move(2, gap + (kEditHeight - bh) / 2);
    edBegin->setGeometry(left, gap, w, kEditHeight);
    beginButton_->setGeometry(left + w + 1, gap, kButtonSize, kButtonSize);
    finalLabel_->move(2, top2 + (kEditHeight - finalLabel_->height()) / 2);
    edFinal->setGeometry(left, top2, w, kEditHeight);
    finalButton_->setGeometry(left + w + 1, top2, kButtonSize, kButtonSize);
}

void TSelectPanel::layoutList()
{
    listButton_->setVisible(canOpenWin_);
    const int w = std::max(listPanel_->width() - kButtonSize - 3, 0);
    ListBox->setGeometry(0, 0, w, listPanel_->height());
    listButton_->setGeometry(w + 2, 0, kButtonSize, kButtonSize);
    deleteButton_->setGeometry(w + 2, kButtonSize, kButtonSize, kButtonSize);
    clearButton_->setGeometry(w + 2, 2 * kButtonSize, kButtonSize, kButtonSize);
}

void TSelectPanel::openWindow(QWidget* target)
{
    if (target->isEnabled() && target->isVisible())
        target->setFocus(Qt::OtherFocusReason);
    SendLookupRequest(target);
    if (OnOpenWinClick)
        OnOpenWinClick(this, target);
}

void TSelectPanel::deleteSelected()
{
    bool accept = true;
    if (OnDeleteClick)
        OnDeleteClick(this, accept);
    if (!accept)
        return;
    const QList<int> rows = ListBox->SelectedRows();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        bool allow = true;
        if (OnItemChanging)
            OnItemChanging(ListBox, ListBox->topLevelItem(*it), allow);
        if (allow)
            ListBox->DeleteRow(*it);
    }
}

void TSelectPanel::clearAll()
{
    ListBox->ClearItems();
    ListBox->setFocus(Qt::OtherFocusReason);
    Fire(OnClearClick, this);
}

// ---- the exit step ------------------------------------------------------------------

namespace {

// A float text rewritten as integer part, "." and fraction. The fraction keeps its digits
// as typed (its leading zeros count), and the sign stays.
QString rewriteFloat(const QString& text)
{
    QString s = text.trimmed();
    bool negative = false;
    if (s.startsWith(QLatin1Char('-')) || s.startsWith(QLatin1Char('+'))) {
        negative = s.startsWith(QLatin1Char('-'));
        s.remove(0, 1);
    }
    const int point = int(s.indexOf(QLatin1Char('.')));
    const QString intText = point < 0 ? s : s.left(point);
    QString frac = point < 0 ? QString() : s.mid(point + 1).trimmed();
    bool ok = false;
    qulonglong whole = intText.trimmed().toULongLong(&ok);
    if (!ok)
        whole = 0;
    const bool digitsOnly = !frac.isEmpty() && std::all_of(frac.begin(), frac.end(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
    if (!digitsOnly)
        frac = QStringLiteral("0");
    const bool zero = whole == 0 && frac.count(QLatin1Char('0')) == frac.size();
    return (negative && !zero ? QStringLiteral("-") : QString()) + QString::number(whole) + QLatin1Char('.') + frac;
}

qlonglong readInteger(const QString& text)
{
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok);
    return ok ? v : 0;
}

int compareNumbers(const QString& a, const QString& b)
{
    Decimal x, y;
    if (Decimal::tryParse(a.toStdString(), x) && Decimal::tryParse(b.toStdString(), y))
        return x.compare(y);
    const double p = a.toDouble(), q = b.toDouble();
    return p < q ? -1 : (p > q ? 1 : 0);
}

} // namespace

double TSelectPanel::ReadDate(const QString& text) const
{
    QString t = text.trimmed();
    if (t.isEmpty() || t == emptyMaskText_.trimmed() || dateSign_.isEmpty())
        return 0;
    const qsizetype signs = t.count(dateSign_);
    if (signs == 1) {
        switch (dateType_) {
        case dt_MMDDYYYY:
            t = t.left(2) + dateSign_ + QStringLiteral("01") + t.mid(2);
            break;
        case dt_DDMMYYYY:
            t = QStringLiteral("01") + dateSign_ + t;
            break;
        default:
            t = t + dateSign_ + QStringLiteral("01");
            break;
        }
    } else if (signs != 2) {
        return 0;
    }
    const QStringList parts = t.split(dateSign_);
    if (parts.size() != 3)
        return 0;
    int n[3];
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        n[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return 0;
    }
    int y = n[0], m = n[1], d = n[2];
    switch (dateType_) {
    case dt_MMDDYYYY:
        m = n[0], d = n[1], y = n[2];
        break;
    case dt_DDMMYYYY:
        d = n[0], m = n[1], y = n[2];
        break;
    case dt_YYMMDD:
    case dt_YYYMMDD:
        y = n[0] + 1911;
        break;
    default:
        break;
    }
    double days = 0;
    return TryEncodeDate(y, m, d, days) ? days : 0;
}

void TSelectPanel::TidyRange()
{
    auto setText = [](TOrvMaskEdit* e, const QString& t) {
        if (e->Text() != t)
            e->SetText(t);
    };
    if (!editMask_.startsWith(QLatin1Char('!'))) {
        setText(edBegin, edBegin->Text().trimmed());
        setText(edFinal, edFinal->Text().trimmed());
    }
    QString b = edBegin->Text(), e = edFinal->Text();
    if (b.isEmpty() || e.isEmpty())
        return;
    const bool blank = b == emptyMaskText_ || e == emptyMaskText_;
    const bool discarded = useDiscard_ && (b.trimmed() == discard_ || e.trimmed() == discard_);
    bool swap = false;
    switch (valueType_) {
    case vt_Number:
        swap = readInteger(e) < readInteger(b);
        break;
    case vt_String:
    case vt_Time:
        swap = !blank && !discarded && QString::compare(b, e) > 0;
        break;
    case vt_Date:
        if (!autoChangeDateSite_ || blank || discarded)
            break;
        if (dateType_ == dt_NoneCare)
            swap = QString::compare(b, e) > 0;
        else
            swap = ReadDate(b) > ReadDate(e);
        break;
    case vt_Float:
        b = rewriteFloat(b);
        e = rewriteFloat(e);
        setText(edBegin, b);
        setText(edFinal, e);
        swap = compareNumbers(e, b) < 0;
        break;
    case vt_OtherMask:
        break;
    }
    if (swap) {
        const QString begin = edBegin->Text();
        edBegin->SetText(edFinal->Text());
        edFinal->SetText(begin);
    }
}

// ---- events of the children ---------------------------------------------------------

QWidget* TSelectPanel::senderFor(QObject* object)
{
    if (object == ListBox || object == ListBox->viewport())
        return ListBox;
    if (object == edBegin || object == edFinal)
        return static_cast<QWidget*>(object);
    return this;
}

bool TSelectPanel::eventFilter(QObject* watched, QEvent* event)
{
    auto* w = qobject_cast<QWidget*>(watched);
    switch (event->type()) {
    case QEvent::FocusOut: {
        // The focus already sits on its new control when the old one hears of it. Leaving
        // the window, or for a popup, is no exit.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        QWidget* now = QApplication::focusWidget();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && now && now != w
            && now->window() == window() && now != this && !isAncestorOf(now))
            TidyRange();
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
        auto* me = static_cast<QMouseEvent*>(event);
        // A press a label ignored comes on to its panel: it was reported already.
        if ((watched == rangePanel_ || watched == listPanel_) && w->childAt(me->position().toPoint()))
            break;
        QWidget* sender = senderFor(watched);
        const QPoint p = w ? w->mapTo(this, me->position().toPoint()) : me->position().toPoint();
        const TShiftState shift = ShiftStateFromQt(me->modifiers());
        const bool isButton = watched == beginButton_ || watched == finalButton_ || watched == listButton_
                           || watched == deleteButton_ || watched == clearButton_ || watched == typeBox_;
        if (event->type() == QEvent::MouseButtonPress && OnMouseDown)
            OnMouseDown(sender, me->button(), shift, p.x(), p.y());
        else if (event->type() == QEvent::MouseButtonRelease) {
            if (OnMouseUp)
                OnMouseUp(sender, me->button(), shift, p.x(), p.y());
            if (me->button() == Qt::LeftButton && !isButton && w && w->rect().contains(me->position().toPoint()))
                Fire(OnClick, sender);
        } else if (event->type() == QEvent::MouseButtonDblClick) {
            Fire(OnDblClick, sender);
        } else if (event->type() == QEvent::MouseMove && OnMouseMove) {
            OnMouseMove(sender, me->buttons() & Qt::LeftButton ? Qt::LeftButton : Qt::NoButton, shift, p.x(), p.y());
        }
        break;
    }
    case QEvent::KeyPress: {
        if (watched != edBegin && watched != edFinal && watched != ListBox)
            break;
        auto* ke = static_cast<QKeyEvent*>(event);
        QWidget* sender = senderFor(watched);
        int key = VirtualKeyFromQt(ke->key());
        if (key && OnKeyDown) {
            OnKeyDown(sender, key, ShiftStateFromQt(ke->modifiers()));
            if (key == 0)
                return true;
        }
        QChar ch = KeyPressChar(ke);
        if (!ch.isNull() && OnKeyPress) {
            OnKeyPress(sender, ch);
            if (ch.isNull())
                return true;
        }
        break;
    }
    case QEvent::KeyRelease: {
        if (watched != edBegin && watched != edFinal && watched != ListBox)
            break;
        auto* ke = static_cast<QKeyEvent*>(event);
        int key = VirtualKeyFromQt(ke->key());
        if (key && OnKeyUp) {
            OnKeyUp(senderFor(watched), key, ShiftStateFromQt(ke->modifiers()));
            if (key == 0)
                return true;
        }
        break;
    }
    default:
        break;
    }
    return TQvControl<QGroupBox>::eventFilter(watched, event);
}

TNotifyEvent* TSelectPanel::notifyEvent(std::string_view name)
{
    if (SameName(name, "OnClearClick"))
        return &OnClearClick;
    if (SameName(name, "OnTypeClick"))
        return &OnTypeClick;
    if (SameName(name, "OnDblClick"))
        return &OnDblClick;
    return TQvControl<QGroupBox>::notifyEvent(name);
}

QList<TGlyphButton*> TSelectPanel::DisabledGlyphButtons()
{
    return {listButton_, deleteButton_, clearButton_};
}
