// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/TextFile.h"

#include "common/Utf8.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <random>
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
        return kErrPermissionDenied;
    case ENOSPC:
        return kErrDiskFull;
    default:
        return kErrPathFileAccess;
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
    // Windows-1252 bytes that happen to form valid UTF-8 ("\xC3\xA9" written for "Ã©") would be
    // read back as UTF-8; such a text is written as UTF-8, which reads back as it was.
    if (EncodeWindows1252(utf8, bytes) && DecodeText(bytes) == utf8)
        return bytes;
    return utf8;
}

Result<std::string> ReadRegularFileBytes(const std::filesystem::path& path, std::uintmax_t maxBytes)
{
    // Refused before it is opened: opening some devices has effects of its own.
    struct stat before {};
    if (::stat(path.c_str(), &before) == 0 && !S_ISREG(before.st_mode))
        return FileError(kErrPathFileAccess, path,
                         S_ISDIR(before.st_mode) ? "is a folder, not a file" : "is not a regular file");
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        int err = errno;
        return FileError(NumberForErrno(err), path, std::string("cannot be opened: ") + std::strerror(err));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        int err = errno;
        return FileError(kErrPathFileAccess, path, std::string("cannot be read: ") + std::strerror(err));
    }
    if (S_ISDIR(info.st_mode))
        return FileError(kErrPathFileAccess, path, "is a folder, not a file");
    if (!S_ISREG(info.st_mode))
        return FileError(kErrPathFileAccess, path, "is not a regular file");
    const auto tooLarge = [&] {
        return FileError(kErrOutOfMemory, path, "is larger than " + std::to_string(maxBytes >> 20) + " MB");
    };
    if (static_cast<std::uintmax_t>(info.st_size) > maxBytes)
        return tooLarge();

    // The file may still grow while it is read; the limit holds for what is read.
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            int err = errno;
            return FileError(kErrDeviceIo, path, std::string("cannot be read: ") + std::strerror(err));
        }
        if (got == 0)
            break;
        if (bytes.size() + static_cast<std::size_t>(got) > maxBytes)
            return tooLarge();
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return bytes;
}

Result<std::vector<std::string>> ReadTextFileLines(const std::filesystem::path& path, LineEnds ends,
                                                   std::uintmax_t maxBytes)
{
    auto bytes = ReadRegularFileBytes(path, maxBytes);
    if (!bytes)
        return bytes.Error();
    return SplitLines(DecodeText(*bytes), ends);
}

namespace {

constexpr std::string_view kTempTag = ".keldtmp.";
constexpr std::size_t kTempRandomLength = 6;
// A temporary left this long is taken as stale even when its process id has been reused.
constexpr time_t kStaleAfterSeconds = 24 * 60 * 60;

// ".NAME.keldtmp." for a target NAME, cut so that the whole temporary name ("PID.XXXXXX" follows)
// still fits a file name. Every temporary of one target starts with it.
std::string TempPrefix(const std::filesystem::path& target)
{
    std::string name = target.filename().native();
    constexpr std::size_t kRoom = NAME_MAX - 1 - kTempTag.size() - 10 - 1 - kTempRandomLength;
    if (name.size() > kRoom) {
        std::size_t cut = kRoom;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    return "." + name + std::string(kTempTag);
}

// The owner's process id when `name` is PREFIX PID "." XXXXXX, else 0.
pid_t TempOwner(std::string_view name, std::string_view prefix)
{
    if (!name.starts_with(prefix))
        return 0;
    name.remove_prefix(prefix.size());
    std::size_t dot = name.find('.');
    if (dot == 0 || dot == std::string_view::npos || dot > 10 || name.size() - dot - 1 != kTempRandomLength)
        return 0;
    long long pid = 0;
    for (char c : name.substr(0, dot)) {
        if (c < '0' || c > '9')
            return 0;
        pid = pid * 10 + (c - '0');
    }
    for (char c : name.substr(dot + 1)) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            return 0;
    }
    return pid > 0 && pid <= std::numeric_limits<pid_t>::max() ? static_cast<pid_t>(pid) : 0;
}

// Removes the temporaries of this target that a killed save left: those whose process is gone,
// and old ones. A save that is running in another process keeps its file.
void RemoveStaleTemporaries(const std::filesystem::path& folder, const std::string& prefix)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    const int dirFd = ::dirfd(dir);
    const time_t now = ::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        pid_t owner = TempOwner(entry->d_name, prefix);
        if (owner == 0)
            continue;
        struct stat st {};
        if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        bool ownerGone = ::kill(owner, 0) != 0 && errno == ESRCH;
        if (ownerGone || now - st.st_mtime > kStaleAfterSeconds)
            ::unlinkat(dirFd, entry->d_name, 0);
    }
    ::closedir(dir);
}

