// SPDX-License-Identifier: GPL-3.0-or-later
#include "character/SheetModel.h"

#include <benchmark/benchmark.h>

namespace {

using namespace keld;

RulesTables BenchTables()
{
    RulesTables tables;
    for (int i = 1; i <= 10; ++i) {
        const auto k = static_cast<std::int16_t>(i);
        tables.Races.push_back(
            {"Race " + std::to_string(i),
             {k, std::int16_t(-k), 5, 0, std::int16_t(k % 3), 10, std::int16_t(5 * k), 5, 0, -5}});
        tables.Professions.push_back({"Profession " + std::to_string(i), {1, 2, 3, 4, 5, 1, 2, 3, 4, 5}});
        YouthEntry youth{"Youth " + std::to_string(i), {}};
        for (int column = 0; column < 26; ++column)
            youth.Values[column] = static_cast<std::int16_t>((column + i) % 4);
        tables.Youth.push_back(youth);
    }
    return tables;
}

// A character with something in every block, as after loading a full file.
struct BenchSheet {
    BenchSheet()
    {
        sheet.ClearCharacter();
        sheet.FillLists(&tables);
        sheet.SelectRace(3);
        sheet.SelectYouth(2);
        sheet.SelectProfession(4);
        sheet.WriteLevel("5");
        const char* values[] = {"90", "75", "60", "95", "88", "70", "55"};
        for (int stat = 0; stat < kStatCount; ++stat)
            sheet.WriteStatValue(stat, values[stat]);
    }
    RulesTables tables = BenchTables();
    SheetModel sheet;
};

void BM_StatValueChange(benchmark::State& state)
{
    BenchSheet b;
    bool flip = false;
    for (auto _ : state) {
        // AG is the stat of the most rows.
        b.sheet.WriteStatValue(1, flip ? "98" : "50");
        flip = !flip;
    }
    benchmark::DoNotOptimize(b.sheet.Record().Skills[0].Total);
}
BENCHMARK(BM_StatValueChange)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_YouthChange(benchmark::State& state)
{
    BenchSheet b;
    bool flip = false;
    for (auto _ : state) {
        b.sheet.SelectYouth(flip ? 3 : 5);
        flip = !flip;
    }
    benchmark::DoNotOptimize(b.sheet.Record().Skills[0].Rank);
}
BENCHMARK(BM_YouthChange)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_RaceChange(benchmark::State& state)
{
    BenchSheet b;
    bool flip = false;
    for (auto _ : state) {
        b.sheet.SelectRace(flip ? 7 : 2);
        flip = !flip;
    }
    benchmark::DoNotOptimize(b.sheet.Record().Stats[0].Total);
}
BENCHMARK(BM_RaceChange)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_ClearCharacter(benchmark::State& state)
{
    BenchSheet b;
    for (auto _ : state) {
        // Put back what New takes away, so every iteration clears a full character.
        state.PauseTiming();
        b.sheet.SelectRace(3);
        b.sheet.SelectYouth(2);
        b.sheet.SelectProfession(4);
        b.sheet.WriteLevel("5");
        b.sheet.WriteStatValue(1, "75");
        b.sheet.WriteStatValue(3, "95");
        b.sheet.SetArmorPiece(ArmorPiece::LegGreaves, CheckState::Checked);
        b.sheet.WriteName("Bench");
        b.sheet.WriteMoney(0, "100");
        state.ResumeTiming();
        b.sheet.ClearCharacter();
    }
    benchmark::DoNotOptimize(b.sheet.Record().Skills[0].Total);
}
BENCHMARK(BM_ClearCharacter)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace
