#pragma once
// Tells the user why the application server could not answer a query of the host's
// services (a database another program keeps locked, a query past the server's bounds):
// a warning box through the modal runner, or a line on standard error in a process
// without windows.

#include "support/MessageCatalogue.h"

#include <string>

namespace ServerNotice {

// The text of the box: a lead in the interface language and the server's reason.
std::string Text(const std::string& reason, HostLanguage language);
void Show(const std::string& reason, HostLanguage language);

} // namespace ServerNotice
