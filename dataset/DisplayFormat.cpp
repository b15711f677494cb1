#include "dataset/DisplayFormat.h"

#include "platform/OleDate.h"
#include "platform/Variant.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

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
    std::string out = sign ? std::string("-") : std::string();
    out += literal(0, first);
    out += ip;
    if (!d.fracPart.empty())
        out += "." + d.fracPart;
    out += literal(suffixFrom, int(sec.size()));
    return out;
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

std::string AmountFormat(int decimals)
{
    const int d = std::clamp(decimals, 0, 7);
    return d == 0 ? std::string("#,##0") : "#,##0." + std::string(std::size_t(d), '0');
}

std::string ShownAmountText(const Decimal& amount, int decimals)
{
    // The places the amount needs: its shortest text drops the trailing zeros.
    const int needed = Decimal::parse(amount.toString()).scale();
    return FormatDecimalText(AmountFormat(std::max(decimals, needed)), amount);
}
