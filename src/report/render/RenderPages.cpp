// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/render/RenderBuilder.h"

#include "report/render/RenderBuilderShared.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <array>
#include <cmath>

// Pages: the paper a rendered document was built for, its paper copy, and painting a page with
// its header and footer.

namespace keld::render {

namespace {

const ReportPages* PagesOf(const QTextDocument& document)
{
    for (QObject* child : document.children()) {
        if (auto* pages = qobject_cast<const ReportPages*>(child))
            return pages;
    }
    return nullptr;
}

const Flow& PartFlow(const RenderModel& model, bool header, int index)
{
    const PageSetup& page = model.page;
    if (index == 0 && page.titlePage)
        return header ? model.headerFirst : model.footerFirst;
    if (index % 2 == 1 && page.facingPages)
        return header ? model.headerLeft : model.footerLeft;
    return header ? model.header : model.footer;
}

} // namespace

QTextDocument& ReportPages::Part(const Flow& flow, int page, int pages) const
{
    BuiltPart& part = m_parts[&flow];
    if (!part.document) {
        part.document = std::make_unique<QTextDocument>();
        Builder builder(*m_model, *m_images, *part.document, m_dpi);
        builder.BuildPart(flow, part.fields);
        part.notes = builder.Notes();
    }
    // The numbers in order, each moving those after it by the change in its length; one edit,
    // so that the part is laid out once.
    QTextCursor edit(part.document.get());
    edit.beginEditBlock();
    int shift = 0;
    for (FieldSpot& field : part.fields) {
        field.at += shift;
        const QString number = QString::number(field.page ? page : pages);
        if (number == field.text)
            continue;
        QTextCursor cursor(part.document.get());
        cursor.setPosition(field.at + 1);
        const QTextCharFormat format = cursor.charFormat();
        cursor.setPosition(field.at);
        cursor.setPosition(field.at + static_cast<int>(field.text.size()), QTextCursor::KeepAnchor);
        cursor.insertText(number, format);
        shift += static_cast<int>(number.size() - field.text.size());
        field.text = number;
    }
    edit.endEditBlock();
    return *part.document;
}

QTextDocument& ReportPages::Note(int number) const
{
    std::unique_ptr<QTextDocument>& note = m_noteDocuments[number];
    if (!note) {
        note = std::make_unique<QTextDocument>();
        const RenderModel& model = *m_model;
        const auto index = static_cast<std::size_t>(number - 1);
        const std::size_t begin = std::min(model.footnoteStarts[index], model.footnotes.size());
        const std::size_t end = index + 1 < model.footnoteStarts.size()
                                    ? std::min(model.footnoteStarts[index + 1], model.footnotes.size())
                                    : model.footnotes.size();
        Builder(model, *m_images, *note, m_dpi)
            .BuildNote(std::span<const Block>(model.footnotes.data() + begin, std::max(begin, end) - begin));
    }
    return *note;
}

// The notes of a page under their rule.
double ReportPages::NotesHeight(const std::vector<int>& notes) const
{
    if (notes.empty())
        return 0;
    double height = m_dpi / 6; // the rule and the space above it
    for (int number : notes)
        height += Note(number).size().height();
    return height;
}

QStringList ReportPages::PartNotes() const
{
    QStringList notes;
    const RenderModel& model = *m_model;
    for (const Flow* flow : {&model.header, &model.headerFirst, &model.headerLeft, &model.footer,
                             &model.footerFirst, &model.footerLeft}) {
        if (flow->empty())
            continue;
        (void)Part(*flow, 1, 1); // built here, for its notes
        notes.append(m_parts[flow].notes);
    }
    return notes;
}

const std::vector<BorderBox>& ReportPages::Borders(const QTextDocument& document) const
{
    if (m_bordersFor == document.pageSize())
        return m_borders;
    m_borders.clear();
    m_bordersFor = document.pageSize();
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat format = block.blockFormat();
        BorderBox box;
        bool any = false;
        for (int side = 0; side < 4; ++side) {
            box.pens[side] = format.hasProperty(kBorderProperty + side) ? format.penProperty(kBorderProperty + side)
                                                                        : QPen(Qt::NoPen);
            any = any || box.pens[side].style() != Qt::NoPen;
        }
        if (!any)
            continue;
        const QTextLayout* lines = block.layout();
        if (!lines || lines->lineCount() == 0)
            continue;
        const QPointF origin = layout->blockBoundingRect(block).topLeft();
        const QTextLine first = lines->lineAt(0), last = lines->lineAt(lines->lineCount() - 1);
        // The text's box: the last line has no first-line indent.
        QRectF text(origin.x() + last.x(), origin.y() + first.y(), last.width(),
                    last.y() + last.height() - first.y());
        // The lines stand in the margins the builder left: the space inside, then the line.
        const int doubled = format.intProperty(kBorderDoubleProperty);
        for (int side = 0; side < 4; ++side)
            box.doubled[side] = (doubled & 1 << side) != 0;
        if (format.hasProperty(kBorderFillProperty))
            box.fill = format.colorProperty(kBorderFillProperty);
        auto space = [&](int side) {
            const QPen& pen = box.pens[side];
            if (pen.style() == Qt::NoPen)
                return 0.0;
            return pen.widthF() * (box.doubled[side] ? 1.5 : 0.5) +
                   format.doubleProperty(kBorderSpaceProperty + side);
        };
        box.box = text.adjusted(-space(kLeft), -space(kTop), space(kRight), space(kBottom));
        m_borders.push_back(box);
    }
    std::stable_sort(m_borders.begin(), m_borders.end(),
                     [](const BorderBox& a, const BorderBox& b) { return a.box.top() < b.box.top(); });
    return m_borders;
}

