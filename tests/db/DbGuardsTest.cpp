// What keeps a statement from outside in its bounds: the authorizer that lets only reads
// through, the limits of time, memory and answer, and waits for another program's lock
// that end after the busy time and name the database.

#include "DbLock.h"

#include "db/Db.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// Far above any bound a test sets: a statement past it has hung.
constexpr auto kHung = std::chrono::seconds(15);

const char* const kEndless = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) ";

class DbGuards : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("qv-dbguards-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        {
            DbConnection company;
            company.openSqlite(file("DEMO.db"), true);
            company.executeScript("CREATE TABLE PURMA (MA001 VARCHAR(10), MA002 VARCHAR(20));"
                                  "INSERT INTO PURMA VALUES ('S01', 'one'), ('S02', 'two'), ('S03', 'three');");
        }
        db.openSqlite(file("QVSYS.db"), true);
        db.executeScript("CREATE TABLE ADMMB (MB001 VARCHAR(10), MB002 VARCHAR(20));"
                         "INSERT INTO ADMMB VALUES ('WOFB07', 'write-off');");
        db.attach("DEMO", file("DEMO.db"));
    }
    void TearDown() override
    {
        db.close();
        fs::remove_all(dir);
    }

    std::string file(const std::string& name) const { return (dir / name).string(); }

    // The failure of a query-only statement, or Other with a failed expectation.
    DbErrorKind failureOf(const std::string& sql, std::string* message = nullptr)
    {
        try {
            db.query(sql, {}, DbAccess::QueryOnly);
        } catch (const DbError& e) {
            if (message)
                *message = e.what();
            return e.kind();
        }
        ADD_FAILURE() << "no failure: " << sql;
        return DbErrorKind::Other;
    }

    bool stillAnswers()
    {
        return db.query("SELECT MA002 FROM DEMO..PURMA WHERE MA001 = 'S02'", {}, DbAccess::QueryOnly).rows.size() == 1;
    }

    fs::path dir;
    DbConnection db;
};

} // namespace

TEST_F(DbGuards, QueryOnlyStatementsMayOnlyRead)
{
    for (const char* sql : {"SELECT MA002 FROM DEMO..PURMA", "WITH a AS (SELECT 1 x) SELECT x FROM a", "VALUES (1)",
                            "EXPLAIN QUERY PLAN SELECT * FROM ADMMB", "SELECT upper(MB002), length(MB001) FROM ADMMB",
                            "SELECT value FROM json_each('[1, 2]')"})
        EXPECT_NO_THROW(db.query(sql, {}, DbAccess::QueryOnly)) << sql;

    std::string message;
    for (const char* sql : {"DELETE FROM DEMO..PURMA", "INSERT INTO ADMMB VALUES ('X', 'Y')",
                            "UPDATE DEMO..PURMA SET MA002 = 'x'", "BEGIN", "SAVEPOINT s", "PRAGMA user_version = 3",
                            "PRAGMA DEMO.table_info(PURMA)", "SELECT * FROM pragma_table_info('ADMMB')",
                            "ATTACH DATABASE 'x.db' AS X", "DETACH DATABASE DEMO",
                            "CREATE TABLE T (A)", "SELECT sql FROM sqlite_stmt", "SELECT load_extension('libx.so')",
                            "SELECT fts3_tokenizer('simple')", "SELECT hex(fts3_tokenizer('porter'))",
                            "WITH t AS (SELECT fts3_tokenizer('simple') p) SELECT p FROM t"})
        EXPECT_EQ(failureOf(sql, &message), DbErrorKind::Refused) << sql << ": " << message;
    EXPECT_NE(message.find("fts3_tokenizer"), std::string::npos) << "the refusal says what was refused: " << message;
    EXPECT_THROW(db.query("UPDATE sqlite_master SET sql = ''", {}, DbAccess::QueryOnly), DbError);
    EXPECT_FALSE(fs::exists(file("x.db")));
    EXPECT_FALSE(db.inTransaction());
    EXPECT_EQ(db.scalar("SELECT count(*) FROM DEMO..PURMA").toInt(), 3);

    // The program's own statements are not bound by it, and a text it ran first is still
    // refused to the outside: the cache keeps the two apart.
    EXPECT_EQ(db.scalar("PRAGMA user_version").toInt(), 0);
    EXPECT_EQ(failureOf("PRAGMA user_version"), DbErrorKind::Refused);
    EXPECT_EQ(db.execute("UPDATE DEMO..PURMA SET MA002 = 'uno' WHERE MA001 = 'S01'"), 1);

    // Even where this build of the engine offers it, the tokenizer interface hands out no
    // address: it is switched off on every connection.
    const Variant pointer = db.scalar("SELECT fts3_tokenizer('simple')");
    EXPECT_TRUE(pointer.isNull() || pointer.isEmpty()) << VarToStr(pointer);
}

