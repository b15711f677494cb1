#include "db/DbPostgres.h"

#include "db/DbConnectString.h"
#include "platform/AsciiText.h"
#include "platform/OleDate.h"
#include "db/PgDialect.h"
#include "db/PgFunctions.h"
#include "db/SqlFunctions.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <list>
#include <map>
#include <unordered_map>

namespace {

// Type numbers of the server's catalogue (pg_type.oid), fixed for the built-in types.
enum : Oid {
    BoolOid = 16,
    Int8Oid = 20,
    Int2Oid = 21,
    Int4Oid = 23,
    OidOid = 26,
    Float4Oid = 700,
    Float8Oid = 701,
    DateOid = 1082,
    TimestampOid = 1114,
    TimestampTzOid = 1184,
    NumericOid = 1700,
};

// The lock every write transaction takes first (pg_advisory_xact_lock(class, id)).
constexpr int WriteLockClass = 0x5156;
constexpr int WriteLockId = 1;

struct Result {
    PGresult* r = nullptr;
    explicit Result(PGresult* p = nullptr) : r(p) {}
    ~Result() { PQclear(r); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    Result(Result&& o) noexcept : r(o.r) { o.r = nullptr; }
    Result& operator=(Result&& o) noexcept
    {
        std::swap(r, o.r);
        return *this;
    }
};

std::string field(const PGresult* r, int code)
{
    const char* f = r ? PQresultErrorField(r, code) : nullptr;
    return f ? f : "";
}

Variant valueOf(const PGresult* r, int row, int col)
{
    if (PQgetisnull(r, row, col))
        return Variant::null();
    std::string s(PQgetvalue(r, row, col), std::size_t(PQgetlength(r, row, col)));
    switch (PQftype(r, col)) {
    case BoolOid:
        return Variant(s == "t" ? 1 : 0);
    case Int2Oid:
    case Int4Oid:
        return Variant(std::atoi(s.c_str()));
    case Int8Oid:
    case OidOid: {
        const long long n = std::strtoll(s.c_str(), nullptr, 10);
        if (n >= std::numeric_limits<std::int32_t>::min() && n <= std::numeric_limits<std::int32_t>::max())
            return Variant(int(n));
        return Variant(std::int64_t(n));
    }
    case Float4Oid:
    case Float8Oid:
        return Variant(std::strtod(s.c_str(), nullptr));
    case NumericOid:
        return Variant(std::move(s)); // exact, as text for dataset/Decimal
    case DateOid:
    case TimestampOid:
    case TimestampTzOid: {
        // ISO output; a zone offset after the time is dropped (the session keeps local time).
        std::string t = s;
        const auto zone = t.find_first_of("+-", 19);
        if (zone != std::string::npos && t.size() > 19)
            t.erase(zone);
        double when = 0;
        if (ParseSqliteDateTime(t, when))
            return Variant::date(when);
        return Variant(std::move(s));
    }
    default:
        return Variant(std::move(s));
    }
}

std::string paramText(const Variant& v, const std::string& name)
{
    switch (v.type()) {
    case VarType::Bool:
        return v.toBool() ? "1" : "0";
    case VarType::Int:
    case VarType::Int64:
        return std::to_string(v.toInt64());
    case VarType::Double: {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", v.toDouble());
        return buf;
    }
    case VarType::Date:
        return SqliteDateTimeText(v.toDate());
    case VarType::String:
    case VarType::AnsiString:
        return v.toString();
    default:
        throw DbError("The value for :" + name + " is no single value (" + v.typeName() + ")");
    }
}

bool sameParam(std::string_view given, std::string_view name)
{
    if (!given.empty() && given[0] == ':')
        given.remove_prefix(1);
    return SameTextAscii(given, name);
}


// Functions a query from outside may not call: the server's administration, its files
// and its settings.
bool forbiddenCall(const SqlTranslation& t)
{
    for (const auto& [lower, written] : t.spelledNames) {
        if (lower.rfind("pg_", 0) == 0 || lower.rfind("lo_", 0) == 0 || lower.rfind("dblink", 0) == 0
            || lower == "set_config" || lower == "current_setting" || lower == "query_to_xml"
            || lower == "txid_current" || lower == "nextval" || lower == "setval")
            return true;
    }
    return false;
}

// Losses of the database server under calls of this thread (DbServerLossCount).
thread_local std::uint64_t serverLosses = 0;

// The server ended the session (shut down, restarted, the backend ended) or the link broke.
bool connectionState(const std::string& state)
{
    return state.rfind("08", 0) == 0 || state == "57P01" || state == "57P02" || state == "57P03";
}

struct Statement {
    std::string key;
    std::string name; // of the prepared statement; empty until it is prepared
    SqlTranslation meta;
    std::string keyword;
};

} // namespace

struct PgConnection::Impl {
    PgLogin login;
    PGconn* conn = nullptr;
    bool broken = false; // a call saw the server go: the next one connects again
    // A transaction was begun and not yet ended by the caller. A connection lost inside it
    // is not made again until the caller has rolled back: the statements after the loss
    // would otherwise run outside the transaction, each committed on its own.
    bool txOpen = false;
    // The savepoint of the last statement in the caller's transaction is still open: it is
    // released in the same round trip that sets the next one's, or with the transaction.
    bool savepointOpen = false;
    std::function<void(const std::string&)> reconnected;
    int busyMs = 5000;
    DbQueryLimits limits;
    std::vector<std::pair<std::string, std::string>> attached; // name -> schema

