#include "report/RtfParser.h"

#include "report/RtfKeywords.h"
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

enum class Dest : std::uint8_t { Body, Skip, FontTable, ColorTable, Upr };

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
    int uc = 1;
    Dest dest = Dest::Body;
    Dest starSaved = Dest::Body;
    bool star = false;
    bool tableRoot = false;
    std::uint32_t open = 0;
    std::size_t glyphsAtOpen = 0;
    std::size_t objectGlyph = kNone;
    bool objectOwnsBraces = false;
};

class Parser {
public:
    Parser(std::string_view source, Model recycled) : m_s(source)
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
        const std::size_t n = m_s.size();
        // A guess that saves most regrowth on text-heavy files and costs little on others.
        if (m_m.glyphs.capacity() < n / 4) {
            m_m.glyphs.reserve(n / 4);
            m_m.text.reserve(n / 4);
        }
        Walk(m_s, *this);
        for (std::size_t k = 0; k < m_m.text.size(); ++k) {
            if (m_m.text[k] >= 0xD800 && m_m.text[k] <= 0xDFFF)
                m_m.text[k] = 0xFFFD;
        }
        m_m.openGroups = static_cast<int>(m_stack.size() + m_overflow);
        for (const Group& g : m_stack) {
            if (g.objectGlyph != kNone)
                m_m.glyphs[g.objectGlyph].end = static_cast<std::uint32_t>(n);
        }
        return std::move(m_m);
    }

