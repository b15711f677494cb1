#include "batch/OptLayout.h"
#include "batch/BaseOpt.h"

#include "controls/BtChkBox.h"
#include "controls/BmpLibrary.h"
#include "controls/Buttons.h"
#include "controls/ExtPage.h"
#include "controls/F2Button.h"
#include "controls/MaskEdit.h"
#include "controls/QvRadioButton.h"
#include "controls/QvSpin.h"
#include "controls/QvrEdit.h"

#include <QAction>
#include <QToolButton>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPainter>

namespace {

template <class T>
T* named(T* control, const char* name, int x, int y, int w, int h)
{
    control->setObjectName(QLatin1String(name));
    control->setGeometry(x, y, w, h);
    return control;
}

TQvRadioButton* radio(QWidget* parent, const char* name, const QString& caption, int x, int y, int w = 113)
{
    auto* r = named(new TQvRadioButton(parent), name, x, y, w, 17);
    r->SetCaption(caption);
    return r;
}

TQvSpinEdit* spin(QWidget* parent, const char* name, int low, int high, int x, int y, int w = 49)
{
    auto* s = named(new TQvSpinEdit(parent), name, x, y, w, 22);
    s->SetMinValue(low);
    s->SetMaxValue(high);
    return s;
}

TQvComboBox* list(QWidget* parent, const char* name, const QStringList& items, int x, int y, int w = 73)
{
    auto* c = named(new TQvComboBox(parent), name, x, y, w, 21);
    c->SetStyle(TQvComboBox::csDropDownList);
    c->SetItems(items);
    c->SetItemIndex(0);
    return c;
}

TBitCheckBox* check(QWidget* parent, const char* name, const QString& caption, int x, int y, int w = 97)
{
    auto* c = named(new TBitCheckBox(parent), name, x, y, w, 17);
    c->SetCaption(caption);
    return c;
}

QLabel* label(QWidget* parent, const QString& text, int x, int y)
{
    // Named by their panel and place, so that language files can reach them.
    const int n = int(parent->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly).size()) + 1;
    auto* l = new QLabel(text, parent);
    l->setObjectName(QStringLiteral("lbl%1_%2").arg(parent->objectName()).arg(n));
    l->move(x, y + 3);
    l->adjustSize();
    return l;
}

QGroupBox* group(QWidget* parent, const char* name, const QString& caption, int x, int y, int w, int h)
{
    auto* g = named(new QGroupBox(caption, parent), name, x, y, w, h);
    return g;
}

QFrame* panel(QWidget* parent, const char* name, int x, int y, int w, int h)
{
    auto* p = named(new QFrame(parent), name, x, y, w, h);
    p->setFrameShape(QFrame::NoFrame);
    return p;
}

TF2Button* picker(QWidget* parent, const char* name, QWidget* control)
{
    auto* b = new TF2Button(parent);
    b->setObjectName(QLatin1String(name));
    b->SetHint(QStringLiteral("日期快手"));
    b->SetGlyphIndex(9);
    b->SetFlat(true);
    b->SetF2Control(control);
    return b;
}

