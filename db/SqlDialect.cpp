#include "db/SqlDialect.h"
#include "platform/AsciiText.h"
#include "db/PgDialect.h"
#include "db/SqlTokens.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

using namespace sqltok;

// db..table and db.dbo.table -> "schema".table
void rewriteQualifiedNames(std::vector<Token>& t, const SqlSchemaInfo& schema)
{
    for (std::size_t i = 0; i + 3 < t.size(); ++i) {
        const std::size_t drop = qualifiedNameAt(t, i);
        if (!drop)
            continue;
        std::string db = unquoteName(t[i]);
        const std::string key = upperAscii(db);
        for (const auto& [alias, target] : schema.databaseAliases)
            if (alias == key)
                db = target;
        t[i] = {Tk::QIdent, SqlQuoteName(db)};
        t.erase(t.begin() + std::ptrdiff_t(i + 2), t.begin() + std::ptrdiff_t(i + 2 + drop));
    }
}

void rewriteIsNull(std::vector<Token>& t)
{
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!isWord(t[i], "ISNULL"))
            continue;
        const std::size_t p = nextSig(t, i);
        if (p != npos && t[p].kind == Tk::LParen)
            t[i].text = "ifnull";
    }
}

// CONVERT(type, x [, style]) -> convert('type', x [, style])
void rewriteConvert(std::vector<Token>& t)
{
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!isWord(t[i], "CONVERT"))
            continue;
        const std::size_t p = nextSig(t, i);
        if (p == npos || t[p].kind != Tk::LParen)
            continue;
        int depth = 0;
        std::size_t comma = npos;
        for (std::size_t k = p + 1; k < t.size() && comma == npos; ++k) {
            if (t[k].kind == Tk::LParen)
                ++depth;
            else if (t[k].kind == Tk::RParen && --depth < 0)
                break;
            else if (t[k].kind == Tk::Comma && depth == 0)
                comma = k;
        }
        if (comma == npos || comma == p + 1)
            continue;
        const std::string type = typeText(t, p + 1, comma);
        if (type.empty() || type[0] == '\'')
            continue; // already a text: the registered function takes it as it is
        t.erase(t.begin() + std::ptrdiff_t(p + 1), t.begin() + std::ptrdiff_t(comma));
        t.insert(t.begin() + std::ptrdiff_t(p + 1), Token{Tk::String, SqlQuote(type)});
        t[i].text = "convert";
    }
}

bool castNeedsConvert(const std::string& type)
{
    std::string base = type.substr(0, type.find('('));
    // Every type the server converts strictly: SQLite would read "abc" as 0.
    static const char* kinds[] = {"CHAR", "NCHAR", "VARCHAR", "NVARCHAR", "DECIMAL", "NUMERIC",
                                  "DATETIME", "SMALLDATETIME", "DATETIME2", "DATE", "BIT",
                                  "INT", "INTEGER", "BIGINT", "SMALLINT", "TINYINT", "FLOAT", "REAL", "MONEY"};
    for (const char* k : kinds)
        if (base == k)
            return true;
    return false;
}

// CAST(x AS type) -> convert('type', x): padded CHAR(n), rounded decimals, strict numbers
void rewriteCast(std::vector<Token>& t)
{
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!isWord(t[i], "CAST"))
            continue;
        const std::size_t p = nextSig(t, i);
        if (p == npos || t[p].kind != Tk::LParen)
            continue;
        const std::size_t r = matchingParen(t, p);
        if (r == npos)
            continue;
        std::size_t as = npos;
        int depth = 0;
        for (std::size_t k = p + 1; k < r; ++k) {
            if (t[k].kind == Tk::LParen)
                ++depth;
            else if (t[k].kind == Tk::RParen)
                --depth;
            else if (depth == 0 && isWord(t[k], "AS"))
                as = k;
        }
        if (as == npos)
            continue;
        const std::string type = typeText(t, as + 1, r);
        if (!castNeedsConvert(type))
            continue;
        std::size_t cut = as;
        while (cut > p + 1 && t[cut - 1].kind == Tk::Space)
            --cut;
        t.erase(t.begin() + std::ptrdiff_t(cut), t.begin() + std::ptrdiff_t(r));
        t.insert(t.begin() + std::ptrdiff_t(p + 1),
                 {Token{Tk::String, SqlQuote(type)}, Token{Tk::Comma, ","}, Token{Tk::Space, " "}});
        t[i].text = "convert";
    }
}

