#pragma once
// The PostgreSQL server of the tests. QV_PG_CONNECT names it, as tests/pg/cluster.sh
// writes it ("Host=..;Port=..;Database=..;User=.."); without it the PostgreSQL cases are
// skipped with a message, so that the suite also passes on a machine without a server.
//
// Every test takes schemas with names no other test (or test process) uses, and drops
// them at its end.

#include "platform/Db.h"

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
