// A write-off put into the queue and run by a real qvappserver process gives the same
// books as the same write-off run at once in this process.

#include "WriteOffFixture.h"
#include "server/WriteOffJob.h"

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
