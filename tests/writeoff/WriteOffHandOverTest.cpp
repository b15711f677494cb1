// The write-off form's scripted hand-overs and its runs against the demo installation.

#include "WriteOffFixture.h"
#include "WriteOffScripts.h"

#include <QTest>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

TEST_F(WriteOffForm, AScriptedFilterWalksThePagesListsAndTicks)
{
    // From the first page: every listed document ticked, the last page's entries kept.
    form->ApplyParams(scripted(0, "*"));
    ASSERT_EQ(form->CurrentPage, TfrmWOFB07::pgLast) << form->MessageCodes.toStdString();
    const int n = form->cdsData->RecordCount();
    ASSERT_GT(n, 3);
    EXPECT_EQ(form->TotalCount(), n);
    Decimal all;
    for (int r = 0; r < n; ++r)
        all += amount(r, "MA016");
    EXPECT_EQ(form->TotalOriginal(), all);
    EXPECT_EQ(form->ed10->Text(), QStringLiteral("S1"));
    EXPECT_EQ(form->ed11->Text(), QStringLiteral("B006"));
    EXPECT_FALSE(form->lbl11C->text().isEmpty()) << "the supplier was checked again";
    EXPECT_FALSE(form->ApplyDone) << "command 0 only sets";

    // On the last page the list is made again: only the keys given are ticked, with or
    // without the dash, each once.
    const std::string second = cell(1, "MA005") + cell(1, "MA006");
    const std::string fourth = cell(3, "MA005") + "-" + cell(3, "MA006");
    form->ApplyParams(scripted(0, Variant::list({second, fourth, second})));
    EXPECT_EQ(form->cdsData->RecordCount(), n);
    EXPECT_EQ(form->TotalCount(), 2);
    EXPECT_EQ(form->TotalOriginal(), amount(1, "MA016") + amount(3, "MA016"));
    const Variant chosen = form->ChosenDocuments();
    ASSERT_EQ(chosen.count(), 2);
    EXPECT_EQ(VarToStr(chosen[0]), second);
}

TEST_F(WriteOffForm, AScriptThatCannotBeFollowedStopsBeforeTheRun)
{
    // A document that is not listed: said by name, nothing goes to OK.
    form->ApplyParams(scripted(1, Variant::list({"9999NOSUCH"})));
    EXPECT_FALSE(form->ApplyDone);
    EXPECT_EQ(form->TotalCount(), 0);
    ASSERT_FALSE(dialogs.isEmpty());
    EXPECT_TRUE(dialogs.last().contains(QStringLiteral("9999NOSUCH"))) << dialogs.last().toStdString();

    // A page check that refuses (no currency) stops on its page.
    form->Free();
    settleEvents();
    SetUp();
    form->ApplyParams(byName(1, {{"ed04", ""}, {"btnFilter", "*"}}));
    EXPECT_EQ(form->CurrentPage, TfrmWOFB07::pgNext);
    EXPECT_TRUE(has(form->MessageCodes, "E;000003")) << form->MessageCodes.toStdString();
    EXPECT_FALSE(form->ApplyDone);

    // Other buttons are not values.
    form->ApplyParams(byName(0, {{"btnQuery", true}}));
    EXPECT_TRUE(has(form->MessageCodes, "W;000014;btnQuery")) << form->MessageCodes.toStdString();
    form->ApplyParams(byName(0, {{"btnprior", 1}}));
    EXPECT_EQ(form->CurrentPage, TfrmWOFB07::pgFirst);
    form->ApplyParams(byName(0, {{"BtnNext", 9}}));
    EXPECT_EQ(form->CurrentPage, TfrmWOFB07::pgFirst);
}

