#include "platform/SqlDialect.h"
#include "platform/AsciiText.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

// Tokens of a statement text. Joining the texts of all tokens gives the statement again
// (after the normalisations noted at the token kinds).

enum class Tk {
    Space,
    Comment,
    String,  // 'text' (N'text' loses its N)
    QIdent,  // "name" ([name] and `name` become "name")
    Number,
    Word,
    Param,   // :NAME
    Prefix,  // $$
    Op,
    LParen,
    RParen,
    Comma,
    Dot,
    Semi,
    Other,
};

struct Token {
    Tk kind;
    std::string text;
};

bool isWordStart(unsigned char c)
{
    return std::isalpha(c) || c == '_' || c == '#' || c >= 0x80;
}

bool isWordChar(unsigned char c)
{
    return std::isalnum(c) || c == '_' || c == '#' || c == '$' || c == '@' || c >= 0x80;
}

// Reads a quoted run starting at s[i] (the opening quote); close is the closing quote,
// doubled inside. Answers the position after the closing quote.
std::size_t readQuoted(std::string_view s, std::size_t i, char close, const char* what)
{
    std::size_t j = i + 1;
    for (;;) {
        if (j >= s.size())
            throw DbError(std::string("Unterminated ") + what + " in SQL text: " + SqlAbbreviated(s));
        if (s[j] == close) {
            if (j + 1 < s.size() && s[j + 1] == close) {
                j += 2;
                continue;
            }
            return j + 1;
        }
        ++j;
    }
}

std::vector<Token> tokenize(std::string_view s)
{
    std::vector<Token> out;
    std::size_t i = 0;
    const std::size_t n = s.size();
    auto at = [&](std::size_t k) -> unsigned char { return k < n ? static_cast<unsigned char>(s[k]) : 0; };
    while (i < n) {
        const unsigned char c = at(i);
        std::size_t j = i + 1;
        if (std::isspace(c)) {
            while (j < n && std::isspace(at(j)))
                ++j;
            out.push_back({Tk::Space, std::string(s.substr(i, j - i))});
        } else if (c == '-' && at(i + 1) == '-') {
            j = s.find('\n', i);
            j = j == std::string_view::npos ? n : j;
            out.push_back({Tk::Comment, std::string(s.substr(i, j - i))});
        } else if (c == '/' && at(i + 1) == '*') {
            j = s.find("*/", i + 2);
            j = j == std::string_view::npos ? n : j + 2;
            out.push_back({Tk::Comment, std::string(s.substr(i, j - i))});
        } else if (c == '\'') {
            j = readQuoted(s, i, '\'', "quoted text");
            out.push_back({Tk::String, std::string(s.substr(i, j - i))});
        } else if ((c == 'N' || c == 'n') && at(i + 1) == '\'') {
            j = readQuoted(s, i + 1, '\'', "quoted text");
            out.push_back({Tk::String, std::string(s.substr(i + 1, j - i - 1))});
        } else if (c == '"') {
            j = readQuoted(s, i, '"', "quoted name");
            out.push_back({Tk::QIdent, std::string(s.substr(i, j - i))});
        } else if (c == '[' || c == '`') {
            const char close = c == '[' ? ']' : '`';
            j = readQuoted(s, i, close, "quoted name");
            std::string inner;
            for (std::size_t k = i + 1; k + 1 < j; ++k) {
                inner += s[k];
                if (s[k] == close)
                    ++k; // doubled closing character stands for one
            }
            out.push_back({Tk::QIdent, SqlQuoteName(inner)});
        } else if (std::isdigit(c) || (c == '.' && std::isdigit(at(i + 1)))) {
            if (c == '0' && (at(i + 1) == 'x' || at(i + 1) == 'X')) {
                j = i + 2;
                while (std::isxdigit(at(j)))
                    ++j;
            } else {
                j = i;
                while (std::isdigit(at(j)))
                    ++j;
                if (at(j) == '.') {
                    ++j;
                    while (std::isdigit(at(j)))
                        ++j;
                }
                if ((at(j) == 'e' || at(j) == 'E')
                    && (std::isdigit(at(j + 1)) || ((at(j + 1) == '+' || at(j + 1) == '-') && std::isdigit(at(j + 2))))) {
                    j += 2;
                    while (std::isdigit(at(j)))
                        ++j;
                }
            }
            out.push_back({Tk::Number, std::string(s.substr(i, j - i))});
        } else if (c == '$' && at(i + 1) == '$') {
            j = i + 2;
            out.push_back({Tk::Prefix, "$$"});
        } else if (c == ':' && isWordStart(at(i + 1))) {
            j = i + 1;
            while (j < n && isWordChar(at(j)) && at(j) != '$' && at(j) != '@')
                ++j;
            out.push_back({Tk::Param, std::string(s.substr(i, j - i))});
        } else if (isWordStart(c)) {
            while (j < n && isWordChar(at(j)))
                ++j;
            out.push_back({Tk::Word, std::string(s.substr(i, j - i))});
        } else if (c == '(') {
            out.push_back({Tk::LParen, "("});
        } else if (c == ')') {
            out.push_back({Tk::RParen, ")"});
        } else if (c == ',') {
            out.push_back({Tk::Comma, ","});
        } else if (c == '.') {
            out.push_back({Tk::Dot, "."});
        } else if (c == ';') {
            out.push_back({Tk::Semi, ";"});
        } else if (std::strchr("+-*/%=<>&|^~!", c)) {
            static const char* twoChar[] = {"<=", ">=", "<>", "!=", "||", "==", "!<", "!>", "<<", ">>"};
            for (const char* op : twoChar)
                if (s.substr(i, 2) == op)
                    j = i + 2;
            out.push_back({Tk::Op, std::string(s.substr(i, j - i))});
        } else {
            out.push_back({Tk::Other, std::string(1, char(c))});
        }
        i = j;
    }
    return out;
}

