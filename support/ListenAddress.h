#pragma once
// The address a server listens on, as its command line and BriskoS.ini write it.

#include <string>

// "HOST:PORT" or "[V6]:PORT" as --listen takes it; false when it is not one.
bool ParseListenAddress(const std::string& text, std::string& host, int& port);
