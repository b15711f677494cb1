// The write-off batches read back for people: the list and one batch as real runs (at once
// and through the queue) and a reversal left them, on SQLite and PostgreSQL; the server's
// members for the session's company and the users with a right of the job; the codec that
// checks what crosses the wire.

#include "WriteOffFixture.h"
#include "report/WriteOffBatchCodec.h"
#include "wire/WireCodec.h"
#include "writeoffserver/WriteOffBatches.h"
#include "writeoffserver/WriteOffJob.h"

#include <csignal>

using namespace wotest;

// Failures name the values.
void PrintTo(const WriteOffBatchSummary& s, std::ostream* os)
{
    *os << s.batchNo << " type " << s.type << " " << s.writeOffDate << " to " << s.transferSupplier << " "
        << s.transferSupplierName << " by " << s.ranBy << " " << s.ranByName << " at " << s.ranAt
        << (s.queued ? " queued " : " direct ") << s.requestNo << ", " << s.documents << " documents:";
    for (const WriteOffBatchTotal& t : s.totals)
        *os << " " << t.currency << "/" << t.decimals << "/" << t.documents << "/" << t.original.toString() << "/"
            << t.local.toString();
    *os << " local " << s.localCurrency << "/" << s.localDecimals << (s.reversed ? " reversed by " : " ")
        << s.reversedBy << " " << s.reversedByName << " " << s.reversedAt;
}

namespace {

class Batches : public WriteOffFixture {
protected:
    explicit Batches(bool postgres = false) : WriteOffFixture(postgres) {}

    DbConnection& system()
    {
        if (!system_.isOpen()) {
            if (onPostgres)
                system_.openPostgres(pgDb->login("QVSYS"));
            else
                system_.openSqlite(install.path("server/data/QVSYS.db"));
        }
        return system_;
    }
    WriteOffBatchSource source() { return {company(), system(), "01"}; }

    // The four batches the cases read: payables at once, other payables through the queue
    // server, prepayments with their refund, and payables in US dollars; the other payables'
    // batch reversed by U001.
    void makeBatches()
    {
        system().execute("INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('U001', '张伟', 'N', 'Y')");
        WriteOffRun payables;
        payables.documents = {"710120240110001", "7A0112"};
        ASSERT_TRUE(runLibrary(payables).ok);

        WriteOffRun other;
        other.type = 2;
        other.batch = "B0200";
        other.documents = {"7B0120240105001"};
        TdmReportCounter client(ServerDatabase::fromConfiguration(), ServerSession{"DS", "01", false, "test"});
        queuedJob = client.jobs().Request(queueRequestOf(other));
        ASSERT_NE(queuedJob, "ERROR") << client.jobs().ErrorDescript();
        jobtest::Process server(TestBinDir() + "/qvappserver", {"--install", install.dir(), "--poll", "20"},
                                install.path("server.out"));
        ASSERT_TRUE(jobtest::waitFor([&] { return value("SELECT count(*) FROM ACPLC WHERE LC001 = 'WOFB07-B0200'") == "1"; },
                                     60))
            << server.output();
        server.signal(SIGTERM);
        EXPECT_TRUE(server.wait(30));

        WriteOffRun prepay;
        prepay.type = 3;
        prepay.batch = "B0300";
        prepay.refundType = "7D01";
        prepay.request = "20240630000003";
        prepay.documents = {"7C0120240107001", "7C0120240108001"};
        ASSERT_TRUE(runLibrary(prepay).ok);

        WriteOffRun dollars;
        dollars.batch = "B0400";
        dollars.currency = "USD";
        dollars.suppliers = Variant::list({"\x05", "S03"});
        dollars.request = "20240630000004";
        dollars.documents = {"710120240122001"};
        ASSERT_TRUE(runLibrary(dollars).ok);

        const WriteOffJobResult reversal =
            ReverseWriteOffJob(ServerDatabase::fromConfiguration(), "01", "", "B0200", "U001");
        ASSERT_EQ(reversal.error, "");
    }

