#pragma once
// The host services' way to the company database: the application server object
// "ReportCounterS.dmReportCounter", created by ProgID on first use, and its generic
// SimpleSQL method. The services never link server code and never open a database.
//
// Nothing here throws: a failed creation or call answers Empty and keeps the reason in
// lastError(), because service calls must not raise into a job form. A query the server
// could not answer (a database another program keeps locked, a query past the server's
// bounds) is also handed to the notice, so that the user learns why a list stays empty.

#include "platform/Automation.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct HostConfig;

class AppServerLink {
public:
    using Factory = std::function<DispatchPtr()>;

    explicit AppServerLink(Factory factory);
    // The server of an installation: in-process by ProgID when its address is this
    // machine's, else a proxy of the server at that address (wire/RemoteClient.h),
    // signed on for the configuration's session user and company.
    static Factory FactoryFor(const HostConfig& config);

    // The server object, created on the first call; Empty when it cannot be had.
    Variant server();

    // Runs a query; "$$" before a table name stands for the company database. params is
    // Empty or an array of [name, value] pairs bound to ":NAME" placeholders. Answers a row
    // set (rows of values in the order of columns), or Empty when nothing came back or the
    // call failed.
    Variant simpleSql(const std::string& sql, const std::string& columns, const std::string& company,
                      const std::string& database, const Variant& params = Variant());

    // The same query, its answer handed to take while it runs, in parts of at most partRows
    // rows (over the network too: each part is a callback), or whole from a server that
    // cannot hand parts over;
    // take may move from its part and answers false to stop. Answers how many rows were
    // handed over, -1 when the call failed (lastError says why, the notice hears it).
    using PartTaker = std::function<bool(Variant& part)>;
    std::int64_t simpleSqlParts(const std::string& sql, const std::string& columns, const std::string& company,
                                const std::string& database, const Variant& params, int partRows,
                                const PartTaker& take);

    const std::string& lastError() const { return lastError_; }

    // Called with the server's reason when a query fails; a reason is passed on once until
    // a query succeeds again or another reason comes.
    using Notice = std::function<void(const std::string& reason)>;
    void setNotice(Notice notice) { notice_ = std::move(notice); }

private:
    // Hands a new reason of failure to the notice.
    void tellFailure();

    Factory factory_;
    Variant server_;
    std::string lastError_;
    Notice notice_;
    std::string noticed_;
};

// [name, value] pairs for AppServerLink::simpleSql.
Variant SqlParams(std::initializer_list<std::pair<const char*, Variant>> pairs);

// The rows of a row set as vectors of values; an answer that is no array gives no rows,
// a row that is no array gives a row of one value.
std::vector<std::vector<Variant>> RowsOf(const Variant& rowSet);
