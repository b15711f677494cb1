#include "controls/CaptionRoom.h"

#include "controls/BtChkBox.h"
#include "controls/F2Button.h"
#include "controls/QvrEdit.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <vector>

namespace {

constexpr int kGap = 4;

bool isClass(const QWidget* w, std::initializer_list<const char*> names)
{
    const char* mine = w->metaObject()->className();
    return std::any_of(names.begin(), names.end(), [mine](const char* n) { return std::strcmp(mine, n) == 0; });
}

// Plain containers whose children the forms place by coordinates.
bool placedByHand(const QWidget* w)
{
    return isClass(w, {"QWidget", "QFrame", "QGroupBox", "TTabSheet"});
}

// Containers to look into; every other widget keeps its inside to itself.
bool holdsControls(const QWidget* w)
{
    return placedByHand(w) || isClass(w, {"QStackedWidget", "QSplitter", "QScrollArea", "QTabWidget", "TExtPageControl"});
}

int textWidth(const QWidget* w, const QString& text)
{
    int widest = 0;
    for (const QString& line : QString(text).remove(QLatin1Char('&')).split(QLatin1Char('\n')))
        widest = std::max(widest, w->fontMetrics().horizontalAdvance(line));
    return widest;
}

// The width a caption needs, 0 for a widget that is no caption.
int captionWidth(const QWidget* w)
{
    if (auto* label = qobject_cast<const QLabel*>(w)) {
        if (label->wordWrap() || label->text().isEmpty() || !label->pixmap().isNull())
            return 0;
        return label->sizeHint().width();
    }
    if (auto* box = qobject_cast<const TBitCheckBox*>(w))
        return box->Caption().isEmpty() ? 0 : box->CaptionWidth();
    if (qobject_cast<const QCheckBox*>(w) || qobject_cast<const QRadioButton*>(w)) {
        // Not their size hints: the controls keep the fixed ones of the forms' design.
        const auto* button = static_cast<const QAbstractButton*>(w);
        if (button->text().isEmpty())
            return 0;
        const bool check = qobject_cast<const QCheckBox*>(w);
        QStyle* style = w->style();
        return textWidth(w, button->text()) + 2
               + style->pixelMetric(check ? QStyle::PM_IndicatorWidth : QStyle::PM_ExclusiveIndicatorWidth, nullptr, w)
               + style->pixelMetric(check ? QStyle::PM_CheckBoxLabelSpacing : QStyle::PM_RadioButtonLabelSpacing, nullptr, w);
    }
    if (auto* tool = qobject_cast<const QToolButton*>(w))
        return tool->text().isEmpty() || tool->toolButtonStyle() == Qt::ToolButtonIconOnly ? 0 : tool->sizeHint().width();
    if (auto* combo = qobject_cast<const QComboBox*>(w)) {
        // Its longest item, within reason: lists of data may hold long lines.
        return combo->count() == 0 ? 0 : std::min(combo->sizeHint().width(), 240);
    }
    if (auto* button = qobject_cast<const QPushButton*>(w)) {
        if (button->text().isEmpty())
            return 0;
        const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
        return textWidth(button, button->text()) + icon + 14;
    }
    return 0;
}

// A hidden companion or a caption label without text takes no room beside its control.
bool takesRoom(const QWidget* w)
{
    if (w->isHidden())
        return false;
    auto* label = qobject_cast<const QLabel*>(w);
    return !label || !label->text().isEmpty() || !label->pixmap().isNull();
}

bool managedByLayout(const QWidget* w)
{
    const QWidget* parent = w->parentWidget();
    return parent && parent->layout() && parent->layout()->indexOf(const_cast<QWidget*>(w)) >= 0;
}

void widen(QWidget* w)
{
    const int need = captionWidth(w);
    if (need <= w->width())
        return;
    if (managedByLayout(w))
        w->setMinimumWidth(std::max(w->minimumWidth(), need));
    else if (w->maximumWidth() >= need)
        w->resize(need, w->height());
}

// A control with what stands beside it: its caption label, its look-up buttons.
struct Unit {
    QWidget* control;
    std::vector<QWidget*> parts;
    QRect extent;
    bool shown; // a hidden control is moved with its row but takes no room in it
    int shift = 0;
};

std::vector<Unit> unitsOf(QWidget* container)
{
    std::vector<QWidget*> children;
    for (QObject* o : container->children())
        if (auto* w = qobject_cast<QWidget*>(o); w && !w->isWindow())
            children.push_back(w);
    std::map<QWidget*, std::vector<QWidget*>> beside;
    std::set<QWidget*> companions;
    for (QWidget* w : children) {
        for (TCompanionLink* link : w->findChildren<TCompanionLink*>(Qt::FindDirectChildrenOnly))
            if (QWidget* c = link->Companion(); c && c->parentWidget() == container) {
                beside[w].push_back(c);
                companions.insert(c);
            }
        if (auto* f2 = qobject_cast<TF2Button*>(w); f2 && f2->F2Control() && f2->F2Control()->parentWidget() == container) {
            beside[f2->F2Control()].push_back(f2);
            companions.insert(f2);
        }
    }
    std::vector<Unit> units;
    for (QWidget* w : children) {
        if (companions.count(w))
            continue;
        Unit u{w, {w}, w->geometry(), !w->isHidden()};
        for (QWidget* c : beside[w])
            if (takesRoom(c)) {
                u.parts.push_back(c);
                u.extent |= c->geometry();
            }
        units.push_back(u);
    }
    return units;
}

bool sameRow(const QRect& a, const QRect& b)
{
    const int overlap = std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top()) + 1;
    return overlap > std::min(a.height(), b.height()) / 2;
}

