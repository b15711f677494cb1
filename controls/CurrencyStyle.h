#pragma once
// TCurrencyStyle: ledger-style drawing of money cells for the data grid: one digit per
// column, a red line where the decimal point is, green lines between thousands, "#" when
// the number does not fit.

#include "config/Events.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QObject>
#include <QString>

class QPainter;
class QRect;

// Ledger drawing of money cells.
class TCurrencyStyle : public QObject, public TEventSource {
    Q_OBJECT
    Q_PROPERTY(bool _Enabled READ _Enabled WRITE Set_Enabled)
    Q_PROPERTY(bool FixColWidth READ FixColWidth WRITE SetFixColWidth)
    Q_PROPERTY(QFont CurrencyFont READ CurrencyFont WRITE SetCurrencyFont)
    Q_PROPERTY(QFont NegativeFont READ NegativeFont WRITE SetNegativeFont)
    Q_PROPERTY(QColor NegativeFontColor READ NegativeFontColor WRITE SetNegativeFontColor)
    Q_PROPERTY(int CHNWidth READ CHNWidth)
    Q_PROPERTY(int ENGWidth READ ENGWidth)
    Q_PROPERTY(int CHNHeight READ CHNHeight)
    Q_PROPERTY(int ENGHeight READ ENGHeight)
    Q_PROPERTY(QString CurrencySymbol READ CurrencySymbol WRITE SetCurrencySymbol)
    Q_PROPERTY(bool CurrencySymbolAligned READ CurrencySymbolAligned WRITE SetCurrencySymbolAligned)
    Q_PROPERTY(int DecimalNumber READ DecimalNumber WRITE SetDecimalNumber)
    Q_PROPERTY(QColor DecimalSeparatorColor READ DecimalSeparatorColor WRITE SetDecimalSeparatorColor)
    Q_PROPERTY(int DigitalNumber READ DigitalNumber WRITE SetDigitalNumber)
    Q_PROPERTY(QColor GridLineColor READ GridLineColor WRITE SetGridLineColor)
    Q_PROPERTY(int GridLineWidth READ GridLineWidth WRITE SetGridLineWidth)
    Q_PROPERTY(QColor KilobitSeparatorColor READ KilobitSeparatorColor WRITE SetKilobitSeparatorColor)
    Q_PROPERTY(int MaxLength READ MaxLength WRITE SetMaxLength)
    Q_PROPERTY(QColor NegativeColor READ NegativeColor WRITE SetNegativeColor)
    Q_PROPERTY(bool ShowNegativeColor READ ShowNegativeColor WRITE SetShowNegativeColor)
    Q_PROPERTY(bool ShowNegativeFont READ ShowNegativeFont WRITE SetShowNegativeFont)
    Q_PROPERTY(bool ShowNegativeSign READ ShowNegativeSign WRITE SetShowNegativeSign)
    Q_PROPERTY(TTextLayout TextLayout READ TextLayout WRITE SetTextLayout)
    Q_PROPERTY(double Value READ Value WRITE SetValue)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(bool ColorUseGridCellColor READ ColorUseGridCellColor WRITE SetColorUseGridCellColor)
    Q_PROPERTY(bool ZeroEmpty READ ZeroEmpty WRITE SetZeroEmpty)
    Q_PROPERTY(QString CurrencyNames READ CurrencyNames WRITE SetCurrencyNames)

public:
    enum TTextLayout { tlTop, tlCenter, tlBottom };
    Q_ENUM(TTextLayout)

    explicit TCurrencyStyle(QObject* owner = nullptr);

