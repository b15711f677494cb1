#include "server/JobScheduler.h"
#include "server/UserRights.h"

#include "server/JobRequest.h"
#include "server/JobStore.h"
#include "server/RunNotices.h"
#include "server/ServerIdentity.h"
#include "server/ServerLibrary.h"
#include "server/ServerMetrics.h"
#include "support/ServerLog.h"
#include "support/Dates.h"
#include "support/Helpers.h"
#include "support/MessageText.h"
#include "support/NotificationQueue.h"
#include "support/RunSchedule.h"
#include "support/ScheduleRules.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <thread>

namespace {

// The console has its lines in English; a run's result is message codes (MessageText.h).
std::string english(const std::string& messages)
{
    return WordMessages(messages, HostLanguage::English, "; ");
}

std::string runText(int runNumber)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d", runNumber);
    return buf;
}

// Writes the end of a run, retrying a database that is busy for a moment, and one whose
// server went away for as long as it may take to come back (the next call connects again).
void recordEnd(const std::function<void()>& write, const std::function<void(const std::string&)>& say)
{
    constexpr auto kServerBackWithin = std::chrono::seconds(30);
    const auto giveUp = std::chrono::steady_clock::now() + kServerBackWithin;
    bool told = false;
    for (int attempt = 1;; ++attempt) {
        try {
            write();
            return;
        } catch (const DbError& e) {
            const bool lost = e.kind() == DbErrorKind::ConnectionLost;
            if (lost ? std::chrono::steady_clock::now() >= giveUp : attempt >= 3)
                throw;
            if (lost && !told) {
                told = true;
                say(std::string("the database cannot be reached, trying again: ") + e.what());
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(lost ? 250 : 200));
        }
    }
}

} // namespace

Misfire MisfireOf(const std::string& text)
{
    return text == "all" ? Misfire::All : text == "skip" ? Misfire::Skip : Misfire::Once;
}

JobScheduler::JobScheduler(ServerDatabase& db, JobClock& clock, JobSchedulerOptions options)
    : db_(db), clock_(clock), options_(std::move(options))
{
    if (options_.serverId.empty())
        options_.serverId = ThisServerId();
}

void JobScheduler::say(const std::string& line, LogLevel level)
{
    if (report)
        report(level, line);
}

double JobScheduler::followingRun(const JobRecord& job, double scheduled, int runNumber)
{
    RunPeriod period;
    std::string why;
    if (!ReadRunPeriod(job.period, period, why))
        return 0;
    return FollowingRunMoment(period, scheduled, runNumber, job.runMode);
}

bool JobScheduler::abandoned(const std::string& runBy, const std::string& leaseUntil, std::string& why) const
{
    if (IsServerGone(runBy)) {
        why = "The server " + runBy + " stopped during the run";
        return true;
    }
    // Leases are in the machine's time, which the servers sharing a database keep in step.
    if (!leaseUntil.empty() && leaseUntil < MomentStamp(SystemJobClock().now())) {
        why = "The server " + runBy + " stopped renewing its lease on the run (until " + ShownStamp(leaseUntil) + ")";
        return true;
    }
    return false;
}

std::string JobScheduler::leaseUntil() const
{
    return MomentStamp(SystemJobClock().now() + options_.leaseSeconds / 86400.0);
}

int JobScheduler::recover(const std::set<std::string>& ownRuns)
{
    JobStore store(db_.connection());
    int found = 0;
    for (const JobStore::Running& r : store.running()) {
        std::string why;
        if (r.runBy == options_.serverId) {
            if (ownRuns.count(r.number))
                continue;
            why = "The server " + r.runBy + " did not finish the run";
        } else if (!abandoned(r.runBy, r.leaseUntil, why)) {
            continue;
        }
        const std::string now = MomentStamp(clock_.now());
        if (r.interruptions == 0) {
            if (store.markInterrupted(r.number, r.runBy, now, why + "; it runs again")) {
                ++found;
                say("job " + r.number + " interrupted: " + why + "; it runs again", LogLevel::Warning);
            }
            continue;
        }
        const std::optional<JobRecord> job = store.find(r.number);
        const double next =
            job && job->periodic() ? followingRun(*job, StampMoment(job->due), job->runsDone + 1) : 0;
        const Outcome failed{false, why + " again; it is not run a third time"};
        if (store.finishRun(r.number, r.attempt, r.runBy, false, failed.result, now, MomentStamp(next))) {
            ++found;
            say("job " + r.number + " failed: " + english(failed.result), LogLevel::Error);
            if (job)
                notify(*job, job->runsDone + 1, failed, {});
        }
    }
    // A direct run the server had taken over dies with it: its client was told the call
    // broke, so it is not run again, but it must not stay "running" for ever. What it had not
    // committed was rolled back with its transaction.
    for (const JobStore::Running& r : store.runningDirect()) {
        // This server's own direct runs may be running now, on the endpoint's workers.
        if (r.runBy.empty() || r.runBy == options_.serverId || !IsServerGone(r.runBy))
            continue;
        const std::string why = "The server " + r.runBy + " stopped during the direct run; it is not run again";
        if (store.finishDirectRun(r.number, false, why, MomentStamp(clock_.now()))) {
            ++found;
            say("request " + r.number + " failed: " + why, LogLevel::Warning);
        }
    }
    return found;
}

