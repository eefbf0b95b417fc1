// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QWidget>

namespace keld {

// The face the panel's areas write in; an area with many rows may choose a more compact one.
inline constexpr double kPanelFontPoints = 8;

// Gives `widget` and what it holds the desktop's face at `points`.
inline void SetFontPoints(QWidget* widget, double points)
{
    QFont font = widget->font();
    font.setPointSizeF(points);
    widget->setFont(font);
}

} // namespace keld
