#pragma once
// How the job form enters a session: the session array the host shell hands in, or the
// test session a program holding the form gets, read into the form; the services made and
// the job initialised; the application server connected. And the job's name as the
// program table has it.

#include "platform/Variant.h"

class TfrmBaseGene;

class TGeneSession {
public:
    explicit TGeneSession(TfrmBaseGene& form);

    // The session of a program rather than the host shell (SetModuleFileName).
    static Variant TestSession();
    // InitSession: [user, company, database, host window, extra]; false when the form is
    // in a session already, or could not connect (it closes itself then).
    bool Enter(const Variant& session);
    // ProgramName from the program table, in the interface's language; the program code
    // when the table cannot be read.
    void ReadProgramName();

private:
    TfrmBaseGene& form_;
};
