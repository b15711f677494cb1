// The write-off job's server library, loaded as a client or the server loads it: what a
// run changes and what it leaves alone, the exact amounts it writes, the runs it refuses
// without changing anything, batch numbers under concurrency, and the run log.

#include "WriteOffFixture.h"
#include "platform/CodePage.h"

#include <atomic>
#include <thread>

using namespace wotest;

namespace {

// Every run on SQLite and on a PostgreSQL server.
class WriteOff : public WriteOffFixture, public ::testing::WithParamInterface<TestDb> {
protected:
    WriteOff() : WriteOffFixture(GetParam() == TestDb::PostgreSQL) {}
};

std::string typeOf(DbConnection& db, const std::string& sql)
{
    return VarToStr(db.scalar(sql));
}

} // namespace

TEST_P(WriteOff, PayablesRunSettlesExactlyTheChosenDocumentsAndNothingElse)
{
    const auto before = snapshot();
    WriteOffRun r;
    r.documents = {"7101" "20240110001", "7A0112"};
    const ServerLibraryOutcome out = runLibrary(r);
    ASSERT_TRUE(out.ok) << out.result;
    EXPECT_EQ(out.result, "");
    EXPECT_NE(English(out.summary).find("2 documents written off"), std::string::npos) << out.summary;
    EXPECT_NE(English(out.summary).find("RMB 113.42 (local 113.82)"), std::string::npos) << out.summary;

    // The two chosen documents are settled with their full amounts; their lines and
    // every other document are as they were.
    EXPECT_EQ(value("SELECT TA087 || '/' || TA030 || '/' || TA085 || '/' || FLAG || '/' || MODIFIER FROM ACPTA "
                    "WHERE TA001 = '7101' AND TA002 = '20240110001'"),
              "3/113.12/113.12/5/DS");
    EXPECT_EQ(value("SELECT TA087 || '/' || TA030 || '/' || TA085 FROM ACPTA WHERE TA001 = '7A01' AND TA002 = '12'"),
              "3/0.3/0.73");
    const auto after = snapshot();
    for (const char* table : {"ACPTB", "ACPTK", "CMSMF", "CMSMQ", "PURMA"})
        EXPECT_EQ(after.at(table), before.at(table)) << table;
    int changed = 0;
    for (std::size_t i = 0; i < before.at("ACPTA").size(); ++i)
        changed += before.at("ACPTA")[i] != after.at("ACPTA")[i];
    EXPECT_EQ(changed, 2) << "only the two chosen payables change";
    EXPECT_EQ(value("SELECT count(*) FROM ACPTA WHERE TA087 = '3'"), "3");

    // The batch: one row per document, under WOFB07- and the number.
    const DbRowSet lc = company().query("SELECT LC002, LC003, LC004, LC005, LC006, LC007, LC008, LC009, LC010, LC011, "
                                        "LC014, LC018, LC019, LC015 FROM ACPLC WHERE LC001 = 'WOFB07-B0100' "
                                        "ORDER BY LC002");
    ASSERT_EQ(lc.rows.size(), 2u);
    EXPECT_EQ(VarToStr(lc.rows[0][0]), "000001");
    EXPECT_EQ(VarToStr(lc.rows[0][1]), "1");
    EXPECT_EQ(VarToStr(lc.rows[0][2]), "20240630");
    EXPECT_EQ(VarToStr(lc.rows[0][4]), "20240110001");
    EXPECT_EQ(VarToStr(lc.rows[0][6]), "S09");
    EXPECT_EQ(VarToStr(lc.rows[0][7]), "RMB");
    EXPECT_EQ(VarToStr(lc.rows[0][8]), "113.12");
    EXPECT_EQ(VarToStr(lc.rows[1][8]), "0.3");
    EXPECT_EQ(VarToStr(lc.rows[1][9]), "0.7") << "the local amount still open: 0.73 less 0.03 paid";
    EXPECT_EQ(VarToStr(lc.rows[1][10]), r.request);
    EXPECT_EQ(VarToStr(lc.rows[0][13]), "N");

    // The balance went to the transfer supplier as one other-payable document with a line.
    const std::string transfer = VarToStr(lc.rows[0][12]);
    EXPECT_EQ(VarToStr(lc.rows[0][11]), "7B01");
    EXPECT_EQ(transfer, "20240630001");
    EXPECT_EQ(value("SELECT TI004 || '/' || TI007 || '/' || TI015 || '/' || TI016 || '/' || TI029 || '/' || TI013 "
                    "FROM ACPTI WHERE TI001 = '7B01' AND TI002 = :N",
                    {{"N", transfer}}),
              "S09/RMB/113.42/113.82/1/Y");
    EXPECT_EQ(value("SELECT TJ005 FROM ACPTJ WHERE TJ001 = '7B01' AND TJ002 = :N", {{"N", transfer}}), "113.42");
}

