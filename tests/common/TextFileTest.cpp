#include "TextFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace keld;
namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir()
    {
        char tmpl[] = "/tmp/keld-text-XXXXXX";
        m_path = ::mkdtemp(tmpl);
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_path, ec);
    }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

std::string Slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(SplitLines, HonoursTheLineEndsOfEachFileKind)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitLines("", LineEnds::CrLfOrCr), V{});
    EXPECT_EQ(SplitLines("a\r\nb\r\n", LineEnds::CrLfOrCr), (V{"a", "b"}));
    EXPECT_EQ(SplitLines("a\rb", LineEnds::CrLfOrCr), (V{"a", "b"}));
    EXPECT_EQ(SplitLines("a\nb\r\n", LineEnds::CrLfOrCr), (V{"a\nb"}));
    EXPECT_EQ(SplitLines("a\nb\r\n", LineEnds::CrLfOrCrOrLf), (V{"a", "b"}));
    EXPECT_EQ(SplitLines("\r\n\r\nx", LineEnds::CrLfOrCr), (V{"", "", "x"}));
    EXPECT_EQ(SplitLines("a\r\r\nb", LineEnds::CrLfOrCr), (V{"a", "", "b"}));
}

TEST(Encoding, DecodesWindows1252UnlessTheBytesAreUtf8)
{
    EXPECT_EQ(DecodeText("plain"), "plain");
    EXPECT_EQ(DecodeText("Caf\xE9"), "Caf\xC3\xA9");             // é in Windows-1252
    EXPECT_EQ(DecodeText("\x80 \x9F"), "\xE2\x82\xAC \xC5\xB8"); // € and Ÿ
    EXPECT_EQ(DecodeText("Caf\xC3\xA9"), "Caf\xC3\xA9");         // already UTF-8
    EXPECT_EQ(DecodeText("\xC3"), "\xC3\x83");                   // truncated UTF-8 is 1252
    EXPECT_EQ(DecodeText("\xC0\xAF"), "\xC3\x80\xC2\xAF");       // overlong is not UTF-8

    std::string out;
    EXPECT_TRUE(EncodeWindows1252("Caf\xC3\xA9 \xE2\x82\xAC", out));
    EXPECT_EQ(out, "Caf\xE9 \x80");
    EXPECT_FALSE(EncodeWindows1252("\xE2\x98\x83", out)); // a snowman has no 1252 byte

    // Every byte decodes to something that encodes back to the same byte.
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    ASSERT_TRUE(EncodeWindows1252(DecodeText(all), out));
    EXPECT_EQ(out, all);
}

TEST(Encoding, WritesWindows1252WhenItFitsAndUtf8Otherwise)
{
    EXPECT_EQ(EncodeTextLines({"[GENERAL]", "Name=J\xC3\xB6rn"}), "[GENERAL]\r\nName=J\xF6rn\r\n");
    std::string snow = "Name=\xE2\x98\x83 and J\xC3\xB6rn";
    EXPECT_EQ(EncodeTextLines({snow}), snow + "\r\n");
    EXPECT_EQ(DecodeText(EncodeTextLines({snow})), snow + "\r\n");
}

TEST(AtomicWriteFile, ReplacesTheFileWholeOrNotAtAll)
{
    TempDir dir;
    fs::path target = dir.Path() / "hero.kld";
    ASSERT_TRUE(WriteTextFileLines(target, {"one", "two"}).Ok());
    EXPECT_EQ(Slurp(target), "one\r\ntwo\r\n");
    ASSERT_TRUE(AtomicWriteFile(target, "new").Ok());
    EXPECT_EQ(Slurp(target), "new");

    auto lines = ReadTextFileLines(target, LineEnds::CrLfOrCr);
    ASSERT_TRUE(lines.Ok());
    EXPECT_EQ(*lines, std::vector<std::string>{"new"});

    // No temporary file is left behind.
    int count = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(dir.Path()))
        ++count;
    EXPECT_EQ(count, 1);

    if (::geteuid() != 0) { // root writes anywhere
        fs::permissions(dir.Path(), fs::perms::owner_read | fs::perms::owner_exec);
        auto status = AtomicWriteFile(target, "lost");
        EXPECT_FALSE(status.Ok());
        EXPECT_EQ(Slurp(target), "new");
    }
    auto missingFolder = AtomicWriteFile(dir.Path() / "no" / "such.kld", "x");
    ASSERT_FALSE(missingFolder.Ok());
    EXPECT_NE(missingFolder.Error().File().find("such.kld"), std::string::npos);
}

TEST(ReadFileBytes, ReportsAMissingFileAsFileNotFound)
{
    auto r = ReadFileBytes("/nonexistent/racemod.txt");
    ASSERT_FALSE(r.Ok());
    EXPECT_EQ(r.Error().Number(), kErrFileNotFound);
    EXPECT_EQ(r.Error().File(), "/nonexistent/racemod.txt");
    EXPECT_FALSE(ReadFileBytes("/tmp").Ok());
}

TEST(AtomicWriteFile, WritesThroughALinkAndKeepsTheLink)
{
    TempDir dir;
    fs::path real = dir.Path() / "real.kld";
    fs::path link = dir.Path() / "link.kld";
    ASSERT_TRUE(AtomicWriteFile(real, "old").Ok());
    fs::create_symlink(real, link);
    ASSERT_TRUE(AtomicWriteFile(link, "new").Ok());
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Slurp(real), "new");
}
