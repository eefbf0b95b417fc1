// SPDX-License-Identifier: GPL-3.0-or-later
#include "character/CharacterRules.h"

#include "common/NumericValue.h"

#include <array>
#include <cctype>
#include <cmath>

namespace keld {

std::string StatNormBonus(double v, bool over102)
{
    if (over102 && v > 102) {
        // Extrapolated in double precision: beyond 16 bits the bonus simply keeps growing.
        return NumberText(35 + 5 * RoundHalfEven(v - 102));
    }
    struct Band {
        double low;
        double high;
        const char* bonus;
    };
    static constexpr std::array<Band, 13> kBands{{{102, 102, "35"},
                                                  {101, 101, "30"},
                                                  {100, 100, "25"},
                                                  {98, 99, "20"},
                                                  {95, 97, "15"},
                                                  {90, 94, "10"},
                                                  {75, 89, "5"},
                                                  {25, 74, "0"},
                                                  {10, 24, "-5"},
                                                  {5, 9, "-10"},
                                                  {3, 4, "-15"},
                                                  {2, 2, "-20"},
                                                  {1, 1, "-25"}}};
    for (const Band& band : kBands)
        if (v >= band.low && v <= band.high)
            return band.bonus;
    return "00";
}

std::optional<int> PowerPointMultiplier(double r)
{
    if (r >= 75 && r <= 94)
        return 1;
    if (r >= 95 && r <= 99)
        return 2;
    if (r >= 100 && r <= 101)
        return 3;
    if (r >= 102)
        return 4;
    return std::nullopt;
}

namespace {
// Experience at which levels 1..10 begin.
constexpr std::array<double, 10> kLevelStarts{10000, 20000, 30000,  40000,  50000,
                                              70000, 90000, 110000, 130000, 150000};
} // namespace

std::optional<int> LevelForExp(double x)
{
    if (x < kLevelStarts[0])
        return 0;
    for (int level = 1; level < 10; ++level)
        if (x >= kLevelStarts[level - 1] && x <= kLevelStarts[level] - 1)
            return level;
    if (x >= kLevelStarts[9])
        return 10;
    return std::nullopt;
}

std::optional<std::string> ExpForLevel(double level)
{
    if (level == 0)
        return std::string("0");
    for (int l = 1; l <= 10; ++l)
        if (level == l)
            return NumberText(kLevelStarts[l - 1]);
    return std::nullopt;
}

bool IsWholeNumber(std::string_view text)
{
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    std::size_t i = 0;
    auto digits = [&] {
        std::size_t start = i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
            ++i;
        return i - start;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t mantissa = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == text.size();
}

std::string NextLanguageRank(std::string_view rank)
{
    const double r = NumericValue(rank);
    return r < 5 ? NumberText(r + 1) : std::string("0");
}

namespace {
std::optional<float> WithinBar(double value, float max)
{
    if (!(value >= 0 && value <= max))
        return std::nullopt;
    return static_cast<float>(value);
}
} // namespace

std::optional<float> BarPressValue(int button, float value, float step, float max)
{
    if (button == 1)
        return WithinBar(double(value) + step, max);
    if (button == 2)
        return WithinBar(double(value) - step, max);
    return std::nullopt;
}

std::optional<float> BarDragValue(int button, float max, float step, double widthTwips, double x)
{
    if (button != 1 || !(step > 0))
        return std::nullopt;
    const double cells = RoundHalfEven(double(max) / step);
    if (!(cells > 0))
        return std::nullopt;
    const double cellWidth = RoundHalfEven(widthTwips / cells);
    // A bar narrower than half a twip per cell cannot be divided; ignore the move.
    if (!(cellWidth > 0))
        return std::nullopt;
    const double n = RoundHalfEven(RoundHalfEven(x) / cellWidth);
    return WithinBar(n * step, max);
}

} // namespace keld
