// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/RtfParser.h"

#include "report/RtfGroups.h"
#include "report/RtfText.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace keld::rtf {

const Font* Model::FindFont(std::int32_t number) const
{
    auto it = fontIndex.find(number);
    return it == fontIndex.end() ? nullptr : &fonts[it->second];
}

std::int32_t Model::ResolvedFont(const Format& format) const
{
    return format.font < 0 ? defaultFont : format.font;
}

namespace {

// Limits against hostile input: they bound memory and keep every step linear.
constexpr std::size_t kMaxFontName = 256;
constexpr std::int32_t kMaxFontSize = 32767;
constexpr std::uint32_t kNoFormat = std::numeric_limits<std::uint32_t>::max();

enum class Dest : std::uint8_t { Body, FontTable, ColorTable, Upr, Other };

struct FormatHash {
    std::size_t operator()(const Format& f) const noexcept
    {
        std::size_t h = static_cast<std::uint32_t>(f.font);
        h = h * 1000003u ^ static_cast<std::uint32_t>(f.size);
        h = h * 1000003u ^ static_cast<std::uint32_t>(f.color);
        h = h * 31u + (f.bold | f.italic << 1 | f.underline << 2 | f.strike << 3 | f.hidden << 4);
        return h;
    }
};

struct Group {
    Format format;
    std::uint32_t formatId = kNoFormat;
    int codePage = -1; // -1: not yet worked out for the current font
    Dest dest = Dest::Body;
    bool tableRoot = false;
    bool pictureWrapper = false; // \shppict: a picture and what stands in for it
    std::uint32_t open = 0;
    std::size_t glyphsAtOpen = 0;
    std::size_t objectGlyph = kNone;
    bool objectOwnsBraces = false;
    std::size_t wrappedGlyph = kNone; // the picture that is all a wrapper shows
};

class Parser final : public GroupReader {
public:
    Parser(std::string_view source, Model recycled) : GroupReader(source, KwReader::Engine)
    {
        // Reusing the previous model's buffers spares the allocator and the page faults of a
        // second set when a document is parsed again after an edit.
        m_m.glyphs = std::move(recycled.glyphs);
        m_m.glyphs.clear();
        m_m.text = std::move(recycled.text);
        m_m.text.clear();
    }

    Model Run()
    {
        const std::size_t n = Source().size();
        // A guess that saves most regrowth on text-heavy files and costs little on others.
        if (m_m.glyphs.capacity() < n / 4) {
            m_m.glyphs.reserve(n / 4);
            m_m.text.reserve(n / 4);
        }
        ReadAll();
        for (std::size_t k = 0; k < m_m.text.size(); ++k) {
            if (m_m.text[k] >= 0xD800 && m_m.text[k] <= 0xDFFF)
                m_m.text[k] = 0xFFFD;
        }
        if (RtfWordEnd() != kNoOffset && (m_m.headerEnd == kNone || RtfWordEnd() < m_m.headerEnd))
            m_m.headerEnd = RtfWordEnd(); // new tables go after it
        m_m.openGroups = static_cast<int>(OpenGroups());
        m_m.cleanEnd = CleanEnd();
        for (const Group& g : m_stack) {
            if (g.objectGlyph != kNone)
                m_m.glyphs[g.objectGlyph].end = static_cast<std::uint32_t>(n);
        }
        return std::move(m_m);
    }

private:
    void GroupOpened(std::size_t at) override
    {
        if (m_stack.empty()) {
            m_stack.emplace_back();
        } else {
            Group g = m_stack.back();
            g.tableRoot = false;
            g.pictureWrapper = false;
            g.objectGlyph = kNone;
            g.objectOwnsBraces = false;
            g.wrappedGlyph = kNone;
            m_stack.push_back(g);
        }
        Group& g = m_stack.back();
        g.open = static_cast<std::uint32_t>(at);
        g.glyphsAtOpen = m_m.glyphs.size();
    }

    void GroupClosing(std::size_t at) override
    {
        Group& g = m_stack.back();
        if (g.objectGlyph != kNone)
            m_m.glyphs[g.objectGlyph].end = static_cast<std::uint32_t>(g.objectOwnsBraces ? at + 1 : at);
        if (g.wrappedGlyph != kNone && g.wrappedGlyph + 1 == m_m.glyphs.size()) {
            // A picture that is all its wrapper shows stands for the wrapper: replacing it
            // replaces the whole group.
            m_m.glyphs[g.wrappedGlyph].begin = g.open;
            m_m.glyphs[g.wrappedGlyph].end = static_cast<std::uint32_t>(at + 1);
        }
        if (Hidden()) {
            // What a hidden group holds is no part of the tables either.
        } else if (g.dest == Dest::FontTable) {
            CommitFont();
            if (g.tableRoot && m_m.fontTableEnd == kNone) {
                m_m.fontTableEnd = at;
                m_m.fontTableAfter = at + 1;
            }
        } else if (g.dest == Dest::ColorTable && g.tableRoot) {
            if (m_colorAny) {
                m_m.colors.push_back(m_color);
                m_m.colorTableOpenEntry = true;
                m_colorAny = false;
            }
            if (m_m.colorTableEnd == kNone)
                m_m.colorTableEnd = at;
        }
        m_stack.pop_back();
        if (m_stack.empty())
            m_m.rootEnd = at;
    }

