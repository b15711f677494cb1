#pragma once
// A CSV file read back as RFC 4180 has it: the byte-order mark apart, records of fields,
// quoted fields with their commas, doubled quotes and line breaks.

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct CsvFile {
    bool byteOrderMark = false;
    bool crlf = true; // every record ends in CRLF
    std::vector<std::vector<std::string>> records;
};

inline CsvFile ReadCsv(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    std::string s = all.str();
    CsvFile file;
    if (s.rfind("\xEF\xBB\xBF", 0) == 0) {
        file.byteOrderMark = true;
        s.erase(0, 3);
    }
    std::vector<std::string> record;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (quoted) {
            if (c == '"' && i + 1 < s.size() && s[i + 1] == '"')
                field += s[++i];
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            record.push_back(std::move(field));
            field.clear();
        } else if (c == '\r' || c == '\n') {
            file.crlf = file.crlf && c == '\r' && i + 1 < s.size() && s[i + 1] == '\n';
            if (c == '\r' && i + 1 < s.size() && s[i + 1] == '\n')
                ++i;
            record.push_back(std::move(field));
            field.clear();
            file.records.push_back(std::move(record));
            record.clear();
        } else {
            field += c;
        }
    }
    if (!field.empty() || !record.empty()) {
        record.push_back(std::move(field));
        file.records.push_back(std::move(record));
        file.crlf = false;
    }
    return file;
}
