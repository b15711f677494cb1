// The queue server's work under a clock the test moves: jobs run when due and not
// before, periodic jobs on every date of their cycle until their range ends, with their
// date conditions rolled to each run; failures are recorded and do not hold the queue;
// runs of a stopped server run once more; completion notifications are queued.

#include "JobFixture.h"
#include "server/JobScheduler.h"
#include "server/JobStore.h"
#include "server/ServerIdentity.h"

using namespace jobtest;

namespace {

// A lease no test outlives: the run stays its server's.
const std::string kLongLease = "29991231000000000";

class Scheduler : public JobFixture {
protected:
    void SetUp() override
    {
        JobFixture::SetUp();
        clock = std::make_shared<ManualJobClock>(at(2031, 3, 4, 9, 0));
        service = std::make_unique<TdmReportCounter>(settings(), clock);
        db = std::make_unique<ServerDatabase>(settings());
        scheduler = schedulerWith(Misfire::Once);
    }

    std::unique_ptr<JobScheduler> schedulerWith(Misfire misfire)
    {
        JobSchedulerOptions o;
        o.libraryFolders = settings().libraryFolders;
        o.misfire = misfire;
        auto s = std::make_unique<JobScheduler>(*db, *clock, o);
        s->report = [this](LogLevel, const std::string& line) { reports.push_back(line); };
        return s;
    }

    std::string submit(Job j)
    {
        if (!j.builtAt)
            j.builtAt = clock->now();
        const std::string no = service->jobs().Request(packetOf(j));
        EXPECT_NE(no, "ERROR") << service->jobs().ErrorDescript();
        return no;
    }

    // Moves the clock to each due moment and runs what is due, up to limit times; answers
    // the moments it ran at.
    std::vector<std::string> runThrough(int limit = 40)
    {
        std::vector<std::string> moments;
        for (int i = 0; i < limit; ++i) {
            const double next = scheduler->nextDue();
            if (next == 0)
                break;
            clock->set(next);
            const int ran = scheduler->runDue();
            EXPECT_GE(ran, 1);
            moments.push_back(MomentStamp(next).substr(0, 12));
        }
        return moments;
    }


    std::shared_ptr<ManualJobClock> clock;
    std::unique_ptr<TdmReportCounter> service;
    std::unique_ptr<ServerDatabase> db;
    std::unique_ptr<JobScheduler> scheduler;
    std::vector<std::string> reports;
};

using V = std::vector<std::string>;

} // namespace

TEST_F(Scheduler, AJobRunsOnceWhenDueAndNotBefore)
{
    const std::string queued = submit(Job{});
    Job later;
    later.mode = 2;
    later.runAt = at(2031, 3, 4, 10, 30);
    const std::string timed = submit(later);
    Job earlier = later;
    earlier.runAt = at(2031, 3, 4, 10, 15);
    const std::string first = submit(earlier);

    EXPECT_EQ(scheduler->runDue(), 1) << "only the queued job is due";
    EXPECT_EQ(status(queued), "done");
    EXPECT_EQ(scheduler->runDue(), 0) << "a job runs once";
    EXPECT_EQ(MomentStamp(scheduler->nextDue()), "20310304101500000");

    clock->set(at(2031, 3, 4, 10, 14, 59));
    EXPECT_EQ(scheduler->runDue(), 0) << "not a second early";
    EXPECT_EQ(status(first), "queued");
    clock->set(at(2031, 3, 4, 10, 45));
    EXPECT_EQ(scheduler->runDue(), 2);
    EXPECT_EQ(status(first), "done");
    EXPECT_EQ(status(timed), "done");

    const auto runs = runLog();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0][0], queued);
    EXPECT_EQ(runs[0][1], queued + "0001") << "the extra text: job and run number";
    EXPECT_EQ(runs[1][0], first) << "in order of due time, not of submission";
    EXPECT_EQ(runs[2][0], timed);
    EXPECT_EQ(count("SELECT count(*) FROM ADMJR"), 3);
    EXPECT_EQ(VarToStr(sys().scalar("SELECT JR005 FROM ADMJR WHERE JR001 = :N", {{"N", first}})), "20310304104500000")
        << "started by the server's clock";
    EXPECT_EQ(scheduler->nextDue(), 0);
}

