// SPDX-License-Identifier: GPL-3.0-or-later
#include "character/CharacterRecord.h"

#include <utility>

namespace keld {
namespace {

constexpr std::array<std::string_view, kStatCount> kStatCodes{"ST", "AG", "CO", "IG", "IT", "PR", "AP"};

constexpr std::array<std::string_view, kSkillCount> kCaptions{"No Armor:",
                                                              "Soft Leather",
                                                              "Rigid",
                                                              "Chain",
                                                              "Plate",
                                                              "1-H Edged",
                                                              "1-H Concus",
                                                              "2-Hand",
                                                              "Thrown",
                                                              "Missile",
                                                              "Pole Arms",
                                                              "Climb",
                                                              "Ride",
                                                              "Swim",
                                                              "Track",
                                                              "Ambush",
                                                              "Stalk/Hide",
                                                              "Pick Lock",
                                                              "Disarm Trap",
                                                              "Read Runes",
                                                              "Use Items",
                                                              "Directed Spells",
                                                              "Perception",
                                                              "Body Dev",
                                                              "",
                                                              "",
                                                              "",
                                                              "",
                                                              "",
                                                              "Base Spells",
                                                              "Leadership",
                                                              "Defensive Bonus",
                                                              "Essence RR",
                                                              "Channeling RR",
                                                              "Poison RR",
                                                              "Disease RR"};

constexpr std::array<std::string_view, kSkillCount> kStartCodes{
    "AG", "AG", "AG", "ST", "ST", "ST", "ST", "ST", "AG", "AG", "ST", "AG",
    "IT", "AG", "IG", "  ", "PR", "IG", "IT", "IG", "IT", "AG", "IT", "CO",
    "  ", "  ", "  ", "  ", "  ", "  ", "PR", "AG", "IG", "IT", "CO", "CO"};

constexpr std::array<std::string_view, kArmorRowCount> kArmorPenalties{"0", "-15", "-30", "-45", "-60"};

constexpr std::array<std::string_view, 5> kBodyArmor{"None", "Soft Leather", "Rigid Leather", "Chain",
                                                     "Plate"};

constexpr std::array<std::string_view, 40> kSpellLists{"Physical Enhancement",
                                                       "Essence Hand",
                                                       "Illusions",
                                                       "Unbarring Ways",
                                                       "Spell Ways",
                                                       "Essence's Ways",
                                                       "Spirit Mastery",
                                                       "Essence Perceptions",
                                                       "Earth Law",
                                                       "Ice Law",
                                                       "Light Law",
                                                       "Fire Law",
                                                       "Lofty Bridge",
                                                       "Water Law",
                                                       "Living Change",
                                                       "Wind Law",
                                                       "Controlling Songs",
                                                       "Item Lore",
                                                       "Lore",
                                                       "Sound Control",
                                                       "Path Mastery",
                                                       "Moving Ways",
                                                       "Nature's Guises",
                                                       "Nature's Ways",
                                                       "Detection Mastery",
                                                       "Sound/Light Ways",
                                                       "Calm Spirits",
                                                       "Surface Ways",
                                                       "Protections",
                                                       "Spell Defense",
                                                       "Nature's Movement",
                                                       "Nature's Lore",
                                                       "Plant Mastery",
                                                       "Direct Channeling",
                                                       "Animal Mastery",
                                                       "Bone/Muscle Ways",
                                                       "Blood Ways",
                                                       "Organ Ways",
                                                       "Purifications",
                                                       "Creations"};

// The tongues of the KELD world, made up for this program.
constexpr std::array<std::string_view, 21> kLanguages{
    "Ashvenic",      "Brennish", "Caldori", "Dunmarrow Cant", "Eskeli",   "Felvarin", "Gorrath",
    "Hollow Speech", "Istrani",  "Jadeshi", "Kethran",        "Lumeric",  "Marrenic", "Nuvelli",
    "Old Keldish",   "Pellan",   "Quorric", "Rivertongue",    "Sylvanne", "Tarnic",   "Vossic"};

bool ValidRow(int row)
{
    return row >= 0 && row < kSkillCount;
}

} // namespace

CharacterRecord::CharacterRecord()
{
    for (int row = 0; row < kSkillCount; ++row)
        Skills[row].StatCode = kStartCodes[row];
    for (int row = 0; row < kArmorRowCount; ++row)
        Skills[row].Spec2 = kArmorPenalties[row];
    // The empty layout shows 5 here; ClearCharacter resets it to 0 at start-up.
    Skills[23].Spec2 = "5";
}

const std::string& CharacterRecord::General(GeneralField field) const
{
    switch (field) {
    case GeneralField::Name:
        return Name;
    case GeneralField::Height:
        return Height;
    case GeneralField::Weight:
        return Weight;
    case GeneralField::HairColor:
        return HairColor;
    case GeneralField::EyeColor:
        return EyeColor;
    case GeneralField::Demeanor:
        return Demeanor;
    case GeneralField::Special:
        break;
    }
    return Special;
}

std::string& CharacterRecord::General(GeneralField field)
{
    return const_cast<std::string&>(std::as_const(*this).General(field));
}

const CheckState& CharacterRecord::Piece(ArmorPiece piece) const
{
    switch (piece) {
    case ArmorPiece::Helm:
        return Helm;
    case ArmorPiece::Shield:
        return Shield;
    case ArmorPiece::ArmGreaves:
        return ArmGreaves;
    case ArmorPiece::LegGreaves:
        break;
    }
    return LegGreaves;
}

CheckState& CharacterRecord::Piece(ArmorPiece piece)
{
    return const_cast<CheckState&>(std::as_const(*this).Piece(piece));
}

const std::string& CharacterRecord::Note(NoteKind note) const
{
    switch (note) {
    case NoteKind::Background:
        return Background;
    case NoteKind::Inventory:
        return Inventory;
    case NoteKind::Journal:
        return Journal;
    case NoteKind::Miscellaneous:
        break;
    }
    return Miscellaneous;
}

std::string& CharacterRecord::Note(NoteKind note)
{
    return const_cast<std::string&>(std::as_const(*this).Note(note));
}

const std::string& CharacterRecord::Bonus(int row, BonusBox box) const
{
    const SkillRow& skill = Skills.at(static_cast<std::size_t>(row));
    switch (box) {
    case BonusBox::Item1:
        return skill.Item1;
    case BonusBox::Item2:
        return skill.Item2;
    case BonusBox::Spec1:
        return skill.Spec1;
    case BonusBox::Spec2:
        break;
    }
    return skill.Spec2;
}

std::string& CharacterRecord::Bonus(int row, BonusBox box)
{
    return const_cast<std::string&>(std::as_const(*this).Bonus(row, box));
}

std::string_view StatCode(int stat)
{
    return stat >= 0 && stat < kStatCount ? kStatCodes[stat] : std::string_view{};
}

int StatIndexForCode(std::string_view code)
{
    for (int stat = 0; stat < kStatCount; ++stat)
        if (kStatCodes[stat] == code)
            return stat;
    return -1;
}

std::string_view StatChipCaption(int chip)
{
    if (chip == kStatCount - 1)
        return "  ";
    return chip >= 0 && chip < kStatCount - 1 ? kStatCodes[chip] : std::string_view{};
}

std::string_view SkillCaption(int row)
{
    return ValidRow(row) ? kCaptions[row] : std::string_view{};
}

std::string_view StartStatCode(int row)
{
    return ValidRow(row) ? kStartCodes[row] : std::string_view{};
}

int Ranks5Max(int row)
{
    static constexpr std::array<int, kArmorRowCount> kArmorMax{10, 15, 25, 35, 45};
    if (row >= 0 && row < kArmorRowCount)
        return kArmorMax[row];
    return row >= kArmorRowCount && row < kBarRowCount ? 50 : 0;
}

double BarWidthTwips(RankBar bar, int row)
{
    static constexpr std::array<double, kArmorRowCount> kArmorWidths{495, 975, 1335, 1575, 1695};
    if (row < 0 || row >= kBarRowCount)
        return 0;
    const bool secondary = row >= kFirstSecondaryRow;
    if (bar == RankBar::Two)
        return secondary ? 615 : 735;
    if (row < kArmorRowCount)
        return kArmorWidths[row];
    return secondary ? 1455 : 1815;
}

std::string_view ArmorRowPenalty(int row)
{
    return row >= 0 && row < kArmorRowCount ? kArmorPenalties[row] : std::string_view{};
}

const std::array<std::string_view, 5>& BodyArmorEntries()
{
    return kBodyArmor;
}

const std::array<std::string_view, 40>& SpellListNames()
{
    return kSpellLists;
}

const std::array<std::string_view, 21>& LanguageNames()
{
    return kLanguages;
}

} // namespace keld
