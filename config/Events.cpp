#include "config/Events.h"
#include "platform/AsciiText.h"

#include <QObject>

TNotifyEvent* TEventSource::notifyEvent(std::string_view)
{
    return nullptr;
}

bool SameName(std::string_view a, std::string_view b)
{
    return SameTextAscii(a, b);
}

TNotifyEvent* FindNotifyEvent(QObject* object, std::string_view name)
{
    auto* source = dynamic_cast<TEventSource*>(object);
    return source ? source->notifyEvent(name) : nullptr;
}
