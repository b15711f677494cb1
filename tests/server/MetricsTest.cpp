// The queue server's health and metrics as operators reach them, over HTTP from a real
// qvappserver: runs move the counts of their program and fill the histograms, remote
// connections, calls and SimpleSQL refusals are counted, /health turns 503 while the system
// database is away, and the address comes from --metrics or BriskoS.ini; on PostgreSQL
// the system schema answers both.

#include "RemoteFixture.h"
#include "server/ServerMetrics.h"

#include <httplib.h>

using namespace jobtest;

namespace {

class Metrics : public RemoteServer {
protected:
    // A server with extra arguments, once it said it serves (and, when metrics, where
    // operators reach it: metricsPort; port is that of --listen).
    std::unique_ptr<Process> launch(const std::vector<std::string>& extra, bool metrics = true)
    {
        std::vector<std::string> args{"--install", install.dir(), "--poll", "50"};
        args.insert(args.end(), extra.begin(), extra.end());
        auto p = std::make_unique<Process>(bin("qvappserver"), args,
                                           install.path("server-" + std::to_string(started++) + ".out"));
        const std::regex said(metrics ? R"(health and metrics on \S+ \(port (\d+)\))" : "serving");
        EXPECT_TRUE(waitFor([&] { return std::regex_search(p->output(), said) || p->wait(0); })) << p->output();
        const std::string out = p->output();
        std::smatch m;
        metricsPort = metrics && std::regex_search(out, m, said) ? std::stoi(m[1]) : 0;
        if (std::regex_search(out, m, std::regex(R"(listening on \S+ \(port (\d+))")))
            port = std::stoi(m[1]);
        return p;
    }

    void stop(Process& server)
    {
        server.signal(SIGTERM);
        EXPECT_TRUE(server.wait(30)) << server.output();
        EXPECT_EQ(server.exitCode(), 0) << server.output();
    }

    std::string queue(const Job& j)
    {
        const std::string no = client->jobs().Request(packetOf(j));
        EXPECT_NE(no, "ERROR") << client->jobs().ErrorDescript();
        return no;
    }

    struct Answer {
        int status = 0; // 0: no answer
        std::string body;
    };
    Answer get(const std::string& path) const
    {
        httplib::Client http("127.0.0.1", metricsPort);
        http.set_connection_timeout(5);
        http.set_read_timeout(20);
        const httplib::Result r = http.Get(path);
        return r ? Answer{r->status, r->body} : Answer{};
    }
    bool healthy() const
    {
        const Answer a = get("/health");
        return a.status == 200 && a.body == "ok\n";
    }

    // The value of one series ("name{labels}") in a scrape; -1 when it has no such line.
    static double sample(const std::string& scrape, const std::string& series)
    {
        std::istringstream in(scrape);
        for (std::string line; std::getline(in, line);)
            if (line.rfind(series + " ", 0) == 0)
                return std::stod(line.substr(series.size() + 1));
        return -1;
    }
    double scraped(const std::string& series) const { return sample(get("/metrics").body, series); }

    int metricsPort = 0;
};

const std::string kStarted = "qv_job_runs_started_total{program=\"QTEST1\"}";
const std::string kFinished = "qv_job_runs_finished_total{program=\"QTEST1\"}";
const std::string kFailed = "qv_job_runs_failed_total{program=\"QTEST1\"}";
const std::string kDuration = "qv_job_run_duration_seconds";

} // namespace

