#pragma once
// A PostgreSQL cluster of one test's own (tests/pg/cluster.sh), for the cases that restart
// the server: a restart of the shared cluster would cut off the tests running beside them.
// Started only when QV_PG_CONNECT says PostgreSQL cases run at all.

#include "EnvGuard.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#ifndef QV_PG_CLUSTER_SCRIPT
#error QV_PG_CLUSTER_SCRIPT names tests/pg/cluster.sh
#endif

class PgCluster {
public:
    // Starts the cluster and points QV_PG_CONNECT at it for the test; error() says why not.
    PgCluster()
    {
        std::FILE* p = ::popen((std::string(QV_PG_CLUSTER_SCRIPT) + " start 2>&1").c_str(), "r");
        if (!p) {
            error_ = "cannot run " + std::string(QV_PG_CLUSTER_SCRIPT);
            return;
        }
        std::string out;
        std::array<char, 512> buf{};
        while (std::fgets(buf.data(), int(buf.size()), p))
            out += buf.data();
        const int rc = ::pclose(p);
        while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
            out.pop_back();
        const std::size_t nl = out.find_last_of('\n');
        const std::string dir = nl == std::string::npos ? out : out.substr(nl + 1);
        std::ifstream in(dir + "/connect");
        std::string connect;
        if (rc != 0 || !std::getline(in, connect) || connect.empty()) {
            error_ = "the cluster did not start: " + out;
            return;
        }
        dir_ = dir;
        env_.set("QV_PG_CONNECT", connect);
    }
    ~PgCluster()
    {
        if (!dir_.empty())
            run("stop");
    }
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    const std::string& error() const { return error_; }
    // The server stops (fast: every session ends, open transactions roll back) and starts
    // again on its port; true once it accepts connections again.
    bool restart() { return run("restart"); }

private:
    bool run(const std::string& what)
    {
        const std::string cmd = std::string(QV_PG_CLUSTER_SCRIPT) + " " + what + " '" + dir_ + "' >/dev/null 2>&1";
        return std::system(cmd.c_str()) == 0;
    }

    EnvGuard env_;
    std::string dir_;
    std::string error_;
};
