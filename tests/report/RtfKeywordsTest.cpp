// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/RtfKeywords.h"

#include <gtest/gtest.h>

#include <string>

namespace keld::rtf {
namespace {

TEST(RtfKeywords, WordsReadTheirNumberAndDelimiter)
{
    struct Case {
        std::string source;
        std::string name;
        bool hasParam;
        std::int32_t param;
        std::size_t end;
        bool cut;
    };
    const Case cases[] = {
        {"b0 x", "b", true, 0, 3, false},
        {"li-720\\", "li", true, -720, 6, false},
        {"f-x", "f", false, 0, 1, false},                               // a lone minus is not a number
        {"fs99999999999999999999 ", "fs", true, 2147483647, 23, false}, // saturates, never wraps
        {"u-99999999999", "u", true, -2147483647 - 1, 13, true},
        {"par", "par", false, 0, 3, true},
        {"par ", "par", false, 0, 4, false},
    };
    for (const Case& c : cases) {
        const WordToken word = ReadWord(c.source, 0);
        EXPECT_EQ(word.name, c.name) << c.source;
        EXPECT_EQ(word.hasParam, c.hasParam) << c.source;
        EXPECT_EQ(word.param, c.param) << c.source;
        EXPECT_EQ(word.end, c.end) << c.source;
        EXPECT_EQ(word.cut, c.cut) << c.source;
    }

    // A word far longer than any known one is cut short, so it cannot pass for one.
    const std::string longWord = std::string(40, 'a') + "par";
    EXPECT_EQ(ReadWord(longWord, 0).name.size(), 33u);
    EXPECT_EQ(ReadWord(longWord, 0).end, longWord.size());
    EXPECT_EQ(FindKeyword(std::string(33, 'b'), KwReader::Engine).kw, Kw::None);

    const HexToken hex = ReadHex("e9x", 0);
    EXPECT_EQ(hex.value, 0xE9);
    EXPECT_EQ(hex.digits, 2);
    EXPECT_EQ(ReadHex("Fg", 0).digits, 1);
    EXPECT_EQ(ReadHex("", 0).digits, 0);

    EXPECT_EQ(UnicodeUnit(-4064), char32_t(0xF020));
    EXPECT_EQ(UnicodeUnit(-70000), char32_t(0));
    EXPECT_EQ(UnicodeUnit(70000), char32_t(0xFFFF));
}

TEST(RtfKeywords, EachReaderSeesOnlyItsOwnWords)
{
    // Shared words mean the same to both.
    for (KwReader reader : {KwReader::Engine, KwReader::Layout}) {
        EXPECT_EQ(FindKeyword("emdash", reader).kw, Kw::Symbol);
        EXPECT_EQ(FindKeyword("emdash", reader).arg, 0x2014);
        EXPECT_EQ(FindKeyword("stylesheet", reader).kw, Kw::SkipDest);
        EXPECT_EQ(FindKeyword("uldb", reader).kw, Kw::UlDouble);
        EXPECT_EQ(FindKeyword("PAR", reader).kw, Kw::None); // words are case-sensitive
    }
    // The engine shows no list numbers and keeps direction marks; the layout does the opposite.
    EXPECT_EQ(FindKeyword("listtext", KwReader::Engine).kw, Kw::SkipDest);
    EXPECT_EQ(FindKeyword("listtext", KwReader::Layout).kw, Kw::None);
    // A shape's properties: the layout reads them for the shape's picture, the engine hides them.
    EXPECT_EQ(FindKeyword("shpinst", KwReader::Engine).kw, Kw::SkipDest);
    EXPECT_EQ(FindKeyword("shpinst", KwReader::Layout).kw, Kw::Shape);
    EXPECT_EQ(FindKeyword("sv", KwReader::Layout).kw, Kw::ShapeProperty);
    EXPECT_EQ(FindKeyword("rtlmark", KwReader::Engine).kw, Kw::Symbol);
    EXPECT_EQ(FindKeyword("rtlmark", KwReader::Layout).kw, Kw::None);
    // Layout words are nothing to the engine, so its text never depends on them.
    EXPECT_EQ(FindKeyword("ulhair", KwReader::Engine).kw, Kw::None);
    EXPECT_EQ(FindKeyword("ulhair", KwReader::Layout).kw, Kw::Ul);
    EXPECT_EQ(FindKeyword("htmltag", KwReader::Engine).kw, Kw::None);
    EXPECT_EQ(FindKeyword("pard", KwReader::Engine).kw, Kw::None);
    EXPECT_EQ(FindKeyword("red", KwReader::Layout).kw, Kw::None);
    EXPECT_EQ(FindKeyword("clpadl", KwReader::Layout).arg, static_cast<std::int32_t>(Side::Top));
}

} // namespace
} // namespace keld::rtf
