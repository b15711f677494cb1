// Qvlanguage.so: simplified <-> traditional Chinese for the suite's programs, loaded by
// name. Texts travel as UTF-8 both ways; the tables are OpenCC's standard ones (Taiwan
// forms, as a Big5 interface shows them), opened once per process on first use.
//
// Every entry point has the same shape: it converts srcLen bytes at src, writes the
// result to dst when it fits in dstSize bytes (not terminated) and returns the result's
// length, so that a caller with a small buffer calls again with one of that size. -1 means
// the tables could not be opened.

#include <opencc/SimpleConverter.hpp>

#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <memory>
#include <mutex>
#include <string>

#define QV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

class Tables {
public:
    explicit Tables(const char* config) : config_(config) {}

    // Null when the tables cannot be read; the attempt is made once.
    const opencc::SimpleConverter* converter()
    {
        std::call_once(once_, [this] {
            try {
                converter_ = std::make_unique<opencc::SimpleConverter>(config_);
            } catch (...) {
                converter_.reset();
            }
        });
        return converter_.get();
    }

private:
    const char* config_;
    std::once_flag once_;
    std::unique_ptr<opencc::SimpleConverter> converter_;
};

Tables toTraditional("s2tw.json");
Tables toSimplified("tw2s.json");

long long deliver(const std::string& result, char* dst, std::size_t dstSize)
{
    if (dst && result.size() <= dstSize)
        std::memcpy(dst, result.data(), result.size());
    return static_cast<long long>(result.size());
}

long long convert(Tables& tables, const char* src, std::size_t srcLen, char* dst, std::size_t dstSize,
                  std::string* out = nullptr)
{
    const opencc::SimpleConverter* c = tables.converter();
    if (!c)
        return -1;
    // Text without anything above ASCII has nothing to convert.
    bool ascii = true;
    for (std::size_t i = 0; i < srcLen && ascii; ++i)
        ascii = static_cast<unsigned char>(src[i]) < 0x80;
    std::string result = ascii || srcLen == 0 ? std::string(src, srcLen) : c->Convert(src, srcLen);
    if (out) {
        *out = std::move(result);
        return 0;
    }
    return deliver(result, dst, dstSize);
}

// UTF-8 to the bytes of a code page; characters it lacks become '?'.
std::string encode(const std::string& utf8, const char* codePage)
{
    iconv_t cd = iconv_open(codePage, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    std::string out;
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char buf[1024];
    while (inLeft > 0) {
        char* o = buf;
        std::size_t oLeft = sizeof buf;
        const std::size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buf, static_cast<std::size_t>(o - buf));
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // Skip the whole character that has no counterpart.
            const unsigned char lead = static_cast<unsigned char>(*in);
            std::size_t n = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 1;
            n = n < inLeft ? n : inLeft;
            in += n;
            inLeft -= n;
            out += '?';
        }
    }
    iconv_close(cd);
    return out;
}

} // namespace

QV_EXPORT long long GBtoBIG5(const char* src, std::size_t srcLen, char* dst, std::size_t dstSize)
{
    return convert(toTraditional, src, srcLen, dst, dstSize);
}

QV_EXPORT long long BIG5toGB(const char* src, std::size_t srcLen, char* dst, std::size_t dstSize)
{
    return convert(toSimplified, src, srcLen, dst, dstSize);
}

// The traditional text in Big5 bytes (code page 950), for a caller that stores them so.
QV_EXPORT long long GetBIG5Data(const char* src, std::size_t srcLen, char* dst, std::size_t dstSize)
{
    std::string text;
    if (convert(toTraditional, src, srcLen, nullptr, 0, &text) < 0)
        return -1;
    return deliver(encode(text, "CP950"), dst, dstSize);
}

// The simplified text in GBK bytes (code page 936).
QV_EXPORT long long GetGBData(const char* src, std::size_t srcLen, char* dst, std::size_t dstSize)
{
    std::string text;
    if (convert(toSimplified, src, srcLen, nullptr, 0, &text) < 0)
        return -1;
    return deliver(encode(text, "CP936"), dst, dstSize);
}