TEST_F(WriteOffForm, AHandOverSetsWhatItSaysOrHandsNothingOver)
{
    const auto withDates = [](int command, const std::string& until, const Variant& documents) {
        return byName(command, {{"cbo01", 0},
                                {"ed04", "RMB"},
                                {"sp03", Variant::list({"\x04", "", until})},
                                {"sp05", Variant::list({"\x04", "A001", "A007"})},
                                {"ed10", "S1"},
                                {"ed11", "B006"},
                                {"btnFilter", documents}});
    };
    const auto fresh = [this] {
        form->Free();
        settleEvents();
        SetUp();
    };
    // The document dates are the payables' TA034 (empty ones always listed).
    const auto documentDate = [this](int row) {
        const Variant v = company().scalar("SELECT TA034 FROM ACPTA WHERE TA001=:T AND TA002=:N",
                                           {{"T", cell(row, "MA005")}, {"N", cell(row, "MA006")}});
        return v.isEmptyOrNull() ? std::string() : VarToStr(v);
    };
    ASSERT_EQ(form->ApplyParams(scripted(0, "*")), TApplyOutcome::Taken) << form->MessageCodes.toStdString();
    const int all = form->cdsData->RecordCount();
    std::vector<std::string> dates;
    for (int r = 0; r < all; ++r)
        if (const std::string d = documentDate(r); !d.empty())
            dates.push_back(d);
    std::sort(dates.begin(), dates.end());
    ASSERT_FALSE(dates.empty());
    ASSERT_LT(dates.front(), dates.back());

    // Document dates that end before the write-off date: the second page's default (the
    // write-off date) does not replace them, and the list holds only what they take.
    fresh();
    EXPECT_EQ(form->ApplyParams(withDates(0, dates.front(), "*")), TApplyOutcome::Taken) << form->MessageCodes.toStdString();
    EXPECT_EQ(form->sp03->edFinal->Text().remove(QLatin1Char('/')).toStdString(), dates.front());
    ASSERT_GT(form->cdsData->RecordCount(), 0);
    EXPECT_LT(form->cdsData->RecordCount(), all);
    int later = 0;
    for (int r = 0; r < form->cdsData->RecordCount(); ++r)
        later += documentDate(r) > dates.front();
    EXPECT_EQ(later, 0) << "documents dated after the range";

    // A check that refuses a value (document dates past the write-off date) stops the run.
    fresh();
    EXPECT_EQ(form->ApplyParams(withDates(1, "20991231", "*")), TApplyOutcome::CheckRefused);
    EXPECT_TRUE(has(form->MessageCodes, "E;200600;")) << form->MessageCodes.toStdString();
    EXPECT_EQ(form->JobSubmitted, 0);

    // Values a control cannot take as given are refused by name, never cut or dropped: a
    // batch number past the field, a range of three, a panel the write-off type leaves out.
    fresh();
    EXPECT_EQ(form->ApplyParams(scripted(1, "*", "B234567890ABCD")), TApplyOutcome::Refused);
    EXPECT_TRUE(has(form->MessageCodes, "W;000014;ed10")) << form->MessageCodes.toStdString();
    EXPECT_EQ(form->ed10->Text(), QString());
    EXPECT_EQ(form->ApplyParams(byName(0, {{"sp05", Variant::list({"A001", "A003", "A007"})}})), TApplyOutcome::Refused);
    EXPECT_TRUE(has(form->MessageCodes, "W;000014;sp05"));
    fresh();
    EXPECT_EQ(form->ApplyParams(byName(1, {{"cbo01", 0}, {"sp08", Variant::list({"\x05", "7301-0001"})}, {"btnFilter", "*"}})),
              TApplyOutcome::Refused);
    EXPECT_TRUE(has(form->MessageCodes, "W;000014;sp08")) << form->MessageCodes.toStdString();
    EXPECT_EQ(form->JobSubmitted, 0);

    // Nothing listed: the job says so and nothing goes to the queue.
    fresh();
    dialogs.clear();
    EXPECT_EQ(form->ApplyParams(byName(1, {{"ed04", "RMB"}, {"sp05", Variant::list({"\x04", "Z998", "Z999"})},
                                           {"ed10", "S1"}, {"ed11", "B006"}, {"btnFilter", "*"}})),
              TApplyOutcome::NothingHandedOver);
    EXPECT_EQ(form->cdsData->RecordCount(), 0);
    EXPECT_TRUE(dialogs.contains(QStringLiteral("没有待冲销的单据"))) << dialogs.join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(form->JobSubmitted, 0);
}