    // What a batch's summary holds but for the moments, which the runs make.
    static WriteOffBatchSummary expected(const std::string& batch, int type, const std::string& transfer,
                                         const std::string& transferName, int documents,
                                         std::vector<WriteOffBatchTotal> totals)
    {
        WriteOffBatchSummary s;
        s.batchNo = batch;
        s.type = type;
        s.writeOffDate = "20240630";
        s.transferSupplier = transfer;
        s.transferSupplierName = transferName;
        s.ranBy = "DS";
        s.ranByName = "系统管理员";
        s.documents = documents;
        s.totals = std::move(totals);
        s.localCurrency = "RMB";
        s.localDecimals = 2;
        return s;
    }

    static Decimal amount(const char* text) { return Decimal::parse(text); }

    std::string queuedJob;

private:
    DbConnection system_;
};

class BatchesOnBothEngines : public Batches, public ::testing::WithParamInterface<TestDb> {
protected:
    BatchesOnBothEngines() : Batches(GetParam() == TestDb::PostgreSQL) {}
};

} // namespace

TEST_P(BatchesOnBothEngines, TheListAndABatchAreWhatTheRunsAndTheReversalRecorded)
{
    makeBatches();
    const std::vector<WriteOffBatchSummary> list = ReadWriteOffBatches(source(), 100);
    ASSERT_EQ(list.size(), 4u);

    // Newest first; each run at a moment of its own, stamped to the millisecond.
    std::vector<WriteOffBatchSummary> want = {
        expected("B0400", 1, "S09", "转销对象", 1, {{"USD", 2, 1, amount("113.12"), amount("113.12")}}),
        expected("B0300", 3, "S09", "转销对象", 2, {{"RMB", 2, 2, amount("560.5"), amount("560.5")}}),
        expected("B0200", 2, "S09", "转销对象", 1, {{"RMB", 2, 1, amount("300"), amount("301.5")}}),
        expected("B0100", 1, "S09", "转销对象", 2, {{"RMB", 2, 2, amount("113.42"), amount("113.82")}}),
    };
    want[0].requestNo = "20240630000004";
    want[1].requestNo = "20240630000003";
    want[2].requestNo = queuedJob;
    want[2].queued = true;
    want[2].reversed = true;
    want[2].reversedBy = "U001";
    want[2].reversedByName = "张伟";
    want[3].requestNo = "20240630000001";
    for (std::size_t i = 0; i < list.size(); ++i) {
        WriteOffBatchSummary got = list[i];
        EXPECT_EQ(got.ranAt.size(), 17u) << got.batchNo;
        if (i > 0) {
            EXPECT_LT(got.ranAt, list[i - 1].ranAt) << got.batchNo;
        }
        if (got.reversed) {
            EXPECT_GT(got.reversedAt, got.ranAt);
        }
        got.ranAt.clear();
        got.reversedAt.clear();
        EXPECT_EQ(got, want[i]) << "batch " << i << ": " << got.batchNo;
    }
    const std::vector<WriteOffBatchSummary> newest = ReadWriteOffBatches(source(), 2);
    ASSERT_EQ(newest.size(), 2u);
    EXPECT_EQ(newest[1], list[1]);

    // One batch: every document with its date and supplier, the document its balance went to.
    const WriteOffBatchRecord payables = ReadWriteOffBatch(source(), "b0100");
    EXPECT_EQ(payables.summary, list[3]);
    EXPECT_EQ(payables.companyName, "示范公司");
    const std::vector<WriteOffBatchDocument> documents = {
        {"S01", "甲电子", "7101", "20240110001", "20240110", "RMB", amount("113.12"), amount("113.12")},
        {"S02", "乙五金", "7A01", "12", "20240110", "RMB", amount("0.3"), amount("0.7")}};
    EXPECT_EQ(payables.documents, documents);
    const std::string transfer = value("SELECT LC019 FROM ACPLC WHERE LC001 = 'WOFB07-B0100' AND LC002 = '000001'");
    EXPECT_EQ(payables.made, (std::vector<WriteOffMadeDocument>{
                                 {false, "7B01", transfer, "RMB", amount("113.42"), amount("113.82")}}));
    const WriteOffBatchRecord prepay = ReadWriteOffBatch(source(), "B0300");
    ASSERT_EQ(prepay.made.size(), 1u);
    EXPECT_TRUE(prepay.made[0].refund);
    EXPECT_EQ(prepay.made[0].type, "7D01");
    EXPECT_EQ(prepay.made[0].number,
              value("SELECT TK002 FROM ACPTK WHERE TK001 = '7D01'"));
    EXPECT_EQ(prepay.made[0].original, amount("560.5"));

    EXPECT_THROW(ReadWriteOffBatch(source(), "B9999"), WriteOffError);
    EXPECT_THROW(ReadWriteOffBatch(source(), "B-1"), WriteOffError);
    EXPECT_THROW(ReadWriteOffBatch(source(), "B0100", 1), DbError) << "two documents, one allowed";
}

