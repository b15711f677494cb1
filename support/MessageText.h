#pragma once
// Texts the server records and answers without a language: every line is a message code of
// the catalogue with its parameters, "E;200658;D9;WOFB07-D9", in the form the job library
// reports its codes. They are worded where they are read, in the reader's language, so that
// a job's stored result reads the same later in any interface.
//
// In a parameter "\" escapes a ";" or a "\"; line breaks become blanks. A line that is no
// code (a text stored before the codes, an error text of the database) is shown as it is.

#include "support/MessageCatalogue.h"

#include <initializer_list>
#include <string>
#include <string_view>

// "E;200658" and its parameters as one line.
std::string MessageCode(std::string_view code, std::initializer_list<std::string_view> params = {});
// The lines of both texts, empty ones left out.
std::string MessageLines(std::string_view first, std::string_view second);
// The line starts with a type letter, ";" and a six-digit number ("-" allowed before it).
bool IsMessageCode(std::string_view line);
// Every code line worded in the language with its parameters, the other lines as they are;
// the lines joined by separator ("; " puts them on one line, where a line ending with ":"
// is followed by a blank instead).
std::string WordMessages(std::string_view text, HostLanguage language, std::string_view separator = "\n");
