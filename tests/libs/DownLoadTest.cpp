// The new-file download from end to end: a demo installation served by a real
// qvappserver --listen on loopback (127.0.0.2, so that the client takes it for a server
// elsewhere), a client that knows only its own folder, and QVDownLoad.so loaded by name.
// The server holds version 2 of a job library, the client's desk version 1.

#include "host/DemoInstall.h"
#include "jobform/QVDownLoadNewFileU.h"
#include "config/Dialogs.h"
#include "platform/Automation.h"
#include "platform/ModalRunner.h"
#include "platform/OleDate.h"
#include "wire/RemoteClient.h"
#include "support/AlertLog.h"
#include "support/BriskoINI.h"

#include <QMessageBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "EnvGuard.h"
#include "TestPaths.h"
#include "TestProcess.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <thread>

namespace fs = std::filesystem;
using testproc::Process;
using testproc::waitFor;

namespace {

constexpr const char* kSecret = "download-test-secret";
constexpr std::time_t kOld = 1700000000;   // the desk's copy
constexpr std::time_t kNew = 1700086401;   // the server's copy: a day and an odd second later

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

void setTime(const std::string& path, std::time_t t)
{
    const timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

struct stat statOf(const std::string& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st;
}

int occurrences(const std::string& text, const std::string& what)
{
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Stands between the client and the server and cuts the server's answer to the download
// half-way, as a network that fails during the transfer would.
class CuttingRelay {
public:
    explicit CuttingRelay(int serverPort) : serverPort_(serverPort)
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = address(0);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listen_, 4);
        socklen_t n = sizeof a;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &n);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~CuttingRelay()
    {
        stop_ = true;
        thread_.join();
        ::close(listen_);
    }
    int port() const { return port_; }
    bool cut() const { return cut_; }

private:
    static sockaddr_in address(int port)
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(std::uint16_t(port));
        inet_pton(AF_INET, "127.0.0.2", &a.sin_addr);
        return a;
    }
    bool wait(int fd)
    {
        pollfd p{fd, POLLIN, 0};
        while (!stop_)
            if (::poll(&p, 1, 50) > 0)
                return true;
        return false;
    }
    void run()
    {
        if (!wait(listen_))
            return;
        const int client = ::accept(listen_, nullptr, nullptr);
        const int server = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = address(serverPort_);
        if (::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
            pump(client, server);
        ::close(client);
        ::close(server);
    }
    void pump(int client, int server)
    {
        std::string asked, answer;
        bool armed = false;
        char buffer[65536];
        while (!stop_) {
            pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (::poll(p, 2, 50) <= 0)
                continue;
            if (p[0].revents) {
                const ssize_t n = ::read(client, buffer, sizeof buffer);
                if (n <= 0)
                    return;
                asked.append(buffer, std::size_t(n));
                armed = armed || asked.find("DownLoadFile") != std::string::npos;
                (void)!::write(server, buffer, std::size_t(n));
            }
            if (p[1].revents) {
                const ssize_t n = ::read(server, buffer, sizeof buffer);
                if (n <= 0)
                    return;
                if (!armed) {
                    (void)!::write(client, buffer, std::size_t(n));
                    continue;
                }
                answer.append(buffer, std::size_t(n));
                if (answer.size() < 4)
                    continue;
                const auto* h = reinterpret_cast<const unsigned char*>(answer.data());
                const std::size_t length = std::size_t(h[0]) << 24 | std::size_t(h[1]) << 16 | std::size_t(h[2]) << 8 | h[3];
                if (answer.size() >= 4 + length / 2) {
                    (void)!::write(client, answer.data(), 4 + length / 2);
                    cut_ = true;
                    return;
                }
            }
        }
    }

    int serverPort_;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> cut_{false};
    std::thread thread_;
};

class DownLoad : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder = new QTemporaryDir;
        installation = DemoInstall::Prepare(folder->filePath(QStringLiteral("demo")).toStdString(), TestBinDir());
        const std::string serverIni = installation.folder + "server/BriskoS.ini";
        std::string text = readFile(serverIni);
        text.replace(text.find("[DBPasswordCtrl]\n"), 17,
                     "[DBPasswordCtrl]\nConnectionSecret=" + EncodePassword(kSecret) + "\n");
        writeFile(serverIni, text);
    }
    static void TearDownTestSuite()
    {
        delete folder;
        folder = nullptr;
    }

    void SetUp() override
    {
        // The server's copy is a file of its own (the demo links the build's library).
        serverCopy = installation.folder + "server/S_PKG/WOFB07S.so";
        fs::remove(serverCopy);
        fs::copy_file(QV_TEST_VERSION2, serverCopy);
        setTime(serverCopy, kNew);
        desk = installation.folder + "desk/";
        fs::remove_all(desk);
        fs::create_directories(desk);
        local = desk + "WOFB07S.so";
        fs::copy_file(QV_TEST_VERSION1, local);
        setTime(local, kOld);

        // Nothing of the server in this process.
        UnregisterOleClass("ReportCounterS.dmReportCounter");
        writeFile(path("client-classes.ini"), "[Classes]\n");
        gate(" 1 ");
        env.set("QV_CLASS_TABLE", path("client-classes.ini"));
        env.set("QV_REGISTRY", path("client-registry.ini"));
        server = start(0);
        ASSERT_GT(port, 0);
        pointClientAt(port);
        SetProcessSignOn("DS", "01");
        previous = SetModalRunner([this](QWidget* w, const std::function<int()>&) {
            if (auto* box = qobject_cast<QMessageBox*>(w))
                dialogs.push_back(box->text().toStdString());
            if (onDialog)
                onDialog();
            if (answers.empty())
                return mrAbort;
            const int a = answers.front();
            answers.erase(answers.begin());
            return a;
        });
    }
    void TearDown() override
    {
        SetModalRunner(previous);
        SetProcessSignOn("", "");
    }

    std::string path(const std::string& name) const { return installation.folder + name; }

    // The update gate as the client's registry holds it; nullptr: no key at all.
    void gate(const char* goAhead)
    {
        std::string text = "[Software\\QVR\\Brisko]\nClientPath=" + installation.folder + "client/\nProfileType=0\n";
        if (goAhead)
            text += std::string("[Software\\Varn\\Hollet]\nGoAhead=") + goAhead + "\n";
        writeFile(path("client-registry.ini"), text);
    }

    std::unique_ptr<Process> start(int wanted)
    {
        auto p = std::make_unique<Process>(
            TestBinDir() + "/qvappserver",
            std::vector<std::string>{"--install", installation.folder, "--listen", "127.0.0.2:" + std::to_string(wanted)},
            path("server-" + std::to_string(started++) + ".out"));
        const std::regex listening(R"(listening on \S+ \(port (\d+))");
        std::smatch m;
        waitFor([&] {
            const std::string out = p->output();
            return std::regex_search(out, m, listening) || p->wait(0);
        });
        const std::string out = p->output();
        port = std::regex_search(out, m, listening) ? std::stoi(m[1]) : 0;
        return p;
    }

    void pointClientAt(int serverPort)
    {
        const std::string clientIni = installation.folder + "client/BriskoC.ini";
        std::string text = readFile(clientIni);
        const std::size_t at = text.find("[Server Information]");
        text = text.substr(0, at) + "[Server Information]\nComputerName=127.0.0.2\nServerPort=" +
               std::to_string(serverPort) + "\nConnectionSecret=" + EncodePassword(kSecret) + "\nCallTimeOut=20000\n";
        writeFile(clientIni, text);
    }

    // The test's own connection to the server.
    Variant remoteServer() const
    {
        RemoteServerOptions o;
        o.address = "127.0.0.2";
        o.port = port;
        o.user = "DS";
        o.company = "01";
        o.secret = kSecret;
        return Variant(CreateRemoteObject(std::make_shared<RemoteConnection>(o), "ReportCounterS.dmReportCounter"));
    }
    std::string description() const { return VarToStr(remoteServer().call("GetFileList", {Variant::list({"wofb07s.so"})})); }

    int signOns() const { return occurrences(server->output(), "signed on: user DS"); }
    // True when, since `before`, no connection but one of the test's own has signed on.
    bool nothingFetchedSince(int before) const
    {
        remoteServer().call("SQLType");
        waitFor([&] { return signOns() >= before + 1; });
        return signOns() == before + 1;
    }

    bool update(QString& error, bool interactive = false)
    {
        return UpdateFile(QString::fromStdString(description()), QString::fromStdString(local), error, interactive);
    }

    static QTemporaryDir* folder;
    static DemoInstallation installation;
    static inline int started = 0;
    EnvGuard env;
    std::unique_ptr<Process> server;
    int port = 0;
    std::string serverCopy, desk, local;
    std::vector<std::string> dialogs;
    std::vector<int> answers;
    std::function<void()> onDialog;
    ModalRunFn previous;
};

