// SPDX-License-Identifier: GPL-3.0-or-later
#include "charfile/CharacterFileFormat.h"
#include "charfile/CharacterFileReader.h"
#include "charfile/CharacterFileWriter.h"
#include "charfile/PictureCheck.h"

#include "HeapPeak.h"

#include "common/ImageDecode.h"
#include "common/NumericValue.h"
#include "common/TextFile.h"

#include <gtest/gtest.h>

#include <png.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace keld {
namespace {

namespace fs = std::filesystem;

const fs::path kData = fs::path(KELD_TEST_DATA) / "charfile";

RulesTables MakeTables()
{
    RulesTables tables;
    RaceEntry hill{"Hillfolk", {5, -5, 10, 0, 0, 0, 0, 0, 20, 10}};
    RaceEntry sea{"Sea Kin", {0, 10, 0, 5, 5, -5, 10, 5, 0, 0}};
    tables.Races = {RaceEntry{}, hill, sea};
    ProfessionEntry warden{"Warden", {1, 2, 3, 1, 2, 0, 0, 0, 0, 1}};
    ProfessionEntry scribe{"Scribe", {0, 0, 0, 0, 1, 3, 3, 2, 1, 0}};
    tables.Professions = {ProfessionEntry{}, warden, scribe};
    YouthEntry farm{"Farmstead", {}};
    farm.Values[11] = 2; // Climb
    farm.Values[22] = 1; // Perception
    farm.Values[5] = 3;  // 1-H Edged
    YouthEntry port{"Harbour", {}};
    port.Values[13] = 3; // Swim
    port.Values[0] = 1;  // No Armor
    tables.Youth = {YouthEntry{}, farm, port};
    return tables;
}

// A sheet as the program has it right after start-up.
struct Sheet {
    explicit Sheet(const RulesTables& tables)
    {
        model.ClearCharacter();
        model.FillLists(&tables);
    }
    SheetModel model;
};

std::string Slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void Spit(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// The stored fields and the totals they give.
std::string StoredAndTotals(const SheetModel& sheet)
{
    std::ostringstream s;
    for (const auto& line : CharacterFileLines(sheet))
        s << line << '\n';
    for (const StatEntry& stat : sheet.Record().Stats)
        s << NumericValue(stat.Total) << ' ';
    for (const SkillRow& skill : sheet.Record().Skills)
        s << skill.Total << ' ';
    s << sheet.Record().PowerPoints << ' ' << sheet.Record().MoneyWeight;
    return s.str();
}

// Every field the sheet shows, stored and derived, as text: two sheets that agree here agree.
std::string Snapshot(const SheetModel& sheet)
{
    const CharacterRecord& r = sheet.Record();
    std::ostringstream s;
    for (const auto& line : CharacterFileLines(sheet))
        s << line << '\n';
    s << r.RaceIndex << ' ' << r.YouthIndex << ' ' << r.ProfessionIndex << ' ' << r.PowerPoints << ' '
      << r.MoneyWeight << ' ' << sheet.Title() << ' ' << sheet.OldYouthIndex() << ' ' << sheet.LevelSpin()
      << '\n';
    for (const StatEntry& stat : r.Stats)
        s << stat.Norm << ' ' << stat.Race << ' ' << stat.Total << '\n';
    for (int row = 0; row < kSkillCount; ++row) {
        const SkillRow& skill = r.Skills[row];
        BarState two = sheet.Bar(RankBar::Two, row);
        s << row << ' ' << skill.StatCode << '|' << skill.Ranks5 << ' ' << skill.Ranks2 << ' ' << two.Shown
          << two.Enabled << ' ' << skill.Stat << ' ' << skill.Prof << ' ' << skill.Total << ' '
          << sheet.Item1Locked(row) << '\n';
    }
    return s.str();
}

// A character that uses every field, with texts that test the format's corners.
void MakeFullCharacter(SheetModel& sheet)
{
    // é and the euro sign both fit the 8-bit code page.
    EXPECT_TRUE(sheet.WriteName("Ysolde \xC3\xA9\xE2\x82\xAC"));
    EXPECT_TRUE(sheet.WriteGeneral(GeneralField::Height, "6'2"));
    EXPECT_TRUE(sheet.WriteGeneral(GeneralField::Weight, "200/lb"));
    EXPECT_TRUE(sheet.WriteGeneral(GeneralField::HairColor, "red=ish"));
    EXPECT_TRUE(sheet.WriteGeneral(GeneralField::EyeColor, "grey"));
    EXPECT_TRUE(sheet.WriteGeneral(GeneralField::Demeanor, ";calm [mostly]"));
    EXPECT_TRUE(sheet.WriteGeneral(GeneralField::Special, "sees, in the dark"));
    sheet.SelectRaceByName("Sea Kin");
    sheet.SelectYouthByName("Farmstead");
    sheet.SelectProfessionByName("Scribe");
    EXPECT_TRUE(sheet.WriteExperience("55000"));
    EXPECT_TRUE(sheet.SetRealm(MagicRealm::Channeling));
    const char* stats[] = {"57", "90", "45", "101", "96", "30", "66"};
    for (int i = 0; i < kStatCount; ++i)
        EXPECT_TRUE(sheet.WriteStatValue(i, stats[i]).Ok());
    EXPECT_TRUE(sheet.WriteSkillRank(5, "55"));
    EXPECT_TRUE(sheet.WriteSkillRank(11, "20"));
    EXPECT_TRUE(sheet.WriteSkillRank(2, "25"));
    EXPECT_TRUE(sheet.WriteSkillRank(30, "12"));
    EXPECT_TRUE(sheet.WriteItem1(11, "10"));
    EXPECT_TRUE(sheet.WriteItem2(12, "-3"));
    EXPECT_TRUE(sheet.WriteSpec1(13, "7"));
    EXPECT_TRUE(sheet.WriteSpec2(14, "2.5"));
    EXPECT_TRUE(sheet.WriteSpec2(3, "-40"));
    EXPECT_TRUE(sheet.WriteSecondaryName(24, "Dance"));
    EXPECT_TRUE(sheet.SetSkillStatCode(24, "AG"));
    EXPECT_TRUE(sheet.WriteSkillRank(24, "15"));
    EXPECT_TRUE(sheet.WriteSecondaryName(26, "Sing, Play, Juggle"));
    EXPECT_TRUE(sheet.SetSkillStatCode(26, "PR"));
    EXPECT_TRUE(sheet.WriteSkillRank(26, "50"));
    EXPECT_TRUE(sheet.WriteSpec2(26, "4"));
    EXPECT_TRUE(sheet.WriteArmorType("Rigid Leather"));
    EXPECT_TRUE(sheet.SetArmorPiece(ArmorPiece::Helm, CheckState::Checked));
    EXPECT_TRUE(sheet.SetArmorPiece(ArmorPiece::ArmGreaves, CheckState::Greyed));
    EXPECT_TRUE(sheet.WriteLanguageName(0, "Westron"));
    EXPECT_TRUE(sheet.WriteLanguageRank(0, "5"));
    EXPECT_TRUE(sheet.WriteLanguageName(2, "[Old Tongue]"));
    EXPECT_TRUE(sheet.WriteLanguageRank(2, "2"));
    EXPECT_TRUE(sheet.WriteLanguageName(3, ";hush"));
    EXPECT_TRUE(sheet.WriteLanguageRank(3, "1"));
    EXPECT_TRUE(sheet.WriteSpellName(0, "Lore"));
    EXPECT_TRUE(sheet.WriteSpellPercent(0, "35"));
    EXPECT_TRUE(sheet.WriteSpellName(7, "Creations"));
    EXPECT_TRUE(sheet.WriteSpellPercent(7, "5"));
    const char* money[] = {"12", "40", "3", "100", "7"};
    for (int i = 0; i < kMoneyCount; ++i)
        EXPECT_TRUE(sheet.WriteMoney(i, money[i]).Ok());
    EXPECT_TRUE(sheet.WriteNote(NoteKind::Inventory, "Inventory - \r\nrope\r\n\r\n[sack]\r\n; list\r\n"));
    EXPECT_TRUE(sheet.WriteNote(NoteKind::Journal, "Day 1\r\n[rest]\r\nDay 2\r\n   \r\n  ;x\r\n"));
    EXPECT_TRUE(sheet.WriteNote(NoteKind::Background, ""));
    EXPECT_TRUE(sheet.WriteNote(NoteKind::Miscellaneous, "Misc -\r\n"));
    EXPECT_TRUE(sheet.WritePictureFile((kData / "picture.png").string()));
}

class CharacterFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder =
            fs::temp_directory_path() /
            ("keld-charfile-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
             "-" + std::to_string(::getpid()));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }

