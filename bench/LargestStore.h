// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The largest settings store the program accepts and can still write back after an exit's saves,
// in the shapes that cost it most: the keys a run reads and writes, then to the size limit (less
// room for the keys an exit adds) either blank lines (the most lines per byte, so
// the most memory) or short entries in the section the sheet's keys are looked up in (every
// look-up compares names all the way down).
#include "settings/SettingsStore.h"

#include <string>

namespace keld::bench {

enum class StoreShape { BlankLines, ShortEntries };

inline std::string LargestStore(StoreShape shape)
{
    std::string s = "[Options]\nDetailTemplate=/home/someone/templates/detail.rtf\n"
                    "SummaryTemplate=/home/someone/templates/summary.rtf\n[TOOLBAR]\nCHECKED=True\n"
                    "[OPTIONS]\nSTATSOVER=True\n[SCREEN]\nFORM2HEIGHT=9000\nFORM2TOP=600\nFORM2LEFT=1200\n"
                    "FORM4TOP=3000\nFORM4LEFT=6000\n";
    const std::string filler = shape == StoreShape::BlankLines ? "\n" : "k=\n";
    while (s.size() + filler.size() <= SettingsStore::kMaxStoreBytes - 1024)
        s += filler;
    return s;
}

} // namespace keld::bench
