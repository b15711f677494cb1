// qvappserver: the application server program. Runs the job queue of an installation:
// every job when it is due, through its server library (JobScheduler.h); with --listen it
// also serves the application-server object to remote clients (RemoteEndpoint.h).
//
//   qvappserver --install DIR [--listen ADDRESS:PORT] [--poll MS] [--clock-file FILE]
//
// Exit code 0 after a clean stop (SIGTERM, SIGINT or SIGHUP: the running job finishes
// first), 1 when the installation cannot be served, 2 for a wrong command line.

#include "platform/AsciiText.h"
#include "platform/Exception.h"
#include "platform/PgDialect.h"
#include "support/BriskoINI.h"
#include "server/JobClock.h"
#include "server/JobScheduler.h"
#include "server/Installation.h"
#include "server/JobStore.h"
#include "server/RemoteEndpoint.h"
#include "server/ReportCounterS.h"
#include "server/ServerDatabase.h"
#include "server/ServerIdentity.h"
#include "server/ServerLog.h"
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
constexpr auto kRecoverEvery = std::chrono::seconds(5);

void usage(std::FILE* to)
{
    std::fprintf(to,
                 "Usage: qvappserver --install DIR [--listen ADDRESS:PORT] [--poll MS] [--clock-file FILE]\n"
                 "Runs the job queue of the installation in DIR: each queued job when it is due, in\n"
                 "order of due time, through its server library (program code + \"S.so\" in the\n"
                 "[WorkDLLPath] folders of BriskoS.ini). Several servers may serve one database.\n"
                 "\n"
                 "  --install DIR      the installation folder: DIR/registry.ini names the server folder\n"
                 "                     (Software\\QVR\\Brisko, ServerPath) with BriskoS.ini\n"
                 "  --listen ADDRESS:PORT  also serve ReportCounterS.dmReportCounter to remote clients on\n"
                 "                     this address (0.0.0.0 for every interface, [::] for IPv6). Clients\n"
                 "                     sign on with the connection secret of BriskoS.ini, [DBPasswordCtrl]\n"
                 "                     ConnectionSecret (stored as passwords are); without one the server\n"
                 "                     does not start. MaxFrameBytes there bounds one message,\n"
                 "                     IdleTimeOut (s) a signed-on connection's silence, MaxConnections,\n"
                 "                     MaxConnectionsPerAddress and MaxObjectsPerConnection what one\n"
                 "                     client may hold (a value out of range stops the start); with\n"
                 "                     TlsCertificate and TlsKey (PEM files) every connection uses TLS.\n"
                 "  --poll MS          look for new jobs every MS milliseconds (10 to 1000, default %d);\n"
                 "                     a job due later wakes the server at its moment\n"
                 "  --clock-file FILE  take the time from FILE instead of the system clock, for tests: it\n"
                 "                     holds one moment yyyymmddhhnnss and is read at every poll, so\n"
                 "                     writing a later moment into it moves the server's time on. Jobs\n"
                 "                     queued to run at once are due from their submission moment.\n"
                 "  --encode-secret TEXT  print TEXT in the stored form for ConnectionSecret (the\n"
                 "                     server's [DBPasswordCtrl] and the clients' [Server Information])\n"
                 "  --help             this text\n"
                 "\n"
                 "Stop it with SIGTERM (kill PID): a running job finishes, then the server exits.\n"
                 "Jobs left running by a server that stopped without finishing them run once more.\n",
                 kDefaultPollMs);
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
                                         const std::string& clockFile, std::function<void(const std::string&)> report)
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
    auto databases = std::make_shared<ConnectionDatabases>(settings);
    o.create = [databases, clockFile](const std::string& progId, const ServerSession& session,
                                      std::uint64_t connection) -> DispatchPtr {
        if (!SameTextAscii(progId, TdmReportCounter::ProgId))
            throw AutomationError("This application server serves " + std::string(TdmReportCounter::ProgId) +
                                  ", not " + progId);
        return std::make_shared<TdmReportCounter>(databases->of(connection), std::shared_ptr<JobClock>(clockFor(clockFile)),
                                                  session);
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
    std::string install, clockFile, listen;
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

} // namespace

