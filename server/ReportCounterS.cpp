#include "server/ReportCounterS.h"

#include "platform/AsciiText.h"
#include "wire/RemoteClient.h"
#include "server/JobRequest.h"
#include "server/JobStore.h"
#include "server/LibraryFiles.h"
#include "server/SchemeStore.h"
#include "server/ServerMetrics.h"
#include "support/ServerLog.h"
#include "server/UserRights.h"
#include "writeoffserver/WriteOffBatches.h"
#include "writeoffserver/WriteOffJob.h"
#include "report/WriteOffBatchCodec.h"
#include "support/NotificationQueue.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace {

std::string trimmed(std::string_view s)
{
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos)
        return {};
    return std::string(s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1));
}

std::string upperText(std::string_view s)
{
    std::string r(s);
    for (char& c : r)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

std::string textOf(const Variant& v)
{
    return v.isEmptyOrNull() ? std::string() : v.toString();
}

std::vector<std::string> splitColumns(std::string_view list)
{
    std::vector<std::string> names;
    if (trimmed(list).empty())
        return names;
    std::size_t i = 0;
    for (;;) {
        const std::size_t comma = list.find(',', i);
        const std::string name = trimmed(list.substr(i, comma == std::string_view::npos ? std::string_view::npos : comma - i));
        if (name.empty())
            throw DbError("The column list \"" + std::string(list) + "\" has an empty name");
        names.push_back(name);
        if (comma == std::string_view::npos)
            break;
        i = comma + 1;
    }
    return names;
}

// [[name, value], ...] -> bound values.
DbParams paramsOf(const Variant& params)
{
    DbParams out;
    if (params.isEmptyOrNull())
        return out;
    if (!params.isArray() || params.dimCount() != 1)
        throw DbError("The parameters must be an array of [name, value] pairs");
    for (int i = params.lowBound(); i <= params.highBound(); ++i) {
        const Variant& pair = params[i];
        if (!pair.isArray() || pair.dimCount() != 1 || pair.count() != 2)
            throw DbError("Parameter " + std::to_string(i) + " is not a [name, value] pair");
        const std::string name = trimmed(pair[pair.lowBound()].toString());
        if (name.empty())
            throw DbError("Parameter " + std::to_string(i) + " has no name");
        out.emplace_back(name, pair[pair.lowBound() + 1]);
    }
    return out;
}

// Arguments that should be texts; anything else reads as the empty text.
std::string safeText(const Variant& v)
{
    try {
        return v.isEmptyOrNull() || v.isArray() || v.isDispatch() ? std::string() : v.toString();
    } catch (const std::exception&) {
        return {};
    }
}

} // namespace

ServerSession ProcessServerSession()
{
    ServerSession session;
    ProcessSignOn(session.user, session.company);
    session.peer = "this process";
    return session;
}

TdmReportCounter::TdmReportCounter() : TdmReportCounter(ServerDatabase::fromConfiguration(), ProcessServerSession()) {}

TdmReportCounter::TdmReportCounter(ServerDbSettings settings, ServerSession session)
    : TdmReportCounter(std::move(settings), std::make_shared<SystemJobClock>(), std::move(session))
{
}

TdmReportCounter::TdmReportCounter(ServerDbSettings settings, std::shared_ptr<JobClock> clock, ServerSession session)
    : TdmReportCounter(std::make_shared<ServerDatabase>(std::move(settings)), std::move(clock), std::move(session))
{
}

TdmReportCounter::TdmReportCounter(std::shared_ptr<ServerDatabase> db, std::shared_ptr<JobClock> clock,
                                   ServerSession session)
    : db_(std::move(db)), guard_(std::move(session), *db_), jobs_(std::make_unique<JobService>(*db_, std::move(clock)))
{
    defineMembers();
    defineJobMembers();
    defineSchemeMembers();
}

TdmReportCounter::~TdmReportCounter() = default;

