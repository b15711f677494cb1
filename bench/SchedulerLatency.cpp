// Scheduler latency of a real qvappserver: how long after its due moment a job starts.
// Goal: at most 1 s at a 1 s poll, less with the wake-up at the next due moment.
//   timed: run mode 2, due a little more than a poll after submission: the server knows
//     the job when it goes to sleep and wakes at its moment
//   queued: run mode 0 (due when submitted), which a sleeping server sees at its next poll
// Prints the median and the largest latency of each, for a 1 s and a 250 ms poll.
// Then a load: 1,000 jobs due one after another on the server with its two workers,
// each run exactly once; the spread of due to start (goal p99 <= 1 s), and the
// throughput of 1,000 jobs due at once.

#include "BenchServer.h"
#include "QueueLoad.h"
#include "platform/OleDate.h"
#include "support/JobClock.h"
#include "server/ReportCounterS.h"
#include "serverdb/Schema.h"

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kJobs = 15;

void write(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

Variant packet(int mode, double runAt)
{
    Variant env = Variant::array(1, 12);
    env[1] = "QLAT";
    env[2] = 12;
    env[3] = 1;
    env[4] = "01";
    env[5] = "DS";
    env[6] = "DEMO";
    env[7] = Variant::date(Now());
    env[8] = "QLATS.Class1";
    env[9] = "B";
    env[10] = mode;
    env[11] = Variant::date(runAt);
    env[12] = "";
    Variant texts = Variant::array(1, 1);
    texts[1] = Variant::list({"动作", "ed01"});
    Variant values = Variant::array(1, 1);
    values[1] = "";
    return Variant::list({env, texts, values});
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::size_t(p * double(v.size() - 1) + 0.5)];
}

constexpr int kLoadJobs = 1000;
constexpr double kLoadSpacingMs = 40;

int load(const fs::path& dir, TdmReportCounter& client, DbConnection& sys)
{
    bench::ListeningServer server = bench::Spawn(QV_BENCH_BIN_DIR "/qvappserver",
                                                 {"--install", dir.string(), "--poll", "250"},
                                                 (dir / "server-load.out").string());
    const bench::SpreadLoad late = bench::RunSpreadLoad(
        client, sys, [](double due) { return packet(2, due); }, kLoadJobs, kLoadSpacingMs);
    if (!late.problem.empty()) {
        server.stop();
        std::fprintf(stderr, "jobs due one after another: %s\n", late.problem.c_str());
        return 1;
    }
    std::printf("SQLite, one server, 2 workers: %d jobs due every %.0f ms, each run once: due to start p50 %.0f ms, "
                "p99 %.0f ms (goal p99 <= 1000 ms)\n",
                kLoadJobs, kLoadSpacingMs, late.percentile(0.5), late.percentile(0.99));
    const auto start = std::chrono::steady_clock::now();
    const bench::SpreadLoad backlog = bench::RunSpreadLoad(
        client, sys, [](double) { return packet(0, Now()); }, kLoadJobs, 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    server.stop();
    if (!backlog.problem.empty()) {
        std::fprintf(stderr, "jobs due at once: %s\n", backlog.problem.c_str());
        return 1;
    }
    std::printf("SQLite, one server, 2 workers: %d jobs due at once, each run once in a process of its own: %.0f "
                "jobs/s; no goal set\n",
                kLoadJobs, kLoadJobs / seconds);
    return 0;
}

} // namespace

