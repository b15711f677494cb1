#include "db/Db.h"
#include "platform/AsciiText.h"
#include "db/DbConnectString.h"
#include "db/DbGuards.h"
#include "db/DbPostgres.h"
#include "db/SqlFunctions.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstring>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <list>
#include <map>
#include <unordered_map>

#include <unistd.h>

namespace {

bool isValidName(std::string_view name)
{
    if (name.empty() || name.size() > 64)
        return false;
    if (!(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_'))
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

} // namespace

int DbRowSet::columnIndex(std::string_view name) const
{
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (SameTextAscii(columns[i], name))
            return int(i);
    return -1;
}

// ---------------------------------------------------------------------------------------

namespace {

struct CachedStatement {
    std::string key;
    sqlite3_stmt* stmt = nullptr;
    SqlTranslation meta;
    std::string keyword;
    bool inUse = false;
};

// DecimalText: exact decimals kept as text (DECIMAL_TEXT(p,s)); answered as their text,
// but numbers to the dialect, so that "+" between two of them still adds.
enum class ColumnKind { Any, Integer, BigInt, Real, Text, DecimalText, DateTime };

ColumnKind kindOfDecltype(const char* decl)
{
    if (!decl)
        return ColumnKind::Any;
    const std::string d = upperAscii(decl);
    if (d.rfind("DECIMAL_TEXT", 0) == 0)
        return ColumnKind::DecimalText;
    if (d.find("DATE") != std::string::npos || d.find("TIME") != std::string::npos)
        return ColumnKind::DateTime;
    if (d.find("BIGINT") != std::string::npos)
        return ColumnKind::BigInt;
    if (d.find("INT") != std::string::npos)
        return ColumnKind::Integer;
    if (d.find("CHAR") != std::string::npos || d.find("TEXT") != std::string::npos || d.find("CLOB") != std::string::npos)
        return ColumnKind::Text;
    if (d.find("REAL") != std::string::npos || d.find("FLOA") != std::string::npos || d.find("DOUB") != std::string::npos
        || d.find("NUMERIC") != std::string::npos || d.find("DECIMAL") != std::string::npos || d.find("MONEY") != std::string::npos)
        return ColumnKind::Real;
    return ColumnKind::Any;
}

// The value of a column of the current row; payload gets the bytes of a text or blob.
Variant columnValue(sqlite3_stmt* stmt, int i, ColumnKind kind, std::int64_t& payload)
{
    payload = 0;
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_NULL:
        return Variant::null();
    case SQLITE_INTEGER: {
        const sqlite3_int64 n = sqlite3_column_int64(stmt, i);
        if (kind == ColumnKind::Real)
            return Variant(double(n));
        if (kind == ColumnKind::BigInt || n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::int32_t>::max())
            return Variant(std::int64_t(n));
        return Variant(int(n));
    }
    case SQLITE_FLOAT:
        return Variant(sqlite3_column_double(stmt, i));
    default: {
        const char* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
        payload = sqlite3_column_bytes(stmt, i);
        std::string s(p ? p : "", std::size_t(payload));
        double when = 0;
        if (kind == ColumnKind::DateTime && ParseSqliteDateTime(s, when))
            return Variant::date(when);
        return Variant(std::move(s));
    }
    }
}

// The columns of one schema: upper-case name -> (seen as text, seen as something else).
using SchemaColumns = std::map<std::string, std::pair<bool, bool>>;

} // namespace

struct DbConnection::Impl {
    sqlite3* db = nullptr;
    std::unique_ptr<PgConnection> pg;
    DbDialect dialect = DbDialect::SQLite;
    std::string mainFile;
    bool readOnly = false;
    std::string mainName;
    std::vector<std::pair<std::string, std::string>> attached;

    SqlSchemaInfo schema;
    bool schemaValid = false;
    // Schemas whose columns are known, by upper-case schema name; an attach adds one, a
    // change of tables forgets them all.
    std::map<std::string, SchemaColumns> schemaColumns;

    std::list<CachedStatement> cache; // most recently used first
    std::unordered_map<std::string, std::list<CachedStatement>::iterator> index;
    std::size_t capacity = 64;

    DbGuards guards;

    ~Impl() { close(); }

    void requireOpen() const
    {
        if (!db && !pg)
            throw DbError("The database connection is not open");
    }

    // Why the system refused a read or write ("disk I/O error" alone does not say that the
    // disk is full or the file may not grow).
    std::string osReason() const
    {
        const int primary = db ? sqlite3_errcode(db) & 0xff : SQLITE_OK;
        if (primary != SQLITE_IOERR && primary != SQLITE_FULL && primary != SQLITE_CANTOPEN &&
            primary != SQLITE_READONLY)
            return {};
        const int e = sqlite3_system_errno(db);
        return e ? std::string(" (") + std::strerror(e) + ")" : std::string();
    }

    [[noreturn]] void fail(const std::string& what, std::string_view sql = {}) const
    {
        std::string m = what + ": " + (db ? sqlite3_errmsg(db) + osReason() : "no connection");
        if (!sql.empty())
            m += " [" + SqlAbbreviated(sql) + "]";
        throw DbError(m, errorKind());
    }

    // --- Locks -----------------------------------------------------------------------------

    std::string displayName(const std::string& schemaName) const
    {
        return SameTextAscii(schemaName, "main") ? mainName : schemaName;
    }

    // After a statement gave up waiting: which of the connection's databases is locked.
    DbError busyError()
    {
        std::vector<std::pair<std::string, std::string>> schemas{{"main", mainFile}};
        schemas.insert(schemas.end(), attached.begin(), attached.end());
        for (const auto& [name, file] : schemas)
            if (guards.schemaIsLocked(name))
                return guards.lockError(displayName(name), name, file);
        return guards.lockError({}, {}, {});
    }

    void refreshLock()
    {
        guards.refreshLock([this](const std::string& schemaName) {
            return SameTextAscii(schemaName, "main") || isAttachedName(schemaName);
        });
    }

    static bool isBusy(int rc) { return DbGuards::isBusy(rc); }

    // --- Connection ----------------------------------------------------------------------

    void flushCache()
    {
        for (auto it = cache.begin(); it != cache.end();) {
            if (it->inUse) {
                ++it;
                continue;
            }
            sqlite3_finalize(it->stmt);
            index.erase(it->key);
            it = cache.erase(it);
        }
    }

    void close()
    {
        for (CachedStatement& c : cache)
            sqlite3_finalize(c.stmt);
        cache.clear();
        index.clear();
        if (db)
            sqlite3_close_v2(db);
        db = nullptr;
        pg.reset();
        attached.clear();
        mainFile.clear();
        mainName.clear();
        schemaValid = false;
        schemaColumns.clear();
        guards.forgetLock();
    }

    DbErrorKind errorKind() const
    {
        if (!db)
            return DbErrorKind::Other;
        const int code = sqlite3_extended_errcode(db);
        if (code == SQLITE_CONSTRAINT_UNIQUE || code == SQLITE_CONSTRAINT_PRIMARYKEY)
            return DbErrorKind::UniqueViolation;
        if ((code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED)
            return DbErrorKind::Busy;
        return DbErrorKind::Other;
    }

    void exec(const std::string& sql)
    {
        requireOpen();
        DbGuards::Unbounded unbounded(guards);
        char* err = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            const bool busy = isBusy(sqlite3_errcode(db));
            std::string m = (err ? err : sqlite3_errmsg(db)) + osReason();
            sqlite3_free(err);
            if (busy)
                throw busyError();
            throw DbError(m + " [" + SqlAbbreviated(sql) + "]", errorKind());
        }
    }

    // Tables may have changed: every schema is read again.
    void invalidateSchema()
    {
        schemaValid = false;
        schemaColumns.clear();
    }

    // A database came or went: the others are still known.
    void schemasChanged() { schemaValid = false; }

    SchemaColumns readSchema(const std::string& sch)
    {
        SchemaColumns columns;
        std::vector<std::string> tables;
        sqlite3_stmt* s = nullptr;
        const auto failRead = [&](const std::string& what) {
            if (isBusy(sqlite3_errcode(db))) {
                sqlite3_finalize(s);
                throw busyError();
            }
            fail(what);
        };
        const std::string listSql = "SELECT name FROM " + SqlQuoteName(sch) + ".sqlite_schema WHERE type IN ('table', 'view')";
        if (sqlite3_prepare_v2(db, listSql.c_str(), -1, &s, nullptr) != SQLITE_OK)
            failRead("Cannot list the tables");
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW)
            tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
        if (rc != SQLITE_DONE)
            failRead("Cannot list the tables");
        sqlite3_finalize(s);
        s = nullptr;
        for (const std::string& table : tables) {
            const std::string infoSql = "PRAGMA " + SqlQuoteName(sch) + ".table_info(" + SqlQuoteName(table) + ")";
            if (sqlite3_prepare_v2(db, infoSql.c_str(), -1, &s, nullptr) != SQLITE_OK)
                failRead("Cannot read the columns of " + table);
            while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
                const char* name = reinterpret_cast<const char*>(sqlite3_column_text(s, 1));
                const char* type = reinterpret_cast<const char*>(sqlite3_column_text(s, 2));
                auto& seen = columns[upperAscii(name ? name : "")];
                (kindOfDecltype(type) == ColumnKind::Text ? seen.first : seen.second) = true;
            }
            if (rc != SQLITE_DONE)
                failRead("Cannot read the columns of " + table);
            sqlite3_finalize(s);
            s = nullptr;
        }
        return columns;
    }

