#pragma once
// The queue server's HTTP endpoint for operators (qvappserver --metrics), apart from the
// remote clients' endpoint:
//   GET /health   200 "ok" when the system database answers a cheap query and the
//                 scheduler loop passed within staleAfter; else 503 with the reasons, one
//                 a line.
//   GET /metrics  ServerMetrics.h in Prometheus' text format, the jobs by state read from
//                 the queue first.
// The database is looked at on a connection the endpoint opens for each look, never the
// queue's: an open SQLite file keeps being read after it was moved away or made
// unreadable, and a connection of its own shows what a new one would meet. One look runs
// at a time, however many requests come.

#include "serverdb/ServerDatabase.h"

#include <chrono>
#include <memory>
#include <string>

class ServerMetrics;

struct MetricsEndpointOptions {
    std::string address = "127.0.0.1";
    int port = 0;                               // 0: any free port (port() tells which)
    ServerDbSettings settings;                  // the installation's databases
    ServerMetrics* metrics = nullptr;           // what /metrics shows, with the heartbeat
    std::chrono::milliseconds staleAfter{5000}; // a heartbeat older than this: the loop hangs
};

class MetricsEndpoint {
public:
    // Binds the address (Exception saying why when it cannot) and serves on threads of its own.
    explicit MetricsEndpoint(MetricsEndpointOptions options);
    // Stops serving and waits for the requests being answered.
    ~MetricsEndpoint();
    MetricsEndpoint(const MetricsEndpoint&) = delete;
    MetricsEndpoint& operator=(const MetricsEndpoint&) = delete;

    int port() const;
    // Why the server is not healthy, one reason a line; empty when it is.
    std::string healthProblems();
    // The text /metrics answers.
    std::string metricsText();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};
