#pragma once
// The application server object, ProgID "ReportCounterS.dmReportCounter".
//
// How it is created
//   In-process, by CreateOleObject("ReportCounterS.dmReportCounter") when the configured
//   server address is "127.0.0.1". The shared library ReportCounterS.so (no "lib" prefix,
//   in the build's bin/ folder) exports `extern "C" void OleRegisterClasses()`; name it
//   in the class-table file (QV_CLASS_TABLE, section [Classes]):
//       ReportCounterS.dmReportCounter=ReportCounterS.so
//   Programs that link the server code (qv_server) call RegisterReportCounterS() instead.
//
// Where it finds the databases
//   The server configuration (BriskoS.ini in the folder the registry value ServerPath of
//   "Software\QVR\Brisko" names), section "DBE Setting":
//       MainDBType      SQLITE (PostgreSQL comes later; any other type is refused)
//       MainServerName  folder of the database files, absolute or relative to ServerPath
//       MainDBName      name of the system database (default QVSYS)
//   The system database is <folder>/<MainDBName>.db; a company database named DEMO is
//   <folder>/DEMO.db, attached under its name by the first statement that reads it.
//   Database names are letters, digits and "_" only and compare without regard to case
//   ("demo" is DEMO.db, from the first use on). The setup program `qvsetup` creates both
//   with demo data.
//
// Bounds (section "DBE Setting"; a value that is no number or below 1 takes the default):
//       BusyTimeOut     5000       ms a statement waits for a lock that another program
//                                  holds on a database; then the call fails naming the
//                                  database. A lock that has outlasted a full wait is then
//                                  tried only briefly by the next statements, until it is
//                                  gone. ResultConnectString passes the time on.
//       QueryTimeOut    30000      ms one SimpleSQL statement may run, rows included
//       QueryMaxRows    100000     rows of one SimpleSQL answer
//       QueryMaxBytes   67108864   bytes of one SimpleSQL answer (each value's text and its
//                                  slot), and the largest text a statement may make
//       QueryMaxMemory  268435456  bytes of working memory one SimpleSQL statement may add
//                                  to the database engine's (sorts, sets, temporary tables); on
//                                  PostgreSQL each sort and hash of the statement keeps to it
//                                  (work_mem) and may not spill to temporary files (the user
//                                  needs GRANT SET ON PARAMETER temp_file_limit, else the
//                                  call fails saying so)
//   A statement past a bound is stopped; the call answers Empty and ErrorDescript says
//   which bound, with the name of its setting.
//
// Whom it works for (ServerSession.h)
//   An object works for one session: over the network, the user and company its
//   connection signed on for; in-process, the session the host signed on
//   (SetProcessSignOn of wire/RemoteClient.h). Every member that names a user acts for
//   the session's user: another user is refused unless the session's user is a super user
//   (logged as acting for him). A call reaches the session company's database and the
//   system database only. Rights are the server's own reading of GetPower's layout:
//   Request needs the queue right of the request's program, Request1 and ExecSvrDLL the
//   direct right, ReverseWriteOff the direct right of WOFB07 (a super user has every
//   right); schemes are the session user's own. A refusal is answered as any failure of
//   the member, logged with the session. Without a session (in-process, nobody signed
//   on) no member acts for a user, and SimpleSQL reaches the database its call names.
//
// Members (names compare without regard to case). None of them throws to its caller:
// a failure is written to the alert log "ReportCounterS", kept for ErrorDescript and
// answered as stated.
//
//   SQLType() -> Int
//       Dialect of the main database: 0 SQL Server, 1 Oracle, 2 DB2, 3 SQLite,
//       4 PostgreSQL. Whatever the answer, SimpleSQL takes texts in the SQL Server dialect.
//
//   GetPower(array [databaseName, userCode, programCode, spare]) -> array 0..8 or Empty
//       The user's rights in the program (the four values may also be passed as four
//       arguments); an empty user is the session's, another one needs a super user's
//       session. Elements, each "Y" or "N" unless noted:
//         [0] may open the program     [1] may list data        [2] may queue jobs
//         [3] may run jobs directly    [4] may print            [5] may export
//         [6] super user               [7] data limit (text, empty: none)
//         [8] user name (text)
//       A super user has every right. A user without a rights row (ADMMR) for the program
//       gets "N" everywhere. Empty for an unknown or disabled user, or on failure.
//
//   SimpleSQL(sqlText, columnList, companyCode, databaseName [, params]) -> row set or Empty
//       companyCode and databaseName may be empty (the session's) or the session's; the
//       text may reach the session company's database and the system database, but not
//       the tables QueryScope.h keeps to their members (ADMMR rights, GENES schemes, ADMJB
//       and ADMJR jobs, ADMTC, ADMTD and ADMTO messages) nor the engine's own catalogue.
//       Runs one statement that only reads: the database engine's authorizer refuses
//       anything else when the statement is prepared (writes, PRAGMA, ATTACH, transactions,
//       load_extension, fts3_tokenizer, the engine's own tables), and the bounds above
//       hold. Every "$$" outside quoted text becomes "<databaseName>.." (the company
//       database of companyCode in ADMMC when databaseName is empty). The answer is a Variant array 0..r-1 of rows, each a
//       Variant array 0..c-1 of the values of the columns named in columnList
//       ("A,B,C", matched to the result columns by name without regard to case; an empty
//       list takes every column in statement order). Values: Null, Int, Int64, Double,
//       String, or Date for date-time columns. Empty when no row came back, and on any
//       failure (unknown column, syntax error, a second statement, a statement that
//       would change data).
//       params: a Variant array of [name, value] pairs bound to the placeholders :NAME
//       (the name with or without ":"). Values are always bound, never pasted into the
//       text: pass user input this way.
//
//   SimpleSQLParts(sqlText, columnList, companyCode, databaseName, params, receiver,
//                  partRows) -> Int or Empty
//       SimpleSQL whose answer is handed over in parts while the statement runs, so that
//       neither side holds it whole: receiver.Rows(part) is called for every partRows rows
//       (default 1000) and for the rest, each part in the shape of SimpleSQL's answer; the
//       receiver answers False to stop the statement. Answers how many rows were handed
//       over (0 when none came back); Empty on failure, also when the receiver raised. The
//       bounds hold for the whole answer; the receiver's time counts to QueryTimeOut, as the
//       statement runs while it takes a part. The receiver is an object of the caller's
//       process, so the member serves callers in the server's process only.
//
//   ErrorDescript() -> text
//       Why the last call of a member failed, in words for the user and the name of the
//       setting of a bound that was hit; empty when it succeeded.
//
//   ResultConnectString(companyCode, databaseName) -> text
//       Connection string for DbConnection::open: the system database as main (where
//       ADMTC and ADMTD are) with the session company's database attached under its name.
//       It never carries a password (on PostgreSQL the client's own PGPASSWORD or
//       ~/.pgpass), and is refused over the network. The empty text on failure.
//   QueueNotifications(requestNo) -> text: empty, or why not
//       Queues the completion notifications of the program of a direct run the server made
//       for the session's user (ExecSvrDLL, done), as a run in the client's process queues
//       them through ResultConnectString's connection.
//
// The job service (JobService.h). Numbers are "yyyymmdd" of the server's clock and a
// six-digit day counter ("20240304000017"), for jobs and direct requests alike. None of
// these members raises; ErrorDescript tells what the last of them found wrong.
//
//   Request(packet) -> text: the job number, or "ERROR"
//       packet [0] environment 1..12, [1] option texts 1..n ([caption, control name]),
//       [2] option values 1..n, and for a periodic job (slot 9 in lower case) [3] the
//       period value and [4] the date rules (JobRequest.h). The request is checked first;
//       a malformed one ("ERROR") stores nothing. Otherwise it is committed to the job
//       table before its number is answered, and the queue server (qvappserver) runs it:
//       run mode 0 and 1 as soon as it can, in order of the submission moment; mode 2 at
//       slot 11; a periodic job at NextScheduledDate of its start and on by its cycle.
//   Request1(packet, computerName) -> text: the request number, or "ERROR"
//       Registers a request that the client runs at once itself (the queue server never
//       takes it); it is "running" from now on, its run 1 started. Checked as Request.
//   ExecSvrDLL(requestNo, programCode, spare, companyCode, userCode, serverClassName,
//              jobKind, databaseName, values, count, jobNumber, productId) -> text
//       Runs the server library of a registered direct request (programCode + "S.so" in
//       the [WorkDLLPath] folders of BriskoS.ini) in this process with the packet of
//       platform/SvrController.h: values as the parameter packet, jobNumber as the extra
//       text (spare, serverClassName and count are not used). Answers the empty text
//       when the job succeeded, else the failure: the job's own error text, or why it
//       could not run (unknown request, another program, a run that ended already,
//       missing library, an exception). The request records the outcome (done or failed,
//       with the text) either way; ErrorDescript gives the same failure. requestNo and
//       values are not changed. Whichever of ExecSvrDLL and UpdateStatus1 gives the run
//       its outcome tells the recipients of the request (slot 12) once, as the queue does.
//   ErrorDescript() -> text: why this object's last call failed, a job-service call as
//       any other (above); empty when it succeeded.
//   UpdateStatus1(requestNo, messageTexts, dateTime[, summary]) -> text: empty, or an error text
//       Ends a direct run at dateTime (the server's clock when unreadable). When no
//       ExecSvrDLL recorded an outcome, the texts decide it: empty done, else failed with
//       them as the result; summary is what the client's own run did. After ExecSvrDLL the outcome stays and non-empty texts replace
//       the result text. The request number "ERROR" (any case) is accepted and changes
//       nothing.
//
//   ReverseWriteOff(companyCode, databaseName, batchNo, userCode) -> text: empty, or why not
//       Reverses the write-off batch "WOFB07-" + batchNo of the session's company
//       (WriteOffReversal.h) for the session's user (or, from a super user, the one named),
//       who must have the right to run WOFB07 directly (GetPower [0] and [3]); refused, with
//       nothing changed, when the batch's documents changed since its run.
//
//   WriteOffBatches(companyCode, databaseName[, most]) -> list of batches, or Empty
//       The write-off batches of the session's company, newest first, at most `most` of
//       them (none given, or below 1: QueryMaxRows), each a summary of
//       report/WriteOffBatchCodec.h: the run, who made it and when, direct or queued, the
//       totals by currency, the reversal. For a user who holds any right of WOFB07 (reading
//       what the job did needs no more); Empty, with ErrorDescript, when refused or failed.
//   WriteOffBatch(companyCode, databaseName, batchNo) -> record of the batch, or Empty
//       One batch of the session's company with every document and the transfer or refund
//       documents it made (WriteOffBatchCodec.h), for the same users. Empty for an unknown
//       batch, and for one of more documents than QueryMaxRows.
//
// Job libraries for the clients' new-file check (LibraryFiles.h); only files below the
// library folders ([WorkDLLPath]) are described or sent:
//   GetFileList(names) -> text: for each name held ("wofb07s.so", any case), the line
//       "<Modify>yyyymmddhhnnss</Modify><Path>folder/WOFB07S.so</Path>"; lines joined by
//       CR LF, the empty text when none is held.
//   DownLoadFile(remoteFile) -> AnsiString of the zip archive's bytes (code page 0), or
//       Empty when refused: remoteFile is "<folder>/<name>.zip" of a described file.
//       A request for anything else is refused, logged, and ErrorDescript says why.
//
// Condition schemes (SchemeStore.h), arrays by reference, each answering an error text
// that is empty on success:
//   LoadTable([userCode, programCode])       chooses the schemes pvdConSave answers
//   InsertConTable([name, user, "yyyymmdd", program, properties, values, replace])
//   DeleteConTable([name, user, program])
//   ChangeConName([old name, user, program], [new name, user, program])
//   AS_GetRecords(providerName) -> [field names 0..n-1, rows 0..r-1 or Empty], Empty on
//       failure. The one provider is "pvdConSave": the GENES records LoadTable chose.
//
// Tables the host's services read (see Schema.sql for every column)
//   ADMMS  settings matrix of a company: SELECT MS002, MS003 FROM ADMMS WHERE MS001 = :COMPANY
//   ADMMB  programs: MB002 name, MB005 "Y" = no direct processing, MB008 English name
//   QVRMA  users: MA001 code, MA002 name, MA003 mobile, MA004 mail
//   GENES  condition schemes; ADMMC companies; QVRINTMA portal settings
//   $$CMSMF currencies, $$PURMA suppliers, $$CMSMQ document types (MQ003 kind),
//   $$ACPTA / $$ACPTI / $$ACPTK documents, $$ACPLC write-off batches
//   ADMJB / ADMJR the job queue and its runs (written by the job service and the queue
//   server only)

