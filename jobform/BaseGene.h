#pragma once
// TfrmBaseGene: the base class of every job form. It lays out the shared window (scheme
// list on the left, option pages on the right, OK and Cancel below), initialises itself
// from the host shell's session, reaches the services and the application server, keeps
// the message records, checks date and required fields, and gathers the job's options
// into the parameter packet. A derived job declares its options through the virtual
// operations and runs the inherited step first in each of them.
//
// Server access, messages, field checks, entering a session and the parameter packet are
// large enough to live in units of their own (ServerAccess, JobMessages, FieldChecks,
// GeneSession, ParamPacket); the form forwards to them, so that every operation keeps its
// name here.

#include "config/QVForm.h"
#include "platform/Variant.h"

#include <QList>
#include <QMap>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

class QAbstractButton;
class QAction;
class QFrame;
class QLabel;
class QMenu;
class QSplitter;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class TBitBtn;
class TClientDataSet;
class TDBLabel;
class TExtPageControl;
class TF2Button;
class TMaskEdit;
class TSelectPanel;
class TSimpleObjectBroker;
class TSocketConnection;
class TTabSheet;

class TServerAccess;
class TSchemeList;
class TJobMessages;
class TFieldChecks;
class TControlValues;
class TGeneKeys;
class TParamPacket;
class TGeneSession;

// What a parameter hand-over (ApplyParams) came to.
enum class TApplyOutcome {
    Taken,             // the values were set and the command did what it asks
    Refused,           // a name or a value the form cannot take: nothing further was set
    CheckRefused,      // a check of the job refused a value: nothing was handed over
    NothingHandedOver, // the command asked for a hand-over and none came about; the job said why
};

class TfrmBaseGene : public TQVForm {
    Q_OBJECT

public:
    explicit TfrmBaseGene(QWidget* owner = nullptr);
    ~TfrmBaseGene() override;

    // --- Components ---------------------------------------------------------------------
    QFrame* pnlCondition = nullptr;
    QLabel* lblCondition = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QToolButton* btnInsert = nullptr;
    QToolButton* btnOpen = nullptr;
    QToolButton* btnDelete = nullptr;
    QToolButton* ToolButton1 = nullptr;
    QTreeWidget* lstCondition = nullptr;
    QMenu* mnList = nullptr;
    QMenu* muOperation = nullptr;
    QSplitter* Splitter1 = nullptr;
    TExtPageControl* pgOption = nullptr;
    TTabSheet* tsOption1 = nullptr;
    TTabSheet* tsOption2 = nullptr;
    TDBLabel* lblToday = nullptr;
    TMaskEdit* edPrintDate = nullptr;
    TF2Button* btnPrintDate = nullptr;
    QFrame* Panel1 = nullptr;
    TBitBtn* btnOk = nullptr;
    TBitBtn* btnCancel = nullptr;
    TSocketConnection* MainMidas = nullptr;
    TSimpleObjectBroker* ObjBroker = nullptr;
    // Scheme records of the condition list.
    std::unique_ptr<TClientDataSet> ClientDataSet1;
    QObject* ImageList1 = nullptr;
    QObject* ImageList2 = nullptr;

    // Published events the form assigns to its own handlers at creation; the date and
    // required-field hooks install them on the controls they take over.
    TNotifyEvent OnDateFieldEnter;
    TNotifyEvent OnDateFieldExit;
    TNotifyEvent OnRequiredExit;
    TNotifyEvent* notifyEvent(std::string_view name) override;

    // --- Identity, session and job --------------------------------------------------------
    QString ModuleFileName;
    QString FormVersion;
    std::uintptr_t HostWindow = 0;
    Variant SessionExtra;
    int EnvCount = 0;
    int OptionBase = 1;
    int OptionCount = 0;
    std::uint8_t FeatureFlags = 0;   // bit value 4: the job uses the look-up window service
    QString JobKind;
    bool OptionsFilled = false;
    Variant ParamPacket;
    Variant CommandArray;
    bool ApplyDone = false;
    bool ApplyByName = true;
    bool ApplyRunFlag = true;
    // Jobs this form handed over: queued, or run at once to the end (the batch forms count).
    int HandOvers = 0;
    QList<QPointer<QWidget>> PageEnterControls;
    QStringList DateRules;
    // What the last successful run of a server library in this process said it did.
    QString RunSummary;
    // Whether the last btnInsertClick left its control without a failed check.
    bool SchemeCheckPassed = false;
    QString SchemeProperties;
    bool SystemPageReady = false;

