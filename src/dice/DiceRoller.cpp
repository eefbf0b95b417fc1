// SPDX-License-Identifier: GPL-3.0-or-later
#include "dice/DiceRoller.h"

#include "common/NumericValue.h"
#include "dice/RollDice.h"

#include <algorithm>

namespace keld {

namespace {

// A real source ends a percentile reroll after a handful of rolls (each roll stops it with
// probability 0.8); this bound only guards against a broken source hanging the program.
constexpr int kMaxRerolls = 100000;

} // namespace

DiceRoller::DiceRoller(UniformSource uniform) : m_uniform(std::move(uniform)) {}

std::string DiceRoller::SpinsCaption() const
{
    return "Dice Spins (1 to " + std::to_string(m_spins) + ") Times";
}

void DiceRoller::SetSpins(int spins)
{
    m_spins = std::clamp(spins, kMinSpins, kMaxSpins);
    Notify(-1, DiceField::Spins);
}

void DiceRoller::SetExpression(int slot, std::string expression)
{
    if (!ValidSlot(slot))
        return;
    DiceSlot& s = m_slots[slot];
    s.expression = std::move(expression);
    Notify(slot, DiceField::Expression);
    if (!IsPercentileExpression(s.expression)) {
        s.rerollChecked = false;
        s.rerollVisible = false;
    } else {
        s.rerollVisible = true;
    }
    Notify(slot, DiceField::Reroll);
}

void DiceRoller::SetReroll(int slot, bool checked)
{
    if (!ValidSlot(slot) || !m_slots[slot].rerollVisible)
        return;
    m_slots[slot].rerollChecked = checked;
    Notify(slot, DiceField::Reroll);
}

void DiceRoller::SetGlobalReroll(bool checked)
{
    m_globalReroll = checked;
    Notify(-1, DiceField::GlobalReroll);
    for (int i = 0; i < kSlotCount; ++i)
        SetReroll(i, checked);
}

void DiceRoller::SetAllPercentile()
{
    for (int i = 0; i < kSlotCount; ++i)
        SetExpression(i, "%TILES");
}

Status DiceRoller::RollSlot(int slot)
{
    if (!ValidSlot(slot))
        return KeldError(kErrInvalidArgument, "no dice slot " + std::to_string(slot));
    m_slots[slot].fresh = true;
    Notify(slot, DiceField::Look);

    // Copies, because an observer that lets window events run may change the slot meanwhile.
    const std::string expression = m_slots[slot].expression;
    const bool percentile = IsPercentileExpression(expression);
    const bool reroll = m_slots[slot].rerollChecked;
    double v = 1;
    for (int rolls = 0; rolls == 0 || (reroll && v > 0 && v < 21 && rolls < kMaxRerolls); ++rolls) {
        auto result = RollDice(expression, m_spins, percentile, m_uniform);
        if (!result)
            return result.Error();
        m_slots[slot].value = *result;
        Notify(slot, DiceField::Value);
        v = NumericValue(*result);
    }
    return Success();
}

void DiceRoller::RollAll()
{
    for (int i = 0; i < kSlotCount; ++i)
        (void)RollSlot(i);
}

void DiceRoller::MarkValueUsed(int slot)
{
    if (!ValidSlot(slot))
        return;
    m_slots[slot].fresh = false;
    Notify(slot, DiceField::Look);
}

void DiceRoller::Notify(int slot, DiceField field)
{
    if (m_observer)
        m_observer->DiceFieldChanged(slot, field);
}

} // namespace keld
