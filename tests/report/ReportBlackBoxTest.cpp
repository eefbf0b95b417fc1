// SPDX-License-Identifier: GPL-3.0-or-later
// Template filling checked from the outside: templates as Word and LibreOffice write them, filled,
// then read back by LibreOffice and compared with what the fill must give.
#include "../common/TestFiles.h"
#include "report/ReportValues.h"

#include "../common/MachineCheck.h"

#include "TestCharacter.h"
#include "TestImages.h"
#include "common/TextFile.h"
#include "report/RtfText.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace keld {
namespace {

namespace fs = std::filesystem;

RtfDocument Load(const std::string& source)
{
    RtfDocument doc;
    EXPECT_TRUE(doc.LoadBytes(source).Ok()) << source;
    return doc;
}

std::string Fixture(const char* name)
{
    auto bytes = test::ReadTestFile(fs::path(KELD_TEST_DATA) / "report-blackbox" / name);
    EXPECT_TRUE(bytes.Ok()) << name;
    return bytes ? *bytes : std::string();
}

TEST(ReportBlackBox, ReadsTheTextOtherWritersWrite)
{
    struct Case {
        const char* name;
        std::string source;
        std::string text;
    };
    const std::string cjkFonts =
        R"({\fonttbl{\f0 Calibri;}{\f1\fcharset128 MS Mincho;}{\f2\fcharset134 SimSun;}})";
    const Case cases[] = {
        {"surrogate halves with their own fallback counts",
         R"({\rtf1 a\uc0 \u55357\uc1 \u56832\'3f b\u233\'e9})", "a\xF0\x9F\x98\x80 b\xC3\xA9"},
        {"Shift-JIS pairs in a Japanese font, one with '[' as its second byte",
         R"({\rtf1\ansi)" + cjkFonts + R"(\f1 \'93\'fa\'96\'7b\'81\'5b\f0 [X]})",
         "\xE6\x97\xA5\xE6\x9C\xAC\xE3\x83\xBC[X]"},
        {"half-width katakana stand alone", R"({\rtf1\ansi)" + cjkFonts + R"(\f1 \'b1x})", "\xEF\xBD\xB1x"},
        {"GBK pairs in a Chinese font", R"({\rtf1\ansi)" + cjkFonts + R"(\f2\'d6\'d0\'ce\'c4})",
         "\xE4\xB8\xAD\xE6\x96\x87"},
        {"a lead byte without its partner", R"({\rtf1\ansi)" + cjkFonts + R"(\f1 \'93\par x})",
         "\xEF\xBF\xBD\nx"},
        {"Greek bytes in a Greek font",
         R"({\rtf1\ansi{\fonttbl{\f39\fcharset161 Times New Roman Greek;}}\f39 \'d9\'ec\'dd\'e3\'e1})",
         "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Load(c.source).TextUtf8(), c.text) << c.name;

    RtfDocument named = Load(R"({\rtf1{\fonttbl{\f1\fcharset128 \'82\'6c\'82\'72 \'96\'be\'92\'a9;}}\f1 x})");
    EXPECT_EQ(named.CharacterFormat(0).fontName, "\xEF\xBC\xAD\xEF\xBC\xB3 \xE6\x98\x8E\xE6\x9C\x9D");
}

TEST(ReportBlackBox, EditsBesideMultiTokenCharactersKeepTheRest)
{
    struct Case {
        const char* name;
        std::string source;
        std::string find;
        std::string text;
    };
    const Case cases[] = {
        // Removing the pair must not take the \uc1 that the characters after it rely on.
        {"a pair written with two counts", R"({\rtf1 a\uc0 \u55357\uc1 \u56832\'3f\u233\'e9})",
         "a\xF0\x9F\x98\x80", "v\xC3\xA9"},
        {"after a Shift-JIS pair", R"({\rtf1{\fonttbl{\f1\fcharset128 MS Mincho;}}\f1 \'93\'fa[X]\'96\'7b})",
         "[X]", "\xE6\x97\xA5v\xE6\x9C\xAC"},
    };
    for (const auto& c : cases) {
        RtfDocument doc = Load(c.source);
        doc.Select(doc.Find(std::string_view(c.find)), Utf8ToUtf32(c.find).size());
        doc.ReplaceSelection("v");
        EXPECT_EQ(doc.TextUtf8(), c.text) << c.name;
        EXPECT_EQ(Load(doc.SaveBytes()).TextUtf8(), c.text) << c.name << "\n" << doc.SaveBytes();
    }
}

// The values of a character with text that tests escaping, Unicode and line ends.
std::vector<ReportValue> Values(const std::string& picture)
{
    auto c = test::MakeCharacter(picture);
    std::vector<ReportValue> values = ReportValues(*c->sheet);
    for (auto& v : values) {
        if (v.placeholder == "[NAME]")
            v.value = "Gr\xC3\xB6\xC3\x9F"
                      "e \xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 \xE6\x97\xA5\xE6\x9C\xAC "
                      "\xF0\x9F\x98\x80 {x} \\y";
        else if (v.placeholder == "[LEVEL]")
            v.value = "Lvl42";
        else if (v.placeholder == "[JOURNAL]")
            v.value = "Day one.\r\nDay two [LEVEL].";
    }
    return values;
}

std::string Value(const std::vector<ReportValue>& values, std::string_view placeholder)
{
    for (const auto& v : values) {
        if (v.placeholder == placeholder)
            return v.value;
    }
    return {};
}

TEST(ReportBlackBox, FillsATemplateInWordsStyle)
{
    auto values = Values(test::WriteTempFile("word.png", test::MakePng(8, 4)));
    RtfDocument doc = Load(Fixture("word-2010-style.rtf"));
    FillData(doc, values);
    const std::string name = Value(values, "[NAME]");
    const std::string expected =
        "Sheet for " + name + "\nRace: " + Value(values, "[RACE]") +
        " \xE2\x80\x93 Level Lvl42 \xE2\x80\x93 \xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 \xE2\x80\x93 "
        "Gr\xC3\xB6\xC3\x9F"
        "e \xCE\xA9\xCE\xBC \xE6\x97\xA5\xE6\x9C\xAC\xE3\x83\xBC" +
        Value(values, "[SPECIAL]") + "\nLink: " + Value(values, "[PROFESSION]") + " and " +
        Value(values, "[REALM]") +
        " merge \xC2\xAB"
        "Name\xC2\xBB\nNote then " +
        Value(values, "[EXPERIENCE]") + ".\nBullet " + Value(values, "[HT/WT]") +
        "\nPortrait: \xEF\xBF\xBC old \xEF\xBF\xBC end.\nStrength\t" + Value(values, "[VA0]") +
        "\t\nNested:\n" + Value(values, "[NO0]") + "\tDay one.\nDay two [LEVEL].\t\n\t" +
        Value(values, "[SK1]") + Value(values, "[SK10]") + "\t\n" + Value(values, "[GP]") + " gold, " +
        Value(values, "[SP]") + " silver \xE2\x80\x9Cquoted\xE2\x80\x9D and again [NAME]\n";
    EXPECT_EQ(doc.TextUtf8(), expected);
    EXPECT_EQ(Load(doc.SaveBytes()).TextUtf8(), expected);
    // The header and the footnote are not part of the text, so their placeholders stay.
    EXPECT_NE(doc.SaveBytes().find("Header [NAME]"), std::string::npos);
    EXPECT_NE(doc.SaveBytes().find("About [EXPERIENCE]."), std::string::npos);

    struct Expect {
        std::string value;
        RtfTextFormat format;
    };
    const RtfColor red = RtfColor::Rgb(192, 0, 0);
    const Expect formats[] = {
        {name, {"Calibri Light", 16.0, false, false, false, false, red}},
        {Value(values, "[RACE]"), {"Calibri", 11.0, false, false, false, false, RtfColor{}}}, // half bold
        {"Lvl42", {"Calibri", 11.0, false, false, true, false, red}},
        {Value(values, "[REALM]"), {"Calibri", 11.0, true, false, false, false, RtfColor{}}},
        {Value(values, "[PROFESSION]"),
         {"Calibri", 11.0, false, false, true, false, RtfColor::Rgb(5, 99, 193)}},
        {Value(values, "[GP]") + " gold",
         {"Calibri", 11.0, false, false, false, true, RtfColor::Rgb(255, 0, 0)}},
    };
    for (const auto& f : formats) {
        std::size_t at = doc.Find(std::string_view(f.value));
        ASSERT_NE(at, RtfDocument::npos) << f.value;
        std::size_t length = Utf8ToUtf32(f.value).size();
        if (f.value.ends_with(" gold"))
            length -= 5;
        EXPECT_EQ(doc.RangeFormat(at, length), f.format) << f.value;
    }
    // 10.5 points round to 10 and 12.5 points to 12, each run on in its own italic or not.
    std::size_t sk1 = doc.Find(std::string_view(Value(values, "[SK1]") + Value(values, "[SK10]")));
    EXPECT_EQ(doc.CharacterFormat(sk1).fontSize, 10.0);
    EXPECT_EQ(doc.CharacterFormat(sk1 + Value(values, "[SK1]").size()).fontSize, 12.0);
    EXPECT_EQ(doc.CharacterFormat(sk1 + Value(values, "[SK1]").size()).italic, true);
}

// LibreOffice, run headless in a profile of its own.
class LibreOffice {
public:
    LibreOffice() : m_dir(fs::temp_directory_path() / ("keld_report_blackbox_" + std::to_string(getpid())))
    {
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    ~LibreOffice() { fs::remove_all(m_dir); }

    const fs::path& Dir() const { return m_dir; }

    void Write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(m_dir / name, std::ios::binary) << bytes;
    }

    // Converts files of Dir() into `outDir`; soffice exits 0 even when it fails, so each result
    // is looked for.
    bool Convert(const std::vector<std::string>& names, const std::string& format, const std::string& outDir,
                 const std::string& inFilter = {}) const
    {
        std::string command = "cd '" + m_dir.string() + "' && soffice -env:UserInstallation=file://" +
                              m_dir.string() + "/profile --headless";
        if (!inFilter.empty())
            command += " '--infilter=" + inFilter + "'";
        command += " --convert-to '" + format + "' --outdir '" + outDir + "'";
        for (const auto& name : names)
            command += " '" + name + "'";
        command += " >> convert.log 2>&1";
        if (std::system(command.c_str()) != 0)
            return false;
        std::string extension = format.substr(0, format.find(':'));
        for (const auto& name : names) {
            if (!fs::exists(m_dir / outDir / fs::path(name).filename().replace_extension(extension)))
                return false;
        }
        return true;
    }

    // What soffice said, for a conversion that failed.
    std::string Log() const
    {
        auto log = test::ReadTestFile(m_dir / "convert.log");
        return log ? "soffice said:\n" + *log : "soffice wrote no log";
    }

    std::string Text(const std::string& name) const
    {
        std::string text = *test::ReadTestFile(m_dir / name);
        if (text.rfind("\xEF\xBB\xBF", 0) == 0)
            text.erase(0, 3);
        return text;
    }

private:
    fs::path m_dir;
};

// What a filled template reads as: the first occurrence of each placeholder, letters compared
// without case, holds the value, its line ends as the reader writes them; a picture shows nothing.
std::string ExpectedText(const std::string& templateText, const std::vector<ReportValue>& values)
{
    auto fold = [](std::string s) {
        for (char& c : s)
            c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
        return s;
    };
    const std::string folded = fold(templateText);
    std::vector<std::pair<std::size_t, const ReportValue*>> found;
    for (const auto& v : values) {
        std::size_t at = folded.find(fold(v.placeholder));
        if (at != std::string::npos)
            found.emplace_back(at, &v);
    }
    std::sort(found.begin(), found.end());
    std::string out;
    std::size_t last = 0;
    for (const auto& [at, v] : found) {
        out += templateText.substr(last, at - last);
        if (v->placeholder != "[PICTURE]") {
            std::string value = v->value;
            for (std::size_t k; (k = value.find("\r\n")) != std::string::npos;)
                value.replace(k, 2, "\n");
            out += value;
        }
        last = at + v->placeholder.size();
    }
    return out + templateText.substr(last);
}

const char* kFodtHead =
    R"(<?xml version="1.0" encoding="UTF-8"?>)"
    R"(<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" )"
    R"(xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" )"
    R"(xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" )"
    R"(xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" )"
    R"(xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" )"
    R"(xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" )"
    R"(xmlns:xlink="http://www.w3.org/1999/xlink" xmlns:dc="http://purl.org/dc/elements/1.1/" )"
    R"(xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" office:version="1.3" )"
    R"(office:mimetype="application/vnd.oasis.opendocument.text">)";

