// A demo installation on a PostgreSQL server as a site runs it: `jobhost demo --postgres`
// makes it, two qvappserver processes share its queue (one also listening for remote
// clients), a local client ticks documents and writes them off at once, a remote client
// queues a write-off; every job ends done once, run by one party, and its documents are
// settled under its batch.

#include "db/Db.h"
#include "support/BriskoINI.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "PgTestServer.h"
#include "TestPaths.h"
#include "TestProcess.h"

#include <csignal>
#include <fstream>
#include <regex>
#include <set>

using testproc::Process;
using testproc::waitFor;

namespace {

constexpr const char* kSecret = "pg-demo-secret";

struct Outcome {
    int exitCode = -1;
    std::string out, err;
};

Outcome runProgram(const std::string& name, const QStringList& args, const std::map<QString, QString>& env = {})
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const auto& [k, v] : env)
        e.insert(k, v);
    p.setProcessEnvironment(e);
    p.start(QString::fromStdString(TestBinDir() + "/" + name), args);
    Outcome o;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
        o.err = name + " did not finish";
        return o;
    }
    o.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    o.out = p.readAllStandardOutput().toStdString();
    o.err = p.readAllStandardError().toStdString();
    return o;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::trunc) << text;
}

std::string resultValue(const std::string& out)
{
    std::smatch m;
    return std::regex_search(out, m, std::regex(R"(ResultValue: (\d{14}))")) ? std::string(m[1]) : std::string();
}

int occurrences(const std::string& text, const std::string& what)
{
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

using Documents = std::set<std::string>; // "type-number"

// The open RMB payables of a supplier range the job lists (its candidate conditions).
Documents candidates(DbConnection& co, const std::string& from, const std::string& to)
{
    Documents out;
    co.forEachRow("SELECT TA001, TA002 FROM ACPTA WHERE TA004 >= :F AND TA004 <= :T AND TA008 = 'RMB' AND TA024 = 'Y' "
                  "AND TA030 = 0 AND TA079 = '1' AND TA087 = '1' AND TA080 = 'N' AND TA033 = 'N' "
                  "AND EXISTS (SELECT 1 FROM ACPTB WHERE TB001 = TA001 AND TB002 = TA002)",
                  {{"F", from}, {"T", to}}, [&](const std::vector<Variant>& r) {
                      out.insert(VarToStr(r[0]) + "-" + VarToStr(r[1]));
                      return true;
                  });
    return out;
}

// The documents of a batch, each once, with the settlement status of each.
std::map<std::string, std::string> batchDocuments(DbConnection& co, const std::string& batch, int& lines)
{
    std::map<std::string, std::string> out;
    lines = 0;
    co.forEachRow("SELECT LC005, LC006, TA087 FROM ACPLC LEFT JOIN ACPTA ON TA001 = LC005 AND TA002 = LC006 "
                  "WHERE LC001 = :B",
                  {{"B", "WOFB07-" + batch}}, [&](const std::vector<Variant>& r) {
                      ++lines;
                      out[VarToStr(r[0]) + "-" + VarToStr(r[1])] = VarToStr(r[2]);
                      return true;
                  });
    return out;
}

struct JobRunRow {
    std::string status, runBy, how;
};

std::vector<JobRunRow> runsOf(DbConnection& sys, const std::string& job)
{
    std::vector<JobRunRow> out;
    sys.forEachRow("SELECT JR007, JR009, JR010 FROM ADMJR WHERE JR001 = :NO ORDER BY JR002", {{"NO", job}},
                   [&](const std::vector<Variant>& r) {
                       out.push_back({VarToStr(r[0]), VarToStr(r[1]), VarToStr(r[2])});
                       return true;
                   });
    return out;
}

} // namespace