    std::unique_ptr<Sheet> NewSheet() { return std::make_unique<Sheet>(m_tables); }

    RulesTables m_tables = MakeTables();
    fs::path m_folder;
};

TEST_F(CharacterFile, NewCharacterIsWrittenInTheLayoutAndRoundTrips)
{
    auto first = NewSheet();
    const fs::path a = m_folder / "a.kld";
    const fs::path b = m_folder / "b.kld";
    ASSERT_TRUE(WriteCharacterFile(first->model, a).Ok());
    EXPECT_EQ(Slurp(a), Slurp(kData / "new-character.kld"));

    // Load into a sheet that holds another character, so that every field must come from the file.
    auto second = NewSheet();
    MakeFullCharacter(second->model);
    EXPECT_TRUE(second->model.WritePictureFile(""));
    ASSERT_TRUE(ReadCharacterFile(second->model, a).Ok());
    const CharacterRecord& r = second->model.Record();
    EXPECT_EQ(r.Inventory, "Inventory - \r\n");
    EXPECT_EQ(r.Background, "Background -\r\n");
    EXPECT_EQ(r.Journal, "Journal -\r\n");
    EXPECT_EQ(r.Miscellaneous, "Misc -\r\n");
    // Apart from the notes, the loaded sheet holds the new character. (Some derived texts may
    // differ in form, "0" against "00", because New writes literals where the rules compute.)
    EXPECT_TRUE(first->model.WriteNote(NoteKind::Inventory, "Inventory - \r\n"));
    EXPECT_TRUE(first->model.WriteNote(NoteKind::Background, "Background -\r\n"));
    EXPECT_TRUE(first->model.WriteNote(NoteKind::Journal, "Journal -\r\n"));
    EXPECT_TRUE(first->model.WriteNote(NoteKind::Miscellaneous, "Misc -\r\n"));
    EXPECT_EQ(StoredAndTotals(second->model), StoredAndTotals(first->model));

    ASSERT_TRUE(WriteCharacterFile(second->model, b).Ok());
    auto third = NewSheet();
    ASSERT_TRUE(ReadCharacterFile(third->model, b).Ok());
    EXPECT_EQ(StoredAndTotals(third->model), StoredAndTotals(second->model));
    const fs::path c = m_folder / "c.kld";
    ASSERT_TRUE(WriteCharacterFile(third->model, c).Ok());
    EXPECT_EQ(Slurp(c), Slurp(b));
}

