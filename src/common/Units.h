// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace keld {

// Layout figures, page sizes and stored window positions are in twips.
inline constexpr int kTwipsPerInch = 1440;

} // namespace keld
