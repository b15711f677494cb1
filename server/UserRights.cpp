#include "server/UserRights.h"

#include "platform/AsciiText.h"

namespace {

std::string textOf(const Variant& v)
{
    return v.isEmptyOrNull() ? std::string() : std::string(trimBlanks(v.toString()));
}

Variant yn(bool b) { return Variant(b ? "Y" : "N"); }

} // namespace

Variant UserRights::powerArray() const
{
    if (!usable())
        return Variant();
    Variant answer = Variant::array(0, 8);
    answer[0] = yn(super || open);
    answer[1] = yn(super || list);
    answer[2] = yn(super || queue);
    answer[3] = yn(super || direct);
    answer[4] = yn(super || print);
    answer[5] = yn(super || exportData);
    answer[6] = yn(super);
    answer[7] = super ? "" : dataLimit;
    answer[8] = name;
    return answer;
}

UserRights ReadUserRights(DbConnection& system, std::string_view user, std::string_view programCode)
{
    UserRights r;
    const std::string code(trimBlanks(user));
    if (code.empty())
        return r;
    const DbRowSet users = system.query("SELECT MA001, MA002, MA005, MA007 FROM QVRMA WHERE MA001 = :USR",
                                        {{"USR", code}}, DbAccess::QueryOnly);
    if (users.empty())
        return r;
    r.known = true;
    r.user = textOf(users.rows[0][0]);
    r.name = textOf(users.rows[0][1]);
    r.super = textOf(users.rows[0][2]) == "Y";
    r.enabled = textOf(users.rows[0][3]) == "Y";
    const DbRowSet rights = system.query("SELECT MR003, MR004, MR005, MR006, MR007, MR008, MR009 FROM ADMMR "
                                         "WHERE MR001 = :USR AND UPPER(MR002) = :PROG",
                                         {{"USR", code}, {"PROG", upperAscii(trimBlanks(programCode))}},
                                         DbAccess::QueryOnly);
    if (!rights.empty()) {
        const auto& row = rights.rows[0];
        r.open = textOf(row[0]) == "Y";
        r.list = textOf(row[1]) == "Y";
        r.queue = textOf(row[2]) == "Y";
        r.direct = textOf(row[3]) == "Y";
        r.print = textOf(row[4]) == "Y";
        r.exportData = textOf(row[5]) == "Y";
        r.dataLimit = textOf(row[6]);
    }
    return r;
}

std::string AccountProblem(const UserRights& rights, std::string_view user)
{
    if (!rights.known)
        return "the user " + std::string(user) + " is unknown";
    if (!rights.enabled)
        return "the user " + std::string(user) + " is not in use";
    return {};
}
