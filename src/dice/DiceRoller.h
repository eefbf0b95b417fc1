// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/KeldError.h"
#include "dice/UniformSource.h"

#include <array>
#include <string>
#include <string_view>

namespace keld {

// What one dice slot shows: its expression, last result, reroll box and the look of the value.
struct DiceSlot {
    std::string expression = "%ILES";
    std::string value = "Value";
    bool rerollChecked = true;
    bool rerollVisible = true;
    // True from a roll until the value is dragged away.
    bool fresh = false;
};

// Which field of the roller changed; `slot` is -1 for the window-wide ones.
enum class DiceField { Expression, Reroll, Value, Look, Spins, GlobalReroll };

class DiceRollerObserver {
public:
    virtual ~DiceRollerObserver() = default;
    // Called at once, in the middle of a roll too, so that each result can be painted.
    virtual void DiceFieldChanged(int slot, DiceField field) = 0;
};

// The dice roller's state and rules, free of any window: the view forwards its events here and
// shows the fields named by the observer.
class DiceRoller {
public:
    static constexpr int kSlotCount = 6;
    static constexpr int kMinSpins = 1;
    static constexpr int kMaxSpins = 500;
    static constexpr int kDefaultSpins = 10;
    // The sorted choices of every slot's expression list.
    static constexpr std::array<std::string_view, 17> kExpressionList = {
        "%ILES", "1D10", "1D100", "1D12", "1D15", "1D18", "1D2", "1D20", "1D30",
        "1D4",   "1D50", "1D6",   "1D8",  "2D10", "2D4",  "2D6", "2D8"};

    explicit DiceRoller(UniformSource uniform = MakeClockSeededSource());

    // The observer is not owned; pass nullptr to detach it.
    void SetObserver(DiceRollerObserver* observer) { m_observer = observer; }

    const DiceSlot& Slot(int slot) const { return m_slots.at(static_cast<std::size_t>(slot)); }
    int Spins() const { return m_spins; }
    bool GlobalReroll() const { return m_globalReroll; }
    // "Dice Spins (1 to N) Times"
    std::string SpinsCaption() const;

    // The spins scroll bar; values outside its range are brought into it.
    void SetSpins(int spins);
    // Typed or chosen expression; a text without "%" clears and hides the reroll box.
    void SetExpression(int slot, std::string expression);
    // A click on a slot's reroll box. A hidden box cannot be clicked, so this is ignored then;
    // that also keeps a normal expression from rerolling its results for ever.
    void SetReroll(int slot, bool checked);
    // "Reroll < 20": sets every visible reroll box.
    void SetGlobalReroll(bool checked);
    // "%-ILES": every slot rolls percentile dice.
    void SetAllPercentile();
    // "Roll Me". Fails, leaving the value as it was, when the expression holds a number
    // outside 16 bits.
    Status RollSlot(int slot);
    // "ROLL ALL": every slot in order; a failing slot does not stop the others.
    void RollAll();
    // The value label was pressed to drag its value away.
    void MarkValueUsed(int slot);

private:
    void Notify(int slot, DiceField field);
    bool ValidSlot(int slot) const { return slot >= 0 && slot < kSlotCount; }

    UniformSource m_uniform;
    std::array<DiceSlot, kSlotCount> m_slots;
    int m_spins = kDefaultSpins;
    bool m_globalReroll = true;
    DiceRollerObserver* m_observer = nullptr;
};

} // namespace keld
