#include "platform/InstallLayout.h"

#include "platform/DynLib.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr const char* kSuite = "wofb07";

std::string folderText(const fs::path& p)
{
    std::string s = p.lexically_normal().string();
    if (s.empty() || s.back() != '/')
        s += '/';
    return s;
}

// <prefix>/lib/wofb07/ -> <prefix>/; empty when the libraries are not laid out so.
fs::path installedPrefix(const std::string& libraryFolder)
{
    fs::path lib = fs::path(libraryFolder).lexically_normal();
    if (lib.filename().empty())
        lib = lib.parent_path();
    if (lib.filename() != kSuite || lib.parent_path().filename() != "lib")
        return {};
    return lib.parent_path().parent_path();
}

} // namespace

std::string SuiteLibraryFolder()
{
    const std::string self = GetModuleFileName(reinterpret_cast<const void*>(&SuiteLibraryFolder));
    return folderText(fs::path(self).parent_path());
}

std::string SuiteServerLibraryFolder(const std::string& libraryFolder)
{
    std::error_code ec;
    const fs::path packaged = fs::path(libraryFolder) / "S_PKG";
    return fs::is_directory(packaged, ec) ? folderText(packaged) : folderText(libraryFolder);
}

std::string SuiteProgram(const std::string& name, const std::string& libraryFolder)
{
    const fs::path beside = fs::path(libraryFolder) / name;
    std::error_code ec;
    if (fs::is_regular_file(beside, ec))
        return beside.string();
    if (const fs::path prefix = installedPrefix(libraryFolder); !prefix.empty()) {
        const fs::path installed = prefix / "bin" / name;
        if (fs::is_regular_file(installed, ec))
            return installed.string();
    }
    return beside.string();
}

std::string SuiteDataFolder()
{
    if (const fs::path prefix = installedPrefix(SuiteLibraryFolder()); !prefix.empty())
        return folderText(prefix / "share" / kSuite);
#ifdef QV_SOURCE_RESOURCES
    return folderText(QV_SOURCE_RESOURCES);
#else
    return folderText(fs::path(SuiteLibraryFolder()) / "resources");
#endif
}
