#include "db/SqlFunctions.h"
#include "platform/AsciiText.h"
#include "db/DbError.h"
#include "db/SqlDialect.h"
#include "platform/OleDate.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

std::string SqliteDateTimeText(double oleDays)
{
    const CivilDate c = DecodeDateTime(oleDays);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", c.year, c.month, c.day,
                  c.hour, c.minute, c.second, c.millisecond);
    return buf;
}

namespace {

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

} // namespace

bool ParseSqliteDateTime(std::string_view text, double& oleDays)
{
    const std::string s = SqlTrimmed(text);
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

namespace {

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
        return SqliteDateTimeText(oleDays);
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
    const std::string s = SqliteDateTimeText(Now());
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
    type.base = SqlTrimmed(s.substr(0, open));
    if (open == std::string::npos)
        return !type.base.empty();
    const auto close = s.find(')', open);
    if (close == std::string::npos)
        return false;
    const std::string args = s.substr(open + 1, close - open - 1);
    if (SqlTrimmed(args) == "MAX") {
        type.max = true;
        return true;
    }
    char* end = nullptr;
    type.size = int(std::strtol(args.c_str(), &end, 10));
    if (end && *end == ',')
        type.scale = int(std::strtol(end + 1, &end, 10));
    return end && SqlTrimmed(end).empty() && type.size >= 0;
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

// Text: numbers as the server writes them, dates in a style; CHAR pads, VARCHAR cuts.
void convertToText(sqlite3_context* ctx, sqlite3_value* v, int vt, const SqlType& type, int style)
{
    const std::string& b = type.base;

    std::string s;
    const bool numeric = vt == SQLITE_INTEGER || vt == SQLITE_FLOAT;
    if (vt == SQLITE_INTEGER)
        s = std::to_string(sqlite3_value_int64(v));
    else if (vt == SQLITE_FLOAT)
        s = numberText(sqlite3_value_double(v));
    else
        s = valueText(v);
    double when = 0;
    if (style >= 0 && !numeric && ParseSqliteDateTime(s, when))
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
}

// A whole number that must fit the type.
void convertToWhole(sqlite3_context* ctx, sqlite3_value* v, int vt, const SqlType& type)
{
    const std::string& b = type.base;

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
        const std::string s = SqlTrimmed(valueText(v));
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
}

// A number; DECIMAL and NUMERIC round to their scale, MONEY to four places.
void convertToNumber(sqlite3_context* ctx, sqlite3_value* v, int vt, const SqlType& type)
{
    const std::string& b = type.base;

    double d = 0;
    if (vt == SQLITE_INTEGER || vt == SQLITE_FLOAT) {
        d = sqlite3_value_double(v);
    } else {
        const std::string s = SqlTrimmed(valueText(v));
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
}

// A date-time from a text or from the server's count of days.
void convertToDate(sqlite3_context* ctx, sqlite3_value* v, int vt, const SqlType& type)
{
    const std::string& b = type.base;

    double when = 0;
    if (vt == SQLITE_INTEGER || vt == SQLITE_FLOAT) {
        when = sqlite3_value_double(v) + 2; // the server counts days from 1 January 1900
    } else if (!ParseSqliteDateTime(valueText(v), when)) {
        convertError(ctx, "'" + valueText(v) + "' is not a date");
        return;
    }
    std::string s = SqliteDateTimeText(when);
    if (b == "DATE")
        s = s.substr(0, 10);
    sqlite3_result_text(ctx, s.c_str(), int(s.size()), SQLITE_TRANSIENT);
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
        convertToText(ctx, v, vt, type, style);
        return;
    }

    if (oneOf(b, {"INT", "INTEGER", "BIGINT", "SMALLINT", "TINYINT", "BIT"})) {
        convertToWhole(ctx, v, vt, type);
        return;
    }

    if (oneOf(b, {"DECIMAL", "NUMERIC", "MONEY", "FLOAT", "REAL"})) {
        convertToNumber(ctx, v, vt, type);
        return;
    }

    if (oneOf(b, {"DATETIME", "SMALLDATETIME", "DATETIME2", "DATE"})) {
        convertToDate(ctx, v, vt, type);
        return;
    }

    convertError(ctx, "unknown type " + b);
}

} // namespace

void RegisterSqlFunctions(sqlite3* db)
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
