#include "InventoryWindow.h"

#include "SettingsStore.h"
#include "SheetBinding.h"

namespace keld {

InventoryWindow::InventoryWindow(SheetBinding& binding, const SettingsStore& settings, QWidget* parent)
    : QWidget(parent, Qt::Window), m_binding(binding), m_settings(settings)
{
    setObjectName(QStringLiteral("Form4"));
}

} // namespace keld
