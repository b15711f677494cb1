#include "batch/BaseOpt.h"
#include "batch/Notify.h"
#include "jobform/GeneCondition.h"
#include "jobform/JobMessages.h"
#include "jobform/SchemeValues.h"
#include "batch/BaseOptU.h"
#include "batch/DateRuleEdit.h"
#include "batch/OptLayout.h"
#include "batch/PeriodHandOver.h"
#include "batch/PeriodSchedule.h"
#include "jobform/BaseGeneU.h"
#include "jobform/SocketConnection.h"

#include "config/QtVariant.h"
#include "config/RunTimeProps.h"
#include "controls/BtChkBox.h"
#include "controls/Buttons.h"
#include "controls/ExtPage.h"
#include "controls/F2Button.h"
#include "controls/MaskEdit.h"
#include "controls/QvRadioButton.h"
#include "controls/QvSpin.h"
#include "controls/QvrEdit.h"
#include "platform/OleDate.h"
#include "platform/SystemInfo.h"
#include "support/Dates.h"
#include "support/FormatSettings.h"
#include "support/Helpers.h"
#include "support/ScheduleRules.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

#include <vector>

namespace {

// The page of a page control that holds the control, or nullptr (the form).
TTabSheet* pageOf(QWidget* control)
{
    for (QWidget* w = control; w; w = w->parentWidget())
        if (auto* sheet = qobject_cast<TTabSheet*>(w))
            return sheet;
    return nullptr;
}

QString entryName(const QString& entry)
{
    return entry.section(QLatin1Char(';'), 0, 0).trimmed();
}

// Runs a radio button's click: checking it raises the click, an already checked one is
// clicked by hand.
void choose(TQvRadioButton* radio)
{
    if (radio->Checked())
        Fire(radio->OnClick, radio);
    else
        radio->SetChecked(true);
}

} // namespace

TfrmBaseOpt::TfrmBaseOpt(QWidget* owner) : TfrmBaseGene(owner)
{
    BuildRunOptionControls(*this);
    BindRunOptionHandlers(*this);
    periodHandOver_ = std::make_unique<TPeriodHandOver>(*this);
}

TfrmBaseOpt::~TfrmBaseOpt() = default;

// --- Values handed in from outside -------------------------------------------------------------

bool TfrmBaseOpt::TakesAction(QWidget* control) const
{
    return periodHandOver_->TakesAction(control) || TfrmBaseGene::TakesAction(control);
}

bool TfrmBaseOpt::ApplyAction(QWidget* control, const Variant& value)
{
    if (periodHandOver_->TakesAction(control))
        return periodHandOver_->ApplyAction(control, value);
    return TfrmBaseGene::ApplyAction(control, value);
}

void TfrmBaseOpt::BeforeApplyValue(QWidget* control, const QString& value)
{
    TfrmBaseGene::BeforeApplyValue(control, value);
    periodHandOver_->BeforeApplyValue(control);
}

void TfrmBaseOpt::AfterApplyValue(QWidget* control, const QString& value)
{
    TfrmBaseGene::AfterApplyValue(control, value);
    periodHandOver_->AfterApplyValue(control);
}

// --- Creation, initialisation ---------------------------------------------------------------

void TfrmBaseOpt::FormCreate(QObject* sender)
{
    TfrmBaseGene::FormCreate(sender);
    btnOk->SetGlyph(btnOK02->Glyph());
    edDate->SetText(QString());
    SqlType = 0;
    OkMenuShown = true;
    ExitAfterOk = true;
}

void TfrmBaseOpt::FormShow(QObject* sender)
{
    TfrmBaseGene::FormShow(sender);
    btnSpd->setVisible(OkMenuShown);
    if (OkMenuShown)
        btnSpd->setFixedHeight(btnOk->height());
}

void TfrmBaseOpt::FormDestroy(QObject* sender)
{
    TfrmBaseGene::FormDestroy(sender);
    DateRuleList.clear();
}