void TdmReportCounter::defineMembers()
{
    // Arguments are read inside each member's guard: a caller's wrong argument is a
    // failure like any other and never raises back.
    defineMethod("SQLType", [this](std::span<Variant>) { return Variant(SQLType()); });
    defineMethod("GetPower", [this](std::span<Variant> args) {
        try {
            const Variant first = optArg(args, 0);
            if (first.isArray()) {
                const int lo = first.lowBound();
                auto at = [&](int k) { return k + lo <= first.highBound() ? textOf(first[lo + k]) : std::string(); };
                return GetPower(at(0), at(1), at(2));
            }
            return GetPower(textOf(first), textOf(optArg(args, 1)), textOf(optArg(args, 2)));
        } catch (const std::exception& e) {
            failed("GetPower", e);
            return Variant();
        }
    });
    defineMethod("SimpleSQL", [this](std::span<Variant> args) {
        try {
            return SimpleSQL(textOf(optArg(args, 0)), textOf(optArg(args, 1)), textOf(optArg(args, 2)),
                             textOf(optArg(args, 3)), optArg(args, 4));
        } catch (const std::exception& e) {
            failed("SimpleSQL", e);
            return Variant();
        }
    });
    defineMethod("SimpleSQLParts", [this](std::span<Variant> args) {
        int partRows = 0;
        try {
            partRows = optArg(args, 6).isEmptyOrNull() ? 0 : optArg(args, 6).toInt();
        } catch (const std::exception&) {
        }
        try {
            return SimpleSQLParts(textOf(optArg(args, 0)), textOf(optArg(args, 1)), textOf(optArg(args, 2)),
                                  textOf(optArg(args, 3)), optArg(args, 4), optArg(args, 5), partRows);
        } catch (const std::exception& e) {
            failed("SimpleSQLParts", e);
            return Variant();
        }
    });
    defineMethod("ReverseWriteOff", [this](std::span<Variant> args) {
        return Variant(ReverseWriteOff(safeText(optArg(args, 0)), safeText(optArg(args, 1)), safeText(optArg(args, 2)),
                                       safeText(optArg(args, 3))));
    });
    defineMethod("WriteOffBatches", [this](std::span<Variant> args) {
        int most = 0;
        try {
            most = optArg(args, 2).isEmptyOrNull() ? 0 : optArg(args, 2).toInt();
        } catch (const std::exception&) {
        }
        return WriteOffBatches(safeText(optArg(args, 0)), safeText(optArg(args, 1)), most);
    });
    defineMethod("WriteOffBatch", [this](std::span<Variant> args) {
        return WriteOffBatch(safeText(optArg(args, 0)), safeText(optArg(args, 1)), safeText(optArg(args, 2)));
    });
    defineMethod("ErrorDescript", [this](std::span<Variant>) { return Variant(ErrorDescript()); });
    // The records a provider of this server gives a client data set: [field names, rows].
    defineMethod("AS_GetRecords", [this](std::span<Variant> args) {
        try {
            lastError_.clear();
            return GetRecords(textOf(optArg(args, 0)));
        } catch (const std::exception& e) {
            failed("AS_GetRecords", e);
            return Variant();
        }
    });
    // The job libraries this server holds, for the clients' new-file check.
    defineMethod("GetFileList", [this](std::span<Variant> args) {
        lastError_.clear();
        const Variant names = optArg(args, 0);
        std::vector<Variant> items = names.isArray() && names.dimCount() == 1 ? names.elements() : std::vector<Variant>{names};
        std::string answer;
        for (const Variant& name : items) {
            const std::string description = DescribeLibraryFile(db_->settings().libraryFolders, safeText(name));
            if (description.empty())
                continue;
            if (!answer.empty())
                answer += "\r\n";
            answer += description;
        }
        return Variant(answer);
    });
    defineMethod("DownLoadFile", [this](std::span<Variant> args) {
        try {
            lastError_.clear();
            return Variant::ansi(ZipLibraryFile(db_->settings().libraryFolders, safeText(optArg(args, 0))), 0);
        } catch (const std::exception& e) {
            failed("DownLoadFile", e);
            return Variant();
        }
    });
    defineMethod("ResultConnectString", [this](std::span<Variant> args) {
        try {
            return Variant(ResultConnectString(textOf(optArg(args, 0)), textOf(optArg(args, 1))));
        } catch (const std::exception& e) {
            failed("ResultConnectString", e);
            return Variant("");
        }
    });
    defineMethod("QueueNotifications", [this](std::span<Variant> args) {
        return Variant(QueueNotifications(safeText(optArg(args, 0))));
    });
}

