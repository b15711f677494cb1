// qvappserver: the application server program. Runs the job queue of an installation:
// every job when it is due, through its server library (JobScheduler.h); with --listen it
// also serves the application-server object to remote clients (RemoteEndpoint.h), with
// --metrics its health and metrics to operators over HTTP (MetricsEndpoint.h).
//
//   qvappserver --install DIR [--listen ADDRESS:PORT] [--metrics ADDRESS:PORT] [--poll MS]
//               [--clock-file FILE] [--host NAME]
//
// Exit code 0 after a clean stop (SIGTERM, SIGINT or SIGHUP: the running jobs finish
// first, within the grace time), 3 when jobs still running after the grace time were
// ended (they run again), 1 when the installation cannot be served, 2 for a wrong
// command line.
//
// What it has to say goes to standard error, a line each with its level ("<3>", "<4>",
// "<6>", support/ServerLog.h) for the journal; standard output is left to --help and
// --encode-secret.

#include "platform/AsciiText.h"
#include "platform/Exception.h"
#include "db/PgDialect.h"
#include "support/BriskoINI.h"
#include "support/JobClock.h"
#include "server/JobScheduler.h"
#include "serverdb/Installation.h"
#include "server/JobStore.h"
#include "server/MetricsEndpoint.h"
#include "server/QueueServer.h"
#include "server/RemoteEndpoint.h"
#include "server/ReportCounterS.h"
#include "serverdb/ServerDatabase.h"
#include "server/ServerIdentity.h"
#include "server/ServerMetrics.h"
#include "support/ServerLog.h"
#include "server/UserRights.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr int kDefaultPollMs = 250;
constexpr int kEndedExit = 3;
// The scheduler loop's heartbeat is stale after this many poll intervals, and the time one
// statement of a pass may wait for a lock (BusyTimeOut).
constexpr int kStalePolls = 4;

void usage(std::FILE* to)
{
    std::fprintf(to,
                 "Usage: qvappserver --install DIR [--listen ADDRESS:PORT] [--metrics ADDRESS:PORT] [--poll MS]\n"
                 "                   [--clock-file FILE] [--host NAME]\n"
                 "Runs the job queue of the installation in DIR: each queued job when it is due, in\n"
                 "order of due time, through its server library (program code + \"S.so\" in the\n"
                 "[WorkDLLPath] folders of BriskoS.ini), each in a process of its own, up to\n"
                 "[Job Queue] Workers (default 2) at a time and each for at most [DBE Setting]\n"
                 "JobTimeLimit seconds (default 3600; 0: no limit). Several servers, on one machine\n"
                 "or on several, may serve one database: each holds a lease of [Job Queue]\n"
                 "LeaseSeconds (default 60) on the jobs it runs, renewed while they run; a job whose\n"
                 "lease ran out runs once more elsewhere (keep the machines' clocks in step).\n"
                 "Periods a periodic job missed are made up for by [Job Queue] Misfire: once (the\n"
                 "default: one run for all of them), all (one run each, at most 100) or skip.\n"
                 "\n"
                 "  --install DIR      the installation folder: DIR/registry.ini names the server folder\n"
                 "                     (Software\\QVR\\Brisko, ServerPath) with BriskoS.ini\n"
                 "  --listen ADDRESS:PORT  also serve ReportCounterS.dmReportCounter to remote clients on\n"
                 "                     this address (0.0.0.0 for every interface, [::] for IPv6); without\n"
                 "                     it, [DBPasswordCtrl] Listen of BriskoS.ini, if any. Clients\n"
                 "                     sign on with the connection secret of BriskoS.ini, [DBPasswordCtrl]\n"
                 "                     ConnectionSecret (stored as passwords are); without one the server\n"
                 "                     does not start. MaxFrameBytes there bounds one message,\n"
                 "                     IdleTimeOut (s) a signed-on connection's silence, MaxConnections,\n"
                 "                     MaxConnectionsPerAddress and MaxObjectsPerConnection what one\n"
                 "                     client may hold (a value out of range stops the start); with\n"
                 "                     TlsCertificate and TlsKey (PEM files) every connection uses TLS.\n"
                 "  --metrics ADDRESS:PORT  serve operators over HTTP on this address (port 0: any free\n"
                 "                     port, which the server prints): /health answers 200 \"ok\" while the\n"
                 "                     system database answers and the scheduler loop runs, else 503 with\n"
                 "                     the reasons; /metrics the server's counts in Prometheus' text format.\n"
                 "                     Without it, [Metrics] Listen of BriskoS.ini; with neither, no HTTP.\n"
                 "  --poll MS          look for new jobs every MS milliseconds (10 to 1000, default %d);\n"
                 "                     a job due later wakes the server at its moment\n"
                 "  --clock-file FILE  take the time from FILE instead of the system clock, for tests: it\n"
                 "                     holds one moment yyyymmddhhnnss and is read at every poll, so\n"
                 "                     writing a later moment into it moves the server's time on. Jobs\n"
                 "                     queued to run at once are due from their submission moment.\n"
                 "  --host NAME        the name of this server's machine in the queue (default: the\n"
                 "                     host name); servers of one name judge each other's processes\n"
                 "  --encode-secret TEXT  print TEXT in the stored form for ConnectionSecret (the\n"
                 "                     server's [DBPasswordCtrl] and the clients' [Server Information])\n"
                 "  --help             this text\n"
                 "\n"
                 "Stop it with SIGTERM (kill PID): the running jobs get [Job Queue] StopGraceSeconds\n"
                 "(default 30) to finish, then those left are ended and run again later (exit code 3);\n"
                 "a second SIGTERM ends them at once. Jobs left running by a server that stopped\n"
                 "without finishing them run once more.\n"
                 "\n"
                 "The server's lines go to standard error, each with its level for the journal (\"<3>\"\n"
                 "error, \"<4>\" warning, \"<6>\" info); failures and refusals also go to the alert log\n"
                 "Log/Alert_ReportCounterS_<day>.log.\n",
                 kDefaultPollMs);
}

