// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "inventory/InventoryFields.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace keld {

inline constexpr int kStatCount = 7;
inline constexpr int kSkillCount = 36;
inline constexpr int kBarRowCount = 29; // rows 0..28 carry rank bars
inline constexpr int kArmorRowCount = 5;
inline constexpr int kFirstSecondaryRow = 24;
inline constexpr int kLastSecondaryRow = 28;
inline constexpr int kLanguageCount = 8;
inline constexpr int kSpellListCount = 8;
inline constexpr int kGeneralCount = 7;
inline constexpr int kArmorPieceCount = 4;
inline constexpr int kRanks2Max = 10;
inline constexpr int kLevelSpinMax = 100;

// Indices of the seven free-text boxes of the sheet's upper left.
enum class GeneralField : int { Name = 0, Height, Weight, HairColor, EyeColor, Demeanor, Special };

enum class MagicRealm : std::uint8_t { Essence = 0, Channeling = 1 };

// A check box's state; the greyed state only comes from a loaded file and counts as checked.
enum class CheckState : std::uint8_t { Clear = 0, Checked = 1, Greyed = 2 };

enum class ArmorPiece : int { Helm = 0, Shield = 1, ArmGreaves = 2, LegGreaves = 3 };

// The four hand-entered bonus boxes of a skill row.
enum class BonusBox : int { Item1 = 0, Item2 = 1, Spec1 = 2, Spec2 = 3 };

// The two rank bars of rows 0..28.
enum class RankBar : int { Five = 0, Two = 1 }; // barSkill5, barSkill2

struct StatEntry {
    std::string Value = "0";
    std::string Norm = "00";
    std::string Race = "00";
    std::string Total = "00";
};

struct SkillRow {
    std::string SecondaryName; // rows 24..28 only
    std::string StatCode;
    float Ranks5 = 0; // bar values, single precision like the bars they stand for
    float Ranks2 = 0;
    std::string Rank = "00";
    std::string Stat = "00";
    std::string Prof = "00";
    std::string Item1 = "0";
    std::string Item2 = "0";
    std::string Spec1 = "0";
    std::string Spec2 = "0";
    std::string Total = "0";
};

struct LanguageEntry {
    std::string Name;
    std::string Rank = "0";
};

struct SpellListEntry {
    std::string Name;
    std::string Percent = "0";
};

// The one open character, every field held as the text the sheet shows. A default-constructed
// record is the sheet as laid out before ClearCharacter first runs (see SheetModel).
struct CharacterRecord {
    CharacterRecord();

    std::string Name;
    std::string Height;
    std::string Weight;
    std::string HairColor;
    std::string EyeColor;
    std::string Demeanor;
    std::string Special;
    // Table indices; -1 while the lists are still empty (before the tables are loaded).
    int RaceIndex = -1;
    int YouthIndex = -1;
    int ProfessionIndex = -1;
    std::string Level = "0";
    std::string Experience = "0";
    MagicRealm Realm = MagicRealm::Essence;
    std::string PowerPoints = "00";
    std::array<StatEntry, kStatCount> Stats;
    std::array<SkillRow, kSkillCount> Skills;
    std::string ArmorType = "None";
    CheckState Helm = CheckState::Clear;
    CheckState Shield = CheckState::Clear;
    CheckState ArmGreaves = CheckState::Clear;
    CheckState LegGreaves = CheckState::Clear;
    std::array<LanguageEntry, kLanguageCount> Languages;
    std::array<SpellListEntry, kSpellListCount> SpellLists;
    std::array<std::string, kMoneyCount> Money{"0", "0", "0", "0", "0"};
    std::string MoneyWeight = "0";
    std::string Background;
    std::string Inventory;
    std::string Journal;
    std::string Miscellaneous;
    std::string sPictureFile;

    // Field by index, for callers that walk the arrays of the sheet.
    const std::string& General(GeneralField field) const;
    std::string& General(GeneralField field);
    const CheckState& Piece(ArmorPiece piece) const;
    CheckState& Piece(ArmorPiece piece);
    const std::string& Note(NoteKind note) const;
    std::string& Note(NoteKind note);
    const std::string& Bonus(int row, BonusBox box) const;
    std::string& Bonus(int row, BonusBox box);
};

// Stat abbreviations ST, AG, CO, IG, IT, PR, AP (index 0..6): the stat codes of skill rows.
std::string_view StatCode(int stat);
// The stat whose abbreviation equals code exactly, or -1.
int StatIndexForCode(std::string_view code);
// Captions of the draggable stat chips: the first six codes, then two blanks (no stat).
std::string_view StatChipCaption(int chip);

// Fixed caption of a skill row; "" for the secondary rows 24..28 (their name is the record's).
std::string_view SkillCaption(int row);
// The stat code a row has in the empty layout; two blanks for "no stat". The secondary rows 24..28
// start blank too: New empties their code, and that change looks up their stat bonus ("0").
std::string_view StartStatCode(int row);
// Upper bound of Ranks5 (0 for rows 29..35, which have no bars).
int Ranks5Max(int row);
// Length of each bar in the sheet's layout, in twips (0 where a row has no such bar).
double BarWidthTwips(RankBar bar, int row);
// The manoeuvre penalty that the armour rows' second special box starts with.
std::string_view ArmorRowPenalty(int row);

// The five entries of the body-armour list, "None" first.
const std::array<std::string_view, 5>& BodyArmorEntries();
// The 40 spell-list names every spell box offers, in the sheet's order.
const std::array<std::string_view, 40>& SpellListNames();
// The 21 language names every language box offers, alphabetical.
const std::array<std::string_view, 21>& LanguageNames();

} // namespace keld