void TdmReportCounter::defineJobMembers()
{
    // The job service guards itself; reading an argument cannot raise either. Its own
    // last error becomes this object's, so ErrorDescript tells of whichever call came last.
    defineMethod("Request", [this](std::span<Variant> args) {
        const Variant packet = optArg(args, 0);
        if (const std::string why = admitRequest("Request", packet, false); !why.empty())
            return refusedJob(why);
        return jobCall(Variant(jobs_->Request(packet)));
    });
    defineMethod("Request1", [this](std::span<Variant> args) {
        const Variant packet = optArg(args, 0);
        if (const std::string why = admitRequest("Request1", packet, true); !why.empty())
            return refusedJob(why);
        return jobCall(Variant(jobs_->Request1(packet, safeText(optArg(args, 1)))));
    });
    defineMethod("ExecSvrDLL", [this](std::span<Variant> args) {
        auto t = [&](std::size_t i) { return safeText(optArg(args, i)); };
        int productId = 3;
        try {
            productId = optArg(args, 11).isEmptyOrNull() ? 3 : optArg(args, 11).toInt();
        } catch (const std::exception&) {
        }
        DirectRun run;
        if (const std::string why = admitDirectRun("ExecSvrDLL", t(0), t(4), t(3), t(7), run); !why.empty()) {
            lastError_ = why;
            return Variant(why);
        }
        // The library works for the session, whatever company the arguments named.
        const std::string company = session().company.empty() ? t(3) : session().company;
        return jobCall(Variant(jobs_->ExecSvrDLL(t(0), t(1), t(2), company, run.user, t(6), run.database,
                                                 optArg(args, 8), t(10), productId)));
    });
    defineMethod("LastRunSummary", [this](std::span<Variant>) { return Variant(jobs_->LastRunSummary()); });
    defineMethod("UpdateStatus1", [this](std::span<Variant> args) {
        const std::string requestNo = safeText(optArg(args, 0));
        DirectRun run;
        if (!SameTextAscii(trimmed(requestNo), "ERROR"))
            if (const std::string why = admitDirectRun("UpdateStatus1", requestNo, "", "", "", run); !why.empty()) {
                lastError_ = why;
                return Variant(why);
            }
        return jobCall(Variant(
            jobs_->UpdateStatus1(requestNo, safeText(optArg(args, 1)), optArg(args, 2), safeText(optArg(args, 3)))));
    });
}

void TdmReportCounter::defineSchemeMembers()
{
    // Condition schemes: arrays by reference, the answer an error text, empty on success.
    // Each names its user at a place of its keys: that user must be the session's.
    const auto schemeCall = [this](const char* member, auto&& body) {
        try {
            lastError_.clear();
            body(schemes());
            return Variant("");
        } catch (const std::exception& e) {
            return Variant(failed(member, e));
        }
    };
    const auto ownUser = [this](const char* member, const Variant& keys, int place) {
        const bool has = keys.isArray() && keys.dimCount() == 1 && place < keys.count();
        guard_.actFor(member, has ? safeText(keys[keys.lowBound() + place]) : std::string());
    };
    defineMethod("LoadTable", [schemeCall, ownUser](std::span<Variant> args) {
        return schemeCall("LoadTable", [&](SchemeStore& s) {
            ownUser("LoadTable", optArg(args, 0), 0);
            s.LoadTable(optArg(args, 0));
        });
    });
    defineMethod("InsertConTable", [schemeCall, ownUser](std::span<Variant> args) {
        return schemeCall("InsertConTable", [&](SchemeStore& s) {
            ownUser("InsertConTable", optArg(args, 0), 1);
            s.InsertConTable(optArg(args, 0));
        });
    });
    defineMethod("DeleteConTable", [schemeCall, ownUser](std::span<Variant> args) {
        return schemeCall("DeleteConTable", [&](SchemeStore& s) {
            ownUser("DeleteConTable", optArg(args, 0), 1);
            s.DeleteConTable(optArg(args, 0));
        });
    });
    defineMethod("ChangeConName", [schemeCall, ownUser](std::span<Variant> args) {
        return schemeCall("ChangeConName", [&](SchemeStore& s) {
            ownUser("ChangeConName", optArg(args, 0), 1);
            ownUser("ChangeConName", optArg(args, 1), 1);
            s.ChangeConName(optArg(args, 0), optArg(args, 1));
        });
    });
}

