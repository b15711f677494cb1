#pragma once
// TClientDataSet: the in-memory table behind the job forms' grids (candidate documents,
// totals, saved schemes). Typed fields with the usual field attributes, a cursor with
// append / edit / post / cancel, field validation when a value is assigned, calculated
// fields, an ordering by several fields, Locate, and observers for a view model.
//
// Money stays exact: ftBCD and ftCurrency fields keep their values as scaled 64-bit
// integers (Decimal), so running totals add up to the cent however many rows are ticked.

#include "platform/Decimal.h"
#include "platform/Exception.h"
#include "platform/RecordValue.h"
#include "platform/Variant.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// FormatFloat-style display patterns ("#,##0.00", "#0.000", "0.0#;(0.0#);zero") applied to
// a decimal text exactly, without going through binary floating point.
std::string FormatDecimalText(std::string_view format, const Decimal& value);
std::string FormatFloatText(std::string_view format, double value);
// Date patterns: yyyy, yy, mm, m, dd, d, hh, nn, ss; quoted text and other characters
// are copied.
std::string FormatDateText(std::string_view format, double oleDays);

enum TFieldType { ftUnknown, ftString, ftInteger, ftFloat, ftCurrency, ftBCD, ftBoolean, ftDate, ftDateTime };
enum TFieldKind { fkData, fkCalculated, fkInternalCalc };
enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert, dsCalcFields };

using TLocateOptions = unsigned;
constexpr TLocateOptions loCaseInsensitive = 1;
constexpr TLocateOptions loPartialKey = 2;

class TClientDataSet;
class TField;

using TFieldNotifyEvent = std::function<void(TField* sender)>;
using TFieldGetTextEvent = std::function<void(TField* sender, std::string& text, bool displayText)>;
using TFieldSetTextEvent = std::function<void(TField* sender, const std::string& text)>;
using TDataSetNotifyEvent = std::function<void(TClientDataSet* dataSet)>;

class TField {
public:
    const std::string& FieldName() const { return name_; }
    TFieldType DataType() const { return type_; }
    TFieldKind FieldKind() const { return kind_; }
    int Index() const { return index_; }
    TClientDataSet* DataSet() const { return dataSet_; }
    // Characters for text fields, decimals for ftBCD (ftCurrency always has 4).
    int Size() const { return size_; }
    int Decimals() const;
    bool IsNumeric() const;

    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value) { readOnly_ = value; }
    bool Required() const { return required_; }
    void SetRequired(bool value) { required_ = value; }
    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    // The column title; the field name while none is set.
    std::string DisplayLabel() const { return label_.empty() ? name_ : label_; }
    void SetDisplayLabel(std::string value);
    const std::string& DisplayFormat() const { return displayFormat_; }
    void SetDisplayFormat(std::string value);
    const std::string& EditMask() const { return editMask_; }
    void SetEditMask(std::string value) { editMask_ = std::move(value); }
    // Width in characters a grid gives the column (0: from the size and the label).
    int DisplayWidth() const;
    void SetDisplayWidth(int value) { displayWidth_ = value; }

    // Values of the current record (the edit buffer while editing or inserting).
    bool IsNull() const;
    void Clear();
    FieldValue Data() const;
    std::string AsString() const;
    void SetAsString(std::string_view value);
    std::int32_t AsInteger() const;
    void SetAsInteger(std::int32_t value);
    std::int64_t AsLargeInt() const;
    void SetAsLargeInt(std::int64_t value);
    double AsFloat() const;
    void SetAsFloat(double value);
    Decimal AsDecimal() const;
    void SetAsDecimal(const Decimal& value);
    bool AsBoolean() const;
    void SetAsBoolean(bool value);
    double AsDateTime() const;
    void SetAsDateTime(double oleDays);
    Variant Value() const;
    void SetValue(const Variant& value);

    // Text for display (display format, OnGetText) and for editing (OnGetText / OnSetText).
    std::string DisplayText() const;
    std::string Text() const;
    void SetText(std::string_view text);

    // The same readings for any row of the current order, without moving the cursor.
    std::string DisplayTextAt(int row) const;
    std::string TextAt(int row) const;
    FieldValue DataAt(int row) const;
    Decimal DecimalAt(int row) const;

    // What the field stores for a text (as SetAsString: checked against its type and size)
    // and for a decimal (as SetAsDecimal), for AppendLoaded.
    FieldValue ValueFromText(std::string text) const;
    FieldValue ValueFromDecimal(const Decimal& value) const;

    TFieldNotifyEvent OnValidate;   // a value is being assigned: throw to refuse it
    TFieldNotifyEvent OnChange;     // a value was assigned
    TFieldGetTextEvent OnGetText;
    TFieldSetTextEvent OnSetText;
    // Events by name ("OnValidate", "OnChange"), for code that swaps handlers.
    TFieldNotifyEvent* FieldEvent(std::string_view name);

