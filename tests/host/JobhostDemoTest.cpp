// `jobhost demo` as a user runs it: prepares the installation, opens the write-off job
// with the demo session, closes it unattended; a second run reuses the installation.

#include "TestPaths.h"

#include "db/Db.h"
#include "wire/VariantStream.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

QString program()
{
    return QDir(QString::fromStdString(TestBinDir())).absoluteFilePath(QStringLiteral("jobhost"));
}

QString run(const QStringList& args, int& exitCode)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(program(), args);
    EXPECT_TRUE(p.waitForFinished(120000)) << "jobhost did not finish";
    exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    if (exitCode != 0)
        ADD_FAILURE() << err.toStdString();
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

} // namespace

TEST(JobhostDemo, OpensTheJobOnAFreshInstallationAndReusesItTheSecondTime)
{
    ASSERT_TRUE(QFileInfo(program()).isExecutable()) << program().toStdString();
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("demo"));
    const QString picture = dir.filePath(QStringLiteral("job.png"));
    int exitCode = -1;
    const QString first = run({QStringLiteral("demo"), folder, QStringLiteral("--offscreen"), QStringLiteral("--screenshot"), picture}, exitCode);
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(first.contains(QStringLiteral("(databases created)"))) << first.toStdString();
    for (const char* line : {"event 256 (form created)", "OpenForm: 0", "event 304 (form destroyed)", "ResultCode: 0"})
        EXPECT_TRUE(first.contains(QLatin1String(line))) << line << "\n" << first.toStdString();
    EXPECT_TRUE(QFileInfo(picture).size() > 0);

    const QString second = run({QStringLiteral("demo"), folder, QStringLiteral("--offscreen")}, exitCode);
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(second.contains(QStringLiteral("(reused)"))) << second.toStdString();
    EXPECT_TRUE(second.contains(QStringLiteral("OpenForm: 0"))) << second.toStdString();
}

TEST(JobhostDemo, AFolderThatCannotBeMadeIsReported)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("plain-file"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    QProcess p;
    p.start(program(), {QStringLiteral("demo"), file + QStringLiteral("/demo"), QStringLiteral("--offscreen")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(QString::fromLocal8Bit(p.readAllStandardError()).contains(QStringLiteral("demo installation")));
}

TEST(JobhostDemo, ABrokenDemoInstallationIsMadeAgainNotReused)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("demo"));
    int exitCode = -1;
    run({QStringLiteral("demo"), folder, QStringLiteral("--offscreen")}, exitCode);
    ASSERT_EQ(exitCode, 0);

    // An empty system database, a folder where the client's ini file was, no company database.
    QFile(folder + QStringLiteral("/server/data/QVSYS.db")).resize(0);
    QFile::remove(folder + QStringLiteral("/server/data/DEMO.db"));
    QFile::remove(folder + QStringLiteral("/client/BriskoC.ini"));
    QDir().mkpath(folder + QStringLiteral("/client/BriskoC.ini/kept"));
    const QString again = run({QStringLiteral("demo"), folder, QStringLiteral("--offscreen")}, exitCode);
    EXPECT_EQ(exitCode, 0);
    EXPECT_FALSE(again.contains(QStringLiteral("(reused)"))) << again.toStdString();
    for (const char* text : {"repaired:", "server/data/QVSYS.db is empty", "server/data/DEMO.db is missing",
                             "client/BriskoC.ini is a folder", "databases created", "OpenForm: 0"})
        EXPECT_TRUE(again.contains(QLatin1String(text))) << text << "\n" << again.toStdString();
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/client/BriskoC.ini.broken/kept")).isDir()) << "nothing is lost";
    EXPECT_GT(QFileInfo(folder + QStringLiteral("/server/data/QVSYS.db")).size(), 0);

    const QString third = run({QStringLiteral("demo"), folder, QStringLiteral("--offscreen")}, exitCode);
    EXPECT_TRUE(third.contains(QStringLiteral("(reused)"))) << third.toStdString();
}

