// SPDX-License-Identifier: GPL-3.0-or-later
#include "charfile/CharacterFilePlan.h"

#include "character/CharacterRules.h"
#include "charfile/CharacterFileFormat.h"
#include "common/NumericValue.h"
#include "common/TextFile.h"

#include <optional>

namespace keld {

namespace {

using Field = PlannedWrite::Field;
using namespace charfile;

enum class Section {
    None, // before the first header, or after an unknown one: content is skipped
    General,
    Stats,
    Skills,
    Armor,
    Languages,
    Spells,
    Money,
    Inventory,
    Miscellaneous,
    Journal,
    Background,
    Picture,
};

Section SectionNamed(std::string_view name)
{
    static constexpr std::pair<std::string_view, Section> kSections[] = {
        {kGeneral, Section::General},
        {kStats, Section::Stats},
        {kSkills, Section::Skills},
        {kArmor, Section::Armor},
        {kLanguages, Section::Languages},
        {kSpells, Section::Spells},
        {kMoney, Section::Money},
        {kInventory, Section::Inventory},
        {kMiscellaneous, Section::Miscellaneous},
        {kJournal, Section::Journal},
        {kBackground, Section::Background},
        {kPicture, Section::Picture},
    };
    for (const auto& [text, section] : kSections)
        if (text == name)
            return section;
    return Section::None;
}

// The row of a skill line: the text must be a number as a whole (blanks around it allowed); like
// every conversion to an integer it goes to the nearest whole number, halves to the even one.
std::optional<double> RowNumber(std::string_view text)
{
    if (!IsWholeNumber(text))
        return std::nullopt;
    return RoundHalfEven(NumericValue(text));
}

std::string Quoted(std::string_view text)
{
    constexpr std::size_t kShown = 40;
    std::string out = "\"";
    out += text.substr(0, kShown);
    if (text.size() > kShown)
        out += "...";
    out += "\"";
    return out;
}

// Whether a file refused for holding no known section would have had one with LF line ends: an
// editor that saved it so is the likely cause, and the user should be told.
bool KnownSectionWithLfEnds(std::string_view text)
{
    if (text.find('\n') == std::string_view::npos)
        return false;
    for (const std::string& line : SplitLines(text, LineEnds::CrLfOrCrOrLf))
        if (ClassifyLine(line) == LineKind::Header && SectionNamed(HeaderName(line)) != Section::None)
            return true;
    return false;
}

class Planner {
public:
    Planner(const std::string& fileName, const PlannedWriteSink& sink) : m_fileName(fileName), m_sink(sink) {}

    Status Run(std::string_view text)
    {
        // Lines end at CR LF or a lone CR; a lone LF stays part of its line.
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\r', start);
            std::size_t next = end;
            if (end == std::string_view::npos)
                end = next = text.size();
            else
                next += (end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1;
            ++m_line;
            if (auto error = Line(text.substr(start, end - start)))
                return *error;
            start = next;
        }
        // Random bytes, an empty file or some other text would otherwise load as a character
        // with its money and notes cleared and nothing else.
        if (!m_anyKnownSection) {
            m_line = 0;
            // The file's name goes before the detail wherever it is shown.
            if (KnownSectionWithLfEnds(text))
                return Fail(kErrInvalidArgument,
                            "its lines end in LF only; character files end lines with CR LF");
            return Fail(kErrInvalidArgument, "is not a character file");
        }
        return Success();
    }

private:
    using Failure = std::optional<KeldError>;

    Failure Line(std::string_view line)
    {
        switch (ClassifyLine(line)) {
        case LineKind::Empty:
        case LineKind::Comment:
            return std::nullopt;
        case LineKind::Header:
            m_section = SectionNamed(HeaderName(line));
            m_anyKnownSection = m_anyKnownSection || m_section != Section::None;
            return std::nullopt;
        case LineKind::Content:
            return Content(line);
        }
        return std::nullopt;
    }

    KeldError Fail(int number, std::string what) const
    {
        return KeldError(number, std::move(what), m_fileName, m_line);
    }

    void Add(Field field, std::string_view value, int index = 0, int number = 0)
    {
        if (m_sink)
            m_sink(PlannedWrite{field, index, number, value, m_line});
    }

    void AddGeneral(GeneralField field, std::string_view value)
    {
        Add(Field::General, value, static_cast<int>(field));
    }

