// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/KeldError.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace keld {

enum class LineEnds {
    CrLfOrCr,     // character files: a lone LF stays part of the line
    CrLfOrCrOrLf, // rules data files: a lone LF ends a line too
};

// Splits text into lines. A final line without a line end counts; an empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text, LineEnds ends);

// File bytes to UTF-8: valid UTF-8 holding non-ASCII bytes is taken as UTF-8, anything else as
// Windows-1252.
std::string DecodeText(std::string_view bytes);

// UTF-8 to Windows-1252; false when a character has no Windows-1252 byte.
bool EncodeWindows1252(std::string_view utf8, std::string& out);

// Lines joined with CR LF (after each line), in Windows-1252 when every character fits and the
// bytes read back the same, otherwise as UTF-8 so that nothing is lost.
std::string EncodeTextLines(const std::vector<std::string>& lines);

// The one reader of every file the program reads: only a regular file is read, opened without
// blocking (a FIFO or a device is refused at once rather than waited on or read without end), in
// 64 KB steps, and a file of more than `maxBytes` is refused before it is read and never read past
// the limit (error 7). A missing file is error 53; a folder or another kind of file error 75.
// Errors name the path.
Result<std::string> ReadRegularFileBytes(const std::filesystem::path& path, std::uintmax_t maxBytes);
Result<std::vector<std::string>> ReadTextFileLines(const std::filesystem::path& path, LineEnds ends,
                                                   std::uintmax_t maxBytes);

// Where a save writes before the target is replaced. Unnamed: a file without a name in the target's
// folder (where the filesystem has such files), so a save that is killed leaves nothing behind; on
// other filesystems it falls back on Named. Named: a visible temporary ".NAME.keldtmp.PID.XXXXXX";
// one that a killed save left is removed by the next save of the same target.
enum class SaveTemporary { Unnamed, Named };

// The one writer of every file the program writes. A regular file is replaced whole: the bytes go
// to a temporary beside it, which is renamed over it, so the target is either the old file or the
// complete new one, with the old file's permissions and, where the system lets us, its owner and
// group. A file with more than one hard link is written in place instead, after a copy of it is kept
// beside it until the new bytes are written (".NAME.keldbak"), so every name keeps the new bytes.
// A link is written through to the file it names. "-", /dev/stdout, /dev/stderr and /dev/fd/N or
// /proc/self/fd/N are the program's own streams, also where a link leads there: the bytes are written
// to the stream as it stands (appending where it appends, through a pipe), and nothing is replaced.
// Any other target that is not a regular file (a FIFO, a device, a folder) is refused (error 75), as
// is a target the user may not write (error 70).
Status AtomicWriteFile(const std::filesystem::path& path, std::string_view bytes,
                       SaveTemporary temporary = SaveTemporary::Unnamed);
Status WriteTextFileLines(const std::filesystem::path& path, const std::vector<std::string>& lines);

// UTF-8 path text to a filesystem path and back.
std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string PathToUtf8(const std::filesystem::path& path);

} // namespace keld
