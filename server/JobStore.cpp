#include "server/JobStore.h"

#include "wire/VariantStream.h"
#include "support/JobClock.h"
#include "serverdb/Schema.h"

#include <cstdio>

namespace {

constexpr const char* kJobColumns =
    "JB001, JB002, JB003, JB004, JB005, JB006, JB007, JB008, JB009, JB010, JB011, JB012, JB013, JB014, JB015, "
    "JB016, JB017, JB018, JB019, JB020, JB021, JB022, JB023, JB024, JB025";

// A collision can only come from a database that lets two writers number at once.
constexpr int kNumberAttempts = 20;

std::string str(const Variant& v)
{
    return VarToStr(v);
}

int num(const Variant& v)
{
    return v.isEmptyOrNull() ? 0 : v.toInt();
}

Variant stored(const Variant& v)
{
    return v.isEmpty() ? Variant(std::string()) : Variant(EncodeVariantText(v));
}

Variant unstored(const Variant& v)
{
    const std::string s = str(v);
    return s.empty() ? Variant() : DecodeVariantText(s);
}

JobRecord recordOf(const std::vector<Variant>& r)
{
    JobRecord j;
    j.number = str(r[0]);
    j.entry = str(r[1]);
    j.programCode = str(r[2]);
    j.ownerCode = str(r[3]);
    j.companyCode = str(r[4]);
    j.databaseName = str(r[5]);
    j.jobKind = str(r[6]);
    j.runMode = num(r[7]);
    j.due = str(r[8]);
    j.status = str(r[9]);
    j.packet = unstored(r[10]);
    j.period = unstored(r[11]);
    j.rules = unstored(r[12]);
    j.recipients = str(r[13]);
    j.serverClassName = str(r[14]);
    j.submitted = str(r[15]);
    j.computer = str(r[16]);
    j.runsDone = num(r[17]);
    j.interruptions = num(r[18]);
    j.runBy = str(r[19]);
    j.cancelAsked = str(r[20]) == "Y";
    j.lastResult = str(r[21]);
    j.lastEnd = str(r[22]);
    j.cancelledAt = str(r[23]);
    j.leaseUntil = str(r[24]);
    return j;
}

} // namespace

JobStore::JobStore(DbConnection& db) : db_(db) {}

void JobStore::EnsureTables(DbConnection& db)
{
    db.executeScript(SchemaPart("system", "jobs"));
    // Columns later versions added, for a system database made before them.
    const struct {
        const char* table;
        const char* column;
        const char* definition;
    } added[] = {{"ADMJB", "JB025", "VARCHAR(17) NOT NULL DEFAULT ''"}, {"ADMJR", "JR011", "TEXT NOT NULL DEFAULT ''"}};
    for (const auto& a : added) {
        try {
            db.query(std::string("SELECT ") + a.column + " FROM " + a.table + " WHERE 1 = 0");
        } catch (const DbError&) {
            db.execute(std::string("ALTER TABLE ") + a.table + " ADD " + a.column + " " + a.definition);
        }
    }
}

std::string JobStore::nextNumber(const std::string& day)
{
    const Variant top = db_.scalar("SELECT MAX(JB001) FROM ADMJB WHERE JB001 >= :LO AND JB001 <= :HI",
                                   {{"LO", day + "000000"}, {"HI", day + "999999"}});
    if (top.isEmptyOrNull())
        return day + "000001";
    const long counter = std::stol(str(top).substr(8)) + 1;
    if (counter > 999999)
        throw DbError("The job numbers of " + day + " are used up");
    char buf[24];
    std::snprintf(buf, sizeof buf, "%06ld", counter);
    return day + buf;
}

