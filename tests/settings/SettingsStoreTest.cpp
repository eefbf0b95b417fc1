// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsStore.h"

#include "common/TextFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace keld {
namespace {

namespace fs = std::filesystem;

constexpr const char* kApp = "KELDCG";

// Sets an environment variable for one test and puts back what was there.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        ::setenv(name, value, 1);
    }
    ~ScopedEnv()
    {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

std::string ReadAll(const fs::path& path)
{
    auto bytes = ReadRegularFileBytes(path, 64 << 20);
    return bytes ? *bytes : "<unreadable>";
}

void WriteAll(const fs::path& path, std::string_view bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), std::streamsize(bytes.size()));
}

class SettingsStoreTest : public testing::Test {
protected:
    void SetUp() override
    {
        fs::remove_all(m_root);
        fs::create_directories(m_root / kApp);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::permissions(m_root / kApp, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_root, ec);
    }
    fs::path File() const { return m_store.StoreFile(kApp); }
    fs::path Aside(const char* suffix = ".broken") const { return fs::path(File()).concat(suffix); }
    std::string FileText() const { return ReadAll(File()); }

    fs::path m_root = fs::temp_directory_path() / ("keld-settings-" + std::to_string(::getpid()));
    SettingsStore m_store{m_root};
};

TEST_F(SettingsStoreTest, LivesInThePerUserConfigFolder)
{
    const ScopedEnv home("HOME", "/home/someone");
    {
        const ScopedEnv xdg("XDG_CONFIG_HOME", "relative/cfg"); // ignored: not absolute
        EXPECT_EQ(SettingsStore::DefaultConfigFolder(), fs::path("/home/someone/.config"));
    }
    EXPECT_EQ(ApplicationName(), "test_app");

    const ScopedEnv xdg("XDG_CONFIG_HOME", m_root.c_str());
    ASSERT_TRUE(SaveSetting(kApp, "SCREEN", "FORM1TOP", "15").Ok());
    EXPECT_EQ(FileText(), "[SCREEN]\nFORM1TOP=15\n");
    EXPECT_EQ(GetSetting(kApp, "SCREEN", "FORM1TOP", "0"), "15");
    EXPECT_EQ(GetSetting("OtherName", "SCREEN", "FORM1TOP", "0"), "0");
}

TEST_F(SettingsStoreTest, NamesIgnoreCaseAndTheFileKeepsItsOtherLines)
{
    WriteAll(File(),
             "; by hand\n[SCREEN]\nFORM2TOP = -3000\nFORM2HEIGHT = 9000\n\n[TOOLBAR]\nCHECKED=True\n");
    ASSERT_TRUE(m_store.SaveSetting(kApp, "Options", "DetailTemplate", "/t/detail.rtf").Ok());
    ASSERT_TRUE(m_store.SaveSetting(kApp, "OPTIONS", "STATSOVER", "false").Ok());
    ASSERT_TRUE(m_store.SaveSetting(kApp, "screen", "Form2Top", "-2000").Ok());
    ASSERT_TRUE(m_store.SaveSetting(kApp, "Screen", "FORM2LEFT", "40").Ok());
    ASSERT_TRUE(m_store.SaveSetting(kApp, "SCREEN", "FORM2HEIGHT", "9000").Ok()); // as it was

    EXPECT_EQ(m_store.GetSetting(kApp, "options", "statsover"), "false");
    EXPECT_EQ(m_store.GetSetting(kApp, "OPTIONS", "detailtemplate"), "/t/detail.rtf");
    EXPECT_EQ(m_store.GetSetting(kApp, "toolbar", "checked"), "True");
    EXPECT_EQ(m_store.GetSetting(kApp, "SCREEN", "FORM4TOP", "absent"), "absent");
    ASSERT_TRUE(m_store.Flush(kApp).Ok());
    EXPECT_EQ(FileText(),
              "; by hand\n[SCREEN]\nFORM2TOP=-2000\nFORM2HEIGHT = 9000\nFORM2LEFT=40\n\n"
              "[TOOLBAR]\nCHECKED=True\n\n[Options]\nDetailTemplate=/t/detail.rtf\nSTATSOVER=false\n");
}

