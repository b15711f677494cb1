#pragma once
// TQvRadioButton: a radio button that draws its own caption on one line, vertically
// centred, at a left offset that grows with the font size, on the control's colour. A
// checked button is a tab stop, an unchecked one is not; checking one unchecks the other
// radio buttons of the same parent and raises the click event.

#include "controls/QvControl.h"

#include <QRadioButton>

class TQvRadioButton : public TQvControl<QRadioButton> {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(bool Checked READ Checked WRITE SetChecked)
    Q_PROPERTY(TAlignment Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(QFont Font READ Font WRITE SetFont)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)
    Q_PROPERTY(bool TabStop READ TabStop WRITE SetTabStop)

public:
    // taRightJustify (the default): caption right of the button.
    enum TAlignment { taLeftJustify, taRightJustify };
    Q_ENUM(TAlignment)

    explicit TQvRadioButton(QWidget* parent = nullptr);

    QString Caption() const { return text(); }
    void SetCaption(const QString& caption);
    bool Checked() const { return isChecked(); }
    void SetChecked(bool on) { setChecked(on); }
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment alignment);

    // Where the caption starts for a font of that many points.
    static int CaptionOffset(int pointSize);
    // The caption's rectangle in the control.
    QRect CaptionRect() const;

    QSize sizeHint() const override { return QSize(113, 17); }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

private:
    void checkedChanged(bool checked);

    TAlignment alignment_ = taRightJustify;
};
