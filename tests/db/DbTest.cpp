#include "db/Db.h"
#include "platform/OleDate.h"
#include "PgTestServer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

SqlSchemaInfo schemaWith(std::initializer_list<const char*> textColumns)
{
    SqlSchemaInfo s;
    for (const char* c : textColumns)
        s.textColumns.insert(c);
    s.databaseAliases.emplace_back("QVSYS", "main");
    return s;
}

std::string tr(std::string_view sql, const SqlSchemaInfo& s = schemaWith({"TA001", "TA002", "MA002"}))
{
    return TranslateSql(sql, s).text;
}

class TempFolder {
public:
    TempFolder()
    {
        path_ = fs::temp_directory_path() / ("qv-db-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempFolder() { fs::remove_all(path_); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
    static inline int counter_ = 0;
};

// A main database with one table and a company database "DEMO" with another, on either
// engine: the same texts must give the same rows.
class DbFixture : public ::testing::TestWithParam<TestDb> {
protected:
    void SetUp() override
    {
        const char* company =
            "CREATE TABLE ACPTA (TA001 VARCHAR(4), TA002 VARCHAR(11), TA028 NUMERIC(18,6), TA087 VARCHAR(1),"
            "  TA090 INT, TA091 BIGINT, TA092 DATETIME);"
            "INSERT INTO ACPTA VALUES ('7A01', '12', 100, '1', 7, 5000000000, '2024-03-15 10:20:30.250');"
            "INSERT INTO ACPTA VALUES ('7101', '20240110001', 12.5, '1', NULL, NULL, NULL);";
        const char* system = "CREATE TABLE ADMTC (TC001 VARCHAR(14) PRIMARY KEY, TC004 VARCHAR(23));";
        if (pg()) {
            QV_SKIP_WITHOUT_PG();
            DbConnection co;
            co.open(schemas.connect("DEMO"));
            co.executeScript(company);
            db.open(schemas.connect("QVSYS", {"DEMO"}));
            db.executeScript(system);
            return;
        }
        {
            DbConnection co;
            co.openSqlite(dir.file("DEMO.db"), true);
            co.executeScript(company);
        }
        db.openSqlite(dir.file("QVSYS.db"), true);
        db.executeScript(system);
        db.attach("DEMO", dir.file("DEMO.db"));
    }

    bool pg() const { return GetParam() == TestDb::PostgreSQL; }

    TempFolder dir;
    PgTestSchemas schemas;
    DbConnection db;
};

} // namespace

// ---------------------------------------------------------------------------------------
// The adapter on its own

TEST(SqlAdapter, DatabaseQualifiedNamesBecomeSchemaNames)
{
    EXPECT_EQ(tr("select * from DEMO..ACPTA as ACPTA"), "select * from \"DEMO\".ACPTA as ACPTA");
    EXPECT_EQ(tr("select * from DEMO.dbo.ACPTA"), "select * from \"DEMO\".ACPTA");
    EXPECT_EQ(tr("select * from QVSYS..ADMTC"), "select * from \"main\".ADMTC") << "the main database's own name";
    EXPECT_EQ(tr("select ACPTA.TA001 from DEMO..ACPTA ACPTA"), "select ACPTA.TA001 from \"DEMO\".ACPTA ACPTA");
    // Quoted text and comments are never rewritten.
    EXPECT_EQ(tr("select 'DEMO..ACPTA' -- DEMO..ACPTA\n"), "select 'DEMO..ACPTA' -- DEMO..ACPTA\n");
    EXPECT_EQ(tr("select /* DEMO..X */ 1"), "select /* DEMO..X */ 1");
}

TEST(SqlAdapter, FunctionsOfTheServerDialect)
{
    EXPECT_EQ(tr("SELECT ISNULL(MD007, '') MD007"), "SELECT ifnull(MD007, '') MD007");
    EXPECT_EQ(tr("select isnull (a,0.0)+isnull(b,0.0)"), "select ifnull (a,0.0)+ifnull(b,0.0)");
    EXPECT_EQ(tr("select a from t where a ISNULL"), "select a from t where a ISNULL") << "the operator stays";
    EXPECT_EQ(tr("select 'ISNULL(x)'"), "select 'ISNULL(x)'");
    EXPECT_EQ(tr("ELSE CONVERT(CHAR(14), CAST(MAX(TC001) AS BIGINT) + 1) END"),
              "ELSE convert('CHAR(14)', convert('BIGINT', MAX(TC001)) + 1) END");
    EXPECT_EQ(tr("select convert(numeric(18, 2), x), CONVERT(varchar(8), d, 112)"),
              "select convert('NUMERIC(18,2)', x), convert('VARCHAR(8)', d, 112)");
    EXPECT_EQ(tr("select CAST(x AS CHAR(5)), cast(y as datetime)"), "select convert('CHAR(5)', x), convert('DATETIME', y)");
    EXPECT_EQ(tr("select CAST(CAST(x AS VARCHAR(3)) AS CHAR(4))"), "select convert('CHAR(4)', convert('VARCHAR(3)', x))");
    // A quoted text where the type should be is left alone, never folded into a type name.
    const std::pair<const char*, const char*> odd[] = {
        {"select CONVERT(CHAR('a) placeholder' + NAME), 112)", "'a) placeholder'"},
        {"select CAST(x AS CHAR('b) :P'))", "'b) :P'"},
        {"select CONVERT(DATETIME, x, 'c) 112')", "'c) 112'"}, // a style that is no number
    };
    for (const DbDialect d : {DbDialect::SQLite, DbDialect::PostgreSQL})
        for (const auto& [sql, literal] : odd) {
            const SqlTranslation out = TranslateSql(sql, schemaWith({"NAME"}), d);
            EXPECT_NE(out.text.find(literal), std::string::npos) << sql << " => " << out.text;
            EXPECT_TRUE(out.params.empty()) << sql << " => " << out.text;
        }
}

TEST(SqlAdapter, PlusBetweenTextOperandsConcatenates)
{
    EXPECT_EQ(tr("where (TA001+TA002 IN ('7A0112'))"), "where (TA001||TA002 IN ('7A0112'))");
    EXPECT_EQ(tr("select 'A1'+'23'"), "select 'A1'||'23'");
    EXPECT_EQ(tr("select ACPTA.TA001 + ACPTA.TA002 from x"), "select ACPTA.TA001 || ACPTA.TA002 from x");
    EXPECT_EQ(tr("select TA001+'-'+TA002"), "select TA001||'-'||TA002") << "a chain of text";
    EXPECT_EQ(tr("select N'单号'+TA002"), "select '单号'||TA002");
    // Numbers, calls and stronger operators keep +.
    EXPECT_EQ(tr("select TA028+TA029"), "select TA028+TA029");
    EXPECT_EQ(tr("select 1+TA001"), "select 1+TA001");
    EXPECT_EQ(tr("select x*TA001+TA002"), "select x*TA001+TA002");
    EXPECT_EQ(tr("select TA001+TA002*2"), "select TA001+TA002*2");
    EXPECT_EQ(tr("select -TA001+TA002"), "select -TA001+TA002");
    EXPECT_EQ(tr("select TA001+upper(TA002)"), "select TA001+upper(TA002)");
    EXPECT_EQ(tr("select 'TA001+TA002'"), "select 'TA001+TA002'");
}

TEST(SqlAdapter, ParametersStatementsAndNames)
{
    const SqlTranslation t = TranslateSql("select :mc005, :MD004 from t where a = :Mc005", schemaWith({}));
    EXPECT_EQ(t.text, "select :MC005, :MD004 from t where a = :MC005");
    EXPECT_EQ(t.params, (std::vector<std::string>{"MC005", "MD004"}));
    EXPECT_EQ(TranslateSql("select ':X'", schemaWith({})).params.size(), 0u);

    EXPECT_FALSE(TranslateSql("select 1;", schemaWith({})).multipleStatements);
    EXPECT_FALSE(TranslateSql("select 1; -- done\n", schemaWith({})).multipleStatements);
    EXPECT_TRUE(TranslateSql("select 1; delete from t", schemaWith({})).multipleStatements);
    EXPECT_FALSE(TranslateSql("select 'a;b'", schemaWith({})).multipleStatements);

    EXPECT_EQ(tr("select [Order], [a]]b] from t"), "select \"Order\", \"a]b\" from t");
    EXPECT_THROW(tr("select 'open"), DbError);
    EXPECT_THROW(tr("select * from $$ACPTA"), DbError) << "an unresolved prefix would be a parameter";
    EXPECT_EQ(tr("select '$$'"), "select '$$'");
}

TEST(SqlAdapter, TablePrefixAndQuoting)
{
    EXPECT_EQ(ResolveTablePrefix("from $$ACPTA as A join $$ACPTB where x='$$'", "DEMO"),
              "from DEMO..ACPTA as A join DEMO..ACPTB where x='$$'");
    EXPECT_TRUE(HasTablePrefix("select * from $$CMSMF"));
    EXPECT_FALSE(HasTablePrefix("select '$$' -- $$\n"));
    EXPECT_EQ(SqlQuote("X' OR '1'='1"), "'X'' OR ''1''=''1'");
}

// ---------------------------------------------------------------------------------------
// Running statements

TEST_P(DbFixture, TextConcatenationAndServerFunctionsGiveServerResults)
{
    EXPECT_EQ(db.scalar("SELECT 'A1'+'23'").toString(), "A123") << "SQLite alone would answer 23";
    const DbRowSet r = db.query("select TA001+TA002 K from DEMO..ACPTA where TA001+TA002 IN ('7A0112')");
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0][0].toString(), "7A0112");
    EXPECT_EQ(db.scalar("SELECT ISNULL(NULL, 'x')").toString(), "x");
    EXPECT_EQ(db.scalar("SELECT CONVERT(CHAR(14), CAST('20240315000001' AS BIGINT) + 1)").toString(), "20240315000002");
    EXPECT_EQ(db.scalar("SELECT CONVERT(CHAR(6), 12)").toString(), "12    ") << "CHAR pads";
    EXPECT_EQ(db.scalar("SELECT CONVERT(VARCHAR(3), 'abcdef')").toString(), "abc");
    EXPECT_EQ(db.scalar("SELECT CAST('中文字符' AS CHAR(2))").toString(), "中文");
    EXPECT_THROW(db.scalar("SELECT CONVERT(CHAR(2), 12345)"), DbError) << "a number is never cut";
    EXPECT_EQ(db.scalar("SELECT CONVERT(INT, ' 42 ')").toInt(), 42);
    EXPECT_THROW(db.scalar("SELECT CONVERT(INT, '1.5')"), DbError);
    EXPECT_THROW(db.scalar("SELECT CAST('abc' AS BIGINT)"), DbError) << "SQLite alone would answer 0";
    EXPECT_EQ(db.scalar("SELECT CAST(MAX(TC001) AS BIGINT) FROM ADMTC").type(), VarType::Null);
    EXPECT_THROW(db.scalar("SELECT CONVERT(SMALLINT, 40000)"), DbError);
    EXPECT_DOUBLE_EQ(db.scalar("SELECT CONVERT(NUMERIC(10,2), 1.005)").toDouble(), 1.01);
    EXPECT_EQ(db.scalar("SELECT CONVERT(CHAR(8), CONVERT(DATETIME, '20240315'), 112)").toString(), "20240315");
    EXPECT_EQ(db.scalar("SELECT CONVERT(VARCHAR(10), '2024-03-15 10:00:00.000', 111)").toString(), "2024/03/15");
    EXPECT_TRUE(db.scalar("SELECT CONVERT(INT, NULL)").isNull());
}

