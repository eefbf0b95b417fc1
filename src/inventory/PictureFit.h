// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace keld {

struct PictureSize {
    double Width = 0;
    double Height = 0;
};

inline constexpr double kPictureBoxTwips = 1575;

// Size at which a picture of the given natural size (twips) is shown so that it fits the square
// picture box with its aspect ratio kept. An image without area keeps the box's own size.
PictureSize FitPicture(double naturalWidth, double naturalHeight, double box = kPictureBoxTwips);

} // namespace keld
