// Holds a lock on a database file for a test, as another program of the site would: takes
// it with BEGIN EXCLUSIVE, says "locked" on standard output and keeps it until standard
// input closes, or a minute has passed.

#include "db/Db.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DATABASE-FILE\n", argv[0]);
        return 2;
    }
    try {
        DbConnection db;
        db.openSqlite(argv[1]);
        db.execute("BEGIN EXCLUSIVE");
        std::puts("locked");
        std::fflush(stdout);
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{STDIN_FILENO, POLLIN, 0};
            if (poll(&p, 1, int(left.count())) <= 0)
                break;
            char buf[64];
            if (read(STDIN_FILENO, buf, sizeof buf) <= 0)
                break;
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
