#include "report/render/RenderBuilder.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>

namespace keld::render {

namespace {

constexpr int kMaxImageSide = 16384;
constexpr qint64 kMaxImagePixels = 50'000'000;     // one picture
constexpr qint64 kMaxDocumentPixels = 200'000'000; // all of them
constexpr int kMaxColumns = 512;
constexpr qint64 kMaxTableCells = 400'000; // grid cells of all tables: a few bytes of RTF make a row

// What travels with a rendered document: its model, its decoded pictures and its resolution.
class ReportPages : public QObject {
public:
    ReportPages(QObject* parent, std::shared_ptr<const RenderModel> model,
                std::shared_ptr<std::vector<QImage>> images, double dpi)
        : QObject(parent), m_model(std::move(model)), m_images(std::move(images)), m_dpi(dpi)
    {
        setObjectName(QStringLiteral("keldReportPages"));
    }

    const RenderModel& Model() const { return *m_model; }
    const std::vector<QImage>& Images() const { return *m_images; }
    std::shared_ptr<const RenderModel> ModelPointer() const { return m_model; }
    std::shared_ptr<std::vector<QImage>> ImagesPointer() const { return m_images; }
    double Dpi() const { return m_dpi; }

private:
    std::shared_ptr<const RenderModel> m_model;
    std::shared_ptr<std::vector<QImage>> m_images;
    double m_dpi;
};

const ReportPages* PagesOf(const QTextDocument& document)
{
    for (QObject* child : document.children()) {
        if (auto* pages = dynamic_cast<const ReportPages*>(child))
            return pages;
    }
    return nullptr;
}

std::vector<QImage> DecodePictures(const RenderModel& model)
{
    std::vector<QImage> images;
    images.reserve(model.pictures.size());
    qint64 budget = kMaxDocumentPixels;
    for (const Picture& picture : model.pictures) {
        QByteArray bytes =
            QByteArray::fromRawData(picture.data.data(), static_cast<qsizetype>(picture.data.size()));
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        QSize size = reader.size();
        QImage image;
        // A picture claiming absurd dimensions is left out rather than allocated.
        const qint64 pixels = qint64(size.width()) * size.height();
        if (size.isValid() && size.width() <= kMaxImageSide && size.height() <= kMaxImageSide &&
            pixels <= kMaxImagePixels && pixels <= budget) {
            image = reader.read();
            budget -= pixels;
        }
        images.push_back(std::move(image));
    }
    return images;
}

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

class Builder {
public:
    Builder(const RenderModel& model, const std::vector<QImage>& images, QTextDocument& doc, double dpi)
        : m_model(model), m_images(images), m_doc(doc), m_dpi(dpi)
    {
        m_bodyWidth = Px(model.page.width - model.page.left - model.page.right);
        m_bodyHeight = Px(model.page.height - model.page.top - model.page.bottom);
    }

    double Px(double twips) const { return twips * m_dpi / 1440.0; }

    void Setup()
    {
        m_doc.setUndoRedoEnabled(false);
        m_doc.setUseDesignMetrics(true);
        m_doc.setDocumentMargin(0);
        QFont font;
        if (const FontInfo* info = Font(-1)) {
            font.setFamilies({QString::fromStdString(info->family)});
            font.setStyleHint(StyleHint(info->kind));
        }
        font.setPointSizeF(12);
        m_doc.setDefaultFont(font);
        QTextOption option = m_doc.defaultTextOption();
        option.setTabStopDistance(Px(m_model.page.defaultTab));
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        m_doc.setDefaultTextOption(option);
        for (std::size_t k = 0; k < m_images.size(); ++k) {
            if (!m_images[k].isNull())
                m_doc.addResource(QTextDocument::ImageResource, ImageUrl(static_cast<int>(k)), m_images[k]);
        }
    }

    // The whole report, paginated.
    void BuildReport()
    {
        Setup();
        const PageSetup& page = m_model.page;
        m_doc.setPageSize(QSizeF(Px(page.width), Px(page.height)));
        QTextFrameFormat root = m_doc.rootFrame()->frameFormat();
        root.setLeftMargin(Px(page.left));
        root.setRightMargin(Px(page.right));
        root.setTopMargin(Px(page.top));
        root.setBottomMargin(Px(page.bottom));
        root.setPadding(0);
        root.setBorder(0);
        m_doc.rootFrame()->setFrameFormat(root);

        QTextCursor cursor(&m_doc);
        // One edit: Qt rescans the whole document's frames after each, which made a report of
        // many tables take quadratic time.
        cursor.beginEditBlock();
        bool fresh = true;
        const Flow& body = m_model.body;
        if (!body.empty() && !body.front().table && body.front().para.before > 0) {
            // Qt drops the space above a document's first paragraph; an empty line of that
            // height keeps it.
            QTextBlockFormat spacer;
            spacer.setLineHeight(std::min(Px(body.front().para.before), m_bodyHeight / 2),
                                 QTextBlockFormat::FixedHeight);
            cursor.setBlockFormat(spacer);
            fresh = false;
        }
        EmitFlow(cursor, body, fresh, false);
        if (!m_model.footnotes.empty()) {
            // Notes close the report, under a short rule as at a page's foot.
            QTextBlockFormat rule;
            rule.setProperty(QTextFormat::BlockTrailingHorizontalRulerWidth,
                             QTextLength(QTextLength::PercentageLength, 30));
            rule.setTopMargin(Px(240));
            if (fresh)
                cursor.setBlockFormat(rule);
            else
                cursor.insertBlock(rule);
            fresh = false;
            EmitFlow(cursor, m_model.footnotes, fresh, false);
        }
        if (fresh)
            Collapse(cursor);
        cursor.endEditBlock();
    }

