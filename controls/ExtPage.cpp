#include "controls/ExtPage.h"
#include "config/RunTimeProps.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTabBar>
#include <QPainter>
#include <QWheelEvent>

// --- TTabSheet -----------------------------------------------------------------------------

TTabSheet::TTabSheet(TExtPageControl* pageControl) : TQvControl<QWidget>(nullptr)
{
    SetPageControl(pageControl);
}

TNotifyEvent* TTabSheet::notifyEvent(std::string_view name)
{
    if (SameName(name, "OnShow"))
        return &OnShow;
    if (SameName(name, "OnHide"))
        return &OnHide;
    return TQvControl<QWidget>::notifyEvent(name);
}

void TTabSheet::SetCaption(const QString& caption)
{
    caption_ = caption;
    if (pageControl_)
        pageControl_->refreshTab(this);
}

void TTabSheet::SetTabVisible(bool on)
{
    tabVisible_ = on;
    if (pageControl_)
        pageControl_->refreshTab(this);
}

void TTabSheet::SetPageControl(TExtPageControl* pageControl)
{
    if (pageControl_ == pageControl)
        return;
    if (pageControl_)
        pageControl_->removePage(this);
    pageControl_ = pageControl;
    if (pageControl_)
        pageControl_->insertPage(this);
}

int TTabSheet::PageIndex() const
{
    if (!pageControl_)
        return -1;
    for (int i = 0; i < pageControl_->PageCount(); ++i)
        if (pageControl_->Pages(i) == this)
            return i;
    return -1;
}

int TTabSheet::TabIndex() const
{
    if (!pageControl_ || !tabVisible_)
        return -1;
    int tab = 0;
    for (int i = 0; i < pageControl_->PageCount(); ++i) {
        TTabSheet* p = pageControl_->Pages(i);
        if (p == this)
            return tab;
        if (p && p->tabVisible_)
            ++tab;
    }
    return -1;
}

void TTabSheet::showEvent(QShowEvent* event)
{
    TQvControl<QWidget>::showEvent(event);
    Fire(OnShow, this);
}

void TTabSheet::hideEvent(QHideEvent* event)
{
    TQvControl<QWidget>::hideEvent(event);
    Fire(OnHide, this);
}

// --- TExtPageControl -----------------------------------------------------------------------

TExtPageControl::TExtPageControl(QWidget* parent) : TQvControl<QTabWidget>(parent)
{
    setTabBar(new TExtTabBar(this));
    resize(289, 193);
}

TTabSheet* TExtPageControl::Pages(int index) const
{
    return index >= 0 && index < pages_.size() ? pages_.at(index).data() : nullptr;
}

void TExtPageControl::insertPage(TTabSheet* page)
{
    pages_.append(page);
    addTab(page, page->caption_);
    setTabVisible(indexOf(page), page->tabVisible_);
}

void TExtPageControl::removePage(TTabSheet* page)
{
    pages_.removeAll(page);
    const int i = indexOf(page);
    if (i >= 0)
        removeTab(i);
}

void TExtPageControl::refreshTab(TTabSheet* page)
{
    const int i = indexOf(page);
    if (i < 0)
        return;
    setTabText(i, page->caption_);
    setTabVisible(i, page->tabVisible_);
    tabBar()->update();
}

TTabSheet* TExtPageControl::ActivePage() const
{
    return qobject_cast<TTabSheet*>(currentWidget());
}

void TExtPageControl::SetActivePage(QWidget* page)
{
    const int i = page ? indexOf(page) : -1;
    if (i >= 0)
        showPage(i);
}

int TExtPageControl::ActivePageIndex() const
{
    TTabSheet* active = ActivePage();
    return active ? active->PageIndex() : -1;
}

void TExtPageControl::SetActivePageIndex(int index)
{
    if (TTabSheet* p = Pages(index))
        SetActivePage(p);
}

TTabSheet* TExtPageControl::PageOfTabIndex(int tabIndex) const
{
    int tab = 0;
    for (const auto& p : pages_) {
        if (!p || !p->tabVisible_)
            continue;
        if (tab == tabIndex)
            return p;
        ++tab;
    }
    return nullptr;
}

