// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ImageDecode.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// PNG through libpng, one row at a time. libpng reports errors by longjmp, so everything that
// runs between the setjmp and the end of reading is plain data owned outside that frame.

namespace keld {

namespace {

struct Source {
    const unsigned char* data;
    std::size_t size;
    std::size_t at;
};

void ReadBytes(png_structp png, png_bytep out, png_size_t length)
{
    auto* source = static_cast<Source*>(png_get_io_ptr(png));
    if (length > source->size - source->at)
        png_error(png, "the file ends too soon");
    std::memcpy(out, source->data + source->at, length);
    source->at += length;
}

struct Failure {
    char message[200];
};

[[noreturn]] void OnError(png_structp png, png_const_charp message)
{
    auto* failure = static_cast<Failure*>(png_get_error_ptr(png));
    std::snprintf(failure->message, sizeof failure->message, "%s", message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// The sums of one result row: premultiplied colour, alpha and the count of samples, per pixel.
struct Sums {
    std::vector<std::uint64_t> values; // r, g, b, a, count
    void Clear() { std::fill(values.begin(), values.end(), 0); }
};

struct Plan {
    int sourceWidth = 0, sourceHeight = 0;
    int width = 0, height = 0;
    int stepX = 1, stepY = 1;
    int channels = 0;
    std::vector<int> sampled;     // the source columns sampled
    std::vector<int> columnOf;    // the result column of each
    std::vector<png_byte> row;    // one decoded source row
    Sums sums;
    std::vector<unsigned char>* pixels = nullptr;
};

// Whether source row or column `i` is sampled: one in each run of `step`, at an offset that moves
// from run to run, so a pattern as fine as the step is not caught always on the same phase.
bool Sampled(int i, int step)
{
    return i % step == (i / step) % step;
}

void AddRow(Plan& plan)
{
    const png_byte* row = plan.row.data();
    std::uint64_t* sums = plan.sums.values.data();
    const int channels = plan.channels;
    for (std::size_t k = 0; k < plan.sampled.size(); ++k) {
        const png_byte* p = row + static_cast<std::size_t>(plan.sampled[k]) * static_cast<std::size_t>(channels);
        unsigned r, g, b, a = 255;
        switch (channels) {
        case 1:
            r = g = b = p[0];
            break;
        case 2:
            r = g = b = p[0];
            a = p[1];
            break;
        case 3:
            r = p[0], g = p[1], b = p[2];
            break;
        default:
            r = p[0], g = p[1], b = p[2], a = p[3];
            break;
        }
        std::uint64_t* s = sums + 5 * static_cast<std::size_t>(plan.columnOf[k]);
        s[0] += r * a;
        s[1] += g * a;
        s[2] += b * a;
        s[3] += a;
        s[4] += 1;
    }
}

void EmitRow(Plan& plan, int resultRow)
{
    unsigned char* out = plan.pixels->data() + static_cast<std::size_t>(resultRow) * plan.width * 4;
    const std::uint64_t* s = plan.sums.values.data();
    for (int x = 0; x < plan.width; ++x, s += 5, out += 4) {
        if (s[4] == 0)
            continue;
        const std::uint64_t alpha = s[3];
        out[3] = static_cast<unsigned char>((alpha + s[4] / 2) / s[4]);
        for (int c = 0; c < 3; ++c)
            out[c] = alpha ? static_cast<unsigned char>((s[c] + alpha / 2) / alpha) : 0;
    }
    plan.sums.Clear();
}

// Reads the rows after the header; false with the failure's message set on a libpng error.
bool ReadRows(png_structp png, Plan* plan)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    int current = 0;
    for (int y = 0; y < plan->sourceHeight; ++y) {
        png_read_row(png, plan->row.data(), nullptr);
        if (!Sampled(y, plan->stepY))
            continue;
        const int resultRow = static_cast<int>(static_cast<std::int64_t>(y) * plan->height / plan->sourceHeight);
        if (resultRow != current) {
            EmitRow(*plan, current);
            current = resultRow;
        }
        AddRow(*plan);
    }
    EmitRow(*plan, current);
    return true;
}

// Reads the header and sets up the transformations; false with the failure's message set.
bool ReadHeader(png_structp png, png_infop info, int& width, int& height, int& interlace)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_info(png, info);
    width = static_cast<int>(png_get_image_width(png, info));
    height = static_cast<int>(png_get_image_height(png, info));
    interlace = png_get_interlace_type(png, info);
    // Palettes, small bit depths and transparent colours become plain 8-bit samples.
    png_set_expand(png);
    png_set_strip_16(png);
    png_read_update_info(png, info);
    return true;
}

} // namespace

Result<FittedImage> DecodePngToFit(std::string_view bytes, int maxWidth, int maxHeight, long long maxPixels)
{
    if (bytes.size() < 8 || png_sig_cmp(reinterpret_cast<png_const_bytep>(bytes.data()), 0, 8) != 0)
        return KeldError(kErrInvalidPicture, "is not a PNG picture");
    if (maxWidth <= 0 || maxHeight <= 0)
        return KeldError(kErrInvalidPicture, "has no room to be shown");
    Failure failure{};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &failure, OnError, OnWarning);
    if (!png)
        return KeldError(kErrInvalidPicture, "cannot be read: out of memory");
    png_infop info = png_create_info_struct(png);
    struct Guard {
        png_structp& png;
        png_infop& info;
        ~Guard() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
    } guard{png, info};
    if (!info)
        return KeldError(kErrInvalidPicture, "cannot be read: out of memory");

