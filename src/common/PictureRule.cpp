// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ImageDecode.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

// The one rule for what a picture may be. Each format is walked from its header to its end marker
// over the bytes alone: a header claiming a huge picture costs nothing, and a file cut short is
// told apart from a whole one without decoding a pixel.

namespace keld {

namespace {

using Bytes = const unsigned char*;

std::uint32_t Be32(Bytes p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

std::uint32_t Le32(Bytes p)
{
    return std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}

unsigned Le16(Bytes p)
{
    return unsigned(p[1]) << 8 | p[0];
}

unsigned Be16(Bytes p)
{
    return unsigned(p[0]) << 8 | p[1];
}

// The PNG chunk checksum (CRC-32 of ISO 3309), by table.
std::uint32_t Crc32(Bytes p, std::size_t length)
{
    static const auto kTable = [] {
        std::array<std::uint32_t, 256> table{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        return table;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t k = 0; k < length; ++k)
        c = kTable[(c ^ p[k]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// 40000000 as "40,000,000".
std::string Grouped(long long n)
{
    std::string digits = std::to_string(n);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}

KeldError Invalid(std::string reason)
{
    return KeldError(kErrInvalidPicture, std::move(reason));
}

KeldError EndsTooSoon()
{
    return Invalid("is cut short: the picture's data ends too soon");
}

Result<PictureInfo> Sized(PictureFormat format, long long width, long long height)
{
    if (width <= 0 || height <= 0)
        return Invalid("is a picture without pixels");
    if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels)
        return Invalid("is too large a picture: " + Grouped(width) + " x " + Grouped(height) +
                       " pixels, more than " + Grouped(kMaxPicturePixels) + " or " +
                       Grouped(kMaxPictureSide) + " a side");
    return PictureInfo{format, static_cast<int>(width), static_cast<int>(height)};
}

Result<PictureInfo> CheckPng(std::string_view b)
{
    auto* p = reinterpret_cast<Bytes>(b.data());
    if (b.size() < 33 || Be32(p + 8) != 13 || std::memcmp(p + 12, "IHDR", 4) != 0)
        return b.size() < 33 ? EndsTooSoon()
                             : Invalid("is a damaged PNG picture: it does not start with IHDR");
    auto size = Sized(PictureFormat::Png, Be32(p + 16), Be32(p + 20));
    if (!size)
        return size;
    bool data = false;
    std::size_t pos = 8;
    while (true) {
        if (b.size() - pos < 12)
            return EndsTooSoon();
        const std::uint32_t length = Be32(p + pos);
        if (length > 0x7FFFFFFFu)
            return Invalid("is a damaged PNG picture: a chunk is too long");
        if (b.size() - pos - 12 < length)
            return EndsTooSoon();
        Bytes type = p + pos + 4;
        // A damaged critical chunk is what the decoders refuse; a damaged ancillary one they skip.
        const bool critical = (type[0] & 0x20) == 0;
        if (critical && Crc32(type, std::size_t{length} + 4) != Be32(p + pos + 8 + length))
            return Invalid("is a damaged PNG picture: a chunk's checksum is wrong");
        if (std::memcmp(type, "IDAT", 4) == 0)
            data = true;
        if (std::memcmp(type, "IEND", 4) == 0) {
            if (!data)
                return Invalid("is a damaged PNG picture: it has no pixel data");
            return size;
        }
        pos += 12 + length;
    }
}

bool IsBmpHeaderSize(std::uint32_t size)
{
    return size == 12 || size == 40 || size == 56 || size == 108 || size == 124;
}

// Where the pixels of a DIB (a BMP without its file header) start: after its header, its colour
// table and, for bit fields in a short header, the three masks.
std::uint64_t DibPixelOffset(Bytes p, std::size_t size)
{
    const std::uint32_t header = Le32(p);
    if (header == 12) {
        const unsigned bits = size >= 12 ? Le16(p + 10) : 0;
        return header + (bits <= 8 ? 3ull << bits : 0);
    }
    if (size < 36)
        return header;
    const unsigned bits = Le16(p + 14);
    const std::uint32_t compression = Le32(p + 16);
    const std::uint64_t used = Le32(p + 32);
    std::uint64_t colours = used ? std::min<std::uint64_t>(used, 1ull << 24) : (bits <= 8 ? 1ull << bits : 0);
    std::uint64_t offset = header + 4 * colours;
    if (header == 40 && compression == 3)
        offset += 12;
    return offset;
}

// BMPs, uncompressed or with bit fields, with their file header or without (a DIB): the pixel rows
// must all be there.
Result<PictureInfo> CheckBmp(std::string_view b, bool dib)
{
    auto* p = reinterpret_cast<Bytes>(b.data());
    const std::size_t at = dib ? 0 : 14; // the info header
    if (b.size() < at + 16)
        return EndsTooSoon();
    const std::uint32_t header = Le32(p + at);
    if (!IsBmpHeaderSize(header))
        return Invalid("is a BMP picture of a kind that is not read");
    if (b.size() < at + header)
        return EndsTooSoon();
    long long width = 0, height = 0;
    unsigned bits = 0;
    std::uint32_t compression = 0;
    if (header == 12) {
        width = Le16(p + at + 4);
        height = Le16(p + at + 6);
        bits = Le16(p + at + 10);
    } else {
        width = static_cast<std::int32_t>(Le32(p + at + 4));
        height = static_cast<std::int32_t>(Le32(p + at + 8));
        bits = Le16(p + at + 14);
        compression = Le32(p + at + 16);
    }
    // A negative height is a picture stored top row first.
    if (height < 0)
        height = -height;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return Invalid("is a BMP picture of " + std::to_string(bits) + " bits a pixel, which is not read");
    if (compression == 1 || compression == 2)
        return Invalid("is an RLE-compressed BMP picture, which is not read");
    if (compression != 0 && !(compression == 3 && (bits == 16 || bits == 32)))
        return Invalid("is a BMP picture of a kind that is not read");
    auto size = Sized(dib ? PictureFormat::Dib : PictureFormat::Bmp, width, height);
    if (!size)
        return size;
    const std::uint64_t rowBytes = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
    const std::uint64_t offset = dib ? DibPixelOffset(p, b.size()) : Le32(p + 10);
    if (offset < at + header)
        return Invalid("is a damaged BMP picture: its pixels start inside its header");
    if (offset > b.size() || rowBytes * static_cast<std::uint64_t>(height) > b.size() - offset)
        return EndsTooSoon();
    return size;
}

// Sub-blocks of a GIF: a length byte each, ended by a zero length.
bool SkipSubBlocks(std::string_view b, std::size_t& pos)
{
    while (pos < b.size()) {
        const auto length = static_cast<unsigned char>(b[pos]);
        ++pos;
        if (length == 0)
            return true;
        if (b.size() - pos < length)
            return false;
        pos += length;
    }
    return false;
}

Result<PictureInfo> CheckGif(std::string_view b)
{
    auto* p = reinterpret_cast<Bytes>(b.data());
    if (b.size() < 13)
        return EndsTooSoon();
    auto size = Sized(PictureFormat::Gif, Le16(p + 6), Le16(p + 8));
    if (!size)
        return size;
    std::size_t pos = 13;
    if (p[10] & 0x80)
        pos += 3u << ((p[10] & 7) + 1);
    bool image = false;
    while (pos < b.size()) {
        switch (p[pos]) {
        case 0x21: // an extension: its label, then its sub-blocks
            pos += 2;
            if (pos > b.size() || !SkipSubBlocks(b, pos))
                return EndsTooSoon();
            break;
        case 0x2C: { // an image: its descriptor, its own colours, the code size, then its data
            if (b.size() - pos < 11)
                return EndsTooSoon();
            const unsigned flags = p[pos + 9];
            pos += 10;
            if (flags & 0x80)
                pos += 3u << ((flags & 7) + 1);
            if (pos >= b.size())
                return EndsTooSoon();
            if (p[pos] < 1 || p[pos] > 11)
                return Invalid("is a damaged GIF picture: its code size is wrong");
            ++pos;
            if (!SkipSubBlocks(b, pos))
                return EndsTooSoon();
            image = true;
            break;
        }
        case 0x3B:
            if (!image)
                return Invalid("is a damaged GIF picture: it has no image");
            return size;
        default:
            return Invalid("is a damaged GIF picture: an unknown block");
        }
    }
    return EndsTooSoon();
}

// JPEG: the segments up to the frame header give the size; each scan's coded data runs to the next
// marker; the picture ends at its end-of-image marker.
Result<PictureInfo> CheckJpeg(std::string_view b)
{
    auto* p = reinterpret_cast<Bytes>(b.data());
    const std::size_t n = b.size();
    std::optional<Result<PictureInfo>> size;
    bool scanned = false;
    std::size_t pos = 2;
    while (true) {
        // Fill bytes may stand before a marker.
        while (pos < n && p[pos] == 0xFF && pos + 1 < n && p[pos + 1] == 0xFF)
            ++pos;
        if (n - pos < 2)
            return EndsTooSoon();
        if (p[pos] != 0xFF)
            return Invalid("is a damaged JPEG picture: a marker is missing");
        const unsigned marker = p[pos + 1];
        pos += 2;
        if (marker == 0xD9) {
            if (!size || !scanned)
                return Invalid("is a damaged JPEG picture: it has no image");
            return *size;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;
        if (n - pos < 2)
            return EndsTooSoon();
        const std::size_t length = Be16(p + pos);
        if (length < 2)
            return Invalid("is a damaged JPEG picture: a segment has no length");
        if (n - pos < length)
            return EndsTooSoon();
        Bytes segment = p + pos + 2;
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (marker > 0xC2)
                return Invalid(
                    "is a lossless, hierarchical or arithmetic-coded JPEG picture, which is not read");
            if (length < 8)
                return Invalid("is a damaged JPEG picture: its frame header is short");
            if (segment[0] != 8)
                return Invalid("is a JPEG picture of " + std::to_string(segment[0]) +
                               "-bit samples, which is not read");
            if (!size)
                size = Sized(PictureFormat::Jpeg, Be16(segment + 3), Be16(segment + 1));
            if (!*size)
                return *size;
        }
        pos += length;
        if (marker != 0xDA)
            continue;
        if (!size)
            return Invalid("is a damaged JPEG picture: a scan comes before the frame header");
        scanned = true;
        // The coded data: a 0xFF in it is followed by a zero byte or a restart marker.
        while (true) {
            const void* found = std::memchr(p + pos, 0xFF, n - pos);
            if (!found)
                return EndsTooSoon();
            pos = static_cast<std::size_t>(static_cast<Bytes>(found) - p);
            if (pos + 1 >= n)
                return EndsTooSoon();
            const unsigned next = p[pos + 1];
            if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
                pos += 2;
                continue;
            }
            if (next == 0xFF) {
                ++pos;
                continue;
            }
            break;
        }
    }
}

} // namespace

Result<PictureInfo> CheckPicture(std::string_view bytes)
{
    if (bytes.size() > kMaxPictureFileBytes)
        return Invalid("is too large a picture file (more than 64 MB)");
    auto* p = reinterpret_cast<Bytes>(bytes.data());
    if (bytes.size() >= 8 && std::memcmp(p, "\x89PNG\r\n\x1a\n", 8) == 0)
        return CheckPng(bytes);
    if (bytes.size() >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF)
        return CheckJpeg(bytes);
    if (bytes.size() >= 6 && (std::memcmp(p, "GIF87a", 6) == 0 || std::memcmp(p, "GIF89a", 6) == 0))
        return CheckGif(bytes);
    if (bytes.size() >= 2 && p[0] == 'B' && p[1] == 'M')
        return CheckBmp(bytes, false);
    if (bytes.size() >= 4 && IsBmpHeaderSize(Le32(p)))
        return CheckBmp(bytes, true);
    return Invalid("is not a BMP, GIF, JPEG or PNG picture");
}

std::string BmpFileFromDib(std::string_view dib)
{
    auto* p = reinterpret_cast<Bytes>(dib.data());
    const std::uint64_t offset = 14 + (dib.size() >= 4 ? DibPixelOffset(p, dib.size()) : 0);
    const std::uint64_t size = 14 + dib.size();
    std::string bmp = "BM";
    for (std::uint64_t v : {size, std::uint64_t{0}, offset})
        for (int k = 0; k < 4; ++k)
            bmp.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
    bmp += dib;
    return bmp;
}

} // namespace keld
