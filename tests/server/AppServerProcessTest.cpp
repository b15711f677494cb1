// The queue server and the queue command as real processes on a real installation: a
// queued job runs and shows as done, a killed server's job runs once more, SIGTERM waits
// for the running job, two servers never run a job twice, eight servers number their
// notifications without a gap or a double, a periodic job follows a clock the test moves,
// and qvjobs shows a write-off its form queued as the clerk chose it.

#include "JobFixture.h"
#include "platform/SystemInfo.h"
#include "server/JobStore.h"

#include <regex>
#include <set>

using namespace jobtest;

namespace {

// A write-off handed to the queue as a clerk's form hands it: `jobhost demo` makes the demo
// installation in folder and runs its write-off form with the run file; answers the job.
std::string queueFromTheForm(const TempInstall& install, const std::string& folder, const std::string& runFile,
                             const std::vector<std::string>& options = {})
{
    std::vector<std::string> args{"demo", folder, "--run", install.path(runFile)};
    args.insert(args.end(), options.begin(), options.end());
    Process p(TestBinDir() + "/jobhost", args, install.path(runFile + ".out"));
    EXPECT_TRUE(p.wait(120)) << "jobhost did not end";
    EXPECT_EQ(p.exitCode(), 0) << p.output();
    std::smatch m;
    const std::string out = p.output();
    return std::regex_search(out, m, std::regex(R"(ResultValue: (\d{14}))")) ? std::string(m[1]) : std::string();
}

bool holds(const std::string& text, const std::string& pattern)
{
    return std::regex_search(text, std::regex(pattern));
}

class AppServer : public JobFixture {
protected:
    explicit AppServer(bool postgres = false) : JobFixture(postgres) {}

    void twoServersRun200JobsOnce();
    void leaseRunsOutOnAnotherMachine();
    void eightServersNumberNotifications();

    void SetUp() override
    {
        JobFixture::SetUp();
        if (IsSkipped())
            return;
        client = std::make_unique<TdmReportCounter>(settings());
    }

    std::unique_ptr<Process> start(const std::vector<std::string>& extra = {})
    {
        std::vector<std::string> args{"--install", install.dir(), "--poll", "20"};
        args.insert(args.end(), extra.begin(), extra.end());
        auto p = std::make_unique<Process>(bin("qvappserver"), args,
                                           install.path("server-" + std::to_string(started++) + ".out"));
        EXPECT_GT(p->pid(), 0);
        return p;
    }

    struct Output {
        int code = -1;
        std::string text;
    };
    Output run(const std::string& program, const std::vector<std::string>& args)
    {
        Process p(bin(program), args, install.path("cmd-" + std::to_string(started++) + ".out"));
        EXPECT_TRUE(p.wait(60)) << program << " did not end";
        return {p.exitCode(), p.output()};
    }
    Output qvjobs(const std::vector<std::string>& args)
    {
        std::vector<std::string> all{"--install", install.dir()};
        all.insert(all.end(), args.begin(), args.end());
        return run("qvjobs", all);
    }

    std::string submit(const Job& j)
    {
        const std::string no = client->jobs().Request(packetOf(j));
        EXPECT_NE(no, "ERROR") << client->jobs().ErrorDescript();
        return no;
    }

    // Stops a server as a person would, and expects it to go.
    void stop(Process& server)
    {
        server.signal(SIGTERM);
        EXPECT_TRUE(server.wait(30)) << server.output();
        EXPECT_EQ(server.exitCode(), 0) << server.output();
    }

    bool serving(const Process& server) const { return server.output().find("serving") != std::string::npos; }
    // Moves the clock of --clock-file at once (a rename), never through a half-written file.
    void setClock(const std::string& moment)
    {
        install.write("clock.new", moment + "\n");
        std::filesystem::rename(install.path("clock.new"), install.path("clock"));
    }

    std::unique_ptr<TdmReportCounter> client;
    int started = 0;
};

} // namespace