namespace {

struct Outcome {
    int exitCode = -1;
    QString out, err;
};

Outcome runFile(const QString& folder, const QString& file, const QByteArray& json, const QStringList& more = {})
{
    QFile f(file);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(json);
    f.close();
    QProcess p;
    p.start(program(), QStringList{QStringLiteral("demo"), folder, QStringLiteral("--run"), file} + more);
    EXPECT_TRUE(p.waitForFinished(120000)) << "jobhost did not finish";
    Outcome o;
    o.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    o.out = QString::fromUtf8(p.readAllStandardOutput());
    o.err = QString::fromUtf8(p.readAllStandardError());
    return o;
}

} // namespace

TEST(JobhostDemo, RunsAWriteOffUnattendedFromAParameterFile)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("demo"));
    const QString file = dir.filePath(QStringLiteral("writeoff.json"));
    const QByteArray json = R"({"command": 5, "cbo01": 0, "ed04": "RMB", "sp05": {"from": "A001", "to": "A003"},
                                "ed10": "R1", "ed11": "B006", "btnFilter": "*"})";
    const Outcome done = runFile(folder, file, json);
    EXPECT_EQ(done.exitCode, 0) << done.out.toStdString() << done.err.toStdString();
    for (const char* line : {"ApplyParams: 0", "处理完毕", "event 304 (form destroyed)", "ResultCode: 1", "ResultValue: "})
        EXPECT_TRUE(done.out.contains(QString::fromUtf8(line))) << line << "\n" << done.out.toStdString();

    DbConnection db;
    db.openSqlite((folder + QStringLiteral("/server/data/DEMO.db")).toStdString());
    const int written = db.scalar("SELECT COUNT(*) FROM ACPLC WHERE LC001='WOFB07-R1'").toInt();
    EXPECT_GT(written, 0);

    // The same batch number again: the job says why, the exit code tells, nothing changes.
    const Outcome again = runFile(folder, file, json);
    EXPECT_EQ(again.exitCode, 3) << again.out.toStdString() << again.err.toStdString();
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM ACPLC WHERE LC001='WOFB07-R1'").toInt(), written);

    // A file that is not JSON is refused before anything opens.
    const Outcome bad = runFile(folder, file, "{\"command\": 5,");
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(bad.err.contains(QStringLiteral("not JSON at byte"))) << bad.err.toStdString();

    // A write-off date that does not exist: said once, by name and as what it is.
    const Outcome impossible =
        runFile(folder, file, R"({"command": 5, "cbo01": 0, "ed02": "20240230", "ed04": "RMB",
                                  "sp05": {"from": "A001", "to": "A003"}, "ed10": "R2", "ed11": "B006", "btnFilter": "*"})");
    EXPECT_EQ(impossible.exitCode, 3) << impossible.out.toStdString() << impossible.err.toStdString();
    EXPECT_EQ(impossible.out.count(QStringLiteral("日期或时间不正确")), 1) << impossible.out.toStdString();
    EXPECT_TRUE(impossible.out.contains(QStringLiteral("输入转销日期 日期或时间不正确! 2024/02/30"))) << impossible.out.toStdString();
    EXPECT_FALSE(impossible.out.contains(QStringLiteral("会计期间"))) << impossible.out.toStdString();
}

