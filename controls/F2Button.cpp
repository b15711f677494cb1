#include "controls/F2Button.h"
#include "config/Dialogs.h"
#include "config/LookupRequest.h"

#include <QApplication>

QRect GeometryInParentOf(const QWidget* control, const QWidget* sibling)
{
    QRect r = control->geometry();
    const QWidget* from = control->parentWidget();
    const QWidget* to = sibling->parentWidget();
    if (from && to && from != to)
        r.moveTopLeft(to->mapFromGlobal(from->mapToGlobal(r.topLeft())));
    return r;
}

bool ControlHasFocus(const QWidget* control)
{
    const QWidget* focus = QApplication::focusWidget();
    return focus && (focus == control || control->isAncestorOf(focus));
}

TF2Button::TF2Button(QWidget* parent) : TGSpeedButton(parent)
{
    SetFlat(true);
    SetGlyphIndex(8);
}

void TF2Button::SetAutoAlign(bool on)
{
    autoAlign_ = on;
    Realign();
}

void TF2Button::SetGap(int gap)
{
    gap_ = std::clamp(gap, 0, 255);
    Realign();
}

void TF2Button::SetF2Control(QWidget* control)
{
    if (control == f2Control_)
        return;
    if (control && parentWidget()) {
        for (auto* other : parentWidget()->findChildren<TF2Button*>(Qt::FindDirectChildrenOnly))
            if (other != this && other->f2Control_ == control) {
                MessageDlg(QStringLiteral("不能同时有两个 F2Button 指到同一个 Edit."), mtError, {mbOK}, this);
                return;
            }
    }
    f2Control_ = control;
    Realign();
}

void TF2Button::Realign()
{
    if (!autoAlign_ || !f2Control_)
        return;
    const QRect r = GeometryInParentOf(f2Control_, this);
    setGeometry(r.left() + r.width() + gap_, r.top(), r.height(), r.height());
}

void TF2Button::Clicked()
{
    TGSpeedButton::Clicked();
    QPointer<QWidget> control = f2Control_;
    if (!control || !control->isEnabled())
        return;
    if (control->focusPolicy() != Qt::NoFocus && control->isVisible())
        control->setFocus(Qt::OtherFocusReason);
    if (control && ControlHasFocus(control))
        SendLookupRequest(control);
}