    std::uint32_t FormatId(Group& g)
    {
        if (g.formatId == kNoFormat) {
            auto [it, added] =
                m_formatIds.try_emplace(g.format, static_cast<std::uint32_t>(m_m.formats.size()));
            if (added)
                m_m.formats.push_back(g.format);
            g.formatId = it->second;
        }
        return g.formatId;
    }

    int CodePage(Group& g)
    {
        if (g.codePage < 0) {
            const Font* font = m_m.FindFont(m_m.ResolvedFont(g.format));
            g.codePage = (font && font->codePage) ? font->codePage : m_m.ansiCodePage;
        }
        return g.codePage;
    }

    void Emit(Group& g, char32_t ch, std::size_t begin, std::size_t end, GlyphKind kind = GlyphKind::Text)
    {
        m_m.glyphs.push_back(
            {static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(end), FormatId(g), kind});
        m_m.text.push_back(ch);
    }

    // A character from a word or a symbol in the current destination.
    void Put(char32_t ch, std::size_t begin, std::size_t end, GlyphKind kind = GlyphKind::Text)
    {
        Group& g = m_stack.back();
        switch (g.dest) {
        case Dest::Body:
            if (!g.format.hidden)
                Emit(g, ch, begin, end, kind);
            break;
        case Dest::FontTable:
            if (ch == ';')
                CommitFont();
            else if (m_fontName.size() < kMaxFontName)
                m_fontName.push_back(ch);
            break;
        case Dest::ColorTable:
            if (ch == ';') {
                m_m.colors.push_back(m_colorAny ? std::optional<Rgb>(m_color) : std::nullopt);
                m_color = {};
                m_colorAny = false;
            }
            break;
        default:
            break;
        }
    }

    // ---- what the group reader leaves to the engine ------------------------------------------

    TextMode Mode() override
    {
        const Group& g = m_stack.back();
        if (g.dest == Dest::Body)
            return g.format.hidden ? TextMode::Ignored : TextMode::Shown;
        return g.dest == Dest::FontTable || g.dest == Dest::ColorTable ? TextMode::Raw : TextMode::Ignored;
    }

    int CodePage() override { return CodePage(m_stack.back()); }

    void PlainText(std::string_view text, std::size_t at) override
    {
        Group& g = m_stack.back();
        for (std::size_t k = 0; k < text.size(); ++k)
            Emit(g, static_cast<unsigned char>(text[k]), at + k, at + k + 1);
    }

    void Character(char32_t ch, std::size_t begin, std::size_t end, int) override
    {
        Emit(m_stack.back(), ch, begin, end);
    }

    void RawText(std::string_view text, std::size_t at) override
    {
        for (std::size_t k = 0; k < text.size(); ++k) {
            const auto c = static_cast<unsigned char>(text[k]);
            if (c >= 0x20)
                FontTableByte(c, at + k, at + k + 1);
        }
    }

    void RawByte(unsigned char byte, std::size_t begin, std::size_t end) override
    {
        if (m_stack.back().dest == Dest::FontTable)
            FontTableByte(byte, begin, end);
        else
            Put(DecodeCodePageByte(CodePage(m_stack.back()), byte), begin, end);
    }

    void FallbackSkipped(std::size_t end) override
    {
        // The fallback joins the \u character's span.
        if (m_ucGlyph != kNone)
            m_m.glyphs[m_ucGlyph].end = static_cast<std::uint32_t>(end);
    }

    void Symbol(char symbol, std::size_t start, std::size_t end) override
    {
        switch (symbol) {
        case '\\':
        case '{':
        case '}':
            Put(static_cast<unsigned char>(symbol), start, end);
            break;
        case '~':
            Put(0xA0, start, end);
            break;
        case '_':
            Put(0x2011, start, end);
            break;
        case '\r':
        case '\n':
            Put(U'\n', start, end);
            break;
        default:
            break; // \- and the other symbols show nothing
        }
    }

