#include "support/Utf8.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at s[i], advancing i; malformed input consumes one byte.
char32_t decodeOne(std::string_view s, std::size_t& i)
{
    const unsigned char c = static_cast<unsigned char>(s[i]);
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (c < 0x80) {
        ++i;
        return c;
    } else if ((c >> 5) == 0x6) {
        extra = 1;
        cp = c & 0x1F;
        min = 0x80;
    } else if ((c >> 4) == 0xE) {
        extra = 2;
        cp = c & 0x0F;
        min = 0x800;
    } else if ((c >> 3) == 0x1E) {
        extra = 3;
        cp = c & 0x07;
        min = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    if (i + std::size_t(extra) >= s.size()) {
        ++i;
        return kReplacement;
    }
    for (int k = 1; k <= extra; ++k) {
        const unsigned char t = static_cast<unsigned char>(s[i + std::size_t(k)]);
        if ((t >> 6) != 0x2) {
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (t & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += std::size_t(extra) + 1;
    return cp;
}

} // namespace

std::u32string toUtf32(std::string_view utf8)
{
    std::u32string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size())
        out.push_back(decodeOne(utf8, i));
    return out;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = kReplacement;
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

std::string toUtf8(std::u32string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text)
        appendUtf8(out, c);
    return out;
}

std::string toUtf8(char32_t c)
{
    std::string out;
    appendUtf8(out, c);
    return out;
}

std::size_t utf8Length(std::string_view utf8)
{
    std::size_t n = 0;
    std::size_t i = 0;
    while (i < utf8.size()) {
        decodeOne(utf8, i);
        ++n;
    }
    return n;
}

std::string firstUtf8Char(std::string_view utf8)
{
    if (utf8.empty())
        return {};
    std::size_t i = 0;
    decodeOne(utf8, i);
    return std::string(utf8.substr(0, i));
}
