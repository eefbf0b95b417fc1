#include "report/RenderReader.h"

#include "report/RtfKeywords.h"
#include "report/RtfParser.h"
#include "report/RtfText.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_map>

namespace keld::render {

namespace {

// Bounds against hostile input; each keeps the walk linear and the result a sane size.
constexpr int kMaxNesting = 16; // tables in tables
constexpr std::size_t kMaxCellDefs = 256;
constexpr std::size_t kMaxTabs = 64;
constexpr std::size_t kMaxFieldInstruction = 64;
constexpr std::int32_t kMaxLength = 31680; // 22 inches, the largest paper
constexpr std::int32_t kMaxFontSize = 3200;

enum class Dest : std::uint8_t { Body, Skip, FontTable, Pict, FieldInst, TableProps, Object, Upr, Defaults };

using rtf::HexValue;
using rtf::IsLetter;
using rtf::Kw;
using rtf::KwInfo;

// The shared word table names sides, border lines and font families in the layout's own order.
static_assert(kTop == static_cast<int>(rtf::Side::Top) && kLeft == static_cast<int>(rtf::Side::Left) &&
              kBottom == static_cast<int>(rtf::Side::Bottom) && kRight == static_cast<int>(rtf::Side::Right));
static_assert(Border::Style::None == static_cast<Border::Style>(rtf::BorderLine::None) &&
              Border::Style::Single == static_cast<Border::Style>(rtf::BorderLine::Single) &&
              Border::Style::Double == static_cast<Border::Style>(rtf::BorderLine::Double) &&
              Border::Style::Dotted == static_cast<Border::Style>(rtf::BorderLine::Dotted) &&
              Border::Style::Dashed == static_cast<Border::Style>(rtf::BorderLine::Dashed));
static_assert(FontInfo::Kind::Any == static_cast<FontInfo::Kind>(rtf::Family::Any) &&
              FontInfo::Kind::Serif == static_cast<FontInfo::Kind>(rtf::Family::Serif) &&
              FontInfo::Kind::Sans == static_cast<FontInfo::Kind>(rtf::Family::Sans) &&
              FontInfo::Kind::Mono == static_cast<FontInfo::Kind>(rtf::Family::Mono) &&
              FontInfo::Kind::Script == static_cast<FontInfo::Kind>(rtf::Family::Script) &&
              FontInfo::Kind::Decor == static_cast<FontInfo::Kind>(rtf::Family::Decor));

std::int32_t Length(std::int32_t v, std::int32_t low = -kMaxLength)
{
    return std::clamp(v, low, kMaxLength);
}

// Bullets and arrows of the symbol fonts that list numbering uses, as the characters they draw.
char32_t SymbolCharacter(unsigned byte, bool wingdings)
{
    if (wingdings) {
        switch (byte) {
        case 0x6E:
            return 0x25A0;
        case 0x71:
            return 0x2751;
        case 0x76:
            return 0x2756;
        case 0x9F:
            return 0x2022;
        case 0xA7:
            return 0x25AA;
        case 0xA8:
            return 0x25FB;
        case 0xD8:
            return 0x27A2;
        case 0xFC:
            return 0x2713;
        default:
            break;
        }
    } else if (byte == 0xB7) {
        return 0x2022;
    }
    return byte >= 0x20 && byte < 0x7F ? char32_t(byte) : char32_t(0x2022);
}

enum class FieldKind : std::uint8_t { None, Page, PageCount };

struct Group {
    CharFormat ch;
    ParaFormat para;
    bool intbl = false;
    std::int32_t itap = -1;
    Dest dest = Dest::Body;
    int uc = 1;
    bool star = false;
    bool isField = false;
    bool ownsFlow = false;
    bool ownsPicture = false;
    bool ownsFieldInst = false;
    std::uint8_t ownsDefaults = 0; // 1: paragraph, 2: character defaults
    FieldKind field = FieldKind::None;
    int fieldNumber = 0;
    int flow = 0;
};

struct OpenTable {
    Table table;
    Row row;
    Cell cell;
    bool rowHasDef = false;
};

struct FlowState {
    Flow* target = nullptr;
    Block pending;
    std::vector<OpenTable> tables;
    bool breakNext = false;
    bool sectionPending = false;
};

struct PictureState {
    enum class Kind : std::uint8_t { Unknown, Png, Jpeg, Dib } kind = Kind::Unknown;
    std::int32_t picw = 0, pich = 0, goalw = 0, goalh = 0, scalex = 100, scaley = 100;
    std::string hex;
    std::string bin;
};

class Reader {
public:
    Reader(std::string_view source, const rtf::Model& tables) : m_s(source), m_tables(tables)
    {
        m_rowDefs.resize(kMaxNesting + 1);
        m_rowDefFresh.resize(kMaxNesting + 1);
        m_rowDefShared.resize(kMaxNesting + 1);
        m_out.defaultFont = tables.defaultFont;
        m_out.colors = tables.colors;
    }

    RenderModel Read()
    {
        m_flows.emplace_back().target = &m_out.body;
        rtf::Walk(m_s, *this);
        // A truncated source: close what it left open, keeping the text read so far.
        while (!m_stack.empty())
            CloseGroup();
        if (m_landscape && m_out.page.width < m_out.page.height)
            std::swap(m_out.page.width, m_out.page.height);
        Fonts();
        return std::move(m_out);
    }

private:
    // ---- groups ----------------------------------------------------------------------------

    template <class Walker> friend void rtf::Walk(std::string_view, Walker&);

    bool InGroup() const { return !m_stack.empty(); }

