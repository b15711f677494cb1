// The database server restarted in the middle of a write-off, on a PostgreSQL cluster of
// the test's own: the write-off's transaction goes with its connection, so the documents
// are all settled or none; a queued run is interrupted and runs once more to done, and
// the queue server carries on over its own connection, which connects again.

#include "PgCluster.h"
#include "WriteOffFixture.h"
#include "writeoffserver/WriteOff.h"
#include "writeoffserver/WriteOffRequest.h"

#include <csignal>
#include <thread>

using namespace wotest;

namespace {

class RestartOnPostgres : public WriteOffFixture {
protected:
    RestartOnPostgres() : WriteOffFixture(true) {}

    void SetUp() override
    {
        if (PgConnectBase().empty())
            GTEST_SKIP() << "QV_PG_CONNECT is not set: no PostgreSQL cases (start one with tests/pg/cluster.sh start)";
        cluster = std::make_unique<PgCluster>();
        ASSERT_EQ(cluster->error(), "");
        WriteOffFixture::SetUp();
        // The write-off waits for the test's lock longer than the restart takes.
        std::string ini = install.read("server/BriskoS.ini");
        ini.replace(ini.find("[DBE Setting]\n"), 14, "[DBE Setting]\nBusyTimeOut=60000\n");
        install.write("server/BriskoS.ini", ini);
        r.documents = {"710120240110001", "7A0112", "7F0120240201001"};
    }

    // Holds ACPLC so that a write-off settles every document and then waits to record its
    // batch there: the whole write-off is written, nothing of it committed.
    void holdBatchTable()
    {
        locker.openPostgres(pgDb->login("DEMO"));
        locker.begin();
        locker.execute("LOCK TABLE ACPLC IN EXCLUSIVE MODE");
    }
    bool writeOffWaits()
    {
        return locker.scalar("SELECT count(*) FROM pg_locks l JOIN pg_class c ON c.oid = l.relation "
                             "WHERE NOT l.granted AND c.relname = 'acplc'")
                   .toInt()
               > 0;
    }

    struct Books {
        int settled = -1, batchRows = -1, transfers = -1;
    };
    // On a connection of its own: what is committed.
    Books books()
    {
        DbConnection c;
        c.openPostgres(pgDb->login("DEMO"));
        Books b;
        b.settled = c.scalar("SELECT count(*) FROM ACPTA WHERE TA087 = '3' "
                             "AND TA002 IN ('20240110001', '12', '20240201001')")
                        .toInt();
        b.batchRows = c.scalar("SELECT count(*) FROM ACPLC WHERE LC001 = 'WOFB07-B0100'").toInt();
        b.transfers = c.scalar("SELECT count(*) FROM ACPTI WHERE TI004 = 'S09'").toInt();
        return b;
    }

    std::unique_ptr<PgCluster> cluster;
    DbConnection locker;
    WriteOffRun r;
};

} // namespace

TEST_F(RestartOnPostgres, ARestartDuringADirectWriteOffLeavesAllOrNothingAndTheConnectionWorksAgain)
{
    DbConnection conn;
    conn.openPostgres(pgDb->login("DEMO"));
    conn.setBusyTimeout(60000);
    const WriteOffRequest request = ReadWriteOffPacket(packetOf(r));
    const WriteOffContext context{MomentStamp(Now()), "202312", "202401", "RMB"};
    ASSERT_EQ(books().settled, 0);

    holdBatchTable();
    std::string error;
    DbErrorKind kind = DbErrorKind::Other;
    std::thread run([&] {
        try {
            RunWriteOff(conn, request, context);
        } catch (const DbError& e) {
            error = e.what();
            kind = e.kind();
        } catch (const std::exception& e) {
            error = e.what();
        }
    });
    const bool waits = testproc::waitFor([&] { return writeOffWaits(); }, 30);
    if (!waits)
        locker.rollback();
    else
        EXPECT_TRUE(cluster->restart());
    run.join();
    ASSERT_TRUE(waits) << "the write-off never waited for the batch table: " << error;

    EXPECT_FALSE(conn.inTransaction());
    if (error.empty()) {
        // The server's shutdown ended the holder's session before the write-off's, which
        // then got its lock and committed before its own end: all of it stays.
        const Books all = books();
        EXPECT_EQ(all.settled, 3);
        EXPECT_EQ(all.batchRows, 3);
        EXPECT_EQ(all.transfers, 1);
        try {
            conn.scalar("SELECT 1"); // the first call may find the server gone
        } catch (const DbError& e) {
            EXPECT_EQ(e.kind(), DbErrorKind::ConnectionLost) << e.what();
        }
        EXPECT_EQ(conn.scalar("SELECT count(*) FROM ACPLC WHERE LC001 = 'WOFB07-B0100'").toInt(), 3)
            << "the connection works again after the restart";
        return;
    }
    EXPECT_EQ(kind, DbErrorKind::ConnectionLost) << error;
    EXPECT_NE(error.find("was lost"), std::string::npos) << error;
    const Books none = books();
    EXPECT_EQ(none.settled, 0) << "nothing of the cut-off write-off stays";
    EXPECT_EQ(none.batchRows, 0);
    EXPECT_EQ(none.transfers, 0);

    // The same connection, the same write-off: done in full, once.
    const WriteOffOutcome again = RunWriteOff(conn, request, context);
    EXPECT_FALSE(again.repeated);
    EXPECT_EQ(again.documents.size(), 3u);
    const Books all = books();
    EXPECT_EQ(all.settled, 3);
    EXPECT_EQ(all.batchRows, 3);
    EXPECT_EQ(all.transfers, 1);
}

