// SPDX-License-Identifier: GPL-3.0-or-later
#include "CliRun.h"
#include "rules/RulesTables.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <nlohmann/json.hpp>

#include <string>

namespace keld {
namespace {

using test::RunCli;

const std::filesystem::path kShippedData = std::filesystem::path(KELD_SOURCE_DIR) / "data";

std::vector<std::string> SplitOutputLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

template <typename Entry> void ExpectTableJson(const nlohmann::json& json, const std::vector<Entry>& table)
{
    ASSERT_TRUE(json.is_array());
    ASSERT_EQ(json.size(), table.size());
    for (std::size_t k = 0; k < table.size(); ++k) {
        EXPECT_EQ(json[k]["name"], table[k].Name);
        EXPECT_EQ(json[k]["values"].size(), table[k].Values.size());
        EXPECT_EQ(json[k]["values"].get<std::vector<int>>(),
                  std::vector<int>(table[k].Values.begin(), table[k].Values.end()));
    }
}

TEST(CheckData, JsonHoldsEveryTableWithEntryZeroFirst)
{
    auto run = RunCli({"check-data", kShippedData.string(), "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    // The shipped races include a Windows-1252 name; it must come out as UTF-8.
    ASSERT_TRUE(nlohmann::json::accept(run.out)) << run.out;
    EXPECT_EQ(run.out.rfind("{\"races\":", 0), 0u);
    const auto json = nlohmann::json::parse(run.out);
    RulesTables tables;
    ASSERT_TRUE(LoadRulesTables(kShippedData, tables).Ok());
    ExpectTableJson(json["races"], tables.Races);
    ExpectTableJson(json["professions"], tables.Professions);
    ExpectTableJson(json["youth"], tables.Youth);
    EXPECT_EQ(json["races"][0], nlohmann::json::parse(R"({"name":"","values":[0,0,0,0,0,0,0,0,0,0]})"));
    EXPECT_NE(run.out.find("Yss\xC3\xA9li"), std::string::npos);
}

TEST(CheckData, WithoutDirUsesTheDataNextToTheProgram)
{
    auto run = RunCli({"check-data"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    RulesTables tables;
    ASSERT_TRUE(LoadRulesTables(kShippedData, tables).Ok());
    EXPECT_NE(run.out.find("races: " + std::to_string(tables.Races.size()) + " entries"), std::string::npos);
    EXPECT_NE(run.out.find("professions: " + std::to_string(tables.Professions.size()) + " entries"),
              std::string::npos);
    EXPECT_NE(run.out.find("youth: " + std::to_string(tables.Youth.size()) + " entries"), std::string::npos);
}

TEST(CheckData, FailureGivesStartupMessageAndPlace)
{
    struct FailCase {
        const char* name;
        const char* profmod; // nullptr: no such file
        const char* firstLine;
        const char* place;
    };
    const std::vector<FailCase> cases = {
        {"missing", nullptr, "53 File not found has occurred in KELDCharGen", "profmod.txt: "},
        {"few commas", ";\r\nP,1,2\r\n", "5 Invalid procedure call or argument has occurred in KELDCharGen",
         "profmod.txt:2: "},
        {"overflow", "P,1,2,3,4,5,6,7,8,9,-32769\r\n", "6 Overflow has occurred in KELDCharGen",
         "profmod.txt:1: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string pattern = (std::filesystem::temp_directory_path() / "keld-cli-data-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        const std::filesystem::path dir = pattern;
        std::filesystem::copy_file(kShippedData / "racemod.txt", dir / "racemod.txt");
        std::filesystem::copy_file(kShippedData / "adolmod.txt", dir / "adolmod.txt");
        if (c.profmod)
            std::ofstream(dir / "profmod.txt", std::ios::binary) << c.profmod;

        auto run = RunCli({"check-data", dir.string(), "--json"});
        std::filesystem::remove_all(dir);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, "");
        const auto lines = SplitOutputLines(run.err);
        ASSERT_EQ(lines.size(), 2u) << run.err;
        EXPECT_EQ(lines[0], c.firstLine);
        EXPECT_EQ(lines[1].rfind((dir / c.place).string(), 0), 0u) << lines[1];
    }
}


// A rules file that is a FIFO, a device or far too large is refused at once instead of stalling or
// exhausting the check.
TEST(CheckData, RefusesARulesFileThatIsNoRegularFileAtOnce)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "keld-cli-data-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const std::filesystem::path dir = pattern;
    std::filesystem::copy_file(kShippedData / "racemod.txt", dir / "racemod.txt");
    std::filesystem::copy_file(kShippedData / "adolmod.txt", dir / "adolmod.txt");
    const std::filesystem::path profmod = dir / "profmod.txt";
    const struct {
        const char* name;
        std::function<void()> make;
        const char* reason;
    } cases[] = {
        {"fifo", [&] { ASSERT_EQ(::mkfifo(profmod.c_str(), 0600), 0); }, "profmod.txt: is not a regular file"},
        {"device", [&] { std::filesystem::create_symlink("/dev/zero", profmod); },
         "profmod.txt: is not a regular file"},
        {"huge",
         [&] {
             std::ofstream(profmod) << ";";
             std::filesystem::resize_file(profmod, std::uintmax_t{1} << 32);
         },
         "profmod.txt: is larger than 4 MB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(profmod);
        c.make();
        auto run = RunCli({"check-data", dir.string()});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("53 File not found has occurred in KELDCharGen"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
    }
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace keld