int main()
{
    std::string pattern = (fs::temp_directory_path() / "qvlatency-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        return 1;
    const fs::path dir = pattern;
    write(dir / "registry.ini", "[Software\\QVR\\Brisko]\nServerPath=" + (dir / "server/").string() + "\n");
    write(dir / "server/BriskoS.ini", "[DBE Setting]\nMainDBType=SQLITE\nMainServerName=data\nMainDBName=QVSYS\n");
    fs::create_directories(dir / "server/data");
    fs::create_directories(dir / "server/S_PKG");
    if (fs::exists(QV_BENCH_SERVER_LIB))
        fs::create_symlink(QV_BENCH_SERVER_LIB, dir / "server/S_PKG/QLATS.so");
    {
        DbConnection sys;
        sys.openSqlite((dir / "server/data/QVSYS.db").string(), true);
        CreateSchema(sys, "system");
        // The owner and the program, so that the runs reach the library and succeed.
        sys.executeScript("INSERT INTO ADMMC VALUES ('01', 'Bench', 'DEMO', 'Y');"
                          "INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('DS', 'Bench', 'Y', 'Y');"
                          "INSERT INTO ADMMB (MB001, MB002, MB004) VALUES ('QLAT', 'Bench', 'B');");
        DbConnection co;
        co.openSqlite((dir / "server/data/DEMO.db").string(), true);
        CreateSchema(co, "company");
    }
    ServerDbSettings settings;
    settings.folder = (dir / "server/data").string();
    TdmReportCounter client(settings);
    DbConnection sys;
    sys.openSqlite((dir / "server/data/QVSYS.db").string());
    std::mt19937 random(7);

    auto run = [&](const std::string& job, const char* col) {
        return StampMoment(VarToStr(sys.scalar(std::string("SELECT ") + col + " FROM ADMJR WHERE JR001 = :N",
                                               {{"N", job}})));
    };
    auto startOf = [&](const std::string& job) { return run(job, "JR005"); };
    auto column = [&](const std::string& job, const char* col) {
        return StampMoment(VarToStr(sys.scalar(std::string("SELECT ") + col + " FROM ADMJB WHERE JB001 = :N",
                                               {{"N", job}})));
    };
    auto waitStart = [&](const std::string& job) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (startOf(job) == 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return startOf(job);
    };

    int exitCode = 0;
    for (const char* poll : {"1000", "250"}) {
        const std::string program = QV_BENCH_BIN_DIR "/qvappserver";
        bench::ListeningServer server = bench::Spawn(program, {"--install", dir.string(), "--poll", poll},
                                                     (dir / ("server-" + std::string(poll) + ".out")).string());
        if (server.pid <= 0) {
            std::fprintf(stderr, "cannot start %s\n", program.c_str());
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));

        std::vector<double> timed, queued;
        for (int i = 0; i < kJobs; ++i) {
            // Due a poll and up to half a second on, so that it meets the server at any
            // point of its sleep.
            const double due = Now() + (std::atof(poll) + 50.0 + double(random() % 500)) / 86400000.0;
            const std::string job = VarToStr(Variant(client.jobs().Request(packet(2, due))));
            const double started = waitStart(job);
            if (started == 0) {
                std::fprintf(stderr, "job %s did not start\n", job.c_str());
                exitCode = 1;
                break;
            }
            timed.push_back((started - run(job, "JR004")) * 86400000.0);
        }
        for (int i = 0; i < kJobs && exitCode == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 1000));
            const std::string job = client.jobs().Request(packet(0, Now()));
            const double started = waitStart(job);
            if (started == 0) {
                exitCode = 1;
                break;
            }
            queued.push_back((started - column(job, "JB016")) * 86400000.0);
        }
        server.stop();
        if (exitCode)
            break;
        std::printf("poll %4s ms: timed jobs, due to start:      median %6.1f ms, largest %6.1f ms (%d jobs)\n", poll,
                    percentile(timed, 0.5), percentile(timed, 1.0), kJobs);
        std::printf("poll %4s ms: queued jobs, submitted to start: median %6.1f ms, largest %6.1f ms (%d jobs)\n",
                    poll, percentile(queued, 0.5), percentile(queued, 1.0), kJobs);
    }
    if (exitCode == 0)
        exitCode = load(dir, client, sys);
    std::error_code ec;
    fs::remove_all(dir, ec);
    return exitCode;
}
