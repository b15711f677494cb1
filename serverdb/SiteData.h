#pragma once
// What a site's system database starts with: its company, that company's settings, the
// write-off program and the first administrator, a super user with every right of WOFB07.
// Everything else (suppliers, documents) comes from the site's own work.

#include "db/Db.h"

#include <string>

struct SiteCompany {
    std::string code;     // ADMMC: 1 to 10 letters, digits or "_"
    std::string name;     // 1 to 80 characters
    std::string database; // the company database's name
    std::string adminCode; // QVRMA: 1 to 10 letters, digits, "_", "-" or "."
    std::string adminName; // at most 40 characters; empty: the code
    // The first open month is January of this day's year, the year before is closed.
    double today = 0;
};

// Exception naming the first value the system database cannot hold as given.
void CheckSiteCompany(const SiteCompany& site);
// Fills a new system database (CreateSchema made its tables), in one transaction.
void FillSiteSystemData(DbConnection& system, const SiteCompany& site);