TEST(JobhostDemo, TheClosingMessageOfAWriteOffIsWhollyInTheInterfaceLanguage)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("demo"));
    const QString file = dir.filePath(QStringLiteral("writeoff.json"));
    // The message a run closes with: what follows the dialog's title.
    const auto closing = [](const Outcome& o) {
        const qsizetype at = o.out.indexOf(QStringLiteral("\": "), o.out.indexOf(QStringLiteral("message \"")));
        return at < 0 ? QString() : o.out.mid(at + 3, o.out.indexOf(QStringLiteral(" [answered"), at) - at - 3);
    };
    const QRegularExpression amount(QStringLiteral("RMB \\d{1,3}(,\\d{3})+\\.\\d{2} "));
    const struct {
        const char* language;
        const char* supplier;
        const char* batch;
        QStringList says;
    } runs[] = {
        {"ENG", "A001", "E1", {QStringLiteral("Done! "), QStringLiteral("Batch WOFB07-E1: "), QStringLiteral(" written off"), QStringLiteral("(local ")}},
        {"CHT", "A002", "T1", {QStringLiteral("處理完畢! "), QStringLiteral("批次 WOFB07-T1: 轉銷了 "), QStringLiteral("(本幣 ")}},
        {"CHS", "A003", "S1", {QStringLiteral("处理完毕! "), QStringLiteral("批次 WOFB07-S1: 转销了 "), QStringLiteral("(本币 ")}},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.language);
        const QByteArray json = QStringLiteral(R"({"command": 5, "cbo01": 0, "ed04": "RMB", "sp05": ["%1", "%1"],
                                                   "ed10": "%2", "ed11": "B006", "btnFilter": "*"})")
                                    .arg(QLatin1String(r.supplier), QLatin1String(r.batch))
                                    .toUtf8();
        const Outcome done = runFile(folder, file, json, {QStringLiteral("--lang"), QLatin1String(r.language)});
        EXPECT_EQ(done.exitCode, 0) << done.out.toStdString() << done.err.toStdString();
        const QString message = closing(done);
        for (const QString& text : r.says)
            EXPECT_TRUE(message.contains(text)) << text.toStdString() << "\n" << message.toStdString();
        EXPECT_TRUE(amount.match(message).hasMatch()) << message.toStdString();
        if (QLatin1String(r.language) == QLatin1String("ENG")) {
            EXPECT_FALSE(message.contains(QRegularExpression(QStringLiteral("[\\x{3400}-\\x{9fff}]"))))
                << message.toStdString();
        }
    }
}

TEST(JobhostDemo, ARunThatHandsNothingOverSaysWhyAndExitsWithItsOwnCode)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("demo"));
    const QString file = dir.filePath(QStringLiteral("run.json"));
    const QByteArray queue = R"({"command": 1, "ed04": "RMB", "sp05": {"from": "A001", "to": "A003"},
                                 "ed10": "Q1", "ed11": "B006", "btnFilter": "*"})";
    // A user without the right to queue: today's OK would be greyed out for him.
    const Outcome rightless = runFile(folder, file, queue, {QStringLiteral("--user"), QStringLiteral("U002")});
    EXPECT_EQ(rightless.exitCode, 4) << rightless.out.toStdString() << rightless.err.toStdString();
    EXPECT_TRUE(rightless.out.contains(QStringLiteral("您没有后台处理本作业的权限"))) << rightless.out.toStdString();
    EXPECT_TRUE(rightless.out.contains(QStringLiteral("ResultCode: 0"))) << rightless.out.toStdString();

    // A batch number longer than its field is refused by name, not cut.
    QByteArray tooLong = queue;
    tooLong.replace("\"Q1\"", "\"Q234567890ABCD\"");
    const Outcome refused = runFile(folder, file, tooLong);
    EXPECT_EQ(refused.exitCode, 1) << refused.out.toStdString() << refused.err.toStdString();
    EXPECT_TRUE(refused.out.contains(QStringLiteral("ed10"))) << refused.out.toStdString();

    // Document dates past the write-off date: the check refuses, nothing is queued.
    QByteArray late = queue;
    late.replace("\"ed04\"", R"("sp03": {"to": "20991231"}, "ed04")");
    const Outcome checked = runFile(folder, file, late);
    EXPECT_EQ(checked.exitCode, 3) << checked.out.toStdString() << checked.err.toStdString();
    EXPECT_TRUE(checked.out.contains(QStringLiteral("ResultCode: 0"))) << checked.out.toStdString();
}

