// The job service as a client calls it, late-bound on the application server object:
// Request stores what it answers a number for and nothing else, Request1, ExecSvrDLL and
// UpdateStatus1 carry a direct run from registration to its end.

#include "JobFixture.h"
#include "platform/Automation.h"
#include "wire/VariantStream.h"
#include "support/MessageText.h"

#include <bit>

using namespace jobtest;

namespace {

class JobServiceCalls : public JobFixture {
protected:
    void SetUp() override
    {
        JobFixture::SetUp();
        clock = std::make_shared<ManualJobClock>(at(2031, 3, 4, 9, 0));
        object = std::make_shared<TdmReportCounter>(settings(), clock, dsSession());
        server = Variant(DispatchPtr(object));
    }

    Variant call(const char* name, std::vector<Variant> args) { return server.invoke(name, args); }
    std::string request(const Variant& packet) { return VarToStr(call("Request", {packet})); }
    // The service answers message codes; the checks read them as an English client words them.
    static std::string english(const Variant& text) { return WordMessages(VarToStr(text), HostLanguage::English, "; "); }
    std::string errorText() { return english(call("ErrorDescript", {})); }
    // Option values 1..1 holding the test library's action.
    static Variant actionValues(const std::string& action)
    {
        Variant v = Variant::array(1, 1);
        v[1] = action;
        return v;
    }
    std::string exec(const std::string& requestNo, const std::string& program = "QTEST1",
                     const Variant& values = actionValues("@ok"))
    {
        return english(call("ExecSvrDLL", {requestNo, program, "", "01", "DS", program + "S.Class1", "B", "DEMO",
                                            values, 1, requestNo.substr(0, 8) + "0001", 3}));
    }

    std::shared_ptr<ManualJobClock> clock;
    std::shared_ptr<TdmReportCounter> object;
    Variant server;
};

// Equal in kind, bounds and content (Variant's == compares numbers loosely).
bool same(const Variant& a, const Variant& b)
{
    if (a.type() != b.type())
        return false;
    if (a.isArray()) {
        if (a.dimCount() != 1 || b.dimCount() != 1 || a.lowBound() != b.lowBound() || a.highBound() != b.highBound())
            return false;
        for (int i = a.lowBound(); i <= a.highBound(); ++i)
            if (!same(a[i], b[i]))
                return false;
        return true;
    }
    if (a.type() == VarType::Date || a.type() == VarType::Double)
        return std::bit_cast<std::uint64_t>(a.toDouble()) == std::bit_cast<std::uint64_t>(b.toDouble());
    return a.isEmptyOrNull() || a == b;
}

} // namespace

TEST_F(JobServiceCalls, ARequestIsStoredWithEverythingBeforeItsNumberIsAnswered)
{
    Job j;
    j.mode = 2;
    j.runAt = at(2031, 3, 5, 22, 30);
    j.recipients = recipientsOf({"U001"});
    const Variant packet = packetOf(j);
    const std::string number = request(packet);
    EXPECT_EQ(number, "20310304000001");
    EXPECT_EQ(errorText(), "");

    // Another connection sees it at once: it was committed.
    DbConnection other;
    other.openSqlite(install.path("server/data/QVSYS.db"));
    const DbRowSet rows = other.query("SELECT JB002, JB003, JB004, JB005, JB006, JB007, JB008, JB009, JB010, JB011, "
                                      "JB014, JB015, JB016, JB012 FROM ADMJB");
    ASSERT_EQ(rows.rows.size(), 1u);
    const auto& r = rows.rows[0];
    EXPECT_EQ(VarToStr(r[0]), "Q");
    EXPECT_EQ(VarToStr(r[1]), "QTEST1");
    EXPECT_EQ(VarToStr(r[2]), "DS");
    EXPECT_EQ(VarToStr(r[3]), "01");
    EXPECT_EQ(VarToStr(r[4]), "DEMO");
    EXPECT_EQ(VarToStr(r[5]), "B");
    EXPECT_EQ(r[6].toInt(), 2);
    EXPECT_EQ(VarToStr(r[7]), "20310305223000000") << "due at slot 11";
    EXPECT_EQ(VarToStr(r[8]), "queued");
    EXPECT_TRUE(same(DecodeVariantText(VarToStr(r[9])), packet)) << "the packet reads back exactly";
    EXPECT_EQ(VarToStr(r[10]), recipientsOf({"U001"}));
    EXPECT_EQ(VarToStr(r[11]), "QTEST1S.Class1");
    EXPECT_EQ(VarToStr(r[12]), "20310304090000000") << "submitted by the server's clock";
    EXPECT_EQ(VarToStr(r[13]), "") << "no period value";

    // A queue job is due when submitted; a periodic one at its first run, with its period
    // value and rules kept apart.
    j.mode = 0;
    EXPECT_EQ(column(request(packetOf(j)), "JB009"), "20310304090000000");
    Job p;
    p.periodValue = period(Variant::list({1, Variant::list({"2", "1"})}), Variant::list({"20310305", 1, "3"}));
    const Variant periodic = packetOf(p);
    const std::string pn = request(periodic);
    ASSERT_NE(pn, "ERROR") << errorText();
    EXPECT_EQ(column(pn, "JB009"), "20310317080000000");
    EXPECT_EQ(column(pn, "JB007"), "b");
    EXPECT_TRUE(same(DecodeVariantText(column(pn, "JB012")), periodic[3]));
    EXPECT_TRUE(same(DecodeVariantText(column(pn, "JB013")), periodic[4]));
}

