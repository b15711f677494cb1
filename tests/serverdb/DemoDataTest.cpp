#include "server/ServerFixture.h"

#include "dataset/Decimal.h"
#include "serverdb/DemoData.h"
#include "PgTestServer.h"

#include <algorithm>
#include <fstream>
#include <sstream>

using namespace servertest;

namespace {

// Every row of every table, in key order: equal dumps mean equal data.
std::string dump(const std::string& file)
{
    DbConnection db;
    db.openSqlite(file);
    std::string out;
    const DbRowSet tables = db.query("SELECT name FROM sqlite_schema WHERE type = 'table' ORDER BY name");
    for (const auto& t : tables.rows) {
        const std::string table = t[0].toString();
        out += "[" + table + "]\n";
        db.forEachRow("SELECT * FROM " + table + " ORDER BY 1, 2", {}, [&](const std::vector<Variant>& row) {
            for (const Variant& v : row)
                out += (v.isNull() ? std::string("<null>") : v.toString()) + "|";
            out += "\n";
            return true;
        });
    }
    return out;
}

// The same of a PostgreSQL schema: the tables in the order of their names, the values as
// the connection answers them.
std::string dump(DbConnection& db)
{
    std::string out;
    const DbRowSet tables = db.query("SELECT upper(table_name) FROM information_schema.tables "
                                     "WHERE table_schema = current_schema() ORDER BY 1");
    for (const auto& t : tables.rows) {
        const std::string table = t[0].toString();
        out += "[" + table + "]\n";
        db.forEachRow("SELECT * FROM " + table + " ORDER BY 1, 2", {}, [&](const std::vector<Variant>& row) {
            for (const Variant& v : row)
                out += (v.isNull() ? std::string("<null>") : v.toString()) + "|";
            out += "\n";
            return true;
        });
    }
    return out;
}

DemoOptions options(int documents, std::uint64_t seed = 1)
{
    DemoOptions o;
    o.documents = documents;
    o.seed = seed;
    return o;
}

} // namespace

TEST(DemoData, SameOptionsGiveTheSameData)
{
    TempFolder a, b, c;
    const DemoFiles fa = CreateDemoDatabases(a.path().string(), options(200), false);
    const DemoFiles fb = CreateDemoDatabases(b.path().string(), options(200), false);
    const DemoFiles fc = CreateDemoDatabases(c.path().string(), options(200, 2), false);
    EXPECT_EQ(dump(fa.companyFile), dump(fb.companyFile));
    EXPECT_EQ(dump(fa.systemFile), dump(fb.systemFile));
    EXPECT_NE(dump(fa.companyFile), dump(fc.companyFile)) << "another seed, other documents";
}

