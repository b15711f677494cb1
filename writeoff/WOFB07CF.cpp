#include "writeoff/WOFB07CF.h"

#include "config/QtVariant.h"
#include "controls/Buttons.h"
#include "controls/DataSource.h"
#include "controls/ExtPage.h"
#include "controls/FDBGrid.h"
#include "controls/MaskEdit.h"
#include "controls/QvrEdit.h"
#include "controls/SelectPnl.h"
#include "controls/TabOrder.h"
#include "jobform/FormLayout.h"
#include "jobform/SchemeValues.h"
#include "dataset/ClientDataSet.h"
#include "dataset/DisplayFormat.h"
#include "platform/OleDate.h"
#include "support/Conditions.h"
#include "support/Dates.h"
#include "writeoff/BatchHistory.h"
#include "writeoff/CandidateExport.h"
#include "writeoff/CandidateList.h"
#include "writeoff/RunBatchNote.h"
#include "writeoff/WOFB07HandOver.h"
#include "writeoff/WOFB07Layout.h"
#include "writeoff/WOFB07Lookup.h"
#include "writeoff/WOFB07Query.h"

#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <QScopedValueRollback>

#include <memory>

namespace {

// The first row of a validator answer that may be one row or a list of rows.
Variant firstRow(const Variant& answer)
{
    if (answer.isArray() && answer.count() > 0 && answer[answer.lowBound()].isArray())
        return answer[answer.lowBound()];
    return answer;
}

QString noSeparators(QString text, const QString& separator)
{
    if (!separator.isEmpty())
        text.remove(separator);
    return text.trimmed();
}

} // namespace

TfrmWOFB07::TfrmWOFB07(QWidget* owner) : TfrmBaseBatch(owner)
{
    setObjectName(QStringLiteral("frmWOFB07"));
    // Room for page 2 with its prepayments, the schedule, and the candidates with their amounts.
    resize(960, 540);
    cdsData = std::make_unique<TClientDataSet>("cdsData");
    cdsSum = std::make_unique<TClientDataSet>("cdsSum");
    DefineCandidateFields(*cdsData);
    cdsData->FieldByName("MA001")->OnValidate = [this](TField* f) { cdsDataMA001Validate(f); };
    cdsSum->AddField("MA001", ftString, 10);
    cdsSum->AddField("MA021", ftBCD, 6)->SetDisplayLabel("原币转销金额合计");
    cdsSum->AddField("MA022", ftBCD, 6)->SetDisplayLabel("本币转销金额合计");
    cdsSum->AddField("MA023", ftInteger)->SetDisplayLabel("选中笔数");
    cdsSum->FieldByName("MA021")->SetDisplayFormat("#0.000");
    cdsSum->FieldByName("MA022")->SetDisplayFormat("#0.000");
    cdsData->CreateDataSet();
    cdsSum->CreateDataSet();
    dsData = new TDataSource(this);
    dsData->setObjectName(QStringLiteral("dsData"));
    // The document and what this write-off takes of it first, then the rest of its story.
    dsData->SetColumnOrder({QStringLiteral("MA001"), QStringLiteral("MA002"), QStringLiteral("MA003"),
                            QStringLiteral("MA400"), QStringLiteral("MA005"), QStringLiteral("MA006"),
                            QStringLiteral("MA008"), QStringLiteral("MA009"), QStringLiteral("MA021"),
                            QStringLiteral("MA022"), QStringLiteral("MA016"), QStringLiteral("MA017")});
    dsData->SetDataSet(cdsData.get());
    dsSum = new TDataSource(this);
    dsSum->setObjectName(QStringLiteral("dsSum"));
    dsSum->SetDataSet(cdsSum.get());
    BuildWriteOffControls(*this);
    // However the other tab comes forward, the tick buttons go with the grid.
    connect(pgOption, &QTabWidget::currentChanged, this, [this] { showTickButtons(); });
    // The status and the document kind show as their combo's item, in the interface's words.
    for (const auto& mapped : {std::pair{"MA015", cboMA015G}, std::pair{"MA400", cbxMA400G}})
        cdsData->FieldByName(mapped.first)->OnGetText = [combo = mapped.second](TField* f, std::string& text, bool display) {
            text = f->AsString();
            if (display)
                text = combo->ItemOfValue(QString::fromStdString(text)).toStdString();
        };
    FilterValues = Variant::array(1, 8);
}