TEST_F(JobServiceCalls, AMalformedRequestAnswersErrorSaysWhyAndStoresNothing)
{
    struct Case {
        const char* name;
        std::function<void(Variant&)> spoil;
        const char* reason;
    };
    class Obj : public DispatchObject {};
    const std::vector<Case> cases = {
        {"not an array", [](Variant& p) { p = "packet"; }, "array 0..2"},
        {"bounds 1..3",
         [](Variant& p) {
             Variant a = Variant::array(1, 3);
             for (int i = 1; i <= 3; ++i)
                 a[i] = p[i - 1];
             p = a;
         },
         "array 0..2"},
        {"environment 0..11", [](Variant& p) { Variant e = Variant::array(0, 11); p[0] = e; }, "environment"},
        {"EnvCount", [](Variant& p) { p[0][2] = 9; }, "EnvCount"},
        {"program code", [](Variant& p) { p[0][1] = "../../x"; }, "program code"},
        {"no user", [](Variant& p) { p[0][5] = ""; }, "user"},
        {"database", [](Variant& p) { p[0][6] = "DEMO; DROP"; }, "database"},
        {"run time", [](Variant& p) { p[0][11] = "next Tuesday"; }, "slot 11"},
        {"run time missing", [](Variant& p) { p[0][11] = Variant(); }, "slot 11"},
        {"run mode", [](Variant& p) { p[0][10] = 7; }, "run mode"},
        {"job kind", [](Variant& p) { p[0][9] = "BB"; }, "job kind"},
        {"recipients", [](Variant& p) { p[0][12] = "<Root><R1 ID="; }, "recipients"},
        {"a line break in a recipient",
         [](Variant& p) { p[0][12] = "<Root><R1 ID=\"U001\" Name=\"a&#13;&#10;Bcc: x\" Msg=\"YNN\"/></Root>"; },
         "the attribute Name of recipient 1 (U001) holds a control character"},
        {"a mail address",
         [](Variant& p) { p[0][12] = "<Root><R1 ID=\"U001\" Mail=\"zw at example.com\" Msg=\"NNY\"/></Root>"; },
         "the mail address \"zw at example.com\""},
        {"a mobile number",
         [](Variant& p) { p[0][12] = "<Root><R1 ID=\"U001\" Mob=\"13912345678;13900000000\" Msg=\"NYN\"/></Root>"; },
         "the mobile number"},
        {"too many recipients",
         [](Variant& p) {
             std::string xml = "<Root>";
             for (int i = 1; i <= 501; ++i)
                 xml += "<R" + std::to_string(i) + " ID=\"U001\" Msg=\"YNN\"/>";
             p[0][12] = xml + "</Root>";
         },
         "more than 500 recipients"},
        {"texts", [](Variant& p) { p[1].redim(4); }, "option texts"},
        {"text shape", [](Variant& p) { p[1][2] = "单据日期"; }, "Option text 2"},
        {"values", [](Variant& p) { p[2] = ""; }, "option values"},
        {"an object", [](Variant& p) { p[2][4] = Variant(DispatchPtr(std::make_shared<Obj>())); }, "automation object"},
        {"periodic without period", [](Variant& p) { p[0][9] = "b"; }, "period value"},
    };
    for (const Case& c : cases) {
        Variant packet = packetOf(Job{});
        c.spoil(packet);
        EXPECT_EQ(request(packet), "ERROR") << c.name;
        EXPECT_NE(errorText().find(c.reason), std::string::npos) << c.name << ": " << errorText();
    }

    Job p;
    p.periodValue = period(Variant::list({0, 1}), Variant::list({"20310305", 0}));
    const std::vector<Case> periodic = {
        {"one-time kind", [](Variant& v) { v[0][9] = "B"; }, "not that of a periodic job"},
        {"run mode", [](Variant& v) { v[0][10] = 0; }, "run mode 1 or 2"},
        {"time", [](Variant& v) { v[3][1] = "25:00"; }, "hour"},
        {"end before start", [](Variant& v) { v[3][3] = Variant::list({"20310305", 2, "20310301"}); }, "before"},
        {"no run before the end", [](Variant& v) { v[3] = period(Variant::list({1, Variant::list({1, 1})}), Variant::list({"20310305", 2, "20310308"})); }, "no run"},
        {"rule count", [](Variant& v) { v[4][0] = 3; }, "date rules"},
        {"rule index", [](Variant& v) { v[4][1] = rule({"1", "ed02", "Y", "0", "0", "0", "0", "D", "9"}); }, "Date rule 1"},
        {"rule without index", [](Variant& v) { v[4][1] = rule({"1", "ed02", "Y", "0", "0", "0", "0", "D"}); }, "Date rule 1"},
        {"rule on no range", [](Variant& v) { v[4][2] = rule({"0", "sp03", "Y", "0", "1", "1", "0", "Y", "0", "0", "0", "0", "D", "2"}); }, "cannot be applied"},
    };
    for (const Case& c : periodic) {
        Variant packet = packetOf(p);
        c.spoil(packet);
        EXPECT_EQ(request(packet), "ERROR") << c.name;
        EXPECT_NE(errorText().find(c.reason), std::string::npos) << c.name << ": " << errorText();
    }
    EXPECT_EQ(count("SELECT count(*) FROM ADMJB"), 0) << "nothing was stored";
    EXPECT_EQ(VarToStr(call("Request", {})), "ERROR") << "no argument at all";

    // The next good request gets the day's first number and clears the error.
    EXPECT_EQ(request(packetOf(p)), "20310304000001");
    EXPECT_EQ(errorText(), "");
}