void TfrmBaseOpt::InitJob()
{
    TfrmBaseGene::InitJob();
    AddDateFields(QStringLiteral("edDate,meStartDate,meEndDate"));
    EnvCount = 12;
    FeatureFlags = 4;
}

void TfrmBaseOpt::BeforeConnect(TSocketConnection* connection)
{
    TfrmBaseGene::BeforeConnect(connection);
    connection->SetServerName(QLatin1String(JobServiceName));
}

bool TfrmBaseOpt::InitSession(const Variant& session)
{
    const bool result = TfrmBaseGene::InitSession(session);
    if (result) {
        edDate->SetText(QString());
        try {
            std::vector<Variant> none;
            SqlType = AppServer.invoke("SQLType", none).toInt();
        } catch (const std::exception&) {
            SqlType = 0;
        }
        LoadRights();
        // The host shows the form through its controller.
        tsPeriodOption->SetTabVisible(periodDown());
        PeriodPageFresh = true;
        BaseRequiredTaken = false;
    }
    NotifyRecipients.clear();
    return result;
}

void TfrmBaseOpt::SetupSystemPage()
{
    TfrmBaseGene::SetupSystemPage();
    resize(std::max(width(), 340), std::max(height(), 275));
    btnNotify->move(EnglishInterface() ? 160 : 108, btnNotify->y());
}

bool TfrmBaseOpt::periodDown() const
{
    return btnPeriod->Down();
}

QString TfrmBaseOpt::todayText()
{
    return QString::fromStdString(DateToDisplayText(GetDateFormat(), Utf8(GetDateSeparator()), Today()));
}

// --- Rights ------------------------------------------------------------------------------------

void TfrmBaseOpt::LoadRights()
{
    Variant answer;
    try {
        std::vector<Variant> args{Variant::list({QStrToVar(DatabaseName), QStrToVar(UserCode), QStrToVar(ProgramCode), ""})};
        answer = AppServer.invoke("GetPower", args);
    } catch (const std::exception&) {
        answer = Variant();
    }
    Rights = IncomingConvert(answer);
    ReadRunOptions(Rights);
    lblRights->hide();
    if (!RightAllows(0)) {
        showNoRights(GetText(QStringLiteral("sNoRight"), QStringLiteral("您没有执行本作业的权限, 不能处理!")));
        return;
    }
    if (!RightAllows(2)) {
        btnOk->setEnabled(false);
        btnOk->SetHint(GetText(QStringLiteral("sNoQueueRight"), QStringLiteral("您没有后台处理本作业的权限")));
    }
}

bool TfrmBaseOpt::RightAllows(int index) const
{
    if (!Rights.isArray())
        return false;
    const auto flag = [this](int i) {
        const int at = Rights.lowBound() + i;
        if (at > Rights.highBound())
            return false;
        try {
            return VarToQStr(Rights[at]).trimmed().compare(QLatin1String("Y"), Qt::CaseInsensitive) == 0;
        } catch (const std::exception&) {
            return false;
        }
    };
    return flag(6) || flag(index);
}

void TfrmBaseOpt::showNoRights(const QString& text)
{
    lblRights->setText(text);
    lblRights->show();
    for (QWidget* w : {static_cast<QWidget*>(btnOk), static_cast<QWidget*>(btnPeriod), static_cast<QWidget*>(btnSpd)}) {
        w->setEnabled(false);
        w->setToolTip(text);
    }
}

QString TfrmBaseOpt::OkRefusal()
{
    // The rights, not the button's hint: a language file's hint replaces the one set here.
    if (!RightAllows(0))
        return GetText(QStringLiteral("sNoRight"), QStringLiteral("您没有执行本作业的权限, 不能处理!"));
    if (!RightAllows(2))
        return GetText(QStringLiteral("sNoQueueRight"), QStringLiteral("您没有后台处理本作业的权限"));
    return TfrmBaseGene::OkRefusal();
}

// --- Required controls -------------------------------------------------------------------------