private:
    // The steps of the walk.
    template <class Reader> friend void rtf::Walk(std::string_view, Reader&);

    bool InGroup() const { return !m_stack.empty(); }

    void Open(std::size_t at)
    {
        m_ucSkip = 0;
        OpenGroup(at);
    }

    void Close(std::size_t at)
    {
        m_ucSkip = 0;
        CloseGroup(at);
        if (m_stack.empty())
            m_m.rootEnd = at;
    }

    void OpenGroup(std::size_t at)
    {
        if (m_stack.empty()) {
            m_stack.emplace_back();
        } else if (m_stack.size() >= kMaxDepth) {
            // Too deep: the group is read as part of its parent, but its braces still balance.
            ++m_overflow;
            return;
        } else {
            Group g = m_stack.back();
            g.star = false;
            g.tableRoot = false;
            g.objectGlyph = kNone;
            g.objectOwnsBraces = false;
            m_stack.push_back(g);
        }
        Group& g = m_stack.back();
        g.open = static_cast<std::uint32_t>(at);
        g.glyphsAtOpen = m_m.glyphs.size();
    }

    void CloseGroup(std::size_t at)
    {
        if (m_overflow > 0) {
            --m_overflow;
            return;
        }
        Group& g = m_stack.back();
        if (g.objectGlyph != kNone)
            m_m.glyphs[g.objectGlyph].end = static_cast<std::uint32_t>(g.objectOwnsBraces ? at + 1 : at);
        if (g.dest == Dest::FontTable) {
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

    // A character from any source (raw byte, \'hh, \u, a symbol word) in the current destination.
    void Character(char32_t ch, std::size_t begin, std::size_t end, GlyphKind kind = GlyphKind::Text)
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

    // One token read as a \u fallback character: it joins the \u character's span.
    bool SkipFallback(std::size_t end)
    {
        if (m_ucSkip <= 0)
            return false;
        --m_ucSkip;
        if (m_ucGlyph != kNone)
            m_m.glyphs[m_ucGlyph].end = static_cast<std::uint32_t>(end);
        return true;
    }

    std::size_t Text(std::size_t i)
    {
        if (SkipFallback(i + 1))
            return i + 1;
        const std::size_t n = m_s.size();
        Group& g = m_stack.back();
        if (g.dest == Dest::Body && !g.format.hidden) {
            while (i < n) {
                unsigned char c = static_cast<unsigned char>(m_s[i]);
                if (c == '{' || c == '}' || c == '\\' || c == '\r' || c == '\n' || c == '\0')
                    break;
                if (m_leadGlyph != kNone || (c >= 0x80 && IsDoubleByteCodePage(CodePage(g))))
                    TextByte(g, c, i, i + 1, false);
                else if (c >= 0x80)
                    Emit(g, DecodeCodePageByte(CodePage(g), c), i, i + 1);
                else if (c >= 0x20 || c == '\t')
                    Emit(g, c, i, i + 1);
                ++i;
            }
            return i;
        }
        if (g.dest == Dest::Skip || g.dest == Dest::Upr || g.dest == Dest::Body) {
            while (i < n) {
                char c = m_s[i];
                if (c == '{' || c == '}' || c == '\\')
                    break;
                ++i;
            }
            return i;
        }
        unsigned char c = static_cast<unsigned char>(m_s[i]);
        if (c >= 0x20)
            FontTableByte(c, i, i + 1);
        return i + 1;
    }

    // One byte of shown text in the group's code page. In a double-byte code page a lead byte
    // stands as U+FFFD until the byte right after it completes the character.
    void TextByte(Group& g, unsigned char byte, std::size_t begin, std::size_t end, bool escaped)
    {
        const int codePage = CodePage(g);
        if (m_leadGlyph != kNone) {
            const std::size_t lead = m_leadGlyph;
            m_leadGlyph = kNone;
            if (lead + 1 == m_m.glyphs.size() && m_m.glyphs[lead].end == begin &&
                m_m.formats[m_m.glyphs[lead].format] == g.format) {
                if (char32_t ch = DecodeDoubleByte(codePage, m_leadByte, byte)) {
                    m_m.glyphs[lead].end = static_cast<std::uint32_t>(end);
                    m_m.text[lead] = ch;
                    return;
                }
            }
        }
        if (IsLeadByte(codePage, byte)) {
            m_leadGlyph = m_m.glyphs.size();
            m_leadByte = byte;
            Emit(g, 0xFFFD, begin, end);
        } else if (byte >= 0x80) {
            Emit(g, DecodeCodePageByte(codePage, byte), begin, end);
        } else if (escaped) {
            Emit(g, DecodeCodePageByte(codePage, byte), begin, end);
        } else if (byte >= 0x20 || byte == '\t') {
            Emit(g, byte, begin, end);
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
        Character(byte >= 0x80 ? DecodeCodePageByte(codePage, byte) : char32_t(byte), begin, end);
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

    std::size_t ControlWord(std::size_t start)
    {
        const std::size_t n = m_s.size();
        std::size_t i = start + 1;
        if (i >= n) {
            m_m.cleanEnd = false;
            return n;
        }
        unsigned char c = static_cast<unsigned char>(m_s[i]);
        if (IsLetter(c)) {
            const WordToken word = ReadWord(m_s, i);
            if (word.cut)
                m_m.cleanEnd = false;
            if (m_m.headerEnd == kNone && m_stack.size() == 1 && word.name.substr(0, 3) == "rtf")
                m_m.headerEnd = word.end; // also for a misspelt "\\rtfX": new tables go after it
            return Word(word.name, word.hasParam, word.param, start, word.end);
        }
        if (c == '\'') {
            const HexToken hex = ReadHex(m_s, i + 1);
            const std::size_t j = hex.end;
            const int value = hex.value;
            if (j >= n && hex.digits < 2)
                m_m.cleanEnd = false;
            if (SkipFallback(j) || hex.digits == 0)
                return j;
            Group& g = m_stack.back();
            if (g.dest == Dest::Body && !g.format.hidden) {
                TextByte(g, static_cast<unsigned char>(value), start, j, true);
                return j;
            }
            if (g.dest == Dest::FontTable)
                FontTableByte(static_cast<unsigned char>(value), start, j);
            else
                Character(DecodeCodePageByte(CodePage(g), static_cast<unsigned char>(value)), start, j);
            return j;
        }
        std::size_t end = i + 1;
        if (SkipFallback(end))
            return end;
        Group& g = m_stack.back();
        switch (c) {
        case '\\':
        case '{':
        case '}':
            Character(c, start, end);
            break;
        case '~':
            Character(0xA0, start, end);
            break;
        case '_':
            Character(0x2011, start, end);
            break;
        case '\r':
        case '\n':
            Character(U'\n', start, end);
            break;
        case '*':
            if (!g.star) {
                g.star = true;
                g.starSaved = g.dest;
                g.dest = Dest::Skip;
            }
            break;
        default:
            break; // \- and the other symbols show nothing
        }
        return end;
    }

    std::size_t Word(std::string_view name, bool hasParam, std::int32_t param, std::size_t start,
                     std::size_t end)
    {
        const KwInfo info = FindKeyword(name, KwReader::Engine);

        if (info.kw == Kw::Bin) {
            std::size_t count = hasParam && param > 0 ? static_cast<std::size_t>(param) : 0;
            if (count > m_s.size() - end) {
                count = m_s.size() - end;
                m_m.cleanEnd = false;
            }
            SkipFallback(end + count);
            return end + count;
        }
        if (SkipFallback(end))
            return end;

        Group& g = m_stack.back();
        if (g.star) {
            // The word right after \* names the destination; only a few of them are shown.
            g.star = false;
            if (info.kw == Kw::Shppict && g.starSaved == Dest::Body)
                g.dest = Dest::Body;
            else if (info.kw == Kw::Ud && g.starSaved == Dest::Upr)
                g.dest = Dest::Body;
        }
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
            if (g.dest != Dest::Skip) {
                g.dest = Dest::FontTable;
                g.tableRoot = true;
            }
            break;
        case Kw::Colortbl:
            if (g.dest != Dest::Skip) {
                g.dest = Dest::ColorTable;
                g.tableRoot = true;
                m_m.hasColorTable = true;
            }
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
        case Kw::Uc:
            g.uc = std::clamp(param, 0, kMaxUnicodeSkip);
            break;
        case Kw::U:
            UnicodeChar(UnicodeUnit(param), start, end);
            break;
        case Kw::Par:
        case Kw::Page:
            Character(U'\n', start, end);
            break;
        case Kw::Row:
        case Kw::NestRow:
        case Kw::Sect:
            Character(U'\n', start, end, GlyphKind::Structural);
            break;
        case Kw::Line:
            Character(U'\v', start, end);
            break;
        case Kw::Tab:
            Character(U'\t', start, end);
            break;
        case Kw::Cell:
        case Kw::NestCell:
            Character(U'\t', start, end, GlyphKind::Structural);
            break;
        case Kw::Symbol:
            Character(static_cast<char32_t>(info.arg), start, end);
            break;
        case Kw::Pict:
        case Kw::Object:
        case Kw::Shppict:
            if (g.dest == Dest::Body) {
                if (!g.format.hidden) {
                    // The picture stands for its whole group, so replacing it removes the group.
                    // Never the root group's brace, though: the document must stay a document.
                    g.objectOwnsBraces = m_m.glyphs.size() == g.glyphsAtOpen && m_stack.size() > 1;
                    std::size_t begin = g.objectOwnsBraces ? g.open : start;
                    g.objectGlyph = m_m.glyphs.size();
                    Emit(g, 0xFFFC, begin, end, GlyphKind::Object);
                }
                g.dest = Dest::Skip;
            }
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
            g.dest = Dest::Skip; // the engine edits the body alone
            break;
        default:
            break; // page layout, which the engine leaves to the source
        }
        return end;
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
        if (to < from || to - from > 32)
            return false;
        std::size_t i = from;
        while (i < to) {
            if (m_s[i] == ' ' || m_s[i] == '\r' || m_s[i] == '\n') {
                ++i;
                continue;
            }
            if (m_s.compare(i, 3, "\\uc") != 0 || i + 3 >= to ||
                !IsDigit(static_cast<unsigned char>(m_s[i + 3])))
                return false;
            i += 3;
            while (i < to && IsDigit(static_cast<unsigned char>(m_s[i])))
                ++i;
        }
        return true;
    }

    void UnicodeChar(char32_t ch, std::size_t start, std::size_t end)
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
            Character(ch, start, end); // a surrogate left alone becomes U+FFFD at the end
        m_ucSkip = g.uc;
        m_ucGlyph = m_m.glyphs.size() > before || joined ? m_m.glyphs.size() - 1 : kNone;
    }

    std::string_view m_s;
    Model m_m;
    std::vector<Group> m_stack;
    std::size_t m_overflow = 0;
    std::unordered_map<Format, std::uint32_t, FormatHash> m_formatIds;
    int m_ucSkip = 0;
    std::size_t m_ucGlyph = kNone;
    std::size_t m_leadGlyph = kNone; // a double-byte lead waiting for its trail byte
    unsigned char m_leadByte = 0;
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
