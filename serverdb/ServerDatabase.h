#pragma once
// The application server's database: the system database as the main database of one
// connection, each company database attached under its name when first used.

#include "db/Db.h"

#include <memory>
#include <string>
#include <vector>

struct ServerDbSettings {
    std::string dbType = "SQLITE";   // "DBE Setting" MainDBType: SQLITE or POSTGRESQL
    std::string folder;              // MainServerName, resolved against the server path
    std::string systemDb = "QVSYS";  // MainDBName
    // POSTGRESQL: the server (MainServerName "host[:port]", MainServerPort), its database
    // (PostgresDatabase, default the system database's name in lower case), MainUserName
    // and the password (XXXXXX, stored as the ini's passwords are). The system database
    // and each company database are schemas of that database. LikeCollation names the
    // server's collation that LIKE compares by ("C", "und-x-icu"; empty: the database's
    // own); the SQL Server collation names of DataBaseCodeOrder mean nothing to it.
    DbServerLogin server;
    std::string error;               // why the configuration could not be read
    // Folders of the jobs' server libraries ([WorkDLLPath]; the server folder's S_PKG/
    // when none is listed).
    std::vector<std::string> libraryFolders;
    int dbCodePage = 936;            // [CodePage] DBCodePage: the texts a server library gets
    int busyTimeoutMs = 5000;        // BusyTimeOut
    int jobTimeLimitSeconds = 0;     // JobTimeLimit (0: none)
    // QueryTimeOut, QueryMaxRows, QueryMaxBytes, QueryMaxMemory: bounds of SimpleSQL.
    DbQueryLimits limits{30000, 100000, 64 * 1024 * 1024, 256 * 1024 * 1024};
    // Opened for reading alone (the queue's listings): no write access is needed.
    bool readOnly = false;
};

class ServerDatabase {
public:
    explicit ServerDatabase(ServerDbSettings settings);
    ~ServerDatabase();

    // The settings the server configuration (BriskoS.ini, "DBE Setting") gives.
    static ServerDbSettings fromConfiguration();
    // Letters, digits and "_", at most 30 characters: a name that cannot leave the folder.
    static bool isValidDatabaseName(std::string_view name);

    const ServerDbSettings& settings() const { return settings_; }
    DbDialect dialect() const;
    bool isPostgres() const;
    // The login of a database of the PostgreSQL server (its schema as the main database).
    DbServerLogin serverLogin(std::string_view databaseName) const;
    // Whether the system or a company database of that name exists.
    bool databaseExists(std::string_view databaseName);
    // A connection of its own whose main database is the named one (for reading alone with
    // readOnly settings).
    std::unique_ptr<DbConnection> openDatabase(std::string_view databaseName) const;
    // File of a database in the folder (DbError for an invalid name). Names compare without
    // regard to case, as the suite's database server compares them: "demo" is DEMO.db; a
    // name that fits several files is refused.
    std::string filePath(std::string_view databaseName) const;

    // The connection, opened on first use (DbError when the configuration is unusable).
    DbConnection& connection();
    // Attaches the company database unless it is already there; DbError when it does not
    // exist or another program keeps it locked.
    void useCompanyDatabase(std::string_view databaseName);
    // DbError unless the database is the system database or a company database that exists.
    void requireDatabase(std::string_view databaseName);
    // Database name of a company (ADMMC), empty when the company is unknown.
    std::string companyDatabase(std::string_view companyCode);
    // Every company database ADMMC names and, on PostgreSQL, every schema of the server's
    // database: what a statement could reach by name.
    std::vector<std::string> knownDatabases();
    // Connection string of the system database with the company database attached; on
    // PostgreSQL without the password.
    std::string connectString(std::string_view companyDatabase);

private:
    void checkUsable() const;

    ServerDbSettings settings_;
    std::unique_ptr<DbConnection> conn_;
};