TEST_F(JobServiceCalls, NumbersCountThroughTheDayForJobsAndDirectRequestsAlike)
{
    EXPECT_EQ(request(packetOf(Job{})), "20310304000001");
    const std::string direct = VarToStr(call("Request1", {packetOf(Job{}), "PC-01"}));
    EXPECT_EQ(direct, "20310304000002");
    EXPECT_GE(direct.size(), 8u) << "the client takes the first 8 characters for its job number";
    EXPECT_EQ(request(packetOf(Job{})), "20310304000003");
    clock->set(at(2031, 3, 5, 0, 0, 1));
    EXPECT_EQ(request(packetOf(Job{})), "20310305000001");
    EXPECT_EQ(VarToStr(call("Request1", {"bad", "PC-01"})), "ERROR");
    EXPECT_NE(errorText().find("not registered"), std::string::npos);
}

TEST_F(JobServiceCalls, ADirectRunIsRegisteredRunAndEnded)
{
    const std::string no = VarToStr(call("Request1", {packetOf(Job{}), "PC-01"}));
    ASSERT_NE(no, "ERROR") << errorText();
    EXPECT_EQ(status(no), "running");
    EXPECT_EQ(column(no, "JB017"), "PC-01");
    EXPECT_EQ(count("SELECT count(*) FROM ADMJR WHERE JR010 = 'D' AND JR007 = 'running'"), 1);

    clock->advanceMinutes(1);
    EXPECT_EQ(exec(no), "");
    EXPECT_EQ(errorText(), "");
    EXPECT_EQ(status(no), "done");
    const auto runs = runLog();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0][0], no) << "the request number";
    EXPECT_EQ(runs[0][1], "203103040001") << "the job number as the extra text";
    EXPECT_EQ(runs[0][2], "@ok");
    const DbRowSet run = sys().query("SELECT JR010, JR007, JR005 FROM ADMJR WHERE JR001 = :N", {{"N", no}});
    ASSERT_EQ(run.rows.size(), 1u);
    EXPECT_EQ(VarToStr(run.rows[0][0]), "X") << "run by the server at the client's call";
    EXPECT_EQ(VarToStr(run.rows[0][1]), "done");
    EXPECT_EQ(VarToStr(run.rows[0][2]), "20310304090100000");
    EXPECT_NE(exec(no).find("has ended"), std::string::npos) << "a second run of the same request is refused";

    // The client ends it: the server's outcome stays, the end moment is the client's.
    EXPECT_EQ(VarToStr(call("UpdateStatus1", {no, "", Variant::date(at(2031, 3, 4, 9, 2))})), "");
    EXPECT_EQ(status(no), "done");
    EXPECT_EQ(column(no, "JB023"), "20310304090200000");
}

