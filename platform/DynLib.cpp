#include "platform/DynLib.h"

#include <dlfcn.h>
#include <filesystem>
#include <system_error>

namespace {
thread_local std::string lastError;
}

namespace {
std::string folderOf(const std::string& file)
{
    const auto slash = file.rfind('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}
} // namespace

HMODULE LoadLibrary(const std::string& path)
{
    // A bare name is looked for as the system looks for it: beside the program, then
    // beside the suite's own libraries, then along the loader's search. The loader alone
    // would search the folders of whichever object calls it, which is not ours when a
    // tool (a sanitizer) stands in front of the loader.
    if (!path.empty() && path.find('/') == std::string::npos) {
        std::error_code ec;
        for (const std::string& folder : {folderOf(GetProgramFileName()),
                                          folderOf(GetModuleFileName(reinterpret_cast<const void*>(&LastLibraryError)))}) {
            if (folder.empty() || !std::filesystem::is_regular_file(folder + path, ec))
                continue;
            if (HMODULE module = dlopen((folder + path).c_str(), RTLD_NOW | RTLD_LOCAL))
                return module;
        }
    }
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
