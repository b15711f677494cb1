#include "controls/DBLabel.h"
#include "config/Dialogs.h"
#include "config/RunTimeProps.h"
#include "controls/DataSource.h"
#include "controls/F2Button.h"
#include "config/QtVariant.h"
#include "dataset/ClientDataSet.h"

#include <QMouseEvent>

TDBLabel::TDBLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    SetCaption(QStringLiteral("挂靠标签"));
}

TNotifyEvent* TDBLabel::notifyEvent(std::string_view name)
{
    if (SameName(name, "OnClick"))
        return &OnClick;
    return TEventSource::notifyEvent(name);
}

void TDBLabel::SetCaption(const QString& caption)
{
    setText(caption);
    adjustSize();
    Realign();
}

void TDBLabel::SetAutoAlign(bool on)
{
    autoAlign_ = on;
    Realign();
}

void TDBLabel::SetAutoCaption(bool on)
{
    autoCaption_ = on;
    UpdateAutoCaption();
}

void TDBLabel::SetGap(int gap)
{
    gap_ = gap;
    Realign();
}

void TDBLabel::SetPos(TLabelPos pos)
{
    pos_ = pos;
    Realign();
}

void TDBLabel::SetFocusControl(QWidget* control)
{
    if (control == focusControl_)
        return;
    if (control && parentWidget()) {
        for (auto* other : parentWidget()->findChildren<TDBLabel*>(Qt::FindDirectChildrenOnly))
            if (other != this && other->focusControl_ == control) {
                MessageDlg(QStringLiteral("不能同时有两个 DBLabel 指到同一个 Control."), mtError, {mbOK}, this);
                return;
            }
    }
    focusControl_ = control;
    setBuddy(control);
    UpdateAutoCaption();
    Realign();
}

void TDBLabel::Realign()
{
    if (!autoAlign_ || !focusControl_)
        return;
    const QRect r = GeometryInParentOf(focusControl_, this);
    const QSize s = size();
    QPoint p;
    switch (pos_) {
    case psTop:
        p = QPoint(r.left(), r.top() - s.height() - gap_);
        break;
    case psLeft:
        p = QPoint(r.left() - s.width() - gap_, r.top() + (r.height() - s.height()) / 2);
        break;
    case psRight:
        p = QPoint(r.left() + r.width() + gap_, r.top() + (r.height() - s.height()) / 2);
        break;
    case psBottom:
        p = QPoint(r.left(), r.top() + r.height() + gap_);
        break;
    }
    move(std::max(0, p.x()), std::max(0, p.y()));
}

void TDBLabel::UpdateAutoCaption()
{
    if (!autoCaption_ || !focusControl_)
        return;
    auto* source = qobject_cast<TDataSource*>(GetPropertyValue(focusControl_, QStringLiteral("DataSource")).value<QObject*>());
    const QString fieldName = GetStringProperty(focusControl_, QStringLiteral("DataField"));
    if (!source || !source->DataSet() || fieldName.isEmpty())
        return;
    if (TField* field = source->DataSet()->FindField(Utf8(fieldName)))
        SetCaption(QString::fromStdString(field->DisplayLabel()));
}

void TDBLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Fire(OnClick, this);
}