// The drop-down mark of btnSpd.
QImage arrowGlyph()
{
    QImage image(9, 9, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    const QPoint arrow[] = {QPoint(1, 3), QPoint(8, 3), QPoint(4, 7)};
    p.drawPolygon(arrow, 3);
    return image;
}

const QStringList kWeekdays{QStringLiteral("星期日"), QStringLiteral("星期一"), QStringLiteral("星期二"),
                            QStringLiteral("星期三"), QStringLiteral("星期四"), QStringLiteral("星期五"),
                            QStringLiteral("星期六")};

void buildRuleControls(TfrmBaseOpt& f)
{
    const QStringList units{QStringLiteral("周"), QStringLiteral("月")};
    const QStringList modes{QStringLiteral("加/减"), QStringLiteral("第一天"), QStringLiteral("最后一天")};
    f.gbDynamicFields = group(f.tsPeriodOption, "gbDynamicFields", QStringLiteral("变动字段"), 8, 318, 500, 108);
    label(f.gbDynamicFields, QStringLiteral("   条件:"), 8, 18);
    f.cbocondition = list(f.gbDynamicFields, "cbocondition", {}, 60, 18, 200);

    f.pnSp = panel(f.gbDynamicFields, "pnSp", 4, 42, 492, 62);
    f.spChangeDate_B = check(f.pnSp, "spChangeDate_B", QStringLiteral("变动起始日期"), 4, 4);
    label(f.pnSp, QStringLiteral("=预定运行日"), 104, 2);
    f.seDay_B1 = spin(f.pnSp, "seDay_B1", -99, 99, 176, 2);
    f.cboDay_B1 = list(f.pnSp, "cboDay_B1", units, 228, 2, 49);
    f.cboDay_B2 = list(f.pnSp, "cboDay_B2", modes, 280, 2, 81);
    f.seDay_B2 = spin(f.pnSp, "seDay_B2", -999, 999, 364, 2, 57);
    label(f.pnSp, QStringLiteral("天"), 424, 2);
    f.spChangeDate_E = check(f.pnSp, "spChangeDate_E", QStringLiteral("变动截止日期"), 4, 34);
    label(f.pnSp, QStringLiteral("=预定运行日"), 104, 32);
    f.seDay_E1 = spin(f.pnSp, "seDay_E1", -99, 99, 176, 32);
    f.cboDay_E1 = list(f.pnSp, "cboDay_E1", units, 228, 32, 49);
    f.cboDay_E2 = list(f.pnSp, "cboDay_E2", modes, 280, 32, 81);
    f.seDay_E2 = spin(f.pnSp, "seDay_E2", -999, 999, 364, 32, 57);
    label(f.pnSp, QStringLiteral("天"), 424, 32);

    f.pnEdit = panel(f.gbDynamicFields, "pnEdit", 4, 42, 492, 32);
    f.edChangeDate = check(f.pnEdit, "edChangeDate", QStringLiteral("变动日期"), 4, 4);
    label(f.pnEdit, QStringLiteral("=预定运行日"), 104, 2);
    f.seDay1 = spin(f.pnEdit, "seDay1", -99, 99, 176, 2);
    f.cboDay1 = list(f.pnEdit, "cboDay1", units, 228, 2, 49);
    f.cboDay2 = list(f.pnEdit, "cboDay2", modes, 280, 2, 81);
    f.seDay2 = spin(f.pnEdit, "seDay2", -999, 999, 364, 2, 57);
    label(f.pnEdit, QStringLiteral("天"), 424, 2);
    f.pnSp->hide();
}

void buildPeriodPage(TfrmBaseOpt& f)
{
    f.tsPeriodOption = new TTabSheet(f.pgOption);
    f.tsPeriodOption->setObjectName(QStringLiteral("tsPeriodOption"));
    f.tsPeriodOption->SetCaption(QStringLiteral("周期性设置"));
    f.tsPeriodOption->SetTabVisible(false);
    QWidget* page = f.tsPeriodOption;

    f.lblPeriodTime = label(page, QStringLiteral("运行时间"), 8, 6);
    f.lblPeriodTime->setObjectName(QStringLiteral("lblPeriodTime"));
    f.sePeriodHour = spin(page, "sePeriodHour", 0, 23, 70, 6);
    label(page, QStringLiteral(":"), 122, 6);
    f.sePeriodMin = spin(page, "sePeriodMin", 0, 59, 130, 6);
    f.chkRunFirstNow = check(page, "chkRunFirstNow", QStringLiteral("提交后立即运行一次"), 200, 8, 300);

    f.gbCycleStyle = group(page, "gbCycleStyle", QStringLiteral("循环模式"), 8, 32, 500, 120);
    f.rdoEveryday = radio(f.gbCycleStyle, "rdoEveryday", QStringLiteral("每天"), 10, 18, 80);
    f.rdoEveryWeek = radio(f.gbCycleStyle, "rdoEveryWeek", QStringLiteral("每周"), 10, 42, 80);
    f.rdoEveryMonth = radio(f.gbCycleStyle, "rdoEveryMonth", QStringLiteral("每月"), 10, 66, 80);
    f.rbEveryHour = radio(f.gbCycleStyle, "rbEveryHour", QStringLiteral("每小时"), 10, 90, 80);
    f.rdoEveryday->SetChecked(true);

    f.pnDay = panel(f.gbCycleStyle, "pnDay", 110, 13, 380, 100);
    label(f.pnDay, QStringLiteral("每"), 4, 4);
    f.meDay = spin(f.pnDay, "meDay", 1, 999, 24, 4, 57);
    label(f.pnDay, QStringLiteral("天"), 86, 4);

    f.pnWeek = panel(f.gbCycleStyle, "pnWeek", 110, 13, 380, 100);
    label(f.pnWeek, QStringLiteral("每"), 4, 4);
    f.meWeek = spin(f.pnWeek, "meWeek", 1, 99, 24, 4);
    label(f.pnWeek, QStringLiteral("周的"), 78, 4);
    f.cboDayofWeek = list(f.pnWeek, "cboDayofWeek", kWeekdays, 110, 4, 81);
    f.pnWeek->hide();

    f.pnMonth = panel(f.gbCycleStyle, "pnMonth", 110, 13, 380, 100);
    f.rdomonth_1 = radio(f.pnMonth, "rdomonth_1", QStringLiteral("每"), 4, 6, 40);
    f.meMonth_M1 = spin(f.pnMonth, "meMonth_M1", 1, 99, 46, 4);
    label(f.pnMonth, QStringLiteral("个月的第"), 100, 4);
    f.meMonth_D = spin(f.pnMonth, "meMonth_D", 1, 31, 160, 4);
    label(f.pnMonth, QStringLiteral("天"), 214, 4);
    f.rdomonth_2 = radio(f.pnMonth, "rdomonth_2", QStringLiteral("每"), 4, 36, 40);
    f.meMonth_M2 = spin(f.pnMonth, "meMonth_M2", 1, 99, 46, 34);
    label(f.pnMonth, QStringLiteral("个月的"), 100, 34);
    f.cbo1Month_M2 = list(f.pnMonth, "cbo1Month_M2",
                          {QStringLiteral("第 1 个"), QStringLiteral("第 2 个"), QStringLiteral("第 3 个"),
                           QStringLiteral("第 4 个"), QStringLiteral("最后")},
                          148, 34, 65);
    f.cbo2Month_M2 = list(f.pnMonth, "cbo2Month_M2", kWeekdays, 216, 34, 81);
    f.rdomonth_1->SetChecked(true);
    f.pnMonth->hide();

    f.pnEveryHour = panel(f.gbCycleStyle, "pnEveryHour", 103, 70, 380, 30);
    label(f.pnEveryHour, QStringLiteral("每隔"), 4, 4);
    f.edEveryHour = named(new TQvEdit(f.pnEveryHour), "edEveryHour", 34, 4, 49, 22);
    f.edEveryHour->SetMaxLength(6);
    f.edEveryHour->SetText(QStringLiteral("1"));
    label(f.pnEveryHour, QStringLiteral("小时处理一次数据"), 88, 4);
    f.pnEveryHour->hide();

    f.gbCycleRang = group(page, "gbCycleRang", QStringLiteral("循环范围"), 8, 156, 500, 158);
    f.lblStartDate = label(f.gbCycleRang, QStringLiteral("开始日期"), 10, 18);
    f.lblStartDate->setObjectName(QStringLiteral("lblStartDate"));
    f.meStartDate = named(new TMaskEdit(f.gbCycleRang), "meStartDate", 70, 18, 85, 21);
    f.lblStartDate->setBuddy(f.meStartDate);
    f.btnStartDate = picker(f.gbCycleRang, "btnStartDate", f.meStartDate);
    f.rbCycleRang_1 = radio(f.gbCycleRang, "rbCycleRang_1", QStringLiteral("没有退出日期"), 200, 20, 120);
    f.rbCycleRang_2 = radio(f.gbCycleRang, "rbCycleRang_2", QStringLiteral("在反复"), 200, 46, 64);
    f.meCycleRang_2 = spin(f.gbCycleRang, "meCycleRang_2", 1, 999, 266, 44, 57);
    label(f.gbCycleRang, QStringLiteral("次后退出"), 328, 44);
    f.rbCycleRang_3 = radio(f.gbCycleRang, "rbCycleRang_3", QStringLiteral("退出日期"), 200, 72, 80);
    f.meEndDate = named(new TMaskEdit(f.gbCycleRang), "meEndDate", 282, 70, 85, 21);
    f.btnEndDate = picker(f.gbCycleRang, "btnEndDate", f.meEndDate);
    f.rbCycleRang_1->SetChecked(true);
    f.lblNextRuns = named(new QLabel(f.gbCycleRang), "lblNextRuns", 10, 98, 480, 56);
    f.lblNextRuns->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    f.lblNextRuns->setWordWrap(true);

    buildRuleControls(f);
}

void buildSystemPage(TfrmBaseOpt& f)
{
    QWidget* page = f.tsOption2;
    f.grpGenTime = group(page, "grpGenTime", QStringLiteral("生成时间"), 8, 36, 320, 130);
    f.rdoRealTime = radio(f.grpGenTime, "rdoRealTime", QStringLiteral("实时生成信息"), 10, 20, 140);
    f.rdoRealTime->SetHint(QStringLiteral("信息需要立即生成"));
    f.rdoQueue = radio(f.grpGenTime, "rdoQueue", QStringLiteral("放入工作队列"), 10, 44, 140);
    f.rdoQueue->SetHint(QStringLiteral("排入工作队列等候运行"));
    f.rdoExceptTime = radio(f.grpGenTime, "rdoExceptTime", QStringLiteral("在下列时间生成信息"), 10, 68, 160);
    f.rdoExceptTime->SetHint(QStringLiteral("按设置时间生成报表"));
    f.rdoQueue->SetChecked(true);

    f.pnlTime = panel(f.grpGenTime, "pnlTime", 24, 92, 290, 30);
    f.edDate = named(new TMaskEdit(f.pnlTime), "edDate", 0, 4, 85, 21);
    f.btnDate = picker(f.pnlTime, "btnDate", f.edDate);
    f.edHour = spin(f.pnlTime, "edHour", 0, 23, 112, 4, 45);
    label(f.pnlTime, QStringLiteral(":"), 159, 4);
    f.edMin = spin(f.pnlTime, "edMin", 0, 59, 166, 4, 45);
    label(f.pnlTime, QStringLiteral(":"), 213, 4);
    f.edSec = spin(f.pnlTime, "edSec", 0, 59, 220, 4, 45);
    f.pnlTime->setEnabled(false);

    f.chkNotify = check(page, "chkNotify", QStringLiteral("完成后通知"), 8, 172, 97);
    f.btnNotify = new TF2Button(page);
    f.btnNotify->setObjectName(QStringLiteral("btnNotify"));
    f.btnNotify->SetHint(QStringLiteral("选择需要通知的用户"));
    f.btnNotify->SetGlyphIndex(11); // the people told
    f.btnNotify->SetFlat(true);
    f.btnNotify->setGeometry(108, 169, 22, 22);
    f.btnNotify->setEnabled(false);

    f.grpAlarm = group(page, "grpAlarm", QStringLiteral("通知方式"), 8, 196, 320, 44);
    f.chkAlarm = check(f.grpAlarm, "chkAlarm", QStringLiteral("显示讯息"), 10, 18);
    f.chkQvPager = check(f.grpAlarm, "chkQvPager", QStringLiteral("B.B.CALL"), 120, 18);
    f.grpAlarm->setVisible(false);
}

void buildButtons(TfrmBaseOpt& f)
{
    auto* row = static_cast<QHBoxLayout*>(f.Panel1->layout());
    f.btnPeriod = new TSpeedButton(f.Panel1);
    f.btnPeriod->setObjectName(QStringLiteral("btnPeriod"));
    f.btnPeriod->SetCaption(QStringLiteral("周期性"));
    f.btnPeriod->SetHint(QStringLiteral("周期性工作设置"));
    f.btnPeriod->SetGroupIndex(1);
    f.btnPeriod->SetAllowAllUp(true);
    f.btnPeriod->setMinimumSize(75, 25);
    row->insertWidget(0, f.btnPeriod);

    f.lblRights = new QLabel(f.Panel1);
    f.lblRights->setObjectName(QStringLiteral("lblRights"));
    f.lblRights->setStyleSheet(QStringLiteral("color: #b00000;"));
    f.lblRights->hide();
    row->insertWidget(1, f.lblRights);

    f.btnSpd = new TSpeedButton(f.Panel1);
    f.btnSpd->setObjectName(QStringLiteral("btnSpd"));
    f.btnSpd->SetGlyph(arrowGlyph());
    f.btnSpd->setFixedWidth(16);
    row->insertWidget(row->indexOf(f.btnOk) + 1, f.btnSpd);

    f.pmOKExit = new QMenu(&f);
    f.pmOKExit->setObjectName(QStringLiteral("pmOKExit"));
    f.miOKExit = f.pmOKExit->addAction(QStringLiteral("处理后直接退出作业(&C)"));
    f.miOKExit->setObjectName(QStringLiteral("miOKExit"));
    f.miOKNoExit = f.pmOKExit->addAction(QStringLiteral("处理后并不退出作业(&B)"));
    f.miOKNoExit->setObjectName(QStringLiteral("miOKNoExit"));

    for (TBitBtn** b : {&f.btnOK01, &f.btnOK02}) {
        *b = new TBitBtn(f.Panel1);
        (*b)->SetCaption(QStringLiteral("确定"));
        (*b)->hide();
    }
    f.btnOK01->setObjectName(QStringLiteral("btnOK01"));
    f.btnOK02->setObjectName(QStringLiteral("btnOK02"));
    QImage glyph;
    if (LoadBmp(glyph, 1, 18))
        f.btnOK02->SetGlyph(glyph);
}

} // namespace

