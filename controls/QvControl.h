#pragma once
// What every windowed control of the system has, whatever Qt widget it is built on:
// OnEnter / OnExit (raised by the owner form's focus rules, config/QVForm.h), OnKeyDown /
// OnKeyPress (the control's own key handlers, after the form's preview), a hint and a
// colour. Controls derive from TQvControl<QtWidget> and declare the Q_PROPERTYs.

#include "config/Events.h"
#include "config/Keys.h"

#include <QKeyEvent>
#include <QPalette>
#include <QWidget>

template <class W>
class TQvControl : public W, public TEventSource {
public:
    using W::W;

    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TNotifyEvent OnClick;
    TNotifyEvent OnChange;
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;

    TNotifyEvent* notifyEvent(std::string_view name) override
    {
        if (SameName(name, "OnEnter"))
            return &OnEnter;
        if (SameName(name, "OnExit"))
            return &OnExit;
        if (SameName(name, "OnClick"))
            return &OnClick;
        if (SameName(name, "OnChange"))
            return &OnChange;
        return TEventSource::notifyEvent(name);
    }

    QString Hint() const { return this->toolTip(); }
    void SetHint(const QString& hint) { this->setToolTip(hint); }
    QColor Color() const { return this->palette().color(colorRole()); }
    void SetColor(const QColor& color)
    {
        QPalette p = this->palette();
        p.setColor(colorRole(), color);
        this->setPalette(p);
    }
    bool Enabled() const { return this->isEnabled(); }
    void SetEnabled(bool on) { this->setEnabled(on); }
    bool Visible() const { return this->isVisibleTo(this->parentWidget()) || (this->isWindow() && this->isVisible()); }
    void SetVisible(bool on) { this->setVisible(on); }
    QFont Font() const { return this->font(); }
    void SetFont(const QFont& f) { this->setFont(f); }
    bool TabStop() const { return this->focusPolicy() & Qt::TabFocus; }
    void SetTabStop(bool on)
    {
        const int p = this->focusPolicy();
        this->setFocusPolicy(Qt::FocusPolicy(on ? (p | Qt::TabFocus) : (p & ~Qt::TabFocus)));
    }

protected:
    // The palette role the control's Color stands for.
    virtual QPalette::ColorRole colorRole() const { return QPalette::Window; }

    // OnKeyDown, then OnKeyPress for a typing key; a handler may change or consume the key.
    void keyPressEvent(QKeyEvent* event) override
    {
        int key = VirtualKeyFromQt(event->key());
        if (key && OnKeyDown) {
            const int original = key;
            OnKeyDown(this, key, ShiftStateFromQt(event->modifiers()));
            if (key == 0) {
                event->accept();
                return;
            }
            if (key != original) {
                QKeyEvent changed(QEvent::KeyPress, QtKeyFromVirtualKey(key), event->modifiers(), QString());
                defaultKeyPress(&changed);
                event->setAccepted(changed.isAccepted());
                return;
            }
        }
        QChar ch = KeyPressChar(event);
        if (!ch.isNull() && OnKeyPress) {
            const QChar original = ch;
            OnKeyPress(this, ch);
            if (ch.isNull()) {
                event->accept();
                return;
            }
            if (ch != original) {
                QKeyEvent changed(QEvent::KeyPress, ch == QChar(13) ? int(Qt::Key_Return) : int(Qt::Key_unknown),
                                  event->modifiers(), QString(ch));
                defaultKeyPress(&changed);
                event->setAccepted(changed.isAccepted());
                return;
            }
        }
        defaultKeyPress(event);
    }

    // What the control does with a key its handlers let through.
    virtual void defaultKeyPress(QKeyEvent* event) { W::keyPressEvent(event); }
};
