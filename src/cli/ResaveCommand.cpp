// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliCommands.h"
#include "cli/StartupCharacter.h"

#include "charfile/CharacterFileWriter.h"
#include "common/TextFile.h"

#include <memory>
#include <string>

namespace keld::cli {

namespace {

struct ResaveOptions {
    std::string in;
    std::string out;
    CharacterOptions character;
};

int RunResave(const ResaveOptions& options)
{
    StartupCharacter character;
    if (!character.Open(options.character, options.in))
        return 1;
    if (Status written = WriteCharacterFile(character.Sheet(), PathFromUtf8(options.out)); !written) {
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
    AddCharacterOptions(*command, options->character);
    command->callback([options, &exitCode] { exitCode = RunResave(*options); });
});

} // namespace

} // namespace keld::cli
