// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestImages.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#include <stb/stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace keld::test {

namespace {

void Append(void* context, void* data, int size)
{
    static_cast<std::string*>(context)->append(static_cast<const char*>(data),
                                               static_cast<std::size_t>(size));
}

std::vector<unsigned char> Pixels(int width, int height)
{
    std::vector<unsigned char> p(static_cast<std::size_t>(width) * height * 3);
    for (std::size_t k = 0; k < p.size(); ++k)
        p[k] = static_cast<unsigned char>(k * 37);
    return p;
}

} // namespace

std::string MakePng(int width, int height)
{
    std::string out;
    auto p = Pixels(width, height);
    stbi_write_png_to_func(Append, &out, width, height, 3, p.data(), width * 3);
    return out;
}

std::string MakeBmp(int width, int height)
{
    std::string out;
    auto p = Pixels(width, height);
    stbi_write_bmp_to_func(Append, &out, width, height, 3, p.data());
    return out;
}

std::string MakeJpeg(int width, int height)
{
    std::string out;
    auto p = Pixels(width, height);
    stbi_write_jpg_to_func(Append, &out, width, height, 3, p.data(), 90);
    return out;
}

std::string MakeGif()
{
    static const unsigned char gif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80,
                                        0x00, 0x00, 0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x21, 0xf9, 0x04,
                                        0x00, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x01,
                                        0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3b};
    return std::string(reinterpret_cast<const char*>(gif), sizeof gif);
}

std::string WriteTempFile(const std::string& name, const std::string& bytes)
{
    // One folder per process, as ctest may run several test programs at once; gone when it ends.
    static const struct Folder {
        std::filesystem::path dir =
            std::filesystem::temp_directory_path() / ("keld_report_test_" + std::to_string(getpid()));
        Folder() { std::filesystem::create_directories(dir); }
        ~Folder()
        {
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        }
    } folder;
    auto path = folder.dir / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

} // namespace keld::test
