#pragma once
// TFDBGrid: the data grid of the job forms (the write-off job's candidate list). It shows
// a client data set through a TDataSource and adds to a plain data grid:
// - alternating record colours with a colour for the current record (TFDBGridColors);
// - check-box columns drawn with the "CHECKED" / "UNCHECKED" images and ticked by a click,
//   a double click on the row or the space bar while editing is allowed;
// - a click on a title orders the data set by that column, again the other way round, a
//   third time back to the data set's own order (the arrow in the title says which);
// - titles dragged to another place reorder the columns; widths the user set stay over
//   new lists, and ColumnLayout / SetColumnLayout hand them and the order to a form;
// - empty rows drawn in the blank area below the last record;
// - ledger-style money columns (TCurrencyStyle): one digit per column, a red line where
//   the decimal point is, green lines between thousands, "#" when the number does not fit.

#include "config/Events.h"
#include "controls/CurrencyStyle.h"
#include "controls/FDBGridColors.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QPointer>
#include <QStringList>
#include <QTableView>

#include <functional>
#include <string>

class QPainter;
class TClientDataSet;
class TDataSource;
class TField;

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
    // The first check-box column (-1 without one).
    int CheckBoxColumn() const;

    // Orders the data set by a column as a click on its title does: ascending, then
    // descending, then the data set's own order again. Check-box columns order nothing.
    void SortByColumn(int column);
    // The field the grid ordered the data set by (empty: the data set's own order).
    QString SortField() const { return sortField_; }
    bool SortDescending() const { return sortDescending_; }

    // The columns in their order, each "FIELD" or "FIELD=width" when the user set its width.
    QStringList ColumnLayout() const;
    // Takes such a list back: the order and the widths; unknown fields and widths out of
    // reason are passed over.
    void SetColumnLayout(const QStringList& layout);

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
    void titleClicked(int column);
    void columnResized(int column, int size);
    void columnMoved(int logical, int oldVisual, int newVisual);
    void rowDoubleClicked(const QModelIndex& index);
    void dataSetReordered();
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
    bool fitting_ = false;
    QHash<QString, int> userWidths_;   // upper-cased field name -> width the user set
    QString sortField_;
    bool sortDescending_ = false;
    std::string ownIndex_, ownDesc_;   // the data set's order before the grid's
    std::string gridIndex_;            // the order the grid set
};
Q_DECLARE_OPERATORS_FOR_FLAGS(TFDBGrid::TDBGridOptions)
