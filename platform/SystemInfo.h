#pragma once
// Machine, user and folder names that the suite takes from the operating system.

#include <string>

// The machine's name, at most 15 characters (a NetBIOS name); "Unknown" when it has none.
std::string GetComputerName();
// The login name of the user running the process; empty when it cannot be told.
std::string GetUserName();
// The folder for temporary files, ending with a path separator.
std::string GetTempPath();
// Version of the operating system as "major.minor.build" (from the kernel release).
std::string GetOsVersionText();
