// Configuration files of many sections must load in linear time: an ini file, the
// registry file (the key asked for is the last section) and a whole client record whose
// registry and BriskoC.ini both carry that many sections. Each runs at n and 4n; the
// median time at 4n should stay within 4.5 times the median at n.
//
// A program reads its configuration once, into memory fresh from the system. The
// allocator is held to that: by default it would keep blocks below 32 MB for the next
// iteration, so that the smaller files would be read into memory already mapped and warm
// in the cache while the larger ones would not, and the two sizes would not compare.

#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "support/BriskoINI.h"

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

const bool freshMemory = mallopt(M_MMAP_THRESHOLD, 128 * 1024) == 1;

// A folder of its own for the files, removed when the program ends.
class Folder {
public:
    Folder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvbench-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            path_ = pattern + "/";
    }
    ~Folder()
    {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

const Folder& folder()
{
    static const Folder f;
    return f;
}

// n sections of a few keys each, named as a generator or a careless tool would leave them.
std::string manySections(int n, const std::string& prefix)
{
    std::string text;
    text.reserve(std::size_t(n) * 64);
    for (int i = 0; i < n; ++i)
        text += "[" + prefix + std::to_string(i) + "]\nName=section " + std::to_string(i) + "\nValue=" +
                std::to_string(i * 7) + "\nPath=C:\\Work\\" + std::to_string(i) + "\n";
    return text;
}

void writeFile(const std::string& name, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(name).parent_path());
    std::ofstream(name, std::ios::binary) << text;
}

void iniFileLoad(benchmark::State& state)
{
    if (!freshMemory)
        state.SkipWithError("the allocator could not be held to fresh memory");
    const int n = int(state.range(0));
    const std::string file = folder().path() + "ini-" + std::to_string(n) + ".ini";
    writeFile(file, manySections(n, "Section ") + "[Server Information]\nComputerName=127.0.0.1\n");
    for (auto _ : state) {
        const IniFile ini(file);
        const std::string found = ini.ReadString("server information", "ComputerName", "");
        if (found != "127.0.0.1")
            state.SkipWithError("the last section was not found");
        benchmark::DoNotOptimize(found);
    }
}

void registryLookup(benchmark::State& state)
{
    const int n = int(state.range(0));
    const std::string file = folder().path() + "registry-" + std::to_string(n) + ".ini";
    writeFile(file, manySections(n, "Software\\Vendor\\Key") + "[Software\\QVR\\Brisko]\nClientPath=/opt/qvr/client/\n");
    setenv("QV_REGISTRY", file.c_str(), 1);
    for (auto _ : state) {
        const std::string found = ReadMachineString("Software\\QVR\\Brisko", "ClientPath");
        if (found != "/opt/qvr/client/")
            state.SkipWithError("the key was not found");
        benchmark::DoNotOptimize(found);
    }
}

void clientRecordLoad(benchmark::State& state)
{
    const int n = int(state.range(0));
    const std::string base = folder().path() + "install-" + std::to_string(n) + "/";
    writeFile(base + "registry.ini", manySections(n, "Software\\Vendor\\Key") + "[Software\\QVR\\Brisko]\nClientPath=" +
                                         base + "client/\nServerPath=" + base + "server/\n");
    writeFile(base + "client/BriskoC.ini",
              manySections(n, "Section ") + "[Server Information]\nComputerName=127.0.0.1\nServerPort=211\n");
    setenv("QV_REGISTRY", (base + "registry.ini").c_str(), 1);
    for (auto _ : state) {
        TBriskoIniC client;
        if (client.ErrorCode != "" || !client.Servers.isArray())
            state.SkipWithError("the client record did not load");
        benchmark::DoNotOptimize(client.Servers);
    }
}

} // namespace

BENCHMARK(iniFileLoad)->Arg(100000)->Arg(400000)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);
BENCHMARK(registryLookup)->Arg(100000)->Arg(400000)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);
BENCHMARK(clientRecordLoad)->Arg(100000)->Arg(400000)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);
