// Ini files as the client and the server read them: the profile reader over text and over
// a file (where a text that is not UTF-8 goes through the ANSI code page), and both
// configuration records loading that file as BriskoC.ini and BriskoS.ini.
// Properties: every key a section lists exists and reads as the first of its lines.

#include "FuzzSupport.h"

#include "platform/IniFile.h"
#include "support/BriskoINI.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

std::filesystem::path g_folder;

void writeFile(const std::filesystem::path& file, std::string_view text)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(text.data(), std::streamsize(text.size()));
}

void readAll(const IniFile& ini)
{
    for (const std::string& section : ini.ReadSections()) {
        fuzz::check(ini.SectionExists(section), "a listed section exists", section);
        const auto pairs = ini.ReadSectionPairs(section);
        for (const auto& [key, value] : pairs) {
            fuzz::check(ini.ValueExists(section, key), "a listed key exists", key);
            fuzz::check(ini.ReadString(section, key, "\x01") == value, "a key reads as its first line", key);
            (void)ini.ReadInteger(section, key, 7);
            (void)ini.ReadBool(section, key, true);
        }
        fuzz::check(ini.ReadSection(section).size() >= pairs.size(), "every distinct key is listed", section);
        (void)ini.ReadSectionValues(section);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char pattern[] = "/tmp/qv-fuzz-ini-XXXXXX";
    g_folder = mkdtemp(pattern);
    std::filesystem::create_directories(g_folder / "client");
    std::filesystem::create_directories(g_folder / "server");
    writeFile(g_folder / "registry.ini",
              "[Software\\QVR\\Brisko]\nClientPath=client/\nServerPath=server/\n");
    setenv("QV_REGISTRY", (g_folder / "registry.ini").c_str(), 1);
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(g_folder, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    readAll(IniFile::fromText(text));

    writeFile(g_folder / "client" / "BriskoC.ini", text);
    writeFile(g_folder / "server" / "BriskoS.ini", text);
    readAll(IniFile((g_folder / "client" / "BriskoC.ini").string()));
    TBriskoIniC client;
    (void)client.Load();
    TBriskoIniS server;
    if (server.Load()) {
        std::vector<std::string> paths;
        server.GetWorkDLLPaths(paths);
    }
    // Bad passwords leave alert-log entries; keep the folder small.
    std::error_code ec;
    std::filesystem::remove_all(g_folder / "client" / "Log", ec);
    return 0;
}
