#pragma once
// Reading of ini files with the profile semantics of the original platform: sections and
// keys compare without regard to case, the first of duplicate keys counts, values are
// trimmed and lose one pair of enclosing quotes, ';' starts a comment line, and a file
// that is missing or unreadable reads as empty. Files are UTF-8; a file that is not valid
// UTF-8 is read in the process's ANSI code page.

#include "platform/AsciiText.h"

#include <string>
#include <string_view>
#include <vector>

class IniFile {
public:
    explicit IniFile(std::string fileName);
    // Parses ini text directly (the file name stays empty).
    static IniFile fromText(std::string_view text);

    const std::string& FileName() const { return fileName_; }

    std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
    // A value that is not a whole number (decimal, or hexadecimal after "0x" or "$") gives def.
    int ReadInteger(std::string_view section, std::string_view key, int def) const;
    // ReadInteger(def ? 1 : 0) != 0.
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    std::vector<std::string> ReadSections() const;
    // Key names of a section, in file order.
    std::vector<std::string> ReadSection(std::string_view section) const;
    // "name=value" lines of a section, in file order; a line without "=" as it stands.
    std::vector<std::string> ReadSectionValues(std::string_view section) const;

private:
    struct Entry {
        std::string key;
        std::string value;
        bool hasValue = true;   // the line had an "="
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };
    IniFile() = default;
    void parse(std::string_view text);
    const Section* find(std::string_view section) const;
    const Entry* find(std::string_view section, std::string_view key) const;

    std::string fileName_;
    std::vector<Section> sections_;
};