TEST_P(WriteOff, AmountsAreStoredAndSummedAsExactDecimalText)
{
    // A hundred documents of 0.1 each: a binary sum would not come to 10.
    {
        DbTransaction tx(company());
        for (int i = 0; i < 100; ++i) {
            char no[16];
            std::snprintf(no, sizeof no, "20240301%03d", i);
            insertRow(company(), "ACPTA",
                      {{"TA003", "20240301"}, {"TA004", "S02"}, {"TA008", "RMB"}, {"TA024", "Y"}, {"TA028", "0.1"},
                       {"TA029", "0"}, {"TA030", "0"}, {"TA034", "20240301"}, {"TA037", "0.1"}, {"TA038", "0"},
                       {"TA051", "0"}, {"TA085", "0"}},
                      {{"TA001", "7101"}, {"TA002", std::string(no)}});
            insertRow(company(), "ACPTB", {{"TB001", "7101"}, {"TB002", std::string(no)}, {"TB003", "0001"}}, {});
        }
        tx.commit();
    }
    WriteOffRun r;
    for (int i = 0; i < 100; ++i) {
        char no[16];
        std::snprintf(no, sizeof no, "20240301%03d", i);
        r.documents.push_back(std::string("7101") + no);
    }
    const ServerLibraryOutcome out = runLibrary(r);
    ASSERT_TRUE(out.ok) << out.result;
    EXPECT_NE(English(out.summary).find("RMB 10.00 (local 10.00)"), std::string::npos) << out.summary;
    const std::string transfer = value("SELECT LC019 FROM ACPLC WHERE LC001 = 'WOFB07-B0100' AND LC002 = '000001'");
    EXPECT_EQ(value("SELECT TI015 FROM ACPTI WHERE TI002 = :N", {{"N", transfer}}), "10");
    EXPECT_EQ(value("SELECT TI016 FROM ACPTI WHERE TI002 = :N", {{"N", transfer}}), "10");
    // Money columns keep text; reading them gives the exact text, sums still add.
    if (GetParam() == TestDb::PostgreSQL) {
        EXPECT_EQ(typeOf(company(), "SELECT pg_typeof(TA028)::text FROM ACPTA WHERE TA002 = '20240301000'"), "numeric");
        EXPECT_EQ(typeOf(company(), "SELECT pg_typeof(LC010)::text FROM ACPLC LIMIT 1"), "numeric");
    } else {
        EXPECT_EQ(typeOf(company(), "SELECT typeof(TA028) FROM ACPTA WHERE TA002 = '20240301000'"), "text");
        EXPECT_EQ(typeOf(company(), "SELECT typeof(LC010) FROM ACPLC LIMIT 1"), "text");
    }
    EXPECT_EQ(company().scalar("SELECT TA028 FROM ACPTA WHERE TA002 = '20240301000'").type(), VarType::String);
    EXPECT_DOUBLE_EQ(company().scalar("SELECT TA028 + TA029 FROM ACPTA WHERE TA001 = '7101' AND TA002 = "
                                      "'20240110001'")
                         .toDouble(),
                     113.12);
}

