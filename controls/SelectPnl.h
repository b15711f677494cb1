#pragma once
// TSelectPanel: the condition input of the job forms. A framed control that takes a
// condition as a range (begin and end edits, each with a look-up button), as a list of
// discrete values (a multi-column list filled from look-ups), or lets the user choose
// between the two with a check box. It only holds and tidies what the user entered; the
// job form reads the edit texts and the list rows into condition values.
//
// When the focus leaves the panel (not when it moves between its own children) the exit
// step tidies the range: texts trimmed and begin/end put in order by the value type, then
// the form raises OnExit.

#include "config/DisabledGlyph.h"
#include "controls/BtChkBox.h"
#include "controls/F2Button.h"
#include "controls/GSpdBtn.h"
#include "controls/MaskEdit.h"
#include "controls/QvControl.h"

#include <QGroupBox>
#include <QLabel>
#include <QStringList>
#include <QTreeWidget>

#include <functional>

// The list of a select panel: a report-style list, several columns, several rows
// selected at once, read-only. Column 0 of a row is its caption, the others its sub-items.
class TOrvListView : public TQvControl<QTreeWidget> {
    Q_OBJECT
    Q_PROPERTY(bool ColumnsAutoSize READ ColumnsAutoSize WRITE SetColumnsAutoSize)
    Q_PROPERTY(QStringList Items READ ItemsText WRITE SetItemsText)
    Q_PROPERTY(int Columns READ ColumnCount)
    Q_PROPERTY(QStringList ColumnCaptions READ ColumnCaptions WRITE SetColumnCaptions)
    Q_PROPERTY(bool ShowColumnHeader READ ShowColumnHeader WRITE SetShowColumnHeader)
    Q_PROPERTY(bool HideSelection READ HideSelection WRITE SetHideSelection)
    Q_PROPERTY(TSortType SortType READ SortType WRITE SetSortType)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(QFont Font READ Font WRITE SetFont)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)
    Q_PROPERTY(bool TabStop READ TabStop WRITE SetTabStop)

public:
    enum TSortType { stNone, stText };
    Q_ENUM(TSortType)
    // How duplicate captions are found (the panel's TCheckDuplicate).
    enum DuplicateRule { NoDuplicateCheck, DuplicateExact, DuplicateIgnoringCase };

    explicit TOrvListView(QWidget* parent = nullptr);

    bool ColumnsAutoSize() const { return autoSize_; }
    void SetColumnsAutoSize(bool on);
    // Rows as texts, the columns of a row separated by tabs.
    QStringList ItemsText() const;
    void SetItemsText(const QStringList& rows);
    int ColumnCount() const { return columnCount(); }
    QStringList ColumnCaptions() const;
    // One column per caption, each sized to its content.
    void SetColumnCaptions(const QStringList& captions);
    bool ShowColumnHeader() const { return !isHeaderHidden(); }
    void SetShowColumnHeader(bool on) { setHeaderHidden(!on); }
    bool HideSelection() const { return hideSelection_; }
    void SetHideSelection(bool on);
    TSortType SortType() const { return sortType_; }
    void SetSortType(TSortType type);
    DuplicateRule Duplicates() const { return duplicates_; }
    void SetDuplicates(DuplicateRule rule) { duplicates_ = rule; }

    int ItemCount() const { return topLevelItemCount(); }
    // Caption and sub-items of a row.
    QStringList Row(int index) const;
    QList<QStringList> Rows() const;
    QList<int> SelectedRows() const;
    void DeleteRow(int index);
    void ClearItems();

    // Adds one row: caption values[0], sub-items the rest. Columns are added as needed
    // ("Data" + number), every row is padded to the longest, duplicates removed, and with
    // ColumnsAutoSize every column sized to its longest text. False when it failed.
    bool AddValues(const QStringList& values);
    // Removes a row whose caption equals the caption of the row before it (from the last
    // row to the second). Only neighbours are compared, so it is meant for sorted lists.
    void RemoveDuplicates();
    // Header click: the same column again reverses the order, another sorts ascending.
    void ColumnClick(int column);
    void SortByColumn(int column, bool ascending);
    int SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return ascending_; }
    void AutoSizeColumns();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void sortRows(int column, bool ascending);
    void setRows(const QList<QStringList>& rows);

    bool autoSize_ = true;
    bool hideSelection_ = false;
    TSortType sortType_ = stNone;
    DuplicateRule duplicates_ = NoDuplicateCheck;
    int sortColumn_ = 0;
    bool ascending_ = true;
};