TEST_P(DbFixture, RoundingIsTheServersHalfAwayFromZero)
{
    EXPECT_DOUBLE_EQ(db.scalar("SELECT ROUND(2.675, 2)").toDouble(), 2.68);
    EXPECT_DOUBLE_EQ(db.scalar("SELECT ROUND(1.005, 2)").toDouble(), 1.01) << "1.005 * 100 lies just below the half";
    EXPECT_DOUBLE_EQ(db.scalar("SELECT ROUND(-2.5, 0)").toDouble(), -3.0);
    EXPECT_EQ(db.scalar("SELECT ROUND(1250, -2)").toInt(), 1300);
    EXPECT_EQ(db.scalar("SELECT ROUND(1249, -2)").toInt(), 1200);
    EXPECT_DOUBLE_EQ(db.scalar("SELECT ROUND(1.239, 2, 1)").toDouble(), 1.23) << "a third argument truncates";
    EXPECT_EQ(db.scalar("SELECT count(*) FROM DEMO..ACPTA WHERE Round(TA028,3)=0.0").toInt(), 0);
    EXPECT_EQ(db.scalar("SELECT count(*) FROM DEMO..ACPTA WHERE Round(TA028 - TA028,3)=0.0").toInt(), 2);
    EXPECT_TRUE(db.scalar("SELECT ROUND(NULL, 2)").isNull());
    EXPECT_THROW(db.scalar("SELECT ROUND('abc', 2)"), DbError);
}

