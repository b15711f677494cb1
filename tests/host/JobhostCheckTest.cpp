// jobhost as an unattended run meets it: a broken installation, a session that is not
// a real user of a real company, a job that reports an error while it opens, --help
// without a display, and a hostile program answering on the application server's address.
// Each run is a real jobhost process with a time limit, so a host that waits for a person
// fails the test instead of hanging it.

#include "TestPaths.h"
#include "host/DemoInstall.h"
#include "wire/RemoteProtocol.h"
#include "support/BriskoINI.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <climits>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kLimitMs = 30000;

struct HostRun {
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
    std::string all() const { return (out + QStringLiteral("\n--- stderr ---\n") + err).toStdString(); }
};

QString program()
{
    return QDir(QString::fromStdString(TestBinDir())).absoluteFilePath(QStringLiteral("jobhost"));
}

// Runs jobhost with the installation's environment; display false takes the display
// and the platform choice away, as on a server without a screen.
HostRun runHost(const QStringList& args, const DemoInstallation* installation, bool display = true)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (installation) {
        env.insert(QStringLiteral("QV_REGISTRY"), QString::fromStdString(installation->registryFile));
        env.insert(QStringLiteral("QV_CLASS_TABLE"), QString::fromStdString(installation->classTable));
    }
    if (!display)
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program(), args);
    HostRun r;
    r.finished = p.waitForFinished(kLimitMs);
    if (!r.finished) {
        p.kill();
        p.waitForFinished(5000);
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

class Jobhost : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(program()).isExecutable()) << program().toStdString();
        demo = DemoInstall::Prepare(dir.filePath(QStringLiteral("demo")).toStdString(), TestBinDir());
    }
    QString path(const char* relative) const { return QString::fromStdString(demo.folder) + QLatin1String(relative); }
    void writeFile(const char* relative, const QByteArray& content) const
    {
        QFile f(path(relative));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    // A folder in the place of a file.
    void replaceByFolder(const char* relative) const
    {
        QFile::remove(path(relative));
        ASSERT_TRUE(QDir().mkpath(path(relative) + QStringLiteral("/inside")));
    }
    // A file that cannot be read: for root every file can be, a link loop cannot.
    void makeUnreadable(const char* relative) const
    {
        QFile::remove(path(relative));
        ASSERT_TRUE(QFile::link(path(relative), path(relative)));
    }
    HostRun open(QStringList args = {}) const
    {
        args.prepend(QStringLiteral("--offscreen"));
        return runHost(args, &demo);
    }

    QTemporaryDir dir;
    DemoInstallation demo;
};

// The host refused: exit code 2, each text in its messages, and the job never opened.
void expectRefused(const HostRun& r, const QStringList& texts)
{
    ASSERT_TRUE(r.finished) << "jobhost did not finish in time\n" << r.all();
    EXPECT_EQ(r.exitCode, 2) << r.all();
    for (const QString& t : texts)
        EXPECT_TRUE(r.err.contains(t)) << t.toStdString() << "\n" << r.all();
    EXPECT_FALSE(r.out.contains(QStringLiteral("event 256"))) << r.all();
}

} // namespace

TEST_F(Jobhost, ADialogWithoutADisplayIsAnsweredAndPrintedAndAJobThatCouldNotOpenFailsTheRun)
{
    // A library whose name does not fit its form: the job says so in a message box
    // while it opens, and closes.
    const QString library = dir.filePath(QStringLiteral("XYZB07C.so"));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(TestBinDir()) + QStringLiteral("/WOFB07C.so"), library));
    for (bool display : {true, false}) {
        const HostRun r = display ? open({library}) : runHost({library}, &demo, false);
        ASSERT_TRUE(r.finished) << "a dialog waited for a person\n" << r.all();
        EXPECT_EQ(r.exitCode, 1) << r.all();
        EXPECT_TRUE(r.err.contains(QStringLiteral("jobhost: message \""))) << r.all();
        // The demo is a simplified-Chinese installation: its buttons are Chinese on any locale.
        EXPECT_TRUE(r.err.contains(QStringLiteral("[answered 确定]"))) << r.all();
        EXPECT_TRUE(r.err.contains(QStringLiteral("could not be opened"))) << r.all();
        EXPECT_TRUE(r.out.contains(QStringLiteral("OpenForm: -1"))) << r.all();
        EXPECT_EQ(r.err.contains(QStringLiteral("no display")), !display) << r.all();
    }
}

