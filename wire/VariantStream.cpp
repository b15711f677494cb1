#include "wire/VariantStream.h"

#include <bit>
#include <cstring>
#include <limits>

namespace {

constexpr int kMaxDepth = 64;
constexpr std::int8_t kExtNull = 1;
constexpr std::int8_t kExtDate = 2;
constexpr std::int8_t kExtAnsi = 3;

class Writer {
public:
    std::string out;

    void byte(unsigned v) { out.push_back(char(v & 0xff)); }
    void be(std::uint64_t v, int bytes)
    {
        for (int i = bytes - 1; i >= 0; --i)
            byte(unsigned(v >> (8 * i)));
    }
    void int32(std::int32_t v)
    {
        byte(0xd2);
        be(std::uint32_t(v), 4);
    }
    void float64(double v) { be(std::bit_cast<std::uint64_t>(v), 8); }

    void length(std::size_t n, unsigned fix, unsigned fixMax, unsigned c8, unsigned c16, unsigned c32)
    {
        if (fix && n <= fixMax) {
            byte(fix | unsigned(n));
        } else if (c8 && n <= 0xff) {
            byte(c8);
            be(n, 1);
        } else if (n <= 0xffff) {
            byte(c16);
            be(n, 2);
        } else if (n <= 0xffffffffu) {
            byte(c32);
            be(n, 4);
        } else {
            throw VariantError("A value is too long to be stored");
        }
    }
    void ext(std::int8_t type, std::string_view data)
    {
        const std::size_t n = data.size();
        if (n == 1 || n == 2 || n == 4 || n == 8 || n == 16) {
            static constexpr unsigned fixCode[17] = {0, 0xd4, 0xd5, 0, 0xd6, 0, 0, 0, 0xd7, 0, 0, 0, 0, 0, 0, 0, 0xd8};
            byte(fixCode[n]);
        } else {
            length(n, 0, 0, 0xc7, 0xc8, 0xc9);
        }
        byte(std::uint8_t(type));
        out.append(data);
    }

    void value(const Variant& v)
    {
        switch (v.type()) {
        case VarType::Empty:
            byte(0xc0);
            return;
        case VarType::Null:
            ext(kExtNull, {});
            return;
        case VarType::Bool:
            byte(v.toBool() ? 0xc3 : 0xc2);
            return;
        case VarType::Int:
            int32(v.toInt());
            return;
        case VarType::Int64:
            byte(0xd3);
            be(std::uint64_t(v.toInt64()), 8);
            return;
        case VarType::Double:
            byte(0xcb);
            float64(v.toDouble());
            return;
        case VarType::Date: {
            Writer d;
            d.float64(v.toDate());
            ext(kExtDate, d.out);
            return;
        }
        case VarType::String: {
            const std::string s = v.toString();
            length(s.size(), 0xa0, 31, 0xd9, 0xda, 0xdb);
            out += s;
            return;
        }
        case VarType::AnsiString: {
            Writer d;
            d.be(std::uint32_t(v.ansiCodePage()), 4);
            d.out += v.ansiBytes();
            ext(kExtAnsi, d.out);
            return;
        }
        case VarType::Array:
            array(v);
            return;
        case VarType::Dispatch:
            throw VariantError("An automation object cannot be stored");
        }
    }

    void array(const Variant& v)
    {
        const int dims = v.dimCount();
        std::size_t count = std::size_t(v.count(1));
        if (dims == 2)
            count *= std::size_t(v.count(2));
        length(count + 1, 0x90, 15, 0, 0xdc, 0xdd);
        byte(0x90 | unsigned(2 * dims));
        for (int d = 1; d <= dims; ++d) {
            int32(v.lowBound(d));
            int32(v.highBound(d));
        }
        if (dims == 1) {
            for (int i = v.lowBound(1); i <= v.highBound(1); ++i)
                value(v[i]);
        } else {
            for (int i = v.lowBound(1); i <= v.highBound(1); ++i)
                for (int j = v.lowBound(2); j <= v.highBound(2); ++j)
                    value(v.at(i, j));
        }
    }
};

class Reader {
public:
    explicit Reader(std::string_view in) : in_(in) {}

    bool atEnd() const { return pos_ == in_.size(); }

