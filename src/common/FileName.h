// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace keld {

// The file name offered for a character called `name` (UTF-8): `name` + "." + extension, with
// what a file name cannot hold (/ \ : * ? " < > | and control characters) made "_", without
// leading or trailing dots and blanks, cut to leave room for the extension; a name left empty
// becomes `fallback`. The save dialogs offer it, and keldcg-cli party names its files by it.
std::string OfferedFileNameUtf8(std::string_view name, std::string_view extension,
                                std::string_view fallback = "character");

} // namespace keld