int main(int argc, char** argv)
{
    const CommandLine command = readCommandLine(argc, argv);
    if (command.exit)
        return *command.exit;
    const std::string& install = command.install;
    const std::string& clockFile = command.clockFile;
    const std::string& listen = command.listen;
    const long pollMs = command.pollMs;

    const sigset_t signals = stopSignals();
    sigprocmask(SIG_BLOCK, &signals, nullptr);

    std::unique_ptr<ServerDatabase> db;
    std::unique_ptr<JobClock> clock;
    std::mutex reportMutex;
    auto logLine = [&](const std::string& line) {
        std::lock_guard lock(reportMutex);
        std::printf("[%s] %s\n", ShownStamp(MomentStamp(clock->now())).c_str(), line.c_str());
        std::fflush(stdout);
    };
    std::unique_ptr<RemoteEndpoint> endpoint;
    const rlim_t descriptors = raiseDescriptorLimit();
    try {
        const ServerDbSettings settings = OpenInstallation(install);
        db = std::make_unique<ServerDatabase>(settings);
        JobStore::EnsureTables(db->connection());
        clock = clockFor(clockFile);
        if (!listen.empty())
            endpoint = listenOn(listen, settings, clockFile, [&](const std::string& line) {
                logLine(line);
                WriteServerLog("qvappserver: " + line);
            });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qvappserver: %s\n", e.what());
        return 1;
    }

    JobSchedulerOptions options;
    options.serverId = ThisServerId();
    options.libraryFolders = db->settings().libraryFolders;
    options.codePage = db->settings().dbCodePage;
    options.jobTimeLimitSeconds = db->settings().jobTimeLimitSeconds;
    JobScheduler scheduler(*db, *clock, options);
    scheduler.report = logLine;
    // The queue's own connection: a database server that went away and came back is said.
    db->connection().setReconnectReport([&](const std::string& line) {
        logLine(line);
        WriteServerLog("qvappserver: " + line);
    });

    std::string folders;
    for (const std::string& f : options.libraryFolders)
        folders += (folders.empty() ? "" : ", ") + f;
    // On PostgreSQL the system database is a schema of the server's database, not a file.
    const DbServerLogin& pg = db->settings().server;
    const std::string systemDb = db->isPostgres() ? "schema " + PgSchemaName(db->settings().systemDb) + " of "
                                                        + pg.database + " on " + pg.host + ":" + pg.port
                                                  : db->filePath(db->settings().systemDb);
    std::printf("qvappserver %s: serving %s (system database %s; server libraries from %s; poll %ld ms%s)\n",
                options.serverId.c_str(), fs::absolute(install).c_str(), systemDb.c_str(), folders.c_str(), pollMs,
                clockFile.empty() ? "" : ("; clock from " + clockFile).c_str());
    if (endpoint)
        std::printf("qvappserver %s: listening on %s (port %d%s), up to %llu descriptors\n", options.serverId.c_str(),
                    listen.c_str(), endpoint->port(), endpoint->usesTls() ? ", TLS" : "",
                    static_cast<unsigned long long>(descriptors));
    std::fflush(stdout);

    bool stop = false;
    auto stopAsked = [&] { return stop || (stop = stopArrives(signals, 0)); };
    auto lastRecover = std::chrono::steady_clock::now() - 2 * kRecoverEvery;
    while (!stopAsked()) {
        long waitMs = pollMs;
        try {
            if (std::chrono::steady_clock::now() - lastRecover >= kRecoverEvery) {
                scheduler.recover();
                lastRecover = std::chrono::steady_clock::now();
            }
            scheduler.runDue(stopAsked);
            if (stop)
                break;
            // On the machine's clock sleep until the next job is due (a poll still sees
            // jobs queued meanwhile); a clock that others move is looked at every poll.
            if (clock->isReal()) {
                const double next = scheduler.nextDue();
                if (next > 0)
                    waitMs = std::clamp(long(std::ceil((next - clock->now()) * 86400000.0)), 0L, pollMs);
            }
        } catch (const DbError& e) {
            // A lost database connection is made again by the next call; the server goes on.
            if (e.kind() == DbErrorKind::ConnectionLost)
                logLine(std::string("the database cannot be reached; the next poll tries again: ") + e.what());
            else
                std::fprintf(stderr, "qvappserver: %s\n", e.what());
            WriteServerLog(std::string("qvappserver: ") + e.what());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "qvappserver: %s\n", e.what());
            WriteServerLog(std::string("qvappserver: ") + e.what());
        }
        if (stopArrives(signals, waitMs))
            stop = true;
    }
    // Calls running for remote clients finish before the server says it stopped.
    endpoint.reset();
    std::printf("qvappserver %s: stopped\n", options.serverId.c_str());
    return 0;
}
