#include "DiceRoller.h"

#include "NumericValue.h"
#include "ScriptedSource.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace keld {
namespace {

using testing::ElementsAre;

// Records every value a slot shows, in order, as a window would paint them.
class ValueRecorder : public DiceRollerObserver {
public:
    explicit ValueRecorder(const DiceRoller& roller) : m_roller(roller) {}
    void DiceFieldChanged(int slot, DiceField field) override
    {
        if (field == DiceField::Value)
            values.push_back(m_roller.Slot(slot).value);
    }
    std::vector<std::string> values;

private:
    const DiceRoller& m_roller;
};

// Draws for one percentile roll with one spin: two repetitions, the second one counts.
std::vector<double> PercentileDraws(int tens, int units)
{
    return {0.0, 0.0, 0.0, tens / 10.0 + 0.05, units / 10.0 + 0.05};
}

std::vector<double> Concat(std::initializer_list<std::vector<double>> parts)
{
    std::vector<double> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(DiceRoller, StartsAsTheWindowOpens)
{
    DiceRoller roller(MakeSeededSource(1));
    for (int i = 0; i < DiceRoller::kSlotCount; ++i) {
        EXPECT_EQ(roller.Slot(i).expression, "%ILES");
        EXPECT_EQ(roller.Slot(i).value, "Value");
        EXPECT_TRUE(roller.Slot(i).rerollChecked);
        EXPECT_TRUE(roller.Slot(i).rerollVisible);
    }
    EXPECT_TRUE(roller.GlobalReroll());
    EXPECT_TRUE(std::is_sorted(DiceRoller::kExpressionList.begin(), DiceRoller::kExpressionList.end()));

    roller.SetSpins(0);
    EXPECT_EQ(roller.Spins(), 1);
    roller.SetSpins(1000);
    EXPECT_EQ(roller.SpinsCaption(), "Dice Spins (1 to 500) Times");
}

TEST(DiceRoller, RerollRollsOneToTwentyAgainAndPaintsEachResult)
{
    struct Case {
        const char* name;
        bool reroll;
        std::vector<double> draws;
        std::vector<std::string> painted;
    };
    const Case cases[] = {
        {"20 is rolled again too",
         true,
         Concat({PercentileDraws(0, 5), PercentileDraws(2, 0), PercentileDraws(2, 1)}),
         {"05", "20", "21"}},
        {"00 ends the rerolling", true, Concat({PercentileDraws(1, 0), PercentileDraws(0, 0)}), {"10", "00"}},
        {"without the box a low result stands", false, PercentileDraws(0, 5), {"05"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScriptedSource source(c.draws);
        DiceRoller roller(source.Source());
        ValueRecorder recorder(roller);
        roller.SetObserver(&recorder);
        roller.SetSpins(1);
        roller.SetReroll(2, c.reroll);
        ASSERT_TRUE(roller.RollSlot(2).Ok());
        EXPECT_EQ(recorder.values, c.painted);
        EXPECT_EQ(source.Drawn(), c.draws.size());
        EXPECT_TRUE(roller.Slot(2).fresh);
        roller.MarkValueUsed(2);
        EXPECT_FALSE(roller.Slot(2).fresh);
    }
}

TEST(DiceRoller, ExpressionChangeAndGlobalRerollTouchOnlyPercentileBoxes)
{
    DiceRoller roller(MakeSeededSource(1));
    roller.SetExpression(0, "2D6");
    EXPECT_FALSE(roller.Slot(0).rerollVisible);
    EXPECT_FALSE(roller.Slot(0).rerollChecked);
    // A hidden box cannot be ticked, so a normal expression never loops on low results.
    roller.SetReroll(0, true);
    EXPECT_FALSE(roller.Slot(0).rerollChecked);

    roller.SetGlobalReroll(false);
    roller.SetExpression(0, "%ILES");
    for (int i = 0; i < DiceRoller::kSlotCount; ++i) {
        EXPECT_TRUE(roller.Slot(i).rerollVisible) << i;
        EXPECT_FALSE(roller.Slot(i).rerollChecked) << i;
    }

    roller.SetExpression(1, "1D20");
    roller.SetGlobalReroll(true);
    EXPECT_FALSE(roller.Slot(1).rerollChecked);
    EXPECT_TRUE(roller.Slot(0).rerollChecked);

    // "%-ILES" shows every box again, keeping its ticked state.
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
    roller.SetReroll(3, true);

    auto failed = roller.RollSlot(1);
    ASSERT_FALSE(failed.Ok());
    EXPECT_EQ(failed.Error().Number(), kErrOverflow);

    for (int round = 0; round < 200; ++round) {
        roller.RollAll();
        EXPECT_EQ(roller.Slot(1).value, "Value");
        double v0 = NumericValue(roller.Slot(0).value);
        EXPECT_TRUE(v0 >= 2 && v0 <= 12) << v0;
        EXPECT_TRUE(roller.Slot(2).value == "1" || roller.Slot(2).value == "2");
        const std::string& p = roller.Slot(3).value;
        ASSERT_EQ(p.size(), 2u);
        double v3 = NumericValue(p);
        EXPECT_TRUE(v3 == 0 || v3 >= 21) << p;
        double v4 = NumericValue(roller.Slot(4).value);
        EXPECT_TRUE(v4 >= 3 && v4 <= 24) << v4;
        EXPECT_EQ(roller.Slot(5).value, "1");
    }
}

TEST(DiceRoller, BrokenSourceCannotHangAReroll)
{
    DiceRoller roller([] { return 0.15; }); // always "11"
    roller.SetSpins(1);
    EXPECT_TRUE(roller.RollSlot(0).Ok());
    EXPECT_EQ(roller.Slot(0).value, "11");
}

} // namespace
} // namespace keld
