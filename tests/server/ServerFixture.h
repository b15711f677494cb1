#pragma once
// A server installation in a temporary folder: the system database QVSYS and the company
// database DEMO of company 01, created from the schema and filled with a few documents
// of every kind, each written to pass or to fail exactly one of the candidate filters.

#include "TestPaths.h"
#include "server/ReportCounterS.h"
#include "serverdb/Schema.h"


#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

namespace servertest {

namespace fs = std::filesystem;

class TempFolder {
public:
    TempFolder()
    {
        static int counter = 0;
        path_ = fs::temp_directory_path() / ("qv-server-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempFolder() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

// The build's bin/ folder: the class library and the setup program are there.
inline std::string binFolder()
{
    return TestBinDir();
}

using Row = std::map<std::string, Variant>;

// Inserts a row: the defaults with the given columns replaced.
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

class ServerFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        {
            DbConnection sys;
            sys.openSqlite(dir.file("QVSYS.db"), true);
            CreateSchema(sys, "system");
            sys.executeScript(R"(
                INSERT INTO ADMMC VALUES ('01', '示范公司', 'DEMO', 'Y');
                INSERT INTO QVRINTMA VALUES ('StartupPortal', '启用', 'Y');
                INSERT INTO QVRINTMA VALUES ('Portal WS', '地址', 'http://portal.example.com/ws');
                INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('DS', '系统管理员', 'Y', 'Y');
                INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('U001', '张伟', 'N', 'Y');
                INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('U002', '李娜', 'N', 'Y');
                INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('U003', '王芳', 'Y', 'N');
                INSERT INTO ADMMR VALUES ('U001', 'WOFB07', 'Y', 'Y', 'Y', 'Y', 'Y', 'Y', '');
                INSERT INTO ADMMR VALUES ('U002', 'wofb07', 'Y', 'Y', 'N', 'N', 'Y', 'N', 'TA004 LIKE ''S%''');
            )");
        }
        DbConnection co;
        co.openSqlite(dir.file("DEMO.db"), true);
        CreateSchema(co, "company");
        DbTransaction tx(co); // one write to disk instead of one per row
        co.executeScript(R"(
            INSERT INTO PURMA (MA001, MA002, MA003, MA008) VALUES ('S01', '甲电子', '上海甲电子有限公司', 'RMB');
            INSERT INTO PURMA (MA001, MA002, MA003, MA008) VALUES ('S02', '乙五金', '深圳乙五金厂', 'RMB');
            INSERT INTO PURMA (MA001, MA002, MA003, MA008) VALUES ('S03', '丙贸易', '丙贸易公司', 'USD');
            INSERT INTO CMSMF (MF001, MF002, MF004) VALUES ('RMB', '人民币', 2);
            INSERT INTO CMSMF (MF001, MF002, MF004) VALUES ('USD', '美元', 2);
            INSERT INTO CMSMF (MF001, MF002, MF004) VALUES ('JPY', '日元', 0);
            INSERT INTO CMSMF (MF001, MF002, MF004) VALUES ('KWD', '科威特第纳尔', 3);
            INSERT INTO CMSMQ (MQ001, MQ002, MQ003) VALUES ('7101', '采购发票', '71');
            INSERT INTO CMSMQ (MQ001, MQ002, MQ003) VALUES ('7A01', '进口采购发票', '7A');
            INSERT INTO CMSMQ (MQ001, MQ002, MQ003) VALUES ('7F01', '费用发票', '7F');
            INSERT INTO CMSMQ (MQ001, MQ002, MQ003) VALUES ('7B01', '其他应付单', '7B');
            INSERT INTO CMSMQ (MQ001, MQ002, MQ003) VALUES ('7C01', '预付款单', '7C');
            INSERT INTO CMSMQ (MQ001, MQ002, MQ003) VALUES ('7D01', '预付退款单', '7D');
            INSERT INTO CMSMQ (MQ001, MQ002, MQ003) VALUES ('7E01', '应付调整单', '7E');
            INSERT INTO CMSME (ME001, ME002) VALUES ('1100', '采购部');
            INSERT INTO CMSMV (MV001, MV002) VALUES ('E001', '陈明');
            INSERT INTO TMCMC (MC001, MC002, MC003, MC005) VALUES ('WOF', 'WOFB07', '转销通知', 'WOFB07');
            INSERT INTO TMCMC (MC001, MC002, MC003, MC005) VALUES ('WOF', 'WOFB07M', '转销通知(主管)', 'wofb07');
            INSERT INTO TMCMC (MC001, MC002, MC003, MC005) VALUES ('WOF', 'WOFB08', '重估通知', 'WOFB08');
            INSERT INTO TMCMD (MD001, MD002, MD003, MD004, MD006, MD007) VALUES ('WOF', 'WOFB07', '0001', '6', 'YNN', '<MD007/>||a||b');
            INSERT INTO TMCMD (MD001, MD002, MD003, MD004, MD006, MD007) VALUES ('WOF', 'WOFB07', '0002', '6', 'YNN', NULL);
            INSERT INTO TMCMD (MD001, MD002, MD003, MD004, MD006, MD007) VALUES ('WOF', 'WOFB07', '0003', '2', 'YNN', 'start');
            INSERT INTO TMCMD (MD001, MD002, MD003, MD004, MD006, MD007) VALUES ('WOF', 'WOFB07M', '0001', '6', 'NNY', 'boss');
            INSERT INTO TMCMD (MD001, MD002, MD003, MD004, MD006, MD007) VALUES ('WOF', 'WOFB08', '0001', '6', 'YNN', 'other');
            INSERT INTO ACPLC (LC001, LC002) VALUES ('WOFB07-B0001', '0001');
        )");

        // Payables: P1-P3 are open; each of the others fails one filter.
        const Row payable = {{"TA003", "20240110"}, {"TA004", "S01"}, {"TA008", "RMB"}, {"TA009", 1.0},
                             {"TA014", "INV001"}, {"TA021", ""}, {"TA024", "Y"}, {"TA028", 100.0},
                             {"TA029", 13.0}, {"TA030", 0.0}, {"TA033", "N"}, {"TA034", "20240110"},
                             {"TA037", 100.0}, {"TA038", 13.0}, {"TA050", 0.0}, {"TA051", 0.0},
                             {"TA070", "1100"}, {"TA079", "1"}, {"TA080", "N"}, {"TA085", 0.0},
                             {"TA087", "1"}, {"TA089", "E001"}, {"TA090", ""}};
        auto addPayable = [&](const std::string& type, const std::string& no, const Row& values, int lines = 1) {
            Row r = values;
            r["TA001"] = type;
            r["TA002"] = no;
            insertRow(co, "ACPTA", payable, r);
            for (int l = 1; l <= lines; ++l)
                insertRow(co, "ACPTB", {{"TB001", type}, {"TB002", no}, {"TB003", "000" + std::to_string(l)}}, {});
        };
        addPayable("7101", "20240110001", {{"TA021", "一月货款"}, {"TA090", "P01"}}, 2);
        addPayable("7A01", "12", {{"TA004", "S02"}, {"TA003", "20240120"}, {"TA034", "20240120"}, {"TA028", 200.0},
                                  {"TA029", 26.0}, {"TA037", 200.0}, {"TA038", 26.0}, {"TA051", 5.0}});
        addPayable("7F01", "20240201001", {{"TA003", "20240201"}, {"TA034", "20240201"}, {"TA028", 50.0}, {"TA029", 0.0},
                                           {"TA037", 50.0}, {"TA038", 0.0}});
        addPayable("7101", "20240115001", {{"TA024", "N"}});
        addPayable("7101", "20240116001", {{"TA030", 50.0}, {"TA087", "2"}, {"TA085", 50.0}});
        addPayable("7101", "20240117001", {{"TA030", 113.0}, {"TA087", "3"}});
        addPayable("7101", "20240118001", {{"TA079", "2"}});
        addPayable("7101", "20240119001", {{"TA080", "Y"}});
        addPayable("7101", "20240121001", {{"TA033", "Y"}});
        addPayable("7101", "20240122001", {{"TA004", "S03"}, {"TA008", "USD"}, {"TA009", 7.1}, {"TA029", 0.0},
                                           {"TA037", 710.0}, {"TA038", 0.0}, {"TA050", 7.2}, {"TA051", 10.0}});
        addPayable("7101", "20240701001", {{"TA003", "20240701"}, {"TA034", "20240701"}});
        addPayable("7E01", "20240123001", {});
        addPayable("7101", "20240124001", {}, 0);

        // Other payables: O1, O2 open.
        const Row other = {{"TI003", "20240105"}, {"TI004", "S01"}, {"TI005", "E001"}, {"TI006", "1100"},
                           {"TI007", "RMB"}, {"TI008", 1.0}, {"TI012", ""}, {"TI013", "Y"}, {"TI015", 300.0},
                           {"TI016", 300.0}, {"TI017", 0.0}, {"TI018", 0.0}, {"TI019", "20240105"},
                           {"TI026", 0.0}, {"TI029", "1"}, {"TI031", "1"}, {"TI032", 0.0}, {"TI035", "1"},
                           {"TI043", "N"}, {"TI044", ""}};
        auto addOther = [&](const std::string& no, const Row& values) {
            Row r = values;
            r["TI001"] = "7B01";
            r["TI002"] = no;
            insertRow(co, "ACPTI", other, r);
            insertRow(co, "ACPTJ", {{"TJ001", "7B01"}, {"TJ002", no}, {"TJ003", "0001"}}, {});
        };
        addOther("20240105001", {});
        addOther("20240106001", {{"TI004", "S02"}, {"TI003", "20240106"}, {"TI019", "20240210"}, {"TI015", 80.0},
                                 {"TI016", 80.0}, {"TI018", 0.0}, {"TI032", 2.0}});
        addOther("20240107001", {{"TI013", "N"}});
        addOther("20240108001", {{"TI017", 100.0}, {"TI029", "2"}});
        addOther("20240109001", {{"TI029", "3"}});
        addOther("20240110001", {{"TI031", "2"}});
        addOther("20240111001", {{"TI035", "2"}});
        addOther("20240112001", {{"TI043", "Y"}});
        addOther("20240113001", {{"TI004", "S03"}, {"TI007", "USD"}});

        // Prepayments: K1, K2 open.
        const Row prepay = {{"TK001", "7C01"}, {"TK003", "20240107"}, {"TK004", "S01"}, {"TK005", "E001"},
                            {"TK006", "1100"}, {"TK007", "RMB"}, {"TK008", 1.0}, {"TK009", ""}, {"TK014", "R001"},
                            {"TK020", "Y"}, {"TK022", "20240107"}, {"TK027", ""}, {"TK028", "1"},
                            {"TK030", 500.0}, {"TK031", 500.0}, {"TK035", 0.0}, {"TK036", 0.0}, {"TK037", 0.0},
                            {"TK039", 0.0}, {"TK043", "1"}};
        auto addPrepay = [&](const std::string& no, const Row& values) {
            Row r = values;
            r["TK002"] = no;
            insertRow(co, "ACPTK", prepay, r);
        };
        addPrepay("20240107001", {});
        addPrepay("20240108001", {{"TK004", "S02"}, {"TK030", 60.0}, {"TK031", 60.0}});
        addPrepay("20240109001", {{"TK020", "N"}});
        addPrepay("20240110001", {{"TK035", 100.0}, {"TK028", "2"}});
        addPrepay("20240111001", {{"TK028", "3"}});
        addPrepay("20240112001", {{"TK043", "2"}});
        addPrepay("20240113001", {{"TK001", "7D01"}});
        tx.commit();
    }

    // Whom an in-process server object of the tests works for: DS, a super user, of company 01.
    static ServerSession dsSession() { return ServerSession{"DS", "01", false, "test"}; }

    ServerDbSettings settings() const
    {
        ServerDbSettings s;
        s.dbType = "SQLITE";
        s.folder = dir.path().string();
        s.systemDb = "QVSYS";
        return s;
    }

    // Rows in a table of the company database, to show that nothing changed.
    int count(const std::string& table)
    {
        DbConnection c;
        c.openSqlite(dir.file("DEMO.db"));
        return c.scalar("SELECT count(*) FROM " + table).toInt();
    }

    TempFolder dir;
};

} // namespace servertest