TEST_F(CharacterFile, FullCharacterRoundTripsWithEveryDerivedField)
{
    auto original = NewSheet();
    MakeFullCharacter(original->model);
    const fs::path file = m_folder / "full.kld";
    ASSERT_TRUE(WriteCharacterFile(original->model, file).Ok());

    auto loaded = NewSheet();
    auto read = ReadCharacterFile(loaded->model, file);
    ASSERT_TRUE(read.Ok()) << read.Error().Location();
    EXPECT_TRUE(read->warnings.empty());
    EXPECT_EQ(Snapshot(loaded->model), Snapshot(original->model));
    const CharacterRecord& r = loaded->model.Record();
    EXPECT_EQ(r.Skills[26].SecondaryName, "Sing, Play, Juggle");
    EXPECT_EQ(r.Skills[26].Spec2, "4");
    EXPECT_EQ(r.Languages[2].Name, "[Old Tongue]");
    EXPECT_EQ(r.Languages[3].Name, ";hush");
    EXPECT_EQ(r.Languages[3].Rank, "1");
    EXPECT_EQ(r.Journal, "Day 1\r\n[rest]\r\nDay 2\r\n   \r\n  ;x\r\n");
    EXPECT_EQ(r.ArmGreaves, CheckState::Greyed);

    // The file is 8-bit text: é and € are single bytes.
    const std::string bytes = Slurp(file);
    EXPECT_NE(bytes.find("NAME=Ysolde \xE9\x80\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("26,Sing, Play, Juggle,50,PR,0,0,0,4\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("[LANGUAGES]\r\nWestron,5\r\n,0\r\n [Old Tongue],2\r\n ;hush,1\r\n"),
              std::string::npos);
    EXPECT_NE(bytes.find("[ARMOR]\r\nTYPE=Rigid Leather\r\nSHIELD=0\r\nHELM=1\r\nARM=2\r\nLEG=0\r\n"),
              std::string::npos);

    // Writing the loaded character gives the same bytes again.
    const fs::path again = m_folder / "again.kld";
    ASSERT_TRUE(WriteCharacterFile(loaded->model, again).Ok());
    EXPECT_EQ(Slurp(again), bytes);
}

// Each fixture is a whole character file with one failing line; loading it must change nothing.
TEST_F(CharacterFile, AFailingLineChangesNothingAndNamesTheLine)
{
    struct Case {
        const char* file;
        int line;
        int number;
    };
    const Case cases[] = {
        {"general-line-without-equals.kld", 10, 5},
        {"height-weight-without-slash.kld", 11, 5},
        {"hair-eyes-without-slash.kld", 12, 5},
        {"stats-line-without-equals.kld", 27, 5},
        {"skill-row-not-a-number.kld", 52, 13},
        {"skill-row-out-of-range.kld", 67, 5},
        {"skill-line-with-too-few-commas.kld", 58, 5},
        {"armor-line-without-equals.kld", 72, 5},
        {"armor-piece-value-not-0-1-2.kld", 74, 5},
        {"language-line-without-comma.kld", 82, 5},
        {"ninth-language-line.kld", 85, 5},
        {"spell-line-without-comma.kld", 89, 5},
        {"ninth-spell-line.kld", 95, 5},
        {"money-line-without-equals.kld", 100, 5},
    };
    for (const auto& c : cases) {
        auto sheet = NewSheet();
        MakeFullCharacter(sheet->model);
        const std::string before = Snapshot(sheet->model);
        const fs::path file = kData / c.file;
        ASSERT_TRUE(fs::exists(file)) << c.file;
        auto read = ReadCharacterFile(sheet->model, file);
        ASSERT_FALSE(read.Ok()) << c.file;
        EXPECT_EQ(read.Error().File(), file.string()) << c.file;
        EXPECT_EQ(read.Error().Line(), c.line) << c.file << ": " << read.Error().Location();
        EXPECT_EQ(read.Error().Number(), c.number) << c.file;
        EXPECT_EQ(Snapshot(sheet->model), before) << c.file;
    }

    // The same file without the fault loads.
    auto sheet = NewSheet();
    ASSERT_TRUE(ReadCharacterFile(sheet->model, kData / "valid-character.kld").Ok());
    EXPECT_EQ(sheet->model.Record().Money[0], "99");
    EXPECT_EQ(sheet->model.Record().Languages[7].Name, "Tongue7");

    // A file that cannot be opened changes nothing either, money and notes included.
    sheet = NewSheet();
    MakeFullCharacter(sheet->model);
    const std::string before = Snapshot(sheet->model);
    auto read = ReadCharacterFile(sheet->model, m_folder / "missing.kld");
    ASSERT_FALSE(read.Ok());
    EXPECT_EQ(read.Error().Number(), kErrFileNotFound);
    EXPECT_NE(read.Error().File().find("missing.kld"), std::string::npos);
    EXPECT_EQ(Snapshot(sheet->model), before);
}

TEST_F(CharacterFile, AFileThatIsNotACharacterFileIsRefusedBeforeAnythingChanges)
{
    const std::string random("\x89\x00\xff\xfe[\x13\r\nGP=5\r\n\x80", 13);
    const std::pair<const char*, std::string> cases[] = {
        {"empty.kld", ""},
        {"random.kld", random},
        {"README.kld", "# KELD\n\nNAME=not a key here\n[MONEY] is explained below\r\nGP=1\r\n"},
        {"lower.kld", "[general]\r\nNAME=x\r\n[money]\r\nGP=1\r\n"},
    };
    for (const auto& [name, bytes] : cases) {
        auto sheet = NewSheet();
        MakeFullCharacter(sheet->model);
        const std::string before = Snapshot(sheet->model);
        const fs::path file = m_folder / name;
        Spit(file, bytes);
        auto read = ReadCharacterFile(sheet->model, file);
        ASSERT_FALSE(read.Ok()) << name;
        // The file goes before the detail where it is shown ("FILE: is not ..."): named once.
        EXPECT_EQ(read.Error().Detail(), "is not a character file");
        EXPECT_EQ(read.Error().Location(), file.string() + ": is not a character file");
        EXPECT_EQ(read.Error().File(), file.string());
        EXPECT_EQ(Snapshot(sheet->model), before) << name; // money and notes included
    }
    // One known header is enough, even with nothing under it.
    auto sheet = NewSheet();
    MakeFullCharacter(sheet->model);
    Spit(m_folder / "bare.kld", "junk\r\n[PICTURE]\r\n");
    ASSERT_TRUE(ReadCharacterFile(sheet->model, m_folder / "bare.kld").Ok());
    EXPECT_EQ(sheet->model.Record().Money[1], "0");
}

TEST_F(CharacterFile, AFileHoldingOnlyMoneyEmptiesTheNotesAndKeepsTheRest)
{
    auto sheet = NewSheet();
    MakeFullCharacter(sheet->model);
    auto expected = NewSheet();
    MakeFullCharacter(expected->model);
    const fs::path file = m_folder / "money.kld";
    Spit(file, "[MONEY]\r\nGP=5");
    ASSERT_TRUE(ReadCharacterFile(sheet->model, file).Ok());
    EXPECT_TRUE(expected->model.WriteMoney(0, "5"));
    for (int coin = 1; coin < kMoneyCount; ++coin)
        EXPECT_TRUE(expected->model.WriteMoney(coin, "0").Ok());
    for (int note = 0; note < kNoteCount; ++note)
        EXPECT_TRUE(expected->model.WriteNote(static_cast<NoteKind>(note), "").Ok());
    EXPECT_EQ(Snapshot(sheet->model), Snapshot(expected->model));
    EXPECT_EQ(sheet->model.Record().MoneyWeight, "0.1");
}

TEST_F(CharacterFile, OrderOfLinesDecidesWhatSurvives)
{
    struct Case {
        const char* text;
        const char* startExperience;
        const char* level;
    };
    // Experience read after the level sets the level it gives; an unchanged experience leaves it.
    const Case levels[] = {
        {"[GENERAL]\r\nLEVEL=5\r\nEXP=0\r\n", "20000", "0"},
        {"[GENERAL]\r\nLEVEL=5\r\nEXP=50000\r\n", "0", "5"},
        {"[GENERAL]\r\nLEVEL=7\r\nEXP=55000\r\n", "0", "5"},
        {"[GENERAL]\r\nEXP=55000\r\nLEVEL=7\r\n", "0", "7"},
        {"[GENERAL]\r\nLEVEL=5\r\nEXP=19999.5\r\n", "0", "5"},
    };
    for (const auto& c : levels) {
        auto sheet = NewSheet();
        EXPECT_TRUE(sheet->model.WriteExperience(c.startExperience));
        const fs::path file = m_folder / "level.kld";
        Spit(file, c.text);
        ASSERT_TRUE(ReadCharacterFile(sheet->model, file).Ok());
        EXPECT_EQ(sheet->model.Record().Level, c.level) << c.text;
    }

    // The youth comes before the skills: a stored rank replaces the youth's ranks.
    auto sheet = NewSheet();
    const fs::path file = m_folder / "order.kld";
    Spit(file, "[GENERAL]\r\nYOUTH=Farmstead\r\n[SKILLS]\r\n11,,-25,,0,0,0,0\r\n22,,10,,0,0,0,0\r\n"
               "[ARMOR]\r\nHELM=1\r\n[SKILLS]\r\n31,,0,,9,0,0,0\r\n");
    ASSERT_TRUE(ReadCharacterFile(sheet->model, file).Ok());
    const CharacterRecord& r = sheet->model.Record();
    EXPECT_EQ(r.Skills[11].Rank, "-25");
    EXPECT_EQ(r.Skills[11].Ranks5, 0);
    EXPECT_EQ(r.Skills[5].Rank, "15"); // the youth's ranks where the file has no line
    EXPECT_EQ(r.Skills[22].Rank, "10");
    // The armour after the skills rewrites and locks the item box it covers; a later skill line
    // still writes the boxes no piece covers.
    EXPECT_EQ(r.Skills[22].Item1, "-5");
    EXPECT_TRUE(sheet->model.Item1Locked(22));
    EXPECT_EQ(r.Skills[31].Item1, "9");
}

TEST_F(CharacterFile, LoadingOverAnotherCharacterKeepsWhatTheFileDoesNotMention)
{
    auto sheet = NewSheet();
    MakeFullCharacter(sheet->model);
    const fs::path file = m_folder / "partial.kld";
    Spit(file, "; a comment\r\nNAME=ignored before any header\r\n[general]\r\nNAME=lower-case header\r\n"
               "[GENERAL]\r\nRACE=hillfolk\r\nREALM=Sorcery\r\nHT/WT=5'1/90\r\n[PICTURE]\r\n\r\n");
    ASSERT_TRUE(ReadCharacterFile(sheet->model, file).Ok());
    const CharacterRecord& r = sheet->model.Record();
    EXPECT_EQ(r.Name, "Ysolde \xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(sheet->model.RaceName(), ""); // a name the race list lacks shows no entry
    EXPECT_EQ(r.Realm, MagicRealm::Channeling);
    EXPECT_EQ(r.Height, "5'1");
    EXPECT_EQ(r.Weight, "90");
    EXPECT_EQ(r.sPictureFile, (kData / "picture.png").string()); // an empty picture line keeps it
    EXPECT_EQ(r.Inventory, "");
    EXPECT_EQ(r.Money[0], "0");
}

TEST_F(CharacterFile, NamesMissingFromTheRulesDataLeaveNoEntryAndAreReported)
{
    // Loaded over a character with every choice made: nothing of its race, youth or profession
    // may stay behind, and the sheet ends as a fresh sheet given the same file would.
    auto sheet = NewSheet();
    MakeFullCharacter(sheet->model);
    const fs::path file = m_folder / "house-rules.kld";
    Spit(file, "[GENERAL]\r\nRACE=Cloud Giant\r\nYOUTH=Orchard\r\nPROFESSION=Scribe\r\n[STATS]\r\nST=50\r\n"
               "[MONEY]\r\nGP=1\r\n");
    auto read = ReadCharacterFile(sheet->model, file);
    ASSERT_TRUE(read.Ok());
    EXPECT_EQ(sheet->model.Record().RaceIndex, 0);
    EXPECT_EQ(sheet->model.Record().YouthIndex, 0);
    EXPECT_EQ(sheet->model.ProfessionName(), "Scribe");
    EXPECT_EQ(sheet->model.Record().Money[0], "1");
    ASSERT_EQ(read->notFound.size(), 2u);
    EXPECT_EQ(read->notFound[0].Location(),
              file.string() + ":2: race \"Cloud Giant\" was not found in racemod.txt");
    EXPECT_EQ(read->notFound[1].Location(),
              file.string() + ":3: youth background \"Orchard\" was not found in adolmod.txt");
    for (int stat = 0; stat < kStatCount; ++stat) // the Sea Kin bonuses are gone
        EXPECT_EQ(NumericValue(sheet->model.Record().Stats[stat].Race), 0) << stat;

    Spit(file, "[GENERAL]\r\nPROFESSION=Tinker\r\n");
    read = ReadCharacterFile(sheet->model, file);
    ASSERT_TRUE(read.Ok());
    EXPECT_EQ(sheet->model.Record().ProfessionIndex, 0);
    ASSERT_EQ(read->notFound.size(), 1u);
    EXPECT_NE(read->notFound[0].Detail().find("profession \"Tinker\" was not found in profmod.txt"),
              std::string::npos);
    EXPECT_TRUE(read->warnings.empty());
}

// An editor that saved a character with LF line ends is named as the cause; a text that would be
// no character file with any line ends is still only that.
TEST_F(CharacterFile, AFileWithLfLineEndsIsRefusedWithThatReason)
{
    const std::pair<const char*, const char*> cases[] = {
        {"[GENERAL]\nNAME=Lf\n[MONEY]\nGP=5\n",
         "its lines end in LF only; character files end lines with CR LF"},
        {"; saved on Linux\n\n[MONEY]  \nGP=5",
         "its lines end in LF only; character files end lines with CR LF"},
        {"KELD character sheets\nLoad one with File, Load.\n[money]\n", "is not a character file"},
    };
    for (const auto& [bytes, reason] : cases) {
        auto sheet = NewSheet();
        const fs::path file = m_folder / "lf.kld";
        Spit(file, bytes);
        auto read = ReadCharacterFile(sheet->model, file);
        ASSERT_FALSE(read.Ok()) << bytes;
        EXPECT_EQ(read.Error().Location(), file.string() + ": " + reason);
        EXPECT_EQ(sheet->model.Record().Money[0], "0");
    }
}

// A relative picture path is looked for beside the character file first, then in the working
// folder; the path is kept, and saved, as it was written.
TEST_F(CharacterFile, ARelativePictureIsFoundBesideTheFileAndSavedAsWritten)
{
    const fs::path folder = m_folder / "chars";
    fs::create_directories(folder / "pics");
    fs::copy_file(kData / "picture.png", folder / "pics" / "hero.png");
    const fs::path file = folder / "hero.kld";
    Spit(file, "[PICTURE]\r\npics/hero.png\r\n[MONEY]\r\nGP=3\r\n");

    auto sheet = NewSheet();
    std::vector<std::string> checked;
    auto read = ReadCharacterFile(sheet->model, file, [&checked](const std::string& path) {
        checked.push_back(path);
        return CheckPictureFile(PathFromUtf8(path));
    });
    ASSERT_TRUE(read.Ok());
    EXPECT_TRUE(read->warnings.empty()) << read->warnings[0].Location();
    EXPECT_EQ(checked, std::vector<std::string>{(folder / "pics" / "hero.png").string()});
    EXPECT_EQ(sheet->model.Record().sPictureFile, "pics/hero.png");
    EXPECT_EQ(sheet->model.PictureFileToOpen(), (folder / "pics" / "hero.png").string());
    ASSERT_TRUE(WriteCharacterFile(sheet->model, m_folder / "copy.kld").Ok());
    EXPECT_NE(Slurp(m_folder / "copy.kld").find("[PICTURE]\r\npics/hero.png\r\n"), std::string::npos);

    // Not beside the file: the working folder, as before; the warning names the path as written.
    const fs::path elsewhere = m_folder / "elsewhere.kld";
    Spit(elsewhere, "[PICTURE]\r\npics/hero.png\r\n");
    read = ReadCharacterFile(sheet->model, elsewhere);
    ASSERT_TRUE(read.Ok());
    EXPECT_EQ(sheet->model.PictureFileToOpen(), "pics/hero.png");
    ASSERT_EQ(read->warnings.size(), 1u);
    EXPECT_EQ(read->warnings[0].Detail().rfind("picture \"pics/hero.png\" ", 0), 0u)
        << read->warnings[0].Detail();
    const fs::path cwd = fs::current_path();
    fs::current_path(folder);
    EXPECT_TRUE(CheckPictureFile(PathFromUtf8(sheet->model.PictureFileToOpen())).Ok());
    fs::current_path(cwd);

    // A whole path, one chosen by the user and New take no folder.
    read = ReadCharacterFile(sheet->model, file);
    ASSERT_TRUE(read.Ok());
    ASSERT_TRUE(sheet->model.WritePictureFile("pics/hero.png").Ok());
    EXPECT_EQ(sheet->model.PictureFileToOpen(), "pics/hero.png");
    ASSERT_TRUE(sheet->model.WritePictureFile((kData / "picture.png").string(), folder).Ok());
    EXPECT_EQ(sheet->model.PictureFileToOpen(), (kData / "picture.png").string());
    ASSERT_TRUE(sheet->model.WritePictureFile("pics/hero.png", folder).Ok());
    sheet->model.ClearCharacter();
    ASSERT_TRUE(sheet->model.WritePictureFile("pics/hero.png").Ok());
    EXPECT_EQ(sheet->model.PictureFileToOpen(), "pics/hero.png");
}

TEST_F(CharacterFile, APictureThatCannotBeLoadedKeepsItsPathAndWarns)
{
    for (const char* name : {"not-a-picture.png", "no-such-picture.gif", "truncated-picture.png"}) {
        auto sheet = NewSheet();
        const fs::path picture = kData / name;
        const fs::path file = m_folder / "picture.kld";
        Spit(file, "[PICTURE]\r\n" + picture.string() + "\r\n[MONEY]\r\nGP=3\r\n");
        auto read = ReadCharacterFile(sheet->model, file);
        ASSERT_TRUE(read.Ok()) << name;
        ASSERT_EQ(read->warnings.size(), 1u) << name;
        EXPECT_EQ(read->warnings[0].Line(), 2);
        EXPECT_EQ(read->warnings[0].File(), file.string());
        EXPECT_NE(read->warnings[0].Detail().find(name), std::string::npos);
        EXPECT_EQ(sheet->model.Record().sPictureFile, picture.string());
        EXPECT_EQ(sheet->model.Record().Money[0], "3"); // the rest of the file was read
    }
    for (const char* name : {"picture.png", "picture.bmp", "picture.gif", "picture.jpg"})
        EXPECT_TRUE(CheckPictureFile(kData / name).Ok()) << name;
    EXPECT_EQ(CheckPictureFile(kData / "nothing.png").Error().Number(), kErrFileNotFound);
}

// An RGB PNG of black, written row by row: 9999 x 9999 takes about 390 KB.
std::string BlackPng(int width, int height)
{
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t length) {
            static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<const char*>(data), length);
        },
        nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, 0, PNG_FILTER_NONE);
    png_write_info(png, info);
    std::vector<png_byte> row(png_get_rowbytes(png, info));
    for (int y = 0; y < height; ++y)
        png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// The peak memory of checking `picture` in a child process of its own, in MB, and the result.
