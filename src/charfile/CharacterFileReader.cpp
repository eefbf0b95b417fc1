#include "charfile/CharacterFileReader.h"

#include "charfile/PictureCheck.h"
#include "common/TextFile.h"
#include "inventory/InventoryFields.h"
#include "rules/RulesTables.h"

#include <array>

namespace keld {

namespace {

using Field = PlannedWrite::Field;

Status DefaultPictureCheck(const std::string& path)
{
    return CheckPictureFile(PathFromUtf8(path));
}

class Applier {
public:
    Applier(SheetModel& sheet, const std::string& fileName, const PictureChecker& checkPicture)
        : m_sheet(sheet), m_fileName(fileName), m_folder(PathFromUtf8(fileName).parent_path()),
          m_checkPicture(checkPicture ? checkPicture : DefaultPictureCheck)
    {
    }

    CharacterFileWarnings Run(const CharacterFilePlan& plan)
    {
        ClearForm(m_sheet);
        for (const PlannedWrite& write : plan.writes)
            Apply(write);
        // The notes take no part in any rule, so each is written once with all its lines rather
        // than growing line by line.
        for (int note = 0; note < kNoteCount; ++note)
            if (m_noteLines[note] > 0)
                Check(m_sheet.WriteNote(static_cast<NoteKind>(note), m_notes[note]), m_noteLast[note]);
        return std::move(m_result);
    }

private:
    // The plan only holds writes the sheet accepts; a refusal would be a fault here, so it is
    // passed on rather than lost.
    void Check(const Status& status, int line)
    {
        if (!status) {
            KeldError error = status.Error();
            m_result.warnings.push_back(error.At(m_fileName, line));
        }
    }

    // A name the rules data lacks would otherwise leave the previous character's choice and its
    // bonuses in place, mixing two characters; the blank entry is what a fresh sheet would show.
    void NotFound(const Status& cleared, const char* what, const std::string& name, const char* rulesFile,
                  int line)
    {
        // Refused only when no rules data is loaded at all; then there is no choice to clear.
        (void)cleared;
        m_result.notFound.emplace_back(kErrInvalidArgument,
                                       std::string(what) + " \"" + name + "\" was not found in " + rulesFile,
                                       m_fileName, line);
    }

    void Apply(const PlannedWrite& w)
    {
        const std::string& v = w.value;
        switch (w.field) {
        case Field::General:
            return Check(m_sheet.WriteGeneral(static_cast<GeneralField>(w.index), v), w.line);
        case Field::Race:
            if (!m_sheet.SelectRaceByName(v))
                NotFound(m_sheet.SelectRace(0), "race", v, kRaceFileName, w.line);
            return;
        case Field::Youth:
            if (!m_sheet.SelectYouthByName(v))
                NotFound(m_sheet.SelectYouth(0), "youth background", v, kYouthFileName, w.line);
            return;
        case Field::Profession:
            if (!m_sheet.SelectProfessionByName(v))
                NotFound(m_sheet.SelectProfession(0), "profession", v, kProfessionFileName, w.line);
            return;
        case Field::Level:
            return Check(m_sheet.WriteLevel(v), w.line);
        case Field::Experience:
            return Check(m_sheet.WriteExperience(v), w.line);
        case Field::Realm:
            return Check(m_sheet.SetRealm(w.number == 1 ? MagicRealm::Channeling : MagicRealm::Essence),
                         w.line);
        case Field::StatValue:
            return Check(m_sheet.WriteStatValue(w.index, v), w.line);
        case Field::PowerPoints:
            m_sheet.CalcPowerPoints();
            return;
        case Field::SecondaryName:
            return Check(m_sheet.WriteSecondaryName(w.index, v), w.line);
        case Field::Rank:
            return Check(m_sheet.WriteSkillRank(w.index, v), w.line);
        case Field::StatCode:
            return Check(m_sheet.Write(FieldId::StatCode, w.index, v), w.line);
        case Field::Item1:
            return Check(m_sheet.WriteItem1(w.index, v), w.line);
        case Field::Item2:
            return Check(m_sheet.WriteItem2(w.index, v), w.line);
        case Field::Spec1:
            return Check(m_sheet.WriteSpec1(w.index, v), w.line);
        case Field::Spec2:
            return Check(m_sheet.WriteSpec2(w.index, v), w.line);
        case Field::ArmorType:
            return Check(m_sheet.WriteArmorType(v), w.line);
        case Field::ArmorPiece:
            return Check(
                m_sheet.SetArmorPiece(static_cast<ArmorPiece>(w.index), static_cast<CheckState>(w.number)),
                w.line);
        case Field::LanguageName:
            return Check(m_sheet.WriteLanguageName(w.index, v), w.line);
        case Field::LanguageRank:
            return Check(m_sheet.WriteLanguageRank(w.index, v), w.line);
        case Field::SpellName:
            return Check(m_sheet.WriteSpellName(w.index, v), w.line);
        case Field::SpellPercent:
            return Check(m_sheet.WriteSpellPercent(w.index, v), w.line);
        case Field::Money:
            return Check(m_sheet.WriteMoney(w.index, v), w.line);
        case Field::Note:
            m_notes[w.index] += v;
            m_notes[w.index] += "\r\n";
            ++m_noteLines[w.index];
            m_noteLast[w.index] = w.line;
            return;
        case Field::Picture:
            Check(m_sheet.WritePictureFile(v, m_folder), w.line);
            if (Status shown = m_checkPicture(m_sheet.PictureFileToOpen()); !shown) {
                const KeldError& why = shown.Error();
                std::string reason = why.Detail().empty() ? why.Description() : why.Detail();
                m_result.warnings.emplace_back(why.Number(), "picture \"" + v + "\" " + reason, m_fileName,
                                               w.line);
            }
            return;
        }
    }

    SheetModel& m_sheet;
    const std::string& m_fileName;
    // A relative picture path is looked for beside the file first.
    std::filesystem::path m_folder;
    PictureChecker m_checkPicture;
    CharacterFileWarnings m_result;
    std::array<std::string, kNoteCount> m_notes;
    std::array<int, kNoteCount> m_noteLines{};
    std::array<int, kNoteCount> m_noteLast{};
};

} // namespace

CharacterFileWarnings ApplyCharacterFile(SheetModel& sheet, const CharacterFilePlan& plan,
                                         const std::string& fileName, const PictureChecker& checkPicture)
{
    return Applier(sheet, fileName, checkPicture).Run(plan);
}

Result<CharacterFileWarnings> ReadCharacterText(SheetModel& sheet, std::string_view bytes,
                                                const std::string& fileName,
                                                const PictureChecker& checkPicture)
{
    auto plan = PlanCharacterFile(DecodeText(bytes), fileName);
    if (!plan)
        return plan.Error();
    return ApplyCharacterFile(sheet, *plan, fileName, checkPicture);
}

Result<CharacterFileWarnings> ReadCharacterFile(SheetModel& sheet, const std::filesystem::path& path,
                                                const PictureChecker& checkPicture)
{
    // The user may pick any path: a FIFO or a device is refused rather than waited on or read
    // without end. The bound is far above any real character, journal included.
    constexpr std::uintmax_t kMaxCharacterFileBytes = 256ull << 20;
    auto bytes = ReadRegularFileBytes(path, kMaxCharacterFileBytes);
    if (!bytes)
        return bytes.Error();
    return ReadCharacterText(sheet, *bytes, PathToUtf8(path), checkPicture);
}

} // namespace keld
