// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "character/CharacterRecord.h"
#include "common/KeldError.h"
#include "inventory/InventoryFields.h"
#include "rules/RulesTables.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keld {

// Every field a view can show. The index that goes with an id is the control-array index:
// General 0..6 (GeneralField), stat 0..6, skill row 0..35, ArmorPiece 0..3, language or spell
// slot 0..7, coin 0..4, NoteKind 0..3; 0 for single fields.
enum class FieldId : int {
    General,         // text, index GeneralField
    RaceIndex,       // selection of the race list
    YouthIndex,      // selection of the youth list
    ProfessionIndex, // selection of the profession list
    Level,
    Experience,
    Realm,
    PowerPoints, // derived
    LevelSpin,   // the spinner's position, not part of the record
    Title,       // window title, derived from the name
    StatValue,
    StatNorm,  // derived
    StatRace,  // derived
    StatTotal, // derived
    SecondaryName,
    StatCode,
    Ranks5,      // bar value
    Ranks2,      // bar value
    Bar2Shown,   // 2% bar visible
    Bar2Enabled, // 2% bar takes mouse input
    Rank,
    SkillStat, // derived
    SkillProf, // derived
    Item1,
    Item1Locked, // the first item box is locked by an armour piece
    Item2,
    Spec1,
    Spec2,
    SkillTotal, // derived
    ArmorType,
    ArmorPiece, // index ArmorPiece
    LanguageName,
    LanguageRank,
    SpellName,
    SpellPercent,
    Money,
    MoneyWeight, // derived
    Note,        // index NoteKind
    PictureFile,
    Over102,        // the stats-over-102 option
    RaceList,       // the list's entries were replaced
    YouthList,      // the list's entries were replaced
    ProfessionList, // the list's entries were replaced
};

// The field of a skill row's bonus box.
FieldId BoxField(BonusBox box);

// Told about each field right after it changed, before the rules that depend on it run, so the
// order of calls is the order of the rule chain.
class SheetObserver {
public:
    virtual ~SheetObserver() = default;
    virtual void FieldChanged(FieldId id, int index) = 0;
};

// State of one rank bar as the sheet draws it.
struct BarState {
    float Value = 0;
    float Max = 0;
    bool Shown = false;
    bool Enabled = false;
};

class SheetModel;

// One view's registration of its held edits (SheetModel::RegisterHeldEdits). Ending it (the
// destructor, Reset, or assigning another over it) unregisters exactly this registration, never
// one made since by another view; it may outlive the model.
class HeldEditsRegistration {
public:
    HeldEditsRegistration() = default;
    HeldEditsRegistration(HeldEditsRegistration&& other) noexcept;
    HeldEditsRegistration& operator=(HeldEditsRegistration&& other) noexcept;
    HeldEditsRegistration(const HeldEditsRegistration&) = delete;
    HeldEditsRegistration& operator=(const HeldEditsRegistration&) = delete;
    ~HeldEditsRegistration();

    void Reset();

private:
    friend class SheetModel;
    struct Registry;
    HeldEditsRegistration(std::weak_ptr<Registry> registry, std::uint64_t id);

    std::weak_ptr<Registry> m_registry;
    std::uint64_t m_id = 0;
};

// The open character with every rule of the sheet. It owns the record and the state the rules
// keep beside it; a window is a view that shows fields, listens to FieldChanged and turns each
// user event into one call here.
//
// An unchanged write runs nothing: writing the text a field already holds neither notifies nor
// runs the field's rule, as a text box or check box raises no change event then. Derived fields
// always agree with their inputs, so skipping is only visible where one rule overwrites another
// input; it keeps item bonuses typed under an armour piece that a loaded file leaves clear, and a
// loaded level that an unchanged experience would otherwise reset.
//
// Write operations return an error (number 5) for an index out of range or a field that is not
// stored; they never throw.
class SheetModel : public InventoryFields {
public:
    // The sheet as laid out, before ClearCharacter; the lists stay empty until they are filled.
    SheetModel();
    // The same with the tables already set (see SetTables).
    explicit SheetModel(const RulesTables* tables);
    SheetModel(const SheetModel&) = delete;
    SheetModel& operator=(const SheetModel&) = delete;

