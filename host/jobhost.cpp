// jobhost: the host shell. Loads a job library by file name, asks it for its controller,
// hands it a session and shows the job window, printing the controller's events and the
// job's result.
//
//   jobhost [library] [options]      the installation the registry file (QV_REGISTRY) names
//   jobhost demo [folder] [options]  prepares, reuses or mends a demo installation in folder
//                                    and opens the write-off job with its demo session
//   ... --postgres "Host=..;Port=..;Database=..;User=.."
//                                    the demo's databases on a PostgreSQL server
//   ... --run FILE                   runs the job unattended with the parameters of FILE
//                                    (host/RunFile.h) and prints what it said
//
// Before the job is opened the host checks the installation and the session and names
// every problem with its file. Without a display (--offscreen, or no DISPLAY and no
// WAYLAND_DISPLAY) nobody can answer a dialog: each one is answered with its default
// and its text written to standard error. Exit codes:
//   0 the job opened and closed; with --run it took the parameters, did what the command
//     asks and said nothing amiss
//   1 the job could not be opened, or it or the reading of the run file refused the
//     parameters (a name the job lacks, a value a control cannot take)
//   2 the host refused (installation, session, library, options, a run file it cannot read)
//   3 with --run: a check of the job refused a value, so nothing was handed over; or the
//     job reported an error or a warning
//   4 with --run: the command asks for a queued job or a run and none came about (no
//     document listed, documents settled meanwhile, no right); the job said why

#include "host/DemoInstall.h"
#include "host/HostSession.h"
#include "host/InstallationCheck.h"
#include "host/RunFile.h"
#include "host/SessionCheck.h"
#include "host/UnattendedRunner.h"
#include "platform/DynLib.h"
#include "platform/InstallLayout.h"
#include "plugin/DLLBaseCtrller.h"

#include <QApplication>
#include <QGuiApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

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

bool isSet(const char* name)
{
    const char* v = std::getenv(name);
    return v && *v;
}

// Chooses the platform before the application object exists: the headless one for
// --offscreen and for the options that only print, and when there is no display at all
// (true then), where the default one would abort the program.
bool choosePlatform(int argc, char** argv)
{
    if (isSet("QT_QPA_PLATFORM"))
        return false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "-platform")
            return false;
        if (a == "--offscreen" || a == "--run" || a.startsWith("--run=") || a == "-h" || a == "--help" || a == "-?" || a == "--help-all") {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            return false;
        }
    }
    if (isSet("DISPLAY") || isSet("WAYLAND_DISPLAY"))
        return false;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return true;
}

void printProblems(const char* what, const std::vector<std::string>& problems)
{
    std::fprintf(stderr, "jobhost: %s:\n", what);
    for (const std::string& p : problems)
        std::fprintf(stderr, "  %s\n", p.c_str());
}

// The exit code of an unattended run from what its hand-over came to; the job showed its
// own messages, this says what they came to.
int runExitCode(std::int32_t applied, std::int32_t outcome)
{
    if (applied != 0 || outcome == aoRefused) {
        std::fprintf(stderr, "jobhost: the job refused the parameters\n");
        return 1;
    }
    if (outcome == aoCheckRefused) {
        std::fprintf(stderr, "jobhost: a check of the job refused a value: nothing was handed over\n");
        return 3;
    }
    if (outcome == aoNothingHandedOver) {
        std::fprintf(stderr, "jobhost: nothing was queued or run\n");
        return 4;
    }
    return 0;
}

// What the command line asks for.
struct HostOptions {
    QString library;       // empty: the suite's WOFB07C.so
    bool demo = false;
    QString demoFolder;
    QString user, company, database;
    bool userSet = false, companySet = false, databaseSet = false;
    QString lang, postgres, screenshot, runFile;
    bool langSet = false, postgresSet = false, screenshotSet = false, offscreen = false;
    bool scripted() const { return !runFile.isEmpty(); }
};

