// A qvappserver started by a benchmark: spawned with its output in a file, and for
// --listen the port it reports once it listens (0 when it did not within ten seconds).
#pragma once

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <regex>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace bench {

struct ListeningServer {
    pid_t pid = -1;
    int port = 0;
    std::string outFile;

    std::string output() const
    {
        std::ifstream in(outFile);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void stop()
    {
        if (pid <= 0)
            return;
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
    }
};

// The program started with its output (standard output and error) in a file; pid -1 when
// it could not be started.
inline ListeningServer Spawn(const std::string& program, std::vector<std::string> args, const std::string& outFile)
{
    ListeningServer s;
    s.outFile = outFile;
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (posix_spawn(&s.pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        s.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return s;
}

inline ListeningServer StartListening(const std::string& program, std::vector<std::string> args, const std::string& outFile)
{
    ListeningServer s = Spawn(program, std::move(args), outFile);
    if (s.pid <= 0)
        return s;
    const std::regex listening(R"(listening on \S+ \(port (\d+))");
    for (int i = 0; i < 200 && s.port == 0; ++i) {
        std::smatch m;
        const std::string text = s.output();
        if (std::regex_search(text, m, listening))
            s.port = std::stoi(m[1]);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return s;
}

} // namespace bench