    // Reading. Reads run nothing: text a view still holds back is not in the record until a
    // command hands it over (HandOverHeldEdits).
    const CharacterRecord& Record() const { return m_record; }
    const RulesTables* Tables() const { return m_tables; }
    // Text of any text field (stored or derived) by id; empty for other ids or bad indices.
    std::string Text(FieldId id, int index = 0) const;
    bool Over102() const { return m_over102; }
    int OldYouthIndex() const { return m_oldYouthIndex; }
    int CurrYouthIndex() const { return m_currYouthIndex; }
    BarState Bar(RankBar bar, int row) const;
    bool Item1Locked(int row) const;
    int LevelSpin() const { return m_levelSpin; }
    const std::string& Title() const { return m_title; }
    const std::vector<std::string>& RaceList() const { return m_raceList; }
    const std::vector<std::string>& YouthList() const { return m_youthList; }
    const std::vector<std::string>& ProfessionList() const { return m_professionList; }
    // Displayed name of the selected entry ("" for the blank entry or no selection).
    std::string RaceName() const;
    std::string YouthName() const;
    std::string ProfessionName() const;

    // Observers and the view's hooks.
    void AddObserver(SheetObserver* observer);
    void RemoveObserver(SheetObserver* observer);
    // Called where long rule loops let pending window events run; does nothing by default.
    void SetProcessEvents(std::function<void()> callback);
    // A view that holds typed text back (a long note is handed over when needed rather than
    // converted on every key) registers how to hand it over and keeps the registration while it
    // lives. The hand-over must write through this model and be cheap when nothing is held. It
    // runs when a command asks (HandOverHeldEdits) and before a note is written, so no write
    // compares with or is overwritten by a stale note.
    [[nodiscard]] HeldEditsRegistration RegisterHeldEdits(std::function<void()> handOver);
    // Every view hands over what it holds back now, in the order they registered. Commands that
    // read or replace the whole record (save, reports, New, Load, exit) call this once first.
    void HandOverHeldEdits();

    // Start-up.
    // Takes the tables (owned by the caller, alive as long as this model uses them), fills the
    // three lists from them and selects entry 0 of each, as start-up does after ClearCharacter:
    // race, then profession, then youth.
    void FillLists(const RulesTables* tables);
    // The same one list at a time, from the tables already set, for a start-up that loads and
    // fills each table in turn.
    void SetTables(const RulesTables* tables) { m_tables = tables; }
    void FillRaceList();
    void FillProfessionList();
    void FillYouthList();

    // The one write operation for text fields.
    // Writes a stored text field as a file, New or the rules do; the field's rule runs at once.
    Status Write(FieldId id, int index, std::string_view text);
    // The user typed into a box (each keystroke). Item, special and level boxes keep the text as
    // typed, counting a lone "-" or an empty box as 0; other fields behave as Write. Locked and
    // read-only boxes refuse.
    Status EditText(FieldId id, int index, std::string_view text);
    // Editing of a box finished (focus left it): an item, special or level box that does not hold
    // a whole number becomes "0"; a secondary skill's name loses its leading and trailing blanks.
    Status EditFinished(FieldId id, int index);

    // Named writes of stored fields (each the same as Write with its id).
    Status WriteGeneral(GeneralField field, std::string_view text);
    Status WriteName(std::string_view text) { return WriteGeneral(GeneralField::Name, text); }
    Status WriteLevel(std::string_view text);
    Status WriteExperience(std::string_view text);
    Status WriteStatValue(int stat, std::string_view text);
    Status WriteSecondaryName(int row, std::string_view text); // rows 24..28
    Status WriteSkillRank(int row, std::string_view text);
    Status WriteBonus(int row, BonusBox box, std::string_view text);
    Status WriteItem1(int row, std::string_view text) { return WriteBonus(row, BonusBox::Item1, text); }
    Status WriteItem2(int row, std::string_view text) { return WriteBonus(row, BonusBox::Item2, text); }
    Status WriteSpec1(int row, std::string_view text) { return WriteBonus(row, BonusBox::Spec1, text); }
    Status WriteSpec2(int row, std::string_view text) { return WriteBonus(row, BonusBox::Spec2, text); }
    Status WriteArmorType(std::string_view text);
    Status WriteLanguageName(int slot, std::string_view text);
    Status WriteLanguageRank(int slot, std::string_view text);
    Status WriteSpellName(int slot, std::string_view text);
    Status WriteSpellPercent(int slot, std::string_view text);
    Status WriteMoney(int coin, std::string_view text);
    Status WriteNote(NoteKind note, std::string_view text);
    Status WritePictureFile(std::string_view path);
    // The picture path as a character file holds it, with the folder of that file: a relative
    // path is looked up there first. The path itself is kept as written.
    Status WritePictureFile(std::string_view path, const std::filesystem::path& besideFolder);
    // The file to open for the picture: a relative path beside the character file it came from
    // when it is there, else the path as written (relative to the working folder).
    std::string PictureFileToOpen() const;

