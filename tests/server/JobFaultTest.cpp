// A server library that hangs or crashes, under the job time limit (BriskoS.ini
// JobTimeLimit): the job service and the queue end the run after the limit, record it as
// failed with the reason, and go on serving; a run within the limit works as ever.

#include "JobFixture.h"

#include "server/JobScheduler.h"
#include "server/JobStore.h"
#include "server/ReportCounterS.h"
#include "server/ServerLibrary.h"

using namespace jobtest;

namespace {

class FaultHangingLibrary : public JobFixture {
protected:
    void SetUp() override
    {
        JobFixture::SetUp();
        clock = std::make_shared<ManualJobClock>(at(2031, 3, 4, 9, 0));
        object = std::make_shared<TdmReportCounter>(limited(), clock, dsSession());
        server = Variant(DispatchPtr(object));
    }
    ServerDbSettings limited() const
    {
        ServerDbSettings s = settings();
        s.jobTimeLimitSeconds = 1;
        return s;
    }
    Variant call(const char* name, std::vector<Variant> args) { return server.invoke(name, args); }
    std::string direct(const std::string& action)
    {
        const std::string no = VarToStr(call("Request1", {packetOf(Job{}), "PC-01"}));
        Variant values = Variant::array(1, 1);
        values[1] = action;
        lastAnswer = VarToStr(call("ExecSvrDLL", {no, "QTEST1", "", "01", "DS", "QTEST1S.Class1", "B", "DEMO", values,
                                                  1, no.substr(0, 8) + "0001", 3}));
        return no;
    }
    std::string result(const std::string& job)
    {
        return VarToStr(sys().scalar("SELECT JB022 FROM ADMJB WHERE JB001 = :N", {{"N", job}}));
    }

    std::shared_ptr<ManualJobClock> clock;
    std::shared_ptr<TdmReportCounter> object;
    Variant server;
    std::string lastAnswer;
};

} // namespace

TEST_F(FaultHangingLibrary, ADirectRunPastTheTimeLimitIsEndedAndRecordedFailed)
{
    RecordProperty("tried", "ExecSvrDLL of a server library that never returns, with JobTimeLimit=1");
    const std::string hung = direct("@hold " + install.path("never"));
    EXPECT_NE(lastAnswer.find("did not finish within its time limit of 1 s"), std::string::npos) << lastAnswer;
    EXPECT_EQ(status(hung), "failed");
    EXPECT_NE(result(hung).find("time limit"), std::string::npos) << result(hung);
    EXPECT_EQ(VarToStr(call("ErrorDescript", {})), lastAnswer);

    // The service goes on: a run within the limit works, in its own process as well.
    const std::string fine = direct("@ok");
    EXPECT_EQ(lastAnswer, "");
    EXPECT_EQ(status(fine), "done");
    const auto runs = runLog();
    ASSERT_EQ(runs.size(), 2u) << "the ended run started, the next one ran";
    EXPECT_EQ(runs[1][0], fine);
    // A failure the library answers still comes back as its own text.
    direct("@fail 供应商余额不足");
    EXPECT_EQ(lastAnswer, "供应商余额不足");
}

TEST_F(FaultHangingLibrary, ALibraryThatCrashesFailsTheRunNotTheServer)
{
    RecordProperty("tried", "ExecSvrDLL of a server library that dies of SIGSEGV, with JobTimeLimit=1");
    const std::string crashed = direct("@crash");
    EXPECT_NE(lastAnswer.find("ended abnormally (signal 11)"), std::string::npos) << lastAnswer;
    EXPECT_EQ(status(crashed), "failed");
    direct("@ok");
    EXPECT_EQ(lastAnswer, "");
}

TEST_F(FaultHangingLibrary, AQueuedRunPastTheTimeLimitIsEndedRecordedFailedAndTheQueueGoesOn)
{
    RecordProperty("tried", "a queued job whose server library never returns, with the queue's time limit 1 s");
    ServerDatabase db(limited());
    JobSchedulerOptions o;
    o.libraryFolders = settings().libraryFolders;
    o.jobTimeLimitSeconds = 1;
    JobScheduler scheduler(db, *clock, o);
    std::vector<std::string> reports;
    scheduler.report = [&](LogLevel, const std::string& line) { reports.push_back(line); };

    Job hanging;
    hanging.action = "@hold " + install.path("never");
    hanging.builtAt = clock->now();
    const std::string hung = object->jobs().Request(packetOf(hanging));
    Job next;
    next.builtAt = clock->now();
    const std::string after = object->jobs().Request(packetOf(next));
    ASSERT_NE(hung, "ERROR");
    ASSERT_NE(after, "ERROR");
    clock->advanceMinutes(1);
    EXPECT_EQ(scheduler.runDue(), 2);
    EXPECT_EQ(status(hung), "failed");
    const auto runs = JobStore(sys()).runs(hung);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_NE(runs[0].result.find("time limit of 1 s"), std::string::npos) << runs[0].result;
    EXPECT_EQ(status(after), "done") << "the queue went on to the next job";
    bool told = false;
    for (const std::string& line : reports)
        told = told || (line.find(hung) != std::string::npos && line.find("time limit") != std::string::npos);
    EXPECT_TRUE(told) << "the server's log names the ended run";
}
