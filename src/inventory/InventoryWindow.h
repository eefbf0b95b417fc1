#pragma once

#include <QWidget>

namespace keld {

class SheetBinding;
class SettingsStore;

// The inventory window (Form4): notes, money and its weight, the picture.
class InventoryWindow : public QWidget {
    Q_OBJECT
public:
    InventoryWindow(SheetBinding& binding, const SettingsStore& settings, QWidget* parent = nullptr);

private:
    SheetBinding& m_binding;
    const SettingsStore& m_settings;
};

} // namespace keld