std::pair<long, std::string> CheckedAlone(const fs::path& picture, const fs::path& answer)
{
    const pid_t child = ::fork();
    if (child == 0) {
        Status checked = CheckPictureFile(picture);
        Spit(answer, checked ? std::string("ok") : checked.Error().Detail());
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        std::_Exit(static_cast<int>(std::min<long>(usage.ru_maxrss / 1024 / 4, 255)));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) * 4L : -1L, Slurp(answer)};
}

TEST_F(CharacterFile, APictureIsCheckedFromItsHeaderAndStructureNotDecodedWhole)
{
    // A 9999 x 9999 PNG of 390 KB, a whole one within the pixel bound (its pixels would take 108 MB),
    // a 1 KB BMP whose header claims 10000 x 10000 and one within bounds whose pixels are missing.
    const fs::path huge = m_folder / "huge.png";
    Spit(huge, BlackPng(9999, 9999));
    ASSERT_LT(fs::file_size(huge), 500'000u);
    const fs::path large = m_folder / "large.png";
    Spit(large, BlackPng(6000, 6000));
    std::string bmp = Slurp(kData / "picture.bmp").substr(0, 54);
    bmp.resize(1024, '\x7f');
    for (int k : {18, 22}) // width and height
        bmp[k] = '\x10', bmp[k + 1] = '\x27', bmp[k + 2] = bmp[k + 3] = 0;
    const fs::path claims = m_folder / "claims.bmp";
    Spit(claims, bmp);
    bmp[19] = bmp[23] = '\x0F'; // 3856 x 3856
    const fs::path cut = m_folder / "cut.bmp";
    Spit(cut, bmp);
    const struct {
        const fs::path& picture;
        const char* answer;
    } cases[] = {
        {huge, "is too large a picture: 9,999 x 9,999 pixels"},
        {large, "ok"},
        {claims, "is too large a picture: 10,000 x 10,000 pixels"},
        {cut, "is cut short"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.picture.string());
        const auto [peakMb, answer] = CheckedAlone(c.picture, m_folder / "answer");
        EXPECT_NE(answer.find(c.answer), std::string::npos) << answer;
        EXPECT_GE(peakMb, 0);
        EXPECT_LT(peakMb, 100) << "checking took " << peakMb << " MB";
    }
    // A truncated picture is a warning like any unreadable one; the character loads.
    auto sheet = NewSheet();
    const fs::path file = m_folder / "cut.kld";
    Spit(file, "[PICTURE]\r\n" + cut.string() + "\r\n[MONEY]\r\nGP=3\r\n");
    auto read = ReadCharacterFile(sheet->model, file);
    ASSERT_TRUE(read.Ok());
    ASSERT_EQ(read->warnings.size(), 1u);
    EXPECT_EQ(read->warnings[0].Detail(),
              "picture \"" + cut.string() + "\" is cut short: the picture's data ends too soon");
    EXPECT_EQ(sheet->model.Record().Money[0], "3");
}

TEST_F(CharacterFile, WarningsPastAHundredOfAKindAreCountedNotKept)
{
    // 250 unknown races, 150 unknown professions, 3 of an unknown youth and 120 picture lines
    // naming pictures that cannot be loaded, mixed.
    std::string text = "[GENERAL]\r\n";
    for (int k = 0; k < 250; ++k) {
        text += "RACE=Nowhere " + std::to_string(k) + "\r\n";
        if (k < 150)
            text += "PROFESSION=Idler\r\n";
        if (k < 3)
            text += "YOUTH=Lost\r\n";
    }
    text += "[PICTURE]\r\n";
    for (int k = 0; k < 120; ++k)
        text += (m_folder / ("missing-" + std::to_string(k % 110) + ".png")).string() + "\r\n";
    const fs::path file = m_folder / "noisy.kld";
    Spit(file, text);
    auto sheet = NewSheet();
    auto read = ReadCharacterFile(sheet->model, file);
    ASSERT_TRUE(read.Ok());
    EXPECT_EQ(read->notFound.size(), 203u); // 100 + 100 + 3
    EXPECT_EQ(read->notFound[0].Detail(), "race \"Nowhere 0\" was not found in racemod.txt");
    std::string lastRace;
    for (const KeldError& missing : read->notFound)
        if (missing.Detail().starts_with("race"))
            lastRace = missing.Detail();
    EXPECT_EQ(lastRace, "race \"Nowhere 99\" was not found in racemod.txt");
    ASSERT_EQ(read->notFoundLeftOut.size(), 2u);
    EXPECT_EQ(read->notFoundLeftOut[0].Line(),
              "... and 50 more warnings of this kind (profession not found in profmod.txt)");
    EXPECT_EQ(read->notFoundLeftOut[1].Line(),
              "... and 150 more warnings of this kind (race not found in racemod.txt)");
    // Each line names a picture that cannot be loaded, even those named twice.
    EXPECT_EQ(read->warnings.size(), 100u);
    ASSERT_EQ(read->warningsLeftOut.size(), 1u);
    EXPECT_EQ(read->warningsLeftOut[0].count, 20u);

    WarningsLeftOut many{"race not found in racemod.txt", 1'999'900};
    EXPECT_EQ(many.Line(), "... and 1,999,900 more warnings of this kind (race not found in racemod.txt)");
}

// Every text box of the sheet and the inventory window, as (field, index).
std::vector<std::pair<FieldId, int>> TypedFields()
{
    std::vector<std::pair<FieldId, int>> fields;
    for (int i = 0; i < kGeneralCount; ++i)
        fields.emplace_back(FieldId::General, i);
    fields.emplace_back(FieldId::Level, 0);
    fields.emplace_back(FieldId::Experience, 0);
    for (int i = 0; i < kStatCount; ++i)
        fields.emplace_back(FieldId::StatValue, i);
    for (int row = kFirstSecondaryRow; row <= kLastSecondaryRow; ++row)
        fields.emplace_back(FieldId::SecondaryName, row);
    for (int row = 0; row < kSkillCount; ++row)
        for (FieldId box : {FieldId::Item1, FieldId::Item2, FieldId::Spec1, FieldId::Spec2})
            fields.emplace_back(box, row);
    fields.emplace_back(FieldId::ArmorType, 0);
    for (int i = 0; i < kLanguageCount; ++i)
        fields.emplace_back(FieldId::LanguageName, i);
    for (int i = 0; i < kSpellListCount; ++i) {
        fields.emplace_back(FieldId::SpellName, i);
        fields.emplace_back(FieldId::SpellPercent, i);
    }
    for (int i = 0; i < kMoneyCount; ++i)
        fields.emplace_back(FieldId::Money, i);
    for (int i = 0; i < kNoteCount; ++i)
        fields.emplace_back(FieldId::Note, i);
    return fields;
}

// What the user leaves in a box: the view drops what the file cannot hold, and the edit is
// finished when the box is left (Save finishes the box being typed into), which turns a bonus box
// that holds no number into "0" and drops a secondary skill's outer blanks.
void Type(SheetModel& sheet, FieldId id, int index, std::string_view text)
{
    if (sheet.EditText(id, index, WithoutWhatTheFileCannotHold(id, index, text)).Ok()) {
        ASSERT_TRUE(sheet.EditFinished(id, index).Ok());
    }
}

// The field's text after the character is saved and loaded into a fresh sheet; nothing when the
// load fails.
std::optional<std::string> SavedAndLoaded(const SheetModel& sheet, const RulesTables& tables, FieldId id,
                                          int index)
{
    Sheet fresh(tables);
    auto read = ReadCharacterText(fresh.model, EncodeTextLines(CharacterFileLines(sheet)), "mem.kld");
    if (!read.Ok())
        return std::nullopt;
    return fresh.model.Text(id, index);
}

TEST_F(CharacterFile, EveryTypedTextSurvivesSaveAndLoadOrIsRefusedByItsBox)
{
    // Separators of every line kind, line ends, tabs, outer blanks; the first text fits the 8-bit
    // code page, whose bytes for it ("\xC3\xA9", "\xC2\xA3") would read back as UTF-8; the second
    // does not fit it.
    const std::string hostile[] = {
        "  ;[x] 07/6,5=4\tend\r\n[y]\nz \xC3\x83\xC2\xA9 \xC3\x82\xC2\xA3  ",
        "  [x];07/6,5=4\t\r\n;y\rz \xF0\x9D\x84\x9E \xCE\xA9 \t ",
    };
    // A note as its box gives it: CR LF line ends, empty and blank lines, comment and header lines.
    const std::string note[] = {
        "  ;[x] 07/6,5=4\tend\r\n[y]\r\n\r\n   \r\n;z \xC3\x83\xC2\xA9\r\n",
        "[x]\r\n\r\n \xF0\x9D\x84\x9E  ",
    };
    for (int variant = 0; variant < 2; ++variant) {
        SCOPED_TRACE(variant);
        auto sheet = NewSheet();
        for (const auto& [id, index] : TypedFields())
            Type(sheet->model, id, index, id == FieldId::Note ? note[variant] : hostile[variant]);
        const fs::path file = m_folder / "hostile.kld";
        ASSERT_TRUE(WriteCharacterFile(sheet->model, file).Ok());
        auto loaded = NewSheet();
        auto read = ReadCharacterFile(loaded->model, file);
        ASSERT_TRUE(read.Ok()) << read.Error().Location();
        for (const auto& [id, index] : TypedFields()) {
            SCOPED_TRACE(::testing::Message() << "field " << static_cast<int>(id) << " index " << index);
            std::string expected = sheet->model.Text(id, index);
            const std::string actual = loaded->model.Text(id, index);
            // A note comes back with a line end after its last line.
            if (id == FieldId::Note && expected.size() >= 2 && expected.substr(expected.size() - 2) != "\r\n")
                expected += "\r\n";
            // The smaller coins keep their number, as the file has always stored them ("07" is 7).
            if (id == FieldId::Money && index > 0)
                EXPECT_EQ(NumericValue(actual), NumericValue(expected)) << expected;
            else
                EXPECT_EQ(actual, expected);
        }
        EXPECT_EQ(
            loaded->model.Text(FieldId::SecondaryName, 24),
            WithoutWhatTheFileCannotHold(FieldId::SecondaryName, 24, charfile::TrimSpaces(hostile[variant])));

        // And what the boxes refuse is what would not survive: each such field, given the whole
        // text, fails to load or comes back otherwise.
        for (const auto& [id, index] : TypedFields()) {
            const std::string& text = id == FieldId::Note ? note[variant] : hostile[variant];
            if (WithoutWhatTheFileCannotHold(id, index, text) == text)
                continue;
            SCOPED_TRACE(::testing::Message()
                         << "refused in field " << static_cast<int>(id) << " index " << index);
            Sheet raw(m_tables);
            if (!raw.model.EditText(id, index, text).Ok())
                continue; // a locked or read-only box
            const auto back = SavedAndLoaded(raw.model, m_tables, id, index);
            EXPECT_NE(back, std::optional<std::string>(raw.model.Text(id, index)));
        }
    }
}

TEST_F(CharacterFile, APicturePathToAFifoADeviceOrAHugeFileIsRefusedUnread)
{
    // A FIFO without a writer would block an ordinary open; /dev/zero never ends; the sparse file
    // is a picture header followed by 65 MB of nothing.
    const fs::path fifo = m_folder / "pipe.png";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path huge = m_folder / "huge.png";
    Spit(huge, Slurp(kData / "picture.png"));
    fs::resize_file(huge, (65ull << 20));
    const fs::path file = m_folder / "picture.kld";
    for (const fs::path& picture : {fifo, fs::path("/dev/zero"), huge}) {
        SCOPED_TRACE(picture.string());
        auto sheet = NewSheet();
        Spit(file, "[PICTURE]\r\n" + picture.string() + "\r\n[MONEY]\r\nGP=3\r\n");
        auto read = ReadCharacterFile(sheet->model, file);
        ASSERT_TRUE(read.Ok());
        ASSERT_EQ(read->warnings.size(), 1u);
        EXPECT_NE(
            read->warnings[0].Detail().find(picture == huge ? "larger than 64 MB" : "not a regular file"),
            std::string::npos)
            << read->warnings[0].Detail();
        EXPECT_EQ(sheet->model.Record().sPictureFile, picture.string()); // the character loads
        EXPECT_EQ(sheet->model.Record().Money[0], "3");
    }
    // Nor does a character file that is a FIFO or a device hang the load or change anything.
    for (const fs::path& character : {fifo, fs::path("/dev/zero")}) {
        auto sheet = NewSheet();
        auto read = ReadCharacterFile(sheet->model, character);
        ASSERT_FALSE(read.Ok());
        EXPECT_NE(read.Error().Detail().find("not a regular file"), std::string::npos)
            << read.Error().Detail();
    }
    // Just under the limit is read.
    fs::resize_file(huge, kMaxPictureFileBytes);
    auto bytes = ReadPictureFileBytes(huge);
    ASSERT_TRUE(bytes.Ok());
    EXPECT_EQ(bytes->size(), kMaxPictureFileBytes);
}

// The limit is checked before anything is read, and a file just inside it costs a small multiple
// of its size whatever its lines are: nothing is kept per line.
TEST_F(CharacterFile, AFileOverTheLimitIsRefusedUnreadAndOneInsideCostsAFewTimesItsSize)
{
    const std::string limit = std::to_string(kMaxCharacterFileBytes >> 20) + " MB";
    const fs::path big = m_folder / "big.kld";
    Spit(big, "[GENERAL]\r\nNAME=Big\r\n[JOURNAL]\r\n");
    fs::resize_file(big, kMaxCharacterFileBytes + 1); // sparse
    auto sheet = NewSheet();
    EXPECT_TRUE(sheet->model.WriteMoney(0, "7"));
    auto refused = ReadCharacterFile(sheet->model, big);
    ASSERT_FALSE(refused.Ok());
    EXPECT_EQ(refused.Error().Number(), 7);
    EXPECT_EQ(refused.Error().File(), big.string());
    EXPECT_EQ(refused.Error().Detail(), "is larger than " + limit);
    EXPECT_EQ(sheet->model.Record().Money[0], "7"); // nothing changed

    // Short journal lines, skill lines (six writes each) and one long name, each filling the limit.
    auto filled = [](const std::string& head, const std::string& line, const std::string& tail) {
        std::string text = head;
        while (text.size() + line.size() + tail.size() <= kMaxCharacterFileBytes)
            text += line;
        return text + tail;
    };
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"journal", filled("[JOURNAL]\r\n", "Day of rain\r\n", "")},
        {"skills", filled("[SKILLS]\r\n", "24,Craft,5,IG,1,0,0,0\r\n", "")},
        {"name", filled("[GENERAL]\r\nNAME=", "word ", "\r\n")},
    };
    const fs::path file = m_folder / "full.kld";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Spit(file, c.text);
        auto loaded = NewSheet();
        test::ResetHeapPeak();
        auto read = ReadCharacterFile(loaded->model, file);
        const std::size_t peak = test::HeapPeakSinceReset();
        ASSERT_TRUE(read.Ok()) << read.Error().Location();
        EXPECT_LT(peak, 5 * c.text.size()) << peak;
        EXPECT_TRUE(read->warnings.empty());
    }
}

