#include "db/SqlTokens.h"
#include "platform/AsciiText.h"
#include "db/SqlDialect.h"

#include <cctype>
#include <cstring>

namespace {

using sqltok::Tk;

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

} // namespace

namespace sqltok {

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
        } else if (c == ':' && at(i + 1) == ':') {
            // PostgreSQL's cast, x::type: no placeholder
            j = i + 2;
            out.push_back({Tk::Op, "::"});
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
        // A type is words, numbers and a parenthesised list; anything else (a quoted text,
        // a parameter, an operator) is no type, and must not be folded into one.
        if (t[k].kind != Tk::Word && t[k].kind != Tk::Number && t[k].kind != Tk::LParen && t[k].kind != Tk::RParen
            && t[k].kind != Tk::Comma)
            return std::string();
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

static bool leftBoundaryAllowsText(const std::vector<Token>& t, std::size_t q)
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

std::string joinTokens(const std::vector<Token>& t)
{
    std::string r;
    for (const Token& tok : t)
        r += tok.text;
    return r;
}

} // namespace sqltok
