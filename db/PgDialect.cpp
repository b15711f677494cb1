#include "db/PgDialect.h"
#include "platform/AsciiText.h"
#include "db/SqlTokens.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

using namespace sqltok;

using Tokens = std::vector<Token>;

Token word(std::string text)
{
    return {Tk::Word, std::move(text)};
}

// The tokens of [from, to) without the blanks at both ends.
Tokens slice(const Tokens& t, std::size_t from, std::size_t to)
{
    while (from < to && t[from].kind == Tk::Space)
        ++from;
    while (to > from && t[to - 1].kind == Tk::Space)
        --to;
    return Tokens(t.begin() + std::ptrdiff_t(from), t.begin() + std::ptrdiff_t(to));
}

void replaceRange(Tokens& t, std::size_t from, std::size_t to, const Tokens& with)
{
    t.erase(t.begin() + std::ptrdiff_t(from), t.begin() + std::ptrdiff_t(to));
    t.insert(t.begin() + std::ptrdiff_t(from), with.begin(), with.end());
}

bool plainName(std::string_view s)
{
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_'))
        return false;
    return std::all_of(s.begin(), s.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

void rememberSpelling(SqlTranslation& r, const std::string& written)
{
    const std::string lower = lowerAscii(written);
    for (const auto& [l, w] : r.spelledNames)
        if (l == lower)
            return;
    r.spelledNames.emplace_back(lower, written);
}

void rewriteQualifiedNames(Tokens& t, const SqlSchemaInfo& schema)
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
        t[i] = {Tk::QIdent, SqlQuoteName(PgSchemaName(db))};
        t.erase(t.begin() + std::ptrdiff_t(i + 2), t.begin() + std::ptrdiff_t(i + 2 + drop));
    }
}

// The suite's server compares names without regard to case; PostgreSQL does so only for
// names it folds, so quoted plain names are folded too.
void foldQuotedNames(Tokens& t, SqlTranslation& r)
{
    for (Token& tok : t) {
        if (tok.kind != Tk::QIdent)
            continue;
        const std::string inner = unquoteName(tok);
        if (!plainName(inner))
            continue;
        rememberSpelling(r, inner);
        tok = word(lowerAscii(inner));
    }
}

bool isCall(const Tokens& t, std::size_t i, std::string_view name)
{
    if (!isWord(t[i], name))
        return false;
    const std::size_t p = nextSig(t, i);
    return p != npos && t[p].kind == Tk::LParen;
}

void rewriteIsNullAndNow(Tokens& t)
{
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (isCall(t, i, "ISNULL")) {
            t[i].text = "COALESCE";
        } else if (isCall(t, i, "GETDATE")) {
            const std::size_t p = nextSig(t, i);
            const std::size_t r = nextSig(t, p);
            if (r == npos || t[r].kind != Tk::RParen)
                continue;
            replaceRange(t, i, r + 1,
                         {word("CAST"), {Tk::LParen, "("}, {Tk::Param, ":" + std::string(PgNowParam)}, {Tk::Space, " "},
                          word("AS"), {Tk::Space, " "}, word("TIMESTAMP"), {Tk::LParen, "("}, {Tk::Number, "3"},
                          {Tk::RParen, ")"}, {Tk::RParen, ")"}});
        }
    }
}

struct TypeName {
    std::string base;
    std::string args; // inside the parentheses, without them
    bool hasArgs = false;
};

TypeName parseType(const std::string& text)
{
    TypeName r;
    const auto open = text.find('(');
    r.base = SqlTrimmed(text.substr(0, open));
    if (open != std::string::npos) {
        r.hasArgs = true;
        const auto close = text.rfind(')');
        r.args = SqlTrimmed(text.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1));
    }
    return r;
}

bool oneOf(const std::string& s, std::initializer_list<const char*> list)
{
    return std::any_of(list.begin(), list.end(), [&](const char* x) { return s == x; });
}

// A literal, a placeholder or NULL has no type of its own; the functions of qv_fn take
// any type and must be told that it is text.
bool untyped(const Tokens& value)
{
    std::size_t only = npos, count = 0;
    for (std::size_t k = 0; k < value.size(); ++k)
        if (significant(value[k])) {
            only = k;
            ++count;
        }
    return count == 1
           && (value[only].kind == Tk::String || value[only].kind == Tk::Param || isWord(value[only], "NULL"));
}