void TfrmBaseOpt::passRequiredGroups(bool withBase)
{
    QStringList groups;
    if (withBase)
        groups << BaseRequired;
    groups << StyleRequired << RangeRequired << TimeRequired;
    OptionChanging = true;
    SetRequiredFields(JoinRequiredGroups(groups));
    OptionChanging = false;
}

void TfrmBaseOpt::passTimeRequired()
{
    OptionChanging = true;
    SetRequiredFields(JoinRequiredGroups({TimeRequired}));
    OptionChanging = false;
}

void TfrmBaseOpt::SetRequiredFields(const QString& list)
{
    QStringList given;
    for (const QString& entry : list.split(QLatin1Char(',')))
        if (!entryName(entry).isEmpty())
            given << entryName(entry).toUpper();
    QStringList carried, carriedNames;
    for (const QString& entry : RequiredFields.split(QLatin1Char(','))) {
        const QString name = entryName(entry);
        if (name.isEmpty() || carriedNames.contains(name.toUpper()) || given.contains(name.toUpper()))
            continue;
        auto* control = qobject_cast<QWidget*>(FindComponent(name));
        if (!control)
            continue;
        TTabSheet* page = pageOf(control);
        const bool optionPage = page && (page == tsOption2 || page == tsPeriodOption);
        const int separator = entry.indexOf(QLatin1Char(';'));
        const QString text = separator >= 0 ? entry.mid(separator + 1).trimmed() : QString();
        if (OptionChanging && !optionPage)
            carried << (separator >= 0 ? name + QLatin1Char(';') + text : name);
        else if (!OptionChanging && optionPage)
            carried << name;
        else
            continue;
        carriedNames << name.toUpper();
    }
    QString joined = list;
    for (const QString& entry : carried)
        joined += QLatin1Char(',') + entry;
    TfrmBaseGene::SetRequiredFields(joined);
}

void TfrmBaseOpt::rdoQueueClick(QObject*)
{
    TimeRequired.clear();
    pnlTime->setEnabled(false);
    // With btnPeriod up the schedule's groups name controls of a hidden page.
    if (periodDown())
        passRequiredGroups(false);
    else
        passTimeRequired();
}

void TfrmBaseOpt::rdoExceptTimeClick(QObject*)
{
    TimeRequired = QStringLiteral("edDate");
    pnlTime->setEnabled(true);
    if (periodDown())
        passRequiredGroups(false);
    else
        passTimeRequired();
}

void TfrmBaseOpt::showCyclePanel(QFrame* panel, int x, int y)
{
    for (QFrame* p : {pnDay, pnWeek, pnMonth, pnEveryHour})
        if (p != panel)
            p->hide();
    panel->move(x, y);
    panel->show();
}

void TfrmBaseOpt::rdoEverydayClick(QObject*)
{
    showCyclePanel(pnDay, 110, 13);
    StyleRequired = QStringLiteral("meDay,meStartDate");
    passRequiredGroups(true);
}

void TfrmBaseOpt::rdoEveryWeekClick(QObject*)
{
    showCyclePanel(pnWeek, 110, 13);
    StyleRequired = QStringLiteral("meWeek,meStartDate");
    passRequiredGroups(true);
}

void TfrmBaseOpt::rdoEveryMonthClick(QObject*)
{
    showCyclePanel(pnMonth, 110, 13);
    if (rdomonth_2->Checked())
        rdomonth_2Click(rdomonth_2);
    else
        rdomonth_1Click(rdomonth_1);
}

void TfrmBaseOpt::rdomonth_1Click(QObject*)
{
    StyleRequired = QStringLiteral("meMonth_M1,meMonth_D,meStartDate");
    passRequiredGroups(true);
}

void TfrmBaseOpt::rdomonth_2Click(QObject*)
{
    StyleRequired = QStringLiteral("meMonth_M2,meStartDate");
    passRequiredGroups(true);
}

void TfrmBaseOpt::rbEveryHourClick(QObject*)
{
    showCyclePanel(pnEveryHour, 103, 70);
    StyleRequired = QStringLiteral("edEveryHour,meStartDate");
    passRequiredGroups(true);
}

