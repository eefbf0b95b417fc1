// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/RulesTables.h"

#include "common/NumericValue.h"
#include "common/TextFile.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <optional>
#include <span>
#include <string_view>

namespace keld {

namespace {

// Table indices are 16-bit, so one more data line than this cannot get an index.
constexpr std::size_t kMaxDataEntries = 32767;

std::string Quoted(std::string_view text)
{
    std::size_t shown = 40;
    if (text.size() <= shown)
        return "\"" + std::string(text) + "\"";
    // Cut at a character boundary so the message stays valid UTF-8.
    while (shown > 0 && (static_cast<unsigned char>(text[shown]) & 0xC0) == 0x80)
        --shown;
    return "\"" + std::string(text.substr(0, shown)) + "...\"";
}

std::string CommaShortage(std::string_view found, std::size_t needed)
{
    return std::string(found) + ": a data line needs a name and " + std::to_string(needed) +
           " numbers, separated by commas";
}

// Fills `name` and `values` from one data line as far as the line allows. Name is everything
// before the first comma; number i runs to the next comma, the last one to the end of the line,
// where the leading-number rule ignores anything after it (extra fields, trailing remarks).
std::optional<KeldError> ReadDataLine(std::string_view line, std::string& name,
                                      std::span<std::int16_t> values)
{
    const std::size_t n = values.size();
    std::size_t comma = line.find(',');
    if (comma == std::string_view::npos) {
        if (line.empty())
            return KeldError(kErrInvalidArgument,
                             CommaShortage("empty line (only lines starting with \";\" are skipped)", n));
        return KeldError(kErrInvalidArgument, CommaShortage("no comma after the name", n));
    }
    name.assign(line.substr(0, comma));
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t start = comma + 1;
        std::string_view field;
        if (i + 1 < n) {
            const std::size_t next = line.find(',', start);
            if (next == std::string_view::npos)
                return KeldError(
                    kErrInvalidArgument,
                    CommaShortage("only " + std::to_string(i + 1) + (i == 0 ? " comma" : " commas"), n));
            field = line.substr(start, next - start);
            comma = next;
        } else {
            field = line.substr(start);
        }
        try {
            values[i] = ToInt16(NumericValue(field));
        } catch (const KeldException&) {
            return KeldError(kErrOverflow, "number " + std::to_string(i + 1) + " " + Quoted(field) +
                                               " lies outside -32768 to 32767");
        }
    }
    return std::nullopt;
}

template <typename Entry>
Status ReadTable(const std::vector<std::string>& lines, const std::string& fileName,
                 std::vector<Entry>& table)
{
    table.assign(1, Entry{});
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        const int lineNumber =
            static_cast<int>(std::min<std::size_t>(i + 1, std::numeric_limits<int>::max()));
        // A byte order mark belongs to the encoding, not to the first field; without this a
        // comment line saved by a UTF-8 editor would turn into a data line.
        if (i == 0 && line.starts_with("\xEF\xBB\xBF"))
            line.remove_prefix(3);
        if (line.starts_with(';'))
            continue;
        if (table.size() > kMaxDataEntries)
            return KeldError(kErrOverflow, "more than " + std::to_string(kMaxDataEntries) + " data lines")
                .At(fileName, lineNumber);
        Entry& entry = table.emplace_back();
        if (auto error = ReadDataLine(line, entry.Name, entry.Values))
            return error->At(fileName, lineNumber);
    }
    return Success();
}

} // namespace

Status ReadRulesLines(RulesTableKind kind, const std::vector<std::string>& lines, const std::string& fileName,
                      RulesTables& tables)
{
    switch (kind) {
    case RulesTableKind::Race:
        return ReadTable(lines, fileName, tables.Races);
    case RulesTableKind::Profession:
        return ReadTable(lines, fileName, tables.Professions);
    case RulesTableKind::Youth:
        return ReadTable(lines, fileName, tables.Youth);
    }
    return KeldError(kErrInvalidArgument, "unknown rules table");
}

Status LoadRulesFile(RulesTableKind kind, const std::filesystem::path& file, RulesTables& tables)
{
    const std::string fileName = PathToUtf8(file);
    auto lines = ReadTextFileLines(file, LineEnds::CrLfOrCrOrLf, kMaxRulesFileBytes);
    if (!lines) {
        // Whatever kept the file from opening, start-up reports it as a missing file; the detail
        // still says what the system said.
        switch (kind) {
        case RulesTableKind::Race:
            tables.Races.assign(1, RaceEntry{});
            break;
        case RulesTableKind::Profession:
            tables.Professions.assign(1, ProfessionEntry{});
            break;
        case RulesTableKind::Youth:
            tables.Youth.assign(1, YouthEntry{});
            break;
        }
        std::string detail = lines.Error().Detail();
        if (detail.empty())
            detail = "cannot be opened";
        return KeldError(kErrFileNotFound, detail, fileName);
    }
    return ReadRulesLines(kind, *lines, fileName, tables);
}

Status LoadRaceTable(const std::filesystem::path& folder, RulesTables& tables)
{
    return LoadRulesFile(RulesTableKind::Race, folder / kRaceFileName, tables);
}

Status LoadProfessionTable(const std::filesystem::path& folder, RulesTables& tables)
{
    return LoadRulesFile(RulesTableKind::Profession, folder / kProfessionFileName, tables);
}

Status LoadYouthTable(const std::filesystem::path& folder, RulesTables& tables)
{
    return LoadRulesFile(RulesTableKind::Youth, folder / kYouthFileName, tables);
}

Status LoadRulesTables(const std::filesystem::path& folder, RulesTables& tables)
{
    for (auto load : {LoadRaceTable, LoadProfessionTable, LoadYouthTable}) {
        Status status = load(folder, tables);
        if (!status)
            return status;
    }
    return Success();
}

} // namespace keld
