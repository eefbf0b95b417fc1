// SPDX-License-Identifier: GPL-3.0-or-later
#include "CliRun.h"
#include "rules/RulesTables.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace keld {
namespace {

namespace fs = std::filesystem;
using test::RunCli;

const fs::path kShippedData = fs::path(KELD_SOURCE_DIR) / "data";
const fs::path kFixtures = fs::path(KELD_TEST_DATA) / "charfile";

// A scratch folder per test, removed afterwards.
class ShowAndResave : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder =
            fs::temp_directory_path() /
            ("keld-show-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
             "-" + std::to_string(::getpid()));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        ASSERT_TRUE(LoadRulesTables(kShippedData, m_tables).Ok());
        ASSERT_GE(m_tables.Races.size(), 3u);
        ASSERT_GE(m_tables.Youth.size(), 2u);
        ASSERT_GE(m_tables.Professions.size(), 2u);
    }
    void TearDown() override { fs::remove_all(m_folder); }

    fs::path Write(const std::string& name, const std::string& bytes)
    {
        const fs::path path = m_folder / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    nlohmann::json Show(const std::vector<std::string>& extra)
    {
        std::vector<std::string> args{"show"};
        args.insert(args.end(), extra.begin(), extra.end());
        auto run = RunCli(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(nlohmann::json::accept(run.out)) << run.out;
        return nlohmann::json::accept(run.out) ? nlohmann::json::parse(run.out) : nlohmann::json{};
    }

    RulesTables m_tables;
    fs::path m_folder;
};

TEST_F(ShowAndResave, ShowWithoutAFileGivesTheStartUpSheetWithEveryKey)
{
    auto run = RunCli({"show", "--data", kShippedData.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto json = nlohmann::ordered_json::parse(run.out);
    std::vector<std::string> keys;
    for (const auto& item : json.items())
        keys.push_back(item.key());
    const std::vector<std::string> expected{
        "Title",           "Name",       "Height",        "Weight",     "HairColor",  "EyeColor",
        "Demeanor",        "Special",    "RaceIndex",     "Race",       "YouthIndex", "Youth",
        "ProfessionIndex", "Profession", "Level",         "Experience", "LevelSpin",  "Realm",
        "PowerPoints",     "Stats",      "Skills",        "ArmorType",  "Helm",       "Shield",
        "ArmGreaves",      "LegGreaves", "Languages",     "SpellLists", "Money",      "MoneyWeight",
        "Background",      "Inventory",  "Miscellaneous", "Journal",    "PictureFile"};
    EXPECT_EQ(keys, expected);

    EXPECT_EQ(json["Title"], "  -  KELD Character Sheet");
    EXPECT_EQ(json["Realm"], "Essence");
    EXPECT_EQ(json["Helm"], 0);
    ASSERT_EQ(json["Stats"].size(), 7u);
    // AP has no race bonus: its race cell keeps the layout's "00".
    EXPECT_EQ(json["Stats"][6], nlohmann::ordered_json::parse(
                                    R"({"Code":"AP","Value":"0","Norm":"0","Race":"00","Total":"0"})"));
    ASSERT_EQ(json["Skills"].size(), 36u);
    const auto& row2 = json["Skills"][2];
    std::vector<std::string> rowKeys;
    for (const auto& item : row2.items())
        rowKeys.push_back(item.key());
    EXPECT_EQ(rowKeys,
              (std::vector<std::string>{"Row", "Caption", "SecondaryName", "StatCode", "Ranks5", "Ranks2",
                                        "Bar2Visible", "Bar2Enabled", "Rank", "Stat", "Prof", "Item1",
                                        "Item1Locked", "Item2", "Spec1", "Spec2", "Total"}));
    EXPECT_EQ(row2["Caption"], "Rigid");
    EXPECT_EQ(row2["Spec2"], "-30");
    EXPECT_EQ(row2["Ranks5"], 0);
    EXPECT_EQ(row2["Bar2Visible"], false);
    EXPECT_EQ(json["Skills"][15]["StatCode"], "  ");
    EXPECT_EQ(json["Skills"][23]["Spec2"], "0");
    EXPECT_EQ(json["Skills"][25]["Caption"], "");
    EXPECT_EQ(json["SpellLists"][7], nlohmann::ordered_json::parse(R"({"Name":"","Percent":"0"})"));
    EXPECT_EQ(json["Money"], nlohmann::ordered_json::parse(R"(["0","0","0","0","0"])"));
    EXPECT_EQ(json["Inventory"], "Inventory - ");
    EXPECT_EQ(json["PictureFile"], "");

    // Without --data the tables next to the program are used.
    EXPECT_EQ(Show({}), nlohmann::json::parse(run.out));
}

TEST_F(ShowAndResave, ShowReadsAFileThroughTheRules)
{
    const std::string race = m_tables.Races[2].Name;
    const std::string profession = m_tables.Professions[1].Name;
    const fs::path file =
        Write("hero.kld", "[GENERAL]\r\nNAME=Hero\r\nRACE=" + race + "\r\nPROFESSION=" + profession +
                              "\r\nEXP=55000\r\nREALM=Channeling\r\n[STATS]\r\nIT=103\r\nPR=100\r\n"
                              "AP=60\r\n[SKILLS]\r\n5,,55,,0,0,0,0\r\n24,Cook, Bake,20,IT,1,0,0,0\r\n"
                              "[ARMOR]\r\nHELM=2\r\n[MONEY]\r\nGP=abc\r\nSP=100\r\n"
                              "[JOURNAL]\r\n ;kept\r\n;dropped\r\n");
    const auto json = Show({file.string(), "--data", kShippedData.string()});
    EXPECT_EQ(json["Title"], "Hero  -  KELD Character Sheet");
    EXPECT_EQ(json["RaceIndex"], 2);
    EXPECT_EQ(json["Race"], race);
    EXPECT_EQ(json["Level"], "5");
    EXPECT_EQ(json["Realm"], "Channeling");
    const int itRace = m_tables.Races[2].Values[4];
    EXPECT_EQ(json["Stats"][4]["Norm"], "40"); // over 102 is on at start-up
    EXPECT_EQ(json["Stats"][4]["Total"], std::to_string(40 + itRace));
    EXPECT_EQ(json["PowerPoints"], "20"); // Channeling, IT 103: 4 x level 5
    const int prTotal = 25 + m_tables.Races[2].Values[5];
    EXPECT_EQ(json["Stats"][6]["Total"], std::to_string(60 + prTotal));
    const auto& weapon = json["Skills"][5];
    EXPECT_EQ(weapon["Ranks5"], 50);
    EXPECT_EQ(weapon["Ranks2"], 5);
    EXPECT_EQ(weapon["Bar2Visible"], true);
    EXPECT_EQ(json["Skills"][24]["SecondaryName"], "Cook, Bake");
    EXPECT_EQ(json["Skills"][24]["StatCode"], "IT");
    EXPECT_EQ(json["Skills"][24]["Stat"], json["Stats"][4]["Total"]);
    EXPECT_EQ(json["Helm"], 2);
    EXPECT_EQ(json["Skills"][22]["Item1"], "-5");
    EXPECT_EQ(json["Skills"][22]["Item1Locked"], true);
    EXPECT_EQ(json["Money"], nlohmann::json::parse(R"(["abc","100","0","0","0"])"));
    EXPECT_EQ(json["MoneyWeight"], "1.6");
    EXPECT_EQ(json["Journal"], ";kept\r\n");

    // The option off: no extrapolation above 102.
    const auto off = Show({file.string(), "--data", kShippedData.string(), "--no-stats-over-102"});
    EXPECT_EQ(off["Stats"][4]["Norm"], "00");
}

TEST_F(ShowAndResave, AFailingFileExitsOneNamingTheLineAndPrintsNoSheet)
{
    for (const char* name : {"ninth-language-line.kld", "skill-row-not-a-number.kld"}) {
        const fs::path file = kFixtures / name;
        auto run = RunCli({"show", file.string(), "--data", kShippedData.string()});
        EXPECT_EQ(run.exitCode, 1) << name;
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(file.string() + ":"), std::string::npos) << run.err;
    }
    auto missing = RunCli({"show", (m_folder / "nope.kld").string()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("53 File not found"), std::string::npos) << missing.err;

    // A picture path to a device or a FIFO is refused at once, not read without end or waited on;
    // the show and the report go on without the picture.
    const fs::path fifo = m_folder / "portrait.png";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const fs::path& picture : {fs::path("/dev/zero"), fifo}) {
        const fs::path odd =
            Write("odd-picture.kld", "[GENERAL]\r\nNAME=Odd\r\n[PICTURE]\r\n" + picture.string() + "\r\n");
        auto shown = RunCli({"show", odd.string(), "--data", kShippedData.string()});
        EXPECT_EQ(shown.exitCode, 0) << shown.err;
        EXPECT_NE(shown.err.find("is not a regular file"), std::string::npos) << shown.err;
        const fs::path report = m_folder / "odd.rtf";
        auto reported = RunCli({"report", "--template", "detail", odd.string(), report.string(), "--data",
                                kShippedData.string()});
        EXPECT_EQ(reported.exitCode, 0) << reported.err;
        EXPECT_TRUE(fs::exists(report));
    }

    // Something that is not a character file at all.
    const fs::path notes = Write("notes.kld", "Shopping: rope, lamp oil\n");
    auto notAFile = RunCli({"show", notes.string(), "--data", kShippedData.string()});
    EXPECT_EQ(notAFile.exitCode, 1);
    EXPECT_EQ(notAFile.out, "");
    EXPECT_NE(notAFile.err.find(notes.string() + ": is not a character file"), std::string::npos)
        << notAFile.err;
    EXPECT_EQ(notAFile.err.find("notes.kld is"), std::string::npos) << notAFile.err; // named once

    // A picture that cannot be shown is only a warning.
    const fs::path file = Write("pic.kld", "[PICTURE]\r\n" + (m_folder / "none.png").string() + "\r\n");
    auto run = RunCli({"show", file.string()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.err.find("warning:"), std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(run.out)["PictureFile"], (m_folder / "none.png").string());
}

// A relative picture path is found beside the character file by show, resave and report alike,
// wherever keldcg-cli runs, and resave writes it as it was written.
TEST_F(ShowAndResave, ARelativePictureIsFoundBesideTheCharacterFile)
{
    fs::create_directories(m_folder / "art");
    fs::copy_file(kFixtures / "picture.png", m_folder / "art" / "hero.png");
    const fs::path file = Write("hero.kld", "[GENERAL]\r\nNAME=Hero\r\n[PICTURE]\r\nart/hero.png\r\n");
    ASSERT_FALSE(fs::exists(fs::current_path() / "art" / "hero.png"));

    auto shown = RunCli({"show", file.string(), "--data", kShippedData.string()});
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_EQ(shown.err, "");
    EXPECT_EQ(nlohmann::json::parse(shown.out)["PictureFile"], "art/hero.png");

    const fs::path out = m_folder / "copy.kld";
    auto resaved = RunCli({"resave", file.string(), out.string(), "--data", kShippedData.string()});
    EXPECT_EQ(resaved.exitCode, 0);
    EXPECT_EQ(resaved.err, "");
    EXPECT_NE(test::ReadWholeFile(out).find("[PICTURE]\r\nart/hero.png\r\n"), std::string::npos);

    const fs::path report = m_folder / "hero.rtf";
    auto reported = RunCli(
        {"report", "--template", "detail", file.string(), report.string(), "--data", kShippedData.string()});
    EXPECT_EQ(reported.exitCode, 0) << reported.err;
    EXPECT_NE(test::ReadWholeFile(report).find("\\pict"), std::string::npos);

    // Moved away from its picture, it is a warning that names the path as written.
    fs::rename(m_folder / "art", m_folder / "gone");
    shown = RunCli({"show", file.string(), "--data", kShippedData.string()});
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_NE(shown.err.find("warning: " + file.string() + ":4: picture \"art/hero.png\""), std::string::npos)
        << shown.err;
}

TEST_F(ShowAndResave, ResaveRoundTrips)
{
    const fs::path in = kFixtures / "valid-character.kld";
    const fs::path out = m_folder / "out.kld";
    auto run = RunCli({"resave", in.string(), out.string(), "--data", kShippedData.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto first = Show({in.string(), "--data", kShippedData.string()});
    const auto again = Show({out.string(), "--data", kShippedData.string()});
    EXPECT_EQ(again, first);

    // Resaving the written file gives the same bytes.
    const fs::path out2 = m_folder / "out2.kld";
    ASSERT_EQ(RunCli({"resave", out.string(), out2.string(), "--data", kShippedData.string()}).exitCode, 0);
    EXPECT_EQ(test::ReadWholeFile(out2), test::ReadWholeFile(out));

    // A file that fails writes nothing.
    const fs::path bad = m_folder / "bad.kld";
    auto failed = RunCli({"resave", (kFixtures / "money-line-without-equals.kld").string(), bad.string()});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_NE(failed.err.find(":100:"), std::string::npos) << failed.err;
    EXPECT_FALSE(fs::exists(bad));
}

} // namespace
} // namespace keld
