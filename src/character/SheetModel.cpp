// SPDX-License-Identifier: GPL-3.0-or-later
#include "character/SheetModel.h"

#include "character/CharacterRules.h"
#include "character/SheetModelShared.h"
#include "common/TextFile.h"

#include <algorithm>
#include <utility>

// The field store and its dispatch: reads, the one write path, the writes of the fields that are
// not texts, and the notices to SheetObserver. The rules live in SheetModelRules.cpp and
// SheetModelRanks.cpp.

namespace keld {

using sheet_model::InRange;
using sheet_model::InvalidArgument;

namespace {

constexpr std::string_view kTitleSuffix = "  -  KELD Character Sheet";

bool IsBonusBox(FieldId id)
{
    return id == FieldId::Item1 || id == FieldId::Item2 || id == FieldId::Spec1 || id == FieldId::Spec2;
}

BonusBox FieldBox(FieldId id)
{
    switch (id) {
    case FieldId::Item1:
        return BonusBox::Item1;
    case FieldId::Item2:
        return BonusBox::Item2;
    case FieldId::Spec1:
        return BonusBox::Spec1;
    default:
        return BonusBox::Spec2;
    }
}

// Fields that a file, New or the user may write; the others are derived or not texts.
bool IsStoredText(FieldId id)
{
    switch (id) {
    case FieldId::General:
    case FieldId::Level:
    case FieldId::Experience:
    case FieldId::StatValue:
    case FieldId::SecondaryName:
    case FieldId::StatCode:
    case FieldId::Rank:
    case FieldId::Item1:
    case FieldId::Item2:
    case FieldId::Spec1:
    case FieldId::Spec2:
    case FieldId::ArmorType:
    case FieldId::LanguageName:
    case FieldId::LanguageRank:
    case FieldId::SpellName:
    case FieldId::SpellPercent:
    case FieldId::Money:
    case FieldId::Note:
    case FieldId::PictureFile:
        return true;
    default:
        return false;
    }
}

} // namespace

FieldId BoxField(BonusBox box)
{
    switch (box) {
    case BonusBox::Item1:
        return FieldId::Item1;
    case BonusBox::Item2:
        return FieldId::Item2;
    case BonusBox::Spec1:
        return FieldId::Spec1;
    case BonusBox::Spec2:
        break;
    }
    return FieldId::Spec2;
}

SheetModel::SheetModel()
{
    m_title = std::string(kTitleSuffix);
    // The layout's totals agree with its inputs from the start, so that skipping unchanged
    // writes never leaves a stale total.
    for (int row = 0; row < kSkillCount; ++row)
        UpdateSkillTotal(row);
}

SheetModel::SheetModel(const RulesTables* tables) : SheetModel()
{
    m_tables = tables;
}

std::string SheetModel::Text(FieldId id, int index) const
{
    const std::string* slot = TextSlot(id, index);
    return slot ? *slot : std::string();
}

BarState SheetModel::Bar(RankBar bar, int row) const
{
    if (!InRange(row, 0, kBarRowCount - 1))
        return {};
    const SkillRow& skill = m_record.Skills[row];
    if (bar == RankBar::Five)
        return {skill.Ranks5, static_cast<float>(Ranks5Max(row)), true, true};
    return {skill.Ranks2, static_cast<float>(kRanks2Max), m_bar2Shown[row], m_bar2Enabled[row]};
}

bool SheetModel::Item1Locked(int row) const
{
    return InRange(row, 0, kSkillCount - 1) && m_item1Locked[row];
}

std::string SheetModel::RaceName() const
{
    const int i = m_record.RaceIndex;
    return InRange(i, 0, static_cast<int>(m_raceList.size()) - 1) ? m_raceList[i] : std::string();
}

std::string SheetModel::YouthName() const
{
    const int i = m_record.YouthIndex;
    return InRange(i, 0, static_cast<int>(m_youthList.size()) - 1) ? m_youthList[i] : std::string();
}

std::string SheetModel::ProfessionName() const
{
    const int i = m_record.ProfessionIndex;
    return InRange(i, 0, static_cast<int>(m_professionList.size()) - 1) ? m_professionList[i] : std::string();
}

void SheetModel::AddObserver(SheetObserver* observer)
{
    if (observer && std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
        m_observers.push_back(observer);
}

void SheetModel::RemoveObserver(SheetObserver* observer)
{
    std::erase(m_observers, observer);
}

void SheetModel::SetProcessEvents(std::function<void()> callback)
{
    m_processEvents = std::move(callback);
}

void SheetModel::Notify(FieldId id, int index)
{
    // By position, so an observer may add or remove observers while being told.
    for (std::size_t i = 0; i < m_observers.size(); ++i)
        m_observers[i]->FieldChanged(id, index);
}

void SheetModel::ProcessEvents()
{
    if (m_processEvents)
        m_processEvents();
}

bool SheetModel::ValidIndex(FieldId id, int index) const
{
    switch (id) {
    case FieldId::General:
        return InRange(index, 0, kGeneralCount - 1);
    case FieldId::StatValue:
    case FieldId::StatNorm:
    case FieldId::StatRace:
    case FieldId::StatTotal:
        return InRange(index, 0, kStatCount - 1);
    case FieldId::SecondaryName:
    case FieldId::StatCode:
    case FieldId::Rank:
    case FieldId::SkillStat:
    case FieldId::SkillProf:
    case FieldId::Item1:
    case FieldId::Item1Locked:
    case FieldId::Item2:
    case FieldId::Spec1:
    case FieldId::Spec2:
    case FieldId::SkillTotal:
        return InRange(index, 0, kSkillCount - 1);
    case FieldId::Ranks5:
    case FieldId::Ranks2:
    case FieldId::Bar2Shown:
    case FieldId::Bar2Enabled:
        return InRange(index, 0, kBarRowCount - 1);
    case FieldId::ArmorPiece:
        return InRange(index, 0, kArmorPieceCount - 1);
    case FieldId::LanguageName:
    case FieldId::LanguageRank:
        return InRange(index, 0, kLanguageCount - 1);
    case FieldId::SpellName:
    case FieldId::SpellPercent:
        return InRange(index, 0, kSpellListCount - 1);
    case FieldId::Money:
        return InRange(index, 0, kMoneyCount - 1);
    case FieldId::Note:
        return InRange(index, 0, kNoteCount - 1);
    default:
        return index == 0;
    }
}

std::string* SheetModel::TextSlot(FieldId id, int index)
{
    // The slot is this model's own, reached here without const.
    return const_cast<std::string*>(std::as_const(*this).TextSlot(id, index));
}

const std::string* SheetModel::TextSlot(FieldId id, int index) const
{
    if (!ValidIndex(id, index))
        return nullptr;
    const CharacterRecord& r = m_record;
    switch (id) {
    case FieldId::General:
        return &r.General(static_cast<GeneralField>(index));
    case FieldId::Level:
        return &r.Level;
    case FieldId::Experience:
        return &r.Experience;
    case FieldId::PowerPoints:
        return &r.PowerPoints;
    case FieldId::Title:
        return &m_title;
    case FieldId::StatValue:
        return &r.Stats[index].Value;
    case FieldId::StatNorm:
        return &r.Stats[index].Norm;
    case FieldId::StatRace:
        return &r.Stats[index].Race;
    case FieldId::StatTotal:
        return &r.Stats[index].Total;
    case FieldId::SecondaryName:
        return &r.Skills[index].SecondaryName;
    case FieldId::StatCode:
        return &r.Skills[index].StatCode;
    case FieldId::Rank:
        return &r.Skills[index].Rank;
    case FieldId::SkillStat:
        return &r.Skills[index].Stat;
    case FieldId::SkillProf:
        return &r.Skills[index].Prof;
    case FieldId::Item1:
        return &r.Skills[index].Item1;
    case FieldId::Item2:
        return &r.Skills[index].Item2;
    case FieldId::Spec1:
        return &r.Skills[index].Spec1;
    case FieldId::Spec2:
        return &r.Skills[index].Spec2;
    case FieldId::SkillTotal:
        return &r.Skills[index].Total;
    case FieldId::ArmorType:
        return &r.ArmorType;
    case FieldId::LanguageName:
        return &r.Languages[index].Name;
    case FieldId::LanguageRank:
        return &r.Languages[index].Rank;
    case FieldId::SpellName:
        return &r.SpellLists[index].Name;
    case FieldId::SpellPercent:
        return &r.SpellLists[index].Percent;
    case FieldId::Money:
        return &r.Money[index];
    case FieldId::MoneyWeight:
        return &r.MoneyWeight;
    case FieldId::Note:
        return &r.Note(static_cast<NoteKind>(index));
    case FieldId::PictureFile:
        return &r.sPictureFile;
    default:
        return nullptr;
    }
}

void SheetModel::Assign(FieldId id, int index, std::string_view text, WriteMode mode)
{
    // Text typed before this write comes first, so the write is not compared with a stale note.
    if (id == FieldId::Note)
        HandOverHeldEdits();
    std::string* slot = TextSlot(id, index);
    // Unchanged writes run nothing (see the class comment).
    if (!slot || *slot == text)
        return;
    slot->assign(text);
    Notify(id, index);
    RunRule(id, index, mode);
}

void SheetModel::RunRule(FieldId id, int index, WriteMode mode)
{
    switch (id) {
    case FieldId::General:
        if (index == static_cast<int>(GeneralField::Name))
            Assign(FieldId::Title, 0, m_record.Name + std::string(kTitleSuffix));
        break;
    case FieldId::Level:
        LevelChanged(mode);
        break;
    case FieldId::Experience:
        ExperienceChanged();
        break;
    case FieldId::StatValue:
        SetStatValue(index);
        break;
    case FieldId::StatRace:
        CalcStatTotal(index);
        break;
    case FieldId::StatTotal:
        PushStatBonus(index);
        break;
    case FieldId::StatCode:
        LookUpSkillStat(index);
        break;
    case FieldId::SkillStat:
    case FieldId::SkillProf:
        UpdateSkillTotal(index);
        break;
    case FieldId::Rank:
        lblRank_Change(index);
        break;
    case FieldId::Item1:
    case FieldId::Item2:
    case FieldId::Spec1:
    case FieldId::Spec2:
        // While the user types, the box keeps its text; the total counts its leading number.
        if (mode == WriteMode::Typing)
            UpdateSkillTotal(index);
        else
            SkillFieldChanged(FieldBox(id), index);
        break;
    case FieldId::Money:
        MoneyChanged();
        break;
    default:
        break;
    }
}

Status SheetModel::WriteStored(FieldId id, int index, std::string_view text, WriteMode mode)
{
    if (!IsStoredText(id))
        return InvalidArgument("not a stored text field");
    if (!ValidIndex(id, index))
        return InvalidArgument("index out of range");
    if (id == FieldId::SecondaryName && !InRange(index, kFirstSecondaryRow, kLastSecondaryRow))
        return InvalidArgument("only rows 24 to 28 have a name");
    Assign(id, index, text, mode);
    return Success();
}

Status SheetModel::Write(FieldId id, int index, std::string_view text)
{
    return WriteStored(id, index, text, WriteMode::Rules);
}

Status SheetModel::EditText(FieldId id, int index, std::string_view text)
{
    if (id == FieldId::Item1 && Item1Locked(index))
        return InvalidArgument("the box is locked by an armour piece");
    // The armour penalties and row 23's second special bonus are not the user's to edit.
    if (id == FieldId::Spec2 && (InRange(index, 0, kArmorRowCount - 1) || index == 23))
        return InvalidArgument("the box is read-only");
    if (IsBonusBox(id) || id == FieldId::Level)
        return WriteStored(id, index, text, WriteMode::Typing);
    return WriteStored(id, index, text, WriteMode::Rules);
}

Status SheetModel::EditFinished(FieldId id, int index)
{
    if (!ValidIndex(id, index))
        return InvalidArgument("index out of range");
    if (id == FieldId::SecondaryName) {
        // The character file keeps a secondary skill's name without surrounding blanks; dropping
        // them here shows the user the name that a save keeps.
        const std::string& name = *TextSlot(id, index);
        const std::size_t first = name.find_first_not_of(' ');
        const std::string trimmed = first == std::string::npos
                                        ? std::string()
                                        : name.substr(first, name.find_last_not_of(' ') - first + 1);
        Assign(id, index, trimmed);
        return Success();
    }
    if (!IsBonusBox(id) && id != FieldId::Level)
        return Success();
    if (!IsWholeNumber(*TextSlot(id, index)))
        Assign(id, index, "0");
    return Success();
}

Status SheetModel::WriteGeneral(GeneralField field, std::string_view text)
{
    return Write(FieldId::General, static_cast<int>(field), text);
}

Status SheetModel::WriteLevel(std::string_view text)
{
    return Write(FieldId::Level, 0, text);
}

Status SheetModel::WriteExperience(std::string_view text)
{
    return Write(FieldId::Experience, 0, text);
}

Status SheetModel::WriteStatValue(int stat, std::string_view text)
{
    return Write(FieldId::StatValue, stat, text);
}

Status SheetModel::WriteSecondaryName(int row, std::string_view text)
{
    return Write(FieldId::SecondaryName, row, text);
}

Status SheetModel::WriteSkillRank(int row, std::string_view text)
{
    return Write(FieldId::Rank, row, text);
}

Status SheetModel::WriteBonus(int row, BonusBox box, std::string_view text)
{
    return Write(BoxField(box), row, text);
}

Status SheetModel::WriteArmorType(std::string_view text)
{
    return Write(FieldId::ArmorType, 0, text);
}

Status SheetModel::WriteLanguageName(int slot, std::string_view text)
{
    return Write(FieldId::LanguageName, slot, text);
}

Status SheetModel::WriteLanguageRank(int slot, std::string_view text)
{
    return Write(FieldId::LanguageRank, slot, text);
}

Status SheetModel::WriteSpellName(int slot, std::string_view text)
{
    return Write(FieldId::SpellName, slot, text);
}

Status SheetModel::WriteSpellPercent(int slot, std::string_view text)
{
    return Write(FieldId::SpellPercent, slot, text);
}

Status SheetModel::WriteMoney(int coin, std::string_view text)
{
    return Write(FieldId::Money, coin, text);
}

Status SheetModel::WriteNote(NoteKind note, std::string_view text)
{
    return Write(FieldId::Note, static_cast<int>(note), text);
}

Status SheetModel::WritePictureFile(std::string_view path)
{
    m_pictureFolder.clear();
    return Write(FieldId::PictureFile, 0, path);
}

Status SheetModel::WritePictureFile(std::string_view path, const std::filesystem::path& besideFolder)
{
    m_pictureFolder = besideFolder;
    // The same path read again may be another picture (from another folder, or one put in place
    // since): the views look again.
    if (m_record.sPictureFile == path) {
        Notify(FieldId::PictureFile, 0);
        return Success();
    }
    return Write(FieldId::PictureFile, 0, path);
}

std::string SheetModel::PictureFileToOpen() const
{
    const std::string& written = m_record.sPictureFile;
    if (written.empty() || m_pictureFolder.empty())
        return written;
    const std::filesystem::path path = PathFromUtf8(written);
    if (path.is_absolute())
        return written;
    std::error_code error;
    const std::filesystem::path beside = m_pictureFolder / path;
    return std::filesystem::exists(beside, error) ? PathToUtf8(beside) : written;
}

void SheetModel::SetMoney(int index, std::string text)
{
    (void)WriteMoney(index, text); // a coin box holds any text; only the weight reads it as a number
}

void SheetModel::SetNote(NoteKind note, std::string text)
{
    (void)WriteNote(note, text); // a note holds any text
}

Status SheetModel::Select(FieldId id, int index)
{
    const std::vector<std::string>& list = id == FieldId::RaceIndex    ? m_raceList
                                           : id == FieldId::YouthIndex ? m_youthList
                                                                       : m_professionList;
    // A position that names no table row is refused, so a selection always means a row.
    if (!InRange(index, 0, static_cast<int>(list.size()) - 1))
        return InvalidArgument("no such list entry");
    int& selected = Selection(id);
    if (selected == index)
        return Success();
    selected = index;
    Notify(id, 0);
    if (id == FieldId::RaceIndex)
        PopRaceBonuses(index);
    else if (id == FieldId::YouthIndex)
        lstYouth_Click();
    else
        CalcProfBonuses(index);
    return Success();
}

Status SheetModel::SelectRace(int index)
{
    return Select(FieldId::RaceIndex, index);
}

Status SheetModel::SelectYouth(int index)
{
    return Select(FieldId::YouthIndex, index);
}

Status SheetModel::SelectProfession(int index)
{
    return Select(FieldId::ProfessionIndex, index);
}

bool SheetModel::SelectByName(FieldId id, const std::vector<std::string>& list, std::string_view name)
{
    bool matched = false;
    for (std::size_t j = 0; j < list.size(); ++j) {
        if (list[j] == name) {
            (void)Select(id, static_cast<int>(j)); // j is an entry of the list, so it is taken
            matched = true;
        }
    }
    return matched;
}

bool SheetModel::SelectRaceByName(std::string_view name)
{
    return SelectByName(FieldId::RaceIndex, m_raceList, name);
}

bool SheetModel::SelectYouthByName(std::string_view name)
{
    return SelectByName(FieldId::YouthIndex, m_youthList, name);
}

bool SheetModel::SelectProfessionByName(std::string_view name)
{
    return SelectByName(FieldId::ProfessionIndex, m_professionList, name);
}

Status SheetModel::SetRealm(MagicRealm realm)
{
    if (realm != MagicRealm::Essence && realm != MagicRealm::Channeling)
        return InvalidArgument("no such realm");
    if (m_record.Realm == realm)
        return Success();
    m_record.Realm = realm;
    Notify(FieldId::Realm, 0);
    CalcPowerPoints();
    return Success();
}

Status SheetModel::SetArmorPiece(ArmorPiece piece, CheckState state)
{
    const int index = static_cast<int>(piece);
    if (!InRange(index, 0, kArmorPieceCount - 1))
        return InvalidArgument("no such armour piece");
    if (!InRange(static_cast<int>(state), 0, 2))
        return InvalidArgument("no such check state");
    CheckState& current = m_record.Piece(piece);
    if (current == state)
        return Success();
    current = state;
    Notify(FieldId::ArmorPiece, index);
    ApplyArmorPiece(piece);
    return Success();
}

Status SheetModel::SetLevelSpin(int position)
{
    if (!InRange(position, 0, kLevelSpinMax))
        return InvalidArgument("the spinner runs from 0 to 100");
    if (m_levelSpin == position)
        return Success();
    m_levelSpin = position;
    Notify(FieldId::LevelSpin, 0);
    LevelSpinChanged();
    return Success();
}

void SheetModel::SetOver102(bool on)
{
    if (m_over102 == on)
        return;
    m_over102 = on;
    Notify(FieldId::Over102, 0);
}

int& SheetModel::Selection(FieldId id)
{
    if (id == FieldId::RaceIndex)
        return m_record.RaceIndex;
    if (id == FieldId::YouthIndex)
        return m_record.YouthIndex;
    return m_record.ProfessionIndex;
}

} // namespace keld