    void Open(std::size_t)
    {
        m_ucSkip = 0;
        OpenGroup();
    }

    void Close(std::size_t)
    {
        m_ucSkip = 0;
        CloseGroup();
    }

    void OpenGroup()
    {
        if (m_stack.size() >= rtf::kMaxDepth) {
            ++m_overflow;
            return;
        }
        if (m_stack.empty()) {
            m_stack.emplace_back();
            return;
        }
        Group g = m_stack.back();
        g.star = false;
        g.isField = false;
        g.ownsFlow = false;
        g.ownsPicture = false;
        g.ownsFieldInst = false;
        g.ownsDefaults = 0;
        m_stack.push_back(std::move(g));
    }

    void CloseGroup()
    {
        if (m_overflow > 0) {
            --m_overflow;
            return;
        }
        Group& g = m_stack.back();
        if (g.ownsPicture)
            FinishPicture();
        if (g.ownsFieldInst && m_stack.size() >= 2) {
            // The field's kind decides how its result reads in a page header or footer.
            FieldKind kind = FieldInstructionKind();
            for (std::size_t k = m_stack.size() - 1; k-- > 0;) {
                if (m_stack[k].isField) {
                    m_stack[k].field = kind;
                    m_stack[k].fieldNumber = ++m_fieldCount;
                    break;
                }
            }
        }
        if (g.ownsFlow) {
            FinishFlow(g);
            m_flows.pop_back();
        }
        if (g.ownsDefaults && m_stack.size() >= 2) {
            // The document's defaults, which \pard and \plain return to.
            Group& parent = m_stack[m_stack.size() - 2];
            if (g.ownsDefaults == 1)
                parent.para = m_defaultPara = g.para;
            else
                parent.ch = m_defaultChar = g.ch;
        }
        if (m_stack.size() == 1)
            FinishFlow(g);
        m_stack.pop_back();
    }

    FieldKind FieldInstructionKind() const
    {
        std::string word;
        for (char c : m_fieldText) {
            if (c == ' ' || c == '\t') {
                if (!word.empty())
                    break;
                continue;
            }
            word += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        }
        if (word == "PAGE")
            return FieldKind::Page;
        if (word == "NUMPAGES" || word == "SECTIONPAGES")
            return FieldKind::PageCount;
        return FieldKind::None;
    }

    // Starts a flow of its own (a header, a footer, a footnote) for the group `g`.
    void StartFlow(Group& g, Flow* target)
    {
        if (m_flows.size() >= kMaxNesting) {
            g.dest = Dest::Skip;
            return;
        }
        if (!target) {
            m_scratch.clear();
            target = &m_scratch;
        }
        m_flows.emplace_back().target = target;
        g.flow = static_cast<int>(m_flows.size() - 1);
        g.ownsFlow = true;
        g.dest = Dest::Body;
        g.intbl = false;
        g.itap = -1;
    }

    // ---- tokens ----------------------------------------------------------------------------

    bool SkipFallback()
    {
        if (m_ucSkip <= 0)
            return false;
        --m_ucSkip;
        return true;
    }

    std::size_t Text(std::size_t i)
    {
        if (SkipFallback())
            return i + 1;
        const std::size_t n = m_s.size();
        Group& g = m_stack.back();
        auto special = [](unsigned char c) { return c == '{' || c == '}' || c == '\\'; };
        switch (g.dest) {
        case Dest::Body: {
            const int codePage = CodePage(g);
            const bool plain = !IsDoubleByteCodePage(codePage) && codePage != 42;
            while (i < n) {
                unsigned char c = static_cast<unsigned char>(m_s[i]);
                if (special(c))
                    break;
                if (plain && m_leadByte == 0 && c >= 0x20 && c < 0x80) {
                    std::size_t j = i;
                    while (j < n) {
                        unsigned char d = static_cast<unsigned char>(m_s[j]);
                        if (d < 0x20 || d >= 0x80 || special(d))
                            break;
                        ++j;
                    }
                    AppendAscii(g, m_s.substr(i, j - i));
                    i = j;
                    continue;
                }
                if (c == '\r' || c == '\n' || c == '\0') {
                    ++i;
                    continue;
                }
                if (c == '\t')
                    AppendChar(g, U'\t');
                else if (c >= 0x20 || m_leadByte != 0)
                    TextByte(g, c);
                ++i;
            }
            return i;
        }
        case Dest::Pict:
            while (i < n && !special(static_cast<unsigned char>(m_s[i]))) {
                if (HexValue(static_cast<unsigned char>(m_s[i])) >= 0)
                    m_pict.hex.push_back(m_s[i]);
                ++i;
            }
            return i;
        case Dest::FieldInst:
            while (i < n && !special(static_cast<unsigned char>(m_s[i]))) {
                if (m_fieldText.size() < kMaxFieldInstruction)
                    m_fieldText.push_back(m_s[i]);
                ++i;
            }
            return i;
        default:
            while (i < n && !special(static_cast<unsigned char>(m_s[i])))
                ++i;
            return i;
        }
    }

