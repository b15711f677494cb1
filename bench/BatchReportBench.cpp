// The report of a write-off batch of 10,000 documents, as an operator makes it:
// `qvjobs report BATCH --pdf FILE` reads the batch from its databases and writes the PDF
// (some 200 pages). Goals: at most 3 s and 200 MB peak memory (the process's resident
// set). The batch is made once by a real direct write-off through WOFB07S.so; each run is
// a process of its own. Prints the medians beside the goals.

#include "platform/Variant.h"
#include "serverdb/Schema.h"
#include "server/ServerLibrary.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

void write(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

std::string number(int i)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "2024%02d%02d%03d", 1 + i / 2800, 1 + (i / 100) % 28, i % 100);
    return buf;
}

// The installation with 10,000 open payables of two suppliers, names in Chinese.
void makeInstallation(const fs::path& dir)
{
    write(dir / "registry.ini", "[Software\\QVR\\Brisko]\nServerPath=" + (dir / "server/").string() + "\n");
    write(dir / "server/BriskoS.ini", "[CodePage]\nUICodePage=936\n[DBE Setting]\nMainDBType=SQLITE\nMainServerName=data\n"
                                      "MainDBName=QVSYS\n[WorkDLLPath]\n1=" QV_BENCH_BIN_DIR "/\n");
    fs::create_directories(dir / "server/data");
    {
        DbConnection sys;
        sys.openSqlite((dir / "server/data/QVSYS.db").string(), true);
        CreateSchema(sys, "system");
        sys.executeScript("INSERT INTO ADMMC VALUES ('01', '示范公司', 'DEMO', 'Y');"
                          "INSERT INTO ADMMS (MS001, MS002, MS003) VALUES ('01', 'Sys003', 'RMB');"
                          "INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('DS', '系统管理员', 'Y', 'Y');");
    }
    DbConnection co;
    co.openSqlite((dir / "server/data/DEMO.db").string(), true);
    CreateSchema(co, "company");
    DbTransaction tx(co);
    co.executeScript("INSERT INTO PURMA (MA001, MA002) VALUES ('S01', '甲电子有限公司');"
                     "INSERT INTO PURMA (MA001, MA002) VALUES ('S02', '乙五金贸易');"
                     "INSERT INTO PURMA (MA001, MA002) VALUES ('S09', '转销对象');"
                     "INSERT INTO CMSMF (MF001, MF004) VALUES ('RMB', 2);"
                     "INSERT INTO CMSMQ (MQ001, MQ003) VALUES ('7101', '71');"
                     "INSERT INTO CMSMQ (MQ001, MQ003) VALUES ('7B01', '7B');");
    for (int i = 0; i < kDocuments; ++i) {
        const std::string no = number(i);
        const std::string cents = std::to_string(100 + i % 9000) + "." + std::to_string(10 + i % 90);
        co.execute("INSERT INTO ACPTA (TA001, TA002, TA003, TA004, TA008, TA024, TA028, TA029, TA030, TA034, TA037, "
                   "TA038, TA085) VALUES ('7101', :N, '20240101', :S, 'RMB', 'Y', :A, '0.13', '0', '20240101', "
                   ":A, '0.13', '0')",
                   {{"N", no}, {"S", i % 2 ? "S02" : "S01"}, {"A", cents}});
        co.execute("INSERT INTO ACPTB (TB001, TB002, TB003) VALUES ('7101', :N, '0001')", {{"N", no}});
    }
    tx.commit();
}

Variant packet()
{
    Variant v = Variant::array(1, 17);
    v[1] = 1;
    v[2] = Variant::list({"\x04", "20240630", "20240630"});
    v[3] = "";
    v[4] = "RMB";
    v[5] = Variant::list({"\x04", "S01", "S02"});
    for (int i = 6; i <= 9; ++i)
        v[i] = "";
    v[10] = "R10K";
    v[11] = "S09";
    v[12] = "";
    Variant docs = Variant::array(0, kDocuments - 1);
    for (int i = 0; i < kDocuments; ++i)
        docs[i] = "7101" + number(i);
    v[13] = docs;
    v[14] = "";
    v[15] = "T";
    v[16] = "N";
    v[17] = "20240630";
    return Variant::list({"20240630000001", "01", "DS", v, "DEMO", "", 3});
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
    makeInstallation(dir);
    const ServerLibraryOutcome out = RunServerLibraryFile(QV_BENCH_BIN_DIR "/WOFB07S.so", packet());
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
