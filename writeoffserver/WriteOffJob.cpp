#include "writeoffserver/WriteOffJob.h"

#include "platform/AsciiText.h"
#include "platform/OleDate.h"
#include "support/JobClock.h"
#include "support/ServerLog.h"
#include "writeoffserver/WriteOff.h"
#include "writeoffserver/WriteOffRequest.h"
#include "writeoffserver/WriteOffReversal.h"
#include "support/AlertLog.h"
#include "support/BriskoINI.h"
#include "support/MessageText.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// The company database on a connection of its own.
std::unique_ptr<DbConnection> openCompany(const ServerDbSettings& settings, const std::string& databaseName)
{
    if (!settings.error.empty())
        throw DbError(settings.error);
    ServerDatabase db(settings);
    if (SameTextAscii(databaseName, settings.systemDb))
        throw DbError("The write-off runs on a company database, not on the system database " + databaseName);
    if (!db.databaseExists(databaseName))
        throw WriteOffError(MessageCode("E;200676", {databaseName}));
    return db.openDatabase(databaseName);
}

// Sys003, Sys029 and Sys030 of the company; empty when the system database lacks them.
WriteOffContext contextOf(const ServerDbSettings& settings, const std::string& companyCode)
{
    WriteOffContext ctx;
    ctx.stamp = MomentStamp(Now());
    try {
        ServerDatabase server(settings);
        if (!server.databaseExists(settings.systemDb))
            return ctx;
        const std::unique_ptr<DbConnection> conn = server.openDatabase(settings.systemDb);
        DbConnection& sys = *conn;
        sys.forEachRow("SELECT MS002, MS003 FROM ADMMS WHERE MS001 = :C", {{"C", companyCode}},
                       [&](const std::vector<Variant>& row) {
                           const std::string name = upperAscii(TrimmedText(row[0]));
                           const std::string value = TrimmedText(row[1]);
                           if (name == "SYS003")
                               ctx.localCurrency = value;
                           else if (name == "SYS029")
                               ctx.openMonthFrom = value;
                           else if (name == "SYS030")
                               ctx.openMonthAfter = value;
                           return true;
                       });
    } catch (const std::exception& e) {
        WriteServerLog(std::string("WOFB07S: the company settings could not be read: ") + e.what(), LogLevel::Error);
    }
    return ctx;
}

// The server's logs are English; a message text is worded on one line for them.
std::string english(const std::string& messages)
{
    return WordMessages(messages, HostLanguage::English, "; ");
}

// The run logs lie with the alert logs where the registry names a LogPath (an installed
// server may not write its configuration folder), else in the server folder's Log/.
std::string logFolder()
{
    if (std::string logs = GetLogPath(); !logs.empty())
        return logs;
    TBriskoIniS ini;
    return ini.ServerPath.empty() ? std::string() : joinPath(ini.ServerPath, "Log");
}

// The run log's file, or empty when none is kept; a log that cannot be written leaves
// the reason in problem (the run itself stands: the log only describes it).
std::string writeRunLog(const WriteOffRequest& r, const WriteOffOutcome* outcome, const std::string& error,
                        std::string& problem)
{
    const std::string folder = logFolder();
    if (folder.empty())
        return {};
    std::error_code ec;
    fs::create_directories(folder, ec);
    const std::string file = joinPath(folder, "WOFB07_" + r.batchNo + "_" + r.requestNo + ".log");
    std::ostringstream out;
    const char* nl = "\r\n";
    out << alertLogStamp(Now()) << "WOFB07 write-off, request " << r.requestNo << (r.extra.empty() ? "" : " (")
        << r.extra << (r.extra.empty() ? "" : ")") << nl;
    out << "  batch " << r.batchKey() << ", type " << r.type << ", date " << r.writeOffDate << ", currency "
        << r.currency << ", user " << r.userCode << ", company " << r.companyCode << nl;
    out << "  transfer supplier " << r.transferSupplier << " " << r.transferName
        << (r.refundType.empty() ? "" : ", refund type " + r.refundType) << nl;
    if (!outcome) {
        out << "  nothing was written off: " << english(error) << nl;
        for (const std::string& d : r.documents)
            out << "  chosen " << d << nl;
    } else {
        for (const WrittenOffDocument& d : outcome->documents)
            out << "  " << d.type << "-" << d.number << "  supplier " << d.supplier << "  " << d.currency << " "
                << d.original.toString() << "  local " << d.local.toString() << "  -> " << d.madeType << "-"
                << d.madeNumber << nl;
        out << "  " << english(WriteOffSummary(*outcome))
            << (outcome->repeated ? " (recorded by an earlier attempt)" : "") << nl;
    }
    // Written and closed with their errors seen: a full disk or a folder that may not be
    // written must not pass for a log that exists.
    const std::string text = out.str();
    errno = 0;
    std::FILE* f = std::fopen(file.c_str(), "ab");
    bool written = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    int why = errno;
    if (f) {
        if (std::fclose(f) != 0) {
            written = false;
            why = errno;
        }
    }
    if (written)
        return file;
    problem = MessageCode("W;200684", {file, why ? std::strerror(why) : "unknown error"});
    WriteServerLog("WOFB07S: " + english(problem));
    return {};
}

} // namespace

