// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The fuzz input as a file, so that a target reads it through the program's own file reader as the
// program reads a file from disk. The file lives in memory and is reused from input to input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace keld::fuzz {

inline std::string InputAsFile(const std::uint8_t* data, std::size_t size)
{
    static const int fd = ::memfd_create("fuzz-input", MFD_CLOEXEC);
    if (fd < 0 || ::ftruncate(fd, 0) != 0)
        std::abort();
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0)
            std::abort();
        done += static_cast<std::size_t>(n);
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

} // namespace keld::fuzz
