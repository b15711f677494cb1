// The job service under load and the forecast of long schedules:
//   RequestThroughput: 8 clients, each its own server object and connection as in 8 job
//     hosts, submit at once to one system database; goal 500 requests/s or more, with
//     every job number distinct (the run fails otherwise). Each request is one commit
//     that waits for the disk (SQLite's single writer, write-ahead log synced at every
//     commit), so on a disk the figure is bound by its sync time: /disk runs in the
//     temporary folder, /memory in /dev/shm, where only the service's own work counts.
//   Forecast: 1,000 run moments of periodic jobs of each cycle kind.

#include "platform/OleDate.h"
#include "server/ReportCounterS.h"
#include "serverdb/Schema.h"
#include "support/RunSchedule.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <stdlib.h>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

class Databases {
public:
    explicit Databases(const fs::path& base)
    {
        std::string pattern = (base / "qvbench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        dir_ = pattern;
        DbConnection sys;
        sys.openSqlite(dir_ + "/QVSYS.db", true);
        CreateSchema(sys, "system");
        sys.execute("INSERT INTO ADMMC VALUES ('01', 'Bench', 'DEMO', 'Y')");
        DbConnection co;
        co.openSqlite(dir_ + "/DEMO.db", true);
        CreateSchema(co, "company");
    }
    ~Databases()
    {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    ServerDbSettings settings() const
    {
        ServerDbSettings s;
        s.folder = dir_;
        return s;
    }

private:
    std::string dir_;
};

Variant packet(int i)
{
    Variant env = Variant::array(1, 12);
    env[1] = "WOFB07";
    env[2] = 12;
    env[3] = 3;
    env[4] = "01";
    env[5] = "DS";
    env[6] = "DEMO";
    env[7] = Variant::date(Now());
    env[8] = "WOFB07S.Class1";
    env[9] = "B";
    env[10] = 0;
    env[11] = Variant::date(Now());
    env[12] = "";
    Variant texts = Variant::array(1, 3);
    Variant values = Variant::array(1, 3);
    for (int k = 1; k <= 3; ++k) {
        texts[k] = Variant::list({"条件" + std::to_string(k), "ed0" + std::to_string(k)});
        values[k] = Variant::list({"\x04", "S" + std::to_string(i), "S" + std::to_string(i + 100)});
    }
    return Variant::list({env, texts, values});
}

void RequestThroughput(benchmark::State& state)
{
    constexpr int kClients = 8;
    const int each = int(state.range(1));
    if (state.range(0) == 1 && !fs::is_directory("/dev/shm")) {
        state.SkipWithError("no /dev/shm");
        return;
    }
    Databases dbs(state.range(0) == 1 ? fs::path("/dev/shm") : fs::temp_directory_path());
    state.SetLabel(state.range(0) == 1 ? "memory" : "disk");
    std::vector<std::unique_ptr<TdmReportCounter>> clients;
    for (int c = 0; c < kClients; ++c)
        clients.push_back(std::make_unique<TdmReportCounter>(dbs.settings()));
    // First call of each opens its connection and checks the tables: not part of the load.
    for (auto& c : clients)
        c->jobs().Request(packet(0));

    std::size_t total = 0;
    std::set<std::string> numbers;
    for (auto _ : state) {
        std::vector<std::vector<std::string>> got(kClients);
        std::atomic<int> failed{0};
        std::vector<std::thread> threads;
        for (int c = 0; c < kClients; ++c)
            threads.emplace_back([&, c] {
                for (int i = 0; i < each; ++i) {
                    const std::string no = clients[std::size_t(c)]->jobs().Request(packet(i));
                    if (no == "ERROR")
                        ++failed;
                    got[std::size_t(c)].push_back(no);
                }
            });
        for (auto& t : threads)
            t.join();
        state.PauseTiming();
        for (const auto& g : got)
            numbers.insert(g.begin(), g.end());
        total += std::size_t(kClients * each);
        if (failed)
            state.SkipWithError("a request answered ERROR");
        state.ResumeTiming();
    }
    if (numbers.size() != total)
        state.SkipWithError("two requests got the same number");
    state.counters["requests/s"] = benchmark::Counter(double(total), benchmark::Counter::kIsRate);
    state.counters["clients"] = kClients;
}
BENCHMARK(RequestThroughput)
    ->ArgNames({"memory", "each"})
    ->Args({0, 100})
    ->Args({1, 250})
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void Forecast(benchmark::State& state)
{
    static const Variant schedules[] = {
        Variant::list({0, 3}),                                  // every 3 days
        Variant::list({1, Variant::list({2, 1})}),              // every 2 weeks on Monday
        Variant::list({2, Variant::list({0, 1, 31})}),          // monthly on day 31
        Variant::list({2, Variant::list({1, 2, 4, 5})}),        // every 2 months on the last Friday
        Variant::list({3, 1.5}),                                // every 1.5 hours
    };
    RunPeriod period;
    std::string why;
    if (!ReadRunPeriod(Variant::list({"Y", "08:00", schedules[state.range(0)], Variant::list({"20240101", 0})}), period,
                       why))
        state.SkipWithError(why.c_str());
    const double first = FirstRunMoment(period, EncodeDate(2024, 1, 1));
    for (auto _ : state) {
        const std::vector<double> runs = ForecastRunMoments(period, first, 0, 1000);
        if (runs.size() != 1000)
            state.SkipWithError("fewer than 1,000 runs");
        benchmark::DoNotOptimize(runs.data());
    }
    state.SetLabel(DescribeRunPeriod(period));
}
BENCHMARK(Forecast)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);

} // namespace