    SqlSchemaInfo schema;
    bool schemaValid = false;

    std::list<Statement> cache; // most recently used first
    std::unordered_map<std::string, std::list<Statement>::iterator> index;
    std::size_t capacity = 64;
    int nextName = 0;

    ~Impl()
    {
        if (conn)
            PQfinish(conn);
    }

    std::string where() const { return login.host + ":" + login.port + "/" + login.database; }

    std::string serverMessage() const
    {
        std::string m = conn ? PQerrorMessage(conn) : "no connection";
        while (!m.empty() && (m.back() == '\n' || m.back() == ' '))
            m.pop_back();
        return m;
    }

    bool lost() const { return broken || !conn || PQstatus(conn) == CONNECTION_BAD; }

    [[noreturn]] void throwLost(std::string_view sql = {})
    {
        std::string m = "The connection to the database server " + where() + " was lost (" + serverMessage()
                        + "); the current work was not done, the next call connects again";
        if (!sql.empty())
            m += " [" + SqlAbbreviated(sql) + "]";
        forgetStatements();
        broken = true;
        ++serverLosses;
        throw DbError(m, DbErrorKind::ConnectionLost);
    }

    DbErrorKind kindOf(const std::string& state, DbAccess access) const
    {
        if (state == "23505")
            return DbErrorKind::UniqueViolation;
        if (state == "55P03" || state == "40P01" || state == "40001")
            return DbErrorKind::Busy;
        if (state == "57014" && access == DbAccess::QueryOnly && limits.timeMs > 0)
            return DbErrorKind::TimeLimit;
        // Past work_mem a sort or hash would go to temporary files, which may hold nothing.
        if ((state == "53400" || state == "53200") && access == DbAccess::QueryOnly && limits.memory > 0)
            return DbErrorKind::MemoryLimit;
        return DbErrorKind::Other;
    }

