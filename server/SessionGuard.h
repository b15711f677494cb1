#pragma once
// The checks every member of the application server object makes against the session it
// works for (ServerSession.h): whom a call may act for, which company and database it may
// reach, and what the session's user may do there. A refusal throws RightsError in words
// for the user; the member answers it as any failure and the server's log keeps it.
//
// A user other than the session's is taken only from a super user of the session, and
// the log says who acted for whom. Rights are read afresh for each decision, so a right
// taken away counts from the next call on.

#include "platform/Exception.h"
#include "server/QueryScope.h"
#include "serverdb/ServerDatabase.h"
#include "server/ServerSession.h"
#include "server/UserRights.h"

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

class RightsError : public Exception {
public:
    using Exception::Exception;
    ~RightsError() override;
};

class SessionGuard {
public:
    SessionGuard(ServerSession session, ServerDatabase& db);

    const ServerSession& session() const { return session_; }

    // The user a call naming `named` acts for: the session's own when named is empty or
    // the same; another one only for a super user of the session (logged).
    std::string actFor(std::string_view member, std::string_view named);
    // The company database a call may reach, from the company and database it names
    // (either may be empty): the session company's. Without a bound company (in-process,
    // no session) the database named, else the named company's.
    std::string database(std::string_view member, std::string_view company, std::string_view named);
    // The rights of the session's user, or of whom it acts for, in the program; RightsError
    // when the account is unknown or not in use.
    UserRights rights(std::string_view member, std::string_view user, std::string_view program);
    // RightsError unless the user may queue, or run directly, the program (a super user
    // acting for him: unless the super user may).
    void requireQueue(std::string_view member, std::string_view user, std::string_view program);
    void requireDirect(std::string_view member, std::string_view user, std::string_view program);
    // RightsError unless the user holds any right in the program.
    void requireAnyRight(std::string_view member, std::string_view user, std::string_view program);
    // RightsError unless the session may read what the statement names (QueryScope.h);
    // database is the one database() gave, "$$" already resolved.
    void checkQuery(std::string_view member, std::string_view sql, const std::string& database);

private:
    std::string whoseRights(std::string_view user) const;
    [[noreturn]] void refuse(std::string_view member, const std::string& why);

    ServerSession session_;
    ServerDatabase& db_;
    std::string companyDatabase_; // of the session's company, looked up once
    bool companyLooked_ = false;
    // The databases the server knows, upper case, read again when older than a minute.
    std::vector<std::string> known_;
    std::chrono::steady_clock::time_point knownAt_{};
};
