#pragma once
// What the queue server counts for its operators (qvappserver --metrics, served by
// MetricsEndpoint.h in Prometheus' text format, every name prefixed "qv_"):
//   qv_jobs{state}                          jobs of the queue by state, read at each scrape
//   qv_job_runs_started_total{program}      runs the scheduler started
//   qv_job_runs_finished_total{program}     runs that came to their end, done or failed
//   qv_job_runs_failed_total{program}       those of them that failed
//   qv_job_start_latency_seconds            from the moment a run was due to its start
//   qv_job_run_duration_seconds{program}    from a run's start to its end
//   qv_remote_connections_open              remote clients' connections now
//   qv_remote_connections_accepted_total    connections the remote endpoint took
//   qv_remote_calls_total                   calls of remote clients
//   qv_simplesql_calls_total                SimpleSQL and SimpleSQLParts calls
//   qv_simplesql_refusals_total{reason}     statements a bound stopped: rows, bytes,
//                                           memory, time or not_allowed
// A run interrupted from outside (it runs again) is started but neither finished nor failed.
//
// The units that see an event count it through a pointer that is null in a server without
// metrics. The scheduler loop stamps a heartbeat at each pass on the machine's steady
// clock, so that a loop that hangs can be told from one that waits. Every member may be
// called from any thread.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class ServerMetrics {
public:
    ServerMetrics();
    ~ServerMetrics();
    ServerMetrics(const ServerMetrics&) = delete;
    ServerMetrics& operator=(const ServerMetrics&) = delete;

    // A run of the program started latencySeconds after it was due.
    void runStarted(const std::string& program, double latencySeconds);
    // A run of the program came to its end, done (ok) or failed, after seconds.
    void runEnded(const std::string& program, bool ok, double seconds);
    // The scheduler loop made a pass.
    void loopPassed();
    // How long ago the loop last passed; none before its first pass.
    std::optional<std::chrono::steady_clock::duration> sinceLoopPassed() const;

    void connectionOpened();
    void connectionClosed();
    void remoteCall();

    // The reasons a SimpleSQL refusal is counted under, the bounds of ReportCounterS.h.
    static const std::vector<std::string>& RefusalReasons();
    void simpleSqlCall();
    // A SimpleSQL statement refused for one of RefusalReasons().
    void simpleSqlRefused(const std::string& reason);

    // The jobs of the queue by state, as a scrape read them; none when the queue could not
    // be read (the states are left out rather than shown stale).
    void setJobStates(const std::optional<std::vector<std::pair<std::string, long>>>& counts);
    // Everything above in Prometheus' text format.
    std::string exposition() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
