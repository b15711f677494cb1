#include "jobform/BaseGene.h"
#include "jobform/BaseGeneU.h"
#include "jobform/ControlValues.h"
#include "jobform/FieldChecks.h"
#include "jobform/GeneKeys.h"
#include "jobform/GeneLayout.h"
#include "jobform/GeneSession.h"
#include "jobform/SchemeList.h"
#include "jobform/SchemeValues.h"
#include "jobform/JobMessages.h"
#include "jobform/ParamPacket.h"
#include "jobform/ServerAccess.h"
#include "jobform/SocketConnection.h"

#include "config/Dialogs.h"
#include "config/QtVariant.h"
#include "config/RunTimeProps.h"
#include "controls/Buttons.h"
#include "controls/DataSource.h"
#include "controls/DBLabel.h"
#include "controls/ExtPage.h"
#include "controls/CaptionRoom.h"
#include "controls/F2Button.h"
#include "controls/MaskEdit.h"
#include "controls/SelectPnl.h"
#include "dataset/ClientDataSet.h"
#include "platform/OleDate.h"
#include "support/AlertLog.h"
#include "support/Dates.h"
#include "support/FormatSettings.h"
#include "support/Helpers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHelpEvent>
#include <QLocale>
#include <QMenu>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>

namespace {

// The process's date separator under the traditional-Chinese locale.
char32_t localeDateSeparator()
{
    const QString format = QLocale::system().dateFormat(QLocale::ShortFormat);
    for (const QChar c : format)
        if (!c.isLetter())
            return c.unicode();
    return U'/';
}

} // namespace

TfrmBaseGene::TfrmBaseGene(QWidget* owner)
    : TQVForm(owner), server_(std::make_unique<TServerAccess>(*this)),
      messages_(std::make_unique<TJobMessages>(*this)), fields_(std::make_unique<TFieldChecks>(*this)),
      schemes_(std::make_unique<TSchemeList>(*this)), values_(std::make_unique<TControlValues>(*this)),
      keys_(std::make_unique<TGeneKeys>(*this)), packet_(std::make_unique<TParamPacket>(*this))
{
    setObjectName(QStringLiteral("frmBaseGene"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMaximizeButtonHint);
    resize(509, 355);
    FormVersion = QStringLiteral("870401-0.00.00");
    buildComponents();
    // Every look-up button of a job form is flat.
    for (TF2Button* button : findChildren<TF2Button*>())
        button->SetFlat(true);
    schemes_->Connect();
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && now->window() == this && !Destroying())
            LastFocusedControl = FocusedControl();
    });
}

TfrmBaseGene::~TfrmBaseGene() = default;

void TfrmBaseGene::buildComponents()
{
    BuildGeneComponents(*this);

    // The resource's event bindings.
    btnOk->OnClick = [this](QObject* s) { btnOkClick(s); };
    btnCancel->OnClick = [this](QObject* s) { btnCancelClick(s); };
    pgOption->OnChange = [this](QObject* s) { pgOptionChange(s); };
    pgOption->OnChanging = [this](QObject* s, bool& allow) { pgOptionChanging(s, allow); };
    tsOption2->OnShow = [this](QObject* s) { tsOption2Show(s); };
}

TNotifyEvent* TfrmBaseGene::notifyEvent(std::string_view name)
{
    if (SameName(name, "OnDateFieldEnter"))
        return &OnDateFieldEnter;
    if (SameName(name, "OnDateFieldExit"))
        return &OnDateFieldExit;
    if (SameName(name, "OnRequiredExit"))
        return &OnRequiredExit;
    return TQVForm::notifyEvent(name);
}

QWidget* TfrmBaseGene::FocusedControl() const
{
    QWidget* focus = QApplication::focusWidget();
    if (!focus || focus->window() != this)
        focus = focusWidget();
    if (focus && focus->window() == this && focus != this)
        return ControlOf(focus);
    return ActiveControl();
}

// --- Creation and destruction ----------------------------------------------------------------

