// SPDX-License-Identifier: GPL-3.0-or-later
#include "SheetFixture.h"

namespace keld::test {
namespace {

TEST_F(SheetTest, StartUpShowsBlankEntriesAndEmptyRanks)
{
    const CharacterRecord& r = sheet.Record();
    EXPECT_EQ(r.RaceIndex, 0);
    EXPECT_EQ(r.YouthIndex, 0);
    EXPECT_EQ(r.ProfessionIndex, 0);
    EXPECT_EQ(sheet.RaceList().size(), 3u);
    for (int row = 0; row < kBarRowCount; ++row)
        EXPECT_EQ(Row(row).Rank, "-25") << row;
    EXPECT_EQ(Row(23).Spec2, "0");
    const char* penalties[] = {"0", "-15", "-30", "-45", "-60"};
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(Row(row).Spec2, penalties[row]);
    EXPECT_EQ(Row(11).Total, "-25"); // Climb
    EXPECT_EQ(Row(1).Total, "-40");  // Soft Leather: -25 and the fixed -15
    EXPECT_EQ(Row(4).Total, "-85");  // Plate
    EXPECT_EQ(Row(30).Rank, "00");   // rows without bars never carry ranks
    EXPECT_EQ(Row(30).Total, "0");
    for (int row : {0, 4, 24, 28, 30, 35})
        EXPECT_EQ(Row(row).Prof, "00") << row;
    EXPECT_EQ(Row(5).Prof, "0");
    // The secondary rows start with the blank code; New empties it, which looks up no stat.
    for (int row = 24; row <= 28; ++row) {
        EXPECT_EQ(Row(row).StatCode, "") << row;
        EXPECT_EQ(Row(row).Stat, "0") << row;
    }
    EXPECT_EQ(r.PowerPoints, "00");
    EXPECT_EQ(r.MoneyWeight, "0");
    EXPECT_EQ(r.Inventory, "Inventory - ");
    EXPECT_EQ(sheet.Title(), "  -  KELD Character Sheet");
}

TEST(SheetModel, ClearCharacterBeforeTablesSkipsTheSelections)
{
    SheetModel sheet;
    sheet.ClearCharacter();
    EXPECT_EQ(sheet.Record().RaceIndex, -1);
    EXPECT_EQ(sheet.Record().Skills[11].Total, "-25");
    EXPECT_FALSE(sheet.SelectRace(0).Ok());
    RulesTables tables = MakeTables();
    sheet.FillLists(&tables);
    EXPECT_EQ(sheet.Record().RaceIndex, 0);
    EXPECT_EQ(sheet.Record().Stats[0].Race, "0");
}

TEST_F(SheetTest, NewKeepsRealmArmourPenaltiesAndUnusedRanks)
{
    EXPECT_TRUE(sheet.SetRealm(MagicRealm::Channeling));
    EXPECT_TRUE(sheet.WriteSpec2(2, "-20"));
    EXPECT_TRUE(sheet.WriteSkillRank(31, "7"));
    EXPECT_TRUE(sheet.WriteStatValue(0, "90"));
    EXPECT_TRUE(sheet.SelectRace(1));
    EXPECT_TRUE(sheet.SelectYouth(3));
    EXPECT_TRUE(sheet.SelectProfession(1));
    EXPECT_TRUE(sheet.WriteLevel("3"));
    EXPECT_TRUE(sheet.WriteName("Asha"));
    EXPECT_TRUE(sheet.SetArmorPiece(ArmorPiece::Helm, CheckState::Checked));
    EXPECT_TRUE(sheet.WriteMoney(0, "64"));
    EXPECT_TRUE(sheet.WritePictureFile("/pics/asha.png"));
    EXPECT_TRUE(sheet.WriteSecondaryName(24, "Dance"));
    EXPECT_TRUE(sheet.SetSkillStatCode(24, "AG"));
    EXPECT_TRUE(sheet.SetLevelSpin(4));

    sheet.ClearCharacter();
    const CharacterRecord& r = sheet.Record();
    EXPECT_EQ(r.Realm, MagicRealm::Channeling);
    EXPECT_EQ(Row(2).Spec2, "-20");
    EXPECT_EQ(Row(31).Rank, "7");
    EXPECT_EQ(Row(31).Total, "7"); // a loaded rank of a row without bars still counts
    EXPECT_EQ(r.RaceIndex, 0);
    EXPECT_EQ(r.YouthIndex, 0);
    EXPECT_EQ(sheet.OldYouthIndex(), 0);
    EXPECT_EQ(Row(0).Ranks5, 0);
    EXPECT_EQ(Row(11).Rank, "-25");
    EXPECT_EQ(Stat(0).Race, "0");
    EXPECT_EQ(Stat(0).Total, "0");
    EXPECT_EQ(Stat(0).Norm, "0"); // the literal, not the table's "00"
    EXPECT_EQ(Row(32).Spec2, "0");
    EXPECT_EQ(Row(5).Prof, "0");
    EXPECT_EQ(r.Level, "0");
    EXPECT_EQ(sheet.LevelSpin(), 0);
    EXPECT_EQ(r.Helm, CheckState::Clear);
    EXPECT_FALSE(sheet.Item1Locked(22));
    EXPECT_EQ(Row(22).Item1, "0");
    EXPECT_EQ(r.Name, "");
    EXPECT_EQ(sheet.Title(), "  -  KELD Character Sheet");
    EXPECT_EQ(r.MoneyWeight, "0");
    EXPECT_EQ(r.sPictureFile, "");
    EXPECT_EQ(r.Background, "Background -");
    EXPECT_EQ(r.Inventory, "Inventory - ");
    EXPECT_EQ(r.Journal, "Journal -");
    EXPECT_EQ(r.Miscellaneous, "Misc -");
    EXPECT_EQ(Row(24).SecondaryName, "");
    EXPECT_EQ(Row(24).StatCode, "");
    EXPECT_EQ(Row(24).Stat, "0");
    EXPECT_EQ(Row(3).StatCode, "ST");
}

TEST_F(SheetTest, AppearanceIsItsValuePlusThePresenceTotal)
{
    EXPECT_TRUE(sheet.WriteStatValue(5, "75").Ok()); // PR total 5
    EXPECT_TRUE(sheet.WriteStatValue(6, "60"));
    EXPECT_EQ(Stat(6).Total, "65");
    EXPECT_TRUE(sheet.WriteStatValue(0, "40"));
    EXPECT_EQ(Stat(6).Total, "65");
    EXPECT_TRUE(sheet.WriteStatValue(5, "100"));
    EXPECT_EQ(Stat(5).Total, "25");
    EXPECT_EQ(Stat(6).Total, "85");
    // A race bonus on PR alone re-forms the PR total but not Appearance.
    EXPECT_TRUE(sheet.SelectRace(1));
    EXPECT_EQ(Stat(5).Total, "35");
    EXPECT_EQ(Stat(6).Total, "85");
    EXPECT_TRUE(sheet.SelectRace(0));
    EXPECT_EQ(Stat(5).Race, "0");
    EXPECT_EQ(Stat(5).Total, "25");
    EXPECT_EQ(Stat(6).Total, "85");
    EXPECT_TRUE(sheet.WriteStatValue(1, "50"));
    EXPECT_EQ(Stat(6).Total, "85");
}

TEST_F(SheetTest, StatValuesAndTheOver102Option)
{
    struct Case {
        const char* value;
        bool over102;
        const char* norm;
    };
    const Case cases[] = {{"103", true, "40"},  {"103", false, "00"}, {"", true, "00"},
                          {"abc", true, "00"},  {"-5", true, "00"},   {"97.5", true, "00"},
                          {"85abc", true, "5"}, {"8 5", true, "5"}};
    for (const Case& c : cases) {
        sheet.SetOver102(c.over102);
        EXPECT_TRUE(sheet.WriteStatValue(2, "50"));
        EXPECT_TRUE(sheet.WriteStatValue(2, c.value));
        EXPECT_EQ(Stat(2).Norm, c.norm) << c.value;
    }
    // Toggling recomputes nothing until the value is edited again.
    sheet.SetOver102(true);
    EXPECT_TRUE(sheet.WriteStatValue(0, "110"));
    EXPECT_EQ(Stat(0).Norm, "75");
    sheet.ToggleOver102();
    EXPECT_EQ(Stat(0).Norm, "75");
    EXPECT_TRUE(sheet.WriteStatValue(0, "111"));
    EXPECT_EQ(Stat(0).Norm, "00");
}

TEST_F(SheetTest, RaceBonusesReachTheRowsOfTheirStat)
{
    EXPECT_TRUE(sheet.WriteStatValue(0, "90"));
    EXPECT_TRUE(sheet.WriteStatValue(1, "50"));
    EXPECT_TRUE(sheet.SelectRace(1));
    EXPECT_EQ(Stat(0).Total, "15");
    EXPECT_EQ(Stat(1).Total, "-5");
    for (int row = 0; row < kSkillCount; ++row) {
        if (Row(row).StatCode == "ST") {
            EXPECT_EQ(Row(row).Stat, "15") << row;
        }
        if (Row(row).StatCode == "AG") {
            EXPECT_EQ(Row(row).Stat, "-5") << row;
        }
    }
    EXPECT_EQ(Row(5).Total, "-10"); // -25 + 15
    // The resistance modifiers replace what the user typed.
    EXPECT_TRUE(sheet.WriteSpec2(34, "12"));
    EXPECT_TRUE(sheet.SelectRace(2));
    EXPECT_TRUE(sheet.SelectRace(1));
    const char* resistances[] = {"10", "5", "0", "-5"};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(Row(32 + k).Spec2, resistances[k]);
    EXPECT_EQ(Row(35).Total, "-5");
}

TEST_F(SheetTest, DraggingChipsAndDroppingDice)
{
    EXPECT_TRUE(sheet.WriteStatValue(3, "95"));
    EXPECT_TRUE(sheet.SetSkillStatCode(11, StatChipCaption(6)).Ok()); // the blank chip on Climb
    EXPECT_EQ(Row(11).StatCode, "  ");
    EXPECT_EQ(Row(11).Stat, "0");
    EXPECT_TRUE(sheet.SetSkillStatCode(11, "IG"));
    EXPECT_EQ(Row(11).Stat, "15");
    EXPECT_EQ(Row(11).Total, "-10");
    EXPECT_TRUE(sheet.SetSkillStatCode(11, "57").Ok()); // a die result is not a chip
    EXPECT_EQ(Row(11).Stat, "0");

    for (bool over : {true, false}) {
        sheet.SetOver102(over);
        EXPECT_TRUE(sheet.DropOnStat(0, "57"));
        EXPECT_TRUE(sheet.DropOnStat(0, "00"));
        EXPECT_EQ(Stat(0).Value, "100");
        EXPECT_EQ(Stat(0).Norm, "25");
    }
    EXPECT_TRUE(sheet.DropOnStat(0, "PR"));
    EXPECT_EQ(Stat(0).Value, "0");
}

TEST_F(SheetTest, ProfessionBonusesFollowTheLevel)
{
    EXPECT_TRUE(sheet.SelectProfession(1));
    for (int row = 5; row <= 10; ++row)
        EXPECT_EQ(Row(row).Prof, "0");
    EXPECT_TRUE(sheet.WriteLevel("4"));
    EXPECT_EQ(Row(5).Prof, "12");
    EXPECT_EQ(Row(5).Total, "-13");
    EXPECT_TRUE(sheet.WriteLevel("3"));
    EXPECT_EQ(Row(15).Prof, "6");  // Ambush, column 10
    EXPECT_EQ(Row(16).Prof, "12"); // Stalk/Hide, column 4
    EXPECT_EQ(Row(23).Prof, "6");  // Body Dev, column 2
    EXPECT_EQ(Row(29).Prof, "24"); // Base Spells, column 8
    for (int row : {0, 4, 24, 28, 30, 35})
        EXPECT_EQ(Row(row).Prof, "00") << row;
    EXPECT_TRUE(sheet.SelectProfession(0));
    EXPECT_EQ(Row(29).Prof, "0");
}

TEST_F(SheetTest, ExperienceSpinnerAndLevelText)
{
    EXPECT_TRUE(sheet.WriteExperience("55000"));
    EXPECT_EQ(sheet.Record().Level, "5");
    EXPECT_TRUE(sheet.WriteExperience("19999.5"));
    EXPECT_EQ(sheet.Record().Level, "5");
    EXPECT_TRUE(sheet.WriteExperience("-5"));
    EXPECT_EQ(sheet.Record().Level, "0");
    EXPECT_TRUE(sheet.WriteExperience("55000"));
    EXPECT_TRUE(sheet.SetLevelSpin(1).Ok()); // a spinner at 0 stepped up once
    EXPECT_EQ(sheet.Record().Level, "1");
    EXPECT_EQ(sheet.Record().Experience, "10000");
    EXPECT_TRUE(sheet.SetLevelSpin(6));
    EXPECT_EQ(sheet.Record().Experience, "70000");
    EXPECT_TRUE(sheet.SetLevelSpin(11));
    EXPECT_EQ(sheet.Record().Level, "11");
    EXPECT_EQ(sheet.Record().Experience, "70000");
    EXPECT_TRUE(sheet.SetLevelSpin(0));
    EXPECT_EQ(sheet.Record().Level, "0");
    EXPECT_EQ(sheet.Record().Experience, "0");
    EXPECT_FALSE(sheet.SetLevelSpin(101).Ok());

    EXPECT_TRUE(sheet.SelectProfession(1));
    EXPECT_TRUE(sheet.WriteLevel(" 3 "));
    EXPECT_EQ(sheet.Record().Level, " 3 ");
    EXPECT_EQ(Row(5).Prof, "9");
    EXPECT_EQ(sheet.Record().Experience, "0"); // typing a level moves neither box nor spinner
    EXPECT_EQ(sheet.LevelSpin(), 0);
    EXPECT_TRUE(sheet.WriteLevel("abc"));
    EXPECT_EQ(sheet.Record().Level, "0");
    EXPECT_EQ(Row(5).Prof, "0");
    EXPECT_TRUE(sheet.WriteLevel("4x"));
    EXPECT_EQ(sheet.Record().Level, "0");
}

TEST_F(SheetTest, PowerPointsByRealmStatAndLevel)
{
    EXPECT_TRUE(sheet.WriteLevel("3"));
    const std::pair<const char*, const char*> essence[] = {{"94", "3"},   {"95", "6"},   {"100", "9"},
                                                           {"102", "12"}, {"150", "12"}, {"74", "00"}};
    for (auto [ig, points] : essence) {
        EXPECT_TRUE(sheet.WriteStatValue(3, ig));
        EXPECT_EQ(sheet.Record().PowerPoints, points) << ig;
    }
    EXPECT_TRUE(sheet.WriteStatValue(4, "50"));
    EXPECT_TRUE(sheet.SetRealm(MagicRealm::Channeling));
    EXPECT_EQ(sheet.Record().PowerPoints, "00");
    EXPECT_TRUE(sheet.WriteStatValue(4, "96"));
    EXPECT_EQ(sheet.Record().PowerPoints, "6");
    EXPECT_TRUE(sheet.WriteLevel("5"));
    EXPECT_EQ(sheet.Record().PowerPoints, "10");
}

TEST_F(SheetTest, WindowTitleFollowsTheName)
{
    EXPECT_TRUE(sheet.WriteName("Brannoc"));
    EXPECT_EQ(sheet.Title(), "Brannoc  -  KELD Character Sheet");
    EXPECT_TRUE(sheet.WriteGeneral(GeneralField::Height, "6'2"));
    EXPECT_EQ(sheet.Title(), "Brannoc  -  KELD Character Sheet");
    EXPECT_TRUE(sheet.WriteName(""));
    EXPECT_EQ(sheet.Title(), "  -  KELD Character Sheet");
}

TEST_F(SheetTest, ArmourPiecesWriteAndLockTheirItemBoxes)
{
    EXPECT_TRUE(sheet.SetArmorPiece(ArmorPiece::Helm, CheckState::Checked));
    EXPECT_EQ(Row(22).Item1, "-5");
    EXPECT_TRUE(sheet.Item1Locked(22));
    EXPECT_EQ(Row(22).Total, "-30");
    EXPECT_FALSE(sheet.EditText(FieldId::Item1, 22, "3").Ok());
    EXPECT_TRUE(sheet.SetArmorPiece(ArmorPiece::Helm, CheckState::Clear));
    EXPECT_EQ(Row(22).Item1, "0");
    EXPECT_FALSE(sheet.Item1Locked(22));

    EXPECT_TRUE(sheet.EditText(FieldId::Item1, 31, "10"));
    EXPECT_TRUE(sheet.SetArmorPiece(ArmorPiece::Shield, CheckState::Checked));
    EXPECT_EQ(Row(31).Item1, "25");
    EXPECT_TRUE(sheet.SetArmorPiece(ArmorPiece::Shield, CheckState::Clear));
    EXPECT_EQ(Row(31).Item1, "0");

    EXPECT_TRUE(sheet.SetArmorPiece(ArmorPiece::ArmGreaves, CheckState::Checked));
    EXPECT_TRUE(sheet.SetArmorPiece(ArmorPiece::LegGreaves, CheckState::Greyed)); // greyed counts as worn
    for (int row = 0; row < kSkillCount; ++row) {
        const bool touched = row <= 10;
        EXPECT_EQ(Row(row).Item1, touched ? "-5" : "0") << row;
        EXPECT_EQ(sheet.Item1Locked(row), touched) << row;
    }
    // A file that leaves a piece clear keeps the item bonus typed under it.
    EXPECT_TRUE(sheet.SetArmorPiece(ArmorPiece::Helm, CheckState::Clear));
    EXPECT_TRUE(sheet.WriteItem1(22, "7"));
    EXPECT_TRUE(sheet.SetArmorPiece(ArmorPiece::Helm, CheckState::Clear));
    EXPECT_EQ(Row(22).Item1, "7");
    EXPECT_TRUE(sheet.WriteArmorType("Plate"));
    EXPECT_EQ(Row(4).Total, "-90");
}

TEST_F(SheetTest, LanguageRanksCycle)
{
    for (int click = 0; click < 6; ++click)
        EXPECT_TRUE(sheet.lblLanguage_Click(2).Ok());
    EXPECT_EQ(sheet.Record().Languages[2].Rank, "0");
    EXPECT_TRUE(sheet.WriteLanguageRank(3, "7"));
    EXPECT_TRUE(sheet.lblLanguage_Click(3));
    EXPECT_EQ(sheet.Record().Languages[3].Rank, "0");
    EXPECT_TRUE(sheet.WriteLanguageRank(3, "2.5"));
    EXPECT_TRUE(sheet.lblLanguage_Click(3));
    EXPECT_EQ(sheet.Record().Languages[3].Rank, "3.5");
    EXPECT_FALSE(sheet.lblLanguage_Click(8).Ok());
}

TEST_F(SheetTest, BonusBoxesReplaceNonNumbersAndKeepWhatIsBeingTyped)
{
    EXPECT_TRUE(sheet.WriteItem2(11, "2.5"));
    EXPECT_EQ(Row(11).Total, "-22.5");
    EXPECT_TRUE(sheet.WriteItem2(11, "-"));
    EXPECT_EQ(Row(11).Item2, "0");
    EXPECT_TRUE(sheet.WriteSpec1(11, ""));
    EXPECT_EQ(Row(11).Spec1, "0");

    // Typing "-5" goes through "-", which must survive until editing ends.
    EXPECT_TRUE(sheet.EditText(FieldId::Item2, 11, "-"));
    EXPECT_EQ(Row(11).Item2, "-");
    EXPECT_EQ(Row(11).Total, "-25");
    EXPECT_TRUE(sheet.EditText(FieldId::Item2, 11, "-5"));
    EXPECT_EQ(Row(11).Total, "-30");
    EXPECT_TRUE(sheet.EditFinished(FieldId::Item2, 11));
    EXPECT_EQ(Row(11).Item2, "-5");
    EXPECT_TRUE(sheet.EditText(FieldId::Item2, 11, ""));
    EXPECT_EQ(Row(11).Total, "-25");
    EXPECT_TRUE(sheet.EditFinished(FieldId::Item2, 11));
    EXPECT_EQ(Row(11).Item2, "0");

    EXPECT_TRUE(sheet.EditText(FieldId::Level, 0, ""));
    EXPECT_EQ(sheet.Record().Level, "");
    EXPECT_TRUE(sheet.EditFinished(FieldId::Level, 0));
    EXPECT_EQ(sheet.Record().Level, "0");

    EXPECT_FALSE(sheet.EditText(FieldId::Spec2, 3, "0").Ok()); // armour penalties are fixed
    EXPECT_FALSE(sheet.EditText(FieldId::Spec2, 23, "0").Ok());
    EXPECT_FALSE(sheet.Write(FieldId::SkillTotal, 3, "9").Ok());
    EXPECT_FALSE(sheet.WriteSecondaryName(23, "x").Ok());
    EXPECT_FALSE(sheet.WriteItem1(36, "1").Ok());
}

TEST_F(SheetTest, ChangingAStatUpdatesOnlyItsRows)
{
    std::array<std::string, kSkillCount> before;
    for (int row = 0; row < kSkillCount; ++row)
        before[row] = Row(row).Total;
    EXPECT_TRUE(sheet.WriteStatValue(2, "95").Ok()); // CO: Body Dev, Poison RR, Disease RR
    for (int row = 0; row < kSkillCount; ++row) {
        const bool keyed = row == 23 || row == 34 || row == 35;
        EXPECT_EQ(Row(row).Total != before[row], keyed) << row;
    }
}

TEST_F(SheetTest, SelectionByNameAndTheInventory)
{
    EXPECT_TRUE(sheet.SelectRaceByName("Fenfolk"));
    EXPECT_EQ(sheet.RaceName(), "Fenfolk");
    EXPECT_FALSE(sheet.SelectRaceByName("fenfolk"));
    EXPECT_EQ(sheet.Record().RaceIndex, 2);
    EXPECT_TRUE(sheet.SelectProfessionByName(""));
    EXPECT_EQ(sheet.ProfessionName(), "");

    EXPECT_TRUE(sheet.WriteMoney(0, "48"));
    EXPECT_TRUE(sheet.WriteMoney(1, "52"));
    EXPECT_EQ(sheet.Record().MoneyWeight, "1.6");
    ClearForm(sheet);
    EXPECT_EQ(sheet.Record().MoneyWeight, "0");
    EXPECT_EQ(sheet.Record().Inventory, "");
    EXPECT_EQ(sheet.Record().Background, "");
}

} // namespace
} // namespace keld::test