TEST(DemoData, DocumentsOfEveryKindInEveryState)
{
    TempFolder dir;
    const DemoFiles files = CreateDemoDatabases(dir.path().string(), options(400), false);
    DbConnection db;
    db.openSqlite(files.systemFile);
    db.attach("DEMO", files.companyFile);
    auto n = [&](const std::string& sql) { return db.scalar(sql).toInt(); };

    EXPECT_EQ(n("SELECT count(*) FROM DEMO..ACPTA"), 200);
    EXPECT_EQ(n("SELECT count(*) FROM DEMO..ACPTI"), 100);
    EXPECT_EQ(n("SELECT count(*) FROM DEMO..ACPTK"), 100);
    // Each filter of the candidate queries has documents to exclude.
    for (const char* where : {"TA024 = 'N'", "TA030 > 0", "TA087 = '2'", "TA087 = '3'", "TA079 <> '1'", "TA080 = 'Y'",
                              "TA033 = 'Y'", "TA050 > 0", "TA008 <> 'RMB'"})
        EXPECT_GT(n(std::string("SELECT count(*) FROM DEMO..ACPTA WHERE ") + where), 0) << where;
    for (const char* where : {"TI013 = 'N'", "TI017 > 0", "TI029 = '3'", "TI031 <> '1'", "TI035 <> '1'", "TI043 = 'Y'"})
        EXPECT_GT(n(std::string("SELECT count(*) FROM DEMO..ACPTI WHERE ") + where), 0) << where;
    for (const char* where : {"TK020 = 'N'", "TK035 > 0", "TK028 = '3'", "TK043 <> '1'"})
        EXPECT_GT(n(std::string("SELECT count(*) FROM DEMO..ACPTK WHERE ") + where), 0) << where;
    // Kinds of payables and refund document types.
    EXPECT_EQ(n("SELECT count(DISTINCT MQ003) FROM DEMO..ACPTA JOIN DEMO..CMSMQ ON MQ001 = TA001"), 3);
    EXPECT_GE(n("SELECT count(*) FROM DEMO..CMSMQ WHERE MQ003 = '7D'"), 2);
    EXPECT_EQ(n("SELECT count(*) FROM DEMO..ACPTA WHERE NOT EXISTS "
                "(SELECT 1 FROM DEMO..ACPTB WHERE TB001 = TA001 AND TB002 = TA002)"), 0) << "every voucher has lines";
    EXPECT_EQ(n("SELECT count(*) FROM DEMO..ACPTA WHERE TA003 > '20240630' OR TA003 <= '20230630'"), 0);

    // The open payables in local currency are a real subset.
    const int open = n("SELECT count(*) FROM DEMO..ACPTA WHERE TA024='Y' AND Round(TA030,3)=0.0 AND TA079='1' AND "
                       "TA087='1' AND TA080='N' AND TA033='N' AND TA008='RMB'");
    EXPECT_GT(open, 20);
    EXPECT_LT(open, 200);

    // Currencies with different decimals, suppliers with Chinese names.
    EXPECT_EQ(n("SELECT count(DISTINCT MF004) FROM DEMO..CMSMF"), 4);
    EXPECT_EQ(n("SELECT MF004 FROM DEMO..CMSMF WHERE MF001 = 'JPY'"), 0);
    EXPECT_GE(n("SELECT count(*) FROM DEMO..PURMA WHERE MA002 GLOB '*[^ -~]*'"), 10);

    // Settings, users and programs of the system database.
    const DbRowSet settings = db.query("SELECT MS002, MS003 FROM ADMMS WHERE MS001 = '01' ORDER BY MS002");
    std::string s;
    for (const auto& r : settings.rows)
        s += r[0].toString() + "=" + r[1].toString() + ";";
    EXPECT_EQ(s, "QVR002=华东示范电子有限公司;Sys001=1;Sys002=/;Sys003=RMB;Sys029=202401;Sys030=202312;");
    EXPECT_EQ(db.scalar("SELECT MC003 FROM ADMMC WHERE MC001 = '01'").toString(), "DEMO");
    EXPECT_GE(n("SELECT count(*) FROM QVRMA WHERE MA007 = 'Y'"), 3);
    const DbRowSet prog = db.query("SELECT MB002, MB005, MB008 FROM ADMMB WHERE MB001 = 'WOFB07'");
    ASSERT_EQ(prog.rows.size(), 1u);
    EXPECT_EQ(prog.rows[0][0].toString(), "应付账款转销作业");
    EXPECT_EQ(prog.rows[0][1].toString(), "N");
    EXPECT_EQ(prog.rows[0][2].toString(), "A/P Write-off Batch");
    EXPECT_EQ(n("SELECT count(*) FROM DEMO..TMCMD JOIN DEMO..TMCMC ON MC001 = MD001 AND MC002 = MD002 "
                "WHERE UPPER(MC005) = 'WOFB07' AND MD004 = '6' AND trim(ifnull(MD007, '')) <> ''"), 2);
    EXPECT_EQ(n("SELECT count(*) FROM DEMO..ACPLC WHERE LC001 = 'WOFB07-B0001'"), 2);
}

TEST(DemoData, AmountsAreExactTextsAndEveryKindHasOpenDocumentsInSeveralCurrencies)
{
    TempFolder dir;
    const DemoFiles files = CreateDemoDatabases(dir.path().string(), options(600), false);
    DbConnection db;
    db.openSqlite(files.companyFile);
    for (const char* column : {"TA028", "TA030", "TA037", "TA050", "TA085", "TI015", "TI016", "TK030", "TK031",
                               "TK036", "MF005", "LC010", "TB009"}) {
        const std::string table = std::string(column).substr(0, 2) == "MF" ? "CMSMF"
                                  : std::string(column).substr(0, 2) == "LC" ? "ACPLC"
                                                                             : std::string("ACPT") + column[1];
        EXPECT_EQ(db.scalar("SELECT count(*) FROM " + table + " WHERE typeof(" + column + ") <> 'text'").toInt(), 0)
            << column;
    }
    // A settled payable's paid amount is exactly its amount and tax.
    int settled = 0;
    db.forEachRow("SELECT TA028, TA029, TA030 FROM ACPTA WHERE TA087 = '3'", {}, [&](const std::vector<Variant>& r) {
        EXPECT_EQ(Decimal::parse(r[0].toString()) + Decimal::parse(r[1].toString()), Decimal::parse(r[2].toString()));
        ++settled;
        return true;
    });
    EXPECT_GT(settled, 0);
    // Open documents of each kind in more than one currency, so that the currency filter matters.
    for (const char* sql :
         {"SELECT count(DISTINCT TA008) FROM ACPTA WHERE TA024='Y' AND Round(TA030,3)=0.0 AND TA087='1' AND TA080='N'",
          "SELECT count(DISTINCT TI007) FROM ACPTI WHERE TI013='Y' AND Round(TI017,3)=0.0 AND TI029='1'",
          "SELECT count(DISTINCT TK007) FROM ACPTK WHERE TK020='Y' AND Round(TK035,3)=0.0 AND TK028='1'"})
        EXPECT_GE(db.scalar(sql).toInt(), 3) << sql;
}

