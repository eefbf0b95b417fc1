#pragma once

#include <array>
#include <string>
#include <string_view>

namespace keld {

// Names shared by the character file reader and writer.
namespace charfile {

inline constexpr std::string_view kGeneral = "[GENERAL]";
inline constexpr std::string_view kStats = "[STATS]";
inline constexpr std::string_view kSkills = "[SKILLS]";
inline constexpr std::string_view kArmor = "[ARMOR]";
inline constexpr std::string_view kLanguages = "[LANGUAGES]";
inline constexpr std::string_view kSpells = "[SPELLS]";
inline constexpr std::string_view kMoney = "[MONEY]";
inline constexpr std::string_view kInventory = "[INVENTORY]";
inline constexpr std::string_view kMiscellaneous = "[MISCELLANEOUS]";
inline constexpr std::string_view kJournal = "[JOURNAL]";
inline constexpr std::string_view kBackground = "[BACKGROUND]";
inline constexpr std::string_view kPicture = "[PICTURE]";

inline constexpr std::array<std::string_view, 7> kStatCodes = {"ST", "AG", "CO", "IG", "IT", "PR", "AP"};
inline constexpr std::array<std::string_view, 5> kMoneyKeys = {"GP", "SP", "BP", "CP", "TP"};

// The armour pieces in the order the file lists them (which is not the record's order).
enum class ArmorPiece { Shield, Helm, ArmGreaves, LegGreaves };
inline constexpr std::array<std::string_view, 4> kArmorKeys = {"SHIELD", "HELM", "ARM", "LEG"};

// The four notes, indexed the same way wherever a note kind is stored as a number.
enum class Note { Inventory, Miscellaneous, Journal, Background };

inline constexpr int kSkillRows = 36;
inline constexpr int kFirstSecondaryRow = 24;
inline constexpr int kLastSecondaryRow = 28;
inline constexpr int kSlots = 8;

inline bool IsSecondaryRow(int row)
{
    return row >= kFirstSecondaryRow && row <= kLastSecondaryRow;
}

enum class LineKind { Empty, Comment, Header, Content };

// How the reader sees a line before any section handles it.
LineKind ClassifyLine(std::string_view line);

// The section name a header line sets: the line without leading and trailing spaces.
std::string_view HeaderName(std::string_view line);

// Leading and trailing spaces removed (spaces only, as the sheet's trimming does).
std::string_view TrimSpaces(std::string_view text);

// A note as it goes into the file after its header (without the layout's closing line end).
// A line the reader would drop or take as a header or comment gets one extra leading blank.
std::string EncodeNote(std::string_view note);

// The note line a content line of a note section stands for: the inverse of EncodeNote's blank.
std::string_view DecodeNoteLine(std::string_view line);

} // namespace charfile
} // namespace keld