TEST_F(Metrics, RunsMoveTheCountsOfTheirProgramAndEachIsAnObservationOfTheHistograms)
{
    auto server = launch({"--metrics", "127.0.0.1:0"});
    ASSERT_GT(metricsPort, 0) << server->output();
    ASSERT_TRUE(waitFor([&] { return healthy(); })) << get("/health").body;
    const std::string before = get("/metrics").body;
    EXPECT_EQ(sample(before, "qv_jobs{state=\"queued\"}"), 0) << before;
    EXPECT_EQ(sample(before, "qv_job_start_latency_seconds_count"), 0) << before;
    EXPECT_EQ(sample(before, kStarted), -1) << "no run of QTEST1 yet\n" << before;

    Job failing;
    failing.action = "@fail out of paper";
    queue(Job{});
    queue(Job{});
    queue(failing);
    // The end is counted once the run is recorded: wait for the count, not the status.
    ASSERT_TRUE(waitFor([&] { return scraped(kFinished) == 3; })) << get("/metrics").body << server->output();
    const std::string after = get("/metrics").body;
    EXPECT_EQ(sample(after, kStarted), 3) << after;
    EXPECT_EQ(sample(after, kFailed), 1) << after;
    EXPECT_EQ(sample(after, "qv_jobs{state=\"done\"}"), 2) << after;
    EXPECT_EQ(sample(after, "qv_jobs{state=\"failed\"}"), 1) << after;
    EXPECT_EQ(sample(after, "qv_jobs{state=\"queued\"}"), 0) << after;

    // Every run is in the count and in each bucket at or above its value: the runs started
    // within a minute of their due moment and each took less than a minute.
    EXPECT_EQ(sample(after, "qv_job_start_latency_seconds_count"), 3) << after;
    EXPECT_EQ(sample(after, "qv_job_start_latency_seconds_bucket{le=\"60\"}"), 3) << after;
    EXPECT_EQ(sample(after, "qv_job_start_latency_seconds_bucket{le=\"+Inf\"}"), 3) << after;
    EXPECT_EQ(sample(after, kDuration + "_count{program=\"QTEST1\"}"), 3) << after;
    EXPECT_EQ(sample(after, kDuration + "_bucket{program=\"QTEST1\",le=\"60\"}"), 3) << after;
    EXPECT_EQ(sample(after, kDuration + "_bucket{program=\"QTEST1\",le=\"+Inf\"}"), 3) << after;
    EXPECT_GT(sample(after, kDuration + "_sum{program=\"QTEST1\"}"), 0) << after;
    stop(*server);
}

TEST_F(Metrics, RemoteConnectionsAndCallsAreCountedAndSimpleSqlRefusalsByTheirBound)
{
    serverIni("QueryMaxRows=1\n");
    install.append("server/BriskoS.ini", "[DBPasswordCtrl]\nConnectionSecret=" + EncodePassword(kSecret) + "\n");
    auto server = launch({"--metrics", "127.0.0.1:0", "--listen", "127.0.0.1:0"});
    ASSERT_GT(port, 0) << server->output();
    const std::string before = get("/metrics").body;
    EXPECT_EQ(sample(before, "qv_remote_connections_open"), 0) << before;
    for (const std::string& reason : ServerMetrics::RefusalReasons())
        EXPECT_EQ(sample(before, "qv_simplesql_refusals_total{reason=\"" + reason + "\"}"), 0) << before;
    {
        auto c = connect(options());
        Variant object = serverObject(c);
        EXPECT_FALSE(object.call("SimpleSQL", {"SELECT MC001 FROM ADMMC", "", "", ""}).isEmpty());
        EXPECT_TRUE(object.call("SimpleSQL", {"SELECT 1 UNION ALL SELECT 2", "", "", ""}).isEmpty()) << "two rows";
        EXPECT_TRUE(object.call("SimpleSQL", {"SELECT MR001 FROM ADMMR", "", "", ""}).isEmpty()) << "rights";
        const std::string during = get("/metrics").body;
        EXPECT_EQ(sample(during, "qv_remote_connections_open"), 1) << during;
        EXPECT_EQ(sample(during, "qv_remote_connections_accepted_total"), 1) << during;
        EXPECT_EQ(sample(during, "qv_remote_calls_total"), 4) << "the object and three statements\n" << during;
        EXPECT_EQ(sample(during, "qv_simplesql_calls_total"), 3) << during;
        EXPECT_EQ(sample(during, "qv_simplesql_refusals_total{reason=\"rows\"}"), 1) << during;
        EXPECT_EQ(sample(during, "qv_simplesql_refusals_total{reason=\"not_allowed\"}"), 1) << during;
        EXPECT_EQ(sample(during, "qv_simplesql_refusals_total{reason=\"time\"}"), 0) << during;
    }
    ASSERT_TRUE(waitFor([&] { return scraped("qv_remote_connections_open") == 0; })) << get("/metrics").body;
    EXPECT_EQ(scraped("qv_remote_connections_accepted_total"), 1);
    stop(*server);
}

