#include "ReportRenderer.h"

#include <QPagedPaintDevice>
#include <QTextDocument>

namespace keld {

std::unique_ptr<QTextDocument> RenderReport(const RtfDocument& document)
{
    auto rendered = std::make_unique<QTextDocument>();
    rendered->setPlainText(QString::fromUcs4(document.Text().data(), static_cast<qsizetype>(document.Text().size())));
    return rendered;
}

void PrintReport(const QTextDocument& rendered, QPagedPaintDevice& device)
{
    rendered.print(&device);
}

Status WriteReportPdf(const RtfDocument&, const std::filesystem::path&)
{
    return KeldError(kErrInvalidArgument, "not written yet");
}

} // namespace keld
