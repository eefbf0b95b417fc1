// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QString>

namespace keld {

// A toolbar picture ("new", "open", "save", "print", "dice", "history", "about", "exit"). Its
// outlines take the palette's text colour when drawn, so they stay readable on a dark desktop,
// and it is drawn at whatever size the screen asks for, so it stays sharp on HiDPI.
QIcon ShellIcon(const QString& name);

// The program's own icon, the sheet's window icon.
QIcon ProgramIcon();

} // namespace keld
