// SPDX-License-Identifier: GPL-3.0-or-later
#include "inventory/PictureFit.h"

#include "common/NumericValue.h"

namespace keld {

PictureSize FitPicture(double naturalWidth, double naturalHeight, double box)
{
    const double width = RoundHalfEven(naturalWidth);
    const double height = RoundHalfEven(naturalHeight);
    // A zero or negative side would divide by zero; such an image keeps the box as it is.
    if (!(width > 0) || !(height > 0))
        return {box, box};
    if (width > height)
        return {box, height / (width / box)};
    return {width / (height / box), box};
}

} // namespace keld
