#include "SettingsStore.h"

#include "TextFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>

namespace keld {
namespace {

namespace fs = std::filesystem;

constexpr const char* kApp = "KELDCG";

class SettingsStoreTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_root = fs::temp_directory_path() / ("keld-settings-" + std::to_string(::getpid()) + "-" +
                                              testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_root);
        fs::create_directories(m_root);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::permissions(m_root / kApp, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_root, ec);
    }

    std::string FileText() const
    {
        auto bytes = ReadFileBytes(m_store.StoreFile(kApp));
        return bytes ? *bytes : "<unreadable>";
    }
    void WriteStore(const std::string& bytes) const
    {
        fs::create_directories(m_root / kApp);
        std::ofstream(m_store.StoreFile(kApp), std::ios::binary) << bytes;
    }

    fs::path m_root;
    SettingsStore m_store{fs::temp_directory_path()};

    void UseRoot() { m_store = SettingsStore(m_root); }
};

// Restores an environment variable when the test ends.
class EnvGuard {
public:
    explicit EnvGuard(const char* name) : m_name(name)
    {
        if (const char* v = std::getenv(name))
            m_old = v;
    }
    ~EnvGuard()
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

TEST_F(SettingsStoreTest, LivesInThePerUserConfigFolder)
{
    EnvGuard xdg("XDG_CONFIG_HOME");
    EnvGuard home("HOME");
    ::setenv("HOME", "/home/someone", 1);
    ::setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    EXPECT_EQ(SettingsStore::DefaultConfigFolder(), fs::path("/tmp/cfg"));
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsStore::DefaultConfigFolder(), fs::path("/home/someone/.config"));
    ::setenv("XDG_CONFIG_HOME", "relative/cfg", 1);
    EXPECT_EQ(SettingsStore::DefaultConfigFolder(), fs::path("/home/someone/.config"));

    EXPECT_EQ(SettingsStore("/tmp/cfg").StoreFile("KELDCG"), fs::path("/tmp/cfg/KELDCG/KELDCG.ini"));
    EXPECT_EQ(ApplicationName(), "test_app");

    ::setenv("XDG_CONFIG_HOME", m_root.c_str(), 1);
    ASSERT_TRUE(SaveSetting(kApp, "SCREEN", "FORM1TOP", "15").Ok());
    EXPECT_TRUE(fs::exists(m_root / "KELDCG" / "KELDCG.ini"));
    EXPECT_EQ(GetSetting(kApp, "screen", "form1top", "0"), "15");
    EXPECT_EQ(GetSetting("OtherName", "SCREEN", "FORM1TOP", "0"), "0");
}

TEST_F(SettingsStoreTest, NamesIgnoreCaseAndTheFileKeepsItsOtherLines)
{
    UseRoot();
    WriteStore("; written by hand\n[SCREEN]\nFORM2TOP = -3000\n\n[TOOLBAR]\nCHECKED=True\n");
    EXPECT_EQ(m_store.GetSetting(kApp, "Options", "DetailTemplate", "/x/detchar.rtf"), "/x/detchar.rtf");

    ASSERT_TRUE(m_store.SaveSetting(kApp, "Options", "DetailTemplate", "/t/detail.rtf").Ok());
    ASSERT_TRUE(m_store.SaveSetting(kApp, "OPTIONS", "STATSOVER", "false").Ok());
    ASSERT_TRUE(m_store.SaveSetting(kApp, "screen", "Form2Top", "-2000").Ok());
    ASSERT_TRUE(m_store.SaveSetting(kApp, "Screen", "FORM2LEFT", "40").Ok());

    const std::pair<const char*, const char*> reads[][2] = {
        {{"options", "statsover"}, {"false", ""}}, {{"OPTIONS", "detailtemplate"}, {"/t/detail.rtf", ""}},
        {{"SCREEN", "FORM2TOP"}, {"-2000", ""}},   {{"sCrEeN", "form2left"}, {"40", ""}},
        {{"toolbar", "checked"}, {"True", ""}},
    };
    for (const auto& r : reads)
        EXPECT_EQ(m_store.GetSetting(kApp, r[0].first, r[0].second, "absent"), r[1].first) << r[0].second;
    EXPECT_EQ(m_store.GetFlag(kApp, "options", "statsover", true).Value(), false);

    EXPECT_EQ(FileText(),
              "; written by hand\n[SCREEN]\nFORM2TOP=-2000\nFORM2LEFT=40\n\n[TOOLBAR]\nCHECKED=True\n"
              "\n[Options]\nDetailTemplate=/t/detail.rtf\nSTATSOVER=false\n");
}