std::optional<JobClaim> JobScheduler::claim()
{
    return JobStore(db_.connection()).claimNext(MomentStamp(clock_.now()), options_.serverId, leaseUntil());
}

std::vector<std::string> JobScheduler::renew(const std::vector<std::string>& numbers)
{
    std::vector<std::string> lost;
    JobStore store(db_.connection());
    const std::string until = leaseUntil();
    for (const std::string& number : numbers)
        if (!store.renewLease(number, options_.serverId, until))
            lost.push_back(number);
    return lost;
}

bool JobScheduler::runNext()
{
    const std::optional<JobClaim> claimed = claim();
    if (!claimed)
        return false;
    run(*claimed);
    return true;
}

double JobScheduler::lateRun(const JobClaim& claim, const RunPeriod& period)
{
    // A period whose moment is this much past is missed, not merely reached a poll late.
    constexpr double kOnTime = 60.0 / 86400.0;
    constexpr long kMostCounted = 10000000;
    const JobRecord& job = claim.job;
    const double due = StampMoment(job.due);
    // The run made at once on submission stands for itself.
    if (job.runMode == 1 && claim.runNumber == 1)
        return due;
    const double now = clock_.now();
    const DuePeriods late = PeriodsDue(period, due, now, claim.runNumber, kMostCounted);
    if (late.count == 0)
        return due;
    JobStore store(db_.connection());
    const std::string span = ShownStamp(MomentStamp(late.first)) + " to " + ShownStamp(MomentStamp(late.last));
    switch (options_.misfire) {
    case Misfire::Skip:
        if (late.last < now - kOnTime) {
            const double next = FollowingRunMoment(period, late.last, claim.runNumber - 1, 2);
            const std::string note = "Misfire=skip: " + std::to_string(late.count) + " missed period(s) from " + span
                                   + " not run";
            store.skipRun(job.number, claim.attempt, options_.serverId, MomentStamp(now), MomentStamp(next), note);
            say("job " + job.number + ": " + note + (next > 0 ? "; next run " + ShownStamp(MomentStamp(next)) : ""),
                LogLevel::Warning);
            return 0;
        }
        return late.last;
    case Misfire::All:
        if (late.count > kMostLateRuns) {
            const long dropped = late.count - kMostLateRuns;
            const double from = PeriodAfter(period, late.first, dropped);
            say("job " + job.number + ": " + std::to_string(dropped) + " of " + std::to_string(late.count)
                + " missed periods (" + span + ") are not run: Misfire=all makes up for the latest "
                + std::to_string(kMostLateRuns) + " alone",
                LogLevel::Warning);
            store.recordRunPeriods(job.number, claim.attempt, MomentStamp(from), {});
            return from;
        }
        return due;
    default:
        if (late.count > 1)
            store.recordRunPeriods(job.number, claim.attempt, MomentStamp(late.last),
                                   MomentStamp(late.first) + "|" + MomentStamp(late.last) + "|"
                                       + std::to_string(late.count));
        return late.last;
    }
}

