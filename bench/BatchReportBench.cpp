// The report of a write-off batch of 10,000 documents, as an operator makes it:
// `qvjobs report BATCH --pdf FILE` reads the batch from its databases and writes the PDF
// (some 200 pages). Goals: at most 3 s and 200 MB peak memory (the process's resident
// set). The batch is made once by a real direct write-off through WOFB07S.so; each run is
// a process of its own. Prints the medians beside the goals.

#include "WriteOffSite.h"

#include "platform/Variant.h"
#include "server/ServerLibrary.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kDocuments = 10000;
constexpr int kRuns = 5;
constexpr double kGoalSeconds = 3.0;
constexpr double kGoalMb = 200.0;

// 10,000 open payables of two suppliers, names in Chinese.
WriteOffSite site()
{
    WriteOffSite s;
    s.iniHead = "[CodePage]\nUICodePage=936\n";
    s.systemRows = "INSERT INTO ADMMC VALUES ('01', '示范公司', 'DEMO', 'Y');"
                   "INSERT INTO ADMMS (MS001, MS002, MS003) VALUES ('01', 'Sys003', 'RMB');"
                   "INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('DS', '系统管理员', 'Y', 'Y');";
    s.suppliers = "INSERT INTO PURMA (MA001, MA002) VALUES ('S01', '甲电子有限公司');"
                  "INSERT INTO PURMA (MA001, MA002) VALUES ('S02', '乙五金贸易');"
                  "INSERT INTO PURMA (MA001, MA002) VALUES ('S09', '转销对象');";
    s.documents = kDocuments;
    s.supplierOf = [](int i) { return std::string(i % 2 ? "S02" : "S01"); };
    return s;
}

struct Run {
    double seconds = -1, peakMb = -1;
};

// One qvjobs report in a process of its own: its time and its peak resident memory.
Run report(const fs::path& dir, const fs::path& pdf)
{
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const std::string program = QV_BENCH_BIN_DIR "/qvjobs";
        std::freopen("/dev/null", "w", stdout);
        execl(program.c_str(), program.c_str(), "--install", dir.c_str(), "--user", "DS", "report", "R10K", "--pdf",
              pdf.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    Run r;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && fs::exists(pdf)) {
        r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        r.peakMb = double(usage.ru_maxrss) / 1024.0;
    } else {
        std::fprintf(stderr, "batchreport: qvjobs report ended with %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }
    return r;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main()
{
    const fs::path dir = fs::temp_directory_path() / ("qv-batchreport-bench-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    setenv("QV_REGISTRY", (dir / "registry.ini").c_str(), 1);
    MakeWriteOffSite(dir, site());
    const ServerLibraryOutcome out =
        RunServerLibraryFile(QV_BENCH_BIN_DIR "/WOFB07S.so", WriteOffPacket("R10K", "S02", kDocuments));
    if (!out.ok) {
        std::fprintf(stderr, "batchreport: the write-off failed: %s\n", out.result.c_str());
        fs::remove_all(dir);
        return 1;
    }
    std::vector<double> seconds, mb;
    std::uintmax_t bytes = 0;
    for (int i = 0; i < kRuns; ++i) {
        const fs::path pdf = dir / ("report-" + std::to_string(i) + ".pdf");
        const Run r = report(dir, pdf);
        if (r.seconds < 0) {
            fs::remove_all(dir);
            return 1;
        }
        seconds.push_back(r.seconds);
        mb.push_back(r.peakMb);
        bytes = fs::file_size(pdf);
    }
    fs::remove_all(dir);
    const double s = median(seconds), m = median(mb);
    std::printf("Batch report of %d documents (qvjobs report, %.1f MB PDF): median %.2f s (goal <= %.1f s), peak "
                "memory %.0f MB (goal <= %.0f MB); %d runs: %s\n",
                kDocuments, double(bytes) / 1e6, s, kGoalSeconds, m, kGoalMb, kRuns,
                s <= kGoalSeconds && m <= kGoalMb ? "met" : "MISSED");
    return 0;
}
