#pragma once

#include "common/KeldError.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace keld {

// Per-user settings addressed by application name, section and key. Every value is a text;
// section and key names compare without regard to letter case. Each application has one INI
// file, <config folder>/<app>/<app>.ini, read afresh on every call and rewritten atomically on
// every save. A file that cannot be read or parsed reads as empty and never stops the program.
class SettingsStore {
public:
    // The store under the user's configuration folder.
    SettingsStore();
    // The store under another folder (tests).
    explicit SettingsStore(std::filesystem::path configFolder);

    // $XDG_CONFIG_HOME when set to an absolute path, otherwise ~/.config.
    static std::filesystem::path DefaultConfigFolder();

    const std::filesystem::path& ConfigFolder() const { return m_configFolder; }
    std::filesystem::path StoreFile(std::string_view appName) const;

    // The stored text, or `defaultValue` when the key (or a readable store) is absent.
    std::string GetSetting(std::string_view appName, std::string_view section, std::string_view key,
                           std::string_view defaultValue = {}) const;
    // Stores the text, creating the file, section and key as needed.
    Status SaveSetting(std::string_view appName, std::string_view section, std::string_view key,
                       std::string_view value) const;

    // A window coordinate in twips; error 13 when the stored text is not a number.
    Result<float> GetCoordinate(std::string_view appName, std::string_view section, std::string_view key,
                                float defaultValue) const;
    Status SaveCoordinate(std::string_view appName, std::string_view section, std::string_view key,
                          float value) const;
    // A flag; error 13 when the stored text is neither True/False nor a number.
    Result<bool> GetFlag(std::string_view appName, std::string_view section, std::string_view key,
                         bool defaultValue) const;
    Status SaveFlag(std::string_view appName, std::string_view section, std::string_view key,
                    bool value) const;

private:
    std::filesystem::path m_configFolder;
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

// The same operations on the user's own store.
std::string GetSetting(std::string_view appName, std::string_view section, std::string_view key,
                       std::string_view defaultValue = {});
Status SaveSetting(std::string_view appName, std::string_view section, std::string_view key,
                   std::string_view value);

} // namespace keld
