#pragma once

#include "common/KeldError.h"

#include <string>
#include <string_view>
#include <vector>

namespace keld {

// One field write that a character file asks for, with the line it comes from.
struct PlannedWrite {
    enum class Field {
        General,    // index: the GeneralField
        Race,       // value: the displayed name to select
        Youth,      // value: the displayed name to select
        Profession, // value: the displayed name to select
        Level,
        Experience,
        Realm,         // number: 0 Essence, 1 Channeling
        StatValue,     // index: stat 0..6
        PowerPoints,   // CalcPowerPoints, no value
        SecondaryName, // index: row 24..28
        Rank,          // index: row
        StatCode,      // index: row 24..28
        Item1,
        Item2,
        Spec1,
        Spec2,
        ArmorType,
        ArmorPiece,   // index: charfile::ArmorPiece, number: check state 0, 1 or 2
        LanguageName, // index: slot
        LanguageRank,
        SpellName,
        SpellPercent,
        Money,   // index: coin 0..4
        Note,    // index: NoteKind; value: one line, appended with CR LF
        Picture, // value: the picture path
    };

    Field field;
    int index = 0;
    int number = 0;
    std::string value;
    int line = 0; // 1-based line of the file
};

// Everything a valid character file writes, in the order the reader must apply it.
struct CharacterFilePlan {
    std::vector<PlannedWrite> writes;
};

// Checks a whole character file (already decoded text) and lists its field writes. Any line
// the format calls a failure gives an error naming `fileName`, the line and what is wrong;
// nothing has been written anywhere at that point.
Result<CharacterFilePlan> PlanCharacterFile(std::string_view text, const std::string& fileName);

} // namespace keld
