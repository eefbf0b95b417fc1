// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "report/RenderModel.h"

#include <QAbstractTextDocumentLayout>
#include <QColor>
#include <QImage>
#include <QList>
#include <QPageLayout>
#include <QPen>
#include <QRectF>
#include <QStringList>

#include <array>
#include <memory>
#include <vector>

class QPainter;
class QTextDocument;

namespace keld::render {

// A paragraph's border on the document, in document pixels.
struct BorderBox {
    QRectF box;                    // the middle of the lines
    std::array<QPen, 4> pens;      // by side; Qt::NoPen where there is none
    std::array<bool, 4> doubled{}; // two lines of the pen's width, a width apart
    QColor fill;                   // the paragraph's shading, up to the lines; invalid: none
};

// A floating picture as placed on the document, in document pixels.
struct FloatBox {
    QRectF box;
    int picture = -1;
    bool behind = false;
};

// A report laid out on its pages, with all that painting them takes: the body, each page's
// header, footer and footnotes already laid out, and the notes on what was changed to show it.
// Built whole by BuildDocument; nothing in it changes afterwards, so every reader is a lookup.
class RenderedReport {
public:
    RenderedReport(RenderedReport&&) noexcept;
    RenderedReport& operator=(RenderedReport&&) noexcept;
    ~RenderedReport();

    // The body, paginated on pages of PagePixels().
    const QTextDocument& Document() const { return *m_document; }
    int PageCount() const { return static_cast<int>(m_pages.size()); }
    const RenderModel& Model() const { return *m_model; }

    // What the renderer changed or left out to show the report (a cut at the page limit, margins
    // too wide for the paper, tables nested too deep, pictures too large), one sentence each;
    // these also stand at the end of the report. Empty when the report is shown whole.
    const QStringList& Notes() const { return m_notes; }

    // The text of the footnotes drawn at the foot of page `index` (from 0), in order.
    QStringList FootnotesOfPage(int index) const;

    // The paper the report was built for, with its margins.
    const QPageLayout& PageLayout() const { return m_pageLayout; }
    // A page in document pixels, margins included, and the pixels' resolution.
    QSizeF PagePixels() const { return m_pagePixels; }
    double PixelDpi() const { return m_dpi; }

    // A copy laid out on its paper again, with every page's header, footer and footnotes.
    RenderedReport PaperCopy() const;

    // Paints page `index` (from 0) with its header, footer and footnotes, in document pixels with
    // the paper's top left corner at (0, 0). Automatic colours are black, as on paper.
    // `selections` are painted over the body text (a viewer's selected text).
    void PaintPage(QPainter& painter, int index,
                   const QList<QAbstractTextDocumentLayout::Selection>& selections = {}) const;

private:
    friend class ReportAssembly;

    // A page's header and footer with its own numbers; null where the page has none. Pages whose
    // parts read the same share them.
    struct PageParts {
        std::shared_ptr<const QTextDocument> header;
        std::shared_ptr<const QTextDocument> footer;
    };

    RenderedReport();

    void PaintPart(QPainter& painter, const QTextDocument* part, bool header) const;
    void PaintFloats(QPainter& painter, const QRectF& page, bool behind) const;
    void PaintNotes(QPainter& painter, int index) const;
    double NotesHeight(const std::vector<int>& notes) const;

    std::unique_ptr<QTextDocument> m_document;
    std::shared_ptr<const RenderModel> m_model;
    std::shared_ptr<const std::vector<QImage>> m_images;
    double m_dpi = 0;
    QPageLayout m_pageLayout;
    QSizeF m_pagePixels;
    QStringList m_notes;
    std::vector<PageParts> m_pages;
    // The footnotes laid out for the foot of their pages, by number from 1 (index 0 unused), and
    // the numbers at the foot of each page.
    std::vector<std::shared_ptr<const QTextDocument>> m_footnotes;
    std::vector<std::vector<int>> m_pageNotes;
    std::vector<BorderBox> m_borders; // sorted by their tops
    std::vector<FloatBox> m_floats;
};

} // namespace keld::render
