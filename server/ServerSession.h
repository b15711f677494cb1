#pragma once
// Whom a server object works for: the user and company its connection signed on for, or,
// in-process, the session the host signed on (SetProcessSignOn). Every member decides on
// this, never on a user or company that its arguments name.

#include <string>

struct ServerSession {
    std::string user;      // empty: nobody signed on, and no member acts for a user
    std::string company;   // empty: no company is bound (in-process without a session)
    bool remote = false;   // the caller is across the network
    std::string peer;      // where the caller is, for the log

    bool signedOn() const { return !user.empty(); }
    std::string who() const { return "user " + user + " of company " + company + " from " + peer; }
};