    Failure Content(std::string_view line)
    {
        switch (m_section) {
        case Section::None:
            return std::nullopt;
        case Section::General:
            return General(line);
        case Section::Stats:
            return Stats(line);
        case Section::Skills:
            return Skill(line);
        case Section::Armor:
            return Armor(line);
        case Section::Languages:
            return Slot(line, m_languageSlot, Field::LanguageName, Field::LanguageRank, "language");
        case Section::Spells:
            return Slot(line, m_spellSlot, Field::SpellName, Field::SpellPercent, "spell list");
        case Section::Money:
            return Money(line);
        case Section::Inventory:
            return NoteLine(line, NoteKind::Inventory);
        case Section::Miscellaneous:
            return NoteLine(line, NoteKind::Miscellaneous);
        case Section::Journal:
            return NoteLine(line, NoteKind::Journal);
        case Section::Background:
            return NoteLine(line, NoteKind::Background);
        case Section::Picture:
            Add(Field::Picture, line);
            return std::nullopt;
        }
        return std::nullopt;
    }

    // Splits a key=value line; the key is taken exactly, the value is everything after the first "=".
    std::optional<std::pair<std::string_view, std::string_view>> KeyValue(std::string_view line) const
    {
        std::size_t p = line.find('=');
        if (p == std::string_view::npos)
            return std::nullopt;
        return std::pair{line.substr(0, p), line.substr(p + 1)};
    }

    KeldError NoEquals(std::string_view section, std::string_view line) const
    {
        return Fail(kErrInvalidArgument, std::string(section) + " line " + Quoted(line) + " has no \"=\"");
    }

    Failure General(std::string_view line)
    {
        auto kv = KeyValue(line);
        if (!kv)
            return NoEquals(kGeneral, line);
        auto [key, value] = *kv;
        if (key == "NAME") {
            AddGeneral(GeneralField::Name, value);
        } else if (key == "HT/WT" || key == "HAIR/EYES") {
            std::size_t q = value.find('/');
            if (q == std::string_view::npos)
                return Fail(kErrInvalidArgument,
                            std::string(key) + " value " + Quoted(value) + " has no \"/\"");
            bool height = key == "HT/WT";
            AddGeneral(height ? GeneralField::Height : GeneralField::HairColor, value.substr(0, q));
            AddGeneral(height ? GeneralField::Weight : GeneralField::EyeColor, value.substr(q + 1));
        } else if (key == "DEMEANOR") {
            AddGeneral(GeneralField::Demeanor, value);
        } else if (key == "SPECIAL") {
            AddGeneral(GeneralField::Special, value);
        } else if (key == "RACE") {
            Add(Field::Race, value);
        } else if (key == "YOUTH") {
            Add(Field::Youth, value);
        } else if (key == "PROFESSION") {
            Add(Field::Profession, value);
        } else if (key == "LEVEL") {
            Add(Field::Level, value);
        } else if (key == "EXP") {
            Add(Field::Experience, value);
        } else if (key == "REALM") {
            // Any other realm text leaves the realm as it was.
            if (value == "Essence")
                Add(Field::Realm, {}, 0, 0);
            else if (value == "Channeling")
                Add(Field::Realm, {}, 0, 1);
        }
        return std::nullopt;
    }

    Failure Stats(std::string_view line)
    {
        auto kv = KeyValue(line);
        if (!kv)
            return NoEquals(kStats, line);
        int stat = StatIndexForCode(kv->first);
        if (stat >= 0)
            Add(Field::StatValue, kv->second, stat);
        // Every line of the section recomputes the power points, known key or not.
        Add(Field::PowerPoints, {});
        return std::nullopt;
    }

