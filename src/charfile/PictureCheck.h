// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/KeldError.h"

#include <filesystem>

namespace keld {

// Whether the file at `path` is a picture the program takes (CheckPicture: BMP, GIF, JPEG or PNG,
// within its size bounds, whole). The error says why not: a missing file is error 53, a file that
// is no such picture error 481.
Status CheckPictureFile(const std::filesystem::path& path);

} // namespace keld
