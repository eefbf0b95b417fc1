// SPDX-License-Identifier: GPL-3.0-or-later
#include "dice/RollDice.h"

#include "common/NumericValue.h"

#include <cmath>

namespace keld {

namespace {

// Byte offset of the character `count` code points into a UTF-8 text (or its size), so that
// "the third character" means the same for "1ü6" as for "1D6".
std::size_t SkipCharacters(std::string_view text, int count)
{
    std::size_t pos = 0;
    for (int i = 0; i < count && pos < text.size(); ++i) {
        ++pos;
        while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80)
            ++pos;
    }
    return pos;
}

// The rolling formulas take the integer part by rounding down, as Int does for negatives too.
long long IntPart(double value)
{
    return static_cast<long long>(std::floor(value));
}

} // namespace

Result<DiceCounts> ReadDiceExpression(std::string_view expression)
{
    std::size_t second = SkipCharacters(expression, 1);
    std::size_t third = SkipCharacters(expression, 2);
    try {
        DiceCounts counts;
        counts.dice = ToInt16(NumericValue(expression.substr(0, second)));
        counts.sides = ToInt16(NumericValue(expression.substr(third)));
        return counts;
    } catch (const KeldException& e) {
        KeldError error = e.Error();
        error.WithDetail("the dice expression \"" + std::string(expression) +
                         "\" holds a number outside -32768 to 32767");
        return error;
    }
}

bool IsPercentileExpression(std::string_view expression)
{
    return expression.find('%') != std::string_view::npos;
}

Result<std::string> RollDice(std::string_view expression, int spins, bool percentile,
                             const UniformSource& uniform)
{
    auto counts = ReadDiceExpression(expression);
    if (!counts)
        return counts.Error();
    long long dice = counts->dice;
    long long sides = counts->sides;
    long long low = 1;
    if (percentile) {
        dice = 2;
        sides = 9;
        low = 0;
    }

    // Only the last repetition counts; the others are the spinning of the dice. Sums stay far
    // inside the exact integer range of a double, so adding them up as integers and writing the
    // text once gives the same text as re-reading it after every die.
    long long repetitions = IntPart(spins * uniform() + 1) + 1;
    std::string result;
    for (long long rep = 0; rep < repetitions; ++rep) {
        bool last = rep + 1 == repetitions;
        long long sum = 0;
        result.clear();
        for (long long die = 0; die < dice; ++die) {
            long long r =
                IntPart(static_cast<double>(sides - low + 1) * uniform() + static_cast<double>(low));
            if (percentile && last)
                result += std::to_string(r);
            sum += r;
        }
        if (!percentile && last && dice > 0)
            result = NumberText(static_cast<double>(sum));
    }
    return result;
}

} // namespace keld
