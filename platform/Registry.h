#pragma once
// The machine part of the registry, read-only, from a registry file: an ini file whose
// sections are key paths under the machine root ("[Software\QVR\Brisko]") and whose
// entries are the key's string values. The environment variable QV_REGISTRY names the
// file; without it $XDG_CONFIG_HOME/qvr/registry.ini (or ~/.config/qvr/registry.ini), and
// when the user has none, the machine's /etc/wofb07/registry.ini (qvsetup site or desk).
// A Registry object reads the file once, when it first needs it; a new object sees later
// changes.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class IniFile;

class Registry {
public:
    Registry();
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    static std::string FilePath();
    // The machine's registry file, for users without one of their own.
    static constexpr const char* SystemFilePath = "/etc/wofb07/registry.ini";
    // The folder of the registry file as an absolute path ending with "/".
    static std::string FileFolder();

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
    const IniFile& file() const;

    mutable std::unique_ptr<const IniFile> file_;
    std::string key_;
    std::vector<std::pair<std::string, std::string>> values_;
    bool open_ = false;
};

// Reads one value under the machine root; def when the key or value is missing.
std::string ReadMachineString(std::string_view key, std::string_view name, std::string_view def = {});
// A folder named by a registry value: one written relative ("client/", "data\\c\\") lies
// below the registry file's folder, wherever the program was started; an absolute one, or
// one with a drive or a share, stays as written. Empty stays empty.
std::string ResolveRegistryFolder(std::string_view folder);
