#pragma once
// Reading of ini files with the profile semantics of the original platform: sections and
// keys compare without regard to case, the first of duplicate keys counts, values are
// trimmed and lose one pair of enclosing quotes, ';' starts a comment line, and a file
// that is missing or unreadable reads as empty. Files are UTF-8; a file that is not valid
// UTF-8 is read in the process's ANSI code page. A section named twice is one section:
// the later lines join the first one, whose spelling stays.
//
// The text is read once, into an index of where each section lies, so that loading takes
// time in proportion to the text and a look-up in proportion to its own section, never to
// the number of sections.

#include "platform/AsciiText.h"

#include <cstddef>
#include <cstdint>
#include <memory>
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
    // Each key of a section once, with the value that counts (its first), in file order.
    std::vector<std::pair<std::string, std::string>> ReadSectionPairs(std::string_view section) const;

private:
    static constexpr std::size_t kNone = std::size_t(-1);
    // One line of a section: its key and value, pieces of the text.
    struct Line {
        std::string_view key;
        std::string_view value;
        bool hasValue = true;   // the line had an "="
    };
    // The text between a section's header and the next header; a section named twice
    // has two, chained in file order. The text stays put while any copy of the file lives.
    struct Chunk {
        std::size_t begin = 0;
        std::size_t end = 0;
        std::size_t next = kNone;
    };
    struct Section {
        std::string_view name;
        std::size_t first = kNone;
        std::size_t last = kNone;
    };
    // The index: one entry per section, sorted by the hash of its name without regard to
    // case. It is built by sorting rather than by inserting into a table, so that even a
    // file of a million sections is read in a few sequential passes.
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t item = 0;   // a chunk while building, a section once built
    };
    static std::uint32_t foldHash(std::string_view s);
    IniFile() = default;
    void parse(std::string text);
    const Section* find(std::string_view section) const;
    // Groups the headers (one chunk each, names[i] the name at chunk i) into sections.
    void index(const std::vector<std::string_view>& names);
    // Calls f(line) for each line of the section in file order until f answers false.
    template <typename F>
    void forEachLine(const Section& section, F&& f) const;
    bool findLine(std::string_view section, std::string_view key, Line& found) const;

    std::string fileName_;
    std::shared_ptr<const std::string> text_;
    std::vector<Section> sections_;
    std::vector<Chunk> chunks_;
    std::vector<Slot> index_;
};
