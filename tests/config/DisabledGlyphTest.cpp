// The embossed disabled glyph, checked pixel by pixel.

#include "config/DisabledGlyph.h"

#include <gtest/gtest.h>

namespace {

const QRgb kKey = qRgb(255, 0, 255);
const QColor kFace(200, 200, 200), kHighlight(255, 255, 255), kShadow(64, 64, 64);

// A 7 x 7 glyph on magenta: a white square from (1,1) to (5,5) with a dark pixel in its
// middle and two greys at the threshold.
QImage sampleGlyph()
{
    QImage img(7, 7, QImage::Format_RGB32);
    img.fill(kKey);
    for (int y = 1; y <= 5; ++y)
        for (int x = 1; x <= 5; ++x)
            img.setPixel(x, y, qRgb(255, 255, 255));
    img.setPixel(3, 3, qRgb(10, 10, 10));
    img.setPixel(4, 2, qRgb(128, 128, 128)); // sum 384: light enough
    img.setPixel(2, 4, qRgb(127, 128, 128)); // sum 383: dark
    return img;
}

TEST(DisabledGlyph, MaskMarksDarkAndEdgePixels)
{
    const QImage g = sampleGlyph();
    ASSERT_EQ(GlyphTransparentColor(g), kKey);
    const QList<bool> mask = EmbossMask(g, kKey);
    auto marked = [&](int x, int y) { return mask[y * 7 + x]; };
    // The square's border touches the background.
    for (int i = 1; i <= 5; ++i) {
        EXPECT_TRUE(marked(i, 1));
        EXPECT_TRUE(marked(i, 5));
        EXPECT_TRUE(marked(1, i));
        EXPECT_TRUE(marked(5, i));
    }
    // Inside: only what is darker than the threshold.
    EXPECT_TRUE(marked(3, 3));
    EXPECT_TRUE(marked(2, 4));
    EXPECT_FALSE(marked(4, 2));
    EXPECT_FALSE(marked(2, 2));
    EXPECT_FALSE(marked(4, 4));
    // The background itself never.
    EXPECT_FALSE(marked(0, 0));
    EXPECT_FALSE(marked(6, 6));
}

TEST(DisabledGlyph, EdgesAreClampedNotWrapped)
{
    // A glyph filling its whole image has no transparent neighbour at the border.
    QImage img(3, 3, QImage::Format_RGB32);
    img.fill(qRgb(250, 250, 250));
    img.setPixel(0, 2, qRgb(1, 2, 3)); // the transparent colour, lower left
    const QList<bool> mask = EmbossMask(img, qRgb(1, 2, 3));
    EXPECT_FALSE(mask[0 * 3 + 2]); // (2,0): clamped neighbours are itself
    EXPECT_TRUE(mask[1 * 3 + 0]);  // (0,1): touches the lower-left pixel
    EXPECT_TRUE(mask[2 * 3 + 1]);  // (1,2)
    EXPECT_FALSE(mask[1 * 3 + 1]); // the middle
}

TEST(DisabledGlyph, EmbossedPixels)
{
    const QImage out = EmbossedGlyph(sampleGlyph(), kKey, {kFace, kHighlight, kShadow});
    ASSERT_EQ(out.size(), QSize(7, 7));
    auto at = [&](int x, int y) { return out.pixelColor(x, y); };
    // Marked pixels are shadow, in place.
    EXPECT_EQ(at(1, 1), kShadow);
    EXPECT_EQ(at(5, 5), kShadow);
    EXPECT_EQ(at(3, 3), kShadow);
    EXPECT_EQ(at(2, 4), kShadow);
    // One pixel right and down of a mark, where nothing is marked: highlight.
    EXPECT_EQ(at(2, 2), kHighlight);  // below-right of (1,1)
    EXPECT_EQ(at(4, 4), kHighlight);  // below-right of (3,3)
    EXPECT_EQ(at(6, 6), kHighlight);  // below-right of (5,5), outside the square
    EXPECT_EQ(at(6, 1), kFace);       // (5,0) is background
    EXPECT_EQ(at(6, 2), kHighlight);  // (5,1) is marked
    // Neither: face.
    EXPECT_EQ(at(0, 0), kFace);
    EXPECT_EQ(at(4, 3), kFace);       // (3,2) is light and inside
    EXPECT_EQ(at(0, 6), kFace);
    // The light grey at the threshold is not embossed itself.
    EXPECT_NE(at(4, 2), kShadow);
}

TEST(DisabledGlyph, WidenedGlyphHasBothImages)
{
    const QImage g = sampleGlyph();
    const TEmbossColors colors{QColor(Qt::transparent), kHighlight, kShadow};
    const QImage wide = GlyphWithDisabledImage(g, colors);
    ASSERT_EQ(wide.size(), QSize(14, 7));
    // Left: the glyph, its transparent colour made transparent.
    EXPECT_EQ(wide.pixel(2, 2), qRgb(255, 255, 255));
    EXPECT_EQ(qAlpha(wide.pixel(0, 0)), 0);
    // Right: the embossed image.
    const QImage embossed = EmbossedGlyph(g, kKey, colors);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(wide.pixel(7 + x, y), embossed.pixel(x, y)) << x << "," << y;
}

class FakeButton : public TGlyphButton {
public:
    QImage glyph;
    int count = 1;
    QImage GlyphImage() const override { return glyph; }
    int GlyphCount() const override { return count; }
    void SetGlyphImages(const QImage& g, int c) override
    {
        glyph = g;
        count = c;
    }
};

TEST(DisabledGlyph, OnlySingleGlyphButtonsChange)
{
    FakeButton one;
    one.glyph = sampleGlyph();
    EXPECT_TRUE(AddDisabledGlyph(&one));
    EXPECT_EQ(one.count, 2);
    EXPECT_EQ(one.glyph.width(), 14);
    // Already two glyphs: left alone (also a second run on the same button).
    EXPECT_FALSE(AddDisabledGlyph(&one));
    EXPECT_EQ(one.glyph.width(), 14);
    FakeButton empty;
    EXPECT_FALSE(AddDisabledGlyph(&empty));
    EXPECT_EQ(empty.count, 1);
}

} // namespace