TEST_F(JobServiceCalls, ADirectRunThatFailsIsRecordedAndAnsweredWithItsReason)
{
    auto registered = [&] { return VarToStr(call("Request1", {packetOf(Job{}), "PC-01"})); };

    const std::string failing = registered();
    EXPECT_EQ(exec(failing, "QTEST1", actionValues("@fail 供应商 S009 不存在")), "供应商 S009 不存在");
    EXPECT_EQ(errorText(), "供应商 S009 不存在");
    EXPECT_EQ(status(failing), "failed");
    EXPECT_EQ(column(failing, "JB022"), "供应商 S009 不存在");

    const std::string raising = registered();
    EXPECT_EQ(exec(raising, "QTEST1", actionValues("@raise the disk is full")), "the disk is full");
    EXPECT_EQ(status(raising), "failed");

    Job other;
    other.program = "QTEST9";
    const std::string missing = VarToStr(call("Request1", {packetOf(other), "PC-01"}));
    EXPECT_NE(exec(missing, "QTEST9").find("QTEST9S.so is in none of the folders"), std::string::npos);
    EXPECT_EQ(status(missing), "failed");

    const std::string wrongProgram = registered();
    EXPECT_NE(exec(wrongProgram, "QTEST9").find("belongs to program QTEST1"), std::string::npos);
    EXPECT_EQ(status(wrongProgram), "running") << "nothing ran";
    EXPECT_NE(exec("20310304999999").find("not registered"), std::string::npos);
    const std::string queued = request(packetOf(Job{}));
    EXPECT_NE(exec(queued).find("not registered for a direct run"), std::string::npos);
    EXPECT_EQ(status(queued), "queued");

    // After a failed server run the client's end keeps the failure.
    EXPECT_EQ(VarToStr(call("UpdateStatus1", {failing, "", Variant::date(at(2031, 3, 4, 9, 5))})), "");
    EXPECT_EQ(status(failing), "failed");
    EXPECT_EQ(column(failing, "JB022"), "供应商 S009 不存在");
}

