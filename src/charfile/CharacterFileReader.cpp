// SPDX-License-Identifier: GPL-3.0-or-later
#include "charfile/CharacterFileReader.h"

#include "charfile/PictureCheck.h"
#include "common/TextFile.h"
#include "inventory/InventoryFields.h"
#include "rules/RulesTables.h"

#include <array>
#include <map>

namespace keld {

namespace {

using Field = PlannedWrite::Field;

// 499900 as "499,900".
std::string Grouped(std::size_t n)
{
    std::string digits = std::to_string(n);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}

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

    void Begin() { ClearForm(m_sheet); }

    CharacterFileWarnings Finish()
    {
        // The notes take no part in any rule, so each is written once with all its lines rather
        // than growing line by line.
        for (int note = 0; note < kNoteCount; ++note) {
            if (m_noteLines[note] > 0) {
                Check(m_sheet.WriteNote(static_cast<NoteKind>(note), m_notes[note]), m_noteLast[note]);
                std::string().swap(m_notes[note]);
            }
        }
        for (auto& [kind, counted] : m_counted)
            if (counted.count > kMaxWarningsOfAKind)
                counted.leftOut->push_back(WarningsLeftOut{kind, counted.count - kMaxWarningsOfAKind});
        return std::move(m_result);
    }

    CharacterFileWarnings Run(const CharacterFilePlan& plan)
    {
        Begin();
        for (const PlannedWrite& write : plan.writes)
            Apply(write);
        return Finish();
    }

    void Apply(const PlannedWrite& w)
    {
        const std::string_view v = w.value;
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
            // A path named again is not read again: a file may name one picture a million times.
            const std::string file = m_sheet.PictureFileToOpen();
            auto [checked, first] = m_pictures.try_emplace(file, Success());
            if (first)
                checked->second = m_checkPicture(file);
            if (const Status& shown = checked->second; !shown) {
                const KeldError& why = shown.Error();
                std::string reason = why.Detail().empty() ? why.Description() : why.Detail();
                Warn(m_result.warnings, m_result.warningsLeftOut, "a picture that cannot be loaded",
                     KeldError(why.Number(), "picture \"" + std::string(v) + "\" " + reason, m_fileName,
                               w.line));
            }
            return;
        }
    }

private:
    // The plan only holds writes the sheet accepts; a refusal would be a fault here, so it is
    // passed on rather than lost.
    void Check(const Status& status, int line)
    {
        if (!status) {
            KeldError error = status.Error();
            Warn(m_result.warnings, m_result.warningsLeftOut, "a value the sheet refused",
                 error.At(m_fileName, line));
        }
    }

    // Keeps a warning unless kMaxWarningsOfAKind of its kind are kept already; then it is counted.
    void Warn(std::vector<KeldError>& into, std::vector<WarningsLeftOut>& leftOut, const std::string& kind,
              KeldError warning)
    {
        Counted& counted = m_counted[kind];
        counted.leftOut = &leftOut;
        if (++counted.count <= kMaxWarningsOfAKind)
            into.push_back(std::move(warning));
    }

    // A name the rules data lacks would otherwise leave the previous character's choice and its
    // bonuses in place, mixing two characters; the blank entry is what a fresh sheet would show.
    void NotFound(const Status& cleared, const char* what, std::string_view name, const char* rulesFile,
                  int line)
    {
        // Refused only when no rules data is loaded at all; then there is no choice to clear.
        (void)cleared;
        const std::string kind = std::string(what) + " not found in " + rulesFile;
        if (m_counted[kind].count >= kMaxWarningsOfAKind) {
            Warn(m_result.notFound, m_result.notFoundLeftOut, kind, KeldError());
            return;
        }
        Warn(m_result.notFound, m_result.notFoundLeftOut, kind,
             KeldError(kErrInvalidArgument,
                       std::string(what) + " \"" + std::string(name) + "\" was not found in " + rulesFile,
                       m_fileName, line));
    }

    SheetModel& m_sheet;
    const std::string& m_fileName;
    // A relative picture path is looked for beside the file first.
    std::filesystem::path m_folder;
    PictureChecker m_checkPicture;
    CharacterFileWarnings m_result;
    struct Counted {
        std::size_t count = 0;
        std::vector<WarningsLeftOut>* leftOut = nullptr;
    };
    // By kind, in the order of the kinds' names, which keeps the summary lines in a fixed order.
    std::map<std::string, Counted> m_counted;
    std::map<std::string, Status> m_pictures;
    std::array<std::string, kNoteCount> m_notes;
    std::array<int, kNoteCount> m_noteLines{};
    std::array<int, kNoteCount> m_noteLast{};
};

} // namespace

std::string WarningsLeftOut::Line() const
{
    return "... and " + Grouped(count) + " more warnings of this kind (" + kind + ")";
}

CharacterFileWarnings ApplyCharacterFile(SheetModel& sheet, const CharacterFilePlan& plan,
                                         const std::string& fileName, const PictureChecker& checkPicture)
{
    return Applier(sheet, fileName, checkPicture).Run(plan);
}

namespace {

Result<CharacterFileWarnings> ReadDecodedText(SheetModel& sheet, std::string_view text,
                                              const std::string& fileName, const PictureChecker& checkPicture)
{
    // Checked whole first, so a failing line changes nothing; then applied from the text itself.
    // Nothing is kept per line between the two passes.
    if (Status checked = WalkCharacterFile(text, fileName, {}); !checked)
        return checked.Error();
    Applier applier(sheet, fileName, checkPicture);
    applier.Begin();
    Status applied =
        WalkCharacterFile(text, fileName, [&applier](const PlannedWrite& write) { applier.Apply(write); });
    (void)applied; // the same text was just checked
    return applier.Finish();
}

} // namespace

Result<CharacterFileWarnings> ReadCharacterText(SheetModel& sheet, std::string_view bytes,
                                                const std::string& fileName,
                                                const PictureChecker& checkPicture)
{
    return ReadDecodedText(sheet, DecodeText(bytes), fileName, checkPicture);
}

Result<CharacterFileWarnings> ReadCharacterFile(SheetModel& sheet, const std::filesystem::path& path,
                                                const PictureChecker& checkPicture)
{
    // The user may pick any path: a FIFO or a device is refused rather than waited on or read
    // without end. The bound is far above any real character, journal included, and low enough
    // that the largest file it lets in is shown, saved and printed within a few hundred MB.
    auto bytes = ReadRegularFileBytes(path, kMaxCharacterFileBytes);
    if (!bytes)
        return bytes.Error();
    std::string text = DecodeText(*bytes);
    std::string().swap(*bytes); // the text is a copy; the bytes are not needed any more
    return ReadDecodedText(sheet, text, PathToUtf8(path), checkPicture);
}

} // namespace keld