// Save never writes a file that Load would refuse: the old file stays and the message says why.
TEST_F(CharacterFile, ASaveLargerThanLoadAcceptsIsRefusedAndOneInsideReadsBack)
{
    const fs::path target = m_folder / "diary.kld";
    Spit(target, "previous contents");
    auto sheet = NewSheet();
    EXPECT_TRUE(sheet->model.WriteNote(NoteKind::Journal, std::string(kMaxCharacterFileBytes, 'a')));
    Status refused = WriteCharacterFile(sheet->model, target);
    ASSERT_FALSE(refused.Ok());
    EXPECT_EQ(refused.Error().Number(), 7);
    EXPECT_EQ(refused.Error().File(), target.string());
    EXPECT_NE(refused.Error().Detail().find("larger than 4 MB"), std::string::npos) << refused.Error().Detail();
    EXPECT_EQ(Slurp(target), "previous contents");

    const std::string journal(kMaxCharacterFileBytes - 4096, 'b');
    EXPECT_TRUE(sheet->model.WriteNote(NoteKind::Journal, journal));
    ASSERT_TRUE(WriteCharacterFile(sheet->model, target).Ok());
    auto again = NewSheet();
    ASSERT_TRUE(ReadCharacterFile(again->model, target).Ok());
    const std::string& back = again->model.Record().Journal;
    EXPECT_TRUE(back.starts_with(journal)) << back.size() << " " << back.substr(0, 20);
}

