#include "support/Helpers.h"
#include "support/AlertLog.h"
#include "support/EditMask.h"
#include "support/FormatSettings.h"
#include "support/Utf8.h"

#include "platform/CodePage.h"
#include "platform/SystemInfo.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace {

constexpr char kFieldMark = '\x03';

// Converts to a code page, reporting the one actually used.
std::string toCodePage(std::string_view text, int codePage, int& used)
{
    used = IsSupportedCodePage(codePage) ? codePage : GetACP();
    return Utf8ToCodePage(text, used);
}

Variant convertTo(const Variant& v, int codePage)
{
    int used = 0;
    switch (v.type()) {
    case VarType::String: {
        std::string bytes = toCodePage(v.toString(), codePage, used);
        return Variant::ansi(std::move(bytes), used);
    }
    case VarType::Array: {
        Variant copy = v;
        if (copy.dimCount() == 2) {
            for (int i = copy.lowBound(1); i <= copy.highBound(1); ++i)
                for (int j = copy.lowBound(2); j <= copy.highBound(2); ++j)
                    if (copy.at(i, j).type() == VarType::String || copy.at(i, j).isArray())
                        copy.at(i, j) = convertTo(std::as_const(copy).at(i, j), codePage);
        } else {
            for (int i = copy.lowBound(); i <= copy.highBound(); ++i)
                if (std::as_const(copy)[i].type() == VarType::String || std::as_const(copy)[i].isArray())
                    copy[i] = convertTo(std::as_const(copy)[i], codePage);
        }
        return copy;
    }
    default:
        return v;
    }
}

Variant convertFrom(const Variant& v, int codePage)
{
    switch (v.type()) {
    case VarType::AnsiString:
        return Variant(CodePageToWide(v.ansiBytes(), codePage));
    case VarType::Array: {
        Variant copy = v;
        if (copy.dimCount() == 2) {
            for (int i = copy.lowBound(1); i <= copy.highBound(1); ++i)
                for (int j = copy.lowBound(2); j <= copy.highBound(2); ++j)
                    if (copy.at(i, j).type() == VarType::AnsiString || copy.at(i, j).isArray())
                        copy.at(i, j) = convertFrom(std::as_const(copy).at(i, j), codePage);
        } else {
            for (int i = copy.lowBound(); i <= copy.highBound(); ++i)
                if (std::as_const(copy)[i].type() == VarType::AnsiString || std::as_const(copy)[i].isArray())
                    copy[i] = convertFrom(std::as_const(copy)[i], codePage);
        }
        return copy;
    }
    default:
        return v;
    }
}

bool blank(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

} // namespace

std::string trimText(std::string_view text)
{
    std::size_t b = 0, e = text.size();
    while (b < e && blank(text[b]))
        ++b;
    while (e > b && blank(text[e - 1]))
        --e;
    return std::string(text.substr(b, e - b));
}

bool tryStrToInt(std::string_view text, int& out)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size())
        return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        if (d < 0)
            return false;
        v = v * base + d;
        if (v > 0x100000000LL)
            return false;
    }
    if (negative)
        v = -v;
    if (base == 10 && (v < INT32_MIN || v > INT32_MAX))
        return false;
    if (base == 16 && v > 0xFFFFFFFFLL)
        return false;
    out = int(std::uint32_t(v));   // hexadecimal may spell the negative ones, as "$FFFFFFFF"
    if (base == 10)
        out = int(v);
    return true;
}

int strToIntDef(std::string_view text, int def)
{
    int v = 0;
    return tryStrToInt(text, v) ? v : def;
}

std::string safeVarToStr(const Variant& v)
{
    switch (v.type()) {
    case VarType::Empty:
    case VarType::Null:
    case VarType::Array:
    case VarType::Dispatch:
        return {};
    default:
        try {
            return v.toString();
        } catch (const Exception&) {
            return {};
        }
    }
}

std::string PadRight(std::string_view text, int width, char32_t fill)
{
    std::string r(text);
    const std::size_t len = utf8Length(text);
    if (width > 0 && len < std::size_t(width)) {
        const std::string f = toUtf8(fill);
        for (std::size_t k = len; k < std::size_t(width); ++k)
            r += f;
    }
    return r;
}

