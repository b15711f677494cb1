#pragma once
// Code points of UTF-8 text. The support units count characters, not bytes, wherever the
// user sees positions (mask positions, separators, padding): a Chinese character is one.

#include <string>
#include <string_view>

// Malformed bytes read as U+FFFD each.
std::u32string toUtf32(std::string_view utf8);
std::string toUtf8(std::u32string_view text);
std::string toUtf8(char32_t c);
void appendUtf8(std::string& out, char32_t c);
// Number of code points.
std::size_t utf8Length(std::string_view utf8);
// The first character of the text (possibly several bytes); empty for the empty text.
std::string firstUtf8Char(std::string_view utf8);
