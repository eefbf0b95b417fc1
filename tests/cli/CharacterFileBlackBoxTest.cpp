// SPDX-License-Identifier: GPL-3.0-or-later
// Hand-made character files fed to `keldcg-cli show` and `resave`, each compared with values worked
// out by hand from the file format: how lines and sections are told apart, the skill, language,
// spell, money and note lines, line ends and 8-bit text, and every kind of failing line.
#include "CliRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace keld {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using test::RunCli;

const fs::path kFolder = fs::path(KELD_TEST_DATA) / "blackbox-charfile";
const fs::path kRules = fs::path(KELD_TEST_DATA) / "blackbox" / "rules";
const fs::path kCharfile = fs::path(KELD_TEST_DATA) / "charfile";

struct Expect {
    std::string pointer; // JSON pointer into the sheet
    Json value;
};

Expect Skill(int row, const std::string& key, Json value)
{
    return {"/Skills/" + std::to_string(row) + "/" + key, std::move(value)};
}

// Several fields of one skill row.
std::vector<Expect> Row(int row, const Json& fields)
{
    std::vector<Expect> out;
    for (const auto& [key, value] : fields.items())
        out.push_back(Skill(row, key, value));
    return out;
}

std::vector<Expect> operator+(std::vector<Expect> a, const std::vector<Expect>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The warnings about names the rules data lacks, which some hand-made files have on purpose.
std::string NotFoundWarnings(const std::string& err)
{
    std::string kept;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);)
        if (line.find(" was not found in ") != std::string::npos)
            kept += line + "\n";
    return kept;
}

Json Show(const fs::path& file)
{
    const auto run = RunCli({"show", file.string(), "--data", kRules.string()});
    EXPECT_EQ(run.exitCode, 0) << file << ": " << run.err;
    EXPECT_EQ(run.err, NotFoundWarnings(run.err)) << file;
    return Json::accept(run.out) ? Json::parse(run.out) : Json::object();
}

class CharacterFileBlackBox : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder =
            fs::temp_directory_path() /
            ("keld-cfbb-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
             "-" + std::to_string(::getpid()));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }

    fs::path m_folder;
};

