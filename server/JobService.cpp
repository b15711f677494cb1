#include "server/JobService.h"

#include "platform/AsciiText.h"
#include "server/JobRequest.h"
#include "server/JobStore.h"
#include "server/ServerIdentity.h"
#include "server/ServerLibrary.h"
#include "server/ServerLog.h"

JobService::JobService(ServerDatabase& db, std::shared_ptr<JobClock> clock) : db_(db), clock_(std::move(clock)) {}

std::string JobService::fail(const std::string& member, const std::string& why)
{
    error_ = why;
    WriteServerLog("ReportCounterS.dmReportCounter." + member + ": " + why);
    return "ERROR";
}

namespace {

// The store of the system database, its job tables made where an older database lacks them.
JobStore storeOf(ServerDatabase& db, bool& checked)
{
    DbConnection& conn = db.connection();
    if (!checked) {
        JobStore::EnsureTables(conn);
        checked = true;
    }
    return JobStore(conn);
}

} // namespace

std::string JobService::Request(const Variant& packet)
{
    error_.clear();
    try {
        const JobRequest r = ReadJobRequest(packet);
        const double now = clock_->now();
        double due = now;
        if (r.periodic) {
            due = FirstRunMoment(r.period, r.runAt);
            if (!WithinRunRange(r.period, due, 1))
                return fail("Request", "The request was not stored: its schedule gives no run up to the end date "
                                           + r.period.endDate);
        } else if (r.runMode == 2) {
            due = r.runAt;
        }
        return storeOf(db_, tablesChecked_).addQueued(r, now, due);
    } catch (const JobRequestError& e) {
        return fail("Request", std::string("The request was not stored: ") + e.what());
    } catch (const std::exception& e) {
        return fail("Request", std::string("The request could not be stored: ") + e.what());
    }
}

std::string JobService::Request1(const Variant& packet, const std::string& computerName)
{
    error_.clear();
    try {
        const JobRequest r = ReadJobRequest(packet);
        std::string computer = trimBlanks(computerName).empty() ? "Unknown" : std::string(trimBlanks(computerName));
        if (computer.size() > 40)
            computer.resize(40);
        return storeOf(db_, tablesChecked_).addDirect(r, clock_->now(), computer);
    } catch (const JobRequestError& e) {
        return fail("Request1", std::string("The request was not registered: ") + e.what());
    } catch (const std::exception& e) {
        return fail("Request1", std::string("The request could not be registered: ") + e.what());
    }
}

std::string JobService::ExecSvrDLL(const std::string& requestNo, const std::string& programCode,
                                   const std::string& extra, const std::string& companyCode,
                                   const std::string& userCode, const std::string& jobKind,
                                   const std::string& databaseName, const Variant& values,
                                   const std::string& jobNumber, int productId)
{
    (void)extra; // the client's spare text; the library gets the job number as its extra text
    error_.clear();
    summary_.clear();
    try {
        JobStore store = storeOf(db_, tablesChecked_);
        const std::optional<JobRecord> job = store.find(requestNo);
        if (!job || job->entry != "D") {
            fail("ExecSvrDLL", "The request " + requestNo + " is not registered for a direct run (Request1)");
            return error_;
        }
        if (!SameTextAscii(job->programCode, trimBlanks(programCode))) {
            fail("ExecSvrDLL", "The request " + requestNo + " belongs to program " + job->programCode + ", not "
                                   + programCode);
            return error_;
        }
        if (!store.startDirectRun(requestNo, MomentStamp(clock_->now()), ThisServerId())) {
            fail("ExecSvrDLL", "The request " + requestNo + " has ended already (" + job->status + ")");
            return error_;
        }
        std::string why;
        ServerLibraryOutcome outcome;
        const std::string library = FindServerLibrary(db_.settings().libraryFolders, job->programCode, why);
        if (library.empty()) {
            outcome.result = why;
        } else {
            outcome = RunServerLibrary(
                library, ServerLibraryPacket(jobKind.empty() ? job->jobKind : jobKind, requestNo, companyCode,
                                             userCode, databaseName, values, jobNumber, productId,
                                             db_.settings().dbCodePage),
                db_.settings().jobTimeLimitSeconds);
        }
        store.finishDirectRun(requestNo, outcome.ok, outcome.result, MomentStamp(clock_->now()));
        if (!outcome.ok) {
            fail("ExecSvrDLL", "Request " + requestNo + ": " + outcome.result);
            error_ = outcome.result;
        } else {
            summary_ = outcome.summary;
        }
        return outcome.result;
    } catch (const std::exception& e) {
        fail("ExecSvrDLL", std::string("The direct run could not be made: ") + e.what());
        return error_;
    }
}

std::string JobService::UpdateStatus1(const std::string& requestNo, const std::string& messageTexts,
                                      const Variant& ended)
{
    error_.clear();
    if (SameTextAscii(trimBlanks(requestNo), "ERROR"))
        return {};
    try {
        double end = 0;
        if (ended.type() == VarType::Date || ended.isNumeric() || ended.isString()) {
            try {
                end = ended.toDate();
            } catch (const VariantError&) {
            }
        }
        if (MomentStamp(end).size() != 17)
            end = clock_->now();
        if (!storeOf(db_, tablesChecked_).endDirectRun(std::string(trimBlanks(requestNo)), messageTexts,
                                                       MomentStamp(end))) {
            fail("UpdateStatus1", "The request " + requestNo + " is not registered for a direct run (Request1)");
            return error_;
        }
        return {};
    } catch (const std::exception& e) {
        fail("UpdateStatus1", std::string("The end of the run could not be recorded: ") + e.what());
        return error_;
    }
}