void move(Unit& u)
{
    if (u.shift == 0)
        return;
    std::vector<QPoint> before;
    for (QWidget* part : u.parts)
        before.push_back(part->pos());
    u.control->move(u.control->x() + u.shift, u.control->y());
    for (std::size_t i = 0; i < u.parts.size(); ++i) {
        QWidget* part = u.parts[i];
        if (part == u.control)
            continue;
        if (auto* f2 = qobject_cast<TF2Button*>(part))
            f2->Realign();
        for (TCompanionLink* link : u.control->findChildren<TCompanionLink*>(Qt::FindDirectChildrenOnly))
            if (link->Companion() == part)
                link->Realign();
        // A companion that does not follow its control by itself is moved along.
        if (part->pos() == before[i])
            part->move(part->x() + u.shift, part->y());
    }
}

void flow(QWidget* container)
{
    std::vector<Unit> units = unitsOf(container);
    std::sort(units.begin(), units.end(), [](const Unit& a, const Unit& b) { return a.extent.left() < b.extent.left(); });
    std::map<int, std::vector<std::size_t>> columns; // controls that stood at one x stay in one column
    for (std::size_t i = 0; i < units.size(); ++i)
        columns[units[i].control->x()].push_back(i);
    for (int round = 0; round < 10; ++round) {
        bool changed = false;
        for (std::size_t i = 0; i < units.size(); ++i) {
            Unit& u = units[i];
            // A caption that stands out on the left comes back in.
            int need = u.shown && u.extent.left() < 0 ? 2 - u.extent.left() : 0;
            for (std::size_t j = 0; j < units.size(); ++j) {
                const Unit& p = units[j];
                if (j == i || !p.shown || p.extent.left() >= u.extent.left() || !sameRow(p.extent, u.extent))
                    continue;
                need = std::max(need, p.extent.right() + p.shift + 1 + kGap - u.extent.left());
            }
            // Only what a wider caption pushes moves; controls set apart stay where they are.
            if (need > u.shift) {
                u.shift = need;
                changed = true;
            }
        }
        for (const auto& [x, members] : columns) {
            int most = 0;
            for (std::size_t i : members)
                most = std::max(most, units[i].shift);
            for (std::size_t i : members)
                if (units[i].shift != most) {
                    units[i].shift = most;
                    changed = true;
                }
        }
        if (!changed)
            break;
    }
    for (Unit& u : units)
        move(u);
}

// A row kept by a layout: the caption left of a control stands in the spacing before it.
void spaceLayoutCaptions(QWidget* container)
{
    auto* row = qobject_cast<QBoxLayout*>(container->layout());
    if (!row || (row->direction() != QBoxLayout::LeftToRight && row->direction() != QBoxLayout::RightToLeft))
        return;
    for (int i = 0; i < row->count(); ++i) {
        QWidget* w = row->itemAt(i)->widget();
        if (!w)
            continue;
        for (TCompanionLink* link : w->findChildren<TCompanionLink*>(Qt::FindDirectChildrenOnly)) {
            auto* caption = qobject_cast<TCaptionLabelLink*>(link);
            if (!caption || caption->Position() != lpLeft || !caption->Label() || !takesRoom(caption->Label()))
                continue;
            const int need = caption->Label()->width() + caption->Spacing() + kGap;
            if (i == 0) {
                QMargins m = row->contentsMargins();
                m.setLeft(std::max(m.left(), need));
                row->setContentsMargins(m);
            } else if (QSpacerItem* spacer = row->itemAt(i - 1)->spacerItem(); spacer && spacer->sizeHint().width() < need) {
                spacer->changeSize(need, spacer->sizeHint().height(), QSizePolicy::Fixed, QSizePolicy::Minimum);
                row->invalidate();
            }
        }
    }
}

void growToHold(QWidget* container)
{
    if (managedByLayout(container) || container->isWindow() || !container->parentWidget())
        return;
    int right = 0;
    for (QObject* o : container->children())
        if (auto* w = qobject_cast<QWidget*>(o); w && !w->isWindow() && !w->isHidden())
            right = std::max(right, w->geometry().right() + 1);
    if (right + 2 > container->width() && container->maximumWidth() >= right + 2)
        container->resize(right + 2, container->height());
}

void fit(QWidget* container)
{
    for (QObject* o : container->children())
        if (auto* w = qobject_cast<QWidget*>(o); w && !w->isWindow()) {
            if (holdsControls(w))
                fit(w);
            else
                widen(w);
        }
    for (QObject* o : container->children())
        if (auto* w = qobject_cast<QWidget*>(o))
            for (TCompanionLink* link : w->findChildren<TCompanionLink*>(Qt::FindDirectChildrenOnly))
                link->Realign();
    if (!placedByHand(container))
        return;
    if (container->layout()) {
        spaceLayoutCaptions(container);
        return;
    }
    flow(container);
    growToHold(container);
}

} // namespace

void MakeRoomForCaptions(QWidget* root)
{
    if (root)
        fit(root);
}
