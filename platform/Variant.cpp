#include "platform/Variant.h"
#include "platform/AsciiText.h"
#include "platform/Automation.h"
#include "platform/CodePage.h"
#include "platform/OleDate.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

struct Variant::Array {
    int dims = 1;
    int low[2] = {0, 0};
    int high[2] = {-1, -1};
    std::vector<Variant> items;

    int count(int d) const { return high[d] - low[d] + 1; }
};

namespace {

// The most elements one array may have, in each dimension and in all: 134,217,728, as
// many as a frame of the wire's default limit (128 MiB) has bytes, and eight times what
// one array read from the wire may have (kMaxWireArrayElements). Counts are taken in 64
// bits: no pair of bounds overflows them, and each count that passes fits an int.
constexpr std::uint64_t kMaxArrayElements = std::uint64_t(1) << 27;

int dimensionCount(int low, int high)
{
    const std::int64_t n = std::int64_t(high) - std::int64_t(low) + 1;
    if (n < 0)
        throw VariantError("Invalid variant array bounds");
    if (std::uint64_t(n) > kMaxArrayElements)
        throw VariantError("Variant array bounds [" + std::to_string(low) + ", " + std::to_string(high) +
                           "] give more elements than the " + std::to_string(kMaxArrayElements) +
                           " an array may have");
    return int(n);
}

std::size_t elementCount(int rows, int columns)
{
    std::uint64_t total = 0;
    if (__builtin_mul_overflow(std::uint64_t(rows), std::uint64_t(columns), &total) || total > kMaxArrayElements)
        throw VariantError("Variant array of " + std::to_string(rows) + " x " + std::to_string(columns) +
                           " elements, more than the " + std::to_string(kMaxArrayElements) + " an array may have");
    return std::size_t(total);
}

bool parseDouble(const std::string& text, double& out)
{
    const char* begin = text.c_str();
    while (*begin == ' ' || *begin == '\t')
        ++begin;
    if (!*begin)
        return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtod(begin, &end);
    if (end == begin || errno == ERANGE)
        return false;
    while (*end == ' ' || *end == '\t')
        ++end;
    // strtod also reads "inf", "nan" and hexadecimal: the runtime never did.
    if (*end || std::isnan(out) || std::isinf(out))
        return false;
    for (const char* p = begin; p != end; ++p)
        if (*p == 'x' || *p == 'X')
            return false;
    return true;
}

// FloatToStr: up to 15 significant digits, exponent as "1E20" / "1E-5".
std::string floatToStr(double d)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", d);
    std::string s(buf);
    const auto e = s.find('e');
    if (e == std::string::npos)
        return s;
    std::string mant = s.substr(0, e);
    std::string exp = s.substr(e + 1);
    bool neg = !exp.empty() && exp[0] == '-';
    if (!exp.empty() && (exp[0] == '+' || exp[0] == '-'))
        exp.erase(0, 1);
    while (exp.size() > 1 && exp[0] == '0')
        exp.erase(0, 1);
    return mant + "E" + (neg ? "-" : "") + exp;
}

std::string dateToStr(double days)
{
    const CivilDate c = DecodeDateTime(days);
    char buf[40];
    if (c.hour || c.minute || c.second)
        std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d", c.year, c.month, c.day,
                      c.hour, c.minute, c.second);
    else
        std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", c.year, c.month, c.day);
    return buf;
}

bool parseDate(const std::string& text, double& out)
{
    int y = 0, m = 0, d = 0, hh = 0, mm = 0, ss = 0;
    char s1 = 0, s2 = 0;
    const int n = std::sscanf(text.c_str(), " %d%c%d%c%d %d:%d:%d", &y, &s1, &m, &s2, &d, &hh, &mm, &ss);
    if (n < 5 || s1 != s2 || (s1 != '/' && s1 != '-' && s1 != '.'))
        return false;
    if (!TryEncodeDate(y, m, d, out))
        return false;
    if (n >= 7) {
        if (hh < 0 || hh > 23 || mm < 0 || mm > 59 || ss < 0 || ss > 59)
            return false;
        out += EncodeTime(hh, mm, ss);
    }
    return true;
}

} // namespace

