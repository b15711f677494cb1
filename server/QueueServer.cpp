#include "server/QueueServer.h"

#include "server/JobStore.h"
#include "server/ServerMetrics.h"
#include "support/ServerLog.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;

std::string joined(const std::vector<std::string>& items)
{
    std::string out;
    for (const std::string& i : items)
        out += (out.empty() ? "" : ", ") + i;
    return out;
}

} // namespace

// The workers, each a thread with its own database connection, kept from run to run.
// Only the loop's thread hands out runs and reads which run a worker makes.
struct QueueServer::Worker {
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;
    std::optional<JobClaim> claim; // handed over, not yet taken
    bool quit = false;
    std::string number;            // the run it makes; empty when idle
    std::atomic<bool> end{false};
    std::atomic<bool> finished{false};
};

struct QueueServer::Runs {
    std::vector<std::unique_ptr<Worker>> workers;

    ~Runs() { stopAll(); }

    int busy() const
    {
        return int(std::count_if(workers.begin(), workers.end(), [](const auto& w) { return !w->number.empty(); }));
    }
    bool anyFinished() const
    {
        return std::any_of(workers.begin(), workers.end(), [](const auto& w) { return w->finished.load(); });
    }
    void reap()
    {
        for (auto& w : workers)
            if (w->finished.exchange(false))
                w->number.clear();
    }
    Worker* idle()
    {
        for (auto& w : workers)
            if (w->number.empty())
                return w.get();
        return nullptr;
    }
    void hand(Worker& w, JobClaim claim)
    {
        w.number = claim.job.number;
        w.end = false;
        {
            std::lock_guard lock(w.mutex);
            w.claim = std::move(claim);
        }
        w.wake.notify_one();
    }
    std::vector<std::string> numbers() const
    {
        std::vector<std::string> out;
        for (const auto& w : workers)
            if (!w->number.empty())
                out.push_back(w->number);
        return out;
    }
    void end(const std::string& number)
    {
        for (auto& w : workers)
            if (w->number == number)
                w->end = true;
    }
    void endAll()
    {
        for (auto& w : workers)
            if (!w->number.empty())
                w->end = true;
    }
    // Waits for the runs going on, then lets the workers go.
    void stopAll()
    {
        for (auto& w : workers) {
            {
                std::lock_guard lock(w->mutex);
                w->quit = true;
            }
            w->wake.notify_one();
        }
        for (auto& w : workers)
            if (w->thread.joinable())
                w->thread.join();
        reap();
    }
};

QueueServer::QueueServer(ServerDatabase& db, JobClock& clock, QueueServerOptions options)
    : db_(db), clock_(clock), options_(std::move(options)), runs_(std::make_unique<Runs>())
{
    options_.workers = std::max(1, options_.workers);
    options_.scheduler.ownProcess = true;
    for (int i = 0; i < options_.workers; ++i) {
        runs_->workers.push_back(std::make_unique<Worker>());
        Worker& w = *runs_->workers.back();
        w.thread = std::thread([this, &w] { work(w); });
    }
}

void QueueServer::work(Worker& w)
{
    std::unique_ptr<ServerDatabase> db;
    std::unique_ptr<JobClock> clock;
    for (;;) {
        std::optional<JobClaim> claim;
        {
            std::unique_lock lock(w.mutex);
            w.wake.wait(lock, [&] { return w.quit || w.claim; });
            if (!w.claim)
                return;
            claim = std::move(w.claim);
            w.claim.reset();
        }
        try {
            if (!db) {
                db = std::make_unique<ServerDatabase>(options_.settings);
                clock = options_.makeClock();
            }
            JobSchedulerOptions o = options_.scheduler;
            o.endRun = &w.end;
            JobScheduler runner(*db, *clock, o);
            runner.report = options_.report;
            runner.run(*claim);
        } catch (const std::exception& e) {
            // The job stays this server's run; recover() takes it up once the worker is free.
            say("job " + claim->job.number + ": the run broke off: " + e.what(), LogLevel::Error);
            db.reset();
        }
        w.finished = true;
    }
}

QueueServer::~QueueServer() = default;

void QueueServer::say(const std::string& line, LogLevel level)
{
    if (options_.report)
        options_.report(level, line);
    WriteServerLogFile("qvappserver: " + line);
}

void QueueServer::poll(JobScheduler& scheduler)
{
    while (Worker* free = runs_->idle()) {
        std::optional<JobClaim> claim = scheduler.claim();
        if (!claim)
            return;
        runs_->hand(*free, std::move(*claim));
    }
}

