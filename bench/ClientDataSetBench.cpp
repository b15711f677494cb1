// The candidate list at the sizes a large company lists: loading the rows with the
// observers quiet and an ordering on four fields, ticking every row through the field
// validation that keeps the exact totals, and finding a row again by its key.

#include "dataset/ClientDataSet.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

struct Candidates {
    TClientDataSet ds{"cdsData"};
    TField *tick, *supplier, *type, *number, *date, *amount;
    Decimal total;

    Candidates()
    {
        tick = ds.AddField("MA001", ftString, 1);
        supplier = ds.AddField("MA002", ftString, 10);
        type = ds.AddField("MA005", ftString, 4);
        number = ds.AddField("MA006", ftString, 20);
        date = ds.AddField("MA008", ftString, 10);
        amount = ds.AddField("MA016", ftBCD, 2);
        ds.CreateDataSet();
        ds.SetIndexFieldNames("MA002;MA005;MA006;MA008");
        tick->OnValidate = [this](TField* f) {
            if (f->DataSet()->State() == dsInsert)
                return;
            if (f->AsString() == "Y")
                total += amount->AsDecimal();
            else
                total -= amount->AsDecimal();
        };
    }

    void load(int rows)
    {
        ControlsDisabledScope quiet(ds);
        ds.EmptyDataSet();
        for (int i = 0; i < rows; ++i) {
            // The server's order is not the grid's: suppliers come scrambled.
            const int s = (i * 7919) % 997;
            ds.Append();
            tick->SetAsString("N");
            supplier->SetAsString("S" + std::to_string(s));
            type->SetAsString(i % 3 == 0 ? "7A01" : "7F01");
            number->SetAsString(std::to_string(100000 + i));
            date->SetAsString("2024/05/01");
            amount->SetAsString(std::to_string(i % 10000) + ".25");
            ds.Post();
        }
        ds.First();
    }
};

void BM_LoadCandidates(benchmark::State& state)
{
    Candidates c;
    for (auto _ : state)
        c.load(int(state.range(0)));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LoadCandidates)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_TickAll(benchmark::State& state)
{
    Candidates c;
    c.load(int(state.range(0)));
    bool on = true;
    for (auto _ : state) {
        ControlsDisabledScope quiet(c.ds);
        c.ds.First();
        const char* value = on ? "Y" : "N";
        while (!c.ds.Eof()) {
            if (c.tick->AsString() != value) {
                c.ds.Edit();
                c.tick->SetAsString(value);
                c.ds.Post();
            }
            c.ds.Next();
        }
        on = !on;
    }
    benchmark::DoNotOptimize(c.total);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_TickAll)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_LocateLastKey(benchmark::State& state)
{
    Candidates c;
    c.load(int(state.range(0)));
    c.ds.Last();
    const Variant key = Variant::list({c.type->AsString(), c.number->AsString()});
    for (auto _ : state)
        benchmark::DoNotOptimize(c.ds.Locate("MA005;MA006", key, loCaseInsensitive));
}
BENCHMARK(BM_LocateLastKey)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