Variant::Variant(DispatchPtr d)
{
    if (d)
        v_ = std::move(d);
}

Variant Variant::null()
{
    Variant r;
    r.v_ = NullTag{};
    return r;
}

Variant Variant::date(double oleDays)
{
    Variant r;
    r.v_ = DateValue{oleDays};
    return r;
}

Variant Variant::ansi(std::string bytes, int codePage)
{
    Variant r;
    r.v_ = Ansi{std::move(bytes), codePage};
    return r;
}

Variant Variant::array(int low, int high)
{
    const int n = dimensionCount(low, high);
    auto a = std::make_shared<Array>();
    a->low[0] = low;
    a->high[0] = high;
    a->items.resize(elementCount(n, 1));
    Variant r;
    r.v_ = std::move(a);
    return r;
}

Variant Variant::array2(int low1, int high1, int low2, int high2)
{
    const int rows = dimensionCount(low1, high1);
    const int columns = dimensionCount(low2, high2);
    const std::size_t total = elementCount(rows, columns);
    auto a = std::make_shared<Array>();
    a->dims = 2;
    a->low[0] = low1;
    a->high[0] = high1;
    a->low[1] = low2;
    a->high[1] = high2;
    a->items.resize(total);
    Variant r;
    r.v_ = std::move(a);
    return r;
}

Variant Variant::list(std::initializer_list<Variant> items)
{
    return list(std::vector<Variant>(items));
}

Variant Variant::list(std::vector<Variant> items)
{
    if (items.size() > kMaxArrayElements)
        throw VariantError("Variant array of " + std::to_string(items.size()) + " elements, more than the " +
                           std::to_string(kMaxArrayElements) + " an array may have");
    auto a = std::make_shared<Array>();
    a->high[0] = int(items.size()) - 1;
    a->items = std::move(items);
    Variant r;
    r.v_ = std::move(a);
    return r;
}

VarType Variant::type() const
{
    return static_cast<VarType>(v_.index());
}

bool Variant::isNumeric() const
{
    switch (type()) {
    case VarType::Int:
    case VarType::Int64:
    case VarType::Double:
        return true;
    default:
        return false;
    }
}

std::string Variant::typeName() const
{
    static const char* names[] = {"Empty", "Null", "Boolean", "Integer", "Int64", "Double",
                                  "Date", "String", "String", "Array", "Dispatch"};
    return names[v_.index()];
}

void Variant::castError(const char* target) const
{
    throw VariantError("Could not convert variant of type (" + typeName() + ") into type (" + target + ")");
}

std::string Variant::toString() const
{
    switch (type()) {
    case VarType::Empty:
        return {};
    case VarType::Bool:
        return std::get<bool>(v_) ? "True" : "False";
    case VarType::Int:
        return std::to_string(std::get<std::int32_t>(v_));
    case VarType::Int64:
        return std::to_string(std::get<std::int64_t>(v_));
    case VarType::Double:
        return floatToStr(std::get<double>(v_));
    case VarType::Date:
        return dateToStr(std::get<DateValue>(v_).days);
    case VarType::String:
        return std::get<std::string>(v_);
    case VarType::AnsiString: {
        const Ansi& a = std::get<Ansi>(v_);
        return CodePageToUtf8(a.bytes, a.codePage);
    }
    default:
        castError("String");
    }
}

double Variant::toDouble() const
{
    switch (type()) {
    case VarType::Empty:
        return 0;
    case VarType::Bool:
        return std::get<bool>(v_) ? -1 : 0;
    case VarType::Int:
        return std::get<std::int32_t>(v_);
    case VarType::Int64:
        return double(std::get<std::int64_t>(v_));
    case VarType::Double:
        return std::get<double>(v_);
    case VarType::Date:
        return std::get<DateValue>(v_).days;
    case VarType::String:
    case VarType::AnsiString: {
        double d = 0;
        if (!parseDouble(toString(), d))
            castError("Double");
        return d;
    }
    default:
        castError("Double");
    }
}

