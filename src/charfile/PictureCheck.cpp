#include "PictureCheck.h"

#include "TextFile.h"

#include <limits>

// The report library builds stb_image too; static keeps the two copies apart.
#define STB_IMAGE_STATIC
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

constexpr int kErrInvalidPicture = 481;

// Larger pictures are refused rather than decoded, so a hostile file cannot take all memory.
constexpr long long kMaxPixels = 100'000'000;

} // namespace

Status CheckPictureFile(const std::filesystem::path& path)
{
    auto bytes = ReadFileBytes(path);
    if (!bytes)
        return bytes.Error();
    if (bytes->size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return KeldError(kErrInvalidPicture, "is too large to be a picture", PathToUtf8(path));
    const auto* data = reinterpret_cast<const stbi_uc*>(bytes->data());
    int length = static_cast<int>(bytes->size());
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(data, length, &width, &height, &channels))
        return KeldError(kErrInvalidPicture, "is not a BMP, GIF, JPEG or PNG picture", PathToUtf8(path));
    if (static_cast<long long>(width) * height > kMaxPixels)
        return KeldError(kErrInvalidPicture, "is too large a picture", PathToUtf8(path));
    stbi_uc* pixels = stbi_load_from_memory(data, length, &width, &height, &channels, 0);
    if (!pixels)
        return KeldError(kErrInvalidPicture,
                         std::string("cannot be loaded as a picture: ") + stbi_failure_reason(),
                         PathToUtf8(path));
    stbi_image_free(pixels);
    return Success();
}

} // namespace keld