TEST_P(DbFixture, CaseAndLengthBeyondAscii)
{
    EXPECT_EQ(db.scalar("SELECT UPPER('wofb07 é ß ａｂ ж σ')").toString(), "WOFB07 É ß ＡＢ Ж Σ");
    EXPECT_EQ(db.scalar("SELECT LOWER('ÄÖ ΣΑ Ж ĀŁ')").toString(), "äö σα ж āł");
    EXPECT_EQ(db.scalar("SELECT UPPER('中文')").toString(), "中文");
    EXPECT_TRUE(db.scalar("SELECT UPPER(NULL)").isNull());
    EXPECT_EQ(db.scalar("SELECT LEN('ab  ')").toInt(), 2) << "trailing blanks do not count";
    EXPECT_EQ(db.scalar("SELECT LEN('中文')").toInt(), 2);
}

TEST_P(DbFixture, ValuesComeBackWithTheirTypes)
{
    const DbRowSet r = db.query("SELECT TA002, TA028, TA090, TA091, TA092 FROM DEMO..ACPTA ORDER BY TA002 DESC");
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(r.columns, (std::vector<std::string>{"TA002", "TA028", "TA090", "TA091", "TA092"}));
    EXPECT_EQ(r.columnIndex("ta091"), 3);
    EXPECT_EQ(r.columnIndex("nothing"), -1);
    const auto& row = r.rows[1]; // '12'
    EXPECT_EQ(row[0].type(), VarType::String);
    if (pg()) {
        EXPECT_EQ(row[1].type(), VarType::String) << "NUMERIC arrives exact, as text";
        EXPECT_EQ(row[1].toString(), "100.000000") << "to the column's scale";
        EXPECT_EQ(r.rows[0][1].toString(), "12.500000");
    } else {
        EXPECT_EQ(row[1].type(), VarType::Double) << "a NUMERIC column answers Double even when SQLite kept an integer";
    }
    EXPECT_EQ(row[2].type(), VarType::Int);
    EXPECT_EQ(row[3].type(), VarType::Int64);
    ASSERT_EQ(row[4].type(), VarType::Date);
    const CivilDate c = DecodeDateTime(row[4].toDate());
    EXPECT_EQ(c.year * 10000 + c.month * 100 + c.day, 20240315);
    EXPECT_EQ(c.hour * 10000 + c.minute * 100 + c.second, 102030);
    EXPECT_EQ(c.millisecond, 250);
    EXPECT_TRUE(r.rows[0][2].isNull());

    const Variant now = db.scalar(" SELECT GETDATE() DATEX ");
    ASSERT_EQ(now.type(), VarType::Date);
    EXPECT_LT(std::fabs(now.toDate() - Now()), 5.0 / 86400);
}