// The server's lines on standard error, stamped by its clock once it has one, one at a time.
class ServerLines {
public:
    void useClock(std::unique_ptr<JobClock> clock)
    {
        std::lock_guard lock(mutex_);
        clock_ = std::move(clock);
    }
    void say(LogLevel level, const std::string& line)
    {
        std::lock_guard lock(mutex_);
        std::string stamp;
        try {
            if (clock_)
                stamp = "[" + ShownStamp(MomentStamp(clock_->now())) + "] ";
        } catch (const std::exception&) {
            // A clock file being written: the line goes without its moment.
        }
        SayLevelLine(level, stamp + line);
    }

private:
    std::mutex mutex_;
    std::unique_ptr<JobClock> clock_;
};

// Lives until the process ends: the threads of the server say their lines through it.
ServerLines& serverLines()
{
    static ServerLines lines;
    return lines;
}

int wrong(const std::string& why)
{
    std::fprintf(stderr, "qvappserver: %s\n", why.c_str());
    usage(stderr);
    return 2;
}

// Stop signals stay blocked: they are taken between two jobs, never inside one.
sigset_t stopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

// Waits up to ms for a stop signal; true when one came.
bool stopArrives(const sigset_t& set, long ms)
{
    timespec t{ms / 1000, (ms % 1000) * 1000000L};
    for (;;) {
        const int s = sigtimedwait(&set, nullptr, &t);
        if (s > 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

std::unique_ptr<JobClock> clockFor(const std::string& file)
{
    if (file.empty())
        return std::make_unique<SystemJobClock>();
    return std::make_unique<FileJobClock>(file);
}

// Whether a user may work in a company, as the system database says; the reason when not.
std::string checkSession(ServerDatabase& db, const std::string& user, const std::string& company)
{
    const std::string problem = AccountProblem(ReadUserRights(db.connection(), user, ""), user);
    if (!problem.empty())
        return problem;
    const DbRowSet companies = db.connection().query("SELECT MC003, MC004 FROM ADMMC WHERE MC001 = :C",
                                                     {{"C", company}}, DbAccess::QueryOnly);
    if (companies.empty())
        return "the company " + company + " is unknown";
    if (VarToStr(companies.rows[0][1]) != "Y")
        return "the company " + company + " is not in use";
    if (trimBlanks(VarToStr(companies.rows[0][0])).empty())
        return "the company " + company + " has no database";
    return {};
}

// The objects of one connection share one database connection: its calls come one at a
// time, and a client that makes many objects holds no more of the database than one.
class ConnectionDatabases {
public:
    explicit ConnectionDatabases(ServerDbSettings settings) : settings_(std::move(settings)) {}

    std::shared_ptr<ServerDatabase> of(std::uint64_t connection)
    {
        std::lock_guard lock(mutex_);
        for (auto it = databases_.begin(); it != databases_.end();)
            it = it->second.expired() ? databases_.erase(it) : std::next(it);
        if (auto db = databases_[connection].lock())
            return db;
        auto db = std::make_shared<ServerDatabase>(settings_);
        databases_[connection] = db;
        return db;
    }

private:
    ServerDbSettings settings_;
    std::mutex mutex_;
    std::map<std::uint64_t, std::weak_ptr<ServerDatabase>> databases_;
};

// The endpoint's bounds from [DBPasswordCtrl]; Exception naming a value out of range.
void applyBounds(const TBriskoIniS& ini, RemoteEndpointOptions& o)
{
    if (!ini.RemoteSettingProblems.empty()) {
        std::string all;
        for (const std::string& p : ini.RemoteSettingProblems)
            all += (all.empty() ? "" : "; ") + p;
        throw Exception(all);
    }
    o.maxFrameBytes = std::uint32_t(ini.MaxFrameBytes);
    o.idleTimeoutMs = ini.IdleTimeOut * 1000;
    o.maxConnections = ini.MaxConnections;
    o.maxConnectionsPerAddress = ini.MaxConnectionsPerAddress;
    o.maxObjectsPerConnection = ini.MaxObjectsPerConnection;
}

// The endpoint for remote clients: each connection gets its own server objects, on the
// same databases and clock as the queue.
std::unique_ptr<RemoteEndpoint> listenOn(const std::string& listen, const ServerDbSettings& settings,
                                         const std::string& clockFile, ServerReport report, ServerMetrics* metrics)
{
    const TBriskoIniS ini;
    RemoteEndpointOptions o;
    ParseListenAddress(listen, o.address, o.port);
    o.secret = ini.ConnectionSecret;
    if (o.secret.empty())
        throw Exception("--listen needs a connection secret: [DBPasswordCtrl] ConnectionSecret in " + ini.IniFileName +
                        " (stored as passwords are)");
    applyBounds(ini, o);
    o.tlsCertificateFile = ini.TlsCertificate;
    o.tlsKeyFile = ini.TlsKey;
    o.report = std::move(report);
    o.metrics = metrics;
    auto databases = std::make_shared<ConnectionDatabases>(settings);
    o.create = [databases, clockFile, metrics](const std::string& progId, const ServerSession& session,
                                               std::uint64_t connection) -> DispatchPtr {
        if (!SameTextAscii(progId, TdmReportCounter::ProgId))
            throw AutomationError("This application server serves " + std::string(TdmReportCounter::ProgId) +
                                  ", not " + progId);
        auto object = std::make_shared<TdmReportCounter>(databases->of(connection),
                                                         std::shared_ptr<JobClock>(clockFor(clockFile)), session);
        object->countIn(metrics);
        return object;
    };
    // Sign-ons run a few at a time, each on a connection of its own.
    o.checkSession = [settings](const std::string& user, const std::string& company) {
        ServerDatabase db(settings);
        return checkSession(db, user, company);
    };
    return std::make_unique<RemoteEndpoint>(std::move(o));
}

// As many descriptors as the system lets this process have: every client connection and
// every database file takes some.
rlim_t raiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            return raised.rlim_cur;
    }
    return limit.rlim_cur;
}

// The command line; exit is set (and the rest unused) when the program is done with it.
struct CommandLine {
    std::string install, clockFile, listen, metrics, host;
    long pollMs = kDefaultPollMs;
    std::optional<int> exit;
};

CommandLine readCommandLine(int argc, char** argv)
{
    CommandLine c;
    const auto done = [&](int code) {
        c.exit = code;
        return c;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return done(0);
        } else if (a == "--encode-secret") {
            if (!value(v) || v.empty())
                return done(wrong("--encode-secret needs the secret"));
            std::printf("%s\n", EncodePassword(v).c_str());
            return done(0);
        } else if (a == "--install") {
            if (!value(c.install))
                return done(wrong("--install needs the installation folder"));
        } else if (a == "--listen") {
            std::string host;
            int port = 0;
            if (!value(c.listen) || !ParseListenAddress(c.listen, host, port))
                return done(wrong("--listen takes ADDRESS:PORT, such as 0.0.0.0:211"));
        } else if (a == "--metrics") {
            std::string host;
            int port = 0;
            if (!value(c.metrics) || !ParseListenAddress(c.metrics, host, port))
                return done(wrong("--metrics takes ADDRESS:PORT, such as 127.0.0.1:9464"));
        } else if (a == "--host") {
            if (!value(c.host) || c.host.empty() || c.host.find(':') != std::string::npos)
                return done(wrong("--host needs a name without \":\""));
        } else if (a == "--clock-file") {
            if (!value(c.clockFile))
                return done(wrong("--clock-file needs a file"));
        } else if (a == "--poll") {
            char* end = nullptr;
            if (!value(v) ||
                (c.pollMs = std::strtol(v.c_str(), &end, 10), !end || *end || c.pollMs < 10 || c.pollMs > 1000))
                return done(wrong("--poll takes milliseconds from 10 to 1000"));
        } else {
            return done(wrong("unknown argument " + a));
        }
    }
    if (c.install.empty())
        return done(wrong("--install DIR is required"));
    return c;
}

