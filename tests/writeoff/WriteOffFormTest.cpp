// The write-off form's pages, checks, totals and hand-over against the demo installation.

#include "WriteOffFixture.h"
#include "WriteOffScripts.h"

#include "controls/Buttons.h"
#include "controls/DataSource.h"
#include "controls/ExtPage.h"
#include "controls/FDBGrid.h"
#include "controls/TabOrder.h"
#include "jobform/GeneCondition.h"
#include "controls/QvSpin.h"
#include "support/ScheduleRules.h"
#include "support/Dates.h"
#include "platform/OleDate.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTableView>
#include <QToolButton>
#include <QTreeWidget>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <fstream>
#include <random>
#include <set>
#include <tuple>

QTemporaryDir* WriteOffForm::folder = nullptr;
DemoInstallation* WriteOffForm::installation = nullptr;

TEST_F(WriteOffForm, OpensOnTheFirstPageWithTheDefaults)
{
    ASSERT_TRUE(opened) << form->MessageTexts.toStdString();
    EXPECT_EQ(form->CurrentPage, TfrmWOFB07::pgFirst);
    EXPECT_TRUE(form->pnlFirst->isVisible());
    EXPECT_FALSE(form->pnlNext->isVisible());
    EXPECT_TRUE(form->BtnNext->isVisible());
    for (QWidget* w : {static_cast<QWidget*>(form->btnprior), static_cast<QWidget*>(form->btnFilter),
                       static_cast<QWidget*>(form->btnALL), static_cast<QWidget*>(form->btnQuery),
                       static_cast<QWidget*>(form->btnOk), static_cast<QWidget*>(form->btnSpd)})
        EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
    EXPECT_EQ(form->cbo01->ItemIndex(), 0);
    EXPECT_EQ(form->cbo01->Items().value(1), QStringLiteral("2.其他应付款转销 "));
    EXPECT_EQ(form->ed02->Text(), QString::fromStdString(DateToDisplayText(1, "/", Today())));
    EXPECT_EQ(form->ed04->Text(), QStringLiteral("RMB"));
    EXPECT_EQ(form->OpenMonthAfter, QStringLiteral("202312"));
    EXPECT_EQ(form->OpenMonthFrom, QStringLiteral("202401"));
    EXPECT_EQ(form->ed10->MaxLength(), 13);
    EXPECT_EQ(form->ed11->MaxLength(), 10);
    EXPECT_EQ(form->ed12->MaxLength(), 4);
    EXPECT_EQ(form->sp06->EditMask(), QStringLiteral("!aaaa-aaaaaaaaaaa;0; "));
    // 15 slots of the job, the log flag, the print date.
    EXPECT_EQ(form->OptionCount, 17);
    EXPECT_EQ(form->cdsData->FieldByName("MA016")->DisplayFormat(), "#,##0.00");
    EXPECT_EQ(form->cdsData->FieldByName("MA010")->DisplayFormat(), "#,##0.0000000");
}

TEST_F(WriteOffForm, FirstPageChecksTheWriteOffMonth)
{
    form->ed02->SetText(QString());
    form->BtnNextClick(form->BtnNext);
    EXPECT_EQ(form->CurrentPage, TfrmWOFB07::pgFirst);
    EXPECT_TRUE(has(form->MessageCodes, "E;000003;输入转销日期"));

    form->ReportMessage(QString());
    form->ed02->SetText(QStringLiteral("2023/12/31")); // the closed month itself
    form->BtnNextClick(form->BtnNext);
    EXPECT_EQ(form->CurrentPage, TfrmWOFB07::pgFirst);
    EXPECT_TRUE(has(form->MessageCodes, "E;100453;"));
    // Leaving the date says whether it was taken.
    form->ed02->setFocus();
    form->cbo01->setFocus();
    EXPECT_TRUE(form->ValidationFailed);
    form->ed02->SetText(QStringLiteral("2024/01/15"));
    form->ed02->setFocus();
    form->cbo01->setFocus();
    EXPECT_FALSE(form->ValidationFailed);

    form->ReportMessage(QString());
    form->ed02->SetText(QStringLiteral("2024/01/15")); // the first open month
    form->BtnNextClick(form->BtnNext);
    EXPECT_EQ(form->CurrentPage, TfrmWOFB07::pgNext) << form->MessageCodes.toStdString();
    EXPECT_TRUE(form->pnlNext->isVisible());
    EXPECT_EQ(form->sp03->edFinal->Text().remove(QLatin1Char('/')), QStringLiteral("20240115"));
    // The document date may not pass the write-off date.
    form->sp03->edFinal->SetText(QStringLiteral("2024/01/16"));
    form->sp03Exit(form->sp03);
    EXPECT_TRUE(has(form->MessageCodes, "E;200600;"));
    EXPECT_TRUE(form->ValidationFailed);
    form->ReportMessage(QString());
    form->sp03->edFinal->SetText(QStringLiteral("2024/01/15"));
    form->sp03Exit(form->sp03);
    EXPECT_FALSE(has(form->MessageCodes, "E;200600;"));
    EXPECT_FALSE(form->ValidationFailed);
    // An emptied end date goes back to the first page.
    form->sp03->edFinal->SetText(QString());
    form->sp03Exit(form->sp03);
    EXPECT_EQ(form->CurrentPage, TfrmWOFB07::pgFirst);
}

