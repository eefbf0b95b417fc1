// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/render/RenderBuilderShared.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>

#include <algorithm>

// Pages after Qt's layout: what a word processor keeps together, moved as it would be.

namespace keld::render {

// A paragraph moved to the next page starts it as the end of a page would: without its space
// above, which a word processor drops at the top of a page (its border keeps its room).
void MoveToNextPage(const QTextBlock& block)
{
    const QTextBlockFormat format = block.blockFormat();
    QTextBlockFormat move;
    move.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    move.setTopMargin(format.hasProperty(kBorderProperty + kTop)
                          ? format.penProperty(kBorderProperty + kTop).widthF() +
                                format.doubleProperty(kBorderSpaceProperty + kTop)
                          : 0.0);
    QTextCursor(block).mergeBlockFormat(move);
}

namespace {

bool KeepsNext(const QTextFrame::iterator& it)
{
    return !it.currentFrame() && it.currentBlock().blockFormat().boolProperty(kKeepNextProperty);
}

} // namespace

// Qt has no "keep with next": a paragraph that asks for it and ends its page apart from what
// follows goes to the next page, with the paragraphs before it that ask the same.
void KeepWithNext(QTextDocument& document)
{
    constexpr int kMaxMoves = 200; // each move lays out the rest of the report again
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    const double page = document.pageSize().height();
    // Where an item's first line stands: Qt moves the lines of a block that does not fit to the
    // next page but leaves the block where it began.
    auto top = [&](const QTextFrame::iterator& it) {
        if (it.currentFrame())
            return layout->frameBoundingRect(it.currentFrame()).top();
        const QTextBlock block = it.currentBlock();
        const double y = layout->blockBoundingRect(block).top();
        const QTextLayout* lines = block.layout();
        return lines && lines->lineCount() > 0 ? y + lines->lineAt(0).y() : y;
    };
    int moves = 0;
    QTextFrame::iterator previous;
    bool hasPrevious = false;
    for (QTextFrame::iterator it = document.rootFrame()->begin(); !it.atEnd() && moves < kMaxMoves;) {
        if (!KeepsNext(it)) {
            previous = it;
            hasPrevious = true;
            ++it;
            continue;
        }
        const QTextFrame::iterator chain = it;
        while (!it.atEnd() && KeepsNext(it))
            ++it;
        if (it.atEnd())
            break;
        const int first = static_cast<int>(top(chain) / page);
        const bool pageTop = !hasPrevious || static_cast<int>(top(previous) / page) < first;
        if (static_cast<int>(top(it) / page) > first && !pageTop) {
            MoveToNextPage(chain.currentBlock());
            ++moves;
        }
        previous = it;
        hasPrevious = true;
        ++it;
    }
}

// Qt lets the space and the line under a paragraph's text run past the foot of its page; a
// boxed paragraph whose box does not fit goes to the next page whole, as it would on paper.
void KeepBoxesOnTheirPage(QTextDocument& document)
{
    // Each move lays out the rest of the report again: a long report keeps its pages as they fall.
    const int maxMoves = document.pageCount() <= 200 ? 200 : 0;
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    const double page = document.pageSize().height();
    const double bottom = document.rootFrame()->frameFormat().bottomMargin();
    int moves = 0;
    double before = -1; // where the last line of what came before stands
    if (maxMoves == 0)
        return;
    for (QTextFrame::iterator it = document.rootFrame()->begin(); !it.atEnd() && moves < maxMoves; ++it) {
        if (QTextFrame* frame = it.currentFrame()) {
            before = std::max(layout->frameBoundingRect(frame).bottom() - 1, 0.0);
            continue;
        }
        const QTextBlock block = it.currentBlock();
        const QTextLayout* lines = block.layout();
        if (!lines || lines->lineCount() == 0)
            continue;
        const double top = layout->blockBoundingRect(block).top();
        const QTextLine first = lines->lineAt(0), last = lines->lineAt(lines->lineCount() - 1);
        const double firstTop = top + first.y();
        double lastTop = top + last.y();
        const QTextBlockFormat format = block.blockFormat();
        const auto index = static_cast<int>(firstTop / page);
        if (format.hasProperty(kBorderProperty + kBottom) && static_cast<int>(lastTop / page) == index &&
            lastTop + last.height() + format.bottomMargin() > (index + 1) * page - bottom + 0.5 &&
            before >= 0 && static_cast<int>(before / page) == index) {
            QTextBlockFormat move;
            move.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            QTextCursor(block).mergeBlockFormat(move);
            ++moves;
            lastTop = layout->blockBoundingRect(block).top() + lines->lineAt(lines->lineCount() - 1).y();
        }
        before = lastTop;
    }
}

// Cuts a report laid out on more than the most pages at the last line of the last page that
// leaves `reserved` pixels at its foot, for the notes that say so. Whether it was cut.
bool CutAtPageLimit(QTextDocument& document, double reserved)
{
    if (document.pageCount() <= kMaxPages)
        return false;
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    const QTextFrameFormat root = document.rootFrame()->frameFormat();
    const double limit = kMaxPages * document.pageSize().height() - root.bottomMargin() - reserved;
    int cut = -1;
    for (QTextFrame::iterator it = document.rootFrame()->begin(); !it.atEnd() && cut < 0; ++it) {
        if (QTextFrame* frame = it.currentFrame()) {
            const QRectF r = layout->frameBoundingRect(frame);
            if (r.top() >= limit) {
                cut = frame->firstPosition() - 2; // with the break before it
            } else if (r.bottom() > limit) {
                // A table across the limit keeps the rows above it.
                if (auto* table = qobject_cast<QTextTable*>(frame)) {
                    for (int row = 1; row < table->rows(); ++row) {
                        const QTextBlock first = table->cellAt(row, 0).firstCursorPosition().block();
                        if (layout->blockBoundingRect(first).top() >= limit) {
                            table->removeRows(row, table->rows() - row);
                            break;
                        }
                    }
                }
                cut = frame->lastPosition() + 1;
            }
        } else {
            const QTextBlock block = it.currentBlock();
            const QRectF r = layout->blockBoundingRect(block);
            if (r.top() >= limit) {
                cut = block.position() - 1; // with the break before it
            } else if (r.bottom() > limit) {
                const QTextLayout* lines = block.layout();
                for (int k = 0; k < lines->lineCount() && cut < 0; ++k) {
                    const QTextLine line = lines->lineAt(k);
                    // From its first line the block goes whole, with the break before it.
                    if (r.top() + line.y() + line.height() > limit)
                        cut = k == 0 ? block.position() - 1 : block.position() + line.textStart();
                }
            }
        }
    }
    if (cut >= 0) {
        QTextCursor rest(&document);
        rest.setPosition(std::clamp(cut, 0, document.characterCount() - 1));
        rest.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        rest.removeSelectedText();
    }
    return true;
}

// Whether a table reaches past the paper's sides, where it is clipped.
bool WiderThanPaper(const QTextDocument& document)
{
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    const double width = document.pageSize().width();
    std::vector<QTextFrame*> frames{document.rootFrame()};
    while (!frames.empty()) {
        const QTextFrame* frame = frames.back();
        frames.pop_back();
        for (QTextFrame* child : frame->childFrames()) {
            const QRectF r = layout->frameBoundingRect(child);
            if (r.right() > width + 0.5 || r.left() < -0.5)
                return true;
            frames.push_back(child);
        }
    }
    return false;
}

} // namespace keld::render
