// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "character/CharacterRecord.h"
#include "character/SheetModel.h"

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

inline constexpr std::array<std::string_view, kMoneyCount> kMoneyKeys = {"GP", "SP", "BP", "CP", "TP"};

// The armour pieces in the order the file lists them, which is not the record's order.
struct ArmorKey {
    std::string_view key;
    ArmorPiece piece;
};
inline constexpr std::array<ArmorKey, kArmorPieceCount> kArmorKeys = {{{"SHIELD", ArmorPiece::Shield},
                                                                       {"HELM", ArmorPiece::Helm},
                                                                       {"ARM", ArmorPiece::ArmGreaves},
                                                                       {"LEG", ArmorPiece::LegGreaves}}};

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

// A language or spell line whose name would make the reader skip it or take it as a header gets
// the same extra blank, so the later slots do not shift; DecodeSlotLine takes it off again.
std::string EncodeSlotLine(std::string_view name, std::string_view second);
std::string_view DecodeSlotLine(std::string_view line);

} // namespace charfile

// Whether the text of field (id, index) can hold `c` through a save and a load. The format has no
// quoting, so a character the reader splits that field's line on, or a line end in a one-line
// field, would come back elsewhere. The tin, copper, bronze and silver coins come back as their
// leading number, which is all that counts of them, so a coin holds any one-line text. The views
// refuse what this refuses, however it arrives.
bool TheFileCanHold(FieldId id, int index, char32_t c);

// The text without the characters TheFileCanHold refuses for that field.
std::string WithoutWhatTheFileCannotHold(FieldId id, int index, std::string_view utf8);

} // namespace keld
