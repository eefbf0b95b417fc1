// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ImageDecode.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

namespace keld {
namespace {

// A grey PNG of zero samples, written row by row so a huge one costs one row of memory.
std::string GreyPng(int width, int height, int bitDepth = 8)
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
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), bitDepth,
                 PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(png_get_rowbytes(png, info));
    for (int y = 0; y < height; ++y)
        png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

void Put(std::string& s, std::uint32_t v, int bytes)
{
    for (int k = 0; k < bytes; ++k)
        s += static_cast<char>((v >> (8 * k)) & 0xFF);
}

// A BMP with a 40-byte header; `pixelBytes` of pixel data follow it (all of them when -1).
std::string Bmp(int width, int height, int bits = 24, std::uint32_t compression = 0,
                long long pixelBytes = -1)
{
    const std::uint32_t palette = bits <= 8 ? 4u << bits : 0;
    const std::uint32_t offset = 14 + 40 + palette;
    const long long rows =
        (static_cast<long long>(width) * bits + 31) / 32 * 4 * (height < 0 ? -height : height);
    std::string s = "BM";
    Put(s, static_cast<std::uint32_t>(offset + rows), 4);
    Put(s, 0, 4);
    Put(s, offset, 4);
    Put(s, 40, 4);
    Put(s, static_cast<std::uint32_t>(width), 4);
    Put(s, static_cast<std::uint32_t>(height), 4);
    Put(s, 1, 2);
    Put(s, static_cast<std::uint32_t>(bits), 2);
    Put(s, compression, 4);
    s.append(20, '\0');
    s.append(palette, '\0');
    s.append(static_cast<std::size_t>(pixelBytes < 0 ? rows : pixelBytes), '\x7f');
    return s;
}

// A 1 x 1 GIF (a graphic control extension and one image).
std::string Gif()
{
    static const unsigned char gif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80,
                                        0x00, 0x00, 0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x21, 0xf9, 0x04,
                                        0x00, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x01,
                                        0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3b};
    return std::string(reinterpret_cast<const char*>(gif), sizeof gif);
}

// The segments of a JPEG as its structure goes: start, an APP0, a frame header of the given kind
// and sample depth, a scan whose data holds a stuffed 0xFF and a restart marker, the end.
std::string Jpeg(int width, int height, unsigned char frame = 0xC0, unsigned char depth = 8)
{
    std::string s = "\xFF\xD8";
    s += std::string("\xFF\xE0\x00\x10JFIF\0\x01\x01\x00\x00\x01\x00\x01\x00\x00", 18);
    s += "\xFF";
    s += static_cast<char>(frame);
    s += std::string("\x00\x0B", 2);
    s += static_cast<char>(depth);
    s += static_cast<char>(height >> 8);
    s += static_cast<char>(height & 0xFF);
    s += static_cast<char>(width >> 8);
    s += static_cast<char>(width & 0xFF);
    s += std::string("\x01\x01\x11\x00", 4);
    s += std::string("\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00", 10);
    s += std::string("\x12\x34\xFF\x00\x56\xFF\xD0\x78", 8);
    s += "\xFF\xD9";
    return s;
}

TEST(CheckPicture, ReadsEachFormatsSizeAndWalksItToItsEnd)
{
    const std::string bmp = Bmp(30, -20);
    const struct {
        const char* name;
        std::string bytes;
        PictureFormat format;
        int width, height;
    } cases[] = {
        {"png", GreyPng(40, 30), PictureFormat::Png, 40, 30},
        {"one-bit png", GreyPng(7, 3, 1), PictureFormat::Png, 7, 3},
        {"bmp stored top row first", bmp, PictureFormat::Bmp, 30, 20},
        {"dib", bmp.substr(14), PictureFormat::Dib, 30, 20},
        {"palette bmp", Bmp(9, 9, 4), PictureFormat::Bmp, 9, 9},
        {"gif", Gif(), PictureFormat::Gif, 1, 1},
        {"jpeg", Jpeg(640, 480), PictureFormat::Jpeg, 640, 480},
        {"progressive jpeg", Jpeg(5, 6, 0xC2), PictureFormat::Jpeg, 5, 6},
        // Bytes after the end marker, as some cameras write, are not the picture's business.
        {"jpeg with a trailer", Jpeg(8, 8) + "trailer", PictureFormat::Jpeg, 8, 8},
    };
    for (const auto& c : cases) {
        auto checked = CheckPicture(c.bytes);
        ASSERT_TRUE(checked.Ok()) << c.name << ": " << checked.Error().Detail();
        EXPECT_EQ(checked->Format, c.format) << c.name;
        EXPECT_EQ(checked->Width, c.width) << c.name;
        EXPECT_EQ(checked->Height, c.height) << c.name;
        // Cut anywhere short of its end, each is refused (as is every byte of it damaged in turn
        // where the format checks it) and nothing crashes.
        const std::size_t end = c.bytes.size() - (c.bytes.ends_with("trailer") ? 7 : 0);
        for (std::size_t length = 0; length < end; length += 1 + length / 16) {
            auto cut = CheckPicture(std::string_view(c.bytes).substr(0, length));
            ASSERT_FALSE(cut.Ok()) << c.name << " cut at " << length;
            EXPECT_EQ(cut.Error().Number(), kErrInvalidPicture);
        }
    }
    std::string damaged = GreyPng(40, 30);
    damaged[damaged.size() - 20] ^= 0x10;
    EXPECT_NE(CheckPicture(damaged).Error().Detail().find("checksum"), std::string::npos);
}