    [[noreturn]] void throwResult(const PGresult* r, std::string_view what, std::string_view sql, DbAccess access)
    {
        const std::string state = field(r, PG_DIAG_SQLSTATE);
        if (lost() || connectionState(state))
            throwLost(sql);
        const DbErrorKind kind = kindOf(state, access);
        if (kind == DbErrorKind::TimeLimit)
            throw DbError("The statement ran longer than its time limit of " + std::to_string(limits.timeMs)
                              + " ms and was stopped",
                          kind);
        if (kind == DbErrorKind::MemoryLimit)
            throw DbError("The statement needed more than " + std::to_string(limits.memory)
                              + " bytes of working memory and was stopped",
                          kind);
        std::string m = field(r, PG_DIAG_MESSAGE_PRIMARY);
        if (m.empty())
            m = serverMessage();
        const std::string detail = field(r, PG_DIAG_MESSAGE_DETAIL);
        if (!detail.empty())
            m += " (" + detail + ")";
        std::string text = std::string(what) + ": " + m;
        if (!sql.empty())
            text += " [" + SqlAbbreviated(sql) + "]";
        throw DbError(text, kind);
    }

    // --- Connection ----------------------------------------------------------------------

    void connect()
    {
        const std::string timeout = std::to_string(std::max(1, login.connectTimeoutS));
        const char* keys[] = {"host", "port", "dbname", "user", "password", "connect_timeout", "client_encoding",
                              "application_name", nullptr};
        const char* values[] = {login.host.c_str(), login.port.c_str(), login.database.c_str(), login.user.c_str(),
                                login.password.c_str(), timeout.c_str(), "UTF8", "qv", nullptr};
        PGconn* c = PQconnectdbParams(keys, values, 0);
        if (!c || PQstatus(c) != CONNECTION_OK) {
            std::string m = c ? PQerrorMessage(c) : "out of memory";
            while (!m.empty() && (m.back() == '\n' || m.back() == ' '))
                m.pop_back();
            PQfinish(c);
            ++serverLosses;
            throw DbError("Cannot connect to the database server " + where() + ": " + m, DbErrorKind::ConnectionLost);
        }
        if (conn)
            PQfinish(conn);
        conn = c;
        broken = false;
        setUpSession();
    }

    void setUpSession()
    {
        savepointOpen = false;
        forgetStatements();
        exec("SET client_min_messages = warning; SET DateStyle = ISO, YMD; SET standard_conforming_strings = on");
        installFunctions();
        if (login.createSchema)
            exec("CREATE SCHEMA IF NOT EXISTS " + SqlQuoteName(login.schema));
        else if (!schemaExists(login.schema))
            throw DbError("The database " + where() + " has no schema " + login.schema);
        exec("SET search_path TO " + SqlQuoteName(login.schema) + ", qv_fn");
        checkLikeCollation();
        applyBusyTimeout();
    }

    void installFunctions()
    {
        {
            Result r(PQexec(conn, "SELECT qv_fn.qv_functions_version()"));
            if (PQresultStatus(r.r) == PGRES_TUPLES_OK && PQntuples(r.r) == 1
                && std::atoi(PQgetvalue(r.r, 0, 0)) >= PgFunctionsVersion)
                return;
            if (lost())
                throwLost();
        }
        // Several servers may start at once: one installs, the others wait for it.
        const std::string script = "BEGIN; SELECT pg_advisory_xact_lock(" + std::to_string(WriteLockClass) + ", 0);"
                                   + PgFunctionsScript() + "COMMIT;";
        Result r(PQexec(conn, script.c_str()));
        if (PQresultStatus(r.r) != PGRES_COMMAND_OK && PQresultStatus(r.r) != PGRES_TUPLES_OK) {
            const std::string m = field(r.r, PG_DIAG_MESSAGE_PRIMARY);
            Result(PQexec(conn, "ROLLBACK"));
            throw DbError("Cannot install the server functions (schema qv_fn) in " + where() + ": "
                          + (m.empty() ? serverMessage() : m));
        }
    }

    // A collation the server lacks, or one that cannot match patterns (a nondeterministic
    // one), would fail every LIKE later: it fails the connection now, saying which.
    void checkLikeCollation()
    {
        if (login.likeCollation.empty())
            return;
        const std::string probe = "SELECT 'a' COLLATE " + SqlQuoteName(login.likeCollation) + " ILIKE 'A'";
        Result r(PQexec(conn, probe.c_str()));
        if (PQresultStatus(r.r) == PGRES_TUPLES_OK)
            return;
        if (lost())
            throwLost();
        const std::string m = field(r.r, PG_DIAG_MESSAGE_PRIMARY);
        throw DbError("The collation \"" + login.likeCollation + "\" for LIKE comparisons (LikeCollation) cannot be used on "
                      + where() + ": " + (m.empty() ? serverMessage() : m));
    }

