// SPDX-License-Identifier: GPL-3.0-or-later
#include "charfile/CharacterFileWriter.h"

#include "charfile/CharacterFileFormat.h"
#include "charfile/CharacterFileReader.h"
#include "common/TextFile.h"

namespace keld {

namespace {

using namespace charfile;

std::string Line(std::string_view key, std::string_view value)
{
    std::string line;
    line.reserve(key.size() + 1 + value.size());
    line += key;
    line += '=';
    line += value;
    return line;
}

std::string Joined(std::string_view a, char separator, std::string_view b)
{
    std::string text(a);
    text += separator;
    text += b;
    return text;
}

std::string SkillLine(const CharacterRecord& record, int row)
{
    const SkillRow& skill = record.Skills[row];
    bool secondary = IsSecondaryRow(row);
    std::string line = std::to_string(row);
    line += ',';
    if (secondary)
        line += TrimSpaces(skill.SecondaryName);
    line += ',';
    line += skill.Rank;
    line += ',';
    if (secondary)
        line += TrimSpaces(skill.StatCode);
    for (const std::string* bonus : {&skill.Item1, &skill.Item2, &skill.Spec1, &skill.Spec2}) {
        line += ',';
        line += *bonus;
    }
    return line;
}

} // namespace

std::vector<std::string> CharacterFileLines(const SheetModel& sheet)
{
    const CharacterRecord& r = sheet.Record();
    std::vector<std::string> lines;
    lines.reserve(112);

    lines.emplace_back(kGeneral);
    lines.push_back(Line("NAME", r.Name));
    lines.push_back(Line("HT/WT", Joined(r.Height, '/', r.Weight)));
    lines.push_back(Line("HAIR/EYES", Joined(r.HairColor, '/', r.EyeColor)));
    lines.push_back(Line("DEMEANOR", r.Demeanor));
    lines.push_back(Line("SPECIAL", r.Special));
    lines.push_back(Line("RACE", sheet.RaceName()));
    lines.push_back(Line("YOUTH", sheet.YouthName()));
    lines.push_back(Line("PROFESSION", sheet.ProfessionName()));
    lines.push_back(Line("LEVEL", r.Level));
    lines.push_back(Line("EXP", r.Experience));
    lines.emplace_back();
    lines.push_back(Line("REALM", r.Realm == MagicRealm::Channeling ? "Channeling" : "Essence"));

    lines.emplace_back(kStats);
    for (int stat = 0; stat < kStatCount; ++stat)
        lines.push_back(Line(StatCode(stat), r.Stats[stat].Value));
    lines.emplace_back();

    lines.emplace_back(kSkills);
    for (int row = 0; row < kSkillCount; ++row)
        lines.push_back(SkillLine(r, row));
    lines.emplace_back();

    lines.emplace_back(kArmor);
    lines.push_back(Line("TYPE", r.ArmorType));
    for (const ArmorKey& armor : kArmorKeys)
        lines.push_back(Line(armor.key, std::to_string(static_cast<int>(r.Piece(armor.piece)))));
    lines.emplace_back();

    lines.emplace_back(kLanguages);
    for (const LanguageEntry& language : r.Languages)
        lines.push_back(EncodeSlotLine(language.Name, language.Rank));
    lines.emplace_back();

    lines.emplace_back(kSpells);
    for (const SpellListEntry& spell : r.SpellLists)
        lines.push_back(EncodeSlotLine(spell.Name, spell.Percent));
    lines.emplace_back();

    lines.emplace_back(kMoney);
    for (int coin = 0; coin < kMoneyCount; ++coin)
        lines.push_back(Line(kMoneyKeys[coin], r.Money[coin]));

    lines.emplace_back(kInventory);
    lines.push_back(EncodeNote(r.Inventory));
    lines.emplace_back(kMiscellaneous);
    lines.push_back(EncodeNote(r.Miscellaneous));
    lines.emplace_back(kJournal);
    lines.push_back(EncodeNote(r.Journal));
    lines.emplace_back(kBackground);
    lines.push_back(EncodeNote(r.Background));
    lines.emplace_back(kPicture);
    lines.push_back(r.sPictureFile);
    return lines;
}

Status WriteCharacterFile(const SheetModel& sheet, const std::filesystem::path& path)
{
    // A file that Load would refuse is not written: the character stays on the sheet, whole, and
    // the file on disk stays the last one that can be read back.
    const std::string bytes = EncodeTextLines(CharacterFileLines(sheet));
    if (bytes.size() > kMaxCharacterFileBytes)
        return KeldError(kErrOutOfMemory,
                         "would be larger than " + std::to_string(kMaxCharacterFileBytes >> 20) +
                             " MB, the largest character file that is read back; shorten the notes",
                         PathToUtf8(path));
    return AtomicWriteFile(path, bytes);
}

} // namespace keld
