// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/render/RenderBuilder.h"

#include "report/render/RenderBuilderShared.h"

#include <QGuiApplication>
#include <QLocale>
#include <QScreen>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>

#include <algorithm>
#include <cmath>
#include <utility>

// The entry point: the resolution a report is laid out at, the cut at the page limit, and the
// steps after layout that put the rendered report together.

namespace keld::render {

// Said the same in every language the program runs in, as its other messages.
QString PageLimitNote()
{
    return QStringLiteral("The report was cut here: more than %1 pages.")
        .arg(QLocale(QLocale::English).toString(kMaxPages));
}

double DocumentDpi()
{
    if (QCoreApplication::testAttribute(Qt::AA_Use96Dpi))
        return 96;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        return std::round(screen->logicalDotsPerInchY());
    return 96;
}

namespace {

QTextBlockFormat NoteBlockFormat(double dpi)
{
    QTextBlockFormat format;
    format.setTopMargin(dpi / 6);
    return format;
}

QTextCharFormat NoteTextFormat(double dpi)
{
    QTextCharFormat text;
    text.setFontItalic(true);
    text.setProperty(QTextFormat::FontPixelSize, static_cast<int>(std::lround(10 * dpi / 72)));
    text.setFontHintingPreference(QFont::PreferNoHinting);
    text.setForeground(QColor(160, 0, 0));
    return text;
}

// The height the notes take at the end of the report, laid out as they will be.
double NotesHeight(const QStringList& notes, double dpi, double width)
{
    QTextDocument measure;
    measure.setUseDesignMetrics(true);
    measure.setDocumentMargin(0);
    measure.setTextWidth(width);
    QTextCursor end(&measure);
    for (const QString& note : notes) {
        if (end.position() > 0)
            end.insertBlock(NoteBlockFormat(dpi), NoteTextFormat(dpi));
        else
            end.setBlockFormat(NoteBlockFormat(dpi)); // Qt drops the space above a first block
        end.insertText(note, NoteTextFormat(dpi));
    }
    return measure.size().height() + dpi / 6 + 2;
}

} // namespace

RenderedReport BuildDocument(std::shared_ptr<const RenderModel> model)
{
    QStringList notes;
    for (const std::string& note : model->notes)
        notes.append(QString::fromStdString(note));
    auto images = std::make_shared<std::vector<QImage>>(DecodePictures(*model, notes));
    // Qt's layout coordinates end at 2^25 pixels: a report that might not fit is laid out on
    // coarser pixels. What is laid out is the body up to the room the page limit leaves.
    // The estimate reaches as far as any build may lay out, so that a build never takes finer
    // pixels than what it lays out fits in (a long unbroken text laid out twice took twice as long).
    constexpr double kMaxRoomPages = 8.0 * kMaxPages; // within Qt's coordinates at the coarsest pixels
    const double estimate = [&] {
        QTextDocument scratch;
        return Builder(*model, *images, scratch, kExactDpi).EstimatePages(kMaxRoomPages);
    }();
    auto fittingDpi = [&](double roomPages) {
        double dpi = kExactDpi;
        const double pages = std::min(estimate, roomPages);
        while (dpi > kCoarsestDpi &&
               pages * kEstimateMargin * model->page.height * dpi / kTwipsPerInch > kMaxLayoutPixels)
            dpi -= kCoarsestDpi;
        return dpi;
    };
    // Text far narrower than the estimate reckons can end before the page limit where the
    // estimate cut it: it is built again with room in proportion, so that the cut falls at the end
    // of the limit's last page.
    double roomPages = 2.0 * kMaxPages;
    std::unique_ptr<QTextDocument> document;
    double dpi = kExactDpi;
    QStringList built;
    bool cutByEstimate = false;
    auto build = [&] {
        document = std::make_unique<QTextDocument>();
        Builder builder(*model, *images, *document, dpi);
        builder.SetRoomPages(roomPages);
        builder.BuildReport();
        built = builder.Notes();
        cutByEstimate = builder.CutByEstimate();
    };
    if (estimate > kMaxPages) {
        // A report the page limit may cut is laid out on its opening pages first, to learn how
        // far the estimate errs on it; the room then holds what the limit takes with some to
        // spare, rather than twice the limit's estimate (laying out a 10 MB word took 13 s so).
        constexpr double kSamplePages = 50;
        constexpr double kSpare = 1.15;
        roomPages = kSamplePages;
        dpi = fittingDpi(roomPages);
        build();
        const int sample = document->pageCount();
        if (cutByEstimate && sample >= kSamplePages / 5)
            roomPages =
                std::clamp(kSpare * kMaxPages * kSamplePages / sample, kSpare * kMaxPages, kMaxRoomPages);
        else
            roomPages = 2.0 * kMaxPages;
    }
    for (int attempt = 0;; ++attempt) {
        dpi = fittingDpi(roomPages);
        build();
        while (dpi > kCoarsestDpi &&
               !(document->size().height() > 0 && document->size().height() < kMaxLayoutPixels)) {
            // Laid out far longer than the estimate: again, on pixels coarse enough for it.
            dpi = std::max(kCoarsestDpi, std::floor(dpi / 4 / kCoarsestDpi) * kCoarsestDpi);
            build();
        }
        const int laid = cutByEstimate ? document->pageCount() : kMaxPages;
        if (laid >= kMaxPages || attempt == 2 || roomPages >= kMaxRoomPages)
            break;
        roomPages =
            std::min(kMaxRoomPages, roomPages * std::clamp(1.2 * kMaxPages / std::max(laid, 1), 1.5, 8.0));
    }
    notes.append(built);
    ReportAssembly report(std::move(model), std::move(images), dpi, std::move(document));
    QTextDocument& body = report.Document();
    notes.append(report.BuildParts());
    report.BuildFootnotes();
    KeepWithNext(body);
    KeepBoxesOnTheirPage(body);
    auto notesHeight = [&](const std::vector<int>& n) { return report.NotesHeight(n); };
    report.SetPageNotes(PlaceFootnotes(body, report.Model(), notesHeight));
    if (WiderThanPaper(body))
        notes.append(QStringLiteral("Content wider than the paper was cut off at the paper's edge."));
    if (body.pageCount() > kMaxPages) {
        notes.append(PageLimitNote());
        notes.removeDuplicates();
        // The last page keeps room for its footnotes and for the notes that end the report.
        double reserved = NotesHeight(notes, dpi,
                                      body.pageSize().width() - body.rootFrame()->frameFormat().leftMargin() -
                                          body.rootFrame()->frameFormat().rightMargin());
        if (report.PageNotes().size() >= static_cast<std::size_t>(kMaxPages))
            reserved += report.NotesHeight(report.PageNotes()[kMaxPages - 1]);
        CutAtPageLimit(body, reserved);
        // The notes of the pages cut away go with them.
        std::vector<std::vector<int>> kept = report.PageNotes();
        if (kept.size() > static_cast<std::size_t>(kMaxPages))
            kept.resize(kMaxPages);
        report.SetPageNotes(std::move(kept));
    }
    notes.removeDuplicates();
    if (!notes.isEmpty()) {
        // On the report's last page, so that a printout says it is not the whole report.
        QTextCursor end(&body);
        end.movePosition(QTextCursor::End);
        for (const QString& note : notes) {
            end.insertBlock(NoteBlockFormat(dpi), NoteTextFormat(dpi));
            end.insertText(note, NoteTextFormat(dpi));
        }
        // They too stop above the footnotes of their page.
        if (body.pageCount() <= kMaxPages)
            report.SetPageNotes(PlaceFootnotes(body, report.Model(), notesHeight));
    }
    report.SetNotes(notes);
    return report.Finish();
}

} // namespace keld::render
