// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/FileName.h"

#include "common/Utf8.h"

#include <string>
#include <utility>
#include <vector>

namespace keld {

namespace {

bool IsControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// Blanks of every kind: ASCII white space and Unicode's space, line and paragraph separators.
bool IsBlank(char32_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

} // namespace

std::string OfferedFileNameUtf8(std::string_view name, std::string_view extension, std::string_view fallback)
{
    // Read only as far as a file name can use: a name of megabytes costs no more than a short one.
    std::string text;
    std::vector<std::pair<std::size_t, bool>> kept; // where each character starts, and if it may end a name
    for (std::size_t pos = 0; pos < name.size();) {
        char32_t c = 0;
        if (!NextUtf8(name, pos, c)) {
            c = 0xFFFD;
            ++pos;
        }
        if (IsControl(c) || std::u32string_view(U"/\\:*?\"<>|").find(c) != std::u32string_view::npos)
            c = U'_';
        const bool dotOrBlank = c == U'.' || IsBlank(c);
        // A leading dot hides the file.
        if (kept.empty() && dotOrBlank)
            continue;
        std::string next;
        AppendUtf8(next, c);
        // Room for the extension within the usual 255-byte limit of a file name; whole characters only.
        if (text.size() + next.size() > 200)
            break;
        kept.emplace_back(text.size(), !dotOrBlank);
        text += next;
    }
    // A trailing dot or blank is lost by some file systems.
    while (!kept.empty() && !kept.back().second) {
        text.resize(kept.back().first);
        kept.pop_back();
    }
    if (text.empty())
        text = fallback;
    if (!extension.empty())
        text += "." + std::string(extension);
    return text;
}

} // namespace keld
