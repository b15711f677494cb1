#include "dataset/ClientDataSet.h"
#include "platform/AsciiText.h"

#include "platform/OleDate.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <limits>

namespace {

std::vector<std::string> splitNames(std::string_view names)
{
    std::vector<std::string> out;
    while (true) {
        const auto p = names.find(';');
        const std::string_view part = trimBlanks(names.substr(0, p));
        if (!part.empty())
            out.emplace_back(part);
        if (p == std::string_view::npos)
            break;
        names.remove_prefix(p + 1);
    }
    return out;
}

int compareValues(const FieldValue& a, const FieldValue& b)
{
    if (a.index() != b.index())
        return a.index() < b.index() ? -1 : 1;
    return std::visit(
        [&](const auto& x) -> int {
            using T = std::decay_t<decltype(x)>;
            const T& y = std::get<T>(b);
            if constexpr (std::is_same_v<T, std::monostate>) {
                return 0;
            } else if constexpr (std::is_same_v<T, Decimal>) {
                return x.compare(y);
            } else if constexpr (std::is_same_v<T, std::string>) {
                const int c = x.compare(y);
                return c < 0 ? -1 : (c > 0 ? 1 : 0);
            } else {
                return x < y ? -1 : (y < x ? 1 : 0);
            }
        },
        a);
}

} // namespace

TClientDataSet::TClientDataSet(std::string name) : name_(std::move(name)) {}

TClientDataSet::~TClientDataSet()
{
    disableCount_ = 0;
    notify(DataSetChange::Destroyed);
    buffer_.reset();
    dropRecords();
}

TClientDataSet::Record::Record(const Record& other) : owner(other.owner), seq(other.seq), slot(other.owner->newSlot())
{
    for (int f = 0; f < owner->FieldCount(); ++f)
        *owner->cellAt(slot, f) = *owner->cellAt(other.slot, f);
}

std::uint32_t TClientDataSet::newSlot()
{
    if (!freeSlots_.empty()) {
        const std::uint32_t slot = freeSlots_.back();
        freeSlots_.pop_back();
        return slot;
    }
    if (slots_ % kBlockSlots == 0)
        blocks_.push_back(std::make_unique<RecordValue[]>(std::size_t(kBlockSlots) * fields_.size()));
    return slots_++;
}

void TClientDataSet::freeSlot(std::uint32_t slot)
{
    if (dropping_)
        return;
    for (int f = 0; f < FieldCount(); ++f)
        *cellAt(slot, f) = RecordValue();
    // The last record gone: the blocks go too rather than keep the room of a list that
    // was emptied.
    if (freeSlots_.size() + 1 == slots_) {
        forgetSlots();
        return;
    }
    freeSlots_.push_back(slot);
}

void TClientDataSet::forgetSlots()
{
    blocks_.clear();
    freeSlots_.clear();
    freeSlots_.shrink_to_fit();
    slots_ = 0;
}

void* TClientDataSet::recordRoom()
{
    if (!freeRecords_.empty()) {
        void* room = freeRecords_.back();
        freeRecords_.pop_back();
        return room;
    }
    if (recordBlocks_.empty() || recordsMade_ == kBlockRecords) {
        recordBlocks_.push_back(std::make_unique<unsigned char[]>(kBlockRecords * sizeof(Record)));
        recordsMade_ = 0;
    }
    return recordBlocks_.back().get() + sizeof(Record) * recordsMade_++;
}

// A new record (made from its owner) or a copy (made from the record), in a room of the
// record blocks; the room goes back when making it fails.
template <class From>
TClientDataSet::RecordPtr TClientDataSet::placeRecord(From&& from)
{
    void* room = recordRoom();
    try {
        return RecordPtr(new (room) Record(std::forward<From>(from)));
    } catch (...) {
        freeRecords_.push_back(room);
        throw;
    }
}

void TClientDataSet::RecordDelete::operator()(Record* record) const
{
    TClientDataSet* owner = record->owner;
    record->~Record();
    if (!owner->dropping_)
        owner->freeRecords_.push_back(record);
}

