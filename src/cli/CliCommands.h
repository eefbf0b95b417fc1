// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <CLI/CLI.hpp>

#include <functional>

namespace keld::cli {

// A subcommand adds itself to the parser; the callback it sets runs the command and its
// return value becomes the exit code (stored through `exitCode`).
using CommandSetup = std::function<void(CLI::App& app, int& exitCode)>;

// Called from a static object in each command's file, so a new command only adds a file.
bool RegisterCommand(CommandSetup setup);

} // namespace keld::cli