TEST_F(SettingsStoreTest, AnyTextRoundTrips)
{
    UseRoot();
    const std::string values[] = {
        "",
        "  leading blanks",
        "trailing blank ",
        "a=b=c",
        "\"quoted\"",
        "\"",
        "two\nlines",
        "cr\rlf\r\n",
        "tab\there",
        "C:\\Keld\\x",
        "\\x41 stays",
        "; not a comment",
        "[not a section]",
        "\xC3\xBCmlaut \xE2\x82\xAC",
        std::string("nul\0byte", 8),
    };
    for (const auto& v : values) {
        ASSERT_TRUE(m_store.SaveSetting(kApp, "Options", "Value", v).Ok());
        EXPECT_EQ(m_store.GetSetting(kApp, "Options", "Value", "absent"), v);
        EXPECT_EQ(FileText().find('\0'), std::string::npos);
    }
}

TEST_F(SettingsStoreTest, NamesTheFileCannotHoldAreRefused)
{
    UseRoot();
    const std::tuple<const char*, const char*, const char*> bad[] = {
        {"../escape", "SCREEN", "FORM1TOP"}, {"", "SCREEN", "FORM1TOP"},  {"KELDCG", "SCR]EEN", "FORM1TOP"},
        {"KELDCG", "", "FORM1TOP"},          {"KELDCG", "SCREEN", "A=B"}, {"KELDCG", "SCREEN", "line\nbreak"},
        {"KELDCG", "SCREEN", " padded"},
    };
    for (const auto& [app, section, key] : bad) {
        auto status = m_store.SaveSetting(app, section, key, "1");
        ASSERT_FALSE(status.Ok()) << app << "/" << section << "/" << key;
        EXPECT_EQ(status.Error().Number(), kErrInvalidArgument);
        EXPECT_EQ(m_store.GetSetting(app, section, key, "dflt"), "dflt");
    }
    EXPECT_FALSE(fs::exists(m_root / "escape"));
}

TEST(SettingsTypes, CoordinatesAreSinglePrecisionNumbers)
{
    const std::pair<const char*, float> good[] = {
        {"1440", 1440.0f}, {"1234.5", 1234.5f}, {" -3000 ", -3000.0f}, {"1E3", 1000.0f},
        {"2.5D1", 25.0f},  {"&H10", 16.0f},     {"+7", 7.0f},          {".5", 0.5f},
    };
    for (const auto& [text, value] : good) {
        auto r = CoordinateFromText(text);
        ASSERT_TRUE(r.Ok()) << text;
        EXPECT_EQ(*r, value) << text;
    }
    for (const char* text : {"", "abc", "12abc", "1 2", "1E", "-", "&H", "-&H10", "nan", "inf"}) {
        auto r = CoordinateFromText(text);
        ASSERT_FALSE(r.Ok()) << text;
        EXPECT_EQ(r.Error().Number(), kErrTypeMismatch) << text;
    }
    EXPECT_EQ(CoordinateFromText("1E40").Error().Number(), kErrOverflow);

    const std::pair<float, const char*> written[] = {
        {1440.0f, "1440"}, {1234.5f, "1234.5"}, {-3000.0f, "-3000"}, {0.1f, "0.1"}, {-0.0f, "0"},
    };
    for (const auto& [value, text] : written) {
        EXPECT_EQ(CoordinateText(value), text);
        EXPECT_EQ(CoordinateFromText(CoordinateText(value)).Value(), value);
    }
}

TEST(SettingsTypes, FlagsAreWordsOrNumbers)
{
    const std::pair<const char*, bool> good[] = {
        {"True", true}, {"FALSE", false}, {"false", false}, {" tRuE ", true},
        {"0", false},   {"-1", true},     {"2.5", true},    {"0.0", false},
    };
    for (const auto& [text, value] : good) {
        auto r = FlagFromText(text);
        ASSERT_TRUE(r.Ok()) << text;
        EXPECT_EQ(*r, value) << text;
    }
    for (const char* text : {"", "yes", "Truee", "1x"}) {
        auto r = FlagFromText(text);
        ASSERT_FALSE(r.Ok()) << text;
        EXPECT_EQ(r.Error().Number(), kErrTypeMismatch) << text;
    }
    EXPECT_EQ(FlagText(true), "True");
    EXPECT_EQ(FlagText(false), "False");
}

