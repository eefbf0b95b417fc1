// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/RtfDocument.h"

#include "common/ImageDecode.h"
#include "common/TextFile.h"
#include "report/RtfPicture.h"
#include "report/RtfText.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace keld {

namespace {

constexpr const char* kEmptyDocument =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\r\n}";
// Offsets are held in 32 bits; larger files are refused rather than misread.
constexpr std::size_t kMaxSourceBytes = std::numeric_limits<std::uint32_t>::max() / 2;

// Part of the source [begin, end) replaced by `insert`.
struct ByteEdit {
    std::size_t begin;
    std::size_t end;
    std::string insert;
};

bool IsAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsHexDigit(char c)
{
    return IsAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Whether the backslash at `pos` starts a control word or symbol, that is, is not itself the
// second half of an escaped backslash.
bool IsEscapeAt(std::string_view s, std::size_t pos)
{
    std::size_t count = 0;
    for (std::size_t p = pos + 1; p > 0 && s[p - 1] == '\\'; --p)
        ++count;
    return count % 2 == 1;
}

enum class OpenToken { None, Word, Hex };

// What ends right before `pos`: a control word without its delimiter, or an unfinished \'h.
OpenToken TokenEndingAt(std::string_view s, std::size_t pos)
{
    std::size_t i = pos;
    while (i > 0 && IsAsciiDigit(s[i - 1]))
        --i;
    if (i > 0 && s[i - 1] == '-' && i < pos)
        --i;
    std::size_t lettersEnd = i;
    while (i > 0 && IsAsciiLetter(s[i - 1]))
        --i;
    if (i < lettersEnd && i > 0 && s[i - 1] == '\\' && IsEscapeAt(s, i - 1))
        return OpenToken::Word;
    // \' followed by at most one hex digit would take the next hex digit as its own.
    if (pos >= 2 && s[pos - 1] == '\'' && s[pos - 2] == '\\' && IsEscapeAt(s, pos - 2))
        return OpenToken::Hex;
    if (pos >= 3 && IsHexDigit(s[pos - 1]) && s[pos - 2] == '\'' && s[pos - 3] == '\\' &&
        IsEscapeAt(s, pos - 3))
        return OpenToken::Hex;
    return OpenToken::None;
}

// The \ucN words inside a character's span (a surrogate pair may hold one between its halves):
// they must outlive the character, or the text after it would skip a different count.
std::string UcWordsWithin(std::string_view s, std::size_t begin, std::size_t end)
{
    std::string words;
    for (std::size_t i = begin; i + 3 < end; ++i) {
        if (s.compare(i, 3, "\\uc") != 0 || !IsAsciiDigit(s[i + 3]) || !IsEscapeAt(s, i))
            continue;
        std::size_t j = i + 3;
        while (j < end && IsAsciiDigit(s[j]))
            ++j;
        words.append(s, i, j - i);
        words += ' ';
        i = j - 1;
    }
    return words;
}

std::string FontNameRtf(std::string_view utf8)
{
    std::string out;
    for (char32_t c : Utf8ToUtf32(utf8)) {
        if (c == '\\' || c == '{' || c == '}' || c == ';' || c < 0x20) {
            continue;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            int byte = '?';
            for (int b = 0x80; b < 0x100; ++b) {
                if (DecodeCodePageByte(1252, static_cast<unsigned char>(b)) == c) {
                    byte = b;
                    break;
                }
            }
            static constexpr char kHex[] = "0123456789abcdef";
            if (byte == '?') {
                out += '?';
            } else {
                out += "\\'";
                out += kHex[byte >> 4];
                out += kHex[byte & 15];
            }
        }
    }
    return out;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

// Finds or adds the font and colour table entries that inserted text refers to.
class TableEntries {
public:
    explicit TableEntries(const rtf::Model& model) : m_model(model)
    {
        m_nextFont = std::max(model.defaultFont, 0);
        for (const auto& font : model.fonts)
            m_nextFont = std::max(m_nextFont, font.number);
        if (m_nextFont < std::numeric_limits<std::int32_t>::max())
            ++m_nextFont;
        m_colorBase = model.colors.size();
        m_colorSemicolon = model.colorTableOpenEntry;
        if (m_colorBase == 0) {
            // Entry 0 is the automatic colour; a new table or an empty one needs it first.
            m_colorSemicolon = true;
            m_colorBase = 1;
        }
    }

    // The \f number for `name`, preferring the font the text already has.
    std::int32_t Font(const std::string& name, const rtf::Format& at)
    {
        std::int32_t current = m_model.ResolvedFont(at);
        if (const rtf::Font* font = m_model.FindFont(current); font && font->name == name)
            return current;
        for (const auto& font : m_model.fonts) {
            if (font.name == name)
                return font.number;
        }
        for (const auto& font : m_model.fonts) {
            if (SameName(font.name, name))
                return font.number;
        }
        for (const auto& [number, added] : m_newFonts) {
            if (added == name)
                return number;
        }
        m_newFonts.emplace_back(m_nextFont, name);
        return m_nextFont < std::numeric_limits<std::int32_t>::max() ? m_nextFont++ : m_nextFont;
    }

    // The \cf index for `color`, preferring the one the text already has.
    std::size_t Color(const RtfColor& color, const rtf::Format& at)
    {
        if (color.automatic)
            return 0;
        rtf::Rgb rgb{color.red, color.green, color.blue};
        const auto& colors = m_model.colors;
        auto current = static_cast<std::size_t>(at.color);
        if (current > 0 && current < colors.size() && colors[current] == rgb)
            return current;
        for (std::size_t k = 1; k < colors.size(); ++k) {
            if (colors[k] == rgb)
                return k;
        }
        for (std::size_t k = 0; k < m_newColors.size(); ++k) {
            if (m_newColors[k] == rgb)
                return m_colorBase + k;
        }
        m_newColors.push_back(rgb);
        return m_colorBase + m_newColors.size() - 1;
    }

    void AddEdits(std::vector<ByteEdit>& edits) const
    {
        std::size_t header = m_model.headerEnd == rtf::kNone ? 0 : m_model.headerEnd;
        if (!m_newFonts.empty()) {
            std::string entries;
            for (const auto& [number, name] : m_newFonts)
                entries += "{\\f" + std::to_string(number) + "\\fnil " + FontNameRtf(name) + ";}";
            if (m_model.fontTableEnd != rtf::kNone)
                edits.push_back({m_model.fontTableEnd, m_model.fontTableEnd, entries});
            else
                edits.push_back({header, header, "{\\fonttbl" + entries + "}"});
        }
        if (!m_newColors.empty()) {
            std::string entries = m_colorSemicolon ? ";" : "";
            for (const auto& c : m_newColors) {
                entries += "\\red" + std::to_string(c.red) + "\\green" + std::to_string(c.green) + "\\blue" +
                           std::to_string(c.blue) + ";";
            }
            if (m_model.colorTableEnd != rtf::kNone) {
                edits.push_back({m_model.colorTableEnd, m_model.colorTableEnd, entries});
            } else {
                std::size_t at = m_model.fontTableAfter != rtf::kNone ? m_model.fontTableAfter : header;
                edits.push_back({at, at, "{\\colortbl" + entries + "}"});
            }
        }
    }

private:
    const rtf::Model& m_model;
    std::int32_t m_nextFont = 0;
    std::vector<std::pair<std::int32_t, std::string>> m_newFonts;
    std::size_t m_colorBase = 0;
    bool m_colorSemicolon = false;
    std::vector<rtf::Rgb> m_newColors;
};

void AppendUnicodeEscape(std::string& out, char32_t c)
{
    auto unit = [&out](unsigned value) {
        out += "\\u";
        out += std::to_string(value >= 0x8000 ? static_cast<int>(value) - 0x10000 : static_cast<int>(value));
        out += '?';
    };
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = 0xFFFD;
    if (c >= 0x10000) {
        c -= 0x10000;
        unit(0xD800 + (c >> 10));
        unit(0xDC00 + (c & 0x3FF));
    } else {
        unit(c);
    }
}

// `{\f..\fs..\b..\uc1 text}`: a balanced group, so the text after it keeps its own formatting.
// Only what differs from the formatting at the insertion point is written: the rest is inherited
// exactly as any reader shows it there, including what comes from styles this engine ignores.
std::string TextGroup(std::string_view utf8, const RtfTextFormat& format, TableEntries& tables,
                      const rtf::Format& at, const RtfTextFormat& current, std::size_t& shown)
{
    auto differs = [](const auto& wanted, const auto& now) { return wanted && (!now || *wanted != *now); };
    std::string words;
    if (differs(format.fontName, current.fontName) && !format.fontName->empty())
        words += "\\f" + std::to_string(tables.Font(*format.fontName, at));
    if (format.fontSize) {
        int halfPoints = static_cast<int>(std::lround(std::clamp(*format.fontSize * 2, 1.0, 32767.0)));
        if (!current.fontSize || halfPoints != static_cast<int>(std::lround(*current.fontSize * 2)))
            words += "\\fs" + std::to_string(halfPoints);
    }
    if (differs(format.bold, current.bold))
        words += *format.bold ? "\\b" : "\\b0";
    if (differs(format.italic, current.italic))
        words += *format.italic ? "\\i" : "\\i0";
    if (differs(format.underline, current.underline))
        words += *format.underline ? "\\ul" : "\\ulnone";
    if (differs(format.strike, current.strike))
        words += *format.strike ? "\\strike" : "\\strike0";
    if (differs(format.color, current.color))
        words += "\\cf" + std::to_string(tables.Color(*format.color, at));
    // Decoded as it goes: a copy in UTF-32 would cost four bytes for each byte of a long note.
    bool wide =
        std::any_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (wide)
        words += "\\uc1";

    std::string out = "{" + words;
    if (!words.empty())
        out += ' ';
    shown = 0;
    for (std::size_t k = 0; k < utf8.size();) {
        const char32_t c = NextUtf32(utf8, k);
        switch (c) {
        case '\r':
            if (k < utf8.size() && utf8[k] == '\n')
                ++k;
            [[fallthrough]];
        case '\n':
            out += "\\par ";
            break;
        case '\t':
            out += "\\tab ";
            break;
        case '\v':
            out += "\\line ";
            break;
        case '\\':
        case '{':
        case '}':
            out += '\\';
            out += static_cast<char>(c);
            break;
        default:
            if (c < 0x20) {
                continue; // other control characters are not text
            } else if (c < 0x80) {
                out += static_cast<char>(c);
            } else {
                AppendUnicodeEscape(out, c);
            }
            break;
        }
        ++shown;
    }
    out += '}';
    return out;
}

} // namespace

RtfDocument::RtfDocument() : m_source(kEmptyDocument)
{
    Reparse();
}

void RtfDocument::Reparse()
{
    m_model = rtf::Parse(m_source, std::move(m_model));
    m_stale = false;
}

const rtf::Model& RtfDocument::Parsed() const
{
    if (m_stale) {
        m_model = rtf::Parse(m_source, std::move(m_model));
        m_stale = false;
        m_selStart = std::min(m_selStart, m_model.text.size());
        m_selLength = std::min(m_selLength, m_model.text.size() - m_selStart);
    }
    return m_model;
}

Status RtfDocument::LoadBytes(std::string bytes)
{
    std::string_view view = bytes;
    if (view.substr(0, 3) == "\xEF\xBB\xBF")
        view.remove_prefix(3);
    while (!view.empty() &&
           (view.front() == ' ' || view.front() == '\t' || view.front() == '\r' || view.front() == '\n'))
        view.remove_prefix(1);
    if (view.substr(0, 5) != "{\\rtf")
        return KeldError(kErrInvalidArgument, "is not an RTF file");
    if (bytes.size() > kMaxSourceBytes)
        return KeldError(kErrInvalidArgument, "is too large an RTF file");
    m_source = std::move(bytes);
    Reparse();
    m_selStart = m_selLength = 0;
    m_modified = false;
    return Success();
}

Status RtfDocument::LoadFile(const std::filesystem::path& path)
{
    // A template is read whole, through the reader that refuses a device or a pipe and stops at
    // the limit; its error numbers are those a template load has always given.
    auto read = ReadRegularFileBytes(path, kMaxTemplateBytes);
    if (!read) {
        const KeldError& why = read.Error();
        int number = why.Number();
        std::string detail = why.Detail();
        if (number == kErrOutOfMemory) {
            number = kErrInvalidArgument;
            detail += ", the largest template that is read";
        } else if (detail == "is not a regular file") {
            number = kErrInvalidArgument;
        } else if (number != kErrFileNotFound && number != kErrDeviceIo) {
            number = kErrPathFileAccess;
        }
        return KeldError(number, std::move(detail), why.File());
    }
    auto loaded = LoadBytes(std::move(*read));
    if (!loaded) {
        KeldError error = loaded.Error();
        return error.At(PathToUtf8(path), 0);
    }
    return loaded;
}

std::string RtfDocument::SaveBytes() const
{
    // An edited document that a truncated file left open gets its missing braces; an untouched
    // one is saved byte for byte.
    // Edits remove only characters' own bytes and insert whole groups, so a source with no group
    // left open keeps none and a stale reading still answers that.
    if (!m_modified || (m_stale && m_model.openGroups == 0))
        return m_source;
    const rtf::Model& m = Parsed();
    if (m.cleanEnd && m.openGroups > 0)
        return m_source + std::string(static_cast<std::size_t>(m.openGroups), '}');
    return m_source;
}

Status RtfDocument::SaveFile(const std::filesystem::path& path) const
{
    return AtomicWriteFile(path, SaveBytes());
}

std::string RtfDocument::TextUtf8() const
{
    return Utf32ToUtf8(Parsed().text);
}

std::size_t RtfDocument::Find(std::u32string_view what, std::size_t from) const
{
    const std::u32string& text = Parsed().text;
    if (what.empty() || from > text.size())
        return npos;
    std::u32string folded(what);
    for (char32_t& c : folded)
        c = FoldCase(c);
    // Folding on the fly keeps no second copy of the text; the searcher keeps the scan linear.
    auto hash = [](char32_t c) { return std::hash<char32_t>()(FoldCase(c)); };
    auto equal = [](char32_t a, char32_t b) { return FoldCase(a) == FoldCase(b); };
    std::boyer_moore_horspool_searcher searcher(folded.begin(), folded.end(), hash, equal);
    auto found = std::search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), searcher);
    return found == text.end() ? npos : static_cast<std::size_t>(found - text.begin());
}