constexpr std::size_t npos = std::size_t(-1);

bool significant(const Token& t)
{
    return t.kind != Tk::Space && t.kind != Tk::Comment;
}

std::size_t nextSig(const std::vector<Token>& t, std::size_t i)
{
    for (std::size_t k = i + 1; k < t.size(); ++k)
        if (significant(t[k]))
            return k;
    return npos;
}

std::size_t prevSig(const std::vector<Token>& t, std::size_t i)
{
    for (std::size_t k = i; k-- > 0;)
        if (significant(t[k]))
            return k;
    return npos;
}

bool isWord(const Token& t, std::string_view w)
{
    return t.kind == Tk::Word && SameTextAscii(t.text, w);
}

bool isName(const Token& t)
{
    return t.kind == Tk::Word || t.kind == Tk::QIdent;
}

std::string unquoteName(const Token& t)
{
    if (t.kind != Tk::QIdent)
        return t.text;
    std::string r;
    for (std::size_t k = 1; k + 1 < t.text.size(); ++k) {
        r += t.text[k];
        if (t.text[k] == '"')
            ++k;
    }
    return r;
}

// Index of the parenthesis that closes the one at open; npos when it is not closed.
std::size_t matchingParen(const std::vector<Token>& t, std::size_t open)
{
    int depth = 0;
    for (std::size_t k = open; k < t.size(); ++k) {
        if (t[k].kind == Tk::LParen)
            ++depth;
        else if (t[k].kind == Tk::RParen && --depth == 0)
            return k;
    }
    return npos;
}

// The significant tokens of [from, to) as a type name: "CHAR(14)", "NUMERIC(18,2)".
std::string typeText(const std::vector<Token>& t, std::size_t from, std::size_t to)
{
    std::string r;
    bool lastWord = false;
    for (std::size_t k = from; k < to; ++k) {
        if (!significant(t[k]))
            continue;
        const bool word = t[k].kind == Tk::Word || t[k].kind == Tk::Number;
        if (word && lastWord)
            r += ' ';
        r += upperAscii(t[k].text);
        lastWord = word;
    }
    return r;
}

// Whether t[i] is the database of db..table or db.dbo.table: the number of tokens after
// its dot that name no schema (1 or 2), else 0.
std::size_t qualifiedNameAt(const std::vector<Token>& t, std::size_t i)
{
    if (i + 3 >= t.size() || !isName(t[i]) || t[i + 1].kind != Tk::Dot)
        return 0;
    if (t[i + 2].kind == Tk::Dot && isName(t[i + 3]))
        return 1;
    if (i + 4 < t.size() && isWord(t[i + 2], "dbo") && t[i + 3].kind == Tk::Dot && isName(t[i + 4]))
        return 2;
    return 0;
}

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

bool leftBoundaryAllowsText(const std::vector<Token>& t, std::size_t q)
{
    if (q == npos)
        return true;
    const Token& b = t[q];
    if (b.kind == Tk::LParen || b.kind == Tk::Comma)
        return true;
    if (b.kind == Tk::Op) {
        static const char* ops[] = {"=", "==", "<", ">", "<=", ">=", "<>", "!=", "!<", "!>", "||"};
        for (const char* op : ops)
            if (b.text == op)
                return true;
        return false;
    }
    if (b.kind == Tk::Word) {
        static const char* words[] = {"SELECT", "WHERE", "AND", "OR", "NOT", "ON", "WHEN", "THEN",
                                      "ELSE", "IN", "BY", "HAVING", "SET", "VALUES", "DISTINCT",
                                      "ALL", "LIKE", "BETWEEN", "CASE", "RETURN"};
        for (const char* w : words)
            if (SameTextAscii(b.text, w))
                return true;
    }
    return false;
}

// a + b -> a || b when both operands are text columns or text literals. The operands are
// the immediate neighbours; a neighbour bound to something stronger (a product, a call,
// a numeric sum to its left) is no plain operand and leaves the + alone.
void rewriteConcatenation(std::vector<Token>& t, const SqlSchemaInfo& schema)
{
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != Tk::Op || t[i].text != "+")
            continue;
        const std::size_t l = prevSig(t, i);
        const std::size_t r = nextSig(t, i);
        if (l == npos || r == npos)
            continue;

        std::size_t leftStart = l;
        if (t[l].kind == Tk::String) {
        } else if (isName(t[l])) {
            if (!schema.isTextColumn(unquoteName(t[l])))
                continue;
            while (leftStart >= 2 && t[leftStart - 1].kind == Tk::Dot && isName(t[leftStart - 2]))
                leftStart -= 2;
        } else {
            continue;
        }
        if (!leftBoundaryAllowsText(t, prevSig(t, leftStart)))
            continue;

        std::size_t rightEnd = r;
        if (t[r].kind == Tk::String) {
        } else if (isName(t[r])) {
            while (rightEnd + 2 < t.size() && t[rightEnd + 1].kind == Tk::Dot && isName(t[rightEnd + 2]))
                rightEnd += 2;
            if (!schema.isTextColumn(unquoteName(t[rightEnd])))
                continue;
        } else {
            continue;
        }
        const std::size_t after = nextSig(t, rightEnd);
        if (after != npos) {
            const Token& a = t[after];
            if (a.kind == Tk::LParen || a.kind == Tk::Dot)
                continue;
            if (a.kind == Tk::Op && (a.text == "*" || a.text == "/" || a.text == "%"))
                continue;
        }
        t[i].text = "||";
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
    if (dialect != DbDialect::SQLite)
        throw DbError("This build has no PostgreSQL connection");
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

