#include "controls/gallery/Gallery.h"
#include "controls/BmpLibrary.h"
#include "controls/BtChkBox.h"
#include "controls/DataSource.h"
#include "controls/FDBGrid.h"
#include "controls/SelectPnl.h"
#include "dataset/ClientDataSet.h"
#include "controls/Buttons.h"
#include "controls/DBLabel.h"
#include "controls/ExtPage.h"
#include "controls/F2Button.h"
#include "controls/GSpdBtn.h"
#include "controls/MaskEdit.h"
#include "controls/QvRadioGroup.h"
#include "controls/QvSpin.h"
#include "controls/QvrEdit.h"
#include "config/DisabledGlyph.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>

namespace {

QLabel* note(QWidget* area, int x, int y, const QString& text)
{
    auto* l = new QLabel(text, area);
    l->move(x, y);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, QColor(0x60, 0x60, 0x60));
    l->setPalette(p);
    l->adjustSize();
    return l;
}

void speedButtons(QWidget* area)
{
    int x = 8;
    for (int n : {8, 9, 4, 47}) {
        auto* b = new TGSpeedButton(area);
        b->SetFlat(n != 4);
        b->SetGlyphIndex(n);
        b->setGeometry(x, 20, 23, 23);
        b->SetHint(QStringLiteral("图号 %1").arg(n));
        auto* off = new TGSpeedButton(area);
        off->SetFlat(n != 4);
        off->SetGlyphIndex(n);
        AddDisabledGlyph(off);
        off->setGeometry(x, 62, 23, 23);
        off->setEnabled(false);
        note(area, x + 2, 4, QString::number(n));
        x += 34;
    }
    auto* none = new TGSpeedButton(area);
    none->SetGlyphIndex(GetMaxBmpID() + 5);
    none->setGeometry(x, 20, 31, 23);
    note(area, x, 4, QStringLiteral("无图"));
    note(area, 8, 46, QStringLiteral("停用:"));
    auto* ok = new TBitBtn(area);
    QImage g;
    LoadBmp(g, 1);
    ok->SetGlyph(g);
    ok->SetCaption(QStringLiteral("确定"));
    ok->setGeometry(8, 96, 80, 27);
    auto* cancel = new TBitBtn(area);
    LoadBmp(g, 2);
    cancel->SetGlyph(g);
    cancel->SetCaption(QStringLiteral("取消"));
    cancel->setGeometry(96, 96, 80, 27);
    auto* off = new TBitBtn(area);
    LoadBmp(g, 5);
    off->SetGlyph(g);
    off->SetCaption(QStringLiteral("保存"));
    off->setGeometry(184, 96, 80, 27);
    off->setEnabled(false);
}

void glyphSizes(QWidget* area)
{
    int x = 8;
    for (int n : {8, 9, 4, 47, 1, 2, 3, 5, 6, 7, 10}) {
        for (int size : {18, 24}) {
            QImage img;
            LoadBmp(img, n, size);
            auto* l = new QLabel(area);
            l->setPixmap(QPixmap::fromImage(n == 4 ? img.copy(0, 0, size, size) : img));
            l->setGeometry(x, size == 18 ? 6 : 30, size, size);
        }
        x += 30;
    }
    int cx = 8;
    for (const char* name : {"UNCHECKED", "CHECKED", "GRAYED"}) {
        for (int size : {13, 18}) {
            auto* l = new QLabel(area);
            l->setPixmap(QPixmap::fromImage(LoadBmpResource(QLatin1String(name), size)));
            l->setGeometry(cx, 62, size, size);
            cx += size + 6;
        }
        cx += 8;
    }
    note(area, 8, 90, QStringLiteral("复选框图 UNCHECKED / CHECKED / GRAYED"));
}