    std::size_t ControlWord(std::size_t start)
    {
        const std::size_t n = m_s.size();
        std::size_t i = start + 1;
        if (i >= n)
            return n;
        const unsigned char c = static_cast<unsigned char>(m_s[i]);
        if (IsLetter(c)) {
            const rtf::WordToken word = rtf::ReadWord(m_s, i);
            return Word(word.name, word.hasParam, word.param, word.end);
        }
        if (c == '\'') {
            const rtf::HexToken hex = rtf::ReadHex(m_s, i + 1);
            const std::size_t j = hex.end;
            const int value = hex.value;
            if (SkipFallback() || hex.digits == 0)
                return j;
            Group& g = m_stack.back();
            if (g.dest == Dest::Body)
                TextByte(g, static_cast<unsigned char>(value));
            else if (g.dest == Dest::FieldInst && m_fieldText.size() < kMaxFieldInstruction)
                m_fieldText.push_back(static_cast<char>(value));
            return j;
        }
        if (SkipFallback())
            return i + 1;
        Group& g = m_stack.back();
        switch (c) {
        case '\\':
        case '{':
        case '}':
            if (g.dest == Dest::Body)
                AppendChar(g, c);
            else if (g.dest == Dest::FieldInst && m_fieldText.size() < kMaxFieldInstruction)
                m_fieldText.push_back(static_cast<char>(c));
            break;
        case '~':
            if (g.dest == Dest::Body)
                AppendChar(g, 0xA0);
            break;
        case '_':
            if (g.dest == Dest::Body)
                AppendChar(g, 0x2011);
            break;
        case '\r':
        case '\n':
            if (g.dest == Dest::Body)
                EndParagraph(g);
            break;
        case '*':
            if (!g.star) {
                g.star = true;
                m_starDest = g.dest;
                if (g.dest != Dest::Skip)
                    g.dest = Dest::Skip;
            }
            break;
        default:
            break; // \- and the other symbols show nothing
        }
        return i + 1;
    }

    std::size_t Word(std::string_view name, bool hasParam, std::int32_t param, std::size_t end)
    {
        const KwInfo info = rtf::FindKeyword(name, rtf::KwReader::Layout);

        if (info.kw == Kw::Bin) {
            std::size_t count = hasParam && param > 0 ? static_cast<std::size_t>(param) : 0;
            count = std::min(count, m_s.size() - end);
            if (!SkipFallback() && m_stack.back().dest == Dest::Pict)
                m_pict.bin.append(m_s.substr(end, count));
            return end + count;
        }
        if (SkipFallback())
            return end;

        Group& g = m_stack.back();
        if (g.star) {
            // After \* only a few destinations are read; the rest of the group is skipped.
            g.star = false;
            const Dest before = m_starDest;
            if (before == Dest::Skip)
                return end;
            switch (info.kw) {
            case Kw::Shppict:
                if (before == Dest::Body) {
                    g.dest = Dest::Body;
                    return end;
                }
                return end;
            case Kw::Ud:
                if (before == Dest::Upr)
                    g.dest = Dest::Body;
                return end;
            case Kw::Fldinst:
            case Kw::NestTableProps:
            case Kw::Footnote:
            case Kw::DefPap:
            case Kw::DefChp:
                g.dest = before;
                break; // read below
            default:
                return end;
            }
        }
        if (g.dest == Dest::Skip)
            return end;
        if (g.dest == Dest::FontTable) {
            FontTableWord(info, param);
            return end;
        }
        if (g.dest == Dest::Pict) {
            PictureWord(name, hasParam, param);
            return end;
        }
        if (g.dest == Dest::Object) {
            if (info.kw == Kw::Result)
                g.dest = Dest::Body;
            return end;
        }
        if (g.dest == Dest::Upr) {
            if (info.kw == Kw::Ud)
                g.dest = Dest::Body;
            return end;
        }
        if (g.dest == Dest::FieldInst)
            return end;
        if (g.dest == Dest::Defaults) {
            if (info.kw >= Kw::F && info.kw <= Kw::ParaBorder)
                BodyWord(g, info, hasParam, param);
            return end;
        }
        if (g.dest == Dest::TableProps) {
            TableWord(g, info, hasParam, param);
            if (info.kw == Kw::NestRow)
                EndRow(g, true);
            return end;
        }
        BodyWord(g, info, hasParam, param);
        return end;
    }

    void FontTableWord(const KwInfo& info, std::int32_t param)
    {
        switch (info.kw) {
        case Kw::F:
            m_fontNumber = param;
            break;
        case Kw::FontFamily:
            m_fontKinds[m_fontNumber] = static_cast<FontInfo::Kind>(info.arg);
            break;
        case Kw::Fcharset:
            if (param == 2)
                m_symbolFonts.push_back(m_fontNumber);
            break;
        default:
            break;
        }
    }

    void PictureWord(std::string_view name, bool hasParam, std::int32_t param)
    {
        if (name == "pngblip")
            m_pict.kind = PictureState::Kind::Png;
        else if (name == "jpegblip")
            m_pict.kind = PictureState::Kind::Jpeg;
        else if (name == "dibitmap")
            m_pict.kind = PictureState::Kind::Dib;
        else if (name == "wmetafile" || name == "emfblip" || name == "macpict" || name == "pmmetafile" ||
                 name == "wbitmap")
            m_pict.kind = PictureState::Kind::Unknown;
        else if (!hasParam)
            return;
        else if (name == "picw")
            m_pict.picw = std::clamp(param, 0, 1 << 20);
        else if (name == "pich")
            m_pict.pich = std::clamp(param, 0, 1 << 20);
        else if (name == "picwgoal")
            m_pict.goalw = std::clamp(param, 0, kMaxLength);
        else if (name == "pichgoal")
            m_pict.goalh = std::clamp(param, 0, kMaxLength);
        else if (name == "picscalex")
            m_pict.scalex = std::clamp(param, 1, 1000);
        else if (name == "picscaley")
            m_pict.scaley = std::clamp(param, 1, 1000);
    }