TEST(DemoOnPostgres, TwoServersShareItAndEachDirectAndQueuedWriteOffIsDoneOnce)
{
    QV_SKIP_WITHOUT_PG();
    PgTestDatabase pg;
    const DbServerLogin l = PgTestLogin(pg.name());
    const QString server = QString::fromStdString("Host=" + l.host + ";Port=" + l.port + ";Database=" + l.database +
                                                  ";User=" + l.user);
    QTemporaryDir dir;
    const std::string folder = dir.filePath(QStringLiteral("demo")).toStdString();

    // The installation: schemas made on the server, no database file, the server named.
    const Outcome made = runProgram("jobhost", {QStringLiteral("demo"), QString::fromStdString(folder),
                                                QStringLiteral("--postgres"), server, QStringLiteral("--offscreen")});
    ASSERT_EQ(made.exitCode, 0) << made.out << made.err;
    EXPECT_NE(made.out.find("(databases created, on PostgreSQL)"), std::string::npos) << made.out;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(folder + "/server/data/QVSYS.db")));
    const std::string serverIni = folder + "/server/BriskoS.ini";
    std::string ini = readFile(serverIni);
    EXPECT_NE(ini.find("MainDBType=POSTGRESQL\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("PostgresDatabase=" + l.database + "\n"), std::string::npos) << ini;
    ini.replace(ini.find("[DBPasswordCtrl]\n"), 17, "[DBPasswordCtrl]\nConnectionSecret=" + EncodePassword(kSecret) + "\n");
    writeFile(serverIni, ini);

    DbConnection co;
    co.openPostgres(pg.login("DEMO"));
    DbConnection sys;
    sys.openPostgres(pg.login("QVSYS"));

    // Two queue servers on the one database; the second also serves remote clients.
    Process a(TestBinDir() + "/qvappserver", {"--install", folder, "--poll", "50"}, folder + "/a.out");
    Process b(TestBinDir() + "/qvappserver", {"--install", folder, "--poll", "50", "--listen", "127.0.0.2:0"},
              folder + "/b.out");
    const std::regex serving(R"(qvappserver (\S+): serving)"), listening(R"(listening on \S+ \(port (\d+))");
    std::smatch m;
    ASSERT_TRUE(waitFor([&] {
        const std::string out = b.output();
        return (std::regex_search(out, listening) && a.output().find(": serving") != std::string::npos) || a.wait(0) ||
               b.wait(0);
    })) << a.output() << b.output();
    std::string out = a.output();
    ASSERT_TRUE(std::regex_search(out, m, serving)) << out;
    const std::string idA = m[1];
    out = b.output();
    ASSERT_TRUE(std::regex_search(out, m, serving)) << out;
    const std::string idB = m[1];
    ASSERT_TRUE(std::regex_search(out, m, listening)) << out;
    const std::string port = m[1];
    EXPECT_NE(out.find("system database schema qvsys of " + l.database), std::string::npos) << out;

    // (a) A local client lists A004's payables, ticks two of them and writes them off at once.
    const Documents a004 = candidates(co, "A004", "A004");
    ASSERT_GE(a004.size(), 3u) << "the demo data has enough open payables of A004";
    const Documents ticked{*a004.begin(), *std::next(a004.begin())};
    const std::string directFile = folder + "/direct.json";
    writeFile(directFile, R"({"command": 5, "cbo01": 0, "ed04": "RMB", "sp05": {"from": "A004", "to": "A004"},
                              "ed10": "D1", "ed11": "B006", "btnFilter": [")" + *ticked.begin() + R"(", ")"
                              + *ticked.rbegin() + R"("]})");
    const Outcome direct = runProgram("jobhost", {QStringLiteral("demo"), QString::fromStdString(folder),
                                                  QStringLiteral("--run"), QString::fromStdString(directFile)});
    EXPECT_EQ(direct.exitCode, 0) << direct.out << direct.err;
    EXPECT_NE(direct.out.find("(reused, on PostgreSQL)"), std::string::npos) << direct.out;
    EXPECT_NE(direct.out.find("批次 WOFB07-D1: 转销了 2 笔单据"), std::string::npos) << direct.out;
    const std::string directJob = resultValue(direct.out);
    ASSERT_FALSE(directJob.empty()) << direct.out;

    // (b) A client that knows only its own folder and the listening server queues a
    // write-off of every listed payable of A005 to A006.
    const Documents queuedDocs = candidates(co, "A005", "A006");
    ASSERT_FALSE(queuedDocs.empty());
    const std::string client = folder + "/remote";
    QDir().mkpath(QString::fromStdString(client + "/client"));
    writeFile(client + "/registry.ini", "[Software\\QVR\\Brisko]\nClientPath=" + client + "/client/\nProfileType=0\n");
    writeFile(client + "/classes.ini", "[Classes]\n");
    writeFile(client + "/client/BriskoC.ini", "[CodePage]\nUICodePage=936\nDBCodePage=936\n\n[Server Information]\n"
                                              "ComputerName=127.0.0.2\nServerPort=" + port + "\nConnectionSecret="
                                                  + EncodePassword(kSecret) + "\nCallTimeOut=20000\n");
    const std::string queuedFile = folder + "/queued.json";
    writeFile(queuedFile, R"({"command": 1, "cbo01": 0, "ed04": "RMB", "sp05": {"from": "A005", "to": "A006"},
                              "ed10": "Q1", "ed11": "B006", "btnFilter": "*"})");
    const Outcome queued = runProgram(
        "jobhost",
        {QString::fromStdString(TestBinDir() + "/WOFB07C.so"), QStringLiteral("--run"), QString::fromStdString(queuedFile)},
        {{QStringLiteral("QV_REGISTRY"), QString::fromStdString(client + "/registry.ini")},
         {QStringLiteral("QV_CLASS_TABLE"), QString::fromStdString(client + "/classes.ini")}});
    EXPECT_EQ(queued.exitCode, 0) << queued.out << queued.err;
    const std::string queuedJob = resultValue(queued.out);
    ASSERT_FALSE(queuedJob.empty()) << queued.out << queued.err;
    EXPECT_NE(queuedJob, directJob);
    EXPECT_NE(queued.out.find(queuedJob), std::string::npos);
    EXPECT_NE(b.output().find("signed on: user DS of company 01"), std::string::npos) << "the client went through B";

    const QStringList install{QStringLiteral("--install"), QString::fromStdString(folder)};
    const std::regex doneShown(R"(\n  Status +done\n)");
    EXPECT_TRUE(waitFor([&] {
        const std::string shown = runProgram("qvjobs", install + QStringList{QStringLiteral("show"),
                                                                               QString::fromStdString(queuedJob)})
                                      .out;
        return std::regex_search(shown, doneShown);
    })) << runProgram("qvjobs", install + QStringList{QStringLiteral("show"), QString::fromStdString(queuedJob)}).out
        << a.output() << b.output();

    // The queue: the two jobs, each done; one run each, the direct one the client's, the
    // queued one by exactly one of the servers.
    const std::string list = runProgram("qvjobs", install + QStringList{QStringLiteral("list")}).out;
    for (const std::string& job : {directJob, queuedJob})
        EXPECT_TRUE(std::regex_search(list, std::regex("\n" + job + R"( +\S+ +WOFB07 +DS +done )"))) << job << "\n" << list;
    const std::regex jobLine(R"(\n\d{14} )");
    EXPECT_EQ(std::distance(std::sregex_iterator(list.begin(), list.end(), jobLine), std::sregex_iterator()), 2) << list;
    const std::vector<JobRunRow> directRuns = runsOf(sys, directJob), queuedRuns = runsOf(sys, queuedJob);
    ASSERT_EQ(directRuns.size(), 1u);
    EXPECT_EQ(directRuns[0].status, "done");
    EXPECT_EQ(directRuns[0].how, "D");
    ASSERT_EQ(queuedRuns.size(), 1u);
    EXPECT_EQ(queuedRuns[0].status, "done");
    EXPECT_EQ(queuedRuns[0].how, "Q");
    EXPECT_TRUE(queuedRuns[0].runBy == idA || queuedRuns[0].runBy == idB) << queuedRuns[0].runBy;
    const std::string started = "job " + queuedJob + " WOFB07 run 1 due";
    EXPECT_EQ(occurrences(a.output(), started) + occurrences(b.output(), started), 1) << a.output() << b.output();
    EXPECT_EQ(occurrences(a.output() + b.output(), "job " + directJob), 0) << "no server runs a direct job";
    const std::string shown =
        runProgram("qvjobs", install + QStringList{QStringLiteral("show"), QString::fromStdString(queuedJob)}).out;
    // The run's line: done, what it wrote off (worded in the installation's language), by whom.
    const std::size_t by = shown.find("  by " + queuedRuns[0].runBy);
    ASSERT_NE(by, std::string::npos) << shown;
    const std::string runLine = shown.substr(shown.rfind('\n', by) + 1, by - shown.rfind('\n', by) - 1);
    EXPECT_NE(runLine.find("done "), std::string::npos) << shown;
    EXPECT_NE(runLine.find("WOFB07-Q1"), std::string::npos) << shown;

    // The documents: the ticked ones alone under D1, every listed one of A005-A006 under
    // Q1, each once and settled; A004's others stay open.
    int lines = 0;
    const std::map<std::string, std::string> d1 = batchDocuments(co, "D1", lines);
    EXPECT_EQ(lines, 2);
    Documents d1Docs;
    for (const auto& [doc, status] : d1) {
        d1Docs.insert(doc);
        EXPECT_EQ(status, "3") << doc;
    }
    EXPECT_EQ(d1Docs, ticked);
    Documents leftA004;
    for (const std::string& doc : a004)
        if (!ticked.count(doc))
            leftA004.insert(doc);
    EXPECT_EQ(candidates(co, "A004", "A004"), leftA004);
    const std::map<std::string, std::string> q1 = batchDocuments(co, "Q1", lines);
    EXPECT_EQ(lines, int(queuedDocs.size()));
    Documents q1Docs;
    for (const auto& [doc, status] : q1) {
        q1Docs.insert(doc);
        EXPECT_EQ(status, "3") << doc;
    }
    EXPECT_EQ(q1Docs, queuedDocs);
    EXPECT_TRUE(candidates(co, "A005", "A006").empty());

    a.signal(SIGTERM);
    b.signal(SIGTERM);
    EXPECT_TRUE(a.wait(15));
    EXPECT_TRUE(b.wait(15));
}
