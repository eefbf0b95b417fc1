// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace keld {

// Appends one code point; surrogates and values past U+10FFFF become U+FFFD.
void AppendUtf8(std::string& out, char32_t c);

// Decodes the sequence at `pos` and moves past it; false, with `pos` unchanged, on an invalid,
// truncated or overlong sequence.
bool NextUtf8(std::string_view text, std::size_t& pos, char32_t& out);

} // namespace keld
