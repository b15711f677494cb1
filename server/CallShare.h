#pragma once
// The workers' share each user may hold. A connection runs one call at a time, but one user
// may hold many connections: calls that wait on a client's callback, or run long, would
// otherwise take every worker and lock everyone else out. A user's calls beyond his share
// wait in his own line, in order, and take no worker while they wait.

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>

class CallShare {
public:
    using Run = std::function<void(std::function<void()> task)>;

    // run hands a task to a worker; share is how many of one user's calls run at once.
    CallShare(Run run, int share);

    // Runs task for user now or when one of his running calls ends.
    void submit(const std::string& user, std::function<void()> task);

private:
    struct Line {
        std::size_t running = 0;
        std::deque<std::function<void()>> waiting;
    };
    void start(const std::string& user, std::function<void()> task);
    void finished(const std::string& user);

    Run run_;
    std::size_t share_;
    std::mutex mutex_;
    std::map<std::string, Line> lines_;
};
