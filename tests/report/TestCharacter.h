// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "character/SheetModel.h"
#include "rules/RulesTables.h"

#include <memory>
#include <string>

namespace keld::test {

// A character set up as start-up does, with the shipped rules data, then given values in every
// field a template shows.
struct TestCharacter {
    RulesTables tables;
    std::unique_ptr<SheetModel> sheet;
};

std::unique_ptr<TestCharacter> MakeCharacter(const std::string& picturePath = {});

} // namespace keld::test
