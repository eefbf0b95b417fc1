#include "BusyGuard.h"

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

void ProcessPaintEvents()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace keld