void TClientDataSet::dropRecords()
{
    if (buffer_) {
        view_.clear(); // the edit buffer keeps its slot: record by record
        hidden_.clear();
        return;
    }
    // Every slot goes at once, not record by record.
    dropping_ = true;
    view_.clear();
    hidden_.clear();
    dropping_ = false;
    recordBlocks_.clear();
    recordsMade_ = 0;
    freeRecords_.clear();
    freeRecords_.shrink_to_fit();
    forgetSlots();
}

TField* TClientDataSet::AddField(const std::string& name, TFieldType type, int size, TFieldKind kind)
{
    if (!view_.empty() || !hidden_.empty() || buffer_)
        throw DataSetError("Cannot add field '" + name + "' to a data set that holds records");
    if (trimBlanks(name).empty())
        throw DataSetError("A field needs a name");
    if (FindField(name))
        throw DataSetError("Field '" + name + "' already exists");
    if (type == ftUnknown)
        throw DataSetError("Field '" + name + "' has no type");
    if (size < 0)
        size = type == ftString ? 20 : (type == ftBCD ? 4 : 0);
    if (type == ftBCD && size > Decimal::MaxScale)
        throw DataSetError("Field '" + name + "' has too many decimals");
    fields_.push_back(std::unique_ptr<TField>(new TField(this, name, type, size, kind, int(fields_.size()))));
    notify(DataSetChange::LayoutChanged);
    return fields_.back().get();
}

TField* TClientDataSet::Fields(int index) const
{
    if (index < 0 || index >= int(fields_.size()))
        throw DataSetError("Field index out of range");
    return fields_[std::size_t(index)].get();
}

TField* TClientDataSet::FindField(std::string_view name) const
{
    const std::string_view n = trimBlanks(name);
    for (const auto& f : fields_)
        if (SameTextAscii(f->FieldName(), n))
            return f.get();
    return nullptr;
}

TField* TClientDataSet::FieldByName(std::string_view name) const
{
    if (TField* f = FindField(name))
        return f;
    throw DataSetError((name_.empty() ? std::string() : name_ + ": ") + "Field '" + std::string(name) + "' not found");
}

void TClientDataSet::checkActive() const
{
    if (state_ == dsInactive)
        throw DataSetError((name_.empty() ? std::string() : name_ + ": ")
                           + "Cannot perform this operation on a closed dataset");
}

void TClientDataSet::CreateDataSet()
{
    if (fields_.empty())
        throw DataSetError("Cannot create a data set without fields");
    buffer_.reset();
    dropRecords();
    sortedCount_ = 0;
    state_ = dsBrowse;
    modified_ = false;
    resetCursor();
    notify(DataSetChange::Reset);
    fire(AfterOpen);
}

void TClientDataSet::Open()
{
    if (Active())
        return;
    if (fields_.empty())
        throw DataSetError("Cannot open a data set without fields");
    state_ = dsBrowse;
    if (OnCalcFields)
        for (auto& r : view_)
            calculate(*r);
    resetCursor();
    notify(DataSetChange::Reset);
    fire(AfterOpen);
}

void TClientDataSet::Close()
{
    if (!Active())
        return;
    fire(BeforeClose);
    buffer_.reset();
    modified_ = false;
    state_ = dsInactive;
    notify(DataSetChange::Reset);
}

void TClientDataSet::resetCursor()
{
    ensureSorted();
    cur_ = view_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = view_.empty();
}

void TClientDataSet::CheckBrowseMode()
{
    checkActive();
    if (state_ == dsEdit || state_ == dsInsert) {
        if (modified_)
            Post();
        else
            Cancel();
    }
}

void TClientDataSet::checkBrowse()
{
    CheckBrowseMode();
}

void TClientDataSet::setCurrent(int row, bool notifyScroll)
{
    cur_ = row;
    if (notifyScroll) {
        notify(DataSetChange::CurrentChanged, row);
        fire(AfterScroll);
    }
}

void TClientDataSet::First()
{
    checkBrowse();
    ensureSorted();
    bof_ = true;
    eof_ = view_.empty();
    setCurrent(view_.empty() ? -1 : 0);
}

void TClientDataSet::Last()
{
    checkBrowse();
    ensureSorted();
    eof_ = true;
    bof_ = view_.empty();
    setCurrent(int(view_.size()) - 1);
}

