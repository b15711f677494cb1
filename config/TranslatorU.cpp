#include "config/TranslatorU.h"

#include "platform/Exception.h"


TTranslator::TTranslator(std::string libraryName) : libraryName_(std::move(libraryName))
{
    Load();
}

TTranslator::~TTranslator()
{
    if (handle_)
        FreeLibrary(handle_);
}

void TTranslator::Load()
{
    if (handle_)
        return;
    handle_ = LoadLibrary(libraryName_);
    if (!handle_)
        throw Exception("Load Library " + libraryName_ + " Error!");
    gbToBig5_ = reinterpret_cast<TConvertProc>(GetProcAddress(handle_, "GBtoBIG5"));
    big5ToGb_ = reinterpret_cast<TConvertProc>(GetProcAddress(handle_, "BIG5toGB"));
    getBIG5Data_ = GetProcAddress(handle_, "GetBIG5Data");
    getGBData_ = GetProcAddress(handle_, "GetGBData");
    saveOrder_ = GetProcAddress(handle_, "SaveOrder");
    if (!gbToBig5_ || !big5ToGb_) {
        // A throwing constructor runs no destructor: the library goes now.
        FreeLibrary(handle_);
        handle_ = nullptr;
        throw Exception("Get Library Procedure Address Error!");
    }
}

std::string TTranslator::call(TConvertProc proc, std::string_view text) const
{
    if (!proc)
        return std::string(text);
    if (text.empty())
        return {};
    // Conversion keeps the length in most texts; a longer result is fetched again.
    std::string out(text.size() + 16, '\0');
    long long n = proc(text.data(), text.size(), out.data(), out.size());
    if (n >= 0 && std::size_t(n) > out.size()) {
        out.assign(std::size_t(n), '\0');
        n = proc(text.data(), text.size(), out.data(), out.size());
    }
    if (n < 0 || std::size_t(n) > out.size())
        throw Exception(libraryName_ + " cannot convert: its conversion tables are missing");
    out.resize(std::size_t(n));
    return out;
}

std::string TTranslator::GBToBIG5(std::string_view text) const
{
    return call(gbToBig5_, text);
}

std::string TTranslator::BIG5ToGB(std::string_view text) const
{
    return call(big5ToGb_, text);
}