void TfrmBaseOpt::rbCycleRang_1Click(QObject*)
{
    RangeRequired.clear();
    passRequiredGroups(true);
}

void TfrmBaseOpt::rbCycleRang_2Click(QObject*)
{
    RangeRequired = QStringLiteral("meCycleRang_2");
    passRequiredGroups(true);
}

void TfrmBaseOpt::rbCycleRang_3Click(QObject*)
{
    RangeRequired = QStringLiteral("meEndDate");
    passRequiredGroups(true);
}

void TfrmBaseOpt::meCycleRang_2Change(QObject*)
{
    if (!rbCycleRang_2->Checked())
        rbCycleRang_2->SetChecked(true);
}

void TfrmBaseOpt::meEndDateChange(QObject*)
{
    // Only what the user types chooses the end date, not the mask laid over it on entry.
    if (!rbCycleRang_3->Checked() && !DateTextToCompact(meEndDate->Text()).trimmed().isEmpty())
        rbCycleRang_3->SetChecked(true);
}

// --- Field checks on leaving a control --------------------------------------------------------

void TfrmBaseOpt::meDayExit(QObject* sender)
{
    if (auto* e = qobject_cast<TQvSpinEdit*>(sender))
        e->SetText(NonZeroOr(e->Text(), QStringLiteral("1")));
}

void TfrmBaseOpt::meMonth_DExit(QObject* sender)
{
    if (auto* e = qobject_cast<TQvSpinEdit*>(sender))
        e->SetText(MonthDayCheck(e->Text()));
}

void TfrmBaseOpt::sePeriodHourExit(QObject* sender)
{
    if (auto* e = qobject_cast<TQvSpinEdit*>(sender))
        e->SetText(NonZeroOr(e->Text(), QStringLiteral("0")));
}

void TfrmBaseOpt::seDay_B1Exit(QObject* sender)
{
    if (auto* e = qobject_cast<TQvSpinEdit*>(sender))
        e->SetText(NonZeroOr(e->Text(), QStringLiteral("0")));
}

void TfrmBaseOpt::edEveryHourExit(QObject*)
{
    edEveryHour->SetText(EveryHourCheck(edEveryHour->Text()));
}

void TfrmBaseOpt::edEveryHourKeyPress(QObject*, QChar& key)
{
    if (!EveryHourKeyAccepted(key, edEveryHour->Text()))
        key = QChar();
}

void TfrmBaseOpt::meEndDateExit(QObject*)
{
    if (!rbCycleRang_3->Checked())
        return;
    // Compared as dates: shown texts sort wrongly under a month-first or day-first order.
    const QString end = DateTextToCompact(meEndDate->Text()).trimmed();
    const QString start = DateTextToCompact(meStartDate->Text()).trimmed();
    if (end.isEmpty() || start.isEmpty() || end >= start)
        return;
    ValidationFailed = true;
    ReportMessage(QStringLiteral("E;100082;") + rbCycleRang_3->Caption() + QLatin1Char(';') + lblStartDate->text());
    if (meEndDate->isEnabled() && meEndDate->isVisible())
        meEndDate->setFocus(Qt::OtherFocusReason);
}

void TfrmBaseOpt::edDateEnter(QObject*) {}
void TfrmBaseOpt::edDateExit(QObject*) {}

// --- The periodic page -------------------------------------------------------------------------

