#pragma once
// TField: a typed column of a TClientDataSet with the usual field attributes (size,
// decimals, read-only, required, label, display format and edit mask), its value in the
// current record or any row, conversions to and from text, and validation events.

#include "dataset/Decimal.h"
#include "dataset/RecordValue.h"
#include "platform/Variant.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

enum TFieldType { ftUnknown, ftString, ftInteger, ftFloat, ftCurrency, ftBCD, ftBoolean, ftDate, ftDateTime };
enum TFieldKind { fkData, fkCalculated, fkInternalCalc };

class TClientDataSet;
class TField;

using TFieldNotifyEvent = std::function<void(TField* sender)>;
using TFieldGetTextEvent = std::function<void(TField* sender, std::string& text, bool displayText)>;
using TFieldSetTextEvent = std::function<void(TField* sender, const std::string& text)>;

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
    // A text field too narrow for the text grows to hold it (a list loaded from a database
    // that holds longer texts than the field was made for); answers whether it grew.
    bool WidenFor(std::string_view text);

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