    // A header or footer for one page: its page fields read `page` and `pages`.
    void BuildPart(const Flow& flow, int page, int pages)
    {
        Setup();
        m_page = page;
        m_pages = pages;
        m_doc.setTextWidth(m_bodyWidth);
        QTextCursor cursor(&m_doc);
        bool fresh = true;
        EmitFlow(cursor, flow, fresh, false);
        if (fresh)
            Collapse(cursor);
    }

private:
    static QUrl ImageUrl(int index) { return QUrl(QStringLiteral("keld-picture:%1").arg(index)); }

    static QFont::StyleHint StyleHint(FontInfo::Kind kind)
    {
        switch (kind) {
        case FontInfo::Kind::Serif:
            return QFont::Serif;
        case FontInfo::Kind::Sans:
            return QFont::SansSerif;
        case FontInfo::Kind::Mono:
            return QFont::Monospace;
        case FontInfo::Kind::Script:
            return QFont::Cursive;
        case FontInfo::Kind::Decor:
            return QFont::Decorative;
        default:
            return QFont::AnyStyle;
        }
    }

    const FontInfo* Font(std::int32_t number) const
    {
        auto it = m_model.fonts.find(number < 0 ? m_model.defaultFont : number);
        return it == m_model.fonts.end() ? nullptr : &it->second;
    }

    std::optional<QColor> Color(std::int32_t index) const
    {
        if (index <= 0 || index >= static_cast<std::int32_t>(m_model.colors.size()))
            return std::nullopt;
        const std::optional<rtf::Rgb>& c = m_model.colors[index];
        if (!c)
            return std::nullopt;
        return QColor(c->red, c->green, c->blue);
    }

    // An empty block left after a table at the end of a flow: it takes no room.
    static void Collapse(QTextCursor& cursor)
    {
        if (cursor.block().length() > 1 || cursor.block() == cursor.document()->firstBlock())
            return;
        QTextBlockFormat format;
        format.setLineHeight(0, QTextBlockFormat::FixedHeight);
        cursor.setBlockFormat(format);
        QTextCharFormat tiny;
        tiny.setFontPointSize(1);
        cursor.mergeBlockCharFormat(tiny);
    }

    const QTextCharFormat& CharFormatOf(const CharFormat& f)
    {
        auto it = m_formats.find(f);
        if (it != m_formats.end())
            return it->second;
        QTextCharFormat q;
        if (const FontInfo* info = Font(f.font)) {
            if (!info->symbol)
                q.setFontFamilies(QStringList{QString::fromStdString(info->family)});
            q.setFontStyleHint(StyleHint(info->kind));
        }
        q.setFontPointSize(std::max(1.0, f.size / 2.0));
        q.setFontWeight(f.bold ? QFont::Bold : QFont::Normal);
        q.setFontItalic(f.italic);
        q.setFontStrikeOut(f.strike);
        switch (f.underline) {
        case Underline::None:
            break;
        case Underline::Single:
        case Underline::Double:
            q.setUnderlineStyle(QTextCharFormat::SingleUnderline);
            break;
        case Underline::Dotted:
            q.setUnderlineStyle(QTextCharFormat::DotLine);
            break;
        case Underline::Dash:
            q.setUnderlineStyle(QTextCharFormat::DashUnderline);
            break;
        case Underline::Wave:
            q.setUnderlineStyle(QTextCharFormat::WaveUnderline);
            break;
        }
        if (auto c = Color(f.color))
            q.setForeground(*c);
        if (auto c = Color(f.background))
            q.setBackground(*c);
        if (f.caps)
            q.setFontCapitalization(QFont::AllUppercase);
        else if (f.smallCaps)
            q.setFontCapitalization(QFont::SmallCaps);
        if (f.script == Script::Super)
            q.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
        else if (f.script == Script::Sub)
            q.setVerticalAlignment(QTextCharFormat::AlignSubScript);
        return m_formats.emplace(f, q).first->second;
    }

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