TEST_F(WriteOffForm, TheTypeDecidesThePanelsAndTheRefundType)
{
    const auto count = [](const QString& list) { return list.count(QStringLiteral(",ed12")); };
    form->cbo01->SetItemIndex(0);
    form->BtnNextClick(form->BtnNext);
    EXPECT_TRUE(form->sp06->Enabled());
    EXPECT_TRUE(form->sp07->Enabled());
    EXPECT_FALSE(form->sp08->Enabled());
    EXPECT_FALSE(form->sp09->Enabled());
    EXPECT_EQ(count(form->RequiredFields), 0);
    EXPECT_FALSE(form->ed12->isEnabled());

    form->btnpriorClick(form->btnprior);
    EXPECT_EQ(form->CurrentPage, TfrmWOFB07::pgFirst);
    form->sp06->edBegin->SetText(QStringLiteral("7101"));
    form->cbo01->SetItemIndex(2);
    form->BtnNextClick(form->BtnNext);
    EXPECT_FALSE(form->sp06->Enabled());
    EXPECT_TRUE(form->sp06->edBegin->Text().trimmed().isEmpty()) << "a panel that does not apply is emptied";
    EXPECT_TRUE(form->sp09->Enabled());
    EXPECT_EQ(count(form->RequiredFields), 1);
    EXPECT_TRUE(form->ed12->isEnabled());
    form->btnpriorClick(form->btnprior);
    form->BtnNextClick(form->BtnNext);
    EXPECT_EQ(count(form->RequiredFields), 1) << "added once";

    form->btnpriorClick(form->btnprior);
    form->cbo01->SetItemIndex(1);
    form->BtnNextClick(form->BtnNext);
    EXPECT_TRUE(form->sp08->Enabled());
    EXPECT_FALSE(form->sp09->Enabled());
    EXPECT_EQ(count(form->RequiredFields), 0);
    EXPECT_FALSE(form->ed12->isEnabled());
}

TEST_F(WriteOffForm, NextPageNeedsCurrencyAndSuppliers)
{
    form->BtnNextClick(form->BtnNext);
    ASSERT_EQ(form->CurrentPage, TfrmWOFB07::pgNext);
    form->ed04->SetText(QString());
    form->BtnNextClick(form->BtnNext);
    EXPECT_EQ(form->CurrentPage, TfrmWOFB07::pgNext);
    EXPECT_TRUE(has(form->MessageCodes, "E;000003;选择币种"));

    form->ReportMessage(QString());
    form->ed04->SetText(QStringLiteral("RMB"));
    form->sp05->SetStyle(TSelectPanel::sp_Range);
    form->sp05->edBegin->SetText(QStringLiteral("A001"));
    form->BtnNextClick(form->BtnNext);
    EXPECT_EQ(form->CurrentPage, TfrmWOFB07::pgNext);
    EXPECT_TRUE(has(form->MessageCodes, "E;000003;选择供应商编号"));

    form->ReportMessage(QString());
    form->sp05->SetStyle(TSelectPanel::sp_Discrete);
    form->BtnNextClick(form->BtnNext);
    EXPECT_EQ(form->CurrentPage, TfrmWOFB07::pgNext);
    EXPECT_TRUE(has(form->MessageCodes, "E;000003;选择供应商编号"));

    form->sp05->AddValues({QStringLiteral("A002")});
    form->BtnNextClick(form->BtnNext);
    EXPECT_EQ(form->CurrentPage, TfrmWOFB07::pgLast) << form->MessageCodes.toStdString();
    EXPECT_TRUE(form->btnQuery->isVisible());
    EXPECT_TRUE(form->btnSpd->isVisible()) << "the drop-down beside btnOk";
    EXPECT_FALSE(form->BtnNext->isVisible());
    EXPECT_FALSE(form->btnFilter->isVisible());
    ASSERT_GT(form->cdsData->RecordCount(), 0);
    for (int r = 0; r < form->cdsData->RecordCount(); ++r)
        EXPECT_EQ(cell(r, "MA002"), "A002");
}

TEST_F(WriteOffForm, CurrencyCheckAndItsDecimals)
{
    form->BtnNextClick(form->BtnNext);
    form->ed04->setFocus();
    form->ed04->SetText(QStringLiteral("XXX"));
    form->ed04Exit(form->ed04);
    EXPECT_TRUE(form->ValidationFailed);
    EXPECT_TRUE(has(form->MessageCodes, "E;000001;"));

    form->ed04->SetText(QStringLiteral("CLF"));
    form->ed04Exit(form->ed04);
    EXPECT_FALSE(form->ValidationFailed);
    EXPECT_EQ(form->cdsData->FieldByName("MA016")->DisplayFormat(), "#,##0.0000");
    EXPECT_EQ(form->cdsSum->FieldByName("MA021")->DisplayFormat(), "#,##0.0000");
    EXPECT_EQ(form->cdsData->FieldByName("MA017")->DisplayFormat(), "#,##0.00") << "local amounts keep theirs";
    form->ed04->SetText(QStringLiteral("JPY"));
    form->ed04Exit(form->ed04);
    EXPECT_EQ(form->cdsData->FieldByName("MA016")->DisplayFormat(), "#,##0");
}

