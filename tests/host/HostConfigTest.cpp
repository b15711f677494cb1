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

// Points QV_REGISTRY at a file for one test.
class RegistryFile {
public:
    explicit RegistryFile(const QString& path)
    {
        const char* old = std::getenv("QV_REGISTRY");
        had_ = old != nullptr;
        if (had_)
            old_ = old;
        setenv("QV_REGISTRY", path.toLocal8Bit().constData(), 1);
    }
    ~RegistryFile()
    {
        if (had_)
            setenv("QV_REGISTRY", old_.c_str(), 1);
        else
            unsetenv("QV_REGISTRY");
    }

private:
    bool had_ = false;
    std::string old_;
};

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
              ("[WorkDLLPath]\nA=pkg\nB=\\shared\\\nC=" + root + "/abs\nD=\n").toUtf8());
    RegistryFile registry(root + QStringLiteral("/registry.ini"));
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
}

TEST(HostConfig, DefaultsWithoutRegistryKeyOrIniFiles)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("registry.ini")), "[Software\\Other]\nX=1\n");
    RegistryFile registry(dir.filePath(QStringLiteral("registry.ini")));
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
}

TEST(HostConfig, APerUserProfileWinsWhenItExists)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    writeFile(root + QStringLiteral("/registry.ini"),
              ("[Software\\QVR\\Brisko]\nClientPath=" + root + "/client/\nProfileType=1\n").toUtf8());
    writeFile(root + QStringLiteral("/client/BriskoC.ini"), "[CodePage]\nUICodePage=936\n");
    RegistryFile registry(root + QStringLiteral("/registry.ini"));
    EXPECT_EQ(HostConfig::Load().uiCodePage, 936) << "no profile yet: the installation's file";
    writeFile(root + QStringLiteral("/client/Profile/") + QString::fromStdString(GetUserName()) +
                  QStringLiteral("/BriskoC.ini"),
              "[CodePage]\nUICodePage=437\n");
    EXPECT_EQ(HostConfig::Load().uiCodePage, 437);
}