    QTextBlockFormat CachedBlockFormat(const ParaFormat& p, double top)
    {
        if (!p.tabs.empty() || p.firstLine < 0)
            return BlockFormatOf(p, top);
        const BlockKey key{p.left,         p.right,           p.firstLine, p.lineSpacing, p.shading,  p.align,
                           p.lineMultiple, p.pageBreakBefore, top,         m_cellLeft,    m_cellRight};
        auto it = m_blockFormats.find(key);
        if (it == m_blockFormats.end())
            it = m_blockFormats.emplace(key, BlockFormatOf(p, top)).first;
        return it->second;
    }

    // `top` is all the space above the paragraph; see EmitFlow.
    QTextBlockFormat BlockFormatOf(const ParaFormat& p, double top) const
    {
        QTextBlockFormat b;
        switch (p.align) {
        case ParaFormat::Align::Left:
            b.setAlignment(Qt::AlignLeft);
            break;
        case ParaFormat::Align::Center:
            b.setAlignment(Qt::AlignHCenter);
            break;
        case ParaFormat::Align::Right:
            b.setAlignment(Qt::AlignRight);
            break;
        case ParaFormat::Align::Justify:
            b.setAlignment(Qt::AlignJustify);
            break;
        }
        const std::int32_t left = std::max(p.left, 0);
        const std::int32_t indent = std::max(p.firstLine, -left);
        b.setLeftMargin(Px(left) + m_cellLeft);
        b.setRightMargin(Px(std::max(p.right, 0)) + m_cellRight);
        b.setTextIndent(Px(indent));
        b.setTopMargin(std::min(top, m_bodyHeight / 2));
        if (p.lineSpacing > 0 && p.lineMultiple)
            b.setLineHeight(std::min(p.lineSpacing, 2400) * 100.0 / 240.0,
                            QTextBlockFormat::ProportionalHeight);
        else if (p.lineSpacing > 0)
            b.setLineHeight(std::min(Px(p.lineSpacing), m_bodyHeight / 2), QTextBlockFormat::MinimumHeight);
        else if (p.lineSpacing < 0)
            b.setLineHeight(std::min(Px(-p.lineSpacing), m_bodyHeight / 2), QTextBlockFormat::FixedHeight);
        if (p.pageBreakBefore)
            b.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        if (auto c = Color(p.shading))
            b.setBackground(*c);
        std::vector<TabStop> stops = p.tabs;
        if (indent < 0 && std::none_of(stops.begin(), stops.end(), [&](const TabStop& t) {
                return t.position > left + indent && t.position < left;
            }))
            stops.push_back({left, TabStop::Kind::Left}); // a hanging indent stops at the indent
        std::sort(stops.begin(), stops.end(),
                  [](const TabStop& a, const TabStop& b) { return a.position < b.position; });
        if (!stops.empty()) {
            QList<QTextOption::Tab> tabs;
            for (const TabStop& t : stops) {
                // Stops count from the page margin, Qt's from where the first line starts.
                const double at = Px(t.position - left - indent);
                if (at <= 0)
                    continue;
                switch (t.kind) {
                case TabStop::Kind::Left:
                    tabs.append(QTextOption::Tab(at, QTextOption::LeftTab));
                    break;
                case TabStop::Kind::Center:
                    tabs.append(QTextOption::Tab(at, QTextOption::CenterTab));
                    break;
                case TabStop::Kind::Right:
                    tabs.append(QTextOption::Tab(at, QTextOption::RightTab));
                    break;
                case TabStop::Kind::Decimal:
                    tabs.append(QTextOption::Tab(at, QTextOption::DelimiterTab, QLatin1Char('.')));
                    break;
                }
            }
            b.setTabPositions(tabs);
        }
        return b;
    }

    QSizeF PictureSize(const Picture& picture, const QImage& image) const
    {
        double w = Px(picture.width), h = Px(picture.height);
        if (w <= 0 || h <= 0) {
            auto perInch = [](int dpm) { return dpm > 0 ? dpm * 0.0254 : 96.0; };
            w = image.width() * m_dpi / perInch(image.dotsPerMeterX());
            h = image.height() * m_dpi / perInch(image.dotsPerMeterY());
        }
        // Larger than the page's body it could not be printed whole: it is scaled down to fit.
        const double scale = std::min({1.0, m_bodyWidth / std::max(w, 1.0), m_bodyHeight / std::max(h, 1.0)});
        return {std::max(w * scale, 1.0), std::max(h * scale, 1.0)};
    }