TEST_F(AppServer, CommandLinesAndInstallationsThatCannotServeAreRefusedClearly)
{
    Output help = run("qvappserver", {"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.text.find("--clock-file FILE"), std::string::npos);
    EXPECT_NE(help.text.find("SIGTERM"), std::string::npos);
    EXPECT_EQ(run("qvappserver", {}).code, 2);
    EXPECT_EQ(run("qvappserver", {"--install", install.dir(), "--poll", "5000"}).code, 2);
    Output unknown = run("qvappserver", {"--install", install.dir(), "--fast"});
    EXPECT_EQ(unknown.code, 2);
    EXPECT_NE(unknown.text.find("unknown argument --fast"), std::string::npos);

    Output nowhere = run("qvappserver", {"--install", install.path("nowhere")});
    EXPECT_EQ(nowhere.code, 1);
    EXPECT_NE(nowhere.text.find("does not exist"), std::string::npos) << nowhere.text;
    Output noInstall = run("qvappserver", {"--install", install.path("server")});
    EXPECT_EQ(noInstall.code, 1);
    EXPECT_NE(noInstall.text.find("is no installation"), std::string::npos) << noInstall.text;
    Output noClock = run("qvappserver", {"--install", install.dir(), "--clock-file", install.path("no-clock")});
    EXPECT_EQ(noClock.code, 1);
    EXPECT_NE(noClock.text.find("holds no moment"), std::string::npos) << noClock.text;

    Output jobsHelp = run("qvjobs", {"--help"});
    EXPECT_EQ(jobsHelp.code, 0);
    EXPECT_NE(jobsHelp.text.find("forecast N [K]"), std::string::npos);
    EXPECT_EQ(qvjobs({}).code, 2);
    EXPECT_EQ(qvjobs({"purge"}).code, 2);
    EXPECT_EQ(qvjobs({"show"}).code, 2);
    EXPECT_EQ(qvjobs({"forecast", "1", "many"}).code, 2);
    Output badInstall = run("qvjobs", {"--install", install.path("nowhere"), "list"});
    EXPECT_EQ(badInstall.code, 1);
    EXPECT_NE(badInstall.text.find("does not exist"), std::string::npos);

    std::filesystem::remove(install.path("server/data/QVSYS.db"));
    Output noDatabase = qvjobs({"list"});
    EXPECT_EQ(noDatabase.code, 1);
    EXPECT_NE(noDatabase.text.find("system database"), std::string::npos) << noDatabase.text;
}

TEST_F(AppServer, AQueuedJobIsRunByTheServerAndShowsAsDoneWithItsNotification)
{
    EXPECT_NE(qvjobs({"list"}).text.find("The queue holds no job."), std::string::npos);
    auto server = start();
    Job j;
    j.recipients = recipientsOf({"U001"});
    const std::string no = submit(j);
    ASSERT_TRUE(waitFor([&] { return status(no) == "done"; })) << status(no) << "\n" << server->output();
    stop(*server);
    EXPECT_NE(server->output().find("job " + no + " run 1 done"), std::string::npos) << server->output();

    const Output list = qvjobs({"list"});
    EXPECT_EQ(list.code, 0);
    EXPECT_NE(list.text.find("Last result"), std::string::npos);
    const std::string row = list.text.substr(list.text.find(no));
    EXPECT_EQ(row.substr(0, row.find('\n')).find("QTEST1"), 26u) << list.text;
    EXPECT_NE(row.find("done"), std::string::npos);
    // A run that did its work shows what it did (the test library's summary).
    EXPECT_NE(row.substr(0, row.find('\n')).find(" ran " + no), std::string::npos) << list.text;

    const Output show = qvjobs({"show", no});
    EXPECT_EQ(show.code, 0);
    EXPECT_NE(show.text.find("队列测试作业"), std::string::npos);
    EXPECT_TRUE(holds(show.text, "\n  单据日期 +2024-01-01\n")) << show.text;
    EXPECT_TRUE(holds(show.text, "\n  期间 +2024-01-01 至 2024-01-31\n")) << "the range in words\n" << show.text;
    EXPECT_NE(show.text.find("Notify       U001"), std::string::npos) << show.text;
    EXPECT_NE(show.text.find("run 1"), std::string::npos);
    EXPECT_EQ(qvjobs({"show", "20000101000001"}).code, 1);

    const Output messages = qvjobs({"messages", "u001"});
    EXPECT_EQ(messages.code, 0);
    EXPECT_NE(messages.text.find("作业完成: QTEST1 队列测试作业"), std::string::npos) << messages.text;
    EXPECT_NE(messages.text.find("测试完成"), std::string::npos) << "the program's own notification";
    EXPECT_LT(messages.text.find("测试完成"), messages.text.find("作业完成")) << "newest first";
    EXPECT_NE(qvjobs({"messages", "DS"}).text.find("No notification is queued for DS."), std::string::npos);
}

TEST_F(AppServer, AJobWhoseServerWasKilledMidRunRunsOnceMoreAfterTheRestart)
{
    Job j;
    j.action = "@hold " + install.path("release");
    const std::string no = submit(j);
    const std::string after = submit(Job{});
    {
        auto server = start();
        // The held run's library has started (its line is written) and the other job is done.
        ASSERT_TRUE(waitFor([&] { return status(after) == "done" && runLog().size() == 2; })) << server->output();
        EXPECT_EQ(status(no), "running");
        server->signal(SIGKILL);
        ASSERT_TRUE(server->wait(30));
    }
    EXPECT_EQ(status(no), "running") << "nobody has looked yet";
    install.write("release", "");
    auto server = start();
    ASSERT_TRUE(waitFor([&] { return status(no) == "done" && status(after) == "done"; })) << server->output();
    stop(*server);

    const auto runs = JobStore(sys()).runs(no);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].status, "interrupted");
    EXPECT_NE(runs[0].result.find("stopped during the run"), std::string::npos);
    EXPECT_EQ(runs[1].status, "done");
    EXPECT_EQ(runs[1].how, "R");
    int lines = 0;
    for (const auto& line : runLog())
        lines += line[0] == no;
    EXPECT_EQ(lines, 2) << "the killed run and the one after it, nothing more";
}

