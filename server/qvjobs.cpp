// qvjobs: for the people who watch the job queue of an installation.
//
//   qvjobs --install DIR list | show N | forecast N [K] | messages USER
//   qvjobs --install DIR [--user CODE] cancel N | reset N
//   qvjobs --install DIR [--company CODE] [--user CODE] reverse BATCH
//   qvjobs --install DIR [--company CODE] [--user CODE] [--lang L] report BATCH --pdf FILE
//
// The commands that change data act for a user of the system (--user, else the login
// name) and only with that user's rights; each change and each refusal leaves a line,
// with the login name, in the server's alert log.
//
// Exit code 0 on success, 1 for an unknown job or batch, a refused cancel, reset, reversal or
// report, or an unusable installation, 2 for a wrong command line.

#include "platform/AsciiText.h"
#include "platform/Exception.h"
#include "platform/OleDate.h"
#include "platform/SystemInfo.h"
#include "serverdb/Installation.h"
#include "support/JobClock.h"
#include "server/JobChoices.h"
#include "server/JobStore.h"
#include "server/ServerIdentity.h"
#include "support/ServerLog.h"
#include "server/UserRights.h"
#include "writeoffserver/WriteOffBatches.h"
#include "writeoffserver/WriteOffJob.h"
#include "report/WriteOffBatchReport.h"
#include "support/Dates.h"
#include "support/BriskoINI.h"
#include "support/Helpers.h"
#include "support/MessageText.h"
#include "support/RunSchedule.h"
#include "support/Utf8.h"

#include <pugixml.hpp>

#include <QGuiApplication>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kDefaultForecast = 5;

// The results and refusals the server keeps are message codes: they are worded in the
// language of the installation's interface (its server configuration's UICodePage).
HostLanguage installationLanguage = HostLanguage::English;

std::string worded(const std::string& messages)
{
    return WordMessages(messages, installationLanguage, "; ");
}

void usage(std::FILE* to)
{
    std::fprintf(to,
                 "Usage: qvjobs --install DIR COMMAND\n"
                 "Shows and steers the job queue of the installation in DIR (DIR/registry.ini).\n"
                 "\n"
                 "Commands:\n"
                 "  list             every job: number, kind, program, owner, status, next run, last result\n"
                 "  show N           job N as the clerk chose it: each condition by its caption with its\n"
                 "                   value in words (dates as dates, ticked documents as a list, the\n"
                 "                   transfer supplier with its name), how it runs, its schedule and date\n"
                 "                   rules in words; then every run\n"
                 "  cancel N         cancel job N when it waits; a periodic job that is running finishes\n"
                 "                   this run and then stops. --user CODE who cancels it (default: the\n"
                 "                   login name): needs the right to queue the job's program, and may\n"
                 "                   cancel only his own jobs unless he is a super user\n"
                 "  reset N          put job N back into the queue when the server that runs it is gone:\n"
                 "                   it is marked interrupted and runs once more. Refused while that\n"
                 "                   server's lease on the run is alive (it renews it while it runs;\n"
                 "                   a server on this machine whose process is gone holds none).\n"
                 "                   --user CODE as for cancel\n"
                 "  forecast N [K]   the next K (default %d) run moments of periodic job N, by the rules\n"
                 "                   the server runs it by\n"
                 "  messages USER    the completion notifications queued for USER, newest first\n"
                 "  reverse BATCH    reverse the write-off batch WOFB07-BATCH: its documents get back their\n"
                 "                   state before the run, the transfer and refund documents it made go,\n"
                 "                   the batch stays marked reversed; refused when its documents changed\n"
                 "                   since. --company CODE names the company (needed when there are\n"
                 "                   several), --user CODE who reverses it (default: the login name):\n"
                 "                   needs the right to run WOFB07 directly, or to be a super user\n"
                 "  report BATCH --pdf FILE\n"
                 "                   write the report of the write-off batch WOFB07-BATCH to FILE (PDF, A4):\n"
                 "                   who ran it and when, every document with its amounts, the totals by\n"
                 "                   currency, the transfer and refund documents it made, its reversal.\n"
                 "                   --company and --user as for reverse; the user needs any right of\n"
                 "                   WOFB07. --lang CHS, CHT or ENG chooses its language (default: the\n"
                 "                   installation's)\n"
                 "  --help           this text\n"
                 "\n"
                 "cancel, reset, reverse and report refuse a user who is unknown, not in use or without the\n"
                 "right, and change nothing then; what they did or refused is written to the server's alert\n"
                 "log (Log/Alert_ReportCounterS_<day>.log), with the login name. The results of runs, and\n"
                 "the values, schedule and date rules show shows, are worded in the installation's\n"
                 "language (UICodePage of the server configuration); the captions are the clerk's.\n",
                 kDefaultForecast);
}

