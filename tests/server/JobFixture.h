#pragma once
// An installation for the job queue tests, as the queue server finds one: registry.ini
// naming the server folder, BriskoS.ini with the database folder and the work-library
// folder S_PKG/, where the test library (TestQueueLib.cpp) answers for program QTEST1.
// The system database knows user DS and U001 and the program QTEST1; the company
// database DEMO defines one job-finished notification of QTEST1 for U001.
//
// Requests are built as a run-options form builds them: option 1 is the test library's
// action, 2 a single date, 3 a date range, 4 the log flag, 5 the print date.

#include "PgTestServer.h"
#include "TempInstall.h"
#include "TestProcess.h"
#include "TestPaths.h"
#include "platform/OleDate.h"
#include "platform/Variant.h"
#include "support/JobClock.h"
#include "server/ReportCounterS.h"
#include "serverdb/Schema.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <fcntl.h>
#include <functional>
#include <map>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace jobtest {

using testproc::Process;
using testproc::waitFor;

namespace fs = std::filesystem;

constexpr char kMark = '\x03';

inline std::string rule(std::initializer_list<std::string> fields)
{
    std::string s;
    for (const std::string& f : fields)
        s += (s.empty() ? "" : std::string(1, kMark)) + f;
    return s;
}

// The two date rules of the test requests: option 2 becomes the run date, option 3 the
// run's month up to the run date.
inline Variant testRules()
{
    Variant r = Variant::array(0, 2);
    r[0] = 2;
    r[1] = rule({"1", "ed02", "Y", "0", "0", "0", "0", "D", "2"});
    r[2] = rule({"0", "sp03", "Y", "0", "1", "1", "0", "Y", "0", "0", "0", "0", "D", "3"});
    return r;
}

// [kind, detail] and the range of a period value.
inline Variant period(const Variant& schedule, const Variant& range, const std::string& time = "08:00")
{
    return Variant::list({"Y", time, schedule, range});
}

struct Job {
    std::string program = "QTEST1";
    std::string user = "DS";
    std::string action = "ok";
    int mode = 0;
    double runAt = 0;          // slot 11; 0: the moment of building
    double builtAt = 0;        // slot 7; 0: now
    std::string recipients;    // slot 12
    Variant periodValue;       // Empty: a one-time job
    Variant rules;             // Empty with a period value: testRules()
};

inline Variant packetOf(const Job& j)
{
    const double now = j.builtAt ? j.builtAt : Now();
    Variant env = Variant::array(1, 12);
    env[1] = j.program;
    env[2] = 12;
    env[3] = 5;
    env[4] = "01";
    env[5] = j.user;
    env[6] = "DEMO";
    env[7] = Variant::date(now);
    env[8] = j.program + "S.Class1";
    env[9] = j.periodValue.isEmpty() ? "B" : "b";
    env[10] = j.periodValue.isEmpty() || j.mode == 1 ? j.mode : 2; // periodic: 1 runs once at once
    env[11] = Variant::date(j.runAt ? j.runAt : now);
    env[12] = j.recipients;
    Variant texts = Variant::array(1, 5);
    texts[1] = Variant::list({"动作", "ed01"});
    texts[2] = Variant::list({"单据日期", "ed02"});
    texts[3] = Variant::list({"期间", "sp03"});
    texts[4] = Variant::list({"生成Log文档", "chkLog"});
    texts[5] = Variant::list({"打印日期", "edPrintDate"});
    Variant values = Variant::array(1, 5);
    values[1] = j.action.rfind('@', 0) == 0 ? j.action : std::string();
    values[2] = "20240101";
    values[3] = Variant::list({"\x04", "20240101", "20240131"});
    values[4] = "N";
    values[5] = "20240101";
    if (j.periodValue.isEmpty())
        return Variant::list({env, texts, values});
    return Variant::list({env, texts, values, j.periodValue, j.rules.isEmpty() ? testRules() : j.rules});
}

inline std::string recipientsOf(std::initializer_list<std::string> users)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"GB2312\"?><Root>";
    int i = 1;
    for (const std::string& u : users)
        xml += "<R" + std::to_string(i++) + " ID=\"" + u + "\" Name=\"\" Type=\"5\" Msg=\"YNN\"/>";
    return xml + "</Root>";
}

inline double at(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0)
{
    return EncodeDate(y, m, d) + EncodeTime(hh, mm, ss);
}

