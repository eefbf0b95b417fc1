// SPDX-License-Identifier: GPL-3.0-or-later
#include "inventory/MoneyWeight.h"

#include "common/NumericValue.h"

#include <cmath>
#include <limits>

namespace keld {
namespace {

using Wide = __int128;

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

std::int64_t Saturate(Wide value)
{
    if (value > kMax)
        return kMax;
    if (value < kMin)
        return kMin;
    return static_cast<std::int64_t>(value);
}

// nearest(total + value), halves to even, without losing the low digits of a large total.
std::int64_t AddRounded(std::int64_t total, double value)
{
    if (std::isnan(value))
        return total;
    if (value >= 1e19)
        return kMax;
    if (value <= -1e19)
        return kMin;
    const double whole = std::floor(value);
    const double fraction = value - whole;
    Wide sum = Wide(total) + Wide(static_cast<std::int64_t>(whole));
    if (fraction > 0.5 || (fraction == 0.5 && (sum & 1) != 0))
        sum += 1;
    return Saturate(sum);
}

// numerator / denominator to the nearest integer, halves to even (denominator > 0).
Wide DivideRounded(Wide numerator, Wide denominator)
{
    Wide quotient = numerator / denominator;
    Wide remainder = numerator % denominator;
    if (remainder < 0) {
        quotient -= 1;
        remainder += denominator;
    }
    const Wide twice = remainder * 2;
    if (twice > denominator || (twice == denominator && (quotient & 1) != 0))
        quotient += 1;
    return quotient;
}

} // namespace

std::int64_t CoinCount(const std::array<std::string, 5>& money)
{
    std::int64_t total = 0;
    for (const std::string& coins : money)
        total = AddRounded(total, NumericValue(coins));
    return total;
}

std::string CalcWeightMoney(const std::array<std::string, 5>& money)
{
    // Tenths of a pound, computed exactly in integers so the tie rule sees the true value.
    const Wide tenths = DivideRounded(Wide(CoinCount(money)) * 10, 64);
    return NumberText(static_cast<double>(tenths) / 10.0);
}

bool AcceptCoinKey(char32_t key)
{
    return (key >= U'0' && key <= U'9') || key == 8;
}

} // namespace keld
