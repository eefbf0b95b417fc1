// SPDX-License-Identifier: GPL-3.0-or-later
#include "../common/TestFiles.h"
#include "common/TextFile.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utime.h>

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

std::vector<std::string> FolderEntries(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

fs::perms Permissions(const fs::path& p)
{
    return fs::status(p).permissions();
}

// A large file that tells whether it is whole: a header with its version, then one letter.
constexpr std::size_t kVersionSize = 2 << 20;

std::string Version(int k)
{
    char header[32];
    std::snprintf(header, sizeof header, "version %08d\n", k);
    std::string bytes(kVersionSize, static_cast<char>('a' + k % 26));
    bytes.replace(0, 17, header, 17);
    return bytes;
}

::testing::AssertionResult IsWholeVersion(const fs::path& file)
{
    auto bytes = test::ReadTestFile(file);
    if (!bytes || bytes->size() != kVersionSize)
        return ::testing::AssertionFailure()
               << "size " << (bytes ? bytes->size() : 0) << " instead of " << kVersionSize;
    int k = -1;
    if (std::sscanf(bytes->c_str(), "version %08d", &k) != 1 ||
        bytes->find_first_not_of(static_cast<char>('a' + k % 26), 17) != std::string::npos)
        return ::testing::AssertionFailure() << "a mixed or torn file: " << bytes->substr(0, 17);
    return ::testing::AssertionSuccess();
}

// A process id that no process has: a child that has already ended and been reaped.
pid_t DeadProcessId()
{
    pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

class SaveKinds : public ::testing::TestWithParam<SaveTemporary> {};

std::string KindName(const ::testing::TestParamInfo<SaveTemporary>& info)
{
    return info.param == SaveTemporary::Unnamed ? "Unnamed" : "Named";
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

    auto lines = ReadTextFileLines(target, LineEnds::CrLfOrCr, 1024);
    ASSERT_TRUE(lines.Ok());
    EXPECT_EQ(*lines, std::vector<std::string>{"new"});

    // No temporary file is left behind.
    int count = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(dir.Path()))
        ++count;
    EXPECT_EQ(count, 1);

    auto missingFolder = AtomicWriteFile(dir.Path() / "no" / "such.kld", "x");
    ASSERT_FALSE(missingFolder.Ok());
    EXPECT_NE(missingFolder.Error().File().find("such.kld"), std::string::npos);
}

TEST(AtomicWriteFile, RefusedInAReadOnlyFolderKeepsTheOldFile)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes in a read-only folder";
    TempDir dir;
    const fs::path target = dir.Path() / "hero.kld";
    ASSERT_TRUE(AtomicWriteFile(target, "new").Ok());
    fs::permissions(dir.Path(), fs::perms::owner_read | fs::perms::owner_exec);
    auto status = AtomicWriteFile(target, "lost");
    fs::permissions(dir.Path(), fs::perms::owner_all);
    EXPECT_FALSE(status.Ok());
    EXPECT_EQ(Slurp(target), "new");
}