TEST_P(WriteOff, OtherPayablesAndPrepaymentsMakeTheirTransferAndRefundDocuments)
{
    WriteOffRun other;
    other.type = 2;
    other.batch = "B0200";
    other.documents = {"7B0120240105001", "7B0120240106001"};
    ServerLibraryOutcome out = runLibrary(other);
    ASSERT_TRUE(out.ok) << out.result;
    EXPECT_EQ(value("SELECT TI029 || '/' || TI017 || '/' || TI018 FROM ACPTI WHERE TI002 = '20240105001'"),
              "3/300/301.5");
    EXPECT_NE(English(out.summary).find("RMB 380.25 (local 383.25) to 7B01-20240630001"), std::string::npos) << out.summary;

    WriteOffRun prepay;
    prepay.type = 3;
    prepay.batch = "B0300";
    prepay.refundType = "7D01";
    prepay.request = "20240630000002";
    prepay.documents = {"7C0120240107001", "7C0120240108001"};
    out = runLibrary(prepay);
    ASSERT_TRUE(out.ok) << out.result;
    EXPECT_EQ(value("SELECT TK028 || '/' || TK035 || '/' || TK036 FROM ACPTK WHERE TK002 = '20240107001'"),
              "3/500/500");
    // One refund document of the chosen type for the transfer supplier, no other payable.
    EXPECT_EQ(value("SELECT TK004 || '/' || TK030 || '/' || TK031 || '/' || TK028 FROM ACPTK WHERE TK001 = '7D01'"),
              "S09/560.5/560.5/1");
    EXPECT_EQ(value("SELECT LC012 || '-' || LC013 || '|' || LC019 FROM ACPLC WHERE LC001 = 'WOFB07-B0300' AND "
                    "LC002 = '000002'"),
              "7D01-20240630001|");
    EXPECT_EQ(value("SELECT count(*) FROM ACPTI WHERE TI004 = 'S09'"), "1") << "only the other payables' transfer";
}

TEST_P(WriteOff, ADocumentThatCannotBeWrittenOffFailsTheWholeRunAndChangesNothing)
{
    struct Case {
        const char* what;
        std::vector<std::string> documents;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"settled meanwhile", {"710120240110001", "710120240117001"}, "7101-20240117001 is settled already"},
        {"unconfirmed", {"710120240116001"}, "7101-20240116001 is no longer open"},
        {"without lines", {"710120240124001"}, "7101-20240124001 is no longer open"},
        {"other currency", {"710120240122001"}, "7101-20240122001 lies outside the run's conditions"},
        {"after the write-off date", {"710120240701001"}, "7101-20240701001 lies outside"},
        {"unknown", {"710199999999999"}, "710199999999999 does not exist"},
        {"of the transfer supplier", {"710120240125001"}, "belongs to the transfer supplier S09"},
    };
    for (const Case& c : cases) {
        const auto before = snapshot();
        WriteOffRun r;
        r.documents = c.documents;
        if (std::string(c.what) == "of the transfer supplier")
            r.suppliers = Variant::list({"\x04", "S01", "S09"});
        const ServerLibraryOutcome out = runLibrary(r);
        EXPECT_FALSE(out.ok) << c.what;
        EXPECT_NE(English(out.result).find(c.reason), std::string::npos) << c.what << ": " << out.result;
        EXPECT_NE(English(out.result).find("Nothing was written off"), std::string::npos) << out.result;
        EXPECT_EQ(snapshot(), before) << c.what;
    }

    // A document settled by someone else between the listing and the run.
    company().execute("UPDATE ACPTA SET TA087 = '3' WHERE TA001 = '7A01' AND TA002 = '12'");
    const auto before = snapshot();
    WriteOffRun r;
    r.documents = {"710120240110001", "7A0112", "7F0120240201001"};
    const ServerLibraryOutcome out = runLibrary(r);
    EXPECT_FALSE(out.ok);
    EXPECT_NE(English(out.result).find("1 of the 3 chosen documents"), std::string::npos) << out.result;
    EXPECT_NE(English(out.result).find("7A01-12 is settled already"), std::string::npos) << out.result;
    EXPECT_EQ(snapshot(), before);
}

