// SimpleSQL as a hostile or unlucky caller meets it: endless and huge queries end within
// the server's bounds with a reason, functions that reach past the data are refused,
// database names match without regard to case, and a lock another program holds costs
// at most the busy time, names the database and leaves the other database usable.

#include "DbLock.h"
#include "EnvGuard.h"
#include "ServerFixture.h"
#include "support/BriskoINI.h"

#include <chrono>
#include <fstream>

using namespace servertest;

namespace {

using Clock = std::chrono::steady_clock;

// Far above any bound these tests set: a call past it has hung.
constexpr auto kHung = std::chrono::seconds(15);

class ServerBounds : public ServerFixture {
protected:
    // A server with small bounds, so that every bound is met quickly.
    Variant makeServer(int busyMs = 300)
    {
        ServerDbSettings s = settings();
        s.busyTimeoutMs = busyMs;
        s.limits.timeMs = 500;
        s.limits.rows = 1000;
        s.limits.bytes = 256 * 1024;
        return Variant(DispatchPtr(std::make_shared<TdmReportCounter>(s, dsSession())));
    }

    static Variant simple(const Variant& server, const std::string& sql, const std::string& fields,
                          const std::string& database = "DEMO")
    {
        return server.call("SimpleSQL", {sql, fields, "01", database});
    }

    static std::string reason(const Variant& server) { return server.call("ErrorDescript").toString(); }

    static bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
};

std::string crossJoin(int tables)
{
    std::string from;
    for (int i = 0; i < tables; ++i)
        from += std::string(i ? ", " : "") + "$$CMSMQ t" + std::to_string(i);
    return from;
}

} // namespace

TEST_F(ServerBounds, EndlessQueriesEndWithTheirReasonAndTheServerGoesOn)
{
    const Variant server = makeServer();
    struct Case {
        std::string sql;
        const char* reason;
    };
    const std::string endless = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) ";
    const std::vector<Case> cases{
        {endless + "SELECT count(*) N FROM c", "QueryTimeOut in BriskoS.ini"},
        {"SELECT count(*) N FROM " + crossJoin(15), "QueryTimeOut in BriskoS.ini"},
        {endless + "SELECT x N FROM c", "QueryMaxRows in BriskoS.ini"},
        {"SELECT t0.MQ001 N FROM " + crossJoin(15), "QueryMaxRows in BriskoS.ini"},
        {"SELECT zeroblob(1000000000) N", "QueryMaxBytes in BriskoS.ini"},
        {"SELECT fts3_tokenizer('simple') N", "fts3_tokenizer"},
        {"SELECT load_extension('/tmp/x.so') N", "load_extension"},
        {"ATTACH DATABASE '" + dir.file("X.db") + "' AS X", "ATTACH"},
        {"PRAGMA writable_schema = 1", "PRAGMA"},
        {"SELECT sql N FROM sqlite_stmt", "sqlite_stmt"},
    };
    for (const Case& c : cases) {
        const auto start = Clock::now();
        EXPECT_TRUE(simple(server, c.sql, "").isEmpty()) << c.sql;
        EXPECT_LT(Clock::now() - start, kHung) << c.sql;
        EXPECT_TRUE(contains(reason(server), c.reason)) << c.sql << ": " << reason(server);
        // The next call is answered as if nothing had happened, and says so.
        const Variant next = simple(server, "SELECT MA002 FROM $$PURMA WHERE MA001 = 'S02'", "MA002");
        ASSERT_TRUE(next.isArray()) << "after " << c.sql;
        EXPECT_EQ(next[0][0].toString(), "乙五金");
        EXPECT_EQ(reason(server), "");
    }
    EXPECT_FALSE(fs::exists(dir.file("X.db")));
    EXPECT_EQ(count("CMSMQ"), 7);

    // A query without rows is no failure.
    EXPECT_TRUE(simple(server, "SELECT MA001 FROM $$PURMA WHERE 1 = 0", "MA001").isEmpty());
    EXPECT_EQ(reason(server), "");
}

