#include "DiceWindow.h"

#include "SettingsStore.h"

namespace keld {

DiceWindow::DiceWindow(const SettingsStore& settings, QWidget* parent) : QWidget(parent, Qt::Window), m_settings(settings)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("KELD Dice Roller"));
}

Status DiceWindow::Open()
{
    show();
    return Success();
}

void DiceWindow::SavePosition()
{
}

} // namespace keld