const std::vector<FloatBox>& ReportPages::Floats(const QTextDocument& document) const
{
    if (m_floatsFor == document.pageSize())
        return m_floats;
    m_floats.clear();
    m_floatsFor = document.pageSize();
    const PageSetup& setup = m_model->page;
    const double scale = m_dpi / kTwipsPerInch;
    const double pageHeight = document.pageSize().height();
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat format = block.blockFormat();
        if (!format.hasProperty(kFloatsProperty))
            continue;
        const QRectF rect = layout->blockBoundingRect(block);
        const QTextLayout* lines = block.layout();
        // The paragraph's place is its first line, on the page that line stands on.
        const double top = lines && lines->lineCount() > 0 ? rect.top() + lines->lineAt(0).y() : rect.top();
        const double pageTop = std::floor(std::max(top, 0.0) / pageHeight) * pageHeight;
        for (const QVariant& entry : format.property(kFloatsProperty).toList()) {
            const QVariantList f = entry.toList();
            if (f.size() != 5)
                continue;
            FloatBox box;
            box.picture = f[0].toInt();
            QRectF r = f[3].toRectF();
            switch (static_cast<Anchor::From>(f[1].toInt())) {
            case Anchor::From::Page:
                break;
            case Anchor::From::Margin:
                r.translate(setup.left * scale, 0);
                break;
            case Anchor::From::Paragraph:
                r.translate(rect.left() + format.leftMargin(), 0);
                break;
            }
            switch (static_cast<Anchor::From>(f[2].toInt())) {
            case Anchor::From::Page:
                r.translate(0, pageTop);
                break;
            case Anchor::From::Margin:
                r.translate(0, pageTop + setup.top * scale);
                break;
            case Anchor::From::Paragraph:
                r.translate(0, top);
                break;
            }
            box.box = r;
            box.behind = f[4].toBool();
            m_floats.push_back(box);
        }
    }
    return m_floats;
}

QStringList FootnotesOfPage(const QTextDocument& document, int index)
{
    QStringList texts;
    const ReportPages* pages = PagesOf(document);
    if (!pages || index < 0 || index >= static_cast<int>(pages->PageNotes().size()))
        return texts;
    for (int number : pages->PageNotes()[static_cast<std::size_t>(index)])
        texts.append(pages->Note(number).toPlainText());
    return texts;
}

