// SPDX-License-Identifier: GPL-3.0-or-later
#include "../common/TestFiles.h"
#include "common/TextFile.h"
#include "report/RtfDocument.h"
#include "report/render/MissingGlyphs.h"
#include "report/render/RenderBuilder.h"
#include "report/render/ReportRenderer.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace keld {
namespace {

namespace fs = std::filesystem;

// Fonts and layout need Qt's GUI application; the tests draw offscreen.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "test_report_render";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QGuiApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QGuiApplication> m_app;
};
[[maybe_unused]] const auto* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// A rendered report; most checks read its body through * and ->.
class Rendered {
public:
    explicit Rendered(render::RenderedReport report) : m_report(std::move(report)) {}
    const render::RenderedReport& Report() const { return m_report; }
    const QTextDocument& operator*() const { return m_report.Document(); }
    const QTextDocument* operator->() const { return &m_report.Document(); }

private:
    render::RenderedReport m_report;
};

Rendered Render(const std::string& rtf)
{
    RtfDocument doc;
    EXPECT_TRUE(doc.LoadBytes(rtf).Ok());
    return Rendered(RenderReport(doc));
}

double Px(const Rendered& doc, double twips)
{
    return twips * doc.Report().PixelDpi() / 1440.0;
}

// The format of the last character of the first occurrence of `text`.
QTextCharFormat FormatOf(const QTextDocument& doc, const QString& text)
{
    QTextCursor found = doc.find(text);
    EXPECT_FALSE(found.isNull()) << text.toStdString();
    return found.charFormat();
}

QTextBlockFormat BlockOf(const QTextDocument& doc, const QString& text)
{
    QTextCursor found = doc.find(text);
    EXPECT_FALSE(found.isNull()) << text.toStdString();
    return found.blockFormat();
}

fs::path TempDir(const std::string& name)
{
    fs::path dir = fs::temp_directory_path() / ("keld_render_" + name + "_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// Runs a shell command; its standard output, and whether it exited 0.
std::pair<bool, std::string> Shell(const std::string& command)
{
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return {false, out};
    char buffer[4096];
    while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe))
        out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) && WEXITSTATUS(status) == 0, out};
}

std::string Quoted(const std::string& text)
{
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// The tools that read PDFs back; a missing one fails the test by name rather than skipping it.
void RequireTool(const char* tool, const char* package)
{
    ASSERT_TRUE(Shell(std::string("command -v ") + tool + " > /dev/null 2>&1").first)
        << tool << " is missing: install the Debian package " << package;
}

std::string PdfText(const fs::path& pdf)
{
    return Shell("pdftotext -raw -enc UTF-8 " + Quoted(pdf.string()) + " - 2>/dev/null").second;
}

int PdfPages(const fs::path& pdf)
{
    std::istringstream info(Shell("pdfinfo " + Quoted(pdf.string()) + " 2>/dev/null").second);
    std::string line;
    while (std::getline(info, line)) {
        if (line.rfind("Pages:", 0) == 0)
            return std::stoi(line.substr(6));
    }
    return -1;
}

int PdfPictures(const fs::path& pdf)
{
    std::istringstream list(Shell("pdfimages -list " + Quoted(pdf.string()) + " 2>/dev/null").second);
    std::string line;
    int lines = 0;
    while (std::getline(list, line))
        ++lines;
    return std::max(lines - 2, 0); // two heading lines
}

std::string PngHex(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(40, 90, 160));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toHex().toStdString();
}

TEST(Render, ParagraphAndCharacterFormats)
{
    auto doc = Render(R"({\rtf1\ansi\deff0{\fonttbl{\f0\fswiss Arial;}{\f1\froman Times New Roman;}}
{\colortbl;\red255\green0\blue0;\red0\green0\blue255;}
\paperw12240\paperh15840\margl1440\margr1440\margt720\margb720
{\header \pard Top line\par}
\pard\qc\sb240\sa120 {\b Bold} {\i\ul italic} {\strike gone}\par
\pard\li720\fi-360\sl-480 {\f1\fs40\cf1 Big red} {\highlight2 marked} x{\super 2} {\v hidden}end\line next\par
\page\pard Second {\field{\*\fldinst PAGE}{\fldrslt 7}} page\par
\pard Note{\super\chftn}{\footnote \pard{\super\chftn} The note.}\par
})");
    const QString text = doc->toRawText();
    EXPECT_TRUE(text.contains("Bold italic gone"));
    EXPECT_TRUE(text.contains(QString("Big red marked x2 end") + QChar(0x2028) + "next"));
    EXPECT_TRUE(text.contains("Second 7 page"));
    EXPECT_FALSE(text.contains("hidden"));
    EXPECT_FALSE(text.contains("Top line")) << "a header is painted on each page, not part of the body";
    // The footnote stands at the foot of its reference's page, numbered as its reference.
    EXPECT_TRUE(text.contains("Note1"));
    EXPECT_FALSE(text.contains("The note."));
    EXPECT_EQ(doc.Report().FootnotesOfPage(1), QStringList{"1 The note."});
    EXPECT_TRUE(doc.Report().FootnotesOfPage(0).isEmpty());

    EXPECT_EQ(BlockOf(*doc, "Bold").alignment(), Qt::AlignHCenter);
    EXPECT_EQ(FormatOf(*doc, "Bold").fontWeight(), QFont::Bold);
    EXPECT_TRUE(FormatOf(*doc, "italic").fontItalic());
    EXPECT_TRUE(FormatOf(*doc, "italic").fontUnderline());
    EXPECT_TRUE(FormatOf(*doc, "gone").fontStrikeOut());
    EXPECT_NE(FormatOf(*doc, "gone").fontWeight(), QFont::Bold);

    const QTextBlockFormat indented = BlockOf(*doc, "Big red");
    EXPECT_DOUBLE_EQ(indented.leftMargin(), Px(doc, 720));
    EXPECT_DOUBLE_EQ(indented.textIndent(), Px(doc, -360));
    EXPECT_EQ(indented.lineHeightType(), QTextBlockFormat::FixedHeight);
    EXPECT_DOUBLE_EQ(indented.lineHeight(), Px(doc, 480));
    // Space between paragraphs adds up, as on paper: 120 below the first, none above the second.
    EXPECT_DOUBLE_EQ(indented.topMargin(), Px(doc, 120));
    const QTextCharFormat big = FormatOf(*doc, "Big red");
    // Sizes are whole pixels at the document's resolution, never rounded to the screen's.
    EXPECT_EQ(big.intProperty(QTextFormat::FontPixelSize), qRound(Px(doc, 20 * 20)));
    EXPECT_EQ(big.fontFamilies().toStringList(), QStringList{"Times New Roman"});
    EXPECT_EQ(big.foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(FormatOf(*doc, "marked").background().color(), QColor(0, 0, 255));
    EXPECT_EQ(FormatOf(*doc, "x2").verticalAlignment(), QTextCharFormat::AlignSuperScript);

    EXPECT_EQ(BlockOf(*doc, "Second").pageBreakPolicy(), QTextFormat::PageBreak_AlwaysBefore);
    EXPECT_EQ(doc->pageCount(), 2);
}

