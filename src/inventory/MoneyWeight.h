// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace keld {

// Sum of the coins: each step rounds to the nearest whole coin (halves to even), as the purse
// always did. Held in 64 bits so that purses beyond two thousand million coins still weigh right;
// saturates at the 64-bit limits.
std::int64_t CoinCount(const std::array<std::string, 5>& money);

// Weight of the purse in pounds as the sheet shows it: one coin weighs 1/64 lb, rounded to one
// decimal place with halves to even ("0", "1", "1.6", "0.2" for 16 coins).
std::string CalcWeightMoney(const std::array<std::string, 5>& money);

// The coin boxes take only the digits and backspace (character code 8) as typed keys.
bool AcceptCoinKey(char32_t key);

} // namespace keld
