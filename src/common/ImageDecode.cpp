#include "common/ImageDecode.h"

#include "common/TextFile.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_GIF
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

// libpng reports errors by longjmp, so what runs between the setjmp and the end of writing is plain
// data owned outside that frame.
struct Sink {
    std::string* out;
    char message[200];
};

void WriteBytes(png_structp png, png_bytep data, png_size_t length)
{
    auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
    bool full = false;
    try {
        sink->out->append(reinterpret_cast<const char*>(data), length);
    } catch (const std::bad_alloc&) {
        full = true;
    }
    if (full)
        png_error(png, "out of memory");
}

void Flush(png_structp) {}

[[noreturn]] void OnError(png_structp png, png_const_charp message)
{
    auto* sink = static_cast<Sink*>(png_get_error_ptr(png));
    std::snprintf(sink->message, sizeof sink->message, "%s", message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

bool WriteRows(png_structp png, png_infop info, const unsigned char* pixels, int width, int height,
               int channels)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    static constexpr int kTypes[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                     PNG_COLOR_TYPE_RGB_ALPHA};
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 kTypes[channels - 1], PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const std::size_t stride = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
    for (int y = 0; y < height; ++y)
        png_write_row(png, pixels + stride * static_cast<std::size_t>(y));
    png_write_end(png, info);
    return true;
}

KeldError Invalid(std::string reason)
{
    return KeldError(kErrInvalidPicture, std::move(reason));
}

} // namespace

Result<ConvertedPng> ConvertToPng(std::string_view bytes)
{
    auto checked = CheckPicture(bytes);
    if (!checked)
        return checked.Error();
    std::string bmp;
    if (checked->Format == PictureFormat::Dib) {
        bmp = BmpFileFromDib(bytes);
        bytes = bmp;
    } else if (checked->Format != PictureFormat::Bmp && checked->Format != PictureFormat::Gif) {
        return Invalid("is not a BMP or GIF picture");
    }
    int width = 0, height = 0, channels = 0;
    // The picture passed the rule, so its size fits an int and its pixels the bound.
    std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
        stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()), static_cast<int>(bytes.size()),
                              &width, &height, &channels, 0),
        stbi_image_free);
    if (!pixels)
        return Invalid(std::string("cannot be read as a picture: ") + stbi_failure_reason());
    if (channels < 1 || channels > 4)
        return Invalid("has a sample format that cannot be converted");

    ConvertedPng png;
    png.Width = width;
    png.Height = height;
    Sink sink{&png.Bytes, {}};
    png_structp writer = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, OnError, OnWarning);
    if (!writer)
        return Invalid("cannot be converted: out of memory");
    png_infop info = png_create_info_struct(writer);
    struct Guard {
        png_structp& png;
        png_infop& info;
        ~Guard() { png_destroy_write_struct(&png, info ? &info : nullptr); }
    } guard{writer, info};
    if (!info)
        return Invalid("cannot be converted: out of memory");
    png_set_write_fn(writer, &sink, WriteBytes, Flush);
    if (!WriteRows(writer, info, pixels.get(), width, height, channels))
        return Invalid(std::string("cannot be converted: ") + sink.message);
    return png;
}

Result<std::string> ReadPictureFileBytes(const std::filesystem::path& path)
{
    return ReadRegularFileBytes(path, kMaxPictureFileBytes);
}

} // namespace keld
