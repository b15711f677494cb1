#pragma once
// Who runs a job: a server process is named "host:pid:start" (start: the process's start
// time in clock ticks since boot), so that another server on the same machine can tell
// whether the process that claimed a job still lives, even after its pid was reused.

#include <string>

// The name of this process.
std::string ThisServerId();
// The name of this process when its machine goes by host in the queue (servers in
// containers that share a host name, tests that stand for another machine).
std::string ServerIdOnHost(const std::string& host);
// Whether the process of a name has ended. Only names of this machine can be judged: a
// name of another host, or one that cannot be read, counts as alive.
bool IsServerGone(const std::string& serverId);
