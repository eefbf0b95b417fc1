// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Units.h"
#include "report/RtfParser.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace keld::render {

// What a report looks like on paper, read from its RTF source: the flows of paragraphs and
// tables with their formatting, the pictures and the page. Lengths are in twips, font sizes in
// half-points, colours are indices into `colors` (0: automatic). Text is UTF-16, as the
// renderer shows it; no Qt here, so the reader runs in the core, under the sanitizers and fuzzers.

enum class Underline : std::uint8_t { None, Single, Dotted, Dash, Wave, Double };
enum class Script : std::uint8_t { Normal, Super, Sub };

struct CharFormat {
    std::int32_t font = -1; // -1: the document's default font
    std::int32_t size = 24;
    std::int32_t color = 0;
    std::int32_t background = 0;
    bool bold = false;
    bool italic = false;
    bool strike = false;
    bool hidden = false;
    bool caps = false;
    bool smallCaps = false;
    Underline underline = Underline::None;
    Script script = Script::Normal;
    friend bool operator==(const CharFormat&, const CharFormat&) = default;
};

// Where a floating picture stands: offsets from the page, the margins or its paragraph.
struct Anchor {
    enum class From : std::uint8_t { Paragraph, Margin, Page };
    From fromX = From::Paragraph, fromY = From::Paragraph;
    std::int32_t x = 0, y = 0;
    bool behind = false; // under the text rather than over it
};

struct Run {
    enum class Kind : std::uint8_t { Text, Picture, PageNumber, PageCount };
    Kind kind = Kind::Text;
    CharFormat format;
    std::u16string text; // Text; the written result for the page fields
    int picture = -1; // Picture: index into RenderModel::pictures
    int field = 0;    // page fields: runs of one field share a number
    bool mark = false; // a list number or footnote mark drawn by the writer, not the document's text
    int footnote = 0;  // a footnote's reference in the text: its number, from 1
    std::optional<Anchor> floating; // Picture: drawn at its anchor, taking no room in the text
};

struct TabStop {
    enum class Kind : std::uint8_t { Left, Center, Right, Decimal };
    std::int32_t position = 0;
    Kind kind = Kind::Left;
};

struct Border {
    enum class Style : std::uint8_t { None, Single, Double, Dotted, Dashed };
    Style style = Style::None;
    std::int32_t width = 0;
    std::int32_t color = 0;
    std::int32_t space = 0; // \brsp: between a paragraph's border and its text
    bool set = false; // stated in the source, even as "none"
};

enum Side { kTop, kLeft, kBottom, kRight };

struct ParaFormat {
    enum class Align : std::uint8_t { Left, Center, Right, Justify };
    Align align = Align::Left;
    std::int32_t left = 0;
    std::int32_t right = 0;
    std::int32_t firstLine = 0;
    std::int32_t before = 0;
    std::int32_t after = 0;
    std::int32_t lineSpacing = 0; // \sl: >0 at least (or a multiple), <0 exactly, 0 single
    bool lineMultiple = false;
    bool pageBreakBefore = false;
    bool keepNext = false; // \keepn: on the same page as the paragraph that follows
    bool defaultSpacing = false; // the spacing is the document's default, not the paragraph's own
    std::int32_t shading = 0;
    std::vector<TabStop> tabs;
    Border borders[4]; // by Side
};

struct Table;

// A paragraph, or a table when `table` is set.
struct Block {
    ParaFormat para;
    CharFormat mark; // the paragraph mark's format: the height of an empty paragraph
    std::vector<Run> runs;
    std::unique_ptr<Table> table;
};

struct CellDef {
    enum class VAlign : std::uint8_t { Top, Middle, Bottom };
    std::int32_t right = 0; // \cellx: from the left margin
    Border borders[4];
    std::int32_t padding[4] = {-1, -1, -1, -1}; // -1: the row's
    std::int32_t background = 0;
    VAlign valign = VAlign::Top;
    bool mergeFirst = false, merged = false;   // across
    bool vmergeFirst = false, vmerged = false; // down
};

struct RowDef {
    enum class Align : std::uint8_t { Left, Center, Right };
    std::int32_t left = 0;
    std::int32_t gap = 0; // \trgaph: half the space between cells
    std::int32_t height = 0;
    Align align = Align::Left;
    bool header = false;
    std::int32_t padding[4] = {-1, -1, -1, -1};
    Border borders[6]; // top, left, bottom, right, inside horizontal, inside vertical
    std::vector<CellDef> cells;
};

struct Cell {
    std::vector<Block> blocks;
};

struct Row {
    std::shared_ptr<const RowDef> def; // shared by the rows one statement makes
    std::vector<Cell> cells;

    const RowDef& Def() const
    {
        static const RowDef none;
        return def ? *def : none;
    }
};

struct Table {
    std::vector<Row> rows;
    bool pageBreakBefore = false;
};

struct Picture {
    std::string data;       // the image file's bytes (PNG, JPEG or BMP)
    std::int32_t width = 0; // twips; 0: the image's own size
    std::int32_t height = 0;
};

struct PageSetup {
    std::int32_t width = 12240;
    std::int32_t height = 15840;
    std::int32_t left = 1800;
    std::int32_t right = 1800;
    std::int32_t top = kTwipsPerInch;
    std::int32_t bottom = kTwipsPerInch;
    std::int32_t headerY = 720;
    std::int32_t footerY = 720;
    std::int32_t defaultTab = 720;
    bool titlePage = false;
    bool facingPages = false;
};

struct FontInfo {
    std::string family; // UTF-8
    enum class Kind : std::uint8_t { Any, Serif, Sans, Mono, Script, Decor } kind = Kind::Any;
    bool symbol = false; // a symbol charset: its bytes are glyph numbers, not letters
};

using Flow = std::vector<Block>;

struct RenderModel {
    PageSetup page;
    Flow body;
    Flow header, headerFirst, headerLeft;
    Flow footer, footerFirst, footerLeft;
    Flow footnotes;
    std::vector<std::size_t> footnoteStarts; // where each note begins in `footnotes`
    std::vector<Picture> pictures;
    std::unordered_map<std::int32_t, FontInfo> fonts; // by \f number
    std::int32_t defaultFont = 0;
    std::vector<std::optional<rtf::Rgb>> colors; // an empty entry is the automatic colour
    std::vector<std::string> notes; // UTF-8: what the reader changed to show the report at all
};

} // namespace keld::render
