#pragma once

#include "KeldError.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace keld {

struct RaceEntry {
    std::string Name;
    // ST, AG, CO, IG, IT, PR bonuses, then Essence, Channeling, Poison and Disease RR modifiers.
    std::array<std::int16_t, 10> Values{};
};

struct ProfessionEntry {
    std::string Name;
    // Bonuses per level: general, body development, weapon, subterfuge, perception, runes,
    // items, base spells, directed spells, ambush.
    std::array<std::int16_t, 10> Values{};
};

struct YouthEntry {
    std::string Name;
    // Ranks granted: columns 1..21 -> rows 0..20, 22 -> row 23, 23 -> row 22, 24..26 unused.
    std::array<std::int16_t, 26> Values{};
};

// Entry 0 of each table is the blank entry (no choice); entry k is the k-th data line.
struct RulesTables {
    std::vector<RaceEntry> Races{RaceEntry{}};
    std::vector<ProfessionEntry> Professions{ProfessionEntry{}};
    std::vector<YouthEntry> Youth{YouthEntry{}};
};

} // namespace keld
