#pragma once
// The widget library's glyph buttons: TSpeedButton (flat-capable, never takes the focus,
// may stay down in a group) and TBitBtn (a push button with a glyph, a modal result and
// the Default / Cancel roles the form's Enter and Esc keys use).
//
// A glyph is a strip of NumGlyphs images side by side: up, disabled, clicked, down. With
// one image the disabled look is drawn from it (config/DisabledGlyph.h).

#include "config/DisabledGlyph.h"
#include "config/Events.h"

#include <QAbstractButton>
#include <QImage>
#include <QPushButton>

class TSpeedButton : public QAbstractButton, public TEventSource, public TGlyphButton {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(QImage Glyph READ Glyph WRITE SetGlyph)
    Q_PROPERTY(int NumGlyphs READ NumGlyphs WRITE SetNumGlyphs)
    Q_PROPERTY(bool Flat READ Flat WRITE SetFlat)
    Q_PROPERTY(bool Down READ Down WRITE SetDown)
    Q_PROPERTY(int GroupIndex READ GroupIndex WRITE SetGroupIndex)
    Q_PROPERTY(bool AllowAllUp READ AllowAllUp WRITE SetAllowAllUp)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool Visible READ Visible WRITE setVisible)
    Q_PROPERTY(QFont Font READ font WRITE setFont)

public:
    explicit TSpeedButton(QWidget* parent = nullptr);

    TNotifyEvent OnClick;
    TNotifyEvent* notifyEvent(std::string_view name) override;

    QString Caption() const { return text(); }
    void SetCaption(const QString& caption);
    QString Hint() const { return toolTip(); }
    void SetHint(const QString& hint) { setToolTip(hint); }
    QImage Glyph() const { return glyph_; }
    void SetGlyph(const QImage& glyph);
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int n);
    bool Flat() const { return flat_; }
    void SetFlat(bool flat);
    bool Down() const { return down_; }
    void SetDown(bool down);
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int index) { groupIndex_ = index; }
    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool on) { allowAllUp_ = on; }
    bool Visible() const { return isVisibleTo(parentWidget()); }

    // Presses the button in code: the same as a user's click.
    void Click();

    // TGlyphButton
    QImage GlyphImage() const override { return glyph_; }
    int GlyphCount() const override { return numGlyphs_; }
    void SetGlyphImages(const QImage& glyph, int count) override;

    // The image the button shows in its current state.
    QImage CurrentGlyph() const;

    QSize sizeHint() const override;

protected:
    // What a click does: the click event. Derived buttons add their own step after it.
    virtual void Clicked();
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void releaseGroup();

    QImage glyph_;
    int numGlyphs_ = 1;
    bool flat_ = false;
    bool down_ = false;
    int groupIndex_ = 0;
    bool allowAllUp_ = false;
    bool hover_ = false;
};

enum TBitBtnKind { bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll };

class TBitBtn : public QPushButton, public TEventSource, public TGlyphButton {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(QImage Glyph READ Glyph WRITE SetGlyph)
    Q_PROPERTY(int NumGlyphs READ NumGlyphs WRITE SetNumGlyphs)
    Q_PROPERTY(int ModalResult READ ModalResult WRITE SetModalResult)
    Q_PROPERTY(bool Default READ Default WRITE SetDefault)
    Q_PROPERTY(bool Cancel READ Cancel WRITE SetCancel)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool Visible READ Visible WRITE setVisible)
    Q_PROPERTY(QFont Font READ font WRITE setFont)

public:
    explicit TBitBtn(QWidget* parent = nullptr);

    TNotifyEvent OnClick;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TNotifyEvent* notifyEvent(std::string_view name) override;

    QString Caption() const { return text(); }
    void SetCaption(const QString& caption) { setText(caption); }
    QString Hint() const { return toolTip(); }
    void SetHint(const QString& hint) { setToolTip(hint); }
    QImage Glyph() const { return glyph_; }
    void SetGlyph(const QImage& glyph);
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int n);
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int result) { modalResult_ = result; }
    bool Default() const { return default_; }
    void SetDefault(bool on) { default_ = on; }
    bool Cancel() const { return cancel_; }
    void SetCancel(bool on) { cancel_ = on; }
    bool Visible() const { return isVisibleTo(parentWidget()); }

    void Click() { click(); }

    QImage GlyphImage() const override { return glyph_; }
    int GlyphCount() const override { return numGlyphs_; }
    void SetGlyphImages(const QImage& glyph, int count) override;

private:
    void updateIcon();
    void clickedNow();

    QImage glyph_;
    int numGlyphs_ = 1;
    int modalResult_ = 0;
    bool default_ = false;
    bool cancel_ = false;
};

// Image number index (0-based) of a glyph strip of count images.
QImage GlyphPart(const QImage& glyph, int count, int index);