std::string TdmReportCounter::admitRequest(const char* member, const Variant& packet, bool direct)
{
    JobRequest r;
    try {
        r = ReadJobRequest(packet);
    } catch (const std::exception&) {
        return {}; // the job service tells what is wrong with it
    }
    try {
        const std::string user = guard_.actFor(member, r.userCode);
        guard_.database(member, r.companyCode, r.databaseName);
        if (direct)
            guard_.requireDirect(member, user, r.programCode);
        else
            guard_.requireQueue(member, user, r.programCode);
        return {};
    } catch (const std::exception& e) {
        return std::string("The request was not accepted: ") + e.what();
    }
}

std::string TdmReportCounter::admitDirectRun(const char* member, const std::string& requestNo,
                                             const std::string& user, const std::string& company,
                                             const std::string& database, DirectRun& run)
{
    try {
        const std::string acting = guard_.actFor(member, user);
        run.user = acting;
        run.database = guard_.database(member, company, database);
        const std::optional<JobRecord> job = JobStore(db_->connection()).find(trimmed(requestNo));
        // Not knowing the request is the job service's to say; whose it is, ours.
        if (!job)
            return {};
        if (!SameTextAscii(job->ownerCode, acting) ||
            (!session().company.empty() && !SameTextAscii(job->companyCode, session().company)))
            return "The request " + requestNo + " is not a request of user " + acting + " of this company";
        guard_.requireDirect(member, acting, job->programCode);
        return {};
    } catch (const std::exception& e) {
        return e.what();
    }
}

Variant TdmReportCounter::refusedJob(const std::string& why)
{
    lastError_ = why;
    return Variant("ERROR");
}

std::string TdmReportCounter::ReverseWriteOff(const std::string& companyCode, const std::string& databaseName,
                                              const std::string& batchNo, const std::string& userCode)
{
    lastError_.clear();
    std::string user, database;
    try {
        user = guard_.actFor("ReverseWriteOff", userCode);
        database = guard_.database("ReverseWriteOff", companyCode, databaseName);
        // A reversal changes the books: only a user who may run the job directly makes one.
        guard_.requireDirect("ReverseWriteOff", user, "WOFB07");
    } catch (const std::exception& e) {
        return failed("ReverseWriteOff", e);
    }
    const std::string company = session().company.empty() ? companyCode : session().company;
    const WriteOffJobResult r = ReverseWriteOffJob(db_->settings(), company, database, batchNo, user);
    lastError_ = r.error;
    return r.error;
}

TdmReportCounter::BatchSource TdmReportCounter::batchSource(const char* member, const std::string& companyCode,
                                                             const std::string& databaseName)
{
    const std::string user = guard_.actFor(member, "");
    const std::string database = guard_.database(member, companyCode, databaseName);
    // Looking back on what the job did changes nothing: any right of the job will do.
    guard_.requireAnyRight(member, user, "WOFB07");
    const std::string company = session().company.empty() ? trimmed(companyCode) : session().company;
    if (database.empty() || SameTextAscii(database, db_->settings().systemDb) || !db_->databaseExists(database))
        throw DbError("Company " + company + " has no company database" + (database.empty() ? "" : " " + database));
    return {company, db_->openDatabase(database)};
}

