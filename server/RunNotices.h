#pragma once
// What the recipients a request names (JB014) are told when one of its runs ends: the
// queue's runs and the direct runs of a batch form alike, so that a clerk who chose
// "完成后通知" hears of the run whichever way it was made.

#include "server/JobStore.h"
#include "support/NotificationQueue.h"

#include <string>

class ServerDatabase;

struct RunEnd {
    int runNumber = 0;   // a periodic job's run, from 1; 0 for a job that runs once
    bool ok = false;
    std::string result;  // message codes of a failure
    std::string summary; // message codes of what a successful run did
    double at = 0;       // when it ended
};

// The row the recipients get: title "作业完成: " or "作业失败: " and the program, a text
// with the job, the moment and the summary or the failure. programName may be empty.
NotificationContent RunNoticeContent(const JobRecord& job, const std::string& programName, const RunEnd& end);

// Tells the job's recipients, if it names any (the company database of the job is made
// the connection's). Recipients who could not be told are logged under the job's number.
// Throws when the database cannot be read or written.
DeliveryOutcome TellRunRecipients(ServerDatabase& db, const JobRecord& job, const RunEnd& end);