void TfrmBaseOpt::PreparePeriodPage()
{
    try {
        Variant texts = Variant::array(1, std::max(OptionCount, 1));
        CollectOptionTexts(texts, OptionCount - OptionBase);
        if (PeriodPageFresh) {
            for (TQvComboBox* c : {cboDayofWeek, cbo1Month_M2, cbo2Month_M2, cboDay1, cboDay2, cboDay_B1, cboDay_B2,
                                   cboDay_E1, cboDay_E2})
                c->SetItemIndex(0);
            for (TQvSpinEdit* e : {meDay, meWeek, meMonth_M1, meMonth_D, meMonth_M2})
                e->SetText(QStringLiteral("1"));
            DateRuleEdit::Fill(*this, texts);
        }
        meStartDate->SetText(todayText());
        StyleRequired = QStringLiteral("meDay,meStartDate");
        if (!PeriodPageFresh) {
            if (cbocondition->count() > 0)
                cboconditionChange(cbocondition);
            if (rdoEveryWeek->Checked())
                rdoEveryWeekClick(rdoEveryWeek);
            else if (rdoEveryMonth->Checked())
                rdoEveryMonthClick(rdoEveryMonth);
            else if (rbEveryHour->Checked())
                rbEveryHourClick(rbEveryHour);
            else
                rdoEverydayClick(rdoEveryday);
        }
        PeriodPageFresh = false;
    } catch (const std::exception&) {
        if (cbocondition->count() > 0)
            cbocondition->SetItemIndex(0);
    }
    showNextRuns();
}

void TfrmBaseOpt::tsPeriodOptionShow(QObject*)
{
    resize(std::max(width(), 538), std::max(height(), 424));
}

void TfrmBaseOpt::btnPeriodClick(QObject*)
{
    try {
        pnEdit->hide();
        Panel1->setFocus(Qt::OtherFocusReason);
        tsPeriodOption->SetTabVisible(periodDown());
        if (periodDown()) {
            if (!BaseRequiredTaken) {
                BaseRequired = RequiredFields;
                BaseRequiredTaken = true;
            }
            if (!PeriodPanelsPlaced) {
                for (QFrame* p : {pnDay, pnWeek, pnMonth})
                    p->move(110, 13);
                PeriodPanelsPlaced = true;
            }
            PreparePeriodPage();
            pgOption->SetActivePage(tsPeriodOption);
            grpGenTime->setEnabled(false);
            choose(rdoExceptTime);
            edDate->SetText(meStartDate->Text());
            passRequiredGroups(false);
        } else {
            pgOption->SetActivePageIndex(0);
            grpGenTime->setEnabled(true);
            choose(rdoQueue);
            passTimeRequired();
        }
    } catch (const std::exception&) {
    }
}

void TfrmBaseOpt::pgOptionChange(QObject* sender)
{
    TfrmBaseGene::pgOptionChange(sender);
    if (!periodDown())
        return;
    ReadSchedule();
    const QString first = FirstRunDateFrom(DateTextToCompact(meStartDate->Text()));
    if (ScheduleValue.isArray() && ScheduleValue[0].toInt() == 3) {
        const CivilDate now = DecodeDateTime(Now());
        edDate->SetText(todayText());
        edHour->SetText(QString::asprintf("%.2d", now.hour));
        edMin->SetText(QString::asprintf("%.2d", now.minute));
    } else {
        edDate->SetText(first.isEmpty() ? QString()
                                        : QString::fromStdString(DateToDisplayText(GetDateFormat(), Utf8(GetDateSeparator()),
                                                                                   CompactToDate(Utf8(first)))));
        edHour->SetText(spinText(sePeriodHour));
        edMin->SetText(spinText(sePeriodMin));
    }
}

void TfrmBaseOpt::ReadSchedule()
{
    PeriodSchedule::Read(*this);
}

QString TfrmBaseOpt::FirstRunDateFrom(const QString& compactStart) const
{
    return QString::fromStdString(NextScheduledDate(Utf8(compactStart), ScheduleValue));
}

QString TfrmBaseOpt::RollDate() const
{
    if (!ScheduleValue.isArray() || ScheduleValue[0].toInt() != 3)
        return FirstRunDate;
    // An hourly job first runs at submission, but not before its start.
    const QString today = QString::fromStdString(dateToCompact(Today()));
    const QString start = const_cast<TfrmBaseOpt*>(this)->DateTextToCompact(meStartDate->Text()).trimmed();
    return start > today ? start : today;
}

void TfrmBaseOpt::showNextRuns()
{
    PeriodSchedule::ShowNextRuns(*this);
}

Variant TfrmBaseOpt::PeriodValue()
{
    return PeriodSchedule::PeriodValue(*this);
}