TEST_F(Metrics, HealthTurns503WithTheReasonWhileTheSystemDatabaseIsAwayAndOkOnceItIsBack)
{
    auto server = launch({"--metrics", "127.0.0.1:0"});
    ASSERT_TRUE(waitFor([&] { return healthy(); })) << get("/health").body << server->output();

    const std::string file = install.path("server/data/QVSYS.db");
    std::filesystem::rename(file, file + ".away");
    const Answer away = get("/health");
    EXPECT_EQ(away.status, 503) << away.body;
    EXPECT_NE(away.body.find("the system database does not answer: The database QVSYS does not exist"),
              std::string::npos)
        << away.body;
    // The counts are still served; the jobs by state, which cannot be read, are left out.
    const Answer scrape = get("/metrics");
    EXPECT_EQ(scrape.status, 200);
    EXPECT_NE(scrape.body.find("qv_remote_calls_total 0"), std::string::npos) << scrape.body;
    EXPECT_EQ(scrape.body.find("qv_jobs{"), std::string::npos) << scrape.body;

    std::filesystem::rename(file + ".away", file);
    EXPECT_TRUE(healthy()) << get("/health").body;
    EXPECT_EQ(scraped("qv_jobs{state=\"queued\"}"), 0);
    stop(*server);
}

TEST_F(Metrics, BriskoSNamesTheAddressUnlessTheCommandLineDoesAndWithNeitherThereIsNoHttp)
{
    auto quiet = launch({}, false);
    EXPECT_EQ(quiet->output().find("health and metrics"), std::string::npos) << quiet->output();
    stop(*quiet);

    install.append("server/BriskoS.ini", "[Metrics]\nListen=127.0.0.1:0\n");
    auto fromIni = launch({});
    EXPECT_NE(fromIni->output().find("health and metrics on 127.0.0.1:0 (port "), std::string::npos)
        << fromIni->output();
    EXPECT_TRUE(waitFor([&] { return healthy(); })) << get("/health").body;
    stop(*fromIni);

    serverIni({}, "[Metrics]\nListen=9464\n");
    Process refused(bin("qvappserver"), {"--install", install.dir()}, install.path("refused.out"));
    ASSERT_TRUE(refused.wait(30)) << refused.output();
    EXPECT_EQ(refused.exitCode(), 1) << refused.output();
    EXPECT_NE(refused.output().find("Listen=9464 in [Metrics] of "), std::string::npos) << refused.output();
    auto winner = launch({"--metrics", "127.0.0.1:0"});
    EXPECT_GT(metricsPort, 0) << "the command line wins over BriskoS.ini\n" << winner->output();
    stop(*winner);

    Process wrong(bin("qvappserver"), {"--install", install.dir(), "--metrics", "9464"}, install.path("wrong.out"));
    ASSERT_TRUE(wrong.wait(30)) << wrong.output();
    EXPECT_EQ(wrong.exitCode(), 2);
    EXPECT_NE(wrong.output().find("--metrics takes ADDRESS:PORT"), std::string::npos) << wrong.output();
}

namespace {

class MetricsOnPostgres : public Metrics {
protected:
    MetricsOnPostgres() { onPostgres = true; }

    // The remote fixture goes on after a skip: skip before it.
    void SetUp() override
    {
        if (PgConnectBase().empty())
            GTEST_SKIP() << "QV_PG_CONNECT is not set: no PostgreSQL server for this case "
                            "(start one with tests/pg/cluster.sh start)";
        Metrics::SetUp();
    }
};

} // namespace

TEST_F(MetricsOnPostgres, HealthAndTheJobsByStateComeFromTheSystemSchema)
{
    auto server = launch({"--metrics", "127.0.0.1:0"});
    ASSERT_TRUE(waitFor([&] { return healthy(); })) << get("/health").body << server->output();
    queue(Job{});
    ASSERT_TRUE(waitFor([&] { return scraped("qv_jobs{state=\"done\"}") == 1; })) << get("/metrics").body;
    EXPECT_EQ(scraped("qv_jobs{state=\"queued\"}"), 0);
    stop(*server);
}
