#include "server/Schema.h"

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
