#include "platform/Db.h"
#include "platform/AsciiText.h"
#include "platform/OleDate.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <list>
#include <map>
#include <unordered_map>

DbError::~DbError() = default;

namespace {

// ---------------------------------------------------------------------------------------
// Small text helpers

std::string trim(std::string_view s)
{
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos)
        return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return std::string(s.substr(b, e - b + 1));
}

std::string quoteIdent(std::string_view name)
{
    std::string r = "\"";
    for (char c : name) {
        r += c;
        if (c == '"')
            r += '"';
    }
    return r + "\"";
}

std::string abbreviated(std::string_view sql)
{
    std::string s = trim(sql);
    for (char& c : s)
        if (c == '\r' || c == '\n' || c == '\t')
            c = ' ';
    if (s.size() > 300)
        s = s.substr(0, 300) + "...";
    return s;
}

bool isValidName(std::string_view name)
{
    if (name.empty() || name.size() > 64)
        return false;
    if (!(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_'))
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

// ---------------------------------------------------------------------------------------
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
            throw DbError(std::string("Unterminated ") + what + " in SQL text: " + abbreviated(s));
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
            out.push_back({Tk::QIdent, quoteIdent(inner)});
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

// db..table and db.dbo.table -> "schema".table
void rewriteQualifiedNames(std::vector<Token>& t, const SqlSchemaInfo& schema)
{
    for (std::size_t i = 0; i + 3 < t.size(); ++i) {
        if (!isName(t[i]) || t[i + 1].kind != Tk::Dot)
            continue;
        std::size_t drop = 0;
        if (t[i + 2].kind == Tk::Dot && isName(t[i + 3]))
            drop = 1;
        else if (i + 4 < t.size() && isWord(t[i + 2], "dbo") && t[i + 3].kind == Tk::Dot && isName(t[i + 4]))
            drop = 2;
        if (!drop)
            continue;
        std::string db = unquoteName(t[i]);
        const std::string key = upperAscii(db);
        for (const auto& [alias, target] : schema.databaseAliases)
            if (alias == key)
                db = target;
        t[i] = {Tk::QIdent, quoteIdent(db)};
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

// ---------------------------------------------------------------------------------------
// Dates as SQLite keeps them: "YYYY-MM-DD HH:MM:SS.mmm"

std::string formatIsoDateTime(double oleDays)
{
    const CivilDate c = DecodeDateTime(oleDays);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", c.year, c.month, c.day,
                  c.hour, c.minute, c.second, c.millisecond);
    return buf;
}

int digitsAt(std::string_view s, std::size_t pos, std::size_t count)
{
    if (pos + count > s.size())
        return -1;
    int v = 0;
    for (std::size_t k = pos; k < pos + count; ++k) {
        if (!std::isdigit(static_cast<unsigned char>(s[k])))
            return -1;
        v = v * 10 + (s[k] - '0');
    }
    return v;
}

// "YYYY-MM-DD[ HH:MM[:SS[.fff]]]" (also "T", "/" or "." as separators) and "YYYYMMDD".
bool parseDateTimeText(std::string_view text, double& oleDays)
{
    const std::string s = trim(text);
    int y = -1, m = -1, d = -1;
    std::size_t pos = 0;
    if (s.size() >= 8 && digitsAt(s, 0, 8) >= 0 && (s.size() == 8 || s[8] == ' ')) {
        y = digitsAt(s, 0, 4);
        m = digitsAt(s, 4, 2);
        d = digitsAt(s, 6, 2);
        pos = 8;
    } else if (s.size() >= 10 && (s[4] == '-' || s[4] == '/' || s[4] == '.') && s[7] == s[4]) {
        y = digitsAt(s, 0, 4);
        m = digitsAt(s, 5, 2);
        d = digitsAt(s, 8, 2);
        pos = 10;
    }
    if (y < 0 || m < 0 || d < 0 || !TryEncodeDate(y, m, d, oleDays))
        return false;
    if (pos == s.size())
        return true;
    if (s[pos] != ' ' && s[pos] != 'T')
        return false;
    ++pos;
    const int hh = digitsAt(s, pos, 2);
    const int mi = pos + 2 < s.size() && s[pos + 2] == ':' ? digitsAt(s, pos + 3, 2) : -1;
    if (hh < 0 || mi < 0 || hh > 23 || mi > 59)
        return false;
    pos += 5;
    int ss = 0, ms = 0;
    if (pos < s.size() && s[pos] == ':') {
        ss = digitsAt(s, pos + 1, 2);
        if (ss < 0 || ss > 59)
            return false;
        pos += 3;
        if (pos < s.size() && s[pos] == '.') {
            ++pos;
            int scale = 100;
            while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) {
                ms += (s[pos] - '0') * scale;
                scale /= 10;
                ++pos;
            }
        }
    }
    if (pos != s.size())
        return false;
    oleDays += EncodeTime(hh, mi, ss, ms);
    return true;
}

std::string formatDateStyle(double oleDays, int style)
{
    const CivilDate c = DecodeDateTime(oleDays);
    char buf[40];
    switch (style) {
    case 112:
        std::snprintf(buf, sizeof buf, "%04d%02d%02d", c.year, c.month, c.day);
        break;
    case 111:
        std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", c.year, c.month, c.day);
        break;
    case 102:
        std::snprintf(buf, sizeof buf, "%04d.%02d.%02d", c.year, c.month, c.day);
        break;
    case 23:
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c.year, c.month, c.day);
        break;
    case 20:
    case 120:
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day,
                      c.hour, c.minute, c.second);
        break;
    case 8:
    case 108:
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", c.hour, c.minute, c.second);
        break;
    case 114:
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d:%03d", c.hour, c.minute, c.second, c.millisecond);
        break;
    default: // 21, 121, 126 and the styles we do not spell: ISO with milliseconds
        return formatIsoDateTime(oleDays);
    }
    return buf;
}

// ---------------------------------------------------------------------------------------
// UTF-8 and simple case mapping beyond ASCII (Latin-1, Latin Extended-A, Greek, Cyrillic,
// full-width Latin), as the server's UPPER and LOWER treat them.

int upperOf(int c)
{
    if (c >= 'a' && c <= 'z')
        return c - 32;
    if (c < 0x80)
        return c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return c - 32;
    if (c == 0xFF)
        return 0x178;
    if (c == 0x131)
        return 'I';
    if (((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) && (c & 1))
        return c - 1;
    if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && !(c & 1))
        return c - 1;
    if (c == 0x17F)
        return 'S';
    if (c == 0x3C2)
        return 0x3A3;
    if (c >= 0x3B1 && c <= 0x3C9)
        return c - 32;
    if (c == 0x3AC)
        return 0x386;
    if (c >= 0x3AD && c <= 0x3AF)
        return c - 37;
    if (c == 0x3CC)
        return 0x38C;
    if (c == 0x3CD || c == 0x3CE)
        return c - 63;
    if (c >= 0x430 && c <= 0x44F)
        return c - 32;
    if (c >= 0x450 && c <= 0x45F)
        return c - 80;
    if (c >= 0xFF41 && c <= 0xFF5A)
        return c - 32;
    return c;
}

int lowerOf(int c)
{
    if (c >= 'A' && c <= 'Z')
        return c + 32;
    if (c < 0x80)
        return c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c + 32;
    if (c == 0x178)
        return 0xFF;
    if (c == 0x130)
        return 'i';
    if (((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) && !(c & 1))
        return c + 1;
    if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && (c & 1))
        return c + 1;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2)
        return c + 32;
    if (c == 0x386)
        return 0x3AC;
    if (c >= 0x388 && c <= 0x38A)
        return c + 37;
    if (c == 0x38C)
        return 0x3CC;
    if (c == 0x38E || c == 0x38F)
        return c + 63;
    if (c >= 0x410 && c <= 0x42F)
        return c + 32;
    if (c >= 0x400 && c <= 0x40F)
        return c + 80;
    if (c >= 0xFF21 && c <= 0xFF3A)
        return c + 32;
    return c;
}

