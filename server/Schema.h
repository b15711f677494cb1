#pragma once
// The schema of the system and company databases (Schema.sql, built into the program).

#include "platform/Db.h"

#include <string>
#include <string_view>

// The statements of one section of Schema.sql: "system" or "company".
std::string SchemaScript(std::string_view section);
// Creates the tables and indexes of a section in the connection's main database.
void CreateSchema(DbConnection& conn, std::string_view section);
