// A write-off put into the queue and run by a real qvappserver process gives the same
// books as the same write-off run at once in this process.

#include "WriteOffFixture.h"
#include "server/JobStore.h"
#include "writeoffserver/WriteOffJob.h"

#include <csignal>
#include <fstream>
#include <iterator>

using namespace wotest;

namespace {

class QueuedWriteOff : public WriteOffFixture {
protected:
    // The books without what differs between two runs by nature: moments, request numbers
    // and the images that hold them.
    std::map<std::string, std::vector<std::string>> books()
    {
        return snapshot({"MODI_DATE", "CREATE_DATE", "LC014", "LC020", "LC021"});
    }
};

} // namespace

TEST_F(QueuedWriteOff, TheQueueServerGivesTheSameResultAsADirectRun)
{
    const std::string file = install.path("server/data/DEMO.db");
    std::filesystem::copy_file(file, install.path("pristine.db"));
    WriteOffRun r;
    r.log = true;
    r.documents = {"710120240110001", "7A0112", "7F0120240201001"};

    // At once, in this process.
    const WriteOffJobResult direct = RunWriteOffJob(packetOf(r));
    ASSERT_EQ(direct.error, "");
    const auto directBooks = books();

    // The same books again, the same request through the queue.
    company().close();
    std::filesystem::copy_file(install.path("pristine.db"), file, std::filesystem::copy_options::overwrite_existing);
    TdmReportCounter client(ServerDatabase::fromConfiguration());
    Variant request = queueRequestOf(r);
    request[0][12] = "<?xml version=\"1.0\" encoding=\"GB2312\"?><Root><R1 ID=\"DS\" Name=\"\" Msg=\"YNN\"/></Root>";
    const std::string job = client.jobs().Request(request);
    ASSERT_NE(job, "ERROR") << client.jobs().ErrorDescript();
    jobtest::Process server(TestBinDir() + "/qvappserver", {"--install", install.dir(), "--poll", "20"},
                            install.path("server.out"));
    DbConnection sys;
    sys.openSqlite(install.path("server/data/QVSYS.db"));
    auto status = [&] { return VarToStr(sys.scalar("SELECT JB010 FROM ADMJB WHERE JB001 = :N", {{"N", job}})); };
    EXPECT_TRUE(jobtest::waitFor([&] { return status() == "done" || status() == "failed"; }, 60)) << server.output();
    EXPECT_EQ(status(), "done") << VarToStr(sys.scalar("SELECT JB022 FROM ADMJB WHERE JB001 = :N", {{"N", job}}));
    server.signal(SIGTERM);
    EXPECT_TRUE(server.wait(30));
    EXPECT_NE(server.output().find("done: Batch WOFB07-B0100: 3 documents written off"), std::string::npos)
        << server.output();

    // The clerk's notice says what was written off, not only that a job ended.
    const std::string notice = VarToStr(sys.scalar("SELECT TC008 FROM ADMTC WHERE TC003 LIKE '%ID=\"DS\"%'"));
    EXPECT_NE(notice.find("批次 WOFB07-B0100: 转销了 3 笔单据; RMB "), std::string::npos) << notice;

    EXPECT_EQ(books(), directBooks);
    EXPECT_EQ(value("SELECT LC014 FROM ACPLC WHERE LC001 = 'WOFB07-B0100' AND LC002 = '000001'"), job);
    EXPECT_EQ(value("SELECT LC021 FROM ACPLC WHERE LC001 = 'WOFB07-B0100' AND LC002 = '000001'"), job + "0001");
    // The queued run wrote its log too, under its own request number.
    EXPECT_TRUE(install.exists("server/Log/WOFB07_B0100_" + job + ".log"));

    // The job table keeps what the run did without a language; qvjobs words it in the
    // installation's language, its amounts as the grid shows them.
    const std::string stored = VarToStr(sys.scalar("SELECT JB022 FROM ADMJB WHERE JB001 = :N", {{"N", job}}));
    EXPECT_EQ(stored.rfind("I;200680;WOFB07-B0100;3", 0), 0u) << stored;
    const std::string ini = install.path("server/BriskoS.ini");
    std::string config;
    {
        std::ifstream in(ini);
        config.assign(std::istreambuf_iterator<char>(in), {});
    }
    auto shown = [&](const char* codePage) {
        std::string text = config;
        text.replace(text.find("UICodePage=936"), 14, std::string("UICodePage=") + codePage);
        std::ofstream(ini, std::ios::trunc) << text;
        jobtest::Process qvjobs(TestBinDir() + "/qvjobs", {"--install", install.dir(), "show", job},
                                install.path(std::string("show-") + codePage + ".out"));
        EXPECT_TRUE(qvjobs.wait(60));
        const std::string out = qvjobs.output();
        return out.substr(out.find("Last result"), out.find('\n', out.find("Last result")) - out.find("Last result"));
    };
    EXPECT_NE(shown("437").find("Batch WOFB07-B0100: 3 documents written off; RMB "), std::string::npos) << shown("437");
    EXPECT_NE(shown("950").find("批次 WOFB07-B0100: 轉銷了 3 筆單據; RMB "), std::string::npos) << shown("950");
    EXPECT_NE(shown("936").find("批次 WOFB07-B0100: 转销了 3 笔单据; RMB "), std::string::npos) << shown("936");
}

