#pragma once
// The look-up request: the user message 1034 (0x40A) that every look-up button (the F2
// buttons, the button edits, the select panel's buttons) sends to its owner form with the
// target control. The form answers it as an F2 key press on that control.

#include <QEvent>
#include <QPointer>
#include <QWidget>

constexpr int WM_QVLOOKUP = 0x40A;

class TLookupRequestEvent : public QEvent {
public:
    explicit TLookupRequestEvent(QWidget* control);
    // The event type, registered once per process.
    static QEvent::Type EventType();
    // The control the look-up is for; null when it was destroyed before delivery.
    QWidget* Control() const { return control_; }

private:
    QPointer<QWidget> control_;
};

// Sends the request for a control to its owner form (the control's window) at once, as
// a sent message would; true when the form accepted it.
bool SendLookupRequest(QWidget* control);
// Posts the request: it is delivered once control is back in the event loop.
void PostLookupRequest(QWidget* control);