void TfrmBaseGene::FormCreate(QObject* sender)
{
    TQVForm::FormCreate(sender);
    if (SystemCodePage() == QLatin1String("950"))
        setDateSeparator(localeDateSeparator());
    FormVersion = QStringLiteral("870401-0.00.00");
    MessageCodes.clear();
    MessageTexts.clear();
    OnDateFieldEnter = [this](QObject* s) { fields_->DateFieldEnter(s); };
    OnDateFieldExit = [this](QObject* s) { fields_->DateFieldExit(s); };
    OnRequiredExit = [this](QObject* s) { fields_->RequiredExit(s); };
    ValidationFailed = false;
    SystemPageReady = false;
    LastFocusedControl = this;
    PageChanging = false;
    ApplyRunFlag = true;
    PrepareDataSets();
    DateRules.clear();
}

void TfrmBaseGene::PrepareDataSets()
{
    QList<TClientDataSet*> dataSets;
    if (ClientDataSet1)
        dataSets << ClientDataSet1.get();
    for (TDataSource* source : findChildren<TDataSource*>())
        if (source->DataSet() && !dataSets.contains(source->DataSet()))
            dataSets << source->DataSet();
    for (TClientDataSet* dataSet : dataSets) {
        ControlsDisabledScope quiet(*dataSet);
        for (int i = 0; i < dataSet->FieldCount(); ++i) {
            TField* field = dataSet->Fields(i);
            field->SetDisplayLabel(Utf8(DisplayConvert(QString::fromStdString(field->DisplayLabel()))));
            if (field->DataType() != ftString || field->OnGetText || field->OnSetText)
                continue;
            field->OnGetText = [this](TField* f, std::string& text, bool) {
                text = Utf8(DisplayConvert(QString::fromStdString(f->IsNull() ? std::string() : f->AsString())));
            };
            // What the user typed is stored as the database holds it.
            field->OnSetText = [this](TField* f, const std::string& text) {
                f->SetAsString(VarToStr(OutgoingConvert(Variant(text))));
            };
        }
    }
}

void TfrmBaseGene::FormClose(QObject* sender, TCloseAction& action)
{
    TQVForm::FormClose(sender, action);
    action = keys_->CloseAllowed() ? caFree : caNone;
}

void TfrmBaseGene::UserCancelled() {}

Variant TfrmBaseGene::ConditionSnapshot()
{
    if (OptionCount < 1)
        return Variant();
    Variant values = Variant::array(1, OptionCount);
    try {
        CollectOptionValues(values, OptionCount - OptionBase);
    } catch (const std::exception&) {
    }
    return values;
}

bool TfrmBaseGene::ConditionsEntered()
{
    return keys_->ConditionsEntered();
}

void TfrmBaseGene::FormDestroy(QObject* sender)
{
    TQVForm::FormDestroy(sender);
    PageEnterControls.clear();
    DateRules.clear();
    SavedColours.clear();
    SavedHandlers.clear();
    server_->ClearServices();
    server_->ReleaseConnection();
    AppServer = Variant();
    SessionObject = Variant();
}

// --- Initialisation ------------------------------------------------------------------------

void TfrmBaseGene::SetModuleFileName(const QString& fileName)
{
    ModuleFileName = fileName;
    if (!IsLibraryMode())
        InitSession(TGeneSession::TestSession());
}

bool TfrmBaseGene::IsLibraryMode() const
{
    return isLibraryFile(ModuleFileName);
}

QString TfrmBaseGene::ProgramCodeFromModule(const QString& moduleFileName)
{
    return programCodeFromModule(moduleFileName);
}

