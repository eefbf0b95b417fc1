// SPDX-License-Identifier: GPL-3.0-or-later
// The largest template and character file the program accepts, run through keldcg-cli as a user
// would: peak memory and CPU time of the whole process, for the shapes that cost the most per
// byte. Each must stay within 500 MB and 10 s of CPU; the limits were chosen from these figures.
#include "Processes.h"
#include "charfile/CharacterFileReader.h"
#include "report/RtfDocument.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace keld;

const fs::path kSource = KELD_SOURCE_DIR;

fs::path Folder()
{
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("keld_largest_input_bench_" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

struct Usage {
    bool ok = false;
    double peakMb = 0;
    double cpuSeconds = 0;
};

// Runs keldcg-cli with its output discarded; its peak resident size and CPU time from wait4.
Usage Measured(std::vector<std::string> args)
{
    args.insert(args.begin(), KELD_CLI_PATH);
    args.push_back("--data");
    args.push_back((kSource / "data").string());
    const pid_t pid = bench::SpawnQuiet(std::move(args));
    Usage usage;
    if (pid < 0)
        return usage;
    int status = 0;
    struct rusage used {};
    if (::wait4(pid, &status, 0, &used) != pid)
        return usage;
    usage.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    usage.peakMb = static_cast<double>(used.ru_maxrss) / 1024.0;
    usage.cpuSeconds = static_cast<double>(used.ru_utime.tv_sec + used.ru_stime.tv_sec) +
                       static_cast<double>(used.ru_utime.tv_usec + used.ru_stime.tv_usec) / 1e6;
    return usage;
}

// `head`, then `piece` as often as fits under `limit` with `tail` after it.
fs::path Filled(const std::string& name, const std::string& head, const std::string& piece,
                const std::string& tail, std::uintmax_t limit)
{
    const fs::path path = Folder() / name;
    if (fs::exists(path))
        return path;
    std::string text = head;
    while (text.size() + piece.size() + tail.size() <= limit)
        text += piece;
    text += tail;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

const char* const kRtfHead =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\r\n\\pard [NAME]\\par\r\n";

// Text paragraphs; many tiny groups in one paragraph; and the worst of both: a table of as many
// cells as the renderer lays out as a table, then tiny groups.
fs::path Template(int shape)
{
    const std::string paragraph =
        "\\pard\\plain\\f0\\fs20 The company rested by the ford while the scouts went "
        "ahead, and the talk was of roads.\\par\r\n";
    const std::string groups = "{\\b a}{\\i b}{c}{\\ul d}\r\n";
    std::string head = kRtfHead;
    if (shape == 2) {
        constexpr int kRows = 16'000; // 48,000 cells, just within the renderer's budget
        for (int row = 0; row < kRows; ++row)
            head += "\\trowd\\cellx2000\\cellx4000\\cellx6000\\pard\\intbl one\\cell two\\cell "
                    "three\\cell\\row\r\n";
        head += "\\pard\\par\r\n";
    }
    return Filled("template" + std::to_string(shape) + ".rtf", head, shape == 0 ? paragraph : groups, "}\r\n",
                  RtfDocument::kMaxTemplateBytes);
}

// Short journal lines, skill lines (six writes each), and one long name.
fs::path Character(int shape)
{
    static const char* const kHeads[] = {"[JOURNAL]\r\n", "[SKILLS]\r\n", "[GENERAL]\r\nNAME="};
    static const char* const kPieces[] = {"Day of rain\r\n", "24,Craft,5,IG,1,0,0,0\r\n", "word "};
    return Filled("character" + std::to_string(shape) + ".kld", kHeads[shape], kPieces[shape],
                  shape == 2 ? "\r\n" : "", kMaxCharacterFileBytes);
}

void Report(benchmark::State& state, const Usage& usage)
{
    if (!usage.ok) {
        state.SkipWithError("keldcg-cli failed");
        return;
    }
    state.counters["peak_MB"] = usage.peakMb;
    state.counters["cpu_s"] = usage.cpuSeconds;
    state.counters["within_limits"] = usage.peakMb <= 500 && usage.cpuSeconds <= 10 ? 1 : 0;
}

// Arguments: the template's shape, then 0 for RTF and 1 for PDF.
void BM_LargestTemplate(benchmark::State& state)
{
    const fs::path templ = Template(static_cast<int>(state.range(0)));
    const fs::path out = Folder() / (state.range(1) ? "out.pdf" : "out.rtf");
    const std::string character = (kSource / "tests/data/charfile/valid-character.kld").string();
    Usage usage;
    for (auto _ : state)
        usage = Measured({"report", character, templ.string(), out.string()});
    Report(state, usage);
}
BENCHMARK(BM_LargestTemplate)
    ->ArgNames({"shape", "pdf"})
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Arguments: the file's shape, then the command: show, resave, report as RTF, report as PDF.
void BM_LargestCharacterFile(benchmark::State& state)
{
    const std::string file = Character(static_cast<int>(state.range(0))).string();
    const std::string out = (Folder() / "out").string();
    std::vector<std::string> args;
    switch (state.range(1)) {
    case 0:
        args = {"show", file};
        break;
    case 1:
        args = {"resave", file, out + ".kld"};
        break;
    default:
        args = {"report", "--template", "detail", file, out + (state.range(1) == 3 ? ".pdf" : ".rtf")};
        break;
    }
    Usage usage;
    for (auto _ : state)
        usage = Measured(args);
    Report(state, usage);
}
BENCHMARK(BM_LargestCharacterFile)
    ->ArgNames({"shape", "command"})
    ->ArgsProduct({{0, 1, 2}, {0, 1, 2, 3}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(Folder(), ignored);
    return 0;
}
