#pragma once
// TFDBGrid: the data grid of the job forms (the write-off job's candidate list). It shows
// a client data set through a TDataSource and adds to a plain data grid:
// - alternating record colours with a colour for the current record (TFDBGridColors);
// - check-box columns drawn with the "CHECKED" / "UNCHECKED" images and ticked by a click
//   or the space bar while editing is allowed;
// - empty rows drawn in the blank area below the last record;
// - ledger-style money columns (TCurrencyStyle): one digit per column, a red line where
//   the decimal point is, green lines between thousands, "#" when the number does not fit.

#include "config/Events.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QPointer>
#include <QStringList>
#include <QTableView>

#include <functional>

class QPainter;
class TClientDataSet;
class TDataSource;
class TField;

// Colours of the records; the system's defaults.
class TFDBGridColors : public QObject, public TEventSource {
    Q_OBJECT
    Q_PROPERTY(QColor OddRecColor READ OddRecColor WRITE SetOddRecColor)
    Q_PROPERTY(QColor EvenRecColor READ EvenRecColor WRITE SetEvenRecColor)
    Q_PROPERTY(QColor FocusRecColor READ FocusRecColor WRITE SetFocusRecColor)

public:
    explicit TFDBGridColors(QObject* owner = nullptr);

    QColor OddRecColor() const { return odd_; }
    void SetOddRecColor(const QColor& c);
    QColor EvenRecColor() const { return even_; }
    void SetEvenRecColor(const QColor& c);
    QColor FocusRecColor() const { return focus_; }
    void SetFocusRecColor(const QColor& c);

    TNotifyEvent OnChange;
    TNotifyEvent* notifyEvent(std::string_view name) override;

private:
    QColor odd_{251, 255, 236};    // 15532027
    QColor even_{206, 249, 231};   // 15202766
    QColor focus_{183, 220, 242};  // 15916215
};

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

class GridHeader;
class GridDelegate;
class FrozenView;

class TFDBGrid : public QTableView, public TEventSource {
    Q_OBJECT
    Q_PROPERTY(TDataSource* DataSource READ DataSource WRITE SetDataSource)
    Q_PROPERTY(TFDBGridColors* GridColors READ GridColors)
    Q_PROPERTY(TCurrencyStyle* CHNCurrencyFields READ CHNCurrencyFields)
    Q_PROPERTY(bool GrawGridInBlank READ GrawGridInBlank WRITE SetGrawGridInBlank)
    Q_PROPERTY(TDBGridOptions Options READ Options WRITE SetOptions)
    Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE SetReadOnly)
    Q_PROPERTY(QStringList ControlType READ ControlType WRITE SetControlType)
    Q_PROPERTY(int FixedCols READ FixedCols WRITE SetFixedCols)
    Q_PROPERTY(QColor TitleColor READ TitleColor WRITE SetTitleColor)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(TAlignment TitleAlignment READ TitleAlignment WRITE SetTitleAlignment)
    Q_PROPERTY(int DefaultRowHeight READ DefaultRowHeight WRITE SetDefaultRowHeight)
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool Visible READ isVisible WRITE setVisible)
    Q_PROPERTY(QFont Font READ font WRITE setFont)

