#include "platform/CodePage.h"
#include "platform/Exception.h"

#include <atomic>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <iconv.h>

namespace {

const char* iconvName(int codePage)
{
    switch (codePage) {
    case 936:
        return "CP936";
    case 950:
        return "CP950";
    case 437:
        return "CP437";
    case 65001:
        return "UTF-8";
    case 1252:
        return "CP1252";
    default:
        return nullptr;
    }
}

class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from))
    {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw Exception(std::string("No conversion from ") + from + " to " + to);
    }
    ~Iconv() { iconv_close(cd_); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // Converts; on an unconvertible input sequence calls skip(in, left, out) to move on.
    template <typename Skip>
    std::string run(std::string_view input, Skip skip)
    {
        std::string out;
        out.reserve(input.size() * 2 + 8);
        char* in = const_cast<char*>(input.data());
        std::size_t inLeft = input.size();
        char buf[1024];
        while (inLeft > 0) {
            char* o = buf;
            std::size_t oLeft = sizeof buf;
            const std::size_t r = iconv(cd_, &in, &inLeft, &o, &oLeft);
            out.append(buf, std::size_t(o - buf));
            if (r == std::size_t(-1)) {
                if (errno == E2BIG)
                    continue;
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);
                skip(in, inLeft, out);
            }
        }
        char* o = buf;
        std::size_t oLeft = sizeof buf;
        iconv(cd_, nullptr, nullptr, &o, &oLeft);
        out.append(buf, std::size_t(o - buf));
        return out;
    }

private:
    iconv_t cd_;
};

std::size_t utf8Length(unsigned char c)
{
    return c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
}

std::atomic<int> acpSetting{0};

int acpFromLocale()
{
    const char* names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    for (const char* n : names) {
        const char* v = std::getenv(n);
        if (!v || !*v)
            continue;
        const std::string loc(v);
        if (loc.rfind("zh_CN", 0) == 0 || loc.rfind("zh_SG", 0) == 0)
            return 936;
        if (loc.rfind("zh_TW", 0) == 0 || loc.rfind("zh_HK", 0) == 0 || loc.rfind("zh_MO", 0) == 0)
            return 950;
        return 437;
    }
    return 437;
}

} // namespace

bool IsSupportedCodePage(int codePage)
{
    return iconvName(codePage) != nullptr;
}

std::string Utf8ToCodePage(std::string_view utf8, int codePage, bool* lossless)
{
    if (lossless)
        *lossless = true;
    const char* name = iconvName(codePage);
    if (!name)
        throw Exception("Unsupported code page " + std::to_string(codePage));
    if (codePage == 65001)
        return std::string(utf8);
    Iconv cd(name, "UTF-8");
    return cd.run(utf8, [&](char*& in, std::size_t& left, std::string& out) {
        const std::size_t n = std::min(left, utf8Length(static_cast<unsigned char>(*in)));
        in += n;
        left -= n;
        out += '?';
        if (lossless)
            *lossless = false;
    });
}

std::string CodePageToUtf8(std::string_view bytes, int codePage)
{
    const char* name = iconvName(codePage);
    if (!name)
        throw Exception("Unsupported code page " + std::to_string(codePage));
    Iconv cd("UTF-8", name);
    return cd.run(bytes, [](char*& in, std::size_t& left, std::string& out) {
        ++in;
        --left;
        out += "\xEF\xBF\xBD";
    });
}

int NormaliseCodePage(int codePage)
{
    return codePage == 936 || codePage == 950 ? codePage : 437;
}

int GetACP()
{
    if (const int set = acpSetting.load())
        return set;
    if (const char* v = std::getenv("QV_ACP"); v && *v)
        return NormaliseCodePage(std::atoi(v));
    return acpFromLocale();
}

void SetACP(int codePage)
{
    acpSetting.store(codePage ? NormaliseCodePage(codePage) : 0);
}
