// A job library opened as the host shell opens it, against a demo installation with the
// real session services, application server and demo database: the job initialises,
// shows its caption with the company title, checks its date and required fields and the
// currency, and hands back a correct parameter packet.

#include "host/DemoInstall.h"
#include "host/HostSession.h"
#include "batch/BaseBatchCF.h"
#include "platform/DynLib.h"
#include "platform/ModalRunner.h"
#include "plugin/DLLBaseCtrller.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QThread>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include "TestPaths.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

std::string binDir()
{
    return TestBinDir();
}

void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

QWidget* windowOf(HWND handle)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->internalWinId() && HWND(w->winId()) == handle)
            return w;
    return nullptr;
}

// The supplier range, currency and dates as a host hands them in: [command, [by name,
// [option texts, option values]]]; only the named slots are filled.
Variant request(int command, const Variant& docDate, const Variant& suppliers, const Variant& currency)
{
    Variant texts = Variant::array(1, 3);
    texts[1] = Variant::list({"单据日期", "edDocDate"});
    texts[2] = Variant::list({"供应商", "spSupplier"});
    texts[3] = Variant::list({"币别", "edCurrency"});
    Variant values = Variant::array(1, 3);
    values[1] = docDate;
    values[2] = suppliers;
    values[3] = currency;
    return Variant::list({command, Variant::list({true, Variant::list({texts, values})})});
}

class EndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder = new QTemporaryDir;
        installation = DemoInstall::Prepare(folder->filePath(QStringLiteral("demo")).toStdString(), binDir());
        DemoInstall::UseEnvironment(installation);
    }
    static void TearDownTestSuite()
    {
        delete folder;
        folder = nullptr;
    }
    void SetUp() override
    {
        previous = SetModalRunner([this](QWidget* w, const std::function<int()>&) {
            if (auto* box = qobject_cast<QMessageBox*>(w))
                dialogs << box->text();
            return 1;
        });
        module = LoadLibrary(QV_TEST_JOB_LIB);
        ASSERT_NE(module, nullptr) << LastLibraryError();
        auto get = reinterpret_cast<TGetController>(GetProcAddress(module, "GetController"));
        ASSERT_NE(get, nullptr);
        controller.reset(get());
        controller->Environment = Variant(std::make_shared<HostSession>());
    }
    void TearDown() override
    {
        controller.reset();
        settle();
        FreeLibrary(module);
        SetModalRunner(previous);
    }
    bool openForm()
    {
        return controller->OpenForm(Variant::list({installation.user, installation.company, installation.database,
                                                   std::int64_t(0), Variant()})) == 0;
    }

    static QTemporaryDir* folder;
    static DemoInstallation installation;
    HMODULE module = nullptr;
    std::unique_ptr<TDLLBaseController> controller;
    QStringList dialogs;
    ModalRunFn previous;
};

QTemporaryDir* EndToEnd::folder = nullptr;
DemoInstallation EndToEnd::installation;

} // namespace

// A job form held by a program instead of the host shell makes its own session, for the
// demo company, so that the company's settings and title are there.
class ProgramHeldForm : public TfrmBaseBatch {
public:
    ProgramHeldForm() : TfrmBaseBatch(nullptr) { setObjectName(QStringLiteral("frmWOFB07")); }
};

TEST_F(EndToEnd, AFormHeldByAProgramOpensTheDemoCompany)
{
    QPointer<ProgramHeldForm> form = TQVForm::Create<ProgramHeldForm>();
    form->SetModuleFileName(QString::fromStdString(binDir() + "/WOFB07C"));
    ASSERT_FALSE(form->IsLibraryMode());
    EXPECT_TRUE(dialogs.isEmpty()) << dialogs.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(form->CompanyCode, QString::fromStdString(installation.company));
    EXPECT_EQ(form->DatabaseName, QString::fromStdString(installation.database));
    EXPECT_EQ(form->CompanyTitle, QStringLiteral("华东示范电子有限公司"));
    EXPECT_EQ(form->ProgramName, QStringLiteral("应付账款转销作业"));
    EXPECT_EQ(form->GetDateSeparator(), QStringLiteral("/"));
    EXPECT_TRUE(form->AppServer.isDispatch());
    form->Free();
    settle();
}

