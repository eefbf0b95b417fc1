// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Text that no installed font can show: kept in the report's text (searchable and copyable in a
// PDF) and drawn as a box, from a font made here with a box of its own for every character.

namespace keld::render {

// Whether some installed font has a glyph for `c` (the fonts of `families` first).
bool Drawable(char32_t c, const QStringList& families);

// The family of the box font, registered with Qt on first use; empty when Qt refused it.
QString MissingGlyphFamily();

// The box font itself: a TrueType font with a distinct box glyph for every character of the
// Basic Multilingual Plane but the surrogates.
QByteArray MissingGlyphFont();

} // namespace keld::render
