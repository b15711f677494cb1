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

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
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
                 "                     does not start. MaxFrameBytes there bounds one message; with\n"
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
std::string checkSession(TdmReportCounter& server, const std::string& user, const std::string& company)
{
    const Variant users = server.SimpleSQL("SELECT MA007 FROM QVRMA WHERE MA001 = :U", "MA007", "", "",
                                           Variant::list({Variant::list({"U", user})}));
    if (!users.isArray())
        return server.ErrorDescript().empty() ? "the user " + user + " is unknown" : server.ErrorDescript();
    if (VarToStr(users[0][0]) != "Y")
        return "the user " + user + " is not in use";
    const Variant companies = server.SimpleSQL("SELECT MC004 FROM ADMMC WHERE MC001 = :C", "MC004", "", "",
                                               Variant::list({Variant::list({"C", company})}));
    if (!companies.isArray())
        return server.ErrorDescript().empty() ? "the company " + company + " is unknown" : server.ErrorDescript();
    if (VarToStr(companies[0][0]) != "Y")
        return "the company " + company + " is not in use";
    return {};
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
    o.maxFrameBytes = std::uint32_t(ini.MaxFrameBytes);
    o.tlsCertificateFile = ini.TlsCertificate;
    o.tlsKeyFile = ini.TlsKey;
    o.report = std::move(report);
    o.create = [settings, clockFile](const std::string& progId) -> DispatchPtr {
        if (!SameTextAscii(progId, TdmReportCounter::ProgId))
            throw AutomationError("This application server serves " + std::string(TdmReportCounter::ProgId) +
                                  ", not " + progId);
        return std::make_shared<TdmReportCounter>(settings, std::shared_ptr<JobClock>(clockFor(clockFile)));
    };
    o.checkSession = [settings](const std::string& user, const std::string& company) {
        TdmReportCounter server(settings);
        return checkSession(server, user, company);
    };
    return std::make_unique<RemoteEndpoint>(std::move(o));
}

} // namespace

int main(int argc, char** argv)
{
    std::string install, clockFile, listen;
    long pollMs = kDefaultPollMs;
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
            return 0;
        } else if (a == "--encode-secret") {
            if (!value(v) || v.empty())
                return wrong("--encode-secret needs the secret");
            std::printf("%s\n", EncodePassword(v).c_str());
            return 0;
        } else if (a == "--install") {
            if (!value(install))
                return wrong("--install needs the installation folder");
        } else if (a == "--listen") {
            std::string host;
            int port = 0;
            if (!value(listen) || !ParseListenAddress(listen, host, port))
                return wrong("--listen takes ADDRESS:PORT, such as 0.0.0.0:211");
        } else if (a == "--clock-file") {
            if (!value(clockFile))
                return wrong("--clock-file needs a file");
        } else if (a == "--poll") {
            char* end = nullptr;
            if (!value(v) || (pollMs = std::strtol(v.c_str(), &end, 10), !end || *end || pollMs < 10 || pollMs > 1000))
                return wrong("--poll takes milliseconds from 10 to 1000");
        } else {
            return wrong("unknown argument " + a);
        }
    }
    if (install.empty())
        return wrong("--install DIR is required");

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
        std::printf("qvappserver %s: listening on %s (port %d%s)\n", options.serverId.c_str(), listen.c_str(),
                    endpoint->port(), endpoint->usesTls() ? ", TLS" : "");
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
