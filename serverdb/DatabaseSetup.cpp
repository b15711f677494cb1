#include "serverdb/DatabaseSetup.h"

#include "db/PgDialect.h"
#include "serverdb/Schema.h"
#include "serverdb/ServerDatabase.h"

#include <filesystem>
#include <memory>

void CheckDatabaseNames(const std::string& systemDatabase, const std::string& companyDatabase)
{
    if (!ServerDatabase::isValidDatabaseName(systemDatabase) || !ServerDatabase::isValidDatabaseName(companyDatabase))
        throw DbError("Database names are letters, digits and _ only");
    if (PgSchemaName(systemDatabase) == PgSchemaName(companyDatabase))
        throw DbError("The system and the company database need different names");
}

DatabaseFiles CreateDatabaseFiles(const std::string& folder, const DatabasePair& pair, bool replace)
{
    namespace fs = std::filesystem;
    CheckDatabaseNames(pair.systemDatabase, pair.companyDatabase);
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
        throw DbError("Cannot create the folder " + folder + ": " + ec.message());

    DatabaseFiles files{(fs::path(folder) / (pair.systemDatabase + ".db")).string(),
                        (fs::path(folder) / (pair.companyDatabase + ".db")).string()};
    if (!replace)
        for (const std::string& f : {files.systemFile, files.companyFile})
            if (fs::exists(f))
                throw DbError("The database " + f + " exists already (replace it with --replace)");

    const std::string newSystem = files.systemFile + ".new";
    const std::string newCompany = files.companyFile + ".new";
    auto cleanUp = [&] {
        fs::remove(newSystem, ec);
        fs::remove(newCompany, ec);
    };
    cleanUp();
    try {
        {
            DbConnection sys;
            sys.openSqlite(newSystem, true);
            CreateSchema(sys, "system");
            if (pair.fillSystem)
                pair.fillSystem(sys);
        }
        {
            DbConnection company;
            company.openSqlite(newCompany, true);
            CreateSchema(company, "company");
            if (pair.fillCompany)
                pair.fillCompany(company);
        }
        fs::rename(newSystem, files.systemFile);
        fs::rename(newCompany, files.companyFile);
    } catch (const fs::filesystem_error& e) {
        cleanUp();
        throw DbError(std::string("Cannot put the databases in place: ") + e.what());
    } catch (...) {
        cleanUp();
        throw;
    }
    return files;
}

bool DatabaseSchemasExist(const DbServerLogin& server, const std::string& systemDatabase,
                          const std::string& companyDatabase)
{
    DbConnection conn;
    DbServerLogin login = server;
    login.schema = "public";
    login.name.clear();
    login.createSchema = false;
    conn.openPostgres(login);
    return conn.hasDatabase(PgSchemaName(systemDatabase)) && conn.hasDatabase(PgSchemaName(companyDatabase));
}

void CreateDatabaseSchemas(const DbServerLogin& server, const DatabasePair& pair, bool replace)
{
    CheckDatabaseNames(pair.systemDatabase, pair.companyDatabase);
    const std::string system = PgSchemaName(pair.systemDatabase);
    const std::string company = PgSchemaName(pair.companyDatabase);
    const std::string newSystem = system + "_new";
    const std::string newCompany = company + "_new";

    auto open = [&](const std::string& schema, const std::string& name) {
        auto conn = std::make_unique<DbConnection>();
        DbServerLogin login = server;
        login.schema = schema;
        login.name = name;
        login.createSchema = true;
        conn->openPostgres(login);
        return conn;
    };
    auto sys = open(newSystem, pair.systemDatabase);
    if (!replace)
        for (const std::string& s : {system, company})
            if (sys->hasDatabase(s))
                throw DbError("The schema " + s + " exists already in " + server.database + " (replace it with --replace)");
    auto fresh = [](DbConnection& conn, const std::string& schema) {
        conn.executeScript("DROP SCHEMA IF EXISTS " + SqlQuoteName(schema) + " CASCADE; CREATE SCHEMA "
                           + SqlQuoteName(schema));
    };
    try {
        fresh(*sys, newSystem);
        CreateSchema(*sys, "system");
        if (pair.fillSystem)
            pair.fillSystem(*sys);
        auto co = open(newCompany, pair.companyDatabase);
        fresh(*co, newCompany);
        CreateSchema(*co, "company");
        if (pair.fillCompany)
            pair.fillCompany(*co);
        co.reset();
        sys->executeScript("DROP SCHEMA IF EXISTS " + SqlQuoteName(system) + " CASCADE; DROP SCHEMA IF EXISTS "
                           + SqlQuoteName(company) + " CASCADE; ALTER SCHEMA " + SqlQuoteName(newSystem)
                           + " RENAME TO " + SqlQuoteName(system) + "; ALTER SCHEMA " + SqlQuoteName(newCompany)
                           + " RENAME TO " + SqlQuoteName(company));
    } catch (...) {
        try {
            sys->executeScript("DROP SCHEMA IF EXISTS " + SqlQuoteName(newSystem) + " CASCADE; DROP SCHEMA IF EXISTS "
                               + SqlQuoteName(newCompany) + " CASCADE");
        } catch (...) {
            // What is left carries the _new names and is replaced by the next run.
        }
        throw;
    }
}
