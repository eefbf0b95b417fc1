// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsStore.h"
#include "settings/SettingsDocument.h"

#include "common/NumericValue.h"
#include "common/TextFile.h"

#include <cerrno>
#include <cfloat>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace keld {

namespace {

using namespace settings_text;

bool HasControl(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return true;
    return false;
}

bool ValidAppName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           !HasControl(name);
}

// Names must read back as themselves, so nothing the file syntax gives a meaning to.
bool ValidSectionName(std::string_view name)
{
    return !name.empty() && Trim(name) == name && !HasControl(name) &&
           name.find_first_of("[]") == std::string_view::npos;
}

bool ValidKeyName(std::string_view name)
{
    return !name.empty() && Trim(name) == name && !HasControl(name) &&
           name.find('=') == std::string_view::npos && name.front() != ';' && name.front() != '#' &&
           name.front() != '[';
}

Status CheckNames(std::string_view appName, std::string_view section, std::string_view key)
{
    if (!ValidAppName(appName))
        return KeldError(kErrInvalidArgument, "\"" + std::string(appName) + "\" is no application name");
    if (!ValidSectionName(section))
        return KeldError(kErrInvalidArgument, "\"" + std::string(section) + "\" is no section name");
    if (!ValidKeyName(key))
        return KeldError(kErrInvalidArgument, "\"" + std::string(key) + "\" is no key name");
    return Success();
}

// A number as the usual text-to-number conversion takes it: the whole text, blanks around it
// allowed, decimal with an optional E or D exponent, or &H / &O digits.
std::optional<double> StrictNumber(std::string_view text)
{
    std::string_view t = Trim(text);
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    auto digitsWhile = [&](auto pred) {
        std::size_t start = i;
        while (i < t.size() && pred(t[i]))
            ++i;
        return i - start;
    };
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    // &H and &O take no sign, as the shared number reading does.
    if (i == 0 && t.size() > 1 && t[0] == '&' && (AsciiLower(t[1]) == 'h' || AsciiLower(t[1]) == 'o')) {
        bool hex = AsciiLower(t[i + 1]) == 'h';
        i += 2;
        std::size_t n = digitsWhile([&](char c) { return hex ? HexDigit(c) >= 0 : (c >= '0' && c <= '7'); });
        if (n == 0 || i != t.size())
            return std::nullopt;
    } else {
        std::size_t n = digitsWhile(isDigit);
        if (i < t.size() && t[i] == '.') {
            ++i;
            n += digitsWhile(isDigit);
        }
        if (n == 0)
            return std::nullopt;
        if (i < t.size() && (AsciiLower(t[i]) == 'e' || AsciiLower(t[i]) == 'd')) {
            ++i;
            if (i < t.size() && (t[i] == '+' || t[i] == '-'))
                ++i;
            if (digitsWhile(isDigit) == 0)
                return std::nullopt;
        }
        if (i != t.size())
            return std::nullopt;
    }
    return NumericValue(t);
}

KeldError TypeMismatch(std::string_view text, const char* what)
{
    return KeldError(kErrTypeMismatch, "\"" + std::string(text) + "\" is not " + what);
}

// An advisory lock on the store's folder, held while a flush re-reads, merges and replaces the
// file, so that two instances ending together do not each write over what the other just
// merged. A folder where locks are not to be had is written without one: the replace is atomic
// either way, and a lock held longer than any flush takes (a stopped program's) is not waited
// out.
class FolderLock {
public:
    explicit FolderLock(const std::filesystem::path& folder)
    {
        m_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd < 0)
            return;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR)
                continue;
            if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() > deadline)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int m_fd = -1;
};

// The store file as it stands on disk: a document (empty where there is no file), or the reason
// it cannot be used at all.
Result<SettingsDocument> ReadStore(const std::filesystem::path& file)
{
    auto bytes = ReadRegularFileBytes(file, SettingsStore::kMaxStoreBytes);
    if (!bytes) {
        if (bytes.Error().Number() == kErrFileNotFound)
            return SettingsDocument();
        return bytes.Error();
    }
    auto document = SettingsDocument::Parse(*bytes);
    if (!document)
        return KeldError(kErrTypeMismatch, "holds NUL bytes: it is no settings file", PathToUtf8(file));
    return std::move(*document);
}

