#pragma once
// TDLLBTCtrller: the controller of batch-job libraries. It owns at most one job form of
// the class the library binds in frmBaseBatchClass and hooks the form's show, hide and
// destroy events to report them to the host shell.

#include "config/Events.h"
#include "plugin/DLLBaseCtrller.h"

class QWidget;
class TfrmBaseBatch;

// The job form class of the library: a constructor taking the owner.
using TfrmBaseBatchClass = TfrmBaseBatch* (*)(QWidget* owner);

extern TDLLBaseControllerClass DLLControllerClass;
extern TfrmBaseBatchClass frmBaseBatchClass;

class TDLLBTCtrller : public TDLLBaseController {
public:
    TDLLBTCtrller() = default;
    ~TDLLBTCtrller() override;

    void GetFormVersion(std::string& result) override;
    std::int32_t GetFormVisible() override;
    void SetFormVisible(std::int16_t visible) override;
    HWND GetFormHandle() override;
    std::int32_t OpenForm(const Variant& session) override;
    std::int32_t ApplyParams(const Variant& params) override;
    std::int32_t ExecCommand(std::int32_t code, std::int32_t reserved, const Variant& params) override;
    Variant ShowFormModal() override;
    void FreeForm() override;
    std::int32_t GetSessionInfo(Variant& info) override;
    bool IsFormFree() override;
    void DoFormShow(QObject* sender) override;
    void DoFormHide(QObject* sender) override;
    void DoFormDestroy(QObject* sender) override;
    std::int32_t LastApplyOutcome() const override;

    TfrmBaseBatch* Form = nullptr;
    std::int32_t Reserved7 = 0;
    TNotifyEvent OldOnShow;
    TNotifyEvent OldOnHide;
    TNotifyEvent OldOnDestroy;

private:
    void HookForm();
    std::int32_t apply(const Variant& packet);
    std::int32_t lastOutcome_ = aoTaken;
    // The form whose events carry this controller's hooks: a second OpenForm on the same
    // form must not save the hooks as the form's own handlers.
    TfrmBaseBatch* hookedForm_ = nullptr;
};

TDLLBaseController* CreateDLLBTCtrller();
