#include "jobform/ServerAccess.h"
#include "jobform/BaseGene.h"
#include "jobform/BaseGeneU.h"
#include "jobform/SocketConnection.h"
#include "jobform/QVDownLoadNewFileU.h"

#include "config/QtVariant.h"
#include "config/RunTimeProps.h"
#include "platform/Automation.h"
#include "platform/DynLib.h"
#include "platform/OleDate.h"
#include "wire/RemoteClient.h"
#include "platform/SvrController.h"
#include "platform/SystemInfo.h"
#include "support/BriskoINI.h"
#include "support/Dates.h"
#include "support/AlertLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QWidget>

#include <memory>

namespace {

// The system in which a loaded server library is never released again.
const char* const kKeepLibrariesVersion = "4.90.73010104";

Variant wrapCall(const Variant& object, std::string_view name, std::initializer_list<Variant> args)
{
    std::vector<Variant> list(args);
    return object.invoke(name, list);
}

std::string libraryExtension()
{
    return ".so";
}

// What the job's server library is asked to run: a batch job ("B") gets the shorter
// request.
Variant libraryRequest(const TfrmBaseGene& form, const Variant& requestNo, const QString& extra, int count,
                       const Variant& packet, const QString& databaseName, const QString& jobKind,
                       const QString& userCode, const QString& companyCode, const QString& spare)
{
    Variant request;
    if (jobKind.compare(QLatin1String("B"), Qt::CaseInsensitive) != 0) {
        request = Variant::array(0, 11);
        request[0] = requestNo;
        request[1] = QStrToVar(spare);
        request[2] = QStrToVar(companyCode);
        request[3] = QStrToVar(userCode);
        request[4] = QStrToVar(databaseName);
        request[5] = packet;
        request[6] = count;
        request[7] = QStrToVar(jobKind.toUpper());
        request[8] = QStrToVar(extra);
        request[9] = form.ProductId;
        request[10] = form.OptionsFilled ? 1 : 0;
        request[11] = QStrToVar(form.UICodePage());
    } else {
        request = Variant::array(0, 6);
        request[0] = requestNo;
        request[1] = QStrToVar(companyCode);
        request[2] = QStrToVar(userCode);
        request[3] = packet;
        request[4] = QStrToVar(databaseName);
        request[5] = QStrToVar(extra);
        request[6] = form.ProductId;
    }
    return request;
}

} // namespace

TServerAccess::TServerAccess(TfrmBaseGene& form) : form_(form) {}

Variant TServerAccess::session() const
{
    return form_.SessionObject.isDispatch() ? form_.SessionObject : Variant();
}

// --- Session services ----------------------------------------------------------------------

void TServerAccess::CreateServices()
{
    if (!form_.IsLibraryMode()) {
        // A program holding the form has no host shell: it makes its own session.
        try {
            form_.SessionObject = Variant(CreateOleObject("VostelWorkCenter.Manager"));
        } catch (const std::exception&) {
            form_.SessionObject = Variant();
        }
    }
    const Variant s = session();
    try {
        form_.CounterObject = s.isDispatch() ? s.get("Com_Counter") : Variant();
        GetSystemSetting(QString());
        form_.CompanyTitle = GetSystemSetting(QStringLiteral("QVR002"));
        // Read before the form converts what it reads, like the job's name.
        if (!form_.ConvertedFlag)
            form_.CompanyTitle = VarToQStr(form_.IncomingConvert(QStrToVar(form_.CompanyTitle)));
    } catch (const std::exception&) {
        form_.CounterObject = Variant();
    }
    try {
        form_.ValidatorObject = s.isDispatch() ? s.get("Com_Validator") : Variant();
    } catch (const std::exception&) {
        form_.ValidatorObject = Variant();
    }
    try {
        if (s.isDispatch())
            form_.VersionType = s.get("VersionType").toInt();
    } catch (const std::exception&) {
    }
    try {
        form_.ProductId = s.isDispatch() ? s.get("ProductID").toInt() : 3;
    } catch (const std::exception&) {
        form_.ProductId = 3;
    }
}

void TServerAccess::CreateLookupWindow()
{
    if (!(form_.FeatureFlags & 4))
        return;
    try {
        const Variant s = session();
        form_.LookupWindowObject = s.isDispatch() ? s.get("Com_F2Window") : Variant();
    } catch (const std::exception&) {
        form_.LookupWindowObject = Variant();
    }
}

