// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsDocument.h"

#include "common/TextFile.h"

namespace keld {

namespace settings_text {

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = AsciiLower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace settings_text

namespace {

using namespace settings_text;

bool NeedsQuotes(std::string_view value)
{
    if (value.empty())
        return false;
    if (IsBlank(value.front()) || IsBlank(value.back()) || value.front() == '"')
        return true;
    for (char c : value)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return true;
    return false;
}

} // namespace

std::string EncodeSettingValue(std::string_view value)
{
    if (!NeedsQuotes(value))
        return std::string(value);
    std::string out = "\"";
    for (char c : value) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                static constexpr char kHex[] = "0123456789ABCDEF";
                out += "\\x";
                out += kHex[(c >> 4) & 0xF];
                out += kHex[c & 0xF];
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string DecodeSettingValue(std::string_view raw)
{
    std::string_view text = Trim(raw);
    if (text.size() < 2 || text.front() != '"' || text.back() != '"')
        return std::string(text);
    text = text.substr(1, text.size() - 2);
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        char e = text[++i];
        switch (e) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case '\\':
        case '"':
            out += e;
            break;
        case 'x':
            if (i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
                out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
                i += 2;
                break;
            }
            [[fallthrough]];
        default:
            out += '\\';
            out += e;
        }
    }
    return out;
}

SettingsDocument::Line SettingsDocument::ParseLine(std::string text, bool& inSection)
{
    Line line;
    line.text = std::move(text);
    const std::string_view all = line.text;
    const std::string_view t = Trim(all);
    const auto offset = [&](std::string_view part) {
        return static_cast<std::uint32_t>(part.data() - all.data());
    };
    if (t.empty() || t.front() == ';' || t.front() == '#')
        return line;
    if (t.front() == '[') {
        // Entries under a header that cannot be read belong to no section anyone could name.
        inSection = t.back() == ']' && t.size() >= 3;
        if (!inSection)
            return line;
        const std::string_view name = Trim(t.substr(1, t.size() - 2));
        line.kind = Kind::Section;
        line.nameBegin = offset(name);
        line.nameEnd = line.nameBegin + static_cast<std::uint32_t>(name.size());
        return line;
    }
    const std::size_t eq = t.find('=');
    if (eq == std::string_view::npos || !inSection)
        return line;
    const std::string_view name = Trim(t.substr(0, eq));
    if (name.empty())
        return line;
    line.kind = Kind::Entry;
    line.nameBegin = offset(name);
    line.nameEnd = line.nameBegin + static_cast<std::uint32_t>(name.size());
    line.valueBegin = offset(t) + static_cast<std::uint32_t>(eq + 1);
    return line;
}

std::optional<SettingsDocument> SettingsDocument::Parse(std::string_view bytes)
{
    if (bytes.find('\0') != std::string_view::npos)
        return std::nullopt;
    SettingsDocument doc;
    // An editor's byte order mark is kept for the write, so the file reads back as it was.
    if (bytes.starts_with(kByteOrderMark)) {
        bytes.remove_prefix(kByteOrderMark.size());
        doc.m_byteOrderMark = true;
    }
    // One allocation for the lines of a store of many short ones, not a doubling series.
    std::size_t ends = 1;
    for (char c : bytes)
        ends += c == '\n' || c == '\r';
    doc.m_lines.reserve(ends + 64); // and room for the keys a run adds
    bool inSection = false;
    // CR LF, CR or LF each end a line; a last line without one counts.
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = bytes.size();
        // Line by line: one line in the 8-bit code page (an editor's doing) must not turn the
        // UTF-8 of every other line, such as a template path, into that code page's characters.
        Line line = ParseLine(DecodeText(bytes.substr(start, end - start)), inSection);
        // A run of lines that are not read (blank, comments, unparsable) is kept as one, so a file
        // of blank lines costs little more than its text.
        if (line.kind == Kind::Other && !doc.m_lines.empty() && doc.m_lines.back().kind == Kind::Other)
            (doc.m_lines.back().text += '\n') += line.text;
        else
            doc.m_lines.push_back(std::move(line));
        start = end;
        if (start < bytes.size() && bytes[start] == '\r')
            ++start;
        if (start < bytes.size() && bytes[start] == '\n')
            ++start;
    }
    return doc;
}

long SettingsDocument::FindEntry(std::string_view section, std::string_view key) const
{
    bool inside = false;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const Line& line = m_lines[i];
        if (line.kind == Kind::Section)
            inside = SameName(line.Name(), section);
        else if (inside && line.kind == Kind::Entry && SameName(line.Name(), key))
            return static_cast<long>(i);
    }
    return -1;
}

long SettingsDocument::InsertPosition(std::string_view section) const
{
    long header = -1;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == Kind::Section && SameName(m_lines[i].Name(), section)) {
            header = static_cast<long>(i);
            break;
        }
    }
    if (header < 0)
        return -1;
    long pos = header + 1;
    for (long i = header + 1; i < static_cast<long>(m_lines.size()); ++i) {
        if (m_lines[i].kind == Kind::Section)
            break;
        if (m_lines[i].kind == Kind::Entry)
            pos = i + 1;
    }
    return pos;
}

std::optional<std::string> SettingsDocument::Find(std::string_view section, std::string_view key) const
{
    const long i = FindEntry(section, key);
    if (i < 0)
        return std::nullopt;
    return DecodeSettingValue(std::string_view(m_lines[i].text).substr(m_lines[i].valueBegin));
}

SettingsDocument::Line SettingsDocument::EntryLine(std::string_view key, std::string_view value)
{
    Line line;
    line.text = std::string(key) + "=" + EncodeSettingValue(value);
    line.kind = Kind::Entry;
    line.nameEnd = static_cast<std::uint32_t>(key.size());
    line.valueBegin = line.nameEnd + 1;
    return line;
}

void SettingsDocument::Set(std::string_view section, std::string_view key, std::string_view value)
{
    if (const long i = FindEntry(section, key); i >= 0) {
        // The key keeps the spelling it has in the file.
        const std::string name(m_lines[i].Name());
        if (DecodeSettingValue(std::string_view(m_lines[i].text).substr(m_lines[i].valueBegin)) != value)
            m_lines[i] = EntryLine(name, value);
    } else if (const long pos = InsertPosition(section); pos >= 0) {
        m_lines.insert(m_lines.begin() + pos, EntryLine(key, value));
    } else {
        const std::string_view last = m_lines.empty() ? std::string_view() : m_lines.back().text;
        if (!m_lines.empty() && !Trim(last.substr(last.rfind('\n') + 1)).empty())
            m_lines.emplace_back();
        Line header;
        header.text = "[" + std::string(section) + "]";
        header.kind = Kind::Section;
        header.nameBegin = 1;
        header.nameEnd = static_cast<std::uint32_t>(1 + section.size());
        m_lines.push_back(std::move(header));
        m_lines.push_back(EntryLine(key, value));
    }
}

std::string SettingsDocument::Text() const
{
    std::size_t size = 0;
    for (const Line& line : m_lines)
        size += line.text.size() + 1;
    std::string out;
    out.reserve(size + kByteOrderMark.size());
    if (m_byteOrderMark)
        out += kByteOrderMark;
    for (const Line& line : m_lines) {
        out += line.text;
        out += '\n';
    }
    return out;
}

} // namespace keld
