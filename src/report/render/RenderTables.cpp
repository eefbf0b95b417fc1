// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/render/RenderBuilderShared.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include <algorithm>
#include <cmath>

// Tables: the column grid of a table's rows, merged cells, borders, padding and row heights.

namespace keld::render {

// The space above a cell's first paragraph and below its last one.
std::pair<double, double> Builder::CellSpace(const std::vector<const Cell*>& content) const
{
    double top = 0, bottom = 0;
    if (!content.empty() && !content.front()->blocks.empty() && !content.front()->blocks.front().table)
        top = Px(content.front()->blocks.front().para.before);
    if (!content.empty() && !content.back()->blocks.empty() && !content.back()->blocks.back().table)
        bottom = Px(content.back()->blocks.back().para.after);
    return {std::min(top, m_bodyHeight / 4), std::min(bottom, m_bodyHeight / 4)};
}

Builder::Grid Builder::LayoutGrid(const Table& table) const
{
    static const CellDef kNoDef;
    // Every edge of every row, close ones taken as one, makes the column grid.
    std::vector<std::int32_t> edges;
    auto rowEdges = [](const Row& row) {
        std::vector<std::int32_t> e{row.Def().left};
        const std::size_t count = std::max(row.cells.size(), row.Def().cells.size());
        for (std::size_t k = 0; k < count; ++k) {
            std::int32_t right =
                k < row.Def().cells.size() ? row.Def().cells[k].right : e.back() + kTwipsPerInch;
            e.push_back(std::max(right, e.back()));
        }
        return e;
    };
    std::vector<std::vector<std::int32_t>> perRow;
    for (const Row& row : table.rows) {
        perRow.push_back(rowEdges(row));
        edges.insert(edges.end(), perRow.back().begin(), perRow.back().end());
    }
    std::sort(edges.begin(), edges.end());
    std::vector<std::int32_t> grid;
    for (std::int32_t e : edges) {
        if (grid.empty() || e - grid.back() > 20)
            grid.push_back(e);
    }
    if (grid.size() > kMaxColumns + 1)
        grid.resize(kMaxColumns + 1);
    auto column = [&](std::int32_t x) {
        auto it = std::upper_bound(grid.begin(), grid.end(), x + 20);
        return static_cast<int>(std::max<std::ptrdiff_t>(it - grid.begin() - 1, 0));
    };

    Grid out;
    int columns = std::max<int>(static_cast<int>(grid.size()) - 1, 1);
    std::vector<int> above; // per column: the placed cell a vertical merge continues, -1 none
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        const Row& row = table.rows[r];
        const auto& e = perRow[r];
        const std::size_t count = e.size() - 1;
        int cursor = 0;
        int previous = -1;
        std::vector<int> next(static_cast<std::size_t>(columns), -1);
        for (std::size_t k = 0; k < count; ++k) {
            const CellDef* def = k < row.Def().cells.size() ? &row.Def().cells[k] : &kNoDef;
            const Cell* content = k < row.cells.size() ? &row.cells[k] : nullptr;
            int start = std::max(column(e[k]), cursor);
            int end = std::max(column(e[k + 1]), start + 1);
            if (end > kMaxColumns)
                end = start + 1;
            cursor = end;
            if (def->merged && previous >= 0) {
                Placed& p = out.cells[previous];
                p.cols = end - p.col;
                if (content && HasText(*content))
                    p.content.push_back(content);
                p.lastInRow = k + 1 == count;
                continue;
            }
            Placed p;
            p.row = static_cast<int>(r);
            p.col = start;
            p.cols = end - start;
            p.def = def;
            p.rowDef = &row.Def();
            p.firstInRow = k == 0;
            p.lastInRow = k + 1 == count;
            if (content)
                p.content.push_back(content);
            columns = std::max(columns, end);
            if (def->vmerged && start < static_cast<int>(above.size()) && above[start] >= 0) {
                Placed& top = out.cells[above[start]];
                if (top.col == start && top.cols == end - start && top.row + top.rows == p.row) {
                    ++top.rows;
                    if (content && HasText(*content))
                        top.content.push_back(content);
                    next.resize(static_cast<std::size_t>(columns), -1);
                    next[start] = above[start];
                    continue;
                }
            }
            out.cells.push_back(std::move(p));
            previous = static_cast<int>(out.cells.size() - 1);
            if (def->vmergeFirst) {
                next.resize(static_cast<std::size_t>(columns), -1);
                next[start] = previous;
            }
        }
        above = std::move(next);
        above.resize(static_cast<std::size_t>(columns), -1);
    }
    for (int c = 0; c < columns; ++c) {
        const double w =
            c + 1 < static_cast<int>(grid.size()) ? Px(grid[c + 1] - grid[c]) : Px(kTwipsPerInch);
        out.widths.push_back(std::max(w, 1.0));
    }
    out.left = grid.empty() ? 0 : Px(grid.front());
    return out;
}

