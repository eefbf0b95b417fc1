// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ImageDecode.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

namespace keld {
namespace {

constexpr long long kCap = 64'000'000;

// A PNG of the given colour type and bit depth from rows of raw samples, optionally interlaced,
// with a palette and its transparency when given.
std::string MakePng(int width, int height, int colorType, int bitDepth, const std::vector<std::vector<png_byte>>& rows,
                    bool interlaced = false, std::vector<png_color> palette = {}, std::vector<png_byte> alpha = {})
{
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t length) {
            static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<const char*>(data), length);
        },
        nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), bitDepth, colorType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty())
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!alpha.empty())
        png_set_tRNS(png, info, alpha.data(), static_cast<int>(alpha.size()), nullptr);
    std::vector<png_bytep> pointers;
    for (const auto& row : rows)
        pointers.push_back(const_cast<png_bytep>(row.data()));
    png_set_rows(png, info, pointers.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// An RGB picture whose pixel (x, y) is `colour(x, y)`.
template <typename Colour>
std::string RgbPng(int width, int height, Colour colour, bool interlaced = false)
{
    std::vector<std::vector<png_byte>> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = colour(x, y);
            rows[y].insert(rows[y].end(), {png_byte(c >> 16), png_byte(c >> 8), png_byte(c)});
        }
    }
    return MakePng(width, height, PNG_COLOR_TYPE_RGB, 8, rows, interlaced);
}

std::uint32_t Pixel(const DecodedImage& image, int x, int y)
{
    const unsigned char* p = &image.Pixels[(static_cast<std::size_t>(y) * image.Width + x) * 4];
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

TEST(DecodePngToFit, ShrinksInProportionToTheMeanOfWhatEachPixelCovers)
{
    // Red on the left, blue on the right, and one-pixel black and white stripes below, which a
    // sampler caught on one phase would turn all black or all white.
    const std::string png = RgbPng(3200, 1600, [](int x, int y) -> std::uint32_t {
        if (y >= 800)
            return x % 2 ? 0xFFFFFF : 0x000000;
        return x < 1600 ? 0xFF0000 : 0x0000FF;
    });
    auto fitted = DecodePngToFit(png, 100, 100, kCap);
    ASSERT_TRUE(fitted.Ok()) << fitted.Error().Detail();
    const DecodedImage& image = fitted->Image;
    EXPECT_EQ(fitted->SourceWidth, 3200);
    EXPECT_EQ(fitted->SourceHeight, 1600);
    ASSERT_EQ(image.Width, 100);
    ASSERT_EQ(image.Height, 50);
    ASSERT_EQ(image.Channels, 4);
    EXPECT_EQ(Pixel(image, 10, 10), 0xFF0000FFu);
    EXPECT_EQ(Pixel(image, 90, 10), 0x0000FFFFu);
    for (int x : {0, 33, 99}) {
        const int grey = static_cast<int>(Pixel(image, x, 40) >> 24);
        EXPECT_NEAR(grey, 128, 40) << "column " << x;
    }
}

TEST(DecodePngToFit, ReadsEverySampleFormatAsRgbaAndNeverEnlarges)
{
    // A palette with one transparent entry.
    const std::string palette =
        MakePng(2, 1, PNG_COLOR_TYPE_PALETTE, 8, {{0, 1}}, false, {{255, 0, 0}, {0, 0, 255}}, {0});
    // Sixteen-bit grey, whose high bytes are kept.
    const std::string grey16 = MakePng(2, 1, PNG_COLOR_TYPE_GRAY, 16, {{0x12, 0x00, 0xEE, 0xFF}});
    // Grey with alpha, and one-bit grey.
    const std::string greyAlpha = MakePng(2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {{0x40, 0x80, 0xC0, 0xFF}});
    const std::string bits = MakePng(2, 1, PNG_COLOR_TYPE_GRAY, 1, {{0x40}});
    const std::string rgba = MakePng(2, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, {{1, 2, 3, 4, 5, 6, 7, 8}});
    const struct {
        const std::string& png;
        std::uint32_t left, right;
    } cases[] = {
        {palette, 0x00000000u, 0x0000FFFFu}, {grey16, 0x121212FFu, 0xEEEEEEFFu},
        {greyAlpha, 0x40404080u, 0xC0C0C0FFu}, {bits, 0x000000FFu, 0xFFFFFFFFu},
        {rgba, 0x01020304u, 0x05060708u},
    };
    for (const auto& c : cases) {
        auto fitted = DecodePngToFit(c.png, 500, 500, kCap);
        ASSERT_TRUE(fitted.Ok()) << fitted.Error().Detail();
        ASSERT_EQ(fitted->Image.Width, 2);
        ASSERT_EQ(fitted->Image.Height, 1);
        EXPECT_EQ(Pixel(fitted->Image, 0, 0), c.left);
        EXPECT_EQ(Pixel(fitted->Image, 1, 0), c.right);
    }
}

TEST(DecodePngToFit, RefusesWhatItCannotReadWithoutCrashing)
{
    const std::string good = RgbPng(64, 64, [](int x, int y) -> std::uint32_t { return std::uint32_t(x * 4 + y); });
    ASSERT_TRUE(DecodePngToFit(good, 16, 16, kCap).Ok());
    // Left to the general reader, which reads them whole.
    EXPECT_FALSE(DecodePngToFit(RgbPng(64, 64, [](int, int) { return 0u; }, true), 16, 16, kCap).Ok());
    EXPECT_FALSE(DecodePngToFit("GIF89a", 16, 16, kCap).Ok());
    // Past the pixel cap, refused from the header before anything is decoded.
    auto large = DecodePngToFit(good, 16, 16, 64 * 63);
    ASSERT_FALSE(large.Ok());
    EXPECT_NE(large.Error().Detail().find("too large"), std::string::npos);
    // Cut short before its last pixels, or damaged in its data: an error, never a crash or a hang.
    // (The checksums and the end chunk after the pixels are not needed to show them.)
    for (std::size_t length = 0; length + 24 < good.size(); length += 7)
        EXPECT_FALSE(DecodePngToFit(good.substr(0, length), 16, 16, kCap).Ok()) << length;
    std::string damaged = good;
    for (std::size_t k = 60; k < damaged.size() - 20; k += 11)
        damaged[k] = static_cast<char>(damaged[k] ^ 0x5A);
    EXPECT_FALSE(DecodePngToFit(damaged, 16, 16, kCap).Ok());
}

} // namespace
} // namespace keld
