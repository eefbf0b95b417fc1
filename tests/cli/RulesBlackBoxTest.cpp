// SPDX-License-Identifier: GPL-3.0-or-later
// Character files fed to `keldcg-cli show`, each compared with values worked out by hand from the
// rules. The small rules files in blackbox/rules give every race, profession and youth column its
// own number, so a value that lands in the wrong column shows.
#include "CliRun.h"
#include "character/SheetModel.h"
#include "charfile/CharacterFileReader.h"
#include "rules/RulesTables.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace keld {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

const fs::path kFolder = fs::path(KELD_TEST_DATA) / "blackbox";
const fs::path kRules = kFolder / "rules";

struct Expect {
    std::string pointer; // JSON pointer into the sheet, e.g. "/Stats/0/Norm"
    Json value;
};

struct Case {
    std::string file;
    std::vector<Expect> expect;
};

std::vector<Expect> operator+(std::vector<Expect> a, const std::vector<Expect>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// One column of the stat block, ST to AP.
std::vector<Expect> Stats(const std::string& key, const std::vector<const char*>& texts)
{
    std::vector<Expect> out;
    for (size_t i = 0; i < texts.size(); ++i)
        out.push_back({"/Stats/" + std::to_string(i) + "/" + key, texts[i]});
    return out;
}

Expect Skill(int row, const std::string& key, Json value)
{
    return {"/Skills/" + std::to_string(row) + "/" + key, std::move(value)};
}

// A row's rank text, bars and total.
std::vector<Expect> Ranks(int row, const char* rank, Json ranks5, Json ranks2, bool bar2Visible,
                          bool bar2Enabled, const char* total)
{
    return {Skill(row, "Rank", rank),
            Skill(row, "Ranks5", std::move(ranks5)),
            Skill(row, "Ranks2", std::move(ranks2)),
            Skill(row, "Bar2Visible", bar2Visible),
            Skill(row, "Bar2Enabled", bar2Enabled),
            Skill(row, "Total", total)};
}

std::vector<Expect> Item1(int row, const char* text, bool locked, const char* total)
{
    return {Skill(row, "Item1", text), Skill(row, "Item1Locked", locked), Skill(row, "Total", total)};
}

Json Show(const std::string& file, bool over102, const fs::path& rules)
{
    std::vector<std::string> args{"show", (kFolder / file).string(), "--data", rules.string()};
    if (!over102)
        args.push_back("--no-stats-over-102");
    const auto run = test::RunCli(args);
    EXPECT_EQ(run.exitCode, 0) << file << ": " << run.err;
    return Json::accept(run.out) ? Json::parse(run.out) : Json::object();
}

void Check(const std::vector<Case>& cases, bool over102 = true, const fs::path& rules = kRules)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file + (over102 ? "" : " --no-stats-over-102"));
        const Json sheet = Show(c.file, over102, rules);
        for (const Expect& e : c.expect) {
            const Json::json_pointer pointer(e.pointer);
            ASSERT_TRUE(sheet.contains(pointer)) << e.pointer;
            EXPECT_EQ(sheet.at(pointer), e.value) << e.pointer;
        }
    }
}