Tokens call(const std::string& fn, const Tokens& value, const std::string& rest)
{
    Tokens r{word(fn), {Tk::LParen, "("}};
    if (untyped(value)) {
        const Tokens typed = tokenize("CAST(" + SqlTrimmed(joinTokens(value)) + " AS TEXT)");
        r.insert(r.end(), typed.begin(), typed.end());
    } else {
        r.insert(r.end(), value.begin(), value.end());
    }
    const Tokens tail = tokenize(rest + ")");
    r.insert(r.end(), tail.begin(), tail.end());
    return r;
}

Tokens cast(const Tokens& value, const std::string& type)
{
    Tokens r{word("CAST"), {Tk::LParen, "("}};
    r.insert(r.end(), value.begin(), value.end());
    const Tokens tail = tokenize(" AS " + type + ")");
    r.insert(r.end(), tail.begin(), tail.end());
    return r;
}

// The server's CONVERT(type, value, style) and CAST(value AS type); empty when the type
// is one PostgreSQL converts as the suite's server does.
Tokens converted(const std::string& typeText, const Tokens& value, const Tokens& style, bool fromConvert)
{
    const TypeName type = parseType(typeText);
    const std::string& b = type.base;
    std::string styleText = "-1";
    if (!style.empty())
        styleText = SqlTrimmed(joinTokens(style));
    if (oneOf(b, {"TEXT", "NTEXT"}) && style.empty()) {
        // PostgreSQL's own; a CAST to TEXT is left as it is.
        return fromConvert ? cast(value, "TEXT") : Tokens();
    }
    if (oneOf(b, {"CHAR", "NCHAR", "VARCHAR", "NVARCHAR", "TEXT", "NTEXT"})) {
        int n = 30;
        if (oneOf(b, {"TEXT", "NTEXT"}) || type.args == "MAX")
            n = -1;
        else if (type.hasArgs)
            n = std::atoi(type.args.c_str());
        const bool pad = b == "CHAR" || b == "NCHAR";
        return call("qv_fn.qv_char", value,
                    ", " + std::to_string(n) + ", " + (pad ? "TRUE" : "FALSE") + ", " + styleText);
    }
    if (oneOf(b, {"INT", "INTEGER", "BIGINT", "SMALLINT", "TINYINT", "BIT"})) {
        const char* range = b == "BIGINT"                  ? "-9223372036854775808, 9223372036854775807"
                            : b == "SMALLINT"              ? "-32768, 32767"
                            : b == "TINYINT"               ? "0, 255"
                            : b == "BIT"                   ? "-9223372036854775808, 9223372036854775807"
                                                           : "-2147483648, 2147483647";
        Tokens r = call("qv_fn.qv_int", value, std::string(", ") + range + ", '" + b + "'");
        if (b == "BIT") {
            Tokens bit{word("CASE"), {Tk::Space, " "}, word("WHEN"), {Tk::Space, " "}};
            bit.insert(bit.end(), r.begin(), r.end());
            bit.push_back({Tk::Other, " <> 0 THEN 1 WHEN "});
            bit.insert(bit.end(), r.begin(), r.end());
            bit.push_back({Tk::Other, " = 0 THEN 0 END"});
            return bit;
        }
        return r;
    }
    if (oneOf(b, {"DECIMAL", "NUMERIC"}))
        return cast(value, "NUMERIC(" + (type.hasArgs ? type.args : std::string("18,0")) + ")");
    if (b == "MONEY")
        return cast(value, "NUMERIC(19,4)");
    if (b == "FLOAT")
        return cast(value, "DOUBLE PRECISION");
    if (b == "REAL")
        return cast(value, "REAL");
    if (oneOf(b, {"DATETIME", "SMALLDATETIME", "DATETIME2"}))
        return cast(value, "TIMESTAMP(3)");
    if (b == "DATE")
        return cast(value, "DATE");
    return {};
}

