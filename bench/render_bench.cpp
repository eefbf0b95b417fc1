// SPDX-License-Identifier: GPL-3.0-or-later
// Rendering reports: the filled detail template to a document, the largest accepted template against the time
// its fill takes, and keldcg-cli writing a PDF against LibreOffice converting the same report.
#include "LargeTemplate.h"
#include "Processes.h"
#include "character/SheetModel.h"
#include "charfile/CharacterFileReader.h"
#include "report/ReportValues.h"
#include "report/RtfDocument.h"
#include "report/render/ReportRenderer.h"
#include "rules/RulesTables.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace keld;
namespace fs = std::filesystem;

const fs::path kSource = KELD_SOURCE_DIR;

// The detail template filled with the test character, as the print command fills it.
const RtfDocument& FilledDetail()
{
    static const RtfDocument filled = [] {
        static RulesTables tables;
        static SheetModel sheet;
        sheet.ClearCharacter();
        if (!LoadRulesTables(kSource / "data", tables).Ok())
            std::abort();
        sheet.FillLists(&tables);
        if (!ReadCharacterFile(sheet, kSource / "tests/data/charfile/valid-character.kld").Ok())
            std::abort();
        RtfDocument doc;
        if (!doc.LoadFile(kSource / "data/detchar.rtf").Ok())
            std::abort();
        FillData(doc, sheet);
        return doc;
    }();
    return filled;
}

void BM_RenderDetail(benchmark::State& state)
{
    const RtfDocument& doc = FilledDetail();
    for (auto _ : state) {
        auto rendered = RenderReport(doc);
        benchmark::DoNotOptimize(&rendered);
    }
}
BENCHMARK(BM_RenderDetail)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// With the layout into pages, which a preview or a print adds.
void BM_RenderAndPaginateDetail(benchmark::State& state)
{
    const RtfDocument& doc = FilledDetail();
    for (auto _ : state) {
        auto rendered = RenderReport(doc);
        benchmark::DoNotOptimize(rendered.PageCount());
    }
}
BENCHMARK(BM_RenderAndPaginateDetail)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Lays out `doc` and writes it as a PDF once per iteration: what a user waits for.
void WritePdfEachIteration(benchmark::State& state, const RtfDocument& doc)
{
    const fs::path out =
        fs::temp_directory_path() / ("keld_render_bench_" + std::to_string(getpid()) + ".pdf");
    for (auto _ : state) {
        if (!WriteReportPdf(doc, out, QStringLiteral("Bench")).Ok())
            state.SkipWithError("the PDF was not written");
    }
    std::error_code ignored;
    fs::remove(out, ignored);
}

// The whole of a PDF save in one process, fonts already loaded: what a repeated save costs.
void BM_WriteDetailPdf(benchmark::State& state)
{
    const RtfDocument& doc = FilledDetail();
    WritePdfEachIteration(state, doc);
}
BENCHMARK(BM_WriteDetailPdf)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The generated largest template of the fill benchmark, filled, then rendered.
void BM_FillLarge(benchmark::State& state)
{
    RtfDocument loaded;
    if (!loaded.LoadBytes(bench::LargeTemplate()).Ok())
        state.SkipWithError("load failed");
    const auto steps = bench::NewCharacterSteps();
    for (auto _ : state) {
        state.PauseTiming();
        RtfDocument doc = loaded;
        state.ResumeTiming();
        FillData(doc, steps);
        benchmark::DoNotOptimize(doc.Length());
    }
}
BENCHMARK(BM_FillLarge)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_RenderLarge(benchmark::State& state)
{
    RtfDocument doc;
    if (!doc.LoadBytes(bench::LargeTemplate()).Ok())
        state.SkipWithError("load failed");
    FillData(doc, bench::NewCharacterSteps());
    for (auto _ : state) {
        auto rendered = RenderReport(doc);
        benchmark::DoNotOptimize(&rendered);
    }
}
BENCHMARK(BM_RenderLarge)->Unit(benchmark::kMillisecond)->Iterations(3);