    void loadSchema()
    {
        requireOpen();
        DbGuards::Unbounded unbounded(guards);
        std::vector<std::string> schemas;
        {
            sqlite3_stmt* s = nullptr;
            if (sqlite3_prepare_v2(db, "PRAGMA database_list", -1, &s, nullptr) != SQLITE_OK)
                fail("Cannot list the databases");
            while (sqlite3_step(s) == SQLITE_ROW)
                schemas.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 1)));
            sqlite3_finalize(s);
        }
        for (auto it = schemaColumns.begin(); it != schemaColumns.end();) {
            const bool present = std::any_of(schemas.begin(), schemas.end(), [&](const std::string& n) {
                return upperAscii(n) == it->first;
            });
            it = present ? std::next(it) : schemaColumns.erase(it);
        }
        // Only schemas not read before are read: one that another program has locked since
        // does not stand in the way of the others.
        for (const std::string& sch : schemas)
            if (!schemaColumns.count(upperAscii(sch)))
                schemaColumns[upperAscii(sch)] = readSchema(sch);

        std::map<std::string, std::pair<bool, bool>> columns;
        for (const auto& [sch, cols] : schemaColumns)
            for (const auto& [name, seen] : cols) {
                auto& all = columns[name];
                all.first = all.first || seen.first;
                all.second = all.second || seen.second;
            }
        schema = SqlSchemaInfo();
        for (const auto& [name, seen] : columns)
            if (seen.first && !seen.second)
                schema.textColumns.insert(name);
        if (!mainName.empty() && !isAttachedName(mainName))
            schema.databaseAliases.emplace_back(upperAscii(mainName), "main");
        schemaValid = true;
        flushCache();
    }

    bool isAttachedName(std::string_view name) const
    {
        for (const auto& a : attached)
            if (SameTextAscii(a.first, name))
                return true;
        return false;
    }

    const SqlSchemaInfo& schemaInfo()
    {
        if (pg)
            return pg->schemaInfo();
        if (!schemaValid)
            loadSchema();
        return schema;
    }

    // A prepared statement for sql: from the cache, or prepared and cached. A statement
    // that is being stepped already (a query inside a row callback) gets a fresh copy.
    struct Lease {
        Impl* owner = nullptr;
        CachedStatement* entry = nullptr;
        CachedStatement own;
        CachedStatement& get() { return entry ? *entry : own; }
        ~Lease()
        {
            if (entry) {
                sqlite3_reset(entry->stmt);
                sqlite3_clear_bindings(entry->stmt);
                entry->inUse = false;
            } else if (own.stmt) {
                sqlite3_finalize(own.stmt);
            }
        }
    };

    void prepare(std::string_view sql, CachedStatement& c)
    {
        c.meta = TranslateSql(sql, schemaInfo(), dialect);
        if (c.meta.multipleStatements)
            throw DbError("Only one statement may be run at a time [" + SqlAbbreviated(sql) + "]");
        c.keyword = SqlFirstKeyword(c.meta.text);
        const char* tail = nullptr;
        const int rc = sqlite3_prepare_v3(db, c.meta.text.c_str(), int(c.meta.text.size()), SQLITE_PREPARE_PERSISTENT,
                                          &c.stmt, &tail);
        if (rc != SQLITE_OK) {
            guards.throwIfStopped(rc, sql, false);
            if (isBusy(rc))
                throw busyError();
            fail("Cannot prepare the statement", sql);
        }
        if (!c.stmt)
            throw DbError("The SQL text holds no statement");
    }

    void acquire(std::string_view sql, DbAccess access, Lease& lease)
    {
        requireOpen();
        lease.owner = this;
        // A statement prepared for text from outside went through the authorizer; the same
        // text from the program is a statement of its own.
        const std::string key = (access == DbAccess::QueryOnly ? "Q:" : "W:") + std::string(sql);
        if (auto it = index.find(key); it != index.end()) {
            if (!it->second->inUse) {
                cache.splice(cache.begin(), cache, it->second);
                lease.entry = &*cache.begin();
                lease.entry->inUse = true;
                return;
            }
            prepare(sql, lease.own);
            return;
        }
        CachedStatement c;
        c.key = key;
        prepare(sql, c);
        cache.push_front(std::move(c));
        index[key] = cache.begin();
        lease.entry = &*cache.begin();
        lease.entry->inUse = true;
        // Drop the least recently used statements beyond the capacity.
        for (auto it = std::prev(cache.end()); cache.size() > capacity && it != cache.begin();) {
            auto prev = std::prev(it);
            if (!it->inUse) {
                sqlite3_finalize(it->stmt);
                index.erase(it->key);
                cache.erase(it);
            }
            it = prev;
        }
    }

    static bool sameParam(std::string_view given, std::string_view name)
    {
        if (!given.empty() && given[0] == ':')
            given.remove_prefix(1);
        return SameTextAscii(given, name);
    }

    void bind(CachedStatement& c, const DbParams& params, std::string_view sql)
    {
        const int count = sqlite3_bind_parameter_count(c.stmt);
        for (int i = 1; i <= count; ++i) {
            const char* raw = sqlite3_bind_parameter_name(c.stmt, i);
            if (!raw || raw[0] != ':')
                throw DbError("Only :NAME placeholders can be given values [" + SqlAbbreviated(sql) + "]");
            const std::string_view name(raw + 1);
            const Variant* value = nullptr;
            for (const auto& [given, v] : params)
                if (sameParam(given, name)) {
                    value = &v;
                    break;
                }
            if (!value)
                throw DbError("No value for the placeholder :" + std::string(name) + " [" + SqlAbbreviated(sql) + "]");
            int rc = SQLITE_OK;
            switch (value->type()) {
            case VarType::Empty:
            case VarType::Null:
                rc = sqlite3_bind_null(c.stmt, i);
                break;
            case VarType::Bool:
                rc = sqlite3_bind_int(c.stmt, i, value->toBool() ? 1 : 0);
                break;
            case VarType::Int:
            case VarType::Int64:
                rc = sqlite3_bind_int64(c.stmt, i, value->toInt64());
                break;
            case VarType::Double:
                rc = sqlite3_bind_double(c.stmt, i, value->toDouble());
                break;
            case VarType::Date: {
                const std::string s = SqliteDateTimeText(value->toDate());
                rc = sqlite3_bind_text(c.stmt, i, s.c_str(), int(s.size()), SQLITE_TRANSIENT);
                break;
            }
            case VarType::String:
            case VarType::AnsiString: {
                const std::string s = value->toString();
                rc = sqlite3_bind_text(c.stmt, i, s.c_str(), int(s.size()), SQLITE_TRANSIENT);
                break;
            }
            default:
                throw DbError("The value for :" + std::string(name) + " is no single value (" + value->typeName() + ")");
            }
            if (rc != SQLITE_OK) {
                if ((rc & 0xff) == SQLITE_TOOBIG)
                    throw guards.limitError(DbErrorKind::ByteLimit);
                fail("Cannot bind :" + std::string(name), sql);
            }
        }
    }

    void checkAccess(const CachedStatement& c, DbAccess access, std::string_view sql) const
    {
        // The authorizer has refused every action but reading; the engine's own verdict
        // stands behind it.
        if (access == DbAccess::QueryOnly && !sqlite3_stmt_readonly(c.stmt))
            throw DbError("Only a query that reads may be run here [" + SqlAbbreviated(sql) + "]", DbErrorKind::Refused);
    }

    // Steps the statement; row is called with the values of every row.
    std::size_t run(std::string_view sql, const DbParams& params, DbAccess access,
                    const std::function<bool(std::vector<Variant>&)>* row, std::vector<std::string>* names,
                    std::int64_t* changes)
    {
        requireOpen();
        if (pg)
            return pg->run(sql, params, access, row, names, changes);
        refreshLock();
        schemaInfo();
        DbGuards::Scope scope(guards, access);
        Lease lease;
        acquire(sql, access, lease);
        CachedStatement& c = lease.get();
        checkAccess(c, access, sql);
        bind(c, params, sql);

        const int ncol = sqlite3_column_count(c.stmt);
        std::vector<ColumnKind> kinds(std::size_t(ncol), ColumnKind::Any);
        for (int i = 0; i < ncol; ++i) {
            kinds[std::size_t(i)] = kindOfDecltype(sqlite3_column_decltype(c.stmt, i));
            if (names)
                names->emplace_back(sqlite3_column_name(c.stmt, i));
        }
        for (int dc : c.meta.dateColumns)
            if (dc < ncol)
                kinds[std::size_t(dc)] = ColumnKind::DateTime;

        const bool counted = access == DbAccess::QueryOnly;
        std::int64_t bytes = 0;
        std::size_t seen = 0;
        std::vector<Variant> values;
        for (;;) {
            const int rc = sqlite3_step(c.stmt);
            if (rc == SQLITE_DONE)
                break;
            if (rc != SQLITE_ROW) {
                guards.throwIfStopped(rc, sql, counted);
                if (isBusy(rc))
                    throw busyError();
                fail("The statement failed", sql);
            }
            ++seen;
            const DbQueryLimits& limits = guards.limits;
            if (counted && limits.rows > 0 && std::int64_t(seen) > limits.rows)
                throw guards.limitError(DbErrorKind::RowLimit);
            if (!row && !counted)
                continue;
            // The room a value takes in an answer: its slot and its bytes.
            values.clear();
            values.reserve(std::size_t(ncol));
            for (int i = 0; i < ncol; ++i) {
                std::int64_t payload = 0;
                values.push_back(columnValue(c.stmt, i, kinds[std::size_t(i)], payload));
                bytes += std::int64_t(sizeof(Variant)) + payload;
            }
            if (counted) {
                if (limits.bytes > 0 && bytes > limits.bytes)
                    throw guards.limitError(DbErrorKind::ByteLimit);
                if (guards.pastDeadline())
                    throw guards.limitError(DbErrorKind::TimeLimit);
            }
            if (!row)
                continue;
            if (!(*row)(values))
                break;
        }
        if (changes)
            *changes = sqlite3_changes64(db);
        if (c.keyword == "CREATE" || c.keyword == "DROP" || c.keyword == "ALTER")
            invalidateSchema();
        return seen;
    }
};

