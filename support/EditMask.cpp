#include "support/EditMask.h"
#include "support/FormatSettings.h"
#include "support/Utf8.h"

namespace {

bool isAsciiDigit(char32_t c)
{
    return c >= U'0' && c <= U'9';
}

// Letters as the platform's character test saw them: Latin letters, and the letters and
// ideographs of other scripts; punctuation, symbols and digits are not letters.
bool isLetter(char32_t c)
{
    if (c < 0x80)
        return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
    if (c < 0x100)
        return c >= 0xC0 && c != 0xD7 && c != 0xF7;
    if (c >= 0x2000 && c <= 0x2BFF)   // punctuation, symbols, arrows, box drawing
        return false;
    if (c >= 0x3000 && c <= 0x303F)   // CJK punctuation
        return false;
    if (c >= 0xD800 && c <= 0xF8FF)   // surrogates and private use
        return false;
    if (c >= 0xFE30 && c <= 0xFE4F)   // CJK compatibility forms
        return false;
    if (c >= 0xFF00 && c <= 0xFF20)   // full-width punctuation and digits
        return false;
    if ((c >= 0xFF3B && c <= 0xFF40) || (c >= 0xFF5B && c <= 0xFF65) || (c >= 0xFFE0 && c <= 0xFFFF))
        return false;
    return true;
}

bool isDigitChar(char32_t c)
{
    return isAsciiDigit(c) || (c >= 0xFF10 && c <= 0xFF19);
}

char32_t upper(char32_t c)
{
    if (c >= U'a' && c <= U'z')
        return c - 32;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return c - 32;
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2)   // Greek
        return c - 32;
    if (c >= 0x430 && c <= 0x44F)                 // Cyrillic
        return c - 32;
    if (c >= 0xFF41 && c <= 0xFF5A)               // full-width Latin
        return c - 32;
    return c;
}

char32_t lower(char32_t c)
{
    if (c >= U'A' && c <= U'Z')
        return c + 32;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 32;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2)
        return c + 32;
    if (c >= 0x410 && c <= 0x42F)
        return c + 32;
    if (c >= 0xFF21 && c <= 0xFF3A)
        return c + 32;
    return c;
}

bool isEscaped(std::u32string_view s, std::size_t i)
{
    std::size_t n = 0;
    while (i > 0 && s[i - 1] == U'\\') {
        ++n;
        --i;
    }
    return n % 2 == 1;
}

bool unescapedSemicolon(std::u32string_view s, std::size_t i)
{
    return s[i] == U';' && !isEscaped(s, i);
}

} // namespace

char32_t EditMask::Slot::shown() const
{
    switch (cls) {
    case CharClass::DateSeparator:
        return dateSeparator();
    case CharClass::TimeSeparator:
        return timeSeparator();
    default:
        return literal;
    }
}

EditMask::EditMask(std::string_view mask) : mask_(mask)
{
    std::u32string all = toUtf32(mask);
    // The save and blank fields hang off the end: "...;s;b", "...;s;" or "...;s".
    std::u32string_view m = all;
    const std::size_t n = all.size();
    if (n >= 4 && unescapedSemicolon(all, n - 2) && unescapedSemicolon(all, n - 4)) {
        saveLiterals_ = all[n - 3] != U'0';
        blank_ = all[n - 1];
        m = m.substr(0, n - 4);
    } else if (n >= 3 && unescapedSemicolon(all, n - 1) && unescapedSemicolon(all, n - 3)) {
        saveLiterals_ = all[n - 2] != U'0';
        m = m.substr(0, n - 3);
    } else if (n >= 2 && unescapedSemicolon(all, n - 2)) {
        saveLiterals_ = all[n - 1] != U'0';
        m = m.substr(0, n - 2);
    } else if (n >= 1 && unescapedSemicolon(all, n - 1)) {
        m = m.substr(0, n - 1);
    }

    Casing casing = Casing::AsTyped;
    bool afterLower = false;
    for (std::size_t i = 0; i < m.size(); ++i) {
        const char32_t c = m[i];
        const bool wasAfterLower = afterLower;
        afterLower = false;
        Slot s;
        switch (c) {
        case U'\\':
            if (i + 1 < m.size()) {
                s.literal = m[++i];
                slots_.push_back(s);
            }
            continue;
        case U'!':
            reverse_ = true;
            continue;
        case U'>':
            // "<>" switches case conversion off.
            casing = wasAfterLower ? Casing::AsTyped : Casing::Upper;
            continue;
        case U'<':
            casing = Casing::Lower;
            afterLower = true;
            continue;
        case U'L':
        case U'l':
            s.cls = CharClass::Letter;
            break;
        case U'A':
        case U'a':
            s.cls = CharClass::LetterOrDigit;
            break;
        case U'C':
        case U'c':
            s.cls = CharClass::Any;
            break;
        case U'0':
        case U'9':
            s.cls = CharClass::Digit;
            break;
        case U'#':
            s.cls = CharClass::DigitOrSign;
            break;
        case U'/':
            s.cls = CharClass::DateSeparator;
            break;
        case U':':
            s.cls = CharClass::TimeSeparator;
            break;
        case U'_':
            s.literal = U' ';
            break;
        default:
            s.literal = c;
            break;
        }
        if (s.editable()) {
            s.required = c == U'L' || c == U'A' || c == U'C' || c == U'0';
            s.casing = casing;
        }
        slots_.push_back(s);
    }
}

