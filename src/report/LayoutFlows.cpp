// Paragraphs, tables, rows and cells: where the read text goes in the flows of the layout.

#include "report/LayoutReaderState.h"

namespace keld::render::layout {

using rtf::Kw;

Run& LayoutReader::TextRun(const Group& g)
{
    Block& p = Pending(g);
    // Page fields count only where there are pages to count: headers and footers.
    const bool pageField = g.field != FieldKind::None && g.flow > 0;
    const int field = pageField ? g.fieldNumber : 0;
    if (p.runs.empty() || p.runs.back().kind == Run::Kind::Picture || p.runs.back().field != field ||
        p.runs.back().footnote != 0 ||
        p.runs.back().mark != g.mark || !(p.runs.back().format == g.ch)) {
        Run run;
        run.format = g.ch;
        run.mark = g.mark;
        if (pageField) {
            run.kind = g.field == FieldKind::Page ? Run::Kind::PageNumber : Run::Kind::PageCount;
            run.field = field;
        }
        p.runs.push_back(std::move(run));
    }
    return p.runs.back();
}

void LayoutReader::AppendAscii(const Group& g, std::string_view text)
{
    if (g.ch.hidden || text.empty())
        return;
    std::u16string& out = TextRun(g).text;
    for (const char c : text)
        out.push_back(static_cast<unsigned char>(c));
}

void LayoutReader::AppendChar(const Group& g, char32_t ch)
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

int LayoutReader::Level(const Group& g) const
{
    if (g.itap >= 1)
        return std::min(g.itap, kMaxNesting);
    return g.intbl ? 1 : 0;
}

void LayoutReader::AddToFlow(FlowState& f, Block block)
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

void LayoutReader::CloseTable(FlowState& f)
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

void LayoutReader::OpenTables(FlowState& f, int level)
{
    while (static_cast<int>(f.tables.size()) > level)
        CloseTable(f);
    while (static_cast<int>(f.tables.size()) < level)
        f.tables.emplace_back();
}

void LayoutReader::Place(FlowState& f, Block block, int level)
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

void LayoutReader::FinishRow(OpenTable& t, int level)
{
    if (!t.rowHasDef)
        t.row.def = SharedRowDef(level);
    t.table.rows.push_back(std::move(t.row));
    t.row = Row{};
    t.rowHasDef = false;
    m_rowDefFresh[level] = false;
}

Block LayoutReader::TakePending(const Group& g)
{
    Block block = std::move(Pending(g));
    Pending(g) = Block{};
    block.para = g.para;
    block.mark = g.ch;
    return block;
}

void LayoutReader::EndParagraph(const Group& g)
{
    FlowState& f = m_flows[g.flow];
    Place(f, TakePending(g), Level(g));
}

void LayoutReader::EndCell(const Group& g, bool nested)
{
    FlowState& f = m_flows[g.flow];
    const int level = std::max(Level(g), nested ? 2 : 1);
    Place(f, TakePending(g), level);
    OpenTable& t = f.tables.back();
    t.row.cells.push_back(std::move(t.cell));
    t.cell = Cell{};
}

void LayoutReader::EndRow(const Group& g, bool nested)
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

void LayoutReader::FinishFlow(const Group& g)
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
RowDef& LayoutReader::CurrentRowDef()
{
    m_rowDefShared[m_defLevel].reset();
    return m_rowDefs[m_defLevel];
}

std::shared_ptr<const RowDef> LayoutReader::SharedRowDef(int level)
{
    if (!m_rowDefShared[level])
        m_rowDefShared[level] = std::make_shared<const RowDef>(m_rowDefs[level]);
    return m_rowDefShared[level];
}

} // namespace keld::render::layout
