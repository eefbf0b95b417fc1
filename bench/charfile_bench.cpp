// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a full character file into the sheet (target: at most 1 ms) and writing one (target:
// at most 0.5 ms).
#include "character/SheetModel.h"
#include "charfile/CharacterFileReader.h"
#include "charfile/CharacterFileWriter.h"
#include "common/TextFile.h"
#include "rules/RulesTables.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace keld;

const RulesTables& Tables()
{
    static const RulesTables tables = [] {
        RulesTables t;
        if (!LoadRulesTables(fs::path(KELD_SOURCE_DIR) / "data", t))
            std::abort();
        return t;
    }();
    return tables;
}

std::unique_ptr<SheetModel> StartUpSheet()
{
    auto sheet = std::make_unique<SheetModel>();
    sheet->ClearCharacter();
    sheet->FillLists(&Tables());
    return sheet;
}

// A character that fills every section, youth ranks and armour included, with notes of a few
// dozen lines.
std::unique_ptr<SheetModel> FullCharacter()
{
    auto sheet = StartUpSheet();
    const RulesTables& t = Tables();
    sheet->WriteName("Maren Tallow");
    sheet->WriteGeneral(GeneralField::Height, "5'9");
    sheet->WriteGeneral(GeneralField::Weight, "150 lb");
    sheet->WriteGeneral(GeneralField::HairColor, "brown");
    sheet->WriteGeneral(GeneralField::EyeColor, "green");
    sheet->WriteGeneral(GeneralField::Demeanor, "wary");
    sheet->WriteGeneral(GeneralField::Special, "night sight");
    sheet->SelectRace(static_cast<int>(t.Races.size()) - 1);
    sheet->SelectYouth(static_cast<int>(t.Youth.size()) - 1);
    sheet->SelectProfession(static_cast<int>(t.Professions.size()) - 1);
    sheet->WriteExperience("72000");
    const char* stats[] = {"88", "95", "76", "101", "64", "90", "55"};
    for (int i = 0; i < kStatCount; ++i)
        sheet->WriteStatValue(i, stats[i]);
    for (int row = 0; row < kSkillCount; ++row) {
        sheet->WriteSkillRank(row, std::to_string(5 * (row % 12)));
        sheet->WriteItem2(row, std::to_string(row % 5));
        sheet->WriteSpec1(row, std::to_string(row % 3));
    }
    for (int row = kFirstSecondaryRow; row <= kLastSecondaryRow; ++row) {
        sheet->WriteSecondaryName(row, "Craft " + std::to_string(row));
        sheet->SetSkillStatCode(row, "IG");
    }
    sheet->WriteArmorType("Chain");
    sheet->SetArmorPiece(ArmorPiece::Helm, CheckState::Checked);
    sheet->SetArmorPiece(ArmorPiece::Shield, CheckState::Checked);
    for (int slot = 0; slot < kLanguageCount; ++slot) {
        sheet->WriteLanguageName(slot, std::string(LanguageNames()[slot]));
        sheet->WriteLanguageRank(slot, std::to_string(slot % 6));
        sheet->WriteSpellName(slot, std::string(SpellListNames()[slot]));
        sheet->WriteSpellPercent(slot, std::to_string(10 * slot));
    }
    const char* money[] = {"120", "45", "300", "18", "7"};
    for (int coin = 0; coin < kMoneyCount; ++coin)
        sheet->WriteMoney(coin, money[coin]);
    std::string note;
    for (int line = 0; line < 40; ++line)
        note += "Line " + std::to_string(line) + " of a note, long enough to look like real text.\r\n";
    for (int kind = 0; kind < kNoteCount; ++kind)
        sheet->WriteNote(static_cast<NoteKind>(kind), note);
    return sheet;
}

// A scratch folder for the files, removed when the program ends.
struct ScratchFolder {
    ScratchFolder() : path(fs::temp_directory_path() / ("keld-charfile-bench-" + std::to_string(::getpid())))
    {
        fs::create_directories(path);
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    fs::path path;
};

const fs::path& BenchFolder()
{
    static const ScratchFolder folder;
    return folder.path;
}

// The whole load as the Load command does it: open, check, apply, into a start-up sheet.
void BM_ReadFullCharacterFile(benchmark::State& state)
{
    const fs::path file = BenchFolder() / "full.kld";
    if (!WriteCharacterFile(*FullCharacter(), file))
        state.SkipWithError("cannot write the file");
    for (auto _ : state) {
        state.PauseTiming();
        auto sheet = StartUpSheet();
        state.ResumeTiming();
        auto read = ReadCharacterFile(*sheet, file);
        benchmark::DoNotOptimize(read);
        state.PauseTiming();
        sheet.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ReadFullCharacterFile)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The save: lines, encoding and the atomic write (temporary file, flush, rename). On a disk the
// flush waits for the device, so the same save is also measured on a memory file system, which
// shows the program's own cost.
void WriteFullCharacterFile(benchmark::State& state, const fs::path& folder)
{
    auto sheet = FullCharacter();
    const fs::path file = folder / "written.kld";
    for (auto _ : state) {
        Status written = WriteCharacterFile(*sheet, file);
        if (!written)
            state.SkipWithError(written.Error().Location().c_str());
        benchmark::DoNotOptimize(written);
    }
    fs::remove(file);
}

void BM_WriteFullCharacterFile(benchmark::State& state)
{
    WriteFullCharacterFile(state, BenchFolder());
}
BENCHMARK(BM_WriteFullCharacterFile)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_WriteFullCharacterFileInMemoryFs(benchmark::State& state)
{
    std::error_code ec;
    const fs::path shm = "/dev/shm";
    if (!fs::is_directory(shm, ec)) {
        state.SkipWithError("no /dev/shm");
        return;
    }
    WriteFullCharacterFile(state, shm);
}
BENCHMARK(BM_WriteFullCharacterFileInMemoryFs)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The save without the disk: what the writer itself costs.
void BM_FormatFullCharacterFile(benchmark::State& state)
{
    auto sheet = FullCharacter();
    for (auto _ : state) {
        std::string bytes = EncodeTextLines(CharacterFileLines(*sheet));
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(BM_FormatFullCharacterFile)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace
