// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the settings store as its file, read through the bounded reader, then
// checks that a save and a flush keep every value and every other line the store read, that the
// saved value reads back, and that the written text reads back as itself.
#include "common/TextFile.h"
#include "settings/SettingsDocument.h"
#include "settings/SettingsStore.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr std::string_view kApp = "fuzzapp";

const std::filesystem::path& Folder()
{
    static const std::filesystem::path folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "keld-settings-fuzz.XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        return std::filesystem::path(pattern);
    }();
    return folder;
}

// The names the program itself uses, and names taken from the input.
std::vector<std::pair<std::string, std::string>> Keys(std::string_view bytes)
{
    std::vector<std::pair<std::string, std::string>> keys = {{"SCREEN", "FORM2TOP"},
                                                             {"screen", "form2height"},
                                                             {"Options", "DetailTemplate"},
                                                             {"TOOLBAR", "CHECKED"}};
    std::string section = "SCREEN";
    std::size_t start = 0;
    while (start < bytes.size() && keys.size() < 16) {
        std::size_t end = bytes.find('\n', start);
        std::string_view line = bytes.substr(start, end == std::string_view::npos ? end : end - start);
        if (line.size() > 2 && line.front() == '[' && line.find(']') != std::string_view::npos)
            section = std::string(line.substr(1, line.find(']') - 1));
        else if (std::size_t eq = line.find('='); eq != std::string_view::npos && eq > 0)
            keys.emplace_back(section, std::string(line.substr(0, eq)));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return keys;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    keld::SettingsStore store(Folder());
    const std::filesystem::path file = store.StoreFile(kApp);
    std::filesystem::create_directories(file.parent_path());
    std::filesystem::remove(file.string() + ".broken");
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(size));

    const bool usable = store.Load(kApp).Ok();
    // Only a file that is no text at all or too large is set aside; anything else is read,
    // whatever it says.
    if (usable != (bytes.find('\0') == std::string_view::npos && size <= keld::SettingsStore::kMaxStoreBytes))
        std::abort();

    const auto keys = Keys(bytes);
    std::vector<std::string> before;
    for (const auto& [section, key] : keys) {
        before.push_back(store.GetSetting(kApp, section, key, "\x01"));
        (void)store.GetCoordinate(kApp, section, key, 0);
        (void)store.GetFlag(kApp, section, key, false);
    }

    // A printable value derived from the input, under a key the input is unlikely to hold.
    std::string value;
    for (std::size_t i = 0; i < size && value.size() < 40; i += 7)
        value += static_cast<char>(' ' + data[i] % 95);
    if (!store.SaveSetting(kApp, "FUZZ", "SAVEDKEY", value).Ok() || !store.Flush(kApp).Ok())
        return 0; // names the store refuses, or a full disk

    auto written = keld::ReadRegularFileBytes(file, keld::SettingsStore::kMaxStoreBytes);
    if (!written)
        std::abort();
    keld::SettingsStore again(Folder());
    if (!again.Load(kApp).Ok() || again.GetSetting(kApp, "FUZZ", "SAVEDKEY") != value)
        std::abort();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const auto& [section, key] = keys[i];
        const bool saved = SameName(section, "FUZZ") && SameName(key, "SAVEDKEY");
        if (!saved && usable && again.GetSetting(kApp, section, key, "\x01") != before[i])
            std::abort();
    }
    // The written text is a fixed point: read and written again, it comes out the same.
    auto reparsed = keld::SettingsDocument::Parse(*written);
    if (!reparsed || reparsed->Text() != *written)
        std::abort();
    return 0;
}
