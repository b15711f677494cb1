#pragma once
// The drawn disabled image of a button glyph, and the buttons whose glyph the form
// widens with it when it is created.
//
// The algorithm: every glyph pixel that is not the transparent colour is marked when it
// is dark (red + green + blue below 384) or touches the transparent colour (above, below,
// left, right; clamped at the edges). The marks make a mask that is drawn in the
// highlight colour one pixel right and down, then in the shadow colour in place, on the
// button face: an embossed image.

#include <QColor>
#include <QImage>
#include <QList>

class QObject;

struct TEmbossColors {
    QColor face;      // the background; may be transparent
    QColor highlight;
    QColor shadow;
};

// The button colours of the running style (face transparent, so the image suits any
// button background).
TEmbossColors DefaultEmbossColors();

// The glyph's transparent colour: its lower-left pixel, as the glyphs of the system's
// bitmaps have it.
QRgb GlyphTransparentColor(const QImage& glyph);

// Which pixels of the glyph are marked (true) by the rule above; row-major.
QList<bool> EmbossMask(const QImage& glyph, QRgb transparent);

// The embossed (disabled) image of a glyph, same size, ARGB32.
QImage EmbossedGlyph(const QImage& glyph, QRgb transparent, const TEmbossColors& colors);
QImage EmbossedGlyph(const QImage& glyph);

// The glyph widened to twice its width: the glyph itself on the left, its embossed image
// on the right (two glyphs). Pixels of the transparent colour stay transparent on the left.
QImage GlyphWithDisabledImage(const QImage& glyph, const TEmbossColors& colors);
QImage GlyphWithDisabledImage(const QImage& glyph);

// A button that carries glyph images side by side (speed buttons, bit buttons).
class TGlyphButton {
public:
    virtual ~TGlyphButton() = default;
    virtual QImage GlyphImage() const = 0;
    virtual int GlyphCount() const = 0;
    virtual void SetGlyphImages(const QImage& glyph, int count) = 0;
};

// A component whose own buttons take part in the form's disabled glyphs (the button of a
// data-aware button edit, the list buttons of a select panel).
class TGlyphButtonHost {
public:
    virtual ~TGlyphButtonHost() = default;
    virtual QList<TGlyphButton*> DisabledGlyphButtons() = 0;
};

// Gives one button of one glyph its disabled image (two glyphs); buttons without a glyph
// or with two or more already stay as they are. True when the button was changed.
bool AddDisabledGlyph(TGlyphButton* button);
// The same for a component: a glyph button itself, or the buttons a host names.
int AddDisabledGlyphs(QObject* component);