    void FinishPicture()
    {
        Group& g = m_stack.back();
        PictureState pict = std::move(m_pict);
        m_pict = {};
        if (pict.kind == PictureState::Kind::Unknown || g.ch.hidden ||
            g.flow >= static_cast<int>(m_flows.size()))
            return;
        std::string data = std::move(pict.bin);
        if (data.empty()) {
            data.reserve(pict.hex.size() / 2);
            for (std::size_t k = 0; k + 1 < pict.hex.size(); k += 2)
                data.push_back(static_cast<char>(HexValue(static_cast<unsigned char>(pict.hex[k])) * 16 +
                                                 HexValue(static_cast<unsigned char>(pict.hex[k + 1]))));
        }
        if (data.empty())
            return;
        if (pict.kind == PictureState::Kind::Dib)
            data = BmpFromDib(data);
        Picture picture;
        auto twips = [](std::int32_t goal, std::int32_t pixels, std::int32_t scale) -> std::int32_t {
            std::int64_t t = goal > 0 ? goal : std::int64_t{pixels} * 15;
            return static_cast<std::int32_t>(std::min<std::int64_t>(t * scale / 100, kMaxLength));
        };
        picture.width = twips(pict.goalw, pict.picw, pict.scalex);
        picture.height = twips(pict.goalh, pict.pich, pict.scaley);
        // The same picture many times over is decoded and stored once.
        auto [it, added] = m_pictureIndex.try_emplace(data, static_cast<int>(m_out.pictures.size()));
        int index = it->second;
        if (added || m_out.pictures[index].width != picture.width ||
            m_out.pictures[index].height != picture.height) {
            index = static_cast<int>(m_out.pictures.size());
            picture.data = std::move(data);
            m_out.pictures.push_back(std::move(picture));
        }
        Run run;
        run.kind = Run::Kind::Picture;
        run.format = g.ch;
        run.picture = index;
        m_flows[g.flow].pending.runs.push_back(std::move(run));
    }

    // A device-independent bitmap as a BMP file: the file header in front says where the pixels start.
    static std::string BmpFromDib(const std::string& dib)
    {
        auto u32 = [&](std::size_t at) -> std::uint32_t {
            if (at + 4 > dib.size())
                return 0;
            return static_cast<unsigned char>(dib[at]) | static_cast<unsigned char>(dib[at + 1]) << 8 |
                   static_cast<unsigned char>(dib[at + 2]) << 16 |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(dib[at + 3])) << 24;
        };
        const std::uint32_t headerSize = u32(0);
        std::uint32_t bits =
            dib.size() >= 16
                ? (static_cast<unsigned char>(dib[14]) | static_cast<unsigned char>(dib[15]) << 8)
                : 0;
        std::uint32_t colors = headerSize >= 36 ? u32(32) : 0;
        if (colors == 0 && bits <= 8)
            colors = 1u << bits;
        std::uint32_t masks = headerSize == 40 && u32(16) == 3 ? 12 : 0;
        std::uint64_t offset = 14ull + headerSize + std::min<std::uint32_t>(colors, 256) * 4ull + masks;
        std::uint64_t size = 14ull + dib.size();
        std::string bmp = "BM";
        for (std::uint64_t v : {size, std::uint64_t{0}, offset})
            for (int k = 0; k < 4; ++k)
                bmp.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
        bmp += dib;
        return bmp;
    }

    // ---- body ------------------------------------------------------------------------------

    int CodePage(const Group& g)
    {
        const std::int32_t font = g.ch.font < 0 ? m_tables.defaultFont : g.ch.font;
        if (font != m_codePageFont) {
            const rtf::Font* f = m_tables.FindFont(font);
            m_codePageFont = font;
            m_codePage = f && f->codePage ? f->codePage : m_tables.ansiCodePage;
            m_wingdings = f && f->name.find("Wingdings") != std::string::npos;
        }
        return m_codePage;
    }

    void TextByte(Group& g, unsigned char byte)
    {
        const int codePage = CodePage(g);
        if (m_leadByte != 0) {
            const unsigned char lead = m_leadByte;
            m_leadByte = 0;
            if (char32_t ch = DecodeDoubleByte(codePage, lead, byte)) {
                AppendChar(g, ch);
                return;
            }
            AppendChar(g, 0xFFFD);
        }
        if (IsLeadByte(codePage, byte)) {
            m_leadByte = byte;
            return;
        }
        if (codePage == 42) {
            AppendChar(g, SymbolCharacter(byte, m_wingdings));
            return;
        }
        AppendChar(g, byte >= 0x80 ? DecodeCodePageByte(codePage, byte) : char32_t(byte));
    }

    Block& Pending(const Group& g) { return m_flows[g.flow].pending; }

    Run& TextRun(const Group& g)
    {
        Block& p = Pending(g);
        // Page fields count only where there are pages to count: headers and footers.
        const bool pageField = g.field != FieldKind::None && g.flow > 0;
        const int field = pageField ? g.fieldNumber : 0;
        if (p.runs.empty() || p.runs.back().kind == Run::Kind::Picture || p.runs.back().field != field ||
            !(p.runs.back().format == g.ch)) {
            Run run;
            run.format = g.ch;
            if (pageField) {
                run.kind = g.field == FieldKind::Page ? Run::Kind::PageNumber : Run::Kind::PageCount;
                run.field = field;
            }
            p.runs.push_back(std::move(run));
        }
        return p.runs.back();
    }

    void AppendAscii(const Group& g, std::string_view text)
    {
        if (g.ch.hidden || text.empty())
            return;
        std::u16string& out = TextRun(g).text;
        for (const char c : text)
            out.push_back(static_cast<unsigned char>(c));
    }

