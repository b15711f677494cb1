#include "batch/BaseBatchCF.h"
#include "batch/BaseOptU.h"

#include "config/QtVariant.h"
#include "controls/BtChkBox.h"
#include "controls/Buttons.h"
#include "controls/ExtPage.h"
#include "db/Db.h"
#include "platform/OleDate.h"
#include "support/Helpers.h"
#include "support/NotificationQueue.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPointer>

#include <vector>

TfrmBaseBatch::TfrmBaseBatch(QWidget* owner) : TfrmBaseOpt(owner)
{
    btnOk->SetCaption(QStringLiteral("后台处理"));
    btnOk->SetHint(QStringLiteral("后台处理"));
    btnQuery = new TBitBtn(Panel1);
    btnQuery->setObjectName(QStringLiteral("btnQuery"));
    btnQuery->SetCaption(QStringLiteral("直接处理"));
    btnQuery->SetHint(QStringLiteral("直接处理"));
    auto* row = static_cast<QHBoxLayout*>(Panel1->layout());
    row->insertWidget(row->indexOf(btnOk), btnQuery);
    btnQuery->OnClick = [this](QObject* s) { btnQueryClick(s); };

    chkLog = new TBitCheckBox(tsOption2);
    chkLog->setObjectName(QStringLiteral("chkLog"));
    chkLog->SetCaption(QStringLiteral("生成Log文档"));
    chkLog->setGeometry(170, 12, 110, 17);
    grpGenTime->setTitle(QStringLiteral("运行方式"));
    // chkNotify follows the log option in the tab order.
    QWidget::setTabOrder(chkLog, chkNotify);
}

TfrmBaseBatch::~TfrmBaseBatch() = default;

void TfrmBaseBatch::InitJob()
{
    TfrmBaseOpt::InitJob();
    JobKind = QStringLiteral("B");
    OptionBase = 2;
    ShowDoneMessage = true;
}

bool TfrmBaseBatch::InitSession(const Variant& session)
{
    const bool result = TfrmBaseOpt::InitSession(session);
    ApplyDirectRunRule();
    return result;
}

bool TfrmBaseBatch::CollectOptionTexts(Variant& texts, int index)
{
    const bool result = TfrmBaseOpt::CollectOptionTexts(texts, index);
    // A job without options of its own has no slot for the log flag.
    if (index + 1 >= 1 && index + 1 < OptionCount)
        texts[index + 1] = Variant::list({QStrToVar(chkLog->Caption()), "chkLog"});
    return result;
}

bool TfrmBaseBatch::CollectOptionValues(Variant& values, int index)
{
    const bool result = TfrmBaseOpt::CollectOptionValues(values, index);
    if (index + 1 >= 1 && index + 1 < OptionCount)
        values[index + 1] = chkLog->Checked() ? "Y" : "N";
    return result;
}

bool TfrmBaseBatch::RunCommand(int command)
{
    const bool result = TfrmBaseOpt::RunCommand(command);
    QPointer<TfrmBaseBatch> self(this);
    // A command runs the job whether or not the button is offered to a person.
    if (command == 5) {
        // Not a scoped rollback: the run may close the form under it.
        askBeforeDirectRun_ = false;
        Fire(btnQuery->OnClick, btnQuery);
        if (self)
            askBeforeDirectRun_ = true;
    }
    if (self)
        PostClose();
    return result;
}

void TfrmBaseBatch::btnPeriodClick(QObject* sender)
{
    TfrmBaseOpt::btnPeriodClick(sender);
    ApplyDirectRunRule();
}

void TfrmBaseBatch::ApplyDirectRunRule()
{
    bool offered = IsLocalServer && !btnPeriod->Down() && RightAllows(0) && RightAllows(3);
    Variant row;
    if (ValidateValue(QStringLiteral("ADMMB"), QStringLiteral("11"), false, row, Variant::list({QStrToVar(ProgramCode.toUpper())}))
        && !row.isEmptyOrNull() && row.isArray() && row.count() > 3
        && VarToQStr(row[row.lowBound() + 3]).trimmed() == QLatin1String("Y"))
        offered = false;
    btnQuery->setEnabled(offered);
    if (Rights.isArray() && RightAllows(0) && !RightAllows(3))
        btnQuery->SetHint(GetText(QStringLiteral("sNoDirectRight"), QStringLiteral("您没有直接处理本作业的权限")));
}

