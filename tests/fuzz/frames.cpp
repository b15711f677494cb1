// The application server's frames as both ends read them: a stream of bytes cut into
// frames by the 4-byte length, each frame's length held against the limit before the
// sign-on, and every payload decoded as one value, named as a message. Properties: a
// decoded value encodes again and decodes to the same value, and its frame says its length.

#include "FuzzSupport.h"

#include "platform/Exception.h"
#include "platform/RemoteProtocol.h"
#include "platform/WireCodec.h"

#include <stdexcept>

namespace {

constexpr std::size_t kSignOnLimit = 64 * 1024;

void decodeOne(std::string_view payload)
{
    Variant value;
    try {
        value = DecodeWireValue(payload);
    } catch (const VariantError&) {
        return;
    }
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