INSTANTIATE_TEST_SUITE_P(BothEngines, BatchesOnBothEngines, ::testing::Values(TestDb::SQLite, TestDb::PostgreSQL),
                         TestDbName);

TEST_F(Batches, TheServerAnswersTheSessionsCompanyToUsersWithARightOfTheJob)
{
    makeBatches();
    system().executeScript(R"(
        INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('U002', '李娜', 'N', 'Y');
        INSERT INTO ADMMR (MR001, MR002, MR007) VALUES ('U002', 'WOFB07', 'Y');
        INSERT INTO ADMMR (MR001, MR002, MR003, MR004, MR005, MR006) VALUES ('U001', 'WOFB08', 'Y', 'Y', 'Y', 'Y');
        INSERT INTO ADMMC VALUES ('02', '第二公司', 'CORP2', 'Y');
    )");
    auto call = [](TdmReportCounter& server, const char* member, std::vector<Variant> args) {
        return server.invoke(member, args);
    };

    // A right to print the job's output is enough to read what it did.
    TdmReportCounter u002(ServerDatabase::fromConfiguration(), ServerSession{"U002", "01", true, "test"});
    const Variant list = call(u002, "WriteOffBatches", {"", "", 3});
    ASSERT_TRUE(list.isArray()) << u002.ErrorDescript();
    // Across the wire and back, through its bounds, and read with every count checked.
    EXPECT_EQ(BatchListOf(DecodeWireValue(EncodeWireValue(list))), ReadWriteOffBatches(source(), 3));
    const Variant record = call(u002, "WriteOffBatch", {"01", "DEMO", "B0300"});
    ASSERT_TRUE(record.isArray()) << u002.ErrorDescript();
    EXPECT_EQ(BatchRecordOf(DecodeWireValue(EncodeWireValue(record))), ReadWriteOffBatch(source(), "B0300"));
    EXPECT_TRUE(call(u002, "WriteOffBatch", {"", "", "B9999"}).isEmpty());
    EXPECT_NE(u002.ErrorDescript().find("There is no write-off batch WOFB07-B9999"), std::string::npos);

    // Another company, or another company's database, is refused; so is a user whose
    // rights are in other programs only.
    EXPECT_TRUE(call(u002, "WriteOffBatches", {"02", "", 0}).isEmpty());
    EXPECT_NE(u002.ErrorDescript().find("signed on for company 01, not 02"), std::string::npos) << u002.ErrorDescript();
    EXPECT_TRUE(call(u002, "WriteOffBatch", {"", "QVSYS", "B0100"}).isEmpty());
    EXPECT_NE(u002.ErrorDescript().find("is not company 01's"), std::string::npos) << u002.ErrorDescript();
    TdmReportCounter u001(ServerDatabase::fromConfiguration(), ServerSession{"U001", "01", true, "test"});
    EXPECT_TRUE(call(u001, "WriteOffBatches", {"", "", 0}).isEmpty());
    EXPECT_NE(u001.ErrorDescript().find("has no right in WOFB07"), std::string::npos) << u001.ErrorDescript();
    EXPECT_TRUE(call(u001, "WriteOffBatch", {"", "", "B0100"}).isEmpty());
    TdmReportCounter nobody(ServerDatabase::fromConfiguration(), ServerSession{});
    EXPECT_TRUE(call(nobody, "WriteOffBatches", {"01", "DEMO", 0}).isEmpty());

    // A batch of more documents than an answer may have rows is refused, naming the bound.
    ServerDbSettings bounded = ServerDatabase::fromConfiguration();
    bounded.limits.rows = 1;
    TdmReportCounter small(bounded, ServerSession{"DS", "01", true, "test"});
    EXPECT_TRUE(call(small, "WriteOffBatch", {"", "", "B0100"}).isEmpty());
    EXPECT_NE(small.ErrorDescript().find("QueryMaxRows"), std::string::npos) << small.ErrorDescript();
    EXPECT_EQ(BatchListOf(call(small, "WriteOffBatches", {"", "", 0})).size(), 1u);
}