DbConnection::DbConnection() : d(std::make_unique<Impl>()) {}

DbConnection::~DbConnection() = default;

namespace {

int parseMs(const std::string& text, const char* what)
{
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (!end || *end || v < 0 || v > std::numeric_limits<int>::max())
        throw DbError(std::string("The ") + what + " \"" + text + "\" of the connection string is no number");
    return int(v);
}

void openPostgresSpec(DbConnection& conn, const ConnectSpec& spec)
{
    DbServerLogin login;
    if (!spec.host.empty())
        login.host = spec.host;
    if (!spec.port.empty()) {
        const int port = parseMs(spec.port, "port");
        if (port < 1 || port > 65535)
            throw DbError("The port \"" + spec.port + "\" of the connection string is no port number");
        login.port = spec.port;
    }
    login.database = spec.dataSource;
    login.user = spec.user;
    login.password = spec.password;
    login.schema = spec.schema;
    login.name = spec.name;
    login.likeCollation = spec.likeCollation;
    if (!spec.connectTimeout.empty())
        login.connectTimeoutS = parseMs(spec.connectTimeout, "connect timeout");
    if (!spec.name.empty() && !isValidName(spec.name))
        throw DbError("Invalid database name \"" + spec.name + "\"");
    if (!isValidName(login.schema))
        throw DbError("Invalid schema name \"" + login.schema + "\"");
    const int busy = spec.busyTimeout.empty() ? -1 : parseMs(spec.busyTimeout, "busy timeout");
    conn.openPostgres(login);
    try {
        if (busy >= 0)
            conn.setBusyTimeout(busy);
        for (const auto& [name, schema] : spec.attached)
            conn.attach(name, schema);
    } catch (...) {
        conn.close();
        throw;
    }
}

} // namespace

