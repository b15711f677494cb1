#include "db/DbGuards.h"
#include "platform/AsciiText.h"

#include <sqlite3.h>

#include <algorithm>
#include <iterator>

namespace {

// A lock that has outlasted a full wait is tried again this briefly, until it is gone.
constexpr int kBriefWaitMs = 100;

// Reading these tells nothing about the data but much about the engine and other callers.
bool isEngineTable(std::string_view name)
{
    return SameTextAscii(name, "sqlite_stmt") || SameTextAscii(name, "sqlite_dbpage") || SameTextAscii(name, "dbstat");
}

// Functions no query from outside may call: one loads code, one hands out a pointer and,
// where it is enabled, installs one.
bool isRefusedFunction(std::string_view name)
{
    return SameTextAscii(name, "load_extension") || SameTextAscii(name, "fts3_tokenizer");
}

std::string actionText(int code, const char* a, const char* b)
{
    const std::string first = a ? a : "";
    const std::string second = b ? b : "";
    switch (code) {
    case SQLITE_INSERT:
        return "INSERT INTO " + first;
    case SQLITE_UPDATE:
        return "UPDATE of " + first;
    case SQLITE_DELETE:
        return "DELETE FROM " + first;
    case SQLITE_PRAGMA:
        return "PRAGMA " + first;
    case SQLITE_ATTACH:
        return "ATTACH";
    case SQLITE_DETACH:
        return "DETACH";
    case SQLITE_TRANSACTION:
        return "a transaction (" + first + ")";
    case SQLITE_SAVEPOINT:
        return "a savepoint";
    case SQLITE_READ:
        return "reading " + first;
    case SQLITE_FUNCTION:
        return "the function " + second;
    default:
        return "a statement that changes the database";
    }
}

} // namespace

void DbGuards::install(sqlite3* db)
{
    db_ = db;
    now_ = RunState();
    lockSeen_ = false;
    sqlite3_set_authorizer(db, authorize, this);
    sqlite3_progress_handler(db, 1000, progress, this);
    sqlite3_busy_handler(db, busyWait, this);
    defaultLengthLimit_ = sqlite3_limit(db, SQLITE_LIMIT_LENGTH, -1);
    // Neither can be switched on again by a statement: an extension would run any code,
    // and the tokenizer interface reads and installs raw pointers.
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_FTS3_TOKENIZER, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
}

int DbGuards::authorize(void* self, int code, const char* a, const char* b, const char*, const char*)
{
    DbGuards& g = *static_cast<DbGuards*>(self);
    if (!g.now_.restricted)
        return SQLITE_OK;
    switch (code) {
    case SQLITE_SELECT:
    case SQLITE_RECURSIVE:
        return SQLITE_OK;
    case SQLITE_READ:
        if (a && isEngineTable(a))
            break;
        return SQLITE_OK;
    case SQLITE_UPDATE:
        // Asked by the engine itself when a table-valued function is first used; a
        // statement of its own cannot change the schema table, and would not be
        // read-only if it could.
        if (a && (SameTextAscii(a, "sqlite_master") || SameTextAscii(a, "sqlite_schema")))
            return SQLITE_OK;
        break;
    case SQLITE_FUNCTION:
        if (b && isRefusedFunction(b))
            break;
        return SQLITE_OK;
    default:
        break;
    }
    g.refused_ = actionText(code, a, b);
    return SQLITE_DENY;
}

int DbGuards::progress(void* self)
{
    DbGuards& g = *static_cast<DbGuards*>(self);
    if (g.now_.timed && Clock::now() > g.now_.deadline) {
        g.stoppedFor_ = DbErrorKind::TimeLimit;
        return 1;
    }
    if (g.now_.memoryLimit > 0 && sqlite3_memory_used() - g.now_.memoryStart > g.now_.memoryLimit) {
        g.stoppedFor_ = DbErrorKind::MemoryLimit;
        return 1;
    }
    return 0;
}

int DbGuards::busyWait(void* self, int count)
{
    DbGuards& g = *static_cast<DbGuards*>(self);
    const Clock::time_point t = Clock::now();
    if (count == 0)
        g.waitStart_ = t;
    const long long limit = g.lockSeen_ ? std::min(g.busyMs, kBriefWaitMs) : g.busyMs;
    const long long waited = std::chrono::duration_cast<std::chrono::milliseconds>(t - g.waitStart_).count();
    if (waited >= limit)
        return 0;
    static constexpr int delays[] = {1, 2, 5, 10, 15, 20, 25, 25, 25, 50, 50, 100};
    const int step = count < int(std::size(delays)) ? delays[count] : 100;
    sqlite3_sleep(int(std::min<long long>(step, limit - waited)));
    return 1;
}

