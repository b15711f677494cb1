// SimpleSQL over TCP against a real qvappserver --listen on loopback: 50 clients, each its
// own connection and server object as 50 job hosts would have, make 1,000 calls each with
// a one-row answer. Every answer is checked against what its call asked for: a call lost
// or answered with another call's row fails the run. Prints the throughput and the p50,
// p99 and largest latency of one call. Goal: p99 at most 20 ms.

#include "platform/RemoteClient.h"
#include "server/Schema.h"
#include "support/BriskoINI.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <regex>
#include <spawn.h>
#include <sstream>
#include <stdlib.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

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

std::string read(const fs::path& file)
{
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
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

    const std::string program = QV_BENCH_BIN_DIR "/qvappserver";
    const std::string out = (dir / "server.out").string();
    std::vector<std::string> args{program, "--install", dir.string(), "--poll", "1000", "--listen", "127.0.0.1:0"};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", program.c_str());
        return 1;
    }
    posix_spawn_file_actions_destroy(&actions);
    int port = 0;
    const std::regex listening(R"(listening on \S+ \(port (\d+))");
    for (int i = 0; i < 200 && port == 0; ++i) {
        std::smatch m;
        const std::string text = read(out);
        if (std::regex_search(text, m, listening))
            port = std::stoi(m[1]);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    int exitCode = 0;
    if (port == 0) {
        std::fprintf(stderr, "qvappserver did not listen:\n%s\n", read(out).c_str());
        exitCode = 1;
    }

    std::atomic<int> lost{0}, wrong{0};
    std::vector<std::vector<double>> latencies(kClients);
    double seconds = 0;
    if (exitCode == 0) {
        std::vector<std::thread> clients;
        const auto begin = std::chrono::steady_clock::now();
        for (int c = 0; c < kClients; ++c) {
            clients.emplace_back([&, c] {
                RemoteServerOptions o;
                o.address = "127.0.0.1";
                o.port = port;
                o.user = "DS";
                o.company = "01";
                o.secret = kSecret;
                o.callTimeoutMs = 30000;
                Variant server(CreateRemoteObject(std::make_shared<RemoteConnection>(o), "ReportCounterS.dmReportCounter"));
                latencies[c].reserve(kCalls);
                for (int k = 0; k < kCalls; ++k) {
                    const int n = c * kCalls + k;
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
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    }
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);

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
        if (lost || wrong)
            exitCode = 1;
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return exitCode;
}
