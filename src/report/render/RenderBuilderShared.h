// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The document builder and the report's assembly, shared by the renderer's sources; not part of
// the library's interface.

#include "common/Units.h"
#include "report/RenderModel.h"
#include "report/render/RenderBuilder.h"
#include "report/render/RenderedReport.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QSet>
#include <QStringList>
#include <QTextDocument>
#include <QTextFormat>
#include <QUrl>

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

class QTextBlock;
class QTextCursor;
class QTextDocument;

namespace keld::render {

// A report is laid out on pixels of a twip, where every font size a template can ask for is a
// whole number of pixels and lines stand where a word processor working in twips puts them. A
// report too long for Qt's coordinates there takes coarser pixels, still whole ones for every
// half point (multiples of 144 dpi).
inline constexpr double kExactDpi = kTwipsPerInch;
inline constexpr double kCoarsestDpi = 144;
inline constexpr double kMaxLayoutPixels = 32'000'000; // Qt's fixed-point coordinates end at 2^25
inline constexpr double kEstimateMargin = 1.25;        // what layout may add to the estimate

inline constexpr int kMaxColumns = 512;
inline constexpr std::size_t kMaxPartFields = 64; // page fields rewritten per page in a header or footer
inline constexpr int kMaxTableDepth = 4; // deeper tables show their text: each level doubles Qt's layout
// Grid cells of all tables: a few bytes of RTF make a row, and Qt lays out a cell in about 50 us, so
// this keeps a template's tables within a few seconds (a 3-column table of 400 pages).
inline constexpr qint64 kMaxTableCells = 50'000;

// Block properties that Qt has no format for, read back after layout and when pages are painted.
inline constexpr int kKeepNextProperty = QTextFormat::UserProperty + 1;
inline constexpr int kBorderProperty = QTextFormat::UserProperty + 2;      // + side: its pen
inline constexpr int kBorderSpaceProperty = QTextFormat::UserProperty + 6; // + side: inside it
inline constexpr int kFootnoteProperty = QTextFormat::UserProperty + 10;   // a reference: its note
inline constexpr std::size_t kMaxFootnotesAtFoot = 100; // more stand after the text, as notes
inline constexpr int kBorderDoubleProperty = QTextFormat::UserProperty + 11; // sides drawn double, by bit
inline constexpr int kBorderFillProperty = QTextFormat::UserProperty + 12;   // shading inside a border
inline constexpr int kFloatsProperty = QTextFormat::UserProperty + 13; // pictures drawn at the paragraph

// A page field in a header or footer built once: where its number stands, to be rewritten for
// each page.
struct FieldSpot {
    int at = 0;
    QString text;
    bool page = true; // the page's number, or the count of pages
};

// A header or footer as built for the pages so far: where its page fields stand when built, and
// the last copy given a page's numbers, which the pages after it share while their numbers read
// the same.
struct BuiltPart {
    std::vector<FieldSpot> fields;
    QStringList notes;
    std::shared_ptr<const QTextDocument> last;
    QStringList lastNumbers;
};

// Puts a rendered report together: the builder's steps fill it in, and Finish lays out what its
// pages need from the body's final layout.
class ReportAssembly {
public:
    ReportAssembly(std::shared_ptr<const RenderModel> model,
                   std::shared_ptr<const std::vector<QImage>> images, double dpi,
                   std::unique_ptr<QTextDocument> document);

    // A paper copy of `report`: its body laid out again on its paper, the rest shared.
    static RenderedReport CopyOf(const RenderedReport& report);

    QTextDocument& Document() { return *m_report.m_document; }
    const RenderModel& Model() const { return *m_report.m_model; }
    double Dpi() const { return m_report.m_dpi; }

    // Builds each header and footer once; what building them left out.
    QStringList BuildParts();
    // Builds the footnotes that stand at the foot of their pages.
    void BuildFootnotes();
    // The height of the notes of a page under their rule.
    double NotesHeight(const std::vector<int>& notes) const { return m_report.NotesHeight(notes); }
    const std::vector<std::vector<int>>& PageNotes() const { return m_report.m_pageNotes; }
    void SetPageNotes(std::vector<std::vector<int>> notes) { m_report.m_pageNotes = std::move(notes); }
    void SetNotes(QStringList notes) { m_report.m_notes = std::move(notes); }