TEST(Render, TablesTakeWidthsMergesBordersAndNesting)
{
    auto doc = Render(R"({\rtf1\ansi{\colortbl;\red200\green0\blue0;\red0\green0\blue255;}
\trowd\trgaph100\trqc\trhdr\clvertalc\clbrdrb\brdrs\brdrw30\brdrcf1\clcbpat2\cellx2000\clvmgf\cellx5000\cellx6000
\pard\intbl A\cell B\cell C\cell\row
\trowd\trgaph100\trqc\cellx2000\clvmrg\cellx5000\clmgf\cellx5500\clmrg\cellx6000
\pard\intbl D\cell\cell E\cell\cell\row
\trowd\cellx3000\cellx6000
\pard\intbl F\par
\pard\intbl\itap2 N1\nestcell N2\nestcell{\*\nesttableprops\trowd\cellx1000\cellx2000\nestrow}{\nonesttables\par}
\pard\intbl\cell G\cell\row
\pard After\par
})");
    ASSERT_EQ(doc->rootFrame()->childFrames().size(), 1);
    auto* table = qobject_cast<QTextTable*>(doc->rootFrame()->childFrames().front());
    ASSERT_NE(table, nullptr);
    // Every edge of every row makes the grid: 0, 2000, 3000, 5000, 5500 and 6000.
    ASSERT_EQ(table->rows(), 3);
    ASSERT_EQ(table->columns(), 5);
    const QList<QTextLength> widths = table->format().columnWidthConstraints();
    const double expected[] = {2000, 1000, 2000, 500, 500};
    for (int c = 0; c < 5; ++c)
        EXPECT_NEAR(widths[c].rawValue(), Px(doc, expected[c]), 0.01) << c;
    EXPECT_EQ(table->format().headerRowCount(), 1);

    auto text = [&](int r, int c) {
        QTextTableCell cell = table->cellAt(r, c);
        QTextCursor cursor = cell.firstCursorPosition();
        cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
        return cursor.selectedText();
    };
    EXPECT_EQ(text(0, 0), "A");
    EXPECT_EQ(table->cellAt(0, 1).columnSpan(), 2);
    EXPECT_EQ(table->cellAt(0, 1).rowSpan(), 2) << "B merges down over the next row";
    EXPECT_EQ(text(1, 1), "B");
    EXPECT_EQ(text(1, 3), "E");
    EXPECT_EQ(table->cellAt(1, 3).columnSpan(), 2) << "E merges across its neighbour";
    EXPECT_EQ(table->cellAt(2, 0).columnSpan(), 2);
    EXPECT_EQ(text(2, 2), "G");

    const QTextTableCellFormat a = table->cellAt(0, 0).format().toTableCellFormat();
    EXPECT_EQ(a.background().color(), QColor(0, 0, 255));
    EXPECT_NEAR(a.bottomBorder(), Px(doc, 30), 0.01);
    EXPECT_EQ(a.bottomBorderBrush().color(), QColor(200, 0, 0));
    EXPECT_EQ(a.verticalAlignment(), QTextCharFormat::AlignMiddle);
    EXPECT_NEAR(a.leftPadding(), Px(doc, 100), 0.01);

    // The nested table stands in the third row's first cell, after "F".
    ASSERT_EQ(table->childFrames().size(), 1);
    auto* nested = qobject_cast<QTextTable*>(table->childFrames().front());
    ASSERT_NE(nested, nullptr);
    EXPECT_EQ(nested->rows(), 1);
    EXPECT_EQ(nested->columns(), 2);
    EXPECT_EQ(nested->cellAt(0, 1).firstCursorPosition().block().text(), "N2");
    EXPECT_EQ(table->cellAt(2, 0).firstCursorPosition().block().text(), "F");

    QTextCursor after = doc->find("After");
    ASSERT_FALSE(after.isNull());
    EXPECT_EQ(after.currentTable(), nullptr);
}

TEST(Render, PicturesAndPaperSize)
{
    const std::string png = PngHex(20, 10);
    // A PNG header claiming a picture of 100000 x 100000 pixels, and a whole PNG cut short by its
    // last 20 bytes, which the program's picture rule refuses wherever it stands.
    const std::string huge = "89504e470d0a1a0a0000000d49484452000186a0000186a00802000000";
    const std::string cut = png.substr(0, png.size() - 40);
    auto doc = Render(
        "{\\rtf1\\ansi\\paperw16838\\paperh11906\\landscape\\margl720\\margr720\\margt720\\margb720 "
        "before {\\pict\\pngblip\\picw20\\pich10\\picwgoal1500\\pichgoal750 " +
        png + "} mid {\\pict\\wmetafile8 0102} {\\pict\\pngblip " + cut + "} {\\pict\\pngblip " + huge +
        "} {\\*\\shppict{\\pict\\pngblip " + png + "}}{\\nonshppict{\\pict\\wmetafile8 0102}} after\\par}");
    int pictures = 0;
    QSizeF first;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (!f.isImageFormat())
                continue;
            if (pictures++ == 0)
                first = QSizeF(f.toImageFormat().width(), f.toImageFormat().height());
        }
    }
    EXPECT_EQ(pictures, 2)
        << "the metafile, the cut and the oversized pictures and the fallback are left out";
    EXPECT_NEAR(first.width(), Px(doc, 1500), 0.01);
    EXPECT_NEAR(first.height(), Px(doc, 750), 0.01);
    EXPECT_TRUE(doc->toPlainText().contains("before"));
    EXPECT_TRUE(doc->toPlainText().contains("after"));

    const QPageLayout layout = doc.Report().PageLayout();
    EXPECT_EQ(layout.orientation(), QPageLayout::Landscape);
    EXPECT_NEAR(layout.fullRect(QPageLayout::Point).width(), 16838 / 20.0, 0.5);
    EXPECT_NEAR(layout.fullRect(QPageLayout::Point).height(), 11906 / 20.0, 0.5);
    EXPECT_NEAR(layout.margins(QPageLayout::Point).left(), 36, 0.01);
    EXPECT_NEAR(doc.Report().PagePixels().width(), Px(doc, 16838), 0.01);
}

// The page of the first line of the first paragraph that holds `text`.
int PageOf(const QTextDocument& doc, const QString& text)
{
    // Qt moves the lines of a block that does not fit to the next page, not the block.
    const QTextBlock block = doc.find(text).block();
    const double top = doc.documentLayout()->blockBoundingRect(block).top() + block.layout()->lineAt(0).y();
    return static_cast<int>(top / doc.pageSize().height());
}

QImage PaintedPage(const Rendered& doc, int index)
{
    const QSizeF size = doc.Report().PagePixels();
    QImage image(size.toSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    doc.Report().PaintPage(painter, index);
    return image;
}

TEST(Render, KeepsWithNextDrawsParagraphBordersAndKeepsTheParagraphAfterATable)
{
    // A heading that asks to stay with its text goes over with it, wherever the page ends.
    for (int lines = 30; lines <= 60; lines += 3) {
        std::string rtf = "{\\rtf1\\ansi ";
        for (int k = 0; k < lines; ++k)
            rtf += "\\pard Line " + std::to_string(k) + "\\par ";
        rtf += "\\pard\\keepn\\sb240 Chapter\\par \\pard\\keepn Subtitle\\par \\pard Story\\line two\\line "
               "three\\par}";
        auto doc = Render(rtf);
        SCOPED_TRACE(lines);
        EXPECT_EQ(PageOf(*doc, "Chapter"), PageOf(*doc, "Story"));
        EXPECT_EQ(PageOf(*doc, "Subtitle"), PageOf(*doc, "Story"));
        EXPECT_LE(doc->pageCount(), 2);
    }
    // A chain longer than a page cannot stay together: it is left as it falls, not looped over.
    std::string chain = "{\\rtf1\\ansi ";
    for (int k = 0; k < 200; ++k)
        chain += "\\pard\\keepn Kept " + std::to_string(k) + "\\par ";
    auto longChain = Render(chain + "\\pard End\\par}");
    EXPECT_GE(longChain->pageCount(), 3);

    // A boxed paragraph: its lines stand clear of its text, in its colour.
    auto boxed = Render("{\\rtf1\\ansi{\\colortbl;\\red200\\green0\\blue0;}\\pard Plain\\par "
                        "\\pard\\box\\brdrs\\brdrw40\\brdrcf1\\brsp100 Boxed text\\par "
                        "\\pard\\brdrb\\brdrdb\\brdrw20 Under\\par \\pard After\\par}");
    const QTextBlock block = boxed->find("Boxed").block();
    const QRectF rect = boxed->documentLayout()->blockBoundingRect(block);
    EXPECT_GE(BlockOf(*boxed, "Boxed").leftMargin(), Px(boxed, 140) - 0.01)
        << "the text moves inside the box";
    const QImage page = PaintedPage(boxed, 0);
    auto redRow = [&](int y) {
        int red = 0;
        for (int x = 0; x < page.width(); ++x)
            red += page.pixelColor(x, y).red() > 150 && page.pixelColor(x, y).green() < 80;
        return red;
    };
    int lineAbove = -1;
    for (int y = static_cast<int>(rect.top()) - 1; y > rect.top() - Px(boxed, 200); --y) {
        if (redRow(y) > rect.width() / 2) {
            lineAbove = y;
            break;
        }
    }
    EXPECT_GT(lineAbove, 0) << "a red line above the boxed paragraph";
    EXPECT_GT(lineAbove, boxed->documentLayout()->blockBoundingRect(boxed->find("Plain").block()).bottom());
    EXPECT_GT(BlockOf(*boxed, "After").topMargin(), 0.0) << "the line under a paragraph keeps its room";

    // The empty paragraph after a table is a line of its own, as in the source.
    const std::string table = "{\\rtf1\\ansi \\trowd\\cellx3000\\pard\\intbl Cell\\cell\\row ";
    auto with = Render(table + "\\pard\\par \\pard Below\\par}");
    auto without = Render(table + "\\pard Below\\par}");
    const double withY = with->documentLayout()->blockBoundingRect(with->find("Below").block()).top();
    const double withoutY =
        without->documentLayout()->blockBoundingRect(without->find("Below").block()).top();
    EXPECT_GT(withY - withoutY, Px(with, 200)) << "about a line lower";
}

TEST(Render, FootnotesStandAtTheFootOfTheirPage)
{
    // Wherever the reference falls, its note is on its page and the text stops above the notes.
    for (int lines = 36; lines <= 48; lines += 2) {
        std::string rtf = "{\\rtf1\\ansi ";
        for (int k = 0; k < lines; ++k)
            rtf += "\\pard Line " + std::to_string(k) + "\\par ";
        rtf += "\\pard Marked{\\super\\chftn}{\\footnote \\pard{\\super\\chftn} First note.\\par \\pard Its "
               "second "
               "paragraph.}\\par \\pard Again{\\super\\chftn}{\\footnote \\pard{\\super\\chftn} Second "
               "note.}\\par";
        for (int k = 0; k < 40; ++k)
            rtf += "\\pard After " + std::to_string(k) + "\\par ";
        auto doc = Render(rtf + "}");
        SCOPED_TRACE(lines);
        const int marked = PageOf(*doc, "Marked"), again = PageOf(*doc, "Again");
        QStringList notes = doc.Report().FootnotesOfPage(marked);
        ASSERT_FALSE(notes.isEmpty());
        EXPECT_TRUE(notes.front().startsWith("1 First note.")) << notes.front().toStdString();
        EXPECT_TRUE(notes.front().contains("Its second paragraph."));
        EXPECT_TRUE(doc.Report().FootnotesOfPage(again).join(' ').contains("2 Second note."));
        EXPECT_FALSE(doc->toPlainText().contains("First note."));
        // No line of the text on the page runs into the notes' room, under their short rule.
        const QImage page = PaintedPage(doc, marked);
        const int x0 = static_cast<int>(Px(doc, 1800)) + 1;
        const double width = Px(doc, 12240 - 3600);
        int ruleRow = -1;
        for (int y = page.height() - 1; y >= 0 && ruleRow < 0; --y) {
            int run = 0;
            while (x0 + run < page.width() && page.pixelColor(x0 + run, y).lightness() < 128)
                ++run;
            if (run > width * 0.25 && run < width * 0.35)
                ruleRow = y;
        }
        ASSERT_GT(ruleRow, 0);
        const double pageTop = marked * doc->pageSize().height();
        for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
            const double top = doc->documentLayout()->blockBoundingRect(block).top();
            for (int k = 0; k < block.layout()->lineCount(); ++k) {
                const QTextLine line = block.layout()->lineAt(k);
                const double y = top + line.y() - pageTop;
                if (y >= 0 && y < doc->pageSize().height()) {
                    EXPECT_LT(y + line.height(), ruleRow) << block.text().toStdString();
                }
            }
        }
    }
}

