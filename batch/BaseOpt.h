#pragma once
// TfrmBaseOpt: the job form with run options. It hands jobs to the application server's
// job service: queued, at once or at a given time, or periodically by a schedule whose
// date conditions move with each run; optionally the chosen users are told when the job
// has finished. It connects to that service and uses the look-up window service for its
// date pickers, and records whether a job was handed over.
//
// The system page (tsOption2) holds the run mode and the notification choice; the last
// page (tsPeriodOption) the schedule, shown only while btnPeriod is down.

#include "jobform/BaseGene.h"

#include <QStringList>

#include <memory>

class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class TBitCheckBox;
class TQvComboBox;
class TQvEdit;
class TQvRadioButton;
class TQvSpinEdit;
class TSpeedButton;
class TPeriodHandOver;

class TfrmBaseOpt : public TfrmBaseGene {
    Q_OBJECT

public:
    // The job service every job with run options is handed to.
    static constexpr const char* JobServiceName = "ReportCounterS.dmReportCounter";

    explicit TfrmBaseOpt(QWidget* owner = nullptr);
    ~TfrmBaseOpt() override;

    // --- Components -----------------------------------------------------------------------
    TTabSheet* tsPeriodOption = nullptr;
    QGroupBox* grpGenTime = nullptr;
    TQvRadioButton* rdoRealTime = nullptr;
    TQvRadioButton* rdoQueue = nullptr;
    TQvRadioButton* rdoExceptTime = nullptr;
    QFrame* pnlTime = nullptr;
    TMaskEdit* edDate = nullptr;
    TF2Button* btnDate = nullptr;
    TQvSpinEdit* edHour = nullptr;
    TQvSpinEdit* edMin = nullptr;
    TQvSpinEdit* edSec = nullptr;
    TBitCheckBox* chkNotify = nullptr;
    TF2Button* btnNotify = nullptr;
    QGroupBox* grpAlarm = nullptr;
    TBitCheckBox* chkAlarm = nullptr;
    TBitCheckBox* chkQvPager = nullptr;

    QLabel* lblPeriodTime = nullptr;
    TQvSpinEdit* sePeriodHour = nullptr;
    TQvSpinEdit* sePeriodMin = nullptr;
    // One run at once on submission, then by the schedule (run mode 1); else by the
    // schedule only (run mode 2).
    TBitCheckBox* chkRunFirstNow = nullptr;
    QGroupBox* gbCycleStyle = nullptr;
    TQvRadioButton* rdoEveryday = nullptr;
    TQvRadioButton* rdoEveryWeek = nullptr;
    TQvRadioButton* rdoEveryMonth = nullptr;
    TQvRadioButton* rbEveryHour = nullptr;
    QFrame* pnDay = nullptr;
    TQvSpinEdit* meDay = nullptr;
    QFrame* pnWeek = nullptr;
    TQvSpinEdit* meWeek = nullptr;
    TQvComboBox* cboDayofWeek = nullptr;
    QFrame* pnMonth = nullptr;
    TQvRadioButton* rdomonth_1 = nullptr;
    TQvSpinEdit* meMonth_M1 = nullptr;
    TQvSpinEdit* meMonth_D = nullptr;
    TQvRadioButton* rdomonth_2 = nullptr;
    TQvSpinEdit* meMonth_M2 = nullptr;
    TQvComboBox* cbo1Month_M2 = nullptr;
    TQvComboBox* cbo2Month_M2 = nullptr;
    QFrame* pnEveryHour = nullptr;
    TQvEdit* edEveryHour = nullptr;
    QGroupBox* gbCycleRang = nullptr;
    QLabel* lblStartDate = nullptr;
    TMaskEdit* meStartDate = nullptr;
    TF2Button* btnStartDate = nullptr;
    TQvRadioButton* rbCycleRang_1 = nullptr;
    TQvRadioButton* rbCycleRang_2 = nullptr;
    TQvSpinEdit* meCycleRang_2 = nullptr;
    TQvRadioButton* rbCycleRang_3 = nullptr;
    TMaskEdit* meEndDate = nullptr;
    TF2Button* btnEndDate = nullptr;
    // The next runs the chosen schedule gives, below the cycle range.
    QLabel* lblNextRuns = nullptr;
    QGroupBox* gbDynamicFields = nullptr;
    TQvComboBox* cbocondition = nullptr;
    QFrame* pnSp = nullptr;
    TBitCheckBox* spChangeDate_B = nullptr;
    TQvSpinEdit* seDay_B1 = nullptr;
    TQvComboBox* cboDay_B1 = nullptr;
    TQvComboBox* cboDay_B2 = nullptr;
    TQvSpinEdit* seDay_B2 = nullptr;
    TBitCheckBox* spChangeDate_E = nullptr;
    TQvSpinEdit* seDay_E1 = nullptr;
    TQvComboBox* cboDay_E1 = nullptr;
    TQvComboBox* cboDay_E2 = nullptr;
    TQvSpinEdit* seDay_E2 = nullptr;
    QFrame* pnEdit = nullptr;
    TBitCheckBox* edChangeDate = nullptr;
    TQvSpinEdit* seDay1 = nullptr;
    TQvComboBox* cboDay1 = nullptr;
    TQvComboBox* cboDay2 = nullptr;
    TQvSpinEdit* seDay2 = nullptr;

