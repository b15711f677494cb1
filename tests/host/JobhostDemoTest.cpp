// `jobhost demo` as a user runs it: prepares the installation, opens the write-off job
// with the demo session, closes it unattended; a second run reuses the installation.

#include "TestPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
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