TEST(RulesBlackBox, StatBonusTable)
{
    // Values up to 102 read the same table with the option on or off; PowerPoints is at level 3
    // (level 0 for the bottom file) through IG.
    const std::vector<Case> table{
        {"stat-table-top.kld", Stats("Norm", {"35", "30", "25", "20", "20", "15", "15"}) +
                                   Stats("Total", {"35", "30", "25", "20", "20", "15", "110"}) +
                                   Stats("Race", {"0", "0", "0", "0", "0", "0", "00"}) +
                                   std::vector<Expect>{{"/PowerPoints", "6"},
                                                       Skill(5, "Stat", "35"),
                                                       Skill(5, "Total", "10"),
                                                       Skill(31, "Total", "30")}},
        {"stat-table-middle.kld", Stats("Norm", {"15", "15", "10", "10", "5", "5", "0"}) +
                                      Stats("Total", {"15", "15", "10", "10", "5", "5", "79"}) +
                                      std::vector<Expect>{{"/PowerPoints", "3"}}},
        {"stat-table-low.kld", Stats("Norm", {"0", "-5", "-5", "-10", "-10", "-15", "-15"}) +
                                   Stats("Total", {"0", "-5", "-5", "-10", "-10", "-15", "-12"}) +
                                   std::vector<Expect>{{"/PowerPoints", "00"}}},
        {"stat-table-bottom.kld", Stats("Value", {"2", "1", "0.0", "-5", "", "abc", "97.5"}) +
                                      Stats("Norm", {"-20", "-25", "00", "00", "00", "00", "00"}) +
                                      Stats("Total", {"-20", "-25", "0", "0", "0", "0", "97.5"})},
        {"stat-between-rows.kld", Stats("Norm", {"00", "00", "00", "00", "00", "00", "5"}) +
                                      Stats("Total", {"0", "0", "0", "0", "0", "0", "85"}) +
                                      std::vector<Expect>{{"/Stats/6/Value", "8 5"}, {"/PowerPoints", "3"}}},
    };
    Check(table, true);
    Check(table, false);

    Check({{"stat-over-102.kld", Stats("Norm", {"40", "45", "75", "35", "45", "45", "35"}) +
                                     Stats("Total", {"40", "45", "75", "35", "45", "45", "147.4"}) +
                                     std::vector<Expect>{{"/PowerPoints", "8"}}},
           {"stat-over-102-far.kld", Stats("Norm", {"275", "32765", "40", "0", "5", "0", "0"})}},
          true);
    Check({{"stat-over-102.kld", Stats("Norm", {"00", "00", "00", "00", "00", "00", "00"}) +
                                     Stats("Total", {"0", "0", "0", "0", "0", "0", "102.4"}) +
                                     std::vector<Expect>{{"/PowerPoints", "8"}}},
           {"stat-over-102-far.kld", Stats("Norm", {"00", "00", "00", "0", "5", "0", "0"})}},
          false);
}

TEST(RulesBlackBox, Appearance)
{
    // AP total = AP value + PR total, re-formed after any stat value change but not after a race
    // change; rows keyed "AP" follow it.
    const std::vector<Expect> afterRace = {{"/Race", "Proud"},         {"/Stats/5/Norm", "25"},
                                           {"/Stats/5/Race", "10"},    {"/Stats/5/Total", "35"},
                                           {"/Stats/6/Norm", "0"},     {"/Stats/6/Race", "00"},
                                           Skill(30, "Stat", "35"),    Skill(24, "SecondaryName", "Charm"),
                                           Skill(24, "StatCode", "AP")};
    Check({
        {"appearance-race-after-stats.kld", afterRace + std::vector<Expect>{{"/Stats/6/Total", "85"},
                                                                            Skill(24, "Stat", "85"),
                                                                            Skill(24, "Total", "60")}},
        {"appearance-stat-after-race.kld", afterRace + std::vector<Expect>{{"/Stats/6/Total", "95"},
                                                                           Skill(24, "Stat", "95"),
                                                                           Skill(24, "Total", "70"),
                                                                           {"/Stats/0/Total", "0"}}},
        {"appearance-blank-race.kld",
         {{"/RaceIndex", 0},
          {"/Race", ""},
          {"/Stats/5/Race", "0"},
          {"/Stats/5/Total", "25"},
          {"/Stats/6/Total", "95"},
          Skill(30, "Stat", "25")}},
    });
}

TEST(RulesBlackBox, RaceColumns)
{
    Check({
        {"race-columns.kld", Stats("Race", {"1", "-2", "3", "-4", "5", "-6", "00"}) +
                                 Stats("Total", {"11", "-2", "3", "-4", "5", "-6", "-6"}) +
                                 std::vector<Expect>{{"/RaceIndex", 1},
                                                     {"/Race", "Mapped"},
                                                     Skill(32, "Spec2", "7"),
                                                     Skill(32, "Total", "3"), // typed 3 replaced
                                                     Skill(33, "Spec2", "-8"),
                                                     Skill(33, "Total", "-3"),
                                                     Skill(34, "Spec2", "9"),
                                                     Skill(34, "Total", "12"),
                                                     Skill(35, "Spec2", "-10"),
                                                     Skill(35, "Total", "-7"),
                                                     Skill(3, "Stat", "11"),
                                                     Skill(3, "Total", "-59"),
                                                     Skill(0, "Total", "-27"),
                                                     Skill(12, "Total", "-20"),
                                                     Skill(17, "Total", "-29"),
                                                     Skill(23, "Total", "-22"),
                                                     Skill(30, "Total", "-6"),
                                                     Skill(31, "Total", "-2")}},
        // "twin" matches none and leaves no race; then every exact match of "Twin" is selected in
        // turn, so the last one wins.
        // ... and the secondary rows, whose code New emptied, have no stat bonus.
        {"race-duplicate-name.kld",
         {{"/RaceIndex", 4},
          {"/Race", "Twin"},
          {"/Stats/0/Race", "2"},
          Skill(5, "Stat", "2"),
          Skill(24, "StatCode", ""),
          Skill(24, "Stat", "0"),
          Skill(28, "Stat", "0")}},
    });
}

