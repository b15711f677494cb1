// A translator library with the conversion to traditional characters only.

#include <cstddef>
#include <cstring>

extern "C" __attribute__((visibility("default"))) long long GBtoBIG5(const char* src, std::size_t srcLen, char* dst,
                                                                   std::size_t dstSize)
{
    if (dst && srcLen <= dstSize)
        std::memcpy(dst, src, srcLen);
    return static_cast<long long>(srcLen);
}