TEST_F(Scheduler, PeriodicJobsRunOnEveryDateOfTheirCycleUntilItsRangeEnds)
{
    struct Case {
        const char* name;
        Variant periodValue;
        double submitted;
        V moments;
        const char* finalStatus;
    };
    const std::vector<Case> cases = {
        {"every 3 days, 4 runs", period(Variant::list({0, "3"}), Variant::list({"20310130", 1, "4"})), 0,
         V{"203101300800", "203102020800", "203102050800", "203102080800"}, "done"},
        {"every 2 weeks on Monday, 3 runs",
         period(Variant::list({1, Variant::list({"2", 1})}), Variant::list({"20310305", 1, 3}), "23:45"), 0,
         V{"203103172345", "203103312345", "203104142345"}, "done"},
        {"monthly on day 31 up to May",
         period(Variant::list({2, Variant::list({0, "1", "31"})}), Variant::list({"20310115", 2, "20310531"})), 0,
         V{"203101310800", "203102280800", "203103310800", "203104300800", "203105310800"}, "done"},
        {"every 2 months on the last Friday, 3 runs",
         period(Variant::list({2, Variant::list({1, 2, 4, 5})}), Variant::list({"20310101", 1, 3})), 0,
         V{"203102280800", "203104250800", "203106270800"}, "done"},
        {"every 1.5 hours on one day",
         period(Variant::list({3, 1.5}), Variant::list({"20310101", 2, "20310101"})), at(2031, 1, 1, 21, 0),
         V{"203101012100", "203101012230"}, "done"},
        {"every day without end", period(Variant::list({0, 1}), Variant::list({"20310101", 0}), "23:30"), 0,
         V{"203101012330", "203101022330", "203101032330", "203101042330", "203101052330", "203101062330",
           "203101072330", "203101082330", "203101092330", "203101102330"},
         "queued"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        install.write("runs.log", "");
        clock->set(at(2030, 12, 1));
        Job j;
        j.periodValue = c.periodValue;
        j.runAt = c.submitted;
        const std::string no = submit(j);
        EXPECT_EQ(runThrough(int(c.moments.size())), c.moments);
        EXPECT_EQ(status(no), c.finalStatus);
        EXPECT_EQ(column(no, "JB018"), std::to_string(c.moments.size()));

        // Each run got its own run number and its date conditions rolled to its date.
        const auto runs = runLog();
        ASSERT_EQ(runs.size(), c.moments.size());
        for (std::size_t i = 0; i < runs.size(); ++i) {
            char run[8];
            std::snprintf(run, sizeof run, "%04d", int(i + 1));
            const std::string day = c.moments[i].substr(0, 8);
            // The run key: the run date, for an hourly cycle the run number.
            const bool hourly = std::string(c.name).find("hours") != std::string::npos;
            EXPECT_EQ(runs[i][1], no + run + (hourly ? "0000" + std::string(run) : day));
            EXPECT_EQ(runs[i][3], day) << "the single date moves to the run date";
            EXPECT_EQ(runs[i][4], "[\x04|" + day.substr(0, 6) + "01|" + day + "]") << "the range to its month";
        }
        if (std::string(c.finalStatus) == "queued") {
            EXPECT_EQ(column(no, "JB009"), "20310111233000000") << "the next run waits";
            JobStore(sys()).cancel(no, MomentStamp(clock->now()));
        } else {
            EXPECT_EQ(column(no, "JB009"), "") << "no run is left";
        }
    }
}

TEST_F(Scheduler, PeriodsMissedWhileNoServerRanAreMadeUpForByTheMisfireRule)
{
    // A daily job at 08:00 from 1 March; no server ran until 10 March 09:00.
    auto away = [&](Misfire rule, const Variant& schedule) {
        install.write("runs.log", "");
        clock->set(at(2031, 2, 1));
        Job j;
        j.periodValue = period(schedule, Variant::list({"20310301", 0}));
        const std::string no = submit(j);
        clock->set(at(2031, 3, 10, 9, 0));
        const int claims = schedulerWith(rule)->runDue();
        return std::make_pair(no, claims);
    };
    {
        SCOPED_TRACE("once");
        const auto [no, claims] = away(Misfire::Once, Variant::list({0, 1}));
        EXPECT_EQ(claims, 1);
        const auto runs = runLog();
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs[0][3], "20310310") << "the run is made for the latest period";
        const std::vector<JobRun> rows = JobStore(sys()).runs(no);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].scheduled, "20310310080000000");
        EXPECT_EQ(rows[0].periods, "20310301080000000|20310310080000000|10");
        EXPECT_EQ(column(no, "JB009"), "20310311080000000");
        EXPECT_EQ(status(no), "queued");
    }
    {
        SCOPED_TRACE("all");
        const auto [no, claims] = away(Misfire::All, Variant::list({0, 1}));
        EXPECT_EQ(claims, 10);
        const auto runs = runLog();
        ASSERT_EQ(runs.size(), 10u);
        EXPECT_EQ(runs[0][3], "20310301");
        EXPECT_EQ(runs[9][3], "20310310");
        EXPECT_EQ(column(no, "JB009"), "20310311080000000");
    }
    {
        SCOPED_TRACE("skip");
        const auto [no, claims] = away(Misfire::Skip, Variant::list({0, 1}));
        EXPECT_TRUE(runLog().empty()) << "nothing is made up for";
        const std::vector<JobRun> rows = JobStore(sys()).runs(no);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].status, "skipped");
        EXPECT_EQ(column(no, "JB018"), "0") << "a skipped period is no run";
        EXPECT_EQ(column(no, "JB009"), "20310311080000000");
        EXPECT_EQ(status(no), "queued");
    }
    {
        SCOPED_TRACE("all, bounded: every 2 hours from 1 March 08:00 gives 109 periods");
        reports.clear();
        const auto [no, claims] = away(Misfire::All, Variant::list({3, 2}));
        EXPECT_EQ(claims, int(kMostLateRuns));
        EXPECT_EQ(runLog().size(), std::size_t(kMostLateRuns));
        EXPECT_EQ(JobStore(sys()).runs(no).front().scheduled, "20310302020000000") << "the oldest 9 are not run";
        bool said = false;
        for (const std::string& r : reports)
            said = said || r.find("9 of 109 missed periods") != std::string::npos;
        EXPECT_TRUE(said);
    }
}

