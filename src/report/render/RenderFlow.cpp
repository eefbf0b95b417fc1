// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/render/RenderBuilderShared.h"

#include "report/render/MissingGlyphs.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>

#include <algorithm>
#include <cmath>

// Building: the document's setup and the flows of paragraphs that make a report's body, a header,
// a footer or a footnote. Formats are in RenderFormats.cpp, tables in RenderTables.cpp.

namespace keld::render {

namespace {

constexpr qsizetype kMaxBlockLetters = 8192;
constexpr int kMaxBlockRuns = 512;

// Letters no installed font has are drawn as boxes from a font of boxes, which keeps them in
// the text (a PDF's text, found and copied), as word processors keep them.
void InsertText(QTextCursor& cursor, const QString& text, const QTextCharFormat& format)
{
    auto missing = [&](qsizetype at) {
        const QChar c = text.at(at);
        return c.unicode() >= 0x250 && !c.isSurrogate() &&
               !Drawable(c.unicode(), format.fontFamilies().toStringList());
    };
    qsizetype from = 0;
    for (qsizetype k = 0; k < text.size(); ++k) {
        if (!missing(k) || MissingGlyphFamily().isEmpty())
            continue;
        qsizetype end = k + 1;
        while (end < text.size() && missing(end))
            ++end;
        cursor.insertText(text.mid(from, k - from), format);
        QTextCharFormat box = format;
        box.setFontFamilies(QStringList{MissingGlyphFamily()});
        cursor.insertText(text.mid(k, end - k), box);
        from = end;
        k = end - 1;
    }
    cursor.insertText(text.mid(from), format);
}

} // namespace

Builder::Builder(const RenderModel& model, const std::vector<QImage>& images, QTextDocument& doc, double dpi)
    : m_model(model), m_images(images), m_doc(doc), m_dpi(dpi)
{
    m_bodyWidth = Px(model.page.width - model.page.left - model.page.right);
    m_bodyHeight = Px(model.page.height - model.page.top - model.page.bottom);
}

void Builder::Setup()
{
    m_doc.setUndoRedoEnabled(false);
    m_doc.setUseDesignMetrics(true);
    m_doc.setDocumentMargin(0);
    QFont font;
    if (const FontInfo* info = Font(-1)) {
        font.setFamilies({QString::fromStdString(info->family)});
        font.setStyleHint(StyleHint(info->kind));
    }
    font.setPixelSize(FontPixels(12));
    font.setHintingPreference(QFont::PreferNoHinting);
    m_doc.setDefaultFont(font);
    QTextOption option = m_doc.defaultTextOption();
    option.setTabStopDistance(Px(m_model.page.defaultTab));
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_doc.setDefaultTextOption(option);
    for (std::size_t k = 0; k < m_images.size(); ++k) {
        if (!m_images[k].isNull())
            m_doc.addResource(QTextDocument::ImageResource, ImageUrl(static_cast<int>(k)), m_images[k]);
    }
}

// The whole report, paginated.
void Builder::BuildReport()
{
    Setup();
    const PageSetup& page = m_model.page;
    m_doc.setPageSize(QSizeF(Px(page.width), Px(page.height)));
    QTextFrameFormat root = m_doc.rootFrame()->frameFormat();
    root.setLeftMargin(Px(page.left));
    root.setRightMargin(Px(page.right));
    root.setTopMargin(Px(page.top));
    root.setBottomMargin(Px(page.bottom));
    root.setPadding(0);
    root.setBorder(0);
    m_doc.rootFrame()->setFrameFormat(root);

    QTextCursor cursor(&m_doc);
    // One edit: Qt rescans the whole document's frames after each, which made a report of
    // many tables take quadratic time.
    cursor.beginEditBlock();
    bool fresh = true;
    const Flow& body = m_model.body;
    if (!body.empty() && !body.front().table &&
        (body.front().para.before > 0 || BorderRoom(body.front().para, kTop) > 0)) {
        // Qt drops the space above a document's first paragraph, its border's room too; an
        // empty line of that height keeps it, and the paragraph after it keeps its room.
        QTextBlockFormat spacer;
        spacer.setLineHeight(std::min(Px(body.front().para.before), m_bodyHeight / 2),
                             QTextBlockFormat::FixedHeight);
        cursor.setBlockFormat(spacer);
        fresh = false;
    }
    // The body is cut well before Qt's coordinates run out (about 31,000 pages), by an estimate
    // that errs long, at twice the page limit so that the text of the limit's last page is always
    // laid out; the exact cut comes after layout, at the end of that page.
    m_room = m_roomPages * m_bodyHeight;
    m_cutNote = PageLimitNote();
    m_body = true;
    EmitFlow(cursor, body, fresh, false);
    const bool atFoot =
        !m_model.footnoteStarts.empty() && m_model.footnoteStarts.size() <= kMaxFootnotesAtFoot;
    if (!m_model.footnotes.empty() && m_room > 0 && !atFoot) {
        // Notes close the report, under a short rule as at a page's foot.
        QTextBlockFormat rule;
        rule.setProperty(QTextFormat::BlockTrailingHorizontalRulerWidth,
                         QTextLength(QTextLength::PercentageLength, 30));
        rule.setTopMargin(Px(240));
        if (fresh)
            cursor.setBlockFormat(rule);
        else
            cursor.insertBlock(rule);
        fresh = false;
        EmitFlow(cursor, m_model.footnotes, fresh, false);
    }
    m_room = -1;
    if (fresh)
        Collapse(cursor);
    cursor.endEditBlock();
}

// A header or footer for one page: its page fields read `page` and `pages`.
void Builder::BuildPart(const Flow& flow, int page, int pages)
{
    Setup();
    m_page = page;
    m_pages = pages;
    m_doc.setTextWidth(m_bodyWidth);
    QTextCursor cursor(&m_doc);
    cursor.beginEditBlock();
    bool fresh = true;
    EmitFlow(cursor, flow, fresh, false);
    if (fresh)
        Collapse(cursor);
    cursor.endEditBlock();
}

void Builder::BuildNote(std::span<const Block> blocks)
{
    Setup();
    m_doc.setTextWidth(m_bodyWidth);
    QTextCursor cursor(&m_doc);
    cursor.beginEditBlock();
    bool fresh = true;
    EmitFlow(cursor, blocks, fresh, false);
    if (fresh)
        Collapse(cursor);
    cursor.endEditBlock();
}

void Builder::BuildPart(const Flow& flow, std::vector<FieldSpot>& fields)
{
    // A part taller than the page could never be seen whole; cut there, it is laid out once for
    // each page.
    m_fields = &fields;
    m_room = Px(m_model.page.height);
    m_cutNote = QStringLiteral("A header or footer taller than the page was cut.");
    BuildPart(flow, 1, 1);
    m_room = -1;
    m_fields = nullptr;
}

// An empty block left after a table at the end of a flow: it takes no room.
void Builder::Collapse(QTextCursor& cursor)
{
    if (cursor.block().length() > 1 || cursor.block() == cursor.document()->firstBlock())
        return;
    QTextBlockFormat format;
    format.setLineHeight(0, QTextBlockFormat::FixedHeight);
    cursor.setBlockFormat(format);
    QTextCharFormat tiny;
    tiny.setProperty(QTextFormat::FontPixelSize, 1);
    cursor.mergeBlockCharFormat(tiny);
}

void Builder::EmitParagraph(QTextCursor& cursor, const Block& block, bool& fresh, double top)
{
    const QTextBlockFormat format = CachedBlockFormat(block.para, top);
    const QTextCharFormat& mark = CharFormatOf(block.mark);
    // Qt gives no height to an empty block just after a table (it holds the table's place), so
    // an empty paragraph there takes the block after it.
    if (fresh && m_afterTable && block.runs.empty())
        fresh = false;
    m_afterTable = false;
    if (fresh) {
        // Only an empty paragraph takes its height from the mark. Merged, not set: in a table
        // cell this format also holds the cell's borders and padding.
        cursor.setBlockFormat(format);
        if (block.runs.empty())
            cursor.mergeBlockCharFormat(mark);
        fresh = false;
    } else {
        cursor.insertBlock(format, mark);
    }
    int lastField = 0;
    qsizetype letters = 0;
    int runs = 0;
    for (const Run& run : block.runs) {
        switch (run.kind) {
        case Run::Kind::Text: {
            // Qt lays out one very long paragraph in far more than linear time: it goes on in a
            // block of its own format, at a space, every so many letters.
            const QString text = QString::fromStdU16String(run.text);
            QTextCharFormat format = CharFormatOf(run.format);
            if (run.footnote > 0)
                format.setProperty(kFootnoteProperty, run.footnote);
            if (++runs > kMaxBlockRuns) {
                // So does one of very many changes of format.
                QTextBlockFormat more = cursor.blockFormat();
                more.setTopMargin(0);
                more.setTextIndent(0);
                more.setPageBreakPolicy(QTextFormat::PageBreak_Auto);
                cursor.insertBlock(more, format);
                runs = 0;
                letters = 0;
            }
            qsizetype from = 0;
            while (letters + (text.size() - from) > kMaxBlockLetters) {
                const qsizetype want = from + std::max<qsizetype>(kMaxBlockLetters - letters, 1);
                qsizetype at = text.indexOf(QLatin1Char(' '), want - 1);
                if (at < 0 || at - want > kMaxBlockLetters / 4)
                    at = want - 1;
                InsertText(cursor, text.mid(from, at + 1 - from), format);
                QTextBlockFormat more = cursor.blockFormat();
                more.setTopMargin(0);
                more.setTextIndent(0);
                more.setPageBreakPolicy(QTextFormat::PageBreak_Auto);
                cursor.insertBlock(more, format);
                from = at + 1;
                letters = 0;
            }
            InsertText(cursor, text.mid(from), format);
            letters += text.size() - from;
            break;
        }
        case Run::Kind::PageNumber:
        case Run::Kind::PageCount:
            if (m_page <= 0) {
                cursor.insertText(QString::fromStdU16String(run.text), CharFormatOf(run.format));
            } else if (run.field != lastField) {
                const int value = run.kind == Run::Kind::PageNumber ? m_page : m_pages;
                const QString number = QString::number(value);
                // Past a few fields a part's numbers stay as built: rewriting each on every page
                // would cost fields times pages.
                if (m_fields && m_fields->size() < kMaxPartFields)
                    m_fields->push_back({cursor.position(), number, run.kind == Run::Kind::PageNumber});
                cursor.insertText(number, CharFormatOf(run.format));
            }
            lastField = run.field;
            continue;
        case Run::Kind::Picture: {
            if (run.picture < 0 || run.picture >= static_cast<int>(m_images.size()) ||
                m_images[run.picture].isNull())
                break;
            const QSizeF size = PictureSize(m_model.pictures[run.picture], m_images[run.picture]);
            if (run.floating && m_body) {
                // Drawn over (or under) the text at its place from the paragraph, the margin or
                // the page, found when the pages are painted.
                const Anchor& a = *run.floating;
                QTextBlockFormat anchored;
                QVariantList floats = cursor.blockFormat().property(kFloatsProperty).toList();
                floats.append(
                    QVariant(QVariantList{run.picture, static_cast<int>(a.fromX), static_cast<int>(a.fromY),
                                          QRectF(QPointF(Px(a.x), Px(a.y)), size), a.behind}));
                anchored.setProperty(kFloatsProperty, floats);
                cursor.mergeBlockFormat(anchored);
                break;
            }
            QTextImageFormat image;
            image.merge(CharFormatOf(run.format));
            image.setName(ImageUrl(run.picture).toString());
            image.setWidth(size.width());
            image.setHeight(size.height());
            cursor.insertImage(image);
            break;
        }
        }
        lastField = 0;
    }
}

// Qt keeps only the larger of two margins that meet, and none at all at the edges of a table
// or a cell, where paragraphs on paper keep both. So the whole space between two paragraphs
// goes above the second, the space next to a table into the table's margin, and the space at
// the edges of a cell into its padding (see CellFormatOf).
void Builder::EmitFlow(QTextCursor& cursor, std::span<const Block> flow, bool& fresh, bool nested)
{
    for (std::size_t k = 0; k < flow.size(); ++k) {
        const Block& block = flow[k];
        if (m_room == 0 && m_depth == 0)
            return; // cut at the page limit
        if (m_room > 0 && m_depth == 0) {
            const bool broken = block.table ? block.table->pageBreakBefore : block.para.pageBreakBefore;
            const double used = EstimateBlock(block, m_bodyWidth) + (broken ? m_bodyHeight : 0.0);
            if (used > m_room) {
                m_notes.append(m_cutNote);
                m_cutByEstimate = true;
                if (!block.table && !block.runs.empty() && m_room >= used / 100) {
                    // A long paragraph keeps the part of its text that fits.
                    Block part;
                    part.para = block.para;
                    part.mark = block.mark;
                    std::size_t letters = 0;
                    for (const Run& run : block.runs)
                        letters += run.text.size() + 1;
                    std::size_t keep = static_cast<std::size_t>(letters * std::max(m_room, 0.0) / used);
                    for (const Run& run : block.runs) {
                        if (keep == 0)
                            break;
                        Run copy = run;
                        if (copy.text.size() > keep) {
                            // At a space, so that no word is cut in two.
                            const std::size_t space = copy.text.find_last_of(u" \t", keep);
                            copy.text.resize(space == std::u16string::npos ? keep : space);
                            keep = 0;
                        } else {
                            keep -= std::min(keep, copy.text.size() + 1);
                        }
                        part.runs.push_back(std::move(copy));
                    }
                    m_room = -1;
                    EmitParagraph(cursor, part, fresh, 0.0);
                }
                m_room = 0;
                return;
            }
            m_room = std::max(m_room - used, 1e-9);
        }
        const Block* before = k > 0 && !flow[k - 1].table ? &flow[k - 1] : nullptr;
        const Block* after = k + 1 < flow.size() && !flow[k + 1].table ? &flow[k + 1] : nullptr;
        if (block.table) {
            // Qt drops the border's room below a paragraph that a table follows.
            EmitTable(cursor, *block.table, fresh, nested,
                      before ? Px(before->para.after) + BorderRoom(before->para, kBottom) : 0.0,
                      after ? Px(after->para.before) : 0.0);
        } else {
            // Qt keeps only the larger of two meeting margins: the border below the paragraph
            // before goes into this one's space above.
            EmitParagraph(cursor, block, fresh,
                          before
                              ? Px(before->para.after + block.para.before) + BorderRoom(before->para, kBottom)
                              : 0.0);
        }
    }
}

// A block's height, erring long: wide letters, and no two paragraphs sharing a line.
double Builder::EstimateBlock(const Block& block, double width) const
{
    if (block.table) {
        double height = 0;
        for (const Row& row : block.table->rows) {
            const double cellWidth = std::max(width / std::max<std::size_t>(row.cells.size(), 1), Px(144));
            double tallest = Px(std::max(row.Def().height, 0));
            for (const Cell& cell : row.cells) {
                double h = 0;
                for (const Block& inner : cell.blocks)
                    h += EstimateBlock(inner, cellWidth);
                tallest = std::max(tallest, h);
            }
            height += tallest;
        }
        return height;
    }
    double letters = 0, tallest = Px(block.mark.size * 10.0);
    for (const Run& run : block.runs) {
        const double size = Px(run.format.size * 10.0);
        letters += run.kind == Run::Kind::Picture ? width : run.text.size() * size * 0.6;
        tallest = std::max(tallest, size);
        if (run.kind == Run::Kind::Picture && run.picture >= 0 &&
            run.picture < static_cast<int>(m_images.size()) && !m_images[run.picture].isNull())
            tallest =
                std::max(tallest, PictureSize(m_model.pictures[run.picture], m_images[run.picture]).height());
    }
    const double lines = std::max(1.0, std::ceil(letters / std::max(width, 1.0)));
    const double line = std::max(tallest * 1.2, Px(std::abs(block.para.lineSpacing)));
    return lines * line + Px(block.para.before + block.para.after);
}

// The body's pages by an estimate that errs long, up to `capPages`.
double Builder::EstimatePages(double capPages) const
{
    const double cap = capPages * m_bodyHeight;
    double height = 0;
    for (const Block& block : m_model.body) {
        const bool broken = block.table ? block.table->pageBreakBefore : block.para.pageBreakBefore;
        height += EstimateBlock(block, m_bodyWidth) + (broken ? m_bodyHeight : 0.0);
        if (height > cap)
            break;
    }
    return std::min(height, cap) / std::max(m_bodyHeight, 1.0) + 1;
}

} // namespace keld::render