// Decodes one character at s[i]; answers its length, or 0 for a malformed sequence.
std::size_t decodeUtf8(std::string_view s, std::size_t i, int& cp)
{
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (!len || i + len > s.size())
        return 0;
    cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    for (std::size_t k = 1; k < len; ++k) {
        const unsigned char cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    return len;
}

void encodeUtf8(int cp, std::string& out)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

std::string mapCase(std::string_view s, int (*map)(int))
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        int cp = 0;
        const std::size_t len = decodeUtf8(s, i, cp);
        if (!len) {
            out += s[i++]; // a stray byte passes unchanged
            continue;
        }
        encodeUtf8(map(cp), out);
        i += len;
    }
    return out;
}

std::size_t countChars(std::string_view s)
{
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

// The first n characters of s.
std::string firstChars(std::string_view s, std::size_t n)
{
    std::size_t seen = 0, i = 0;
    for (; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (seen == n)
                break;
            ++seen;
        }
    }
    return std::string(s.substr(0, i));
}

// ---------------------------------------------------------------------------------------
// Functions registered on every SQLite connection

std::string valueText(sqlite3_value* v)
{
    const unsigned char* p = sqlite3_value_text(v);
    return p ? std::string(reinterpret_cast<const char*>(p), std::size_t(sqlite3_value_bytes(v))) : std::string();
}

std::string numberText(double d)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", d);
    return buf;
}

// Half away from zero at 10^-digits, the way the server rounds its decimals; a value that
// lies within binary noise of the half counts as the half.
double roundHalfAway(double x, int digits)
{
    const double p = std::pow(10.0, std::abs(digits));
    const double v = digits >= 0 ? x * p : x / p;
    const double t = std::trunc(v);
    const double frac = std::fabs(v - t);
    double r;
    if (std::fabs(frac - 0.5) <= 1e-9 * std::max(1.0, std::fabs(v)))
        r = t + (v < 0 ? -1 : 1);
    else
        r = std::round(v);
    return digits >= 0 ? r / p : r * p;
}

void fnGetDate(sqlite3_context* ctx, int, sqlite3_value**)
{
    const std::string s = formatIsoDateTime(Now());
    sqlite3_result_text(ctx, s.c_str(), int(s.size()), SQLITE_TRANSIENT);
}

void fnRound(sqlite3_context* ctx, int argc, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const int digits = sqlite3_value_int(argv[1]);
    const bool truncate = argc > 2 && sqlite3_value_type(argv[2]) != SQLITE_NULL && sqlite3_value_int(argv[2]) != 0;
    const int type = sqlite3_value_numeric_type(argv[0]);
    if (type == SQLITE_INTEGER) {
        const sqlite3_int64 x = sqlite3_value_int64(argv[0]);
        if (digits >= 0) {
            sqlite3_result_int64(ctx, x);
            return;
        }
        const double p = std::pow(10.0, -digits);
        const double r = truncate ? std::trunc(double(x) / p) * p : roundHalfAway(double(x), digits);
        sqlite3_result_int64(ctx, sqlite3_int64(r));
        return;
    }
    if (type != SQLITE_FLOAT) {
        sqlite3_result_error(ctx, "ROUND: the value is not a number", -1);
        return;
    }
    const double x = sqlite3_value_double(argv[0]);
    if (truncate) {
        const double p = std::pow(10.0, digits);
        sqlite3_result_double(ctx, std::trunc(x * p) / p);
    } else {
        sqlite3_result_double(ctx, roundHalfAway(x, digits));
    }
}

