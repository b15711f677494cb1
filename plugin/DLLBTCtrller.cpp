#include "plugin/DLLBTCtrller.h"
#include "batch/BaseBatchCF.h"
#include "config/QtVariant.h"
#include "platform/DynLib.h"

TfrmBaseBatchClass frmBaseBatchClass = nullptr;

TDLLBaseController* CreateDLLBTCtrller()
{
    return new TDLLBTCtrller;
}

namespace {
// The unit's initialisation: GetController creates batch controllers.
const bool registered = (DLLControllerClass = &CreateDLLBTCtrller, true);
} // namespace

TDLLBTCtrller::~TDLLBTCtrller()
{
    if (Form)
        FreeForm();
}

void TDLLBTCtrller::GetFormVersion(std::string& result)
{
    if (Form)
        result = Utf8(Form->FormVersion);
}

std::int32_t TDLLBTCtrller::GetFormVisible()
{
    return Form && Form->isVisible() ? -1 : 0;
}

void TDLLBTCtrller::SetFormVisible(std::int16_t visible)
{
    if (!Form)
        return;
    Form->setVisible(visible != 0);
    if (visible != 0) {
        if (Form->isMinimized())
            Form->showNormal();
        Form->raise();
        Form->activateWindow();
    }
}

HWND TDLLBTCtrller::GetFormHandle()
{
    return Form ? HWND(Form->winId()) : 0;
}

std::int32_t TDLLBTCtrller::OpenForm(const Variant& session)
{
    const Variant copy = session;
    if (!Form) {
        if (!frmBaseBatchClass)
            throw Exception("QVR DLL Internal Error :\rNot Assign \"frmBaseBatchClass\" varible");
        try {
            Form = frmBaseBatchClass(nullptr);
            Form->SetModuleFileName(QStr(GetModuleFileName(reinterpret_cast<const void*>(&GetController))));
            Form->SessionObject = Environment;
        } catch (const std::exception&) {
            if (Form) {
                TfrmBaseBatch* broken = Form;
                Form = nullptr;
                broken->Free();
            }
            return -1;
        }
        DoFormCreated();
    }
    HookForm();
    try {
        return Form && Form->InitSession(copy) ? 0 : -1;
    } catch (const std::exception&) {
        return -1;
    }
}

void TDLLBTCtrller::HookForm()
{
    if (!Form || hookedForm_ == Form)
        return;
    hookedForm_ = Form;
    OldOnShow = Form->OnShow;
    Form->OnShow = [this](QObject* sender) { DoFormShow(sender); };
    OldOnHide = Form->OnHide;
    Form->OnHide = [this](QObject* sender) { DoFormHide(sender); };
    OldOnDestroy = Form->OnDestroy;
    Form->OnDestroy = [this](QObject* sender) { DoFormDestroy(sender); };
}

std::int32_t TDLLBTCtrller::apply(const Variant& packet)
{
    lastOutcome_ = aoRefused;
    try {
        switch (Form->ApplyParams(packet)) {
        case TApplyOutcome::Taken:
            lastOutcome_ = aoTaken;
            break;
        case TApplyOutcome::Refused:
            break;
        case TApplyOutcome::CheckRefused:
            lastOutcome_ = aoCheckRefused;
            break;
        case TApplyOutcome::NothingHandedOver:
            lastOutcome_ = aoNothingHandedOver;
            break;
        }
        return 0;
    } catch (const std::exception&) {
        return -1;
    }
}

std::int32_t TDLLBTCtrller::ApplyParams(const Variant& params)
{
    if (!Form || !params.isArray()) {
        lastOutcome_ = aoRefused;
        return -1;
    }
    return apply(params);
}

std::int32_t TDLLBTCtrller::ExecCommand(std::int32_t code, std::int32_t, const Variant& params)
{
    if (!Form || code != 5) {
        lastOutcome_ = aoRefused;
        return -1;
    }
    return apply(Variant::list({false, params}));
}

std::int32_t TDLLBTCtrller::LastApplyOutcome() const
{
    return lastOutcome_;
}

Variant TDLLBTCtrller::ShowFormModal()
{
    if (!Form)
        return mrCancel;
    try {
        return Form->ShowModal();
    } catch (const std::exception&) {
        return mrCancel;
    }
}

void TDLLBTCtrller::FreeForm()
{
    if (Form && !Form->Destroying())
        Form->Free();
}

std::int32_t TDLLBTCtrller::GetSessionInfo(Variant& info)
{
    if (!Form)
        return -1;
    info = Variant::list({QStrToVar(Form->UserCode), QStrToVar(Form->CompanyCode),
                          QStrToVar(Form->ProgramCode), QStrToVar(Form->ProgramName)});
    return 0;
}

bool TDLLBTCtrller::IsFormFree()
{
    return Form == nullptr;
}

void TDLLBTCtrller::DoFormShow(QObject* sender)
{
    if (OldOnShow)
        OldOnShow(sender);
    TDLLBaseController::DoFormShow(sender);
}

void TDLLBTCtrller::DoFormHide(QObject* sender)
{
    if (OldOnHide)
        OldOnHide(sender);
    DoEvent(evFormHide);
}

void TDLLBTCtrller::DoFormDestroy(QObject* sender)
{
    // The host may free this controller from its event-304 callback: everything the
    // controller keeps is settled first, and nothing of it is touched after the event.
    TfrmBaseBatch* form = Form;
    Form = nullptr;
    hookedForm_ = nullptr;
    if (!form)
        return;
    ResultCode = form->JobSubmitted;
    ResultValue = form->LastRequestNo;
    const TNotifyEvent own = OldOnDestroy;
    if (own)
        own(sender);
    DoEvent(evFormDestroy);
}
