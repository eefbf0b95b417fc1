// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/KeldError.h"
#include "common/NumericValue.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <string>

using namespace keld;

TEST(NumericValue, ReadsTheLeadingNumber)
{
    struct Case {
        const char* text;
        double expected;
    };
    const Case cases[] = {
        {"85", 85},    {"8 5", 85},     {"8\t5", 85},     {"8\n5", 85},       {" -  1 2", -12},
        {"85abc", 85}, {"", 0},         {"abc", 0},       {"00", 0},          {"+7", 7},
        {"-", 0},      {".5", 0.5},     {"-.25", -0.25},  {"1.5E2", 150},     {"1D2", 100},
        {"1e-1", 0.1}, {"2.5d+1x", 25}, {"1E", 1},        {"1E+", 1},         {"12.", 12},
        {"&H1F", 31},  {"&h1f", 31},    {"&O17", 15},     {"&o18", 1},        {"&H", 0},
        {"&", 0},      {"&X5", 0},      {"--5", 0},       {"1,5", 1},         {"3.5.1", 3.5},
        {"E5", 0},     {"0.1", 0.1},    {"32768", 32768}, {"-32768", -32768}, {"1 e 2", 100},
        {"5\r", 5},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(NumericValue(c.text), c.expected) << '"' << c.text << '"';
}

TEST(NumericValue, SaturatesInsteadOfOverflowing)
{
    EXPECT_EQ(NumericValue("1E999"), DBL_MAX);
    EXPECT_EQ(NumericValue("-1E999"), -DBL_MAX);
    EXPECT_EQ(NumericValue("1E-999"), 0.0);
    EXPECT_EQ(NumericValue(std::string(500, '9')), DBL_MAX);
    EXPECT_DOUBLE_EQ(NumericValue("0." + std::string(300, '0') + "1"), 1e-301);
    EXPECT_DOUBLE_EQ(NumericValue("123456789012345678901234567890123456789012345"), 1.2345678901234568e44);
}

TEST(NumberText, GivesTheShortestDecimalText)
{
    struct Case {
        double value;
        std::string expected;
    };
    const Case cases[] = {
        {5, "5"},
        {-10, "-10"},
        {0, "0"},
        {-0.0, "0"},
        {2.5, "2.5"},
        {0.1 + 0.2, "0.3"},
        {-0.5, "-0.5"},
        {1.6, "1.6"},
        {123456789012345, "123456789012345"},
        {1e15, "1000000000000000"},
        {1234567890123456789.0, "1234567890123460000"},
        {0.0001, "0.0001"},
        {0.00001, "0.00001"},
        {-1.5e-7, "-0.00000015"},
        {1.0 / 3.0, "0.333333333333333"},
        {2.0 / 3.0, "0.666666666666667"},
        {DBL_MAX, "179769313486232" + std::string(294, '0')},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NumberText(c.value), c.expected) << c.value;
}

TEST(RoundHalfEven, SendsHalvesToTheEvenNeighbour)
{
    struct Case {
        double value;
        double expected;
    };
    const Case cases[] = {{2.5, 2}, {3.5, 4}, {-1.5, -2}, {-2.5, -2}, {0.5, 0},
                          {1.4, 1}, {1.6, 2}, {-0.4, 0},  {7, 7},     {32767.5, 32768}};
    for (const auto& c : cases)
        EXPECT_EQ(RoundHalfEven(c.value), c.expected) << c.value;

    EXPECT_DOUBLE_EQ(RoundHalfEven(0.25, 1), 0.2);
    EXPECT_DOUBLE_EQ(RoundHalfEven(0.75, 1), 0.8);
    EXPECT_DOUBLE_EQ(RoundHalfEven(100.0 / 64.0, 1), 1.6);
}

TEST(IntegerConversion, RaisesOverflowOutsideTheTargetWidth)
{
    EXPECT_EQ(ToInt16(32767), 32767);
    EXPECT_EQ(ToInt16(-32768), -32768);
    EXPECT_EQ(ToInt16(2.5), 2);
    EXPECT_EQ(ToInt16(-32768.5), -32768);
    EXPECT_EQ(ToInt32(2147483647), 2147483647);
    for (double bad : {32768.0, -32769.0, 32767.5}) {
        try {
            ToInt16(bad);
            ADD_FAILURE() << bad << " did not overflow";
        } catch (const KeldException& e) {
            EXPECT_EQ(e.Error().Number(), kErrOverflow);
            EXPECT_EQ(e.Error().Description(), "Overflow");
        }
    }
    EXPECT_THROW(ToInt32(2147483648.0), KeldException);
    EXPECT_THROW(ToInt32(DBL_MAX), KeldException);
}

TEST(KeldError, FormatsTheStartupMessageAndLocation)
{
    KeldError e(kErrFileNotFound, "cannot be opened", "/data/racemod.txt");
    EXPECT_EQ(e.StartupMessage(), "53 File not found has occurred in KELDCharGen");
    EXPECT_EQ(e.Location(), "/data/racemod.txt: cannot be opened");
    e.At("profmod.txt", 4).WithDetail("fewer than 10 commas");
    EXPECT_EQ(e.Location(), "profmod.txt:4: fewer than 10 commas");
    EXPECT_EQ(ErrorDescription(5), "Invalid procedure call or argument");
    EXPECT_EQ(ErrorDescription(13), "Type mismatch");
    EXPECT_EQ(ErrorDescription(32755), "Cancel was selected.");
}
