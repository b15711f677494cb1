#pragma once
// Database connection for the server and the library's own database work, with a
// dialect adapter: the suite's SQL texts are written for SQL Server and run unchanged.
//
// SQLite (through its C API) is the embedded default. The adapter works on tokens, so
// quoted text, quoted names and comments are never rewritten:
//   db..table, db.dbo.table    -> "db".table (company databases are attached under their
//                                 name; the main database also answers to its own name)
//   [name]                     -> "name";  N'text' -> 'text'
//   ISNULL(a, b)               -> ifnull(a, b)  (ISNULL is an operator in SQLite)
//   CONVERT(type, x [, style]) -> convert('type', x [, style])  (a registered function;
//                                 CHAR(n) pads, VARCHAR(n) cuts, dates take styles 112 ...)
//   CAST(x AS type)            -> convert('type', x): CHAR(n) pads, decimals round, and
//                                 a text that is no number is an error, not 0
//   a + b                      -> a || b when both operands are text columns of the
//                                 schema or text literals (SQLite would add them as numbers)
//   :NAME                      -> a placeholder; every one must get a value
// and registered functions GETDATE() (local time), ROUND(x, n [, f]) as SQL Server rounds
// (half away from zero, negative n), UPPER/LOWER beyond ASCII, LEN.
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
// A PostgreSQL connection is meant to sit behind the same class (Provider=PostgreSQL);
// this build refuses it.

#include "platform/Exception.h"
#include "platform/Variant.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class DbDialect { SQLite, PostgreSQL };

// What a statement ran into, for callers that answer some failures in words of their own.
enum class DbFailure {
    Other,
    Busy,        // another connection held a lock longer than the busy time
    TimeLimit,   // the statement ran longer than its time limit
    RowLimit,    // the answer had more rows than allowed
    ByteLimit,   // the answer, or one value, was larger than allowed
    MemoryLimit, // the statement needed more working memory than allowed
    Refused,     // a query-only statement would do more than read
};

class DbError : public Exception {
public:
    explicit DbError(const std::string& message, DbFailure failure = DbFailure::Other, std::string database = {});
    ~DbError() override;
    DbFailure failure() const { return failure_; }
    // The busy database, as the statement names it; empty when it could not be told.
    const std::string& database() const { return database_; }

private:
    DbFailure failure_;
    std::string database_;
};

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
    std::int64_t memory = 0;     // growth of the engine's memory while the statement runs
};

struct DbRowSet {
    std::vector<std::string> columns;
    std::vector<std::vector<Variant>> rows;

    // Index of a column by name without regard to case; -1 when there is none.
    int columnIndex(std::string_view name) const;
    bool empty() const { return rows.empty(); }
};

// What the adapter must know of the schema.
struct SqlSchemaInfo {
    // Upper-case names of the columns that hold text in every table that has them.
    std::set<std::string, std::less<>> textColumns;
    // Upper-case database names that stand for a schema of another name ("QVSYS" -> "main").
    std::vector<std::pair<std::string, std::string>> databaseAliases;

    bool isTextColumn(std::string_view name) const;
};

struct SqlTranslation {
    std::string text;                // the statement for the connection's engine
    std::vector<std::string> params; // placeholder names, upper case, first use first
    std::vector<int> dateColumns;    // result columns that are date-time expressions
    bool multipleStatements = false; // something follows the first statement's ";"
};

// Translates a text of the SQL Server dialect (DbError for unterminated quotes and for
// a "$$" prefix left unresolved).
SqlTranslation TranslateSql(std::string_view sql, const SqlSchemaInfo& schema,
                            DbDialect dialect = DbDialect::SQLite);

// The database names of db..table and db.dbo.table references, as written, first use first.
std::vector<std::string> QualifyingDatabaseNames(std::string_view sql);

// Every "$$" outside quoted text and comments becomes databaseName followed by "..".
std::string ResolveTablePrefix(std::string_view sql, std::string_view databaseName);
// Whether the text has a "$$" outside quoted text and comments.
bool HasTablePrefix(std::string_view sql);

// A text literal: the text in single quotes with inner single quotes doubled.
std::string SqlQuote(std::string_view text);

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

    // Opens a database file as main; create = false refuses a file that does not exist.
    void openSqlite(const std::string& file, bool create = false);
    // Attaches a database file under a name (letters, digits, "_").
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

    // Runs one statement and collects its rows. Values: Null, Int (Int64 beyond 32 bits
    // or for BIGINT columns), Double (also for NUMERIC and DECIMAL columns), String, and
    // Date for DATETIME columns and GETDATE() results.
    DbRowSet query(std::string_view sql, const DbParams& params = {}, DbAccess access = DbAccess::ReadWrite);
    // Calls row for every row until it answers false; answers the number of rows seen.
    // columns, when given, receives the result's column names before the first row.
    std::size_t forEachRow(std::string_view sql, const DbParams& params,
                           const std::function<bool(const std::vector<Variant>&)>& row,
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
    explicit DbTransaction(DbConnection& conn);
    ~DbTransaction();
    DbTransaction(const DbTransaction&) = delete;
    DbTransaction& operator=(const DbTransaction&) = delete;
    void commit();

private:
    DbConnection& conn_;
    bool done_ = false;
};
