// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/KeldError.h"
#include "settings/SettingsDocument.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keld {

// Per-user settings addressed by application name, section and key. Every value is a text;
// section and key names compare without regard to letter case. Each application has one INI
// file, <config folder>/<app>/<app>.ini. It is read once, on first use or by Load, and held in
// memory; saves change only that copy, and Flush writes them to the file in one atomic replace.
class SettingsStore {
public:
    // Larger than any store of a dozen keys could grow to, small enough that reading, holding and
    // rewriting it costs little (measured in bench/settings_bench.cpp; see docs/settings.md).
    static constexpr std::uintmax_t kMaxStoreBytes = 1 << 20;

    // The store under the user's configuration folder.
    SettingsStore();
    // The store under another folder (tests).
    explicit SettingsStore(std::filesystem::path configFolder);

    // $XDG_CONFIG_HOME when set to an absolute path, otherwise ~/.config.
    static std::filesystem::path DefaultConfigFolder();

    const std::filesystem::path& ConfigFolder() const { return m_configFolder; }
    std::filesystem::path StoreFile(std::string_view appName) const;

    // Reads the application's file into memory, again if it was read before; what this run saved
    // and has not yet written stays on top. No file is an empty store. A file that cannot be used
    // at all (not a regular file, larger than kMaxStoreBytes, unreadable, or no text) is renamed
    // to <file>.broken and the error returned says so; when it cannot be renamed, the error says
    // that this run's settings will not be written, and Flush refuses.
    Status Load(std::string_view appName);

    // The stored text, or `defaultValue` when the key is absent.
    std::string GetSetting(std::string_view appName, std::string_view section, std::string_view key,
                           std::string_view defaultValue = {});
    // Stores the text in memory, for Flush to write.
    Status SaveSetting(std::string_view appName, std::string_view section, std::string_view key,
                       std::string_view value);

    // A window coordinate in twips; error 13 when the stored text is not a number.
    Result<float> GetCoordinate(std::string_view appName, std::string_view section, std::string_view key,
                                float defaultValue);
    Status SaveCoordinate(std::string_view appName, std::string_view section, std::string_view key,
                          float value);
    // A flag; error 13 when the stored text is neither True/False nor a number.
    Result<bool> GetFlag(std::string_view appName, std::string_view section, std::string_view key,
                         bool defaultValue);
    Status SaveFlag(std::string_view appName, std::string_view section, std::string_view key, bool value);

    // Writes every key saved since the last flush into the file as it stands on disk now, key by
    // key, so that another instance's keys are kept and, of the keys both saved, the last flush
    // wins for all of them together. The file is re-read, merged and replaced under an advisory
    // lock on its folder. Nothing saved, nothing written; a store that would grow past
    // kMaxStoreBytes is not written (error 7). Keys that failed to be written stay for the next.
    Status Flush(std::string_view appName);

private:
    struct Saved {
        std::string section;
        std::string key;
        std::string value;
    };
    struct AppStore {
        SettingsDocument document;
        std::vector<Saved> saved; // since the last flush, in the order first saved
        bool loaded = false;
        // Why the file may not be replaced: it could not be read and could not be set aside.
        std::optional<KeldError> keep;
    };

    // The application's store, read on first use; callers have checked the name.
    AppStore& Loaded(std::string_view appName);

    std::filesystem::path m_configFolder;
    std::map<std::string, AppStore, std::less<>> m_apps;
};

// The running executable's file name without its extension.
std::string ApplicationName();

// Store texts of the typed values and back. A coordinate is written as the shortest decimal
// text that reads back as the same single-precision number ("1440", "1234.5").
std::string CoordinateText(float value);
Result<float> CoordinateFromText(std::string_view text);
// "True" or "False".
std::string FlagText(bool value);
// "True"/"False" in any case, or a number (0 is false, anything else true).
Result<bool> FlagFromText(std::string_view text);

// The same operations on the user's own store, each reading the file afresh; the save writes at
// once.
std::string GetSetting(std::string_view appName, std::string_view section, std::string_view key,
                       std::string_view defaultValue = {});
Status SaveSetting(std::string_view appName, std::string_view section, std::string_view key,
                   std::string_view value);

} // namespace keld