// The queue's settings from BriskoS.ini ("Job Queue", "DBE Setting"); Exception naming a
// value out of range.
QueueServerOptions queueOptions(const ServerDatabase& db, const CommandLine& command)
{
    const TBriskoIniS ini;
    if (!ini.JobQueueProblems.empty()) {
        std::string all;
        for (const std::string& p : ini.JobQueueProblems)
            all += (all.empty() ? "" : "; ") + p;
        throw Exception(all);
    }
    QueueServerOptions o;
    o.settings = db.settings();
    o.workers = ini.Workers;
    o.stopGraceSeconds = ini.StopGraceSeconds;
    o.pollMs = command.pollMs;
    const std::string clockFile = command.clockFile;
    o.makeClock = [clockFile] { return clockFor(clockFile); };
    JobSchedulerOptions& s = o.scheduler;
    s.serverId = command.host.empty() ? ThisServerId() : ServerIdOnHost(command.host);
    s.libraryFolders = db.settings().libraryFolders;
    s.codePage = db.settings().dbCodePage;
    s.jobTimeLimitSeconds = db.settings().jobTimeLimitSeconds;
    s.leaseSeconds = ini.LeaseSeconds;
    s.misfire = MisfireOf(ini.Misfire);
    return o;
}

// What operators see: the server's counts and the endpoint that shows them.
struct Operators {
    std::unique_ptr<ServerMetrics> metrics; // outlives the endpoint and whatever counts
    std::unique_ptr<MetricsEndpoint> endpoint;
    std::string address;
};

