#pragma once
// Makes the two databases a server serves, the system database and one company database,
// as SQLite files of a folder or as schemas of a PostgreSQL database: each with its schema
// (Schema.sql) and what the caller fills in. Nothing half-made is ever left under the
// real names: the new databases are built under other names and put in place when
// complete.

#include "db/Db.h"

#include <functional>
#include <string>

struct DatabasePair {
    std::string systemDatabase;
    std::string companyDatabase;
    // Called on each new database, inside no transaction of the caller's, after its schema.
    std::function<void(DbConnection&)> fillSystem;
    std::function<void(DbConnection&)> fillCompany;
};

struct DatabaseFiles {
    std::string systemFile;
    std::string companyFile;
};

// <folder>/<system>.db and <folder>/<company>.db, the folder made when missing. Existing
// files are kept (DbError naming them) unless replace is set.
DatabaseFiles CreateDatabaseFiles(const std::string& folder, const DatabasePair& pair, bool replace);
// The schemas <system> and <company> (in lower case) of the login's database. Existing
// schemas are kept (DbError) unless replace is set; the new ones are put in place in one
// transaction.
void CreateDatabaseSchemas(const DbServerLogin& server, const DatabasePair& pair, bool replace);
// Whether the schemas of both databases are there already.
bool DatabaseSchemasExist(const DbServerLogin& server, const std::string& systemDatabase,
                          const std::string& companyDatabase);
// The names are letters, digits and "_" and differ from each other; DbError otherwise.
void CheckDatabaseNames(const std::string& systemDatabase, const std::string& companyDatabase);