    // --- Services ---------------------------------------------------------------------------
    Variant SessionObject;
    Variant CounterObject;
    Variant ValidatorObject;
    Variant LookupWindowObject;
    Variant AppServer;
    bool IsLocalServer = false;
    // The company's system settings by name (upper case); absent until loaded.
    QMap<QString, QString> SysInfoCache;
    bool SysInfoLoaded = false;
    QString UserCode;
    QString CompanyCode;
    QString DatabaseName;
    QString ProgramCode;
    QString ProgramName;
    QString ServerClassName;
    std::int32_t ProductId = 3;
    std::int32_t VersionType = 0;
    QString BaseLimitText;
    QString CompanyTitle;

    // --- Messages ---------------------------------------------------------------------------
    QString MessageCodes;
    QString MessageTexts;
    QPointer<QWidget> LastFocusedControl;
    bool PageChanging = false;

    // --- Dates and required fields ----------------------------------------------------------
    QString DateFields;
    QString MonthFields;
    QString RequiredFields;
    bool ValidationFailed = false;
    // "name=colour" lines; a select panel gives name.edBegin, name.edFinal, name.ListBox.
    QStringList SavedColours;
    // Replaced handlers: "name.OnEnter", "name.OnExit", "name.OnClick"; the first entry of
    // a name counts.
    QList<QPair<QString, TNotifyEvent>> SavedHandlers;

    // --- Virtual operations, in the order of the suite's job forms ------------------------
    virtual void SetupSystemPage();                                  // 1
    virtual bool CollectParams();                                    // 2
    virtual void InitJob();                                          // 3
    virtual void PickPhrase(QWidget* control);                       // 4
    virtual void SetRequiredFields(const QString& list);             // 5
    virtual bool RunServerLibrary(const Variant& requestNo, const QString& programCode, const QString& extra,
                                  int count, const Variant& packet, const QString& databaseName,
                                  const QString& jobKind, const QString& serverClassName, const QString& userCode,
                                  const QString& companyCode, const QString& spare);   // 6
    virtual void PrepareDataSets();                                  // 7
    virtual void InitServices();                                     // 8
    virtual bool InitSession(const Variant& session);                // 9
    virtual void Reserved10() {}                                     // 10
    virtual bool CollectOptionValues(Variant& values, int index);    // 11
    virtual bool ApplyValues(const Variant& values);                 // 12
    virtual void Reserved13() {}                                     // 13
    virtual bool CollectEnvironment(Variant& environment);           // 14
    virtual bool CollectOptionTexts(Variant& texts, int index);      // 15
    virtual void AfterOptionsRead();                                 // 16
    virtual void LookupData(const QString& table, const QString& kind, Variant& result, bool list,
                            const QString& extra, const Variant& keys);   // 17
    virtual void BeforeConnect(TSocketConnection* connection);       // 18
    virtual bool SaveScheme(const QString& properties, const QString& name, bool replace);   // 19
    virtual bool ApplyScheme(const QString& properties, const QString& values);             // 20
    virtual bool LoadSchemeList();                                   // 21
    virtual bool AfterSchemeApplied();                               // 22
    virtual bool RunCommand(int command);                            // 23
    virtual void BeforeApplyValue(QWidget* control, const QString& value);   // 24
    virtual void AfterApplyValue(QWidget* control, const QString& value);    // 25

    // Dynamic operations.
    virtual void HandleF2Key(int key, QWidget* control);
    virtual void CreateServices();
    virtual void CreateLookupWindow();
    // A button named in an ApplyParams packet: a job whose buttons take a value says so
    // here, and ApplyAction then does what the value asks, after every other control took
    // its value (the action reports its own failure). The base takes none.
    virtual bool TakesAction(QWidget* control) const;
    virtual bool ApplyAction(QWidget* control, const Variant& value);
    // Why OK cannot be pressed, for a hand-over that asks for it; the base gives its hint.
    virtual QString OkRefusal();
    // The button Enter presses from the last field of the active page; none in the base.
    virtual QAbstractButton* StepForwardButton();
    // What the clerk has entered: the collected option values. Compared with what it was
    // when the form was shown (or a scheme opened) before the conditions are dropped; a
    // job leaves out what follows from its fields rather than being one.
    virtual Variant ConditionSnapshot();
    // The clerk ended the job (Esc, the close button, Cancel) and did not keep it open.
    virtual void UserCancelled();

