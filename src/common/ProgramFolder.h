// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <vector>

namespace keld {

// The folder that holds the running executable.
std::filesystem::path ProgramFolder();

// Where shipped data files are looked for, in order: the program folder, share/keldcg beside the
// program's folder, then the configured installed data folder.
std::vector<std::filesystem::path> DataFolders();

// The first data folder that holds `fileName`, or the program folder when none does.
std::filesystem::path FindDataFolder(const std::filesystem::path& fileName);

} // namespace keld
