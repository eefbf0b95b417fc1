#pragma once

#include "report/RtfDocument.h"

#include <filesystem>
#include <memory>

class QTextDocument;
class QPagedPaintDevice;

namespace keld {

// Turns the engine's document into a QTextDocument laid out on the document's own page size
// and margins.
std::unique_ptr<QTextDocument> RenderReport(const RtfDocument& document);

// Prints a rendered report on a printer or PDF writer, one job, with the rendered page layout.
void PrintReport(const QTextDocument& rendered, QPagedPaintDevice& device);

// Renders and writes a PDF (what printing would put on paper); needs no display.
Status WriteReportPdf(const RtfDocument& document, const std::filesystem::path& path);

} // namespace keld