TEST(RulesBlackBox, ProfessionColumns)
{
    auto profs = [](const std::vector<const char*>& texts) {
        std::vector<Expect> out;
        for (size_t row = 0; row < texts.size(); ++row)
            out.push_back(Skill(static_cast<int>(row), "Prof", texts[row]));
        return out;
    };
    const char* n = "00"; // rows no profession column reaches
    Check({
        {"profession-columns.kld", profs({n,   n,   n,   n,    n,    "9",  "9",  "9",  "9",  "9",  "9",  "3",
                                          "3", "3", "3", "30", "12", "12", "12", "18", "21", "27", "15", "6",
                                          n,   n,   n,   n,    n,    "24", n,    n,    n,    n,    n,    n}) +
                                       std::vector<Expect>{{"/Profession", "Tester"},
                                                           {"/Level", "3"},
                                                           Skill(5, "Total", "-16"),
                                                           Skill(15, "Total", "5"),
                                                           Skill(21, "Total", "2"),
                                                           Skill(29, "Total", "24")}},
        {"profession-fraction-level.kld",
         {Skill(5, "Prof", "7.5"), Skill(11, "Prof", "2.5"), Skill(15, "Prof", "25"), Skill(16, "Prof", "10"),
          Skill(20, "Prof", "17.5"), Skill(21, "Prof", "22.5"), Skill(22, "Prof", "12.5"),
          Skill(23, "Prof", "5"), Skill(29, "Prof", "20"), Skill(11, "Total", "-22.5")}},
        {"profession-negative-level.kld",
         {{"/Level", "-2"}, Skill(5, "Prof", "0"), Skill(29, "Prof", "0"), {"/PowerPoints", "-2"}}},
    });
}

TEST(RulesBlackBox, LevelFromExperience)
{
    // LEVEL=7 comes first; profession Tester (3 per level on row 5) and IG 100 (3 per level).
    struct Row {
        const char* tag;
        const char* experience;
        const char* level;
        const char* times3;
    };
    const std::vector<Row> rows{{"9999", "9999", "0", "0"},         {"10000", "10000", "1", "3"},
                                {"49999", "49999", "4", "12"},      {"50000", "50000", "5", "15"},
                                {"69999", "69999", "5", "15"},      {"70000", "70000", "6", "18"},
                                {"149999", "149999", "9", "27"},    {"150000", "150000", "10", "30"},
                                {"1000000", "1000000", "10", "30"}, {"minus-5", "-5", "0", "0"},
                                {"19999-5", "19999.5", "7", "21"},  {"letters", "abc", "0", "0"}};
    std::vector<Case> cases;
    for (const Row& r : rows)
        cases.push_back({std::string("exp-") + r.tag + ".kld",
                         {{"/Experience", r.experience},
                          {"/Level", r.level},
                          {"/LevelSpin", "0"},
                          Skill(5, "Prof", r.times3),
                          {"/PowerPoints", r.times3}}});
    cases.push_back({"level-blanks-around.kld", {{"/Level", " 3 "}, Skill(5, "Prof", "9")}});
    cases.push_back({"level-not-a-number.kld", {{"/Level", "0"}, Skill(5, "Prof", "0")}});
    Check(cases);
}