TEST_F(AppServer, SigtermLetsTheRunningJobsFinishWithinTheGraceTimeAndEndsTheRest)
{
    // Both workers busy; the third job waits.
    Job j;
    j.action = "@hold " + install.path("release");
    const std::string first = submit(j);
    const std::string second = submit(j);
    const std::string next = submit(Job{});
    {
        auto server = start();
        ASSERT_TRUE(waitFor([&] { return runLog().size() == 2; })) << server->output();
        server->signal(SIGTERM);
        EXPECT_FALSE(server->wait(0.3)) << "it waits for the runs";
        install.write("release", "");
        ASSERT_TRUE(server->wait(30));
        EXPECT_EQ(server->exitCode(), 0) << server->output();
        EXPECT_NE(server->output().find("stopped; 2 job(s) finished first"), std::string::npos) << server->output();
        EXPECT_EQ(status(first), "done");
        EXPECT_EQ(status(second), "done");
        EXPECT_EQ(status(next), "queued") << "no new run after the stop";
    }

    // A run still going at the end of the grace time is ended, and runs again.
    serverIni({}, "StopGraceSeconds=1\n");
    std::filesystem::remove(install.path("release"));
    Job held;
    held.action = "@hold " + install.path("release");
    const std::string late = submit(held);
    auto server = start();
    ASSERT_TRUE(waitFor([&] { return status(next) == "done" && status(late) == "running"; })) << server->output();
    server->signal(SIGTERM);
    ASSERT_TRUE(server->wait(20));
    EXPECT_EQ(server->exitCode(), 3) << server->output();
    EXPECT_NE(server->output().find("ending 1 job(s) still running (" + late + "); they run again"), std::string::npos)
        << server->output();
    EXPECT_EQ(status(late), "interrupted");

    install.write("release", "");
    auto again = start();
    ASSERT_TRUE(waitFor([&] { return status(late) == "done"; })) << again->output();
    stop(*again);
    const auto runs = JobStore(sys()).runs(late);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].status, "interrupted");
    EXPECT_EQ(runs[1].runNumber, 1) << "the same run once more";
    EXPECT_EQ(ends(late), 1) << "the ended run did not go on after its server";
}

TEST_F(AppServer, AHungLibraryIsEndedAtTheTimeLimitWhileTheOtherWorkerRunsOn)
{
    serverIni("JobTimeLimit=4\n");
    Job hung;
    hung.action = "@sleep 60000";
    const std::string stuck = submit(hung);
    auto server = start();
    ASSERT_TRUE(waitFor([&] { return status(stuck) == "running"; })) << server->output();
    Job quick;
    quick.action = "@sleep 100";
    const std::string a = submit(quick);
    const std::string b = submit(quick);
    ASSERT_TRUE(waitFor([&] { return status(a) == "done" && status(b) == "done"; })) << server->output();
    EXPECT_EQ(status(stuck), "running") << "the others did not wait for it";
    ASSERT_TRUE(waitFor([&] { return status(stuck) == "failed"; })) << server->output();
    EXPECT_NE(column(stuck, "JB022").find("time limit of 4 s"), std::string::npos);
    stop(*server);
}