// Reads the options into o; an exit code when they are refused. --help prints and ends here.
std::optional<int> readOptions(QApplication& app, HostOptions& o)
{
    QCommandLineParser cli;
    cli.setApplicationDescription(QStringLiteral(
        "Loads a job library and opens its job window for a user of a company.\n"
        "The installation is the one the registry file names (QV_REGISTRY); it is checked first.\n"
        "Without a display every dialog is answered with its default and printed to standard error.\n"
        "Exit codes: 0 the job opened and closed, 1 the job could not be opened, 2 refused by the host."));
    cli.addHelpOption();
    cli.addPositionalArgument(QStringLiteral("library"),
                              QStringLiteral("The job library (default: the installed WOFB07C.so), or \"demo\" "
                                             "followed by the folder of the demo installation."));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("User code."), QStringLiteral("code"), QStringLiteral("DS"));
    const QCommandLineOption company(QStringLiteral("company"), QStringLiteral("Company code."), QStringLiteral("code"), QStringLiteral("01"));
    const QCommandLineOption database(QStringLiteral("database"), QStringLiteral("Company database (default: the company's)."), QStringLiteral("name"));
    const QCommandLineOption offscreenOpt(QStringLiteral("offscreen"), QStringLiteral("Run unattended without a display: show the window, then close it (the default without a display)."));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"), QStringLiteral("Write a picture of the job window (with --offscreen)."), QStringLiteral("file"));
    const QCommandLineOption lang(QStringLiteral("lang"),
                                  QStringLiteral("With demo: the interface language of the demo installation, CHS, CHT or ENG "
                                                 "(kept for later runs)."),
                                  QStringLiteral("language"));
    const QCommandLineOption run(QStringLiteral("run"),
                                 QStringLiteral("Run the job unattended with the parameters of a JSON file (control names and "
                                                "values, and \"command\"), print its messages, ResultCode and ResultValue."),
                                 QStringLiteral("file"));
    const QCommandLineOption postgres(
        QStringLiteral("postgres"),
        QStringLiteral("With demo: keep the demo's databases on a PostgreSQL server, \"Host=..;Port=..;Database=..;User=..\" "
                       "(the schemas qvsys and demo, made when missing; kept for later runs)."),
        QStringLiteral("server"));
    cli.addOptions({user, company, database, offscreenOpt, screenshot, lang, postgres, run});
    if (!cli.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "jobhost: %s (jobhost --help lists the options)\n", qPrintable(cli.errorText()));
        return 2;
    }
    cli.process(app); // --help and --help-all print and end here

    const QStringList positional = cli.positionalArguments();
    o.library = positional.value(0);
    o.demo = o.library == QLatin1String("demo");
    o.demoFolder = positional.value(1);
    o.user = cli.value(user);
    o.company = cli.value(company);
    o.database = cli.value(database);
    o.userSet = cli.isSet(user);
    o.companySet = cli.isSet(company);
    o.databaseSet = cli.isSet(database);
    o.offscreen = cli.isSet(offscreenOpt);
    o.screenshotSet = cli.isSet(screenshot);
    o.screenshot = cli.value(screenshot);
    o.langSet = cli.isSet(lang);
    o.lang = cli.value(lang);
    o.postgresSet = cli.isSet(postgres);
    o.postgres = cli.value(postgres);
    if (cli.isSet(run))
        o.runFile = cli.value(run);
    return std::nullopt;
}

// The options that serve the demo alone; an exit code when one is misused.
std::optional<int> checkDemoOptions(const HostOptions& o)
{
    if (o.langSet && (!o.demo || !DemoInstall::LanguageCodePage(o.lang.toStdString()))) {
        std::fprintf(stderr, "jobhost: --lang takes CHS, CHT or ENG and serves the demo installation\n");
        return 2;
    }
    if (o.postgresSet && (!o.demo || o.postgres.trimmed().isEmpty())) {
        std::fprintf(stderr, "jobhost: --postgres takes \"Host=..;Port=..;Database=..;User=..\" and serves the demo "
                             "installation\n");
        return 2;
    }
    return std::nullopt;
}

