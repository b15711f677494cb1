#include "dataset/Field.h"

#include "platform/AsciiText.h"
#include "dataset/ClientDataSet.h"
#include "dataset/DisplayFormat.h"
#include "platform/OleDate.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

std::size_t codePoints(std::string_view s)
{
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

bool parseInt64(std::string_view s, std::int64_t& out)
{
    s = trimSpaces(s);
    if (!s.empty() && s[0] == '+')
        s.remove_prefix(1);
    if (s.empty())
        return false;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool parseFloat(std::string_view s, double& out)
{
    s = trimSpaces(s);
    if (s.empty())
        return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return false;
    const std::string text(s);
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(out);
}

// "yyyy/mm/dd", "yyyy-mm-dd", "yyyy.mm.dd" or "yyyymmdd", with an optional " hh:nn[:ss]".
bool parseDateText(std::string_view s, bool withTime, double& out)
{
    s = trimSpaces(s);
    std::string_view timePart;
    if (const auto sp = s.find(' '); sp != std::string_view::npos) {
        if (!withTime)
            return false;
        timePart = trimSpaces(s.substr(sp + 1));
        s = s.substr(0, sp);
    }
    int y = 0, m = 0, d = 0;
    auto num = [](std::string_view t, int& v) {
        if (t.empty() || t.size() > 4)
            return false;
        const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
        return r.ec == std::errc() && r.ptr == t.data() + t.size();
    };
    const auto sep = s.find_first_of("/-.");
    if (sep == std::string_view::npos) {
        if (s.size() != 8 || !num(s.substr(0, 4), y) || !num(s.substr(4, 2), m) || !num(s.substr(6, 2), d))
            return false;
    } else {
        const char c = s[sep];
        const auto sep2 = s.find(c, sep + 1);
        if (sep2 == std::string_view::npos || !num(s.substr(0, sep), y)
            || !num(s.substr(sep + 1, sep2 - sep - 1), m) || !num(s.substr(sep2 + 1), d))
            return false;
    }
    if (!TryEncodeDate(y, m, d, out))
        return false;
    if (!timePart.empty()) {
        int hh = 0, nn = 0, ss = 0;
        const auto c1 = timePart.find(':');
        if (c1 == std::string_view::npos || !num(timePart.substr(0, c1), hh))
            return false;
        auto rest = timePart.substr(c1 + 1);
        const auto c2 = rest.find(':');
        if (!num(rest.substr(0, c2), nn))
            return false;
        if (c2 != std::string_view::npos && !num(rest.substr(c2 + 1), ss))
            return false;
        if (hh > 23 || nn > 59 || ss > 59)
            return false;
        out += EncodeTime(hh, nn, ss);
    }
    return true;
}

} // namespace


TField::TField(TClientDataSet* dataSet, std::string name, TFieldType type, int size, TFieldKind kind, int index)
    : dataSet_(dataSet), name_(std::move(name)), type_(type), size_(size), kind_(kind), index_(index)
{
}

int TField::Decimals() const
{
    switch (type_) {
    case ftBCD:
        return size_;
    case ftCurrency:
        return 4;
    default:
        return 0;
    }
}

bool TField::IsNumeric() const
{
    return type_ == ftInteger || type_ == ftFloat || type_ == ftCurrency || type_ == ftBCD;
}

void TField::SetVisible(bool value)
{
    if (visible_ == value)
        return;
    visible_ = value;
    dataSet_->notify(DataSetChange::LayoutChanged);
}

void TField::SetDisplayLabel(std::string value)
{
    label_ = std::move(value);
    dataSet_->notify(DataSetChange::LayoutChanged);
}

void TField::SetDisplayFormat(std::string value)
{
    displayFormat_ = std::move(value);
    dataSet_->notify(DataSetChange::LayoutChanged);
}

int TField::DisplayWidth() const
{
    if (displayWidth_ > 0)
        return displayWidth_;
    const std::string label = DisplayLabel();
    int labelWidth = 0;
    for (unsigned char c : label)
        if ((c & 0xC0) != 0x80)
            labelWidth += c >= 0x80 ? 2 : 1;
    int width = 10;
    if (type_ == ftString)
        width = size_;
    else if (type_ == ftBoolean)
        width = 5;
    return std::max(width, labelWidth);
}

FieldValue TField::Data() const
{
    if (dataSet_->validatingField_ == this)
        return *dataSet_->validatingValue_;
    const auto* rec = dataSet_->currentValues();
    return rec ? dataSet_->cell(*rec, index_).get() : FieldValue();
}

bool TField::IsNull() const
{
    return std::holds_alternative<std::monostate>(Data());
}

void TField::Clear()
{
    assign(FieldValue());
}

std::string TField::textOf(const FieldValue& v) const
{
    if (const auto* s = std::get_if<std::string>(&v))
        return *s;
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&v)) {
        if (type_ == ftDate)
            return FormatDateText("yyyy/mm/dd", *d);
        if (type_ == ftDateTime)
            return FormatDateText(*d - std::floor(*d) == 0 ? "yyyy/mm/dd" : "yyyy/mm/dd hh:nn:ss", *d);
        return Variant(*d).toString();
    }
    if (const auto* m = std::get_if<Decimal>(&v))
        return m->toString();
    if (const auto* b = std::get_if<bool>(&v))
        return *b ? "True" : "False";
    return {};
}

