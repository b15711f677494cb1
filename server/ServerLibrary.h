#pragma once
// Running a job's server library (program code + "S.so") in the server's own process:
// the queue's runs and the direct runs a client asks the server for (ExecSvrDLL). The
// packet and the slots are those of platform/SvrController.h.

#include "platform/Variant.h"

#include <atomic>
#include <string>
#include <vector>

struct ServerLibraryOutcome {
    bool ok = false;
    // The job's result text (empty on success), or why it could not run.
    std::string result;
    // What a successful run did (the library's summary); empty when it gives none.
    std::string summary;
    // The database server went away under a call of the run (DbServerLossCount): what the
    // run had not committed is gone, and a run that failed was interrupted, not wrong.
    bool databaseLost = false;
    // The run was ended from outside (RunControl::end) before it finished: it was cut
    // off, not wrong, and what it had not committed is gone.
    bool ended = false;
};

// How a run may be ended from outside: when end turns true the library's process is
// killed. ownProcess runs the library in a process of its own even without a time limit,
// as the queue does, so that each of its runs can be ended.
struct RunControl {
    const std::atomic<bool>* end = nullptr;
    bool ownProcess = false;
};

// The library of a program in the first of the folders that holds it; empty, with the
// reason in why, when none does or the program code is unusable.
std::string FindServerLibrary(const std::vector<std::string>& folders, const std::string& programCode,
                              std::string& why);

// The packet of slot 3 for the job kind: 7 elements for "B", 12 for any other kind.
Variant ServerLibraryPacket(const std::string& jobKind, const std::string& requestNo, const std::string& companyCode,
                            const std::string& userCode, const std::string& databaseName, const Variant& parameters,
                            const std::string& extra, int productId, int codePage);

// Loads the library, asks it for a controller, runs the packet, reads the result text
// (also after the run raised), frees the controller and the library. Never raises: a
// library that cannot be loaded, lacks its export or raises gives ok false and the
// reason; a run that answers an error text gives ok false and that text.
ServerLibraryOutcome RunServerLibraryFile(const std::string& libraryFile, const Variant& packet);

// The library's check of a request before it is queued (slot CheckRequest of
// platform/SvrController.h), in this process: its refusal, or empty when it has none. A
// library that cannot be loaded or raises is no refusal: its runs report what is wrong.
std::string CheckServerLibraryRequest(const std::string& libraryFile, const Variant& packet);

struct JobRequest;
// The check of a periodic request submitted at submitted, whose first run is at firstRun:
// its program's library (in the first of folders that holds it) is asked with the packet
// the queue will hand that run, texts in codePage. Empty when no library is found.
std::string CheckFirstRun(const JobRequest& request, double firstRun, double submitted,
                          const std::vector<std::string>& folders, int codePage);

// The same run under a time limit (seconds; 0 or less: none, and the library runs in this
// process as above). With a limit the library runs in a process of its own (the program
// qvjobrun beside the platform library), so that a library that hangs can be ended: after
// the limit it is killed and the outcome says so; a library that crashes fails the run
// instead of the server. What the library wrote before it was ended stays uncommitted, as
// its transaction never finished.
// The process dies with the thread that started it: a server killed with -9 leaves no run
// of its own going on behind a lease that another server takes over.
ServerLibraryOutcome RunServerLibrary(const std::string& libraryFile, const Variant& packet, int timeLimitSeconds,
                                      const RunControl& control = {});
// qvjobrun's side: runs the library on the packet read from in and writes the outcome to
// out (both WireCodec values); answers the process's exit code. parent (when not 0) is the
// process that started it: should it be gone already, nothing is run.
int RunServerLibraryChild(const std::string& libraryFile, int in, int out, long parent = 0);