// The operators' endpoint on the address of --metrics, else of [Metrics] Listen; nothing
// (and nothing counted) when neither names one. Exception naming a Listen value that is
// no address, or why the address cannot be served.
Operators metricsOn(const CommandLine& command, const ServerDbSettings& settings)
{
    Operators out;
    out.address = command.metrics;
    if (out.address.empty()) {
        const TBriskoIniS ini;
        if (!ini.MetricsProblems.empty())
            throw Exception(ini.MetricsProblems.front());
        out.address = ini.MetricsListen;
    }
    if (out.address.empty())
        return out;
    out.metrics = std::make_unique<ServerMetrics>();
    MetricsEndpointOptions o;
    ParseListenAddress(out.address, o.address, o.port);
    o.settings = settings;
    o.metrics = out.metrics.get();
    o.staleAfter = std::chrono::milliseconds(command.pollMs * kStalePolls + settings.busyTimeoutMs);
    out.endpoint = std::make_unique<MetricsEndpoint>(std::move(o));
    return out;
}

// The address remote clients are served on: --listen, else [DBPasswordCtrl] Listen, else
// none. Exception naming a Listen value that is no address.
std::string remoteAddress(const CommandLine& command)
{
    if (!command.listen.empty())
        return command.listen;
    const TBriskoIniS ini;
    if (!ini.RemoteListenProblems.empty())
        throw Exception(ini.RemoteListenProblems.front());
    return ini.RemoteListen;
}

