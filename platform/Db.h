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

// What went wrong, where a caller may act on it (retry a collision, name a busy database).
enum class DbErrorKind { Other, UniqueViolation, Busy };

class DbError : public Exception {
public:
    explicit DbError(const std::string& message, DbErrorKind kind = DbErrorKind::Other)
        : Exception(message), kind_(kind) {}
    ~DbError() override;
    DbErrorKind kind() const { return kind_; }

private:
    DbErrorKind kind_;
};

// Values for the placeholders, by name (with or without the leading ':'; no regard to case).
using DbParams = std::vector<std::pair<std::string, Variant>>;

enum class DbAccess {
    ReadWrite,
    // Only a query (SELECT, WITH, VALUES) that changes nothing; anything else is refused.
    QueryOnly,
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
    // the file name without extension).
    void open(std::string_view connectString);
    static std::string sqliteConnectString(const std::string& mainFile,
                                           const std::vector<std::pair<std::string, std::string>>& attached = {});

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