DbGuards::Scope::Scope(DbGuards& g, DbAccess access)
    : g_(g), saved_(g.now_), savedLength_(sqlite3_limit(g.db_, SQLITE_LIMIT_LENGTH, -1))
{
    RunState s;
    s.restricted = access == DbAccess::QueryOnly;
    if (s.restricted) {
        if (g.limits.timeMs > 0) {
            s.timed = true;
            s.deadline = Clock::now() + std::chrono::milliseconds(g.limits.timeMs);
        }
        if (g.limits.memory > 0) {
            s.memoryStart = sqlite3_memory_used();
            s.memoryLimit = g.limits.memory;
        }
    }
    g.now_ = s;
    g.stoppedFor_ = DbErrorKind::Other;
    g.refused_.clear();
    const std::int64_t length = s.restricted && g.limits.bytes > 0 ? g.limits.bytes : g.defaultLengthLimit_;
    sqlite3_limit(g.db_, SQLITE_LIMIT_LENGTH, int(std::min<std::int64_t>(length, g.defaultLengthLimit_)));
}

DbGuards::Scope::~Scope()
{
    g_.now_ = saved_;
    sqlite3_limit(g_.db_, SQLITE_LIMIT_LENGTH, savedLength_);
}

DbGuards::Unbounded::Unbounded(DbGuards& g) : g_(g), saved_(g.now_)
{
    g.now_ = RunState();
}

DbGuards::Unbounded::~Unbounded()
{
    g_.now_ = saved_;
}

void DbGuards::throwIfStopped(int rc, std::string_view sql, bool counted) const
{
    if ((rc & 0xff) == SQLITE_TOOBIG && counted)
        throw limitError(DbErrorKind::ByteLimit);
    if (stoppedFor_ != DbErrorKind::Other)
        throw limitError(stoppedFor_);
    if ((rc & 0xff) == SQLITE_AUTH || !refused_.empty())
        throw DbError("Only a query that reads may be run here" + (refused_.empty() ? std::string() : ", not " + refused_) +
                          " [" + SqlAbbreviated(sql) + "]",
                      DbErrorKind::Refused);
}

DbError DbGuards::limitError(DbErrorKind kind) const
{
    switch (kind) {
    case DbErrorKind::TimeLimit:
        return DbError("The statement ran longer than its time limit of " + std::to_string(limits.timeMs) +
                           " ms and was stopped",
                       kind);
    case DbErrorKind::MemoryLimit:
        return DbError("The statement needed more than " + std::to_string(limits.memory) +
                           " bytes of working memory and was stopped",
                       kind);
    case DbErrorKind::RowLimit:
        return DbError("The answer has more than " + std::to_string(limits.rows) + " rows", kind);
    default:
        return DbError("The answer is larger than " + std::to_string(limits.bytes) + " bytes", DbErrorKind::ByteLimit);
    }
}

bool DbGuards::pastDeadline() const
{
    return now_.timed && Clock::now() > now_.deadline;
}

bool DbGuards::isBusy(int rc)
{
    return (rc & 0xff) == SQLITE_BUSY;
}

bool DbGuards::schemaIsLocked(const std::string& schemaName)
{
    Unbounded unbounded(*this);
    sqlite3_busy_handler(db_, nullptr, nullptr);
    sqlite3_stmt* s = nullptr;
    const std::string sql = "PRAGMA " + SqlQuoteName(schemaName) + ".schema_version";
    bool locked = false;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr) == SQLITE_OK)
        locked = isBusy(sqlite3_step(s));
    else
        locked = isBusy(sqlite3_errcode(db_));
    sqlite3_finalize(s);
    sqlite3_busy_handler(db_, busyWait, this);
    return locked;
}

bool DbGuards::fileIsLocked(const std::string& file)
{
    sqlite3* db = nullptr;
    bool locked = false;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA schema_version", -1, &s, nullptr) == SQLITE_OK)
            locked = isBusy(sqlite3_step(s));
        else
            locked = isBusy(sqlite3_errcode(db));
        sqlite3_finalize(s);
    }
    sqlite3_close_v2(db);
    return locked;
}

DbError DbGuards::lockError(const std::string& name, const std::string& schemaName, const std::string& file)
{
    lockSeen_ = true;
    lockedSchema_ = schemaName;
    lockedFile_ = file;
    const std::string held = "another program has held a lock on it for more than " + std::to_string(busyMs) + " ms";
    if (name.empty())
        return DbError("A database is busy: " + held, DbErrorKind::Busy);
    return DbError("The database " + name + " is busy: " + held, DbErrorKind::Busy, name);
}
