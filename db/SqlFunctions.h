#pragma once
// The server's functions as every SQLite connection of the suite has them: GETDATE()
// (local time), ROUND(x, n [, f]) as SQL Server rounds (half away from zero, negative n),
// CONVERT(type, x [, style]) for CONVERT and CAST (CHAR(n) pads, VARCHAR(n) cuts,
// decimals round, a text that is no number is an error, dates take styles 112 ...),
// UPPER/LOWER beyond ASCII and LEN; and the text in which SQLite keeps date-times.

#include <string>
#include <string_view>

struct sqlite3;

// DbError when a function cannot be registered.
void RegisterSqlFunctions(sqlite3* db);

// "YYYY-MM-DD HH:MM:SS.mmm" of an OLE date.
std::string SqliteDateTimeText(double oleDays);
// "YYYY-MM-DD[ HH:MM[:SS[.fff]]]" (also "T", "/" or "." as separators) and "YYYYMMDD".
bool ParseSqliteDateTime(std::string_view text, double& oleDays);