TfrmWOFB07::~TfrmWOFB07()
{
    // The grid and the edits watch the data sets: they go first.
    delete grdResult;
    grdResult = nullptr;
    delete gbSum;
    gbSum = nullptr;
    delete dsData;
    delete dsSum;
}

void TfrmWOFB07::InitJob()
{
    TfrmBaseBatch::InitJob();
    // Slots 1-15 are the job's, 16 the log flag, 17 the print date: the layout the
    // server library reads.
    SetOptionCount(15);
    AddDateFields(QStringLiteral("ed02,sp03"));
    SetRequiredFields(QStringLiteral("ed02,ed04,sp05,ed10,ed11,ed12"));
}

bool TfrmWOFB07::InitSession(const Variant& session)
{
    const bool result = TfrmBaseBatch::InitSession(session);
    if (!result)
        return false;
    cbo01->SetItemIndex(0);
    CheckDateField(ed02, true);
    ed02->SetText(QString::fromStdString(
        DateToDisplayText(GetDateFormat(), Utf8(GetDateSeparator()), Today())));
    sp03->edFinal->SetText(noSeparators(ed02->Text(), GetDateSeparator()));
    sp03->edFinal->SetEditMask(DateMask());
    ed02->SetEditMask(DateMask());
    ed04->SetText(GetSystemSetting(QStringLiteral("Sys003")));
    OpenMonthAfter = GetSystemSetting(QStringLiteral("Sys030"));
    OpenMonthFrom = GetSystemSetting(QStringLiteral("Sys029"));
    LocalDecimals = CurrencyDecimals = queryDecimals(ed04->Text().trimmed());
    applyAmountFormats(false);
    sp05->edBegin->SetMaxLength(10);
    sp06->edFinal->SetMaxLength(10);
    ed10->SetMaxLength(13);
    ed11->SetMaxLength(10);
    ed12->SetMaxLength(4);
    for (TSelectPanel* p : {sp06, sp07, sp08, sp09})
        p->SetEditMask(QStringLiteral("!aaaa-aaaaaaaaaaa;0; "));
    lbl11C->clear();
    lbl12C->clear();
    ShowFirstPage();
    FilterValues = Variant::array(1, 8);
    FormLayout::Restore(layoutFile(), this, {grdResult});
    return result;
}

QString TfrmWOFB07::layoutFile() const
{
    return FormLayout::FileOf(UserCode, ProgramCode);
}

void TfrmWOFB07::FormDestroy(QObject* sender)
{
    FormLayout::Save(layoutFile(), this, {grdResult});
    TfrmBaseBatch::FormDestroy(sender);
}

int TfrmWOFB07::queryDecimals(const QString& currency)
{
    const QString sql = QStringLiteral("Select MF004 from $$CMSMF as CMSMF where MF001=")
                        + QString::fromStdString(quotedSql(Utf8(currency)));
    Variant args = Variant::list({QStrToVar(sql), "MF004"});
    Variant answer;
    CallServerMethod(QStringLiteral("SimpleSQL"), args, answer);
    return ::CurrencyDecimals(answer);
}

void TfrmWOFB07::applyAmountFormats(bool currencyOnly)
{
    const std::string original = AmountFormat(CurrencyDecimals);
    cdsData->FieldByName("MA016")->SetDisplayFormat(original);
    cdsSum->FieldByName("MA021")->SetDisplayFormat(original);
    if (!currencyOnly) {
        const std::string local = AmountFormat(LocalDecimals);
        cdsData->FieldByName("MA010")->SetDisplayFormat("#,##0.0000000");
        cdsData->FieldByName("MA017")->SetDisplayFormat(local);
        cdsData->FieldByName("MA021")->SetDisplayFormat(original);
        cdsData->FieldByName("MA022")->SetDisplayFormat(local);
        cdsSum->FieldByName("MA022")->SetDisplayFormat(local);
    }
    // The totals show the new format at once, as the grid does.
    for (TQvDBEdit* sum : {edMA021, edMA022})
        sum->Refresh();
}