void fnLen(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    std::string s = valueText(argv[0]);
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    sqlite3_result_int64(ctx, sqlite3_int64(countChars(s)));
}

void fnCase(sqlite3_context* ctx, sqlite3_value* v, int (*map)(int))
{
    if (sqlite3_value_type(v) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const std::string s = mapCase(valueText(v), map);
    sqlite3_result_text(ctx, s.c_str(), int(s.size()), SQLITE_TRANSIENT);
}

void fnUpper(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    fnCase(ctx, argv[0], upperOf);
}

void fnLower(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    fnCase(ctx, argv[0], lowerOf);
}

struct SqlType {
    std::string base;
    int size = -1;   // length or precision; -1 when not given
    int scale = -1;
    bool max = false;
};

bool parseSqlType(std::string_view text, SqlType& type)
{
    std::string s;
    for (char c : text)
        if (c != ' ' || (!s.empty() && s.back() != ' '))
            s += upperAscii(c);
    const auto open = s.find('(');
    type.base = trim(s.substr(0, open));
    if (open == std::string::npos)
        return !type.base.empty();
    const auto close = s.find(')', open);
    if (close == std::string::npos)
        return false;
    const std::string args = s.substr(open + 1, close - open - 1);
    if (trim(args) == "MAX") {
        type.max = true;
        return true;
    }
    char* end = nullptr;
    type.size = int(std::strtol(args.c_str(), &end, 10));
    if (end && *end == ',')
        type.scale = int(std::strtol(end + 1, &end, 10));
    return end && trim(end).empty() && type.size >= 0;
}

bool oneOf(const std::string& s, std::initializer_list<const char*> list)
{
    for (const char* x : list)
        if (s == x)
            return true;
    return false;
}

void convertError(sqlite3_context* ctx, const std::string& message)
{
    const std::string m = "CONVERT: " + message;
    sqlite3_result_error(ctx, m.c_str(), int(m.size()));
}

// convert('type', value [, style]): the server's CONVERT and CAST.
void fnConvert(sqlite3_context* ctx, int argc, sqlite3_value** argv)
{
    SqlType type;
    if (!parseSqlType(valueText(argv[0]), type)) {
        convertError(ctx, "unknown type " + valueText(argv[0]));
        return;
    }
    sqlite3_value* v = argv[1];
    const int vt = sqlite3_value_type(v);
    if (vt == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const int style = argc > 2 && sqlite3_value_type(argv[2]) != SQLITE_NULL ? sqlite3_value_int(argv[2]) : -1;
    const std::string& b = type.base;

    if (oneOf(b, {"CHAR", "NCHAR", "VARCHAR", "NVARCHAR", "TEXT", "NTEXT"})) {
        std::string s;
        const bool numeric = vt == SQLITE_INTEGER || vt == SQLITE_FLOAT;
        if (vt == SQLITE_INTEGER)
            s = std::to_string(sqlite3_value_int64(v));
        else if (vt == SQLITE_FLOAT)
            s = numberText(sqlite3_value_double(v));
        else
            s = valueText(v);
        double when = 0;
        if (style >= 0 && !numeric && parseDateTimeText(s, when))
            s = formatDateStyle(when, style);
        if (!type.max && !oneOf(b, {"TEXT", "NTEXT"})) {
            const std::size_t n = type.size < 0 ? 30 : std::size_t(type.size);
            const std::size_t have = countChars(s);
            if (have > n) {
                if (numeric) {
                    convertError(ctx, "the value " + s + " does not fit " + b + "(" + std::to_string(n) + ")");
                    return;
                }
                s = firstChars(s, n);
            } else if (b == "CHAR" || b == "NCHAR") {
                s.append(n - have, ' ');
            }
        }
        sqlite3_result_text(ctx, s.c_str(), int(s.size()), SQLITE_TRANSIENT);
        return;
    }

    if (oneOf(b, {"INT", "INTEGER", "BIGINT", "SMALLINT", "TINYINT", "BIT"})) {
        sqlite3_int64 n = 0;
        if (vt == SQLITE_INTEGER) {
            n = sqlite3_value_int64(v);
        } else if (vt == SQLITE_FLOAT) {
            const double d = std::trunc(sqlite3_value_double(v));
            if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) {
                convertError(ctx, "the value " + numberText(d) + " does not fit " + b);
                return;
            }
            n = sqlite3_int64(d);
        } else {
            const std::string s = trim(valueText(v));
            char* end = nullptr;
            errno = 0;
            n = std::strtoll(s.c_str(), &end, 10);
            if (s.empty() || errno || (end && *end)) {
                convertError(ctx, "'" + s + "' is not a whole number");
                return;
            }
        }
        if (b == "BIT")
            n = n != 0;
        const sqlite3_int64 lo = b == "INT" || b == "INTEGER" ? std::numeric_limits<std::int32_t>::min()
                                 : b == "SMALLINT"             ? -32768
                                 : b == "TINYINT"              ? 0
                                                               : std::numeric_limits<sqlite3_int64>::min();
        const sqlite3_int64 hi = b == "INT" || b == "INTEGER" ? std::numeric_limits<std::int32_t>::max()
                                 : b == "SMALLINT"             ? 32767
                                 : b == "TINYINT"              ? 255
                                                               : std::numeric_limits<sqlite3_int64>::max();
        if (n < lo || n > hi) {
            convertError(ctx, "the value " + std::to_string(n) + " does not fit " + b);
            return;
        }
        sqlite3_result_int64(ctx, n);
        return;
    }

    if (oneOf(b, {"DECIMAL", "NUMERIC", "MONEY", "FLOAT", "REAL"})) {
        double d = 0;
        if (vt == SQLITE_INTEGER || vt == SQLITE_FLOAT) {
            d = sqlite3_value_double(v);
        } else {
            const std::string s = trim(valueText(v));
            char* end = nullptr;
            d = std::strtod(s.c_str(), &end);
            if (s.empty() || (end && *end) || !std::isfinite(d)) {
                convertError(ctx, "'" + s + "' is not a number");
                return;
            }
        }
        if (oneOf(b, {"DECIMAL", "NUMERIC"}))
            d = roundHalfAway(d, type.scale < 0 ? 0 : type.scale);
        else if (b == "MONEY")
            d = roundHalfAway(d, 4);
        sqlite3_result_double(ctx, d);
        return;
    }

    if (oneOf(b, {"DATETIME", "SMALLDATETIME", "DATETIME2", "DATE"})) {
        double when = 0;
        if (vt == SQLITE_INTEGER || vt == SQLITE_FLOAT) {
            when = sqlite3_value_double(v) + 2; // the server counts days from 1 January 1900
        } else if (!parseDateTimeText(valueText(v), when)) {
            convertError(ctx, "'" + valueText(v) + "' is not a date");
            return;
        }
        std::string s = formatIsoDateTime(when);
        if (b == "DATE")
            s = s.substr(0, 10);
        sqlite3_result_text(ctx, s.c_str(), int(s.size()), SQLITE_TRANSIENT);
        return;
    }

    convertError(ctx, "unknown type " + b);
}

void registerFunctions(sqlite3* db)
{
    const int det = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    struct Fn {
        const char* name;
        int args;
        int flags;
        void (*fn)(sqlite3_context*, int, sqlite3_value**);
    };
    const Fn fns[] = {
        {"getdate", 0, SQLITE_UTF8 | SQLITE_INNOCUOUS, fnGetDate},
        {"convert", 2, det, fnConvert},
        {"convert", 3, det, fnConvert},
        {"round", 2, det, fnRound},
        {"round", 3, det, fnRound},
        {"len", 1, det, fnLen},
        {"upper", 1, det, fnUpper},
        {"lower", 1, det, fnLower},
    };
    for (const Fn& f : fns)
        if (sqlite3_create_function_v2(db, f.name, f.args, f.flags, nullptr, f.fn, nullptr, nullptr, nullptr) != SQLITE_OK)
            throw DbError(std::string("Cannot register the SQL function ") + f.name + ": " + sqlite3_errmsg(db));
}

// ---------------------------------------------------------------------------------------
// Connection strings

struct ConnectSpec {
    std::string provider;
    std::string dataSource;
    std::string name;
    std::vector<std::pair<std::string, std::string>> attached;
};

ConnectSpec parseConnectString(std::string_view s)
{
    ConnectSpec spec;
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t eq = s.find('=', i);
        const std::size_t semi = s.find(';', i);
        if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
            if (!trim(s.substr(i, semi == std::string_view::npos ? std::string_view::npos : semi - i)).empty())
                throw DbError("Connection string part without a value: " + std::string(s.substr(i, semi - i)));
            if (semi == std::string_view::npos)
                break;
            i = semi + 1;
            continue;
        }
        const std::string key = trim(s.substr(i, eq - i));
        std::size_t j = eq + 1;
        while (j < s.size() && s[j] == ' ')
            ++j;
        std::string value;
        if (j < s.size() && s[j] == '"') {
            ++j;
            for (;; ++j) {
                if (j >= s.size())
                    throw DbError("Unterminated quoted value in the connection string");
                if (s[j] == '"') {
                    if (j + 1 < s.size() && s[j + 1] == '"') {
                        value += '"';
                        ++j;
                        continue;
                    }
                    ++j;
                    break;
                }
                value += s[j];
            }
            while (j < s.size() && s[j] == ' ')
                ++j;
            if (j < s.size() && s[j] != ';')
                throw DbError("Text after a quoted value in the connection string");
        } else {
            const std::size_t end = s.find(';', j);
            value = trim(s.substr(j, end == std::string_view::npos ? std::string_view::npos : end - j));
            j = end == std::string_view::npos ? s.size() : end;
        }
        i = j < s.size() ? j + 1 : j;

        const std::string k = upperAscii(key);
        if (k == "PROVIDER")
            spec.provider = value;
        else if (k == "DATA SOURCE" || k == "DATABASE")
            spec.dataSource = value;
        else if (k == "NAME")
            spec.name = value;
        else if (k.rfind("ATTACH ", 0) == 0)
            spec.attached.emplace_back(trim(key.substr(7)), value);
        else
            throw DbError("Unknown key \"" + key + "\" in the connection string");
    }
    return spec;
}