int wrong(const std::string& why)
{
    std::fprintf(stderr, "qvjobs: %s\n", why.c_str());
    usage(stderr);
    return 2;
}

int refused(const std::string& why)
{
    std::fprintf(stderr, "qvjobs: %s\n", why.c_str());
    return 1;
}

// Columns on a terminal: Chinese characters take two places.
int width(std::string_view text)
{
    int w = 0;
    for (char32_t c : toUtf32(text)) {
        const bool wide = (c >= 0x1100 && c <= 0x115f) || (c >= 0x2e80 && c <= 0xa4cf) || (c >= 0xac00 && c <= 0xd7a3)
                          || (c >= 0xf900 && c <= 0xfaff) || (c >= 0xfe30 && c <= 0xfe4f)
                          || (c >= 0xff00 && c <= 0xff60) || (c >= 0xffe0 && c <= 0xffe6)
                          || (c >= 0x20000 && c <= 0x3fffd);
        w += wide ? 2 : 1;
    }
    return w;
}

std::string padded(const std::string& text, int columns)
{
    const int w = width(text);
    return w >= columns ? text : text + std::string(std::size_t(columns - w), ' ');
}

// One line of at most columns places, with line breaks as blanks.
std::string oneLine(const std::string& text, int columns)
{
    const std::string flat = ReplaceAll(ReplaceAll(text, "\r\n", " ", false), "\n", " ", false);
    if (width(flat) <= columns)
        return flat;
    std::string out;
    int w = 0;
    for (char32_t c : toUtf32(flat)) {
        const std::string ch = toUtf8(c);
        if (w + width(ch) > columns - 3)
            break;
        out += ch;
        w += width(ch);
    }
    return out + "...";
}

std::string lastResult(const JobRecord& j)
{
    if (!j.hasRun())
        return j.lastResult.empty() ? "-" : worded(j.lastResult);
    return j.lastResult.empty() ? "ok" : worded(j.lastResult);
}

std::string kindOf(const JobRecord& j)
{
    return j.entry == "D" ? "direct" : j.periodic() ? "periodic" : "once";
}

std::string programName(DbConnection& db, const std::string& program)
{
    try {
        return VarToStr(db.scalar("SELECT MB002 FROM ADMMB WHERE MB001 = :P", {{"P", program}}));
    } catch (const DbError&) {
        return {};
    }
}

std::vector<std::string> recipientIds(const std::string& xml)
{
    std::vector<std::string> ids;
    pugi::xml_document doc;
    if (!doc.load_buffer(xml.data(), xml.size()))
        return ids;
    for (pugi::xml_node n : doc.child("Root").children())
        ids.push_back(n.attribute("ID").value());
    return ids;
}