TEST(RulesBlackBox, PowerPoints)
{
    const std::vector<std::pair<const char*, const char*>> essence{
        {"74", "00"},   {"75", "3"},  {"94-5", "00"},  {"95", "6"},
        {"99-5", "00"}, {"101", "9"}, {"101-5", "00"}, {"150", "12"}};
    std::vector<Case> cases;
    for (const auto& [tag, points] : essence)
        cases.push_back({std::string("power-ig-") + tag + ".kld", {{"/PowerPoints", points}}});
    cases.push_back({"power-realm-after-stats.kld", {{"/Realm", "Channeling"}, {"/PowerPoints", "6"}}});
    cases.push_back({"power-channeling-low-it.kld", {{"/Realm", "Channeling"}, {"/PowerPoints", "00"}}});
    cases.push_back({"power-essence-again.kld", {{"/Realm", "Essence"}, {"/PowerPoints", "9"}}});
    cases.push_back({"power-exp-after-stats.kld", {{"/Level", "7"}, {"/PowerPoints", "14"}}});
    cases.push_back({"power-fraction-level.kld", {{"/PowerPoints", "7.5"}}});
    Check(cases);
    Check({{"power-ig-150.kld", {{"/PowerPoints", "12"}}}},
          false); // above 102 counts with the option off too
}

TEST(RulesBlackBox, ArmourLocks)
{
    auto lockedRows = [](std::vector<int> rows) {
        std::vector<Expect> out;
        for (int row = 0; row < 36; ++row)
            out.push_back(Skill(row, "Item1Locked", std::find(rows.begin(), rows.end(), row) != rows.end()));
        return out;
    };
    Check({
        {"armor-all-checked.kld",
         lockedRows({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 22, 31}) + Item1(22, "-5", true, "-30") +
             Item1(31, "25", true, "25") + Item1(5, "-5", true, "-30") + Item1(10, "-5", true, "-30") +
             Item1(0, "-5", true, "-30") + Item1(4, "-5", true, "-90") + Item1(11, "0", false, "-25") +
             std::vector<Expect>{{"/ArmorType", "Mithril Coat"},
                                 {"/Helm", 1},
                                 {"/Shield", 1},
                                 {"/ArmGreaves", 1},
                                 {"/LegGreaves", 1}}},
        // 1.5 and 2.5 round to 2 (greyed, counts as checked), 0.5 to 0.
        {"armor-greyed.kld",
         lockedRows({0, 1, 2, 3, 4, 22, 31}) + Item1(22, "-5", true, "-30") + Item1(31, "25", true, "25") +
             Item1(7, "0", false, "-25") + Item1(2, "-5", true, "-60") +
             std::vector<Expect>{{"/Helm", 2}, {"/Shield", 2}, {"/ArmGreaves", 0}, {"/LegGreaves", 2}}},
        // Armour after the skill lines rewrites the boxes; unchecking leaves "0". A piece the file
        // leaves clear is no change, so the typed 7 under it stays.
        {"armor-after-skills.kld", Item1(31, "25", true, "25") + Item1(22, "7", false, "-18") +
                                       Item1(5, "0", false, "-25") +
                                       std::vector<Expect>{{"/Shield", 1}, {"/Helm", 0}, {"/ArmGreaves", 0}}},
        // A skill line after the armour writes the locked box; it stays locked.
        {"armor-before-skills.kld", Item1(22, "7", true, "-18") + std::vector<Expect>{{"/Helm", 1}}},
    });
}