TEST_F(Jobhost, HelpNeedsNoDisplayAndAnOrdinaryRunWithoutOneGoesUnattended)
{
    const HostRun help = runHost({QStringLiteral("--help")}, nullptr, false);
    ASSERT_TRUE(help.finished);
    EXPECT_EQ(help.exitCode, 0) << help.all();
    EXPECT_TRUE(help.out.contains(QStringLiteral("Usage:"))) << help.all();
    EXPECT_TRUE(help.out.contains(QStringLiteral("--user"))) << help.all();
    const HostRun wrong = runHost({QStringLiteral("--usr"), QStringLiteral("DS")}, nullptr, false);
    ASSERT_TRUE(wrong.finished);
    EXPECT_EQ(wrong.exitCode, 2) << wrong.all();
    EXPECT_TRUE(wrong.err.contains(QStringLiteral("usr"))) << wrong.all();

    const HostRun run = runHost({}, &demo, false);
    ASSERT_TRUE(run.finished) << run.all();
    EXPECT_EQ(run.exitCode, 0) << run.all();
    EXPECT_TRUE(run.out.contains(QStringLiteral("OpenForm: 0"))) << run.all();
    EXPECT_TRUE(run.out.contains(QStringLiteral("event 304"))) << run.all();
}

TEST_F(Jobhost, EachProblemOfTheInstallationIsNamedWithItsFile)
{
    struct Case {
        const char* name;
        std::function<void()> breakIt;
        QStringList texts;
    };
    const QString data = path("server/data/");
    const std::vector<Case> cases = {
        {"no server in the client's list", [&] { writeFile("client/BriskoC.ini", "[Server Information]\nComputerName= ;\n"); },
         {path("client/BriskoC.ini"), QStringLiteral("ComputerName")}},
        {"registry file missing", [&] { QFile::remove(path("registry.ini")); },
         {path("registry.ini"), QStringLiteral("is missing")}},
        {"folder for the registry file", [&] { replaceByFolder("registry.ini"); },
         {path("registry.ini"), QStringLiteral("is a folder")}},
        {"folder for BriskoC.ini", [&] { replaceByFolder("client/BriskoC.ini"); },
         {path("client/BriskoC.ini"), QStringLiteral("is a folder")}},
        {"folder for BriskoS.ini", [&] { replaceByFolder("server/BriskoS.ini"); },
         {path("server/BriskoS.ini"), QStringLiteral("is a folder")}},
        {"unreadable BriskoC.ini", [&] { makeUnreadable("client/BriskoC.ini"); },
         {path("client/BriskoC.ini"), QStringLiteral("cannot be read")}},
        {"unreadable BriskoS.ini", [&] { makeUnreadable("server/BriskoS.ini"); },
         {path("server/BriskoS.ini"), QStringLiteral("cannot be read")}},
        {"unreadable class table", [&] { makeUnreadable("classes.ini"); },
         {path("classes.ini"), QStringLiteral("cannot be read")}},
        {"system database missing", [&] { QFile::remove(data + QStringLiteral("QVSYS.db")); },
         {data + QStringLiteral("QVSYS.db"), QStringLiteral("is missing")}},
        {"system database empty", [&] { writeFile("server/data/QVSYS.db", ""); },
         {data + QStringLiteral("QVSYS.db"), QStringLiteral("is empty")}},
        {"company database missing", [&] { QFile::remove(data + QStringLiteral("DEMO.db")); },
         {data + QStringLiteral("DEMO.db"), QStringLiteral("is missing")}},
        {"company database empty", [&] { writeFile("server/data/DEMO.db", ""); },
         {data + QStringLiteral("DEMO.db"), QStringLiteral("is empty")}},
        {"NUL byte in a path",
         [&] {
             writeFile("registry.ini", QByteArray("[Software\\QVR\\Brisko]\nClientPath=") + path("client/").toUtf8() +
                                           QByteArray("\0/x\nServerPath=", 13) + path("server/").toUtf8() + "\n");
         },
         {path("registry.ini"), QStringLiteral("ClientPath"), QStringLiteral("NUL byte")}},
    };
    // Each case on an installation of its own; the paths above name the first one's.
    const std::string first = demo.folder;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        if (i > 0) {
            QDir(QString::fromStdString(first)).removeRecursively();
            demo = DemoInstall::Prepare(first, TestBinDir());
        }
        cases[i].breakIt();
        expectRefused(open(), cases[i].texts);
    }
    // Root reads every file whatever its mode; anyone else meets a file without rights.
    if (geteuid() != 0) {
        QDir(QString::fromStdString(first)).removeRecursively();
        demo = DemoInstall::Prepare(first, TestBinDir());
        QFile::setPermissions(path("client/BriskoC.ini"), QFileDevice::Permissions());
        expectRefused(open(), {path("client/BriskoC.ini"), QStringLiteral("cannot be read")});
    }
}