void TfrmBaseGene::PostClose()
{
    keys_->CloseByForm();
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

bool TfrmBaseGene::InitSession(const Variant& session)
{
    return TGeneSession(*this).Enter(session);
}

void TfrmBaseGene::InitServices()
{
    fields_->RecordColours();
    CreateServices();
    InitJob();
    CreateLookupWindow();
}

void TfrmBaseGene::CreateServices()
{
    server_->CreateServices();
}

void TfrmBaseGene::CreateLookupWindow()
{
    server_->CreateLookupWindow();
}

void TfrmBaseGene::InitJob()
{
    EnvCount = 9;
    JobKind = QStringLiteral("R");
    FeatureFlags = 0;
    AddDateFields(QStringLiteral("edPrintDate"));
    ProgramCode = ProgramCodeFromModule(ModuleFileName).toUpper();
    ServerClassName = ProgramCode + QStringLiteral("S.Class1");
    TGeneSession(*this).ReadProgramName();
    SetOptionCount(0);
}

void TfrmBaseGene::SetOptionCount(int n)
{
    OptionCount = optionCountAfter(n, OptionBase, OptionCount);
}

// --- Showing -------------------------------------------------------------------------------

void TfrmBaseGene::UpdateCaption()
{
    QString caption = ProgramName;
    if (ProductId == 5)
        caption += GetText(QStringLiteral("sPublicVer"), QStringLiteral("-普及版"));
    SetCaption(caption + QLatin1Char('[') + CompanyTitle + QLatin1Char(']'));
}

void TfrmBaseGene::FormShow(QObject* sender)
{
    TQVForm::FormShow(sender);
    UpdateCaption();
    if (pgOption->PageCount() > 0) {
        pgOption->SetActivePageIndex(0);
        pgOptionChange(pgOption);
    }
    ConvertOnce();
    lstCondition->setHeaderLabels({GetText(QStringLiteral("sProjectName"), QStringLiteral("方案名称")),
                                   GetText(QStringLiteral("sCreateTime"), QStringLiteral("创建时间"))});
    LoadSchemeList();
}

void TfrmBaseGene::TextsApplied()
{
    MakeRoomForCaptions(this);
}

void TfrmBaseGene::tsOption2Show(QObject*)
{
    if (SystemPageReady)
        return;
    SystemPageReady = true;
    SetupSystemPage();
    // Its font is set only now.
    MakeRoomForCaptions(tsOption2);
}

void TfrmBaseGene::SetupSystemPage()
{
    QFont f = font();
    f.setPointSize(9);
    tsOption2->setFont(f);
    resize(std::max(width(), 315), std::max(height(), 110));
    lblToday->adjustSize();
    lblToday->move(8, 12);
    edPrintDate->setGeometry(60, 8, 85, edPrintDate->height());
    btnPrintDate->Realign();
}

void TfrmBaseGene::FocusFirstControl()
{
    QWidget* page = pgOption->ActivePage();
    if (!page)
        return;
    for (QWidget* w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain()) {
        if (!page->isAncestorOf(w) || !w->isEnabled() || !w->isVisibleTo(page) || !(w->focusPolicy() & Qt::TabFocus))
            continue;
        QWidget* target = w;
        for (QWidget* p = w; p && p != page; p = p->parentWidget())
            if (auto* panel = qobject_cast<TSelectPanel*>(p)) {
                target = panel->IsRangeMode() ? static_cast<QWidget*>(panel->edBegin) : panel->ListBox;
                break;
            }
        target->setFocus(Qt::TabFocusReason);
        return;
    }
}

void TfrmBaseGene::pgOptionChange(QObject*)
{
    FocusFirstControl();
}

void TfrmBaseGene::pgOptionChanging(QObject*, bool& allowChange)
{
    // The field being left for the other page is checked by whatever exit handler it
    // carries (a date check, a derived job's own), before the switch and not after it on
    // a hidden page. A failure reported earlier and not put right still holds.
    PageChanging = true;
    QPointer<TfrmBaseGene> self(this);
    ExitActiveControl(pgOption, [this] { return ValidationFailed; });
    if (!self)
        return;
    PageChanging = false;
    allowChange = !ValidationFailed;
}

// --- Keys ----------------------------------------------------------------------------------

void TfrmBaseGene::FormKeyDown(QObject* sender, int& key, TShiftState shift)
{
    TQVForm::FormKeyDown(sender, key, shift);
    keys_->KeyDown(key, shift);
}

void TfrmBaseGene::FormKeyPress(QObject* sender, QChar& key)
{
    TQVForm::FormKeyPress(sender, key);
    if (key != QChar(13))
        return;
    QWidget* focus = QApplication::focusWidget();
    if (!focus || focus->window() != this)
        focus = focusWidget();
    if (focus && keys_->Enter(focus))
        key = QChar();
}

QAbstractButton* TfrmBaseGene::StepForwardButton()
{
    return nullptr;
}

bool TfrmBaseGene::LookupRequest(QWidget* control)
{
    HandleF2Key(VK_F2, control);
    return true;
}

void TfrmBaseGene::HandleF2Key(int, QWidget* control)
{
    if (!control)
        return;
    if (control->isEnabled() && control->isVisible() && control->focusPolicy() != Qt::NoFocus)
        control->setFocus(Qt::OtherFocusReason);
    if (control == edPrintDate)
        edPrintDate->SetText(PickDate(edPrintDate->Text()));
}

// --- Window --------------------------------------------------------------------------------

void TfrmBaseGene::repaintHostWindow()
{
    if (!HostWindow)
        return;
    if (QWidget* host = QWidget::find(WId(HostWindow)))
        host->update();
}

void TfrmBaseGene::FormResize(QObject*)
{
    repaintHostWindow();
}

void TfrmBaseGene::showEvent(QShowEvent* event)
{
    TQVForm::showEvent(event);
    // Every level's show step has run: what the form shows now is what the clerk starts from.
    if (!keys_->SnapshotTaken() && isVisible())
        keys_->TakeSnapshot();
}

void TfrmBaseGene::moveEvent(QMoveEvent* event)
{
    TQVForm::moveEvent(event);
    repaintHostWindow();
}

void TfrmBaseGene::resizeEvent(QResizeEvent* event)
{
    TQVForm::resizeEvent(event);
    FormResize(this);
}

bool TfrmBaseGene::eventFilter(QObject* watched, QEvent* event)
{
    // Hints stay up while the user reads them.
    if (event->type() == QEvent::ToolTip) {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && w->window() == this && !w->toolTip().isEmpty()) {
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), w->toolTip(), w, QRect(), 500000);
            return true;
        }
    }
    return TQVForm::eventFilter(watched, event);
}

