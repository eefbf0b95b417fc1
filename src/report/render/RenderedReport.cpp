// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/render/RenderedReport.h"

#include "report/render/RenderBuilderShared.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextDocument>

#include <algorithm>
#include <array>

// Reading and painting a rendered report: every page's parts were laid out when it was built.

namespace keld::render {

namespace {

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

} // namespace

QStringList RenderedReport::FootnotesOfPage(int index) const
{
    QStringList texts;
    if (index < 0 || index >= static_cast<int>(m_pageNotes.size()))
        return texts;
    for (int number : m_pageNotes[static_cast<std::size_t>(index)])
        texts.append(m_footnotes[static_cast<std::size_t>(number)]->toPlainText());
    return texts;
}

RenderedReport RenderedReport::PaperCopy() const
{
    return ReportAssembly::CopyOf(*this);
}

// The notes of a page under their rule.
double RenderedReport::NotesHeight(const std::vector<int>& notes) const
{
    if (notes.empty())
        return 0;
    double height = m_dpi / 6; // the rule and the space above it
    for (int number : notes)
        height += m_footnotes[static_cast<std::size_t>(number)]->size().height();
    return height;
}

// The page's header or footer, in the page's top and bottom margins.
void RenderedReport::PaintPart(QPainter& painter, const QTextDocument* part, bool header) const
{
    if (!part)
        return;
    const RenderModel& model = *m_model;
    const double scale = m_dpi / kTwipsPerInch;
    const double height = part->size().height();
    const double y =
        header ? model.page.headerY * scale : (model.page.height - model.page.footerY) * scale - height;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(model.page.left * scale, y);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, Qt::black);
    context.clip = QRectF(QPointF(0, 0), part->size());
    part->documentLayout()->draw(&painter, context);
    painter.restore();
}

void RenderedReport::PaintFloats(QPainter& painter, const QRectF& page, bool behind) const
{
    const std::vector<QImage>& images = *m_images;
    for (const FloatBox& f : m_floats) {
        if (f.behind != behind || !f.box.intersects(page) || f.picture < 0 ||
            f.picture >= static_cast<int>(images.size()))
            continue;
        const QImage& image = images[static_cast<std::size_t>(f.picture)];
        if (!image.isNull())
            painter.drawImage(f.box, image);
    }
}

void RenderedReport::PaintNotes(QPainter& painter, int index) const
{
    if (index < 0 || index >= static_cast<int>(m_pageNotes.size()))
        return;
    const std::vector<int>& notes = m_pageNotes[static_cast<std::size_t>(index)];
    if (notes.empty())
        return;
    const RenderModel& model = *m_model;
    const double scale = m_dpi / kTwipsPerInch;
    const double left = model.page.left * scale;
    const double width = (model.page.width - model.page.left - model.page.right) * scale;
    double y = (model.page.height - model.page.bottom) * scale - NotesHeight(notes);
    painter.save();
    painter.setPen(QPen(Qt::black, 0.75 * m_dpi / 96)); // a hairline of 0.56 points
    painter.drawLine(QPointF(left, y + m_dpi / 12), QPointF(left + width * 0.3, y + m_dpi / 12));
    y += m_dpi / 6;
    for (int number : notes) {
        const QTextDocument& note = *m_footnotes[static_cast<std::size_t>(number)];
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

void RenderedReport::PaintPage(QPainter& painter, int index,
                               const QList<QAbstractTextDocumentLayout::Selection>& selections) const
{
    const PageParts* parts =
        index >= 0 && index < PageCount() ? &m_pages[static_cast<std::size_t>(index)] : nullptr;
    // Top to bottom, so that text comes out of the page in reading order.
    if (parts)
        PaintPart(painter, parts->header.get(), true);

    const QSizeF page = m_pagePixels;
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, Qt::black);
    painter.save();
    painter.setClipRect(QRectF(QPointF(0, 0), page));
    painter.translate(0, -index * page.height());
    context.clip = QRectF(0, index * page.height(), page.width(), page.height());
    context.selections = selections;
    // Pictures are often enlarged on paper; unsmoothed they come out blocky.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    PaintFloats(painter, context.clip, true);
    PaintBorders(painter, m_borders, context.clip, true);
    m_document->documentLayout()->draw(&painter, context);
    PaintBorders(painter, m_borders, context.clip, false);
    PaintFloats(painter, context.clip, false);
    painter.restore();

    PaintNotes(painter, index);
    if (parts)
        PaintPart(painter, parts->footer.get(), false);
}

} // namespace keld::render