TEST_F(CharacterFile, AFailedSaveLeavesThePreviousFileAsItWas)
{
    auto sheet = NewSheet();
    MakeFullCharacter(sheet->model);

    // A file size limit below the character's size makes the write fail half-way, even for root.
    const fs::path target = m_folder / "previous.kld";
    Spit(target, "previous contents");
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit low = old;
    low.rlim_cur = 200;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &low), 0);
    Status saved = WriteCharacterFile(sheet->model, target);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_FALSE(saved.Ok());
    EXPECT_NE(saved.Error().File().find(target.filename().string()), std::string::npos);
    EXPECT_FALSE(saved.Error().Detail().empty());
    EXPECT_EQ(Slurp(target), "previous contents");

    Status noFolder = WriteCharacterFile(sheet->model, m_folder / "no-such-folder" / "x.kld");
    ASSERT_FALSE(noFolder.Ok());
    EXPECT_NE(noFolder.Error().File().find("no-such-folder"), std::string::npos);

    // A save that works replaces the file whole and leaves nothing else in the folder.
    const fs::path good = m_folder / "good.kld";
    Spit(good, std::string(100000, 'x'));
    ASSERT_TRUE(WriteCharacterFile(sheet->model, good).Ok());
    EXPECT_EQ(Slurp(good).rfind("[GENERAL]\r\n", 0), 0u);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_folder), fs::directory_iterator()), 2);
}

} // namespace
} // namespace keld
