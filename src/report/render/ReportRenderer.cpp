#include "report/render/ReportRenderer.h"

#include "common/TextFile.h"
#include "report/RenderReader.h"
#include "report/render/RenderBuilder.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

namespace keld {

std::unique_ptr<QTextDocument> RenderReport(const RtfDocument& document)
{
    return render::BuildDocument(
        std::make_shared<render::RenderModel>(render::ReadLayout(document.Source(), document.Model())));
}

void PrintReport(const QTextDocument& rendered, QPagedPaintDevice& device)
{
    if (!render::IsRenderedReport(rendered)) {
        rendered.print(&device);
        return;
    }
    const QTextDocument* document = &rendered;
    std::unique_ptr<QTextDocument> copy;
    if (rendered.pageSize() != render::PagePixels(rendered)) {
        copy = render::PaperCopy(rendered);
        document = copy.get();
    }
    // The report's own margins are part of its pages (headers and footers stand in them), so the
    // device is asked for the whole sheet; a printer that keeps margins of its own shifts it.
    QPageLayout layout = render::PageLayoutOf(rendered);
    layout.setMinimumMargins(QMarginsF());
    layout.setMargins(QMarginsF());
    device.setPageLayout(layout);

    QPainter painter(&device);
    if (!painter.isActive())
        return;
    const double dpiX = device.logicalDpiX(), dpiY = device.logicalDpiY();
    const QRectF paint = device.pageLayout().paintRect(QPageLayout::Point);
    painter.translate(-paint.left() * dpiX / 72.0, -paint.top() * dpiY / 72.0);
    const double dpi = render::PixelDpi(*document);
    painter.scale(dpiX / dpi, dpiY / dpi);
    const int pages = document->pageCount();
    for (int index = 0; index < pages; ++index) {
        if (index > 0)
            device.newPage();
        render::PaintPage(painter, *document, index);
    }
}

Status WritePdf(const std::filesystem::path& path, const PdfInfo& info,
                const std::function<void(QPagedPaintDevice&)>& print)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return KeldError(kErrInvalidArgument, "writing a PDF needs the Qt GUI application object");
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setTitle(info.Title);
        writer.setCreator(info.Creator);
        print(writer);
    }
    if (bytes.isEmpty())
        return KeldError(kErrInvalidArgument, "the PDF could not be made");
    return AtomicWriteFile(path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

Status WriteReportPdf(const RtfDocument& document, const std::filesystem::path& path)
{
    QStringList notes;
    return WriteReportPdf(document, path, notes);
}

Status WriteReportPdf(const RtfDocument& document, const std::filesystem::path& path, QStringList& notes)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return KeldError(kErrInvalidArgument, "writing a PDF needs the Qt GUI application object");
    auto rendered = RenderReport(document);
    notes = render::RenderNotes(*rendered);
    return WritePdf(path, {QString(), QStringLiteral("KELD Character Generator")},
                    [&](QPagedPaintDevice& device) { PrintReport(*rendered, device); });
}

} // namespace keld
