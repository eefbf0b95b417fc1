#include "character/SheetModel.h"

#include "character/CharacterRules.h"
#include "common/NumericValue.h"
#include "inventory/MoneyWeight.h"

#include <algorithm>

namespace keld {
namespace {

constexpr std::string_view kTitleSuffix = "  -  KELD Character Sheet";
constexpr int kStatAP = 6;
constexpr int kStatPR = 5;
constexpr int kStatIG = 3;
constexpr int kStatIT = 4;
constexpr int kFirstResistanceRow = 32;

Status InvalidArgument(std::string detail)
{
    return KeldError(kErrInvalidArgument, std::move(detail));
}

bool InRange(int value, int low, int high)
{
    return value >= low && value <= high;
}

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

// Youth values (0-based) that give rows their 5% ranks, in the order they are applied.
struct YouthRow {
    int row;
    int value;
};
constexpr std::array<YouthRow, 23> MakeYouthRows()
{
    std::array<YouthRow, 23> rows{};
    for (int r = 0; r <= 20; ++r)
        rows[r] = {r, r};
    rows[21] = {22, 22};
    rows[22] = {23, 21};
    return rows;
}
constexpr std::array<YouthRow, 23> kYouthRows = MakeYouthRows();

template <typename Entry> std::vector<std::string> NamesOf(const std::vector<Entry>& entries)
{
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (const Entry& entry : entries)
        names.push_back(entry.Name);
    return names;
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

const std::string* SheetModel::TextSlot(FieldId id, int index) const
{
    return const_cast<SheetModel*>(this)->TextSlot(id, index);
}

std::string* SheetModel::TextSlot(FieldId id, int index)
{
    if (!ValidIndex(id, index))
        return nullptr;
    CharacterRecord& r = m_record;
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
    return Write(FieldId::PictureFile, 0, path);
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

void SheetModel::UpdateSkillTotal(int row)
{
    if (!InRange(row, 0, kSkillCount - 1))
        return;
    const SkillRow& s = m_record.Skills[row];
    double total = NumericValue(s.Rank);
    total += NumericValue(s.Stat);
    total += NumericValue(s.Prof);
    total += NumericValue(s.Item1);
    total += NumericValue(s.Item2);
    total += NumericValue(s.Spec1);
    total += NumericValue(s.Spec2);
    Assign(FieldId::SkillTotal, row, NumberText(total));
}

void SheetModel::SkillFieldChanged(BonusBox box, int row)
{
    if (!InRange(row, 0, kSkillCount - 1))
        return;
    // The replacement is itself a change and runs this rule again, which then finds "0".
    if (!IsWholeNumber(m_record.Bonus(row, box)))
        Assign(BoxField(box), row, "0");
    UpdateSkillTotal(row);
}

void SheetModel::SetBarValue(RankBar bar, int row, float value)
{
    const float max = bar == RankBar::Five ? static_cast<float>(Ranks5Max(row)) : float(kRanks2Max);
    // Values outside the bar are refused silently, as the bars do.
    if (!(value >= 0 && value <= max))
        return;
    float& slot = bar == RankBar::Five ? m_record.Skills[row].Ranks5 : m_record.Skills[row].Ranks2;
    if (slot == value)
        return;
    slot = value;
    Notify(bar == RankBar::Five ? FieldId::Ranks5 : FieldId::Ranks2, row);
}

void SheetModel::SetBar2State(int row, bool shown, bool enabled)
{
    if (m_bar2Shown[row] != shown) {
        m_bar2Shown[row] = shown;
        Notify(FieldId::Bar2Shown, row);
    }
    if (m_bar2Enabled[row] != enabled) {
        m_bar2Enabled[row] = enabled;
        Notify(FieldId::Bar2Enabled, row);
    }
}

void SheetModel::lblRank_Click(int row)
{
    // Rows 29..35 have no bars; their rank text is left alone.
    if (!InRange(row, 0, kBarRowCount - 1))
        return;
    const SkillRow& s = m_record.Skills[row];
    const double v = RoundHalfEven(static_cast<double>(s.Ranks2 + s.Ranks5));
    Assign(FieldId::Rank, row, v != 0 ? NumberText(v) : std::string("-25"));
}

void SheetModel::lblRank_Change(int row)
{
    if (!InRange(row, 0, kSkillCount - 1))
        return;
    if (row < kBarRowCount) {
        const double n = NumericValue(m_record.Skills[row].Rank);
        const int max = Ranks5Max(row);
        if (n >= 0) {
            if (n >= 1 && max >= n) {
                SetBarValue(RankBar::Five, row, static_cast<float>(n));
            } else if (max <= n && max + kRanks2Max >= n) {
                SetBarValue(RankBar::Five, row, static_cast<float>(max));
                SetBarValue(RankBar::Two, row, static_cast<float>(n - max));
            }
        } else {
            SetBarValue(RankBar::Five, row, 0);
            SetBarValue(RankBar::Two, row, 0);
        }
        if (row >= kArmorRowCount) {
            if (m_record.Skills[row].Ranks5 >= max) {
                SetBar2State(row, true, true);
            } else {
                SetBarValue(RankBar::Two, row, 0);
                SetBar2State(row, false, false);
            }
        }
    }
    UpdateSkillTotal(row);
}

void SheetModel::ChangeBar5By(int row, long long points)
{
    if (!InRange(row, 0, kBarRowCount - 1))
        return;
    // 32-bit arithmetic: a youth value too large for 16 bits fills or empties the bar instead of
    // failing halfway.
    const long long current = static_cast<long long>(RoundHalfEven(m_record.Skills[row].Ranks5));
    const long long target = current + points;
    const int max = Ranks5Max(row);
    if (max > target)
        SetBarValue(RankBar::Five, row, target > 0 ? static_cast<float>(target) : 0.0f);
    else
        SetBarValue(RankBar::Five, row, static_cast<float>(max));
    SetBar2State(row, m_bar2Shown[row], m_record.Skills[row].Ranks5 == max);
}

void SheetModel::barSkill5_IncreaseBy(int row, int amount)
{
    ChangeBar5By(row, 5LL * amount);
}

void SheetModel::barSkill5_DecreaseBy(int row, int amount)
{
    ChangeBar5By(row, -5LL * amount);
}

void SheetModel::FillYouthRanks(int youthIndex)
{
    if (!m_tables || !InRange(youthIndex, 0, static_cast<int>(m_tables->Youth.size()) - 1))
        return;
    const auto values = m_tables->Youth[youthIndex].Values;
    for (const YouthRow& y : kYouthRows)
        barSkill5_IncreaseBy(y.row, values[y.value]);
    for (int row = 0; row < kBarRowCount; ++row) {
        lblRank_Click(row);
        ProcessEvents();
    }
}

void SheetModel::RemoveYouthRanks(int youthIndex)
{
    if (!m_tables || !InRange(youthIndex, 0, static_cast<int>(m_tables->Youth.size()) - 1))
        return;
    const auto values = m_tables->Youth[youthIndex].Values;
    for (const YouthRow& y : kYouthRows)
        barSkill5_DecreaseBy(y.row, values[y.value]);
}

void SheetModel::lstYouth_Click()
{
    m_currYouthIndex = m_record.YouthIndex;
    if (m_currYouthIndex != m_oldYouthIndex) {
        if (m_oldYouthIndex != 0)
            RemoveYouthRanks(m_oldYouthIndex);
        FillYouthRanks(m_currYouthIndex);
    }
    m_oldYouthIndex = m_currYouthIndex;
}

void SheetModel::BarMouseDown(RankBar bar, int row, int button)
{
    const BarState state = Bar(bar, row);
    if (!state.Shown || !state.Enabled)
        return;
    const float step = bar == RankBar::Five ? 5.0f : 2.0f;
    if (const std::optional<float> value = BarPressValue(button, state.Value, step, state.Max))
        SetBarValue(bar, row, *value);
}

void SheetModel::BarMouseMove(RankBar bar, int row, int button, double x, double widthTwips)
{
    const BarState state = Bar(bar, row);
    if (!state.Shown || !state.Enabled)
        return;
    const float step = bar == RankBar::Five ? 5.0f : 2.0f;
    if (const std::optional<float> value = BarDragValue(button, state.Max, step, widthTwips, x))
        SetBarValue(bar, row, *value);
}

void SheetModel::BarMouseUp(RankBar bar, int row)
{
    const BarState state = Bar(bar, row);
    if (!state.Shown || !state.Enabled)
        return;
    if (bar == RankBar::Five && row >= kArmorRowCount) {
        if (m_record.Skills[row].Ranks5 >= Ranks5Max(row)) {
            SetBar2State(row, true, true);
        } else {
            SetBarValue(RankBar::Two, row, 0);
            SetBar2State(row, false, false);
        }
    }
    lblRank_Click(row);
}

} // namespace keld
