// SPDX-License-Identifier: GPL-3.0-or-later
#include "CliRun.h"

#include <gtest/gtest.h>
#include <pty.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace keld {
namespace {

namespace fs = std::filesystem;
using test::ReadWholeFile;
using test::RunCli;
using test::ShellQuoted;

std::string Shell(const std::string& command)
{
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

// The bookmarks of a PDF as poppler reads them: title and page (from 1).
std::vector<std::pair<std::string, int>> Outline(const fs::path& pdf)
{
    const std::string xml =
        Shell("pdftohtml -xml -stdout -i -q " + ShellQuoted(pdf.string()) + " 2>/dev/null");
    std::vector<std::pair<std::string, int>> items;
    // <item page="N">TITLE</item>, read by hand: std::regex trips a false warning of GCC 12.
    constexpr std::string_view kOpen = "<item page=\"";
    for (std::size_t at = xml.find(kOpen); at != std::string::npos; at = xml.find(kOpen, at)) {
        at += kOpen.size();
        const std::size_t quote = xml.find("\">", at);
        const std::size_t close = xml.find("</item>", at);
        if (quote == std::string::npos || close == std::string::npos || close < quote)
            break;
        const std::string page = xml.substr(at, quote - at);
        if (page.empty() || page.find_first_not_of("0123456789") != std::string::npos)
            continue;
        items.emplace_back(xml.substr(quote + 2, close - quote - 2), std::stoi(page));
        at = close;
    }
    return items;
}

std::string PdfInfo(const fs::path& pdf)
{
    return Shell("pdfinfo " + ShellQuoted(pdf.string()) + " 2>/dev/null");
}

std::string PageText(const fs::path& pdf, int page)
{
    const std::string n = std::to_string(page);
    return Shell("pdftotext -f " + n + " -l " + n + " -layout " + ShellQuoted(pdf.string()) +
                 " - 2>/dev/null");
}

class PartyCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(std::system("command -v pdftohtml > /dev/null && command -v pdfinfo > /dev/null"), 0)
            << "pdftohtml and pdfinfo are missing: install the Debian package poppler-utils";
        m_folder = fs::temp_directory_path() / ("keld-party-" + std::to_string(::getpid()));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }

    // A copy of the valid character named `name`, as `file` in the test's folder.
    std::string Character(const std::string& file, const std::string& name)
    {
        const std::string text = ReadWholeFile(fs::path(KELD_TEST_DATA) / "charfile/valid-character.kld");
        const std::size_t at = text.find("NAME=");
        const std::size_t end = text.find('\r', at);
        EXPECT_TRUE(at != std::string::npos && end != std::string::npos);
        const fs::path path = m_folder / file;
        std::ofstream(path, std::ios::binary) << text.substr(0, at + 5) << name << text.substr(end);
        return path.string();
    }

    // Two pages a character, each footed with its own page number.
    std::string TwoPageTemplate()
    {
        const fs::path path = m_folder / "two-pages.rtf";
        std::ofstream(path, std::ios::binary)
            << "{\\rtf1\\ansi{\\footer\\pard Page {\\field{\\*\\fldinst PAGE}{\\fldrslt 1}} of "
               "{\\field{\\*\\fldinst NUMPAGES}{\\fldrslt 1}}\\par}\\pard Hero [NAME]\\page Second\\par}";
        return path.string();
    }

    // The files in the test's folder other than the inputs.
    std::vector<std::string> Written(const std::vector<std::string>& inputs)
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(m_folder)) {
            const std::string path = entry.path().string();
            if (std::find(inputs.begin(), inputs.end(), path) == inputs.end() && !entry.is_directory())
                names.push_back(entry.path().lexically_relative(m_folder).string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path m_folder;
};

// One PDF: each character from a new page with its own page numbers, a bookmark each at its first
// page (the file's name for a nameless one), titled "Party"; one character keeps its name as title.
TEST_F(PartyCommand, OnePdfHasABookmarkPerCharacterAtItsFirstPage)
{
    const std::string templ = TwoPageTemplate();
    const std::string aldric = Character("aldric.kld", "Aldric");
    const std::string nameless = Character("nameless.kld", "");
    const std::string corvin = Character("corvin.kld", "Corvin Ø");
    const fs::path out = m_folder / "party.pdf";
    const test::CliRun run =
        RunCli({"party", "--template", templ, "--out", out.string(), aldric, nameless, corvin});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err.find("characters"), std::string::npos)
        << "no progress when not on a terminal: " << run.err;
    const std::vector<std::pair<std::string, int>> expected = {
        {"Aldric", 1}, {"nameless.kld", 3}, {"Corvin Ø", 5}};
    EXPECT_EQ(Outline(out), expected);
    const std::string info = PdfInfo(out);
    EXPECT_NE(info.find("Title:           Party\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Pages:           6\n"), std::string::npos) << info;
    const std::string third = PageText(out, 3);
    EXPECT_NE(third.find("Page 1 of 2"), std::string::npos) << third;
    EXPECT_NE(PageText(out, 6).find("Page 2 of 2"), std::string::npos);
    EXPECT_NE(PageText(out, 5).find("Hero Corvin Ø"), std::string::npos);

    const fs::path one = m_folder / "one.pdf";
    ASSERT_EQ(RunCli({"party", "--template", templ, "--out", one.string(), corvin}).exitCode, 0);
    EXPECT_NE(PdfInfo(one).find("Title:           Corvin Ø\n"), std::string::npos) << PdfInfo(one);
    EXPECT_EQ(Outline(one), (std::vector<std::pair<std::string, int>>{{"Corvin Ø", 1}}));
}

