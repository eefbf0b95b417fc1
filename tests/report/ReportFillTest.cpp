// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/ReportFill.h"

#include "HeapPeak.h"
#include "TestImages.h"
#include "report/RtfPicture.h"
#include "report/RtfText.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace keld {
namespace {

RtfDocument Load(const std::string& source)
{
    RtfDocument doc;
    EXPECT_TRUE(doc.LoadBytes(source).Ok()) << source;
    return doc;
}

const char* kHead = R"({\rtf1\ansi\deff0{\fonttbl{\f0\fswiss Arial;}{\f1\froman Times New Roman;}})"
                    R"({\colortbl;\red255\green0\blue0;\red0\green0\blue255;}\f0\fs20 )";

std::string Template(const std::string& body)
{
    return kHead + body + "}";
}

TEST(FillData, PlaceholdersAreFoundAsTheTextShowsThem)
{
    struct Case {
        const char* name;
        std::string body;
        std::vector<ReportValue> steps;
        std::string text;
    };
    const Case cases[] = {
        {"only the first occurrence", "[NAME] and [NAME]", {{"[NAME]", "Bob"}}, "Bob and [NAME]"},
        {"letter case does not matter", "[hair/eyes]", {{"[HAIR/EYES]", "brown blue"}}, "brown blue"},
        {"split over groups and bookmarks",
         R"([NA{\b M}{\*\bkmkstart n}E{\*\bkmkend n}])",
         {{"[NAME]", "Bob"}},
         "Bob"},
        {"the closing bracket belongs to the placeholder",
         "[SK10] [SK1]",
         {{"[SK1]", "a"}, {"[SK10]", "b"}},
         "b a"},
        {"other bracketed text stays", "[ST] [VA7] [NAME", {{"[VA0]", "x"}}, "[ST] [VA7] [NAME"},
        {"values are not searched again",
         "[NAME] [LEVEL]",
         {{"[NAME]", "[LEVEL]"}, {"[LEVEL]", "5"}},
         "[LEVEL] 5"},
        {"an empty value removes the placeholder", "a[SPECIAL]b", {{"[SPECIAL]", ""}}, "ab"},
        {"notes bring their lines", "[JOURNAL]", {{"[JOURNAL]", "one\r\ntwo"}}, "one\ntwo"},
        {"inside a table",
         R"(\trowd\cellx500\cellx900 [VA0]\cell [NO0]\cell\row)",
         {{"[VA0]", "90"}, {"[NO0]", "10"}},
         "90\t10\t\n"},
        {"no picture leaves the placeholder", "[PICTURE]", {{"[PICTURE]", ""}}, "[PICTURE]"},
        {"a picture that cannot be read leaves it too",
         "[PICTURE]",
         {{"[PICTURE]", "/no/such/file.png"}},
         "[PICTURE]"},
    };
    for (const auto& c : cases) {
        RtfDocument doc = Load(Template(c.body));
        FillData(doc, c.steps);
        EXPECT_EQ(doc.TextUtf8(), c.text) << c.name;
        EXPECT_EQ(doc.SelectionLength(), 0u) << c.name;
        EXPECT_EQ(Load(doc.SaveBytes()).TextUtf8(), c.text) << c.name;
    }
}

TEST(FillData, ATemplateWithoutPlaceholdersComesBackUnchanged)
{
    std::string source = Template(R"({\b Plain} text [with] brackets\par)");
    RtfDocument doc = Load(source);
    FillData(doc, {{"[NAME]", "Bob"}, {"[PICTURE]", test::WriteTempFile("p.png", test::MakePng(4, 4))}});
    EXPECT_EQ(doc.SaveBytes(), source);
}

TEST(FillData, ValuesTakeThePlaceholdersFormatting)
{
    struct Case {
        const char* name;
        std::string body;
        RtfTextFormat format;
    };
    const Case cases[] = {
        {"bold 12-point red Arial",
         R"({\b\fs24\cf1 [NAME]})",
         {"Arial", 12.0, true, false, false, false, RtfColor::Rgb(255, 0, 0)}},
        {"half in bold is not bold",
         R"([NA{\b ME]})",
         {"Arial", 10.0, false, false, false, false, RtfColor{}}},
        {"italic underlined struck Times",
         R"({\f1\i\ul\strike [NAME]})",
         {"Times New Roman", 10.0, false, true, true, true, RtfColor{}}},
        {"10.5 points round to 10",
         R"({\fs21 [NAME]})",
         {"Arial", 10.0, false, false, false, false, RtfColor{}}},
        {"11.5 points round to 12",
         R"({\fs23 [NAME]})",
         {"Arial", 12.0, false, false, false, false, RtfColor{}}},
        {"mixed font, size and colour follow the first character",
         R"({\cf2\fs30 [N}{\f1\cf1 AME]})",
         {"Arial", 15.0, false, false, false, false, RtfColor::Rgb(0, 0, 255)}},
        {"a bold paragraph stays bold after the value",
         R"(\b x[NAME]y)",
         {"Arial", 10.0, true, false, false, false, RtfColor{}}},
    };
    for (const auto& c : cases) {
        RtfDocument doc = Load(Template(c.body));
        std::size_t pos = doc.Find(std::string_view("[NAME]"));
        RtfTextFormat after = doc.CharacterFormat(pos + 6);
        FillData(doc, {{"[NAME]", "Gwendolyn"}});
        ASSERT_EQ(doc.Find(std::string_view("Gwendolyn")), pos) << c.name;
        doc.Select(pos, 9);
        EXPECT_EQ(doc.SelectionFormat(), c.format) << c.name << "\n" << doc.SaveBytes();
        if (pos + 9 < doc.Length()) {
            EXPECT_EQ(doc.CharacterFormat(pos + 9), after) << c.name;
        }
    }
}

TEST(FillData, PicturesReplaceTheirPlaceholder)
{
    RtfDocument doc = Load(Template(R"(Portrait: {\b [picture]}.)"));
    FillData(doc, {{"[PICTURE]", test::WriteTempFile("portrait.png", test::MakePng(30, 60))}});
    EXPECT_EQ(doc.TextUtf8(), "Portrait: \xEF\xBF\xBC.");
    EXPECT_NE(doc.SaveBytes().find("\\pngblip"), std::string::npos);
    EXPECT_EQ(doc.SelectionLength(), 0u);
}

// A PNG whose chunks are whole and checked but whose pixel data does not inflate.
std::string UnreadablePng()
{
    std::string png = test::MakePng(16, 16);
    const std::size_t idat = png.find("IDAT");
    EXPECT_NE(idat, std::string::npos);
    const std::size_t length =
        static_cast<unsigned char>(png[idat - 2]) << 8 | static_cast<unsigned char>(png[idat - 1]);
    png[idat + 4] = 0x00; // not a zlib stream
    png[idat + 5] = 0x00;
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t k = idat; k < idat + 4 + length; ++k) {
        crc ^= static_cast<unsigned char>(png[k]);
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    crc ^= 0xFFFFFFFFu;
    for (int b = 0; b < 4; ++b)
        png[idat + 4 + length + b] = static_cast<char>(crc >> (24 - 8 * b));
    return png;
}

TEST(FillData, APictureThatCannotBeReadKeepsItsPlaceholder)
{
    const std::string png = UnreadablePng();
    EXPECT_FALSE(MakeRtfPicture(png).Ok()) << "refused, not embedded as data that shows nothing";
    RtfDocument doc = Load(Template("Portrait: [PICTURE]."));
    FillData(doc, {{"[PICTURE]", test::WriteTempFile("unreadable.png", png)}});
    EXPECT_EQ(doc.TextUtf8(), "Portrait: [PICTURE].");
    EXPECT_EQ(doc.SaveBytes().find("\\pngblip"), std::string::npos);
    // The one-step search keeps it as well.
    RtfDocument step = Load(Template("Portrait: [PICTURE]."));
    ReplaceIt(step, "[PICTURE]", test::WriteTempFile("unreadable.png", png));
    EXPECT_EQ(step.TextUtf8(), "Portrait: [PICTURE].");
    EXPECT_TRUE(MakeRtfPicture(test::MakePng(16, 16)).Ok());
}

TEST(FillData, PositionsAreNotLimitedTo16Bits)
{
    std::string filler;
    for (int k = 0; k < 4000; ++k)
        filler += "filler text\\par ";
    RtfDocument doc = Load(Template("[NAME] " + filler + "[LEVEL] end"));
    ASSERT_GT(doc.Find(std::string_view("[LEVEL]")), 40000u);
    FillData(doc, {{"[NAME]", "Bob"}, {"[LEVEL]", "12"}});
    std::string text = doc.TextUtf8();
    EXPECT_EQ(text.substr(0, 4), "Bob ");
    EXPECT_EQ(text.substr(text.size() - 7), "\n12 end");
    EXPECT_EQ(text.size(), 4 + 4000 * 12 + 6);
}

// Without values that hold placeholders, the one-pass fill gives exactly the bytes of running
// ReplaceIt step by step.
// A long value (a journal of the largest character file) costs a few times its own size to fill
// in, not a wide copy of it per character.
TEST(FillData, ALongValueCostsAFewTimesItsSize)
{
    std::string journal;
    while (journal.size() < (std::size_t{4} << 20))
        journal += "Day of rain, caf\xC3\xA9 at the ford\r\n";
    RtfDocument doc = Load(Template("Before [JOURNAL] after\\par"));
    const std::vector<ReportValue> steps = {{"[JOURNAL]", journal}};
    test::ResetHeapPeak();
    FillData(doc, steps);
    const std::size_t peak = test::HeapPeakSinceReset();
    EXPECT_LT(peak, 5 * journal.size()) << peak;
    EXPECT_EQ(doc.Find(std::string_view("[JOURNAL]")), RtfDocument::npos);
    EXPECT_NE(doc.Find(std::string_view("at the ford")), RtfDocument::npos);
}

TEST(FillData, MatchesReplaceItStepByStep)
{
    std::string body = R"(\trowd\cellx900\cellx1800 {\b [NAME]}\cell [level]\cell\row)"
                       R"([SK1][SK10]\b0[RACE]12 {\cf1\fs21 [HT/WT]} [SPECIAL] [JOURNAL])";
    std::vector<ReportValue> steps = {
        {"[RACE]", "Hill\xC3\xA9"}, {"[NAME]", "Bob {x}"},   {"[HT/WT]", "6' 200"},
        {"[SPECIAL]", ""},          {"[LEVEL]", "3"},        {"[SK1]", "11"},
        {"[SK10]", "-5"},           {"[JOURNAL]", "a\r\nb"}, {"[MISSING]", "x"}};
    RtfDocument batch = Load(Template(body));
    FillData(batch, steps);
    RtfDocument single = Load(Template(body));
    for (const auto& step : steps)
        ReplaceIt(single, step.placeholder, step.value);
    EXPECT_EQ(batch.SaveBytes(), single.SaveBytes());
    EXPECT_EQ(batch.TextUtf8(), "Bob {x}\t3\t\n11-5Hill\xC3\xA9"
                                "12 6' 200  a\nb");
}

TEST(FillData, FillsTemplatesWrittenByOtherPrograms)
{
    const std::vector<ReportValue> steps = {{"[RACE]", "Elf"}, {"[NAME]", "Bob"}, {"[LEVEL]", "7"},
                                            {"[VA0]", "90"},   {"[VA1]", "80"},   {"[SK1]", "11"},
                                            {"[SK10]", "22"},  {"[PICTURE]", ""}, {"[JOURNAL]", "j1\r\nj2"}};
    struct Case {
        const char* file;
        std::string text;
        RtfTextFormat level;
        bool nameBold; // the LibreOffice one has "[NA" in bold only
    };
    const Case cases[] = {
        {"word_style_template.rtf",
         "Character sheet for Bob\nRace: Elf \xE2\x80\x93 Level 7 \xE2\x80\x93 "
         "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\nStrength\t90\t\nNotes: j1\nj2 and again [NAME] "
         "and 1122\n",
         {"Calibri", 12.0, false, false, true, false, RtfColor::Rgb(192, 0, 0)},
         true},
        {"libreoffice_template.rtf",
         "Character \xC2\xAB\xC3\x9C"
         "berblick\xC2\xBB \xE2\x80\x93 test\nName: Bob and Elf in 7 "
         "\xE2\x98\xBA \xE6\x97\xA5\xE6\x9C\xAC\nStat\tValue\t\nST\t90\t\nAG\t80\t\nSkill 11 and 22; "
         "picture: [PICTURE]\nNotes:\nj1\nj2\n",
         {"Liberation Serif", 14.0, false, false, false, false, RtfColor::Rgb(192, 0, 0)},
         false},
    };
    for (const auto& c : cases) {
        RtfDocument doc;
        ASSERT_TRUE(doc.LoadFile(std::string(KELD_TEST_DATA) + "/report/" + c.file).Ok());
        FillData(doc, steps);
        EXPECT_EQ(doc.TextUtf8(), c.text) << c.file;
        std::size_t level = doc.Find(std::string_view(" 7 ")) + 1;
        EXPECT_EQ(doc.CharacterFormat(level), c.level) << c.file;
        EXPECT_EQ(doc.CharacterFormat(doc.Find(std::string_view("Bob"))).bold, c.nameBold) << c.file;
    }
}

TEST(ReplaceIt, FollowsTheStepsOneByOne)
{
    // Alone, ReplaceIt searches the document as it stands, values included.
    RtfDocument doc = Load(Template("[NAME] [LEVEL]"));
    ReplaceIt(doc, "[NAME]", "[LEVEL]");
    ReplaceIt(doc, "[LEVEL]", "5");
    EXPECT_EQ(doc.TextUtf8(), "5 [LEVEL]");
    EXPECT_EQ(doc.SelectionLength(), 0u);
    ReplaceIt(doc, "[ABSENT]", "x");
    EXPECT_EQ(doc.TextUtf8(), "5 [LEVEL]");
}

} // namespace
} // namespace keld
