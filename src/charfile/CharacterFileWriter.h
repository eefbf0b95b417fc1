// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "character/SheetModel.h"
#include "common/KeldError.h"

#include <filesystem>
#include <string>
#include <vector>

namespace keld {

// The lines of the character file for the open character, without line ends. Each note is one
// element holding its own CR LF line ends, so that joining the elements with CR LF gives the file.
std::vector<std::string> CharacterFileLines(const SheetModel& sheet);

// Saves the open character. The file is written beside the target and renamed over it, so a
// failed save leaves the previous file exactly as it was; the error names the path and the reason.
// Nothing in the character changes: it is saved as the record holds it, so a caller with views
// hands over their held edits first (SheetModel::HandOverHeldEdits).
Status WriteCharacterFile(const SheetModel& sheet, const std::filesystem::path& path);

} // namespace keld
