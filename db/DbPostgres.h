#pragma once
// The PostgreSQL connection behind DbConnection (Provider=PostgreSQL), through libpq.
//
// One database of the server holds the suite's databases as schemas: the main one (the
// system database) is first on the search path, a company database "DEMO" is the schema
// "demo", reached as DEMO..table. Texts go through the PostgreSQL dialect adapter
// (PgDialect.h); values are always bound, never pasted into the text. Statements are
// prepared once per connection.
//
// A statement inside a transaction runs under a savepoint, so that a failed statement
// (a key collision a caller retries) leaves the transaction usable, as SQLite does. A
// write transaction takes one lock of the database at its start: writers follow one
// another as on SQLite, so that "next number, then insert" cannot interleave.
//
// When the server goes away the call fails with DbErrorKind::ConnectionLost and a message
// saying so (what the call's transaction had written is gone with it); the next call
// connects again and tells the reconnect report.

#include "db/Db.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

using PgLogin = DbServerLogin;

class PgConnection {
public:
    // Connects (DbError when the server cannot be reached or refuses the login).
    explicit PgConnection(PgLogin login);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    using RowFn = std::function<bool(std::vector<Variant>&)>;
    std::size_t run(std::string_view sql, const DbParams& params, DbAccess access, const RowFn* row,
                    std::vector<std::string>* names, std::int64_t* changes);
    void executeScript(std::string_view script);
    SqlTranslation translate(std::string_view sql);
    const SqlSchemaInfo& schemaInfo();

    // Another database of the server under a name (its schema must exist).
    void attach(std::string_view name, std::string_view schema, bool create);
    void detach(std::string_view name);
    bool isAttached(std::string_view name) const;
    bool schemaExists(std::string_view schema);
    std::string connectString() const;
    const PgLogin& login() const;

    void setBusyTimeout(int ms);
    void setQueryLimits(const DbQueryLimits& limits);
    void setReconnectReport(std::function<void(const std::string&)> report);

    void begin(bool write);
    void commit();
    void rollback();
    bool inTransaction() const;
    std::size_t cachedStatements() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
