#pragma once
// The queue server's work: takes the job that is due first, runs it through its server
// library and records the run; a periodic job then waits for its next run (RunSchedule.h),
// after a failed run as after a good one, until its cycle range ends or it is cancelled. After every run the completion notifications are queued:
// one for the request's recipients (environment slot 12), done or failed, and after a
// successful run those the program defines in TMCMD/TMCMC (NotificationQueue.h).
//
// Before each run a periodic job's option values are rolled to the run's date by its
// date rules (RollConditionDates); texts reach the library in the database code page,
// as a client's direct run hands them over.
//
// A server holds a lease on each run it makes (JobStore.h) and renews it while the run goes
// on (renew). A job whose server stopped during its run (gone from this machine, or its
// lease ran out: another machine's server), or whose run failed because the database
// server went away under it (its transaction went with the connection), is interrupted
// and runs again once, with the same run number; a run interrupted a second time is
// failed. A run ended from outside (the server stopping, its lease taken) is interrupted
// too. The end of a run is recorded once the database is back.
//
// Periods a periodic job missed (no server ran, or its start lay in the past) are made up
// for by the misfire rule: once (one run on the latest missed period's date, recording the
// periods it stands for), all (each period a run of its own, at most kMostLateRuns of
// them) or skip (missed periods are not run; the job waits for its next moment).
//
// Each scheduler runs one job at a time on its connection; a server runs several at once
// through several schedulers (QueueServer.h). Servers may share a database: a job is
// claimed by one of them, and runs once.

#include "support/JobClock.h"
#include "serverdb/ServerDatabase.h"
#include "support/ServerLog.h"

#include <atomic>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct JobRecord;
struct JobClaim;
struct RunPeriod;
class ServerMetrics;

enum class Misfire { Once, All, Skip };
// "once", "all" or "skip"; Once for anything else.
Misfire MisfireOf(const std::string& text);

struct JobSchedulerOptions {
    std::string serverId;                    // this server's name (ServerIdentity.h)
    std::vector<std::string> libraryFolders; // where program + "S.so" is looked for
    int codePage = 936;
    int jobTimeLimitSeconds = 0;             // a run longer than this is ended (0: no limit)
    int leaseSeconds = 60;                   // how long a claim on a run lasts unrenewed
    Misfire misfire = Misfire::Once;
    bool ownProcess = false;                 // libraries run in a process of their own
    const std::atomic<bool>* endRun = nullptr; // turned true: the run going on is ended
    ServerMetrics* metrics = nullptr;        // counts the runs (none: nothing is counted)
};

// With Misfire all, the most periods made up for at once; older ones are not run.
constexpr long kMostLateRuns = 100;

class JobScheduler {
public:
    JobScheduler(ServerDatabase& db, JobClock& clock, JobSchedulerOptions options);

    // Finds the runs of stopped servers and interrupts or fails them; answers how many.
    // Runs of this server that are not among ownRuns are its left-overs and count as
    // stopped (a single scheduler that is not running anything passes none).
    int recover(const std::set<std::string>& ownRuns = {});
    // Claims the job that is due first for this server, holding a lease on it.
    std::optional<JobClaim> claim();
    // Makes the claimed run and records it.
    void run(const JobClaim& claim);
    // Claims and runs the job that is due first; false when none is due.
    bool runNext();
    // Renews this server's leases on the runs numbered; answers those that are no longer
    // its own (their lease ran out and another server took them).
    std::vector<std::string> renew(const std::vector<std::string>& numbers);
    // Runs due jobs until none is left or stop answers true (asked between two runs);
    // answers how many ran.
    int runDue(const std::function<bool()>& stop = {});
    // Moment of the earliest waiting job; 0 when none waits.
    double nextDue();

    // One line for each run started and ended, and for each recovery, with its level.
    ServerReport report;

private:
    struct Outcome {
        bool ok = false;
        std::string result;
    };
    void say(const std::string& line, LogLevel level = LogLevel::Info);
    double followingRun(const JobRecord& job, double scheduled, int runNumber);
    std::string leaseUntil() const;
    // Applies the misfire rule to a periodic run that is late: answers the moment the run
    // stands for, or 0 when the run is skipped (recorded here).
    double lateRun(const JobClaim& claim, const RunPeriod& period);
    // Whether a running job of another server is left without it.
    bool abandoned(const std::string& runBy, const std::string& leaseUntil, std::string& why) const;
    // The recipients read what a successful run did (its summary: batch, documents, totals).
    void notify(const JobRecord& job, int runNumber, const Outcome& outcome, const std::string& summary);

    ServerDatabase& db_;
    JobClock& clock_;
    JobSchedulerOptions options_;
};