std::string connectValue(const std::string& v)
{
    if (v.find_first_of(";\"") == std::string::npos && trim(v) == v)
        return v;
    std::string r = "\"";
    for (char c : v) {
        r += c;
        if (c == '"')
            r += '"';
    }
    return r + "\"";
}

// Statement kinds, from the first keyword of the translated text.
std::string firstKeyword(std::string_view sql)
{
    const std::vector<Token> t = tokenize(sql);
    const std::size_t k = nextSig(t, npos);
    return k != npos && t[k].kind == Tk::Word ? upperAscii(t[k].text) : std::string();
}

} // namespace

// ---------------------------------------------------------------------------------------

int DbRowSet::columnIndex(std::string_view name) const
{
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (SameTextAscii(columns[i], name))
            return int(i);
    return -1;
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
            throw DbError("The table prefix $$ was not resolved in: " + abbreviated(sql));

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

// ---------------------------------------------------------------------------------------

namespace {

struct CachedStatement {
    std::string key;
    sqlite3_stmt* stmt = nullptr;
    SqlTranslation meta;
    std::string keyword;
    bool inUse = false;
};

enum class ColumnKind { Any, Integer, BigInt, Real, Text, DateTime };

ColumnKind kindOfDecltype(const char* decl)
{
    if (!decl)
        return ColumnKind::Any;
    const std::string d = upperAscii(decl);
    if (d.find("DATE") != std::string::npos || d.find("TIME") != std::string::npos)
        return ColumnKind::DateTime;
    if (d.find("BIGINT") != std::string::npos)
        return ColumnKind::BigInt;
    if (d.find("INT") != std::string::npos)
        return ColumnKind::Integer;
    if (d.find("CHAR") != std::string::npos || d.find("TEXT") != std::string::npos || d.find("CLOB") != std::string::npos)
        return ColumnKind::Text;
    if (d.find("REAL") != std::string::npos || d.find("FLOA") != std::string::npos || d.find("DOUB") != std::string::npos
        || d.find("NUMERIC") != std::string::npos || d.find("DECIMAL") != std::string::npos || d.find("MONEY") != std::string::npos)
        return ColumnKind::Real;
    return ColumnKind::Any;
}

Variant columnValue(sqlite3_stmt* stmt, int i, ColumnKind kind)
{
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_NULL:
        return Variant::null();
    case SQLITE_INTEGER: {
        const sqlite3_int64 n = sqlite3_column_int64(stmt, i);
        if (kind == ColumnKind::Real)
            return Variant(double(n));
        if (kind == ColumnKind::BigInt || n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::int32_t>::max())
            return Variant(std::int64_t(n));
        return Variant(int(n));
    }
    case SQLITE_FLOAT:
        return Variant(sqlite3_column_double(stmt, i));
    default: {
        const char* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
        std::string s(p ? p : "", std::size_t(sqlite3_column_bytes(stmt, i)));
        double when = 0;
        if (kind == ColumnKind::DateTime && parseDateTimeText(s, when))
            return Variant::date(when);
        return Variant(std::move(s));
    }
    }
}

} // namespace

