#include "jobform/GeneLayout.h"
#include "jobform/BaseGene.h"
#include "jobform/SocketConnection.h"

#include "controls/BmpLibrary.h"
#include "controls/Buttons.h"
#include "controls/DBLabel.h"
#include "controls/ExtPage.h"
#include "controls/F2Button.h"
#include "controls/MaskEdit.h"
#include "dataset/ClientDataSet.h"

#include <QActionGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// The condition-scheme area's bar: open, save, delete, and the view button with its menu.
void buildSchemeToolBar(TfrmBaseGene& f, QVBoxLayout* conditionLayout)
{
    f.ToolBar1 = new QToolBar(f.pnlCondition);
    f.ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    f.ToolBar1->setIconSize(QSize(18, 18));
    conditionLayout->addWidget(f.ToolBar1);
    // The scheme area is narrow: the buttons show their glyphs, the captions stay their
    // texts (and keyboard mnemonics) and the hints tell them apart.
    f.ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    auto toolButton = [&f](const char* name, const QString& caption, const QString& hint, int glyph) {
        auto* b = new QToolButton(f.ToolBar1);
        b->setObjectName(QLatin1String(name));
        b->setText(caption);
        b->setToolTip(hint);
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        QImage image;
        if (glyph && LoadBmp(image, glyph, 18))
            b->setIcon(QIcon(QPixmap::fromImage(image)));
        f.ToolBar1->addWidget(b);
        return b;
    };
    // Read (and tabbed) as the clerk uses them: a scheme is opened before one is saved.
    f.btnOpen = toolButton("btnOpen", QStringLiteral("开启(&O)"), QStringLiteral("开启"), 6);
    f.btnInsert = toolButton("btnInsert", QStringLiteral("保存(&S)"), QStringLiteral("保存"), 5);
    f.btnDelete = toolButton("btnDelete", QStringLiteral("删除(&D)"), QStringLiteral("删除"), 47);
    f.ToolButton1 = toolButton("ToolButton1", QStringLiteral("ViewIcon"), QString(), 0);
    f.ToolButton1->setToolButtonStyle(Qt::ToolButtonTextOnly);

    f.mnList = new QMenu(&f);
    f.mnList->setObjectName(QStringLiteral("mnList"));
    auto* views = new QActionGroup(f.mnList);
    views->setExclusive(true);
    for (const QString& caption : {QStringLiteral("大型图标(&G)"), QStringLiteral("小型图标(&M)"),
                                   QStringLiteral("清单(&L)"), QStringLiteral("详细信息(&D)")}) {
        QAction* a = f.mnList->addAction(caption);
        a->setCheckable(true);
        views->addAction(a);
    }
    f.mnList->actions().first()->setChecked(true);
    f.ToolButton1->setMenu(f.mnList);
    f.ToolButton1->setPopupMode(QToolButton::MenuButtonPopup);
}

// The scheme list and its context menu.
void buildSchemeList(TfrmBaseGene& f, QVBoxLayout* conditionLayout)
{
    f.lstCondition = new QTreeWidget(f.pnlCondition);
    f.lstCondition->setObjectName(QStringLiteral("lstCondition"));
    f.lstCondition->setRootIsDecorated(false);
    f.lstCondition->setSortingEnabled(true);
    f.lstCondition->sortByColumn(0, Qt::AscendingOrder);
    f.lstCondition->setContextMenuPolicy(Qt::CustomContextMenu);
    conditionLayout->addWidget(f.lstCondition, 1);
    f.muOperation = new QMenu(&f);
    f.muOperation->setObjectName(QStringLiteral("muOperation"));
    f.muOperation->addAction(QStringLiteral("开启(&O)"));
    f.muOperation->addAction(QStringLiteral("删除(&D)"));
    QObject::connect(f.lstCondition, &QWidget::customContextMenuRequested, &f,
            [&f](const QPoint& at) { f.muOperation->popup(f.lstCondition->viewport()->mapToGlobal(at)); });
}

// The condition-scheme area.
void buildSchemeArea(TfrmBaseGene& f)
{
    f.pnlCondition = new QFrame(f.Splitter1);
    f.pnlCondition->setObjectName(QStringLiteral("pnlCondition"));
    f.pnlCondition->resize(151, f.pnlCondition->height());
    auto* conditionLayout = new QVBoxLayout(f.pnlCondition);
    conditionLayout->setContentsMargins(0, 0, 0, 0);
    conditionLayout->setSpacing(0);
    f.lblCondition = new QLabel(QStringLiteral(" 条件方案"), f.pnlCondition);
    f.lblCondition->setObjectName(QStringLiteral("lblCondition"));
    f.lblCondition->setFixedHeight(21);
    conditionLayout->addWidget(f.lblCondition);

    f.ImageList1 = new QObject(&f);
    f.ImageList1->setObjectName(QStringLiteral("ImageList1"));
    f.ImageList1->setProperty("Width", 18);
    f.ImageList1->setProperty("Height", 18);
    f.ImageList2 = new QObject(&f);
    f.ImageList2->setObjectName(QStringLiteral("ImageList2"));
    f.ImageList2->setProperty("Width", 24);
    f.ImageList2->setProperty("Height", 24);

    buildSchemeToolBar(f, conditionLayout);
    buildSchemeList(f, conditionLayout);
}