TEST_F(DbGuards, LimitsStopEndlessAndHugeQueries)
{
    DbQueryLimits limits;
    limits.timeMs = 300;
    limits.rows = 1000;
    limits.bytes = 64 * 1024;
    limits.memory = 16 * 1024 * 1024;
    db.setQueryLimits(limits);

    const std::string cross24 = [] {
        std::string from;
        for (int i = 0; i < 24; ++i)
            from += std::string(i ? ", " : "") + "DEMO..PURMA t" + std::to_string(i);
        return from;
    }();
    const auto check = [&](const std::string& sql, DbErrorKind kind, const char* says) {
        const auto start = Clock::now();
        std::string message;
        EXPECT_EQ(failureOf(sql, &message), kind) << sql << ": " << message;
        EXPECT_NE(message.find(says), std::string::npos) << message;
        EXPECT_LT(Clock::now() - start, kHung) << sql;
        EXPECT_TRUE(stillAnswers()) << "after " << sql;
    };
    // Nothing comes back from these before their time is up.
    check(std::string(kEndless) + "SELECT count(*) FROM c", DbErrorKind::TimeLimit, "300 ms");
    check("SELECT count(*) FROM " + cross24, DbErrorKind::TimeLimit, "300 ms");
    check(std::string(kEndless) + "SELECT length(group_concat(x)) FROM c", DbErrorKind::TimeLimit, "300 ms");

    // The other bounds are met long before a time limit that is no longer in the way.
    limits.timeMs = 20000;
    db.setQueryLimits(limits);
    check(std::string(kEndless) + "SELECT x FROM c", DbErrorKind::RowLimit, "1000 rows");
    check("SELECT t0.MA001 FROM " + cross24, DbErrorKind::RowLimit, "1000 rows");
    check(std::string(kEndless) + "SELECT x, printf('%500c', 'x') FROM c", DbErrorKind::ByteLimit, "65536 bytes");
    check("SELECT zeroblob(100000000)", DbErrorKind::ByteLimit, "65536 bytes");
    check("SELECT replace(printf('%.*c', 60000, 'x'), 'x', 'xxxxx')", DbErrorKind::ByteLimit, "65536 bytes");
    check("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c LIMIT 20000) "
          "SELECT length(group_concat(x)) FROM c",
          DbErrorKind::ByteLimit, "65536 bytes");
    // A sort of endless rows grows the engine's memory.
    check(std::string(kEndless) + "SELECT x FROM c ORDER BY x DESC", DbErrorKind::MemoryLimit, "working memory");

    // Within the bounds everything comes back; the program's own statements have none.
    EXPECT_EQ(db.query(std::string(kEndless) + "SELECT x FROM c LIMIT 1000", {}, DbAccess::QueryOnly).rows.size(), 1000u);
    EXPECT_EQ(db.query(std::string(kEndless) + "SELECT x FROM c LIMIT 5000").rows.size(), 5000u);
    EXPECT_EQ(db.scalar("SELECT length(zeroblob(1000000))").toInt(), 1000000);
}