std::size_t RtfDocument::Find(std::string_view utf8, std::size_t from) const
{
    return Find(std::u32string_view(Utf8ToUtf32(utf8)), from);
}

void RtfDocument::Select(std::size_t start, std::size_t length)
{
    // After an edit the clamping waits for the next reading of the source.
    m_selStart = start;
    m_selLength = length;
    if (!m_stale) {
        m_selStart = std::min(start, Length());
        m_selLength = std::min(length, Length() - m_selStart);
    }
}

std::u32string RtfDocument::SelectedText() const
{
    const rtf::Model& m = Parsed();
    return m.text.substr(m_selStart, m_selLength);
}

RtfTextFormat RtfDocument::Resolve(const rtf::Format& format) const
{
    const rtf::Model& m = Parsed();
    RtfTextFormat out;
    const rtf::Font* font = m.FindFont(m.ResolvedFont(format));
    out.fontName = font ? font->name : std::string();
    out.fontSize = format.size / 2.0;
    out.bold = format.bold;
    out.italic = format.italic;
    out.underline = format.underline;
    out.strike = format.strike;
    RtfColor color;
    auto index = static_cast<std::size_t>(format.color);
    if (index > 0 && index < m.colors.size() && m.colors[index]) {
        const rtf::Rgb& rgb = *m.colors[index];
        color = RtfColor::Rgb(rgb.red, rgb.green, rgb.blue);
    }
    out.color = color;
    return out;
}

