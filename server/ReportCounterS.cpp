#include "server/ReportCounterS.h"
#include "server/SchemeStore.h"
#include "server/WriteOffJob.h"
#include "server/ServerLog.h"
#include "server/LibraryFiles.h"

#include <algorithm>
#include <cctype>

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

Variant yn(bool b)
{
    return Variant(b ? "Y" : "N");
}

} // namespace

TdmReportCounter::TdmReportCounter() : TdmReportCounter(ServerDatabase::fromConfiguration()) {}

TdmReportCounter::TdmReportCounter(ServerDbSettings settings)
    : TdmReportCounter(std::move(settings), std::make_shared<SystemJobClock>())
{
}

TdmReportCounter::TdmReportCounter(ServerDbSettings settings, std::shared_ptr<JobClock> clock)
    : db_(std::make_unique<ServerDatabase>(std::move(settings))),
      jobs_(std::make_unique<JobService>(*db_, std::move(clock)))
{
    defineMembers();
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
    // The job service guards itself; reading an argument cannot raise either. Its own
    // last error becomes this object's, so ErrorDescript tells of whichever call came last.
    defineMethod("Request", [this](std::span<Variant> args) {
        return jobCall(Variant(jobs_->Request(optArg(args, 0))));
    });
    defineMethod("Request1", [this](std::span<Variant> args) {
        return jobCall(Variant(jobs_->Request1(optArg(args, 0), safeText(optArg(args, 1)))));
    });
    defineMethod("ExecSvrDLL", [this](std::span<Variant> args) {
        auto t = [&](std::size_t i) { return safeText(optArg(args, i)); };
        int productId = 3;
        try {
            productId = optArg(args, 11).isEmptyOrNull() ? 3 : optArg(args, 11).toInt();
        } catch (const std::exception&) {
        }
        return jobCall(
            Variant(jobs_->ExecSvrDLL(t(0), t(1), t(2), t(3), t(4), t(6), t(7), optArg(args, 8), t(10), productId)));
    });
    defineMethod("LastRunSummary", [this](std::span<Variant>) { return Variant(jobs_->LastRunSummary()); });
    defineMethod("UpdateStatus1", [this](std::span<Variant> args) {
        return jobCall(
            Variant(jobs_->UpdateStatus1(safeText(optArg(args, 0)), safeText(optArg(args, 1)), optArg(args, 2))));
    });
    defineMethod("ReverseWriteOff", [this](std::span<Variant> args) {
        return Variant(ReverseWriteOff(safeText(optArg(args, 0)), safeText(optArg(args, 1)), safeText(optArg(args, 2)),
                                       safeText(optArg(args, 3))));
    });
    defineMethod("ErrorDescript", [this](std::span<Variant>) { return Variant(ErrorDescript()); });
    // Condition schemes: arrays by reference, the answer an error text, empty on success.
    const auto schemeCall = [this](const char* member, auto&& body) {
        try {
            lastError_.clear();
            body(schemes());
            return Variant("");
        } catch (const std::exception& e) {
            return Variant(failed(member, e));
        }
    };
    defineMethod("LoadTable", [schemeCall](std::span<Variant> args) {
        return schemeCall("LoadTable", [&](SchemeStore& s) { s.LoadTable(optArg(args, 0)); });
    });
    defineMethod("InsertConTable", [schemeCall](std::span<Variant> args) {
        return schemeCall("InsertConTable", [&](SchemeStore& s) { s.InsertConTable(optArg(args, 0)); });
    });
    defineMethod("DeleteConTable", [schemeCall](std::span<Variant> args) {
        return schemeCall("DeleteConTable", [&](SchemeStore& s) { s.DeleteConTable(optArg(args, 0)); });
    });
    defineMethod("ChangeConName", [schemeCall](std::span<Variant> args) {
        return schemeCall("ChangeConName",
                          [&](SchemeStore& s) { s.ChangeConName(optArg(args, 0), optArg(args, 1)); });
    });
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
}

std::string TdmReportCounter::ReverseWriteOff(const std::string& companyCode, const std::string& databaseName,
                                              const std::string& batchNo, const std::string& userCode)
{
    lastError_.clear();
    // A reversal changes the books: only a user who may run the job directly makes one.
    const Variant power = GetPower(databaseName, userCode, "WOFB07");
    if (!power.isArray() || power.highBound() < 3 || power[3].toString() != "Y") {
        lastError_ = "The user " + userCode + " may not run WOFB07, so may not reverse its batches";
        logError("ReverseWriteOff", lastError_);
        return lastError_;
    }
    const WriteOffJobResult r = ReverseWriteOffJob(db_->settings(), companyCode, databaseName, batchNo, userCode);
    lastError_ = r.error;
    return r.error;
}

