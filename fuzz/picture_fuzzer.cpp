// Feeds arbitrary bytes to the row-by-row PNG decoder, as a picture file named by a character
// file would reach it, and checks what must hold whatever the input: a result fits the room given,
// keeps the source's proportions within a pixel, and has exactly its pixels' bytes.
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
    auto fitted = keld::DecodePngToFit(bytes, maxWidth, maxHeight, 4'000'000);
    if (!fitted)
        return 0;
    const keld::DecodedImage& image = fitted->Image;
    if (image.Width < 1 || image.Height < 1 || image.Width > maxWidth || image.Height > maxHeight ||
        image.Channels != 4 || image.Pixels.size() != static_cast<std::size_t>(image.Width) * image.Height * 4)
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