    // A byte of the font table: East Asian font names come in their double-byte code page.
    void FontTableByte(unsigned char byte, std::size_t begin, std::size_t end)
    {
        const int codePage = FontTableCodePage();
        if (m_fontLead != 0) {
            char32_t ch = DecodeDoubleByte(codePage, m_fontLead, byte);
            m_fontLead = 0;
            if (ch != 0) {
                if (m_fontName.size() < kMaxFontName)
                    m_fontName.push_back(ch);
                return;
            }
        }
        if (IsLeadByte(codePage, byte)) {
            m_fontLead = byte;
            return;
        }
        Put(byte >= 0x80 ? DecodeCodePageByte(codePage, byte) : char32_t(byte), begin, end);
    }

    int FontTableCodePage() const { return m_fontCodePage ? m_fontCodePage : m_m.ansiCodePage; }

    void CommitFont()
    {
        if (!m_fontPending)
            return;
        m_fontPending = false;
        m_fontLead = 0;
        std::u32string_view name = m_fontName;
        while (!name.empty() && name.front() == U' ')
            name.remove_prefix(1);
        while (!name.empty() && name.back() == U' ')
            name.remove_suffix(1);
        if (m_m.fontIndex.count(m_fontNumber) == 0) {
            m_m.fontIndex.emplace(m_fontNumber, m_m.fonts.size());
            m_m.fonts.push_back({m_fontNumber, Utf32ToUtf8(name), m_fontCodePage});
        }
        m_fontName.clear();
    }

    void Word(const WordToken& word, const KwLookup& found, std::size_t start) override
    {
        const KwInfo& info = found.info;
        const std::int32_t param = word.param;
        const bool hasParam = word.hasParam;
        const std::size_t end = word.end;
        Group& g = m_stack.back();
        const bool on = !hasParam || param != 0;
        switch (info.kw) {
        case Kw::Rtf:
            if (m_m.headerEnd == kNone)
                m_m.headerEnd = end;
            break;
        case Kw::Ansicpg:
            if (param > 0 && param < 65536)
                m_m.ansiCodePage = param;
            break;
        case Kw::Mac:
            m_m.ansiCodePage = 10000;
            break;
        case Kw::Pc:
            m_m.ansiCodePage = 437;
            break;
        case Kw::Pca:
            m_m.ansiCodePage = 850;
            break;
        case Kw::Deff:
            m_m.defaultFont = param;
            break;
        case Kw::Fonttbl:
            g.dest = Dest::FontTable;
            g.tableRoot = true;
            break;
        case Kw::Colortbl:
            g.dest = Dest::ColorTable;
            g.tableRoot = true;
            m_m.hasColorTable = true;
            break;
        case Kw::F:
            if (g.dest == Dest::FontTable) {
                CommitFont();
                m_fontPending = true;
                m_fontNumber = param;
                m_fontCodePage = 0;
                m_fontName.clear();
            } else {
                SetFormat(g).font = std::max(param, 0);
                g.codePage = -1;
            }
            break;
        case Kw::Fs:
            SetFormat(g).size = hasParam ? std::clamp(param, 0, kMaxFontSize) : 24;
            break;
        case Kw::B:
            SetFormat(g).bold = on;
            break;
        case Kw::I:
            SetFormat(g).italic = on;
            break;
        case Kw::Ul:
        case Kw::UlDotted:
        case Kw::UlDash:
        case Kw::UlWave:
        case Kw::UlDouble:
            SetFormat(g).underline = on;
            break;
        case Kw::UlNone:
            SetFormat(g).underline = false;
            break;
        case Kw::Strike:
            SetFormat(g).strike = on;
            break;
        case Kw::Cf:
            SetFormat(g).color = std::max(param, 0);
            break;
        case Kw::V:
            SetFormat(g).hidden = on;
            break;
        case Kw::Plain:
            SetFormat(g) = Format{};
            g.codePage = -1;
            break;
        case Kw::Fcharset:
            if (g.dest == Dest::FontTable && m_fontCodePage == 0)
                m_fontCodePage = CodePageForCharset(param);
            break;
        case Kw::Cpg:
            if (g.dest == Dest::FontTable && param > 0 && param < 65536)
                m_fontCodePage = param;
            break;
        case Kw::Red:
        case Kw::Green:
        case Kw::Blue:
            if (g.dest == Dest::ColorTable) {
                auto v = static_cast<std::uint8_t>(std::clamp(param, 0, 255));
                (info.kw == Kw::Red ? m_color.red : info.kw == Kw::Green ? m_color.green : m_color.blue) = v;
                m_colorAny = true;
            }
            break;
        case Kw::Par:
        case Kw::Page:
            Put(U'\n', start, end);
            break;
        case Kw::Row:
        case Kw::NestRow:
        case Kw::Sect:
            Put(U'\n', start, end, GlyphKind::Structural);
            break;
        case Kw::Line:
            Put(U'\v', start, end);
            break;
        case Kw::Tab:
            Put(U'\t', start, end);
            break;
        case Kw::Cell:
        case Kw::NestCell:
            Put(U'\t', start, end, GlyphKind::Structural);
            break;
        case Kw::Symbol:
            Put(static_cast<char32_t>(info.arg), start, end);
            break;
        case Kw::Shppict:
            // Its picture is read as any other, and whatever else it holds is shown.
            if (g.dest == Dest::Body && m_stack.size() > 1)
                g.pictureWrapper = true;
            break;
        case Kw::Pict:
        case Kw::Object:
            if (g.dest == Dest::Body && !g.format.hidden)
                ObjectGlyph(g, start, end);
            HideGroup();
            break;
        case Kw::Upr:
            if (g.dest == Dest::Body)
                g.dest = Dest::Upr;
            break;
        case Kw::Ud:
            if (g.dest == Dest::Upr)
                g.dest = Dest::Body;
            break;
        case Kw::SkipDest:
        case Kw::Header:
        case Kw::HeaderFirst:
        case Kw::HeaderLeft:
        case Kw::Footer:
        case Kw::FooterFirst:
        case Kw::FooterLeft:
        case Kw::Footnote:
        case Kw::Result:
        case Kw::Fldinst:
        case Kw::NestTableProps:
        case Kw::DefPap:
        case Kw::DefChp:
            HideGroup(); // the engine edits the body alone
            break;
        default:
            break; // page layout, which the engine leaves to the source
        }
    }

