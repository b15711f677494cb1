#include "controls/CurrencyStyle.h"

#include "dataset/Decimal.h"
#include "platform/Exception.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

TCurrencyStyle::TCurrencyStyle(QObject* owner) : QObject(owner)
{
    SetCurrencyFont(QApplication::font());
    negativeFont_ = QApplication::font();
}

void TCurrencyStyle::changed()
{
    Fire(OnChange, this);
}

void TCurrencyStyle::Set_Enabled(bool v)
{
    enabled_ = v;
    changed();
}

void TCurrencyStyle::SetFixColWidth(bool v)
{
    fixColWidth_ = v;
    changed();
}

void TCurrencyStyle::SetCurrencyFont(const QFont& f)
{
    currencyFont_ = f;
    const QFontMetrics fm(f);
    chnWidth_ = fm.horizontalAdvance(QStringLiteral("中"));
    engWidth_ = fm.horizontalAdvance(QLatin1Char('0'));
    chnHeight_ = fm.boundingRect(QStringLiteral("中")).height();
    engHeight_ = fm.height();
    changed();
}

void TCurrencyStyle::SetNegativeFont(const QFont& f)
{
    negativeFont_ = f;
    changed();
}

void TCurrencyStyle::SetNegativeFontColor(const QColor& c)
{
    negativeFontColor_ = c;
    changed();
}

void TCurrencyStyle::SetCurrencySymbol(const QString& v)
{
    symbol_ = v;
    changed();
}

void TCurrencyStyle::SetCurrencySymbolAligned(bool v)
{
    symbolAligned_ = v;
    changed();
}

void TCurrencyStyle::SetDecimalNumber(int v)
{
    decimals_ = std::clamp(v, 0, Decimal::MaxScale);
    changed();
}

void TCurrencyStyle::SetDecimalSeparatorColor(const QColor& c)
{
    decimalColor_ = c;
    changed();
}

void TCurrencyStyle::SetDigitalNumber(int v)
{
    digits_ = std::max(v, 1);
    changed();
}

void TCurrencyStyle::SetGridLineColor(const QColor& c)
{
    lineColor_ = c;
    changed();
}

void TCurrencyStyle::SetGridLineWidth(int v)
{
    lineWidth_ = std::max(v, 0);
    changed();
}

void TCurrencyStyle::SetKilobitSeparatorColor(const QColor& c)
{
    kiloColor_ = c;
    changed();
}

void TCurrencyStyle::SetNegativeColor(const QColor& c)
{
    negativeColor_ = c;
    changed();
}

void TCurrencyStyle::SetShowNegativeColor(bool v)
{
    showNegativeColor_ = v;
    changed();
}

void TCurrencyStyle::SetShowNegativeFont(bool v)
{
    showNegativeFont_ = v;
    changed();
}

void TCurrencyStyle::SetShowNegativeSign(bool v)
{
    showNegativeSign_ = v;
    changed();
}

void TCurrencyStyle::SetTextLayout(TTextLayout v)
{
    layout_ = v;
    changed();
}

void TCurrencyStyle::SetColor(const QColor& c)
{
    color_ = c;
    changed();
}

void TCurrencyStyle::SetColorUseGridCellColor(bool v)
{
    useCellColor_ = v;
    changed();
}

void TCurrencyStyle::SetZeroEmpty(bool v)
{
    zeroEmpty_ = v;
    changed();
}

void TCurrencyStyle::SetCurrencyNames(const QString& v)
{
    QString text = v;
    text.replace(QLatin1Char(';'), QLatin1Char('\n'));
    text.remove(QLatin1Char('\r'));
    names_ = text;
    fields_.clear();
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const int eq = int(line.indexOf(QLatin1Char('=')));
        const QString name = (eq < 0 ? line : line.left(eq)).trimmed().toUpper();
        if (name.isEmpty())
            continue;
        int decimals = -1;
        if (eq >= 0) {
            bool ok = false;
            const int d = line.mid(eq + 1).trimmed().toInt(&ok);
            if (ok && d >= 0 && d <= Decimal::MaxScale)
                decimals = d;
        }
        fields_.insert(name, decimals);
    }
    changed();
}

bool TCurrencyStyle::IsCurrencyField(const QString& fieldName, int* decimals) const
{
    const auto it = fields_.constFind(fieldName.trimmed().toUpper());
    if (it == fields_.constEnd())
        return false;
    if (decimals)
        *decimals = it.value() < 0 ? decimals_ : it.value();
    return true;
}

