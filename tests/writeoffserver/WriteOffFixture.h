#pragma once
// An installation for the write-off job: registry.ini naming the server folder,
// BriskoS.ini with the database folder and S_PKG/ holding WOFB07S.so, the system database
// (company 01 in DEMO, local currency RMB, books closed up to 202312) and a company
// database with a few documents of each kind: open ones and ones that fail one
// condition each. Amounts are stored as exact texts.

#include "server/JobFixture.h"
#include "platform/AsciiText.h"
#include "server/ServerLibrary.h"
#include "support/MessageText.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace wotest {

// The job's texts are message codes; the checks read them as an English clerk does.
inline std::string English(const std::string& messages)
{
    return WordMessages(messages, HostLanguage::English, "; ");
}

using Row = std::map<std::string, Variant>;

inline void insertRow(DbConnection& db, const std::string& table, Row defaults, const Row& values)
{
    for (const auto& [k, v] : values)
        defaults[k] = v;
    std::string cols, marks;
    DbParams params;
    for (const auto& [k, v] : defaults) {
        cols += (cols.empty() ? "" : ", ") + k;
        marks += (marks.empty() ? ":" : ", :") + k;
        params.emplace_back(k, v);
    }
    db.execute("INSERT INTO " + table + " (" + cols + ") VALUES (" + marks + ")", params);
}

// The options of one run, as the write-off form sends them.
struct WriteOffRun {
    int type = 1;
    std::string date = "20240630";
    std::string currency = "RMB";
    Variant suppliers = Variant::list({"\x04", "S01", "S02"});
    std::string batch = "B0100";
    std::string transfer = "S09";
    std::string refundType;
    std::vector<std::string> documents;
    bool log = false;
    std::string request = "20240630000001";
    std::string extra;
};

inline Variant optionValues(const WriteOffRun& r)
{
    Variant v = Variant::array(1, 17);
    v[1] = r.type;
    v[2] = Variant::list({"\x04", r.date, r.date});
    v[3] = Variant::list({"\x04", "20240101", r.date});
    v[4] = r.currency;
    v[5] = r.suppliers;
    for (int i = 6; i <= 9; ++i)
        v[i] = "";
    v[10] = r.batch;
    v[11] = r.transfer;
    v[12] = r.refundType;
    Variant docs = Variant::array(0, r.documents.empty() ? 0 : int(r.documents.size()) - 1);
    if (r.documents.empty())
        docs[0] = "NN";
    for (std::size_t i = 0; i < r.documents.size(); ++i)
        docs[int(i)] = r.documents[i];
    v[13] = docs;
    v[14] = "select ... (never run)";
    v[15] = "转销供应商";
    v[16] = r.log ? "Y" : "N";
    v[17] = r.date;
    return v;
}

// The packet of slot 3 for a job of kind B.
inline Variant packetOf(const WriteOffRun& r)
{
    return Variant::list({r.request, "01", "DS", optionValues(r), "DEMO", r.extra, 3});
}

// The request as the write-off form hands it to the job service.
inline Variant queueRequestOf(const WriteOffRun& r)
{
    Variant env = Variant::array(1, 12);
    env[1] = "WOFB07";
    env[2] = 12;
    env[3] = 17; // OptionCount
    env[4] = "01";
    env[5] = "DS";
    env[6] = "DEMO";
    env[7] = Variant::date(Now());
    env[8] = "WOFB07S.Class1";
    env[9] = "B";
    env[10] = 0;
    env[11] = Variant::date(Now());
    env[12] = "";
    Variant texts = Variant::array(1, 17);
    const char* controls[] = {"", "cbo01", "ed02", "sp03", "ed04", "sp05", "sp06", "sp07", "sp08", "sp09",
                              "ed10", "ed11", "ed12", "btnFilter", "btnFilter", "lbl11C", "chkLog", "edPrintDate"};
    for (int i = 1; i <= 17; ++i)
        texts[i] = Variant::list({std::string("条件") + std::to_string(i), controls[i]});
    return Variant::list({env, texts, optionValues(r)});
}

