// A job's server library for the queue tests (and, built as WOFB08S.so, the server side
// of the test job WOFB08). Every run appends one line to the file that QV_TEST_JOB_LOG
// names: request number, extra text and the option values, tab-separated. What the run
// does follows the first option value when it is a text starting with "@":
//   "@fail TEXT"   answers TEXT as its error        "@raise TEXT"  raises TEXT
//   "@hold FILE"   waits until FILE exists (at most 60 s), then succeeds
//   "@sleep MS"    takes MS milliseconds, then succeeds
// (these two add the first two fields to QV_TEST_JOB_LOG + ".ends" when they are over,
// so that a run that went on after its server was killed shows)
//   "@crash"       ends its process with SIGSEGV (only ever run in a process of its own)
// anything else succeeds at once. A run that succeeds sums itself up as "ran REQUEST".

#include "platform/Exception.h"
#include "platform/SvrController.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

std::string shown(const Variant& v)
{
    if (!v.isArray())
        return VarToStr(v);
    std::string s = "[";
    for (int i = v.lowBound(); i <= v.highBound(); ++i)
        s += (i > v.lowBound() ? "|" : "") + shown(v[i]);
    return s + "]";
}

// One write with O_APPEND: lines of several servers never interleave.
void record(const std::string& line, const char* suffix = "")
{
    const char* log = std::getenv("QV_TEST_JOB_LOG");
    if (!log || !*log)
        return;
    const std::string file = std::string(log) + suffix;
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (fd < 0)
        return;
    const std::string text = line + "\n";
    [[maybe_unused]] const ssize_t n = ::write(fd, text.data(), text.size());
    ::close(fd);
}

bool exists(const std::string& file)
{
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0;
}

class QueueTestController : public TSvrController {
public:
    std::string GetResultText() override { return result_; }
    std::string GetSummaryText() override { return result_.empty() ? summary_ : std::string(); }

    void RunJob(const Variant& packet) override
    {
        const bool batch = packet.highBound() == 6;
        const Variant& values = packet[batch ? 3 : 5];
        const std::string extra = VarToStr(packet[batch ? 5 : 8]);
        std::string line = VarToStr(packet[0]) + "\t" + extra;
        if (values.isArray())
            for (int i = values.lowBound(); i <= values.highBound(); ++i)
                line += "\t" + shown(values[i]);
        record(line);
        summary_ = "ran " + VarToStr(packet[0]);

        const std::string action = values.isArray() && values.highBound() >= 1 ? VarToStr(values[1]) : std::string();
        if (action.rfind('@', 0) != 0)
            return;
        const std::size_t blank = action.find(' ');
        const std::string verb = action.substr(1, blank == std::string::npos ? std::string::npos : blank - 1);
        const std::string arg = blank == std::string::npos ? std::string() : action.substr(blank + 1);
        if (verb == "fail") {
            result_ = arg;
        } else if (verb == "raise") {
            throw Exception(arg);
        } else if (verb == "hold") {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (!exists(arg) && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            record(VarToStr(packet[0]) + "\t" + extra, ".ends");
        } else if (verb == "crash") {
            // A sanitizer's handler would report and exit(1); the run must die of the signal.
            std::signal(SIGSEGV, SIG_DFL);
            std::raise(SIGSEGV);
        } else if (verb == "sleep") {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(arg.c_str())));
            record(VarToStr(packet[0]) + "\t" + extra, ".ends");
        }
    }

private:
    std::string result_;
    std::string summary_;
};

} // namespace

extern "C" __attribute__((visibility("default"))) TSvrController* GetSvrController()
{
    return new QueueTestController;
}