void AppServer::leaseRunsOutOnAnotherMachine()
{
    serverIni({}, "LeaseSeconds=3\n");
    Job held;
    held.action = "@hold " + install.path("release");
    const std::string taken = submit(held);
    const std::string reset = submit(held);
    auto killOn = [&](const std::string& host) {
        auto server = start({"--host", host});
        // Both libraries are running when the server goes.
        EXPECT_TRUE(waitFor([&] { return runLog().size() == 2; })) << server->output();
        server->signal(SIGKILL);
        EXPECT_TRUE(server->wait(30));
    };
    killOn("host-a");

    // An operator may not put back a run whose lease is alive.
    const Output early = qvjobs({"--user", "DS", "reset", reset});
    EXPECT_EQ(early.code, 1);
    EXPECT_NE(early.text.find("lease on it lasts until"), std::string::npos) << early.text;
    EXPECT_EQ(status(reset), "running");
    std::this_thread::sleep_for(std::chrono::milliseconds(3200));
    const Output put = qvjobs({"--user", "DS", "reset", reset});
    EXPECT_EQ(put.code, 0) << put.text;
    EXPECT_EQ(status(reset), "interrupted");

    // Another machine's server cannot see the process: it waits for the lease, then runs
    // the job once more; the killed run went no further.
    install.write("release", "");
    auto b = start({"--host", "host-b"});
    ASSERT_TRUE(waitFor([&] { return status(taken) == "done" && status(reset) == "done"; }, 60)) << b->output();
    stop(*b);
    EXPECT_NE(b->output().find("stopped renewing its lease"), std::string::npos) << b->output();
    for (const std::string& no : {taken, reset}) {
        const auto runs = JobStore(sys()).runs(no);
        ASSERT_EQ(runs.size(), 2u) << no;
        EXPECT_EQ(runs[0].status, "interrupted");
        EXPECT_EQ(runs[1].status, "done");
        EXPECT_EQ(ends(no), 1) << no << ": one run finished, not two";
    }
}

// The same servers on a shared PostgreSQL database.
class AppServerOnPostgres : public AppServer {
protected:
    AppServerOnPostgres() : AppServer(true) {}
};


TEST_F(AppServer, ARunOfAServerGoneFromAnotherMachineRunsOnceMoreAfterItsLeaseAndResetPutsOneBack)
{
    leaseRunsOutOnAnotherMachine();
}

TEST_F(AppServerOnPostgres, ARunOfAServerGoneFromAnotherMachineRunsOnceMoreAfterItsLeaseAndResetPutsOneBack)
{
    leaseRunsOutOnAnotherMachine();
}

TEST_F(AppServer, TwoServersOnOneDatabaseRunEachOf200JobsExactlyOnce)
{
    twoServersRun200JobsOnce();
}

TEST_F(AppServerOnPostgres, TwoServersOnOneDatabaseRunEachOf200JobsExactlyOnce)
{
    twoServersRun200JobsOnce();
}

TEST_F(AppServer, EightServersQueueTheirNotificationsUnderDistinctNumbersLosingNone)
{
    eightServersNumberNotifications();
}

TEST_F(AppServerOnPostgres, EightServersQueueTheirNotificationsUnderDistinctNumbersLosingNone)
{
    eightServersNumberNotifications();
}

TEST_F(AppServerOnPostgres, AQueuedJobIsRunAndAKilledServersJobRunsOnceMore)
{
    auto server = start();
    ASSERT_TRUE(waitFor([&] { return serving(*server); })) << server->output();
    const std::string done = submit(Job{});
    ASSERT_TRUE(waitFor([&] { return status(done) == "done"; }, 60)) << server->output();
    Job slow;
    slow.action = "@sleep 3000";
    const std::string no = submit(slow);
    ASSERT_TRUE(waitFor([&] { return status(no) == "running"; }, 60)) << server->output();
    server->signal(SIGKILL);
    EXPECT_TRUE(server->wait(30));
    auto again = start();
    ASSERT_TRUE(waitFor([&] { return status(no) == "done"; }, 120)) << again->output();
    stop(*again);
    EXPECT_EQ(count("SELECT count(*) FROM ADMJR WHERE JR001 = '" + no + "'"), 2) << "the interrupted run and the re-run";
}

