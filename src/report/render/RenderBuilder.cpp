// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/render/RenderBuilder.h"

#include "report/render/RenderBuilderShared.h"

#include "common/ImageDecode.h"
#include "report/render/MissingGlyphs.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImageReader>
#include <QLocale>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFragment>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

// Building: the document's setup, its paragraphs and their formats, and the flows that hold them.
// Tables are laid out in RenderTables.cpp, pages painted in RenderPages.cpp.

namespace keld::render {

namespace {

// Said the same in every language the program runs in, as its other messages.
QString PageLimitNote()
{
    return QStringLiteral("The report was cut here: more than %1 pages.")
        .arg(QLocale(QLocale::English).toString(kMaxPages));
}

constexpr qsizetype kMaxBlockLetters = 8192;
constexpr int kMaxBlockRuns = 512;
constexpr qsizetype kMaxFamilies = 64;
constexpr int kMaxShownSide = 2400;                // 8 inches at 300 dpi: finer is not printed
constexpr qint64 kMaxDocumentPixels = 100'000'000; // all of them as kept

std::vector<QImage> DecodePictures(const RenderModel& model, QStringList& notes)
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
        // The program's one rule for pictures: a picture claiming absurd dimensions, cut short or
        // of a kind not every reader takes is left out rather than allocated.
        auto checked = CheckPicture(std::string_view(picture.data));
        if (!checked) {
            const QSize claimed = reader.size();
            if (claimed.isValid() &&
                (claimed.width() > kMaxPictureSide || claimed.height() > kMaxPictureSide ||
                 qint64(claimed.width()) * claimed.height() > kMaxPicturePixels))
                notes.append(QStringLiteral("A picture of %1 by %2 pixels was too large to show.")
                                 .arg(claimed.width())
                                 .arg(claimed.height()));
            else
                notes.append(QStringLiteral("A picture that could not be read was left out."));
            images.emplace_back();
            continue;
        }
        const QSize size(checked->Width, checked->Height);
        QImage image;
        const qint64 pixels = qint64(size.width()) * size.height();
        // A large picture is read and kept at the size print can show.
        QSize shown = size;
        if (shown.width() > kMaxShownSide || shown.height() > kMaxShownSide)
            shown = size.scaled(kMaxShownSide, kMaxShownSide, Qt::KeepAspectRatio);
        const qint64 kept = qint64(shown.width()) * shown.height();
        if (kept > budget) {
            notes.append(QStringLiteral("Some pictures were left out: together they were too large."));
            images.emplace_back();
            continue;
        }
        // A large PNG is read row by row straight to the size kept, as the inventory window reads
        // it; what that decoder leaves (interlaced) the general reader reads whole.
        if (shown != size && checked->Format == PictureFormat::Png) {
            auto fitted = DecodePngToFit(picture.data, shown.width(), shown.height(), kMaxPicturePixels);
            if (fitted) {
                const DecodedImage& d = fitted->Image;
                image = QImage(d.Pixels.data(), d.Width, d.Height, d.Width * 4, QImage::Format_RGBA8888)
                            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
            }
        }
        // Room for 16-bit samples, which Qt keeps as 8 bytes a pixel.
        reader.setAllocationLimit(static_cast<int>(pixels * 8 / (1024 * 1024) + 1));
        if (shown != size)
            reader.setScaledSize(shown);
        if (image.isNull())
            image = reader.read();
        if (!image.isNull() && image.size() != shown)
            image = image.scaled(shown, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (!image.isNull() && shown != size) {
            // Finer dots, so that the picture keeps its size on paper.
            auto dpm = [](int d) { return d > 0 ? d : 3780; };
            image.setDotsPerMeterX(dpm(image.dotsPerMeterX()) * image.width() / size.width());
            image.setDotsPerMeterY(dpm(image.dotsPerMeterY()) * image.height() / size.height());
        }
        if (image.isNull()) {
            notes.append(QStringLiteral("A picture that could not be read was left out."));
        } else {
            budget -= kept;
        }
        images.push_back(std::move(image));
    }
    return images;
}

// Letters no installed font has are drawn as boxes from a font of boxes, which keeps them in
// the text (a PDF's text, found and copied), as word processors keep them.
void InsertText(QTextCursor& cursor, const QString& text, const QTextCharFormat& format)
{
    auto missing = [&](qsizetype at) {
        const QChar c = text.at(at);
        return c.unicode() >= 0x250 && !c.isSurrogate() &&
               !Drawable(c.unicode(), format.fontFamilies().toStringList());
    };
    qsizetype from = 0;
    for (qsizetype k = 0; k < text.size(); ++k) {
        if (!missing(k) || MissingGlyphFamily().isEmpty())
            continue;
        qsizetype end = k + 1;
        while (end < text.size() && missing(end))
            ++end;
        cursor.insertText(text.mid(from, k - from), format);
        QTextCharFormat box = format;
        box.setFontFamilies(QStringList{MissingGlyphFamily()});
        cursor.insertText(text.mid(k, end - k), box);
        from = end;
        k = end - 1;
    }
    cursor.insertText(text.mid(from), format);
}

} // namespace

