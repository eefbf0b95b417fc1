// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "character/SheetModel.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace keld::test {

// Small invented tables whose numbers the tests below rely on.
inline RulesTables MakeTables()
{
    RulesTables tables;
    tables.Races.push_back({"Stoneborn", {5, -5, 0, 0, 0, 10, 10, 5, 0, -5}});
    tables.Races.push_back({"Fenfolk", {0, 5, 0, 0, 0, 0, 0, 0, 0, 0}});
    tables.Professions.push_back({"Warden", {1, 2, 3, 4, 5, 6, 7, 8, 9, 2}});
    tables.Professions.push_back({"Scribe", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}});
    auto youth = [&](std::string name, std::vector<std::pair<int, std::int16_t>> values) {
        YouthEntry entry{std::move(name), {}};
        for (auto [column, ranks] : values)
            entry.Values[column] = ranks;
        tables.Youth.push_back(entry);
    };
    youth("Riverside", {{0, 1}});                 // 1
    youth("Mountain", {{5, 3}});                  // 2
    youth("Harbour", {{0, 1}, {11, 2}});          // 3
    youth("Plenty", {{1, 5}, {5, 12}});           // 4: more than rows 1 and 5 can hold
    youth("Forest", {{11, 1}, {21, 1}, {22, 3}}); // 5: column 21 is Body Dev, 22 Perception
    youth("Blade", {{5, 1}});                     // 6
    youth("Giant", {{5, 30000}, {6, -30000}});    // 7: beyond 16 bits once times five
    return tables;
}

// The sheet as start-up leaves it: cleared, then the lists filled and entry 0 chosen.
class SheetTest : public ::testing::Test {
protected:
    SheetTest()
    {
        sheet.ClearCharacter();
        sheet.FillLists(&tables);
    }

    const SkillRow& Row(int row) const { return sheet.Record().Skills[row]; }
    const StatEntry& Stat(int stat) const { return sheet.Record().Stats[stat]; }

    RulesTables tables = MakeTables();
    SheetModel sheet;
};

// Records every notification, in order.
class Recorder : public SheetObserver {
public:
    void FieldChanged(FieldId id, int index) override { changes.emplace_back(id, index); }
    std::vector<std::pair<FieldId, int>> changes;
};

} // namespace keld::test
