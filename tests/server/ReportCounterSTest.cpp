// The application server object as its callers see it: through late-bound calls that
// never raise, created from the server configuration and the class table.

#include "EnvGuard.h"
#include "ServerFixture.h"

#include <cstdlib>
#include <fstream>

using namespace servertest;

namespace {

class ReportCounter : public ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        server = Variant(DispatchPtr(std::make_shared<TdmReportCounter>(settings(), dsSession())));
    }

    Variant call(const char* name, std::vector<Variant> args)
    {
        return server.invoke(name, args);
    }

    Variant simple(const std::string& sql, const std::string& fields, const Variant& params = Variant(),
                   const std::string& db = "DEMO")
    {
        return call("SimpleSQL", {sql, fields, "01", db, params});
    }

    Variant server;
};

std::string readFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}


} // namespace

TEST_F(ReportCounter, SimpleSqlAnswersRowsInTheOrderOfTheColumnList)
{
    const Variant rows = simple("SELECT MA001, MA002, MA003 FROM $$PURMA ORDER BY MA001", "MA003, ma001");
    ASSERT_TRUE(rows.isArray());
    ASSERT_EQ(rows.lowBound(), 0);
    ASSERT_EQ(rows.highBound(), 2);
    EXPECT_EQ(rows[0].lowBound(), 0);
    EXPECT_EQ(rows[0].highBound(), 1);
    EXPECT_EQ(rows[0][0].toString(), "上海甲电子有限公司");
    EXPECT_EQ(rows[0][1].toString(), "S01");
    EXPECT_EQ(rows[2][1].toString(), "S03");

    const Variant all = simple("SELECT MA001, MA002 FROM $$PURMA WHERE MA001 = 'S02'", "");
    ASSERT_TRUE(all.isArray());
    EXPECT_EQ(all[0].highBound(), 1) << "an empty column list takes every column";
    EXPECT_EQ(all[0][1].toString(), "乙五金");

    // A column named twice has its value in both places (values are moved into the rows).
    const Variant twice = simple("SELECT MA001, MA002 FROM $$PURMA WHERE MA001 = 'S02'", "MA002,MA001,MA002");
    ASSERT_TRUE(twice.isArray());
    EXPECT_EQ(twice[0][0].toString(), "乙五金");
    EXPECT_EQ(twice[0][1].toString(), "S02");
    EXPECT_EQ(twice[0][2].toString(), "乙五金");

    const Variant byCompany = call("SimpleSQL", {"SELECT count(*) N FROM $$ACPTA", "N", "01", ""});
    ASSERT_TRUE(byCompany.isArray()) << "the company's database comes from ADMMC";
    EXPECT_EQ(byCompany[0][0].toInt(), 13);

    EXPECT_EQ(simple("SELECT '$$' X", "X", Variant(), "")[0][0].toString(), "$$") << "a quoted $$ is text";
    EXPECT_TRUE(simple("SELECT MA001 FROM $$PURMA WHERE 1 = 0", "MA001").isEmpty());
}

TEST_F(ReportCounter, SimpleSqlBindsTheGivenParameters)
{
    const std::string sql = "SELECT MA002 FROM $$PURMA WHERE MA001 = :ID AND MA008 = :CUR";
    const Variant rows = simple(sql, "MA002", Variant::list({Variant::list({"ID", "S01"}), Variant::list({":cur", "RMB"})}));
    ASSERT_TRUE(rows.isArray());
    EXPECT_EQ(rows[0][0].toString(), "甲电子");

    const Variant attack = Variant::list({Variant::list({"ID", "X' OR '1'='1"}), Variant::list({"CUR", "RMB"})});
    EXPECT_TRUE(simple(sql, "MA002", attack).isEmpty());
    EXPECT_TRUE(simple(sql, "MA002", Variant::list({Variant::list({"ID", "S01"})})).isEmpty()) << "a value missing";
    EXPECT_TRUE(simple(sql, "MA002", Variant::list({"ID", "S01"})).isEmpty()) << "not an array of pairs";
    EXPECT_TRUE(simple(sql, "MA002", "ID=S01").isEmpty());
}

