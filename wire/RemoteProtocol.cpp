#include "wire/RemoteProtocol.h"
#include "platform/Exception.h"

#include "wire/WireCodec.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

namespace remote {

namespace {

std::string hex(const unsigned char* bytes, std::size_t n)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 15]);
    }
    return out;
}

} // namespace

std::string FrameHeader(std::size_t payloadBytes)
{
    if (payloadBytes > 0xffffffffu)
        throw VariantError("A message is too large to be sent");
    std::string h(kHeaderBytes, '\0');
    for (std::size_t i = 0; i < kHeaderBytes; ++i)
        h[i] = char((payloadBytes >> (8 * (kHeaderBytes - 1 - i))) & 0xff);
    return h;
}

std::uint32_t FrameLength(const unsigned char header[kHeaderBytes])
{
    return (std::uint32_t(header[0]) << 24) | (std::uint32_t(header[1]) << 16) | (std::uint32_t(header[2]) << 8) |
           std::uint32_t(header[3]);
}

std::string Frame(const Variant& message)
{
    std::string payload = EncodeWireValue(message);
    return FrameHeader(payload.size()) + payload;
}

std::string NewChallenge()
{
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1)
        throw Exception("No random bytes for a connection challenge");
    return hex(bytes, sizeof bytes);
}

std::string AuthProof(std::string_view secret, std::string_view challenge, std::string_view user,
                      std::string_view company)
{
    std::string message;
    message.append(challenge).push_back('\n');
    message.append(user).push_back('\n');
    message.append(company);
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    if (!HMAC(EVP_sha256(), secret.data(), int(secret.size()), reinterpret_cast<const unsigned char*>(message.data()),
              message.size(), out, &n))
        throw Exception("The connection proof could not be computed");
    return hex(out, n);
}

bool SameProof(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string MessageName(const Variant& message)
{
    if (!message.isArray() || message.dimCount() != 1 || message.count() < 1)
        return {};
    const Variant& first = message[message.lowBound()];
    if (!first.isString())
        return {};
    // Bytes of a code page nobody converts (raw bytes travel so) name no message.
    try {
        return first.toString();
    } catch (const Exception&) {
        return {};
    }
}

} // namespace remote
