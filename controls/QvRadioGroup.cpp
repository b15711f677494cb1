#include "controls/QvRadioGroup.h"
#include "config/RunTimeProps.h"

#include <QEvent>

TQvRadioGroup::TQvRadioGroup(QWidget* parent) : TQvControl<QGroupBox>(parent)
{
    resize(185, 105);
    setFocusPolicy(Qt::NoFocus);
}

TQvGroupButton* TQvRadioGroup::Buttons(int index) const
{
    return index >= 0 && index < buttons_.size() ? buttons_.at(index) : nullptr;
}

void TQvRadioGroup::SetItems(const QStringList& items)
{
    updating_ = true;
    items_ = items;
    while (buttons_.size() > items.size())
        delete buttons_.takeLast();
    while (buttons_.size() < items.size()) {
        auto* b = new TQvGroupButton(this);
        SetSubComponent(b);
        b->setEnabled(isEnabled());
        b->show();
        buttons_ << b;
        connect(b, &QAbstractButton::toggled, this, [this, b](bool on) {
            if (on)
                buttonChecked(b);
        });
    }
    for (int i = 0; i < buttons_.size(); ++i)
        buttons_[i]->SetCaption(items.at(i));
    if (itemIndex_ >= buttons_.size())
        itemIndex_ = -1;
    for (int i = 0; i < buttons_.size(); ++i)
        buttons_[i]->setChecked(i == itemIndex_);
    updating_ = false;
    arrange();
}

void TQvRadioGroup::SetItemIndex(int index)
{
    if (index < -1 || index >= buttons_.size())
        index = -1;
    if (index == -1) {
        updating_ = true;
        // Exclusive buttons cannot all be unchecked by setChecked(false).
        for (auto* b : buttons_) {
            b->setAutoExclusive(false);
            b->setChecked(false);
            b->setAutoExclusive(true);
        }
        updating_ = false;
        itemIndex_ = -1;
        return;
    }
    buttons_[index]->setChecked(true);
}

void TQvRadioGroup::buttonChecked(TQvGroupButton* button)
{
    const int index = int(buttons_.indexOf(button));
    if (updating_ || index == itemIndex_)
        return;
    itemIndex_ = index;
    Fire(OnClick, this);
}

void TQvRadioGroup::SetColumns(int columns)
{
    columns_ = std::clamp(columns, 1, 16);
    arrange();
}

void TQvRadioGroup::resizeEvent(QResizeEvent* event)
{
    TQvControl<QGroupBox>::resizeEvent(event);
    arrange();
}

void TQvRadioGroup::changeEvent(QEvent* event)
{
    TQvControl<QGroupBox>::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        arrange();
}

void TQvRadioGroup::arrange()
{
    if (buttons_.isEmpty())
        return;
    // As the widget library arranges them: columns of equal width, the buttons of a
    // column sharing the height below the caption.
    const int perColumn = int((buttons_.size() + columns_ - 1) / columns_);
    const int topMargin = fontMetrics().height() + 1;
    const int columnWidth = std::max(1, (width() - 10) / columns_);
    const int buttonHeight = std::max(1, (height() - topMargin - 5) / perColumn);
    const int rowHeight = std::min(buttonHeight, fontMetrics().height() + 4);
    for (int i = 0; i < buttons_.size(); ++i) {
        const int column = i / perColumn;
        const int row = i % perColumn;
        const int top = topMargin + row * buttonHeight + (buttonHeight - rowHeight) / 2;
        buttons_[i]->setGeometry(8 + column * columnWidth, top, columnWidth - 8, rowHeight);
    }
}