// Text is laid out with the fonts' own metrics at the template's sizes, as a word processor lays
// it out in twips: not on the screen's whole pixels, which made 11 point text 2 % wider and its
// lines 13.5 points apart.
TEST(Render, LaysTextOutWithTheFontsExactMetrics)
{
    ASSERT_EQ(QFontInfo(QFont(QStringLiteral("Liberation Serif"))).family(),
              QStringLiteral("Liberation Serif"))
        << "install the Debian package fonts-liberation";
    std::string rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\froman Liberation Serif;}}"
                      "\\paperw11906\\paperh16838\\margl1134\\margr1134\\margt1134\\margb1134 ";
    for (int k = 0; k < 120; ++k)
        rtf += "\\pard\\plain\\f0\\fs22 lorem\\par ";
    auto doc = Render(rtf + "}");
    const double points = 72 / doc.Report().PixelDpi();
    const QTextBlock first = doc->begin();
    // "lorem" is 2.333 em of Liberation Serif; its lines 1.1499 em apart, on whole twips.
    EXPECT_NEAR(first.layout()->lineAt(0).naturalTextWidth() * points, 25.666, 0.02);
    const QAbstractTextDocumentLayout* layout = doc->documentLayout();
    const double step =
        layout->blockBoundingRect(first.next()).top() - layout->blockBoundingRect(first).top();
    EXPECT_NEAR(step * points, 12.65, 0.01);
    // The page holds 57 of them (728.5 points), the second page the rest, as in a word processor.
    EXPECT_EQ(PageOf(*doc, "lorem"), 0);
    EXPECT_EQ(doc->pageCount(), 3);
    int onFirst = 0;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        onFirst += layout->blockBoundingRect(b).top() + b.layout()->lineAt(0).y() < doc->pageSize().height();
    EXPECT_EQ(onFirst, 57);
}

// Letters no installed font has stay in the text, drawn as boxes, as word processors keep them:
// here letters of no script at all, and Vai, which few machines have a font for.
TEST(Render, TextNoFontCanShowIsKeptInThePdf)
{
    RequireTool("pdftotext", "poppler-utils");
    const fs::path dir = TempDir("missing");
    RtfDocument doc;
    ASSERT_TRUE(doc.LoadBytes("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\froman Liberation Serif;}}"
                              "\\pard Name: \\u12256?\\u12257?\\u42240? end\\par}")
                    .Ok());
    ASSERT_TRUE(WriteReportPdf(doc, dir / "missing.pdf", QStringLiteral("Missing")).Ok());
    const std::string text = PdfText(dir / "missing.pdf");
    EXPECT_NE(text.find("Name: \u2FE0\u2FE1\uA500 end"), std::string::npos) << text;
    // Each a glyph of its own in the box font, so that each reads back as itself.
    QRawFont box(render::MissingGlyphFont(), 12);
    ASSERT_TRUE(box.isValid());
    const auto glyphs = box.glyphIndexesForString(QStringLiteral("A\u2FE0\uA500\uFFFD"));
    EXPECT_EQ(QSet<quint32>(glyphs.begin(), glyphs.end()).size(), 4);
    EXPECT_FALSE(glyphs.contains(0));
    fs::remove_all(dir);
}

TEST(Render, EnlargedPicturesAreSmoothed)
{
    // Two pixels, black and white, drawn an inch wide: smoothing makes greys between them.
    QImage two(2, 1, QImage::Format_RGB32);
    two.setPixelColor(0, 0, Qt::black);
    two.setPixelColor(1, 0, Qt::white);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    two.save(&buffer, "PNG");
    auto doc = Render("{\\rtf1\\ansi \\pard {\\pict\\pngblip\\picwgoal1440\\pichgoal720 " +
                      bytes.toHex().toStdString() + "}\\par}");
    const QImage page = PaintedPage(doc, 0);
    int greys = 0;
    for (int y = 0; y < page.height(); y += 4) {
        for (int x = 0; x < page.width(); ++x) {
            const int v = page.pixelColor(x, y).red();
            greys += v > 40 && v < 215;
        }
    }
    EXPECT_GT(greys, 20);
}

bool HasNote(const Rendered& doc, const QString& part)
{
    const QStringList& notes = doc.Report().Notes();
    // Said in the API and printed on the last page.
    return notes.filter(part).size() == 1 && doc->toPlainText().contains(notes.filter(part).front());
}

