#include "db/DbConnectString.h"
#include "platform/AsciiText.h"
#include "db/DbError.h"
#include "db/SqlDialect.h"

ConnectSpec parseConnectString(std::string_view s)
{
    ConnectSpec spec;
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t eq = s.find('=', i);
        const std::size_t semi = s.find(';', i);
        if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
            if (!SqlTrimmed(s.substr(i, semi == std::string_view::npos ? std::string_view::npos : semi - i)).empty())
                throw DbError("Connection string part without a value: " + std::string(s.substr(i, semi - i)));
            if (semi == std::string_view::npos)
                break;
            i = semi + 1;
            continue;
        }
        const std::string key = SqlTrimmed(s.substr(i, eq - i));
        std::size_t j = eq + 1;
        while (j < s.size() && s[j] == ' ')
            ++j;
        std::string value;
        if (j < s.size() && s[j] == '"') {
            ++j;
            for (;; ++j) {
                if (j >= s.size())
                    throw DbError("Unterminated quoted value in the connection string");
                if (s[j] == '"') {
                    if (j + 1 < s.size() && s[j + 1] == '"') {
                        value += '"';
                        ++j;
                        continue;
                    }
                    ++j;
                    break;
                }
                value += s[j];
            }
            while (j < s.size() && s[j] == ' ')
                ++j;
            if (j < s.size() && s[j] != ';')
                throw DbError("Text after a quoted value in the connection string");
        } else {
            const std::size_t end = s.find(';', j);
            value = SqlTrimmed(s.substr(j, end == std::string_view::npos ? std::string_view::npos : end - j));
            j = end == std::string_view::npos ? s.size() : end;
        }
        i = j < s.size() ? j + 1 : j;

        const std::string k = upperAscii(key);
        if (k == "PROVIDER")
            spec.provider = value;
        else if (k == "DATA SOURCE" || k == "DATABASE")
            spec.dataSource = value;
        else if (k == "NAME")
            spec.name = value;
        else if (k == "BUSY TIMEOUT")
            spec.busyTimeout = value;
        else if (k == "HOST" || k == "SERVER")
            spec.host = value;
        else if (k == "PORT")
            spec.port = value;
        else if (k == "USER" || k == "USER ID")
            spec.user = value;
        else if (k == "PASSWORD")
            spec.password = value;
        else if (k == "SCHEMA")
            spec.schema = value;
        else if (k == "CONNECT TIMEOUT")
            spec.connectTimeout = value;
        else if (k == "LIKE COLLATION")
            spec.likeCollation = value;
        else if (k.rfind("ATTACH ", 0) == 0)
            spec.attached.emplace_back(SqlTrimmed(key.substr(7)), value);
        else
            throw DbError("Unknown key \"" + key + "\" in the connection string");
    }
    return spec;
}

std::string connectValue(const std::string& v)
{
    if (v.find_first_of(";\"") == std::string::npos && SqlTrimmed(v) == v)
        return v;
    std::string r = "\"";
    for (char c : v) {
        r += c;
        if (c == '"')
            r += '"';
    }
    return r + "\"";
}