RtfTextFormat RtfDocument::CharacterFormat(std::size_t position) const
{
    if (position >= Length())
        return Resolve(rtf::Format{});
    const rtf::Model& m = Parsed();
    return Resolve(m.formats[m.glyphs[position].format]);
}

RtfTextFormat RtfDocument::RangeFormat(std::size_t start, std::size_t length) const
{
    start = std::min(start, Length());
    length = std::min(length, Length() - start);
    if (length == 0)
        return CharacterFormat(start > 0 ? start - 1 : 0);
    const rtf::Model& m = Parsed();
    RtfTextFormat result = CharacterFormat(start);
    std::uint32_t lastId = m.glyphs[start].format;
    auto merge = [](auto& field, const auto& value) {
        if (field && field != value)
            field.reset();
    };
    for (std::size_t k = start + 1; k < start + length; ++k) {
        std::uint32_t id = m.glyphs[k].format;
        if (id == lastId)
            continue;
        lastId = id;
        RtfTextFormat other = Resolve(m.formats[id]);
        merge(result.fontName, other.fontName);
        merge(result.fontSize, other.fontSize);
        merge(result.bold, other.bold);
        merge(result.italic, other.italic);
        merge(result.underline, other.underline);
        merge(result.strike, other.strike);
        merge(result.color, other.color);
    }
    return result;
}

