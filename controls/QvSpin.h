#pragma once
// TQvSpinEdit: a spin edit in which a sign can only be typed first (a "+" or "-" after
// the first character takes the last character away again), and whose change event is
// raised only while the text is not blank.

#include "controls/QvControl.h"

#include <QLineEdit>
#include <QSpinBox>

class TQvSpinEdit : public TQvControl<QSpinBox> {
    Q_OBJECT
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(int Value READ Value WRITE SetValue)
    Q_PROPERTY(int MinValue READ MinValue WRITE SetMinValue)
    Q_PROPERTY(int MaxValue READ MaxValue WRITE SetMaxValue)
    Q_PROPERTY(int Increment READ Increment WRITE SetIncrement)
    Q_PROPERTY(bool EditorEnabled READ EditorEnabled WRITE SetEditorEnabled)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(QFont Font READ Font WRITE SetFont)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)
    Q_PROPERTY(bool TabStop READ TabStop WRITE SetTabStop)

public:
    explicit TQvSpinEdit(QWidget* parent = nullptr);

    QString Text() const;
    void SetText(const QString& text);
    int Value() const { return value(); }
    void SetValue(int v) { setValue(v); }
    // MinValue and MaxValue both 0: no limits; a MaxValue below MinValue: no upper limit.
    int MinValue() const { return min_; }
    void SetMinValue(int v);
    int MaxValue() const { return max_; }
    void SetMaxValue(int v);
    int Increment() const { return singleStep(); }
    void SetIncrement(int v) { setSingleStep(v); }
    bool EditorEnabled() const { return !lineEdit()->isReadOnly(); }
    void SetEditorEnabled(bool on) { lineEdit()->setReadOnly(!on); }

    // The sign rule on a text: a "+" or "-" after the first character takes the last
    // character off.
    static QString SignRule(const QString& text);

protected:
    QPalette::ColorRole colorRole() const override { return QPalette::Base; }
    QValidator::State validate(QString& input, int& pos) const override;

private:
    void applyRange();
    void changed(const QString& text);

    int min_ = 0;
    int max_ = 0;
    bool inRule_ = false;
};
