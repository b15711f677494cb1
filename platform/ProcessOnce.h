#pragma once
// Things done once per process, whichever module asks: this shared library is loaded once,
// while the host, the job libraries and the server libraries each link the rest of the
// suite statically, so a static of their own would exist once per module.

#include <string_view>

// True the first time key is asked for in this process, false afterwards.
bool FirstTimeInProcess(std::string_view key);