TEST_F(RestartOnPostgres, AQueuedWriteOffCutOffByARestartRunsOnceMoreToDoneAndTheServerGoesOn)
{
    TdmReportCounter client(ServerDatabase::fromConfiguration());
    const std::string job = client.jobs().Request(queueRequestOf(r));
    ASSERT_NE(job, "ERROR") << client.jobs().ErrorDescript();

    holdBatchTable();
    jobtest::Process server(TestBinDir() + "/qvappserver", {"--install", install.dir(), "--poll", "20"},
                            install.path("server.out"));
    const bool waits = testproc::waitFor([&] { return writeOffWaits(); }, 30);
    if (!waits)
        locker.rollback();
    ASSERT_TRUE(waits) << server.output();
    EXPECT_EQ(books().settled, 0);
    ASSERT_TRUE(cluster->restart());

    // One connection for the whole wait: it, too, connects again after the restart.
    DbConnection sys;
    sys.openPostgres(pgDb->login("QVSYS"));
    const auto status = [&]() -> std::string {
        try {
            return VarToStr(sys.scalar("SELECT JB010 FROM ADMJB WHERE JB001 = :N", {{"N", job}}));
        } catch (const DbError&) {
            return {};
        }
    };
    EXPECT_TRUE(testproc::waitFor([&] { return status() == "done" || status() == "failed"; }, 60)) << server.output();
    ASSERT_EQ(status(), "done") << server.output();

    const DbRowSet runs = sys.query("SELECT JR002, JR003, JR007, JR008 FROM ADMJR WHERE JR001 = :N ORDER BY JR002",
                                    {{"N", job}});
    ASSERT_EQ(runs.rows.size(), 2u) << "the cut-off run and the run again";
    EXPECT_EQ(VarToStr(runs.rows[0][2]), "interrupted");
    const std::string why = VarToStr(runs.rows[0][3]);
    EXPECT_NE(why.find("The connection to the database was lost during the run; it runs again"), std::string::npos)
        << why;
    EXPECT_NE(why.find("was lost"), std::string::npos) << why;
    EXPECT_EQ(VarToStr(runs.rows[1][2]), "done");
    EXPECT_EQ(runs.rows[1][1].toInt(), 1) << "the same run, once more";
    EXPECT_EQ(sys.scalar("SELECT JB018 FROM ADMJB WHERE JB001 = :N", {{"N", job}}).toInt(), 1);

    const Books all = books();
    EXPECT_EQ(all.settled, 3);
    EXPECT_EQ(all.batchRows, 3) << "one row per document: the first attempt left none";
    EXPECT_EQ(all.transfers, 1);

    // The server said what happened and still answers its stop signal.
    const std::string out = server.output();
    EXPECT_NE(out.find("interrupted: The connection to the database was lost"), std::string::npos) << out;
    EXPECT_NE(out.find("Connected again to the database server"), std::string::npos) << out;
    server.signal(SIGTERM);
    EXPECT_TRUE(server.wait(30));
    EXPECT_EQ(server.exitCode(), 0) << out;
}
