// The demo installation: what it writes, what a second run keeps, and that the host's
// configuration reads it back.

#include "EnvGuard.h"
#include "host/DemoInstall.h"
#include "host/HostConfig.h"
#include "platform/Exception.h"
#include "platform/IniFile.h"
#include "support/BriskoINI.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

namespace {

// A stand-in for the setup program: writes the two databases (a database's header and a
// word) into --folder, or fails when FAIL is in its folder.
void writeSetup(const QString& binDir)
{
    const QString path = binDir + QStringLiteral("/qvsetup");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n"
            "dir=$(dirname \"$0\")\n"
            "[ -e \"$dir/FAIL\" ] && { echo 'disk full' >&2; touch \"$2/QVSYS.db\"; exit 3; }\n"
            "[ \"$1\" = --folder ] || exit 4\n"
            "echo \"$@\" >> \"$dir/calls\"\n"
            "printf 'SQLite format 3\\000system\\n' > \"$2/QVSYS.db\"\n"
            "printf 'SQLite format 3\\000company\\n' > \"$2/DEMO.db\"\n");
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QString readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

int setupRuns(const QString& binDir)
{
    return int(readAll(binDir + QStringLiteral("/calls")).count(QLatin1Char('\n')));
}

// Puts back what DemoInstall::UseEnvironment changes.
class EnvironmentGuard : public EnvGuard {
public:
    EnvironmentGuard()
    {
        keep("QV_REGISTRY");
        keep("QV_CLASS_TABLE");
    }
};

} // namespace

TEST(DemoInstall, PreparesAnInstallationTheHostReadsBack)
{
    EnvironmentGuard env;
    QTemporaryDir root;
    const QString bin = root.filePath(QStringLiteral("bin"));
    QDir().mkpath(bin);
    writeSetup(bin);
    QFile(bin + QStringLiteral("/WOFB07S.so")).open(QIODevice::WriteOnly);

    const DemoInstallation d = DemoInstall::Prepare(root.filePath(QStringLiteral("demo")).toStdString(), bin.toStdString());
    EXPECT_TRUE(d.createdDatabases);
    EXPECT_EQ(setupRuns(bin), 1);
    const QString folder = QString::fromStdString(d.folder);
    EXPECT_TRUE(folder.endsWith(QLatin1Char('/')));
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("server/data/QVSYS.db")));
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("server/data/DEMO.db")));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("server/data.new")));
    // The server's library is a copy with the build's stamp (a link would lead out of the
    // server's library folder, which the server neither describes nor sends).
    const QFileInfo library(folder + QStringLiteral("server/S_PKG/WOFB07S.so"));
    EXPECT_TRUE(library.isFile() && !library.isSymLink());
    EXPECT_EQ(library.lastModified(), QFileInfo(bin + QStringLiteral("/WOFB07S.so")).lastModified());
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("client/Help/WOF/13070000.html")));
    EXPECT_FALSE(d.user.empty());
    EXPECT_FALSE(d.company.empty());
    EXPECT_FALSE(d.database.empty());

    const IniFile server(d.folder + "server/BriskoS.ini");
    EXPECT_EQ(server.ReadString("DBE Setting", "MainDBType", ""), "SQLITE");
    EXPECT_EQ(server.ReadString("DBE Setting", "MainServerName", ""), "data");
    const IniFile classes(d.classTable);
    EXPECT_EQ(classes.ReadString("Classes", "ReportCounterS.dmReportCounter", ""),
              (bin + QStringLiteral("/ReportCounterS.so")).toStdString());
    EXPECT_EQ(classes.ReadString("Classes", "VostelWorkCenter.Manager", ""),
              (bin + QStringLiteral("/VostelWorkCenter.so")).toStdString());

    DemoInstall::UseEnvironment(d);
    EXPECT_EQ(std::string(std::getenv("QV_REGISTRY")), d.registryFile);
    const HostConfig config = HostConfig::Load();
    EXPECT_EQ(config.clientPath, d.folder + "client/");
    EXPECT_EQ(config.serverPath, d.folder + "server/");
    EXPECT_EQ(config.uiCodePage, 936);
    EXPECT_TRUE(config.serverIsLocal());
    EXPECT_EQ(config.serverPort, 211);
    ASSERT_EQ(config.workDllPaths.size(), 1u);
    EXPECT_EQ(config.workDllPaths[0], d.folder + "server/S_PKG/");
}

