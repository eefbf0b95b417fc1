#include "report/RtfPicture.h"

#include "common/ImageDecode.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#endif
#include <stb/stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace keld {

namespace {

constexpr int kFitTwips = 2880;
// Bounds against hostile files: a picture's bytes are written twice over as hex, and a converted
// one is decoded in full first.
constexpr std::size_t kMaxPictureBytes = 64u << 20;
constexpr long long kMaxDecodedPixels = 40'000'000;

std::uint32_t Be32(const unsigned char* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

std::uint32_t Le32(const unsigned char* p)
{
    return std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}

std::uint16_t Le16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[1] << 8 | p[0]);
}

KeldError Invalid(std::string detail)
{
    return KeldError(kErrInvalidPicture, std::move(detail));
}

struct Info {
    int width = 0;
    int height = 0;
    double dpiX = 96;
    double dpiY = 96;
};

bool PngInfo(std::string_view b, Info& info)
{
    auto* p = reinterpret_cast<const unsigned char*>(b.data());
    if (b.size() < 24 || std::memcmp(p, "\x89PNG\r\n\x1a\n", 8) != 0 || std::memcmp(p + 12, "IHDR", 4) != 0)
        return false;
    info.width = static_cast<int>(std::min<std::uint32_t>(Be32(p + 16), 1u << 30));
    info.height = static_cast<int>(std::min<std::uint32_t>(Be32(p + 20), 1u << 30));
    std::size_t pos = 8;
    while (pos + 8 <= b.size()) {
        std::uint32_t length = Be32(p + pos);
        if (std::memcmp(p + pos + 4, "IDAT", 4) == 0 || length > b.size() - pos - 8)
            break;
        if (std::memcmp(p + pos + 4, "pHYs", 4) == 0 && length >= 9 && p[pos + 16] == 1) {
            double x = Be32(p + pos + 8) * 0.0254, y = Be32(p + pos + 12) * 0.0254;
            if (x >= 1 && y >= 1) {
                info.dpiX = x;
                info.dpiY = y;
            }
        }
        if (length > b.size() - pos - 12)
            break;
        pos += 12 + length;
    }
    return info.width > 0 && info.height > 0;
}

bool JpegInfo(std::string_view b, Info& info)
{
    auto* p = reinterpret_cast<const unsigned char*>(b.data());
    if (b.size() < 4 || p[0] != 0xFF || p[1] != 0xD8)
        return false;
    std::size_t pos = 2;
    while (pos + 4 <= b.size()) {
        if (p[pos] != 0xFF) {
            ++pos;
            continue;
        }
        unsigned char marker = p[pos + 1];
        if (marker == 0xFF) {
            ++pos;
            continue;
        }
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            pos += 2;
            continue;
        }
        std::size_t length = std::size_t(p[pos + 2]) << 8 | p[pos + 3];
        if (length < 2 || pos + 2 + length > b.size())
            return false;
        const unsigned char* seg = p + pos + 4;
        if (marker == 0xE0 && length >= 14 && std::memcmp(seg, "JFIF\0", 5) == 0) {
            int units = seg[7];
            double x = seg[8] << 8 | seg[9], y = seg[10] << 8 | seg[11];
            if (units == 2) {
                x *= 2.54;
                y *= 2.54;
            }
            if (units != 0 && x >= 1 && y >= 1) {
                info.dpiX = x;
                info.dpiY = y;
            }
        }
        bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (sof && length >= 7) {
            info.height = seg[1] << 8 | seg[2];
            info.width = seg[3] << 8 | seg[4];
            return info.width > 0 && info.height > 0;
        }
        if (marker == 0xDA || marker == 0xD9)
            return false;
        pos += 2 + length;
    }
    return false;
}

// A DIB is a BMP without its 14-byte file header; stb reads BMP, so the header is put back.
bool DibToBmp(std::string_view b, std::string& bmp)
{
    auto* p = reinterpret_cast<const unsigned char*>(b.data());
    if (b.size() < 16)
        return false;
    std::uint32_t headerSize = Le32(p);
    if (headerSize != 12 && headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 &&
        headerSize != 124)
        return false;
    if (b.size() < headerSize)
        return false;
    std::uint64_t palette = 0;
    if (headerSize == 12) {
        int bits = Le16(p + 10);
        if (bits <= 8)
            palette = 3ull << bits;
    } else {
        int bits = Le16(p + 14);
        std::uint32_t compression = Le32(p + 16);
        std::uint32_t used = Le32(p + 32);
        palette = 4ull * (used ? used : (bits <= 8 ? 1u << bits : 0u));
        if (headerSize == 40 && (compression == 3 || compression == 6))
            palette += compression == 3 ? 12 : 16;
    }
    std::uint64_t offset = 14 + headerSize + palette;
    if (offset > b.size() + 14)
        return false;
    bmp.assign("BM");
    auto put32 = [&bmp](std::uint32_t v) {
        for (int k = 0; k < 4; ++k)
            bmp += static_cast<char>((v >> (8 * k)) & 0xFF);
    };
    put32(static_cast<std::uint32_t>(b.size() + 14));
    put32(0);
    put32(static_cast<std::uint32_t>(offset));
    bmp.append(b);
    return true;
}

