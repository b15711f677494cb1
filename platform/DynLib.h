#pragma once
// Dynamic libraries with the meaning of LoadLibrary / GetProcAddress / FreeLibrary, and
// the file names of loaded modules.

#include <string>

using HMODULE = void*;

// Loads a shared library by path; nullptr on failure (LastLibraryError tells why). A name
// without a folder is looked for beside the program, then beside the platform library,
// then along the system's library search.
// Loading the same file again returns the same module and counts one more reference.
HMODULE LoadLibrary(const std::string& path);
void* GetProcAddress(HMODULE module, const char* name);
// Drops one reference; false when the handle was not a loaded module.
bool FreeLibrary(HMODULE module);
std::string LastLibraryError();

// Absolute file name of the module (program or shared library) that holds the address;
// empty when no module holds it.
std::string GetModuleFileName(const void* addressInModule);
// Absolute file name of the running program.
std::string GetProgramFileName();
