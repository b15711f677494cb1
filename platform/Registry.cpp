#include "platform/Registry.h"
#include "platform/IniFile.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

std::string normaliseKey(std::string_view key)
{
    std::string k(key);
    for (char& c : k)
        if (c == '/')
            c = '\\';
    constexpr std::string_view root = "HKEY_LOCAL_MACHINE\\";
    if (k.size() >= root.size() && SameTextAscii(std::string_view(k).substr(0, root.size()), root))
        k.erase(0, root.size());
    while (!k.empty() && k.front() == '\\')
        k.erase(0, 1);
    while (!k.empty() && k.back() == '\\')
        k.pop_back();
    return k;
}

} // namespace

std::string Registry::FilePath()
{
    if (const char* f = std::getenv("QV_REGISTRY"); f && *f)
        return f;
    std::string own;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) {
        own = std::string(x) + "/qvr/registry.ini";
    } else {
        const char* home = std::getenv("HOME");
        own = std::string(home && *home ? home : "/tmp") + "/.config/qvr/registry.ini";
    }
    // A machine set up by qvsetup keeps the file for all its users; a user's own still wins.
    std::error_code ec;
    if (!std::filesystem::exists(own, ec) && std::filesystem::exists(SystemFilePath, ec))
        return SystemFilePath;
    return own;
}

std::string Registry::FileFolder()
{
    std::error_code ec;
    std::filesystem::path file = std::filesystem::absolute(FilePath(), ec);
    if (ec)
        file = FilePath();
    std::string folder = file.parent_path().string();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

Registry::Registry() = default;
Registry::~Registry() = default;

const IniFile& Registry::file() const
{
    if (!file_)
        file_ = std::make_unique<const IniFile>(FilePath());
    return *file_;
}

bool Registry::OpenKeyReadOnly(std::string_view key)
{
    CloseKey();
    const IniFile& f = file();
    const std::string k = normaliseKey(key);
    if (!f.SectionExists(k))
        return false;
    key_ = k;
    values_ = f.ReadSectionPairs(k);
    open_ = true;
    return true;
}

void Registry::CloseKey()
{
    key_.clear();
    values_.clear();
    open_ = false;
}

bool Registry::KeyExists(std::string_view key) const
{
    return file().SectionExists(normaliseKey(key));
}

bool Registry::ValueExists(std::string_view name) const
{
    for (const auto& v : values_)
        if (SameTextAscii(v.first, name))
            return true;
    return false;
}

std::string Registry::ReadString(std::string_view name) const
{
    for (const auto& v : values_)
        if (SameTextAscii(v.first, name))
            return v.second;
    return {};
}

std::vector<std::string> Registry::GetValueNames() const
{
    std::vector<std::string> names;
    for (const auto& v : values_)
        names.push_back(v.first);
    return names;
}

std::string ReadMachineString(std::string_view key, std::string_view name, std::string_view def)
{
    Registry reg;
    if (!reg.OpenKeyReadOnly(key) || !reg.ValueExists(name))
        return std::string(def);
    return reg.ReadString(name);
}

std::string ResolveRegistryFolder(std::string_view folder)
{
    if (folder.empty())
        return {};
    const bool drive = folder.size() >= 2 && folder[1] == ':' &&
                       ((folder[0] >= 'A' && folder[0] <= 'Z') || (folder[0] >= 'a' && folder[0] <= 'z'));
    const bool share = folder.size() >= 2 && (folder[0] == '\\' || folder[0] == '/') && folder[1] == folder[0];
    if (drive || share || folder[0] == '/')
        return std::string(folder);
    std::string rest(folder.front() == '\\' ? folder.substr(1) : folder);
    for (char& c : rest)
        if (c == '\\')
            c = '/';
    // "./client/" and "data/../client/" name the folder as "client/" would.
    return std::filesystem::path(Registry::FileFolder() + rest).lexically_normal().string();
}
