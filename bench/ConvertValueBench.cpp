// ConvertValue of a 100,000-row result (five columns: two texts with Chinese, a code, an
// amount, a date) in a traditional interface, beside what it cannot avoid: a plain copy of
// every cell and the translator's own time for every text. The goal: ConvertValue within
// twice the copy plus the translator's time (compare the three medians).

#include "config/CodeConverter.h"
#include "config/TranslatorU.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

constexpr int kRows = 100000;
constexpr int kColumns = 5;

Variant makeRows()
{
    Variant rows = Variant::array2(0, kRows - 1, 0, kColumns - 1);
    for (int i = 0; i < kRows; ++i) {
        rows.at(i, 0) = "S" + std::to_string(10000 + i % 500);
        rows.at(i, 1) = i % 2 ? "华东示范电子有限公司" : "应付账款转销";
        rows.at(i, 2) = "发票 " + std::to_string(i);
        rows.at(i, 3) = 1234.5 + i;
        rows.at(i, 4) = Variant::date(45000 + i % 365);
    }
    return rows;
}

// A client installation whose interface is traditional, so that the converter has its
// translator; removed when the program ends.
struct Installation {
    Installation()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvbench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        dir = pattern + "/";
        std::filesystem::create_directories(dir + "client");
        std::ofstream(dir + "registry.ini") << "[Software\\QVR\\Brisko]\nClientPath=" << dir << "client/\n";
        std::ofstream(dir + "client/BriskoC.ini") << "[CodePage]\nUICodePage=950\nDBCodePage=936\n"
                                                  << "[Server Information]\nComputerName=127.0.0.1\n";
        setenv("QV_REGISTRY", (dir + "registry.ini").c_str(), 1);
    }
    ~Installation()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::string dir;
};

const Variant& rows()
{
    static const Variant r = makeRows();
    return r;
}

TCodeConverter& converter()
{
    static Installation installation;
    static TCodeConverter c;
    return c;
}

void BM_PlainCopy(benchmark::State& state)
{
    const Variant& source = rows();
    for (auto _ : state) {
        Variant copy = Variant::array2(0, kRows - 1, 0, kColumns - 1);
        for (int i = 0; i < kRows; ++i)
            for (int j = 0; j < kColumns; ++j)
                copy.at(i, j) = source.at(i, j);
        benchmark::DoNotOptimize(copy);
    }
}

void BM_TranslatorAlone(benchmark::State& state)
{
    const TTranslator& t = *converter().Translator();
    const Variant& source = rows();
    for (auto _ : state)
        for (int i = 0; i < kRows; ++i)
            for (int j = 0; j < 3; ++j)
                benchmark::DoNotOptimize(t.GBToBIG5(source.at(i, j).toString()));
}

void BM_ConvertValue(benchmark::State& state)
{
    TCodeConverter& c = converter();
    const Variant& source = rows();
    for (auto _ : state)
        benchmark::DoNotOptimize(c.ConvertValue(2, source));
}

} // namespace

BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_TranslatorAlone)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ConvertValue)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