private:
    friend class TClientDataSet;
    TField(TClientDataSet* dataSet, std::string name, TFieldType type, int size, TFieldKind kind, int index);

    std::string textOf(const FieldValue& v) const;
    std::string displayTextOf(const FieldValue& v) const;
    FieldValue convert(const Variant& v) const;
    FieldValue fromText(std::string_view text) const;
    void assign(FieldValue value);

    TClientDataSet* dataSet_;
    std::string name_;
    TFieldType type_;
    int size_;
    TFieldKind kind_;
    int index_;
    bool readOnly_ = false;
    bool required_ = false;
    bool visible_ = true;
    int displayWidth_ = 0;
    std::string label_;
    std::string displayFormat_;
    std::string editMask_;
};

// What observers hear. Inserted, Removed and Moved come twice, Before the change and after
// it (phase After), so that a view model can announce them; the others only after.
struct DataSetChange {
    enum Kind { Reset, RecordChanged, Inserted, Removed, Moved, CurrentChanged, StateChanged, LayoutChanged, Destroyed };
    enum Phase { Before, After };
    Kind kind = Reset;
    Phase phase = After;
    int row = -1;     // the row concerned (Moved: where it was)
    int toRow = -1;   // Moved: where it is afterwards
};
using DataSetObserver = std::function<void(const DataSetChange& change)>;

class TClientDataSet {
public:
    explicit TClientDataSet(std::string name = {});
    ~TClientDataSet();
    TClientDataSet(const TClientDataSet&) = delete;
    TClientDataSet& operator=(const TClientDataSet&) = delete;

    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }

    // Structure: fields are added while the data set holds no records.
    // A size below 0 takes the type's default (20 characters, 4 decimals).
    TField* AddField(const std::string& name, TFieldType type, int size = -1, TFieldKind kind = fkData);
    int FieldCount() const { return int(fields_.size()); }
    TField* Fields(int index) const;
    TField* FindField(std::string_view name) const;   // without regard to case
    TField* FieldByName(std::string_view name) const; // DataSetError when missing

    // Open keeps the records a closed data set held; CreateDataSet starts empty.
    void CreateDataSet();
    void Open();
    void Close();
    bool Active() const { return state_ != dsInactive; }
    void SetActive(bool value) { value ? Open() : Close(); }
    TDataSetState State() const { return state_; }
    bool Modified() const { return modified_; }

    // Navigation in the current order; RecNo counts from 1 (0 when empty, -1 while
    // inserting a record that is not posted yet).
    void First();
    void Last();
    void Next();
    void Prior();
    int MoveBy(int distance);
    bool Eof() const { return eof_; }
    bool Bof() const { return bof_; }
    int RecNo();
    void SetRecNo(int recNo);
    int RecordCount() const { return int(view_.size()); }
    bool IsEmpty() const { return view_.empty(); }

    // Editing. Moving or appending while a record is edited posts it when modified.
    void Append();
    void Insert();
    void Edit();
    void Post();
    void Cancel();
    void Delete();
    void EmptyDataSet();
    // Posts a modified record, cancels an untouched one (CheckBrowseMode).
    void CheckBrowseMode();

    // Sets one data field of every record to the same value at once, for bulk changes
    // whose consequences the caller works out itself: no record events, no OnValidate or
    // OnChange, observers told once (Reset). Index fields are refused, since the order
    // would change under the caller. changed, when given, hears the row (in the current
    // order) of each record that changes, before its value does. Answers how many
    // records changed.
    int SetFieldOfEveryRecord(TField* field, std::string_view text, const std::function<void(int row)>& changed = {});

    // Appends a record whose stored values come in field order (TField::ValueFromText and
    // ValueFromDecimal make them), as a list is loaded: read-only fields take theirs, no
    // record event, OnValidate or OnChange runs, calculated fields are calculated and the
    // observers hear of it as of a Post. Values of calculated fields are ignored, missing
    // ones are Null. In browse state only.
    void AppendLoaded(const std::vector<FieldValue>& values);

    // Order by one or more fields separated by ";" (empty: the order records were added).
    const std::string& IndexFieldNames() const { return indexNames_; }
    void SetIndexFieldNames(std::string_view names);

    // Moves to the first record (in the current order) whose fields, named by keyFields
    // separated by ";", equal the values (one value, or an array with one per field).
    bool Locate(std::string_view keyFields, const Variant& values, TLocateOptions options = 0);

    // While disabled, observers hear nothing; EnableControls tells them once (Reset).
    void DisableControls() { ++disableCount_; }
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }

    int AddObserver(DataSetObserver observer);
    void RemoveObserver(int id);

    TDataSetNotifyEvent BeforePost, AfterPost, BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, AfterCancel, AfterScroll, AfterOpen, BeforeClose;
    TDataSetNotifyEvent OnNewRecord, OnCalcFields;
    TDataSetNotifyEvent* DataSetEvent(std::string_view name);

