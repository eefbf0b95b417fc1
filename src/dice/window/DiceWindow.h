// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/KeldError.h"
#include "dice/DiceRoller.h"

#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollBar;

namespace keld {

class SettingsStore;

// The dice roller window (Form1), "KELD Dice Roller": a view over DiceRoller.
class DiceWindow : public QWidget, private DiceRollerObserver {
    Q_OBJECT
public:
    DiceWindow(SettingsStore& settings, QWidget* parent = nullptr);
    // With a given random source (tests).
    DiceWindow(SettingsStore& settings, UniformSource uniform, QWidget* parent = nullptr);
    ~DiceWindow() override;

    // Shows the window at its stored position ("FORM1TOP", "FORM1LEFT"; 0 by default, and when a
    // stored value is not a number or the place is on no screen at all).
    Status Open();
    // Saves the position; done when the window closes, at exit too.
    void SavePosition();

    const DiceRoller& Roller() const { return m_roller; }

    // How a pressed value label starts its drag; StartCaptionDrag unless a test replaces it.
    using DragStarter = std::function<void(QWidget* source, const QString& caption)>;
    void SetDragStarter(DragStarter starter) { m_dragStarter = std::move(starter); }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct SlotControls {
        QComboBox* dice = nullptr;
        QPushButton* roll = nullptr;
        QLabel* value = nullptr;
        QCheckBox* reroll = nullptr;
    };

    QWidget* BuildSlot(int slot);
    void DiceFieldChanged(int slot, DiceField field) override;
    void ShowSlot(int slot, DiceField field);
    // Runs a roll; the window's close waits until the roll is over.
    void Rolling(const std::function<void()>& roll);

    SettingsStore& m_settings;
    DiceRoller m_roller;
    std::array<SlotControls, DiceRoller::kSlotCount> m_slots;
    QPushButton* m_rollAll = nullptr;
    QPushButton* m_percentile = nullptr;
    QCheckBox* m_globalReroll = nullptr;
    QScrollBar* m_spins = nullptr;
    QLabel* m_spinsCaption = nullptr;
    DragStarter m_dragStarter;
    int m_rollDepth = 0;
    bool m_closeWhenDone = false;
};

} // namespace keld
