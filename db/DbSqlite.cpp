#include "db/DbSqlite.h"
#include "platform/AsciiText.h"
#include "db/DbPostgres.h"
#include "db/SqlFunctions.h"

#include <sqlite3.h>

#include <cstring>

#include <algorithm>
#include <iterator>
#include <limits>

namespace {

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

} // namespace

DbConnection::Impl::~Impl()
{
    close();
}

void DbConnection::Impl::requireOpen() const
{
    if (!db && !pg)
        throw DbError("The database connection is not open");
}

std::string DbConnection::Impl::osReason() const
{
    const int primary = db ? sqlite3_errcode(db) & 0xff : SQLITE_OK;
    if (primary != SQLITE_IOERR && primary != SQLITE_FULL && primary != SQLITE_CANTOPEN &&
        primary != SQLITE_READONLY)
        return {};
    const int e = sqlite3_system_errno(db);
    return e ? std::string(" (") + std::strerror(e) + ")" : std::string();
}

void DbConnection::Impl::fail(const std::string& what, std::string_view sql) const
{
    std::string m = what + ": " + (db ? sqlite3_errmsg(db) + osReason() : "no connection");
    if (!sql.empty())
        m += " [" + SqlAbbreviated(sql) + "]";
    throw DbError(m, errorKind());
}

// --- Locks -----------------------------------------------------------------------------

std::string DbConnection::Impl::displayName(const std::string& schemaName) const
{
    return SameTextAscii(schemaName, "main") ? mainName : schemaName;
}

DbError DbConnection::Impl::busyError()
{
    std::vector<std::pair<std::string, std::string>> schemas{{"main", mainFile}};
    schemas.insert(schemas.end(), attached.begin(), attached.end());
    for (const auto& [name, file] : schemas)
        if (guards.schemaIsLocked(name))
            return guards.lockError(displayName(name), name, file);
    return guards.lockError({}, {}, {});
}

void DbConnection::Impl::refreshLock()
{
    guards.refreshLock([this](const std::string& schemaName) {
        return SameTextAscii(schemaName, "main") || isAttachedName(schemaName);
    });
}

// --- Connection ----------------------------------------------------------------------

void DbConnection::Impl::flushCache()
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

void DbConnection::Impl::close()
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

DbErrorKind DbConnection::Impl::errorKind() const
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

void DbConnection::Impl::exec(const std::string& sql)
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

void DbConnection::Impl::invalidateSchema()
{
    schemaValid = false;
    schemaColumns.clear();
}

DbConnection::Impl::SchemaColumns DbConnection::Impl::readSchema(const std::string& sch)
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

void DbConnection::Impl::loadSchema()
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

bool DbConnection::Impl::isAttachedName(std::string_view name) const
{
    for (const auto& a : attached)
        if (SameTextAscii(a.first, name))
            return true;
    return false;
}

const SqlSchemaInfo& DbConnection::Impl::schemaInfo()
{
    if (pg)
        return pg->schemaInfo();
    if (!schemaValid)
        loadSchema();
    return schema;
}

DbConnection::Impl::Lease::~Lease()
{
    if (entry) {
        sqlite3_reset(entry->stmt);
        sqlite3_clear_bindings(entry->stmt);
        entry->inUse = false;
    } else if (own.stmt) {
        sqlite3_finalize(own.stmt);
    }
}

void DbConnection::Impl::prepare(std::string_view sql, CachedStatement& c)
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

void DbConnection::Impl::acquire(std::string_view sql, DbAccess access, Lease& lease)
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

bool DbConnection::Impl::sameParam(std::string_view given, std::string_view name)
{
    if (!given.empty() && given[0] == ':')
        given.remove_prefix(1);
    return SameTextAscii(given, name);
}

void DbConnection::Impl::bind(CachedStatement& c, const DbParams& params, std::string_view sql)
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

void DbConnection::Impl::checkAccess(const CachedStatement& c, DbAccess access, std::string_view sql) const
{
    // The authorizer has refused every action but reading; the engine's own verdict
    // stands behind it.
    if (access == DbAccess::QueryOnly && !sqlite3_stmt_readonly(c.stmt))
        throw DbError("Only a query that reads may be run here [" + SqlAbbreviated(sql) + "]", DbErrorKind::Refused);
}

std::size_t DbConnection::Impl::run(std::string_view sql, const DbParams& params, DbAccess access,
                                     const std::function<bool(std::vector<Variant>&)>* row,
                                     std::vector<std::string>* names, std::int64_t* changes)
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