// Whether the significant tokens of [from, to) are one number.
bool oneNumber(const Tokens& t, std::size_t from, std::size_t to)
{
    int numbers = 0;
    for (std::size_t k = from; k < to; ++k) {
        if (!significant(t[k]))
            continue;
        if (t[k].kind != Tk::Number)
            return false;
        ++numbers;
    }
    return numbers == 1;
}

// Positions of the commas at the outer level of the parentheses that open at p.
std::vector<std::size_t> outerCommas(const Tokens& t, std::size_t p, std::size_t r)
{
    std::vector<std::size_t> commas;
    int depth = 0;
    for (std::size_t k = p + 1; k < r; ++k) {
        if (t[k].kind == Tk::LParen)
            ++depth;
        else if (t[k].kind == Tk::RParen)
            --depth;
        else if (t[k].kind == Tk::Comma && depth == 0)
            commas.push_back(k);
    }
    return commas;
}

void rewriteConversions(Tokens& t)
{
    for (std::size_t i = 0; i < t.size(); ++i) {
        const bool isConvert = isCall(t, i, "CONVERT");
        if (!isConvert && !isCall(t, i, "CAST"))
            continue;
        const std::size_t p = nextSig(t, i);
        const std::size_t r = matchingParen(t, p);
        if (r == npos)
            continue;
        Tokens with;
        if (isConvert) {
            const std::vector<std::size_t> commas = outerCommas(t, p, r);
            if (commas.empty() || commas.size() > 2)
                continue;
            const std::string type = typeText(t, p + 1, commas[0]);
            if (type.empty() || type[0] == '\'')
                continue;
            // A style is a number; anything else is left for the server to refuse, never
            // dropped with the text it may hold.
            if (commas.size() > 1 && !oneNumber(t, commas[1] + 1, r))
                continue;
            const std::size_t valueEnd = commas.size() > 1 ? commas[1] : r;
            with = converted(type, slice(t, commas[0] + 1, valueEnd),
                             commas.size() > 1 ? slice(t, commas[1] + 1, r) : Tokens(), true);
        } else {
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
            with = converted(typeText(t, as + 1, r), slice(t, p + 1, as), {}, false);
        }
        if (!with.empty())
            replaceRange(t, i, r + 1, with);
    }
}

// LIKE without an escape character and without regard to case, as the suite's servers
// compare: PostgreSQL would take "\" as the escape character. A configured collation is
// put on the pattern, which gives the comparison its collation.
void rewriteLike(Tokens& t, const std::string& collation)
{
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!isWord(t[i], "LIKE"))
            continue;
        t[i].text = "ILIKE";
        int depth = 0;
        std::size_t k = nextSig(t, i);
        std::size_t end = t.size();
        bool hasEscape = false;
        for (; k != npos; k = nextSig(t, k)) {
            const Token& tok = t[k];
            if (tok.kind == Tk::LParen) {
                ++depth;
            } else if (tok.kind == Tk::RParen) {
                if (--depth < 0) {
                    end = k;
                    break;
                }
            } else if (depth == 0 && (tok.kind == Tk::Comma || tok.kind == Tk::Semi)) {
                end = k;
                break;
            } else if (depth == 0 && tok.kind == Tk::Word) {
                if (isWord(tok, "ESCAPE")) {
                    hasEscape = true;
                    end = k;
                    break;
                }
                static const char* stops[] = {"AND", "OR", "THEN", "ELSE", "END", "WHEN", "ORDER", "GROUP", "HAVING",
                                              "UNION", "EXCEPT", "INTERSECT", "LIMIT", "FROM", "WHERE", "AS", "IS",
                                              "COLLATE", "FOR", "OFFSET"};
                if (std::any_of(std::begin(stops), std::end(stops), [&](const char* s) { return isWord(tok, s); })) {
                    end = k;
                    break;
                }
            }
        }
        std::string tail = collation.empty() ? std::string() : ") COLLATE " + SqlQuoteName(collation);
        if (!hasEscape)
            tail += " ESCAPE ''";
        if (tail.empty())
            continue;
        // After the operand's last significant token.
        std::size_t at = end;
        while (at > i + 1 && !significant(t[at - 1]))
            --at;
        const std::size_t first = nextSig(t, i);
        if (!collation.empty() && (first == npos || first >= at))
            continue; // no pattern: the server says what is wrong
        t.insert(t.begin() + std::ptrdiff_t(at), Token{Tk::Other, tail});
        if (!collation.empty())
            t.insert(t.begin() + std::ptrdiff_t(first), Token{Tk::Other, "("});
    }
}

