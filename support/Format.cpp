#include "support/Format.h"
#include "support/FormatSettings.h"
#include "support/Utf8.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

FormatError::~FormatError() = default;

bool FormatArg::integer(std::int64_t& out) const
{
    if (kind_ == Kind::Integer) {
        out = int_;
        return true;
    }
    if (kind_ == Kind::Variant && (variant_.type() == VarType::Int || variant_.type() == VarType::Int64)) {
        out = variant_.toInt64();
        return true;
    }
    return false;
}

bool FormatArg::floating(double& out) const
{
    if (kind_ == Kind::Float) {
        out = float_;
        return true;
    }
    if (kind_ == Kind::Variant) {
        switch (variant_.type()) {
        case VarType::Int:
        case VarType::Int64:
        case VarType::Double:
        case VarType::Date:
            out = variant_.toDouble();
            return true;
        default:
            return false;
        }
    }
    return false;
}

bool FormatArg::text(std::string& out) const
{
    if (kind_ == Kind::Text) {
        out = text_;
        return true;
    }
    if (kind_ == Kind::Variant) {
        switch (variant_.type()) {
        case VarType::Null:
        case VarType::Array:
        case VarType::Dispatch:
            return false;
        default:
            try {
                out = variant_.toString();
                return true;
            } catch (const Exception&) {
                return false;
            }
        }
    }
    return false;
}

namespace {

// A finite non-negative number as decimal digits: value = 0.d1d2d3... x 10^exponent.
// No digits means zero.
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

void stripTrailingZeros(std::string& digits)
{
    while (!digits.empty() && digits.back() == '0')
        digits.pop_back();
}

Decimal toDecimal(double v)
{
    Decimal d;
    d.negative = std::signbit(v);
    v = std::fabs(v);
    if (v == 0)
        return d;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.17e", v);   // 18 significant digits, as the runtime took
    const char* e = buf;
    while (*e && *e != 'e')
        ++e;
    d.digits += buf[0];
    for (const char* p = buf + 2; p < e; ++p)
        d.digits += *p;
    d.exponent = std::atoi(e + 1) + 1;
    stripTrailingZeros(d.digits);
    return d;
}

// Keeps `keep` leading digits, rounding the rest half away from zero.
void roundTo(Decimal& d, int keep)
{
    if (keep >= int(d.digits.size()))
        return;
    if (keep < 0) {
        d.digits.clear();
        return;
    }
    const bool up = d.digits[std::size_t(keep)] >= '5';
    d.digits.resize(std::size_t(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[std::size_t(i)] == '9') {
            d.digits[std::size_t(i)] = '0';
            --i;
        }
        if (i < 0) {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exponent;
        } else {
            ++d.digits[std::size_t(i)];
        }
    }
    stripTrailingZeros(d.digits);
}

char digitAt(const Decimal& d, int index)
{
    return index >= 0 && index < int(d.digits.size()) ? d.digits[std::size_t(index)] : '0';
}

std::string nonFinite(double v)
{
    if (std::isnan(v))
        return "NAN";
    return v < 0 ? "-INF" : "INF";
}

std::string formatExponent(double value, int precision)
{
    if (!std::isfinite(value))
        return nonFinite(value);
    precision = precision < 1 ? 1 : precision > 18 ? 18 : precision;
    Decimal d = toDecimal(value);
    roundTo(d, precision);
    const bool zero = d.digits.empty();
    std::string out = d.negative && !zero ? "-" : "";
    out += digitAt(d, 0);
    if (precision > 1) {
        out += toUtf8(decimalSeparator());
        for (int i = 1; i < precision; ++i)
            out += digitAt(d, i);
    }
    const int e = zero ? 0 : d.exponent - 1;
    char buf[16];
    std::snprintf(buf, sizeof buf, "E%c%03d", e < 0 ? '-' : '+', e < 0 ? -e : e);
    return out + buf;
}

std::string signedDigits(std::int64_t v, int minDigits)
{
    const bool negative = v < 0;
    const std::uint64_t mag = negative ? std::uint64_t(0) - std::uint64_t(v) : std::uint64_t(v);
    std::string digits = std::to_string(mag);
    if (int(digits.size()) < minDigits)
        digits.insert(0, std::size_t(minDigits) - digits.size(), '0');
    return negative ? "-" + digits : digits;
}

std::string padTo(std::string s, int width, bool left)
{
    const std::size_t len = utf8Length(s);
    if (width > 0 && std::size_t(width) > len) {
        const std::string pad(std::size_t(width) - len, ' ');
        s = left ? s + pad : pad + s;
    }
    return s;
}

std::string takeChars(const std::string& s, int count)
{
    const std::u32string u = toUtf32(s);
    if (count < 0 || std::size_t(count) >= u.size())
        return s;
    return toUtf8(std::u32string_view(u).substr(0, std::size_t(count)));
}

class Formatter {
public:
    Formatter(std::string_view format, std::span<const FormatArg> args) : format_(format), args_(args) {}

