#include "TextFile.h"

#include "Utf8.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace keld {

namespace {

// Windows-1252 bytes 0x80..0x9F; the five undefined ones map to the C1 control of the same
// value so that they survive a round trip.
constexpr std::array<char32_t, 32> kHighTable = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

KeldError FileError(int number, const std::filesystem::path& path, const std::string& what)
{
    return KeldError(number, what, PathToUtf8(path));
}

int NumberForErrno(int err)
{
    switch (err) {
    case ENOENT:
        return kErrFileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return 70;
    case ENOSPC:
        return 61;
    default:
        return 75;
    }
}

} // namespace

std::vector<std::string> SplitLines(std::string_view text, LineEnds ends)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\r') {
            lines.emplace_back(text.substr(start, i - start));
            i += (i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else if (c == '\n' && ends == LineEnds::CrLfOrCrOrLf) {
            lines.emplace_back(text.substr(start, i - start));
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < text.size())
        lines.emplace_back(text.substr(start));
    return lines;
}

std::string DecodeText(std::string_view bytes)
{
    bool ascii = true;
    bool validUtf8 = true;
    for (std::size_t pos = 0; pos < bytes.size();) {
        if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
            ++pos;
            continue;
        }
        ascii = false;
        char32_t c;
        if (!NextUtf8(bytes, pos, c)) {
            validUtf8 = false;
            break;
        }
    }
    if (ascii || validUtf8)
        return std::string(bytes);

    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (char ch : bytes) {
        auto b = static_cast<unsigned char>(ch);
        if (b < 0x80)
            out += ch;
        else if (b < 0xA0)
            AppendUtf8(out, kHighTable[b - 0x80]);
        else
            AppendUtf8(out, b);
    }
    return out;
}

bool EncodeWindows1252(std::string_view utf8, std::string& out)
{
    out.clear();
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t c;
        if (!NextUtf8(utf8, pos, c))
            return false;
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out += static_cast<char>(c);
            continue;
        }
        bool found = false;
        for (std::size_t i = 0; i < kHighTable.size(); ++i) {
            if (kHighTable[i] == c) {
                out += static_cast<char>(0x80 + i);
                found = true;
                break;
            }
        }
        if (!found)
            return false;
    }
    return true;
}

std::string EncodeTextLines(const std::vector<std::string>& lines)
{
    std::string utf8;
    for (const auto& line : lines) {
        utf8 += line;
        utf8 += "\r\n";
    }
    std::string bytes;
    if (EncodeWindows1252(utf8, bytes))
        return bytes;
    return utf8;
}

Result<std::string> ReadFileBytes(const std::filesystem::path& path)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return FileError(75, path, "is a folder, not a file");
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        int err = errno;
        return FileError(NumberForErrno(err), path, std::string("cannot be opened: ") + std::strerror(err));
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad())
        return FileError(57, path, "cannot be read");
    return buffer.str();
}

Result<std::vector<std::string>> ReadTextFileLines(const std::filesystem::path& path, LineEnds ends)
{
    auto bytes = ReadFileBytes(path);
    if (!bytes)
        return bytes.Error();
    return SplitLines(DecodeText(*bytes), ends);
}

Status AtomicWriteFile(const std::filesystem::path& requested, std::string_view bytes)
{
    // Write through a link to the file it names rather than replacing the link itself.
    std::error_code ec;
    std::filesystem::path path = requested;
    if (std::filesystem::is_symlink(requested, ec))
        path = std::filesystem::weakly_canonical(requested, ec);
    if (ec)
        path = requested;
    // A rename would replace a file the user may not write to; refuse, as opening it would.
    if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0)
        return FileError(70, requested, "is read-only");

    std::filesystem::path folder = path.parent_path();
    if (folder.empty())
        folder = ".";
    std::string pattern = PathToUtf8(folder / ("." + PathToUtf8(path.filename()) + ".XXXXXX"));
    std::vector<char> tmpl(pattern.begin(), pattern.end());
    tmpl.push_back('\0');
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        int err = errno;
        return FileError(NumberForErrno(err), path, std::string("cannot be written: ") + std::strerror(err));
    }
    std::string tmpPath(tmpl.data());
    auto fail = [&](int err) -> Status {
        ::close(fd);
        ::unlink(tmpPath.c_str());
        return FileError(NumberForErrno(err), path, std::string("cannot be written: ") + std::strerror(err));
    };
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    // No fsync: the rename already makes the replacement all-or-nothing for every reader, and
    // ext4 and btrfs write a renamed-over file's data before the rename. A sync per save would
    // cost milliseconds on a real disk.
    // Keep the permissions an existing file had; a new file gets the usual 0666 less umask.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        ::fchmod(fd, st.st_mode & 07777);
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(tmpPath.c_str());
        return FileError(NumberForErrno(err), path, std::string("cannot be written: ") + std::strerror(err));
    }
    if (::rename(tmpPath.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(tmpPath.c_str());
        return FileError(NumberForErrno(err), path, std::string("cannot be written: ") + std::strerror(err));
    }
    return Success();
}

Status WriteTextFileLines(const std::filesystem::path& path, const std::vector<std::string>& lines)
{
    return AtomicWriteFile(path, EncodeTextLines(lines));
}

std::filesystem::path PathFromUtf8(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string PathToUtf8(const std::filesystem::path& path)
{
    auto u8 = path.u8string();
    return std::string(u8.begin(), u8.end());
}

} // namespace keld
