#pragma once
// TfrmBaseGene: the base class of every job form. The session, the program code and the
// identity the controller reads live here.

#include "config/QVForm.h"
#include "platform/Variant.h"

#include <QString>

#include <cstdint>

class TfrmBaseGene : public TQVForm {
    Q_OBJECT

public:
    explicit TfrmBaseGene(QWidget* owner = nullptr);

    // Identity and session.
    QString ModuleFileName;
    QString FormVersion;
    std::uintptr_t HostWindow = 0;
    Variant SessionExtra;
    Variant SessionObject;
    QString UserCode;
    QString CompanyCode;
    QString DatabaseName;
    QString ProgramCode;
    QString ProgramName;
    QString ServerClassName;

    // Parameter hand-over.
    Variant CommandArray;
    bool ApplyDone = false;
    bool ApplyByName = true;
    bool ApplyRunFlag = true;

    // Called by the controller right after creation; a program (not a library) holding
    // the form initialises it at once with a test session.
    void SetModuleFileName(const QString& fileName);
    // The module is a library (".Dll", or this platform's ".so").
    bool IsLibraryMode() const;
    // The controller's parameter hand-over.
    void ApplyParams(const Variant& packet);

    // Initialisation with the session array; true when the form may be shown.
    virtual bool InitSession(const Variant& session);

    // The program code a module file name stands for: the name without folder and
    // extension, less one character for a library and two for a program, never fewer
    // than six, in upper case.
    static QString ProgramCodeFromModule(const QString& moduleFileName);

protected:
    void FormClose(QObject* sender, TCloseAction& action) override;
};