TEST_F(JobServiceCalls, UpdateStatusEndsARunTheClientMadeItself)
{
    // "ERROR" (what a client sends after a refused registration) changes nothing.
    const std::string queued = request(packetOf(Job{}));
    EXPECT_EQ(VarToStr(call("UpdateStatus1", {"ERROR", "x", Variant::date(at(2031, 3, 4, 9, 1))})), "");
    EXPECT_EQ(VarToStr(call("UpdateStatus1", {"error", "x", Variant::date(at(2031, 3, 4, 9, 1))})), "");
    EXPECT_EQ(status(queued), "queued");

    const std::string ok = VarToStr(call("Request1", {packetOf(Job{}), "PC-01"}));
    EXPECT_EQ(VarToStr(call("UpdateStatus1", {ok, "", Variant::date(at(2031, 3, 4, 9, 3))})), "");
    EXPECT_EQ(status(ok), "done");
    EXPECT_EQ(VarToStr(sys().scalar("SELECT JR006 FROM ADMJR WHERE JR001 = :N", {{"N", ok}})), "20310304090300000");

    const std::string bad = VarToStr(call("Request1", {packetOf(Job{}), "PC-01"}));
    EXPECT_EQ(VarToStr(call("UpdateStatus1", {bad, "有问题: 供应商不存在", "not a time"})), "");
    EXPECT_EQ(status(bad), "failed");
    EXPECT_EQ(column(bad, "JB022"), "有问题: 供应商不存在");
    EXPECT_EQ(column(bad, "JB023"), "20310304090000000") << "an unreadable end is the server's clock";

    EXPECT_NE(english(call("UpdateStatus1", {queued, "", Variant()})).find("not registered"), std::string::npos);
    EXPECT_NE(errorText().find("not registered"), std::string::npos);
    EXPECT_EQ(status(queued), "queued");
}

TEST_F(JobServiceCalls, TheRecipientsOfADirectRunHearOfItsOutcomeOnce)
{
    Job j;
    j.recipients = recipientsOf({"U001"});
    const auto notices = [&](const std::string& no) {
        return sys().query("SELECT TC003, TC006, TC008 FROM ADMTC WHERE TC008 LIKE :N ORDER BY TC001",
                           {{"N", "%" + no + "%"}});
    };

    // Run on the server: ExecSvrDLL knows the outcome, the client's end adds nothing.
    const std::string served = VarToStr(call("Request1", {packetOf(j), "PC-01"}));
    ASSERT_EQ(exec(served), "");
    EXPECT_EQ(VarToStr(call("UpdateStatus1", {served, "", Variant::date(at(2031, 3, 4, 9, 2))})), "");
    DbRowSet rows = notices(served);
    ASSERT_EQ(rows.rows.size(), 1u);
    EXPECT_EQ(VarToStr(rows.rows[0][0]), recipientsOf({"U001"}));
    EXPECT_EQ(VarToStr(rows.rows[0][1]), "作业完成: QTEST1 队列测试作业");
    EXPECT_NE(VarToStr(rows.rows[0][2]).find("ran " + served), std::string::npos) << "with the run's summary";

    // Run by the client itself: its end decides, with the summary it reports.
    const std::string local = VarToStr(call("Request1", {packetOf(j), "PC-01"}));
    EXPECT_EQ(VarToStr(call("UpdateStatus1", {local, "", Variant::date(at(2031, 3, 4, 9, 3)), "核销 3 张单据"})), "");
    EXPECT_EQ(VarToStr(call("UpdateStatus1", {local, "", Variant::date(at(2031, 3, 4, 9, 4)), "again"})), "");
    rows = notices(local);
    ASSERT_EQ(rows.rows.size(), 1u);
    EXPECT_NE(VarToStr(rows.rows[0][2]).find("核销 3 张单据"), std::string::npos);

    const std::string failing = VarToStr(call("Request1", {packetOf(j), "PC-01"}));
    exec(failing, "QTEST1", actionValues("@fail 供应商 S009 不存在"));
    rows = notices(failing);
    ASSERT_EQ(rows.rows.size(), 1u);
    EXPECT_EQ(VarToStr(rows.rows[0][1]), "作业失败: QTEST1 队列测试作业");
    EXPECT_NE(VarToStr(rows.rows[0][2]).find("供应商 S009 不存在"), std::string::npos);

    const std::string nobody = VarToStr(call("Request1", {packetOf(Job{}), "PC-01"}));
    exec(nobody);
    EXPECT_EQ(notices(nobody).rows.size(), 0u) << "a run with nobody chosen tells nobody";
}