TEST_F(WriteOffForm, BatchNumberKeysAndCheck)
{
    toLastPage(0);
    form->ed10->setFocus();
    QTest::keyClicks(form->ed10, QStringLiteral("ab- 1c"));
    EXPECT_EQ(form->ed10->Text(), QStringLiteral("AB1C"));
    form->ed10Exit(form->ed10);
    EXPECT_FALSE(form->ValidationFailed);

    form->ed10->SetText(QStringLiteral("B0001")); // the demo's batch
    form->ed10Exit(form->ed10);
    EXPECT_TRUE(form->ValidationFailed);
    EXPECT_TRUE(has(form->MessageCodes, "E;200601;"));
    form->ed10->SetText(QString());
    form->ed10Exit(form->ed10);
    EXPECT_FALSE(form->ValidationFailed);

    // Pasted or handed in, the number is upper case too, and so found used as it is stored.
    QGuiApplication::clipboard()->setText(QStringLiteral("b0001"));
    form->ed10->setFocus();
    form->ed10->paste();
    EXPECT_EQ(form->ed10->Text(), QStringLiteral("B0001"));
    form->ed10->SetText(QString());
    form->ApplyParams(byName(0, {{"ed10", "b0001"}}));
    EXPECT_EQ(form->ed10->Text(), QStringLiteral("B0001"));
    EXPECT_TRUE(form->ValidationFailed) << form->MessageCodes.toStdString();
}

TEST_F(WriteOffForm, APeriodicBatchNumberIsAPrefixShownWithItsFirstRunAndCheckedAsThat)
{
    toLastPage(0);
    form->ed10->SetText(QStringLiteral("B0001"));
    form->ed11->SetText(QStringLiteral("B006"));
    EXPECT_FALSE(form->lblRunBatch->isVisibleTo(form));

    // Daily from 5 January 2099: the first run posts under prefix-20990105.
    form->btnPeriod->click();
    form->meStartDate->SetText(QString::fromStdString(
        DateToDisplayText(form->GetDateFormat(), Utf8(form->GetDateSeparator()), CompactToDate("20990105"))));
    form->pgOption->SetActivePage(form->tsOption1);
    ASSERT_TRUE(form->lblRunBatch->isVisibleTo(form));
    EXPECT_FALSE(form->lblRunBatch->geometry().intersects(form->ed11->geometry()));

    // What was typed before stays; leaving the field says it is too long for a prefix.
    form->ed10Exit(form->ed10);
    EXPECT_TRUE(form->ValidationFailed);
    EXPECT_TRUE(has(form->MessageCodes, "E;200686;B0001;4"));
    EXPECT_EQ(form->ed10->Text(), QStringLiteral("B0001"));
    // A new one takes four characters.
    form->ed10->clear();
    form->ed10->setFocus();
    QTest::keyClicks(form->ed10, QStringLiteral("abcdef"));
    EXPECT_EQ(form->ed10->Text(), QStringLiteral("ABCD"));
    EXPECT_TRUE(form->lblRunBatch->text().contains(QStringLiteral("ABCD-20990105")))
        << form->lblRunBatch->text().toStdString();

    // The check looks up the first run's number, not the prefix.
    form->ed10->SetText(QStringLiteral("D9"));
    form->ed10Exit(form->ed10);
    EXPECT_FALSE(form->ValidationFailed);
    company().execute("INSERT INTO ACPLC (LC001, LC002) VALUES ('WOFB07-D9-20990105', '000001')");
    form->ed10Exit(form->ed10);
    company().execute("DELETE FROM ACPLC WHERE LC001 = 'WOFB07-D9-20990105'");
    EXPECT_TRUE(form->ValidationFailed);
    EXPECT_TRUE(has(form->MessageCodes, "E;200601;"));

    // Up again, the number is a whole one as before.
    form->btnPeriod->click();
    form->pgOption->SetActivePage(form->tsOption1);
    EXPECT_FALSE(form->lblRunBatch->isVisibleTo(form));
    EXPECT_EQ(form->ed10->MaxLength(), 13);
    form->ed10->SetText(QStringLiteral("B0001"));
    form->ed10Exit(form->ed10);
    EXPECT_TRUE(form->ValidationFailed) << "the demo's batch";
}

TEST_F(WriteOffForm, TransferSupplierChecks)
{
    toLastPage(0);
    form->ed11->setFocus(); // the exit checks run as the user leaves the edit
    form->ed11->SetText(QStringLiteral("Z999"));
    form->ed11Exit(form->ed11);
    EXPECT_TRUE(form->ValidationFailed);
    EXPECT_EQ(form->MessageCodes.count(QStringLiteral("W;200295;")), 1);
    form->ed11Exit(form->ed11);
    EXPECT_EQ(form->MessageCodes.count(QStringLiteral("W;200295;")), 1) << "the same rejected text is not looked up again";

    form->ed11->SetText(QStringLiteral("A003")); // inside the selected range
    form->ed11Exit(form->ed11);
    EXPECT_TRUE(form->ValidationFailed);
    EXPECT_TRUE(has(form->MessageCodes, "E;200635;"));

    form->ed11->SetText(QStringLiteral("B006"));
    form->ed11Exit(form->ed11);
    EXPECT_FALSE(form->ValidationFailed);
    EXPECT_EQ(form->lbl11C->text(), QStringLiteral("智利安第斯矿业公司")) << "the full name";
}

