#include "support/MessageText.h"

#include "support/Format.h"

#include <vector>

namespace {

std::string escaped(std::string_view param)
{
    std::string out;
    out.reserve(param.size());
    for (char c : param) {
        if (c == '\\' || c == ';')
            out += '\\';
        out += c == '\r' || c == '\n' ? ' ' : c;
    }
    return out;
}

// The fields of a code line, split at the ";" that are not escaped.
std::vector<std::string> fieldsOf(std::string_view line)
{
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size())
            fields.back() += line[++i];
        else if (line[i] == ';')
            fields.emplace_back();
        else
            fields.back() += line[i];
    }
    return fields;
}

std::string worded(std::string_view line, HostLanguage language)
{
    const std::vector<std::string> fields = fieldsOf(line);
    const std::string wording = MessageCatalogue::Wording(fields[0], fields[1], language);
    std::vector<FormatArg> args(fields.begin() + 2, fields.end());
    // The catalogue's wordings hold no other "%" than "%s"; a missing parameter stays empty.
    for (std::size_t at = wording.find("%s"), n = 0; at != std::string::npos; at = wording.find("%s", at + 2))
        if (++n > args.size())
            args.emplace_back(std::string());
    try {
        return Format(wording, args);
    } catch (const FormatError&) {
        return wording;
    }
}

} // namespace

std::string MessageCode(std::string_view code, std::initializer_list<std::string_view> params)
{
    std::string line(code);
    for (std::string_view p : params)
        line += ";" + escaped(p);
    return line;
}

std::string MessageLines(std::string_view first, std::string_view second)
{
    if (first.empty())
        return std::string(second);
    if (second.empty())
        return std::string(first);
    return std::string(first) + "\n" + std::string(second);
}

bool IsMessageCode(std::string_view line)
{
    if (line.size() < 8 || !((line[0] >= 'A' && line[0] <= 'Z') || (line[0] >= 'a' && line[0] <= 'z')) || line[1] != ';')
        return false;
    std::size_t at = 2;
    if (line[at] == '-')
        ++at;
    for (std::size_t end = at + 6; at < end; ++at)
        if (at >= line.size() || line[at] < '0' || line[at] > '9')
            return false;
    return at == line.size() || line[at] == ';';
}

std::string WordMessages(std::string_view text, HostLanguage language, std::string_view separator)
{
    std::string out;
    bool first = true;
    while (!text.empty()) {
        const std::size_t cut = text.find('\n');
        std::string_view line = text.substr(0, cut);
        text = cut == std::string_view::npos ? std::string_view() : text.substr(cut + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;
        // On one line, a line that leads into the next (ends with ":") is followed by a blank.
        const bool leads = !out.empty() && out.back() == ':' && separator.find('\n') == std::string_view::npos;
        if (!first)
            out += leads ? std::string(" ") : std::string(separator);
        out += IsMessageCode(line) ? worded(line, language) : std::string(line);
        first = false;
    }
    return out;
}
