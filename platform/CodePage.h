#pragma once
// Text in Windows code pages: 936 (GBK, simplified Chinese), 950 (Big5, traditional
// Chinese), 437 (English), 65001 (UTF-8). Our own text is UTF-8 throughout.
//
// Byte strings in 936 and 950 have ASCII second bytes (0x5C, the backslash, among them):
// treat them as whole strings, never byte by byte.

#include <string>
#include <string_view>

// Unicode text to bytes of a code page. A character the code page lacks becomes '?',
// as the platform's conversion wrote its default character; lossless (when given) tells
// whether that happened. Big5 has no simplified characters: convert them to traditional
// ones first. Unknown code pages raise Exception.
std::string Utf8ToCodePage(std::string_view utf8, int codePage, bool* lossless = nullptr);
// Bytes of a code page to Unicode text; an unreadable byte sequence gives U+FFFD.
std::string CodePageToUtf8(std::string_view bytes, int codePage);
bool IsSupportedCodePage(int codePage);

// The process's ANSI code page: the setting (SetACP, else the environment variable
// QV_ACP), else the locale (zh_CN and zh_SG give 936; zh_TW, zh_HK and zh_MO give 950);
// anything else is normalised to 437.
int GetACP();
// Overrides the setting for this process; 0 returns to the environment and locale.
void SetACP(int codePage);
// 936 and 950 stay, everything else is 437.
int NormaliseCodePage(int codePage);