    // Lays out each page's header and footer for the body's page count, and finds the borders and
    // floating pictures where the body's layout put them.
    RenderedReport Finish();

private:
    std::shared_ptr<const QTextDocument> PartOf(const Flow& flow, int page, int pages);
    std::shared_ptr<const QTextDocument> BuildFootnote(int number) const;

    RenderedReport m_report;
    std::unordered_map<const Flow*, BuiltPart> m_parts;
};

// Fix-ups of the body after Qt has laid it out (RenderPagination.cpp): each moves what a page
// cannot hold as it would fall on paper.
void MoveToNextPage(const QTextBlock& block);
void KeepWithNext(QTextDocument& document);
void KeepBoxesOnTheirPage(QTextDocument& document);
bool CutAtPageLimit(QTextDocument& document, double reserved);
bool WiderThanPaper(const QTextDocument& document);

// Footnotes at the foot of the page of their reference (RenderFootnotes.cpp): the body is moved
// clear of them, and the notes of each page are returned, by number. Empty when the notes stand
// at the report's end.
std::vector<std::vector<int>>
PlaceFootnotes(QTextDocument& document, const RenderModel& model,
               const std::function<double(const std::vector<int>&)>& notesHeight);

// The note that says where a report was cut at the page limit.
QString PageLimitNote();

// The pictures of a report, decoded within the program's limits; what was left out goes to
// `notes` (RenderPictures.cpp).
std::vector<QImage> DecodePictures(const RenderModel& model, QStringList& notes);

struct FormatHash {
    std::size_t operator()(const CharFormat& f) const noexcept
    {
        std::size_t h = static_cast<std::uint32_t>(f.font);
        for (std::int32_t v : {f.size, f.color, f.background})
            h = h * 1000003u ^ static_cast<std::uint32_t>(v);
        h = h * 31u +
            (f.bold | f.italic << 1 | f.strike << 2 | f.hidden << 3 | f.caps << 4 | f.smallCaps << 5);
        h = h * 31u + static_cast<unsigned>(f.underline) * 7u + static_cast<unsigned>(f.script);
        return h;
    }
};

// Builds a report's body, or one page's header or footer, into a QTextDocument.
class Builder {
public:
    Builder(const RenderModel& model, const std::vector<QImage>& images, QTextDocument& doc, double dpi);

    double Px(double twips) const { return twips * m_dpi / kTwipsPerInch; }
    // Fonts are given in whole pixels, at the document's resolution rather than the screen's: at
    // 20 pixels a point every size a template can ask for is exact, and so are the lines.
    int FontPixels(double points) const
    {
        return std::max(1, static_cast<int>(std::lround(points * m_dpi / 72.0)));
    }

    void Setup();
    void BuildReport();
    void BuildPart(const Flow& flow, int page, int pages);
    // Builds a header or footer once; its page fields are listed in `fields`.
    void BuildPart(const Flow& flow, std::vector<FieldSpot>& fields);
    // Builds one footnote, for the foot of its page.
    void BuildNote(std::span<const Block> blocks);
    const QStringList& Notes() const { return m_notes; }
    // The body is cut before Qt lays it out where an estimate, erring long, reaches this many pages.
    void SetRoomPages(double pages) { m_roomPages = pages; }
    bool CutByEstimate() const { return m_cutByEstimate; }
    // How many pages the body takes, erring long; for choosing the resolution.
    double EstimatePages(double capPages) const;

private:
    // Paragraphs and their formats (RenderFormats.cpp), and the flows that hold them (RenderFlow.cpp).
    static QUrl ImageUrl(int index);
    static QFont::StyleHint StyleHint(FontInfo::Kind kind);
    const FontInfo* Font(std::int32_t number) const;
    std::optional<QColor> Color(std::int32_t index) const;
    static void Collapse(QTextCursor& cursor);
    const QTextCharFormat& CharFormatOf(const CharFormat& f);