    std::string run()
    {
        std::string out;
        out.reserve(format_.size() + 16);
        std::size_t i = 0;
        while (i < format_.size()) {
            const std::size_t pct = format_.find('%', i);
            if (pct == std::string_view::npos) {
                out.append(format_.substr(i));
                break;
            }
            out.append(format_.substr(i, pct - i));
            pos_ = pct + 1;
            if (pos_ < format_.size() && format_[pos_] == '%') {
                out += '%';
                i = pos_ + 1;
                continue;
            }
            out += directive();
            i = pos_;
        }
        return out;
    }

private:
    [[noreturn]] void invalid() const
    {
        throw FormatError("Format '" + std::string(format_) + "' invalid or incompatible with argument");
    }

    const FormatArg& nextArg()
    {
        if (argIndex_ >= args_.size())
            throw FormatError("No argument for format '" + std::string(format_) + "'");
        return args_[argIndex_++];
    }

    bool atDigit() const { return pos_ < format_.size() && format_[pos_] >= '0' && format_[pos_] <= '9'; }

    // A number or "*" at the current position; -1 when there is neither.
    long long number()
    {
        if (pos_ < format_.size() && format_[pos_] == '*') {
            ++pos_;
            std::int64_t v = 0;
            if (!nextArg().integer(v))
                invalid();
            return v;
        }
        if (!atDigit())
            return -1;
        long long v = 0;
        while (atDigit()) {
            v = v * 10 + (format_[pos_] - '0');
            if (v > 1000000)
                invalid();
            ++pos_;
        }
        return v;
    }

    std::string directive()
    {
        // An index first: "%1:s" takes argument 1, later ones continue after it.
        const std::size_t start = pos_;
        if (atDigit()) {
            long long n = 0;
            while (atDigit())
                n = n * 10 + (format_[pos_++] - '0');
            if (pos_ < format_.size() && format_[pos_] == ':') {
                ++pos_;
                argIndex_ = std::size_t(n);
            } else {
                pos_ = start;
            }
        } else if (pos_ + 1 < format_.size() && format_[pos_] == '*' && format_[pos_ + 1] == ':') {
            ++pos_;
            std::int64_t n = 0;
            if (!nextArg().integer(n) || n < 0)
                invalid();
            ++pos_;
            argIndex_ = std::size_t(n);
        }
        bool left = false;
        if (pos_ < format_.size() && format_[pos_] == '-') {
            left = true;
            ++pos_;
        }
        const long long width = number();
        long long precision = -1;
        if (pos_ < format_.size() && format_[pos_] == '.') {
            ++pos_;
            precision = number();
            if (precision < 0)
                precision = 0;
        }
        if (pos_ >= format_.size())
            invalid();
        const char type = char(format_[pos_] | 0x20);
        ++pos_;
        return padTo(convert(type, int(precision)), int(width), left);
    }