void TServerAccess::ClearServices()
{
    form_.CounterObject = Variant();
    form_.ValidatorObject = Variant();
    form_.LookupWindowObject = Variant();
}

// --- Calls ---------------------------------------------------------------------------------

void TServerAccess::CallServerMethod(const QString& name, Variant& args, Variant& result)
{
    result = Variant();
    if (!form_.CounterObject.isDispatch())
        return;
    try {
        Variant context = Variant::array(0, 1);
        context[0] = QStrToVar(form_.CompanyCode);
        context[1] = QStrToVar(form_.DatabaseName);
        std::vector<Variant> call{QStrToVar(name.toUpper()), args, context};
        result = form_.CounterObject.invoke("GetCounter", call);
        args = call[1];
    } catch (const std::exception& e) {
        // A failed server method answers as one that returned nothing; the trace stays in
        // the alert log for whoever looks after the installation.
        WriteAlertLog("BaseGene", "CallServerMethod " + Utf8(name) + ": " + e.what(), "D");
        result = Variant();
        return;
    }
    if (form_.ConvertedFlag)
        result = form_.IncomingConvert(result);
}

std::int64_t TServerAccess::QueryInParts(const QString& sql, const QString& columns, const Variant& params, int partRows,
                                        const std::function<bool(Variant& part)>& take)
{
    if (!form_.CounterObject.isDispatch())
        return -1;
    const Variant receiver(MakeCallbackObject("Rows", [this, &take](std::span<Variant> args) {
        Variant part = args.empty() ? Variant() : std::move(args[0]);
        if (form_.ConvertedFlag)
            part = form_.IncomingConvert(part);
        return Variant(take(part));
    }));
    Variant args = Variant::list({QStrToVar(sql), QStrToVar(columns), params, receiver, Variant(partRows)});
    Variant answer;
    CallServerMethod(QStringLiteral("SimpleSQLParts"), args, answer);
    if (answer.type() == VarType::Int || answer.type() == VarType::Int64)
        return answer.toInt64();
    if (answer.type() == VarType::Bool)
        return -1;
    // A counter that does not offer the parts answers Empty.
    Variant whole;
    args = params.isEmptyOrNull() ? Variant::list({QStrToVar(sql), QStrToVar(columns)})
                                  : Variant::list({QStrToVar(sql), QStrToVar(columns), params});
    CallServerMethod(QStringLiteral("SimpleSQL"), args, whole);
    if (!whole.isArray())
        return 0;
    const std::int64_t rows = whole.count();
    take(whole);
    return rows;
}

QString TServerAccess::GetSystemSetting(const QString& name)
{
    QString value;
    if (name.isEmpty()) {
        if (form_.CounterObject.isDispatch()) {
            const Variant matrix =
                wrapCall(form_.CounterObject, "GetSysInfo", {QStrToVar(form_.CompanyCode)});
            form_.SysInfoCache.clear();
            form_.SysInfoLoaded = true;
            if (matrix.isArray() && matrix.dimCount() == 2) {
                for (int i = matrix.lowBound(2); i <= matrix.highBound(2); ++i)
                    form_.SysInfoCache.insert(VarToQStr(matrix.at(matrix.lowBound(1), i)).trimmed().toUpper(),
                                              VarToQStr(matrix.at(matrix.lowBound(1) + 1, i)));
            }
        }
        return QString();
    }
    if (form_.SysInfoLoaded)
        value = form_.SysInfoCache.value(name.trimmed().toUpper());
    if (value.isEmpty()) {
        const QString upper = name.toUpper();
        const bool english = form_.EnglishInterface();
        if (upper == QLatin1String("SYS007"))
            value = english ? QStringLiteral("Inv.Cate.1") : QStringLiteral("商品分类方式一");
        else if (upper == QLatin1String("SYS008"))
            value = english ? QStringLiteral("Inv.Cate.2") : QStringLiteral("商品分类方式二");
        else if (upper == QLatin1String("SYS009"))
            value = english ? QStringLiteral("Inv.Cate.3") : QStringLiteral("商品分类方式三");
        else if (upper == QLatin1String("SYS010"))
            // The English series has no fourth caption of its own; it goes on as the first three.
            value = english ? QStringLiteral("Inv.Cate.4") : QStringLiteral("商品分类方式四");
    }
    if (form_.ConvertedFlag)
        value = VarToQStr(form_.IncomingConvert(QStrToVar(value)));
    return value;
}

