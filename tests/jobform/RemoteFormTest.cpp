// A job form and the host's session services on a client whose application server runs
// elsewhere: a demo installation served by a real qvappserver --listen on 127.0.0.2, a
// client that knows only its own folder (no server folder, no server object in its class
// table), so that every answer it gets has come over the connection.

#include "host/DemoInstall.h"
#include "host/HostSession.h"
#include "batch/BaseBatchCF.h"
#include "jobform/SocketConnection.h"
#include "platform/Automation.h"
#include "db/Db.h"
#include "platform/DynLib.h"
#include "platform/ModalRunner.h"
#include "plugin/DLLBaseCtrller.h"
#include "support/BriskoINI.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "EnvGuard.h"
#include "TestPaths.h"
#include "TestProcess.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

using testproc::Process;
using testproc::waitFor;

namespace {

constexpr const char* kSecret = "remote-demo-secret";

void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
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

int occurrences(const std::string& text, const std::string& what)
{
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class RemoteForm : public TfrmBaseBatch {
public:
    RemoteForm() : TfrmBaseBatch(nullptr) { setObjectName(QStringLiteral("frmWOFB07")); }
};

class RemoteClient : public ::testing::Test {
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
        // Nothing of the server in this process: no class, no folder, no database.
        UnregisterOleClass("ReportCounterS.dmReportCounter");
        writeFile(path("client-classes.ini"), "[Classes]\n");
        writeFile(path("client-registry.ini"), "[Software\\QVR\\Brisko]\nClientPath=" + installation.folder +
                                                   "client/\nProfileType=0\n");
        env.set("QV_CLASS_TABLE", path("client-classes.ini"));
        env.set("QV_REGISTRY", path("client-registry.ini"));
        server = start(0);
        ASSERT_GT(port, 0);
        pointClientAt(port, kSecret);
        // The session a form without a host makes for itself, signed on for the test user.
        RegisterOleClass(HostSession::ProgId, [] {
            HostConfig config = HostConfig::Load();
            config.sessionUser = "DS";
            config.sessionCompany = "01";
            return std::make_shared<HostSession>(config, AppServerLink::Factory());
        });
        previous = SetModalRunner([this](QWidget* w, const std::function<int()>&) {
            if (auto* box = qobject_cast<QMessageBox*>(w))
                dialogs << box->text();
            return 1;
        });
    }
    void TearDown() override
    {
        settle();
        SetModalRunner(previous);
        UnregisterOleClass(HostSession::ProgId);
    }

    std::string path(const std::string& name) const { return installation.folder + name; }

    std::unique_ptr<Process> start(int wanted)
    {
        auto p = std::make_unique<Process>(
            TestBinDir() + "/qvappserver",
            std::vector<std::string>{"--install", installation.folder, "--listen", "127.0.0.2:" + std::to_string(wanted)},
            path("server-" + std::to_string(started++) + ".out"),
            std::map<std::string, std::string>{{"QV_TEST_JOB_LOG", path("jobs.log")}});
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

    void pointClientAt(int serverPort, const std::string& secret)
    {
        const std::string clientIni = installation.folder + "client/BriskoC.ini";
        std::string text = readFile(clientIni);
        const std::size_t at = text.find("[Server Information]");
        text = text.substr(0, at) + "[Server Information]\nComputerName=127.0.0.2\nServerPort=" +
               std::to_string(serverPort) + "\nConnectionSecret=" + EncodePassword(secret) + "\nCallTimeOut=20000\n";
        writeFile(clientIni, text);
    }

    QPointer<RemoteForm> openForm()
    {
        QPointer<RemoteForm> form = TQVForm::Create<RemoteForm>();
        form->SetModuleFileName(QString::fromStdString(TestBinDir() + "/WOFB07C"));
        return form;
    }

    static QTemporaryDir* folder;
    static DemoInstallation installation;
    EnvGuard env;
    std::unique_ptr<Process> server;
    int port = 0;
    static inline int started = 0; // one output file per server of the suite
    QStringList dialogs;
    ModalRunFn previous;
};

QTemporaryDir* RemoteClient::folder = nullptr;
DemoInstallation RemoteClient::installation;

} // namespace

TEST_F(RemoteClient, AFormOpensAgainstAServerElsewhereAndGetsEverythingFromIt)
{
    QPointer<RemoteForm> form = openForm();
    ASSERT_TRUE(form);
    EXPECT_TRUE(dialogs.isEmpty()) << dialogs.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(form->IsLocalServer);
    ASSERT_TRUE(form->AppServer.isDispatch());
    EXPECT_TRUE(form->MainMidas->Connected());
    // The company title comes from the counter's settings, the program name from the
    // validator: both through the server.
    EXPECT_EQ(form->CompanyTitle, QStringLiteral("华东示范电子有限公司"));
    EXPECT_EQ(form->ProgramName, QStringLiteral("应付账款转销作业"));
    EXPECT_EQ(form->AppServer.call("SQLType").toInt(), 3);
    Variant rows;
    Variant args = Variant::list({"SELECT MF004 FROM $$CMSMF AS CMSMF WHERE MF001 = 'USD'", "MF004"});
    form->CallServerMethod(QStringLiteral("SimpleSQL"), args, rows);
    ASSERT_TRUE(rows.isArray());
    EXPECT_FALSE(VarToStr(rows[0][0]).empty());
    // Condition schemes: the remote object keeps the choice LoadTable made for its provider.
    EXPECT_EQ(VarToStr(form->AppServer.call("LoadTable", {Variant::list({"DS", "WOFB07"})})), "");
    EXPECT_TRUE(form->AppServer.call("AS_GetRecords", {"pvdConSave"}).isArray());
    form->Free();
    settle();
    EXPECT_TRUE(waitFor([&] { return server->output().find("signed on: user DS of company 01") != std::string::npos; }))
        << server->output();
}

TEST_F(RemoteClient, TheSessionServicesReachTheDatabaseOnlyThroughTheServer)
{
    HostConfig config = HostConfig::Load();
    config.sessionUser = "DS";
    config.sessionCompany = "01";
    ASSERT_FALSE(config.serverIsLocal());
    EXPECT_TRUE(config.serverPath.empty()) << "this client knows no server folder";
    auto session = std::make_shared<HostSession>(config, AppServerLink::Factory());
    const Variant counter = Variant(session).get("Com_Counter");
    const Variant settings = counter.call("GetSysInfo", {"01"});
    ASSERT_TRUE(settings.isArray());
    EXPECT_EQ(settings.dimCount(), 2);
    const Variant rows = counter.call("GetCounter", {"SIMPLESQL", Variant::list({"SELECT MA002 FROM QVRMA WHERE MA001 = 'DS'", "MA002"}),
                                                     Variant::list({"01", "DEMO"})});
    ASSERT_TRUE(rows.isArray());
    EXPECT_FALSE(VarToStr(rows[0][0]).empty());
    // The answer in parts comes over the connection part by part, as in-process.
    const std::string sql = "SELECT MA001 FROM QVRMA ORDER BY MA001";
    const Variant whole = counter.call("GetCounter", {"SIMPLESQL", Variant::list({sql, "MA001"}), Variant::list({"01", "DEMO"})});
    ASSERT_TRUE(whole.isArray());
    ASSERT_GE(whole.count(), 2) << "a whole answer would come as one part";
    std::vector<int> sizes;
    std::vector<Variant> parted;
    const Variant receiver(MakeCallbackObject("Rows", [&](std::span<Variant> a) {
        sizes.push_back(a[0].count());
        for (const Variant& row : a[0].elements())
            parted.push_back(row);
        return Variant(true);
    }));
    const Variant count = counter.call("GetCounter", {"SIMPLESQLPARTS", Variant::list({sql, "MA001", Variant(), receiver, 1}),
                                                      Variant::list({"01", "DEMO"})});
    EXPECT_EQ(count.toInt(), whole.count());
    EXPECT_EQ(sizes, std::vector<int>(std::size_t(whole.count()), 1));
    EXPECT_EQ(Variant::list(parted), whole);

    const Variant validator = Variant(session).get("Com_Validator");
    std::vector<Variant> check{"ADMMB", "01", "DEMO", Variant::list({"WOFB07"}), Variant()};
    EXPECT_TRUE(validator.invoke("CheckValue", check).toBool());
    ASSERT_TRUE(check[4].isArray()) << "the result comes back by reference";
    EXPECT_EQ(VarToStr(check[4][0]), "应付账款转销作业");
}

TEST_F(RemoteClient, WhenTheServerIsGoneTheUserIsToldAndAReturningServerIsUsedAgain)
{
    QPointer<RemoteForm> form = openForm();
    ASSERT_TRUE(form);
    ASSERT_TRUE(form->AppServer.isDispatch());
    const int samePort = port;
    server->signal(SIGKILL);
    ASSERT_TRUE(server->wait(10));
    std::string failure;
    try {
        form->AppServer.call("SQLType");
    } catch (const AutomationError& e) {
        failure = e.what();
    }
    EXPECT_NE(failure.find("127.0.0.2:" + std::to_string(samePort)), std::string::npos) << failure;

    // A form opened now cannot connect and says so.
    QPointer<RemoteForm> lonely = openForm();
    settle();
    EXPECT_TRUE(dialogs.contains(QStringLiteral("无法连接应用服务器!"))) << dialogs.join(QLatin1Char('\n')).toStdString();

    server = start(samePort);
    ASSERT_EQ(port, samePort);
    EXPECT_EQ(form->AppServer.call("SQLType").toInt(), 3) << "the next call connects again";
    if (form)
        form->Free();
    settle();
}

TEST_F(RemoteClient, AClientWithAnotherSecretIsRefusedAndTheFormSaysItCannotConnect)
{
    pointClientAt(port, "not-the-secret");
    QPointer<RemoteForm> form = openForm();
    settle();
    EXPECT_TRUE(dialogs.contains(QStringLiteral("无法连接应用服务器!"))) << dialogs.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(waitFor([&] { return server->output().find("sign-on refused for user DS") != std::string::npos; }))
        << server->output();
}

// Host command 5 on a client whose server is elsewhere: the job form offers no direct run,
// yet the command runs the job at once, on the server, through ExecSvrDLL.
TEST_F(RemoteClient, Command5RunsTheJobOnTheServerThroughExecSvrDLL)
{
    const std::string lib = QFileInfo(QStringLiteral(QV_TEST_JOB_LIB)).absolutePath().toStdString() + "/WOFB08S.so";
    const std::string pkg = installation.folder + "server/S_PKG/WOFB08S.so";
    std::remove(pkg.c_str());
    ASSERT_EQ(::symlink(lib.c_str(), pkg.c_str()), 0) << pkg;
    std::remove(path("jobs.log").c_str());
    // A completion notification of WOFB08: the server queues it, the desk opens no database.
    {
        DbConnection company;
        company.openSqlite(installation.folder + "server/data/DEMO.db");
        company.executeScript(R"(
            INSERT INTO TMCMC (MC001, MC002, MC003, MC005) VALUES ('T08', 'WOFB08', '测试通知', 'WOFB08');
            INSERT INTO TMCMD (MD001, MD002, MD003, MD004, MD006, MD007) VALUES ('T08', 'WOFB08', '0001', '6', 'YNN',
              '<MD007><Receiver><R1 ID="U001" Name="" Type="5" Msg="YNN"/></Receiver><Title Value="远端直接处理完成"/></MD007>||完成||');
        )");
    }

    HMODULE module = LoadLibrary(QV_TEST_JOB_LIB);
    ASSERT_NE(module, nullptr) << LastLibraryError();
    auto get = reinterpret_cast<TGetController>(GetProcAddress(module, "GetController"));
    ASSERT_NE(get, nullptr);
    std::unique_ptr<TDLLBaseController> controller(get());
    HostConfig config = HostConfig::Load();
    config.sessionUser = "DS";
    config.sessionCompany = "01";
    controller->Environment = Variant(std::make_shared<HostSession>(config, AppServerLink::Factory()));
    ASSERT_EQ(controller->OpenForm(Variant::list({"DS", "01", "DEMO", std::int64_t(0), Variant()})), 0)
        << dialogs.join(QLatin1Char('\n')).toStdString();
    controller->SetFormVisible(-1);
    settle();
    QWidget* query = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits("TfrmBaseBatch") && w->isVisible())
            query = w->findChild<QWidget*>(QStringLiteral("btnQuery"));
    ASSERT_NE(query, nullptr);
    EXPECT_FALSE(query->isEnabled()) << "no direct run is offered with the server elsewhere";

