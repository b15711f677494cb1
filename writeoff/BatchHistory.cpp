#include "writeoff/BatchHistory.h"
#include "writeoff/BatchHistoryFiles.h"
#include "jobform/BaseGene.h"

#include "batch/BaseOptU.h"
#include "config/Dialogs.h"
#include "config/QtVariant.h"
#include "controls/Buttons.h"
#include "dataset/DisplayFormat.h"
#include "report/WriteOffBatchCodec.h"
#include "support/Dates.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QTableWidget* makeGrid(QWidget* parent, const char* name, const QStringList& titles)
{
    auto* grid = new QTableWidget(parent);
    grid->setObjectName(QString::fromLatin1(name));
    grid->setColumnCount(int(titles.size()));
    grid->setHorizontalHeaderLabels(titles);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->verticalHeader()->hide();
    // Columns as wide as their texts in every language; what is left stays empty.
    grid->horizontalHeader()->setStretchLastSection(false);
    return grid;
}

void setCell(QTableWidget* grid, int row, int column, const QString& text, bool amount = false)
{
    auto* item = new QTableWidgetItem(text);
    if (amount)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->setItem(row, column, item);
}

QString who(const std::string& code, const std::string& name)
{
    return QString::fromStdString(name.empty() ? code : code + " " + name);
}

QString amount(const Decimal& value, int decimals)
{
    return QString::fromStdString(ShownAmountText(value, decimals));
}

} // namespace

TfrmBatchHistory::TfrmBatchHistory(TfrmBaseGene* job) : TfrmQVDialog(job), job_(*job)
{
    setObjectName(QStringLiteral("frmBatchHistory"));
    SetCaption(QStringLiteral("转销记录"));
    buildGrids();
    buildButtons();
    resize(900, 600);
}

void TfrmBatchHistory::buildGrids()
{
    auto* layout = new QVBoxLayout(this);
    lblBatches = new QLabel(QStringLiteral("转销批次 (最新的在前)"), this);
    lblBatches->setObjectName(QStringLiteral("lblBatches"));
    layout->addWidget(lblBatches);
    grBatches = makeGrid(this, "grBatches",
                         {QStringLiteral("转销批号"), QStringLiteral("转销日期"), QStringLiteral("转销人"),
                          QStringLiteral("单据笔数"), QStringLiteral("转销金额"), QStringLiteral("处理方式"),
                          QStringLiteral("撤销人"), QStringLiteral("撤销时间")});
    layout->addWidget(grBatches, 3);
    lblDocuments = new QLabel(QStringLiteral("所选批次的单据"), this);
    lblDocuments->setObjectName(QStringLiteral("lblDocuments"));
    layout->addWidget(lblDocuments);
    grDocuments = makeGrid(this, "grDocuments",
                           {QStringLiteral("供应商"), QStringLiteral("供应商名称"), QStringLiteral("单据类型"),
                            QStringLiteral("单据号码"), QStringLiteral("单据日期"), QStringLiteral("币种"),
                            QStringLiteral("原币金额"), QStringLiteral("本币金额")});
    layout->addWidget(grDocuments, 2);
    connect(grBatches, &QTableWidget::currentCellChanged, this, [this](int row, int, int previous, int) {
        if (row != previous)
            ChooseBatch(row);
    });
}

void TfrmBatchHistory::buildButtons()
{
    auto* row = new QHBoxLayout;
    const auto button = [this, row](TBitBtn*& b, const char* name, const QString& caption) {
        b = new TBitBtn(this);
        b->setObjectName(QString::fromLatin1(name));
        b->SetCaption(caption);
        row->addWidget(b);
    };
    button(btnReverse, "btnReverse", QStringLiteral("撤销(&R)"));
    button(btnPrint, "btnPrint", QStringLiteral("打印(&P)"));
    button(btnExport, "btnExport", QStringLiteral("导出(&E)"));
    row->addStretch(1);
    button(btnClose, "btnClose", QStringLiteral("关闭(&C)"));
    btnReverse->SetHint(QStringLiteral("撤销所选批次: 单据恢复到转销以前"));
    btnPrint->SetHint(QStringLiteral("所选批次的报表存为 PDF 文件"));
    btnExport->SetHint(QStringLiteral("所选批次的单据存为电子表格"));
    btnReverse->OnClick = [this](QObject*) { btnReverseClick(); };
    btnPrint->OnClick = [this](QObject*) { btnPrintClick(); };
    btnExport->OnClick = [this](QObject*) { btnExportClick(); };
    btnClose->OnClick = [this](QObject*) { SetModalResult(mrCancel); };
    static_cast<QVBoxLayout*>(layout())->addLayout(row);
    enableButtons();
}