bool TServerAccess::ValidateValue(const QString& table, const QString& kind, bool query, Variant& result,
                                  const Variant& keys)
{
    const Variant outKeys = form_.OutgoingConvert(keys);
    if (!form_.ValidatorObject.isDispatch())
        return false;
    try {
        form_.ValidatorObject.put("ProductID", form_.ProductId);
    } catch (const std::exception&) {
    }
    try {
        form_.ValidatorObject.put("BaseLimited", QStrToVar(form_.BaseLimitText));
    } catch (const std::exception&) {
    }
    bool answer = false;
    try {
        std::vector<Variant> call{QStrToVar(table), QStrToVar(kind), QStrToVar(form_.DatabaseName), outKeys, result};
        const Variant r = form_.ValidatorObject.invoke(query ? "QueryData" : "CheckValue", call);
        result = call[4];
        answer = r.toBool();
    } catch (const std::exception&) {
        return false;
    }
    if (form_.ConvertedFlag)
        result = form_.IncomingConvert(result);
    return answer;
}

QString TServerAccess::GetMessageText(const QString& type, const QString& number)
{
    const auto fallBack = [&] {
        return QStringLiteral("Can not Get Message\rType= %1, ID= %2 ").arg(type, number);
    };
    QString text;
    const Variant s = session();
    if (!s.isDispatch()) {
        text = fallBack();
    } else {
        try {
            text = VarToQStr(wrapCall(s, "GetMessage", {QStrToVar(type), QStrToVar(number)}));
        } catch (const std::exception&) {
            // A catalogue that cannot answer is no reason to lose the message.
            text = fallBack();
        }
    }
    return VarToQStr(form_.IncomingConvert(QStrToVar(text)));
}

// --- Application server --------------------------------------------------------------------

bool TServerAccess::ConfigureConnection(TSocketConnection* connection, TSimpleObjectBroker*)
{
    if (!form_.MessageCodes.isEmpty()) {
        // Whatever went wrong before (a short session, a wrong form name) is said again
        // instead of connecting.
        form_.ReportMessage(form_.MessageCodes);
        return false;
    }
    try {
        const TBriskoIniC ini;
        const Variant& servers = ini.Servers;
        if (servers.isArray() && servers.dimCount() == 2 && servers.count(2) > 0) {
            const int first = servers.lowBound(2);
            connection->SetAddress(VarToQStr(servers.at(servers.lowBound(1), first)));
            connection->SetObjectBroker(nullptr);
            connection->SetPort(servers.at(servers.lowBound(1) + 1, first).toInt());
        }
        connection->SetSecret(ini.ConnectionSecret);
        connection->SetTlsTrustFile(ini.TlsCertificate);
        connection->SetTimeLimits(ini.ConnectTimeOut, ini.CallTimeOut);
        return true;
    } catch (const std::exception& e) {
        form_.ReportRawError(QString::fromUtf8(e.what()));
        return false;
    }
}

bool TServerAccess::ConnectAppServer()
{
    TSocketConnection* connection = form_.MainMidas;
    try {
        form_.AppServer = Variant();
        if (connection->Connected())
            connection->Close();
        form_.IsLocalServer = connection->Address() == QLatin1String("127.0.0.1");
        if (form_.IsLocalServer) {
            // The server in this process works for the form's session, as one elsewhere
            // works for the session its connection signed on for.
            SetProcessSignOn(Utf8(form_.UserCode), Utf8(form_.CompanyCode));
            const Variant server(CreateOleObject(Utf8(connection->ServerName())));
            connection->SetAppServer(server);
            form_.AppServer = server;
        } else {
            connection->SetSessionIdentity(form_.UserCode, form_.CompanyCode);
            connection->Open();
            if (connection->Connected())
                form_.AppServer = connection->AppServer();
        }
        return true;
    } catch (const std::exception& e) {
        form_.ReportRawError(QString::fromUtf8(e.what()));
        return false;
    }
}

void TServerAccess::ReleaseConnection()
{
    if (form_.MainMidas && !form_.IsLocalServer)
        form_.MainMidas->Close();
}

// --- Look-up windows -----------------------------------------------------------------------

