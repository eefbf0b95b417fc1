// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the picture rule and the row-by-row PNG decoder, as a picture file named
// by a character file would reach them, and checks what must hold whatever the input: a picture the
// rule takes is within its bounds and converts to the size the rule read; a fitted result fits the
// room given, keeps the source's proportions within a pixel, and has exactly its pixels' bytes.
#include "common/ImageDecode.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    // The first two bytes choose the room, the rest is the file.
    const int maxWidth = 1 + data[0] % 64;
    const int maxHeight = 1 + data[1] % 64;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);

    if (auto checked = keld::CheckPicture(bytes)) {
        const long long pixels = static_cast<long long>(checked->Width) * checked->Height;
        if (checked->Width < 1 || checked->Height < 1 || checked->Width > keld::kMaxPictureSide ||
            checked->Height > keld::kMaxPictureSide || pixels > keld::kMaxPicturePixels)
            std::abort();
        // Whole decoding is kept to small pictures, so each run stays quick.
        const bool converts = checked->Format == keld::PictureFormat::Bmp ||
                              checked->Format == keld::PictureFormat::Dib ||
                              checked->Format == keld::PictureFormat::Gif;
        if (converts && pixels <= 1'000'000) {
            auto png = keld::ConvertToPng(bytes);
            if (png && (png->Width != checked->Width || png->Height != checked->Height ||
                        !keld::CheckPicture(png->Bytes)))
                std::abort();
        }
    }

    auto fitted = keld::DecodePngToFit(bytes, maxWidth, maxHeight, 4'000'000);
    if (!fitted)
        return 0;
    const keld::DecodedImage& image = fitted->Image;
    if (image.Width < 1 || image.Height < 1 || image.Width > maxWidth || image.Height > maxHeight ||
        image.Channels != 4 ||
        image.Pixels.size() != static_cast<std::size_t>(image.Width) * image.Height * 4)
        std::abort();
    if (image.Width > fitted->SourceWidth || image.Height > fitted->SourceHeight)
        std::abort();
    // Width over height as the source's, within the rounding of one pixel.
    const long long across = static_cast<long long>(image.Width) * fitted->SourceHeight;
    const long long down = static_cast<long long>(image.Height) * fitted->SourceWidth;
    if (std::abs(across - down) > std::max<long long>(fitted->SourceWidth, fitted->SourceHeight))
        std::abort();
    return 0;
}