    void applyBusyTimeout()
    {
        if (conn && !lost())
            exec("SET lock_timeout = " + std::to_string(std::max(busyMs, 0)));
    }

    // Before a call: a connection the server dropped is made again.
    void ensureConnected()
    {
        if (!lost())
            return;
        if (txOpen)
            throw DbError("The connection to the database server " + where()
                              + " was lost inside a transaction; its work was not done and it must be rolled back",
                          DbErrorKind::ConnectionLost);
        bool again = false;
        if (conn) {
            PQreset(conn);
            if (PQstatus(conn) == CONNECTION_OK) {
                broken = false;
                setUpSession();
                again = true;
            }
        }
        if (!again)
            connect();
        if (reconnected)
            reconnected("Connected again to the database server " + where() + " after the connection was lost");
    }

    Result exec(const std::string& sql, DbAccess access = DbAccess::ReadWrite)
    {
        Result r(PQexec(conn, sql.c_str()));
        const ExecStatusType st = PQresultStatus(r.r);
        if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK)
            throwResult(r.r, "The statement failed", sql, access);
        return r;
    }

    bool inTransaction() const
    {
        if (lost())
            return txOpen;
        const PGTransactionStatusType s = PQtransactionStatus(conn);
        return s == PQTRANS_INTRANS || s == PQTRANS_INERROR || s == PQTRANS_ACTIVE;
    }

    // --- Schema --------------------------------------------------------------------------

    bool schemaExists(std::string_view name)
    {
        const std::string n(name);
        const char* values[] = {n.c_str()};
        Result r(PQexecParams(conn, "SELECT 1 FROM pg_namespace WHERE nspname = $1", 1, nullptr, values, nullptr,
                              nullptr, 0));
        if (PQresultStatus(r.r) != PGRES_TUPLES_OK)
            throwResult(r.r, "Cannot read the schemas", {}, DbAccess::ReadWrite);
        return PQntuples(r.r) > 0;
    }

    void loadSchema()
    {
        // Every schema of the database: db..table reaches any of them.
        Result r = exec("SELECT upper(column_name::text),"
                        " bool_or(data_type IN ('character varying', 'character', 'text')),"
                        " bool_or(data_type NOT IN ('character varying', 'character', 'text'))"
                        " FROM information_schema.columns"
                        " WHERE table_schema NOT IN ('pg_catalog', 'information_schema', 'qv_fn')"
                        " GROUP BY 1");
        schema = SqlSchemaInfo();
        for (int i = 0; i < PQntuples(r.r); ++i)
            if (std::string(PQgetvalue(r.r, i, 1)) == "t" && std::string(PQgetvalue(r.r, i, 2)) == "f")
                schema.textColumns.insert(PQgetvalue(r.r, i, 0));
        schema.likeCollation = login.likeCollation;
        const std::string mainName = login.name.empty() ? login.schema : login.name;
        schema.databaseAliases.emplace_back(upperAscii(mainName), login.schema);
        for (const auto& [name, sch] : attached)
            schema.databaseAliases.emplace_back(upperAscii(name), sch);
        schemaValid = true;
    }

    const SqlSchemaInfo& schemaInfo()
    {
        ensureConnected();
        if (!schemaValid)
            loadSchema();
        return schema;
    }

    // --- Statements ----------------------------------------------------------------------

    void forgetStatements()
    {
        cache.clear();
        index.clear();
        schemaValid = false;
    }