// The option pages, the system page with the print date.
void buildOptionPages(TfrmBaseGene& f)
{
    f.pgOption = new TExtPageControl(f.Splitter1);
    f.pgOption->setObjectName(QStringLiteral("pgOption"));
    f.pgOption->setToolTip(QStringLiteral("请输入选项条件"));
    f.tsOption1 = new TTabSheet(f.pgOption);
    f.tsOption1->setObjectName(QStringLiteral("tsOption1"));
    f.tsOption1->SetCaption(QStringLiteral("基本选项"));
    f.tsOption2 = new TTabSheet(f.pgOption);
    f.tsOption2->setObjectName(QStringLiteral("tsOption2"));
    f.tsOption2->SetCaption(QStringLiteral("系统选项"));
    f.Splitter1->setStretchFactor(0, 0);
    f.Splitter1->setStretchFactor(1, 1);
    f.Splitter1->setSizes({151, f.width() - 151});

    f.lblToday = new TDBLabel(f.tsOption2);
    f.lblToday->setObjectName(QStringLiteral("lblToday"));
    f.lblToday->SetCaption(QStringLiteral("制表日期"));
    f.edPrintDate = new TMaskEdit(f.tsOption2);
    f.edPrintDate->setObjectName(QStringLiteral("edPrintDate"));
    f.edPrintDate->SetHint(QStringLiteral("[F2]日期快手"));
    f.edPrintDate->setGeometry(60, 8, 85, 21);
    f.lblToday->SetFocusControl(f.edPrintDate);
    f.btnPrintDate = new TF2Button(f.tsOption2);
    f.btnPrintDate->setObjectName(QStringLiteral("btnPrintDate"));
    f.btnPrintDate->SetHint(QStringLiteral("日期快手"));
    f.btnPrintDate->SetGlyphIndex(9);
    f.btnPrintDate->SetF2Control(f.edPrintDate);
}

// OK and Cancel.
void buildOkCancel(TfrmBaseGene& f, QVBoxLayout* root)
{
    f.Panel1 = new QFrame(&f);
    f.Panel1->setObjectName(QStringLiteral("Panel1"));
    f.Panel1->setFixedHeight(43);
    root->addWidget(f.Panel1);
    auto* buttons = new QHBoxLayout(f.Panel1);
    buttons->addStretch(1);
    f.btnOk = new TBitBtn(f.Panel1);
    f.btnOk->setObjectName(QStringLiteral("btnOk"));
    f.btnOk->SetCaption(QStringLiteral("确定"));
    f.btnOk->SetHint(QStringLiteral("确定"));
    buttons->addWidget(f.btnOk);
    f.btnCancel = new TBitBtn(f.Panel1);
    f.btnCancel->setObjectName(QStringLiteral("btnCancel"));
    f.btnCancel->SetCaption(QStringLiteral("取消"));
    f.btnCancel->SetHint(QStringLiteral("取消"));
    f.btnCancel->SetCancel(true);
    f.btnCancel->SetModalResult(mrCancel);
    buttons->addWidget(f.btnCancel);
}

} // namespace

void BuildGeneComponents(TfrmBaseGene& f)
{
    auto* root = new QVBoxLayout(&f);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    f.Splitter1 = new QSplitter(Qt::Horizontal, &f);
    f.Splitter1->setObjectName(QStringLiteral("Splitter1"));
    root->addWidget(f.Splitter1, 1);

    buildSchemeArea(f);
    buildOptionPages(f);
    buildOkCancel(f, root);

    f.MainMidas = new TSocketConnection(&f);
    f.MainMidas->setObjectName(QStringLiteral("MainMidas"));
    f.MainMidas->SetSupportCallbacks(false);
    f.ObjBroker = new TSimpleObjectBroker(&f);
    f.ObjBroker->setObjectName(QStringLiteral("ObjBroker"));
    f.MainMidas->SetObjectBroker(f.ObjBroker);

    f.ClientDataSet1 = std::make_unique<TClientDataSet>("ClientDataSet1");
}
