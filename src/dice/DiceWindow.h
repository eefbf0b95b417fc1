#pragma once

#include "KeldError.h"

#include <QWidget>

namespace keld {

class SettingsStore;

// The dice roller window (Form1), "KELD Dice Roller".
class DiceWindow : public QWidget {
    Q_OBJECT
public:
    DiceWindow(const SettingsStore& settings, QWidget* parent = nullptr);

    // Shows the window at its stored position ("FORM1TOP", "FORM1LEFT").
    Status Open();
    // Saves the position; done when the window closes, at exit too.
    void SavePosition();

private:
    const SettingsStore& m_settings;
};

} // namespace keld