TEST_F(Jobhost, OnlyAKnownUserInUseOfAKnownCompanyOpensTheJob)
{
    expectRefused(open({QStringLiteral("--user"), QStringLiteral("U003")}),
                  {QStringLiteral("\"U003\""), QStringLiteral("disabled")});
    expectRefused(open({QStringLiteral("--user"), QString()}), {QStringLiteral("No user")});
    expectRefused(open({QStringLiteral("--user"), QStringLiteral("NOBODY")}),
                  {QStringLiteral("\"NOBODY\""), QStringLiteral("unknown")});
    const HostRun huge = open({QStringLiteral("--user"), QString(100000, QLatin1Char('x'))});
    expectRefused(huge, {QStringLiteral("unknown"), QStringLiteral("(100000 bytes)")});
    EXPECT_LT(huge.err.size(), 1000) << "the message shows a clipped code";
    expectRefused(open({QStringLiteral("--company"), QStringLiteral("99")}),
                  {QStringLiteral("\"99\""), QStringLiteral("company"), QStringLiteral("unknown")});
    expectRefused(open({QStringLiteral("--company"), QString()}), {QStringLiteral("No company")});
    expectRefused(open({QStringLiteral("--database"), QStringLiteral("OTHER")}),
                  {QStringLiteral("DEMO"), QStringLiteral("\"OTHER\"")});

    // A user in use, and the company's database named in another case.
    const HostRun good = open({QStringLiteral("--user"), QStringLiteral("U001"), QStringLiteral("--database"),
                               QStringLiteral("demo")});
    ASSERT_TRUE(good.finished);
    EXPECT_EQ(good.exitCode, 0) << good.all();
    EXPECT_TRUE(good.out.contains(QStringLiteral("OpenForm: 0"))) << good.all();
}

namespace {

// A program on 127.0.0.2 (a server elsewhere, to the client) that plays the application
// server from a script: what it sends as its greeting and, when there is one, what it
// answers the sign-on with, to every connection.
class HostileServer {
public:
    HostileServer(std::string greeting, std::string signOnAnswer)
        : greeting_(std::move(greeting)), signOnAnswer_(std::move(signOnAnswer))
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(0x7f000002);
        socklen_t n = sizeof a;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 8) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n) != 0)
            return;
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~HostileServer()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (fd_ >= 0)
            ::close(fd_);
    }
    int port() const { return port_; }
    int connections() const { return connections_; }

private:
    static bool readable(int fd, int ms)
    {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, ms) > 0;
    }
    static bool readFrame(int fd)
    {
        std::string got;
        std::size_t want = remote::kHeaderBytes;
        while (got.size() < want) {
            char buf[4096];
            if (!readable(fd, 5000))
                return false;
            const ssize_t n = ::recv(fd, buf, std::min(sizeof buf, want - got.size()), 0);
            if (n <= 0)
                return false;
            got.append(buf, std::size_t(n));
            if (want == remote::kHeaderBytes && got.size() == want)
                want += remote::FrameLength(reinterpret_cast<const unsigned char*>(got.data()));
        }
        return true;
    }
    void serve()
    {
        while (!stop_) {
            if (!readable(fd_, 100))
                continue;
            const int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0)
                continue;
            ++connections_;
            (void)::send(c, greeting_.data(), greeting_.size(), MSG_NOSIGNAL);
            if (!signOnAnswer_.empty() && readFrame(c))
                (void)::send(c, signOnAnswer_.data(), signOnAnswer_.size(), MSG_NOSIGNAL);
            // Until the client hangs up.
            char sink[4096];
            while (!stop_ && readable(c, 100) && ::recv(c, sink, sizeof sink, 0) > 0) {
            }
            ::close(c);
        }
    }

    std::string greeting_, signOnAnswer_;
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
};