// Hostile templates in a bounded form: each class is cut or narrowed where the renderer stops,
// with a note, in bounded time.
TEST(RenderLimits, PagesMarginsNestingPartsFontsAndLongParagraphs)
{
    QElapsedTimer timer;
    timer.start();
    std::string breaks = "{\\rtf1\\ansi ";
    for (int k = 0; k < render::kMaxPages + 300; ++k)
        breaks += "p" + std::to_string(k) + (k % 2 ? "\\page " : "\\sect ");
    auto cut = Render(breaks + "}");
    EXPECT_EQ(cut->pageCount(), render::kMaxPages);
    EXPECT_TRUE(HasNote(cut, "The report was cut here: more than 2,000 pages."))
        << cut.Report().Notes().join('|').toStdString();
    EXPECT_TRUE(cut->toPlainText().contains(QStringLiteral("p%1").arg(render::kMaxPages - 1)));
    EXPECT_FALSE(cut->toPlainText().contains(QStringLiteral("p%1").arg(render::kMaxPages)));
    EXPECT_EQ(cut.Report().PaperCopy().Notes(), cut.Report().Notes()) << "a paper copy says the same";
    auto whole = Render("{\\rtf1\\ansi one\\page two\\par}");
    EXPECT_TRUE(whole.Report().Notes().isEmpty()) << "a report shown whole says nothing";

    // Margins wider than the paper leave an inch of text each way.
    std::string words;
    for (int k = 0; k < 2000; ++k)
        words += "word ";
    auto margins =
        Render("{\\rtf1\\ansi\\paperw12240\\margl12000\\margr12000\\margt16000\\margb9000 " + words + "}");
    EXPECT_LE(margins->pageCount(), 300) << "about eight words a page, not one";
    const QPageLayout layout = margins.Report().PageLayout();
    EXPECT_GE(layout.paintRect(QPageLayout::Point).width(), 72 - 0.5);
    EXPECT_GE(layout.paintRect(QPageLayout::Point).height(), 72 - 0.5);
    EXPECT_TRUE(HasNote(margins, "margins were narrowed"));

    // Tables nested sixteen deep keep their text, as paragraphs past the fourth level.
    std::string nested;
    for (int level = 16; level > 1; --level)
        nested = "\\pard\\intbl\\itap" + std::to_string(level) + " " + nested + " in" +
                 std::to_string(level) +
                 "\\nestcell b\\nestcell{\\*\\nesttableprops\\trowd\\cellx1000\\cellx2000\\nestrow}";
    std::string tables = "{\\rtf1\\ansi ";
    for (int k = 0; k < 20; ++k)
        tables += "\\trowd\\cellx4000\\cellx8000\\pard\\intbl " + nested + " c\\cell d\\cell\\row ";
    auto deep = Render(tables + "}");
    EXPECT_TRUE(deep->toPlainText().contains("in16"));
    EXPECT_TRUE(HasNote(deep, "nested more than 4 deep"));

    // A header far taller than a page is cut to one; its page numbers still count on each page.
    std::string header = "{\\rtf1\\ansi {\\header ";
    for (int k = 0; k < 3000; ++k)
        header += "\\pard h{\\field{\\*\\fldinst PAGE}{\\fldrslt 1}}\\par ";
    header += "}";
    for (int k = 0; k < 300; ++k)
        header += "x\\page ";
    auto tall = Render(header + "}");
    EXPECT_TRUE(HasNote(tall, "header or footer taller than the page"));
    QImage page(tall.Report().PagePixels().toSize(), QImage::Format_RGB32);
    QPainter painter(&page);
    for (int k = 0; k < tall->pageCount(); ++k)
        tall.Report().PaintPage(painter, k);

    // Many fonts: the first few dozen are used, the rest drawn in the default font.
    std::string fonts = "{\\rtf1\\ansi{\\fonttbl";
    for (int k = 0; k < 3000; ++k)
        fonts += "{\\f" + std::to_string(k) + " Missing Face " + std::to_string(k) + ";}";
    fonts += "}";
    for (int k = 0; k < 3000; ++k)
        fonts += "{\\f" + std::to_string(k) + " x}";
    auto faces = Render(fonts + "}");
    EXPECT_TRUE(HasNote(faces, "fonts are used"));

    // One paragraph of 300,000 letters and 20,000 changes of format: all its words, quickly.
    std::string para = "{\\rtf1\\ansi ";
    for (int k = 0; k < 20000; ++k)
        para += (k % 2 ? "{\\b w} " : "word ") + std::string("filler text ");
    auto one = Render(para + "\\par}");
    EXPECT_EQ(one->toPlainText().count("filler"), 20000);
    EXPECT_TRUE(one.Report().Notes().isEmpty());
    EXPECT_LT(timer.elapsed(), 600'000) << "bounded, even under the sanitizers";
}

TEST(RenderLimits, LargePicturesAreScaledNotDropped)
{
    // More pixels than Qt reads by default: kept, at a size print can show.
    QImage big(6000, 6000, QImage::Format_Grayscale8);
    big.fill(90);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(big.save(&buffer, "PNG"));
    big = QImage();
    auto doc = Render("{\\rtf1\\ansi {\\pict\\pngblip\\picwgoal2880\\pichgoal2880 " +
                      bytes.toHex().toStdString() + "}\\par}");
    int pictures = 0;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (!f.isImageFormat())
                continue;
            ++pictures;
            const QImage shown =
                doc->resource(QTextDocument::ImageResource, QUrl(f.toImageFormat().name())).value<QImage>();
            EXPECT_LE(std::max(shown.width(), shown.height()), 2400);
            EXPECT_GE(shown.width(), 1000);
            EXPECT_NEAR(f.toImageFormat().width(), Px(doc, 2880), 0.01);
        }
    }
    EXPECT_EQ(pictures, 1);
}

// The row of the short rule over the notes at the foot of a painted page; -1 when there is none.
int NotesRuleRow(const Rendered& doc, const QImage& page)
{
    const int x0 = static_cast<int>(Px(doc, 1800)) + 1;
    const double width = Px(doc, 12240 - 3600);
    for (int y = page.height() - 1; y >= 0; --y) {
        int run = 0;
        while (x0 + run < page.width() && page.pixelColor(x0 + run, y).lightness() < 128)
            ++run;
        if (run > width * 0.25 && run < width * 0.35)
            return y;
    }
    return -1;
}

// No line of the page's text, in paragraphs or in table cells, reaches the notes under their
// rule, and no line of a table is drawn through them at column `x` (in twips from the paper).
void ExpectClearOfNotes(const Rendered& rendered, int index, double x)
{
    const QImage page = PaintedPage(rendered, index);
    const int rule = NotesRuleRow(rendered, page);
    ASSERT_GT(rule, 0) << "the rule over the notes";
    const QTextDocument& doc = *rendered;
    const double pageTop = index * doc.pageSize().height();
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        const double top = doc.documentLayout()->blockBoundingRect(block).top();
        for (int k = 0; k < block.layout()->lineCount(); ++k) {
            const QTextLine line = block.layout()->lineAt(k);
            const double y = top + line.y() - pageTop;
            if (y >= 0 && y < doc.pageSize().height() && !block.text().isEmpty()) {
                EXPECT_LT(y + line.height(), rule) << block.text().toStdString();
            }
        }
    }
    const int column = static_cast<int>(Px(rendered, x));
    int dark = 0;
    for (int y = rule + 2; y < page.height() - Px(rendered, 1440); ++y)
        dark += page.pixelColor(column, y).lightness() < 128;
    EXPECT_EQ(dark, 0) << "a table's line runs through the notes";
}

TEST(Render, TablesStopAboveTheFootnotesOfTheirPage)
{
    const std::string cell = "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10"
                             "\\clbrdrr\\brdrs\\brdrw10";
    // Wherever the page ends in the table, its rows stop above the notes and go on on the next
    // page, each once.
    for (int lines = 4; lines <= 28; lines += 6) {
        std::string rtf = "{\\rtf1\\ansi ";
        for (int k = 0; k < lines; ++k)
            rtf += "\\pard Line " + std::to_string(k) + "\\par ";
        rtf +=
            "\\pard Marked{\\super\\chftn}{\\footnote \\pard{\\super\\chftn} A note.\\par \\pard Its second "
            "line.}\\par ";
        for (int k = 0; k < 60; ++k)
            rtf += "\\trowd" + cell + "\\cellx3000" + cell + "\\cellx9000\\pard\\intbl Row " +
                   std::to_string(k) + "\\cell Value\\cell\\row ";
        auto doc = Render(rtf + "\\pard After\\par}");
        SCOPED_TRACE(lines);
        const int marked = PageOf(*doc, "Marked");
        ASSERT_FALSE(doc.Report().FootnotesOfPage(marked).isEmpty());
        ExpectClearOfNotes(doc, marked, 1800 + 9000);
        for (int k = 0; k < 60; ++k)
            EXPECT_EQ(doc->toPlainText().count(QStringLiteral("Row %1\n").arg(k)), 1) << k;
        EXPECT_EQ(PageOf(*doc, "Row 59"), PageOf(*doc, "After"));
        EXPECT_LE(doc->pageCount(), 3) << "no page left empty";
    }

    // A cell merged down beside a nested table, with a footnote on the page: the merged cell's
    // text stands in its rows, and the rows that go over take it with them.
    std::string merged = "{\\rtf1\\ansi ";
    for (int k = 0; k < 30; ++k)
        merged += "\\pard Line " + std::to_string(k) + "\\par ";
    merged += "\\pard Marked{\\super\\chftn}{\\footnote \\pard{\\super\\chftn} Grouped.}\\par ";
    for (int group = 0; group < 3; ++group) {
        for (int r = 0; r < 3; ++r) {
            merged += "\\trowd" + std::string(r == 0 ? "\\clvmgf" : "\\clvmrg") + cell + "\\cellx3000" +
                      cell + "\\cellx9000\\pard\\intbl " +
                      (r == 0 ? "Group " + std::to_string(group) : std::string()) +
                      "\\cell\\pard\\intbl\\itap2 Rank " + std::to_string(group * 3 + r) +
                      "\\nestcell Bonus\\nestcell{\\*\\nesttableprops\\trowd" + cell + "\\cellx2500" + cell +
                      "\\cellx5000\\nestrow}{\\nonesttables\\par}\\pard\\intbl\\cell\\row ";
        }
    }
    auto doc = Render(merged + "\\pard After\\par}");
    EXPECT_TRUE(doc.Report().Notes().isEmpty()) << doc.Report().Notes().join('|').toStdString();
    const int marked = PageOf(*doc, "Marked");
    ExpectClearOfNotes(doc, marked, 1800 + 9000);
    for (int group = 0; group < 3; ++group) {
        const QString label = QStringLiteral("Group %1").arg(group);
        const QTextCursor found = doc->find(label);
        ASSERT_FALSE(found.isNull());
        EXPECT_NE(found.currentTable(), nullptr) << "in its cell";
        EXPECT_EQ(PageOf(*doc, label), PageOf(*doc, QStringLiteral("Rank %1").arg(group * 3))) << group;
        EXPECT_EQ(doc->toPlainText().count(label), 1);
    }
}