void TClientDataSet::Next()
{
    checkBrowse();
    ensureSorted();
    if (cur_ + 1 < int(view_.size())) {
        bof_ = eof_ = false;
        setCurrent(cur_ + 1);
    } else {
        eof_ = true;
    }
}

void TClientDataSet::Prior()
{
    checkBrowse();
    ensureSorted();
    if (cur_ > 0) {
        bof_ = eof_ = false;
        setCurrent(cur_ - 1);
    } else {
        bof_ = true;
    }
}

int TClientDataSet::MoveBy(int distance)
{
    int moved = 0;
    while (distance > 0 && !(cur_ + 1 >= int(view_.size()))) {
        Next();
        ++moved;
        --distance;
    }
    while (distance < 0 && cur_ > 0) {
        Prior();
        --moved;
        ++distance;
    }
    if (distance > 0)
        eof_ = true;
    if (distance < 0)
        bof_ = true;
    return moved;
}

int TClientDataSet::RecNo()
{
    checkActive();
    if (state_ == dsInsert)
        return -1;
    ensureSorted();
    return cur_ + 1;
}

void TClientDataSet::SetRecNo(int recNo)
{
    checkBrowse();
    ensureSorted();
    if (view_.empty())
        return;
    const int row = std::clamp(recNo, 1, int(view_.size())) - 1;
    bof_ = eof_ = false;
    setCurrent(row);
}

void TClientDataSet::Append()
{
    checkActive();
    CheckBrowseMode();
    fire(BeforeInsert);
    buffer_ = placeRecord(this);
    buffer_->seq = nextSeq_++;
    insertAt_ = -1;
    rowBeforeInsert_ = cur_;
    state_ = dsInsert;
    modified_ = false;
    notify(DataSetChange::StateChanged);
    try {
        if (OnNewRecord)
            OnNewRecord(this);
        if (OnCalcFields)
            calculate(*buffer_);
    } catch (...) {
        Cancel();
        throw;
    }
    fire(AfterInsert);
}

void TClientDataSet::Insert()
{
    checkActive();
    CheckBrowseMode();
    const int before = cur_;
    Append();
    // Among records out of sight a place in the middle has no meaning: it goes last.
    if (indexFields_.empty() && hidden_.empty())
        insertAt_ = before < 0 ? -1 : before;
}

void TClientDataSet::Edit()
{
    checkActive();
    if (state_ == dsEdit || state_ == dsInsert)
        return;
    if (view_.empty()) {
        Append();
        return;
    }
    fire(BeforeEdit);
    ensureSorted();
    buffer_ = placeRecord(*view_[std::size_t(cur_)]);
    state_ = dsEdit;
    modified_ = false;
    notify(DataSetChange::StateChanged);
    fire(AfterEdit);
}