    TSpeedButton* btnPeriod = nullptr;
    TSpeedButton* btnSpd = nullptr;
    QMenu* pmOKExit = nullptr;
    QAction* miOKExit = nullptr;
    QAction* miOKNoExit = nullptr;
    TBitBtn* btnOK01 = nullptr;
    TBitBtn* btnOK02 = nullptr;
    // Says where the user sees it that the rights do not allow a run.
    QLabel* lblRights = nullptr;

    // --- State ------------------------------------------------------------------------------
    // 0 nothing handed over, 1 a job was handed over, 2 the user cancelled; read by the
    // controller when the form is destroyed, with the last job number.
    std::int32_t JobSubmitted = 0;
    Variant LastRequestNo;
    // Recipient XML of the users told when the job has finished.
    QString NotifyRecipients;
    QString PortalStartup;
    QString PortalServiceAddress;
    Variant ScheduleValue;
    QStringList DateRuleList;
    QString FirstRunDate;
    bool ExitAfterOk = true;
    bool OkMenuShown = true;
    QString BaseRequired;
    QString StyleRequired;
    QString RangeRequired;
    QString TimeRequired;
    bool OptionChanging = false;
    bool RuleEditing = false;
    bool PeriodPageFresh = false;
    int SqlType = 0;
    // The GetPower answer: [0] open, [1] list, [2] queue, [3] run directly ... ("Y"/"N").
    Variant Rights;

    // --- Overrides ---------------------------------------------------------------------------
    void InitJob() override;
    void BeforeConnect(TSocketConnection* connection) override;
    bool InitSession(const Variant& session) override;
    void SetupSystemPage() override;
    void SetRequiredFields(const QString& list) override;
    // Slots 9 to 12: job kind, run mode (0 queue, 1 at once, 2 at the given time), the
    // moment of the (first) run, and the recipients when they are to be told.
    bool CollectEnvironment(Variant& environment) override;
    // A periodic job gets [3] the period value and [4] the date rules, and its option
    // values rolled to the first run.
    bool CollectParams() override;
    void AfterOptionsRead() override;
    void HandleF2Key(int key, QWidget* control) override;
    // btnPeriod, the periodic page and its date rules handed in from outside (PeriodHandOver.h).
    bool TakesAction(QWidget* control) const override;
    bool ApplyAction(QWidget* control, const Variant& value) override;
    void BeforeApplyValue(QWidget* control, const QString& value) override;
    void AfterApplyValue(QWidget* control, const QString& value) override;

    // --- Operations added here ---------------------------------------------------------------
    virtual void LoadRights();
    virtual void PreparePeriodPage();
    virtual void ReadSchedule();
    virtual void StoreDateRule();
    virtual void CollectSchemeProperties();
    static QString GetComputerName();

