// SPDX-License-Identifier: GPL-3.0-or-later
// A party of characters printed with keldcg-cli party, against the ways there were before: one
// keldcg-cli report process per character, and LibreOffice converting the filled reports in one
// call. Each iteration runs both sides once, one after the other, so the ratio pairs runs made
// under the same load; the counters are the medians. Also the peak memory of a party of 200.
#include "Processes.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

namespace {

using namespace keld;
namespace fs = std::filesystem;

const fs::path kSource = KELD_SOURCE_DIR;

fs::path WorkFolder()
{
    return bench::WorkFolder("keld_party_bench_");
}

// `count` copies of the test character, each with a name of its own.
std::vector<std::string> Party(int count)
{
    std::ifstream in(kSource / "tests/data/charfile/valid-character.kld", std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::size_t at = text.find("NAME=");
    const std::size_t end = text.find('\r', at);
    std::vector<std::string> files;
    fs::create_directories(WorkFolder() / "party");
    for (int i = 0; i < count; ++i) {
        const fs::path path = WorkFolder() / "party" / ("hero" + std::to_string(i) + ".kld");
        std::ofstream(path, std::ios::binary) << text.substr(0, at + 5) << "Hero " << i << text.substr(end);
        files.push_back(path.string());
    }
    return files;
}

std::vector<std::string> PartyCommand(const std::vector<std::string>& files, const fs::path& out)
{
    std::vector<std::string> command = {KELD_CLI_PATH, "party",     "--data", (kSource / "data").string(),
                                        "--out",       out.string()};
    command.insert(command.end(), files.begin(), files.end());
    return command;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void BM_PartyAgainstReportProcesses(benchmark::State& state)
{
    const std::vector<std::string> files = Party(20);
    std::vector<double> party, processes, ratio;
    for (auto _ : state) {
        const double one = bench::TimedRun(PartyCommand(files, WorkFolder() / "party.pdf"));
        double each = 0;
        for (const std::string& file : files) {
            const double took =
                bench::TimedRun({KELD_CLI_PATH, "report", "--data", (kSource / "data").string(), "--template",
                                 "detail", file, (WorkFolder() / "one.pdf").string()});
            each = took < 0 || each < 0 ? -1 : each + took;
        }
        if (one < 0 || each < 0) {
            state.SkipWithError("keldcg-cli failed");
            return;
        }
        party.push_back(one);
        processes.push_back(each);
        ratio.push_back(each / one);
    }
    state.counters["party_ms"] = Median(party) * 1000;
    state.counters["processes_ms"] = Median(processes) * 1000;
    state.counters["speedup"] = Median(ratio);
}
BENCHMARK(BM_PartyAgainstReportProcesses)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(7);

// LibreOffice converting the same 20 reports, filled by keldcg-cli as RTF, in one call; its profile
// is made beforehand so that only the conversion counts.
void BM_PartyAgainstSoffice(benchmark::State& state)
{
    if (std::system("command -v soffice > /dev/null 2>&1") != 0) {
        state.SkipWithError("soffice is missing (package libreoffice-writer-nogui)");
        return;
    }
    const std::vector<std::string> files = Party(20);
    const fs::path dir = WorkFolder();
    std::vector<std::string> convert = {"soffice",
                                        "-env:UserInstallation=file://" + (dir / "profile").string(),
                                        "--headless",
                                        "--convert-to",
                                        "pdf",
                                        "--outdir",
                                        (dir / "lo").string()};
    for (std::size_t i = 0; i < files.size(); ++i) {
        const fs::path rtf = dir / ("filled" + std::to_string(i) + ".rtf");
        if (bench::TimedRun({KELD_CLI_PATH, "report", "--data", (kSource / "data").string(), "--template",
                             "detail", files[i], rtf.string()}) < 0) {
            state.SkipWithError("keldcg-cli failed");
            return;
        }
        convert.push_back(rtf.string());
    }
    (void)bench::TimedRun(convert); // makes the profile
    std::vector<double> party, soffice, ratio;
    for (auto _ : state) {
        const double one = bench::TimedRun(PartyCommand(files, dir / "party.pdf"));
        const double lo = bench::TimedRun(convert);
        if (one < 0 || lo < 0) {
            state.SkipWithError("a run failed");
            return;
        }
        party.push_back(one);
        soffice.push_back(lo);
        ratio.push_back(lo / one);
    }
    state.counters["party_ms"] = Median(party) * 1000;
    state.counters["soffice_ms"] = Median(soffice) * 1000;
    state.counters["speedup"] = Median(ratio);
}
BENCHMARK(BM_PartyAgainstSoffice)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// Runs a program with its output discarded; its peak resident size in MB, or a negative number
// when it did not exit 0.
double PeakMegabytes(std::vector<std::string> args)
{
    const pid_t pid = bench::SpawnQuiet(std::move(args));
    int status = 0;
    struct rusage used {};
    if (pid < 0 || ::wait4(pid, &status, 0, &used) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return static_cast<double>(used.ru_maxrss) / 1024.0;
}

// The peak resident size of a party of 200 into one PDF; the bound is 500 MB.
void BM_PartyOf200PeakMemory(benchmark::State& state)
{
    const std::vector<std::string> files = Party(200);
    std::vector<double> peaks;
    for (auto _ : state) {
        const double peak = PeakMegabytes(PartyCommand(files, WorkFolder() / "party200.pdf"));
        if (peak < 0) {
            state.SkipWithError("keldcg-cli failed");
            return;
        }
        peaks.push_back(peak);
    }
    state.counters["peak_MB"] = Median(peaks);
    state.counters["within_limit"] = Median(peaks) <= 500 ? 1 : 0;
    state.counters["pdf_MB"] = static_cast<double>(fs::file_size(WorkFolder() / "party200.pdf")) / (1 << 20);
}
BENCHMARK(BM_PartyOf200PeakMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace
