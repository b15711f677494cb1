// Faults injected around a write-off run with real files and processes: the disk full for
// the databases and for the run log, folders the server may not write, and a company
// database locked by another program for longer than the busy time-out. Each run must end
// with a message that says what happened, and nothing may be lost or half-done: a run
// that failed changed nothing and can be made again.

#include "FaultChild.h"
#include "DbLock.h"
#include "WriteOffFixture.h"

#include "serverdb/ServerDatabase.h"
#include "support/AlertLog.h"

#include <filesystem>

using namespace wotest;
namespace fs = std::filesystem;

namespace {

class FaultWriteOff : public WriteOffFixture {
protected:
    // The outcome as one text, worded in English: "ok|result|summary" or "failed|result|".
    static std::string said(const ServerLibraryOutcome& o)
    {
        return std::string(o.ok ? "ok" : "failed") + "|" + English(o.result) + "|" + English(o.summary);
    }
    WriteOffRun run() const
    {
        WriteOffRun r;
        r.documents = {"710120240110001", "7A0112"};
        return r;
    }
    int batchRows() { return std::stoi(value("SELECT count(*) FROM ACPLC WHERE LC001 = 'WOFB07-B0100'")); }
    void closeCompany()
    {
        // The parent's own connection must not be shared with the child.
        company().close();
    }
};

void makeWritableForAll(const fs::path& p)
{
    std::error_code ec;
    fs::permissions(p, fs::perms::all, fs::perm_options::add, ec);
    if (fs::is_directory(p, ec))
        for (const auto& e : fs::recursive_directory_iterator(p, ec))
            fs::permissions(e.path(), fs::perms::all, fs::perm_options::add, ec);
}

} // namespace

TEST_F(FaultWriteOff, DiskFullForTheDatabasesFailsTheRunClearlyAndChangesNothing)
{
    RecordProperty("tried", "a write-off run whose process may write no file past 4 KiB (RLIMIT_FSIZE)");
    const auto before = snapshot();
    closeCompany();
    const std::string out = fault::inChild({4096, false}, [&] { return said(runLibrary(run())); });
    EXPECT_EQ(out.rfind("failed|", 0), 0u) << out;
    EXPECT_NE(out.find("could not be made"), std::string::npos) << out;
    EXPECT_NE(out.find("File too large"), std::string::npos) << "the message names why the disk refused: " << out;
    EXPECT_EQ(snapshot(), before) << "nothing was written";
    // The same run on a disk with room succeeds: nothing was left half-done.
    EXPECT_TRUE(runLibrary(run()).ok);
    EXPECT_EQ(batchRows(), 2);
}

TEST_F(FaultWriteOff, ARunLogOnAFullDiskIsReportedAndTheWriteOffIsKept)
{
    RecordProperty("tried", "a write-off with the run log flag whose log file is /dev/full");
    WriteOffRun r = run();
    r.log = true;
    fs::create_directories(install.path("server/Log"));
    fs::create_symlink("/dev/full", install.path("server/Log/WOFB07_B0100_" + r.request + ".log"));
    const ServerLibraryOutcome out = runLibrary(r);
    ASSERT_TRUE(out.ok) << out.result;
    EXPECT_NE(English(out.summary).find("2 documents written off"), std::string::npos) << out.summary;
    EXPECT_NE(English(out.summary).find("run log"), std::string::npos) << "the user hears the log is missing: " << out.summary;
    EXPECT_NE(English(out.summary).find("No space left on device"), std::string::npos) << out.summary;
    EXPECT_EQ(batchRows(), 2) << "the write-off itself stays";
}

TEST_F(FaultWriteOff, AReadOnlyRunLogFolderIsReportedAndTheWriteOffIsKept)
{
    RecordProperty("tried", "a write-off with the run log flag, run by a user who may not write the Log folder");
    WriteOffRun r = run();
    r.log = true;
    fs::create_directories(install.path("server/Log"));
    makeWritableForAll(install.dir());
    fs::permissions(install.path("server/Log"), fs::perms::owner_read | fs::perms::owner_exec |
                                                    fs::perms::group_read | fs::perms::group_exec |
                                                    fs::perms::others_read | fs::perms::others_exec);
    closeCompany();
    const std::string out = fault::inChild({-1, true}, [&] { return said(runLibrary(r)); });
    EXPECT_EQ(out.rfind("ok|", 0), 0u) << out;
    EXPECT_NE(out.find("run log"), std::string::npos) << out;
    EXPECT_NE(out.find("Permission denied"), std::string::npos) << out;
    EXPECT_EQ(batchRows(), 2) << "the write-off itself stays";
    EXPECT_FALSE(install.exists("server/Log/WOFB07_B0100_" + r.request + ".log"));
}