bool Builder::HasTable(const std::vector<const Cell*>& content)
{
    for (const Cell* cell : content) {
        for (const Block& b : cell->blocks) {
            if (b.table)
                return true;
        }
    }
    return false;
}

bool Builder::HasText(const Cell& cell)
{
    for (const Block& b : cell.blocks) {
        if (b.table || !b.runs.empty())
            return true;
    }
    return false;
}

QTextFrameFormat::BorderStyle Builder::BorderStyleOf(Border::Style style) const
{
    switch (style) {
    case Border::Style::Double:
        return QTextFrameFormat::BorderStyle_Double;
    case Border::Style::Dotted:
        return QTextFrameFormat::BorderStyle_Dotted;
    case Border::Style::Dashed:
        return QTextFrameFormat::BorderStyle_Dashed;
    case Border::Style::None:
        return QTextFrameFormat::BorderStyle_None;
    default:
        return QTextFrameFormat::BorderStyle_Solid;
    }
}

double Builder::BorderWidth(const Border& b) const
{
    // Hairlines are kept visible on screen, where thinner ones fade out: three quarters of a
    // pixel at the screen's usual 96 dpi.
    return Shown(b) ? std::max(Px(b.width), 0.75 * m_dpi / 96) : 0.0;
}

void Builder::SetBorder(QTextTableCellFormat& f, int side, const Border& b) const
{
    if (!Shown(b))
        return;
    const double width = BorderWidth(b);
    const QBrush brush(Color(b.color).value_or(Qt::black));
    const auto style = BorderStyleOf(b.style);
    switch (side) {
    case kTop:
        f.setTopBorder(width);
        f.setTopBorderStyle(style);
        f.setTopBorderBrush(brush);
        break;
    case kLeft:
        f.setLeftBorder(width);
        f.setLeftBorderStyle(style);
        f.setLeftBorderBrush(brush);
        break;
    case kBottom:
        f.setBottomBorder(width);
        f.setBottomBorderStyle(style);
        f.setBottomBorderBrush(brush);
        break;
    default:
        f.setRightBorder(width);
        f.setRightBorderStyle(style);
        f.setRightBorderBrush(brush);
        break;
    }
}

double Builder::Padding(const Placed& p, int side) const
{
    if (p.def->padding[side] >= 0)
        return Px(p.def->padding[side]);
    if (p.rowDef->padding[side] >= 0)
        return Px(p.rowDef->padding[side]);
    return side == kLeft || side == kRight ? Px(p.rowDef->gap) : 0.0;
}

bool Builder::Shown(const Border& b)
{
    return b.style != Border::Style::None && b.width > 0;
}

// A cell's own borders; the row's outer and inner borders stand in for missing ones.
std::array<Border, 4> Builder::BordersOf(const Placed& p, int rowCount)
{
    const RowDef& row = *p.rowDef;
    const bool firstRow = p.row == 0, lastRow = p.row + p.rows >= rowCount;
    auto pick = [&](int side, int rowBorder) {
        return p.def->borders[side].set ? p.def->borders[side] : row.borders[rowBorder];
    };
    std::array<Border, 4> b;
    b[kTop] = pick(kTop, firstRow ? 0 : 4);
    b[kLeft] = pick(kLeft, p.firstInRow ? 1 : 5);
    b[kBottom] = pick(kBottom, lastRow ? 2 : 4);
    b[kRight] = pick(kRight, p.lastInRow ? 3 : 5);
    return b;
}

// `borders` are the cell's borders as drawn: an edge two cells share is drawn by one of them,
// since Qt would draw both side by side.
QTextTableCellFormat Builder::CellFormatOf(const Placed& p, const std::array<Border, 4>& borders,
                                           const std::array<double, 4>& padding) const
{
    QTextTableCellFormat f;
    for (int side : {kTop, kLeft, kBottom, kRight})
        SetBorder(f, side, borders[side]);
    f.setTopPadding(padding[kTop]);
    f.setLeftPadding(padding[kLeft]);
    f.setBottomPadding(padding[kBottom]);
    f.setRightPadding(padding[kRight]);
    if (auto c = Color(p.def->background))
        f.setBackground(*c);
    switch (p.def->valign) {
    case CellDef::VAlign::Top:
        f.setVerticalAlignment(QTextCharFormat::AlignTop);
        break;
    case CellDef::VAlign::Middle:
        f.setVerticalAlignment(QTextCharFormat::AlignMiddle);
        break;
    case CellDef::VAlign::Bottom:
        f.setVerticalAlignment(QTextCharFormat::AlignBottom);
        break;
    }
    return f;
}

