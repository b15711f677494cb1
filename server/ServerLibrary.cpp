#include "server/ServerLibrary.h"

#include "platform/AsciiText.h"
#include "db/Db.h"
#include "platform/DynLib.h"
#include "platform/InstallLayout.h"
#include "platform/SvrController.h"
#include "server/JobRequest.h"
#include "support/Dates.h"
#include "support/Helpers.h"
#include "support/RunSchedule.h"

#include "wire/WireCodec.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::string joined(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    const char last = folder.back();
    return folder + (last == '/' || last == '\\' ? "" : "/") + name;
}

} // namespace

std::string FindServerLibrary(const std::vector<std::string>& folders, const std::string& programCode,
                              std::string& why)
{
    if (!IsValidProgramCode(programCode)) {
        why = "\"" + programCode + "\" is no program code";
        return {};
    }
    const std::string name = upperAscii(programCode) + "S.so";
    std::string looked;
    for (const std::string& folder : folders) {
        const std::string file = joined(folder, name);
        std::error_code ec;
        if (std::filesystem::is_regular_file(file, ec))
            return file;
        looked += (looked.empty() ? "" : ", ") + folder;
    }
    why = folders.empty() ? "No work-library folder is configured (BriskoS.ini, [WorkDLLPath]) for " + name
                          : "The server library " + name + " is in none of the folders " + looked;
    return {};
}

Variant ServerLibraryPacket(const std::string& jobKind, const std::string& requestNo, const std::string& companyCode,
                            const std::string& userCode, const std::string& databaseName, const Variant& parameters,
                            const std::string& extra, int productId, int codePage)
{
    const std::string kind = upperAscii(jobKind);
    if (kind == "B")
        return Variant::list({requestNo, companyCode, userCode, parameters, databaseName, extra, productId});
    return Variant::list({requestNo, "", companyCode, userCode, databaseName, parameters, 1, kind, extra, productId, 1,
                          std::to_string(codePage)});
}

ServerLibraryOutcome RunServerLibraryFile(const std::string& libraryFile, const Variant& packet)
{
    ServerLibraryOutcome out;
    const std::uint64_t lossesBefore = DbServerLossCount();
    HMODULE module = LoadLibrary(libraryFile);
    if (!module) {
        out.result = "Cannot load the server library " + libraryFile + ": " + LastLibraryError();
        return out;
    }
    struct Release {
        HMODULE m;
        ~Release() { FreeLibrary(m); }
    } release{module};

    auto get = reinterpret_cast<TGetSvrController>(GetProcAddress(module, "GetSvrController"));
    if (!get) {
        out.result = "The server library " + libraryFile + " has no GetSvrController";
        return out;
    }
    std::unique_ptr<TSvrController> controller;
    try {
        controller.reset(get());
    } catch (const std::exception& e) {
        out.result = "GetSvrController of " + libraryFile + " raised: " + e.what();
        return out;
    } catch (...) {
        out.result = "GetSvrController of " + libraryFile + " raised";
        return out;
    }
    if (!controller) {
        out.result = "GetSvrController of " + libraryFile + " gave no controller";
        return out;
    }

    std::string raised;
    try {
        controller->RunJob(packet);
    } catch (const std::exception& e) {
        raised = e.what();
        if (raised.empty())
            raised = "the job raised an exception";
    } catch (...) {
        raised = "the job raised an exception";
    }
    std::string result;
    try {
        result = controller->GetResultText();
    } catch (const std::exception& e) {
        result = std::string("the result text could not be read: ") + e.what();
    } catch (...) {
        result = "the result text could not be read";
    }
    if (raised.empty() && result.empty()) {
        try {
            out.summary = controller->GetSummaryText();
        } catch (...) {
        }
    }
    controller.reset();

    if (!raised.empty())
        out.result = result.empty() ? raised : raised + "\r\n" + result;
    else
        out.result = result;
    out.ok = raised.empty() && result.empty();
    out.databaseLost = DbServerLossCount() != lossesBefore;
    return out;
}

