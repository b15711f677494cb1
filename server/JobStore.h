#pragma once
// The job table of the system database (ADMJB, with its run history ADMJR; Schema.sql):
// every write is one transaction that holds the write lock from its start, so a job
// number is never given twice and a job is claimed by one server only, however many
// clients and servers share the database.
//
// Statuses: queued (waiting for its due moment), running, done, failed, cancelled,
// interrupted (its server stopped during the run; it runs once more). A periodic job is
// queued between its runs. Moments are stamps of the caller's clock (JobClock.h), except
// leases: a server that runs a job holds it until a moment of the machine's clock, which
// every server sharing the database reads alike, and renews that while the run goes on.

#include "db/Db.h"
#include "server/JobRequest.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

struct JobRecord {
    std::string number;
    std::string entry;          // "Q" queue, "D" run at once by the client
    std::string programCode, ownerCode, companyCode, databaseName, jobKind, serverClassName;
    int runMode = 0;
    std::string due;            // stamp of the next run; empty when none is left
    std::string status;
    Variant packet, period, rules;
    std::string recipients;
    std::string submitted, computer;
    int runsDone = 0;
    int interruptions = 0;
    std::string runBy;          // the server running it now
    bool cancelAsked = false;
    std::string lastResult, lastEnd, cancelledAt;
    std::string leaseUntil;     // while running: the runner's lease (machine time)

    bool periodic() const { return !period.isEmpty(); }
    bool hasRun() const { return !lastEnd.empty(); }
};

struct JobRun {
    int attempt = 0;
    int runNumber = 0;
    std::string scheduled, started, ended, status, result, runBy, how;
    std::string periods;        // "first|last|count" when the run stands for several periods
};

// A job a server took for one run.
struct JobClaim {
    JobRecord job;
    int attempt = 0;
    int runNumber = 0;
    bool rerun = false;         // the run after an interruption
};

class JobStore {
public:
    explicit JobStore(DbConnection& db);

    // Creates ADMJB and ADMJR where an older system database lacks them.
    static void EnsureTables(DbConnection& db);

    // Stores a checked request under the next number of the clock's day and answers it.
    // A queue request waits for due; a direct one is running at once on the computer.
    std::string addQueued(const JobRequest& request, double now, double due);
    std::string addDirect(const JobRequest& request, double now, const std::string& computer);

    std::optional<JobRecord> find(const std::string& number);
    std::vector<JobRecord> list();
    std::vector<JobRun> runs(const std::string& number);
    // Earliest due moment (stamp) of a queue job that waits; empty when none waits.
    std::string earliestDue();
    // How many jobs, queued and direct, each status holds (statuses no job has are left out).
    std::vector<std::pair<std::string, long>> countByStatus();

    // Takes the waiting queue job that is due first (due <= now), for the server runBy,
    // which holds it until leaseUntil.
    std::optional<JobClaim> claimNext(const std::string& now, const std::string& runBy,
                                      const std::string& leaseUntil);
    // Moves the lease of runBy's run of a job on; false when the run is no longer its own.
    bool renewLease(const std::string& number, const std::string& runBy, const std::string& leaseUntil);
    // What a run stands for: its own moment (the run date its values are rolled to) and,
    // when it makes up for periods missed, which ("first|last|count").
    void recordRunPeriods(const std::string& number, int attempt, const std::string& runMoment,
                          const std::string& periods);
    // A run the queue does not make (periods missed and skipped): its row says so, and the
    // job waits for nextDue, or is done when none is left. Counts as no run.
    bool skipRun(const std::string& number, int attempt, const std::string& runBy, const std::string& now,
                 const std::string& nextDue, const std::string& note);
    // Ends a run of the server runBy: the run row gets its end and result; the job waits
    // for nextDue (not empty: a periodic job with runs left), or ends done, failed or, when
    // a cancel was asked meanwhile, cancelled. False when the job is no longer this
    // server's run (nothing is changed then).
    bool finishRun(const std::string& number, int attempt, const std::string& runBy, bool ok,
                   const std::string& result, const std::string& now, const std::string& nextDue);
    // The run of runBy stopped with its server: the job is interrupted and runs again.
    bool markInterrupted(const std::string& number, const std::string& runBy, const std::string& now,
                         const std::string& reason);
    // Queue jobs marked running: [number, runBy, interruptions, latest attempt].
    struct Running {
        std::string number, runBy;
        int interruptions = 0, attempt = 0;
        std::string leaseUntil;
    };
    std::vector<Running> running();

    enum class CancelResult { Cancelled, AfterThisRun, Unknown, Finished, RunningOnce, Direct };
    CancelResult cancel(const std::string& number, const std::string& now);
    // An operator puts a running queue job whose runner's lease ran out before machineNow
    // back into the queue: it is interrupted and runs once more. A live lease is refused,
    // unless its holder is goneRunner (a server of this machine whose process is gone).
    enum class ResetResult { Reset, Unknown, NotRunning, LeaseAlive, Direct };
    ResetResult reset(const std::string& number, const std::string& now, const std::string& machineNow,
                      const std::string& reason, const std::string& goneRunner = {});

    // Direct runs (Request1, ExecSvrDLL, UpdateStatus1). The direct job's run 1 is
    // restarted as the server's own run, finished with an outcome, or ended by the client.
    bool startDirectRun(const std::string& number, const std::string& now, const std::string& runBy);
    bool finishDirectRun(const std::string& number, bool ok, const std::string& result, const std::string& now);
    // Direct runs a server took over (ExecSvrDLL) and has not finished: [number, runBy].
    std::vector<Running> runningDirect();
    // The client's end of a direct run: while the run has no outcome, texts decide it
    // (empty: done); afterwards only the end moment and non-empty texts are recorded.
    // decided, when given, says whether this call gave the run its outcome.
    bool endDirectRun(const std::string& number, const std::string& texts, const std::string& ended,
                      bool* decided = nullptr);

private:
    // Whether a cancel was asked of runBy's run of the job; none when it is not its run.
    std::optional<bool> cancelAskedOfRun(const std::string& number, const std::string& runBy);
    std::string nextNumber(const std::string& day);
    std::string add(const JobRequest& request, const std::string& entry, double now, const std::string& due,
                    const std::string& status, const std::string& computer);

    DbConnection& db_;
};
