#pragma once
// The tokens of a statement text in the suite's SQL dialect, shared by the adapters of
// both engines: quoted text, quoted names and comments are single tokens, so a rewrite
// never reaches into them.

#include "db/DbError.h"

struct SqlSchemaInfo;

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sqltok {

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

constexpr std::size_t npos = std::size_t(-1);

std::vector<Token> tokenize(std::string_view s);
bool significant(const Token& t);
// The next and the previous significant token; npos when there is none.
std::size_t nextSig(const std::vector<Token>& t, std::size_t i);
std::size_t prevSig(const std::vector<Token>& t, std::size_t i);
bool isWord(const Token& t, std::string_view w);
bool isName(const Token& t);
// A name without its double quotes.
std::string unquoteName(const Token& t);
// Index of the parenthesis that closes the one at open; npos when it is not closed.
std::size_t matchingParen(const std::vector<Token>& t, std::size_t open);
// The significant tokens of [from, to) as a type name: "CHAR(14)", "NUMERIC(18,2)"; empty
// when they are no type name (a quoted text, a parameter, an operator among them).
std::string typeText(const std::vector<Token>& t, std::size_t from, std::size_t to);
// Whether t[i] is the database of db..table or db.dbo.table: the number of tokens after
// its dot that name no schema (1 or 2), else 0.
std::size_t qualifiedNameAt(const std::vector<Token>& t, std::size_t i);
// a + b -> a || b when both operands are text columns of the schema or text literals.
void rewriteConcatenation(std::vector<Token>& t, const SqlSchemaInfo& schema);
// The texts of the tokens joined.
std::string joinTokens(const std::vector<Token>& t);

} // namespace sqltok