TEST_F(Scheduler, APeriodicJobRunsAtItsFirstMomentStillToComeOrOnceAtOnceWhenAsked)
{
    // Queued at 09:00 with the defaults: from today, at 00:00.
    Job j;
    j.periodValue = period(Variant::list({0, 1}), Variant::list({"20310304", 0}), "00:00");
    const std::string byTheSchedule = submit(j);
    EXPECT_EQ(column(byTheSchedule, "JB009"), "20310305000000000");
    EXPECT_EQ(scheduler->runDue(), 0) << "nothing is posted when it is queued";

    j.mode = 1;
    j.periodValue = period(Variant::list({2, Variant::list({0, 1, 25})}), Variant::list({"20310304", 0}), "07:00");
    const std::string atOnce = submit(j);
    EXPECT_EQ(scheduler->runDue(), 1);
    EXPECT_EQ(column(atOnce, "JB009"), "20310325070000000") << "then the schedule's first moment, this month";
    JobStore(sys()).cancel(byTheSchedule, MomentStamp(clock->now()));
    JobStore(sys()).cancel(atOnce, MomentStamp(clock->now()));
}

TEST_F(Scheduler, AFailingMissingOrThrowingLibraryFailsItsJobAndTheQueueGoesOn)
{
    Job missing;
    missing.program = "QTEST9";
    const std::string noLibrary = submit(missing);
    Job raises;
    raises.action = "@raise 数据库连接中断";
    const std::string raised = submit(raises);
    Job fails;
    fails.action = "@fail 供应商 S009 不存在";
    const std::string failed = submit(fails);
    const std::string fine = submit(Job{});

    EXPECT_EQ(scheduler->runDue(), 4);
    EXPECT_EQ(status(noLibrary), "failed");
    EXPECT_NE(column(noLibrary, "JB022").find("QTEST9S.so is in none of the folders"), std::string::npos);
    EXPECT_EQ(status(raised), "failed");
    EXPECT_EQ(column(raised, "JB022"), "数据库连接中断");
    EXPECT_EQ(status(failed), "failed");
    EXPECT_EQ(column(failed, "JB022"), "供应商 S009 不存在");
    EXPECT_EQ(status(fine), "done");
    EXPECT_EQ(count("SELECT count(*) FROM ADMJB WHERE JB010 = 'running'"), 0);
    EXPECT_EQ(count("SELECT count(*) FROM ADMJR WHERE JR007 = 'failed' AND JR006 <> ''"), 3);
}

