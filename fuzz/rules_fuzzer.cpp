// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes, as a file, through the rules data reader as each of the three tables and checks what
// must hold whatever the input: entry 0 stays blank, a table never has more entries than data
// lines, and a failure names a real line with one of the reader's own error numbers.
#include "FuzzFile.h"
#include "common/KeldError.h"
#include "common/TextFile.h"
#include "rules/RulesTables.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

template <typename Entry> void CheckTable(const std::vector<Entry>& table, std::size_t lineCount)
{
    if (table.empty() || table.size() > lineCount + 1 || table.size() > 32768)
        std::abort();
    if (!table[0].Name.empty())
        std::abort();
    for (auto v : table[0].Values)
        if (v != 0)
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string file = keld::fuzz::InputAsFile(data, size);
    const auto lines =
        keld::SplitLines(keld::DecodeText(std::string_view(reinterpret_cast<const char*>(data), size)),
                         keld::LineEnds::CrLfOrCrOrLf);
    for (auto kind :
         {keld::RulesTableKind::Race, keld::RulesTableKind::Profession, keld::RulesTableKind::Youth}) {
        keld::RulesTables tables;
        keld::Status status = keld::LoadRulesFile(kind, file, tables);
        if (!status) {
            const auto& error = status.Error();
            if (size > keld::kMaxRulesFileBytes) {
                if (error.Number() != keld::kErrFileNotFound)
                    std::abort();
                continue;
            }
            if (error.Number() != keld::kErrInvalidArgument && error.Number() != keld::kErrOverflow)
                std::abort();
            if (error.Line() < 1 || static_cast<std::size_t>(error.Line()) > lines.size())
                std::abort();
        }
        CheckTable(tables.Races, lines.size());
        CheckTable(tables.Professions, lines.size());
        CheckTable(tables.Youth, lines.size());
    }
    return 0;
}
