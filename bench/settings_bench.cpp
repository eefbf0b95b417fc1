// SPDX-License-Identifier: GPL-3.0-or-later
// The settings store at its size limit: what reading it at start-up (with the look-ups a start
// makes) and writing it at exit (the keys an exit saves, merged into the file under the lock)
// cost in peak memory above the process's own and in CPU. Against: 500 MB and 10 s. The parse
// alone is also timed on stores far past the limit, to show how its cost grows.
#include "LargestStore.h"
#include "settings/SettingsDocument.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace keld;
using keld::bench::LargestStore;
using keld::bench::StoreShape;

constexpr const char* kApp = "KELDCG";

double StatusMegabytes(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stod(line.substr(std::string(key).size())) / 1024.0;
    return 0;
}

// Starts the peak resident size afresh from the present one.
void ResetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

fs::path Folder()
{
    static const fs::path folder = [] {
        fs::path f = fs::temp_directory_path() / ("keld-settings-bench-" + std::to_string(::getpid()));
        fs::create_directories(f / kApp);
        return f;
    }();
    return folder;
}

void WriteStore(StoreShape shape)
{
    const std::string text = LargestStore(shape);
    std::ofstream(SettingsStore(Folder()).StoreFile(kApp), std::ios::binary | std::ios::trunc)
        .write(text.data(), static_cast<std::streamsize>(text.size()));
}

// What a start reads, and what an exit saves.
void ReadAsAStartDoes(SettingsStore& store)
{
    for (const char* key : {"FORM2HEIGHT", "FORM2TOP", "FORM2LEFT", "FORM4TOP", "FORM4LEFT"})
        benchmark::DoNotOptimize(store.GetCoordinate(kApp, "SCREEN", key, 0));
    for (const char* key : {"DetailTemplate", "SummaryTemplate"})
        benchmark::DoNotOptimize(store.GetSetting(kApp, "Options", key));
    benchmark::DoNotOptimize(store.GetFlag(kApp, "TOOLBAR", "CHECKED", false));
    benchmark::DoNotOptimize(store.GetFlag(kApp, "OPTIONS", "STATSOVER", true));
}

void SaveAsAnExitDoes(SettingsStore& store)
{
    for (const char* key :
         {"FORM4TOP", "FORM4LEFT", "FORM2HEIGHT", "FORM2TOP", "FORM2LEFT", "FORM1TOP", "FORM1LEFT"})
        (void)store.SaveCoordinate(kApp, "SCREEN", key, 1234.5f);
    (void)store.SaveFlag(kApp, "TOOLBAR", "CHECKED", false);
    (void)store.SaveFlag(kApp, "OPTIONS", "STATSOVER", false);
}

template <typename Step> void Measure(benchmark::State& state, Step step)
{
    const auto shape = static_cast<StoreShape>(state.range(0));
    double peak = 0;
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        WriteStore(shape);
        SettingsStore store(Folder());
        ::malloc_trim(0);
        const double base = StatusMegabytes("VmRSS:");
        ResetPeak();
        const std::clock_t cpuStart = std::clock();
        state.ResumeTiming();
        step(store);
        state.PauseTiming();
        cpu += static_cast<double>(std::clock() - cpuStart);
        peak = std::max(peak, StatusMegabytes("VmHWM:") - base);
        state.ResumeTiming();
    }
    state.counters["cpu_ms"] = 1000.0 * cpu / CLOCKS_PER_SEC / static_cast<double>(state.iterations());
    state.counters["peak_above_base_MB"] = peak;
    state.counters["file_MB"] = static_cast<double>(SettingsStore::kMaxStoreBytes) / (1 << 20);
    state.SetLabel(shape == StoreShape::BlankLines ? "blank lines" : "short entries");
}

void BM_LoadLargestStore(benchmark::State& state)
{
    Measure(state, [](SettingsStore& store) {
        if (!store.Load(kApp).Ok())
            std::abort();
        ReadAsAStartDoes(store);
    });
}
BENCHMARK(BM_LoadLargestStore)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_FlushLargestStore(benchmark::State& state)
{
    Measure(state, [](SettingsStore& store) {
        if (!store.Load(kApp).Ok())
            std::abort();
        SaveAsAnExitDoes(store);
        if (!store.Flush(kApp).Ok())
            std::abort();
    });
}
BENCHMARK(BM_FlushLargestStore)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(10);

// The parse alone on N MB of short entries: linear, a few bytes of memory per byte of input.
void BM_ParseStoreText(benchmark::State& state)
{
    std::string text = "[SCREEN]\n";
    while (text.size() < static_cast<std::size_t>(state.range(0)) << 20)
        text += "k=\n";
    double peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ::malloc_trim(0);
        const double base = StatusMegabytes("VmRSS:");
        ResetPeak();
        state.ResumeTiming();
        {
            auto document = SettingsDocument::Parse(text);
            benchmark::DoNotOptimize(document->Find("SCREEN", "FORM2TOP"));
        }
        state.PauseTiming();
        peak = std::max(peak, StatusMegabytes("VmHWM:") - base);
        state.ResumeTiming();
    }
    state.counters["peak_above_base_MB"] = peak;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseStoreText)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
