#pragma once
// TF2Button: a flat look-up button beside an edit. A click focuses its control and sends
// the look-up request for it to the owner form (config/LookupRequest.h). Only one F2
// button of a parent may point to a control.

#include "controls/GSpdBtn.h"

#include <QPointer>

class TF2Button : public TGSpeedButton {
    Q_OBJECT
    Q_PROPERTY(bool AutoAlign READ AutoAlign WRITE SetAutoAlign)
    Q_PROPERTY(QWidget* F2Control READ F2Control WRITE SetF2Control)
    Q_PROPERTY(int Gap READ Gap WRITE SetGap)

public:
    explicit TF2Button(QWidget* parent = nullptr);

    bool AutoAlign() const { return autoAlign_; }
    void SetAutoAlign(bool on);
    QWidget* F2Control() const { return f2Control_; }
    // Refused (with the error dialog) when another F2 button of the same parent already
    // points to the control.
    void SetF2Control(QWidget* control);
    int Gap() const { return gap_; }
    // A byte, as the original's: 0 to 255.
    void SetGap(int gap);

    // Places the button beside its control: as high as the control, square, same top,
    // Gap pixels to its right.
    void Realign();

protected:
    void Clicked() override;

private:
    bool autoAlign_ = true;
    QPointer<QWidget> f2Control_;
    int gap_ = 2;
};

// Where a control lies in the coordinates of another widget's parent.
QRect GeometryInParentOf(const QWidget* control, const QWidget* sibling);
// The control has the focus (itself or an inner editor of it).
bool ControlHasFocus(const QWidget* control);
