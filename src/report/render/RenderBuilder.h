// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "report/RenderModel.h"

#include <QAbstractTextDocumentLayout>
#include <QList>
#include <QPageLayout>
#include <QStringList>

#include <memory>

class QPainter;
class QTextDocument;

namespace keld::render {

// Lengths of a rendered document are in pixels at this resolution: the screen's logical one, in
// which QTextDocument lays out text.
double DocumentDpi();

// Builds the QTextDocument of a report, paginated on its paper with its margins. The model stays
// with the document, for the page headers and footers.
std::unique_ptr<QTextDocument> BuildDocument(std::shared_ptr<const RenderModel> model);

// The most pages a report is laid out on; past them it is cut, with a note.
inline constexpr int kMaxPages = 2000;

// What the renderer changed or left out to show a report (a cut at the page limit, margins too
// wide for the paper, tables nested too deep, pictures too large), one sentence each; these
// also stand at the end of the report. Empty when the report is shown whole.
QStringList RenderNotes(const QTextDocument& document);

// The text of the footnotes drawn at the foot of page `index` (from 0), in order.
QStringList FootnotesOfPage(const QTextDocument& document, int index);

// Whether the document was built here, and the page it was built for (A4 with 2 cm margins for
// any other document).
bool IsRenderedReport(const QTextDocument& document);
QPageLayout PageLayoutOf(const QTextDocument& document);
// The document's page in its own pixels, margins included, and the pixels' resolution.
QSizeF PagePixels(const QTextDocument& document);
double PixelDpi(const QTextDocument& document);

// A copy of a rendered document laid out on its paper again, for printing a document that a
// viewer has laid out to its own width.
std::unique_ptr<QTextDocument> PaperCopy(const QTextDocument& document);

// Paints page `index` (from 0) of a paginated rendered document with its header and footer, in
// document pixels with the paper's top left corner at (0, 0). Automatic colours are black, as on
// paper. `selections` are painted over the body text (a viewer's selected text).
void PaintPage(QPainter& painter, const QTextDocument& document, int index,
               const QList<QAbstractTextDocumentLayout::Selection>& selections = {});

} // namespace keld::render
