// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/KeldError.h"

#include <string>
#include <string_view>

namespace keld {

// A picture ready to stand in an RTF document, sized to fit a square of 2880 twips.
struct RtfPicture {
    std::string group; // {\pict ...}, balanced
    int widthPixels = 0;
    int heightPixels = 0;
    int widthTwips = 0;
    int heightTwips = 0;
};

// PNG and JPEG go in as they are; BMP (with or without its file header) and GIF are converted to
// PNG. What the program's picture rule refuses (CheckPicture) is error 481 (invalid picture).
Result<RtfPicture> MakeRtfPicture(std::string_view imageBytes);

} // namespace keld