void TServerAccess::LookupData(const QString& table, const QString& kind, Variant& result, bool list,
                               const QString& extra, const Variant& keys)
{
    result = Variant();
    if (!form_.LookupWindowObject.isDispatch())
        return;
    Variant request = Variant::array(0, 18);
    request[0] = QStrToVar(table);
    request[1] = QStrToVar(kind);
    request[2] = form_.OutgoingConvert(keys);
    request[3] = list;
    request[4] = form_.OutgoingConvert(QStrToVar(extra));
    request[5] = QStrToVar(form_.CompanyCode);
    request[6] = QStrToVar(form_.DatabaseName);
    request[7] = std::int64_t(form_.winId());
    request[8] = 1;
    request[9] = false;
    request[10] = form_.ProductId;
    request[11] = "";
    request[12] = "";
    request[13] = "";
    request[14] = QStrToVar(form_.BaseLimitText);
    request[15] = false;
    request[16] = false;
    request[17] = form_.SessionObject;
    request[18] = QStrToVar(form_.UserCode);
    try {
        result = wrapCall(form_.LookupWindowObject, "F2GetData", {request});
    } catch (const std::exception& e) {
        WriteAlertLog("BaseGene", std::string("F2GetData: ") + e.what(), "D");
        result = Variant();
        return;
    }
    if (form_.ConvertedFlag)
        result = form_.IncomingConvert(result);
}

void TServerAccess::PickPhrase(QWidget* control)
{
    QString text;
    if (form_.LookupWindowObject.isDispatch()) {
        try {
            text = VarToQStr(wrapCall(form_.LookupWindowObject, "GetPhrase",
                                      {QStrToVar(form_.UserCode), QStrToVar(form_.DatabaseName),
                                       std::int64_t(form_.winId())}));
        } catch (const std::exception&) {
            text.clear();
        }
    }
    if (form_.ConvertedFlag)
        text = VarToQStr(form_.IncomingConvert(QStrToVar(text)));
    if (!text.isEmpty() && control)
        SetStringProperty(control, QStringLiteral("Text"), text);
}

QString TServerAccess::PickDate(const QString& text)
{
    // Without the picker the date stays as it is: callers put the answer back into the
    // field, and an F2 press must not wipe what the user typed.
    if (!form_.LookupWindowObject.isDispatch())
        return text;
    const int code = form_.GetDateFormat();
    // The field shows the date in the user's order: the picker opens at that day.
    QString start = text.trimmed();
    if (!IsValidCompactDate(Utf8(start)) || start.isEmpty())
        start = QString::fromStdString(
            dateToCompact(DisplayTextToDate(Utf8(start), code, Utf8(form_.GetDateSeparator()))));
    if (start.size() != 8) {
        const CivilDate today = DecodeDateTime(Today());
        start = QString::asprintf("%.4d%.2d%.2d", today.year, today.month, today.day);
    }
    QString answer;
    try {
        Variant request = Variant::array(0, 2);
        request[0] = code > 3;
        request[1] = QStrToVar(start);
        request[2] = QStrToVar(form_.DatabaseName);
        answer = VarToQStr(wrapCall(form_.LookupWindowObject, "ShowInputDay", {request})).trimmed();
    } catch (const std::exception&) {
        answer.clear();
    }
    if (answer.isEmpty())
        return text;
    return QString::fromStdString(
        DateToDisplayText(code, Utf8(form_.GetDateSeparator()), CompactToDate(Utf8(answer))));
}

bool TServerAccess::ShowHelp()
{
    const QString topic = helpTopicOf(form_.ProgramCode);
    if (topic.isEmpty())
        return false;
    const Variant s = session();
    if (!s.isDispatch())
        return false;
    try {
        Variant request = Variant::array(0, 1);
        request[0] = QStrToVar(form_.ProgramCode.left(3));
        request[1] = QStrToVar(topic);
        wrapCall(s, "CallHelp", {request});
    } catch (const std::exception&) {
        // No help to show is not worth more than the missing window.
        return false;
    }
    return true;
}

// --- Server library ------------------------------------------------------------------------

QStringList TServerAccess::WorkLibraryFolders()
{
    QStringList folders;
    try {
        const TBriskoIniS ini;
        std::vector<std::string> paths;
        ini.GetWorkDLLPaths(paths);
        for (const std::string& p : paths)
            folders.append(QString::fromStdString(p));
    } catch (const std::exception&) {
        folders.clear();
    }
    return folders;
}

