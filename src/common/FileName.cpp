#include "common/FileName.h"

#include "common/Utf8.h"

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
    std::vector<char32_t> base;
    for (std::size_t pos = 0; pos < name.size();) {
        char32_t c = 0;
        if (!NextUtf8(name, pos, c)) {
            c = 0xFFFD;
            ++pos;
        }
        const bool unfit =
            IsControl(c) || std::u32string_view(U"/\\:*?\"<>|").find(c) != std::u32string_view::npos;
        base.push_back(unfit ? U'_' : c);
    }
    // A leading dot hides the file, a trailing dot or blank is lost by some file systems.
    std::size_t first = 0;
    std::size_t last = base.size();
    while (first < last && (base[first] == U'.' || IsBlank(base[first])))
        ++first;
    while (last > first && (base[last - 1] == U'.' || IsBlank(base[last - 1])))
        --last;
    std::string text;
    for (std::size_t i = first; i < last; ++i) {
        std::string next;
        AppendUtf8(next, base[i]);
        // Room for the extension within the usual 255-byte limit of a file name; whole
        // characters only.
        if (text.size() + next.size() > 200)
            break;
        text += next;
    }
    if (text.empty())
        text = fallback;
    if (!extension.empty())
        text += "." + std::string(extension);
    return text;
}

} // namespace keld