TEST_F(WriteOffForm, TheChosenDocumentsGoToSlot13)
{
    toLastPage(0);
    form->ed10->SetText(QStringLiteral("T1"));
    form->ed11->SetText(QStringLiteral("B006"));
    form->ed11Exit(form->ed11);
    EXPECT_FALSE(form->CollectParams()) << "nothing ticked, no job";
    Variant values = Variant::array(1, 17);
    form->CollectOptionValues(values, 15);
    ASSERT_TRUE(values[13].isArray());
    EXPECT_EQ(values[13].count(), 1);
    EXPECT_EQ(VarToStr(values[13][0]), "NN");

    tick(3, true);
    tick(1, true);
    form->cdsData->SetRecNo(2);
    ASSERT_TRUE(form->CollectParams()) << form->MessageTexts.toStdString();
    const Variant texts = form->ParamPacket[1];
    const Variant sent = form->ParamPacket[2];
    ASSERT_EQ(sent.highBound(), 17);
    EXPECT_EQ(sent[1].toInt(), 1);
    EXPECT_EQ(VarToStr(sent[4]), "RMB");
    EXPECT_EQ(VarToStr(sent[10]), "T1");
    EXPECT_EQ(VarToStr(sent[11]), "B006");
    EXPECT_EQ(VarToStr(sent[15]), "智利安第斯矿业公司");
    EXPECT_EQ(VarToStr(sent[16]), "N") << "the log flag";
    EXPECT_EQ(VarToStr(texts[13][1]), "btnFilter");
    EXPECT_EQ(VarToStr(texts[15][1]), "lbl11C");
    EXPECT_EQ(VarToStr(texts[15][0]), "智利安第斯矿业公司") << "the caption of lbl11C";
    ASSERT_EQ(sent[13].count(), 2);
    EXPECT_EQ(VarToStr(sent[13][0]), cell(1, "MA005") + cell(1, "MA006"));
    EXPECT_EQ(VarToStr(sent[13][1]), cell(3, "MA005") + cell(3, "MA006"));
    EXPECT_EQ(VarToQStr(sent[14]), form->CandidateSql);
    EXPECT_EQ(form->cdsData->RecNo(), 2) << "the current row is kept";
}

// A suite with an installation of its own: it writes off.
class WriteOffRun : public WriteOffForm {
protected:
    static void SetUpTestSuite() { WriteOffForm::SetUpTestSuite(); }
    static void TearDownTestSuite() { WriteOffForm::TearDownTestSuite(); }
};

// Another one for a run that takes every document.
class WriteOffScript : public WriteOffForm {
protected:
    static void SetUpTestSuite() { WriteOffForm::SetUpTestSuite(); }
    static void TearDownTestSuite() { WriteOffForm::TearDownTestSuite(); }
};

TEST_F(WriteOffScript, CommandFiveRunsAScriptedWriteOffAtOnce)
{
    // What jobhost --run hands in: the filter, every document, command 5 (direct run).
    QPointer<TfrmWOFB07> watched(form);
    form->ApplyParams(scripted(5, "*", "S5"));
    settleEvents();
    EXPECT_FALSE(watched) << "every command closes the form";
    form = nullptr;
    EXPECT_FALSE(dialogs.filter(QStringLiteral("处理完毕")).isEmpty()) << dialogs.join(QStringLiteral(" | ")).toStdString();
    const Variant written = company().scalar("SELECT COUNT(*) FROM ACPLC WHERE LC001='WOFB07-S5'");
    EXPECT_GT(written.toInt(), 3);
}