std::string Base64(const std::string& bytes)
{
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        unsigned n = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            n |= static_cast<unsigned char>(bytes[i + 2]);
        out += digits[n >> 18 & 63];
        out += digits[n >> 12 & 63];
        out += i + 1 < bytes.size() ? digits[n >> 6 & 63] : '=';
        out += i + 2 < bytes.size() ? digits[n & 63] : '=';
    }
    return out;
}

// A sheet typed in LibreOffice: runs of several formats, tables in tables, a list, a footnote,
// a header, field and picture, and text in several scripts.
std::string SheetFodt()
{
    return std::string(kFodtHead) +
           R"(<office:font-face-decls><style:font-face style:name="Liberation Sans" )"
           R"(svg:font-family="'Liberation Sans'"/></office:font-face-decls>)"
           R"(<office:styles><style:style style:name="Standard" style:family="paragraph"/></office:styles>)"
           R"(<office:automatic-styles>)"
           R"(<style:style style:name="B" style:family="text"><style:text-properties fo:font-weight="bold"/></style:style>)"
           R"(<style:style style:name="Big" style:family="text"><style:text-properties fo:font-weight="bold" )"
           R"(fo:font-size="14pt" fo:color="#c00000" style:font-name="Liberation Sans"/></style:style>)"
           R"(<style:style style:name="P105" style:family="paragraph"><style:text-properties fo:font-size="10.5pt"/></style:style>)"
           R"(<style:style style:name="P115" style:family="paragraph"><style:text-properties fo:font-size="11.5pt"/></style:style>)"
           R"(<style:page-layout style:name="pm1"><style:page-layout-properties fo:page-width="21cm" )"
           R"(fo:page-height="29.7cm"/><style:header-style/></style:page-layout>)"
           R"(</office:automatic-styles><office:master-styles><style:master-page style:name="Standard" )"
           R"(style:page-layout-name="pm1"><style:header><text:p>Header [NAME]</text:p></style:header>)"
           R"(</style:master-page></office:master-styles><office:body><office:text>)"
           R"(<text:h text:outline-level="1">Sheet of <text:span text:style-name="B">[</text:span>Name]</text:h>)"
           R"(<text:p>Race: <text:span text:style-name="B">[RA</text:span>CE] level )"
           R"(<text:span text:style-name="Big">[LEVEL]</text:span> tail</text:p>)"
           R"(<text:p text:style-name="P105">Small [hair/eyes] end</text:p>)"
           R"(<text:p text:style-name="P115">Odd [HT/WT] end</text:p>)"
           R"(<table:table table:name="Stats"><table:table-column table:number-columns-repeated="3"/>)"
           R"(<table:table-row><table:table-cell><text:p>[VA0]</text:p></table:table-cell>)"
           R"(<table:table-cell><text:p>[NO0]</text:p></table:table-cell>)"
           R"(<table:table-cell><text:p>[TO0]</text:p></table:table-cell></table:table-row>)"
           R"(<table:table-row><table:table-cell><table:table table:name="Inner">)"
           R"(<table:table-column table:number-columns-repeated="2"/><table:table-row><table:table-cell>)"
           R"(<text:p>[SK1]</text:p></table:table-cell><table:table-cell><text:p>[SK10]</text:p>)"
           R"(</table:table-cell></table:table-row></table:table></table:table-cell>)"
           R"(<table:table-cell><text:p>[JOURNAL]</text:p></table:table-cell>)"
           R"(<table:table-cell><text:p>[st15]|[SECONDARY23]|[VA7]|[RA36]</text:p></table:table-cell>)"
           R"(</table:table-row></table:table>)"
           R"(<text:list><text:list-item><text:p>Realm [REALM]</text:p></text:list-item></text:list>)"
           R"(<text:p>Note<text:note text:id="n1" text:note-class="footnote"><text:note-citation>1</text:note-citation>)"
           R"(<text:note-body><text:p>About [EXPERIENCE]</text:p></text:note-body></text:note> then [Experience]. )"
           R"(Link <text:a xlink:type="simple" xlink:href="http://example.com/">[PROFESSION]</text:a>.</text:p>)"
           R"(<text:p>Gr&#246;&#223;e &#8211; &#937;&#956;&#941;&#947;&#945; &#8211; &#26085;&#26412; &#128512; )"
           R"([PICTURE] [NAME] again</text:p>)"
           R"(</office:text></office:body></office:document>)";
}

