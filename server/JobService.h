#pragma once
// The job service of the application server object (ReportCounterS.h lists its members
// as callers see them): requests are checked, then stored in the job table before their
// number is answered; direct runs are registered, run and ended.
//
// Numbers (job and request numbers alike) are the day of the server's clock "yyyymmdd"
// and a six-digit day counter: "20240304000017". A client derives the job number of a
// direct run from the first 8 characters followed by "0001".
//
// Nothing here raises: a failure answers "ERROR" (or an error text) and leaves its text
// for ErrorDescript, the text of this object's last job-service call (empty when that
// call succeeded). The texts, the run's summary and the results kept in the job table are
// message codes (support/MessageText.h), worded by whoever shows them.

#include "support/JobClock.h"
#include "serverdb/ServerDatabase.h"

#include <memory>
#include <string>

struct JobRecord;

class JobService {
public:
    JobService(ServerDatabase& db, std::shared_ptr<JobClock> clock);

    // The job number, or "ERROR".
    std::string Request(const Variant& packet);
    // The request number of a run the client makes at once itself, or "ERROR".
    std::string Request1(const Variant& packet, const std::string& computerName);
    // Runs the server library of a registered direct request in this process. Answers the
    // empty text when the job ran and succeeded, else the failure (the job's own error
    // text, or why it could not run); the request records the outcome either way.
    std::string ExecSvrDLL(const std::string& requestNo, const std::string& programCode, const std::string& extra,
                           const std::string& companyCode, const std::string& userCode, const std::string& jobKind,
                           const std::string& databaseName, const Variant& values, const std::string& jobNumber,
                           int productId);
    // Ends a direct run; the request number "ERROR" changes nothing. Answers the empty
    // text, or an error text. summary is what a run the client made itself did, for the
    // recipients' notice when this call gives the run its outcome.
    std::string UpdateStatus1(const std::string& requestNo, const std::string& messageTexts, const Variant& ended,
                              const std::string& summary = {});
    const std::string& ErrorDescript() const { return error_; }
    // What the library said it did in the last successful ExecSvrDLL of this object
    // (documents and totals), empty after a failure: the client shows it as a local run does.
    const std::string& LastRunSummary() const { return summary_; }

    JobClock& clock() { return *clock_; }

private:
    // why is a message text (MessageText.h): callers word it; the server log has it in English.
    std::string fail(const std::string& member, const std::string& why, const std::string& about = {});
    // The recipients of a direct run hear of its outcome, once, from whichever call gave it.
    void tellRecipients(const JobRecord& job, bool ok, const std::string& result, const std::string& summary,
                        double at);

    ServerDatabase& db_;
    std::shared_ptr<JobClock> clock_;
    std::string error_;
    std::string summary_;
    bool tablesChecked_ = false;
};
