// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliCommands.h"
#include "cli/StartupCharacter.h"

#include "common/ProgramFolder.h"
#include "common/TextFile.h"
#include "rules/RulesTables.h"

#include <nlohmann/json.hpp>

#include <iostream>
#include <memory>
#include <string>

namespace keld::cli {

namespace {

struct CheckDataOptions {
    std::string folder;
    bool folderGiven = false;
    bool json = false;
};

template <typename Entry> nlohmann::ordered_json TableJson(const std::vector<Entry>& table)
{
    auto entries = nlohmann::ordered_json::array();
    for (const Entry& entry : table) {
        nlohmann::ordered_json item;
        item["name"] = entry.Name;
        item["values"] = entry.Values;
        entries.push_back(std::move(item));
    }
    return entries;
}

int RunCheckData(const CheckDataOptions& options)
{
    const std::filesystem::path folder =
        options.folderGiven ? PathFromUtf8(options.folder) : FindDataFolder(kRaceFileName);
    RulesTables tables;
    Status status = LoadRulesTables(folder, tables);
    if (!status) {
        PrintError(status.Error());
        return 1;
    }

    if (options.json) {
        nlohmann::ordered_json out;
        out["races"] = TableJson(tables.Races);
        out["professions"] = TableJson(tables.Professions);
        out["youth"] = TableJson(tables.Youth);
        // Names are UTF-8 already; replacing stray bytes keeps the output valid JSON whatever happens.
        std::cout << out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << std::endl;
        return 0;
    }

    // Counts include the blank entry 0, the way the sheet's lists show them.
    std::cout << "Rules data in " << PathToUtf8(folder) << '\n'
              << "races: " << tables.Races.size() << " entries\n"
              << "professions: " << tables.Professions.size() << " entries\n"
              << "youth: " << tables.Youth.size() << " entries" << std::endl;
    return 0;
}

const bool registered = RegisterCommand([](CLI::App& app, int& exitCode) {
    auto options = std::make_shared<CheckDataOptions>();
    CLI::App* command = app.add_subcommand(
        "check-data", "Load racemod.txt, profmod.txt and adolmod.txt as start-up does and report the tables");
    CLI::Option* dir = command->add_option(
        "DIR", options->folder,
        "Folder holding the three files (default: the program folder, then the installed data folder)");
    command->add_flag(
        "--json", options->json,
        "Print the tables as JSON, entry 0 first: {\"races\":[{\"name\":...,\"values\":[...]}],...}");
    command->callback([options, dir, &exitCode] {
        options->folderGiven = dir->count() > 0;
        exitCode = RunCheckData(*options);
    });
});

} // namespace

} // namespace keld::cli