// Documents for the corpus, each with a placeholder or two and text a parser could misread.
std::vector<std::pair<std::string, std::string>> CorpusSources(const std::string& png)
{
    const std::string unicode = "Gr&#246;&#223;e &#937;&#956;&#941;&#947;&#945; &#26085;&#26412; &#128512; "
                                "&#120088;&#120107; &#1513;&#1500;&#1493;&#1501;";
    std::string features =
        std::string(kFodtHead) +
        R"(<office:automatic-styles><style:style style:name="Hid" style:family="text">)"
        R"(<style:text-properties text:display="none"/></style:style></office:automatic-styles>)"
        R"(<office:body><office:text><text:h text:outline-level="1">Features [NAME]</text:h>)"
        R"(<text:p>Endnote<text:note text:id="e1" text:note-class="endnote"><text:note-citation>i</text:note-citation>)"
        R"(<text:note-body><text:p>[RACE] in an endnote</text:p></text:note-body></text:note> and a comment)"
        R"(<office:annotation><dc:creator>Me</dc:creator><text:p>[RACE] in a comment</text:p></office:annotation>.</text:p>)"
        R"(<text:p>)" +
        unicode +
        R"( a&#160;b e&#8209;f &#8220;q&#8221; &#8230; &#8364;</text:p>)"
        R"(<text:p>Fields <text:page-number text:select-page="current">1</text:page-number> of )"
        R"(<text:page-count>1</text:page-count> by <text:initial-creator>Me</text:initial-creator>, )"
        R"(<text:text-input text:description="x">input</text:text-input></text:p>)"
        R"(<text:p>Image <draw:frame draw:name="i1" text:anchor-type="as-char" svg:width="2cm" svg:height="1cm">)"
        R"(<draw:image><office:binary-data>)" +
        Base64(png) +
        R"(</office:binary-data></draw:image></draw:frame> and [RACE] after.</text:p>)"
        R"(<text:p>Tab<text:tab/>and line<text:line-break/>break, <text:span text:style-name="Hid">hidden</text:span>.</text:p>)"
        R"(<text:list><text:list-item><text:p>one [LEVEL]</text:p></text:list-item><text:list-item><text:p>two</text:p>)"
        R"(<text:list><text:list-item><text:p>two.a</text:p></text:list-item></text:list></text:list-item></text:list>)"
        R"(<text:p>Mark <text:bookmark-start text:name="b"/>here<text:bookmark-end text:name="b"/>, )"
        R"(<text:a xlink:type="simple" xlink:href="https://example.org/?a={b}">a {link} \ [SK1]</text:a>.</text:p>)"
        R"(</office:text></office:body></office:document>)";
    std::string html =
        "<html><head><meta charset=\"utf-8\"><title>T</title></head><body>"
        "<h2>Web [NAME]</h2><p><b>[RA</b><i>CE]</i> <s>[LEVEL]</s> <sub>[VA0]</sub><sup>[VA1]</sup></p>"
        "<ol><li>[SK1]<ul><li>[SK10]</li></ul></li></ol><pre>pre\tformatted [JOURNAL]</pre>"
        "<table border=1><tr><td>a<table border=1><tr><td>[NO0]</td></tr></table></td>"
        "<td>&nbsp;</td></tr></table><p>" +
        unicode + "</p></body></html>";
    std::string txt = "Plain [NAME]\tand tabs\n\nGr\xC3\xB6\xC3\x9F"
                      "e \xE6\x97\xA5\xE6\x9C\xAC {b} \\s\\ [LEVEL]\n";
    return {{"features.fodt", features}, {"web.html", html}, {"plain.txt", txt}};
}