std::string shownMoment(double m)
{
    static const char* const days[] = {"", "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    const std::string s = ShownStamp(MomentStamp(m));
    return s.substr(0, 10) + " (" + days[dayOfWeek(m)] + ") " + s.substr(11, 5);
}

int list(JobStore& store)
{
    const std::vector<JobRecord> jobs = store.list();
    if (jobs.empty()) {
        std::printf("The queue holds no job.\n");
        return 0;
    }
    std::printf("%s\n", (padded("Job", 16) + padded("Kind", 10) + padded("Program", 10) + padded("Owner", 10)
                         + padded("Status", 13) + padded("Next run", 21) + "Last result")
                            .c_str());
    for (const JobRecord& j : jobs)
        std::printf("%s\n", (padded(j.number, 16) + padded(kindOf(j), 10) + padded(j.programCode, 10)
                             + padded(j.ownerCode, 10) + padded(j.status, 13)
                             + padded(j.due.empty() ? "-" : ShownStamp(j.due), 21) + oneLine(lastResult(j), 60))
                                .c_str());
    return 0;
}

// What a late run made up for: "for 10 periods, 2031-03-01 08:00:00 to 2031-03-10 08:00:00; ".
std::string periodsText(const std::string& periods)
{
    const std::size_t a = periods.find('|');
    const std::size_t b = a == std::string::npos ? a : periods.find('|', a + 1);
    if (b == std::string::npos)
        return {};
    return "for " + periods.substr(b + 1) + " periods, " + ShownStamp(periods.substr(0, a)) + " to "
         + ShownStamp(periods.substr(a + 1, b - a - 1)) + "; ";
}

// How the job was handed over and when it runs, as the clerk chose it.
std::string runModeText(const JobRecord& j)
{
    if (j.entry == "D")
        return "direct: run at once by the client, not through the queue";
    if (j.periodic())
        return j.runMode == 1 ? "once when submitted, then by the schedule" : "by the schedule";
    switch (j.runMode) {
    case 0:
        return "as soon as the queue reaches it";
    case 1:
        return "at once";
    case 2:
        try {
            return "at the time chosen, " + ShownStamp(MomentStamp(j.packet[0][11].toDate()));
        } catch (const std::exception&) {
            return "at the time chosen";
        }
    default:
        return std::to_string(j.runMode);
    }
}

// Captions and values, the values in one column; a long value (a list of documents) is
// wrapped after its commas.
void printLines(const std::vector<ConditionLine>& lines, int column)
{
    constexpr int kLineWidth = 100;
    const std::string indent(std::size_t(column + 2), ' ');
    for (const ConditionLine& l : lines) {
        std::string out = "  " + padded(l.caption, column);
        int used = width(out);
        std::size_t from = 0;
        while (from < l.value.size()) {
            const std::size_t comma = l.value.find(", ", from);
            const std::size_t to = comma == std::string::npos ? l.value.size() : comma + 2;
            const std::string piece = l.value.substr(from, to - from);
            if (used > int(indent.size()) && used + width(piece) > kLineWidth) {
                while (out.back() == ' ')
                    out.pop_back();
                out += "\n" + indent;
                used = int(indent.size());
            }
            out += piece;
            used += width(piece);
            from = to;
        }
        while (!out.empty() && out.back() == ' ')
            out.pop_back();
        std::printf("%s\n", out.c_str());
    }
}

int show(JobStore& store, ServerDatabase& server, DbConnection& db, const std::string& number)
{
    const std::optional<JobRecord> found = store.find(number);
    if (!found)
        return refused("there is no job " + number);
    const JobRecord& j = *found;
    const std::string name = programName(db, j.programCode);
    std::printf("Job %s\n", j.number.c_str());
    auto line = [](const char* label, const std::string& value) {
        std::printf("  %s%s\n", padded(label, 13).c_str(), value.c_str());
    };
    line("Program", j.programCode + (name.empty() ? "" : " " + name));
    line("Owner", j.ownerCode + ", company " + j.companyCode + ", database " + j.databaseName);
    std::string kind = kindOf(j);
    RunPeriod period;
    std::string why;
    if (j.periodic())
        kind += ReadRunPeriod(j.period, period, why) ? ": " + DescribeRunPeriod(period, installationLanguage)
                                                     : ": " + worded(why);
    if (j.entry == "D")
        kind += ", run by the client on " + j.computer;
    line("Kind", kind);
    line("Run mode", runModeText(j));
    line("Submitted", ShownStamp(j.submitted));
    line("Status", j.status + (j.cancelAsked && j.status == "running" ? " (cancelled after this run)" : "")
                       + (j.status == "cancelled" ? " at " + ShownStamp(j.cancelledAt) : "")
                       + (j.status == "running" && j.entry == "Q" && !j.runBy.empty()
                              ? " by " + j.runBy + (j.leaseUntil.empty() ? "" : ", lease until " + ShownStamp(j.leaseUntil))
                              : ""));
    line("Next run", j.due.empty() ? "-" : ShownStamp(j.due));
    line("Runs", std::to_string(j.runsDone) + " finished");
    std::string recipients;
    for (const std::string& id : recipientIds(j.recipients))
        recipients += (recipients.empty() ? "" : ", ") + id;
    line("Notify", recipients.empty() ? "nobody" : recipients);
    line("Last result", lastResult(j));

    // The conditions as the clerk chose them, their codes named from the company's books
    // where it can be read.
    std::unique_ptr<DbConnection> company;
    try {
        company = server.openDatabase(j.databaseName);
    } catch (const std::exception&) {
    }
    const JobChoices choices = DescribeJobChoices(j, installationLanguage, company.get());
    int column = 0;
    for (const auto* lines : {&choices.conditions, &choices.dateRules})
        for (const ConditionLine& l : *lines)
            column = std::max(column, width(l.caption) + 2);
    column = std::min(column, 30);
    std::printf("Conditions\n");
    printLines(choices.conditions, column);
    if (!choices.dateRules.empty()) {
        std::printf("Date rules\n");
        printLines(choices.dateRules, column);
    }

    const std::vector<JobRun> runs = store.runs(j.number);
    std::printf("Runs%s\n", runs.empty() ? ": none yet" : "");
    for (const JobRun& r : runs) {
        std::printf("  %3d  run %-3d %s  %s  %s  %s  %s\n", r.attempt, r.runNumber,
                    padded("due " + ShownStamp(r.scheduled), 23).c_str(),
                    padded("started " + ShownStamp(r.started), 27).c_str(),
                    padded(r.ended.empty() ? "" : "ended " + ShownStamp(r.ended), 25).c_str(),
                    padded(r.status, 11).c_str(),
                    (std::string(r.how == "R" ? "(again) " : r.how == "D" || r.how == "X" ? "(direct) " : "")
                     + periodsText(r.periods)
                     + (r.result.empty() ? (r.status == "done" ? "ok" : "") : oneLine(worded(r.result), 80))
                     // Which server (host:pid:start) or client computer ran it, where several share the queue.
                     + (r.runBy.empty() ? "" : "  by " + r.runBy))
                        .c_str());
    }
    return 0;
}

// Who a command that changes data acts for: the user of the system, and the login that ran it.
struct Actor {
    std::string user, login;
    std::string text() const
    {
        return "user " + (user.empty() ? std::string("?") : user) + " (login "
               + (login.empty() ? "uid " + std::to_string(::geteuid()) : login) + ")";
    }
};

// One line of the alert log: what came from the command line cannot start a line of its own.
void logLine(std::string text)
{
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    WriteServerLog("qvjobs: " + text);
}

// A refusal of a command that changes data: said, and written to the alert log.
int refusedFor(const Actor& who, const std::string& what, const std::string& why)
{
    logLine(what + " by " + who.text() + " refused: " + why);
    return refused(why);
}

int cancel(JobStore& store, DbConnection& db, const std::string& number, const Actor& who)
{
    const std::string what = "cancel of job " + number;
    const std::optional<JobRecord> job = store.find(number);
    // The rights are read before anything is changed; the program is the job's.
    const UserRights rights = ReadUserRights(db, who.user, job ? job->programCode : std::string());
    if (const std::string problem = AccountProblem(rights, who.user); !problem.empty())
        return refusedFor(who, what, problem + "; nothing is cancelled");
    if (!job)
        return refusedFor(who, what, "there is no job " + number);
    if (!rights.mayQueue())
        return refusedFor(who, what, "the user " + who.user + " has no right to queue " + job->programCode
                                         + " jobs, so may not cancel job " + number);
    if (!rights.super && trimText(job->ownerCode) != rights.user)
        return refusedFor(who, what, "job " + number + " is " + trimText(job->ownerCode) + "'s; the user " + who.user
                                         + " is no super user and may cancel his own jobs only");
    switch (store.cancel(number, MomentStamp(Now()))) {
    case JobStore::CancelResult::Cancelled:
        logLine("job " + number + " cancelled by " + who.text());
        std::printf("Job %s is cancelled.\n", number.c_str());
        return 0;
    case JobStore::CancelResult::AfterThisRun:
        logLine("job " + number + " cancelled after its current run by " + who.text());
        std::printf("Job %s is running: it finishes this run and then stops.\n", number.c_str());
        return 0;
    case JobStore::CancelResult::Unknown:
        return refusedFor(who, what, "there is no job " + number);
    case JobStore::CancelResult::RunningOnce:
        return refusedFor(who, what, "job " + number + " is running and has no further run to cancel; it finishes");
    case JobStore::CancelResult::Direct:
        return refusedFor(who, what, "job " + number + " is a direct run of a client; it cannot be cancelled here");
    case JobStore::CancelResult::Finished:
        break;
    }
    const std::optional<JobRecord> j = store.find(number);
    return refusedFor(who, what,
                      "job " + number + " has ended (" + (j ? j->status : std::string("?")) + "); nothing to cancel");
}

int reset(JobStore& store, DbConnection& db, const std::string& number, const Actor& who)
{
    const std::string what = "reset of job " + number;
    const std::optional<JobRecord> job = store.find(number);
    const UserRights rights = ReadUserRights(db, who.user, job ? job->programCode : std::string());
    if (const std::string problem = AccountProblem(rights, who.user); !problem.empty())
        return refusedFor(who, what, problem + "; nothing is reset");
    if (!job)
        return refusedFor(who, what, "there is no job " + number);
    if (!rights.mayQueue())
        return refusedFor(who, what, "the user " + who.user + " has no right to queue " + job->programCode
                                         + " jobs, so may not reset job " + number);
    if (!rights.super && trimText(job->ownerCode) != rights.user)
        return refusedFor(who, what, "job " + number + " is " + trimText(job->ownerCode) + "'s; the user " + who.user
                                         + " is no super user and may reset his own jobs only");
    const std::string gone = !job->runBy.empty() && IsServerGone(job->runBy) ? job->runBy : std::string();
    const std::string why = "Put back into the queue by " + who.text() + " after its server " + job->runBy
                          + " was gone; it runs again";
    switch (store.reset(number, MomentStamp(Now()), MomentStamp(Now()), why, gone)) {
    case JobStore::ResetResult::Reset:
        logLine("job " + number + " (run by " + job->runBy + ") reset by " + who.text());
        std::printf("Job %s is back in the queue: it runs once more.\n", number.c_str());
        return 0;
    case JobStore::ResetResult::LeaseAlive:
        return refusedFor(who, what,
                          "job " + number + " is running on " + job->runBy + ", whose lease on it lasts until "
                              + ShownStamp(job->leaseUntil) + "; a server that is gone stops renewing it, and "
                              "the job runs again once the lease has run out");
    case JobStore::ResetResult::Direct:
        return refusedFor(who, what, "job " + number + " is a direct run of a client; it cannot be reset here");
    case JobStore::ResetResult::Unknown:
        return refusedFor(who, what, "there is no job " + number);
    case JobStore::ResetResult::NotRunning:
        break;
    }
    return refusedFor(who, what, "job " + number + " is not running (" + job->status + "); nothing to reset");
}

int forecast(JobStore& store, const std::string& number, int count)
{
    const std::optional<JobRecord> found = store.find(number);
    if (!found)
        return refused("there is no job " + number);
    const JobRecord& j = *found;
    RunPeriod period;
    std::string why;
    if (!j.periodic())
        return refused("job " + number + " is not periodic" + (j.due.empty() ? "" : "; it runs at " + ShownStamp(j.due)));
    if (!ReadRunPeriod(j.period, period, why))
        return refused("the schedule of job " + number + " cannot be read: " + worded(why));
    if (j.due.empty())
        return refused("job " + number + " has no run left (" + j.status + ")");
    // A running job's next run comes after the one in progress.
    double next = StampMoment(j.due);
    int done = j.runsDone;
    if (j.status == "running") {
        next = NextRunMoment(period, next);
        ++done;
    }
    const std::vector<double> runs = ForecastRunMoments(period, next, done, count);
    std::printf("Job %s, %s:\n", number.c_str(), DescribeRunPeriod(period).c_str());
    for (std::size_t i = 0; i < runs.size(); ++i)
        std::printf("  run %-4d %s\n", done + 1 + int(i), shownMoment(runs[i]).c_str());
    if (runs.empty())
        std::printf("  no run is left\n");
    else if (int(runs.size()) < count)
        std::printf("  the cycle ends after run %d\n", done + int(runs.size()));
    return 0;
}

int messages(DbConnection& db, const std::string& user)
{
    int shown = 0;
    db.forEachRow("SELECT TC001, TC002, TC003, TC004, TC006, TC008 FROM ADMTC ORDER BY TC004 DESC, TC001 DESC", {},
                  [&](const std::vector<Variant>& r) {
                      bool mine = false;
                      for (const std::string& id : recipientIds(VarToStr(r[2])))
                          mine = mine || SameTextAscii(trimBlanks(id), trimBlanks(user));
                      if (!mine)
                          return true;
                      ++shown;
                      std::printf("%s  %s  from %s  %s\n    %s\n", VarToStr(r[0]).c_str(),
                                  ShownStamp(VarToStr(r[3])).c_str(), VarToStr(r[1]).c_str(), VarToStr(r[4]).c_str(),
                                  oneLine(VarToStr(r[5]), 200).c_str());
                      return true;
                  });
    // Short messages and mails wait in the outbox of older databases only once made.
    if (db.scalar("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'ADMTO'").toInt() > 0)
        db.forEachRow("SELECT TO002, TO004, TO007, TO005, TO006, TO008 FROM ADMTO WHERE UPPER(TO003) = UPPER(:U) "
                      "ORDER BY TO007 DESC, TO001 DESC",
                      {{"U", trimBlanks(user)}}, [&](const std::vector<Variant>& r) {
                          ++shown;
                          const bool sms = VarToStr(r[0]) == "S";
                          const std::string to = VarToStr(r[5]) == "X" ? std::string("(no address to send to)")
                                                                      : VarToStr(r[1]);
                          std::printf("%s  %s to %s  %s\n    %s\n", sms ? "short message" : "mail",
                                      ShownStamp(VarToStr(r[2])).c_str(), to.c_str(), VarToStr(r[3]).c_str(),
                                      oneLine(VarToStr(r[4]), 200).c_str());
                          return true;
                      });
    if (!shown)
        std::printf("No notification is queued for %s.\n", user.c_str());
    return 0;
}

} // namespace

// The company a batch command works on: the one named, else the installation's only one;
// empty with why when there is none to take.
static std::string batchCompany(DbConnection& conn, const std::string& named, std::string& why)
{
    if (!trimText(named).empty())
        return trimText(named);
    std::vector<std::string> codes;
    conn.forEachRow("SELECT MC001 FROM ADMMC ORDER BY MC001", {}, [&](const std::vector<Variant>& row) {
        codes.push_back(trimText(VarToStr(row[0])));
        return true;
    });
    if (codes.size() == 1)
        return codes[0];
    why = codes.empty() ? std::string("the installation has no company (ADMMC)")
                        : "the installation has several companies; name one with --company";
    return {};
}

static int reverseBatch(ServerDatabase& db, DbConnection& conn, const std::string& named, const Actor& who,
                        const std::string& batch)
{
    const std::string what = "reversal of batch WOFB07-" + batch;
    // A reversal changes the books: only a user who may run the job directly makes one.
    const UserRights rights = ReadUserRights(conn, who.user, "WOFB07");
    if (const std::string problem = AccountProblem(rights, who.user); !problem.empty())
        return refusedFor(who, what, problem + "; nothing is reversed");
    if (!rights.mayRunDirectly())
        return refusedFor(who, what, "the user " + who.user + " has neither the right to run WOFB07 directly nor "
                                         "that of a super user, so may not reverse its batches");
    std::string why;
    const std::string company = batchCompany(conn, named, why);
    if (company.empty())
        return refusedFor(who, what, why);
    const WriteOffJobResult r = ReverseWriteOffJob(db.settings(), company, "", batch, rights.user);
    if (!r.error.empty())
        return refusedFor(who, what + " of company " + company, worded(r.error));
    logLine("batch WOFB07-" + batch + " of company " + company + " reversed by " + who.text());
    std::printf("%s\n", worded(r.summary).c_str());
    return 0;
}

