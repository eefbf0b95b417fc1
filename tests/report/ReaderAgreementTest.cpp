// SPDX-License-Identifier: GPL-3.0-or-later
// The engine, which fills templates, and the layout reader, which prints them, must see the same
// text: a placeholder only one of them sees is printed unfilled.

#include "report/RenderReader.h"
#include "report/RtfDocument.h"
#include "report/RtfParser.h"
#include "report/RtfText.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace keld {
namespace {

namespace fs = std::filesystem;

constexpr char32_t kBreak = U'\x1F';

bool IsBreak(char32_t c)
{
    return c == U'\n' || c == U'\v' || c == U'\t' || c == U'\r' || c == 0x2028 || c == kBreak;
}

// Text split at paragraph, line, cell, row and tab breaks, empty pieces dropped: the two readers
// mark these ends differently, but what lies between them must be the same.
std::vector<std::u32string> Pieces(const std::u32string& text)
{
    std::vector<std::u32string> pieces;
    std::u32string piece;
    for (char32_t c : text) {
        if (IsBreak(c)) {
            if (!piece.empty())
                pieces.push_back(std::move(piece));
            piece.clear();
        } else {
            piece.push_back(c);
        }
    }
    if (!piece.empty())
        pieces.push_back(std::move(piece));
    return pieces;
}

// The engine's displayed text, less what only it shows: pictures and objects (the layout shows
// only those it can decode), direction marks, and text in symbol fonts, whose bytes the layout
// draws as the glyphs they stand for.
std::u32string EngineText(const rtf::Model& m)
{
    std::u32string out;
    for (std::size_t k = 0; k < m.text.size(); ++k) {
        const char32_t c = m.text[k];
        if (c == 0xFFFC || c == 0x200E || c == 0x200F)
            continue;
        const rtf::Font* font = m.FindFont(m.ResolvedFont(m.formats[m.glyphs[k].format]));
        if (font && font->codePage == 42)
            continue;
        out.push_back(c);
    }
    return out;
}

void FlowText(const render::RenderModel& model, const render::Flow& flow, std::u32string& out);

// The layout's text, less what only it shows: list numbers and footnote marks, and pictures.
void BlockText(const render::RenderModel& model, const render::Block& block, std::u32string& out)
{
    if (block.table) {
        for (const render::Row& row : block.table->rows) {
            for (const render::Cell& cell : row.cells) {
                FlowText(model, cell.blocks, out);
                out.push_back(kBreak);
            }
        }
        return;
    }
    for (const render::Run& run : block.runs) {
        if (run.mark || run.kind == render::Run::Kind::Picture)
            continue;
        const std::int32_t font = run.format.font < 0 ? model.defaultFont : run.format.font;
        if (auto it = model.fonts.find(font); it != model.fonts.end() && it->second.symbol)
            continue;
        const std::u16string& t = run.text;
        for (std::size_t k = 0; k < t.size(); ++k) {
            char32_t c = t[k];
            if (c >= 0xD800 && c <= 0xDBFF && k + 1 < t.size() && t[k + 1] >= 0xDC00 && t[k + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (t[k + 1] - 0xDC00);
                ++k;
            } else if (c >= 0xD800 && c <= 0xDFFF) {
                c = 0xFFFD;
            }
            out.push_back(c);
        }
    }
    out.push_back(kBreak);
}

void FlowText(const render::RenderModel& model, const render::Flow& flow, std::u32string& out)
{
    for (const render::Block& block : flow)
        BlockText(model, block, out);
}

struct Reading {
    std::vector<std::u32string> engine;
    std::vector<std::u32string> layout;
};

// The engine edits the body alone (headers, footers and footnotes are not part of its text), so
// the body is what both must agree on.
Reading ReadBoth(std::string_view source)
{
    const rtf::Model model = rtf::Parse(source);
    const render::RenderModel layout = render::ReadLayout(source, model);
    std::u32string body;
    FlowText(layout, layout.body, body);
    return {Pieces(EngineText(model)), Pieces(body)};
}

std::string Show(const std::vector<std::u32string>& pieces)
{
    std::string out;
    for (const auto& p : pieces)
        out += "[" + Utf32ToUtf8(p) + "]";
    return out;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ReaderAgreement, EveryShippedTestAndCorpusTemplateReadsTheSameInBoth)
{
    const fs::path root = KELD_SOURCE_DIR;
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(root / "data")) {
        if (e.path().extension() == ".rtf")
            files.push_back(e.path());
    }
    for (const auto& e : fs::recursive_directory_iterator(root / "tests" / "data")) {
        if (e.is_regular_file() && e.path().extension() == ".rtf")
            files.push_back(e.path());
    }
    for (const auto& e : fs::recursive_directory_iterator(root / "fuzz" / "corpus")) {
        if (e.is_regular_file())
            files.push_back(e.path());
    }
    ASSERT_GT(files.size(), 5u);
    for (const fs::path& file : files) {
        const Reading r = ReadBoth(ReadFile(file));
        EXPECT_EQ(r.engine, r.layout) << file << "\nengine: " << Show(r.engine) << "\nlayout: " << Show(r.layout);
    }
}

TEST(ReaderAgreement, DisputedCasesReadTheSameInBoth)
{
    struct Case {
        const char* what;
        std::string source;
        std::vector<std::u32string> text;
    };
    const std::string cjk = "{\\rtf1\\ansi\\ansicpg932{\\fonttbl{\\f0\\fcharset128 Mincho;}}\\f0 ";
    const Case cases[] = {
        {"a star before a known word that hides nothing",
         "{\\rtf1 Name: [NAME]\\par\\*\\shppict Level: [LEVEL]\\par}",
         {U"Name: [NAME]", U"Level: [LEVEL]"}},
        {"text beside the picture of a shape", "{\\rtf1 a{\\*\\shppict{\\pict\\wmetafile8 00}c}d}", {U"acd"}},
        {"star before a formatting word", "{\\rtf1 a{\\*\\b b}c}", {U"abc"}},
        {"star before a hidden destination", "{\\rtf1 a{\\*\\generator x}{\\*\\listtext 1.}c}", {U"ac"}},
        {"star before an unknown destination, with groups in it", "{\\rtf1 a{\\*\\foo b{\\b x}y}c}", {U"ac"}},
        {"star before a destination only the layout knows", "{\\rtf1 a{\\*\\field{\\*\\fldinst X}{\\fldrslt c}}d}",
         {U"acd"}},
        {"defaults hold no text", "{\\rtf1 {\\*\\defchp \\fs22 x}{\\*\\defpap \\ql y}a}", {U"a"}},
        {"no fallback", "{\\rtf1 a\\uc0\\u66 cd}", {U"aBcd"}},
        {"two fallback characters", "{\\rtf1 a\\uc2\\u66 cde}", {U"aBe"}},
        {"fallback escapes", "{\\rtf1 a\\uc2\\u66\\'41\\'42e}", {U"aBe"}},
        {"binary data in a hidden group", "{\\rtf1 a{\\*\\foo\\bin3 }}}}b}", {U"ab"}},
        {"binary data in a shown group", "{\\rtf1 a\\bin3 {}\\b}", {U"ab"}},
        {"binary data as a fallback", "{\\rtf1 a\\u66\\bin3 xyzc}", {U"aBc"}},
        {"double-byte pair", cjk + "a\\'82\\'a0b}", {U"a\u3042b"}},
        {"lead byte split by a word", cjk + "a\\'82\\b\\'a1b}", {U"a\uFFFD\uFF61b"}},
        {"lead byte split by a group", cjk + "a\\'82{\\'a1}b}", {U"a\uFFFD\uFF61b"}},
        {"lead byte split by a line end", cjk + "a\x82\r\n\xa1" "b}", {U"a\uFFFD\uFF61b"}},
        {"lead byte before a paragraph end", cjk + "a\\'82\\par b}", {U"a\uFFFD", U"b"}},
        {"lead byte at the end", cjk + "a\\'82}", {U"a\uFFFD"}},
    };
    for (const Case& c : cases) {
        const Reading r = ReadBoth(c.source);
        EXPECT_EQ(r.engine, c.text) << c.what << ": " << Show(r.engine);
        EXPECT_EQ(r.layout, c.text) << c.what << ": " << Show(r.layout);
    }
}

// The user's case: a placeholder after \*\shppict is filled, and the shape's picture is still
// replaced whole.
TEST(ReaderAgreement, ShapePictureStandsForItsWrapper)
{
    RtfDocument doc;
    ASSERT_TRUE(doc.LoadBytes("{\\rtf1 a{\\*\\shppict{\\pict\\pngblip 00}}{\\nonshppict{\\pict 00}}b}").Ok());
    ASSERT_EQ(doc.Text(), U"a\uFFFCb");
    doc.Select(1, 1);
    doc.ReplaceSelection("x");
    EXPECT_EQ(doc.Text(), U"axb");
    EXPECT_EQ(doc.SaveBytes().find("\\*\\shppict"), std::string::npos);
}

} // namespace
} // namespace keld
