// WHERE text from long value lists and rolling of many date rules must stay linear:
// each runs at n and 4n, and the reported complexity should read O(N).

#include "support/Conditions.h"
#include "support/ScheduleRules.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void appendConditionList(benchmark::State& state)
{
    const int n = int(state.range(0));
    Variant list = Variant::array(0, n);
    list[0] = listMarker();
    for (int i = 1; i <= n; ++i)
        list[i] = "S" + std::to_string(100000 + i) + (i % 10 == 0 ? "'s" : "");
    for (auto _ : state) {
        std::string where = "Where TA001='7A'", condition;
        AppendCondition(where, "TA004", list, condition, 1);
        benchmark::DoNotOptimize(where);
    }
    state.SetComplexityN(n);
}

void rollConditionDates(benchmark::State& state)
{
    const int n = int(state.range(0));
    Variant values = Variant::array(0, n);
    Variant rules = Variant::array(0, n);
    rules[0] = n;
    const char mark = '\x03';
    for (int i = 1; i <= n; ++i) {
        const std::string index = std::to_string(i);
        if (i % 2) {
            values[i] = "20240101";
            rules[i] = std::string("1") + mark + "ed" + mark + "Y" + mark + "1" + mark + "1" + mark + "2" + mark +
                       "0" + mark + "D" + mark + index;
        } else {
            values[i] = Variant::list({rangeMarker(), "20240101", "20240131"});
            rules[i] = std::string("0") + mark + "sp" + mark + "Y" + mark + "0" + mark + "0" + mark + "1" + mark +
                       "0" + mark + "Y" + mark + "-1" + mark + "1" + mark + "0" + mark + "3" + mark + "D" + mark +
                       index;
        }
    }
    Variant params = Variant::array(1, 3);
    params[1] = values;
    params[2] = Variant::list({0, "1"});
    params[3] = rules;
    for (auto _ : state) {
        Variant rolled = RollConditionDates(params, "20240315");
        if (!rolled.isArray())
            state.SkipWithError("rules did not roll");
        benchmark::DoNotOptimize(rolled);
    }
    state.SetComplexityN(n);
}

} // namespace

BENCHMARK(appendConditionList)->Arg(10000)->Arg(40000)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);
BENCHMARK(rollConditionDates)->Arg(1000)->Arg(4000)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);
