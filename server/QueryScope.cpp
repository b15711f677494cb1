#include "server/QueryScope.h"

#include "platform/AsciiText.h"
#include "db/SqlTokens.h"

#include <algorithm>

namespace {

using sqltok::Tk;

bool startsWith(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

bool among(const std::vector<std::string>& names, std::string_view upperName)
{
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return n == upperName; });
}

// Names (upper case) of what a statement must not reach by name: the engines' catalogues,
// their pragma functions, and the functions that read server files, change settings or run
// a text as a statement of its own (which no token check could follow).
std::string engineProblem(std::string_view upper, const std::string& written)
{
    static constexpr std::string_view prefixes[] = {"SQLITE_", "PRAGMA_", "PG_", "LO_", "DBLINK"};
    for (const std::string_view p : prefixes)
        if (startsWith(upper, p))
            return "the database engine's own " + written;
    static constexpr std::string_view names[] = {"INFORMATION_SCHEMA", "CURRENT_SETTING", "SET_CONFIG",
                                                 "LOAD_EXTENSION", "FTS3_TOKENIZER", "READFILE", "WRITEFILE"};
    for (const std::string_view n : names)
        if (upper == n)
            return "the database engine's own " + written;
    if (upper.find("_TO_XML") != std::string_view::npos)
        return "the function " + written + ", which runs a text as a statement";
    return {};
}

} // namespace

const std::vector<std::string>& PrivateSystemTables()
{
    // Rights, schemes, the job queue with its packets, and the messages with their
    // recipients' addresses.
    static const std::vector<std::string> tables{"ADMMR", "GENES", "ADMJB", "ADMJR", "ADMTC", "ADMTD", "ADMTO"};
    return tables;
}

std::string QueryScopeProblem(std::string_view sql, const QueryScope& scope)
{
    const std::vector<sqltok::Token> t = sqltok::tokenize(sql);
    const std::string company = upperAscii(scope.companyDatabase);
    const std::string system = upperAscii(scope.systemDatabase);
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!sqltok::isName(t[i]))
            continue;
        const std::string written = sqltok::unquoteName(t[i]);
        const std::string name = upperAscii(written);
        if (among(PrivateSystemTables(), name))
            return "the table " + name + " of the system database is served by its own members, not by SimpleSQL";
        if (const std::string engine = engineProblem(name, written); !engine.empty())
            return engine + " is not readable through SimpleSQL";
        // db..table and db.dbo.table: the session's company or the system database only.
        if (sqltok::qualifiedNameAt(t, i)) {
            if (name != company && name != system)
                return "the database " + name + " is not the signed-on company's (" +
                       (company.empty() ? std::string("none") : company) + ")";
            continue;
        }
        // schema.table (PostgreSQL) or an attached database's name: a name the server
        // knows as another database, not preceded by a dot of its own.
        const std::size_t next = sqltok::nextSig(t, i);
        const std::size_t prev = sqltok::prevSig(t, i);
        if (next != sqltok::npos && t[next].kind == Tk::Dot && (prev == sqltok::npos || t[prev].kind != Tk::Dot) &&
            name != company && name != system && scope.isOtherDatabase && scope.isOtherDatabase(name))
            return "the database " + name + " is not the signed-on company's (" +
                   (company.empty() ? std::string("none") : company) + ")";
    }
    return {};
}
