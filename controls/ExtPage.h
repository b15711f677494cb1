#pragma once
// TExtPageControl: a page control with drawn tabs. By default the chosen tab is inset by
// 2 pixels, filled in the active-caption colour with its text bold in the caption-text
// colour; the others are filled in the inactive-caption colour with plain text in the
// inactive-caption-text colour, 2 pixels lower. OnDrawTab, when set, draws instead.
// TTabSheet is its page.

#include "controls/QvControl.h"

#include <QPointer>
#include <QTabBar>
#include <QTabWidget>

#include <functional>

class QPainter;
class TExtPageControl;

class TTabSheet : public TQvControl<QWidget> {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(bool TabVisible READ TabVisible WRITE SetTabVisible)
    Q_PROPERTY(int PageIndex READ PageIndex)
    Q_PROPERTY(int TabIndex READ TabIndex)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(QFont Font READ Font WRITE SetFont)

public:
    // Added as the last page of the page control.
    explicit TTabSheet(TExtPageControl* pageControl = nullptr);

    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent* notifyEvent(std::string_view name) override;

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    bool TabVisible() const { return tabVisible_; }
    void SetTabVisible(bool on);
    TExtPageControl* PageControl() const { return pageControl_; }
    void SetPageControl(TExtPageControl* pageControl);
    int PageIndex() const;
    // The index among the visible tabs (-1 when the tab is hidden).
    int TabIndex() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    friend class TExtPageControl;
    QString caption_;
    bool tabVisible_ = true;
    QPointer<TExtPageControl> pageControl_;
};

// (control, canvas, index among the visible tabs, tab rectangle, chosen)
using TDrawTabEvent = std::function<void(QObject* control, QPainter& canvas, int tabIndex, const QRect& rect, bool active)>;
using TTabChangingEvent = std::function<void(QObject* sender, bool& allowChange)>;

class TExtPageControl : public TQvControl<QTabWidget> {
    Q_OBJECT
    Q_PROPERTY(QWidget* ActivePage READ ActivePage WRITE SetActivePage)
    Q_PROPERTY(int ActivePageIndex READ ActivePageIndex WRITE SetActivePageIndex)
    Q_PROPERTY(int PageCount READ PageCount)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(QFont Font READ Font WRITE SetFont)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)

public:
    explicit TExtPageControl(QWidget* parent = nullptr);

    TNotifyEvent OnChange;          // after the user chose another page
    TTabChangingEvent OnChanging;   // before; allowChange false keeps the page
    TDrawTabEvent OnDrawTab;

    int PageCount() const { return int(pages_.size()); }
    TTabSheet* Pages(int index) const;
    TTabSheet* ActivePage() const;
    void SetActivePage(QWidget* page);
    int ActivePageIndex() const;
    void SetActivePageIndex(int index);
    // The next (or previous) page with a visible tab, as Ctrl+Tab does: asks OnChanging,
    // then OnChange. False when the change was refused or there is no other page.
    bool SelectNextPage(bool goForward);
    // The page of a tab counted among the visible tabs.
    TTabSheet* PageOfTabIndex(int tabIndex) const;

    // The default drawing of one tab, as the control does it without OnDrawTab.
    void DrawTab(QPainter& canvas, int tabIndex, const QRect& rect, bool active) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class TTabSheet;
    friend class TExtTabBar;
    void insertPage(TTabSheet* page);
    void removePage(TTabSheet* page);
    void refreshTab(TTabSheet* page);
    // A user's move to the page at a Qt tab index; false when refused.
    bool userSelect(int qtIndex);
    // Shows a page. The focus is taken off the page being hidden first, to the page
    // control, so that it does not wander to whatever control comes next and run that
    // control's enter and exit on its way.
    void showPage(int qtIndex);

    QList<QPointer<TTabSheet>> pages_;
};

// The tab bar of TExtPageControl: draws the tabs and asks before a click changes them.
class TExtTabBar : public QTabBar {
    Q_OBJECT
public:
    explicit TExtTabBar(TExtPageControl* owner);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    QSize tabSizeHint(int index) const override;

private:
    TExtPageControl* owner_;
};