void TdmReportCounter::logError(const std::string& member, const std::string& message)
{
    WriteServerLog(std::string(ProgId) + "." + member + ": " + message);
}

std::string TdmReportCounter::failed(const std::string& member, const std::exception& e, const std::string& sql)
{
    lastError_ = e.what();
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
        const std::string user = trimmed(userCode);
        if (user.empty())
            return Variant();
        DbConnection& conn = db_->connection();
        const DbRowSet users = conn.query("SELECT MA002, MA005, MA007 FROM QVRMA WHERE MA001 = :USR",
                                          {{"USR", user}}, DbAccess::QueryOnly);
        if (users.empty() || textOf(users.rows[0][2]) != "Y")
            return Variant();
        const std::string name = textOf(users.rows[0][0]);
        const bool super = textOf(users.rows[0][1]) == "Y";

        Variant answer = Variant::array(0, 8);
        answer[6] = yn(super);
        answer[7] = "";
        answer[8] = name;
        if (super) {
            for (int i = 0; i <= 5; ++i)
                answer[i] = "Y";
            return answer;
        }
        const DbRowSet rights = conn.query(
            "SELECT MR003, MR004, MR005, MR006, MR007, MR008, MR009 FROM ADMMR "
            "WHERE MR001 = :USR AND UPPER(MR002) = :PROG",
            {{"USR", user}, {"PROG", upperText(trimmed(programCode))}}, DbAccess::QueryOnly);
        for (int i = 0; i <= 5; ++i)
            answer[i] = yn(!rights.empty() && textOf(rights.rows[0][std::size_t(i)]) == "Y");
        if (!rights.empty())
            answer[7] = textOf(rights.rows[0][6]);
        return answer;
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
    try {
        std::vector<Variant> rows;
        queryRows(sqlText, columnList, companyCode, databaseName, params, [&rows](Variant& row) {
            rows.push_back(std::move(row));
            return true;
        });
        if (rows.empty())
            return Variant();
        return Variant::list(std::move(rows));
    } catch (const std::exception& e) {
        failed("SimpleSQL", e, sqlText);
        return Variant();
    }
}

Variant TdmReportCounter::SimpleSQLParts(const std::string& sqlText, const std::string& columnList,
                                         const std::string& companyCode, const std::string& databaseName,
                                         const Variant& params, Variant receiver, int partRows)
{
    lastError_.clear();
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
        queryRows(sqlText, columnList, companyCode, databaseName, params, [&](Variant& row) {
            part.push_back(std::move(row));
            if (part.size() >= size)
                handOver();
            return more;
        });
        if (!part.empty() && more)
            handOver();
        return Variant(handed);
    } catch (const std::exception& e) {
        failed("SimpleSQLParts", e, sqlText);
        return Variant();
    }
}

void TdmReportCounter::queryRows(const std::string& sqlText, const std::string& columnList,
                                 const std::string& companyCode, const std::string& databaseName,
                                 const Variant& params, const std::function<bool(Variant& row)>& take)
{
    if (trimmed(sqlText).empty())
        throw DbError("No SQL text was given");
    std::string database = trimmed(databaseName);
    if (database.empty())
        database = db_->companyDatabase(companyCode);
    std::string sql = sqlText;
    bool usesCompany = false;
    if (HasTablePrefix(sqlText)) {
        if (database.empty())
            throw DbError("No company database for the table prefix $$ (company \"" + companyCode + "\")");
        sql = ResolveTablePrefix(sqlText, database);
        usesCompany = true;
    }
    if (!database.empty()) {
        for (const std::string& name : QualifyingDatabaseNames(sql))
            usesCompany = usesCompany || upperText(name) == upperText(database);
        // The company database is attached only for a statement that reads it, so that
        // one another program keeps locked does not stand in the way of the system's tables.
        if (usesCompany)
            db_->useCompanyDatabase(database);
        else
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
        std::string database = trimmed(databaseName);
        if (database.empty())
            database = db_->companyDatabase(companyCode);
        if (database.empty())
            throw DbError("No company database for company \"" + companyCode + "\"");
        return db_->connectString(database);
    } catch (const std::exception& e) {
        failed("ResultConnectString", e);
        return {};
    }
}

void RegisterReportCounterS()
{
    RegisterOleClass(TdmReportCounter::ProgId, [] { return std::make_shared<TdmReportCounter>(); });
}
