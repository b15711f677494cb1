#pragma once
// What a user may do in a program, as the system database says (QVRMA: the account, in
// use, super user; ADMMR: the rights per program). The application server decides every
// call on this, never on what a caller claims; qvjobs decides its commands on it too.

#include "db/Db.h"
#include "platform/Variant.h"

#include <string>
#include <string_view>

struct UserRights {
    bool known = false;   // a row in QVRMA
    bool enabled = false; // that account is in use
    std::string user;     // the code as stored
    std::string name;
    bool super = false;   // every right in every program
    bool open = false, list = false, queue = false, direct = false, print = false, exportData = false;
    std::string dataLimit; // empty: none

    bool usable() const { return known && enabled; }
    // A super user may do everything; others need the program open and the right itself.
    bool mayQueue() const { return usable() && (super || (open && queue)); }
    bool mayRunDirectly() const { return usable() && (super || (open && direct)); }
    // Any right at all in the program, which is enough to read what it did.
    bool holdsAnyRight() const { return usable() && (super || open || list || queue || direct || print || exportData); }
    // The GetPower layout: [0] open [1] list [2] queue [3] direct [4] print [5] export
    // [6] super user [7] data limit [8] name; Empty for an unknown or disabled user.
    Variant powerArray() const;
};

// Reads the user's rights in the program (program codes compare without regard to case).
// DbError when the system database cannot be read.
UserRights ReadUserRights(DbConnection& system, std::string_view user, std::string_view programCode);

// Why the user may not act at all ("the user X is unknown", "... is not in use"); empty when
// the account is usable.
std::string AccountProblem(const UserRights& rights, std::string_view user);
