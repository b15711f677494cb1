#include "server/JobService.h"

#include "platform/AsciiText.h"
#include "server/JobRequest.h"
#include "server/JobStore.h"
#include "server/RunNotices.h"
#include "server/ServerIdentity.h"
#include "server/ServerLibrary.h"
#include "support/ServerLog.h"
#include "support/MessageText.h"

JobService::JobService(ServerDatabase& db, std::shared_ptr<JobClock> clock) : db_(db), clock_(std::move(clock)) {}

std::string JobService::fail(const std::string& member, const std::string& why, const std::string& about)
{
    error_ = why;
    WriteServerLog("ReportCounterS.dmReportCounter." + member + ": " + about
                   + WordMessages(why, HostLanguage::English, "; "));
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
        const double due = FirstQueuedRun(r.periodic ? &r.period : nullptr, r.runMode, r.runAt, now);
        if (r.periodic && !WithinRunRange(r.period, due, 1))
            return fail("Request", MessageCode("E;000040", {r.period.endDate}));
        if (const std::string refused = CheckFirstRun(r, due, now, db_.settings().libraryFolders,
                                                      db_.settings().dbCodePage);
            !refused.empty())
            return fail("Request", MessageLines(MessageCode("E;000041"), refused));
        return storeOf(db_, tablesChecked_).addQueued(r, now, due);
    } catch (const JobRequestError& e) {
        return fail("Request", MessageLines(MessageCode("E;000041"), e.what()));
    } catch (const std::exception& e) {
        return fail("Request", MessageLines(MessageCode("E;000042"), e.what()));
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
        return fail("Request1", MessageLines(MessageCode("E;000043"), e.what()));
    } catch (const std::exception& e) {
        return fail("Request1", MessageLines(MessageCode("E;000044"), e.what()));
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
            fail("ExecSvrDLL", MessageCode("E;000045", {requestNo}));
            return error_;
        }
        if (!SameTextAscii(job->programCode, trimBlanks(programCode))) {
            fail("ExecSvrDLL", MessageCode("E;000046", {requestNo, job->programCode, programCode}));
            return error_;
        }
        if (!store.startDirectRun(requestNo, MomentStamp(clock_->now()), ThisServerId())) {
            fail("ExecSvrDLL", MessageCode("E;000047", {requestNo, job->status}));
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
        const double ended = clock_->now();
        if (store.finishDirectRun(requestNo, outcome.ok, outcome.result, MomentStamp(ended)))
            tellRecipients(*job, outcome.ok, outcome.result, outcome.summary, ended);
        if (!outcome.ok) {
            fail("ExecSvrDLL", outcome.result, "Request " + requestNo + ": ");
        } else {
            summary_ = outcome.summary;
        }
        return outcome.result;
    } catch (const std::exception& e) {
        fail("ExecSvrDLL", MessageLines(MessageCode("E;000048"), e.what()));
        return error_;
    }
}

namespace {

// The client's words for a notice: a summary, not a document; cut at a character's start.
std::string clientSummary(const std::string& text)
{
    constexpr std::size_t kMostBytes = 2000;
    if (text.size() <= kMostBytes)
        return text;
    std::size_t cut = kMostBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return text.substr(0, cut) + "...";
}

} // namespace

void JobService::tellRecipients(const JobRecord& job, bool ok, const std::string& result, const std::string& summary,
                                double at)
{
    // The run stands whatever becomes of its notice; a notice lost is logged.
    try {
        TellRunRecipients(db_, job, {0, ok, result, ok ? summary : std::string(), at});
    } catch (const std::exception& e) {
        WriteServerLog("ReportCounterS.dmReportCounter: request " + job.number
                       + ": the recipients were not told: " + e.what());
    }
}

std::string JobService::UpdateStatus1(const std::string& requestNo, const std::string& messageTexts,
                                      const Variant& ended, const std::string& summary)
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
        const std::string number(trimBlanks(requestNo));
        JobStore store = storeOf(db_, tablesChecked_);
        bool decided = false;
        if (!store.endDirectRun(number, messageTexts, MomentStamp(end), &decided)) {
            fail("UpdateStatus1", MessageCode("E;000045", {requestNo}));
            return error_;
        }
        if (decided)
            if (const std::optional<JobRecord> job = store.find(number))
                tellRecipients(*job, messageTexts.empty(), messageTexts, clientSummary(summary), end);
        return {};
    } catch (const std::exception& e) {
        fail("UpdateStatus1", MessageLines(MessageCode("E;000049"), e.what()));
        return error_;
    }
}
