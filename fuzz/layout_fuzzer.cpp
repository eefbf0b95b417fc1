// SPDX-License-Identifier: GPL-3.0-or-later
// Reads any bytes as the layout of a report: the engine's parse supplies the font and colour
// tables, then the layout reader builds the model. Besides crashes, hangs and leaks it walks the
// whole model and checks what the renderer relies on.
#include "report/RenderReader.h"
#include "report/RtfParser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

using namespace keld::render;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

constexpr std::int32_t kMaxLength = 31680;

bool LengthOk(std::int32_t v)
{
    return v >= -kMaxLength && v <= kMaxLength;
}

void WalkFlow(const RenderModel& model, const Flow& flow, int depth, std::size_t& runs);

void WalkBlock(const RenderModel& model, const Block& block, int depth, std::size_t& runs)
{
    Check(LengthOk(block.para.left) && LengthOk(block.para.right) && LengthOk(block.para.firstLine));
    Check(block.para.before >= 0 && block.para.after >= 0 && block.para.tabs.size() <= 64);
    if (block.table) {
        Check(block.runs.empty());
        Check(depth < 32); // tables in tables are bounded
        for (const Row& row : block.table->rows) {
            Check(!row.cells.empty());
            Check(row.Def().cells.size() <= 256);
            for (const Cell& cell : row.cells)
                WalkFlow(model, cell.blocks, depth + 1, runs);
        }
        return;
    }
    for (const Run& run : block.runs) {
        ++runs;
        Check(run.format.size >= 2 && run.format.size <= 3200);
        Check(!run.format.hidden);
        switch (run.kind) {
        case Run::Kind::Picture:
            Check(run.picture >= 0 && static_cast<std::size_t>(run.picture) < model.pictures.size());
            Check(run.text.empty());
            break;
        case Run::Kind::PageNumber:
        case Run::Kind::PageCount:
            Check(run.field > 0);
            break;
        case Run::Kind::Text:
            Check(run.picture == -1);
            break;
        }
    }
}

void WalkFlow(const RenderModel& model, const Flow& flow, int depth, std::size_t& runs)
{
    for (const Block& block : flow)
        WalkBlock(model, block, depth, runs);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view source(reinterpret_cast<const char*>(data), size);
    const keld::rtf::Model tables = keld::rtf::Parse(source);
    const RenderModel model = ReadLayout(source, tables);

    std::size_t runs = 0;
    for (const Flow* flow : {&model.body, &model.header, &model.headerFirst, &model.headerLeft, &model.footer,
                             &model.footerFirst, &model.footerLeft, &model.footnotes})
        WalkFlow(model, *flow, 0, runs);
    Check(runs <= size + 1); // no run without a token of its own
    for (const Picture& picture : model.pictures) {
        Check(!picture.data.empty() && picture.data.size() <= size + 14); // a BMP gains a file header
        Check(picture.width >= 0 && picture.width <= kMaxLength);
        Check(picture.height >= 0 && picture.height <= kMaxLength);
    }
    const PageSetup& page = model.page;
    Check(page.width >= 1440 && page.width <= kMaxLength && page.height >= 1440 && page.height <= kMaxLength);
    Check(model.colors.size() == tables.colors.size());
    return 0;
}