    void EmitParagraph(QTextCursor& cursor, const Block& block, bool& fresh, double top)
    {
        const QTextBlockFormat format = CachedBlockFormat(block.para, top);
        const QTextCharFormat& mark = CharFormatOf(block.mark);
        if (fresh) {
            // Only an empty paragraph takes its height from the mark. Merged, not set: in a table
            // cell this format also holds the cell's borders and padding.
            cursor.setBlockFormat(format);
            if (block.runs.empty())
                cursor.mergeBlockCharFormat(mark);
            fresh = false;
        } else {
            cursor.insertBlock(format, mark);
        }
        int lastField = 0;
        for (const Run& run : block.runs) {
            switch (run.kind) {
            case Run::Kind::Text:
                cursor.insertText(QString::fromStdU16String(run.text), CharFormatOf(run.format));
                break;
            case Run::Kind::PageNumber:
            case Run::Kind::PageCount:
                if (m_page <= 0) {
                    cursor.insertText(QString::fromStdU16String(run.text), CharFormatOf(run.format));
                } else if (run.field != lastField) {
                    const int value = run.kind == Run::Kind::PageNumber ? m_page : m_pages;
                    cursor.insertText(QString::number(value), CharFormatOf(run.format));
                }
                lastField = run.field;
                continue;
            case Run::Kind::Picture: {
                if (run.picture < 0 || run.picture >= static_cast<int>(m_images.size()) ||
                    m_images[run.picture].isNull())
                    break;
                QTextImageFormat image;
                image.merge(CharFormatOf(run.format));
                image.setName(ImageUrl(run.picture).toString());
                const QSizeF size = PictureSize(m_model.pictures[run.picture], m_images[run.picture]);
                image.setWidth(size.width());
                image.setHeight(size.height());
                cursor.insertImage(image);
                break;
            }
            }
            lastField = 0;
        }
    }

    // Qt keeps only the larger of two margins that meet, and none at all at the edges of a table
    // or a cell, where paragraphs on paper keep both. So the whole space between two paragraphs
    // goes above the second, the space next to a table into the table's margin, and the space at
    // the edges of a cell into its padding (see CellFormatOf).
    void EmitFlow(QTextCursor& cursor, const Flow& flow, bool& fresh, bool nested)
    {
        for (std::size_t k = 0; k < flow.size(); ++k) {
            const Block& block = flow[k];
            const Block* before = k > 0 && !flow[k - 1].table ? &flow[k - 1] : nullptr;
            const Block* after = k + 1 < flow.size() && !flow[k + 1].table ? &flow[k + 1] : nullptr;
            if (block.table) {
                EmitTable(cursor, *block.table, fresh, nested, before ? Px(before->para.after) : 0.0,
                          after ? Px(after->para.before) : 0.0);
            } else {
                EmitParagraph(cursor, block, fresh,
                              before ? Px(before->para.after + block.para.before) : 0.0);
            }
        }
    }

    // The space above a cell's first paragraph and below its last one.
    std::pair<double, double> CellSpace(const std::vector<const Cell*>& content) const
    {
        double top = 0, bottom = 0;
        if (!content.empty() && !content.front()->blocks.empty() && !content.front()->blocks.front().table)
            top = Px(content.front()->blocks.front().para.before);
        if (!content.empty() && !content.back()->blocks.empty() && !content.back()->blocks.back().table)
            bottom = Px(content.back()->blocks.back().para.after);
        return {std::min(top, m_bodyHeight / 4), std::min(bottom, m_bodyHeight / 4)};
    }

    // ---- tables ----------------------------------------------------------------------------

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

    Grid LayoutGrid(const Table& table) const
    {
        static const CellDef kNoDef;
        // Every edge of every row, close ones taken as one, makes the column grid.
        std::vector<std::int32_t> edges;
        auto rowEdges = [](const Row& row) {
            std::vector<std::int32_t> e{row.Def().left};
            const std::size_t count = std::max(row.cells.size(), row.Def().cells.size());
            for (std::size_t k = 0; k < count; ++k) {
                std::int32_t right = k < row.Def().cells.size() ? row.Def().cells[k].right : e.back() + 1440;
                e.push_back(std::max(right, e.back()));
            }
            return e;
        };
        std::vector<std::vector<std::int32_t>> perRow;
        for (const Row& row : table.rows) {
            perRow.push_back(rowEdges(row));
            edges.insert(edges.end(), perRow.back().begin(), perRow.back().end());
        }
        std::sort(edges.begin(), edges.end());
        std::vector<std::int32_t> grid;
        for (std::int32_t e : edges) {
            if (grid.empty() || e - grid.back() > 20)
                grid.push_back(e);
        }
        if (grid.size() > kMaxColumns + 1)
            grid.resize(kMaxColumns + 1);
        auto column = [&](std::int32_t x) {
            auto it = std::upper_bound(grid.begin(), grid.end(), x + 20);
            return static_cast<int>(std::max<std::ptrdiff_t>(it - grid.begin() - 1, 0));
        };

        Grid out;
        int columns = std::max<int>(static_cast<int>(grid.size()) - 1, 1);
        std::vector<int> above; // per column: the placed cell a vertical merge continues, -1 none
        for (std::size_t r = 0; r < table.rows.size(); ++r) {
            const Row& row = table.rows[r];
            const auto& e = perRow[r];
            const std::size_t count = e.size() - 1;
            int cursor = 0;
            int previous = -1;
            std::vector<int> next(static_cast<std::size_t>(columns), -1);
            for (std::size_t k = 0; k < count; ++k) {
                const CellDef* def = k < row.Def().cells.size() ? &row.Def().cells[k] : &kNoDef;
                const Cell* content = k < row.cells.size() ? &row.cells[k] : nullptr;
                int start = std::max(column(e[k]), cursor);
                int end = std::max(column(e[k + 1]), start + 1);
                if (end > kMaxColumns)
                    end = start + 1;
                cursor = end;
                if (def->merged && previous >= 0) {
                    Placed& p = out.cells[previous];
                    p.cols = end - p.col;
                    if (content && HasText(*content))
                        p.content.push_back(content);
                    p.lastInRow = k + 1 == count;
                    continue;
                }
                Placed p;
                p.row = static_cast<int>(r);
                p.col = start;
                p.cols = end - start;
                p.def = def;
                p.rowDef = &row.Def();
                p.firstInRow = k == 0;
                p.lastInRow = k + 1 == count;
                if (content)
                    p.content.push_back(content);
                columns = std::max(columns, end);
                if (def->vmerged && start < static_cast<int>(above.size()) && above[start] >= 0) {
                    Placed& top = out.cells[above[start]];
                    if (top.col == start && top.cols == end - start && top.row + top.rows == p.row) {
                        ++top.rows;
                        if (content && HasText(*content))
                            top.content.push_back(content);
                        next.resize(static_cast<std::size_t>(columns), -1);
                        next[start] = above[start];
                        continue;
                    }
                }
                out.cells.push_back(std::move(p));
                previous = static_cast<int>(out.cells.size() - 1);
                if (def->vmergeFirst) {
                    next.resize(static_cast<std::size_t>(columns), -1);
                    next[start] = previous;
                }
            }
            above = std::move(next);
            above.resize(static_cast<std::size_t>(columns), -1);
        }
        for (int c = 0; c < columns; ++c) {
            const double w = c + 1 < static_cast<int>(grid.size()) ? Px(grid[c + 1] - grid[c]) : Px(1440);
            out.widths.push_back(std::max(w, 1.0));
        }
        out.left = grid.empty() ? 0 : Px(grid.front());
        return out;
    }