// A paragraph's double border is two lines, and its shading reaches them on both sides.
TEST(Render, DoubleParagraphBordersAndShadingToTheLines)
{
    auto doc =
        Render("{\\rtf1\\ansi{\\colortbl;\\red0\\green0\\blue0;\\red180\\green210\\blue250;}"
               "\\pard Plain\\par \\pard\\box\\brdrdb\\brdrw30\\brsp120\\brdrcf1\\cbpat2 Shaded box\\par "
               "\\pard After\\par}");
    const QTextBlock block = doc->find("Shaded").block();
    const QRectF rect = doc->documentLayout()->blockBoundingRect(block);
    const QImage page = PaintedPage(doc, 0);
    const int y =
        static_cast<int>(rect.top() + block.layout()->lineAt(0).y() + block.layout()->lineAt(0).height() / 2);
    // Across the middle of the box, from each paper edge inward: the runs of dark pixels until
    // the shading starts.
    auto kind = [&](int x) {
        const QColor c = page.pixelColor(x, y);
        if (c.lightness() < 100)
            return 'd';
        if (c.blue() > 230 && c.red() < 200)
            return 's';
        return 'w';
    };
    auto lines = [&](int from, int step) {
        std::string seen;
        for (int x = from; x >= 0 && x < page.width(); x += step) {
            const char k = kind(x);
            if (k == 's')
                break;
            if (seen.empty() || seen.back() != k)
                seen += k;
        }
        return seen;
    };
    EXPECT_EQ(lines(0, 1), "wdwd") << "two lines on the left, then the shading";
    EXPECT_EQ(lines(page.width() - 1, -1), "wdwd") << "two lines on the right, the shading up to them";
    auto single = Render("{\\rtf1\\ansi \\pard\\box\\brdrs\\brdrw30\\brsp120 Single\\par}");
    const QImage plain = PaintedPage(single, 0);
    const QTextBlock one = single->begin();
    const int textX = static_cast<int>(single->documentLayout()->blockBoundingRect(one).left() +
                                       one.blockFormat().leftMargin());
    const int py = static_cast<int>(one.layout()->lineAt(0).height() / 2 +
                                    single->documentLayout()->blockBoundingRect(one).top());
    // The border keeps its room from the text (\\brsp120): half of it is clear of the text's first glyph.
    const int scanTo = textX + static_cast<int>(60 * single.Report().PixelDpi() / 1440);
    int runs = 0;
    for (int x = 1; x < scanTo; ++x)
        runs += plain.pixelColor(x, py).lightness() < 100 && plain.pixelColor(x - 1, py).lightness() >= 100;
    EXPECT_EQ(runs, 1) << "a single border stays single";
}

std::string PngBytes(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "PNG"));
    return bytes.toStdString();
}

int PixelsNear(const QImage& page, const QColor& colour)
{
    int count = 0;
    for (int y = 0; y < page.height(); y += 2) {
        for (int x = 0; x < page.width(); x += 2) {
            const QColor c = page.pixelColor(x, y);
            count += std::abs(c.red() - colour.red()) < 16 && std::abs(c.green() - colour.green()) < 16 &&
                     std::abs(c.blue() - colour.blue()) < 16;
        }
    }
    return count;
}

TEST(Render, PicturesOfSixteenBitsFloatingShapesAndUnreadableOnes)
{
    // A 16-bit PNG of over a thousand pixels a side prints as any other.
    QImage deep(1200, 1000, QImage::Format_RGBA64);
    deep.fill(QColor(200, 40, 40));
    const std::string png = PngBytes(deep);
    ASSERT_EQ(static_cast<unsigned char>(png[24]), 16) << "written with 16-bit samples";
    auto doc = Render("{\\rtf1\\ansi \\pard {\\pict\\pngblip\\picwgoal2880\\pichgoal2400 " +
                      QByteArray::fromStdString(png).toHex().toStdString() + "}\\par}");
    EXPECT_GT(PixelsNear(PaintedPage(doc, 0), QColor(200, 40, 40)), 1000);
    EXPECT_TRUE(doc.Report().Notes().isEmpty()) << doc.Report().Notes().join('|').toStdString();

    // A picture whose pixels cannot be read is left out with a note, not silently.
    std::string broken = PngBytes(QImage(40, 40, QImage::Format_RGB32));
    broken.resize(broken.size() - 40);
    auto damaged = Render("{\\rtf1\\ansi \\pard {\\pict\\pngblip " +
                          QByteArray::fromStdString(broken).toHex().toStdString() + "}\\par}");
    EXPECT_FALSE(damaged.Report().Notes().isEmpty());

    // A floating shape as Writer writes it: its picture (not its fill) at its place from the
    // margin and its paragraph, over the text, which stays where it was.
    QImage red(30, 40, QImage::Format_RGB32), blue(30, 40, QImage::Format_RGB32);
    red.fill(QColor(220, 30, 30));
    blue.fill(QColor(30, 30, 220));
    const std::string redHex = QByteArray::fromStdString(PngBytes(red)).toHex().toStdString();
    const std::string blueHex = QByteArray::fromStdString(PngBytes(blue)).toHex().toStdString();
    auto shape = [&](int wrap) {
        return "{\\field{\\*\\fldinst SHAPE "
               "}{\\fldrslt{\\shp{\\*\\shpinst\\shpleft4320\\shptop0\\shpright5760"
               "\\shpbottom1440\\shpwr" +
               std::to_string(wrap) +
               "\\shpbxignore\\shpbyignore{\\sp{\\sn shapeType}{\\sv 75}}{\\sp{\\sn pib}{\\sv "
               "{\\pict\\pngblip\\picw30\\pich40 " +
               redHex + "}}}{\\sp{\\sn fillBlip}{\\sv {\\pict\\pngblip " + blueHex +
               "}}}{\\sp{\\sn wzName}{\\sv Crest}}}{\\shprslt{\\pict\\pngblip " + blueHex + "}}}}}";
    };
    const std::string before = "{\\rtf1\\ansi \\pard First\\par \\pard ";
    auto floating = Render(before + shape(3) + "\\par \\pard Second\\par}");
    auto without = Render(before + "\\par \\pard Second\\par}");
    EXPECT_FALSE(floating->toPlainText().contains("Crest"));
    const QImage page = PaintedPage(floating, 0);
    EXPECT_GT(PixelsNear(page, QColor(220, 30, 30)), 200);
    EXPECT_EQ(PixelsNear(page, QColor(30, 30, 220)), 0) << "the fill and the fallback are not drawn";
    const QTextBlock anchor = floating->find("First").block().next();
    const QPointF at = floating->documentLayout()->blockBoundingRect(anchor).topLeft();
    EXPECT_EQ(page.pixelColor(static_cast<int>(Px(floating, 1800 + 4320) + 5), static_cast<int>(at.y() + 5)),
              QColor(220, 30, 30))
        << "at its place from the margin and the paragraph";
    auto second = [](const QTextDocument& d) {
        return d.documentLayout()->blockBoundingRect(d.find("Second").block()).top();
    };
    EXPECT_NEAR(second(*floating), second(*without), 0.5) << "the text runs past it";
    // One that pushes the text aside stands in its paragraph's line.
    auto inline_ = Render(before + shape(1) + "\\par \\pard Second\\par}");
    EXPECT_GT(second(*inline_), second(*without) + Px(inline_, 1000));
    EXPECT_GT(PixelsNear(PaintedPage(inline_, 0), QColor(220, 30, 30)), 200);
    // The engine edits the body only: the shape's words are not text to it.
    RtfDocument engine;
    ASSERT_TRUE(engine.LoadBytes(before + shape(3) + "\\par \\pard Second\\par}").Ok());
    EXPECT_EQ(engine.TextUtf8().find("Crest"), std::string::npos);
}