TEST_F(ReportCounter, SimpleSqlNeverRaisesAndChangesNothing)
{
    const int before = count("PURMA");
    EXPECT_NO_THROW({
        EXPECT_TRUE(call("SimpleSQL", {}).isEmpty());
        EXPECT_TRUE(call("SimpleSQL", {Variant::list({1, 2}), "X", "01", "DEMO"}).isEmpty());
        EXPECT_TRUE(simple("SELEC nonsense", "X").isEmpty());
        EXPECT_TRUE(simple("SELECT MA001 FROM $$PURMA", "MA001,NOPE").isEmpty()) << "unknown column";
        EXPECT_TRUE(simple("SELECT MA001 FROM $$PURMA", "MA001,,MA002").isEmpty());
        EXPECT_TRUE(simple("SELECT MA001 FROM $$PURMA", "MA001", Variant(), "NODB").isEmpty());
        EXPECT_TRUE(simple("SELECT MA001 FROM $$PURMA", "MA001", Variant(), "../QVSYS").isEmpty());
        EXPECT_TRUE(call("SimpleSQL", {"SELECT MA001 FROM $$PURMA", "MA001", "99", ""}).isEmpty()) << "unknown company";
        EXPECT_TRUE(simple("SELECT 1 X; DELETE FROM $$PURMA", "X").isEmpty());
        EXPECT_TRUE(simple("DELETE FROM $$PURMA", "").isEmpty());
        EXPECT_TRUE(simple("INSERT INTO $$PURMA (MA001) VALUES ('S99')", "").isEmpty());
        EXPECT_TRUE(simple("DROP TABLE $$PURMA", "").isEmpty());
        EXPECT_TRUE(simple("BEGIN", "").isEmpty()) << "a transaction would hold the database for ever";
        EXPECT_TRUE(simple("SELECT 'open", "X").isEmpty());
    });
    EXPECT_EQ(count("PURMA"), before);
    // The server is still usable after the failures.
    EXPECT_TRUE(simple("SELECT MA001 FROM $$PURMA", "MA001").isArray());
}

TEST_F(ReportCounter, SimpleSqlPartsHandsTheAnswerOverInPartsWhileTheStatementRuns)
{
    const std::string sql = "SELECT TA001, TA002 FROM $$ACPTA ORDER BY TA001, TA002";
    std::vector<int> sizes;
    std::vector<Variant> rows;
    bool stopAfterFirst = false;
    const Variant receiver(MakeCallbackObject("Rows", [&](std::span<Variant> args) {
        const Variant& part = args[0];
        sizes.push_back(part.count());
        for (const Variant& row : part.elements())
            rows.push_back(row);
        return Variant(!stopAfterFirst);
    }));
    const auto parts = [&](const std::string& text, int partRows, const Variant& to) {
        sizes.clear();
        rows.clear();
        return call("SimpleSQLParts", {text, "TA002,TA001", "01", "DEMO", Variant(), to, partRows});
    };

    const Variant whole = simple(sql, "TA002,TA001");
    ASSERT_TRUE(whole.isArray());
    ASSERT_EQ(whole.count(), 13);
    EXPECT_EQ(parts(sql, 5, receiver).toInt(), 13);
    EXPECT_EQ(sizes, (std::vector<int>{5, 5, 3}));
    EXPECT_EQ(Variant::list(rows), whole) << "the parts make the answer SimpleSQL gives, in its order";
    EXPECT_EQ(parts(sql, 13, receiver).toInt(), 13);
    EXPECT_EQ(sizes, (std::vector<int>{13})) << "no empty part after a full one";
    EXPECT_EQ(parts(sql, 0, receiver).toInt(), 13) << "no size given: parts of 1,000";
    EXPECT_EQ(sizes, (std::vector<int>{13}));

    stopAfterFirst = true;
    EXPECT_EQ(parts(sql, 4, receiver).toInt(), 4) << "False from the receiver stops the statement";
    EXPECT_EQ(sizes, (std::vector<int>{4}));
    stopAfterFirst = false;

    const Variant none = parts("SELECT TA001, TA002 FROM $$ACPTA WHERE 1 = 0", 5, receiver);
    ASSERT_TRUE(none.type() == VarType::Int64 || none.type() == VarType::Int) << none.typeName();
    EXPECT_EQ(none.toInt(), 0);
    EXPECT_TRUE(sizes.empty()) << "no part without rows";

    // Failures answer Empty and say why; the server goes on.
    EXPECT_TRUE(parts("SELECT nothing FROM $$NOTABLE", 5, receiver).isEmpty());
    EXPECT_FALSE(call("ErrorDescript", {}).toString().empty());
    EXPECT_TRUE(parts("DELETE FROM $$ACPTA", 5, receiver).isEmpty());
    EXPECT_EQ(count("ACPTA"), 13);
    EXPECT_TRUE(parts(sql, 5, Variant("not an object")).isEmpty());
    EXPECT_NE(call("ErrorDescript", {}).toString().find("SimpleSQLParts needs an object"), std::string::npos);
    const Variant raising(MakeCallbackObject("Rows", [](std::span<Variant>) -> Variant {
        throw std::runtime_error("the list is full");
    }));
    EXPECT_TRUE(parts(sql, 5, raising).isEmpty());
    EXPECT_NE(call("ErrorDescript", {}).toString().find("the list is full"), std::string::npos);
    EXPECT_EQ(parts(sql, 5, receiver).toInt(), 13);
    EXPECT_EQ(call("ErrorDescript", {}).toString(), "");

    // The bounds hold for the whole answer, not for a part.
    ServerDbSettings bounded = settings();
    bounded.limits.rows = 10;
    const Variant small(DispatchPtr(std::make_shared<TdmReportCounter>(bounded)));
    std::vector<Variant> args{sql, "TA001", "01", "DEMO", Variant(), receiver, 4};
    sizes.clear();
    EXPECT_TRUE(small.invoke("SimpleSQLParts", args).isEmpty());
    EXPECT_NE(small.call("ErrorDescript").toString().find("QueryMaxRows"), std::string::npos)
        << small.call("ErrorDescript").toString();
    EXPECT_EQ(sizes, (std::vector<int>{4, 4})) << "what came before the bound was handed over";
}

