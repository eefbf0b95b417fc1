// SPDX-License-Identifier: GPL-3.0-or-later
// The layout's words, by kind: destinations, character and paragraph formats, the page, the
// breaks and characters of the text, table rows and cells, and the font table.

#include "report/LayoutReaderState.h"

namespace keld::render::layout {

using rtf::Kw;
using rtf::KwInfo;

void LayoutReader::BodyWord(Group& g, const KwInfo& info, bool hasParam, std::int32_t param)
{
    if (DestinationWord(g, info) || CharacterWord(g, info, hasParam, param) ||
        ParagraphWord(g, info, hasParam, param) || PageWord(g, info, hasParam, param) || BreakWord(g, info))
        return;
    if ((info.kw >= Kw::Trowd && info.kw <= Kw::Brdrcf) || info.kw == Kw::ParaBorder || info.kw == Kw::Brsp)
        TableWord(g, info, hasParam, param);
}

// Destinations: where the text that follows goes, or that it is not shown.
bool LayoutReader::DestinationWord(Group& g, const KwInfo& info)
{
    switch (info.kw) {
    case Kw::SkipDest:
    case Kw::Colortbl: // read by the engine, whose colours the layout takes
        HideGroup();
        return true;
    case Kw::Fonttbl:
        g.dest = Dest::FontTable;
        return true;
    case Kw::Header:
        StartFlow(g, m_out.header.empty() ? &m_out.header : nullptr);
        return true;
    case Kw::HeaderFirst:
        StartFlow(g, m_out.headerFirst.empty() ? &m_out.headerFirst : nullptr);
        return true;
    case Kw::HeaderLeft:
        StartFlow(g, m_out.headerLeft.empty() ? &m_out.headerLeft : nullptr);
        return true;
    case Kw::Footer:
        StartFlow(g, m_out.footer.empty() ? &m_out.footer : nullptr);
        return true;
    case Kw::FooterFirst:
        StartFlow(g, m_out.footerFirst.empty() ? &m_out.footerFirst : nullptr);
        return true;
    case Kw::FooterLeft:
        StartFlow(g, m_out.footerLeft.empty() ? &m_out.footerLeft : nullptr);
        return true;
    case Kw::Footnote:
        ++m_footnoteCount;
        m_out.footnoteStarts.push_back(m_out.footnotes.size());
        StartFlow(g, &m_out.footnotes);
        g.para = ParaFormat{};
        return true;
    case Kw::Pict:
        if (!g.ownsPicture) {
            g.dest = Dest::Pict;
            g.ownsPicture = true;
            m_pict = PictureState{};
        } else {
            HideGroup();
        }
        return true;
    case Kw::Shppict:
        return true; // its picture is read as any other
    case Kw::Shape:
        g.dest = Dest::Shape;
        g.inShape = true;
        m_shape = {};
        return true;
    case Kw::ShapeProperty:
        HideGroup(); // outside a shape's properties it means nothing
        return true;
    case Kw::Object:
        g.dest = Dest::Object;
        return true;
    case Kw::Field:
        g.isField = true;
        g.field = FieldKind::None;
        g.fieldNumber = 0;
        return true;
    case Kw::Fldinst:
        g.dest = Dest::FieldInst;
        g.ownsFieldInst = true;
        m_fieldText.clear();
        return true;
    case Kw::NestTableProps:
        g.dest = Dest::TableProps;
        return true;
    case Kw::Upr:
        g.dest = Dest::Upr;
        return true;
    case Kw::DefPap:
        g.dest = Dest::Defaults;
        g.para = ParaFormat{};
        g.ownsDefaults = 1;
        return true;
    case Kw::DefChp:
        g.dest = Dest::Defaults;
        g.ch = CharFormat{};
        g.ownsDefaults = 2;
        return true;
    default:
        return false;
    }
}

// Character formats.
bool LayoutReader::CharacterWord(Group& g, const KwInfo& info, bool hasParam, std::int32_t param)
{
    const bool on = !hasParam || param != 0;
    switch (info.kw) {
    case Kw::F:
        g.ch.font = std::max(param, 0);
        return true;
    case Kw::Fs:
        g.ch.size = hasParam ? std::clamp(param, 2, kMaxFontSize) : 24;
        return true;
    case Kw::B:
        g.ch.bold = on;
        return true;
    case Kw::I:
        g.ch.italic = on;
        return true;
    case Kw::Ul:
        g.ch.underline = on ? Underline::Single : Underline::None;
        return true;
    case Kw::UlDotted:
        g.ch.underline = on ? Underline::Dotted : Underline::None;
        return true;
    case Kw::UlDash:
        g.ch.underline = on ? Underline::Dash : Underline::None;
        return true;
    case Kw::UlWave:
        g.ch.underline = on ? Underline::Wave : Underline::None;
        return true;
    case Kw::UlDouble:
        g.ch.underline = on ? Underline::Double : Underline::None;
        return true;
    case Kw::UlNone:
        g.ch.underline = Underline::None;
        return true;
    case Kw::Strike:
        g.ch.strike = on;
        return true;
    case Kw::Cf:
        g.ch.color = std::max(param, 0);
        return true;
    case Kw::Cb:
    case Kw::Highlight:
        g.ch.background = std::max(param, 0);
        return true;
    case Kw::V:
        g.ch.hidden = on;
        return true;
    case Kw::Caps:
        g.ch.caps = on;
        return true;
    case Kw::Scaps:
        g.ch.smallCaps = on;
        return true;
    case Kw::Super:
        g.ch.script = on ? Script::Super : Script::Normal;
        return true;
    case Kw::Sub:
        g.ch.script = on ? Script::Sub : Script::Normal;
        return true;
    case Kw::NoSuperSub:
        g.ch.script = Script::Normal;
        return true;
    case Kw::Up:
        g.ch.script = param != 0 || !hasParam ? Script::Super : Script::Normal;
        return true;
    case Kw::Dn:
        g.ch.script = param != 0 || !hasParam ? Script::Sub : Script::Normal;
        return true;
    case Kw::Plain:
        g.ch = m_defaultChar;
        return true;
    default:
        return false;
    }
}

// Paragraph formats.
bool LayoutReader::ParagraphWord(Group& g, const KwInfo& info, bool hasParam, std::int32_t param)
{
    const bool on = !hasParam || param != 0;
    switch (info.kw) {
    case Kw::Pard:
        g.para = m_defaultPara;
        g.para.defaultSpacing = true;
        g.intbl = false;
        g.itap = -1;
        m_border = nullptr;
        m_paraBorders = 0;
        return true;
    case Kw::Ql:
        g.para.align = ParaFormat::Align::Left;
        return true;
    case Kw::Qc:
        g.para.align = ParaFormat::Align::Center;
        return true;
    case Kw::Qr:
        g.para.align = ParaFormat::Align::Right;
        return true;
    case Kw::Qj:
        g.para.align = ParaFormat::Align::Justify;
        return true;
    case Kw::Li:
        g.para.left = Length(param);
        return true;
    case Kw::Ri:
        g.para.right = Length(param);
        return true;
    case Kw::Fi:
        g.para.firstLine = Length(param);
        return true;
    case Kw::Sb:
        g.para.before = Length(param, 0);
        g.para.defaultSpacing = false;
        return true;
    case Kw::Sa:
        g.para.after = Length(param, 0);
        g.para.defaultSpacing = false;
        return true;
    case Kw::Sl:
        g.para.lineSpacing = Length(param);
        g.para.defaultSpacing = false;
        return true;
    case Kw::Slmult:
        g.para.lineMultiple = on;
        return true;
    case Kw::Pagebb:
        g.para.pageBreakBefore = on;
        return true;
    case Kw::Intbl:
        g.intbl = on;
        return true;
    case Kw::Itap:
        g.itap = std::clamp(param, 0, kMaxNesting);
        return true;
    case Kw::Tqr:
        m_tabKind = TabStop::Kind::Right;
        return true;
    case Kw::Tqc:
        m_tabKind = TabStop::Kind::Center;
        return true;
    case Kw::Tqdec:
        m_tabKind = TabStop::Kind::Decimal;
        return true;
    case Kw::Tx:
        if (g.para.tabs.size() < kMaxTabs)
            g.para.tabs.push_back({Length(param, 0), m_tabKind});
        m_tabKind = TabStop::Kind::Left;
        return true;
    case Kw::Cbpat:
        g.para.shading = std::max(param, 0);
        return true;
    case Kw::Keepn:
        g.para.keepNext = on;
        return true;
    default:
        return false;
    }
}

// The page and its sections.
bool LayoutReader::PageWord(Group& g, const KwInfo& info, bool hasParam, std::int32_t param)
{
    const bool on = !hasParam || param != 0;
    switch (info.kw) {
    case Kw::Paperw:
        m_out.page.width = std::clamp(param, kTwipsPerInch, kMaxLength);
        return true;
    case Kw::Paperh:
        m_out.page.height = std::clamp(param, kTwipsPerInch, kMaxLength);
        return true;
    case Kw::Margl:
        m_out.page.left = Length(param, 0);
        return true;
    case Kw::Margr:
        m_out.page.right = Length(param, 0);
        return true;
    case Kw::Margt:
        m_out.page.top = Length(param, 0);
        return true;
    case Kw::Margb:
        m_out.page.bottom = Length(param, 0);
        return true;
    case Kw::Landscape:
        m_landscape = true;
        return true;
    case Kw::Headery:
        m_out.page.headerY = Length(param, 0);
        return true;
    case Kw::Footery:
        m_out.page.footerY = Length(param, 0);
        return true;
    case Kw::Titlepg:
        m_out.page.titlePage = on;
        return true;
    case Kw::Facingp:
        m_out.page.facingPages = on;
        return true;
    case Kw::Deftab:
        m_out.page.defaultTab = std::clamp(param, 15, kMaxLength);
        return true;
    case Kw::Sect:
        if (g.flow == 0) {
            if (!Pending(g).runs.empty())
                EndParagraph(g);
            m_flows[0].sectionPending = true;
        }
        return true;
    case Kw::Sectd:
    case Kw::SbkPage:
        m_sectionBreaksPage = true;
        return true;
    case Kw::SbkNone:
        m_sectionBreaksPage = false;
        return true;
    case Kw::Page:
        if (Level(g) == 0) {
            if (!Pending(g).runs.empty())
                EndParagraph(g);
            m_flows[g.flow].breakNext = true;
        }
        return true;
    default:
        return false;
    }
}

// Breaks and characters of the text.
bool LayoutReader::BreakWord(Group& g, const KwInfo& info)
{
    switch (info.kw) {
    case Kw::Par:
        EndParagraph(g);
        return true;
    case Kw::Line:
        AppendChar(g, 0x2028);
        return true;
    case Kw::Tab:
        AppendChar(g, U'\t');
        return true;
    case Kw::Cell:
        EndCell(g, false);
        return true;
    case Kw::NestCell:
        EndCell(g, true);
        return true;
    case Kw::Row:
        EndRow(g, false);
        return true;
    case Kw::NestRow:
        EndRow(g, true);
        return true;
    case Kw::Symbol:
        AppendChar(g, static_cast<char32_t>(info.arg));
        return true;
    case Kw::Chftn: {
        const bool inNote = m_flows[g.flow].target == &m_out.footnotes;
        Group mark = g;
        mark.mark = true;
        AppendAscii(mark, std::to_string(inNote ? m_footnoteCount : m_footnoteCount + 1));
        if (!inNote && !g.ch.hidden)
            TextRun(mark).footnote = m_footnoteCount + 1;
        return true;
    }
    case Kw::Chpgn:
        if (g.flow > 0) {
            Group pageField = g;
            pageField.field = FieldKind::Page;
            pageField.fieldNumber = ++m_fieldCount;
            AppendAscii(pageField, "1");
        }
        return true;
    default:
        return false;
    }
}

void LayoutReader::TableWord(Group& g, const KwInfo& info, bool hasParam, std::int32_t param)
{
    switch (info.kw) {
    case Kw::Trowd:
        m_defLevel = g.dest == Dest::TableProps ? std::max(Level(g), 2) : 1;
        CurrentRowDef() = RowDef{};
        m_rowDefFresh[m_defLevel] = true;
        m_cellDef = CellDef{};
        m_border = nullptr;
        m_paraBorders = 0;
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
        m_paraBorders = 0;
        *m_border = Border{};
        m_border->set = true;
        break;
    case Kw::CellBorder:
        m_border = &m_cellDef.borders[info.arg];
        m_paraBorders = 0;
        *m_border = Border{};
        m_border->set = true;
        break;
    case Kw::ParaBorder:
        // The paragraph's borders live in its group, which may move: they are found by side
        // when their words come.
        m_border = &m_ignoredBorder;
        m_paraBorders = info.arg == 4 ? 0xF : info.arg < 4 ? 1u << info.arg : 0;
        for (int side = 0; side < 4; ++side) {
            if (m_paraBorders & (1u << side)) {
                g.para.borders[side] = Border{};
                g.para.borders[side].set = true;
            }
        }
        break;
    case Kw::Brsp:
        ParaBorders(g, [&](Border& b) { b.space = std::clamp(param, 0, kTwipsPerInch); });
        break;
    case Kw::BorderStyle:
        m_rowDefShared[m_defLevel].reset(); // the border may be the row's
        ParaBorders(g, [&](Border& b) {
            b.style = static_cast<Border::Style>(info.arg);
            if (b.width == 0 && b.style != Border::Style::None)
                b.width = 10;
        });
        if (m_border) {
            m_border->style = static_cast<Border::Style>(info.arg);
            if (m_border->width == 0 && m_border->style != Border::Style::None)
                m_border->width = 10;
        }
        break;
    case Kw::Brdrw:
        m_rowDefShared[m_defLevel].reset();
        if (m_border)
            m_border->width = std::clamp(param, 0, kTwipsPerInch);
        ParaBorders(g, [&](Border& b) { b.width = std::clamp(param, 0, kTwipsPerInch); });
        break;
    case Kw::Brdrcf:
        m_rowDefShared[m_defLevel].reset();
        if (m_border)
            m_border->color = std::max(param, 0);
        ParaBorders(g, [&](Border& b) { b.color = std::max(param, 0); });
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

void LayoutReader::FontTableWord(const KwInfo& info, std::int32_t param)
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

} // namespace keld::render::layout
