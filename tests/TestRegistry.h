#pragma once
// A test that sets no registry file of its own reads none: not the user's, and not the
// machine's /etc/wofb07/registry.ini of a site installed on the test machine.

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

inline void KeepTestsFromTheMachinesRegistry()
{
    if (const char* f = std::getenv("QV_REGISTRY"); f && *f)
        return;
    const std::string none = (std::filesystem::temp_directory_path() /
                              ("qvtest-no-registry-" + std::to_string(::getpid()) + ".ini")).string();
    ::setenv("QV_REGISTRY", none.c_str(), 1);
}
