// The write-off history: batches written off and reversed through the form and the server,
// then looked back on, reversed, printed and exported through the dialog's own buttons.

#include "WriteOffFixture.h"

#include "controls/Buttons.h"
#include "dataset/DisplayFormat.h"
#include "tests/export/CsvRecords.h"
#include "writeoff/BatchHistory.h"

#include <QFileDialog>
#include <QTableWidget>
#include <QTest>

#include <cstdio>
#include <map>
#include <memory>

namespace {

// What the database holds of a batch.
struct StoredBatch {
    int documents = 0;
    std::map<std::string, Decimal> totals; // by currency
    std::vector<std::string> numbers;
    bool reversed = false;
    std::string reversedBy;
};

std::string pdfText(const QString& file)
{
    std::string out;
    const std::string command = "pdftotext -layout '" + file.toStdString() + "' -";
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;)
            out.append(buffer, n);
        pclose(p);
    }
    return out;
}

class BatchHistoryView : public WriteOffForm {
protected:
    void SetUp() override
    {
        WriteOffForm::SetUp();
        SetModalRunner([this](QWidget* w, const std::function<int()>&) {
            if (auto* history = qobject_cast<TfrmBatchHistory*>(w)) {
                ++shown;
                if (onHistory)
                    onHistory(*history);
                return int(mrCancel);
            }
            if (auto* files = qobject_cast<QFileDialog*>(w)) {
                for (const QString& filter : files->nameFilters())
                    if (filter.contains(saveType))
                        files->selectNameFilter(filter);
                files->selectFile(saveAs);
                return int(QDialog::Accepted);
            }
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box)
                dialogs << box->text();
            return box && box->button(QMessageBox::Yes) ? questionAnswer : mrOk;
        });
    }
    void openAs(const char* user)
    {
        form->Free();
        settleEvents();
        form = TQVForm::Create<TfrmWOFB07>(nullptr);
        form->SetModuleFileName(QStringLiteral("/opt/qv/WOFB07C.so"));
        form->SessionObject = Variant(std::static_pointer_cast<Dispatch>(std::make_shared<HostSession>()));
        opened = form->InitSession(Variant::list({user, installation->company, installation->database, std::int64_t(0), Variant()}));
        form->show();
        settleEvents();
    }

    // The first `count` candidates of the currency and suppliers written off directly, as
    // the clerk does, as batch.
    void writeOff(const char* batch, int count, const char* currency = "RMB", const char* from = "A001",
                  const char* to = "A007")
    {
        while (form->CurrentPage != TfrmWOFB07::pgFirst)
            form->btnpriorClick(form->btnprior);
        toLastPage(0, QString::fromLatin1(currency), QString::fromLatin1(from), QString::fromLatin1(to));
        ASSERT_GE(form->cdsData->RecordCount(), count);
        for (int r = 0; r < count; ++r)
            tick(r, true);
        form->ed10->SetText(QString::fromLatin1(batch));
        form->ed10Exit(form->ed10);
        form->ed11->SetText(QStringLiteral("B006"));
        form->ed11Exit(form->ed11);
        ASSERT_FALSE(form->ValidationFailed) << form->MessageCodes.toStdString();
        questionAnswer = mrYes;
        form->btnQueryClick(form->btnQuery);
        settleEvents();
        ASSERT_EQ(company().scalar("SELECT COUNT(*) FROM ACPLC WHERE LC001=:K", {{"K", std::string("WOFB07-") + batch}}).toInt(),
                  count)
            << dialogs.join(QStringLiteral(" | ")).toStdString();
    }

    std::map<std::string, StoredBatch> stored()
    {
        std::map<std::string, StoredBatch> batches;
        company().forEachRow("SELECT LC001, LC006, LC009, LC010, LC015, LC016 FROM ACPLC WHERE LC001 LIKE 'WOFB07-%' "
                             "ORDER BY LC001, LC002",
                             {}, [&](const std::vector<Variant>& row) {
                                 StoredBatch& b = batches[VarToStr(row[0]).substr(7)];
                                 ++b.documents;
                                 b.numbers.push_back(VarToStr(row[1]));
                                 b.totals[VarToStr(row[2])] += Decimal::parse(VarToStr(row[3]));
                                 b.reversed = VarToStr(row[4]) == "Y";
                                 b.reversedBy = VarToStr(row[5]);
                                 return true;
                             });
        return batches;
    }
    int decimalsOf(const std::string& currency)
    {
        return company().scalar("SELECT MF004 FROM CMSMF WHERE MF001=:C", {{"C", currency}}).toInt();
    }

    static int rowOf(TfrmBatchHistory& h, const std::string& batch)
    {
        for (int r = 0; r < h.grBatches->rowCount(); ++r)
            if (h.grBatches->item(r, TfrmBatchHistory::bcBatch)->text().toStdString() == batch)
                return r;
        return -1;
    }
    static std::string cellOf(QTableWidget* grid, int row, int column)
    {
        const QTableWidgetItem* item = grid->item(row, column);
        return item ? item->text().toStdString() : std::string();
    }

    int shown = 0; // history dialogs
    std::function<void(TfrmBatchHistory&)> onHistory;
    QString saveAs;
    QString saveType;
};

} // namespace

