// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/RtfPicture.h"

#include "common/ImageDecode.h"
#include "common/Units.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace keld {

namespace {

constexpr int kFitTwips = 2880;

std::uint32_t Be32(const unsigned char* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

std::uint32_t Le32(const unsigned char* p)
{
    return std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
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

} // namespace

Result<RtfPicture> MakeRtfPicture(std::string_view bytes)
{
    // The program's one rule for pictures, so a report takes what the inventory window shows.
    auto checked = CheckPicture(bytes);
    if (!checked)
        return Invalid("the picture " + checked.Error().Detail());
    Info info;
    info.width = checked->Width;
    info.height = checked->Height;
    std::string converted;
    const char* blip = "pngblip";
    std::string_view data = bytes;
    if (checked->Format == PictureFormat::Png) {
        // A PNG can be whole in its structure and still not inflate; embedded, it would show
        // nothing where the placeholder promised a picture or kept its place. Read through once
        // (an interlaced one is left to the readers that take it whole).
        constexpr std::size_t kInterlaceAt = 28;
        if (bytes.size() > kInterlaceAt && bytes[kInterlaceAt] == 0) {
            auto decoded = DecodePngToFit(bytes, 1, 1, kMaxPicturePixels);
            if (!decoded)
                return Invalid("the picture " + decoded.Error().Detail());
        }
        PngInfo(bytes, info);
    } else if (checked->Format == PictureFormat::Jpeg) {
        JpegInfo(bytes, info);
        blip = "jpegblip";
    } else {
        if (checked->Format == PictureFormat::Bmp)
            BmpDpi(bytes, info);
        else if (checked->Format == PictureFormat::Dib)
            BmpDpi(BmpFileFromDib(bytes.substr(0, std::min<std::size_t>(bytes.size(), 64))), info);
        auto png = ConvertToPng(bytes);
        if (!png)
            return Invalid("the picture " + png.Error().Detail());
        converted = std::move(png->Bytes);
        data = converted;
    }

    RtfPicture picture;
    picture.widthPixels = info.width;
    picture.heightPixels = info.height;
    double tw = static_cast<double>(info.width) * kTwipsPerInch / info.dpiX,
           th = static_cast<double>(info.height) * kTwipsPerInch / info.dpiY;
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