Variant TdmReportCounter::WriteOffBatches(const std::string& companyCode, const std::string& databaseName, int most)
{
    lastError_.clear();
    try {
        BatchSource source = batchSource("WriteOffBatches", companyCode, databaseName);
        const std::int64_t bound = db_->settings().limits.rows;
        std::size_t count = most > 0 ? std::size_t(most) : std::size_t(-1);
        if (bound > 0)
            count = std::min(count, std::size_t(bound));
        return BatchListValue(
            ReadWriteOffBatches(WriteOffBatchSource{*source.database, db_->connection(), source.company}, count));
    } catch (const std::exception& e) {
        failed("WriteOffBatches", e);
        return Variant();
    }
}

Variant TdmReportCounter::WriteOffBatch(const std::string& companyCode, const std::string& databaseName,
                                        const std::string& batchNo)
{
    lastError_.clear();
    try {
        BatchSource source = batchSource("WriteOffBatch", companyCode, databaseName);
        const std::int64_t bound = db_->settings().limits.rows;
        return BatchRecordValue(ReadWriteOffBatch(WriteOffBatchSource{*source.database, db_->connection(), source.company},
                                                  batchNo, bound > 0 ? std::size_t(bound) : 0));
    } catch (const std::exception& e) {
        failed("WriteOffBatch", e);
        return Variant();
    }
}

void TdmReportCounter::logError(const std::string& member, const std::string& message)
{
    WriteServerLog(std::string(ProgId) + "." + member + ": " + message);
}

std::string TdmReportCounter::failed(const std::string& member, const std::exception& e, const std::string& sql)
{
    lastError_ = e.what();
    if (dynamic_cast<const RightsError*>(&e))
        return lastError_; // the guard logged it with the session
    if (const auto* db = dynamic_cast<const DbError*>(&e)) {
        // Whoever looks after the server learns which setting bounds what was hit.
        const char* setting = nullptr;
        switch (db->kind()) {
        case DbErrorKind::Busy:
            setting = "BusyTimeOut";
            break;
        case DbErrorKind::TimeLimit:
            setting = "QueryTimeOut";
            break;
        case DbErrorKind::RowLimit:
            setting = "QueryMaxRows";
            break;
        case DbErrorKind::ByteLimit:
            setting = "QueryMaxBytes";
            break;
        case DbErrorKind::MemoryLimit:
            setting = "QueryMaxMemory";
            break;
        default:
            break;
        }
        if (setting)
            lastError_ += std::string(" (") + setting + " in BriskoS.ini)";
    }
    logError(member, sql.empty() ? lastError_ : lastError_ + "\r\nSQL: " + sql);
    return lastError_;
}

void TdmReportCounter::countRefusal(const std::exception& e) const
{
    if (!metrics_)
        return;
    // The reasons of ServerMetrics: the bounds of a statement and what a session may not read.
    const char* reason = nullptr;
    if (dynamic_cast<const RightsError*>(&e)) {
        reason = "not_allowed";
    } else if (const auto* db = dynamic_cast<const DbError*>(&e)) {
        switch (db->kind()) {
        case DbErrorKind::RowLimit:
            reason = "rows";
            break;
        case DbErrorKind::ByteLimit:
            reason = "bytes";
            break;
        case DbErrorKind::MemoryLimit:
            reason = "memory";
            break;
        case DbErrorKind::TimeLimit:
            reason = "time";
            break;
        case DbErrorKind::Refused:
            reason = "not_allowed";
            break;
        default:
            break;
        }
    }
    if (reason)
        metrics_->simpleSqlRefused(reason);
}

Variant TdmReportCounter::jobCall(Variant answer)
{
    lastError_ = jobs_->ErrorDescript();
    return answer;
}

SchemeStore& TdmReportCounter::schemes()
{
    if (!schemes_)
        schemes_ = std::make_unique<SchemeStore>(db_->connection(), db_->settings().dbCodePage);
    return *schemes_;
}