// Every kind of file the program reads goes through one reader: what cannot be a file of ours is
// refused at once, with the path and the reason, and nothing is read past the kind's limit.
TEST(ReadRegularFileBytes, RefusesWhatIsNoRegularFileOrTooLargeAtOnce)
{
    TempDir dir;
    auto missing = ReadRegularFileBytes("/nonexistent/racemod.txt", 1024);
    ASSERT_FALSE(missing.Ok());
    EXPECT_EQ(missing.Error().Number(), kErrFileNotFound);
    EXPECT_EQ(missing.Error().File(), "/nonexistent/racemod.txt");

    const fs::path fifo = dir.Path() / "keldcg.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0); // nobody writes: a blocking open would wait for ever
    const fs::path zero = dir.Path() / "racemod.txt";
    fs::create_symlink("/dev/zero", zero);
    struct Case {
        fs::path path;
        std::string reason;
    };
    for (const Case& c : {Case{fifo, "is not a regular file"}, Case{zero, "is not a regular file"},
                          Case{dir.Path(), "is a folder, not a file"}}) {
        auto r = ReadRegularFileBytes(c.path, 1 << 20);
        ASSERT_FALSE(r.Ok()) << c.path;
        EXPECT_EQ(r.Error().Number(), 75) << c.path;
        EXPECT_EQ(r.Error().Detail(), c.reason) << c.path;
        EXPECT_EQ(r.Error().File(), c.path.string());
    }

    // A sparse file: huge on paper, refused from its size without a byte read.
    const fs::path huge = dir.Path() / "huge.rtf";
    { std::ofstream(huge) << "x"; }
    fs::resize_file(huge, std::uintmax_t{8} << 30);
    auto large = ReadRegularFileBytes(huge, 64u << 20);
    ASSERT_FALSE(large.Ok());
    EXPECT_EQ(large.Error().Number(), 7);
    EXPECT_EQ(large.Error().Detail(), "is larger than 64 MB");

    const fs::path exact = dir.Path() / "exact.txt";
    { std::ofstream(exact) << std::string(1024, 'a'); }
    EXPECT_EQ(ReadRegularFileBytes(exact, 1024).Value().size(), 1024u);
    EXPECT_FALSE(ReadRegularFileBytes(exact, 1023).Ok());
    auto lines = ReadTextFileLines(fifo, LineEnds::CrLfOrCrOrLf, 1024);
    EXPECT_FALSE(lines.Ok());
}

TEST_P(SaveKinds, KeepPermissionsAndLinksAndTakeLongNames)
{
    const SaveTemporary kind = GetParam();
    TempDir dir;
    const mode_t oldMask = ::umask(027);
    fs::path fresh = dir.Path() / "fresh.kld";
    ASSERT_TRUE(AtomicWriteFile(fresh, "new", kind).Ok());
    EXPECT_EQ(Permissions(fresh), fs::perms(0640));
    ::umask(oldMask);

    fs::path kept = dir.Path() / "kept.kld";
    ASSERT_TRUE(AtomicWriteFile(kept, "one", kind).Ok());
    fs::permissions(kept, fs::perms(0604));
    ASSERT_TRUE(AtomicWriteFile(kept, "two", kind).Ok());
    EXPECT_EQ(Permissions(kept), fs::perms(0604));
    EXPECT_EQ(Slurp(kept), "two");

    fs::create_directory(dir.Path() / "real");
    fs::path real = dir.Path() / "real" / "hero.kld";
    fs::path link = dir.Path() / "link.kld";
    fs::create_symlink(real, link); // dangling until the first save
    ASSERT_TRUE(AtomicWriteFile(link, "first", kind).Ok());
    ASSERT_TRUE(AtomicWriteFile(link, "second", kind).Ok());
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Slurp(real), "second");

    // The longest name a file can have still leaves room for its temporary.
    fs::path longest = dir.Path() / (std::string(251, 'n') + ".kld");
    ASSERT_TRUE(AtomicWriteFile(longest, "one", kind).Ok());
    ASSERT_TRUE(AtomicWriteFile(longest, "two", kind).Ok());
    EXPECT_EQ(Slurp(longest), "two");

    EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string>{"fresh.kld", "kept.kld", "link.kld",
                                                                   longest.filename().string(), "real"}));
    EXPECT_EQ(FolderEntries(dir.Path() / "real"), std::vector<std::string>{"hero.kld"});
}

