// SPDX-License-Identifier: GPL-3.0-or-later
#include "character/SheetModel.h"

#include "character/CharacterRules.h"
#include "character/SheetModelShared.h"
#include "common/NumericValue.h"
#include "inventory/MoneyWeight.h"

// The sheet's rules: the lists from the tables, New, stats, race and profession bonuses, level,
// experience and power points, armour pieces, languages and money.

namespace keld {

using sheet_model::InRange;
using sheet_model::InvalidArgument;

namespace {

constexpr int kStatAP = 6;
constexpr int kStatPR = 5;
constexpr int kStatIG = 3;
constexpr int kStatIT = 4;
constexpr int kFirstResistanceRow = 32;

// Rows an armour piece puts its modifier into, and the modifier.
struct PieceRule {
    int firstRow;
    int lastRow;
    std::string_view modifier;
};

PieceRule RuleOf(ArmorPiece piece)
{
    switch (piece) {
    case ArmorPiece::Helm:
        return {22, 22, "-5"};
    case ArmorPiece::Shield:
        return {31, 31, "25"};
    case ArmorPiece::ArmGreaves:
        return {5, 10, "-5"};
    case ArmorPiece::LegGreaves:
        break;
    }
    return {0, 4, "-5"};
}

// Profession columns (1-based) applied to groups of rows, in the order the rules walk them.
struct ProfGroup {
    int firstRow;
    int lastRow;
    int column;
};
constexpr std::array<ProfGroup, 10> kProfGroups{{{5, 10, 3},
                                                 {11, 14, 1},
                                                 {15, 15, 10},
                                                 {16, 18, 4},
                                                 {19, 19, 6},
                                                 {20, 20, 7},
                                                 {21, 21, 9},
                                                 {22, 22, 5},
                                                 {23, 23, 2},
                                                 {29, 29, 8}}};

template <typename Entry> std::vector<std::string> NamesOf(const std::vector<Entry>& entries)
{
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (const Entry& entry : entries)
        names.push_back(entry.Name);
    return names;
}

} // namespace

void SheetModel::FillList(FieldId listId, FieldId selectionId, std::vector<std::string> names)
{
    std::vector<std::string>& list = listId == FieldId::RaceList    ? m_raceList
                                     : listId == FieldId::YouthList ? m_youthList
                                                                    : m_professionList;
    list = std::move(names);
    Notify(listId, 0);
    // New entries mean no selection until entry 0 is chosen, which then runs its rules.
    int& selected = Selection(selectionId);
    if (selected != -1) {
        selected = -1;
        Notify(selectionId, 0);
    }
    (void)Select(selectionId, 0); // refused only for an empty list, which then shows no entry
}

void SheetModel::FillRaceList()
{
    FillList(FieldId::RaceList, FieldId::RaceIndex,
             m_tables ? NamesOf(m_tables->Races) : std::vector<std::string>{});
}

void SheetModel::FillProfessionList()
{
    FillList(FieldId::ProfessionList, FieldId::ProfessionIndex,
             m_tables ? NamesOf(m_tables->Professions) : std::vector<std::string>{});
}

void SheetModel::FillYouthList()
{
    FillList(FieldId::YouthList, FieldId::YouthIndex,
             m_tables ? NamesOf(m_tables->Youth) : std::vector<std::string>{});
}

void SheetModel::FillLists(const RulesTables* tables)
{
    SetTables(tables);
    FillRaceList();
    FillProfessionList();
    FillYouthList();
}

void SheetModel::ClearCharacter()
{
    for (int row = 0; row < kBarRowCount; ++row) {
        Assign(FieldId::Rank, row, "-25");
        Assign(FieldId::Item1, row, "0");
        Assign(FieldId::Item2, row, "0");
        Assign(FieldId::Spec1, row, "0");
        if (row >= kArmorRowCount)
            Assign(FieldId::Spec2, row, "0");
    }
    for (int row = kLastSecondaryRow; row < kSkillCount; ++row) {
        Assign(FieldId::Item1, row, "0");
        Assign(FieldId::Item2, row, "0");
        Assign(FieldId::Spec1, row, "0");
        Assign(FieldId::Spec2, row, "0");
    }
    for (int row = kFirstSecondaryRow; row <= kLastSecondaryRow; ++row) {
        Assign(FieldId::SecondaryName, row, "");
        Assign(FieldId::StatCode, row, "");
    }
    for (int row = 0; row < kBarRowCount; ++row)
        SetBarValue(RankBar::Five, row, 0);
    for (int row = 0; row < kBarRowCount; ++row)
        SetBarValue(RankBar::Two, row, 0);
    for (int i = 0; i < kGeneralCount; ++i)
        Assign(FieldId::General, i, "");
    for (int i = 0; i < kLanguageCount; ++i) {
        Assign(FieldId::LanguageName, i, "");
        Assign(FieldId::LanguageRank, i, "0");
    }
    for (int i = 0; i < kSpellListCount; ++i) {
        Assign(FieldId::SpellName, i, "");
        Assign(FieldId::SpellPercent, i, "0");
    }
    for (int i = 0; i < kStatCount; ++i) {
        Assign(FieldId::StatValue, i, "0");
        Assign(FieldId::StatNorm, i, "0");
        Assign(FieldId::StatTotal, i, "0");
    }
    Assign(FieldId::ArmorType, 0, BodyArmorEntries()[0]);
    // Before the tables are loaded the lists are empty and these are refused; New goes on.
    (void)SelectRace(0);
    (void)SelectYouth(0);
    (void)SelectProfession(0);
    Assign(FieldId::Level, 0, "0");
    Assign(FieldId::Experience, 0, "0");
    // Clearing a piece and a spinner at 0 are always valid.
    (void)SetArmorPiece(ArmorPiece::ArmGreaves, CheckState::Clear);
    (void)SetArmorPiece(ArmorPiece::Helm, CheckState::Clear);
    (void)SetArmorPiece(ArmorPiece::LegGreaves, CheckState::Clear);
    (void)SetArmorPiece(ArmorPiece::Shield, CheckState::Clear);
    (void)SetLevelSpin(0);
    for (int i = 0; i < kMoneyCount; ++i)
        Assign(FieldId::Money, i, "0");
    Assign(FieldId::Note, static_cast<int>(NoteKind::Background), "Background -");
    Assign(FieldId::Note, static_cast<int>(NoteKind::Inventory), "Inventory - ");
    Assign(FieldId::Note, static_cast<int>(NoteKind::Journal), "Journal -");
    Assign(FieldId::Note, static_cast<int>(NoteKind::Miscellaneous), "Misc -");
    m_pictureFolder.clear();
    Assign(FieldId::PictureFile, 0, "");
}

std::string SheetModel::StatNormBonus(double value) const
{
    return keld::StatNormBonus(value, m_over102);
}

void SheetModel::SetStatValue(int stat)
{
    if (!InRange(stat, 0, kStatCount - 1))
        return;
    Assign(FieldId::StatNorm, stat, StatNormBonus(NumericValue(m_record.Stats[stat].Value)));
    CalcStatTotal(stat);
    // Appearance is its value plus the Presence total, re-formed after any stat value changes.
    const double appearance =
        NumericValue(m_record.Stats[kStatAP].Value) + NumericValue(m_record.Stats[kStatPR].Total);
    Assign(FieldId::StatTotal, kStatAP, NumberText(appearance));
    CalcPowerPoints();
    ProcessEvents();
}

void SheetModel::CalcStatTotal(int stat)
{
    if (!InRange(stat, 0, kStatCount - 1))
        return;
    const StatEntry& entry = m_record.Stats[stat];
    // A changed total pushes itself to the skill rows (its own rule); an unchanged one is already
    // there, since no other path writes a row's stat bonus.
    Assign(FieldId::StatTotal, stat, NumberText(NumericValue(entry.Norm) + NumericValue(entry.Race)));
}

void SheetModel::PushStatBonus(int stat)
{
    if (!InRange(stat, 0, kStatCount - 1))
        return;
    const std::string_view code = StatCode(stat);
    const std::string total = m_record.Stats[stat].Total;
    for (int row = 0; row < kSkillCount; ++row)
        if (m_record.Skills[row].StatCode == code)
            Assign(FieldId::SkillStat, row, total);
}

Status SheetModel::SetSkillStatCode(int row, std::string_view code)
{
    return Write(FieldId::StatCode, row, code);
}

void SheetModel::LookUpSkillStat(int row)
{
    const int stat = StatIndexForCode(m_record.Skills[row].StatCode);
    const std::string bonus = stat >= 0 ? m_record.Stats[stat].Total : std::string("0");
    Assign(FieldId::SkillStat, row, bonus);
}

Status SheetModel::DropOnStat(int stat, std::string_view caption)
{
    // A percentile roll of 00 means 100.
    const std::string value = caption == "00" ? std::string("100") : NumberText(NumericValue(caption));
    return WriteStatValue(stat, value);
}

void SheetModel::PopRaceBonuses(int index)
{
    if (!m_tables || !InRange(index, 0, static_cast<int>(m_tables->Races.size()) - 1))
        return;
    const auto values = m_tables->Races[index].Values;
    for (int stat = 0; stat < 6; ++stat)
        Assign(FieldId::StatRace, stat, std::to_string(values[stat]));
    for (int k = 0; k < 4; ++k)
        Assign(FieldId::Spec2, kFirstResistanceRow + k, std::to_string(values[6 + k]));
}

void SheetModel::CalcProfBonuses(int index)
{
    if (!m_tables || !InRange(index, 0, static_cast<int>(m_tables->Professions.size()) - 1))
        return;
    const auto values = m_tables->Professions[index].Values;
    const double level = NumericValue(m_record.Level);
    for (const ProfGroup& group : kProfGroups)
        for (int row = group.firstRow; row <= group.lastRow; ++row)
            Assign(FieldId::SkillProf, row, NumberText(values[group.column - 1] * level));
}

std::optional<int> SheetModel::LevelForExp(double experience)
{
    return keld::LevelForExp(experience);
}

std::optional<std::string> SheetModel::ExpForLevel(double level)
{
    return keld::ExpForLevel(level);
}

void SheetModel::CalcPowerPoints()
{
    const int stat = m_record.Realm == MagicRealm::Essence ? kStatIG : kStatIT;
    const double realmStat = NumericValue(m_record.Stats[stat].Value);
    const double level = NumericValue(m_record.Level);
    const std::optional<int> multiplier = PowerPointMultiplier(realmStat);
    Assign(FieldId::PowerPoints, 0, multiplier ? NumberText(*multiplier * level) : std::string("00"));
}

void SheetModel::LevelChanged(WriteMode mode)
{
    // A level that is not a number becomes "0", which runs this rule again before going on.
    if (mode == WriteMode::Rules && !IsWholeNumber(m_record.Level))
        Assign(FieldId::Level, 0, "0");
    CalcProfBonuses(m_record.ProfessionIndex);
    CalcPowerPoints();
}

void SheetModel::ExperienceChanged()
{
    if (const std::optional<int> level = LevelForExp(NumericValue(m_record.Experience)))
        Assign(FieldId::Level, 0, NumberText(*level));
}

void SheetModel::LevelSpinChanged()
{
    Assign(FieldId::Level, 0, NumberText(m_levelSpin));
    if (const std::optional<std::string> experience = ExpForLevel(NumericValue(m_record.Level)))
        Assign(FieldId::Experience, 0, *experience);
}

void SheetModel::ApplyArmorPiece(ArmorPiece piece)
{
    const bool worn = m_record.Piece(piece) != CheckState::Clear;
    const PieceRule rule = RuleOf(piece);
    const std::string_view modifier = worn ? rule.modifier : std::string_view("0");
    for (int row = rule.firstRow; row <= rule.lastRow; ++row) {
        Assign(FieldId::Item1, row, modifier);
        SetItem1Lock(row, worn);
    }
}

void SheetModel::SetItem1Lock(int row, bool locked)
{
    if (m_item1Locked[row] == locked)
        return;
    m_item1Locked[row] = locked;
    Notify(FieldId::Item1Locked, row);
}

Status SheetModel::lblLanguage_Click(int slot)
{
    if (!InRange(slot, 0, kLanguageCount - 1))
        return InvalidArgument("no such language slot");
    Assign(FieldId::LanguageRank, slot, NextLanguageRank(m_record.Languages[slot].Rank));
    return Success();
}

void SheetModel::MoneyChanged()
{
    Assign(FieldId::MoneyWeight, 0, CalcWeightMoney(m_record.Money));
}

} // namespace keld