    Statement& statement(std::string_view sql, DbAccess access)
    {
        const std::string key = (access == DbAccess::QueryOnly ? "Q:" : "W:") + std::string(sql);
        if (auto it = index.find(key); it != index.end()) {
            cache.splice(cache.begin(), cache, it->second);
            return cache.front();
        }
        Statement s;
        s.key = key;
        s.meta = TranslateSqlPostgres(sql, schemaInfo());
        if (s.meta.multipleStatements)
            throw DbError("Only one statement may be run at a time [" + SqlAbbreviated(sql) + "]");
        s.keyword = SqlFirstKeyword(s.meta.text);
        if (s.keyword.empty())
            throw DbError("The SQL text holds no statement");
        cache.push_front(std::move(s));
        index[key] = cache.begin();
        while (cache.size() > capacity) {
            Statement& old = cache.back();
            if (!old.name.empty() && !lost())
                Result(PQexec(conn, ("DEALLOCATE " + old.name).c_str()));
            index.erase(old.key);
            cache.pop_back();
        }
        return cache.front();
    }

    void checkAccess(const Statement& s, DbAccess access, std::string_view sql) const
    {
        if (access != DbAccess::QueryOnly)
            return;
        if (!(s.keyword == "SELECT" || s.keyword == "WITH" || s.keyword == "VALUES") || forbiddenCall(s.meta))
            throw DbError("Only a query that reads may be run here [" + SqlAbbreviated(sql) + "]", DbErrorKind::Refused);
    }

    std::vector<std::string> values(const Statement& s, const DbParams& params, std::string_view sql,
                                    std::vector<bool>& nulls) const
    {
        std::vector<std::string> out;
        for (const std::string& name : s.meta.params) {
            const Variant* value = nullptr;
            for (const auto& [given, v] : params)
                if (sameParam(given, name)) {
                    value = &v;
                    break;
                }
            if (!value && name == PgNowParam) {
                out.push_back(SqliteDateTimeText(Now()));
                nulls.push_back(false);
                continue;
            }
            if (!value)
                throw DbError("No value for the placeholder :" + name + " [" + SqlAbbreviated(sql) + "]");
            const bool isNull = value->type() == VarType::Empty || value->type() == VarType::Null;
            out.push_back(isNull ? std::string() : paramText(*value, name));
            nulls.push_back(isNull);
        }
        return out;
    }

    // The memory bound of a query from outside: each sort and hash keeps to work_mem and may
    // not spill to temporary files, so one that needs more stops (SQLSTATE 53400). The
    // settings end with the query's own transaction.
    void boundMemory()
    {
        const long long kb = std::clamp<long long>(limits.memory / 1024, 64, std::numeric_limits<int>::max());
        const std::string set = "SET LOCAL work_mem = '" + std::to_string(kb)
                                + "kB'; SET LOCAL hash_mem_multiplier = 1; SET LOCAL temp_file_limit = 0";
        Result r(PQexec(conn, set.c_str()));
        if (PQresultStatus(r.r) == PGRES_COMMAND_OK)
            return;
        const std::string m = field(r.r, PG_DIAG_MESSAGE_PRIMARY);
        if (lost())
            throwLost();
        Result(PQexec(conn, "ROLLBACK"));
        throw DbError("The query memory limit (QueryMaxMemory) cannot be kept on " + where() + ": "
                          + (m.empty() ? serverMessage() : m) + "; the user " + login.user
                          + " needs GRANT SET ON PARAMETER temp_file_limit (QueryMaxMemory=0 lifts the limit)");
    }

    void cancelRunning()
    {
        if (PGcancel* c = PQgetCancel(conn)) {
            char err[256];
            PQcancel(c, err, sizeof err);
            PQfreeCancel(c);
        }
    }

    // What keeps a statement to itself: a query from outside reads in a transaction of its
    // own that cannot write, bounded in time by the server; inside the caller's transaction
    // a savepoint keeps a failed statement from spoiling the rest.
    void beginStatement(bool ownReadOnly, bool outer)
    {
        if (ownReadOnly) {
            std::string start = "BEGIN READ ONLY";
            if (limits.timeMs > 0)
                start += "; SET LOCAL statement_timeout = " + std::to_string(limits.timeMs);
            exec(start);
            if (limits.memory > 0)
                boundMemory();
        } else if (outer) {
            exec(savepointOpen ? "RELEASE SAVEPOINT qv_statement; SAVEPOINT qv_statement" : "SAVEPOINT qv_statement");
            savepointOpen = true;
        }
    }

    // After a failed statement: what beginStatement opened is undone, unless the server is gone.
    void undoStatement(bool ownReadOnly, bool outer)
    {
        if (lost())
            return;
        if (ownReadOnly)
            Result(PQexec(conn, "ROLLBACK"));
        else if (outer) {
            Result(PQexec(conn, "ROLLBACK TO SAVEPOINT qv_statement; RELEASE SAVEPOINT qv_statement"));
            savepointOpen = false;
        }
    }

    // Prepares the statement on its first run and sends it with its values, for one row at a time.
    void sendStatement(Statement& s, const std::vector<const char*>& ptrs, std::string_view sql, DbAccess access)
    {
        if (s.name.empty()) {
            const std::string name = "qv_" + std::to_string(++nextName);
            Result p(PQprepare(conn, name.c_str(), s.meta.text.c_str(), int(s.meta.params.size()), nullptr));
            if (PQresultStatus(p.r) != PGRES_COMMAND_OK)
                throwResult(p.r, "Cannot prepare the statement", sql, access);
            s.name = name;
        }
        if (!PQsendQueryPrepared(conn, s.name.c_str(), int(ptrs.size()), ptrs.data(), nullptr, nullptr, 0))
            throwLost(sql);
        PQsetSingleRowMode(conn);
    }

    // Reads the whole answer of the statement sent: the column names, the rows (kept when
    // row is given), the rows changed; past a query's limits the server is told to stop.
    // Answers the number of rows seen.
    std::size_t readAnswer(const Statement& s, std::string_view sql, DbAccess access, const RowFn* row,
                           std::vector<std::string>* names, std::int64_t* changes,
                           std::vector<std::vector<Variant>>& rows)
    {
        std::size_t seen = 0;
        const bool counted = access == DbAccess::QueryOnly;
        std::int64_t bytes = 0;
        DbErrorKind over = DbErrorKind::Other;
        Result failed;
        bool haveNames = false;
        while (PGresult* raw = PQgetResult(conn)) {
            Result r(raw);
            const ExecStatusType st = PQresultStatus(r.r);
            if ((st == PGRES_SINGLE_TUPLE || st == PGRES_TUPLES_OK) && names && !haveNames) {
                haveNames = true;
                for (int c = 0; c < PQnfields(r.r); ++c)
                    names->push_back(spelled(s.meta, PQfname(r.r, c)));
            }
            if (st == PGRES_SINGLE_TUPLE) {
                if (over != DbErrorKind::Other)
                    continue;
                ++seen;
                const int ncol = PQnfields(r.r);
                if (counted) {
                    for (int c = 0; c < ncol; ++c)
                        bytes += std::int64_t(sizeof(Variant)) + PQgetlength(r.r, 0, c);
                    if (limits.rows > 0 && std::int64_t(seen) > limits.rows)
                        over = DbErrorKind::RowLimit;
                    else if (limits.bytes > 0 && bytes > limits.bytes)
                        over = DbErrorKind::ByteLimit;
                    if (over != DbErrorKind::Other) {
                        cancelRunning();
                        continue;
                    }
                }
                if (row) {
                    std::vector<Variant> v;
                    v.reserve(std::size_t(ncol));
                    for (int c = 0; c < ncol; ++c)
                        v.push_back(valueOf(r.r, 0, c));
                    rows.push_back(std::move(v));
                }
            } else if (st == PGRES_COMMAND_OK) {
                if (changes)
                    *changes = std::atoll(PQcmdTuples(r.r));
            } else if (st != PGRES_TUPLES_OK && !failed.r && over == DbErrorKind::Other) {
                failed = std::move(r);
            }
        }
        if (over == DbErrorKind::RowLimit)
            throw DbError("The answer has more than " + std::to_string(limits.rows) + " rows", over);
        if (over == DbErrorKind::ByteLimit)
            throw DbError("The answer is larger than " + std::to_string(limits.bytes) + " bytes", over);
        if (failed.r)
            throwResult(failed.r, "The statement failed", sql, access);
        if (lost())
            throwLost(sql);
        return seen;
    }

