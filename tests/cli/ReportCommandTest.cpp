// SPDX-License-Identifier: GPL-3.0-or-later
#include "CliRun.h"
#include "report/RtfDocument.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace keld {
namespace {

namespace fs = std::filesystem;
using test::RunCli;

// What is not a template is refused at once, unread, naming the file and the reason; no report
// is written.
TEST(ReportCommand, RefusesWhatIsNoTemplateWithoutReadingIt)
{
    const fs::path folder = fs::temp_directory_path() / ("keld-report-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path big = folder / "big.rtf";
    {
        std::ofstream out(big, std::ios::binary);
        out << "{\\rtf1 big}";
    }
    fs::resize_file(big, RtfDocument::kMaxTemplateBytes + 1); // sparse
    const fs::path fifo = folder / "fifo.rtf"; // no writer: an ordinary open would wait for ever
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path notes = folder / "notes.rtf";
    std::ofstream(notes, std::ios::binary) << "plain notes";
    const std::string character = std::string(KELD_TEST_DATA) + "/charfile/valid-character.kld";

    const struct {
        std::string path;
        std::string reason;
    } cases[] = {{"/dev/zero", "/dev/zero: is not a regular file"},
                 {fifo.string(), fifo.string() + ": is not a regular file"},
                 {big.string(), big.string() + ": is larger than " +
                                    std::to_string(RtfDocument::kMaxTemplateBytes >> 20) + " MB"},
                 {notes.string(), notes.string() + ": is not an RTF file"}};
    for (const auto& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        const test::CliRun run = RunCli({"report", character, c.path, (folder / "out.rtf").string()});
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << c.path;
        EXPECT_EQ(run.exitCode, 1) << c.path;
        EXPECT_NE(run.err.find("5 Invalid procedure call or argument"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(folder / "out.rtf"));
    }
    fs::remove_all(folder);
}

// A missing or extra argument is a mistake in the command line like any other: named, with the
// hint, and an exit status of 100 or more; with --template the missing one is OUT.
TEST(ReportCommand, NamesTheMissingArgument)
{
    const std::string character = std::string(KELD_TEST_DATA) + "/charfile/valid-character.kld";
    const std::string shipped = std::string(KELD_TEST_DATA) + "/../../data/detchar.rtf";
    const struct {
        std::vector<std::string> args;
        std::string said;
    } cases[] = {{{"report", character, shipped}, "OUT is required"},
                 {{"report", character}, "TEMPLATE is required"},
                 {{"report", "--template", "detail", character}, "OUT is required"},
                 {{"report", "--template", "detail", character, "a.rtf", "b.rtf"}, "not expected: b.rtf"}};
    for (const auto& c : cases) {
        const test::CliRun run = RunCli(c.args);
        EXPECT_GE(run.exitCode, 100) << c.said;
        EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("--help"), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists("a.rtf"));
    }
}

// A report written to the program's own standard output goes where that stream goes: appended to
// the file it appends to, through a pipe; a FIFO or a device given as OUT is refused, not replaced.
TEST(ReportCommand, WritesToStandardOutputAndReplacesNoSpecialFile)
{
    const fs::path folder = fs::temp_directory_path() / ("keld-report-out-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string character = std::string(KELD_TEST_DATA) + "/charfile/valid-character.kld";
    const std::string cli = test::ShellQuoted(KELD_CLI_PATH);
    const fs::path all = folder / "all.txt";
    std::ofstream(all) << "earlier\n";
    for (const char* out : {"/dev/stdout", "-"}) {
        const std::string command = cli + " report --template summary " + test::ShellQuoted(character) + " " + out +
                                    " >> " + test::ShellQuoted(all.string());
        EXPECT_EQ(std::system(command.c_str()), 0) << out;
    }
    const std::string text = test::ReadWholeFile(all);
    EXPECT_TRUE(text.starts_with("earlier\n{\\rtf")) << text.substr(0, 40);
    EXPECT_EQ(text.find("{\\rtf", 20) != std::string::npos, true); // both reports, one after the other

    const fs::path piped = folder / "piped.rtf";
    const std::string pipe = cli + " report --template summary " + test::ShellQuoted(character) +
                             " /dev/stdout | cat > " + test::ShellQuoted(piped.string());
    EXPECT_EQ(std::system(pipe.c_str()), 0);
    EXPECT_TRUE(test::ReadWholeFile(piped).starts_with("{\\rtf"));

    const fs::path fifo = folder / "queue.rtf";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& out : {fifo.string(), std::string("/dev/null")}) {
        const test::CliRun run = RunCli({"report", "--template", "summary", character, out});
        EXPECT_EQ(run.exitCode, 1) << out;
        EXPECT_NE(run.err.find(out + ": is not a regular file"), std::string::npos) << run.err;
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    fs::remove_all(folder);
}

} // namespace
} // namespace keld