Builder::Builder(const RenderModel& model, const std::vector<QImage>& images, QTextDocument& doc, double dpi)
    : m_model(model), m_images(images), m_doc(doc), m_dpi(dpi)
{
    m_bodyWidth = Px(model.page.width - model.page.left - model.page.right);
    m_bodyHeight = Px(model.page.height - model.page.top - model.page.bottom);
}

void Builder::Setup()
{
    m_doc.setUndoRedoEnabled(false);
    m_doc.setUseDesignMetrics(true);
    m_doc.setDocumentMargin(0);
    QFont font;
    if (const FontInfo* info = Font(-1)) {
        font.setFamilies({QString::fromStdString(info->family)});
        font.setStyleHint(StyleHint(info->kind));
    }
    font.setPixelSize(FontPixels(12));
    font.setHintingPreference(QFont::PreferNoHinting);
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
void Builder::BuildReport()
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
    if (!body.empty() && !body.front().table &&
        (body.front().para.before > 0 || BorderRoom(body.front().para, kTop) > 0)) {
        // Qt drops the space above a document's first paragraph, its border's room too; an
        // empty line of that height keeps it, and the paragraph after it keeps its room.
        QTextBlockFormat spacer;
        spacer.setLineHeight(std::min(Px(body.front().para.before), m_bodyHeight / 2),
                             QTextBlockFormat::FixedHeight);
        cursor.setBlockFormat(spacer);
        fresh = false;
    }
    // The body is cut well before Qt's coordinates run out (about 31,000 pages), by an estimate
    // that errs long, at twice the page limit so that the text of the limit's last page is always
    // laid out; the exact cut comes after layout, at the end of that page.
    m_room = m_roomPages * m_bodyHeight;
    m_cutNote = PageLimitNote();
    m_body = true;
    EmitFlow(cursor, body, fresh, false);
    const bool atFoot =
        !m_model.footnoteStarts.empty() && m_model.footnoteStarts.size() <= kMaxFootnotesAtFoot;
    if (!m_model.footnotes.empty() && m_room > 0 && !atFoot) {
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
    m_room = -1;
    if (fresh)
        Collapse(cursor);
    cursor.endEditBlock();
}

// A header or footer for one page: its page fields read `page` and `pages`.
void Builder::BuildPart(const Flow& flow, int page, int pages)
{
    Setup();
    m_page = page;
    m_pages = pages;
    m_doc.setTextWidth(m_bodyWidth);
    QTextCursor cursor(&m_doc);
    cursor.beginEditBlock();
    bool fresh = true;
    EmitFlow(cursor, flow, fresh, false);
    if (fresh)
        Collapse(cursor);
    cursor.endEditBlock();
}

void Builder::BuildNote(std::span<const Block> blocks)
{
    Setup();
    m_doc.setTextWidth(m_bodyWidth);
    QTextCursor cursor(&m_doc);
    cursor.beginEditBlock();
    bool fresh = true;
    EmitFlow(cursor, blocks, fresh, false);
    if (fresh)
        Collapse(cursor);
    cursor.endEditBlock();
}

void Builder::BuildPart(const Flow& flow, std::vector<FieldSpot>& fields)
{
    // A part taller than the page could never be seen whole; cut there, it is laid out once for
    // each page.
    m_fields = &fields;
    m_room = Px(m_model.page.height);
    m_cutNote = QStringLiteral("A header or footer taller than the page was cut.");
    BuildPart(flow, 1, 1);
    m_room = -1;
    m_fields = nullptr;
}

QUrl Builder::ImageUrl(int index)
{
    return QUrl(QStringLiteral("keld-picture:%1").arg(index));
}

QFont::StyleHint Builder::StyleHint(FontInfo::Kind kind)
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

const FontInfo* Builder::Font(std::int32_t number) const
{
    auto it = m_model.fonts.find(number < 0 ? m_model.defaultFont : number);
    return it == m_model.fonts.end() ? nullptr : &it->second;
}

std::optional<QColor> Builder::Color(std::int32_t index) const
{
    if (index <= 0 || index >= static_cast<std::int32_t>(m_model.colors.size()))
        return std::nullopt;
    const std::optional<rtf::Rgb>& c = m_model.colors[index];
    if (!c)
        return std::nullopt;
    return QColor(c->red, c->green, c->blue);
}

// An empty block left after a table at the end of a flow: it takes no room.
void Builder::Collapse(QTextCursor& cursor)
{
    if (cursor.block().length() > 1 || cursor.block() == cursor.document()->firstBlock())
        return;
    QTextBlockFormat format;
    format.setLineHeight(0, QTextBlockFormat::FixedHeight);
    cursor.setBlockFormat(format);
    QTextCharFormat tiny;
    tiny.setProperty(QTextFormat::FontPixelSize, 1);
    cursor.mergeBlockCharFormat(tiny);
}

const QTextCharFormat& Builder::CharFormatOf(const CharFormat& f)
{
    auto it = m_formats.find(f);
    if (it != m_formats.end())
        return it->second;
    QTextCharFormat q;
    if (const FontInfo* info = Font(f.font)) {
        // Each family costs a search of the system's fonts; past a few dozen they are hostile.
        const QString family = QString::fromStdString(info->family);
        if (!info->symbol && (m_families.contains(family) || m_families.size() < kMaxFamilies)) {
            m_families.insert(family);
            q.setFontFamilies(QStringList{family});
        } else if (!info->symbol) {
            m_notes.append(QStringLiteral("Only %1 fonts are used; the others are drawn in the default font.")
                               .arg(kMaxFamilies));
        }
        q.setFontStyleHint(StyleHint(info->kind));
    }
    q.setProperty(QTextFormat::FontPixelSize, FontPixels(std::max(1.0, f.size / 2.0)));
    // Hinting would move letters to whole screen pixels, and lines would break apart from print.
    q.setFontHintingPreference(QFont::PreferNoHinting);
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

QTextBlockFormat Builder::CachedBlockFormat(const ParaFormat& p, double top)
{
    if (!p.tabs.empty() || p.firstLine < 0 || p.keepNext || HasBorder(p))
        return BlockFormatOf(p, top);
    const BlockKey key{p.left,         p.right,           p.firstLine, p.lineSpacing, p.shading,  p.align,
                       p.lineMultiple, p.pageBreakBefore, top,         m_cellLeft,    m_cellRight};
    auto it = m_blockFormats.find(key);
    if (it == m_blockFormats.end())
        it = m_blockFormats.emplace(key, BlockFormatOf(p, top)).first;
    return it->second;
}

// `top` is all the space above the paragraph; see EmitFlow.
QTextBlockFormat Builder::BlockFormatOf(const ParaFormat& p, double top) const
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
    b.setLeftMargin(Px(left) + m_cellLeft + BorderRoom(p, kLeft));
    b.setRightMargin(Px(std::max(p.right, 0)) + m_cellRight + BorderRoom(p, kRight));
    b.setTextIndent(Px(indent));
    b.setTopMargin(std::min(top, m_bodyHeight / 2) + BorderRoom(p, kTop));
    b.setBottomMargin(BorderRoom(p, kBottom));
    if (p.keepNext)
        b.setProperty(kKeepNextProperty, true);
    for (int side = 0; side < 4; ++side) {
        const Border& border = p.borders[side];
        if (!Shown(border))
            continue;
        QPen pen(Color(border.color).value_or(QColor(Qt::black)), BorderWidth(border));
        pen.setCapStyle(Qt::SquareCap);
        if (border.style == Border::Style::Dotted)
            pen.setStyle(Qt::DotLine);
        else if (border.style == Border::Style::Dashed)
            pen.setStyle(Qt::DashLine);
        b.setProperty(kBorderProperty + side, pen);
        b.setProperty(kBorderSpaceProperty + side, Px(border.space));
        if (border.style == Border::Style::Double)
            b.setProperty(kBorderDoubleProperty, b.intProperty(kBorderDoubleProperty) | 1 << side);
    }
    if (p.lineSpacing > 0 && p.lineMultiple)
        b.setLineHeight(std::min(p.lineSpacing, 2400) * 100.0 / 240.0, QTextBlockFormat::ProportionalHeight);
    else if (p.lineSpacing > 0)
        b.setLineHeight(std::min(Px(p.lineSpacing), m_bodyHeight / 2), QTextBlockFormat::MinimumHeight);
    else if (p.lineSpacing < 0)
        b.setLineHeight(std::min(Px(-p.lineSpacing), m_bodyHeight / 2), QTextBlockFormat::FixedHeight);
    if (p.pageBreakBefore)
        b.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    if (auto c = Color(p.shading)) {
        // Inside a border the shading reaches the lines, as Qt's own background does not.
        if (HasBorder(p))
            b.setProperty(kBorderFillProperty, *c);
        else
            b.setBackground(*c);
    }
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

bool Builder::HasBorder(const ParaFormat& p)
{
    return std::any_of(std::begin(p.borders), std::end(p.borders), [](const Border& b) { return Shown(b); });
}

// The room a paragraph's border takes on one side: its line and the space inside it.
double Builder::BorderRoom(const ParaFormat& p, int side) const
{
    const Border& b = p.borders[side];
    if (!Shown(b))
        return 0.0;
    // A double border is two lines and the gap between them, each as wide as the line.
    return BorderWidth(b) * (b.style == Border::Style::Double ? 3 : 1) + Px(b.space);
}

QSizeF Builder::PictureSize(const Picture& picture, const QImage& image) const
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

void Builder::EmitParagraph(QTextCursor& cursor, const Block& block, bool& fresh, double top)
{
    const QTextBlockFormat format = CachedBlockFormat(block.para, top);
    const QTextCharFormat& mark = CharFormatOf(block.mark);
    // Qt gives no height to an empty block just after a table (it holds the table's place), so
    // an empty paragraph there takes the block after it.
    if (fresh && m_afterTable && block.runs.empty())
        fresh = false;
    m_afterTable = false;
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
    qsizetype letters = 0;
    int runs = 0;
    for (const Run& run : block.runs) {
        switch (run.kind) {
        case Run::Kind::Text: {
            // Qt lays out one very long paragraph in far more than linear time: it goes on in a
            // block of its own format, at a space, every so many letters.
            const QString text = QString::fromStdU16String(run.text);
            QTextCharFormat format = CharFormatOf(run.format);
            if (run.footnote > 0)
                format.setProperty(kFootnoteProperty, run.footnote);
            if (++runs > kMaxBlockRuns) {
                // So does one of very many changes of format.
                QTextBlockFormat more = cursor.blockFormat();
                more.setTopMargin(0);
                more.setTextIndent(0);
                more.setPageBreakPolicy(QTextFormat::PageBreak_Auto);
                cursor.insertBlock(more, format);
                runs = 0;
                letters = 0;
            }
            qsizetype from = 0;
            while (letters + (text.size() - from) > kMaxBlockLetters) {
                const qsizetype want = from + std::max<qsizetype>(kMaxBlockLetters - letters, 1);
                qsizetype at = text.indexOf(QLatin1Char(' '), want - 1);
                if (at < 0 || at - want > kMaxBlockLetters / 4)
                    at = want - 1;
                InsertText(cursor, text.mid(from, at + 1 - from), format);
                QTextBlockFormat more = cursor.blockFormat();
                more.setTopMargin(0);
                more.setTextIndent(0);
                more.setPageBreakPolicy(QTextFormat::PageBreak_Auto);
                cursor.insertBlock(more, format);
                from = at + 1;
                letters = 0;
            }
            InsertText(cursor, text.mid(from), format);
            letters += text.size() - from;
            break;
        }
        case Run::Kind::PageNumber:
        case Run::Kind::PageCount:
            if (m_page <= 0) {
                cursor.insertText(QString::fromStdU16String(run.text), CharFormatOf(run.format));
            } else if (run.field != lastField) {
                const int value = run.kind == Run::Kind::PageNumber ? m_page : m_pages;
                const QString number = QString::number(value);
                // Past a few fields a part's numbers stay as built: rewriting each on every page
                // would cost fields times pages.
                if (m_fields && m_fields->size() < kMaxPartFields)
                    m_fields->push_back({cursor.position(), number, run.kind == Run::Kind::PageNumber});
                cursor.insertText(number, CharFormatOf(run.format));
            }
            lastField = run.field;
            continue;
        case Run::Kind::Picture: {
            if (run.picture < 0 || run.picture >= static_cast<int>(m_images.size()) ||
                m_images[run.picture].isNull())
                break;
            const QSizeF size = PictureSize(m_model.pictures[run.picture], m_images[run.picture]);
            if (run.floating && m_body) {
                // Drawn over (or under) the text at its place from the paragraph, the margin or
                // the page, found when the pages are painted.
                const Anchor& a = *run.floating;
                QTextBlockFormat anchored;
                QVariantList floats = cursor.blockFormat().property(kFloatsProperty).toList();
                floats.append(
                    QVariant(QVariantList{run.picture, static_cast<int>(a.fromX), static_cast<int>(a.fromY),
                                          QRectF(QPointF(Px(a.x), Px(a.y)), size), a.behind}));
                anchored.setProperty(kFloatsProperty, floats);
                cursor.mergeBlockFormat(anchored);
                break;
            }
            QTextImageFormat image;
            image.merge(CharFormatOf(run.format));
            image.setName(ImageUrl(run.picture).toString());
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
void Builder::EmitFlow(QTextCursor& cursor, std::span<const Block> flow, bool& fresh, bool nested)
{
    for (std::size_t k = 0; k < flow.size(); ++k) {
        const Block& block = flow[k];
        if (m_room == 0 && m_depth == 0)
            return; // cut at the page limit
        if (m_room > 0 && m_depth == 0) {
            const bool broken = block.table ? block.table->pageBreakBefore : block.para.pageBreakBefore;
            const double used = EstimateBlock(block, m_bodyWidth) + (broken ? m_bodyHeight : 0.0);
            if (used > m_room) {
                m_notes.append(m_cutNote);
                m_cutByEstimate = true;
                if (!block.table && !block.runs.empty() && m_room >= used / 100) {
                    // A long paragraph keeps the part of its text that fits.
                    Block part;
                    part.para = block.para;
                    part.mark = block.mark;
                    std::size_t letters = 0;
                    for (const Run& run : block.runs)
                        letters += run.text.size() + 1;
                    std::size_t keep = static_cast<std::size_t>(letters * std::max(m_room, 0.0) / used);
                    for (const Run& run : block.runs) {
                        if (keep == 0)
                            break;
                        Run copy = run;
                        if (copy.text.size() > keep) {
                            // At a space, so that no word is cut in two.
                            const std::size_t space = copy.text.find_last_of(u" \t", keep);
                            copy.text.resize(space == std::u16string::npos ? keep : space);
                            keep = 0;
                        } else {
                            keep -= std::min(keep, copy.text.size() + 1);
                        }
                        part.runs.push_back(std::move(copy));
                    }
                    m_room = -1;
                    EmitParagraph(cursor, part, fresh, 0.0);
                }
                m_room = 0;
                return;
            }
            m_room = std::max(m_room - used, 1e-9);
        }
        const Block* before = k > 0 && !flow[k - 1].table ? &flow[k - 1] : nullptr;
        const Block* after = k + 1 < flow.size() && !flow[k + 1].table ? &flow[k + 1] : nullptr;
        if (block.table) {
            // Qt drops the border's room below a paragraph that a table follows.
            EmitTable(cursor, *block.table, fresh, nested,
                      before ? Px(before->para.after) + BorderRoom(before->para, kBottom) : 0.0,
                      after ? Px(after->para.before) : 0.0);
        } else {
            // Qt keeps only the larger of two meeting margins: the border below the paragraph
            // before goes into this one's space above.
            EmitParagraph(cursor, block, fresh,
                          before
                              ? Px(before->para.after + block.para.before) + BorderRoom(before->para, kBottom)
                              : 0.0);
        }
    }
}

// A block's height, erring long: wide letters, and no two paragraphs sharing a line.
double Builder::EstimateBlock(const Block& block, double width) const
{
    if (block.table) {
        double height = 0;
        for (const Row& row : block.table->rows) {
            const double cellWidth = std::max(width / std::max<std::size_t>(row.cells.size(), 1), Px(144));
            double tallest = Px(std::max(row.Def().height, 0));
            for (const Cell& cell : row.cells) {
                double h = 0;
                for (const Block& inner : cell.blocks)
                    h += EstimateBlock(inner, cellWidth);
                tallest = std::max(tallest, h);
            }
            height += tallest;
        }
        return height;
    }
    double letters = 0, tallest = Px(block.mark.size * 10.0);
    for (const Run& run : block.runs) {
        const double size = Px(run.format.size * 10.0);
        letters += run.kind == Run::Kind::Picture ? width : run.text.size() * size * 0.6;
        tallest = std::max(tallest, size);
        if (run.kind == Run::Kind::Picture && run.picture >= 0 &&
            run.picture < static_cast<int>(m_images.size()) && !m_images[run.picture].isNull())
            tallest =
                std::max(tallest, PictureSize(m_model.pictures[run.picture], m_images[run.picture]).height());
    }
    const double lines = std::max(1.0, std::ceil(letters / std::max(width, 1.0)));
    const double line = std::max(tallest * 1.2, Px(std::abs(block.para.lineSpacing)));
    return lines * line + Px(block.para.before + block.para.after);
}

// The body's pages by an estimate that errs long, up to a little past the page limit.
double Builder::EstimatePages() const
{
    const double cap = (kMaxPages + kMaxPages / 20) * m_bodyHeight;
    double height = 0;
    for (const Block& block : m_model.body) {
        const bool broken = block.table ? block.table->pageBreakBefore : block.para.pageBreakBefore;
        height += EstimateBlock(block, m_bodyWidth) + (broken ? m_bodyHeight : 0.0);
        if (height > cap)
            break;
    }
    return std::min(height, cap) / std::max(m_bodyHeight, 1.0) + 1;
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

// A paragraph moved to the next page starts it as the end of a page would: without its space
// above, which a word processor drops at the top of a page (its border keeps its room).
void MoveToNextPage(const QTextBlock& block)
{
    const QTextBlockFormat format = block.blockFormat();
    QTextBlockFormat move;
    move.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    move.setTopMargin(format.hasProperty(kBorderProperty + kTop)
                          ? format.penProperty(kBorderProperty + kTop).widthF() +
                                format.doubleProperty(kBorderSpaceProperty + kTop)
                          : 0.0);
    QTextCursor(block).mergeBlockFormat(move);
}

bool KeepsNext(const QTextFrame::iterator& it)
{
    return !it.currentFrame() && it.currentBlock().blockFormat().boolProperty(kKeepNextProperty);
}

// Qt has no "keep with next": a paragraph that asks for it and ends its page apart from what
// follows goes to the next page, with the paragraphs before it that ask the same.
void KeepWithNext(QTextDocument& document)
{
    constexpr int kMaxMoves = 200; // each move lays out the rest of the report again
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    const double page = document.pageSize().height();
    // Where an item's first line stands: Qt moves the lines of a block that does not fit to the
    // next page but leaves the block where it began.
    auto top = [&](const QTextFrame::iterator& it) {
        if (it.currentFrame())
            return layout->frameBoundingRect(it.currentFrame()).top();
        const QTextBlock block = it.currentBlock();
        const double y = layout->blockBoundingRect(block).top();
        const QTextLayout* lines = block.layout();
        return lines && lines->lineCount() > 0 ? y + lines->lineAt(0).y() : y;
    };
    int moves = 0;
    QTextFrame::iterator previous;
    bool hasPrevious = false;
    for (QTextFrame::iterator it = document.rootFrame()->begin(); !it.atEnd() && moves < kMaxMoves;) {
        if (!KeepsNext(it)) {
            previous = it;
            hasPrevious = true;
            ++it;
            continue;
        }
        const QTextFrame::iterator chain = it;
        while (!it.atEnd() && KeepsNext(it))
            ++it;
        if (it.atEnd())
            break;
        const int first = static_cast<int>(top(chain) / page);
        const bool pageTop = !hasPrevious || static_cast<int>(top(previous) / page) < first;
        if (static_cast<int>(top(it) / page) > first && !pageTop) {
            MoveToNextPage(chain.currentBlock());
            ++moves;
        }
        previous = it;
        hasPrevious = true;
        ++it;
    }
}

// Qt lets the space and the line under a paragraph's text run past the foot of its page; a
// boxed paragraph whose box does not fit goes to the next page whole, as it would on paper.
void KeepBoxesOnTheirPage(QTextDocument& document)
{
    // Each move lays out the rest of the report again: a long report keeps its pages as they fall.
    const int maxMoves = document.pageCount() <= 200 ? 200 : 0;
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    const double page = document.pageSize().height();
    const double bottom = document.rootFrame()->frameFormat().bottomMargin();
    int moves = 0;
    double before = -1; // where the last line of what came before stands
    if (maxMoves == 0)
        return;
    for (QTextFrame::iterator it = document.rootFrame()->begin(); !it.atEnd() && moves < maxMoves; ++it) {
        if (QTextFrame* frame = it.currentFrame()) {
            before = std::max(layout->frameBoundingRect(frame).bottom() - 1, 0.0);
            continue;
        }
        const QTextBlock block = it.currentBlock();
        const QTextLayout* lines = block.layout();
        if (!lines || lines->lineCount() == 0)
            continue;
        const double top = layout->blockBoundingRect(block).top();
        const QTextLine first = lines->lineAt(0), last = lines->lineAt(lines->lineCount() - 1);
        const double firstTop = top + first.y();
        double lastTop = top + last.y();
        const QTextBlockFormat format = block.blockFormat();
        const auto index = static_cast<int>(firstTop / page);
        if (format.hasProperty(kBorderProperty + kBottom) && static_cast<int>(lastTop / page) == index &&
            lastTop + last.height() + format.bottomMargin() > (index + 1) * page - bottom + 0.5 &&
            before >= 0 && static_cast<int>(before / page) == index) {
            QTextBlockFormat move;
            move.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            QTextCursor(block).mergeBlockFormat(move);
            ++moves;
            lastTop = layout->blockBoundingRect(block).top() + lines->lineAt(lines->lineCount() - 1).y();
        }
        before = lastTop;
    }
}

// Cuts a report laid out on more than the most pages at the last line of the last page that
// leaves `reserved` pixels at its foot, for the notes that say so. Whether it was cut.
bool CutAtPageLimit(QTextDocument& document, double reserved)
{
    if (document.pageCount() <= kMaxPages)
        return false;
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    const QTextFrameFormat root = document.rootFrame()->frameFormat();
    const double limit = kMaxPages * document.pageSize().height() - root.bottomMargin() - reserved;
    int cut = -1;
    for (QTextFrame::iterator it = document.rootFrame()->begin(); !it.atEnd() && cut < 0; ++it) {
        if (QTextFrame* frame = it.currentFrame()) {
            const QRectF r = layout->frameBoundingRect(frame);
            if (r.top() >= limit) {
                cut = frame->firstPosition() - 2; // with the break before it
            } else if (r.bottom() > limit) {
                // A table across the limit keeps the rows above it.
                if (auto* table = qobject_cast<QTextTable*>(frame)) {
                    for (int row = 1; row < table->rows(); ++row) {
                        const QTextBlock first = table->cellAt(row, 0).firstCursorPosition().block();
                        if (layout->blockBoundingRect(first).top() >= limit) {
                            table->removeRows(row, table->rows() - row);
                            break;
                        }
                    }
                }
                cut = frame->lastPosition() + 1;
            }
        } else {
            const QTextBlock block = it.currentBlock();
            const QRectF r = layout->blockBoundingRect(block);
            if (r.top() >= limit) {
                cut = block.position() - 1; // with the break before it
            } else if (r.bottom() > limit) {
                const QTextLayout* lines = block.layout();
                for (int k = 0; k < lines->lineCount() && cut < 0; ++k) {
                    const QTextLine line = lines->lineAt(k);
                    // From its first line the block goes whole, with the break before it.
                    if (r.top() + line.y() + line.height() > limit)
                        cut = k == 0 ? block.position() - 1 : block.position() + line.textStart();
                }
            }
        }
    }
    if (cut >= 0) {
        QTextCursor rest(&document);
        rest.setPosition(std::clamp(cut, 0, document.characterCount() - 1));
        rest.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        rest.removeSelectedText();
    }
    return true;
}

// Qt breaks a table between pages only where its rows run out of room: a table whose rows must
// go over before that becomes two, the rows from `row` on in a second table on the next page.
void SplitTable(QTextDocument& document, QTextTable& table, int row)
{
    const int rows = table.rows(), columns = table.columns();
    QTextCursor select(&document);
    select.setPosition(table.cellAt(row, 0).firstPosition());
    select.setPosition(table.cellAt(rows - 1, columns - 1).lastPosition(), QTextCursor::KeepAnchor);
    const QTextDocumentFragment rest = select.selection();
    QTextTableFormat format = table.format();
    // Qt leaves the text of merged cells behind when it removes their rows: they are split first.
    for (int r = row; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const QTextTableCell cell = table.cellAt(r, c);
            if (cell.row() == r && cell.column() == c && (cell.rowSpan() > 1 || cell.columnSpan() > 1))
                table.splitCell(r, c, 1, 1);
        }
    }
    table.removeRows(row, rows - row);
    QTextCursor after(&document);
    after.setPosition(table.lastPosition() + 1);
    after.insertFragment(rest);
    const QList<QTextFrame*> frames = table.parentFrame()->childFrames();
    const qsizetype at = frames.indexOf(&table);
    if (auto* second =
            at >= 0 && at + 1 < frames.size() ? qobject_cast<QTextTable*>(frames[at + 1]) : nullptr) {
        format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        format.setTopMargin(0);
        format.setHeaderRowCount(0);
        second->setFormat(format);
        // An edge the two halves shared was drawn by the row below: the first half's last row
        // gets it back.
        for (int col = 0; col < columns; ++col) {
            QTextTableCell upper = table.cellAt(row - 1, col);
            const QTextTableCellFormat lower = second->cellAt(0, col).format().toTableCellFormat();
            if (!upper.isValid() || upper.column() != col || lower.topBorder() <= 0)
                continue;
            QTextTableCellFormat f = upper.format().toTableCellFormat();
            if (f.bottomBorder() > 0)
                continue;
            f.setBottomBorder(lower.topBorder());
            f.setBottomBorderStyle(lower.topBorderStyle());
            f.setBottomBorderBrush(lower.topBorderBrush());
            upper.setFormat(f);
        }
    }
}

// Moves the first row of `table` that runs into the notes at the foot of its page to the next
// page, unless it stands at the top of its page. Whether one moved.
template <typename Height>
bool RowOverNotes(QTextDocument& document, QTextTable& table, const std::vector<std::vector<int>>& byPage,
                  double bottom, double before, const Height& notesHeight)
{
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    const double page = document.pageSize().height();
    double previousTop = before;
    for (int row = 0; row < table.rows(); ++row) {
        // The row's extent: its cells' text, from the first line to the last.
        double top = std::numeric_limits<double>::max(), end = 0;
        bool any = false;
        for (int col = 0; col < table.columns(); ++col) {
            const QTextTableCell cell = table.cellAt(row, col);
            if (!cell.isValid() || cell.row() != row || cell.column() != col)
                continue;
            const QTextBlock first = cell.firstCursorPosition().block();
            const QTextBlock last = cell.lastCursorPosition().block();
            any = true;
            top = std::min(top, layout->blockBoundingRect(first).top());
            if (cell.rowSpan() == 1)
                end = std::max(end, layout->blockBoundingRect(last).bottom());
        }
        if (!any)
            continue;
        const auto index = static_cast<std::size_t>(std::max(top, 0.0) / page);
        const bool pageTop = previousTop < 0 || static_cast<std::size_t>(previousTop / page) < index;
        previousTop = top;
        if (index >= byPage.size() || byPage[index].empty() || pageTop)
            continue;
        const double limit = (index + 1) * page - bottom - notesHeight(byPage[index]);
        if (end <= limit)
            continue;
        // Cells merged down go over together, from the row where they begin.
        int from = row;
        for (bool again = true; again;) {
            again = false;
            for (int col = 0; col < table.columns(); ++col) {
                const QTextTableCell cell = table.cellAt(from, col);
                if (cell.isValid() && cell.row() < from) {
                    from = cell.row();
                    again = true;
                }
            }
        }
        if (from == 0) {
            if (before < 0 || static_cast<std::size_t>(before / page) < index)
                return false; // the table starts its page: nothing gained
            QTextTableFormat format = table.format();
            format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            table.setFormat(format);
            return true;
        }
        SplitTable(document, table, from);
        return true;
    }
    return false;
}

// Footnotes stand at the foot of the page of their reference. Qt has one text height for every
// page, so a paragraph that would run into the notes goes to the next page, as on paper.
void PlaceFootnotes(QTextDocument& document, ReportPages& pages)
{
    const RenderModel& model = pages.Model();
    if (model.footnoteStarts.empty() || model.footnoteStarts.size() > kMaxFootnotesAtFoot)
        return;
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    const double page = document.pageSize().height();
    const double bottom = document.rootFrame()->frameFormat().bottomMargin();
    auto firstLineTop = [&](const QTextBlock& block) {
        const double y = layout->blockBoundingRect(block).top();
        const QTextLayout* lines = block.layout();
        return lines && lines->lineCount() > 0 ? y + lines->lineAt(0).y() : y;
    };
    std::vector<std::vector<int>> byPage;
    // Each move lays out the rest of the report again: a long report keeps its pages as they fall.
    const int passes = document.pageCount() <= 200 ? 40 : 0;
    for (int pass = 0; pass <= passes; ++pass) {
        byPage.assign(static_cast<std::size_t>(document.pageCount()), {});
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                const int number = fragment.charFormat().intProperty(kFootnoteProperty);
                if (number <= 0 || number > static_cast<int>(model.footnoteStarts.size()))
                    continue;
                const QTextLine line =
                    block.layout()->lineForTextPosition(fragment.position() - block.position());
                const double y = layout->blockBoundingRect(block).top() + (line.isValid() ? line.y() : 0.0);
                const auto index = std::clamp<std::size_t>(static_cast<std::size_t>(std::max(y, 0.0) / page),
                                                           0, byPage.size() - 1);
                if (std::find(byPage[index].begin(), byPage[index].end(), number) == byPage[index].end())
                    byPage[index].push_back(number);
            }
        }
        // The first paragraph of the body that runs into the notes of its page goes over.
        bool moved = false;
        if (pass == passes)
            break;
        // Where the last line of what came before stands: what starts a page is never moved.
        double before = -1;
        bool afterTable = false;
        for (QTextFrame::iterator it = document.rootFrame()->begin(); !it.atEnd() && !moved; ++it) {
            if (QTextFrame* frame = it.currentFrame()) {
                // A table, like a paragraph, stops above the notes: the first row that runs into
                // them goes over, with its cells' text.
                if (auto* table = qobject_cast<QTextTable*>(frame))
                    moved = RowOverNotes(document, *table, byPage, bottom, before,
                                         [&](const std::vector<int>& n) { return pages.NotesHeight(n); });
                before = std::max(layout->frameBoundingRect(frame).bottom() - 1, 0.0);
                afterTable = true;
                continue;
            }
            const QTextBlock block = it.currentBlock();
            // Qt hides the empty block after a table in the table's border.
            if (std::exchange(afterTable, false) && block.length() <= 1)
                continue;
            const double top = firstLineTop(block);
            const auto index = static_cast<std::size_t>(std::max(top, 0.0) / page);
            const QTextLayout* lines = block.layout();
            const double blockTop = layout->blockBoundingRect(block).top();
            const double lastTop = lines && lines->lineCount() > 0
                                       ? blockTop + lines->lineAt(lines->lineCount() - 1).y()
                                       : blockTop;
            if (index >= byPage.size() || byPage[index].empty()) {
                before = lastTop;
                continue;
            }
            const double limit = (index + 1) * page - bottom - pages.NotesHeight(byPage[index]);
            bool over = false;
            for (int k = 0; k < lines->lineCount(); ++k) {
                const QTextLine line = lines->lineAt(k);
                const double lineTop = blockTop + line.y();
                if (static_cast<std::size_t>(lineTop / page) != index)
                    break;
                over = over || lineTop + line.height() > limit;
            }
            const bool pageTop = before < 0 || static_cast<std::size_t>(before / page) < index;
            if (over && !pageTop) {
                MoveToNextPage(block);
                moved = true;
            }
            before = lastTop;
        }
        if (!moved)
            break;
    }
    for (auto& notes : byPage)
        std::sort(notes.begin(), notes.end());
    pages.SetPageNotes(std::move(byPage));
}

// Whether a table reaches past the paper's sides, where it is clipped.
bool WiderThanPaper(const QTextDocument& document)
{
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    const double width = document.pageSize().width();
    std::vector<QTextFrame*> frames{document.rootFrame()};
    while (!frames.empty()) {
        const QTextFrame* frame = frames.back();
        frames.pop_back();
        for (QTextFrame* child : frame->childFrames()) {
            const QRectF r = layout->frameBoundingRect(child);
            if (r.right() > width + 0.5 || r.left() < -0.5)
                return true;
            frames.push_back(child);
        }
    }
    return false;
}

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

std::unique_ptr<QTextDocument> BuildDocument(std::shared_ptr<const RenderModel> model)
{
    QStringList notes;
    for (const std::string& note : model->notes)
        notes.append(QString::fromStdString(note));
    auto images = std::make_shared<std::vector<QImage>>(DecodePictures(*model, notes));
    // Qt's layout coordinates end at 2^25 pixels: a report that might not fit is laid out on
    // coarser pixels. What is laid out is the body up to the room the page limit leaves.
    const double estimate = [&] {
        QTextDocument scratch;
        return Builder(*model, *images, scratch, kExactDpi).EstimatePages();
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
    constexpr double kMaxRoomPages = 8.0 * kMaxPages; // within Qt's coordinates at the coarsest pixels
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
    auto* pages = new ReportPages(document.get(), std::move(model), std::move(images), dpi);
    notes.append(pages->PartNotes());
    KeepWithNext(*document);
    KeepBoxesOnTheirPage(*document);
    PlaceFootnotes(*document, *pages);
    if (WiderThanPaper(*document))
        notes.append(QStringLiteral("Content wider than the paper was cut off at the paper's edge."));
    if (document->pageCount() > kMaxPages) {
        notes.append(PageLimitNote());
        notes.removeDuplicates();
        // The last page keeps room for its footnotes and for the notes that end the report.
        double reserved =
            NotesHeight(notes, dpi,
                        document->pageSize().width() - document->rootFrame()->frameFormat().leftMargin() -
                            document->rootFrame()->frameFormat().rightMargin());
        if (pages->PageNotes().size() >= static_cast<std::size_t>(kMaxPages))
            reserved += pages->NotesHeight(pages->PageNotes()[kMaxPages - 1]);
        CutAtPageLimit(*document, reserved);
        // The notes of the pages cut away go with them.
        std::vector<std::vector<int>> kept = pages->PageNotes();
        if (kept.size() > static_cast<std::size_t>(kMaxPages))
            kept.resize(kMaxPages);
        pages->SetPageNotes(std::move(kept));
    }
    notes.removeDuplicates();
    if (!notes.isEmpty()) {
        // On the report's last page, so that a printout says it is not the whole report.
        QTextCursor end(document.get());
        end.movePosition(QTextCursor::End);
        for (const QString& note : notes) {
            end.insertBlock(NoteBlockFormat(dpi), NoteTextFormat(dpi));
            end.insertText(note, NoteTextFormat(dpi));
        }
        // They too stop above the footnotes of their page.
        if (document->pageCount() <= kMaxPages)
            PlaceFootnotes(*document, *pages);
    }
    pages->SetNotes(notes);
    return document;
}

QStringList RenderNotes(const QTextDocument& document)
{
    for (QObject* child : document.children()) {
        if (auto* pages = qobject_cast<const ReportPages*>(child))
            return pages->Notes();
    }
    return {};
}

} // namespace keld::render