TEST(DemoData, ExistingDatabasesAreKeptUnlessReplaced)
{
    TempFolder dir;
    CreateDemoDatabases(dir.path().string(), options(10), false);
    const std::string before = dump(dir.file("DEMO.db"));
    EXPECT_THROW(CreateDemoDatabases(dir.path().string(), options(20), false), DbError);
    EXPECT_EQ(dump(dir.file("DEMO.db")), before);

    DemoOptions bad = options(20);
    bad.lastDate = "20241340";
    EXPECT_THROW(CreateDemoDatabases(dir.path().string(), bad, true), DbError);
    bad = options(20);
    bad.companyDatabase = "../DEMO";
    EXPECT_THROW(CreateDemoDatabases(dir.path().string(), bad, true), DbError);
    EXPECT_EQ(dump(dir.file("DEMO.db")), before) << "a refused run leaves the old files";
    EXPECT_FALSE(fs::exists(dir.file("DEMO.db.new")));

    CreateDemoDatabases(dir.path().string(), options(20), true);
    DbConnection db;
    db.openSqlite(dir.file("DEMO.db"));
    EXPECT_EQ(db.scalar("SELECT count(*) FROM ACPTA").toInt(), 10);
}

TEST(DemoData, TheSetupProgramMakesAnInstallationTheServerServes)
{
    TempFolder dir;
    const std::string bin = binFolder();
    const std::string setup = (fs::path(bin) / "qvsetup").string();
    ASSERT_TRUE(fs::exists(setup)) << setup;
    const std::string data = dir.file("data");
    const std::string cmd = setup + " --folder '" + data + "' --documents 40 --company 02 --company-db ACME > '"
                            + dir.file("out.txt") + "' 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_NE(std::system((cmd + " ").c_str()), 0) << "a second run keeps what is there";
    EXPECT_NE(std::system((setup + " --documents x > /dev/null 2>&1").c_str()), 0);

    ServerDbSettings s;
    s.dbType = "SQLITE";
    s.folder = data;
    TdmReportCounter server(s);
    const Variant rows = server.SimpleSQL("SELECT count(*) N FROM $$ACPTA", "N", "02", "");
    ASSERT_TRUE(rows.isArray());
    EXPECT_EQ(rows[0][0].toInt(), 20);
}

