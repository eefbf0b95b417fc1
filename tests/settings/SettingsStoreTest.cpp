#include "../common/TestFiles.h"
#include "settings/SettingsStore.h"

#include "common/TextFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

namespace keld {
namespace {

namespace fs = std::filesystem;

constexpr const char* kApp = "KELDCG";

class SettingsStoreTest : public testing::TestWithParam<const char*> {
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
    std::string FileText() const
    {
        auto bytes = test::ReadTestFile(m_store.StoreFile(kApp));
        return bytes ? *bytes : "<unreadable>";
    }

    fs::path m_root = fs::temp_directory_path() / ("keld-settings-" + std::to_string(::getpid()));
    SettingsStore m_store{m_root};
};

TEST_F(SettingsStoreTest, LivesInThePerUserConfigFolder)
{
    ::setenv("HOME", "/home/someone", 1);
    ::setenv("XDG_CONFIG_HOME", "relative/cfg", 1); // ignored: not absolute
    EXPECT_EQ(SettingsStore::DefaultConfigFolder(), fs::path("/home/someone/.config"));
    EXPECT_EQ(ApplicationName(), "test_app");

    ::setenv("XDG_CONFIG_HOME", m_root.c_str(), 1);
    ASSERT_TRUE(SaveSetting(kApp, "SCREEN", "FORM1TOP", "15").Ok());
    EXPECT_EQ(FileText(), "[SCREEN]\nFORM1TOP=15\n");
    EXPECT_EQ(GetSetting("OtherName", "SCREEN", "FORM1TOP", "0"), "0");
}

TEST_F(SettingsStoreTest, NamesIgnoreCaseAndTheFileKeepsItsOtherLines)
{
    std::ofstream(m_store.StoreFile(kApp))
        << "; by hand\n[SCREEN]\nFORM2TOP = -3000\n\n[TOOLBAR]\nCHECKED=True\n";
    ASSERT_TRUE(m_store.SaveSetting(kApp, "Options", "DetailTemplate", "/t/detail.rtf").Ok());
    ASSERT_TRUE(m_store.SaveSetting(kApp, "OPTIONS", "STATSOVER", "false").Ok());
    ASSERT_TRUE(m_store.SaveSetting(kApp, "screen", "Form2Top", "-2000").Ok());
    ASSERT_TRUE(m_store.SaveSetting(kApp, "Screen", "FORM2LEFT", "40").Ok());

    EXPECT_EQ(m_store.GetSetting(kApp, "options", "statsover"), "false");
    EXPECT_EQ(m_store.GetSetting(kApp, "OPTIONS", "detailtemplate"), "/t/detail.rtf");
    EXPECT_EQ(m_store.GetSetting(kApp, "toolbar", "checked"), "True");
    EXPECT_EQ(m_store.GetSetting(kApp, "SCREEN", "FORM4TOP", "absent"), "absent");
    EXPECT_EQ(FileText(), "; by hand\n[SCREEN]\nFORM2TOP=-2000\nFORM2LEFT=40\n\n[TOOLBAR]\nCHECKED=True\n"
                          "\n[Options]\nDetailTemplate=/t/detail.rtf\nSTATSOVER=false\n");
}

TEST_F(SettingsStoreTest, OneEightBitLineDoesNotChangeHowTheOtherLinesRead)
{
    // A UTF-8 template path, and a comment an 8-bit editor wrote ("Jörg" in Latin-1).
    std::ofstream(m_store.StoreFile(kApp), std::ios::binary)
        << "; J\xF6rg's settings\r\n[Options]\r\nDetailTemplate=/home/j\xC3\xB6rg/detail.rtf\r\n"
           "SummaryTemplate=/home/j\xF6rg/summary.rtf\r\n";
    EXPECT_EQ(m_store.GetSetting(kApp, "Options", "DetailTemplate"), "/home/j\xC3\xB6rg/detail.rtf");
    // The 8-bit line itself reads as the code page's characters.
    EXPECT_EQ(m_store.GetSetting(kApp, "Options", "SummaryTemplate"), "/home/j\xC3\xB6rg/summary.rtf");

    // The next write keeps the UTF-8 path as it was, and stores the others as UTF-8 too.
    ASSERT_TRUE(m_store.SaveSetting(kApp, "OPTIONS", "STATSOVER", "True").Ok());
    EXPECT_EQ(m_store.GetSetting(kApp, "Options", "DetailTemplate"), "/home/j\xC3\xB6rg/detail.rtf");
    EXPECT_EQ(m_store.GetSetting(kApp, "Options", "SummaryTemplate"), "/home/j\xC3\xB6rg/summary.rtf");
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
    for (const auto& v : values) {
        ASSERT_TRUE(m_store.SaveSetting(kApp, "Options", "Value", v).Ok());
        EXPECT_EQ(m_store.GetSetting(kApp, "Options", "Value", "absent"), v);
    }
    const std::tuple<const char*, const char*, const char*> bad[] = {{"../escape", "SCREEN", "TOP"},
                                                                     {kApp, "SCR]EEN", "TOP"},
                                                                     {kApp, "SCREEN", "A=B"},
                                                                     {kApp, "SCREEN", "A\nB"}};
    for (const auto& [app, section, key] : bad) {
        EXPECT_EQ(m_store.SaveSetting(app, section, key, "1").Error().Number(), kErrInvalidArgument) << key;
        EXPECT_EQ(m_store.GetSetting(app, section, key, "dflt"), "dflt");
    }
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

TEST_F(SettingsStoreTest, FailedRewriteLeavesTheOldStoreIntact)
{
    ASSERT_TRUE(m_store.SaveSetting(kApp, "SCREEN", "FORM2TOP", "100").Ok());
    const std::string before = FileText();

    // A file size limit below the new text makes the write fail, even for root.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit low = old;
    low.rlim_cur = before.size() + 4;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &low), 0);
    auto status = m_store.SaveSetting(kApp, "SCREEN", "FORM2LEFT", std::string(200, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(status.Ok());
    EXPECT_EQ(FileText(), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_root / kApp), {}), 1) << "a temporary file was left";