void sayServing(const ServerDatabase& db, const CommandLine& command, const QueueServerOptions& o,
                const RemoteEndpoint* endpoint, const std::string& listen, rlim_t descriptors)
{
    std::string folders;
    for (const std::string& f : o.scheduler.libraryFolders)
        folders += (folders.empty() ? "" : ", ") + f;
    // On PostgreSQL the system database is a schema of the server's database, not a file.
    const DbServerLogin& pg = db.settings().server;
    const std::string systemDb = db.isPostgres() ? "schema " + PgSchemaName(db.settings().systemDb) + " of "
                                                       + pg.database + " on " + pg.host + ":" + pg.port
                                                 : db.filePath(db.settings().systemDb);
    const char* misfire[] = {"once", "all", "skip"};
    const std::string& id = o.scheduler.serverId;
    serverLines().say(
        LogLevel::Info,
        "qvappserver " + id + ": serving " + fs::absolute(command.install).string() + " (system database " + systemDb
            + "; server libraries from " + folders + "; poll " + std::to_string(command.pollMs) + " ms; "
            + std::to_string(o.workers) + " workers; job time limit "
            + (o.scheduler.jobTimeLimitSeconds > 0 ? std::to_string(o.scheduler.jobTimeLimitSeconds) + " s" : "none")
            + "; lease " + std::to_string(o.scheduler.leaseSeconds) + " s; misfire " + misfire[int(o.scheduler.misfire)]
            + (command.clockFile.empty() ? "" : "; clock from " + command.clockFile) + ")");
    if (endpoint)
        serverLines().say(LogLevel::Info, "qvappserver " + id + ": listening on " + listen + " (port "
                                              + std::to_string(endpoint->port()) + (endpoint->usesTls() ? ", TLS" : "")
                                              + "), up to " + std::to_string(descriptors) + " descriptors");
}

void sayMetrics(const std::string& serverId, const std::string& address, const MetricsEndpoint& endpoint)
{
    serverLines().say(LogLevel::Info, "qvappserver " + serverId + ": health and metrics on " + address + " (port "
                                          + std::to_string(endpoint.port()) + "): /health, /metrics");
}

} // namespace

int main(int argc, char** argv)
{
    const CommandLine command = readCommandLine(argc, argv);
    if (command.exit)
        return *command.exit;

    const sigset_t signals = stopSignals();
    sigprocmask(SIG_BLOCK, &signals, nullptr);

    const ServerReport say = [](LogLevel level, const std::string& line) { serverLines().say(level, line); };
    // Said here and kept in the alert log.
    const ServerReport sayAndLog = [](LogLevel level, const std::string& line) {
        serverLines().say(level, line);
        WriteServerLogFile("qvappserver: " + line);
    };
    std::unique_ptr<ServerDatabase> db;
    std::unique_ptr<JobClock> clock;
    Operators operators;
    std::unique_ptr<RemoteEndpoint> endpoint;
    std::string listen;
    QueueServerOptions options;
    const rlim_t descriptors = raiseDescriptorLimit();
    try {
        const ServerDbSettings settings = OpenInstallation(command.install);
        db = std::make_unique<ServerDatabase>(settings);
        JobStore::EnsureTables(db->connection());
        clock = clockFor(command.clockFile);
        serverLines().useClock(clockFor(command.clockFile));
        // What the server objects write to the alert log, this process also says.
        SetServerLogSink(say);
        options = queueOptions(*db, command);
        operators = metricsOn(command, settings);
        options.scheduler.metrics = operators.metrics.get();
        listen = remoteAddress(command);
        if (!listen.empty())
            endpoint = listenOn(listen, settings, command.clockFile, sayAndLog, operators.metrics.get());
    } catch (const std::exception& e) {
        SayLevelLine(LogLevel::Error, std::string("qvappserver: ") + e.what());
        return 1;
    }
    options.report = say;
    // The queue's own connection: a database server that went away and came back is said.
    db->connection().setReconnectReport([sayAndLog](const std::string& line) { sayAndLog(LogLevel::Warning, line); });
    sayServing(*db, command, options, endpoint.get(), listen, descriptors);
    if (operators.endpoint)
        sayMetrics(options.scheduler.serverId, operators.address, *operators.endpoint);

    const std::string serverId = options.scheduler.serverId;
    QueueServer queue(*db, *clock, std::move(options));
    const QueueStop stopped = queue.serve([&](long ms) { return stopArrives(signals, ms); });
    // Calls running for remote clients finish before the server says it stopped.
    endpoint.reset();
    if (stopped.ended > 0) {
        say(LogLevel::Warning, "qvappserver " + serverId + ": stopped; " + std::to_string(stopped.ended)
                                   + " job(s) were ended before they finished and run again");
        return kEndedExit;
    }
    say(LogLevel::Info, "qvappserver " + serverId + ": stopped"
                            + (stopped.finished > 0 ? "; " + std::to_string(stopped.finished) + " job(s) finished first"
                                                    : ""));
    return 0;
}
