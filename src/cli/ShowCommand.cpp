// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliCommands.h"
#include "cli/StartupCharacter.h"

#include "character/SheetModel.h"
#include "common/NumericValue.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <iostream>
#include <memory>
#include <string>

namespace keld::cli {

namespace {

using Json = nlohmann::ordered_json;

struct ShowOptions {
    std::string file;
    CharacterOptions character;
};

// Bar values are single precision; whole values print as integers.
Json BarValue(float value)
{
    if (std::floor(value) == value && std::fabs(value) < 1e15f)
        return static_cast<long long>(value);
    return static_cast<double>(value);
}

int StateNumber(CheckState state)
{
    return static_cast<int>(state);
}

Json SheetJson(const SheetModel& sheet)
{
    const CharacterRecord& r = sheet.Record();
    Json out;
    out["Title"] = sheet.Title();
    out["Name"] = r.Name;
    out["Height"] = r.Height;
    out["Weight"] = r.Weight;
    out["HairColor"] = r.HairColor;
    out["EyeColor"] = r.EyeColor;
    out["Demeanor"] = r.Demeanor;
    out["Special"] = r.Special;
    out["RaceIndex"] = r.RaceIndex;
    out["Race"] = sheet.RaceName();
    out["YouthIndex"] = r.YouthIndex;
    out["Youth"] = sheet.YouthName();
    out["ProfessionIndex"] = r.ProfessionIndex;
    out["Profession"] = sheet.ProfessionName();
    out["Level"] = r.Level;
    out["Experience"] = r.Experience;
    // The spinner has no text of its own; its position goes out as the text it would show.
    out["LevelSpin"] = NumberText(sheet.LevelSpin());
    out["Realm"] = r.Realm == MagicRealm::Channeling ? "Channeling" : "Essence";
    out["PowerPoints"] = r.PowerPoints;

    Json stats = Json::array();
    for (int i = 0; i < kStatCount; ++i) {
        const StatEntry& stat = r.Stats[i];
        stats.push_back(Json{{"Code", std::string(StatCode(i))},
                             {"Value", stat.Value},
                             {"Norm", stat.Norm},
                             {"Race", stat.Race},
                             {"Total", stat.Total}});
    }
    out["Stats"] = std::move(stats);

    Json skills = Json::array();
    for (int row = 0; row < kSkillCount; ++row) {
        const SkillRow& skill = r.Skills[row];
        const BarState five = sheet.Bar(RankBar::Five, row);
        const BarState two = sheet.Bar(RankBar::Two, row);
        Json item;
        item["Row"] = row;
        item["Caption"] = std::string(SkillCaption(row));
        item["SecondaryName"] = skill.SecondaryName;
        item["StatCode"] = skill.StatCode;
        item["Ranks5"] = BarValue(five.Value);
        item["Ranks2"] = BarValue(two.Value);
        item["Bar2Visible"] = two.Shown;
        item["Bar2Enabled"] = two.Enabled;
        item["Rank"] = skill.Rank;
        item["Stat"] = skill.Stat;
        item["Prof"] = skill.Prof;
        item["Item1"] = skill.Item1;
        item["Item1Locked"] = sheet.Item1Locked(row);
        item["Item2"] = skill.Item2;
        item["Spec1"] = skill.Spec1;
        item["Spec2"] = skill.Spec2;
        item["Total"] = skill.Total;
        skills.push_back(std::move(item));
    }
    out["Skills"] = std::move(skills);

    out["ArmorType"] = r.ArmorType;
    out["Helm"] = StateNumber(r.Helm);
    out["Shield"] = StateNumber(r.Shield);
    out["ArmGreaves"] = StateNumber(r.ArmGreaves);
    out["LegGreaves"] = StateNumber(r.LegGreaves);

    Json languages = Json::array();
    for (const LanguageEntry& language : r.Languages)
        languages.push_back(Json{{"Name", language.Name}, {"Rank", language.Rank}});
    out["Languages"] = std::move(languages);
    Json spells = Json::array();
    for (const SpellListEntry& spell : r.SpellLists)
        spells.push_back(Json{{"Name", spell.Name}, {"Percent", spell.Percent}});
    out["SpellLists"] = std::move(spells);

    out["Money"] = r.Money;
    out["MoneyWeight"] = r.MoneyWeight;
    out["Background"] = r.Background;
    out["Inventory"] = r.Inventory;
    out["Miscellaneous"] = r.Miscellaneous;
    out["Journal"] = r.Journal;
    out["PictureFile"] = r.sPictureFile;
    return out;
}

int RunShow(const ShowOptions& options)
{
    StartupCharacter character;
    if (!character.Open(options.character, options.file))
        return 1;
    std::cout << SheetJson(character.Sheet()).dump(2, ' ', false, Json::error_handler_t::replace)
              << std::endl;
    return 0;
}

const bool registered = RegisterCommand([](CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ShowOptions>();
    CLI::App* command =
        app.add_subcommand("show", "Set up a character as the program does at start-up, read FILE into it if "
                                   "given, and print the whole sheet as JSON");
    command->add_option("FILE", options->file, "Character file (.kld) to read");
    AddCharacterOptions(*command, options->character);
    command->callback([options, &exitCode] { exitCode = RunShow(*options); });
});

} // namespace

} // namespace keld::cli
