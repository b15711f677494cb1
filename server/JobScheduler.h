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
// A job whose server stopped during its run (recover), or whose run failed because the
// database server went away under it (its transaction went with the connection), is
// interrupted and runs again once, with the same run number; a run interrupted a second
// time is failed. The end of a run is recorded once the database is back. Jobs that
// missed their moment while no server ran are run late, one after the other, each with
// its own run date: no period is skipped.
//
// One job runs at a time; several servers may share a database, each job still runs once.

#include "server/JobClock.h"
#include "server/ServerDatabase.h"

#include <functional>
#include <string>
#include <vector>

struct JobRecord;

struct JobSchedulerOptions {
    std::string serverId;                    // this server's name (ServerIdentity.h)
    std::vector<std::string> libraryFolders; // where program + "S.so" is looked for
    int codePage = 936;
    int jobTimeLimitSeconds = 0;             // a run longer than this is ended (0: no limit)
};

class JobScheduler {
public:
    JobScheduler(ServerDatabase& db, JobClock& clock, JobSchedulerOptions options);

    // Finds the runs of stopped servers (this one's own left-overs too, since nothing runs
    // while this is called) and interrupts or fails them; answers how many.
    int recover();
    // Runs the job that is due first; false when none is due.
    bool runNext();
    // Runs due jobs until none is left or stop answers true (asked between two runs);
    // answers how many ran.
    int runDue(const std::function<bool()>& stop = {});
    // Moment of the earliest waiting job; 0 when none waits.
    double nextDue();

    // One line for each run started and ended, and for each recovery.
    std::function<void(const std::string&)> report;

private:
    struct Outcome {
        bool ok = false;
        std::string result;
    };
    void say(const std::string& line);
    double followingRun(const JobRecord& job, double scheduled, int runNumber);
    // The recipients read what a successful run did (its summary: batch, documents, totals).
    void notify(const JobRecord& job, int runNumber, const Outcome& outcome, const std::string& summary);

    ServerDatabase& db_;
    JobClock& clock_;
    JobSchedulerOptions options_;
};