void BuildRunOptionControls(TfrmBaseOpt& form)
{
    buildSystemPage(form);
    buildPeriodPage(form);
    buildButtons(form);
}

void BindRunOptionHandlers(TfrmBaseOpt& f)
{
    TfrmBaseOpt* form = &f;
    f.rdoQueue->OnClick = [form](QObject* s) { form->rdoQueueClick(s); };
    f.rdoRealTime->OnClick = [form](QObject* s) { form->rdoQueueClick(s); };
    f.rdoExceptTime->OnClick = [form](QObject* s) { form->rdoExceptTimeClick(s); };
    f.rdoEveryday->OnClick = [form](QObject* s) { form->rdoEverydayClick(s); };
    f.rdoEveryWeek->OnClick = [form](QObject* s) { form->rdoEveryWeekClick(s); };
    f.rdoEveryMonth->OnClick = [form](QObject* s) { form->rdoEveryMonthClick(s); };
    f.rdomonth_1->OnClick = [form](QObject* s) { form->rdomonth_1Click(s); };
    f.rdomonth_2->OnClick = [form](QObject* s) { form->rdomonth_2Click(s); };
    f.rbEveryHour->OnClick = [form](QObject* s) { form->rbEveryHourClick(s); };
    f.rbCycleRang_1->OnClick = [form](QObject* s) { form->rbCycleRang_1Click(s); };
    f.rbCycleRang_2->OnClick = [form](QObject* s) { form->rbCycleRang_2Click(s); };
    f.rbCycleRang_3->OnClick = [form](QObject* s) { form->rbCycleRang_3Click(s); };
    f.meCycleRang_2->OnChange = [form](QObject* s) { form->meCycleRang_2Change(s); };
    QObject::connect(f.meCycleRang_2, &QSpinBox::valueChanged, &f, [form] { form->meCycleRang_2Change(form->meCycleRang_2); });
    f.meEndDate->OnChange = [form](QObject* s) { form->meEndDateChange(s); };
    f.meEndDate->OnExit = [form](QObject* s) { form->meEndDateExit(s); };
    for (TQvSpinEdit* e : {f.meDay, f.meWeek, f.meMonth_M1, f.meMonth_M2, f.meCycleRang_2})
        e->OnExit = [form](QObject* s) { form->meDayExit(s); };
    f.meMonth_D->OnExit = [form](QObject* s) { form->meMonth_DExit(s); };
    for (TQvSpinEdit* e : {f.sePeriodHour, f.sePeriodMin})
        e->OnExit = [form](QObject* s) { form->sePeriodHourExit(s); };
    for (TQvSpinEdit* e : {f.seDay1, f.seDay2, f.seDay_B1, f.seDay_B2, f.seDay_E1, f.seDay_E2})
        e->OnExit = [form](QObject* s) { form->seDay_B1Exit(s); };
    f.edEveryHour->OnExit = [form](QObject* s) { form->edEveryHourExit(s); };
    f.edEveryHour->OnKeyPress = [form](QObject* s, QChar& key) { form->edEveryHourKeyPress(s, key); };
    f.cbocondition->OnChange = [form](QObject* s) { form->cboconditionChange(s); };
    f.spChangeDate_B->OnClick = [form](QObject* s) { form->spChangeDate_BClick(s); };
    f.spChangeDate_E->OnClick = [form](QObject* s) { form->spChangeDate_EClick(s); };
    f.edChangeDate->OnClick = [form](QObject* s) { form->edChangeDateClick(s); };
    f.cboDay2->OnChange = [form](QObject* s) { form->cboDay2Change(s); };
    f.cboDay_B2->OnChange = [form](QObject* s) { form->cboDay_B2Change(s); };
    f.cboDay_E2->OnChange = [form](QObject* s) { form->cboDay_E2Change(s); };
    for (TQvSpinEdit* e : {f.seDay1, f.seDay2}) {
        e->OnChange = [form](QObject* s) { form->seDay1Change(s); };
        // The arrows change the value without a text change.
        QObject::connect(e, &QSpinBox::valueChanged, &f, [form, e] { form->seDay1Change(e); });
    }
    for (TQvSpinEdit* e : {f.seDay_B1, f.seDay_B2, f.seDay_E1, f.seDay_E2}) {
        e->OnChange = [form](QObject* s) { form->seDay_B1Change(s); };
        QObject::connect(e, &QSpinBox::valueChanged, &f, [form, e] { form->seDay_B1Change(e); });
    }
    for (TQvComboBox* c : {f.cboDay1, f.cboDay_B1, f.cboDay_E1})
        c->OnChange = [form](QObject* s) { form->seDay_B1Change(s); };
    for (TQvSpinEdit* e : {f.seDay1, f.seDay2})
        e->OnEnter = [form](QObject* s) { form->seDay1Enter(s); };
    for (TQvSpinEdit* e : {f.seDay_B1, f.seDay_B2, f.seDay_E1, f.seDay_E2})
        e->OnEnter = [form](QObject* s) { form->seDay_B1Enter(s); };
    for (TQvComboBox* c : {f.cboDay1, f.cboDay2, f.cboDay_B1, f.cboDay_B2, f.cboDay_E1, f.cboDay_E2})
        c->OnEnter = [form](QObject* s) { form->seDay_B1Enter(s); };
    for (TBitCheckBox* c : {f.edChangeDate, f.spChangeDate_B, f.spChangeDate_E})
        c->OnEnter = [form](QObject* s) { form->seDay_B1Enter(s); };
    f.tsPeriodOption->OnShow = [form](QObject* s) { form->tsPeriodOptionShow(s); };
    f.btnPeriod->OnClick = [form](QObject* s) { form->btnPeriodClick(s); };
    f.btnSpd->OnClick = [form](QObject* s) { form->btnSpdClick(s); };
    QObject::connect(f.miOKExit, &QAction::triggered, &f, [form] { form->miOKExitClick(form->miOKExit); });
    QObject::connect(f.miOKNoExit, &QAction::triggered, &f, [form] { form->miOKNoExitClick(form->miOKNoExit); });
    f.chkNotify->OnClick = [form](QObject* s) { form->chkNotifyClick(s); };
    f.btnNotify->OnClick = [form](QObject* s) { form->btnNotifyClick(s); };
    f.edDate->OnEnter = [form](QObject* s) { form->edDateEnter(s); };
    f.edDate->OnExit = [form](QObject* s) { form->edDateExit(s); };
    // The schedule's next runs follow every change of the schedule.
    const auto rerun = [form] { form->showNextRuns(); };
    for (TQvSpinEdit* e : {f.sePeriodHour, f.sePeriodMin, f.meDay, f.meWeek, f.meMonth_M1, f.meMonth_D, f.meMonth_M2,
                           f.meCycleRang_2})
        QObject::connect(e, &QSpinBox::valueChanged, &f, rerun);
    for (TQvComboBox* c : {f.cboDayofWeek, f.cbo1Month_M2, f.cbo2Month_M2})
        QObject::connect(c, &QComboBox::currentIndexChanged, &f, rerun);
    for (TQvRadioButton* r : {f.rdoEveryday, f.rdoEveryWeek, f.rdoEveryMonth, f.rbEveryHour, f.rdomonth_1, f.rdomonth_2,
                              f.rbCycleRang_1, f.rbCycleRang_2, f.rbCycleRang_3})
        QObject::connect(r, &QAbstractButton::toggled, &f, rerun);
    f.chkRunFirstNow->OnClick = [form](QObject*) { form->showNextRuns(); };
    for (QLineEdit* e : {static_cast<QLineEdit*>(f.meStartDate), static_cast<QLineEdit*>(f.meEndDate),
                         static_cast<QLineEdit*>(f.edEveryHour)})
        QObject::connect(e, &QLineEdit::textChanged, &f, rerun);
}