// --- Buttons and hooks ---------------------------------------------------------------------

void TfrmBaseGene::btnOkClick(QObject*) {}

void TfrmBaseGene::btnCancelClick(QObject*)
{
    // In a modal loop the button's modal result closed the form (or was kept open) already.
    if (!InModalLoop())
        close();
}

void TfrmBaseGene::PickPhrase(QWidget* control)
{
    server_->PickPhrase(control);
}

bool TfrmBaseGene::RunServerLibrary(const Variant& requestNo, const QString& programCode, const QString& extra,
                                    int count, const Variant& packet, const QString& databaseName,
                                    const QString& jobKind, const QString& serverClassName, const QString& userCode,
                                    const QString& companyCode, const QString& spare)
{
    return server_->RunServerLibrary(requestNo, programCode, extra, count, packet, databaseName, jobKind,
                                     serverClassName, userCode, companyCode, spare);
}

bool TfrmBaseGene::ApplyValues(const Variant&)
{
    return false;
}

void TfrmBaseGene::AfterOptionsRead() {}

void TfrmBaseGene::LookupData(const QString& table, const QString& kind, Variant& result, bool list,
                              const QString& extra, const Variant& keys)
{
    server_->LookupData(table, kind, result, list, extra, keys);
}

void TfrmBaseGene::BeforeConnect(TSocketConnection*) {}

// --- Condition schemes ------------------------------------------------------------------------

bool TfrmBaseGene::SaveScheme(const QString& properties, const QString& name, bool replace)
{
    return schemes_->Save(properties, name, replace);
}

bool TfrmBaseGene::ApplyScheme(const QString& properties, const QString& values)
{
    QString failure;
    const bool applied = SchemeValues::Apply(*this, properties, values, &failure);
    // What did not fit stays in the alert log for whoever looks after the job.
    if (!failure.isEmpty())
        WriteAlertLog("BaseGene", "ApplyScheme: " + Utf8(failure), "D");
    return applied;
}