bool IsRenderedReport(const QTextDocument& document)
{
    return PagesOf(document) != nullptr;
}

QPageLayout PageLayoutOf(const QTextDocument& document)
{
    const ReportPages* pages = PagesOf(document);
    if (!pages)
        return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(20, 20, 20, 20),
                           QPageLayout::Millimeter);
    const PageSetup& p = pages->Model().page;
    auto pt = [](std::int32_t twips) { return twips / 20.0; };
    const QSizeF paper(pt(p.width), pt(p.height));
    const bool landscape = paper.width() > paper.height();
    QPageSize size(landscape ? paper.transposed() : paper, QPageSize::Point, QString(),
                   QPageSize::ExactMatch);
    return QPageLayout(size, landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(pt(p.left), pt(p.top), pt(p.right), pt(p.bottom)), QPageLayout::Point);
}

QSizeF PagePixels(const QTextDocument& document)
{
    const ReportPages* pages = PagesOf(document);
    if (!pages)
        return document.pageSize();
    const double scale = pages->Dpi() / kTwipsPerInch;
    return {pages->Model().page.width * scale, pages->Model().page.height * scale};
}

double PixelDpi(const QTextDocument& document)
{
    const ReportPages* pages = PagesOf(document);
    return pages ? pages->Dpi() : DocumentDpi();
}

std::unique_ptr<QTextDocument> PaperCopy(const QTextDocument& document)
{
    std::unique_ptr<QTextDocument> copy(document.clone());
    if (const ReportPages* pages = PagesOf(document)) {
        copy->setPageSize(PagePixels(document));
        auto* copied = new ReportPages(copy.get(), pages->ModelPointer(), pages->ImagesPointer(), pages->Dpi());
        copied->SetNotes(pages->Notes());
        copied->SetPageNotes(pages->PageNotes());
    }
    return copy;
}

namespace {

// The page's header or footer, in the page's top and bottom margins.
void PaintPart(QPainter& painter, const ReportPages& pages, bool header, int index, int count)
{
    const RenderModel& model = pages.Model();
    const Flow& flow = PartFlow(model, header, index);
    if (flow.empty())
        return;
    QTextDocument& part = pages.Part(flow, index + 1, count);
    const double scale = pages.Dpi() / kTwipsPerInch;
    const double height = part.size().height();
    const double y =
        header ? model.page.headerY * scale : (model.page.height - model.page.footerY) * scale - height;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(model.page.left * scale, y);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, Qt::black);
    context.clip = QRectF(QPointF(0, 0), part.size());
    part.documentLayout()->draw(&painter, context);
    painter.restore();
}

// The borders of the paragraphs on one page: a box broken by the page is drawn on both. The
// shading inside them goes under the text (`fills`), the lines over it.
void PaintBorders(QPainter& painter, const std::vector<BorderBox>& borders, const QRectF& page, bool fills)
{
    // Boxes are sorted by their tops; one taller than a page is rare and still found from the
    // page before.
    auto from = std::lower_bound(borders.begin(), borders.end(), page.top() - page.height(),
                                 [](const BorderBox& b, double y) { return b.box.top() < y; });
    for (auto it = from; it != borders.end() && it->box.top() <= page.bottom(); ++it) {
        if (!it->box.intersects(page))
            continue;
        const QRectF& r = it->box;
        if (fills) {
            // Up to the inner line of a double border.
            auto inset = [&](int side) { return it->doubled[side] ? it->pens[side].widthF() : 0.0; };
            if (it->fill.isValid())
                painter.fillRect(r.adjusted(inset(kLeft), inset(kTop), -inset(kRight), -inset(kBottom)),
                                 it->fill);
            continue;
        }
        for (int side = 0; side < 4; ++side) {
            const QPen& pen = it->pens[side];
            if (pen.style() == Qt::NoPen)
                continue;
            painter.setPen(pen);
            // A double border: two lines either side of the box's edge, outward and inward.
            const double w = pen.widthF();
            const std::array<double, 2> shifts = {-w, w};
            const int count = it->doubled[side] ? 2 : 1;
            for (int k = 0; k < count; ++k) {
                const double shift = count == 2 ? shifts[k] : 0.0;
                const QRectF s = r.adjusted(-shift, -shift, shift, shift);
                const QLineF lines[4] = {{s.topLeft(), s.topRight()},
                                         {s.topLeft(), s.bottomLeft()},
                                         {s.bottomLeft(), s.bottomRight()},
                                         {s.topRight(), s.bottomRight()}};
                painter.drawLine(lines[side]);
            }
        }
    }
}