class WriteOffFixture : public ::testing::Test {
protected:
    // On PostgreSQL the installation's databases are schemas of a database of the test's own.
    explicit WriteOffFixture(bool postgres = false) : onPostgres(postgres) {}

    void SetUp() override
    {
        if (onPostgres && PgConnectBase().empty())
            GTEST_SKIP() << "QV_PG_CONNECT is not set: no PostgreSQL server for this case "
                            "(start one with tests/pg/cluster.sh start)";
        std::string dbe = "MainDBType=SQLITE\nMainServerName=data\nMainDBName=QVSYS\n";
        if (onPostgres) {
            pgDb = std::make_unique<PgTestDatabase>();
            const DbServerLogin l = pgDb->login("QVSYS");
            dbe = "MainDBType=POSTGRESQL\nMainServerName=" + l.host + ":" + l.port + "\nMainDBName=QVSYS\nMainUserName="
                  + l.user + "\nPostgresDatabase=" + l.database + "\n";
        }
        install.registry("[Software\\QVR\\Brisko]\nServerPath=" + install.path("server/") + "\nProfileType=0\n");
        install.write("server/BriskoS.ini", "[CodePage]\nUICodePage=936\nDBCodePage=936\n"
                                            "[DBE Setting]\n" + dbe + "[WorkDLLPath]\n1="
                                                + install.path("server/S_PKG/") + "\n");
        std::filesystem::create_directories(install.path("server/data"));
        std::filesystem::create_directories(install.path("server/S_PKG"));
        std::filesystem::create_symlink(library(), install.path("server/S_PKG/WOFB07S.so"));
        {
            DbConnection sys;
            if (onPostgres)
                sys.openPostgres(pgDb->login("QVSYS", true));
            else
                sys.openSqlite(install.path("server/data/QVSYS.db"), true);
            CreateSchema(sys, "system");
            sys.executeScript(R"(
                INSERT INTO ADMMC VALUES ('01', '示范公司', 'DEMO', 'Y');
                INSERT INTO ADMMS (MS001, MS002, MS003) VALUES ('01', 'Sys003', 'RMB');
                INSERT INTO ADMMS (MS001, MS002, MS003) VALUES ('01', 'Sys029', '202401');
                INSERT INTO ADMMS (MS001, MS002, MS003) VALUES ('01', 'Sys030', '202312');
                INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('DS', '系统管理员', 'Y', 'Y');
                INSERT INTO ADMMB (MB001, MB002, MB004) VALUES ('WOFB07', '应付账款转销作业', 'B');
            )");
        }
        DbConnection co;
        if (onPostgres)
            co.openPostgres(pgDb->login("DEMO", true));
        else
            co.openSqlite(install.path("server/data/DEMO.db"), true);
        CreateSchema(co, "company");
        DbTransaction tx(co);
        co.executeScript(R"(
            INSERT INTO PURMA (MA001, MA002, MA008) VALUES ('S01', '甲电子', 'RMB');
            INSERT INTO PURMA (MA001, MA002, MA008) VALUES ('S02', '乙五金', 'RMB');
            INSERT INTO PURMA (MA001, MA002, MA008) VALUES ('S03', '丙贸易', 'USD');
            INSERT INTO PURMA (MA001, MA002, MA008) VALUES ('S09', '转销对象', 'RMB');
            INSERT INTO CMSMF (MF001, MF002, MF004, MF005) VALUES ('RMB', '人民币', 2, '1');
            INSERT INTO CMSMF (MF001, MF002, MF004, MF005) VALUES ('USD', '美元', 2, '7.1');
            INSERT INTO CMSMQ (MQ001, MQ002, MQ003) VALUES ('7101', '采购发票', '71');
            INSERT INTO CMSMQ (MQ001, MQ002, MQ003) VALUES ('7A01', '进口采购发票', '7A');
            INSERT INTO CMSMQ (MQ001, MQ002, MQ003) VALUES ('7F01', '费用发票', '7F');
            INSERT INTO CMSMQ (MQ001, MQ002, MQ003) VALUES ('7B01', '其他应付单', '7B');
            INSERT INTO CMSMQ (MQ001, MQ002, MQ003) VALUES ('7C01', '预付款单', '7C');
            INSERT INTO CMSMQ (MQ001, MQ002, MQ003) VALUES ('7D01', '预付退款单', '7D');
        )");
        const Row payable = {{"TA003", "20240110"}, {"TA004", "S01"}, {"TA008", "RMB"}, {"TA009", "1"},
                             {"TA024", "Y"}, {"TA028", "100.10"}, {"TA029", "13.02"}, {"TA030", "0"},
                             {"TA033", "N"}, {"TA034", "20240110"}, {"TA037", "100.1"}, {"TA038", "13.02"},
                             {"TA050", "0"}, {"TA051", "0"}, {"TA079", "1"}, {"TA080", "N"}, {"TA085", "0"},
                             {"TA087", "1"}, {"FLAG", 4}};
        auto addPayable = [&](const std::string& type, const std::string& no, const Row& values, int lines = 1) {
            Row r = values;
            r["TA001"] = type;
            r["TA002"] = no;
            insertRow(co, "ACPTA", payable, r);
            for (int l = 1; l <= lines; ++l)
                insertRow(co, "ACPTB", {{"TB001", type}, {"TB002", no}, {"TB003", "000" + std::to_string(l)}}, {});
        };
        addPayable("7101", "20240110001", {});                                                     // open
        addPayable("7A01", "12", {{"TA004", "S02"}, {"TA028", "0.1"}, {"TA029", "0.2"}, {"TA037", "0.7"},
                                  {"TA038", "0.01"}, {"TA051", "0.02"}, {"TA085", "0.03"}});       // open
        addPayable("7F01", "20240201001", {{"TA003", "20240201"}, {"TA034", "20240201"}});         // open
        addPayable("7101", "20240117001", {{"TA030", "113.12"}, {"TA087", "3"}});                  // settled
        addPayable("7101", "20240116001", {{"TA024", "N"}});                                        // unconfirmed
        addPayable("7101", "20240122001", {{"TA008", "USD"}, {"TA004", "S03"}});                    // USD
        addPayable("7101", "20240701001", {{"TA003", "20240701"}, {"TA034", "20240701"}});         // after the date
        addPayable("7101", "20240124001", {}, 0);                                                  // no lines
        addPayable("7101", "20240125001", {{"TA004", "S09"}});                                      // transfer supplier's

        const Row other = {{"TI001", "7B01"}, {"TI003", "20240105"}, {"TI004", "S01"}, {"TI007", "RMB"},
                           {"TI008", "1"}, {"TI013", "Y"}, {"TI015", "300"}, {"TI016", "300"}, {"TI017", "0"},
                           {"TI018", "0"}, {"TI019", "20240105"}, {"TI026", "0"}, {"TI029", "1"}, {"TI031", "1"},
                           {"TI032", "1.5"}, {"TI035", "1"}, {"TI043", "N"}};
        auto addOther = [&](const std::string& no, const Row& values) {
            Row r = values;
            r["TI002"] = no;
            insertRow(co, "ACPTI", other, r);
            insertRow(co, "ACPTJ", {{"TJ001", "7B01"}, {"TJ002", no}, {"TJ003", "0001"}}, {});
        };
        addOther("20240105001", {});
        addOther("20240106001", {{"TI004", "S02"}, {"TI015", "80.25"}, {"TI016", "80.25"}});
        addOther("20240109001", {{"TI029", "3"}});

        const Row prepay = {{"TK001", "7C01"}, {"TK003", "20240107"}, {"TK004", "S01"}, {"TK007", "RMB"},
                            {"TK008", "1"}, {"TK020", "Y"}, {"TK022", "20240107"}, {"TK028", "1"},
                            {"TK030", "500"}, {"TK031", "500"}, {"TK035", "0"}, {"TK036", "0"}, {"TK037", "0"},
                            {"TK039", "0"}, {"TK043", "1"}};
        auto addPrepay = [&](const std::string& no, const Row& values) {
            Row r = values;
            r["TK002"] = no;
            insertRow(co, "ACPTK", prepay, r);
        };
        addPrepay("20240107001", {});
        addPrepay("20240108001", {{"TK004", "S02"}, {"TK030", "60.5"}, {"TK031", "60.5"}});
        addPrepay("20240111001", {{"TK028", "3"}});
        tx.commit();
    }

