// SPDX-License-Identifier: GPL-3.0-or-later
// Filling a template must cost about what loading and saving it costs: both are measured here on
// the same generated template, just under the largest accepted.
#include "LargeTemplate.h"
#include "Processes.h"
#include "character/SheetModel.h"
#include "report/ReportValues.h"
#include "report/RtfDocument.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
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

// Whole keldcg-cli runs: the largest template against a copy of it with no placeholders (their
// brackets made round), in pairs so a busy moment of the machine hits both alike. The figure that
// counts is the median of the pairs' ratios.
namespace fs = std::filesystem;

bool WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    return static_cast<bool>(out.flush());
}

void BM_CliFillAgainstPlainCopy(benchmark::State& state)
{
    const fs::path dir = bench::WorkFolder("keld_report_bench_");
    std::string plain = bench::LargeTemplate();
    for (const ReportValue& step : bench::NewCharacterSteps()) {
        std::size_t at = plain.find(step.placeholder);
        if (at == std::string::npos)
            continue;
        plain[at] = '(';
        plain[at + step.placeholder.size() - 1] = ')';
    }
    if (!WriteFile(dir / "stress.rtf", bench::LargeTemplate()) || !WriteFile(dir / "plain.rtf", plain)) {
        state.SkipWithError("cannot write the templates");
        return;
    }
    const std::string character = std::string(KELD_SOURCE_DIR) + "/tests/data/charfile/valid-character.kld";
    auto command = [&](const char* name) {
        return std::vector<std::string>{KELD_CLI_PATH, "report", character, (dir / name).string(),
                                        (dir / "out.rtf").string()};
    };
    std::vector<double> ratios;
    double filled = 0;
    double copied = 0;
    for (auto _ : state) {
        const double a = bench::TimedRun(command("stress.rtf"));
        const double b = bench::TimedRun(command("plain.rtf"));
        if (a <= 0 || b <= 0) {
            state.SkipWithError("keldcg-cli failed");
            return;
        }
        filled += a;
        copied += b;
        ratios.push_back(a / b);
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    std::sort(ratios.begin(), ratios.end());
    state.counters["ratio_median"] = ratios[ratios.size() / 2];
    state.counters["filled_ms"] = 1000 * filled / static_cast<double>(ratios.size());
    state.counters["plain_ms"] = 1000 * copied / static_cast<double>(ratios.size());
}
BENCHMARK(BM_CliFillAgainstPlainCopy)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(15);

} // namespace
