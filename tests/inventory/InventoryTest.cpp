// SPDX-License-Identifier: GPL-3.0-or-later
#include "inventory/InventoryFields.h"
#include "inventory/MoneyWeight.h"
#include "inventory/PictureFit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace keld {
namespace {

using Purse = std::array<std::string, 5>;

TEST(CalcWeightMoney, SixtyFourCoinsToThePound)
{
    const std::pair<Purse, const char*> cases[] = {
        {{"0", "0", "0", "0", "0"}, "0"},
        {{"64", "0", "0", "0", "0"}, "1"},
        {{"10", "20", "30", "4", "0"}, "1"},
        {{"0", "0", "0", "0", "100"}, "1.6"},
        {{"16", "0", "0", "0", "0"}, "0.2"}, // 0.25, the half to the even digit
        {{"48", "0", "0", "0", "0"}, "0.8"}, // 0.75
        {{"1", "0", "0", "0", "0"}, "0"},
        {{"abc", "12abc", "", "0", "0"}, "0.2"},
        {{"0.5", "0.5", "0", "0", "0"}, "0"}, // each step rounds: 0.5 -> 0, then 0.5 -> 0
        {{"1.5", "0.5", "0", "0", "0"}, "0"}, // 1.5 -> 2, 2.5 -> 2
        {{"-64", "0", "0", "0", "0"}, "-1"},  // pasted text is not filtered
        // Beyond 32 bits: 3,000,000,000 coins.
        {{"2000000000", "1000000000", "0", "0", "0"}, "46875000"},
    };
    for (const auto& [purse, weight] : cases)
        EXPECT_EQ(CalcWeightMoney(purse), weight) << purse[0] << " " << purse[1];
    EXPECT_EQ(CoinCount({"2000000000", "2000000000", "0", "0", "0"}), 4000000000LL);
    EXPECT_EQ(CoinCount({"1E300", "1", "0", "0", "0"}), std::numeric_limits<std::int64_t>::max());
}

TEST(CoinKeys, DigitsAndBackspaceOnly)
{
    for (char32_t key : {U'0', U'5', U'9', char32_t(8)})
        EXPECT_TRUE(AcceptCoinKey(key));
    for (char32_t key : {U'-', U'a', U'.', U' ', U'+'})
        EXPECT_FALSE(AcceptCoinKey(key));
}

class MockFields : public InventoryFields {
public:
    MOCK_METHOD(void, SetMoney, (int index, std::string text), (override));
    MOCK_METHOD(void, SetNote, (NoteKind note, std::string text), (override));
};

TEST(ClearForm, ZeroesCoinsAndEmptiesNotes)
{
    MockFields fields;
    ::testing::InSequence order;
    for (int i = 0; i < kMoneyCount; ++i)
        EXPECT_CALL(fields, SetMoney(i, "0"));
    for (NoteKind note :
         {NoteKind::Inventory, NoteKind::Miscellaneous, NoteKind::Journal, NoteKind::Background})
        EXPECT_CALL(fields, SetNote(note, ""));
    ClearForm(fields);
}

TEST(FitPicture, KeepsTheAspectRatio)
{
    const auto wide = FitPicture(3000, 1500);
    EXPECT_DOUBLE_EQ(wide.Width, 1575);
    EXPECT_DOUBLE_EQ(wide.Height, 787.5);
    const auto tall = FitPicture(1000, 2000);
    EXPECT_DOUBLE_EQ(tall.Width, 787.5);
    EXPECT_DOUBLE_EQ(tall.Height, 1575);
    const auto square = FitPicture(400, 400);
    EXPECT_DOUBLE_EQ(square.Width, 1575);
    EXPECT_DOUBLE_EQ(square.Height, 1575);
    const auto empty = FitPicture(0, 0);
    EXPECT_DOUBLE_EQ(empty.Width, 1575);
}

} // namespace
} // namespace keld