// A refused transfer supplier never holds the clerk on the page, and one trading in another
// currency than the documents is taken with a word of warning.
TEST_F(WriteOffForm, TheTransferSupplierNeverTrapsTheClerkAndWarnsOfAnotherCurrency)
{
    QApplication::setActiveWindow(form);
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    toLastPage(0, QStringLiteral("RMB"), QStringLiteral("A001"), QStringLiteral("A003"));
    const auto leaveTo = [&](QWidget* to) {
        QTest::mouseClick(to, Qt::LeftButton);
        settleEvents();
    };
    for (const char* refused : {"A002", "Z999"}) { // a selected supplier, an unknown one
        form->ed11->setFocus();
        form->ed11->SetText(QString::fromLatin1(refused));
        leaveTo(form->btnALL);
        EXPECT_TRUE(form->ValidationFailed) << refused;
        const qsizetype shown = dialogs.size();
        form->ed11->setFocus();
        leaveTo(form->btnprior);
        EXPECT_EQ(form->CurrentPage, TfrmWOFB07::pgNext) << refused;
        EXPECT_EQ(dialogs.size(), shown) << refused << ": no message on the way back, " << form->MessageCodes.toStdString();
        EXPECT_FALSE(form->ValidationFailed);
        form->BtnNextClick(form->BtnNext);
        ASSERT_EQ(form->CurrentPage, TfrmWOFB07::pgLast);
    }

    form->ed11->setFocus();
    form->ed11->SetText(QStringLiteral("b001")); // trades in USD
    leaveTo(form->btnALL);
    EXPECT_FALSE(form->ValidationFailed) << form->MessageCodes.toStdString();
    EXPECT_EQ(form->ed11->Text(), QStringLiteral("B001")) << "the code as stored";
    EXPECT_EQ(form->lbl11C->text(), QStringLiteral("新竹光电股份有限公司"));
    EXPECT_TRUE(has(form->MessageCodes, "W;200636;B001;USD;RMB")) << form->MessageCodes.toStdString();
    EXPECT_TRUE(dialogs.last().contains(QStringLiteral("USD"))) << dialogs.last().toStdString();
    const qsizetype warnings = form->MessageCodes.count(QStringLiteral("W;200636;"));
    form->ed11->setFocus();
    form->ed11->SetText(QStringLiteral("A005")); // trades in the documents' currency
    leaveTo(form->btnALL);
    EXPECT_FALSE(form->ValidationFailed);
    EXPECT_EQ(form->MessageCodes.count(QStringLiteral("W;200636;")), warnings);
}

TEST_F(WriteOffForm, RefundTypeCheck)
{
    toLastPage(2);
    form->ed12->setFocus();
    form->ed12->SetText(QStringLiteral("7D01"));
    form->ed12Exit(form->ed12);
    EXPECT_FALSE(form->ValidationFailed) << form->MessageCodes.toStdString();
    EXPECT_FALSE(form->lbl12C->text().isEmpty());
    form->ed12->SetText(QStringLiteral("7101")); // no refund type
    form->ed12Exit(form->ed12);
    EXPECT_TRUE(form->ValidationFailed) << form->MessageCodes.toStdString();
    EXPECT_TRUE(form->lbl12C->text().isEmpty());
    EXPECT_TRUE(has(form->MessageCodes, "E;000001;选择退款单别"));
}

