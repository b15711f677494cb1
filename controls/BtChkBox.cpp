#include "controls/BtChkBox.h"
#include "config/DisabledGlyph.h"
#include "controls/BmpLibrary.h"
#include "controls/Buttons.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

namespace {
const char* const kResourceNames[] = {"UNCHECKED", "CHECKED", "GRAYED"};
constexpr int kImageSize = 13;
} // namespace

TBitCheckBox::TBitCheckBox(QWidget* parent) : TQvControl<QWidget>(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover, false);
    resize(97, 17);
    for (int s = 0; s < 3; ++s)
        setGlyph(TCheckBoxState(s), QImage());
}

void TBitCheckBox::SetCaption(const QString& caption)
{
    caption_ = caption;
    update();
}

void TBitCheckBox::SetAlignment(TAlignment alignment)
{
    alignment_ = alignment;
    update();
}

void TBitCheckBox::SetState(TCheckBoxState state)
{
    if (state == state_)
        return;
    state_ = state;
    update();
}

void TBitCheckBox::setGlyph(TCheckBoxState state, const QImage& glyph)
{
    QImage image = glyph.isNull() ? LoadBmpResource(QLatin1String(kResourceNames[state]), kImageSize) : glyph;
    glyphs_[state] = image;
    if (!image.isNull() && image.height() > 0 && image.width() % image.height() == 0)
        numGlyphs_[state] = std::max(1, image.width() / image.height());
    update();
}

void TBitCheckBox::setNumGlyphs(TCheckBoxState state, int n)
{
    numGlyphs_[state] = std::clamp(n, 1, 4);
    update();
}

void TBitCheckBox::Click()
{
    switch (state_) {
    case cbUnchecked:
        state_ = allowGrayed_ ? cbGrayed : cbChecked;
        break;
    case cbChecked:
        state_ = cbUnchecked;
        break;
    case cbGrayed:
        state_ = cbChecked;
        break;
    }
    update();
    Fire(OnClick, this);
}

QImage TBitCheckBox::StateImage() const
{
    const QImage& strip = glyphs_[state_];
    const int count = numGlyphs_[state_];
    if (!isEnabled())
        return count >= 2 ? GlyphPart(strip, count, 1) : EmbossedGlyph(GlyphPart(strip, count, 0));
    return GlyphPart(strip, count, 0);
}

int TBitCheckBox::CaptionWidth() const
{
    const QImage image = StateImage();
    return (image.isNull() ? 0 : image.width()) + 4 + QFontMetrics(font()).horizontalAdvance(caption_) + 2;
}

void TBitCheckBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    // The parent's colour shows through unless the control was given one of its own.
    if (testAttribute(Qt::WA_SetPalette))
        p.fillRect(rect(), Color());
    const QImage image = StateImage();
    const int iw = image.isNull() ? 0 : image.width();
    const int imageX = alignment_ == taRightJustify ? 0 : width() - iw;
    if (!image.isNull())
        p.drawImage(imageX, (height() - image.height()) / 2, image);
    const QFontMetrics fm(font());
    const int textWidth = fm.horizontalAdvance(caption_);
    const int textX = alignment_ == taRightJustify ? iw + 4 : std::max(0, imageX - 4 - textWidth);
    const QRect textRect(textX, (height() - fm.height()) / 2, textWidth + 2, fm.height());
    p.setFont(font());
    if (!isEnabled()) {
        // Greyed as the system draws disabled text: a light copy one pixel down and right.
        p.setPen(palette().color(QPalette::Light));
        p.drawText(textRect.translated(1, 1), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, caption_);
        p.setPen(palette().color(QPalette::Disabled, QPalette::WindowText));
    } else {
        p.setPen(palette().color(QPalette::WindowText));
    }
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, caption_);
    if (hasFocus() && !caption_.isEmpty()) {
        QStyleOptionFocusRect opt;
        opt.initFrom(this);
        opt.rect = textRect.adjusted(-1, 0, 1, 0);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &opt, &p, this);
    }
}

void TBitCheckBox::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
        if (focusPolicy() & Qt::ClickFocus)
            setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    TQvControl<QWidget>::mousePressEvent(event);
}

void TBitCheckBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && pressed_) {
        pressed_ = false;
        if (rect().contains(event->position().toPoint()))
            Click();
        event->accept();
        return;
    }
    TQvControl<QWidget>::mouseReleaseEvent(event);
}

void TBitCheckBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        int key = VK_SPACE;
        if (OnKeyDown)
            OnKeyDown(this, key, ShiftStateFromQt(event->modifiers()));
        if (key == VK_SPACE)
            Click();
        event->accept();
        return;
    }
    TQvControl<QWidget>::keyPressEvent(event);
}

void TBitCheckBox::focusInEvent(QFocusEvent* event)
{
    update();
    TQvControl<QWidget>::focusInEvent(event);
}

void TBitCheckBox::focusOutEvent(QFocusEvent* event)
{
    update();
    TQvControl<QWidget>::focusOutEvent(event);
}
