#include "plugin/DLLBaseCtrller.h"

// Set by the controller unit of the library while it loads.
TDLLBaseControllerClass DLLControllerClass = nullptr;

void TDLLBaseController::DoFormCreated()
{
    DoEvent(evFormCreated);
}

void TDLLBaseController::DoFormShow(QObject*)
{
    DoEvent(evFormShow);
}

void TDLLBaseController::DoFormHide(QObject*)
{
    DoEvent(evFormHide);
}

void TDLLBaseController::DoFormDestroy(QObject*)
{
    DoEvent(evFormDestroy);
}

void TDLLBaseController::DoReservedEvent()
{
    DoEvent(evReserved);
}

void TDLLBaseController::DoEvent(std::int32_t code)
{
    // A copy runs, so that a callback that frees the controller does not free the
    // callback while it runs.
    if (const TControllerEvent handler = OnEvent)
        handler(code, this);
}

void TDLLBaseController::Reserved17() {}

TDLLBaseController::~TDLLBaseController() = default;

std::int32_t TDLLBaseController::LastApplyOutcome() const
{
    return aoTaken;
}

extern "C" __attribute__((visibility("default"))) TDLLBaseController* GetController()
{
    if (!DLLControllerClass)
        throw Exception("QVR DLL Internal Error :\rNot Assign \"DLLControllerClass\" varible");
    return DLLControllerClass();
}
