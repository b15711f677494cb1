// The printable report of a batch a real write-off made, read back as a person would
// search it: the PDF's text through pdftotext (poppler-utils), page by page. And the
// command that writes it, qvjobs report, for the users with a right of the job.

#include "writeoffserver/WriteOffFixture.h"
#include "report/WriteOffBatchReport.h"
#include "writeoffserver/WriteOffBatches.h"
#include "writeoffserver/WriteOffJob.h"

#include <cstdio>
#include <sstream>

using namespace wotest;

namespace {

std::string outputOf(const std::string& command)
{
    std::string text;
    if (std::FILE* p = ::popen((command + " 2>&1").c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
            text.append(buf, n);
        ::pclose(p);
    }
    return text;
}

// What pdftotext reads from the file, one text a page.
std::vector<std::string> pdfPages(const std::string& file)
{
    const std::string text = outputOf("pdftotext -layout '" + file + "' -");
    std::vector<std::string> pages;
    for (std::size_t from = 0, ff; (ff = text.find('\f', from)) != std::string::npos; from = ff + 1)
        pages.push_back(text.substr(from, ff - from));
    return pages;
}

// The words of the first line that holds the text; the layout's spacing aside.
std::vector<std::string> wordsOfLine(const std::string& text, const std::string& holding)
{
    const std::size_t at = text.find(holding);
    if (at == std::string::npos)
        return {"(no line holds " + holding + ")"};
    const std::size_t begin = text.rfind('\n', at) == std::string::npos ? 0 : text.rfind('\n', at) + 1;
    std::istringstream line(text.substr(begin, text.find('\n', at) - begin));
    std::vector<std::string> words;
    for (std::string w; line >> w;)
        words.push_back(w);
    return words;
}

std::size_t occurrences(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

class BatchReport : public WriteOffFixture {
protected:
    // A batch of 250 payables of S01 and S02, written off at once; one of them holds an
    // amount of three decimals, which the report must not round.
    void writeOff250()
    {
        DbTransaction tx(company());
        for (int i = 0; i < 250; ++i) {
            const std::string no = number(i);
            const std::string cents = std::to_string(100000 + i * 1357);
            const std::string amount = i == 7 ? "0.125" : cents.substr(0, cents.size() - 2) + "." + cents.substr(cents.size() - 2);
            insertRow(company(), "ACPTA",
                      {{"TA003", "20240301"}, {"TA004", i % 2 ? "S02" : "S01"}, {"TA008", "RMB"}, {"TA024", "Y"},
                       {"TA028", amount}, {"TA029", "0"}, {"TA030", "0"}, {"TA034", "20240301"}, {"TA037", amount},
                       {"TA038", "0.01"}, {"TA051", "0"}, {"TA085", "0"}},
                      {{"TA001", "7101"}, {"TA002", no}});
            insertRow(company(), "ACPTB", {{"TB001", "7101"}, {"TB002", no}, {"TB003", "0001"}}, {});
            original += Decimal::parse(amount);
            local += Decimal::parse(amount) + Decimal::parse("0.01");
        }
        tx.commit();
        WriteOffRun r;
        for (int i = 0; i < 250; ++i)
            r.documents.push_back("7101" + number(i));
        const ServerLibraryOutcome out = runLibrary(r);
        ASSERT_TRUE(out.ok) << out.result;
    }
    static std::string number(int i)
    {
        char no[16];
        std::snprintf(no, sizeof no, "20240301%03d", i);
        return no;
    }

    WriteOffBatchRecord record(const std::string& batch)
    {
        DbConnection sys;
        sys.openSqlite(install.path("server/data/QVSYS.db"));
        return ReadWriteOffBatch(WriteOffBatchSource{company(), sys, "01"}, batch);
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

    Decimal original, local;

private:
    int runs_ = 0;
};

} // namespace

TEST_F(BatchReport, EveryDocumentEveryTotalAndEveryPageNumberOfA250DocumentBatchAreInItsText)
{
    writeOff250();
    const std::string file = install.path("B0100.pdf");
    const int pages = WriteWriteOffBatchReport(record("B0100"), HostLanguage::English, file);
    const std::vector<std::string> text = pdfPages(file);
    ASSERT_EQ(int(text.size()), pages) << (text.empty() ? "" : text[0]);
    ASSERT_GE(pages, 4) << "250 documents do not fit on few pages";

    std::string all;
    for (int p = 0; p < pages; ++p) {
        const std::string& page = text[std::size_t(p)];
        EXPECT_NE(page.find("Page " + std::to_string(p + 1) + " of " + std::to_string(pages)), std::string::npos)
            << page;
        EXPECT_NE(page.find("Company: 01 示范公司"), std::string::npos) << "page " << p + 1;
        EXPECT_NE(page.find("Batch: WOFB07-B0100"), std::string::npos) << "page " << p + 1;
        // A page that goes on with the documents repeats their column titles.
        if (page.find("20240301") != std::string::npos) {
            EXPECT_NE(page.find("Write-off (local)"), std::string::npos) << "page " << p + 1;
        }
        all += page;
    }
    // Each document once, in order, with its amounts as the grid shows them.
    std::size_t at = 0;
    for (int i = 0; i < 250; ++i) {
        const std::string no = number(i);
        EXPECT_EQ(occurrences(all, no), 1u) << no;
        const std::size_t found = all.find(no, at);
        ASSERT_NE(found, std::string::npos) << no << " after its predecessor";
        at = found;
    }
    using Words = std::vector<std::string>;
    EXPECT_EQ(wordsOfLine(all, number(1)),
              (Words{"2", "S02", "乙五金", "7101", number(1), "2024/03/01", "RMB", "1,013.57", "1,013.58"}));
    EXPECT_EQ(wordsOfLine(all, number(7)),
              (Words{"8", "S02", "乙五金", "7101", number(7), "2024/03/01", "RMB", "0.125", "0.135"}))
        << "three decimals shown, none rounded away";

    // The totals and the transfer document, on the last page.
    // The test's own sums of what it wrote off: 250 amounts to the cent, one to the tenth of a cent.
    ASSERT_EQ(original.toString(), "671271.385");
    ASSERT_EQ(local.toString(), "671273.885");
    const std::string sum = "671,271.385", localSum = "671,273.885";
    EXPECT_EQ(wordsOfLine(text.back(), sum), (Words{"RMB", "250", sum, localSum})) << text.back();
    const std::string transfer = value("SELECT LC019 FROM ACPLC WHERE LC001 = 'WOFB07-B0100' AND LC002 = '000001'");
    EXPECT_EQ(wordsOfLine(text.back(), transfer),
              (Words{"Transfer", "(other", "payable)", "7B01", transfer, "RMB", sum, localSum}))
        << text.back();
    EXPECT_EQ(wordsOfLine(text[0], "Run by"), (Words{"Run", "by", "DS", "系统管理员"}));
    EXPECT_EQ(wordsOfLine(text[0], "How it ran"), (Words{"How", "it", "ran", "Run", "directly"}));
}

TEST_F(BatchReport, AReversedBatchInChineseNamesItsReverserAndEmbedsTheFont)
{
    {
        DbConnection sys;
        sys.openSqlite(install.path("server/data/QVSYS.db"));
        sys.execute("INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('U001', '张伟', 'N', 'Y')");
    }
    WriteOffRun prepay;
    prepay.type = 3;
    prepay.refundType = "7D01";
    prepay.documents = {"7C0120240107001", "7C0120240108001"};
    ASSERT_TRUE(runLibrary(prepay).ok);
    ASSERT_EQ(ReverseWriteOffJob(ServerDatabase::fromConfiguration(), "01", "", "B0100", "U001").error, "");

    const std::string chs = install.path("chs.pdf"), cht = install.path("cht.pdf");
    EXPECT_EQ(WriteWriteOffBatchReport(record("B0100"), HostLanguage::Simplified, chs), 1);
    const std::vector<std::string> text = pdfPages(chs);
    ASSERT_EQ(text.size(), 1u);
    for (const char* words : {"第 1 页, 共 1 页", "批次: WOFB07-B0100 (已撤销)", "预付款转销", "已撤销: U001 张伟", "甲电子", "乙五金", "560.50",
                              "退款单", "撤销时已删除"})
        EXPECT_NE(text[0].find(words), std::string::npos) << words << "\n" << text[0];
    WriteWriteOffBatchReport(record("B0100"), HostLanguage::Traditional, cht);
    EXPECT_NE(pdfPages(cht).at(0).find("已撤銷: U001 张伟"), std::string::npos) << pdfPages(cht).at(0);

    // The font travels with the file: a reader without it shows the same.
    const std::string fonts = outputOf("pdffonts '" + chs + "'");
    EXPECT_NE(fonts.find("WenQuanYi"), std::string::npos) << fonts;
    const std::vector<std::string> font = wordsOfLine(fonts, "WenQuanYi");
    ASSERT_GE(font.size(), 5u) << fonts;
    EXPECT_EQ(font[4], "yes") << "embedded:\n" << fonts;

    // A file that cannot be written is said so.
    EXPECT_THROW(WriteWriteOffBatchReport(record("B0100"), HostLanguage::English, install.path("no/such/folder.pdf")),
                 BatchReportError);
}

TEST_F(BatchReport, QvjobsWritesTheReportForAUserWithARightOfTheJobOnly)
{
    {
        DbConnection sys;
        sys.openSqlite(install.path("server/data/QVSYS.db"));
        sys.executeScript(R"(
            INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('U001', '张伟', 'N', 'Y');
            INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('U002', '李娜', 'N', 'Y');
            INSERT INTO ADMMR (MR001, MR002, MR004) VALUES ('U002', 'WOFB07', 'Y');
        )");
    }
    WriteOffRun r;
    r.documents = {"710120240110001", "7A0112"};
    ASSERT_TRUE(runLibrary(r).ok);
    const std::string pdf = install.path("out/B0100.pdf");
    std::filesystem::create_directories(install.path("out"));

    std::string out;
    EXPECT_EQ(qvjobs({"--user", "U001", "report", "B0100", "--pdf", pdf}, out), 1) << out;
    EXPECT_NE(out.find("the user U001 has no right in WOFB07"), std::string::npos) << out;
    EXPECT_FALSE(std::filesystem::exists(pdf));
    EXPECT_EQ(qvjobs({"--user", "U002", "report", "B9999", "--pdf", pdf}, out), 1) << out;
    EXPECT_NE(out.find("There is no write-off batch WOFB07-B9999"), std::string::npos) << out;
    EXPECT_FALSE(std::filesystem::exists(pdf));
    EXPECT_EQ(qvjobs({"--user", "U002", "report", "B0100"}, out), 2) << "no --pdf";

    EXPECT_EQ(qvjobs({"--user", "U002", "--lang", "eng", "report", "b0100", "--pdf", pdf}, out), 0) << out;
    EXPECT_NE(out.find("Batch WOFB07-B0100: 2 documents, 1 page written to " + pdf), std::string::npos) << out;
    const std::vector<std::string> text = pdfPages(pdf);
    ASSERT_EQ(text.size(), 1u);
    EXPECT_NE(text[0].find("20240110001"), std::string::npos) << text[0];
    EXPECT_NE(text[0].find("Page 1 of 1"), std::string::npos) << text[0];

    std::string log;
    for (const auto& e : std::filesystem::directory_iterator(install.path("server/Log")))
        if (e.path().filename().string().rfind("Alert_ReportCounterS_", 0) == 0)
            log += install.read("server/Log/" + e.path().filename().string());
    EXPECT_NE(log.find("report of batch WOFB07-B0100 by user U001"), std::string::npos) << log;
    EXPECT_NE(log.find("refused: the user U001 has no right in WOFB07"), std::string::npos) << log;
    EXPECT_NE(log.find("report of batch WOFB07-B0100 of company 01 written to " + pdf + " for user U002"),
              std::string::npos)
        << log;
}