// Prepares, reuses or mends the demo installation and takes its session for the options
// not given; false (with the reason printed) when it cannot be prepared.
bool prepareDemo(HostOptions& o)
{
    try {
        const DemoInstallation demo = DemoInstall::Prepare(o.demoFolder.toStdString(),
                                                           SuiteLibraryFolder(),
                                                           o.postgres.toStdString());
        if (o.langSet)
            DemoInstall::SetLanguage(demo, o.lang.toStdString());
        DemoInstall::UseEnvironment(demo);
        std::string state = demo.createdDatabases ? "databases created" : "reused";
        if (demo.onPostgres)
            state += ", on PostgreSQL";
        if (!demo.repaired.empty()) {
            std::string what;
            for (const std::string& r : demo.repaired)
                what += (what.empty() ? "" : "; ") + r;
            state = "repaired: " + what + (demo.createdDatabases ? "; databases created" : "");
        }
        std::printf("demo installation: %s (%s)\n", demo.folder.c_str(), state.c_str());
        std::fflush(stdout);
        if (!o.userSet)
            o.user = QString::fromStdString(demo.user);
        if (!o.companySet)
            o.company = QString::fromStdString(demo.company);
        if (!o.databaseSet)
            o.database = QString::fromStdString(demo.database);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "jobhost: demo installation: %s\n", e.what());
        return false;
    }
    o.library.clear();
    return true;
}

struct CheckedSession {
    std::shared_ptr<HostSession> session;
    SessionVerdict verdict;
};

// The installation and the session before anything of the job: a job that cannot work
// is not opened. Empty when either is refused (the problems printed).
std::optional<CheckedSession> checkSession(const HostOptions& o)
{
    InstallationReport install = InstallationCheck::CheckFiles();
    for (const std::string& note : install.notes)
        std::fprintf(stderr, "jobhost: note: %s\n", note.c_str());
    // A remote server signs the session's calls on for this user and company.
    install.config.sessionUser = o.user.toStdString();
    install.config.sessionCompany = o.company.toStdString();
    auto session = std::make_shared<HostSession>(install.config, AppServerLink::Factory());
    if (install.ok())
        InstallationCheck::CheckServer(session->server(), install);
    if (!install.ok()) {
        printProblems("the installation cannot run the job", install.problems);
        // The demo keeps what a user changed in its files; a file removed is written afresh.
        if (o.demo)
            std::fprintf(stderr, "jobhost: a file of the demo installation that is removed is written again by "
                                 "the next \"jobhost demo\"\n");
        return std::nullopt;
    }
    SessionVerdict verdict = SessionCheck::Run(session->server(), install.config,
                                               {o.user.toStdString(), o.company.toStdString(), o.database.toStdString()});
    if (!verdict.ok()) {
        printProblems("the session is refused", verdict.problems);
        return std::nullopt;
    }
    return CheckedSession{std::move(session), std::move(verdict)};
}

QWidget* findWindow(HWND handle)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->internalWinId() && HWND(w->winId()) == handle)
            return w;
    return nullptr;
}

// Without anyone at the screen: shows the window, hands over the run file's parameters
// when there is one, takes the picture asked for and closes the window. The exit code.
int runUnattended(TDLLBaseController& controller, const HostOptions& o, const RunFile& runFile)
{
    int exitCode = 0;
    controller.SetFormVisible(-1);
    settle();
    if (o.scripted()) {
        const std::int32_t applied = controller.ApplyParams(runFile.packet);
        const std::int32_t outcome = controller.LastApplyOutcome();
        std::printf("ApplyParams: %d\n", applied);
        std::fflush(stdout);
        settle();
        exitCode = runExitCode(applied, outcome);
    }
    if (o.screenshotSet && !controller.IsFormFree()) {
        QWidget* window = findWindow(controller.GetFormHandle());
        if (window && window->grab().save(o.screenshot))
            std::printf("screenshot: %s\n", qPrintable(o.screenshot));
        else
            std::fprintf(stderr, "jobhost: could not write %s\n", qPrintable(o.screenshot));
    }
    if (!controller.IsFormFree()) {
        controller.SetFormVisible(0);
        controller.FreeForm();
    }
    return exitCode;
}

