#include "writeoff/WOFB07Layout.h"

#include "controls/Buttons.h"
#include "controls/DataSource.h"
#include "controls/ExtPage.h"
#include "controls/F2Button.h"
#include "controls/FDBGrid.h"
#include "controls/MaskEdit.h"
#include "controls/QvrEdit.h"
#include "controls/SelectPnl.h"
#include "writeoff/RunBatchNote.h"
#include "writeoff/WOFB07CF.h"

#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

QFrame* makePage(QWidget* parent, const char* name)
{
    auto* page = new QFrame(parent);
    page->setObjectName(QString::fromLatin1(name));
    return page;
}

TSelectPanel* makePanel(QWidget* parent, const char* name, const QString& caption, TSelectPanel::TSelectStyle style,
                        int x, int y)
{
    auto* panel = new TSelectPanel(parent);
    panel->setObjectName(QString::fromLatin1(name));
    panel->SetCaption(caption);
    panel->SetStyle(style);
    panel->move(x, y);
    return panel;
}

TBitBtn* makeButton(QWidget* parent, const char* name, const QString& caption, const QString& hint = QString())
{
    auto* button = new TBitBtn(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->SetCaption(caption);
    if (!hint.isEmpty())
        button->SetHint(hint);
    return button;
}

void buildFirst(TfrmWOFB07& f)
{
    f.cbo01 = new TQvComboBox(f.pnlFirst);
    f.cbo01->setObjectName(QStringLiteral("cbo01"));
    f.cbo01->SetStyle(TQvComboBox::csDropDownList);
    f.cbo01->SetCaption(QStringLiteral("选择转销类型"));
    f.cbo01->SetItems({QStringLiteral("1.应付款转销"), QStringLiteral("2.其他应付款转销 "), QStringLiteral("3.预付款转销")});
    f.cbo01->setGeometry(130, 40, 180, 22);
    f.lbl02 = new QLabel(QStringLiteral("输入转销日期"), f.pnlFirst);
    f.lbl02->setObjectName(QStringLiteral("lbl02"));
    f.lbl02->setGeometry(40, 80, 88, 22);
    f.ed02 = new TMaskEdit(f.pnlFirst);
    f.ed02->setObjectName(QStringLiteral("ed02"));
    f.ed02->SetHint(QStringLiteral("[F2]日期快手"));
    f.ed02->setGeometry(130, 80, 100, 22);
    f.btn02 = new TF2Button(f.pnlFirst);
    f.btn02->setObjectName(QStringLiteral("btn02"));
    f.btn02->SetHint(QStringLiteral("日期快手"));
    f.btn02->SetF2Control(f.ed02);
    f.btn02->Realign();
    f.ed02->OnExit = [form = &f](QObject* s) { form->ed02Exit(s); };
}

void buildNext(TfrmWOFB07& f)
{
    f.sp03 = makePanel(f.pnlNext, "sp03", QStringLiteral("选择单据日期"), TSelectPanel::sp_Range, 4, 4);
    f.sp03->SetChildHints({QStringLiteral("用户自定输入方式"), QStringLiteral("[F2]日期快手"), QStringLiteral("[F2]日期快手")});
    f.sp03->OnExit = [form = &f](QObject* s) { form->sp03Exit(s); };
    f.ed04 = new TQvBtnEdit(f.pnlNext);
    f.ed04->setObjectName(QStringLiteral("ed04"));
    f.ed04->SetCaption(QStringLiteral("选择币种"));
    f.ed04->SetHint(QStringLiteral("[F2]币种信息查询"));
    // Right of the document dates' end edit, its caption before it.
    f.ed04->setGeometry(430, 24, 80, 22);
    f.ed04->OnExit = [form = &f](QObject* s) { form->ed04Exit(s); };
    f.sp05 = makePanel(f.pnlNext, "sp05", QStringLiteral("选择供应商编号"), TSelectPanel::sp_UserChoice, 4, 80);
    f.sp06 = makePanel(f.pnlNext, "sp06", QStringLiteral("选择采购发票"), TSelectPanel::sp_UserChoice, 4, 190);
    f.sp07 = makePanel(f.pnlNext, "sp07", QStringLiteral("选择费用发票"), TSelectPanel::sp_UserChoice, 280, 190);
    f.sp08 = makePanel(f.pnlNext, "sp08", QStringLiteral("选择其他应付单"), TSelectPanel::sp_UserChoice, 280, 80);
    f.sp09 = makePanel(f.pnlNext, "sp09", QStringLiteral("选择预付款单"), TSelectPanel::sp_UserChoice, 280, 300);
}

// The batch number, the transfer supplier and the refund document type above the grid.
void buildLastEntries(TfrmWOFB07& f, QVBoxLayout* column)
{
    auto* top = new QWidget(f.pnlLast);
    top->setMinimumHeight(52);
    column->addWidget(top);
    f.ed10 = new TQvEdit(top);
    f.ed10->setObjectName(QStringLiteral("ed10"));
    f.ed10->SetCaption(QStringLiteral("输入转销批号"));
    f.ed10->SetLabelPosition(TQvEdit::lpLeft);
    // Room on the left for the longest caption ("输入转销供应商") in the desk's font.
    f.ed10->setGeometry(100, 2, 120, 22);
    f.ed10->OnExit = [form = &f](QObject* s) { form->ed10Exit(s); };
    f.ed10->OnKeyPress = [form = &f](QObject* s, QChar& k) { form->ed10KeyPress(s, k); };
    // Pasted and handed-in numbers too: the used-number check looks up what is stored.
    f.ed10->SetCharCase(TQvEdit::ecUpperCase);
    f.ed11 = new TQvBtnEdit(top);
    f.ed11->setObjectName(QStringLiteral("ed11"));
    f.ed11->SetCaption(QStringLiteral("输入转销供应商"));
    f.ed11->SetLabelPosition(TQvEdit::lpLeft);
    f.ed11->SetHint(QStringLiteral("[F2]供应商信息查询"));
    f.ed11->setGeometry(100, 28, 100, 22);
    f.ed11->OnExit = [form = &f](QObject* s) { form->ed11Exit(s); };
    f.lbl11C = new QLabel(top);
    f.lbl11C->setObjectName(QStringLiteral("lbl11C"));
    f.lbl11C->setGeometry(226, 28, 150, 22);
    // Under the batch number while btnPeriod is down; the row grows for it then.
    f.lblRunBatch = new QLabel(top);
    f.lblRunBatch->setObjectName(QStringLiteral("lblRunBatch"));
    f.lblRunBatch->move(100, 52);
    f.lblRunBatch->hide();
    QObject::connect(f.ed10, &QLineEdit::textChanged, &f, [form = &f] { RunBatchNote::Refresh(*form); });
    f.ed12 = new TQvBtnEdit(top);
    f.ed12->setObjectName(QStringLiteral("ed12"));
    f.ed12->SetCaption(QStringLiteral("选择退款单别"));
    f.ed12->SetLabelPosition(TQvEdit::lpLeft);
    f.ed12->SetHint(QStringLiteral("[F2]单据性质信息"));
    f.ed12->setGeometry(460, 2, 60, 22);
    f.ed12->OnExit = [form = &f](QObject* s) { form->ed12Exit(s); };
    f.lbl12C = new QLabel(top);
    f.lbl12C->setObjectName(QStringLiteral("lbl12C"));
    f.lbl12C->setGeometry(460, 28, 100, 22);
}

// The find box in a row of its own above the grid, at its right end, so that it
// stays in sight however narrow the page is.
void buildFindBar(TfrmWOFB07& f, QVBoxLayout* column)
{
    auto* findBar = new QWidget(f.pnlLast);
    column->addWidget(findBar);
    f.edFind = new TQvEdit(findBar);
    f.edFind->setObjectName(QStringLiteral("edFind"));
    f.edFind->SetCaption(QStringLiteral("查找"));
    f.edFind->SetLabelPosition(TQvEdit::lpLeft);
    f.edFind->SetHint(QStringLiteral("供应商编号、名称、单号或金额"));
    f.edFind->setClearButtonEnabled(true);
    f.edFind->setFixedSize(170, 22);
    auto* findRow = new QHBoxLayout(findBar);
    findRow->setContentsMargins(0, 0, 4, 0);
    // The list as shown, for a spreadsheet: at the row's other end, clear of the find box.
    f.btnExport = makeButton(findBar, "btnExport", QStringLiteral("导出..."));
    f.btnExport->OnClick = [form = &f](QObject* s) { form->btnExportClick(s); };
    findRow->addWidget(f.btnExport);
    // What earlier runs wrote off, beside it: the clerk looks back before he runs again.
    f.btnHistory = makeButton(findBar, "btnHistory", QStringLiteral("转销记录..."));
    f.btnHistory->OnClick = [form = &f](QObject* s) { form->btnHistoryClick(s); };
    findRow->addWidget(f.btnHistory);
    findRow->addStretch(1);
    // The note of ticks the find box hides stands beside it, in room the totals do not need.
    f.lblHiddenTicked = new QLabel(findBar);
    f.lblHiddenTicked->setObjectName(QStringLiteral("lblHiddenTicked"));
    f.lblHiddenTicked->hide();
    findRow->addWidget(f.lblHiddenTicked);
    // The caption stands in this spacing.
    findRow->addSpacing(80);
    findRow->addWidget(f.edFind);
    QObject::connect(f.edFind, &QLineEdit::textChanged, &f, [form = &f] { form->edFindChange(form->edFind); });
}

// A hidden combo whose items are the texts of the stored codes.
TQvComboBox* makeMappedCombo(QWidget* parent, const char* name, const QStringList& items, const QStringList& codes)
{
    auto* combo = new TQvComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->SetStyle(TQvComboBox::csDropDownList);
    combo->SetItems(items);
    combo->SetValues(codes);
    combo->hide();
    return combo;
}

void buildGrid(TfrmWOFB07& f, QVBoxLayout* column)
{
    f.grdResult = new TFDBGrid(f.pnlLast);
    f.grdResult->setObjectName(QStringLiteral("grdResult"));
    f.grdResult->SetDataSource(f.dsData);
    f.grdResult->SetControlType({QStringLiteral("MA001;CheckBox;Y;N")});
    f.grdResult->SetFixedCols(2);
    f.grdResult->SetTitleAlignment(TFDBGrid::taCenter);
    f.grdResult->SetOptions(f.grdResult->Options() | TFDBGrid::dgEditing);
    f.grdResult->OnDblClick = [form = &f](QObject* s) { form->grdResultDblClick(s); };
    column->addWidget(f.grdResult, 1);
    // The grid's mapped combos: hidden, their lines the texts the status and document-kind
    // cells show for the stored codes (language files and the converter reach them).
    f.cboMA015G = makeMappedCombo(f.pnlLast, "cboMA015G",
                                  {QStringLiteral("1.未核销"), QStringLiteral("2.部分核销"), QStringLiteral("3.已核销")},
                                  {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
    f.cbxMA400G = makeMappedCombo(f.pnlLast, "cbxMA400G",
                                  {QStringLiteral("采购发票"), QStringLiteral("采购发票"), QStringLiteral("费用发票"),
                                   QStringLiteral("其他应付单"), QStringLiteral("预付款单")},
                                  {QStringLiteral("7A"), QStringLiteral("71"), QStringLiteral("7F"),
                                   QStringLiteral("7B"), QStringLiteral("7C")});
}

// A total of the totals box, read-only, its caption left of it.
TQvDBEdit* makeSumEdit(TfrmWOFB07& f, QHBoxLayout* sums, const char* name, const char* field, const QString& caption)
{
    auto* edit = new TQvDBEdit(f.gbSum);
    edit->setObjectName(QString::fromLatin1(name));
    edit->SetCaption(caption);
    edit->SetLabelPosition(TQvEdit::lpLeft);
    // The totals follow the ticks alone: a count typed in would decide the hand-over.
    edit->setReadOnly(true);
    edit->SetDataSource(f.dsSum);
    edit->SetDataField(QString::fromLatin1(field));
    edit->setAlignment(Qt::AlignRight);
    // The caption stands left of the edit, in the spacing before it.
    edit->setMinimumWidth(qstrcmp(field, "MA023") == 0 ? 50 : 110);
    sums->addWidget(edit);
    sums->addSpacing(120);
    return edit;
}

void buildTotals(TfrmWOFB07& f, QVBoxLayout* column)
{
    f.gbSum = new QGroupBox(f.pnlLast);
    f.gbSum->setObjectName(QStringLiteral("gbSum"));
    auto* sums = new QHBoxLayout(f.gbSum);
    sums->setContentsMargins(115, 4, 4, 4);
    f.edMA021 = makeSumEdit(f, sums, "edMA021", "MA021", QStringLiteral("原币转销金额合计"));
    f.edMA022 = makeSumEdit(f, sums, "edMA022", "MA022", QStringLiteral("本币转销金额合计"));
    f.QvDBEdit1 = makeSumEdit(f, sums, "QvDBEdit1", "MA023", QStringLiteral("选中笔数"));
    sums->addStretch(1);
    column->addWidget(f.gbSum);
}

void buildLast(TfrmWOFB07& f)
{
    auto* column = new QVBoxLayout(f.pnlLast);
    column->setContentsMargins(2, 2, 2, 2);
    buildLastEntries(f, column);
    buildFindBar(f, column);
    buildGrid(f, column);
    buildTotals(f, column);
}

} // namespace

void BuildWriteOffControls(TfrmWOFB07& f)
{
    auto* stack = new QVBoxLayout(f.tsOption1);
    stack->setContentsMargins(0, 0, 0, 0);
    f.pnlFirst = makePage(f.tsOption1, "pnlFirst");
    f.pnlNext = makePage(f.tsOption1, "pnlNext");
    f.pnlLast = makePage(f.tsOption1, "pnlLast");
    for (QFrame* page : {f.pnlFirst, f.pnlNext, f.pnlLast})
        stack->addWidget(page);
    buildFirst(f);
    buildNext(f);
    buildLast(f);

    auto* row = static_cast<QHBoxLayout*>(f.Panel1->layout());
    f.btnprior = makeButton(f.Panel1, "btnprior", QStringLiteral("上一步"));
    f.BtnNext = makeButton(f.Panel1, "BtnNext", QStringLiteral("下一步"), QStringLiteral("直接处理"));
    f.btnFilter = makeButton(f.Panel1, "btnFilter", QStringLiteral("筛选"));
    f.btnALL = makeButton(f.Panel1, "btnALL", QStringLiteral("全选"));
    f.BtnAllNo = makeButton(f.Panel1, "BtnAllNo", QStringLiteral("全不选"));
    int at = row->indexOf(f.btnQuery);
    for (TBitBtn* b : {f.btnALL, f.BtnAllNo, f.btnFilter, f.btnprior, f.BtnNext})
        row->insertWidget(at++, b);
    f.btnprior->OnClick = [form = &f](QObject* s) { form->btnpriorClick(s); };
    f.BtnNext->OnClick = [form = &f](QObject* s) { form->BtnNextClick(s); };
    f.btnFilter->OnClick = [form = &f](QObject* s) { form->btnFilterClick(s); };
    f.btnALL->OnClick = [form = &f](QObject* s) { form->btnALLClick(s); };
    f.BtnAllNo->OnClick = [form = &f](QObject* s) { form->BtnAllNoClick(s); };
}
