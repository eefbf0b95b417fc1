// SPDX-License-Identifier: GPL-3.0-or-later
#include "SheetFixture.h"

namespace keld::test {
namespace {

constexpr int kClimb = 11;
constexpr int kEdged = 5;

class RankTest : public SheetTest {
protected:
    void Click(RankBar bar, int row, int button, int times = 1)
    {
        for (int i = 0; i < times; ++i) {
            sheet.BarMouseDown(bar, row, button);
            sheet.BarMouseUp(bar, row);
        }
    }
};

TEST_F(RankTest, ClicksOnTheBars)
{
    Click(RankBar::Five, kClimb, 1);
    EXPECT_EQ(Row(kClimb).Rank, "5");
    EXPECT_EQ(Row(kClimb).Total, "5"); // up by 30 from -25

    Click(RankBar::Five, 13, 2); // right click on an empty bar
    EXPECT_EQ(Row(13).Rank, "-25");
    EXPECT_EQ(Row(13).Ranks5, 0);

    Click(RankBar::Five, kEdged, 1, 10);
    EXPECT_EQ(Row(kEdged).Rank, "50");
    EXPECT_TRUE(sheet.Bar(RankBar::Two, kEdged).Shown);
    Click(RankBar::Five, kEdged, 1);
    EXPECT_EQ(Row(kEdged).Rank, "50");
    Click(RankBar::Two, kEdged, 1, 5);
    EXPECT_EQ(Row(kEdged).Rank, "60");
    Click(RankBar::Two, kEdged, 1);
    EXPECT_EQ(Row(kEdged).Rank, "60");

    Click(RankBar::Two, kEdged, 2, 3); // down to 4 points of 2% ranks
    EXPECT_EQ(Row(kEdged).Rank, "54");
    Click(RankBar::Five, kEdged, 2);
    EXPECT_EQ(Row(kEdged).Rank, "45"); // not 49: the 2% ranks go with the full bar
    EXPECT_EQ(Row(kEdged).Ranks5, 45);
    EXPECT_EQ(Row(kEdged).Ranks2, 0);
    EXPECT_FALSE(sheet.Bar(RankBar::Two, kEdged).Shown);
    EXPECT_FALSE(sheet.Bar(RankBar::Two, kEdged).Enabled);
    Click(RankBar::Two, kEdged, 1); // a hidden bar takes no clicks
    EXPECT_EQ(Row(kEdged).Ranks2, 0);

    Click(RankBar::Five, 0, 1, 5); // No Armor takes two ranks and never shows a 2% bar
    EXPECT_EQ(Row(0).Rank, "10");
    EXPECT_FALSE(sheet.Bar(RankBar::Two, 0).Shown);
    Click(RankBar::Five, 4, 1, 12);
    EXPECT_EQ(Row(4).Rank, "45");
    EXPECT_FALSE(sheet.Bar(RankBar::Two, 4).Shown);

    Click(RankBar::Five, 14, 3); // neither left nor right
    EXPECT_EQ(Row(14).Rank, "-25");
}

TEST_F(RankTest, DraggingSnapsToCells)
{
    sheet.BarMouseDown(RankBar::Five, kEdged, 1);
    sheet.BarMouseMove(RankBar::Five, kEdged, 1, 400);
    EXPECT_EQ(Row(kEdged).Ranks5, 10);
    sheet.BarMouseMove(RankBar::Five, kEdged, 1, 1815);
    EXPECT_EQ(Row(kEdged).Ranks5, 50);
    sheet.BarMouseMove(RankBar::Five, kEdged, 1, 2500); // past the end: stays at the last cell
    EXPECT_EQ(Row(kEdged).Ranks5, 50);
    sheet.BarMouseMove(RankBar::Five, kEdged, 2, 0); // right button held: nothing
    EXPECT_EQ(Row(kEdged).Ranks5, 50);
    sheet.BarMouseUp(RankBar::Five, kEdged);
    EXPECT_EQ(Row(kEdged).Rank, "50");
    EXPECT_TRUE(sheet.Bar(RankBar::Two, kEdged).Shown);
    sheet.BarMouseMove(RankBar::Five, 24, 1, 600, 1455); // a secondary row, its own width
    EXPECT_EQ(Row(24).Ranks5, 20);
}

TEST_F(RankTest, RankTextsRebuildTheBars)
{
    struct Case {
        int row;
        const char* rank;
        float ranks5;
        float ranks2;
        bool bar2;
        const char* total;
    };
    // Each row starts empty (Climb -25 with no other bonus).
    const Case cases[] = {
        {kEdged, "55", 50, 5, true, "55"},  {kEdged, "50", 50, 0, true, "50"},
        {kClimb, "35", 35, 0, false, "35"}, {kClimb, "-10", 0, 0, false, "-10"},
        {kClimb, "0", 0, 0, false, "0"},    {kClimb, "2.5", 2.5f, 0, false, "2.5"},
        {0, "15", 10, 5, false, "15"}, // an armour row never shows its 2% bar
    };
    for (const Case& c : cases) {
        sheet.ClearCharacter();
        EXPECT_TRUE(sheet.WriteSkillRank(c.row, c.rank));
        EXPECT_EQ(Row(c.row).Ranks5, c.ranks5) << c.rank;
        EXPECT_EQ(Row(c.row).Ranks2, c.ranks2) << c.rank;
        EXPECT_EQ(sheet.Bar(RankBar::Two, c.row).Shown, c.bar2) << c.rank;
        EXPECT_EQ(Row(c.row).Total, c.total) << c.rank;
    }
    // A rank the bars cannot show leaves them as they were; the total counts the text.
    sheet.ClearCharacter();
    EXPECT_TRUE(sheet.WriteSkillRank(kEdged, "55"));
    EXPECT_TRUE(sheet.WriteSkillRank(kEdged, "70"));
    EXPECT_EQ(Row(kEdged).Ranks5, 50);
    EXPECT_EQ(Row(kEdged).Ranks2, 5);
    EXPECT_EQ(Row(kEdged).Total, "70");
    sheet.lblRank_Click(kEdged);
    EXPECT_EQ(Row(kEdged).Rank, "55");
}

TEST_F(RankTest, YouthRanksAppliedAndTakenBack)
{
    int refreshes = 0;
    sheet.SetProcessEvents([&] { ++refreshes; });
    EXPECT_TRUE(sheet.SelectYouth(3));
    EXPECT_EQ(refreshes, kBarRowCount);
    EXPECT_EQ(Row(0).Rank, "5");
    EXPECT_EQ(Row(kClimb).Rank, "10");

    EXPECT_TRUE(sheet.SelectYouth(5));
    EXPECT_EQ(Row(0).Rank, "-25");
    EXPECT_EQ(Row(kClimb).Rank, "5");
    EXPECT_EQ(Row(22).Rank, "15"); // Perception takes value 23 ...
    EXPECT_EQ(Row(23).Rank, "5");  // ... and Body Dev value 22
    EXPECT_EQ(sheet.OldYouthIndex(), 5);
    EXPECT_EQ(sheet.CurrYouthIndex(), 5);

    refreshes = 0;
    EXPECT_TRUE(sheet.SelectYouth(5)); // the same entry again
    EXPECT_EQ(refreshes, 0);
    EXPECT_EQ(Row(22).Rank, "15");

    EXPECT_TRUE(sheet.SelectYouth(0));
    for (int row : {0, kClimb, 22, 23})
        EXPECT_EQ(Row(row).Rank, "-25") << row;

    // Ranks beyond a bar's maximum are dropped when applied but taken back in full.
    EXPECT_TRUE(sheet.WriteSkillRank(1, "5"));
    EXPECT_TRUE(sheet.SelectYouth(4));
    EXPECT_EQ(Row(1).Rank, "15");
    EXPECT_EQ(Row(kEdged).Rank, "50");
    EXPECT_TRUE(sheet.Bar(RankBar::Two, kEdged).Shown);
    EXPECT_TRUE(sheet.SelectYouth(0));
    EXPECT_EQ(Row(1).Rank, "-25");
    EXPECT_EQ(Row(kEdged).Rank, "-25");
    EXPECT_FALSE(sheet.Bar(RankBar::Two, kEdged).Shown);
}

TEST_F(RankTest, TakingBackAYouthRankKeepsTheSumOnTheFiveBar)
{
    EXPECT_TRUE(sheet.SelectYouth(6));
    EXPECT_TRUE(sheet.WriteSkillRank(kEdged, "54").Ok()); // as a loaded file does after choosing the youth
    EXPECT_EQ(Row(kEdged).Ranks5, 50);
    EXPECT_EQ(Row(kEdged).Ranks2, 4);
    EXPECT_TRUE(sheet.SelectYouth(0));
    EXPECT_EQ(Row(kEdged).Rank, "49");
    EXPECT_EQ(Row(kEdged).Ranks5, 49);
    EXPECT_EQ(Row(kEdged).Ranks2, 0);
    EXPECT_FALSE(sheet.Bar(RankBar::Two, kEdged).Shown);
}

TEST_F(RankTest, HugeYouthValuesFillOrEmptyTheBar)
{
    EXPECT_TRUE(sheet.WriteSkillRank(6, "20"));
    EXPECT_TRUE(sheet.SelectYouth(7));
    EXPECT_EQ(Row(kEdged).Rank, "50");
    EXPECT_EQ(Row(6).Rank, "-25");
    EXPECT_TRUE(sheet.SelectYouth(0));
    EXPECT_EQ(Row(kEdged).Rank, "-25");
    EXPECT_EQ(Row(6).Rank, "50");
}

// A youth's ranks go onto the bars five points each; changing the youth takes the old ones off.
TEST_F(RankTest, IncreaseAndDecreaseClampToTheBar)
{
    auto youth = [&](std::int16_t ranks) {
        YouthEntry entry{"Drill", {}};
        entry.Values[2] = ranks;
        tables.Youth.push_back(entry);
        return static_cast<int>(tables.Youth.size()) - 1;
    };
    const int three = youth(3);
    const int six = youth(6);
    sheet.FillYouthList();
    EXPECT_TRUE(sheet.SelectYouth(three));
    EXPECT_EQ(Row(2).Ranks5, 15);
    EXPECT_TRUE(sheet.SelectYouth(six)); // 30 points on a bar of 25
    EXPECT_EQ(Row(2).Ranks5, 25);
    EXPECT_TRUE(sheet.Bar(RankBar::Two, 2).Enabled);
    EXPECT_FALSE(sheet.Bar(RankBar::Two, 2).Shown); // enabling does not show it
    EXPECT_TRUE(sheet.SelectYouth(0));              // takes back all 30
    EXPECT_EQ(Row(2).Ranks5, 0);
    EXPECT_FALSE(sheet.Bar(RankBar::Two, 2).Enabled);
    EXPECT_EQ(Row(30).Rank, "00"); // no bars there
    sheet.lblRank_Click(30);
    EXPECT_EQ(Row(30).Rank, "00");
}

} // namespace
} // namespace keld::test