// --- Pages ------------------------------------------------------------------------------------

void TfrmWOFB07::setButtons(bool prior, bool next, bool last)
{
    btnprior->setVisible(prior);
    BtnNext->setVisible(next);
    btnFilter->setVisible(false);
    for (QWidget* w : {static_cast<QWidget*>(btnQuery), static_cast<QWidget*>(btnOk)})
        w->setVisible(last);
    btnSpd->setVisible(last && OkMenuShown);
    // A periodic run is set up where the job is handed over; once set, it can be undone anywhere.
    btnPeriod->setVisible(last || btnPeriod->Down());
    showTickButtons();
}

void TfrmWOFB07::showTickButtons()
{
    const bool grid = CurrentPage == pgLast && pgOption->ActivePage() == tsOption1;
    btnALL->setVisible(grid);
    BtnAllNo->setVisible(grid);
}

void TfrmWOFB07::FormShow(QObject* sender)
{
    TfrmBaseBatch::FormShow(sender);
    btnSpd->setVisible(CurrentPage == pgLast && OkMenuShown);
}

void TfrmWOFB07::ShowFirstPage()
{
    CurrentPage = pgFirst;
    pnlNext->hide();
    pnlLast->hide();
    pnlFirst->show();
    pnlFirst->raise();
    setButtons(false, true, false);
    bottomPanelAfterPages();
}

void TfrmWOFB07::bottomPanelAfterPages()
{
    // The pages are made after the bottom panel's buttons; Tab from a page goes to the
    // buttons, not round to the condition list.
    QWidget* options = pgOption;
    while (options && options->parentWidget() != Panel1->parentWidget())
        options = options->parentWidget();
    if (options)
        SetTabOrder(Panel1, TabOrder(options) + 1);
    // The buttons in the order they are read, the step forward first: Tab from the last
    // field reaches "下一步" before "取消".
    int order = 0;
    if (QLayout* row = Panel1->layout())
        for (int i = 0; i < row->count(); ++i)
            if (QWidget* button = row->itemAt(i)->widget())
                SetTabOrder(button, order++);
    SetTabOrder(BtnNext, 0);
}

void TfrmWOFB07::paintPanel(TSelectPanel* panel, bool enabled)
{
    if (!enabled) {
        panel->edBegin->Clear();
        panel->edFinal->Clear();
        panel->ListBox->ClearItems();
    }
    panel->SetEnabled(enabled);
    const QColor colour = enabled ? QColor(Qt::white) : palette().color(QPalette::Window);
    panel->edBegin->SetColor(colour);
    panel->edFinal->SetColor(colour);
    panel->ListBox->SetColor(colour);
}

void TfrmWOFB07::ShowNextPage()
{
    CurrentPage = pgNext;
    pnlFirst->hide();
    pnlLast->hide();
    pnlNext->show();
    pnlNext->raise();
    setButtons(true, true, false);
    const int type = cbo01->ItemIndex();
    TSelectPanel* panels[4] = {sp06, sp07, sp08, sp09};
    for (int i = 0; i < 4; ++i) {
        const bool applies = (type == 0 && i < 2) || (type == 1 && i == 2) || (type == 2 && i == 3);
        paintPanel(panels[i], applies);
    }
    PutDateRange(ed02->Text(), ed02->Text(), FilterValues, 1);
    if (sp03->isVisible())
        sp03->SetFocus();
    // Tab from the page reaches the step forward first.
    bottomPanelAfterPages();
    SetTabOrder(BtnNext, 0);
    const QString entry = QStringLiteral(",ed12");
    if (type == 2) {
        if (!RequiredFields.contains(entry)) {
            SetRequiredFields(RequiredFields + entry);
            ed12->setEnabled(true);
            ed12->SetColor(ed11->Color());
        }
    } else if (RequiredFields.contains(entry)) {
        QString list = RequiredFields;
        list.remove(entry);
        SetRequiredFields(list);
        ed12->setEnabled(false);
        ed12->SetColor(palette().color(QPalette::Window));
    }
}

