#include "controls/BmpLibrary.h"
#include "config/DisabledGlyph.h"

#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int kMaxBmpId = 47;

// Every glyph is drawn on an 18-unit grid and scaled; lines stay on half units so that
// they are sharp at 18 pixels.
class Canvas {
public:
    Canvas(QImage& image, int size) : painter_(&image)
    {
        painter_.setRenderHint(QPainter::Antialiasing);
        painter_.scale(size / 18.0, size / 18.0);
    }
    QPainter& p() { return painter_; }
    void pen(QColor c, double width = 1.0)
    {
        painter_.setPen(QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    }

private:
    QPainter painter_;
};

const QColor kInk(0x30, 0x30, 0x30);
const QColor kRed(0xD0, 0x20, 0x20);
const QColor kGreen(0x1E, 0x90, 0x32);
const QColor kBlue(0x1E, 0x5A, 0xC8);
const QColor kPaper(0xFF, 0xFF, 0xFF);
const QColor kFolder(0xE8, 0xB8, 0x3A);

void drawOk(Canvas& c)
{
    c.pen(kGreen, 2.6);
    c.p().drawPolyline(QPolygonF({QPointF(3.5, 9.5), QPointF(7.5, 13.5), QPointF(14.5, 4.5)}));
}

void drawCancel(Canvas& c)
{
    c.pen(kRed, 2.6);
    c.p().drawLine(QPointF(4.5, 4.5), QPointF(13.5, 13.5));
    c.p().drawLine(QPointF(13.5, 4.5), QPointF(4.5, 13.5));
}

void drawAdd(Canvas& c)
{
    c.pen(kGreen, 2.8);
    c.p().drawLine(QPointF(9, 3.5), QPointF(9, 14.5));
    c.p().drawLine(QPointF(3.5, 9), QPointF(14.5, 9));
}

// A list of three lines with a red cross over it: every item goes.
void drawClearAll(Canvas& c)
{
    c.pen(kInk, 1.0);
    c.p().setBrush(kPaper);
    c.p().drawRect(QRectF(2.5, 2.5, 10, 12));
    c.pen(kBlue, 1.4);
    for (double y : {5.5, 8.5, 11.5})
        c.p().drawLine(QPointF(4.5, y), QPointF(10.5, y));
    c.pen(kRed, 2.2);
    c.p().drawLine(QPointF(10.5, 9.5), QPointF(15.5, 14.5));
    c.p().drawLine(QPointF(15.5, 9.5), QPointF(10.5, 14.5));
}

void drawSave(Canvas& c)
{
    c.pen(kInk, 1.0);
    c.p().setBrush(kBlue);
    c.p().drawRect(QRectF(2.5, 2.5, 13, 13));
    c.p().setBrush(kPaper);
    c.p().drawRect(QRectF(4.5, 2.5, 9, 5));
    c.p().setBrush(QColor(0xC8, 0xC8, 0xC8));
    c.p().drawRect(QRectF(5.5, 10.5, 7, 5));
}

void drawOpen(Canvas& c)
{
    c.pen(QColor(0x8A, 0x62, 0x10), 1.0);
    c.p().setBrush(kFolder);
    QPainterPath path;
    path.moveTo(1.5, 14.5);
    path.lineTo(1.5, 3.5);
    path.lineTo(6.5, 3.5);
    path.lineTo(8, 5.5);
    path.lineTo(14.5, 5.5);
    path.lineTo(14.5, 14.5);
    path.closeSubpath();
    c.p().drawPath(path);
    c.p().setBrush(QColor(0xF6, 0xD7, 0x7A));
    c.p().drawPolygon(QPolygonF({QPointF(1.5, 14.5), QPointF(4.5, 8.5), QPointF(16.5, 8.5), QPointF(14.5, 14.5)}));
}

void drawPrint(Canvas& c)
{
    c.pen(kInk, 1.0);
    c.p().setBrush(kPaper);
    c.p().drawRect(QRectF(5.5, 1.5, 7, 6));
    c.p().setBrush(QColor(0xB0, 0xB0, 0xB0));
    c.p().drawRect(QRectF(1.5, 7.5, 15, 6));
    c.p().setBrush(kPaper);
    c.p().drawRect(QRectF(4.5, 11.5, 9, 5));
    c.p().setPen(Qt::NoPen);
    c.p().setBrush(kGreen);
    c.p().drawEllipse(QPointF(14, 9.5), 0.9, 0.9);
}

// A magnifying glass over a card: "look it up".
void drawLookup(Canvas& c)
{
    c.pen(kInk, 1.0);
    c.p().setBrush(kPaper);
    c.p().drawRect(QRectF(1.5, 1.5, 10, 12));
    c.pen(QColor(0x90, 0x90, 0x90), 1.0);
    for (double y : {4.5, 7.0, 9.5})
        c.p().drawLine(QPointF(3.5, y), QPointF(9.5, y));
    c.pen(kBlue, 1.8);
    c.p().setBrush(QColor(0xD8, 0xE8, 0xFF, 220));
    c.p().drawEllipse(QPointF(11, 10.5), 3.4, 3.4);
    c.pen(kInk, 2.6);
    c.p().drawLine(QPointF(13.6, 13.1), QPointF(16.2, 15.7));
}

// A calendar page with a red top and a grid of days.
void drawDate(Canvas& c)
{
    c.pen(kInk, 1.0);
    c.p().setBrush(kPaper);
    c.p().drawRect(QRectF(1.5, 2.5, 15, 13));
    c.p().setPen(Qt::NoPen);
    c.p().setBrush(kRed);
    c.p().drawRect(QRectF(2, 3, 14, 3.5));
    c.p().setBrush(kInk);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 4; ++col)
            c.p().drawRect(QRectF(3.5 + col * 3.2, 8 + row * 2.5, 1.6, 1.4));
    c.p().setBrush(kBlue);
    c.p().drawRect(QRectF(3.5 + 2 * 3.2, 8 + 2.5, 1.6, 1.4));
    c.pen(kInk, 1.4);
    c.p().drawLine(QPointF(5.5, 1), QPointF(5.5, 4));
    c.p().drawLine(QPointF(12.5, 1), QPointF(12.5, 4));
}