std::string RandomLetters()
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 engine{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof(kAlphabet) - 2);
    std::string letters(kTempRandomLength, 'x');
    for (char& c : letters)
        c = kAlphabet[pick(engine)];
    return letters;
}

int WriteAll(int fd, std::string_view bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

// Gives the unnamed file `fd` the name `to`; errno on failure.
int LinkUnnamed(int fd, const std::string& to)
{
    if (::linkat(fd, "", AT_FDCWD, to.c_str(), AT_EMPTY_PATH) == 0)
        return 0;
    if (errno == EEXIST)
        return EEXIST;
    // Without the capability that AT_EMPTY_PATH asks for, the /proc link does the same.
    std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    return errno;
}

// The descriptor of one of the program's own streams when `path` names one: "-" for standard output,
// /dev/stdout, /dev/stderr, /dev/stdin, /dev/fd/N, /proc/self/fd/N and /proc/PID/fd/N of this process.
// Such a path is a link that leads elsewhere (a terminal, a pipe, the file standard output appends
// to); the stream is what the caller means, never the thing at the link's end.
std::optional<int> OwnStream(const std::filesystem::path& path)
{
    const std::string text = path.lexically_normal().native();
    if (text == "/dev/stdin")
        return 0;
    if (text == "/dev/stdout")
        return 1;
    if (text == "/dev/stderr")
        return 2;
    std::string_view rest = text;
    const std::string ownProc = "/proc/" + std::to_string(::getpid()) + "/fd/";
    for (std::string_view prefix : {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/"),
                                    std::string_view("/proc/thread-self/fd/"), std::string_view(ownProc)}) {
        if (!rest.starts_with(prefix))
            continue;
        rest.remove_prefix(prefix.size());
        if (rest.empty() || rest.size() > 9 || rest.find_first_not_of("0123456789") != std::string_view::npos)
            return std::nullopt;
        return std::stoi(std::string(rest));
    }
    return std::nullopt;
}

// Where a path leads once links are followed: the file itself (a dangling link names the file it
// would create), or one of the program's own streams when a link on the way is one.
struct Destination {
    std::filesystem::path path;
    std::optional<int> stream;
};

Destination ResolveLinks(const std::filesystem::path& requested)
{
    Destination to{requested, std::nullopt};
    if (requested == "-") {
        to.stream = 1;
        return to;
    }
    for (int depth = 0; depth < 40; ++depth) {
        if ((to.stream = OwnStream(to.path)))
            return to;
        std::error_code ec;
        if (!std::filesystem::is_symlink(to.path, ec))
            return to;
        std::filesystem::path next = std::filesystem::read_symlink(to.path, ec);
        if (ec)
            return to;
        to.path = next.is_absolute() ? next : to.path.parent_path() / next;
    }
    return to;
}

std::string StreamName(int fd)
{
    switch (fd) {
    case 0:
        return "standard input";
    case 1:
        return "standard output";
    case 2:
        return "standard error";
    default:
        return "file descriptor " + std::to_string(fd);
    }
}

Status WriteStream(int fd, const std::filesystem::path& requested, std::string_view bytes)
{
    const std::string name = requested == "-" ? StreamName(fd) : PathToUtf8(requested);
    if (int err = WriteAll(fd, bytes))
        return KeldError(NumberForErrno(err), std::string("cannot be written: ") + std::strerror(err), name);
    return Success();
}

struct SaveTarget {
    std::filesystem::path path; // the file itself, links resolved
    std::filesystem::path folder;
    std::string prefix; // of its temporaries
    bool exists = false;
    // of the existing file
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
};

// The existing file's owner, group and permissions for the file that replaces it; a user who may
// not give the file its owner still keeps the group where they belong to it. The owner comes first:
// changing it clears the set-id bits.
void KeepOwnerAndMode(int fd, const SaveTarget& target)
{
    if (!target.exists)
        return;
    // Where neither is allowed the file keeps the saver's owner and group.
    [[maybe_unused]] const bool kept =
        ::fchown(fd, target.owner, target.group) == 0 || ::fchown(fd, static_cast<uid_t>(-1), target.group) == 0;
    ::fchmod(fd, target.mode);
}

enum class UnnamedOutcome { Saved, Failed, Unsupported };

// The save through an unnamed file. Unsupported when the folder's filesystem has no unnamed files
// or they cannot be given a name; the caller then saves through a named temporary.
UnnamedOutcome SaveUnnamed(const SaveTarget& target, std::string_view bytes, Status& status)
{
    auto fail = [&](int err) {
        status = FileError(NumberForErrno(err), target.path,
                           std::string("cannot be written: ") + std::strerror(err));
        return UnnamedOutcome::Failed;
    };
    // The kernel applies the umask to 0666, as for any new file.
    int fd = ::open(target.folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0)
        return UnnamedOutcome::Unsupported;
    if (int err = WriteAll(fd, bytes)) {
        ::close(fd); // the unnamed file goes with its descriptor
        return fail(err);
    }
    KeepOwnerAndMode(fd, target);

    // A new target gets the file's first name directly: nothing to rename, nothing to leave.
    if (!target.exists) {
        int err = LinkUnnamed(fd, target.path.native());
        if (err == 0) {
            ::close(fd);
            return UnnamedOutcome::Saved;
        }
        if (err != EEXIST) {
            ::close(fd);
            return UnnamedOutcome::Unsupported;
        }
    }
    // An existing target cannot be replaced by a link, so the file gets a temporary name and is
    // renamed over it. Only a kill between these two calls leaves a name, which the next save removes.
    std::string temp;
    int err = EEXIST;
    for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
        temp =
            (target.folder / (target.prefix + std::to_string(::getpid()) + "." + RandomLetters())).native();
        err = LinkUnnamed(fd, temp);
    }
    ::close(fd);
    if (err != 0)
        return UnnamedOutcome::Unsupported;
    if (::rename(temp.c_str(), target.path.c_str()) != 0) {
        int renameErr = errno;
        ::unlink(temp.c_str());
        return fail(renameErr);
    }
    return UnnamedOutcome::Saved;
}

