#pragma once
// TDBLabel: a label that attaches itself to a control (FocusControl) and places itself
// beside it by Pos and Gap; with AutoCaption it shows the display label of the control's
// data field. Only one TDBLabel of a parent may attach to a control.

#include "config/Events.h"

#include <QLabel>
#include <QPointer>

class TDBLabel : public QLabel, public TEventSource {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(bool AutoAlign READ AutoAlign WRITE SetAutoAlign)
    Q_PROPERTY(bool AutoCaption READ AutoCaption WRITE SetAutoCaption)
    Q_PROPERTY(QWidget* FocusControl READ FocusControl WRITE SetFocusControl)
    Q_PROPERTY(int Gap READ Gap WRITE SetGap)
    Q_PROPERTY(TLabelPos Pos READ Pos WRITE SetPos)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool Visible READ Visible WRITE setVisible)
    Q_PROPERTY(QFont Font READ font WRITE setFont)

public:
    enum TLabelPos { psTop, psLeft, psRight, psBottom };
    Q_ENUM(TLabelPos)

    explicit TDBLabel(QWidget* parent = nullptr);

    TNotifyEvent OnClick;
    TNotifyEvent* notifyEvent(std::string_view name) override;

    QString Caption() const { return text(); }
    void SetCaption(const QString& caption);
    QString Hint() const { return toolTip(); }
    void SetHint(const QString& hint) { setToolTip(hint); }
    bool AutoAlign() const { return autoAlign_; }
    void SetAutoAlign(bool on);
    bool AutoCaption() const { return autoCaption_; }
    void SetAutoCaption(bool on);
    QWidget* FocusControl() const { return focusControl_; }
    // Refused (with the error dialog) when another TDBLabel of the same parent is
    // attached to the control.
    void SetFocusControl(QWidget* control);
    int Gap() const { return gap_; }
    void SetGap(int gap);
    TLabelPos Pos() const { return pos_; }
    void SetPos(TLabelPos pos);
    bool Visible() const { return isVisibleTo(parentWidget()); }

    void Realign();
    // The caption from the focus control's data field, when it has one.
    void UpdateAutoCaption();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool autoAlign_ = true;
    bool autoCaption_ = true;
    QPointer<QWidget> focusControl_;
    int gap_ = 4;
    TLabelPos pos_ = psLeft;
};