// --- Rule editing ------------------------------------------------------------------------------

void TfrmBaseOpt::cboconditionChange(QObject*)
{
    DateRuleEdit::LoadSelected(*this);
}

void TfrmBaseOpt::StoreDateRule()
{
    DateRuleEdit::Store(*this);
}

void TfrmBaseOpt::edChangeDateClick(QObject* sender)
{
    DateRuleEdit::EnableRule(edChangeDate, seDay1, cboDay1, cboDay2, seDay2,
                             RuleGranularity(DateRuleEdit::SelectedLine(*this)) == QLatin1String("D"), false);
    if (sender == edChangeDate)
        StoreDateRule();
}

void TfrmBaseOpt::spChangeDate_BClick(QObject* sender)
{
    DateRuleEdit::EnableRule(spChangeDate_B, seDay_B1, cboDay_B1, cboDay_B2, seDay_B2,
                             RuleGranularity(DateRuleEdit::SelectedLine(*this)) == QLatin1String("D"), false);
    if (sender == spChangeDate_B)
        StoreDateRule();
}

void TfrmBaseOpt::spChangeDate_EClick(QObject* sender)
{
    DateRuleEdit::EnableRule(spChangeDate_E, seDay_E1, cboDay_E1, cboDay_E2, seDay_E2,
                             RuleGranularity(DateRuleEdit::SelectedLine(*this)) == QLatin1String("D"), true);
    if (sender == spChangeDate_E)
        StoreDateRule();
}

void TfrmBaseOpt::cboDay2Change(QObject*)
{
    seDay2->setEnabled(cboDay2->ItemIndex() == 0 && cboDay2->isEnabled() && edChangeDate->Checked());
    if (RuleEditing)
        StoreDateRule();
}

void TfrmBaseOpt::cboDay_B2Change(QObject*)
{
    seDay_B2->setEnabled(cboDay_B2->ItemIndex() == 0 && cboDay_B2->isEnabled() && spChangeDate_B->Checked());
    if (RuleEditing)
        StoreDateRule();
}

void TfrmBaseOpt::cboDay_E2Change(QObject*)
{
    seDay_E2->setEnabled(cboDay_E2->ItemIndex() == 0 && cboDay_E2->isEnabled() && spChangeDate_E->Checked());
    if (RuleEditing)
        StoreDateRule();
}

void TfrmBaseOpt::seDay1Change(QObject*)
{
    if (RuleEditing)
        StoreDateRule();
}

void TfrmBaseOpt::seDay_B1Change(QObject*)
{
    if (RuleEditing)
        StoreDateRule();
}

void TfrmBaseOpt::seDay1Enter(QObject*)
{
    RuleEditing = true;
}

void TfrmBaseOpt::seDay_B1Enter(QObject*)
{
    RuleEditing = true;
}

// --- The job request -----------------------------------------------------------------------------