Variant TdmReportCounter::GetRecords(const std::string& providerName)
{
    if (upperText(trimmed(providerName)) != upperText(SchemeStore::ProviderName))
        throw DbError("This server has no provider named \"" + providerName + "\"");
    return schemes().records();
}

std::string TdmReportCounter::ErrorDescript() const
{
    return lastError_;
}

int TdmReportCounter::SQLType()
{
    const std::string type = upperText(trimmed(db_->settings().dbType));
    if (type == "ORACLE")
        return 1;
    if (type == "DB2")
        return 2;
    if (type == "SQLITE")
        return 3;
    if (type == "POSTGRESQL" || type == "PGSQL")
        return 4;
    return 0;
}

Variant TdmReportCounter::GetPower(const std::string& databaseName, const std::string& userCode,
                                   const std::string& programCode)
{
    (void)databaseName; // rights are kept per user and program, the same in every company
    lastError_.clear();
    try {
        return ReadUserRights(db_->connection(), guard_.actFor("GetPower", userCode), programCode).powerArray();
    } catch (const std::exception& e) {
        failed("GetPower", e);
        return Variant();
    }
}

Variant TdmReportCounter::SimpleSQL(const std::string& sqlText, const std::string& columnList,
                                    const std::string& companyCode, const std::string& databaseName,
                                    const Variant& params)
{
    lastError_.clear();
    if (metrics_)
        metrics_->simpleSqlCall();
    try {
        std::vector<Variant> rows;
        queryRows("SimpleSQL", sqlText, columnList, companyCode, databaseName, params, [&rows](Variant& row) {
            rows.push_back(std::move(row));
            return true;
        });
        if (rows.empty())
            return Variant();
        return Variant::list(std::move(rows));
    } catch (const std::exception& e) {
        countRefusal(e);
        failed("SimpleSQL", e, sqlText);
        return Variant();
    }
}

Variant TdmReportCounter::SimpleSQLParts(const std::string& sqlText, const std::string& columnList,
                                         const std::string& companyCode, const std::string& databaseName,
                                         const Variant& params, Variant receiver, int partRows)
{
    lastError_.clear();
    if (metrics_)
        metrics_->simpleSqlCall();
    try {
        if (!receiver.isDispatch())
            throw DbError("SimpleSQLParts needs an object of the caller's process to take the rows");
        const std::size_t size = std::size_t(partRows > 0 ? partRows : 1000);
        std::vector<Variant> part;
        std::int64_t handed = 0;
        bool more = true;
        // A part goes as soon as it is full; the receiver answers False to stop the statement.
        const auto handOver = [&] {
            const std::size_t n = part.size();
            std::vector<Variant> call{Variant::list(std::move(part))};
            part.clear();
            part.reserve(size);
            handed += std::int64_t(n);
            const Variant answer = receiver.invoke("Rows", call);
            more = !(answer.type() == VarType::Bool && !answer.toBool());
        };
        part.reserve(size);
        queryRows("SimpleSQLParts", sqlText, columnList, companyCode, databaseName, params, [&](Variant& row) {
            part.push_back(std::move(row));
            if (part.size() >= size)
                handOver();
            return more;
        });
        if (!part.empty() && more)
            handOver();
        return Variant(handed);
    } catch (const std::exception& e) {
        countRefusal(e);
        failed("SimpleSQLParts", e, sqlText);
        return Variant();
    }
}