struct DbConnection::Impl {
    sqlite3* db = nullptr;
    DbDialect dialect = DbDialect::SQLite;
    std::string mainFile;
    std::string mainName;
    std::vector<std::pair<std::string, std::string>> attached;

    SqlSchemaInfo schema;
    bool schemaValid = false;

    std::list<CachedStatement> cache; // most recently used first
    std::unordered_map<std::string, std::list<CachedStatement>::iterator> index;
    std::size_t capacity = 64;

    ~Impl() { close(); }

    void requireOpen() const
    {
        if (!db)
            throw DbError("The database connection is not open");
    }

    [[noreturn]] void fail(const std::string& what, std::string_view sql = {}) const
    {
        std::string m = what + ": " + (db ? sqlite3_errmsg(db) : "no connection");
        if (!sql.empty())
            m += " [" + abbreviated(sql) + "]";
        throw DbError(m, errorKind());
    }

    void flushCache()
    {
        for (auto it = cache.begin(); it != cache.end();) {
            if (it->inUse) {
                ++it;
                continue;
            }
            sqlite3_finalize(it->stmt);
            index.erase(it->key);
            it = cache.erase(it);
        }
    }

    void close()
    {
        for (CachedStatement& c : cache)
            sqlite3_finalize(c.stmt);
        cache.clear();
        index.clear();
        if (db)
            sqlite3_close_v2(db);
        db = nullptr;
        attached.clear();
        mainFile.clear();
        mainName.clear();
        schemaValid = false;
    }

    DbErrorKind errorKind() const
    {
        if (!db)
            return DbErrorKind::Other;
        const int code = sqlite3_extended_errcode(db);
        if (code == SQLITE_CONSTRAINT_UNIQUE || code == SQLITE_CONSTRAINT_PRIMARYKEY)
            return DbErrorKind::UniqueViolation;
        if ((code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED)
            return DbErrorKind::Busy;
        return DbErrorKind::Other;
    }

    void exec(const std::string& sql)
    {
        requireOpen();
        char* err = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            std::string m = err ? err : sqlite3_errmsg(db);
            sqlite3_free(err);
            throw DbError(m + " [" + abbreviated(sql) + "]", errorKind());
        }
    }

    void invalidateSchema()
    {
        schemaValid = false;
    }

