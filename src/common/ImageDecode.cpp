// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ImageDecode.h"

#include "common/TextFile.h"

#include <png.h>

#include <array>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

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

// Up to 256 colours, as every GIF and every BMP of 8 bits or fewer has: written as a palette, the
// PNG takes a byte a pixel rather than three or four, and a noisy picture no more than its file.
class Palette {
public:
    static std::uint32_t Key(const unsigned char* p, int channels)
    {
        return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
               (channels == 4 ? p[3] : 255u);
    }

    // False once there are more colours than a palette holds.
    bool Build(const unsigned char* pixels, std::size_t count, int channels)
    {
        m_slots.fill(-1);
        std::uint32_t last = 0;
        int lastIndex = -1;
        for (std::size_t k = 0; k < count; ++k, pixels += channels) {
            const std::uint32_t key = Key(pixels, channels);
            if (key == last && lastIndex >= 0)
                continue;
            std::size_t slot = Slot(key);
            if (m_slots[slot] < 0) {
                if (m_colours.size() == 256)
                    return false;
                m_slots[slot] = static_cast<std::int16_t>(m_colours.size());
                m_keys[slot] = key;
                m_colours.push_back(png_color{png_byte(key >> 24), png_byte(key >> 16), png_byte(key >> 8)});
                m_alphas.push_back(png_byte(key));
                m_translucent = m_translucent || png_byte(key) != 255;
            }
            last = key;
            lastIndex = m_slots[slot];
        }
        return true;
    }

    png_byte Index(std::uint32_t key) const { return static_cast<png_byte>(m_slots[Slot(key)]); }
    const std::vector<png_color>& Colours() const { return m_colours; }
    const std::vector<png_byte>& Alphas() const { return m_alphas; }
    bool Translucent() const { return m_translucent; }

private:
    // Open addressing in four times the room the colours need, so a probe is short.
    std::size_t Slot(std::uint32_t key) const
    {
        std::size_t slot = (key * 2654435761u) >> 22;
        while (m_slots[slot] >= 0 && m_keys[slot] != key)
            slot = (slot + 1) & 1023;
        return slot;
    }

    std::array<std::int16_t, 1024> m_slots{};
    std::array<std::uint32_t, 1024> m_keys{};
    std::vector<png_color> m_colours;
    std::vector<png_byte> m_alphas;
    bool m_translucent = false;
};

struct Rows {
    const unsigned char* pixels;
    int width, height, channels;
    const Palette* palette; // null: the samples as they are
    png_byte* indices;      // one row of palette indices
};

bool WriteRows(png_structp png, png_infop info, const Rows& rows)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    static constexpr int kTypes[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                     PNG_COLOR_TYPE_RGB_ALPHA};
    png_set_IHDR(png, info, static_cast<png_uint_32>(rows.width), static_cast<png_uint_32>(rows.height), 8,
                 rows.palette ? PNG_COLOR_TYPE_PALETTE : kTypes[rows.channels - 1], PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (rows.palette) {
        const Palette& palette = *rows.palette;
        png_set_PLTE(png, info, palette.Colours().data(), static_cast<int>(palette.Colours().size()));
        if (palette.Translucent())
            png_set_tRNS(png, info, palette.Alphas().data(), static_cast<int>(palette.Alphas().size()),
                         nullptr);
        // Filters do not help indices, and trying them all costs time.
        png_set_filter(png, 0, PNG_FILTER_NONE);
    }
    png_write_info(png, info);
    const std::size_t stride = static_cast<std::size_t>(rows.width) * static_cast<std::size_t>(rows.channels);
    for (int y = 0; y < rows.height; ++y) {
        const unsigned char* row = rows.pixels + stride * static_cast<std::size_t>(y);
        if (!rows.palette) {
            png_write_row(png, row);
            continue;
        }
        for (int x = 0; x < rows.width; ++x, row += rows.channels)
            rows.indices[x] = rows.palette->Index(Palette::Key(row, rows.channels));
        png_write_row(png, rows.indices);
    }
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
    Palette palette;
    const bool indexed =
        channels >= 3 && palette.Build(pixels.get(), static_cast<std::size_t>(width) * height, channels);
    std::vector<png_byte> indices(indexed ? static_cast<std::size_t>(width) : 0);
    const Rows rows{pixels.get(), width, height, channels, indexed ? &palette : nullptr, indices.data()};
    if (!WriteRows(writer, info, rows))
        return Invalid(std::string("cannot be converted: ") + sink.message);
    return png;
}

Result<std::string> ReadPictureFileBytes(const std::filesystem::path& path)
{
    return ReadRegularFileBytes(path, kMaxPictureFileBytes);
}

} // namespace keld
