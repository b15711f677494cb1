// qvjobrun LIBRARY: runs a job's server library in a process of its own, for a server that
// keeps a time limit (ServerLibrary.h). The packet comes on standard input, the outcome
// goes to standard output, both as WireCodec values.

#include "server/ServerLibrary.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: qvjobrun LIBRARY [PARENT-PID] (the packet on standard input)\n");
        return 2;
    }
    // Whatever the library prints must not mix with the outcome.
    const int out = ::dup(STDOUT_FILENO);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    return RunServerLibraryChild(argv[1], STDIN_FILENO, out, argc == 3 ? std::atol(argv[2]) : 0);
}
