// SPDX-License-Identifier: GPL-3.0-or-later
#include "charfile/CharacterFilePlan.h"
#include "charfile/CharacterFileFormat.h"

#include "common/TextFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace keld {
namespace {

using Field = PlannedWrite::Field;

CharacterFilePlan Plan(const std::string& text)
{
    auto plan = PlanCharacterFile(text, "x.kld");
    EXPECT_TRUE(plan.Ok()) << (plan.Ok() ? "" : plan.Error().Location());
    return plan.Ok() ? std::move(*plan) : CharacterFilePlan{};
}

std::vector<std::string> Values(const CharacterFilePlan& plan, Field field)
{
    std::vector<std::string> out;
    for (const auto& w : plan.writes)
        if (w.field == field)
            out.emplace_back(w.value);
    return out;
}

std::vector<std::string> Values(const CharacterFilePlan& plan, GeneralField field)
{
    std::vector<std::string> out;
    for (const auto& w : plan.writes)
        if (w.field == Field::General && w.index == static_cast<int>(field))
            out.emplace_back(w.value);
    return out;
}

// Each kind of failing line has a whole-file fixture in CharacterFileTest; these are the variants.
TEST(CharacterFilePlan, FailingLineVariants)
{
    struct Case {
        const char* text;
        int line;
        int number;
    };
    const Case cases[] = {
        {"[ARMOR]\r\n\r\nTYPE\r\n", 3, 5},
        {"[GENERAL]\r\nHAIR/EYES=\r\n", 2, 5},
        {"[SKILLS]\r\n,,5,,0,0,0,0\r\n", 2, 13},
        {"[SKILLS]\r\n-1,,5,,0,0,0,0\r\n", 2, 5},
        {"[SKILLS]\r\n99999999999999999999999,,5,,0,0,0,0\r\n", 2, 5},
        {"[SKILLS]\r\n35.5,,5,,0,0,0,0\r\n", 2, 5}, // the nearest row is 36
        {"[SKILLS]\r\n5x,,5,,0,0,0,0\r\n", 2, 13},
        {"[SKILLS]\r\n1 2,,5,,0,0,0,0\r\n", 2, 13},
        {"[SKILLS]\r\n5\r\n", 2, 5},
        // The slot count runs across repeated sections.
        {"[LANGUAGES]\r\na,1\r\nb,1\r\nc,1\r\nd,1\r\n[X]\r\n[LANGUAGES]\r\ne,1\r\nf,1\r\ng,1\r\nh,1\r\ni,"
         "1\r\n",
         12, 5},
        {"[ARMOR]\r\nSHIELD=-1\r\n", 2, 5},
        {"[ARMOR]\r\nLEG=2.5001\r\n", 2, 5},
    };
    for (const auto& c : cases) {
        auto plan = PlanCharacterFile(c.text, "dir/bad.kld");
        ASSERT_FALSE(plan.Ok()) << c.text;
        EXPECT_EQ(plan.Error().Location().rfind("dir/bad.kld:" + std::to_string(c.line) + ": ", 0), 0u)
            << plan.Error().Location();
        EXPECT_EQ(plan.Error().Number(), c.number) << c.text;
    }
}

TEST(CharacterFilePlan, LinesOutsideKnownSectionsAndNonFailuresAreAccepted)
{
    // Unknown keys, unknown sections (lower case, trailing comment), text before any header,
    // armour values that round to 0..2, and a lone LF inside a line.
    auto plan =
        Plan("NAME=before\r\n[general]\r\nNAME=lower\r\n[GENERAL] ;c\r\nNAME\r\n"
             "[GENERAL]  \r\nWHATEVER=1\r\nNAME=a\nb\r[ARMOR]\r\nHELM=2.5\r\nARM=1.4\r\nSHIELD=&H1\r\n");
    EXPECT_EQ(Values(plan, GeneralField::Name), std::vector<std::string>{"a\nb"});
    std::vector<int> states;
    for (const auto& w : plan.writes)
        if (w.field == Field::ArmorPiece)
            states.push_back(w.index * 10 + w.number);
    EXPECT_EQ(states, (std::vector<int>{2, 21, 11})); // piece * 10 + state: helm 2, arm 1, shield 1
}

TEST(CharacterFilePlan, ValuesAreSplitAsTheFormatSays)
{
    auto plan = Plan("[GENERAL]\r\nHT/WT=6'2/200 lb\r\nHAIR/EYES=a/b/c\r\nNAME=x=y\r\nREALM=channeling\r\n"
                     "LEVEL=\r\n[MONEY]\r\nGP=abc\r\nSP=abc\r\nBP=012\r\nCP=1.50\r\nTP=\r\nXP=4\r\n"
                     "[LANGUAGES]\r\nElvish,3\r\n[SPELLS]\r\nLore,a,b\r\n");
    EXPECT_EQ(Values(plan, GeneralField::Height), std::vector<std::string>{"6'2"});
    EXPECT_EQ(Values(plan, GeneralField::Weight), std::vector<std::string>{"200 lb"});
    EXPECT_EQ(Values(plan, GeneralField::HairColor), std::vector<std::string>{"a"});
    EXPECT_EQ(Values(plan, GeneralField::EyeColor), std::vector<std::string>{"b/c"});
    EXPECT_EQ(Values(plan, GeneralField::Name), std::vector<std::string>{"x=y"});
    EXPECT_EQ(Values(plan, Field::Level), std::vector<std::string>{""});
    EXPECT_TRUE(Values(plan, Field::Realm).empty()); // only the exact realm names count
    // Gold is kept as written, the other coins go through their number.
    EXPECT_EQ(Values(plan, Field::Money), (std::vector<std::string>{"abc", "0", "12", "1.5", "0"}));
    EXPECT_EQ(Values(plan, Field::LanguageRank), std::vector<std::string>{"3"});
    EXPECT_EQ(Values(plan, Field::SpellPercent), std::vector<std::string>{"a,b"});
}

TEST(CharacterFilePlan, StatsRecomputePowerPointsOnEveryLine)
{
    auto plan = Plan("[STATS]\r\nST=90\r\nXX=5\r\nAP=\r\n");
    std::vector<Field> fields;
    for (const auto& w : plan.writes)
        fields.push_back(w.field);
    EXPECT_EQ(fields, (std::vector<Field>{Field::StatValue, Field::PowerPoints, Field::PowerPoints,
                                          Field::StatValue, Field::PowerPoints}));
    EXPECT_EQ(plan.writes[3].index, 6);
}

TEST(CharacterFilePlan, SkillFields)
{
    struct Case {
        const char* line;
        std::vector<std::string> expected; // name, rank, code, item1, item2, spec1, spec2 ("-" = not written)
    };
    const Case cases[] = {
        {"5,,-25,,0,0,0,0", {"-", "-25", "-", "0", "0", "0", "0"}},
        {"5,ignored,20,AG,1,2,3,4", {"-", "20", "-", "1", "2", "3", "4"}},
        // Outside the secondary rows the last field keeps the extra commas.
        {"3,a,10,,1,2,3,-4,5", {"-", "10", "-", "1", "2", "3", "-4,5"}},
        {"24,Dance,20,AG,0,0,0,0", {"Dance", "20", "AG", "0", "0", "0", "0"}},
        // A secondary name with commas keeps them: the six later fields come from the right.
        {"28,Sing, Dance, Play,30,PR,1,2,3,4", {"Sing, Dance, Play", "30", "PR", "1", "2", "3", "4"}},
        {"26 ,,,,,,,", {"", "", "", "", "", "", ""}},
    };
    for (const auto& c : cases) {
        auto plan = Plan(std::string("[SKILLS]\r\n") + c.line + "\r\n");
        std::vector<std::string> got;
        for (Field f : {Field::SecondaryName, Field::Rank, Field::StatCode, Field::Item1, Field::Item2,
                        Field::Spec1, Field::Spec2}) {
            auto v = Values(plan, f);
            got.push_back(v.empty() ? "-" : v[0]);
        }
        EXPECT_EQ(got, c.expected) << c.line;
    }
    // The row is a number as a whole, converted like every integer: nearest, halves to even.
    for (auto [text, row] :
         {std::pair{" 9\t", 9}, {"+10", 10}, {"4.5", 4}, {"13.5", 14}, {"2E1", 20}, {"-0.4", 0}}) {
        auto rowPlan = Plan(std::string("[SKILLS]\r\n") + text + ",,1,,0,0,0,0\r\n");
        ASSERT_FALSE(rowPlan.writes.empty()) << text;
        EXPECT_EQ(rowPlan.writes[0].index, row) << text;
    }
    // The writes of a secondary row follow the line: name, rank, stat code, items, specials.
    auto plan = Plan("[SKILLS]\r\n24,Dance,20,AG,0,0,0,0\r\n");
    ASSERT_EQ(plan.writes.size(), 7u);
    EXPECT_EQ(plan.writes[1].field, Field::Rank);
    EXPECT_EQ(plan.writes[2].field, Field::StatCode);
    for (const auto& w : plan.writes)
        EXPECT_EQ(w.index, 24);
}

// Splits an encoded note the way the reader does and rebuilds it.
std::string ReadBack(const std::string& note)
{
    std::string file =
        std::string(charfile::kJournal) + "\r\n" + charfile::EncodeNote(note) + "\r\n[PICTURE]\r\n";
    auto plan = Plan(file);
    std::string out;
    for (const auto& line : Values(plan, Field::Note))
        out += line + "\r\n";
    return out;
}

TEST(CharacterFileNotes, EveryAwkwardLineSurvives)
{
    const std::string notes[] = {
        "Day 1\r\n[rest]\r\nDay 2\r\n",
        "\r\n\r\nafter two empty lines\r\n",
        ";comment\r\n  ;indented\r\n [x\r\n   \r\n \r\n",
        "[PICTURE]\r\n[JOURNAL]\r\n",
        "tab\t;kept\r\n\t\r\nlone\nLF\r\n",
        "",
    };
    for (const auto& note : notes) {
        EXPECT_EQ(ReadBack(note), note);
        EXPECT_EQ(ReadBack(ReadBack(note)), note);
    }
    // A note without its final line end gains one, once.
    EXPECT_EQ(ReadBack("Inventory - "), "Inventory - \r\n");
    EXPECT_EQ(ReadBack("a\rb"), "a\r\nb\r\n");
    // Only the lines that need it get the blank, so older readers see the rest unchanged.
    EXPECT_EQ(charfile::EncodeNote("a\r\n\r\n;b\r\n c\r\n"), "a\r\n \r\n ;b\r\n c\r\n");
    // An older file's " ;x" loses one blank, as decided.
    EXPECT_EQ(charfile::DecodeNoteLine(" ;x"), ";x");
    EXPECT_EQ(charfile::DecodeNoteLine(" x"), " x");
}

} // namespace
} // namespace keld