    // A read-only folder does the same for an ordinary user; root writes there regardless.
    fs::permissions(m_root / kApp, fs::perms::owner_write, fs::perm_options::remove);
    if (::access((m_root / kApp).c_str(), W_OK) != 0) {
        EXPECT_FALSE(m_store.SaveSetting(kApp, "SCREEN", "FORM2LEFT", "5").Ok());
        EXPECT_EQ(FileText(), before);
    }
}

TEST_F(SettingsStoreTest, UnreadableStoreReadsAsDefaultsAndIsNotReplaced)
{
    fs::create_directories(m_store.StoreFile(kApp)); // a folder where the file should be
    EXPECT_EQ(m_store.GetCoordinate(kApp, "SCREEN", "FORM2TOP", 7.0f).Value(), 7.0f);
    EXPECT_FALSE(m_store.SaveSetting(kApp, "SCREEN", "FORM2TOP", "1").Ok());
}

TEST_P(SettingsStoreTest, BrokenStoreStartsFromDefaultsAndKeepsTheOldText)
{
    auto original = test::ReadTestFile(fs::path(KELD_TEST_DATA) / "app" / GetParam());
    ASSERT_TRUE(original.Ok());
    std::ofstream(m_store.StoreFile(kApp), std::ios::binary) << *original;

    EXPECT_EQ(m_store.GetSetting(kApp, "SCREEN", "FORM2TOP", "0"), "0");
    EXPECT_EQ(m_store.GetSetting(kApp, "SCREEN", "FORM2LEFT", "0"), "0");
    ASSERT_TRUE(m_store.SaveSetting(kApp, "SCREEN", "FORM1TOP", "9").Ok());
    EXPECT_EQ(FileText(), "[SCREEN]\nFORM1TOP=9\n");
    EXPECT_EQ(test::ReadTestFile(fs::path(m_store.StoreFile(kApp)).concat(".broken")).Value(), *original);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, SettingsStoreTest,
                         testing::Values("nul-bytes.ini", "line-without-equals.ini", "key-before-section.ini",
                                         "unclosed-section.ini", "empty-key.ini"));

} // namespace
} // namespace keld
