#pragma once
// TFDBGridColors: the record colours of the data grid (odd, even and current record).

#include "config/Events.h"

#include <QColor>
#include <QObject>

// Colours of the records; the system's defaults.
class TFDBGridColors : public QObject, public TEventSource {
    Q_OBJECT
    Q_PROPERTY(QColor OddRecColor READ OddRecColor WRITE SetOddRecColor)
    Q_PROPERTY(QColor EvenRecColor READ EvenRecColor WRITE SetEvenRecColor)
    Q_PROPERTY(QColor FocusRecColor READ FocusRecColor WRITE SetFocusRecColor)

public:
    explicit TFDBGridColors(QObject* owner = nullptr);

    QColor OddRecColor() const { return odd_; }
    void SetOddRecColor(const QColor& c);
    QColor EvenRecColor() const { return even_; }
    void SetEvenRecColor(const QColor& c);
    QColor FocusRecColor() const { return focus_; }
    void SetFocusRecColor(const QColor& c);

    TNotifyEvent OnChange;
    TNotifyEvent* notifyEvent(std::string_view name) override;

private:
    QColor odd_{251, 255, 236};    // 15532027
    QColor even_{206, 249, 231};   // 15202766
    QColor focus_{183, 220, 242};  // 15916215
};
