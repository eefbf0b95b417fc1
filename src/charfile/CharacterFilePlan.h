// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/KeldError.h"

#include <deque>
#include <functional>
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
    // A view into the planned text, or into a value made for this write alone: it lives only as
    // long as the call that hands the write over, unless the plan keeps it.
    std::string_view value;
    int line = 0; // 1-based line of the file
};

// Receives the writes of a file in the order the reader must apply them.
using PlannedWriteSink = std::function<void(const PlannedWrite&)>;

// Checks a whole character file (already decoded text) and, when `sink` is given, hands it each
// field write. Any line the format calls a failure gives an error naming `fileName`, the line and
// what is wrong. Nothing is kept per line, so the reader checks a file in one pass and applies it
// in a second instead of holding a write for every line of a large journal.
Status WalkCharacterFile(std::string_view text, const std::string& fileName, const PlannedWriteSink& sink);

// Everything a valid character file writes, in the order the reader must apply it, each value
// kept in `values`. Moved, not copied: a copy's writes would still view the first one's values.
struct CharacterFilePlan {
    CharacterFilePlan() = default;
    CharacterFilePlan(CharacterFilePlan&&) = default;
    CharacterFilePlan& operator=(CharacterFilePlan&&) = default;

    std::vector<PlannedWrite> writes;
    std::deque<std::string> values;
};

// The writes of WalkCharacterFile kept in a list; nothing has been written anywhere.
Result<CharacterFilePlan> PlanCharacterFile(std::string_view text, const std::string& fileName);

} // namespace keld