bool TfrmBaseBatch::QueueNotifications(const QString& requestNo, QString& why)
{
    try {
        // A server elsewhere queues them itself: its files and logins are not the desk's.
        if (!IsLocalServer) {
            std::vector<Variant> args{QStrToVar(requestNo)};
            why = DisplayConvert(VarToQStr(IncomingConvert(AppServer.invoke("QueueNotifications", args)))).trimmed();
            return why.isEmpty();
        }
        if (!ADO1 || !ADO1->isOpen()) {
            Variant args = Variant::list({""});
            Variant answer;
            CallServerMethod(QStringLiteral("ResultConnectString"), args, answer);
            const std::string connect = answer.isEmptyOrNull() ? std::string() : VarToStr(answer);
            if (connect.empty()) {
                why = GetText(QStringLiteral("sNoQueue"), QStringLiteral("无法取得讯息队列的连接"));
                return false;
            }
            auto db = std::make_unique<DbConnection>();
            db->open(connect);
            ADO1 = std::move(db);
        }
        const NotificationOutcome out =
            QueueProgramNotifications(*ADO1, Utf8(DatabaseName), Utf8(ProgramCode.toUpper()), Utf8(UserCode), Utf8(CompanyCode));
        QStringList failures;
        for (const std::string& f : out.failures)
            failures << QString::fromStdString(f);
        why = failures.join(QStringLiteral("; "));
        return failures.isEmpty();
    } catch (const std::exception& e) {
        why = QString::fromUtf8(e.what());
        return false;
    }
}

QString TfrmBaseBatch::remoteRunSummary()
{
    try {
        return VarToQStr(IncomingConvert(AppServer.call("LastRunSummary"))).trimmed();
    } catch (const std::exception&) {
        return QString();
    }
}

bool TfrmBaseBatch::directRunAllowed()
{
    // The field being left is checked first, whether or not the window had the focus.
    if (!ExitActiveControl(btnQuery, [this] { return ValidationFailed; }))
        return false;
    if (!RightAllows(0) || !RightAllows(3)) {
        ShowMessageDialog(GetText(QStringLiteral("sNoDirectRight"), QStringLiteral("您没有直接处理本作业的权限")), mtError,
                          {mbOK});
        return false;
    }
    return CollectParams() && (!askBeforeDirectRun_ || ConfirmDirectRun());
}

QString TfrmBaseBatch::requestDirectRun(const Variant& packet)
{
    try {
        std::vector<Variant> args{packet, QStrToVar(GetComputerName())};
        return VarToQStr(AppServer.invoke("Request1", args));
    } catch (const std::exception&) {
        return QStringLiteral("ERROR");
    }
}

void TfrmBaseBatch::reportRequestError()
{
    QString reason;
    try {
        std::vector<Variant> none;
        reason = WordServerMessages(
            DisplayConvert(VarToQStr(IncomingConvert(AppServer.invoke("ErrorDescript", none)))), UICodePage());
    } catch (const std::exception& e) {
        reason = QString::fromUtf8(e.what());
    }
    ReportMessage(QStringLiteral("E;000013;") + reason);
}