// The same party gives the same bytes with one job or four, as one PDF and as a PDF each; a
// second character of the same name gets "name (2).pdf".
TEST_F(PartyCommand, SameBytesWhateverTheJobs)
{
    std::vector<std::string> files;
    for (const char* name : {"Aldric", "Brenna", "Aldric", "Dunmore/Fen", "Brenna", "Eira"})
        files.push_back(Character("c" + std::to_string(files.size()) + ".kld", name));
    std::vector<std::string> bytes;
    for (const char* jobs : {"1", "4"}) {
        const fs::path out = m_folder / (std::string("party-") + jobs + ".pdf");
        std::vector<std::string> args = {"party", "--jobs", jobs, "--out", out.string()};
        args.insert(args.end(), files.begin(), files.end());
        ASSERT_EQ(RunCli(args).exitCode, 0);
        bytes.push_back(ReadWholeFile(out));

        args = {"party", "--template", "summary", "--jobs", jobs, "--each", (m_folder / jobs).string()};
        args.insert(args.end(), files.begin(), files.end());
        ASSERT_EQ(RunCli(args).exitCode, 0);
    }
    ASSERT_FALSE(bytes[0].empty());
    EXPECT_TRUE(bytes[0] == bytes[1]) << "one PDF differs between 1 and 4 jobs";
    EXPECT_EQ(Outline(m_folder / "party-4.pdf").size(), files.size());

    const std::vector<std::string> each = {"Aldric (2).pdf", "Aldric.pdf",      "Brenna (2).pdf",
                                           "Brenna.pdf",     "Dunmore_Fen.pdf", "Eira.pdf"};
    for (const std::string& name : each) {
        const std::string one = ReadWholeFile(m_folder / "1" / name);
        EXPECT_TRUE(!one.empty() && one == ReadWholeFile(m_folder / "4" / name)) << name;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(m_folder / "4"), fs::directory_iterator()), 6);
    EXPECT_NE(PdfInfo(m_folder / "4" / "Aldric (2).pdf").find("Title:           Aldric\n"),
              std::string::npos);
}

// A member that cannot be read is named with the reason, the others are printed and the status
// says one failed; with none printable the old OUT stays as it was.
TEST_F(PartyCommand, BrokenMemberIsNamedAndTheOthersPrinted)
{
    const std::string aldric = Character("aldric.kld", "Aldric");
    const std::string brenna = Character("brenna.kld", "Brenna");
    const std::string missing = (m_folder / "missing.kld").string();
    const std::string broken = std::string(KELD_TEST_DATA) + "/charfile/skill-row-not-a-number.kld";
    const fs::path out = m_folder / "party.pdf";
    test::CliRun run = RunCli({"party", "--out", out.string(), aldric, missing, broken, brenna});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(missing + ": not printed"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("53 File not found"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(broken + ": not printed"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(broken + ":"), run.err.find(broken + ": not printed"))
        << "the reason: " << run.err;
    EXPECT_EQ(Outline(out), (std::vector<std::pair<std::string, int>>{{"Aldric", 1}, {"Brenna", 4}}));

    run = RunCli({"party", "--each", (m_folder / "each").string(), aldric, missing, brenna});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(Written({aldric, brenna}),
              (std::vector<std::string>{"each/Aldric.pdf", "each/Brenna.pdf", "party.pdf"}));

    std::ofstream(out, std::ios::binary) << "old";
    run = RunCli({"party", "--out", out.string(), missing, broken});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(ReadWholeFile(out), "old");
}

// Ctrl+C stops the run: nothing at OUT, no temporary beside it.
TEST_F(PartyCommand, InterruptedRunLeavesNoFile)
{
    const std::string aldric = Character("aldric.kld", "Aldric");
    const std::string out = (m_folder / "party.pdf").string();
    std::vector<std::string> args = {KELD_CLI_PATH, "party", "--out", out};
    // Long enough to be stopped half-way.
    args.insert(args.end(), 2000, aldric);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ::kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGINT);
    EXPECT_EQ(Written({aldric}), std::vector<std::string>{});
}

// On a terminal the run says how far it has come (and, as the first test checks, says nothing of
// it when standard error is a file).
TEST_F(PartyCommand, ShowsProgressOnATerminal)
{
    const std::string aldric = Character("aldric.kld", "Aldric");
    const std::string out = (m_folder / "party.pdf").string();
    int terminal = -1;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::execl(KELD_CLI_PATH, KELD_CLI_PATH, "party", "--out", out.c_str(), aldric.c_str(), aldric.c_str(),
                aldric.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::string shown;
    char buffer[4096];
    for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) > 0;)
        shown.append(buffer, static_cast<std::size_t>(n));
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ::close(terminal);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
    EXPECT_NE(shown.find("1 of 3 characters"), std::string::npos) << shown;
    EXPECT_NE(shown.find("3 of 3 characters"), std::string::npos) << shown;
}

// Where to write is required, one way only.
TEST_F(PartyCommand, NamesWhereToWrite)
{
    const std::string aldric = Character("aldric.kld", "Aldric");
    test::CliRun run = RunCli({"party", aldric});
    EXPECT_GE(run.exitCode, 100);
    EXPECT_NE(run.err.find("--out or --each"), std::string::npos) << run.err;
    run = RunCli({"party", "--out", (m_folder / "a.pdf").string(), "--each", m_folder.string(), aldric});
    EXPECT_GE(run.exitCode, 100);
    EXPECT_NE(run.err.find("excludes"), std::string::npos) << run.err;
    EXPECT_EQ(Written({aldric}), std::vector<std::string>{});
}

} // namespace
} // namespace keld