class TSelectPanel : public TQvControl<QGroupBox>, public TGlyphButtonHost {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(TSelectStyle Style READ Style WRITE SetStyle)
    Q_PROPERTY(bool UserChoice READ UserChoice WRITE SetUserChoice)
    Q_PROPERTY(QString HintWord READ HintWord WRITE SetHintWord)
    Q_PROPERTY(QStringList BeginWords READ BeginWords WRITE SetBeginWords)
    Q_PROPERTY(QStringList FinalWords READ FinalWords WRITE SetFinalWords)
    Q_PROPERTY(QStringList ChildHints READ ChildHints WRITE SetChildHints)
    Q_PROPERTY(bool UseVertical READ UseVertical WRITE SetUseVertical)
    Q_PROPERTY(bool CanOpenWin READ CanOpenWin WRITE SetCanOpenWin)
    Q_PROPERTY(int GlyphIndex READ GlyphIndex WRITE SetGlyphIndex)
    Q_PROPERTY(QString EditMask READ EditMask WRITE SetEditMask)
    Q_PROPERTY(TValueType ValueType READ ValueType WRITE SetValueType)
    Q_PROPERTY(TDateType DateType READ DateType WRITE SetDateType)
    Q_PROPERTY(QString DateSign READ DateSign WRITE SetDateSign)
    Q_PROPERTY(bool AutoChangeDateSite READ AutoChangeDateSite WRITE SetAutoChangeDateSite)
    Q_PROPERTY(QString Discard READ Discard WRITE SetDiscard)
    Q_PROPERTY(bool UseDiscard READ UseDiscard WRITE SetUseDiscard)
    Q_PROPERTY(TCheckDuplicate CheckDuplicate READ CheckDuplicate WRITE SetCheckDuplicate)
    Q_PROPERTY(bool SortListBox READ SortListBox WRITE SetSortListBox)
    Q_PROPERTY(int OtherWidth READ OtherWidth WRITE SetOtherWidth)
    Q_PROPERTY(int OtherHeight READ OtherHeight WRITE SetOtherHeight)
    Q_PROPERTY(QStringList Items READ Items WRITE SetItems)
    Q_PROPERTY(int Columns READ Columns)
    Q_PROPERTY(QStringList ColumnCaptions READ ColumnCaptions WRITE SetColumnCaptions)
    Q_PROPERTY(bool ShowColumnHeader READ ShowColumnHeader WRITE SetShowColumnHeader)
    Q_PROPERTY(bool ColumnsAutoSize READ ColumnsAutoSize WRITE SetColumnsAutoSize)
    Q_PROPERTY(bool HideSelection READ HideSelection WRITE SetHideSelection)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(QFont Font READ Font WRITE SetFont)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)

