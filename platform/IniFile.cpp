#include "platform/IniFile.h"
#include "platform/CodePage.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unordered_set>

namespace {

bool validUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        // Runs of plain ASCII, the bulk of any ini file, eight bytes at a time.
        std::uint64_t word = 0;
        while (i + sizeof word <= s.size() && (std::memcpy(&word, s.data() + i, sizeof word), (word & 0x8080808080808080ull) == 0))
            i += sizeof word;
        if (i >= s.size())
            break;
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
    // Read as a stream, whatever the file is; its size, when it has one, only saves the
    // text from growing. A file that cannot be read (a folder) reads as empty.
    std::string text;
    std::error_code ec;
    if (std::filesystem::is_regular_file(fileName_, ec)) {
        const std::uintmax_t size = std::filesystem::file_size(fileName_, ec);
        if (!ec && size < std::uintmax_t(1) << 32)
            text.reserve(std::size_t(size));
    }
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
        text.append(buffer, std::size_t(in.gcount()));
    if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    else if (!validUtf8(text))
        text = CodePageToUtf8(text, GetACP());
    parse(std::move(text));
}

IniFile IniFile::fromText(std::string_view text)
{
    IniFile ini;
    ini.parse(std::string(text));
    return ini;
}

std::uint32_t IniFile::foldHash(std::string_view s)
{
    // FNV-1a over the text with A-Z folded, as SameTextAscii compares, then mixed so that
    // names that differ only at their end spread over all bits.
    std::uint64_t h = 14695981039346656037ull;
    for (const char c : s) {
        h ^= static_cast<unsigned char>(lowerAscii(c));
        h *= 1099511628211ull;
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return std::uint32_t(h);
}

namespace {

// The next line from pos on, without blanks at its ends; pos moves past it.
std::string_view nextLine(std::string_view text, std::size_t& pos)
{
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos)
        end = text.size();
    const std::string_view line = trimBlanks(text.substr(pos, end - pos));
    pos = end + 1;
    return line;
}

} // namespace