TEST_F(BatchHistoryView, ListsTheBatchesOfTheDatabaseNewestFirstWithTotalsAndTheReverser)
{
    ASSERT_TRUE(form->IsLocalServer);
    writeOff("H1", 2);
    // In another currency than the local one: its amounts are not the local ones.
    writeOff("H2", 2, "USD", "B001", "B003");
    // H1 reversed through the server member a desk calls.
    std::vector<Variant> args{QStrToVar(form->CompanyCode), QStrToVar(form->DatabaseName), "H1", ""};
    ASSERT_EQ(VarToStr(form->AppServer.invoke("ReverseWriteOff", args)), "");

    const std::map<std::string, StoredBatch> db = stored();
    ASSERT_TRUE(db.count("H1") && db.count("H2"));
    onHistory = [&](TfrmBatchHistory& h) {
        ASSERT_EQ(h.grBatches->rowCount(), int(db.size()));
        EXPECT_LT(rowOf(h, "H2"), rowOf(h, "H1")) << "newest first";
        for (const auto& [batch, b] : db) {
            const int r = rowOf(h, batch);
            ASSERT_GE(r, 0) << batch;
            EXPECT_EQ(cellOf(h.grBatches, r, TfrmBatchHistory::bcDocuments), std::to_string(b.documents)) << batch;
            std::string totals;
            for (const auto& [currency, sum] : b.totals)
                totals += (totals.empty() ? "" : "; ") + currency + " " + ShownAmountText(sum, decimalsOf(currency));
            EXPECT_EQ(cellOf(h.grBatches, r, TfrmBatchHistory::bcTotals), totals) << batch;
            const std::string by = cellOf(h.grBatches, r, TfrmBatchHistory::bcReversedBy);
            EXPECT_TRUE(b.reversed ? by.rfind(b.reversedBy + " ", 0) == 0 : by.empty()) << batch << ": " << by;
            EXPECT_EQ(cellOf(h.grBatches, r, TfrmBatchHistory::bcReversedAt).empty(), !b.reversed) << batch;
        }
        EXPECT_EQ(db.at("H1").reversedBy, installation->user) << "the signed-on user";
        EXPECT_EQ(cellOf(h.grBatches, rowOf(h, "H1"), TfrmBatchHistory::bcReversedBy), "DS 系统管理员");
        // The chosen batch's documents below, in its order; a reversed batch is not reversed again.
        h.grBatches->setCurrentCell(rowOf(h, "H1"), 0);
        ASSERT_EQ(h.grDocuments->rowCount(), 2);
        for (int r = 0; r < 2; ++r)
            EXPECT_EQ(cellOf(h.grDocuments, r, TfrmBatchHistory::dcNumber), db.at("H1").numbers[std::size_t(r)]);
        EXPECT_FALSE(h.btnReverse->isEnabled());
        h.grBatches->setCurrentCell(rowOf(h, "H2"), 0);
        EXPECT_EQ(h.grDocuments->rowCount(), 2);
        EXPECT_TRUE(h.btnReverse->isEnabled());
    };
    QTest::mouseClick(form->btnHistory, Qt::LeftButton);
    EXPECT_EQ(shown, 1);
}