TEST(RulesBlackBox, RankTextsRebuildTheBars)
{
    Check({
        {"ranks-loaded.kld",
         Ranks(0, "15", 10, 5, false, false, "15") + Ranks(1, "26", 0, 0, false, false, "26") +
             Ranks(2, "30", 25, 5, false, false, "30") + Ranks(3, "-25", 0, 0, false, false, "-70") +
             Ranks(4, "45", 45, 0, false, false, "45") + Ranks(5, "55", 50, 5, true, true, "55") +
             Ranks(6, "70", 0, 0, false, false, "70") + Ranks(7, "60", 50, 10, true, true, "60") +
             Ranks(8, "50", 50, 0, true, true, "50") + Ranks(9, "49", 49, 0, false, false, "49") +
             Ranks(10, "2.5", 2.5, 0, false, false, "2.5") + Ranks(11, "0.5", 0, 0, false, false, "0.5") +
             Ranks(12, "0", 0, 0, false, false, "0") + Ranks(13, "-3", 0, 0, false, false, "-3") +
             Ranks(14, "55abc", 50, 5, true, true, "55") + Ranks(15, "abc", 0, 0, false, false, "0") +
             Ranks(24, "51", 50, 1, true, true, "51") + Ranks(28, "5", 5, 0, false, false, "5") +
             Ranks(29, "12", 0, 0, false, false, "12") + Ranks(30, "abc", 0, 0, false, false, "0") +
             Ranks(35, "-7.5", 0, 0, false, false, "-7.5") +
             std::vector<Expect>{Skill(24, "SecondaryName", "Dance"), Skill(24, "StatCode", "AG"),
                                 Skill(24, "Stat", "0"), Skill(28, "StatCode", "IG")}},
        // A second line for the same row: 70 and 0 leave the bars as they were.
        {"ranks-loaded-twice.kld",
         Ranks(5, "70", 50, 5, true, true, "70") + Ranks(6, "0", 50, 5, true, true, "0") +
             Ranks(7, "20", 20, 0, false, false, "20") + Ranks(8, "-25", 0, 0, false, false, "-25")},
        // 52 rank + ST 90 (10) + Tester level 2 (6) + 1 + 2 + 3 + 4.
        {"ranks-with-bonuses.kld", Ranks(5, "52", 50, 2, true, true, "78") +
                                       std::vector<Expect>{Skill(5, "Stat", "10"), Skill(5, "Prof", "6")}},
        // Boxes that are not numbers become "0"; " 3" is a number.
        {"skill-boxes.kld",
         {Skill(11, "Item1", "0"), Skill(11, "Item2", "0"), Skill(11, "Spec1", "2.5"),
          Skill(11, "Spec2", " 3"), Skill(11, "Total", "-19.5"), Skill(13, "Total", "-24.7"),
          Skill(23, "Spec2", "5"), Skill(23, "Total", "-20"), Skill(4, "Spec2", "-70"),
          Skill(4, "Total", "-95")}},
    });
}

// Mapper's ranks as they land with nothing else on the sheet: rows 1, 3 and 15 are clamped.
std::vector<Expect> MapperRanks()
{
    return Ranks(0, "5", 5, 0, false, false, "5") + Ranks(1, "15", 15, 0, false, true, "0") +
           Ranks(2, "25", 25, 0, false, true, "-5") + Ranks(3, "35", 35, 0, false, true, "-10") +
           Ranks(4, "-25", 0, 0, false, false, "-85") + Ranks(5, "5", 5, 0, false, false, "5") +
           Ranks(6, "10", 10, 0, false, false, "10") + Ranks(10, "30", 30, 0, false, false, "30") +
           Ranks(13, "45", 45, 0, false, false, "45") + Ranks(14, "50", 50, 0, true, true, "50") +
           Ranks(15, "50", 50, 0, true, true, "50") + Ranks(16, "-25", 0, 0, false, false, "-25") +
           Ranks(18, "5", 5, 0, false, false, "5") + Ranks(20, "10", 10, 0, false, false, "10") +
           Ranks(21, "-25", 0, 0, false, false, "-25") + Ranks(22, "20", 20, 0, false, false, "20") +
           Ranks(23, "15", 15, 0, false, false, "15") + Ranks(24, "-25", 0, 0, false, false, "-25") +
           std::vector<Expect>{{"/YouthIndex", 1}, {"/Youth", "Mapper"}};
}

TEST(RulesBlackBox, YouthRanks)
{
    Check({
        {"youth-columns.kld", MapperRanks()},
        {"youth-before-skills.kld", Ranks(5, "-25", 0, 0, false, false, "-25") +
                                        Ranks(14, "55", 50, 5, true, true, "55") +
                                        Ranks(15, "50", 50, 0, true, true, "50")},
        // Row 6 held 45, Mapper's 10 points fitted only 5, and taking them back leaves 40; the
        // loaded 70 on row 7 is rebuilt from its bar and becomes -25.
        {"youth-take-back.kld",
         Ranks(5, "60", 50, 10, true, true, "60") + Ranks(6, "40", 40, 0, false, false, "40") +
             Ranks(7, "-25", 0, 0, false, false, "-25") + Ranks(1, "-25", 0, 0, false, false, "-40") +
             Ranks(14, "-25", 0, 0, false, false, "-25") +
             std::vector<Expect>{{"/YouthIndex", 2}, {"/Youth", "Other"}}},
        // 50 + 4, less Other's two ranks, keeps the sum on the 5% bar.
        {"youth-take-back-two-percent.kld",
         Ranks(5, "44", 44, 0, false, false, "44") + std::vector<Expect>{{"/YouthIndex", 0}, {"/Youth", ""}}},
        {"youth-same-twice.kld", Ranks(5, "10", 10, 0, false, false, "10")},
        // Taking back a negative count adds it.
        {"youth-negative-count.kld", Ranks(0, "5", 5, 0, false, false, "5")},
    });
}

