#include "controls/TabOrder.h"

#include <QWidget>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The direct child of parent that is w or holds it; nullptr when w lies outside.
QWidget* childHolding(const QWidget* parent, QWidget* w)
{
    while (w && w->parentWidget() != parent) {
        if (w->isWindow())
            return nullptr;
        w = w->parentWidget();
    }
    return w && !w->isWindow() ? w : nullptr;
}

// The children of parent in the order the focus chain first meets them or what they hold.
std::vector<QWidget*> tabChildren(const QWidget* parent)
{
    std::vector<QWidget*> order;
    const QList<QWidget*> children = parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    // The chain is a ring through the whole window, starting at the window; one turn
    // meets every widget once.
    QWidget* start = parent->window();
    QWidget* w = start->nextInFocusChain();
    for (int guard = 0; w && w != start && guard < 100000; ++guard, w = w->nextInFocusChain()) {
        // Panels stay where they were made in the chain: what they hold decides.
        if (w->focusPolicy() == Qt::NoFocus)
            continue;
        if (QWidget* child = childHolding(parent, w); child && std::find(order.begin(), order.end(), child) == order.end())
            order.push_back(child);
    }
    // Children without anything that takes the focus keep their creation order last.
    for (QWidget* child : children)
        if (!child->isWindow() && std::find(order.begin(), order.end(), child) == order.end())
            order.push_back(child);
    return order;
}

} // namespace

int TabOrder(const QWidget* control)
{
    if (!control || !control->parentWidget())
        return -1;
    const std::vector<QWidget*> order = tabChildren(control->parentWidget());
    const auto at = std::find(order.begin(), order.end(), control);
    return at == order.end() ? -1 : int(at - order.begin());
}

void SetTabOrder(QWidget* control, int position)
{
    if (!control || !control->parentWidget())
        return;
    const QWidget* parent = control->parentWidget();
    std::vector<QWidget*> order = tabChildren(parent);
    order.erase(std::remove(order.begin(), order.end(), control), order.end());
    position = std::clamp(position, 0, int(order.size()));
    order.insert(order.begin() + position, control);
    // Each child's part of the chain: itself and what it holds, in chain order. Only
    // widgets that take the focus can be chained (a panel cannot). The whole window's
    // order is laid down again from its start, the parent's children in their new order
    // where the first of them was: chaining always after a widget already in place never
    // asks to append after the chain's end, which the toolkit ignores.
    std::vector<std::vector<QWidget*>> parts(order.size());
    std::vector<QWidget*> all;
    std::size_t groupAt = std::string::npos;
    QWidget* window = control->window();
    QWidget* w = window->nextInFocusChain();
    for (int guard = 0; w && w != window && guard < 100000; ++guard, w = w->nextInFocusChain()) {
        if (w->focusPolicy() == Qt::NoFocus)
            continue;
        QWidget* child = childHolding(parent, w);
        const auto at = child ? std::find(order.begin(), order.end(), child) : order.end();
        if (at == order.end()) {
            all.push_back(w);
            continue;
        }
        if (groupAt == std::string::npos)
            groupAt = all.size();
        parts[std::size_t(at - order.begin())].push_back(w);
    }
    if (groupAt == std::string::npos)
        return;
    std::vector<QWidget*> group;
    for (const std::vector<QWidget*>& part : parts)
        group.insert(group.end(), part.begin(), part.end());
    all.insert(all.begin() + std::ptrdiff_t(groupAt), group.begin(), group.end());
    for (std::size_t i = 1; i < all.size(); ++i)
        QWidget::setTabOrder(all[i - 1], all[i]);
}
