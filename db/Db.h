#pragma once
// Database connection for the server and the library's own database work. The suite's
// SQL texts are written for SQL Server and run unchanged through the dialect adapter
// (SqlDialect.h) and the server's functions (SqlFunctions.h); SQLite, through its C API,
// is the embedded default.
//
// One statement per call: text after a closing ";" is refused, so a value pasted into a
// text can never start a second statement. Statements are prepared once and kept in a
// per-connection cache. A connection belongs to one thread at a time.
//
// Text from outside runs as DbAccess::QueryOnly: the engine's authorizer lets only reads
// through (no ATTACH, PRAGMA, transactions, load_extension or fts3_tokenizer), and the
// connection's query limits bound its running time, memory and answer. A lock that
// another connection holds is waited for at most the busy time; a lock that has already
// outlasted a full wait is waited for only briefly by the statements after it, until it
// is gone, so that one held lock does not cost every statement the whole busy time.
//
// A PostgreSQL server sits behind the same class (Provider=PostgreSQL, DbPostgres.h): each
// database of the suite is a schema of one server database; db..table and "$$" reach it.

#include "db/DbError.h"
#include "db/SqlDialect.h"
#include "platform/Variant.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Values for the placeholders, by name (with or without the leading ':'; no regard to case).
using DbParams = std::vector<std::pair<std::string, Variant>>;

enum class DbAccess {
    ReadWrite,
    // Only a statement that reads: the authorizer refuses everything else when it is
    // prepared, and the connection's query limits bound it while it runs.
    QueryOnly,
};

// Bounds of every DbAccess::QueryOnly statement of a connection; 0 leaves one unbounded.
struct DbQueryLimits {
    int timeMs = 0;              // running time, from the first step to the last row
    std::int64_t rows = 0;       // rows of the answer
    std::int64_t bytes = 0;      // size of the answer: each value's bytes and its slot; also
                                 // the largest text or blob the statement may make
    std::int64_t memory = 0;     // growth of the engine's memory while the statement runs (the
                                 // engine counts for the process: statements that other
                                 // threads run at the same time count too)
};

struct DbRowSet {
    std::vector<std::string> columns;
    std::vector<std::vector<Variant>> rows;

    // Index of a column by name without regard to case; -1 when there is none.
    int columnIndex(std::string_view name) const;
    bool empty() const { return rows.empty(); }
};

// A PostgreSQL server's database and the schema that is the connection's main database.
struct DbServerLogin {
    std::string host = "127.0.0.1";
    std::string port = "5432";
    std::string database;
    std::string user;
    std::string password;
    std::string schema;          // the main database's schema
    std::string name;            // the name it answers to in db..table (default: the schema)
    int connectTimeoutS = 10;
    bool createSchema = false;   // make the main schema when it is missing
    // The server's collation that LIKE compares by (empty: the database's own); one the
    // server does not have, or cannot match patterns by, fails the connection.
    std::string likeCollation;
};

class PgConnection;

// How often a call of this thread found its database server gone (a connection lost, or
// one that could not be made again): a job's runner compares it before and after a run.
std::uint64_t DbServerLossCount();

class DbConnection {
public:
    DbConnection();
    ~DbConnection();
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;

    // "Provider=SQLite;Data Source=<file>;Attach <NAME>=<file>;..." (keys without regard
    // to case; a value may stand in double quotes, inner ones doubled). Optional
    // "Name=<name>" gives the main database the name it answers to in db..table (default:
    // the file name without extension); optional "Busy Timeout=<ms>" the busy time.
    void open(std::string_view connectString);
    static std::string sqliteConnectString(const std::string& mainFile,
                                           const std::vector<std::pair<std::string, std::string>>& attached = {},
                                           int busyTimeoutMs = 0);

    // "Provider=PostgreSQL;Host=..;Port=..;Database=..;User=..;Password=..;Schema=<main>;
    // Attach <NAME>=<schema>;Connect Timeout=<s>;Like Collation=<name>" opens a PostgreSQL
    // server's database.
    static std::string postgresConnectString(const DbServerLogin& login,
                                             const std::vector<std::pair<std::string, std::string>>& attached = {},
                                             int busyTimeoutMs = 0);
    void openPostgres(const DbServerLogin& login);
    // Whether a database of that name exists: for SQLite the main or an attached one, for
    // PostgreSQL a schema of the server's database.
    bool hasDatabase(std::string_view name);

    // Opens a database file as main; create = false refuses a file that does not exist.
    // readOnly opens it, and every database attached later, for reading alone: a reader
    // needs no write access, also to a database with a write-ahead log (one nobody has
    // open for writing, in a folder the reader may not write, is read as it stands).
    void openSqlite(const std::string& file, bool create = false, bool readOnly = false);
    // Attaches a database file under a name (letters, digits, "_"); on PostgreSQL the file
    // is the schema (create = true makes it).
    void attach(std::string_view name, const std::string& file, bool create = false);
    void detach(std::string_view name);
    bool isAttached(std::string_view name) const;
    void close();
    bool isOpen() const;
    DbDialect dialect() const;
    // Main file and attached databases as a connection string.
    std::string connectString() const;

    // How long a statement waits for a lock another connection holds (default 5000 ms).
    void setBusyTimeout(int ms);
    int busyTimeout() const;
    void setQueryLimits(const DbQueryLimits& limits);
    const DbQueryLimits& queryLimits() const;
    // Told when the open connection to a database server, lost, is made again (PostgreSQL).
    void setReconnectReport(std::function<void(const std::string&)> report);

    // Runs one statement and collects its rows. Values: Null, Int (Int64 beyond 32 bits
    // or for BIGINT columns), Double (also for NUMERIC and DECIMAL columns), String (also
    // the exact text of DECIMAL_TEXT columns, for dataset/Decimal), and Date for DATETIME
    // columns and GETDATE() results.
    DbRowSet query(std::string_view sql, const DbParams& params = {}, DbAccess access = DbAccess::ReadWrite);
    // Calls row for every row until it answers false; answers the number of rows seen.
    // The row's values may be moved from. columns, when given, receives the result's
    // column names before the first row.
    std::size_t forEachRow(std::string_view sql, const DbParams& params,
                           const std::function<bool(std::vector<Variant>&)>& row,
                           DbAccess access = DbAccess::ReadWrite, std::vector<std::string>* columns = nullptr);
    // First value of the first row; Empty when there is no row.
    Variant scalar(std::string_view sql, const DbParams& params = {});
    // Runs one statement; answers the number of rows it changed.
    std::int64_t execute(std::string_view sql, const DbParams& params = {});
    // Runs several statements without parameters (schema scripts), all or none.
    void executeScript(std::string_view script);

    // The statement as this connection runs it.
    SqlTranslation translate(std::string_view sql);
    const SqlSchemaInfo& schemaInfo();

    void begin();
    // A transaction that holds the write lock from its start, so that a read followed by
    // a write (next number, then insert) cannot interleave with another writer's.
    void beginWrite();
    void commit();
    void rollback();
    bool inTransaction() const;

    std::size_t cachedStatements() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// A transaction that rolls back unless committed.
class DbTransaction {
public:
    enum Mode { Deferred, Write };
    explicit DbTransaction(DbConnection& conn, Mode mode = Deferred);
    ~DbTransaction();
    DbTransaction(const DbTransaction&) = delete;
    DbTransaction& operator=(const DbTransaction&) = delete;
    void commit();

private:
    DbConnection& conn_;
    bool done_ = false;
};
