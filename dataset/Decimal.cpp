#include "dataset/Decimal.h"

#include "platform/AsciiText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

DataSetError::~DataSetError() = default;

namespace {

using Int128 = __int128;

Int128 pow10(int n)
{
    Int128 r = 1;
    for (int i = 0; i < n; ++i)
        r *= 10;
    return r;
}

bool fitsInt64(Int128 v)
{
    return v >= Int128(std::numeric_limits<std::int64_t>::min())
        && v <= Int128(std::numeric_limits<std::int64_t>::max());
}

} // namespace

Decimal::Decimal(std::int64_t units, int scale) : units_(units), scale_(scale)
{
    if (scale < 0 || scale > MaxScale)
        throw DataSetError("Decimal scale out of range");
}

bool Decimal::tryParse(std::string_view text, Decimal& out)
{
    std::string_view s = trimSpaces(text);
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    std::string digits;
    int fracCount = 0;
    bool point = false, any = false;
    std::size_t i = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c >= '0' && c <= '9') {
            digits += c;
            any = true;
            if (point)
                ++fracCount;
        } else if (c == '.' && !point) {
            point = true;
        } else if (c == ',' && !point && any) {
            continue;
        } else {
            break;
        }
    }
    if (!any)
        return false;
    int exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::string_view e = s.substr(i + 1);
        if (!e.empty() && e[0] == '+')
            e.remove_prefix(1);
        const auto r = std::from_chars(e.data(), e.data() + e.size(), exponent);
        if (r.ec != std::errc() || r.ptr != e.data() + e.size() || exponent > 400 || exponent < -400)
            return false;
        i = s.size();
    }
    if (i != s.size())
        return false;

    const auto nz = digits.find_first_not_of('0');
    digits = nz == std::string::npos ? std::string() : digits.substr(nz);
    int scale = fracCount - exponent;
    if (scale < 0) {
        if (!digits.empty())
            digits.append(std::size_t(-scale), '0');
        scale = 0;
    }
    bool roundUp = false;
    if (scale > MaxScale) {
        const std::size_t drop = std::size_t(scale - MaxScale);
        if (drop <= digits.size()) {
            roundUp = digits[digits.size() - drop] >= '5';
            digits.resize(digits.size() - drop);
        } else {
            digits.clear();
        }
        scale = MaxScale;
    }
    if (digits.size() > 19)
        return false;
    Int128 units = 0;
    for (char c : digits)
        units = units * 10 + (c - '0');
    if (roundUp)
        ++units;
    if (negative)
        units = -units;
    if (!fitsInt64(units))
        return false;
    out = Decimal(std::int64_t(units), scale);
    return true;
}

Decimal Decimal::parse(std::string_view text)
{
    Decimal d;
    if (!tryParse(text, d))
        throw DataSetError("'" + std::string(text) + "' is not a valid decimal value");
    return d;
}

Decimal Decimal::fromDouble(double value)
{
    if (!std::isfinite(value))
        throw DataSetError("Not a finite number");
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    Decimal d;
    if (r.ec != std::errc() || !tryParse(std::string_view(buf, std::size_t(r.ptr - buf)), d))
        throw DataSetError("Value out of range for a decimal");
    return d;
}

Decimal Decimal::rescaled(int scale) const
{
    if (scale < 0 || scale > MaxScale)
        throw DataSetError("Decimal scale out of range");
    if (scale == scale_)
        return *this;
    if (scale > scale_) {
        const Int128 u = Int128(units_) * pow10(scale - scale_);
        if (!fitsInt64(u))
            throw DataSetError("Decimal value out of range");
        return Decimal(std::int64_t(u), scale);
    }
    const Int128 div = pow10(scale_ - scale);
    Int128 q = Int128(units_) / div;
    const Int128 r = Int128(units_) % div;
    if ((r < 0 ? -r : r) * 2 >= div)
        q += units_ < 0 ? -1 : 1;
    return Decimal(std::int64_t(q), scale);
}

