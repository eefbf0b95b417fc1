// SPDX-License-Identifier: GPL-3.0-or-later
#include "SheetFixture.h"

namespace keld::test {
namespace {

using Change = std::pair<FieldId, int>;
using Changes = std::vector<Change>;

// Each skill row's stat bonus is followed by the total it changes.
void AddRows(Changes& changes, std::initializer_list<int> rows, FieldId first = FieldId::SkillStat)
{
    for (int row : rows) {
        changes.emplace_back(first, row);
        changes.emplace_back(FieldId::SkillTotal, row);
    }
}

class OrderTest : public SheetTest {
protected:
    OrderTest() { sheet.AddObserver(&recorder); }
    Recorder recorder;
};

TEST_F(OrderTest, StatValueChain)
{
    EXPECT_TRUE(sheet.WriteStatValue(6, "60"));
    EXPECT_TRUE(sheet.SetSkillStatCode(24, "AP"));
    EXPECT_TRUE(sheet.WriteLevel("2"));
    recorder.changes.clear();

    EXPECT_TRUE(sheet.WriteStatValue(5, "100").Ok()); // Presence
    Changes expected{{FieldId::StatValue, 5}, {FieldId::StatNorm, 5}, {FieldId::StatTotal, 5}};
    AddRows(expected, {16, 30});                  // rows keyed PR
    expected.emplace_back(FieldId::StatTotal, 6); // Appearance re-formed: 60 + 25
    AddRows(expected, {24});                      // rows keyed AP
    EXPECT_EQ(recorder.changes, expected);

    recorder.changes.clear();
    EXPECT_TRUE(sheet.WriteStatValue(3, "95").Ok()); // Intelligence: its rows, then the power points
    expected = {{FieldId::StatValue, 3}, {FieldId::StatNorm, 3}, {FieldId::StatTotal, 3}};
    AddRows(expected, {14, 17, 19, 32});
    expected.emplace_back(FieldId::PowerPoints, 0);
    EXPECT_EQ(recorder.changes, expected);
    EXPECT_EQ(sheet.Record().PowerPoints, "4");
}

TEST_F(OrderTest, RaceChain)
{
    EXPECT_TRUE(sheet.SelectRace(1));
    Changes expected{{FieldId::RaceIndex, 0}, {FieldId::StatRace, 0}, {FieldId::StatTotal, 0}};
    AddRows(expected, {3, 4, 5, 6, 7, 10}); // ST
    expected.insert(expected.end(), {{FieldId::StatRace, 1}, {FieldId::StatTotal, 1}});
    AddRows(expected, {0, 1, 2, 8, 9, 11, 13, 21, 31}); // AG
    expected.insert(expected.end(), {{FieldId::StatRace, 5}, {FieldId::StatTotal, 5}});
    AddRows(expected, {16, 30});                     // PR; Appearance is not re-formed
    AddRows(expected, {32, 33, 35}, FieldId::Spec2); // resistance 34 stays 0
    EXPECT_EQ(recorder.changes, expected);
}

TEST_F(OrderTest, YouthChain)
{
    EXPECT_TRUE(sheet.SelectYouth(3));
    int refreshes = 0;
    sheet.SetProcessEvents([&] { ++refreshes; });
    recorder.changes.clear();

    EXPECT_TRUE(sheet.SelectYouth(5));
    const Changes expected{
        {FieldId::YouthIndex, 0},
        // entry 3 taken back
        {FieldId::Ranks5, 0},
        {FieldId::Ranks5, 11},
        // entry 5 applied: rows 0..20, then Perception, then Body Dev
        {FieldId::Ranks5, 11},
        {FieldId::Ranks5, 22},
        {FieldId::Ranks5, 23},
        // rank texts refreshed row by row
        {FieldId::Rank, 0},
        {FieldId::SkillTotal, 0},
        {FieldId::Rank, 11},
        {FieldId::SkillTotal, 11},
        {FieldId::Rank, 22},
        {FieldId::SkillTotal, 22},
        {FieldId::Rank, 23},
        {FieldId::SkillTotal, 23},
    };
    EXPECT_EQ(recorder.changes, expected);
    EXPECT_EQ(refreshes, kBarRowCount);
}

TEST_F(OrderTest, UnchangedWritesAreSilent)
{
    EXPECT_TRUE(sheet.WriteStatValue(0, "0"));
    EXPECT_TRUE(sheet.WriteItem1(3, "0"));
    EXPECT_TRUE(sheet.SelectRace(0));
    EXPECT_TRUE(sheet.SetArmorPiece(ArmorPiece::Helm, CheckState::Clear));
    EXPECT_TRUE(sheet.SetRealm(MagicRealm::Essence));
    sheet.ClearCharacter();
    EXPECT_TRUE(recorder.changes.empty());
}

} // namespace
} // namespace keld::test