TEST_P(DbFixture, PlaceholdersAreAlwaysBound)
{
    const std::string sql = "SELECT TA002 FROM DEMO..ACPTA WHERE TA001 = :TYPE";
    EXPECT_EQ(db.query(sql, {{"type", "7A01"}}).rows.size(), 1u) << "names compare without regard to case";
    EXPECT_EQ(db.query(sql, {{":TYPE", "7101"}, {"UNUSED", 1}}).rows.size(), 1u);
    EXPECT_TRUE(db.query(sql, {{"TYPE", "X' OR '1'='1"}}).empty());
    EXPECT_THROW(db.query(sql), DbError) << "a placeholder without a value is refused, not NULL";
    EXPECT_THROW(db.query("SELECT TA002 FROM DEMO..ACPTA WHERE TA001 = ?"), DbError);
    EXPECT_THROW(db.query(sql, {{"TYPE", Variant::list({1, 2})}}), DbError);

    db.execute("INSERT INTO ADMTC (TC001, TC004) VALUES (:TC001, :TC004)",
               {{"TC001", "20240315000001"}, {"TC004", Variant::date(EncodeDate(2024, 3, 15))}});
    EXPECT_EQ(db.scalar("SELECT TC004 FROM ADMTC").toString(), "2024-03-15 00:00:00.000");
}

TEST_P(DbFixture, OneStatementAtATimeAndQueriesThatChangeNothing)
{
    EXPECT_THROW(db.query("SELECT TA002 FROM DEMO..ACPTA WHERE TA001='X'; DELETE FROM DEMO..ACPTA --'"), DbError);
    EXPECT_EQ(db.scalar("SELECT count(*) FROM DEMO..ACPTA").toInt(), 2);

    EXPECT_THROW(db.query("DELETE FROM DEMO..ACPTA", {}, DbAccess::QueryOnly), DbError);
    EXPECT_THROW(db.query("BEGIN", {}, DbAccess::QueryOnly), DbError);
    EXPECT_THROW(db.query("PRAGMA user_version = 3", {}, DbAccess::QueryOnly), DbError);
    EXPECT_THROW(db.query("ATTACH DATABASE 'x.db' AS X", {}, DbAccess::QueryOnly), DbError);
    EXPECT_FALSE(db.inTransaction());
    EXPECT_EQ(db.scalar("SELECT count(*) FROM DEMO..ACPTA").toInt(), 2);
    EXPECT_EQ(db.query("WITH a AS (SELECT 1 x) SELECT x FROM a", {}, DbAccess::QueryOnly).rows.size(), 1u);
}

TEST_P(DbFixture, StatementsArePreparedOnceAndMayNest)
{
    const std::string sql = "SELECT TA002 FROM DEMO..ACPTA WHERE TA001 = :T";
    const std::size_t before = db.cachedStatements();
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(db.query(sql, {{"T", "7A01"}}).rows.size(), 1u);
    EXPECT_EQ(db.cachedStatements(), before + 1);

    // The same text inside its own row callback gets a statement of its own.
    int inner = 0;
    db.forEachRow("SELECT TA001 FROM DEMO..ACPTA", {}, [&](const std::vector<Variant>& row) {
        db.forEachRow("SELECT TA001 FROM DEMO..ACPTA", {}, [&](const std::vector<Variant>&) {
            ++inner;
            return true;
        });
        return !row.empty();
    });
    EXPECT_EQ(inner, 4);

    // A table created later is known to the adapter at once.
    db.execute("CREATE TABLE NOTE (NA001 VARCHAR(4), NA002 VARCHAR(4))");
    db.execute("INSERT INTO NOTE VALUES ('12', '34')");
    EXPECT_EQ(db.scalar("SELECT NA001+NA002 FROM NOTE").toString(), "1234");
}

TEST_P(DbFixture, TransactionsRollBackUnlessCommitted)
{
    {
        DbTransaction tx(db);
        db.execute("INSERT INTO ADMTC (TC001) VALUES ('1')");
    }
    EXPECT_EQ(db.scalar("SELECT count(*) FROM ADMTC").toInt(), 0);
    {
        DbTransaction tx(db);
        db.execute("INSERT INTO ADMTC (TC001) VALUES ('1')");
        tx.commit();
    }
    EXPECT_EQ(db.scalar("SELECT count(*) FROM ADMTC").toInt(), 1);
    EXPECT_THROW(db.execute("INSERT INTO ADMTC (TC001) VALUES ('1')"), DbError) << "key violation";

    // A script runs whole or not at all.
    EXPECT_THROW(db.executeScript("INSERT INTO ADMTC (TC001) VALUES ('2'); INSERT INTO ADMTC (TC001) VALUES ('1');"),
                 DbError);
    EXPECT_EQ(db.scalar("SELECT count(*) FROM ADMTC").toInt(), 1);
    EXPECT_FALSE(db.inTransaction());
}

