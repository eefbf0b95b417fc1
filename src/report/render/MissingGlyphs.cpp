// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/render/MissingGlyphs.h"

#include <QByteArray>
#include <QFont>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QHash>
#include <QMutex>
#include <QStringList>
#include <QTextLayout>

#include <array>
#include <cstdint>
#include <vector>

namespace keld::render {

namespace {

// Big-endian writing, as TrueType wants it.
class Writer {
public:
    void U8(unsigned v) { m_bytes.append(static_cast<char>(v & 0xFF)); }
    void U16(unsigned v)
    {
        U8(v >> 8);
        U8(v);
    }
    void I16(int v) { U16(static_cast<unsigned>(v) & 0xFFFF); }
    void U32(std::uint32_t v)
    {
        U16(v >> 16);
        U16(v & 0xFFFF);
    }
    void Zeros(int n)
    {
        for (int k = 0; k < n; ++k)
            U8(0);
    }
    void Utf16(const QString& s)
    {
        for (QChar c : s)
            U16(c.unicode());
    }
    QByteArray& Bytes() { return m_bytes; }

private:
    QByteArray m_bytes;
};

constexpr int kEm = 1000;
constexpr int kAdvance = 600;
constexpr int kLeft = 50, kRight = 550, kTop = 700, kStroke = 50;
// Glyph 0 is empty, glyph 1 the box; the characters' glyphs follow, each drawing glyph 1. The
// surrogates and U+FFFE, U+FFFF are no characters.
constexpr unsigned kSurrogates = 0xE000 - 0xD800;
constexpr unsigned kGlyphs = 2 + 0xFFFE - kSurrogates;

QByteArray Head()
{
    Writer w;
    w.U32(0x00010000);
    w.U32(0x00010000);
    w.U32(0); // checksum adjustment
    w.U32(0x5F0F3CF5);
    w.U16(0x000B);
    w.U16(kEm);
    w.Zeros(16); // created, modified
    w.I16(0);
    w.I16(0);
    w.I16(kAdvance);
    w.I16(kTop);
    w.U16(0); // style
    w.U16(8); // smallest readable size
    w.I16(2); // direction
    w.I16(1); // long offsets
    w.I16(0);
    return w.Bytes();
}

QByteArray Hhea()
{
    Writer w;
    w.U32(0x00010000);
    w.I16(800);
    w.I16(-200);
    w.I16(0);
    w.U16(kAdvance);
    w.I16(0);
    w.I16(kAdvance - kRight);
    w.I16(kRight);
    w.I16(1);
    w.I16(0);
    w.I16(0);
    w.Zeros(8);
    w.I16(0);
    w.U16(1); // one advance for every glyph
    return w.Bytes();
}

QByteArray Maxp()
{
    Writer w;
    w.U32(0x00010000);
    w.U16(kGlyphs);
    w.U16(8);
    w.U16(2);
    w.U16(8);
    w.U16(2);
    w.U16(2);
    w.Zeros(12);
    w.U16(1);
    w.U16(1);
    return w.Bytes();
}

QByteArray Os2()
{
    Writer w;
    w.U16(4);
    w.I16(kAdvance);
    w.U16(400);
    w.U16(5);
    w.U16(0); // installable: embedded in PDFs
    for (int v : {650, 600, 0, 75, 650, 600, 0, 350, 50, 250})
        w.I16(v);
    w.I16(0);
    w.Zeros(10); // panose
    w.Zeros(16); // Unicode ranges
    w.Bytes().append("KELD");
    w.U16(0x40);
    w.U16(0);
    w.U16(0xFFFD);
    w.I16(800);
    w.I16(-200);
    w.I16(0);
    w.U16(800);
    w.U16(200);
    w.Zeros(8);
    w.I16(500);
    w.I16(kTop);
    w.U16(0);
    w.U16(32);
    w.U16(1);
    return w.Bytes();
}

QByteArray Hmtx()
{
    Writer w;
    w.U16(kAdvance);
    w.I16(0);
    for (unsigned g = 1; g < kGlyphs; ++g)
        w.I16(kLeft);
    return w.Bytes();
}

QByteArray Cmap()
{
    // Three segments: below the surrogates, above them, and the closing one.
    const std::array<unsigned, 3> starts{0x0000, 0xE000, 0xFFFF}, ends{0xD7FF, 0xFFFD, 0xFFFF};
    const std::array<int, 3> deltas{2, 2 - static_cast<int>(kSurrogates), 1};
    Writer w;
    w.U16(0);
    w.U16(1);
    w.U16(3);
    w.U16(1);
    w.U32(12);
    w.U16(4);
    w.U16(16 + 8 * 3);
    w.U16(0);
    w.U16(6);
    w.U16(4);
    w.U16(1);
    w.U16(2);
    for (unsigned e : ends)
        w.U16(e);
    w.U16(0);
    for (unsigned s : starts)
        w.U16(s);
    for (int d : deltas)
        w.I16(d);
    w.Zeros(6);
    return w.Bytes();
}

// The box, with a box cut out of it, and the glyphs that draw it.
void Glyphs(QByteArray& glyf, QByteArray& loca)
{
    Writer g, l;
    l.U32(0);
    l.U32(0); // glyph 0: empty
    const std::array<std::array<int, 2>, 8> points{{{kLeft, 0},
                                                    {kLeft, kTop},
                                                    {kRight, kTop},
                                                    {kRight, 0},
                                                    {kLeft + kStroke, kStroke},
                                                    {kRight - kStroke, kStroke},
                                                    {kRight - kStroke, kTop - kStroke},
                                                    {kLeft + kStroke, kTop - kStroke}}};
    g.I16(2);
    for (int v : {kLeft, 0, kRight, kTop})
        g.I16(v);
    g.U16(3);
    g.U16(7);
    g.U16(0);
    for (std::size_t k = 0; k < points.size(); ++k)
        g.U8(0x01);
    for (int axis = 0; axis < 2; ++axis) {
        int at = 0;
        for (const auto& p : points) {
            g.I16(p[axis] - at);
            at = p[axis];
        }
    }
    l.U32(static_cast<std::uint32_t>(g.Bytes().size()));
    for (unsigned k = 2; k < kGlyphs; ++k) {
        g.I16(-1);
        for (int v : {kLeft, 0, kRight, kTop})
            g.I16(v);
        g.U16(0x0002); // offsets as x, y; one byte each
        g.U16(1);
        g.U8(0);
        g.U8(0);
        l.U32(static_cast<std::uint32_t>(g.Bytes().size()));
    }
    glyf = g.Bytes();
    loca = l.Bytes();
}

QByteArray Name()
{
    const std::array<std::pair<int, QString>, 4> names{{{1, QStringLiteral("KELD Missing Glyph")},
                                                        {2, QStringLiteral("Regular")},
                                                        {4, QStringLiteral("KELD Missing Glyph")},
                                                        {6, QStringLiteral("KELDMissingGlyph")}}};
    Writer w, strings;
    w.U16(0);
    w.U16(static_cast<unsigned>(names.size()));
    w.U16(static_cast<unsigned>(6 + 12 * names.size()));
    for (const auto& [id, text] : names) {
        w.U16(3);
        w.U16(1);
        w.U16(0x409);
        w.U16(static_cast<unsigned>(id));
        w.U16(static_cast<unsigned>(text.size() * 2));
        w.U16(static_cast<unsigned>(strings.Bytes().size()));
        strings.Utf16(text);
    }
    return w.Bytes() + strings.Bytes();
}

// Qt draws scripts that need shaping only with a font that has layout tables: an empty one of
// the older kind, which shapers leave alone, lets it take this font for any script.
QByteArray Mort()
{
    Writer w;
    w.U32(0x00010000);
    w.U32(0);
    return w.Bytes();
}

QByteArray Post()
{
    Writer w;
    w.U32(0x00030000);
    w.U32(0);
    w.I16(-100);
    w.I16(50);
    w.U32(0);
    w.Zeros(16);
    return w.Bytes();
}

std::uint32_t CheckSum(const QByteArray& table)
{
    std::uint32_t sum = 0;
    for (qsizetype k = 0; k < table.size(); k += 4) {
        std::uint32_t word = 0;
        for (int b = 0; b < 4; ++b)
            word = word << 8 | (k + b < table.size() ? static_cast<unsigned char>(table[k + b]) : 0u);
        sum += word;
    }
    return sum;
}

} // namespace

QByteArray MissingGlyphFont()
{
    QByteArray glyf, loca;
    Glyphs(glyf, loca);
    // By tag, as the table directory wants them.
    const std::vector<std::pair<const char*, QByteArray>> tables = {
        {"OS/2", Os2()},  {"cmap", Cmap()}, {"glyf", glyf},  {"head", Head()},
        {"hhea", Hhea()}, {"hmtx", Hmtx()}, {"loca", loca},  {"maxp", Maxp()},
        {"mort", Mort()}, {"name", Name()}, {"post", Post()}};
    Writer w;
    w.U32(0x00010000);
    w.U16(static_cast<unsigned>(tables.size()));
    w.U16(128);
    w.U16(3);
    w.U16(static_cast<unsigned>(tables.size() * 16 - 128));
    std::uint32_t offset = static_cast<std::uint32_t>(12 + 16 * tables.size());
    for (const auto& [tag, data] : tables) {
        w.Bytes().append(tag, 4);
        w.U32(CheckSum(data));
        w.U32(offset);
        w.U32(static_cast<std::uint32_t>(data.size()));
        offset += static_cast<std::uint32_t>((data.size() + 3) & ~qsizetype(3));
    }
    for (const auto& [tag, data] : tables) {
        w.Bytes().append(data);
        w.Zeros(static_cast<int>((4 - data.size() % 4) % 4));
    }
    return w.Bytes();
}

QString MissingGlyphFamily()
{
    static const QString family = [] {
        const int id = QFontDatabase::addApplicationFontFromData(MissingGlyphFont());
        const QStringList families = id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
        return families.isEmpty() ? QString() : families.front();
    }();
    return family;
}

bool Drawable(char32_t c, const QStringList& families)
{
    // Asked for each letter past Latin of a report's text: the answer is kept.
    static QMutex mutex;
    static QHash<QString, QHash<char32_t, bool>> known;
    const QString key = families.join(QLatin1Char(','));
    QMutexLocker lock(&mutex);
    QHash<char32_t, bool>& byFamily = known[key];
    auto it = byFamily.constFind(c);
    if (it != byFamily.constEnd())
        return *it;
    QFont font;
    if (!families.isEmpty())
        font.setFamilies(families);
    // Laid out as the report lays it out, with the fallbacks for its script.
    QTextLayout layout(QString::fromUcs4(&c, 1), font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    bool drawable = true;
    for (const QGlyphRun& run : layout.glyphRuns()) {
        for (quint32 glyph : run.glyphIndexes())
            drawable = drawable && glyph != 0;
    }
    byFamily.insert(c, drawable);
    return drawable;
}

} // namespace keld::render