public:
    enum TDBGridOption {
        dgEditing = 0x1,
        dgTitles = 0x2,
        dgIndicator = 0x4,
        dgColLines = 0x8,
        dgRowLines = 0x10,
        dgTabs = 0x20,
        dgRowSelect = 0x40,
        dgAlwaysShowSelection = 0x80,
    };
    Q_DECLARE_FLAGS(TDBGridOptions, TDBGridOption)
    Q_FLAG(TDBGridOptions)
    enum TAlignment { taLeftJustify, taRightJustify, taCenter };
    Q_ENUM(TAlignment)

    // The state a cell is drawn in.
    enum TGridDrawStateFlag { gdSelected = 0x1, gdFocused = 0x2, gdFixed = 0x4 };
    using TGridDrawState = int;
    // The form's colour handler, run after the grid's own colours.
    using TCalcCellColorsEvent = std::function<void(TFDBGrid* sender, TField* field, TGridDrawState state,
                                                    bool highlight, QFont& font, QColor& fontColor, QColor& brush)>;

    explicit TFDBGrid(QWidget* parent = nullptr);
    ~TFDBGrid() override;

    TDataSource* DataSource() const { return source_; }
    void SetDataSource(TDataSource* source);
    TClientDataSet* DataSet() const;
    TFDBGridColors* GridColors() const { return colors_; }
    TCurrencyStyle* CHNCurrencyFields() const { return currency_; }
    bool GrawGridInBlank() const { return drawBlank_; }
    void SetGrawGridInBlank(bool v);
    TDBGridOptions Options() const { return options_; }
    void SetOptions(TDBGridOptions v);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool v);
    // Control types per field: "FIELD;CheckBox;checked value;unchecked value".
    QStringList ControlType() const { return controlType_; }
    void SetControlType(const QStringList& v);
    // The leftmost data columns stay in place when the grid scrolls sideways.
    int FixedCols() const { return fixedCols_; }
    void SetFixedCols(int v);
    QColor TitleColor() const { return titleColor_; }
    void SetTitleColor(const QColor& c);
    QColor Color() const { return color_; }
    void SetColor(const QColor& c);
    TAlignment TitleAlignment() const { return titleAlignment_; }
    void SetTitleAlignment(TAlignment a);
    int DefaultRowHeight() const;
    void SetDefaultRowHeight(int h);

    // The colour the last record row was drawn in (the blank rows continue from it).
    QColor LastRecordColor() const { return lastRecordColor_; }
    // Whether a field is shown as a check box, and its checked / unchecked values.
    bool IsCheckBoxField(const QString& fieldName, QString* checkedValue = nullptr, QString* uncheckedValue = nullptr) const;
    // Ticks or unticks the check box of the current record (edit, set, post).
    bool ToggleCheckBox(int row, int column);
    // Editing allowed: the dgEditing option and not ReadOnly.
    bool EditingAllowed() const;

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TNotifyEvent OnColEnter;
    TCalcCellColorsEvent OnCalcCellColors;
    TNotifyEvent* notifyEvent(std::string_view name) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void updateGeometries() override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    friend class GridDelegate;
    friend class GridHeader;
    friend class FrozenView;
    void paintCell(QPainter* p, const QRect& rect, const QModelIndex& index);
    void syncCurrent(int row);
    void fitColumns();
    QString titleOf(int column) const;
    void showRefusal(const QString& message);
    void applyOptions();
    bool checkBoxAt(const QModelIndex& index) const;
    void cellClicked(const QModelIndex& index);
    void paintBlank(QTableView* view);
    void repaintCells();
    void updateFrozen();
    void updateFrozenGeometry();
    int frozenWidth() const;

    QPointer<TDataSource> source_;
    TFDBGridColors* colors_;
    TCurrencyStyle* currency_;
    GridDelegate* delegate_;
    GridHeader* titles_;
    GridHeader* indicator_;
    FrozenView* frozen_ = nullptr;
    bool drawBlank_ = true;
    TDBGridOptions options_ = TDBGridOptions(dgTitles | dgIndicator | dgColLines | dgRowLines | dgTabs);
    bool readOnly_ = false;
    QStringList controlType_;
    int fixedCols_ = 0;
    QColor titleColor_;
    QColor color_{255, 255, 255};
    TAlignment titleAlignment_ = taLeftJustify;
    QColor lastRecordColor_;
    QImage checked_;
    QImage unchecked_;
    bool syncing_ = false;
    int pressedRow_ = -1, pressedColumn_ = -1;
};
Q_DECLARE_OPERATORS_FOR_FLAGS(TFDBGrid::TDBGridOptions)
