// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Twips.h"

#include "common/Units.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace keld {

double LogicalDpi(const QWidget* widget)
{
    const QScreen* screen = widget ? widget->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

int TwipsToPx(double twips, const QWidget* widget)
{
    return static_cast<int>(std::lround(twips * LogicalDpi(widget) / kTwipsPerInch));
}

double PxToTwips(double px, const QWidget* widget)
{
    return px * kTwipsPerInch / LogicalDpi(widget);
}

} // namespace keld
