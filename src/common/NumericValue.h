// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace keld {

// The leading number of a text: blanks, tabs and line feeds anywhere are ignored, then a sign,
// digits, a decimal point, an exponent (E or D), or &H / &O digits are read as far as they go.
// No number at all gives 0. Never fails; a value beyond double range saturates.
double NumericValue(std::string_view text);

// Shortest decimal text of a number: "5", "-10", "2.5", "0.00001"; up to 15 significant digits
// and never an exponent.
std::string NumberText(double value);

// Nearest integer, a half going to the even neighbour (2.5 -> 2, 3.5 -> 4).
double RoundHalfEven(double value);

// Rounded to `places` decimal places with the same tie rule.
double RoundHalfEven(double value, int places);

// Conversions that round half to even and raise error 6 (overflow) when the result does not fit.
std::int16_t ToInt16(double value);
std::int32_t ToInt32(double value);

} // namespace keld