void TfrmWOFB07::ShowLastPage()
{
    PutDateRange(ed02->Text(), ed02->Text(), FilterValues, 1);
    FilterValues[2] = QStrToVar(ed04->Text());
    PutDateRange(sp03->edBegin->Text(), sp03->edFinal->Text(), FilterValues, 3);
    PutPanelValue(sp05, FilterValues, 4);
    TSelectPanel* panels[4] = {sp06, sp07, sp08, sp09};
    for (int i = 0; i < 4; ++i) {
        if (panels[i]->Enabled())
            PutMaskedPanelValue(panels[i], FilterValues, QStringLiteral("-"), 5 + i);
        else
            FilterValues[5 + i] = "";
    }
    CurrentPage = pgLast;
    pnlFirst->hide();
    pnlNext->hide();
    pnlLast->show();
    pnlLast->raise();
    setButtons(true, false, true);
    bottomPanelAfterPages();
    SetTabOrder(btnFilter, 0);
    ResetTotals();
    ed10->clear();
    if (ed10->isVisible())
        ed10->setFocus(Qt::OtherFocusReason);
    Fire(btnFilter->OnClick, btnFilter);
}

QString TfrmWOFB07::writeOffDateCompact()
{
    Variant scratch = Variant::array(1, 1);
    PutDateRange(ed02->Text(), ed02->Text(), scratch, 1);
    const Variant& range = scratch[1];
    if (!range.isArray() || range.count() < 2)
        return QString();
    return VarToQStr(range[range.lowBound() + 1]).trimmed();
}

void TfrmWOFB07::checkOpenMonth(const QString& compactMonth, bool& accepted) const
{
    accepted = compactMonth > OpenMonthAfter && !(compactMonth < OpenMonthFrom);
}

bool TfrmWOFB07::dateExists(QWidget* field)
{
    QString code;
    if (CheckDateField(field, false, &code))
        return true;
    ValidationFailed = true;
    ReportMessage(code);
    return false;
}

