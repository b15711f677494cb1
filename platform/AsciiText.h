#pragma once
// ASCII case and blanks, as the platform compared names (keys, members, fields, columns):
// only A-Z and a-z fold; other bytes, UTF-8 sequences among them, compare exactly.

#include <string>
#include <string_view>

inline char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

inline char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

std::string upperAscii(std::string_view s);
std::string lowerAscii(std::string_view s);
bool SameTextAscii(std::string_view a, std::string_view b);
// Without blanks, tabs and carriage returns at both ends.
std::string_view trimBlanks(std::string_view s);
// Without blanks and tabs at both ends (a carriage return stays).
std::string_view trimSpaces(std::string_view s);
