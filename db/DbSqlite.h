#pragma once
// The inside of DbConnection, for Db.cpp: the SQLite connection with its cache of prepared
// statements, the schema it has read, its locks and the stepping of a statement. When a
// PostgreSQL server is open, pg takes the statements instead.

#include "db/Db.h"
#include "db/DbGuards.h"

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

struct DbConnection::Impl {
    struct CachedStatement {
        std::string key;
        sqlite3_stmt* stmt = nullptr;
        SqlTranslation meta;
        std::string keyword;
        bool inUse = false;
    };

    // The columns of one schema: upper-case name -> (seen as text, seen as something else).
    using SchemaColumns = std::map<std::string, std::pair<bool, bool>>;

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

    ~Impl();

    void requireOpen() const;

    // Why the system refused a read or write ("disk I/O error" alone does not say that the
    // disk is full or the file may not grow).
    std::string osReason() const;

    [[noreturn]] void fail(const std::string& what, std::string_view sql = {}) const;

    // --- Locks -----------------------------------------------------------------------------

    std::string displayName(const std::string& schemaName) const;

    // After a statement gave up waiting: which of the connection's databases is locked.
    DbError busyError();

    void refreshLock();

    static bool isBusy(int rc) { return DbGuards::isBusy(rc); }

    // --- Connection ----------------------------------------------------------------------

    void flushCache();

    void close();

    DbErrorKind errorKind() const;

    void exec(const std::string& sql);

    // Tables may have changed: every schema is read again.
    void invalidateSchema();

    // A database came or went: the others are still known.
    void schemasChanged() { schemaValid = false; }

    SchemaColumns readSchema(const std::string& sch);

    void loadSchema();

    bool isAttachedName(std::string_view name) const;

    const SqlSchemaInfo& schemaInfo();

    // A prepared statement for sql: from the cache, or prepared and cached. A statement
    // that is being stepped already (a query inside a row callback) gets a fresh copy.
    struct Lease {
        Impl* owner = nullptr;
        CachedStatement* entry = nullptr;
        CachedStatement own;
        CachedStatement& get() { return entry ? *entry : own; }
        ~Lease();
    };

    void prepare(std::string_view sql, CachedStatement& c);

    void acquire(std::string_view sql, DbAccess access, Lease& lease);

    static bool sameParam(std::string_view given, std::string_view name);

    void bind(CachedStatement& c, const DbParams& params, std::string_view sql);

    void checkAccess(const CachedStatement& c, DbAccess access, std::string_view sql) const;

    // Steps the statement; row is called with the values of every row.
    std::size_t run(std::string_view sql, const DbParams& params, DbAccess access,
                    const std::function<bool(std::vector<Variant>&)>* row, std::vector<std::string>* names,
                    std::int64_t* changes);
};
