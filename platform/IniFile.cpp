#include "platform/IniFile.h"
#include "platform/CodePage.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

bool validUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        int n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (n < 0 || i + std::size_t(n) >= s.size())
            return false;
        for (int k = 1; k <= n; ++k)
            if ((static_cast<unsigned char>(s[i + std::size_t(k)]) >> 6) != 2)
                return false;
        i += std::size_t(n) + 1;
    }
    return true;
}

} // namespace

IniFile::IniFile(std::string fileName) : fileName_(std::move(fileName))
{
    std::ifstream in(fileName_, std::ios::binary);
    if (!in)
        return;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    else if (!validUtf8(text))
        text = CodePageToUtf8(text, GetACP());
    parse(text);
}

IniFile IniFile::fromText(std::string_view text)
{
    IniFile ini;
    ini.parse(text);
    return ini;
}

void IniFile::parse(std::string_view text)
{
    Section* current = nullptr;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = trimBlanks(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            const auto close = line.find(']');
            const std::string name(trimBlanks(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
            current = nullptr;
            for (Section& s : sections_)
                if (SameTextAscii(s.name, name))
                    current = &s;
            if (!current) {
                sections_.push_back(Section{name, {}});
                current = &sections_.back();
            }
            continue;
        }
        if (!current)
            continue;
        const auto eq = line.find('=');
        std::string key(trimBlanks(line.substr(0, eq)));
        std::string_view value = eq == std::string_view::npos ? std::string_view() : trimBlanks(line.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        current->entries.push_back(Entry{std::move(key), std::string(value), eq != std::string_view::npos});
    }
}

const IniFile::Section* IniFile::find(std::string_view section) const
{
    for (const Section& s : sections_)
        if (SameTextAscii(s.name, section))
            return &s;
    return nullptr;
}

const IniFile::Entry* IniFile::find(std::string_view section, std::string_view key) const
{
    if (const Section* s = find(section))
        for (const Entry& e : s->entries)
            if (SameTextAscii(e.key, key))
                return &e;
    return nullptr;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const
{
    const Entry* e = find(section, key);
    return e ? e->value : std::string(def);
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int def) const
{
    const Entry* e = find(section, key);
    if (!e || e->value.empty())
        return def;
    std::string v = e->value;
    int base = 10;
    std::size_t start = (v[0] == '-' || v[0] == '+') ? 1 : 0;
    if (v.compare(start, 1, "$") == 0) {
        v.erase(start, 1);
        base = 16;
    } else if (v.size() > start + 1 && v[start] == '0' && (v[start + 1] == 'x' || v[start + 1] == 'X')) {
        v.erase(start, 2);
        base = 16;
    }
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(v.c_str(), &end, base);
    if (errno || end == v.c_str() || *end || n < -2147483648L || n > 2147483647L)
        return def;
    return int(n);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool IniFile::SectionExists(std::string_view section) const
{
    return find(section) != nullptr;
}

bool IniFile::ValueExists(std::string_view section, std::string_view key) const
{
    return find(section, key) != nullptr;
}

std::vector<std::string> IniFile::ReadSections() const
{
    std::vector<std::string> names;
    for (const Section& s : sections_)
        names.push_back(s.name);
    return names;
}

std::vector<std::string> IniFile::ReadSection(std::string_view section) const
{
    std::vector<std::string> keys;
    if (const Section* s = find(section))
        for (const Entry& e : s->entries)
            keys.push_back(e.key);
    return keys;
}

std::vector<std::string> IniFile::ReadSectionValues(std::string_view section) const
{
    std::vector<std::string> lines;
    if (const Section* s = find(section))
        for (const Entry& e : s->entries)
            lines.push_back(e.hasValue ? e.key + "=" + e.value : e.key);
    return lines;
}
