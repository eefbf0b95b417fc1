// SPDX-License-Identifier: GPL-3.0-or-later
// Linked into every window test and benchmark: message boxes answer without being shown, from
// before the first test runs.
#include "ui/MessageBox.h"

namespace {

[[maybe_unused]] const bool kAnswering = (keld::MessageBox::AnswerForTests(), true);

} // namespace