std::string frameOf(const std::string& payload)
{
    return remote::FrameHeader(payload.size()) + payload;
}

// [[low1, high1, low2, high2]]: an array of no elements whose bounds claim otherwise.
std::string boundsOnly(std::initializer_list<int> bounds)
{
    std::string s{char(0x91), char(0x90 | bounds.size())};
    for (const int b : bounds) {
        s.push_back(char(0xd2));
        for (int shift = 24; shift >= 0; shift -= 8)
            s.push_back(char((std::uint32_t(b) >> shift) & 0xff));
    }
    return s;
}

} // namespace

TEST(JobhostAgainstAHostileServer, FramesThatCrashedTheDecoderEndTheRunWithAClearMessage)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString() + "/";
    DemoInstallation client;
    client.registryFile = folder + "registry.ini";
    client.classTable = folder + "classes.ini";
    auto write = [](const std::string& file, const std::string& text) {
        QFile f(QString::fromStdString(file));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text.data(), qint64(text.size()));
    };
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder + "client")));
    write(client.registryFile, "[Software\\QVR\\Brisko]\nClientPath=" + folder + "client/\nProfileType=0\n");
    write(client.classTable, "[Classes]\n");

    const std::string spanning = frameOf(boundsOnly({INT_MIN, INT_MAX, INT_MIN, INT_MAX}));
    const std::string emptySecond = frameOf(boundsOnly({INT_MIN, INT_MAX, 0, -1}));
    const std::string garbled = frameOf(std::string("\xa2\xc3\x28", 3));
    const std::string greeting = remote::Frame(
        Variant::list({remote::kGreeting, remote::kProtocolVersion, remote::NewChallenge(), false, Variant::list(std::vector<Variant>{})}));
    struct Case {
        const char* what;
        std::string greeting, signOnAnswer;
    };
    const std::vector<Case> cases = {
        {"greeting: two dimensions spanning the int range", spanning, ""},
        {"greeting: the same with an empty second dimension", emptySecond, ""},
        {"greeting: a text that is not UTF-8", garbled, ""},
        {"a greeting whose version is text", remote::Frame(Variant::list({remote::kGreeting, "1",
                                                                          remote::NewChallenge(), false})), ""},
        {"sign-on answered with two dimensions spanning the int range", greeting, spanning},
        {"sign-on answered with an empty second dimension", greeting, emptySecond},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HostileServer server(c.greeting, c.signOnAnswer);
        ASSERT_GT(server.port(), 0) << "no socket on 127.0.0.2";
        write(folder + "client/BriskoC.ini", "[Server Information]\nComputerName=127.0.0.2\nServerPort=" +
                                                 std::to_string(server.port()) + "\nConnectionSecret=" +
                                                 EncodePassword("a long secret of this installation") +
                                                 "\nConnectTimeOut=5000\nCallTimeOut=5000\n");
        const HostRun r = runHost({QStringLiteral("--offscreen"), QStringLiteral("--user"), QStringLiteral("DS"),
                                   QStringLiteral("--company"), QStringLiteral("01")},
                                  &client);
        ASSERT_TRUE(r.finished) << "jobhost did not finish in time\n" << r.all();
        EXPECT_EQ(r.exitCode, 2) << "the host refuses to open the job, and ends by itself (-1: a signal)\n" << r.all();
        EXPECT_GE(server.connections(), 1) << r.all();
        EXPECT_TRUE(r.err.contains(QStringLiteral("127.0.0.2:%1").arg(server.port()))) << r.all();
        EXPECT_TRUE(r.err.contains(QStringLiteral("sent an answer that could not be read"))) << r.all();
        EXPECT_FALSE(r.out.contains(QStringLiteral("OpenForm"))) << r.all();
    }
}