TEST_F(BatchHistoryView, ReversesAfterTheClerkConfirmsAndShowsTheServersRefusal)
{
    writeOff("H3", 2);
    writeOff("H4", 1);
    const auto reversed = [&](const char* key) {
        return VarToStr(company().scalar("SELECT MAX(LC015) || MAX(LC016) FROM ACPLC WHERE LC001=:K", {{"K", key}}));
    };
    onHistory = [&](TfrmBatchHistory& h) {
        h.grBatches->setCurrentCell(rowOf(h, "H3"), 0);
        questionAnswer = mrNo;
        dialogs.clear();
        QTest::mouseClick(h.btnReverse, Qt::LeftButton);
        EXPECT_EQ(dialogs.size(), 1);
        EXPECT_EQ(reversed("WOFB07-H3"), "N") << "No leaves it";
        questionAnswer = mrYes;
        QTest::mouseClick(h.btnReverse, Qt::LeftButton);
        EXPECT_EQ(reversed("WOFB07-H3"), "YDS") << dialogs.join(QStringLiteral(" | ")).toStdString();
        // The list read again: the same batch chosen, its reverser shown.
        const int r = rowOf(h, "H3");
        EXPECT_EQ(h.grBatches->currentRow(), r);
        EXPECT_EQ(cellOf(h.grBatches, r, TfrmBatchHistory::bcReversedBy), "DS 系统管理员");
        EXPECT_FALSE(h.btnReverse->isEnabled());
    };
    QTest::mouseClick(form->btnHistory, Qt::LeftButton);
    ASSERT_EQ(shown, 1);
    EXPECT_TRUE(dialogs.last().contains(QStringLiteral("H3"))) << dialogs.last().toStdString();
    const int candidates = form->cdsData->RecordCount();

    // U004 may look back (he may queue the job) but not reverse: the server says so.
    openAs("U004");
    ASSERT_TRUE(opened) << form->MessageTexts.toStdString();
    onHistory = [&](TfrmBatchHistory& h) {
        h.grBatches->setCurrentCell(rowOf(h, "H4"), 0);
        ASSERT_TRUE(h.btnReverse->isEnabled());
        dialogs.clear();
        QTest::mouseClick(h.btnReverse, Qt::LeftButton);
        ASSERT_EQ(dialogs.size(), 2);
        EXPECT_TRUE(dialogs[1].contains(QStringLiteral("may not run WOFB07 directly"))) << dialogs[1].toStdString();
        EXPECT_EQ(cellOf(h.grBatches, rowOf(h, "H4"), TfrmBatchHistory::bcReversedBy), "");
    };
    QTest::mouseClick(form->btnHistory, Qt::LeftButton);
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(reversed("WOFB07-H4"), "N");
    EXPECT_GT(candidates, 0);
}

TEST_F(BatchHistoryView, PrintsTheBatchsReportAndExportsItsDocuments)
{
    writeOff("H5", 2, "USD", "B001", "B003");
    const StoredBatch b = stored().at("H5");
    QTemporaryDir out;
    onHistory = [&](TfrmBatchHistory& h) {
        h.grBatches->setCurrentCell(rowOf(h, "H5"), 0);
        saveAs = out.filePath(QStringLiteral("h5.pdf"));
        saveType = QStringLiteral("PDF");
        QTest::mouseClick(h.btnPrint, Qt::LeftButton);
        saveAs = out.filePath(QStringLiteral("h5.csv"));
        saveType = QStringLiteral("CSV");
        QTest::mouseClick(h.btnExport, Qt::LeftButton);
    };
    dialogs.clear();
    QTest::mouseClick(form->btnHistory, Qt::LeftButton);
    EXPECT_TRUE(dialogs.isEmpty()) << dialogs.join(QStringLiteral(" | ")).toStdString();

    const std::string pdf = pdfText(out.filePath(QStringLiteral("h5.pdf")));
    EXPECT_NE(pdf.find("WOFB07-H5"), std::string::npos) << pdf;
    for (const std::string& number : b.numbers)
        EXPECT_NE(pdf.find(number), std::string::npos) << number << "\n" << pdf;

    const CsvFile csv = ReadCsv(out.filePath(QStringLiteral("h5.csv")).toStdString());
    ASSERT_EQ(csv.records.size(), b.numbers.size() + 1);
    EXPECT_EQ(csv.records[0].at(TfrmBatchHistory::dcNumber), "单据号码");
    Decimal sum;
    for (std::size_t i = 0; i < b.numbers.size(); ++i) {
        EXPECT_EQ(csv.records[i + 1].at(TfrmBatchHistory::dcNumber), b.numbers[i]);
        sum += Decimal::parse(csv.records[i + 1].at(TfrmBatchHistory::dcOriginal));
    }
    EXPECT_EQ(sum, b.totals.at("USD"));
}