void TfrmWOFB07::BtnNextClick(QObject*)
{
    if (CurrentPage == pgFirst) {
        if (noSeparators(ed02->Text(), GetDateSeparator()).isEmpty()) {
            ReportMessage(QStringLiteral("E;000003;") + lbl02->text());
            ed02->setFocus(Qt::OtherFocusReason);
            return;
        }
        // Whatever has the focus: a date that does not exist goes no further, nor into sp03.
        if (!dateExists(ed02))
            return;
        bool accepted = false;
        checkOpenMonth(writeOffDateCompact().left(6), accepted);
        if (!accepted) {
            ReportMessage(QStringLiteral("E;100453;") + lbl02->text());
            ed02->setFocus(Qt::OtherFocusReason);
            return;
        }
        sp03->edFinal->SetText(ed02->EditText());
        sp03->edFinal->SetEditMask(DateMask());
        ShowNextPage();
        return;
    }
    if (CurrentPage != pgNext)
        return;
    if (!dateExists(sp03))
        return;
    if (ed04->Text().trimmed().isEmpty()) {
        ReportMessage(QStringLiteral("E;000003;") + ed04->Caption());
        ed04->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (sp05->IsRangeMode()) {
        const bool begin = !sp05->edBegin->Text().trimmed().isEmpty();
        const bool end = !sp05->edFinal->Text().trimmed().isEmpty();
        if (!begin || !end) {
            ReportMessage(QStringLiteral("E;000003;") + sp05->Caption());
            (begin ? sp05->edFinal : sp05->edBegin)->setFocus(Qt::OtherFocusReason);
            return;
        }
    } else if (sp05->ListBox->ItemCount() < 1) {
        ReportMessage(QStringLiteral("E;000003;") + sp05->Caption());
        sp05->ListBox->setFocus(Qt::OtherFocusReason);
        return;
    }
    ed11->clear();
    lbl11C->clear();
    ShowLastPage();
}

void TfrmWOFB07::btnpriorClick(QObject*)
{
    // What the page refused is left behind with it.
    ValidationFailed = false;
    if (CurrentPage == pgNext)
        ShowFirstPage();
    else if (CurrentPage == pgLast)
        ShowNextPage();
}

void TfrmWOFB07::CollectSchemeProperties()
{
    // A scheme keeps the conditions of the first two pages: a batch number is used once,
    // and the transfer supplier and refund type go with the candidates listed.
    for (QFrame* page : {pnlFirst, pnlNext})
        SchemeProperties += SchemeValues::PropertiesOf(page);
}

bool TfrmWOFB07::AfterSchemeApplied()
{
    const bool result = TfrmBaseBatch::AfterSchemeApplied();
    // The candidates listed belong to the conditions before, and the document panels
    // follow the write-off type: back to the second page, whose step forward lists again.
    if (CurrentPage != pgFirst)
        ShowNextPage();
    return result;
}

// --- Exit checks ----------------------------------------------------------------------------

void TfrmWOFB07::ed02Exit(QObject*)
{
    const QString month = writeOffDateCompact().left(6);
    if (month.isEmpty()) {
        ValidationFailed = false;
        return;
    }
    bool accepted = false;
    checkOpenMonth(month, accepted);
    ValidationFailed = !accepted;
    if (accepted) {
        sp03->edFinal->SetText(ed02->EditText());
        sp03->edFinal->SetEditMask(DateMask());
    } else {
        ReportMessage(QStringLiteral("E;100453;") + lbl02->text());
    }
}

void TfrmWOFB07::sp03Exit(QObject*)
{
    if (noSeparators(sp03->edFinal->Text(), GetDateSeparator()).isEmpty()) {
        ValidationFailed = false;
        Fire(btnprior->OnClick, btnprior);
        return;
    }
    const QString end = DateTextToCompact(sp03->edFinal->Text());
    ValidationFailed = end > writeOffDateCompact();
    if (ValidationFailed) {
        ReportMessage(QStringLiteral("E;200600;"));
        sp03->edFinal->setFocus(Qt::OtherFocusReason);
    }
}

void TfrmWOFB07::ed04Exit(QObject*)
{
    const QString currency = ed04->Text().trimmed();
    if (currency.isEmpty()) {
        ValidationFailed = false;
        CurrencyDecimals = 2;
    } else {
        Variant row;
        const bool found = FocusedControl() == btnCancel
                           || ValidateValue(QStringLiteral("CMSMF"), QStringLiteral("01"), false, row,
                                            Variant::list({QStrToVar(ed04->Text())}));
        if (!found) {
            ReportMessage(QStringLiteral("E;000001;") + GetMessageText(QStringLiteral("R"), QStringLiteral("101041")));
            ValidationFailed = true;
            ed04->setFocus(Qt::OtherFocusReason);
            ed04->selectAll();
            return;
        }
        ValidationFailed = false;
        // The code as stored ("rmb" is RMB), which the candidate query compares with.
        const Variant stored = firstRow(row);
        const QString code =
            stored.isArray() && stored.count() > 0 ? VarToQStr(stored[stored.lowBound()]).trimmed() : QString();
        if (!code.isEmpty() && code != currency)
            ed04->SetText(code);
        CurrencyDecimals = queryDecimals(ed04->Text().trimmed());
    }
    applyAmountFormats(true);
}

void TfrmWOFB07::ed10Exit(QObject*)
{
    QString refusal;
    const QString batch = RunBatchNote::NumberToCheck(*this, ed10->Text().trimmed(), refusal);
    if (batch.isEmpty() && refusal.isEmpty()) {
        ValidationFailed = false;
        return;
    }
    Variant row;
    if (!refusal.isEmpty()
        || ValidateValue(QStringLiteral("ACPLC"), QStringLiteral("01"), false, row,
                         Variant::list({QStrToVar(QStringLiteral("WOFB07-") + batch)}))) {
        ValidationFailed = true;
        ReportMessage(refusal.isEmpty() ? QStringLiteral("E;200601;") : refusal);
        ed10->setFocus(Qt::OtherFocusReason);
        ed10->selectAll();
    } else {
        ValidationFailed = false;
    }
}

void TfrmWOFB07::btnPeriodClick(QObject* sender)
{
    TfrmBaseBatch::btnPeriodClick(sender);
    RunBatchNote::Refresh(*this);
}

void TfrmWOFB07::pgOptionChange(QObject* sender)
{
    TfrmBaseBatch::pgOptionChange(sender);
    RunBatchNote::Refresh(*this);
}

void TfrmWOFB07::ed10KeyPress(QObject*, QChar& key)
{
    const char16_t c = key.unicode();
    if (c == 8 || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'))
        return;
    if (c >= 'a' && c <= 'z') {
        key = key.toUpper();
        return;
    }
    key = QChar();
}

void TfrmWOFB07::ed11Exit(QObject*)
{
    lbl11C->clear();
    const QString text = ed11->Text();
    // A step back or out gives the entry up: no check may hold the clerk on the page.
    const QWidget* towards = FocusedControl();
    if (text.trimmed().isEmpty() || towards == btnprior || towards == btnCancel) {
        ValidationFailed = false;
        return;
    }
    if (text != LastRejectedSupplier) {
        Variant row;
        if (!ValidateValue(QStringLiteral("PURMA"), QStringLiteral("02"), true, row, Variant::list({QStrToVar(text)}))) {
            ValidationFailed = true;
            ReportMessage(QStringLiteral("W;200295;"));
            ed11->selectAll();
            LastRejectedSupplier = text;
            return;
        }
        ValidationFailed = false;
        const Variant supplier = firstRow(row);
        const auto value = [&supplier](int i) {
            return supplier.isArray() && supplier.count() > i ? VarToQStr(supplier[supplier.lowBound() + i]).trimmed()
                                                              : QString();
        };
        // The code as stored: "b006" is B006.
        if (!value(0).isEmpty() && value(0) != text.trimmed())
            ed11->SetText(value(0));
        lbl11C->setText(value(2));
        // A supplier trading in another currency may take the balances, but the clerk is told.
        const QString trading = value(7), documents = ed04->Text().trimmed();
        if (!trading.isEmpty() && !documents.isEmpty() && trading.compare(documents, Qt::CaseInsensitive) != 0)
            ReportMessage((CheckingHandedIn ? QStringLiteral("W;-200636;") : QStringLiteral("W;200636;")) +
                          QStringLiteral("%1;%2;%3").arg(value(0), trading, documents));
    }
    // Codes compare without regard to case, as the database finds them.
    const QString supplier = ed11->Text().trimmed().toUpper();
    bool chosen = false;
    if (sp05->IsRangeMode()) {
        chosen = !(supplier < sp05->edBegin->Text().trimmed().toUpper()) &&
                 !(supplier > sp05->edFinal->Text().trimmed().toUpper());
    } else {
        for (const QStringList& entry : sp05->ListBox->Rows())
            chosen = chosen || (!entry.isEmpty() && entry.first().trimmed().toUpper() == supplier);
    }
    if (chosen) {
        ValidationFailed = true;
        ReportMessage(QStringLiteral("E;200635;"));
        ed11->setFocus(Qt::OtherFocusReason);
    }
}

void TfrmWOFB07::ed12Exit(QObject*)
{
    lbl12C->clear();
    const QString type = ed12->Text().trimmed();
    if (type.isEmpty())
        return;
    Variant row;
    if (ValidateValue(QStringLiteral("CMSMQ"), QStringLiteral("36"), true, row,
                      Variant::list({QStrToVar(type), "7D", "7D", "7D", QStrToVar(UserCode)}))) {
        ValidationFailed = false;
        const Variant type = firstRow(row);
        if (type.isArray() && type.count() > 0)
            lbl12C->setText(VarToQStr(type[type.lowBound()]));
        if (type.isArray() && type.count() > 1 && VarToQStr(type[type.lowBound() + 1]).trimmed() != ed12->Text().trimmed())
            ed12->SetText(VarToQStr(type[type.lowBound() + 1]).trimmed());
    } else {
        ValidationFailed = true;
        ReportMessage(QStringLiteral("E;000001;") + ed12->Caption());
        ed12->setFocus(Qt::OtherFocusReason);
        ed12->selectAll();
    }
}

// --- Look-ups and values handed in ----------------------------------------------------------

void TfrmWOFB07::HandleF2Key(int key, QWidget* control)
{
    TfrmBaseBatch::HandleF2Key(key, control);
    if (control)
        WOFB07Lookup(*this, control);
}

void TfrmWOFB07::AfterApplyValue(QWidget* control, const QString& value)
{
    TfrmBaseBatch::AfterApplyValue(control, value);
    try {
        // A date handed in that does not exist is said as such, and its own check skipped.
        const bool dates = control == ed02 || control == sp03 || control == sp03->edBegin || control == sp03->edFinal;
        if (dates && !dateExists(control == ed02 ? static_cast<QWidget*>(ed02) : sp03))
            return;
        if (control == ed02)
            ed02Exit(control);
        else if (control == sp03 || control == sp03->edBegin || control == sp03->edFinal)
            sp03Exit(control);
        else if (control == ed04)
            ed04Exit(control);
        else if (control == ed10)
            ed10Exit(control);
        else if (control == ed11) {
            const QScopedValueRollback<bool> handedIn(CheckingHandedIn, true);
            ed11Exit(control);
        }
        else if (control == ed12)
            ed12Exit(control);
    } catch (const std::exception&) {
        if (auto* edit = qobject_cast<QLineEdit*>(control))
            edit->clear();
    }
}

// --- Candidates and totals --------------------------------------------------------------------

void TfrmWOFB07::ResetTotals()
{
    CandidateList::Reset(*this);
}

void TfrmWOFB07::btnFilterClick(QObject*)
{
    CandidateList::Load(*this);
}

void TfrmWOFB07::edFindChange(QObject*)
{
    CandidateList::ApplyFind(*this);
}

void TfrmWOFB07::btnExportClick(QObject*)
{
    CandidateExport::Run(*this);
}

void TfrmWOFB07::btnHistoryClick(QObject*)
{
    // A reversed batch's documents are open again: the candidates are listed anew.
    if (ShowBatchHistory(this) && CurrentPage == pgLast)
        btnFilterClick(btnFilter);
}

void TfrmWOFB07::cdsDataMA001Validate(TField* sender)
{
    CandidateList::TickChanged(*this, sender);
}

void TfrmWOFB07::btnALLClick(QObject*)
{
    CandidateList::SetTicks(*this, QStringLiteral("Y"));
}

void TfrmWOFB07::BtnAllNoClick(QObject*)
{
    CandidateList::SetTicks(*this, QStringLiteral("N"));
}

void TfrmWOFB07::grdResultDblClick(QObject*)
{
    const bool real = cdsData->Active() && !cdsData->IsEmpty()
                      && !QString::fromStdString(cdsData->FieldByName("MA002")->AsString()).trimmed().isEmpty();
    auto options = grdResult->Options();
    options.setFlag(TFDBGrid::dgEditing, real);
    grdResult->SetOptions(options);
}

Decimal TfrmWOFB07::TotalOriginal() const
{
    return cdsSum->IsEmpty() ? Decimal() : cdsSum->FieldByName("MA021")->AsDecimal();
}

Decimal TfrmWOFB07::TotalLocal() const
{
    return cdsSum->IsEmpty() ? Decimal() : cdsSum->FieldByName("MA022")->AsDecimal();
}

int TfrmWOFB07::TotalCount() const
{
    return cdsSum->IsEmpty() ? 0 : cdsSum->FieldByName("MA023")->AsInteger();
}

Variant TfrmWOFB07::ChosenDocuments()
{
    return CandidateList::ChosenDocuments(*this);
}

// --- The job's options --------------------------------------------------------------------------

bool TfrmWOFB07::CollectOptionTexts(Variant& texts, int index)
{
    const bool result = TfrmBaseBatch::CollectOptionTexts(texts, index);
    try {
        const auto entry = [](const QString& caption, const char* name) {
            return Variant::list({QStrToVar(caption), name});
        };
        texts[1] = entry(cbo01->Caption(), "cbo01");
        texts[2] = entry(lbl02->text(), "ed02");
        texts[3] = entry(sp03->Caption(), "sp03");
        texts[4] = entry(ed04->Caption(), "ed04");
        texts[5] = entry(sp05->Caption(), "sp05");
        texts[6] = entry(sp06->Caption(), "sp06");
        texts[7] = entry(sp07->Caption(), "sp07");
        texts[8] = entry(sp08->Caption(), "sp08");
        texts[9] = entry(sp09->Caption(), "sp09");
        texts[10] = entry(ed10->Caption(), "ed10");
        texts[11] = entry(ed11->Caption(), "ed11");
        texts[12] = entry(ed12->Caption(), "ed12");
        texts[13] = entry(btnFilter->Caption(), "btnFilter");
        texts[14] = entry(btnFilter->Caption(), "btnFilter");
        texts[15] = entry(lbl11C->text(), "lbl11C");
        return result;
    } catch (const std::exception&) {
        return false;
    }
}

bool TfrmWOFB07::CollectOptionValues(Variant& values, int index)
{
    const bool result = TfrmBaseBatch::CollectOptionValues(values, index);
    try {
        values[1] = cbo01->ItemIndex() + 1;
        PutDateRange(ed02->Text(), ed02->Text(), values, 2);
        PutDateRange(sp03->edBegin->Text(), sp03->edFinal->Text(), values, 3);
        values[4] = QStrToVar(ed04->Text());
        PutPanelValue(sp05, values, 5);
        // The documents as the candidate query compared them: type and number joined.
        TSelectPanel* panels[4] = {sp06, sp07, sp08, sp09};
        for (int i = 0; i < 4; ++i)
            PutMaskedPanelValue(panels[i], values, QStringLiteral("-"), 6 + i);
        values[10] = QStrToVar(ed10->Text());
        values[11] = QStrToVar(ed11->Text());
        values[12] = QStrToVar(ed12->Text());
        const Variant chosen = ChosenDocuments();
        values[13] = chosen;
        values[14] = QStrToVar(CandidateSql);
        values[15] = QStrToVar(lbl11C->text());
        if (VarToQStr(chosen[chosen.lowBound()]) == QLatin1String("NN"))
            return false;
        return result;
    } catch (const std::exception&) {
        return false;
    }
}

QAbstractButton* TfrmWOFB07::StepForwardButton()
{
    return pgOption->ActivePage() == tsOption1 && BtnNext->isVisibleTo(this) ? BtnNext : nullptr;
}

Variant TfrmWOFB07::ConditionSnapshot()
{
    Variant values = TfrmBaseBatch::ConditionSnapshot();
    if (values.isArray() && values.highBound() >= 15) {
        values[14] = Variant();
        values[15] = Variant();
    }
    return values;
}

bool TfrmWOFB07::TakesAction(QWidget* control) const
{
    return control == btnFilter || control == BtnNext || control == btnprior || TfrmBaseBatch::TakesAction(control);
}

bool TfrmWOFB07::ApplyAction(QWidget* control, const Variant& value)
{
    if (control == BtnNext || control == btnprior)
        return WOFB07HandOver::PressStep(*this, control, value);
    if (control != btnFilter)
        return TfrmBaseBatch::ApplyAction(control, value);
    return WOFB07HandOver::ListAndTick(*this, value);
}

bool TfrmWOFB07::ConfirmDirectRun()
{
    const QString localCurrency = GetSystemSetting(QStringLiteral("Sys003")).trimmed();
    const auto shown = [](const Decimal& amount, int decimals) {
        return QString::fromStdString(ShownAmountText(amount, decimals));
    };
    const QString supplier = (ed11->Text().trimmed() + QLatin1Char(' ') + lbl11C->text().trimmed()).trimmed();
    const QString text = GetText(QStringLiteral("sConfirmRun"),
                                 QStringLiteral("现在转销并过账吗?\r单据笔数: %1\r原币合计 (%2): %3\r本币合计 (%4): %5\r"
                                                "转销批号: %6\r转销供应商: %7"))
                             .arg(QString::number(TotalCount()), ed04->Text().trimmed(),
                                  shown(TotalOriginal(), CurrencyDecimals), localCurrency,
                                  shown(TotalLocal(), LocalDecimals), ed10->Text().trimmed(), supplier);
    return ShowMessageDialog(text, mtConfirmation, {mbYes, mbNo}) == mrYes;
}

void TfrmWOFB07::btnQueryClick(QObject* sender)
{
    QPointer<TfrmWOFB07> self(this);
    const int before = HandOvers;
    TfrmBaseBatch::btnQueryClick(sender);
    // A run that was refused, failed or not confirmed keeps the clerk's ticks and batch.
    if (!self || HandOvers == before)
        return;
    ed10->clear();
    Fire(btnFilter->OnClick, btnFilter);
}