// Result columns of the outermost SELECT whose whole expression is a date-time value.
std::vector<int> findDateColumns(const std::vector<Token>& t)
{
    std::vector<int> cols;
    std::size_t k = nextSig(t, npos);
    if (k == npos || !isWord(t[k], "SELECT"))
        return cols;
    k = nextSig(t, k);
    while (k != npos && (isWord(t[k], "DISTINCT") || isWord(t[k], "ALL")))
        k = nextSig(t, k);

    std::vector<std::vector<std::size_t>> items(1);
    int depth = 0;
    for (; k != npos; k = nextSig(t, k)) {
        const Token& tok = t[k];
        if (tok.kind == Tk::LParen)
            ++depth;
        else if (tok.kind == Tk::RParen && --depth < 0)
            break;
        if (depth == 0) {
            if (tok.kind == Tk::Semi)
                break;
            if (tok.kind == Tk::Word) {
                static const char* ends[] = {"FROM", "INTO", "WHERE", "UNION", "ORDER", "GROUP",
                                             "HAVING", "LIMIT", "EXCEPT", "INTERSECT"};
                bool end = false;
                for (const char* e : ends)
                    end = end || SameTextAscii(tok.text, e);
                if (end)
                    break;
            }
            if (tok.kind == Tk::Comma) {
                items.emplace_back();
                continue;
            }
        }
        items.back().push_back(k);
    }

    for (std::size_t n = 0; n < items.size(); ++n) {
        std::vector<std::size_t> s = items[n];
        if (s.size() >= 3 && isName(t[s.back()]) && isWord(t[s[s.size() - 2]], "AS"))
            s.resize(s.size() - 2);
        else if (s.size() >= 2 && isName(t[s.back()]) && t[s[s.size() - 2]].kind == Tk::RParen)
            s.pop_back();
        if (s.size() < 3 || t[s[0]].kind != Tk::Word || t[s[1]].kind != Tk::LParen
            || t[s.back()].kind != Tk::RParen || matchingParen(t, s[1]) != s.back())
            continue;
        bool date = false;
        if (s.size() == 3 && SameTextAscii(t[s[0]].text, "GETDATE"))
            date = true;
        else if (SameTextAscii(t[s[0]].text, "convert") && t[s[2]].kind == Tk::String) {
            const std::string type = upperAscii(t[s[2]].text);
            date = type == "'DATETIME'" || type == "'SMALLDATETIME'" || type == "'DATETIME2'";
        }
        if (date)
            cols.push_back(int(n));
    }
    return cols;
}

} // namespace

std::string SqlTrimmed(std::string_view s)
{
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos)
        return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return std::string(s.substr(b, e - b + 1));
}

std::string SqlQuoteName(std::string_view name)
{
    std::string r = "\"";
    for (char c : name) {
        r += c;
        if (c == '"')
            r += '"';
    }
    return r + "\"";
}

std::string SqlAbbreviated(std::string_view sql)
{
    std::string s = SqlTrimmed(sql);
    for (char& c : s)
        if (c == '\r' || c == '\n' || c == '\t')
            c = ' ';
    if (s.size() > 300)
        s = s.substr(0, 300) + "...";
    return s;
}

std::string SqlFirstKeyword(std::string_view sql)
{
    const std::vector<Token> t = tokenize(sql);
    const std::size_t k = nextSig(t, npos);
    return k != npos && t[k].kind == Tk::Word ? upperAscii(t[k].text) : std::string();
}

bool SqlSchemaInfo::isTextColumn(std::string_view name) const
{
    return textColumns.count(upperAscii(name)) != 0;
}

SqlTranslation TranslateSql(std::string_view sql, const SqlSchemaInfo& schema, DbDialect dialect)
{
    if (dialect == DbDialect::PostgreSQL)
        return TranslateSqlPostgres(sql, schema);
    std::vector<Token> t = tokenize(sql);
    for (const Token& tok : t)
        if (tok.kind == Tk::Prefix)
            throw DbError("The table prefix $$ was not resolved in: " + SqlAbbreviated(sql));

    rewriteQualifiedNames(t, schema);
    rewriteIsNull(t);
    rewriteConvert(t);
    rewriteCast(t);
    rewriteConcatenation(t, schema);

    SqlTranslation r;
    bool afterSemi = false;
    for (Token& tok : t) {
        if (tok.kind == Tk::Param) {
            tok.text = upperAscii(tok.text);
            const std::string name = tok.text.substr(1);
            if (std::find(r.params.begin(), r.params.end(), name) == r.params.end())
                r.params.push_back(name);
        }
        if (tok.kind == Tk::Semi)
            afterSemi = true;
        else if (afterSemi && significant(tok))
            r.multipleStatements = true;
    }
    r.dateColumns = findDateColumns(t);
    r.text.reserve(sql.size() + 16);
    for (const Token& tok : t)
        r.text += tok.text;
    return r;
}

std::string ResolveTablePrefix(std::string_view sql, std::string_view databaseName)
{
    const std::vector<Token> t = tokenize(sql);
    std::string r;
    r.reserve(sql.size() + 32);
    for (const Token& tok : t)
        r += tok.kind == Tk::Prefix ? std::string(databaseName) + ".." : tok.text;
    return r;
}

std::vector<std::string> QualifyingDatabaseNames(std::string_view sql)
{
    const std::vector<Token> t = tokenize(sql);
    std::vector<std::string> names;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!qualifiedNameAt(t, i))
            continue;
        std::string name = unquoteName(t[i]);
        if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return SameTextAscii(n, name); }))
            names.push_back(std::move(name));
    }
    return names;
}

bool HasTablePrefix(std::string_view sql)
{
    for (const Token& tok : tokenize(sql))
        if (tok.kind == Tk::Prefix)
            return true;
    return false;
}

std::string SqlQuote(std::string_view text)
{
    std::string r = "'";
    for (char c : text) {
        r += c;
        if (c == '\'')
            r += '\'';
    }
    return r + "'";
}

