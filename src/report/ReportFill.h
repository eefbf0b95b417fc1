// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "report/RtfDocument.h"

#include <string>
#include <string_view>
#include <vector>

namespace keld {

// One step of a template fill: the placeholder and the text that replaces it. The picture step
// carries the picture file's path.
struct ReportValue {
    std::string placeholder;
    std::string value;
};

// Replaces the first occurrence of `strFind` (letter case ignored) by `strReplace` in the
// formatting the placeholder had: bold, italic, underline and strike-through only where all its
// characters have them, colour, font and size (rounded to whole points, halves to even) of its
// first character where they differ. A `strFind` holding "PICTURE" puts the picture file named by
// `strReplace` in its place instead; a picture that cannot be read leaves the placeholder. Nothing
// is selected afterwards. Never fails.
void ReplaceIt(RtfDocument& document, std::string_view strFind, std::string_view strReplace);

// Runs the steps in order as ReplaceIt would, with two differences: a value is never searched by
// a later step (a name "[LEVEL]" stays a name), and the whole fill is one pass over the document,
// so its time grows linearly with the template. Nothing is selected afterwards.
void FillData(RtfDocument& document, const std::vector<ReportValue>& steps);

// The formatting a replacement takes from the placeholder at [start, start + length).
RtfTextFormat RememberedFormat(const RtfDocument& document, std::size_t start, std::size_t length);

} // namespace keld
