// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dice/UniformSource.h"

#include <memory>
#include <stdexcept>
#include <vector>

namespace keld::test {

// Hands out the given numbers in order; `drawn` counts them, and running dry throws, so a roll
// that draws more or less than it should is caught.
struct ScriptedSource {
    std::shared_ptr<std::size_t> drawn = std::make_shared<std::size_t>(0);
    UniformSource Source(std::vector<double> values) const
    {
        return [values = std::move(values), drawn = drawn] {
            if (*drawn >= values.size())
                throw std::runtime_error("the scripted source ran dry");
            return values[(*drawn)++];
        };
    }
};

} // namespace keld::test
