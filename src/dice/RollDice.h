// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/KeldError.h"
#include "dice/UniformSource.h"

#include <string>
#include <string_view>

namespace keld {

// What a dice expression asks for, read positionally: the first character is the number of
// dice, the text from the third character on is the number of sides.
struct DiceCounts {
    int dice = 0;
    int sides = 0;
};

// Error 6 when a count does not fit a 16-bit signed integer.
Result<DiceCounts> ReadDiceExpression(std::string_view expression);

// Any "%" anywhere makes an expression a percentile one.
bool IsPercentileExpression(std::string_view expression);

// Rolls `expression` Int(spins * u + 1) + 1 times and returns the last roll: the sum of the dice
// as a number text, or for a percentile roll two digits "00".."99". Zero dice give "".
// Fails (error 6, nothing drawn) when the expression holds a number outside 16 bits.
Result<std::string> RollDice(std::string_view expression, int spins, bool percentile,
                             const UniformSource& uniform);

} // namespace keld
