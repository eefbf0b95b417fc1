// SPDX-License-Identifier: GPL-3.0-or-later
#include "charfile/CharacterFileFormat.h"

#include "common/Utf8.h"

namespace keld::charfile {

namespace {

// True for a line that the reader drops (empty), or classifies as comment or header, once one
// leading blank is taken off; such lines are the ones that need the extra blank.
bool NeedsGuardBlank(std::string_view line)
{
    std::size_t first = line.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return true;
    return line[first] == ';' || line[first] == '[';
}

// True for a language or spell line that starts, after any blanks, with ";" or "[".
bool SlotNeedsGuardBlank(std::string_view line)
{
    std::size_t first = line.find_first_not_of(' ');
    return first != std::string_view::npos && (line[first] == ';' || line[first] == '[');
}

} // namespace

LineKind ClassifyLine(std::string_view line)
{
    if (line.empty())
        return LineKind::Empty;
    if (line.front() == ';')
        return LineKind::Comment;
    if (line.front() == '[')
        return LineKind::Header;
    return LineKind::Content;
}

std::string_view TrimSpaces(std::string_view text)
{
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::string_view HeaderName(std::string_view line)
{
    return TrimSpaces(line);
}

std::string EncodeNote(std::string_view note)
{
    std::string out;
    out.reserve(note.size() + 16);
    std::size_t start = 0;
    while (start < note.size()) {
        // A line ends at CR LF or a lone CR, as the reader splits them.
        std::size_t end = note.find('\r', start);
        std::size_t next;
        if (end == std::string_view::npos) {
            end = note.size();
            next = end;
        } else {
            next = end + ((end + 1 < note.size() && note[end + 1] == '\n') ? 2 : 1);
        }
        std::string_view line = note.substr(start, end - start);
        if (NeedsGuardBlank(line))
            out += ' ';
        out += note.substr(start, next - start);
        start = next;
    }
    return out;
}

std::string_view DecodeNoteLine(std::string_view line)
{
    if (!line.empty() && line.front() == ' ' && NeedsGuardBlank(line))
        return line.substr(1);
    return line;
}

std::string EncodeSlotLine(std::string_view name, std::string_view second)
{
    std::string line;
    line.reserve(name.size() + second.size() + 2);
    if (SlotNeedsGuardBlank(name))
        line += ' ';
    line += name;
    line += ',';
    line += second;
    return line;
}

std::string_view DecodeSlotLine(std::string_view line)
{
    if (!line.empty() && line.front() == ' ' && SlotNeedsGuardBlank(line))
        return line.substr(1);
    return line;
}

} // namespace keld::charfile

namespace keld {

bool TheFileCanHold(FieldId id, int index, char32_t c)
{
    // Notes are stored line by line; the reader gives every line back with its CR LF.
    if (id == FieldId::Note)
        return true;
    if (c == U'\r' || c == U'\n')
        return false;
    switch (id) {
    case FieldId::General:
        // "HT/WT" and "HAIR/EYES" split at the first "/": the second field may hold one.
        if (index == static_cast<int>(GeneralField::Height) ||
            index == static_cast<int>(GeneralField::HairColor))
            return c != U'/';
        return true;
    case FieldId::LanguageName:
    case FieldId::SpellName:
        // The slot line splits at its first comma.
        return c != U',';
    case FieldId::Rank:
    case FieldId::Item1:
    case FieldId::Item2:
    case FieldId::Spec1:
    case FieldId::Spec2:
        // Skill lines are comma-separated; only a secondary skill's name may hold commas, as the
        // reader takes the fields after it from the right.
        return c != U',';
    case FieldId::Money:
        // A coin line holds any text; the reader keeps gold's as it stands and the leading number
        // of the others, so only typing is kept to digits (by the coin boxes' keys).
        return true;
    default:
        return true;
    }
}

std::string WithoutWhatTheFileCannotHold(FieldId id, int index, std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        std::size_t start = pos;
        char32_t c;
        if (!NextUtf8(utf8, pos, c)) {
            pos = start + 1;
            continue;
        }
        if (TheFileCanHold(id, index, c))
            out.append(utf8.substr(start, pos - start));
    }
    return out;
}

} // namespace keld