std::string CheckServerLibraryRequest(const std::string& libraryFile, const Variant& packet)
{
    HMODULE module = LoadLibrary(libraryFile);
    if (!module)
        return {};
    struct Release {
        HMODULE m;
        ~Release() { FreeLibrary(m); }
    } release{module};
    auto get = reinterpret_cast<TGetSvrController>(GetProcAddress(module, "GetSvrController"));
    if (!get)
        return {};
    try {
        const std::unique_ptr<TSvrController> controller(get());
        return controller ? controller->CheckRequest(packet) : std::string();
    } catch (...) {
        return {};
    }
}

std::string CheckFirstRun(const JobRequest& request, double firstRun, double submitted,
                          const std::vector<std::string>& folders, int codePage)
{
    std::string why;
    const std::string library = FindServerLibrary(folders, request.programCode, why);
    if (library.empty() || !request.periodic)
        return {};
    // The run's extra text as the queue makes it; the job number is not drawn yet.
    const std::string number = dateToCompact(std::floor(submitted)) + "000000";
    const std::string extra = number + "0001" + PeriodicRunKey(request.period, firstRun, 1);
    const Variant packet = ServerLibraryPacket(request.jobKind, number, request.companyCode, request.userCode,
                                               request.databaseName, VariantToCodePage(request.optionValues(), codePage),
                                               extra, 3, codePage);
    return CheckServerLibraryRequest(library, packet);
}

namespace {

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(std::size_t(n));
    }
    return true;
}

std::string readAll(int fd)
{
    std::string bytes;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return bytes;
        bytes.append(buf, std::size_t(n));
    }
}

std::string runnerProgram()
{
    return SuiteProgram("qvjobrun");
}

ServerLibraryOutcome failed(std::string why)
{
    ServerLibraryOutcome out;
    out.result = std::move(why);
    return out;
}

// The job's own process and the server's ends of its pipes.
struct JobProcess {
    pid_t pid = -1;
    int toChild = -1;
    int fromChild = -1;
};

// How the wait for the job's process ended.
struct JobWait {
    std::string answer;
    int status = 0;
    bool timedOut = false;
    bool ended = false;
};

// Starts the runner on the library with a pipe for its packet and one for its answer. Why it
// could not, or empty.
std::string startJobProcess(const std::string& program, const std::string& libraryFile, JobProcess& job)
{
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0)
        return std::string("The job's process cannot be started: ") + std::strerror(errno);
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return std::string("The job's process cannot be started: ") + std::strerror(errno);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    // The server's sockets (its listening one, clients', the database's) stay with the
    // server: a run that outlives it for a moment must not answer for it.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    const std::string parent = std::to_string(long(::getpid()));
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(libraryFile.c_str()),
                    const_cast<char*>(parent.c_str()), nullptr};
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    if (rc != 0) {
        ::close(in[1]);
        ::close(out[0]);
        return "The job's process " + program + " cannot be started: " + std::strerror(rc);
    }
    job.pid = pid;
    job.toChild = in[1];
    job.fromChild = out[0];
    return {};
}

