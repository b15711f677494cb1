#pragma once
// The PostgreSQL server of the tests. QV_PG_CONNECT names it, as tests/pg/cluster.sh
// writes it ("Host=..;Port=..;Database=..;User=.."); without it the PostgreSQL cases are
// skipped with a message, so that the suite also passes on a machine without a server.
//
// Every test takes schemas with names no other test (or test process) uses, and drops
// them at its end.

#include "db/Db.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

enum class TestDb { SQLite, PostgreSQL };

inline std::string TestDbName(const ::testing::TestParamInfo<TestDb>& info)
{
    return info.param == TestDb::SQLite ? "SQLite" : "PostgreSQL";
}

inline std::string PgConnectBase()
{
    const char* v = std::getenv("QV_PG_CONNECT");
    return v ? v : "";
}

#define QV_SKIP_WITHOUT_PG()                                                                                          \
    do {                                                                                                               \
        if (PgConnectBase().empty())                                                                                   \
            GTEST_SKIP() << "QV_PG_CONNECT is not set: no PostgreSQL server for this case "                            \
                            "(start one with tests/pg/cluster.sh start)";                                              \
    } while (0)

// QV_PG_CONNECT as a login (schema left empty).
inline DbServerLogin PgTestLogin(const std::string& database = {})
{
    DbServerLogin login;
    const std::string base = PgConnectBase();
    std::size_t i = 0;
    while (i < base.size()) {
        std::size_t end = base.find(';', i);
        if (end == std::string::npos)
            end = base.size();
        const std::string part = base.substr(i, end - i);
        i = end + 1;
        const std::size_t eq = part.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = part.substr(0, eq);
        for (char& c : key)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        const std::string value = part.substr(eq + 1);
        if (key == "host")
            login.host = value;
        else if (key == "port")
            login.port = value;
        else if (key == "database")
            login.database = value;
        else if (key == "user")
            login.user = value;
        else if (key == "password")
            login.password = value;
    }
    if (!database.empty())
        login.database = database;
    return login;
}

// A database of the server for one test, where the suite's databases keep their own
// names (schemas qvsys, demo); dropped at the end, whoever is still connected.
class PgTestDatabase {
public:
    PgTestDatabase() : name_("qvt" + std::to_string(::getpid()) + "_" + std::to_string(counter_++))
    {
        DbConnection admin;
        admin.open(PgTestSchemas_admin());
        admin.executeScript("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
        admin.executeScript("CREATE DATABASE " + name_);
    }
    ~PgTestDatabase()
    {
        try {
            DbConnection admin;
            admin.open(PgTestSchemas_admin());
            admin.executeScript("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
        } catch (...) {
            // The cluster is thrown away at the end of the run.
        }
    }
    PgTestDatabase(const PgTestDatabase&) = delete;
    PgTestDatabase& operator=(const PgTestDatabase&) = delete;

    const std::string& name() const { return name_; }
    DbServerLogin login(const std::string& database, bool create = false) const
    {
        DbServerLogin l = PgTestLogin(name_);
        for (char c : database)
            l.schema += char(std::tolower(static_cast<unsigned char>(c)));
        l.name = database;
        l.createSchema = create;
        return l;
    }

private:
    static std::string PgTestSchemas_admin() { return "Provider=PostgreSQL;" + PgConnectBase() + ";Schema=public"; }
    std::string name_;
    static inline int counter_ = 0;
};

class PgTestSchemas {
public:
    PgTestSchemas() : prefix_("t" + std::to_string(::getpid()) + "_" + std::to_string(counter_++) + "_") {}
    ~PgTestSchemas()
    {
        if (made_.empty())
            return;
        try {
            DbConnection admin;
            admin.open(adminConnect());
            for (const std::string& s : made_)
                admin.execute("DROP SCHEMA IF EXISTS " + SqlQuoteName(s) + " CASCADE");
        } catch (...) {
            // The cluster is thrown away at the end of the run.
        }
    }
    PgTestSchemas(const PgTestSchemas&) = delete;
    PgTestSchemas& operator=(const PgTestSchemas&) = delete;

    // The schema that stands for a database of the suite, made when first asked for.
    std::string schema(const std::string& database)
    {
        std::string s = prefix_;
        for (char c : database)
            s += char(std::tolower(static_cast<unsigned char>(c)));
        for (const std::string& m : made_)
            if (m == s)
                return s;
        DbConnection admin;
        admin.open(adminConnect());
        admin.execute("CREATE SCHEMA IF NOT EXISTS " + SqlQuoteName(s));
        made_.push_back(s);
        return s;
    }

    // The connection string of a main database with others attached under their names.
    std::string connect(const std::string& mainDb, const std::vector<std::string>& attached = {})
    {
        std::string c = "Provider=PostgreSQL;" + PgConnectBase() + ";Schema=" + schema(mainDb) + ";Name=" + mainDb;
        for (const std::string& a : attached)
            c += ";Attach " + a + "=" + schema(a);
        return c;
    }

    static std::string adminConnect() { return "Provider=PostgreSQL;" + PgConnectBase() + ";Schema=public"; }

private:
    std::string prefix_;
    std::vector<std::string> made_;
    static inline int counter_ = 0;
};
