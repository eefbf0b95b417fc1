// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/ReportValues.h"

#include "TestCharacter.h"
#include "TestImages.h"
#include "common/TextFile.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace keld::test {

std::unique_ptr<TestCharacter> MakeCharacter(const std::string& picturePath)
{
    auto c = std::make_unique<TestCharacter>();
    EXPECT_TRUE(LoadRulesTables(std::filesystem::path(KELD_SOURCE_DIR) / "data", c->tables).Ok());
    c->sheet = std::make_unique<SheetModel>();
    SheetModel& s = *c->sheet;
    s.ClearCharacter();
    s.FillLists(&c->tables);
    EXPECT_TRUE(s.WriteName("Mirela Dunkeld"));
    EXPECT_TRUE(s.WriteGeneral(GeneralField::Height, "5'8\""));
    EXPECT_TRUE(s.WriteGeneral(GeneralField::Weight, "130 lb"));
    EXPECT_TRUE(s.WriteGeneral(GeneralField::HairColor, "Auburn"));
    EXPECT_TRUE(s.WriteGeneral(GeneralField::EyeColor, "Grey"));
    EXPECT_TRUE(s.WriteGeneral(GeneralField::Demeanor, "Wary"));
    EXPECT_TRUE(s.WriteGeneral(GeneralField::Special, "Sees in twilight"));
    EXPECT_TRUE(s.SelectRace(1));
    EXPECT_TRUE(s.SelectProfession(1));
    EXPECT_TRUE(s.WriteExperience("12000"));
    static const char* kStats[] = {"91", "77", "64", "55", "98", "83", "70"};
    for (int i = 0; i < kStatCount; ++i)
        EXPECT_TRUE(s.WriteStatValue(i, kStats[i]).Ok());
    for (int row = kFirstSecondaryRow; row <= kLastSecondaryRow; ++row)
        EXPECT_TRUE(s.WriteSecondaryName(row, "Lore " + std::to_string(row)).Ok());
    EXPECT_TRUE(s.WriteSkillRank(5, "3"));
    EXPECT_TRUE(s.WriteItem1(5, "10"));
    EXPECT_TRUE(s.WriteSpec2(21, "7"));
    static const char* kMoney[] = {"12", "3", "45", "6", "7890"};
    for (int i = 0; i < kMoneyCount; ++i)
        EXPECT_TRUE(s.WriteMoney(i, kMoney[i]).Ok());
    EXPECT_TRUE(s.WriteNote(NoteKind::Background, "Raised by river traders."));
    EXPECT_TRUE(s.WriteNote(NoteKind::Inventory, "Rope\r\nLantern"));
    EXPECT_TRUE(s.WriteNote(NoteKind::Miscellaneous, "Owes a favour."));
    EXPECT_TRUE(s.WriteNote(NoteKind::Journal, "Day one.\r\nDay two."));
    if (!picturePath.empty()) {
        EXPECT_TRUE(s.WritePictureFile(picturePath).Ok());
    }
    return c;
}

} // namespace keld::test

namespace keld {
namespace {

TEST(ReportValues, EveryPlaceholderInFillOrder)
{
    auto c = test::MakeCharacter();
    auto values = ReportValues(*c->sheet);
    ASSERT_EQ(values.size(), 10u + 4 * 7 + 1 + 5 + 8 * 36 + 5 + 4 + 1);
    EXPECT_EQ(values.front().placeholder, "[RACE]");
    EXPECT_EQ(values[3].placeholder, "[HAIR/EYES]");
    EXPECT_EQ(values[3].value, "Auburn Grey");
    EXPECT_EQ(values[2].value, "5'8\" 130 lb");
    EXPECT_EQ(values.back().placeholder, "[PICTURE]");

    const CharacterRecord& r = c->sheet->Record();
    auto value = [&values](const std::string& placeholder) {
        for (const auto& v : values) {
            if (v.placeholder == placeholder)
                return v.value;
        }
        return std::string("(none)");
    };
    EXPECT_EQ(value("[REALM]"), "Essence");
    EXPECT_EQ(value("[RACE]"), c->sheet->RaceName());
    EXPECT_EQ(value("[VA4]"), "98");
    EXPECT_EQ(value("[TO4]"), r.Stats[4].Total);
    EXPECT_EQ(value("[ST15]"), "   " + r.Skills[15].Stat); // no stat code: two blanks and one
    EXPECT_EQ(value("[ST5]"), "ST " + r.Skills[5].Stat);
    EXPECT_EQ(value("[ITA5]"), "10");
    EXPECT_EQ(value("[SPB21]"), "7");
    EXPECT_EQ(value("[SECONDARY24]"), "Lore 24");
    EXPECT_EQ(value("[TP]"), "7890");
    EXPECT_EQ(value("[JOURNAL]"), r.Journal);
    for (const char* absent : {"[SECONDARY23]", "[SECONDARY29]", "[VA7]", "[RA36]", "[YOUTH]"})
        EXPECT_EQ(value(absent), "(none)") << absent;

    EXPECT_TRUE(c->sheet->SetRealm(MagicRealm::Channeling));
    EXPECT_EQ(ReportValues(*c->sheet)[6].value, "Channeling");
}

TEST(ReportValues, TheDefaultTemplatesUseEveryPlaceholder)
{
    std::string picture = test::WriteTempFile("character.png", test::MakePng(40, 50));
    auto c = test::MakeCharacter(picture);
    for (const char* name : {"detchar.rtf", "subchar.rtf"}) {
        RtfDocument doc;
        ASSERT_TRUE(doc.LoadFile(std::filesystem::path(KELD_SOURCE_DIR) / "data" / name).Ok());
        std::size_t placeholders = 0;
        for (const auto& v : ReportValues(*c->sheet))
            placeholders += doc.Find(std::string_view(v.placeholder)) != RtfDocument::npos;
        FillData(doc, *c->sheet);
        // Nothing bracketed is left, so every placeholder found its value.
        EXPECT_EQ(doc.TextUtf8().find('['), std::string::npos) << name;
        EXPECT_NE(doc.Find(std::string_view("Mirela Dunkeld")), RtfDocument::npos);
        if (std::string_view(name) == "detchar.rtf") {
            EXPECT_EQ(placeholders, ReportValues(*c->sheet).size());
            EXPECT_NE(doc.SaveBytes().find("\\pngblip"), std::string::npos);
        } else {
            EXPECT_GE(placeholders, 4u + 14 + 1 + 36 + 5);
        }
    }
}

} // namespace
} // namespace keld
