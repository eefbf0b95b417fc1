// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The highest number of heap bytes this process held at once since the last reset, counted by
// replacing the global allocation functions (HeapPeak.cpp), so a test can bound what a read costs
// per byte of input without a file of hundreds of MB.
#include <cstddef>

namespace keld::test {

void ResetHeapPeak();
std::size_t HeapPeakSinceReset(); // beyond what was held at the reset

} // namespace keld::test