TEST_F(AppServerOnPostgres, SimpleSQLPastItsMemoryLimitAnswersEmptyNamingTheSettingAndTheNextCallWorks)
{
    ServerDbSettings small = settings();
    small.limits.memory = 1024 * 1024;
    const Variant server(DispatchPtr(std::make_shared<TdmReportCounter>(small)));
    const Variant sorted = server.call(
        "SimpleSQL", {"SELECT count(*) N FROM (SELECT md5(g::text) m FROM generate_series(1, 200000) g ORDER BY m) s",
                      "N", "01", "DEMO"});
    EXPECT_TRUE(sorted.isEmpty());
    const std::string why = server.call("ErrorDescript").toString();
    EXPECT_EQ(why, "The statement needed more than 1048576 bytes of working memory and was stopped "
                   "(QueryMaxMemory in BriskoS.ini)");
    const Variant next = server.call("SimpleSQL", {"SELECT MC001 FROM ADMMC", "MC001", "01", ""});
    EXPECT_TRUE(next.isArray()) << server.call("ErrorDescript").toString();
}

void AppServer::twoServersRun200JobsOnce()
{
    constexpr int kJobs = 200;
    auto a = start();
    auto b = start();
    ASSERT_TRUE(waitFor([&] { return serving(*a) && serving(*b); })) << a->output() << b->output();
    // Submitted while both servers claim: clients and servers write at the same time.
    std::set<std::string> numbers;
    for (int i = 0; i < kJobs; ++i)
        numbers.insert(submit(Job{}));
    ASSERT_EQ(numbers.size(), std::size_t(kJobs));
    ASSERT_TRUE(waitFor([&] { return count("SELECT count(*) FROM ADMJB WHERE JB010 = 'done'") == kJobs; }, 120))
        << count("SELECT count(*) FROM ADMJB WHERE JB010 = 'done'") << "\n" << a->output() << b->output();
    stop(*a);
    stop(*b);

    std::map<std::string, int> ran;
    for (const auto& line : runLog())
        ++ran[line[0]];
    EXPECT_EQ(ran.size(), std::size_t(kJobs));
    for (const auto& [no, times] : ran) {
        EXPECT_EQ(times, 1) << no;
        EXPECT_TRUE(numbers.count(no)) << no;
    }
    EXPECT_EQ(count("SELECT count(*) FROM ADMJR"), kJobs) << "one run row each";
}

void AppServer::eightServersNumberNotifications()
{
    constexpr int kServers = 8, kJobs = 64;
    std::vector<std::unique_ptr<Process>> servers;
    for (int i = 0; i < kServers; ++i)
        servers.push_back(start());
    ASSERT_TRUE(waitFor([&] {
        for (auto& s : servers)
            if (!serving(*s))
                return false;
        return true;
    }));
    Job j;
    j.action = "@sleep 10";
    j.recipients = recipientsOf({"DS"});
    for (int i = 0; i < kJobs; ++i)
        submit(j);
    ASSERT_TRUE(waitFor([&] { return count("SELECT count(*) FROM ADMJB WHERE JB010 = 'done'") == kJobs; }, 120));
    for (auto& s : servers)
        stop(*s);

    // Each job: one row for its recipients and one of the program's definition.
    const DbRowSet rows = sys().query("SELECT TC001 FROM ADMTC ORDER BY TC001");
    ASSERT_EQ(rows.rows.size(), std::size_t(2 * kJobs));
    std::set<long long> numbers;
    for (const auto& r : rows.rows)
        numbers.insert(std::stoll(VarToStr(r[0])));
    EXPECT_EQ(numbers.size(), std::size_t(2 * kJobs));
    EXPECT_EQ(*numbers.rbegin() - *numbers.begin() + 1, 2 * kJobs) << "no number skipped";
    EXPECT_GT(count("SELECT count(DISTINCT JR009) FROM ADMJR"), 1) << "the servers shared the work";
}