TEST_F(FaultWriteOff, ReadOnlyDatabasesFailTheRunClearlyAndChangeNothing)
{
    RecordProperty("tried", "a write-off run, and a reading of the books and the queue (qvjobs list), by a user who may "
                            "read but not write the database files and folder");
    {
        // A queue server has had them: the system database keeps a write-ahead log.
        ServerDatabase server(ServerDatabase::fromConfiguration());
        server.connection();
    }
    const auto before = snapshot();
    closeCompany();
    makeWritableForAll(install.dir());
    for (const char* f : {"server/data/QVSYS.db", "server/data/DEMO.db"})
        fs::permissions(install.path(f), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(install.path("server/data"), fs::perms::owner_read | fs::perms::owner_exec |
                                                     fs::perms::group_read | fs::perms::group_exec |
                                                     fs::perms::others_read | fs::perms::others_exec);
    const std::string out = fault::inChild({-1, true}, [&] { return said(runLibrary(run())); });
    EXPECT_EQ(out.rfind("failed|", 0), 0u) << out;
    EXPECT_NE(out.find("readonly"), std::string::npos) << "the message names the read-only database: " << out;

    // Reading needs no write access: the queue's listings open the databases for reading.
    const std::string read = fault::inChild({-1, true}, [&] {
        try {
            ServerDbSettings settings = ServerDatabase::fromConfiguration();
            settings.readOnly = true;
            ServerDatabase db(settings);
            db.useCompanyDatabase("DEMO");
            return "read|" + VarToStr(db.connection().scalar("SELECT COUNT(*) FROM ADMJB")) + "|" +
                   VarToStr(db.connection().scalar("SELECT COUNT(*) FROM DEMO.ACPTA"));
        } catch (const std::exception& e) {
            return std::string("failed|") + e.what();
        }
    });
    EXPECT_EQ(read.rfind("read|0|", 0), 0u) << read;
    makeWritableForAll(install.path("server/data"));
    EXPECT_EQ(snapshot(), before);
}

TEST_F(FaultWriteOff, ACompanyDatabaseLockedBeyondTheBusyTimeOutFailsClearlyAndTheNextRunWorks)
{
    RecordProperty("tried", "a write-off while another process holds a write lock on the company database "
                            "(busy time-out 300 ms)");
    {
        std::string ini = install.read("server/BriskoS.ini");
        ini.replace(ini.find("[DBE Setting]\n"), 14, "[DBE Setting]\nBusyTimeOut=300\n");
        install.write("server/BriskoS.ini", ini);
    }
    const auto before = snapshot();
    closeCompany();
    DbLock lock(install.path("server/data/DEMO.db"));
    ASSERT_TRUE(lock.held());
    const ServerLibraryOutcome out = runLibrary(run());
    EXPECT_FALSE(out.ok);
    EXPECT_NE(English(out.result).find("DEMO is busy"), std::string::npos) << out.result;
    EXPECT_NE(English(out.result).find("another program"), std::string::npos) << out.result;
    lock.release();
    EXPECT_EQ(snapshot(), before);
    EXPECT_TRUE(runLibrary(run()).ok) << "once the other program lets go the run works";
    EXPECT_EQ(batchRows(), 2);
}

TEST(FaultAlertLog, AFullDiskOrAReadOnlyFolderAnswersFalseAndKeepsWhatWasWritten)
{
    RecordProperty("tried", "alert log lines written to /dev/full, past a file size limit, and into a read-only "
                            "folder by an unprivileged user");
    TempInstall install;
    const std::string base = install.dir();
    const double when = EncodeDate(2031, 3, 4);
    ASSERT_TRUE(writeAlertLogAt(base, "Fault", "first line", "D", when));
    const std::string file = alertLogFileName(base, "Fault", "D", when);
    const std::string kept = install.read(file.substr(base.size()));

    // Past the file size limit: the line is refused whole, the earlier one stays.
    const std::string big(8192, 'x');
    EXPECT_EQ(fault::inChild({long(kept.size()) + 100, false},
                             [&] { return writeAlertLogAt(base, "Fault", big, "D", when) ? "written" : "refused"; }),
              "refused");
    EXPECT_EQ(install.read(file.substr(base.size())).substr(0, kept.size()), kept);

    // A full disk.
    const std::string fullFile = alertLogFileName(base, "Full", "D", when);
    fs::create_symlink("/dev/full", fullFile);
    EXPECT_FALSE(writeAlertLogAt(base, "Full", "a line", "D", when));

    // A folder the writer may not write.
    makeWritableForAll(install.dir());
    fs::permissions(install.path("Log"), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                             fs::perms::group_exec | fs::perms::others_read |
                                             fs::perms::others_exec);
    EXPECT_EQ(fault::inChild({-1, true},
                             [&] { return writeAlertLogAt(base, "Other", "a line", "D", when) ? "written" : "refused"; }),
              "refused");
    makeWritableForAll(install.path("Log"));
    EXPECT_EQ(install.read(file.substr(base.size())).substr(0, kept.size()), kept);
}
