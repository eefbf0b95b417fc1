#include "CliCommands.h"

#include "CharacterFileReader.h"
#include "CharacterFileWriter.h"
#include "ProgramFolder.h"
#include "RulesTables.h"
#include "SheetModel.h"
#include "TextFile.h"

#include <iostream>
#include <memory>
#include <string>

namespace keld::cli {

namespace {

struct ResaveOptions {
    std::string in;
    std::string out;
    std::string folder;
};

void PrintError(const KeldError& error)
{
    std::cerr << error.StartupMessage() << '\n' << error.Location() << std::endl;
}

int RunResave(const ResaveOptions& options, bool folderGiven)
{
    // A fresh character as start-up makes it, so that race, youth and profession names resolve.
    RulesTables tables;
    SheetModel sheet;
    sheet.ClearCharacter();
    const std::filesystem::path folder =
        folderGiven ? PathFromUtf8(options.folder) : FindDataFolder(kRaceFileName);
    if (Status loaded = LoadRulesTables(folder, tables); !loaded) {
        PrintError(loaded.Error());
        return 1;
    }
    sheet.FillLists(&tables);

    auto read = ReadCharacterFile(sheet, PathFromUtf8(options.in));
    if (!read) {
        PrintError(read.Error());
        return 1;
    }
    for (const KeldError& warning : read->warnings)
        std::cerr << "warning: " << warning.Location() << std::endl;
    if (Status written = WriteCharacterFile(sheet, PathFromUtf8(options.out)); !written) {
        PrintError(written.Error());
        return 1;
    }
    return 0;
}

const bool registered = RegisterCommand([](CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ResaveOptions>();
    CLI::App* command =
        app.add_subcommand("resave", "Read a character file into a fresh character and write it out");
    command->add_option("IN", options->in, "Character file to read")->required();
    command->add_option("OUT", options->out, "Character file to write")->required();
    CLI::Option* data = command->add_option(
        "--data", options->folder,
        "Folder holding racemod.txt, profmod.txt and adolmod.txt (default: the program folder, then the "
        "installed data folder)");
    command->callback([options, data, &exitCode] { exitCode = RunResave(*options, data->count() > 0); });
});

} // namespace

} // namespace keld::cli