bool EditMask::isEditable(int pos) const
{
    return pos >= 0 && pos < length() && slots_[std::size_t(pos)].editable();
}

bool EditMask::isRequired(int pos) const
{
    return isEditable(pos) && slots_[std::size_t(pos)].required;
}

int EditMask::nextEditable(int pos) const
{
    for (int i = pos < 0 ? 0 : pos; i < length(); ++i)
        if (slots_[std::size_t(i)].editable())
            return i;
    return -1;
}

int EditMask::previousEditable(int pos) const
{
    for (int i = (pos > length() ? length() : pos) - 1; i >= 0; --i)
        if (slots_[std::size_t(i)].editable())
            return i;
    return -1;
}

std::optional<char32_t> EditMask::acceptChar(int pos, char32_t ch) const
{
    if (!isEditable(pos))
        return std::nullopt;
    const Slot& s = slots_[std::size_t(pos)];
    switch (s.cls) {
    case CharClass::Digit:
        if (!isAsciiDigit(ch))
            return std::nullopt;
        return ch;
    case CharClass::DigitOrSign:
        if (!isAsciiDigit(ch) && ch != U'+' && ch != U'-' && ch != U' ')
            return std::nullopt;
        return ch;
    case CharClass::Letter:
        if (!isLetter(ch))
            return std::nullopt;
        break;
    case CharClass::LetterOrDigit:
        if (!isLetter(ch) && !isDigitChar(ch))
            return std::nullopt;
        break;
    case CharClass::Any:
        if (ch < 0x20 || ch == 0x7F)
            return std::nullopt;
        break;
    default:
        return std::nullopt;
    }
    if (s.casing == Casing::Upper)
        return upper(ch);
    if (s.casing == Casing::Lower)
        return lower(ch);
    return ch;
}

std::optional<EditMask::Typed> EditMask::typeChar(std::string_view editText, int cursor, char32_t ch) const
{
    if (!isMasked() || cursor < 0 || cursor >= length())
        return std::nullopt;
    std::u32string text = toUtf32(editText);
    if (text.size() != slots_.size())
        text = layout(text, blank_);
    const Slot& here = slots_[std::size_t(cursor)];
    if (!here.editable() && here.shown() == ch) {
        const int next = nextEditable(cursor + 1);
        return Typed{toUtf8(text), next < 0 ? length() : next};
    }
    const int pos = nextEditable(cursor);
    if (pos < 0)
        return std::nullopt;
    const auto stored = acceptChar(pos, ch);
    if (!stored)
        return std::nullopt;
    text[std::size_t(pos)] = *stored;
    const int next = nextEditable(pos + 1);
    return Typed{toUtf8(text), next < 0 ? length() : next};
}

std::string EditMask::clearRange(std::string_view editText, int start, int count) const
{
    std::u32string text = toUtf32(editText);
    if (text.size() != slots_.size())
        text = layout(text, blank_);
    const int from = start < 0 ? 0 : start;
    const long long to = (long long)start + (count < 0 ? 0 : count);
    for (int i = from; i < length() && i < to; ++i)
        if (slots_[std::size_t(i)].editable())
            text[std::size_t(i)] = blank_;
    return toUtf8(text);
}

