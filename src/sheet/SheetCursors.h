// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCursor>

namespace keld {

// The panel's two pointers: an open hand over it, a grabbing hand while it is dragged.
inline QCursor OpenHandCursor()
{
    return QCursor(Qt::OpenHandCursor);
}
inline QCursor ClosedHandCursor()
{
    return QCursor(Qt::ClosedHandCursor);
}

} // namespace keld