class JobFixture : public ::testing::Test {
protected:
    // On PostgreSQL the installation's databases are schemas of a database of the test's own.
    explicit JobFixture(bool postgres = false) : onPostgres(postgres) {}

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
        dbeSetting = dbe;
        serverIni();
        fs::create_directories(install.path("server/data"));
        fs::create_directories(install.path("server/S_PKG"));
        fs::create_symlink(QV_TEST_QUEUE_LIB, install.path("server/S_PKG/QTEST1S.so"));
        {
            DbConnection sys;
            if (onPostgres)
                sys.openPostgres(pgDb->login("QVSYS", true));
            else
                sys.openSqlite(install.path("server/data/QVSYS.db"), true);
            CreateSchema(sys, "system");
            sys.executeScript(R"(
                INSERT INTO ADMMC VALUES ('01', '示范公司', 'DEMO', 'Y');
                INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('DS', '系统管理员', 'Y', 'Y');
                INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('U001', '张伟', 'N', 'Y');
                INSERT INTO ADMMB (MB001, MB002, MB004) VALUES ('QTEST1', '队列测试作业', 'B');
            )");
        }
        DbConnection co;
        if (onPostgres)
            co.openPostgres(pgDb->login("DEMO", true));
        else
            co.openSqlite(install.path("server/data/DEMO.db"), true);
        CreateSchema(co, "company");
        co.executeScript(R"(
            INSERT INTO TMCMC (MC001, MC002, MC003, MC005) VALUES ('TST', 'QTEST1', '测试通知', 'QTEST1');
            INSERT INTO TMCMD (MD001, MD002, MD003, MD004, MD006, MD007) VALUES ('TST', 'QTEST1', '0001', '6', 'YNN',
              '<MD007><Receiver><R1 ID="U001" Name="" Type="5" Msg="YNN"/></Receiver><Title Value="测试完成"/></MD007>||队列作业已完成||');
        )");
        log = install.path("runs.log");
        env.set("QV_TEST_JOB_LOG", log);
    }

    // Whom an in-process server object of the tests works for: DS, a super user, of company 01.
    static ServerSession dsSession() { return ServerSession{"DS", "01", false, "test"}; }

    ServerDbSettings settings() const
    {
        ServerDbSettings s;
        s.folder = install.path("server/data");
        s.libraryFolders = {install.path("server/S_PKG/")};
        if (onPostgres) {
            s.dbType = "POSTGRESQL";
            s.server = pgDb->login("QVSYS");
            s.server.schema.clear();
            s.server.name.clear();
        }
        return s;
    }

    // The lines the test library wrote, one per run.
    std::vector<std::vector<std::string>> runLog() const
    {
        std::vector<std::vector<std::string>> lines;
        std::istringstream in(install.read("runs.log"));
        std::string line;
        while (std::getline(in, line)) {
            std::vector<std::string> fields;
            std::size_t i = 0;
            for (;;) {
                const std::size_t tab = line.find('\t', i);
                fields.push_back(line.substr(i, tab == std::string::npos ? std::string::npos : tab - i));
                if (tab == std::string::npos)
                    break;
                i = tab + 1;
            }
            lines.push_back(fields);
        }
        return lines;
    }

    DbConnection& sys()
    {
        if (!sysDb_.isOpen()) {
            if (onPostgres)
                sysDb_.openPostgres(pgDb->login("QVSYS"));
            else
                sysDb_.openSqlite(install.path("server/data/QVSYS.db"));
        }
        return sysDb_;
    }
    std::string status(const std::string& job)
    {
        return VarToStr(sys().scalar("SELECT JB010 FROM ADMJB WHERE JB001 = :N", {{"N", job}}));
    }
    int count(const std::string& sql) { return sys().scalar(sql).toInt(); }
    std::string column(const std::string& job, const std::string& col)
    {
        return VarToStr(sys().scalar("SELECT " + col + " FROM ADMJB WHERE JB001 = :N", {{"N", job}}));
    }
    // How many runs of a job held or slept to their end (the test library's ".ends" lines).
    int ends(const std::string& job) const
    {
        std::istringstream in(install.read("runs.log.ends"));
        int n = 0;
        for (std::string line; std::getline(in, line);)
            n += line.rfind(job + "\t", 0) == 0;
        return n;
    }

    std::string bin(const std::string& program) const { return TestBinDir() + "/" + program; }

    // BriskoS.ini with more lines in [DBE Setting] and a [Job Queue] section.
    void serverIni(const std::string& moreDbe = {}, const std::string& jobQueue = {})
    {
        install.write("server/BriskoS.ini", "[CodePage]\nUICodePage=936\nDBCodePage=936\n[DBE Setting]\n" + dbeSetting
                                                + moreDbe + "[WorkDLLPath]\n1=" + install.path("server/S_PKG/")
                                                + "\n[Job Queue]\n" + jobQueue);
    }

    bool onPostgres = false;
    std::string dbeSetting;
    std::unique_ptr<PgTestDatabase> pgDb;
    TempInstall install;
    EnvGuard env;
    std::string log;

private:
    DbConnection sysDb_;
};

} // namespace jobtest