    Variant value(int depth)
    {
        const unsigned c = byte();
        if (c <= 0x7f)
            return Variant(int(c));
        if (c >= 0xe0)
            return Variant(int(std::int8_t(c)));
        if ((c & 0xe0) == 0xa0)
            return Variant(text(c & 0x1f));
        if ((c & 0xf0) == 0x90)
            return array(c & 0x0f, depth);
        switch (c) {
        case 0xc0:
            return Variant();
        case 0xc2:
            return Variant(false);
        case 0xc3:
            return Variant(true);
        case 0xcc:
            return Variant(int(be(1)));
        case 0xcd:
            return Variant(int(be(2)));
        case 0xce:
            return integer(std::int64_t(be(4)));
        case 0xcf: {
            const std::uint64_t u = be(8);
            if (u > std::uint64_t(std::numeric_limits<std::int64_t>::max()))
                fail("an integer beyond 64 bits");
            return integer(std::int64_t(u));
        }
        case 0xd0:
            return Variant(int(std::int8_t(be(1))));
        case 0xd1:
            return Variant(int(std::int16_t(be(2))));
        case 0xd2:
            return Variant(int(std::int32_t(be(4))));
        case 0xd3:
            return Variant(std::int64_t(be(8)));
        case 0xca:
            return Variant(double(std::bit_cast<float>(std::uint32_t(be(4)))));
        case 0xcb:
            return Variant(std::bit_cast<double>(be(8)));
        case 0xd9:
            return Variant(text(std::size_t(be(1))));
        case 0xda:
            return Variant(text(std::size_t(be(2))));
        case 0xdb:
            return Variant(text(std::size_t(be(4))));
        case 0xdc:
            return array(std::size_t(be(2)), depth);
        case 0xdd:
            return array(std::size_t(be(4)), depth);
        case 0xd4:
            return ext(1);
        case 0xd5:
            return ext(2);
        case 0xd6:
            return ext(4);
        case 0xd7:
            return ext(8);
        case 0xd8:
            return ext(16);
        case 0xc7:
            return ext(std::size_t(be(1)));
        case 0xc8:
            return ext(std::size_t(be(2)));
        case 0xc9:
            return ext(std::size_t(be(4)));
        default:
            fail("a kind of value that a Variant cannot hold (code " + std::to_string(c) + ")");
        }
    }

private:
    [[noreturn]] void fail(const std::string& what) const
    {
        throw VariantError("Stored value unreadable at byte " + std::to_string(pos_) + ": " + what);
    }

    void need(std::size_t n) const
    {
        if (n > in_.size() - pos_)
            fail("it ends too early");
    }
    unsigned byte()
    {
        need(1);
        return static_cast<unsigned char>(in_[pos_++]);
    }
    std::uint64_t be(int bytes)
    {
        need(std::size_t(bytes));
        std::uint64_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v = (v << 8) | static_cast<unsigned char>(in_[pos_++]);
        return v;
    }
    std::string_view take(std::size_t n)
    {
        need(n);
        const std::string_view s = in_.substr(pos_, n);
        pos_ += n;
        return s;
    }
    std::string text(std::size_t n) { return std::string(take(n)); }

    static Variant integer(std::int64_t v)
    {
        if (v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max())
            return Variant(int(v));
        return Variant(v);
    }

    std::int32_t bound()
    {
        const unsigned c = byte();
        if (c <= 0x7f)
            return std::int32_t(c);
        if (c >= 0xe0)
            return std::int8_t(c);
        switch (c) {
        case 0xd0:
            return std::int8_t(be(1));
        case 0xd1:
            return std::int16_t(be(2));
        case 0xd2:
            return std::int32_t(be(4));
        case 0xcc:
            return std::int32_t(be(1));
        case 0xcd:
            return std::int32_t(be(2));
        default:
            fail("an array bound that is no 32-bit integer");
        }
    }