    static std::string library() { return TestBinDir() + "/WOFB07S.so"; }

    // Runs the packet through the library file, as a client or the server does.
    ServerLibraryOutcome runLibrary(const WriteOffRun& r) { return RunServerLibraryFile(library(), packetOf(r)); }

    DbConnection& company()
    {
        if (!company_.isOpen()) {
            if (onPostgres)
                company_.openPostgres(pgDb->login("DEMO"));
            else
                company_.openSqlite(install.path("server/data/DEMO.db"));
        }
        return company_;
    }
    std::string value(const std::string& sql, const DbParams& params = {})
    {
        return VarToStr(company().scalar(sql, params));
    }

    // Every row of every table, each value as the engine stores it (its SQL literal), so
    // that two snapshots are equal only when the files hold the same values.
    std::map<std::string, std::vector<std::string>> snapshot(const std::vector<std::string>& skipColumns = {})
    {
        std::map<std::string, std::vector<std::string>> out;
        std::vector<std::string> tables;
        if (onPostgres)
            return pgSnapshot(skipColumns);
        company().forEachRow("SELECT name FROM sqlite_schema WHERE type = 'table' ORDER BY name", {},
                             [&](const std::vector<Variant>& row) {
                                 tables.push_back(VarToStr(row[0]));
                                 return true;
                             });
        for (const std::string& t : tables) {
            std::string expr;
            company().forEachRow("SELECT name FROM pragma_table_info('" + t + "')", {},
                                 [&](const std::vector<Variant>& row) {
                                     const std::string c = VarToStr(row[0]);
                                     for (const std::string& s : skipColumns)
                                         if (SameTextAscii(s, c))
                                             return true;
                                     expr += (expr.empty() ? "" : " || '|' || ") + std::string("quote(") + c + ")";
                                     return true;
                                 });
            company().forEachRow("SELECT " + expr + " FROM " + t + " ORDER BY 1", {},
                                 [&](const std::vector<Variant>& row) {
                                     out[t].push_back(VarToStr(row[0]));
                                     return true;
                                 });
        }
        return out;
    }