bool TfrmBaseGene::LoadSchemeList()
{
    try {
        return schemes_->Load();
    } catch (const std::exception& e) {
        // As an exception out of a handler would: the user sees why the list is empty.
        ShowMessageDialog(QString::fromStdString(e.what()), mtError, {mbOK});
        return false;
    }
}

bool TfrmBaseGene::AfterSchemeApplied()
{
    return true;
}

void TfrmBaseGene::btnInsertClick(QObject*)
{
    // The focus moves to the scheme panel: the control being left runs its exit check. The
    // run-options form asks for the scheme's name afterwards, unless a check failed.
    SchemeCheckPassed = ExitActiveControl(pnlCondition, [this] { return ValidationFailed; }) && !ValidationFailed;
    if (SchemeCheckPassed)
        pnlCondition->setFocus();
}

void TfrmBaseGene::btnOpenClick(QObject*)
{
    schemes_->OpenSelected();
}

void TfrmBaseGene::btnDeleteClick(QObject*)
{
    try {
        schemes_->DeleteSelected();
    } catch (const std::exception& e) {
        ShowMessageDialog(QString::fromStdString(e.what()), mtError, {mbOK});
    }
}

void TfrmBaseGene::lstConditionEdited(QTreeWidgetItem* item, const QString& oldName)
{
    try {
        schemes_->Renamed(item, oldName);
    } catch (const std::exception& e) {
        WriteAlertLog("BaseGene", "ChangeConName: " + std::string(e.what()), "D");
    }
}

void TfrmBaseGene::ToolButton1Click(QObject*)
{
    const int tag = (ToolButton1->property("Tag").toInt() + 1) % 4;
    ToolButton1->setProperty("Tag", tag);
    const char* const views[] = {"ViewIcon", "ViewSmallIcon", "ViewList", "ViewReport"};
    QMetaObject::invokeMethod(this, (QByteArray(views[tag]) + "Execute").constData());
}

void TfrmBaseGene::ViewIconExecute()
{
    schemes_->SetView(TSchemeList::Icon);
    mnList->actions()[0]->setChecked(true);
}

void TfrmBaseGene::ViewSmallIconExecute()
{
    schemes_->SetView(TSchemeList::SmallIcon);
    mnList->actions()[1]->setChecked(true);
}

void TfrmBaseGene::ViewListExecute()
{
    schemes_->SetView(TSchemeList::List);
    mnList->actions()[2]->setChecked(true);
}

void TfrmBaseGene::ViewReportExecute()
{
    schemes_->SetView(TSchemeList::Report);
    mnList->actions()[3]->setChecked(true);
}

bool TfrmBaseGene::RunCommand(int)
{
    return true;
}

void TfrmBaseGene::BeforeApplyValue(QWidget*, const QString&) {}
bool TfrmBaseGene::TakesAction(QWidget*) const { return false; }
bool TfrmBaseGene::ApplyAction(QWidget*, const Variant&) { return false; }
void TfrmBaseGene::AfterApplyValue(QWidget*, const QString&) {}

// --- Options and the parameter packet ---------------------------------------------------------

bool TfrmBaseGene::CollectOptionTexts(Variant& texts, int)
{
    try {
        texts[OptionCount] = Variant::list({QStrToVar(lblToday->Caption()), "edPrintDate"});
        OptionsFilled = true;
        return true;
    } catch (const std::exception&) {
        ReportMessage(QStringLiteral("E;000030;") + GetMessageText(QStringLiteral("I"), QStringLiteral("000011")));
        return false;
    }
}

bool TfrmBaseGene::CollectOptionValues(Variant& values, int)
{
    try {
        const QString text = edPrintDate->Text().trimmed();
        const QString separator = GetDateSeparator();
        QString date;
        if (!text.isEmpty() && !text.startsWith(separator) && !text.endsWith(separator))
            date = DateTextToCompact(text);
        values[OptionCount] = QStrToVar(date);
        return true;
    } catch (const std::exception&) {
        ReportMessage(QStringLiteral("E;000030"));
        return false;
    }
}

