// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/render/RenderBuilderShared.h"

#include <QTextCursor>

#include <algorithm>

// Paragraph and character formats: what a paragraph or a run of the model becomes in Qt.

namespace keld::render {

namespace {

constexpr qsizetype kMaxFamilies = 64;

} // namespace

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

} // namespace keld::render