// Renames a store that cannot be used to <file>.broken (.broken.1 and on when that is taken, so
// an earlier one is not lost), returning the new name.
Result<std::filesystem::path> SetAside(const std::filesystem::path& file)
{
    for (int n = 0; n < 100; ++n) {
        std::filesystem::path aside = file;
        aside += n == 0 ? std::string(".broken") : ".broken." + std::to_string(n);
        if (::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0)
            return aside;
        int err = errno;
        if (err == EEXIST)
            continue;
        if (err == EINVAL || err == ENOSYS) {
            // A filesystem that cannot rename without replacing: look first.
            struct stat st {};
            if (::lstat(aside.c_str(), &st) == 0)
                continue;
            if (::rename(file.c_str(), aside.c_str()) == 0)
                return aside;
            err = errno;
        }
        return KeldError(kErrPathFileAccess, std::strerror(err), PathToUtf8(file));
    }
    return KeldError(kErrPathFileAccess, "too many copies set aside already", PathToUtf8(file));
}

// A store that cannot be used is set aside so that the next write starts afresh without
// destroying it. The error tells the user which, and what becomes of this run's settings.
struct SetAsideOutcome {
    KeldError error;
    bool setAside = false;
};

SetAsideOutcome SetAsideBroken(const std::filesystem::path& file, KeldError why)
{
    const std::string reason = why.Detail().empty() ? why.Description() : why.Detail();
    auto aside = SetAside(file);
    if (aside)
        return {why.WithDetail(reason + "; it was renamed to " + PathToUtf8(aside->filename()) +
                               " and the settings start from their defaults")
                    .At(PathToUtf8(file), 0),
                true};
    return {why.WithDetail(reason + "; it could not be renamed (" + aside.Error().Detail() +
                           "), so the settings of this run will not be saved")
                .At(PathToUtf8(file), 0),
            false};
}

} // namespace

SettingsStore::SettingsStore() : m_configFolder(DefaultConfigFolder()) {}

SettingsStore::SettingsStore(std::filesystem::path configFolder) : m_configFolder(std::move(configFolder)) {}

std::filesystem::path SettingsStore::DefaultConfigFolder()
{
    // A relative XDG_CONFIG_HOME is to be ignored, as the base-directory convention says.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        return PathFromUtf8(xdg);
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* pw = ::getpwuid(::getuid());
        home = pw ? pw->pw_dir : nullptr;
    }
    if (!home || !*home)
        return ".config";
    return PathFromUtf8(home) / ".config";
}

std::filesystem::path SettingsStore::StoreFile(std::string_view appName) const
{
    return m_configFolder / PathFromUtf8(appName) / PathFromUtf8(std::string(appName) + ".ini");
}

Status SettingsStore::Load(std::string_view appName)
{
    if (!ValidAppName(appName))
        return KeldError(kErrInvalidArgument, "\"" + std::string(appName) + "\" is no application name");
    auto it = m_apps.find(appName);
    if (it == m_apps.end())
        it = m_apps.emplace(std::string(appName), AppStore{}).first;
    AppStore& app = it->second;
    app.loaded = true;
    app.keep.reset();
    const std::filesystem::path file = StoreFile(appName);
    auto read = ReadStore(file);
    Status status = Success();
    if (read) {
        app.document = std::move(*read);
    } else {
        app.document = SettingsDocument();
        // Under the lock, so that a store another instance is just replacing is not set aside.
        const FolderLock lock(file.parent_path());
        if (read = ReadStore(file); read) {
            app.document = std::move(*read);
        } else {
            SetAsideOutcome outcome = SetAsideBroken(file, read.Error());
            if (!outcome.setAside)
                app.keep = outcome.error;
            status = std::move(outcome.error);
        }
    }
    for (const Saved& saved : app.saved)
        app.document.Set(saved.section, saved.key, saved.value);
    return status;
}

SettingsStore::AppStore& SettingsStore::Loaded(std::string_view appName)
{
    auto it = m_apps.find(appName);
    if (it == m_apps.end() || !it->second.loaded) {
        // Used before Load: what it would report stays with the store (Flush refuses a file it
        // could not set aside).
        (void)Load(appName);
        it = m_apps.find(appName);
    }
    return it->second;
}

std::string SettingsStore::GetSetting(std::string_view appName, std::string_view section,
                                      std::string_view key, std::string_view defaultValue)
{
    if (!CheckNames(appName, section, key))
        return std::string(defaultValue);
    auto value = Loaded(appName).document.Find(section, key);
    return value ? std::move(*value) : std::string(defaultValue);
}

Status SettingsStore::SaveSetting(std::string_view appName, std::string_view section, std::string_view key,
                                  std::string_view value)
{
    if (auto names = CheckNames(appName, section, key); !names)
        return names;
    AppStore& app = Loaded(appName);
    app.document.Set(section, key, value);
    // Saved counts even when the value is unchanged: the last instance to flush wins for every
    // key it saved, so one window's top never goes with another instance's left.
    for (Saved& saved : app.saved) {
        if (SameName(saved.section, section) && SameName(saved.key, key)) {
            saved.value = value;
            return Success();
        }
    }
    app.saved.push_back(Saved{std::string(section), std::string(key), std::string(value)});
    return Success();
}