void TClientDataSet::Post()
{
    checkActive();
    if (state_ != dsEdit && state_ != dsInsert)
        throw DataSetError("Dataset not in edit or insert mode");
    fire(BeforePost);
    for (const auto& f : fields_)
        if (f->Required() && f->FieldKind() == fkData
            && cell(*buffer_, f->Index()).isNull())
            throw DataSetError("Field '" + f->FieldName() + "' must have a value");
    if (OnCalcFields)
        calculate(*buffer_);

    if (state_ == dsInsert) {
        RecordPtr rec = std::move(buffer_);
        int pos;
        const bool lazy = !indexFields_.empty() && disableCount_ > 0;
        if (!indexFields_.empty()) {
            if (lazy) {
                pos = int(view_.size());
            } else {
                ensureSorted();
                pos = sortedPosition(*rec);
            }
        } else {
            pos = (insertAt_ >= 0 && insertAt_ <= int(view_.size())) ? insertAt_ : int(view_.size());
        }
        notify(DataSetChange::Inserted, pos, -1, DataSetChange::Before);
        view_.insert(view_.begin() + pos, std::move(rec));
        if (!lazy)
            ++sortedCount_;
        if (indexFields_.empty() && pos + 1 != int(view_.size()))
            renumber();
        state_ = dsBrowse;
        modified_ = false;
        insertAt_ = -1;
        cur_ = pos;
        bof_ = eof_ = false;
        notify(DataSetChange::Inserted, pos, -1, DataSetChange::After);
    } else {
        Record& rec = *view_[std::size_t(cur_)];
        const bool keyChanged = !indexFields_.empty() && compareKeys(rec, *buffer_) != 0;
        std::swap(rec.slot, buffer_->slot); // the record takes the edited values, the buffer frees the old
        buffer_.reset();
        state_ = dsBrowse;
        modified_ = false;
        if (keyChanged && disableCount_ > 0) {
            // Sorted again with the rest of the unsorted tail when someone needs the order.
            RecordPtr moving = std::move(view_[std::size_t(cur_)]);
            view_.erase(view_.begin() + cur_);
            if (std::size_t(cur_) < sortedCount_)
                --sortedCount_;
            view_.push_back(std::move(moving));
            cur_ = int(view_.size()) - 1;
            pendingReset_ = true;
        } else if (keyChanged) {
            ensureSorted();
            const int from = cur_;
            // Everything but the moved record is in order: find its place among the others.
            int to;
            const auto lessRec = [this](const RecordPtr& a, const RecordPtr& b) { return less(*a, *b); };
            if (from > 0 && less(rec, *view_[std::size_t(from - 1)]))
                to = int(std::lower_bound(view_.begin(), view_.begin() + from, view_[std::size_t(from)], lessRec) - view_.begin());
            else
                to = from + int(std::lower_bound(view_.begin() + from + 1, view_.end(), view_[std::size_t(from)], lessRec)
                                - (view_.begin() + from + 1));
            if (to != from) {
                notify(DataSetChange::Moved, from, to, DataSetChange::Before);
                RecordPtr moving = std::move(view_[std::size_t(from)]);
                view_.erase(view_.begin() + from);
                view_.insert(view_.begin() + to, std::move(moving));
                cur_ = to;
                notify(DataSetChange::Moved, from, to, DataSetChange::After);
            } else {
                notify(DataSetChange::RecordChanged, cur_);
            }
        } else {
            notify(DataSetChange::RecordChanged, cur_);
        }
    }
    notify(DataSetChange::StateChanged);
    notify(DataSetChange::CurrentChanged, cur_);
    fire(AfterPost);
}

void TClientDataSet::Cancel()
{
    checkActive();
    if (state_ == dsInsert) {
        buffer_.reset();
        state_ = dsBrowse;
        modified_ = false;
        insertAt_ = -1;
        cur_ = (rowBeforeInsert_ >= 0 && rowBeforeInsert_ < int(view_.size())) ? rowBeforeInsert_
                                                                                : (view_.empty() ? -1 : 0);
        notify(DataSetChange::StateChanged);
        notify(DataSetChange::CurrentChanged, cur_);
        fire(AfterCancel);
    } else if (state_ == dsEdit) {
        buffer_.reset();
        state_ = dsBrowse;
        modified_ = false;
        notify(DataSetChange::RecordChanged, cur_);
        notify(DataSetChange::StateChanged);
        fire(AfterCancel);
    }
}

void TClientDataSet::Delete()
{
    checkActive();
    if (state_ == dsInsert) {
        Cancel();
        return;
    }
    if (state_ == dsEdit)
        Cancel();
    if (view_.empty())
        throw DataSetError("Cannot perform this operation on an empty dataset");
    fire(BeforeDelete);
    ensureSorted();
    const int row = cur_;
    notify(DataSetChange::Removed, row, -1, DataSetChange::Before);
    view_.erase(view_.begin() + row);
    if (std::size_t(row) < sortedCount_)
        --sortedCount_;
    cur_ = view_.empty() ? -1 : std::min(row, int(view_.size()) - 1);
    eof_ = view_.empty();
    bof_ = view_.empty();
    notify(DataSetChange::Removed, row, -1, DataSetChange::After);
    notify(DataSetChange::CurrentChanged, cur_);
    fire(AfterDelete);
}