TEST(DemoInstall, ASecondRunReusesTheInstallationAndKeepsTheUsersChanges)
{
    QTemporaryDir root;
    const QString bin = root.filePath(QStringLiteral("bin"));
    QDir().mkpath(bin);
    writeSetup(bin);
    const std::string folder = root.filePath(QStringLiteral("demo")).toStdString();
    const DemoInstallation first = DemoInstall::Prepare(folder, bin.toStdString());
    const QString clientIni = QString::fromStdString(first.folder) + QStringLiteral("client/BriskoC.ini");
    {
        QFile f(clientIni);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[CodePage]\nUICodePage=950\n[Server Information]\nComputerName=127.0.0.1\n");
    }
    // Another build of the programs.
    const QString bin2 = root.filePath(QStringLiteral("bin2"));
    QDir().mkpath(bin2);
    writeSetup(bin2);
    {
        QFile library(bin2 + QStringLiteral("/WOFB07S.so"));
        ASSERT_TRUE(library.open(QIODevice::WriteOnly));
        library.write("another build");
    }
    const DemoInstallation second = DemoInstall::Prepare(folder, bin2.toStdString());
    EXPECT_FALSE(second.createdDatabases);
    EXPECT_EQ(setupRuns(bin2), 0);
    EXPECT_EQ(second.folder, first.folder);
    EXPECT_TRUE(readAll(clientIni).contains(QStringLiteral("UICodePage=950")));
    EXPECT_TRUE(readAll(QString::fromStdString(second.classTable)).contains(bin2 + QStringLiteral("/ReportCounterS.so")));
    // The server's copy of its library follows the build it was prepared with.
    EXPECT_EQ(readAll(QString::fromStdString(second.folder) + QStringLiteral("server/S_PKG/WOFB07S.so")),
              QStringLiteral("another build"));
}