    std::map<std::string, std::vector<std::string>> pgSnapshot(const std::vector<std::string>& skipColumns)
    {
        std::map<std::string, std::vector<std::string>> out;
        const DbRowSet tables = company().query("SELECT table_name FROM information_schema.tables "
                                                "WHERE table_schema = current_schema() ORDER BY 1");
        for (const auto& t : tables.rows) {
            const std::string table = VarToStr(t[0]);
            std::string expr;
            company().forEachRow("SELECT column_name FROM information_schema.columns WHERE table_schema = "
                                 "current_schema() AND table_name = :T ORDER BY ordinal_position",
                                 {{"T", table}}, [&](const std::vector<Variant>& row) {
                                     const std::string c = VarToStr(row[0]);
                                     for (const std::string& s : skipColumns)
                                         if (SameTextAscii(s, c))
                                             return true;
                                     expr += (expr.empty() ? "" : " || '|' || ") + std::string("quote_nullable(") + c + ")";
                                     return true;
                                 });
            company().forEachRow("SELECT " + expr + " FROM " + table + " ORDER BY 1", {},
                                 [&](const std::vector<Variant>& row) {
                                     out[upperAscii(table)].push_back(VarToStr(row[0]));
                                     return true;
                                 });
        }
        return out;
    }

    bool onPostgres = false;
    std::unique_ptr<PgTestDatabase> pgDb;
    TempInstall install;

private:
    DbConnection company_;
};

} // namespace wotest
