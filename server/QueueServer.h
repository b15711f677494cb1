#pragma once
// The queue server's loop: claims due jobs for up to `workers` runs at a time, each
// worker a thread with a database connection of its own (JobScheduler.h), keeps the leases of
// its runs renewed, and takes up the runs of servers that stopped. A run whose lease was
// taken by another server meanwhile is ended here; so are all runs when the leases cannot
// be renewed for a whole lease, for then another server may take them.
//
// Stopping: the running jobs get stopGraceSeconds to finish (a second stop ends them at
// once); those still running then are ended and marked interrupted, so that they run again.

#include "support/JobClock.h"
#include "server/JobScheduler.h"
#include "serverdb/ServerDatabase.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

struct QueueServerOptions {
    ServerDbSettings settings;       // each run opens a connection of its own
    JobSchedulerOptions scheduler;
    int workers = 2;
    int stopGraceSeconds = 30;
    long pollMs = 250;
    // A clock for each run: a clock read from a file is read by several threads.
    std::function<std::unique_ptr<JobClock>()> makeClock;
    ServerReport report;
};

struct QueueStop {
    int finished = 0;  // runs that finished within the grace time
    int ended = 0;     // runs ended after it; they run again
};

class QueueServer {
public:
    QueueServer(ServerDatabase& db, JobClock& clock, QueueServerOptions options);
    ~QueueServer();
    QueueServer(const QueueServer&) = delete;
    QueueServer& operator=(const QueueServer&) = delete;

    // Serves until waitForStop (called with the milliseconds to wait) answers true, then
    // stops as above.
    QueueStop serve(const std::function<bool(long ms)>& waitForStop);

private:
    struct Worker;
    struct Runs;

    // Reported, and written to the alert log.
    void say(const std::string& line, LogLevel level);
    void work(Worker& worker);
    void poll(JobScheduler& scheduler);
    void renewLeases(JobScheduler& scheduler);
    long waitAfterPoll(JobScheduler& scheduler);

    ServerDatabase& db_;
    JobClock& clock_;
    QueueServerOptions options_;
    std::unique_ptr<Runs> runs_;
    std::chrono::steady_clock::time_point lastRenewed_ = std::chrono::steady_clock::now();
};