std::u32string EditMask::layout(std::u32string_view value, char32_t blank) const
{
    std::u32string r(value);
    const std::size_t len = slots_.size();
    if (!reverse_) {
        std::size_t off = 0;
        for (const Slot& s : slots_) {
            if (!s.editable())
                r.insert(off, 1, s.shown());
            else if (off >= r.size())
                r.push_back(blank);
            ++off;
        }
        if (r.size() > len)
            r.resize(len);
    } else {
        // From the end: literals go in behind the characters still to place, and what
        // the value lacks becomes blanks in front.
        std::size_t off = r.size();
        for (auto it = slots_.rbegin(); it != slots_.rend(); ++it) {
            if (!it->editable())
                r.insert(off, 1, it->shown());
            else if (off == 0)
                r.insert(r.begin(), blank);
            else
                --off;
        }
        if (r.size() > len)
            r.erase(0, r.size() - len);
    }
    return r;
}

std::u32string EditMask::padLiterals(std::u32string_view value, char32_t blank) const
{
    std::u32string r(value);
    // Pads or cuts r[from, from + have) to width characters.
    auto fit = [&](std::size_t from, std::size_t have, std::size_t width) {
        if (have < width)
            r.insert(reverse_ ? from : from + have, width - have, U' ');
        else if (have > width)
            r.erase(reverse_ ? from : from + width, have - width);
    };
    std::size_t fieldStart = 0;
    for (std::size_t p = 0; p < slots_.size(); ++p) {
        const Slot& s = slots_[p];
        if (s.editable())
            continue;
        const char32_t lit = s.shown();
        std::size_t at = fieldStart <= r.size() ? r.find(lit, fieldStart) : std::u32string::npos;
        if (at == std::u32string::npos) {
            if (r.size() < fieldStart)
                r.resize(fieldStart, U' ');
            r.push_back(lit);
            at = r.size() - 1;
        }
        fit(fieldStart, at - fieldStart, p - fieldStart);
        fieldStart = p + 1;
    }
    if (r.size() < fieldStart)
        r.resize(fieldStart, U' ');
    fit(fieldStart, r.size() - fieldStart, slots_.size() - fieldStart);
    for (std::size_t p = 0; p < r.size() && p < slots_.size(); ++p)
        if (slots_[p].editable() && r[p] == U' ')
            r[p] = blank;
    return r;
}

std::string EditMask::clearedEditText() const
{
    return toUtf8(layout(U"", blank_));
}

std::string EditMask::editTextFromText(std::string_view text) const
{
    if (!isMasked())
        return std::string(text);
    const std::u32string v = toUtf32(text);
    return toUtf8(saveLiterals_ ? padLiterals(v, blank_) : layout(v, blank_));
}

std::string EditMask::stripLiterals(std::string_view editText) const
{
    if (!isMasked())
        return std::string(editText);
    const std::u32string text = toUtf32(editText);
    std::u32string r;
    r.reserve(text.size());
    for (std::size_t p = 0; p < text.size(); ++p)
        if (p >= slots_.size() || slots_[p].editable())
            r.push_back(text[p]);
    if (reverse_) {
        std::size_t lead = 0;
        while (lead < r.size() && r[lead] == blank_)
            ++lead;
        r.erase(0, lead);
    } else {
        while (!r.empty() && r.back() == blank_)
            r.pop_back();
    }
    for (char32_t& c : r)
        if (c == blank_)
            c = U' ';
    return toUtf8(r);
}

std::string EditMask::textFromEditText(std::string_view editText) const
{
    if (!isMasked())
        return std::string(editText);
    const std::string stripped = stripLiterals(editText);
    if (!saveLiterals_)
        return stripped;
    return toUtf8(layout(toUtf32(stripped), U' '));
}

std::string EditMask::clearedText() const
{
    return textFromEditText(clearedEditText());
}

int EditMask::firstMissing(std::string_view editText) const
{
    const std::u32string text = toUtf32(editText);
    if (text.empty())
        return -1;
    for (std::size_t p = 0; p < slots_.size(); ++p) {
        const Slot& s = slots_[p];
        if (!s.editable() || !s.required)
            continue;
        if (p >= text.size())
            return int(p);
        const char32_t c = text[p];
        if (c == blank_ || (c == U' ' && s.cls != CharClass::Any))
            return int(p);
    }
    return -1;
}

std::string FormatMaskText(std::string_view mask, std::string_view value)
{
    const EditMask m(mask);
    if (!m.isMasked())
        return std::string(value);
    const std::u32string v = toUtf32(value);
    return toUtf8(m.saveLiterals() ? m.padLiterals(v, U' ') : m.layout(v, U' '));
}