    static bool HasTable(const std::vector<const Cell*>& content)
    {
        for (const Cell* cell : content) {
            for (const Block& b : cell->blocks) {
                if (b.table)
                    return true;
            }
        }
        return false;
    }

    static bool HasText(const Cell& cell)
    {
        for (const Block& b : cell.blocks) {
            if (b.table || !b.runs.empty())
                return true;
        }
        return false;
    }

    QTextFrameFormat::BorderStyle BorderStyleOf(Border::Style style) const
    {
        switch (style) {
        case Border::Style::Double:
            return QTextFrameFormat::BorderStyle_Double;
        case Border::Style::Dotted:
            return QTextFrameFormat::BorderStyle_Dotted;
        case Border::Style::Dashed:
            return QTextFrameFormat::BorderStyle_Dashed;
        case Border::Style::None:
            return QTextFrameFormat::BorderStyle_None;
        default:
            return QTextFrameFormat::BorderStyle_Solid;
        }
    }

    double BorderWidth(const Border& b) const
    {
        // Hairlines are kept visible on screen, where thinner ones fade out.
        return Shown(b) ? std::max(Px(b.width), 0.75) : 0.0;
    }

    void SetBorder(QTextTableCellFormat& f, int side, const Border& b) const
    {
        if (!Shown(b))
            return;
        const double width = BorderWidth(b);
        const QBrush brush(Color(b.color).value_or(Qt::black));
        const auto style = BorderStyleOf(b.style);
        switch (side) {
        case kTop:
            f.setTopBorder(width);
            f.setTopBorderStyle(style);
            f.setTopBorderBrush(brush);
            break;
        case kLeft:
            f.setLeftBorder(width);
            f.setLeftBorderStyle(style);
            f.setLeftBorderBrush(brush);
            break;
        case kBottom:
            f.setBottomBorder(width);
            f.setBottomBorderStyle(style);
            f.setBottomBorderBrush(brush);
            break;
        default:
            f.setRightBorder(width);
            f.setRightBorderStyle(style);
            f.setRightBorderBrush(brush);
            break;
        }
    }

    double Padding(const Placed& p, int side) const
    {
        if (p.def->padding[side] >= 0)
            return Px(p.def->padding[side]);
        if (p.rowDef->padding[side] >= 0)
            return Px(p.rowDef->padding[side]);
        return side == kLeft || side == kRight ? Px(p.rowDef->gap) : 0.0;
    }

    static bool Shown(const Border& b) { return b.style != Border::Style::None && b.width > 0; }

    // A cell's own borders; the row's outer and inner borders stand in for missing ones.
    static std::array<Border, 4> BordersOf(const Placed& p, int rowCount)
    {
        const RowDef& row = *p.rowDef;
        const bool firstRow = p.row == 0, lastRow = p.row + p.rows >= rowCount;
        auto pick = [&](int side, int rowBorder) {
            return p.def->borders[side].set ? p.def->borders[side] : row.borders[rowBorder];
        };
        std::array<Border, 4> b;
        b[kTop] = pick(kTop, firstRow ? 0 : 4);
        b[kLeft] = pick(kLeft, p.firstInRow ? 1 : 5);
        b[kBottom] = pick(kBottom, lastRow ? 2 : 4);
        b[kRight] = pick(kRight, p.lastInRow ? 3 : 5);
        return b;
    }

    // `borders` are the cell's borders as drawn: an edge two cells share is drawn by one of them,
    // since Qt would draw both side by side.
    QTextTableCellFormat CellFormatOf(const Placed& p, const std::array<Border, 4>& borders,
                                      const std::array<double, 4>& padding) const
    {
        QTextTableCellFormat f;
        for (int side : {kTop, kLeft, kBottom, kRight})
            SetBorder(f, side, borders[side]);
        f.setTopPadding(padding[kTop]);
        f.setLeftPadding(padding[kLeft]);
        f.setBottomPadding(padding[kBottom]);
        f.setRightPadding(padding[kRight]);
        if (auto c = Color(p.def->background))
            f.setBackground(*c);
        switch (p.def->valign) {
        case CellDef::VAlign::Top:
            f.setVerticalAlignment(QTextCharFormat::AlignTop);
            break;
        case CellDef::VAlign::Middle:
            f.setVerticalAlignment(QTextCharFormat::AlignMiddle);
            break;
        case CellDef::VAlign::Bottom:
            f.setVerticalAlignment(QTextCharFormat::AlignBottom);
            break;
        }
        return f;
    }

    // The height a cell's paragraphs take, reckoned line by line without laying them out; a
    // wrapped line is missed, which only matters where it would not reach the row height.
    double EstimateHeight(const std::vector<const Cell*>& cells)
    {
        double total = 0;
        const Block* previous = nullptr;
        for (const Cell* cell : cells) {
            for (const Block& block : cell->blocks) {
                if (block.table)
                    return 1e9;
                if (previous)
                    total += Px(previous->para.after + block.para.before);
                previous = &block;
                double line = LineHeight(block.mark);
                int lines = 1;
                for (const Run& run : block.runs) {
                    if (run.kind == Run::Kind::Picture && run.picture >= 0 &&
                        run.picture < static_cast<int>(m_images.size()) && !m_images[run.picture].isNull())
                        line = std::max(
                            line, PictureSize(m_model.pictures[run.picture], m_images[run.picture]).height());
                    else if (run.kind != Run::Kind::Picture)
                        line = std::max(line, LineHeight(run.format));
                    lines += static_cast<int>(std::count(run.text.begin(), run.text.end(), u'\u2028'));
                }
                const ParaFormat& p = block.para;
                if (p.lineSpacing < 0)
                    line = Px(-p.lineSpacing);
                else if (p.lineSpacing > 0 && p.lineMultiple)
                    line *= p.lineSpacing / 240.0;
                else if (p.lineSpacing > 0)
                    line = std::max(line, Px(p.lineSpacing));
                total += line * lines;
            }
        }
        return total;
    }

    double LineHeight(const CharFormat& f)
    {
        auto it = m_lineHeights.find(f);
        if (it != m_lineHeights.end())
            return it->second;
        QFont font = CharFormatOf(f).font();
        const double h = std::ceil(QFontMetricsF(font).height()); // lines are laid out on whole pixels
        m_lineHeights.emplace(f, h);
        return h;
    }

    void EmitTable(QTextCursor& cursor, const Table& table, bool& fresh, bool nested, double above,
                   double below)
    {
        // Past a budget of cells a table's cells follow one another as paragraphs: the text stays.
        auto flatten = [&] {
            for (const Row& row : table.rows) {
                for (const Cell& cell : row.cells)
                    EmitFlow(cursor, cell.blocks, fresh, nested);
            }
        };
        qint64 stated = 0;
        for (const Row& row : table.rows)
            stated += qint64(std::max(row.cells.size(), row.Def().cells.size()));
        if (stated > m_cellBudget)
            return flatten();
        Grid grid = LayoutGrid(table);
        if (grid.cells.empty())
            return;
        const qint64 cells = qint64(table.rows.size()) * qint64(grid.widths.size());
        if (cells > m_cellBudget)
            return flatten();
        m_cellBudget -= cells;
        const int rows = static_cast<int>(table.rows.size());
        const int columns = static_cast<int>(grid.widths.size());
        const RowDef& first = table.rows.front().Def();

        QTextTableFormat format;
        format.setBorder(0);
        format.setBorderCollapse(false); // collapsed hairlines come out doubled
        format.setCellSpacing(0);
        format.setCellPadding(0);
        format.setMargin(0);
        format.setTopMargin(std::min(above, m_bodyHeight / 4));
        format.setBottomMargin(std::min(below, m_bodyHeight / 4));
        QList<QTextLength> widths;
        double total = 0;
        for (double w : grid.widths) {
            widths.append(QTextLength(QTextLength::FixedLength, w));
            total += w;
        }
        format.setColumnWidthConstraints(widths);
        format.setWidth(QTextLength(QTextLength::FixedLength, total));
        if (nested) {
            format.setAlignment(first.align == RowDef::Align::Center  ? Qt::AlignHCenter
                                : first.align == RowDef::Align::Right ? Qt::AlignRight
                                                                      : Qt::AlignLeft);
        } else {
            // Qt centres a table off by half the page margin, so the table is placed by its margin.
            format.setAlignment(Qt::AlignLeft);
            double left = grid.left;
            if (first.align == RowDef::Align::Center)
                left = (m_bodyWidth - total) / 2;
            else if (first.align == RowDef::Align::Right)
                left = m_bodyWidth - total;
            format.setLeftMargin(std::max(left, -Px(m_model.page.left)));
        }
        int headers = 0;
        while (headers < rows && table.rows[headers].Def().header)
            ++headers;
        if (headers < rows)
            format.setHeaderRowCount(headers);
        if (table.pageBreakBefore)
            format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);

