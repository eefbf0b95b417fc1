// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>

namespace keld {

// A source of uniform random numbers in [0, 1). Injectable so that tests can script every draw.
using UniformSource = std::function<double()>;

// A reproducible source: the same seed gives the same numbers on every platform.
UniformSource MakeSeededSource(std::uint64_t seed);

// The program's default source, seeded from the clock.
UniformSource MakeClockSeededSource();

} // namespace keld
