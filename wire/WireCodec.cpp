#include "wire/WireCodec.h"
#include "platform/CodePage.h"

#include <msgpack.hpp>

#include <bit>
#include <cstring>
#include <limits>

namespace {

constexpr int kMaxDepth = 64;
constexpr std::int8_t kExtNull = 1;
constexpr std::int8_t kExtDate = 2;
constexpr std::int8_t kExtAnsi = 3;
constexpr std::int8_t kExtInt64 = 4;

// The packer writes straight into the buffer, so raw bytes may go between its calls.
struct Packer : msgpack::packer<msgpack::sbuffer> {
    explicit Packer(msgpack::sbuffer& b) : msgpack::packer<msgpack::sbuffer>(b), buffer(b) {}
    msgpack::sbuffer& buffer;
};

void putBe(char* out, std::uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out[i] = char((v >> (8 * (bytes - 1 - i))) & 0xff);
}

std::uint64_t getBe(const char* in, int bytes)
{
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | std::uint8_t(in[i]);
    return v;
}

void packExt(Packer& p, std::int8_t type, std::string_view data)
{
    p.pack_ext(data.size(), type);
    p.pack_ext_body(data.data(), std::uint32_t(data.size()));
}

void pack(Packer& p, const Variant& v)
{
    switch (v.type()) {
    case VarType::Empty:
        p.pack_nil();
        return;
    case VarType::Null:
        packExt(p, kExtNull, {});
        return;
    case VarType::Bool:
        if (v.toBool())
            p.pack_true();
        else
            p.pack_false();
        return;
    case VarType::Int:
        p.pack_int32(v.toInt());
        return;
    case VarType::Int64: {
        char b[8];
        putBe(b, std::uint64_t(v.toInt64()), 8);
        packExt(p, kExtInt64, {b, 8});
        return;
    }
    case VarType::Double: {
        // Always float64: the library's pack_double makes 2.0 an integer, which would come
        // back as Int.
        char b[9];
        b[0] = char(0xcb);
        putBe(b + 1, std::bit_cast<std::uint64_t>(v.toDouble()), 8);
        p.buffer.write(b, sizeof b);
        return;
    }
    case VarType::Date: {
        char b[8];
        putBe(b, std::bit_cast<std::uint64_t>(v.toDate()), 8);
        packExt(p, kExtDate, {b, 8});
        return;
    }
    case VarType::String: {
        const std::string s = v.toString();
        p.pack_str(std::uint32_t(s.size()));
        p.pack_str_body(s.data(), std::uint32_t(s.size()));
        return;
    }
    case VarType::AnsiString: {
        std::string d(4, '\0');
        putBe(d.data(), std::uint32_t(v.ansiCodePage()), 4);
        d += v.ansiBytes();
        packExt(p, kExtAnsi, d);
        return;
    }
    case VarType::Array: {
        const int dims = v.dimCount();
        std::size_t count = std::size_t(v.count(1));
        if (dims == 2)
            count *= std::size_t(v.count(2));
        if (count + 1 > std::numeric_limits<std::uint32_t>::max())
            throw VariantError("An array is too large to be sent");
        p.pack_array(std::uint32_t(count + 1));
        p.pack_array(std::uint32_t(2 * dims));
        for (int d = 1; d <= dims; ++d) {
            p.pack_int32(v.lowBound(d));
            p.pack_int32(v.highBound(d));
        }
        // By count: a high bound of INT_MAX has no index after it.
        const int rows = v.count(1);
        if (dims == 1) {
            for (int i = 0; i < rows; ++i)
                pack(p, v[v.lowBound(1) + i]);
        } else {
            const int columns = v.count(2);
            for (int i = 0; i < rows; ++i)
                for (int j = 0; j < columns; ++j)
                    pack(p, v.at(v.lowBound(1) + i, v.lowBound(2) + j));
        }
        return;
    }
    case VarType::Dispatch:
        throw VariantError("An automation object cannot be sent to or from the application server");
    }
}

[[noreturn]] void bad(const std::string& why)
{
    throw VariantError("Malformed value from the connection: " + why);
}

// RFC 3629: no overlong forms, no surrogates, nothing beyond U+10FFFF.
bool validUtf8(const char* p, std::size_t n)
{
    std::size_t i = 0;
    while (i < n) {
        const auto c = std::uint8_t(p[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t more = 0;
        std::uint8_t low = 0x80, high = 0xbf; // the range of the second byte
        if (c >= 0xc2 && c <= 0xdf) {
            more = 1;
        } else if (c >= 0xe0 && c <= 0xef) {
            more = 2;
            if (c == 0xe0)
                low = 0xa0;
            else if (c == 0xed)
                high = 0x9f;
        } else if (c >= 0xf0 && c <= 0xf4) {
            more = 3;
            if (c == 0xf0)
                low = 0x90;
            else if (c == 0xf4)
                high = 0x8f;
        } else {
            return false;
        }
        if (n - i <= more)
            return false;
        const auto second = std::uint8_t(p[i + 1]);
        if (second < low || second > high)
            return false;
        for (std::size_t k = 2; k <= more; ++k)
            if ((std::uint8_t(p[i + k]) & 0xc0) != 0x80)
                return false;
        i += more + 1;
    }
    return true;
}

// The code pages a code-page text may come in: 0 for raw bytes, or one we convert.
bool carriedCodePage(int codePage)
{
    return codePage == 0 || IsSupportedCodePage(codePage);
}

int int32Of(const msgpack::object& o)
{
    if (o.type == msgpack::type::POSITIVE_INTEGER && o.via.u64 <= std::uint64_t(std::numeric_limits<int>::max()))
        return int(o.via.u64);
    if (o.type == msgpack::type::NEGATIVE_INTEGER && o.via.i64 >= std::numeric_limits<int>::min())
        return int(o.via.i64);
    bad("an array bound is not a 32-bit integer");
}

// The elements of low..high: at least 0, at most kMaxWireArrayElements (which fits an
// int), computed in 64 bits so that no pair of 32-bit bounds overflows it. A high bound
// of INT_MAX is refused as well: no index follows it, so every reader that counts an
// index up to the high bound (the usual loop over a Variant array) would overflow.
int dimensionCount(int low, int high)
{
    if (high == std::numeric_limits<int>::max())
        bad("an array whose high bound is " + std::to_string(high) + ", which no index may follow");
    const std::int64_t n = std::int64_t(high) - std::int64_t(low) + 1;
    if (n < 0)
        bad("array bounds that end before they begin");
    if (n > kMaxWireArrayElements)
        bad("array bounds [" + std::to_string(low) + ", " + std::to_string(high) + "] of " + std::to_string(n) +
            " elements, more than the " + std::to_string(kMaxWireArrayElements) + " an array may have");
    return int(n);
}

Variant unpack(const msgpack::object& o, int depth);

Variant unpackArray(const msgpack::object_array& a, int depth)
{
    if (depth >= kMaxDepth)
        bad("arrays nested deeper than " + std::to_string(kMaxDepth));
    if (a.size == 0 || a.ptr[0].type != msgpack::type::ARRAY)
        bad("an array without its bounds");
    const msgpack::object_array& b = a.ptr[0].via.array;
    if (b.size != 2 && b.size != 4)
        bad("an array of neither one nor two dimensions");
    const std::uint32_t dims = b.size / 2;
    int low[2] = {0, 0}, high[2] = {0, -1}, count[2] = {1, 1};
    std::uint64_t total = 1;
    for (std::uint32_t d = 0; d < dims; ++d) {
        low[d] = int32Of(b.ptr[2 * d]);
        high[d] = int32Of(b.ptr[2 * d + 1]);
        count[d] = dimensionCount(low[d], high[d]);
        if (__builtin_mul_overflow(total, std::uint64_t(count[d]), &total) || total > kMaxWireArrayElements)
            bad("an array of more than the " + std::to_string(kMaxWireArrayElements) + " elements an array may have");
    }
    if (total != std::uint64_t(a.size) - 1)
        bad("array bounds that do not fit its elements");
    // By count, never by an index counted up to the high bound.
    const msgpack::object* element = a.ptr + 1;
    if (dims == 1) {
        Variant v = Variant::array(low[0], high[0]);
        for (int i = 0; i < count[0]; ++i)
            v[low[0] + i] = unpack(*element++, depth + 1);
        return v;
    }
    Variant v = Variant::array2(low[0], high[0], low[1], high[1]);
    for (int i = 0; i < count[0] && count[1] > 0; ++i)
        for (int j = 0; j < count[1]; ++j)
            v.at(low[0] + i, low[1] + j) = unpack(*element++, depth + 1);
    return v;
}

Variant unpack(const msgpack::object& o, int depth)
{
    switch (o.type) {
    case msgpack::type::NIL:
        return Variant();
    case msgpack::type::BOOLEAN:
        return Variant(o.via.boolean);
    case msgpack::type::POSITIVE_INTEGER:
        if (o.via.u64 <= std::uint64_t(std::numeric_limits<std::int32_t>::max()))
            return Variant(int(o.via.u64));
        if (o.via.u64 > std::uint64_t(std::numeric_limits<std::int64_t>::max()))
            bad("an integer beyond 64 bits");
        return Variant(std::int64_t(o.via.u64));
    case msgpack::type::NEGATIVE_INTEGER:
        if (o.via.i64 >= std::numeric_limits<std::int32_t>::min())
            return Variant(int(o.via.i64));
        return Variant(std::int64_t(o.via.i64));
    case msgpack::type::FLOAT32:
    case msgpack::type::FLOAT64:
        return Variant(o.via.f64);
    case msgpack::type::STR:
        // Garbled text would be stored and shown as it came: it is refused here instead.
        if (!validUtf8(o.via.str.ptr, o.via.str.size))
            bad("a text that is not valid UTF-8");
        return Variant(std::string(o.via.str.ptr, o.via.str.size));
    case msgpack::type::EXT: {
        const char* d = o.via.ext.data();
        const std::uint32_t n = o.via.ext.size;
        switch (o.via.ext.type()) {
        case kExtNull:
            if (n != 0)
                bad("a Null with data");
            return Variant::null();
        case kExtDate:
            if (n != 8)
                bad("a date of " + std::to_string(n) + " bytes");
            return Variant::date(std::bit_cast<double>(getBe(d, 8)));
        case kExtAnsi: {
            if (n < 4)
                bad("a code-page text without its code page");
            const int codePage = int(std::int32_t(std::uint32_t(getBe(d, 4))));
            if (!carriedCodePage(codePage))
                bad("a code-page text in code page " + std::to_string(codePage) + ", which no text is kept in");
            if (codePage == 65001 && !validUtf8(d + 4, n - 4))
                bad("a code-page text in UTF-8 that is not valid UTF-8");
            return Variant::ansi(std::string(d + 4, n - 4), codePage);
        }
        case kExtInt64:
            if (n != 8)
                bad("a 64-bit integer of " + std::to_string(n) + " bytes");
            return Variant(std::int64_t(getBe(d, 8)));
        default:
            bad("an unknown kind " + std::to_string(int(o.via.ext.type())));
        }
    }
    case msgpack::type::ARRAY:
        return unpackArray(o.via.array, depth);
    default:
        bad("a kind no Variant has");
    }
}

// The first pass over the bytes, before msgpack-cxx builds anything: the library reserves
// room for every element an array announces as soon as it meets the array, so the counts
// of all arrays together are held to the bytes (each element takes at least one), and
// the nesting to the depth a value may have.
class Precheck : public msgpack::null_visitor {
public:
    explicit Precheck(std::size_t bytes) : bytes_(bytes) {}

    bool start_array(std::uint32_t n)
    {
        if (++depth_ > kMaxDepth + 1)
            return refuse("arrays nested deeper than " + std::to_string(kMaxDepth));
        elements_ += n;
        if (elements_ >= bytes_)
            return refuse("arrays of more elements than the " + std::to_string(bytes_) + " bytes could hold");
        return true;
    }
    bool end_array()
    {
        --depth_;
        return true;
    }
    bool start_map(std::uint32_t) { return refuse("a map, which no Variant is"); }
    void parse_error(std::size_t, std::size_t) { refuse("bytes that are no MessagePack"); }
    void insufficient_bytes(std::size_t, std::size_t) { refuse("a value cut short"); }

    const std::string& problem() const { return problem_; }

private:
    bool refuse(std::string why)
    {
        if (problem_.empty())
            problem_ = std::move(why);
        return false;
    }

    std::size_t bytes_;
    std::uint64_t elements_ = 0;
    int depth_ = 0;
    std::string problem_;
};

} // namespace

std::string EncodeWireValue(const Variant& value)
{
    msgpack::sbuffer buffer;
    Packer packer(buffer);
    pack(packer, value);
    return std::string(buffer.data(), buffer.size());
}

Variant DecodeWireValue(std::string_view bytes)
{
    Precheck precheck(bytes.size());
    std::size_t offset = 0;
    if (!msgpack::parse(bytes.data(), bytes.size(), offset, precheck))
        bad(precheck.problem().empty() ? std::string("bytes that are no MessagePack value") : precheck.problem());
    if (offset != bytes.size())
        bad("bytes after the value");
    // Nothing in a frame can hold more elements than it has bytes: the limits keep a
    // forged count from making the reader reserve memory the frame never fills.
    const std::size_t n = std::max<std::size_t>(bytes.size(), 16);
    const msgpack::unpack_limit limits(n, 0, n, 0, n, kMaxDepth + 2);
    msgpack::object_handle handle;
    offset = 0;
    try {
        msgpack::unpack(handle, bytes.data(), bytes.size(), offset, nullptr, nullptr, limits);
    } catch (const std::exception& e) {
        bad(e.what());
    }
    if (offset != bytes.size())
        bad("bytes after the value");
    return unpack(handle.get(), 0);
}
