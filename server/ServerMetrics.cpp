#include "server/ServerMetrics.h"

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace {

using prometheus::Counter;
using prometheus::Family;
using prometheus::Gauge;
using prometheus::Histogram;
using Steady = std::chrono::steady_clock;

// The states of JobStore.h: each is shown, with 0 when no job is in it.
const std::vector<std::string> kJobStates = {"queued", "running", "done", "failed", "cancelled", "interrupted"};

// A job is taken within a poll (a quarter second by default), or waits for a worker; a
// periodic one that was missed, days.
const Histogram::BucketBoundaries kLatencyBuckets = {0.1, 0.25, 0.5, 1, 2, 5, 10, 30, 60, 300, 900, 3600, 14400, 86400};
const Histogram::BucketBoundaries kDurationBuckets = {0.1, 0.5, 1, 5, 10, 30, 60, 300, 900, 1800, 3600, 7200};

Family<Counter>& counter(prometheus::Registry& r, const char* name, const char* help)
{
    return prometheus::BuildCounter().Name(name).Help(help).Register(r);
}

Family<Gauge>& gauge(prometheus::Registry& r, const char* name, const char* help)
{
    return prometheus::BuildGauge().Name(name).Help(help).Register(r);
}

Family<Histogram>& histogram(prometheus::Registry& r, const char* name, const char* help)
{
    return prometheus::BuildHistogram().Name(name).Help(help).Register(r);
}

} // namespace

struct ServerMetrics::Impl {
    prometheus::Registry registry;
    Family<Gauge>& jobs = gauge(registry, "qv_jobs", "Jobs of the queue by state, read at the scrape");
    Family<Counter>& started = counter(registry, "qv_job_runs_started_total", "Runs the scheduler started");
    Family<Counter>& finished =
        counter(registry, "qv_job_runs_finished_total", "Runs that came to their end, done or failed");
    Family<Counter>& failed = counter(registry, "qv_job_runs_failed_total", "Runs that ended failed");
    Histogram& latency = histogram(registry, "qv_job_start_latency_seconds",
                                   "Seconds from the moment a run was due to its start")
                             .Add({}, kLatencyBuckets);
    Family<Histogram>& duration =
        histogram(registry, "qv_job_run_duration_seconds", "Seconds from the start of a run to its end");
    Gauge& open = gauge(registry, "qv_remote_connections_open", "Connections of remote clients now").Add({});
    Counter& accepted =
        counter(registry, "qv_remote_connections_accepted_total", "Connections the remote endpoint took").Add({});
    Counter& calls = counter(registry, "qv_remote_calls_total", "Calls of remote clients").Add({});
    Counter& queries = counter(registry, "qv_simplesql_calls_total", "SimpleSQL and SimpleSQLParts calls").Add({});
    Family<Counter>& refusals =
        counter(registry, "qv_simplesql_refusals_total", "SimpleSQL statements a bound stopped, by the bound");

    // The steady clock's ticks at the loop's last pass; 0 before the first.
    std::atomic<Steady::rep> lastPass{0};
    std::mutex jobsMutex;
    std::vector<Gauge*> jobStates; // the series qv_jobs shows now

    Impl()
    {
        // Every reason shows from the start, so that a rate over it needs no first refusal.
        for (const std::string& reason : RefusalReasons())
            refusals.Add({{"reason", reason}});
    }
};

ServerMetrics::ServerMetrics() : impl_(std::make_unique<Impl>()) {}

ServerMetrics::~ServerMetrics() = default;

void ServerMetrics::runStarted(const std::string& program, double latencySeconds)
{
    const prometheus::Labels labels{{"program", program}};
    impl_->started.Add(labels).Increment();
    // Its end is shown from the start, so that a rate over it needs no first failure.
    impl_->finished.Add(labels);
    impl_->failed.Add(labels);
    impl_->latency.Observe(std::max(0.0, latencySeconds));
}

void ServerMetrics::runEnded(const std::string& program, bool ok, double seconds)
{
    impl_->finished.Add({{"program", program}}).Increment();
    if (!ok)
        impl_->failed.Add({{"program", program}}).Increment();
    impl_->duration.Add({{"program", program}}, kDurationBuckets).Observe(std::max(0.0, seconds));
}

void ServerMetrics::loopPassed()
{
    impl_->lastPass = std::max<Steady::rep>(1, Steady::now().time_since_epoch().count());
}

std::optional<std::chrono::steady_clock::duration> ServerMetrics::sinceLoopPassed() const
{
    const Steady::rep last = impl_->lastPass.load();
    if (last == 0)
        return std::nullopt;
    return Steady::now() - Steady::time_point(Steady::duration(last));
}

void ServerMetrics::connectionOpened()
{
    impl_->open.Increment();
    impl_->accepted.Increment();
}

void ServerMetrics::connectionClosed()
{
    impl_->open.Decrement();
}

void ServerMetrics::remoteCall()
{
    impl_->calls.Increment();
}

const std::vector<std::string>& ServerMetrics::RefusalReasons()
{
    static const std::vector<std::string> reasons = {"rows", "bytes", "memory", "time", "not_allowed"};
    return reasons;
}

void ServerMetrics::simpleSqlCall()
{
    impl_->queries.Increment();
}

void ServerMetrics::simpleSqlRefused(const std::string& reason)
{
    impl_->refusals.Add({{"reason", reason}}).Increment();
}

void ServerMetrics::setJobStates(const std::optional<std::vector<std::pair<std::string, long>>>& counts)
{
    Impl& m = *impl_;
    std::lock_guard lock(m.jobsMutex);
    for (Gauge* g : m.jobStates)
        m.jobs.Remove(g);
    m.jobStates.clear();
    if (!counts)
        return;
    for (const std::string& state : kJobStates)
        m.jobStates.push_back(&m.jobs.Add({{"state", state}}));
    for (const auto& [state, count] : *counts) {
        Gauge& g = m.jobs.Add({{"state", state}});
        if (std::find(m.jobStates.begin(), m.jobStates.end(), &g) == m.jobStates.end())
            m.jobStates.push_back(&g);
        g.Set(double(count));
    }
}

std::string ServerMetrics::exposition() const
{
    return prometheus::TextSerializer().Serialize(impl_->registry.Collect());
}
