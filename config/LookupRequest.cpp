#include "config/LookupRequest.h"

#include <QCoreApplication>

TLookupRequestEvent::TLookupRequestEvent(QWidget* control) : QEvent(EventType()), control_(control)
{
    // Ignored until a form takes it, so that the sender learns whether anyone answered.
    ignore();
}

QEvent::Type TLookupRequestEvent::EventType()
{
    static const auto type = QEvent::Type(QEvent::registerEventType(QEvent::User + WM_QVLOOKUP));
    return type;
}

bool SendLookupRequest(QWidget* control)
{
    if (!control)
        return false;
    TLookupRequestEvent event(control);
    const bool delivered = QCoreApplication::sendEvent(control->window(), &event);
    return delivered && event.isAccepted();
}

void PostLookupRequest(QWidget* control)
{
    if (control)
        QCoreApplication::postEvent(control->window(), new TLookupRequestEvent(control));
}