private:
    friend class TField;
    // A record is a slot of the columns: its values lie with the same field's values of
    // the other records, so that a walk over one field of every record reads memory in
    // order. A record frees its slot when it goes; a copy (the edit buffer) has its own.
    struct Record {
        explicit Record(TClientDataSet* owner) : owner(owner), slot(owner->newSlot()) {}
        Record(const Record& other);
        Record& operator=(const Record&) = delete;
        ~Record() { owner->freeSlot(slot); }
        TClientDataSet* owner;
        std::uint64_t seq = 0;
        std::uint32_t slot;
    };
    // Records come from blocks of the data set, one after the other as they are made, so
    // that a walk over the list finds them in the order it reads them.
    struct RecordDelete {
        void operator()(Record* record) const;
    };
    using RecordPtr = std::unique_ptr<Record, RecordDelete>;
    RecordPtr makeRecord();
    RecordPtr copyRecord(const Record& record);
    void* recordRoom();

    std::uint32_t newSlot();
    void freeSlot(std::uint32_t slot);
    // Lets every record go (the edit buffer stays).
    void dropRecords();
    RecordValue& cell(const Record& record, int field) { return *cellAt(record.slot, field); }
    const RecordValue& cell(const Record& record, int field) const { return *cellAt(record.slot, field); }
    RecordValue* cellAt(std::uint32_t slot, int field) const
    {
        return &blocks_[slot / kBlockSlots][std::size_t(field) * kBlockSlots + slot % kBlockSlots];
    }

    void checkActive() const;
    void checkBrowse();
    const Record* currentValues() const;  // the record field readings see
    const Record* rowValues(int row) const;
    void setFieldValue(TField* field, FieldValue value);
    void calculate(Record& record);
    bool hasCalcFields() const;
    bool less(const Record& a, const Record& b) const;
    int compareKeys(const Record& a, const Record& b) const;
    void sortAll();
    void ensureSorted() const;
    int sortedPosition(const Record& record) const;
    void renumber();
    void setCurrent(int row, bool notify = true);
    void notify(DataSetChange change);
    void notify(DataSetChange::Kind kind, int row = -1, int toRow = -1, DataSetChange::Phase phase = DataSetChange::After);
    void fire(const TDataSetNotifyEvent& event) { if (event) event(this); }
    void resetCursor();

    std::string name_;
    std::vector<std::unique_ptr<TField>> fields_;
    // The values of the records, in blocks of kBlockSlots slots: in a block, field by
    // field, the slots' values of a field one after the other (a memory page of them).
    // Blocks never move, so a list grows without copying. Declared before the records
    // so that they outlive them.
    static constexpr std::uint32_t kBlockSlots = 256;
    std::vector<std::unique_ptr<RecordValue[]>> blocks_;
    std::uint32_t slots_ = 0;
    std::vector<std::uint32_t> freeSlots_;
    static constexpr std::size_t kBlockRecords = 1024;
    std::vector<std::unique_ptr<unsigned char[]>> recordBlocks_;
    std::size_t recordsMade_ = 0;       // in the last block
    std::vector<void*> freeRecords_;
    bool dropping_ = false;
    // Records in the current order. With an index, a tail appended while observers were
    // not listening may be unsorted until the next access that needs the order.
    mutable std::vector<RecordPtr> view_;
    mutable std::size_t sortedCount_ = 0;
    mutable int cur_ = -1;
    std::uint64_t nextSeq_ = 1;
    std::vector<int> indexFields_;
    std::string indexNames_;
    TDataSetState state_ = dsInactive;
    RecordPtr buffer_;   // the record being edited or inserted
    int insertAt_ = -1;                // unindexed Insert: the row it goes before
    int rowBeforeInsert_ = -1;
    bool modified_ = false;
    bool eof_ = true;
    bool bof_ = true;
    Record* calcTarget_ = nullptr;
    mutable const Record* readOverride_ = nullptr;   // a row read without moving the cursor
    TDataSetState stateBeforeCalc_ = dsInactive;
    const TField* validatingField_ = nullptr;
    const FieldValue* validatingValue_ = nullptr;
    int disableCount_ = 0;
    bool pendingReset_ = false;
    int nextObserverId_ = 1;
    std::vector<std::pair<int, DataSetObserver>> observers_;
};

// Keeps a data set's observers quiet for a scope (DisableControls / EnableControls).
class ControlsDisabledScope {
public:
    explicit ControlsDisabledScope(TClientDataSet& dataSet) : ds_(dataSet) { ds_.DisableControls(); }
    ~ControlsDisabledScope() { ds_.EnableControls(); }
    ControlsDisabledScope(const ControlsDisabledScope&) = delete;
    ControlsDisabledScope& operator=(const ControlsDisabledScope&) = delete;

private:
    TClientDataSet& ds_;
};