TEST_F(SettingsStoreTest, OneEightBitLineDoesNotChangeHowTheOtherLinesRead)
{
    // A UTF-8 template path, and a comment an 8-bit editor wrote ("Jörg" in Latin-1).
    WriteAll(File(), "; J\xF6rg's settings\r\n[Options]\r\nDetailTemplate=/home/j\xC3\xB6rg/detail.rtf\r\n"
                     "SummaryTemplate=/home/j\xF6rg/summary.rtf\r\n");
    EXPECT_EQ(m_store.GetSetting(kApp, "Options", "DetailTemplate"), "/home/j\xC3\xB6rg/detail.rtf");
    // The 8-bit line itself reads as the code page's characters.
    EXPECT_EQ(m_store.GetSetting(kApp, "Options", "SummaryTemplate"), "/home/j\xC3\xB6rg/summary.rtf");

    // The next write keeps the UTF-8 path as it was, and stores the others as UTF-8 too.
    ASSERT_TRUE(m_store.SaveSetting(kApp, "OPTIONS", "STATSOVER", "True").Ok());
    ASSERT_TRUE(m_store.Flush(kApp).Ok());
    SettingsStore again(m_root);
    EXPECT_EQ(again.GetSetting(kApp, "Options", "DetailTemplate"), "/home/j\xC3\xB6rg/detail.rtf");
    EXPECT_EQ(again.GetSetting(kApp, "Options", "SummaryTemplate"), "/home/j\xC3\xB6rg/summary.rtf");
    EXPECT_NE(FileText().find("DetailTemplate=/home/j\xC3\xB6rg/detail.rtf\n"), std::string::npos)
        << FileText();
    EXPECT_EQ(FileText().find("\xC3\x83"), std::string::npos) << FileText();
}

TEST_F(SettingsStoreTest, AnyValueRoundTripsAndOnlySafeNamesAreStored)
{
    const std::string values[] = {
        "",
        "  leading",
        "trailing ",
        "a=b",
        "\"quoted\"",
        "\"",
        "two\nlines",
        "cr\r",
        "C:\\x\\y",
        "\\x41 raw",
        "; not a comment",
        "\xC3\xBCml\xE2\x82\xAC",
        std::string("nul\0byte", 8),
    };
    for (std::size_t i = 0; i < std::size(values); ++i)
        ASSERT_TRUE(m_store.SaveSetting(kApp, "Options", "Value" + std::to_string(i), values[i]).Ok());
    ASSERT_TRUE(m_store.Flush(kApp).Ok());
    SettingsStore again(m_root);
    for (std::size_t i = 0; i < std::size(values); ++i) {
        EXPECT_EQ(m_store.GetSetting(kApp, "Options", "Value" + std::to_string(i), "absent"), values[i]);
        EXPECT_EQ(again.GetSetting(kApp, "Options", "Value" + std::to_string(i), "absent"), values[i]);
    }

    const std::tuple<const char*, const char*, const char*> bad[] = {{"../escape", "SCREEN", "TOP"},
                                                                     {kApp, "SCR]EEN", "TOP"},
                                                                     {kApp, "SCREEN", "A=B"},
                                                                     {kApp, "SCREEN", "A\nB"}};
    for (const auto& [app, section, key] : bad) {
        EXPECT_EQ(m_store.SaveSetting(app, section, key, "1").Error().Number(), kErrInvalidArgument) << key;
        EXPECT_EQ(m_store.GetSetting(app, section, key, "dflt"), "dflt");
    }
    EXPECT_FALSE(m_store.Load("../escape").Ok());
    EXPECT_FALSE(fs::exists(m_root / "escape"));
}

TEST_F(SettingsStoreTest, TypedReads)
{
    const std::pair<const char*, float> coordinates[] = {{"1440", 1440.0f},     {"1234.5", 1234.5f},
                                                         {" -3000 ", -3000.0f}, {"1E3", 1000.0f},
                                                         {"2.5D1", 25.0f},      {"&H10", 16.0f}};
    for (const auto& [text, value] : coordinates)
        EXPECT_EQ(CoordinateFromText(text).Value(), value) << text;
    for (const char* text : {"", "abc", "12abc", "1E", "-&H10", "nan"})
        EXPECT_EQ(CoordinateFromText(text).Error().Number(), kErrTypeMismatch) << text;
    for (float value : {1440.0f, 1234.5f, 0.1f})
        EXPECT_EQ(CoordinateFromText(CoordinateText(value)).Value(), value);

    const std::pair<const char*, bool> flags[] = {{"True", true}, {"false", false}, {" tRuE ", true},
                                                  {"0", false},   {"-1", true},     {"0.0", false}};
    for (const auto& [text, value] : flags)
        EXPECT_EQ(FlagFromText(text).Value(), value) << text;
    for (const char* text : {"", "yes", "1x"})
        EXPECT_EQ(FlagFromText(text).Error().Number(), kErrTypeMismatch) << text;

    ASSERT_TRUE(m_store.SaveCoordinate(kApp, "SCREEN", "FORM2TOP", 1234.5f).Ok());
    EXPECT_EQ(m_store.GetSetting(kApp, "SCREEN", "FORM2TOP"), "1234.5");
    ASSERT_TRUE(m_store.SaveSetting(kApp, "SCREEN", "FORM4LEFT", "left").Ok());
    EXPECT_EQ(m_store.GetCoordinate(kApp, "SCREEN", "FORM2TOP", 0.0f).Value(), 1234.5f);
    auto bad = m_store.GetCoordinate(kApp, "SCREEN", "FORM4LEFT", 0.0f);
    ASSERT_FALSE(bad.Ok());
    EXPECT_EQ(bad.Error().Number(), kErrTypeMismatch);
    EXPECT_NE(bad.Error().Location().find("KELDCG.ini"), std::string::npos) << bad.Error().Location();
    EXPECT_NE(bad.Error().Location().find("FORM4LEFT"), std::string::npos) << bad.Error().Location();
}