QString TServerAccess::ServerLibraryName(const QString& programCode)
{
    return programCode + QStringLiteral("S") + QString::fromStdString(libraryExtension());
}

bool TServerAccess::libraryUpToDate(const QString& candidate)
{
    QString fileList;
    try {
        const Variant s = session();
        if (s.isDispatch()) {
            Variant names = Variant::array(0, 0);
            names[0] = QStrToVar(QFileInfo(candidate).fileName().toLower());
            fileList = VarToQStr(wrapCall(s, "GetFileList", {names}));
        }
    } catch (const std::exception&) {
        fileList.clear();
    }
    // The download signs on for the session this form works for.
    SetProcessSignOn(Utf8(form_.UserCode), Utf8(form_.CompanyCode));
    QString error;
    const bool ok = UpdateFile(fileList, candidate, error, true, &form_);
    if (!ok)
        form_.ReportRawError(error);
    return ok;
}

QString TServerAccess::findServerLibrary(const QStringList& folders, const QString& fileName)
{
    QString chosen;
    QString packageFolder;
    for (const QString& folder : folders) {
        const QString candidate = folder + fileName;
        if (QFileInfo::exists(candidate) && libraryUpToDate(candidate)) {
            chosen = candidate;
            break;
        }
        if (packageFolder.isEmpty() && folder.toUpper().contains(QLatin1String("S_PKG")))
            packageFolder = folder;
    }
    if (chosen.isEmpty()) {
        if (folders.isEmpty())
            return QString();
        const QString candidate = (packageFolder.isEmpty() ? folders.first() : packageFolder) + fileName;
        if (!libraryUpToDate(candidate))
            return QString();
        chosen = candidate;
    }
    return chosen;
}

void TServerAccess::readLibraryOutcome(TSvrController& controller, bool ok)
{
    QString resultText;
    try {
        resultText = QString::fromStdString(controller.GetResultText());
    } catch (const std::exception& e) {
        resultText = QString::fromUtf8(e.what());
    }
    // The job's own outcome is what the run reports (an empty text clears the records);
    // an exception of the run itself stays recorded beside it.
    if (ok || !resultText.trimmed().isEmpty())
        form_.ReportRawError(resultText);
    // What a successful run did, for the message that ends it.
    form_.RunSummary.clear();
    if (ok && resultText.trimmed().isEmpty()) {
        try {
            form_.RunSummary = QString::fromStdString(controller.GetSummaryText());
        } catch (const std::exception&) {
        }
    }
}

bool TServerAccess::RunServerLibrary(const Variant& requestNo, const QString& programCode, const QString& extra,
                                     int count, const Variant& packet, const QString& databaseName,
                                     const QString& jobKind, const QString& /*serverClassName*/,
                                     const QString& userCode, const QString& companyCode, const QString& spare)
{
    QCoreApplication::processEvents();
    const QStringList folders = WorkLibraryFolders();
    const QString fileName = ServerLibraryName(programCode);
    const QString chosen = findServerLibrary(folders, fileName);
    if (chosen.isEmpty())
        return false;

    HMODULE module = LoadLibrary(Utf8(chosen));
    if (!module) {
        form_.ReportRawError(QString::fromStdString(LastLibraryError()));
        return false;
    }
    const auto releaseLibrary = [&] {
        if (GetOsVersionText() != kKeepLibrariesVersion)
            FreeLibrary(module);
    };
    auto getController = reinterpret_cast<TGetSvrController>(GetProcAddress(module, "GetSvrController"));
    if (!getController) {
        FreeLibrary(module);
        form_.ReportRawError(QStringLiteral("GetSvrController not found in %1").arg(chosen));
        return false;
    }

    bool ok = true;
    std::unique_ptr<TSvrController> controller;
    try {
        controller.reset(getController());
        if (!controller)
            throw Exception("GetSvrController gave no controller");
        controller->RunJob(libraryRequest(form_, requestNo, extra, count, packet, databaseName, jobKind, userCode,
                                          companyCode, spare));
    } catch (const std::exception& e) {
        ok = false;
        form_.ReportRawError(QString::fromUtf8(e.what()));
    }
    if (controller) {
        readLibraryOutcome(*controller, ok);
        controller.reset();
    }
    releaseLibrary();
    QCoreApplication::processEvents();
    return ok;
}
