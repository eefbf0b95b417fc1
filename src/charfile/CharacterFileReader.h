// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "character/SheetModel.h"
#include "charfile/CharacterFilePlan.h"
#include "common/KeldError.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace keld {

// Character files larger than this are refused unread (error 7).
inline constexpr std::uintmax_t kMaxCharacterFileBytes = std::uintmax_t{4} << 20;

// Checks whether a picture path can be shown; CheckPictureFile by default.
using PictureChecker = std::function<Status(const std::string& path)>;

// A file may repeat a faulty line a million times: past this many warnings of one kind the rest
// are only counted, so neither the memory kept nor what is printed grows with them.
inline constexpr std::size_t kMaxWarningsOfAKind = 100;

// Warnings of one kind past the first kMaxWarningsOfAKind.
struct WarningsLeftOut {
    std::string kind;      // what they say, as "race not found in racemod.txt"
    std::size_t count = 0; // how many were left out
    // "... and 499,900 more warnings of this kind (race not found in racemod.txt)"
    std::string Line() const;
};

// What a load that succeeded still has to tell: pictures that could not be loaded, and race,
// youth or profession names that the rules files do not have (those selections are left blank).
// Each list keeps the first kMaxWarningsOfAKind of each kind; the *LeftOut lists count the rest.
struct CharacterFileWarnings {
    std::vector<KeldError> warnings;
    std::vector<KeldError> notFound;
    std::vector<WarningsLeftOut> warningsLeftOut;
    std::vector<WarningsLeftOut> notFoundLeftOut;
};

// Reads a character file into the open character. The whole file is checked first: a file that
// cannot be opened or holds a failing line changes nothing and gives the error with the file,
// the line and what is wrong. A good file empties the money and notes (ClearForm) and then
// writes each value through the sheet's rules in the order of its lines. A relative picture path
// is looked for beside the file first (SheetModel::PictureFileToOpen). A picture that cannot be
// loaded keeps its path and comes back as a warning; a name missing from the rules data selects
// the blank entry and comes back in `notFound`.
Result<CharacterFileWarnings> ReadCharacterFile(SheetModel& sheet, const std::filesystem::path& path,
                                                const PictureChecker& checkPicture = {});

// The same for file contents already in memory; `fileName` names the file in errors.
Result<CharacterFileWarnings> ReadCharacterText(SheetModel& sheet, std::string_view bytes,
                                                const std::string& fileName,
                                                const PictureChecker& checkPicture = {});

// Applies a checked file to the open character: ClearForm, then every planned write in order.
CharacterFileWarnings ApplyCharacterFile(SheetModel& sheet, const CharacterFilePlan& plan,
                                         const std::string& fileName,
                                         const PictureChecker& checkPicture = {});

} // namespace keld
