// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/BusyGuard.h"

#include <QApplication>
#include <QCursor>

namespace keld {

BusyGuard::BusyGuard()
{
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

BusyGuard::~BusyGuard()
{
    QApplication::restoreOverrideCursor();
}

NormalPointer::NormalPointer()
{
    if (QApplication::overrideCursor()) {
        QApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
        m_pushed = true;
    }
}

NormalPointer::~NormalPointer()
{
    if (m_pushed)
        QApplication::restoreOverrideCursor();
}

void ProcessPaintEvents()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace keld
