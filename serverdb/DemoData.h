#pragma once
// Deterministic demo data: the same options give the same rows, whatever the machine or
// the day it runs on.

#include "db/Db.h"

#include <cstdint>
#include <string>

struct DemoOptions {
    int documents = 300;              // payables, other payables and prepayments together
    std::uint64_t seed = 1;
    std::string companyCode = "01";
    std::string companyDatabase = "DEMO";
    std::string systemDatabase = "QVSYS";
    std::string lastDate = "20240630"; // newest document date; the year before it is covered
};

// Companies, settings, users and rights, programs, portal settings.
void FillSystemDemoData(DbConnection& system, const DemoOptions& options);
// Currencies, suppliers, document types, departments, employees, documents of all three
// kinds in every state, a write-off batch and the notification definitions of WOFB07.
void FillCompanyDemoData(DbConnection& company, const DemoOptions& options);

struct DemoFiles {
    std::string systemFile;
    std::string companyFile;
};

// Creates <folder>/<system>.db and <folder>/<company>.db with the schema and the demo
// data. Existing files are kept (DbError) unless replace is set; the new files are built
// beside them and put in place only when complete.
DemoFiles CreateDemoDatabases(const std::string& folder, const DemoOptions& options, bool replace);

// The same on a PostgreSQL server: the schemas <system> and <company> (in lower case) of
// the login's database. Existing schemas are kept (DbError) unless replace is set; the
// new ones are built under other names and put in place in one transaction.
void CreateDemoSchemas(const DbServerLogin& server, const DemoOptions& options, bool replace);
// Whether both schemas of CreateDemoSchemas are there already.
bool DemoSchemasExist(const DbServerLogin& server, const DemoOptions& options);