TEST_P(WriteOff, BadPacketsFailWithTheirReasonAndChangeNothing)
{
    const auto before = snapshot();
    auto fails = [&](const Variant& packet, const std::string& reason) {
        const ServerLibraryOutcome out = RunServerLibraryFile(library(), packet);
        EXPECT_FALSE(out.ok) << reason;
        EXPECT_NE(English(out.result).find(reason), std::string::npos) << out.result;
    };
    WriteOffRun r;
    r.documents = {"710120240110001"};

    Variant shortValues = Variant::array(1, 16);
    fails(Variant::list({r.request, "01", "DS", shortValues, "DEMO", "", 3}), "bounds 1..17, not 1..16");
    fails(Variant::list({r.request, "01", "DS", optionValues(r), "DEMO"}), "expected 7 elements");
    fails(Variant("text"), "malformed");

    WriteOffRun none = r;
    none.documents.clear();
    fails(packetOf(none), "No document was chosen");
    WriteOffRun twice = r;
    twice.documents = {"710120240110001", "710120240110001"};
    fails(packetOf(twice), "chosen twice");

    Variant values = optionValues(r);
    values[13] = "710120240110001";
    fails(Variant::list({r.request, "01", "DS", values, "DEMO", "", 3}), "option 13 (chosen documents) is no list");
    values = optionValues(r);
    values[1] = 4;
    fails(Variant::list({r.request, "01", "DS", values, "DEMO", "", 3}), "must be 1, 2 or 3");
    values = optionValues(r);
    values[2] = Variant::list({"\x04", "2024-06-30", "2024-06-30"});
    fails(Variant::list({r.request, "01", "DS", values, "DEMO", "", 3}), "must be a date");

    WriteOffRun badBatch = r;
    badBatch.batch = "B-1'; --";
    fails(packetOf(badBatch), "only letters and digits");
    badBatch.batch = "B12345678901234";
    fails(packetOf(badBatch), "longer than 13");
    WriteOffRun prepay = r;
    prepay.type = 3;
    prepay.documents = {"7C0120240107001"};
    fails(packetOf(prepay), "refund document");
    prepay.refundType = "7C01";
    fails(packetOf(prepay), "no refund type in use");
    WriteOffRun stranger = r;
    stranger.transfer = "NOBODY";
    fails(packetOf(stranger), "transfer supplier NOBODY does not exist");
    WriteOffRun closed = r;
    closed.date = "20231231";
    fails(packetOf(closed), "closed period");
    WriteOffRun elsewhere = r;
    fails(Variant::list({r.request, "01", "DS", optionValues(r), "../QVSYS", "", 3}), "Invalid database name");
    fails(Variant::list({r.request, "01", "DS", optionValues(r), "NODB", "", 3}), "NODB does not exist");
    EXPECT_EQ(snapshot(), before);
}

TEST_P(WriteOff, CodePageTextsAreReadAsTheyWereMeant)
{
    WriteOffRun r;
    r.documents = {"710120240110001"};
    Variant values = optionValues(r);
    values[4] = Variant::ansi("RMB", 936);
    values[13] = Variant::list({Variant::ansi("710120240110001", 936)});
    values[15] = Variant::ansi(Utf8ToCodePage("转销对象", 936), 936);
    const ServerLibraryOutcome out =
        RunServerLibraryFile(library(), Variant::list({r.request, "01", "DS", values, "DEMO", "", 3}));
    EXPECT_TRUE(out.ok) << out.result;
}