// 保存 keeps the conditions of the first two pages as a scheme with the date rules the
// clerk gives; opening it puts them back, the dates rolled to the day it is opened.
TEST_F(WriteOffForm, SchemesKeepTheFirstTwoPagesWithTheirRollingDates)
{
    ASSERT_TRUE(opened) << form->MessageTexts.toStdString();
    EXPECT_EQ(form->SchemeProperties, QStringLiteral("cbo01.itemindex;ed02.text;sp03.style;ed04.text;sp05.style;"
                                                     "sp06.style;sp07.style;sp08.style;sp09.style;"));
    form->cbo01->SetItemIndex(2);
    form->ed02->SetText(QStringLiteral("2024/03/15"));
    form->BtnNextClick(form->BtnNext);
    form->sp03->edBegin->SetText(QStringLiteral("2024/02/01"));
    form->sp05->SetUserChoice(false);
    form->sp05->AddValues({QStringLiteral("A001")});
    form->sp05->AddValues({QStringLiteral("A003")});
    form->BtnNextClick(form->BtnNext);
    ASSERT_EQ(form->CurrentPage, TfrmWOFB07::pgLast) << form->MessageCodes.toStdString();
    form->ed10->SetText(QStringLiteral("M1"));

    // The write-off date the last day of the previous month, the documents of that month.
    int namingDialogs = 0;
    ModalRunFn fixtureRunner;
    fixtureRunner = SetModalRunner([&](QWidget* w, const std::function<int()>& run) {
        auto* d = qobject_cast<TfrmGeneCondition*>(w);
        if (!d)
            return fixtureRunner(w, run);
        ++namingDialogs;
        EXPECT_EQ(d->cbodatecondition->itemText(0), form->lbl02->text()) << "the write-off date by its caption";
        d->edSetDate->setChecked(true);
        d->seSetDay1->SetValue(-1);
        d->cboSetDay1->setCurrentIndex(1);
        d->cboSetDay2->setCurrentIndex(2);
        d->cbodatecondition->setCurrentIndex(1);
        for (const auto& [tie, count, unit, adjust, day] :
             {std::tuple{d->spDate_B, d->seSetDay_B1, d->cboSetDay_B1, d->cboSetDay_B2, 1},
              std::tuple{d->spDate_E, d->seSetDay_E1, d->cboSetDay_E1, d->cboSetDay_E2, 2}}) {
            tie->setChecked(true);
            count->SetValue(-1);
            unit->setCurrentIndex(1);
            adjust->setCurrentIndex(day);
        }
        d->edConName->setText(QStringLiteral("月末预付"));
        d->btnOk->click();
        return d->ModalResult();
    });
    form->btnInsert->click();
    settleEvents();
    EXPECT_EQ(namingDialogs, 1);
    const QList<QTreeWidgetItem*> saved = form->lstCondition->findItems(QStringLiteral("月末预付"), Qt::MatchExactly);
    ASSERT_EQ(saved.size(), 1) << dialogs.join(QLatin1Char('|')).toStdString();

    // Other conditions meanwhile; opening on the last page goes back to the second.
    form->cbo01->SetItemIndex(0);
    form->ed04->SetText(QStringLiteral("USD"));
    form->sp05->SetUserChoice(true);
    form->lstCondition->setCurrentItem(saved.first());
    form->btnOpen->click();
    settleEvents();
    SetModalRunner(fixtureRunner);

    const std::string today = dateToCompact(Today());
    const auto shown = [](const std::string& compact) {
        return QString::fromStdString(DateToDisplayText(1, "/", CompactToDate(compact)));
    };
    EXPECT_EQ(form->CurrentPage, TfrmWOFB07::pgNext);
    EXPECT_EQ(form->cbo01->ItemIndex(), 2);
    EXPECT_EQ(form->ed02->Text(), shown(RelativeDate(today, "-1", "1", "0", "2")));
    EXPECT_EQ(form->sp03->edBegin->Text(), shown(RelativeDate(today, "-1", "1", "0", "1")));
    EXPECT_EQ(form->sp03->edFinal->Text(), form->ed02->Text());
    EXPECT_EQ(form->ed04->Text(), QStringLiteral("RMB"));
    EXPECT_EQ(form->sp05->ListBox->Rows(), (QList<QStringList>{{"A001"}, {"A003"}}));
    EXPECT_TRUE(form->sp09->Enabled() && !form->sp06->Enabled()) << "the panels follow the scheme's type";
    EXPECT_EQ(form->ed10->Text(), QStringLiteral("M1")) << "the batch number is no part of it";
}

// The listed documents are the open ones of the conditions, with their amounts summed
// exactly from the database's texts, sorted by supplier, type and number.
TEST_F(WriteOffForm, ListsTheOpenDocumentsOfEachTypeExactly)
{
    struct Case {
        int type;
        const char* sql;
    };
    const Case cases[] = {
        {0, "SELECT TA001, TA002, TA028, TA029, TA037, TA038, TA051, TA085 FROM ACPTA JOIN CMSMQ ON MQ001=TA001 "
            "WHERE TA024='Y' AND TA079='1' AND TA087='1' AND TA080='N' AND TA033='N' AND TA008='RMB' "
            "AND TA004 BETWEEN 'A001' AND 'A007' AND MQ003 IN ('71','7A','7F') AND CAST(TA030 AS REAL)=0 "
            "AND EXISTS (SELECT 1 FROM ACPTB WHERE TB001=TA001 AND TB002=TA002)"},
        {1, "SELECT TI001, TI002, TI015, 0, TI016, TI032, 0, TI018 FROM ACPTI WHERE TI031='1' AND TI013='Y' "
            "AND TI035='1' AND TI029='1' AND TI043='N' AND TI007='RMB' AND TI004 BETWEEN 'A001' AND 'A007' "
            "AND CAST(TI017 AS REAL)=0 AND EXISTS (SELECT 1 FROM ACPTJ WHERE TJ001=TI001 AND TJ002=TI002)"},
        {2, "SELECT TK001, TK002, TK030, 0, TK031, TK039, 0, TK036 FROM ACPTK JOIN CMSMQ ON MQ001=TK001 "
            "WHERE MQ003='7C' AND TK020='Y' AND TK043='1' AND TK028='1' AND TK007='RMB' "
            "AND TK004 BETWEEN 'A001' AND 'A007' AND CAST(TK035 AS REAL)=0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        if (form->CurrentPage != TfrmWOFB07::pgFirst) {
            form->btnpriorClick(form->btnprior);
            form->btnpriorClick(form->btnprior);
        }
        toLastPage(c.type);
        std::map<std::string, std::pair<Decimal, Decimal>> expected;
        for (const auto& row : company().query(c.sql).rows) {
            const Decimal original = CandidateAmount(row[2]) + CandidateAmount(row[3]);
            const Decimal local = CandidateAmount(row[4]) + CandidateAmount(row[5]) + CandidateAmount(row[6])
                                  - CandidateAmount(row[7]);
            expected[VarToStr(row[0]) + VarToStr(row[1])] = {original, local};
        }
        ASSERT_FALSE(expected.empty());
        ASSERT_EQ(form->cdsData->RecordCount(), int(expected.size()));
        std::string previous;
        for (int r = 0; r < form->cdsData->RecordCount(); ++r) {
            const std::string key = cell(r, "MA005") + cell(r, "MA006");
            ASSERT_TRUE(expected.count(key)) << key;
            EXPECT_EQ(amount(r, "MA016"), expected[key].first) << key;
            EXPECT_EQ(amount(r, "MA017"), expected[key].second) << key;
            EXPECT_EQ(amount(r, "MA021"), expected[key].first) << key;
            EXPECT_EQ(cell(r, "MA001"), "N");
            EXPECT_EQ(cell(r, "MA009"), "RMB");
            EXPECT_EQ(cell(r, "MA008").size(), 10u) << "the date in the user's format";
            const std::string order = cell(r, "MA002") + cell(r, "MA005") + cell(r, "MA006");
            EXPECT_LE(previous, order);
            previous = order;
        }
        EXPECT_EQ(form->TotalCount(), 0);
    }
}