std::string DbConnection::postgresConnectString(const DbServerLogin& login,
                                                 const std::vector<std::pair<std::string, std::string>>& attached,
                                                 int busyTimeoutMs)
{
    std::string s = "Provider=PostgreSQL;Host=" + connectValue(login.host) + ";Port=" + connectValue(login.port)
                    + ";Database=" + connectValue(login.database) + ";User=" + connectValue(login.user);
    if (!login.password.empty())
        s += ";Password=" + connectValue(login.password);
    s += ";Schema=" + connectValue(login.schema);
    if (!login.name.empty())
        s += ";Name=" + connectValue(login.name);
    for (const auto& [name, schema] : attached)
        s += ";Attach " + name + "=" + connectValue(schema);
    if (busyTimeoutMs > 0)
        s += ";Busy Timeout=" + std::to_string(busyTimeoutMs);
    if (!login.likeCollation.empty())
        s += ";Like Collation=" + connectValue(login.likeCollation);
    return s;
}

void DbConnection::openPostgres(const DbServerLogin& login)
{
    close();
    if (!isValidName(login.schema))
        throw DbError("Invalid schema name \"" + login.schema + "\"");
    d->pg = std::make_unique<PgConnection>(login);
    d->dialect = DbDialect::PostgreSQL;
    d->pg->setBusyTimeout(d->guards.busyMs);
    d->pg->setQueryLimits(d->guards.limits);
}