TEST_P(WriteOff, ABatchNumberIsUsedOnceAlsoBySimultaneousClients)
{
    WriteOffRun first;
    first.documents = {"710120240110001"};
    ASSERT_TRUE(runLibrary(first).ok);
    const auto before = snapshot();
    WriteOffRun second;
    second.request = "20240630000002";
    second.documents = {"7A0112"};
    const ServerLibraryOutcome again = runLibrary(second);
    EXPECT_FALSE(again.ok);
    EXPECT_NE(English(again.result).find("batch number B0100 is used already"), std::string::npos) << again.result;
    EXPECT_EQ(snapshot(), before);
    // Lower case is the same number.
    second.batch = "b0100";
    EXPECT_FALSE(runLibrary(second).ok);

    // Six clients at once with one new number, each with documents of its own: one wins.
    // Two of them run in a process of their own (qvjobrun, as a server with a time limit
    // runs a library), so the database alone decides between processes too.
    std::vector<std::string> docs = {"7A0112", "7F0120240201001", "7B0120240105001"};
    std::vector<ServerLibraryOutcome> outcomes(6);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 6; ++i)
        threads.emplace_back([&, i] {
            WriteOffRun r;
            r.batch = "B0777";
            r.request = "2024063000001" + std::to_string(i);
            if (i % 2 == 0) {
                r.documents = {docs[std::size_t(i / 2) % 2]};
            } else {
                r.type = 2;
                r.documents = {docs[2]};
            }
            ++ready;
            while (ready < 6)
                std::this_thread::yield();
            outcomes[std::size_t(i)] = i % 3 == 0 ? RunServerLibrary(library(), packetOf(r), 60) : runLibrary(r);
        });
    for (std::thread& t : threads)
        t.join();
    int won = 0;
    for (const ServerLibraryOutcome& o : outcomes) {
        if (o.ok)
            ++won;
        else
            EXPECT_NE(English(o.result).find("B0777 is used already"), std::string::npos) << o.result;
    }
    EXPECT_EQ(won, 1);
    EXPECT_EQ(value("SELECT count(DISTINCT LC014) FROM ACPLC WHERE LC001 = 'WOFB07-B0777'"), "1");
    EXPECT_EQ(value("SELECT count(*) FROM ACPLC WHERE LC001 = 'WOFB07-B0777'"), "1");
    const std::string doc = value("SELECT LC005 || LC006 FROM ACPLC WHERE LC001 = 'WOFB07-B0777'");
    int settled = 0;
    for (const std::string& d : docs)
        settled += (d.rfind("7B", 0) == 0 ? value("SELECT TI029 FROM ACPTI WHERE TI001 || TI002 = :K", {{"K", d}})
                                          : value("SELECT TA087 FROM ACPTA WHERE TA001 || TA002 = :K", {{"K", d}}))
                   == "3";
    EXPECT_EQ(settled, 1) << "only the winner's document " << doc << " is settled";
}

TEST_P(WriteOff, ARunAgainAfterAnInterruptionFindsItsBatchAndDoesNothingTwice)
{
    WriteOffRun r;
    r.extra = "202406300000010001";
    r.documents = {"710120240110001"};
    const ServerLibraryOutcome first = runLibrary(r);
    ASSERT_TRUE(first.ok) << first.result;
    const auto after = snapshot();
    const ServerLibraryOutcome again = runLibrary(r);
    EXPECT_TRUE(again.ok) << again.result;
    EXPECT_EQ(again.summary, first.summary);
    EXPECT_EQ(snapshot(), after);
    // The next run of the same job (another run number) finds the number used.
    r.extra = "202406300000010002";
    EXPECT_FALSE(runLibrary(r).ok);
}

TEST_P(WriteOff, WithTheLogFlagTheRunLogNamesEveryDocument)
{
    WriteOffRun r;
    r.log = true;
    r.documents = {"710120240110001", "7A0112"};
    ASSERT_TRUE(runLibrary(r).ok);
    const std::string log = install.read("server/Log/WOFB07_B0100_" + r.request + ".log");
    EXPECT_NE(log.find("7101-20240110001  supplier S01  RMB 113.12"), std::string::npos) << log;
    EXPECT_NE(log.find("7A01-12  supplier S02  RMB 0.3  local 0.7"), std::string::npos) << log;
    EXPECT_NE(log.find("2 documents written off"), std::string::npos) << log;

    WriteOffRun failed = r;
    failed.request = "20240630000009";
    failed.batch = "B0101";
    ASSERT_FALSE(runLibrary(failed).ok);
    const std::string failLog = install.read("server/Log/WOFB07_B0101_20240630000009.log");
    EXPECT_NE(failLog.find("nothing was written off"), std::string::npos) << failLog;
    EXPECT_NE(failLog.find("chosen 7A0112"), std::string::npos) << failLog;

    WriteOffRun quiet = r;
    quiet.log = false;
    quiet.batch = "B0102";
    quiet.documents = {"7F0120240201001"};
    ASSERT_TRUE(runLibrary(quiet).ok);
    EXPECT_FALSE(install.exists("server/Log/WOFB07_B0102_" + r.request + ".log"));
}