// Many pages, each with its own numbers in its header and footer: every page's parts are laid out
// with the report.
void BM_RenderNumberedPages(benchmark::State& state)
{
    std::string rtf = "{\\rtf1\\ansi {\\header \\pard Page {\\field{\\*\\fldinst PAGE}{\\fldrslt 1}} of "
                      "{\\field{\\*\\fldinst NUMPAGES}{\\fldrslt 1}}\\par}{\\footer \\pard\\qc "
                      "{\\field{\\*\\fldinst PAGE}{\\fldrslt 1}}\\par}";
    for (int k = 0; k < state.range(0); ++k)
        rtf += "\\pard Page text " + std::to_string(k) + "\\page\n";
    RtfDocument doc;
    if (!doc.LoadBytes(rtf + "}").Ok())
        state.SkipWithError("load failed");
    for (auto _ : state) {
        auto rendered = RenderReport(doc);
        benchmark::DoNotOptimize(rendered.PageCount());
    }
}
BENCHMARK(BM_RenderNumberedPages)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(3);

// Layout grows with the template: the largest shapes of template below render within 10 s of CPU
// each, the time a report may take. Timed once, in CPU seconds.
void RenderOnce(benchmark::State& state, const std::string& rtf)
{
    RtfDocument doc;
    if (!doc.LoadBytes(rtf).Ok())
        state.SkipWithError("load failed");
    WritePdfEachIteration(state, doc);
    state.SetLabel("limit: 10 s of CPU");
}

// Rows of 500 cells, the widest row laid out as a table, repeated.
void BM_RenderWideTable(benchmark::State& state)
{
    std::string row = "\\trowd";
    for (int k = 1; k <= 500; ++k)
        row += "\\cellx" + std::to_string(k * 20);
    for (int k = 0; k < 500; ++k)
        row += "\\pard\\intbl " + std::to_string(k) + "\\cell";
    row += "\\row\n";
    std::string rtf = "{\\rtf1\\ansi ";
    for (int k = 0; k < state.range(0); ++k)
        rtf += row;
    RenderOnce(state, rtf + "}");
}
BENCHMARK(BM_RenderWideTable)
    ->Arg(100)
    ->Arg(200)
    ->Arg(400)
    ->Arg(800)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->MeasureProcessCPUTime();

// One word of 10 MB, and a million groups that each change the format.
void BM_RenderLongWord(benchmark::State& state)
{
    RenderOnce(state, "{\\rtf1\\ansi \\pard " + std::string(state.range(0) << 20, 'x') + "\\par}");
}
BENCHMARK(BM_RenderLongWord)
    ->Arg(1)
    ->Arg(10)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->MeasureProcessCPUTime();

void BM_RenderFormatGroups(benchmark::State& state)
{
    std::string rtf = "{\\rtf1\\ansi \\pard ";
    for (int k = 0; k < state.range(0); ++k)
        rtf += k % 2 ? "{\\b a}" : "{\\i b }";
    RenderOnce(state, rtf + "\\par}");
}
BENCHMARK(BM_RenderFormatGroups)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->MeasureProcessCPUTime();

// Whole programs, timed once per iteration from start to the written PDF.
fs::path WorkFolder()
{
    return bench::WorkFolder("keld_render_bench_");
}

bool Run(std::vector<std::string> args)
{
    return bench::TimedRun(std::move(args)) >= 0;
}

void BM_CliReportPdf(benchmark::State& state)
{
    const std::vector<std::string> command = {KELD_CLI_PATH,
                                              "report",
                                              "--template",
                                              "detail",
                                              (kSource / "tests/data/charfile/valid-character.kld").string(),
                                              (WorkFolder() / "detail.pdf").string()};
    for (auto _ : state) {
        if (!Run(command))
            state.SkipWithError("keldcg-cli failed");
    }
}
BENCHMARK(BM_CliReportPdf)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// LibreOffice on the same filled report, with a profile made beforehand so only the conversion
// counts.
void BM_SofficeConvertPdf(benchmark::State& state)
{
    if (std::system("command -v soffice > /dev/null 2>&1") != 0) {
        state.SkipWithError("soffice is missing (package libreoffice-writer-nogui)");
        return;
    }
    const fs::path dir = WorkFolder();
    if (!FilledDetail().SaveFile(dir / "detail.rtf").Ok())
        state.SkipWithError("save failed");
    const std::vector<std::string> command = {"soffice",
                                              "-env:UserInstallation=file://" + (dir / "profile").string(),
                                              "--headless",
                                              "--convert-to",
                                              "pdf",
                                              "--outdir",
                                              (dir / "lo").string(),
                                              (dir / "detail.rtf").string()};
    Run(command); // makes the profile
    for (auto _ : state) {
        if (!Run(command) || !fs::exists(dir / "lo" / "detail.pdf"))
            state.SkipWithError("soffice failed");
    }
}
BENCHMARK(BM_SofficeConvertPdf)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(WorkFolder(), ignored);
    return 0;
}