bool DbConnection::hasDatabase(std::string_view name)
{
    d->requireOpen();
    if (d->pg)
        return d->pg->isAttached(name) || d->pg->schemaExists(name);
    return isAttached(name) || SameTextAscii(name, d->mainName);
}

void DbConnection::open(std::string_view connectString)
{
    const ConnectSpec spec = parseConnectString(connectString);
    if (SameTextAscii(spec.provider, "PostgreSQL") || SameTextAscii(spec.provider, "PGSQL")) {
        openPostgresSpec(*this, spec);
        return;
    }
    if (!spec.host.empty() || !spec.port.empty() || !spec.user.empty() || !spec.password.empty() || !spec.schema.empty())
        throw DbError("Host, Port, User, Password and Schema belong to a PostgreSQL connection string");
    if (!SameTextAscii(spec.provider, "SQLite"))
        throw DbError("Unknown database provider \"" + spec.provider + "\"");
    if (spec.dataSource.empty())
        throw DbError("The connection string names no database file");
    int busy = -1;
    if (!spec.busyTimeout.empty()) {
        char* end = nullptr;
        const long v = std::strtol(spec.busyTimeout.c_str(), &end, 10);
        if (!end || *end || v < 0 || v > std::numeric_limits<int>::max())
            throw DbError("The busy timeout \"" + spec.busyTimeout + "\" of the connection string is no number of milliseconds");
        busy = int(v);
    }
    openSqlite(spec.dataSource);
    try {
        if (busy >= 0)
            setBusyTimeout(busy);
        if (!spec.name.empty()) {
            if (!isValidName(spec.name))
                throw DbError("Invalid database name \"" + spec.name + "\"");
            d->mainName = spec.name;
        }
        for (const auto& [name, file] : spec.attached)
            attach(name, file);
    } catch (...) {
        close();
        throw;
    }
}