TEST_F(ReportCounter, RightsOfUsersInAProgram)
{
    auto power = [&](const std::string& user, const std::string& program) {
        return call("GetPower", {Variant::list({"DEMO", user, program, ""})});
    };
    auto text = [](const Variant& v) {
        std::string s;
        for (int i = 0; i <= 6; ++i)
            s += v[i].toString();
        return s;
    };
    const Variant ds = power("DS", "WOFB07");
    ASSERT_TRUE(ds.isArray());
    EXPECT_EQ(ds.highBound(), 8);
    EXPECT_EQ(text(ds), "YYYYYYY") << "a super user may do everything";
    EXPECT_EQ(ds[8].toString(), "系统管理员");
    EXPECT_EQ(text(power("U001", "wofb07")), "YYYYYYN");
    const Variant u2 = power("U002", "WOFB07");
    EXPECT_EQ(text(u2), "YYNNYNN");
    EXPECT_EQ(u2[7].toString(), "TA004 LIKE 'S%'");
    EXPECT_EQ(text(power("U001", "ACPI01")), "NNNNNNN") << "no rights row, no rights";
    EXPECT_TRUE(power("U003", "WOFB07").isEmpty()) << "a disabled account";
    EXPECT_TRUE(power("NOBODY", "WOFB07").isEmpty());
    EXPECT_EQ(text(power("", "WOFB07")), "YYYYYYY") << "no user named: the session's own";
    EXPECT_EQ(text(call("GetPower", {"DEMO", "U001", "WOFB07", ""})), "YYYYYYN") << "four arguments";
}