    Variant array(std::size_t n, int depth)
    {
        if (depth >= kMaxDepth)
            fail("arrays nested deeper than " + std::to_string(kMaxDepth));
        if (n == 0)
            fail("an array without its bounds");
        const unsigned head = byte();
        const unsigned boundCount = (head & 0xf0) == 0x90 ? head & 0x0f : 0;
        if (boundCount != 2 && boundCount != 4)
            fail("array bounds that are neither [low, high] nor [low1, high1, low2, high2]");
        std::int64_t low[2] = {0, 0}, high[2] = {0, 0};
        std::uint64_t counts[2] = {1, 1};
        for (unsigned d = 0; d < boundCount / 2; ++d) {
            low[d] = bound();
            high[d] = bound();
            if (high[d] < low[d] - 1)
                fail("an array whose high bound lies below its low bound");
            counts[d] = std::uint64_t(high[d] - low[d] + 1);
        }
        // Each element takes at least one byte: a count beyond the rest is a lie (checked
        // per dimension first, so that the product cannot overflow).
        const std::uint64_t rest = in_.size() - pos_;
        if ((counts[0] > rest && counts[1] != 0) || (counts[1] > rest && counts[0] != 0))
            fail("an array whose bounds do not match its elements");
        const std::uint64_t count = counts[0] * counts[1];
        if (count != n - 1 || count > rest)
            fail("an array whose bounds do not match its elements");
        if (boundCount == 2) {
            Variant a = Variant::array(int(low[0]), int(high[0]));
            for (std::int64_t i = low[0]; i <= high[0]; ++i)
                a[int(i)] = value(depth + 1);
            return a;
        }
        Variant a = Variant::array2(int(low[0]), int(high[0]), int(low[1]), int(high[1]));
        for (std::int64_t i = low[0]; i <= high[0]; ++i)
            for (std::int64_t j = low[1]; j <= high[1]; ++j)
                a.at(int(i), int(j)) = value(depth + 1);
        return a;
    }

    Variant ext(std::size_t n)
    {
        const auto type = std::int8_t(byte());
        const std::string_view data = take(n);
        switch (type) {
        case kExtNull:
            if (n != 0)
                fail("a Null with data");
            return Variant::null();
        case kExtDate:
            if (n != 8)
                fail("a date that is not 8 bytes");
            return Variant::date(std::bit_cast<double>(Reader(data).be(8)));
        case kExtAnsi: {
            if (n < 4)
                fail("a code-page text without its code page");
            Reader r(data);
            const auto codePage = std::int32_t(r.be(4));
            return Variant::ansi(std::string(data.substr(4)), codePage);
        }
        default:
            fail("an extension type " + std::to_string(type) + " that a Variant cannot hold");
        }
    }

    std::string_view in_;
    std::size_t pos_ = 0;
};

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

} // namespace

std::string EncodeVariant(const Variant& value)
{
    Writer w;
    w.value(value);
    return std::move(w.out);
}

Variant DecodeVariant(std::string_view bytes)
{
    Reader r(bytes);
    Variant v = r.value(0);
    if (!r.atEnd())
        throw VariantError("Stored value unreadable: more bytes follow the value");
    return v;
}

std::string EncodeVariantText(const Variant& value)
{
    return EncodeBase64(EncodeVariant(value));
}

Variant DecodeVariantText(std::string_view text)
{
    try {
        return DecodeVariant(DecodeBase64(text));
    } catch (const VariantError&) {
        throw;
    } catch (const Exception& e) {
        throw VariantError(e.what());
    }
}

std::string EncodeBase64(std::string_view bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = unsigned(static_cast<unsigned char>(bytes[i])) << 16
                           | unsigned(static_cast<unsigned char>(bytes[i + 1])) << 8
                           | unsigned(static_cast<unsigned char>(bytes[i + 2]));
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest) {
        unsigned v = unsigned(static_cast<unsigned char>(bytes[i])) << 16;
        if (rest == 2)
            v |= unsigned(static_cast<unsigned char>(bytes[i + 1])) << 8;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string DecodeBase64(std::string_view text)
{
    if (text.size() % 4 != 0)
        throw Exception("Base64 text of a length that is no multiple of 4");
    std::string out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        unsigned v = 0;
        int pad = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const char c = text[i + k];
            unsigned d = 0;
            if (c == '=' && i + 4 == text.size() && k >= 2) {
                ++pad;
            } else {
                const char* at = pad ? nullptr : std::strchr(kAlphabet, c);
                if (!at || c == 0)
                    throw Exception("Base64 text with an unexpected character at " + std::to_string(i + k));
                d = unsigned(at - kAlphabet);
            }
            v = (v << 6) | d;
        }
        out += char((v >> 16) & 0xff);
        if (pad < 2)
            out += char((v >> 8) & 0xff);
        if (pad < 1)
            out += char(v & 0xff);
    }
    return out;
}
