#pragma once
// The run moments of a periodic job, from the period value a run-options form sends:
// ["Y", "hh:mm", schedule value, cycle range], the range being [start, 0] (no end),
// [start, 1, N] (N runs) or [start, 2, end] (runs up to the end date). The application
// server runs a job by these moments and the queue command forecasts them, so both read
// them here.
//
// The first run is NextScheduledDate of the start date at the period's time of day (an
// hourly cycle starts at the moment it was submitted, but not before the start date at
// that time of day).
// Every later run lies one step of the cycle after the run before it, whether or not that
// run was late: N days; N weeks (NextScheduledDate from the day after, which keeps the
// weekday); M months, on the day (the month's last day where the month is shorter) or on
// the n-th weekday of that month (NextScheduledDate from the month's first day); N hours.
//
// Moments are OLE dates with the time of day (platform/OleDate.h); 0 means none.

#include "platform/Variant.h"

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

// Moment of the first run; submitted is the moment of submission (hourly cycles).
double FirstRunMoment(const RunPeriod& period, double submitted);
// When a queued job first runs: a periodic one (period given) at its schedule's first
// moment, one for a given time (run mode 2) at runAt, any other as soon as the queue takes
// it, at submitted. The job service and the form that tells the clerk both ask here.
double FirstQueuedRun(const RunPeriod* period, int runMode, double runAt, double submitted);
// Moment of the run one step after previous; 0 when it cannot be computed.
double NextRunMoment(const RunPeriod& period, double previous);
// Whether run number runNumber (from 1) at moment lies within the cycle range.
bool WithinRunRange(const RunPeriod& period, double moment, int runNumber);
// The next count moments from next, which is run number runsDone + 1, ending early where
// the cycle range ends.
std::vector<double> ForecastRunMoments(const RunPeriod& period, double next, int runsDone, int count);

// "every 2 weeks on Monday at 08:00, from 2024-03-04, 3 runs", for people reading a job.
std::string DescribeRunPeriod(const RunPeriod& period);