TEST_F(CharacterFileBlackBox, ShowGivesTheHandWorkedValues)
{
    const Json noLanguage = {{"Name", ""}, {"Rank", "0"}};
    const Json noSpell = {{"Name", ""}, {"Percent", "0"}};
    const std::vector<std::pair<std::string, std::vector<Expect>>> cases{
        // Only "[GENERAL]" with trailing blanks is a known header; a key is taken exactly and the
        // value is everything after the first "="; a line of an unknown section is never a failure.
        {"lines-and-sections.kld",
         {{"/Name", "Name = with = signs"},
          {"/Title", "Name = with = signs  -  KELD Character Sheet"},
          {"/Demeanor", ""},
          {"/Special", "  spaced  "},
          {"/Height", ""},
          {"/Weight", ""},
          {"/HairColor", "a"},
          {"/EyeColor", "b/c"},
          {"/RaceIndex", 0},
          {"/ProfessionIndex", 0},
          {"/Realm", "Essence"},
          {"/Stats/3/Value", "0"},
          {"/Stats/4/Value", "0"},
          {"/Stats/5/Total", "25"},
          {"/Stats/6/Total", "25"},
          {"/PowerPoints", "00"},
          Skill(30, "Total", "25"),
          {"/Money", {"0", "0", "0", "0", "0"}},
          {"/Inventory", ""},
          {"/Background", ""}}},
        // Name and code only on rows 24 to 28, untrimmed on reading; a code matching no stat gives
        // 0; boxes that are not numbers become "0"; a name with commas takes the extra ones.
        {"skill-fields.kld",
         Row(5,
             {{"SecondaryName", ""}, {"StatCode", "ST"}, {"Rank", "20"}, {"Ranks5", 20}, {"Total", "30"}}) +
             Row(9, {{"Rank", "5"}, {"Total", "15"}}) +
             Row(24, {{"SecondaryName", "  Dance  "}, {"StatCode", " AG "}, {"Stat", "0"}, {"Total", "20"}}) +
             Row(25, {{"SecondaryName", "Sing, Play, Juggle"},
                      {"StatCode", "PR"},
                      {"Stat", "25"},
                      {"Spec2", "4"},
                      {"Total", "65"}}) +
             Row(26, {{"StatCode", "ag"}, {"Stat", "0"}, {"Total", "10"}}) +
             Row(27, {{"Ranks5", 50},
                      {"Ranks2", 1},
                      {"Bar2Visible", true},
                      {"Bar2Enabled", true},
                      {"Item1", "0"},
                      {"Item2", "0"},
                      {"Spec1", "2.5"},
                      {"Spec2", "0"},
                      {"Total", "63.5"}}) +
             Row(28, {{"SecondaryName", "Ride,"},
                      {"Rank", "IT"},
                      {"StatCode", "0"},
                      {"Ranks5", 0},
                      {"Total", "6"}}) +
             Row(30, {{"Rank", "12"}, {"Total", "37"}})},
        // Slots count over the whole file; gold is kept as written, the other coins are numbers:
        // 7 + 12 = 19, + 1.5 = 20.5 -> 20, + 16 = 36, + 1000 = 1036 coins = 16.1875 lb -> 16.2.
        {"slots-money-notes.kld",
         {{"/Languages",
           {{{"Name", "A"}, {"Rank", "1"}},
            {{"Name", "B"}, {"Rank", "2,3"}},
            {{"Name", ""}, {"Rank", ""}},
            {{"Name", "   "}, {"Rank", "5"}},
            noLanguage,
            noLanguage,
            noLanguage,
            noLanguage}},
          {"/SpellLists",
           {{{"Name", "Lore"}, {"Percent", "10"}},
            {{"Name", "Ice Law"}, {"Percent", "20,5"}},
            noSpell,
            noSpell,
            noSpell,
            noSpell,
            noSpell,
            noSpell}},
          {"/Money", {"7", "12", "1.5", "16", "1000"}},
          {"/MoneyWeight", "16.2"},
          {"/Journal", "Day 1\r\n\r\n ;kept\r\n[bracket\r\n\t;tab\r\nDay 2  \r\n"},
          {"/Inventory", ""},
          {"/Miscellaneous", ""},
          {"/PictureFile", ""}}},
        // A lone CR ends a line, a lone LF does not; a last line without an end is read.
        {"cr-line-ends.kld",
         {{"/Name", "cr only"}, {"/Height", "5\n6"}, {"/Weight", "70"}, {"/Money/0", "5"}}},
        // With LF alone the file is one header line naming no known section.
        {"windows-1252.kld",
         {{"/Name", "Ren\xC3\xA9"
                    "e \xE2\x82\xAC\xE2\x80\x9C"}}},
        {"utf-8.kld",
         {{"/Name", "Ren\xC3\xA9"
                    "e \xE2\x82\xAC \xCE\xA9"}}},
        // One byte that is not UTF-8 makes the whole file 8-bit text.
        {"utf-8-with-a-windows-1252-byte.kld",
         {{"/Name", "Ren\xC3\x83\xC2\xA9"
                    "e"},
          {"/Special", "\xC3\xA9"}}},
    };
    // With LF line ends the whole file is one line that belongs to no known section: it is refused,
    // with the line ends named as the reason, and nothing of the sheet is touched.
    const auto lf = RunCli({"show", (kFolder / "lf-line-ends.kld").string(), "--data", kRules.string()});
    EXPECT_EQ(lf.exitCode, 1);
    EXPECT_EQ(lf.out, "");
    EXPECT_NE(lf.err.find("lf-line-ends.kld: its lines end in LF only; character files end lines with CR LF"),
              std::string::npos)
        << lf.err;
    // Names the rules data lacks are named, with the rules file that lacks them.
    const auto unknown =
        RunCli({"show", (kFolder / "lines-and-sections.kld").string(), "--data", kRules.string()});
    EXPECT_NE(unknown.err.find(":17: race \"proud\" was not found in racemod.txt"), std::string::npos);
    EXPECT_NE(unknown.err.find(":18: profession \"Tester \" was not found in profmod.txt"),
              std::string::npos);

    for (const auto& [file, expect] : cases) {
        SCOPED_TRACE(file);
        const Json sheet = Show(kFolder / file);
        for (const Expect& e : expect) {
            const Json::json_pointer pointer(e.pointer);
            ASSERT_TRUE(sheet.contains(pointer)) << e.pointer;
            EXPECT_EQ(sheet.at(pointer), e.value) << e.pointer;
        }
    }
}

