// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/render/RenderBuilderShared.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

// Pages: a rendered report put together from its built body, with each page's header and footer,
// its footnotes, and the borders and pictures drawn where the body's layout put them.

namespace keld::render {

namespace {

const Flow& PartFlow(const RenderModel& model, bool header, int index)
{
    const PageSetup& page = model.page;
    if (index == 0 && page.titlePage)
        return header ? model.headerFirst : model.footerFirst;
    if (index % 2 == 1 && page.facingPages)
        return header ? model.headerLeft : model.footerLeft;
    return header ? model.header : model.footer;
}

// The numbers of a part's page fields on page `page` of `pages`.
QStringList FieldNumbers(const std::vector<FieldSpot>& fields, int page, int pages)
{
    QStringList numbers;
    for (const FieldSpot& field : fields)
        numbers.append(QString::number(field.page ? page : pages));
    return numbers;
}

// Writes `numbers` over a part's page fields, in order, each moving those after it by the change
// in its length; one edit, so that the part is laid out once.
void WriteNumbers(QTextDocument& part, std::vector<FieldSpot> fields, const QStringList& numbers)
{
    QTextCursor edit(&part);
    edit.beginEditBlock();
    int shift = 0;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        FieldSpot& field = fields[k];
        field.at += shift;
        const QString& number = numbers[static_cast<qsizetype>(k)];
        if (number == field.text)
            continue;
        QTextCursor cursor(&part);
        cursor.setPosition(field.at + 1);
        const QTextCharFormat format = cursor.charFormat();
        cursor.setPosition(field.at);
        cursor.setPosition(field.at + static_cast<int>(field.text.size()), QTextCursor::KeepAnchor);
        cursor.insertText(number, format);
        shift += static_cast<int>(number.size() - field.text.size());
    }
    edit.endEditBlock();
}

// The paragraph borders of the document as laid out, sorted by their tops.
std::vector<BorderBox> Borders(const QTextDocument& document)
{
    std::vector<BorderBox> borders;
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat format = block.blockFormat();
        BorderBox box;
        bool any = false;
        for (int side = 0; side < 4; ++side) {
            box.pens[side] = format.hasProperty(kBorderProperty + side)
                                 ? format.penProperty(kBorderProperty + side)
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
        borders.push_back(box);
    }
    std::stable_sort(borders.begin(), borders.end(),
                     [](const BorderBox& a, const BorderBox& b) { return a.box.top() < b.box.top(); });
    return borders;
}

// The floating pictures of the document as laid out.
std::vector<FloatBox> Floats(const QTextDocument& document, const RenderModel& model, double dpi)
{
    std::vector<FloatBox> floats;
    const PageSetup& setup = model.page;
    const double scale = dpi / kTwipsPerInch;
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
            floats.push_back(box);
        }
    }
    return floats;
}

} // namespace

RenderedReport::RenderedReport() = default;
RenderedReport::RenderedReport(RenderedReport&&) noexcept = default;
RenderedReport& RenderedReport::operator=(RenderedReport&&) noexcept = default;
RenderedReport::~RenderedReport() = default;

ReportAssembly::ReportAssembly(std::shared_ptr<const RenderModel> model,
                               std::shared_ptr<const std::vector<QImage>> images, double dpi,
                               std::unique_ptr<QTextDocument> document)
{
    m_report.m_model = std::move(model);
    m_report.m_images = std::move(images);
    m_report.m_dpi = dpi;
    m_report.m_document = std::move(document);
}

QStringList ReportAssembly::BuildParts()
{
    QStringList notes;
    const RenderModel& model = Model();
    for (const Flow* flow : {&model.header, &model.headerFirst, &model.headerLeft, &model.footer,
                             &model.footerFirst, &model.footerLeft}) {
        if (flow->empty())
            continue;
        (void)PartOf(*flow, 1, 1); // built here, for its notes
        notes.append(m_parts[flow].notes);
    }
    return notes;
}