void RtfDocument::ReplaceSelection(std::string_view utf8, const RtfTextFormat& format)
{
    std::size_t start = SelectionStart();
    std::size_t shown = 0;
    for (std::size_t k = 0; k < utf8.size();) {
        const char32_t c = NextUtf32(utf8, k);
        if (c == '\r' && k < utf8.size() && utf8[k] == '\n')
            continue;
        if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r' || c == '\v')
            ++shown;
    }
    ReplaceRanges({Replacement{start, m_selLength, std::string(utf8), format, {}}});
    Select(start, shown);
}

Status RtfDocument::InsertPicture(const std::filesystem::path& imageFile)
{
    auto bytes = ReadPictureFileBytes(imageFile);
    if (!bytes)
        return bytes.Error();
    auto inserted = InsertPictureBytes(*bytes);
    if (!inserted) {
        KeldError error = inserted.Error();
        return error.At(PathToUtf8(imageFile), 0);
    }
    return inserted;
}

Status RtfDocument::InsertPictureBytes(std::string_view imageBytes)
{
    auto picture = MakeRtfPicture(imageBytes);
    if (!picture)
        return picture.Error();
    std::size_t start = SelectionStart();
    ReplaceRanges({Replacement{start, m_selLength, {}, {}, std::move(picture->group)}});
    Select(start + 1, 0);
    return Success();
}

