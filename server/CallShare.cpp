#include "server/CallShare.h"

#include <algorithm>

CallShare::CallShare(Run run, int share) : run_(std::move(run)), share_(std::size_t(std::max(1, share))) {}

void CallShare::submit(const std::string& user, std::function<void()> task)
{
    {
        std::lock_guard lock(mutex_);
        Line& line = lines_[user];
        if (line.running >= share_) {
            line.waiting.push_back(std::move(task));
            return;
        }
        ++line.running;
    }
    start(user, std::move(task));
}

void CallShare::start(const std::string& user, std::function<void()> task)
{
    run_([this, user, task = std::move(task)] {
        // Whatever happens, the user's next call gets its turn, and nothing leaves the worker.
        struct Done {
            CallShare& share;
            const std::string& user;
            ~Done() { share.finished(user); }
        } done{*this, user};
        try {
            task();
        } catch (...) {
        }
    });
}

void CallShare::finished(const std::string& user)
{
    std::function<void()> next;
    {
        std::lock_guard lock(mutex_);
        const auto found = lines_.find(user);
        if (found == lines_.end())
            return;
        Line& line = found->second;
        if (line.waiting.empty()) {
            if (--line.running == 0)
                lines_.erase(found);
            return;
        }
        next = std::move(line.waiting.front());
        line.waiting.pop_front();
    }
    start(user, std::move(next));
}
