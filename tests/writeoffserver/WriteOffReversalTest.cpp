// Reversal of a write-off batch: every touched row back byte for byte, the documents the
// run made gone, the batch kept and marked; refused when anything changed since. Through
// the function, the application server's member and the qvjobs command.

#include "support/MessageText.h"
#include "WriteOffFixture.h"
#include "platform/SystemInfo.h"
#include "writeoffserver/WriteOffJob.h"

using namespace wotest;

namespace {

class Reversal : public WriteOffFixture {
protected:
    // Everything but the batch table, which the reversal marks.
    std::map<std::string, std::vector<std::string>> books()
    {
        auto s = snapshot();
        s.erase("ACPLC");
        return s;
    }
    WriteOffJobResult reverse(const std::string& batch, const std::string& user = "DS")
    {
        WriteOffJobResult r = ReverseWriteOffJob(ServerDatabase::fromConfiguration(), "01", "", batch, user);
        // Read as an English clerk has it worded.
        r.error = WordMessages(r.error, HostLanguage::English);
        return r;
    }
    int qvjobs(const std::vector<std::string>& args, std::string& output)
    {
        std::vector<std::string> all{"--install", install.dir()};
        all.insert(all.end(), args.begin(), args.end());
        jobtest::Process p(TestBinDir() + "/qvjobs", all, install.path("qvjobs-" + std::to_string(runs_++) + ".out"));
        EXPECT_TRUE(p.wait(60));
        output = p.output();
        return p.exitCode();
    }

    // What the server's alert logs hold (one file a day).
    std::string alertLog() const
    {
        std::string all;
        if (std::filesystem::exists(install.path("server/Log")))
            for (const auto& e : std::filesystem::directory_iterator(install.path("server/Log")))
                if (e.path().filename().string().rfind("Alert_ReportCounterS_", 0) == 0)
                    all += install.read("server/Log/" + e.path().filename().string());
        return all;
    }

private:
    int runs_ = 0;
};

} // namespace

TEST_F(Reversal, RestoresEveryTouchedRowExactlyAndKeepsTheBatchMarked)
{
    const auto before = books();
    WriteOffRun payables;
    payables.documents = {"710120240110001", "7A0112", "7F0120240201001"};
    ASSERT_TRUE(runLibrary(payables).ok);
    WriteOffRun other;
    other.type = 2;
    other.batch = "B0200";
    other.request = "20240630000002";
    other.documents = {"7B0120240105001"};
    ASSERT_TRUE(runLibrary(other).ok);
    WriteOffRun prepay;
    prepay.type = 3;
    prepay.batch = "B0300";
    prepay.refundType = "7D01";
    prepay.request = "20240630000003";
    prepay.documents = {"7C0120240107001", "7C0120240108001"};
    ASSERT_TRUE(runLibrary(prepay).ok);
    ASSERT_NE(books(), before);

    // Newest first, as the later batch's transfer document is not touched by the others.
    for (const char* batch : {"B0300", "b0200", "B0100"}) {
        const WriteOffJobResult r = reverse(batch, "U009");
        EXPECT_EQ(r.error, "") << batch;
        EXPECT_NE(r.summary.find("reversed"), std::string::npos) << r.summary;
    }
    EXPECT_EQ(books(), before) << "documents, lines, transfer and refund documents as before the runs";
    EXPECT_EQ(value("SELECT count(*) FROM ACPLC WHERE LC001 = 'WOFB07-B0100'"), "3") << "the batch is kept";
    EXPECT_EQ(value("SELECT count(*) FROM ACPLC WHERE LC015 = 'Y' AND LC016 = 'U009' AND length(LC017) = 17"), "6");

    const WriteOffJobResult again = reverse("B0100");
    EXPECT_NE(again.error.find("was reversed already by U009"), std::string::npos) << again.error;
    // The number stays used.
    payables.request = "20240630000009";
    const ServerLibraryOutcome reuse = runLibrary(payables);
    EXPECT_FALSE(reuse.ok);
    EXPECT_NE(English(reuse.result).find("used already"), std::string::npos) << reuse.result;
}