std::int64_t Variant::toInt64() const
{
    switch (type()) {
    case VarType::Int:
        return std::get<std::int32_t>(v_);
    case VarType::Int64:
        return std::get<std::int64_t>(v_);
    case VarType::String:
    case VarType::AnsiString: {
        const std::string s = toString();
        char* end = nullptr;
        errno = 0;
        const long long n = std::strtoll(s.c_str(), &end, 10);
        if (errno == 0 && end != s.c_str() && *end == 0 && s.find_first_not_of(" \t") == 0)
            return n;
        break;
    }
    default:
        break;
    }
    // Everything else rounds half to even, as the runtime's Round did.
    const double d = toDouble();
    const double r = std::nearbyint(d);
    if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0))
        castError("Int64");
    return std::int64_t(r);
}

std::int32_t Variant::toInt() const
{
    std::int64_t n = 0;
    try {
        n = toInt64();
    } catch (const VariantError&) {
        castError("Integer");
    }
    if (n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::int32_t>::max())
        castError("Integer");
    return std::int32_t(n);
}

bool Variant::toBool() const
{
    switch (type()) {
    case VarType::Bool:
        return std::get<bool>(v_);
    case VarType::String:
    case VarType::AnsiString: {
        const std::string s = lowerAscii(toString());
        if (s == "true")
            return true;
        if (s == "false")
            return false;
        double d = 0;
        if (!parseDouble(s, d))
            castError("Boolean");
        return d != 0;
    }
    default:
        try {
            return toDouble() != 0;
        } catch (const VariantError&) {
            castError("Boolean");
        }
    }
}

double Variant::toDate() const
{
    if (type() == VarType::String || type() == VarType::AnsiString) {
        const std::string s = toString();
        double d = 0;
        if (parseDate(s, d) || parseDouble(s, d))
            return d;
        castError("Date");
    }
    try {
        return toDouble();
    } catch (const VariantError&) {
        castError("Date");
    }
}

const std::string& Variant::ansiBytes() const
{
    if (type() != VarType::AnsiString)
        castError("AnsiString");
    return std::get<Ansi>(v_).bytes;
}

int Variant::ansiCodePage() const
{
    if (type() != VarType::AnsiString)
        castError("AnsiString");
    return std::get<Ansi>(v_).codePage;
}

const DispatchPtr& Variant::toDispatch() const
{
    if (type() != VarType::Dispatch)
        castError("Dispatch");
    return std::get<DispatchPtr>(v_);
}

const Variant::Array& Variant::arr() const
{
    if (type() != VarType::Array)
        throw VariantError("Variant is not an array");
    return *std::get<ArrayPtr>(v_);
}

Variant::Array& Variant::mutableArr()
{
    if (type() != VarType::Array)
        throw VariantError("Variant is not an array");
    ArrayPtr& p = std::get<ArrayPtr>(v_);
    if (p.use_count() > 1)
        p = std::make_shared<Array>(*p);
    return *p;
}

int Variant::dimCount() const
{
    return type() == VarType::Array ? arr().dims : 0;
}

int Variant::lowBound(int dim) const
{
    const Array& a = arr();
    if (dim < 1 || dim > a.dims)
        throw VariantError("Variant array dimension out of range");
    return a.low[dim - 1];
}

int Variant::highBound(int dim) const
{
    const Array& a = arr();
    if (dim < 1 || dim > a.dims)
        throw VariantError("Variant array dimension out of range");
    return a.high[dim - 1];
}

const Variant& Variant::operator[](int index) const
{
    const Array& a = arr();
    if (a.dims != 1)
        throw VariantError("Variant array has two dimensions");
    if (index < a.low[0] || index > a.high[0])
        throw VariantError("Variant array index out of bounds");
    return a.items[std::size_t(index - a.low[0])];
}