TEST_F(Scheduler, AJobWhoseOwnerLostTheRightOrTheAccountSinceItWasQueuedIsNotRun)
{
    sys().executeScript(R"(
        INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('U002', '李娜', 'N', 'Y');
        INSERT INTO ADMMR (MR001, MR002, MR003, MR005) VALUES ('U001', 'QTEST1', 'Y', 'Y');
        INSERT INTO ADMMR (MR001, MR002, MR003, MR005) VALUES ('U002', 'QTEST1', 'Y', 'Y');
    )");
    Job byU001, byU002;
    byU001.user = "U001";
    byU002.user = "U002";
    const std::string revoked = submit(byU001), disabled = submit(byU002);
    sys().execute("UPDATE ADMMR SET MR005 = 'N' WHERE MR001 = 'U001'");
    sys().execute("UPDATE QVRMA SET MA007 = 'N' WHERE MA001 = 'U002'");
    EXPECT_EQ(scheduler->runDue(), 2);
    EXPECT_TRUE(runLog().empty()) << "no library ran";
    EXPECT_EQ(status(revoked), "failed");
    EXPECT_EQ(column(revoked, "JB022"), "the user U001 may no longer put jobs of QTEST1 into the queue; the run is not made");
    EXPECT_EQ(status(disabled), "failed");
    EXPECT_EQ(column(disabled, "JB022"), "the user U002 is not in use; the run is not made");
}

TEST_F(Scheduler, ARunOfAStoppedServerRunsOnceMoreAndASecondInterruptionFailsIt)
{
    // A server of this machine whose process is gone.
    const std::string host = ThisServerId().substr(0, ThisServerId().find(':'));
    const std::string gone = host + ":2147483647:1";
    ASSERT_TRUE(IsServerGone(gone));
    EXPECT_FALSE(IsServerGone(ThisServerId()));
    EXPECT_FALSE(IsServerGone("another-host:1:1")) << "another machine's server is not judged";

    JobStore store(sys());
    const std::string once = submit(Job{});
    const std::string twice = submit(Job{});
    const std::string alive = submit(Job{});
    const std::string now = MomentStamp(clock->now());
    ASSERT_TRUE(store.claimNext(now, gone, kLongLease));
    ASSERT_TRUE(store.claimNext(now, gone, kLongLease));
    ASSERT_TRUE(store.claimNext(now, "another-host:1:1", kLongLease));

    EXPECT_EQ(scheduler->recover(), 2);
    EXPECT_EQ(status(once), "interrupted");
    EXPECT_EQ(status(twice), "interrupted");
    EXPECT_EQ(status(alive), "running") << "left to its own server";

    // The second one is taken by the stopped server again and interrupted once more.
    ASSERT_TRUE(store.claimNext(now, gone, kLongLease));
    ASSERT_TRUE(store.claimNext(now, gone, kLongLease));
    EXPECT_EQ(scheduler->recover(), 2);
    EXPECT_EQ(status(once), "failed");
    EXPECT_NE(column(once, "JB022").find("not run a third time"), std::string::npos);
    EXPECT_EQ(status(twice), "failed");

    const std::string third = submit(Job{});
    ASSERT_TRUE(store.claimNext(now, gone, kLongLease));
    EXPECT_EQ(scheduler->recover(), 1);
    EXPECT_EQ(scheduler->runDue(), 1);
    EXPECT_EQ(status(third), "done");
    const auto runs = store.runs(third);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].status, "interrupted");
    EXPECT_EQ(runs[1].status, "done");
    EXPECT_EQ(runs[1].how, "R");
    EXPECT_EQ(runs[1].runNumber, 1) << "the same run once more";
    EXPECT_EQ(runLog().size(), 1u) << "the stopped server never reached the library";
}

TEST_F(Scheduler, CancelStopsAWaitingJobAndAPeriodicOneAfterItsRun)
{
    JobStore store(sys());
    const std::string waiting = submit(Job{});
    EXPECT_EQ(store.cancel(waiting, MomentStamp(clock->now())), JobStore::CancelResult::Cancelled);
    EXPECT_EQ(scheduler->runDue(), 0);
    EXPECT_EQ(status(waiting), "cancelled");
    EXPECT_EQ(store.cancel(waiting, MomentStamp(clock->now())), JobStore::CancelResult::Finished);
    EXPECT_EQ(store.cancel("20310304999999", ""), JobStore::CancelResult::Unknown);

    Job p;
    p.periodValue = period(Variant::list({0, 1}), Variant::list({"20310304", 0}), "09:00");
    const std::string periodic = submit(p);
    const auto claim = store.claimNext(MomentStamp(clock->now()), "this-run", kLongLease);
    ASSERT_TRUE(claim);
    EXPECT_EQ(store.cancel(periodic, MomentStamp(clock->now())), JobStore::CancelResult::AfterThisRun);
    EXPECT_TRUE(store.finishRun(periodic, claim->attempt, "this-run", true, "", MomentStamp(clock->now()),
                                "20310305090000000"));
    EXPECT_EQ(status(periodic), "cancelled") << "no next run after a cancel";
    EXPECT_EQ(column(periodic, "JB009"), "");

    const std::string once = submit(Job{});
    const auto running = store.claimNext(MomentStamp(clock->now()), "this-run", kLongLease);
    ASSERT_TRUE(running);
    EXPECT_EQ(store.cancel(once, MomentStamp(clock->now())), JobStore::CancelResult::RunningOnce);
    EXPECT_FALSE(store.finishRun(once, running->attempt, "another-run", true, "", "", ""))
        << "only the server that runs it ends its run";
}