TEST_F(CharacterFileBlackBox, ResaveRoundTripsEveryHandMadeFile)
{
    // Each file with a line its resaved bytes must hold: 8-bit text when every character fits the
    // code page, UTF-8 when one does not.
    const std::vector<std::pair<std::string, std::string>> files{
        {"lines-and-sections.kld", "NAME=Name = with = signs\r\n"},
        {"skill-fields.kld", "28,Ride,,IT,0,0,0,1,5\r\n"},
        {"slots-money-notes.kld", "[JOURNAL]\r\nDay 1\r\n \r\n  ;kept\r\n [bracket\r\n"},
        {"cr-line-ends.kld", "HT/WT=5\n6/70\r\n"},
        {"windows-1252.kld", "NAME=Ren\xE9"
                             "e \x80\x93\r\n"},
        {"utf-8.kld", "NAME=Ren\xC3\xA9"
                      "e \xE2\x82\xAC \xCE\xA9\r\n"},
        // Read as 8-bit text, so its two characters go back as the two bytes they came from.
        {"utf-8-with-a-windows-1252-byte.kld", "NAME=Ren\xC3\xA9"
                                               "e\r\n"},
    };
    for (const auto& [file, line] : files) {
        SCOPED_TRACE(file);
        const fs::path out = m_folder / "out.kld";
        const fs::path again = m_folder / "again.kld";
        auto run = RunCli({"resave", (kFolder / file).string(), out.string(), "--data", kRules.string()});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        Json expected = Show(kFolder / file);
        if (file == "skill-fields.kld") {
            // The writer trims a secondary name and code, so the code now names a stat.
            expected["Skills"][24].update(
                {{"SecondaryName", "Dance"}, {"StatCode", "AG"}, {"Stat", "10"}, {"Total", "30"}});
        }
        EXPECT_EQ(Show(out), expected);
        ASSERT_EQ(RunCli({"resave", out.string(), again.string(), "--data", kRules.string()}).exitCode, 0);
        EXPECT_EQ(test::ReadWholeFile(again), test::ReadWholeFile(out));

        EXPECT_NE(test::ReadWholeFile(out).find(line), std::string::npos);
    }

    // A picture path that loads is kept without a warning; the empty line after it keeps it too.
    const fs::path picture = kCharfile / "picture.png";
    const fs::path file = m_folder / "picture.kld";
    std::ofstream(file, std::ios::binary) << "[PICTURE]\r\n" << picture.string() << "\r\n\r\n";
    EXPECT_EQ(Show(file)["PictureFile"], picture.string());
}