// A child saves a large file over and over and is killed at random moments: the target is always
// one whole version, and once the next save has run nothing else is left in the folder.
TEST_P(SaveKinds, KilledSavesLeaveTheTargetWholeAndNothingBehind)
{
    const SaveTemporary kind = GetParam();
    TempDir dir;
    fs::path target = dir.Path() / "hero.kld";
    ASSERT_TRUE(AtomicWriteFile(target, Version(0), kind).Ok());
    fs::permissions(target, fs::perms(0640));

    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> delayMicroseconds(0, 8000);
    int leftBehind = 0;
    for (int round = 1; round <= 60; ++round) {
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int k = round * 1000; k < round * 1000 + 1000; ++k)
                (void)AtomicWriteFile(target, Version(k), kind);
            ::_exit(0);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delayMicroseconds(random)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ASSERT_TRUE(IsWholeVersion(target)) << "after round " << round;
        leftBehind += static_cast<int>(FolderEntries(dir.Path()).size()) - 1;
    }
    EXPECT_EQ(Permissions(target), fs::perms(0640));
    // An unnamed file has a name only between its link and the rename, so kills rarely leave one.
    if (kind == SaveTemporary::Unnamed) {
        EXPECT_LE(leftBehind, 6);
    }

    ASSERT_TRUE(AtomicWriteFile(target, Version(1), kind).Ok());
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"hero.kld"});
    EXPECT_EQ(Slurp(target), Version(1));
}

INSTANTIATE_TEST_SUITE_P(AtomicWriteFile, SaveKinds,
                         ::testing::Values(SaveTemporary::Unnamed, SaveTemporary::Named), KindName);

TEST(AtomicWriteFile, NextSaveRemovesTheStaleTemporariesOfItsTargetOnly)
{
    TempDir dir;
    const std::string dead = std::to_string(DeadProcessId());
    auto touch = [&dir](const std::string& name) {
        std::ofstream(dir.Path() / name) << "partial";
        return name;
    };
    std::vector<std::string> removed = {
        touch(".hero.kld.keldtmp." + dead + ".Ab12Cd"), // its save was killed
        touch(".hero.kld.keldtmp.1.Old9yX"),            // too old, whoever has that process id now
    };
    struct utimbuf twoDaysAgo {};
    twoDaysAgo.actime = twoDaysAgo.modtime = ::time(nullptr) - 2 * 24 * 60 * 60;
    ASSERT_EQ(::utime((dir.Path() / removed[1]).c_str(), &twoDaysAgo), 0);
    std::vector<std::string> kept = {
        touch(".hero.kld.keldtmp.1.Run9yX"),              // a save still running in another process
        touch(".other.kld.keldtmp." + dead + ".Ab12Cd"),  // another file's
        touch(".hero.kld.keldtmp." + dead + ".Ab12Cd.x"), // not one of ours
        touch(".hero.kld." + dead + ".Ab12Cd"),
        "hero.kld",
    };
    fs::create_directory(dir.Path() / (".hero.kld.keldtmp." + dead + ".Dir123"));
    kept.push_back(".hero.kld.keldtmp." + dead + ".Dir123");

    ASSERT_TRUE(AtomicWriteFile(dir.Path() / "hero.kld", "saved", SaveTemporary::Named).Ok());
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(FolderEntries(dir.Path()), kept);
    EXPECT_EQ(Slurp(dir.Path() / "hero.kld"), "saved");
}

namespace {

// A child's standard output, written by `write`, as the parent reads it from a pipe.
std::string ChildOutput(const std::function<void()>& write)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return "no pipe";
    pid_t child = ::fork();
    if (child == 0) {
        ::dup2(fds[1], 1);
        ::close(fds[0]);
        ::close(fds[1]);
        write();
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    ::waitpid(child, nullptr, 0);
    return out;
}

} // namespace