public:
    enum TSelectStyle { sp_Range, sp_Discrete, sp_UserChoice };
    Q_ENUM(TSelectStyle)
    enum TValueType { vt_String, vt_Number, vt_Date, vt_Time, vt_Float, vt_OtherMask };
    Q_ENUM(TValueType)
    enum TDateType { dt_NoneCare, dt_YYYYMMDD, dt_MMDDYYYY, dt_DDMMYYYY, dt_YYMMDD, dt_YYYMMDD };
    Q_ENUM(TDateType)
    enum TCheckDuplicate { cd_None, cd_CheckCase, cd_CaseInsensitive };
    Q_ENUM(TCheckDuplicate)

    using TOpenWinEvent = std::function<void(QObject* senderParent, QObject* sender)>;
    using TDeleteEvent = std::function<void(QObject* sender, bool& accept)>;
    using TStyleChangingEvent =
        std::function<void(QObject* sender, TSelectStyle nowStyle, TSelectStyle& newStyle, bool& accept)>;
    using TStyleChangeEvent = std::function<void(QObject* sender, TSelectStyle oldStyle, TSelectStyle newStyle)>;
    using TItemSelectEvent = std::function<void(QObject* sender, QTreeWidgetItem* item, int index, bool selected)>;
    using TItemChangeEvent = std::function<void(QObject* sender, QTreeWidgetItem* item)>;
    using TItemChangingEvent = std::function<void(QObject* sender, QTreeWidgetItem* item, bool& allow)>;
    using TMouseEvent = std::function<void(QObject* sender, Qt::MouseButton button, TShiftState shift, int x, int y)>;

    explicit TSelectPanel(QWidget* parent = nullptr);

    QString Caption() const { return title(); }
    void SetCaption(const QString& caption);
    TSelectStyle Style() const { return style_; }
    void SetStyle(TSelectStyle style);
    bool UserChoice() const { return userChoice_; }
    void SetUserChoice(bool range);
    QString HintWord() const;
    void SetHintWord(const QString& word);
    QStringList BeginWords() const { return beginWords_; }
    void SetBeginWords(const QStringList& words);
    QStringList FinalWords() const { return finalWords_; }
    void SetFinalWords(const QStringList& words);
    QStringList ChildHints() const { return childHints_; }
    void SetChildHints(const QStringList& hints);
    bool UseVertical() const { return useVertical_; }
    // Only in sp_Range; ignored in the other styles.
    void SetUseVertical(bool on);
    bool CanOpenWin() const { return canOpenWin_; }
    void SetCanOpenWin(bool on);
    int GlyphIndex() const { return glyphIndex_; }
    void SetGlyphIndex(int index);
    QString EditMask() const { return editMask_; }
    void SetEditMask(const QString& mask);
    // The text edBegin shows when cleared under the current mask.
    QString EmptyMaskText() const { return emptyMaskText_; }
    TValueType ValueType() const { return valueType_; }
    void SetValueType(TValueType t) { valueType_ = t; }
    TDateType DateType() const { return dateType_; }
    void SetDateType(TDateType t) { dateType_ = t; }
    QString DateSign() const { return dateSign_; }
    void SetDateSign(const QString& sign) { dateSign_ = sign; }
    bool AutoChangeDateSite() const { return autoChangeDateSite_; }
    void SetAutoChangeDateSite(bool on) { autoChangeDateSite_ = on; }
    QString Discard() const { return discard_; }
    void SetDiscard(const QString& text) { discard_ = text; }
    bool UseDiscard() const { return useDiscard_; }
    void SetUseDiscard(bool on) { useDiscard_ = on; }
    TCheckDuplicate CheckDuplicate() const { return checkDuplicate_; }
    void SetCheckDuplicate(TCheckDuplicate rule);
    bool SortListBox() const { return ListBox->SortType() == TOrvListView::stText; }
    void SetSortListBox(bool on);
    int OtherWidth() const { return otherWidth_; }
    void SetOtherWidth(int w) { otherWidth_ = w; }
    int OtherHeight() const { return otherHeight_; }
    void SetOtherHeight(int h) { otherHeight_ = h; }
    QStringList Items() const { return ListBox->ItemsText(); }
    void SetItems(const QStringList& rows) { ListBox->SetItemsText(rows); }
    int Columns() const { return ListBox->ColumnCount(); }
    QStringList ColumnCaptions() const { return ListBox->ColumnCaptions(); }
    void SetColumnCaptions(const QStringList& c) { ListBox->SetColumnCaptions(c); }
    bool ShowColumnHeader() const { return ListBox->ShowColumnHeader(); }
    void SetShowColumnHeader(bool on) { ListBox->SetShowColumnHeader(on); }
    bool ColumnsAutoSize() const { return ListBox->ColumnsAutoSize(); }
    void SetColumnsAutoSize(bool on) { ListBox->SetColumnsAutoSize(on); }
    bool HideSelection() const { return ListBox->HideSelection(); }
    void SetHideSelection(bool on) { ListBox->SetHideSelection(on); }
    bool Enabled() const { return enabled_; }
    // The panel and every control in it, recursively.
    void SetEnabled(bool on);

    // Range mode: sp_Range, or sp_UserChoice with the check box checked.
    bool IsRangeMode() const;
    bool AddValues(const QStringList& values) { return ListBox->AddValues(values); }
    // Focuses the begin edit in range mode, else the list.
    void SetFocus();
    // While set (a form being built from its stored layout) a style change keeps the size.
    bool Loading() const { return loading_; }
    void SetLoading(bool on) { loading_ = on; }

    // The exit step: trim, then put begin and end in order by the value type. Run when
    // the focus leaves the panel; public so that a form can tidy a panel before reading it.
    void TidyRange();
    // A date text read the way the exit step reads it: an OLE day number, 0 when unreadable.
    double ReadDate(const QString& text) const;

    // The children the framework names.
    TOrvMaskEdit* edBegin;
    TOrvMaskEdit* edFinal;
    TOrvListView* ListBox;
    TOrvCheckBox* TypeCheckBox() const { return typeBox_; }
    QWidget* RangePanel() const { return rangePanel_; }
    QWidget* ListPanel() const { return listPanel_; }
    QLabel* BeginLabel() const { return beginLabel_; }
    QLabel* FinalLabel() const { return finalLabel_; }
    TF2Button* BeginButton() const { return beginButton_; }
    TF2Button* FinalButton() const { return finalButton_; }
    TF2Button* ListButton() const { return listButton_; }
    TGSpeedButton* DeleteButton() const { return deleteButton_; }
    TGSpeedButton* ClearButton() const { return clearButton_; }
    // The list's F2, delete and clear buttons get the form's disabled images.
    QList<TGlyphButton*> DisabledGlyphButtons() override;

    TOpenWinEvent OnOpenWinClick;
    TNotifyEvent OnClearClick;
    TDeleteEvent OnDeleteClick;
    TNotifyEvent OnTypeClick;
    TStyleChangingEvent OnStyleChanging;
    TStyleChangeEvent OnStyleChange;
    TItemSelectEvent OnItemSelect;
    TItemChangeEvent OnItemChange;
    TItemChangingEvent OnItemChanging;
    TNotifyEvent OnDblClick;
    TKeyEvent OnKeyUp;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseEvent OnMouseMove;
    TNotifyEvent* notifyEvent(std::string_view name) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    // Keys reach the panel only when a child left them unhandled; the child's were raised.
    void keyPressEvent(QKeyEvent* event) override { QGroupBox::keyPressEvent(event); }

