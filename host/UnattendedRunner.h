#pragma once
// The modal runner of a host without a person at the screen. Every modal window is
// answered at once with its default: a message box by its Cancel button when it has one,
// else by its No, OK or only button; any other dialog or form is cancelled without being
// shown. What the window said and how it was answered goes to report (jobhost writes it
// to standard error), so an unattended run never waits and loses nothing it was told.

#include "platform/ModalRunner.h"

#include <functional>
#include <string>

// problem is set for a message box that warns or reports an error.
ModalRunFn UnattendedRunner(std::function<void(const std::string& line, bool problem)> report);