// Hands the packet over and reads the answer until the process closes its end, the time
// limit passes or the run is ended; then reaps the process, killed if it has to be.
JobWait waitForJob(const JobProcess& job, const std::string& request, int timeLimitSeconds, const RunControl& control)
{
    // The packet is written while the answer is read, so that neither side waits on a full pipe.
    // No limit: a deadline no run reaches.
    const auto deadline = std::chrono::steady_clock::now()
                        + std::chrono::seconds(timeLimitSeconds > 0 ? timeLimitSeconds : 100L * 365 * 86400);
    std::string answer;
    std::size_t sent = 0;
    int toChild = job.toChild;
    bool timedOut = false;
    bool ended = false;
    // A process that ends before it read its packet must not end the server with it.
    signal(SIGPIPE, SIG_IGN);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        if (control.end && control.end->load()) {
            ended = true;
            break;
        }
        pollfd fds[2] = {{job.fromChild, POLLIN, 0}, {toChild, POLLOUT, 0}};
        const int n = ::poll(fds, toChild >= 0 ? 2 : 1, int(std::min<long long>(left.count(), control.end ? 100 : 1000)));
        if (n < 0 && errno != EINTR)
            break;
        if (n <= 0)
            continue;
        if (toChild >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t w = ::write(toChild, request.data() + sent, request.size() - sent);
            if (w > 0)
                sent += std::size_t(w);
            if (w < 0 || sent == request.size()) {
                ::close(toChild);
                toChild = -1;
            }
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buf[65536];
            const ssize_t r = ::read(job.fromChild, buf, sizeof buf);
            if (r > 0)
                answer.append(buf, std::size_t(r));
            else if (r == 0 || errno != EINTR)
                break;
        }
    }
    if (toChild >= 0)
        ::close(toChild);
    ::close(job.fromChild);
    if (timedOut || ended)
        ::kill(job.pid, SIGKILL);
    int status = 0;
    while (::waitpid(job.pid, &status, 0) < 0 && errno == EINTR) {
    }
    return {std::move(answer), status, timedOut, ended};
}

// What the run came to: ended, out of time, killed by a signal, or the outcome the process wrote.
ServerLibraryOutcome jobOutcome(const std::string& libraryFile, const JobWait& waited, int timeLimitSeconds)
{
    if (waited.ended) {
        ServerLibraryOutcome out = failed("The run was ended before it finished; nothing it had not committed was kept");
        out.ended = true;
        return out;
    }
    if (waited.timedOut)
        return failed("The job did not finish within its time limit of " + std::to_string(timeLimitSeconds) +
                      " s and was ended; nothing it had not committed was kept");
    if (WIFSIGNALED(waited.status))
        return failed("The server library " + libraryFile + " ended abnormally (signal " +
                      std::to_string(WTERMSIG(waited.status)) + ")");
    try {
        const Variant v = DecodeWireValue(waited.answer);
        ServerLibraryOutcome outcome;
        outcome.ok = v[0].toBool();
        outcome.result = VarToStr(v[1]);
        outcome.summary = VarToStr(v[2]);
        outcome.databaseLost = v.highBound() >= 3 && v[3].toBool();
        return outcome;
    } catch (const std::exception&) {
        return failed("The server library " + libraryFile + " ended without an outcome (exit code " +
                      std::to_string(WIFEXITED(waited.status) ? WEXITSTATUS(waited.status) : -1) + ")");
    }
}

} // namespace

int RunServerLibraryChild(const std::string& libraryFile, int in, int out, long parent)
{
    if (parent > 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The parent may have died before the line above took effect.
        if (long(::getppid()) != parent)
            return 1;
    }
    ServerLibraryOutcome outcome;
    try {
        outcome = RunServerLibraryFile(libraryFile, DecodeWireValue(readAll(in)));
    } catch (const std::exception& e) {
        outcome = failed(std::string("The job's packet could not be read: ") + e.what());
    }
    return writeAll(out, EncodeWireValue(Variant::list({outcome.ok, outcome.result, outcome.summary,
                                                         outcome.databaseLost})))
               ? 0
               : 1;
}

ServerLibraryOutcome RunServerLibrary(const std::string& libraryFile, const Variant& packet, int timeLimitSeconds,
                                      const RunControl& control)
{
    if (timeLimitSeconds <= 0 && !control.ownProcess)
        return RunServerLibraryFile(libraryFile, packet);
    std::string request;
    try {
        request = EncodeWireValue(packet);
    } catch (const std::exception& e) {
        return failed(std::string("The job's packet cannot be handed to its process: ") + e.what());
    }
    const std::string program = runnerProgram();
    if (::access(program.c_str(), X_OK) != 0)
        return failed("The job cannot run under its time limit: the program " + program + " is missing");

    JobProcess job;
    const std::string why = startJobProcess(program, libraryFile, job);
    if (!why.empty())
        return failed(why);
    return jobOutcome(libraryFile, waitForJob(job, request, timeLimitSeconds, control), timeLimitSeconds);
}
