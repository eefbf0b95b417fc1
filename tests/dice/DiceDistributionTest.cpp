#include "DiceRoller.h"

#include "NumericValue.h"

#include <gtest/gtest.h>

#include <map>

namespace keld {
namespace {

struct DistributionCase {
    const char* name;
    const char* expression;
    bool reroll;
    // Every possible result text and its probability.
    std::map<std::string, double> expected;
    // Chi-square at p = 0.001 for (number of results - 1) degrees of freedom.
    double critical;
};

std::map<std::string, double> TwoD6()
{
    std::map<std::string, double> p;
    for (int s = 2; s <= 12; ++s)
        p[std::to_string(s)] = (6 - std::abs(s - 7)) / 36.0;
    return p;
}

std::map<std::string, double> OneD100()
{
    std::map<std::string, double> p;
    for (int s = 1; s <= 100; ++s)
        p[std::to_string(s)] = 0.01;
    return p;
}

std::map<std::string, double> Percentile(bool reroll)
{
    std::map<std::string, double> p;
    for (int s = 0; s <= 99; ++s) {
        if (reroll && s >= 1 && s <= 20)
            continue;
        std::string text = (s < 10 ? "0" : "") + std::to_string(s);
        p[text] = reroll ? 1.0 / 80 : 0.01;
    }
    return p;
}

// A fixed seed makes the check repeatable; the bound is the 0.1% tail, so a faithful roller
// passes with room to spare and a skewed one (an off-by-one face, a lost reroll) fails.
TEST(DiceDistribution, ChiSquareWithinBound)
{
    const DistributionCase cases[] = {
        {"2D6", "2D6", false, TwoD6(), 29.588},
        {"1D100", "1D100", false, OneD100(), 148.230},
        {"percentile", "%ILES", false, Percentile(false), 148.230},
        {"percentile with reroll", "%ILES", true, Percentile(true), 123.594},
    };
    constexpr int kRolls = 100000;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DiceRoller roller(MakeSeededSource(20240607));
        roller.SetExpression(0, c.expression);
        roller.SetReroll(0, c.reroll);
        std::map<std::string, int> counts;
        for (int i = 0; i < kRolls; ++i) {
            ASSERT_TRUE(roller.RollSlot(0).Ok());
            const std::string& v = roller.Slot(0).value;
            ASSERT_TRUE(c.expected.count(v)) << "impossible result " << v;
            ++counts[v];
        }
        double chi2 = 0;
        for (const auto& [text, p] : c.expected) {
            double e = p * kRolls;
            double d = counts[text] - e;
            chi2 += d * d / e;
        }
        EXPECT_LT(chi2, c.critical);
    }
}

} // namespace
} // namespace keld