TEST_F(WriteOffForm, DocumentSelectionsNarrowTheList)
{
    toLastPage(0);
    ASSERT_GT(form->cdsData->RecordCount(), 2);
    const std::string type = cell(1, "MA005");
    const std::string number = cell(1, "MA006");
    form->btnpriorClick(form->btnprior);
    TSelectPanel* panel = type == "7F01" ? form->sp07 : form->sp06;
    panel->SetStyle(TSelectPanel::sp_Discrete);
    panel->AddValues({QString::fromStdString(type + "-" + number)});
    form->BtnNextClick(form->BtnNext);
    ASSERT_EQ(form->CurrentPage, TfrmWOFB07::pgLast);
    EXPECT_TRUE(form->CandidateSql.contains(QString::fromStdString("TA001+TA002 IN ('" + type + number + "')"),
                                            Qt::CaseInsensitive))
        << form->CandidateSql.toStdString();
    // The other kind's group keeps all its documents.
    int ofKind = 0;
    for (int r = 0; r < form->cdsData->RecordCount(); ++r)
        if ((cell(r, "MA005") == "7F01") == (type == "7F01")) {
            ++ofKind;
            EXPECT_EQ(cell(r, "MA005") + cell(r, "MA006"), type + number);
        }
    EXPECT_EQ(ofKind, 1);
}

TEST_F(WriteOffForm, AQuoteInTheCurrencyListsNothing)
{
    form->BtnNextClick(form->BtnNext);
    form->ed04->SetText(QStringLiteral("X' OR '1'='1"));
    form->sp05->SetStyle(TSelectPanel::sp_Range);
    form->sp05->edBegin->SetText(QStringLiteral("A001"));
    form->sp05->edFinal->SetText(QStringLiteral("B006"));
    form->BtnNextClick(form->BtnNext);
    ASSERT_EQ(form->CurrentPage, TfrmWOFB07::pgLast);
    EXPECT_TRUE(form->CandidateSql.contains(QStringLiteral("TA008= 'X'' OR ''1''=''1'")));
    EXPECT_EQ(form->cdsData->RecordCount(), 0);
}

TEST_F(WriteOffForm, TotalsFollowTheTicksExactly)
{
    toLastPage(0);
    const int n = form->cdsData->RecordCount();
    ASSERT_GT(n, 5);
    Decimal original, local;
    for (int r : {0, 2, 4}) {
        tick(r, true);
        original += amount(r, "MA016");
        local += amount(r, "MA017");
    }
    EXPECT_EQ(form->TotalCount(), 3);
    EXPECT_EQ(form->TotalOriginal(), original);
    EXPECT_EQ(form->TotalLocal(), local);
    tick(2, true); // already ticked: counted once
    EXPECT_EQ(form->TotalCount(), 3);
    tick(1, false); // never ticked: nothing taken off
    EXPECT_EQ(form->TotalCount(), 3);

    form->btnALLClick(form->btnALL);
    Decimal all, allLocal;
    for (int r = 0; r < n; ++r) {
        all += amount(r, "MA016");
        allLocal += amount(r, "MA017");
    }
    EXPECT_EQ(form->TotalCount(), n);
    EXPECT_EQ(form->TotalOriginal(), all);
    EXPECT_EQ(form->TotalLocal(), allLocal);
    EXPECT_EQ(form->edMA021->Text().toStdString(), withThousands(all.rescaled(2).toFixed()));

    // Any order of ticks and unticks comes back to exactly nothing.
    std::mt19937 random(7);
    for (int i = 0; i < 500; ++i)
        tick(int(random() % unsigned(n)), random() % 2 == 0);
    form->BtnAllNoClick(form->BtnAllNo);
    EXPECT_EQ(form->TotalCount(), 0);
    EXPECT_TRUE(form->TotalOriginal().isZero()) << form->TotalOriginal().toString();
    EXPECT_TRUE(form->TotalLocal().isZero()) << form->TotalLocal().toString();

    // A new list starts from nothing.
    tick(0, true);
    form->btnFilterClick(form->btnFilter);
    EXPECT_EQ(form->TotalCount(), 0);
    EXPECT_EQ(form->cdsData->RecordCount(), n);
}

// The totals box shows what the grid shows and takes no keys: a count typed into it would
// decide what the run hands over.
TEST_F(WriteOffForm, TheTotalsBoxIsReadOnlyAndShowsItsFormats)
{
    toLastPage(0);
    EXPECT_EQ(form->edMA021->Text(), QStringLiteral("0.00"));
    EXPECT_EQ(form->edMA022->Text(), QStringLiteral("0.00"));
    EXPECT_EQ(form->QvDBEdit1->Text(), QStringLiteral("0"));
    tick(0, true);
    for (TQvDBEdit* sum : {form->edMA021, form->edMA022, form->QvDBEdit1})
        EXPECT_TRUE(sum->isReadOnly()) << sum->objectName().toStdString();
    form->QvDBEdit1->setFocus();
    QTest::keyClick(form->QvDBEdit1, Qt::Key_End);
    QTest::keyClick(form->QvDBEdit1, Qt::Key_Backspace);
    QTest::keyClicks(form->QvDBEdit1, QStringLiteral("0"));
    form->ed10->setFocus();
    EXPECT_EQ(form->TotalCount(), 1);
    EXPECT_EQ(form->QvDBEdit1->Text(), QStringLiteral("1"));
    const auto shown = [&](const char* field) {
        return form->dsData->data(form->dsData->index(0, form->dsData->ColumnOfField(QString::fromLatin1(field)))).toString();
    };
    EXPECT_EQ(form->edMA021->Text(), shown("MA016"));
    EXPECT_EQ(form->edMA022->Text(), shown("MA017"));

    // A currency of four decimals: its totals show four, the local ones two.
    form->btnpriorClick(form->btnprior);
    form->ed04->SetText(QStringLiteral("CLF"));
    form->ed04Exit(form->ed04);
    form->BtnNextClick(form->BtnNext);
    ASSERT_EQ(form->CurrentPage, TfrmWOFB07::pgLast) << form->MessageCodes.toStdString();
    EXPECT_EQ(form->edMA021->Text(), QStringLiteral("0.0000"));
    EXPECT_EQ(form->edMA022->Text(), QStringLiteral("0.00"));
}

TEST_F(WriteOffForm, AListLongerThanOnePartOfTheAnswerIsWholeAndInOrder)
{
    // Two full parts of the answer and a few rows more.
    const int copies = 2 * kCandidatePartRows + 7;
    addCopiesForZ900(company(), copies);
    toLastPage(0, QStringLiteral("RMB"), QStringLiteral("Z900"), QStringLiteral("Z900"));
    ASSERT_EQ(form->cdsData->RecordCount(), copies);
    std::set<std::string> numbers;
    Decimal sum;
    std::string previous;
    for (int r = 0; r < copies; ++r) {
        numbers.insert(cell(r, "MA006"));
        sum += amount(r, "MA016");
        const std::string order = cell(r, "MA002") + cell(r, "MA005") + cell(r, "MA006");
        EXPECT_LE(previous, order);
        previous = order;
    }
    EXPECT_EQ(numbers.size(), std::size_t(copies)) << "no row lost or doubled where one part ends";
    const Variant expected =
        company().scalar("SELECT SUM(CAST(TA028 AS DECIMAL(20,2)) + CAST(TA029 AS DECIMAL(20,2))) FROM ACPTA WHERE TA004='Z900'");
    form->btnALLClick(form->btnALL);
    EXPECT_EQ(form->TotalCount(), copies);
    EXPECT_EQ(form->TotalOriginal(), sum);
    EXPECT_EQ(sum.rescaled(2).toFixed(), Decimal::fromDouble(expected.toDouble()).rescaled(2).toFixed());
}