void edits(QWidget* area)
{
    auto* supplier = new TQvEdit(area);
    supplier->setGeometry(64, 8, 120, 21);
    supplier->SetCaption(QStringLiteral("供应商"));
    supplier->SetText(QStringLiteral("A001 东方五金"));
    auto* number = new TQvEdit(area);
    number->SetLabelPosition(TQvEdit::lpAbove);
    number->setGeometry(200, 24, 110, 21);
    number->SetCaption(QStringLiteral("单号 (上方标签)"));
    number->SetText(QStringLiteral("WOFB07-0001"));
    auto* off = new TQvEdit(area);
    off->setGeometry(64, 40, 120, 21);
    off->SetCaption(QStringLiteral("停用"));
    off->SetText(QStringLiteral("不可输入"));
    off->setEnabled(false);

    auto* currency = new TQvBtnEdit(area);
    currency->setGeometry(64, 72, 96, 21);
    currency->SetCaption(QStringLiteral("币别"));
    currency->SetText(QStringLiteral("NTD"));
    currency->SetButtonHint(QStringLiteral("[F2]开窗"));
    auto* date = new TMaskEdit(area);
    date->SetEditMask(QStringLiteral("9999/99/99;1;_"));
    date->SetText(QStringLiteral("2024/01/31"));
    date->setGeometry(64, 104, 96, 21);
    auto* f2 = new TF2Button(area);
    f2->SetGlyphIndex(9);
    f2->SetF2Control(date);
    auto* dateLabel = new TDBLabel(area);
    dateLabel->SetCaption(QStringLiteral("日期"));
    dateLabel->SetFocusControl(date);
    auto* code = new TMaskEdit(area);
    code->SetEditMask(QStringLiteral("!aaaa-aaaaaaaaaaa;0;_"));
    code->SetText(QStringLiteral("AB12X9"));
    code->setGeometry(200, 104, 150, 21);
    note(area, 200, 86, QStringLiteral("掩码 !aaaa-aaaaaaaaaaa"));
    auto* empty = new TMaskEdit(area);
    empty->SetEditMask(QStringLiteral("9999/99/99;1;_"));
    empty->setGeometry(200, 136, 96, 21);
    auto* attached = new TDBLabel(area);
    attached->SetFocusControl(empty);
    attached->SetPos(TDBLabel::psRight);
}

void choices(QWidget* area)
{
    auto* kind = new TQvComboBox(area);
    kind->setGeometry(72, 8, 120, 22);
    kind->SetCaption(QStringLiteral("核销类别"));
    kind->SetStyle(TQvComboBox::csDropDownList);
    kind->SetItems({QStringLiteral("应付账款"), QStringLiteral("其他应付"), QStringLiteral("预付账款")});
    kind->SetItemIndex(0);
    auto* editable = new TQvComboBox(area);
    editable->setGeometry(72, 40, 120, 22);
    editable->SetCaption(QStringLiteral("可输入"));
    editable->SetItems({QStringLiteral("人民币"), QStringLiteral("美元")});
    editable->SetText(QStringLiteral("日元"));
    auto* spin = new TQvSpinEdit(area);
    spin->setGeometry(72, 72, 80, 22);
    spin->SetValue(-12);
    note(area, 8, 76, QStringLiteral("间隔天数"));

    const char* captions[] = {"未选", "已选", "半选", "停用"};
    for (int i = 0; i < 4; ++i) {
        auto* box = new TBitCheckBox(area);
        box->SetCaption(QString::fromUtf8(captions[i]));
        box->SetAllowGrayed(true);
        box->move(220, 8 + i * 22);
        box->SetState(i == 1 ? TBitCheckBox::cbChecked : i == 2 ? TBitCheckBox::cbGrayed : TBitCheckBox::cbUnchecked);
        if (i == 3) {
            box->SetState(TBitCheckBox::cbChecked);
            box->setEnabled(false);
        }
    }
    auto* r1 = new TQvRadioButton(area);
    r1->SetCaption(QStringLiteral("依单据日期"));
    r1->move(8, 108);
    r1->SetChecked(true);
    auto* r2 = new TQvRadioButton(area);
    r2->SetCaption(QStringLiteral("依到期日"));
    r2->move(122, 108);
    auto* r3 = new TQvRadioButton(area);
    r3->SetCaption(QStringLiteral("停用选项"));
    r3->move(236, 108);
    r3->setEnabled(false);

    auto* group = new TQvRadioGroup(area);
    group->SetCaption(QStringLiteral("执行方式"));
    group->setGeometry(8, 132, 330, 62);
    group->SetColumns(3);
    group->SetItems({QStringLiteral("立即执行"), QStringLiteral("指定时间"), QStringLiteral("周期执行")});
    group->SetItemIndex(1);
}

void pages(QWidget* area)
{
    auto* control = new TExtPageControl(area);
    control->setGeometry(8, 8, 330, 110);
    for (const char* caption : {"条件", "选项", "系统"}) {
        auto* sheet = new TTabSheet(control);
        sheet->SetCaption(QString::fromUtf8(caption));
        note(sheet, 12, 12, QStringLiteral("%1页").arg(QString::fromUtf8(caption)));
    }
    control->SetActivePageIndex(1);
}

