// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "report/ReportFill.h"

#include <vector>

namespace keld {

class SheetModel;

// The placeholders of every template and the character's values for them, in the order the fill
// replaces them: the general block, the stats, power points, secondary skill names, the skill
// columns, money, the four notes and the picture.
std::vector<ReportValue> ReportValues(const SheetModel& sheet);

// FillData with the open character's values.
void FillData(RtfDocument& document, const SheetModel& sheet);

} // namespace keld
