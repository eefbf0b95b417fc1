// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/RulesTables.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace keld {
namespace {

const std::filesystem::path kFixtures = std::filesystem::path(KELD_TEST_DATA) / "rules";

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "keld-rules-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path Write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(m_path / name, std::ios::binary) << bytes;
        return m_path / name;
    }

private:
    std::filesystem::path m_path;
};

// Leaves something in every table, so a test sees whether a load replaces it.
RulesTables UsedTables()
{
    RulesTables tables;
    tables.Races.resize(3);
    tables.Professions.resize(3);
    tables.Youth.resize(3);
    tables.Races[1].Name = "old";
    return tables;
}

template <typename Entry> std::vector<std::string> Names(const std::vector<Entry>& table)
{
    std::vector<std::string> names;
    for (const auto& entry : table)
        names.push_back(entry.Name);
    return names;
}

template <typename Entry> std::vector<int> LastValues(const std::vector<Entry>& table)
{
    return {table.back().Values.begin(), table.back().Values.end()};
}

std::vector<int> Count(int from, int to, std::size_t size)
{
    std::vector<int> values;
    for (int v = from; v <= to; ++v)
        values.push_back(v);
    values.resize(size, 0);
    return values;
}

struct FileCase {
    const char* file;
    RulesTableKind kind;
    int error; // 0 when the load succeeds
    int line;
    std::vector<std::string> names;
    std::vector<int> lastValues;
};

TEST(RulesTables, FilesLoadOrFailAtTheFaultyLine)
{
    const std::vector<int> none10(10, 0);
    const std::vector<FileCase> cases = {
        {"too-few-commas.txt", RulesTableKind::Race, 5, 3, {"", "Good", "Short"}, Count(1, 2, 10)},
        {"no-comma.txt", RulesTableKind::Race, 5, 2, {"", "Good", ""}, none10},
        {"empty-line.txt", RulesTableKind::Race, 5, 2, {"", "Good", ""}, none10},
        {"trailing-empty-line.txt", RulesTableKind::Race, 5, 3, {"", "Good", "Good", ""}, none10},
        {"overflow.txt", RulesTableKind::Race, 6, 3, {"", "Good", "Big"}, {1, -2, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"overflow-last-number.txt", RulesTableKind::Race, 6, 2, {"", "Good", "Big"}, Count(1, 9, 10)},
        {"blank-before-semicolon.txt", RulesTableKind::Race, 5, 3, {"", " ;Not a remark", ""}, none10},
        {"comments-only.txt", RulesTableKind::Race, 0, 0, {""}, none10},
        {"eleventh-number.txt", RulesTableKind::Profession, 0, 0, {"", "X", "Y"}, Count(1, 10, 10)},
        {"mixed-line-ends.txt", RulesTableKind::Race, 0, 0, {"", "A", "B", "C"}, Count(1, 10, 10)},
        {"windows-1252-name.txt",
         RulesTableKind::Race,
         0,
         0,
         {"", "Yss\xC3\xA9li Starwatcher", "\xC5\x92uvre \xE2\x80\x93 dash"},
         none10},
        {"utf8-bom-remark.txt", RulesTableKind::Race, 0, 0, {"", "A\xC3\xA9"}, Count(1, 10, 10)},
        {"youth-columns.txt", RulesTableKind::Youth, 0, 0, {"", "Y"}, Count(1, 26, 26)},
        {"youth-too-few-commas.txt", RulesTableKind::Youth, 5, 1, {"", "Y"}, Count(1, 24, 26)},
        {"missing.txt", RulesTableKind::Race, 53, 0, {""}, none10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto path = kFixtures / c.file;
        RulesTables tables = UsedTables();
        Status status = LoadRulesFile(c.kind, path, tables);
        if (c.error == 0) {
            EXPECT_TRUE(status.Ok()) << status.Error().Location();
        } else {
            ASSERT_FALSE(status.Ok());
            EXPECT_EQ(status.Error().Number(), c.error);
            EXPECT_EQ(status.Error().File(), path.string());
            EXPECT_EQ(status.Error().Line(), c.line);
            const std::string where = path.string() + (c.line ? ":" + std::to_string(c.line) : "") + ": ";
            EXPECT_EQ(status.Error().Location().rfind(where, 0), 0u) << status.Error().Location();
        }
        switch (c.kind) {
        case RulesTableKind::Race:
            EXPECT_EQ(Names(tables.Races), c.names);
            EXPECT_EQ(LastValues(tables.Races), c.lastValues);
            break;
        case RulesTableKind::Profession:
            EXPECT_EQ(Names(tables.Professions), c.names);
            EXPECT_EQ(LastValues(tables.Professions), c.lastValues);
            break;
        case RulesTableKind::Youth:
            EXPECT_EQ(Names(tables.Youth), c.names);
            EXPECT_EQ(LastValues(tables.Youth), c.lastValues);
            break;
        }
        // Only the loaded table changes.
        EXPECT_EQ(tables.Races.size() + tables.Professions.size() + tables.Youth.size(), c.names.size() + 6);
    }
}

TEST(RulesTables, FieldsReadAsLeadingNumbersRoundedHalfToEven)
{
    struct NumberCase {
        const char* field;
        std::optional<int> value; // nullopt: overflow
    };
    // clang-format off
    const std::vector<NumberCase> cases = {
        {"5", 5}, {" 5", 5}, {"5 ", 5}, {"\t7", 7}, {"8 5", 85}, {"12abc", 12}, {"abc", 0}, {"", 0},
        {"00", 0}, {"2.5", 2}, {"3.5", 4}, {"-1.5", -2}, {"-2.5", -2}, {"0.5", 0}, {"1E2", 100},
        {"1.5D1", 15}, {"2e-1", 0}, {"&H1F", 31}, {"&hff", 255}, {"&O17", 15},
        {"32767", 32767}, {"32767.4", 32767}, {"32767.5", std::nullopt}, {"32768", std::nullopt},
        {"-32768", -32768}, {"-32768.5", -32768}, {"-32769", std::nullopt}, {"1E5", std::nullopt},
        {"1E999", std::nullopt},
    };
    // clang-format on
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("field \"") + c.field + "\"");
        // The number goes first, where a comma ends it, and last, where the line end does.
        const auto path = dir.Write("racemod.txt", std::string("X,") + c.field + ",0,0,0,0,0,0,0,0,0\r\n" +
                                                       "Y,0,0,0,0,0,0,0,0,0," + c.field + "\r\n");
        RulesTables tables;
        Status status = LoadRulesFile(RulesTableKind::Race, path, tables);
        if (c.value) {
            ASSERT_TRUE(status.Ok()) << status.Error().Location();
            EXPECT_EQ(tables.Races[1].Values[0], *c.value);
            EXPECT_EQ(tables.Races[2].Values[9], *c.value);
        } else {
            ASSERT_FALSE(status.Ok());
            EXPECT_EQ(status.Error().Number(), kErrOverflow);
            EXPECT_EQ(status.Error().Line(), 1);
            EXPECT_EQ(tables.Races.size(), 2u);
        }
    }
}