TEST_F(AppServer, APeriodicJobFollowsTheClockItIsGivenRunsThreeTimesAndStops)
{
    const std::string clockFile = install.path("clock");
    setClock("20310301000000");
    Job j;
    // Every 2 weeks on Monday from Monday 3 March, three runs: the first Monday lies one
    // week on, the later ones two weeks after the one before.
    j.periodValue = period(Variant::list({1, Variant::list({"2", 1})}), Variant::list({"20310303", 1, "3"}));
    j.recipients = recipientsOf({"DS"});
    const std::string no = submit(j);

    const Output forecast = qvjobs({"forecast", no});
    EXPECT_EQ(forecast.code, 0);
    EXPECT_NE(forecast.text.find("every 2 weeks on Monday at 08:00, from 2031-03-03, 3 runs"), std::string::npos)
        << forecast.text;
    EXPECT_NE(forecast.text.find("run 1    2031-03-10 (Mon) 08:00\n  run 2    2031-03-24 (Mon) 08:00\n"
                                 "  run 3    2031-04-07 (Mon) 08:00\n  the cycle ends after run 3"),
              std::string::npos)
        << forecast.text;

    setClock("20310310075959");
    auto server = start({"--clock-file", clockFile});
    ASSERT_TRUE(waitFor([&] { return serving(*server); })) << server->output();
    EXPECT_FALSE(waitFor([&] { return !runLog().empty(); }, 0.3)) << "not a second before its moment";
    const std::vector<std::string> moments = {"20310310080000", "20310324080000", "20310407080000"};
    for (std::size_t i = 0; i < moments.size(); ++i) {
        setClock(moments[i]);
        ASSERT_TRUE(waitFor([&] { return runLog().size() == i + 1; })) << server->output();
        EXPECT_EQ(runLog()[i][3], moments[i].substr(0, 8)) << "rolled to the run date";
    }
    ASSERT_TRUE(waitFor([&] { return status(no) == "done"; })) << server->output();
    setClock("20320101000000");
    EXPECT_FALSE(waitFor([&] { return runLog().size() > 3; }, 0.3)) << "and then it stops";
    stop(*server);

    EXPECT_NE(qvjobs({"forecast", no}).text.find("no run left"), std::string::npos);
    const std::string list = qvjobs({"list"}).text;
    EXPECT_NE(list.find("periodic"), std::string::npos);
    EXPECT_NE(list.find("done"), std::string::npos);
    const std::string messages = qvjobs({"messages", "DS"}).text;
    EXPECT_NE(messages.find("第 3 次运行"), std::string::npos) << messages;
    EXPECT_NE(messages.find("第 1 次运行"), std::string::npos);
}

TEST_F(AppServer, QvjobsCancelsWhatWaitsAndRefusesWhatCannotBeCancelled)
{
    const std::string waiting = submit(Job{});
    const Output cancelled = qvjobs({"--user", "DS", "cancel", waiting});
    EXPECT_EQ(cancelled.code, 0);
    EXPECT_NE(cancelled.text.find("is cancelled"), std::string::npos);
    EXPECT_EQ(status(waiting), "cancelled");
    const Output again = qvjobs({"--user", "DS", "cancel", waiting});
    EXPECT_EQ(again.code, 1);
    EXPECT_NE(again.text.find("has ended (cancelled)"), std::string::npos) << again.text;
    EXPECT_EQ(qvjobs({"--user", "DS", "cancel", "20000101000001"}).code, 1);
    EXPECT_NE(qvjobs({"--user", "DS", "cancel", "x"}).text.find("there is no job x"), std::string::npos);

    const Output once = qvjobs({"forecast", waiting});
    EXPECT_EQ(once.code, 1);
    EXPECT_NE(once.text.find("is not periodic"), std::string::npos);

    const std::string direct = client->jobs().Request1(packetOf(Job{}), "PC-07");
    EXPECT_EQ(qvjobs({"--user", "DS", "cancel", direct}).code, 1);
    EXPECT_NE(qvjobs({"show", direct}).text.find("run by the client on PC-07"), std::string::npos);

    // The server never takes a cancelled job.
    auto server = start();
    const std::string marker = submit(Job{});
    ASSERT_TRUE(waitFor([&] { return status(marker) == "done"; })) << server->output();
    stop(*server);
    EXPECT_EQ(status(waiting), "cancelled");
    EXPECT_EQ(status(direct), "running") << "a direct run is the client's";
}