    void AppendChar(const Group& g, char32_t ch)
    {
        if (g.ch.hidden)
            return;
        if (ch >= 0xF000 && ch <= 0xF0FF && CodePage(g) == 42)
            ch = SymbolCharacter(ch & 0xFF, m_wingdings);
        std::u16string& text = TextRun(g).text;
        if (ch >= 0x10000) {
            const char32_t v = ch - 0x10000;
            text.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(ch));
        }
    }

    int Level(const Group& g) const
    {
        if (g.itap >= 1)
            return std::min(g.itap, kMaxNesting);
        return g.intbl ? 1 : 0;
    }

    void AddToFlow(FlowState& f, Block block)
    {
        if (f.sectionPending) {
            f.sectionPending = false;
            f.breakNext = f.breakNext || m_sectionBreaksPage;
        }
        if (f.breakNext) {
            f.breakNext = false;
            if (block.table)
                block.table->pageBreakBefore = true;
            else
                block.para.pageBreakBefore = true;
        }
        f.target->push_back(std::move(block));
    }

    void CloseTable(FlowState& f)
    {
        const int level = static_cast<int>(f.tables.size());
        OpenTable t = std::move(f.tables.back());
        f.tables.pop_back();
        if (!t.cell.blocks.empty())
            t.row.cells.push_back(std::move(t.cell));
        if (!t.row.cells.empty())
            FinishRow(t, level);
        if (t.table.rows.empty())
            return;
        Block block;
        block.table = std::make_unique<Table>(std::move(t.table));
        if (f.tables.empty())
            AddToFlow(f, std::move(block));
        else
            f.tables.back().cell.blocks.push_back(std::move(block));
    }

    void OpenTables(FlowState& f, int level)
    {
        while (static_cast<int>(f.tables.size()) > level)
            CloseTable(f);
        while (static_cast<int>(f.tables.size()) < level)
            f.tables.emplace_back();
    }

    void Place(FlowState& f, Block block, int level)
    {
        OpenTables(f, level);
        if (level == 0) {
            AddToFlow(f, std::move(block));
            return;
        }
        // Table cells take no spacing from the document's default paragraph: writers give them a
        // table style without it.
        if (block.para.defaultSpacing) {
            block.para.before = block.para.after = block.para.lineSpacing = 0;
            block.para.lineMultiple = false;
        }
        OpenTable& t = f.tables.back();
        // A row stated before its cells keeps that statement, even when the row's end states
        // another (writers repeat it there, not always the same).
        if (!t.rowHasDef && t.row.cells.empty() && t.cell.blocks.empty() && m_rowDefFresh[level]) {
            t.row.def = SharedRowDef(level);
            t.rowHasDef = true;
            m_rowDefFresh[level] = false;
        }
        t.cell.blocks.push_back(std::move(block));
    }

    void FinishRow(OpenTable& t, int level)
    {
        if (!t.rowHasDef)
            t.row.def = SharedRowDef(level);
        t.table.rows.push_back(std::move(t.row));
        t.row = Row{};
        t.rowHasDef = false;
        m_rowDefFresh[level] = false;
    }

    Block TakePending(const Group& g)
    {
        Block block = std::move(Pending(g));
        Pending(g) = Block{};
        block.para = g.para;
        block.mark = g.ch;
        return block;
    }

    void EndParagraph(const Group& g)
    {
        m_leadByte = 0;
        FlowState& f = m_flows[g.flow];
        Place(f, TakePending(g), Level(g));
    }

    void EndCell(const Group& g, bool nested)
    {
        FlowState& f = m_flows[g.flow];
        const int level = std::max(Level(g), nested ? 2 : 1);
        Place(f, TakePending(g), level);
        OpenTable& t = f.tables.back();
        t.row.cells.push_back(std::move(t.cell));
        t.cell = Cell{};
    }

    void EndRow(const Group& g, bool nested)
    {
        FlowState& f = m_flows[g.flow];
        const int level = nested ? std::max(Level(g), 2) : 1;
        if (!Pending(g).runs.empty())
            EndCell(g, nested);
        OpenTables(f, level);
        OpenTable& t = f.tables.back();
        if (!t.cell.blocks.empty()) {
            t.row.cells.push_back(std::move(t.cell));
            t.cell = Cell{};
        }
        if (t.row.cells.empty())
            return;
        FinishRow(t, level);
    }

    void FinishFlow(const Group& g)
    {
        if (m_flows.empty() || g.flow >= static_cast<int>(m_flows.size()))
            return;
        FlowState& f = m_flows[g.flow];
        if (!f.pending.runs.empty())
            Place(f, TakePending(g), std::min(Level(g), static_cast<int>(f.tables.size())));
        while (!f.tables.empty())
            CloseTable(f);
    }

    // Rows share the statement they were made from; a change to it makes a new one.
    RowDef& CurrentRowDef()
    {
        m_rowDefShared[m_defLevel].reset();
        return m_rowDefs[m_defLevel];
    }

    std::shared_ptr<const RowDef> SharedRowDef(int level)
    {
        if (!m_rowDefShared[level])
            m_rowDefShared[level] = std::make_shared<const RowDef>(m_rowDefs[level]);
        return m_rowDefShared[level];
    }

