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
//                                  to the database engine's (sorts, sets, temporary tables)
//   A statement past a bound is stopped; the call answers Empty and ErrorDescript says
//   which bound, with the name of its setting.
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
//       arguments). Elements, each "Y" or "N" unless noted:
//         [0] may open the program     [1] may list data        [2] may queue jobs
//         [3] may run jobs directly    [4] may print            [5] may export
//         [6] super user               [7] data limit (text, empty: none)
//         [8] user name (text)
//       A super user has every right. A user without a rights row (ADMMR) for the program
//       gets "N" everywhere. Empty for an unknown or disabled user, or on failure.
//
//   SimpleSQL(sqlText, columnList, companyCode, databaseName [, params]) -> row set or Empty
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
//   ErrorDescript() -> text
//       Why the last call of a member failed, in words for the user and the name of the
//       setting of a bound that was hit; empty when it succeeded.
//
//   ResultConnectString(companyCode, databaseName) -> text
//       Connection string for DbConnection::open: the system database as main (where
//       ADMTC and ADMTD are) with the company database (databaseName, else the one of
//       companyCode) attached under its name. The empty text on failure.
//
// Tables the host's services read (see Schema.sql for every column)
//   ADMMS  settings matrix of a company: SELECT MS002, MS003 FROM ADMMS WHERE MS001 = :COMPANY
//   ADMMB  programs: MB002 name, MB005 "Y" = no direct processing, MB008 English name
//   QVRMA  users: MA001 code, MA002 name, MA003 mobile, MA004 mail
//   GENES  condition schemes; ADMMC companies; QVRINTMA portal settings
//   $$CMSMF currencies, $$PURMA suppliers, $$CMSMQ document types (MQ003 kind),
//   $$ACPTA / $$ACPTI / $$ACPTK documents, $$ACPLC write-off batches

#include "platform/Automation.h"
#include "server/ServerDatabase.h"

#include <memory>
#include <string>

class TdmReportCounter : public DispatchObject {
public:
    static constexpr const char* ProgId = "ReportCounterS.dmReportCounter";

    // Databases as the server configuration names them.
    TdmReportCounter();
    explicit TdmReportCounter(ServerDbSettings settings);
    ~TdmReportCounter() override;

    int SQLType();
    Variant GetPower(const std::string& databaseName, const std::string& userCode,
                     const std::string& programCode);
    Variant SimpleSQL(const std::string& sqlText, const std::string& columnList,
                      const std::string& companyCode, const std::string& databaseName,
                      const Variant& params = Variant());
    std::string ResultConnectString(const std::string& companyCode, const std::string& databaseName);
    std::string ErrorDescript() const;

private:
    void defineMembers();
    void logError(const std::string& member, const std::string& message);
    // Keeps and logs the reason of a failure; answers the kept text.
    std::string failed(const std::string& member, const std::exception& e, const std::string& sql = {});

    std::unique_ptr<ServerDatabase> db_;
    std::string lastError_;
};

// Registers the ProgID for this process.
void RegisterReportCounterS();
