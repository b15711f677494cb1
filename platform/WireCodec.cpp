#include "platform/WireCodec.h"

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
        if (dims == 1) {
            for (int i = v.lowBound(1); i <= v.highBound(1); ++i)
                pack(p, v[i]);
        } else {
            for (int i = v.lowBound(1); i <= v.highBound(1); ++i)
                for (int j = v.lowBound(2); j <= v.highBound(2); ++j)
                    pack(p, v.at(i, j));
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

int int32Of(const msgpack::object& o)
{
    if (o.type == msgpack::type::POSITIVE_INTEGER && o.via.u64 <= std::uint64_t(std::numeric_limits<int>::max()))
        return int(o.via.u64);
    if (o.type == msgpack::type::NEGATIVE_INTEGER && o.via.i64 >= std::numeric_limits<int>::min())
        return int(o.via.i64);
    bad("an array bound is not a 32-bit integer");
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
        case kExtAnsi:
            if (n < 4)
                bad("a code-page text without its code page");
            return Variant::ansi(std::string(d + 4, n - 4), int(std::int32_t(std::uint32_t(getBe(d, 4)))));
        case kExtInt64:
            if (n != 8)
                bad("a 64-bit integer of " + std::to_string(n) + " bytes");
            return Variant(std::int64_t(getBe(d, 8)));
        default:
            bad("an unknown kind " + std::to_string(int(o.via.ext.type())));
        }
    }
    case msgpack::type::ARRAY: {
        if (depth >= kMaxDepth)
            bad("arrays nested deeper than " + std::to_string(kMaxDepth));
        const msgpack::object_array& a = o.via.array;
        if (a.size == 0 || a.ptr[0].type != msgpack::type::ARRAY)
            bad("an array without its bounds");
        const msgpack::object_array& b = a.ptr[0].via.array;
        if (b.size != 2 && b.size != 4)
            bad("an array of neither one nor two dimensions");
        int low[2], high[2];
        std::uint64_t count = 1;
        for (std::uint32_t d = 0; d < b.size / 2; ++d) {
            low[d] = int32Of(b.ptr[2 * d]);
            high[d] = int32Of(b.ptr[2 * d + 1]);
            const std::int64_t n = std::int64_t(high[d]) - low[d] + 1;
            if (n < 0)
                bad("array bounds that end before they begin");
            count *= std::uint64_t(n);
        }
        if (count != a.size - 1)
            bad("array bounds that do not fit its elements");
        if (b.size == 2) {
            Variant v = Variant::array(low[0], high[0]);
            for (int i = 0; i < int(count); ++i)
                v[low[0] + i] = unpack(a.ptr[1 + i], depth + 1);
            return v;
        }
        Variant v = Variant::array2(low[0], high[0], low[1], high[1]);
        std::uint32_t k = 1;
        for (int i = low[0]; i <= high[0]; ++i)
            for (int j = low[1]; j <= high[1]; ++j)
                v.at(i, j) = unpack(a.ptr[k++], depth + 1);
        return v;
    }
    default:
        bad("a kind no Variant has");
    }
}

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
    // Nothing in a frame can hold more elements than it has bytes: the limits keep a
    // forged count from making the reader reserve memory the frame never fills.
    const std::size_t n = std::max<std::size_t>(bytes.size(), 16);
    const msgpack::unpack_limit limits(n, 0, n, 0, n, kMaxDepth + 2);
    msgpack::object_handle handle;
    std::size_t offset = 0;
    try {
        msgpack::unpack(handle, bytes.data(), bytes.size(), offset, nullptr, nullptr, limits);
    } catch (const std::exception& e) {
        bad(e.what());
    }
    if (offset != bytes.size())
        bad("bytes after the value");
    return unpack(handle.get(), 0);
}
