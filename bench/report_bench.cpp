// Filling a template must cost about what loading and saving it costs: both are measured here on
// the same generated 5 MB template.
#include "ReportValues.h"
#include "RtfDocument.h"
#include "SheetModel.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

using namespace keld;

std::vector<ReportValue> Steps()
{
    SheetModel sheet;
    sheet.ClearCharacter();
    return ReportValues(sheet);
}

// Paragraphs, formatting runs, table rows, non-ASCII text and a small picture, with every
// placeholder spread evenly through the document.
const std::string& Template()
{
    static const std::string source = [] {
        const std::size_t target = 5u << 20;
        std::string s =
            "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\froman Times;}}"
            "{\\colortbl;\\red200\\green0\\blue0;}\\paperw11906\\paperh16838\r\n";
        const std::string chunk =
            "\\pard\\plain\\f0\\fs20 The company rested by the ford while the {\\b scouts} went ahead; "
            "{\\i caf\\'e9} talk, \\u8217\\'92quoted\\u8217\\'92 words and {\\cf1\\f1\\fs22 red Times} "
            "text.\\par\r\n"
            "\\trowd\\trgaph70\\cellx2000\\cellx4000\\cellx6000\\pard\\intbl Cell one\\cell Cell two\\cell "
            "{\\ul three}\\cell\\row\r\n"
            "{\\pict\\pngblip\\picw1\\pich1 89504e470d0a1a0a0000000d49484452000000010000000108020000009077"
            "53de0000000c4944415408d763f8ffff3f0005fe02fea7d6a4a20000000049454e44ae426082}\\par\r\n";
        auto steps = Steps();
        std::size_t chunks = target / chunk.size();
        std::size_t every = chunks / (steps.size() + 1);
        std::size_t next = 0;
        for (std::size_t k = 0; k < chunks; ++k) {
            s += chunk;
            if (every && k % every == every - 1 && next < steps.size())
                s += "\\pard {\\b " + steps[next++].placeholder + "}\\par\r\n";
        }
        s += "}\r\n";
        return s;
    }();
    return source;
}

void BM_LoadAndSave(benchmark::State& state)
{
    const std::string& source = Template();
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
    const std::string& source = Template();
    const auto steps = Steps();
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