QTemporaryDir* DownLoad::folder = nullptr;
DemoInstallation DownLoad::installation;

} // namespace

TEST_F(DownLoad, TheServerDescribesItsCopyOverTheConnection)
{
    const std::string d = description();
    const std::regex shape(R"(^<Modify>(\d{14})</Modify><Path>(.*)</Path>$)");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(d, m, shape)) << d;
    char stamp[32];
    std::tm t{};
    const std::time_t when = kNew;
    localtime_r(&when, &t);
    std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &t);
    EXPECT_EQ(m[1].str(), stamp);
    EXPECT_EQ(fs::path(m[2].str()).filename(), "WOFB07S.so");
    EXPECT_EQ(fs::canonical(m[2].str()), fs::canonical(serverCopy));
    EXPECT_EQ(VarToStr(remoteServer().call("GetFileList", {Variant::list({"nosuch.so"})})), "");
}

TEST_F(DownLoad, ANewerCopyReplacesTheDesksByRenameWhileTheLoadedOneKeepsRunning)
{
    HMODULE loaded = LoadLibrary(local);
    ASSERT_NE(loaded, nullptr) << LastLibraryError();
    auto version = reinterpret_cast<int (*)()>(GetProcAddress(loaded, "DownLoadTestVersion"));
    ASSERT_EQ(version(), 1);
    const ino_t before = statOf(local).st_ino;

    QString error;
    EXPECT_TRUE(update(error)) << error.toStdString();
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(readFile(local), readFile(serverCopy)) << "the desk holds the server's copy";
    EXPECT_NE(statOf(local).st_ino, before) << "a new file took the name; the old one was never written into";
    EXPECT_EQ(statOf(local).st_mtime, kNew) << "the copy keeps the server's stamp to the second";
    EXPECT_EQ(statOf(local).st_mode & 0100, 0100u) << "and stays executable";
    EXPECT_EQ(version(), 1) << "the module this process loaded runs on";
    EXPECT_EQ(namesIn(desk), std::vector<std::string>{"WOFB07S.so"}) << "nothing is left beside it";
    FreeLibrary(loaded);

    // Now current: a second check fetches nothing.
    const int signedOn = signOns();
    const ino_t updated = statOf(local).st_ino;
    EXPECT_TRUE(update(error));
    EXPECT_TRUE(nothingFetchedSince(signedOn + 1)) << server->output(); // +1: description()
    EXPECT_EQ(statOf(local).st_ino, updated);
}

