// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliCommands.h"

#include "dice/DiceRoller.h"

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

namespace {

struct RollOptions {
    std::string expression;
    int spins = keld::DiceRoller::kDefaultSpins;
    bool reroll = false;
    long long times = 1;
    std::optional<std::uint64_t> seed;
};

// One slot of the roller does all the rolling, so the command behaves exactly like "Roll Me".
int RunRoll(const RollOptions& options)
{
    keld::DiceRoller roller(options.seed ? keld::MakeSeededSource(*options.seed)
                                         : keld::MakeClockSeededSource());
    roller.SetSpins(options.spins);
    roller.SetExpression(0, options.expression);
    roller.SetReroll(0, options.reroll);

    std::string out;
    for (long long i = 0; i < options.times; ++i) {
        auto status = roller.RollSlot(0);
        if (!status) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            std::fflush(stdout);
            const auto& error = status.Error();
            std::cerr << error.Number() << " " << error.Description() << ": " << error.Detail() << "\n";
            return 1;
        }
        out += roller.Slot(0).value;
        out += '\n';
        if (out.size() >= 1 << 16) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    return 0;
}

const bool registered = keld::cli::RegisterCommand([](CLI::App& app, int& exitCode) {
    auto options = std::make_shared<RollOptions>();
    auto* cmd = app.add_subcommand("roll", "Roll a dice expression as one dice slot does");
    cmd->add_option("EXPR", options->expression,
                    "Dice expression: count, one character, sides (2D6, 1D100); any \"%\" rolls percentile")
        ->required();
    cmd->add_option("--spins", options->spins, "Dice spins setting")
        ->check(CLI::Range(keld::DiceRoller::kMinSpins, keld::DiceRoller::kMaxSpins));
    cmd->add_flag("--reroll", options->reroll, "Roll percentile results 1 to 20 again");
    cmd->add_option("--times", options->times, "Number of rolls, one result per line")
        ->check(CLI::NonNegativeNumber);
    cmd->add_option("--seed", options->seed, "Seed for reproducible rolls (default: the clock)");
    cmd->callback([options, &exitCode] { exitCode = RunRoll(*options); });
});

} // namespace