std::string JobStore::add(const JobRequest& request, const std::string& entry, double now, const std::string& due,
                          const std::string& status, const std::string& computer)
{
    const std::string stamp = MomentStamp(now);
    // Encoded before the transaction, so that the write lock is held for the writes alone.
    const Variant packet = stored(request.packet);
    const Variant period = request.periodic ? stored(request.periodValue()) : Variant(std::string());
    const Variant rules = request.periodic ? stored(request.dateRules()) : Variant(std::string());
    for (int attempt = 1;; ++attempt) {
        try {
            DbTransaction tx(db_, DbTransaction::Write);
            const std::string number = nextNumber(stamp.substr(0, 8));
            db_.execute("INSERT INTO ADMJB (" + std::string(kJobColumns)
                            + ") VALUES (:JB001, :JB002, :JB003, :JB004, :JB005, :JB006, :JB007, :JB008, :JB009, "
                              ":JB010, :JB011, :JB012, :JB013, :JB014, :JB015, :JB016, :JB017, 0, 0, :JB020, 'N', '', "
                              "'', '', '')",
                        {{"JB001", number},
                         {"JB002", entry},
                         {"JB003", request.programCode},
                         {"JB004", request.userCode},
                         {"JB005", request.companyCode},
                         {"JB006", request.databaseName},
                         {"JB007", request.jobKind},
                         {"JB008", request.runMode},
                         {"JB009", due},
                         {"JB010", status},
                         {"JB011", packet},
                         {"JB012", period},
                         {"JB013", rules},
                         {"JB014", request.recipients},
                         {"JB015", request.serverClassName},
                         {"JB016", stamp},
                         {"JB017", computer},
                         {"JB020", entry == "D" ? computer : std::string()}});
            if (entry == "D")
                db_.execute("INSERT INTO ADMJR (JR001, JR002, JR003, JR004, JR005, JR006, JR007, JR008, JR009, JR010) "
                            "VALUES (:NO, 1, 1, :AT, :AT, '', 'running', '', :BY, 'D')",
                            {{"NO", number}, {"AT", stamp}, {"BY", computer}});
            tx.commit();
            return number;
        } catch (const DbError& e) {
            if (e.kind() != DbErrorKind::UniqueViolation || attempt >= kNumberAttempts)
                throw;
        }
    }
}

std::string JobStore::addQueued(const JobRequest& request, double now, double due)
{
    return add(request, "Q", now, MomentStamp(due), "queued", {});
}

std::string JobStore::addDirect(const JobRequest& request, double now, const std::string& computer)
{
    return add(request, "D", now, {}, "running", computer);
}

std::optional<JobRecord> JobStore::find(const std::string& number)
{
    const DbRowSet rows =
        db_.query("SELECT " + std::string(kJobColumns) + " FROM ADMJB WHERE JB001 = :NO", {{"NO", number}});
    if (rows.empty())
        return std::nullopt;
    return recordOf(rows.rows[0]);
}

std::vector<JobRecord> JobStore::list()
{
    std::vector<JobRecord> out;
    db_.forEachRow("SELECT " + std::string(kJobColumns) + " FROM ADMJB ORDER BY JB001", {},
                   [&](const std::vector<Variant>& r) {
                       out.push_back(recordOf(r));
                       return true;
                   });
    return out;
}

std::vector<JobRun> JobStore::runs(const std::string& number)
{
    std::vector<JobRun> out;
    db_.forEachRow("SELECT JR002, JR003, JR004, JR005, JR006, JR007, JR008, JR009, JR010, JR011 FROM ADMJR "
                   "WHERE JR001 = :NO ORDER BY JR002",
                   {{"NO", number}}, [&](const std::vector<Variant>& r) {
                       out.push_back({num(r[0]), num(r[1]), str(r[2]), str(r[3]), str(r[4]), str(r[5]), str(r[6]),
                                      str(r[7]), str(r[8]), str(r[9])});
                       return true;
                   });
    return out;
}

std::string JobStore::earliestDue()
{
    return str(db_.scalar("SELECT MIN(JB009) FROM ADMJB WHERE JB002 = 'Q' AND JB010 IN ('queued', 'interrupted') "
                          "AND JB009 <> ''"));
}

std::vector<std::pair<std::string, long>> JobStore::countByStatus()
{
    std::vector<std::pair<std::string, long>> out;
    db_.forEachRow("SELECT JB010, COUNT(*) FROM ADMJB GROUP BY JB010", {}, [&](const std::vector<Variant>& r) {
        out.emplace_back(str(r[0]), long(r[1].toInt64()));
        return true;
    });
    return out;
}

