#include "controls/Buttons.h"
#include "config/QVForm.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStyleOptionToolButton>

QImage GlyphPart(const QImage& glyph, int count, int index)
{
    if (glyph.isNull() || count < 1)
        return {};
    const int w = glyph.width() / count;
    if (w <= 0 || index < 0 || index >= count)
        return {};
    return glyph.copy(index * w, 0, w, glyph.height());
}

// --- TSpeedButton --------------------------------------------------------------------------

TSpeedButton::TSpeedButton(QWidget* parent) : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    resize(23, 22);
    connect(this, &QAbstractButton::clicked, this, [this] { Clicked(); });
}

TNotifyEvent* TSpeedButton::notifyEvent(std::string_view name)
{
    if (SameName(name, "OnClick"))
        return &OnClick;
    return TEventSource::notifyEvent(name);
}

void TSpeedButton::SetCaption(const QString& caption)
{
    setText(caption);
    update();
}

void TSpeedButton::SetGlyph(const QImage& glyph)
{
    glyph_ = glyph;
    // A strip whose width is a multiple of its height holds that many images.
    if (!glyph.isNull() && glyph.height() > 0 && glyph.width() % glyph.height() == 0)
        numGlyphs_ = std::clamp(glyph.width() / glyph.height(), 1, 4);
    update();
}

void TSpeedButton::SetNumGlyphs(int n)
{
    numGlyphs_ = std::clamp(n, 1, 4);
    update();
}

void TSpeedButton::SetGlyphImages(const QImage& glyph, int count)
{
    glyph_ = glyph;
    numGlyphs_ = std::clamp(count, 1, 4);
    update();
}

void TSpeedButton::SetFlat(bool flat)
{
    flat_ = flat;
    update();
}

void TSpeedButton::SetDown(bool down)
{
    if (groupIndex_ == 0)
        down = false; // only grouped buttons stay down
    if (down == down_)
        return;
    down_ = down;
    if (down_)
        releaseGroup();
    update();
}

void TSpeedButton::releaseGroup()
{
    if (!parentWidget())
        return;
    for (auto* other : parentWidget()->findChildren<TSpeedButton*>(Qt::FindDirectChildrenOnly))
        if (other != this && other->groupIndex_ == groupIndex_ && other->down_) {
            other->down_ = false;
            other->update();
        }
}

void TSpeedButton::Click()
{
    if (isEnabled())
        click();
}

void TSpeedButton::Clicked()
{
    if (groupIndex_ != 0)
        SetDown(allowAllUp_ ? !down_ : true);
    Fire(OnClick, this);
}

QImage TSpeedButton::CurrentGlyph() const
{
    if (glyph_.isNull())
        return {};
    if (!isEnabled()) {
        if (numGlyphs_ >= 2)
            return GlyphPart(glyph_, numGlyphs_, 1);
        const QImage up = GlyphPart(glyph_, numGlyphs_, 0);
        return EmbossedGlyph(up);
    }
    if (isDown() && numGlyphs_ >= 3)
        return GlyphPart(glyph_, numGlyphs_, 2);
    if (down_ && numGlyphs_ >= 4)
        return GlyphPart(glyph_, numGlyphs_, 3);
    return GlyphPart(glyph_, numGlyphs_, 0);
}

QSize TSpeedButton::sizeHint() const
{
    return QSize(23, 22);
}

void TSpeedButton::enterEvent(QEnterEvent* event)
{
    hover_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TSpeedButton::leaveEvent(QEvent* event)
{
    hover_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void TSpeedButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const bool pressed = isDown() || down_;
    if (!flat_ || (hover_ && isEnabled()) || pressed) {
        QStyleOptionButton opt;
        opt.initFrom(this);
        opt.state |= pressed ? QStyle::State_Sunken : QStyle::State_Raised;
        if (flat_)
            opt.features |= QStyleOptionButton::Flat;
        style()->drawPrimitive(flat_ ? QStyle::PE_PanelButtonTool : QStyle::PE_PanelButtonCommand, &opt, &p, this);
    }
    const QImage image = CurrentGlyph();
    const QString caption = text();
    const QFontMetrics fm(font());
    const int gap = (!image.isNull() && !caption.isEmpty()) ? 4 : 0;
    const int textWidth = caption.isEmpty() ? 0 : fm.horizontalAdvance(caption);
    const int total = (image.isNull() ? 0 : image.width()) + gap + textWidth;
    int x = (width() - total) / 2;
    const int shift = pressed ? 1 : 0;
    if (!image.isNull()) {
        p.drawImage(x + shift, (height() - image.height()) / 2 + shift, image);
        x += image.width() + gap;
    }
    if (!caption.isEmpty()) {
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        p.drawText(QRect(x + shift, shift, textWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                   caption);
    }
}

// --- TBitBtn -------------------------------------------------------------------------------

TBitBtn::TBitBtn(QWidget* parent) : QPushButton(parent)
{
    resize(75, 25);
    connect(this, &QAbstractButton::clicked, this, [this] { clickedNow(); });
}

TNotifyEvent* TBitBtn::notifyEvent(std::string_view name)
{
    if (SameName(name, "OnClick"))
        return &OnClick;
    if (SameName(name, "OnEnter"))
        return &OnEnter;
    if (SameName(name, "OnExit"))
        return &OnExit;
    return TEventSource::notifyEvent(name);
}

void TBitBtn::clickedNow()
{
    // The modal result closes a modal form before the click event, as the original does.
    if (modalResult_ != 0)
        if (auto* form = qobject_cast<TQVForm*>(window()))
            form->SetModalResult(modalResult_);
    Fire(OnClick, this);
}

void TBitBtn::SetGlyph(const QImage& glyph)
{
    glyph_ = glyph;
    if (!glyph.isNull() && glyph.height() > 0 && glyph.width() % glyph.height() == 0)
        numGlyphs_ = std::clamp(glyph.width() / glyph.height(), 1, 4);
    updateIcon();
}

void TBitBtn::SetNumGlyphs(int n)
{
    numGlyphs_ = std::clamp(n, 1, 4);
    updateIcon();
}

void TBitBtn::SetGlyphImages(const QImage& glyph, int count)
{
    glyph_ = glyph;
    numGlyphs_ = std::clamp(count, 1, 4);
    updateIcon();
}

void TBitBtn::updateIcon()
{
    if (glyph_.isNull()) {
        setIcon(QIcon());
        return;
    }
    const QImage up = GlyphPart(glyph_, numGlyphs_, 0);
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(up), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(numGlyphs_ >= 2 ? GlyphPart(glyph_, numGlyphs_, 1) : EmbossedGlyph(up)),
                   QIcon::Disabled);
    setIcon(icon);
    setIconSize(up.size());
}
