// A write-off put into the queue and run by a real qvappserver process gives the same
// books as the same write-off run at once in this process.

#include "WriteOffFixture.h"
#include "server/WriteOffJob.h"

#include <csignal>

using namespace wotest;

namespace {

class QueuedWriteOff : public WriteOffFixture {
protected:
    // The request as the write-off form hands it to the job service.
    Variant requestOf(const WriteOffRun& r)
    {
        Variant env = Variant::array(1, 12);
        env[1] = "WOFB07";
        env[2] = 12;
        env[3] = 17; // OptionCount
        env[4] = "01";
        env[5] = "DS";
        env[6] = "DEMO";
        env[7] = Variant::date(Now());
        env[8] = "WOFB07S.Class1";
        env[9] = "B";
        env[10] = 0;
        env[11] = Variant::date(Now());
        env[12] = "";
        Variant texts = Variant::array(1, 17);
        const char* controls[] = {"", "cbo01", "ed02", "sp03", "ed04", "sp05", "sp06", "sp07", "sp08", "sp09",
                                  "ed10", "ed11", "ed12", "btnFilter", "btnFilter", "lbl11C", "chkLog", "edPrintDate"};
        for (int i = 1; i <= 17; ++i)
            texts[i] = Variant::list({std::string("条件") + std::to_string(i), controls[i]});
        return Variant::list({env, texts, optionValues(r)});
    }

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
    const std::string job = client.jobs().Request(requestOf(r));
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