std::optional<JobClaim> JobStore::claimNext(const std::string& now, const std::string& runBy,
                                            const std::string& leaseUntil)
{
    // On a database server the row lock of the claimed job keeps other servers away from
    // it while they claim the next ones; SQLite has one writer at a time anyway.
    const bool rowLocks = db_.dialect() == DbDialect::PostgreSQL;
    DbTransaction tx(db_, rowLocks ? DbTransaction::Deferred : DbTransaction::Write);
    const DbRowSet due = db_.query(std::string("SELECT JB001, JB010, JB018, JB009 FROM ADMJB WHERE JB002 = 'Q' "
                                               "AND JB010 IN ('queued', 'interrupted') AND JB009 <> '' AND JB009 <= :NOW "
                                               "ORDER BY JB009, JB001 LIMIT 1")
                                       + (rowLocks ? " FOR UPDATE SKIP LOCKED" : ""),
                                   {{"NOW", now}});
    if (due.empty())
        return std::nullopt;
    JobClaim c;
    const std::string number = str(due.rows[0][0]);
    c.rerun = str(due.rows[0][1]) == "interrupted";
    c.runNumber = num(due.rows[0][2]) + 1;
    if (db_.execute("UPDATE ADMJB SET JB010 = 'running', JB020 = :BY, JB025 = :LEASE WHERE JB001 = :NO "
                    "AND JB010 IN ('queued', 'interrupted')",
                    {{"BY", runBy}, {"LEASE", leaseUntil}, {"NO", number}})
        != 1)
        return std::nullopt;
    c.attempt = num(db_.scalar("SELECT ISNULL(MAX(JR002), 0) + 1 FROM ADMJR WHERE JR001 = :NO", {{"NO", number}}));
    db_.execute("INSERT INTO ADMJR (JR001, JR002, JR003, JR004, JR005, JR006, JR007, JR008, JR009, JR010) "
                "VALUES (:NO, :ATT, :RUN, :DUE, :NOW, '', 'running', '', :BY, :HOW)",
                {{"NO", number},
                 {"ATT", c.attempt},
                 {"RUN", c.runNumber},
                 {"DUE", due.rows[0][3]},
                 {"NOW", now},
                 {"BY", runBy},
                 {"HOW", c.rerun ? "R" : "Q"}});
    const DbRowSet job =
        db_.query("SELECT " + std::string(kJobColumns) + " FROM ADMJB WHERE JB001 = :NO", {{"NO", number}});
    tx.commit();
    c.job = recordOf(job.rows.at(0));
    return c;
}

std::optional<bool> JobStore::cancelAskedOfRun(const std::string& number, const std::string& runBy)
{
    const DbRowSet job = db_.query("SELECT JB021 FROM ADMJB WHERE JB001 = :NO AND JB010 = 'running' AND JB020 = :BY",
                                   {{"NO", number}, {"BY", runBy}});
    if (job.empty())
        return std::nullopt;
    return str(job.rows[0][0]) == "Y";
}

bool JobStore::finishRun(const std::string& number, int attempt, const std::string& runBy, bool ok,
                         const std::string& result, const std::string& now, const std::string& nextDue)
{
    DbTransaction tx(db_, DbTransaction::Write);
    const std::optional<bool> cancelled = cancelAskedOfRun(number, runBy);
    if (!cancelled)
        return false;
    const std::string status = *cancelled ? "cancelled" : !nextDue.empty() ? "queued" : ok ? "done" : "failed";
    db_.execute("UPDATE ADMJR SET JR006 = :NOW, JR007 = :ST, JR008 = :RES WHERE JR001 = :NO AND JR002 = :ATT",
                {{"NOW", now}, {"ST", ok ? "done" : "failed"}, {"RES", result}, {"NO", number}, {"ATT", attempt}});
    db_.execute("UPDATE ADMJB SET JB010 = :ST, JB009 = :DUE, JB018 = JB018 + 1, JB019 = 0, JB020 = '', JB022 = :RES, "
                "JB023 = :NOW, JB024 = :CAN, JB025 = '' WHERE JB001 = :NO",
                {{"ST", status},
                 {"DUE", *cancelled ? std::string() : nextDue},
                 {"RES", result},
                 {"NOW", now},
                 {"CAN", *cancelled ? now : std::string()},
                 {"NO", number}});
    tx.commit();
    return true;
}

bool JobStore::renewLease(const std::string& number, const std::string& runBy, const std::string& leaseUntil)
{
    DbTransaction tx(db_, DbTransaction::Write);
    if (db_.execute("UPDATE ADMJB SET JB025 = :LEASE WHERE JB001 = :NO AND JB010 = 'running' AND JB020 = :BY",
                    {{"LEASE", leaseUntil}, {"NO", number}, {"BY", runBy}})
        != 1)
        return false;
    tx.commit();
    return true;
}

void JobStore::recordRunPeriods(const std::string& number, int attempt, const std::string& runMoment,
                                const std::string& periods)
{
    DbTransaction tx(db_, DbTransaction::Write);
    db_.execute("UPDATE ADMJR SET JR004 = :AT, JR011 = :PER WHERE JR001 = :NO AND JR002 = :ATT",
                {{"AT", runMoment}, {"PER", periods}, {"NO", number}, {"ATT", attempt}});
    tx.commit();
}

