// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes, as a file, to the character file reader, then checks that whatever it accepted is
// written back as a file the reader accepts again.
#include "FuzzFile.h"
#include "character/SheetModel.h"
#include "charfile/CharacterFilePlan.h"
#include "charfile/CharacterFileReader.h"
#include "charfile/CharacterFileWriter.h"
#include "common/TextFile.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

keld::RulesTables MakeTables()
{
    keld::RulesTables tables;
    tables.Races.push_back({"Hillfolk", {5, -5, 10, 0, 0, 0, 0, 0, 20, 10}});
    tables.Races.push_back({"Sea Kin", {0, 10, 0, 5, 5, -5, 10, 5, 0, 0}});
    tables.Races.push_back({"Sea Kin", {1, 1, 1, 1, 1, 1, 1, 1, 1, 1}}); // a repeated name selects twice
    tables.Professions.push_back({"Warden", {1, 2, 3, 1, 2, 0, 0, 0, 0, 1}});
    keld::YouthEntry farm{"Farmstead", {}};
    for (std::size_t i = 0; i < farm.Values.size(); ++i)
        farm.Values[i] = static_cast<std::int16_t>(i % 4);
    tables.Youth.push_back(farm);
    tables.Youth.push_back({"Harbour", {}});
    return tables;
}

// The fuzzer must not wander the file system through picture paths.
keld::Status NoPictureLoad(const std::string& path)
{
    if (path.size() % 2)
        return keld::KeldError(481, "is not a picture");
    return keld::Success();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const keld::RulesTables tables = MakeTables();
    keld::SheetModel sheet;
    sheet.ClearCharacter();
    sheet.FillLists(&tables);

    auto read = keld::ReadCharacterFile(sheet, keld::fuzz::InputAsFile(data, size), NoPictureLoad);
    if (!read) {
        if (size > keld::kMaxCharacterFileBytes)
            return 0;
        // A refused file must name a line of the file, unless no line of it belongs to a section
        // and it is refused whole.
        const std::string& detail = read.Error().Detail();
        const bool whole = detail.ends_with("is not a character file") || detail.starts_with("its lines end in LF only");
        if (read.Error().Line() < 1 && !whole)
            __builtin_trap();
        return 0;
    }
    for (const auto& warning : read->warnings)
        if (warning.Number() != 481)
            __builtin_trap(); // only the picture may warn

    const std::string written = keld::EncodeTextLines(keld::CharacterFileLines(sheet));
    auto again = keld::PlanCharacterFile(keld::DecodeText(written), "again.kld");
    if (!again)
        __builtin_trap();
    return 0;
}
