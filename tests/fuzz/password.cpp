// Stored passwords: any stored text decodes without harm (a text that is not hexadecimal
// gives the error marker), and every plain text comes back from its stored form.

#include "FuzzSupport.h"

#include "support/BriskoINI.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

std::filesystem::path g_folder;
int g_calls = 0;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Bad passwords are logged below the client folder: a registry of its own.
    char pattern[] = "/tmp/qv-fuzz-password-XXXXXX";
    g_folder = mkdtemp(pattern);
    std::filesystem::create_directories(g_folder / "client");
    {
        std::FILE* f = std::fopen((g_folder / "registry.ini").c_str(), "w");
        std::fputs("[Software\\QVR\\Brisko]\nClientPath=client/\n", f);
        std::fclose(f);
    }
    setenv("QV_REGISTRY", (g_folder / "registry.ini").c_str(), 1);
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(g_folder, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    (void)DecodePassword(text);
    if (fuzz::validUtf8(text) && text != "QV_Say_NoPassWord_ThePassWordIsEmpty") {
        const std::string stored = EncodePassword(text);
        fuzz::check(stored.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos,
                    "a stored password is hexadecimal", stored);
        fuzz::check(DecodePassword(stored) == text, "a password comes back from its stored form", text);
    }
    if (++g_calls % 1000 == 0) {
        std::error_code ec;
        std::filesystem::remove_all(g_folder / "client" / "Log", ec);
    }
    return 0;
}
