#pragma once
// TClientDataSet: the in-memory table behind the job forms' grids (candidate documents,
// totals, saved schemes). Typed fields with the usual field attributes, a cursor with
// append / edit / post / cancel, field validation when a value is assigned, calculated
// fields, an ordering by several fields, Locate, and observers for a view model.
//
// Money stays exact: ftBCD and ftCurrency fields keep their values as scaled 64-bit
// integers (Decimal), so running totals add up to the cent however many rows are ticked.

#include "dataset/Decimal.h"
#include "dataset/DisplayFormat.h"
#include "platform/Exception.h"
#include "dataset/Field.h"
#include "dataset/RecordValue.h"
#include "platform/Variant.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert, dsCalcFields };

using TLocateOptions = unsigned;
constexpr TLocateOptions loCaseInsensitive = 1;
constexpr TLocateOptions loPartialKey = 2;

using TDataSetNotifyEvent = std::function<void(TClientDataSet* dataSet)>;
// Whether the record the fields read (the one being filtered) stays in sight.
using TFilterRecordEvent = std::function<bool(TClientDataSet* dataSet)>;

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

    // Order by one or more fields separated by ";" (empty: the order records were added);
    // the index fields named in descending (";" too) run from the greatest value down.
    const std::string& IndexFieldNames() const { return indexNames_; }
    const std::string& IndexDescFields() const { return descNames_; }
    void SetIndexFieldNames(std::string_view names, std::string_view descending = {});

    // While Filtered, the records OnFilterRecord refuses are out of sight: out of the order,
    // RecordCount, navigation, Locate and SetFieldOfEveryRecord, and kept as they are. The
    // handler runs for every record when the filter is set (SetFiltered(true) runs it again,
    // for a handler that asks something else now); records added later stay in sight until
    // then. SetFiltered(false) brings every record back in the current order.
    bool Filtered() const { return filtered_; }
    void SetFiltered(bool value);
    int FilteredOutCount() const { return int(hidden_.size()); }
    TFilterRecordEvent OnFilterRecord;

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
    // A record is a slot of the value blocks: its values lie with the same field's values of
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
    template <class From> RecordPtr placeRecord(From&& from);
    void* recordRoom();

    std::uint32_t newSlot();
    void freeSlot(std::uint32_t slot);
    // Every slot and value block goes (no record holds one any more).
    void forgetSlots();
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
    std::vector<RecordPtr> hidden_;   // records the filter refused, in no order
    bool filtered_ = false;
    mutable std::size_t sortedCount_ = 0;
    mutable int cur_ = -1;
    std::uint64_t nextSeq_ = 1;
    std::vector<int> indexFields_;
    std::vector<bool> indexDesc_;   // per index field
    std::string indexNames_;
    std::string descNames_;
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