// What the renderer cuts or simplifies it names, each by the limit reached.
TEST(RenderLimits, EachCutNamesItsLimit)
{
    // A template cut short (its groups never close) says so.
    auto truncated = Render("{\\rtf1\\ansi \\pard Kept text {\\b and more");
    EXPECT_TRUE(truncated->toPlainText().contains("and more"));
    EXPECT_TRUE(HasNote(truncated, "cut short")) << truncated.Report().Notes().join('|').toStdString();
    EXPECT_TRUE(Render("{\\rtf1\\ansi \\pard Whole {\\b text}\\par}").Report().Notes().isEmpty());

    // A row of more cells than the most columns becomes its text, with a note.
    std::string wide = "{\\rtf1\\ansi \\trowd";
    for (int k = 1; k <= 600; ++k)
        wide += "\\cellx" + std::to_string(k * 14);
    wide += "\\pard\\intbl ";
    for (int k = 0; k < 600; ++k)
        wide += "c" + std::to_string(k) + "\\cell ";
    auto cells = Render(wide + "\\row}");
    EXPECT_TRUE(cells->toPlainText().contains("c599"));
    EXPECT_TRUE(HasNote(cells, "more than 512 cells")) << cells.Report().Notes().join('|').toStdString();
    EXPECT_FALSE(HasNote(cells, "2,000 pages"));

    // Content wider than the paper is clipped there, and said to be.
    auto broad =
        Render("{\\rtf1\\ansi \\trowd\\cellx3000\\cellx6000\\cellx9000\\cellx12000\\cellx15000\\pard\\intbl "
               "a\\cell b\\cell c\\cell d\\cell e\\cell\\row}");
    EXPECT_TRUE(HasNote(broad, "wider than the paper")) << broad.Report().Notes().join('|').toStdString();
    auto narrow = Render("{\\rtf1\\ansi \\trowd\\cellx3000\\cellx6000\\pard\\intbl a\\cell b\\cell\\row}");
    EXPECT_TRUE(narrow.Report().Notes().isEmpty());

    // The page limit cuts at the end of the last page, between words, and says so there; also
    // for narrow letters on tight lines, which take far less room than a plain estimate reckons.
    std::string words =
        "{\\rtf1\\ansi{\\fonttbl{\\f0\\froman Liberation Serif;}}\\pard\\sl-1000\\slmult0\\f0\\fs200 ";
    for (int k = 0; k < 16000; ++k)
        words += "w" + std::to_string(k) + " ........ ........ ........ ........ ........ ........ " +
                 (k % 8 == 7 ? "\\par " : "");
    auto cut = Render(words + "}");
    EXPECT_EQ(cut->pageCount(), render::kMaxPages);
    EXPECT_TRUE(HasNote(cut, "more than 2,000 pages"));
    const QStringList kept = cut->toPlainText().split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    int last = -1;
    for (const QString& word : kept) {
        if (word == "........")
            continue;
        if (!word.startsWith('w'))
            break;
        EXPECT_EQ(word, QStringLiteral("w%1").arg(last + 1)) << "no word cut or left out";
        last = word.mid(1).toInt();
    }
    // The last page is full: its last line of text stands within two lines and the notes of its foot.
    const QTextBlock lastText = cut->find(QStringLiteral("w%1").arg(last)).block();
    const QTextLayout* lines = lastText.layout();
    const double bottom = cut->documentLayout()->blockBoundingRect(lastText).top() +
                          lines->lineAt(lines->lineCount() - 1).y() +
                          lines->lineAt(lines->lineCount() - 1).height();
    const double pageEnd = render::kMaxPages * cut->pageSize().height() - Px(cut, 1440);
    EXPECT_LT(bottom, pageEnd);
    EXPECT_GT(bottom, pageEnd - 2 * Px(cut, 1000) - Px(cut, 720)) << "cut at the end of the last page";
}

// Damaged and hostile sources come out as documents, quickly, whatever they hold.
TEST(Render, HostileInputIsBounded)
{
    std::vector<std::string> sources = {
        "{\\rtf1 " + std::string(200000, '{') + "deep" + std::string(200000, '}') + "}",
        "{\\rtf1 a\\bin999999999 b}",
        "{\\rtf1 \\pard\\intbl\\itap99999 x\\nestcell\\nestrow\\cell\\row}",
        "{\\rtf1 \\trowd" +
            [] {
                std::string s;
                for (int k = 0; k < 5000; ++k)
                    s += "\\cellx" + std::to_string(k * 7);
                return s;
            }() +
            "\\pard\\intbl a\\cell b\\cell\\row}",
        "{\\rtf1 \\paperw-5\\paperh99999999999\\margl999999999\\sb2147483647\\sl-2147483648\\li-99999 "
        "x\\par}",
        "{\\rtf1 {\\pict\\pngblip\\picwgoal2147483647\\pichgoal99999999 89504e47zz}{\\pict\\dibitmap0 28}x",
        "{\\rtf1 \\u-1\\u65535\\u-10179\\u-8704 \\'e4\\'  {\\f99999999 x}\\uc2147483647\\u1 abc}",
        // A row of 256 cells stated once, then many rows that a few bytes each make of it.
        [] {
            std::string s = "{\\rtf1 \\trowd";
            for (int k = 1; k <= 256; ++k)
                s += "\\cellx" + std::to_string(k * 30);
            for (int k = 0; k < 20000; ++k)
                s += "\\intbl r\\cell\\row";
            return s + "}";
        }(),
    };
    // Token soup: tables, nesting, fields, notes and pictures in random order and depth.
    const char* tokens[] = {"\\trowd",    "\\cellx1000", "\\cellx500", "\\cell",   "\\row",
                            "\\nestcell", "\\nestrow",   "\\itap2",    "\\itap3",  "\\intbl",
                            "\\pard",     "\\par",       "{",          "}",        "}",
                            "\\pict",     "\\pngblip",   "ab ",        "\\u-3 ",   "\\'e4",
                            "\\*",        "\\footnote",  "\\header",   "\\clvmrg", "\\clvmgf",
                            "\\clmrg",    "\\clmgf",     "\\page",     "\\sect",   "\\field",
                            "\\fldinst",  "\\fldrslt",   "\\bin3 xyz", "\\trhdr",  "\\nesttableprops",
                            "\\trqc",     "\\sb400",     "\\chftn"};
    std::mt19937 random(12345);
    for (int doc = 0; doc < 200; ++doc) {
        std::string s = "{\\rtf1 ";
        for (int k = 0; k < 200; ++k)
            s += tokens[random() % std::size(tokens)];
        sources.push_back(s);
    }
    for (const std::string& source : sources) {
        RtfDocument doc;
        ASSERT_TRUE(doc.LoadBytes(source).Ok());
        auto rendered = RenderReport(doc);
        EXPECT_GE(rendered.PageCount(), 1) << source.substr(0, 200);
    }
}

