// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/KeldError.h"

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

// Positions in RaceEntry::Values: the six stat bonuses in stat order ST..PR come first.
inline constexpr int kRaceStatBonusCount = 6;
inline constexpr int kRaceEssenceRR = 6;
inline constexpr int kRaceChannelingRR = 7;
inline constexpr int kRacePoisonRR = 8;
inline constexpr int kRaceDiseaseRR = 9;

// Positions in ProfessionEntry::Values.
enum ProfessionValue : int {
    kProfGeneral,
    kProfBodyDev,
    kProfWeapon,
    kProfSubterfuge,
    kProfPerception,
    kProfRunes,
    kProfItems,
    kProfBaseSpells,
    kProfDirectedSpells,
    kProfAmbush,
};

// The skill row that receives YouthEntry::Values[index], or -1 for the three unused columns.
// The file swaps Body Dev and Perception relative to the sheet's row order.
constexpr int YouthValueRow(int index)
{
    if (index >= 0 && index <= 20)
        return index;
    if (index == 21)
        return 23;
    if (index == 22)
        return 22;
    return -1;
}

inline constexpr const char* kRaceFileName = "racemod.txt";
inline constexpr const char* kProfessionFileName = "profmod.txt";
inline constexpr const char* kYouthFileName = "adolmod.txt";
// A rules data file holds a few dozen short lines; one larger than this is refused unread, so a
// path that leads to a device or a huge file cannot stall or exhaust start-up.
inline constexpr std::uintmax_t kMaxRulesFileBytes = 4ull << 20;

enum class RulesTableKind { Race, Profession, Youth };

// Replaces one table of `tables` with the entries of `lines`, the lines of a rules data file
// (comment lines included, so that error line numbers match the file). `fileName` names the
// file in errors. On error 5 or 6 the table keeps what was read, the faulty line's partly filled
// entry included, and the rest of the lines is not read.
Status ReadRulesLines(RulesTableKind kind, const std::vector<std::string>& lines, const std::string& fileName,
                      RulesTables& tables);

// Reads one rules data file into its table. A file that cannot be opened is error 53 and leaves
// the table with only the blank entry.
Status LoadRulesFile(RulesTableKind kind, const std::filesystem::path& file, RulesTables& tables);

// folder / "racemod.txt", "profmod.txt", "adolmod.txt".
Status LoadRaceTable(const std::filesystem::path& folder, RulesTables& tables);
Status LoadProfessionTable(const std::filesystem::path& folder, RulesTables& tables);
Status LoadYouthTable(const std::filesystem::path& folder, RulesTables& tables);

// The three tables in start-up order (race, profession, youth), stopping at the first failure;
// the tables after a failing one are left as they were.
Status LoadRulesTables(const std::filesystem::path& folder, RulesTables& tables);

} // namespace keld