TEST_F(EndToEnd, TheJobOpensWithItsCaption)
{
    ASSERT_TRUE(openForm()) << dialogs.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(dialogs.isEmpty());
    Variant info;
    ASSERT_EQ(controller->GetSessionInfo(info), 0);
    EXPECT_EQ(VarToStr(info[2]), "WOFB08");
    EXPECT_EQ(VarToStr(info[3]), "应付账款重估作业");
    controller->SetFormVisible(-1);
    settle();
    QWidget* window = windowOf(controller->GetFormHandle());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("应付账款重估作业[华东示范电子有限公司]"));
    controller->FreeForm();
    settle();
    EXPECT_TRUE(controller->IsFormFree());
    EXPECT_EQ(controller->ResultCode, 0);
}

TEST_F(EndToEnd, OkChecksTheFieldsAndHandsTheJobToTheJobService)
{
    ASSERT_TRUE(openForm());
    controller->SetFormVisible(-1);
    settle();
    const Variant range = Variant::list({"\x04", "S001", "S005"});

    // The currency is required.
    EXPECT_EQ(controller->ApplyParams(request(1, "20240305", range, "")), 0);
    settle();
    ASSERT_EQ(dialogs.size(), 1);
    EXPECT_EQ(controller->ResultCode, 0);
    EXPECT_FALSE(controller->IsFormFree());

    // A date that does not exist is refused.
    EXPECT_EQ(controller->ApplyParams(request(1, "20240230", range, "USD")), 0);
    settle();
    ASSERT_EQ(dialogs.size(), 2);
    EXPECT_FALSE(controller->IsFormFree());

    // So is a currency the company does not have.
    EXPECT_EQ(controller->ApplyParams(request(1, "20240305", range, "XXX")), 0);
    settle();
    ASSERT_EQ(dialogs.size(), 3);
    EXPECT_TRUE(dialogs[2].contains(QStringLiteral("XXX"))) << dialogs[2].toStdString();
    EXPECT_FALSE(controller->IsFormFree());

    // Everything in order: the job service takes the job, its number is shown and comes
    // back, and the form closes.
    EXPECT_EQ(controller->ApplyParams(request(1, "20240305", range, "USD")), 0);
    settle();
    ASSERT_EQ(dialogs.size(), 4) << dialogs.join(QLatin1Char('\n')).toStdString();
    ASSERT_TRUE(controller->IsFormFree());
    EXPECT_EQ(controller->ResultCode, 1);
    const QString number = QString::fromStdString(VarToStr(controller->ResultValue));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{14}$")).match(number).hasMatch()) << number.toStdString();
    EXPECT_TRUE(dialogs[3].contains(number)) << dialogs[3].toStdString();
}

TEST(JobhostEndToEnd, TheHostShellOpensTheJob)
{
    QTemporaryDir dir;
    const std::string demoFolder = dir.filePath(QStringLiteral("demo")).toStdString();
    const DemoInstallation demo = DemoInstall::Prepare(demoFolder, binDir());
    QProcess host;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QV_REGISTRY"), QString::fromStdString(demo.registryFile));
    env.insert(QStringLiteral("QV_CLASS_TABLE"), QString::fromStdString(demo.classTable));
    host.setProcessEnvironment(env);
    host.start(QString::fromStdString(binDir() + "/jobhost"),
               {QStringLiteral(QV_TEST_JOB_LIB), QStringLiteral("--offscreen"), QStringLiteral("--company"),
                QString::fromStdString(demo.company), QStringLiteral("--database"), QString::fromStdString(demo.database)});
    ASSERT_TRUE(host.waitForFinished(120000));
    const QString out = QString::fromUtf8(host.readAllStandardOutput());
    EXPECT_EQ(host.exitCode(), 0) << host.readAllStandardError().toStdString();
    for (const char* line : {"event 256 (form created)", "OpenForm: 0", "caption: 应付账款重估作业[华东示范电子有限公司]",
                             "event 304 (form destroyed)", "ResultCode: 0"})
        EXPECT_TRUE(out.contains(QString::fromUtf8(line))) << line << "\n" << out.toStdString();
}