TEST_P(DbFixture, ConnectStringsOpenTheSameDatabases)
{
    if (pg())
        GTEST_SKIP() << "the files of SQLite connection strings";
    DbConnection other;
    other.open(db.connectString());
    EXPECT_TRUE(other.isAttached("demo"));
    EXPECT_EQ(other.scalar("SELECT count(*) FROM DEMO..ACPTA").toInt(), 2);

    // Paths with separators survive quoting.
    const std::string odd = dir.file("a;b \"c\".db");
    fs::copy_file(dir.file("DEMO.db"), odd);
    DbConnection third;
    third.open(DbConnection::sqliteConnectString(dir.file("QVSYS.db"), {{"CO2", odd}}));
    EXPECT_EQ(third.scalar("SELECT count(*) FROM CO2..ACPTA").toInt(), 2);

    DbConnection bad;
    EXPECT_THROW(bad.open("Provider=PostgreSQL;Data Source=x"), DbError);
    EXPECT_THROW(bad.open("Provider=SQLite;Data Source=" + dir.file("none.db")), DbError) << "no file is created";
    EXPECT_FALSE(fs::exists(dir.file("none.db")));
    EXPECT_THROW(bad.open("Provider=SQLite;Password=x;Data Source=" + dir.file("QVSYS.db")), DbError);
    EXPECT_THROW(bad.open("Provider=SQLite;Data Source=" + dir.file("QVSYS.db") + ";Attach ../x=" + odd), DbError);
    EXPECT_FALSE(bad.isOpen());
    EXPECT_THROW(bad.query("SELECT 1"), DbError);
    EXPECT_THROW(db.attach("DEMO", dir.file("DEMO.db")), DbError) << "attached already";
    EXPECT_THROW(db.query("SELECT * FROM NOPE..ACPTA"), DbError);
}

INSTANTIATE_TEST_SUITE_P(BothEngines, DbFixture, ::testing::Values(TestDb::SQLite, TestDb::PostgreSQL), TestDbName);

// ---------------------------------------------------------------------------------------
// The adapter for PostgreSQL on its own

namespace {

std::string pgTr(std::string_view sql, const SqlSchemaInfo& s = schemaWith({"TA001", "TA002", "MA002"}))
{
    return TranslateSql(sql, s, DbDialect::PostgreSQL).text;
}

} // namespace

TEST(SqlAdapterPostgreSQL, NamesSchemasAndFunctions)
{
    EXPECT_EQ(pgTr("select * from DEMO..ACPTA as ACPTA"), "select * from demo.ACPTA as ACPTA");
    EXPECT_EQ(pgTr("select * from QVSYS.dbo.ADMTC"), "select * from main.ADMTC") << "the alias of the main database";
    EXPECT_EQ(pgTr("select [TA001] from t"), "select ta001 from t") << "quoted plain names fold as unquoted ones";
    EXPECT_EQ(pgTr("SELECT ISNULL(MD007, '') MD007"), "SELECT COALESCE(MD007, '') MD007");
    EXPECT_EQ(pgTr("SELECT GETDATE() DATEX"), "SELECT CAST($1 AS TIMESTAMP(3)) DATEX");
    EXPECT_EQ(TranslateSql("SELECT GETDATE()", schemaWith({}), DbDialect::PostgreSQL).params,
              (std::vector<std::string>{"QV_NOW"}));
    EXPECT_EQ(pgTr("select CONVERT(CHAR(14), CAST(MAX(TC001) AS BIGINT) + 1)"),
              "select qv_fn.qv_char(qv_fn.qv_int(MAX(TC001), -9223372036854775808, 9223372036854775807, 'BIGINT') + 1, "
              "14, TRUE, -1)");
    EXPECT_EQ(pgTr("select CONVERT(varchar(8), d, 112)"), "select qv_fn.qv_char(d, 8, FALSE, 112)");
    EXPECT_EQ(pgTr("select CAST('x' AS CHAR(2))"), "select qv_fn.qv_char(CAST('x' AS TEXT), 2, TRUE, -1)")
        << "a literal is told to be text";
    EXPECT_EQ(pgTr("select cast(x as numeric(18, 2)), CONVERT(DATETIME, d)"),
              "select CAST(x AS NUMERIC(18,2)), CAST(d AS TIMESTAMP(3))");
    EXPECT_EQ(pgTr("select TA001+'-'+TA002, TA028+TA029"), "select TA001||'-'||TA002, TA028+TA029");
}

TEST(SqlAdapterPostgreSQL, LikeTopParametersAndTypes)
{
    EXPECT_EQ(pgTr("where TA004 LIKE 'A%' and x = 1"), "where TA004 ILIKE 'A%' ESCAPE '' and x = 1");
    EXPECT_EQ(pgTr("where (a not like :P) order by a"), "where (a not ILIKE $1 ESCAPE '') order by a");
    EXPECT_EQ(pgTr("where a like 'x!%' escape '!'"), "where a ILIKE 'x!%' escape '!'");
    EXPECT_EQ(pgTr("select top 5 a from t order by a"), "select a from t order by a LIMIT 5");
    EXPECT_EQ(pgTr("select :B, :a, :b"), "select $1, $2, $1");
    EXPECT_EQ(pgTr("select x::text, :a"), "select x::text, $1") << "a cast is no placeholder";
    EXPECT_EQ(pgTr("CREATE TABLE X (A DECIMAL_TEXT(18,6), B DATETIME, C INTEGER PRIMARY KEY)"),
              "CREATE TABLE X (A NUMERIC, B TIMESTAMP(3), C INTEGER GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY)");
    EXPECT_TRUE(TranslateSql("select 1; delete from t", schemaWith({}), DbDialect::PostgreSQL).multipleStatements);
    EXPECT_THROW(pgTr("select * from $$ACPTA"), DbError);
    EXPECT_EQ(pgTr("select 'DEMO..A LIKE x' -- GETDATE()\n"), "select 'DEMO..A LIKE x' -- GETDATE()\n");
}

