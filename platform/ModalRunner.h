#pragma once
// The one place through which every modal window of the process is run: message boxes,
// dialogs of the job forms, the host's look-up windows and date picker. Tests install a
// runner that answers a dialog without a person and records what was shown.
//
// It lives in the platform library so that host and plug-in share one runner; it knows
// the window only as a QWidget pointer and links no Qt.

#include <functional>

class QWidget;

// run() shows the window modal and returns its result; a runner may call it, or answer
// in its place.
using ModalRunFn = std::function<int(QWidget* window, const std::function<int()>& run)>;

// Runs a modal window through the installed runner (by default: run()).
int RunModal(QWidget* window, const std::function<int()>& run);
// Installs a runner and returns the previous one; an empty function restores the default.
ModalRunFn SetModalRunner(ModalRunFn runner);
