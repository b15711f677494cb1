#include "host/ComValidator.h"

#include <array>

namespace {

// One check: the query (its key placeholders :K1, :K2, ... in key order), the columns of
// the answer and how many key values it binds. "$$" tables live in the database the
// caller names, the others in the system database.
struct Check {
    const char* table;
    const char* kind;
    const char* sql;
    const char* columns;
    int keys;
};

// Codes are found without regard to case ("rmb" is RMB), as clerks type them. The order of
// the columns is what the forms read by index: the program name at 0 and
// its English name at 7 (ADMMB 01), the no-direct-processing flag at 3 (ADMMB 11), the
// supplier's name at 2 (PURMA 02), the document type's name at 0 (CMSMQ 36).
constexpr std::array kChecks{
    Check{"ADMMB", "01",
          "SELECT MB002, MB001, MB003, MB004, MB005, MB006, MB007, MB008 FROM ADMMB WHERE MB001 = :K1",
          "MB002,MB001,MB003,MB004,MB005,MB006,MB007,MB008", 1},
    Check{"ADMMB", "11", "SELECT MB001, MB002, MB004, MB005 FROM ADMMB WHERE MB001 = :K1",
          "MB001,MB002,MB004,MB005", 1},
    Check{"CMSMF", "01", "SELECT MF001, MF002, MF004 FROM $$CMSMF AS CMSMF WHERE UPPER(MF001) = UPPER(:K1) AND MF006 = 'Y'",
          "MF001,MF002,MF004", 1},
    Check{"ACPLC", "01",
          "SELECT LC001, LC002, LC003, LC004, LC014 FROM $$ACPLC AS ACPLC WHERE LC001 = :K1 ORDER BY LC002",
          "LC001,LC002,LC003,LC004,LC014", 1},
    Check{"PURMA", "02",
          "SELECT MA001, MA002, MA003, MA004, MA005, MA006, MA007, MA008, MA009, MA010, MA011 FROM $$PURMA AS PURMA "
          "WHERE UPPER(MA001) = UPPER(:K1)",
          "MA001,MA002,MA003,MA004,MA005,MA006,MA007,MA008,MA009,MA010,MA011", 1},
    // [type, kind, kind, kind, user]: a document type of one of the three kinds, in use.
    Check{"CMSMQ", "36",
          "SELECT MQ002, MQ001, MQ003, MQ004 FROM $$CMSMQ AS CMSMQ WHERE UPPER(MQ001) = UPPER(:K1) AND MQ003 IN (:K2, :K3, :K4) "
          "AND MQ005 = 'Y'",
          "MQ002,MQ001,MQ003,MQ004", 4},
    // [scheme name, user, program]: a saved condition scheme of that name exists. Schemes
    // are the signed-on user's own: the server's scheme members answer, not SimpleSQL.
    Check{"GENES", "01", nullptr, "NCONDITION,CREATOR,PROGRAMME,CREATE_DATE", 3},
};

bool sameText(std::string_view a, std::string_view b)
{
    auto trim = [](std::string_view s) {
        while (!s.empty() && s.front() == ' ')
            s.remove_prefix(1);
        while (!s.empty() && s.back() == ' ')
            s.remove_suffix(1);
        return s;
    };
    a = trim(a);
    b = trim(b);
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = char(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = char(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

const Check* findCheck(std::string_view table, std::string_view kind)
{
    for (const Check& c : kChecks)
        if (sameText(table, c.table) && sameText(kind, c.kind))
            return &c;
    return nullptr;
}

// Codes are stored trimmed, and the suite's database compared texts without trailing
// blanks, so a key typed with blanks around it still finds its row.
std::string keyText(const Variant& v)
{
    std::string s = VarToStr(v);
    const auto b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// The scheme of that name, user and program as the server's provider gives it:
// [NCONDITION, CREATOR, PROGRAMME, CREATE_DATE], Empty when there is none.
Variant schemeRow(AppServerLink& link, const std::vector<std::string>& keys)
{
    const Variant server = link.server();
    if (!server.isDispatch())
        return Variant();
    std::vector<Variant> choose{Variant::list({Variant(keys[1]), Variant(keys[2])})};
    if (!VarToStr(server.invoke("LoadTable", choose)).empty())
        return Variant();
    const Variant records = server.call("AS_GetRecords", {Variant("pvdConSave")});
    if (!records.isArray() || records.count() < 2 || !records[records.lowBound() + 1].isArray())
        return Variant();
    for (const Variant& row : records[records.lowBound() + 1].elements()) {
        if (!row.isArray() || row.count() < 4 || keyText(row[row.lowBound()]) != keys[0])
            continue;
        std::vector<Variant> values;
        for (int i = 0; i < 4; ++i)
            values.push_back(row[row.lowBound() + i]);
        return Variant::list(std::move(values));
    }
    return Variant();
}

} // namespace

ComValidator::ComValidator(std::shared_ptr<AppServerLink> server) : server_(std::move(server))
{
    defineProperty(
        "ProductID", [this] { return Variant(ProductID); }, [this](const Variant& v) { ProductID = v.toInt(); });
    defineProperty(
        "BaseLimited", [this] { return Variant(BaseLimited); }, [this](const Variant& v) { BaseLimited = VarToStr(v); });
    defineMethod("CheckValue", [this](std::span<Variant> args) { return check(args, false); });
    defineMethod("QueryData", [this](std::span<Variant> args) { return check(args, true); });
}

bool ComValidator::Knows(std::string_view table, std::string_view kind)
{
    return findCheck(table, kind) != nullptr;
}

Variant ComValidator::check(std::span<Variant> args, bool allRows)
{
    // (table, kind, database, keys, result): the result is written back to the caller.
    Variant& result = arg(args, 4);
    result = Variant();
    try {
        const Check* c = findCheck(VarToStr(arg(args, 0)), VarToStr(arg(args, 1)));
        if (!c)
            return Variant(false);
        const std::string database = keyText(arg(args, 2));
        const Variant& keys = arg(args, 3);
        std::vector<std::string> keyValues;
        if (keys.isArray()) {
            if (keys.dimCount() != 1)
                return Variant(false);
            for (const Variant& k : keys.elements())
                keyValues.push_back(keyText(k));
        } else {
            keyValues.push_back(keyText(keys));
        }
        if (int(keyValues.size()) < c->keys)
            return Variant(false);
        if (!c->sql) {
            const Variant row = schemeRow(*server_, keyValues);
            if (row.isEmpty())
                return Variant(false);
            result = allRows ? Variant::list({row}) : row;
            return Variant(true);
        }
        std::vector<Variant> params;
        for (int i = 0; i < c->keys; ++i)
            params.push_back(Variant::list({Variant("K" + std::to_string(i + 1)), Variant(keyValues[i])}));
        const Variant rows = server_->simpleSql(c->sql, c->columns, "", database, Variant::list(std::move(params)));
        if (!rows.isArray() || rows.count() == 0)
            return Variant(false);
        result = allRows ? rows : rows[rows.lowBound()];
        return Variant(true);
    } catch (const std::exception&) {
        result = Variant();
        return Variant(false);
    }
}