// ---------------------------------------------------------------------------------------
// What only a database server does

namespace {

class PgServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        QV_SKIP_WITHOUT_PG();
        db.open(schemas.connect("QVSYS"));
        db.executeScript("CREATE TABLE ADMTC (TC001 VARCHAR(14) PRIMARY KEY, TC004 VARCHAR(23));"
                         "INSERT INTO ADMTC VALUES ('1', 'a'); INSERT INTO ADMTC VALUES ('2', 'b');");
    }
    PgTestSchemas schemas;
    DbConnection db;
};

} // namespace

TEST_F(PgServer, ALostConnectionFailsTheCallAndTheNextOneConnectsAgainOnPostgres)
{
    const int pid = db.scalar("SELECT pg_backend_pid()").toInt();
    {
        DbConnection killer;
        killer.open(schemas.connect("QVSYS"));
        killer.scalar("SELECT pg_terminate_backend(:P)", {{"P", pid}});
    }
    try {
        db.query("SELECT TC001 FROM ADMTC");
        FAIL() << "the dropped connection went unnoticed";
    } catch (const DbError& e) {
        EXPECT_EQ(e.kind(), DbErrorKind::ConnectionLost) << e.what();
        EXPECT_NE(std::string(e.what()).find("was lost"), std::string::npos) << e.what();
    }
    EXPECT_EQ(db.query("SELECT TC001 FROM ADMTC").rows.size(), 2u) << "connected again";
    EXPECT_NE(db.scalar("SELECT pg_backend_pid()").toInt(), pid);

    // Inside a transaction: nothing of it stays, and the transaction is gone.
    const int pid2 = db.scalar("SELECT pg_backend_pid()").toInt();
    {
        DbTransaction tx(db, DbTransaction::Write);
        db.execute("INSERT INTO ADMTC VALUES ('3', 'c')");
        DbConnection killer;
        killer.open(schemas.connect("QVSYS"));
        killer.scalar("SELECT pg_terminate_backend(:P)", {{"P", pid2}});
        EXPECT_THROW(db.execute("INSERT INTO ADMTC VALUES ('4', 'd')"), DbError);
        // Not connected again behind the transaction's back: what followed would be
        // committed statement by statement.
        try {
            db.execute("INSERT INTO ADMTC VALUES ('5', 'e')");
            ADD_FAILURE() << "a statement after the loss ran outside the transaction";
        } catch (const DbError& e) {
            EXPECT_EQ(e.kind(), DbErrorKind::ConnectionLost) << e.what();
            EXPECT_NE(std::string(e.what()).find("must be rolled back"), std::string::npos) << e.what();
        }
        EXPECT_TRUE(db.inTransaction()) << "open until its owner ends it";
        EXPECT_THROW(tx.commit(), DbError);
    }
    EXPECT_FALSE(db.inTransaction());
    EXPECT_EQ(db.scalar("SELECT count(*) FROM ADMTC").toInt(), 2) << "connected again after the rollback";
}

TEST_F(PgServer, AFailedStatementLeavesTheTransactionUsableOnPostgres)
{
    DbTransaction tx(db, DbTransaction::Write);
    EXPECT_THROW(db.execute("INSERT INTO ADMTC VALUES ('1', 'x')"), DbError);
    try {
        db.execute("INSERT INTO ADMTC VALUES ('2', 'x')");
    } catch (const DbError& e) {
        EXPECT_EQ(e.kind(), DbErrorKind::UniqueViolation);
    }
    db.execute("INSERT INTO ADMTC VALUES ('3', 'x')");
    tx.commit();
    EXPECT_EQ(db.scalar("SELECT count(*) FROM ADMTC").toInt(), 3);
}

TEST_F(PgServer, AFailedStatementUndoesItselfAloneNotTheStatementsBeforeItOnPostgres)
{
    {
        DbTransaction tx(db, DbTransaction::Write);
        db.execute("INSERT INTO ADMTC VALUES ('3', 'c')");
        db.execute("UPDATE ADMTC SET TC004 = 'a2' WHERE TC001 = '1'");
        EXPECT_THROW(db.execute("INSERT INTO ADMTC VALUES ('3', 'again')"), DbError);
        // A statement run from a row callback, between two that fail.
        db.forEachRow("SELECT TC001 FROM ADMTC WHERE TC001 = '2'", {}, [&](const std::vector<Variant>&) {
            db.execute("UPDATE ADMTC SET TC004 = 'b2' WHERE TC001 = '2'");
            return true;
        });
        EXPECT_THROW(db.query("SELECT no_such_column FROM ADMTC"), DbError);
        db.execute("INSERT INTO ADMTC VALUES ('4', 'd')");
        tx.commit();
    }
    EXPECT_EQ(db.scalar("SELECT count(*) FROM ADMTC").toInt(), 4);
    EXPECT_EQ(VarToStr(db.scalar("SELECT TC004 FROM ADMTC WHERE TC001 = '1'")), "a2");
    EXPECT_EQ(VarToStr(db.scalar("SELECT TC004 FROM ADMTC WHERE TC001 = '2'")), "b2");
    EXPECT_EQ(VarToStr(db.scalar("SELECT TC004 FROM ADMTC WHERE TC001 = '3'")), "c");
    {
        // Rolled back, it leaves nothing, and the next transaction starts clean.
        DbTransaction tx(db, DbTransaction::Write);
        db.execute("INSERT INTO ADMTC VALUES ('5', 'e')");
        db.execute("INSERT INTO ADMTC VALUES ('6', 'f')");
    }
    DbTransaction tx(db, DbTransaction::Write);
    EXPECT_THROW(db.execute("INSERT INTO ADMTC VALUES ('1', 'x')"), DbError);
    db.execute("INSERT INTO ADMTC VALUES ('7', 'g')");
    tx.commit();
    EXPECT_EQ(db.scalar("SELECT count(*) FROM ADMTC").toInt(), 5);
}

