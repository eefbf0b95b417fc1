// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "character/SheetModel.h"
#include "charfile/CharacterFileReader.h"
#include "common/KeldError.h"
#include "rules/RulesTables.h"

#include <CLI/CLI.hpp>

#include <string>

namespace keld::cli {

// What the commands that work on a character share: where the rules data is, and the option.
struct CharacterOptions {
    std::string dataFolder; // empty: the program folder, then the installed data folder
    bool noOver102 = false;
};

// Adds --data and --no-stats-over-102 to a command.
void AddCharacterOptions(CLI::App& command, CharacterOptions& options);

// The error as the program's error box words it, then where it happened.
void PrintError(const KeldError& error);

// What a character file that was read still has to say, a "warning: " line each.
std::string WarningsText(const CharacterFileWarnings& read);

// The character as the program opens it: the option, New, then the three tables and entry 0 of
// each list. Owns the tables so that they outlive the sheet that points at them.
class StartupCharacter {
public:
    // False, with the error printed, when the rules data or `file` cannot be read. An empty
    // `file` reads nothing. Warnings are printed, at most 100 of a kind and then how many more,
    // and do not fail.
    bool Open(const CharacterOptions& options, const std::string& file);
    SheetModel& Sheet() { return m_sheet; }

private:
    RulesTables m_tables;
    SheetModel m_sheet;
};

} // namespace keld::cli