void drawRefresh(Canvas& c)
{
    c.pen(kGreen, 2.2);
    c.p().setBrush(Qt::NoBrush);
    c.p().drawArc(QRectF(3.5, 3.5, 11, 11), 60 * 16, 280 * 16);
    c.p().setPen(Qt::NoPen);
    c.p().setBrush(kGreen);
    c.p().drawPolygon(QPolygonF({QPointF(10, 1.5), QPointF(15, 4.5), QPointF(10, 7.5)}));
}

// A red cross: the chosen item goes.
void drawDelete(Canvas& c)
{
    c.pen(kRed, 3.0);
    c.p().drawLine(QPointF(4.5, 4.5), QPointF(13.5, 13.5));
    c.p().drawLine(QPointF(13.5, 4.5), QPointF(4.5, 13.5));
}

// Two people, one behind the other, beside the lines of a list: who is told.
void drawPeople(Canvas& c)
{
    const auto person = [&c](double x, double y, QColor body) {
        c.pen(kInk, 0.9);
        c.p().setBrush(QColor(0xF2, 0xC8, 0x9A));
        c.p().drawEllipse(QPointF(x, y), 2.2, 2.2);
        c.p().setBrush(body);
        QPainterPath shoulders;
        shoulders.moveTo(x - 4, y + 8);
        shoulders.cubicTo(x - 4, y + 3, x + 4, y + 3, x + 4, y + 8);
        shoulders.closeSubpath();
        c.p().drawPath(shoulders);
    };
    person(9, 4.5, QColor(0x7A, 0x9C, 0xD8));
    person(5.5, 7.5, kBlue);
    c.pen(kInk, 1.2);
    for (double y : {9.5, 12.5, 15.5})
        c.p().drawLine(QPointF(12.5, y), QPointF(16.5, y));
}

using DrawFn = void (*)(Canvas&);

DrawFn drawingOf(int number)
{
    switch (number) {
    case 1: return drawOk;
    case 2: return drawCancel;
    case 3: return drawAdd;
    case 4: return drawClearAll;
    case 5: return drawSave;
    case 6: return drawOpen;
    case 7: return drawPrint;
    case 8: return drawLookup;
    case 9: return drawDate;
    case 10: return drawRefresh;
    case 11: return drawPeople;
    case 47: return drawDelete;
    default: return nullptr;
    }
}

QImage draw(DrawFn fn, int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        Canvas c(image, size);
        fn(c);
    }
    // The lower-left pixel names the transparent colour.
    image.setPixel(0, size - 1, 0);
    return image;
}

// Check-box images: a sunken white box, a tick or a grey square.
QImage checkImage(int state, int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1.0));
    p.setBrush(state == 2 ? QColor(0xE0, 0xE0, 0xE0) : kPaper);
    p.drawRect(QRectF(0.5, 0.5, s - 1, s - 1));
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1.0));
    p.drawLine(QPointF(1.5, 1.5), QPointF(s - 1.5, 1.5));
    p.drawLine(QPointF(1.5, 1.5), QPointF(1.5, s - 1.5));
    if (state == 1) {
        p.setPen(QPen(kInk, std::max(1.6, s / 7.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(s * 0.25, s * 0.52), QPointF(s * 0.43, s * 0.70), QPointF(s * 0.76, s * 0.30)}));
    } else if (state == 2) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x80, 0x80, 0x80));
        p.drawRect(QRectF(s * 0.3, s * 0.3, s * 0.4, s * 0.4));
    }
    return image;
}
} // namespace

int GetMaxBmpID()
{
    return kMaxBmpId;
}

bool LoadBmp(QImage& bitmap, int number, int size)
{
    const DrawFn fn = drawingOf(number);
    if (!fn || size <= 0)
        return false;
    const QImage glyph = draw(fn, size);
    // Glyph 4 comes with its own disabled image.
    bitmap = number == 4 ? GlyphWithDisabledImage(glyph) : glyph;
    if (number == 4)
        bitmap.setPixel(0, size - 1, 0);
    return true;
}

QImage LoadBmpResource(const QString& name, int size)
{
    if (size <= 0)
        return {};
    if (name.compare(QLatin1String("UNCHECKED"), Qt::CaseInsensitive) == 0)
        return checkImage(0, size);
    if (name.compare(QLatin1String("CHECKED"), Qt::CaseInsensitive) == 0)
        return checkImage(1, size);
    if (name.compare(QLatin1String("GRAYED"), Qt::CaseInsensitive) == 0)
        return checkImage(2, size);
    return {};
}