TEST_F(SettingsStoreTest, TypedReadsUseDefaultsAndNameTheBadValue)
{
    UseRoot();
    EXPECT_EQ(m_store.GetCoordinate(kApp, "SCREEN", "FORM2TOP", 0.0f).Value(), 0.0f);
    EXPECT_EQ(m_store.GetFlag(kApp, "OPTIONS", "STATSOVER", true).Value(), true);

    ASSERT_TRUE(m_store.SaveCoordinate(kApp, "SCREEN", "FORM2TOP", 1234.5f).Ok());
    ASSERT_TRUE(m_store.SaveFlag(kApp, "TOOLBAR", "CHECKED", false).Ok());
    EXPECT_EQ(m_store.GetSetting(kApp, "SCREEN", "FORM2TOP"), "1234.5");
    EXPECT_EQ(m_store.GetCoordinate(kApp, "SCREEN", "FORM2TOP", 0.0f).Value(), 1234.5f);
    EXPECT_EQ(m_store.GetSetting(kApp, "TOOLBAR", "CHECKED"), "False");
    EXPECT_EQ(m_store.GetFlag(kApp, "TOOLBAR", "CHECKED", true).Value(), false);

    ASSERT_TRUE(m_store.SaveSetting(kApp, "SCREEN", "FORM4LEFT", "left").Ok());
    auto bad = m_store.GetCoordinate(kApp, "SCREEN", "FORM4LEFT", 0.0f);
    ASSERT_FALSE(bad.Ok());
    EXPECT_EQ(bad.Error().Number(), kErrTypeMismatch);
    EXPECT_NE(bad.Error().Location().find("FORM4LEFT"), std::string::npos);
    EXPECT_NE(bad.Error().Location().find("KELDCG.ini"), std::string::npos);
}

TEST_F(SettingsStoreTest, FailedRewriteLeavesTheOldStoreIntact)
{
    UseRoot();
    ASSERT_TRUE(m_store.SaveSetting(kApp, "SCREEN", "FORM2TOP", "100").Ok());
    const std::string before = FileText();

    // A size limit below the new text makes every write fail, even for root.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit low = old;
    low.rlim_cur = before.size() + 4;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &low), 0);
    auto status = m_store.SaveSetting(kApp, "SCREEN", "FORM2LEFT", std::string(200, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(status.Ok());
    EXPECT_EQ(FileText(), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_root / kApp), fs::directory_iterator{}), 1)
        << "a temporary file was left behind";

    // A read-only folder does the same for an ordinary user (root writes there regardless).
    fs::permissions(m_root / kApp, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    if (::access((m_root / kApp).c_str(), W_OK) != 0) {
        EXPECT_FALSE(m_store.SaveSetting(kApp, "SCREEN", "FORM2LEFT", "5").Ok());
        EXPECT_EQ(FileText(), before);
    }
}

TEST_F(SettingsStoreTest, StoreThatIsAFolderReadsAsDefaults)
{
    UseRoot();
    fs::create_directories(m_store.StoreFile(kApp));
    EXPECT_EQ(m_store.GetSetting(kApp, "SCREEN", "FORM2TOP", "0"), "0");
    EXPECT_EQ(m_store.GetCoordinate(kApp, "SCREEN", "FORM2TOP", 7.0f).Value(), 7.0f);
    EXPECT_FALSE(m_store.SaveSetting(kApp, "SCREEN", "FORM2TOP", "1").Ok());
    EXPECT_TRUE(fs::is_directory(m_store.StoreFile(kApp)));
}

class BrokenStoreTest : public SettingsStoreTest, public testing::WithParamInterface<const char*> {};

TEST_P(BrokenStoreTest, StartsFromDefaultsAndKeepsTheOldText)
{
    UseRoot();
    auto original = ReadFileBytes(fs::path(KELD_TEST_DATA) / "app" / GetParam());
    ASSERT_TRUE(original.Ok());
    WriteStore(*original);

    EXPECT_EQ(m_store.GetSetting(kApp, "SCREEN", "FORM2TOP", "0"), "0");
    EXPECT_EQ(m_store.GetSetting(kApp, "SCREEN", "FORM2LEFT", "0"), "0");
    EXPECT_EQ(m_store.GetCoordinate(kApp, "SCREEN", "FORM2TOP", 5.0f).Value(), 5.0f);

    ASSERT_TRUE(m_store.SaveSetting(kApp, "SCREEN", "FORM1TOP", "9").Ok());
    EXPECT_EQ(FileText(), "[SCREEN]\nFORM1TOP=9\n");
    auto kept = ReadFileBytes(fs::path(m_store.StoreFile(kApp)).concat(".broken"));
    ASSERT_TRUE(kept.Ok());
    EXPECT_EQ(*kept, *original);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, BrokenStoreTest,
                         testing::Values("nul-bytes.ini", "line-without-equals.ini", "key-before-section.ini",
                                         "unclosed-section.ini", "empty-key.ini"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             std::string name;
                             for (const char* p = info.param; *p && *p != '.'; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

} // namespace
} // namespace keld
