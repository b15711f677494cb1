#include "platform/ClientDataSet.h"
#include "platform/AsciiText.h"

#include "platform/OleDate.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

std::vector<std::string> splitNames(std::string_view names)
{
    std::vector<std::string> out;
    while (true) {
        const auto p = names.find(';');
        const std::string_view part = trimmed(names.substr(0, p));
        if (!part.empty())
            out.emplace_back(part);
        if (p == std::string_view::npos)
            break;
        names.remove_prefix(p + 1);
    }
    return out;
}

std::size_t codePoints(std::string_view s)
{
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

// Digits of a non-negative number as integer and fraction texts.
struct DigitText {
    bool negative = false;
    std::string intPart;
    std::string fracPart;
};

bool allZero(const std::string& s)
{
    return s.find_first_not_of('0') == std::string::npos;
}

// Rounds the fraction to `keep` digits, half away from zero, carrying into the integer part.
void roundDigits(DigitText& d, std::size_t keep)
{
    if (d.fracPart.size() <= keep) {
        d.fracPart.append(keep - d.fracPart.size(), '0');
        return;
    }
    const bool up = d.fracPart[keep] >= '5';
    d.fracPart.resize(keep);
    if (!up)
        return;
    std::string all = d.intPart + d.fracPart;
    int i = int(all.size()) - 1;
    for (; i >= 0; --i) {
        if (all[std::size_t(i)] == '9') {
            all[std::size_t(i)] = '0';
        } else {
            ++all[std::size_t(i)];
            break;
        }
    }
    if (i < 0)
        all.insert(all.begin(), '1');
    d.intPart = all.substr(0, all.size() - keep);
    d.fracPart = all.substr(all.size() - keep);
}

DigitText digitsOf(const Decimal& v)
{
    DigitText d;
    std::string fixed = v.toFixed();
    if (!fixed.empty() && fixed[0] == '-') {
        d.negative = true;
        fixed.erase(0, 1);
    }
    const auto p = fixed.find('.');
    d.intPart = fixed.substr(0, p);
    if (p != std::string::npos)
        d.fracPart = fixed.substr(p + 1);
    return d;
}

DigitText digitsOf(double v)
{
    DigitText d;
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::fixed);
    std::string s = r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("0");
    d.negative = std::signbit(v) && v != 0;
    const auto p = s.find('.');
    d.intPart = s.substr(0, p);
    if (p != std::string::npos)
        d.fracPart = s.substr(p + 1);
    return d;
}

std::vector<std::string_view> formatSections(std::string_view format)
{
    std::vector<std::string_view> out;
    char quote = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';') {
            out.push_back(format.substr(start, i - start));
            start = i + 1;
        }
    }
    out.push_back(format.substr(start));
    return out;
}

std::string formatDigits(std::string_view format, DigitText d)
{
    const bool zero = allZero(d.intPart) && allZero(d.fracPart);
    const auto sections = formatSections(format);
    std::string_view sec = sections[0];
    bool sign = d.negative && !zero;
    if (sign && sections.size() >= 2 && !sections[1].empty()) {
        sec = sections[1];
        sign = false;
    } else if (zero && sections.size() >= 3 && !sections[2].empty()) {
        sec = sections[2];
    }

    // Where the placeholders are, outside quoted text.
    int first = -1, last = -1, point = -1;
    int intZeros = 0, fracZeros = 0, fracTotal = 0;
    bool thousands = false;
    char quote = 0;
    for (int i = 0; i < int(sec.size()); ++i) {
        const char c = sec[std::size_t(i)];
        if (quote) {
            if (c == quote)
                quote = 0;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '0' || c == '#') {
            if (first < 0)
                first = i;
            last = i;
            if (point < 0) {
                if (c == '0')
                    ++intZeros;
            } else {
                ++fracTotal;
                if (c == '0')
                    fracZeros = fracTotal;
            }
        } else if (c == '.' && point < 0) {
            point = i;
        } else if (c == ',' && point < 0) {
            thousands = true;
        }
    }
    auto literal = [&](int from, int to) {
        std::string out;
        char q = 0;
        for (int i = from; i < to; ++i) {
            const char c = sec[std::size_t(i)];
            if (q) {
                if (c == q)
                    q = 0;
                else
                    out += c;
            } else if (c == '"' || c == '\'') {
                q = c;
            } else if (c != ',' && !(c == '.' && i == point)) {
                out += c;
            }
        }
        return out;
    };
    if (first < 0)
        return literal(0, int(sec.size()));

    roundDigits(d, std::size_t(fracTotal));
    if (allZero(d.intPart) && allZero(d.fracPart))
        sign = false;
    while (int(d.fracPart.size()) > fracZeros && d.fracPart.back() == '0')
        d.fracPart.pop_back();
    std::string ip = d.intPart;
    const auto nz = ip.find_first_not_of('0');
    ip = nz == std::string::npos ? std::string() : ip.substr(nz);
    if (int(ip.size()) < intZeros)
        ip.insert(0, std::size_t(intZeros) - ip.size(), '0');
    if (thousands && ip.size() > 3) {
        std::string g;
        const std::size_t lead = ip.size() % 3;
        for (std::size_t i = 0; i < ip.size(); ++i) {
            if (i != 0 && (i + 3 - lead) % 3 == 0)
                g += ',';
            g += ip[i];
        }
        ip = g;
    }
    // A point written after the last placeholder still counts as the point.
    const int suffixFrom = std::max(last + 1, point >= 0 && point > last ? point + 1 : last + 1);
    std::string out = literal(0, first);
    if (sign)
        out.insert(0, "-");
    out += ip;
    if (!d.fracPart.empty())
        out += "." + d.fracPart;
    out += literal(suffixFrom, int(sec.size()));
    return out;
}

