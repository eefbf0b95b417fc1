// SPDX-License-Identifier: GPL-3.0-or-later
#include "dice/UniformSource.h"

#include <chrono>
#include <random>

namespace keld {

UniformSource MakeSeededSource(std::uint64_t seed)
{
    // The top 53 bits of the engine give every double of the form k / 2^53, never 1.0; unlike
    // std::generate_canonical this is the same on every standard library.
    return [engine = std::mt19937_64(seed)]() mutable {
        return static_cast<double>(engine() >> 11) * 0x1.0p-53;
    };
}

UniformSource MakeClockSeededSource()
{
    auto now = std::chrono::system_clock::now().time_since_epoch();
    return MakeSeededSource(
        static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
}

} // namespace keld