Status SaveNamed(const SaveTarget& target, std::string_view bytes)
{
    std::string pattern = (target.folder / (target.prefix + std::to_string(::getpid()) + ".XXXXXX")).native();
    std::vector<char> tmpl(pattern.begin(), pattern.end());
    tmpl.push_back('\0');
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        int err = errno;
        return FileError(NumberForErrno(err), target.path,
                         std::string("cannot be written: ") + std::strerror(err));
    }
    std::string tmpPath(tmpl.data());
    auto fail = [&](int err) -> Status {
        ::unlink(tmpPath.c_str());
        return FileError(NumberForErrno(err), target.path,
                         std::string("cannot be written: ") + std::strerror(err));
    };
    if (int err = WriteAll(fd, bytes)) {
        ::close(fd);
        return fail(err);
    }
    // mkstemp makes the file private; give it the existing file's permissions, or 0666 less umask.
    if (target.exists) {
        KeepOwnerAndMode(fd, target);
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    if (::close(fd) != 0)
        return fail(errno);
    if (::rename(tmpPath.c_str(), target.path.c_str()) != 0)
        return fail(errno);
    return Success();
}

// Copies the whole of `from` (read from its start) over `to`, which is truncated to fit; errno on failure.
int CopyFileData(int from, int to)
{
    if (::lseek(from, 0, SEEK_SET) < 0 || ::lseek(to, 0, SEEK_SET) < 0)
        return errno;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (got == 0)
            break;
        if (int err = WriteAll(to, std::string_view(buffer, static_cast<std::size_t>(got))))
            return err;
    }
    const off_t end = ::lseek(to, 0, SEEK_CUR);
    if (end < 0 || ::ftruncate(to, end) != 0)
        return errno;
    return 0;
}

