#pragma once

#include "report/RtfDocument.h"

#include <QString>
#include <QStringList>

#include <filesystem>
#include <functional>
#include <memory>

class QTextDocument;
class QPagedPaintDevice;
class QPainter;

namespace keld {

namespace render {
struct RenderModel;
}

// Turns the engine's document into a QTextDocument laid out on the document's own page size
// and margins.
std::unique_ptr<QTextDocument> RenderReport(const RtfDocument& document);

// The two halves of RenderReport. Reading a filled report's layout needs no Qt and may run on any
// thread; the document built from it holds fonts of the thread that builds it, so it is built,
// laid out and painted on one thread.
std::shared_ptr<const render::RenderModel> ReadReportLayout(const RtfDocument& document);
std::unique_ptr<QTextDocument> RenderReport(std::shared_ptr<const render::RenderModel> layout);
// What the renderer changed or left out to show a rendered report, one sentence each.
QStringList RenderedReportNotes(const QTextDocument& rendered);

// Told after each page (pages done, page count); false stops the job.
using PageProgress = std::function<bool(int done, int count)>;

// Prints a rendered report on a printer or PDF writer, one job, with the rendered page layout.
// False when the device could not be painted on or finished with an error, or progress stopped it.
bool PrintReport(const QTextDocument& rendered, QPagedPaintDevice& device, const PageProgress& progress = {});

// Several reports in one job: PrepareReportDevice gives the device the first report's page before
// a painter starts on it; PaintReportPages then puts each report's pages on the painter, in that
// report's own page layout, the first report on the device's first page (`first`) and every other
// one from a new page. Returns the pages painted, or -1 when the painter is not active or progress
// stopped it.
void PrepareReportDevice(const QTextDocument& rendered, QPagedPaintDevice& device);
int PaintReportPages(QPainter& painter, const QTextDocument& rendered, QPagedPaintDevice& device, bool first,
                     const PageProgress& progress = {});

// What a PDF file says about itself.
struct PdfInfo {
    QString Title;
    QString Creator;
};

// "KELD Character Generator" and the version: the creator of every PDF the program writes.
QString ProgramCreator();
// The information of a report's PDF: titled with the character's name.
PdfInfo ReportPdfInfo(const QString& characterName);

// The one PDF writer: `print` puts the pages on a PDF writer in memory, and only a complete PDF
// replaces the file, atomically, so that a file that cannot be written is reported like any other.
// When `print` returns false (cancelled) nothing is written and the result is the cancel error.
// Needs the Qt GUI application object but no display.
Status WritePdf(const std::filesystem::path& path, const PdfInfo& info,
                const std::function<bool(QPagedPaintDevice&)>& print);
// The same PDF as bytes in memory, for a caller that adds to it before it writes it.
Result<std::string> MakePdf(const PdfInfo& info, const std::function<bool(QPagedPaintDevice&)>& print);

// Renders and writes a PDF (what printing would put on paper) titled `title`; needs no display.
// `notes`, when given, gets what the renderer changed or left out to show the report (see
// RenderNotes).
Status WriteReportPdf(const RtfDocument& document, const std::filesystem::path& path, const QString& title,
                      QStringList* notes = nullptr);

} // namespace keld
