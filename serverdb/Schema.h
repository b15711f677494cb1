#pragma once
// The schema of the system and company databases (Schema.sql, built into the program).

#include "db/Db.h"

#include <string>
#include <string_view>

// The statements of one section of Schema.sql: "system" or "company".
std::string SchemaScript(std::string_view section);
// Creates the tables and indexes of a section in the connection's main database.
void CreateSchema(DbConnection& conn, std::string_view section);
// The statements between "-- @part <name>" and "-- @end part <name>" of a section: tables
// that a newer program adds to an existing database.
std::string SchemaPart(std::string_view section, std::string_view part);