bool parseInt64(std::string_view s, std::int64_t& out)
{
    s = trimmed(s);
    if (!s.empty() && s[0] == '+')
        s.remove_prefix(1);
    if (s.empty())
        return false;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool parseFloat(std::string_view s, double& out)
{
    s = trimmed(s);
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
    s = trimmed(s);
    std::string_view timePart;
    if (const auto sp = s.find(' '); sp != std::string_view::npos) {
        if (!withTime)
            return false;
        timePart = trimmed(s.substr(sp + 1));
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

std::string FormatDecimalText(std::string_view format, const Decimal& value)
{
    return formatDigits(format, digitsOf(value));
}

std::string FormatFloatText(std::string_view format, double value)
{
    if (!std::isfinite(value))
        return Variant(value).toString();
    return formatDigits(format, digitsOf(value));
}

std::string FormatDateText(std::string_view format, double oleDays)
{
    const CivilDate c = DecodeDateTime(oleDays);
    std::string out;
    auto two = [&](int v) {
        out += char('0' + (v / 10) % 10);
        out += char('0' + v % 10);
    };
    std::size_t i = 0;
    auto run = [&](char ch) {
        std::size_t n = 0;
        while (i + n < format.size() && (format[i + n] == ch || format[i + n] == char(ch - 'a' + 'A')))
            ++n;
        return n;
    };
    while (i < format.size()) {
        const char ch = char(format[i] >= 'A' && format[i] <= 'Z' ? format[i] - 'A' + 'a' : format[i]);
        if (ch == '"' || ch == '\'') {
            const auto end = format.find(format[i], i + 1);
            out += format.substr(i + 1, end == std::string_view::npos ? std::string_view::npos : end - i - 1);
            i = end == std::string_view::npos ? format.size() : end + 1;
            continue;
        }
        if (ch == 'y') {
            const auto n = run('y');
            if (n <= 2) {
                two(c.year % 100);
            } else {
                char buf[8];
                std::snprintf(buf, sizeof buf, "%04d", c.year);
                out += buf;
            }
            i += n;
        } else if (ch == 'm' || ch == 'd' || ch == 'h' || ch == 'n' || ch == 's') {
            const auto n = run(ch);
            const int v = ch == 'm' ? c.month : ch == 'd' ? c.day : ch == 'h' ? c.hour : ch == 'n' ? c.minute : c.second;
            if (n >= 2)
                two(v);
            else
                out += std::to_string(v);
            i += n;
        } else {
            out += format[i];
            ++i;
        }
    }
    return out;
}

// ---- TField -------------------------------------------------------------------------

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
    const std::string_view t = trimmed(text);
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
        blocks_.clear();
        freeSlots_.clear();
        freeSlots_.shrink_to_fit();
        slots_ = 0;
        return;
    }
    freeSlots_.push_back(slot);
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

TClientDataSet::RecordPtr TClientDataSet::makeRecord()
{
    void* room = recordRoom();
    try {
        return RecordPtr(new (room) Record(this));
    } catch (...) {
        freeRecords_.push_back(room);
        throw;
    }
}

TClientDataSet::RecordPtr TClientDataSet::copyRecord(const Record& record)
{
    void* room = recordRoom();
    try {
        return RecordPtr(new (room) Record(record));
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
        return;
    }
    // Every slot goes at once, not record by record.
    dropping_ = true;
    view_.clear();
    dropping_ = false;
    recordBlocks_.clear();
    recordsMade_ = 0;
    freeRecords_.clear();
    freeRecords_.shrink_to_fit();
    blocks_.clear();
    freeSlots_.clear();
    freeSlots_.shrink_to_fit();
    slots_ = 0;
}

TField* TClientDataSet::AddField(const std::string& name, TFieldType type, int size, TFieldKind kind)
{
    if (!view_.empty() || buffer_)
        throw DataSetError("Cannot add field '" + name + "' to a data set that holds records");
    if (trimmed(name).empty())
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
    const std::string_view n = trimmed(name);
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
    buffer_ = makeRecord();
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
    if (indexFields_.empty())
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
    buffer_ = copyRecord(*view_[std::size_t(cur_)]);
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
    RecordPtr rec = makeRecord();
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

void TClientDataSet::SetIndexFieldNames(std::string_view names)
{
    std::vector<int> fields;
    for (const auto& n : splitNames(names)) {
        const TField* f = FieldByName(n);
        if (f->FieldKind() == fkCalculated)
            throw DataSetError("Calculated field '" + f->FieldName() + "' cannot be an index field");
        fields.push_back(f->Index());
    }
    if (Active())
        CheckBrowseMode();
    indexFields_ = std::move(fields);
    indexNames_ = std::string(names);
    sortAll();
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
    for (int f : indexFields_) {
        const int c = cell(a, f).compare(cell(b, f));
        if (c != 0)
            return c;
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
