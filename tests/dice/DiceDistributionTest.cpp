// SPDX-License-Identifier: GPL-3.0-or-later
#include "dice/DiceRoller.h"

#include <gtest/gtest.h>

#include <map>

namespace keld {
namespace {

// Every possible result text with its probability.
std::map<std::string, double> Faces(const char* kind)
{
    std::map<std::string, double> p;
    std::string k = kind;
    if (k == "2D6")
        for (int s = 2; s <= 12; ++s)
            p[std::to_string(s)] = (6 - std::abs(s - 7)) / 36.0;
    if (k == "1D100")
        for (int s = 1; s <= 100; ++s)
            p[std::to_string(s)] = 0.01;
    for (int s = 0; s <= 99 && k[0] == '%'; ++s)
        if (k == "%" || s == 0 || s > 20)
            p[(s < 10 ? "0" : "") + std::to_string(s)] = k == "%" ? 0.01 : 1.0 / 80;
    return p;
}

// A fixed seed keeps the check repeatable; the bound is the 0.1% tail of chi-square, so a
// faithful roller passes with room to spare and an off-by-one face or a lost reroll fails.
TEST(DiceDistribution, ChiSquareWithinBound)
{
    struct Case {
        const char* expression;
        bool reroll;
        const char* kind;
        double critical; // p = 0.001, results - 1 degrees of freedom
    };
    const Case cases[] = {
        {"2D6", false, "2D6", 29.588},
        {"1D100", false, "1D100", 148.230},
        {"%ILES", false, "%", 148.230},
        {"%ILES", true, "%reroll", 123.594},
    };
    constexpr int kRolls = 100000;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        auto expected = Faces(c.kind);
        DiceRoller roller(MakeSeededSource(20240607));
        roller.SetExpression(0, c.expression);
        roller.SetReroll(0, c.reroll);
        std::map<std::string, int> counts;
        for (int i = 0; i < kRolls; ++i) {
            ASSERT_TRUE(roller.RollSlot(0).Ok());
            ASSERT_TRUE(expected.count(roller.Slot(0).value)) << roller.Slot(0).value;
            ++counts[roller.Slot(0).value];
        }
        double chi2 = 0;
        for (const auto& [text, p] : expected)
            chi2 += (counts[text] - p * kRolls) * (counts[text] - p * kRolls) / (p * kRolls);
        EXPECT_LT(chi2, c.critical);
    }
}

} // namespace
} // namespace keld