Status SettingsStore::Flush(std::string_view appName)
{
    auto it = m_apps.find(appName);
    if (it == m_apps.end() || it->second.saved.empty())
        return Success();
    AppStore& app = it->second;
    if (app.keep)
        return *app.keep;

    const std::filesystem::path file = StoreFile(appName);
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    if (ec)
        return KeldError(kErrPathFileAccess, "its folder cannot be made: " + ec.message(), PathToUtf8(file));
    const FolderLock lock(file.parent_path());
    // The copy in memory is rebuilt from the file and this run's saves below, so only one copy of
    // the store is held at a time.
    app.document = SettingsDocument();
    auto current = ReadStore(file);
    if (!current) {
        // Something unusable came in its place during the run; it is set aside as at start.
        SetAsideOutcome outcome = SetAsideBroken(file, current.Error());
        if (!outcome.setAside) {
            for (const Saved& saved : app.saved)
                app.document.Set(saved.section, saved.key, saved.value);
            return std::move(outcome.error);
        }
        current = SettingsDocument();
    }
    for (const Saved& saved : app.saved)
        current->Set(saved.section, saved.key, saved.value);
    app.document = std::move(*current);
    const std::string text = app.document.Text();
    // A store the next start would refuse is not written; the one on disk stays usable.
    if (text.size() > kMaxStoreBytes)
        return KeldError(kErrOutOfMemory,
                         "would be larger than " + std::to_string(kMaxStoreBytes >> 20) + " MB",
                         PathToUtf8(file));
    const Status written = AtomicWriteFile(file, text);
    // Kept for the next flush when this one failed.
    if (written)
        app.saved.clear();
    return written;
}

Result<float> SettingsStore::GetCoordinate(std::string_view appName, std::string_view section,
                                           std::string_view key, float defaultValue)
{
    std::string text = GetSetting(appName, section, key, CoordinateText(defaultValue));
    auto value = CoordinateFromText(text);
    if (!value) {
        KeldError error = value.Error();
        return error.WithDetail(std::string(section) + " " + std::string(key) + ": " + error.Detail())
            .At(PathToUtf8(StoreFile(appName)), 0);
    }
    return value;
}

Status SettingsStore::SaveCoordinate(std::string_view appName, std::string_view section, std::string_view key,
                                     float value)
{
    return SaveSetting(appName, section, key, CoordinateText(value));
}

Result<bool> SettingsStore::GetFlag(std::string_view appName, std::string_view section, std::string_view key,
                                    bool defaultValue)
{
    std::string text = GetSetting(appName, section, key, FlagText(defaultValue));
    auto value = FlagFromText(text);
    if (!value) {
        KeldError error = value.Error();
        return error.WithDetail(std::string(section) + " " + std::string(key) + ": " + error.Detail())
            .At(PathToUtf8(StoreFile(appName)), 0);
    }
    return value;
}

Status SettingsStore::SaveFlag(std::string_view appName, std::string_view section, std::string_view key,
                               bool value)
{
    return SaveSetting(appName, section, key, FlagText(value));
}

std::string ApplicationName()
{
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || exe.stem().empty())
        return "KELDCG";
    return PathToUtf8(exe.stem());
}

std::string CoordinateText(float value)
{
    if (!std::isfinite(value) || value == 0)
        return "0";
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    if (ec != std::errc())
        return NumberText(value);
    return std::string(buf, end);
}

Result<float> CoordinateFromText(std::string_view text)
{
    auto number = StrictNumber(text);
    if (!number)
        return TypeMismatch(text, "a number");
    if (std::fabs(*number) > FLT_MAX)
        return KeldError(kErrOverflow, "\"" + std::string(text) + "\" is too large");
    return static_cast<float>(*number);
}

std::string FlagText(bool value)
{
    return value ? "True" : "False";
}

Result<bool> FlagFromText(std::string_view text)
{
    std::string_view t = Trim(text);
    if (SameName(t, "true"))
        return true;
    if (SameName(t, "false"))
        return false;
    if (auto number = StrictNumber(t))
        return *number != 0;
    return TypeMismatch(text, "True, False or a number");
}

std::string GetSetting(std::string_view appName, std::string_view section, std::string_view key,
                       std::string_view defaultValue)
{
    return SettingsStore().GetSetting(appName, section, key, defaultValue);
}

Status SaveSetting(std::string_view appName, std::string_view section, std::string_view key,
                   std::string_view value)
{
    SettingsStore store;
    if (Status saved = store.SaveSetting(appName, section, key, value); !saved)
        return saved;
    return store.Flush(appName);
}

} // namespace keld
