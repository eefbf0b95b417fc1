#include "CliCommands.h"

#include "CharacterFileReader.h"
#include "ProgramFolder.h"
#include "ReportValues.h"
#include "RtfDocument.h"
#include "RulesTables.h"
#include "SheetModel.h"
#include "TextFile.h"

#include <iostream>
#include <memory>
#include <string>

namespace keld::cli {

namespace {

struct ReportOptions {
    std::string file;
    std::string templateFile;
    std::string out;
    std::string folder;
    bool noOver102 = false;
};

void PrintError(const KeldError& error)
{
    std::cerr << error.StartupMessage() << '\n' << error.Location() << std::endl;
}

int RunReport(const ReportOptions& options, bool folderGiven)
{
    // The character as the program opens it, then the file read into it, as a print command
    // finds it. The tables must outlive the sheet that points at them.
    RulesTables tables;
    SheetModel sheet;
    sheet.SetOver102(!options.noOver102);
    sheet.ClearCharacter();
    const std::filesystem::path folder =
        folderGiven ? PathFromUtf8(options.folder) : FindDataFolder(kRaceFileName);
    if (Status loaded = LoadRulesTables(folder, tables); !loaded) {
        PrintError(loaded.Error());
        return 1;
    }
    sheet.FillLists(&tables);

    auto read = ReadCharacterFile(sheet, PathFromUtf8(options.file));
    if (!read) {
        PrintError(read.Error());
        return 1;
    }
    for (const KeldError& warning : read->warnings)
        std::cerr << "warning: " << warning.Location() << std::endl;

    RtfDocument report;
    if (Status loaded = report.LoadFile(PathFromUtf8(options.templateFile)); !loaded) {
        PrintError(loaded.Error());
        return 1;
    }
    FillData(report, sheet);
    if (Status saved = report.SaveFile(PathFromUtf8(options.out)); !saved) {
        PrintError(saved.Error());
        return 1;
    }
    return 0;
}

const bool registered = RegisterCommand([](CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ReportOptions>();
    CLI::App* command = app.add_subcommand(
        "report", "Read a character file, fill an RTF report template with it and save the report as RTF");
    command->add_option("FILE", options->file, "Character file (.kld) to read")->required();
    command->add_option("TEMPLATE", options->templateFile, "RTF template with placeholders such as [NAME]")
        ->required();
    command->add_option("OUT", options->out, "RTF file to write")->required();
    CLI::Option* data = command->add_option(
        "--data", options->folder,
        "Folder holding racemod.txt, profmod.txt and adolmod.txt (default: the program folder, then the "
        "installed data folder)");
    command->add_flag("--no-stats-over-102", options->noOver102,
                      "Start with the \"Stats Over 102\" option off");
    command->callback([options, data, &exitCode] { exitCode = RunReport(*options, data->count() > 0); });
});

} // namespace

} // namespace keld::cli