// The PDF report of a batch, for a user with any right of WOFB07 (the server's rule).
static int reportBatch(ServerDatabase& db, DbConnection& conn, const std::string& named, const Actor& who,
                       const std::string& batch, const std::string& pdf, HostLanguage language)
{
    const std::string what = "report of batch WOFB07-" + batch;
    const UserRights rights = ReadUserRights(conn, who.user, "WOFB07");
    if (const std::string problem = AccountProblem(rights, who.user); !problem.empty())
        return refusedFor(who, what, problem + "; no report is written");
    if (!rights.holdsAnyRight())
        return refusedFor(who, what, "the user " + who.user + " has no right in WOFB07, so may not read its batches");
    std::string why;
    const std::string company = batchCompany(conn, named, why);
    if (company.empty())
        return refusedFor(who, what, why);
    const std::string database = db.companyDatabase(company);
    if (database.empty() || !db.databaseExists(database))
        return refusedFor(who, what, "the company " + company + " is unknown or has no database (ADMMC)");
    WriteOffBatchRecord record;
    try {
        const std::unique_ptr<DbConnection> co = db.openDatabase(database);
        record = ReadWriteOffBatch(WriteOffBatchSource{*co, conn, company}, batch);
    } catch (const WriteOffError& e) {
        return refusedFor(who, what + " of company " + company, worded(e.what()));
    }
    // Fonts and the PDF writer want a GUI application; none needs a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "qvjobs";
    char* argv[] = {name, nullptr};
    const QGuiApplication app(argc, argv);
    const int pages = WriteWriteOffBatchReport(record, language, pdf);
    logLine("report of batch " + record.summary.batchKey() + " of company " + company + " written to " + pdf + " for "
            + who.text());
    std::printf("Batch %s: %d document%s, %d page%s written to %s\n", record.summary.batchKey().c_str(),
                record.summary.documents, record.summary.documents == 1 ? "" : "s", pages, pages == 1 ? "" : "s",
                pdf.c_str());
    return 0;
}