#include "platform/Automation.h"
#include "support/JobClock.h"
#include "server/JobService.h"
#include "serverdb/ServerDatabase.h"
#include "server/SchemeStore.h"
#include "server/ServerSession.h"
#include "server/SessionGuard.h"

#include <functional>
#include <memory>
#include <string>

class ServerMetrics;

class TdmReportCounter : public DispatchObject {
public:
    static constexpr const char* ProgId = "ReportCounterS.dmReportCounter";

    // Databases as the server configuration names them.
    // Databases as the server configuration names them, for the session this process
    // signed on (SetProcessSignOn).
    TdmReportCounter();
    explicit TdmReportCounter(ServerDbSettings settings, ServerSession session = {});
    // The job service runs by clock (tests put it where they need it).
    TdmReportCounter(ServerDbSettings settings, std::shared_ptr<JobClock> clock, ServerSession session = {});
    // On a database the caller shares among the objects of one connection (calls of one
    // connection come one at a time).
    TdmReportCounter(std::shared_ptr<ServerDatabase> db, std::shared_ptr<JobClock> clock, ServerSession session);
    ~TdmReportCounter() override;

    int SQLType();
    Variant GetPower(const std::string& databaseName, const std::string& userCode,
                     const std::string& programCode);
    Variant SimpleSQL(const std::string& sqlText, const std::string& columnList,
                      const std::string& companyCode, const std::string& databaseName,
                      const Variant& params = Variant());
    Variant SimpleSQLParts(const std::string& sqlText, const std::string& columnList,
                           const std::string& companyCode, const std::string& databaseName,
                           const Variant& params, Variant receiver, int partRows);
    std::string ResultConnectString(const std::string& companyCode, const std::string& databaseName);
    std::string ReverseWriteOff(const std::string& companyCode, const std::string& databaseName,
                                const std::string& batchNo, const std::string& userCode);
    Variant WriteOffBatches(const std::string& companyCode, const std::string& databaseName, int most);
    Variant WriteOffBatch(const std::string& companyCode, const std::string& databaseName, const std::string& batchNo);
    JobService& jobs() { return *jobs_; }
    SchemeStore& schemes();
    Variant GetRecords(const std::string& providerName);
    std::string QueueNotifications(const std::string& requestNo);
    std::string ErrorDescript() const;
    const ServerSession& session() const { return guard_.session(); }
    // Counts the SimpleSQL calls and their refusals there (qvappserver --metrics).
    void countIn(ServerMetrics* metrics) { metrics_ = metrics; }

private:
    void defineMembers();
    void defineJobMembers();
    void defineSchemeMembers();
    // Why the session may not hand over this job request (direct: run it at once); empty
    // when it may, and when the packet is malformed (the job service says so).
    std::string admitRequest(const char* member, const Variant& packet, bool direct);
    // Why the session may not run or end the registered direct request; empty when it may,
    // with the user the run is for and the company database it reaches.
    struct DirectRun {
        std::string user, database;
    };
    std::string admitDirectRun(const char* member, const std::string& requestNo, const std::string& user,
                               const std::string& company, const std::string& database, DirectRun& run);
    // The session's company and a connection to its database, for a user who may read what
    // WOFB07 did; RightsError or DbError when not.
    struct BatchSource {
        std::string company;
        std::unique_ptr<DbConnection> database;
    };
    BatchSource batchSource(const char* member, const std::string& companyCode, const std::string& databaseName);
    // Answers "ERROR" with why for ErrorDescript.
    Variant refusedJob(const std::string& why);
    // Runs the statement of a SimpleSQL call and hands over each row of its answer
    // (columnList's columns in its order); take answers false to stop. Throws on failure.
    void queryRows(const char* member, const std::string& sqlText, const std::string& columnList, const std::string& companyCode,
                   const std::string& databaseName, const Variant& params,
                   const std::function<bool(Variant& row)>& take);
    // Counts a SimpleSQL call that failed as refused when a bound stopped it.
    void countRefusal(const std::exception& e) const;
    void logError(const std::string& member, const std::string& message);
    // Keeps and logs the reason of a failure; answers the kept text.
    std::string failed(const std::string& member, const std::exception& e, const std::string& sql = {});
    // Takes over the job service's outcome of the call that gave answer.
    Variant jobCall(Variant answer);

    std::shared_ptr<ServerDatabase> db_;
    SessionGuard guard_;
    std::unique_ptr<JobService> jobs_;
    std::unique_ptr<SchemeStore> schemes_;
    std::string lastError_;
    ServerMetrics* metrics_ = nullptr;
};

// Registers the ProgID for this process.
void RegisterReportCounterS();
// The session this process signed on (SetProcessSignOn): whom an object made in-process works for.
ServerSession ProcessServerSession();