std::string TField::displayTextOf(const FieldValue& v) const
{
    if (displayFormat_.empty() || std::holds_alternative<std::monostate>(v))
        return textOf(v);
    if (const auto* m = std::get_if<Decimal>(&v))
        return FormatDecimalText(displayFormat_, *m);
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return FormatDecimalText(displayFormat_, Decimal::fromInt(*i));
    if (const auto* d = std::get_if<double>(&v))
        return (type_ == ftDate || type_ == ftDateTime) ? FormatDateText(displayFormat_, *d)
                                                        : FormatFloatText(displayFormat_, *d);
    return textOf(v);
}

FieldValue TField::fromText(std::string_view text) const
{
    const std::string_view t = trimSpaces(text);
    auto bad = [&](const char* what) {
        return DataSetError("'" + std::string(text) + "' is not a valid " + what + " for field '" + name_ + "'");
    };
    switch (type_) {
    case ftString:
        if (size_ > 0 && codePoints(text) > std::size_t(size_))
            throw DataSetError("Value too long for field '" + name_ + "' (at most " + std::to_string(size_)
                               + " characters)");
        return std::string(text);
    case ftInteger: {
        if (t.empty())
            return {};
        std::int64_t v = 0;
        if (!parseInt64(t, v) || v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
            throw bad("integer value");
        return v;
    }
    case ftFloat: {
        if (t.empty())
            return {};
        double v = 0;
        if (!parseFloat(t, v))
            throw bad("floating point value");
        return v;
    }
    case ftCurrency:
    case ftBCD: {
        if (t.empty())
            return {};
        Decimal d;
        if (!Decimal::tryParse(t, d))
            throw bad("decimal value");
        return d.rescaled(Decimals());
    }
    case ftBoolean: {
        if (t.empty())
            return {};
        const std::string u = upperAscii(t);
        if (u == "TRUE" || u == "T" || u == "Y" || u == "YES" || u == "1")
            return true;
        if (u == "FALSE" || u == "F" || u == "N" || u == "NO" || u == "0")
            return false;
        throw bad("Boolean value");
    }
    case ftDate:
    case ftDateTime: {
        if (t.empty())
            return {};
        double d = 0;
        if (!parseDateText(t, type_ == ftDateTime, d))
            throw bad("date");
        return d;
    }
    default:
        throw DataSetError("Field '" + name_ + "' has no type");
    }
}

FieldValue TField::convert(const Variant& v) const
{
    if (v.isEmptyOrNull())
        return {};
    if (v.isString() || type_ == ftString)
        return fromText(VarToStr(v));
    try {
        switch (type_) {
        case ftInteger: {
            const std::int64_t i = v.toInt64();
            if (i < std::numeric_limits<std::int32_t>::min() || i > std::numeric_limits<std::int32_t>::max())
                throw DataSetError("Value out of range for field '" + name_ + "'");
            return i;
        }
        case ftFloat:
            return v.toDouble();
        case ftCurrency:
        case ftBCD:
            if (v.type() == VarType::Int || v.type() == VarType::Int64 || v.type() == VarType::Bool)
                return Decimal::fromInt(v.toInt64()).rescaled(Decimals());
            return Decimal::fromDouble(v.toDouble()).rescaled(Decimals());
        case ftBoolean:
            return v.toBool();
        case ftDate:
            return std::floor(v.toDate());
        case ftDateTime:
            return v.toDate();
        default:
            break;
        }
    } catch (const VariantError& e) {
        throw DataSetError(std::string(e.what()) + " for field '" + name_ + "'");
    }
    throw DataSetError("Field '" + name_ + "' has no type");
}

void TField::assign(FieldValue value)
{
    dataSet_->setFieldValue(this, std::move(value));
}

std::string TField::AsString() const
{
    return textOf(Data());
}

void TField::SetAsString(std::string_view value)
{
    assign(fromText(value));
}

std::int32_t TField::AsInteger() const
{
    const std::int64_t v = AsLargeInt();
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
        throw DataSetError("Value of field '" + name_ + "' is out of the integer range");
    return std::int32_t(v);
}

void TField::SetAsInteger(std::int32_t value)
{
    SetAsLargeInt(value);
}

std::int64_t TField::AsLargeInt() const
{
    const FieldValue v = Data();
    if (std::holds_alternative<std::monostate>(v))
        return 0;
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return *i;
    if (const auto* d = std::get_if<double>(&v))
        return std::int64_t(std::llround(*d));
    if (const auto* m = std::get_if<Decimal>(&v))
        return m->rescaled(0).units();
    if (const auto* b = std::get_if<bool>(&v))
        return *b ? 1 : 0;
    std::int64_t i = 0;
    if (!parseInt64(std::get<std::string>(v), i))
        throw DataSetError("'" + std::get<std::string>(v) + "' is not a valid integer value");
    return i;
}

void TField::SetAsLargeInt(std::int64_t value)
{
    assign(convert(Variant(value)));
}

double TField::AsFloat() const
{
    const FieldValue v = Data();
    if (std::holds_alternative<std::monostate>(v))
        return 0;
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return double(*i);
    if (const auto* d = std::get_if<double>(&v))
        return *d;
    if (const auto* m = std::get_if<Decimal>(&v))
        return m->toDouble();
    if (const auto* b = std::get_if<bool>(&v))
        return *b ? 1 : 0;
    double d = 0;
    if (!parseFloat(std::get<std::string>(v), d))
        throw DataSetError("'" + std::get<std::string>(v) + "' is not a valid floating point value");
    return d;
}

void TField::SetAsFloat(double value)
{
    assign(convert(Variant(value)));
}

namespace {

Decimal decimalOf(const FieldValue& v)
{
    if (std::holds_alternative<std::monostate>(v))
        return Decimal();
    if (const auto* m = std::get_if<Decimal>(&v))
        return *m;
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return Decimal::fromInt(*i);
    if (const auto* d = std::get_if<double>(&v))
        return Decimal::fromDouble(*d);
    if (const auto* b = std::get_if<bool>(&v))
        return Decimal::fromInt(*b ? 1 : 0);
    return Decimal::parse(std::get<std::string>(v));
}

Decimal decimalOf(const RecordValue& v)
{
    Decimal d;
    return v.decimal(d) ? d : decimalOf(v.get());
}

} // namespace

Decimal TField::AsDecimal() const
{
    return decimalOf(Data());
}

Decimal TField::DecimalAt(int row) const
{
    const auto* rec = dataSet_->rowValues(row);
    return rec ? decimalOf(dataSet_->cell(*rec, index_)) : Decimal();
}

FieldValue TField::ValueFromText(std::string text) const
{
    if (type_ == ftString && (size_ <= 0 || text.size() <= std::size_t(size_) || codePoints(text) <= std::size_t(size_)))
        return text;
    return fromText(text);
}

bool TField::WidenFor(std::string_view text)
{
    if (type_ != ftString || size_ <= 0 || text.size() <= std::size_t(size_))
        return false;
    const std::size_t n = codePoints(text);
    if (n <= std::size_t(size_))
        return false;
    size_ = int(std::min<std::size_t>(n, std::size_t(std::numeric_limits<int>::max())));
    return true;
}

FieldValue TField::ValueFromDecimal(const Decimal& value) const
{
    switch (type_) {
    case ftCurrency:
    case ftBCD:
        return value.rescaled(Decimals());
    case ftString:
        return fromText(value.toString());
    default:
        return convert(Variant(value.toDouble()));
    }
}

void TField::SetAsDecimal(const Decimal& value)
{
    switch (type_) {
    case ftCurrency:
    case ftBCD:
        assign(value.rescaled(Decimals()));
        break;
    case ftString:
        assign(fromText(value.toString()));
        break;
    default:
        assign(convert(Variant(value.toDouble())));
        break;
    }
}

bool TField::AsBoolean() const
{
    const FieldValue v = Data();
    if (const auto* b = std::get_if<bool>(&v))
        return *b;
    if (std::holds_alternative<std::monostate>(v))
        return false;
    if (const auto* s = std::get_if<std::string>(&v)) {
        const auto b = ftBoolean;
        TField probe(nullptr, name_, b, 0, fkData, 0);
        return std::get<bool>(probe.fromText(*s));
    }
    return AsFloat() != 0;
}

void TField::SetAsBoolean(bool value)
{
    assign(convert(Variant(value)));
}

double TField::AsDateTime() const
{
    const FieldValue v = Data();
    if (std::holds_alternative<std::monostate>(v))
        return 0;
    if (const auto* d = std::get_if<double>(&v))
        return *d;
    if (const auto* s = std::get_if<std::string>(&v)) {
        double d = 0;
        if (!parseDateText(*s, true, d))
            throw DataSetError("'" + *s + "' is not a valid date");
        return d;
    }
    throw DataSetError("Field '" + name_ + "' is not a date");
}

void TField::SetAsDateTime(double oleDays)
{
    assign(convert(Variant::date(oleDays)));
}

Variant TField::Value() const
{
    const FieldValue v = Data();
    if (std::holds_alternative<std::monostate>(v))
        return Variant::null();
    if (const auto* s = std::get_if<std::string>(&v))
        return Variant(*s);
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return type_ == ftInteger ? Variant(int(*i)) : Variant(*i);
    if (const auto* d = std::get_if<double>(&v))
        return (type_ == ftDate || type_ == ftDateTime) ? Variant::date(*d) : Variant(*d);
    if (const auto* m = std::get_if<Decimal>(&v))
        return Variant(m->toDouble());
    return Variant(std::get<bool>(v));
}

void TField::SetValue(const Variant& value)
{
    assign(convert(value));
}

std::string TField::DisplayText() const
{
    if (OnGetText) {
        std::string text;
        OnGetText(const_cast<TField*>(this), text, true);
        return text;
    }
    return displayTextOf(Data());
}

std::string TField::Text() const
{
    if (OnGetText) {
        std::string text;
        OnGetText(const_cast<TField*>(this), text, false);
        return text;
    }
    return textOf(Data());
}

void TField::SetText(std::string_view text)
{
    if (OnSetText)
        OnSetText(this, std::string(text));
    else
        SetAsString(text);
}

namespace {
// Makes field readings see one row for a scope.
template <typename Rec>
struct ReadOverride {
    const Rec*& slot;
    const Rec* saved;
    ReadOverride(const Rec*& s, const Rec* rec) : slot(s), saved(s) { slot = rec; }
    ~ReadOverride() { slot = saved; }
};
} // namespace

std::string TField::DisplayTextAt(int row) const
{
    const auto* rec = dataSet_->rowValues(row);
    if (!rec)
        return {};
    ReadOverride scope(dataSet_->readOverride_, rec);
    return DisplayText();
}

std::string TField::TextAt(int row) const
{
    const auto* rec = dataSet_->rowValues(row);
    if (!rec)
        return {};
    ReadOverride scope(dataSet_->readOverride_, rec);
    return Text();
}

FieldValue TField::DataAt(int row) const
{
    const auto* rec = dataSet_->rowValues(row);
    return rec ? dataSet_->cell(*rec, index_).get() : FieldValue();
}

TFieldNotifyEvent* TField::FieldEvent(std::string_view name)
{
    if (SameTextAscii(name, "OnValidate"))
        return &OnValidate;
    if (SameTextAscii(name, "OnChange"))
        return &OnChange;
    return nullptr;
}

// ---- TClientDataSet -----------------------------------------------------------------