TEST_F(PgServer, WritersFollowOneAnotherAndWaitNoLongerThanTheBusyTimeOnPostgres)
{
    DbConnection other;
    other.open(schemas.connect("QVSYS"));
    other.setBusyTimeout(200);
    DbTransaction tx(db, DbTransaction::Write);
    try {
        DbTransaction second(other, DbTransaction::Write);
        FAIL() << "a second writer did not wait";
    } catch (const DbError& e) {
        EXPECT_EQ(e.kind(), DbErrorKind::Busy) << e.what();
    }
    EXPECT_FALSE(other.inTransaction()) << "no half-opened transaction is left";
    // Readers do not wait for the writer.
    EXPECT_EQ(other.scalar("SELECT count(*) FROM ADMTC").toInt(), 2);
    tx.commit();
    DbTransaction second(other, DbTransaction::Write);
    second.commit();
}

TEST_F(PgServer, QueriesFromOutsideOnlyReadAndStayInTheirBoundsOnPostgres)
{
    for (const char* sql : {"SELECT pg_read_file('/etc/passwd')", "SELECT set_config('search_path', 'x', false)",
                            "WITH d AS (DELETE FROM ADMTC RETURNING *) SELECT * FROM d", "COPY ADMTC TO STDOUT",
                            "SELECT nextval('x')"})
        EXPECT_THROW(db.query(sql, {}, DbAccess::QueryOnly), DbError) << sql;
    EXPECT_EQ(db.scalar("SELECT count(*) FROM ADMTC").toInt(), 2);
    EXPECT_FALSE(db.inTransaction());

    db.setQueryLimits({0, 1, 0, 0});
    try {
        db.query("SELECT TC001 FROM ADMTC", {}, DbAccess::QueryOnly);
        FAIL() << "the row limit was not kept";
    } catch (const DbError& e) {
        EXPECT_EQ(e.kind(), DbErrorKind::RowLimit);
    }
    db.setQueryLimits({100, 0, 0, 0});
    try {
        db.query("SELECT count(*) FROM generate_series(1, 100000000)", {}, DbAccess::QueryOnly);
        FAIL() << "the time limit was not kept";
    } catch (const DbError& e) {
        EXPECT_EQ(e.kind(), DbErrorKind::TimeLimit) << e.what();
    }
    EXPECT_EQ(db.query("SELECT TC001 FROM ADMTC ORDER BY TC001", {}, DbAccess::QueryOnly).rows.size(), 2u);
}

TEST(SqlAdapterPostgreSQL, LikeTakesTheConfiguredCollationOnItsPatternAndSQLiteKeepsTheText)
{
    SqlSchemaInfo s = schemaWith({"TA004"});
    s.likeCollation = "und-x-icu";
    EXPECT_EQ(pgTr("where TA004 LIKE 'A%' and x = 1", s), "where TA004 ILIKE ('A%') COLLATE \"und-x-icu\" ESCAPE '' and x = 1");
    EXPECT_EQ(pgTr("where a not like '%' + :P + '%' order by a", s),
              "where a not ILIKE ('%' + $1 + '%') COLLATE \"und-x-icu\" ESCAPE '' order by a");
    EXPECT_EQ(pgTr("where a like 'x!%' escape '!'", s), "where a ILIKE ('x!%') COLLATE \"und-x-icu\" escape '!'");
    EXPECT_EQ(pgTr("where (a LIKE b)", s), "where (a ILIKE (b) COLLATE \"und-x-icu\" ESCAPE '')");
    s.likeCollation = "x\"; DROP TABLE t; --";
    EXPECT_EQ(pgTr("where a LIKE b", s), "where a ILIKE (b) COLLATE \"x\"\"; DROP TABLE t; --\" ESCAPE ''")
        << "a name, never text of the statement";
    for (const char* sql : {"where TA004 LIKE 'A%'", "where a like 'x!%' escape '!'"})
        EXPECT_EQ(TranslateSql(sql, s, DbDialect::SQLite).text, sql);
}

