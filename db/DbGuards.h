#pragma once
// What keeps the statements of one SQLite connection in their bounds, for DbConnection:
// the authorizer that lets only reads through for text from outside, the progress handler
// that stops a statement past its time or memory, the length limit of its values, and the
// wait for a lock another connection holds, with the memory of a lock that outlasted a
// full wait (the next statements try it only briefly, until it is gone).

#include "db/Db.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;

class DbGuards {
public:
    using Clock = std::chrono::steady_clock;

private:
    // The bounds of the statement that is prepared or runs now.
    struct RunState {
        bool restricted = false;
        bool timed = false;
        Clock::time_point deadline{};
        std::int64_t memoryStart = 0;
        std::int64_t memoryLimit = 0;
    };

public:
    int busyMs = 5000;
    DbQueryLimits limits;

    // Installs the handlers on a connection that has just been opened.
    void install(sqlite3* db);

    // The bounds of one statement, from before it is prepared until it is done; put back
    // as they were afterwards (statements nest through row callbacks).
    class Scope {
    public:
        Scope(DbGuards& g, DbAccess access);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        DbGuards& g_;
        RunState saved_;
        int savedLength_;
    };
    // Work of the connection itself (schema, probes): no bounds, nothing refused.
    class Unbounded {
    public:
        explicit Unbounded(DbGuards& g);
        ~Unbounded();
        Unbounded(const Unbounded&) = delete;
        Unbounded& operator=(const Unbounded&) = delete;

    private:
        DbGuards& g_;
        RunState saved_;
    };

    // After a prepare or step that did not succeed: throws the error of what a guard
    // stopped (a refusal; a limit when counted, the statement being one from outside);
    // returns when no guard had a part in it.
    void throwIfStopped(int rc, std::string_view sql, bool counted) const;
    DbError limitError(DbErrorKind kind) const;
    bool pastDeadline() const;

    static bool isBusy(int rc);
    // Whether a schema of the connection can be read at once.
    bool schemaIsLocked(const std::string& schemaName);
    // Whether another connection keeps readers out of a database file.
    static bool fileIsLocked(const std::string& file);
    // Remembers the database that kept its lock past the wait (schema empty when it is not
    // attached) and makes the error that names it (name empty: it could not be told).
    DbError lockError(const std::string& name, const std::string& schemaName, const std::string& file);
    // Before a statement: a lock seen earlier that is gone no longer shortens the waits.
    // attached tells whether a schema name is still one of the connection's.
    template <class Attached>
    void refreshLock(Attached attached)
    {
        if (!lockSeen_)
            return;
        bool still = false;
        if (!lockedSchema_.empty() && attached(lockedSchema_))
            still = schemaIsLocked(lockedSchema_);
        else if (!lockedFile_.empty())
            still = fileIsLocked(lockedFile_);
        lockSeen_ = still;
    }
    void forgetLock() { lockSeen_ = false; }

private:
    static int authorize(void* self, int code, const char* a, const char* b, const char*, const char*);
    static int progress(void* self);
    static int busyWait(void* self, int count);

    sqlite3* db_ = nullptr;
    int defaultLengthLimit_ = 0;
    RunState now_;
    DbErrorKind stoppedFor_ = DbErrorKind::Other; // set by the progress handler when it stops a statement
    std::string refused_;                     // what the authorizer refused last

    bool lockSeen_ = false;
    std::string lockedSchema_;
    std::string lockedFile_;
    Clock::time_point waitStart_{};
};