TEST_P(WriteOff, WhereTheRegistryNamesALogPathTheRunLogGoesThere)
{
    install.append("registry.ini", "LogPath=logs/site/\n");
    WriteOffRun r;
    r.log = true;
    r.documents = {"710120240110001"};
    ASSERT_TRUE(runLibrary(r).ok);
    EXPECT_NE(install.read("logs/site/WOFB07_B0100_" + r.request + ".log").find("1 document"), std::string::npos);
    EXPECT_FALSE(install.exists("server/Log/WOFB07_B0100_" + r.request + ".log"));
}

// A run of more documents than one statement looks up or records: every document is
// found under its own key, the lines follow the chosen order, and one unknown key among
// them still stops the whole run.
TEST_P(WriteOff, ARunOfManyDocumentsSettlesEachOnceInTheChosenOrder)
{
    DbConnection& co = company();
    std::vector<std::string> keys;
    DbTransaction made(co, DbTransaction::Write);
    for (int i = 1; i <= 230; ++i) {
        char no[16];
        std::snprintf(no, sizeof no, "2024020%04d", 231 - i); // chosen against the key order
        co.execute("INSERT INTO ACPTA (TA001, TA002, TA003, TA004, TA008, TA009, TA024, TA028, TA029, TA030, TA033, "
                   "TA034, TA037, TA038, TA050, TA051, TA079, TA080, TA085, TA087, FLAG) VALUES ('7101', :N, "
                   "'20240201', 'S01', 'RMB', '1', 'Y', :A, '0', '0', 'N', '20240201', :A, '0', '0', '0', '1', 'N', "
                   "'0', '1', 0)",
                   {{"N", std::string(no)}, {"A", std::to_string(i) + ".01"}});
        co.execute("INSERT INTO ACPTB (TB001, TB002, TB003) VALUES ('7101', :N, '0001')", {{"N", std::string(no)}});
        keys.push_back(std::string("7101") + no);
    }
    made.commit();
    const auto before = snapshot();
    WriteOffRun r;
    r.documents = keys;
    r.documents.insert(r.documents.begin() + 150, "710120249999999");
    const ServerLibraryOutcome refused = runLibrary(r);
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(English(refused.result).find("Nothing was written off: 1 of the 231 chosen documents cannot be written off: "
                                  "710120249999999 does not exist"),
              std::string::npos)
        << refused.result;
    EXPECT_EQ(snapshot(), before);

    r.documents = keys;
    const ServerLibraryOutcome out = runLibrary(r);
    ASSERT_TRUE(out.ok) << out.result;
    EXPECT_NE(English(out.summary).find("230 documents written off; RMB 26,567.30"), std::string::npos) << out.summary;
    int line = 0;
    co.forEachRow("SELECT LC002, LC001, LC005 || LC006, LC010, TA087, TA030 FROM ACPLC JOIN ACPTA ON TA001 = LC005 "
                  "AND TA002 = LC006 WHERE LC001 = 'WOFB07-B0100' ORDER BY LC002",
                  {}, [&](std::vector<Variant>& row) {
                      char expected[16];
                      std::snprintf(expected, sizeof expected, "%06d", line + 1);
                      EXPECT_EQ(VarToStr(row[0]), expected);
                      EXPECT_EQ(VarToStr(row[2]), keys[std::size_t(line)]) << "line " << expected;
                      EXPECT_EQ(VarToStr(row[3]), std::to_string(line + 1) + ".01");
                      EXPECT_EQ(VarToStr(row[4]), "3");
                      EXPECT_EQ(VarToStr(row[5]), std::to_string(line + 1) + ".01");
                      ++line;
                      return true;
                  });
    EXPECT_EQ(line, 230);
}

INSTANTIATE_TEST_SUITE_P(BothEngines, WriteOff, ::testing::Values(TestDb::SQLite, TestDb::PostgreSQL), TestDbName);