    std::size_t run(std::string_view sql, const DbParams& params, DbAccess access, const RowFn* row,
                    std::vector<std::string>* names, std::int64_t* changes)
    {
        ensureConnected();
        Statement& s = statement(sql, access);
        checkAccess(s, access, sql);
        std::vector<bool> nulls;
        const std::vector<std::string> texts = values(s, params, sql, nulls);
        std::vector<const char*> ptrs;
        for (std::size_t i = 0; i < texts.size(); ++i)
            ptrs.push_back(nulls[i] ? nullptr : texts[i].c_str());

        const bool outer = inTransaction();
        const bool ownReadOnly = access == DbAccess::QueryOnly && !outer;
        beginStatement(ownReadOnly, outer);

        std::vector<std::vector<Variant>> rows;
        std::size_t seen = 0;
        try {
            sendStatement(s, ptrs, sql, access);
            seen = readAnswer(s, sql, access, row, names, changes, rows);
            if (ownReadOnly)
                exec("COMMIT");
        } catch (...) {
            undoStatement(ownReadOnly, outer);
            throw;
        }
        if (s.keyword == "CREATE" || s.keyword == "DROP" || s.keyword == "ALTER")
            schemaValid = false;
        // Rows are handed over once the answer is complete, so that a row callback may run
        // statements of its own on this connection.
        if (row)
            for (auto& v : rows)
                if (!(*row)(v))
                    break;
        return seen;
    }

    static std::string spelled(const SqlTranslation& t, const char* name)
    {
        const std::string n = name ? name : "";
        for (const auto& [lower, written] : t.spelledNames)
            if (lower == n)
                return written;
        return n;
    }
};

PgConnection::PgConnection(PgLogin login) : d(std::make_unique<Impl>())
{
    if (login.schema.empty())
        throw DbError("The connection string names no schema");
    if (login.database.empty())
        throw DbError("The connection string names no database");
    login.schema = PgSchemaName(login.schema);
    d->login = std::move(login);
    d->connect();
}

PgConnection::~PgConnection() = default;

std::size_t PgConnection::run(std::string_view sql, const DbParams& params, DbAccess access, const RowFn* row,
                              std::vector<std::string>* names, std::int64_t* changes)
{
    return d->run(sql, params, access, row, names, changes);
}

void PgConnection::executeScript(std::string_view script)
{
    d->ensureConnected();
    const SqlTranslation t = TranslateSqlPostgres(script, d->schemaInfo());
    if (!t.params.empty())
        throw DbError("A script cannot take values for placeholders");
    d->schemaValid = false;
    if (inTransaction()) {
        d->exec("SAVEPOINT qv_script");
        try {
            d->exec(t.text);
            d->exec("RELEASE SAVEPOINT qv_script");
        } catch (...) {
            if (!d->lost())
                Result(PQexec(d->conn, "ROLLBACK TO SAVEPOINT qv_script; RELEASE SAVEPOINT qv_script"));
            throw;
        }
        return;
    }
    // The statements of one text run as one transaction: all or nothing.
    d->exec(t.text);
}

SqlTranslation PgConnection::translate(std::string_view sql)
{
    return TranslateSqlPostgres(sql, d->schemaInfo());
}

const SqlSchemaInfo& PgConnection::schemaInfo()
{
    return d->schemaInfo();
}