TEST(DemoInstall, AFailedSetupLeavesNothingThatLooksInstalled)
{
    QTemporaryDir root;
    const QString bin = root.filePath(QStringLiteral("bin"));
    QDir().mkpath(bin);
    writeSetup(bin);
    QFile(bin + QStringLiteral("/FAIL")).open(QIODevice::WriteOnly);
    const std::string folder = root.filePath(QStringLiteral("demo")).toStdString();
    try {
        DemoInstall::Prepare(folder, bin.toStdString());
        ADD_FAILURE() << "a failed setup must be reported";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("disk full"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(QFileInfo::exists(root.filePath(QStringLiteral("demo/server/data/QVSYS.db"))));

    // Repaired, the next run creates the databases.
    QFile::remove(bin + QStringLiteral("/FAIL"));
    EXPECT_TRUE(DemoInstall::Prepare(folder, bin.toStdString()).createdDatabases);

    // Without the setup program the reason is named.
    QTemporaryDir other;
    try {
        DemoInstall::Prepare(other.filePath(QStringLiteral("demo")).toStdString(), other.path().toStdString());
        ADD_FAILURE() << "a missing setup program must be reported";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("qvsetup"), std::string::npos) << e.what();
    }
}

TEST(DemoInstall, WhatIsBrokenIsMadeAgainAndWhatStoodInTheWayIsKept)
{
    QTemporaryDir root;
    const QString bin = root.filePath(QStringLiteral("bin"));
    QDir().mkpath(bin);
    writeSetup(bin);
    const std::string folderArg = root.filePath(QStringLiteral("demo")).toStdString();
    const DemoInstallation first = DemoInstall::Prepare(folderArg, bin.toStdString());
    EXPECT_TRUE(first.repaired.empty()) << "a fresh installation mends nothing";
    const QString folder = QString::fromStdString(first.folder);

    // A user's edit stays; a file that is no file, an empty registry file and a database
    // that is none are made again.
    {
        QFile f(folder + QStringLiteral("client/BriskoC.ini"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[CodePage]\nUICodePage=950\n");
    }
    QFile::remove(folder + QStringLiteral("server/BriskoS.ini"));
    QDir().mkpath(folder + QStringLiteral("server/BriskoS.ini"));
    QFile(folder + QStringLiteral("registry.ini")).resize(0);
    {
        QFile f(folder + QStringLiteral("server/data/DEMO.db"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("not a database");
    }
    const DemoInstallation second = DemoInstall::Prepare(folderArg, bin.toStdString());
    EXPECT_TRUE(second.createdDatabases);
    EXPECT_EQ(setupRuns(bin), 2);
    std::string all;
    for (const std::string& r : second.repaired)
        all += r + "\n";
    EXPECT_NE(all.find("server/BriskoS.ini is a folder"), std::string::npos) << all;
    EXPECT_NE(all.find("registry.ini was empty"), std::string::npos) << all;
    EXPECT_NE(all.find("server/data/DEMO.db is not a database"), std::string::npos) << all;
    EXPECT_EQ(all.find("BriskoC.ini"), std::string::npos) << all;
    EXPECT_EQ(second.repaired.size(), 3u) << all;
    EXPECT_TRUE(readAll(folder + QStringLiteral("client/BriskoC.ini")).contains(QStringLiteral("UICodePage=950")));
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("server/BriskoS.ini.broken")).isDir());
    EXPECT_TRUE(readAll(folder + QStringLiteral("server/BriskoS.ini")).contains(QStringLiteral("MainDBType=SQLITE")));
    EXPECT_TRUE(readAll(folder + QStringLiteral("registry.ini")).contains(QStringLiteral("ClientPath=")));

    const DemoInstallation third = DemoInstall::Prepare(folderArg, bin.toStdString());
    EXPECT_TRUE(third.repaired.empty());
    EXPECT_FALSE(third.createdDatabases);
}

TEST(DemoInstall, TheLanguageSetsTheCodePagesAndKeepsTheRest)
{
    QTemporaryDir root;
    const QString bin = root.filePath(QStringLiteral("bin"));
    QDir().mkpath(bin);
    writeSetup(bin);
    const DemoInstallation demo = DemoInstall::Prepare(root.filePath(QStringLiteral("demo")).toStdString(), bin.toStdString());
    const QString clientIni = QString::fromStdString(demo.folder) + QStringLiteral("client/BriskoC.ini");
    const QString serverIni = QString::fromStdString(demo.folder) + QStringLiteral("server/BriskoS.ini");
    DemoInstall::SetLanguage(demo, "cht");
    EXPECT_TRUE(readAll(clientIni).contains(QStringLiteral("UICodePage=950")));
    EXPECT_TRUE(readAll(clientIni).contains(QStringLiteral("LangType=CHT")));
    EXPECT_TRUE(readAll(clientIni).contains(QStringLiteral("ComputerName=127.0.0.1")));
    EXPECT_TRUE(readAll(serverIni).contains(QStringLiteral("UICodePage=950")));
    EXPECT_TRUE(readAll(serverIni).contains(QStringLiteral("MainDBType=SQLITE")));
    EXPECT_EQ(readAll(clientIni).count(QStringLiteral("UICodePage=")), 1);
    // A file without the section gets one.
    {
        QFile f(clientIni);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Server Information]\nComputerName=10.0.0.9\n");
    }
    DemoInstall::SetLanguage(demo, "ENG");
    EnvironmentGuard env;
    DemoInstall::UseEnvironment(demo);
    EXPECT_EQ(HostConfig::LoadClient().uiCodePage, 437);
    EXPECT_TRUE(readAll(clientIni).contains(QStringLiteral("ComputerName=10.0.0.9")));
    EXPECT_THROW(DemoInstall::SetLanguage(demo, "FRA"), Exception);
    EXPECT_TRUE(readAll(clientIni).contains(QStringLiteral("UICodePage=437")));
}

namespace {

// A stand-in for the setup program on a PostgreSQL server: records its arguments and the
// password it was handed; says "Kept ..." when KEEP is in its folder, fails with FAIL.
void writePgSetup(const QString& binDir)
{
    const QString path = binDir + QStringLiteral("/qvsetup");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n"
            "dir=$(dirname \"$0\")\n"
            "echo \"$@ PGPASSWORD=$PGPASSWORD\" >> \"$dir/calls\"\n"
            "[ -e \"$dir/FAIL\" ] && { echo 'connection refused' >&2; exit 1; }\n"
            "[ -e \"$dir/KEEP\" ] && { echo 'Kept the schemas qvsys and demo of erp'; exit 0; }\n"
            "echo 'System database:  schema qvsys of erp'\n");
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

TEST(DemoInstall, OnPostgresTheSchemasAreMadeAndTheServerIsNamedInTheServerSettings)
{
    EnvironmentGuard env;
    QTemporaryDir root;
    const QString bin = root.filePath(QStringLiteral("bin"));
    QDir().mkpath(bin);
    writePgSetup(bin);
    const std::string folder = root.filePath(QStringLiteral("demo")).toStdString();

    // A wrong server text is refused before anything is written.
    for (const auto& [text, why] : std::vector<std::pair<std::string, std::string>>{
             {"Host=db1;User=qv", "no Database="},
             {"Host=db1;Port=54x;Database=erp", "Port=54x is no port number"},
             {"Host=db1;Colour=red;Database=erp", "unknown key \"Colour\""},
             {"Host=db1;Database", "\"Database\" has no value"}}) {
        try {
            DemoInstall::Prepare(folder, bin.toStdString(), text);
            ADD_FAILURE() << text << " must be refused";
        } catch (const Exception& e) {
            EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
        }
    }
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(folder + "/registry.ini")));
    EXPECT_EQ(setupRuns(bin), 0);

    // A server that cannot be reached: the settings stay on the embedded database.
    QFile(bin + QStringLiteral("/FAIL")).open(QIODevice::WriteOnly);
    try {
        DemoInstall::Prepare(folder, bin.toStdString(), "Host=db1;Port=5433;Database=erp;User=qv");
        ADD_FAILURE() << "a failed setup must be reported";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("connection refused"), std::string::npos) << e.what();
    }
    const QString serverIni = QString::fromStdString(folder + "/server/BriskoS.ini");
    EXPECT_EQ(IniFile(serverIni.toStdString()).ReadString("DBE Setting", "MainDBType", ""), "SQLITE");
    QFile::remove(bin + QStringLiteral("/FAIL"));

    const DemoInstallation made =
        DemoInstall::Prepare(folder, bin.toStdString(), "Host=db1;Port=5433;Database=erp;User=qv;Password=s3 cret");
    EXPECT_TRUE(made.createdDatabases);
    EXPECT_TRUE(made.onPostgres);
    const IniFile ini(serverIni.toStdString());
    EXPECT_EQ(ini.ReadString("DBE Setting", "MainDBType", ""), "POSTGRESQL");
    EXPECT_EQ(ini.ReadString("DBE Setting", "MainServerName", ""), "db1:5433");
    EXPECT_EQ(ini.ReadString("DBE Setting", "PostgresDatabase", ""), "erp");
    EXPECT_EQ(ini.ReadString("DBE Setting", "MainUserName", ""), "qv");
    EXPECT_EQ(ini.ReadString("DBE Setting", "XXXXXX", ""), EncodePassword("s3 cret"));
    EXPECT_EQ(ini.ReadString("CodePage", "UICodePage", ""), "936") << "the rest of the file is kept";
    // The password reaches the setup program through its environment, not its arguments.
    const QString calls = readAll(bin + QStringLiteral("/calls"));
    EXPECT_TRUE(calls.contains(QStringLiteral("--database postgresql --server Host=db1;Port=5433;Database=erp;User=qv "
                                              "--if-missing")))
        << calls.toStdString();
    EXPECT_TRUE(calls.contains(QStringLiteral("PGPASSWORD=s3 cret"))) << calls.toStdString();
    EXPECT_EQ(calls.count(QStringLiteral("s3 cret")), 1) << "in PGPASSWORD alone, never among the arguments";
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(folder + "/server/data/QVSYS.db")));

    // Schemas that are there are kept; a later run without the server text stays on it
    // and makes no database files.
    QFile(bin + QStringLiteral("/KEEP")).open(QIODevice::WriteOnly);
    EXPECT_FALSE(DemoInstall::Prepare(folder, bin.toStdString(), "Host=db1;Port=5433;Database=erp;User=qv").createdDatabases);
    const int runs = setupRuns(bin);
    const DemoInstallation reused = DemoInstall::Prepare(folder, bin.toStdString());
    EXPECT_TRUE(reused.onPostgres);
    EXPECT_FALSE(reused.createdDatabases);
    EXPECT_EQ(setupRuns(bin), runs);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(folder + "/server/data/QVSYS.db")));
}