void TCurrencyStyle::DrawCell(QPainter* p, const QRect& rect, const QString& valueText, int decimals,
                              const QColor& cellColor, bool empty)
{
    if (!enabled_ || rect.isEmpty())
        return;
    const int d = std::clamp(decimals, 0, Decimal::MaxScale);
    Decimal value;
    bool tooLarge = false;
    if (!Decimal::tryParse(valueText.toStdString(), value)) {
        bool ok = false;
        const double big = valueText.trimmed().toDouble(&ok);
        // Readable but beyond 19 digits: it cannot fit any cell.
        if (ok && std::isfinite(big)) {
            tooLarge = true;
            value = Decimal(big < 0 ? -1 : 1, 0);
        } else {
            value = Decimal();
        }
    }
    const bool negative = value.isNegative();

    p->save();
    const QFont font = (negative && showNegativeFont_) ? negativeFont_ : currencyFont_;
    QColor background = color_;
    if (useCellColor_)
        background = color_ = cellColor;
    if (negative && showNegativeColor_)
        background = negativeColor_;
    p->fillRect(rect, background);

    const QFontMetrics fm(font);
    const int lw = lineWidth_;
    int n = 0, colW = 0;
    if (fixColWidth_) {
        colW = fm.horizontalAdvance(QLatin1Char('0')) + 1;
        n = rect.width() / (lw + colW);
        if (n > 0)
            digits_ = n;
    } else {
        n = digits_;
        colW = (rect.width() - lw * (n - 1)) / n;
    }
    if (n <= 0 || colW <= 0) {
        p->restore();
        return;
    }
    const int extra = rect.width() - n * colW - (n - 1) * lw;   // to the leftmost column
    auto colLeft = [&](int k) { return rect.left() + (k == 1 ? 0 : extra + (k - 1) * (colW + lw)); };
    auto colWidth = [&](int k) { return colW + (k == 1 ? extra : 0); };

    const int pointLine = n - d;
    for (int i = 1; i < n; ++i) {
        QColor c = lineColor_;
        if (i == pointLine)
            c = decimalColor_;
        else if (i < pointLine && (pointLine - i) % 3 == 0)
            c = kiloColor_;
        if (lw > 0)
            p->fillRect(QRect(colLeft(i) + colWidth(i), rect.top(), lw, rect.height()), c);
    }

    if (empty || (!tooLarge && value.isZero() && zeroEmpty_)) {
        p->restore();
        return;
    }

    QString chars;
    bool overflow = tooLarge;
    if (!overflow) {
        try {
            const std::string fixed = value.rescaled(d).toFixed();
            QString digits = QString::fromStdString(fixed);
            digits.remove(QLatin1Char('-'));
            digits.remove(QLatin1Char('.'));
            chars = (negative && showNegativeSign_ ? QStringLiteral("-") : QString()) + digits;
        } catch (const DataSetError&) {
            overflow = true;
        }
    }
    const int needed = int(chars.size()) + (symbol_.isEmpty() ? 0 : 1);
    if (overflow || needed > n) {
        overflow = true;
        chars = QString(std::max(n - d, 0), QLatin1Char('#')) + QString(std::min(d, n), QLatin1Char('#'));
    }

    const int th = fm.height();
    int y = rect.top();
    if (layout_ == tlCenter)
        y = rect.top() + (rect.height() - th) / 2 + 1;
    else if (layout_ == tlBottom)
        y = rect.top() + rect.height() - th;

    p->setFont(font);
    if (negative && showNegativeFont_)
        p->setPen(negativeFontColor_);
    const int first = n - int(chars.size()) + 1;
    for (int i = 0; i < int(chars.size()); ++i) {
        const int k = first + i;
        p->drawText(QRect(colLeft(k), y, colWidth(k), th), Qt::AlignHCenter | Qt::AlignTop, QString(chars[i]));
    }
    if (!symbol_.isEmpty() && !overflow) {
        const int k = symbolAligned_ ? 1 : first - 1;
        if (k >= 1)
            p->drawText(QRect(colLeft(k), y, colWidth(k), th), Qt::AlignHCenter | Qt::AlignTop, symbol_);
    }
    p->restore();
}

TNotifyEvent* TCurrencyStyle::notifyEvent(std::string_view name)
{
    return SameName(name, "OnChange") ? &OnChange : TEventSource::notifyEvent(name);
}