void PgConnection::attach(std::string_view name, std::string_view schema, bool create)
{
    d->ensureConnected();
    if (isAttached(name))
        throw DbError("A database named " + std::string(name) + " is attached already");
    const std::string sch = PgSchemaName(schema);
    if (create)
        d->exec("CREATE SCHEMA IF NOT EXISTS " + SqlQuoteName(sch));
    else if (!d->schemaExists(sch))
        throw DbError("The database " + d->where() + " has no schema " + sch);
    d->attached.emplace_back(std::string(name), sch);
    d->schemaValid = false;
    d->cache.clear();
    d->index.clear();
}

void PgConnection::detach(std::string_view name)
{
    auto it = std::find_if(d->attached.begin(), d->attached.end(),
                           [&](const auto& a) { return SameTextAscii(a.first, name); });
    if (it == d->attached.end())
        throw DbError("No database named " + std::string(name) + " is attached");
    d->attached.erase(it);
    d->schemaValid = false;
    d->cache.clear();
    d->index.clear();
}

bool PgConnection::isAttached(std::string_view name) const
{
    return std::any_of(d->attached.begin(), d->attached.end(),
                       [&](const auto& a) { return SameTextAscii(a.first, name); });
}

bool PgConnection::schemaExists(std::string_view schema)
{
    d->ensureConnected();
    return d->schemaExists(PgSchemaName(schema));
}

std::string PgConnection::connectString() const
{
    const PgLogin& l = d->login;
    std::string s = "Provider=PostgreSQL;Host=" + connectValue(l.host) + ";Port=" + connectValue(l.port)
                    + ";Database=" + connectValue(l.database) + ";User=" + connectValue(l.user);
    if (!l.password.empty())
        s += ";Password=" + connectValue(l.password);
    s += ";Schema=" + connectValue(l.schema);
    if (!l.name.empty() && PgSchemaName(l.name) != l.schema)
        s += ";Name=" + connectValue(l.name);
    for (const auto& [name, sch] : d->attached)
        s += ";Attach " + name + "=" + connectValue(sch);
    if (!l.likeCollation.empty())
        s += ";Like Collation=" + connectValue(l.likeCollation);
    return s;
}

const PgLogin& PgConnection::login() const
{
    return d->login;
}

void PgConnection::setBusyTimeout(int ms)
{
    d->busyMs = std::max(ms, 0);
    d->applyBusyTimeout();
}

void PgConnection::setReconnectReport(std::function<void(const std::string&)> report)
{
    d->reconnected = std::move(report);
}

void PgConnection::setQueryLimits(const DbQueryLimits& limits)
{
    d->limits = limits;
}

void PgConnection::begin(bool write)
{
    d->ensureConnected();
    d->savepointOpen = false;
    if (!write) {
        d->exec("BEGIN");
        d->txOpen = true;
        return;
    }
    try {
        d->exec("BEGIN; SELECT pg_advisory_xact_lock(" + std::to_string(WriteLockClass) + ", "
                + std::to_string(WriteLockId) + ")");
    } catch (...) {
        // Waited past the busy time: no transaction is left open.
        if (!d->lost())
            Result(PQexec(d->conn, "ROLLBACK"));
        throw;
    }
    d->txOpen = true;
}

void PgConnection::commit()
{
    if (d->lost()) {
        d->txOpen = false;
        d->throwLost("COMMIT");
    }
    d->savepointOpen = false;
    d->txOpen = false; // a COMMIT that fails ends the transaction too
    d->exec("COMMIT");
}

void PgConnection::rollback()
{
    d->txOpen = false;
    if (d->lost())
        return; // the server has ended the transaction with the connection
    d->savepointOpen = false;
    d->exec("ROLLBACK");
}

bool PgConnection::inTransaction() const
{
    return d->inTransaction();
}

std::uint64_t DbServerLossCount()
{
    return serverLosses;
}

std::size_t PgConnection::cachedStatements() const
{
    return d->cache.size();
}
