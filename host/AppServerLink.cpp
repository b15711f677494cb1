#include "host/AppServerLink.h"

#include "host/HostConfig.h"
#include "wire/RemoteClient.h"

namespace {

constexpr const char* kServerProgId = "ReportCounterS.dmReportCounter";

} // namespace

AppServerLink::AppServerLink(Factory factory) : factory_(std::move(factory)) {}

AppServerLink::Factory AppServerLink::FactoryFor(const HostConfig& config)
{
    if (!config.serverIsLocal()) {
        // The proxy connects at its first call and again after a connection broke.
        RemoteServerOptions o;
        o.address = config.serverAddress;
        o.port = config.serverPort;
        o.user = config.sessionUser;
        o.company = config.sessionCompany;
        o.secret = config.connectionSecret;
        o.tlsTrustFile = config.tlsTrustFile;
        o.connectTimeoutMs = config.connectTimeoutMs;
        o.callTimeoutMs = config.callTimeoutMs;
        return [o] { return CreateRemoteObject(std::make_shared<RemoteConnection>(o), kServerProgId); };
    }
    // The server in this process works for the session the host signed on.
    return [user = config.sessionUser, company = config.sessionCompany] {
        SetProcessSignOn(user, company);
        return CreateOleObject(kServerProgId);
    };
}

Variant AppServerLink::server()
{
    if (server_.isDispatch())
        return server_;
    try {
        if (!factory_)
            throw AutomationError("No application server is configured");
        DispatchPtr object = factory_();
        if (!object)
            throw AutomationError("The application server could not be created");
        server_ = Variant(object);
        lastError_.clear();
    } catch (const std::exception& e) {
        lastError_ = e.what();
        return Variant();
    }
    return server_;
}

Variant AppServerLink::simpleSql(const std::string& sql, const std::string& columns, const std::string& company,
                                 const std::string& database, const Variant& params)
{
    const Variant s = server();
    if (!s.isDispatch())
        return Variant();
    try {
        std::vector<Variant> args{Variant(sql), Variant(columns), Variant(company), Variant(database)};
        if (!params.isEmpty())
            args.push_back(params);
        Variant answer = s.invoke("SimpleSQL", args);
        lastError_.clear();
        if (answer.isArray()) {
            noticed_.clear();
            return answer;
        }
        // Empty is also the answer without rows; the server tells the two apart.
        try {
            lastError_ = VarToStr(s.call("ErrorDescript"));
        } catch (const std::exception&) {
            // A server without the member has nothing more to say.
        }
    } catch (const std::exception& e) {
        lastError_ = e.what();
    }
    tellFailure();
    return Variant();
}

std::int64_t AppServerLink::simpleSqlParts(const std::string& sql, const std::string& columns, const std::string& company,
                                           const std::string& database, const Variant& params, int partRows,
                                           const PartTaker& take)
{
    const Variant s = server();
    if (!s.isDispatch())
        return -1;
    const auto* object = dynamic_cast<const DispatchObject*>(s.toDispatch().get());
    if (object ? !object->hasMember("SimpleSQLParts") : !TakesCallbacks(*s.toDispatch())) {
        // A server that has no such member, or one elsewhere that takes no callbacks, sends
        // its answer whole.
        Variant answer = simpleSql(sql, columns, company, database, params);
        if (!answer.isArray())
            return lastError_.empty() ? 0 : -1;
        const std::int64_t rows = answer.count();
        take(answer);
        return rows;
    }
    try {
        std::vector<Variant> args{Variant(sql),
                                  Variant(columns),
                                  Variant(company),
                                  Variant(database),
                                  params,
                                  Variant(MakeCallbackObject("Rows",
                                                             [&take](std::span<Variant> part) {
                                                                 Variant rows = part.empty() ? Variant() : std::move(part[0]);
                                                                 return Variant(take(rows));
                                                             })),
                                  Variant(partRows)};
        const Variant answer = s.invoke("SimpleSQLParts", args);
        lastError_.clear();
        if (!answer.isEmptyOrNull()) {
            noticed_.clear();
            return answer.toInt64();
        }
        try {
            lastError_ = VarToStr(s.call("ErrorDescript"));
        } catch (const std::exception&) {
        }
        if (lastError_.empty())
            lastError_ = "The server answered no row count";
    } catch (const std::exception& e) {
        lastError_ = e.what();
    }
    tellFailure();
    return -1;
}

void AppServerLink::tellFailure()
{
    if (lastError_.empty()) {
        noticed_.clear();
    } else if (notice_ && lastError_ != noticed_) {
        noticed_ = lastError_;
        notice_(lastError_);
    }
}

Variant SqlParams(std::initializer_list<std::pair<const char*, Variant>> pairs)
{
    std::vector<Variant> items;
    for (const auto& [name, value] : pairs)
        items.push_back(Variant::list({Variant(name), value}));
    return Variant::list(std::move(items));
}

std::vector<std::vector<Variant>> RowsOf(const Variant& rowSet)
{
    std::vector<std::vector<Variant>> rows;
    if (!rowSet.isArray() || rowSet.dimCount() != 1)
        return rows;
    for (const Variant& row : rowSet.elements()) {
        if (row.isArray() && row.dimCount() == 1)
            rows.push_back(row.elements());
        else
            rows.push_back({row});
    }
    return rows;
}