    // The schedule's next runs into lblNextRuns.
    void showNextRuns();
    // The period value the schedule's controls give (MakePeriodValue), read afresh.
    Variant PeriodValue();
    // Whether the rights answer lets the user queue (index 2) or run directly (index 3).
    bool RightAllows(int index) const;
    QString OkRefusal() override;
    // The first run date from a compact start date and the schedule read last.
    QString FirstRunDateFrom(const QString& compactStart) const;
    // The date the option values are rolled to: the first run date, for hourly cycles
    // the day of the first run (today, or the start when it lies ahead).
    QString RollDate() const;

    // Handlers of the form resource (public: tests and derived forms press them).
    virtual void rdoQueueClick(QObject* sender);
    virtual void rdoExceptTimeClick(QObject* sender);
    virtual void rdoEverydayClick(QObject* sender);
    virtual void rdoEveryWeekClick(QObject* sender);
    virtual void rdoEveryMonthClick(QObject* sender);
    virtual void rdomonth_1Click(QObject* sender);
    virtual void rdomonth_2Click(QObject* sender);
    virtual void rbEveryHourClick(QObject* sender);
    virtual void rbCycleRang_1Click(QObject* sender);
    virtual void rbCycleRang_2Click(QObject* sender);
    virtual void rbCycleRang_3Click(QObject* sender);
    virtual void meCycleRang_2Change(QObject* sender);
    virtual void meEndDateChange(QObject* sender);
    virtual void meEndDateExit(QObject* sender);
    virtual void meDayExit(QObject* sender);
    virtual void meMonth_DExit(QObject* sender);
    virtual void sePeriodHourExit(QObject* sender);
    virtual void seDay_B1Exit(QObject* sender);
    virtual void edEveryHourExit(QObject* sender);
    virtual void edEveryHourKeyPress(QObject* sender, QChar& key);
    virtual void cboconditionChange(QObject* sender);
    virtual void spChangeDate_BClick(QObject* sender);
    virtual void spChangeDate_EClick(QObject* sender);
    virtual void edChangeDateClick(QObject* sender);
    virtual void cboDay2Change(QObject* sender);
    virtual void cboDay_B2Change(QObject* sender);
    virtual void cboDay_E2Change(QObject* sender);
    virtual void seDay1Change(QObject* sender);
    virtual void seDay_B1Change(QObject* sender);
    virtual void seDay1Enter(QObject* sender);
    virtual void seDay_B1Enter(QObject* sender);
    virtual void tsPeriodOptionShow(QObject* sender);
    virtual void btnPeriodClick(QObject* sender);
    virtual void btnSpdClick(QObject* sender);
    virtual void miOKExitClick(QObject* sender);
    virtual void miOKNoExitClick(QObject* sender);
    virtual void chkNotifyClick(QObject* sender);
    virtual void btnNotifyClick(QObject* sender);
    void btnInsertClick(QObject* sender) override;
    virtual void edDateEnter(QObject* sender);
    virtual void edDateExit(QObject* sender);

    void btnOkClick(QObject* sender) override;
    // Esc, the close button and Cancel alike: the host hears the clerk cancelled.
    void UserCancelled() override;
    void pgOptionChange(QObject* sender) override;

protected:
    void FormCreate(QObject* sender) override;
    void FormShow(QObject* sender) override;
    void FormDestroy(QObject* sender) override;

    // Passes the option groups on: BaseRequired first when withBase.
    void passRequiredGroups(bool withBase);
    void passTimeRequired();
    // Shows that the user has no right to run the job.
    void showNoRights(const QString& text);

private:
    void showCyclePanel(QFrame* panel, int x, int y);
    bool periodDown() const;
    QString todayText();
    bool BaseRequiredTaken = false;
    bool PeriodPanelsPlaced = false;
    std::unique_ptr<TPeriodHandOver> periodHandOver_;
};
