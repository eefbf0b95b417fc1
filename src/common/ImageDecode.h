// SPDX-License-Identifier: GPL-3.0-or-later
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

// What the program takes as a picture, wherever one comes from: the inventory window, a loaded
// character's check, a report's embedded picture and the PDF all ask CheckPicture. A picture is a
// BMP (or DIB), GIF, JPEG or PNG told by its contents, in a file of at most kMaxPictureFileBytes,
// of at most kMaxPicturePixels and kMaxPictureSide a side, and whole: its data runs to the end its
// format marks. The pixel bound is what the costliest use holds within 500 MB: a BMP or GIF in a
// report is decoded in full to become a PNG (measured: 363 MB and 1.5 s of CPU for a GIF of 64
// million pixels).
inline constexpr std::uintmax_t kMaxPictureFileBytes = 64ull << 20;
inline constexpr long long kMaxPicturePixels = 64'000'000;
inline constexpr int kMaxPictureSide = 16384;

// A DIB is a BMP without its 14-byte file header, as a clipboard or an RTF document holds one.
enum class PictureFormat { Bmp, Dib, Gif, Jpeg, Png };

struct PictureInfo {
    PictureFormat Format = PictureFormat::Png;
    int Width = 0;
    int Height = 0;
};

// Checks picture bytes against that rule from their structure: the size comes from the header and
// the data is walked to its end marker without being decoded, so the cost is one pass over the
// bytes whatever size the picture claims. RLE-compressed BMPs and JPEGs other than 8-bit baseline
// or progressive are refused: not every decoder of the program reads them.
// Errors are 481 with the reason.
Result<PictureInfo> CheckPicture(std::string_view bytes);

// A DIB with the file header in front that says where its pixels start, for readers of BMP files.
std::string BmpFileFromDib(std::string_view dib);

// A BMP, DIB or GIF as a PNG, decoded once and written row by row, for a document that takes PNG;
// with its palette where it has at most 256 colours, so the PNG is at most a byte a pixel. What
// CheckPicture refuses is refused.
struct ConvertedPng {
    std::string Bytes;
    int Width = 0;
    int Height = 0;
};
Result<ConvertedPng> ConvertToPng(std::string_view bytes);

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

// The bytes of a picture file named by a path the user or a character file gave: a regular file of
// at most kMaxPictureFileBytes (see ReadRegularFileBytes).
Result<std::string> ReadPictureFileBytes(const std::filesystem::path& path);

} // namespace keld