    std::string convert(char type, int precision)
    {
        const FormatArg& arg = nextArg();
        std::int64_t i = 0;
        double f = 0;
        std::string s;
        switch (type) {
        case 'd':
            if (!arg.integer(i))
                invalid();
            return signedDigits(i, precision);
        case 'u':
            if (!arg.integer(i))
                invalid();
            if (i < 0 && i >= INT32_MIN)
                i += std::int64_t(1) << 32;
            return i < 0 ? std::to_string(std::uint64_t(i)) : signedDigits(i, precision);
        case 'x': {
            if (!arg.integer(i))
                invalid();
            std::uint64_t u = std::uint64_t(i);
            if (i < 0 && i >= INT32_MIN)
                u &= 0xFFFFFFFFu;
            char buf[24];
            std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(u));
            std::string hex(buf);
            if (int(hex.size()) < precision)
                hex.insert(0, std::size_t(precision) - hex.size(), '0');
            return hex;
        }
        case 'f':
        case 'n':
            if (!arg.floating(f))
                invalid();
            return formatFixed(f, precision < 0 ? 2 : precision > 18 ? 18 : precision, type == 'n');
        case 'e':
            if (!arg.floating(f))
                invalid();
            return formatExponent(f, precision < 0 ? 15 : precision);
        case 'g':
            if (!arg.floating(f))
                invalid();
            return formatGeneral(f, precision < 0 ? 15 : precision);
        case 's':
            if (!arg.text(s))
                invalid();
            return precision < 0 ? s : takeChars(s, precision);
        default:
            invalid();
        }
    }

    std::string_view format_;
    std::span<const FormatArg> args_;
    std::size_t argIndex_ = 0;
    std::size_t pos_ = 0;
};

} // namespace

std::string formatFixed(double value, int decimals, bool thousands)
{
    if (!std::isfinite(value))
        return nonFinite(value);
    Decimal d = toDecimal(value);
    roundTo(d, d.exponent + decimals);
    const bool zero = d.digits.empty();
    std::string whole;
    if (zero || d.exponent <= 0) {
        whole = "0";
    } else {
        for (int k = 0; k < d.exponent; ++k)
            whole += digitAt(d, k);
    }
    std::string out = d.negative && !zero ? "-" : "";
    if (thousands && whole.size() > 3) {
        const std::string sep = toUtf8(thousandSeparator());
        std::string grouped;
        const std::size_t first = whole.size() % 3 == 0 ? 3 : whole.size() % 3;
        grouped = whole.substr(0, first);
        for (std::size_t k = first; k < whole.size(); k += 3)
            grouped += sep + whole.substr(k, 3);
        whole = grouped;
    }
    out += whole;
    if (decimals > 0) {
        out += toUtf8(decimalSeparator());
        for (int k = 0; k < decimals; ++k)
            out += zero ? '0' : digitAt(d, d.exponent + k);
    }
    return out;
}

std::string formatGeneral(double value, int precision)
{
    if (!std::isfinite(value))
        return nonFinite(value);
    precision = precision < 1 ? 1 : precision > 18 ? 18 : precision;
    Decimal d = toDecimal(value);
    roundTo(d, precision);
    if (d.digits.empty())
        return "0";
    std::string out = d.negative ? "-" : "";
    const std::string sep = toUtf8(decimalSeparator());
    if (d.exponent > precision || d.exponent < -4) {
        out += d.digits[0];
        if (d.digits.size() > 1)
            out += sep + d.digits.substr(1);
        const int e = d.exponent - 1;
        out += "E" + std::to_string(e);
        return out;
    }
    if (d.exponent <= 0) {
        out += "0" + sep + std::string(std::size_t(-d.exponent), '0') + d.digits;
    } else {
        for (int k = 0; k < d.exponent; ++k)
            out += digitAt(d, k);
        if (int(d.digits.size()) > d.exponent)
            out += sep + d.digits.substr(std::size_t(d.exponent));
    }
    return out;
}

std::string Format(std::string_view format, std::initializer_list<FormatArg> args)
{
    return Formatter(format, std::span<const FormatArg>(args.begin(), args.size())).run();
}

std::string Format(std::string_view format, std::span<const FormatArg> args)
{
    return Formatter(format, args).run();
}
