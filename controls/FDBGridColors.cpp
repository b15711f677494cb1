#include "controls/FDBGridColors.h"

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