TEST_F(Scheduler, EachRecipientGetsTheKindsItAskedFor)
{
    sys().execute("UPDATE QVRMA SET MA004 = 'zw@example.com' WHERE MA001 = 'U001'");
    Job j;
    j.recipients = "<?xml version=\"1.0\" encoding=\"GB2312\"?><Root>"
                   "<R1 ID=\"DS\" Name=\"\" Mob=\"13900000000\" Msg=\"NYN\"/>"
                   "<R2 ID=\"U001\" Name=\"\" Msg=\"YNY\"/>"
                   "<R3 ID=\"U002\" Name=\"\" Msg=\"NNY\"/></Root>";
    submit(j);
    EXPECT_EQ(scheduler->runDue(), 1);
    EXPECT_EQ(count("SELECT count(*) FROM ADMTC WHERE TC003 LIKE '%U001%' AND TC006 LIKE '作业完成%'"), 1);
    EXPECT_EQ(count("SELECT count(*) FROM ADMTC WHERE TC003 LIKE '%ID=\"DS\"%'"), 0) << "DS asked for no system message";
    const DbRowSet out = sys().query("SELECT TO002, TO003, TO004, TO008 FROM ADMTO ORDER BY TO001");
    ASSERT_EQ(out.rows.size(), 3u);
    EXPECT_EQ(VarToStr(out.rows[0][0]) + VarToStr(out.rows[0][1]) + VarToStr(out.rows[0][2]), "SDS13900000000");
    EXPECT_EQ(VarToStr(out.rows[1][0]) + VarToStr(out.rows[1][2]), "Mzw@example.com") << "the user table's address";
    EXPECT_EQ(VarToStr(out.rows[2][3]), "X") << "nobody to send U002's mail to, and it says so";
}

TEST_F(Scheduler, CompletionNotificationsGoToTheRecipientsAndToTheProgramsDefinitions)
{
    Job ok;
    ok.recipients = recipientsOf({"DS", "U001"});
    const std::string done = submit(ok);
    Job bad = ok;
    bad.action = "@fail 余额不足";
    const std::string failed = submit(bad);
    submit(Job{}); // nobody to tell: only the program's definition
    EXPECT_EQ(scheduler->runDue(), 3);

    // One queue row per recipient who asked for a system message, then the definitions.
    const DbRowSet rows = sys().query("SELECT TC001, TC002, TC003, TC006, TC008, TC009 FROM ADMTC ORDER BY TC001");
    ASSERT_EQ(rows.rows.size(), 6u);
    auto text = [&](std::size_t r, int c) { return VarToStr(rows.rows[r][std::size_t(c)]); };
    EXPECT_EQ(text(0, 2), recipientsOf({"DS"}));
    EXPECT_EQ(text(1, 2), "<?xml version=\"1.0\" encoding=\"GB2312\"?><Root><R2 ID=\"U001\" Name=\"\" Type=\"5\" Msg=\"YNN\"/></Root>");
    EXPECT_EQ(text(0, 3), "作业完成: QTEST1 队列测试作业");
    EXPECT_NE(text(0, 4).find(done), std::string::npos);
    EXPECT_EQ(text(0, 1), "DS") << "from the job's owner";
    EXPECT_EQ(text(0, 5), "4");
    EXPECT_EQ(text(2, 3), "测试完成") << "the program's definition after the successful run";
    EXPECT_EQ(text(3, 3), "作业失败: QTEST1 队列测试作业");
    EXPECT_NE(text(3, 4).find("余额不足"), std::string::npos);
    EXPECT_NE(text(4, 4).find(failed), std::string::npos);
    EXPECT_EQ(text(5, 3), "测试完成");
    for (std::size_t r = 1; r < 6; ++r)
        EXPECT_EQ(std::stoll(text(r, 0)), std::stoll(text(r - 1, 0)) + 1) << "numbers follow each other";
}
