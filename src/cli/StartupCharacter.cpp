// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/StartupCharacter.h"

#include "charfile/CharacterFileReader.h"
#include "common/ProgramFolder.h"
#include "common/TextFile.h"

#include <iostream>

namespace keld::cli {

void AddCharacterOptions(CLI::App& command, CharacterOptions& options)
{
    command.add_option("--data", options.dataFolder,
                       "Folder holding racemod.txt, profmod.txt and adolmod.txt (default: the program "
                       "folder, then the installed data folder)");
    command.add_flag("--no-stats-over-102", options.noOver102,
                     "Start with the \"Stats Over 102\" option off");
}

void PrintError(const KeldError& error)
{
    std::cerr << error.StartupMessage() << '\n' << error.Location() << std::endl;
}

std::string WarningsText(const CharacterFileWarnings& read)
{
    std::string text;
    for (const KeldError& warning : read.warnings)
        text += "warning: " + warning.Location() + "\n";
    for (const KeldError& warning : read.notFound)
        text += "warning: " + warning.Location() + "\n";
    for (const auto* leftOut : {&read.warningsLeftOut, &read.notFoundLeftOut})
        for (const WarningsLeftOut& more : *leftOut)
            text += "warning: " + more.Line() + "\n";
    return text;
}

bool StartupCharacter::Open(const CharacterOptions& options, const std::string& file)
{
    m_sheet.SetOver102(!options.noOver102);
    m_sheet.ClearCharacter();
    const std::filesystem::path folder =
        options.dataFolder.empty() ? FindDataFolder(kRaceFileName) : PathFromUtf8(options.dataFolder);
    if (Status loaded = LoadRulesTables(folder, m_tables); !loaded) {
        PrintError(loaded.Error());
        return false;
    }
    m_sheet.FillLists(&m_tables);
    if (file.empty())
        return true;

    auto read = ReadCharacterFile(m_sheet, PathFromUtf8(file));
    if (!read) {
        PrintError(read.Error());
        return false;
    }
    // One write of them all: a flush per line would cost a system call each.
    std::cerr << WarningsText(*read) << std::flush;
    return true;
}

} // namespace keld::cli