TEST(DemoDataOnPostgres, TheSetupProgramMakesTheSameDataOnPostgreSQLAsOnSQLite)
{
    QV_SKIP_WITHOUT_PG();
    PgTestDatabase pg;
    TempFolder dir;
    const std::string bin = binFolder();
    const DbServerLogin l = pg.login("QVSYS");
    const std::string server = "Host=" + l.host + ";Port=" + l.port + ";Database=" + l.database + ";User=" + l.user;
    const std::string cmd = (fs::path(bin) / "qvsetup").string() + " --database postgresql --server '" + server
                            + "' --documents 120 > '" + dir.file("out.txt") + "' 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << std::ifstream(dir.file("out.txt")).rdbuf();
    EXPECT_NE(std::system(cmd.c_str()), 0) << "a second run keeps what is there";
    ASSERT_EQ(std::system((cmd.substr(0, cmd.find(" > ")) + " --replace > /dev/null 2>&1").c_str()), 0);

    const DemoFiles files = CreateDemoDatabases(dir.file("data"), options(120), false);
    DbConnection sys, co;
    sys.openPostgres(pg.login("QVSYS"));
    co.openPostgres(pg.login("DEMO"));
    // The first line that differs, rather than two dumps of thousands of lines.
    // Rows of equal keys may come in either order: each table's rows are compared sorted.
    auto sortedRows = [](const std::string& dumpText) {
        std::istringstream in(dumpText);
        std::vector<std::string> rows;
        std::string line, table;
        while (std::getline(in, line)) {
            if (!line.empty() && line[0] == '[')
                table = line;
            else
                rows.push_back(table + line);
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    };
    auto firstDifference = [&](const std::string& a, const std::string& b) {
        const std::vector<std::string> ra = sortedRows(a), rb = sortedRows(b);
        for (std::size_t n = 0; n < std::max(ra.size(), rb.size()); ++n)
            if (n >= ra.size() || n >= rb.size() || ra[n] != rb[n])
                return "row " + std::to_string(n) + ":\n  " + (n < ra.size() ? ra[n] : "-") + "\n  "
                       + (n < rb.size() ? rb[n] : "-");
        return std::string();
    };
    EXPECT_EQ(firstDifference(dump(sys), dump(files.systemFile)), "");
    EXPECT_EQ(firstDifference(dump(co), dump(files.companyFile)), "");
    EXPECT_EQ(co.scalar("SELECT pg_typeof(TA028)::text FROM ACPTA LIMIT 1").toString(), "numeric");

    ServerDbSettings s;
    s.dbType = "POSTGRESQL";
    s.server = PgTestLogin(pg.name());
    TdmReportCounter counter(s);
    const Variant rows = counter.SimpleSQL("SELECT count(*) N FROM $$ACPTA", "N", "01", "");
    ASSERT_TRUE(rows.isArray()) << counter.ErrorDescript();
    EXPECT_EQ(rows[0][0].toInt(), co.scalar("SELECT count(*) FROM ACPTA").toInt());
}

TEST(DemoDataOnPostgres, IfMissingKeepsBothSchemasAndMakesBothAgainWhenOneIsGone)
{
    QV_SKIP_WITHOUT_PG();
    PgTestDatabase pg;
    TempFolder dir;
    const DbServerLogin l = pg.login("QVSYS");
    const std::string server = "Host=" + l.host + ";Port=" + l.port + ";Database=" + l.database + ";User=" + l.user;
    const std::string out = dir.file("out.txt");
    const std::string cmd = (fs::path(binFolder()) / "qvsetup").string() + " --database postgresql --server '" + server
                            + "' --documents 30 --if-missing > '" + out + "' 2>&1";
    auto said = [&] { return std::string(std::istreambuf_iterator<char>(std::ifstream(out).rdbuf()), {}); };

    ASSERT_EQ(std::system(cmd.c_str()), 0) << said();
    EXPECT_NE(said().find("Company database: schema demo"), std::string::npos) << said();
    DbConnection co;
    co.openPostgres(pg.login("DEMO"));
    const int payables = co.scalar("SELECT count(*) FROM ACPTA").toInt();
    ASSERT_GT(payables, 0);
    co.execute("UPDATE ACPTA SET TA021 = 'kept'");
    ASSERT_EQ(std::system(cmd.c_str()), 0) << said();
    EXPECT_NE(said().find("Kept the schemas qvsys and demo"), std::string::npos) << said();
    EXPECT_EQ(co.scalar("SELECT count(*) FROM ACPTA WHERE TA021 <> 'kept'").toInt(), 0) << "nothing was made again";

    // The system schema gone: both are made again, the company's changes with it.
    co.close();
    {
        DbConnection sys;
        sys.openPostgres(pg.login("QVSYS"));
        sys.executeScript("DROP SCHEMA qvsys CASCADE");
    }
    ASSERT_EQ(std::system(cmd.c_str()), 0) << said();
    EXPECT_NE(said().find("System database:  schema qvsys"), std::string::npos) << said();
    co.openPostgres(pg.login("DEMO"));
    EXPECT_EQ(co.scalar("SELECT count(*) FROM ACPTA WHERE TA021 = 'kept'").toInt(), 0);
    EXPECT_EQ(co.scalar("SELECT count(*) FROM ACPTA").toInt(), payables);

    const std::string sqlite = (fs::path(binFolder()) / "qvsetup").string() + " --folder '" + dir.file("data")
                               + "' --if-missing > /dev/null 2>&1";
    EXPECT_NE(std::system(sqlite.c_str()), 0) << "--if-missing serves PostgreSQL alone";
}
