#include "config/DisabledGlyph.h"

#include <QApplication>
#include <QObject>
#include <QPainter>
#include <QPalette>

TEmbossColors DefaultEmbossColors()
{
    const QPalette p = QApplication::palette();
    return {QColor(Qt::transparent), p.color(QPalette::Light), p.color(QPalette::Dark)};
}

QRgb GlyphTransparentColor(const QImage& glyph)
{
    if (glyph.isNull())
        return 0;
    return glyph.pixel(0, glyph.height() - 1);
}

QList<bool> EmbossMask(const QImage& glyph, QRgb transparent)
{
    const QImage src = glyph.convertToFormat(QImage::Format_ARGB32);
    const int w = src.width(), h = src.height();
    QList<bool> marked(qsizetype(w) * h, false);
    auto isTransparent = [&](int x, int y) {
        x = std::clamp(x, 0, w - 1);
        y = std::clamp(y, 0, h - 1);
        return src.pixel(x, y) == transparent;
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const QRgb c = src.pixel(x, y);
            if (c == transparent)
                continue;
            const bool dark = qRed(c) + qGreen(c) + qBlue(c) < 384;
            const bool edge = isTransparent(x, y - 1) || isTransparent(x, y + 1) || isTransparent(x - 1, y)
                           || isTransparent(x + 1, y);
            marked[qsizetype(y) * w + x] = dark || edge;
        }
    return marked;
}

QImage EmbossedGlyph(const QImage& glyph, QRgb transparent, const TEmbossColors& colors)
{
    if (glyph.isNull())
        return {};
    const int w = glyph.width(), h = glyph.height();
    const QList<bool> mask = EmbossMask(glyph, transparent);
    QImage out(w, h, QImage::Format_ARGB32);
    out.fill(colors.face);
    // Highlight first, offset one pixel right and down; the shadow then covers it in place.
    for (int y = 0; y + 1 < h; ++y)
        for (int x = 0; x + 1 < w; ++x)
            if (mask[qsizetype(y) * w + x])
                out.setPixelColor(x + 1, y + 1, colors.highlight);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (mask[qsizetype(y) * w + x])
                out.setPixelColor(x, y, colors.shadow);
    return out;
}

QImage EmbossedGlyph(const QImage& glyph)
{
    return EmbossedGlyph(glyph, GlyphTransparentColor(glyph), DefaultEmbossColors());
}

QImage GlyphWithDisabledImage(const QImage& glyph, const TEmbossColors& colors)
{
    if (glyph.isNull())
        return {};
    const QRgb transparent = GlyphTransparentColor(glyph);
    QImage left = glyph.convertToFormat(QImage::Format_ARGB32);
    // The transparent colour of an opaque bitmap becomes real transparency.
    if (qAlpha(transparent) != 0)
        for (int y = 0; y < left.height(); ++y)
            for (int x = 0; x < left.width(); ++x)
                if (left.pixel(x, y) == transparent)
                    left.setPixel(x, y, 0);
    QImage out(glyph.width() * 2, glyph.height(), QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, left);
    p.drawImage(glyph.width(), 0, EmbossedGlyph(glyph, transparent, colors));
    return out;
}

QImage GlyphWithDisabledImage(const QImage& glyph)
{
    return GlyphWithDisabledImage(glyph, DefaultEmbossColors());
}

bool AddDisabledGlyph(TGlyphButton* button)
{
    if (!button || button->GlyphCount() != 1)
        return false;
    const QImage glyph = button->GlyphImage();
    if (glyph.isNull())
        return false;
    button->SetGlyphImages(GlyphWithDisabledImage(glyph), 2);
    return true;
}

int AddDisabledGlyphs(QObject* component)
{
    int changed = 0;
    if (auto* host = dynamic_cast<TGlyphButtonHost*>(component)) {
        for (TGlyphButton* b : host->DisabledGlyphButtons())
            changed += AddDisabledGlyph(b) ? 1 : 0;
        return changed;
    }
    if (auto* button = dynamic_cast<TGlyphButton*>(component))
        changed += AddDisabledGlyph(button) ? 1 : 0;
    return changed;
}