TEST(Render, PdfHasPageFieldsInFootersAndIsWrittenWhole)
{
    RequireTool("pdftotext", "poppler-utils");
    RequireTool("pdfinfo", "poppler-utils");
    const fs::path dir = TempDir("pdf");
    RtfDocument doc;
    ASSERT_TRUE(
        doc.LoadBytes("{\\rtf1\\ansi{\\footer\\pard Page {\\field{\\*\\fldinst PAGE}{\\fldrslt 1}} of "
                      "{\\field{\\*\\fldinst NUMPAGES}{\\fldrslt 1}}\\par}\\pard One\\page Two\\page "
                      "Three\\par}")
            .Ok());
    const fs::path pdf = dir / "report.pdf";
    ASSERT_TRUE(AtomicWriteFile(pdf, "old").Ok());
    ASSERT_TRUE(WriteReportPdf(doc, pdf, QStringLiteral("Broken")).Ok());
    EXPECT_EQ(PdfPages(pdf), 3);
    const std::string text = PdfText(pdf);
    for (const char* expected : {"One", "Page 1 of 3", "Two", "Page 2 of 3", "Three", "Page 3 of 3"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " in\n" << text;
    EXPECT_LT(text.find("Page 1 of 3"), text.find("Two"));

    // A target in a folder that cannot exist is an error, and nothing is left behind.
    const fs::path blocked = dir / "file" / "report.pdf";
    ASSERT_TRUE(AtomicWriteFile(dir / "file", "x").Ok());
    EXPECT_FALSE(WriteReportPdf(doc, blocked, QString()).Ok());
    EXPECT_FALSE(fs::exists(blocked));

    // A copy for paper prints the same pages, each with its own footer.
    const auto rendered = RenderReport(doc).PaperCopy();
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        PrintReport(rendered, writer);
    }
    ASSERT_TRUE(AtomicWriteFile(dir / "viewed.pdf", bytes.toStdString()).Ok());
    EXPECT_EQ(PdfPages(dir / "viewed.pdf"), 3);
    EXPECT_NE(PdfText(dir / "viewed.pdf").find("Page 2 of 3"), std::string::npos);
    fs::remove_all(dir);
}

// One page of a rendered report as painted at 100 dpi.
QImage PaintedPage(const render::RenderedReport& report, int index)
{
    const double scale = 100 / report.PixelDpi();
    QImage image((report.PagePixels() * scale).toSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.scale(scale, scale);
    report.PaintPage(painter, index);
    return image;
}

// A rendered report keeps each page's own header, footer and footnotes however its pages are
// visited, and a copy for paper keeps them all, with the notes, after its original is gone.
TEST(RenderedReport, PaperCopyAndPaintingKeepEveryPagesPartsFootnotesAndNotes)
{
    RequireTool("pdftotext", "poppler-utils");
    auto field = [](const char* name) {
        return std::string("{\\field{\\*\\fldinst ") + name + "}{\\fldrslt 1}}";
    };
    RtfDocument doc;
    // Cut short, for a note on the last page.
    ASSERT_TRUE(doc.LoadBytes("{\\rtf1\\ansi\\titlepg{\\headerf\\pard First head\\par}{\\header\\pard Head " +
                              field("PAGE") + " of " + field("NUMPAGES") + "\\par}{\\footer\\pard Total " +
                              field("NUMPAGES") +
                              "\\par}\\pard One\\page Two{\\super\\chftn}{\\footnote "
                              "\\pard{\\super\\chftn} The note.}\\page Three\\par")
                    .Ok());
    std::optional<render::RenderedReport> copy;
    std::vector<QImage> painted(3);
    QStringList notes;
    {
        const render::RenderedReport report = RenderReport(doc);
        ASSERT_EQ(report.PageCount(), 3);
        notes = report.Notes();
        EXPECT_EQ(notes.filter("cut short").size(), 1) << notes.join('|').toStdString();
        EXPECT_EQ(report.FootnotesOfPage(1), QStringList{"1 The note."});
        EXPECT_TRUE(report.FootnotesOfPage(0).isEmpty() && report.FootnotesOfPage(2).isEmpty());
        EXPECT_TRUE(report.FootnotesOfPage(3).isEmpty() && report.FootnotesOfPage(-1).isEmpty());
        for (int k : {2, 0, 1})
            painted[static_cast<std::size_t>(k)] = PaintedPage(report, k);
        EXPECT_EQ(PaintedPage(report, 2), painted[2]) << "a page painted again, after the others";
        EXPECT_NE(painted[1], painted[2]);
        copy.emplace(report.PaperCopy());
    }
    ASSERT_EQ(copy->PageCount(), 3);
    EXPECT_EQ(copy->Notes(), notes);
    EXPECT_EQ(copy->FootnotesOfPage(1), QStringList{"1 The note."});
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(PaintedPage(*copy, k), painted[static_cast<std::size_t>(k)]) << "page " << k;

    // Printed, each page of the copy reads its own header and footer.
    const fs::path dir = TempDir("copy");
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        EXPECT_TRUE(PrintReport(*copy, writer));
    }
    ASSERT_TRUE(AtomicWriteFile(dir / "copy.pdf", bytes.toStdString()).Ok());
    const QStringList pages = QString::fromStdString(PdfText(dir / "copy.pdf")).split(u'\f');
    ASSERT_GE(pages.size(), 3);
    const std::vector<std::vector<QString>> expected = {{"First head", "One"},
                                                        {"Head 2 of 3", "Two", "The note.", "Total 3"},
                                                        {"Head 3 of 3", "Three", "cut short", "Total 3"}};
    for (std::size_t k = 0; k < expected.size(); ++k) {
        for (const QString& part : expected[k])
            EXPECT_TRUE(pages[static_cast<qsizetype>(k)].contains(part))
                << part.toStdString() << " on page " << k + 1 << ":\n"
                << pages[static_cast<qsizetype>(k)].toStdString();
    }
    EXPECT_FALSE(pages[0].contains("Head 1") || pages[0].contains("Total"))
        << "the title page has its own header and footer";
    fs::remove_all(dir);
}

// The one PDF writer serves the command line and the report window: each gives its own title and
// creator and its own pages, and a PDF that came out empty is an error that leaves the file alone.
TEST(Render, PdfWriterTakesTheCallersInfoAndReportsAnEmptyPdf)
{
    RequireTool("pdfinfo", "poppler-utils");
    const fs::path dir = TempDir("pdfinfo");
    RtfDocument doc;
    ASSERT_TRUE(doc.LoadBytes("{\\rtf1\\ansi\\pard One\\page Two\\par}").Ok());
    auto rendered = RenderReport(doc);
    const fs::path pdf = dir / "titled.pdf";
    ASSERT_TRUE(WritePdf(pdf, {QStringLiteral("Broken"), QStringLiteral("Test Creator")},
                         [&](QPagedPaintDevice& device) { return PrintReport(rendered, device); })
                    .Ok());
    EXPECT_EQ(PdfPages(pdf), 2);
    const std::string info = Shell("pdfinfo " + Quoted(pdf.string()) + " 2>/dev/null").second;
    EXPECT_NE(info.find("Title:           Broken\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Creator:         Test Creator\n"), std::string::npos) << info;

    const fs::path kept = dir / "kept.pdf";
    ASSERT_TRUE(AtomicWriteFile(kept, "old").Ok());
    EXPECT_FALSE(WritePdf(kept, {}, [](QPagedPaintDevice&) { return true; }).Ok());
    // Cancelled after the first page: told page by page, and the file is left alone.
    std::vector<std::pair<int, int>> told;
    const Status cancelled = WritePdf(kept, {}, [&](QPagedPaintDevice& device) {
        return PrintReport(rendered, device, [&](int done, int count) {
            told.emplace_back(done, count);
            return false;
        });
    });
    ASSERT_FALSE(cancelled.Ok());
    EXPECT_EQ(cancelled.Error().Number(), kErrCancel);
    EXPECT_EQ(told, (std::vector<std::pair<int, int>>{{1, 2}}));
    std::ifstream in(kept, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
    EXPECT_EQ(ReportPdfInfo(QStringLiteral("Bob")).Title, QStringLiteral("Bob"));
    EXPECT_TRUE(ReportPdfInfo(QString()).Creator.startsWith(QStringLiteral("KELD Character Generator 1.")));
    fs::remove_all(dir);
}

// Letters and digits only: punctuation and bullets differ between renderers without changing
// what a report says.
std::vector<QString> Words(const std::string& utf8)
{
    std::vector<QString> words;
    QString word;
    for (char32_t c : QString::fromUtf8(utf8).toUcs4()) {
        if (QChar::isLetterOrNumber(c)) {
            word += QString::fromUcs4(&c, 1);
        } else if (!word.isEmpty()) {
            words.push_back(word);
            word.clear();
        }
    }
    if (!word.isEmpty())
        words.push_back(word);
    return words;
}

std::string Context(const std::vector<QString>& words, std::size_t at)
{
    std::string s;
    for (std::size_t k = at >= 5 ? at - 5 : 0; k < std::min(words.size(), at + 6); ++k)
        s += (k == at ? "[" : "") + words[k].toStdString() + (k == at ? "] " : " ");
    return s;
}

// Our PDF against LibreOffice's of the same filled report: the same words in the same order, the
// same pictures, and about as many pages.
// The first and last line of text on each page, spaces made single.
std::vector<std::pair<std::string, std::string>> PageEnds(const fs::path& pdf)
{
    const std::string text =
        Shell("pdftotext -layout -enc UTF-8 " + Quoted(pdf.string()) + " - 2>/dev/null").second;
    std::vector<std::pair<std::string, std::string>> pages;
    std::istringstream all(text);
    std::string page;
    while (std::getline(all, page, '\f')) {
        std::vector<std::string> lines;
        std::istringstream in(page);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream words(line);
            std::string word, joined;
            while (words >> word)
                joined += (joined.empty() ? "" : " ") + word;
            if (!joined.empty())
                lines.push_back(joined);
        }
        if (!lines.empty())
            pages.emplace_back(lines.front(), lines.back());
    }
    return pages;
}

TEST(RenderFidelity, MatchesLibreOffice)
{
    RequireTool("soffice", "libreoffice-writer-nogui");
    RequireTool("pdftotext", "poppler-utils");
    RequireTool("pdfimages", "poppler-utils");
    RequireTool("pdfinfo", "poppler-utils");
    const fs::path dir = TempDir("fidelity");
    const fs::path data(KELD_TEST_DATA);

    // The test character, with a portrait so that every template has a picture to show.
    const fs::path portrait = dir / "portrait.png";
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(QColor(120, 60, 30));
    ASSERT_TRUE(image.save(QString::fromStdString(portrait.string()), "PNG"));
    auto character = test::ReadTestFile(data / "charfile" / "valid-character.kld");
    ASSERT_TRUE(character.Ok());
    std::string kld = *character;
    const std::size_t picture = kld.find("[PICTURE]\r\n");
    ASSERT_NE(picture, std::string::npos);
    kld.insert(picture + 11, portrait.string() + "\r\n");
    ASSERT_TRUE(AtomicWriteFile(dir / "hero.kld", kld).Ok());

    struct Case {
        std::string name;
        std::vector<std::string> templateArgs;
    };
    std::vector<Case> cases = {{"detail", {"--template", "detail"}}, {"summary", {"--template", "summary"}}};
    for (const char* folder : {"report", "report-blackbox", "report-fidelity"}) {
        for (const auto& entry : fs::directory_iterator(data / folder)) {
            if (entry.path().extension() == ".rtf")
                cases.push_back({entry.path().stem().string(), {entry.path().string()}});
        }
    }
    ASSERT_GE(cases.size(), 5u);
    const std::string cli = Quoted(KELD_CLI_PATH);
    for (const Case& c : cases) {
        for (const char* extension : {".rtf", ".pdf"}) {
            std::string command = cli + " report";
            if (c.templateArgs.size() == 2)
                command += " " + c.templateArgs[0] + " " + c.templateArgs[1] + " " +
                           Quoted((dir / "hero.kld").string());
            else
                command += " " + Quoted((dir / "hero.kld").string()) + " " + Quoted(c.templateArgs[0]);
            command += " " + Quoted((dir / (c.name + extension)).string()) + " 2>&1";
            auto [ok, out] = Shell(command);
            ASSERT_TRUE(ok) << command << "\n" << out;
        }
    }

    // One LibreOffice run for every file, with a profile of its own.
    std::string convert = "cd " + Quoted(dir.string()) + " && soffice -env:UserInstallation=file://" +
                          dir.string() + "/profile --headless --convert-to pdf --outdir lo";
    for (const Case& c : cases)
        convert += " " + Quoted(c.name + ".rtf");
    convert += " > convert.log 2>&1";
    ASSERT_TRUE(Shell(convert).first) << convert;

    int pictures = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path ours = dir / (c.name + ".pdf");
        const fs::path theirs = dir / "lo" / (c.name + ".pdf");
        ASSERT_TRUE(fs::exists(theirs)) << "LibreOffice wrote no PDF (it exits 0 even when it fails)";
        const auto ourWords = Words(PdfText(ours));
        const auto theirWords = Words(PdfText(theirs));
        EXPECT_GT(ourWords.size(), 10u);
        if (ourWords != theirWords) {
            // The same letters split differently (a superscript run into its word) still match.
            QString ourAll, theirAll;
            for (const QString& w : ourWords)
                ourAll += w;
            for (const QString& w : theirWords)
                theirAll += w;
            std::size_t at = 0;
            while (at < ourWords.size() && at < theirWords.size() && ourWords[at] == theirWords[at])
                ++at;
            EXPECT_EQ(ourAll, theirAll)
                << "ours: " << Context(ourWords, at) << "\nLibreOffice: " << Context(theirWords, at);
        }
        EXPECT_EQ(PdfPictures(ours), PdfPictures(theirs));
        pictures += PdfPictures(ours);
        EXPECT_EQ(PdfPages(ours), PdfPages(theirs));
        // Pages break where LibreOffice breaks them.
        const auto ourEnds = PageEnds(ours), theirEnds = PageEnds(theirs);
        EXPECT_EQ(ourEnds.size(), theirEnds.size());
        for (std::size_t k = 0; k < std::min(ourEnds.size(), theirEnds.size()); ++k) {
            EXPECT_EQ(ourEnds[k].first, theirEnds[k].first) << "first line of page " << k + 1;
            EXPECT_EQ(ourEnds[k].second, theirEnds[k].second) << "last line of page " << k + 1;
        }
    }
    EXPECT_GE(pictures, 2) << "the portrait stands in the detail template and a test template";
    fs::remove_all(dir);
}

