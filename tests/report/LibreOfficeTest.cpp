// SPDX-License-Identifier: GPL-3.0-or-later
#include "../common/TestFiles.h"
#include "report/ReportValues.h"

#include "../common/MachineCheck.h"
#include "TestCharacter.h"
#include "TestImages.h"
#include "common/TextFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace keld {
namespace {

// A real reader reads both filled default templates back, and the values stand in the text.
TEST(LibreOffice, ReadsTheFilledDefaultTemplates)
{
    ASSERT_TRUE(test::HaveLibreOffice());
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("keld_report_lo_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::string picture = test::WriteTempFile("lo.png", test::MakePng(20, 20));
    auto c = test::MakeCharacter(picture);
    const CharacterRecord& r = c->sheet->Record();

    for (const char* name : {"detchar.rtf", "subchar.rtf"}) {
        RtfDocument doc;
        ASSERT_TRUE(doc.LoadFile(fs::path(KELD_SOURCE_DIR) / "data" / name).Ok());
        FillData(doc, *c->sheet);
        ASSERT_TRUE(doc.SaveFile(dir / name).Ok());
    }
    // Templates written by other programs, filled with the same character.
    for (const char* name : {"word_style_template.rtf", "libreoffice_template.rtf"}) {
        RtfDocument doc;
        ASSERT_TRUE(doc.LoadFile(fs::path(KELD_TEST_DATA) / "report" / name).Ok());
        FillData(doc, *c->sheet);
        ASSERT_TRUE(doc.SaveFile(dir / name).Ok());
    }
    // Its own profile folder, so runs beside other instances do not wait for each other.
    std::string command =
        "cd '" + dir.string() + "' && soffice -env:UserInstallation=file://" + dir.string() +
        "/profile --headless --convert-to txt:Text detchar.rtf subchar.rtf word_style_template.rtf "
        "libreoffice_template.rtf > convert.log 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << *test::ReadTestFile(dir / "convert.log");

    for (const char* name : {"detchar.txt", "subchar.txt"}) {
        auto bytes = test::ReadTestFile(dir / name);
        ASSERT_TRUE(bytes.Ok()) << name << " was not written (soffice exits 0 even when it fails):\n"
                                << test::ReadTestFile(dir / "convert.log").Value();
        std::string text = *bytes;
        if (text.rfind("\xEF\xBB\xBF", 0) == 0)
            text.erase(0, 3);
        EXPECT_EQ(text.find('['), std::string::npos) << name << ": a placeholder is left\n" << text;
        std::vector<std::string> expected = {
            r.Name,        c->sheet->RaceName(), c->sheet->ProfessionName(), r.Level,
            r.PowerPoints, r.Stats[4].Total,     r.Skills[35].Total,         "Lore 28"};
        if (std::string_view(name) == "detchar.txt") {
            for (std::string v :
                 {"Auburn Grey", "Sees in twilight", "Essence", "7890", "Raised by river traders.", "Rope",
                  "Lantern", "Owes a favour.", "Day one.", "Day two.", "5'8\" 130 lb"})
                expected.push_back(v);
        }
        for (const auto& v : expected)
            EXPECT_NE(text.find(v), std::string::npos) << name << " lacks " << v << "\n" << text;
    }
    for (const char* name : {"word_style_template.txt", "libreoffice_template.txt"}) {
        auto text = test::ReadTestFile(dir / name);
        ASSERT_TRUE(text.Ok()) << name;
        for (const std::string& v : {r.Name, c->sheet->RaceName(), r.Level, r.Stats[0].Value,
                                     r.Skills[1].Total, std::string("Day one."), std::string("Day two.")})
            EXPECT_NE(text->find(v), std::string::npos) << name << " lacks " << v << "\n" << *text;
    }
    fs::remove_all(dir);
}

} // namespace
} // namespace keld
