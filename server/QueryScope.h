#pragma once
// What a SimpleSQL text of a signed-on session may read: its company's database and the
// tables of the system database that a desk needs (companies, settings, programs, the
// user directory, portal settings). Never, whatever the text says, the tables that hold
// users' rights, condition schemes, jobs and messages (their own members serve them, for
// the session's user alone), another company's database, or a database engine's own
// catalogue and the functions that read files or run a text as a statement.
//
// The check works on the statement's tokens (quoted text is never taken for a name), after
// "$$" has been resolved.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct QueryScope {
    std::string companyDatabase;  // the session's, as the server names it
    std::string systemDatabase;
    // Whether an upper-case name is a database (or, on PostgreSQL, a schema) the server
    // knows other than these two; asked only for a name before a single dot.
    std::function<bool(const std::string& upperName)> isOtherDatabase;
};

// The reason the text may not run for the session, naming what it reaches; empty when it may.
std::string QueryScopeProblem(std::string_view sql, const QueryScope& scope);

// The tables of the system database that SimpleSQL never reads.
const std::vector<std::string>& PrivateSystemTables();