TEST_F(ServerBounds, TheBoundsComeFromBriskoSIni)
{
    const fs::path serverDir = dir.path() / "server";
    fs::create_directories(serverDir / "data");
    fs::rename(dir.file("QVSYS.db"), serverDir / "data" / "QVSYS.db");
    fs::rename(dir.file("DEMO.db"), serverDir / "data" / "DEMO.db");
    std::ofstream(dir.file("registry.ini")) << "[Software\\QVR\\Brisko]\nServerPath=" << serverDir.string() << "/\n";
    EnvGuard registry;
    registry.set("QV_REGISTRY", dir.file("registry.ini"));
    const auto writeIni = [&](const std::string& bounds) {
        std::ofstream((serverDir / "BriskoS.ini").string(), std::ios::trunc)
            << "[DBE Setting]\nMainDBType=SQLITE\nMainServerName=data\nMainDBName=qvsys\n" << bounds;
    };

    writeIni("BusyTimeOut=250\nQueryTimeOut=400\nQueryMaxRows=2\nQueryMaxBytes=4096\nQueryMaxMemory=1048576\n");
    const ServerDbSettings s = ServerDatabase::fromConfiguration();
    EXPECT_EQ(s.busyTimeoutMs, 250);
    EXPECT_EQ(s.limits.timeMs, 400);
    EXPECT_EQ(s.limits.rows, 2);
    EXPECT_EQ(s.limits.bytes, 4096);
    EXPECT_EQ(s.limits.memory, 1048576);

    Variant server(DispatchPtr(std::make_shared<TdmReportCounter>()));
    EXPECT_TRUE(simple(server, "SELECT MA001 FROM $$PURMA", "MA001").isEmpty()) << "three suppliers, two rows allowed";
    EXPECT_TRUE(contains(reason(server), "more than 2 rows")) << reason(server);
    EXPECT_TRUE(simple(server, "SELECT MA001 FROM $$PURMA WHERE MA001 <> 'S03'", "MA001").isArray());
    EXPECT_TRUE(simple(server, "SELECT hex(zeroblob(3000)) X", "X").isEmpty());
    EXPECT_TRUE(contains(reason(server), "QueryMaxBytes")) << reason(server);
    const auto start = Clock::now();
    EXPECT_TRUE(simple(server, "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT count(*) N FROM c",
                       "N")
                    .isEmpty());
    EXPECT_LT(Clock::now() - start, kHung);
    EXPECT_TRUE(contains(reason(server), "400 ms")) << reason(server);
    const std::string cs = server.call("ResultConnectString", {"01", ""}).toString();
    EXPECT_TRUE(contains(cs, "Busy Timeout=250")) << "the library's own connection waits as long: " << cs;

    // Unreadable or non-positive values keep the defaults.
    writeIni("BusyTimeOut=soon\nQueryTimeOut=0\nQueryMaxRows=-5\n");
    const ServerDbSettings d = ServerDatabase::fromConfiguration();
    EXPECT_EQ(d.busyTimeoutMs, 5000);
    EXPECT_EQ(d.limits.timeMs, 30000);
    EXPECT_EQ(d.limits.rows, 100000);
    EXPECT_EQ(d.limits.bytes, 64 * 1024 * 1024);
    EXPECT_EQ(d.limits.memory, 256 * 1024 * 1024);
}

TEST_F(ServerBounds, TheLikeCollationReachesAPostgreSQLServerAndLeavesSQLiteAsItIs)
{
    const fs::path serverDir = dir.path() / "server";
    fs::create_directories(serverDir / "data");
    fs::rename(dir.file("QVSYS.db"), serverDir / "data" / "QVSYS.db");
    fs::rename(dir.file("DEMO.db"), serverDir / "data" / "DEMO.db");
    std::ofstream(dir.file("registry.ini")) << "[Software\\QVR\\Brisko]\nServerPath=" << serverDir.string() << "/\n";
    EnvGuard registry;
    registry.set("QV_REGISTRY", dir.file("registry.ini"));
    const auto writeIni = [&](const std::string& dbe) {
        std::ofstream((serverDir / "BriskoS.ini").string(), std::ios::trunc) << "[DBE Setting]\n" << dbe;
    };

    writeIni("MainDBType=POSTGRESQL\nMainServerName=db1:5433\nLikeCollation= und-x-icu \n");
    const ServerDbSettings pg = ServerDatabase::fromConfiguration();
    EXPECT_EQ(pg.server.likeCollation, "und-x-icu");
    EXPECT_NE(ServerDatabase(pg).connectString("").find("Like Collation=und-x-icu"), std::string::npos);

    // SQLite has no such collation: the key is the PostgreSQL server's alone.
    writeIni("MainDBType=SQLITE\nMainServerName=data\nMainDBName=qvsys\nLikeCollation=und-x-icu\n");
    ServerDatabase lite(ServerDatabase::fromConfiguration());
    const std::string sql = "SELECT MA001 FROM PURMA WHERE MA002 LIKE :P AND MA001 LIKE 'S%'";
    EXPECT_EQ(lite.connection().translate(sql).text, sql);
    Variant server(DispatchPtr(std::make_shared<TdmReportCounter>()));
    const Variant rows = server.call("SimpleSQL", {"SELECT MA001 FROM $$PURMA WHERE MA002 LIKE '乙%'", "MA001", "01", "DEMO"});
    ASSERT_TRUE(rows.isArray()) << reason(server);
    EXPECT_EQ(rows[0][0].toString(), "S02");
}