void TClientDataSet::EmptyDataSet()
{
    checkActive();
    if (state_ == dsEdit || state_ == dsInsert)
        Cancel();
    dropRecords();
    sortedCount_ = 0;
    cur_ = -1;
    bof_ = eof_ = true;
    notify(DataSetChange::Reset);
}

void TClientDataSet::AppendLoaded(const std::vector<FieldValue>& values)
{
    checkActive();
    if (state_ != dsBrowse)
        throw DataSetError((name_.empty() ? std::string() : name_ + ": ") + "A record is loaded in browse state only");
    for (const auto& f : fields_) {
        const std::size_t at = std::size_t(f->Index());
        if (f->FieldKind() != fkCalculated && f->Required() && (at >= values.size() || std::holds_alternative<std::monostate>(values[at])))
            throw DataSetError("Field '" + f->FieldName() + "' must have a value");
    }
    RecordPtr rec = placeRecord(this);
    for (const auto& f : fields_) {
        const std::size_t at = std::size_t(f->Index());
        if (f->FieldKind() != fkCalculated && at < values.size())
            cell(*rec, f->Index()) = values[at];
    }
    rec->seq = nextSeq_++;
    if (OnCalcFields)
        calculate(*rec);
    // As Post puts an appended record: at the end, sorted now or, while nobody listens,
    // with the rest of the unsorted tail when the order is needed.
    const bool lazy = !indexFields_.empty() && disableCount_ > 0;
    int pos = int(view_.size());
    if (!indexFields_.empty() && !lazy) {
        ensureSorted();
        pos = sortedPosition(*rec);
    }
    notify(DataSetChange::Inserted, pos, -1, DataSetChange::Before);
    view_.insert(view_.begin() + pos, std::move(rec));
    if (!lazy)
        ++sortedCount_;
    cur_ = pos;
    bof_ = eof_ = false;
    notify(DataSetChange::Inserted, pos, -1, DataSetChange::After);
}

int TClientDataSet::SetFieldOfEveryRecord(TField* field, std::string_view text, const std::function<void(int row)>& changed)
{
    checkActive();
    if (!field || field->DataSet() != this)
        throw DataSetError("The field is not one of " + (name_.empty() ? std::string("this dataset") : name_));
    if (field->ReadOnly() || field->FieldKind() != fkData)
        throw DataSetError("Field '" + field->FieldName() + "' cannot be modified");
    if (std::find(indexFields_.begin(), indexFields_.end(), field->Index()) != indexFields_.end())
        throw DataSetError("Field '" + field->FieldName() + "' orders the records and cannot be set for all at once");
    CheckBrowseMode();
    const RecordValue value(field->fromText(text));
    const int at = field->Index();
    ensureSorted();
    int count = 0;
    const std::size_t n = view_.size();
    for (std::size_t row = 0; row < n; ++row) {
        // The records themselves lie apart from their values: those ahead are asked for
        // while this one is worked on.
        if (row + 16 < n)
            __builtin_prefetch(view_[row + 16].get());
        Record& rec = *view_[row];
        if (cell(rec, at) == value)
            continue;
        if (changed)
            changed(int(row));
        cell(rec, at) = value;
        calculate(rec);
        ++count;
    }
    if (count > 0)
        notify(DataSetChange::Reset);
    return count;
}

void TClientDataSet::SetIndexFieldNames(std::string_view names, std::string_view descending)
{
    std::vector<int> fields;
    for (const auto& n : splitNames(names)) {
        const TField* f = FieldByName(n);
        if (f->FieldKind() == fkCalculated)
            throw DataSetError("Calculated field '" + f->FieldName() + "' cannot be an index field");
        fields.push_back(f->Index());
    }
    std::vector<bool> desc(fields.size(), false);
    for (const auto& n : splitNames(descending)) {
        const auto at = std::find(fields.begin(), fields.end(), FieldByName(n)->Index());
        if (at == fields.end())
            throw DataSetError("Field '" + n + "' is not an index field and cannot run descending");
        desc[std::size_t(at - fields.begin())] = true;
    }
    if (Active())
        CheckBrowseMode();
    indexFields_ = std::move(fields);
    indexDesc_ = std::move(desc);
    indexNames_ = std::string(names);
    descNames_ = std::string(descending);
    sortAll();
    notify(DataSetChange::Reset);
}