    // A picture or an object stands for its whole group, so replacing it removes the group.
    // Never the root group's brace, though: the document must stay a document.
    void ObjectGlyph(Group& g, std::size_t start, std::size_t end)
    {
        g.objectOwnsBraces = m_m.glyphs.size() == g.glyphsAtOpen && m_stack.size() > 1;
        const std::size_t begin = g.objectOwnsBraces ? g.open : start;
        g.objectGlyph = m_m.glyphs.size();
        if (g.objectOwnsBraces && m_stack.size() > 2) {
            Group& parent = m_stack[m_stack.size() - 2];
            if (parent.pictureWrapper && parent.glyphsAtOpen == g.objectGlyph)
                parent.wrappedGlyph = g.objectGlyph;
        }
        Emit(g, 0xFFFC, begin, end, GlyphKind::Object);
    }

    Format& SetFormat(Group& g)
    {
        g.formatId = kNoFormat;
        return g.format;
    }

    // Whether nothing but \ucN words stand between two offsets: writers put one between the two
    // halves of a surrogate pair to give each half its own fallback count.
    bool OnlyUcWords(std::size_t from, std::size_t to) const
    {
        const std::string_view s = Source();
        if (to < from || to - from > 32)
            return false;
        std::size_t i = from;
        while (i < to) {
            if (s[i] == ' ' || s[i] == '\r' || s[i] == '\n') {
                ++i;
                continue;
            }
            if (s.compare(i, 3, "\\uc") != 0 || i + 3 >= to || !IsDigit(static_cast<unsigned char>(s[i + 3])))
                return false;
            i += 3;
            while (i < to && IsDigit(static_cast<unsigned char>(s[i])))
                ++i;
        }
        return true;
    }

    void Unicode(char32_t ch, std::size_t start, std::size_t end) override
    {
        Group& g = m_stack.back();
        const std::size_t before = m_m.glyphs.size();
        bool joined = false;
        if (ch >= 0xDC00 && ch <= 0xDFFF && g.dest == Dest::Body && before > 0) {
            // The second half of a surrogate pair joins the first into one character.
            Glyph& prev = m_m.glyphs.back();
            char32_t high = m_m.text.back();
            if (high >= 0xD800 && high <= 0xDBFF && OnlyUcWords(prev.end, start)) {
                char32_t full = 0x10000 + ((high - 0xD800) << 10) + (ch - 0xDC00);
                prev.end = static_cast<std::uint32_t>(end);
                m_m.text.back() = full;
                joined = true;
            }
        }
        if (!joined)
            Put(ch, start, end); // a surrogate left alone becomes U+FFFD at the end
        m_ucGlyph = m_m.glyphs.size() > before || joined ? m_m.glyphs.size() - 1 : kNone;
    }

    Model m_m;
    std::vector<Group> m_stack;
    std::unordered_map<Format, std::uint32_t, FormatHash> m_formatIds;
    std::size_t m_ucGlyph = kNone;
    unsigned char m_fontLead = 0;
    bool m_fontPending = false;
    std::int32_t m_fontNumber = 0;
    int m_fontCodePage = 0;
    std::u32string m_fontName;
    Rgb m_color;
    bool m_colorAny = false;
};

} // namespace

Model Parse(std::string_view source, Model recycled)
{
    return Parser(source, std::move(recycled)).Run();
}

} // namespace keld::rtf