TEST_F(Reversal, ABatchWhoseDocumentsChangedSinceIsRefusedAndNothingChanges)
{
    WriteOffRun r;
    r.documents = {"710120240110001", "7A0112"};
    ASSERT_TRUE(runLibrary(r).ok);

    // Someone edited a settled document afterwards.
    company().execute("UPDATE ACPTA SET FLAG = FLAG + 1 WHERE TA001 = '7A01' AND TA002 = '12'");
    auto before = snapshot();
    WriteOffJobResult out = reverse("B0100");
    EXPECT_NE(out.error.find("7A01-12 was changed"), std::string::npos) << out.error;
    EXPECT_EQ(snapshot(), before);
    company().execute("UPDATE ACPTA SET FLAG = FLAG - 1 WHERE TA001 = '7A01' AND TA002 = '12'");

    // The transfer document has itself been written off by a later batch.
    const std::string transfer = value("SELECT LC019 FROM ACPLC WHERE LC001 = 'WOFB07-B0100' AND LC002 = '000001'");
    WriteOffRun later;
    later.type = 2;
    later.batch = "B0400";
    later.request = "20240630000004";
    later.suppliers = Variant::list({"\x05", "S09"});
    later.transfer = "S01";
    later.documents = {"7B01" + transfer};
    const ServerLibraryOutcome laterOut = runLibrary(later);
    ASSERT_TRUE(laterOut.ok) << laterOut.result;
    before = snapshot();
    out = reverse("B0100");
    EXPECT_NE(out.error.find("the transfer document 7B01-" + transfer + " was settled, paid or edited"),
              std::string::npos)
        << out.error;
    EXPECT_EQ(snapshot(), before);

    // Undoing the later batch first makes the first one reversible again.
    EXPECT_EQ(reverse("B0400").error, "");
    EXPECT_EQ(reverse("B0100").error, "");
}

TEST_F(Reversal, UnknownAndUnreversibleBatchesAndBadNumbersAreRefused)
{
    EXPECT_NE(reverse("B9999").error.find("There is no write-off batch WOFB07-B9999"), std::string::npos);
    EXPECT_NE(reverse("B-1").error.find("only letters and digits"), std::string::npos);
    // A batch recorded by an older program has no earlier state to go back to.
    company().execute("INSERT INTO ACPLC (LC001, LC002, LC003, LC005, LC006) VALUES ('WOFB07-B0001', '0001', '1', "
                      "'7101', '20240117001')");
    const auto before = snapshot();
    EXPECT_NE(reverse("B0001").error.find("cannot be reversed"), std::string::npos);
    EXPECT_EQ(snapshot(), before);
    EXPECT_NE(ReverseWriteOffJob(ServerDatabase::fromConfiguration(), "99", "", "B0001", "DS").error.find("unknown"),
              std::string::npos);
    EXPECT_NE(reverse("B0001", " ").error.find("needs the user"), std::string::npos);
}

TEST_F(Reversal, TheServerMemberAndTheQueueCommandReverseForPeopleWithTheRight)
{
    {
        DbConnection sys;
        sys.openSqlite(install.path("server/data/QVSYS.db"));
        sys.execute("INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('U001', '张伟', 'N', 'Y')");
    }
    WriteOffRun r;
    r.documents = {"710120240110001"};
    ASSERT_TRUE(runLibrary(r).ok);
    WriteOffRun second = r;
    second.batch = "B0101";
    second.request = "20240630000002";
    second.documents = {"7A0112"};
    ASSERT_TRUE(runLibrary(second).ok);

    // Each signed on for himself.
    TdmReportCounter u001(ServerDatabase::fromConfiguration(), ServerSession{"U001", "01", false, "test"});
    Variant args[] = {"01", "DEMO", "B0100", "U001"};
    EXPECT_NE(u001.invoke("ReverseWriteOff", args).toString().find("may not run WOFB07"), std::string::npos);
    EXPECT_EQ(value("SELECT TA087 FROM ACPTA WHERE TA001 = '7101' AND TA002 = '20240110001'"), "3");
    TdmReportCounter ds(ServerDatabase::fromConfiguration(), ServerSession{"DS", "01", false, "test"});
    Variant mine[] = {"01", "DEMO", "B0100", "DS"};
    EXPECT_EQ(ds.invoke("ReverseWriteOff", mine).toString(), "");
    EXPECT_EQ(ds.ErrorDescript(), "");
    EXPECT_EQ(value("SELECT TA087 FROM ACPTA WHERE TA001 = '7101' AND TA002 = '20240110001'"), "1");

    std::string out;
    // The queue command asks the same of its user.
    EXPECT_EQ(qvjobs({"--user", "U001", "reverse", "B0101"}, out), 1) << out;
    EXPECT_NE(out.find("the user U001 has neither the right to run WOFB07 directly"), std::string::npos) << out;
    EXPECT_EQ(value("SELECT LC015 FROM ACPLC WHERE LC001 = 'WOFB07-B0101'"), "N");
    {
        DbConnection sys;
        sys.openSqlite(install.path("server/data/QVSYS.db"));
        sys.execute("INSERT INTO ADMMR (MR001, MR002, MR003, MR006) VALUES ('U001', 'WOFB07', 'Y', 'Y')");
    }
    EXPECT_EQ(qvjobs({"--user", "U001", "reverse", "B0101"}, out), 0) << out;
    EXPECT_NE(out.find("Batch WOFB07-B0101 reversed: 1 document restored"), std::string::npos) << out;
    EXPECT_EQ(value("SELECT LC016 FROM ACPLC WHERE LC001 = 'WOFB07-B0101'"), "U001");
    EXPECT_EQ(qvjobs({"--user", "DS", "reverse", "B0101"}, out), 1);
    EXPECT_NE(out.find("reversed already"), std::string::npos) << out;
    EXPECT_EQ(qvjobs({"reverse"}, out), 2);
    EXPECT_EQ(qvjobs({"--user", "DS", "--company", "77", "reverse", "B0101"}, out), 1);
    EXPECT_NE(out.find("company 77 is unknown"), std::string::npos) << out;
}

