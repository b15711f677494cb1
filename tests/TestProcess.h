#pragma once
// Programs of the build run as real processes by the tests, and the bounded wait the tests
// poll with.

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace testproc {

// Waits, a little at a time, until the condition holds; false when it did not in time.
inline bool waitFor(const std::function<bool()>& condition, double seconds = 30)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(long(seconds * 1000));
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// A program of the build, started with posix_spawn; its output goes to a file (standard
// error to a file of its own when errorFile names one).
class Process {
public:
    Process(const std::string& program, const std::vector<std::string>& args, const std::string& outputFile,
            const std::map<std::string, std::string>& env = {}, const std::string& errorFile = {})
        : output_(outputFile)
    {
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> av;
        for (auto& a : argv)
            av.push_back(a.data());
        av.push_back(nullptr);
        std::vector<std::string> envText;
        for (char** e = environ; *e; ++e) {
            const std::string kv = *e;
            if (!env.count(kv.substr(0, kv.find('='))))
                envText.push_back(kv);
        }
        for (const auto& [k, v] : env)
            envText.push_back(k + "=" + v);
        std::vector<char*> ev;
        for (auto& e : envText)
            ev.push_back(e.data());
        ev.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (errorFile.empty())
            posix_spawn_file_actions_adddup2(&actions, 1, 2);
        else
            posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, av.data(), ev.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            pid_ = -1;
    }
    ~Process()
    {
        if (running()) {
            ::kill(pid_, SIGKILL);
            wait(10);
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return pid_; }
    bool running() const { return pid_ > 0 && !exited_; }
    void signal(int s) const
    {
        if (running())
            ::kill(pid_, s);
    }
    // Collects the exit; false when the process still runs after seconds.
    bool wait(double seconds)
    {
        if (pid_ <= 0)
            return false;
        return exited_ || waitFor(
                              [&] {
                                  int status = 0;
                                  if (::waitpid(pid_, &status, WNOHANG) != pid_)
                                      return false;
                                  exited_ = true;
                                  exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                                  return true;
                              },
                              seconds);
    }
    int exitCode() const { return exitCode_; }
    std::string output() const
    {
        std::ifstream in(output_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
    int exitCode_ = -1;
    std::string output_;
};

} // namespace testproc