std::string GetField(std::string_view text, std::string_view delimiter, int n)
{
    if (n < 1)
        return {};
    if (delimiter.empty())
        return n == 1 ? std::string(text) : std::string();
    std::size_t start = 0;
    for (int field = 1; field < n; ++field) {
        const std::size_t at = text.find(delimiter, start);
        if (at == std::string_view::npos)
            return {};
        start = at + delimiter.size();
    }
    const std::size_t end = text.find(delimiter, start);
    return std::string(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

int CountFields(std::string_view text, std::string_view delimiter)
{
    if (text.empty())
        return 0;
    if (delimiter.empty())
        return 1;
    int n = 1;
    for (std::size_t at = text.find(delimiter); at != std::string_view::npos; at = text.find(delimiter, at + delimiter.size()))
        ++n;
    return n;
}

void CutField(std::string& text, std::string_view delimiter, std::string& head)
{
    const std::size_t at = delimiter.empty() ? std::string::npos : text.find(delimiter);
    if (at == std::string::npos) {
        head = text;
        text.clear();
        return;
    }
    head = text.substr(0, at);
    text.erase(0, at + delimiter.size());
}

Variant IfThenVar(bool condition, const Variant& a, const Variant& b)
{
    return condition ? a : b;
}

bool IsEmptyOrNull(const Variant& value)
{
    return value.isEmptyOrNull();
}

std::string ReplaceAll(std::string_view text, std::string_view oldText, std::string_view newText, bool trim)
{
    std::string r(text);
    if (!oldText.empty() && !SameTextAscii(oldText, newText)) {
        std::string out;
        out.reserve(r.size());
        if (newText.find(oldText) != std::string_view::npos) {
            // Searching again from the start would find the inserted text for ever: go on
            // after each insertion instead.
            std::size_t start = 0;
            for (std::size_t at = r.find(oldText); at != std::string::npos; at = r.find(oldText, start)) {
                out.append(r, start, at - start);
                out.append(newText);
                start = at + oldText.size();
            }
            out.append(r, start, std::string::npos);
        } else {
            // Each replacement searches again from the start. The text before an
            // occurrence holds none, so it is enough to watch the end of what is settled:
            // the first occurrence to end there is the first from the start. What an
            // insertion brings is read again, ahead of the rest.
            //
            // A longer new text can recreate the old one with its neighbours for ever
            // ("ab" -> "bbaa") or double the text each round ("ab" -> "bba"); and even a
            // rewrite of equal length may take many rounds. Past a bound that no sane use
            // reaches, the rest is replaced left to right without going back.
            std::string pending(r.rbegin(), r.rend());
            const std::string newReversed(newText.rbegin(), newText.rend());
            const std::size_t n = r.size();
            const std::size_t sizeLimit = 2 * n + 16 * newText.size() + 4096;
            const std::size_t roundLimit = 64 * n + (n < 4096 ? n * n : 4096 * n) + 1024;
            std::size_t rounds = 0;
            while (!pending.empty()) {
                out.push_back(pending.back());
                pending.pop_back();
                if (out.size() >= oldText.size()
                    && std::string_view(out).substr(out.size() - oldText.size()) == oldText) {
                    out.resize(out.size() - oldText.size());
                    if (++rounds > roundLimit || out.size() + pending.size() + newText.size() > sizeLimit) {
                        out.append(newText);
                        std::string rest(pending.rbegin(), pending.rend());
                        for (std::size_t at = rest.find(oldText), start = 0;; at = rest.find(oldText, start)) {
                            if (at == std::string::npos) {
                                out.append(rest, start, std::string::npos);
                                break;
                            }
                            out.append(rest, start, at - start);
                            out.append(newText);
                            start = at + oldText.size();
                        }
                        pending.clear();
                        break;
                    }
                    pending.append(newReversed);
                }
            }
        }
        r = std::move(out);
    }
    return trim ? trimText(r) : r;
}

std::string GetTempDirectory()
{
    return GetTempPath();
}

bool IsLocalHost(std::string_view address)
{
    return address == "127.0.0.1";
}

std::string WideToCodePage(std::string_view text, int codePage)
{
    int used = 0;
    return toCodePage(text, codePage, used);
}

std::string CodePageToWide(std::string_view bytes, int codePage)
{
    return CodePageToUtf8(bytes, IsSupportedCodePage(codePage) ? codePage : GetACP());
}

Variant VariantToCodePage(const Variant& value, int codePage)
{
    try {
        if (value.type() == VarType::AnsiString) {
            int used = 0;
            std::string bytes = toCodePage(value.toString(), codePage, used);
            return Variant::ansi(std::move(bytes), used);
        }
        return convertTo(value, codePage);
    } catch (const std::exception& e) {
        WriteAlertLog("libstrs", std::string("LINE[2735] ") + e.what(), "D");
        return value;
    }
}

Variant VariantFromCodePage(const Variant& value, int codePage)
{
    try {
        return convertFrom(value, codePage);
    } catch (const std::exception& e) {
        WriteAlertLog("libstrs", std::string("LINE[115] ") + e.what(), "D");
        return value;
    }
}

std::string PackValueList(std::string_view prefix, const Variant& values)
{
    auto element = [&](int i) -> std::string {
        if (!values.isArray() || values.dimCount() != 1 || i < values.lowBound() || i > values.highBound())
            return {};
        return safeVarToStr(values[i]);
    };
    const std::string head = element(0);
    std::string r(prefix);
    r += kFieldMark;
    r += head;
    r += kFieldMark;
    const int count = strToIntDef(trimText(head), 0);
    for (int i = 1; i <= count; ++i) {
        r += element(i);
        r += kFieldMark;
    }
    return r;
}

std::string StripMaskLiterals(std::string_view value, std::string_view mask)
{
    const EditMask m(mask);
    if (!m.isMasked())
        return std::string(value);
    return m.stripLiterals(m.editTextFromText(value));
}

std::string LocalButtonCaption(std::string_view caption)
{
    static const std::pair<std::string_view, std::string_view> captions[] = {
        {"Yes", "是(&Y)"},        {"No", "否(&N)"},         {"OK", "确定"},
        {"Cancel", "取消"},       {"Abort", "中断(&A)"},    {"Retry", "重试(&R)"},
        {"Ignore", "忽略(&I)"},   {"All", "全部(&A)"},      {"NoToAll", "全否(&o)"},
        {"YesToAll", "全是(&A)"}, {"Help", "帮助(&H)"},
    };
    for (const auto& [en, zh] : captions)
        if (caption == en)
            return std::string(zh);
    return std::string(caption);
}

double TextToFloatDef(std::string_view text, double def)
{
    const std::string t = trimText(text);
    if (t.empty())
        return def;
    // Rewrite to the C form with the process's decimal separator as the point.
    const std::u32string u = toUtf32(t);
    const char32_t point = decimalSeparator();
    std::string c;
    bool digits = false;
    std::size_t i = 0;
    if (i < u.size() && (u[i] == U'+' || u[i] == U'-'))
        c += char(u[i++]);
    while (i < u.size() && u[i] >= U'0' && u[i] <= U'9') {
        c += char(u[i++]);
        digits = true;
    }
    if (i < u.size() && u[i] == point) {
        c += '.';
        ++i;
        while (i < u.size() && u[i] >= U'0' && u[i] <= U'9') {
            c += char(u[i++]);
            digits = true;
        }
    }
    if (!digits)
        return def;
    if (i < u.size() && (u[i] == U'e' || u[i] == U'E')) {
        c += 'e';
        ++i;
        if (i < u.size() && (u[i] == U'+' || u[i] == U'-'))
            c += char(u[i++]);
        bool expDigits = false;
        while (i < u.size() && u[i] >= U'0' && u[i] <= U'9') {
            c += char(u[i++]);
            expDigits = true;
        }
        if (!expDigits)
            return def;
    }
    if (i != u.size())
        return def;
    errno = 0;
    const double v = std::strtod(c.c_str(), nullptr);
    if (errno == ERANGE && std::isinf(v))
        return def;
    return v;
}