bool TfrmBaseOpt::CollectEnvironment(Variant& environment)
{
    if (!TfrmBaseGene::CollectEnvironment(environment))
        return false;
    try {
        if (periodDown())
            environment[9] = QStrToVar(JobKind.toLower());
        environment[11] = Variant::date(Now());
        if (rdoQueue->Checked()) {
            environment[10] = 0;
        } else if (rdoRealTime->Checked()) {
            environment[10] = 1;
        } else {
            environment[10] = 2;
            bool readable = true;
            double day = 0;
            bool hourly = false;
            if (periodDown()) {
                ReadSchedule();
                hourly = ScheduleValue[0].toInt() == 3;
                FirstRunDate = FirstRunDateFrom(DateTextToCompact(meStartDate->Text()));
                day = CompactToDate(Utf8(FirstRunDate));
                edHour->SetText(spinText(sePeriodHour));
                edMin->SetText(spinText(sePeriodMin));
                edSec->SetText(QStringLiteral("00"));
                readable = hourly ? !DateTextToCompact(meStartDate->Text()).trimmed().isEmpty() : day != 0;
            } else {
                day = DisplayTextToDate(Utf8(edDate->Text()), GetDateFormat(), Utf8(GetDateSeparator()));
                readable = day != 0;
            }
            bool hourOk = false, minuteOk = false, secondOk = false;
            const int hour = edHour->Text().trimmed().toInt(&hourOk);
            const int minute = edMin->Text().trimmed().toInt(&minuteOk);
            const int second = edSec->Text().trimmed().toInt(&secondOk);
            readable = readable && hourOk && minuteOk && secondOk && hour >= 0 && hour <= 23 && minute >= 0
                    && minute <= 59 && second >= 0 && second <= 59;
            if (!readable) {
                environment[10] = 0;
                // The run's date field by name, and what to look at.
                ReportMessage(QStringLiteral("E;000005;") + FieldCaption(periodDown() ? meStartDate : edDate)
                              + QLatin1Char(';') + GetMessageText(QStringLiteral("I"), QStringLiteral("000009"))
                              + GetMessageText(QStringLiteral("I"), QStringLiteral("000010")));
                return false;
            }
            environment[11] = hourly ? Variant::date(Now()) : Variant::date(day + EncodeTime(hour, minute, second));
            // The run at once comes before the schedule's first moment, not instead of it.
            if (periodDown() && chkRunFirstNow->Checked())
                environment[10] = 1;
        }
        environment[12] = QStrToVar(chkNotify->Checked() ? NotifyRecipients : QString());
        return true;
    } catch (const std::exception& e) {
        ReportRawError(QString::fromUtf8(e.what()));
        return false;
    }
}

