#include "settings/SettingsStore.h"

#include "common/NumericValue.h"
#include "common/TextFile.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace keld {

namespace {

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

// Values are written bare unless reading them back bare would change them: surrounding blanks,
// line breaks, other control characters or a leading quote. Those are quoted with C escapes.
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

std::string EncodeValue(std::string_view value)
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

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = AsciiLower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string DecodeValue(std::string_view raw)
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

struct IniLine {
    enum class Kind { Other, Section, Entry } kind = Kind::Other;
    std::string text; // the line as it stands in the file
    std::string name; // section or key name
    std::string value;
};

using IniDocument = std::vector<IniLine>;

// nullopt when the text is not a settings file: NUL bytes, or a line that is neither blank, a
// comment, a [section] nor a key=value inside a section.
std::optional<IniDocument> ParseIni(std::string_view bytes)
{
    if (bytes.find('\0') != std::string_view::npos)
        return std::nullopt;
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    IniDocument doc;
    bool inSection = false;
    for (auto& lineBytes : SplitLines(bytes, LineEnds::CrLfOrCrOrLf)) {
        // Line by line: one line in the 8-bit code page (an editor's doing) must not turn the
        // UTF-8 of every other line, such as a template path, into that code page's characters.
        std::string raw = DecodeText(lineBytes);
        IniLine line;
        std::string_view t = Trim(raw);
        if (t.empty() || t.front() == ';' || t.front() == '#') {
            // kept as it stands
        } else if (t.front() == '[') {
            if (t.back() != ']' || t.size() < 3)
                return std::nullopt;
            line.kind = IniLine::Kind::Section;
            line.name = Trim(t.substr(1, t.size() - 2));
            inSection = true;
        } else {
            std::size_t eq = t.find('=');
            if (eq == std::string_view::npos || !inSection || Trim(t.substr(0, eq)).empty())
                return std::nullopt;
            line.kind = IniLine::Kind::Entry;
            line.name = Trim(t.substr(0, eq));
            line.value = DecodeValue(t.substr(eq + 1));
        }
        line.text = std::move(raw);
        doc.push_back(std::move(line));
    }
    return doc;
}

// Index of the first entry `key` in any section called `section`, or -1.
long FindEntry(const IniDocument& doc, std::string_view section, std::string_view key)
{
    bool inside = false;
    for (std::size_t i = 0; i < doc.size(); ++i) {
        if (doc[i].kind == IniLine::Kind::Section)
            inside = SameName(doc[i].name, section);
        else if (inside && doc[i].kind == IniLine::Kind::Entry && SameName(doc[i].name, key))
            return static_cast<long>(i);
    }
    return -1;
}

// Where a new key of `section` goes: after the last entry of the first section of that name,
// or -1 when there is no such section.
long InsertPosition(const IniDocument& doc, std::string_view section)
{
    long header = -1;
    for (std::size_t i = 0; i < doc.size(); ++i) {
        if (doc[i].kind == IniLine::Kind::Section && SameName(doc[i].name, section)) {
            header = static_cast<long>(i);
            break;
        }
    }
    if (header < 0)
        return -1;
    long pos = header + 1;
    for (long i = header + 1; i < static_cast<long>(doc.size()); ++i) {
        if (doc[i].kind == IniLine::Kind::Section)
            break;
        if (doc[i].kind == IniLine::Kind::Entry)
            pos = i + 1;
    }
    return pos;
}

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

std::string SettingsStore::GetSetting(std::string_view appName, std::string_view section,
                                      std::string_view key, std::string_view defaultValue) const
{
    if (!CheckNames(appName, section, key))
        return std::string(defaultValue);
    std::error_code ec;
    std::filesystem::path file = StoreFile(appName);
    if (!std::filesystem::exists(file, ec))
        return std::string(defaultValue);
    auto bytes = ReadRegularFileBytes(file, 16ull << 20);
    if (!bytes)
        return std::string(defaultValue);
    auto doc = ParseIni(*bytes);
    if (!doc)
        return std::string(defaultValue);
    long i = FindEntry(*doc, section, key);
    return i < 0 ? std::string(defaultValue) : (*doc)[i].value;
}

Status SettingsStore::SaveSetting(std::string_view appName, std::string_view section, std::string_view key,
                                  std::string_view value) const
{
    if (auto names = CheckNames(appName, section, key); !names)
        return names;
    std::filesystem::path file = StoreFile(appName);
    std::error_code ec;
    IniDocument doc;
    if (std::filesystem::exists(file, ec) || ec) {
        // A store we cannot read is not overwritten: it may hold settings we would lose.
        auto bytes = ReadRegularFileBytes(file, 16ull << 20);
        if (!bytes)
            return bytes.Error();
        if (auto parsed = ParseIni(*bytes)) {
            doc = std::move(*parsed);
        } else {
            // A broken store starts afresh; its old text stays beside it for the curious.
            std::filesystem::path broken = file;
            broken += ".broken";
            (void)AtomicWriteFile(broken, *bytes);
        }
    }

    std::string line = std::string(key) + "=" + EncodeValue(value);
    if (long i = FindEntry(doc, section, key); i >= 0) {
        if (doc[i].value == value)
            return Success();
        doc[i].value = value;
        doc[i].text = doc[i].name + "=" + EncodeValue(value);
    } else if (long pos = InsertPosition(doc, section); pos >= 0) {
        IniLine entry{IniLine::Kind::Entry, line, std::string(key), std::string(value)};
        doc.insert(doc.begin() + pos, std::move(entry));
    } else {
        if (!doc.empty() && !Trim(doc.back().text).empty())
            doc.push_back(IniLine{});
        doc.push_back(
            IniLine{IniLine::Kind::Section, "[" + std::string(section) + "]", std::string(section), {}});
        doc.push_back(IniLine{IniLine::Kind::Entry, line, std::string(key), std::string(value)});
    }

    std::string out;
    for (const auto& l : doc) {
        out += l.text;
        out += '\n';
    }
    std::filesystem::create_directories(file.parent_path(), ec);
    if (ec)
        return KeldError(75, "cannot create the folder: " + ec.message(), PathToUtf8(file.parent_path()));
    return AtomicWriteFile(file, out);
}

Result<float> SettingsStore::GetCoordinate(std::string_view appName, std::string_view section,
                                           std::string_view key, float defaultValue) const
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
                                     float value) const
{
    return SaveSetting(appName, section, key, CoordinateText(value));
}

Result<bool> SettingsStore::GetFlag(std::string_view appName, std::string_view section, std::string_view key,
                                    bool defaultValue) const
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
                               bool value) const
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
    return SettingsStore().SaveSetting(appName, section, key, value);
}

} // namespace keld