void TClientDataSet::SetFiltered(bool value)
{
    if (Active())
        CheckBrowseMode();
    ensureSorted();
    // The handler is asked first, before any record moves: a handler that throws leaves
    // the data set as it was.
    std::vector<char> keep;
    const bool apply = value && OnFilterRecord && Active();
    if (apply) {
        struct Reading {
            const Record*& at;
            ~Reading() { at = nullptr; }
        } reading{readOverride_};
        for (const auto* list : {&view_, &hidden_})
            for (const auto& r : *list) {
                readOverride_ = r.get();
                keep.push_back(OnFilterRecord(this) ? 1 : 0);
            }
    }
    const Record* current = (cur_ >= 0 && cur_ < int(view_.size())) ? view_[std::size_t(cur_)].get() : nullptr;
    const bool hadHidden = !hidden_.empty();
    std::vector<RecordPtr> all = std::move(view_);
    all.insert(all.end(), std::make_move_iterator(hidden_.begin()), std::make_move_iterator(hidden_.end()));
    view_.clear();
    hidden_.clear();
    for (std::size_t i = 0; i < all.size(); ++i)
        (!apply || keep[i] ? view_ : hidden_).push_back(std::move(all[i]));
    // Records coming back take their places in the order again.
    if (hadHidden) {
        const auto lessRec = [this](const RecordPtr& a, const RecordPtr& b) { return less(*a, *b); };
        std::sort(view_.begin(), view_.end(), lessRec);
    }
    sortedCount_ = view_.size();
    filtered_ = value;
    cur_ = view_.empty() ? -1 : 0;
    for (std::size_t i = 0; current && i < view_.size(); ++i)
        if (view_[i].get() == current)
            cur_ = int(i);
    bof_ = eof_ = view_.empty();
    notify(DataSetChange::Reset);
}

bool TClientDataSet::Locate(std::string_view keyFields, const Variant& values, TLocateOptions options)
{
    checkActive();
    CheckBrowseMode();
    std::vector<TField*> fields;
    for (const auto& n : splitNames(keyFields))
        fields.push_back(FieldByName(n));
    if (fields.empty())
        throw DataSetError("Locate needs at least one field");
    std::vector<Variant> keys;
    if (fields.size() == 1 && !(values.isArray() && values.count() == 1)) {
        keys.push_back(values);
    } else {
        if (!values.isArray() || values.count() != int(fields.size()))
            throw DataSetError("Locate needs one value for each of its " + std::to_string(fields.size()) + " fields");
        keys = values.elements();
    }
    // Keys turned once into what the fields hold; a key a field cannot hold matches nothing.
    struct Key {
        bool asText;
        std::string text;
        FieldValue value;
        bool impossible = false;
    };
    std::vector<Key> prepared;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        Key k;
        const TField* f = fields[i];
        k.asText = f->DataType() == ftString || (options & (loCaseInsensitive | loPartialKey)) != 0;
        if (keys[i].isEmptyOrNull()) {
            k.asText = false;
        } else if (k.asText) {
            k.text = VarToStr(keys[i]);
            if (options & loCaseInsensitive)
                k.text = upperAscii(k.text);
        } else {
            try {
                k.value = f->convert(keys[i]);
            } catch (const std::exception&) {
                k.impossible = true;
            }
        }
        prepared.push_back(std::move(k));
    }
    ensureSorted();
    for (int row = 0; row < int(view_.size()); ++row) {
        const Record& r = *view_[std::size_t(row)];
        bool match = true;
        for (std::size_t i = 0; i < fields.size() && match; ++i) {
            const Key& k = prepared[i];
            const FieldValue v = cell(r, fields[i]->Index()).get();
            if (k.impossible) {
                match = false;
            } else if (!k.asText) {
                match = compareValues(v, k.value) == 0;
            } else {
                if (std::holds_alternative<std::monostate>(v)) {
                    match = false;
                    continue;
                }
                std::string t = fields[i]->textOf(v);
                if (options & loCaseInsensitive)
                    t = upperAscii(t);
                match = (options & loPartialKey) ? t.compare(0, k.text.size(), k.text) == 0 : t == k.text;
            }
        }
        if (match) {
            bof_ = eof_ = false;
            setCurrent(row);
            return true;
        }
    }
    return false;
}