    void TableWord(Group& g, const KwInfo& info, bool hasParam, std::int32_t param)
    {
        switch (info.kw) {
        case Kw::Trowd:
            m_defLevel = g.dest == Dest::TableProps ? std::max(Level(g), 2) : 1;
            CurrentRowDef() = RowDef{};
            m_rowDefFresh[m_defLevel] = true;
            m_cellDef = CellDef{};
            m_border = nullptr;
            break;
        case Kw::Trleft:
            CurrentRowDef().left = Length(param);
            break;
        case Kw::Trgaph:
            CurrentRowDef().gap = Length(param, 0);
            break;
        case Kw::Trrh:
            CurrentRowDef().height = std::abs(Length(param));
            break;
        case Kw::Trql:
            CurrentRowDef().align = RowDef::Align::Left;
            break;
        case Kw::Trqc:
            CurrentRowDef().align = RowDef::Align::Center;
            break;
        case Kw::Trqr:
            CurrentRowDef().align = RowDef::Align::Right;
            break;
        case Kw::Trhdr:
            CurrentRowDef().header = !hasParam || param != 0;
            break;
        case Kw::Trpadd:
            CurrentRowDef().padding[info.arg] = Length(param, 0);
            break;
        case Kw::RowBorder:
            m_border = &CurrentRowDef().borders[info.arg];
            *m_border = Border{};
            m_border->set = true;
            break;
        case Kw::CellBorder:
            m_border = &m_cellDef.borders[info.arg];
            *m_border = Border{};
            m_border->set = true;
            break;
        case Kw::ParaBorder:
            m_border = &m_ignoredBorder;
            break;
        case Kw::BorderStyle:
            m_rowDefShared[m_defLevel].reset(); // the border may be the row's
            if (m_border) {
                m_border->style = static_cast<Border::Style>(info.arg);
                if (m_border->width == 0 && m_border->style != Border::Style::None)
                    m_border->width = 10;
            }
            break;
        case Kw::Brdrw:
            m_rowDefShared[m_defLevel].reset();
            if (m_border)
                m_border->width = std::clamp(param, 0, 1440);
            break;
        case Kw::Brdrcf:
            m_rowDefShared[m_defLevel].reset();
            if (m_border)
                m_border->color = std::max(param, 0);
            break;
        case Kw::Cellx:
            if (CurrentRowDef().cells.size() < kMaxCellDefs) {
                m_cellDef.right = Length(param);
                CurrentRowDef().cells.push_back(m_cellDef);
            }
            m_cellDef = CellDef{};
            m_border = nullptr;
            break;
        case Kw::Clcbpat:
            m_cellDef.background = std::max(param, 0);
            break;
        case Kw::Clvertalt:
            m_cellDef.valign = CellDef::VAlign::Top;
            break;
        case Kw::Clvertalc:
            m_cellDef.valign = CellDef::VAlign::Middle;
            break;
        case Kw::Clvertalb:
            m_cellDef.valign = CellDef::VAlign::Bottom;
            break;
        case Kw::Clvmgf:
            m_cellDef.vmergeFirst = true;
            break;
        case Kw::Clvmrg:
            m_cellDef.vmerged = true;
            break;
        case Kw::Clmgf:
            m_cellDef.mergeFirst = true;
            break;
        case Kw::Clmrg:
            m_cellDef.merged = true;
            break;
        case Kw::Clpad:
            m_cellDef.padding[info.arg] = Length(param, 0);
            break;
        default:
            break;
        }
    }