// The whole queue path as a user meets it: the job put into the queue from its form on the
// demo installation is run by a real qvappserver and listed as done by qvjobs.
TEST_F(EndToEnd, AQueuedJobIsRunByTheQueueServerAndListedAsDone)
{
    const std::string lib = QFileInfo(QStringLiteral(QV_TEST_JOB_LIB)).absolutePath().toStdString() + "/WOFB08S.so";
    const std::string pkg = installation.folder + "server/S_PKG/WOFB08S.so";
    std::remove(pkg.c_str());
    ASSERT_EQ(::symlink(lib.c_str(), pkg.c_str()), 0) << pkg;

    ASSERT_TRUE(openForm());
    controller->SetFormVisible(-1);
    settle();
    // Two system users are to be told, picked in the recipient dialog as a user would:
    // U001 by system message and mail, U002 by short message.
    QWidget* form = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits("TfrmBaseOpt") && w->isVisible())
            form = w;
    ASSERT_NE(form, nullptr);
    const ModalRunFn answering = SetModalRunner([this](QWidget* w, const std::function<int()>&) {
        if (w->inherits("TfrmNotify")) {
            auto* grid = w->findChild<QTableWidget*>(QStringLiteral("grReceive"));
            grid->setRowCount(2);
            const QStringList rows[] = {{"U001", "张伟", "", "", "1.系统用户", "Y", "N", "Y"},
                                        {"U002", "李娜", "", "", "1.系统用户", "N", "Y", "N"}};
            for (int r = 0; r < 2; ++r)
                for (int c = 0; c < 8; ++c)
                    grid->setItem(r, c, new QTableWidgetItem(rows[r][c]));
            w->findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click();
            return 1;
        }
        if (auto* box = qobject_cast<QMessageBox*>(w))
            dialogs << box->text();
        return 1;
    });
    QTest::mouseClick(form->findChild<QWidget*>(QStringLiteral("chkNotify")), Qt::LeftButton);
    auto* notify = form->findChild<QWidget*>(QStringLiteral("btnNotify"));
    ASSERT_TRUE(notify->isEnabled()) << "ticking the box offers the recipient list";
    QTest::mouseClick(notify, Qt::LeftButton);
    settle();
    EXPECT_EQ(controller->ApplyParams(request(1, "20240305", Variant::list({"\x04", "S001", "S005"}), "USD")), 0);
    settle();
    ASSERT_TRUE(controller->IsFormFree()) << dialogs.join(QLatin1Char('\n')).toStdString();
    const QString number = QString::fromStdString(VarToStr(controller->ResultValue));
    ASSERT_EQ(number.size(), 14) << number.toStdString();

    const auto qvjobs = [&](const QStringList& args) {
        QProcess p;
        p.start(QString::fromStdString(binDir() + "/qvjobs"),
                QStringList{QStringLiteral("--install"), QString::fromStdString(installation.folder)} + args);
        p.waitForFinished(30000);
        return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    };
    EXPECT_TRUE(qvjobs({QStringLiteral("list")}).contains(number));

    QProcess server;
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start(QString::fromStdString(binDir() + "/qvappserver"),
                 {QStringLiteral("--install"), QString::fromStdString(installation.folder), QStringLiteral("--poll"),
                  QStringLiteral("50")});
    ASSERT_TRUE(server.waitForStarted(10000));
    QString shown;
    for (int i = 0; i < 300; ++i) {
        const QString list = qvjobs({QStringLiteral("show"), number});
        if (list.contains(QStringLiteral("done"))) {
            shown = list;
            break;
        }
        QThread::msleep(100);
    }
    server.terminate();
    server.waitForFinished(10000);
    ASSERT_FALSE(shown.isEmpty()) << qvjobs({QStringLiteral("show"), number}).toStdString()
                                  << QString::fromUtf8(server.readAll()).toStdString();
    const QString list = qvjobs({QStringLiteral("list")});
    const QString line = list.split(QLatin1Char('\n')).filter(number).value(0);
    EXPECT_TRUE(line.contains(QStringLiteral("WOFB08"))) << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral("done"))) << list.toStdString();
    const QString u001 = qvjobs({QStringLiteral("messages"), QStringLiteral("U001")});
    EXPECT_TRUE(u001.contains(QStringLiteral("作业完成")) && u001.contains(number)) << u001.toStdString();
    EXPECT_TRUE(u001.contains(QStringLiteral("mail")) && u001.contains(QStringLiteral("zhangwei@example.com")))
        << u001.toStdString();
    const QString u002 = qvjobs({QStringLiteral("messages"), QStringLiteral("U002")});
    EXPECT_TRUE(u002.contains(QStringLiteral("short message")) && u002.contains(QStringLiteral("13787654321")))
        << u002.toStdString();
    std::remove(pkg.c_str());
    SetModalRunner(answering);
}