void PaintFloats(QPainter& painter, const ReportPages& pages, const QTextDocument& document,
                 const QRectF& page, bool behind)
{
    for (const FloatBox& f : pages.Floats(document)) {
        if (f.behind != behind || !f.box.intersects(page) || f.picture < 0 ||
            f.picture >= static_cast<int>(pages.Images().size()))
            continue;
        const QImage& image = pages.Images()[static_cast<std::size_t>(f.picture)];
        if (!image.isNull())
            painter.drawImage(f.box, image);
    }
}

void PaintNotes(QPainter& painter, const ReportPages& pages, int index)
{
    if (index < 0 || index >= static_cast<int>(pages.PageNotes().size()))
        return;
    const std::vector<int>& notes = pages.PageNotes()[static_cast<std::size_t>(index)];
    if (notes.empty())
        return;
    const RenderModel& model = pages.Model();
    const double scale = pages.Dpi() / kTwipsPerInch;
    const double left = model.page.left * scale;
    const double width = (model.page.width - model.page.left - model.page.right) * scale;
    double y = (model.page.height - model.page.bottom) * scale - pages.NotesHeight(notes);
    painter.save();
    painter.setPen(QPen(Qt::black, 0.75 * pages.Dpi() / 96)); // a hairline of 0.56 points
    painter.drawLine(QPointF(left, y + pages.Dpi() / 12), QPointF(left + width * 0.3, y + pages.Dpi() / 12));
    y += pages.Dpi() / 6;
    for (int number : notes) {
        QTextDocument& note = pages.Note(number);
        painter.save();
        painter.translate(left, y);
        QAbstractTextDocumentLayout::PaintContext context;
        context.palette.setColor(QPalette::Text, Qt::black);
        context.clip = QRectF(QPointF(0, 0), note.size());
        note.documentLayout()->draw(&painter, context);
        painter.restore();
        y += note.size().height();
    }
    painter.restore();
}

} // namespace

void PaintPage(QPainter& painter, const QTextDocument& document, int index,
               const QList<QAbstractTextDocumentLayout::Selection>& selections)
{
    // Top to bottom, so that text comes out of the page in reading order.
    const ReportPages* pages = PagesOf(document);
    if (pages)
        PaintPart(painter, *pages, true, index, document.pageCount());

    const QSizeF page = PagePixels(document);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, Qt::black);
    painter.save();
    painter.setClipRect(QRectF(QPointF(0, 0), page));
    painter.translate(0, -index * page.height());
    context.clip = QRectF(0, index * page.height(), page.width(), page.height());
    context.selections = selections;
    // Pictures are often enlarged on paper; unsmoothed they come out blocky.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (pages) {
        PaintFloats(painter, *pages, document, context.clip, true);
        PaintBorders(painter, pages->Borders(document), context.clip, true);
    }
    document.documentLayout()->draw(&painter, context);
    if (pages) {
        PaintBorders(painter, pages->Borders(document), context.clip, false);
        PaintFloats(painter, *pages, document, context.clip, false);
    }
    painter.restore();

    if (pages)
        PaintNotes(painter, *pages, index);
    if (pages)
        PaintPart(painter, *pages, false, index, document.pageCount());
}

} // namespace keld::render