TEST_F(AppServer, QvjobsCancelsOnlyForAKnownUserWithTheRightAndOnlyHisOwnJobsUnlessSuper)
{
    // U001 and U002 may queue QTEST1; U004 may open it only; U003 has the rights but is not in use.
    sys().executeScript(R"(
        INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('U002', '李娜', 'N', 'Y');
        INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('U003', '王芳', 'N', 'N');
        INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('U004', 'Peter Lee', 'N', 'Y');
        INSERT INTO ADMMR (MR001, MR002, MR003, MR005) VALUES ('U001', 'QTEST1', 'Y', 'Y');
        INSERT INTO ADMMR (MR001, MR002, MR003, MR005) VALUES ('U002', 'QTEST1', 'Y', 'Y');
        INSERT INTO ADMMR (MR001, MR002, MR003, MR005) VALUES ('U003', 'QTEST1', 'Y', 'Y');
        INSERT INTO ADMMR (MR001, MR002, MR003, MR005) VALUES ('U004', 'QTEST1', 'Y', 'N');
    )");
    Job mine;
    mine.user = "U001";
    const std::string first = submit(mine), second = submit(mine);
    const auto row = [&](const std::string& no) {
        const DbRowSet rows = sys().query("SELECT * FROM ADMJB WHERE JB001 = :N", {{"N", no}});
        std::string all;
        for (const Variant& v : rows.rows.at(0))
            all += VarToStr(v) + "|";
        return all;
    };
    const std::string before = row(first);
    const std::string login = GetUserName();
    const std::vector<std::pair<std::vector<std::string>, std::string>> refusals = {
        {{"--user", "NOBODY", "cancel", first}, "the user NOBODY is unknown; nothing is cancelled"},
        {{"--user", "U003", "cancel", first}, "the user U003 is not in use; nothing is cancelled"},
        {{"--user", "U004", "cancel", first}, "the user U004 has no right to queue QTEST1 jobs"},
        {{"--user", "U002", "cancel", first}, "job " + first + " is U001's; the user U002 is no super user"},
        {{"cancel", first}, "the user " + login + " is unknown"},
    };
    for (const auto& [args, says] : refusals) {
        const Output out = qvjobs(args);
        EXPECT_EQ(out.code, 1) << out.text;
        EXPECT_NE(out.text.find(says), std::string::npos) << out.text;
        EXPECT_EQ(row(first), before) << says << ": nothing changed";
    }

    const Output own = qvjobs({"--user", "U001", "cancel", first});
    EXPECT_EQ(own.code, 0) << own.text;
    EXPECT_EQ(status(first), "cancelled");
    const Output super = qvjobs({"--user", "DS", "cancel", second});
    EXPECT_EQ(super.code, 0) << super.text;
    EXPECT_EQ(status(second), "cancelled");

    // Who cancelled and who was refused, with the login that ran the command.
    std::string log;
    for (const auto& e : fs::directory_iterator(install.path("server/Log")))
        log += install.read("server/Log/" + e.path().filename().string());
    EXPECT_NE(log.find("qvjobs: job " + first + " cancelled by user U001 (login " + login + ")"), std::string::npos)
        << log;
    EXPECT_NE(log.find("qvjobs: job " + second + " cancelled by user DS (login " + login + ")"), std::string::npos)
        << log;
    for (const char* user : {"NOBODY", "U003", "U004", "U002"})
        EXPECT_NE(log.find(std::string("qvjobs: cancel of job ") + first + " by user " + user + " (login " + login
                           + ") refused: "),
                  std::string::npos)
            << user << "\n" << log;
}