// The file is read once and written once: a run's reads and saves touch memory only, and a flush
// with nothing saved writes nothing.
TEST_F(SettingsStoreTest, ReadOnceWrittenOnce)
{
    WriteAll(File(), "[SCREEN]\nFORM2TOP=100\n");
    ASSERT_TRUE(m_store.Load(kApp).Ok());
    WriteAll(File(), "[SCREEN]\nFORM2TOP=555\nFORM1TOP=7\n"); // another instance exits meanwhile
    EXPECT_EQ(m_store.GetSetting(kApp, "SCREEN", "FORM2TOP"), "100");
    ASSERT_TRUE(m_store.Flush(kApp).Ok());
    EXPECT_EQ(FileText(), "[SCREEN]\nFORM2TOP=555\nFORM1TOP=7\n");

    ASSERT_TRUE(m_store.SaveSetting(kApp, "SCREEN", "FORM2LEFT", "40").Ok());
    EXPECT_EQ(FileText(), "[SCREEN]\nFORM2TOP=555\nFORM1TOP=7\n");
    ASSERT_TRUE(m_store.Flush(kApp).Ok());
    // Merged into the file as it stands, and what the others wrote is now read here too.
    EXPECT_EQ(FileText(), "[SCREEN]\nFORM2TOP=555\nFORM1TOP=7\nFORM2LEFT=40\n");
    EXPECT_EQ(m_store.GetSetting(kApp, "SCREEN", "FORM1TOP"), "7");

    fs::remove(File());
    ASSERT_TRUE(m_store.Flush(kApp).Ok()); // nothing saved since
    EXPECT_FALSE(fs::exists(File()));
}

TEST_F(SettingsStoreTest, FailedFlushLeavesTheOldStoreAndKeepsTheSavedKeys)
{
    ASSERT_TRUE(m_store.SaveSetting(kApp, "SCREEN", "FORM2TOP", "100").Ok());
    ASSERT_TRUE(m_store.Flush(kApp).Ok());
    const std::string before = FileText();

    // A file size limit below the new text makes the write fail, even for root.
    ASSERT_TRUE(m_store.SaveSetting(kApp, "SCREEN", "FORM2LEFT", std::string(200, 'x')).Ok());
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit low = old;
    low.rlim_cur = before.size() + 4;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &low), 0);
    auto status = m_store.Flush(kApp);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_FALSE(status.Ok());
    EXPECT_NE(status.Error().Location().find("KELDCG.ini"), std::string::npos) << status.Error().Location();
    EXPECT_EQ(FileText(), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_root / kApp), {}), 1) << "a temporary file was left";

    // What failed to be written is written by the next flush.
    ASSERT_TRUE(m_store.Flush(kApp).Ok());
    EXPECT_EQ(SettingsStore(m_root).GetSetting(kApp, "SCREEN", "FORM2LEFT"), std::string(200, 'x'));
}

// A read-only folder does the same for an ordinary user.
TEST_F(SettingsStoreTest, FlushIntoAReadOnlyFolderLeavesTheOldStore)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes in a read-only folder";
    ASSERT_TRUE(m_store.SaveSetting(kApp, "SCREEN", "FORM2TOP", "100").Ok());
    ASSERT_TRUE(m_store.Flush(kApp).Ok());
    const std::string before = FileText();
    ASSERT_TRUE(m_store.SaveSetting(kApp, "SCREEN", "FORM2LEFT", "40").Ok());
    fs::permissions(m_root / kApp, fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_FALSE(m_store.Flush(kApp).Ok());
    EXPECT_EQ(FileText(), before);
    fs::permissions(m_root / kApp, fs::perms::owner_write, fs::perm_options::add);
    ASSERT_TRUE(m_store.Flush(kApp).Ok());
    EXPECT_EQ(SettingsStore(m_root).GetSetting(kApp, "SCREEN", "FORM2LEFT"), "40");
}

