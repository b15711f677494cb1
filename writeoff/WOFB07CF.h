#pragma once
// TfrmWOFB07: the accounts-payable write-off job form. Three pages in the options tab:
// the write-off type and date, then the selection of candidate documents (document dates,
// currency, suppliers, document numbers), then the candidate grid with the batch number,
// the transfer supplier and, for prepayments, the refund document type. The chosen
// documents go to the job's server library with the job's conditions.

#include "batch/BaseBatchCF.h"
#include "dataset/Decimal.h"

#include <memory>

class QFrame;
class QGroupBox;
class QLabel;
class TClientDataSet;
class TDataSource;
class TFDBGrid;
class TField;
class TQvBtnEdit;
class TQvComboBox;
class TQvDBEdit;
class TQvEdit;

class TfrmWOFB07 : public TfrmBaseBatch {
    Q_OBJECT

public:
    enum TPage { pgFirst, pgNext, pgLast };

    explicit TfrmWOFB07(QWidget* owner = nullptr);
    ~TfrmWOFB07() override;

    // --- Components ---------------------------------------------------------------------
    QFrame* pnlFirst = nullptr;
    QFrame* pnlNext = nullptr;
    QFrame* pnlLast = nullptr;
    TQvComboBox* cbo01 = nullptr;
    QLabel* lbl02 = nullptr;
    TMaskEdit* ed02 = nullptr;
    TF2Button* btn02 = nullptr;
    TSelectPanel* sp03 = nullptr;
    TQvBtnEdit* ed04 = nullptr;
    TSelectPanel* sp05 = nullptr;
    TSelectPanel* sp06 = nullptr;
    TSelectPanel* sp07 = nullptr;
    TSelectPanel* sp08 = nullptr;
    TSelectPanel* sp09 = nullptr;
    TQvEdit* ed10 = nullptr;
    TQvBtnEdit* ed11 = nullptr;
    QLabel* lbl11C = nullptr;
    TQvBtnEdit* ed12 = nullptr;
    QLabel* lbl12C = nullptr;
    TFDBGrid* grdResult = nullptr;
    TQvEdit* edFind = nullptr;
    QLabel* lblHiddenTicked = nullptr;
    QLabel* lblRunBatch = nullptr;
    TQvComboBox* cboMA015G = nullptr;
    TQvComboBox* cbxMA400G = nullptr;
    QGroupBox* gbSum = nullptr;
    TQvDBEdit* edMA021 = nullptr;
    TQvDBEdit* edMA022 = nullptr;
    TQvDBEdit* QvDBEdit1 = nullptr;
    TBitBtn* btnFilter = nullptr;
    TBitBtn* btnprior = nullptr;
    TBitBtn* BtnNext = nullptr;
    TBitBtn* btnALL = nullptr;
    TBitBtn* BtnAllNo = nullptr;
    TBitBtn* btnExport = nullptr;
    TBitBtn* btnHistory = nullptr;
    std::unique_ptr<TClientDataSet> cdsData;
    std::unique_ptr<TClientDataSet> cdsSum;
    TDataSource* dsData = nullptr;
    TDataSource* dsSum = nullptr;

    // --- State --------------------------------------------------------------------------
    TPage CurrentPage = pgFirst;
    QString OpenMonthAfter;
    QString OpenMonthFrom;
    Variant FilterValues;
    QString LastRejectedSupplier;
    // Set while a value handed in is checked: a warning is recorded, not shown, so that it
    // does not refuse the hand-over.
    bool CheckingHandedIn = false;
    QString CandidateSql;
    int CurrencyDecimals = 2;
    int LocalDecimals = 2;

    // --- Overrides ------------------------------------------------------------------------
    void InitJob() override;
    bool InitSession(const Variant& session) override;
    void HandleF2Key(int key, QWidget* control) override;
    void AfterApplyValue(QWidget* control, const QString& value) override;
    bool CollectOptionTexts(Variant& texts, int index) override;
    bool CollectOptionValues(Variant& values, int index) override;
    void btnQueryClick(QObject* sender) override;
    // A periodic job's batch number is a prefix (RunBatchNote.h): the page says so.
    void btnPeriodClick(QObject* sender) override;
    void pgOptionChange(QObject* sender) override;
    // The number of ticked documents, their totals, the batch number and the transfer
    // supplier, and whether to post them now.
    bool ConfirmDirectRun() override;
    // The inherited drop-down beside btnOk belongs to the last page, as btnOk does.
    void FormShow(QObject* sender) override;
    // The window's place and the grid's columns are kept for the user's next time.
    void FormDestroy(QObject* sender) override;
    // btnFilter takes a value in ApplyParams, how a write-off is scripted: the pages are
    // walked as a person walks them (their checks report and stop), the candidates listed
    // and the documents of the value ticked: "*" every one, else the listed keys (type and
    // number); a key that is not listed reports and stops. BtnNext and btnprior take the
    // number of presses (WOFB07HandOver.h).
    bool TakesAction(QWidget* control) const override;
    bool ApplyAction(QWidget* control, const Variant& value) override;
    // Enter from the last field of a page of the job's own tab steps forward.
    QAbstractButton* StepForwardButton() override;
    // The candidate query and the supplier's name follow from the fields: not entered.
    Variant ConditionSnapshot() override;

    // --- Handlers -------------------------------------------------------------------------
    void btnpriorClick(QObject* sender);
    void BtnNextClick(QObject* sender);
    void btnFilterClick(QObject* sender);
    void btnALLClick(QObject* sender);
    void BtnAllNoClick(QObject* sender);
    void grdResultDblClick(QObject* sender);
    void ed02Exit(QObject* sender);
    void sp03Exit(QObject* sender);
    void ed04Exit(QObject* sender);
    void ed10Exit(QObject* sender);
    void ed10KeyPress(QObject* sender, QChar& key);
    void ed11Exit(QObject* sender);
    void ed12Exit(QObject* sender);
    void cdsDataMA001Validate(TField* sender);
    // The find box narrows the rows in sight as it is typed.
    void edFindChange(QObject* sender);
    // The candidates as shown, to a spreadsheet file (CandidateExport.h).
    void btnExportClick(QObject* sender);
    // The company's write-off batches, to look back on, reverse, print or export (BatchHistory.h).
    void btnHistoryClick(QObject* sender);

    void ResetTotals();
    void ShowFirstPage();
    void ShowNextPage();
    void ShowLastPage();
    // The chosen documents: type and number joined, in grid order; ["NN"] when none.
    Variant ChosenDocuments();
    // The exact totals of cdsSum.
    Decimal TotalOriginal() const;
    Decimal TotalLocal() const;
    int TotalCount() const;

    // A scheme keeps the first two pages; opening one leaves the candidates listed.
    void CollectSchemeProperties() override;
    bool AfterSchemeApplied() override;

private:
    void setButtons(bool prior, bool next, bool last);
    void bottomPanelAfterPages();
    void checkOpenMonth(const QString& compactMonth, bool& accepted) const;
    // A date field holding a date that does not exist is reported by name and focused.
    bool dateExists(QWidget* field);
    QString writeOffDateCompact();
    int queryDecimals(const QString& currency);
    void applyAmountFormats(bool currencyOnly);
    // "全选" and "全不选" stand beside the grid only while it is in sight.
    void showTickButtons();
    QString layoutFile() const;
    void paintPanel(TSelectPanel* panel, bool enabled);
};