void selectPanels(QWidget* area)
{
    auto* range = new TSelectPanel(area);
    range->SetCaption(QStringLiteral("选择单据日期 (区间)"));
    range->move(0, 0);
    range->edBegin->SetText(QStringLiteral("2024/01/01"));
    range->edFinal->SetText(QStringLiteral("2024/12/31"));

    auto* choiceRange = new TSelectPanel(area);
    choiceRange->SetStyle(TSelectPanel::sp_UserChoice);
    choiceRange->setGeometry(0, 50, 175, 105);
    choiceRange->SetCaption(QStringLiteral("选择供应商编号"));
    choiceRange->edBegin->SetText(QStringLiteral("S001"));
    choiceRange->edFinal->SetText(QStringLiteral("S099"));

    auto* choiceList = new TSelectPanel(area);
    choiceList->SetStyle(TSelectPanel::sp_UserChoice);
    choiceList->setGeometry(180, 50, 175, 105);
    choiceList->SetCaption(QStringLiteral("选择采购发票"));
    choiceList->SetUserChoice(false);
    choiceList->AddValues({QStringLiteral("7A01"), QStringLiteral("采购发票")});
    choiceList->AddValues({QStringLiteral("7A02"), QStringLiteral("采购发票")});

    auto* stacked = new TSelectPanel(area);
    stacked->SetUseVertical(true);
    stacked->setGeometry(0, 160, 175, 100);
    stacked->SetCaption(QStringLiteral("上下排列"));

    auto* discrete = new TSelectPanel(area);
    discrete->SetStyle(TSelectPanel::sp_Discrete);
    discrete->setGeometry(180, 160, 175, 100);
    discrete->SetCaption(QStringLiteral("多选 (停用)"));
    discrete->AddValues({QStringLiteral("7C01"), QStringLiteral("预付款单")});
    discrete->SetEnabled(false);
}

// Holds the grid's data for as long as the gallery shows it.
class GalleryData : public QObject {
public:
    using QObject::QObject;
    TClientDataSet ds{"cdsData"};
};

void dataGrid(QWidget* area)
{
    auto* data = new GalleryData(area);
    TClientDataSet& ds = data->ds;
    ds.AddField("MA001", ftString, 1)->SetDisplayLabel("选择");
    ds.AddField("MA002", ftString, 10)->SetDisplayLabel("供应商编号");
    ds.AddField("MA016", ftBCD, 2)->SetDisplayLabel("原币应付金额");
    ds.AddField("MA008", ftString, 10)->SetDisplayLabel("单据日期");
    ds.CreateDataSet();
    const char* rows[][4] = {{"Y", "S001", "12345.67", "2024/03/01"},
                             {"N", "S002", "800", "2024/03/15"},
                             {"Y", "S003", "-35.5", "2024/04/02"},
                             {"N", "S004", "123456789.01", "2024/04/20"}};
    for (const auto& r : rows) {
        ds.Append();
        for (int i = 0; i < 4; ++i)
            ds.Fields(i)->SetAsString(r[i]);
        ds.Post();
    }
    ds.SetRecNo(2);
    auto* source = new TDataSource(area);
    source->SetDataSet(&ds);
    auto* grid = new TFDBGrid(area);
    grid->SetDataSource(source);
    grid->SetControlType({QStringLiteral("MA001;CheckBox;Y;N")});
    grid->SetTitleAlignment(TFDBGrid::taCenter);
    grid->CHNCurrencyFields()->SetCurrencyNames(QStringLiteral("MA016"));
    grid->CHNCurrencyFields()->Set_Enabled(true);
    grid->setGeometry(0, 0, 355, 195);
    grid->setColumnWidth(0, 40);
    grid->setColumnWidth(2, 128);
    grid->SetFixedCols(2);
}

} // namespace

const std::vector<GallerySection>& GallerySections()
{
    static const std::vector<GallerySection> sections = {
        {QStringLiteral("快速按钮 TGSpeedButton / TBitBtn"), QSize(360, 130), speedButtons},
        {QStringLiteral("图库 (18 与 24 像素)"), QSize(360, 130), glyphSizes},
        {QStringLiteral("输入框 TQvEdit / TQvBtnEdit / TMaskEdit / TF2Button / TDBLabel"), QSize(360, 165), edits},
        {QStringLiteral("选择 TQvComboBox / TQvSpinEdit / TBitCheckBox / TQvRadioButton / TQvRadioGroup"), QSize(360, 200), choices},
        {QStringLiteral("分页 TExtPageControl"), QSize(360, 125), pages},
        {QStringLiteral("选择面板 TSelectPanel"), QSize(360, 262), selectPanels},
        {QStringLiteral("数据表格 TFDBGrid"), QSize(360, 200), dataGrid},
    };
    return sections;
}

TfrmGallery::TfrmGallery(QWidget* owner) : TQVForm(owner)
{
    SetCaption(QStringLiteral("控件一览"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setSpacing(8);
    int index = 0;
    for (const GallerySection& s : GallerySections()) {
        auto* frame = new QGroupBox(s.title, this);
        auto* layout = new QVBoxLayout(frame);
        layout->setContentsMargins(6, 4, 6, 6);
        auto* area = new QWidget(frame);
        area->setFixedSize(s.size);
        s.build(area);
        layout->addWidget(area);
        grid->addWidget(frame, index / 2, index % 2, Qt::AlignTop | Qt::AlignLeft);
        ++index;
    }
}
