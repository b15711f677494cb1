#pragma once
// TfrmBaseBatch: the form class every batch job descends from. Beside the run options it
// has a log-file option and direct processing: btnQuery registers the job with the job
// service and runs it at once, in this process through the job's server library when
// the application server runs on this machine, else by the server, and then queues the
// job's completion notifications in ADMTC.

#include "batch/BaseOpt.h"

#include <memory>

class DbConnection;

class TfrmBaseBatch : public TfrmBaseOpt {
    Q_OBJECT

public:
    explicit TfrmBaseBatch(QWidget* owner = nullptr);
    ~TfrmBaseBatch() override;

    TBitBtn* btnQuery = nullptr;
    TBitCheckBox* chkLog = nullptr;
    // The connection of the notification queue (the "ResultConnectString" database).
    std::unique_ptr<DbConnection> ADO1;

    // A completion message follows a direct run.
    bool ShowDoneMessage = false;

    void InitJob() override;
    bool InitSession(const Variant& session) override;
    bool CollectOptionTexts(Variant& texts, int index) override;
    bool CollectOptionValues(Variant& values, int index) override;
    // Command 5 runs the job directly; every command then closes the form.
    bool RunCommand(int command) override;
    void btnPeriodClick(QObject* sender) override;
    virtual void btnQueryClick(QObject* sender);
    // Asked before a direct run a person started: what it is going to post. False leaves
    // the form as it is. A command (RunCommand 5) is its caller's own decision: not asked.
    virtual bool ConfirmDirectRun() { return true; }

    // btnQuery is offered only with the server on this machine, btnPeriod up, the right
    // to run directly, and a program that is not for the server alone (ADMMB "11").
    void ApplyDirectRunRule();

protected:
    // Queues the program's completion notifications; false (and why) when it could not.
    bool QueueNotifications(const QString& requestNo, QString& why);

private:
    bool askBeforeDirectRun_ = true;
    // What the server's run of the job did (documents and totals), for the closing
    // message; empty from a server that does not say.
    QString remoteRunSummary();

    // Steps of a direct run (btnQueryClick).
    // The field being left is valid, the user has the right, the parameters are collected
    // and, when asked for, the run is confirmed.
    bool directRunAllowed();
    // Registers the run with the job service: its request number, "ERROR" when it could not.
    QString requestDirectRun(const Variant& packet);
    // Tells why the job service did not register the run.
    void reportRequestError();
    // Runs the job here through its server library, or by the server (remote set).
    bool runDirectly(const QString& requestNo, const Variant& values, const QString& jobNumber, bool& remote);
    void showRunFailure();
    void showDoneMessage();
};