Variant& Variant::operator[](int index)
{
    const Array& check = arr();
    if (check.dims != 1)
        throw VariantError("Variant array has two dimensions");
    if (index < check.low[0] || index > check.high[0])
        throw VariantError("Variant array index out of bounds");
    Array& a = mutableArr();
    return a.items[std::size_t(index - a.low[0])];
}

const Variant& Variant::at(int i, int j) const
{
    const Array& a = arr();
    if (a.dims != 2)
        throw VariantError("Variant array has one dimension");
    if (i < a.low[0] || i > a.high[0] || j < a.low[1] || j > a.high[1])
        throw VariantError("Variant array index out of bounds");
    return a.items[std::size_t(i - a.low[0]) * std::size_t(a.count(1)) + std::size_t(j - a.low[1])];
}

Variant& Variant::at(int i, int j)
{
    (void)static_cast<const Variant&>(*this).at(i, j); // bounds check before detaching
    Array& a = mutableArr();
    return a.items[std::size_t(i - a.low[0]) * std::size_t(a.count(1)) + std::size_t(j - a.low[1])];
}

void Variant::redim(int high)
{
    // Checked before the array is detached or touched: a refused redim leaves it as it was.
    const Array& check = arr();
    const int d = check.dims - 1;
    const int count = dimensionCount(check.low[d], high);
    const int rows = check.dims == 1 ? 1 : check.count(0);
    const std::size_t total = elementCount(rows, count);
    Array& a = mutableArr();
    if (a.dims == 1) {
        a.items.resize(total);
    } else {
        // The last dimension varies fastest in our layout: rebuild the rows.
        std::vector<Variant> items(total);
        const std::size_t oldColumns = std::size_t(a.count(1));
        const std::size_t keep = std::min(oldColumns, std::size_t(count));
        for (std::size_t i = 0; i < std::size_t(rows); ++i)
            for (std::size_t j = 0; j < keep; ++j)
                items[i * std::size_t(count) + j] = std::move(a.items[i * oldColumns + j]);
        a.items = std::move(items);
    }
    a.high[d] = high;
}

std::vector<Variant> Variant::elements() const
{
    const Array& a = arr();
    if (a.dims != 1)
        throw VariantError("Variant array has two dimensions");
    return a.items;
}

Variant Variant::invoke(std::string_view name, std::span<Variant> args) const
{
    return toDispatch()->invoke(name, args);
}

Variant Variant::call(std::string_view name, std::initializer_list<Variant> args) const
{
    std::vector<Variant> copy(args);
    return toDispatch()->invoke(name, copy);
}

Variant Variant::get(std::string_view name) const
{
    return toDispatch()->get(name);
}

void Variant::put(std::string_view name, const Variant& value) const
{
    toDispatch()->put(name, value);
}

bool Variant::operator==(const Variant& other) const
{
    const VarType a = type(), b = other.type();
    if (isNumeric() && other.isNumeric()) {
        if (a != VarType::Double && b != VarType::Double)
            return toInt64() == other.toInt64();
        return toDouble() == other.toDouble();
    }
    if (isString() && other.isString())
        return toString() == other.toString();
    if (a != b)
        return false;
    switch (a) {
    case VarType::Array: {
        const Array& x = arr();
        const Array& y = other.arr();
        if (&x == &y)
            return true;
        if (x.dims != y.dims || x.low[0] != y.low[0] || x.high[0] != y.high[0])
            return false;
        if (x.dims == 2 && (x.low[1] != y.low[1] || x.high[1] != y.high[1]))
            return false;
        return x.items == y.items;
    }
    default:
        return v_ == other.v_;
    }
}

std::string Variant::takeText()
{
    if (auto* text = std::get_if<std::string>(&v_)) {
        std::string taken = std::move(*text);
        v_ = std::monostate();
        return taken;
    }
    return VarToStr(*this);
}

std::string VarToStr(const Variant& v)
{
    return v.isNull() ? std::string() : v.toString();
}