bool JobStore::skipRun(const std::string& number, int attempt, const std::string& runBy, const std::string& now,
                       const std::string& nextDue, const std::string& note)
{
    DbTransaction tx(db_, DbTransaction::Write);
    const std::optional<bool> cancelled = cancelAskedOfRun(number, runBy);
    if (!cancelled)
        return false;
    const std::string status = *cancelled ? "cancelled" : !nextDue.empty() ? "queued" : "done";
    db_.execute("UPDATE ADMJR SET JR006 = :NOW, JR007 = 'skipped', JR008 = :NOTE WHERE JR001 = :NO AND JR002 = :ATT",
                {{"NOW", now}, {"NOTE", note}, {"NO", number}, {"ATT", attempt}});
    db_.execute("UPDATE ADMJB SET JB010 = :ST, JB009 = :DUE, JB019 = 0, JB020 = '', JB025 = '', JB024 = :CAN "
                "WHERE JB001 = :NO",
                {{"ST", status},
                 {"DUE", *cancelled ? std::string() : nextDue},
                 {"CAN", *cancelled ? now : std::string()},
                 {"NO", number}});
    tx.commit();
    return true;
}

JobStore::ResetResult JobStore::reset(const std::string& number, const std::string& now, const std::string& machineNow,
                                      const std::string& reason, const std::string& goneRunner)
{
    DbTransaction tx(db_, DbTransaction::Write);
    const DbRowSet rows = db_.query("SELECT JB002, JB010, JB025, JB020 FROM ADMJB WHERE JB001 = :NO", {{"NO", number}});
    if (rows.empty())
        return ResetResult::Unknown;
    if (str(rows.rows[0][0]) == "D")
        return ResetResult::Direct;
    if (str(rows.rows[0][1]) != "running")
        return ResetResult::NotRunning;
    const std::string lease = str(rows.rows[0][2]);
    const bool runnerGone = !goneRunner.empty() && str(rows.rows[0][3]) == goneRunner;
    if (!lease.empty() && lease >= machineNow && !runnerGone)
        return ResetResult::LeaseAlive;
    db_.execute("UPDATE ADMJB SET JB010 = 'interrupted', JB019 = JB019 + 1, JB020 = '', JB022 = :WHY, JB025 = '' "
                "WHERE JB001 = :NO",
                {{"WHY", reason}, {"NO", number}});
    db_.execute("UPDATE ADMJR SET JR006 = :NOW, JR007 = 'interrupted', JR008 = :WHY WHERE JR001 = :NO "
                "AND JR007 = 'running'",
                {{"NOW", now}, {"WHY", reason}, {"NO", number}});
    tx.commit();
    return ResetResult::Reset;
}

bool JobStore::markInterrupted(const std::string& number, const std::string& runBy, const std::string& now,
                               const std::string& reason)
{
    DbTransaction tx(db_, DbTransaction::Write);
    if (db_.execute("UPDATE ADMJB SET JB010 = 'interrupted', JB019 = JB019 + 1, JB020 = '', JB022 = :WHY, "
                    "JB025 = '' WHERE JB001 = :NO AND JB010 = 'running' AND JB020 = :BY",
                    {{"WHY", reason}, {"NO", number}, {"BY", runBy}})
        != 1)
        return false;
    db_.execute("UPDATE ADMJR SET JR006 = :NOW, JR007 = 'interrupted', JR008 = :WHY WHERE JR001 = :NO "
                "AND JR007 = 'running'",
                {{"NOW", now}, {"WHY", reason}, {"NO", number}});
    tx.commit();
    return true;
}

std::vector<JobStore::Running> JobStore::running()
{
    std::vector<Running> out;
    db_.forEachRow("SELECT JB001, JB020, JB019, (SELECT MAX(JR002) FROM ADMJR WHERE JR001 = JB001), JB025 FROM ADMJB "
                   "WHERE JB002 = 'Q' AND JB010 = 'running' ORDER BY JB001",
                   {}, [&](const std::vector<Variant>& r) {
                       out.push_back({str(r[0]), str(r[1]), num(r[2]), num(r[3]), str(r[4])});
                       return true;
                   });
    return out;
}

