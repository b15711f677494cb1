#include "server/QueueServer.h"

#include "server/JobStore.h"
#include "server/ServerLog.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <list>
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

// The runs going on, each on its thread. Only the loop's thread touches the list.
struct QueueServer::Runs {
    struct Run {
        std::string number;
        std::shared_ptr<std::atomic<bool>> end = std::make_shared<std::atomic<bool>>(false);
        std::shared_ptr<std::atomic<bool>> finished = std::make_shared<std::atomic<bool>>(false);
        std::thread thread;
    };
    std::list<Run> list;

    ~Runs()
    {
        endAll();
        joinAll();
    }

    bool anyFinished() const
    {
        for (const Run& r : list)
            if (r.finished->load())
                return true;
        return false;
    }
    void reap()
    {
        for (auto it = list.begin(); it != list.end();) {
            if (it->finished->load()) {
                it->thread.join();
                it = list.erase(it);
            } else {
                ++it;
            }
        }
    }
    std::vector<std::string> numbers() const
    {
        std::vector<std::string> out;
        for (const Run& r : list)
            out.push_back(r.number);
        return out;
    }
    void end(const std::string& number)
    {
        for (Run& r : list)
            if (r.number == number)
                r.end->store(true);
    }
    void endAll()
    {
        for (Run& r : list)
            r.end->store(true);
    }
    void joinAll()
    {
        for (Run& r : list)
            if (r.thread.joinable())
                r.thread.join();
        list.clear();
    }
};

QueueServer::QueueServer(ServerDatabase& db, JobClock& clock, QueueServerOptions options)
    : db_(db), clock_(clock), options_(std::move(options)), runs_(std::make_unique<Runs>())
{
    options_.workers = std::max(1, options_.workers);
    options_.scheduler.ownProcess = true;
}

QueueServer::~QueueServer() = default;

void QueueServer::say(const std::string& line)
{
    if (options_.report)
        options_.report(line);
    WriteServerLog("qvappserver: " + line);
}

void QueueServer::poll(JobScheduler& scheduler)
{
    while (int(runs_->list.size()) < options_.workers) {
        std::optional<JobClaim> claim = scheduler.claim();
        if (!claim)
            return;
        Runs::Run& run = runs_->list.emplace_back();
        run.number = claim->job.number;
        run.thread = std::thread([this, claim = std::move(*claim), end = run.end, finished = run.finished] {
            try {
                ServerDatabase db(options_.settings);
                const std::unique_ptr<JobClock> clock = options_.makeClock();
                JobSchedulerOptions o = options_.scheduler;
                o.endRun = end.get();
                JobScheduler runner(db, *clock, o);
                runner.report = options_.report;
                runner.run(claim);
            } catch (const std::exception& e) {
                // The job stays this server's run; recover() takes it up once the thread is gone.
                say("job " + claim.job.number + ": the run broke off: " + e.what());
            }
            finished->store(true);
        });
    }
}

void QueueServer::renewLeases(JobScheduler& scheduler)
{
    try {
        for (const std::string& number : scheduler.renew(runs_->numbers())) {
            say("job " + number + ": another server took the run after this one's lease ran out; it is ended here");
            runs_->end(number);
        }
        lastRenewed_ = Steady::now();
    } catch (const std::exception& e) {
        say(std::string("the leases of the runs could not be renewed: ") + e.what());
        if (Steady::now() - lastRenewed_ >= std::chrono::seconds(options_.scheduler.leaseSeconds)) {
            say("no lease was renewed for " + std::to_string(options_.scheduler.leaseSeconds)
                + " s, so other servers may take the runs: they are ended here");
            runs_->endAll();
        }
    }
}

long QueueServer::waitAfterPoll(JobScheduler& scheduler)
{
    // On the machine's clock sleep until the next job is due (a poll still sees jobs
    // queued meanwhile); a clock that others move is looked at every poll.
    if (int(runs_->list.size()) >= options_.workers || !clock_.isReal())
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
            if (waitForStop(runs_->list.empty() ? left : std::min(left, 10L)))
                return true;
        }
    };
    for (;;) {
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
                    : std::string(e.what()));
        } catch (const std::exception& e) {
            say(e.what());
        }
        if (waitOrRunEnds(waitMs))
            break;
    }

    QueueStop out;
    runs_->reap();
    const int running = int(runs_->list.size());
    if (running > 0)
        say("stopping: " + std::to_string(running) + " job(s) running (" + joined(runs_->numbers()) + ") get up to "
            + std::to_string(options_.stopGraceSeconds) + " s to finish");
    const auto deadline = Steady::now() + std::chrono::seconds(options_.stopGraceSeconds);
    while (!runs_->list.empty() && Steady::now() < deadline) {
        if (Steady::now() - lastRenew >= leaseTick) {
            renewLeases(scheduler);
            lastRenew = Steady::now();
        }
        if (waitForStop(100)) {
            say("stopped again: the running jobs are ended now");
            break;
        }
        runs_->reap();
    }
    out.ended = int(runs_->list.size());
    out.finished = running - out.ended;
    if (out.ended > 0) {
        say("ending " + std::to_string(out.ended) + " job(s) still running (" + joined(runs_->numbers())
            + "); they run again");
        runs_->endAll();
        runs_->joinAll();
    }
    return out;
}