TEST_F(QueuedWriteOff, ADailyWriteOffPostsEachRunUnderItsOwnBatchAndRefusesAFirstBatchUsedAlready)
{
    // Daily at 08:00 from 1 July, three runs; the batch number "PFX" is their prefix.
    WriteOffRun r;
    r.batch = "pfx";
    r.documents = {"710120240110001", "7A0112"};
    const std::string clockFile = install.path("clock");
    auto setClock = [&](const std::string& moment) {
        install.write("clock.new", moment + "\n");
        std::filesystem::rename(install.path("clock.new"), clockFile);
    };
    setClock("20240701070000");
    auto clock = std::make_shared<FileJobClock>(clockFile);
    auto periodic = [&](const WriteOffRun& run) {
        Variant request = queueRequestOf(run);
        request[0][9] = "b";
        request[0][10] = 2;
        request[0][11] = Variant::date(clock->now());
        Variant rules = Variant::array(0, 0);
        rules[0] = 0;
        return Variant::list({request[0], request[1], request[2],
                              Variant::list({"Y", "08:00", Variant::list({0, "1"}), Variant::list({"20240701", 1, "3"})}),
                              rules});
    };
    TdmReportCounter client(ServerDatabase::fromConfiguration(), clock);
    const std::string job = client.jobs().Request(periodic(r));
    ASSERT_NE(job, "ERROR") << English(client.jobs().ErrorDescript());

    jobtest::Process server(TestBinDir() + "/qvappserver",
                            {"--install", install.dir(), "--poll", "20", "--clock-file", clockFile},
                            install.path("server.out"));
    DbConnection sys;
    sys.openSqlite(install.path("server/data/QVSYS.db"));
    const std::vector<std::string> days = {"20240701", "20240702", "20240703"};
    for (std::size_t i = 0; i < days.size(); ++i) {
        SCOPED_TRACE(days[i]);
        setClock(days[i] + "080000");
        ASSERT_TRUE(jobtest::waitFor([&] { return JobStore(sys).runs(job).size() == i + 1
                                                  && !JobStore(sys).runs(job)[i].ended.empty(); }, 60))
            << server.output();
        const JobRun ran = JobStore(sys).runs(job)[i];
        EXPECT_EQ(ran.status, "done") << English(ran.result);
        const std::string batch = "PFX-" + days[i];
        EXPECT_EQ(value("SELECT count(*) FROM ACPLC WHERE LC001 = :K", {{"K", "WOFB07-" + batch}}), "2");
        // The same documents serve the next day once this run's batch is reversed.
        jobtest::Process reverse(TestBinDir() + "/qvjobs", {"--install", install.dir(), "--user", "DS", "reverse", batch},
                                 install.path("reverse.out"));
        ASSERT_TRUE(reverse.wait(60));
        EXPECT_EQ(reverse.exitCode(), 0) << reverse.output();
    }
    server.signal(SIGTERM);
    EXPECT_TRUE(server.wait(30));

    // Queued again on the second day, its first run would post under PFX-20240702, which
    // the run of that day used: refused, and nothing is queued.
    const auto jobs = [&] { return VarToStr(sys.scalar("SELECT count(*) FROM ADMJB")); };
    const std::string before = jobs();
    setClock("20240702070000");
    EXPECT_EQ(client.jobs().Request(periodic(r)), "ERROR");
    EXPECT_NE(English(client.jobs().ErrorDescript()).find("The write-off batch number PFX-20240702 is used already"),
              std::string::npos)
        << English(client.jobs().ErrorDescript());
    // A prefix that leaves no room for "-" and the run date.
    r.batch = "PFX12";
    EXPECT_EQ(client.jobs().Request(periodic(r)), "ERROR");
    EXPECT_NE(English(client.jobs().ErrorDescript()).find("PFX12 of a periodic write-off is the prefix"),
              std::string::npos)
        << English(client.jobs().ErrorDescript());
    EXPECT_EQ(jobs(), before);
    // The same prefix from a day no run used yet is taken.
    r.batch = "PFX";
    setClock("20240703090000");
    EXPECT_NE(client.jobs().Request(periodic(r)), "ERROR") << English(client.jobs().ErrorDescript());
}
