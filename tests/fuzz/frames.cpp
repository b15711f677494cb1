// The application server's frames as both ends read them: a stream of bytes cut into
// frames by the 4-byte length, each frame's length held against the limit before the
// sign-on, and every payload decoded as one value, named as a message. Properties: a
// decoded value encodes again and decodes to the same value, and its frame says its length;
// what the decoder lets through keeps its bounds: at most two dimensions, no dimension
// longer than kMaxWireArrayElements, no high bound of INT_MAX, no more elements in all
// than the payload has bytes, texts in UTF-8 and code-page texts in a code page we carry.

#include "FuzzSupport.h"

#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "wire/RemoteProtocol.h"
#include "wire/WireCodec.h"

#include <climits>
#include <stdexcept>

namespace {

constexpr std::size_t kSignOnLimit = 64 * 1024;

// Walks the value by count (never by index up to a high bound); elements counts them all.
void checkBounds(const Variant& v, std::uint64_t& elements)
{
    if (v.type() == VarType::String)
        fuzz::check(fuzz::validUtf8(v.toString()), "a decoded text is UTF-8", v.toString());
    if (v.type() == VarType::AnsiString)
        fuzz::check(v.ansiCodePage() == 0 || IsSupportedCodePage(v.ansiCodePage()),
                    "a decoded code-page text is in a code page we carry", std::to_string(v.ansiCodePage()));
    if (!v.isArray())
        return;
    const int dims = v.dimCount();
    fuzz::check(dims == 1 || dims == 2, "a decoded array has one or two dimensions");
    for (int d = 1; d <= dims; ++d) {
        fuzz::check(v.highBound(d) != INT_MAX, "no decoded array ends at INT_MAX");
        fuzz::check(std::int64_t(v.highBound(d)) - v.lowBound(d) + 1 <= kMaxWireArrayElements,
                    "no dimension of a decoded array is longer than the bound", std::to_string(v.count(d)));
    }
    const int rows = v.count(1), columns = dims == 2 ? v.count(2) : 1;
    elements += std::uint64_t(rows) * std::uint64_t(columns);
    fuzz::check(std::uint64_t(rows) * std::uint64_t(columns) <= std::uint64_t(kMaxWireArrayElements),
                "no decoded array has more elements than the bound");
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < columns; ++j)
            checkBounds(dims == 1 ? v[v.lowBound(1) + i] : v.at(v.lowBound(1) + i, v.lowBound(2) + j), elements);
}

void decodeOne(std::string_view payload)
{
    Variant value;
    try {
        value = DecodeWireValue(payload);
    } catch (const VariantError&) {
        return;
    }
    std::uint64_t elements = 0;
    checkBounds(value, elements);
    fuzz::check(elements < payload.size(), "a decoded value has fewer elements than its payload has bytes");
    (void)remote::MessageName(value);
    const std::string again = EncodeWireValue(value);
    // Compared as bytes, so that a NaN counts as itself.
    const std::string third = EncodeWireValue(DecodeWireValue(again));
    fuzz::check(third == again, "a decoded value comes back through the wire unchanged");
    const std::string frame = remote::Frame(value);
    fuzz::check(frame.size() >= remote::kHeaderBytes &&
                    remote::FrameLength(reinterpret_cast<const unsigned char*>(frame.data())) ==
                        frame.size() - remote::kHeaderBytes,
                "a frame's header gives its length");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The whole input as one payload: the decoder on its own.
    decodeOne(bytes);
    // The input as a stream of frames.
    std::size_t pos = 0;
    while (pos + remote::kHeaderBytes <= bytes.size()) {
        const std::uint32_t length = remote::FrameLength(data + pos);
        pos += remote::kHeaderBytes;
        if (length > kSignOnLimit || length > bytes.size() - pos)
            break; // the connection ends here
        decodeOne(bytes.substr(pos, length));
        pos += length;
    }
    return 0;
}
