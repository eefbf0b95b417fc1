// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "report/RtfDocument.h"
#include "report/render/RenderedReport.h"

#include <QString>
#include <QStringList>

#include <filesystem>
#include <functional>
#include <memory>

class QPagedPaintDevice;

namespace keld {

// Lays out the engine's document on the document's own page size and margins.
render::RenderedReport RenderReport(const RtfDocument& document);

// Told after each page (pages done, page count); false stops the job.
using PageProgress = std::function<bool(int done, int count)>;

// Prints a rendered report on a printer or PDF writer, one job, with the rendered page layout.
// False when the device could not be painted on or finished with an error, or progress stopped it.
bool PrintReport(const render::RenderedReport& rendered, QPagedPaintDevice& device,
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
// The same PDF as bytes in memory, for a caller that does more with it than write it.
Result<std::string> MakePdf(const PdfInfo& info, const std::function<bool(QPagedPaintDevice&)>& print);

// Renders and writes a PDF (what printing would put on paper) titled `title`; needs no display.
// `notes`, when given, gets what the renderer changed or left out to show the report (see
// RenderedReport::Notes).
Status WriteReportPdf(const RtfDocument& document, const std::filesystem::path& path, const QString& title,
                      QStringList* notes = nullptr);

} // namespace keld