    // --- Non-virtual operations -----------------------------------------------------------
    // Called by the controller right after creation; a program (not a library) holding
    // the form initialises it at once with a test session.
    void SetModuleFileName(const QString& fileName);
    bool IsLibraryMode() const;
    // The parameter hand-over, how a host runs a job unattended. The packet is
    // [command, [by-name flag, [option texts, option values]]], the two arrays as a job
    // request carries them. By name, every text entry [caption, control name] names the
    // control its value goes to: a select panel takes a range [#4, low, high] (or a plain
    // pair or a single value) into its edits, or a list [#5, item, ...] into its list; a
    // combo box an item index (or an item's text); a check box a flag; an edit its text,
    // compact dates of date and year-month fields shown in the user's format. All names
    // are checked before anything is set; a control that is missing or cannot take its
    // value reports "W;000014" with its name and nothing further is set. BeforeApplyValue
    // and AfterApplyValue run around each control (BeforeApplyValue may refuse the value
    // through RefuseParam); buttons the job takes (TakesAction) act last. Not by name,
    // ApplyValues decides.
    // Command 0 only sets the values; a command above 2 goes to RunCommand; 1 and 2 press
    // OK once the values were taken. An error or a warning shown while the values are set
    // (a check that refused one) stops there: nothing is handed over.
    TApplyOutcome ApplyParams(const Variant& packet);
    void SetOptionCount(int n);
    // The run-options form hands over what the job service's GetPower answered: [0]-[6]
    // the "Y"/"N" rights, [7] the user's data limit, [8] his name. The core keeps the data
    // limit (BaseLimitText, for the validator and the look-ups), then lets the job read
    // what it needs (AfterOptionsRead).
    void ReadRunOptions(const Variant& packet);
    bool ControlInList(QWidget* control) const;
    void PutDateRange(const QString& beginText, const QString& endText, Variant& values, int index);
    void PutPanelValue(TSelectPanel* panel, Variant& values, int index);
    void PutMaskedPanelValue(TSelectPanel* panel, Variant& values, const QString& removeText, int index);
    void LookupIntoPanel(QWidget* control, const QString& table, const QString& kind, bool list,
                         const QString& extra, const Variant& keys);
    // The values handed in for the controls inside page set again, after the page's own
    // defaults replaced them (see TControlValues::ApplyAgainWithin).
    bool ApplyAgainWithin(QWidget* page);
    // A value of the hand-over the job cannot take: reported with its name, the run refused.
    void RefuseParam(const QString& name);
    // Whether an error or a warning was shown since the running hand-over began: a check
    // refused one of its values, and a job's own steps need go no further.
    bool HandOverChecksRefused() const;

    // Dates and required fields.
    void AddDateFields(const QString& list);
    int GetDateFormat();
    QString GetDateSeparator();
    QString DateMask();
    QString MonthMask();
    QString BlankDate();
    QString BlankMonth();
    QString DateTextToCompact(const QString& text);
    QString MonthTextToCompact(const QString& text);
    // Entry sets the mask (or blank text); exit validates. On a failed exit check code
    // gets the message to report and the focus goes to the first invalid edit.
    bool CheckDateField(QWidget* control, bool entering, QString* code = nullptr);
    bool CheckMonthField(QWidget* control, bool entering, QString* code = nullptr);
    // True when a listed field is empty (reported, its page shown and the field focused).
    bool CheckRequiredFields(const QString& list);
    // A field's name as the clerk sees it, for the messages that concern it.
    QString FieldCaption(QWidget* control) const;

