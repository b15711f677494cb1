#include "host/ComCounter.h"
#include "platform/AsciiText.h"

namespace {

// Element i of a 0-based (or any-based) array as text; empty when there is none.
std::string item(const Variant& array, int i)
{
    try {
        if (!array.isArray() || array.dimCount() != 1 || i >= array.count())
            return {};
        return VarToStr(array[array.lowBound() + i]);
    } catch (const VariantError&) {
        return {};
    }
}

} // namespace

ComCounter::ComCounter(std::shared_ptr<AppServerLink> server) : server_(std::move(server))
{
    defineMethod("GetSysInfo", [this](std::span<Variant> args) { return getSysInfo(VarToStr(optArg(args, 0))); });
    defineMethod("GetCounter", [this](std::span<Variant> args) {
        Variant& name = arg(args, 0);
        return getCounter(VarToStr(name), args.size() > 1 ? args.subspan(1, 1) : std::span<Variant>(),
                          optArg(args, 2));
    });
}

Variant ComCounter::getSysInfo(const std::string& company)
{
    const std::vector<std::vector<Variant>> rows = RowsOf(
        server_->simpleSql("SELECT MS002, MS003 FROM ADMMS WHERE MS001 = :COMPANY ORDER BY MS002", "MS002,MS003",
                           company, "", SqlParams({{"COMPANY", Variant(company)}})));
    if (rows.empty())
        return Variant();
    try {
        Variant matrix = Variant::array2(0, 1, 0, int(rows.size()) - 1);
        for (int i = 0; i < int(rows.size()); ++i) {
            matrix.at(0, i) = rows[i].empty() ? Variant("") : Variant(VarToStr(rows[i][0]));
            matrix.at(1, i) = rows[i].size() < 2 ? Variant("") : Variant(VarToStr(rows[i][1]));
        }
        return matrix;
    } catch (const VariantError&) {
        return Variant(); // an answer of another shape is no settings matrix
    }
}

Variant ComCounter::getCounter(const std::string& name, std::span<Variant> args, const Variant& context)
{
    const std::string method = upperAscii(name);
    const std::string company = item(context, 0);
    const std::string database = item(context, 1);
    const Variant arguments = args.empty() ? Variant() : args[0];
    try {
        if (method == "SIMPLESQL") {
            const std::string sql = item(arguments, 0);
            if (sql.empty())
                return Variant();
            Variant params;
            if (arguments.isArray() && arguments.count() > 2)
                params = arguments[arguments.lowBound() + 2];
            return server_->simpleSql(sql, item(arguments, 1), company, database, params);
        }
        if (method == "SIMPLESQLPARTS") {
            const std::string sql = item(arguments, 0);
            const Variant receiver = arguments.isArray() && arguments.count() > 3 ? arguments[arguments.lowBound() + 3] : Variant();
            if (sql.empty() || !receiver.isDispatch())
                return Variant(false);
            const Variant params = arguments.count() > 2 ? arguments[arguments.lowBound() + 2] : Variant();
            int partRows = 0;
            if (arguments.count() > 4 && !arguments[arguments.lowBound() + 4].isEmptyOrNull())
                partRows = arguments[arguments.lowBound() + 4].toInt();
            const std::int64_t rows =
                server_->simpleSqlParts(sql, item(arguments, 1), company, database, params, partRows, [&](Variant& part) {
                    std::vector<Variant> call{std::move(part)};
                    const Variant more = receiver.invoke("Rows", call);
                    return !(more.type() == VarType::Bool && !more.toBool());
                });
            return rows < 0 ? Variant(false) : Variant(rows);
        }
        if (method == "RESULTCONNECTSTRING") {
            const Variant server = server_->server();
            if (!server.isDispatch())
                return Variant("");
            return Variant(VarToStr(server.call("ResultConnectString", {Variant(company), Variant(database)})));
        }
    } catch (const std::exception&) {
        // A server method that fails answers nothing; the form treats that as no data.
    }
    return Variant();
}
