#pragma once
// TBitCheckBox: a check box drawn with bitmaps (the library's "CHECKED", "GRAYED" and
// "UNCHECKED" images unless glyphs of its own are given). A click advances the state:
// unchecked -> grayed (with AllowGrayed) or checked; checked -> unchecked; grayed ->
// checked; then the click event. Space clicks.

#include "controls/QvControl.h"

#include <QImage>

class TBitCheckBox : public TQvControl<QWidget> {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(QFont Font READ Font WRITE SetFont)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)
    Q_PROPERTY(bool TabStop READ TabStop WRITE SetTabStop)
    Q_PROPERTY(TAlignment Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(bool AllowGrayed READ AllowGrayed WRITE SetAllowGrayed)
    Q_PROPERTY(bool Checked READ Checked WRITE SetChecked)
    Q_PROPERTY(TCheckBoxState State READ State WRITE SetState)
    Q_PROPERTY(QImage CheckedGlyph READ CheckedGlyph WRITE SetCheckedGlyph)
    Q_PROPERTY(QImage GrayedGlyph READ GrayedGlyph WRITE SetGrayedGlyph)
    Q_PROPERTY(QImage UncheckedGlyph READ UncheckedGlyph WRITE SetUncheckedGlyph)
    Q_PROPERTY(int CheckedNumGlyphs READ CheckedNumGlyphs WRITE SetCheckedNumGlyphs)
    Q_PROPERTY(int GrayedNumGlyphs READ GrayedNumGlyphs WRITE SetGrayedNumGlyphs)
    Q_PROPERTY(int UncheckedNumGlyphs READ UncheckedNumGlyphs WRITE SetUncheckedNumGlyphs)

public:
    enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
    Q_ENUM(TCheckBoxState)
    // taLeftJustify puts the caption left of the box, taRightJustify (the default) right.
    enum TAlignment { taLeftJustify, taRightJustify };
    Q_ENUM(TAlignment)

    explicit TBitCheckBox(QWidget* parent = nullptr);

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment alignment);
    bool AllowGrayed() const { return allowGrayed_; }
    void SetAllowGrayed(bool on) { allowGrayed_ = on; }
    bool Checked() const { return state_ == cbChecked; }
    void SetChecked(bool on) { SetState(on ? cbChecked : cbUnchecked); }
    TCheckBoxState State() const { return state_; }
    void SetState(TCheckBoxState state);

    // A null image loads the library's image of that state.
    QImage CheckedGlyph() const { return glyphs_[cbChecked]; }
    void SetCheckedGlyph(const QImage& glyph) { setGlyph(cbChecked, glyph); }
    QImage GrayedGlyph() const { return glyphs_[cbGrayed]; }
    void SetGrayedGlyph(const QImage& glyph) { setGlyph(cbGrayed, glyph); }
    QImage UncheckedGlyph() const { return glyphs_[cbUnchecked]; }
    void SetUncheckedGlyph(const QImage& glyph) { setGlyph(cbUnchecked, glyph); }
    int CheckedNumGlyphs() const { return numGlyphs_[cbChecked]; }
    void SetCheckedNumGlyphs(int n) { setNumGlyphs(cbChecked, n); }
    int GrayedNumGlyphs() const { return numGlyphs_[cbGrayed]; }
    void SetGrayedNumGlyphs(int n) { setNumGlyphs(cbGrayed, n); }
    int UncheckedNumGlyphs() const { return numGlyphs_[cbUnchecked]; }
    void SetUncheckedNumGlyphs(int n) { setNumGlyphs(cbUnchecked, n); }

    // Advances the state and raises the click event, as a user's click does.
    virtual void Click();
    // The image drawn for the current state (the disabled one when disabled).
    QImage StateImage() const;
    // The width the image and the caption need side by side.
    int CaptionWidth() const;

    QSize sizeHint() const override { return QSize(97, 17); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void setGlyph(TCheckBoxState state, const QImage& glyph);
    void setNumGlyphs(TCheckBoxState state, int n);

    QString caption_;
    TAlignment alignment_ = taRightJustify;
    bool allowGrayed_ = false;
    TCheckBoxState state_ = cbUnchecked;
    QImage glyphs_[3];
    int numGlyphs_[3] = {1, 1, 1};
    bool pressed_ = false;
};

// The type check box of the select panel.
class TOrvCheckBox : public TBitCheckBox {
    Q_OBJECT

public:
    explicit TOrvCheckBox(QWidget* parent = nullptr) : TBitCheckBox(parent) {}
};