std::string DbConnection::sqliteConnectString(const std::string& mainFile,
                                               const std::vector<std::pair<std::string, std::string>>& attached,
                                               int busyTimeoutMs)
{
    std::string s = "Provider=SQLite;Data Source=" + connectValue(mainFile);
    for (const auto& [name, file] : attached)
        s += ";Attach " + name + "=" + connectValue(file);
    if (busyTimeoutMs > 0)
        s += ";Busy Timeout=" + std::to_string(busyTimeoutMs);
    return s;
}

namespace {

// A file name as a URI that opens it for reading. SQLite cannot read a database with a
// write-ahead log without its shared-memory file, which it cannot make in a folder it may
// not write; when no log exists nobody is writing, and the file is read as it stands.
std::string readOnlyUri(const std::string& file)
{
    std::string uri = "file:";
    for (const unsigned char c : std::filesystem::absolute(file).string()) {
        if (std::isalnum(c) || std::strchr("/-._~", c)) {
            uri += char(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            uri += hex;
        }
    }
    uri += "?mode=ro";
    const std::string folder = std::filesystem::absolute(file).parent_path().string();
    if (::access(folder.c_str(), W_OK) != 0 && !std::filesystem::exists(file + "-wal"))
        uri += "&immutable=1";
    return uri;
}

} // namespace

void DbConnection::openSqlite(const std::string& file, bool create, bool readOnly)
{
    close();
    if ((!create || readOnly) && !std::filesystem::exists(file))
        throw DbError("The database file " + file + " does not exist");
    sqlite3* db = nullptr;
    // A connection is used by one thread at a time (each server object has its own), so
    // SQLite's own lock around every call, several per value read, is left out.
    const int flags = readOnly ? SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI
                               : SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    const std::string name = readOnly ? readOnlyUri(file) : file;
    if (sqlite3_open_v2(name.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        const std::string m = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close_v2(db);
        throw DbError("Cannot open the database " + file + ": " + m);
    }
    d->db = db;
    d->dialect = DbDialect::SQLite;
    d->mainFile = file;
    d->readOnly = readOnly;
    d->mainName = std::filesystem::path(file).stem().string();
    try {
        d->guards.install(db);
        sqlite3_extended_result_codes(db, 1);
        // Sorting and DISTINCT of the candidate lists stay in memory; a larger page cache
        // keeps the documents of a company at hand.
        sqlite3_exec(db, "PRAGMA temp_store = MEMORY; PRAGMA cache_size = -16000", nullptr, nullptr, nullptr);
        RegisterSqlFunctions(db);
    } catch (...) {
        close();
        throw;
    }
}

void DbConnection::attach(std::string_view name, const std::string& file, bool create)
{
    d->requireOpen();
    if (!isValidName(name))
        throw DbError("Invalid database name \"" + std::string(name) + "\"");
    if (d->pg) {
        if (!isValidName(file))
            throw DbError("Invalid schema name \"" + file + "\"");
        d->pg->attach(name, file, create);
        return;
    }
    if (isAttached(name))
        throw DbError("A database named " + std::string(name) + " is attached already");
    if (!create && !std::filesystem::exists(file))
        throw DbError("The database file " + file + " does not exist");
    d->refreshLock();
    const std::string sql = "ATTACH DATABASE ?1 AS " + SqlQuoteName(name);
    DbGuards::Unbounded unbounded(d->guards);
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(d->db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK)
        d->fail("Cannot attach " + std::string(name));
    const std::string target = d->readOnly ? readOnlyUri(file) : file;
    sqlite3_bind_text(s, 1, target.c_str(), int(target.size()), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(s);
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE) {
        if (Impl::isBusy(rc))
            throw d->guards.lockError(std::string(name), {}, file);
        d->fail("Cannot attach " + file + " as " + std::string(name));
    }
    d->attached.emplace_back(std::string(name), file);
    d->schemasChanged();
}

void DbConnection::detach(std::string_view name)
{
    d->requireOpen();
    if (d->pg) {
        d->pg->detach(name);
        return;
    }
    auto it = std::find_if(d->attached.begin(), d->attached.end(), [&](const auto& a) { return SameTextAscii(a.first, name); });
    if (it == d->attached.end())
        throw DbError("No database named " + std::string(name) + " is attached");
    d->flushCache();
    d->exec("DETACH DATABASE " + SqlQuoteName(name));
    d->attached.erase(it);
    d->schemasChanged();
}

bool DbConnection::isAttached(std::string_view name) const
{
    if (d->pg)
        return d->pg->isAttached(name);
    return d->isAttachedName(name);
}

void DbConnection::close()
{
    d->close();
}

bool DbConnection::isOpen() const
{
    return d->db != nullptr || d->pg != nullptr;
}

DbDialect DbConnection::dialect() const
{
    return d->dialect;
}

std::string DbConnection::connectString() const
{
    d->requireOpen();
    if (d->pg)
        return d->pg->connectString();
    std::string s = sqliteConnectString(d->mainFile, d->attached);
    if (d->mainName != std::filesystem::path(d->mainFile).stem().string())
        s += ";Name=" + d->mainName;
    return s;
}

void DbConnection::setBusyTimeout(int ms)
{
    d->guards.busyMs = std::max(ms, 0);
    if (d->pg)
        d->pg->setBusyTimeout(ms);
}

int DbConnection::busyTimeout() const
{
    return d->guards.busyMs;
}

void DbConnection::setQueryLimits(const DbQueryLimits& limits)
{
    d->guards.limits = limits;
    if (d->pg)
        d->pg->setQueryLimits(limits);
}

void DbConnection::setReconnectReport(std::function<void(const std::string&)> report)
{
    if (d->pg)
        d->pg->setReconnectReport(std::move(report));
}

const DbQueryLimits& DbConnection::queryLimits() const
{
    return d->guards.limits;
}

DbRowSet DbConnection::query(std::string_view sql, const DbParams& params, DbAccess access)
{
    DbRowSet result;
    const std::function<bool(std::vector<Variant>&)> collect = [&](std::vector<Variant>& values) {
        result.rows.push_back(std::move(values));
        return true;
    };
    d->run(sql, params, access, &collect, &result.columns, nullptr);
    return result;
}

std::size_t DbConnection::forEachRow(std::string_view sql, const DbParams& params,
                                     const std::function<bool(std::vector<Variant>&)>& row, DbAccess access,
                                     std::vector<std::string>* columns)
{
    return d->run(sql, params, access, &row, columns, nullptr);
}

Variant DbConnection::scalar(std::string_view sql, const DbParams& params)
{
    Variant first;
    const std::function<bool(std::vector<Variant>&)> take = [&](std::vector<Variant>& values) {
        if (!values.empty())
            first = values[0];
        return false;
    };
    d->run(sql, params, DbAccess::ReadWrite, &take, nullptr, nullptr);
    return first;
}

std::int64_t DbConnection::execute(std::string_view sql, const DbParams& params)
{
    std::int64_t changes = 0;
    d->run(sql, params, DbAccess::ReadWrite, nullptr, nullptr, &changes);
    return changes;
}

void DbConnection::executeScript(std::string_view script)
{
    d->requireOpen();
    if (d->pg) {
        d->pg->executeScript(script);
        return;
    }
    const SqlTranslation t = TranslateSql(script, d->schemaInfo(), d->dialect);
    if (!t.params.empty())
        throw DbError("A script cannot take values for placeholders");
    d->flushCache();
    d->invalidateSchema();
    if (inTransaction()) {
        d->exec(t.text);
        return;
    }
    // All or nothing, and one write to disk instead of one per statement.
    d->exec("BEGIN");
    try {
        d->exec(t.text);
        d->exec("COMMIT");
    } catch (...) {
        if (inTransaction())
            sqlite3_exec(d->db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

SqlTranslation DbConnection::translate(std::string_view sql)
{
    d->requireOpen();
    if (d->pg)
        return d->pg->translate(sql);
    return TranslateSql(sql, d->schemaInfo(), d->dialect);
}

const SqlSchemaInfo& DbConnection::schemaInfo()
{
    return d->schemaInfo();
}

void DbConnection::begin()
{
    if (d->pg)
        return d->pg->begin(false);
    d->exec("BEGIN");
}

void DbConnection::beginWrite()
{
    if (d->pg)
        return d->pg->begin(true);
    d->exec("BEGIN IMMEDIATE");
}

void DbConnection::commit()
{
    if (d->pg)
        return d->pg->commit();
    d->exec("COMMIT");
}

void DbConnection::rollback()
{
    if (d->pg)
        return d->pg->rollback();
    d->exec("ROLLBACK");
}

bool DbConnection::inTransaction() const
{
    if (d->pg)
        return d->pg->inTransaction();
    return d->db && !sqlite3_get_autocommit(d->db);
}

std::size_t DbConnection::cachedStatements() const
{
    if (d->pg)
        return d->pg->cachedStatements();
    return d->cache.size();
}

DbTransaction::DbTransaction(DbConnection& conn, Mode mode) : conn_(conn)
{
    if (mode == Write)
        conn_.beginWrite();
    else
        conn_.begin();
}

DbTransaction::~DbTransaction()
{
    if (!done_ && conn_.inTransaction()) {
        try {
            conn_.rollback();
        } catch (...) {
            // A failed rollback leaves nothing more to undo here.
        }
    }
}

void DbTransaction::commit()
{
    conn_.commit();
    done_ = true;
}

