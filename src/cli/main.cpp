// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliCommands.h"

#include <vector>

namespace keld::cli {

static std::vector<CommandSetup>& Registry()
{
    static std::vector<CommandSetup> commands;
    return commands;
}

bool RegisterCommand(CommandSetup setup)
{
    Registry().push_back(std::move(setup));
    return true;
}

} // namespace keld::cli

int main(int argc, char** argv)
{
    CLI::App app{"KELD Character Generator, headless tool"};
    app.require_subcommand(1);
    int exitCode = 0;
    for (auto& setup : keld::cli::Registry())
        setup(app, exitCode);
    CLI11_PARSE(app, argc, argv);
    return exitCode;
}