WriteOffJobResult RunWriteOffJob(const Variant& packet)
{
    return RunWriteOffJob(packet, ServerDatabase::fromConfiguration());
}

WriteOffJobResult RunWriteOffJob(const Variant& packet, const ServerDbSettings& settings)
{
    WriteOffJobResult result;
    WriteOffRequest request;
    bool read = false;
    try {
        request = ReadWriteOffPacket(packet);
        read = true;
        auto company = openCompany(settings, request.databaseName);
        const WriteOffOutcome outcome = RunWriteOff(*company, request, contextOf(settings, request.companyCode));
        result.summary = WriteOffSummary(outcome);
        if (request.log) {
            std::string problem;
            result.logFile = writeRunLog(request, &outcome, {}, problem);
            result.summary = MessageLines(result.summary, problem);
        }
        return result;
    } catch (const WriteOffError& e) {
        result.error = e.what();
    } catch (const DbError& e) {
        result.error = MessageCode("E;200674", {e.what()});
    } catch (const std::exception& e) {
        result.error = MessageCode("E;200675", {e.what()});
    } catch (...) {
        result.error = "The write-off failed";
    }
    WriteServerLog("WOFB07S: " + english(result.error));
    if (read && request.log) {
        std::string problem;
        result.logFile = writeRunLog(request, nullptr, result.error, problem);
        result.error = MessageLines(result.error, problem);
    }
    return result;
}

std::string CheckWriteOffRequest(const Variant& packet)
{
    return CheckWriteOffRequest(packet, ServerDatabase::fromConfiguration());
}

std::string CheckWriteOffRequest(const Variant& packet, const ServerDbSettings& settings)
{
    try {
        const WriteOffRequest r = ReadWriteOffBatch(packet);
        auto company = openCompany(settings, r.databaseName);
        if (!company->query("SELECT LC001 FROM ACPLC WHERE LC001 = :K", {{"K", r.batchKey()}}).empty())
            return MessageCode("E;200658", {r.batchNo, r.batchKey()});
        return {};
    } catch (const WriteOffError& e) {
        return e.what();
    } catch (const std::exception& e) {
        return MessageCode("E;200674", {e.what()});
    }
}

WriteOffJobResult ReverseWriteOffJob(const ServerDbSettings& settings, const std::string& companyCode,
                                     const std::string& databaseName, const std::string& batchNo,
                                     const std::string& userCode)
{
    WriteOffJobResult result;
    try {
        std::string name(trimBlanks(databaseName));
        if (name.empty()) {
            ServerDatabase db(settings);
            name = db.companyDatabase(companyCode);
            if (name.empty())
                throw WriteOffError("The company " + companyCode + " is unknown (ADMMC)");
        }
        if (trimBlanks(userCode).empty())
            throw WriteOffError("A reversal needs the user who makes it");
        auto company = openCompany(settings, name);
        result.summary = WriteOffReversalSummary(
            ReverseWriteOffBatch(*company, batchNo, std::string(trimBlanks(userCode)), MomentStamp(Now())));
    } catch (const WriteOffError& e) {
        result.error = e.what();
    } catch (const std::exception& e) {
        result.error = std::string("The reversal could not be made: ") + e.what();
    }
    if (!result.error.empty())
        WriteServerLog("WOFB07 reversal: " + english(result.error));
    return result;
}
