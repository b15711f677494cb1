#include "support/ServerLog.h"

#include "support/AlertLog.h"

void WriteServerLog(const std::string& message)
{
    WriteAlertLog("ReportCounterS", message, "D");
}