TEST(RulesBlackBox, ShippedTables)
{
    // Tarnmoor Hillfolk (ST 10, AG -5, CO 10, IG -5; Poison 10, Disease 5), Lockbreaker at level 2,
    // Street Orphan (No Armor 2, Thrown 1, Climb 1, Ambush 1, Stalk 2, Pick Lock 2, Perception 1).
    Check({{"shipped-data.kld",
            {Skill(0, "Rank", "10"),
             Skill(0, "Total", "5"),
             Skill(8, "Prof", "2"),
             Skill(8, "Total", "2"),
             Skill(11, "Total", "4"),
             Skill(15, "Total", "9"),
             Skill(16, "Total", "16"),
             Skill(17, "Total", "11"),
             Skill(22, "Total", "9"),
             Skill(23, "Prof", "2"),
             Skill(23, "Total", "-13"),
             Skill(34, "Total", "20"),
             Skill(35, "Total", "15"),
             Skill(3, "Total", "-60"),
             {"/PowerPoints", "00"}}}},
          true, fs::path(KELD_SOURCE_DIR) / "data");
}

// Through the engine: one file loaded over another, New, and the level spinner.
class RulesEngine : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(LoadRulesTables(kRules, m_tables).Ok());
        m_sheet.ClearCharacter();
        m_sheet.FillLists(&m_tables);
    }
    void Load(const char* file) { ASSERT_TRUE(ReadCharacterFile(m_sheet, kFolder / file).Ok()) << file; }
    const SkillRow& Row(int row) const { return m_sheet.Record().Skills[row]; }

    RulesTables m_tables;
    SheetModel m_sheet;
};

TEST_F(RulesEngine, YouthTakenBackWhenAnotherFileIsLoadedAndOnNew)
{
    Load("youth-columns.kld");
    EXPECT_EQ(Row(3).Rank, "35");
    Load("youth-other.kld");
    EXPECT_EQ(m_sheet.OldYouthIndex(), 2);
    for (int row = 0; row <= 28; ++row) {
        EXPECT_EQ(Row(row).Rank, row == 5 ? "10" : "-25") << row;
        EXPECT_FALSE(m_sheet.Bar(RankBar::Two, row).Enabled) << row;
    }
    m_sheet.ClearCharacter();
    EXPECT_EQ(m_sheet.OldYouthIndex(), 0);
    EXPECT_EQ(Row(5).Rank, "-25");
    EXPECT_EQ(Row(5).Ranks5, 0);
}

TEST_F(RulesEngine, LevelSpinner)
{
    Load("profession-columns.kld"); // Tester: 3 per level on row 5
    ASSERT_TRUE(m_sheet.WriteStatValue(3, "100").Ok());
    const CharacterRecord& r = m_sheet.Record();
    struct Step {
        int position;
        const char* level;
        const char* experience;
        const char* times3;
    };
    for (const Step& s : {Step{1, "1", "10000", "3"}, Step{6, "6", "70000", "18"},
                          Step{11, "11", "70000", "33"}, Step{0, "0", "0", "0"}}) {
        ASSERT_TRUE(m_sheet.SetLevelSpin(s.position).Ok());
        EXPECT_EQ(r.Level, s.level) << s.position;
        EXPECT_EQ(r.Experience, s.experience) << s.position;
        EXPECT_EQ(Row(5).Prof, s.times3) << s.position;
        EXPECT_EQ(r.PowerPoints, s.times3) << s.position;
    }
    // Typed experience moves the level, not the spinner: one step up from 0 gives level 1.
    ASSERT_TRUE(m_sheet.WriteExperience("55000").Ok());
    EXPECT_EQ(r.Level, "5");
    EXPECT_EQ(m_sheet.LevelSpin(), 0);
    ASSERT_TRUE(m_sheet.SetLevelSpin(1).Ok());
    EXPECT_EQ(r.Level, "1");
    EXPECT_EQ(r.Experience, "10000");
}

} // namespace
} // namespace keld
