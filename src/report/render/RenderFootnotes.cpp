// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/render/RenderBuilderShared.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFragment>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>

#include <algorithm>
#include <limits>
#include <utility>

// Footnotes at the foot of their pages: the body moved clear of them.

namespace keld::render {

namespace {

// Qt breaks a table between pages only where its rows run out of room: a table whose rows must
// go over before that becomes two, the rows from `row` on in a second table on the next page.
void SplitTable(QTextDocument& document, QTextTable& table, int row)
{
    const int rows = table.rows(), columns = table.columns();
    QTextCursor select(&document);
    select.setPosition(table.cellAt(row, 0).firstPosition());
    select.setPosition(table.cellAt(rows - 1, columns - 1).lastPosition(), QTextCursor::KeepAnchor);
    const QTextDocumentFragment rest = select.selection();
    QTextTableFormat format = table.format();
    // Qt leaves the text of merged cells behind when it removes their rows: they are split first.
    for (int r = row; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const QTextTableCell cell = table.cellAt(r, c);
            if (cell.row() == r && cell.column() == c && (cell.rowSpan() > 1 || cell.columnSpan() > 1))
                table.splitCell(r, c, 1, 1);
        }
    }
    table.removeRows(row, rows - row);
    QTextCursor after(&document);
    after.setPosition(table.lastPosition() + 1);
    after.insertFragment(rest);
    const QList<QTextFrame*> frames = table.parentFrame()->childFrames();
    const qsizetype at = frames.indexOf(&table);
    if (auto* second =
            at >= 0 && at + 1 < frames.size() ? qobject_cast<QTextTable*>(frames[at + 1]) : nullptr) {
        format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        format.setTopMargin(0);
        format.setHeaderRowCount(0);
        second->setFormat(format);
        // An edge the two halves shared was drawn by the row below: the first half's last row
        // gets it back.
        for (int col = 0; col < columns; ++col) {
            QTextTableCell upper = table.cellAt(row - 1, col);
            const QTextTableCellFormat lower = second->cellAt(0, col).format().toTableCellFormat();
            if (!upper.isValid() || upper.column() != col || lower.topBorder() <= 0)
                continue;
            QTextTableCellFormat f = upper.format().toTableCellFormat();
            if (f.bottomBorder() > 0)
                continue;
            f.setBottomBorder(lower.topBorder());
            f.setBottomBorderStyle(lower.topBorderStyle());
            f.setBottomBorderBrush(lower.topBorderBrush());
            upper.setFormat(f);
        }
    }
}

// Moves the first row of `table` that runs into the notes at the foot of its page to the next
// page, unless it stands at the top of its page. Whether one moved.
bool RowOverNotes(QTextDocument& document, QTextTable& table, const std::vector<std::vector<int>>& byPage,
                  double bottom, double before,
                  const std::function<double(const std::vector<int>&)>& notesHeight)
{
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    const double page = document.pageSize().height();
    double previousTop = before;
    for (int row = 0; row < table.rows(); ++row) {
        // The row's extent: its cells' text, from the first line to the last.
        double top = std::numeric_limits<double>::max(), end = 0;
        bool any = false;
        for (int col = 0; col < table.columns(); ++col) {
            const QTextTableCell cell = table.cellAt(row, col);
            if (!cell.isValid() || cell.row() != row || cell.column() != col)
                continue;
            const QTextBlock first = cell.firstCursorPosition().block();
            const QTextBlock last = cell.lastCursorPosition().block();
            any = true;
            top = std::min(top, layout->blockBoundingRect(first).top());
            if (cell.rowSpan() == 1)
                end = std::max(end, layout->blockBoundingRect(last).bottom());
        }
        if (!any)
            continue;
        const auto index = static_cast<std::size_t>(std::max(top, 0.0) / page);
        const bool pageTop = previousTop < 0 || static_cast<std::size_t>(previousTop / page) < index;
        previousTop = top;
        if (index >= byPage.size() || byPage[index].empty() || pageTop)
            continue;
        const double limit = (index + 1) * page - bottom - notesHeight(byPage[index]);
        if (end <= limit)
            continue;
        // Cells merged down go over together, from the row where they begin.
        int from = row;
        for (bool again = true; again;) {
            again = false;
            for (int col = 0; col < table.columns(); ++col) {
                const QTextTableCell cell = table.cellAt(from, col);
                if (cell.isValid() && cell.row() < from) {
                    from = cell.row();
                    again = true;
                }
            }
        }
        if (from == 0) {
            if (before < 0 || static_cast<std::size_t>(before / page) < index)
                return false; // the table starts its page: nothing gained
            QTextTableFormat format = table.format();
            format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            table.setFormat(format);
            return true;
        }
        SplitTable(document, table, from);
        return true;
    }
    return false;
}

} // namespace