// The hostile templates kept as files, and larger ones made here, through keldcg-cli: each
// makes a whole PDF of at most the most pages, and what it leaves out is said on standard error.
TEST(RenderCli, HostileTemplatesEndInBoundedTimeAndSaySoOnStandardError)
{
    RequireTool("pdfinfo", "poppler-utils");
    const fs::path dir = TempDir("hostile");
    const std::string cli = Quoted(KELD_CLI_PATH);
    // A character whose names the shipped rules know: the command has nothing else to say.
    const std::string kld = Quoted((fs::path(KELD_TEST_DATA) / "charfile" / "new-character.kld").string());
    std::vector<std::pair<fs::path, std::string>> cases = {
        {"nested-tables.rtf", "nested more than 4 deep"},
        {"page-breaks.rtf", "cut here: more than 2,000 pages"},
        {"wide-margins.rtf", "margins were narrowed"},
        {"header-fields.rtf", "header or footer taller than the page"},
        {"footnotes.rtf", ""},
        {"fonts.rtf", "fonts are used"},
        {"keep-borders.rtf", ""},
        {"long-paragraph.rtf", ""},
    };
    for (auto& c : cases)
        c.first = fs::path(KELD_TEST_DATA) / "report-hostile" / c.first;
    // Bounded forms of the large classes: many notes, many empty paragraphs, a row of many cells.
    auto made = [&](const std::string& name, const std::string& unit, int count,
                    const std::string& head = "") {
        std::string rtf = "{\\rtf1\\ansi " + head;
        for (int k = 0; k < count; ++k)
            rtf += unit;
        EXPECT_TRUE(AtomicWriteFile(dir / name, rtf + "}").Ok());
        return dir / name;
    };
    cases.push_back({made("notes.rtf", "a{\\super\\chftn}{\\footnote \\pard{\\super\\chftn} n}", 8000), ""});
    cases.push_back({made("empty.rtf", "\\par", 100000), "cut here"});
    // As many notes as stand at the feet of pages, over a long report.
    std::string lines;
    for (int k = 0; k < 300; ++k)
        lines += "l\\par ";
    cases.push_back({made("spread-notes.rtf",
                          "a{\\super\\chftn}{\\footnote \\pard{\\super\\chftn} n}\\par " + lines, 100),
                     ""});
    cases.push_back({made("cells.rtf", "a\\cell ", 100000, "\\trowd\\cellx100\\intbl "), "cut here"});
    // A template cut short, as a copy broken off half-way leaves it.
    EXPECT_TRUE(
        AtomicWriteFile(dir / "truncated.rtf", "{\\rtf1\\ansi {\\b [NAME]\\par} more {\\i text").Ok());
    cases.push_back({dir / "truncated.rtf", "cut short"});
    for (const auto& [path, note] : cases) {
        SCOPED_TRACE(path.filename().string());
        const fs::path pdf = dir / (path.stem().string() + ".pdf");
        QElapsedTimer timer;
        timer.start();
        auto [ok, out] = Shell(cli + " report " + kld + " " + Quoted(path.string()) + " " +
                               Quoted(pdf.string()) + " 2>&1");
        EXPECT_TRUE(ok) << out;
        EXPECT_LT(timer.elapsed(), 300'000);
        const int pages = PdfPages(pdf);
        EXPECT_GE(pages, 1);
        EXPECT_LE(pages, render::kMaxPages);
        if (note.empty())
            EXPECT_TRUE(out.empty()) << out;
        else
            EXPECT_NE(out.find(note), std::string::npos) << out;
    }
    fs::remove_all(dir);
}

TEST(RenderCli, ReportArgumentsAndTargets)
{
    const fs::path dir = TempDir("cli");
    const std::string cli = Quoted(KELD_CLI_PATH);
    const std::string kld = Quoted((fs::path(KELD_TEST_DATA) / "charfile" / "valid-character.kld").string());
    auto run = [&](const std::string& args) { return Shell(cli + " report " + args + " 2>&1"); };

    // An upper-case extension is a PDF too; the output is a whole PDF file.
    // The test character's race and the like are not in the shipped rules, which the command would
    // rightly warn about; this one names none.
    const fs::path plain = dir / "plain.kld";
    std::ofstream(plain, std::ios::binary) << "[GENERAL]\r\nNAME=Plain\r\n[MONEY]\r\nGP=5\r\n";
    auto [ok, out] =
        run("--template summary " + Quoted(plain.string()) + " " + Quoted((dir / "s.PDF").string()));
    ASSERT_TRUE(ok) << out;
    auto bytes = test::ReadTestFile(dir / "s.PDF");
    ASSERT_TRUE(bytes.Ok());
    EXPECT_EQ(bytes->rfind("%PDF-", 0), 0u);
    EXPECT_NE(bytes->find("%%EOF"), std::string::npos);
    EXPECT_TRUE(out.empty()) << "nothing to say on success: " << out;

    EXPECT_FALSE(run("--template detail " + kld).first) << "OUT is missing";
    EXPECT_FALSE(run("--template detail " + kld + " a.rtf b.pdf").first) << "a template too many";
    EXPECT_FALSE(run("--template neither " + kld + " a.pdf").first);
    auto [blockedOk, blockedOut] =
        run("--template detail " + kld + " " + Quoted((dir / "no" / "r.pdf").string()));
    EXPECT_FALSE(blockedOk);
    EXPECT_NE(blockedOut.find("r.pdf"), std::string::npos) << blockedOut;
    fs::remove_all(dir);
}

} // namespace
} // namespace keld