TEST_F(DownLoad, TheSameStampFetchesNothing)
{
    setTime(local, kNew);
    const std::string description = this->description();
    const int signedOn = signOns();
    QString error;
    EXPECT_TRUE(UpdateFile(QString::fromStdString(description), QString::fromStdString(local), error, false));
    EXPECT_TRUE(nothingFetchedSince(signedOn)) << server->output();
    EXPECT_EQ(readFile(local), readFile(QV_TEST_VERSION1));
}

TEST_F(DownLoad, WithTheGateOffOrMissingNothingIsFetched)
{
    const std::string description = this->description();
    for (const char* off : std::initializer_list<const char*>{"0", "", "11", nullptr}) {
        gate(off);
        const int signedOn = signOns();
        QString error;
        EXPECT_TRUE(UpdateFile(QString::fromStdString(description), QString::fromStdString(local), error, false))
            << (off ? off : "no key");
        EXPECT_TRUE(error.isEmpty());
        EXPECT_TRUE(nothingFetchedSince(signedOn)) << (off ? off : "no key");
        EXPECT_EQ(readFile(local), readFile(QV_TEST_VERSION1));
    }
    const std::string log = readFile(alertLogFileName(programFolder(), "QVDownLoadNewFileU", "D", Now()));
    EXPECT_NE(log.rfind("Read Upgrader Registry Error: No UPGRADER_REGISTRY_PATH"), std::string::npos);
}

TEST_F(DownLoad, ACutDownloadLeavesTheOldLibraryAsItWas)
{
    // A copy large enough to be cut in the middle of its frame.
    std::mt19937 random(7);
    std::string big(400 * 1024, '\0');
    for (char& c : big)
        c = char(random());
    writeFile(serverCopy, big);
    setTime(serverCopy, kNew);
    const std::string description = this->description();
    CuttingRelay relay(port);
    pointClientAt(relay.port());
    const ino_t before = statOf(local).st_ino;
    QString error;
    EXPECT_FALSE(UpdateFile(QString::fromStdString(description), QString::fromStdString(local), error, false));
    EXPECT_TRUE(relay.cut());
    EXPECT_TRUE(error.startsWith(QStringLiteral("DownLoad new file[%1] failed. ").arg(QString::fromStdString(local))))
        << error.toStdString();
    EXPECT_EQ(readFile(local), readFile(QV_TEST_VERSION1));
    EXPECT_EQ(statOf(local).st_ino, before);
    EXPECT_EQ(namesIn(desk), std::vector<std::string>{"WOFB07S.so"});
    const std::string log = readFile(alertLogFileName(programFolder(), "QVDownLoadNewFileU", "D", Now()));
    EXPECT_NE(log.find(error.toStdString()), std::string::npos) << "the failure is in the alert log";
}