// Every kind of failing line, through both commands: exit 1 naming the file and line, no sheet
// printed, and an existing output file left as it was.
TEST_F(CharacterFileBlackBox, EveryFailingLineExitsOneNamingTheLine)
{
    const std::vector<std::pair<fs::path, int>> cases{
        {kCharfile / "general-line-without-equals.kld", 10},
        {kCharfile / "height-weight-without-slash.kld", 11},
        {kCharfile / "hair-eyes-without-slash.kld", 12},
        {kCharfile / "stats-line-without-equals.kld", 27},
        {kCharfile / "skill-row-not-a-number.kld", 52},
        {kCharfile / "skill-row-out-of-range.kld", 67},
        {kCharfile / "skill-line-with-too-few-commas.kld", 58},
        {kCharfile / "armor-line-without-equals.kld", 72},
        {kCharfile / "armor-piece-value-not-0-1-2.kld", 74},
        {kCharfile / "language-line-without-comma.kld", 82},
        {kCharfile / "ninth-language-line.kld", 85},
        {kCharfile / "spell-line-without-comma.kld", 89},
        {kCharfile / "ninth-spell-line.kld", 95},
        {kCharfile / "money-line-without-equals.kld", 100},
        {kFolder / "blank-line-in-general.kld", 3},           // blanks are content, without "="
        {kFolder / "header-with-a-leading-blank.kld", 3},     // not a header, so a line without "="
        {kFolder / "ninth-language-across-sections.kld", 14}, // the count runs across sections
        {kFolder / "armor-piece-rounds-to-3.kld", 3},         // 2.51 rounds to 3
        {kFolder / "skill-row-rounds-to-36.kld", 3},          // 35.5 rounds to 36
    };
    const fs::path out = m_folder / "out.kld";
    for (const auto& [file, line] : cases) {
        SCOPED_TRACE(file.filename().string());
        ASSERT_TRUE(fs::exists(file));
        const std::string where = file.string() + ":" + std::to_string(line) + ": ";
        auto shown = RunCli({"show", file.string(), "--data", kRules.string()});
        EXPECT_EQ(shown.exitCode, 1);
        EXPECT_EQ(shown.out, "");
        EXPECT_NE(shown.err.find(where), std::string::npos) << shown.err;

        std::ofstream(out, std::ios::binary) << "previous";
        auto resaved = RunCli({"resave", file.string(), out.string(), "--data", kRules.string()});
        EXPECT_EQ(resaved.exitCode, 1);
        EXPECT_NE(resaved.err.find(where), std::string::npos) << resaved.err;
        EXPECT_EQ(test::ReadWholeFile(out), "previous");
    }

    // A save that cannot be made names the path and leaves nothing behind.
    const fs::path nowhere = m_folder / "no-such-folder" / "out.kld";
    auto run =
        RunCli({"resave", (kFolder / "utf-8.kld").string(), nowhere.string(), "--data", kRules.string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(nowhere.string()), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(nowhere.parent_path()));
}

TEST_F(CharacterFileBlackBox, AHundredWarningsOfAKindThenHowManyMore)
{
    // 5,000 lines of one unknown race: the first hundred are printed, then one line for the rest.
    std::string text = "[GENERAL]\r\n";
    for (int k = 0; k < 5000; ++k)
        text += "RACE=Cloud Folk\r\n";
    const fs::path file = m_folder / "noisy.kld";
    std::ofstream(file, std::ios::binary) << text;
    for (const char* command : {"show", "resave"}) {
        SCOPED_TRACE(command);
        std::vector<std::string> args{command, file.string()};
        if (std::string(command) == "resave")
            args.push_back((m_folder / "out.kld").string());
        args.insert(args.end(), {"--data", kRules.string()});
        const auto run = RunCli(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        std::vector<std::string> lines;
        std::istringstream err(run.err);
        for (std::string line; std::getline(err, line);)
            lines.push_back(line);
        ASSERT_EQ(lines.size(), 101u) << run.err.substr(0, 300);
        EXPECT_EQ(lines[99],
                  "warning: " + file.string() + ":101: race \"Cloud Folk\" was not found in racemod.txt");
        EXPECT_EQ(lines[100],
                  "warning: ... and 4,900 more warnings of this kind (race not found in racemod.txt)");
    }
}

} // namespace
} // namespace keld