void JobScheduler::run(const JobClaim& claim)
{
    JobStore store(db_.connection());
    const JobRecord& job = claim.job;
    double scheduled = StampMoment(job.due);
    RunPeriod period;
    std::string unreadable;
    const bool periodic = job.periodic() && ReadRunPeriod(job.period, period, unreadable);
    if (periodic) {
        scheduled = lateRun(claim, period);
        if (scheduled == 0)
            return;
    }
    const bool standsForMore = periodic && scheduled != StampMoment(job.due);
    say("job " + job.number + " " + job.programCode + " run " + std::to_string(claim.runNumber)
        + (claim.rerun ? " (again, after an interruption)" : "") + " due " + ShownStamp(job.due)
        + (standsForMore ? " (runs for " + ShownStamp(MomentStamp(scheduled)) + ")" : "") + " started");
    const auto began = std::chrono::steady_clock::now();
    if (options_.metrics)
        options_.metrics->runStarted(job.programCode, (clock_.now() - StampMoment(job.due)) * 86400.0);

    Outcome outcome;
    std::string summary; // what a successful run did: its result, and the server log says it
    bool lost = false;   // the database server went away under the run
    bool ended = false;  // ended from outside: the server stops, or its lease was taken
    try {
        // The owner's account and right are read again at every run: a job whose owner
        // has lost them since it was queued runs no more.
        const UserRights owner = ReadUserRights(db_.connection(), job.ownerCode, job.programCode);
        if (!owner.mayQueue()) {
            const std::string account = AccountProblem(owner, job.ownerCode);
            throw Exception((account.empty() ? "the user " + job.ownerCode + " may no longer put jobs of " +
                                                   job.programCode + " into the queue"
                                             : account) +
                            "; the run is not made");
        }
        Variant values = job.packet[2];
        std::string extra = job.number + runText(claim.runNumber);
        if (job.periodic()) {
            const std::string runDate = dateToCompact(std::floor(scheduled));
            if (periodic)
                extra += PeriodicRunKey(period, scheduled, claim.runNumber);
            values = RollConditionDates(RollParameters(values, job.period, job.rules), runDate);
            if (!values.isArray())
                throw Exception("The date rules cannot be applied to the run date " + runDate);
        }
        std::string why;
        const std::string library = FindServerLibrary(options_.libraryFolders, job.programCode, why);
        if (library.empty())
            throw Exception(why);
        const Variant packet = ServerLibraryPacket(
            job.jobKind, job.number, job.companyCode, job.ownerCode, job.databaseName,
            VariantToCodePage(values, options_.codePage), extra, 3, options_.codePage);
        const ServerLibraryOutcome ran = RunServerLibrary(library, packet, options_.jobTimeLimitSeconds,
                                                          RunControl{options_.endRun, options_.ownProcess});
        summary = ran.summary;
        outcome = {ran.ok, ran.result};
        lost = !ran.ok && ran.databaseLost;
        ended = ran.ended;
    } catch (const std::exception& e) {
        outcome = {false, e.what()};
    }

    // A run the database went away under was cut off, not wrong: its transaction went with
    // the connection, so it runs once more, as after a server that stopped.
    const std::string run = "job " + job.number + " run " + std::to_string(claim.runNumber);
    if (ended) {
        const std::string why = "The run was ended before it finished; it runs again";
        bool kept = false;
        recordEnd([&] { kept = store.markInterrupted(job.number, options_.serverId, MomentStamp(clock_.now()), why); },
                  [&](const std::string& line) { say(run + ": " + line, LogLevel::Error); });
        say(run + (kept ? " ended before it finished; it runs again" : " ended: it was taken from this server"),
            LogLevel::Warning);
        return;
    }
    if (lost && job.interruptions == 0) {
        const std::string why = "The connection to the database was lost during the run; it runs again";
        recordEnd(
            [&] {
                if (!store.markInterrupted(job.number, options_.serverId, MomentStamp(clock_.now()),
                                           MessageLines(why + ":", outcome.result)))
                    say("job " + job.number + ": the run was taken from this server meanwhile", LogLevel::Warning);
            },
            [&](const std::string& line) { say(run + ": " + line, LogLevel::Error); });
        say(run + " interrupted: " + why + " (" + english(outcome.result) + ")", LogLevel::Warning);
        return;
    }
    if (lost)
        outcome.result = MessageLines(
            "The connection to the database was lost during the run again; it is not run a third time:", outcome.result);

    const double next = periodic ? FollowingRunMoment(period, scheduled, claim.runNumber, job.runMode) : 0;
    // The run is over: record it. Should that fail for good, the job stays marked as this
    // server's run and recover() takes it up before the next one.
    recordEnd(
        [&] {
            // A run that did its work keeps what it did, for whoever looks at the queue later.
            if (!store.finishRun(job.number, claim.attempt, options_.serverId, outcome.ok,
                                 outcome.ok ? summary : outcome.result, MomentStamp(clock_.now()), MomentStamp(next)))
                say("job " + job.number + ": the run was taken from this server meanwhile", LogLevel::Warning);
        },
        [&](const std::string& line) { say(run + ": " + line, LogLevel::Error); });
    if (options_.metrics)
        options_.metrics->runEnded(job.programCode, outcome.ok,
                                   std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
    say("job " + job.number + " run " + std::to_string(claim.runNumber) + (outcome.ok ? " done" : " failed")
        + (outcome.result.empty() ? "" : ": " + english(outcome.result))
        + (outcome.ok && !summary.empty() ? ": " + english(summary) : "")
        + (next > 0 ? "; next run " + ShownStamp(MomentStamp(next)) : ""),
        outcome.ok ? LogLevel::Info : LogLevel::Error);
    notify(job, claim.runNumber, outcome, summary);
}

int JobScheduler::runDue(const std::function<bool()>& stop)
{
    int ran = 0;
    while (!(stop && stop()) && runNext())
        ++ran;
    return ran;
}

double JobScheduler::nextDue()
{
    return StampMoment(JobStore(db_.connection()).earliestDue());
}

void JobScheduler::notify(const JobRecord& job, int runNumber, const Outcome& outcome, const std::string& summary)
{
    // A notification that cannot be written must not undo the run: it is logged.
    try {
        TellRunRecipients(db_, job,
                          {job.periodic() ? runNumber : 0, outcome.ok, outcome.result, summary, clock_.now()});
        DbConnection& conn = db_.connection();
        db_.useCompanyDatabase(job.databaseName);
        if (outcome.ok) {
            const NotificationOutcome out =
                QueueProgramNotifications(conn, job.databaseName, job.programCode, job.ownerCode, job.companyCode);
            for (const std::string& f : out.failures)
                WriteServerLog("qvappserver: job " + job.number + ": a notification was not queued: " + f);
        }
    } catch (const std::exception& e) {
        WriteServerLogFile("qvappserver: job " + job.number + ": the notifications were not queued: " + e.what());
        say("job " + job.number + ": the notifications were not queued: " + e.what(), LogLevel::Error);
    }
}