bool TExtPageControl::userSelect(int qtIndex)
{
    if (qtIndex < 0 || qtIndex == currentIndex() || !isTabVisible(qtIndex) || !isTabEnabled(qtIndex))
        return false;
    bool allow = true;
    if (OnChanging)
        OnChanging(this, allow);
    if (!allow)
        return false;
    showPage(qtIndex);
    Fire(OnChange, this);
    return true;
}

void TExtPageControl::showPage(int qtIndex)
{
    if (qtIndex == currentIndex())
        return;
    QWidget* focus = QApplication::focusWidget();
    if (QWidget* current = currentWidget(); focus && current && current->isAncestorOf(focus))
        tabBar()->setFocus(Qt::OtherFocusReason);
    setCurrentIndex(qtIndex);
}

bool TExtPageControl::SelectNextPage(bool goForward)
{
    const int n = count();
    if (n < 2)
        return false;
    int i = currentIndex();
    for (int step = 1; step < n; ++step) {
        i = (i + (goForward ? 1 : n - 1)) % n;
        if (isTabVisible(i))
            return userSelect(i);
    }
    return false;
}

void TExtPageControl::keyPressEvent(QKeyEvent* event)
{
    // Ctrl+Tab and Ctrl+PageUp/PageDown go through OnChanging.
    if (event->modifiers() & Qt::ControlModifier) {
        const int key = event->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_PageDown || key == Qt::Key_PageUp) {
            const bool back = key == Qt::Key_Backtab || key == Qt::Key_PageUp || (event->modifiers() & Qt::ShiftModifier);
            SelectNextPage(!back);
            event->accept();
            return;
        }
    }
    TQvControl<QTabWidget>::keyPressEvent(event);
}

void TExtPageControl::DrawTab(QPainter& canvas, int tabIndex, const QRect& rect, bool active) const
{
    TTabSheet* page = PageOfTabIndex(tabIndex);
    const QString caption = page ? page->Caption() : QString();
    QFont f = font();
    QRect r = rect;
    if (active) {
        r = rect.adjusted(2, 2, -2, -2);
        canvas.fillRect(r, TColorToQColor(clActiveCaption));
        f.setBold(true);
        canvas.setPen(TColorToQColor(clCaptionText));
    } else {
        canvas.fillRect(r, TColorToQColor(clInactiveCaption));
        f.setBold(false);
        canvas.setPen(TColorToQColor(clInactiveCaptionText));
        r.translate(0, 2);
    }
    canvas.setFont(f);
    canvas.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, caption);
}

// --- TExtTabBar ----------------------------------------------------------------------------

TExtTabBar::TExtTabBar(TExtPageControl* owner) : QTabBar(owner), owner_(owner)
{
    setDrawBase(true);
    setExpanding(false);
}

QSize TExtTabBar::tabSizeHint(int index) const
{
    QSize s = QTabBar::tabSizeHint(index);
    // Room for the bold caption of the chosen tab.
    QFont bold = font();
    bold.setBold(true);
    const int w = QFontMetrics(bold).horizontalAdvance(tabText(index)) + 20;
    return QSize(std::max(s.width(), w), std::max(s.height(), QFontMetrics(bold).height() + 10));
}

void TExtTabBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    int visibleIndex = 0;
    for (int i = 0; i < count(); ++i) {
        if (!isTabVisible(i))
            continue;
        const QRect r = tabRect(i);
        const bool active = i == currentIndex();
        p.save();
        if (owner_->OnDrawTab)
            owner_->OnDrawTab(owner_, p, visibleIndex, r, active);
        else
            owner_->DrawTab(p, visibleIndex, r, active);
        p.restore();
        ++visibleIndex;
    }
}

void TExtTabBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const int i = tabAt(event->position().toPoint());
        if (i >= 0 && i != currentIndex()) {
            owner_->userSelect(i);
            event->accept();
            return;
        }
    }
    QTabBar::mousePressEvent(event);
}

void TExtTabBar::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
        owner_->SelectNextPage(event->key() == Qt::Key_Right);
        event->accept();
        return;
    }
    QTabBar::keyPressEvent(event);
}

void TExtTabBar::wheelEvent(QWheelEvent* event)
{
    // Pages change only through OnChanging.
    event->ignore();
}