        if (fresh)
            Collapse(cursor);
        QTextTable* qtable = cursor.insertTable(rows, columns, format);
        for (const Placed& p : grid.cells) {
            if (p.rows > 1 || p.cols > 1)
                qtable->mergeCells(p.row, p.col, p.rows, p.cols);
        }
        std::vector<std::array<Border, 4>> borders;
        std::vector<std::vector<int>> owner(rows, std::vector<int>(columns, -1));
        for (std::size_t k = 0; k < grid.cells.size(); ++k) {
            const Placed& p = grid.cells[k];
            borders.push_back(BordersOf(p, rows));
            for (int r = p.row; r < p.row + p.rows && r < rows; ++r) {
                for (int c = p.col; c < p.col + p.cols && c < columns; ++c)
                    owner[r][c] = static_cast<int>(k);
            }
        }
        // The cell below or to the right draws a shared edge when it has a border there: cells
        // are painted in that order, so the line is not half covered by its background.
        for (std::size_t k = 0; k < grid.cells.size(); ++k) {
            const Placed& p = grid.cells[k];
            const int below = p.row + p.rows, right = p.col + p.cols;
            if (below < rows && owner[below][p.col] >= 0 && Shown(borders[owner[below][p.col]][kTop]))
                borders[k][kBottom] = Border{};
            if (right < columns && owner[p.row][right] >= 0 && Shown(borders[owner[p.row][right]][kLeft]))
                borders[k][kRight] = Border{};
        }
        for (std::size_t k = 0; k < grid.cells.size(); ++k) {
            const Placed& p = grid.cells[k];
            const auto [above, below] = CellSpace(p.content);
            std::array<double, 4> padding = {};
            padding[kTop] = Padding(p, kTop) + above;
            padding[kLeft] = Padding(p, kLeft);
            padding[kBottom] = Padding(p, kBottom) + below;
            padding[kRight] = Padding(p, kRight);
            // Row heights: Qt tables have none, so short cells are padded up to the row's height.
            const double height = Px(p.rowDef->height);
            if (p.rows == 1 && height > 0) {
                const double have = EstimateHeight(p.content) + padding[kTop] + padding[kBottom] +
                                    BorderWidth(borders[k][kTop]) + BorderWidth(borders[k][kBottom]);
                const double extra = height - have;
                if (extra > 0 && p.def->valign == CellDef::VAlign::Top)
                    padding[kBottom] += extra;
                else if (extra > 0 && p.def->valign == CellDef::VAlign::Bottom)
                    padding[kTop] += extra;
                else if (extra > 0) {
                    padding[kTop] += extra / 2;
                    padding[kBottom] += extra / 2;
                }
            }
            QTextTableCell cell = qtable->cellAt(p.row, p.col);
            if (!cell.isValid())
                continue;
            // Setting a cell's format is the dearest step of a table; a cell with nothing but
            // side padding gets that padding from its paragraphs' margins instead.
            const bool plain = padding[kTop] == 0 && padding[kBottom] == 0 && !Shown(borders[k][kTop]) &&
                               !Shown(borders[k][kLeft]) && !Shown(borders[k][kBottom]) &&
                               !Shown(borders[k][kRight]) && !Color(p.def->background) &&
                               p.def->valign == CellDef::VAlign::Top && !HasTable(p.content);
            if (plain) {
                m_cellLeft = padding[kLeft];
                m_cellRight = padding[kRight];
            } else {
                cell.setFormat(CellFormatOf(p, borders[k], padding));
            }
            QTextCursor inside = cell.firstCursorPosition();
            bool cellFresh = true;
            for (const Cell* content : p.content)
                EmitFlow(inside, content->blocks, cellFresh, true);
            m_cellLeft = m_cellRight = 0;
        }
        cursor.setPosition(qtable->lastPosition() + 1);
        fresh = true;
    }