// The height a cell's paragraphs take, reckoned line by line without laying them out; a
// wrapped line is missed, which only matters where it would not reach the row height.
double Builder::EstimateHeight(const std::vector<const Cell*>& cells)
{
    double total = 0;
    const Block* previous = nullptr;
    for (const Cell* cell : cells) {
        for (const Block& block : cell->blocks) {
            if (block.table)
                return 1e9;
            if (previous)
                total += Px(previous->para.after + block.para.before);
            previous = &block;
            double line = LineHeight(block.mark);
            int lines = 1;
            for (const Run& run : block.runs) {
                if (run.kind == Run::Kind::Picture && run.picture >= 0 &&
                    run.picture < static_cast<int>(m_images.size()) && !m_images[run.picture].isNull())
                    line = std::max(
                        line, PictureSize(m_model.pictures[run.picture], m_images[run.picture]).height());
                else if (run.kind != Run::Kind::Picture)
                    line = std::max(line, LineHeight(run.format));
                lines += static_cast<int>(std::count(run.text.begin(), run.text.end(), u'\u2028'));
            }
            const ParaFormat& p = block.para;
            if (p.lineSpacing < 0)
                line = Px(-p.lineSpacing);
            else if (p.lineSpacing > 0 && p.lineMultiple)
                line *= p.lineSpacing / 240.0;
            else if (p.lineSpacing > 0)
                line = std::max(line, Px(p.lineSpacing));
            total += line * lines;
        }
    }
    return total;
}

double Builder::LineHeight(const CharFormat& f)
{
    auto it = m_lineHeights.find(f);
    if (it != m_lineHeights.end())
        return it->second;
    QFont font = CharFormatOf(f).font();
    const double h = std::ceil(QFontMetricsF(font).height()); // lines are laid out on whole pixels
    m_lineHeights.emplace(f, h);
    return h;
}

