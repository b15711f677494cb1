#pragma once
// What the fuzz targets share: a reader that takes structured pieces from the fuzzer's
// bytes, and the failure of a checked property (an abort, so the fuzzer keeps the input).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {

// The detail is printed with control bytes and bytes above 0x7e escaped, so that a text
// with inner zeros shows whole.
[[noreturn]] inline void fail(const char* what, std::string_view detail = {})
{
    std::fprintf(stderr, "property violated: %s\n", what);
    for (const char ch : detail) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\n' || (c >= 0x20 && c < 0x7f))
            std::fputc(c, stderr);
        else
            std::fprintf(stderr, "\\x%02x", c);
    }
    std::fputc('\n', stderr);
    std::abort();
}

inline void check(bool ok, const char* what, std::string_view detail = {})
{
    if (!ok)
        fail(what, detail);
}

// Pieces of the input: single bytes and texts cut at a separator byte, so that a seed can
// be written by hand ("a\x01b\x01c").
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(reinterpret_cast<const char*>(data), size) {}

    bool empty() const { return pos_ >= data_.size(); }
    std::uint8_t byte()
    {
        return empty() ? 0 : std::uint8_t(data_[pos_++]);
    }
    // The text up to the next separator (not included) or the end.
    std::string text(char separator = '\x01')
    {
        const std::size_t end = data_.find(separator, pos_);
        const std::size_t stop = end == std::string_view::npos ? data_.size() : end;
        std::string piece(data_.substr(pos_, stop - pos_));
        pos_ = end == std::string_view::npos ? data_.size() : end + 1;
        return piece;
    }
    std::string rest()
    {
        std::string r(data_.substr(pos_ < data_.size() ? pos_ : data_.size()));
        pos_ = data_.size();
        return r;
    }

private:
    std::string_view data_;
    std::size_t pos_ = 0;
};

inline bool validUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        int n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (n < 0)
            return false;
        for (int k = 1; k <= n; ++k)
            if (i + std::size_t(k) >= s.size() || (static_cast<unsigned char>(s[i + std::size_t(k)]) >> 6) != 2)
                return false;
        i += std::size_t(n) + 1;
    }
    return true;
}

} // namespace fuzz
