#include "serverdb/Schema.h"

// Generated from Schema.sql at configure time.
extern const char* const QvSchemaSql;

std::string SchemaScript(std::string_view section)
{
    const std::string_view text(QvSchemaSql);
    const std::string marker = "-- @section " + std::string(section) + "\n";
    const std::size_t start = text.find(marker);
    if (section.empty() || start == std::string_view::npos)
        throw DbError("The schema has no section \"" + std::string(section) + "\"");
    const std::size_t body = start + marker.size();
    const std::size_t end = text.find("-- @section ", body);
    return std::string(text.substr(body, end == std::string_view::npos ? std::string_view::npos : end - body));
}

void CreateSchema(DbConnection& conn, std::string_view section)
{
    conn.executeScript(SchemaScript(section));
}

std::string SchemaPart(std::string_view section, std::string_view part)
{
    const std::string script = SchemaScript(section);
    const std::string begin = "-- @part " + std::string(part) + "\n";
    const std::string end = "-- @end part " + std::string(part) + "\n";
    const std::size_t b = script.find(begin);
    const std::size_t e = b == std::string::npos ? b : script.find(end, b);
    if (part.empty() || e == std::string::npos)
        throw DbError("The schema section \"" + std::string(section) + "\" has no part \"" + std::string(part) + "\"");
    return script.substr(b + begin.size(), e - b - begin.size());
}
