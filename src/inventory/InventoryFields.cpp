// SPDX-License-Identifier: GPL-3.0-or-later
#include "inventory/InventoryFields.h"

namespace keld {

void ClearForm(InventoryFields& fields)
{
    for (int i = 0; i < kMoneyCount; ++i)
        fields.SetMoney(i, "0");
    fields.SetNote(NoteKind::Inventory, "");
    fields.SetNote(NoteKind::Miscellaneous, "");
    fields.SetNote(NoteKind::Journal, "");
    fields.SetNote(NoteKind::Background, "");
}

} // namespace keld
