// SimpleSQL over TCP against a real qvappserver --listen on loopback: 50 clients, each its
// own connection and server object as 50 job hosts would have, make 1,000 calls each with
// a one-row answer. Every answer is checked against what its call asked for: a call lost
// or answered with another call's row fails the run. Prints the throughput and the p50,
// p99 and largest latency of one call. Goal: p99 at most 20 ms. Also the server's resident
// memory when it listens and once every client has gone; goal: back within 10% of the start.

#include "BenchServer.h"
#include "wire/RemoteClient.h"
#include "serverdb/Schema.h"
#include "support/BriskoINI.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kClients = 50;
constexpr int kCalls = 1000;
constexpr const char* kSecret = "bench-secret";

void write(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

// Resident memory of a process in kB, from /proc.
long residentKb(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(line.find(':') + 1));
    return -1;
}

// The server lets a connection go when it notices the client closed it: its memory once it
// has stopped changing for a quarter of a second (bounded).
long settledKb(pid_t pid)
{
    long kb = residentKb(pid);
    for (int i = 0, same = 0; i < 40 && same < 5; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const long now = residentKb(pid);
        same = now == kb ? same + 1 : 0;
        kb = now;
    }
    return kb;
}

double percentile(std::vector<double>& v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::size_t(p * double(v.size() - 1) + 0.5)];
}

} // namespace

int main()
{
    std::string pattern = (fs::temp_directory_path() / "qvremote-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        return 1;
    const fs::path dir = pattern;
    write(dir / "registry.ini", "[Software\\QVR\\Brisko]\nServerPath=" + (dir / "server/").string() + "\n");
    write(dir / "server/BriskoS.ini", "[DBE Setting]\nMainDBType=SQLITE\nMainServerName=data\nMainDBName=QVSYS\n"
                                      "[DBPasswordCtrl]\nConnectionSecret=" +
                                          EncodePassword(kSecret) + "\n");
    fs::create_directories(dir / "server/data");
    {
        DbConnection sys;
        sys.openSqlite((dir / "server/data/QVSYS.db").string(), true);
        CreateSchema(sys, "system");
        sys.execute("INSERT INTO ADMMC VALUES ('01', 'Bench', 'DEMO', 'Y')");
        sys.execute("INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('DS', 'Bench', 'Y', 'Y')");
        DbConnection co;
        co.openSqlite((dir / "server/data/DEMO.db").string(), true);
        CreateSchema(co, "company");
    }

    bench::ListeningServer appServer = bench::StartListening(
        QV_BENCH_BIN_DIR "/qvappserver", {"--install", dir.string(), "--poll", "1000", "--listen", "127.0.0.1:0"},
        (dir / "server.out").string());
    const pid_t pid = appServer.pid;
    const int port = appServer.port;
    int exitCode = 0;
    if (port == 0) {
        std::fprintf(stderr, "qvappserver did not listen:\n%s\n", appServer.output().c_str());
        exitCode = 1;
    }

    auto connect = [&port] {
        RemoteServerOptions o;
        o.address = "127.0.0.1";
        o.port = port;
        o.user = "DS";
        o.company = "01";
        o.secret = kSecret;
        o.callTimeoutMs = 30000;
        return Variant(CreateRemoteObject(std::make_shared<RemoteConnection>(o), "ReportCounterS.dmReportCounter"));
    };
    std::atomic<int> lost{0}, wrong{0};
    // kClients clients at once, each making `calls` checked calls; latencies per client.
    auto load = [&](int calls) {
        std::vector<std::vector<double>> latencies(kClients);
        std::vector<std::thread> clients;
        for (int c = 0; c < kClients; ++c) {
            clients.emplace_back([&, c] {
                Variant server = connect();
                latencies[c].reserve(std::size_t(calls));
                for (int k = 0; k < calls; ++k) {
                    const int n = c * calls + k;
                    const std::string text = "客户" + std::to_string(c) + "-" + std::to_string(k);
                    const Variant params = Variant::list({Variant::list({"N", n}), Variant::list({"T", text})});
                    const auto t0 = std::chrono::steady_clock::now();
                    try {
                        const Variant rows = server.call("SimpleSQL", {"SELECT :N AS N, :T AS T", "N,T", "01", "DEMO", params});
                        latencies[c].push_back(
                            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
                        if (!rows.isArray() || rows.count() != 1 || rows[0][0].toInt() != n || VarToStr(rows[0][1]) != text)
                            ++wrong;
                    } catch (const std::exception& e) {
                        if (lost++ == 0)
                            std::fprintf(stderr, "a call failed: %s\n", e.what());
                    }
                }
            });
        }
        for (std::thread& t : clients)
            t.join();
        return latencies;
    };

    // The server at rest: a short burst of the same clients has brought every worker
    // thread of the server to life and gone, so that what the long load leaves is what
    // it kept of its calls.
    long listeningKb = -1, startKb = -1, endKb = -1;
    std::vector<std::vector<double>> latencies;
    double seconds = 0;
    if (exitCode == 0) {
        listeningKb = residentKb(pid);
        load(10);
        startKb = settledKb(pid);
        const auto begin = std::chrono::steady_clock::now();
        latencies = load(kCalls);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        endKb = settledKb(pid);
    }
    appServer.stop();

    if (exitCode == 0) {
        std::vector<double> all;
        for (auto& l : latencies)
            all.insert(all.end(), l.begin(), l.end());
        const int calls = kClients * kCalls;
        std::printf("remote SimpleSQL: %d clients x %d calls: %d answered, %d lost, %d misanswered\n", kClients, kCalls,
                    int(all.size()), lost.load(), wrong.load());
        if (!all.empty()) {
            const double p50 = percentile(all, 0.5), p99 = percentile(all, 0.99), top = percentile(all, 1.0);
            std::printf("remote SimpleSQL: %.0f calls/s; latency p50 %.2f ms, p99 %.2f ms, largest %.2f ms (goal p99 <= 20 ms: %s)\n",
                        double(calls) / seconds, p50, p99, top, p99 <= 20.0 ? "met" : "MISSED");
        }
        const double grown = startKb > 0 ? double(endKb - startKb) / double(startKb) : 1.0;
        std::printf("remote SimpleSQL: server memory %.1f MB listening, %.1f MB at rest after a burst of %d x 10 "
                    "calls, %.1f MB after the load, %+.1f%% (goal within 10%%: %s)\n",
                    double(listeningKb) / 1024.0, double(startKb) / 1024.0, kClients, double(endKb) / 1024.0, 100.0 * grown, grown <= 0.10 ? "met" : "MISSED");
        if (lost || wrong)
            exitCode = 1;
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return exitCode;
}
