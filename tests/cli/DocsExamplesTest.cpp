// SPDX-License-Identifier: GPL-3.0-or-later
// The user documentation's console examples, run against the built keldcg-cli so that they
// cannot go stale. In docs/*.md every ```console block is run: each "$ " line is a command, the
// lines after it up to the next command are what it prints (standard output and errors together).
// A line of just "..." stands for any number of lines. Each document's commands run in order in
// a fresh copy of docs/examples, with keldcg-cli first on the PATH.

#include "CliRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace keld::test {
namespace {

namespace fs = std::filesystem;

const fs::path kDocs = fs::path(KELD_SOURCE_DIR) / "docs";

struct ConsoleExample {
    int line = 0; // of the command in its document
    std::string command;
    std::vector<std::string> expected;
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::vector<ConsoleExample> ConsoleExamples(const fs::path& document)
{
    std::vector<ConsoleExample> examples;
    bool inConsole = false;
    bool inOtherBlock = false;
    int number = 0;
    for (const std::string& line : Lines(ReadWholeFile(document))) {
        ++number;
        if (line.starts_with("```")) {
            if (inConsole || inOtherBlock) {
                inConsole = inOtherBlock = false;
            } else {
                inConsole = line == "```console";
                inOtherBlock = !inConsole;
            }
            continue;
        }
        if (!inConsole)
            continue;
        if (line.starts_with("$ "))
            examples.push_back({number, line.substr(2), {}});
        else if (!examples.empty())
            examples.back().expected.push_back(line);
    }
    // Trailing empty lines cannot be seen in a document; the output's are dropped as well.
    for (ConsoleExample& example : examples)
        while (!example.expected.empty() && example.expected.back().empty())
            example.expected.pop_back();
    return examples;
}

// Whether `actual` reads as `expected`, where a "..." line of `expected` matches any lines.
bool Matches(const std::vector<std::string>& expected, const std::vector<std::string>& actual)
{
    // can[i][j]: expected from i on matches actual from j on.
    std::vector<std::vector<char>> can(expected.size() + 1, std::vector<char>(actual.size() + 1, 0));
    can[expected.size()][actual.size()] = 1;
    for (std::size_t i = expected.size(); i-- > 0;) {
        for (std::size_t j = actual.size() + 1; j-- > 0;) {
            if (expected[i] == "...")
                can[i][j] = can[i + 1][j] || (j < actual.size() && can[i][j + 1]);
            else
                can[i][j] = j < actual.size() && expected[i] == actual[j] && can[i + 1][j + 1];
        }
    }
    return can[0][0] != 0;
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

// Runs one command line with the shell in `folder`, both streams captured together.
std::vector<std::string> RunInFolder(const std::string& command, const fs::path& folder)
{
    const fs::path output = folder / ".console-output";
    const std::string bin = fs::path(KELD_CLI_PATH).parent_path().string();
    std::string line = "cd " + ShellQuoted(folder.string()) + " && PATH=" + ShellQuoted(bin) +
                       ":\"$PATH\" sh -c " + ShellQuoted(command) + " > " + ShellQuoted(output.string()) +
                       " 2>&1";
    // What the example prints is compared, not its status: some examples fail on purpose.
    [[maybe_unused]] const int status = std::system(line.c_str());
    std::string text = ReadWholeFile(output);
    fs::remove(output);
    // The working folder is a temporary one; an example names it as ".".
    const std::string prefix = folder.string() + "/";
    for (std::size_t at; (at = text.find(prefix)) != std::string::npos;)
        text.replace(at, prefix.size(), "./");
    std::vector<std::string> lines = Lines(text);
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return lines;
}

class ExampleFolder {
public:
    ExampleFolder()
        : m_path(fs::temp_directory_path() /
                 ("keld-docs-" + std::to_string(::getpid()) + "-" + std::to_string(s_count++)))
    {
        fs::remove_all(m_path);
        fs::copy(kDocs / "examples", m_path, fs::copy_options::recursive);
    }
    ~ExampleFolder() { fs::remove_all(m_path); }
    const fs::path& Path() const { return m_path; }

private:
    static inline int s_count = 0;
    fs::path m_path;
};

TEST(DocsExamples, EveryConsoleExamplePrintsWhatTheDocumentShows)
{
    std::map<std::string, std::size_t> counts;
    std::vector<fs::path> documents;
    for (const auto& entry : fs::directory_iterator(kDocs))
        if (entry.path().extension() == ".md")
            documents.push_back(entry.path());
    std::sort(documents.begin(), documents.end());

    for (const fs::path& document : documents) {
        const std::string name = document.filename().string();
        const std::vector<ConsoleExample> examples = ConsoleExamples(document);
        counts[name] = examples.size();
        ExampleFolder folder;
        for (const ConsoleExample& example : examples) {
            SCOPED_TRACE(name + ":" + std::to_string(example.line) + ": $ " + example.command);
            std::vector<std::string> actual = RunInFolder(example.command, folder.Path());
            EXPECT_TRUE(Matches(example.expected, actual))
                << "The document shows:\n"
                << Joined(example.expected) << "The program printed:\n"
                << Joined(actual);
        }
    }
    // Each user document shows the program at work.
    for (const char* name :
         {"rules-data-files.md", "character-file.md", "report-templates.md", "keldcg-cli.md"})
        EXPECT_GT(counts[name], 0u) << name << " has no console example";
}

// The matcher itself: a wrong "..." rule would let any output pass.
TEST(DocsExamples, AnEllipsisLineStandsForAnyLinesAndNothingElse)
{
    using V = std::vector<std::string>;
    EXPECT_TRUE(Matches(V{"a", "...", "d"}, V{"a", "b", "c", "d"}));
    EXPECT_TRUE(Matches(V{"a", "...", "b"}, V{"a", "b"}));
    EXPECT_TRUE(Matches(V{"...", "x", "..."}, V{"a", "x", "b", "x"}));
    EXPECT_FALSE(Matches(V{"a", "...", "d"}, V{"a", "b", "c"}));
    EXPECT_FALSE(Matches(V{"a"}, V{"a", "b"}));
    EXPECT_FALSE(Matches(V{"a", "b"}, V{"a"}));
    EXPECT_TRUE(Matches(V{}, V{}));
    EXPECT_FALSE(Matches(V{}, V{"output nobody documented"}));
}

// Example data files are in the form the documents describe: CR LF line ends and 8-bit text.
TEST(DocsExamples, ExampleDataFilesUseCrLfLineEnds)
{
    for (const auto& entry : fs::recursive_directory_iterator(kDocs / "examples")) {
        const std::string extension = entry.path().extension().string();
        if (!entry.is_regular_file() || (extension != ".txt" && extension != ".kld"))
            continue;
        const std::string bytes = ReadWholeFile(entry.path());
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bool lf = bytes[i] == '\n';
            bool afterCr = i > 0 && bytes[i - 1] == '\r';
            ASSERT_FALSE(lf && !afterCr) << entry.path() << ": a lone LF at byte " << i;
        }
        EXPECT_TRUE(bytes.ends_with("\r\n")) << entry.path();
    }
}

} // namespace
} // namespace keld::test
