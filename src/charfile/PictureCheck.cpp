// SPDX-License-Identifier: GPL-3.0-or-later
#include "charfile/PictureCheck.h"

#include "common/ImageDecode.h"
#include "common/TextFile.h"

namespace keld {

Status CheckPictureFile(const std::filesystem::path& path)
{
    auto bytes = ReadPictureFileBytes(path);
    if (!bytes)
        return bytes.Error();
    // The program's one rule, read from the picture's structure: a huge picture is not decoded to
    // find it too large, and a file cut short is told from a whole one.
    auto picture = CheckPicture(*bytes);
    if (!picture) {
        KeldError error = picture.Error();
        return error.At(PathToUtf8(path), 0);
    }
    return Success();
}

} // namespace keld
