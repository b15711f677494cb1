#pragma once
// TfrmBatchHistory ("转销记录"): the company's write-off batches as the application server
// reads them back (WriteOffBatches, newest first), the documents of the chosen one below
// (WriteOffBatch); from it the clerk reverses a batch (ReverseWriteOff: the server decides
// who may, its refusal is shown), prints its report to a PDF file or exports its
// documents to a spreadsheet (BatchHistoryFiles.h). Amounts show their currency's
// decimals and are never rounded (ShownAmountText).

#include "batch/QVDialog.h"
#include "report/WriteOffBatch.h"

#include <optional>
#include <vector>

class QLabel;
class QTableWidget;
class TBitBtn;
class TfrmBaseGene;

class TfrmBatchHistory : public TfrmQVDialog {
    Q_OBJECT

public:
    enum BatchColumn { bcBatch, bcDate, bcRanBy, bcDocuments, bcTotals, bcHow, bcReversedBy, bcReversedAt, bcCount };
    enum DocumentColumn { dcSupplier, dcName, dcType, dcNumber, dcDate, dcCurrency, dcOriginal, dcLocal, dcCount };

    explicit TfrmBatchHistory(TfrmBaseGene* job);

    QLabel* lblBatches = nullptr;
    QTableWidget* grBatches = nullptr;
    QLabel* lblDocuments = nullptr;
    QTableWidget* grDocuments = nullptr;
    TBitBtn* btnReverse = nullptr;
    TBitBtn* btnPrint = nullptr;
    TBitBtn* btnExport = nullptr;
    TBitBtn* btnClose = nullptr;

    // The list as the server answered it, in its order (the rows of grBatches).
    std::vector<WriteOffBatchSummary> Batches;
    // The chosen batch with its documents; none when no batch is chosen or it could not
    // be read (the clerk was told why).
    std::optional<WriteOffBatchRecord> Record;
    // A batch was reversed here.
    bool Reversed = false;

    // Reads the list again and chooses the batch of that number, else the first; false
    // (told) when the server refused or failed.
    bool Refresh(const std::string& choose = {});
    // Reads the batch of the row and shows its documents.
    void ChooseBatch(int row);
    // Asks, then has the server reverse the chosen batch; the list read again after it.
    void btnReverseClick();
    void btnPrintClick();
    void btnExportClick();

    TfrmBaseGene& Job() const { return job_; }
    // A text the dialog looks up by key in its language file (TfrmBatchHistory.Lng).
    QString Text(const char* key, const char* simplified) const;

protected:
    // The columns fit their titles once the language file gave them.
    void FormShow(QObject* sender) override;

private:
    void buildGrids();
    void buildButtons();
    void showBatches();
    void showDocuments();
    void enableButtons();
    // The server's member answered, converted for the interface; Empty when the call
    // failed, and why in failure.
    Variant call(const char* member, std::vector<Variant> args, QString& failure);
    QString serverFailure();

    TfrmBaseGene& job_;
};

// Opens the dialog over the job (through the modal runner) with the list read; true when
// a batch was reversed in it.
bool ShowBatchHistory(TfrmBaseGene* job);
