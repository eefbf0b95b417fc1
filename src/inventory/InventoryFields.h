// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace keld {

// The four note areas of the inventory window.
enum class NoteKind : int { Background = 0, Inventory = 1, Journal = 2, Miscellaneous = 3 };

inline constexpr int kMoneyCount = 5; // gold, silver, bronze, copper, tin
inline constexpr int kNoteCount = 4;

// What the inventory's own rules need to write. The sheet model implements it, so the inventory
// library stays below the character library and knows nothing about the record.
class InventoryFields {
public:
    virtual ~InventoryFields() = default;
    // Index 0..4; each write recomputes the money weight.
    virtual void SetMoney(int index, std::string text) = 0;
    virtual void SetNote(NoteKind note, std::string text) = 0;
};

// Empties the inventory before a character file is read: every coin "0", every note "" (not the
// headings a new character gets).
void ClearForm(InventoryFields& fields);

} // namespace keld
