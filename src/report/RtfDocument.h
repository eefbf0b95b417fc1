// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/KeldError.h"
#include "report/RtfParser.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keld {

struct RtfColor {
    bool automatic = true;
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    static RtfColor Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) { return {false, r, g, b}; }
    friend bool operator==(const RtfColor&, const RtfColor&) = default;
};

// Character formatting. Read from a selection, an empty field is undetermined (the selected
// characters differ in it); applied to a text, an empty field leaves that property as it is.
struct RtfTextFormat {
    std::optional<std::string> fontName;
    std::optional<double> fontSize; // points, in steps of a half point
    std::optional<bool> bold;
    std::optional<bool> italic;
    std::optional<bool> underline;
    std::optional<bool> strike;
    std::optional<RtfColor> color;

    friend bool operator==(const RtfTextFormat&, const RtfTextFormat&) = default;
};

// An RTF document that is edited in its source: every byte an edit does not touch is saved as it
// was loaded, so a template keeps its layout exactly. Positions count displayed characters
// (Unicode code points) from 0; paragraph ends read as '\n', line breaks as '\v', tabs and table
// cell ends as '\t', pictures and objects as U+FFFC.
class RtfDocument {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    // An empty document.
    RtfDocument();

    // Replaces the document; on failure it keeps what it held. A text that does not start with
    // "{\rtf" is error 5; a missing file error 53.
    Status LoadBytes(std::string bytes);
    // Templates larger than this are refused unread. Laying out text costs Qt about 30 bytes and
    // over a microsecond per byte of RTF (docs/report-templates.md), so this is what a PDF or a
    // preview can honour within a few hundred MB and seconds, and still several hundred times the
    // shipped templates.
    static constexpr std::size_t kMaxTemplateBytes = std::size_t{4} << 20;
    Status LoadFile(const std::filesystem::path& path);

    // The RTF source as it would be saved.
    std::string SaveBytes() const;
    // The source as loaded and edited (a truncated one without the braces a save adds) and the
    // engine's reading of it, for views that lay the document out.
    const std::string& Source() const { return m_source; }
    const rtf::Model& Model() const { return Parsed(); }
    Status SaveFile(const std::filesystem::path& path) const;
    bool IsModified() const { return m_modified; }

    const std::u32string& Text() const { return Parsed().text; }
    std::string TextUtf8() const;
    std::size_t Length() const { return Parsed().text.size(); }

    // First occurrence at or after `from`, without regard to letter case; npos when there is none.
    std::size_t Find(std::u32string_view what, std::size_t from = 0) const;
    std::size_t Find(std::string_view utf8, std::size_t from = 0) const;

    // Clamped to the text.
    void Select(std::size_t start, std::size_t length);
    std::size_t SelectionStart() const { return (void)Parsed(), m_selStart; }
    std::size_t SelectionLength() const { return (void)Parsed(), m_selLength; }
    std::u32string SelectedText() const;

    // The selection's formatting; with nothing selected, that of the character before the caret.
    RtfTextFormat SelectionFormat() const { return RangeFormat(SelectionStart(), SelectionLength()); }
    RtfTextFormat RangeFormat(std::size_t start, std::size_t length) const;

    // Replaces the selected characters by `utf8` in the given formatting and selects the new text.
    // CR LF, CR or LF become paragraph ends. Table cell, row and section ends inside the selection
    // are kept, so a replacement never breaks a table.
    void ReplaceSelection(std::string_view utf8, const RtfTextFormat& format = {});

    // Replaces the selection by the picture in `imageFile`; on failure nothing changes.
    Status InsertPicture(const std::filesystem::path& imageFile);
    Status InsertPictureBytes(std::string_view imageBytes);

    // Several replacements in one pass over the source, for filling a whole template in linear
    // time. Each replaces the characters [start, start + length) by `text` in `format`, or by
    // `rtf` (a balanced RTF group such as a picture) when that is not empty. Positions refer to
    // the text before any of them; a replacement overlapping an earlier one is dropped. Nothing
    // is selected afterwards.
    struct Replacement {
        std::size_t start = 0;
        std::size_t length = 0;
        std::string text;
        RtfTextFormat format;
        std::string rtf;
    };
    void ReplaceRanges(std::vector<Replacement> replacements);

    // For tests: the formatting of one character.
    RtfTextFormat CharacterFormat(std::size_t position) const;

private:
    RtfTextFormat Resolve(const rtf::Format& format) const;
    void Reparse();
    // The reading of the source, made again first when an edit left it behind.
    const rtf::Model& Parsed() const;

    std::string m_source;
    // An edit only marks the reading stale: a fill that is saved straight away never needs it.
    // So even a const document is not to be read from two threads at once.
    mutable rtf::Model m_model;
    mutable bool m_stale = false;
    // Clamped to the text when it is read again.
    mutable std::size_t m_selStart = 0;
    mutable std::size_t m_selLength = 0;
    bool m_modified = false;
};

} // namespace keld
