// Condition values to WHERE text. Whatever the values hold (quotes, comment starters,
// keywords, numbers that are not quite numbers, nested arrays, odd bounds), the text for one
// column must stay one condition of a known shape, with every value a literal or a plain
// number, and the whole WHERE text must be one statement SQLite accepts.

#include "FuzzSupport.h"

#include "support/Conditions.h"

#include <sqlite3.h>

#include <cctype>
#include <regex>
#include <vector>

namespace {

Variant element(fuzz::Input& in)
{
    switch (in.byte() % 9) {
    case 0: return Variant();
    case 1: return Variant::null();
    case 2: return Variant(int(std::int8_t(in.byte())) * 1000 + int(in.byte()));
    case 3: return Variant(double(std::int8_t(in.byte())) / double(in.byte() | 1));
    case 4: return Variant::date(36000 + in.byte());
    case 5: return Variant::list({Variant(in.text())});
    case 6: return Variant::ansi(in.text(), 936);
    default: return Variant(in.text());
    }
}

Variant conditionValue(fuzz::Input& in)
{
    const int shape = in.byte() % 4;
    if (shape == 0)
        return element(in);
    const int low = int(in.byte() % 4) - 1;
    const int count = int(in.byte() % 6);
    std::vector<Variant> items;
    if (shape == 1)
        items.push_back(rangeMarker());
    else if (shape == 2)
        items.push_back(listMarker());
    for (int i = 0; i < count; ++i)
        items.push_back(element(in));
    if (items.empty())
        return Variant::array(low, low - 1);
    Variant a = Variant::array(low, low + int(items.size()) - 1);
    for (std::size_t i = 0; i < items.size(); ++i)
        a[low + int(i)] = items[i];
    return a;
}

// The condition with the column as C and every literal or number as V.
std::string shapeOf(const std::string& condition, const std::string& column)
{
    std::string out;
    std::size_t i = 0;
    const std::size_t n = condition.size();
    while (i < n) {
        if (condition.compare(i, column.size(), column) == 0) {
            out += 'C';
            i += column.size();
            continue;
        }
        const unsigned char c = static_cast<unsigned char>(condition[i]);
        if (c == '\'') {
            std::size_t j = i + 1;
            for (;;) {
                if (j >= n)
                    fuzz::fail("a literal of a condition is closed", condition);
                if (condition[j] == '\'') {
                    if (j + 1 < n && condition[j + 1] == '\'') {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            out += 'V';
            i = j + 1;
        } else if (std::isalpha(c)) {
            while (i < n && std::isalpha(static_cast<unsigned char>(condition[i])))
                out += condition[i++];
        } else if (std::isdigit(c) || c == '+' || c == '-' || c == '.') {
            while (i < n && (std::isalnum(static_cast<unsigned char>(condition[i])) || condition[i] == '+' ||
                             condition[i] == '-' || condition[i] == '.'))
                ++i;
            out += 'V';
        } else {
            out += condition[i++];
        }
    }
    return out;
}

const std::regex& oneCondition()
{
    static const std::regex r(R"(^ \(C=V\) $|^ \(C Between V and V\) $|^ \(C>= ?V\)$|^ \(C<= ?V OR C IS NULL \)$|)"
                              R"(^\(C IN \(V(, V)*\)\)$)");
    return r;
}

sqlite3* database()
{
    static sqlite3* db = [] {
        sqlite3* d = nullptr;
        sqlite3_open(":memory:", &d);
        sqlite3_exec(d, "CREATE TABLE T (TA001 TEXT, TA002 NUMERIC)", nullptr, nullptr, nullptr);
        return d;
    }();
    return db;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    std::string where;
    for (int round = 0; round < 3 && !in.empty(); ++round) {
        const int kind = int(in.byte() % 5);
        const std::string column = round % 2 ? "TA002" : "TA001";
        const Variant value = conditionValue(in);
        std::string condition;
        AppendCondition(where, column, value, condition, kind);
        if (condition.empty())
            continue;
        fuzz::check(std::regex_match(shapeOf(condition, column), oneCondition()),
                    "a column's values make one condition", condition + "\nshape: " + shapeOf(condition, column));
    }
    if (where.empty() || where.find('\0') != std::string::npos)
        return 0;
    const std::string sql = "SELECT 1 FROM T " + where;
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(database(), sql.c_str(), int(sql.size()), &stmt, &tail);
    fuzz::check(rc == SQLITE_OK, "the WHERE text is SQL", sql + "\n" + sqlite3_errmsg(database()));
    fuzz::check(tail == sql.c_str() + sql.size(), "the WHERE text is one statement", sql);
    sqlite3_finalize(stmt);
    return 0;
}