void Builder::EmitTable(QTextCursor& cursor, const Table& table, bool& fresh, bool nested, double above,
                        double below)
{
    // Past a budget of cells a table's cells follow one another as paragraphs: the text stays.
    auto flatten = [&] {
        for (const Row& row : table.rows) {
            for (const Cell& cell : row.cells)
                EmitFlow(cursor, cell.blocks, fresh, nested);
        }
    };
    if (m_depth >= kMaxTableDepth) {
        m_notes.append(
            QStringLiteral("Tables nested more than %1 deep are shown as their text.").arg(kMaxTableDepth));
        return flatten();
    }
    qint64 stated = 0;
    std::size_t widest = 0;
    for (const Row& row : table.rows) {
        stated += qint64(std::max(row.cells.size(), row.Def().cells.size()));
        widest = std::max(widest, row.cells.size());
    }
    // A row of more cells than columns would pile them into its last cell, which Qt lays out in
    // far more than linear time: the text goes on as paragraphs.
    if (widest > static_cast<std::size_t>(kMaxColumns)) {
        m_notes.append(QStringLiteral("A table with a row of more than %1 cells is shown as its text.")
                           .arg(kMaxColumns));
        return flatten();
    }
    const QString budgetNote = QStringLiteral("Tables past %1 cells in all are shown as their text.")
                                   .arg(QLocale(QLocale::English).toString(kMaxTableCells));
    if (stated > m_cellBudget) {
        m_notes.append(budgetNote);
        return flatten();
    }
    Grid grid = LayoutGrid(table);
    if (grid.cells.empty())
        return;
    const qint64 cells = qint64(table.rows.size()) * qint64(grid.widths.size());
    if (cells > m_cellBudget) {
        m_notes.append(budgetNote);
        return flatten();
    }
    m_cellBudget -= cells;
    const int rows = static_cast<int>(table.rows.size());
    const int columns = static_cast<int>(grid.widths.size());
    const RowDef& first = table.rows.front().Def();

    QTextTableFormat format;
    format.setBorder(0);
    format.setBorderCollapse(false); // collapsed hairlines come out doubled
    format.setCellSpacing(0);
    format.setCellPadding(0);
    format.setMargin(0);
    format.setTopMargin(std::min(above, m_bodyHeight / 4));
    format.setBottomMargin(std::min(below, m_bodyHeight / 4));
    QList<QTextLength> widths;
    double total = 0;
    for (double w : grid.widths) {
        widths.append(QTextLength(QTextLength::FixedLength, w));
        total += w;
    }
    format.setColumnWidthConstraints(widths);
    format.setWidth(QTextLength(QTextLength::FixedLength, total));
    if (nested) {
        format.setAlignment(first.align == RowDef::Align::Center  ? Qt::AlignHCenter
                            : first.align == RowDef::Align::Right ? Qt::AlignRight
                                                                  : Qt::AlignLeft);
    } else {
        // Qt centres a table off by half the page margin, so the table is placed by its margin.
        format.setAlignment(Qt::AlignLeft);
        double left = grid.left;
        if (first.align == RowDef::Align::Center)
            left = (m_bodyWidth - total) / 2;
        else if (first.align == RowDef::Align::Right)
            left = m_bodyWidth - total;
        format.setLeftMargin(std::max(left, -Px(m_model.page.left)));
    }
    int headers = 0;
    while (headers < rows && table.rows[headers].Def().header)
        ++headers;
    if (headers < rows)
        format.setHeaderRowCount(headers);
    if (table.pageBreakBefore)
        format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);

    if (fresh)
        Collapse(cursor);
    QTextTable* qtable = cursor.insertTable(rows, columns, format);
    for (const Placed& p : grid.cells) {
        if (p.rows > 1 || p.cols > 1)
            qtable->mergeCells(p.row, p.col, p.rows, p.cols);
    }
    std::vector<std::array<Border, 4>> borders;
    std::vector<std::vector<int>> owner(rows, std::vector<int>(columns, -1));
    for (std::size_t k = 0; k < grid.cells.size(); ++k) {
        const Placed& p = grid.cells[k];
        borders.push_back(BordersOf(p, rows));
        for (int r = p.row; r < p.row + p.rows && r < rows; ++r) {
            for (int c = p.col; c < p.col + p.cols && c < columns; ++c)
                owner[r][c] = static_cast<int>(k);
        }
    }
    // The cell below or to the right draws a shared edge when it has a border there: cells
    // are painted in that order, so the line is not half covered by its background.
    for (std::size_t k = 0; k < grid.cells.size(); ++k) {
        const Placed& p = grid.cells[k];
        const int below = p.row + p.rows, right = p.col + p.cols;
        if (below < rows && owner[below][p.col] >= 0 && Shown(borders[owner[below][p.col]][kTop]))
            borders[k][kBottom] = Border{};
        if (right < columns && owner[p.row][right] >= 0 && Shown(borders[owner[p.row][right]][kLeft]))
            borders[k][kRight] = Border{};
    }
    for (std::size_t k = 0; k < grid.cells.size(); ++k) {
        const Placed& p = grid.cells[k];
        const auto [above, below] = CellSpace(p.content);
        std::array<double, 4> padding = {};
        padding[kTop] = Padding(p, kTop) + above;
        padding[kLeft] = Padding(p, kLeft);
        padding[kBottom] = Padding(p, kBottom) + below;
        padding[kRight] = Padding(p, kRight);
        // Row heights: Qt tables have none, so short cells are padded up to the row's height.
        const double height = Px(p.rowDef->height);
        if (p.rows == 1 && height > 0) {
            const double have = EstimateHeight(p.content) + padding[kTop] + padding[kBottom] +
                                BorderWidth(borders[k][kTop]) + BorderWidth(borders[k][kBottom]);
            const double extra = height - have;
            if (extra > 0 && p.def->valign == CellDef::VAlign::Top)
                padding[kBottom] += extra;
            else if (extra > 0 && p.def->valign == CellDef::VAlign::Bottom)
                padding[kTop] += extra;
            else if (extra > 0) {
                padding[kTop] += extra / 2;
                padding[kBottom] += extra / 2;
            }
        }
        QTextTableCell cell = qtable->cellAt(p.row, p.col);
        if (!cell.isValid())
            continue;
        // Setting a cell's format is the dearest step of a table; a cell with nothing but
        // side padding gets that padding from its paragraphs' margins instead.
        const bool plain = padding[kTop] == 0 && padding[kBottom] == 0 && !Shown(borders[k][kTop]) &&
                           !Shown(borders[k][kLeft]) && !Shown(borders[k][kBottom]) &&
                           !Shown(borders[k][kRight]) && !Color(p.def->background) &&
                           p.def->valign == CellDef::VAlign::Top && !HasTable(p.content);
        if (plain) {
            m_cellLeft = padding[kLeft];
            m_cellRight = padding[kRight];
        } else {
            cell.setFormat(CellFormatOf(p, borders[k], padding));
        }
        QTextCursor inside = cell.firstCursorPosition();
        bool cellFresh = true;
        ++m_depth;
        for (const Cell* content : p.content) {
            // The empty paragraph that ends a cell after a table inside it takes no line, as
            // LibreOffice shows it.
            std::span<const Block> blocks = content->blocks;
            if (blocks.size() >= 2 && blocks.back().runs.empty() && !blocks.back().table &&
                blocks[blocks.size() - 2].table)
                blocks = blocks.first(blocks.size() - 1);
            EmitFlow(inside, blocks, cellFresh, true);
        }
        --m_depth;
        m_cellLeft = m_cellRight = 0;
    }
    cursor.setPosition(qtable->lastPosition() + 1);
    fresh = true;
    m_afterTable = true;
}

} // namespace keld::render
