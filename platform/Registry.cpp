#include "platform/Registry.h"
#include "platform/IniFile.h"

#include <cstdlib>

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
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x)
        return std::string(x) + "/qvr/registry.ini";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.config/qvr/registry.ini";
}

bool Registry::OpenKeyReadOnly(std::string_view key)
{
    CloseKey();
    const IniFile file(FilePath());
    const std::string k = normaliseKey(key);
    if (!file.SectionExists(k))
        return false;
    key_ = k;
    for (const std::string& name : file.ReadSection(k))
        values_.emplace_back(name, file.ReadString(k, name, ""));
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
    return IniFile(FilePath()).SectionExists(normaliseKey(key));
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
