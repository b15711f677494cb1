// jobhost: the host shell. Loads a job library by file name, asks it for its controller,
// hands it a session and shows the job window, printing the controller's events and the
// job's result.
//
//   jobhost [library] [options]      the installation the registry file (QV_REGISTRY) names
//   jobhost demo [folder] [options]  prepares or reuses a demo installation in folder and
//                                    opens the write-off job with its demo session

#include "host/DemoInstall.h"
#include "host/HostSession.h"
#include "platform/DynLib.h"
#include "plugin/DLLBaseCtrller.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <memory>

namespace {

const char* eventName(std::int32_t code)
{
    switch (code) {
    case evFormCreated:
        return "form created";
    case evFormShow:
        return "form shown";
    case evFormHide:
        return "form hidden";
    case evFormDestroy:
        return "form destroyed";
    default:
        return "reserved";
    }
}

// Processes pending events, including deferred deletions, a few times over.
void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

QWidget* findWindow(HWND handle)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->internalWinId() && HWND(w->winId()) == handle)
            return w;
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    // Decide the platform before the application object exists.
    bool offscreen = false;
    for (int i = 1; i < argc; ++i)
        if (QByteArray(argv[i]) == "--offscreen")
            offscreen = true;
    if (offscreen)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("jobhost"));

    QCommandLineParser cli;
    cli.setApplicationDescription(QStringLiteral("Loads a job library and opens its job window."));
    cli.addHelpOption();
    cli.addPositionalArgument(QStringLiteral("library"),
                              QStringLiteral("The job library (default WOFB07C.so beside this program), or \"demo\" "
                                             "followed by the folder of the demo installation."));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("User code."), QStringLiteral("code"), QStringLiteral("DS"));
    const QCommandLineOption company(QStringLiteral("company"), QStringLiteral("Company code."), QStringLiteral("code"), QStringLiteral("01"));
    const QCommandLineOption database(QStringLiteral("database"), QStringLiteral("Company database."), QStringLiteral("name"), QStringLiteral("DEMO"));
    const QCommandLineOption offscreenOpt(QStringLiteral("offscreen"), QStringLiteral("Run unattended without a display: show the window, then close it."));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"), QStringLiteral("Write a picture of the job window (with --offscreen)."), QStringLiteral("file"));
    cli.addOptions({user, company, database, offscreenOpt, screenshot});
    cli.process(app);

    const QStringList positional = cli.positionalArguments();
    QString library = positional.value(0);
    QString userCode = cli.value(user);
    QString companyCode = cli.value(company);
    QString databaseName = cli.value(database);
    if (library == QLatin1String("demo")) {
        try {
            const DemoInstallation demo = DemoInstall::Prepare(positional.value(1).toStdString(),
                                                               QCoreApplication::applicationDirPath().toStdString());
            DemoInstall::UseEnvironment(demo);
            std::printf("demo installation: %s (%s)\n", demo.folder.c_str(),
                        demo.createdDatabases ? "databases created" : "reused");
            std::fflush(stdout);
            if (!cli.isSet(user))
                userCode = QString::fromStdString(demo.user);
            if (!cli.isSet(company))
                companyCode = QString::fromStdString(demo.company);
            if (!cli.isSet(database))
                databaseName = QString::fromStdString(demo.database);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "jobhost: demo installation: %s\n", e.what());
            return 2;
        }
        library.clear();
    }
    if (library.isEmpty())
        library = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("WOFB07C.so"));
    library = QFileInfo(library).absoluteFilePath();
    // A job form without a host (exe mode) finds the session by ProgID; in the host the
    // same class answers.
    RegisterHostSessionClass();

    HMODULE module = LoadLibrary(library.toStdString());
    if (!module) {
        std::fprintf(stderr, "jobhost: cannot load %s: %s\n", qPrintable(library), LastLibraryError().c_str());
        return 2;
    }
    auto getController = reinterpret_cast<TGetController>(GetProcAddress(module, "GetController"));
    if (!getController) {
        std::fprintf(stderr, "jobhost: %s has no GetController\n", qPrintable(library));
        return 2;
    }

    int exitCode = 0;
    try {
        std::unique_ptr<TDLLBaseController> controller(getController());
        controller->Environment = Variant(std::make_shared<HostSession>());
        controller->OnEvent = [](std::int32_t code, TDLLBaseController*) {
            std::printf("event %d (%s)\n", code, eventName(code));
            std::fflush(stdout);
        };
        const Variant session = Variant::list({userCode.toStdString(), companyCode.toStdString(),
                                               databaseName.toStdString(), std::int64_t(0), Variant()});
        const std::int32_t opened = controller->OpenForm(session);
        std::printf("OpenForm: %d\n", opened);
        if (opened == 0 && !controller->IsFormFree()) {
            std::string version;
            controller->GetFormVersion(version);
            std::printf("form version: %s\n", version.c_str());
            if (cli.isSet(offscreenOpt)) {
                controller->SetFormVisible(-1);
                settle();
                if (cli.isSet(screenshot)) {
                    QWidget* window = findWindow(controller->GetFormHandle());
                    if (window && window->grab().save(cli.value(screenshot)))
                        std::printf("screenshot: %s\n", qPrintable(cli.value(screenshot)));
                    else
                        std::fprintf(stderr, "jobhost: could not write %s\n", qPrintable(cli.value(screenshot)));
                }
                controller->SetFormVisible(0);
                controller->FreeForm();
            } else {
                const Variant result = controller->ShowFormModal();
                std::printf("modal result: %s\n", result.toString().c_str());
            }
        }
        settle();
        std::printf("ResultCode: %d\nResultValue: %s\n", controller->ResultCode, VarToStr(controller->ResultValue).c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "jobhost: %s\n", e.what());
        exitCode = 1;
    }
    settle();
    FreeLibrary(module);
    return exitCode;
}
