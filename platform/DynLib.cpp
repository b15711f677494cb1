#include "platform/DynLib.h"

#include <dlfcn.h>
#include <filesystem>
#include <system_error>

namespace {
thread_local std::string lastError;
}

HMODULE LoadLibrary(const std::string& path)
{
    HMODULE module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* e = dlerror();
        lastError = e ? e : "unknown error";
    }
    return module;
}

void* GetProcAddress(HMODULE module, const char* name)
{
    if (!module || !name)
        return nullptr;
    dlerror();
    void* p = dlsym(module, name);
    if (!p) {
        const char* e = dlerror();
        lastError = e ? e : "symbol not found";
    }
    return p;
}

bool FreeLibrary(HMODULE module)
{
    if (!module)
        return false;
    if (dlclose(module) != 0) {
        const char* e = dlerror();
        lastError = e ? e : "unknown error";
        return false;
    }
    return true;
}

std::string LastLibraryError()
{
    return lastError;
}

std::string GetModuleFileName(const void* addressInModule)
{
    Dl_info info{};
    if (!dladdr(addressInModule, &info) || !info.dli_fname || !*info.dli_fname)
        return {};
    std::error_code ec;
    const auto abs = std::filesystem::absolute(info.dli_fname, ec);
    return ec ? std::string(info.dli_fname) : abs.lexically_normal().string();
}

std::string GetProgramFileName()
{
    std::error_code ec;
    const auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
}
