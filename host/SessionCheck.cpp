#include "host/SessionCheck.h"

#include "host/AppServerLink.h"
#include "host/FileCheck.h"
#include "host/HostConfig.h"

#include <cctype>

namespace {

std::string trimmed(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool sameText(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// A code as it may stand in a message: a long text is clipped, its length told.
std::string shown(const std::string& code)
{
    return "\"" + Printable(code, 40) + "\"";
}

// One row of [count, first value, second value]: a query with COUNT(*) answers a row
// whenever the system database can be read; no row means the server failed.
bool lookUp(AppServerLink& server, const std::string& sql, const char* name, const std::string& code,
            std::vector<Variant>& row)
{
    const auto rows = RowsOf(server.simpleSql(sql, "N,A,B", "", "", SqlParams({{name, Variant(code)}})));
    if (rows.empty() || rows[0].size() != 3)
        return false;
    row = rows[0];
    return true;
}

} // namespace

SessionVerdict SessionCheck::Run(AppServerLink& server, const HostConfig& config, const SessionIdentity& asked)
{
    SessionVerdict v;
    const std::string user = trimmed(asked.user);
    const std::string company = trimmed(asked.company);
    if (user.empty())
        v.problems.push_back("No user was given (--user)");
    if (company.empty())
        v.problems.push_back("No company was given (--company)");
    if (!v.ok())
        return v;
    const std::string failed = "The application server could not look up the session in the system database";

    std::vector<Variant> row;
    if (!lookUp(server, "SELECT COUNT(*) AS N, MAX(MA001) AS A, MAX(MA007) AS B FROM QVRMA WHERE MA001 = :USR",
                "USR", user, row)) {
        v.problems.push_back(failed + (server.lastError().empty() ? "" : ": " + server.lastError()));
        return v;
    }
    if (row[0].toInt() == 0)
        v.problems.push_back("The user " + shown(user) + " is unknown (QVRMA)");
    else if (trimmed(VarToStr(row[2])) != "Y")
        v.problems.push_back("The user " + shown(user) + " is disabled (QVRMA: account not in use)");
    else
        v.session.user = VarToStr(row[1]);

    if (!lookUp(server, "SELECT COUNT(*) AS N, MAX(MC003) AS A, MAX(MC004) AS B FROM ADMMC WHERE MC001 = :COMPANY",
                "COMPANY", company, row)) {
        v.problems.push_back(failed + (server.lastError().empty() ? "" : ": " + server.lastError()));
        return v;
    }
    if (row[0].toInt() == 0) {
        v.problems.push_back("The company " + shown(company) + " is unknown (ADMMC)");
        return v;
    }
    if (trimmed(VarToStr(row[2])) != "Y") {
        v.problems.push_back("The company " + shown(company) + " is not in use (ADMMC)");
        return v;
    }
    v.session.company = company;
    const std::string database = trimmed(VarToStr(row[1]));
    if (database.empty()) {
        v.problems.push_back("The company " + shown(company) + " names no database (ADMMC)");
        return v;
    }
    if (!trimmed(asked.database).empty() && !sameText(trimmed(asked.database), database)) {
        v.problems.push_back("The company " + shown(company) + " keeps its books in the database " + database +
                             ", not in " + shown(trimmed(asked.database)) + " (--database)");
        return v;
    }
    v.session.database = database;
    if (config.databasesAreFiles()) {
        const std::string file = config.databaseFile(database);
        if (const std::string why = DatabaseFileProblem(file); !why.empty())
            v.problems.push_back("The company database " + database + " (" + Printable(file) + ") " + why);
    }
    return v;
}
