#pragma once
// The controller of a job library, as the host shell sees it. A host compiles against
// this header alone: it loads the library, calls its one export GetController and drives
// the job window through the virtual operations below, which it calls by slot. Their
// order, and the order of the fields, are the contract with the host shell.

#include "platform/Variant.h"

#include <cstdint>
#include <functional>
#include <string>

class QObject;
class TDLLBaseController;

// The host shell's notification callback: (event code, controller).
using TControllerEvent = std::function<void(std::int32_t code, TDLLBaseController* controller)>;
using HWND = std::uintptr_t;

// Event codes raised through OnEvent.
enum : std::int32_t {
    evFormCreated = 0x100,  // a new form exists, before it is initialised with the session
    evFormShow = 0x110,     // the form was shown (after its own OnShow)
    evFormHide = 0x120,     // the form was hidden (after its own OnHide)
    evFormDestroy = 0x130,  // the form is being destroyed; ResultCode and ResultValue are set and the
                            // controller holds no form: the callback may free the controller
    evReserved = 0x140,
};

// ResultCode values.
enum : std::int32_t { rcNothing = 0, rcSubmitted = 1, rcCancelled = 2 };

// What the last ApplyParams or ExecCommand came to (LastApplyOutcome).
enum : std::int32_t {
    aoTaken = 0,             // the values were set and the command did what it asks
    aoRefused = 1,           // no form, or a name or a value the form cannot take
    aoCheckRefused = 2,      // a check of the job refused a value: nothing was handed over
    aoNothingHandedOver = 3, // the command asked for a hand-over and none came about; the job said why
};

class TDLLBaseController {
public:
    TDLLBaseController() = default;
    TDLLBaseController(const TDLLBaseController&) = delete;
    TDLLBaseController& operator=(const TDLLBaseController&) = delete;

    // Slot 0: the form's version text; the result stays as it was when there is no form.
    virtual void GetFormVersion(std::string& result) = 0;
    // Slot 1: -1 when a form exists and is visible, else 0.
    virtual std::int32_t GetFormVisible() = 0;
    // Slot 2: shows (non-zero) or hides the form; showing restores a minimised form and
    // brings it to the front.
    virtual void SetFormVisible(std::int16_t visible) = 0;
    // Slot 3: the form's window handle, 0 without a form.
    virtual HWND GetFormHandle() = 0;
    // Slot 4: creates the form when there is none and initialises it with the session
    // array [user, company, database, host window, extra]; 0 when the form accepted it,
    // else -1.
    virtual std::int32_t OpenForm(const Variant& session) = 0;
    // Slot 5: hands a parameter packet to the form; 0, or -1 without a form, for anything
    // but an array, or when the form raised.
    virtual std::int32_t ApplyParams(const Variant& params) = 0;
    // Slot 6: command 5 hands [False, params] to the form as slot 5 does; anything else -1.
    virtual std::int32_t ExecCommand(std::int32_t code, std::int32_t reserved, const Variant& params) = 0;
    // Slot 7: shows the form modal and answers its modal result; 2 without a form.
    virtual Variant ShowFormModal() = 0;
    // Slot 8: frees the form, if any.
    virtual void FreeForm() = 0;
    // Slot 9: [user, company, program code, program name] into info and 0; -1 and info
    // untouched without a form.
    virtual std::int32_t GetSessionInfo(Variant& info) = 0;
    // Slot 10: true when the controller holds no form.
    virtual bool IsFormFree() = 0;
    // Slots 11 to 16 raise the events; 17 is empty.
    virtual void DoFormCreated();
    virtual void DoFormShow(QObject* sender);
    virtual void DoFormHide(QObject* sender);
    virtual void DoFormDestroy(QObject* sender);
    virtual void DoReservedEvent();
    virtual void DoEvent(std::int32_t code);
    virtual void Reserved17();
    // Declared after the slots so that the slot numbers above hold. Frees the form too.
    virtual ~TDLLBaseController();
    // After the slots, so that a host built before it still finds them: what the last
    // ApplyParams or ExecCommand came to, for a host that runs the job unattended.
    virtual std::int32_t LastApplyOutcome() const;

    std::int32_t Reserved1 = 0;
    // The host shell's session object; set before OpenForm.
    Variant Environment;
    std::int32_t ResultCode = rcNothing;
    Variant ResultValue;
    TControllerEvent OnEvent;
};

// The library's one export. The caller owns the controller and deletes it.
extern "C" TDLLBaseController* GetController();
using TGetController = TDLLBaseController* (*)();

// A controller class as the library binds it.
using TDLLBaseControllerClass = TDLLBaseController* (*)();
