#include "RollDice.h"

#include "ScriptedSource.h"

#include <gtest/gtest.h>

namespace keld {
namespace {

struct RollCase {
    const char* name;
    const char* expression;
    int spins;
    bool percentile;
    std::vector<double> draws; // the first one sets the number of repetitions
    const char* expected;      // nullptr: the roll fails with overflow and draws nothing
};

// Each case scripts every draw; the count drawn must match exactly, so a wrong number of
// repetitions or dice shows up even where the last result would look right.
const RollCase kRollCases[] = {
    {"last of two repetitions counts", "1D10", 1, false, {0.0, 0.5, 0.999}, "10"},
    {"lowest face is one", "1D10", 1, false, {0.0, 0.999, 0.0}, "1"},
    {"two dice are summed", "2D6", 1, false, {0.999, 0.1, 0.2, 0.999, 0.0}, "7"},
    {"two dice at most", "2D6", 1, false, {0.0, 0.0, 0.0, 0.9999, 0.9999}, "12"},
    {"spins give up to N+1 repetitions", "1D2", 3, false, {0.999, 0.1, 0.1, 0.1, 0.5}, "2"},
    {"percentile keeps a leading zero", "%ILES", 1, true, {0.0, 0.9, 0.9, 0.05, 0.55}, "05"},
    {"percentile double zero", "%ILES", 1, true, {0.0, 0.3, 0.3, 0.0, 0.0}, "00"},
    {"percentile top", "%TILES", 1, true, {0.0, 0.0, 0.0, 0.999, 0.999}, "99"},
    {"percentile ignores the rest", "2D6%", 1, true, {0.0, 0.0, 0.0, 0.45, 0.72}, "47"},
    {"lower-case d and three dice", "3d8", 1, false, {0.0, 0, 0, 0, 0.999, 0.5, 0.0}, "14"},
    {"count is the first character only", "12D6", 1, false, {0.0, 0.3, 0.9}, "1"},
    {"zero dice give an empty result", "0D6", 1, false, {0.0}, ""},
    {"a letter first means zero dice", "D6", 1, false, {0.0}, ""},
    {"blanks in the sides are ignored", "1D 6", 1, false, {0.0, 0.0, 0.999}, "6"},
    {"half sides round to even, down", "1D6.5", 1, false, {0.0, 0.0, 0.999}, "6"},
    {"half sides round to even, up", "1D7.5", 1, false, {0.0, 0.0, 0.999}, "8"},
    {"characters, not bytes",
     "1\xC3\xBC"
     "6",
     1,
     false,
     {0.0, 0.0, 0.999},
     "6"},
    {"largest 16-bit side count", "1D32767", 1, false, {0.0, 0.0, 0.99999999}, "32767"},
    {"negative sides round down", "1D-5", 1, false, {0.0, 0.0, 0.5}, "-2"},
    {"sides above 16 bits", "1D40000", 1, false, {}, nullptr},
    {"sides below 16 bits", "1D-40000", 1, false, {}, nullptr},
    {"exponent sides above 16 bits", "1D1E5", 1, false, {}, nullptr},
    {"percentile with a huge number", "%D99999", 1, true, {}, nullptr},
};

class RollDiceCases : public testing::TestWithParam<RollCase> {};

TEST_P(RollDiceCases, GivesTheScriptedResult)
{
    const RollCase& c = GetParam();
    test::ScriptedSource source(c.draws);
    auto result = RollDice(c.expression, c.spins, c.percentile, source.Source());
    if (!c.expected) {
        ASSERT_FALSE(result.Ok());
        EXPECT_EQ(result.Error().Number(), kErrOverflow);
        EXPECT_EQ(source.Drawn(), 0u);
        return;
    }
    ASSERT_TRUE(result.Ok()) << result.Error().Detail();
    EXPECT_EQ(*result, c.expected);
    EXPECT_EQ(source.Drawn(), c.draws.size());
}

INSTANTIATE_TEST_SUITE_P(Table, RollDiceCases, testing::ValuesIn(kRollCases),
                         [](const testing::TestParamInfo<RollCase>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

TEST(UniformSource, SeededSourceRepeatsAndStaysBelowOne)
{
    auto a = MakeSeededSource(42);
    auto b = MakeSeededSource(42);
    for (int i = 0; i < 10000; ++i) {
        double u = a();
        ASSERT_EQ(u, b());
        ASSERT_GE(u, 0.0);
        ASSERT_LT(u, 1.0);
    }
}

} // namespace
} // namespace keld
