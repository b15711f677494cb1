#include "controls/QvRadioButton.h"

#include <QPainter>
#include <QStyleOptionButton>

TQvRadioButton::TQvRadioButton(QWidget* parent) : TQvControl<QRadioButton>(parent)
{
    resize(113, 17);
    setFocusPolicy(Qt::ClickFocus);
    connect(this, &QAbstractButton::toggled, this, [this](bool on) { checkedChanged(on); });
}

int TQvRadioButton::CaptionOffset(int pointSize)
{
    struct Step {
        int upTo;
        int offset;
    };
    static constexpr Step steps[] = {{8, 17}, {15, 19}, {17, 20}, {23, 21}, {29, 23},
                                     {35, 25}, {41, 27}, {43, 29}, {60, 31}, {80, 39}};
    if (pointSize < 1)
        return 44;
    for (const Step& s : steps)
        if (pointSize <= s.upTo)
            return s.offset;
    return 44;
}

void TQvRadioButton::SetCaption(const QString& caption)
{
    setText(caption);
    update();
}

void TQvRadioButton::SetAlignment(TAlignment alignment)
{
    alignment_ = alignment;
    update();
}

void TQvRadioButton::checkedChanged(bool checked)
{
    const Qt::FocusPolicy policy = checked ? Qt::StrongFocus : Qt::ClickFocus;
    setFocusPolicy(policy);
    if (checked)
        Fire(OnClick, this);
}

QRect TQvRadioButton::CaptionRect() const
{
    int points = font().pointSize();
    if (points <= 0)
        points = qRound(font().pixelSize() * 72.0 / logicalDpiY());
    const int offset = CaptionOffset(points);
    if (alignment_ == taRightJustify)
        return QRect(offset, 0, std::max(0, width() - offset), height());
    return QRect(0, 0, std::max(0, width() - offset), height());
}

void TQvRadioButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    // The system's part: the round button alone.
    QStyleOptionButton opt;
    initStyleOption(&opt);
    opt.text.clear();
    const int indicator = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, &opt, this);
    const int ih = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorHeight, &opt, this);
    const int x = alignment_ == taRightJustify ? 1 : width() - indicator - 1;
    opt.rect = QRect(x, (height() - ih) / 2, indicator, ih);
    const bool ownColor = testAttribute(Qt::WA_SetPalette);
    if (ownColor)
        p.fillRect(rect(), Color());
    style()->drawPrimitive(QStyle::PE_IndicatorRadioButton, &opt, &p, this);
    // Our part: the caption on the control's colour.
    const QRect caption = CaptionRect();
    if (ownColor)
        p.fillRect(caption, Color());
    p.setFont(font());
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    p.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = p.boundingRect(caption, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text()).adjusted(-1, 0, 1, 0);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}
