// Filling a template must cost about what loading and saving it costs: both are measured here on
// the same generated 5 MB template.
#include "LargeTemplate.h"
#include "character/SheetModel.h"
#include "report/ReportValues.h"
#include "report/RtfDocument.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

using namespace keld;

void BM_LoadAndSave(benchmark::State& state)
{
    const std::string& source = bench::LargeTemplate();
    for (auto _ : state) {
        RtfDocument doc;
        if (!doc.LoadBytes(source).Ok())
            state.SkipWithError("load failed");
        std::string saved = doc.SaveBytes();
        benchmark::DoNotOptimize(saved.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source.size()));
}
BENCHMARK(BM_LoadAndSave)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_FillData(benchmark::State& state)
{
    const std::string& source = bench::LargeTemplate();
    const auto steps = bench::NewCharacterSteps();
    RtfDocument loaded;
    if (!loaded.LoadBytes(source).Ok())
        state.SkipWithError("load failed");
    for (auto _ : state) {
        state.PauseTiming();
        RtfDocument doc = loaded;
        state.ResumeTiming();
        FillData(doc, steps);
        benchmark::DoNotOptimize(doc.Length());
        state.PauseTiming();
        if (doc.Find(std::string_view("[NAME]")) != RtfDocument::npos)
            state.SkipWithError("the template was not filled");
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source.size()));
}
BENCHMARK(BM_FillData)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