// A file with several hard links is written in place, so that every name sees the new bytes. Its
// old bytes are first copied beside it and made durable; if the new ones cannot be written whole,
// the old ones are put back, and if even that fails the copy stays and the message names it.
Status SaveInPlace(const SaveTarget& target, std::string_view bytes)
{
    std::string name = target.path.filename().native();
    if (name.size() > NAME_MAX - 9)
        name.resize(NAME_MAX - 9);
    const std::filesystem::path backup = target.folder / ("." + name + ".keldbak");
    const std::string shownBackup = PathToUtf8(backup);
    auto fail = [&](int err, const std::string& what) -> Status {
        return FileError(NumberForErrno(err), target.path, what + std::strerror(err));
    };

    const int file = ::open(target.path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (file < 0)
        return fail(errno, "cannot be written: ");
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closeFile{file};
    // A copy left by a save that did not finish may be the only whole version: never overwritten.
    const int copy = ::open(backup.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (copy < 0) {
        if (errno == EEXIST)
            return FileError(kErrPathFileAccess, target.path,
                             "has more than one link and is written in place, but the copy that a save "
                             "of it keeps, " + shownBackup + ", is left from a save that did not finish; "
                             "move it away first");
        return fail(errno, "has more than one link, and no copy of it can be kept beside it: ");
    }
    Closer closeCopy{copy};
    if (int err = CopyFileData(file, copy); err != 0 || ::fsync(copy) != 0) {
        err = err ? err : errno;
        ::unlink(backup.c_str());
        return fail(err, "has more than one link, and no copy of it can be kept beside it: ");
    }

    int err = 0;
    if (::lseek(file, 0, SEEK_SET) < 0 || ::ftruncate(file, 0) != 0)
        err = errno;
    if (err == 0)
        err = WriteAll(file, bytes);
    if (err == 0 && ::fsync(file) != 0)
        err = errno;
    if (err == 0) {
        ::unlink(backup.c_str());
        return Success();
    }
    if (CopyFileData(copy, file) == 0 && ::fsync(file) == 0) {
        ::unlink(backup.c_str());
        return fail(err, "cannot be written: ");
    }
    return fail(err, "cannot be written, and its old bytes are kept in " + shownBackup + ": ");
}

} // namespace

Status AtomicWriteFile(const std::filesystem::path& requested, std::string_view bytes,
                       SaveTemporary temporary)
{
    // Write through a link to the file it names rather than replacing the link itself.
    const Destination destination = ResolveLinks(requested);
    if (destination.stream)
        return WriteStream(*destination.stream, requested, bytes);
    SaveTarget target;
    target.path = destination.path;

    struct stat st {};
    if (::stat(target.path.c_str(), &st) == 0) {
        // Only a regular file is replaced: a rename over a FIFO or a device would put a plain file
        // in its place (over /dev/null, for root).
        if (S_ISDIR(st.st_mode))
            return FileError(kErrPathFileAccess, requested, "is a folder, not a file");
        if (!S_ISREG(st.st_mode))
            return FileError(kErrPathFileAccess, requested,
                             "is not a regular file; only a regular file is replaced");
        target.exists = true;
        target.mode = st.st_mode & 07777;
        target.owner = st.st_uid;
        target.group = st.st_gid;
    }
    // A rename would replace a file the user may not write to; refuse, as opening it would.
    if (target.exists && ::access(target.path.c_str(), W_OK) != 0)
        return FileError(kErrPermissionDenied, requested, "is read-only");
    target.folder = target.path.parent_path();
    if (target.folder.empty())
        target.folder = ".";
    if (target.exists && st.st_nlink > 1)
        return SaveInPlace(target, bytes);
    target.prefix = TempPrefix(target.path);
    RemoveStaleTemporaries(target.folder, target.prefix);

    // No fsync: the rename already makes the replacement all-or-nothing for every reader, and
    // ext4 and btrfs write a renamed-over file's data before the rename. A sync per save would
    // cost milliseconds on a real disk.
    if (temporary == SaveTemporary::Unnamed) {
        Status status = Success();
        if (SaveUnnamed(target, bytes, status) != UnnamedOutcome::Unsupported)
            return status;
    }
    return SaveNamed(target, bytes);
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