TEST_F(WriteOffRun, DirectRunSettlesTheTickedDocumentsAndListsTheRest)
{
    ASSERT_TRUE(form->IsLocalServer);
    toLastPage(0);
    const int n = form->cdsData->RecordCount();
    ASSERT_GT(n, 3);
    const std::string first = cell(0, "MA005") + "|" + cell(0, "MA006");
    const std::string third = cell(2, "MA005") + "|" + cell(2, "MA006");
    tick(0, true);
    tick(2, true);
    form->ed10->SetText(QStringLiteral("T7"));
    form->ed10Exit(form->ed10);
    ASSERT_FALSE(form->ValidationFailed);
    // The transfer supplier is typed and the button pressed without the focus leaving the
    // field (an accelerator, a window that was not active): its check runs first all the same.
    QApplication::setActiveWindow(form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    form->ed11->setFocus();
    settleEvents();
    QTest::keyClicks(form->ed11, QStringLiteral("B006"));
    // The clerk sees what will be posted and may still say no: nothing is written.
    questionAnswer = mrNo;
    dialogs.clear();
    form->btnQuery->click();
    settleEvents();
    ASSERT_EQ(dialogs.size(), 2) << dialogs.join(QStringLiteral(" | ")).toStdString();
    EXPECT_TRUE(dialogs.takeFirst().contains(QStringLiteral("CLF"))) << "B006 trades in another currency";
    EXPECT_FALSE(form->lbl11C->text().isEmpty());
    const QString question = dialogs.takeFirst();
    for (const QString& part : {QStringLiteral("单据笔数: 2"), QStringLiteral("转销批号: T7"),
                                QStringLiteral("原币合计 (RMB): ") + form->edMA021->text(),
                                QStringLiteral("本币合计 (RMB): ") + form->edMA022->text(),
                                QStringLiteral("转销供应商: B006 ") + form->lbl11C->text()})
        EXPECT_TRUE(question.contains(part)) << part.toStdString() << " in " << question.toStdString();
    EXPECT_FALSE(form->edMA021->text().isEmpty());
    EXPECT_EQ(VarToStr(company().scalar("SELECT COUNT(*) FROM ACPLC WHERE LC001='WOFB07-T7'")), "0");
    EXPECT_EQ(form->TotalCount(), 2) << "the ticks stay";
    EXPECT_TRUE(form->btnQuery->isEnabled());
    questionAnswer = mrYes;
    form->btnQuery->click();
    settleEvents();
    ASSERT_TRUE(form);
    EXPECT_TRUE(form->ed10->Text().isEmpty());
    EXPECT_EQ(form->TotalCount(), 0);
    EXPECT_EQ(form->cdsData->RecordCount(), n - 2) << dialogs.join(QStringLiteral(" | ")).toStdString();
    std::set<std::string> listed;
    for (int r = 0; r < form->cdsData->RecordCount(); ++r)
        listed.insert(cell(r, "MA005") + "|" + cell(r, "MA006"));
    EXPECT_FALSE(listed.count(first));
    EXPECT_FALSE(listed.count(third));
    for (const std::string& doc : {first, third}) {
        const auto bar = doc.find('|');
        const Variant status = company().scalar("SELECT TA087 FROM ACPTA WHERE TA001=:T AND TA002=:N",
                                                {{"T", doc.substr(0, bar)}, {"N", doc.substr(bar + 1)}});
        EXPECT_EQ(VarToStr(status), "3") << doc;
    }
    EXPECT_EQ(VarToStr(company().scalar("SELECT COUNT(*) FROM ACPLC WHERE LC001='WOFB07-T7'")), "2");
    // The closing message says what the server library did.
    const QStringList over = dialogs.filter(QStringLiteral("处理完毕"));
    ASSERT_EQ(over.size(), 1) << dialogs.join(QStringLiteral(" | ")).toStdString();
    EXPECT_TRUE(over[0].contains(QStringLiteral("2"))) << over[0].toStdString();
    EXPECT_GT(over[0].size(), QStringLiteral("处理完毕! ").size() + 2) << over[0].toStdString();
    // The batch number is used now.
    form->ed10->SetText(QStringLiteral("T7"));
    form->ed10Exit(form->ed10);
    EXPECT_TRUE(form->ValidationFailed);
}

// An e-invoice number has 20 digits, as many as the database holds: the list shows it
// whole and the document is written off like any other.
TEST_F(WriteOffRun, ATwentyDigitInvoiceNumberIsListedWholeAndWrittenOff)
{
    toLastPage(0);
    ASSERT_GT(form->cdsData->RecordCount(), 1);
    const std::string type = cell(1, "MA005"), number = cell(1, "MA006");
    const std::string invoice = "12345678901234567890";
    ASSERT_EQ(company().execute("UPDATE ACPTA SET TA014=:I WHERE TA001=:T AND TA002=:N",
                                {{"I", invoice}, {"T", type}, {"N", number}}),
              1);
    // Listed again as the clerk does: a step back and forward.
    form->btnpriorClick(form->btnprior);
    form->BtnNextClick(form->BtnNext);
    ASSERT_EQ(form->CurrentPage, TfrmWOFB07::pgLast) << form->MessageCodes.toStdString();
    int row = -1;
    for (int r = 0; r < form->cdsData->RecordCount(); ++r)
        if (cell(r, "MA005") == type && cell(r, "MA006") == number)
            row = r;
    ASSERT_GE(row, 0) << "listed: " << form->cdsData->RecordCount() << " " << dialogs.join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(cell(row, "MA007"), invoice);

    tick(row, true);
    form->ed10->SetText(QStringLiteral("E20"));
    form->ed10Exit(form->ed10);
    form->ed11->SetText(QStringLiteral("B006"));
    form->ed11Exit(form->ed11);
    ASSERT_FALSE(form->ValidationFailed) << form->MessageCodes.toStdString();
    form->btnQueryClick(form->btnQuery);
    settleEvents();
    const Variant status = company().scalar("SELECT TA087 FROM ACPTA WHERE TA001=:T AND TA002=:N",
                                            {{"T", type}, {"N", number}});
    EXPECT_EQ(VarToStr(status), "3") << dialogs.join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(VarToStr(company().scalar("SELECT COUNT(*) FROM ACPLC WHERE LC001='WOFB07-E20'")), "1");
}