void RtfDocument::ReplaceRanges(std::vector<Replacement> replacements)
{
    const rtf::Model& m = Parsed();
    const std::size_t length = m.text.size();
    std::stable_sort(replacements.begin(), replacements.end(),
                     [](const Replacement& a, const Replacement& b) { return a.start < b.start; });

    TableEntries tables(m);
    std::vector<ByteEdit> body;
    std::size_t coveredEnd = 0;
    std::size_t endAnchor = length > 0                ? m.glyphs.back().end
                            : m.rootEnd != rtf::kNone ? m.rootEnd
                                                      : m_source.size();
    for (Replacement& r : replacements) {
        if (r.start > length || r.start < coveredEnd)
            continue;
        r.length = std::min(r.length, length - r.start);
        coveredEnd = r.start + r.length;

        std::string insert = std::move(r.rtf);
        if (insert.empty() && !r.text.empty()) {
            // The group goes where the first removed character stood and inherits its state; at
            // the very end that state is unknown, so everything asked for is written.
            std::size_t anchor = r.start;
            while (anchor < r.start + r.length && m.glyphs[anchor].kind == rtf::GlyphKind::Structural)
                ++anchor;
            if (anchor == r.start + r.length)
                anchor = r.start;
            rtf::Format at = anchor < length ? m.formats[m.glyphs[anchor].format]
                             : length > 0    ? m.formats[m.glyphs.back().format]
                                             : rtf::Format{};
            RtfTextFormat current = anchor < length ? Resolve(at) : RtfTextFormat{};
            std::size_t shown = 0;
            insert = TextGroup(r.text, r.format, tables, at, current, shown);
        }
        // Only the characters' own bytes go; braces and control words between them stay, so a
        // placeholder split over groups leaves its surroundings intact.
        bool placed = false;
        std::size_t firstEdit = body.size();
        for (std::size_t k = r.start; k < r.start + r.length; ++k) {
            const rtf::Glyph& g = m.glyphs[k];
            if (g.kind == rtf::GlyphKind::Structural)
                continue;
            if (body.size() > firstEdit && body.back().end == g.begin)
                body.back().end = g.end;
            else
                body.push_back({g.begin, g.end, {}});
            if (!placed) {
                body.back().insert = std::move(insert);
                insert.clear();
                placed = true;
            }
            if (m.text[k] >= 0x10000)
                body.back().insert += UcWordsWithin(m_source, g.begin, g.end);
        }
        if (!placed && !insert.empty()) {
            std::size_t anchor = r.start < length ? m.glyphs[r.start].begin : endAnchor;
            body.push_back({anchor, anchor, std::move(insert)});
        }
    }

    std::vector<ByteEdit> edits;
    tables.AddEdits(edits);
    edits.insert(edits.end(), std::make_move_iterator(body.begin()), std::make_move_iterator(body.end()));
    std::stable_sort(edits.begin(), edits.end(),
                     [](const ByteEdit& a, const ByteEdit& b) { return a.begin < b.begin; });

    std::vector<ByteEdit> merged;
    for (ByteEdit& e : edits) {
        if (!merged.empty() && e.begin <= merged.back().end) {
            ByteEdit& last = merged.back();
            last.end = std::max(last.end, e.end);
            last.insert += e.insert;
        } else {
            merged.push_back(std::move(e));
        }
    }
    if (merged.empty())
        return;

    std::size_t added = 0;
    for (ByteEdit& e : merged) {
        if (e.insert.empty() && e.end > e.begin && e.end < m_source.size()) {
            // Removed bytes must not let a control word run on into the text that follows.
            char next = m_source[e.end];
            switch (TokenEndingAt(m_source, e.begin)) {
            case OpenToken::Word:
                if (IsAsciiLetter(next) || IsAsciiDigit(next) || next == '-' || next == ' ')
                    e.insert = " ";
                break;
            case OpenToken::Hex:
                if (IsHexDigit(next))
                    e.insert = "{}";
                break;
            case OpenToken::None:
                break;
            }
        }
        added += e.insert.size();
    }

    std::string out;
    out.reserve(m_source.size() + added);
    std::size_t pos = 0;
    for (const ByteEdit& e : merged) {
        out.append(m_source, pos, e.begin - pos);
        out += e.insert;
        pos = e.end;
    }
    out.append(m_source, pos, std::string::npos);
    if (out.size() > kMaxSourceBytes)
        return; // the offsets would no longer fit; leave the document as it is
    m_source = std::move(out);
    m_stale = true;
    m_modified = true;
    m_selLength = 0;
}

} // namespace keld
