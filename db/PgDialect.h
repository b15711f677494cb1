#pragma once
// The dialect adapter for PostgreSQL: texts of the suite's SQL Server dialect as a
// PostgreSQL server runs them, on the tokens of SqlTokens.h:
//   db..table, db.dbo.table    -> "db".table (each company database is a schema of that
//                                 name in lower case; the main one answers to its own name)
//   [name], "NAME"             -> name (lower case, as the server folds unquoted names)
//   ISNULL(a, b)               -> COALESCE(a, b)
//   GETDATE()                  -> the program's local time, bound as a value (:QV_NOW), so
//                                 that both engines take the same clock
//   CONVERT / CAST to CHAR(n), VARCHAR(n), INT ...
//                              -> functions of the schema qv_fn (PgFunctions.h): CHAR pads,
//                                 VARCHAR cuts, a number is never cut, whole numbers truncate
//   CAST to DECIMAL, NUMERIC   -> the server's own NUMERIC (it rounds half away from zero)
//   a + b                      -> a || b between text columns and text literals
//   LIKE x                     -> ILIKE x ESCAPE '' (no escape character, case ignored, as
//                                 the suite's servers compare); with a collation configured
//                                 (SqlSchemaInfo::likeCollation): ILIKE (x) COLLATE "c" ESCAPE ''
//   SELECT TOP n ...           -> SELECT ... LIMIT n
//   DECIMAL_TEXT(p,s)          -> NUMERIC(p,s); DATETIME -> TIMESTAMP(3);
//   INTEGER PRIMARY KEY        -> a key that numbers itself, as SQLite's rowid does
//   :NAME                      -> $n, the n-th name of SqlTranslation::params

#include "db/SqlDialect.h"

#include <string_view>

// The name under which GETDATE() asks for the program's time.
inline constexpr std::string_view PgNowParam = "QV_NOW";

SqlTranslation TranslateSqlPostgres(std::string_view sql, const SqlSchemaInfo& schema);

// A database name as the schema that holds it: lower case ("DEMO" -> "demo").
std::string PgSchemaName(std::string_view databaseName);
