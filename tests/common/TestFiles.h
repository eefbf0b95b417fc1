// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/TextFile.h"

#include <filesystem>
#include <string>

namespace keld::test {

// A file the test made or ships, read whole: the program's reader without its size limit.
inline Result<std::string> ReadTestFile(const std::filesystem::path& path)
{
    return ReadRegularFileBytes(path, std::uintmax_t{1} << 40);
}

} // namespace keld::test
