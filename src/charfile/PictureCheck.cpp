#include "charfile/PictureCheck.h"

#include "common/ImageDecode.h"
#include "common/TextFile.h"

namespace keld {

namespace {

// Larger pictures are refused rather than decoded, so a hostile file cannot take all memory.
constexpr long long kMaxPixels = 100'000'000;

} // namespace

Status CheckPictureFile(const std::filesystem::path& path)
{
    auto bytes = ReadPictureFileBytes(path);
    if (!bytes)
        return bytes.Error();
    auto image = DecodeImage(*bytes, kMaxPixels);
    if (!image) {
        KeldError error = image.Error();
        return error.At(PathToUtf8(path), 0);
    }
    return Success();
}

} // namespace keld
