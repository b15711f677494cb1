#pragma once
// The write-off job as its server library (WOFB07S.so) and the server's own commands run
// it: the databases come from the server configuration (ServerDatabase::fromConfiguration),
// the company database is opened on a connection of its own, so that the run's write lock
// holds that database only.
//
// Run log: with the log flag set, <ServerPath>/Log/WOFB07_<batch>_<request>.log names
// every document of the run with its amounts, or says why nothing was done.

#include "platform/Variant.h"
#include "serverdb/ServerDatabase.h"

#include <string>

struct WriteOffJobResult {
    std::string error;   // empty on success
    std::string summary; // what was written off, for the run's messages
    std::string logFile; // the run log, when one was written
};

// Never raises: every failure is the result's error text and nothing was changed.
WriteOffJobResult RunWriteOffJob(const Variant& packet);
WriteOffJobResult RunWriteOffJob(const Variant& packet, const ServerDbSettings& settings);

// The check made when a job is queued, on the packet its first run will get: why that run
// would be refused for its batch number (too long a prefix, a number used already), as a
// message text; empty when it would not. Never raises.
std::string CheckWriteOffRequest(const Variant& packet);
std::string CheckWriteOffRequest(const Variant& packet, const ServerDbSettings& settings);

// Reverses a batch of the company (its database from ADMMC when databaseName is empty).
// Never raises: the error text says why nothing was changed.
WriteOffJobResult ReverseWriteOffJob(const ServerDbSettings& settings, const std::string& companyCode,
                                     const std::string& databaseName, const std::string& batchNo,
                                     const std::string& userCode);