double Decimal::toDouble() const
{
    return std::strtod(toFixed().c_str(), nullptr);
}

std::string Decimal::toFixed() const
{
    Int128 u = units_;
    const bool negative = u < 0;
    if (negative)
        u = -u;
    std::string digits;
    do {
        digits.insert(digits.begin(), char('0' + int(u % 10)));
        u /= 10;
    } while (u != 0);
    if (int(digits.size()) <= scale_)
        digits.insert(0, std::size_t(scale_ + 1) - digits.size(), '0');
    if (scale_ > 0)
        digits.insert(digits.size() - std::size_t(scale_), ".");
    return negative ? "-" + digits : digits;
}

std::string Decimal::toString() const
{
    std::string s = toFixed();
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.')
            s.pop_back();
    }
    return s;
}

Decimal Decimal::operator+(const Decimal& other) const
{
    const int s = std::max(scale_, other.scale_);
    const Decimal a = rescaled(s), b = other.rescaled(s);
    std::int64_t r = 0;
    if (__builtin_add_overflow(a.units_, b.units_, &r))
        throw DataSetError("Decimal value out of range");
    return Decimal(r, s);
}

Decimal Decimal::operator-(const Decimal& other) const
{
    return *this + (-other);
}

Decimal Decimal::operator-() const
{
    if (units_ == std::numeric_limits<std::int64_t>::min())
        throw DataSetError("Decimal value out of range");
    return Decimal(-units_, scale_);
}

namespace {

// q = n / d rounded half away from zero.
Int128 roundedQuotient(Int128 n, Int128 d)
{
    Int128 q = n / d;
    const Int128 r = n % d;
    const Int128 ar = r < 0 ? -r : r;
    const Int128 ad = d < 0 ? -d : d;
    if (ar * 2 >= ad)
        q += (n < 0) != (d < 0) ? -1 : 1;
    return q;
}

Int128 scaledUp(Int128 v, int digits)
{
    Int128 r = v;
    for (int i = 0; i < digits; ++i)
        if (__builtin_mul_overflow(r, Int128(10), &r))
            throw DataSetError("Decimal value out of range");
    return r;
}

} // namespace

Decimal Decimal::multipliedBy(const Decimal& other, int scale) const
{
    if (scale < 0 || scale > MaxScale)
        throw DataSetError("Decimal scale out of range");
    // Two 64-bit unit counts multiply within 128 bits.
    const Int128 product = Int128(units_) * Int128(other.units_);
    const int productScale = scale_ + other.scale_;
    const Int128 units = scale >= productScale ? scaledUp(product, scale - productScale)
                                               : roundedQuotient(product, pow10(productScale - scale));
    if (!fitsInt64(units))
        throw DataSetError("Decimal value out of range");
    return Decimal(std::int64_t(units), scale);
}

Decimal Decimal::dividedBy(const Decimal& other, int scale) const
{
    if (scale < 0 || scale > MaxScale)
        throw DataSetError("Decimal scale out of range");
    if (other.units_ == 0)
        throw DataSetError("Division by zero");
    // units_/10^s1 / (o/10^s2) = units_ * 10^(scale + s2 - s1) / o, in units of 10^-scale.
    const int shift = scale + other.scale_ - scale_;
    Int128 n = Int128(units_);
    Int128 d = Int128(other.units_);
    if (shift >= 0)
        n = scaledUp(n, shift);
    else
        d = scaledUp(d, -shift);
    const Int128 units = roundedQuotient(n, d);
    if (!fitsInt64(units))
        throw DataSetError("Decimal value out of range");
    return Decimal(std::int64_t(units), scale);
}

int Decimal::compare(const Decimal& other) const
{
    const int s = std::max(scale_, other.scale_);
    const Int128 a = Int128(units_) * pow10(s - scale_);
    const Int128 b = Int128(other.units_) * pow10(s - other.scale_);
    return a < b ? -1 : (a > b ? 1 : 0);
}