    void BodyWord(Group& g, const KwInfo& info, bool hasParam, std::int32_t param)
    {
        const bool on = !hasParam || param != 0;
        switch (info.kw) {
        case Kw::None:
        case Kw::Bin:
        case Kw::Result:
        case Kw::Ud:
        case Kw::FontFamily:
        case Kw::Fcharset:
            break;
        case Kw::SkipDest:
        case Kw::Colortbl: // read by the engine, whose colours the layout takes
            g.dest = Dest::Skip;
            break;
        case Kw::Fonttbl:
            g.dest = Dest::FontTable;
            break;
        case Kw::Header:
            StartFlow(g, m_out.header.empty() ? &m_out.header : nullptr);
            break;
        case Kw::HeaderFirst:
            StartFlow(g, m_out.headerFirst.empty() ? &m_out.headerFirst : nullptr);
            break;
        case Kw::HeaderLeft:
            StartFlow(g, m_out.headerLeft.empty() ? &m_out.headerLeft : nullptr);
            break;
        case Kw::Footer:
            StartFlow(g, m_out.footer.empty() ? &m_out.footer : nullptr);
            break;
        case Kw::FooterFirst:
            StartFlow(g, m_out.footerFirst.empty() ? &m_out.footerFirst : nullptr);
            break;
        case Kw::FooterLeft:
            StartFlow(g, m_out.footerLeft.empty() ? &m_out.footerLeft : nullptr);
            break;
        case Kw::Footnote:
            ++m_footnoteCount;
            StartFlow(g, &m_out.footnotes);
            g.para = ParaFormat{};
            break;
        case Kw::Pict:
            if (!g.ownsPicture) {
                g.dest = Dest::Pict;
                g.ownsPicture = true;
                m_pict = PictureState{};
            } else {
                g.dest = Dest::Skip;
            }
            break;
        case Kw::Shppict:
            break; // its picture is read as any other
        case Kw::Object:
            g.dest = Dest::Object;
            break;
        case Kw::Field:
            g.isField = true;
            g.field = FieldKind::None;
            g.fieldNumber = 0;
            break;
        case Kw::Fldinst:
            g.dest = Dest::FieldInst;
            g.ownsFieldInst = true;
            m_fieldText.clear();
            break;
        case Kw::NestTableProps:
            g.dest = Dest::TableProps;
            break;
        case Kw::Upr:
            g.dest = Dest::Upr;
            break;
        case Kw::DefPap:
            g.dest = Dest::Defaults;
            g.para = ParaFormat{};
            g.ownsDefaults = 1;
            break;
        case Kw::DefChp:
            g.dest = Dest::Defaults;
            g.ch = CharFormat{};
            g.ownsDefaults = 2;
            break;

        case Kw::F:
            g.ch.font = std::max(param, 0);
            break;
        case Kw::Fs:
            g.ch.size = hasParam ? std::clamp(param, 2, kMaxFontSize) : 24;
            break;
        case Kw::B:
            g.ch.bold = on;
            break;
        case Kw::I:
            g.ch.italic = on;
            break;
        case Kw::Ul:
            g.ch.underline = on ? Underline::Single : Underline::None;
            break;
        case Kw::UlDotted:
            g.ch.underline = on ? Underline::Dotted : Underline::None;
            break;
        case Kw::UlDash:
            g.ch.underline = on ? Underline::Dash : Underline::None;
            break;
        case Kw::UlWave:
            g.ch.underline = on ? Underline::Wave : Underline::None;
            break;
        case Kw::UlDouble:
            g.ch.underline = on ? Underline::Double : Underline::None;
            break;
        case Kw::UlNone:
            g.ch.underline = Underline::None;
            break;
        case Kw::Strike:
            g.ch.strike = on;
            break;
        case Kw::Cf:
            g.ch.color = std::max(param, 0);
            break;
        case Kw::Cb:
        case Kw::Highlight:
            g.ch.background = std::max(param, 0);
            break;
        case Kw::V:
            g.ch.hidden = on;
            break;
        case Kw::Caps:
            g.ch.caps = on;
            break;
        case Kw::Scaps:
            g.ch.smallCaps = on;
            break;
        case Kw::Super:
            g.ch.script = on ? Script::Super : Script::Normal;
            break;
        case Kw::Sub:
            g.ch.script = on ? Script::Sub : Script::Normal;
            break;
        case Kw::NoSuperSub:
            g.ch.script = Script::Normal;
            break;
        case Kw::Up:
            g.ch.script = param != 0 || !hasParam ? Script::Super : Script::Normal;
            break;
        case Kw::Dn:
            g.ch.script = param != 0 || !hasParam ? Script::Sub : Script::Normal;
            break;
        case Kw::Plain:
            g.ch = m_defaultChar;
            break;

        case Kw::Pard:
            g.para = m_defaultPara;
            g.para.defaultSpacing = true;
            g.intbl = false;
            g.itap = -1;
            m_border = nullptr;
            break;
        case Kw::Ql:
            g.para.align = ParaFormat::Align::Left;
            break;
        case Kw::Qc:
            g.para.align = ParaFormat::Align::Center;
            break;
        case Kw::Qr:
            g.para.align = ParaFormat::Align::Right;
            break;
        case Kw::Qj:
            g.para.align = ParaFormat::Align::Justify;
            break;
        case Kw::Li:
            g.para.left = Length(param);
            break;
        case Kw::Ri:
            g.para.right = Length(param);
            break;
        case Kw::Fi:
            g.para.firstLine = Length(param);
            break;
        case Kw::Sb:
            g.para.before = Length(param, 0);
            g.para.defaultSpacing = false;
            break;
        case Kw::Sa:
            g.para.after = Length(param, 0);
            g.para.defaultSpacing = false;
            break;
        case Kw::Sl:
            g.para.lineSpacing = Length(param);
            g.para.defaultSpacing = false;
            break;
        case Kw::Slmult:
            g.para.lineMultiple = on;
            break;
        case Kw::Pagebb:
            g.para.pageBreakBefore = on;
            break;
        case Kw::Intbl:
            g.intbl = on;
            break;
        case Kw::Itap:
            g.itap = std::clamp(param, 0, kMaxNesting);
            break;
        case Kw::Tqr:
            m_tabKind = TabStop::Kind::Right;
            break;
        case Kw::Tqc:
            m_tabKind = TabStop::Kind::Center;
            break;
        case Kw::Tqdec:
            m_tabKind = TabStop::Kind::Decimal;
            break;
        case Kw::Tx:
            if (g.para.tabs.size() < kMaxTabs)
                g.para.tabs.push_back({Length(param, 0), m_tabKind});
            m_tabKind = TabStop::Kind::Left;
            break;
        case Kw::Cbpat:
            g.para.shading = std::max(param, 0);
            break;

        case Kw::Trowd:
        case Kw::Trleft:
        case Kw::Trgaph:
        case Kw::Trrh:
        case Kw::Trql:
        case Kw::Trqc:
        case Kw::Trqr:
        case Kw::Trhdr:
        case Kw::Trpadd:
        case Kw::RowBorder:
        case Kw::Cellx:
        case Kw::CellBorder:
        case Kw::Clcbpat:
        case Kw::Clvertalt:
        case Kw::Clvertalc:
        case Kw::Clvertalb:
        case Kw::Clvmgf:
        case Kw::Clvmrg:
        case Kw::Clmgf:
        case Kw::Clmrg:
        case Kw::Clpad:
        case Kw::BorderStyle:
        case Kw::Brdrw:
        case Kw::Brdrcf:
        case Kw::ParaBorder:
            TableWord(g, info, hasParam, param);
            break;

        case Kw::Paperw:
            m_out.page.width = std::clamp(param, 1440, kMaxLength);
            break;
        case Kw::Paperh:
            m_out.page.height = std::clamp(param, 1440, kMaxLength);
            break;
        case Kw::Margl:
            m_out.page.left = Length(param, 0);
            break;
        case Kw::Margr:
            m_out.page.right = Length(param, 0);
            break;
        case Kw::Margt:
            m_out.page.top = Length(param, 0);
            break;
        case Kw::Margb:
            m_out.page.bottom = Length(param, 0);
            break;
        case Kw::Landscape:
            m_landscape = true;
            break;
        case Kw::Headery:
            m_out.page.headerY = Length(param, 0);
            break;
        case Kw::Footery:
            m_out.page.footerY = Length(param, 0);
            break;
        case Kw::Titlepg:
            m_out.page.titlePage = on;
            break;
        case Kw::Facingp:
            m_out.page.facingPages = on;
            break;
        case Kw::Deftab:
            m_out.page.defaultTab = std::clamp(param, 15, kMaxLength);
            break;
        case Kw::Sect:
            if (g.flow == 0) {
                if (!Pending(g).runs.empty())
                    EndParagraph(g);
                m_flows[0].sectionPending = true;
            }
            break;
        case Kw::Sectd:
        case Kw::SbkPage:
            m_sectionBreaksPage = true;
            break;
        case Kw::SbkNone:
            m_sectionBreaksPage = false;
            break;
        case Kw::Page:
            if (Level(g) == 0) {
                if (!Pending(g).runs.empty())
                    EndParagraph(g);
                m_flows[g.flow].breakNext = true;
            }
            break;

        case Kw::Par:
            EndParagraph(g);
            break;
        case Kw::Line:
            AppendChar(g, 0x2028);
            break;
        case Kw::Tab:
            AppendChar(g, U'\t');
            break;
        case Kw::Cell:
            EndCell(g, false);
            break;
        case Kw::NestCell:
            EndCell(g, true);
            break;
        case Kw::Row:
            EndRow(g, false);
            break;
        case Kw::NestRow:
            EndRow(g, true);
            break;
        case Kw::Symbol:
            AppendChar(g, static_cast<char32_t>(info.arg));
            break;
        case Kw::Chftn: {
            const bool inNote = m_flows[g.flow].target == &m_out.footnotes;
            AppendAscii(g, std::to_string(inNote ? m_footnoteCount : m_footnoteCount + 1));
            break;
        }
        case Kw::Chpgn:
            if (g.flow > 0) {
                Group pageField = g;
                pageField.field = FieldKind::Page;
                pageField.fieldNumber = ++m_fieldCount;
                AppendAscii(pageField, "1");
            }
            break;
        case Kw::U: {
            if (g.dest == Dest::Body) {
                const char32_t unit = rtf::UnicodeUnit(param);
                if (!g.ch.hidden) {
                    if (unit >= 0xD800 && unit <= 0xDFFF)
                        TextRun(g).text.push_back(static_cast<char16_t>(unit));
                    else
                        AppendChar(g, unit);
                }
            }
            m_ucSkip = g.uc;
            break;
        }
        case Kw::Uc:
            g.uc = std::clamp(param, 0, rtf::kMaxUnicodeSkip);
            break;
        case Kw::Deff:
        case Kw::Rtf:
        case Kw::Ansicpg:
        case Kw::Mac:
        case Kw::Pc:
        case Kw::Pca:
        case Kw::Cpg:
        case Kw::Red:
        case Kw::Green:
        case Kw::Blue:
            break; // the engine's tables hold what these say
        }
    }

