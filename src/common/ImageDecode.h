#pragma once

#include "common/KeldError.h"

#include <string_view>
#include <vector>

namespace keld {

// A picture decoded to 8-bit samples, `Channels` per pixel, rows top to bottom.
struct DecodedImage {
    int Width = 0;
    int Height = 0;
    int Channels = 0;
    std::vector<unsigned char> Pixels;
};

// The size of a BMP, GIF, JPEG or PNG picture, read from its header alone.
bool ImageSize(std::string_view bytes, int& width, int& height, int& channels);

// Decodes a BMP, GIF, JPEG or PNG picture. A picture of more than `maxPixels` is refused before
// decoding, so a hostile file cannot take all memory. Errors are 481 with the reason.
Result<DecodedImage> DecodeImage(std::string_view bytes, long long maxPixels);

} // namespace keld