    Failure Skill(std::string_view line)
    {
        std::vector<std::size_t> commas;
        for (std::size_t i = 0; i < line.size(); ++i)
            if (line[i] == ',')
                commas.push_back(i);
        std::string_view first = line.substr(0, commas.empty() ? line.size() : commas[0]);
        std::optional<double> row = RowNumber(first);
        if (!row)
            return Fail(kErrTypeMismatch, "skill row " + Quoted(first) + " is not a number");
        if (!(*row >= 0 && *row < kSkillCount))
            return Fail(kErrInvalidArgument, "skill row " + Quoted(first) + " is outside 0 to 35");
        // The writer always puts seven commas; a shorter line cannot be told apart field by field.
        if (commas.size() < 7)
            return Fail(kErrInvalidArgument,
                        "skill line has " + std::to_string(commas.size()) + " commas, fewer than seven");
        int r = static_cast<int>(*row);
        bool secondary = IsSecondaryRow(r);

        // Commas beyond the seventh belong to a secondary skill's name, so the six fields after
        // the name are taken from the right; elsewhere the last field keeps them.
        std::size_t nameEnd = secondary ? commas[commas.size() - 6] : commas[1];
        std::size_t c = secondary ? commas.size() - 6 : 1; // index of the comma closing the name
        auto field = [&](std::size_t k) {                  // k-th field after the name, 0-based
            std::size_t from = commas[c + k] + 1;
            std::size_t to = k == 5 ? line.size() : commas[c + k + 1];
            return line.substr(from, to - from);
        };
        if (secondary)
            Add(Field::SecondaryName, line.substr(commas[0] + 1, nameEnd - commas[0] - 1), r);
        Add(Field::Rank, field(0), r);
        if (secondary)
            Add(Field::StatCode, field(1), r);
        Add(Field::Item1, field(2), r);
        Add(Field::Item2, field(3), r);
        Add(Field::Spec1, field(4), r);
        Add(Field::Spec2, field(5), r);
        return std::nullopt;
    }

    Failure Armor(std::string_view line)
    {
        auto kv = KeyValue(line);
        if (!kv)
            return NoEquals(kArmor, line);
        auto [key, value] = *kv;
        if (key == "TYPE") {
            Add(Field::ArmorType, value);
            return std::nullopt;
        }
        for (const ArmorKey& armor : kArmorKeys) {
            if (key != armor.key)
                continue;
            double k = RoundHalfEven(NumericValue(value));
            if (k != 0 && k != 1 && k != 2)
                return Fail(kErrInvalidArgument,
                            std::string(key) + " value " + Quoted(value) + " is not 0, 1 or 2");
            Add(Field::ArmorPiece, {}, static_cast<int>(armor.piece), static_cast<int>(k));
        }
        return std::nullopt;
    }

    Failure Slot(std::string_view line, int& slot, Field nameField, Field secondField, const char* what)
    {
        line = DecodeSlotLine(line);
        std::size_t comma = line.find(',');
        if (comma == std::string_view::npos)
            return Fail(kErrInvalidArgument, std::string(what) + " line " + Quoted(line) + " has no comma");
        static_assert(kLanguageCount == kSpellListCount);
        if (slot >= kLanguageCount)
            return Fail(kErrInvalidArgument,
                        std::string("a ninth ") + what + " line; there are only eight slots");
        Add(nameField, line.substr(0, comma), slot);
        Add(secondField, line.substr(comma + 1), slot);
        ++slot;
        return std::nullopt;
    }

    Failure Money(std::string_view line)
    {
        auto kv = KeyValue(line);
        if (!kv)
            return NoEquals(kMoney, line);
        auto [key, value] = *kv;
        for (std::size_t i = 0; i < kMoneyKeys.size(); ++i) {
            if (key != kMoneyKeys[i])
                continue;
            // Gold is taken as written; the other coins go through their number.
            if (i == 0)
                Add(Field::Money, value, 0);
            else
                Add(Field::Money, NumberText(NumericValue(value)), static_cast<int>(i));
        }
        return std::nullopt;
    }

    Failure NoteLine(std::string_view line, NoteKind note)
    {
        Add(Field::Note, DecodeNoteLine(line), static_cast<int>(note));
        return std::nullopt;
    }

    const std::string& m_fileName;
    const PlannedWriteSink& m_sink;
    Section m_section = Section::None;
    int m_line = 0;
    bool m_anyKnownSection = false;
    int m_languageSlot = 0;
    int m_spellSlot = 0;
};

} // namespace

Status WalkCharacterFile(std::string_view text, const std::string& fileName, const PlannedWriteSink& sink)
{
    return Planner(fileName, sink).Run(text);
}

Result<CharacterFilePlan> PlanCharacterFile(std::string_view text, const std::string& fileName)
{
    CharacterFilePlan plan;
    Status walked = WalkCharacterFile(text, fileName, [&plan](const PlannedWrite& write) {
        plan.writes.push_back(write);
        plan.writes.back().value = plan.values.emplace_back(write.value);
    });
    if (!walked)
        return walked.Error();
    return plan;
}

} // namespace keld