TEST_F(AppServer, QvjobsShowsAQueuedWriteOffAsTheClerkChoseItNotAsItsPacketHoldsIt)
{
    const std::string demo = install.path("demo");
    install.write("queued.json", R"({"command": 1, "cbo01": 0, "ed04": "RMB", "sp05": {"from": "A004", "to": "A004"},
        "ed10": "Q1", "ed11": "B006", "btnFilter": ["7101-20230708002", "7101-20230806001"],
        "rdoExceptTime": true, "edDate": "20301210", "edHour": 8, "edMin": 15, "edSec": 2})");
    const std::string job = queueFromTheForm(install, demo, "queued.json");
    ASSERT_FALSE(job.empty());
    {
        // The transfer supplier is named as the books name it when the record is read.
        DbConnection books;
        books.openSqlite(demo + "/server/data/DEMO.db");
        books.execute("UPDATE PURMA SET MA003 = '安第斯矿业(智利)有限公司' WHERE MA001 = 'B006'");
    }
    const Output shown = qvjobs({"--install", demo, "show", job});
    ASSERT_EQ(shown.code, 0) << shown.text;
    const std::string& t = shown.text;
    EXPECT_TRUE(holds(t, "\n  Run mode +at the time chosen, 2030-12-10 08:15:02\n")) << t;
    EXPECT_TRUE(holds(t, "\n  选择转销类型 +应付款转销\n")) << t;
    EXPECT_TRUE(holds(t, "\n  输入转销日期 +\\d{4}-\\d\\d-\\d\\d\n")) << "one date, not a range of it\n" << t;
    EXPECT_TRUE(holds(t, "\n  选择单据日期 +至 \\d{4}-\\d\\d-\\d\\d\n")) << t;
    EXPECT_TRUE(holds(t, "\n  输入转销供应商 +B006 安第斯矿业\\(智利\\)有限公司\n")) << t;
    EXPECT_TRUE(holds(t, "\n  勾选的单据 +2 笔: 7101-20230708002, 7101-20230806001\n")) << t;
    EXPECT_TRUE(holds(t, "\n  选择采购发票 +全部\n")) << t;
    EXPECT_EQ(t.find("选择预付款单"), std::string::npos) << "a panel payables leave out\n" << t;
    for (const char* raw : {"..", "SELECT", "select", "WHERE", "where", "btnFilter", "lbl11C", "(ed11)"})
        EXPECT_EQ(t.find(raw), std::string::npos) << raw << "\n" << t;

    // Written off at once by the same form, the job is named direct.
    install.write("direct.json", R"({"command": 5, "cbo01": 0, "ed04": "RMB", "sp05": {"from": "A005", "to": "A006"},
        "ed10": "D1", "ed11": "B006", "btnFilter": "*"})");
    const std::string direct = queueFromTheForm(install, demo, "direct.json");
    ASSERT_FALSE(direct.empty());
    const Output directShown = qvjobs({"--install", demo, "show", direct});
    EXPECT_TRUE(holds(directShown.text, "\n  Run mode +direct: run at once by the client")) << directShown.text;
    EXPECT_TRUE(holds(directShown.text, "\n  选择供应商编号 +A005 至 A006\n")) << directShown.text;
}

TEST_F(AppServer, QvjobsShowsAPeriodicWriteOffsScheduleAndDateRulesInWordsOfTheInterface)
{
    // An English installation; monthly on the 1st at 07:30, twelve runs: the write-off date
    // is the run date, the documents' dates end on the last day of the month before.
    const std::string demo = install.path("demo");
    install.write("monthly.json", R"({"command": 1, "cbo01": 0, "ed04": "RMB", "sp05": {"from": "A001", "to": "A003"},
        "ed10": "M1", "ed11": "B006", "btnFilter": "*", "btnPeriod": true, "rdoEveryMonth": true,
        "rdomonth_1": true, "sePeriodHour": 7, "sePeriodMin": 30, "meStartDate": "20300306",
        "rbCycleRang_2": true, "meCycleRang_2": 12,
        "cbocondition": {"list": [["ed02", true, 0, 0, 0, 0], ["sp03", false, 0, 0, 0, 0, true, -1, 1, 2, 0]]}})");
    const std::string job = queueFromTheForm(install, demo, "monthly.json", {"--lang", "ENG"});
    ASSERT_FALSE(job.empty());
    const Output shown = qvjobs({"--install", demo, "show", job});
    ASSERT_EQ(shown.code, 0) << shown.text;
    const std::string& t = shown.text;
    EXPECT_TRUE(holds(t, "\n  Kind +periodic: every month on day 1 at 07:30, from 2030-03-06, 12 runs\n")) << t;
    EXPECT_TRUE(holds(t, "\n  Run mode +by the schedule\n")) << t;
    EXPECT_TRUE(holds(t, "\n  Write-off type +Payables write-off\n")) << t;
    EXPECT_TRUE(holds(t, "\n  Write-off date +2030-04-01\n")) << "rolled to the first run\n" << t;
    EXPECT_TRUE(holds(t, "\n  Supplier +A001 to A003\n")) << t;
    EXPECT_TRUE(holds(t, "\n  Documents ticked +\\d+ documents: 7")) << t;
    EXPECT_TRUE(holds(t, "\nDate rules\n  Write-off date +the run date\n  Document date +start: stays as entered; "
                         "end: the run date -1 month, last day of the month\n"))
        << t;
    for (const char* raw : {"..", " | ", "\x03", "select", "cbocondition"})
        EXPECT_EQ(t.find(raw), std::string::npos) << raw << "\n" << t;
}