TEST_F(PgServer, LikeComparesByTheConfiguredCollationOnPostgres)
{
    db.execute("CREATE TABLE NAMES (N VARCHAR(20))");
    for (const char* n : {"École", "ecole", "Zürich", "ZÜRICH"})
        db.execute("INSERT INTO NAMES VALUES (:N)", {{"N", n}});
    const auto matches = [&](const std::string& collation, const std::string& pattern) {
        DbConnection c;
        c.open(schemas.connect("QVSYS") + (collation.empty() ? "" : ";Like Collation=" + collation));
        return c.scalar("SELECT count(*) FROM NAMES WHERE N LIKE :P", {{"P", pattern}}).toInt();
    };
    // "C" folds ASCII letters only; the database's own (C.UTF-8) and ICU fold every letter.
    EXPECT_EQ(matches("C", "é%"), 0);
    EXPECT_EQ(matches("C", "e%"), 1);
    EXPECT_EQ(matches("C", "zür%"), 1);
    EXPECT_EQ(matches("und-x-icu", "é%"), 1);
    EXPECT_EQ(matches("und-x-icu", "zür%"), 2);
    EXPECT_EQ(matches("", "zür%"), 2);

    // The name travels with the connection string, to the library's own connections too.
    DbConnection c;
    c.open(schemas.connect("QVSYS") + ";Like Collation=C");
    EXPECT_NE(c.connectString().find("Like Collation=C"), std::string::npos) << c.connectString();

    // A name the server does not know, or one it cannot match patterns by, fails at once.
    db.execute("CREATE COLLATION ci_" + schemas.schema("QVSYS") +
               " (provider = icu, locale = 'und-u-ks-level2', deterministic = false)");
    for (const std::string& bad : {std::string("no-such-collation"), "ci_" + schemas.schema("QVSYS")}) {
        try {
            DbConnection x;
            x.open(schemas.connect("QVSYS") + ";Like Collation=" + bad);
            ADD_FAILURE() << bad << " was taken";
        } catch (const DbError& e) {
            const std::string m = e.what();
            EXPECT_NE(m.find("The collation \"" + bad + "\" for LIKE comparisons (LikeCollation) cannot be used"),
                      std::string::npos)
                << m;
        }
    }
    db.execute("DROP COLLATION ci_" + schemas.schema("QVSYS"));
}

TEST_F(PgServer, AQueryThatNeedsMoreWorkingMemoryThanItsLimitIsStoppedOnPostgres)
{
    const std::string sort = "SELECT count(*) FROM (SELECT md5(g::text) m FROM generate_series(1, 200000) g "
                             "ORDER BY m) s";
    db.setQueryLimits({0, 0, 0, 1024 * 1024});
    try {
        db.query(sort, {}, DbAccess::QueryOnly);
        FAIL() << "the memory limit was not kept";
    } catch (const DbError& e) {
        EXPECT_EQ(e.kind(), DbErrorKind::MemoryLimit) << e.what();
        EXPECT_STREQ(e.what(), "The statement needed more than 1048576 bytes of working memory and was stopped");
    }
    EXPECT_FALSE(db.inTransaction());
    // Below the limit, and the connection's own work, run as before.
    EXPECT_EQ(db.query("SELECT TC001 FROM ADMTC ORDER BY TC001", {}, DbAccess::QueryOnly).rows.size(), 2u);
    EXPECT_EQ(db.scalar(sort).toInt(), 200000) << "the limit bounds queries from outside only";
    db.setQueryLimits({0, 0, 0, 64 * 1024 * 1024});
    EXPECT_EQ(db.query(sort, {}, DbAccess::QueryOnly).rows.at(0).at(0).toInt(), 200000);

    // A user who may not set the limit gets no unbounded query, and is told what to grant.
    const std::string role = "lim_" + schemas.schema("QVSYS");
    db.execute("CREATE ROLE " + role + " LOGIN");
    db.execute("GRANT USAGE ON SCHEMA " + schemas.schema("QVSYS") + ", qv_fn TO " + role);
    db.execute("GRANT SELECT ON ADMTC TO " + role);
    {
        DbConnection limited;
        limited.open(schemas.connect("QVSYS") + ";User=" + role);
        limited.setQueryLimits({0, 0, 0, 1024 * 1024});
        try {
            limited.query("SELECT TC001 FROM ADMTC", {}, DbAccess::QueryOnly);
            ADD_FAILURE() << "ran without its limit";
        } catch (const DbError& e) {
            EXPECT_NE(std::string(e.what()).find("GRANT SET ON PARAMETER temp_file_limit"), std::string::npos)
                << e.what();
        }
        EXPECT_FALSE(limited.inTransaction());
        db.execute("GRANT SET ON PARAMETER temp_file_limit TO " + role);
        EXPECT_EQ(limited.query("SELECT TC001 FROM ADMTC", {}, DbAccess::QueryOnly).rows.size(), 2u);
        EXPECT_THROW(limited.query(sort, {}, DbAccess::QueryOnly), DbError);
    }
    db.execute("REVOKE ALL ON PARAMETER temp_file_limit FROM " + role);
    db.execute("DROP OWNED BY " + role);
    db.execute("DROP ROLE " + role);
}

TEST(SqlAdapterPostgreSQL, ConversionsToTextEndAndNest)
{
    EXPECT_EQ(pgTr("select CAST('x' AS TEXT), CONVERT(TEXT, 'y')"), "select CAST('x' AS TEXT), CAST('y' AS TEXT)");
    EXPECT_EQ(pgTr("select CAST(CAST(x AS VARCHAR(3)) AS CHAR(4))"),
              "select qv_fn.qv_char(qv_fn.qv_char(x, 3, FALSE, -1), 4, TRUE, -1)");
}