    bool _Enabled() const { return enabled_; }
    void Set_Enabled(bool v);
    bool FixColWidth() const { return fixColWidth_; }
    void SetFixColWidth(bool v);
    QFont CurrencyFont() const { return currencyFont_; }
    void SetCurrencyFont(const QFont& f);
    QFont NegativeFont() const { return negativeFont_; }
    void SetNegativeFont(const QFont& f);
    // A font of the system carried its colour; Qt's does not, so the negative font's is here.
    QColor NegativeFontColor() const { return negativeFontColor_; }
    void SetNegativeFontColor(const QColor& c);
    int CHNWidth() const { return chnWidth_; }
    int ENGWidth() const { return engWidth_; }
    int CHNHeight() const { return chnHeight_; }
    int ENGHeight() const { return engHeight_; }
    QString CurrencySymbol() const { return symbol_; }
    void SetCurrencySymbol(const QString& v);
    bool CurrencySymbolAligned() const { return symbolAligned_; }
    void SetCurrencySymbolAligned(bool v);
    int DecimalNumber() const { return decimals_; }
    void SetDecimalNumber(int v);
    QColor DecimalSeparatorColor() const { return decimalColor_; }
    void SetDecimalSeparatorColor(const QColor& c);
    int DigitalNumber() const { return digits_; }
    void SetDigitalNumber(int v);
    QColor GridLineColor() const { return lineColor_; }
    void SetGridLineColor(const QColor& c);
    int GridLineWidth() const { return lineWidth_; }
    void SetGridLineWidth(int v);
    QColor KilobitSeparatorColor() const { return kiloColor_; }
    void SetKilobitSeparatorColor(const QColor& c);
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int v) { maxLength_ = v; }
    QColor NegativeColor() const { return negativeColor_; }
    void SetNegativeColor(const QColor& c);
    bool ShowNegativeColor() const { return showNegativeColor_; }
    void SetShowNegativeColor(bool v);
    bool ShowNegativeFont() const { return showNegativeFont_; }
    void SetShowNegativeFont(bool v);
    bool ShowNegativeSign() const { return showNegativeSign_; }
    void SetShowNegativeSign(bool v);
    TTextLayout TextLayout() const { return layout_; }
    void SetTextLayout(TTextLayout v);
    double Value() const { return value_; }
    void SetValue(double v) { value_ = v; }
    QColor Color() const { return color_; }
    void SetColor(const QColor& c);
    bool ColorUseGridCellColor() const { return useCellColor_; }
    void SetColorUseGridCellColor(bool v);
    bool ZeroEmpty() const { return zeroEmpty_; }
    void SetZeroEmpty(bool v);
    QString CurrencyNames() const { return names_; }
    // One field per line, "NAME" or "NAME=decimals"; ";" stands for a line break.
    void SetCurrencyNames(const QString& v);

    // Whether a field is a money field, and with how many decimals.
    bool IsCurrencyField(const QString& fieldName, int* decimals = nullptr) const;

    // Draws one money cell: the value's text (read as a decimal number; unreadable text
    // counts as 0), d decimals, the grid's colour of the cell. `empty` draws only the lines.
    void DrawCell(QPainter* painter, const QRect& rect, const QString& valueText, int decimals,
                  const QColor& cellColor, bool empty = false);

    TNotifyEvent OnChange;
    TNotifyEvent* notifyEvent(std::string_view name) override;

private:
    void changed();

    bool enabled_ = false;
    bool fixColWidth_ = true;
    QFont currencyFont_;
    QFont negativeFont_;
    QColor negativeFontColor_{255, 0, 0};
    int chnWidth_ = 0, engWidth_ = 0, chnHeight_ = 0, engHeight_ = 0;
    QString symbol_;
    bool symbolAligned_ = false;
    int decimals_ = 2;
    QColor decimalColor_{255, 0, 0};
    int digits_ = 10;
    QColor lineColor_{192, 192, 192};
    int lineWidth_ = 1;
    QColor kiloColor_{0, 128, 0};
    int maxLength_ = 18;
    QColor negativeColor_{255, 0, 0};
    bool showNegativeColor_ = false;
    bool showNegativeFont_ = false;
    bool showNegativeSign_ = true;
    TTextLayout layout_ = tlCenter;
    double value_ = 0;
    QColor color_{255, 255, 255};
    bool useCellColor_ = true;
    bool zeroEmpty_ = true;
    QString names_;
    QHash<QString, int> fields_;   // upper-cased field name -> decimals (-1: DecimalNumber)
};