// Asks the library for its controller, opens the job window for the session and runs it,
// printing the controller's events and the job's result. The exit code.
int runJob(TGetController getController, const CheckedSession& checked, const HostOptions& o, const RunFile& runFile,
           bool unattended)
{
    int exitCode = 0;
    try {
        std::unique_ptr<TDLLBaseController> controller(getController());
        controller->Environment = Variant(checked.session);
        controller->OnEvent = [](std::int32_t code, TDLLBaseController*) {
            std::printf("event %d (%s)\n", code, eventName(code));
            std::fflush(stdout);
        };
        const SessionVerdict& verdict = checked.verdict;
        const Variant sessionArray = Variant::list({verdict.session.user, verdict.session.company,
                                                    verdict.session.database, std::int64_t(0), Variant()});
        const std::int32_t opened = controller->OpenForm(sessionArray);
        std::printf("OpenForm: %d\n", opened);
        if (opened != 0) {
            std::fprintf(stderr, "jobhost: the job could not be opened (OpenForm answered %d)\n", opened);
            exitCode = 1;
        }
        if (opened == 0 && !controller->IsFormFree()) {
            std::string version;
            controller->GetFormVersion(version);
            std::printf("form version: %s\n", version.c_str());
            if (unattended) {
                exitCode = runUnattended(*controller, o, runFile);
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
    return exitCode;
}

} // namespace

int main(int argc, char** argv)
{
    const bool noDisplay = choosePlatform(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("jobhost"));

    HostOptions o;
    if (const std::optional<int> refused = readOptions(app, o))
        return *refused;

    // Nobody is there to close a dialog: every one is answered and printed.
    const QString platform = QGuiApplication::platformName();
    const bool scripted = o.scripted();
    const bool unattended = scripted || o.offscreen || platform == QLatin1String("offscreen") ||
                            platform == QLatin1String("minimal");
    RunFile runFile;
    if (scripted) {
        runFile = ReadRunFile(o.runFile);
        if (!runFile.ok()) {
            std::fprintf(stderr, "jobhost: %s\n", qPrintable(runFile.problem));
            return runFile.readable ? 1 : 2;
        }
    }
    // With --run what the job says is its output.
    int problems = 0;
    if (unattended)
        SetModalRunner(UnattendedRunner([scripted, &problems](const std::string& line, bool problem) {
            problems += problem ? 1 : 0;
            std::FILE* out = scripted ? stdout : stderr;
            std::fprintf(out, "%s%s\n", scripted ? "" : "jobhost: ", line.c_str());
            std::fflush(out);
        }));
    if (noDisplay)
        std::fprintf(stderr, "jobhost: no display: running unattended (--offscreen)\n");

    if (const std::optional<int> refused = checkDemoOptions(o))
        return *refused;
    if (o.demo && !prepareDemo(o))
        return 2;
    QString library = o.library;
    if (library.isEmpty())
        library = QString::fromStdString(SuiteLibraryFolder()) + QStringLiteral("WOFB07C.so");
    library = QFileInfo(library).absoluteFilePath();

    const std::optional<CheckedSession> checked = checkSession(o);
    if (!checked)
        return 2;
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

    int exitCode = runJob(getController, *checked, o, runFile, unattended);
    settle();
    FreeLibrary(module);
    if (exitCode == 0 && scripted && problems > 0)
        exitCode = 3;
    return exitCode;
}