    // Server access.
    void CallServerMethod(const QString& name, Variant& args, Variant& result);
    // A query whose answer comes in parts of at most partRows rows (TServerAccess).
    std::int64_t QueryInParts(const QString& sql, const QString& columns, const Variant& params, int partRows,
                              const std::function<bool(Variant& part)>& take);
    QString GetSystemSetting(const QString& name);
    bool ValidateValue(const QString& table, const QString& kind, bool query, Variant& result, const Variant& keys);
    QString GetMessageText(const QString& type, const QString& number);
    bool ConfigureConnection(TSocketConnection* connection, TSimpleObjectBroker* broker);
    bool ConnectAppServer();
    QString PickDate(const QString& text);
    bool ShowHelp();

    // Messages.
    void ReportMessage(const QString& code);
    void ReportRawError(const QString& text);
    // buttons empty: the type's default set; args empty: no format arguments.
    int ShowCodedMessage(const QString& type, const QString& number, std::initializer_list<TMsgDlgBtn> buttons = {},
                         const QList<Variant>& args = {});
    int ShowCodedMessage(const QString& type, const QString& number, const QList<TMsgDlgBtn>& buttons,
                         const QList<Variant>& args);
    int ShowMessageDialog(const QString& text, TMsgDlgType type, const QList<TMsgDlgBtn>& buttons);
    // A text of the form's own (section TfrmBaseGene) by key, with its built-in default.
    QString GetText(const QString& key, const QString& defaultText);
    // A text of a section of its own (a derived form's or a dialog's class), looked up in
    // TfrmBaseGene when that section lacks it: older language files keep it there.
    QString GetText(const QString& section, const QString& key, const QString& defaultText);
    using TQVForm::GetText;

    // The program code a module file name stands for (see BaseGeneU).
    static QString ProgramCodeFromModule(const QString& moduleFileName);

    // The control that has (or last had) the focus, as the form's focus rules track it.
    QWidget* FocusedControl() const;

    // The clerk entered or ticked something since the form was shown or a scheme opened.
    bool ConditionsEntered();

    // The four views of the scheme list, called by name ("ViewIcon" + "Execute").
    Q_INVOKABLE void ViewIconExecute();
    Q_INVOKABLE void ViewSmallIconExecute();
    Q_INVOKABLE void ViewListExecute();
    Q_INVOKABLE void ViewReportExecute();
    TSchemeList& Schemes() { return *schemes_; }

protected:
    void FormCreate(QObject* sender) override;
    void FormShow(QObject* sender) override;
    void TextsApplied() override;
    void FormClose(QObject* sender, TCloseAction& action) override;
    void FormDestroy(QObject* sender) override;
    void FormKeyDown(QObject* sender, int& key, TShiftState shift) override;
    void FormKeyPress(QObject* sender, QChar& key) override;
    bool LookupRequest(QWidget* control) override;
    virtual void FormResize(QObject* sender);

    // Published handlers of the form resource.
    virtual void btnOkClick(QObject* sender);
    virtual void btnCancelClick(QObject* sender);
    virtual void pgOptionChange(QObject* sender);
    virtual void pgOptionChanging(QObject* sender, bool& allowChange);
    virtual void tsOption2Show(QObject* sender);
    // The scheme list of the left panel.
    virtual void btnInsertClick(QObject* sender);
    virtual void btnOpenClick(QObject* sender);
    virtual void btnDeleteClick(QObject* sender);
    virtual void lstConditionEdited(QTreeWidgetItem* item, const QString& oldName);
    virtual void ToolButton1Click(QObject* sender);

    // The caption as FormShow sets it: ProgramName, the product's suffix, [CompanyTitle].
    void UpdateCaption();
    // Focuses the first enabled control of the active option page in tab order.
    void FocusFirstControl();
    // Closes the form once control is back in the event loop.
    void PostClose();
    // The interface code page is the English one ("437").
    bool EnglishInterface() const { return UICodePage() == QLatin1String("437"); }

    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TServerAccess;
    friend class TJobMessages;
    friend class TFieldChecks;
    friend class TSchemeList;
    friend class TGeneKeys;
    friend class TParamPacket;
    friend class TGeneSession;

    void buildComponents();
    void repaintHostWindow();

    std::unique_ptr<TServerAccess> server_;
    std::unique_ptr<TJobMessages> messages_;
    std::unique_ptr<TFieldChecks> fields_;
    std::unique_ptr<TSchemeList> schemes_;
    std::unique_ptr<TControlValues> values_;
    std::unique_ptr<TGeneKeys> keys_;
    std::unique_ptr<TParamPacket> packet_;
};
