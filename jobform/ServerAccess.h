#pragma once
// The job form's side of every call to the outside: the host shell's session object and
// its counter, validator and look-up window services, the application server behind
// MainMidas, and the job's own server library run in this process.
//
// Nothing here raises into the form: a missing service answers Empty, false or the empty
// text; a call that fails is answered the same way. Texts that go out pass through the
// form's outgoing conversion, texts that come back through its incoming conversion once
// the form's texts were converted (ConvertedFlag).

#include "platform/Variant.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <QStringList>

class QWidget;
class TfrmBaseGene;
class TSocketConnection;
class TSimpleObjectBroker;
class TSvrController;

class TServerAccess {
public:
    explicit TServerAccess(TfrmBaseGene& form);

    // Session services: counter, system settings, validator, version and product.
    void CreateServices();
    // The look-up window service, for jobs whose feature flags ask for it.
    void CreateLookupWindow();
    void ClearServices();

    void CallServerMethod(const QString& name, Variant& args, Variant& result);
    // A query whose answer comes in parts while it runs (the counter's SIMPLESQLPARTS),
    // each converted as CallServerMethod converts and handed to take, which may move from
    // it and answers false to stop. A counter without that method is asked for SimpleSQL,
    // whose answer is the one part. Answers how many rows came, -1 when the query failed.
    std::int64_t QueryInParts(const QString& sql, const QString& columns, const Variant& params, int partRows,
                              const std::function<bool(Variant& part)>& take);
    QString GetSystemSetting(const QString& name);
    bool ValidateValue(const QString& table, const QString& kind, bool query, Variant& result, const Variant& keys);
    QString GetMessageText(const QString& type, const QString& number);

    bool ConfigureConnection(TSocketConnection* connection, TSimpleObjectBroker* broker);
    bool ConnectAppServer();
    // Disconnects MainMidas unless the server lives in this process.
    void ReleaseConnection();

    void LookupData(const QString& table, const QString& kind, Variant& result, bool list, const QString& extra,
                    const Variant& keys);
    void PickPhrase(QWidget* control);
    QString PickDate(const QString& text);
    bool ShowHelp();

    bool RunServerLibrary(const Variant& requestNo, const QString& programCode, const QString& extra, int count,
                          const Variant& packet, const QString& databaseName, const QString& jobKind,
                          const QString& serverClassName, const QString& userCode, const QString& companyCode,
                          const QString& spare);

    // The folders searched for a job's server library (the server configuration's
    // work-library folders, each ending with a separator).
    static QStringList WorkLibraryFolders();
    // File name of a job's server library: program code + "S" and the platform's
    // library extension.
    static QString ServerLibraryName(const QString& programCode);

private:
    // The session object, or Empty.
    Variant session() const;
    // Brings the library at candidate up to date from the session's file list; false
    // (reported) when that failed.
    bool libraryUpToDate(const QString& candidate);
    // The first folder's library that exists and is up to date, else the one fetched into
    // the package folder (or the first folder); empty when none could be had.
    QString findServerLibrary(const QStringList& folders, const QString& fileName);
    // The run's result text into the form's records and, after a clean run, its summary.
    void readLibraryOutcome(TSvrController& controller, bool ok);

    TfrmBaseGene& form_;
};
