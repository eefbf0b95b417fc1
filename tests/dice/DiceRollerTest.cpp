// SPDX-License-Identifier: GPL-3.0-or-later
#include "dice/DiceRoller.h"

#include "ScriptedSource.h"
#include "common/NumericValue.h"

#include <gtest/gtest.h>

namespace keld {
namespace {

// Records every value a slot shows, as a window would paint them.
struct ValueRecorder : DiceRollerObserver {
    const DiceRoller* roller = nullptr;
    std::vector<std::string> values;
    void DiceFieldChanged(int slot, DiceField field) override
    {
        if (field == DiceField::Value)
            values.push_back(roller->Slot(slot).value);
    }
};

// Draws of one percentile roll with one spin: two repetitions, the second one counts.
void AddPercentile(std::vector<double>& draws, int tens, int units)
{
    draws.insert(draws.end(), {0.0, 0.0, 0.0, tens / 10.0 + 0.05, units / 10.0 + 0.05});
}

TEST(DiceRoller, RerollRollsOneToTwentyAgainAndPaintsEachResult)
{
    struct Case {
        bool reroll;
        std::vector<std::pair<int, int>> rolls;
        std::vector<std::string> painted;
    };
    const Case cases[] = {
        {true, {{0, 5}, {2, 0}, {2, 1}}, {"05", "20", "21"}},
        {true, {{1, 0}, {0, 0}}, {"10", "00"}},
        {false, {{0, 5}}, {"05"}},
    };
    for (const auto& c : cases) {
        std::vector<double> draws;
        for (auto [tens, units] : c.rolls)
            AddPercentile(draws, tens, units);
        test::ScriptedSource source;
        DiceRoller roller(source.Source(draws));
        ValueRecorder recorder;
        recorder.roller = &roller;
        roller.SetObserver(&recorder);
        roller.SetSpins(1);
        roller.SetReroll(2, c.reroll);
        ASSERT_TRUE(roller.RollSlot(2).Ok());
        EXPECT_EQ(recorder.values, c.painted);
        EXPECT_EQ(*source.drawn, draws.size());
    }
}

TEST(DiceRoller, ExpressionChangeAndGlobalRerollTouchOnlyPercentileBoxes)
{
    DiceRoller roller(MakeSeededSource(1));
    roller.SetExpression(0, "2D6");
    EXPECT_FALSE(roller.Slot(0).rerollVisible);
    EXPECT_FALSE(roller.Slot(0).rerollChecked);
    roller.SetReroll(0, true); // a hidden box cannot be ticked
    EXPECT_FALSE(roller.Slot(0).rerollChecked);

    roller.SetGlobalReroll(false);
    roller.SetExpression(0, "%ILES");
    EXPECT_TRUE(roller.Slot(0).rerollVisible);
    roller.SetExpression(1, "1D20");
    roller.SetGlobalReroll(true);
    EXPECT_FALSE(roller.Slot(1).rerollChecked);

    // "%-ILES" shows every box again, keeping its state.
    roller.SetAllPercentile();
    for (int i = 0; i < DiceRoller::kSlotCount; ++i) {
        EXPECT_EQ(roller.Slot(i).expression, "%TILES");
        EXPECT_TRUE(roller.Slot(i).rerollVisible);
        EXPECT_EQ(roller.Slot(i).rerollChecked, i != 1) << i;
    }
}

TEST(DiceRoller, RollAllGoesOnPastASlotThatCannotRoll)
{
    DiceRoller roller(MakeSeededSource(7));
    const char* expressions[] = {"2D6", "1D40000", "1D2", "%ILES", "3d8", "12D6"};
    for (int i = 0; i < DiceRoller::kSlotCount; ++i)
        roller.SetExpression(i, expressions[i]);
    EXPECT_EQ(roller.RollSlot(1).Error().Number(), kErrOverflow);
    for (int round = 0; round < 200; ++round) {
        roller.RollAll();
        EXPECT_EQ(roller.Slot(1).value, "Value");
        double v0 = NumericValue(roller.Slot(0).value);
        EXPECT_TRUE(v0 >= 2 && v0 <= 12) << v0;
        double v3 = NumericValue(roller.Slot(3).value);
        EXPECT_TRUE(v3 == 0 || v3 >= 21) << roller.Slot(3).value;
        EXPECT_EQ(roller.Slot(5).value, "1");
    }
}

TEST(DiceRoller, BrokenSourceCannotHangAReroll)
{
    DiceRoller roller([] { return 0.15; }); // always "11"
    EXPECT_TRUE(roller.RollSlot(0).Ok());
    EXPECT_EQ(roller.Slot(0).value, "11");
}

} // namespace
} // namespace keld