// Smaller writers: the macOS text editor's, with its line ends as paragraph marks, and the
// Windows one's.
const char* kCocoa = R"({\rtf1\ansi\ansicpg1252\cocoartf2639
\cocoatextscaling0\cocoaplatform0{\fonttbl\f0\fswiss\fcharset0 Helvetica;\f1\fnil\fcharset0 Menlo-Regular;}
{\colortbl;\red255\green255\blue255;\red251\green2\blue7;}
{\*\expandedcolortbl;;\cssrgb\c100000\c14913\c0;}
\pard\tx566\tx1133\pardirnatural\partightenfactor0

\f0\fs24 \cf0 Name: 
\b [NA
\b0 ME] and 
\f1\fs26 \cf2 [RACE]
\f0\fs24 \cf0 \
Level: [level] \uc0\u8211  Gr\'f6\'dfe \uc0\u937 \u956  \uc0\u26085 \u26412  \uc0\u55357 \u56832 \
Journal: [JOURNAL]\
[SK1][SK10]12})";

const char* kWordPad =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0\\nouicompat\\deflang1033{\\fonttbl{\\f0\\fnil\\fcharset0 Calibri;}"
    "{\\f1\\fnil\\fcharset161 Calibri;}{\\f2\\fnil\\fcharset128 MS Gothic;}}\r\n"
    "{\\colortbl ;\\red255\\green0\\blue0;}\r\n"
    "{\\*\\generator Riched20 10.0.19041}\\viewkind4\\uc1 \r\n"
    "\\pard\\sa200\\sl276\\slmult1\\f0\\fs22\\lang9 Name: \\b [NA\\b0 ME]\\b [RACE]\\b0 12\\par\r\n"
    "\\cf1\\i [LEVEL]\\cf0\\i0\\f1\\lang1032 \\'d9\\'ec\\f0\\lang9  \\f2\\lang1041\\'93\\'fa\\f0\\lang9  "
    "[JOURNAL]\\par\r\n"
    "\\trowd\\trgaph108\\cellx2000\\cellx4000\\pard\\intbl [VA0]\\cell [NO0]\\cell\\row\r\n"
    "\\pard\\ul [sk1]\\ulnone[SK10]\\strike [GP]\\strike0\\fs21 [SP]\\fs23 [BP]\\par\r\n}\r\n";

TEST(ReportBlackBoxLibreOffice, FilledTemplatesReadAsTheFillSays)
{
    ASSERT_TRUE(test::HaveLibreOffice());
    // The formats read back name the fonts LibreOffice used for the text.
    for (const char* family : {"Liberation Serif", "Liberation Sans"})
        ASSERT_TRUE(test::HaveFont(family, "fonts-liberation",
                                   "LibreOffice substitutes DejaVu and the font names read back differ"));
    LibreOffice lo;
    const std::string png = test::MakePng(30, 20);
    const auto values = Values(test::WriteTempFile("blackbox.png", png));

    lo.Write("sheet.fodt", SheetFodt());
    for (const auto& [name, bytes] : CorpusSources(png))
        lo.Write(name, bytes);
    lo.Write("word.rtf", Fixture("word-2010-style.rtf"));
    ASSERT_TRUE(lo.Convert({"sheet.fodt", "features.fodt", "plain.txt"}, "rtf:Rich Text Format", "."))
        << lo.Log();
    ASSERT_TRUE(lo.Convert({"web.html"}, "rtf:Rich Text Format", ".", "HTML (StarWriter)")) << lo.Log();
    lo.Write("cocoa.rtf", kCocoa);
    lo.Write("wordpad.rtf", kWordPad);
    const std::vector<std::string> templates = {"sheet.rtf",    "word.rtf",  "cocoa.rtf", "wordpad.rtf",
                                                "features.rtf", "plain.rtf", "web.rtf"};

    fs::create_directories(lo.Dir() / "filled");
    std::vector<std::string> filled;
    for (const auto& name : templates) {
        std::string source = *test::ReadTestFile(lo.Dir() / name);
        RtfDocument doc = Load(source);
        // Loading and saving gives back the bytes LibreOffice wrote, and so does a fill that
        // finds no placeholder.
        EXPECT_EQ(doc.SaveBytes(), source) << name;
        RtfDocument none = Load(source);
        FillData(none, {{"[ABSENT]", "x"}});
        EXPECT_EQ(none.SaveBytes(), source) << name;
        FillData(doc, values);
        ASSERT_TRUE(doc.SaveFile(lo.Dir() / "filled" / name).Ok());
        filled.push_back("filled/" + name);
    }
    // What a parser could misread is read as LibreOffice reads it.
    for (const char* name : {"features.rtf", "web.rtf"}) {
        std::string text = Load(*test::ReadTestFile(lo.Dir() / name)).TextUtf8();
        for (const char* word : {"Gr\xC3\xB6\xC3\x9F"
                                 "e",
                                 "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1",
                                 "\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80 \xF0\x9D\x94\x98\xF0\x9D\x94\xAB",
                                 "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"})
            EXPECT_NE(text.find(word), std::string::npos) << name << " lacks " << word << "\n" << text;
    }

    ASSERT_TRUE(lo.Convert(templates, "txt:Text", ".")) << lo.Log();
    ASSERT_TRUE(lo.Convert(filled, "txt:Text", "filled")) << lo.Log();
    for (const auto& name : templates) {
        std::string txt = fs::path(name).replace_extension(".txt").string();
        EXPECT_EQ(lo.Text("filled/" + txt), ExpectedText(lo.Text(txt), values)) << name;
    }

    // LibreOffice writes the filled sheet again, its formatting spelt out run by run.
    ASSERT_TRUE(lo.Convert({"filled/sheet.rtf"}, "rtf:Rich Text Format", "again")) << lo.Log();
    RtfDocument again = Load(*test::ReadTestFile(lo.Dir() / "again" / "sheet.rtf"));
    struct Expect {
        std::string value;
        RtfTextFormat format;
    };
    const RtfTextFormat plain{"Liberation Serif", 12.0, false, false, false, false, RtfColor{}};
    auto with = [&plain](auto change) {
        RtfTextFormat f = plain;
        change(f);
        return f;
    };
    const Expect formats[] = {
        {Value(values, "[RACE]") + " level", plain}, // typed half in bold
        {"Lvl42", {"Liberation Sans", 14.0, true, false, false, false, RtfColor::Rgb(192, 0, 0)}},
        {" tail", plain},
        {Value(values, "[HAIR/EYES]"), with([](RtfTextFormat& f) { f.fontSize = 10.0; })},
        {" end", with([](RtfTextFormat& f) { f.fontSize = 10.5; })},
        {Value(values, "[HT/WT]"), with([](RtfTextFormat& f) { f.fontSize = 12.0; })},
    };
    for (const auto& f : formats) {
        std::size_t at = again.Find(std::string_view(f.value));
        ASSERT_NE(at, RtfDocument::npos) << f.value << "\n" << again.TextUtf8();
        EXPECT_EQ(again.RangeFormat(at, Utf8ToUtf32(f.value).size()), f.format) << f.value;
    }
}

} // namespace
} // namespace keld