TEST_F(ReportCounter, DialectAndConnectionString)
{
    EXPECT_EQ(call("SQLType", {}).toInt(), 3);

    const std::string cs = call("ResultConnectString", {"01", ""}).toString();
    DbConnection own;
    own.open(cs);
    EXPECT_EQ(own.scalar("SELECT count(*) FROM ADMTC").toInt(), 0) << "the queue is in the main database";
    EXPECT_EQ(own.scalar("SELECT count(*) FROM DEMO..TMCMD").toInt(), 5);
    EXPECT_EQ(call("ResultConnectString", {"99", ""}).toString(), "");
    EXPECT_EQ(call("ResultConnectString", {"01", "NODB"}).toString(), "");

    ServerDbSettings other = settings();
    other.dbType = "MSSQL";
    Variant mssql(DispatchPtr(std::make_shared<TdmReportCounter>(other)));
    EXPECT_EQ(mssql.call("SQLType").toInt(), 0);
    EXPECT_TRUE(mssql.call("SimpleSQL", {"SELECT 1 X", "X", "01", "DEMO"}).isEmpty()) << "no such database here";
}

// As the host makes it: the registry file names the server folder, BriskoS.ini the
// database folder, the class table the library.
TEST_F(ReportCounter, CreatedByProgIdFromTheServerConfiguration)
{
    const fs::path serverDir = dir.path() / "server";
    fs::create_directories(serverDir / "data");
    fs::rename(dir.file("QVSYS.db"), serverDir / "data" / "QVSYS.db");
    fs::rename(dir.file("DEMO.db"), serverDir / "data" / "DEMO.db");
    std::ofstream(dir.file("registry.ini")) << "[Software\\QVR\\Brisko]\nServerPath=" << serverDir.string() << "/\n";
    std::ofstream((serverDir / "BriskoS.ini").string())
        << "[DBE Setting]\nMainDBType=SQLite\nMainServerName=data\nMainDBName=QVSYS\n";

    const std::string bin = binFolder();
    const std::string library = (fs::path(bin) / "ReportCounterS.so").string();
    ASSERT_TRUE(fs::exists(library)) << library;
    std::ofstream(dir.file("classes.ini")) << "[Classes]\n" << TdmReportCounter::ProgId << "=" << library << "\n";

    EnvGuard registry;
    registry.set("QV_REGISTRY", dir.file("registry.ini"));
    EnvGuard classes;
    classes.set("QV_CLASS_TABLE", dir.file("classes.ini"));
    UnregisterOleClass(TdmReportCounter::ProgId);
    Variant obj(CreateOleObject(TdmReportCounter::ProgId));
    EXPECT_EQ(obj.call("SQLType").toInt(), 3);
    const Variant rows = obj.call("SimpleSQL", {"SELECT MF004 FROM $$CMSMF WHERE MF001 = :C", "MF004", "01", "DEMO",
                                                Variant::list({Variant::list({"C", "KWD"})})});
    ASSERT_TRUE(rows.isArray());
    EXPECT_EQ(rows[0][0].toInt(), 3);

    // A failure is answered Empty and leaves its reason in the server's alert log.
    EXPECT_TRUE(obj.call("SimpleSQL", {"SELECT nothing FROM $$NOTABLE", "X", "01", "DEMO"}).isEmpty());
    bool logged = false;
    if (fs::exists(serverDir / "Log"))
        for (const auto& e : fs::directory_iterator(serverDir / "Log"))
            logged = logged || (e.path().filename().string().rfind("Alert_ReportCounterS_", 0) == 0
                                && readFile(e.path().string()).find("NOTABLE") != std::string::npos);
    EXPECT_TRUE(logged);

    // Without the registry key the object still answers, with nothing.
    std::ofstream(dir.file("registry.ini"), std::ios::trunc) << "[Software\\Other]\n";
    Variant lost(CreateOleObject(TdmReportCounter::ProgId));
    EXPECT_TRUE(lost.call("SimpleSQL", {"SELECT 1 X", "X", "01", "DEMO"}).isEmpty());
    EXPECT_EQ(lost.call("ResultConnectString", {"01", "DEMO"}).toString(), "");
    UnregisterOleClass(TdmReportCounter::ProgId);
}

TEST(ServerDatabaseNames, OnlyPlainNamesReachTheFolder)
{
    EXPECT_TRUE(ServerDatabase::isValidDatabaseName("DEMO_2"));
    for (const char* bad : {"", "../x", "a/b", "a.b", "a b", "x'--", "DEMO;", "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDE"})
        EXPECT_FALSE(ServerDatabase::isValidDatabaseName(bad)) << bad;
}
