#pragma once
// A lock on a database file held by a second process (DbLockHolder.cpp) for as long as
// the object lives, so that tests meet a lock the way the server meets another program's.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

extern char** environ;

class DbLock {
public:
    explicit DbLock(const std::string& file)
    {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "no pipes";
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        const std::string program = QV_TEST_DBLOCK;
        char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(file.c_str()), nullptr};
        const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        toChild_ = in[1];
        if (rc != 0) {
            pid_ = -1;
            close(out[0]);
            ADD_FAILURE() << "cannot start " << program;
            return;
        }
        // The lock is held once the holder says so (a bounded wait: a broken holder fails
        // the test instead of hanging it).
        std::string said;
        pollfd p{out[0], POLLIN, 0};
        while (said.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0) {
            char buf[64];
            const ssize_t n = read(out[0], buf, sizeof buf);
            if (n <= 0)
                break;
            said.append(buf, std::size_t(n));
        }
        close(out[0]);
        held_ = said.rfind("locked", 0) == 0;
        if (!held_)
            ADD_FAILURE() << "the lock holder did not take the lock on " << file;
    }
    ~DbLock() { release(); }
    DbLock(const DbLock&) = delete;
    DbLock& operator=(const DbLock&) = delete;

    bool held() const { return held_; }

    // Closing its input ends the holder, and its lock with it.
    void release()
    {
        if (toChild_ >= 0) {
            close(toChild_);
            toChild_ = -1;
        }
        if (pid_ > 0) {
            int status = 0;
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
        held_ = false;
    }

private:
    pid_t pid_ = -1;
    int toChild_ = -1;
    bool held_ = false;
};
