#include "ReportRenderer.h"

#include <QTextDocument>

namespace keld {

std::unique_ptr<QTextDocument> RenderReport(const RtfDocument& document)
{
    auto rendered = std::make_unique<QTextDocument>();
    rendered->setPlainText(QString::fromUcs4(document.Text().data(), static_cast<qsizetype>(document.Text().size())));
    return rendered;
}

} // namespace keld