TEST(CheckPicture, RefusesFromTheHeaderWhatIsTooLargeOrOfAKindNotEveryReaderTakes)
{
    // A 1 KB BMP whose header claims 10000 x 10000 pixels, and one within bounds whose pixels are
    // missing: neither is decoded, and neither is taken.
    const std::string claimsHuge = Bmp(10000, 10000, 24, 0, 1024 - 54);
    const std::string cutShort = Bmp(4000, 4000, 24, 0, 1024 - 54);
    ASSERT_EQ(claimsHuge.size(), 1024u);
    std::string png = GreyPng(10, 10);
    png[16] = png[20] = 0x00, png[17] = png[21] = 0x01; // 65546 x 65546 in IHDR
    const struct {
        const char* name;
        std::string bytes;
        const char* reason;
    } cases[] = {
        {"10000 x 10000 bmp header", claimsHuge, "too large a picture: 10,000 x 10,000 pixels"},
        {"bmp without its pixels", cutShort, "cut short"},
        {"png claiming 65546 a side", png, "too large"},
        {"wider than a side may be", Bmp(20000, 1, 1), "too large"},
        {"jpeg past the pixel bound", Jpeg(8001, 8000), "too large"},
        {"rle bmp", Bmp(8, 8, 8, 1), "RLE"},
        {"12-bit jpeg", Jpeg(8, 8, 0xC0, 12), "12-bit"},
        {"arithmetic-coded jpeg", Jpeg(8, 8, 0xC9), "arithmetic"},
        {"no pixels", Bmp(0, 5), "without pixels"},
        {"text", "not a picture at all", "not a BMP, GIF, JPEG or PNG"},
        {"gif without an image", Gif().substr(0, 27) + ";", "no image"},
    };
    for (const auto& c : cases) {
        auto checked = CheckPicture(c.bytes);
        ASSERT_FALSE(checked.Ok()) << c.name;
        EXPECT_EQ(checked.Error().Number(), kErrInvalidPicture) << c.name;
        EXPECT_NE(checked.Error().Detail().find(c.reason), std::string::npos)
            << c.name << ": " << checked.Error().Detail();
    }
    // The largest picture the rule takes is still taken.
    EXPECT_TRUE(CheckPicture(Jpeg(8000, 8000)).Ok());
}

TEST(ConvertToPng, GivesAPngOfTheSameSizeThatTheRuleTakes)
{
    const std::string bmp = Bmp(30, -20, 8);
    for (const std::string& bytes : {bmp, bmp.substr(14), Gif()}) {
        auto png = ConvertToPng(bytes);
        ASSERT_TRUE(png.Ok()) << png.Error().Detail();
        auto checked = CheckPicture(png->Bytes);
        ASSERT_TRUE(checked.Ok()) << checked.Error().Detail();
        EXPECT_EQ(checked->Format, PictureFormat::Png);
        EXPECT_EQ(checked->Width, png->Width);
        EXPECT_EQ(checked->Height, png->Height);
    }
    EXPECT_EQ(ConvertToPng(Bmp(8, 8, 24, 0, 10)).Error().Number(), kErrInvalidPicture);
    EXPECT_FALSE(ConvertToPng(GreyPng(4, 4)).Ok());
}

} // namespace
} // namespace keld