TEST_F(DbGuards, ALockOfAnotherProgramIsWaitedForAtMostTheBusyTime)
{
    db.setBusyTimeout(300);
    EXPECT_EQ(db.busyTimeout(), 300);
    EXPECT_TRUE(stillAnswers()) << "the company's tables are known before the lock";
    {
        DbLock lock(file("DEMO.db"));
        ASSERT_TRUE(lock.held());
        for (int i = 0; i < 3; ++i) {
            const auto start = Clock::now();
            try {
                db.query("SELECT MA002 FROM DEMO..PURMA", {}, DbAccess::QueryOnly);
                ADD_FAILURE() << "read through another program's exclusive lock";
            } catch (const DbError& e) {
                EXPECT_EQ(e.kind(), DbErrorKind::Busy) << e.what();
                EXPECT_EQ(e.database(), "DEMO");
                EXPECT_NE(std::string(e.what()).find("DEMO"), std::string::npos) << e.what();
            }
            EXPECT_LT(Clock::now() - start, kHung);
        }
        // The system's tables are another file: no wait, no failure.
        EXPECT_EQ(db.query("SELECT MB002 FROM ADMMB", {}, DbAccess::QueryOnly).rows.size(), 1u);
        EXPECT_EQ(db.scalar("SELECT MB002 FROM QVSYS..ADMMB").toString(), "write-off");
    }
    EXPECT_TRUE(stillAnswers()) << "the lock is gone, and so is the failure";

    // A lock met while attaching names the database too; the main database is named by its file.
    DbConnection fresh;
    fresh.openSqlite(file("QVSYS.db"));
    fresh.setBusyTimeout(300);
    {
        DbLock lock(file("DEMO.db"));
        ASSERT_TRUE(lock.held());
        try {
            fresh.attach("DEMO", file("DEMO.db"));
            ADD_FAILURE() << "attached a locked database";
        } catch (const DbError& e) {
            EXPECT_EQ(e.kind(), DbErrorKind::Busy) << e.what();
            EXPECT_EQ(e.database(), "DEMO");
        }
        EXPECT_FALSE(fresh.isAttached("DEMO"));
        EXPECT_EQ(fresh.scalar("SELECT MB001 FROM ADMMB").toString(), "WOFB07");
    }
    fresh.attach("DEMO", file("DEMO.db"));
    {
        DbLock lock(file("QVSYS.db"));
        ASSERT_TRUE(lock.held());
        try {
            fresh.query("SELECT MB002 FROM ADMMB");
            ADD_FAILURE() << "read through another program's exclusive lock";
        } catch (const DbError& e) {
            EXPECT_EQ(e.kind(), DbErrorKind::Busy) << e.what();
            EXPECT_EQ(e.database(), "QVSYS");
        }
        EXPECT_EQ(fresh.query("SELECT MA001 FROM DEMO..PURMA").rows.size(), 3u);
    }
}

TEST_F(DbGuards, ConnectionStringsCarryTheBusyTime)
{
    const std::string text = DbConnection::sqliteConnectString(file("QVSYS.db"), {{"DEMO", file("DEMO.db")}}, 1500);
    EXPECT_NE(text.find("Busy Timeout=1500"), std::string::npos) << text;
    DbConnection other;
    other.open(text);
    EXPECT_EQ(other.busyTimeout(), 1500);
    EXPECT_EQ(other.scalar("SELECT count(*) FROM demo..PURMA").toInt(), 3);
    DbConnection plain;
    plain.open(DbConnection::sqliteConnectString(file("QVSYS.db")));
    EXPECT_EQ(plain.busyTimeout(), 5000) << "the default";
    EXPECT_THROW(plain.open("Provider=SQLite;Busy Timeout=soon;Data Source=" + file("QVSYS.db")), DbError);
}

TEST(SqlAdapter, QualifyingDatabaseNamesAreTheDatabasesATextNames)
{
    EXPECT_EQ(QualifyingDatabaseNames("select * from DEMO..ACPTA a join [Demo].dbo.ACPTB b on 1=1 join QVSYS..ADMMB"),
              (std::vector<std::string>{"DEMO", "QVSYS"}));
    EXPECT_TRUE(QualifyingDatabaseNames("select 'DEMO..ACPTA', a.b from t a -- X..Y\n").empty());
}
