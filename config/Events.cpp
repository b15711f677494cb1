#include "config/Events.h"

#include <QObject>

TNotifyEvent* TEventSource::notifyEvent(std::string_view)
{
    return nullptr;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = (a[i] >= 'A' && a[i] <= 'Z') ? char(a[i] - 'A' + 'a') : a[i];
        const char y = (b[i] >= 'A' && b[i] <= 'Z') ? char(b[i] - 'A' + 'a') : b[i];
        if (x != y)
            return false;
    }
    return true;
}

TNotifyEvent* FindNotifyEvent(QObject* object, std::string_view name)
{
    auto* source = dynamic_cast<TEventSource*>(object);
    return source ? source->notifyEvent(name) : nullptr;
}
