#pragma once
// The dialect adapter: texts of the suite's SQL Server dialect as SQLite runs them. It
// works on tokens, so quoted text, quoted names and comments are never rewritten:
//   db..table, db.dbo.table    -> "db".table (company databases are attached under their
//                                 name; the main database also answers to its own name)
//   [name]                     -> "name";  N'text' -> 'text'
//   ISNULL(a, b)               -> ifnull(a, b)  (ISNULL is an operator in SQLite)
//   CONVERT(type, x [, style]) -> convert('type', x [, style])  (a registered function,
//                                 SqlFunctions.h)
//   CAST(x AS type)            -> convert('type', x): CHAR(n) pads, decimals round, and
//                                 a text that is no number is an error, not 0
//   a + b                      -> a || b when both operands are text columns of the
//                                 schema or text literals (SQLite would add them as numbers)
//   :NAME                      -> a placeholder; every one must get a value

#include "db/DbError.h"

#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class DbDialect { SQLite, PostgreSQL };

// What the adapter must know of the schema.
struct SqlSchemaInfo {
    // Upper-case names of the columns that hold text in every table that has them.
    std::set<std::string, std::less<>> textColumns;
    // Upper-case database names that stand for a schema of another name ("QVSYS" -> "main").
    std::vector<std::pair<std::string, std::string>> databaseAliases;
    // PostgreSQL: the collation LIKE compares by; empty for the database's own.
    std::string likeCollation;

    bool isTextColumn(std::string_view name) const;
};

struct SqlTranslation {
    std::string text;                // the statement for the connection's engine
    std::vector<std::string> params; // placeholder names, upper case, first use first
    std::vector<int> dateColumns;    // result columns that are date-time expressions
    bool multipleStatements = false; // something follows the first statement's ";"
    // PostgreSQL folds unquoted names to lower case: the names as the text writes them, by
    // their lower-case form, so that result columns keep the text's spelling.
    std::vector<std::pair<std::string, std::string>> spelledNames;
};

// Translates a text of the SQL Server dialect (DbError for unterminated quotes and for
// a "$$" prefix left unresolved).
SqlTranslation TranslateSql(std::string_view sql, const SqlSchemaInfo& schema,
                            DbDialect dialect = DbDialect::SQLite);

// The database names of db..table and db.dbo.table references, as written, first use first.
std::vector<std::string> QualifyingDatabaseNames(std::string_view sql);

// Every "$$" outside quoted text and comments becomes databaseName followed by "..".
std::string ResolveTablePrefix(std::string_view sql, std::string_view databaseName);
// Whether the text has a "$$" outside quoted text and comments.
bool HasTablePrefix(std::string_view sql);

// A text literal: the text in single quotes with inner single quotes doubled.
std::string SqlQuote(std::string_view text);
// A name in double quotes with inner double quotes doubled.
std::string SqlQuoteName(std::string_view name);

// The upper-case first keyword of a statement ("SELECT", "WITH" ...); empty when there is none.
std::string SqlFirstKeyword(std::string_view sql);
// A statement for an error message: trimmed, on one line, at most 300 characters.
std::string SqlAbbreviated(std::string_view sql);
// Without blanks, tabs, carriage returns and line feeds at both ends.
std::string SqlTrimmed(std::string_view s);
