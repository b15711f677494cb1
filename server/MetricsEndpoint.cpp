#include "server/MetricsEndpoint.h"

#include "platform/Exception.h"
#include "server/JobStore.h"
#include "server/ServerMetrics.h"

#include <httplib.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace {

using JobStates = std::optional<std::vector<std::pair<std::string, long>>>;

// Needs the job table's layout and none of its rows: cheap, and still a read of the file
// (or a round trip to the database server).
constexpr const char* kProbe = "SELECT COUNT(*) FROM ADMJB WHERE 1 = 0";
// Scrapes and probes come seldom: two threads answer them.
constexpr std::size_t kThreads = 2;

long long millisecondsOf(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

} // namespace

struct MetricsEndpoint::Impl {
    MetricsEndpointOptions options;
    httplib::Server http;
    std::thread thread;
    std::atomic<bool> ended{false};
    int port = 0;
    std::mutex lookMutex; // one look at the database at a time

    // Why the system database does not answer, on a connection opened for this look; empty
    // when it does. states, when given, receives the jobs by state.
    std::string lookAtDatabase(JobStates* states);
    // Why the scheduler loop seems to hang; empty when it passed lately.
    std::string loopProblem() const;
    std::string health();
    std::string metrics();
};

std::string MetricsEndpoint::Impl::lookAtDatabase(JobStates* states)
{
    try {
        const ServerDatabase db(options.settings);
        const std::unique_ptr<DbConnection> conn = db.openDatabase(options.settings.systemDb);
        if (states)
            *states = JobStore(*conn).countByStatus();
        else
            conn->scalar(kProbe);
        return {};
    } catch (const std::exception& e) {
        return std::string("the system database does not answer: ") + e.what();
    }
}

std::string MetricsEndpoint::Impl::loopProblem() const
{
    const auto since = options.metrics->sinceLoopPassed();
    if (!since)
        return "the scheduler loop has not made its first pass";
    if (*since > options.staleAfter)
        return "the scheduler loop last passed " + std::to_string(millisecondsOf(*since)) + " ms ago (more than " +
               std::to_string(options.staleAfter.count()) + " ms)";
    return {};
}

std::string MetricsEndpoint::Impl::health()
{
    std::string database;
    {
        std::lock_guard lock(lookMutex);
        database = lookAtDatabase(nullptr);
    }
    std::string problems;
    for (const std::string& p : {database, loopProblem()})
        if (!p.empty())
            problems += p + "\n";
    return problems;
}

std::string MetricsEndpoint::Impl::metrics()
{
    // The states and the text of one scrape are not mixed with another's.
    std::lock_guard lock(lookMutex);
    JobStates states;
    if (!lookAtDatabase(&states).empty())
        states.reset();
    options.metrics->setJobStates(states);
    return options.metrics->exposition();
}

MetricsEndpoint::MetricsEndpoint(MetricsEndpointOptions options) : impl_(std::make_unique<Impl>())
{
    Impl& m = *impl_;
    m.options = std::move(options);
    if (!m.options.metrics)
        throw Exception("The metrics endpoint has no metrics to show");
    m.http.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    m.http.set_read_timeout(5);
    m.http.set_write_timeout(5);
    m.http.Get("/health", [&m](const httplib::Request&, httplib::Response& res) {
        const std::string problems = m.health();
        res.status = problems.empty() ? 200 : 503;
        res.set_content(problems.empty() ? "ok\n" : problems, "text/plain; charset=utf-8");
    });
    m.http.Get("/metrics", [&m](const httplib::Request&, httplib::Response& res) {
        res.set_content(m.metrics(), "text/plain; version=0.0.4; charset=utf-8");
    });
    errno = 0;
    m.port = m.options.port == 0 ? m.http.bind_to_any_port(m.options.address)
                                 : (m.http.bind_to_port(m.options.address, m.options.port) ? m.options.port : -1);
    if (m.port < 0)
        throw Exception("Cannot serve metrics on " + m.options.address + ":" + std::to_string(m.options.port) +
                        (errno ? std::string(": ") + std::strerror(errno) : std::string()));
    m.thread = std::thread([&m] {
        m.http.listen_after_bind();
        m.ended = true;
    });
    // stop() ends only a server that runs: wait until it does.
    while (!m.http.is_running() && !m.ended)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

MetricsEndpoint::~MetricsEndpoint()
{
    impl_->http.stop();
    if (impl_->thread.joinable())
        impl_->thread.join();
}

int MetricsEndpoint::port() const { return impl_->port; }

std::string MetricsEndpoint::healthProblems() { return impl_->health(); }

std::string MetricsEndpoint::metricsText() { return impl_->metrics(); }