bool TfrmBaseBatch::runDirectly(const QString& requestNo, const Variant& values, const QString& jobNumber, bool& remote)
{
    bool ran = false;
    try {
        if (IsLocalServer) {
            ran = RunServerLibrary(QStrToVar(requestNo), ProgramCode, jobNumber, 1, values, DatabaseName, JobKind,
                                   ServerClassName, UserCode, CompanyCode, QString());
            ran = ran && MessageTexts.trimmed().isEmpty();
        } else {
            remote = true;
            std::vector<Variant> args{QStrToVar(requestNo), QStrToVar(ProgramCode), "", QStrToVar(CompanyCode),
                                      QStrToVar(UserCode), QStrToVar(ServerClassName), QStrToVar(JobKind),
                                      QStrToVar(DatabaseName), values, 1, QStrToVar(jobNumber), ProductId};
            const QString failure = VarToQStr(IncomingConvert(AppServer.invoke("ExecSvrDLL", args))).trimmed();
            if (!failure.isEmpty())
                ReportRawError(failure);
            ran = failure.isEmpty();
            if (ran)
                RunSummary = remoteRunSummary();
        }
    } catch (const std::exception& e) {
        ReportRawError(QString::fromUtf8(e.what()));
        ran = false;
    }
    return ran;
}

void TfrmBaseBatch::showRunFailure()
{
    if (MessageTexts.trimmed().isEmpty())
        ReportRawError(GetText(QStringLiteral("sNoResult"), QStringLiteral("作业没有完成")));
    const QString reason = GetText(QStringLiteral("TfrmBaseBatch"), QStringLiteral("sReason"),
                                   QStringLiteral("有问题! 原因: "));
    ShowMessageDialog(reason + QLatin1Char('\r') + WordServerMessages(DisplayConvert(MessageTexts), UICodePage()),
                      mtError, {mbOK});
}

void TfrmBaseBatch::showDoneMessage()
{
    ShowMessageDialog(GetText(QStringLiteral("TfrmBaseBatch"), QStringLiteral("sOver"), QStringLiteral("处理完毕! "))
                          + WordServerMessages(DisplayConvert(MessageTexts), UICodePage())
                          + (RunSummary.isEmpty()
                                 ? QString()
                                 : QLatin1Char('\r') + WordServerMessages(DisplayConvert(RunSummary), UICodePage())),
                      mtInformation, {mbOK});
}

void TfrmBaseBatch::btnQueryClick(QObject*)
{
    btnQuery->setEnabled(false);
    QPointer<TfrmBaseBatch> self(this);
    const auto done = [&] {
        if (self)
            ApplyDirectRunRule();
    };
    if (!directRunAllowed()) {
        done();
        return;
    }
    Variant packet = VariantFromCodePage(ParamPacket, 936);
    const QString requestNo = requestDirectRun(packet);
    const auto updateStatus = [&](const QString& texts) {
        try {
            // The summary goes with the end: the server tells the clerk's recipients.
            std::vector<Variant> args{QStrToVar(requestNo), QStrToVar(texts), Variant::date(Now()), QStrToVar(RunSummary)};
            AppServer.invoke("UpdateStatus1", args);
        } catch (const std::exception&) {
        }
    };
    if (requestNo.compare(QLatin1String("ERROR"), Qt::CaseInsensitive) == 0) {
        reportRequestError();
        updateStatus(MessageTexts);
        done();
        return;
    }
    JobSubmitted = 1;
    LastRequestNo = QStrToVar(requestNo);

    const Variant values = VariantToCodePage(packet, 936)[2];
    const QString jobNumber = requestNo.left(8) + QStringLiteral("0001");
    // The run's outcome alone goes to the job service, not earlier messages of the form.
    ReportRawError(QString());
    RunSummary.clear();
    bool remote = false;
    const bool ran = runDirectly(requestNo, values, jobNumber, remote);
    if (!self)
        return;
    if (!ran) {
        showRunFailure();
        // The server recorded the outcome of its own run; a run here is ended as failed.
        if (!remote)
            updateStatus(MessageTexts);
        done();
        return;
    }

    ++HandOvers;
    QString why;
    if (!QueueNotifications(requestNo, why))
        ShowMessageDialog(GetText(QStringLiteral("sNoNotice"), QStringLiteral("完成通知未能送出: ")) + why, mtWarning, {mbOK});
    if (self && ShowDoneMessage)
        showDoneMessage();
    if (!self)
        return;
    updateStatus(MessageTexts);
    done();
}
