#include "server/SessionGuard.h"

#include "platform/AsciiText.h"
#include "support/ServerLog.h"

#include <algorithm>

RightsError::~RightsError() = default;

SessionGuard::SessionGuard(ServerSession session, ServerDatabase& db) : session_(std::move(session)), db_(db) {}

void SessionGuard::refuse(std::string_view member, const std::string& why)
{
    WriteServerLog("ReportCounterS.dmReportCounter." + std::string(member) + " refused for " + session_.who() + ": " +
                   why);
    throw RightsError(why);
}

std::string SessionGuard::actFor(std::string_view member, std::string_view named)
{
    const std::string asked(trimBlanks(named));
    if (!session_.signedOn())
        refuse(member, "nobody has signed on to the application server, so it acts for no user");
    if (asked.empty() || SameTextAscii(asked, session_.user))
        return session_.user;
    const UserRights own = rights(member, session_.user, "");
    if (!own.super)
        refuse(member, "the signed-on user " + session_.user + " may not act for user " + asked);
    WriteServerLog("ReportCounterS.dmReportCounter." + std::string(member) + ": super user " + session_.user +
                       " acts for user " + asked + " (" + session_.who() + ")",
                   LogLevel::Info);
    return asked;
}

std::string SessionGuard::database(std::string_view member, std::string_view company, std::string_view named)
{
    const std::string askedCompany(trimBlanks(company));
    const std::string askedDatabase(trimBlanks(named));
    if (session_.company.empty())
        return askedDatabase.empty() ? db_.companyDatabase(askedCompany) : askedDatabase;
    if (!askedCompany.empty() && !SameTextAscii(askedCompany, session_.company))
        refuse(member, "the connection is signed on for company " + session_.company + ", not " + askedCompany);
    if (!companyLooked_) {
        companyDatabase_ = db_.companyDatabase(session_.company);
        companyLooked_ = true;
    }
    if (!askedDatabase.empty() && !SameTextAscii(askedDatabase, companyDatabase_))
        refuse(member, "the database " + askedDatabase + " is not company " + session_.company + "'s (" +
                           (companyDatabase_.empty() ? std::string("none") : companyDatabase_) + ")");
    return companyDatabase_;
}

UserRights SessionGuard::rights(std::string_view member, std::string_view user, std::string_view program)
{
    const UserRights r = ReadUserRights(db_.connection(), user, program);
    if (const std::string problem = AccountProblem(r, user); !problem.empty())
        refuse(member, problem);
    return r;
}

// A super user who acts for another works with his own rights.
std::string SessionGuard::whoseRights(std::string_view user) const
{
    return !session_.signedOn() || SameTextAscii(user, session_.user) ? std::string(user) : session_.user;
}

void SessionGuard::requireQueue(std::string_view member, std::string_view user, std::string_view program)
{
    if (!rights(member, whoseRights(user), program).mayQueue())
        refuse(member, "the user " + std::string(user) + " may not put jobs of " + std::string(program) +
                           " into the queue");
}

void SessionGuard::requireDirect(std::string_view member, std::string_view user, std::string_view program)
{
    if (!rights(member, whoseRights(user), program).mayRunDirectly())
        refuse(member, "the user " + std::string(user) + " may not run " + std::string(program) + " directly");
}

void SessionGuard::requireAnyRight(std::string_view member, std::string_view user, std::string_view program)
{
    if (!rights(member, whoseRights(user), program).holdsAnyRight())
        refuse(member, "the user " + std::string(user) + " has no right in " + std::string(program));
}

void SessionGuard::checkQuery(std::string_view member, std::string_view sql, const std::string& database)
{
    QueryScope scope;
    scope.companyDatabase = database;
    scope.systemDatabase = db_.settings().systemDb;
    if (!session_.company.empty())
        scope.isOtherDatabase = [this](const std::string& name) {
            const auto now = std::chrono::steady_clock::now();
            if (known_.empty() || now - knownAt_ > std::chrono::minutes(1)) {
                known_.clear();
                for (const std::string& n : db_.knownDatabases())
                    known_.push_back(upperAscii(n));
                knownAt_ = now;
            }
            return std::find(known_.begin(), known_.end(), name) != known_.end();
        };
    if (const std::string why = QueryScopeProblem(sql, scope); !why.empty())
        refuse(member, "The statement may not run: " + why);
}