    void Fonts()
    {
        for (const rtf::Font& f : m_tables.fonts) {
            FontInfo info;
            std::string name = f.name;
            while (!name.empty() && (name.back() == ';' || name.back() == ' '))
                name.pop_back();
            info.family = std::move(name);
            if (auto k = m_fontKinds.find(f.number); k != m_fontKinds.end())
                info.kind = k->second;
            info.symbol =
                std::find(m_symbolFonts.begin(), m_symbolFonts.end(), f.number) != m_symbolFonts.end();
            m_out.fonts.emplace(f.number, std::move(info));
        }
    }

    std::string_view m_s;
    const rtf::Model& m_tables;
    RenderModel m_out;
    std::vector<Group> m_stack;
    std::size_t m_overflow = 0;
    std::vector<FlowState> m_flows;
    Flow m_scratch;
    int m_ucSkip = 0;
    unsigned char m_leadByte = 0;
    Dest m_starDest = Dest::Body;
    std::int32_t m_codePageFont = std::numeric_limits<std::int32_t>::min();
    int m_codePage = 1252;
    bool m_wingdings = false;

    std::vector<RowDef> m_rowDefs;
    std::vector<bool> m_rowDefFresh; // a \trowd since the last row ended, by level
    std::vector<std::shared_ptr<const RowDef>> m_rowDefShared;
    int m_defLevel = 1;
    CellDef m_cellDef;
    Border* m_border = nullptr;
    Border m_ignoredBorder;
    TabStop::Kind m_tabKind = TabStop::Kind::Left;
    ParaFormat m_defaultPara;
    CharFormat m_defaultChar;

    PictureState m_pict;
    std::unordered_map<std::string, int> m_pictureIndex;

    std::string m_fieldText;
    int m_fieldCount = 0;
    int m_footnoteCount = 0;
    bool m_sectionBreaksPage = true;
    bool m_landscape = false;

    std::int32_t m_fontNumber = 0;
    std::unordered_map<std::int32_t, FontInfo::Kind> m_fontKinds;
    std::vector<std::int32_t> m_symbolFonts;
};

} // namespace

RenderModel ReadLayout(std::string_view source, const rtf::Model& tables)
{
    return Reader(source, tables).Read();
}

} // namespace keld::render