void TdmReportCounter::queryRows(const char* member, const std::string& sqlText, const std::string& columnList,
                                 const std::string& companyCode, const std::string& databaseName,
                                 const Variant& params, const std::function<bool(Variant& row)>& take)
{
    if (trimmed(sqlText).empty())
        throw DbError("No SQL text was given");
    const std::string database = guard_.database(member, companyCode, databaseName);
    std::string sql = sqlText;
    bool usesCompany = false;
    if (HasTablePrefix(sqlText)) {
        if (database.empty())
            throw DbError("No company database for the table prefix $$ (company \"" + companyCode + "\")");
        sql = ResolveTablePrefix(sqlText, database);
        usesCompany = true;
    }
    guard_.checkQuery(member, sql, database);
    if (!database.empty()) {
        for (const std::string& name : QualifyingDatabaseNames(sql))
            usesCompany = usesCompany || upperText(name) == upperText(database);
        // The company database is attached only for a statement that reads it, so that
        // one another program keeps locked does not stand in the way of the system's tables;
        // one the caller named must at least be there.
        if (usesCompany)
            db_->useCompanyDatabase(database);
        else if (!trimmed(companyCode).empty() || !trimmed(databaseName).empty())
            db_->requireDatabase(database);
    }
    const std::vector<std::string> wanted = splitColumns(columnList);
    const DbParams bound = paramsOf(params);

    std::vector<std::string> columns;
    std::vector<int> pick;
    std::vector<bool> movable;
    db_->connection().forEachRow(
        sql, bound,
        [&](std::vector<Variant>& values) {
            if (pick.empty()) {
                if (wanted.empty()) {
                    for (std::size_t i = 0; i < columns.size(); ++i)
                        pick.push_back(int(i));
                }
                for (const std::string& w : wanted) {
                    int found = -1;
                    for (std::size_t i = 0; i < columns.size() && found < 0; ++i)
                        if (upperText(columns[i]) == upperText(w))
                            found = int(i);
                    if (found < 0)
                        throw DbError("The result has no column " + w);
                    pick.push_back(found);
                }
                // A column named twice is copied but for its last place.
                for (std::size_t i = 0; i < pick.size(); ++i)
                    movable.push_back(std::find(pick.begin() + std::ptrdiff_t(i) + 1, pick.end(), pick[i]) == pick.end());
            }
            Variant row = Variant::array(0, int(pick.size()) - 1);
            for (std::size_t i = 0; i < pick.size(); ++i)
                row[int(i)] = movable[i] ? std::move(values[std::size_t(pick[i])]) : values[std::size_t(pick[i])];
            return take(row);
        },
        DbAccess::QueryOnly, &columns);
}

std::string TdmReportCounter::ResultConnectString(const std::string& companyCode, const std::string& databaseName)
{
    lastError_.clear();
    try {
        // A desk elsewhere has no business with the server's files or database logins.
        if (session().remote)
            throw RightsError("ResultConnectString is not served over the network");
        const std::string database = guard_.database("ResultConnectString", companyCode, databaseName);
        if (database.empty())
            throw DbError("No company database for company \"" + companyCode + "\"");
        return db_->connectString(database);
    } catch (const std::exception& e) {
        if (dynamic_cast<const RightsError*>(&e))
            logError("ResultConnectString", std::string("refused for ") + session().who() + ": " + e.what());
        failed("ResultConnectString", e);
        return {};
    }
}

std::string TdmReportCounter::QueueNotifications(const std::string& requestNo)
{
    lastError_.clear();
    try {
        DirectRun run;
        if (std::string why = admitDirectRun("QueueNotifications", requestNo, "", "", "", run); !why.empty())
            throw RightsError(why);
        const std::optional<JobRecord> job = JobStore(db_->connection()).find(trimmed(requestNo));
        if (!job || job->entry != "D" || job->status != "done")
            throw RightsError("The request " + requestNo + " is no direct run of this server that has succeeded");
        db_->useCompanyDatabase(run.database);
        const NotificationOutcome out = QueueProgramNotifications(db_->connection(), run.database, job->programCode,
                                                                  run.user, job->companyCode);
        std::string failures;
        for (const std::string& f : out.failures)
            failures += (failures.empty() ? "" : "; ") + f;
        lastError_ = failures;
        return failures;
    } catch (const std::exception& e) {
        return failed("QueueNotifications", e);
    }
}

void RegisterReportCounterS()
{
    RegisterOleClass(TdmReportCounter::ProgId, [] { return std::make_shared<TdmReportCounter>(); });
}