TEST_F(Batches, ABatchOfAnOlderProgramReadsAsDirectAndStandingWithoutItsMadeDocuments)
{
    WriteOffRun r;
    r.documents = {"710120240110001"};
    ASSERT_TRUE(runLibrary(r).ok);
    // A database of a version before LC015-LC021, with a batch of a program older still.
    company().execute("INSERT INTO ACPLC (LC001, LC002, LC003, LC004, LC005, LC006, LC009, LC010, LC011) VALUES "
                      "('WOFB07-B0001', '0001', '1', '20231231', '7101', '20240117001', 'RMB', '113.12', '113.12')");
    for (const char* column : {"LC015", "LC016", "LC017", "LC018", "LC019", "LC020", "LC021"})
        company().execute(std::string("ALTER TABLE ACPLC DROP COLUMN ") + column);

    const std::vector<WriteOffBatchSummary> list = ReadWriteOffBatches(source(), 10);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].batchNo, "B0100");
    EXPECT_FALSE(list[0].queued);
    EXPECT_EQ(list[1].batchNo, "B0001") << "without the moment of its run, last";
    EXPECT_EQ(list[1].ranAt, "");
    EXPECT_FALSE(list[1].reversed);
    const WriteOffBatchRecord old = ReadWriteOffBatch(source(), "B0001");
    ASSERT_EQ(old.documents.size(), 1u);
    EXPECT_EQ(old.documents[0].date, "20240110");
    EXPECT_TRUE(old.made.empty());
    EXPECT_TRUE(ReadWriteOffBatch(source(), "B0100").made.empty()) << "the transfer document's columns are gone";
}

TEST_F(Batches, TheCodecRefusesDataWhoseCountsOrAmountsDoNotHold)
{
    makeBatches();
    const Variant good = BatchRecordValue(ReadWriteOffBatch(source(), "B0100"));
    ASSERT_NO_THROW(BatchRecordOf(good));
    std::vector<std::pair<const char*, std::function<void(Variant&)>>> faults = {
        {"a summary of more documents than sent", [](Variant& r) { r[0][10] = 3; }},
        {"a document missing", [](Variant& r) { r[3] = Variant::list({r[3][0]}); }},
        {"a total that does not add up", [](Variant& r) { r[0][11][0][3] = "113.41"; }},
        {"totals of fewer documents", [](Variant& r) { r[0][11][0][2] = 1; }},
        {"an amount as a double", [](Variant& r) { r[3][1][6] = 0.3; }},
        {"an amount that is no number", [](Variant& r) { r[3][1][7] = "0.7x"; }},
        {"a document of one value too many", [](Variant& r) { r[3][0].redim(8); }},
        {"a type out of range", [](Variant& r) { r[0][1] = 4; }},
        {"a made document in a currency without total", [](Variant& r) { r[4][0][3] = "USD"; }},
        {"a two-dimensional list", [](Variant& r) { r[3] = Variant::array2(0, 1, 0, 7); }},
        {"a text where a flag goes", [](Variant& r) { r[0][8] = "N"; }},
        {"amounts too large to add up", [](Variant& r) { r[3][0][6] = r[3][1][6] = "9223372036854775807"; }},
    };
    for (auto& [what, fault] : faults) {
        Variant bad = DecodeWireValue(EncodeWireValue(good)); // a copy of its own
        fault(bad);
        EXPECT_THROW(BatchRecordOf(bad), BatchDataError) << what;
    }
    EXPECT_THROW(BatchListOf(Variant("not a list")), BatchDataError);
}
