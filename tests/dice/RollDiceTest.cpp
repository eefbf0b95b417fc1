// SPDX-License-Identifier: GPL-3.0-or-later
#include "dice/RollDice.h"

#include "ScriptedSource.h"

#include <gtest/gtest.h>

namespace keld {
namespace {

struct RollCase {
    const char* expression;
    int spins;
    bool percentile;
    std::vector<double> draws; // the first one sets the number of repetitions
    const char* expected;      // nullptr: overflow, nothing drawn
};

// The exact draw count catches a wrong number of repetitions or dice even where the last
// result happens to look right.
TEST(RollDice, ScriptedDraws)
{
    const RollCase cases[] = {
        {"1D10", 1, false, {0.0, 0.5, 0.999}, "10"}, // two repetitions, the last counts
        {"2D6", 1, false, {0.999, 0.1, 0.2, 0.999, 0.0}, "7"},
        {"1D2", 3, false, {0.999, 0.1, 0.1, 0.1, 0.5}, "2"},   // N=3 gives up to 4 repetitions
        {"%ILES", 1, true, {0.0, 0.9, 0.9, 0.05, 0.55}, "05"}, // leading zero kept
        {"2D6%", 1, true, {0.0, 0.0, 0.0, 0.45, 0.72}, "47"},  // any "%" means percentile
        {"3d8", 1, false, {0.0, 0, 0, 0, 0.999, 0.5, 0.0}, "14"},
        {"12D6", 1, false, {0.0, 0.3, 0.9}, "1"}, // one die, no sides
        {"0D6", 1, false, {0.0}, ""},
        {"1D6.5", 1, false, {0.0, 0.0, 0.999}, "6"}, // sides round half to even
        {"1\xC3\xBC"
         "6",
         1,
         false,
         {0.0, 0.0, 0.999},
         "6"},                                     // the third character, not byte
        {"1D-5", 1, false, {0.0, 0.0, 0.5}, "-2"}, // the integer part rounds down
        {"1D32767", 1, false, {0.0, 0.0, 0.99999999}, "32767"},
        {"1D40000", 1, false, {}, nullptr},
        {"1D-1E5", 1, false, {}, nullptr},
        {"%D99999", 1, true, {}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expression);
        test::ScriptedSource source;
        auto result = RollDice(c.expression, c.spins, c.percentile, source.Source(c.draws));
        EXPECT_EQ(*source.drawn, c.draws.size());
        if (!c.expected) {
            ASSERT_FALSE(result.Ok());
            EXPECT_EQ(result.Error().Number(), kErrOverflow);
        } else {
            ASSERT_TRUE(result.Ok()) << result.Error().Detail();
            EXPECT_EQ(*result, c.expected);
        }
    }
}

} // namespace
} // namespace keld