void BmpDpi(std::string_view bmp, Info& info)
{
    auto* p = reinterpret_cast<const unsigned char*>(bmp.data());
    if (bmp.size() >= 14 + 40 && Le32(p + 14) >= 40) {
        double x = static_cast<std::int32_t>(Le32(p + 38)) * 0.0254;
        double y = static_cast<std::int32_t>(Le32(p + 42)) * 0.0254;
        if (x >= 1 && y >= 1) {
            info.dpiX = x;
            info.dpiY = y;
        }
    }
}

void AppendPng(void* context, void* data, int size)
{
    static_cast<std::string*>(context)->append(static_cast<const char*>(data),
                                               static_cast<std::size_t>(size));
}

Result<std::string> ConvertToPng(std::string_view bytes, Info& info)
{
    auto image = DecodeImage(bytes, kMaxDecodedPixels);
    if (!image)
        return Invalid("the picture cannot be read: " + image.Error().Detail());
    std::string png;
    int ok = stbi_write_png_to_func(AppendPng, &png, image->Width, image->Height, image->Channels,
                                    image->Pixels.data(), image->Width * image->Channels);
    if (!ok)
        return Invalid("the picture cannot be converted");
    info.width = image->Width;
    info.height = image->Height;
    return png;
}

} // namespace

Result<RtfPicture> MakeRtfPicture(std::string_view bytes)
{
    if (bytes.size() > kMaxPictureBytes)
        return Invalid("the picture is too large");
    Info info;
    std::string converted;
    const char* blip = "pngblip";
    std::string_view data = bytes;
    if (PngInfo(bytes, info)) {
        int w = 0, h = 0, c = 0;
        if (!ImageSize(bytes, w, h, c))
            return Invalid("the PNG picture cannot be read");
    } else if (JpegInfo(bytes, info)) {
        blip = "jpegblip";
    } else {
        std::string bmp;
        bool isBmp = bytes.size() >= 2 && bytes.substr(0, 2) == "BM";
        bool isGif = bytes.size() >= 6 && (bytes.substr(0, 6) == "GIF87a" || bytes.substr(0, 6) == "GIF89a");
        std::string_view source = bytes;
        if (!isBmp && !isGif) {
            if (!DibToBmp(bytes, bmp))
                return Invalid("the file is not a BMP, DIB, GIF, JPEG or PNG picture");
            source = bmp;
            isBmp = true;
        }
        if (isBmp)
            BmpDpi(source, info);
        auto png = ConvertToPng(source, info);
        if (!png)
            return png.Error();
        converted = std::move(*png);
        data = converted;
    }

    RtfPicture picture;
    picture.widthPixels = info.width;
    picture.heightPixels = info.height;
    double tw = info.width * 1440.0 / info.dpiX, th = info.height * 1440.0 / info.dpiY;
    double scale = kFitTwips / std::max(tw, th);
    picture.widthTwips = std::max(1, static_cast<int>(std::lround(tw * scale)));
    picture.heightTwips = std::max(1, static_cast<int>(std::lround(th * scale)));

    std::string& g = picture.group;
    g.reserve(data.size() * 2 + data.size() / 64 + 128);
    g += "{\\pict\\";
    g += blip;
    g += "\\picw" + std::to_string(picture.widthPixels) + "\\pich" + std::to_string(picture.heightPixels);
    g += "\\picwgoal" + std::to_string(picture.widthTwips) + "\\pichgoal" +
         std::to_string(picture.heightTwips);
    g += "\r\n";
    static constexpr char kHex[] = "0123456789abcdef";
    for (std::size_t k = 0; k < data.size(); ++k) {
        auto byte = static_cast<unsigned char>(data[k]);
        g += kHex[byte >> 4];
        g += kHex[byte & 15];
        if (k % 64 == 63)
            g += "\r\n";
    }
    g += "}";
    return picture;
}

} // namespace keld
