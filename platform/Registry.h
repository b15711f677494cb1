#pragma once
// The machine part of the registry, read-only, from a registry file: an ini file whose
// sections are key paths under the machine root ("[Software\QVR\Brisko]") and whose
// entries are the key's string values. The environment variable QV_REGISTRY names the
// file; without it $XDG_CONFIG_HOME/qvr/registry.ini (or ~/.config/qvr/registry.ini).

#include <string>
#include <string_view>
#include <vector>

class Registry {
public:
    static std::string FilePath();

    // Opens a key for reading ("Software\QVR\Brisko"; a leading "\" or
    // "HKEY_LOCAL_MACHINE\" is ignored); false when the key does not exist.
    bool OpenKeyReadOnly(std::string_view key);
    void CloseKey();
    bool KeyExists(std::string_view key) const;
    bool ValueExists(std::string_view name) const;
    // The value of the open key; empty when there is none.
    std::string ReadString(std::string_view name) const;
    std::vector<std::string> GetValueNames() const;

private:
    std::string key_;
    std::vector<std::pair<std::string, std::string>> values_;
    bool open_ = false;
};

// Reads one value under the machine root; def when the key or value is missing.
std::string ReadMachineString(std::string_view key, std::string_view name, std::string_view def = {});