// Footnotes stand at the foot of the page of their reference. Qt has one text height for every
// page, so a paragraph that would run into the notes goes to the next page, as on paper.
std::vector<std::vector<int>>
PlaceFootnotes(QTextDocument& document, const RenderModel& model,
               const std::function<double(const std::vector<int>&)>& notesHeight)
{
    if (model.footnoteStarts.empty() || model.footnoteStarts.size() > kMaxFootnotesAtFoot)
        return {};
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    const double page = document.pageSize().height();
    const double bottom = document.rootFrame()->frameFormat().bottomMargin();
    auto firstLineTop = [&](const QTextBlock& block) {
        const double y = layout->blockBoundingRect(block).top();
        const QTextLayout* lines = block.layout();
        return lines && lines->lineCount() > 0 ? y + lines->lineAt(0).y() : y;
    };
    std::vector<std::vector<int>> byPage;
    // Each move lays out the rest of the report again: a long report keeps its pages as they fall.
    const int passes = document.pageCount() <= 200 ? 40 : 0;
    for (int pass = 0; pass <= passes; ++pass) {
        byPage.assign(static_cast<std::size_t>(document.pageCount()), {});
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                const int number = fragment.charFormat().intProperty(kFootnoteProperty);
                if (number <= 0 || number > static_cast<int>(model.footnoteStarts.size()))
                    continue;
                const QTextLine line =
                    block.layout()->lineForTextPosition(fragment.position() - block.position());
                const double y = layout->blockBoundingRect(block).top() + (line.isValid() ? line.y() : 0.0);
                const auto index = std::clamp<std::size_t>(static_cast<std::size_t>(std::max(y, 0.0) / page),
                                                           0, byPage.size() - 1);
                if (std::find(byPage[index].begin(), byPage[index].end(), number) == byPage[index].end())
                    byPage[index].push_back(number);
            }
        }
        // The first paragraph of the body that runs into the notes of its page goes over.
        bool moved = false;
        if (pass == passes)
            break;
        // Where the last line of what came before stands: what starts a page is never moved.
        double before = -1;
        bool afterTable = false;
        for (QTextFrame::iterator it = document.rootFrame()->begin(); !it.atEnd() && !moved; ++it) {
            if (QTextFrame* frame = it.currentFrame()) {
                // A table, like a paragraph, stops above the notes: the first row that runs into
                // them goes over, with its cells' text.
                if (auto* table = qobject_cast<QTextTable*>(frame))
                    moved = RowOverNotes(document, *table, byPage, bottom, before, notesHeight);
                before = std::max(layout->frameBoundingRect(frame).bottom() - 1, 0.0);
                afterTable = true;
                continue;
            }
            const QTextBlock block = it.currentBlock();
            // Qt hides the empty block after a table in the table's border.
            if (std::exchange(afterTable, false) && block.length() <= 1)
                continue;
            const double top = firstLineTop(block);
            const auto index = static_cast<std::size_t>(std::max(top, 0.0) / page);
            const QTextLayout* lines = block.layout();
            const double blockTop = layout->blockBoundingRect(block).top();
            const double lastTop = lines && lines->lineCount() > 0
                                       ? blockTop + lines->lineAt(lines->lineCount() - 1).y()
                                       : blockTop;
            if (index >= byPage.size() || byPage[index].empty()) {
                before = lastTop;
                continue;
            }
            const double limit = (index + 1) * page - bottom - notesHeight(byPage[index]);
            bool over = false;
            for (int k = 0; k < lines->lineCount(); ++k) {
                const QTextLine line = lines->lineAt(k);
                const double lineTop = blockTop + line.y();
                if (static_cast<std::size_t>(lineTop / page) != index)
                    break;
                over = over || lineTop + line.height() > limit;
            }
            const bool pageTop = before < 0 || static_cast<std::size_t>(before / page) < index;
            if (over && !pageTop) {
                MoveToNextPage(block);
                moved = true;
            }
            before = lastTop;
        }
        if (!moved)
            break;
    }
    for (auto& notes : byPage)
        std::sort(notes.begin(), notes.end());
    return byPage;
}

} // namespace keld::render
