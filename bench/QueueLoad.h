// A load of jobs due one after another, for the queue benchmarks: count jobs queued
// through the job service, each due spacingMs after the one before, the first a few
// seconds on; then the servers' record of each run: how late after its due moment it
// started, and whether every job ran exactly once.
#pragma once

#include "db/Db.h"
#include "platform/OleDate.h"
#include "support/JobClock.h"
#include "server/ReportCounterS.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace bench {

struct SpreadLoad {
    std::vector<double> lateMs;   // sorted: started minus due, per job
    int jobs = 0, done = 0, runs = 0;
    std::string problem;          // empty when every job ran exactly once

    double percentile(double p) const
    {
        return lateMs.empty() ? 0 : lateMs[std::size_t(p * double(lateMs.size() - 1) + 0.5)];
    }
};

inline SpreadLoad RunSpreadLoad(TdmReportCounter& client, DbConnection& sys,
                                const std::function<Variant(double due)>& packetDueAt, int count, double spacingMs)
{
    SpreadLoad out;
    out.jobs = count;
    const double first = Now() + 5.0 / 86400.0;
    std::vector<std::string> numbers;
    for (int i = 0; i < count; ++i) {
        const std::string no = client.jobs().Request(packetDueAt(first + i * spacingMs / 86400000.0));
        if (no.size() != 14) {
            out.problem = "a job was not queued: " + client.jobs().ErrorDescript();
            return out;
        }
        numbers.push_back(no);
    }
    const std::string lo = numbers.front(), hi = numbers.back();
    const auto give = std::chrono::steady_clock::now() + std::chrono::milliseconds(long(count * spacingMs) + 300000);
    const std::string pending = "SELECT count(*) FROM ADMJB WHERE JB001 >= :LO AND JB001 <= :HI AND JB010 IN "
                                "('queued', 'running', 'interrupted')";
    while (sys.scalar(pending, {{"LO", lo}, {"HI", hi}}).toInt() > 0) {
        if (std::chrono::steady_clock::now() > give) {
            out.problem = "the jobs did not finish in time";
            return out;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    out.done = sys.scalar("SELECT count(*) FROM ADMJB WHERE JB001 >= :LO AND JB001 <= :HI AND JB010 = 'done'",
                          {{"LO", lo}, {"HI", hi}})
                   .toInt();
    sys.forEachRow("SELECT JR004, JR005 FROM ADMJR WHERE JR001 >= :LO AND JR001 <= :HI", {{"LO", lo}, {"HI", hi}},
                   [&](const std::vector<Variant>& r) {
                       ++out.runs;
                       out.lateMs.push_back((StampMoment(VarToStr(r[1])) - StampMoment(VarToStr(r[0]))) * 86400000.0);
                       return true;
                   });
    std::sort(out.lateMs.begin(), out.lateMs.end());
    if (out.done != count || out.runs != count)
        out.problem = std::to_string(out.done) + " of " + std::to_string(count) + " jobs done in " +
                      std::to_string(out.runs) + " runs";
    return out;
}

} // namespace bench
