// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keld {

// The small text rules the store's file and its names share.
namespace settings_text {
char AsciiLower(char c);
// Equal but for the letter case of A to Z.
bool SameName(std::string_view a, std::string_view b);
// A blank or a tab.
bool IsBlank(char c);
// Without the blanks and tabs around it.
std::string_view Trim(std::string_view text);
// The value of a hexadecimal digit, or -1.
int HexDigit(char c);
} // namespace settings_text

// The text of one settings file, line by line. Entries (key=value) inside a [section] are read;
// every other line, blank, comment or one that cannot be parsed (no "=", a key before the first
// section, a bad section header and the entries under it), is kept and written back as it stood,
// so that a hand edit gone wrong loses nothing. Section and key names compare without regard to
// letter case.
class SettingsDocument {
public:
    // Nothing when the bytes are no text at all (they hold NUL bytes).
    static std::optional<SettingsDocument> Parse(std::string_view bytes);

    // The value of the first entry `key` in any section called `section`.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    // Changes that entry, or adds it at the end of the first such section, or adds the section.
    void Set(std::string_view section, std::string_view key, std::string_view value);
    // The file's text, one line end (LF) after each line.
    std::string Text() const;

private:
    // Other: lines kept as they stand, a run of them joined by LF into one.
    enum class Kind : std::uint8_t { Other, Section, Entry };
    // Names and the value are offsets into the line's own text rather than copies of their own:
    // a store of short lines costs a few times its size, not tens of times.
    struct Line {
        std::string text;
        std::uint32_t nameBegin = 0;
        std::uint32_t nameEnd = 0;
        std::uint32_t valueBegin = 0; // entries: just after the "="
        Kind kind = Kind::Other;

        std::string_view Name() const
        {
            return std::string_view(text).substr(nameBegin, nameEnd - nameBegin);
        }
    };

    static Line ParseLine(std::string text, bool& inSection);
    static Line EntryLine(std::string_view key, std::string_view value);
    long FindEntry(std::string_view section, std::string_view key) const;
    long InsertPosition(std::string_view section) const;

    static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    std::vector<Line> m_lines;
    bool m_byteOrderMark = false;
};

// Store texts: a value is written bare unless reading it back bare would change it, and then
// quoted with C escapes.
std::string EncodeSettingValue(std::string_view value);
std::string DecodeSettingValue(std::string_view raw);

} // namespace keld