// Hand edits gone wrong: the line is kept as it stands and written back; everything else is used.
TEST_F(SettingsStoreTest, UnparsableLinesAreKeptAndTheRestIsUsed)
{
    struct Case {
        const char* fixture;
        const char* top;  // FORM2TOP as read
        const char* left; // FORM2LEFT as read
    };
    const Case cases[] = {
        {"line-without-equals.ini", "100", ""},
        {"key-before-section.ini", "", "200"}, // the key before any section belongs to none
        {"unclosed-section.ini", "", ""},      // nor do the keys under a header that cannot be read
        {"empty-key.ini", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        const std::string original = ReadAll(fs::path(KELD_TEST_DATA) / "app" / c.fixture);
        WriteAll(File(), original);
        SettingsStore store(m_root);
        ASSERT_TRUE(store.Load(kApp).Ok());
        EXPECT_EQ(store.GetSetting(kApp, "SCREEN", "FORM2TOP"), c.top);
        EXPECT_EQ(store.GetSetting(kApp, "SCREEN", "FORM2LEFT"), c.left);
        ASSERT_TRUE(store.SaveSetting(kApp, "SCREEN", "FORM1TOP", "9").Ok());
        ASSERT_TRUE(store.Flush(kApp).Ok());
        EXPECT_FALSE(fs::exists(Aside()));
        // Every line of the original stands in the new file, in order.
        const std::string text = FileText();
        std::size_t at = 0;
        for (std::size_t start = 0; start < original.size();) {
            const std::size_t end = original.find('\n', start);
            const std::string line = original.substr(start, end - start + 1);
            at = text.find(line, at);
            ASSERT_NE(at, std::string::npos) << line << " missing from\n" << text;
            start = end + 1;
        }
        EXPECT_EQ(SettingsStore(m_root).GetSetting(kApp, "SCREEN", "FORM1TOP"), "9") << text;
    }
}

// A store that cannot be used at all is renamed aside, never read without end, waited on or
// dropped; the error says so, the run starts from defaults and its exit writes a fresh store.
TEST_F(SettingsStoreTest, UnusableStoreIsSetAsideAndReported)
{
    struct Case {
        const char* name;
        int number;
        const char* reason;
        std::function<void(const fs::path&)> make;
    };
    const auto text = [](std::string bytes) {
        return [bytes](const fs::path& file) { WriteAll(file, bytes); };
    };
    std::string largest = "[SCREEN]\nFORM2TOP=100\n";
    largest += ";" + std::string(SettingsStore::kMaxStoreBytes - largest.size() - 2, 'x') + "\n";
    const Case cases[] = {
        {"fifo", 75, "is not a regular file",
         [](const fs::path& f) { ASSERT_EQ(::mkfifo(f.c_str(), 0600), 0); }},
        {"endless device", 75, "is not a regular file",
         [](const fs::path& f) { fs::create_symlink("/dev/zero", f); }},
        {"folder", 75, "is a folder", [](const fs::path& f) { fs::create_directory(f); }},
        {"too large", 7, "is larger than 1 MB", text(largest + "x")},
        {"binary", kErrTypeMismatch, "NUL bytes",
         text(ReadAll(fs::path(KELD_TEST_DATA) / "app/nul-bytes.ini"))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(m_root / kApp);
        fs::create_directories(m_root / kApp);
        c.make(File());
        const auto before = fs::symlink_status(File()).type();
        SettingsStore store(m_root);
        const Status loaded = store.Load(kApp);
        ASSERT_FALSE(loaded.Ok());
        EXPECT_EQ(loaded.Error().Number(), c.number);
        const std::string where = loaded.Error().Location();
        EXPECT_NE(where.find(File().string()), std::string::npos) << where;
        EXPECT_NE(where.find(c.reason), std::string::npos) << where;
        EXPECT_NE(where.find("renamed to KELDCG.ini.broken"), std::string::npos) << where;
        EXPECT_EQ(fs::symlink_status(Aside()).type(), before);

        EXPECT_EQ(store.GetSetting(kApp, "SCREEN", "FORM2TOP", "0"), "0");
        ASSERT_TRUE(store.SaveSetting(kApp, "SCREEN", "FORM1TOP", "9").Ok());
        ASSERT_TRUE(store.Flush(kApp).Ok());
        EXPECT_EQ(FileText(), "[SCREEN]\nFORM1TOP=9\n");
    }

    // The largest store accepted is read whole, but not grown past the limit by a flush; a second
    // broken one does not replace the first.
    WriteAll(File(), largest);
    EXPECT_TRUE(m_store.Load(kApp).Ok());
    EXPECT_EQ(m_store.GetSetting(kApp, "SCREEN", "FORM2TOP"), "100");
    ASSERT_TRUE(m_store.SaveSetting(kApp, "SCREEN", "FORM1TOP", "9").Ok());
    const Status grown = m_store.Flush(kApp);
    ASSERT_FALSE(grown.Ok());
    EXPECT_EQ(grown.Error().Number(), 7);
    EXPECT_EQ(FileText(), largest);
    WriteAll(File(), largest + "x");
    EXPECT_FALSE(m_store.Load(kApp).Ok());
    EXPECT_TRUE(fs::exists(Aside()));
    EXPECT_EQ(ReadAll(Aside(".broken.1")), largest + "x");
}

// Where a broken store cannot be renamed aside, it is never written over.
TEST_F(SettingsStoreTest, BrokenStoreThatCannotBeSetAsideIsNotReplaced)
{
    const std::string binary("[SCREEN]\nFORM2TOP=1\0\n", 22);
    WriteAll(File(), binary);
    // Every name it could go to is taken (root may rename in a read-only folder).
    WriteAll(Aside(), "older");
    for (int n = 1; n < 100; ++n)
        WriteAll(Aside((".broken." + std::to_string(n)).c_str()), "older");
    const Status loaded = m_store.Load(kApp);
    ASSERT_FALSE(loaded.Ok());
    EXPECT_NE(loaded.Error().Location().find("will not be saved"), std::string::npos)
        << loaded.Error().Location();

    ASSERT_TRUE(m_store.SaveSetting(kApp, "SCREEN", "FORM1TOP", "9").Ok());
    EXPECT_FALSE(m_store.Flush(kApp).Ok());
    EXPECT_EQ(FileText(), binary);
    EXPECT_EQ(ReadAll(Aside()), "older");
}

// Two instances ending at the same moment: each flush re-reads, merges and replaces the file
// under the lock, so the last one wins for every key it saved and no key is lost.
TEST_F(SettingsStoreTest, InstancesFlushingTogetherLoseAndMixNothing)
{
    for (int round = 0; round < 30; ++round) {
        int start[2];
        ASSERT_EQ(::pipe(start), 0);
        pid_t children[2];
        for (int id = 0; id < 2; ++id) {
            children[id] = ::fork();
            ASSERT_GE(children[id], 0);
            if (children[id] == 0) {
                ::close(start[1]);
                SettingsStore store(m_root);
                const std::string mine = std::to_string(id) + "0" + std::to_string(round);
                bool ok = store.Load(kApp).Ok();
                char go;
                ok = ok && ::read(start[0], &go, 1) == 0; // both run on from here at once
                ok = ok && store.SaveSetting(kApp, "SCREEN", "FORM2TOP", mine).Ok() &&
                     store.SaveSetting(kApp, "SCREEN", "FORM2LEFT", mine).Ok() &&
                     store.SaveSetting(kApp, "OWN" + std::to_string(id), "ROUND", std::to_string(round))
                         .Ok() &&
                     store.Flush(kApp).Ok();
                ::_exit(ok ? 0 : 1);
            }
        }
        ::close(start[0]);
        ::close(start[1]);
        for (pid_t child : children) {
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        SettingsStore after(m_root);
        ASSERT_TRUE(after.Load(kApp).Ok()) << FileText();
        EXPECT_EQ(after.GetSetting(kApp, "OWN0", "ROUND"), std::to_string(round)) << FileText();
        EXPECT_EQ(after.GetSetting(kApp, "OWN1", "ROUND"), std::to_string(round)) << FileText();
        const std::string top = after.GetSetting(kApp, "SCREEN", "FORM2TOP");
        EXPECT_EQ(after.GetSetting(kApp, "SCREEN", "FORM2LEFT"), top) << FileText();
        EXPECT_TRUE(top == "00" + std::to_string(round) || top == "10" + std::to_string(round)) << top;
    }
}

} // namespace
} // namespace keld
