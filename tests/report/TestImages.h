// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace keld::test {

// Small pictures made on the fly, so the tests need no image files.
std::string MakePng(int width, int height);
std::string MakeBmp(int width, int height);
std::string MakeJpeg(int width, int height);
std::string MakeGif(); // 1 x 1
std::string WriteTempFile(const std::string& name, const std::string& bytes);

} // namespace keld::test
