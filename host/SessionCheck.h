#pragma once
// Who a job is opened for. The host opens a job only for a user the system database
// knows whose account is in use (QVRMA), of a company it knows that is in use (ADMMC),
// with that company's database: the database named on the command line must be the
// company's (names compare without regard to case), and none named means the company's.
// On a server that keeps its databases in files, the company's file must be a database.

#include <string>
#include <vector>

class AppServerLink;
struct HostConfig;

struct SessionIdentity {
    std::string user;
    std::string company;
    std::string database;
};

struct SessionVerdict {
    std::vector<std::string> problems; // empty: the session may open the job
    SessionIdentity session;           // the codes as the system database keeps them
    bool ok() const { return problems.empty(); }
};

class SessionCheck {
public:
    static SessionVerdict Run(AppServerLink& server, const HostConfig& config, const SessionIdentity& asked);
};