private:
    void layoutPanel();
    void layoutRange(bool stacked);
    void layoutList();
    void updateVisibility();
    void applyChildHints();
    void updateLabels();
    void openWindow(QWidget* target);
    void deleteSelected();
    void clearAll();
    void typeClicked();
    // The clerk's switch from range to list: what the edits hold goes into the list.
    void carryTypedIntoList();
    QWidget* senderFor(QObject* child);
    void watch(QWidget* child);
    bool isStacked() const;

    TOrvCheckBox* typeBox_;
    QWidget* rangePanel_;
    QLabel* beginLabel_;
    TF2Button* beginButton_;
    QLabel* finalLabel_;
    TF2Button* finalButton_;
    QWidget* listPanel_;
    TF2Button* listButton_;
    TGSpeedButton* deleteButton_;
    TGSpeedButton* clearButton_;

    TSelectStyle style_ = sp_Range;
    bool userChoice_ = true;
    QStringList beginWords_;
    QStringList finalWords_;
    QStringList childHints_;
    bool useVertical_ = false;
    bool canOpenWin_ = true;
    int glyphIndex_ = 8;
    QString editMask_;
    QString emptyMaskText_;
    TValueType valueType_ = vt_String;
    TDateType dateType_ = dt_NoneCare;
    QString dateSign_ = QStringLiteral("/");
    bool autoChangeDateSite_ = true;
    QString discard_;
    bool useDiscard_ = false;
    TCheckDuplicate checkDuplicate_ = cd_None;
    int otherWidth_ = 200;
    int otherHeight_ = 105;
    bool enabled_ = true;
    bool loading_ = false;
    bool laying_ = false;
};