std::shared_ptr<const QTextDocument> ReportAssembly::PartOf(const Flow& flow, int page, int pages)
{
    if (flow.empty())
        return nullptr;
    BuiltPart& part = m_parts[&flow];
    auto build = [&](std::vector<FieldSpot>& fields) {
        auto document = std::make_shared<QTextDocument>();
        Builder builder(Model(), *m_report.m_images, *document, Dpi());
        builder.BuildPart(flow, fields);
        if (!part.last)
            part.notes = builder.Notes();
        return document;
    };
    if (!part.last) {
        part.last = build(part.fields);
        for (const FieldSpot& field : part.fields)
            part.lastNumbers.append(field.text);
        (void)part.last->size(); // laid out now, not when it is painted
    }
    QStringList numbers = FieldNumbers(part.fields, page, pages);
    if (numbers != part.lastNumbers) {
        // Built again as the first was, its fields where they stood there, and given its numbers.
        std::vector<FieldSpot> fields;
        std::shared_ptr<QTextDocument> copy = build(fields);
        WriteNumbers(*copy, part.fields, numbers);
        (void)copy->size();
        part.last = std::move(copy);
        part.lastNumbers = std::move(numbers);
    }
    return part.last;
}

std::shared_ptr<const QTextDocument> ReportAssembly::BuildFootnote(int number) const
{
    auto note = std::make_shared<QTextDocument>();
    const RenderModel& model = Model();
    const auto index = static_cast<std::size_t>(number - 1);
    const std::size_t begin = std::min(model.footnoteStarts[index], model.footnotes.size());
    const std::size_t end = index + 1 < model.footnoteStarts.size()
                                ? std::min(model.footnoteStarts[index + 1], model.footnotes.size())
                                : model.footnotes.size();
    Builder(model, *m_report.m_images, *note, Dpi())
        .BuildNote(std::span<const Block>(model.footnotes.data() + begin, std::max(begin, end) - begin));
    (void)note->size(); // laid out now, not when it is painted
    return note;
}

void ReportAssembly::BuildFootnotes()
{
    const RenderModel& model = Model();
    // Too many notes stand after the text instead (see BuildReport).
    if (model.footnoteStarts.empty() || model.footnoteStarts.size() > kMaxFootnotesAtFoot)
        return;
    m_report.m_footnotes.assign(model.footnoteStarts.size() + 1, nullptr);
    for (std::size_t number = 1; number < m_report.m_footnotes.size(); ++number)
        m_report.m_footnotes[number] = BuildFootnote(static_cast<int>(number));
}

RenderedReport ReportAssembly::Finish()
{
    RenderedReport& report = m_report;
    const PageSetup& setup = Model().page;
    const double scale = Dpi() / kTwipsPerInch;
    report.m_pagePixels = QSizeF(setup.width * scale, setup.height * scale);
    auto pt = [](std::int32_t twips) { return twips / 20.0; };
    const QSizeF paper(pt(setup.width), pt(setup.height));
    const bool landscape = paper.width() > paper.height();
    const QPageSize size(landscape ? paper.transposed() : paper, QPageSize::Point, QString(),
                         QPageSize::ExactMatch);
    report.m_pageLayout = QPageLayout(
        size, landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
        QMarginsF(pt(setup.left), pt(setup.top), pt(setup.right), pt(setup.bottom)), QPageLayout::Point);

    const QTextDocument& body = *report.m_document;
    const int count = body.pageCount();
    report.m_pages.clear();
    report.m_pages.reserve(static_cast<std::size_t>(count));
    for (int index = 0; index < count; ++index) {
        report.m_pages.push_back({PartOf(PartFlow(Model(), true, index), index + 1, count),
                                  PartOf(PartFlow(Model(), false, index), index + 1, count)});
    }
    report.m_borders = Borders(body);
    report.m_floats = Floats(body, Model(), Dpi());
    return std::move(m_report);
}

RenderedReport ReportAssembly::CopyOf(const RenderedReport& report)
{
    std::unique_ptr<QTextDocument> copy(report.m_document->clone());
    copy->setPageSize(report.m_pagePixels);
    ReportAssembly assembly(report.m_model, report.m_images, report.m_dpi, std::move(copy));
    RenderedReport& made = assembly.m_report;
    made.m_notes = report.m_notes;
    made.m_footnotes = report.m_footnotes;
    made.m_pageNotes = report.m_pageNotes;
    if (made.m_document->pageCount() != report.PageCount())
        return assembly.Finish(); // laid out again on other pages: their parts are built anew
    made.m_pageLayout = report.m_pageLayout;
    made.m_pagePixels = report.m_pagePixels;
    made.m_pages = report.m_pages;
    made.m_borders = Borders(*made.m_document);
    made.m_floats = Floats(*made.m_document, made.Model(), made.m_dpi);
    return std::move(assembly.m_report);
}

} // namespace keld::render