    void loadSchema()
    {
        requireOpen();
        schema = SqlSchemaInfo();
        std::vector<std::string> schemas;
        {
            sqlite3_stmt* s = nullptr;
            if (sqlite3_prepare_v2(db, "PRAGMA database_list", -1, &s, nullptr) != SQLITE_OK)
                fail("Cannot list the databases");
            while (sqlite3_step(s) == SQLITE_ROW)
                schemas.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 1)));
            sqlite3_finalize(s);
        }
        std::map<std::string, std::pair<bool, bool>> columns; // name -> (seen as text, seen as other)
        for (const std::string& sch : schemas) {
            std::vector<std::string> tables;
            sqlite3_stmt* s = nullptr;
            const std::string listSql = "SELECT name FROM " + quoteIdent(sch) + ".sqlite_schema WHERE type IN ('table', 'view')";
            if (sqlite3_prepare_v2(db, listSql.c_str(), -1, &s, nullptr) != SQLITE_OK)
                fail("Cannot list the tables");
            while (sqlite3_step(s) == SQLITE_ROW)
                tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
            sqlite3_finalize(s);
            for (const std::string& table : tables) {
                const std::string infoSql = "PRAGMA " + quoteIdent(sch) + ".table_info(" + quoteIdent(table) + ")";
                if (sqlite3_prepare_v2(db, infoSql.c_str(), -1, &s, nullptr) != SQLITE_OK)
                    fail("Cannot read the columns of " + table);
                while (sqlite3_step(s) == SQLITE_ROW) {
                    const char* name = reinterpret_cast<const char*>(sqlite3_column_text(s, 1));
                    const char* type = reinterpret_cast<const char*>(sqlite3_column_text(s, 2));
                    auto& seen = columns[upperAscii(name ? name : "")];
                    (kindOfDecltype(type) == ColumnKind::Text ? seen.first : seen.second) = true;
                }
                sqlite3_finalize(s);
            }
        }
        for (const auto& [name, seen] : columns)
            if (seen.first && !seen.second)
                schema.textColumns.insert(name);
        if (!mainName.empty() && !isAttachedName(mainName))
            schema.databaseAliases.emplace_back(upperAscii(mainName), "main");
        schemaValid = true;
        flushCache();
    }

    bool isAttachedName(std::string_view name) const
    {
        for (const auto& a : attached)
            if (SameTextAscii(a.first, name))
                return true;
        return false;
    }

    const SqlSchemaInfo& schemaInfo()
    {
        if (!schemaValid)
            loadSchema();
        return schema;
    }

    // A prepared statement for sql: from the cache, or prepared and cached. A statement
    // that is being stepped already (a query inside a row callback) gets a fresh copy.
    struct Lease {
        Impl* owner = nullptr;
        CachedStatement* entry = nullptr;
        CachedStatement own;
        CachedStatement& get() { return entry ? *entry : own; }
        ~Lease()
        {
            if (entry) {
                sqlite3_reset(entry->stmt);
                sqlite3_clear_bindings(entry->stmt);
                entry->inUse = false;
            } else if (own.stmt) {
                sqlite3_finalize(own.stmt);
            }
        }
    };

    void prepare(std::string_view sql, CachedStatement& c)
    {
        c.meta = TranslateSql(sql, schemaInfo(), dialect);
        if (c.meta.multipleStatements)
            throw DbError("Only one statement may be run at a time [" + abbreviated(sql) + "]");
        c.keyword = firstKeyword(c.meta.text);
        const char* tail = nullptr;
        if (sqlite3_prepare_v3(db, c.meta.text.c_str(), int(c.meta.text.size()), SQLITE_PREPARE_PERSISTENT, &c.stmt, &tail) != SQLITE_OK)
            fail("Cannot prepare the statement", sql);
        if (!c.stmt)
            throw DbError("The SQL text holds no statement");
    }

    void acquire(std::string_view sql, Lease& lease)
    {
        requireOpen();
        schemaInfo();
        lease.owner = this;
        const std::string key(sql);
        if (auto it = index.find(key); it != index.end()) {
            if (!it->second->inUse) {
                cache.splice(cache.begin(), cache, it->second);
                lease.entry = &*cache.begin();
                lease.entry->inUse = true;
                return;
            }
            prepare(sql, lease.own);
            return;
        }
        CachedStatement c;
        c.key = key;
        prepare(sql, c);
        cache.push_front(std::move(c));
        index[key] = cache.begin();
        lease.entry = &*cache.begin();
        lease.entry->inUse = true;
        // Drop the least recently used statements beyond the capacity.
        for (auto it = std::prev(cache.end()); cache.size() > capacity && it != cache.begin();) {
            auto prev = std::prev(it);
            if (!it->inUse) {
                sqlite3_finalize(it->stmt);
                index.erase(it->key);
                cache.erase(it);
            }
            it = prev;
        }
    }

    static bool sameParam(std::string_view given, std::string_view name)
    {
        if (!given.empty() && given[0] == ':')
            given.remove_prefix(1);
        return SameTextAscii(given, name);
    }

    void bind(CachedStatement& c, const DbParams& params, std::string_view sql)
    {
        const int count = sqlite3_bind_parameter_count(c.stmt);
        for (int i = 1; i <= count; ++i) {
            const char* raw = sqlite3_bind_parameter_name(c.stmt, i);
            if (!raw || raw[0] != ':')
                throw DbError("Only :NAME placeholders can be given values [" + abbreviated(sql) + "]");
            const std::string_view name(raw + 1);
            const Variant* value = nullptr;
            for (const auto& [given, v] : params)
                if (sameParam(given, name)) {
                    value = &v;
                    break;
                }
            if (!value)
                throw DbError("No value for the placeholder :" + std::string(name) + " [" + abbreviated(sql) + "]");
            int rc = SQLITE_OK;
            switch (value->type()) {
            case VarType::Empty:
            case VarType::Null:
                rc = sqlite3_bind_null(c.stmt, i);
                break;
            case VarType::Bool:
                rc = sqlite3_bind_int(c.stmt, i, value->toBool() ? 1 : 0);
                break;
            case VarType::Int:
            case VarType::Int64:
                rc = sqlite3_bind_int64(c.stmt, i, value->toInt64());
                break;
            case VarType::Double:
                rc = sqlite3_bind_double(c.stmt, i, value->toDouble());
                break;
            case VarType::Date: {
                const std::string s = formatIsoDateTime(value->toDate());
                rc = sqlite3_bind_text(c.stmt, i, s.c_str(), int(s.size()), SQLITE_TRANSIENT);
                break;
            }
            case VarType::String:
            case VarType::AnsiString: {
                const std::string s = value->toString();
                rc = sqlite3_bind_text(c.stmt, i, s.c_str(), int(s.size()), SQLITE_TRANSIENT);
                break;
            }
            default:
                throw DbError("The value for :" + std::string(name) + " is no single value (" + value->typeName() + ")");
            }
            if (rc != SQLITE_OK)
                fail("Cannot bind :" + std::string(name), sql);
        }
    }

    void checkAccess(const CachedStatement& c, DbAccess access, std::string_view sql) const
    {
        if (access != DbAccess::QueryOnly)
            return;
        const bool query = c.keyword == "SELECT" || c.keyword == "WITH" || c.keyword == "VALUES";
        if (!query || !sqlite3_stmt_readonly(c.stmt))
            throw DbError("Only a query that changes nothing may be run here [" + abbreviated(sql) + "]");
    }

    // Steps the statement; row is called with the values of every row.
    std::size_t run(std::string_view sql, const DbParams& params, DbAccess access,
                    const std::function<bool(std::vector<Variant>&)>* row, std::vector<std::string>* names,
                    std::int64_t* changes)
    {
        Lease lease;
        acquire(sql, lease);
        CachedStatement& c = lease.get();
        checkAccess(c, access, sql);
        bind(c, params, sql);

        const int ncol = sqlite3_column_count(c.stmt);
        std::vector<ColumnKind> kinds(std::size_t(ncol), ColumnKind::Any);
        for (int i = 0; i < ncol; ++i) {
            kinds[std::size_t(i)] = kindOfDecltype(sqlite3_column_decltype(c.stmt, i));
            if (names)
                names->emplace_back(sqlite3_column_name(c.stmt, i));
        }
        for (int dc : c.meta.dateColumns)
            if (dc < ncol)
                kinds[std::size_t(dc)] = ColumnKind::DateTime;

        std::size_t seen = 0;
        std::vector<Variant> values;
        for (;;) {
            const int rc = sqlite3_step(c.stmt);
            if (rc == SQLITE_DONE)
                break;
            if (rc != SQLITE_ROW)
                fail("The statement failed", sql);
            ++seen;
            if (!row)
                continue;
            values.clear();
            values.reserve(std::size_t(ncol));
            for (int i = 0; i < ncol; ++i)
                values.push_back(columnValue(c.stmt, i, kinds[std::size_t(i)]));
            if (!(*row)(values))
                break;
        }
        if (changes)
            *changes = sqlite3_changes64(db);
        if (c.keyword == "CREATE" || c.keyword == "DROP" || c.keyword == "ALTER")
            invalidateSchema();
        return seen;
    }
};

