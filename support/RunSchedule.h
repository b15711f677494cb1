#pragma once
// The run moments of a periodic job, from the period value a run-options form sends:
// ["Y", "hh:mm", schedule value, cycle range], the range being [start, 0] (no end),
// [start, 1, N] (N runs) or [start, 2, end] (runs up to the end date). The application
// server runs a job by these moments and the queue command forecasts them, so both read
// them here.
//
// The first run is the first moment of the schedule that is not past when the job is
// submitted: NextScheduledDate of the start date at the period's time of day, moved on by
// the cycle while it lies before the submission (an hourly cycle starts at the moment it
// was submitted, but not before the start date at that time of day). Moments passed
// before the submission are not runs: a job queued at noon for 00:00 daily first runs
// the next midnight.
// Every later run lies one step of the cycle after the run before it, whether or not that
// run was late: N days; N weeks (NextScheduledDate from the day after, which keeps the
// weekday); M months, on the day (the month's last day where the month is shorter) or on
// the n-th weekday of that month (NextScheduledDate from the month's first day); N hours.
//
// Moments are OLE dates with the time of day (platform/OleDate.h); 0 means none.

#include "platform/Variant.h"
#include "support/MessageCatalogue.h"

#include <string>
#include <vector>

struct RunPeriod {
    enum class Range { NoEnd, Runs, EndDate };

    int hour = 0;
    int minute = 0;
    Variant schedule;          // [kind, detail], as NextScheduledDate reads it
    int kind = 0;              // 0 every N days, 1 every N weeks, 2 every M months, 3 every N hours
    int every = 1;             // N or M (kinds 0 to 2)
    int weekday = 0;           // 0 Sunday to 6 Saturday (kind 1, and kind 2 by weekday)
    bool byWeekday = false;    // kind 2: on the occurrence-th weekday instead of a day
    int monthDay = 1;          // kind 2 by day
    int occurrence = 0;        // kind 2 by weekday: 0 to 3 first to fourth, 4 last
    double hours = 0;          // kind 3
    std::string startDate;     // yyyymmdd
    Range range = Range::NoEnd;
    int maxRuns = 0;           // Range::Runs
    std::string endDate;       // Range::EndDate, yyyymmdd
};

// Reads a period value. False, with the reason in why, when it is not one (a message code
// where a clerk can mend it, MessageText.h).
bool ReadRunPeriod(const Variant& value, RunPeriod& period, std::string& why);

// Moment of the first run of a job submitted at submitted: the first moment of the
// schedule at or after it; 0 when there is none.
double FirstRunMoment(const RunPeriod& period, double submitted);
// When a queued job first runs: a periodic one (period given) at its schedule's first
// moment, or at once when the clerk asked for one run now (run mode 1) before the
// schedule's (its first moment not before runAt, the moment the form chose, nor before
// submitted); one for a given time (run mode 2) at runAt; any other as soon as the queue
// takes it, at submitted. The job service and the form that tells the clerk both ask here.
double FirstQueuedRun(const RunPeriod* period, int runMode, double runAt, double submitted);
// The moment of the run after the run at scheduled (run number runNumber, from 1); 0 when
// the cycle range ends. A periodic job's run made at once on submission (run mode 1) is
// followed by the schedule's first moment after it, not by one step of the cycle.
double FollowingRunMoment(const RunPeriod& period, double scheduled, int runNumber, int runMode);

// The periods of a job that are due at now, from its due moment on (due included): how
// many (within the cycle range; counted exactly up to limit, then limit), the first and
// the last of them. A server that was down, or a job whose moments passed while it ran,
// has more than one.
struct DuePeriods {
    double first = 0;
    double last = 0;
    long count = 0;
};
DuePeriods PeriodsDue(const RunPeriod& period, double due, double now, int runNumber, long limit);
// The moment of the period count - 1 steps after first (first itself for 1).
double PeriodAfter(const RunPeriod& period, double first, long steps);

// What a run of a periodic job adds to what must be its own for each run (a write-off's
// batch number): the run date "yyyymmdd" for cycles of days, weeks and months, the run
// number as eight digits for hourly cycles, which may run more than once a day.
std::string PeriodicRunKey(const RunPeriod& period, double runMoment, int runNumber);
// Moment of the run one step after previous; 0 when it cannot be computed.
double NextRunMoment(const RunPeriod& period, double previous);
// Whether run number runNumber (from 1) at moment lies within the cycle range.
bool WithinRunRange(const RunPeriod& period, double moment, int runNumber);
// The next count moments from next, which is run number runsDone + 1, ending early where
// the cycle range ends.
std::vector<double> ForecastRunMoments(const RunPeriod& period, double next, int runsDone, int count);

// "every 2 weeks on Monday at 08:00, from 2024-03-04, 3 runs", for people reading a job.
std::string DescribeRunPeriod(const RunPeriod& period);
// The same in an interface language: "每 2 周星期一 08:00, 自 2024-03-04 起, 共 3 次".
std::string DescribeRunPeriod(const RunPeriod& period, HostLanguage language);