void TClientDataSet::EnableControls()
{
    if (disableCount_ > 0)
        --disableCount_;
    if (disableCount_ == 0 && pendingReset_) {
        pendingReset_ = false;
        ensureSorted();
        notify(DataSetChange::Reset);
    }
}

int TClientDataSet::AddObserver(DataSetObserver observer)
{
    const int id = nextObserverId_++;
    observers_.emplace_back(id, std::move(observer));
    return id;
}

void TClientDataSet::RemoveObserver(int id)
{
    std::erase_if(observers_, [id](const auto& o) { return o.first == id; });
}

void TClientDataSet::notify(DataSetChange change)
{
    if (disableCount_ > 0 && change.kind != DataSetChange::Destroyed) {
        pendingReset_ = true;
        return;
    }
    // Observers may add or remove observers while they are told.
    const auto observers = observers_;
    for (const auto& o : observers)
        o.second(change);
}

void TClientDataSet::notify(DataSetChange::Kind kind, int row, int toRow, DataSetChange::Phase phase)
{
    DataSetChange c;
    c.kind = kind;
    c.row = row;
    c.toRow = toRow;
    c.phase = phase;
    notify(c);
}

TDataSetNotifyEvent* TClientDataSet::DataSetEvent(std::string_view name)
{
    const std::pair<const char*, TDataSetNotifyEvent*> table[] = {
        {"BeforePost", &BeforePost},     {"AfterPost", &AfterPost},       {"BeforeInsert", &BeforeInsert},
        {"AfterInsert", &AfterInsert},   {"BeforeEdit", &BeforeEdit},     {"AfterEdit", &AfterEdit},
        {"BeforeDelete", &BeforeDelete}, {"AfterDelete", &AfterDelete},   {"AfterCancel", &AfterCancel},
        {"AfterScroll", &AfterScroll},   {"AfterOpen", &AfterOpen},       {"BeforeClose", &BeforeClose},
        {"OnNewRecord", &OnNewRecord},   {"OnCalcFields", &OnCalcFields},
    };
    for (const auto& [n, e] : table)
        if (SameTextAscii(name, n))
            return e;
    return nullptr;
}

const TClientDataSet::Record* TClientDataSet::currentValues() const
{
    checkActive();
    if (readOverride_)
        return readOverride_;
    if (state_ == dsCalcFields)
        return calcTarget_;
    if ((state_ == dsEdit || state_ == dsInsert) && buffer_)
        return buffer_.get();
    if (cur_ >= 0 && cur_ < int(view_.size()))
        return view_[std::size_t(cur_)].get();
    return nullptr;
}

const TClientDataSet::Record* TClientDataSet::rowValues(int row) const
{
    if (state_ == dsInactive)
        return nullptr;
    ensureSorted();
    if (row < 0 || row >= int(view_.size()))
        return nullptr;
    if (row == cur_ && state_ == dsEdit && buffer_)
        return buffer_.get();
    return view_[std::size_t(row)].get();
}

void TClientDataSet::setFieldValue(TField* field, FieldValue value)
{
    checkActive();
    if (state_ == dsCalcFields) {
        if (field->FieldKind() == fkData)
            throw DataSetError("Field '" + field->FieldName() + "' cannot be modified while fields are calculated");
        cell(*calcTarget_, field->Index()) = value;
        return;
    }
    if (state_ != dsEdit && state_ != dsInsert)
        throw DataSetError((name_.empty() ? std::string() : name_ + ": ") + "Dataset not in edit or insert mode");
    if (field->ReadOnly() || field->FieldKind() == fkCalculated)
        throw DataSetError("Field '" + field->FieldName() + "' cannot be modified");
    if (field->OnValidate) {
        // While the handler runs the field reads as the new value; a throw refuses it.
        const TField* savedField = validatingField_;
        const FieldValue* savedValue = validatingValue_;
        validatingField_ = field;
        validatingValue_ = &value;
        try {
            field->OnValidate(field);
        } catch (...) {
            validatingField_ = savedField;
            validatingValue_ = savedValue;
            throw;
        }
        validatingField_ = savedField;
        validatingValue_ = savedValue;
        if (state_ != dsEdit && state_ != dsInsert)
            throw DataSetError("Field '" + field->FieldName() + "': the record was left while its value was validated");
    }
    cell(*buffer_, field->Index()) = value;
    modified_ = true;
    if (field->OnChange)
        field->OnChange(field);
    if (OnCalcFields && field->FieldKind() == fkData && buffer_)
        calculate(*buffer_);
    if (state_ == dsEdit)
        notify(DataSetChange::RecordChanged, cur_);
}

