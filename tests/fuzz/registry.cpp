// The registry file: any text as the file QV_REGISTRY names, every key it has opened and
// read, and the folders its values name resolved. Properties: a key found in the file
// opens, and each value it lists exists and reads back.

#include "FuzzSupport.h"

#include "platform/IniFile.h"
#include "platform/Registry.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

std::filesystem::path g_file;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char pattern[] = "/tmp/qv-fuzz-registry-XXXXXX";
    const std::filesystem::path folder = mkdtemp(pattern);
    g_file = folder / "registry.ini";
    setenv("QV_REGISTRY", g_file.c_str(), 1);
    static const std::filesystem::path keep = folder;
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(keep, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(g_file, std::ios::binary | std::ios::trunc);
        out.write(text.data(), std::streamsize(text.size()));
    }
    const IniFile ini = IniFile::fromText(text);
    Registry reg;
    (void)Registry::FileFolder();
    for (const std::string& key : ini.ReadSections()) {
        const bool opened = reg.OpenKeyReadOnly(key);
        // A key's text may not stand for a key path ("\" alone, blanks); those need not open.
        if (!opened)
            continue;
        fuzz::check(reg.KeyExists(key), "an opened key exists", key);
        for (const std::string& name : reg.GetValueNames()) {
            fuzz::check(reg.ValueExists(name), "a listed value exists", name);
            const std::string value = reg.ReadString(name);
            (void)ResolveRegistryFolder(value);
            (void)ReadMachineString(key, name, "-");
        }
        reg.CloseKey();
    }
    (void)reg.OpenKeyReadOnly("Software\\QVR\\Brisko");
    (void)ResolveRegistryFolder(reg.ReadString("ClientPath"));
    return 0;
}
