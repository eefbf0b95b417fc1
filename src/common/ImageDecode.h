#pragma once

#include "common/KeldError.h"

#include <cstdint>
#include <filesystem>
#include <string>

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

// A PNG decoded row by row straight to a size within `maxWidth` x `maxHeight` (in proportion, never
// enlarged), so its memory follows the result and not the picture: each result pixel is the mean of
// an even grid of the source pixels it covers, at least eight a side where there are that many.
// The result is RGBA, not premultiplied; the source size comes with it. Interlaced PNGs, other
// formats and damaged files are error 481 with the reason.
struct FittedImage {
    DecodedImage Image;
    int SourceWidth = 0;
    int SourceHeight = 0;
};
Result<FittedImage> DecodePngToFit(std::string_view bytes, int maxWidth, int maxHeight, long long maxPixels);

// A picture file larger than this is refused unread: the picture box is about an inch wide, and a
// stored path may name anything.
inline constexpr std::uintmax_t kMaxPictureFileBytes = 64ull << 20;

// The bytes of a picture file named by a path the user or a character file gave: a regular file of
// at most kMaxPictureFileBytes (see ReadRegularFileBytes).
Result<std::string> ReadPictureFileBytes(const std::filesystem::path& path);

} // namespace keld
