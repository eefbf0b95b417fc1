// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace keld {

// The normal bonus of a stat value: the bonus table, extrapolated above 102 when over102 is on.
std::string StatNormBonus(double value, bool over102);

// Power-point multiplier for the realm stat's value, or none ("00" on the sheet).
std::optional<int> PowerPointMultiplier(double realmStat);

// Level 0..10 for an experience total, or none for a fraction between two ranges.
std::optional<int> LevelForExp(double experience);

// Experience text that a level 0..10 is written with, or none for any other level.
std::optional<std::string> ExpForLevel(double level);

// True when the whole text is one number: blanks around it, a sign, digits with an optional
// decimal point, an optional exponent (E or D). Empty text, a lone sign and letters are not.
bool IsWholeNumber(std::string_view text);

// The next language rank after a click: 0, 1, ... 5, then 0 again.
std::string NextLanguageRank(std::string_view rank);

// Mouse rules of a rank bar, as plain functions: each gives the bar's new value, or none when the
// event changes nothing or the value would leave 0..max. Button 1 is left, 2 right.
std::optional<float> BarPressValue(int button, float value, float step, float max);
std::optional<float> BarDragValue(int button, float max, float step, double widthTwips, double x);

} // namespace keld