TEST_F(DownLoad, AServerThatIsGoneIsAskedAboutAndRetryCallsAgainWithTheSameArguments)
{
    const std::string description = this->description();
    server->signal(SIGKILL);
    ASSERT_TRUE(server->wait(10));
    const int samePort = port;
    answers = {mrRetry, mrAbort};
    QString error;
    EXPECT_FALSE(UpdateFile(QString::fromStdString(description), QString::fromStdString(local), error, true));
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[0], dialogs[1]) << "the same download was tried again";
    EXPECT_EQ(dialogs[0], error.toStdString()) << "Abort fails with the text shown";
    EXPECT_TRUE(error.startsWith(QStringLiteral("DownLoad new file[")));
    EXPECT_EQ(readFile(local), readFile(QV_TEST_VERSION1));

    // The server comes back while the question is open: Retry then succeeds.
    dialogs.clear();
    answers = {mrRetry};
    onDialog = [&] {
        if (!server->running() || server->wait(0))
            server = start(samePort);
    };
    EXPECT_TRUE(UpdateFile(QString::fromStdString(description), QString::fromStdString(local), error, true))
        << error.toStdString();
    EXPECT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(readFile(local), readFile(serverCopy));
}

TEST_F(DownLoad, APathOutsideTheLibraryFoldersIsRefusedAndLogged)
{
    const std::string pkg = installation.folder + "server/S_PKG/";
    fs::create_symlink(installation.folder + "server/BriskoS.ini", pkg + "escape.so");
    fs::create_directories(installation.folder + "server/other");
    writeFile(installation.folder + "server/other/WOFB07S.so", "not a library of the server");
    const Variant remote = remoteServer();
    for (const std::string& request :
         {std::string("/etc/passwd.zip"), pkg + "../BriskoS.ini.zip", pkg + "escape.so.zip",
          installation.folder + "server/other/wofb07s.so.zip", std::string("wofb07s.so.zip"), pkg + "wofb07s.so",
          pkg + "S_PKG/../../BriskoS.ini.zip"}) {
        const Variant answer = remote.call("DownLoadFile", {request});
        EXPECT_TRUE(answer.isEmpty()) << request;
        const std::string why = VarToStr(remote.call("ErrorDescript"));
        EXPECT_NE(why.find("is not sent"), std::string::npos) << request << ": " << why;
    }
    EXPECT_EQ(VarToStr(remote.call("GetFileList", {Variant::list({"escape.so"})})), "")
        << "a link out of the folder is not described either";
    EXPECT_EQ(remote.call("DownLoadFile", {pkg + "wofb07s.so.zip"}).type(), VarType::AnsiString)
        << "the library itself is sent";
    fs::remove(pkg + "escape.so");

    std::string logs;
    for (const auto& e : fs::recursive_directory_iterator(installation.folder))
        if (e.path().filename().string().find("Alert_ReportCounterS") != std::string::npos)
            logs += readFile(e.path().string());
    EXPECT_NE(logs.find("DownLoadFile: The file \"/etc/passwd.zip\" is not sent"), std::string::npos) << logs;
    EXPECT_NE(logs.find("DownLoadFile: The file \"" + pkg + "escape.so.zip\" is not sent"), std::string::npos);
}

TEST_F(DownLoad, ADescriptionOfAnotherFolderOnTheServerIsRefusedThere)
{
    // A server answer that names a folder outside its library folders gets no file.
    const std::string forged = "<Modify>29991231235959</Modify><Path>" + installation.folder + "server/WOFB07S.so</Path>";
    QString error;
    EXPECT_FALSE(UpdateFile(QString::fromStdString(forged), QString::fromStdString(local), error, false));
    EXPECT_NE(error.indexOf(QStringLiteral("is not sent")), -1) << error.toStdString();
    EXPECT_EQ(readFile(local), readFile(QV_TEST_VERSION1));
}
