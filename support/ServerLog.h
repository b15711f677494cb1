#pragma once
// The application server's alert log ("ReportCounterS", one file a day): failures that
// the server answers as Empty or an error text leave their reason here.

#include <string>

void WriteServerLog(const std::string& message);
