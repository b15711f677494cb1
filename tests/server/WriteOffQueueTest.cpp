// A write-off put into the queue and run by a real qvappserver process gives the same
// books as the same write-off run at once in this process.

#include "WriteOffFixture.h"
#include "server/WriteOffJob.h"

#include <csignal>

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
    const std::string job = client.jobs().Request(queueRequestOf(r));
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

    EXPECT_EQ(books(), directBooks);
    EXPECT_EQ(value("SELECT LC014 FROM ACPLC WHERE LC001 = 'WOFB07-B0100' AND LC002 = '000001'"), job);
    EXPECT_EQ(value("SELECT LC021 FROM ACPLC WHERE LC001 = 'WOFB07-B0100' AND LC002 = '000001'"), job + "0001");
    // The queued run wrote its log too, under its own request number.
    EXPECT_TRUE(install.exists("server/Log/WOFB07_B0100_" + job + ".log"));
}