bool TfrmBaseOpt::CollectParams()
{
    const bool built = TfrmBaseGene::CollectParams();
    if (!built || !periodDown())
        return built;
    try {
        const Variant period = PeriodValue();
        Variant& packet = ParamPacket;
        const Variant texts = packet[1];
        const Variant rules = DateRuleEdit::RequestRules(*this, texts);
        Variant rollParams = Variant::array(1, 3);
        rollParams[1] = packet[2];
        rollParams[2] = period;
        rollParams[3] = rules;
        const Variant rolled = RollConditionDates(rollParams, Utf8(RollDate()));
        if (!rolled.isArray()) {
            // Sending no option values would lose the job's conditions.
            ReportRawError(GetText(QStringLiteral("sRollFailed"), QStringLiteral("变动字段无法计算, 请检查变动字段的设置")));
            ShowMessageDialog(MessageTexts, mtError, {mbOK});
            return false;
        }
        Variant extended = Variant::array(0, 4);
        extended[0] = packet[0];
        extended[1] = packet[1];
        extended[2] = rolled;
        extended[3] = period;
        extended[4] = rules;
        ParamPacket = extended;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void TfrmBaseOpt::btnOkClick(QObject* sender)
{
    TfrmBaseGene::btnOkClick(sender);
    // The field being left is checked first, whether or not the window had the focus.
    if (!ExitActiveControl(btnOk, [this] { return ValidationFailed; }) || !CollectParams())
        return;
    ParamPacket = VariantFromCodePage(ParamPacket, 936);
    QString answer;
    try {
        std::vector<Variant> args{ParamPacket};
        answer = VarToQStr(AppServer.invoke("Request", args));
    } catch (const std::exception&) {
        answer = QStringLiteral("ERROR");
    }
    if (answer.compare(QLatin1String("ERROR"), Qt::CaseInsensitive) != 0) {
        ReportMessage(QStringLiteral("I;-000004;") + answer);
        // The clerk learns when it runs with the number it runs under.
        if (ApplyRunFlag) {
            const QString when = PeriodSchedule::PlannedRunText(*this, ParamPacket);
            const QString submitted = TJobMessages::FormatWithParameters(
                GetMessageText(QStringLiteral("I"), QStringLiteral("000004")), {QStrToVar(answer)});
            ShowMessageDialog(submitted + (when.isEmpty() ? QString() : QLatin1Char('\r') + when), mtInformation,
                              {mbOK});
        }
        JobSubmitted = 1;
        LastRequestNo = QStrToVar(answer);
        ++HandOvers;
        if (ExitAfterOk)
            PostClose();
        return;
    }
    QString reason;
    try {
        std::vector<Variant> none;
        reason = WordServerMessages(DisplayConvert(VarToQStr(IncomingConvert(AppServer.invoke("ErrorDescript", none)))),
                                    UICodePage());
    } catch (const std::exception& e) {
        reason = QString::fromUtf8(e.what());
    }
    ReportMessage(QStringLiteral("E;000013;") + reason);
}

void TfrmBaseOpt::UserCancelled()
{
    TfrmBaseGene::UserCancelled();
    // A job handed over before the clerk closed stays reported as handed over.
    if (JobSubmitted != 1)
        JobSubmitted = 2;
}

void TfrmBaseOpt::btnSpdClick(QObject*)
{
    pmOKExit->popup(btnOk->mapToGlobal(QPoint(0, btnOk->height())));
}

void TfrmBaseOpt::miOKExitClick(QObject*)
{
    btnOk->SetGlyph(btnOK02->Glyph());
    ExitAfterOk = true;
    btnOk->click();
}

void TfrmBaseOpt::miOKNoExitClick(QObject*)
{
    btnOk->SetGlyph(btnOK02->Glyph());
    ExitAfterOk = false;
    btnOk->click();
}

// --- Notification -------------------------------------------------------------------------------

void TfrmBaseOpt::chkNotifyClick(QObject*)
{
    btnNotify->setEnabled(chkNotify->Checked());
    if (chkNotify->Checked() && NotifyRecipients.isEmpty()) {
        ReadPortalSettings(*this, PortalStartup, PortalServiceAddress);
        NotifyRecipients = DefaultRecipients(*this, PortalStartup, PortalServiceAddress);
    }
}

void TfrmBaseOpt::btnNotifyClick(QObject*)
{
    ReadPortalSettings(*this, PortalStartup, PortalServiceAddress);
    NotifyRecipients = EditRecipients(this, NotifyRecipients, PortalStartup, PortalServiceAddress);
}

// --- Schemes and keys -------------------------------------------------------------------------

void TfrmBaseOpt::btnInsertClick(QObject* sender)
{
    TfrmBaseGene::btnInsertClick(sender);
    if (!SchemeCheckPassed)
        return;
    // The last four date fields are the ones this form and the base form added: no rules.
    auto* dialog = TQVForm::Create<TfrmGeneCondition>(DateFields, 4, this);
    dialog->ShowModal();
    const Variant answer = dialog->Result();
    dialog->Free();
    const QString name = VarToQStr(answer[answer.lowBound()]);
    if (name.isEmpty())
        return;
    if (SaveScheme(SchemeProperties, name, answer[answer.lowBound() + 2].toBool()))
        LoadSchemeList();
}

void TfrmBaseOpt::AfterOptionsRead()
{
    TfrmBaseGene::AfterOptionsRead();
    SchemeProperties.clear();
    CollectSchemeProperties();
    if (SchemeProperties.isEmpty())
        pnlCondition->hide();
}

void TfrmBaseOpt::CollectSchemeProperties()
{
    for (int p = 0; p < pgOption->PageCount(); ++p) {
        TTabSheet* page = pgOption->Pages(p);
        if (page && page != tsPeriodOption && page != tsOption2)
            SchemeProperties += SchemeValues::PropertiesOf(page);
    }
}

void TfrmBaseOpt::HandleF2Key(int key, QWidget* control)
{
    TfrmBaseGene::HandleF2Key(key, control);
    if (!control)
        return;
    // The run time and the cycle's first and last day have the date picker too.
    for (TMaskEdit* edit : {edDate, meStartDate, meEndDate})
        if (control == edit) {
            edit->SetText(PickDate(edit->Text()));
            return;
        }
}

QString TfrmBaseOpt::GetComputerName()
{
    return QString::fromStdString(::GetComputerName());
}