TEST(JobhostDemo, ABadStoredPasswordIsLoggedOnceThoughHostAndServerLibraryReadIt)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("demo"));
    const QString file = dir.filePath(QStringLiteral("run.json"));
    const QByteArray json = R"({"command": 0, "ed04": "RMB"})";
    ASSERT_EQ(runFile(folder, file, json).exitCode, 0);
    QFile ini(folder + QStringLiteral("/server/BriskoS.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    QByteArray text = ini.readAll();
    ini.close();
    text.replace("[DBE Setting]\n", "[DBE Setting]\nXXXXXX=zzzz\n");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write(text);
    ini.close();

    // The host's configuration and the in-process server library both read the file.
    EXPECT_EQ(runFile(folder, file, json).exitCode, 0);
    QByteArray log;
    for (const QFileInfo& f : QDir(folder + QStringLiteral("/client/Log")).entryInfoList({QStringLiteral("Alert_*.log")})) {
        QFile l(f.filePath());
        if (l.open(QIODevice::ReadOnly))
            log += l.readAll();
    }
    EXPECT_EQ(log.count("Exception is ConvertError"), 1) << log.toStdString();
}

TEST(JobhostDemo, ARunFileQueuesADailyWriteOffAsTheClerksPeriodicPageDoes)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("demo"));
    const QString file = dir.filePath(QStringLiteral("daily.json"));
    // Every day at 07:00 from 2030-03-06; the write-off date is each run's date, the
    // documents' dates end there.
    const QByteArray daily = R"({"command": 1, "cbo01": 0, "ed04": "RMB", "sp05": {"from": "A001", "to": "A003"},
                                 "ed10": "D9", "ed11": "B006", "btnFilter": "*",
                                 "btnPeriod": true, "rdoEveryday": true, "meDay": 1, "sePeriodHour": 7,
                                 "sePeriodMin": 0, "meStartDate": "20300306", "rbCycleRang_1": true,
                                 "cbocondition": {"list": [["ed02", true, 0, 0, 0, 0],
                                                           ["sp03", false, 0, 0, 0, 0, true, 0, 0, 0, 0]]}})";
    const Outcome queued = runFile(folder, file, daily);
    EXPECT_EQ(queued.exitCode, 0) << queued.out.toStdString() << queued.err.toStdString();
    EXPECT_TRUE(queued.out.contains(QStringLiteral("作业第一次于 2030/03/06 07:00 运行"))) << queued.out.toStdString();

    DbConnection sys;
    sys.openSqlite((folder + QStringLiteral("/server/data/QVSYS.db")).toStdString());
    const DbRowSet jobs = sys.query("SELECT JB007, JB008, JB009, JB012, JB013, JB011 FROM ADMJB");
    ASSERT_EQ(jobs.rows.size(), 1u);
    const auto& job = jobs.rows[0];
    EXPECT_EQ(VarToStr(job[0]), "b") << "a periodic job";
    EXPECT_EQ(job[1].toInt(), 2) << "by the schedule only";
    EXPECT_EQ(VarToStr(job[2]), "20300306070000000");
    const Variant period = DecodeVariantText(VarToStr(job[3]));
    ASSERT_TRUE(period.isArray());
    EXPECT_EQ(VarToStr(period[1]), "07:00");
    EXPECT_EQ(period[2][0].toInt(), 0) << "every day";
    EXPECT_EQ(VarToStr(period[2][1]), "1");
    EXPECT_EQ(VarToStr(period[3][0]), "20300306");
    EXPECT_EQ(period[3][1].toInt(), 0) << "no end";
    const Variant rules = DecodeVariantText(VarToStr(job[4]));
    ASSERT_TRUE(rules.isArray());
    ASSERT_EQ(rules.highBound(), 2);
    const std::string sep = "\x03";
    EXPECT_EQ(VarToStr(rules[1]), "1" + sep + "ed02" + sep + "Y" + sep + "0" + sep + "0" + sep + "0" + sep + "0" + sep + "D"
                                      + sep + "2");
    EXPECT_EQ(VarToStr(rules[2]), "0" + sep + "sp03" + sep + "N" + sep + "0" + sep + "0" + sep + "0" + sep + "0" + sep
                                      + "Y" + sep + "0" + sep + "0" + sep + "0" + sep + "0" + sep + "D" + sep + "3");
    // The values go rolled to the first run, as the page rolls them.
    const Variant packet = DecodeVariantText(VarToStr(job[5]));
    ASSERT_TRUE(packet.isArray());
    EXPECT_EQ(VarToStr(packet[2][2]), "20300306") << "the write-off date";
    EXPECT_EQ(VarToStr(packet[2][3][2]), "20300306") << "the end of the document dates";

    // The page's values without btnPeriod would be dropped unseen: refused by name.
    QByteArray alone = daily;
    alone.replace(R"("btnPeriod": true, )", "");
    const Outcome refused = runFile(folder, file, alone);
    EXPECT_EQ(refused.exitCode, 1) << refused.out.toStdString() << refused.err.toStdString();
    EXPECT_EQ(sys.scalar("SELECT COUNT(*) FROM ADMJB").toInt(), 1);
}
