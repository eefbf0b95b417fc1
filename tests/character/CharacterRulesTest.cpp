// SPDX-License-Identifier: GPL-3.0-or-later
#include "character/CharacterRecord.h"
#include "character/CharacterRules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace keld {
namespace {

TEST(StatNormBonus, BonusTableWithAndWithoutOver102)
{
    struct Case {
        double value;
        const char* on;
        const char* off;
    };
    const Case cases[] = {
        {102, "35", "35"},   {101, "30", "30"}, {100, "25", "25"}, {99, "20", "20"},   {98, "20", "20"},
        {97, "15", "15"},    {95, "15", "15"},  {94, "10", "10"},  {90, "10", "10"},   {89, "5", "5"},
        {75, "5", "5"},      {74, "0", "0"},    {25, "0", "0"},    {24, "-5", "-5"},   {10, "-5", "-5"},
        {9, "-10", "-10"},   {5, "-10", "-10"}, {4, "-15", "-15"}, {3, "-15", "-15"},  {2, "-20", "-20"},
        {1, "-25", "-25"},   {0, "00", "00"},   {-5, "00", "00"},  {97.5, "00", "00"}, {74.5, "00", "00"},
        {1.5, "00", "00"},   {103, "40", "00"}, {104, "45", "00"}, {110, "75", "00"},  {150, "275", "00"},
        {102.5, "35", "00"}, // the half goes to the even neighbour, n = 0 ...
        {104.5, "45", "00"}, // ... and n = 2
        {103.5, "45", "00"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StatNormBonus(c.value, true), c.on) << c.value;
        EXPECT_EQ(StatNormBonus(c.value, false), c.off) << c.value;
    }
    // Far beyond the 16-bit range the bonus keeps growing instead of failing.
    EXPECT_EQ(StatNormBonus(10102, true), "50035");
}

TEST(LevelForExp, RangesAndGaps)
{
    const std::pair<double, int> levels[] = {{9999, 0},    {10000, 1},    {19999, 1}, {49999, 4},
                                             {50000, 5},   {69999, 5},    {70000, 6}, {149999, 9},
                                             {150000, 10}, {1000000, 10}, {-5, 0},    {0, 0}};
    for (auto [experience, level] : levels)
        EXPECT_EQ(LevelForExp(experience), level) << experience;
    EXPECT_EQ(LevelForExp(19999.5), std::nullopt);
    EXPECT_EQ(LevelForExp(69999.5), std::nullopt);

    EXPECT_EQ(ExpForLevel(0), "0");
    EXPECT_EQ(ExpForLevel(1), "10000");
    EXPECT_EQ(ExpForLevel(6), "70000");
    EXPECT_EQ(ExpForLevel(10), "150000");
    EXPECT_EQ(ExpForLevel(11), std::nullopt);
    EXPECT_EQ(ExpForLevel(2.5), std::nullopt);
    EXPECT_EQ(ExpForLevel(-1), std::nullopt);
}

TEST(PowerPointMultiplier, InclusiveBands)
{
    const std::pair<double, std::optional<int>> cases[] = {
        {74, std::nullopt},   {75, 1},  {94, 1},  {94.5, std::nullopt},  {95, 2},  {99, 2},
        {99.5, std::nullopt}, {100, 3}, {101, 3}, {101.5, std::nullopt}, {102, 4}, {150, 4},
        {0, std::nullopt}};
    for (auto [stat, multiplier] : cases)
        EXPECT_EQ(PowerPointMultiplier(stat), multiplier) << stat;
}

TEST(IsWholeNumber, WhatTheBoxesAccept)
{
    for (const char* yes :
         {"0", "-5", "+5", " 3 ", "\t3", "2.5", ".5", "5.", "1E3", "1e-3", "1D2", "-0.25E+1"})
        EXPECT_TRUE(IsWholeNumber(yes)) << yes;
    for (const char* no :
         {"", " ", "-", "+", ".", "abc", "5abc", "8 5", "1E", "E3", "--5", "5-", "&H1F", "1,5"})
        EXPECT_FALSE(IsWholeNumber(no)) << no;
}

TEST(NextLanguageRank, CyclesZeroToFive)
{
    const std::pair<const char*, const char*> cases[] = {{"0", "1"},     {"4", "5"},  {"5", "0"},
                                                         {"7", "0"},     {"", "1"},   {"abc", "1"},
                                                         {"2.5", "3.5"}, {"-3", "-2"}};
    for (auto [rank, next] : cases)
        EXPECT_EQ(NextLanguageRank(rank), next) << rank;
}

TEST(RankBarMouse, PressAndDrag)
{
    EXPECT_EQ(BarPressValue(1, 0, 5, 50), 5.0f);
    EXPECT_EQ(BarPressValue(2, 5, 5, 50), 0.0f);
    EXPECT_EQ(BarPressValue(2, 0, 5, 50), std::nullopt); // below the bar: refused
    EXPECT_EQ(BarPressValue(1, 50, 5, 50), std::nullopt);
    EXPECT_EQ(BarPressValue(4, 10, 5, 50), std::nullopt); // middle button does nothing
    EXPECT_EQ(BarPressValue(1, 8, 2, 10), 10.0f);

    // A weapon row's 5% bar is 1815 twips: ten cells of 182 (181.5 to even).
    struct Drag {
        double x;
        std::optional<float> value;
    };
    const Drag drags[] = {{0, 0.0f},     {90, 0.0f},    {92, 5.0f},           {400, 10.0f},
                          {1815, 50.0f}, {1900, 50.0f}, {2000, std::nullopt}, {-200, std::nullopt}};
    for (const Drag& d : drags)
        EXPECT_EQ(BarDragValue(1, 50, 5, 1815, d.x), d.value) << d.x;
    EXPECT_EQ(BarDragValue(2, 50, 5, 1815, 400), std::nullopt); // only with the left button alone
    EXPECT_EQ(BarDragValue(3, 50, 5, 1815, 400), std::nullopt);
    // The 2% bar (735 twips) has five cells of 147.
    EXPECT_EQ(BarDragValue(1, 10, 2, 735, 300), 4.0f);
    // A bar too narrow to divide ignores the pointer instead of dividing by zero.
    EXPECT_EQ(BarDragValue(1, 50, 5, 4, 3), std::nullopt);
}

TEST(FixedLists, ShippedAsGiven)
{
    EXPECT_EQ(BodyArmorEntries()[0], "None");
    EXPECT_EQ(BodyArmorEntries()[4], "Plate");
    EXPECT_EQ(SpellListNames()[0], "Physical Enhancement");
    EXPECT_EQ(SpellListNames()[39], "Creations");
    EXPECT_EQ(std::set(SpellListNames().begin(), SpellListNames().end()).size(), 40u);
    const auto& languages = LanguageNames();
    EXPECT_TRUE(std::is_sorted(languages.begin(), languages.end()));
    EXPECT_EQ(std::adjacent_find(languages.begin(), languages.end()), languages.end());
}

TEST(SkillTable, RowsBarsAndCodes)
{
    EXPECT_EQ(SkillCaption(0), "No Armor:");
    EXPECT_EQ(SkillCaption(23), "Body Dev");
    EXPECT_EQ(SkillCaption(24), "");
    EXPECT_EQ(SkillCaption(35), "Disease RR");
    EXPECT_EQ(StartStatCode(15), "  ");
    EXPECT_EQ(StartStatCode(29), "  ");
    EXPECT_EQ(StartStatCode(24), "  ");
    EXPECT_EQ(StartStatCode(22), "IT");
    const std::pair<int, int> maxima[] = {{0, 10}, {1, 15}, {2, 25},  {3, 35},
                                          {4, 45}, {5, 50}, {28, 50}, {29, 0}};
    for (auto [row, max] : maxima)
        EXPECT_EQ(Ranks5Max(row), max) << row;
    EXPECT_EQ(StatIndexForCode("AP"), 6);
    EXPECT_EQ(StatIndexForCode("ap"), -1);
    EXPECT_EQ(StatIndexForCode("  "), -1);
    EXPECT_EQ(StatChipCaption(6), "  ");
}

} // namespace
} // namespace keld