    const RenderModel& m_model;
    const std::vector<QImage>& m_images;
    QTextDocument& m_doc;
    double m_dpi;
    double m_bodyWidth = 0;
    double m_bodyHeight = 0;
    int m_page = 0;
    int m_pages = 0;
    qint64 m_cellBudget = kMaxTableCells;
    double m_cellLeft = 0; // padding of the cell being filled, given to its paragraphs
    double m_cellRight = 0;
    std::unordered_map<CharFormat, QTextCharFormat, FormatHash> m_formats;
    std::unordered_map<CharFormat, double, FormatHash> m_lineHeights;
    std::unordered_map<BlockKey, QTextBlockFormat, BlockKeyHash> m_blockFormats;
};

const Flow& PartFlow(const RenderModel& model, bool header, int index)
{
    const PageSetup& page = model.page;
    if (index == 0 && page.titlePage)
        return header ? model.headerFirst : model.footerFirst;
    if (index % 2 == 1 && page.facingPages)
        return header ? model.headerLeft : model.footerLeft;
    return header ? model.header : model.footer;
}

} // namespace

double DocumentDpi()
{
    if (QCoreApplication::testAttribute(Qt::AA_Use96Dpi))
        return 96;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        return std::round(screen->logicalDotsPerInchY());
    return 96;
}

std::unique_ptr<QTextDocument> BuildDocument(std::shared_ptr<const RenderModel> model)
{
    auto document = std::make_unique<QTextDocument>();
    const double dpi = DocumentDpi();
    auto images = std::make_shared<std::vector<QImage>>(DecodePictures(*model));
    Builder(*model, *images, *document, dpi).BuildReport();
    new ReportPages(document.get(), std::move(model), std::move(images), dpi);
    return document;
}

bool IsRenderedReport(const QTextDocument& document)
{
    return PagesOf(document) != nullptr;
}

QPageLayout PageLayoutOf(const QTextDocument& document)
{
    const ReportPages* pages = PagesOf(document);
    if (!pages)
        return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(20, 20, 20, 20),
                           QPageLayout::Millimeter);
    const PageSetup& p = pages->Model().page;
    auto pt = [](std::int32_t twips) { return twips / 20.0; };
    const QSizeF paper(pt(p.width), pt(p.height));
    const bool landscape = paper.width() > paper.height();
    QPageSize size(landscape ? paper.transposed() : paper, QPageSize::Point, QString(),
                   QPageSize::ExactMatch);
    return QPageLayout(size, landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(pt(p.left), pt(p.top), pt(p.right), pt(p.bottom)), QPageLayout::Point);
}

QSizeF PagePixels(const QTextDocument& document)
{
    const ReportPages* pages = PagesOf(document);
    if (!pages)
        return document.pageSize();
    const double scale = pages->Dpi() / 1440.0;
    return {pages->Model().page.width * scale, pages->Model().page.height * scale};
}

double PixelDpi(const QTextDocument& document)
{
    const ReportPages* pages = PagesOf(document);
    return pages ? pages->Dpi() : DocumentDpi();
}

std::unique_ptr<QTextDocument> PaperCopy(const QTextDocument& document)
{
    std::unique_ptr<QTextDocument> copy(document.clone());
    if (const ReportPages* pages = PagesOf(document)) {
        copy->setPageSize(PagePixels(document));
        new ReportPages(copy.get(), pages->ModelPointer(), pages->ImagesPointer(), pages->Dpi());
    }
    return copy;
}

namespace {

// The page's header or footer, in the page's top and bottom margins.
void PaintPart(QPainter& painter, const ReportPages& pages, bool header, int index, int count)
{
    const RenderModel& model = pages.Model();
    const Flow& flow = PartFlow(model, header, index);
    if (flow.empty())
        return;
    QTextDocument part;
    Builder(model, pages.Images(), part, pages.Dpi()).BuildPart(flow, index + 1, count);
    const double scale = pages.Dpi() / 1440.0;
    const double height = part.size().height();
    const double y =
        header ? model.page.headerY * scale : (model.page.height - model.page.footerY) * scale - height;
    painter.save();
    painter.translate(model.page.left * scale, y);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, Qt::black);
    context.clip = QRectF(QPointF(0, 0), part.size());
    part.documentLayout()->draw(&painter, context);
    painter.restore();
}

} // namespace

void PaintPage(QPainter& painter, const QTextDocument& document, int index)
{
    // Top to bottom, so that text comes out of the page in reading order.
    const ReportPages* pages = PagesOf(document);
    if (pages)
        PaintPart(painter, *pages, true, index, document.pageCount());

    const QSizeF page = PagePixels(document);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, Qt::black);
    painter.save();
    painter.setClipRect(QRectF(QPointF(0, 0), page));
    painter.translate(0, -index * page.height());
    context.clip = QRectF(0, index * page.height(), page.width(), page.height());
    document.documentLayout()->draw(&painter, context);
    painter.restore();

    if (pages)
        PaintPart(painter, *pages, false, index, document.pageCount());
}

} // namespace keld::render