void TfrmBatchHistory::FormShow(QObject* sender)
{
    TfrmQVDialog::FormShow(sender);
    grBatches->resizeColumnsToContents();
    grDocuments->resizeColumnsToContents();
}

QString TfrmBatchHistory::Text(const char* key, const char* simplified) const
{
    return job_.GetText(QStringLiteral("TfrmBatchHistory"), QString::fromLatin1(key), QString::fromUtf8(simplified));
}

QString TfrmBatchHistory::serverFailure()
{
    try {
        std::vector<Variant> none;
        return WordServerMessages(
            job_.DisplayConvert(VarToQStr(job_.IncomingConvert(job_.AppServer.invoke("ErrorDescript", none)))).trimmed(),
            job_.UICodePage());
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
}

Variant TfrmBatchHistory::call(const char* member, std::vector<Variant> args, QString& failure)
{
    failure.clear();
    if (!job_.AppServer.isDispatch()) {
        failure = Text("sHistoryNoServer", "没有连接到应用服务器");
        return Variant();
    }
    Variant answer;
    try {
        for (Variant& a : args)
            a = job_.OutgoingConvert(a);
        answer = job_.IncomingConvert(job_.AppServer.invoke(member, args));
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
        return Variant();
    }
    if (answer.isEmptyOrNull())
        failure = serverFailure();
    return answer;
}

bool TfrmBatchHistory::Refresh(const std::string& choose)
{
    QString failure;
    const Variant answer =
        call("WriteOffBatches", {QStrToVar(job_.CompanyCode), QStrToVar(job_.DatabaseName)}, failure);
    Batches.clear();
    try {
        // No batch yet is an empty list, not a failure.
        if (answer.isArray())
            Batches = BatchListOf(answer);
        else if (!failure.isEmpty())
            throw std::runtime_error(failure.toStdString());
    } catch (const std::exception& e) {
        showBatches();
        job_.ShowMessageDialog(Text("sHistoryCannotList", "无法读取转销记录: %1").arg(QString::fromUtf8(e.what())),
                               mtError, {mbOK});
        return false;
    }
    showBatches();
    int row = Batches.empty() ? -1 : 0;
    for (std::size_t i = 0; i < Batches.size(); ++i)
        if (Batches[i].batchNo == choose)
            row = int(i);
    if (row >= 0 && grBatches->currentRow() != row)
        grBatches->setCurrentCell(row, 0);
    else
        ChooseBatch(row);
    return true;
}

void TfrmBatchHistory::showBatches()
{
    const QSignalBlocker quiet(grBatches);
    grBatches->setRowCount(int(Batches.size()));
    const int code = job_.GetDateFormat();
    const std::string separator = job_.GetDateSeparator().toStdString();
    const auto date = [&](const std::string& compact) {
        return compact.size() < 8 ? QString()
                                  : QString::fromStdString(DateToDisplayText(code, separator, CompactToDate(compact.substr(0, 8))));
    };
    for (int r = 0; r < int(Batches.size()); ++r) {
        const WriteOffBatchSummary& s = Batches[std::size_t(r)];
        QStringList totals;
        for (const WriteOffBatchTotal& t : s.totals)
            totals << QString::fromStdString(t.currency) + QLatin1Char(' ') + amount(t.original, t.decimals);
        const QString at = s.reversedAt.size() >= 12 ? date(s.reversedAt) + QLatin1Char(' ')
                                                           + QString::fromStdString(s.reversedAt.substr(8, 2) + ":" + s.reversedAt.substr(10, 2))
                                                     : QString();
        setCell(grBatches, r, bcBatch, QString::fromStdString(s.batchNo));
        setCell(grBatches, r, bcDate, date(s.writeOffDate));
        setCell(grBatches, r, bcRanBy, who(s.ranBy, s.ranByName));
        setCell(grBatches, r, bcDocuments, QString::number(s.documents), true);
        setCell(grBatches, r, bcTotals, totals.join(QStringLiteral("; ")), true);
        setCell(grBatches, r, bcHow, s.queued ? Text("sHistoryQueued", "后台处理") : Text("sHistoryDirect", "直接处理"));
        setCell(grBatches, r, bcReversedBy, s.reversed ? who(s.reversedBy, s.reversedByName) : QString());
        setCell(grBatches, r, bcReversedAt, s.reversed ? at : QString());
    }
    grBatches->resizeColumnsToContents();
}

void TfrmBatchHistory::ChooseBatch(int row)
{
    Record.reset();
    if (row >= 0 && row < int(Batches.size())) {
        QString failure;
        const Variant answer = call("WriteOffBatch",
                                    {QStrToVar(job_.CompanyCode), QStrToVar(job_.DatabaseName),
                                     QStrToVar(QString::fromStdString(Batches[std::size_t(row)].batchNo))},
                                    failure);
        try {
            if (!answer.isArray())
                throw std::runtime_error(failure.toStdString());
            Record = BatchRecordOf(answer);
        } catch (const std::exception& e) {
            job_.ShowMessageDialog(Text("sHistoryCannotRead", "无法读取批次 %1: %2")
                                       .arg(QString::fromStdString(Batches[std::size_t(row)].batchNo), QString::fromUtf8(e.what())),
                                   mtError, {mbOK});
        }
    }
    showDocuments();
    enableButtons();
}

void TfrmBatchHistory::showDocuments()
{
    const std::size_t n = Record ? Record->documents.size() : 0;
    grDocuments->setRowCount(int(n));
    const int code = job_.GetDateFormat();
    const std::string separator = job_.GetDateSeparator().toStdString();
    for (std::size_t i = 0; i < n; ++i) {
        const WriteOffBatchDocument& d = Record->documents[i];
        int decimals = 2;
        for (const WriteOffBatchTotal& t : Record->summary.totals)
            if (t.currency == d.currency)
                decimals = t.decimals;
        const int r = int(i);
        setCell(grDocuments, r, dcSupplier, QString::fromStdString(d.supplier));
        setCell(grDocuments, r, dcName, QString::fromStdString(d.supplierName));
        setCell(grDocuments, r, dcType, QString::fromStdString(d.type));
        setCell(grDocuments, r, dcNumber, QString::fromStdString(d.number));
        // A document deleted since (a reversed prepayment's refund) has no date.
        setCell(grDocuments, r, dcDate,
                d.date.size() < 8 ? QString() : QString::fromStdString(DateToDisplayText(code, separator, CompactToDate(d.date))));
        setCell(grDocuments, r, dcCurrency, QString::fromStdString(d.currency));
        setCell(grDocuments, r, dcOriginal, amount(d.original, decimals), true);
        setCell(grDocuments, r, dcLocal, amount(d.local, Record->summary.localDecimals), true);
    }
    grDocuments->resizeColumnsToContents();
}

void TfrmBatchHistory::enableButtons()
{
    const bool chosen = Record.has_value();
    btnReverse->setEnabled(chosen && !Record->summary.reversed);
    btnPrint->setEnabled(chosen);
    btnExport->setEnabled(chosen && !Record->documents.empty());
}

void TfrmBatchHistory::btnReverseClick()
{
    if (!Record || Record->summary.reversed)
        return;
    const std::string batch = Record->summary.batchNo;
    const QString number = QString::fromStdString(batch);
    if (job_.ShowMessageDialog(Text("sHistoryConfirmReverse", "撤销批次 %1 吗?\r%2 笔单据恢复到转销以前, 转销产生的单据删除。")
                                   .arg(number)
                                   .arg(Record->summary.documents),
                               mtConfirmation, {mbYes, mbNo})
        != mrYes)
        return;
    QString failure;
    // The server decides who may: the session's user, the job's direct right.
    const Variant answer = call("ReverseWriteOff",
                                {QStrToVar(job_.CompanyCode), QStrToVar(job_.DatabaseName), QStrToVar(number), ""}, failure);
    const QString refusal = answer.isEmptyOrNull()
                                ? failure
                                : WordServerMessages(job_.DisplayConvert(VarToQStr(answer)).trimmed(), job_.UICodePage());
    if (!refusal.isEmpty())
        job_.ShowMessageDialog(Text("sHistoryNotReversed", "批次 %1 没有撤销: %2").arg(number, refusal), mtError, {mbOK});
    Reversed = Reversed || refusal.isEmpty();
    if (refusal.isEmpty())
        job_.ShowMessageDialog(Text("sHistoryReversed", "批次 %1 已撤销").arg(number), mtInformation, {mbOK});
    Refresh(batch);
}

void TfrmBatchHistory::btnPrintClick()
{
    if (Record)
        BatchHistoryFiles::Print(*this, *Record);
}

void TfrmBatchHistory::btnExportClick()
{
    if (Record)
        BatchHistoryFiles::Export(*this, *Record);
}

bool ShowBatchHistory(TfrmBaseGene* job)
{
    auto* dialog = TQVForm::Create<TfrmBatchHistory>(job);
    dialog->Refresh();
    dialog->ShowModal();
    const bool reversed = dialog->Reversed;
    dialog->Free();
    return reversed;
}