    Source source{reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), 0};
    png_set_read_fn(png, &source, ReadBytes);
    // The file's own checksum of the pixel data costs a fifth of the time; damage still shows as
    // a broken stream or a bad chunk checksum.
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);

    int width = 0, height = 0, interlace = 0;
    if (!ReadHeader(png, info, width, height, interlace))
        return KeldError(kErrInvalidPicture, std::string("cannot be read as a picture: ") + failure.message);
    if (width <= 0 || height <= 0 || static_cast<long long>(width) * height > maxPixels)
        return KeldError(kErrInvalidPicture, "is too large a picture");
    if (interlace != PNG_INTERLACE_NONE)
        return KeldError(kErrInvalidPicture, "is an interlaced PNG, which is read whole");
    const int channels = png_get_channels(png, info);
    if (channels < 1 || channels > 4 || png_get_bit_depth(png, info) != 8)
        return KeldError(kErrInvalidPicture, "has a sample format that is read whole");

    Plan plan;
    plan.sourceWidth = width;
    plan.sourceHeight = height;
    plan.channels = channels;
    // In proportion, as a scaled size is reckoned elsewhere in the program.
    if (width <= maxWidth && height <= maxHeight) {
        plan.width = width;
        plan.height = height;
    } else if (static_cast<std::int64_t>(maxHeight) * width / height <= maxWidth) {
        plan.width = static_cast<int>(static_cast<std::int64_t>(maxHeight) * width / height);
        plan.height = maxHeight;
    } else {
        plan.width = maxWidth;
        plan.height = static_cast<int>(static_cast<std::int64_t>(maxWidth) * height / width);
    }
    plan.width = std::max(plan.width, 1);
    plan.height = std::max(plan.height, 1);
    // Eight samples a side for each result pixel give a smooth mean without touching them all.
    plan.stepX = std::max(1, width / (plan.width * 8));
    plan.stepY = std::max(1, height / (plan.height * 8));
    for (int x = 0; x < width; ++x) {
        if (Sampled(x, plan.stepX)) {
            plan.sampled.push_back(x);
            plan.columnOf.push_back(static_cast<int>(static_cast<std::int64_t>(x) * plan.width / width));
        }
    }
    plan.row.resize(png_get_rowbytes(png, info));
    plan.sums.values.assign(static_cast<std::size_t>(plan.width) * 5, 0);

    FittedImage fitted;
    fitted.SourceWidth = width;
    fitted.SourceHeight = height;
    fitted.Image.Width = plan.width;
    fitted.Image.Height = plan.height;
    fitted.Image.Channels = 4;
    fitted.Image.Pixels.assign(static_cast<std::size_t>(plan.width) * plan.height * 4, 0);
    plan.pixels = &fitted.Image.Pixels;
    if (!ReadRows(png, &plan))
        return KeldError(kErrInvalidPicture, std::string("cannot be read as a picture: ") + failure.message);
    return fitted;
}

} // namespace keld
