// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/render/ReportRenderer.h"

#include "common/TextFile.h"
#include "report/RenderReader.h"
#include "report/render/RenderBuilder.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>

namespace keld {

render::RenderedReport RenderReport(const RtfDocument& document)
{
    return render::BuildDocument(
        std::make_shared<render::RenderModel>(render::ReadLayout(document.Source(), document.Model())));
}

bool PrintReport(const render::RenderedReport& rendered, QPagedPaintDevice& device,
                 const PageProgress& progress)
{
    // The report's own margins are part of its pages (headers and footers stand in them), so the
    // device is asked for the whole sheet; a printer that keeps margins of its own shifts it.
    QPageLayout layout = rendered.PageLayout();
    layout.setMinimumMargins(QMarginsF());
    layout.setMargins(QMarginsF());
    device.setPageLayout(layout);

    QPainter painter(&device);
    if (!painter.isActive())
        return false;
    const double dpiX = device.logicalDpiX(), dpiY = device.logicalDpiY();
    const QRectF paint = device.pageLayout().paintRect(QPageLayout::Point);
    painter.translate(-paint.left() * dpiX / 72.0, -paint.top() * dpiY / 72.0);
    const double dpi = rendered.PixelDpi();
    painter.scale(dpiX / dpi, dpiY / dpi);
    const int pages = rendered.PageCount();
    for (int index = 0; index < pages; ++index) {
        if (index > 0)
            device.newPage();
        rendered.PaintPage(painter, index);
        if (progress && !progress(index + 1, pages))
            return false;
    }
    return painter.end();
}

QString ProgramCreator()
{
    return QStringLiteral("KELD Character Generator %1").arg(QLatin1String(KELD_VERSION_TEXT));
}

PdfInfo ReportPdfInfo(const QString& characterName)
{
    return {characterName, ProgramCreator()};
}

Result<std::string> MakePdf(const PdfInfo& info, const std::function<bool(QPagedPaintDevice&)>& print)
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
        if (!print(writer))
            return KeldError(kErrCancel, "the PDF was not finished");
    }
    if (bytes.isEmpty())
        return KeldError(kErrInvalidArgument, "the PDF could not be made");
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

Status WritePdf(const std::filesystem::path& path, const PdfInfo& info,
                const std::function<bool(QPagedPaintDevice&)>& print)
{
    auto bytes = MakePdf(info, print);
    if (!bytes) {
        if (bytes.Error().Number() == kErrCancel)
            return KeldError(kErrCancel, "the PDF was not finished", PathToUtf8(path));
        return bytes.Error();
    }
    return AtomicWriteFile(path, *bytes);
}

Status WriteReportPdf(const RtfDocument& document, const std::filesystem::path& path, const QString& title,
                      QStringList* notes)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return KeldError(kErrInvalidArgument, "writing a PDF needs the Qt GUI application object");
    const render::RenderedReport rendered = RenderReport(document);
    if (notes)
        *notes = rendered.Notes();
    return WritePdf(path, ReportPdfInfo(title),
                    [&](QPagedPaintDevice& device) { return PrintReport(rendered, device); });
}

} // namespace keld