DbConnection::DbConnection() : d(std::make_unique<Impl>()) {}

DbConnection::~DbConnection() = default;

void DbConnection::open(std::string_view connectString)
{
    const ConnectSpec spec = parseConnectString(connectString);
    if (SameTextAscii(spec.provider, "PostgreSQL") || SameTextAscii(spec.provider, "PGSQL"))
        throw DbError("This build has no PostgreSQL connection");
    if (!SameTextAscii(spec.provider, "SQLite"))
        throw DbError("Unknown database provider \"" + spec.provider + "\"");
    if (spec.dataSource.empty())
        throw DbError("The connection string names no database file");
    openSqlite(spec.dataSource);
    try {
        if (!spec.name.empty()) {
            if (!isValidName(spec.name))
                throw DbError("Invalid database name \"" + spec.name + "\"");
            d->mainName = spec.name;
        }
        for (const auto& [name, file] : spec.attached)
            attach(name, file);
    } catch (...) {
        close();
        throw;
    }
}

std::string DbConnection::sqliteConnectString(const std::string& mainFile,
                                               const std::vector<std::pair<std::string, std::string>>& attached)
{
    std::string s = "Provider=SQLite;Data Source=" + connectValue(mainFile);
    for (const auto& [name, file] : attached)
        s += ";Attach " + name + "=" + connectValue(file);
    return s;
}

void DbConnection::openSqlite(const std::string& file, bool create)
{
    close();
    if (!create && !std::filesystem::exists(file))
        throw DbError("The database file " + file + " does not exist");
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(file.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        const std::string m = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close_v2(db);
        throw DbError("Cannot open the database " + file + ": " + m);
    }
    d->db = db;
    d->dialect = DbDialect::SQLite;
    d->mainFile = file;
    d->mainName = std::filesystem::path(file).stem().string();
    try {
        sqlite3_busy_timeout(db, 10000);
        sqlite3_extended_result_codes(db, 1);
        // Sorting and DISTINCT of the candidate lists stay in memory; a larger page cache
        // keeps the documents of a company at hand.
        sqlite3_exec(db, "PRAGMA temp_store = MEMORY; PRAGMA cache_size = -16000", nullptr, nullptr, nullptr);
        registerFunctions(db);
    } catch (...) {
        close();
        throw;
    }
}