void IniFile::parse(std::string source)
{
    text_ = std::make_shared<const std::string>(std::move(source));
    const std::string_view text = *text_;
    std::vector<std::string_view> names;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const std::size_t start = pos;
        const std::string_view line = nextLine(text, pos);
        if (line.empty() || line.front() != '[')
            continue;
        if (!chunks_.empty())
            chunks_.back().end = start;
        const auto close = line.find(']');
        names.push_back(trimBlanks(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
        chunks_.push_back(Chunk{std::min(pos, text.size()), text.size()});
    }
    index(names);
}

namespace {

// Stable sort by hash, eight bits at a time: sequential passes, however long the list.
template <typename T>
void radixSortByHash(std::vector<T>& items)
{
    std::vector<T> other(items.size());
    for (int shift = 0; shift < 32; shift += 8) {
        std::size_t counts[257] = {};
        for (const T& item : items)
            ++counts[((item.hash >> shift) & 0xFF) + 1];
        for (int b = 0; b < 256; ++b)
            counts[b + 1] += counts[b];
        for (const T& item : items)
            other[counts[(item.hash >> shift) & 0xFF]++] = item;
        items.swap(other);
    }
}

} // namespace

void IniFile::index(const std::vector<std::string_view>& names)
{
    const std::size_t n = chunks_.size();
    std::vector<Slot> order(n);
    for (std::size_t i = 0; i < n; ++i)
        order[i] = Slot{foldHash(names[i]), std::uint32_t(i)};
    radixSortByHash(order);

    // Headers of one name: the first counts, the later ones join it. The sort is stable,
    // so within a run of equal hashes the headers stand in file order.
    std::vector<std::uint32_t> first(n);
    for (std::size_t runStart = 0; runStart < n;) {
        std::size_t runEnd = runStart;
        while (runEnd < n && order[runEnd].hash == order[runStart].hash)
            ++runEnd;
        for (std::size_t k = runStart; k < runEnd; ++k) {
            const std::uint32_t chunk = order[k].item;
            first[chunk] = chunk;
            for (std::size_t j = runStart; j < k; ++j) {
                const std::uint32_t earlier = order[j].item;
                if (first[earlier] == earlier && SameTextAscii(names[earlier], names[chunk])) {
                    first[chunk] = earlier;
                    break;
                }
            }
        }
        runStart = runEnd;
    }

    // Sections in the order they first appear, each chaining its chunks in file order.
    std::vector<std::uint32_t> sectionOf(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (first[i] == i) {
            sectionOf[i] = std::uint32_t(sections_.size());
            sections_.push_back(Section{names[i], i, i});
            continue;
        }
        Section& section = sections_[sectionOf[first[i]]];
        sectionOf[i] = sectionOf[first[i]];
        chunks_[section.last].next = i;
        section.last = i;
    }

    index_.reserve(sections_.size());
    for (const Slot& slot : order)
        if (first[slot.item] == slot.item)
            index_.push_back(Slot{slot.hash, sectionOf[slot.item]});
}

template <typename F>
void IniFile::forEachLine(const Section& section, F&& f) const
{
    const std::string_view text = *text_;
    for (std::size_t c = section.first; c != kNone; c = chunks_[c].next) {
        const std::string_view body = text.substr(chunks_[c].begin, chunks_[c].end - chunks_[c].begin);
        std::size_t pos = 0;
        while (pos <= body.size()) {
            const std::string_view line = nextLine(body, pos);
            if (line.empty() || line.front() == ';')
                continue;
            const auto eq = line.find('=');
            Line l;
            l.key = trimBlanks(line.substr(0, eq));
            l.hasValue = eq != std::string_view::npos;
            if (l.hasValue) {
                l.value = trimBlanks(line.substr(eq + 1));
                if (l.value.size() >= 2 && (l.value.front() == '"' || l.value.front() == '\'') && l.value.back() == l.value.front())
                    l.value = l.value.substr(1, l.value.size() - 2);
            }
            if (!f(l))
                return;
        }
    }
}

const IniFile::Section* IniFile::find(std::string_view section) const
{
    const std::uint32_t hash = foldHash(section);
    auto at = std::lower_bound(index_.begin(), index_.end(), hash,
                               [](const Slot& slot, std::uint32_t h) { return slot.hash < h; });
    for (; at != index_.end() && at->hash == hash; ++at)
        if (SameTextAscii(sections_[at->item].name, section))
            return &sections_[at->item];
    return nullptr;
}

bool IniFile::findLine(std::string_view section, std::string_view key, Line& found) const
{
    const Section* s = find(section);
    if (!s)
        return false;
    bool hit = false;
    // The first of duplicate keys counts.
    forEachLine(*s, [&](const Line& l) {
        if (!SameTextAscii(l.key, key))
            return true;
        found = l;
        hit = true;
        return false;
    });
    return hit;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const
{
    Line l;
    return std::string(findLine(section, key, l) ? l.value : def);
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int def) const
{
    Line l;
    if (!findLine(section, key, l) || l.value.empty())
        return def;
    std::string v(l.value);
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
    Line l;
    return findLine(section, key, l);
}

std::vector<std::string> IniFile::ReadSections() const
{
    std::vector<std::string> names;
    names.reserve(sections_.size());
    for (const Section& s : sections_)
        names.emplace_back(s.name);
    return names;
}

std::vector<std::string> IniFile::ReadSection(std::string_view section) const
{
    std::vector<std::string> keys;
    if (const Section* s = find(section))
        forEachLine(*s, [&](const Line& l) {
            keys.emplace_back(l.key);
            return true;
        });
    return keys;
}

std::vector<std::string> IniFile::ReadSectionValues(std::string_view section) const
{
    std::vector<std::string> lines;
    if (const Section* s = find(section))
        forEachLine(*s, [&](const Line& l) {
            lines.push_back(l.hasValue ? std::string(l.key) + "=" + std::string(l.value) : std::string(l.key));
            return true;
        });
    return lines;
}

std::vector<std::pair<std::string, std::string>> IniFile::ReadSectionPairs(std::string_view section) const
{
    std::vector<std::pair<std::string, std::string>> pairs;
    const Section* s = find(section);
    if (!s)
        return pairs;
    std::unordered_set<std::string> seen;
    forEachLine(*s, [&](const Line& l) {
        if (seen.insert(lowerAscii(l.key)).second)
            pairs.emplace_back(l.key, l.value);
        return true;
    });
    return pairs;
}
