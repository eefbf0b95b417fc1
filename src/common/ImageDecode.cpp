#include "common/ImageDecode.h"

#include "common/TextFile.h"

#include <limits>
#include <string>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_GIF
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace keld {

namespace {

bool Fits(std::string_view bytes)
{
    return bytes.size() <= static_cast<std::size_t>(std::numeric_limits<int>::max());
}

const stbi_uc* Data(std::string_view bytes)
{
    return reinterpret_cast<const stbi_uc*>(bytes.data());
}

} // namespace

bool ImageSize(std::string_view bytes, int& width, int& height, int& channels)
{
    return Fits(bytes) &&
           stbi_info_from_memory(Data(bytes), static_cast<int>(bytes.size()), &width, &height, &channels);
}

Result<DecodedImage> DecodeImage(std::string_view bytes, long long maxPixels)
{
    DecodedImage image;
    if (!ImageSize(bytes, image.Width, image.Height, image.Channels))
        return KeldError(kErrInvalidPicture, "is not a BMP, GIF, JPEG or PNG picture");
    if (image.Width <= 0 || image.Height <= 0 ||
        static_cast<long long>(image.Width) * image.Height > maxPixels)
        return KeldError(kErrInvalidPicture, "is too large a picture");
    stbi_uc* pixels = stbi_load_from_memory(Data(bytes), static_cast<int>(bytes.size()), &image.Width,
                                            &image.Height, &image.Channels, 0);
    if (!pixels)
        return KeldError(kErrInvalidPicture,
                         std::string("cannot be read as a picture: ") + stbi_failure_reason());
    image.Pixels.assign(pixels,
                        pixels + static_cast<std::size_t>(image.Width) * image.Height * image.Channels);
    stbi_image_free(pixels);
    return image;
}

Result<std::string> ReadPictureFileBytes(const std::filesystem::path& path)
{
    return ReadRegularFileBytes(path, kMaxPictureFileBytes);
}

} // namespace keld
