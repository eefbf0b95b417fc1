// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/KeldError.h"

#include <string_view>

class QPoint;
class QRect;
class QSize;
class QWidget;

namespace keld {

class SettingsStore;

// Whether any part of `frame` shows on a screen attached now. A place left behind by a screen
// that has since gone does not, and a window put there could never be reached.
bool OnSomeScreen(const QRect& frame);
// Whether all of `rect` lies on one screen.
bool WithinOneScreen(const QRect& rect);

// The available area (without panels and docks) of the screen `frame` belongs to: the one it
// overlaps most, else the one nearest to it.
QRect AvailableAreaFor(const QRect& frame);
// `frame` made no larger than `area` (but never smaller than `minimum`) and moved into it.
QRect FitInto(const QRect& frame, const QRect& area, const QSize& minimum);
// Moves and, where it must, shrinks a window so that its frame lies wholly on its screen's
// available area, keeping at least its minimum size.
void FitOnScreen(QWidget* window);
// FitOnScreen now, when the window is shown, and once more when the window system has put its
// frame around it (only then is the frame's size known). Moves the user makes later are theirs.
void FitOnScreenWhenShown(QWidget* window);

// A window's stored place, in twips under the "SCREEN" section: `key` is a whole key such as
// "FORM2HEIGHT", `form` the prefix of the "<form>TOP" and "<form>LEFT" pair. The fallbacks are
// in pixels and stand where nothing is stored; a stored text that is not a number is an error.
Result<int> LoadWindowCoordinate(SettingsStore& settings, std::string_view app, std::string_view key,
                                 int fallbackPx, const QWidget* window);
Result<QPoint> LoadWindowPlace(SettingsStore& settings, std::string_view app, std::string_view form,
                               const QPoint& fallback, const QWidget* window);
// Saving is best effort: a window that cannot store its place still closes.
void SaveWindowCoordinate(SettingsStore& settings, std::string_view app, std::string_view key, int px,
                          const QWidget* window);
void SaveWindowPlace(SettingsStore& settings, std::string_view app, std::string_view form,
                     const QPoint& place, const QWidget* window);

} // namespace keld
