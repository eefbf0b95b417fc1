// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace keld {

// The engine's view of an RTF source: what is displayed, where each displayed character comes
// from, and the tables an edit needs. It is rebuilt from the bytes after every edit, which keeps
// it equal to a fresh parse of what would be saved.
namespace rtf {

inline constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Character formatting as the source states it; font -1 is the document's default font.
struct Format {
    std::int32_t font = -1;
    std::int32_t size = 24; // half-points
    std::int32_t color = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    friend bool operator==(const Format&, const Format&) = default;
};

enum class GlyphKind : std::uint8_t {
    Text,
    Structural, // \cell, \row, \sect: kept when a selection over them is replaced
    Object,     // a picture or an embedded object, shown as U+FFFC
};

// One displayed character: the source bytes [begin, end) that produce it and its format.
struct Glyph {
    std::uint32_t begin;
    std::uint32_t end;
    std::uint32_t format;
    GlyphKind kind;
};

struct Font {
    std::int32_t number = 0;
    std::string name; // UTF-8
    int codePage = 0; // 0: the document's
};

struct Rgb {
    std::uint8_t red = 0, green = 0, blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct Model {
    std::vector<Glyph> glyphs;
    std::u32string text; // one character per glyph
    std::vector<Format> formats;

    std::vector<Font> fonts;
    std::unordered_map<std::int32_t, std::size_t> fontIndex; // \f number -> fonts index
    std::int32_t defaultFont = 0;
    int ansiCodePage = 1252;
    bool hasColorTable = false;
    std::vector<std::optional<Rgb>> colors; // an empty entry is the automatic colour
    bool colorTableOpenEntry = false;       // the last entry lacks its ";"

    std::size_t headerEnd = kNone;      // just after the \rtf control word
    std::size_t fontTableEnd = kNone;   // offset of the font table's closing brace
    std::size_t colorTableEnd = kNone;  // offset of the colour table's closing brace
    std::size_t fontTableAfter = kNone; // just after the font table group
    std::size_t rootEnd = kNone;        // offset of the root group's closing brace
    int openGroups = 0;                 // groups a truncated source leaves open
    bool cleanEnd = true;               // the source does not stop inside a token or \bin data

    const Font* FindFont(std::int32_t number) const;
    std::int32_t ResolvedFont(const Format& format) const;
};

// Reads the source in one pass. Never fails: anything it cannot make sense of is simply not shown.
// The buffers of `recycled`, a model no longer needed, are reused.
Model Parse(std::string_view source, Model recycled = {});

} // namespace rtf
} // namespace keld