TEST_F(WriteOffForm, AListTheServerStopsAfterSomePartsShowsNoneAndTellsWhy)
{
    addCopiesForZ900(company(), 2 * kCandidatePartRows + 7);
    // A row bound between the second part and the rest, for a server made after this.
    const std::string ini = installation->folder + "server/BriskoS.ini";
    std::string saved;
    {
        std::ifstream in(ini, std::ios::binary);
        saved.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::string bounded = saved;
    const std::size_t at = bounded.find("[DBE Setting]");
    ASSERT_NE(at, std::string::npos);
    bounded.insert(bounded.find('\n', at) + 1, "QueryMaxRows=" + std::to_string(2 * kCandidatePartRows + 3) + "\r\n");
    std::ofstream(ini, std::ios::binary | std::ios::trunc) << bounded;
    form->Free();
    settleEvents();
    form = TQVForm::Create<TfrmWOFB07>(nullptr);
    form->SetModuleFileName(QStringLiteral("/opt/qv/WOFB07C.so"));
    form->SessionObject = Variant(std::static_pointer_cast<Dispatch>(std::make_shared<HostSession>()));
    ASSERT_TRUE(form->InitSession(Variant::list({installation->user, installation->company, installation->database,
                                                 std::int64_t(0), Variant()})));
    form->show();
    settleEvents();
    dialogs.clear();
    toLastPage(0, QStringLiteral("RMB"), QStringLiteral("Z900"), QStringLiteral("Z900"));
    std::ofstream(ini, std::ios::binary | std::ios::trunc) << saved;
    EXPECT_EQ(form->cdsData->RecordCount(), 0) << "no part of the list stands for all of it";
    EXPECT_EQ(form->TotalCount(), 0);
    ASSERT_FALSE(dialogs.isEmpty());
    EXPECT_TRUE(dialogs.join(QStringLiteral("|")).contains(QStringLiteral("QueryMaxRows"))) << dialogs.join(QStringLiteral("|")).toStdString();
}

TEST_F(WriteOffForm, TabFromAPageReachesItsStepForwardFirst)
{
    QApplication::setActiveWindow(form);
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    form->BtnNextClick(form->BtnNext);
    ASSERT_EQ(form->CurrentPage, TfrmWOFB07::pgNext);
    EXPECT_EQ(TabOrder(form->BtnNext), 0);
    // Tab through the page's controls: the first one after them is the step forward.
    form->sp03->edBegin->setFocus();
    QWidget* out = nullptr;
    for (int i = 0; i < 60 && !out; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* at = QApplication::focusWidget();
        if (at && !form->pnlNext->isAncestorOf(at))
            out = at;
    }
    EXPECT_EQ(out, form->BtnNext) << (out ? out->objectName().toStdString() : "nothing");
    form->ed04->SetText(QStringLiteral("RMB"));
    form->sp05->SetStyle(TSelectPanel::sp_Range);
    form->sp05->edBegin->SetText(QStringLiteral("A001"));
    form->sp05->edFinal->SetText(QStringLiteral("A002"));
    form->BtnNextClick(form->BtnNext);
    ASSERT_EQ(form->CurrentPage, TfrmWOFB07::pgLast) << form->MessageCodes.toStdString();
    EXPECT_EQ(TabOrder(form->btnFilter), 0);
}

// The form in the interface language of its installation.
class WriteOffFormInLanguage : public WriteOffForm, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override
    {
        DemoInstall::SetLanguage(*installation, GetParam());
        WriteOffForm::SetUp();
    }
    void TearDown() override
    {
        WriteOffForm::TearDown();
        DemoInstall::SetLanguage(*installation, "CHS");
    }
};

// The candidate grid's titles are its fields' labels as the language file gives them, and
// a status or kind cell shows the item of its mapped combo, in the same words.
TEST_P(WriteOffFormInLanguage, TheCandidateGridSpeaksTheInterfaceLanguage)
{
    const bool english = QString::fromLatin1(GetParam()) == QLatin1String("ENG");
    toLastPage(0);
    QAbstractItemModel* grid = form->grdResult->model();
    ASSERT_GT(grid->rowCount(), 0);
    const auto title = [&](const char* field) {
        return grid->headerData(form->dsData->ColumnOfField(QString::fromLatin1(field)), Qt::Horizontal).toString();
    };
    const auto shown = [&](int row, const char* field) {
        return grid->data(grid->index(row, form->dsData->ColumnOfField(QString::fromLatin1(field)))).toString();
    };
    EXPECT_EQ(title("MA015"), english ? QStringLiteral("Status") : QStringLiteral("核銷狀態"));
    EXPECT_EQ(title("MA009"), english ? QStringLiteral("Cur.") : QStringLiteral("幣別"));
    EXPECT_EQ(title("MA016"), english ? QStringLiteral("Payable") : QStringLiteral("原幣應付金額"));
    EXPECT_EQ(form->gbCycleRang->title(), english ? QStringLiteral("Range") : QStringLiteral("循環範圍"));
    bool purchase = false;
    for (int row = 0; row < grid->rowCount(); ++row) {
        ASSERT_EQ(cell(row, "MA015"), "1");
        EXPECT_EQ(shown(row, "MA015"), english ? QStringLiteral("1.Open") : QStringLiteral("1.未核銷"));
        const QString kind = QString::fromStdString(cell(row, "MA400"));
        EXPECT_EQ(shown(row, "MA400"), form->cbxMA400G->ItemOfValue(kind));
        if (kind == QLatin1String("71")) {
            purchase = true;
            EXPECT_EQ(shown(row, "MA400"), english ? QStringLiteral("Purchase inv.") : QStringLiteral("採購發票"));
        }
    }
    EXPECT_TRUE(purchase) << "the demo lists purchase invoices";
}

INSTANTIATE_TEST_SUITE_P(InterfaceLanguages, WriteOffFormInLanguage, ::testing::Values("ENG", "CHT"));