int main(int argc, char** argv)
{
    std::string install, company, user, pdf, lang;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        }
        if (a == "--install") {
            if (i + 1 >= argc)
                return wrong("--install needs the installation folder");
            install = argv[++i];
        } else if (a == "--company" || a == "--user" || a == "--pdf" || a == "--lang") {
            if (i + 1 >= argc)
                return wrong(a + " needs a value");
            (a == "--company" ? company : a == "--user" ? user : a == "--pdf" ? pdf : lang) = argv[++i];
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            return wrong("unknown option " + a);
        } else {
            words.push_back(a);
        }
    }
    if (install.empty())
        return wrong("--install DIR is required");
    if (words.empty())
        return wrong("a command is required");
    const std::string command = words[0];
    auto args = [&](std::size_t low, std::size_t high) { return words.size() - 1 >= low && words.size() - 1 <= high; };
    int count = kDefaultForecast;
    if (command == "list") {
        if (!args(0, 0))
            return wrong("list takes no argument");
    } else if (command == "show" || command == "cancel" || command == "reset") {
        if (!args(1, 1))
            return wrong(command + " takes one job number");
    } else if (command == "forecast") {
        if (!args(1, 2))
            return wrong("forecast takes a job number and optionally a count");
        if (words.size() == 3 && (!tryStrToInt(words[2], count) || count < 1 || count > 100000))
            return wrong("the count of forecast must be a number from 1 to 100000");
    } else if (command == "messages") {
        if (!args(1, 1))
            return wrong("messages takes one user code");
    } else if (command == "reverse") {
        if (!args(1, 1))
            return wrong("reverse takes one batch number");
    } else if (command == "report") {
        if (!args(1, 1))
            return wrong("report takes one batch number");
        if (pdf.empty())
            return wrong("report needs --pdf FILE");
    } else {
        return wrong("unknown command " + command);
    }
    if (!pdf.empty() && command != "report")
        return wrong("--pdf belongs to report");
    const std::string language = upperAscii(lang);
    if (!lang.empty() && language != "CHS" && language != "CHT" && language != "ENG")
        return wrong("--lang takes CHS, CHT or ENG");

    try {
        // Reading the queue needs no write access to its database.
        const bool reading = command != "cancel" && command != "reset" && command != "reverse";
        ServerDbSettings settings = OpenInstallation(install);
        installationLanguage = language == "CHS"   ? HostLanguage::Simplified
                               : language == "CHT" ? HostLanguage::Traditional
                               : language == "ENG" ? HostLanguage::English
                                                   : LanguageOfCodePage(std::atoi(TBriskoIniS().UICodePage.c_str()));
        settings.readOnly = reading;
        ServerDatabase db(settings);
        DbConnection& conn = db.connection();
        if (!reading)
            JobStore::EnsureTables(conn);
        JobStore store(conn);
        if (command == "list")
            return list(store);
        const std::string arg = trimText(words[1]);
        if (command == "show")
            return show(store, db, conn, arg);
        if (command == "cancel" || command == "reset" || command == "reverse" || command == "report") {
            Actor who{trimText(user), trimText(GetUserName())};
            if (who.user.empty())
                who.user = who.login;
            if (who.user.empty())
                return refusedFor(who, command + " " + arg, "the login name is unknown; name the user with --user CODE");
            if (command == "cancel")
                return cancel(store, conn, arg, who);
            if (command == "reset")
                return reset(store, conn, arg, who);
            if (command == "report")
                return reportBatch(db, conn, company, who, arg, pdf, installationLanguage);
            return reverseBatch(db, conn, company, who, arg);
        }
        if (command == "forecast")
            return forecast(store, arg, count);
        return messages(conn, arg);
    } catch (const std::exception& e) {
        if (command == "cancel" || command == "reset" || command == "reverse")
            logLine(command + " " + words[1] + " failed: " + e.what());
        return refused(e.what());
    }
}
