#pragma once
// TGSpeedButton: a speed button whose glyph is taken by number from the suite's bitmap
// library (controls/BmpLibrary.h).

#include "controls/Buttons.h"

class TGSpeedButton : public TSpeedButton {
    Q_OBJECT
    Q_PROPERTY(int GlyphIndex READ GlyphIndex WRITE SetGlyphIndex)
    Q_PROPERTY(int HintIndex READ HintIndex WRITE SetHintIndex)

public:
    explicit TGSpeedButton(QWidget* parent = nullptr);

    int GlyphIndex() const { return glyphIndex_; }
    // The number is shown as the caption until a glyph of that number is loaded; 0 and
    // numbers above the library's highest clear the glyph.
    void SetGlyphIndex(int index);
    int HintIndex() const { return hintIndex_; }
    void SetHintIndex(int index) { hintIndex_ = index; }

private:
    int glyphIndex_ = 0;
    int hintIndex_ = 0;
};