void TClientDataSet::calculate(Record& record)
{
    if (!OnCalcFields)
        return;
    for (const auto& f : fields_)
        if (f->FieldKind() == fkCalculated)
            cell(record, f->Index()) = RecordValue();
    const TDataSetState savedState = state_;
    Record* savedTarget = calcTarget_;
    state_ = dsCalcFields;
    calcTarget_ = &record;
    try {
        OnCalcFields(this);
    } catch (...) {
        state_ = savedState;
        calcTarget_ = savedTarget;
        throw;
    }
    state_ = savedState;
    calcTarget_ = savedTarget;
}

bool TClientDataSet::hasCalcFields() const
{
    return std::any_of(fields_.begin(), fields_.end(), [](const auto& f) { return f->FieldKind() == fkCalculated; });
}

int TClientDataSet::compareKeys(const Record& a, const Record& b) const
{
    for (std::size_t i = 0; i < indexFields_.size(); ++i) {
        const int c = cell(a, indexFields_[i]).compare(cell(b, indexFields_[i]));
        if (c != 0)
            return indexDesc_[i] ? -c : c;
    }
    return 0;
}

bool TClientDataSet::less(const Record& a, const Record& b) const
{
    const int c = compareKeys(a, b);
    return c != 0 ? c < 0 : a.seq < b.seq;
}

void TClientDataSet::sortAll()
{
    const Record* current = (cur_ >= 0 && cur_ < int(view_.size())) ? view_[std::size_t(cur_)].get() : nullptr;
    const auto lessRec = [this](const RecordPtr& a, const RecordPtr& b) { return less(*a, *b); };
    if (!std::is_sorted(view_.begin(), view_.end(), lessRec))
        std::sort(view_.begin(), view_.end(), lessRec);
    sortedCount_ = view_.size();
    if (current)
        for (std::size_t i = 0; i < view_.size(); ++i)
            if (view_[i].get() == current)
                cur_ = int(i);
}

void TClientDataSet::ensureSorted() const
{
    if (sortedCount_ >= view_.size())
        return;
    if (indexFields_.empty()) {
        sortedCount_ = view_.size();
        return;
    }
    const Record* current = (cur_ >= 0 && cur_ < int(view_.size())) ? view_[std::size_t(cur_)].get() : nullptr;
    const auto lessRec = [this](const RecordPtr& a, const RecordPtr& b) { return less(*a, *b); };
    const auto mid = view_.begin() + std::ptrdiff_t(sortedCount_);
    // A list often comes in the index's order already (its query sorts the same way):
    // looking costs one comparison a record, sorting about seventeen.
    if (!std::is_sorted(mid, view_.end(), lessRec))
        std::sort(mid, view_.end(), lessRec);
    if (mid != view_.begin() && lessRec(*mid, *(mid - 1)))
        std::inplace_merge(view_.begin(), mid, view_.end(), lessRec);
    sortedCount_ = view_.size();
    if (current)
        for (std::size_t i = 0; i < view_.size(); ++i)
            if (view_[i].get() == current)
                cur_ = int(i);
}

int TClientDataSet::sortedPosition(const Record& record) const
{
    const auto it = std::upper_bound(view_.begin(), view_.end(), &record,
                                     [this](const Record* r, const RecordPtr& b) { return less(*r, *b); });
    return int(it - view_.begin());
}

void TClientDataSet::renumber()
{
    std::uint64_t seq = 1;
    for (auto& r : view_)
        r->seq = seq++;
    nextSeq_ = seq;
}
