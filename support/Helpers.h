#pragma once
// The small text, variant and code-page helpers every job form leans on. None of them
// raises for bad input: unreadable input gives the empty text, the default or the value
// unchanged. Texts are UTF-8; widths and positions count characters.

#include "platform/AsciiText.h"
#include "platform/Variant.h"

#include <string>
#include <string_view>

// The text followed by fill up to width characters; longer texts unchanged.
std::string PadRight(std::string_view text, int width = 0, char32_t fill = U' ');
// Field n (from 1) of the text cut at each occurrence of the whole delimiter; the last
// field is the remainder. Empty when n < 1 or the text has fewer fields.
std::string GetField(std::string_view text, std::string_view delimiter, int n);
// 0 for the empty text, else the delimiters plus one.
int CountFields(std::string_view text, std::string_view delimiter);
// head := text before the first delimiter, text := the rest after it; without a
// delimiter head takes the whole text and text becomes empty.
void CutField(std::string& text, std::string_view delimiter, std::string& head);
Variant IfThenVar(bool condition, const Variant& a, const Variant& b);
bool IsEmptyOrNull(const Variant& value);
// Replaces the first occurrence of oldText and searches again from the start until none is
// left, so that occurrences an insertion forms are replaced too ("aab", "ab", "b" gives
// "b"). A newText that contains oldText would be found again for ever: then each original
// occurrence is replaced once, left to right. Nothing is replaced when the two texts
// differ only in case. With trim, blanks at both ends go.
std::string ReplaceAll(std::string_view text, std::string_view oldText, std::string_view newText, bool trim);
// The temporary folder, ending with a separator.
std::string GetTempDirectory();
bool IsLocalHost(std::string_view address);

// Text to the bytes of a code page and back. An unknown code page converts with the
// process's ANSI code page instead.
std::string WideToCodePage(std::string_view text, int codePage);
std::string CodePageToWide(std::string_view bytes, int codePage);
// Copies of a value with every Unicode text (in arrays too, at any depth) turned into
// code-page text, and back. Errors are written to the "libstrs" alert log and the value
// is returned unconverted.
Variant VariantToCodePage(const Variant& value, int codePage);
Variant VariantFromCodePage(const Variant& value, int codePage);

// prefix, #3, values[0], #3, then values[1..values[0]] each followed by #3.
std::string PackValueList(std::string_view prefix, const Variant& values);
// The value put through an edit mask and read back without it: the literals go.
std::string StripMaskLiterals(std::string_view value, std::string_view mask);
// Chinese captions of the standard dialog buttons ("OK" -> "确定"); others unchanged.
std::string LocalButtonCaption(std::string_view caption);
// The number the whole text spells (blanks around it allowed, the process's decimal
// separator), else def.
double TextToFloatDef(std::string_view text, double def);

// Conversions the support units share.
// Whole decimal integer with optional sign, leading blanks allowed (or "$"/"0x" hex).
bool tryStrToInt(std::string_view text, int& out);
int strToIntDef(std::string_view text, int def);
// Removes characters up to the blank (control characters too) at both ends.
std::string trimText(std::string_view text);
// VarToStr that never raises: arrays, objects and unreadable values give the empty text.
std::string safeVarToStr(const Variant& v);
