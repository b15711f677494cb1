#pragma once
// The schedule of the run-options form's periodic page: the schedule value and the period
// value its controls give, the next runs it gives (lblNextRuns), and when the job just
// handed over runs, in words for the clerk. TfrmBaseOpt keeps the operations by name and
// forwards to these.

#include "platform/Variant.h"

#include <QString>

class TfrmBaseOpt;
class TQvSpinEdit;

// A spin edit's or an edit's number; fallback when it cannot be read.
int numberOf(const QString& text, int fallback = 0);
// A spin edit's text; its value where the editor shows nothing yet.
QString spinText(const TQvSpinEdit* spin);

namespace PeriodSchedule {

// The schedule value into ScheduleValue: [style, its settings] (ReadSchedule).
void Read(TfrmBaseOpt& form);
// The period value (MakePeriodValue) the page's controls give, the schedule read afresh.
Variant PeriodValue(TfrmBaseOpt& form);
// The schedule's next runs into lblNextRuns.
void ShowNextRuns(TfrmBaseOpt& form);
// When the job just handed over runs, from its packet: at once, at its time, or its
// first moments by the schedule.
QString PlannedRunText(TfrmBaseOpt& form, const Variant& packet);

} // namespace PeriodSchedule
