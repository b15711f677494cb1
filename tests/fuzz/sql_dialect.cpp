// The dialect adapter. Any text either translates or raises DbError. And the property that
// matters: text inside quotes never becomes SQL. The input is cut into pieces of statement
// (quotes and comment starters taken out) with a text value between each two; the value is
// quoted as the suite quotes it, and every quoted value must come out of the translation
// unchanged and in order, for both engines, while no placeholder comes from inside one.

#include "FuzzSupport.h"

#include "platform/AsciiText.h"
#include "db/DbError.h"
#include "db/PgDialect.h"
#include "db/SqlDialect.h"

#include <vector>

namespace {

const SqlSchemaInfo& schema()
{
    static const SqlSchemaInfo info = [] {
        SqlSchemaInfo s;
        s.textColumns = {"TA001", "TA002", "MA002", "NAME"};
        s.databaseAliases = {{"QVSYS", "main"}};
        return s;
    }();
    return info;
}

std::string statementPiece(std::string piece)
{
    for (char& c : piece)
        if (c == '\'' || c == '"' || c == '`' || c == '[' || c == ']' || c == '-' || c == '/')
            c = ' ';
    return piece;
}

void checkLiteralsSurvive(const std::string& sql, const std::vector<std::string>& literals,
                          const std::string& statement, DbDialect dialect)
{
    SqlTranslation t;
    try {
        t = TranslateSql(sql, schema(), dialect);
    } catch (const DbError&) {
        return; // e.g. a "$$" left in the statement pieces
    }
    std::size_t from = 0;
    for (const std::string& literal : literals) {
        const std::size_t at = t.text.find(literal, from);
        fuzz::check(at != std::string::npos, "a quoted text survives the translation unchanged",
                    sql + "\n=> " + t.text + "\nmissing: " + literal);
        from = at + literal.size();
    }
    const std::string upperStatement = upperAscii(statement);
    for (const std::string& p : t.params)
        fuzz::check(p == PgNowParam || upperStatement.find(":" + p) != std::string::npos,
                    "placeholders come from the statement only (or are the adapter's own clock)",
                    sql + "\nplaceholder: " + p);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string raw(reinterpret_cast<const char*>(data), size);
    for (DbDialect d : {DbDialect::SQLite, DbDialect::PostgreSQL}) {
        try {
            (void)TranslateSql(raw, schema(), d);
        } catch (const DbError&) {
        }
    }
    try {
        (void)QualifyingDatabaseNames(raw);
        (void)HasTablePrefix(raw);
        (void)ResolveTablePrefix(raw, "COMP01");
        (void)SqlFirstKeyword(raw);
        (void)SqlAbbreviated(raw);
    } catch (const DbError&) {
    }

    fuzz::Input in(data, size);
    std::string sql, statement;
    std::vector<std::string> literals;
    for (int i = 0; !in.empty() && i < 64; ++i) {
        const std::string piece = statementPiece(in.text('\x01'));
        sql += piece;
        statement += piece;
        if (in.empty())
            break;
        const std::string value = in.text('\x01');
        literals.push_back(SqlQuote(value));
        sql += literals.back();
        statement += ' ';
    }
    for (DbDialect d : {DbDialect::SQLite, DbDialect::PostgreSQL})
        checkLiteralsSurvive(sql, literals, statement, d);
    return 0;
}
