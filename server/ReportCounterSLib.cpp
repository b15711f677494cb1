// Entry of the class library ReportCounterS.so: CreateOleObject loads it through the
// class table and lets it register its classes.

#include "server/ReportCounterS.h"

extern "C" __attribute__((visibility("default"))) void OleRegisterClasses()
{
    RegisterReportCounterS();
}