TEST_F(ServerBounds, DatabaseNamesMatchWithoutRegardToCaseFromTheFirstUse)
{
    for (const char* name : {"demo", "Demo", "DEMO"}) {
        // A fresh server each time: nothing is attached yet.
        const Variant server = makeServer();
        const Variant rows = simple(server, "SELECT MA001 FROM $$PURMA ORDER BY MA001", "MA001", name);
        ASSERT_TRUE(rows.isArray()) << name << ": " << reason(server);
        EXPECT_EQ(rows.count(), 3);
        const Variant named = simple(server, std::string("SELECT count(*) N FROM ") + name + "..CMSMF", "N", "demo");
        ASSERT_TRUE(named.isArray()) << name << ": " << reason(server);
        EXPECT_EQ(named[0][0].toInt(), 4);

        DbConnection own;
        own.open(server.call("ResultConnectString", {"01", name}).toString());
        EXPECT_EQ(own.scalar(std::string("SELECT count(*) FROM ") + name + "..PURMA").toInt(), 3) << name;
    }
    {
        // Without a $$ table the database is named only in a qualified name.
        const Variant server = makeServer();
        const Variant rows = simple(server, "SELECT MA002 FROM demo.dbo.PURMA WHERE MA001 = 'S01'", "MA002", "Demo");
        ASSERT_TRUE(rows.isArray()) << reason(server);
        EXPECT_EQ(rows[0][0].toString(), "甲电子");
    }

    // The system database answers to its name in any case, too.
    ServerDbSettings lower = settings();
    lower.systemDb = "qvsys";
    const Variant server(DispatchPtr(std::make_shared<TdmReportCounter>(lower)));
    EXPECT_TRUE(simple(server, "SELECT MC001 FROM ADMMC", "MC001", "").isArray()) << reason(server);

    // Two files whose names differ in case alone cannot both be the database.
    fs::copy_file(dir.file("DEMO.db"), dir.file("demo.db"));
    const Variant twice = makeServer();
    EXPECT_TRUE(simple(twice, "SELECT MA001 FROM $$PURMA", "MA001", "Demo").isEmpty());
    EXPECT_TRUE(contains(reason(twice), "several files")) << reason(twice);
}