    // Paragraphs mostly repeat a few formats; one object for each lets Qt reuse its hash.
    struct BlockKey {
        std::int32_t left, right, firstLine, lineSpacing, shading;
        ParaFormat::Align align;
        bool lineMultiple, pageBreak;
        double top, cellLeft, cellRight;
        bool operator==(const BlockKey&) const = default;
    };
    struct BlockKeyHash {
        std::size_t operator()(const BlockKey& k) const noexcept
        {
            std::size_t h = std::hash<double>()(k.top) ^ std::hash<double>()(k.cellLeft) * 31u;
            for (std::int32_t v : {k.left, k.right, k.firstLine, k.lineSpacing, k.shading})
                h = h * 1000003u ^ static_cast<std::uint32_t>(v);
            return h * 31u + static_cast<unsigned>(k.align) * 4u + k.lineMultiple * 2u + k.pageBreak;
        }
    };

    QTextBlockFormat CachedBlockFormat(const ParaFormat& p, double top);
    QTextBlockFormat BlockFormatOf(const ParaFormat& p, double top) const;
    static bool HasBorder(const ParaFormat& p);
    double BorderRoom(const ParaFormat& p, int side) const;
    QSizeF PictureSize(const Picture& picture, const QImage& image) const;
    void EmitParagraph(QTextCursor& cursor, const Block& block, bool& fresh, double top);
    void EmitFlow(QTextCursor& cursor, std::span<const Block> flow, bool& fresh, bool nested);
    double EstimateBlock(const Block& block, double width) const;

    // Tables (RenderTables.cpp).
    struct Placed {
        int row = 0, col = 0, rows = 1, cols = 1;
        const CellDef* def = nullptr;
        const RowDef* rowDef = nullptr;
        bool firstInRow = false, lastInRow = false;
        std::vector<const Cell*> content;
        bool absorbed = false;
    };

    struct Grid {
        std::vector<double> widths; // pixels
        double left = 0;            // pixels from the margin
        std::vector<Placed> cells;
    };

    std::pair<double, double> CellSpace(const std::vector<const Cell*>& content) const;
    Grid LayoutGrid(const Table& table) const;
    static bool HasTable(const std::vector<const Cell*>& content);
    static bool HasText(const Cell& cell);
    QTextFrameFormat::BorderStyle BorderStyleOf(Border::Style style) const;
    double BorderWidth(const Border& b) const;
    void SetBorder(QTextTableCellFormat& f, int side, const Border& b) const;
    double Padding(const Placed& p, int side) const;
    static bool Shown(const Border& b);
    static std::array<Border, 4> BordersOf(const Placed& p, int rowCount);
    QTextTableCellFormat CellFormatOf(const Placed& p, const std::array<Border, 4>& borders,
                                      const std::array<double, 4>& padding) const;
    double EstimateHeight(const std::vector<const Cell*>& cells);
    double LineHeight(const CharFormat& f);
    void EmitTable(QTextCursor& cursor, const Table& table, bool& fresh, bool nested, double above,
                   double below);

    const RenderModel& m_model;
    const std::vector<QImage>& m_images;
    QTextDocument& m_doc;
    double m_dpi;
    double m_bodyWidth = 0;
    double m_bodyHeight = 0;
    int m_page = 0;
    int m_pages = 0;
    std::vector<FieldSpot>* m_fields = nullptr;
    bool m_body = false; // building the body, where floating pictures are drawn at their place
    qint64 m_cellBudget = kMaxTableCells;
    bool m_afterTable = false; // the cursor stands in the empty block Qt keeps after a table
    int m_depth = 0;           // of the table being filled
    double m_room = -1;        // pixels of the body still to fill before the page limit; <0: none
    double m_roomPages = 2.0 * kMaxPages;
    bool m_cutByEstimate = false;
    QStringList m_notes;
    QString m_cutNote;
    QSet<QString> m_families;
    double m_cellLeft = 0; // padding of the cell being filled, given to its paragraphs
    double m_cellRight = 0;
    std::unordered_map<CharFormat, QTextCharFormat, FormatHash> m_formats;
    std::unordered_map<CharFormat, double, FormatHash> m_lineHeights;
    std::unordered_map<BlockKey, QTextBlockFormat, BlockKeyHash> m_blockFormats;
};

} // namespace keld::render