    Variant texts = Variant::array(1, 3);
    texts[1] = Variant::list({"单据日期", "edDocDate"});
    texts[2] = Variant::list({"供应商", "spSupplier"});
    texts[3] = Variant::list({"币别", "edCurrency"});
    Variant values = Variant::array(1, 3);
    values[1] = "20240305";
    values[2] = Variant::list({"\x04", "S001", "S005"});
    values[3] = "USD";
    EXPECT_EQ(controller->ApplyParams(Variant::list({5, Variant::list({true, Variant::list({texts, values})})})), 0);
    settle();
    EXPECT_TRUE(controller->IsFormFree()) << "the command closes the form";

    // The server library ran in the server's process with the registered request number.
    std::string runs;
    EXPECT_TRUE(waitFor([&] { return !(runs = readFile(path("jobs.log"))).empty(); }, 10))
        << server->output() << dialogs.join(QLatin1Char('\n')).toStdString();
    const std::string requestNo = runs.substr(0, runs.find('\t'));
    EXPECT_EQ(requestNo.size(), 14u) << runs;
    EXPECT_EQ(occurrences(runs, "\n"), 1) << runs;
    // The closing message says what the server's run did, as a run in this process does.
    EXPECT_TRUE(dialogs.filter(QStringLiteral("处理完毕")).filter(QString::fromStdString("ran " + requestNo)).size() == 1)
        << dialogs.join(QLatin1Char('\n')).toStdString();
    std::string shown;
    QProcess qvjobs;
    qvjobs.start(QString::fromStdString(TestBinDir() + "/qvjobs"),
                 {QStringLiteral("--install"), QString::fromStdString(installation.folder), QStringLiteral("show"),
                  QString::fromStdString(requestNo)});
    ASSERT_TRUE(qvjobs.waitForFinished(30000));
    shown = QString::fromUtf8(qvjobs.readAllStandardOutput()).toStdString();
    EXPECT_NE(shown.find("done"), std::string::npos) << shown;
    EXPECT_TRUE(dialogs.filter(QStringLiteral("完成通知未能送出")).isEmpty()) << dialogs.join(QLatin1Char('\n')).toStdString();
    DbConnection system;
    system.openSqlite(installation.folder + "server/data/QVSYS.db");
    EXPECT_EQ(VarToStr(system.scalar("SELECT TC002 FROM ADMTC WHERE TC006 = '远端直接处理完成'")), "DS");
    controller.reset();
    settle();
    FreeLibrary(module);
    std::remove(pkg.c_str());
}