// The program's own streams are written to, never replaced: through a pipe, and appending to the
// file that standard output appends to, whatever name leads to them.
TEST(AtomicWriteFile, WritesToTheProgramsOwnStreams)
{
    TempDir dir;
    const fs::path link = dir.Path() / "out.rtf";
    fs::create_symlink("/dev/stdout", link);
    EXPECT_EQ(ChildOutput([&] {
                  (void)AtomicWriteFile("-", "a");
                  (void)AtomicWriteFile("/dev/stdout", "b");
                  (void)AtomicWriteFile("/proc/self/fd/1", "c");
                  (void)AtomicWriteFile("/dev/fd/1", "d");
                  (void)AtomicWriteFile(link, "e");
              }),
              "abcde");
    EXPECT_TRUE(fs::is_symlink(link));

    const fs::path all = dir.Path() / "all.txt";
    { std::ofstream(all) << "earlier\n"; }
    pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(all.c_str(), O_WRONLY | O_APPEND);
        ::dup2(fd, 1);
        const bool ok = AtomicWriteFile("/dev/stdout", "report\n").Ok() && AtomicWriteFile("-", "more\n").Ok();
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Slurp(all), "earlier\nreport\nmore\n");

    // A closed stream is an error that names it.
    child = ::fork();
    if (child == 0) {
        ::close(1);
        auto written = AtomicWriteFile("-", "lost");
        ::_exit(!written.Ok() && written.Error().File() == "standard output" ? 0 : 1);
    }
    ::waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A FIFO, a device or a folder is never replaced by a plain file.
TEST(AtomicWriteFile, RefusesATargetThatIsNoRegularFile)
{
    TempDir dir;
    const fs::path fifo = dir.Path() / "queue";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path device = dir.Path() / "null-link";
    fs::create_symlink("/dev/null", device);
    for (const fs::path& target : {fifo, device, dir.Path()}) {
        auto written = AtomicWriteFile(target, "report");
        ASSERT_FALSE(written.Ok()) << target;
        EXPECT_EQ(written.Error().Number(), 75);
        EXPECT_EQ(written.Error().File(), target.string());
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(fs::is_symlink(device));
}

// Every name of a file with several hard links sees the new bytes, and no copy is left behind.
TEST(AtomicWriteFile, KeepsHardLinksByWritingInPlace)
{
    TempDir dir;
    const fs::path first = dir.Path() / "hero.kld";
    const fs::path second = dir.Path() / "party-hero.kld";
    { std::ofstream(first) << std::string(100000, 'o'); }
    fs::permissions(first, fs::perms(0640));
    fs::create_hard_link(first, second);
    ASSERT_TRUE(AtomicWriteFile(first, "new").Ok());
    EXPECT_EQ(Slurp(first), "new");
    EXPECT_EQ(Slurp(second), "new");
    EXPECT_EQ(fs::hard_link_count(first), 2u);
    EXPECT_EQ(Permissions(second), fs::perms(0640));
    EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string>{"hero.kld", "party-hero.kld"}));

    // A copy left by a save that did not finish may be the only whole version: it stays, and so
    // does the file, until the user has looked.
    { std::ofstream(dir.Path() / ".hero.kld.keldbak") << "old"; }
    auto refused = AtomicWriteFile(first, "newer");
    ASSERT_FALSE(refused.Ok());
    EXPECT_NE(refused.Error().Detail().find(".hero.kld.keldbak"), std::string::npos);
    EXPECT_EQ(Slurp(second), "new");
    EXPECT_EQ(Slurp(dir.Path() / ".hero.kld.keldbak"), "old");
}

// Root saving over a user's file leaves it the user's.
TEST(AtomicWriteFile, KeepsTheOwnerAndGroup)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root may give a file to another user";
    TempDir dir;
    for (SaveTemporary kind : {SaveTemporary::Unnamed, SaveTemporary::Named}) {
        const fs::path target = dir.Path() / "hero.kld";
        ASSERT_TRUE(AtomicWriteFile(target, "old").Ok());
        ASSERT_EQ(::chown(target.c_str(), 4321, 4322), 0);
        ASSERT_TRUE(AtomicWriteFile(target, "new", kind).Ok());
        struct stat st {};
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 4321u);
        EXPECT_EQ(st.st_gid, 4322u);
        EXPECT_EQ(Slurp(target), "new");
    }
}