TEST_F(ServerBounds, ALockedCompanyDatabaseIsNamedAndTheSystemsTablesStillAnswer)
{
    // Locked before the server first used the company database, and locked after.
    for (bool usedBefore : {false, true}) {
        const Variant server = makeServer();
        // This one would wait longer than a hung call takes: the system's settings and
        // users are in the system database, and they come back without any wait.
        const Variant patient = makeServer(int(std::chrono::milliseconds(2 * kHung).count()));
        if (usedBefore) {
            ASSERT_TRUE(simple(server, "SELECT MA001 FROM $$PURMA", "MA001").isArray());
            ASSERT_TRUE(simple(patient, "SELECT MA001 FROM $$PURMA", "MA001").isArray());
        }
        DbLock lock(dir.file("DEMO.db"));
        ASSERT_TRUE(lock.held());

        const auto start = Clock::now();
        const Variant settingsOf = patient.call("SimpleSQL", {"SELECT MC002 FROM ADMMC WHERE MC001 = '01'", "MC002", "01", ""});
        ASSERT_TRUE(settingsOf.isArray()) << reason(patient);
        EXPECT_EQ(settingsOf[0][0].toString(), "示范公司");
        EXPECT_TRUE(patient.call("GetPower", {"DEMO", "DS", "WOFB07", ""}).isArray());
        EXPECT_TRUE(simple(patient, "SELECT MA002 FROM QVRMA WHERE MA001 = 'DS'", "MA002").isArray());
        EXPECT_LT(Clock::now() - start, kHung) << "waited for a lock on another file";

        for (int i = 0; i < 2; ++i) {
            const auto t = Clock::now();
            EXPECT_TRUE(simple(server, "SELECT MA001 FROM $$PURMA", "MA001").isEmpty());
            EXPECT_LT(Clock::now() - t, kHung);
            EXPECT_TRUE(contains(reason(server), "The database DEMO is busy")) << reason(server);
            EXPECT_TRUE(contains(reason(server), "BusyTimeOut in BriskoS.ini")) << reason(server);
        }
        EXPECT_TRUE(simple(server, "SELECT MC001 FROM ADMMC", "MC001").isArray()) << "still, with DEMO named";

        lock.release();
        EXPECT_TRUE(simple(server, "SELECT MA001 FROM $$PURMA", "MA001").isArray()) << reason(server);
    }

    // The system database keeps a write-ahead log, so a writer holding it does not stop
    // the readers: settings, rights and the company's tables all still answer.
    const Variant server = makeServer();
    ASSERT_TRUE(simple(server, "SELECT MA001 FROM $$PURMA", "MA001").isArray());
    DbLock lock(dir.file("QVSYS.db"));
    ASSERT_TRUE(lock.held());
    const auto start = Clock::now();
    EXPECT_TRUE(server.call("SimpleSQL", {"SELECT MC002 FROM ADMMC", "MC002", "", ""}).isArray()) << reason(server);
    EXPECT_TRUE(simple(server, "SELECT MA001 FROM $$PURMA", "MA001").isArray()) << "the company's tables still answer";
    EXPECT_LT(Clock::now() - start, kHung);
}

TEST(ServerDatabaseSettings, APostgreSQLServerIsNamedByTheDbeSettingKeys)
{
    TempFolder dir;
    const fs::path serverDir = dir.path() / "server";
    fs::create_directories(serverDir);
    std::ofstream(dir.file("registry.ini")) << "[Software\\QVR\\Brisko]\nServerPath=" << serverDir.string() << "/\n";
    EnvGuard registry;
    registry.set("QV_REGISTRY", dir.file("registry.ini"));
    const auto writeIni = [&](const std::string& dbe) {
        std::ofstream((serverDir / "BriskoS.ini").string(), std::ios::trunc) << "[DBE Setting]\n" << dbe;
    };

    writeIni("MainDBType=PostgreSQL\nMainServerName=db1.example.com:6543\nMainDBName=QVSYS\nMainUserName=erp\n"
             "XXXXXX=" + EncodePassword("s3cret;\"x") + "\nPostgresDatabase=erp\nMainConnectionTimeOut=7\n");
    const ServerDbSettings s = ServerDatabase::fromConfiguration();
    EXPECT_EQ(s.server.host, "db1.example.com");
    EXPECT_EQ(s.server.port, "6543");
    EXPECT_EQ(s.server.user, "erp");
    EXPECT_EQ(s.server.password, "s3cret;\"x") << "decoded as the ini's passwords are";
    EXPECT_EQ(s.server.database, "erp");
    EXPECT_EQ(s.server.connectTimeoutS, 7);
    ServerDatabase db(s);
    EXPECT_EQ(db.dialect(), DbDialect::PostgreSQL);
    const DbServerLogin company = db.serverLogin("DEMO");
    EXPECT_EQ(company.schema, "demo") << "a company database is the schema of its name";
    EXPECT_THROW(db.serverLogin("x;DROP"), DbError);

    // The port on a key of its own; the database defaults to the system database's name.
    writeIni("MainDBType=POSTGRESQL\nMainServerName=10.0.0.5\nMainServerPort=5433\nMainDBName=QVSYS\n");
    const ServerDbSettings d = ServerDatabase::fromConfiguration();
    EXPECT_EQ(d.server.host, "10.0.0.5");
    EXPECT_EQ(d.server.port, "5433");
    EXPECT_EQ(d.server.database, "qvsys");

    // A server that does not answer fails with a clear message, not a hang.
    writeIni("MainDBType=POSTGRESQL\nMainServerName=127.0.0.1:1\nMainDBName=QVSYS\nMainConnectionTimeOut=2\n");
    ServerDatabase none(ServerDatabase::fromConfiguration());
    try {
        none.connection();
        FAIL() << "connected to nothing";
    } catch (const DbError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot connect to the database server 127.0.0.1:1/qvsys"), std::string::npos)
            << e.what();
    }
}
