// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the sheet model's source files share; not part of its interface.

#include "common/KeldError.h"

#include <string>

namespace keld::sheet_model {

inline Status InvalidArgument(std::string detail)
{
    return KeldError(kErrInvalidArgument, std::move(detail));
}

inline bool InRange(int value, int low, int high)
{
    return value >= low && value <= high;
}

} // namespace keld::sheet_model
