#include "batch/PeriodSchedule.h"
#include "batch/BaseOpt.h"
#include "batch/BaseOptU.h"

#include "config/QtVariant.h"
#include "controls/Buttons.h"
#include "controls/BtChkBox.h"
#include "controls/MaskEdit.h"
#include "controls/QvRadioButton.h"
#include "controls/QvSpin.h"
#include "controls/QvrEdit.h"
#include "platform/OleDate.h"
#include "support/Dates.h"
#include "support/RunSchedule.h"

#include <QLabel>

#include <vector>

namespace {

// A run moment as the clerk reads it: the date in the user's format and hh:mm.
QString shownMoment(TfrmBaseOpt& form, double moment)
{
    const CivilDate at = DecodeDateTime(moment);
    return QString::fromStdString(DateToDisplayText(form.GetDateFormat(), Utf8(form.GetDateSeparator()), moment))
         + QString::asprintf(" %.2d:%.2d", at.hour, at.minute);
}

} // namespace

int numberOf(const QString& text, int fallback)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok ? v : fallback;
}

QString spinText(const TQvSpinEdit* spin)
{
    const QString text = spin->Text().trimmed();
    return text.isEmpty() ? QString::number(spin->Value()) : text;
}

namespace PeriodSchedule {

void Read(TfrmBaseOpt& form)
{
    // An unreadable number leaves the value as far as it was built.
    form.ScheduleValue = Variant::array(0, 1);
    try {
        if (form.rdoEveryWeek->Checked()) {
            form.ScheduleValue[0] = 1;
            form.ScheduleValue[1] =
                Variant::list({QStrToVar(spinText(form.meWeek)), form.cboDayofWeek->ItemIndex()});
        } else if (form.rdoEveryMonth->Checked()) {
            form.ScheduleValue[0] = 2;
            if (form.rdomonth_2->Checked())
                form.ScheduleValue[1] = Variant::list({1, QStrToVar(spinText(form.meMonth_M2)),
                                                       form.cbo1Month_M2->ItemIndex(), form.cbo2Month_M2->ItemIndex()});
            else
                form.ScheduleValue[1] = Variant::list({0, QStrToVar(spinText(form.meMonth_M1)),
                                                       QStrToVar(spinText(form.meMonth_D))});
        } else if (form.rbEveryHour->Checked()) {
            form.ScheduleValue[0] = 3;
            bool ok = false;
            const double hours = form.edEveryHour->Text().trimmed().toDouble(&ok);
            if (!ok)
                return;
            form.ScheduleValue[1] = hours;
        } else {
            form.ScheduleValue[0] = 0;
            form.ScheduleValue[1] = QStrToVar(spinText(form.meDay));
        }
    } catch (const std::exception&) {
    }
}

Variant PeriodValue(TfrmBaseOpt& form)
{
    form.ReadSchedule();
    const int rangeKind = form.rbCycleRang_2->Checked() ? 1 : form.rbCycleRang_3->Checked() ? 2 : 0;
    return MakePeriodValue(numberOf(spinText(form.sePeriodHour)), numberOf(spinText(form.sePeriodMin)),
                           form.ScheduleValue, rangeKind, form.DateTextToCompact(form.meStartDate->Text()).trimmed(),
                           spinText(form.meCycleRang_2), form.DateTextToCompact(form.meEndDate->Text()).trimmed());
}

void ShowNextRuns(TfrmBaseOpt& form)
{
    if (!form.lblNextRuns)
        return;
    const QString heading = form.GetText(QStringLiteral("sNextRuns"), QStringLiteral("以后五次运行: "));
    try {
        const QString start = form.DateTextToCompact(form.meStartDate->Text()).trimmed();
        const Variant period = form.PeriodValue();
        RunPeriod run;
        std::string why;
        if (start.isEmpty() || !ReadRunPeriod(period, run, why)) {
            form.lblNextRuns->setText(heading
                                      + form.GetText(QStringLiteral("sNoRuns"), QStringLiteral("(请输入完整的循环设置)")));
            return;
        }
        // The run at once counts as the first of the range, as the queue counts it.
        const bool atOnce = form.chkRunFirstNow->Checked();
        const double now = Now();
        const double first = atOnce ? FollowingRunMoment(run, now, 1, 1) : FirstRunMoment(run, now);
        const std::vector<double> moments =
            first > 0 ? ForecastRunMoments(run, first, atOnce ? 1 : 0, atOnce ? 4 : 5) : std::vector<double>();
        QStringList shown;
        if (atOnce)
            shown << form.GetText(QStringLiteral("sRunNow"), QStringLiteral("提交时"));
        for (double m : moments)
            shown << shownMoment(form, m);
        form.lblNextRuns->setText(
            heading
            + (shown.isEmpty() ? form.GetText(QStringLiteral("sNoRunsLeft"), QStringLiteral("(没有运行)"))
                               : shown.join(QStringLiteral(", "))));
    } catch (const std::exception&) {
        form.lblNextRuns->setText(heading);
    }
}

QString PlannedRunText(TfrmBaseOpt& form, const Variant& packet)
{
    try {
        const Variant& environment = packet[0];
        const int runMode = environment[10].toInt();
        const double runAt = environment[11].isEmptyOrNull() ? Now() : environment[11].toDouble();
        RunPeriod period;
        std::string why;
        const bool periodic = form.btnPeriod->Down() && packet.isArray() && packet.highBound() >= 3
                              && ReadRunPeriod(packet[3], period, why);
        if (!periodic && runMode != 2)
            return form.GetText(QStringLiteral("sRunsSoon"), QStringLiteral("作业将在工作队列中尽快运行。"));
        const double submitted = Now();
        const double first = FirstQueuedRun(periodic ? &period : nullptr, runMode, runAt, submitted);
        if (!periodic)
            return form.GetText(QStringLiteral("sRunsAt"), QStringLiteral("作业将于 %1 运行。"))
                .arg(shownMoment(form, first));
        // A run at once is followed by the schedule's first moment still to come.
        const bool atOnce = runMode == 1;
        const double second = FollowingRunMoment(period, first, 1, runMode);
        QStringList later;
        for (double m : second > 0 ? ForecastRunMoments(period, second, 1, 3) : std::vector<double>())
            later << shownMoment(form, m);
        return (atOnce ? form.GetText(QStringLiteral("sRunsNowFirst"), QStringLiteral("作业提交后立即运行一次。"))
                       : form.GetText(QStringLiteral("sRunsFirst"), QStringLiteral("作业第一次于 %1 运行。"))
                             .arg(shownMoment(form, first)))
             + (later.isEmpty() ? QString()
                                : QLatin1Char('\r')
                                      + form.GetText(QStringLiteral("sRunsLater"), QStringLiteral("以后: %1"))
                                            .arg(later.join(QStringLiteral(", "))));
    } catch (const std::exception&) {
        return QString();
    }
}

} // namespace PeriodSchedule
