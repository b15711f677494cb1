#include "server/ServerLog.h"

#include <cstdio>

void WriteServerLog(const std::string& message)
{
    std::fprintf(stderr, "[ReportCounterS] %s\n", message.c_str());
}