bool TfrmBaseGene::CollectEnvironment(Variant& environment)
{
    try {
        environment[1] = QStrToVar(ProgramCode.toUpper());
        environment[2] = EnvCount;
        environment[3] = OptionCount;
        environment[4] = QStrToVar(CompanyCode);
        environment[5] = QStrToVar(UserCode);
        environment[6] = QStrToVar(DatabaseName);
        environment[7] = Variant::date(Now());
        environment[8] = QStrToVar(ServerClassName);
        environment[9] = QStrToVar(JobKind.toUpper());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TfrmBaseGene::CollectParams()
{
    return packet_->Collect();
}

void TfrmBaseGene::ReadRunOptions(const Variant& packet)
{
    BaseLimitText.clear();
    // A user without rights still gets his job's options read: the form says why it
    // cannot run, but its schemes are his.
    if (packet.isArray() && packet.dimCount() == 1 && packet.lowBound() + 7 <= packet.highBound()) {
        try {
            BaseLimitText = VarToQStr(packet[packet.lowBound() + 7]).trimmed();
        } catch (const std::exception&) {
        }
    }
    AfterOptionsRead();
}

// --- Condition values ------------------------------------------------------------------------

bool TfrmBaseGene::ControlInList(QWidget* control) const
{
    if (!control)
        return false;
    for (const QPointer<QWidget>& listed : PageEnterControls) {
        if (!listed)
            continue;
        if (listed == control)
            return true;
        // The select panel or radio group the control belongs to.
        if ((qobject_cast<TSelectPanel*>(listed) || listed->inherits("TQvRadioGroup")) && listed->isAncestorOf(control))
            return true;
    }
    return false;
}

// --- Parameters handed in from outside --------------------------------------------------------

void TfrmBaseGene::PutDateRange(const QString& beginText, const QString& endText, Variant& values, int index)
{
    values_->PutDateRange(beginText, endText, values, index);
}

void TfrmBaseGene::PutPanelValue(TSelectPanel* panel, Variant& values, int index)
{
    values_->PutMaskedPanelValue(panel, values, QString(), index);
}

void TfrmBaseGene::PutMaskedPanelValue(TSelectPanel* panel, Variant& values, const QString& removeText, int index)
{
    values_->PutMaskedPanelValue(panel, values, removeText, index);
}

void TfrmBaseGene::LookupIntoPanel(QWidget* control, const QString& table, const QString& kind, bool list,
                                   const QString& extra, const Variant& keys)
{
    values_->LookupIntoPanel(control, table, kind, list, extra, keys);
}

QString TfrmBaseGene::OkRefusal()
{
    return btnOk->Hint().trimmed();
}

bool TfrmBaseGene::ApplyAgainWithin(QWidget* page)
{
    return values_->ApplyAgainWithin(page);
}

void TfrmBaseGene::RefuseParam(const QString& name)
{
    values_->Refuse(name);
}

bool TfrmBaseGene::HandOverChecksRefused() const
{
    return packet_->ChecksRefused();
}

// --- Parameters handed in from outside --------------------------------------------------------

TApplyOutcome TfrmBaseGene::ApplyParams(const Variant& packet)
{
    return packet_->Apply(packet);
}

// --- Dates and required fields ---------------------------------------------------------------

void TfrmBaseGene::AddDateFields(const QString& list)
{
    fields_->AddDateFields(list);
}

int TfrmBaseGene::GetDateFormat()
{
    bool ok = false;
    const int code = GetSystemSetting(QStringLiteral("Sys001")).trimmed().toInt(&ok);
    return ok ? DateInput::normalisedCode(code) : 1;
}

QString TfrmBaseGene::GetDateSeparator()
{
    const QString separator = GetSystemSetting(QStringLiteral("Sys002"));
    return separator.isEmpty() ? QStringLiteral("/") : separator;
}

QString TfrmBaseGene::DateMask()
{
    return DateInput::dateMask(GetDateFormat(), GetDateSeparator());
}

QString TfrmBaseGene::MonthMask()
{
    return DateInput::monthMask(GetDateFormat(), GetDateSeparator());
}

QString TfrmBaseGene::BlankDate()
{
    return DateInput::blankDate(GetDateFormat(), GetDateSeparator());
}

QString TfrmBaseGene::BlankMonth()
{
    return DateInput::blankMonth(GetDateFormat(), GetDateSeparator());
}

QString TfrmBaseGene::DateTextToCompact(const QString& text)
{
    return DateInput::dateTextToCompact(text, GetDateFormat(), GetDateSeparator());
}

QString TfrmBaseGene::MonthTextToCompact(const QString& text)
{
    return DateInput::monthTextToCompact(text, GetDateFormat(), GetDateSeparator());
}

bool TfrmBaseGene::CheckDateField(QWidget* control, bool entering, QString* code)
{
    return fields_->CheckDateField(control, entering, code);
}

bool TfrmBaseGene::CheckMonthField(QWidget* control, bool entering, QString* code)
{
    return fields_->CheckMonthField(control, entering, code);
}

void TfrmBaseGene::SetRequiredFields(const QString& list)
{
    fields_->SetRequiredFields(list);
}

bool TfrmBaseGene::CheckRequiredFields(const QString& list)
{
    return fields_->CheckRequiredFields(list);
}

QString TfrmBaseGene::FieldCaption(QWidget* control) const
{
    return fields_->FieldCaption(control);
}

// --- Server access -------------------------------------------------------------------------

void TfrmBaseGene::CallServerMethod(const QString& name, Variant& args, Variant& result)
{
    server_->CallServerMethod(name, args, result);
}

std::int64_t TfrmBaseGene::QueryInParts(const QString& sql, const QString& columns, const Variant& params, int partRows,
                                        const std::function<bool(Variant& part)>& take)
{
    return server_->QueryInParts(sql, columns, params, partRows, take);
}

QString TfrmBaseGene::GetSystemSetting(const QString& name)
{
    return server_->GetSystemSetting(name);
}

bool TfrmBaseGene::ValidateValue(const QString& table, const QString& kind, bool query, Variant& result,
                                 const Variant& keys)
{
    return server_->ValidateValue(table, kind, query, result, keys);
}

QString TfrmBaseGene::GetMessageText(const QString& type, const QString& number)
{
    return server_->GetMessageText(type, number);
}

bool TfrmBaseGene::ConfigureConnection(TSocketConnection* connection, TSimpleObjectBroker* broker)
{
    return server_->ConfigureConnection(connection, broker);
}

bool TfrmBaseGene::ConnectAppServer()
{
    return server_->ConnectAppServer();
}

QString TfrmBaseGene::PickDate(const QString& text)
{
    return server_->PickDate(text);
}

bool TfrmBaseGene::ShowHelp()
{
    return server_->ShowHelp();
}

// --- Messages and texts ----------------------------------------------------------------------

void TfrmBaseGene::ReportMessage(const QString& code)
{
    messages_->ReportMessage(code);
}

void TfrmBaseGene::ReportRawError(const QString& text)
{
    messages_->ReportRawError(text);
}

int TfrmBaseGene::ShowCodedMessage(const QString& type, const QString& number, std::initializer_list<TMsgDlgBtn> buttons,
                                   const QList<Variant>& args)
{
    return messages_->ShowCodedMessage(type, number, QList<TMsgDlgBtn>(buttons), args);
}

int TfrmBaseGene::ShowCodedMessage(const QString& type, const QString& number, const QList<TMsgDlgBtn>& buttons,
                                   const QList<Variant>& args)
{
    return messages_->ShowCodedMessage(type, number, buttons, args);
}

int TfrmBaseGene::ShowMessageDialog(const QString& text, TMsgDlgType type, const QList<TMsgDlgBtn>& buttons)
{
    return messages_->ShowMessageDialog(text, type, buttons);
}

QString TfrmBaseGene::GetText(const QString& key, const QString& defaultText)
{
    return messages_->FormText(QStringLiteral("TfrmBaseGene"), key, defaultText);
}

QString TfrmBaseGene::GetText(const QString& section, const QString& key, const QString& defaultText)
{
    return messages_->FormText(section, key, defaultText);
}
