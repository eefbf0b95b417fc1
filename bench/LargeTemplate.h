// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The generated template the fill and render benchmarks share, just under the largest that is read:
// paragraphs, formatting runs, table rows, non-ASCII text and a small picture, with every
// placeholder spread evenly through it.
#include "character/SheetModel.h"
#include "report/ReportValues.h"
#include "report/RtfDocument.h"

#include <string>
#include <vector>

namespace keld::bench {

inline std::vector<ReportValue> NewCharacterSteps()
{
    SheetModel sheet;
    sheet.ClearCharacter();
    return ReportValues(sheet);
}

inline const std::string& LargeTemplate()
{
    static const std::string source = [] {
        const std::size_t target = RtfDocument::kMaxTemplateBytes - (64u << 10); // room for the placeholders
        std::string s =
            "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\froman Times;}}"
            "{\\colortbl;\\red200\\green0\\blue0;}\\paperw11906\\paperh16838\r\n";
        const std::string chunk =
            "\\pard\\plain\\f0\\fs20 The company rested by the ford while the {\\b scouts} went ahead; "
            "{\\i caf\\'e9} talk, \\u8217\\'92quoted\\u8217\\'92 words and {\\cf1\\f1\\fs22 red Times} "
            "text.\\par\r\n"
            "\\trowd\\trgaph70\\cellx2000\\cellx4000\\cellx6000\\pard\\intbl Cell one\\cell Cell two\\cell "
            "{\\ul three}\\cell\\row\r\n"
            "{\\pict\\pngblip\\picw1\\pich1 89504e470d0a1a0a0000000d49484452000000010000000108020000009077"
            "53de0000000c4944415408d763f8ffff3f0005fe02fea7d6a4a20000000049454e44ae426082}\\par\r\n";
        const auto steps = NewCharacterSteps();
        const std::size_t chunks = target / chunk.size();
        const std::size_t every = chunks / (steps.size() + 1);
        std::size_t next = 0;
        for (std::size_t k = 0; k < chunks; ++k) {
            s += chunk;
            if (every && k % every == every - 1 && next < steps.size())
                s += "\\pard {\\b " + steps[next++].placeholder + "}\\par\r\n";
        }
        s += "}\r\n";
        return s;
    }();
    return source;
}

} // namespace keld::bench
