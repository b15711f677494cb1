#include "db/Db.h"
#include "platform/AsciiText.h"
#include "db/DbConnectString.h"
#include "db/DbGuards.h"
#include "db/DbPostgres.h"
#include "db/DbSqlite.h"
#include "db/SqlFunctions.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstring>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <limits>

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

