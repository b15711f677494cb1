#pragma once
// TTranslator: the binding of the suite's translator library, which converts Chinese text
// between simplified (GB) and traditional (Big5) characters. The library is loaded by its
// file name through the system's library search (no path), so that a site may put its own
// beside the programs.
//
// Texts are Unicode (UTF-8) on both sides. Each of the library's entry points takes the
// source text and a buffer and returns the length of the result (the result is written
// only when it fits), -1 when the library cannot convert at all.

#include "platform/DynLib.h"

#include <cstddef>
#include <string>
#include <string_view>

class TTranslator {
public:
    static constexpr const char* LibraryName = "Qvlanguage.so";
    using TConvertProc = long long (*)(const char* src, std::size_t srcLen, char* dst, std::size_t dstSize);

    // Loads the library; raises Exception "Load Library %s Error!" when it cannot be
    // loaded and "Get Library Procedure Address Error!" when GBtoBIG5 or BIG5toGB is
    // missing (then nothing stays loaded). libraryName is for sites and tests that name
    // another file.
    explicit TTranslator(std::string libraryName = LibraryName);
    ~TTranslator();
    TTranslator(const TTranslator&) = delete;
    TTranslator& operator=(const TTranslator&) = delete;

    // Raise Exception when the library reports that it cannot convert.
    std::string GBToBIG5(std::string_view text) const;
    std::string BIG5ToGB(std::string_view text) const;

    // The entry points looked up beside the two conversions; never called here, and their
    // absence is no error.
    bool HasGetBIG5Data() const { return getBIG5Data_ != nullptr; }
    bool HasGetGBData() const { return getGBData_ != nullptr; }
    bool HasSaveOrder() const { return saveOrder_ != nullptr; }

private:
    void Load();
    std::string call(TConvertProc proc, std::string_view text) const;

    std::string libraryName_;
    HMODULE handle_ = nullptr;
    TConvertProc gbToBig5_ = nullptr;
    TConvertProc big5ToGb_ = nullptr;
    void* getBIG5Data_ = nullptr;
    void* getGBData_ = nullptr;
    void* saveOrder_ = nullptr;
};