void QueueServer::renewLeases(JobScheduler& scheduler)
{
    try {
        for (const std::string& number : scheduler.renew(runs_->numbers())) {
            say("job " + number + ": another server took the run after this one's lease ran out; it is ended here",
                LogLevel::Warning);
            runs_->end(number);
        }
        lastRenewed_ = Steady::now();
    } catch (const std::exception& e) {
        say(std::string("the leases of the runs could not be renewed: ") + e.what(), LogLevel::Error);
        if (Steady::now() - lastRenewed_ >= std::chrono::seconds(options_.scheduler.leaseSeconds)) {
            say("no lease was renewed for " + std::to_string(options_.scheduler.leaseSeconds)
                    + " s, so other servers may take the runs: they are ended here",
                LogLevel::Error);
            runs_->endAll();
        }
    }
}

long QueueServer::waitAfterPoll(JobScheduler& scheduler)
{
    // On the machine's clock sleep until the next job is due (a poll still sees jobs
    // queued meanwhile); a clock that others move is looked at every poll.
    if (runs_->busy() >= options_.workers || !clock_.isReal())
        return options_.pollMs;
    const double next = scheduler.nextDue();
    if (next <= 0)
        return options_.pollMs;
    return std::clamp(long(std::ceil((next - clock_.now()) * 86400000.0)), 0L, options_.pollMs);
}

QueueStop QueueServer::serve(const std::function<bool(long ms)>& waitForStop)
{
    JobScheduler scheduler(db_, clock_, options_.scheduler);
    scheduler.report = options_.report;
    const auto leaseTick = std::chrono::milliseconds(options_.scheduler.leaseSeconds * 1000L / 3);
    const auto recoverEvery = std::min<Steady::duration>(std::chrono::seconds(5), leaseTick);
    auto lastRecover = Steady::now() - 2 * recoverEvery;
    auto lastRenew = Steady::now();
    // A run that ends frees its worker at once, not at the next poll.
    auto waitOrRunEnds = [&](long ms) {
        const auto until = Steady::now() + std::chrono::milliseconds(ms);
        for (;;) {
            const long left = long(std::chrono::duration_cast<std::chrono::milliseconds>(until - Steady::now()).count());
            if (left <= 0 || runs_->anyFinished())
                return false;
            if (waitForStop(runs_->busy() == 0 ? left : std::min(left, 10L)))
                return true;
        }
    };
    for (;;) {
        // The heartbeat /health reads: a loop stuck in a pass stops stamping it.
        if (options_.scheduler.metrics)
            options_.scheduler.metrics->loopPassed();
        long waitMs = options_.pollMs;
        try {
            runs_->reap();
            if (Steady::now() - lastRenew >= leaseTick) {
                renewLeases(scheduler);
                lastRenew = Steady::now();
            }
            if (Steady::now() - lastRecover >= recoverEvery) {
                const std::vector<std::string> mine = runs_->numbers();
                scheduler.recover(std::set<std::string>(mine.begin(), mine.end()));
                lastRecover = Steady::now();
            }
            poll(scheduler);
            waitMs = waitAfterPoll(scheduler);
        } catch (const DbError& e) {
            // A lost database connection is made again by the next call; the server goes on.
            say(e.kind() == DbErrorKind::ConnectionLost
                    ? std::string("the database cannot be reached; the next poll tries again: ") + e.what()
                    : std::string(e.what()),
                LogLevel::Error);
        } catch (const std::exception& e) {
            say(e.what(), LogLevel::Error);
        }
        if (waitOrRunEnds(waitMs))
            break;
    }

    QueueStop out;
    runs_->reap();
    const int running = runs_->busy();
    if (running > 0)
        say("stopping: " + std::to_string(running) + " job(s) running (" + joined(runs_->numbers()) + ") get up to "
                + std::to_string(options_.stopGraceSeconds) + " s to finish",
            LogLevel::Info);
    const auto deadline = Steady::now() + std::chrono::seconds(options_.stopGraceSeconds);
    while (runs_->busy() > 0 && Steady::now() < deadline) {
        if (Steady::now() - lastRenew >= leaseTick) {
            renewLeases(scheduler);
            lastRenew = Steady::now();
        }
        if (waitForStop(100)) {
            say("stopped again: the running jobs are ended now", LogLevel::Warning);
            break;
        }
        runs_->reap();
    }
    out.ended = runs_->busy();
    out.finished = running - out.ended;
    if (out.ended > 0) {
        say("ending " + std::to_string(out.ended) + " job(s) still running (" + joined(runs_->numbers())
                + "); they run again",
            LogLevel::Warning);
        runs_->endAll();
    }
    runs_->stopAll();
    return out;
}