TEST(RulesTables, TableHoldsAtMost32767DataEntries)
{
    std::string text = "; full\r\n";
    for (int i = 0; i < 32768; ++i)
        text += "X,0,0,0,0,0,0,0,0,0,0\r\n";
    TempDir dir;
    RulesTables tables;
    Status status = LoadRulesFile(RulesTableKind::Profession, dir.Write("profmod.txt", text), tables);
    ASSERT_FALSE(status.Ok());
    EXPECT_EQ(status.Error().Number(), kErrOverflow);
    EXPECT_EQ(status.Error().Line(), 32769);
    EXPECT_EQ(tables.Professions.size(), 32768u);
}

TEST(RulesTables, LoadsInStartupOrderAndStopsAtFirstFailure)
{
    TempDir dir;
    dir.Write("racemod.txt", "A,1,2,3,4,5,6,7,8,9,10\r\n");
    dir.Write("adolmod.txt", "Y,1\r\n");
    RulesTables tables;
    Status status = LoadRulesTables(dir.Path(), tables);
    ASSERT_FALSE(status.Ok());
    EXPECT_EQ(status.Error().Number(), kErrFileNotFound);
    EXPECT_EQ(status.Error().File(), (dir.Path() / "profmod.txt").string());
    EXPECT_EQ(status.Error().StartupMessage(), "53 File not found has occurred in KELDCharGen");
    EXPECT_EQ(tables.Races.size(), 2u);
    EXPECT_EQ(tables.Professions.size(), 1u);
    EXPECT_EQ(tables.Youth.size(), 1u); // never reached, so its fault is not seen
}

// The shipped game data loads and stays within the ranges the sheet is designed around.
TEST(RulesTables, ShippedDataLoadsWithPlausibleNumbers)
{
    RulesTables tables;
    Status status = LoadRulesTables(std::filesystem::path(KELD_SOURCE_DIR) / "data", tables);
    ASSERT_TRUE(status.Ok()) << status.Error().Location();
    EXPECT_GE(tables.Races.size(), 9u);
    EXPECT_LE(tables.Races.size(), 13u);
    EXPECT_GE(tables.Professions.size(), 7u);
    EXPECT_LE(tables.Professions.size(), 9u);
    EXPECT_GE(tables.Youth.size(), 9u);
    EXPECT_LE(tables.Youth.size(), 13u);
    for (std::size_t k = 1; k < tables.Races.size(); ++k) {
        const auto& race = tables.Races[k];
        EXPECT_FALSE(race.Name.empty());
        for (int i = 0; i < 10; ++i) {
            const int low = -10, high = i < kRaceStatBonusCount ? 15 : 50;
            EXPECT_TRUE(race.Values[i] >= low && race.Values[i] <= high) << race.Name << " column " << i + 1;
        }
    }
    for (std::size_t k = 1; k < tables.Professions.size(); ++k)
        for (int v : tables.Professions[k].Values)
            EXPECT_TRUE(v >= 0 && v <= 5) << tables.Professions[k].Name;
    for (std::size_t k = 1; k < tables.Youth.size(); ++k)
        for (int v : tables.Youth[k].Values)
            EXPECT_TRUE(v >= 0 && v <= 3) << tables.Youth[k].Name;
}

} // namespace
} // namespace keld
