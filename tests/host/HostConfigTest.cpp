#include "EnvGuard.h"
#include "host/HostConfig.h"
#include "platform/SystemInfo.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(path.left(path.lastIndexOf(QLatin1Char('/'))));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

} // namespace

TEST(HostConfig, ReadsFoldersCodePageServerAndWorkFolders)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    writeFile(root + QStringLiteral("/registry.ini"),
              ("[Software\\QVR\\Brisko]\nClientPath=" + root + "/client\nServerPath=" + root + "/server\\\n").toUtf8());
    writeFile(root + QStringLiteral("/client/BriskoC.ini"),
              "[CodePage]\nUICodePage= 950 \n[Server Information]\nComputerName= 10.0.0.7;10.0.0.8; \nServerPort=3000\n");
    writeFile(root + QStringLiteral("/server/BriskoS.ini"),
              ("[WorkDLLPath]\nA=pkg\nB=\\shared\\\nC=" + root + "/abs\nD=\n"
               "[DBE Setting]\nMainDBType= sqlite \nMainServerName=db\nMainDBName=SYS1\n").toUtf8());
    EnvGuard registry;
    registry.set("QV_REGISTRY", (root + QStringLiteral("/registry.ini")).toStdString());
    const HostConfig c = HostConfig::Load();
    EXPECT_EQ(c.clientPath, root.toStdString() + "/client/");
    EXPECT_EQ(c.serverPath, root.toStdString() + "/server/");
    EXPECT_EQ(c.uiCodePage, 950);
    EXPECT_EQ(c.serverAddress, "10.0.0.7");
    EXPECT_FALSE(c.serverIsLocal());
    EXPECT_EQ(c.serverPort, 3000);
    const std::string s = root.toStdString() + "/server/";
    // An empty folder value names the installation folder itself.
    EXPECT_EQ(c.workDllPaths, (std::vector<std::string>{s + "pkg/", s + "shared/", root.toStdString() + "/abs/", s}));
    EXPECT_EQ(c.clientIniFile, root.toStdString() + "/client/BriskoC.ini");
    EXPECT_EQ(c.serverIniFile, s + "BriskoS.ini");
    EXPECT_TRUE(c.clientNamesServer);
    EXPECT_TRUE(c.databasesAreFiles());
    EXPECT_EQ(c.databaseFile(c.systemDatabase), s + "db/SYS1.db");
}

TEST(HostConfig, DefaultsWithoutRegistryKeyOrIniFiles)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("registry.ini")), "[Software\\Other]\nX=1\n");
    EnvGuard registry;
    registry.set("QV_REGISTRY", (dir.filePath(QStringLiteral("registry.ini"))).toStdString());
    const HostConfig c = HostConfig::Load();
    EXPECT_TRUE(c.clientPath.empty());
    EXPECT_TRUE(c.serverIsLocal());
    EXPECT_TRUE(c.uiCodePage == 936 || c.uiCodePage == 950 || c.uiCodePage == 437);
    EXPECT_TRUE(c.workDllPaths.empty());

    // A key without ini files: the server defaults, S_PKG below the server folder.
    writeFile(dir.filePath(QStringLiteral("registry.ini")),
              ("[Software\\QVR\\Brisko]\nClientPath=" + dir.path() + "/c/\nServerPath=" + dir.path() + "/s/\n").toUtf8());
    const HostConfig d = HostConfig::Load();
    EXPECT_EQ(d.serverAddress, "127.0.0.1");
    EXPECT_EQ(d.serverPort, 211);
    EXPECT_EQ(d.workDllPaths, std::vector<std::string>{dir.path().toStdString() + "/s/S_PKG/"});
    // Without BriskoS.ini the server's database settings are the defaults: not in files
    // of this machine, the system database QVSYS in the server folder.
    EXPECT_FALSE(d.databasesAreFiles());
    EXPECT_EQ(d.databaseFile(d.systemDatabase), dir.path().toStdString() + "/s/QVSYS.db");

    // A client list that names no server is told apart from a missing one.
    writeFile(dir.filePath(QStringLiteral("c/BriskoC.ini")), "[Server Information]\nComputerName=;\n");
    EXPECT_FALSE(HostConfig::LoadClient().clientNamesServer);
}

TEST(HostConfig, APerUserProfileWinsWhenItExists)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    writeFile(root + QStringLiteral("/registry.ini"),
              ("[Software\\QVR\\Brisko]\nClientPath=" + root + "/client/\nProfileType=1\n").toUtf8());
    writeFile(root + QStringLiteral("/client/BriskoC.ini"), "[CodePage]\nUICodePage=936\n");
    EnvGuard registry;
    registry.set("QV_REGISTRY", (root + QStringLiteral("/registry.ini")).toStdString());
    EXPECT_EQ(HostConfig::Load().uiCodePage, 936) << "no profile yet: the installation's file";
    writeFile(root + QStringLiteral("/client/Profile/") + QString::fromStdString(GetUserName()) +
                  QStringLiteral("/BriskoC.ini"),
              "[CodePage]\nUICodePage=437\n");
    EXPECT_EQ(HostConfig::Load().uiCodePage, 437);
}
