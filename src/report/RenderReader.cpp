// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/RenderReader.h"

#include "report/LayoutReaderState.h"
#include "report/RtfText.h"

namespace keld::render {

namespace layout {

using rtf::HexValue;
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

LayoutReader::LayoutReader(std::string_view source, const rtf::Model& tables)
    : GroupReader(source, rtf::KwReader::Layout), m_tables(tables)
{
    m_rowDefs.resize(kMaxNesting + 1);
    m_rowDefFresh.resize(kMaxNesting + 1);
    m_rowDefShared.resize(kMaxNesting + 1);
    m_out.defaultFont = tables.defaultFont;
    m_out.colors = tables.colors;
}

RenderModel LayoutReader::Read()
{
    m_flows.emplace_back().target = &m_out.body;
    ReadAll();
    // A truncated source: close what it left open, keeping the text read so far, and say so,
    // as the report may lack all that followed.
    if (!m_stack.empty() || !CleanEnd())
        m_out.notes.push_back("The template ends before its groups close: it seems cut short, and the report "
                              "shows only what it holds.");
    while (!m_stack.empty())
        CloseGroup();
    if (m_landscape && m_out.page.width < m_out.page.height)
        std::swap(m_out.page.width, m_out.page.height);
    FitMargins();
    Fonts();
    return std::move(m_out);
}

// Margins that leave less than an inch of text each way are narrowed in proportion: a text
// area of nothing would put a letter on each page.
void LayoutReader::FitMargins()
{
    PageSetup& p = m_out.page;
    p.width = std::max(p.width, 2 * kMinTextArea);
    p.height = std::max(p.height, 2 * kMinTextArea);
    bool narrowed = false;
    auto fit = [&](std::int32_t paper, std::int32_t& a, std::int32_t& b) {
        a = std::max(a, 0);
        b = std::max(b, 0);
        const std::int64_t room = paper - kMinTextArea;
        if (std::int64_t(a) + b <= room)
            return;
        const std::int64_t sum = std::int64_t(a) + b;
        a = static_cast<std::int32_t>(room * a / sum);
        b = static_cast<std::int32_t>(room - a);
        narrowed = true;
    };
    fit(p.width, p.left, p.right);
    fit(p.height, p.top, p.bottom);
    if (narrowed)
        m_out.notes.push_back("The margins were narrowed: they left less than an inch for the text.");
}

// ---- groups ------------------------------------------------------------------------------------

void LayoutReader::GroupOpened(std::size_t)
{
    if (m_stack.empty()) {
        m_stack.emplace_back();
        return;
    }
    Group g = m_stack.back();
    g.isField = false;
    g.ownsFlow = false;
    g.ownsPicture = false;
    g.ownsFieldInst = false;
    g.ownsDefaults = 0;
    m_stack.push_back(std::move(g));
}

void LayoutReader::GroupClosing(std::size_t)
{
    CloseGroup();
}

void LayoutReader::CloseGroup()
{
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

FieldKind LayoutReader::FieldInstructionKind() const
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
void LayoutReader::StartFlow(Group& g, Flow* target)
{
    if (m_flows.size() >= kMaxNesting) {
        HideGroup();
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

// ---- tokens ------------------------------------------------------------------------------------

rtf::TextMode LayoutReader::Mode()
{
    const Group& g = m_stack.back();
    switch (g.dest) {
    case Dest::Body:
        return g.ch.hidden ? rtf::TextMode::Ignored : rtf::TextMode::Shown;
    case Dest::Pict:
    case Dest::FieldInst:
    case Dest::ShapeName:
        return rtf::TextMode::Raw;
    default:
        return rtf::TextMode::Ignored;
    }
}

void LayoutReader::PlainText(std::string_view text, std::size_t)
{
    const Group& g = m_stack.back();
    if (CodePage(g) != 42) {
        AppendAscii(g, text);
        return;
    }
    for (const char c : text)
        AppendChar(g, SymbolCharacter(static_cast<unsigned char>(c), m_wingdings));
}

void LayoutReader::Character(char32_t ch, std::size_t, std::size_t, int codeByte)
{
    const Group& g = m_stack.back();
    // A symbol font's bytes are glyph numbers: show the character each draws.
    if (codeByte >= 0 && CodePage(g) == 42)
        ch = SymbolCharacter(static_cast<unsigned>(codeByte), m_wingdings);
    AppendChar(g, ch);
}

void LayoutReader::RawText(std::string_view text, std::size_t)
{
    if (m_stack.back().dest == Dest::Pict) {
        for (const char c : text) {
            if (HexValue(static_cast<unsigned char>(c)) >= 0)
                m_pict.hex.push_back(c);
        }
        return;
    }
    if (m_stack.back().dest == Dest::ShapeName) {
        for (const char c : text) {
            if (c != ' ' && m_shapeName.size() < kMaxFieldInstruction)
                m_shapeName.push_back(c);
        }
        return;
    }
    for (const char c : text) {
        if (m_fieldText.size() >= kMaxFieldInstruction)
            break;
        m_fieldText.push_back(c);
    }
}

void LayoutReader::RawByte(unsigned char byte, std::size_t, std::size_t)
{
    if (m_stack.back().dest == Dest::FieldInst && m_fieldText.size() < kMaxFieldInstruction)
        m_fieldText.push_back(static_cast<char>(byte));
}

void LayoutReader::Binary(std::string_view data)
{
    if (m_stack.back().dest == Dest::Pict)
        m_pict.bin.append(data);
}

void LayoutReader::Symbol(char symbol, std::size_t, std::size_t)
{
    Group& g = m_stack.back();
    switch (symbol) {
    case '\\':
    case '{':
    case '}':
        if (g.dest == Dest::Body)
            AppendChar(g, static_cast<unsigned char>(symbol));
        else if (g.dest == Dest::FieldInst && m_fieldText.size() < kMaxFieldInstruction)
            m_fieldText.push_back(symbol);
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
    default:
        break; // \- and the other symbols show nothing
    }
}

void LayoutReader::Unicode(char32_t unit, std::size_t, std::size_t)
{
    const Group& g = m_stack.back();
    if (g.dest != Dest::Body || g.ch.hidden)
        return;
    if (unit >= 0xD800 && unit <= 0xDFFF)
        TextRun(g).text.push_back(static_cast<char16_t>(unit));
    else
        AppendChar(g, unit);
}

void LayoutReader::Word(const rtf::WordToken& word, const rtf::KwLookup& found, std::size_t)
{
    const KwInfo& info = found.info;
    const bool hasParam = word.hasParam;
    const std::int32_t param = word.param;
    Group& g = m_stack.back();
    if (found.listMark)
        g.mark = true; // shown as the writer drew it
    switch (g.dest) {
    case Dest::FontTable:
        FontTableWord(info, param);
        return;
    case Dest::Pict:
        PictureWord(word.name, hasParam, param);
        return;
    case Dest::Object:
        if (info.kw == Kw::Result)
            g.dest = Dest::Body;
        return;
    case Dest::Upr:
        if (info.kw == Kw::Ud)
            g.dest = Dest::Body;
        return;
    case Dest::FieldInst:
        return;
    case Dest::Shape:
    case Dest::ShapeName:
    case Dest::ShapeValue:
        ShapeWord(g, info, word.name, hasParam, param);
        return;
    case Dest::Defaults:
        if (info.kw >= Kw::F && info.kw <= Kw::ParaBorder)
            BodyWord(g, info, hasParam, param);
        return;
    case Dest::TableProps:
        TableWord(g, info, hasParam, param);
        if (info.kw == Kw::NestRow)
            EndRow(g, true);
        return;
    case Dest::Body:
        BodyWord(g, info, hasParam, param);
        return;
    }
}

int LayoutReader::CodePage(const Group& g)
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

void LayoutReader::Fonts()
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

} // namespace layout

RenderModel ReadLayout(std::string_view source, const rtf::Model& tables)
{
    return layout::LayoutReader(source, tables).Read();
}

} // namespace keld::render