void DbConnection::attach(std::string_view name, const std::string& file, bool create)
{
    d->requireOpen();
    if (!isValidName(name))
        throw DbError("Invalid database name \"" + std::string(name) + "\"");
    if (isAttached(name))
        throw DbError("A database named " + std::string(name) + " is attached already");
    if (!create && !std::filesystem::exists(file))
        throw DbError("The database file " + file + " does not exist");
    const std::string sql = "ATTACH DATABASE ?1 AS " + quoteIdent(name);
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(d->db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK)
        d->fail("Cannot attach " + std::string(name));
    sqlite3_bind_text(s, 1, file.c_str(), int(file.size()), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(s);
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE)
        d->fail("Cannot attach " + file + " as " + std::string(name));
    d->attached.emplace_back(std::string(name), file);
    d->invalidateSchema();
}

void DbConnection::detach(std::string_view name)
{
    d->requireOpen();
    auto it = std::find_if(d->attached.begin(), d->attached.end(), [&](const auto& a) { return SameTextAscii(a.first, name); });
    if (it == d->attached.end())
        throw DbError("No database named " + std::string(name) + " is attached");
    d->flushCache();
    d->exec("DETACH DATABASE " + quoteIdent(name));
    d->attached.erase(it);
    d->invalidateSchema();
}

bool DbConnection::isAttached(std::string_view name) const
{
    return d->isAttachedName(name);
}

void DbConnection::close()
{
    d->close();
}

bool DbConnection::isOpen() const
{
    return d->db != nullptr;
}

DbDialect DbConnection::dialect() const
{
    return d->dialect;
}

std::string DbConnection::connectString() const
{
    d->requireOpen();
    std::string s = sqliteConnectString(d->mainFile, d->attached);
    if (d->mainName != std::filesystem::path(d->mainFile).stem().string())
        s += ";Name=" + d->mainName;
    return s;
}

DbRowSet DbConnection::query(std::string_view sql, const DbParams& params, DbAccess access)
{
    DbRowSet result;
    const std::function<bool(std::vector<Variant>&)> collect = [&](std::vector<Variant>& values) {
        result.rows.push_back(std::move(values));
        return true;
    };
    d->run(sql, params, access, &collect, &result.columns, nullptr);
    return result;
}

std::size_t DbConnection::forEachRow(std::string_view sql, const DbParams& params,
                                     const std::function<bool(const std::vector<Variant>&)>& row, DbAccess access,
                                     std::vector<std::string>* columns)
{
    const std::function<bool(std::vector<Variant>&)> each = [&](std::vector<Variant>& values) { return row(values); };
    return d->run(sql, params, access, &each, columns, nullptr);
}

Variant DbConnection::scalar(std::string_view sql, const DbParams& params)
{
    Variant first;
    const std::function<bool(std::vector<Variant>&)> take = [&](std::vector<Variant>& values) {
        if (!values.empty())
            first = values[0];
        return false;
    };
    d->run(sql, params, DbAccess::ReadWrite, &take, nullptr, nullptr);
    return first;
}

std::int64_t DbConnection::execute(std::string_view sql, const DbParams& params)
{
    std::int64_t changes = 0;
    d->run(sql, params, DbAccess::ReadWrite, nullptr, nullptr, &changes);
    return changes;
}

void DbConnection::executeScript(std::string_view script)
{
    d->requireOpen();
    const SqlTranslation t = TranslateSql(script, d->schemaInfo(), d->dialect);
    if (!t.params.empty())
        throw DbError("A script cannot take values for placeholders");
    d->flushCache();
    d->invalidateSchema();
    if (inTransaction()) {
        d->exec(t.text);
        return;
    }
    // All or nothing, and one write to disk instead of one per statement.
    d->exec("BEGIN");
    try {
        d->exec(t.text);
        d->exec("COMMIT");
    } catch (...) {
        if (inTransaction())
            sqlite3_exec(d->db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

SqlTranslation DbConnection::translate(std::string_view sql)
{
    d->requireOpen();
    return TranslateSql(sql, d->schemaInfo(), d->dialect);
}

const SqlSchemaInfo& DbConnection::schemaInfo()
{
    return d->schemaInfo();
}

void DbConnection::begin()
{
    d->exec("BEGIN");
}

void DbConnection::beginWrite()
{
    d->exec("BEGIN IMMEDIATE");
}

void DbConnection::commit()
{
    d->exec("COMMIT");
}

void DbConnection::rollback()
{
    d->exec("ROLLBACK");
}

bool DbConnection::inTransaction() const
{
    return d->db && !sqlite3_get_autocommit(d->db);
}

std::size_t DbConnection::cachedStatements() const
{
    return d->cache.size();
}

DbTransaction::DbTransaction(DbConnection& conn, Mode mode) : conn_(conn)
{
    if (mode == Write)
        conn_.beginWrite();
    else
        conn_.begin();
}

DbTransaction::~DbTransaction()
{
    if (!done_ && conn_.inTransaction()) {
        try {
            conn_.rollback();
        } catch (...) {
            // A failed rollback leaves nothing more to undo here.
        }
    }
}

void DbTransaction::commit()
{
    conn_.commit();
    done_ = true;
}