// The new-file check of a remote client compares with the copy the server holds: the
// session asks the server, which describes only files that really lie in its folders.
TEST_F(RemoteClient, TheSessionDescribesTheServersCopyOfAJobLibrary)
{
    HostConfig config = HostConfig::Load();
    config.sessionUser = "DS";
    config.sessionCompany = "01";
    const Variant session(std::make_shared<HostSession>(config, AppServerLink::Factory()));
    const std::string pkg = installation.folder + "server/S_PKG/WOFB07S.so";
    const std::string answer = VarToStr(session.call("GetFileList", {Variant::list({"wofb07s.so", "other.so"})}));

    // A link that leads out of the library folder is not described.
    const std::string aside = pkg + ".aside";
    std::filesystem::rename(pkg, aside);
    std::filesystem::create_symlink(TestBinDir() + "/WOFB07S.so", pkg);
    EXPECT_EQ(VarToStr(session.call("GetFileList", {Variant::list({"wofb07s.so"})})), "")
        << "a link into the build leads out of the library folder";
    std::filesystem::remove(pkg);
    std::filesystem::rename(aside, pkg);

    const std::regex shape(R"(^<Modify>\d{14}</Modify><Path>(.*)</Path>$)");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(answer, m, shape)) << answer;
    EXPECT_EQ(std::filesystem::canonical(std::filesystem::path(m[1].str()).parent_path()),
              std::filesystem::canonical(installation.folder + "server/S_PKG"));
}