JobStore::CancelResult JobStore::cancel(const std::string& number, const std::string& now)
{
    DbTransaction tx(db_, DbTransaction::Write);
    const DbRowSet rows =
        db_.query("SELECT JB002, JB010, JB012 FROM ADMJB WHERE JB001 = :NO", {{"NO", number}});
    if (rows.empty())
        return CancelResult::Unknown;
    const std::string entry = str(rows.rows[0][0]), status = str(rows.rows[0][1]);
    const bool periodic = !str(rows.rows[0][2]).empty();
    if (entry == "D")
        return CancelResult::Direct;
    if (status == "queued" || status == "interrupted") {
        db_.execute("UPDATE ADMJB SET JB010 = 'cancelled', JB009 = '', JB024 = :NOW WHERE JB001 = :NO",
                    {{"NOW", now}, {"NO", number}});
        tx.commit();
        return CancelResult::Cancelled;
    }
    if (status == "running") {
        if (!periodic)
            return CancelResult::RunningOnce;
        db_.execute("UPDATE ADMJB SET JB021 = 'Y' WHERE JB001 = :NO", {{"NO", number}});
        tx.commit();
        return CancelResult::AfterThisRun;
    }
    return CancelResult::Finished;
}

std::vector<JobStore::Running> JobStore::runningDirect()
{
    std::vector<Running> out;
    db_.forEachRow("SELECT JR001, JR009 FROM ADMJR JOIN ADMJB ON JB001 = JR001 WHERE JB002 = 'D' AND JR002 = 1 "
                   "AND JR007 = 'running' AND JR010 = 'X' ORDER BY JR001",
                   {}, [&](const std::vector<Variant>& r) {
                       out.push_back({str(r[0]), str(r[1]), 0, 1, {}});
                       return true;
                   });
    return out;
}

bool JobStore::startDirectRun(const std::string& number, const std::string& now, const std::string& runBy)
{
    DbTransaction tx(db_, DbTransaction::Write);
    if (db_.execute("UPDATE ADMJR SET JR005 = :NOW, JR009 = :BY, JR010 = 'X' WHERE JR001 = :NO AND JR002 = 1 "
                    "AND JR007 = 'running' AND EXISTS (SELECT 1 FROM ADMJB WHERE JB001 = :NO AND JB002 = 'D')",
                    {{"NOW", now}, {"BY", runBy}, {"NO", number}})
        != 1)
        return false;
    tx.commit();
    return true;
}

bool JobStore::finishDirectRun(const std::string& number, bool ok, const std::string& result, const std::string& now)
{
    DbTransaction tx(db_, DbTransaction::Write);
    const char* status = ok ? "done" : "failed";
    if (db_.execute("UPDATE ADMJR SET JR006 = :NOW, JR007 = :ST, JR008 = :RES WHERE JR001 = :NO AND JR002 = 1 "
                    "AND JR007 = 'running'",
                    {{"NOW", now}, {"ST", status}, {"RES", result}, {"NO", number}})
        != 1)
        return false;
    db_.execute("UPDATE ADMJB SET JB010 = :ST, JB018 = 1, JB020 = '', JB022 = :RES, JB023 = :NOW WHERE JB001 = :NO",
                {{"ST", status}, {"RES", result}, {"NOW", now}, {"NO", number}});
    tx.commit();
    return true;
}

bool JobStore::endDirectRun(const std::string& number, const std::string& texts, const std::string& ended,
                            bool* decided)
{
    DbTransaction tx(db_, DbTransaction::Write);
    const DbRowSet run = db_.query("SELECT JR007 FROM ADMJR, ADMJB WHERE JR001 = :NO AND JR002 = 1 AND JB001 = JR001 "
                                   "AND JB002 = 'D'",
                                   {{"NO", number}});
    if (run.empty())
        return false;
    const bool open = str(run.rows[0][0]) == "running";
    if (open) {
        const char* status = texts.empty() ? "done" : "failed";
        db_.execute("UPDATE ADMJR SET JR006 = :END, JR007 = :ST, JR008 = :RES WHERE JR001 = :NO AND JR002 = 1",
                    {{"END", ended}, {"ST", status}, {"RES", texts}, {"NO", number}});
        db_.execute("UPDATE ADMJB SET JB010 = :ST, JB018 = 1, JB020 = '', JB022 = :RES, JB023 = :END WHERE JB001 = :NO",
                    {{"ST", status}, {"RES", texts}, {"END", ended}, {"NO", number}});
    } else {
        // The server recorded the outcome of its run already; the client adds its end.
        db_.execute("UPDATE ADMJR SET JR006 = :END, JR008 = CASE WHEN :RES = '' THEN JR008 ELSE :RES END "
                    "WHERE JR001 = :NO AND JR002 = 1",
                    {{"END", ended}, {"RES", texts}, {"NO", number}});
        db_.execute("UPDATE ADMJB SET JB023 = :END, JB022 = CASE WHEN :RES = '' THEN JB022 ELSE :RES END "
                    "WHERE JB001 = :NO",
                    {{"END", ended}, {"RES", texts}, {"NO", number}});
    }
    tx.commit();
    if (decided)
        *decided = open;
    return true;
}
