#pragma once

#include "report/RtfDocument.h"

#include <QString>
#include <QStringList>

#include <filesystem>
#include <functional>
#include <memory>

class QTextDocument;
class QPagedPaintDevice;

namespace keld {

// Turns the engine's document into a QTextDocument laid out on the document's own page size
// and margins.
std::unique_ptr<QTextDocument> RenderReport(const RtfDocument& document);

// Prints a rendered report on a printer or PDF writer, one job, with the rendered page layout.
void PrintReport(const QTextDocument& rendered, QPagedPaintDevice& device);

// What a PDF file says about itself.
struct PdfInfo {
    QString Title;
    QString Creator;
};

// The one PDF writer: `print` puts the pages on a PDF writer in memory, and only a complete PDF
// replaces the file, atomically, so that a file that cannot be written is reported like any other.
// Needs the Qt GUI application object but no display.
Status WritePdf(const std::filesystem::path& path, const PdfInfo& info,
                const std::function<void(QPagedPaintDevice&)>& print);

// Renders and writes a PDF (what printing would put on paper); needs no display.
Status WriteReportPdf(const RtfDocument& document, const std::filesystem::path& path);
// The same, giving what the renderer changed or left out to show the report (see RenderNotes).
Status WriteReportPdf(const RtfDocument& document, const std::filesystem::path& path, QStringList& notes);

} // namespace keld