// SELECT [DISTINCT] TOP n ... -> SELECT [DISTINCT] ... LIMIT n
void rewriteTop(Tokens& t)
{
    std::size_t k = nextSig(t, npos);
    if (k == npos || !isWord(t[k], "SELECT"))
        return;
    k = nextSig(t, k);
    if (k != npos && (isWord(t[k], "DISTINCT") || isWord(t[k], "ALL")))
        k = nextSig(t, k);
    if (k == npos || !isWord(t[k], "TOP"))
        return;
    std::size_t n = nextSig(t, k);
    std::size_t last = n;
    if (n != npos && t[n].kind == Tk::LParen) {
        last = matchingParen(t, n);
        n = nextSig(t, n);
    }
    if (n == npos || last == npos || t[n].kind != Tk::Number)
        return;
    const std::string count = t[n].text;
    std::size_t to = last + 1;
    if (to < t.size() && t[to].kind == Tk::Space)
        ++to;
    t.erase(t.begin() + std::ptrdiff_t(k), t.begin() + std::ptrdiff_t(to));
    std::size_t at = t.size();
    while (at > 0 && (!significant(t[at - 1]) || t[at - 1].kind == Tk::Semi))
        --at;
    t.insert(t.begin() + std::ptrdiff_t(at), Token{Tk::Other, " LIMIT " + count});
}

// The types of the schema script.
void rewriteColumnTypes(Tokens& t)
{
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (isWord(t[i], "DECIMAL_TEXT")) {
            // Exact and as written, as SQLite keeps the text: no scale that pads or rounds.
            t[i].text = "NUMERIC";
            const std::size_t p = nextSig(t, i);
            const std::size_t r = p == npos || t[p].kind != Tk::LParen ? npos : matchingParen(t, p);
            if (r != npos)
                t.erase(t.begin() + std::ptrdiff_t(i + 1), t.begin() + std::ptrdiff_t(r + 1));
        } else if (isWord(t[i], "DATETIME")) {
            t[i].text = "TIMESTAMP(3)";
        } else if (isWord(t[i], "INTEGER")) {
            const std::size_t a = nextSig(t, i);
            const std::size_t b = a == npos ? npos : nextSig(t, a);
            if (b != npos && isWord(t[a], "PRIMARY") && isWord(t[b], "KEY"))
                t.insert(t.begin() + std::ptrdiff_t(i + 1), Token{Tk::Other, " GENERATED BY DEFAULT AS IDENTITY"});
        }
    }
}

} // namespace

std::string PgSchemaName(std::string_view databaseName)
{
    return lowerAscii(databaseName);
}

SqlTranslation TranslateSqlPostgres(std::string_view sql, const SqlSchemaInfo& schema)
{
    Tokens t = tokenize(sql);
    for (const Token& tok : t)
        if (tok.kind == Tk::Prefix)
            throw DbError("The table prefix $$ was not resolved in: " + SqlAbbreviated(sql));

    SqlTranslation r;
    for (const Token& tok : t)
        if (tok.kind == Tk::Word)
            rememberSpelling(r, tok.text);
    rewriteQualifiedNames(t, schema);
    foldQuotedNames(t, r);
    rewriteIsNullAndNow(t);
    rewriteConversions(t);
    rewriteConcatenation(t, schema);
    rewriteLike(t, schema.likeCollation);
    rewriteTop(t);
    rewriteColumnTypes(t);

    bool afterSemi = false;
    for (Token& tok : t) {
        if (tok.kind == Tk::Param) {
            const std::string name = upperAscii(tok.text.substr(1));
            auto it = std::find(r.params.begin(), r.params.end(), name);
            if (it == r.params.end())
                it = r.params.insert(r.params.end(), name);
            tok.text = "$" + std::to_string(it - r.params.begin() + 1);
        }
        if (tok.kind == Tk::Semi)
            afterSemi = true;
        else if (afterSemi && significant(tok))
            r.multipleStatements = true;
    }
    r.text = joinTokens(t);
    return r;
}
