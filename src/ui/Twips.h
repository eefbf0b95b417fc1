// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

namespace keld {

// Layout figures and stored window positions are in twips (1440 to the inch). One inch is the
// screen's logical DPI in pixels, so a position stored in twips reopens where it was.
double LogicalDpi(const QWidget* widget = nullptr);
int TwipsToPx(double twips, const QWidget* widget = nullptr);
double PxToTwips(double px, const QWidget* widget = nullptr);

} // namespace keld