TEST_F(Reversal, QvjobsRefusesUnknownDisabledAndRightlessUsersAndChangesNothing)
{
    // The users of the demo data: U002 and U004 may open WOFB07 but not run it directly,
    // U003 has every right but is not in use.
    {
        DbConnection sys;
        sys.openSqlite(install.path("server/data/QVSYS.db"));
        sys.executeScript(R"(
            INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('U001', '张伟', 'N', 'Y');
            INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('U002', '李娜', 'N', 'Y');
            INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('U003', '王芳', 'N', 'N');
            INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('U004', 'Peter Lee', 'N', 'Y');
            INSERT INTO ADMMR (MR001, MR002, MR003, MR004, MR005, MR006) VALUES ('U001', 'WOFB07', 'Y', 'Y', 'Y', 'Y');
            INSERT INTO ADMMR (MR001, MR002, MR003, MR004, MR005, MR006) VALUES ('U002', 'WOFB07', 'Y', 'Y', 'N', 'N');
            INSERT INTO ADMMR (MR001, MR002, MR003, MR004, MR005, MR006) VALUES ('U003', 'WOFB07', 'Y', 'Y', 'Y', 'Y');
            INSERT INTO ADMMR (MR001, MR002, MR003, MR004, MR005, MR006) VALUES ('U004', 'WOFB07', 'Y', 'Y', 'Y', 'N');
        )");
    }
    WriteOffRun r;
    r.documents = {"710120240110001", "7A0112"};
    ASSERT_TRUE(runLibrary(r).ok);

    const auto before = snapshot();
    const std::string login = GetUserName();
    struct Refusal {
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<Refusal> refusals = {
        {{"--user", "NOBODY", "reverse", "B0100"}, "the user NOBODY is unknown; nothing is reversed"},
        {{"--user", "U003", "reverse", "B0100"}, "the user U003 is not in use; nothing is reversed"},
        {{"--user", "U002", "reverse", "B0100"}, "the user U002 has neither the right to run WOFB07 directly"},
        {{"--user", "U004", "reverse", "B0100"}, "the user U004 has neither the right to run WOFB07 directly"},
        // Without --user the login name is the user, and no such user is known.
        {{"reverse", "B0100"}, "the user " + login + " is unknown"},
    };
    for (const Refusal& no : refusals) {
        std::string out;
        EXPECT_EQ(qvjobs(no.args, out), 1) << out;
        EXPECT_NE(out.find(no.says), std::string::npos) << out;
        EXPECT_EQ(snapshot(), before) << no.says << ": nothing changed";
    }

    std::string out;
    EXPECT_EQ(qvjobs({"--user", "U001", "reverse", "B0100"}, out), 0) << out;
    EXPECT_EQ(value("SELECT count(*) FROM ACPLC WHERE LC001 = 'WOFB07-B0100' AND LC015 = 'Y' AND LC016 = 'U001'"), "2");

    // Who did it and who was refused, with the login that ran the command.
    const std::string log = alertLog();
    EXPECT_NE(log.find("qvjobs: batch WOFB07-B0100 of company 01 reversed by user U001 (login " + login + ")"),
              std::string::npos)
        << log;
    for (const char* user : {"NOBODY", "U003", "U002", "U004"})
        EXPECT_NE(log.find(std::string("qvjobs: reversal of batch WOFB07-B0100 by user ") + user + " (login " + login
                           + ") refused: "),
                  std::string::npos)
            << user << "\n" << log;
}