    // Writes of the fields that are not texts.
    Status SelectRace(int index);
    Status SelectYouth(int index);
    Status SelectProfession(int index);
    // Selects every list entry whose name equals name exactly, in list order, as the character
    // file does; false when none matched (the selection is then unchanged).
    bool SelectRaceByName(std::string_view name);
    bool SelectYouthByName(std::string_view name);
    bool SelectProfessionByName(std::string_view name);
    Status SetRealm(MagicRealm realm);
    Status SetArmorPiece(ArmorPiece piece, CheckState state);
    // The spinner moved to position 0..100 (spnLevel changed).
    Status SetLevelSpin(int position);
    // The "Stats Over 102" option; recomputes nothing.
    void SetOver102(bool on);
    void ToggleOver102() { SetOver102(!m_over102); }

    // InventoryFields, for ClearForm.
    void SetMoney(int index, std::string text) override;
    void SetNote(NoteKind note, std::string text) override;

    // Record and stats.
    void ClearCharacter();
    Status SetSkillStatCode(int row, std::string_view code);
    Status DropOnStat(int stat, std::string_view caption);

    // Power points from the realm's stat and the level, as a loaded file recomputes them.
    void CalcPowerPoints();

    // A click on a language's rank steps it to the next rank.
    Status lblLanguage_Click(int slot);

    // A click on a rank box: the rank becomes what the bars hold.
    void lblRank_Click(int row);
    // Mouse on a rank bar: button 1 left, 2 right; x and the bar width in twips. A bar that is
    // hidden or disabled ignores them.
    void BarMouseDown(RankBar bar, int row, int button);
    void BarMouseMove(RankBar bar, int row, int button, double x, double widthTwips);
    void BarMouseMove(RankBar bar, int row, int button, double x)
    {
        BarMouseMove(bar, row, button, x, BarWidthTwips(bar, row));
    }
    void BarMouseUp(RankBar bar, int row);

private:
    enum class WriteMode { Rules, Typing };

    // The rule steps, run by the writes above.
    void SetStatValue(int stat);
    std::string StatNormBonus(double value) const;
    void CalcStatTotal(int stat);
    void PushStatBonus(int stat);
    void PopRaceBonuses(int index);
    void CalcProfBonuses(int index);
    static std::optional<int> LevelForExp(double experience);
    static std::optional<std::string> ExpForLevel(double level);
    // Applies a piece's modifier and lock as its check box state stands.
    void ApplyArmorPiece(ArmorPiece piece);
    void UpdateSkillTotal(int row);
    void SkillFieldChanged(BonusBox box, int row);
    void lblRank_Change(int row);
    void barSkill5_IncreaseBy(int row, int amount);
    void barSkill5_DecreaseBy(int row, int amount);
    void FillYouthRanks(int youthIndex);
    void RemoveYouthRanks(int youthIndex);
    void lstYouth_Click();

    void Notify(FieldId id, int index);
    void ProcessEvents();
    bool ValidIndex(FieldId id, int index) const;
    std::string* TextSlot(FieldId id, int index);
    const std::string* TextSlot(FieldId id, int index) const;
    // The one place a text field changes: store, notify, run the field's rule.
    void Assign(FieldId id, int index, std::string_view text, WriteMode mode = WriteMode::Rules);
    void RunRule(FieldId id, int index, WriteMode mode);
    Status WriteStored(FieldId id, int index, std::string_view text, WriteMode mode);
    Status Select(FieldId id, int index);
    void SetBarValue(RankBar bar, int row, float value);
    void SetBar2State(int row, bool shown, bool enabled);
    void SetItem1Lock(int row, bool locked);
    void LevelChanged(WriteMode mode);
    void ExperienceChanged();
    void LevelSpinChanged();
    void LookUpSkillStat(int row);
    void MoneyChanged();
    void ChangeBar5By(int row, long long points);
    bool SelectByName(FieldId id, const std::vector<std::string>& list, std::string_view name);
    void FillList(FieldId listId, FieldId selectionId, std::vector<std::string> names);
    int& Selection(FieldId id);

    CharacterRecord m_record;
    const RulesTables* m_tables = nullptr;
    bool m_over102 = true;
    int m_oldYouthIndex = 0;
    int m_currYouthIndex = 0;
    std::array<bool, kBarRowCount> m_bar2Shown{};
    std::array<bool, kBarRowCount> m_bar2Enabled{};
    std::array<bool, kSkillCount> m_item1Locked{};
    int m_levelSpin = 0;
    std::string m_title;
    // Where a relative picture path is looked for first; empty for a path the user chose.
    std::filesystem::path m_pictureFolder;
    std::vector<std::string> m_raceList;
    std::vector<std::string> m_youthList;
    std::vector<std::string> m_professionList;
    std::vector<SheetObserver*> m_observers;
    std::function<void()> m_processEvents;
    std::shared_ptr<HeldEditsRegistration::Registry> m_heldEdits;
};

} // namespace keld
