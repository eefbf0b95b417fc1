#include "CliCommands.h"
#include "StartupCharacter.h"

#include "ReportValues.h"
#include "RtfDocument.h"
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
    CharacterOptions character;
};

int RunReport(const ReportOptions& options)
{
    // The character as a print command finds it: opened as at start-up, then the file read in.
    StartupCharacter character;
    if (!character.Open(options.character, options.file))
        return 1;

    RtfDocument report;
    if (Status loaded = report.LoadFile(PathFromUtf8(options.templateFile)); !loaded) {
        PrintError(loaded.Error());
        return 1;
    }
    FillData(report, character.Sheet());
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
    AddCharacterOptions(*command, options->character);
    command->callback([options, &exitCode] { exitCode = RunReport(*options); });
});

} // namespace

} // namespace keld::cli
